// Absolute pointing on an X server: placePointer() with QueryPointer and the service's moves, and
// the screen's size read on the same kept connection.
//
// The service posts a move over its own connection to the X server, so a QueryPointer sent on
// ours right after the service's reply can be answered before the server has applied the move.
// The server says itself when it applies one: every pointer motion, of any device and any
// client, sends an XInput 2 raw motion event to each client that selected it on the root window,
// and the event carries the sequence number of the last request the server had read from that
// client. After moves, the pointer is read at once; the reading shows the moves when their raw
// events were made before the server read the QueryPointer, and otherwise it is made again once
// they have come. When more motion came than the moves sent, something else moves the pointer
// too (another client's queued burst of XTEST moves, a hand on the mouse): it is read again once
// the motion has stopped, within one deadline for the placement, so that a burst is waited out
// and a hand still makes the placement fail as it keeps moving the pointer away.
#include <poll.h>
#include <unistd.h>
#include <xcb/xinput.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "virelo/client/errors.h"
#include "virelo/client/x11.h"
#include "x11_connection.h"

namespace virelo::client {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// How long the raw events of the moves sent may take to come.
constexpr auto kArrival = 250ms;
// How long one placement waits, in all, for motion that keeps arriving to stop, and how long the
// pointer must rest to count as stopped. The gaps in a burst of another client's queued moves,
// while it writes more of them, are far shorter; a hand on a mouse moves it every few ms.
constexpr auto kSettling = 2s;
constexpr auto kQuiet = 20ms;

struct EventFree {
  void operator()(xcb_generic_event_t* event) const { std::free(event); }
};
using EventPtr = std::unique_ptr<xcb_generic_event_t, EventFree>;

class XPointer {
 public:
  XPointer(const std::string& display, XcbConnectionPtr connection)
      : display_(display), connection_(std::move(connection)) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_.get())).data;
    if (screen == nullptr) throw PointerUnknown("the X server has no screen");
    root_ = screen->root;
    const xcb_query_extension_reply_t* xinput =
        xcb_get_extension_data(connection_.get(), &xcb_input_id);
    if (xinput == nullptr || !xinput->present) return;
    auto version = awaitReply<xcb_input_xi_query_version_reply_t>(
        connection_.get(), xcb_input_xi_query_version(connection_.get(), 2, 2).sequence);
    if (version && (version->major_version > 2 ||
                    (version->major_version == 2 && version->minor_version >= 1))) {
      opcode_ = xinput->major_opcode;
    }
  }

  // Whether this process made the connection (not a child of a fork, which shares its socket
  // with the parent), and whether it is the one for `display`.
  bool ownProcess() const { return pid_ == ::getpid(); }
  bool serves(const char* display) const { return display_ == display; }
  bool broken() {
    countMotion(xcb_poll_for_event);  // reads what the server sent, its end among it
    return xcb_connection_has_error(connection_.get()) != 0;
  }

  // Starts a placement: motion is watched until finish().
  void begin() {
    settleBy_ = Clock::now() + kArrival + kSettling;
    watchMotion(true);
  }
  void finish() { watchMotion(false); }

  // Where the pointer is once the moves sent since the last reading have arrived.
  std::optional<PointerPosition> settled() {
    if (moves_ == 0) {
      auto now = query();
      carried_ = countMotion(xcb_poll_for_queued_event).later;
      return last_ = now;
    }
    if (opcode_ == 0) return last_ = polled();
    Motion motion{carried_, 0};
    auto now = readingMoves(std::exchange(moves_, 0), motion);
    // More motion than the moves sent: another client or a hand moves the pointer as well. Read
    // it again once it has rested for kQuiet, until it rests or the placement's deadline.
    while (now && motion.shown + motion.later > 0 && Clock::now() < settleBy_) {
      awaitQuiet();
      now = query();
      motion = countMotion(xcb_poll_for_queued_event);
    }
    carried_ = motion.later;
    return last_ = now;
  }

  void moved() { ++moves_; }

  // The screen's size now (the connection's set-up keeps its size at connection time, which
  // RandR may have changed since); nullopt when the server does not answer.
  std::optional<ScreenArea> screen() {
    auto geometry = awaitReply<xcb_get_geometry_reply_t>(
        connection_.get(), xcb_get_geometry(connection_.get(), root_).sequence);
    if (!geometry) return std::nullopt;
    return ScreenArea{0, 0, geometry->width, geometry->height};
  }

 private:
  // Raw motion events, as many as the server made before it answered the last QueryPointer (the
  // reading shows them: each event carries the sequence number of the last request the server
  // had read from this connection) and after it.
  struct Motion {
    int shown = 0;
    int later = 0;
  };

  // A reading that shows the motion of the `sent` moves; `motion` ends with the motion beyond
  // them that it shows, and the motion after it. The reading is made at once, and again while
  // the server answered before it had applied all the moves (which the raw events say).
  std::optional<PointerPosition> readingMoves(int sent, Motion& motion) {
    const auto deadline = Clock::now() + kArrival;
    auto now = query();
    Motion m = countMotion(xcb_poll_for_queued_event);
    int shown = motion.shown + m.shown;
    int later = m.later;
    while (now && shown < sent) {
      if (shown + later < sent) later += awaitMotion(sent - shown - later, deadline);
      if (later == 0) break;  // by the deadline, no motion: a move that moved nothing
      now = query();
      m = countMotion(xcb_poll_for_queued_event);
      shown += later + m.shown;
      later = m.later;
    }
    motion = {shown - sent, later};
    return now;
  }

  std::optional<PointerPosition> query() {
    const xcb_query_pointer_cookie_t cookie = xcb_query_pointer(connection_.get(), root_);
    queried_ = cookie.sequence;
    auto reply = awaitReply<xcb_query_pointer_reply_t>(connection_.get(), cookie.sequence);
    if (!reply) return std::nullopt;
    return PointerPosition{reply->root_x, reply->root_y};
  }

  void watchMotion(bool on) {
    if (opcode_ == 0) return;
    struct {
      xcb_input_event_mask_t head;
      std::uint32_t bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
           on ? std::uint32_t{XCB_INPUT_XI_EVENT_MASK_RAW_MOTION} : 0u};
    xcb_input_xi_select_events(connection_.get(), root_, 1, &mask.head);
    // Motion from before the placement (the user's, between two placements) is not its own.
    countMotion(xcb_poll_for_event);
    moves_ = 0;
    carried_ = 0;
  }

  // Takes the events out of XCB's queue (reading the connection too with xcb_poll_for_event);
  // the raw motion among them, before and after the last reading.
  Motion countMotion(xcb_generic_event_t* (*next)(xcb_connection_t*)) {
    Motion motion;
    while (EventPtr event{next(connection_.get())}) {
      if ((event->response_type & 0x7F) != XCB_GE_GENERIC) continue;
      const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event.get());
      if (generic->extension != opcode_ || generic->event_type != XCB_INPUT_RAW_MOTION) continue;
      // Made while the server had not yet read the reading's request: sequence numbers before it.
      if (static_cast<std::int32_t>(generic->full_sequence - queried_) < 0) {
        ++motion.shown;
      } else {
        ++motion.later;
      }
    }
    return motion;
  }

  static int total(Motion m) { return m.shown + m.later; }

  // Waits until `count` raw motion events have come, or the deadline; how many came.
  int awaitMotion(int count, Clock::time_point deadline) {
    xcb_flush(connection_.get());
    int seen = total(countMotion(xcb_poll_for_event));
    while (seen < count && !xcb_connection_has_error(connection_.get())) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left <= 0ms) break;
      pollfd readable{xcb_get_file_descriptor(connection_.get()), POLLIN, 0};
      if (::poll(&readable, 1, static_cast<int>(left.count())) == 0) break;
      seen += total(countMotion(xcb_poll_for_event));
    }
    return seen;
  }

  // Waits until no motion has come for kQuiet, or the placement's deadline.
  void awaitQuiet() {
    while (Clock::now() < settleBy_) {
      if (awaitMotion(1, std::min(Clock::now() + kQuiet, settleBy_)) == 0) return;
    }
  }

  // Without XInput 2.1 (no raw events to say when a move arrived): until the pointer has moved,
  // then until two readings agree.
  std::optional<PointerPosition> polled() {
    moves_ = 0;
    auto now = query();
    const auto deadline = Clock::now() + kArrival;
    while (now && now == last_ && Clock::now() < deadline) {
      std::this_thread::sleep_for(1ms);
      now = query();
    }
    for (auto previous = now; now && Clock::now() < deadline + kArrival; previous = now) {
      std::this_thread::sleep_for(1ms);
      now = query();
      if (now == previous) break;
    }
    return now;
  }

  std::string display_;
  pid_t pid_ = ::getpid();
  XcbConnectionPtr connection_;
  xcb_window_t root_ = XCB_NONE;
  std::uint8_t opcode_ = 0;  // XInput's, when the server has XInput 2.1 or later
  int moves_ = 0;
  unsigned queried_ = 0;  // the sequence number of the last QueryPointer
  int carried_ = 0;       // motion after the last reading, not shown by it
  Clock::time_point settleBy_;
  std::optional<PointerPosition> last_;
};

