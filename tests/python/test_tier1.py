"""The tier-1 road: "auto" with options that match the single-pass scanner.

The scanner converts a narrow subset of HTML in one pass and returns the
content alone (no document structure, no metadata); anything outside the
subset makes it give up, and the call then gives exactly what "tier2" gives.
Asking for the document structure tells the roads apart: the DOM road always
returns one, the scanner never does.
"""
import json
import subprocess
import sys

import pytest

import tidewell
from expected import EMPTY_METADATA
from formatting_readback import NBSP, Element, compare, make_reader, paragraph_html, read_formatting, shown_formatting
from test_word_boundaries import ELEMENTS, PATTERNS, assert_separated, fill

# The options the scanner implements: the defaults but for indented code
# blocks and highlighted text without markup.
TIER1 = {"code_block_style": "indented", "highlight_style": "none", "include_document_structure": True}


def scanned(html, **options):
    """The content when the scanner converted the text, else None."""
    result = tidewell.convert(html, {**TIER1, **options})
    if result["document"] is not None:
        return None
    assert result["metadata"] == EMPTY_METADATA
    assert result["tables"] == []
    return result["content"]


OUTPUTS = {
    "paragraph with strong": ("<p>Hello <b>world</b></p>", "Hello **world**\n"),
    "two paragraphs": ("<p>a</p><p>b</p>", "a\n\nb\n"),
    "containers stand apart": ("<div>a</div><div>b</div>", "a\n\nb\n"),
    "heading closed by another level": ("<h1>x</h2>", "## x\n"),
    "heading of a space": ("<p>a</p><h1> </h1>", "a\n"),
    "list items without end tags": ("<ul><li>a<li>b</ul>", "- a\n- b\n"),
    "ordered from 3": ("<ol start=3><li>a<li>b</ol>", "3. a\n4. b\n"),
    "ordered from 0 counts from 1": ("<ol start=0><li>a</ol>", "1. a\n"),
    "text after a list is no item": ("<ul><li>a</li></ul>after", "- a\n\nafter\n"),
    "quote after a paragraph": ("<p>a</p><blockquote>q</blockquote>", "a\n> q\n"),
    "text after a quote": ("<blockquote>q</blockquote>after", "> q\n\nafter\n"),
    "code block": ("<pre>\n  a\n    b\n</pre>", "    a\n      b\n"),
    "code block keeps spaces, decodes references": ("<pre>a   b &lt;</pre>", "    a   b <\n"),
    "link with title": ('<a href="u" title="t">x</a>', '[x](u "t")\n'),
    "link without href": ("<a>x</a>", "x\n"),
    "unquoted href keeps its slashes": ("<a href=https://e.x/p>t</a>", "[t](https://e.x/p)\n"),
    "unquoted src keeps its slashes": ("<img src=/i/a.png alt=x>", "![x](/i/a.png)\n"),
    "image without source or alt text writes nothing": ("<p>a<img>b<img src='' title=t>c</p>", "abc\n"),
    "image with alt text and no source": ("<p>a<img alt=x>b</p>", "a![x]()b\n"),
    "break": ("<p>a<br>b</p>", "a  \nb\n"),
    "rule": ("a<hr>b", "a\n\n---\nb\n"),
    "comment and doctype skipped": ("<!DOCTYPE html><!-- c --><p>a</p>", "a\n"),
    "references": ("<p>a &lt; b &amp; c &#65;&#x42; &hearts;</p>", "a < b & c AB \u2665\n"),
    "nul reference": ("<p>a&#0;b</p>", "a\ufffdb\n"),
    "spaces fold": ("<p>a  \t b</p>", "a b\n"),
    "table": (
        "<table><tr><th>name</th><th>n</th></tr><tr><td>\u00e9t\u00e9</td><td>1</td></tr></table>",
        "| name | n |\n| ---- | --- |\n| \u00e9t\u00e9  | 1 |\n",
    ),
    "text after a table": ("<table><tr><td>a</td></tr></table>b", "| a |\n| --- |\n\nb\n"),
    "emphasis spaces move out": ("<p>a <b> x </b>y</p>", "a **x** y\n"),
    "empty emphasis writes nothing": ("<p><b></b></p>", ""),
    "empty code writes nothing": ("<p>x<code></code>y</p>", "xy\n"),
    "self-closing paragraph": ("<p/>x<div/>y", "x\n\ny\n"),
    "quotes in a row stay two": ("<blockquote>a</blockquote><blockquote>b</blockquote>", "> a\n\n> b\n"),
    "nested emphasis": ("<p><b><i>x</i></b></p>", "***x***\n"),
    "anchor without address in emphasis": ("<p><b><a>x</a></b> <i>a<a>b</a></i></p>", "**x** *ab*\n"),
    "no-break space opening an anchor without address": ("<p><b><a>&nbsp;x</a></b></p>", "\u00a0**x**\n"),
    "no-break spaces at emphasis edges in cells": (
        "<table><tr><td>x<b>&nbsp;a</b></td><td><i>b&nbsp;</i>c</td></tr></table>",
        "| x\u00a0**a** | *b*\u00a0c |\n| ------- | ----- |\n",
    ),
    "link and formatting in code are their text": ("<p><code><a href=/x>Foo</a> <b>b</b></code></p>", "`Foo b`\n"),
    "form holding the page": ("<form method=post><h1>T</h1><p>a</p></form>", "# T\n\na\n"),
    "form holding an article": ("<form><div><article>a</article></div></form><p>b</p>", "a\n\nb\n"),
}


