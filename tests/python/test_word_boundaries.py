"""White space at element boundaries.

White space between two pieces of text (a line feed included) is never lost
because an element boundary falls inside it: at most it is folded to one
space. And white space that comes from the text never starts a line (four
spaces there make Markdown read the text as code).

The assertions look at the words as a reader of the rendered Markdown sees
them, not at the markup, so that they hold whatever markup an element's
handler writes around its content.
"""
import re

import pytest

import tidewell
from corpus import corpus_path

# Every inline element the walk knows, elements without a handler of their
# own, and the transparent containers.
INLINE = (
    "b i s u em rb rt rp del ins sub sup kbd var dfn rtc mark samp abbr ruby span small strong "
    "code time data font cite bdi tt x-tag"
).split()
LINK = ['a href="https://example.org/x"']
ELEMENTS = INLINE + LINK


def element(spec, content):
    name = spec.split()[0]
    return f"<{spec}>{content}</{name}>"


def rendered_words(markdown):
    """The text a reader sees: link targets and inline markup characters
    removed (without adding spaces, so markup that joins words still joins
    them). A link without text shows its target: that label goes too."""
    text = re.sub(r"\[([^\]]*)\]\(\1\)", "", markdown)
    text = re.sub(r"\]\([^)]*\)", "]", text)
    return re.sub(r"[*_`~=^\[\]()\\]", "", text)


def assert_separated(markdown, first="alpha", second="omega"):
    words = rendered_words(markdown)
    assert re.search(rf"{first}\s+{second}", words), repr(markdown)


PATTERNS = {
    "line feed before": "<p>alpha\n{omega}</p>",
    "space before": "<p>alpha {omega}</p>",
    "line feed at the start": "<p>alpha{\nomega}</p>",
    "spaces at the start": "<p>alpha{   omega}</p>",
    "line feed at the end": "<p>{alpha\n}omega</p>",
    "space at the end": "<p>{alpha }omega</p>",
    "line feed after": "<p>{alpha}\nomega</p>",
    "tab after": "<p>{alpha}\tomega</p>",
    "only white space": "<p>alpha{\n}omega</p>",
    "nested, line feed at the end": "<p><span>{alpha}\n</span>omega</p>",
    "in a div, line feed before": "<div>alpha\n{omega}</div>",
    "in a div, line feed at the end": "<div>{alpha\n}omega</div>",
    "in a heading": "<h2>alpha\n{omega}</h2>",
    "top level": "alpha\n{omega}",
}


def fill(pattern, spec):
    """The pattern with its {...} part wrapped in the element."""
    return re.sub(r"\{(.*?)\}", lambda match: element(spec, match.group(1)), pattern, flags=re.S)


@pytest.mark.parametrize("pattern", PATTERNS.values(), ids=PATTERNS.keys())
@pytest.mark.parametrize("spec", ELEMENTS, ids=[e.split()[0] for e in ELEMENTS])
def test_words_stay_apart_at_element_boundaries(spec, pattern):
    html = fill(pattern, spec)
    assert_separated(tidewell.convert_to_markdown(html))
    assert_separated(tidewell.convert(html, {"output_format": "plain"})["content"])
    assert_separated(tidewell.convert(html, {"parser_backend": "asm_tl"})["content"])


@pytest.mark.parametrize(
    "html",
    [
        "<p>Posted by\n<span>Ned</span></p>",
        "<p><span><b>alpha</b>\n</span>omega</p>",
        "<p>alpha<span><span>\n</span></span>omega</p>",
        "<p>alpha<!-- c -->\n<span>omega</span></p>",
        "<div><p>x</p>alpha\n<span>omega</span></div>",
        "<div>alpha<span> </span><span>\n</span>omega</div>",
        "<p>alpha<time>\n</time>omega</p>",
        "<div>alpha<x-a>\n\n</x-a>omega</div>",
    ],
)
@pytest.mark.parametrize("whitespace_mode", ["normalized", "strict"])
def test_issue_examples_and_nesting(html, whitespace_mode):
    first, second = ("by", "Ned") if "Posted" in html else ("alpha", "omega")
    assert_separated(tidewell.convert_to_markdown(html, {"whitespace_mode": whitespace_mode}), first, second)


@pytest.mark.parametrize(
    "html, options",
    [
        ("<div>alpha</div><div>omega</div>", {"convert_as_inline": True}),
        ("<p>alpha</p><p>omega</p>", {"convert_as_inline": True}),
        ("<p>alpha</p><h1>omega</h1>", {"convert_as_inline": True}),
        ("<span>alpha</span><div><p>omega</p></div>", {"convert_as_inline": True}),
    ],
)
def test_blocks_in_running_text_separate_words(html, options):
    assert_separated(tidewell.convert_to_markdown(html, options))


def lines_starting_with_white_space(markdown):
    return [line for line in markdown.splitlines() if line[:1] in (" ", "\t")]


@pytest.mark.parametrize(
    "html, expected",
    [
        ("<p>a</p>    <span>Updated</span>", "a\n\nUpdated\n"),
        ("<div>\t\t\t<b>x</b>   y</div>", None),
        ("<p>a<br>    <span>b</span></p>", "a  \nb\n"),
        ("<div>a\n      b</div>", "a\nb\n"),
        ("<div>a\n\t\t\tb</div>", "a\nb\n"),
        ("<div>a\n\n      b</div>", "a\nb\n"),
        ("<body>\n    <span>Updated</span>\n</body>", "Updated\n"),
        ("    text", "text\n"),
        ("<p>a</p>\n        <x-y>   lead</x-y>", "a\n\nlead\n"),
        ("<h1>T</h1>\n    <em>after</em> the heading", None),
        ("<p>  a  </p><p>\n\n    b</p>", "a\n\nb\n"),
        ("<div><p>a</p>\n    <i>b</i>\n    <i>c</i></div>", None),
        ("<p>a</p>\u00a0\u00a0\u00a0\u00a0<span>b</span>", "a\n\nb\n"),
    ],
)
@pytest.mark.parametrize("backend", ["copperfern-tl", "asm_tl"])
def test_white_space_from_text_never_starts_a_line(html, expected, backend):
    out = tidewell.convert_to_markdown(html, {"parser_backend": backend})
    assert lines_starting_with_white_space(out) == []
    if expected is not None:
        assert out == expected


@pytest.mark.parametrize("spec", ELEMENTS, ids=[e.split()[0] for e in ELEMENTS])
def test_no_element_indents_text_after_a_block(spec):
    html = "<p>a</p>\n    " + element(spec, "   Updated") + "\n    " + element(spec, "\tagain")
    out = tidewell.convert_to_markdown(html)
    assert lines_starting_with_white_space(out) == []
    assert_separated(out, "Updated", "again")


def test_strict_mode_keeps_white_space_as_written():
    assert tidewell.convert_to_markdown("<p>a   b</p>", {"whitespace_mode": "strict"}) == "a   b\n"


@pytest.mark.parametrize(
    "path, expected, wrong",
    [
        (("trafilatura", "pages", "blog.python.org.html"), r"Posted by\s+Ned Deily", "byNed"),
        (("readability", "pages", "nytimes-1.html"), r"GETTLEMAN\s+JAN\. 13, 2017", "GETTLEMANJAN"),
    ],
)
def test_real_pages(path, expected, wrong):
    html = corpus_path(*path).read_text(encoding="utf-8")
    for options in ({}, {"output_format": "plain"}):
        out = tidewell.convert(html, options)["content"]
        assert re.search(expected, rendered_words(out))
        assert wrong not in rendered_words(out)
