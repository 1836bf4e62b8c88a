#include "targets/serial_queue.h"

#include <pthread.h>

#include <algorithm>

namespace virelo {

SerialQueue::SerialQueue(std::string label)
    : label_(std::move(label)), state_(std::make_shared<State>()) {
  worker_ = std::thread(&SerialQueue::work, state_);
  // Thread names hold 15 characters: "vl-" and the last component of the label.
  std::string name = "vl-" + label_.substr(label_.rfind('.') + 1);
  name.resize(std::min<std::size_t>(name.size(), 15));
  pthread_setname_np(worker_.native_handle(), name.c_str());
}

SerialQueue::~SerialQueue() {
  stop();
}

void SerialQueue::abandon() {
  std::deque<std::function<void()>> dropped;
  {
    std::lock_guard<std::mutex> guard(state_->mutex);
    state_->stopping = true;
    dropped.swap(state_->items);
  }
  state_->wake.notify_all();
  state_->idle.notify_all();
  // The dropped items are destroyed here, outside the lock: their captures may own anything.
  dropped.clear();
}

void SerialQueue::stop() {
  abandon();
  if (!worker_.joinable()) return;
  if (worker_.get_id() == std::this_thread::get_id()) {
    // Called from an item: the worker holds the state and ends by itself when the item returns.
    worker_.detach();
  } else {
    worker_.join();
  }
}

void SerialQueue::submit(std::function<void()> item) {
  {
    std::lock_guard<std::mutex> guard(state_->mutex);
    if (state_->stopping) return;
    state_->items.push_back(std::move(item));
  }
  state_->wake.notify_one();
}

void SerialQueue::waitIdle() {
  std::unique_lock<std::mutex> lock(state_->mutex);
  state_->idle.wait(
      lock, [this] { return state_->stopping || (state_->items.empty() && !state_->running); });
}

void SerialQueue::work(std::shared_ptr<State> state) {
  std::unique_lock<std::mutex> lock(state->mutex);
  for (;;) {
    state->wake.wait(lock, [&] { return state->stopping || !state->items.empty(); });
    if (state->stopping) return;
    std::function<void()> item = std::move(state->items.front());
    state->items.pop_front();
    state->running = true;
    lock.unlock();
    item();
    // The item's captures are released before the queue counts as idle.
    item = nullptr;
    lock.lock();
    state->running = false;
    if (state->items.empty()) state->idle.notify_all();
  }
}

}  // namespace virelo
