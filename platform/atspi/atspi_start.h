// Starting libatspi in this process: quietly, and without the subscriptions to the applications'
// events that a process without a GLib main loop never reads.
//
// Threads: only on the thread that uses libatspi.
#pragma once

namespace virelo::atspi {

// atspi_init(), with GLib's and libatspi's messages on standard error silenced (once per
// process) and the event subscriptions dropped. After atspi_exit() it starts libatspi anew on the
// accessibility bus that the session bus names now.
void startLibatspi();

}  // namespace virelo::atspi
