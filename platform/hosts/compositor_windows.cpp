#include "platform/hosts/compositor_windows.h"

#include <utility>

#include "platform/atspi/atspi_windows.h"
#if VIRELO_WITH_KDE_ACCESSIBILITY
#include "platform/kde/kwin_windows.h"
#endif

namespace virelo::hosts {
namespace {

constexpr std::chrono::milliseconds kTimeout{300};
constexpr std::chrono::milliseconds kLifetime{50};
constexpr const char* kShell = "gnome-shell";
// gnome-shell's window actors lie four levels below its application: its stage's window, the
// stage, the window group.
constexpr int kShellDepth = 4;
constexpr std::size_t kShellNodes = 512;

}  // namespace

std::optional<nlohmann::json> CompositorWindows::copyWindowInfo(std::uint32_t, std::uint32_t) {
  const auto now = std::chrono::steady_clock::now();
  if (!taken_ || now - takenAt_ > kLifetime) {
    taken_ = list();
    takenAt_ = now;
  }
  return taken_;
}

std::optional<nlohmann::json> CompositorWindows::list() {
  Shows shows = source_();
  if (!shows.shown) return std::nullopt;
  std::vector<AccessibleWindow> accessible;
  for (const auto& w : atspi::topWindows(kShell, kTimeout))
    accessible.push_back({w.pid, w.title, w.size});
  return windowListOf(matchWindows(*shows.shown, accessible, shows.kind));
}

Shows gnomeShellWindows() {
  const std::vector<Rect> nodes = atspi::nodeExtents(kShell, kShellDepth, kShellNodes, kTimeout);
  // gnome-shell always has nodes of its own (its panel, its backgrounds): none, and it is absent.
  if (nodes.empty()) return {};
  Shows shows{std::vector<ShownWindow>{}, Shown::nodes};
  for (const Rect& node : nodes) shows.shown->push_back({node, std::nullopt});
  return shows;
}

#if VIRELO_WITH_KDE_ACCESSIBILITY
CompositorWindows::Source kwinWindows() {
  auto kwin = std::make_shared<kde::KwinWindows>();
  return [kwin] {
    Shows shows;
    if (auto windows = kwin->windows()) {
      shows.shown.emplace();
      for (auto& w : *windows) shows.shown->push_back({w.frame, std::move(w.caption)});
    }
    return shows;
  };
}
#endif

}  // namespace virelo::hosts
