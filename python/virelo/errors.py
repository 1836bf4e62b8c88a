"""Every error the package raises, in one hierarchy that mirrors the client library's.

``Error`` is the base of them all, so ``except virelo.Error`` catches any of them.
"""

from __future__ import annotations

from typing import NamedTuple

__all__ = [
    "Error", "ConnectionLost", "ProtocolError", "ServiceNotReady", "NoSession", "UntrustedService",
    "LaunchFailed", "ServiceRefused", "ServiceExitedSilently", "UnknownKeyName", "UnknownLayout",
    "UntypableCharacter", "UntypableText", "PointerUnknown", "XServerSilent", "PointerNotPlaced",
    "WindowsUnavailable", "NoSuchWindow", "WindowRequestUnsupported", "WindowNotActivated",
    "ControlsUnavailable", "UnknownRole", "MalformedExpression", "NoSuchControl",
    "AmbiguousControl", "ControlNotActionable", "WaitTimedOut", "ScriptError",
    "RecordingUnavailable",
]


class Error(Exception):
    """Any failure of Virelo's client: the message says what happened."""


class ConnectionLost(Error):
    """No connection, the connection broke, or no reply came within the reply timeout.

    The service released everything this connection held."""


class ProtocolError(Error):
    """The service rejected a command ("virtual_hid_protocol_error") and closed the connection."""

    def __init__(self, message: str, command: str = "", reply: str = "") -> None:
        super().__init__(message)
        self.command = command  #: the rejected command's name, e.g. "keyboard"
        self.reply = reply  #: the reply line as the service sent it


class ServiceNotReady(Error):
    """The service runs but cannot deliver input now; ``code`` says why."""

    def __init__(self, message: str, code: str = "") -> None:
        super().__init__(message)
        self.code = code  #: e.g. "virtual_hid_not_ready"


class NoSession(Error):
    """No session runs, or only half of an endpoint is named (a socket without a token, from
    connect() or $VIRELO_SOCKET, or the reverse)."""


class UntrustedService(Error):
    """The session's files or the service behind the socket may be another user's (the message says
    which file or socket and why); nothing was sent to it."""


class LaunchFailed(Error):
    """The launcher could not start the service or did not see it become ready."""


class ServiceRefused(Error):
    """The service refused to start; ``code`` is its error code."""

    def __init__(self, message: str, code: str = "", exit_status: int = -1) -> None:
        super().__init__(message)
        self.code = code
        self.exit_status = exit_status


class ServiceExitedSilently(Error):
    """The service exited without a status event (a malformed command line, e.g. a wrong backend)."""

    def __init__(self, message: str, exit_status: int = -1) -> None:
        super().__init__(message)
        self.exit_status = exit_status


class UnknownKeyName(Error, ValueError):
    """A key, modifier, media key or button name that is not known."""

    def __init__(self, message: str, name: str = "") -> None:
        super().__init__(message)
        self.name = name


class UnknownLayout(Error, ValueError):
    """A keyboard layout that is malformed or not in the XKB data."""

    def __init__(self, message: str, layout: str = "") -> None:
        super().__init__(message)
        self.layout = layout


class UntypableCharacter(NamedTuple):
    """A character of a text that the layout cannot type, and its index in the text."""

    character: str
    offset: int


class UntypableText(Error, ValueError):
    """The layout cannot type some characters of the text; nothing was sent."""

    def __init__(self, message: str, characters: list[tuple[str, int]] | None = None) -> None:
        super().__init__(message)
        #: every character that cannot be typed, in the order of the text
        self.characters = [UntypableCharacter(c, i) for c, i in (characters or [])]

    @property
    def character(self) -> str:
        """The first character that cannot be typed."""
        return self.characters[0].character

    @property
    def offset(self) -> int:
        """The index of the first character that cannot be typed."""
        return self.characters[0].offset


class PointerUnknown(Error):
    """Where the pointer is cannot be known: no X server answers, or a Wayland compositor moves
    it and tells no client. Nothing was sent."""


class XServerSilent(Error):
    """An X server accepted the connection but did not answer in time (stopped, or grabbed)."""


class PointerNotPlaced(Error):
    """The pointer did not land on the position asked for; it was left where it stopped."""

    def __init__(self, message: str, target: tuple[int, int] = (0, 0),
                 reached: tuple[int, int] = (0, 0)) -> None:
        super().__init__(message)
        self.target = target  #: where it was to go
        self.reached = reached  #: where it stopped


class WindowsUnavailable(Error):
    """The windows cannot be read: no X server answers, or its window manager publishes no list."""


class NoSuchWindow(Error, LookupError):
    """No window of the window manager's list has that id."""


class WindowRequestUnsupported(Error):
    """The window manager offers no such request (e.g. activating a window); nothing was sent."""


class WindowNotActivated(Error):
    """The window manager was asked to activate the window but did not in time."""


class ControlsUnavailable(Error):
    """The desktop's controls cannot be read here; the message says what is missing (and the
    command that switches the accessibility bus on, when a setting switched it off)."""


class UnknownRole(Error, ValueError):
    """A role name that AT-SPI does not know (``virelo.role_names()`` lists those it knows)."""


class MalformedExpression(Error, ValueError):
    """A regular expression for names or texts that RE2 does not take."""


class NoSuchControl(Error, LookupError):
    """No control matches (the message names the applications that did not answer), or the
    control has no text to read."""


class AmbiguousControl(Error, LookupError):
    """Several controls match and none was chosen (``first=True`` or ``nth=N`` choose); nothing
    was sent."""

    def __init__(self, message: str, candidates: list[str] | None = None) -> None:
        super().__init__(message)
        #: one line for each control that matches, front-most first
        self.candidates = list(candidates or [])


class ControlNotActionable(Error):
    """The control cannot be acted on: disabled, not visible, off the screen, covered, it did not
    take the focus, or it has not the action asked for."""


class WaitTimedOut(Error, TimeoutError):
    """``wait_for`` saw no change to what it waits for before its timeout."""


class ScriptError(Error):
    """A line of a script is wrong (nothing ran) or failed (what it held was released)."""

    def __init__(self, message: str, line: int = 0) -> None:
        super().__init__(message)
        self.line = line  #: the line's number, from 1


class RecordingUnavailable(Error):
    """The X session's input cannot be recorded: no X server answers, or it lacks XInput 2."""
