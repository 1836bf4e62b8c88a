// Keeps every event the code under test emits, in order.
//
// Threads: emit may be called from any thread; events() copies under the lock.
#pragma once

#include <mutex>
#include <nlohmann/json.hpp>
#include <vector>

#include "core/event_emitter.h"

namespace virelo::testing {

class RecordingEventEmitter final : public EventEmitter {
 public:
  void emit(const nlohmann::json& event) override {
    std::lock_guard<std::mutex> guard(lock_);
    events_.push_back(event);
  }
  std::vector<nlohmann::json> events() const {
    std::lock_guard<std::mutex> guard(lock_);
    return events_;
  }

 private:
  mutable std::mutex lock_;
  std::vector<nlohmann::json> events_;
};

}  // namespace virelo::testing