@pytest.mark.parametrize("html, expected", OUTPUTS.values(), ids=OUTPUTS.keys())
def test_scanner_output(html, expected):
    assert scanned(html) == expected


def _e(tag, *children):
    return Element(tag, list(children))


# Emphasis the scanner writes itself, read back with the page's formatting.
# White space other than a space at the edge of emphasis stands outside its
# markers, as it is: a marker beside it would not open or close. Strong
# emphasis inside strong emphasis writes no markers of its own. Emphasis of
# the other kind that opens the content closes on the inner part of the run
# of three. Emphasis right after a neighbour's closing marker is written
# when it shows nothing.
EMPHASIS_SHAPES = {
    "no-break space alone": ([_e("b", NBSP)], NBSP + "\n"),
    "no-break space between words": (["a", _e("i", NBSP), "b"], f"a{NBSP}b\n"),
    "no-break space first": (["x", _e("b", NBSP + "a")], f"x{NBSP}**a**\n"),
    "no-break space last": ([_e("b", "a" + NBSP), "x"], f"**a**{NBSP}x\n"),
    "space and no-break space first": (["x", _e("b", " " + NBSP + "a")], f"x {NBSP}**a**\n"),
    "no-break space after punctuation": ([_e("b", "." + NBSP), "b"], f"**.**{NBSP}b\n"),
    "no-break space in a span first": ([_e("b", _e("span", NBSP), "a")], f"{NBSP}**a**\n"),
    "no-break space before nested emphasis": ([_e("b", "x", _e("i", NBSP + "a"))], f"**x{NBSP}*a***\n"),
    "no-break space closing nested emphasis": ([_e("b", _e("i", "a" + NBSP))], f"***a***{NBSP}\n"),
    "emphasis of a no-break space closing emphasis": ([_e("i", "a", _e("b", NBSP))], f"*a*{NBSP}\n"),
    "em space last": ([_e("b", "a\u2003"), "x"], "**a**\u2003x\n"),
    "ideographic space alone": (["a", _e("b", "\u3000"), "b"], "a\u3000b\n"),
    "strong in strong": ([_e("b", "a ", _e("strong", "b")), " ", _e("b", _e("strong", "c"))], "**a b** **c**\n"),
    "strong in strong mid-word": ([_e("b", "a", _e("b", "b"), "c")], "**abc**\n"),
    "emphasis in strong in strong": ([_e("b", "x", _e("strong", _e("i", "y"), "z"))], "**x*y*z**\n"),
    "emphasis opening in strong in strong": ([_e("b", _e("strong", _e("i", "y")))], "***y***\n"),
    "emphasis opening in a span in strong": ([_e("b", _e("span", _e("i", "y"), " z"))], "***y* z**\n"),
    "strong opening emphasis before a letter": ([_e("i", _e("b", "a"), "a")], "***a**a*\n"),
    "emphasis opening strong before a letter": ([_e("b", _e("i", "a"), "a")], "***a*a**\n"),
    "strong opening emphasis before punctuation": ([_e("i", _e("b", "a"), "\u201d")], "***a**\u201d*\n"),
    "empty emphasis after emphasis": ([_e("i", _e("b", "a"), "a"), _e("i"), " ", _e("b", "x"), _e("i", " "), "y"],
                                      "***a**a* **x** y\n"),
}


