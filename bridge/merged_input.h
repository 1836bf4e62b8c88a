// The merged state of every client record: what the keyboard, consumer and mouse reports carry.
// Main thread only (it reads the records).
#pragma once

#include <cstdint>
#include <map>

#include "bridge/owner.h"
#include "bridge/reports.h"

namespace virelo {

struct MergedInput {
  std::uint8_t modifiers = 0;  // bitwise OR of all modifiers
  std::uint8_t buttons = 0;    // bitwise OR of all buttons
  bool fn = false;             // any client holds Fn
  KeySet keys;                 // union of all keys
  ConsumerSet consumers;       // union of all consumer usages
};

// Merges every record, authenticated or not; the order of the records does not matter.
MergedInput mergeInput(const std::map<int, Owner>& owners);

}  // namespace virelo
