// The AT-SPI accessibility and the X11 window list against a real accessibility bus with a real
// GTK 3 application, on one private desktop for the whole binary (libatspi connects once per
// process).
#include "platform/atspi/atspi_accessibility.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <sstream>
#include <thread>

#include "platform/atspi/atspi_controls.h"
#include "platform/procfs/process_applications.h"
#include "platform/x11/x11_window_list.h"
#include "tests/atspi/accessible_desktop.h"

#if defined(__SANITIZE_ADDRESS__)
// From AddressSanitizer's allocator interface (whose header GCC does not install).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace virelo {
namespace {

using test::AccessibleDesktop;

// The bytes of the heap that this process has in use (AddressSanitizer's allocator replaces
// malloc's under it).
std::size_t heapInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  struct mallinfo2 info = ::mallinfo2();
  return info.uordblks + info.hblkhd;
#endif
}

class AtspiTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { desktop_ = new AccessibleDesktop(); }
  static void TearDownTestSuite() {
    delete desktop_;
    desktop_ = nullptr;
  }

  void SetUp() override {
    if (!desktop_->unavailable().empty()) GTEST_SKIP() << desktop_->unavailable();
    // Each test has the desktop to itself with one application, also after a test that restarted
    // the accessibility bus, which the applications before it are not on.
    desktop_->reset();
    app_ = &desktop_->startApp(100, 100);
    ASSERT_GT(app_->pid, 0) << "the GTK application did not come up";
    windows_ = std::make_unique<x11::X11WindowList>(desktop_->display());
    accessibility_ = std::make_unique<atspi::AtspiAccessibility>(*windows_);
    system_ = accessibility_->systemWide();
    accessibility_->setMessagingTimeout(system_, 1.0f);
    ASSERT_TRUE(accessibility_->isProcessTrusted());
  }

  std::optional<AccessibilityValue> read(const ElementRef& element, const char* attribute) {
    return accessibility_->copyAttributeValue(element, attribute);
  }
  ElementRef at(Point p) {
    return accessibility_->elementAtPosition(system_, static_cast<float>(p.x),
                                             static_cast<float>(p.y));
  }
  static Point centre(const Rect& r) {
    return {r.minX() + r.width() / 2, r.minY() + r.height() / 2};
  }

  static AccessibleDesktop* desktop_;
  static const AccessibleDesktop::App* app_;
  std::unique_ptr<x11::X11WindowList> windows_;
  std::unique_ptr<atspi::AtspiAccessibility> accessibility_;
  ElementRef system_;
};

AccessibleDesktop* AtspiTest::desktop_ = nullptr;
const AccessibleDesktop::App* AtspiTest::app_ = nullptr;

TEST_F(AtspiTest, ElementAtAButtonsCentreIsThatButtonWithItsRoleExtentsAndState) {
  auto button = at(centre(app_->press));
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(read(button, "AXRole"), AccessibilityValue(std::string("AXButton")));
  EXPECT_EQ(read(button, "AXPosition"), AccessibilityValue(app_->press.origin));
  EXPECT_EQ(read(button, "AXSize"), AccessibilityValue(app_->press.size));
  EXPECT_EQ(read(button, "AXEnabled"), AccessibilityValue(true));
  EXPECT_EQ(accessibility_->processID(button), app_->pid);
  EXPECT_TRUE(accessibility_->equal(button, at(centre(app_->press))));
}

TEST_F(AtspiTest, ADisabledButtonReadsAsNotEnabled) {
  auto off = at({centre(app_->press).x, centre(app_->press).y + 60});
  ASSERT_NE(off, nullptr);
  EXPECT_EQ(read(off, "AXRole"), AccessibilityValue(std::string("AXButton")));
  EXPECT_EQ(read(off, "AXEnabled"), AccessibilityValue(false));
}

