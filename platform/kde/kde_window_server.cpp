#include "platform/kde/kde_window_server.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "platform/input_codes.h"
#include "platform/kde/kde_fake_input.h"
#include "platform/kde/kde_keys.h"
#include "platform/media_key_change.h"
#include "platform/post_by_kind.h"

namespace virelo::kde {
namespace {

constexpr std::int32_t kMaxWheelClicks = 128;
// KDE Plasma's defaults, which the compositor does not tell its clients' input sources.
constexpr double kRepeatDelay = 0.6;
constexpr double kRepeatInterval = 1.0 / 25;
constexpr double kDoubleClick = 0.4;

bool isButtonDown(std::uint32_t type) {
  return type == kEventLeftMouseDown || type == kEventRightMouseDown ||
         type == kEventOtherMouseDown;
}

bool isButtonUp(std::uint32_t type) {
  return type == kEventLeftMouseUp || type == kEventRightMouseUp || type == kEventOtherMouseUp;
}

}  // namespace

KdeWindowServer::KdeWindowServer(std::string display) : display_(std::move(display)) {
  std::lock_guard<std::mutex> guard(mutex_);
  lastAttempt_ = std::chrono::steady_clock::now();
  if (display_.empty()) return;
  opening_ = std::async(std::launch::async, &FakeInput::open, display_);
  takeOpened(FakeInput::kOpenWait);
}

KdeWindowServer::~KdeWindowServer() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (input_) input_->flush();
}

void KdeWindowServer::takeOpened(std::chrono::milliseconds wait) {
  if (!opening_.valid() || opening_.wait_for(wait) != std::future_status::ready) return;
  input_ = opening_.get();
  // A new connection holds nothing yet.
  modifiers_.clear();
}

FakeInput* KdeWindowServer::connected() {
  if (input_ && !input_->alive()) input_.reset();
  if (input_ || display_.empty()) return input_.get();
  if (opening_.valid()) {
    takeOpened(std::chrono::milliseconds(0));
    return input_.get();
  }
  const auto now = std::chrono::steady_clock::now();
  if (now - lastAttempt_ < kReconnectInterval) return nullptr;
  lastAttempt_ = now;
  opening_ = std::async(std::launch::async, &FakeInput::open, display_);
  takeOpened(kReconnectWait);
  return input_.get();
}

std::optional<Event> KdeWindowServer::createEvent() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!cursor_ && input_) {
    auto outputs = input_->outputs();
    if (!outputs.empty()) cursor_ = outputs.front().center();
  }
  Event event;
  event.location = cursor_.value_or(Point{});
  return event;
}

void KdeWindowServer::post(const Event& event) {
  std::lock_guard<std::mutex> guard(mutex_);
  FakeInput* input = input_.get();
  if (input == nullptr) return;
  postByKind(*this, *input, event);
  if (!input->flush()) input_.reset();
}

void KdeWindowServer::postKey(FakeInput& input, const Event& event) {
  const bool press = event.type == kEventKeyDown;
  if (press && event.field(kFieldKeyboardAutorepeat) != 0) return;
  if (auto key = evdevKey(event.keycode)) input.key(*key, press);
}

void KdeWindowServer::postFlagsChange(FakeInput& input, const Event& event) {
  auto key = evdevKey(event.keycode);
  if (!key) return;
  const bool down = modifiers_.count(event.keycode) != 0;
  const std::uint64_t mask = modifierMask(event.keycode);
  const bool wantDown = mask != 0 ? (event.flags & mask) == mask : !down;
  if (wantDown == down) return;
  if (wantDown) {
    modifiers_[event.keycode] = *key;
  } else {
    modifiers_.erase(event.keycode);
  }
  input.key(*key, wantDown);
}

void KdeWindowServer::postMedia(FakeInput& input, const Event& event) {
  auto change = mediaKeyChange(event);
  if (!change) return;
  if (auto key = mediaEvdevKey(change->keyType)) input.key(*key, change->down);
}

void KdeWindowServer::postScroll(FakeInput& input, const Event& event) {
  const std::int32_t clicks = std::min(std::abs(event.wheelValue), kMaxWheelClicks);
  // Up is a negative value on the compositor's axis.
  for (std::int32_t i = 0; i < clicks; ++i) {
    input.scroll(event.wheelValue > 0 ? -kWheelClick : kWheelClick);
  }
}

void KdeWindowServer::postMouse(FakeInput& input, const Event& event) {
  if (!cursor_ || *cursor_ != event.location) {
    input.moveTo(event.location);
    cursor_ = event.location;
  }
  if (isButtonDown(event.type)) input.button(evdevButton(event.button), true);
  if (isButtonUp(event.type)) input.button(evdevButton(event.button), false);
}

std::uint64_t KdeWindowServer::combinedFlagsState() {
  std::lock_guard<std::mutex> guard(mutex_);
  std::uint64_t flags = 0;
  for (const auto& [code, key] : modifiers_) flags |= modifierMask(code);
  return flags;
}

bool KdeWindowServer::postEventAccess() {
  std::lock_guard<std::mutex> guard(mutex_);
  return connected() != nullptr;
}

bool KdeWindowServer::listenEventAccess() {
  // Nothing to listen to is asked for: the lack of a tap is said by createTap().
  return postEventAccess();
}

double KdeWindowServer::keyRepeatDelay() {
  return kRepeatDelay;
}

double KdeWindowServer::keyRepeatInterval() {
  return kRepeatInterval;
}

double KdeWindowServer::doubleClickInterval() {
  return kDoubleClick;
}

double KdeWindowServer::deskScale() {
  return 1;
}

std::optional<std::vector<Rect>> KdeWindowServer::activeDisplayBounds(std::size_t maxDisplays) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!input_) return std::nullopt;
  auto outputs = input_->outputs();
  if (outputs.size() > maxDisplays) outputs.resize(maxDisplays);
  return outputs;
}

}  // namespace virelo::kde
