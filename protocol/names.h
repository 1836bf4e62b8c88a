// The wire protocol's names: commands, error codes, the reason of a dropped sample and the types
// of the status lines on standard output.
#pragma once

namespace virelo::protocol {

namespace commands {
inline constexpr const char* hello = "hello";
inline constexpr const char* status = "status";
inline constexpr const char* reset = "reset";
inline constexpr const char* keyboard = "keyboard";
inline constexpr const char* consumer = "consumer";
inline constexpr const char* buttons = "buttons";
inline constexpr const char* move = "move";
inline constexpr const char* wheel = "wheel";
inline constexpr const char* motion = "motion";
inline constexpr const char* stopMotion = "stop_motion";
}  // namespace commands

// The "error" of replies, status objects and status lines.
namespace errors {
inline constexpr const char* authorizationRequired = "virtual_hid_authorization_required";
inline constexpr const char* protocolError = "virtual_hid_protocol_error";
inline constexpr const char* notReady = "virtual_hid_not_ready";
inline constexpr const char* accessibilityRequired = "virtual_hid_accessibility_required";
}  // namespace errors

// The "dropped" of a motion sample's reply.
inline constexpr const char* kStaleMotion = "stale_motion";

// The "type" of the status lines.
namespace events {
inline constexpr const char* ready = "ready";
inline constexpr const char* status = "status";
inline constexpr const char* fnState = "fn_state";
}  // namespace events

}  // namespace virelo::protocol
