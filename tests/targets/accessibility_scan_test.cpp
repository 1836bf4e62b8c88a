#include "targets/accessibility_scan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "fake_platform.h"
#include "targets/sample_rings.h"

namespace virelo {
namespace {

using ::testing::ElementsAre;
using testing::FakePlatform;
using ::testing::IsEmpty;

const std::vector<Vector> kNoSamples;
const std::vector<Vector> kCentre{{0, 0}};

class ScanTest : public ::testing::Test {
 protected:
  std::vector<Rect> run(Point p, const std::vector<Vector>& ring = kCentre, double margin = 24) {
    return scan.scan(p, ring, margin);
  }

  static Rect closeOf(Rect w) { return makeRect(w.minX() + 8, w.minY() + 4, 14, 14); }
  static Rect minimizeOf(Rect w) { return makeRect(w.minX() + 28, w.minY() + 4, 14, 14); }
  static Rect zoomOf(Rect w) { return makeRect(w.minX() + 48, w.minY() + 4, 14, 14); }
  static Rect fullScreenOf(Rect w) { return makeRect(w.minX() + 68, w.minY() + 4, 14, 14); }

  // An ordinary window of `pid` listed by the window server, with a matching window element
  // `id` whose four title-bar buttons are `id`-close, -min, -zoom and -full.
  void titledWindow(std::int32_t pid, const std::string& id, Rect bounds) {
    fake.window(pid, bounds);
    fake.windowElement(id, pid, bounds);
    const std::pair<const char*, Rect> buttons[] = {{"AXCloseButton", closeOf(bounds)},
                                                    {"AXMinimizeButton", minimizeOf(bounds)},
                                                    {"AXZoomButton", zoomOf(bounds)},
                                                    {"AXFullScreenButton", fullScreenOf(bounds)}};
    const char* suffix[] = {"-close", "-min", "-zoom", "-full"};
    for (int i = 0; i < 4; ++i) {
      std::string b = id + suffix[i];
      fake.control(b, pid, "AXButton", buttons[i].second, id);
      fake.setButton(id, buttons[i].first, b);
    }
  }

