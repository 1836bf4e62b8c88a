// Posts window-server events into an X server through XTEST, as the keyboard, mouse and wheel
// that the events describe:
//   key down / up (10, 11)      press / release of the key's X key code; a key down marked as an
//                               auto-repeat (field 8) is not posted, since the server repeats a
//                               held key itself at the rate of its XKB controls;
//   flags changed (12)          press or release of the modifier key it names, whichever makes
//                               what this process holds on the XTEST keyboard (x11_own_keys.h)
//                               match the event's flags; for caps lock the other half of what
//                               it holds (a press when it holds none); nothing for Fn, which has
//                               no X key;
//   media key (14, subtype 8)   press / release of the XF86 audio key (repeats not posted);
//   mouse (1-7, 25-27)          absolute motion to the event's location, then the press or
//                               release of button 1 (left), 3 (right) or 2 (third) for button
//                               events; dragging is motion while a button is held;
//   scroll (22)                 one click (press and release) of button 4 per line up, of 5
//                               per line down.
// Every posted key is recorded with its tag for the taps. Nothing is posted to a connection
// without XTEST; requests on a broken connection are dropped by XCB.
//
// Threads: any thread; the connection serialises the requests.
#pragma once

#include "platform/event.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_posted_keys.h"

namespace virelo::x11 {

void postEvent(X11Connection& connection, PostedKeys& posted, const Event& event);

}  // namespace virelo::x11
