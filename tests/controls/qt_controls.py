#!/usr/bin/python3
"""A Qt 5 application with named controls, for the tests of acting on controls by name.

Arguments: the screen position of its window, x and y, in the X server's pixels. The window,
without a frame, holds at fixed places: a button "OK" at (20, 20) and a button "Cancel" at
(160, 20), 120 x 40 each, and an entry named "Comment" (its accessible name) at (20, 80), 260 x 30.

Qt 5 (5.15) joins the accessibility bus on its own when, as it starts, the bus is switched on
(IsEnabled of org.a11y.Status, as the desktop's setting sets it) and already runs, as a desktop
session starts it at login (at-spi-bus-launcher --launch-immediately), which the tests' desktop
does too: QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 is not needed then. Where the bus is started only
when first asked for, an application started before it never registers its tree, and that
variable does not change it (Debian 12's Qt 5.15.8 and at-spi2-core).

Standard output, one line each:
  ready <pid>              once the window is shown and its accessible tree is registered
  clicked <label>          a button fired
  double-clicked <label>   a button was double-clicked
Standard input, one command a line:
  text <name>              answers "text <name>=<the entry's text>"
"""
import os
import sys

from PyQt5.QtCore import QSocketNotifier, Qt, QTimer
from PyQt5.QtWidgets import QApplication, QLineEdit, QPushButton, QWidget


def say(*words):
    print(*words, flush=True)


class Button(QPushButton):
    def __init__(self, label, parent, x, y):
        super().__init__(label, parent)
        self.setGeometry(x, y, 120, 40)
        self.clicked.connect(lambda: say("clicked", label))

    def mouseDoubleClickEvent(self, event):
        say("double-clicked", self.text())
        super().mouseDoubleClickEvent(event)


def main():
    app = QApplication(sys.argv[:1])
    window = QWidget(flags=Qt.FramelessWindowHint)
    window.setWindowTitle("Qt controls fixture")
    window.setGeometry(int(sys.argv[1]), int(sys.argv[2]), 300, 130)
    Button("OK", window, 20, 20)
    Button("Cancel", window, 160, 20)
    comment = QLineEdit(window)
    comment.setAccessibleName("Comment")
    comment.setGeometry(20, 80, 260, 30)
    entries = {"Comment": comment}

    def command():
        line = sys.stdin.readline()
        if not line:
            app.quit()
            return
        verb, _, rest = line.strip().partition(" ")
        if verb == "text":
            say("text %s=%s" % (rest, entries[rest].text()))

    notifier = QSocketNotifier(0, QSocketNotifier.Read)
    notifier.activated.connect(command)
    window.show()
    # Qt registers the application on the accessibility bus from its event loop, once it runs.
    QTimer.singleShot(0, lambda: say("ready", os.getpid()))
    app.exec_()


main()
