"""The plain-text road: text without markup converts without a parser."""
import pytest

import tidewell


@pytest.mark.parametrize(
    "text, options, expected",
    [
        ("", {}, ""),
        ("\n\n\n", {}, ""),
        ("   ", {}, "\n"),
        ("a", {}, "a\n"),
        ("a\n\n\n", {}, "a\n"),
        ("a\nb", {"strip_newlines": True}, "a b\n"),
        ("a\n", {"strip_newlines": True}, "a\n"),
        ("a\r\nb", {"strip_newlines": True}, "a b\n"),  # CR LF became LF first
        ("x &amp; y", {}, "x & y\n"),
        ("x &amp; y", {"escape_misc": True}, "x \\& y\n"),
        ("a  b\u00a0\u00a0c", {}, "a b c\n"),
        ("a  b\t\tc", {"whitespace_mode": "strict"}, "a  b\t\tc\n"),
        ("  lead and trail \t ", {}, "lead and trail\n"),  # white space never starts a line
        ("a\n    b\n\t\tc", {}, "a\nb\nc\n"),
        ("a\n    b", {"whitespace_mode": "strict"}, "a\n    b\n"),
        ("*a* _b_ 3.5", {"escape_asterisks": True, "escape_underscores": True}, "\\*a\\* \\_b\\_ 3.5\n"),
        ("3.5 and 2) and x.y", {"escape_misc": True}, "3\\.5 and 2\\) and x.y\n"),
        ("*a*", {"escape_ascii": True, "escape_asterisks": True}, "\\*a\\*\n"),
        ("*a* #b", {"output_format": "plain", "escape_ascii": True}, "*a* #b\n"),
        ("&lt;p&gt;", {}, "\\<p>\n"),
        ("&nosuch; &amp", {}, "&nosuch; &amp\n"),
    ],
)
def test_plain_text(text, options, expected):
    assert tidewell.convert_to_markdown(text, options) == expected


@pytest.mark.parametrize("strategy", ["auto", "tier2", "fast_dom", "quillmoor"])
def test_plain_text_ignores_strategy(strategy):
    assert tidewell.convert_to_markdown("just text", {"tier_strategy": strategy}) == "just text\n"


def test_plain_text_result_carries_no_metadata():
    result = tidewell.convert("x", {"include_document_structure": True})
    assert result["document"] is None
    assert result["tables"] == []
    assert result["metadata"]["document"]["title"] is None


def test_reference_on_tier2_road_decodes_only_there():
    # A text holding '&' leaves the shortcut and reaches the plain-text road
    # with decoding on; one without '&' takes the shortcut unchanged.
    assert tidewell.convert_to_markdown("a &#65; b") == "a A b\n"
    assert tidewell.convert_to_markdown("a #65; b") == "a #65; b\n"
