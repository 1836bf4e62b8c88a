"""The package's own behaviour against a private service on the simulated host: typing with
layouts, releases on leaving the context managers (an exception included), the error classes,
a closed connection, the status, the session found, the GIL released while waiting, Ctrl-C
during a long call, and "python3 -m virelo"."""

from __future__ import annotations

import os
import re
import signal
import subprocess
import sys
import threading
import time

import pytest

import virelo
from conftest import Service, StartService

RELEASED_KEYBOARD = "00" * 33


def presses(service: Service) -> list[tuple[int, int]]:
    """The keys that went down, with the modifiers then held, from the keyboard reports."""
    found: list[tuple[int, int]] = []
    before: set[int] = set()
    for report in service.trace.reports("keyboard"):
        data = bytes.fromhex(report)
        keys = {k for k in data[1:] if k}
        found += [(k, data[0]) for k in sorted(keys - before)]
        before = keys
    return found


def test_typing_presses_the_keystrokes_of_the_layout(service: Service) -> None:
    text = "Grüße, Zoë!"
    with service.connect(layout="de") as v:
        v.type(text)
    expected = [(k.usage, k.modifiers) for k in virelo.keystrokes(text, "de")]
    got = [(usage, virelo._virelo.modifier_names(mods)) for usage, mods in presses(service)]
    assert got == expected


def test_untypable_text_names_each_character_and_sends_nothing(service: Service) -> None:
    with service.connect() as v:
        sent = len(service.trace.reports("keyboard"))
        with pytest.raises(virelo.UntypableText) as caught:
            v.type("a€b→", layout="us")
        assert len(service.trace.reports("keyboard")) == sent
    assert caught.value.characters == [("€", 1), ("→", 3)]
    assert isinstance(caught.value, ValueError)


def test_hold_releases_on_an_exception(service: Service) -> None:
    with service.connect() as v:
        with pytest.raises(KeyError):
            with v.hold("ctrl+shift", button="left"):
                assert v.held["modifiers"] == 0b11 and v.held["buttons"] == 1
                raise KeyError("inside")
        assert v.held == {"modifiers": 0, "keys": set(), "fn": False, "media": set(),
                          "buttons": 0}
    assert service.trace.reports("keyboard")[-1] == RELEASED_KEYBOARD
    assert service.trace.reports("mouse")[-1] == "00000000"


def test_a_connection_releases_everything_on_an_exception(service: Service) -> None:
    with pytest.raises(RuntimeError):
        with service.connect() as v:
            v.key_down("shift+a")
            with v.motion(3, 0):
                raise RuntimeError("inside")
    assert service.trace.wait_for(
        lambda _: service.trace.reports("keyboard")[-1] == RELEASED_KEYBOARD)


def test_errors_are_the_classes_of_their_causes(service: Service, monkeypatch: pytest.MonkeyPatch,
                                                 tmp_path: os.PathLike[str]) -> None:
    with service.connect() as v:
        with pytest.raises(virelo.UnknownKeyName) as name:
            v.key("ctrl+nonsense")
        assert name.value.name == "nonsense"
        with pytest.raises(virelo.ProtocolError) as protocol:
            v._client.keyboard(0, set(), True)  # "fn" is the "cgevent" backend's only
        assert protocol.value.command == "keyboard" and "protocol_error" in protocol.value.reply
    with pytest.raises(virelo.ProtocolError):
        virelo.connect(service.launcher.socket, "0" * 64)
    with pytest.raises(virelo.ConnectionLost):
        virelo.connect(os.path.join(str(tmp_path), "none"), "0" * 64)
    with pytest.raises(virelo.UnknownLayout):
        virelo.keystrokes("a", "no-such-layout")
    with pytest.raises(virelo.ServiceExitedSilently):
        virelo.Launcher(os.environ["VIRELO_SERVICE"], backend="no-such-backend").start()
    for name_ in ("VIRELO_SOCKET", "VIRELO_TOKEN", "XDG_RUNTIME_DIR"):
        monkeypatch.delenv(name_, raising=False)
    with pytest.raises(virelo.NoSession):
        virelo.connect()


