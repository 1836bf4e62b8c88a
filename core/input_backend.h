// The two output backends, fixed at start.
#pragma once

#include <optional>
#include <string_view>

namespace virelo {

enum class InputBackend { cgevent, corehid };

// Exact, case-sensitive match of the whole text.
inline std::optional<InputBackend> parseInputBackend(std::string_view text) {
  if (text == "cgevent") return InputBackend::cgevent;
  if (text == "corehid") return InputBackend::corehid;
  return std::nullopt;
}

inline const char* rawValue(InputBackend backend) {
  return backend == InputBackend::cgevent ? "cgevent" : "corehid";
}

}  // namespace virelo
