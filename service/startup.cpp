#include "service/startup.h"

#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <span>

#include "bridge/bridge.h"
#include "core/failure.h"
#include "core/monotonic_clock.h"
#include "service/capability_probe.h"
#include "service/command_line.h"
#include "service/main_loop.h"
#include "service/platform_host.h"
#include "service/signal_observer.h"
#include "service/socket_server.h"
#include "service/token.h"
#include "service/watchdog.h"
#include "virelo/protocol/names.h"

namespace virelo {
namespace {

constexpr int kParentFd = 0;

// Opens the socket and starts the bridge; false when the start-up ended the service.
bool openAndStart(const CommandLine& commandLine, Bridge& bridge, MainLoop& loop,
                  EventEmitter& emitter) {
  try {
    loop.setListenFd(openServer(commandLine.socketPath));
  } catch (const FailureError&) {
    emitter.emit(failureEvent(commandLine.backend, errors::notReady));
    loop.cleanup();
    return false;
  }
  try {
    bridge.start();
  } catch (...) {
    loop.errorStop();
    return false;
  }
  if (bridge.stopped()) {
    // Stopped while starting: ended in order, without an event.
    loop.cleanup();
    return false;
  }
  return true;
}

// The checks before anything is set up: the capability probe, the user and the token. Returns
// the token, or nullopt after writing the refusal.
std::optional<std::string> admittedToken(InputBackend backend, PlatformHost& host,
                                         EventEmitter& emitter) {
  if (backend == InputBackend::corehid && !corehidEntitled(host.codeSignature())) {
    emitter.emit(failureEvent(backend, errors::authorizationRequired));
    return std::nullopt;
  }
  auto token =
      ::geteuid() == 0 ? std::nullopt : readToken(std::getenv(protocol::variables::serviceToken));
  if (!token) emitter.emit(failureEvent(backend, errors::protocolError));
  return token;
}

}  // namespace

int runService(int argc, const char* const* argv) {
  auto commandLine = parseCommandLine(std::span(argv, static_cast<std::size_t>(argc)));
  if (!commandLine) return 0;
  const InputBackend backend = commandLine->backend;
  FdEventEmitter emitter(1);
  auto host = PlatformHost::fromEnvironment();
  if (!host) {
    // VL_HOST names no host: refused, never a silent fallback to another host.
    emitter.emit(failureEvent(backend, errors::notReady));
    return 0;
  }
  auto token = admittedToken(backend, *host, emitter);
  if (!token) return 0;

  SignalObserver::blockStopSignals();
  Lifetime lifetime(monotonicNS());
  Watchdog watchdog(lifetime, emitter, kParentFd);
  std::optional<SignalObserver> signals;
  try {
    signals.emplace(lifetime);
  } catch (const FailureError&) {
    emitter.emit(failureEvent(backend, errors::notReady));
    return 0;
  }
  host->startThreads();

  BridgeParts bridgeParts;
  bridgeParts.lifetime = &lifetime;
  bridgeParts.backend = backend;
  bridgeParts.emitter = &emitter;
  // Read once: snapping measures in the desk's points at the scale the desk has at the start.
  bridgeParts.deskScale = host->deskScale();
  bridgeParts.targetSource = host->makeSnapTargetSource(bridgeParts.deskScale);
  if (backend == InputBackend::cgevent) bridgeParts.eventOutput = host->makeEventOutput();
  bridgeParts.devices = &host->devices();
  Bridge bridge(std::move(bridgeParts));

  MainLoopParts parts;
  parts.bridge = &bridge;
  parts.lifetime = &lifetime;
  parts.emitter = &emitter;
  parts.watchdog = &watchdog;
  parts.signals = &*signals;
  parts.socketPath = commandLine->socketPath;
  parts.token = *token;
  parts.parentFd = kParentFd;
  MainLoop loop(parts);
  if (openAndStart(*commandLine, bridge, loop, emitter)) loop.run();
  host->stopThreads();
  return 0;
}

}  // namespace virelo
