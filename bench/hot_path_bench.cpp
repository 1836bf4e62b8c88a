// The service's per-command hot path in-process: reading and validating one command line,
// merging four clients into the three reports, serialising replies and a sorted status event, the
// stop check with the dead-client test, and one "keyboard" command as a whole: its own work alone
// (BM_WholeCommandLogic) and through the bridge with four connected clients, the system calls of
// the checks included (BM_WholeCommand). The *_JsonDocument variants show the former way through
// a JSON document for comparison. Every benchmark reports "allocs/iter", the calls of global
// operator new per iteration after the first command.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "bench/allocation_count.h"
#include "bridge/bridge.h"
#include "bridge/command_reply.h"
#include "bridge/command_request.h"
#include "bridge/field_readers.h"
#include "bridge/merged_input.h"
#include "core/event_emitter.h"
#include "service/client_registry.h"
#include "tests/support/doubles/empty_snap_target_source.h"
#include "tests/support/doubles/null_event_emitter.h"

namespace virelo {
namespace {

constexpr std::string_view kPress = R"({"cmd":"keyboard","modifiers":2,"keys":[4]})";
constexpr std::string_view kRelease = R"({"cmd":"keyboard","modifiers":0,"keys":[]})";

void reportAllocations(benchmark::State& state, std::uint64_t before) {
  const auto allocs = static_cast<double>(bench::allocationCount() - before);
  state.counters["allocs/iter"] = benchmark::Counter(allocs, benchmark::Counter::kAvgIterations);
}

// Devices that take every report and do nothing with it: the cost left is the bridge's own.
class NullDevice final : public HidVirtualDevice {
 public:
  void activate(HidVirtualDeviceDelegate&) override {}
  void dispatchInputReport(std::span<const std::uint8_t> report, std::uint64_t) override {
    benchmark::DoNotOptimize(report.data());
  }
};
class NullDevices final : public HidDeviceService {
 public:
  std::unique_ptr<HidVirtualDevice> create(const HidDeviceProperties&) override {
    return std::make_unique<NullDevice>();
  }
};
// A started "corehid" bridge with four authenticated clients on real socket pairs and a real
// parent pipe, so that the stop checks and dead-client tests make their system calls.
class BridgeRig {
 public:
  BridgeRig() {
    if (::pipe2(parentPipe_.data(), O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    BridgeParts parts;
    parts.lifetime = &lifetime_;
    parts.backend = InputBackend::corehid;
    parts.emitter = &emitter_;
    parts.targetSource = std::make_shared<testing::EmptySnapTargetSource>();
    parts.devices = &devices_;
    bridge_ = std::make_unique<Bridge>(std::move(parts));
    clients_ = std::make_unique<ClientRegistry>(*bridge_, parentPipe_[0]);
    bridge_->start();
    for (int i = 0; i < 4; ++i) {
      std::array<int, 2> pair{};
      if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair.data()) != 0) {
        throw std::runtime_error("socketpair");
      }
      peers_[static_cast<std::size_t>(i)] = pair[1];
      clients_->admit(pair[0], 0);
      clients_->find(pair[0])->authenticated = true;
      holdKey(pair[0], 10 + i);
      fds_[static_cast<std::size_t>(i)] = pair[0];
    }
  }
  ~BridgeRig() {
    clients_.reset();  // closes the service ends
    bridge_.reset();
    for (int fd : peers_) ::close(fd);
    ::close(parentPipe_[0]);
    ::close(parentPipe_[1]);
  }
  Bridge& bridge() { return *bridge_; }
  ClientRegistry& clients() { return *clients_; }
  int client() const { return fds_[0]; }

 private:
  Lifetime lifetime_{0};
  testing::NullEventEmitter emitter_;
  NullDevices devices_;
  std::array<int, 2> parentPipe_{};
  std::array<int, 4> fds_{};
  std::array<int, 4> peers_{};
  std::unique_ptr<Bridge> bridge_;
  std::unique_ptr<ClientRegistry> clients_;

