// The event services of a window server that lets no client watch the session's input (a
// Wayland compositor): its events are plain values (plain_event_services.h), no tap is ever
// created, and a thread's run loop only waits (waiting_run_loop.h), as it has no source to serve.
//
// Threads: any thread.
#pragma once

#include "platform/plain_event_services.h"

namespace virelo {

class TaplessEventServices : public PlainEventServices {
 public:
  // nullptr, whatever the mask: the Fn tap reports that it is not available.
  std::shared_ptr<EventTap> createTap(std::uint64_t mask, EventTapCallback callback) override;
  std::shared_ptr<RunLoop> currentRunLoop() override;
};

}  // namespace virelo
