"""Fixtures of the Python package's tests: a private service on the simulated host, started
through virelo.Launcher, and its trace.

The tests run as an unprivileged user (CTest starts pytest through setpriv as "nobody" when run
as root): the service refuses the superuser, and it accepts only clients of its own user.
$VIRELO_SERVICE names the service binary and $VIRELO_TOOL the command-line tool."""

from __future__ import annotations

import json
import os
import time
from collections.abc import Callable, Iterator
from typing import Any

import pytest

import virelo


class Trace:
    """The simulated host's trace (VL_SIM_TRACE): one JSON object per line."""

    def __init__(self, path: str) -> None:
        self.path = path

    def events(self) -> list[dict[str, Any]]:
        try:
            with open(self.path, encoding="utf-8") as file:
                return [json.loads(line) for line in file if line.endswith("\n")]
        except FileNotFoundError:
            return []

    def wait_for(self, holds: Callable[[list[dict[str, Any]]], bool],
                 timeout: float = 5.0) -> bool:
        deadline = time.monotonic() + timeout
        while not holds(self.events()):
            if time.monotonic() > deadline:
                return False
            time.sleep(0.005)
        return True

    def reports(self, device: str) -> list[str]:
        return [e["report"] for e in self.events()
                if e.get("event") == "hid_input" and e.get("device") == device]


class Service:
    """A running service of the launcher, with its trace."""

    def __init__(self, launcher: virelo.Launcher) -> None:
        self.launcher = launcher
        self.trace = Trace(os.path.join(launcher.directory, "trace"))

    def connect(self, layout: virelo.LayoutChoice = "us") -> virelo.Connection:
        return self.launcher.connect(layout=layout)


StartService = Callable[..., Service]


@pytest.fixture
def start_service() -> Iterator[StartService]:
    """Starts services on the simulated host: start_service(backend=..., world={...})."""
    launchers: list[virelo.Launcher] = []

    def start(backend: str = "corehid", world: dict[str, Any] | None = None) -> Service:
        environment = {"VL_SIM_TRACE": "{dir}/trace", "VL_SIM_WORLD": "{dir}/world.json"}
        launcher = virelo.Launcher(os.environ["VIRELO_SERVICE"], backend=backend,
                                   environment=environment)
        launchers.append(launcher)
        with open(os.path.join(launcher.directory, "world.json"), "w", encoding="utf-8") as f:
            json.dump(world or {}, f)
        launcher.start()
        return Service(launcher)

    yield start
    for launcher in launchers:
        launcher.stop()


@pytest.fixture
def service(start_service: StartService) -> Service:
    return start_service()
