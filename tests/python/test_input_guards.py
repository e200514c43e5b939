"""Refused input and input preparation, seen through convert."""
import pytest

import tidewell
from roads import EVERY_ROAD, road_id


@pytest.mark.parametrize(
    "text, message",
    [
        ("%PDF-1.7\n...", "Invalid input: binary data detected (PDF data); decode/decompress to UTF-8 HTML first"),
        ("%PDF-", "Invalid input: binary data detected (PDF data); decode/decompress to UTF-8 HTML first"),
        ("PK\x03\x04rest", "Invalid input: binary data detected (zip archive); decode/decompress to UTF-8 HTML first"),
        ("PK\x07\x08", "Invalid input: binary data detected (zip archive); decode/decompress to UTF-8 HTML first"),
        ("a\x00" * 3 + "b" * 20 + "\x00" * 9, "Invalid input: binary data detected (excess NUL bytes)"),
        ("\x01" * 13 + "a" * 27, "Invalid input: binary data detected (excess control bytes)"),
        (
            # UTF-16 whose second half encodes UTF-16 again: the transcoded
            # text still looks like UTF-16
            "a\x00" * 4096 + "b\x00\x00\x00" * 2048,
            "Invalid input: binary data detected (UTF-16 data without BOM); decode to UTF-8 HTML first",
        ),
    ],
)
@pytest.mark.parametrize("fn", [tidewell.convert, tidewell.convert_to_markdown])
def test_refusals(fn, text, message):
    with pytest.raises(ValueError) as info:
        fn(text)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "text",
    ["%PDF", "\x01" * 12 + "a" * 28, "\x02" * 31, "a\x00b", "PK\x03"],
)
def test_accepted(text):
    assert isinstance(tidewell.convert_to_markdown(text), str)


def test_refusal_on_every_road():
    for strategy in ["auto", "tier2", "fast_dom", "quillmoor"]:
        with pytest.raises(ValueError, match="PDF data"):
            tidewell.convert("%PDF-1.4 <p>", {"tier_strategy": strategy})


def test_utf16_text_is_transcoded():
    text = "".join(c + "\x00" for c in "hi &amp; bye")
    assert tidewell.convert_to_markdown(text) == "hi & bye\n"
    text_be = "".join("\x00" + c for c in "hi &amp; bye")
    assert tidewell.convert_to_markdown(text_be) == "hi & bye\n"


def test_nul_and_line_endings_are_normalised():
    assert tidewell.convert_to_markdown("a\x00b\r\nc &amp;") == "ab\nc &\n"
    assert tidewell.convert_to_markdown("a\rb", {"whitespace_mode": "strict"}) == "a\nb\n"


@pytest.mark.parametrize("options", EVERY_ROAD + [{"wrap": True}, {"output_format": "plain"}], ids=road_id)
@pytest.mark.parametrize("html", [
    "<p>x</p>",
    "plain words",  # the plain-text shortcut, taken before any preparation
    "a &amp; b",
    "<pre>a\r\nb</pre>",  # prepared on every road
    "<p>a\x00b</p>",
    "<html><head><title>T</title></head><body><p>x</p></body></html>",  # front matter first
])
def test_leading_byte_order_mark_is_dropped(html, options):
    # What open(f, encoding="utf-8").read() gives for a file saved with a
    # byte-order mark: the mark is no text, as for an HTML reader.
    assert tidewell.convert_to_markdown("\ufeff" + html, options) == tidewell.convert_to_markdown(html, options)
    # Only the first one goes: another is a character of the text.
    assert "\ufeff" in tidewell.convert_to_markdown("\ufeff\ufeff" + html, options)
