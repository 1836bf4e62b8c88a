#include "platform/wlroots/sway_windows.h"

#include <utility>

#include "platform/wlroots/sway_ipc.h"

namespace virelo::wlroots {
namespace {

using Json = nlohmann::json;

std::optional<Rect> rectOf(const Json& node, const char* key) {
  auto it = node.find(key);
  if (it == node.end() || !it->is_object()) return std::nullopt;
  for (const char* field : {"x", "y", "width", "height"}) {
    if (!it->contains(field) || !(*it)[field].is_number()) return std::nullopt;
  }
  return makeRect((*it)["x"].get<double>(), (*it)["y"].get<double>(), (*it)["width"].get<double>(),
                  (*it)["height"].get<double>());
}

const Json& children(const Json& node, const char* key) {
  static const Json none = Json::array();
  auto it = node.find(key);
  return it != node.end() && it->is_array() ? *it : none;
}

std::optional<SwayWindow> viewOf(const Json& node) {
  auto pid = node.find("pid");
  if (pid == node.end() || !pid->is_number_integer()) return std::nullopt;
  if (!children(node, "nodes").empty() || node.value("visible", false) != true) return std::nullopt;
  auto place = rectOf(node, "rect");
  auto inner = rectOf(node, "window_rect");
  if (!place || !inner || !(inner->width() > 0) || !(inner->height() > 0)) return std::nullopt;
  auto name = node.find("name");
  return SwayWindow{pid->get<std::int32_t>(), name != node.end() && name->is_string() ? *name : "",
                    makeRect(place->minX() + inner->minX(), place->minY() + inner->minY(),
                             inner->width(), inner->height())};
}

// The views under the node, front to back, into `fullscreen` or `others`.
void collect(const Json& node, std::vector<SwayWindow>& fullscreen,
             std::vector<SwayWindow>& others) {
  if (auto view = viewOf(node)) {
    (node.value("fullscreen_mode", 0) != 0 ? fullscreen : others).push_back(std::move(*view));
    return;
  }
  const Json& floating = children(node, "floating_nodes");
  for (auto it = floating.rbegin(); it != floating.rend(); ++it) collect(*it, fullscreen, others);
  for (const auto& child : children(node, "nodes")) collect(child, fullscreen, others);
}

}  // namespace

std::vector<SwayWindow> windowsOfTree(const Json& tree) {
  std::vector<SwayWindow> fullscreen;
  std::vector<SwayWindow> others;
  if (tree.is_object()) collect(tree, fullscreen, others);
  fullscreen.insert(fullscreen.end(), others.begin(), others.end());
  return fullscreen;
}

std::vector<Rect> outputsOfTree(const Json& tree) {
  std::vector<Rect> outputs;
  if (!tree.is_object()) return outputs;
  for (const auto& node : children(tree, "nodes")) {
    if (node.value("type", "") != "output" || node.value("name", "") == "__i3") continue;
    if (auto rect = rectOf(node, "rect")) outputs.push_back(*rect);
  }
  return outputs;
}

std::optional<Json> SwayWindowList::copyWindowInfo(std::uint32_t, std::uint32_t) {
  auto tree = swayRequest(socketPath_, kSwayGetTree, kWait);
  if (!tree) return std::nullopt;
  Json list = Json::array();
  for (const auto& window : windowsOfTree(*tree)) {
    const Rect& r = window.surface;
    list.push_back(
        {{kWindowOwnerPID, window.pid},
         {kWindowLayer, 0},
         {kWindowBounds,
          {{"X", r.minX()}, {"Y", r.minY()}, {"Width", r.width()}, {"Height", r.height()}}},
         {kWindowTitle, window.title}});
  }
  return list;
}

std::optional<std::vector<std::uint32_t>> SwayWindowList::activeDisplayList(
    std::uint32_t maxDisplays) {
  auto tree = swayRequest(socketPath_, kSwayGetTree, kWait);
  if (!tree) return std::nullopt;
  outputs_ = outputsOfTree(*tree);
  std::vector<std::uint32_t> ids;
  for (std::uint32_t i = 0; i < outputs_.size() && i < maxDisplays; ++i) ids.push_back(i);
  return ids;
}

Rect SwayWindowList::displayBounds(std::uint32_t display) {
  return display < outputs_.size() ? outputs_[display] : Rect{};
}

}  // namespace virelo::wlroots
