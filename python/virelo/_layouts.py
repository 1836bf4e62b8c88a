"""Keyboard layouts: choosing one by name, the active one, and the keystrokes of a text."""

from __future__ import annotations

from typing import NamedTuple, Union

from . import _virelo
from ._virelo import Layout

#: A layout as the functions take it: "active" (the X server's, else $XKB_DEFAULT_*, else "us"),
#: a name such as "de" or "fr(azerty)", or a Layout.
LayoutChoice = Union[str, Layout]


class Keystroke(NamedTuple):
    """One key of a typed text: its name, the modifiers held with it ("" or e.g. "shift",
    "right-alt" for AltGr) and its keyboard usage."""

    key: str
    modifiers: str
    usage: int


def layout(choice: LayoutChoice = "active") -> Layout:
    """The compiled layout of a choice; raises UnknownLayout for a name the XKB data lacks."""
    if isinstance(choice, Layout):
        return choice
    if choice == "active":
        return Layout.active()
    if choice == "us":
        return Layout.us()
    return Layout.named(choice)


def active_layout() -> Layout:
    """The layout the user types with now: the X server's ($DISPLAY), else the one that
    $XKB_DEFAULT_LAYOUT and its siblings name, else "us". Read anew on every call."""
    return Layout.active()


def layouts() -> dict[str, str]:
    """Every layout and variant the XKB registry knows ("de", "fr(azerty)", ...) with its
    description."""
    return dict(_virelo.layout_names())


def keystrokes(text: str, layout_choice: LayoutChoice = "active") -> list[Keystroke]:
    """The keys that typing the text with the layout presses, in order, without sending
    anything. Raises UntypableText naming every character the layout cannot type."""
    return [
        Keystroke(_virelo.key_name(usage), _virelo.modifier_names(modifiers), usage)
        for usage, modifiers in layout(layout_choice).keystrokes(text)
    ]
