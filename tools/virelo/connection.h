// Which service the input commands talk to, and the connection to it.
#pragma once

#include <memory>

#include "tools/virelo/tool_arguments.h"
#include "virelo/client/client.h"

namespace virelo::tools {

// --socket and --token-file where given, each falling back to $VIRELO_SOCKET / $VIRELO_TOKEN;
// without either option the session's endpoint (client::findSession). Throws
// client::NoSession, UsageError, or std::runtime_error for an unreadable token file.
client::Endpoint endpointOf(const ToolArguments& args);

// Connects and says hello; reconnects by itself after a lost connection. Run as root, it first
// becomes the user that owns the service's socket.
std::unique_ptr<client::Client> connect(const ToolArguments& args);

// A connection to a service that is ready for input, and the status of its hello.
struct ReadyClient {
  std::unique_ptr<client::Client> client;
  client::Status status;
};

// connect(), for commands that send input: throws std::runtime_error ("the service is not
// ready: CODE") when the service cannot deliver input now; otherwise makes Ctrl-C (and SIGTERM,
// SIGHUP) shut the connection down, so that the service releases whatever is held.
ReadyClient connectReady(const ToolArguments& args);

}  // namespace virelo::tools
