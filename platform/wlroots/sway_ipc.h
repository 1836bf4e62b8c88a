// sway's IPC (the i3 IPC protocol on the Unix socket that $SWAYSOCK names): one request and its
// reply on a connection of its own, every step bounded by one deadline.
//
// Threads: any thread; nothing is shared between calls.
#pragma once

#include <chrono>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace virelo::wlroots {

inline constexpr std::uint32_t kSwayGetTree = 4;

// The reply to the request of that type (with an empty payload), parsed; nullopt when the socket
// cannot be reached, the reply does not come within `wait`, or it is not JSON.
std::optional<nlohmann::json> swayRequest(const std::string& socketPath, std::uint32_t type,
                                          std::chrono::milliseconds wait);

}  // namespace virelo::wlroots