TEST_F(AtspiTest, ACheckBoxReadsAsACheckBoxWhoseParentIsNoControl) {
  auto tick = at({app_->press.minX() + 5, app_->press.minY() + 131});
  ASSERT_NE(tick, nullptr);
  EXPECT_EQ(read(tick, "AXRole"), AccessibilityValue(std::string("AXCheckBox")));
  auto parent = read(tick, "AXParent");
  ASSERT_TRUE(parent && std::holds_alternative<ElementRef>(*parent));
  EXPECT_EQ(read(std::get<ElementRef>(*parent), "AXRole"),
            AccessibilityValue(std::string("AXUnknown")));
}

TEST_F(AtspiTest, TheApplicationsWindowShowsItsHeaderBarButtons) {
  auto windows = read(accessibility_->application(app_->pid), "AXWindows");
  ASSERT_TRUE(windows && std::holds_alternative<std::vector<ElementRef>>(*windows));
  ASSERT_EQ(std::get<std::vector<ElementRef>>(*windows).size(), 1u);
  auto window = std::get<std::vector<ElementRef>>(*windows)[0];
  EXPECT_EQ(read(window, "AXRole"), AccessibilityValue(std::string("AXWindow")));
  for (const char* name : {"AXCloseButton", "AXMinimizeButton", "AXZoomButton"}) {
    auto button = read(window, name);
    ASSERT_TRUE(button && std::holds_alternative<ElementRef>(*button)) << name;
    auto element = std::get<ElementRef>(*button);
    EXPECT_EQ(read(element, "AXRole"), AccessibilityValue(std::string("AXButton"))) << name;
    auto position = read(element, "AXPosition");
    ASSERT_TRUE(position && std::holds_alternative<Point>(*position)) << name;
    // In the header bar, above the button "Press".
    EXPECT_LT(std::get<Point>(*position).y, app_->press.minY()) << name;
    EXPECT_TRUE(accessibility_->equal(element, at(std::get<Point>(*position)))) << name;
  }
  EXPECT_EQ(read(window, "AXFullScreenButton"), AccessibilityValue(std::monostate{}));
}

TEST_F(AtspiTest, NotTrustedWhileTheAccessibilityBusIsSwitchedOff) {
  ASSERT_TRUE(desktop_->setEnabled(false));
  bool trusted = accessibility_->isProcessTrusted();
  ASSERT_TRUE(desktop_->setEnabled(true));
  EXPECT_FALSE(trusted);
  EXPECT_TRUE(accessibility_->isProcessTrusted());
}

TEST_F(AtspiTest, WindowListRunsFrontToBackWithOwnersAndScreenBounds) {
  const auto& second = desktop_->startApp(150, 130);
  ASSERT_GT(second.pid, 0);
  auto list = windows_->copyWindowInfo(
      kWindowListOptionOnScreenOnly | kWindowListExcludeDesktopElements, 0);
  ASSERT_TRUE(list && list->is_array());
  // The applications' unmapped leader windows are left out: two windows only.
  ASSERT_EQ(list->size(), 2u);
  EXPECT_EQ((*list)[0][kWindowOwnerPID], second.pid);
  EXPECT_EQ((*list)[1][kWindowOwnerPID], app_->pid);
  for (const auto& entry : *list) EXPECT_EQ(entry[kWindowLayer], 0);
  auto front = rectFromDictionary((*list)[0][kWindowBounds]);
  ASSERT_TRUE(front);
  EXPECT_TRUE(front->contains(second.press));
  // The element under the second application's button is now that application's.
  EXPECT_EQ(accessibility_->processID(at(centre(second.press))), second.pid);
}

TEST_F(AtspiTest, AnApplicationIsIdentifiedByItsWindowClassAndIsNotWeb) {
  procfs::ProcessApplications applications(
      [this](std::int32_t pid) { return windows_->windowClassOf(pid); });
  windows_->copyWindowInfo(kWindowListOptionOnScreenOnly, 0);
  auto app = applications.runningApplication(app_->pid);
  ASSERT_TRUE(app);
  EXPECT_EQ(app->bundleIdentifier, "Gtk_app.py");
  EXPECT_FALSE(app->web);
}

