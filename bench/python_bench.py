#!/usr/bin/python3
"""The Python package against the C++ client library it is built on, measured in one run against
one service on the simulated host: typing 1,000 mixed characters, 10,000 moves, and the time
"import virelo" takes against "import json". Prints a Markdown table with the ratios.

Usage: python_bench.py SERVICE CXX_SIDE [--quick]   (as a user the service accepts: not root)
"""

from __future__ import annotations

import random
import statistics
import subprocess
import sys
import time

import virelo

CHARACTERS = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,;:!?'\"()-_=+/@#"


def cxx(service: virelo.Launcher, side: str, work: str, operand: str) -> float:
    out = subprocess.run([side, service.socket, service.token, work, operand], check=True,
                         capture_output=True, text=True).stdout
    return float(out)


def python_type(service: virelo.Launcher, text: str) -> float:
    with service.connect(layout="us") as v:
        start = time.perf_counter()
        v.type(text)
        return time.perf_counter() - start


def python_move(service: virelo.Launcher, count: int) -> float:
    with service.connect(layout="us") as v:
        start = time.perf_counter()
        for i in range(count):
            v.move(1 if i % 2 == 0 else -1, 0)
        return time.perf_counter() - start


def import_time(module: str, runs: int) -> float:
    """The median wall time of "python3 -c 'import MODULE'" less that of "python3 -c pass"."""
    def median(code: str) -> float:
        times = []
        for _ in range(runs):
            start = time.perf_counter()
            subprocess.run([sys.executable, "-c", code], check=True)
            times.append(time.perf_counter() - start)
        return statistics.median(times)
    return median(f"import {module}") - median("pass")


def main(argv: list[str]) -> int:
    if len(argv) not in (3, 4):
        print(__doc__, file=sys.stderr)
        return 2
    service_path, side = argv[1], argv[2]
    runs = 3 if argv[3:] == ["--quick"] else 9
    text = "".join(random.Random(7).choice(CHARACTERS) for _ in range(1000))
    moves = 10_000
    rows = []
    with virelo.Launcher(service_path) as service:
        python_type(service, text[:50])  # warm up both sides
        cxx(service, side, "type", text[:50])
        for name, py, cc in [
            ("type 1,000 mixed characters", lambda: python_type(service, text),
             lambda: cxx(service, side, "type", text)),
            ("10,000 moves", lambda: python_move(service, moves),
             lambda: cxx(service, side, "move", str(moves))),
        ]:
            py_times, cc_times = [], []
            for _ in range(runs):  # interleaved, so that both sides see the same machine
                cc_times.append(cc())
                py_times.append(py())
            p, c = statistics.median(py_times), statistics.median(cc_times)
            rows.append((name, f"{p * 1000:.1f} ms", f"{c * 1000:.1f} ms", f"{p / c:.2f}x"))
    imp_virelo, imp_json = import_time("virelo", runs * 2), import_time("json", runs * 2)
    rows.append(("import (less an empty start)", f"{imp_virelo * 1000:.1f} ms (virelo)",
                 f"{imp_json * 1000:.1f} ms (json)", f"{imp_virelo / max(imp_json, 1e-6):.2f}x"))
    print(f"| Python package, median of {runs} | Python | Baseline | Ratio |")
    print("|---|---|---|---|")
    for row in rows:
        print("| " + " | ".join(row) + " |")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
