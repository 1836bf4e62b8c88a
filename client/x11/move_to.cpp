// Absolute pointing on an X server: placePointer() with QueryPointer and the service's moves.
#include <chrono>
#include <cstdlib>
#include <thread>

#include "virelo/client/errors.h"
#include "virelo/client/x11.h"
#include "x11_connection.h"

namespace virelo::client {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The service posts a move over its own connection to the X server, so the server may show it a
// little after the reply: after moves, wait until the pointer has moved, then until it rests.
constexpr auto kArrival = 250ms;
constexpr auto kPoll = 4ms;

class XPointer {
 public:
  explicit XPointer(const char* display) : connection_(connectX(display)) {
    if (!connection_) {
      throw PointerUnknown(std::string("no X server answers on \"") + display + "\"");
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_.get())).data;
    if (screen == nullptr) throw PointerUnknown("the X server has no screen");
    root_ = screen->root;
  }

  std::optional<PointerPosition> query() {
    auto reply = awaitReply<xcb_query_pointer_reply_t>(
        connection_.get(), xcb_query_pointer(connection_.get(), root_).sequence);
    if (!reply) return std::nullopt;
    return PointerPosition{reply->root_x, reply->root_y};
  }

  // Where the pointer is once the moves sent since the last reading have arrived.
  std::optional<PointerPosition> settled() {
    auto now = query();
    if (!moved_ || !now) return last_ = now;
    moved_ = false;
    const auto deadline = Clock::now() + kArrival;
    while (now && now == last_ && Clock::now() < deadline) {
      std::this_thread::sleep_for(kPoll);
      now = query();
    }
    // Moving: until two readings agree.
    for (auto previous = now; now && Clock::now() < deadline + kArrival; previous = now) {
      std::this_thread::sleep_for(kPoll);
      now = query();
      if (now == previous) break;
    }
    return last_ = now;
  }

  void moved() { moved_ = true; }

 private:
  XcbConnectionPtr connection_;
  xcb_window_t root_ = XCB_NONE;
  std::optional<PointerPosition> last_;
  bool moved_ = false;
};

}  // namespace

PointerPosition moveTo(Client& client, const char* display, PointerPosition target) {
  XPointer pointer(display);
  PointerDriver driver;
  driver.position = [&] { return pointer.settled(); };
  driver.move = [&](int dx, int dy) {
    client.move(dx, dy, false);
    pointer.moved();
  };
  return placePointer(driver, target);
}

}  // namespace virelo::client
