// An event emitter that drops every event, for code whose events nobody reads (fuzzing and
// benchmarks, where recording them would only add work).
#pragma once

#include <nlohmann/json.hpp>

#include "core/event_emitter.h"

namespace virelo::testing {

class NullEventEmitter final : public EventEmitter {
 public:
  void emit(const nlohmann::json&) override {}
};

}  // namespace virelo::testing
