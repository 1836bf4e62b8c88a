// Where the bridge's merged reports go: one interface for both backends. The HID-device sink
// ("corehid") hands them to three virtual devices; the event-output sink ("cgevent") to the event
// synthesis, whose extras (key repeat, the cursor, the Fn tap) the bridge reaches through
// events().
//
// Threads: every operation on the main thread.
#pragma once

#include <cstdint>
#include <optional>

#include "bridge/reports.h"
#include "eventsynth/event_output.h"

namespace virelo {

// What a backend allows, as the command rules and the status need it.
struct SinkLimits {
  // The highest "buttons" value.
  std::int64_t maxButtons = 0;
  // Whether a "keyboard" command may hold "fn".
  bool fnAllowed = false;
  // The error a status carries while the output is not ready.
  const char* notReadyError = nullptr;
  // Whether the empty state is sent as soon as the output has started.
  bool sendsEmptyStateAtStart = false;
};

class ReportSink {
 public:
  virtual ~ReportSink() = default;

  virtual const SinkLimits& limits() const = 0;
  // Starts the output; returns whether it is ready to send. Throws FailureError.
  virtual bool start() = 0;
  // The merged reports; fn: whether any client holds Fn; snap: whether the move may be snapped.
  // Throw FailureError(dispatchFailed) without an output to send to, or the output's own errors.
  virtual void keyboard(const KeyboardReport& report, bool fn, std::uint64_t now) = 0;
  virtual void consumer(const ConsumerReport& report, std::uint64_t now) = 0;
  virtual void mouse(const MouseReport& report, std::uint64_t now, bool snap) = 0;
  // The mouse report without motion, kept where the host may read it; nothing is sent.
  virtual void restingMouse(const MouseReport& report) = 0;
  // The posting permission of an output that needs one; nullopt for one that does not.
  virtual std::optional<bool> permitted() = 0;
  // Releases whatever the output holds. Never fails.
  virtual void releaseAll() = 0;
  // The service is shutting down: releases everything and stops what the output runs.
  virtual void stop() = 0;
  // The event synthesis behind this sink, or nullptr.
  virtual EventOutput* events() { return nullptr; }
};

}  // namespace virelo