@pytest.mark.parametrize("nodes, expected", EMPHASIS_SHAPES.values(), ids=EMPHASIS_SHAPES.keys())
def test_emphasis_reads_back(nodes, expected):
    assert scanned(paragraph_html(nodes)) == expected
    pytest.importorskip("markdown_it")
    assert compare(shown_formatting(nodes, strikes=False), read_formatting(expected, make_reader())) is None


def test_default_options_never_scan():
    html = "<p>Hello <b>world</b></p>"
    assert tidewell.convert(html, {"include_document_structure": True})["document"] is not None
    assert scanned(html) == "Hello **world**\n"


@pytest.mark.parametrize(
    "options",
    [
        {"exclude_selectors": ["b"]},
        {"max_depth": 1},
        {"skip_images": True},
        {"wrap": True},
        {"escape_misc": True},
        {"bullets": "*"},
        {"link_style": "reference"},
        {"tier_strategy": "tier2"},
    ],
    ids=json.dumps,
)
def test_options_the_scanner_cannot_honour_take_the_dom_road(options):
    assert scanned("<p>a <b>b</b> <img src=x></p>", **options) is None


@pytest.mark.parametrize("options", [{"extract_metadata": False}, {"parser_backend": "asm_tl"},
                                     {"autolinks": False}, {"bullets": "-"}], ids=json.dumps)
def test_options_the_scanner_ignores(options):
    assert scanned("<ul><li>a</ul>", **options) == "- a\n"


