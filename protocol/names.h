// The wire protocol's names, spelt here once for the service and every client: commands, the
// fields of command lines and of replies, error codes, the reason of a dropped sample, the types
// of the status lines on standard output, and the environment variables through which a parent
// and a client find a service.
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

// The fields of a command line.
namespace fields {
inline constexpr const char* cmd = "cmd";
inline constexpr const char* token = "token";
inline constexpr const char* modifiers = "modifiers";
inline constexpr const char* keys = "keys";
inline constexpr const char* fn = "fn";
inline constexpr const char* usages = "usages";
inline constexpr const char* buttons = "buttons";
inline constexpr const char* snap = "snap";
inline constexpr const char* dx = "dx";
inline constexpr const char* dy = "dy";
inline constexpr const char* amount = "amount";
inline constexpr const char* tNs = "t_ns";
}  // namespace fields

// The fields of replies, status objects and status lines.
namespace replies {
inline constexpr const char* ok = "ok";
inline constexpr const char* ready = "ready";
inline constexpr const char* backend = "backend";
inline constexpr const char* protocol = "protocol";
inline constexpr const char* error = "error";
inline constexpr const char* dropped = "dropped";
// The kind of a status line (events below); the Fn state of a "fn_state" line and whether the
// service could deliver it.
inline constexpr const char* type = "type";
inline constexpr const char* held = "held";
inline constexpr const char* bridgeReady = "bridgeReady";
}  // namespace replies

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

// The environment variables that name a service to its clients and hand a service its token.
namespace variables {
// The socket and the token of a service a client is to use instead of the session's.
inline constexpr const char* socket = "VIRELO_SOCKET";
inline constexpr const char* token = "VIRELO_TOKEN";
// The client token, handed by the parent to the service it starts.
inline constexpr const char* serviceToken = "VL_COREHID_TOKEN";
}  // namespace variables

}  // namespace virelo::protocol
