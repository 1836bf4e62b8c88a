#include "targets/screen_snapshot.h"

#include <cstdint>
#include <limits>

namespace virelo {
namespace {

constexpr std::uint32_t kMaxDisplays = 16;
constexpr double kInvisibleAlpha = 0.01;

std::optional<std::int64_t> integerValue(const nlohmann::json& entry, const char* key) {
  auto it = entry.find(key);
  if (it == entry.end() || !it->is_number_integer()) return std::nullopt;
  if (it->is_number_unsigned()) {
    auto u = it->get<std::uint64_t>();
    if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(u);
  }
  return it->get<std::int64_t>();
}

}  // namespace

ScreenSnapshot ScreenSnapshot::take(WindowList& windowList, ActiveDisplays& displays) {
  auto info = windowList.copyWindowInfo(
      kWindowListOptionOnScreenOnly | kWindowListExcludeDesktopElements, 0);
  return ScreenSnapshot(windowsFrom(info), displaysFrom(displays));
}

std::vector<Window> ScreenSnapshot::windowsFrom(const std::optional<nlohmann::json>& info) {
  std::vector<Window> windows;
  if (!info || !info->is_array()) return windows;
  for (const auto& entry : *info) {
    if (!entry.is_object()) return {};
  }
  for (const auto& entry : *info) {
    auto pid = integerValue(entry, kWindowOwnerPID);
    auto layer = integerValue(entry, kWindowLayer);
    if (!pid || *pid < std::numeric_limits<std::int32_t>::min() ||
        *pid > std::numeric_limits<std::int32_t>::max() || !layer) {
      continue;
    }
    auto boundsIt = entry.find(kWindowBounds);
    if (boundsIt == entry.end()) continue;
    auto bounds = rectFromDictionary(*boundsIt);
    if (!bounds) continue;
    auto alphaIt = entry.find(kWindowAlpha);
    if (alphaIt != entry.end() && alphaIt->is_number() &&
        alphaIt->get<double>() <= kInvisibleAlpha) {
      continue;
    }
    windows.push_back({static_cast<std::int32_t>(*pid), *bounds, *layer});
  }
  return windows;
}

std::vector<Rect> ScreenSnapshot::displaysFrom(ActiveDisplays& displays) {
  std::vector<Rect> bounds;
  auto ids = displays.activeDisplayList(kMaxDisplays);
  if (!ids) return bounds;
  std::size_t count = std::min<std::size_t>(ids->size(), kMaxDisplays);
  for (std::size_t i = 0; i < count; ++i) bounds.push_back(displays.displayBounds((*ids)[i]));
  return bounds;
}

bool ScreenSnapshot::coversDisplay(const Window& window) const {
  for (const auto& display : displays_) {
    if (window.bounds.contains(display)) return true;
  }
  return false;
}

const Window* ScreenSnapshot::windowUnder(Point p) const {
  for (const auto& window : windows_) {
    if (!window.bounds.contains(p)) continue;
    if (window.layer != 0 && coversDisplay(window)) continue;
    return &window;
  }
  return nullptr;
}

}  // namespace virelo
