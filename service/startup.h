// The process entry: command line, backend, capability probe, identity, token, signals, the
// long-lived objects, the listening socket, the bridge's start, then the main loop.
// Every refusal is one failure event on standard output (none for a malformed command line) and
// exit status 0. Main thread only.
#pragma once

namespace virelo {

// Returns the exit status.
int runService(int argc, const char* const* argv);

}  // namespace virelo
