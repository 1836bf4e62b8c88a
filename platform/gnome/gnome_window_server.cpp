#include "platform/gnome/gnome_window_server.h"

#include <limits>

namespace virelo::gnome {
namespace {

// Farther than any desk is wide: a move by it ends on the desk's edge.
constexpr double kBeyondTheDesk = 1e6;
// Where the pointer is put without a stream: on the desk's top edge, this far from its left one,
// by way of the left edge; never pressed into the top-left corner, where gnome-shell's hot corner
// (its barriers line the first 32 points of either edge) would open the activities overview.
constexpr double kClearOfTheCorner = 64;

}  // namespace

GnomeWindowServer::GnomeWindowServer() {
  std::lock_guard<std::mutex> guard(mutex_);
  connect();
}

GnomeWindowServer::~GnomeWindowServer() = default;

void GnomeWindowServer::connect() {
  lastAttempt_ = std::chrono::steady_clock::now();
  desktop_ = RemoteDesktop::open();
  if (!desktop_) return;
  if (auto area = desktop_->streamArea()) {
    // Placed absolutely from the first move on; until then taken to be in the middle.
    poster_.restart(area->center());
  } else {
    desktop_->moveBy(0, kClearOfTheCorner);
    desktop_->moveBy(-kBeyondTheDesk, 0);
    desktop_->moveBy(kClearOfTheCorner, 0);
    desktop_->moveBy(0, -kBeyondTheDesk);
    poster_.restart(Point{kClearOfTheCorner, 0});
  }
}

std::optional<Event> GnomeWindowServer::createEvent() {
  std::lock_guard<std::mutex> guard(mutex_);
  Event event;
  event.location = poster_.cursor();
  return event;
}

void GnomeWindowServer::post(const Event& event) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (desktop_) poster_.post(*desktop_, event);
}

std::uint64_t GnomeWindowServer::combinedFlagsState() {
  std::lock_guard<std::mutex> guard(mutex_);
  return poster_.flags();
}

bool GnomeWindowServer::postEventAccess() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (desktop_ && !desktop_->alive()) desktop_.reset();
  if (!desktop_ && std::chrono::steady_clock::now() - lastAttempt_ >= kReconnectInterval) {
    connect();
  }
  return desktop_ != nullptr;
}

bool GnomeWindowServer::listenEventAccess() {
  return false;
}

double GnomeWindowServer::keyRepeatDelay() {
  return std::numeric_limits<double>::quiet_NaN();
}

double GnomeWindowServer::keyRepeatInterval() {
  return std::numeric_limits<double>::quiet_NaN();
}

double GnomeWindowServer::doubleClickInterval() {
  return std::numeric_limits<double>::quiet_NaN();
}

double GnomeWindowServer::deskScale() {
  return 1;
}

std::optional<std::vector<Rect>> GnomeWindowServer::activeDisplayBounds(std::size_t maxDisplays) {
  std::lock_guard<std::mutex> guard(mutex_);
  auto area = desktop_ ? desktop_->streamArea() : std::nullopt;
  if (!area || maxDisplays == 0) return std::nullopt;
  return std::vector<Rect>{*area};
}

}  // namespace virelo::gnome
