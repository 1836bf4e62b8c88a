"""Plays the protocol's conformance transcripts (tests/protocol/*.jsonl) through the Python
package's client: each "send" becomes the binding's call of the same command, each "expect" is
checked against what that call returned or raised, and the host's trace is checked as the C++
runner checks it. Cases with steps only a raw connection can take (raw bytes, padding, several
connections at once, the control socket, silence) are not the client's to play and are left out."""

from __future__ import annotations

import json
import os
import time
from dataclasses import dataclass, field
from typing import Any

import virelo
from virelo import _virelo

CLIENT_STEPS = {"send", "expect", "latest", "trace", "sleep", "closed"}
CLIENT_COMMANDS = {"hello", "status", "reset", "stop_motion", "keyboard", "consumer", "buttons",
                   "move", "wheel", "motion"}
ACK = {"ok": True, "ready": True}


@dataclass
class Case:
    name: str
    header: dict[str, Any]
    steps: list[dict[str, Any]] = field(default_factory=list)

    def playable(self) -> bool:
        for step in self.steps:
            if not CLIENT_STEPS.issuperset(k for k in step if k not in ("times", "client")):
                return False
            if step.get("client", "a") != "a" or "pad_to" in step:
                return False
            if "send" in step and step["send"].get("cmd") not in CLIENT_COMMANDS:
                return False
            if step.get("send", {}).get("cmd") == "hello" and step["send"].get("token") != "$TOKEN":
                return False
        return bool(self.steps) and self.steps[0].get("send", {}).get("cmd") == "hello"


def load(path: str) -> list[Case]:
    cases: list[Case] = []
    with open(path, encoding="utf-8") as file:
        for line in file:
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            value = json.loads(line)
            if "case" in value:
                cases.append(Case(value["case"], value))
            else:
                cases[-1].steps.append(value)
    return cases


def _time(value: Any) -> int | None:
    """"$NOW", "$NOW-5ms", "$NOW+500ms" on the service's clock (CLOCK_MONOTONIC), or a number."""
    if not isinstance(value, str):
        return value
    now = time.monotonic_ns()
    rest = value.removeprefix("$NOW")
    return now + int(rest.removesuffix("ms")) * 1_000_000 if rest else now


def _contains(event: dict[str, Any], pattern: dict[str, Any]) -> bool:
    return all(event.get(k) == v for k, v in pattern.items())


class Player:
    def __init__(self, service: Any) -> None:
        self.service = service
        self.client: _virelo.Client | None = None
        self.outcome: Any = None  # the last call's reply (a dict) or error
        self.trace_mark = 0

    def send(self, command: dict[str, Any]) -> None:
        name = command["cmd"]
        try:
            if name == "hello":
                launcher = self.service.launcher
                self.client = _virelo.Client.open(launcher.socket, launcher.token)
                s = self.client.hello_status()
                self.outcome = {"ok": s.ok, "ready": s.ready, "backend": s.backend,
                                "protocol": s.protocol}
                return
            assert self.client is not None
            c = self.client
            if name == "status":
                s = c.status()
                self.outcome = {"ok": s.ok, "ready": s.ready}
                if s.error is not None:
                    self.outcome |= {"error": s.error, "backend": s.backend,
                                     "protocol": s.protocol}
                return
            if name == "keyboard":
                c.keyboard(command["modifiers"], set(command["keys"]), command.get("fn", False))
            elif name == "consumer":
                c.consumer(set(command["usages"]))
            elif name == "buttons":
                c.buttons(command["buttons"])
            elif name == "move":
                c.move(command["dx"], command["dy"], command.get("snap", False))
            elif name == "wheel":
                c.wheel(command["amount"])
            elif name == "motion":
                stale = c.motion(command["dx"], command["dy"], _time(command.get("t_ns")))
                self.outcome = ACK | {"dropped": "stale_motion"} if stale else ACK
                return
            elif name == "reset":
                c.reset()
            elif name == "stop_motion":
                c.stop_motion()
            self.outcome = ACK
        except virelo.Error as error:
            self.outcome = error

    def expect(self, expected: dict[str, Any]) -> None:
        outcome = self.outcome
        if expected.get("error") == "virtual_hid_protocol_error":
            assert isinstance(outcome, virelo.ProtocolError), outcome
        elif isinstance(outcome, virelo.ServiceNotReady):
            assert expected.get("ok") is False and expected.get("error") == outcome.code
        else:
            assert isinstance(outcome, dict), outcome
            assert {k: v for k, v in outcome.items() if k in expected} == expected
            assert set(expected) <= set(outcome), (expected, outcome)

    def trace(self, pattern: dict[str, Any], times: int) -> None:
        def found(events: list[dict[str, Any]]) -> bool:
            matches = [i for i, e in enumerate(events)
                       if i >= self.trace_mark and _contains(e, pattern)]
            if len(matches) < times:
                return False
            self.trace_mark = matches[times - 1] + 1
            return True
        assert self.service.trace.wait_for(found), pattern

    def latest(self, pattern: dict[str, Any]) -> None:
        def holds(events: list[dict[str, Any]]) -> bool:
            same = [e for e in events if e.get("event") == pattern["event"]
                    and ("device" not in pattern or e.get("device") == pattern["device"])]
            return bool(same) and _contains(same[-1], pattern)
        assert self.service.trace.wait_for(holds), pattern

    def play(self, case: Case) -> None:
        for step in case.steps:
            if "send" in step:
                self.send(step["send"])
            elif "expect" in step:
                self.expect(step["expect"])
            elif "trace" in step:
                self.trace(step["trace"], step.get("times", 1))
            elif "latest" in step:
                self.latest(step["latest"])
            elif "sleep" in step:
                time.sleep(step["sleep"] / 1000)
            elif "closed" in step:
                assert self.client is not None and not self.client.connected


def cases(folder: str, topics: list[str]) -> list[Case]:
    found: list[Case] = []
    for topic in topics:
        found += [c for c in load(os.path.join(folder, f"{topic}.jsonl")) if c.playable()]
    return found
