"""The X desktop itself: its top-level windows (EWMH), the display's geometry, the pointer's
position, recording its input as a script, and checking scripts."""

from __future__ import annotations

import os
import threading

from . import _virelo
from ._controls import Match, _match
from ._layouts import LayoutChoice, layout as _layout
from ._virelo import Window
from .errors import PointerUnknown, RecordingUnavailable, WindowsUnavailable


def _display(display: str | None, error: type[Exception]) -> str:
    found = display or os.environ.get("DISPLAY", "")
    if not found:
        raise error("no X server: $DISPLAY is not set and no display was given")
    return found


def windows(display: str | None = None) -> list[Window]:
    """The window manager's top-level windows, oldest first (id, title, application, instance,
    pid, geometry, desktop, focused). ``display`` defaults to $DISPLAY. Raises
    WindowsUnavailable."""
    return _virelo.list_windows(_display(display, WindowsUnavailable))


def search_windows(name: Match | None = None, *, name_contains: str | None = None,
                   class_name: Match | None = None, pid: int | None = None,
                   display: str | None = None) -> list[Window]:
    """The windows whose title (``name``), WM_CLASS class or instance (``class_name``) and pid
    match, matched as controls' names are (str exactly, re.Pattern by an RE2 expression)."""
    return _virelo.search_windows(_display(display, WindowsUnavailable),
                                  _match(name, name_contains, "name"),
                                  _match(class_name, None, "class_name"), pid)


def active_window(display: str | None = None) -> Window | None:
    """The active window, or None when no window is."""
    return _virelo.active_window(_display(display, WindowsUnavailable))


def activate(window: Window | int, display: str | None = None, wait: float = 2.0) -> None:
    """Raises and focuses the window (a Window or its id) through the window manager, and waits
    until it is active. Raises NoSuchWindow, WindowRequestUnsupported, WindowNotActivated."""
    ident = window.id if isinstance(window, Window) else window
    _virelo.activate_window(_display(display, WindowsUnavailable), ident, wait)


def display_geometry(display: str | None = None) -> tuple[int, int, int, int]:
    """The whole screen as (x, y, width, height)."""
    return _virelo.display_geometry(_display(display, WindowsUnavailable))


def pointer_position(display: str | None = None) -> tuple[int, int]:
    """Where the pointer is on the X server (default $DISPLAY), as (x, y). Raises
    PointerUnknown."""
    return _virelo.pointer_at(_display(display, PointerUnknown))


def record(duration: float | None = None, *, stop: threading.Event | None = None,
           include_own: bool = False, display: str | None = None) -> str:
    """Records the keyboard, pointer, wheel and media input of the X session for ``duration``
    seconds or until ``stop`` is set (from another thread), and returns it as a script for
    ``run_script``. Input that the service posts itself is left out unless ``include_own``.
    Ctrl-C abandons the recording (KeyboardInterrupt); when the X server goes away, the script
    holds what was recorded until then. Raises RecordingUnavailable."""
    if duration is None and stop is None:
        raise ValueError("record() needs a duration or a stop event")
    script, _ = _virelo.record(_display(display, RecordingUnavailable), duration, include_own,
                               stop)
    return script


def check_script(text: str, layout: LayoutChoice = "active") -> int:
    """Reads and checks a whole script as ``virelo run --check`` does, with ``layout`` in effect
    until a "layout" line, and returns the number of its actions. Raises ScriptError naming the
    first wrong line."""
    return len(_virelo.parse_script(text, _layout(layout)))


__all__ = ["Window", "activate", "active_window", "check_script", "display_geometry",
           "pointer_position", "record", "search_windows", "windows"]
