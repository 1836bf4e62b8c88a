#!/usr/bin/python3
"""A stand-in for a screen reader on the tests' accessible desktop: it listens to the object
events of every application (children added and removed, states and properties changed), as
screen readers do. Applications send those events on the accessibility bus only while some
client listens to them. It prints "listening" once its listeners are registered and runs until it
is stopped.
"""
import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def main():
    listener = Atspi.EventListener.new(lambda event: None)
    for kind in ("object:children-changed", "object:state-changed", "object:property-change"):
        listener.register(kind)
    print("listening", flush=True)
    Atspi.event_main()


main()
