"""End to end on a private X server (Xvfb) with the GTK receiving application: the service's
Linux desktop host posts what the Python package sends, and the application receives it. Skipped
without Xvfb or GTK 3 for Python."""

from __future__ import annotations

import json
import os
import shutil
import subprocess
from collections.abc import Iterator
from typing import IO, Any

import pytest

import virelo

RECEIVER = os.environ.get("VIRELO_GTK_RECEIVER", "")


def gtk_missing() -> str:
    if shutil.which("Xvfb") is None:
        return "Xvfb is not installed (Debian xvfb)"
    probe = subprocess.run(["/usr/bin/python3", "-c",
                            "import gi; gi.require_version('Gtk', '3.0')"], capture_output=True)
    return "" if probe.returncode == 0 and RECEIVER else "GTK 3 for Python is missing"


def next_event(lines: IO[str], kind: str) -> dict[str, Any]:
    for line in lines:
        event = json.loads(line)
        if event["event"] == kind:
            return event
    raise AssertionError(f"the receiver ended before a {kind} event")


@pytest.fixture
def desktop(monkeypatch: pytest.MonkeyPatch) -> Iterator[tuple[str, dict[str, Any], IO[str]]]:
    if missing := gtk_missing():
        pytest.skip(missing)
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-nolisten", "tcp", "-ac",
                               "-noreset", "-screen", "0", "1024x768x24"],
                              pass_fds=[write], stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as number:
        display = ":" + number.readline().strip()
    monkeypatch.setenv("DISPLAY", display)
    receiver = subprocess.Popen(["/usr/bin/python3", RECEIVER, "--at", "100", "100"],
                                stdout=subprocess.PIPE, text=True)
    assert receiver.stdout is not None
    try:
        yield display, next_event(receiver.stdout, "ready"), receiver.stdout
    finally:
        receiver.kill()
        receiver.wait()
        server.terminate()
        server.wait()


def centre(place: dict[str, int]) -> tuple[int, int]:
    return place["x"] + place["width"] // 2, place["y"] + place["height"] // 2


def test_an_application_receives_what_python_sends(
        desktop: tuple[str, dict[str, Any], IO[str]]) -> None:
    display, ready, events = desktop
    environment = {"VL_HOST": "linux", "DISPLAY": display}
    with virelo.Launcher(os.environ["VIRELO_SERVICE"], backend="cgevent",
                         environment=environment) as service:
        with service.connect() as v:  # the active layout: the X server's
            v.move_to(*centre(ready["entry"]))
            v.click()
            v.type("Hello, World!")
            texts = [next_event(events, "text")["text"] for _ in range(len("Hello, World!"))]
            assert texts[-1] == "Hello, World!"
            v.move_to(*centre(ready["button"]))
            v.click()
            next_event(events, "clicked")


def test_a_keysym_the_layout_lacks_is_held_on_a_borrowed_key(
        desktop: tuple[str, dict[str, Any], IO[str]], monkeypatch: pytest.MonkeyPatch,
        tmp_path: Any) -> None:
    display, _, events = desktop
    monkeypatch.setenv("XDG_RUNTIME_DIR", str(tmp_path))  # the borrowed keys' record
    calculator, hyper = 0x1008FF1D, 0xFFED
    environment = {"VL_HOST": "linux", "DISPLAY": display}
    with virelo.Launcher(os.environ["VIRELO_SERVICE"], backend="cgevent",
                         environment=environment) as service:
        with service.connect(layout="us") as v:
            v.key_down("XF86Calculator")
            assert next_event(events, "key")["keysym"] == calculator
            # Another borrowing by this process while the key is held is refused, not a wait for
            # itself; nothing is pressed.
            with pytest.raises(virelo.Error):
                v.key("Hyper_L")
            v.key_up("XF86Calculator")
            assert next_event(events, "key-release")["released"] == calculator
            with v.hold("Hyper_L"):
                assert next_event(events, "key")["keysym"] == hyper
            assert next_event(events, "key-release")["released"] == hyper
