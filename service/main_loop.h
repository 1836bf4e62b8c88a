// The service's one loop: liveness, the permission watch, dead clients, one poll over the
// listening socket, standard input and every client, client service, the 8 ms tick and the Fn
// state report; then the orderly stop, the error stop and the shutdown cleanup.
// Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "bridge/bridge.h"
#include "core/event_emitter.h"
#include "core/lifetime.h"
#include "service/client_registry.h"
#include "service/connection_service.h"
#include "service/signal_observer.h"
#include "service/watchdog.h"

namespace virelo {

struct MainLoopParts {
  Bridge* bridge = nullptr;
  Lifetime* lifetime = nullptr;
  EventEmitter* emitter = nullptr;
  Watchdog* watchdog = nullptr;
  SignalObserver* signals = nullptr;
  int listenFd = -1;  // -1 when the socket was never opened
  std::string socketPath;
  std::string token;
  int parentFd = 0;
};

class MainLoop {
 public:
  static constexpr std::uint64_t kTickNS = 8'000'000;
  static constexpr std::uint64_t kPermissionPeriodNS = 500'000'000;

  explicit MainLoop(MainLoopParts parts);

  // The listening socket, once it is open (the cleanup closes it and removes its file).
  void setListenFd(int fd) { parts_.listenFd = fd; }

  // Runs until the service ends; the process then exits with status 0. The parent's stop (its
  // channel closed, or a stop signal) ends the loop in order, without a failure event.
  void run();
  // Ends the service after an error: the failure event, then cleanup.
  void errorStop();
  void cleanup();

 private:
  void emitStatus();
  // One pass; returns false when the service is to stop in order (the parent's channel ended, or
  // the bridge found the service stopping).
  bool pass();
  void watchPermission(std::uint64_t now);
  bool readParent();
  void orderlyStop();

  // The poll set: the listening socket, standard input, the stop signals' wake, then clients.
  static constexpr std::size_t kFirstClient = 3;

  MainLoopParts parts_;
  Bridge& bridge_;
  ClientRegistry clients_;
  ConnectionService connections_;
  std::uint64_t nextTick_ = 0;
  std::uint64_t permissionCheckAt_ = 0;
};

}  // namespace virelo