TEST_F(AtspiTest, AnApplicationThatDoesNotAnswerCostsOneTimeoutNotOnePerRequest) {
  const auto& hung = desktop_->startApp(500, 100);
  ASSERT_GT(hung.pid, 0);
  accessibility_->setMessagingTimeout(system_, 0.2f);
  // Its main loop is blocked for 5 s: it answers nothing meanwhile.
  ASSERT_EQ(::write(hung.input, "block 5000\n", 11), 11);
  auto started = std::chrono::steady_clock::now();
  // As many hit tests as a wide search makes over it, then one over the application that answers.
  for (int i = 0; i < 25; ++i) at(centre(hung.press));
  auto button = at(centre(app_->press));
  auto took = std::chrono::steady_clock::now() - started;
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(accessibility_->processID(button), app_->pid);
  // Waiting out the timeout at every hit test would take 25 × 0.2 s = 5 s.
  EXPECT_LT(took, std::chrono::seconds(2));
}

// The controls of the desktop, as the commands on controls read them.
ControlSearch findControls(const std::string& display, std::chrono::milliseconds timeout,
                           const std::string& name) {
  x11::X11WindowList windows(display);
  atspi::AtspiControls controls(windows, windows, timeout);
  ControlFilter filter;
  filter.name = [name](std::string_view n) { return n == name; };
  return controls.find(filter);
}

TEST_F(AtspiTest, AControlSearchSkipsAndNamesAnApplicationThatDoesNotAnswer) {
  const auto& hung = desktop_->startApp(500, 100);
  ASSERT_GT(hung.pid, 0);
  ASSERT_EQ(::write(hung.input, "block 3000\n", 11), 11);
  auto started = std::chrono::steady_clock::now();
  auto found = findControls(desktop_->display(), std::chrono::milliseconds(200), "Press");
  auto took = std::chrono::steady_clock::now() - started;
  ASSERT_EQ(found.unanswering.size(), 1u);
  EXPECT_NE(found.unanswering[0].find("pid " + std::to_string(hung.pid)), std::string::npos)
      << found.unanswering[0];
  auto of = [&](pid_t pid) {
    return std::count_if(found.controls.begin(), found.controls.end(),
                         [&](const Control& c) { return c.pid == pid; });
  };
  EXPECT_EQ(of(app_->pid), 1);
  EXPECT_EQ(of(hung.pid), 0);
  // One timeout for the application, not one for each of its requests.
  EXPECT_LT(took, std::chrono::seconds(2));
}

TEST_F(AtspiTest, AnApplicationIsFoundOnTheAccessibilityBusAfterItRestarted) {
  ASSERT_NE(at(centre(app_->press)), nullptr);
  ASSERT_TRUE(desktop_->restartAccessibilityBus());
  const auto& later = desktop_->startApp(500, 100);
  ASSERT_GT(later.pid, 0);
  ASSERT_TRUE(accessibility_->isProcessTrusted());
  auto button = at(centre(later.press));
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(accessibility_->processID(button), later.pid);
}

TEST_F(AtspiTest, AControlSearchFindsTheApplicationsOfARestartedAccessibilityBus) {
  x11::X11WindowList windows(desktop_->display());
  atspi::AtspiControls controls(windows, windows, std::chrono::seconds(2));
  ControlFilter filter;
  filter.name = [](std::string_view name) { return name == "Press"; };
  auto pids = [&] {
    std::vector<std::int32_t> found;
    for (const auto& c : controls.find(filter).controls) found.push_back(c.pid);
    return found;
  };
  ASSERT_EQ(pids(), std::vector<std::int32_t>{app_->pid});
  ASSERT_TRUE(desktop_->restartAccessibilityBus());
  const auto& later = desktop_->startApp(500, 100);
  ASSERT_GT(later.pid, 0);
  auto after = pids();
  EXPECT_NE(std::find(after.begin(), after.end(), later.pid), after.end());
}

