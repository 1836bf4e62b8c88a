#include "bench/recording_accessibility.h"

namespace virelo::bench {

void RecordingAccessibility::record(bool on) {
  if (on) calls_.clear();
  recording_ = on;
}

void RecordingAccessibility::replay() {
  for (const auto& call : calls_) {
    switch (call.kind) {
      case Kind::trusted:
        inner_.isProcessTrusted();
        break;
      case Kind::application:
        inner_.application(call.pid);
        break;
      case Kind::attribute:
        inner_.copyAttributeValue(call.element, call.attribute);
        break;
      case Kind::at:
        inner_.elementAtPosition(call.element, call.x, call.y);
        break;
      case Kind::pid:
        inner_.processID(call.element);
        break;
    }
  }
}

bool RecordingAccessibility::isProcessTrusted() {
  add({Kind::trusted, nullptr, {}, 0, 0, 0});
  return inner_.isProcessTrusted();
}

ElementRef RecordingAccessibility::application(std::int32_t pid) {
  add({Kind::application, nullptr, {}, 0, 0, pid});
  return inner_.application(pid);
}

std::optional<AccessibilityValue> RecordingAccessibility::copyAttributeValue(
    const ElementRef& element, const std::string& attribute) {
  add({Kind::attribute, element, attribute, 0, 0, 0});
  return inner_.copyAttributeValue(element, attribute);
}

ElementRef RecordingAccessibility::elementAtPosition(const ElementRef& systemWide, float x,
                                                     float y) {
  add({Kind::at, systemWide, {}, x, y, 0});
  return inner_.elementAtPosition(systemWide, x, y);
}

std::optional<std::int32_t> RecordingAccessibility::processID(const ElementRef& element) {
  add({Kind::pid, element, {}, 0, 0, 0});
  return inner_.processID(element);
}

}  // namespace virelo::bench
