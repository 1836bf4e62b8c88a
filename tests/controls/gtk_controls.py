#!/usr/bin/python3
"""A GTK 3 application with named controls, for the tests of acting on controls by name.

Arguments: the screen position of its window, x and y, in the X server's pixels, and optionally
GTK's scale (GDK_SCALE). The window, undecorated, holds at fixed places (logical pixels):

  a button "OK"            at ( 20,  20), 120 x 40
  a button "Covered"       at (160,  20), 120 x 40
  two buttons "Apply"      at ( 20,  80) and (160, 80), 120 x 40
  a disabled button "Off"  at ( 20, 140), 120 x 40
  entries named "First name" and "Last name" (their accessible names) at (20, 200) and (20, 250),
  260 x 30
  a menu bar at (20, 300) with a menu "File" whose items are "Open" and "Close", in a pop-up
  window of its own below the bar once the menu is open
  a spin button "Count" (its accessible name) at (20, 350), 120 x 30, from 0 to 10, showing 3
  three check boxes "Pick", 120 x 30 each: one in a box named "Right group" at (160, 404), then
  two in a box named "Left group" at (20, 400) and (20, 430); in the tree in that order

Standard output, one line each:
  ready <pid>              once the window is mapped (its accessible tree is then registered)
  clicked <label>          a button fired
  activated <label>        a menu item was chosen
  double-clicked <label>   a button was pressed twice in a row, as a double click
Standard input, one command a line:
  appear <ms>              a button "Later" appears after that many milliseconds
  cover                    a window of its own is put over the button "Covered"; answers "covered"
                           once it is mapped
  widen                    a button "Far" is put at (1000, 20), which widens the window beyond
                           the right edge of a screen 1024 pixels wide; answers "widened" once the
                           window has its new width
  text <name>              answers "text <name>=<the entry's text>"
  fill <ms> <name>=<text>  sets the entry's text after that many milliseconds; answers "filled"
                           when it has
  sync                     answers "synced" once every event that the X server had sent by then
                           has been handled
"""
import os
import sys

if len(sys.argv) > 3:
    os.environ["GDK_SCALE"] = sys.argv[3]

import gi  # noqa: E402

gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

SCALE = int(sys.argv[3]) if len(sys.argv) > 3 else 1
ORIGIN = (int(sys.argv[1]) // SCALE, int(sys.argv[2]) // SCALE)


def say(*words):
    print(*words, flush=True)


def button(fixed, label, x, y):
    widget = Gtk.Button(label=label)
    widget.set_size_request(120, 40)
    widget.connect("clicked", lambda _: say("clicked", label))

    def pressed(_widget, event):
        if event.type == Gdk.EventType._2BUTTON_PRESS:
            say("double-clicked", label)
        return False

    widget.connect("button-press-event", pressed)
    fixed.put(widget, x, y)
    return widget


def entry(fixed, name, x, y):
    widget = Gtk.Entry()
    widget.set_size_request(260, 30)
    widget.get_accessible().set_name(name)
    fixed.put(widget, x, y)
    return widget


def spin_button(fixed, name, x, y):
    widget = Gtk.SpinButton.new_with_range(0, 10, 1)
    widget.set_value(3)
    widget.set_size_request(120, 30)
    widget.get_accessible().set_name(name)
    fixed.put(widget, x, y)


def group(fixed, name, x, y, count):
    box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=0)
    box.get_accessible().set_name(name)
    for _ in range(count):
        check = Gtk.CheckButton(label="Pick")
        check.set_size_request(120, 30)
        box.pack_start(check, False, False, 0)
    fixed.put(box, x, y)


def fill_later(entries, rest):
    delay, _, assignment = rest.partition(" ")
    name, _, text = assignment.partition("=")

    def fill():
        entries[name].set_text(text)
        say("filled")
        return False

    GLib.timeout_add(int(delay), fill)


def menu_bar(fixed, x, y):
    bar = Gtk.MenuBar()
    file_item = Gtk.MenuItem(label="File")
    menu = Gtk.Menu()
    for label in ("Open", "Close"):
        item = Gtk.MenuItem(label=label)
        item.connect("activate", lambda _, label=label: say("activated", label))
        menu.append(item)
    file_item.set_submenu(menu)
    bar.append(file_item)
    fixed.put(bar, x, y)


def once_idle(_window, _event, line):
    """Says the line once the main loop is idle again, after the window has been drawn."""
    GLib.idle_add(lambda: say(line))
    return False


def cover(over, keep):
    """A small undecorated window of its own over the middle of the button `over`."""
    window = Gtk.Window(title="Cover")
    window.set_decorated(False)
    window.add(Gtk.Label(label="Cover"))
    window.set_default_size(60, 30)
    x, y = over.get_toplevel().get_window().get_origin()[1:]
    alloc = over.get_allocation()
    window.move(x + alloc.x + alloc.width // 2 - 30, y + alloc.y + alloc.height // 2 - 15)
    window.connect("map-event", once_idle, "covered")
    window.show_all()
    keep.append(window)


def widen(fixed):
    """The button "Far" at (1000, 20): the window grows to hold it."""
    far = button(fixed, "Far", 1000, 20)
    said = []

    def allocated(widget, allocation):
        wide = widget.get_toplevel().get_allocated_width() >= 1120
        if not said and allocation.x >= 1000 and wide:
            said.append(True)
            GLib.idle_add(lambda: say("widened"))

    far.connect("size-allocate", allocated)
    far.show()


def main():
    window = Gtk.Window(title="Controls fixture")
    window.set_decorated(False)
    fixed = Gtk.Fixed()
    button(fixed, "OK", 20, 20)
    covered = button(fixed, "Covered", 160, 20)
    button(fixed, "Apply", 20, 80)
    button(fixed, "Apply", 160, 80)
    button(fixed, "Off", 20, 140).set_sensitive(False)
    entries = {name: entry(fixed, name, 20, y) for name, y in (("First name", 200),
                                                                ("Last name", 250))}
    menu_bar(fixed, 20, 300)
    spin_button(fixed, "Count", 20, 350)
    group(fixed, "Right group", 160, 404, 1)
    group(fixed, "Left group", 20, 400, 2)
    window.add(fixed)
    window.set_default_size(300, 470)
    window.move(*ORIGIN)
    window.connect("destroy", Gtk.main_quit)
    window.connect("map-event", once_idle, "ready %d" % os.getpid())
    keep = []

    def appear():
        button(fixed, "Later", 160, 140).show()
        return False

    def command(channel, _condition):
        line = channel.readline()
        if not line:
            Gtk.main_quit()
            return False
        verb, _, rest = line.strip().partition(" ")
        if verb == "appear":
            GLib.timeout_add(int(rest), appear)
        elif verb == "cover":
            cover(covered, keep)
        elif verb == "widen":
            widen(fixed)
        elif verb == "fill":
            fill_later(entries, rest)
        elif verb == "text":
            say("text %s=%s" % (rest, entries[rest].get_text()))
        elif verb == "sync":
            Gdk.Display.get_default().sync()
            while Gtk.events_pending():
                Gtk.main_iteration()
            say("synced")
        return True

    GLib.io_add_watch(GLib.IOChannel.unix_new(0), GLib.IO_IN | GLib.IO_HUP, command)
    window.show_all()
    Gtk.main()


main()
