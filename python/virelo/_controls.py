"""Controls found by role and name in the applications' accessibility trees (AT-SPI), their text
and value, and waiting for them. Acting on them with input is the connection's (click_on, ...).

A name, a text or a container is matched exactly when given as a ``str``, as an RE2 expression
over the whole text when given as a compiled ``re.Pattern`` (``re.compile("(?i)save.*")``: its
pattern is handed to RE2, whose syntax is Perl's without back-references or look-around), and as
a part with ``name_contains=`` / ``text_contains=``.
"""

from __future__ import annotations

import re
import threading
from typing import Union

from . import _virelo
from ._virelo import Control, ControlQuery, ControlValue, Desktop, NameMatch

#: How a name, text or container is matched: exactly (str) or by an expression (re.Pattern).
Match = Union[str, "re.Pattern[str]"]

_shared: Desktop | None = None
_shared_lock = threading.Lock()


def desktop() -> Desktop:
    """The process's desktop of controls ($DISPLAY, the accessibility bus of
    $DBUS_SESSION_BUS_ADDRESS), opened on first use and kept. Raises ControlsUnavailable."""
    global _shared
    with _shared_lock:
        if _shared is None:
            _shared = Desktop()
        return _shared


def _match(exact: Match | None, contains: str | None, what: str) -> NameMatch | None:
    if exact is not None and contains is not None:
        raise ValueError(f"{what} and {what}_contains exclude each other")
    if contains is not None:
        return NameMatch.containing(contains)
    if exact is None:
        return None
    if isinstance(exact, re.Pattern):
        return NameMatch.matching(exact.pattern)
    return NameMatch.exactly(exact)


def query(role: str | None = None, name: Match | None = None, *, name_contains: str | None = None,
          app: str | None = None, container: Match | None = None, text: Match | None = None,
          text_contains: str | None = None, nth: int | None = None, all: bool = False,
          editable: bool = False) -> ControlQuery:
    """The query of a selection: ``role`` as AT-SPI names it ("push button", "text",
    "check box"; case and "-" or "_" for blanks do not matter), ``name``, ``app`` (the
    application's or its program's name), ``container`` (the name of an enclosing panel, group or
    window), ``text`` (the control's whole text), ``nth`` (from 1, in reading order: windows front
    to back, then top to bottom and left to right), ``all`` (also controls that are hidden,
    covered or off the screen), ``editable`` (text fields only)."""
    if nth is not None and nth < 1:
        raise ValueError("nth counts from 1")
    q = ControlQuery()
    q.role = role
    q.name = _match(name, name_contains, "name")
    q.application = app
    q.container = _match(container, None, "container")
    q.text = _match(text, text_contains, "text")
    q.nth = nth
    q.all = all
    q.editable = editable
    return q


def find(role: str | None = None, name: Match | None = None, **selection: object) -> list[Control]:
    """The controls that match, in reading order; by default only those visible, uncovered and
    on the screen (``all=True`` for every one). Applications that do not answer in time are
    skipped. The selection is checked before the desktop is opened. Raises ControlsUnavailable,
    UnknownRole, MalformedExpression."""
    q = query(role, name, **selection)  # type: ignore[arg-type]
    controls, _ = desktop().find(q)
    return controls


def control(role: str | None = None, name: Match | None = None, *, first: bool = False,
            **selection: object) -> Control:
    """The one control that matches, whatever its state. Raises NoSuchControl, and
    AmbiguousControl when several match unless ``first`` takes the first in reading order."""
    q = query(role, name, **selection)  # type: ignore[arg-type]
    return desktop().one_control(q, first)


def get_text(role: str | None = None, name: Match | None = None, *, first: bool = False,
             **selection: object) -> str:
    """The whole text of the one control that matches (an entry, a label, a text view). Raises
    as ``control()``, and NoSuchControl when it has no text."""
    q = query(role, name, **selection)  # type: ignore[arg-type]
    return desktop().read_text(q, first)


def wait_for(role: str | None = None, name: Match | None = None, *, gone: bool = False,
             timeout: float = 10.0, interval: float = 0.1,
             **selection: object) -> Control | None:
    """Waits until a control matches (give ``text=`` to wait for what it shows) and returns the
    first; with ``gone``, until none does and every application answered, and returns None.
    Raises WaitTimedOut after ``timeout`` seconds; Ctrl-C ends the wait (KeyboardInterrupt)."""
    q = query(role, name, **selection)  # type: ignore[arg-type]
    return desktop().wait_for(q, gone, timeout, interval)


def role_names() -> list[str]:
    """Every role name AT-SPI knows."""
    return desktop().role_names()


__all__ = ["Control", "ControlValue", "Match", "control", "desktop", "find", "get_text", "query",
           "role_names", "wait_for"]
