"""The wire behaviour of the Python client: the command cases of the protocol's transcripts, each
command sent through the bindings' call for it."""

from __future__ import annotations

import os

import pytest

from conftest import StartService
from transcripts import Case, Player, cases

FOLDER = os.environ.get("VIRELO_TRANSCRIPTS",
                        os.path.join(os.path.dirname(__file__), "..", "protocol"))
TOPICS = ["commands", "keyboard", "consumer", "pointer", "motion", "not_ready"]
CASES = cases(FOLDER, TOPICS)


@pytest.mark.parametrize("case", CASES, ids=[c.name for c in CASES])
def test_transcript(case: Case, start_service: StartService) -> None:
    service = start_service(backend=case.header.get("backend", "corehid"),
                            world=case.header.get("world"))
    Player(service).play(case)
