#include "tests/wlroots/sway_compositor.h"

#include <filesystem>
#include <stdexcept>
#include <thread>

namespace virelo::test {
namespace {

using Clock = std::chrono::steady_clock;

// The receiver's window floats at a fixed place; nothing draws borders around it.
constexpr const char* kConfig =
    "output HEADLESS-1 resolution 1280x800 position 0 0\n"
    "default_border none\n"
    "default_floating_border none\n"
    "xwayland disable\n"
    "for_window [title=\"Virelo receiver\"] floating enable, move position 100 100\n";

std::optional<nlohmann::json> findNode(const nlohmann::json& node, const std::string& name) {
  if (node.value("name", nlohmann::json()).is_string() && node["name"] == name) return node;
  for (const char* children : {"nodes", "floating_nodes"}) {
    for (const auto& child : node.value(children, nlohmann::json::array())) {
      if (auto found = findNode(child, name)) return found;
    }
  }
  return std::nullopt;
}

}  // namespace

std::string SwayCompositor::missing() {
  if (!programExists("sway") || !programExists("swaymsg")) return "sway is not installed (sway)";
  return "";
}

SwayCompositor::SwayCompositor() {
  writeFile(runtime_ / "config", kConfig);
  ChildOptions options;
  options.argv = {"sway", "-c", runtime_ / "config"};
  options.environment = {{"XDG_RUNTIME_DIR", runtime_.path()},
                         {"WLR_BACKENDS", "headless"},
                         {"WLR_RENDERER", "pixman"},
                         {"WLR_LIBINPUT_NO_DEVICES", "1"},
                         {"WAYLAND_DISPLAY", ""},
                         {"DISPLAY", ""}};
  options.asServiceUser = true;
  process_ = std::make_unique<ChildProcess>(options);
  const auto deadline = Clock::now() + 10s;
  while ((display_.empty() || ipc_.empty()) && Clock::now() < deadline && process_->running()) {
    std::this_thread::sleep_for(10ms);
    for (const auto& entry : std::filesystem::directory_iterator(runtime_.path())) {
      const std::string name = entry.path().filename();
      if (!entry.is_socket()) continue;
      if (name.rfind("wayland-", 0) == 0) display_ = name;
      if (name.rfind("sway-ipc.", 0) == 0) ipc_ = entry.path();
    }
  }
  if (display_.empty() || ipc_.empty()) throw std::runtime_error("sway did not start");
  // The sockets exist before sway serves them: it is ready once its IPC answers with the output.
  while (!outputReady()) {
    if (Clock::now() > deadline) throw std::runtime_error("sway did not become ready");
    std::this_thread::sleep_for(10ms);
  }
}

bool SwayCompositor::outputReady() const {
  try {
    return findNode(tree(), "HEADLESS-1").has_value();
  } catch (const std::runtime_error&) {
    return false;
  }
}

std::map<std::string, std::string> SwayCompositor::environment() const {
  return {{"XDG_RUNTIME_DIR", runtime_.path()}, {"WAYLAND_DISPLAY", display_}, {"SWAYSOCK", ipc_}};
}

nlohmann::json SwayCompositor::tree() const {
  ChildOptions options;
  options.argv = {"swaymsg", "-r", "-s", ipc_, "-t", "get_tree"};
  options.readOutput = true;
  ChildProcess swaymsg(options);
  std::string text;
  while (auto line = swaymsg.readLine(5s)) text += *line + "\n";
  auto tree = nlohmann::json::parse(text, nullptr, false);
  if (tree.is_discarded()) throw std::runtime_error("swaymsg gave no tree");
  return tree;
}

std::optional<Rect> SwayCompositor::windowSurface(const std::string& title) const {
  const auto deadline = Clock::now() + 5s;
  while (Clock::now() < deadline) {
    if (auto node = findNode(tree(), title)) {
      const auto& rect = (*node)["rect"];
      const auto& inner = (*node)["window_rect"];
      if (inner["width"].get<int>() > 0) {
        return makeRect(rect["x"].get<int>() + inner["x"].get<int>(),
                        rect["y"].get<int>() + inner["y"].get<int>(), inner["width"].get<int>(),
                        inner["height"].get<int>());
      }
    }
    std::this_thread::sleep_for(20ms);
  }
  return std::nullopt;
}

}  // namespace virelo::test
