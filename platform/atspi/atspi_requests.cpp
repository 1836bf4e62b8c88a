#include "platform/atspi/atspi_requests.h"

namespace virelo::atspi {
namespace {

thread_local std::uint64_t unanswered = 0;
thread_local std::chrono::milliseconds timeout{0};

}  // namespace

namespace detail {

// An answered request takes a small fraction of the timeout; one that took all of it was given up.
void timedRequest(std::chrono::steady_clock::time_point started) {
  if (timeout.count() > 0 && std::chrono::steady_clock::now() - started >= timeout) ++unanswered;
}

}  // namespace detail

void setRequestTimeout(std::chrono::milliseconds value) {
  timeout = value;
}

std::uint64_t unansweredRequests() {
  return unanswered;
}

}  // namespace virelo::atspi
