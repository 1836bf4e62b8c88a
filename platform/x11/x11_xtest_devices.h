// The server's XTEST devices: the slave keyboard and pointer through which the input of every
// XTEST client arrives (one pair for the whole server, shared with xdotool and the like), and
// what this host changes or reads on them.
//
// Threads: any thread; each call is one or a few round trips on the given connection.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <optional>
#include <span>

namespace virelo::x11 {

struct XTestDevices {
  std::optional<std::uint16_t> keyboard;
  std::optional<std::uint16_t> pointer;
};

// The XTEST slave devices (XInput 2 device list); none without XInput 2.
XTestDevices xtestDevices(xcb_connection_t* c);

// Turns the server's auto-repeat off for these keys on that keyboard alone (its XKB PerKeyRepeat
// bits; the other keyboards keep theirs). Returns whether the server took it.
bool stopRepeating(xcb_connection_t* c, std::uint16_t keyboard, std::span<const std::uint8_t> keys);

// Releases every key and button that the XTEST devices hold down (XInput's QueryDeviceState),
// without waiting: XTEST input is not released when the client that posted it goes, so keys held
// by a service that crashed or was killed stay down and auto-repeat into the focused window.
// Returns how many releases were sent.
int releaseHeld(xcb_connection_t* c, const XTestDevices& devices);

}  // namespace virelo::x11
