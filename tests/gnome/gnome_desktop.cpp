#include "tests/gnome/gnome_desktop.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <thread>

namespace virelo::test {
namespace {

// The receiver's window (gtk_receiver.py).
constexpr int kWindowWidth = 400;
constexpr int kWindowHeight = 300;
constexpr int kMaxMove = 127;
constexpr int kShellTopBar = 32;
constexpr int kEscape = 0x29;  // its HID usage

}  // namespace

void GnomeDesktop::SetUp() {
  if (auto reason = GnomeSession::missing(Compositor::mutter); !reason.empty()) {
    GTEST_SKIP() << reason;
  }
  // The virtual desktop's check covers GTK 3 for Python (and Xvfb, which these tests have too).
  if (!VirtualDesktop::missing().empty()) GTEST_SKIP() << VirtualDesktop::missing();
}

void GnomeDesktop::TearDown() {
  if (service_) {
    EXPECT_EQ(service_->standardError(), "");
  }
}

void GnomeDesktop::startDesktop(Compositor compositor) {
  startService(compositor);
  if (compositor == Compositor::shell) {
    // Two Escapes: the first the shell's search may take.
    for (int i = 0; i < 2; ++i) {
      client_->keyboardSequence({{0, {kEscape}}, {0, {}}});
      std::this_thread::sleep_for(300ms);
    }
  }
  // mutter activates a new window only on a seat with a keyboard, which the service's session
  // brings: the receiver comes after it.
  auto environment = session_->environment();
  environment["GDK_BACKEND"] = "wayland";
  // On the accessibility bus under gnome-shell, where snap targets are found.
  environment["NO_AT_BRIDGE"] = compositor == Compositor::shell ? "0" : "1";
  receiver_.emplace(GnomeSession::launcher(), environment);
  warmUp();
}

void GnomeDesktop::startService(Compositor compositor) {
  compositor_ = compositor;
  session_.emplace(compositor);
  ServiceOptions options;
  options.backend = "cgevent";
  options.trace = false;
  options.control = false;
  options.environment = session_->environment();
  options.environment["VL_HOST"] = "gnome";
  service_ = std::make_unique<ServiceProcess>(options);
  // The shell, just started, may refuse a remote desktop session for a moment.
  try {
    service_->awaitEventualReady();
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(std::string(e.what()) + "; the compositor wrote:\n" +
                             session_->compositorLog());
  }
  client_ = std::make_unique<client::Client>(service_->socketPath());
  client_->hello(service_->token());
}

void GnomeDesktop::warmUp() {
  // The first click after the pointer first enters the new window can be lost (GTK takes the
  // pointer's first entry slowly), which no user meets, who moves the mouse for a while before
  // clicking: move onto the drag area and click it until it says so, then forget what the
  // receiver said. On mutter 48 no click at all arrives until the pointer has moved over the
  // window again, so each attempt moves it anew.
  for (int attempt = 0; attempt < 20; ++attempt) {
    moveTo(centre("drag"));
    client_->pressButtons(1);
    client_->releaseButtons(1);
    if (receiver_->next([](const auto& e) { return e.value("event", "") == "drag_end"; }, 500ms)) {
      receiver_->drain(100ms);
      return;
    }
  }
  FAIL() << "the receiver takes no clicks";
}

void GnomeDesktop::moveTo(ScreenPoint target) {
  // As click-on does: below and right of gnome-shell's hot corner onto the top edge, 64 points
  // from the left one.
  constexpr int kClear = 64;
  const int pushes = std::max(GnomeSession::kWidth, GnomeSession::kHeight) / kMaxMove + 1;
  client_->move(0, kClear);
  for (int i = 0; i < pushes; ++i) client_->move(-kMaxMove, 0);
  client_->move(kClear, 0);
  for (int i = 0; i < pushes; ++i) client_->move(0, -kMaxMove);
  ScreenPoint at{kClear, 0};
  while (at.x != target.x || at.y != target.y) {
    const int dx = std::clamp(target.x - at.x, -kMaxMove, kMaxMove);
    const int dy = std::clamp(target.y - at.y, -kMaxMove, kMaxMove);
    client_->move(dx, dy);
    at = {at.x + dx, at.y + dy};
  }
  // A step inside the target, as a hand's last move: GTK tells the widget under the pointer
  // that the pointer came in from a motion over it.
  client_->move(1, 0);
  client_->move(-1, 0);
}

ScreenPoint GnomeDesktop::windowOrigin() const {
  const int top = compositor_ == Compositor::shell ? kShellTopBar : 0;
  return {(GnomeSession::kWidth - kWindowWidth) / 2,
          top + (GnomeSession::kHeight - top - kWindowHeight) / 2};
}

ScreenPoint GnomeDesktop::centre(const std::string& widget) const {
  const ScreenPoint inside = receiver_->centre(widget);
  const ScreenPoint origin = windowOrigin();
  return {origin.x + inside.x, origin.y + inside.y};
}

}  // namespace virelo::test
