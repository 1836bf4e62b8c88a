// A Bridge wired to in-process doubles: a settable clock, a recording emitter, the fake device
// service behind a HID-device sink ("corehid") or an event output ("cgevent"), and a pipe as the
// parent's liveness channel. Clients are socket pairs whose service side the client registry
// (the connection layer's record of the clients, and the bridge's client check) owns.
//
// Threads: main thread only, except that the fake devices' records may be read from anywhere.
#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bridge/bridge.h"
#include "bridge/hid_device_sink.h"
#include "service/client_registry.h"
#include "support/doubles/client_socket.h"
#include "support/doubles/empty_snap_target_source.h"
#include "support/doubles/fake_clock.h"
#include "support/doubles/fake_hid_device_service.h"
#include "support/doubles/parent_pipe.h"
#include "support/doubles/recording_event_emitter.h"

namespace virelo::testing {

// The reply object of a command's answer.
inline nlohmann::json replyObject(const Bridge& bridge, CommandReply reply) {
  switch (reply) {
    case CommandReply::acknowledgement:
      return {{"ok", true}, {"ready", true}};
    case CommandReply::staleMotion:
      return {{"ok", true}, {"ready", true}, {"dropped", "stale_motion"}};
    case CommandReply::status:
      break;
  }
  return bridge.status();
}

// 64 lower-case hexadecimal digits.
inline const std::string kToken =
    "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

class BridgeRig {
 public:
  // `source`: where the snap session finds its targets (none when null).
  explicit BridgeRig(InputBackend backend, std::unique_ptr<EventOutput> output = nullptr,
                     std::shared_ptr<SnapTargetSource> source = nullptr)
      : lifetime(clock.now()) {
    BridgeParts parts;
    parts.lifetime = &lifetime;
    parts.backend = backend;
    parts.emitter = &emitter;
    parts.targetSource = source ? std::move(source) : std::make_shared<EmptySnapTargetSource>();
    if (backend == InputBackend::corehid) {
      auto sink = std::make_unique<HidDeviceSink>(&devices);
      hid = sink.get();
      parts.sink = std::move(sink);
    } else {
      parts.eventOutput = std::move(output);
    }
    parts.clock = clock.fn();
    bridge = std::make_unique<Bridge>(std::move(parts));
    registry = std::make_unique<ClientRegistry>(*bridge, parent.readEnd());
  }
  BridgeRig(const BridgeRig&) = delete;
  BridgeRig& operator=(const BridgeRig&) = delete;

  // A new client record (not authenticated) for a fresh socket pair; returns its descriptor.
  int connect() {
    clients.push_back(std::make_unique<ClientSocket>());
    int fd = clients.back()->serviceFd();
    registry->admit(fd, clock.now());
    return fd;
  }
  // A new client that has passed the handshake.
  int connectAuthenticated() {
    int fd = connect();
    command(fd, {{"cmd", "hello"}, {"token", kToken}});
    return fd;
  }
  ClientSocket& client(int fd) {
    for (auto& c : clients) {
      if (c->serviceFd() == fd) return *c;
    }
    throw std::runtime_error("no such client");
  }
  const Owner& owner(int fd) const { return bridge->owners().at(fd); }
  bool admitted(int fd) const { return registry->all().count(fd) != 0; }
  bool authenticated(int fd) const { return registry->all().at(fd).authenticated; }
  // A command given as a parsed JSON object, against the service's token; returns the reply
  // object.
  nlohmann::json command(int fd, const nlohmann::json& request, std::string_view token = kToken) {
    CommandRequest fields;
    fields.assign(request);
    return replyObject(*bridge, registry->command(fd, fields, token));
  }

  FakeClock clock;
  Lifetime lifetime;
  RecordingEventEmitter emitter;
  FakeHidDeviceService devices;
  ParentPipe parent;
  std::vector<std::unique_ptr<ClientSocket>> clients;
  std::unique_ptr<Bridge> bridge;
  HidDeviceSink* hid = nullptr;  // the bridge's sink with "corehid"
  // Declared after the bridge, whose client check it is until it goes.
  std::unique_ptr<ClientRegistry> registry;
};

}  // namespace virelo::testing
