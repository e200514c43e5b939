"""Where the tests find the shared corpus, and what they do without it.

The corpus lives beside the checkout, at ../shared/corpus (see the README).
A test that needs it and does not find it is skipped, or fails when
TIDEWELL_REQUIRE_CORPUS=1 (CI sets it, so a missing corpus cannot pass
unnoticed).
"""
import os
from pathlib import Path

import pytest

CORPUS = Path(__file__).resolve().parents[2].parent / "shared" / "corpus"


def corpus_missing(path):
    """Skips the calling test, or fails it when the corpus is required."""
    message = f"corpus not found at {path} (it belongs at ../shared/corpus, see the README)"
    if os.environ.get("TIDEWELL_REQUIRE_CORPUS") == "1":
        pytest.fail(message)
    pytest.skip(message)


def corpus_path(*parts):
    """The path under the corpus; skips or fails the test when it is absent."""
    path = CORPUS.joinpath(*parts)
    if not path.exists():
        corpus_missing(path)
    return path


def corpus_pages():
    """Every real page of the corpus, sorted."""
    pages = sorted(CORPUS.glob("*/pages/*.html"))
    if not pages:
        corpus_missing(CORPUS)
    return pages


# The two trafilatura pages that declare ISO-8859-1 and are not UTF-8.
LATIN1_PAGES = ["cdu-fraktion-erfurt.de.waldorfschule.html", "landwirt.com.sensortechnik.html"]


def read_page(path):
    """A page's text, decoded the way its bytes are meant."""
    raw = path.read_bytes()
    return raw.decode("latin-1" if path.name in LATIN1_PAGES else "utf-8")
