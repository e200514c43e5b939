"""The CommonMark spec examples survive a round trip: their HTML converted to
Markdown and read back by markdown-it-py gives the same page (see
tools/commonmark_roundtrip.py for the normalisation). The floor is the count
reached so far; a change that loses an example fails here."""
import importlib.util
from pathlib import Path

import pytest

from corpus import corpus_path

FLOOR = 553

_TOOL = Path(__file__).resolve().parents[2] / "tools" / "commonmark_roundtrip.py"


def _tool():
    spec = importlib.util.spec_from_file_location("commonmark_roundtrip", _TOOL)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def test_commonmark_examples_survive_the_round_trip():
    pytest.importorskip("markdown_it")
    corpus_path("commonmark", "examples.json")
    passed, chosen = _tool().run()
    assert chosen == 655
    assert passed >= FLOOR, f"{passed}/655 examples survive, the floor is {FLOOR}"