// The connection of the last placement, kept for the next one: a script places the pointer many
// times, and a connection with its XInput set-up costs more than a placement.
std::mutex keptMutex;
std::unique_ptr<XPointer> kept;

std::unique_ptr<XPointer> pointerOn(const char* display) {
  {
    std::lock_guard<std::mutex> guard(keptMutex);
    std::unique_ptr<XPointer> pointer = std::move(kept);
    // A child of a fork leaves its parent's connection alone: disconnecting would shut down the
    // socket they share.
    if (pointer && !pointer->ownProcess()) (void)pointer.release();
    if (pointer && pointer->serves(display) && !pointer->broken()) return pointer;
  }
  XcbConnectionPtr connection = connectX(display);
  if (!connection) {
    throw PointerUnknown(std::string("no X server answers on \"") + display + "\"");
  }
  return std::make_unique<XPointer>(display, std::move(connection));
}

void keep(std::unique_ptr<XPointer> pointer) {
  std::lock_guard<std::mutex> guard(keptMutex);
  kept = std::move(pointer);
}

}  // namespace

// On the connection that placements keep: a process that checks a target and then places the
// pointer opens one connection for both.
std::optional<ScreenArea> screenArea(const char* display) {
  std::unique_ptr<XPointer> pointer;
  try {
    pointer = pointerOn(display);
  } catch (const PointerUnknown&) {
    return std::nullopt;
  }
  auto area = pointer->screen();
  keep(std::move(pointer));
  return area;
}

PointerPosition moveTo(Client& client, const char* display, PointerPosition target) {
  std::unique_ptr<XPointer> pointer = pointerOn(display);
  PointerDriver driver;
  driver.position = [&] { return pointer->settled(); };
  driver.move = [&](int dx, int dy) {
    client.move(dx, dy, false);
    pointer->moved();
  };
  pointer->begin();
  const PointerPosition at = placePointer(driver, target);
  pointer->finish();
  keep(std::move(pointer));
  return at;
}

}  // namespace virelo::client
