#include "eventsynth/cg_event_output.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <vector>

#include "eventsynth/nanos.h"

namespace virelo {
namespace {

constexpr std::array<std::uint32_t, 3> kButtonDownTypes = {
    kEventLeftMouseDown, kEventRightMouseDown, kEventOtherMouseDown};
constexpr std::array<std::uint32_t, 3> kButtonUpTypes = {kEventLeftMouseUp, kEventRightMouseUp,
                                                         kEventOtherMouseUp};
constexpr std::array<std::uint32_t, 3> kButtonDragTypes = {
    kEventLeftMouseDragged, kEventRightMouseDragged, kEventOtherMouseDragged};

constexpr std::int64_t kMediaDown = 0xA00;
constexpr std::int64_t kMediaUp = 0xB00;

// Missing report bytes read as 0.
std::uint8_t byteAt(std::span<const std::uint8_t> report, std::size_t i) {
  return i < report.size() ? report[i] : 0;
}

std::int8_t signedByteAt(std::span<const std::uint8_t> report, std::size_t i) {
  return static_cast<std::int8_t>(byteAt(report, i));
}

}  // namespace

CGEventOutput::CGEventOutput(EventServices& services, FnTapClock tapClock)
    : services_(services), fnBridge_(services, std::move(tapClock)) {}

bool CGEventOutput::permitted() {
  return services_.postEventAccess();
}

std::uint64_t CGEventOutput::eventFlags() {
  std::uint64_t flags = 0;
  if (capsLocked_) flags |= kFlagAlphaShift;
  if (fnHeld_ || fnBridge_.physicalFnHeld()) flags |= kFlagSecondaryFn;
  for (int bit = 0; bit < 8; ++bit) {
    if (modifiers_ & (1 << bit)) flags |= kModifierMasks[static_cast<std::size_t>(bit)];
  }
  return flags;
}

void CGEventOutput::postEvent(std::optional<Event> event,
                              std::initializer_list<FieldSetting> fields, bool stamp) {
  if (!event) throw CGOutputFailure();
  if (stamp) event->flags = eventFlags();
  for (const auto& [field, value] : fields) event->setField(field, value);
  services_.post(*event);
}

void CGEventOutput::postKey(std::uint16_t code, bool down, bool flagsChanged, bool repeat) {
  auto event = services_.createKeyboardEvent(code, down);
  if (event && flagsChanged) event->type = kEventFlagsChanged;
  postEvent(std::move(event), {{kFieldSourceUserData, FnEventBridge::kEventTag},
                               {kFieldKeyboardAutorepeat, repeat ? 1 : 0}});
  if (!down) noteKeyRelease(code, flagsChanged);
}

std::set<std::uint16_t> CGEventOutput::wantedKeys(std::span<const std::uint8_t> report) {
  std::set<std::uint16_t> wanted;
  const auto& table = keycodes();
  for (std::size_t i = 1; i < report.size(); ++i) {
    auto it = table.find(report[i]);
    if (it != table.end()) wanted.insert(it->second);
  }
  return wanted;
}

void CGEventOutput::keyboard(std::span<const std::uint8_t> report, bool fn, std::uint64_t now) {
  const int m = byteAt(report, 0);
  const std::set<std::uint16_t> wanted = wantedKeys(report);
  // While this output holds caps lock down, its own idea of the state is the truth.
  if (!keys_.count(kCapsLockKeycode)) {
    capsLocked_ = (services_.combinedFlagsState() & kFlagAlphaShift) != 0;
  }
  releaseKeys(wanted);
  releaseModifiers(m);
  changeFn(fn);
  pressModifiers(m);
  pressKeys(wanted, now);
}

void CGEventOutput::releaseKeys(const std::set<std::uint16_t>& wanted) {
  const std::vector<std::uint16_t> held(keys_.begin(), keys_.end());
  for (auto code : held) {
    if (wanted.count(code)) continue;
    postKey(code, false, code == kCapsLockKeycode);
    keys_.erase(code);
    if (repeatKey_ == code) repeatKey_.reset();
  }
}

void CGEventOutput::releaseModifiers(int m) {
  for (int bit = 0; bit < 8; ++bit) {
    const std::int64_t mask = std::int64_t{1} << bit;
    if ((modifiers_ & mask) && !(m & mask)) {
      modifiers_ &= ~mask;
      postKey(kModifierKeycodes[static_cast<std::size_t>(bit)], false, true);
    }
  }
}

void CGEventOutput::changeFn(bool fn) {
  if (fnHeld_ == fn) return;
  fnHeld_ = fn;
  postKey(kFnKeycode, fn, true);
  fnBridge_.setHeld(fn);
}

void CGEventOutput::pressModifiers(int m) {
  for (int bit = 0; bit < 8; ++bit) {
    const std::int64_t mask = std::int64_t{1} << bit;
    if (!(modifiers_ & mask) && (m & mask)) {
      modifiers_ |= mask;
      postKey(kModifierKeycodes[static_cast<std::size_t>(bit)], true, true);
    }
  }
}

void CGEventOutput::pressKeys(const std::set<std::uint16_t>& wanted, std::uint64_t now) {
  for (auto code : wanted) {
    if (keys_.count(code)) continue;
    if (code == kCapsLockKeycode) {
      capsLocked_ = !capsLocked_;
      postKey(code, true, true);
    } else {
      postKey(code, true, false);
    }
    keys_.insert(code);
    if (code != kCapsLockKeycode) {
      if (auto delay = nanos(services_.keyRepeatDelay())) {
        repeatKey_ = code;
        repeatAt_ = laterBy(now, *delay);
      }
    }
  }
}

void CGEventOutput::repeatTick(std::uint64_t now) {
  postOwedReleases();
  if (!repeatKey_ || !keys_.count(*repeatKey_) || now < repeatAt_) return;
  auto interval = nanos(services_.keyRepeatInterval());
  if (!interval) {
    repeatKey_.reset();
    return;
  }
  postKey(*repeatKey_, true, false, true);
  repeatAt_ = laterBy(now, *interval);
}

Point CGEventOutput::currentPosition() {
  auto event = services_.createEvent();
  if (!event) throw CGOutputFailure();
  return event->location;
}

int CGEventOutput::clickCount(int button, Point position, std::uint64_t now) {
  const auto i = static_cast<std::size_t>(button);
  const std::uint64_t interval = nanos(services_.doubleClickInterval()).value_or(0);
  if (clickTimes_[i] == 0) return 1;
  if (now - clickTimes_[i] > interval) return 1;
  const Point last = clickPoints_[i];
  if (std::hypot(last.x - position.x, last.y - position.y) > kClickRadius) return 1;
  return std::min(clickCounts_[i] + 1, kMaxClickCount);
}

void CGEventOutput::refreshScreens(std::uint64_t now) {
  if (auto bounds = services_.activeDisplayBounds(kMaxDisplays)) {
    if (bounds->size() > kMaxDisplays) bounds->resize(kMaxDisplays);
    screens_ = std::move(*bounds);
  }
  screensAt_ = now;
}

void CGEventOutput::postButton(int button, bool press, std::uint64_t now) {
  const auto index = static_cast<std::size_t>(button);
  const Point p = currentPosition();
  std::uint32_t type;
  if (press) {
    const int n = clickCount(button, p, now);
    clickCounts_[index] = n;
    clickTimes_[index] = now;
    clickPoints_[index] = p;
    type = kButtonDownTypes[index];
  } else {
    type = kButtonUpTypes[index];
  }
  postEvent(services_.createMouseEvent(type, p, static_cast<std::uint32_t>(button)),
            {{kFieldMouseClickState, clickCounts_[index]}});
  if (!press) noteButtonRelease(1 << button);
}

void CGEventOutput::pointing(std::span<const std::uint8_t> report, std::uint64_t now, bool snap) {
  changeButtons(byteAt(report, 0) & 0x7, now);
  const int dx = signedByteAt(report, 1);
  const int dy = signedByteAt(report, 2);
  if (dx != 0 || dy != 0) moveBy(dx, dy, now, snap);
  const int w = signedByteAt(report, 3);
  if (w != 0) postEvent(services_.createScrollWheelEvent(w), {});
}

void CGEventOutput::changeButtons(int b, std::uint64_t now) {
  for (int i = 0; i < 3; ++i) {
    const int bit = 1 << i;
    if ((b & bit) == (buttons_ & bit)) continue;
    const bool press = (b & bit) != 0;
    postButton(i, press, now);
    if (press) {
      buttons_ |= bit;
    } else {
      buttons_ &= ~bit;
    }
  }
}

void CGEventOutput::moveBy(int dx, int dy, std::uint64_t now, bool snap) {
  const Point p = currentPosition();
  Point target{p.x + dx, p.y + dy};
  const bool dragging = buttons_ != 0;
  if (snap && snapStep_) {
    target = snapStep_(p, Vector{static_cast<double>(dx), static_cast<double>(dy)}, dragging, now);
  }
  if (screens_.empty() || now - screensAt_ > kScreensRefreshNS) refreshScreens(now);
  const Point q = onScreen(target, p, screens_);
  if (q.x == p.x && q.y == p.y) return;
  if (!dragging) {
    postEvent(services_.createMouseEvent(kEventMouseMoved, q, 0), {{kFieldMouseClickState, 0}});
    return;
  }
  // A drag belongs to the lowest held button.
  std::size_t h = 0;
  while (!(buttons_ & (1 << h))) ++h;
  postEvent(services_.createMouseEvent(kButtonDragTypes[h], q, static_cast<std::uint32_t>(h)),
            {{kFieldMouseClickState, clickCounts_[h]}});
}

Point CGEventOutput::onScreen(Point point, Point from, std::span<const Rect> screens) {
  if (screens.empty()) return point;
  for (const auto& r : screens) {
    if (r.contains(point)) return point;
  }
  auto distance = [from](const Rect& r) {
    const double ex = std::max({r.minX() - from.x, from.x - r.maxX(), 0.0});
    const double ey = std::max({r.minY() - from.y, from.y - r.maxY(), 0.0});
    return std::hypot(ex, ey);
  };
  const Rect* chosen = &screens[0];
  double best = distance(*chosen);
  for (const auto& r : screens.subspan(1)) {
    const double d = distance(r);
    if (d < best) {
      best = d;
      chosen = &r;
    }
  }
  Point q = point;
  q.x = std::min(std::max(q.x, chosen->minX()), chosen->maxX() - 1);
  q.y = std::min(std::max(q.y, chosen->minY()), chosen->maxY() - 1);
  return q;
}

void CGEventOutput::moveCursor(Point to) {
  if (buttons_ != 0) return;
  postEvent(services_.createMouseEvent(kEventMouseMoved, to, 0), {{kFieldMouseClickState, 0}});
}

std::optional<Point> CGEventOutput::cursorLocation() {
  auto event = services_.createEvent();
  if (!event) return std::nullopt;
  return event->location;
}

void CGEventOutput::postMedia(int usage, bool down) {
  const std::int64_t keyType = mediaKeys().at(usage);
  const std::int64_t state = down ? kMediaDown : kMediaUp;
  SystemDefinedEventArgs args;
  args.modifierFlags = eventFlags() | static_cast<std::uint64_t>(state);
  args.subtype = kSubtypeAuxControlButtons;
  args.data1 = (keyType << 16) | state;
  args.data2 = -1;
  // The flags word travels in the arguments.
  postEvent(services_.createSystemDefinedEvent(args),
            {{kFieldSourceUserData, FnEventBridge::kEventTag}}, false);
  if (!down) noteMediaRelease(usage);
}

void CGEventOutput::consumer(std::span<const std::uint8_t> report) {
  const int byte = byteAt(report, 0);
  std::set<int> wanted;
  for (std::size_t bit = 0; bit < consumerUsages.size(); ++bit) {
    if (byte & (1 << bit)) wanted.insert(consumerUsages[bit]);
  }
  const std::vector<int> held(consumers_.begin(), consumers_.end());
  for (int usage : held) {
    if (wanted.count(usage)) continue;
    if (mediaKeys().count(usage)) postMedia(usage, false);
    consumers_.erase(usage);
  }
  for (int usage : wanted) {
    if (consumers_.count(usage)) continue;
    if (mediaKeys().count(usage)) postMedia(usage, true);
    consumers_.insert(usage);
  }
}

void CGEventOutput::releaseAll() {
  if (!permitted()) {
    fnBridge_.setHeld(false);
    repeatKey_.reset();
    repeatAt_ = 0;
    return;
  }
  // Each step runs even when an earlier one failed, so that as much as possible is released.
  const std::array<std::uint8_t, 33> noKeys{};
  const std::array<std::uint8_t, 4> noPointer{};
  const std::array<std::uint8_t, 1> noMedia{};
  try {
    keyboard(noKeys, false, 0);
  } catch (const std::exception&) {
  }
  try {
    pointing(noPointer, 0, false);
  } catch (const std::exception&) {
  }
  try {
    consumer(noMedia);
  } catch (const std::exception&) {
  }
  try {
    postOwedReleases();
  } catch (const std::exception&) {
  }
  discardState();
}

void CGEventOutput::discardState() {
  fnBridge_.setHeld(false);
  modifiers_ = 0;
  fnHeld_ = false;
  keys_.clear();
  buttons_ = 0;
  consumers_.clear();
  repeatKey_.reset();
  repeatAt_ = 0;
  clickTimes_ = {};
  clickCounts_ = {};
}

void CGEventOutput::setSnapStep(SnapStep step) {
  snapStep_ = std::move(step);
}

void CGEventOutput::startTap() {
  fnBridge_.start();
}

void CGEventOutput::stopTap() {
  fnBridge_.stop();
}

FnSnapshot CGEventOutput::fnSnapshot() {
  return fnBridge_.snapshot();
}

}  // namespace virelo
