// An accessibility module of another interface version, which every loader must refuse: its
// table says version VIRELO_ACCESSIBILITY_MODULE_VERSION + 1 and has no functions.
#include "virelo/protocol/accessibility_module.h"

namespace {

virelo_accessibility_module_v2 table() {
  virelo_accessibility_module_v2 t{};
  t.version = VIRELO_ACCESSIBILITY_MODULE_VERSION + 1;
  t.size = sizeof t;
  t.release = "0.0.0";
  return t;
}

const virelo_accessibility_module_v2 kTable = table();

}  // namespace

extern "C" __attribute__((visibility("default"))) const void* virelo_accessibility_module(
    uint32_t) noexcept {
  return &kTable;
}
