"""A connection to the service: typing, keys, the pointer, media keys and continuous motion."""

from __future__ import annotations

import os
import time
from collections.abc import Iterator
from contextlib import contextmanager
from types import TracebackType

from . import _virelo
from ._layouts import LayoutChoice, layout as _layout
from ._virelo import Status
from .errors import ConnectionLost, Error, UnknownKeyName


def _button(name: str) -> int:
    bit = _virelo.button_bit(name)
    if bit is None:
        raise UnknownKeyName(f'unknown button name "{name}"', name)
    return bit


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
        client, self.__client = self.__client, None
        if client is None:
            return
        try:
            if client.connected:
                client.reset()
        except Error:
            pass  # the connection is gone, and with it everything it held
        finally:
            client.close()

    def release_all(self) -> None:
        """Releases every key, button and media key held, and stops continuous motion."""
        self._client.reset()

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
        ``delay`` seconds after each key and holding each ``hold`` seconds. Raises UntypableText
        before anything is sent when the layout cannot type some characters."""
        self._client.type_text(text, _layout(layout or self._layout), hold, delay)

    def _chord(self, text: str, layout: LayoutChoice | None) -> _virelo.Chord:
        return _virelo.parse_chord(text, _layout(layout or self._layout))

    def key(self, *chords: str, layout: LayoutChoice | None = None) -> None:
        """Presses and releases each chord in turn: "ctrl+c", "return", "Page_Up", "volume-up"."""
        parsed = [self._chord(chord, layout) for chord in chords]
        for chord in parsed:
            self._client.tap_chord(chord)

    def key_down(self, chord: str, layout: LayoutChoice | None = None) -> None:
        """Presses the chord's modifiers and keys and keeps them held."""
        self._client.press_chord(self._chord(chord, layout))

    def key_up(self, chord: str, layout: LayoutChoice | None = None) -> None:
        """Releases what ``key_down`` pressed for the chord."""
        self._client.release_chord(self._chord(chord, layout))

    @contextmanager
    def hold(self, *chords: str, button: str | None = None,
             layout: LayoutChoice | None = None) -> Iterator[Connection]:
        """Holds the chords (and the pointer button) for the ``with`` block and releases them
        at its end, also on an exception: ``with v.hold("shift"): v.type("abc")``,
        ``with v.hold(button="left"): v.move(200, 0)``."""
        parsed = [self._chord(chord, layout) for chord in chords]
        bit = _button(button) if button is not None else 0
        pressed: list[_virelo.Chord] = []
        try:
            for chord in parsed:
                self._client.press_chord(chord)
                pressed.append(chord)
            if bit:
                self._client.press_buttons(bit)
            yield self
        finally:
            if self.__client is not None and self.__client.connected:
                if bit:
                    self._client.release_buttons(bit)
                for chord in reversed(pressed):
                    self._client.release_chord(chord)

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

    def move_to(self, x: int, y: int, display: str | None = None, tries: int = 8) -> None:
        """Moves the pointer to (x, y) on the X server at ``display`` (default $DISPLAY), where
        its position can be read: relative moves, corrected until the pointer is there."""
        # The client library reads the pointer's position but has no absolute move yet; this
        # correction loop stands in for one and is to become a call of it.
        where = display or os.environ.get("DISPLAY", "")
        for _ in range(tries):
            position = _virelo.pointer_position(where)
            if position is None:
                raise Error(f'the pointer position cannot be read on display "{where}"')
            if position == (x, y):
                return
            self._client.move(x - position[0], y - position[1], False)
            # The service's move reaches the X server over its own connection: wait to see it.
            deadline = time.monotonic() + 1.0
            while _virelo.pointer_position(where) == position and time.monotonic() < deadline:
                time.sleep(0.002)
        raise Error(f"the pointer did not reach ({x}, {y}) in {tries} moves")

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


def connect(socket: str | None = None, token: str | None = None, *,
            layout: LayoutChoice = "active", timeout: float = 5.0) -> Connection:
    """Connects to the service and says hello: the user's session (or $VIRELO_SOCKET and
    $VIRELO_TOKEN), or the service at ``socket`` with ``token``. A session connection finds the
    service again by itself when its session restarts it. ``timeout`` bounds each reply.
    Raises NoSession, UntrustedService (the session's files or the socket's listener are not
    certainly this user's own: nothing was sent), ConnectionLost or ProtocolError (a wrong
    token)."""
    if (socket is None) != (token is None):
        raise ValueError("connect() takes both socket and token, or neither")
    if socket is not None and token is not None:
        return Connection(_virelo.Client.open(socket, token, timeout), layout)
    return Connection(_virelo.Client.find(timeout), layout)
