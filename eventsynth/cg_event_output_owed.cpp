// Releases the platform dropped for want of the posting permission, and posting them again.
#include <utility>

#include "eventsynth/cg_event_output.h"

namespace virelo {

void CGEventOutput::noteKeyRelease(std::uint16_t code, bool flagsChanged) {
  if (!services_.postEventAccess()) owedKeys_[code] = flagsChanged;
}

void CGEventOutput::noteButtonRelease(int bit) {
  if (!services_.postEventAccess()) owedButtons_ |= bit;
}

void CGEventOutput::noteMediaRelease(int usage) {
  if (!services_.postEventAccess()) owedMedia_.insert(usage);
}

bool CGEventOutput::holdsKey(std::uint16_t code) const {
  if (code == kFnKeycode) return fnHeld_;
  for (std::size_t bit = 0; bit < kModifierKeycodes.size(); ++bit) {
    if (kModifierKeycodes[bit] == code) return (modifiers_ & (std::int64_t{1} << bit)) != 0;
  }
  return keys_.count(code) != 0;
}

void CGEventOutput::postOwedReleases() {
  if (owedKeys_.empty() && owedButtons_ == 0 && owedMedia_.empty()) return;
  if (!permitted()) return;
  // Taken out first: a release dropped again is owed again.
  const auto keys = std::exchange(owedKeys_, {});
  const int buttons = std::exchange(owedButtons_, 0);
  const auto media = std::exchange(owedMedia_, {});
  for (const auto& [code, flagsChanged] : keys) {
    if (!holdsKey(code)) postKey(code, false, flagsChanged);
  }
  for (int i = 0; i < 3; ++i) {
    const int bit = 1 << i;
    if (!(buttons & bit) || (buttons_ & bit)) continue;
    postButton(i, false, 0);
  }
  for (int usage : media) {
    if (!consumers_.count(usage)) postMedia(usage, false);
  }
}

}  // namespace virelo
