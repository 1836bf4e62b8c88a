// Status events on standard output: one compact JSON object per line, keys sorted, written with a
// single write call so that lines never interleave.
//
// Threads: the main thread emits; the watchdog emits once, just before it ends the process.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "core/input_backend.h"
#include "virelo/protocol/names.h"

namespace virelo {

class EventEmitter {
 public:
  virtual ~EventEmitter() = default;
  // Never fails to its caller; an event that cannot be serialised or written is lost.
  virtual void emit(const nlohmann::json& event) = 0;
};

// Writes to a descriptor (standard output in the service).
class FdEventEmitter final : public EventEmitter {
 public:
  explicit FdEventEmitter(int fd = 1) : fd_(fd) {}
  void emit(const nlohmann::json& event) override;

 private:
  int fd_;
};

// The line for an event: compact, keys in ascending order, ending with one newline.
std::string eventLine(const nlohmann::json& event);

// {"type":"status","ready":false,"backend":...,"error":code}
nlohmann::json failureEvent(InputBackend backend, const char* code);

// The error codes (protocol/names.h).
namespace errors = protocol::errors;

}  // namespace virelo
