// The accessibility interface on the Linux desktop's accessibility bus, AT-SPI 2, through
// libatspi. Attribute names and role names are those that snap target discovery reads; the
// mapping is described in docs/snap-targets.md.
//
// Trusted means: the session bus answers that the accessibility bus is enabled (org.a11y.Status
// IsEnabled, never switched on here) and libatspi reaches the accessibility bus. AT-SPI has no
// system-wide hit test: the element at a position is found from the window list (the top-level
// window under the point and the process that owns it), the accessible window of that process's
// application, and component hit tests in screen coordinates down to the deepest element.
// Applications that leave a request unanswered are skipped for a while (atspi_unanswering.h).
// When the accessibility bus goes away (it stopped or restarted), the next search connects anew.
// libatspi's subscriptions to the applications' events are dropped once it starts, and the
// accessibles it keeps of an application are let go when they are no longer used and the
// application's table of them grows large, so that a long session does not grow the process
// (docs/snap-targets.md, "A long session beside busy applications").
//
// Threads: systemWide() and setMessagingTimeout() are called on the main thread at start-up and
// never touch the bus (the timeout is only stored). Every other operation, and so every use of
// libatspi and of the window list, happens only on the snap target finder's serial queue; libatspi
// is not used by any other thread of the process. Elements other than the system-wide one are
// released on that queue.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>

#include "platform/accessibility.h"
#include "platform/atspi/atspi_status.h"
#include "platform/atspi/atspi_unanswering.h"
#include "platform/window_list.h"

typedef struct _AtspiAccessible AtspiAccessible;

namespace virelo::atspi {

class AtspiAccessibility final : public Accessibility {
 public:
  static constexpr std::chrono::milliseconds kWindowListLifetime{20};

  // `windows` lists the top-level windows front to back; it must outlive this object.
  explicit AtspiAccessibility(WindowList& windows);
  ~AtspiAccessibility() override;

  bool isProcessTrusted() override;
  ElementRef systemWide() override;
  ElementRef application(std::int32_t pid) override;
  void setMessagingTimeout(const ElementRef& element, float seconds) override;
  std::optional<AccessibilityValue> copyAttributeValue(const ElementRef& element,
                                                       const std::string& attribute) override;
  ElementRef elementAtPosition(const ElementRef& systemWide, float x, float y) override;
  std::optional<std::int32_t> processID(const ElementRef& element) override;
  bool equal(const ElementRef& a, const ElementRef& b) override;

 private:
  int timeoutMS() const;
  // Applies the stored timeout to libatspi; false when the accessibility bus is out of reach.
  bool ready();
  AtspiAccessible* applicationOf(std::int32_t pid);
  // The window list, taken again when the last one is older than kWindowListLifetime: the hit
  // tests of one search share it.
  const nlohmann::json& windowList();
  // Runs requests to the application of `accessible`, unless it is one that does not answer (then
  // gives an empty result), and remembers whether it answered them.
  template <typename Requests>
  auto asking(AtspiAccessible* accessible, Requests requests) -> decltype(requests());

  WindowList& windows_;
  AtspiStatus status_;
  std::atomic<int> timeoutMS_;
  // The connection's generation that unanswering_ knows the names of.
  std::uint64_t generation_ = 0;
  nlohmann::json windowList_;
  std::chrono::steady_clock::time_point windowListTakenAt_;
  UnansweringApplications unanswering_;
};

}  // namespace virelo::atspi
