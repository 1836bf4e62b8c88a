"""The package's controls, windows, borrowed keys, pointer and scripts on a real desktop: a
private X server (Xvfb) with openbox, a session bus and an accessibility bus, the GTK 3 fixture
application of tests/controls, and the service's Linux desktop host posting the input. Every test
calls the binding. Skipped without Xvfb, openbox, at-spi2-core or GTK 3 for Python."""

from __future__ import annotations

import os
import queue
import re
import signal
import subprocess
import sys
import threading
import time
from collections.abc import Iterator
from typing import IO

import pytest

import virelo

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
from accessible_desktop import AccessibleDesktop, Unavailable  # noqa: E402

APP = os.path.join(os.path.dirname(__file__), "..", "controls", "gtk_controls.py")
ORIGIN = (100, 100)  # where the fixture's window is put


class App:
    """The fixture application: its standard output as lines, its standard input for commands."""

    def __init__(self, process: subprocess.Popen[str]) -> None:
        self.process = process
        self.lines: queue.Queue[str] = queue.Queue()
        assert process.stdout is not None
        threading.Thread(target=self._read, args=(process.stdout,), daemon=True).start()

    def _read(self, stream: IO[str]) -> None:
        for line in stream:
            self.lines.put(line.rstrip("\n"))

    def heard(self, line: str, timeout: float = 5.0) -> bool:
        deadline = time.monotonic() + timeout
        while (left := deadline - time.monotonic()) > 0:
            try:
                if self.lines.get(timeout=left) == line:
                    return True
            except queue.Empty:
                break
        return False

    def send(self, line: str) -> None:
        assert self.process.stdin is not None
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()


@pytest.fixture(scope="module")
def session() -> Iterator[tuple[virelo.Launcher, App]]:
    """One desktop for the module: libdbus reads the session bus's address once per process."""
    if not os.environ.get("VIRELO_ACCESSIBILITY_MODULE"):
        pytest.skip("no accessibility module ($VIRELO_ACCESSIBILITY_MODULE)")
    try:
        with AccessibleDesktop() as desktop:
            app = App(desktop.start(["/usr/bin/python3", APP, str(ORIGIN[0]), str(ORIGIN[1])],
                                    stdin=subprocess.PIPE, stdout=subprocess.PIPE))
            with virelo.Launcher(os.environ["VIRELO_SERVICE"], backend="cgevent",
                                 environment=desktop.service_environment()) as service:
                virelo.wait_for("push button", "OK", timeout=20)
                yield service, app
    except Unavailable as why:
        pytest.skip(str(why))


def test_a_control_carries_its_role_states_extents_text_and_value(
        session: tuple[virelo.Launcher, App]) -> None:
    count = virelo.control("spin button", "Count")
    assert (count.role, count.name, count.text) == ("spin button", "Count", "3")
    assert count.value is not None
    assert (count.value.current, count.value.minimum, count.value.maximum) == (3, 0, 10)
    assert {"enabled", "visible", "focusable", "editable"} <= set(count.states)
    assert count.extents[:3] == (ORIGIN[0] + 20, ORIGIN[1] + 350, 120)  # GTK may make it taller
    assert "OK" in [c.name for c in virelo.find("push button")]


def test_nth_and_container_choose_among_identical_controls(
        session: tuple[virelo.Launcher, App]) -> None:
    with pytest.raises(virelo.AmbiguousControl) as ambiguous:
        virelo.control("check box", "Pick")
    assert len(ambiguous.value.candidates) == 3
    # Reading order: the row of (20, 400) and (160, 404) left to right, then (20, 430).
    second = virelo.control("check box", "Pick", nth=2)
    assert second.extents[:2] == (ORIGIN[0] + 160, ORIGIN[1] + 404)
    assert virelo.control("check box", "Pick", container="Right group").extents == second.extents
    assert virelo.control("check box", "Pick", container=re.compile("Left.*"),
                          nth=2).extents[:2] == (ORIGIN[0] + 20, ORIGIN[1] + 430)


def test_click_on_with_the_pointer_lands_on_the_centre(
        session: tuple[virelo.Launcher, App]) -> None:
    service, app = session
    with service.connect() as v:
        clicked = v.click_on("push button", "OK")
    assert (clicked.by, clicked.action) == ("pointer", "")
    assert app.heard("clicked OK")
    assert virelo.pointer_position() == clicked.control.centre


