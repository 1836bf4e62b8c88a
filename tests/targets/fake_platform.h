// An in-process platform for the snap target tests: accessibility elements with scripted
// attributes, hit regions, a window list, displays and running applications, with a log of
// every request so that tests can check what was asked (and what was not).
//
// Threads: scripted from the test thread before the finder runs (or between drains); the
// request operations run on the finder's queue. Every access takes `mutex_`, and hooks run
// outside it.
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/accessibility.h"
#include "platform/active_displays.h"
#include "platform/running_applications.h"
#include "platform/window_list.h"
#include "targets/snap_target_platform.h"

namespace virelo::testing {

// A handle that names an element by id. Every call to FakePlatform::ref makes a new handle, so
// that tests see equality decided by id, not by handle identity.
struct FakeElement : AccessibilityElement {
  explicit FakeElement(std::string id) : id(std::move(id)) {}
  std::string id;
};

// Lets a test hold the finder's queue inside a platform call: every pass() call counts as an
// arrival and waits for a permit.
class Turnstile {
 public:
  void pass() {
    std::unique_lock<std::mutex> lock(mutex_);
    ++arrived_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return permits_ > 0; });
    --permits_;
  }
  void awaitArrivals(int n) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return arrived_ >= n; });
  }
  void permit(int n = 1) {
    std::lock_guard<std::mutex> guard(mutex_);
    permits_ += n;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int arrived_ = 0;
  int permits_ = 0;
};

class FakePlatform final : public Accessibility,
                           public WindowList,
                           public ActiveDisplays,
                           public RunningApplications {
 public:
  static constexpr std::int32_t kOwnPID = 999;

  FakePlatform();

  SnapTargetPlatform platform() { return {*this, *this, *this, *this}; }

  // ---- scripting ----
  static ElementRef ref(const std::string& id) { return std::make_shared<FakeElement>(id); }

  // An element of a process. Attributes are added with attr(); an attribute that was never set
  // fails to read.
  void element(const std::string& id, std::int32_t pid);
  void attr(const std::string& id, const std::string& name, AccessibilityValue value);
  void failAttr(const std::string& id, const std::string& name);
  // Convenience: role, frame, parent.
  void control(const std::string& id, std::int32_t pid, const std::string& role, Rect frame,
               const std::string& parent = "");
  // A window element with its frame; the application's "AXWindows" lists it (in call order).
  void windowElement(const std::string& id, std::int32_t pid, Rect frame);
  void setButton(const std::string& window, const std::string& attribute, const std::string& id);
  // Hit region: positions inside `area` hit the element; earlier regions are in front.
  void hitRegion(Rect area, const std::string& id);
  void failPID(const std::string& id);

  // Window-list entries, front to back.
  void window(std::int32_t pid, Rect bounds, std::int64_t layer = 0,
              std::optional<double> alpha = std::nullopt);
  void setWindowInfo(std::optional<nlohmann::json> info);
  void setDisplays(std::optional<std::vector<Rect>> displays);
  void app(std::int32_t pid, std::optional<std::string> bundleID,
           std::optional<std::filesystem::path> location = std::nullopt);
  // An application that the platform itself recognised as web.
  void webApp(std::int32_t pid, std::string identifier);
  void setTrusted(bool trusted);
  // Runs at the start of every isProcessTrusted() call, that is at the start of every search.
  void onSearch(std::function<void()> hook);

  // ---- observation ----
  std::vector<std::string> log();  // "attr <id> <name>", "hit <x> <y>", "pid <id>", ...
  int count(const std::string& prefix);
  void clearLog();
  std::optional<float> messagingTimeout();
  int searches();

  // ---- the interfaces ----
  bool isProcessTrusted() override;
  ElementRef systemWide() override { return ref("system"); }
  ElementRef application(std::int32_t pid) override { return ref("app:" + std::to_string(pid)); }
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
  std::optional<RunningApplications::Application> runningApplication(std::int32_t pid) override;
  std::int32_t ownProcessID() override { return kOwnPID; }

 private:
  struct Node {
    std::int32_t pid = 0;
    bool pidFails = false;
    std::map<std::string, std::optional<AccessibilityValue>> attributes;
  };
  static std::string idOf(const ElementRef& element);
  void note(std::string line);

  std::mutex mutex_;
  std::map<std::string, Node> nodes_;
  std::vector<std::pair<Rect, std::string>> hits_;
  std::optional<nlohmann::json> windowInfo_;
  std::optional<std::vector<Rect>> displays_;
  std::map<std::int32_t, RunningApplications::Application> apps_;
  bool trusted_ = true;
  std::function<void()> searchHook_;
  std::vector<std::string> log_;
  std::optional<float> timeout_;
  int searches_ = 0;
};

}  // namespace virelo::testing
