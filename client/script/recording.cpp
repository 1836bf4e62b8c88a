#include <algorithm>
#include <utility>

#include "virelo/client/keys.h"
#include "virelo/client/script.h"

namespace virelo::client {
namespace {

// The media keys by evdev code (X key code - 8), as the kernel names them.
const char* mediaKeyName(int evdevCode) {
  switch (evdevCode) {
    case 113:  // KEY_MUTE
      return "mute";
    case 114:  // KEY_VOLUMEDOWN
      return "volume-down";
    case 115:  // KEY_VOLUMEUP
      return "volume-up";
    case 163:  // KEY_NEXTSONG
      return "next";
    case 164:  // KEY_PLAYPAUSE
      return "play-pause";
    case 165:  // KEY_PREVIOUSSONG
      return "previous";
    default:
      return nullptr;
  }
}

const char* buttonName(int button) {
  switch (button) {
    case 1:
      return "left";
    case 2:
      return "middle";
    case 3:
      return "right";
    default:
      return nullptr;
  }
}

// The script's name of a keyboard usage: modifiers by their names, other keys by position.
std::string usageName(int usage) {
  if (usage >= 0xE0 && usage <= 0xE7) {
    return client::modifierNames(static_cast<std::uint8_t>(1 << (usage - 0xE0)));
  }
  return client::keyName(usage);
}

constexpr int kLongestSleepMs = 3'600'000;

bool isSleep(const std::string& line) {
  return line.starts_with("sleep ");
}

}  // namespace

ScriptRecorder::ScriptRecorder(int pointerX, int pointerY) : x_(pointerX), y_(pointerY) {}

void ScriptRecorder::emit(std::uint32_t timeMs, std::string text, int pending) {
  if (lastTime_ && timeMs > *lastTime_) {
    lines_.push_back({"sleep " + std::to_string(timeMs - *lastTime_)});
  }
  if (!lastTime_ || timeMs > *lastTime_) lastTime_ = timeMs;
  lines_.push_back({std::move(text), pending});
}

void ScriptRecorder::press(std::uint32_t timeMs, int id, std::string text) {
  if (down_.contains(id)) return;  // auto-repeat
  emit(timeMs, std::move(text), id);
  down_[id] = lines_.size() - 1;
}

void ScriptRecorder::release(std::uint32_t timeMs, int id, std::string text) {
  auto it = down_.find(id);
  if (it == down_.end()) return;  // down before the recording began
  lines_[it->second].pending = -1;
  down_.erase(it);
  emit(timeMs, std::move(text));
}

void ScriptRecorder::flushMotion() {
  if (!motionSince_) return;
  motionSince_.reset();
  const int dx = motionX_ - x_;
  const int dy = motionY_ - y_;
  if (dx == 0 && dy == 0) return;
  x_ = motionX_;
  y_ = motionY_;
  emit(motionTime_, "mousemove_relative " + std::to_string(dx) + " " + std::to_string(dy));
}

void ScriptRecorder::addKey(const RecordedEvent& event) {
  const bool isPress = event.kind == RecordedEvent::Kind::keyPress;
  const int evdev = event.code - 8;
  if (const char* media = mediaKeyName(evdev)) {
    if (isPress) emit(event.timeMs, std::string("media ") + media);
    return;
  }
  auto usage = client::usageOfEvdevCode(evdev);
  if (!usage) return;
  const std::string name = usageName(*usage);
  if (isPress) {
    press(event.timeMs, event.code, "keydown " + name);
  } else {
    release(event.timeMs, event.code, "keyup " + name);
  }
}

void ScriptRecorder::addButton(const RecordedEvent& event) {
  const bool isPress = event.kind == RecordedEvent::Kind::buttonPress;
  if (event.code == 4 || event.code == 5) {
    if (isPress) emit(event.timeMs, event.code == 4 ? "wheel 1" : "wheel -1");
    return;
  }
  const char* name = buttonName(event.code);
  if (name == nullptr) return;  // the horizontal wheel (6, 7) and the side buttons
  const int id = kButtonBase + event.code;
  if (isPress) {
    press(event.timeMs, id, std::string("buttondown ") + name);
  } else {
    release(event.timeMs, id, std::string("buttonup ") + name);
  }
}

void ScriptRecorder::add(const RecordedEvent& event) {
  using Kind = RecordedEvent::Kind;
  if (event.kind == Kind::pointerAt) {
    if (motionSince_ && event.timeMs - *motionSince_ >= kMotionWindowMs) flushMotion();
    if (!motionSince_) motionSince_ = event.timeMs;
    motionTime_ = event.timeMs;
    motionX_ = event.x;
    motionY_ = event.y;
    return;
  }
  flushMotion();
  if (event.kind == Kind::pointerMovedElsewhere) {
    x_ = event.x;
    y_ = event.y;
  } else if (event.kind == Kind::keyPress || event.kind == Kind::keyRelease) {
    addKey(event);
  } else {
    addButton(event);
  }
}

std::string ScriptRecorder::finish() {
  flushMotion();
  std::vector<std::string> kept;
  int sleepMs = 0;
  for (const Line& line : lines_) {
    if (line.pending >= 0) continue;  // never released: left out
    if (isSleep(line.text)) {
      sleepMs += std::stoi(line.text.substr(6));
      continue;
    }
    // One sleep line holds an hour at most.
    for (; sleepMs > 0 && !kept.empty(); sleepMs -= std::min(sleepMs, kLongestSleepMs)) {
      kept.push_back("sleep " + std::to_string(std::min(sleepMs, kLongestSleepMs)));
    }
    sleepMs = 0;
    kept.push_back(line.text);
  }
  std::string script = "layout us\n";
  for (const std::string& line : kept) script += line + "\n";
  return script;
}

}  // namespace virelo::client
