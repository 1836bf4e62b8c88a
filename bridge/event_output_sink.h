// The "cgevent" sink: hands the merged reports to the event synthesis, whose posting permission
// decides readiness and whose extras (key repeat, the cursor, the Fn tap) stay on EventOutput.
//
// Threads: every operation on the main thread.
#pragma once

#include <memory>

#include "bridge/report_sink.h"

namespace virelo {

class EventOutputSink final : public ReportSink {
 public:
  // Without an output the sink is never ready.
  explicit EventOutputSink(std::unique_ptr<EventOutput> output);

  const SinkLimits& limits() const override;
  // Reads the posting permission, then starts the Fn tap.
  bool start() override;
  void keyboard(const KeyboardReport& report, bool fn, std::uint64_t now) override;
  void consumer(const ConsumerReport& report, std::uint64_t now) override;
  void mouse(const MouseReport& report, std::uint64_t now, bool snap) override;
  void restingMouse(const MouseReport&) override {}
  std::optional<bool> permitted() override;
  void releaseAll() override;
  // Releases everything and stops the Fn tap.
  void stop() override;
  EventOutput* events() override { return output_.get(); }

 private:
  std::unique_ptr<EventOutput> output_;
};

}  // namespace virelo
