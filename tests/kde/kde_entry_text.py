#!/usr/bin/python3
"""Reads the text of the GTK receiver's entry over the accessibility bus (AT-SPI).

Waits up to 5 s until the text of the entry of the application "gtk_receiver.py" equals EXPECTED,
then prints the last text it read as one JSON string (null when it found no entry). Runs in the
session of $DBUS_SESSION_BUS_ADDRESS.

Usage: kde_entry_text.py EXPECTED
"""
import json
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def entry_of(accessible, depth=0):
    if accessible is None or depth > 8:
        return None
    if accessible.get_role() == Atspi.Role.TEXT and accessible.get_text_iface() is not None:
        return accessible
    for i in range(accessible.get_child_count()):
        found = entry_of(accessible.get_child_at_index(i), depth + 1)
        if found is not None:
            return found
    return None


def entry_text():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_name() == "gtk_receiver.py":
            entry = entry_of(app)
            if entry is not None:
                return Atspi.Text.get_text(entry, 0, -1)
    return None


def main(expected):
    deadline = time.monotonic() + 5
    text = entry_text()
    while text != expected and time.monotonic() < deadline:
        time.sleep(0.05)
        text = entry_text()
    print(json.dumps(text))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
