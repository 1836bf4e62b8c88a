#!/usr/bin/python3
"""The peer of the controls' figures (bench/controls_bench.cpp): what a test script written with
pyatspi does to read a control's text or press it with its action.

  pyatspi_peer.py text ROLE NAME     prints the whole text of the first control of that role
                                     and name, in the trees of every application
  pyatspi_peer.py action ROLE NAME   has that control do its first action

Exit status 1 when no such control is found.
"""
import sys

import pyatspi


def matches(role, name):
    return lambda accessible: (accessible is not None and accessible.name == name
                               and accessible.getRoleName() == role)


def find(role, name):
    desktop = pyatspi.Registry.getDesktop(0)
    for application in desktop:
        if application is None:
            continue
        found = pyatspi.findDescendant(application, matches(role, name))
        if found is not None:
            return found
    return None


def main():
    verb, role, name = sys.argv[1:4]
    control = find(role, name)
    if control is None:
        sys.exit(1)
    if verb == "text":
        text = control.queryText()
        print(text.getText(0, text.characterCount))
    else:
        control.queryAction().doAction(0)
        print("pressed", name)


main()
