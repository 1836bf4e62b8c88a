// Which service the input commands talk to, and the connection to it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "tools/virelo/tool_arguments.h"
#include "virelo/client/client.h"
#include "virelo/client/session.h"

namespace virelo::tools {

// The endpoint under the client library's one rule (client::resolveEndpoint), with --socket and
// the token of --token-file as what the command line names. Throws client::NoSession, or
// std::runtime_error for an unreadable token file.
client::Endpoint endpointOf(const ToolArguments& args);

// Connects and says hello; reconnects by itself after a lost connection. Run as root, it first
// becomes the user that owns the service's socket.
std::unique_ptr<client::Client> connect(const ToolArguments& args);

// The session that the commands talk to, or nullopt when an option or $VIRELO_SOCKET /
// $VIRELO_TOKEN names another service (or there is no session file).
std::optional<client::SessionInfo> sessionBehind(const ToolArguments& args);

// The host of the service the commands talk to (client::serviceHost with --socket and
// --token-file as what the command line names); empty when it is not known.
std::string serviceHostOf(const ToolArguments& args);

// A service's error code in words for the host of the session behind the connection, followed by
// the code: "the X server :0 cannot be reached or lacks XTEST
// (virtual_hid_accessibility_required)".
std::string serviceErrorWords(const ToolArguments& args, const std::string& code);

// A connection to a service that is ready for input, and the status of its hello.
struct ReadyClient {
  std::unique_ptr<client::Client> client;
  client::Status status;
};

// connect(), for commands that send input: throws std::runtime_error ("the service is not
// ready: " and the code in words) when the service cannot deliver input now; otherwise makes Ctrl-C
// (and SIGTERM, SIGHUP) shut the connection down, so that the service releases whatever is held.
ReadyClient connectReady(const ToolArguments& args);

}  // namespace virelo::tools