TEST_F(AtspiTest, AScaledApplicationsButtonIsFoundAndFramedInTheServersPixels) {
  // GTK at twice the scale: its accessibles tell logical pixels, half the X server's.
  const auto& scaled = desktop_->startApp(400, 100, 2);
  ASSERT_GT(scaled.pid, 0);
  auto button = at(centre(scaled.press));
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(read(button, "AXRole"), AccessibilityValue(std::string("AXButton")));
  EXPECT_EQ(read(button, "AXPosition"), AccessibilityValue(scaled.press.origin));
  EXPECT_EQ(read(button, "AXSize"), AccessibilityValue(scaled.press.size));
}

TEST_F(AtspiTest, AButtonAmongThousandsIsFoundWithinTheMessagingTimeout) {
  const auto& large = desktop_->startApp(150, 150, 1, 3000);
  ASSERT_GT(large.pid, 0);
  // The first request to an application with so many widgets makes it build its accessibles, which
  // takes longer than the finder's timeout, and on a loaded machine longer than a second.
  accessibility_->setMessagingTimeout(system_, 10.0f);
  ASSERT_TRUE(read(accessibility_->application(large.pid), "AXWindows"));
  // A hit test that made the toolkit search all 3,000 children would miss the finder's timeout
  // every time (about half a second); one that does not can still miss it now and then on a
  // loaded machine, where any answer of the application may come late, so it has a number of
  // tries. Each try is a fresh accessibility: one that saw the application leave a request
  // unanswered skips it for a while.
  ElementRef button;
  for (int attempt = 0; attempt < 20 && button == nullptr; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    accessibility_ = std::make_unique<atspi::AtspiAccessibility>(*windows_);
    system_ = accessibility_->systemWide();
    accessibility_->setMessagingTimeout(system_, 0.05f);
    button = at(centre(large.press));
  }
  ASSERT_NE(button, nullptr);
  accessibility_->setMessagingTimeout(system_, 1.0f);
  EXPECT_EQ(read(button, "AXTitle"), AccessibilityValue(std::string("25")));
  EXPECT_EQ(read(button, "AXPosition"), AccessibilityValue(large.press.origin));
}

TEST_F(AtspiTest, UnderAWindowManagerAnOpenMenuHidesTheButtonBeneathIt) {
  if (!desktop_->startWindowManager()) GTEST_SKIP() << "the window manager openbox does not run";
  const auto& app = desktop_->startApp(400, 300);
  ASSERT_GT(app.pid, 0);
  std::istringstream shown(AccessibleDesktop::ask(app, "menu"));
  std::string word;
  double x = 0, y = 0, w = 0, h = 0;
  ASSERT_TRUE(shown >> word >> x >> y >> w >> h && word == "menu") << "the menu did not open";
  ASSERT_TRUE(makeRect(x, y, w, h).contains(centre(app.press)));
  // The manager lists only the windows it manages, never the menu (override-redirect). The
  // button's centre lies under the menu, so what is found there is a menu item, or nothing where
  // the toolkit does not show the menu as a window of its own, but never the button.
  auto hit = at(centre(app.press));
  EXPECT_TRUE(hit == nullptr || read(hit, "AXRole") != AccessibilityValue(std::string("AXButton")));
}

TEST_F(AtspiTest, MemoryStaysFlatWhileAnApplicationReplacesWidgetsUnderAScreenReader) {
  // While a screen reader listens, the application tells the bus of every widget it adds and
  // removes: 1,000 a second here, its buttons beside "Press" replaced every 10 ms.
  ASSERT_TRUE(desktop_->startScreenReader());
  ASSERT_EQ(AccessibleDesktop::ask(*app_, "churn 10"), "churning");
  const Point churned{app_->press.minX() + 150, app_->press.minY() + 10};
  // Hit tests over the replaced buttons and over "Press", as searches around the cursor make.
  auto searchFor = [&](std::chrono::seconds duration) {
    auto until = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < until) {
      at(churned);
      at(centre(app_->press));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  };
  searchFor(std::chrono::seconds(5));
  const auto before = heapInUse();
  searchFor(std::chrono::seconds(60));
  const auto after = heapInUse();
  EXPECT_LT(after, before + (1u << 20)) << "from " << before << " bytes to " << after;
}

}  // namespace
}  // namespace virelo
