#!/usr/bin/python3
"""A GTK 3 application with controls at known places, for the tests of the AT-SPI host.

Arguments: the screen position of its window, x and y, and optionally GTK's scale (GDK_SCALE),
by which every logical pixel becomes that many device pixels, and a number of buttons. Positions
printed and taken are device pixels (the X server's).

With a number of buttons n the window holds instead a scrolled grid of n buttons, 10 to a row,
labelled by their index, and "ready" gives the frame of button 25 (row 2, column 5). A line
"latency" on standard input is answered with "latency <median> <samples>": how late, in
milliseconds, the main loop ran its 10 ms timer since the last such line (its responsiveness).

The window has a client-side header bar with its window buttons and, in a fixed layout, a button
"Press" at (20, 20) of size 120 x 40, a disabled button "Off" at (20, 80) of the same size and a
check box "Tick" at (20, 140) (logical pixels). When it is mapped and its accessible tree is
registered it prints one line on standard output: "ready <pid> <x> <y> <w> <h>" with the screen
frame of the button. A line "block <ms>" on standard input blocks the main loop for that long. A
line "menu" pops up a menu attached to the button, as a menu button's is (a window of its own,
override-redirect), whose top-left corner lies on the button's and which covers it; once it is
shown the application prints "menu <x> <y> <w> <h>", its screen frame.

A line "churn <n>" (not with a grid) starts replacing widgets for as long as the application
runs, as a busy application does: every 10 ms the n buttons of a box at (160, 20), beside "Press",
are destroyed and n new ones take their place, each with an accessible of its own. The
application answers "churning".

A line "clicks" has the application report its buttons' clicks from then on: it answers
"clicks", and whenever a button's "clicked" signal fires it prints "clicked <label> <time>", the
time in seconds of CLOCK_MONOTONIC (Python's time.monotonic()), comparable with other processes'
readings of that clock.
"""
import os
import sys
import time

if len(sys.argv) > 3:
    os.environ["GDK_SCALE"] = sys.argv[3]

import gi  # noqa: E402

gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402


def report_menu(menu):
    window = menu.get_toplevel().get_window()
    x, y = window.get_origin()[1:]
    s = window.get_scale_factor()
    print("menu", x * s, y * s, window.get_width() * s, window.get_height() * s, flush=True)
    return False


def pop_up_menu(press):
    menu = Gtk.Menu()
    for label in ("First item", "Second item", "Third item", "Fourth item"):
        menu.append(Gtk.MenuItem(label=label))
    menu.attach_to_widget(press, None)
    menu.set_size_request(200, -1)
    menu.show_all()
    menu.popup_at_widget(press, Gdk.Gravity.NORTH_WEST, Gdk.Gravity.NORTH_WEST, None)
    GLib.timeout_add(500, report_menu, menu)
    return menu


def on_input(channel, _condition, press, churned, keep):
    line = channel.readline()
    if not line:
        Gtk.main_quit()
        return False
    words = line.split()
    if len(words) == 2 and words[0] == "block":
        time.sleep(int(words[1]) / 1000.0)
    elif words == ["menu"]:
        keep.append(pop_up_menu(press))
    elif words == ["latency"]:
        report_latency()
    elif words == ["clicks"]:
        CLICKS[0] = True
        print("clicks", flush=True)
    elif len(words) == 2 and words[0] == "churn" and churned is not None:
        churned.get_accessible()
        GLib.timeout_add(TICK_MS, churn, churned, int(words[1]))
        print("churning", flush=True)
    return True


def churn(box, count):
    for child in box.get_children():
        child.destroy()
    for i in range(count):
        button = Gtk.Button(label="Churn %d" % i)
        box.pack_start(button, False, False, 0)
        button.get_accessible()
    box.show_all()
    return True


TICK_MS = 10
LATENESS = []
# Whether clicks are reported ("clicks").
CLICKS = [False]


def on_clicked(button):
    if CLICKS[0]:
        print("clicked", button.get_label(), "%.6f" % time.monotonic(), flush=True)


def tick(last):
    now = time.monotonic()
    LATENESS.append(max(0.0, (now - last[0]) * 1000.0 - TICK_MS))
    last[0] = now
    return True


def report_latency():
    lateness = sorted(LATENESS)
    LATENESS.clear()
    median = lateness[len(lateness) // 2] if lateness else 0.0
    print("latency %.3f %d" % (median, len(lateness)), flush=True)


def report(window, button):
    alloc = button.get_allocation()
    origin = window.get_window().get_origin()
    x, y = button.translate_coordinates(window, 0, 0)
    s = window.get_scale_factor()
    print("ready", os.getpid(), (origin[1] + x) * s, (origin[2] + y) * s, alloc.width * s,
          alloc.height * s, flush=True)
    return False


def main():
    scale = int(sys.argv[3]) if len(sys.argv) > 3 else 1
    x, y = int(sys.argv[1]) // scale, int(sys.argv[2]) // scale
    window = Gtk.Window(title="Virelo fixture")
    header = Gtk.HeaderBar(title="Virelo fixture", show_close_button=True)
    header.set_decoration_layout("menu:minimize,maximize,close")
    window.set_titlebar(header)
    buttons = int(sys.argv[4]) if len(sys.argv) > 4 else 0
    if buttons > 0:
        grid = Gtk.Grid()
        for i in range(buttons):
            button = Gtk.Button(label=str(i))
            button.connect("clicked", on_clicked)
            grid.attach(button, i % 10, i // 10, 1, 1)
        press = grid.get_child_at(5, 2)
        churned = None
        scrolled = Gtk.ScrolledWindow()
        scrolled.add(grid)
        window.add(scrolled)
        window.set_default_size(800, 500)
    else:
        fixed = Gtk.Fixed()
        press = Gtk.Button(label="Press")
        press.set_size_request(120, 40)
        press.connect("clicked", on_clicked)
        fixed.put(press, 20, 20)
        off = Gtk.Button(label="Off")
        off.set_size_request(120, 40)
        off.set_sensitive(False)
        fixed.put(off, 20, 80)
        fixed.put(Gtk.CheckButton(label="Tick"), 20, 140)
        churned = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
        fixed.put(churned, 160, 20)
        window.add(fixed)
        window.set_default_size(300, 220)
    window.move(x, y)
    window.connect("destroy", Gtk.main_quit)
    window.show_all()
    GLib.io_add_watch(GLib.IOChannel.unix_new(0), GLib.IO_IN | GLib.IO_HUP, on_input, press, churned,
                      [])
    GLib.timeout_add(500, report, window, press)
    GLib.timeout_add(TICK_MS, tick, [time.monotonic()])
    Gtk.main()


main()
