#!/usr/bin/python3
"""Prints where KWin shows the window of a title, as KWin's own D-Bus interface tells.

One JSON line: {"x": ..., "y": ..., "width": ..., "height": ...} (the window's frame, its
decoration included, in the compositor's logical coordinates), or {} when no window has exactly
that title. Runs in the session of $DBUS_SESSION_BUS_ADDRESS.

Usage: kde_window.py TITLE
"""
import json
import sys

from gi.repository import Gio, GLib


def main(title):
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    matches = bus.call_sync("org.kde.KWin", "/WindowsRunner", "org.kde.krunner1", "Match",
                            GLib.Variant("(s)", (title,)), None, Gio.DBusCallFlags.NONE, 2000,
                            None).unpack()[0]
    for match in matches:
        if match[1] != title:
            continue
        uuid = match[0].split("_", 1)[1]
        info = bus.call_sync("org.kde.KWin", "/KWin", "org.kde.KWin", "getWindowInfo",
                             GLib.Variant("(s)", (uuid,)), None, Gio.DBusCallFlags.NONE, 2000,
                             None).unpack()[0]
        print(json.dumps({k: int(info[k]) for k in ("x", "y", "width", "height")}))
        return 0
    print("{}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
