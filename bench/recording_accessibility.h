// An accessibility interface that passes every request on to another one and records the
// requests made during a search, so that the benchmark can replay exactly those requests
// without the search around them.
//
// Threads: one thread uses an object.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/accessibility.h"

namespace virelo::bench {

class RecordingAccessibility final : public Accessibility {
 public:
  explicit RecordingAccessibility(Accessibility& inner) : inner_(inner) {}

  // Starts or stops recording (and forgets an earlier recording when starting).
  void record(bool on);
  std::size_t recorded() const { return calls_.size(); }
  // Makes the recorded requests again, on the inner interface, in their order.
  void replay();

  bool isProcessTrusted() override;
  ElementRef systemWide() override { return inner_.systemWide(); }
  ElementRef application(std::int32_t pid) override;
  void setMessagingTimeout(const ElementRef& element, float seconds) override {
    inner_.setMessagingTimeout(element, seconds);
  }
  std::optional<AccessibilityValue> copyAttributeValue(const ElementRef& element,
                                                       const std::string& attribute) override;
  ElementRef elementAtPosition(const ElementRef& systemWide, float x, float y) override;
  std::optional<std::int32_t> processID(const ElementRef& element) override;
  bool equal(const ElementRef& a, const ElementRef& b) override { return inner_.equal(a, b); }

 private:
  enum class Kind { trusted, application, attribute, at, pid };
  struct Call {
    Kind kind;
    ElementRef element;
    std::string attribute;
    float x = 0;
    float y = 0;
    std::int32_t pid = 0;
  };
  void add(Call call) {
    if (recording_) calls_.push_back(std::move(call));
  }

  Accessibility& inner_;
  bool recording_ = false;
  std::vector<Call> calls_;
};

}  // namespace virelo::bench
