// One client of the soak run, on a thread of its own: it connects, authenticates and sends a
// random mix of valid and invalid commands, disconnecting in random ways, and checks every reply.
// At a checkpoint it lets go of its connection and waits until the run resumes.
//
// Threads: start(), pause(), resume() and stop() from the soak's main thread; the rest of the work
// on the client's own thread. Counters are atomics; failures are collected under a mutex.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_client.h"

namespace virelo::test {

struct SoakCounters {
  std::atomic<std::uint64_t> commands{0};  // replies received and checked
  std::atomic<std::uint64_t> drops{0};     // connections the service closed
  std::atomic<std::uint64_t> connects{0};
};

class SoakClient {
 public:
  SoakClient(std::string socketPath, std::string token, std::string backend, std::uint32_t seed,
             SoakCounters& counters);
  ~SoakClient();

  void start();
  // Closes the connection and waits until resume(); returns once the client is parked.
  void pause();
  void resume();
  void stop();
  // What went wrong so far (empty when nothing did).
  std::vector<std::string> failures() const;

 private:
  void run();
  void step();
  bool connect();
  void validCommand();
  void invalidCommand();
  void fault(int kind);
  void expectDropped(const std::string& what);
  void fail(const std::string& what);
  nlohmann::json randomValid();
  std::string randomInvalid();

  std::string socketPath_;
  std::string token_;
  std::string backend_;
  std::mt19937 random_;
  SoakCounters& counters_;
  std::unique_ptr<TestClient> client_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool pauseRequested_ = false;        // guarded by mutex_
  bool parked_ = false;                // guarded by mutex_
  bool stopRequested_ = false;         // guarded by mutex_
  std::vector<std::string> failures_;  // guarded by mutex_
  std::thread thread_;
};

}  // namespace virelo::test
