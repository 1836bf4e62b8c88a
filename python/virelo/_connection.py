"""A connection to the service: typing, keys, the pointer, media keys and continuous motion."""

from __future__ import annotations

from collections.abc import Iterator
from contextlib import contextmanager
from types import TracebackType
from typing import NamedTuple, Union

from . import _controls, _virelo
from ._controls import Match
from ._layouts import LayoutChoice, layout as _layout
from ._virelo import Control, Status
from .errors import ConnectionLost, Error, UnknownKeyName


def _button(name: str) -> int:
    bit = _virelo.button_bit(name)
    if bit is None:
        raise UnknownKeyName(f'unknown button name "{name}"', name)
    return bit


class Clicked(NamedTuple):
    """What ``click_on`` pressed: the control, how ("pointer" or "action") and the action's name
    ("" for the pointer)."""

    control: Control
    by: str
    action: str


class Motion:
    """Continuous pointer motion: samples of (dx, dy) per 10 ms sent from a helper thread until
    ``stop()`` or the end of the ``with`` block. The connection may press buttons meanwhile."""

    def __init__(self, client: _virelo.Client, dx: int, dy: int, period: float) -> None:
        self._stream = _virelo.MotionStream(client, period)
        self._start = (dx, dy)

    def __enter__(self) -> Motion:
        self._stream.start(*self._start)
        return self

    def __exit__(
        self,
        kind: type[BaseException] | None,
        error: BaseException | None,
        trace: TracebackType | None,
    ) -> None:
        self.stop()

    def set_velocity(self, dx: int, dy: int) -> None:
        """Changes the displacement per 10 ms of the following samples ([-127, 127] each)."""
        self._stream.set_velocity(dx, dy)

    def stop(self) -> None:
        """Stops the samples and the service's motion; raises the error that ended them early."""
        self._stream.stop()

    @property
    def samples_sent(self) -> int:
        return self._stream.samples_sent


