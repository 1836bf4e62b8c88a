"""A private accessible X desktop for Python tests and benchmarks: Xvfb, a session bus, the
accessibility bus (at-spi2-core) and openbox, set in this process's environment ($DISPLAY,
$DBUS_SESSION_BUS_ADDRESS, $XDG_RUNTIME_DIR) while it runs and restored after. libdbus reads the
session bus's address once per process: one desktop per process.

    with AccessibleDesktop() as desktop:       # raises Unavailable saying what is missing
        app = desktop.start([python, "app.py"])
"""

from __future__ import annotations

import os
import shutil
import subprocess
import tempfile
import time
from types import TracebackType

LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


class Unavailable(Exception):
    """What the desktop needs is not installed."""


def missing() -> str:
    for program in ("Xvfb", "openbox", "dbus-daemon", "dbus-send"):
        if shutil.which(program) is None:
            return f"{program} is not installed"
    if not os.access(LAUNCHER, os.X_OK):
        return "at-spi2-core is not installed"
    probe = subprocess.run(["/usr/bin/python3", "-c",
                            "import gi; gi.require_version('Gtk', '3.0')"], capture_output=True)
    return "" if probe.returncode == 0 else "GTK 3 for Python is missing"


def _dbus(*args: str) -> str:
    return subprocess.run(["dbus-send", "--session", "--print-reply", *args],
                          capture_output=True, text=True).stdout


class AccessibleDesktop:
    def __init__(self) -> None:
        self.processes: list[subprocess.Popen[str]] = []
        self.runtime = ""
        self._saved: dict[str, str] = {}

    def __enter__(self) -> AccessibleDesktop:
        if why := missing():
            raise Unavailable(why)
        self._saved = dict(os.environ)
        self.runtime = tempfile.mkdtemp()
        try:
            self._start()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def _start(self) -> None:
        read, write = os.pipe()
        self.processes.append(subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-nolisten", "tcp", "-ac", "-noreset", "-screen",
             "0", "1024x768x24"], pass_fds=[write], stderr=subprocess.DEVNULL, text=True))
        os.close(write)
        with os.fdopen(read) as number:
            os.environ["DISPLAY"] = ":" + number.readline().strip()
        os.environ["XDG_RUNTIME_DIR"] = self.runtime
        os.environ.pop("NO_AT_BRIDGE", None)
        os.environ.pop("AT_SPI_BUS_ADDRESS", None)
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                               stdout=subprocess.PIPE, text=True)
        self.processes.append(bus)
        assert bus.stdout is not None
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        self._start_accessibility_bus()
        self.start(["openbox", "--sm-disable"])

    def _start_accessibility_bus(self) -> None:
        # Started at once, as a session's autostart does; asked nothing before it holds its name
        # (the session bus would start another launcher for it).
        self.start([LAUNCHER, "--launch-immediately"])
        for _ in range(100):
            owned = _dbus("--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                          "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.Bus")
            if "boolean true" in owned and _dbus(
                    "--dest=org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
                    "string:org.a11y.Status", "string:IsEnabled", "variant:boolean:true"):
                return
            time.sleep(0.1)
        raise Unavailable("the accessibility bus does not start")

    def start(self, argv: list[str], **options: object) -> subprocess.Popen[str]:
        """Starts a program on the desktop; it is stopped with the desktop."""
        options.setdefault("stderr", subprocess.DEVNULL)
        options.setdefault("stdout", subprocess.DEVNULL)
        process: subprocess.Popen[str] = subprocess.Popen(argv, text=True, **options)  # type: ignore[call-overload]
        self.processes.append(process)
        return process

    def service_environment(self) -> dict[str, str]:
        """The environment of a service posting to this desktop (the Linux desktop host)."""
        environment = {"VL_HOST": "linux", "HOME": os.environ.get("HOME", self.runtime)}
        for name in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"):
            environment[name] = os.environ[name]
        return environment

    def __exit__(self, kind: type[BaseException] | None, error: BaseException | None,
                 trace: TracebackType | None) -> None:
        for process in reversed(self.processes):
            process.terminate()
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        self.processes.clear()
        os.environ.clear()
        os.environ.update(self._saved)
        shutil.rmtree(self.runtime, ignore_errors=True)
