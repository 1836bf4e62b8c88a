"""Every error the package raises, in one hierarchy that mirrors the client library's.

``Error`` is the base of them all, so ``except virelo.Error`` catches any of them.
"""

from __future__ import annotations

from typing import NamedTuple

__all__ = [
    "Error", "ConnectionLost", "ProtocolError", "ServiceNotReady", "NoSession", "UntrustedService",
    "LaunchFailed", "ServiceRefused", "ServiceExitedSilently", "UnknownKeyName", "UnknownLayout",
    "UntypableCharacter", "UntypableText",
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
    """No session runs (or only one of $VIRELO_SOCKET and $VIRELO_TOKEN is set)."""


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
