// The window server's list of windows. Window descriptions are loosely typed dictionaries, as
// the window server hands them out, so that the reader decides what to do with entries whose
// values are missing or of the wrong kind.
//
// Dictionary keys: "kCGWindowOwnerPID" (integer), "kCGWindowLayer" (integer), "kCGWindowBounds"
// (a rectangle dictionary, see rectFromDictionary), "kCGWindowAlpha" (number).
//
// Threads: called only on the snap target finder's background queue.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>

#include "platform/geometry.h"

namespace virelo {

inline constexpr std::uint32_t kWindowListOptionOnScreenOnly = 1;
inline constexpr std::uint32_t kWindowListExcludeDesktopElements = 16;

inline constexpr const char* kWindowOwnerPID = "kCGWindowOwnerPID";
inline constexpr const char* kWindowLayer = "kCGWindowLayer";
inline constexpr const char* kWindowBounds = "kCGWindowBounds";
inline constexpr const char* kWindowAlpha = "kCGWindowAlpha";

class WindowList {
 public:
  virtual ~WindowList() = default;
  // Descriptions of the windows selected by the options (relative to the given window, 0 for
  // none), front to back. std::nullopt when the call fails. A successful result is normally an
  // array of objects, but callers must not rely on it.
  virtual std::optional<nlohmann::json> copyWindowInfo(std::uint32_t options,
                                                       std::uint32_t relativeToWindow) = 0;
};

// The window server's standard dictionary form of a rectangle: numbers under "X", "Y", "Width"
// and "Height". Anything else gives std::nullopt.
inline std::optional<Rect> rectFromDictionary(const nlohmann::json& value) {
  if (!value.is_object()) return std::nullopt;
  double v[4];
  const char* keys[4] = {"X", "Y", "Width", "Height"};
  for (int i = 0; i < 4; ++i) {
    auto it = value.find(keys[i]);
    if (it == value.end() || !it->is_number()) return std::nullopt;
    v[i] = it->get<double>();
  }
  return makeRect(v[0], v[1], v[2], v[3]);
}

}  // namespace virelo
