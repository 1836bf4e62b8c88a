// The windows of a KDE Plasma or GNOME desktop on Wayland, in the dictionary form of
// window_list.h, with their owners told from the applications' accessible windows
// (matched_windows.h): KWin tells its windows' frames and captions over D-Bus, gnome-shell's own
// accessible tree holds its window actors at their places. Plain mutter tells neither: there the
// list is unknown (nullopt). The snap targets (compositor_accessibility.cpp) and the controls
// (linux_controls.h) of those desktops place AT-SPI's window-relative positions by it.
//
// Threads: only on the thread that uses libatspi.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "platform/active_displays.h"
#include "platform/hosts/matched_windows.h"
#include "platform/window_list.h"

namespace virelo::hosts {

// What the compositor shows, and whether those are its windows or every node of its tree;
// `shown` is nullopt where the compositor tells nothing.
struct Shows {
  std::optional<std::vector<ShownWindow>> shown;
  Shown kind = Shown::windows;
};

class CompositorWindows final : public WindowList, public ActiveDisplays {
 public:
  using Source = std::function<Shows()>;
  explicit CompositorWindows(Source source) : source_(std::move(source)) {}

  // Taken again when the last list is older than 50 ms: the requests of one search share it.
  std::optional<nlohmann::json> copyWindowInfo(std::uint32_t, std::uint32_t) override;
  // The compositor's outputs are not told here: no window is taken for a desktop element.
  std::optional<std::vector<std::uint32_t>> activeDisplayList(std::uint32_t) override {
    return std::vector<std::uint32_t>{};
  }
  Rect displayBounds(std::uint32_t) override { return {}; }

 private:
  std::optional<nlohmann::json> list();

  Source source_;
  std::optional<nlohmann::json> taken_;
  std::chrono::steady_clock::time_point takenAt_;
};

// gnome-shell's window actors: every node of its accessible tree down to the actors; nullopt when
// gnome-shell is not on the accessibility bus (plain mutter).
Shows gnomeShellWindows();

#if VIRELO_WITH_KDE_ACCESSIBILITY
// KWin's windows (platform/kde/kwin_windows.h), through one bus connection kept by the source.
CompositorWindows::Source kwinWindows();
#endif

}  // namespace virelo::hosts
