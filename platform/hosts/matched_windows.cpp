#include "platform/hosts/matched_windows.h"

#include <algorithm>
#include <cmath>

#include "platform/window_list.h"

namespace virelo::hosts {
namespace {

bool sizeMatches(const Rect& bounds, Size size) {
  return std::abs(bounds.width() - size.width) <= kSizeTolerance &&
         std::abs(bounds.height() - size.height) <= kSizeTolerance;
}

bool matches(const ShownWindow& shown, const AccessibleWindow& accessible) {
  return sizeMatches(shown.bounds, accessible.size) &&
         (!shown.title || *shown.title == accessible.title);
}

// The shown windows once each; with `Shown::nodes` only those of an accessible window's size.
std::vector<ShownWindow> windowsOf(const std::vector<ShownWindow>& shown,
                                   const std::vector<AccessibleWindow>& accessible, Shown kind) {
  std::vector<ShownWindow> windows;
  for (const ShownWindow& s : shown) {
    if (s.bounds.width() <= 0 || s.bounds.height() <= 0) continue;
    if (std::any_of(windows.begin(), windows.end(), [&](const ShownWindow& w) {
          return w.bounds == s.bounds && w.title == s.title;
        })) {
      continue;
    }
    if (kind == Shown::nodes &&
        std::none_of(accessible.begin(), accessible.end(),
                     [&](const AccessibleWindow& a) { return sizeMatches(s.bounds, a.size); })) {
      continue;
    }
    windows.push_back(s);
  }
  return windows;
}

// The one accessible window that certainly is the shown one, or null.
const AccessibleWindow* ownerOf(const ShownWindow& window, const std::vector<ShownWindow>& windows,
                                const std::vector<AccessibleWindow>& accessible) {
  const AccessibleWindow* owner = nullptr;
  for (const AccessibleWindow& a : accessible) {
    if (!matches(window, a)) continue;
    if (owner != nullptr) return nullptr;
    owner = &a;
  }
  if (owner == nullptr) return nullptr;
  const auto places = std::count_if(windows.begin(), windows.end(),
                                    [&](const ShownWindow& w) { return matches(w, *owner); });
  return places == 1 ? owner : nullptr;
}

std::optional<Rect> overlap(const Rect& a, const Rect& b) {
  const double left = std::max(a.minX(), b.minX());
  const double top = std::max(a.minY(), b.minY());
  const double right = std::min(a.maxX(), b.maxX());
  const double bottom = std::min(a.maxY(), b.maxY());
  if (right <= left || bottom <= top) return std::nullopt;
  return makeRect(left, top, right - left, bottom - top);
}

}  // namespace

std::vector<OwnedWindow> matchWindows(const std::vector<ShownWindow>& shown,
                                      const std::vector<AccessibleWindow>& accessible, Shown kind) {
  const std::vector<ShownWindow> windows = windowsOf(shown, accessible, kind);
  std::vector<OwnedWindow> result;
  for (std::size_t i = 0; i < windows.size(); ++i) {
    for (std::size_t j = i + 1; j < windows.size(); ++j) {
      if (auto both = overlap(windows[i].bounds, windows[j].bounds)) {
        result.push_back({kUnknownOwner, "", *both});
      }
    }
  }
  for (const ShownWindow& window : windows) {
    const AccessibleWindow* owner = ownerOf(window, windows, accessible);
    result.push_back(owner != nullptr ? OwnedWindow{owner->pid, owner->title, window.bounds}
                                      : OwnedWindow{kUnknownOwner, "", window.bounds});
  }
  return result;
}

nlohmann::json windowListOf(const std::vector<OwnedWindow>& windows) {
  nlohmann::json list = nlohmann::json::array();
  for (const OwnedWindow& w : windows) {
    list.push_back({{kWindowOwnerPID, w.pid},
                    {kWindowLayer, 0},
                    {kWindowBounds,
                     {{"X", w.bounds.minX()},
                      {"Y", w.bounds.minY()},
                      {"Width", w.bounds.width()},
                      {"Height", w.bounds.height()}}},
                    {"title", w.title}});
  }
  return list;
}

}  // namespace virelo::hosts
