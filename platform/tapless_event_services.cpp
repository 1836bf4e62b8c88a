#include "platform/tapless_event_services.h"

#include "platform/waiting_run_loop.h"

namespace virelo {

std::shared_ptr<EventTap> TaplessEventServices::createTap(std::uint64_t, EventTapCallback) {
  return nullptr;
}

std::shared_ptr<RunLoop> TaplessEventServices::currentRunLoop() {
  return std::make_shared<WaitingRunLoop>();
}

}  // namespace virelo
