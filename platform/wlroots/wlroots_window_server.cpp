#include "platform/wlroots/wlroots_window_server.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <utility>

#include "platform/input_codes.h"
#include "platform/media_key_change.h"
#include "platform/wlroots/wlroots_keys.h"

namespace virelo::wlroots {
namespace {

constexpr std::int32_t kMaxWheelClicks = 128;
constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();

std::uint64_t modifierMask(std::uint16_t virtualKeycode) {
  for (std::size_t bit = 0; bit < kModifierKeycodes.size(); ++bit) {
    if (kModifierKeycodes[bit] == virtualKeycode) return kModifierMasks[bit];
  }
  return 0;
}

}  // namespace

WlrootsWindowServer::WlrootsWindowServer(std::string display) : display_(std::move(display)) {
  std::lock_guard<std::mutex> guard(mutex_);
  connect(kFirstConnectWait);
}

WlrootsWindowServer::~WlrootsWindowServer() = default;

void WlrootsWindowServer::connect(std::chrono::milliseconds wait) {
  lastAttempt_ = std::chrono::steady_clock::now();
  link_ = WaylandLink::connect(display_, keyboard_.keymap(), wait);
  // A new virtual keyboard holds nothing.
  keyboard_.reset();
}

WaylandLink* WlrootsWindowServer::current() {
  if (link_ && !link_->alive()) link_.reset();
  return link_.get();
}

WaylandLink* WlrootsWindowServer::reconnected() {
  if (current() != nullptr) return link_.get();
  if (std::chrono::steady_clock::now() - lastAttempt_ >= kReconnectInterval) connect(kConnectWait);
  return link_.get();
}

std::optional<Event> WlrootsWindowServer::createEvent() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!placed_) {
    // Until this host places the pointer, it is taken to be at the first output's centre.
    WaylandLink* link = current();
    auto outputs = link != nullptr ? link->outputs() : std::vector<OutputPlace>{};
    if (!outputs.empty()) cursor_ = outputs.front().logical.center();
  }
  Event event;
  event.location = cursor_;
  return event;
}

void WlrootsWindowServer::post(const Event& event) {
  std::lock_guard<std::mutex> guard(mutex_);
  WaylandLink* link = current();
  if (link == nullptr) return;
  postByKind(*this, *link, event);
}

void WlrootsWindowServer::postKey(WaylandLink& link, const Event& event) {
  const bool press = event.type == kEventKeyDown;
  if (press && event.field(kFieldKeyboardAutorepeat) != 0) return;
  if (auto key = evdevKey(event.keycode)) sendKey(link, *key, press);
}

void WlrootsWindowServer::sendKey(WaylandLink& link, std::uint32_t evdev, bool press) {
  if (press == keyboard_.held(evdev)) return;
  auto modifiers = keyboard_.key(evdev, press);
  link.key(evdev, press);
  if (modifiers) link.modifiers(*modifiers);
}

void WlrootsWindowServer::postFlagsChange(WaylandLink& link, const Event& event) {
  auto key = evdevKey(event.keycode);
  if (!key) return;  // Fn
  const bool down = keyboard_.held(*key);
  const std::uint64_t mask = modifierMask(event.keycode);
  const bool wantDown = mask != 0 ? (event.flags & mask) == mask : !down;
  if (wantDown != down) sendKey(link, *key, wantDown);
}

void WlrootsWindowServer::postMedia(WaylandLink& link, const Event& event) {
  auto change = mediaKeyChange(event);
  if (!change) return;
  if (auto key = mediaEvdevKey(change->keyType)) sendKey(link, *key, change->down);
}

void WlrootsWindowServer::postScroll(WaylandLink& link, const Event& event) {
  link.scroll(std::clamp(event.wheelValue, -kMaxWheelClicks, kMaxWheelClicks));
}

void WlrootsWindowServer::postMouse(WaylandLink& link, const Event& event) {
  link.moveTo(event.location);
  cursor_ = event.location;
  placed_ = true;
  bool press = false;
  switch (event.type) {
    case kEventLeftMouseDown:
    case kEventRightMouseDown:
    case kEventOtherMouseDown:
      press = true;
      break;
    case kEventLeftMouseUp:
    case kEventRightMouseUp:
    case kEventOtherMouseUp:
      break;
    default:
      return;
  }
  if (auto button = evdevButton(event.button)) link.button(*button, press);
}

std::uint64_t WlrootsWindowServer::combinedFlagsState() {
  std::lock_guard<std::mutex> guard(mutex_);
  return keyboard_.flags();
}

bool WlrootsWindowServer::postEventAccess() {
  std::lock_guard<std::mutex> guard(mutex_);
  return reconnected() != nullptr;
}

bool WlrootsWindowServer::listenEventAccess() {
  return false;
}

double WlrootsWindowServer::keyRepeatDelay() {
  return kUnknown;
}

double WlrootsWindowServer::keyRepeatInterval() {
  return kUnknown;
}

double WlrootsWindowServer::doubleClickInterval() {
  return kUnknown;
}

double WlrootsWindowServer::deskScale() {
  std::lock_guard<std::mutex> guard(mutex_);
  WaylandLink* link = current();
  auto outputs = link != nullptr ? link->outputs() : std::vector<OutputPlace>{};
  return outputs.empty() ? 1 : outputs.front().scale;
}

std::optional<std::vector<Rect>> WlrootsWindowServer::activeDisplayBounds(std::size_t maxDisplays) {
  std::lock_guard<std::mutex> guard(mutex_);
  WaylandLink* link = current();
  if (link == nullptr) return std::nullopt;
  std::vector<Rect> bounds;
  for (const auto& output : link->outputs()) {
    if (bounds.size() < maxDisplays) bounds.push_back(output.logical);
  }
  return bounds;
}

}  // namespace virelo::wlroots
