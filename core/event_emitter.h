// Status events on standard output: one compact JSON object per line, keys sorted, written with a
// single write call so that lines never interleave.
//
// Threads: the main thread emits; the watchdog emits once, just before it ends the process.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "core/input_backend.h"

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

namespace errors {
inline constexpr const char* authorizationRequired = "virtual_hid_authorization_required";
inline constexpr const char* protocolError = "virtual_hid_protocol_error";
inline constexpr const char* notReady = "virtual_hid_not_ready";
inline constexpr const char* accessibilityRequired = "virtual_hid_accessibility_required";
}  // namespace errors

}  // namespace virelo