def test_click_on_by_action_presses_a_covered_button(
        session: tuple[virelo.Launcher, App]) -> None:
    service, app = session
    app.send("cover")
    assert app.heard("covered")
    with service.connect() as v:
        with pytest.raises(virelo.ControlNotActionable):
            v.click_on("push button", "Covered")
        clicked = v.click_on("push button", "Covered", action=True)
    assert clicked.by == "action" and clicked.action
    assert app.heard("clicked Covered")


def test_typed_text_outside_the_layout_is_read_back(
        session: tuple[virelo.Launcher, App]) -> None:
    service, _ = session
    with service.connect(layout="us") as v:
        v.type_into("text", "First name", text="Ada ☃")
        v.focus_on("text", "Last name")
        v.key("U65E5")  # a keysym that no key of the layout produces: 日
    shown = virelo.wait_for("text", "First name", text="Ada ☃", timeout=5)
    assert shown is not None and shown.text == "Ada ☃"
    assert virelo.get_text("text", "Last name") == "日"


def test_windows_are_listed_searched_and_activated(
        session: tuple[virelo.Launcher, App]) -> None:
    _, app = session
    app.send("cover")  # a second window of the application
    assert app.heard("covered")
    assert virelo.display_geometry() == (0, 0, 1024, 768)
    fixture = virelo.search_windows("Controls fixture")
    assert [w.pid for w in fixture] == [app.process.pid]
    covers = virelo.search_windows(class_name=re.compile(".+"), name="Cover")
    assert covers and all(w.pid == app.process.pid for w in covers)
    virelo.activate(covers[-1])
    assert virelo.active_window().id == covers[-1].id  # type: ignore[union-attr]
    virelo.activate(fixture[0])
    active = virelo.active_window()
    assert active is not None and active.id == fixture[0].id and active.focused


def test_a_script_runs_and_recorded_input_reads_back_as_one(
        session: tuple[virelo.Launcher, App]) -> None:
    service, app = session
    with pytest.raises(virelo.ScriptError) as wrong:
        virelo.check_script("click\ntpye hi\n", "us")
    assert wrong.value.line == 2
    stop = threading.Event()
    recorded: list[str] = []
    recorder = threading.Thread(
        target=lambda: recorded.append(virelo.record(stop=stop, include_own=True)))
    recorder.start()
    time.sleep(0.3)
    with service.connect() as v:
        v.run_script('click-on --role push-button --name OK\nkey shift+x\n', layout="us")
    assert app.heard("clicked OK")
    time.sleep(0.2)
    stop.set()
    recorder.join()
    assert "keydown shift\n" in recorded[0] and "keyup x\n" in recorded[0]
    assert virelo.check_script(recorded[0], "us") > 0


# Waits for a control that never comes, in a process of its own on the module's desktop.
ENDLESS_WAIT = """
import virelo
virelo.control("push button", "OK")  # the desktop is open
print("waiting", flush=True)
try:
    virelo.wait_for("push button", "Nowhere", timeout=60)
    print("finished", flush=True)
except KeyboardInterrupt:
    print("interrupted", flush=True)
"""


def test_ctrl_c_ends_a_wait_for(session: tuple[virelo.Launcher, App]) -> None:
    child = subprocess.Popen([sys.executable, "-c", ENDLESS_WAIT], stdout=subprocess.PIPE,
                             text=True)
    try:
        assert child.stdout is not None and child.stdout.readline() == "waiting\n"
        time.sleep(0.5)  # well into the wait
        child.send_signal(signal.SIGINT)
        assert child.stdout.readline() == "interrupted\n"
    finally:
        child.kill()
        child.wait()


def test_what_is_not_there_raises_the_package_classes(
        session: tuple[virelo.Launcher, App]) -> None:
    with pytest.raises(virelo.UnknownRole):
        virelo.find("no such role")
    with pytest.raises(virelo.NoSuchControl):
        virelo.control("push button", "Nowhere")
    with pytest.raises(virelo.WaitTimedOut):
        virelo.wait_for("push button", "Nowhere", timeout=0.3)
    with pytest.raises(virelo.NoSuchWindow):
        virelo.activate(1)
