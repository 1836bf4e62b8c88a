// Lets Python's signal handlers run between the steps of a long call that waits without the GIL,
// so that Ctrl-C ends it: operator() takes the GIL at most every 20 ms (the first call always),
// runs the pending handlers and throws pybind11::error_already_set with the exception one of them
// raised (KeyboardInterrupt for SIGINT). Handlers run only when the call is made on Python's main
// thread; elsewhere the check finds nothing.
//
// Threads: one object per call, used by the thread that makes it, without the GIL held.
#pragma once

#include <pybind11/pybind11.h>

#include <chrono>

namespace virelo::python {

class SignalCheck {
 public:
  void operator()() {
    const auto now = std::chrono::steady_clock::now();
    if (now < next_) return;
    next_ = now + std::chrono::milliseconds(20);
    pybind11::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) throw pybind11::error_already_set();
  }

 private:
  std::chrono::steady_clock::time_point next_{};
};

}  // namespace virelo::python