class Connection:
    """A connection to the service that said hello. Every command waits for its reply (other
    Python threads run meanwhile) and raises a ``virelo.Error`` when it fails. Use it in a
    ``with`` block: leaving it releases everything the connection holds, also on an exception.

    >>> with virelo.connect() as v:
    ...     v.type("Hello, world!\\n")
    ...     v.key("ctrl+s")
    """

    def __init__(self, client: _virelo.Client, layout: LayoutChoice = "active") -> None:
        self.__client: _virelo.Client | None = client
        self._layout = layout
        # Keysyms held down through borrowed keys, by keysym.
        self._borrowed: dict[int, _virelo.BorrowedKeyHold] = {}

    # The connection's life.

    @property
    def _client(self) -> _virelo.Client:
        # Once closed, never again: the library's client would find the session and say hello
        # anew, and a late call would quietly hold input on a connection its owner has left.
        if self.__client is None:
            raise ConnectionLost("the connection is closed; virelo.connect() makes a new one")
        return self.__client

    def __enter__(self) -> Connection:
        return self

    def __exit__(
        self,
        kind: type[BaseException] | None,
        error: BaseException | None,
        trace: TracebackType | None,
    ) -> None:
        self.close()

    def close(self) -> None:
        """Releases everything held ("reset") and closes the connection. Idempotent; every
        later call but ``close()`` raises ConnectionLost."""
        if self.__client is None:
            return
        self._give_back()
        client, self.__client = self.__client, None
        try:
            if client.connected:
                client.reset()
        except Error:
            pass  # the connection is gone, and with it everything it held
        finally:
            client.close()

    def release_all(self) -> None:
        """Releases every key, button and media key held, and stops continuous motion."""
        self._give_back()
        self._client.reset()

    def _give_back(self) -> None:
        # Borrowed keys held down: released and given back to the X server.
        held, self._borrowed = self._borrowed, {}
        for borrowed in held.values():
            try:
                borrowed.release()
            except Error:
                pass  # the record keeps the key for the next borrowing to give back

    def status(self) -> Status:
        """The service's status: ``ready``, and ``error`` when it cannot deliver input now."""
        return self._client.status()

    @property
    def hello(self) -> Status:
        """The service's reply to this connection's hello (with ``backend`` and ``protocol``)."""
        return self._client.hello_status()

    @property
    def held(self) -> dict[str, object]:
        """What this connection holds: modifiers, keys, fn, media and buttons."""
        return self._client.held()

    # The keyboard.

    def type(self, text: str, layout: LayoutChoice | None = None, delay: float = 0.0,
             hold: float = 0.0) -> None:
        """Types the text with the layout (default: the connection's, "active"), pausing
        ``delay`` seconds after each key and holding each ``hold`` seconds. Characters that the
        layout lacks ("☃", "日本") are typed through keys of the X server borrowed for them and
        given back after, as ``virelo type`` does. Raises UntypableText before anything is sent
        for characters that even a borrowed key cannot type (no X server, control characters)."""
        self._client.type_text(text, _layout(layout or self._layout), hold, delay)

    def _any_chord(self, text: str,
                   layout: LayoutChoice | None) -> Union[_virelo.Chord, _virelo.KeysymChord]:
        chosen = _layout(layout or self._layout)
        return _virelo.keysym_chord(text, chosen) or _virelo.parse_chord(text, chosen)

    def key(self, *chords: str, layout: LayoutChoice | None = None) -> None:
        """Presses and releases each chord in turn: "ctrl+c", "return", "Page_Up", "volume-up".
        A keysym that no key of the layout produces ("XF86Calculator", "ctrl+Hyper_L") is
        pressed through a key of the X server borrowed for it and given back after. Every chord
        is checked before the first is pressed."""
        parsed = [self._any_chord(chord, layout) for chord in chords]
        for chord in parsed:
            if isinstance(chord, _virelo.KeysymChord):
                self._client.press_keysym(chord)
            else:
                self._client.tap_chord(chord)

    def _press(self, chord: Union[_virelo.Chord, _virelo.KeysymChord]) -> None:
        if not isinstance(chord, _virelo.KeysymChord):
            self._client.press_chord(chord)
        elif chord.keysym not in self._borrowed:
            self._borrowed[chord.keysym] = _virelo.BorrowedKeyHold(self._client, chord)

    def _release(self, chord: Union[_virelo.Chord, _virelo.KeysymChord]) -> None:
        if not isinstance(chord, _virelo.KeysymChord):
            self._client.release_chord(chord)
        elif (borrowed := self._borrowed.pop(chord.keysym, None)) is not None:
            borrowed.release()

    def key_down(self, chord: str, layout: LayoutChoice | None = None) -> None:
        """Presses the chord's modifiers and keys and keeps them held. A keysym that no key of
        the layout produces ("Hyper_L") is held on a key of the X server borrowed for it until
        ``key_up``; meanwhile other borrowing in this process (typing characters the layout
        lacks, another such keysym) raises Error rather than wait for it. Raises Error where no
        key can be borrowed (no X server, a compositor's host)."""
        self._press(self._any_chord(chord, layout))

    def key_up(self, chord: str, layout: LayoutChoice | None = None) -> None:
        """Releases what ``key_down`` pressed for the chord (and gives a borrowed key back)."""
        self._release(self._any_chord(chord, layout))

    @contextmanager
    def hold(self, *chords: str, button: str | None = None,
             layout: LayoutChoice | None = None) -> Iterator[Connection]:
        """Holds the chords (and the pointer button) for the ``with`` block and releases them
        at its end, also on an exception: ``with v.hold("shift"): v.type("abc")``,
        ``with v.hold(button="left"): v.move(200, 0)``. Keysyms that the layout lacks are held
        as ``key_down`` holds them."""
        parsed = [self._any_chord(chord, layout) for chord in chords]
        bit = _button(button) if button is not None else 0
        pressed: list[Union[_virelo.Chord, _virelo.KeysymChord]] = []
        try:
            for chord in parsed:
                self._press(chord)
                pressed.append(chord)
            if bit:
                self._client.press_buttons(bit)
            yield self
        finally:
            if self.__client is not None and self.__client.connected:
                if bit:
                    self._client.release_buttons(bit)
                for chord in reversed(pressed):
                    self._release(chord)

    # The pointer.

    def click(self, button: str = "left", count: int = 1) -> None:
        """Presses and releases the button (left, right, middle) ``count`` times."""
        bit = _button(button)
        for _ in range(count):
            self._client.press_buttons(bit)
            self._client.release_buttons(bit)

    def move(self, dx: int, dy: int, snap: bool = False) -> None:
        """Moves the pointer by (dx, dy) pixels (any size; sent in steps of at most 127).
        ``snap`` asks the service to snap to the nearest target on the way."""
        self._client.move(dx, dy, snap)

    def move_to(self, x: int, y: int) -> None:
        """Moves the pointer exactly to (x, y) on the X server of the service's backend
        ($DISPLAY): relative moves, read back and corrected until the pointer is there. Raises
        PointerUnknown, PointerNotPlaced, and Error for a position off the screen."""
        self._client.move_to(x, y)

    def scroll(self, steps: int) -> None:
        """Turns the wheel by ``steps`` (positive away from the user, as the protocol's wheel)."""
        self._client.wheel(steps)

    def motion(self, dx: int = 0, dy: int = 0, period: float = 0.008) -> Motion:
        """Continuous motion of (dx, dy) per 10 ms for a ``with`` block:
        ``with v.motion(3, 0) as m: time.sleep(0.5); m.set_velocity(0, 3)``."""
        return Motion(self._client, dx, dy, period)

    # Media keys.

    def media(self, name: str) -> None:
        """Presses and releases a media key: mute, volume-up, volume-down, play-pause, next,
        previous."""
        usage = _virelo.media_usage(name)
        if usage is None:
            raise UnknownKeyName(f'unknown media key name "{name}"', name)
        self._client.consumer({usage})
        self._client.consumer(set())


    # Controls (see virelo.find for the selection's words: role, name, app, container, text,
    # nth, ...).

    def click_on(self, role: str | None = None, name: Match | None = None, *,
                 button: str = "left", double: bool = False, first: bool = False,
                 action: str | bool = False, **selection: object) -> Clicked:
        """Clicks the one control that matches: with the pointer, placed exactly on its centre
        through the service (the default); or, with ``action``, through its own AT-SPI action
        (True: its first; a name: "click", "press", "activate", "toggle"), which needs no pointer
        and presses a covered control too. Returns what was pressed and how. Raises
        NoSuchControl, AmbiguousControl (unless ``first``), ControlNotActionable."""
        q = _controls.query(role, name, **selection)  # type: ignore[arg-type]
        named = action if isinstance(action, str) else None
        control, by, done = _controls.desktop().click_on(
            self._client, q, _button(button), double, first, named, action is not False)
        return Clicked(control, by, done)

    def focus_on(self, role: str | None = None, name: Match | None = None, *,
                 first: bool = False, timeout: float = 2.0, **selection: object) -> Control:
        """Gives the one control that matches the keyboard focus (a click with the primary
        button) and waits until it has it. Raises as ``click_on``, and ControlNotActionable when
        it does not take the focus within ``timeout``."""
        q = _controls.query(role, name, **selection)  # type: ignore[arg-type]
        return _controls.desktop().focus_on(self._client, q, first, timeout)

    def type_into(self, role: str | None = None, name: Match | None = None, *, text: str,
                  first: bool = False, layout: LayoutChoice | None = None,
                  **selection: object) -> Control:
        """``focus_on`` the control, then ``type`` the text into it. Returns the control."""
        focused = self.focus_on(role, name, first=first, **selection)
        self.type(text, layout)
        return focused

    # Scripts.

    def run_script(self, text: str, layout: LayoutChoice | None = None) -> None:
        """Checks the whole script (the language of ``virelo run``), then runs it through this
        connection. Keys and buttons that it holds are released when it ends or fails. Raises
        ScriptError naming the first wrong line (nothing ran) or the line that failed."""
        script = _virelo.parse_script(text, _layout(layout or self._layout))
        _virelo.run_script(self._client, script)


def connect(socket: str | None = None, token: str | None = None, *,
            layout: LayoutChoice = "active", timeout: float = 5.0) -> Connection:
    """Connects to the service and says hello. ``socket`` and ``token`` name the service; a
    half not given is taken from $VIRELO_SOCKET or $VIRELO_TOKEN. With both, that service; with
    neither, the user's session, which a connection finds again by itself when its session
    restarts the service; with only one, NoSession naming the missing half (the rule of every
    Virelo client). ``timeout`` bounds each reply.
    Raises NoSession, UntrustedService (the session's files or the socket's listener are not
    certainly this user's own: nothing was sent), ConnectionLost or ProtocolError (a wrong
    token)."""
    return Connection(_virelo.Client.find(socket, token, timeout), layout)
