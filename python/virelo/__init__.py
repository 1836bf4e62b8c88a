"""Virelo from Python: keyboard, pointer and media-key input through the Virelo service.

>>> import virelo
>>> with virelo.connect() as v:          # the user's session ("virelo session")
...     v.type("Grüße!", layout="de")
...     v.key("ctrl+s")
...     v.click()

Built on Virelo's C++ client library (one implementation of the protocol, the layouts and the
launcher). Every error is a ``virelo.Error``; see ``virelo.errors``.
"""

from ._connection import Connection, Motion, connect
from ._launcher import Launcher
from ._layouts import Keystroke, Layout, LayoutChoice, active_layout, keystrokes, layouts
from ._virelo import Status
from .errors import (ConnectionLost, Error, LaunchFailed, NoSession, ProtocolError,
                     ServiceExitedSilently, ServiceNotReady, ServiceRefused, UnknownKeyName,
                     UnknownLayout, UntrustedService, UntypableCharacter, UntypableText)

__all__ = [
    "Connection", "Motion", "connect", "Launcher", "Keystroke", "Layout", "LayoutChoice",
    "active_layout", "keystrokes", "layouts", "Status", "Error", "ConnectionLost",
    "ProtocolError", "ServiceNotReady", "NoSession", "UntrustedService", "LaunchFailed",
    "ServiceRefused",
    "ServiceExitedSilently", "UnknownKeyName", "UnknownLayout", "UntypableCharacter",
    "UntypableText",
]
