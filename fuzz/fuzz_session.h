// One fuzz input played against an in-process bridge: a fuzzed client and, optionally, a
// well-behaved bystander, both connected over socket pairs to the real connection layer, driven
// the way the main loop drives them (prune, re-send, serve, tick). Every step checks the
// invariants; a broken invariant aborts with a message, which libFuzzer reports as a finding.
//
// Threads: one thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "bridge/bridge.h"
#include "bridge/hid_device_sink.h"
#include "fuzz/recording_outputs.h"
#include "service/connection_service.h"

namespace virelo::fuzz {

// The token the fuzzed bridge expects; the seed corpus uses it.
inline constexpr const char* kFuzzToken =
    "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";

struct FuzzOptions {
  InputBackend backend = InputBackend::corehid;
  bool helloFirst = false;  // a valid "hello" line is sent before the fuzzed bytes
  bool bystander = false;   // a second client holds modifier 0x02, key 4 and button 1
  std::size_t chunkSize = 1;
};

// Reads the options from the first two bytes of an input; returns the rest.
std::span<const std::uint8_t> readOptions(std::span<const std::uint8_t> input,
                                          FuzzOptions& options);

class FuzzSession {
 public:
  explicit FuzzSession(const FuzzOptions& options);
  ~FuzzSession();
  FuzzSession(const FuzzSession&) = delete;
  FuzzSession& operator=(const FuzzSession&) = delete;

  // Plays the bytes in chunks, then closes the fuzzed client and checks that nothing it held
  // remains in the output.
  void play(std::span<const std::uint8_t> bytes);

 private:
  struct Peer {
    int serverFd = -1;  // the service's end, owned by the client registry once admitted
    int clientFd = -1;  // our end
    std::string replies;
  };
  Peer connect();
  void send(Peer& peer, std::string_view bytes);
  void pass();
  void drainReplies(Peer& peer);
  void checkKeyLimit() const;
  void checkOutputHolds(std::uint8_t modifiers, int key, std::uint8_t buttons) const;

  FuzzOptions options_;
  std::uint64_t now_ = 1'000'000'000'000;
  LastReports last_;
  Lifetime lifetime_{now_};
  std::unique_ptr<EventEmitter> emitter_;
  std::unique_ptr<RecordingDevices> devices_;
  int parentPipe_[2] = {-1, -1};
  std::unique_ptr<Bridge> bridge_;
  HidDeviceSink* hid_ = nullptr;  // the bridge's sink with "corehid"
  std::unique_ptr<ClientRegistry> clients_;
  std::unique_ptr<ConnectionService> connections_;
  Peer fuzzed_;
  Peer bystander_;
};

}  // namespace virelo::fuzz