# Inputs on which the scanner gives up, one per reason (and the prescan's
# flags): the call must give what "tier2" gives, whole.
GIVES_UP = {
    "custom element": "<p>a</p><x-card>b</x-card>",
    "svg": "<p>a</p><svg><circle/></svg>",
    "cdata": "<p><![CDATA[x]]></p>",
    "stray lt": "<p>1 < 2</p>",
    "head": "<html><head><title>T</title></head><body><p>x</p></body></html>",
    "script": "<p>a</p><script>var x = '<p>';</script>",
    "unknown element": "<center>a</center>",
    "list in a list": "<ul><li>a<ul><li>b</li></ul></li></ul>",
    "paragraph right after a marker": "<ul><li><p>a</p></li></ul>",
    "block in a link": '<a href="/x"><div>card</div></a>',
    "href with a space": '<a href="a b">x</a>',
    "title with a quote": "<a href=u title='say \"hi\"'>x</a>",
    "unpaired bracket in link text": "<a href=u>a]b</a>",
    "unknown reference": "<p>AT&T;</p>",
    "text that reads as a tag": "<p>&lt;b&gt; x</p>",
    "text that reads as a reference": "<p>&amp;amp; x</p>",
    "backslash before punctuation": "<p>a\\*b</p>",
    "unterminated comment": "<p>a</p><!-- b",
    "unclosed element": "<div><span>x</div>",
    "lone end tag": "</p>",
    "rowspan": "<table><tr><td rowspan=2>a</td></tr></table>",
    "break in a cell": "<table><tr><td>a<br>b</td></tr></table>",
    "pipe in a cell": "<table><tr><td>a|b</td></tr></table>",
    "caption": "<table><caption>c</caption><tr><td>a</td></tr></table>",
    "nested table": "<table><tr><td><table><tr><td>x</td></tr></table></td></tr></table>",
    "layout table": "<table><tr><td><a href=1>a</a><a href=2>b</a><a href=3>c</a></td></tr></table>",
    "text between cells": "<table>lost?<tr><td>a</td></tr></table>",
    "form": "<form><p>a</p></form><p>b</p>",
    "form after a page form": "<form><h1>T</h1></form><form><h2>a</h2></form><p>b</p>",
    "navigation": "<nav><a href=/>home</a></nav><p>b</p>",
    "hidden element": "<p hidden>secret</p><p>b</p>",
    "header with a class": '<header class="site-header">x</header><p>b</p>',
    "deep nesting": "<div>" * 300 + "x" + "</div>" * 300,
    "asterisk in emphasis": "<p><b>*</b> <i>2*3</i></p>",
    "asterisk reference in emphasis": "<p><b>a&#42;</b></p>",
    "emphasis after emphasis": "<p><i>a</i><i>b</i></p>",
    "emphasis in emphasis of its kind": "<p><i>a <em>b</em></i></p>",
    "emphasis after emphasis through an anchor without address": "<p><b>x</b><a><b>y</b></a></p>",
    "anchor without address after emphasis ending in punctuation": "<p><b>x.</b><a>y</a></p>",
    "emphasis of punctuation after a word": "<p>a<b>.</b></p>",
    "emphasis ending in punctuation before a word": "<p>a <b>x.</b>y</p>",
    "text starting with a list marker": "<p>- a x</p>",
    "text starting with a number marker": "<p>1. x</p>",
    "text starting with a quote marker": "<p>&gt; q</p>",
    "heading marker after a break": "<p>x<br># y</p>",
    "backslash in an alt text": '<p><img src="i.png" alt="a\\\\b"></p>',
    "number marker completed by the next text": "<p><del>1</del>.</p>",
    "run of three and a run that can open and close": "<p><b><em>a</em>a<em>a</em></b></p>",
    "code span beside a bracket in link text": "<p><a href='u'><code>[</code>]</a></p>",
    "emphasis of punctuation after a letter of another script": "<p>\u0436<b>.x</b></p>",
    "emphasis of quoted text after a word": "<p>a<b>\u201cx\u201d</b></p>",
    "emphasis ending in punctuation before a letter of another script": "<p><b>x.</b>\u0436</p>",
    "emphasis of code before a letter": "<p><b><code>x</code></b>\u00e9</p>",
    "emphasis of a blank code span before a word": "<p><strong><code> </code></strong>\u00e9ba</p>",
    "run that can open and close between punctuation past ASCII": "<p><b><i>x</i>,<i>\u20ac</i></b></p>",
    "emphasis holding a link first, far from the paragraph's start":
        "<p><i>" + "w " * 50 + "a</i>a<i><a href=u>x</a>,a)</i><b>a</b></p>",
}


@pytest.mark.parametrize("html", GIVES_UP.values(), ids=GIVES_UP.keys())
@pytest.mark.parametrize("extra", [{}, {"extract_metadata": False, "output_format": "markdown"}], ids=["", "nometa"])
def test_giving_up_gives_the_tier2_result(html, extra):
    options = {**TIER1, **extra}
    auto = tidewell.convert(html, options)
    assert auto["document"] is not None
    assert auto == tidewell.convert(html, {**options, "tier_strategy": "tier2"})
    assert tidewell.convert_to_markdown(html, options) == auto["content"]


def test_refused_input_is_refused_on_the_auto_road():
    with pytest.raises(ValueError, match="binary data detected"):
        tidewell.convert("%PDF-1.4 <p>", TIER1)


