#include "platform/x11/x11_connection.h"

#include <poll.h>
#include <xcb/randr.h>
#include <xcb/xcbext.h>
#include <xcb/xinput.h>
#include <xcb/xtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/x11/x11_reply.h"
#include "platform/x11/x11_xkb.h"

namespace virelo::x11 {
namespace {

constexpr int kAliveReads = 8;

bool present(xcb_connection_t* c, xcb_extension_t* extension) {
  const auto* data = xcb_get_extension_data(c, extension);
  return data != nullptr && data->present != 0;
}

}  // namespace

std::unique_ptr<X11Connection> X11Connection::openNow(const std::string& display) {
  int screen = 0;
  xcb_connection_t* c = xcb_connect(display.c_str(), &screen);
  if (xcb_connection_has_error(c)) {
    xcb_disconnect(c);
    return nullptr;
  }
  std::unique_ptr<X11Connection> connection(new X11Connection(c, screen));
  if (connection->root_ == 0) return nullptr;
  connection->queryExtensions();
  return connection;
}

// XCB's connection set-up and the extension queries wait for the server without a bound, so an
// open runs on a thread of its own, which is left to itself when its owner stops waiting for it
// (it ends, closing what it opened, once the server answers or goes away). Such threads are few:
// no new open starts while kMaxStuckOpens are still running.
struct X11Opening::State {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool abandoned = false;
  std::unique_ptr<X11Connection> connection;
};

namespace {
std::atomic<int> openingThreads{0};
}  // namespace

std::unique_ptr<X11Opening> X11Opening::start(const std::string& display) {
  if (display.empty() || openingThreads.load() >= X11Connection::kMaxStuckOpens) return nullptr;
  auto state = std::make_shared<State>();
  openingThreads.fetch_add(1);
  std::thread([state, display] {
    auto connection = X11Connection::openNow(display);
    openingThreads.fetch_sub(1);
    std::unique_lock<std::mutex> lock(state->mutex);
    state->done = true;
    if (!state->abandoned) state->connection = std::move(connection);
    state->finished.notify_all();
    lock.unlock();
    // An abandoned connection closes here, off the owner's thread.
  }).detach();
  return std::unique_ptr<X11Opening>(new X11Opening(std::move(state)));
}

X11Opening::~X11Opening() {
  std::unique_ptr<X11Connection> unclaimed;
  std::lock_guard<std::mutex> guard(state_->mutex);
  state_->abandoned = true;
  unclaimed = std::move(state_->connection);
}

bool X11Opening::await(std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  return state_->finished.wait_for(lock, wait, [this] { return state_->done; });
}

std::unique_ptr<X11Connection> X11Opening::take() {
  std::lock_guard<std::mutex> guard(state_->mutex);
  return std::move(state_->connection);
}

std::unique_ptr<X11Connection> X11Connection::open(const std::string& display) {
  auto opening = X11Opening::start(display);
  if (!opening || !opening->await(kReplyWait)) return nullptr;
  return opening->take();
}

X11Connection::X11Connection(xcb_connection_t* connection, int screenNumber)
    : connection_(connection), screenNumber_(screenNumber) {
  auto it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; it.rem > 0 && i < screenNumber_; ++i) xcb_screen_next(&it);
  if (it.rem > 0) {
    root_ = it.data->root;
    width_ = it.data->width_in_pixels;
    height_ = it.data->height_in_pixels;
  }
}

X11Connection::~X11Connection() {
  awaitProcessed();
  xcb_disconnect(connection_);
}

void X11Connection::awaitProcessed() {
  // The server acts on a hang-up as soon as it sees one and drops the requests it has not read
  // yet, flushed or not: the last releases posted before the process ends would be lost. The
  // reply to a request comes after the server has carried out every request before it.
  if (xcb_connection_has_error(connection_)) return;
  const unsigned int sequence = xcb_get_input_focus(connection_).sequence;
  xcb_flush(connection_);
  const auto deadline = std::chrono::steady_clock::now() + kCloseWait;
  for (;;) {
    void* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    if (xcb_poll_for_reply(connection_, sequence, &reply, &error) != 0) {
      std::free(reply);
      std::free(error);
      return;
    }
    auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || xcb_connection_has_error(connection_)) return;
    pollfd readable{xcb_get_file_descriptor(connection_), POLLIN, 0};
    if (::poll(&readable, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) return;
    // Reading events is what makes XCB read the socket, replies included.
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) std::free(event);
  }
}

void X11Connection::queryExtensions() {
  xcb_prefetch_extension_data(connection_, &xcb_test_id);
  xcb_prefetch_extension_data(connection_, &xcb_input_id);
  xcb_prefetch_extension_data(connection_, &xcb_xkb_id);
  xcb_prefetch_extension_data(connection_, &xcb_randr_id);
  xtest_ = present(connection_, &xcb_test_id);
  if (present(connection_, &xcb_input_id)) {
    ReplyPtr<xcb_input_xi_query_version_reply_t> version(xcb_input_xi_query_version_reply(
        connection_, xcb_input_xi_query_version(connection_, 2, 2), nullptr));
    xinput2_ = version && version->major_version >= 2;
  }
  if (present(connection_, &xcb_xkb_id)) {
    ReplyPtr<xcb_xkb_use_extension_reply_t> use(xcb_xkb_use_extension_reply(
        connection_, xcb_xkb_use_extension(connection_, 1, 0), nullptr));
    xkb_ = use && use->supported;
  }
  if (present(connection_, &xcb_randr_id)) {
    ReplyPtr<xcb_randr_query_version_reply_t> version(xcb_randr_query_version_reply(
        connection_, xcb_randr_query_version(connection_, 1, 5), nullptr));
    monitors_ = version && (version->major_version > 1 || version->minor_version >= 5);
  }
}

void X11Connection::watchXkb() {
  if (xkb_ && !xkbWatch_) xkbWatch_ = std::make_unique<XkbWatch>(connection_);
}

bool X11Connection::alive() {
  // XCB reads the socket once per call that finds no event; a read that brought only replies (the
  // XKB watch's state requests) leaves a following end of file unread, so read until nothing is
  // waiting. Bounded: another thread waiting for a reply may be the one to read.
  pollfd waiting{xcb_get_file_descriptor(connection_), POLLIN, 0};
  for (int round = 0; round < kAliveReads && xcb_connection_has_error(connection_) == 0 &&
                      ::poll(&waiting, 1, 0) == 1;
       ++round) {
    if (xkbWatch_) {
      xkbWatch_->pump();
    } else {
      while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) std::free(event);
    }
  }
  return xcb_connection_has_error(connection_) == 0;
}

}  // namespace virelo::x11
