#!/usr/bin/python3
"""Python's click_on against the same dogtail script, on a private accessible desktop (Xvfb, a
session bus, the accessibility bus, openbox) with the GTK application of the AT-SPI tests
(tests/atspi/gtk_app.py: its button "Press" among its few controls) and the service (the Linux
desktop host, "cgevent") posting through XTEST. Each script runs as one process, timed from its
start to the button's "clicked" signal (the application reports its CLOCK_MONOTONIC reading) and
to its exit, in interleaved rounds with the pointer moved away before each; the figures are ratios
of medians. The same rounds time "python3 -c pass" and "python3 -c 'import virelo'" from start to
exit: the floors of any Python script and of one that uses the package.
Prints a Markdown table on standard output; progress and notes go to standard error.

Usage: python_controls_bench.py SERVICE MODULE [--quick]   (as a user the service accepts)
"""

from __future__ import annotations

import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "support"))
from accessible_desktop import AccessibleDesktop, Unavailable  # noqa: E402

import virelo  # noqa: E402

APP = os.path.join(HERE, "..", "tests", "atspi", "gtk_app.py")
PYTHON = "/usr/bin/python3"

VIRELO = """
import virelo
with virelo.connect() as v:
    v.click_on("push button", "Press")
"""
# dogtail as its users write it; only its check of the GNOME setting is left out, since this
# desktop switches the accessibility bus on through the bus itself.
DOGTAIL = """
from dogtail import config
config.checkForA11y = False
from dogtail.tree import root
root.child(name="Press", roleName="push button").click()
"""


def clicked(app: subprocess.Popen[str]) -> float:
    assert app.stdout is not None
    for line in app.stdout:
        words = line.split()
        if words[:2] == ["clicked", "Press"]:
            return float(words[2])
    raise RuntimeError("the application ended")


def one_run(code: str, app: subprocess.Popen[str],
            environment: dict[str, str]) -> tuple[float, float]:
    """From the script's start to the button's "clicked", and to the script's exit."""
    start = time.monotonic()
    script = subprocess.Popen([PYTHON, "-c", code], env=environment,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    at = clicked(app)
    _, errors = script.communicate(timeout=60)
    end = time.monotonic()
    if script.returncode != 0:
        raise RuntimeError(f"the script failed: {errors}")
    return at - start, end - start


def whole_run(code: str, environment: dict[str, str]) -> float:
    start = time.monotonic()
    subprocess.run([PYTHON, "-c", code], env=environment, check=True)
    return time.monotonic() - start


def main() -> int:
    service_path, module = sys.argv[1], sys.argv[2]
    rounds = 5 if "--quick" in sys.argv else 15
    os.environ["VIRELO_ACCESSIBILITY_MODULE"] = module
    probe = subprocess.run([PYTHON, "-c", "import dogtail.tree"], capture_output=True)
    if b"No module named" in probe.stderr:
        print("(no Python click_on figures: python3-dogtail is not installed)")
        return 0
    try:
        with AccessibleDesktop() as desktop:
            app = desktop.start([PYTHON, APP, "100", "100"], stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE)
            assert app.stdin is not None and app.stdout is not None
            app.stdout.readline()  # ready
            app.stdin.write("clicks\n")
            app.stdin.flush()
            app.stdout.readline()  # clicks
            with virelo.Launcher(service_path, backend="cgevent",
                                 environment=desktop.service_environment()) as service:
                environment = dict(os.environ, VIRELO_SOCKET=service.socket,
                                   VIRELO_TOKEN=service.token)
                times: dict[str, list[float]] = {"virelo": [], "dogtail": [], "pass": [],
                                                 "import": [], "virelo exit": [],
                                                 "dogtail exit": []}
                with service.connect() as v:
                    for i in range(rounds):
                        print(f"round {i + 1} of {rounds}", file=sys.stderr)
                        for name, code in (("virelo", VIRELO), ("dogtail", DOGTAIL)):
                            v.move_to(1000, 740)
                            effect, whole = one_run(code, app, environment)
                            times[name].append(effect)
                            times[name + " exit"].append(whole)
                        # The floor of any Python script, and of one that imports the package.
                        times["pass"].append(whole_run("pass", environment))
                        times["import"].append(whole_run("import virelo", environment))
    except Unavailable as why:
        print(f"(no Python click_on figures: {why})")
        return 0
    ours, theirs = statistics.median(times["virelo"]), statistics.median(times["dogtail"])
    print("| Python click_on, 4 buttons (start to clicked) | median ms | dogtail median ms | ratio |")
    print("|---|---|---|---|")
    print(f"| `v.click_on(\"push button\", \"Press\")` | {ours * 1000:.0f} | "
          f"{theirs * 1000:.0f} | {ours / theirs:.2f}× |")
    whole = statistics.median(times["virelo exit"])
    theirs_whole = statistics.median(times["dogtail exit"])
    print(f"| the same, start to the script's exit (dogtail's click waits its actionDelay) | "
          f"{whole * 1000:.0f} | {theirs_whole * 1000:.0f} | {whole / theirs_whole:.2f}× |")
    for name, what in (("pass", "`python3 -c pass`, start to exit"),
                       ("import", "`python3 -c 'import virelo'`, start to exit")):
        floor = statistics.median(times[name])
        print(f"| {what} | {floor * 1000:.0f} | {theirs * 1000:.0f} | {floor / theirs:.2f}× |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
