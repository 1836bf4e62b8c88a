// The accessibility interface of the platform: the element operations that snap target
// discovery needs and the process-trusted test.
//
// Threads: systemWide() and setMessagingTimeout() are called once at start-up on the main
// thread; every other operation is called only on the snap target finder's background queue.
// Implementations must allow those two threads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/accessibility_element.h"
#include "platform/accessibility_value.h"

namespace virelo {

class Accessibility {
 public:
  virtual ~Accessibility() = default;

  // Whether this process may use the accessibility interface.
  virtual bool isProcessTrusted() = 0;
  // The system-wide element, root of hit-testing.
  virtual ElementRef systemWide() = 0;
  // The application element of a process. Always a handle; requests to it fail when the
  // process does not answer.
  virtual ElementRef application(std::int32_t pid) = 0;
  // Sets how long a request may take before it fails. Set on the system-wide element it applies
  // to every request of this process. Whether the platform accepted it is of no interest.
  virtual void setMessagingTimeout(const ElementRef& element, float seconds) = 0;
  // Reads an attribute. std::nullopt when the request failed (unsupported attribute, no answer,
  // invalid element, ...); otherwise the value, which may be std::monostate (no value).
  virtual std::optional<AccessibilityValue> copyAttributeValue(const ElementRef& element,
                                                               const std::string& attribute) = 0;
  // The deepest accessible element at a screen position, asked through the system-wide element.
  // Null when the request failed or there is no element there.
  virtual ElementRef elementAtPosition(const ElementRef& systemWide, float x, float y) = 0;
  // The process that owns an element, or std::nullopt when the request failed.
  virtual std::optional<std::int32_t> processID(const ElementRef& element) = 0;
  // Whether two handles denote the same element.
  virtual bool equal(const ElementRef& a, const ElementRef& b) = 0;
};

}  // namespace virelo
