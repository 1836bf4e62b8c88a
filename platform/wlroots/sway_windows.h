// The windows and outputs of a sway desktop, from its tree of containers (sway_ipc.h).
//
// windowsOfTree() reads the tree: every view (a container with a process id and no children) of
// a visible workspace, front to back (a fullscreen view first, then the floating views from the
// last raised, then the tiled ones), with the screen rectangle of its surface (the container's
// place plus the surface's place in it, in logical points) and its title. outputsOfTree() gives
// the outputs' rectangles in the tree's order (sway's internal scratchpad output left out).
//
// SwayWindowList answers the snap target finder from the tree that the IPC gives at each call:
// the window list in the dictionary form of window_list.h (layer 0, plus "title"), and the
// outputs as the active displays. No answer within the wait is a failed call.
//
// Threads: SwayWindowList only on the snap target finder's queue.
#pragma once

#include <chrono>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/active_displays.h"
#include "platform/geometry.h"
#include "platform/window_list.h"

namespace virelo::wlroots {

struct SwayWindow {
  std::int32_t pid = 0;
  std::string title;
  Rect surface;
};

std::vector<SwayWindow> windowsOfTree(const nlohmann::json& tree);
std::vector<Rect> outputsOfTree(const nlohmann::json& tree);

inline constexpr const char* kWindowTitle = "title";

class SwayWindowList final : public WindowList, public ActiveDisplays {
 public:
  static constexpr std::chrono::milliseconds kWait{100};

  // `socketPath` as in $SWAYSOCK; empty: every call fails.
  explicit SwayWindowList(std::string socketPath) : socketPath_(std::move(socketPath)) {}

  std::optional<nlohmann::json> copyWindowInfo(std::uint32_t options,
                                               std::uint32_t relativeToWindow) override;
  std::optional<std::vector<std::uint32_t>> activeDisplayList(std::uint32_t maxDisplays) override;
  Rect displayBounds(std::uint32_t display) override;

 private:
  const std::string socketPath_;
  std::vector<Rect> outputs_;  // as the last display list found them
};

}  // namespace virelo::wlroots
