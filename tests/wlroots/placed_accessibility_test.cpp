// How window-relative accessible elements are placed on the screen, and where they are not.
#include "platform/hosts/placed_accessibility.h"

#include <gtest/gtest.h>

#include <map>

namespace virelo::hosts {
namespace {

using Json = nlohmann::json;

// An accessibility of named elements with fixed attributes; "app<pid>" are the applications.
class FakeAccessibility final : public Accessibility {
 public:
  struct Element final : AccessibilityElement {
    explicit Element(std::string n) : name(std::move(n)) {}
    std::string name;
  };
  std::map<std::string, std::map<std::string, AccessibilityValue>> attributes;

  ElementRef element(const std::string& name) { return std::make_shared<Element>(name); }
  static std::string nameOf(const ElementRef& e) {
    auto* element = dynamic_cast<const Element*>(e.get());
    return element != nullptr ? element->name : "";
  }

  bool isProcessTrusted() override { return true; }
  ElementRef systemWide() override { return element("system"); }
  ElementRef application(std::int32_t pid) override { return element("app" + std::to_string(pid)); }
  void setMessagingTimeout(const ElementRef&, float) override {}
  std::optional<AccessibilityValue> copyAttributeValue(const ElementRef& e,
                                                       const std::string& attribute) override {
    auto it = attributes.find(nameOf(e));
    if (it == attributes.end() || it->second.count(attribute) == 0) return std::nullopt;
    return it->second.at(attribute);
  }
  ElementRef elementAtPosition(const ElementRef&, float, float) override { return nullptr; }
  std::optional<std::int32_t> processID(const ElementRef&) override { return 7; }
  bool equal(const ElementRef& a, const ElementRef& b) override { return nameOf(a) == nameOf(b); }

  // A window of `size` with one button at (10, 210), 180 x 40, inside it.
  void window(const std::string& name, Size size, const std::string& title) {
    attributes[name] = {{"AXPosition", Point{0, 0}},
                        {"AXSize", size},
                        {"AXTitle", title},
                        {"AXChildren", std::vector<ElementRef>{element(name + "/button")}}};
    attributes[name + "/button"] = {{"AXPosition", Point{10, 210}}, {"AXSize", Size{180, 40}}};
  }
  void windows(std::int32_t pid, const std::vector<std::string>& names) {
    std::vector<ElementRef> list;
    for (const auto& name : names) list.push_back(element(name));
    attributes["app" + std::to_string(pid)] = {{"AXWindows", list}};
  }
};

class ListedWindows final : public WindowList {
 public:
  Json list = Json::array();
  void add(std::int32_t pid, const std::string& title, Rect r) {
    list.push_back(
        {{kWindowOwnerPID, pid},
         {kWindowLayer, 0},
         {kWindowBounds,
          {{"X", r.minX()}, {"Y", r.minY()}, {"Width", r.width()}, {"Height", r.height()}}},
         {"title", title}});
  }
  std::optional<Json> copyWindowInfo(std::uint32_t, std::uint32_t) override { return list; }
};

class Placed : public testing::Test {
 protected:
  std::string hitAt(Point p) {
    auto hit = placed.elementAtPosition(placed.systemWide(), static_cast<float>(p.x),
                                        static_cast<float>(p.y));
    if (!hit) return "";
    auto position = placed.copyAttributeValue(hit, "AXPosition");
    if (!position || !std::holds_alternative<Point>(*position)) return "unplaced";
    const Point at = std::get<Point>(*position);
    return std::to_string(static_cast<int>(at.x)) + "," + std::to_string(static_cast<int>(at.y));
  }

  FakeAccessibility inner;
  ListedWindows listed;
  PlacedAccessibility placed{inner, listed};
};

TEST_F(Placed, AHitIsTheDeepestElementAtItsPlaceOnTheScreen) {
  listed.add(7, "first", makeRect(100, 100, 400, 300));
  listed.add(7, "second", makeRect(600, 100, 400, 300));
  inner.window("w1", {400, 300}, "first");
  inner.window("w2", {400, 300}, "second");
  inner.windows(7, {"w1", "w2"});
  // Two windows of one process are told apart by their titles.
  EXPECT_EQ(hitAt({200, 330}), "110,310");
  EXPECT_EQ(hitAt({700, 330}), "610,310");
}

TEST_F(Placed, AnUncertainWindowGivesNoElementAndNoPosition) {
  // A window whose accessible size is not the surface's (a shadow around it).
  listed.add(7, "shadowed", makeRect(100, 100, 400, 300));
  inner.window("w1", {440, 340}, "shadowed");
  inner.windows(7, {"w1"});
  EXPECT_EQ(hitAt({200, 330}), "");
  // Two alike windows of one process.
  listed.list = Json::array();
  listed.add(8, "same", makeRect(100, 100, 400, 300));
  listed.add(8, "same", makeRect(600, 100, 400, 300));
  inner.window("a", {400, 300}, "same");
  inner.window("b", {400, 300}, "same");
  inner.windows(8, {"a", "b"});
  EXPECT_EQ(hitAt({200, 330}), "");
  // The windows of an application with more than one window have no known place.
  auto windows = placed.copyAttributeValue(placed.application(8), "AXWindows");
  ASSERT_TRUE(windows && std::holds_alternative<std::vector<ElementRef>>(*windows));
  for (const auto& window : std::get<std::vector<ElementRef>>(*windows)) {
    EXPECT_FALSE(placed.copyAttributeValue(window, "AXPosition"));
  }
}

}  // namespace
}  // namespace virelo::hosts
