#!/usr/bin/python3
"""A small GTK 3 application that receives input on an X display and logs it.

An undecorated window of 400 x 300 pixels at a given place on the screen holds, at fixed places:
an entry, a button, a scrollable area and a drag area. Every line written to standard output is a
JSON object; the first is {"event": "ready", ...} once the window is mapped and holds the keyboard
focus, and it gives every widget's rectangle in root-window coordinates ("x", "y", "width",
"height"). Then, as they happen:

  {"event": "text", "text": ...}                      the entry's whole text after a change
  {"event": "key", "keysym": N}                       a key pressed, by its keysym
  {"event": "key-release", "released": N}             a key released, by its keysym
  {"event": "clicked"}                                the button fired
  {"event": "enter", "widget": "button", "x": ..., "y": ...}
                                                      the pointer came over the button, at that
                                                      place inside it
  {"event": "press", "widget": "button", "button": N, "type": "BUTTON_PRESS" | "2BUTTON_PRESS"
   | "3BUTTON_PRESS"}                                 a button press as GTK reports it
  {"event": "scroll", "direction": "up" | "down" | "left" | "right" | "smooth", "dy": ...}
  {"event": "drag_start" | "drag_motion" | "drag_end", "x": ..., "y": ...}
                                                      in root-window coordinates

Usage: gtk_receiver.py [--at X Y]   (default 0 0)
"""
import json
import os
import sys

os.environ.setdefault("GDK_BACKEND", "x11")
os.environ.setdefault("NO_AT_BRIDGE", "1")

import gi  # noqa: E402

gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

WIDTH, HEIGHT = 400, 300
# Places inside the window: x, y, width, height.
LAYOUT = {
    "entry": (10, 10, 380, 30),
    "scroll": (10, 50, 180, 150),
    "button": (10, 210, 180, 40),
    "drag": (200, 50, 190, 240),
}
PRESS_TYPES = {
    Gdk.EventType.BUTTON_PRESS: "BUTTON_PRESS",
    Gdk.EventType._2BUTTON_PRESS: "2BUTTON_PRESS",
    Gdk.EventType._3BUTTON_PRESS: "3BUTTON_PRESS",
}
DIRECTIONS = {
    Gdk.ScrollDirection.UP: "up",
    Gdk.ScrollDirection.DOWN: "down",
    Gdk.ScrollDirection.LEFT: "left",
    Gdk.ScrollDirection.RIGHT: "right",
    Gdk.ScrollDirection.SMOOTH: "smooth",
}


def log(**fields):
    sys.stdout.write(json.dumps(fields, sort_keys=True) + "\n")
    sys.stdout.flush()


class Receiver:
    def __init__(self, x, y):
        self.origin = (x, y)
        self.window = Gtk.Window(type=Gtk.WindowType.TOPLEVEL, title="Virelo receiver")
        self.window.set_decorated(False)
        self.window.set_resizable(False)
        self.window.set_size_request(WIDTH, HEIGHT)
        self.window.move(x, y)
        self.window.connect("destroy", Gtk.main_quit)
        self.window.connect(
            "key-press-event",
            lambda w, e: log(event="key", keysym=e.keyval) or False)
        self.window.connect(
            "key-release-event",
            lambda w, e: log(event="key-release", released=e.keyval) or False)
        fixed = Gtk.Fixed()
        self.window.add(fixed)
        self.widgets = {
            "entry": self.make_entry(),
            "button": self.make_button(),
            "scroll": self.make_scroll(),
            "drag": self.make_drag(),
        }
        for name, widget in self.widgets.items():
            left, top, width, height = LAYOUT[name]
            widget.set_size_request(width, height)
            fixed.put(widget, left, top)
        self.dragging = False
        self.window.show_all()
        self.widgets["entry"].grab_focus()
        GLib.timeout_add(20, self.await_focus)

    def make_entry(self):
        entry = Gtk.Entry()
        entry.connect("changed", lambda e: log(event="text", text=e.get_text()))
        return entry

    def make_button(self):
        button = Gtk.Button(label="Press me")
        button.set_can_focus(False)
        button.connect("clicked", lambda b: log(event="clicked"))
        button.connect("button-press-event", self.on_press)
        button.connect("enter-notify-event", self.on_enter)
        return button

    # Crossings, unlike motion, arrive at once even where the compositor draws no frames (a
    # headless one), for which GTK holds motion back.
    def on_enter(self, widget, event):
        log(event="enter", widget="button", x=int(event.x), y=int(event.y))
        return False

    def on_press(self, widget, event):
        log(event="press", widget="button", button=event.button,
            type=PRESS_TYPES.get(event.type, str(event.type)))
        return False

    def make_scroll(self):
        area = Gtk.ScrolledWindow()
        area.set_policy(Gtk.PolicyType.NEVER, Gtk.PolicyType.ALWAYS)
        lines = Gtk.Label(label="\n".join("line %d" % i for i in range(200)))
        area.add(lines)
        area.add_events(Gdk.EventMask.SCROLL_MASK)
        area.connect("scroll-event", self.on_scroll)
        return area

    def on_scroll(self, widget, event):
        smooth, _dx, dy = event.get_scroll_deltas()
        log(event="scroll", direction=DIRECTIONS.get(event.direction, "?"),
            dy=dy if smooth else 0)
        return False

    def make_drag(self):
        area = Gtk.EventBox()
        area.add(Gtk.Label(label="drag here"))
        area.add_events(Gdk.EventMask.BUTTON_PRESS_MASK | Gdk.EventMask.BUTTON_RELEASE_MASK
                        | Gdk.EventMask.BUTTON1_MOTION_MASK)
        area.connect("button-press-event", self.on_drag_press)
        area.connect("motion-notify-event", self.on_drag_motion)
        area.connect("button-release-event", self.on_drag_release)
        return area

    def on_drag_press(self, widget, event):
        if event.button == 1 and event.type == Gdk.EventType.BUTTON_PRESS:
            self.dragging = True
            log(event="drag_start", x=int(event.x_root), y=int(event.y_root))
        return True

    def on_drag_motion(self, widget, event):
        if self.dragging:
            log(event="drag_motion", x=int(event.x_root), y=int(event.y_root))
        return True

    def on_drag_release(self, widget, event):
        if self.dragging and event.button == 1:
            self.dragging = False
            log(event="drag_end", x=int(event.x_root), y=int(event.y_root))
        return True

    # Without a window manager nobody gives the window the focus: take it, then say ready.
    def await_focus(self):
        if not self.window.get_mapped():
            return True
        if not self.window.is_active():
            self.window.get_window().focus(Gdk.CURRENT_TIME)
            return True
        self.ready()
        return False

    def ready(self):
        _, wx, wy = self.window.get_window().get_origin()
        places = {}
        for name, widget in self.widgets.items():
            x, y = widget.translate_coordinates(self.window, 0, 0)
            alloc = widget.get_allocation()
            places[name] = {"x": wx + x, "y": wy + y,
                            "width": alloc.width, "height": alloc.height}
        log(event="ready", window={"x": wx, "y": wy, "width": WIDTH, "height": HEIGHT},
            **places)


def main(argv):
    x, y = 0, 0
    if len(argv) == 4 and argv[1] == "--at":
        x, y = int(argv[2]), int(argv[3])
    elif len(argv) != 1:
        sys.stderr.write("usage: gtk_receiver.py [--at X Y]\n")
        return 2
    Receiver(x, y)
    Gtk.main()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
