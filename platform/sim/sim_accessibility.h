// The accessibility side of the simulated host: accessibility elements of simulated
// applications with hit-testing, the window server's window list, the active displays, the
// running applications and the process-trusted test.
//
// World keys (VL_SIM_WORLD), all optional:
//   "trusted"   whether this process may use accessibility (default true).
//   "ownPid"    the process id this process sees as its own (default: its real id), so that a
//               world can hold the service's own windows and elements.
//   "displays"  list of [x, y, width, height], default [[0, 0, 1920, 1080]]; null makes the
//               display list call fail. (The same key as the simulated window server's.)
//   "windows"   the window list, front to back; null makes the call fail. Each entry is an
//               object with "pid", "layer" (default 0; null leaves the key out), "bounds"
//               ([x, y, width, height]) and "alpha" (optional). Values of the wrong kind are
//               handed out as they are, so that malformed windows can be described; an entry
//               that is not an object is handed out unchanged as well.
//   "apps"      object keyed by process id (as text). Each application may have:
//                 "bundleIdentifier" text, "bundleLocation" text (a directory path; both
//                 optional), "delayMs" how long each of its answers takes, "fail" true when
//                 every request to it fails at once, "windows" list of element ids (its
//                 "AXWindows"), "elements" list of elements.
//               An element is an object with:
//                 "id"        text, unique in the world, not starting with "app:";
//                 "role"      its "AXRole" (text, or anything else for a value of another kind);
//                 "frame"     [x, y, width, height], giving "AXPosition" and "AXSize"
//                             ("position" [x, y] and "size" [w, h] override either);
//                 "enabled"   its "AXEnabled";
//                 "parent"    id of its "AXParent" ("app:<pid>" for the application element);
//                 "closeButton", "minimizeButton", "zoomButton", "fullScreenButton"
//                             ids of a window's buttons ("AXCloseButton", ...);
//                 "attributes" object of further attributes by their full name;
//                 "failAttributes" list of attribute names whose reads fail;
//                 "delayMs"   how long requests about this element take (default: the app's);
//                 "fail"      true when every request about it fails;
//                 "pid"       the process id it reports (default: its application's).
//               A missing attribute fails to read; null reads as "no value". An element id
//               gives an element value; a list of ids an element list.
// Requests take the answer delay of the element or application. When that is longer than the
// messaging timeout (6 s until set; set on the system-wide element it applies to every
// element), the request fails after the timeout instead.
// Hit-testing goes to the frontmost window of the list that contains the point, passing over
// entries with a malformed pid or bounds, invisible ones (numeric "alpha" at most 0.01) and
// those marked "ignoresMouse": true (an overlay that lets the mouse through). It answers the
// deepest element of that window's application whose frame contains the point (the later one
// on equal depth), after that element's delay (or the application's); no such element, no such
// application, or a failing application or element make the request fail.
//
// Trace: ax_trusted {"trusted"}, ax_timeout {"element","seconds"}, ax_hit {"x","y","pid",
// "element","ok"}, ax_attr {"element","attribute","ok"}, ax_pid {"element","ok"}, each with
// "timeout":true when the answer came too late; window_list {"ok","count"}; app_lookup {"pid",
// "found"}.
// Control (VL_SIM_CONTROL):
//   {"request":"set", "trusted":B, "windows":[...], "apps":{...}, "displays":[...]} replaces
//       each part given;
//   {"request":"ax_app","pid":P,"app":{...}} adds or replaces one application (null removes
//       it);
//   {"request":"ax_element","pid":P,"element":{...}} adds an element to a known application or
//       replaces the element with the same id;
//   {"request":"ax_remove_element","id":"..."} removes one element.
//
// Threads: every operation may be called from any thread; the state is shared with the control
// thread under an internal mutex, never held while an answer is delayed.
#pragma once

#include <memory>

#include "platform/accessibility.h"
#include "platform/active_displays.h"
#include "platform/running_applications.h"
#include "platform/sim/sim_host.h"
#include "platform/window_list.h"

namespace virelo::sim {

class SimAccessibility final : public Accessibility,
                               public WindowList,
                               public ActiveDisplays,
                               public RunningApplications {
 public:
  // Reads the world and registers the control requests; call before host.startControl().
  explicit SimAccessibility(SimHost& host);
  ~SimAccessibility() override;
  SimAccessibility(const SimAccessibility&) = delete;
  SimAccessibility& operator=(const SimAccessibility&) = delete;

  bool isProcessTrusted() override;
  ElementRef systemWide() override;
  ElementRef application(std::int32_t pid) override;
  void setMessagingTimeout(const ElementRef& element, float seconds) override;
  std::optional<AccessibilityValue> copyAttributeValue(const ElementRef& element,
                                                       const std::string& attribute) override;
  ElementRef elementAtPosition(const ElementRef& systemWide, float x, float y) override;
  std::optional<std::int32_t> processID(const ElementRef& element) override;
  bool equal(const ElementRef& a, const ElementRef& b) override;

  std::optional<nlohmann::json> copyWindowInfo(std::uint32_t options,
                                               std::uint32_t relativeToWindow) override;

  std::optional<std::vector<std::uint32_t>> activeDisplayList(std::uint32_t maxDisplays) override;
  Rect displayBounds(std::uint32_t display) override;

  std::optional<Application> runningApplication(std::int32_t pid) override;
  std::int32_t ownProcessID() override;

  // The id the simulated host knows an element handle by ("system", "app:<pid>" or the
  // element's id); empty for a handle it did not make.
  static std::string elementID(const ElementRef& element);

  struct State;

 private:
  SimHost& host_;
  std::shared_ptr<State> state_;
};

}  // namespace virelo::sim
