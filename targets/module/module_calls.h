// What the accessibility module's functions share (linux_accessibility_module.cpp): turning a
// thrown error into the C interface's error record, so that nothing unwinds out of the module.
//
// Threads: any.
#pragma once

#include <cstdio>
#include <exception>
#include <stdexcept>

#include "platform/controls.h"
#include "virelo/protocol/accessibility_module.h"

namespace virelo::module {

inline void fail(virelo_accessibility_error* error, int kind, const char* message) noexcept {
  if (error == nullptr) return;
  error->kind = kind;
  std::snprintf(error->message, sizeof error->message, "%s", message);
}

// Runs `call`, recording what it throws in `error` (cleared first).
template <typename Call>
void guarded(virelo_accessibility_error* error, Call&& call) noexcept {
  fail(error, VIRELO_ACCESSIBILITY_OK, "");
  try {
    call();
  } catch (const ControlsUnplaceable& e) {
    fail(error, VIRELO_ACCESSIBILITY_UNPLACEABLE, e.what());
  } catch (const std::invalid_argument& e) {
    fail(error, VIRELO_ACCESSIBILITY_UNKNOWN_ROLE, e.what());
  } catch (const std::exception& e) {
    fail(error, VIRELO_ACCESSIBILITY_FAILED, e.what());
  } catch (...) {
    fail(error, VIRELO_ACCESSIBILITY_FAILED, "unknown error in the accessibility module");
  }
}

}  // namespace virelo::module
