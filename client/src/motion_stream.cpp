#include <stdexcept>

#include "virelo/client/client.h"
#include "virelo/client/motion.h"

namespace virelo::client {

MotionStream::MotionStream(Client& client, std::chrono::milliseconds period)
    : client_(client), period_(period) {}

MotionStream::~MotionStream() {
  try {
    stop();
  } catch (const std::exception&) {
    // The error ended the stream already; the destructor only makes sure the thread is gone.
  }
}

void MotionStream::start(int dx, int dy) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (running_) throw std::logic_error("the motion stream is already running");
  if (thread_.joinable()) thread_.join();  // a thread that ended on its own after an error
  dx_ = dx;
  dy_ = dy;
  stopRequested_ = false;
  error_ = nullptr;
  running_ = true;
  thread_ = std::thread([this] { run(); });
}

void MotionStream::setVelocity(int dx, int dy) {
  std::lock_guard<std::mutex> guard(mutex_);
  dx_ = dx;
  dy_ = dy;
}

void MotionStream::stop() {
  std::thread thread;
  std::exception_ptr error;
  bool wasRunning;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    wasRunning = running_ || thread_.joinable();
    stopRequested_ = true;
    thread = std::move(thread_);
  }
  wake_.notify_all();
  if (thread.joinable()) thread.join();
  {
    std::lock_guard<std::mutex> guard(mutex_);
    running_ = false;
    error = error_;
    error_ = nullptr;
  }
  if (error) std::rethrow_exception(error);
  if (wasRunning) client_.stopMotion();
}

bool MotionStream::running() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return running_;
}

std::size_t MotionStream::samplesSent() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return sent_;
}

std::size_t MotionStream::staleSamples() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return stale_;
}

void MotionStream::run() {
  auto next = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopRequested_) {
    int dx = dx_;
    int dy = dy_;
    lock.unlock();
    try {
      // Stamped inside the client call, right before it is sent.
      MotionReply reply = client_.motion(dx, dy);
      lock.lock();
      ++sent_;
      if (reply.stale) ++stale_;
    } catch (...) {
      lock.lock();
      error_ = std::current_exception();
      running_ = false;
      return;
    }
    next += period_;
    auto now = std::chrono::steady_clock::now();
    if (next < now) next = now;  // a late sample does not make the following ones bunch up
    wake_.wait_until(lock, next, [this] { return stopRequested_; });
  }
}

}  // namespace virelo::client