def test_the_desktop_calls_raise_the_package_classes_without_an_x_server(
        monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.delenv("DISPLAY", raising=False)
    with pytest.raises(virelo.ControlsUnavailable):
        virelo.find("push button")
    with pytest.raises(virelo.MalformedExpression):
        virelo.find(name=re.compile(r"(a)\1"))  # Python takes it, RE2 does not
    with pytest.raises(virelo.WindowsUnavailable):
        virelo.windows(":32767")
    with pytest.raises(virelo.PointerUnknown):
        virelo.pointer_position(":32767")
    with pytest.raises(virelo.RecordingUnavailable):
        virelo.record(0.1, display=":32767")


def test_a_closed_connection_stays_closed(service: Service,
                                          monkeypatch: pytest.MonkeyPatch) -> None:
    # A session connection, which would find the service again after a lost connection.
    monkeypatch.setenv("VIRELO_SOCKET", service.launcher.socket)
    monkeypatch.setenv("VIRELO_TOKEN", service.launcher.token)
    with virelo.connect() as v:
        with v.motion(3, 0) as m:
            with pytest.raises(virelo.Error, match="already running"):
                m.__enter__()
    for call in (lambda: v.key_down("shift"), v.status, lambda: v.move(1, 0)):
        with pytest.raises(virelo.ConnectionLost, match="closed"):
            call()
    v.close()
    assert service.trace.reports("keyboard")[-1] == RELEASED_KEYBOARD


def test_the_status_shows_the_backend(service: Service) -> None:
    with service.connect() as v:
        status = v.status()
    assert (status.ready, status.backend, status.protocol) == (True, "corehid", 1)


def test_the_session_is_found(tmp_path: os.PathLike[str],
                              monkeypatch: pytest.MonkeyPatch) -> None:
    runtime = os.path.join(str(tmp_path), "runtime")
    os.mkdir(runtime, 0o700)
    monkeypatch.setenv("XDG_RUNTIME_DIR", runtime)
    monkeypatch.delenv("VIRELO_SOCKET", raising=False)
    monkeypatch.delenv("VIRELO_TOKEN", raising=False)
    session = subprocess.Popen([os.environ["VIRELO_TOOL"], "session", "--host", "sim"],
                               stderr=subprocess.DEVNULL)
    try:
        published = os.path.join(runtime, "virelo", "session.json")
        deadline = time.monotonic() + 10
        while not os.path.exists(published) and time.monotonic() < deadline:
            time.sleep(0.01)
        with virelo.connect() as v:
            assert v.hello.ready and v.status().ready
    finally:
        session.terminate()
        assert session.wait(10) == 0


def test_other_threads_run_while_a_call_waits(service: Service) -> None:
    ticks = 0
    done = threading.Event()

    def count() -> None:
        nonlocal ticks
        while not done.is_set():
            ticks += 1
            time.sleep(0.001)

    counter = threading.Thread(target=count)
    counter.start()
    with service.connect() as v:
        start = ticks
        v.type("ab", delay=0.1)  # waits in the library for 0.2 s
        during = ticks - start
    done.set()
    counter.join()
    # Holding the GIL through the wait would leave the counter no tick at all.
    assert during > 2


def test_python_m_virelo_is_the_command_line(service: Service) -> None:
    environment = dict(os.environ, VIRELO_SOCKET=service.launcher.socket,
                       VIRELO_TOKEN=service.launcher.token)
    run = subprocess.run([sys.executable, "-m", "virelo", "key", "ctrl+c"], env=environment,
                         capture_output=True, text=True, timeout=30)
    assert run.returncode == 0, run.stderr
    assert presses(service)[-1] == (0x06, 0x01)


# Runs one long call on Python's main thread; on Ctrl-C prints what the connection still holds.
LONG_CALL = """
import sys, virelo
v = virelo.connect(layout="us")
print("connected", flush=True)
try:
    {"type": lambda: v.type("A" * 150, delay=0.02),
     "move": lambda: v.move(127 * 200_000, 0),
     "scroll": lambda: v.scroll(127 * 200_000)}[sys.argv[1]]()
    print("finished", flush=True)
except KeyboardInterrupt:
    print("interrupted", v.held["modifiers"], len(v.held["keys"]), flush=True)
sys.stdin.read()
"""


# The reports of each whole call: a press and a release for every "A", one report for every step.
@pytest.mark.parametrize("call, device, whole", [("type", "keyboard", 2 * 150),
                                                 ("move", "mouse", 200_000),
                                                 ("scroll", "mouse", 200_000)])
def test_ctrl_c_ends_a_long_call_and_releases_what_it_held(service: Service, call: str,
                                                           device: str, whole: int) -> None:
    environment = dict(os.environ, VIRELO_SOCKET=service.launcher.socket,
                       VIRELO_TOKEN=service.launcher.token)
    before = len(service.trace.reports(device))
    child = subprocess.Popen([sys.executable, "-c", LONG_CALL, call], env=environment,
                             stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        assert child.stdout is not None and child.stdout.readline() == "connected\n"
        assert service.trace.wait_for(lambda _: len(service.trace.reports(device)) > before)
        child.send_signal(signal.SIGINT)
        assert child.stdout.readline() == "interrupted 0 0\n"
        # The release comes after every report the call sent: the call stopped short.
        assert service.trace.reports("keyboard")[-1] == RELEASED_KEYBOARD
        assert len(service.trace.reports(device)) - before < whole
    finally:
        child.kill()
        child.wait()