def test_text_without_markup():
    assert scanned("a &amp; b") == "a & b\n"
    assert tidewell.convert("", TIER1)["content"] == ""
    assert tidewell.convert("\0", TIER1)["content"] == ""


# --- front matter of a head the scanner did not read ---------------------------

def test_front_matter_of_a_commented_head():
    html = "<!--<head><title>Doc</title></head>--><p>x</p>"
    assert scanned(html) == "---\ntitle: Doc\n---\n\nx\n"
    assert scanned(html, extract_metadata=False) == "x\n"


@pytest.mark.parametrize(
    "value",
    ["Python Insider: Python 3.6.0 is now available!", "@heise", "#ffffff", "- dash", "yes", "12345",
     'quote " and back\\slash', "trailing ", "[1]"],
    ids=range(9),
)
def test_front_matter_reads_back(value):
    attr = value.replace("&", "&amp;").replace('"', "&quot;")
    html = f'<!--<head><title>T</title><meta name="k" content="{attr}"><link rel=canonical href="/c?a=1&amp;b=2"></head>--><p>x</p>'
    yaml = pytest.importorskip("yaml")
    content = scanned(html)
    block = content[4 : content.index("\n---\n", 3) + 1]
    assert yaml.safe_load(block) == {"canonical": "/c?a=1&b=2", "meta-k": value, "title": "T"}


def test_front_matter_folds_line_breaks():
    html = "<!--<head><title>A\n  title</title><meta name=d content='one\ntwo'></head>--><p>x</p>"
    assert scanned(html) == "---\nmeta-d: one two\ntitle: A title\n---\n\nx\n"


# --- the real-page mends hold on this road -------------------------------------


def test_json_ld_holding_markup_stays_whole():
    html = (
        '<head><title>T</title><script type="application/ld+json">'
        '{"@type":"NewsArticle","articleBody":"<body><p>x</p>"}</script></head><body><p>Real text</p></body>'
    )
    result = tidewell.convert(html, TIER1)
    assert "Real text" in result["content"]
    assert json.loads(result["metadata"]["structured_data"][0]["raw_json"])["articleBody"] == "<body><p>x</p>"


@pytest.mark.parametrize("pattern", PATTERNS.values(), ids=PATTERNS.keys())
@pytest.mark.parametrize("spec", ELEMENTS, ids=[e.split()[0] for e in ELEMENTS])
def test_words_stay_apart(spec, pattern):
    assert_separated(tidewell.convert_to_markdown(fill(pattern, spec), TIER1))


# White space from the text that must not start a line (the fast_dom tests
# use the same cases).
LINE_START_CASES = [
    "<p>a</p>    <span>Updated</span>",
    "<div>\t\t\t<b>x</b>   y</div>",
    "<div>a\n      b</div>",
    "<p>a<br>    <span>b</span></p>",
    "<ul><li>\n    a</li></ul>",
    "<blockquote>\n    q\n</blockquote>",
    "<p>a</p>\u00a0\u00a0\u00a0\u00a0<span>b</span>",
]


@pytest.mark.parametrize("html", LINE_START_CASES)
def test_white_space_from_text_never_starts_a_line(html):
    out = scanned(html)
    assert out is not None
    assert [line for line in out.splitlines() if line[:1] in (" ", "\t")] == []


def test_deep_nesting_converts_on_the_dom_road():
    # In a child interpreter, which keeps the memory of the deep document.
    script = (
        "import tidewell\n"
        "html = '<div>' * 1_000_000 + 'deep text' + '</div>' * 1_000_000\n"
        "options = {'code_block_style': 'indented', 'highlight_style': 'none', 'include_document_structure': True}\n"
        "result = tidewell.convert(html, options)\n"
        "print(result['document'] is not None and 'deep text' in result['content'])\n"
    )
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=600)
    assert run.returncode == 0, run.stderr[-2000:]
    assert run.stdout.strip() == "True"