  void holdKey(int fd, int key) {
    CommandRequest request;
    request.parse(R"({"cmd":"keyboard","modifiers":0,"keys":[)" + std::to_string(key) + "]}");
    bridge_->command(request, fd);
  }
};

// What the connection layer does with a line: read it into the reused request and validate the
// "keyboard" fields.
void BM_ParseAndValidateKeyboard(benchmark::State& state) {
  CommandRequest request;
  bool press = true;
  request.parse(kPress);  // the first command of a client may size the request's buffers
  const std::uint64_t before = bench::allocationCount();
  for (auto _ : state) {
    if (!request.parse(press ? kPress : kRelease)) state.SkipWithError("not an object");
    std::int64_t modifiers = readInteger(request[CommandField::modifiers], 0, 255);
    KeySet keys;
    readUsages(request[CommandField::keys], request.list(CommandField::keys), kMaxKeyUsage,
               [&keys](std::int64_t usage) { keys.set(static_cast<std::size_t>(usage)); });
    bool fn = readFlag(request[CommandField::fn]);
    benchmark::DoNotOptimize(modifiers);
    benchmark::DoNotOptimize(keys);
    benchmark::DoNotOptimize(fn);
    press = !press;
  }
  reportAllocations(state, before);
}
BENCHMARK(BM_ParseAndValidateKeyboard);

// For comparison: a JSON document built for the line, read through the JSON field readers.
void BM_ParseAndValidateKeyboard_JsonDocument(benchmark::State& state) {
  const std::uint64_t before = bench::allocationCount();
  bool press = true;
  for (auto _ : state) {
    auto request = nlohmann::json::parse(press ? kPress : kRelease, nullptr, false);
    std::int64_t modifiers = readInteger(field(request, "modifiers"), 0, 255);
    KeySet keys;
    readUsages(field(request, "keys"), kMaxKeyUsage,
               [&keys](std::int64_t usage) { keys.set(static_cast<std::size_t>(usage)); });
    bool fn = readFlag(field(request, "fn"));
    benchmark::DoNotOptimize(modifiers);
    benchmark::DoNotOptimize(keys);
    benchmark::DoNotOptimize(fn);
    press = !press;
  }
  reportAllocations(state, before);
}
BENCHMARK(BM_ParseAndValidateKeyboard_JsonDocument);

std::map<int, Owner> fourOwners() {
  std::map<int, Owner> owners;
  for (int i = 0; i < 4; ++i) {
    Owner owner;
    owner.modifiers = 1 << i;
    owner.buttons = i == 2 ? 1 : 0;
    owner.keys.set(static_cast<std::size_t>(4 + 7 * i));
    owner.keys.set(static_cast<std::size_t>(100 + i));
    if (i == 3) owner.consumers.set(1);
    owners.emplace(10 + i, std::move(owner));
  }
  return owners;
}

void BM_MergeFourClientsIntoReports(benchmark::State& state) {
  std::map<int, Owner> owners = fourOwners();
  const std::uint64_t before = bench::allocationCount();
  for (auto _ : state) {
    benchmark::DoNotOptimize(owners);
    MergedInput m = mergeInput(owners);
    KeyboardReport keyboard = makeKeyboardReport(m.modifiers, m.keys);
    ConsumerReport consumer = makeConsumerReport(m.consumers);
    MouseReport mouse = makeMouseReport(m.buttons, 0, 0, 0);
    benchmark::DoNotOptimize(keyboard);
    benchmark::DoNotOptimize(consumer);
    benchmark::DoNotOptimize(mouse);
  }
  reportAllocations(state, before);
}
BENCHMARK(BM_MergeFourClientsIntoReports);

// The acknowledgement is a constant line now; this is what serialising it as a JSON object costs.
void BM_SerialiseReply_JsonAcknowledgement(benchmark::State& state) {
  BridgeRig rig;
  const std::uint64_t before = bench::allocationCount();
  for (auto _ : state) {
    std::string line = nlohmann::json{{"ok", true}, {"ready", true}}.dump();
    line.push_back('\n');
    benchmark::DoNotOptimize(line.data());
  }
  reportAllocations(state, before);
}
BENCHMARK(BM_SerialiseReply_JsonAcknowledgement);

// The status reply to "hello", which is still serialised from its object.
void BM_SerialiseReply_Status(benchmark::State& state) {
  BridgeRig rig;
  const std::uint64_t before = bench::allocationCount();
  for (auto _ : state) {
    std::string line = rig.bridge().status().dump();
    line.push_back('\n');
    benchmark::DoNotOptimize(line.data());
  }
  reportAllocations(state, before);
}
BENCHMARK(BM_SerialiseReply_Status);

void BM_SerialiseSortedEvent(benchmark::State& state) {
  BridgeRig rig;
  const std::uint64_t before = bench::allocationCount();
  for (auto _ : state) {
    nlohmann::json event = rig.bridge().status();
    event["type"] = "ready";
    std::string line = eventLine(event);
    benchmark::DoNotOptimize(line.data());
  }
  reportAllocations(state, before);
}
BENCHMARK(BM_SerialiseSortedEvent);

// The dead-client test over four idle clients (one poll; a peek only where a client has bytes
// that no peek has seen yet): the bridge makes it, with the stop check's poll of the parent
// pipe, before each report it sends.
void BM_DeadClientTest_FourClients(benchmark::State& state) {
  BridgeRig rig;
  const std::uint64_t before = bench::allocationCount();
  for (auto _ : state) rig.clients().pruneDisconnected();
  reportAllocations(state, before);
}
BENCHMARK(BM_DeadClientTest_FourClients);

// A tick with nobody moving: the stop check and the dead-client test over four idle clients (one
// poll of standard input and the clients, no peek) and a scan of the records. The bridge does the
// same checks before each report it sends, so a "keyboard" command pays this twice.
void BM_StopCheckAndDeadClientTest_FourClients(benchmark::State& state) {
  BridgeRig rig;
  const std::uint64_t before = bench::allocationCount();
  for (auto _ : state) rig.bridge().tick();
  reportAllocations(state, before);
}
BENCHMARK(BM_StopCheckAndDeadClientTest_FourClients);

// Parse, validate, merge four clients and build the three reports: the command's own work,
// without the system calls of the stop checks and dead-client tests.
void BM_WholeCommandLogic(benchmark::State& state) {
  std::map<int, Owner> owners = fourOwners();
  Owner& self = owners.begin()->second;
  CommandRequest request;
  bool press = true;
  request.parse(kPress);
  const std::uint64_t before = bench::allocationCount();
  for (auto _ : state) {
    request.parse(press ? kPress : kRelease);
    std::int64_t modifiers = readInteger(request[CommandField::modifiers], 0, 255);
    KeySet keys;
    readUsages(request[CommandField::keys], request.list(CommandField::keys), kMaxKeyUsage,
               [&keys](std::int64_t usage) { keys.set(static_cast<std::size_t>(usage)); });
    bool fn = readFlag(request[CommandField::fn]);
    self.modifiers = modifiers;
    self.keys = keys;
    self.fn = fn;
    MergedInput m = mergeInput(owners);
    KeyboardReport keyboard = makeKeyboardReport(m.modifiers, m.keys);
    ConsumerReport consumer = makeConsumerReport(m.consumers);
    MouseReport mouse = makeMouseReport(m.buttons, 0, 0, 0);
    benchmark::DoNotOptimize(keyboard);
    benchmark::DoNotOptimize(consumer);
    benchmark::DoNotOptimize(mouse);
    benchmark::DoNotOptimize(kAcknowledgementLine.data());
    press = !press;
  }
  reportAllocations(state, before);
}
BENCHMARK(BM_WholeCommandLogic);

// The service's path of one "keyboard" line with four clients connected: read the line, run the
// command through the bridge (two stop checks and two dead-client tests, merge, both reports
// delivered to the devices) and pick the reply line.
void BM_WholeCommand(benchmark::State& state) {
  BridgeRig rig;
  const std::string token(64, 'a');
  CommandRequest request;
  bool press = true;
  request.parse(kPress);
  const std::uint64_t before = bench::allocationCount();
  for (auto _ : state) {
    request.parse(press ? kPress : kRelease);
    CommandReply reply = rig.clients().command(rig.client(), request, token);
    benchmark::DoNotOptimize(reply);
    press = !press;
  }
  reportAllocations(state, before);
}
BENCHMARK(BM_WholeCommand);

// For comparison: the same through a JSON document and a serialised reply object.
void BM_WholeCommand_JsonDocument(benchmark::State& state) {
  BridgeRig rig;
  const std::string token(64, 'a');
  bool press = true;
  const std::uint64_t before = bench::allocationCount();
  for (auto _ : state) {
    auto request = nlohmann::json::parse(press ? kPress : kRelease, nullptr, false);
    CommandRequest fields;
    fields.assign(request);
    CommandReply reply = rig.clients().command(rig.client(), fields, token);
    nlohmann::json object = reply == CommandReply::status
                                ? rig.bridge().status()
                                : nlohmann::json{{"ok", true}, {"ready", true}};
    std::string line = object.dump();
    line.push_back('\n');
    benchmark::DoNotOptimize(line.data());
    press = !press;
  }
  reportAllocations(state, before);
}
BENCHMARK(BM_WholeCommand_JsonDocument);

}  // namespace
}  // namespace virelo

BENCHMARK_MAIN();
