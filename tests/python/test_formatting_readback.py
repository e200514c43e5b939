"""Every visible character of a random paragraph reads back with the
formatting a browser shows on it: bold, italic, code, strike and the link
target, on every road that writes Markdown (the rules of the comparison are
in formatting_readback)."""
import pytest

import tidewell
from formatting_readback import (
    ROADS,
    Element,
    check,
    make_reader,
    read_formatting,
    reference_bound,
    shown_formatting,
)


def reader():
    pytest.importorskip("markdown_it")
    return make_reader()


def _e(tag, *children, href=None):
    return Element(tag, list(children), href)


# A paragraph, Markdown that reads back as it shows, and whether plain
# CommonMark needs a character reference beside a marker to write it.
@pytest.mark.parametrize("nodes, markdown, needs_reference", [
    (["a", _e("b", "b"), "c"], "a**b**c", False),
    (["a", _e("b", ".x")], "&#97;**.x**", True),
    (["a ", _e("b", ".x")], "a **.x**", False),
    ([_e("b", "x."), "y"], "**x.**&#121;", True),
    ([_e("b", "x."), " y"], "**x.** y", False),
    (["x", _e("s", _e("b", "y"))], "&#120;~~**y**~~", True),
    (["x", _e("b", _e("i", "y"))], "x***y***", False),
    ([_e("i", "a"), _e("b", ".b")], "_a_**.b**", False),
    (["a", _e("b", _e("code", "x"))], "&#97;**`x`**", True),
    ([_e("code", "a"), _e("b", _e("code", "b"))], "`a`**`b`**", False),
    (["a", _e("b", _e("a", ".x", href="u"))], "a[**.x**](u)", False),
    ([_e("a", "x", href="u"), _e("a", "y", href="v")], "[x](u)[y](v)", False),
    (["a", _e("b", "\u00a0.x")], "a\u00a0**.x**", False),
    ([_e("b", " "), "x"], "x", False),
    ([_e("del", "a~b")], "~~a\\~b~~", False),
])
def test_formatting_rules(nodes, markdown, needs_reference):
    shown = shown_formatting(nodes, strikes=True)
    assert (reference_bound(shown) is not None) == needs_reference
    read = read_formatting(markdown, reader())
    assert [(c, f) for c, f in read if not c.isspace()] == [(c, f) for c, f in shown if not c.isspace()]


@pytest.mark.parametrize("road", ROADS)
@pytest.mark.parametrize("seed", range(3))
def test_random_paragraphs_read_back_with_their_formatting(road, seed):
    markdown_reader = reader()
    faults = [result.explain() for index in range(300)
              if (result := check(tidewell, markdown_reader, road, seed, index)).kind in ("text", "formatting")]
    assert not faults, "\n".join(faults[:5])
