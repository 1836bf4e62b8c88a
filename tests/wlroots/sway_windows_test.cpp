// The windows that sway's tree shows, as the wlroots host lists them.
#include "platform/wlroots/sway_windows.h"

#include <gtest/gtest.h>

namespace virelo::wlroots {
namespace {

using Json = nlohmann::json;

Json rect(int x, int y, int w, int h) {
  return {{"x", x}, {"y", y}, {"width", w}, {"height", h}};
}

Json view(int pid, const std::string& name, Json place, Json inner, bool visible = true) {
  return {{"type", "con"},        {"pid", pid},         {"name", name},          {"rect", place},
          {"window_rect", inner}, {"visible", visible}, {"nodes", Json::array()}};
}

TEST(SwayWindows, TheViewsOfVisibleWorkspacesFrontToBackWithTheirSurfaces) {
  Json shown = {{"type", "workspace"},
                {"nodes", {view(1, "tiled", rect(0, 0, 640, 800), rect(2, 30, 636, 768))}},
                {"floating_nodes",
                 {view(2, "older", rect(100, 100, 400, 300), rect(0, 0, 400, 300)),
                  view(3, "newer", rect(300, 200, 200, 100), rect(1, 1, 198, 98))}}};
  Json hidden = {{"type", "workspace"},
                 {"nodes", {view(4, "hidden", rect(0, 0, 640, 800), rect(0, 0, 640, 800), false)}}};
  Json tree = {{"type", "root"},
               {"nodes",
                {{{"type", "output"},
                  {"name", "HEADLESS-1"},
                  {"rect", rect(0, 0, 1280, 800)},
                  {"nodes", {shown, hidden}}}}}};
  auto windows = windowsOfTree(tree);
  ASSERT_EQ(windows.size(), 3u);
  EXPECT_EQ(windows[0].title, "newer");
  EXPECT_EQ(windows[0].pid, 3);
  EXPECT_EQ(windows[0].surface, makeRect(301, 201, 198, 98));
  EXPECT_EQ(windows[1].title, "older");
  EXPECT_EQ(windows[2].title, "tiled");
  EXPECT_EQ(windows[2].surface, makeRect(2, 30, 636, 768));
}

}  // namespace
}  // namespace virelo::wlroots
