"""Wrapping never creates lists, headings, quotes or code.

A line that `wrap` breaks never begins with what Markdown reads as a block
marker ("-", "+", "*", "#", ">", a number followed by "." or ")", a run of
"=" or "-", a fence): the break moves back a word, or is not made.
"""
import re

import pytest

import tidewell
from corpus import corpus_path

MARKER = re.compile(r"^[ \t]*(?:[-+*](?:[ \t]|$)|#{1,6}(?:[ \t]|$)|>|\d{1,9}[.)](?:[ \t]|$)|=+[ \t]*$|-{3,}|```|~~~)")


def marker_lines(markdown):
    return [line for line in markdown.splitlines() if MARKER.match(line)]


def unquoted_marker_lines(markdown):
    return [line for line in marker_lines(markdown) if not line.lstrip().startswith(">")]


def words(markdown):
    # A wrapped quote repeats its ">" on every line.
    return [w for w in markdown.split() if w.strip(">")]


TEXTS = [
    "Version 13 raised the payload size to 2^15 - 1. Now that the length is known, the frame goes out.",
    "Vypadalo to jednoduše, ale - jak se zdá - nebylo to tak.",
    "Scores: 3 + 4 * 2 = 11 # checked > expected; see item 2) and item 10. Then === and --- and ``` "
    "and ~~~ and ## and > quoted.",
]


@pytest.mark.parametrize("text", TEXTS, ids=["ordered", "bullet", "everything"])
@pytest.mark.parametrize("width", [1, 4, 7, 10, 13, 17, 20, 25, 32, 40, 60])
def test_wrapped_paragraph_lines_start_no_block(text, width):
    out = tidewell.convert_to_markdown(f"<p>{text}</p>", {"wrap": True, "wrap_width": width})
    assert marker_lines(out) == []
    assert words(out) == words(text)


@pytest.mark.parametrize(
    "page, phrase",
    [
        ("ars-1.html", "`2^15 - 1`."),
        ("aktualne.html", "ale - jak se zd"),
    ],
)
@pytest.mark.parametrize("width", [20, 40, 80])
def test_real_pages(page, phrase, width):
    html = corpus_path("readability", "pages", page).read_text(encoding="utf-8")
    flat = tidewell.convert_to_markdown(html)
    wrapped = tidewell.convert_to_markdown(html, {"wrap": True, "wrap_width": width})
    assert phrase in flat
    assert words(wrapped) == words(flat)
    # Wrapping adds no line that starts a block (a wrapped quote repeats its
    # ">" on every line it fills; those lines go on with the same quote).
    assert len(unquoted_marker_lines(wrapped)) <= len(unquoted_marker_lines(flat))
