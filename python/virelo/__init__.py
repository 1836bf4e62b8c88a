"""Virelo from Python: keyboard, pointer and media-key input through the Virelo service, the
desktop's controls and windows, and scripts.

>>> import virelo
>>> with virelo.connect() as v:          # the user's session ("virelo session")
...     v.type("Grüße ☃", layout="de")
...     v.key("ctrl+s")
...     v.click_on("push button", "OK")
...     virelo.wait_for("label", text="Saved")

Built on Virelo's C++ client library, the one the command line uses (one implementation of the
protocol, the layouts, the launcher, controls, windows and scripts). Every error is a
``virelo.Error``; see ``virelo.errors``.
"""

from ._connection import Clicked, Connection, Motion, connect
from ._controls import (Control, ControlValue, Match, control, find, get_text, query, role_names,
                        wait_for)
from ._desktop import (Window, activate, active_window, check_script, display_geometry,
                       pointer_position, record, search_windows, windows)
from ._launcher import Launcher
from ._layouts import Keystroke, Layout, LayoutChoice, active_layout, keystrokes, layouts
from ._virelo import Status
from .errors import (AmbiguousControl, ConnectionLost, ControlNotActionable, ControlsUnavailable,
                     Error, LaunchFailed, MalformedExpression, NoSession, NoSuchControl,
                     NoSuchWindow, PointerNotPlaced, PointerUnknown, ProtocolError,
                     RecordingUnavailable, ScriptError, ServiceExitedSilently, ServiceNotReady,
                     ServiceRefused, UnknownKeyName, UnknownLayout, UnknownRole,
                     UntrustedService, UntypableCharacter, UntypableText, WaitTimedOut,
                     WindowNotActivated, WindowRequestUnsupported, WindowsUnavailable,
                     XServerSilent)

__all__ = [
    "Connection", "Motion", "Clicked", "connect", "Launcher", "Keystroke", "Layout",
    "LayoutChoice", "active_layout", "keystrokes", "layouts", "Status",
    "Control", "ControlValue", "Match", "control", "find", "get_text", "query", "role_names",
    "wait_for",
    "Window", "activate", "active_window", "check_script", "display_geometry", "pointer_position",
    "record", "search_windows", "windows",
    "Error", "ConnectionLost", "ProtocolError", "ServiceNotReady", "NoSession",
    "UntrustedService", "LaunchFailed", "ServiceRefused", "ServiceExitedSilently",
    "UnknownKeyName", "UnknownLayout", "UntypableCharacter", "UntypableText", "PointerUnknown",
    "XServerSilent", "PointerNotPlaced", "WindowsUnavailable", "NoSuchWindow",
    "WindowRequestUnsupported", "WindowNotActivated", "ControlsUnavailable", "UnknownRole",
    "MalformedExpression", "NoSuchControl", "AmbiguousControl", "ControlNotActionable",
    "WaitTimedOut", "ScriptError", "RecordingUnavailable",
]
