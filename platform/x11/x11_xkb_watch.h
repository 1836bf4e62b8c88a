// The core keyboard's XKB state and repeat controls, kept current on a connection without a round
// trip when they are read.
//
// The watch selects XkbStateNotify and XkbControlsNotify on its connection. A state notification
// carries the whole state, so it replaces the kept one; a controls notification does not carry
// the repeat delay and interval, so it only marks them for one new read. The keys this process
// posts change the state as well, and the server says so only in a notification that may still be
// on its way: after every posted key the watch asks for the state without waiting (stateAsked()),
// and reading the flags takes that reply (by then usually already there), unless a notification
// sent after it came first. The flags read are therefore never older than the last posted key, as
// with a round trip at the time of reading; changes by other clients or keyboards arrive as
// notifications, as quickly as the server sends them.
//
// The watch also keeps the keymap's modifier keys and the pointer mapping (x11_keymap.h), read
// with one round trip when first needed and again after the server announced a change (XKB's
// new-keyboard and map notifications, the core MappingNotify).
//
// Every event read from the connection must go through take(); pump() reads those waiting.
//
// Threads: every operation from any thread; one internal leaf mutex, held while XCB is called.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/x11/x11_keymap.h"

namespace virelo::x11 {

struct KeyRepeat {
  // Seconds; both 0 when the server does not repeat keys (RepeatKeys control off).
  double delay = 0;
  double interval = 0;
};

// XKB modifier masks as event flags: caps lock locked (0x10000), shift (0x20000), control
// (0x40000), Mod1 as option (0x80000), Mod4 as command (0x100000).
std::uint64_t flagsOfXkbState(std::uint8_t mods, std::uint8_t lockedMods);

class XkbWatch {
 public:
  // Selects the notifications on the connection, which must offer XKB.
  explicit XkbWatch(xcb_connection_t* connection);

  // Reads the events waiting on the connection, without blocking, and keeps what they say.
  void pump();
  // Keeps what an event read elsewhere says; other events are ignored. The caller frees it.
  void take(const xcb_generic_event_t& event);
  // Keys were posted: asks for the state they leave, without waiting for the answer.
  void stateAsked();
  // The combined flags; 0 when the state cannot be read.
  std::uint64_t flags();
  // The repeat controls; nullopt when they cannot be read.
  std::optional<KeyRepeat> repeat();
  // The X key that produces the modifier of the virtual key code in the current keymap (see
  // x11_keymap.h); nullopt for other codes.
  std::optional<std::uint8_t> modifierKey(std::uint16_t virtualKeycode);
  // The physical button that the current pointer mapping maps to the logical button.
  std::uint8_t physicalButton(std::uint8_t logical);
  // Before a media key is pressed: turns the server's auto-repeat of the media keys off on the
  // XTEST keyboard (x11_xtest_devices.h), once, and again after a keymap change, which may bring
  // the keymap's own repeat settings back. Media keys do not repeat here; the other keyboards'
  // media keys keep repeating.
  void keepMediaKeysFromRepeating();

 private:
  void takeLocked(const xcb_generic_event_t& event);
  void pumpLocked();
  void keepState(std::uint32_t sequence, std::uint64_t flags, bool reply);

  xcb_connection_t* const connection_;
  std::mutex mutex_;
  std::uint8_t firstEvent_ = 0;
  std::uint64_t flags_ = 0;                     // under mutex_
  std::optional<std::uint32_t> stateSequence_;  // under mutex_: what flags_ shows
  std::optional<unsigned int> askedState_;      // under mutex_: a GetState not yet answered
  std::optional<KeyRepeat> repeat_;             // under mutex_
  bool repeatRead_ = false;                     // under mutex_
  Keymap keymap_;                               // under mutex_
  bool keymapRead_ = false;                     // under mutex_
  std::vector<std::uint8_t> pointerMap_;        // under mutex_
  bool pointerMapRead_ = false;                 // under mutex_
  bool mediaRepeatOff_ = false;                 // under mutex_
};

}  // namespace virelo::x11