  FakePlatform fake;
  WebAppDetector web{fake};
  AccessibilityScan scan{fake, fake, fake, web, FakePlatform::ref("system"), FakePlatform::kOwnPID};
};

const Rect kWin = makeRect(100, 100, 400, 300);

// ---- element reads ----

TEST_F(ScanTest, FrameNeedsPointAndSizeValues) {
  fake.control("ok", 1, "AXButton", makeRect(1, 2, 3, 4));
  EXPECT_EQ(scan.frame(FakePlatform::ref("ok")), makeRect(1, 2, 3, 4));

  fake.element("nopos", 1);
  fake.attr("nopos", "AXSize", Size{3, 4});
  EXPECT_FALSE(scan.frame(FakePlatform::ref("nopos")));

  fake.element("swapped", 1);
  fake.attr("swapped", "AXPosition", Size{1, 2});
  fake.attr("swapped", "AXSize", Point{3, 4});
  EXPECT_FALSE(scan.frame(FakePlatform::ref("swapped")));

  fake.element("absent", 1);
  fake.attr("absent", "AXPosition", Point{1, 2});
  fake.attr("absent", "AXSize", std::monostate{});
  EXPECT_FALSE(scan.frame(FakePlatform::ref("absent")));

  fake.element("failsize", 1);
  fake.attr("failsize", "AXPosition", Point{1, 2});
  fake.failAttr("failsize", "AXSize");
  EXPECT_FALSE(scan.frame(FakePlatform::ref("failsize")));
}

TEST_F(ScanTest, EnabledIsTrueUnlessABooleanSaysOtherwise) {
  fake.element("e", 1);
  EXPECT_TRUE(scan.enabled(FakePlatform::ref("e")));  // unreadable
  fake.attr("e", "AXEnabled", false);
  EXPECT_FALSE(scan.enabled(FakePlatform::ref("e")));
  fake.attr("e", "AXEnabled", std::string("no"));
  EXPECT_TRUE(scan.enabled(FakePlatform::ref("e")));
  fake.attr("e", "AXEnabled", std::monostate{});
  EXPECT_TRUE(scan.enabled(FakePlatform::ref("e")));
  fake.attr("e", "AXEnabled", true);
  EXPECT_TRUE(scan.enabled(FakePlatform::ref("e")));
}

// ---- title-bar pass ----

TEST_F(ScanTest, TitleBarButtonsInButtonOrder) {
  titledWindow(100, "w", kWin);
  EXPECT_THAT(run({110, 110}, kNoSamples),
              ElementsAre(closeOf(kWin), minimizeOf(kWin), zoomOf(kWin), fullScreenOf(kWin)));
}

TEST_F(ScanTest, CornerAreaWithMargin24) {
  titledWindow(100, "w", kWin);
  EXPECT_EQ(run({80, 80}, kNoSamples).size(), 4u);    // 20 left of and 20 above the corner
  EXPECT_EQ(run({249, 100}, kNoSamples).size(), 4u);  // 149 right of the corner
  EXPECT_EQ(run({76, 76}, kNoSamples).size(), 4u);    // the area's own top-left corner
  EXPECT_EQ(run({100, 189.5}, kNoSamples).size(), 4u);
  fake.clearLog();
  EXPECT_THAT(run({250, 100}, kNoSamples), IsEmpty());  // 150 right: outside, half-open
  EXPECT_THAT(run({75.5, 100}, kNoSamples), IsEmpty());
  EXPECT_THAT(run({100, 190}, kNoSamples), IsEmpty());
  EXPECT_EQ(fake.count("attr app:100 AXWindows"), 0);
}

TEST_F(ScanTest, CornerAreaWithMargin36) {
  titledWindow(100, "w", kWin);
  EXPECT_EQ(run({261.5, 201.5}, kNoSamples, 36).size(), 4u);
  EXPECT_THAT(run({262, 100}, kNoSamples, 36), IsEmpty());
  EXPECT_THAT(run({100, 202}, kNoSamples, 36), IsEmpty());
}

TEST_F(ScanTest, ThirdWindowWhoseCornerHoldsThePointIsNotExamined) {
  // Stacked with their title bars apart so that no window covers another's buttons.
  titledWindow(101, "a", makeRect(100, 100, 400, 300));
  titledWindow(102, "b", makeRect(110, 60, 400, 30));
  titledWindow(103, "c", makeRect(120, 20, 400, 20));
  auto found = run({130, 100}, kNoSamples);
  EXPECT_EQ(fake.count("attr app:101 AXWindows"), 1);
  EXPECT_EQ(fake.count("attr app:102 AXWindows"), 1);
  EXPECT_EQ(fake.count("attr app:103 AXWindows"), 0);
  EXPECT_EQ(found.size(), 8u);
}

TEST_F(ScanTest, WindowWithoutButtonsStillCountsAsExamined) {
  fake.window(101, kWin);  // no accessibility answer at all
  fake.window(102, kWin);
  fake.window(103, kWin);
  run({110, 110}, kNoSamples);
  EXPECT_EQ(fake.count("attr app:101 AXWindows"), 1);
  EXPECT_EQ(fake.count("attr app:102 AXWindows"), 1);
  EXPECT_EQ(fake.count("attr app:103 AXWindows"), 0);
}

TEST_F(ScanTest, OwnAndNonZeroLayerWindowsAreNotExaminedNorCounted) {
  fake.window(FakePlatform::kOwnPID, kWin);
  fake.window(104, kWin, 3);
  fake.window(101, kWin);
  fake.window(102, kWin);
  run({110, 110}, kNoSamples);
  EXPECT_EQ(fake.count("attr app:999 AXWindows"), 0);
  EXPECT_EQ(fake.count("attr app:104 AXWindows"), 0);
  EXPECT_EQ(fake.count("attr app:101 AXWindows"), 1);
  EXPECT_EQ(fake.count("attr app:102 AXWindows"), 1);
}

TEST_F(ScanTest, WindowElementMustMatchWithinTwoPoints) {
  fake.window(100, kWin);
  fake.windowElement("wide", 100, makeRect(100, 100, 403, 300));  // 3 points wider
  fake.setButton("wide", "AXCloseButton", "wide-close");
  fake.control("wide-close", 100, "AXButton", closeOf(kWin));
  EXPECT_THAT(run({110, 110}, kNoSamples), IsEmpty());

  fake.windowElement("near", 100, makeRect(102, 98, 398, 302));  // every value 2 off
  fake.setButton("near", "AXCloseButton", "near-close");
  fake.control("near-close", 100, "AXButton", closeOf(kWin));
  EXPECT_THAT(run({110, 110}, kNoSamples), ElementsAre(closeOf(kWin)));
}

TEST_F(ScanTest, OnlyTheFirstTwelveWindowElementsAreCompared) {
  fake.window(100, kWin);
  for (int i = 0; i < 12; ++i) {
    fake.windowElement("other" + std::to_string(i), 100, makeRect(600, 600, 100, 100));
  }
  fake.windowElement("late", 100, kWin);
  fake.setButton("late", "AXCloseButton", "late-close");
  fake.control("late-close", 100, "AXButton", closeOf(kWin));
  EXPECT_THAT(run({110, 110}, kNoSamples), IsEmpty());
  EXPECT_EQ(fake.count("attr late AXPosition"), 0);
}

TEST_F(ScanTest, FirstMatchingWindowElementIsUsed) {
  fake.window(100, kWin);
  fake.element("noframe", 100);  // frame unreadable: passed over
  fake.attr("app:100", "AXWindows", std::vector<ElementRef>{FakePlatform::ref("noframe")});
  fake.windowElement("first", 100, kWin);
  fake.windowElement("second", 100, kWin);
  fake.setButton("first", "AXCloseButton", "first-close");
  fake.control("first-close", 100, "AXButton", closeOf(kWin));
  fake.setButton("second", "AXZoomButton", "second-zoom");
  fake.control("second-zoom", 100, "AXButton", zoomOf(kWin));
  EXPECT_THAT(run({110, 110}, kNoSamples), ElementsAre(closeOf(kWin)));
}

TEST_F(ScanTest, UnreadableWindowListGivesNoButtons) {
  fake.window(100, kWin);
  fake.failAttr("app:100", "AXWindows");
  EXPECT_THAT(run({110, 110}, kNoSamples), IsEmpty());
  fake.attr("app:100", "AXWindows", OtherAccessibilityValue{});
  EXPECT_THAT(run({110, 110}, kNoSamples), IsEmpty());
  fake.attr("app:100", "AXWindows", std::monostate{});
  EXPECT_THAT(run({110, 110}, kNoSamples), IsEmpty());
}

TEST_F(ScanTest, DisabledZeroSizedAndUnreadableButtonsAreLeftOut) {
  titledWindow(100, "w", kWin);
  fake.attr("w-zoom", "AXEnabled", false);
  fake.attr("w-min", "AXSize", Size{0, 14});
  fake.failAttr("w-close", "AXEnabled");  // unreadable: counts as enabled
  fake.failAttr("w-full", "AXPosition");
  EXPECT_THAT(run({110, 110}, kNoSamples), ElementsAre(closeOf(kWin)));
}

TEST_F(ScanTest, ButtonAttributesThatAreNoElementsAreSkipped) {
  titledWindow(100, "w", kWin);
  fake.attr("w", "AXCloseButton", std::monostate{});
  fake.attr("w", "AXMinimizeButton", std::string("w-min"));
  fake.failAttr("w", "AXZoomButton");
  EXPECT_THAT(run({110, 110}, kNoSamples), ElementsAre(fullScreenOf(kWin)));
}

TEST_F(ScanTest, ZeroHeightButtonIsLeftOut) {
  titledWindow(100, "w", kWin);
  fake.attr("w-close", "AXSize", Size{14, 0});
  EXPECT_EQ(run({110, 110}, kNoSamples).size(), 3u);
}

TEST_F(ScanTest, CoveredCloseButtonIsLeftOut) {
  // A small window of another application lies over the close button only.
  fake.window(200, makeRect(100, 100, 20, 20));
  titledWindow(100, "w", kWin);
  EXPECT_THAT(run({130, 110}, kNoSamples),
              ElementsAre(minimizeOf(kWin), zoomOf(kWin), fullScreenOf(kWin)));
}

TEST_F(ScanTest, ButtonOutsideEveryWindowIsLeftOut) {
  titledWindow(100, "w", kWin);
  fake.attr("w-close", "AXPosition", Point{60, 60});  // frame outside the window
  EXPECT_EQ(run({110, 110}, kNoSamples).size(), 3u);
}

TEST_F(ScanTest, ButtonUnderAFullScreenOverlayIsKept) {
  fake.window(300, makeRect(0, 0, 1920, 1080), 25);  // covers the display: passed over
  titledWindow(100, "w", kWin);
  EXPECT_EQ(run({110, 110}, kNoSamples).size(), 4u);
}

TEST_F(ScanTest, TitleBarButtonsOfTwoWindowsFrontToBack) {
  Rect front = makeRect(100, 100, 400, 300);
  Rect back = makeRect(60, 40, 400, 50);
  titledWindow(101, "f", front);
  titledWindow(102, "b", back);
  auto found = run({100, 100}, kNoSamples);
  EXPECT_THAT(found,
              ElementsAre(closeOf(front), minimizeOf(front), zoomOf(front), fullScreenOf(front),
                          closeOf(back), minimizeOf(back), zoomOf(back), fullScreenOf(back)));
}

// ---- sampling pass ----

TEST_F(ScanTest, TextInsideAButtonReportsTheButton) {
  fake.window(100, kWin);
  fake.control("button", 100, "AXButton", makeRect(300, 300, 60, 20), "win");
  fake.control("label", 100, "AXStaticText", makeRect(305, 302, 40, 16), "button");
  fake.hitRegion(makeRect(305, 302, 40, 16), "label");
  EXPECT_THAT(run({310, 305}), ElementsAre(makeRect(300, 300, 60, 20)));
  EXPECT_EQ(fake.count("hit 310 305"), 1);
}

TEST_F(ScanTest, EveryClickableRoleIsATarget) {
  fake.window(100, kWin);
  int i = 0;
  for (auto role : AccessibilityScan::roles) {
    std::string id = "c" + std::to_string(i);
    Rect r = makeRect(200 + 20 * i, 300, 10, 10);
    fake.control(id, 100, std::string(role), r);
    fake.hitRegion(r, id);
    EXPECT_THAT(run({r.minX() + 1, 301}), ElementsAre(r)) << role;
    ++i;
  }
}

TEST_F(ScanTest, GrandparentButtonIsFoundButNotAGreatGrandparent) {
  fake.window(100, kWin);
  fake.control("button", 100, "AXButton", makeRect(300, 300, 60, 20), "win");
  fake.control("g1", 100, "AXGroup", makeRect(300, 300, 60, 20), "button");
  fake.control("g2", 100, "AXGroup", makeRect(300, 300, 60, 20), "g1");
  fake.control("text2", 100, "AXStaticText", makeRect(300, 300, 60, 20), "g1");
  fake.control("text3", 100, "AXStaticText", makeRect(300, 300, 60, 20), "g2");
  fake.hitRegion(makeRect(300, 300, 30, 20), "text2");
  fake.hitRegion(makeRect(330, 300, 30, 20), "text3");
  EXPECT_THAT(run({310, 305}), ElementsAre(makeRect(300, 300, 60, 20)));
  fake.clearLog();
  EXPECT_THAT(run({340, 305}), IsEmpty());
  // Three roles and three parents read; the button itself is never asked.
  EXPECT_EQ(fake.count("attr text3 AXRole"), 1);
  EXPECT_EQ(fake.count("attr g2 AXRole"), 1);
  EXPECT_EQ(fake.count("attr g1 AXRole"), 1);
  EXPECT_EQ(fake.count("attr g1 AXParent"), 1);
  EXPECT_EQ(fake.count("attr button"), 0);
}

TEST_F(ScanTest, WebAreaStopsTheWalkEvenInsideAButton) {
  fake.window(100, kWin);
  fake.control("button", 100, "AXButton", makeRect(300, 300, 60, 20), "win");
  fake.control("web", 100, "AXWebArea", makeRect(300, 300, 60, 20), "button");
  fake.control("text", 100, "AXStaticText", makeRect(300, 300, 60, 20), "web");
  fake.hitRegion(makeRect(300, 300, 60, 20), "text");
  EXPECT_THAT(run({310, 305}), IsEmpty());
  EXPECT_EQ(fake.count("attr web AXParent"), 0);
}

TEST_F(ScanTest, WindowAndApplicationRolesStopTheWalk) {
  fake.window(100, kWin);
  fake.control("win", 100, "AXWindow", kWin, "app:100");
  fake.control("text", 100, "AXStaticText", makeRect(300, 300, 60, 20), "win");
  fake.hitRegion(makeRect(300, 300, 60, 20), "text");
  fake.control("app:100", 100, "AXApplication", kWin, "button");
  fake.control("button", 100, "AXButton", makeRect(300, 300, 60, 20));
  fake.control("apptext", 100, "AXStaticText", makeRect(400, 300, 60, 20), "app:100");
  fake.hitRegion(makeRect(400, 300, 60, 20), "apptext");
  EXPECT_THAT(run({310, 305}), IsEmpty());
  EXPECT_THAT(run({410, 305}), IsEmpty());
  EXPECT_EQ(fake.count("attr win AXParent"), 0);
  EXPECT_EQ(fake.count("attr app:100 AXParent"), 0);
}

TEST_F(ScanTest, ButtonInsideAWebAreaOfAnOrdinaryApplicationIsReported) {
  fake.window(100, kWin);
  fake.app(100, "com.example.Help");
  fake.control("web", 100, "AXWebArea", makeRect(200, 200, 300, 200), "win");
  fake.control("button", 100, "AXButton", makeRect(300, 300, 60, 20), "web");
  fake.hitRegion(makeRect(300, 300, 60, 20), "button");
  EXPECT_THAT(run({310, 305}), ElementsAre(makeRect(300, 300, 60, 20)));
}

TEST_F(ScanTest, UnreadableRoleWalksOnButUnreadableParentStops) {
  fake.window(100, kWin);
  fake.control("button", 100, "AXButton", makeRect(300, 300, 60, 20), "win");
  fake.element("mystery", 100);  // no role at all
  fake.attr("mystery", "AXParent", FakePlatform::ref("button"));
  fake.attr("mystery", "AXRole", OtherAccessibilityValue{});
  fake.hitRegion(makeRect(300, 300, 30, 20), "mystery");
  fake.element("orphan", 100);
  fake.attr("orphan", "AXRole", std::string("AXStaticText"));
  fake.attr("orphan", "AXParent", std::string("button"));  // not an element
  fake.hitRegion(makeRect(330, 300, 30, 20), "orphan");
  EXPECT_THAT(run({310, 305}), ElementsAre(makeRect(300, 300, 60, 20)));
  EXPECT_THAT(run({340, 305}), IsEmpty());
}

TEST_F(ScanTest, ButtonHitBySeveralSamplesIsReportedOnce) {
  fake.window(100, kWin);
  Rect b = makeRect(290, 290, 40, 40);
  fake.control("button", 100, "AXButton", b, "win");
  fake.hitRegion(b, "button");
  EXPECT_THAT(run({310, 310}, nearRing()), ElementsAre(b));
  EXPECT_EQ(fake.count("hit"), 13);
  EXPECT_EQ(fake.count("pid button"), 1);
  EXPECT_EQ(fake.count("attr button AXPosition"), 1);
}

TEST_F(ScanTest, TitleBarButtonMayAlsoComeFromASample) {
  titledWindow(100, "w", kWin);
  fake.hitRegion(closeOf(kWin), "w-close");
  auto found = run(closeOf(kWin).center());
  ASSERT_EQ(found.size(), 5u);
  EXPECT_EQ(found[0], closeOf(kWin));
  EXPECT_EQ(found[4], closeOf(kWin));
}

TEST_F(ScanTest, DisabledButtonIsSeenOnceAndNotReadAgain) {
  fake.window(100, kWin);
  Rect b = makeRect(290, 290, 40, 40);
  fake.control("button", 100, "AXButton", b, "win");
  fake.attr("button", "AXEnabled", false);
  fake.hitRegion(b, "button");
  Rect other = makeRect(334, 290, 10, 40);  // the ring's rightmost samples
  fake.control("other", 100, "AXCheckBox", other, "win");
  fake.hitRegion(other, "other");
  EXPECT_THAT(run({310, 310}, nearRing()), ElementsAre(other));
  EXPECT_EQ(fake.count("attr button AXEnabled"), 1);
  EXPECT_EQ(fake.count("pid button"), 1);
  EXPECT_EQ(fake.count("attr button AXPosition"), 0);
  EXPECT_EQ(fake.count("attr button AXRole"), 9);  // every sample on it still reads the role
}

TEST_F(ScanTest, CandidateOfOwnOrUnknownOrWebProcessIsSkipped) {
  fake.window(100, kWin);
  fake.app(300, "com.brave.Browser");
  fake.control("mine", FakePlatform::kOwnPID, "AXButton", makeRect(200, 300, 20, 20));
  fake.control("lost", 100, "AXButton", makeRect(250, 300, 20, 20));
  fake.failPID("lost");
  fake.control("web", 300, "AXButton", makeRect(300, 300, 20, 20));
  fake.hitRegion(makeRect(200, 300, 20, 20), "mine");
  fake.hitRegion(makeRect(250, 300, 20, 20), "lost");
  fake.hitRegion(makeRect(300, 300, 20, 20), "web");
  EXPECT_THAT(run({205, 305}), IsEmpty());
  EXPECT_THAT(run({255, 305}), IsEmpty());
  EXPECT_THAT(run({305, 305}), IsEmpty());
  EXPECT_EQ(fake.count("attr mine AXEnabled") + fake.count("attr lost AXEnabled") +
                fake.count("attr web AXEnabled"),
            0);
}

TEST_F(ScanTest, BrowserWindowsAreNotSampledButKeepTheirTitleBarButtons) {
  titledWindow(100, "w", kWin);
  fake.app(100, "org.mozilla.firefox");
  fake.control("content", 100, "AXButton", makeRect(100, 100, 60, 60), "w");
  fake.hitRegion(makeRect(100, 100, 60, 60), "content");
  auto found = run({110, 110}, nearRing());
  EXPECT_EQ(found.size(), 4u);
  EXPECT_EQ(fake.count("hit"), 0);
}

TEST_F(ScanTest, OwnWindowsAreNotSampled) {
  fake.window(FakePlatform::kOwnPID, kWin);
  fake.control("b", 100, "AXButton", kWin);
  fake.hitRegion(kWin, "b");
  EXPECT_THAT(run({300, 300}, nearRing()), IsEmpty());
  EXPECT_EQ(fake.count("hit"), 0);
}

TEST_F(ScanTest, SamplesOffEveryWindowAreNotHitTested) {
  // A window whose right edge runs through the ring: only samples inside it are hit-tested.
  fake.window(100, makeRect(0, 0, 305, 1000));
  fake.hitRegion(makeRect(0, 0, 2000, 2000), "nothing");
  run({300, 300}, nearRing());
  // Inside x < 305: the centre, the bottom, left and top samples of the inner circle, and the
  // bottom, the three left-hand and the top samples of the outer one.
  auto hits = fake.count("hit");
  EXPECT_EQ(hits, 1 + 3 + 5);
  for (const auto& line : fake.log()) {
    if (line.rfind("hit ", 0) == 0) {
      EXPECT_LT(std::stod(line.substr(4)), 305) << line;
    }
  }
}

TEST_F(ScanTest, EmptyWindowSnapshotFindsNothing) {
  fake.setWindowInfo(std::nullopt);
  fake.control("b", 100, "AXButton", kWin);
  fake.hitRegion(kWin, "b");
  EXPECT_THAT(run({110, 110}, wideRing(), 36), IsEmpty());
  EXPECT_EQ(fake.count("hit"), 0);
  EXPECT_EQ(fake.count("attr"), 0);
}

TEST_F(ScanTest, FailedHitTestSkipsTheSample) {
  fake.window(100, kWin);
  EXPECT_THAT(run({300, 300}), IsEmpty());
  EXPECT_EQ(fake.count("hit"), 1);
  EXPECT_EQ(fake.count("attr"), 0);
}

TEST_F(ScanTest, DisabledOrFramelessCandidatesAreNotReported) {
  fake.window(100, kWin);
  fake.control("off", 100, "AXButton", makeRect(200, 300, 20, 20));
  fake.attr("off", "AXEnabled", false);
  fake.element("noframe", 100);
  fake.attr("noframe", "AXRole", std::string("AXButton"));
  fake.hitRegion(makeRect(200, 300, 20, 20), "off");
  fake.hitRegion(makeRect(250, 300, 20, 20), "noframe");
  EXPECT_THAT(run({205, 305}), IsEmpty());
  EXPECT_THAT(run({255, 305}), IsEmpty());
}

TEST_F(ScanTest, SampledTargetsFollowTheRingAfterTheTitleBar) {
  titledWindow(100, "w", kWin);
  Point p{130, 140};
  // One distinct button under each of the first five samples: centre, right, down, left, up.
  const Point samples[] = {{130, 140}, {142, 140}, {130, 152}, {118, 140}, {130, 128}};
  std::vector<Rect> expected{closeOf(kWin), minimizeOf(kWin), zoomOf(kWin), fullScreenOf(kWin)};
  for (int i = 4; i >= 0; --i) {
    Rect r = makeRect(samples[i].x - 2, samples[i].y - 2, 4, 4);
    fake.control("s" + std::to_string(i), 100, "AXButton", r);
    fake.hitRegion(r, "s" + std::to_string(i));
  }
  for (int i = 0; i < 5; ++i) {
    expected.push_back(makeRect(samples[i].x - 2, samples[i].y - 2, 4, 4));
  }
  EXPECT_EQ(run(p, nearRing()), expected);
}

TEST(SampleRings, NearAndWideRingsStartAtTheCentreAndTurnDownward) {
  const auto& near = nearRing();
  ASSERT_EQ(near.size(), 13u);
  EXPECT_EQ(near[0], (Vector{0, 0}));
  EXPECT_EQ(near[1], (Vector{12, 0}));
  EXPECT_NEAR(near[2].dx, 0, 1e-12);
  EXPECT_NEAR(near[2].dy, 12, 1e-12);
  EXPECT_EQ(near[5], (Vector{24, 0}));
  EXPECT_NEAR(near[6].dx, 24 * std::cos(M_PI / 4), 1e-12);
  EXPECT_NEAR(near[6].dy, 24 * std::sin(M_PI / 4), 1e-12);
  const auto& wide = wideRing();
  ASSERT_EQ(wide.size(), 25u);
  EXPECT_EQ(wide[1], (Vector{12, 0}));
  EXPECT_EQ(wide[9], (Vector{24, 0}));
  EXPECT_EQ(wide[17], (Vector{36, 0}));
  EXPECT_NEAR(wide[24].dy, -36 * std::sin(M_PI / 4), 1e-12);
  EXPECT_TRUE(circle(5, 0).empty());
  EXPECT_EQ(&nearRing(), &near);  // computed once
}

}  // namespace
}  // namespace virelo
