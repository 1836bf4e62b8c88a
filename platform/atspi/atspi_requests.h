// Requests to applications through libatspi, and whether they were answered. libatspi does not
// tell a request that its application left unanswered (it gives up after the timeout) from one
// that failed: for most requests it reports no error at all, or none with the cause. So every
// request to an application is timed: one that took the whole timeout was not answered. These are
// counted, so that callers can tell an application that does not answer from one that answered.
//
// Threads: the count and the timeout are kept per thread (libatspi is used by one thread only).
#pragma once

#include <chrono>
#include <cstdint>

namespace virelo::atspi {

namespace detail {
void timedRequest(std::chrono::steady_clock::time_point started);
}

// Runs one request to an application (a call of libatspi) and gives its result.
template <typename Request>
auto request(Request call) {
  auto started = std::chrono::steady_clock::now();
  auto result = call();
  detail::timedRequest(started);
  return result;
}

// The timeout that libatspi was given, for telling unanswered requests.
void setRequestTimeout(std::chrono::milliseconds timeout);
// How many requests of this thread have gone unanswered so far.
std::uint64_t unansweredRequests();

}  // namespace virelo::atspi
