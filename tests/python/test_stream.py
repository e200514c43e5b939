"""The streaming converter: the "quillmoor" road of `convert` and the class
`MarkdownStreamProcessor`, which converts HTML fed in chunks and hands back
after each chunk the Markdown that can no longer change."""
import ast
import inspect
import random
import re
import time
from html import unescape
from html.parser import HTMLParser
from pathlib import Path

import pytest

import tidewell
from expected import EMPTY_METADATA
from roads import streamed as stream

QUILLMOOR = {"tier_strategy": "quillmoor"}

DOCUMENTS = {
    "blocks": "<h1>Title</h1><p>Some <b>bold</b>, <i>it</i> and <code>a`b</code>.</p><hr><p>end</p>",
    "lists": "<ul><li>a<ul><li>b</li></ul></li><li><p>c</p><p>d</p></li></ul><ol start=3><li>x</li></ol>",
    "links": '<p>See <a href="http://x.example">http://x.example</a> and <a href="/r" title="T">r</a>'
             '<img src="//cdn/i.png" alt="a_b"></p>',
    "table": '<table><tr><th align="right">n</th><th>v</th></tr><tr><td>1</td><td>a|b</td></tr></table>',
    "table_strays": "<table><tr>junk<td>a</td><td>b</td></tr><tr><span>s</span><td>c</td><td>d</td></tr></table>",
    "code": '<pre class="language-md">a\n```\nb</pre><ul><li><pre>x\ny</pre></li></ul>',
    "quotes": "<blockquote><p>q1</p><blockquote><p>q2</p></blockquote></blockquote>",
    "kept_as_html": '<details><summary>S</summary><p>a &lt; b</p><a href="u">l</a></details>',
    "escapes": "<p># no &amp;lt; *x* [y] 1. z</p><p>&gt; q</p>",
    "figure": "<figure><img src=a.png><figcaption>cap</figcaption></figure><p>after</p>",
    "comments_and_scripts": "a<!-- c -->b<script>if (a<b) {}</script><![CDATA[x]]>c<style>p{}</style>",
    "markers": "<p>z<b>#</b> <b>x.</b>y <b>Note:</b> a<em> b</em>!<a href=u>c</a><s>d</s><del>e</del>"
               "<code>f</code><code>g</code><em> </em>h<b><em>i.</em></b>j</p>",
    "pre_in_pre": "<pre>a<pre>b\n```</pre>y</pre><p>z</p><ul><li><pre><pre>c</pre></pre></li></ul>",
    "unclosed_emphasis": "<p><b>a</p><p>b</p><p>c <em>d<h2>e</h2>f<s>g<table><tr><td>h</td></tr></table>"
                         "i<b>j<hr>k",
    # items right after a line of text, whose first line may stay empty
    "items_after_text": "x<li><b><tr><a></li><p>y</p>x<li><b><br>t</b>t</li><p>z</p>x<li><i><blockquote>q"
                        "</blockquote></li><div>w<li>v</li></div><ol start=5>u<li>s</li></ol>",
    # code spans beside elements that write nothing, and pairs taken out
    # between other pairs
    "code_and_pairs": "<p><code>a</code><q></q><code>b</code> <code>c</code><i></i><code>d</code></p>"
                      "<p>x<i><s><b>b</i><s>?</p><p><code>" + "y" * 1100 + "</code><code>z</code></p>",
    "emphasis_runs": "<i>*</i><b>*</b>" * 19 + "<b><i>",
    # a space owed before a link's text, where only openers that go follow
    # its '[' (opened again in an item)
    "link_text_space": '<a href="u"><del><li></li> </del>~</a><p>x<a href=u><b> y</b></a></p>',
    # pairs written otherwise than as the elements nest: the other marker
    # character, markers inside a link's brackets, white space and a code
    # span's edge spaces outside them, runs a reader pairs by their lengths
    "formatting": "<p>a<b>x</b><i><b>y</b></i>b <i>a</i><b>.</b> a<s><a href=u>a</a>a</s> x<i><b><a href=u>a"
                  "</a></b></i>y <i><code>a </code></i>a “<em>abc,</em>” <b>x<i> </i></b>y <b>1. x</b> &lt;"
                  "<a href=/u>y</a> <b>Title<br></b> text</p><div><a href=/1><div>A</div></a> <a href=/2>B</a>"
                  "</div><p><a href=u><i></i> <span>T</span></a>1<b>) x</b></p>",
}


def converted(html):
    """The Markdown of `html` on this road, which the class writes too when
    fed one character at a time."""
    markdown = tidewell.convert_to_markdown(html, QUILLMOOR)
    assert stream(html, range(1, len(html))) == markdown
    return markdown


def converted_however_cut(html):
    """The Markdown of `html` on this road, which the class writes too
    whatever single place the input is cut at, and cut at every character."""
    markdown = converted(html)
    for cut in range(1, len(html)):
        assert stream(html, [cut]) == markdown, f"cut at {cut}"
    return markdown


def without_automatic_links(markdown):
    # The one cut-dependent form: a link whose text equals its URL is written
    # "<url>" unless its text was handed out before the link closed.
    return re.sub(r"<((?:https?://|ftp://|mailto:)[^\s<>]*)>", r"[\1](\1)", markdown)


# ---- the road --------------------------------------------------------------------


def test_road_returns_the_content_alone():
    result = tidewell.convert("<h2>H</h2><p>x</p>", QUILLMOOR)
    assert result == {"content": "## H\n\nx", "document": None, "metadata": EMPTY_METADATA, "tables": [],
                      "warnings": []}


def test_road_depends_on_no_other_option():
    html = DOCUMENTS["blocks"] + DOCUMENTS["table"]
    plain = tidewell.convert_to_markdown(html, QUILLMOOR)
    for options in [{"output_format": "djot"}, {"escape_ascii": True}, {"heading_style": "atx_closed"},
                    {"extract_metadata": False, "include_document_structure": True}, {"wrap": True}]:
        assert tidewell.convert_to_markdown(html, {**options, **QUILLMOOR}) == plain


def test_text_without_markup_takes_the_plain_road():
    assert tidewell.convert_to_markdown("just text", QUILLMOOR) == "just text\n"


def test_input_with_line_breaks_is_prepared():
    assert tidewell.convert_to_markdown("<pre>a\r\nb\rc</pre>", QUILLMOOR) == "```\na\nb\nc\n```"
    assert tidewell.convert_to_markdown("<p>a\0b</p>", QUILLMOOR) == "ab"


@pytest.mark.parametrize("name", sorted(DOCUMENTS))
def test_road_and_class_agree(name):
    html = DOCUMENTS[name]
    assert stream(html, []) == tidewell.convert_to_markdown(html, QUILLMOOR)


# ---- the class -------------------------------------------------------------------


def test_class_is_exported():
    assert tidewell.__all__ == ["__version__", "convert", "convert_to_markdown", "MarkdownStreamProcessor"]
    cls = tidewell.MarkdownStreamProcessor
    assert cls.__name__ == "MarkdownStreamProcessor"
    assert cls.__module__ == "builtins"
    assert str(inspect.signature(cls)) == "(options=None)"
    processor = cls()
    assert str(inspect.signature(processor.process_chunk)) == "(chunk)"
    assert str(inspect.signature(processor.finish)) == "()"


def test_type_stub_declares_the_class():
    stub = ast.parse((Path(__file__).resolve().parents[2] / "python" / "tidewell" / "_tidewell.pyi").read_text())
    declared = {node.name: node for node in stub.body if isinstance(node, (ast.ClassDef, ast.FunctionDef))}
    declared.update({t.id: node for node in stub.body if isinstance(node, ast.AnnAssign)
                     for t in [node.target] if isinstance(t, ast.Name)})
    assert [name for name in tidewell.__all__ if name not in declared] == []
    methods = {f.name: [a.arg for a in f.args.args] for f in declared["MarkdownStreamProcessor"].body
               if isinstance(f, ast.FunctionDef)}
    assert methods == {"__new__": ["cls", "options"], "process_chunk": ["self", "chunk"], "finish": ["self"]}


@pytest.mark.parametrize("args,kwargs", [((), {}), ((None,), {}), ((), {"options": None}),
                                         (({"heading_style": "setext", "output_format": "djot"},), {})])
def test_options_are_checked_and_change_nothing(args, kwargs):
    processor = tidewell.MarkdownStreamProcessor(*args, **kwargs)
    assert processor.process_chunk("<h1>a</h1><p>b") == "# a"
    assert processor.finish() == "\n\nb"


def test_bad_options_are_refused():
    with pytest.raises(ValueError, match="^invalid conversion options: "):
        tidewell.MarkdownStreamProcessor({"unknown_key": 1})
    with pytest.raises(ValueError, match="^invalid conversion options: "):
        tidewell.MarkdownStreamProcessor({"tier_strategy": "Tier2"})
    with pytest.raises(TypeError):  # raised by json.dumps, unchanged
        tidewell.MarkdownStreamProcessor({"strip_tags": {"a"}})


@pytest.mark.parametrize("call", [
    lambda cls: cls(None, None),
    lambda cls: cls(colour=1),
    lambda cls: cls({}, options={}),
    lambda cls: cls().process_chunk(b"<p>"),
    lambda cls: cls().process_chunk(),
    lambda cls: cls().process_chunk("a", "b"),
    lambda cls: cls().process_chunk(text="a"),
    lambda cls: cls().finish(1),
])
def test_wrong_arguments(call):
    with pytest.raises(TypeError):
        call(tidewell.MarkdownStreamProcessor)


def test_chunk_without_a_utf8_form():
    with pytest.raises(UnicodeEncodeError):
        tidewell.MarkdownStreamProcessor().process_chunk("<p>\udcff</p>")


def test_chunks_hand_out_what_is_ready():
    processor = tidewell.MarkdownStreamProcessor()
    assert processor.process_chunk("") == ""
    assert processor.process_chunk(chunk="<p>Hel") == ""
    assert processor.process_chunk("lo</p><di") == "Hello"
    assert processor.process_chunk("v>x</div>") == "\n\nx"
    assert processor.finish() == ""


def test_reentrant_call_is_refused():
    processor = tidewell.MarkdownStreamProcessor()
    seen = []

    class Key(str):
        # Looking up the keyword compares keys: this runs while the call
        # holds the object.
        __hash__ = str.__hash__

        def __eq__(self, other):
            try:
                processor.finish()
            except RuntimeError as e:
                seen.append(str(e))
            return str.__eq__(self, other)

    assert processor.process_chunk(**{Key("chunk"): "<p>x</p>"}) == "x"
    assert seen == ["Already borrowed"]
    assert processor.finish() == ""


def test_row_content_outside_cells_makes_no_column():
    # A bar for it would give the header more cells than the separator, and
    # no reader would take the lines for a table.
    out = tidewell.convert_to_markdown(DOCUMENTS["table_strays"], QUILLMOOR)
    assert out == "|  a | b |\n| --- | --- |\n| s c | d |"


def test_empty_inline_code_does_not_hold_the_output():
    processor = tidewell.MarkdownStreamProcessor()
    assert processor.process_chunk("<p>a <code></code>b</p><p>c</p><p>") == "a b\n\nc"


@pytest.mark.parametrize("name", sorted(DOCUMENTS))
def test_every_cut_gives_the_same_markdown(name):
    html = DOCUMENTS[name]
    whole = tidewell.convert_to_markdown(html, QUILLMOOR)
    for cut in range(1, len(html)):
        assert stream(html, [cut]) == whole, f"cut at {cut}"
    assert stream(html, range(1, len(html))) == whole


def test_random_chunks_give_the_same_markdown():
    rng = random.Random(11)
    html = "".join(DOCUMENTS.values()) * 3
    whole = tidewell.convert_to_markdown(html, QUILLMOOR)
    for _ in range(50):
        cuts = sorted(rng.sample(range(1, len(html)), rng.randrange(1, 60)))
        assert without_automatic_links(stream(html, cuts)) == without_automatic_links(whole)


def test_long_quotation_streams_before_it_closes():
    body = "".join("<p>line %d of a long quotation</p>" % i for i in range(400))
    processor = tidewell.MarkdownStreamProcessor()
    html = "<p>intro</p><blockquote>" + body
    handed = "".join(processor.process_chunk(html[i:i + 1000]) for i in range(0, len(html), 1000))
    assert len(handed) > 8000
    assert handed.startswith("intro\n\n> line 0 of a long quotation\n>\n> line 1")
    rest = processor.process_chunk("</blockquote><p>after</p>") + processor.finish()
    assert handed + rest == tidewell.convert_to_markdown(html + "</blockquote><p>after</p>", QUILLMOOR)


# Emphasis never closed: its markers could pair only at its close, which
# never comes. Its opener is taken out once its paragraph has ended, or once
# it has held 64 KB of output, and the rest of the page streams.
UNCLOSED = {
    "bold_over_paragraphs": ("<p>intro</p><b>a", "<p>paragraph %d of the page</p>"),
    "bold_over_inline_text": ("<b>a", "<span>word %d</span> <i>it</i> "),
    "emphasis_in_an_open_paragraph": ("<p>x <em>a", "<span>word %d</span><br>"),
    "bold_before_a_heading": ("<b>a<h2>x</h2>", "<p>paragraph %d of the page</p>"),
}


@pytest.mark.parametrize("name", sorted(UNCLOSED))
def test_unclosed_emphasis_streams_and_reads_back(name):
    markdown_it = pytest.importorskip("markdown_it")
    opener, unit = UNCLOSED[name]
    html = opener + "".join(unit % i for i in range(8000))
    whole = tidewell.convert_to_markdown(html, QUILLMOOR)
    processor = tidewell.MarkdownStreamProcessor()
    handed = "".join(processor.process_chunk(html[i:i + 4096]) for i in range(0, len(html), 4096))
    rest = processor.finish()
    assert handed + rest == whole
    assert len(rest) <= 70_000 < len(handed)
    assert "*" not in markdown_it.MarkdownIt().render(whole)


def test_deep_nesting_and_huge_attributes():
    processor = tidewell.MarkdownStreamProcessor()
    html = "<div>" * 200000 + "x" + "</div>" * 200000 + '<a href="' + "u" * 3_000_000 + '">t</a>'
    out = "".join(processor.process_chunk(html[i:i + 4096]) for i in range(0, len(html), 4096))
    out += processor.finish()
    assert out == "x\n\n[t](" + "u" * 3_000_000 + ")"


# ---- input preparation and refusal -----------------------------------------------


def utf16(text, little_endian=True):
    return "".join(c + "\0" if little_endian else "\0" + c for c in text)


PREPARED = {
    "nul_and_crlf": "<p>a\x00b</p><pre>x\r\ny</pre>",
    "line_endings": "<pre>a\r\n\r\n\rb\r</pre>\r\n<p>c\rd</p>\r",
    "nul_inside_crlf": "<pre>a\r\x00\nb\r\x00\x00\r\nc</pre>",
    "nul_in_markup": "<p cl\x00ass=x>a</\x00p><scr\x00ipt>x</script>&am\x00p;",
    "few_nuls_early": "<p>" + "\x00" * 9 + "</p>" + "<p>text</p>" * 800,
    "cr_across_the_window": "<pre>" + "x" * 8186 + "\r\ny\r</pre>",
    "nul_past_the_window": "<p>" + "a" * 9000 + "\x00" * 200 + "b</p>",
    "utf16_little_endian": utf16("<p>hi &amp; bye</p>\r\n<pre>a\rb</pre>"),
    "utf16_big_endian": utf16("<h1>T</h1><p>x</p>", little_endian=False),
    "utf16_odd_length": utf16("<p>x</p>") + "<",
    # U+0600 and U+0700 are the byte pairs D8 80 and DC 80 in UTF-8: a
    # surrogate pair, then lone high surrogates
    "utf16_surrogates": utf16("<p>", False) + "\u0600\u0700" + utf16("a", False) + "\u0600" + utf16("b</p>", False)
                        + "\u0600",
    "utf16_long": utf16("<p>line</p>\r\n" * 700),
    "byte_order_mark": "\ufeff<h1>T</h1><p>x</p>",
    "byte_order_mark_then_crlf": "\ufeff\r\n<p>x</p>",
    "byte_order_mark_twice": "\ufeff\ufeff<p>x</p>",
    "byte_order_mark_after_nul": "\x00\ufeff<p>x</p>",
}


def cut_every(html, step):
    return range(step, len(html), step)


@pytest.mark.parametrize("name", sorted(PREPARED))
def test_stream_prepares_input_as_the_road(name):
    html = PREPARED[name]
    whole = tidewell.convert_to_markdown(html, QUILLMOOR)
    assert "\r" not in whole and "\0" not in whole
    cuts = [cut_every(html, 1), cut_every(html, 7), cut_every(html, 4096), []]
    if len(html) < 200:
        cuts += [[cut] for cut in range(1, len(html))]
    for chunking in cuts:
        assert stream(html, chunking) == whole, f"cuts {chunking}"


@pytest.mark.parametrize("chunks", [["\ufeff<p>x</p>"], ["", "\ufeff", "<p>x</p>"], ["\ufeff", "", "<p>x", "</p>"],
                                    ["\ufeff"], ["", "\ufeff"]])
def test_stream_drops_a_leading_byte_order_mark(chunks):
    processor = tidewell.MarkdownStreamProcessor()
    out = "".join(processor.process_chunk(chunk) for chunk in chunks) + processor.finish()
    assert out == ("x" if "<p>x" in "".join(chunks) else "")


# What convert refuses, the stream refuses with the same message, holding at
# most the bytes the test looks at.
REFUSED = [
    "%PDF-1.4 <p>x</p>",
    "PK\x03\x04<p>x</p>",
    "<p>a</p>" + "\x00" * 100,
    "\x00" * 1_000_000,
    "<p>" + "\x01\x02" * 40 + "</p>",
    "<p>" + "x" * 8000 + "</p>" + "\x00" * 100_000,
    # UTF-16 whose second half encodes UTF-16 again
    "a\x00" * 4096 + "b\x00\x00\x00" * 2048,
]


@pytest.mark.parametrize("html", REFUSED, ids=range(len(REFUSED)))
@pytest.mark.parametrize("step", [1, 100, 4096, None])
def test_stream_refuses_what_convert_refuses(html, step):
    if step == 1 and len(html) > 20000:
        html = html[:20000]
    with pytest.raises(ValueError) as expected:
        tidewell.convert_to_markdown(html, QUILLMOOR)
    processor = tidewell.MarkdownStreamProcessor()
    with pytest.raises(ValueError) as refused:
        for start in range(0, len(html), step or len(html)):
            processor.process_chunk(html[start:start + (step or len(html))])
        processor.finish()
    assert str(refused.value) == str(expected.value)
    if len(html) > 20000:
        assert start < 20000  # refused long before the end
    # A refused stream stays refused.
    for call in [lambda: processor.process_chunk("<p>x</p>"), processor.finish]:
        with pytest.raises(ValueError) as again:
            call()
        assert str(again.value) == str(expected.value)


def test_text_found_to_be_utf16_after_it_was_converted_is_refused():
    # Converted as UTF-8 before its NUL bytes came, it cannot be transcoded.
    html = "<p>abc</p>" + utf16("<p>x</p>" * 100)
    assert stream(html, []) == tidewell.convert_to_markdown(html, QUILLMOOR)
    processor = tidewell.MarkdownStreamProcessor()
    assert processor.process_chunk(html[:10]) == "abc"
    with pytest.raises(ValueError, match=r"^Invalid input: binary data detected \(UTF-16 data without BOM\)"):
        processor.process_chunk(html[10:])
        processor.finish()


@pytest.mark.parametrize("call", [lambda p: p.process_chunk("<p>more</p>"), lambda p: p.process_chunk(""),
                                  lambda p: p.finish()])
def test_calls_after_finish_are_refused(call):
    processor = tidewell.MarkdownStreamProcessor()
    assert processor.process_chunk("<p>a</p><p>b") == "a"
    assert processor.finish() == "\n\nb"
    with pytest.raises(ValueError, match=r"^\w+\(\) called after finish\(\); create a new MarkdownStreamProcessor"):
        call(processor)


# ---- nested emphasis and code ------------------------------------------------------

@pytest.mark.parametrize("html,expected", [
    ("<p><em><em>x</em></em> y</p>", "*x* y"),
    ("<p><em><i>x</i></em> y</p>", "*x* y"),
    ("<p><strong><strong>x</strong></strong> y</p>", "**x** y"),
    ("<p><b><strong>x</strong></b> y</p>", "**x** y"),
    ("<p><del><s>x</s></del> y</p>", "~~x~~ y"),
    ("<p><em>a <em>b</em> c</em></p>", "*a b c*"),
    ("<p><code><a href=\"/x\">Foo</a></code> y</p>", "`Foo` y"),
    ("<p><code>a<b>b</b><em>c</em></code></p>", "`abc`"),
    ("<p><a href=\"/a\">x <code>c</code></a></p>", "[x `c`](/a)"),
    ("<p><kbd><a href=\"/k\">Ctrl</a></kbd></p>", "`Ctrl`"),
    ("<p><samp><a href=\"/u\">t</a></samp> <var><b>v</b> <em>w</em></var></p>", "`t` `v w`"),
    ("<p><code>a<code>b</code>c</code> <kbd>d<code>e</code>f</kbd> <code>g<kbd>h</kbd>i</code></p>",
     "`abc` `def` `ghi`"),
    ("<p><kbd>a*b_c</kbd> <kbd>a`b</kbd> <samp>&amp;copy;</samp></p>", "`a*b_c` ``a`b`` `&copy;`"),
    ("<table><tr><th>h</th></tr><tr><td><kbd>a|b</kbd></td></tr></table>", "| h |\n| --- |\n| `a\\|b` |"),
])
def test_nested_emphasis_and_code_hold_no_doubled_markup(html, expected):
    markdown = tidewell.convert_to_markdown(html, QUILLMOOR)
    assert markdown == expected
    assert all(stream(html, cuts) == markdown for cuts in ([], range(1, len(html))))


@pytest.mark.parametrize("html,lists", [
    ("<ul><li>a</li></ul><ul><li>b</li></ul>", 2),
    ("<ul><li>a</li></ul>\n<ul><li>b</li></ul>\n<ul><li>c</li></ul>", 3),
    ("<ol><li>a</li></ol><ol><li>b</li></ol>", 2),
    ("<div><ul><li>a</li></ul><!-- c --> <ul><li>b</li></ul></div>", 2),
    ("<ul><li>a<ul><li>n</li></ul><ul><li>m</li></ul></li></ul>", 3),
    ("<ul><li>a</li></ul><p>x</p><ul><li>b</li></ul>", 2),
])
def test_adjacent_lists_stay_apart(html, lists):
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    markdown = converted(html)
    rendered = MarkdownIt("commonmark").render(markdown)
    assert rendered.count("<ul>") + rendered.count("<ol>") == lists


@pytest.mark.parametrize("html,code", [
    ("<pre>a  \nb  </pre>", "a  \nb  \n"),
    ("<pre>a  \nb  </pre><p>x</p>", "a  \nb  \n"),
    ("<pre><code>a\n\n\n\nb \t</code></pre>", "a\n\n\n\nb \t\n"),
])
def test_code_keeps_its_lines(html, code):
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    markdown = converted(html)
    tokens = [t for t in MarkdownIt("commonmark").parse(markdown) if t.type == "fence"]
    assert [t.content for t in tokens] == [code]


@pytest.mark.parametrize("html,spans", [
    ("<p>Press <kbd><a href=\"/k\">Ctrl</a></kbd>+<kbd><b>C</b></kbd></p>", ["Ctrl", "C"]),
    ("<p><samp>a*b_c [x](y) &lt;i&gt;</samp> and <var>n_1</var></p>", ["a*b_c [x](y) <i>", "n_1"]),
    ("<p><kbd>a`b</kbd> <kbd>`x</kbd></p>", ["a`b", "`x"]),
    # side by side in a cell they make one span, as elsewhere
    ("<table><tr><td><code>a|</code><code>b</code></td></tr></table>", ["a|b"]),
    ("<table><tr><td><code>a|</code><kbd>|b</kbd><samp>`|</samp> x</td></tr></table>", ["a||b`|"]),
    # the opener of an empty element comes and goes between them
    ("<p><code>a</code><q></q><code>b</code> <code>c</code><i></i><code>d</code></p>", ["ab", "cd"]),
    # a span too long to be taken up again stands apart from the next
    ("<p><code>" + "x" * 1100 + "</code><code>y</code><b><code>z</code></b>w</p>", ["x" * 1100, "yz"]),
])
def test_keyboard_and_sample_text_read_back_as_code(html, spans):
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    markdown = converted(html)
    inline = [t for t in MarkdownIt("commonmark").enable("table").parse(markdown) if t.type == "inline"]
    found = [c.content for t in inline for c in t.children if c.type == "code_inline"]
    assert found == spans
    assert not any(c.type == "link_open" for t in inline for c in t.children)


@pytest.mark.parametrize("html,expected", [
    ("<ol><li>Step one</li><ul><li>sub</li></ul><li>Step two</li></ol>", "1. Step one\n   - sub\n2. Step two"),
    ("<ul><li>a</li><ul><li>b</li><li>c</li></ul><li>d</li></ul>", "- a\n  - b\n  - c\n- d"),
    ("<ol start=9><li>a</li><ol><li>b</li></ol><li>c</li></ol><p>after</p>", "9. a\n   1. b\n10. c\n\nafter"),
    ("<ul><li>a</li><ul><li>b<ul><li>c</li></ul></li></ul><li>d</li></ul>", "- a\n  - b\n    - c\n- d"),
    ("<ol><li>a</li><p>para</p><li>b</li></ol>", "1. a\n\npara\n\n2. b"),
])
def test_list_inside_a_list_nests_under_the_item_before_it(html, expected):
    markdown = converted(html)
    assert markdown == expected


@pytest.mark.parametrize("html_in, start", [
    ("x<li><b><tr><a>", 1),
    ("x<li><b><br>t</b>t", 1),
    ("x<li><i><blockquote>q", 1),
    ("<span>x<li><blockquote>q</blockquote></li></span>", 1),
    ("<ol start=5>x<li>y</li></ol>", 5),
    ("<ul><li>a<ol start=3><li>b</li></ol></li></ul>", 3),
    # a pair on the item's line that a later character takes out
    ("1<li><strike><kbd><br>中</strike>é<p>", 1),
])
def test_item_after_a_line_of_text_reads_as_a_list(html_in, start):
    # Its first line empty, "x\n-" would read as a heading; numbered other
    # than 1, "x\n5. y" as one paragraph.
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    whole = converted(html_in)
    for cut in range(1, len(html_in)):
        assert stream(html_in, [cut]) == whole, cut
    tokens = MarkdownIt("commonmark").enable("table").parse(whole)
    assert not any(t.type == "heading_open" for t in tokens), whole
    items = [t for t in tokens if t.type in ("bullet_list_open", "ordered_list_open")]
    assert items and int(items[-1].attrGet("start") or 1) == start, whole


@pytest.mark.parametrize("html_in", ["<pre><li><pre></pre>w", "<pre><li><pre>c</pre>w"])
def test_item_in_preformatted_text_adds_no_line_to_the_code(html_in):
    # The item's marker is code text there: nothing before it to set apart.
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    whole = converted_however_cut(html_in)
    tokens = MarkdownIt("commonmark").parse(whole)
    assert tokens[0].type == "fence" and tokens[0].content.startswith("- "), whole


def test_runs_of_emphasis_markers_keep_every_pair():
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    html_in = "<i>*</i><b>*</b>" * 19 + "<b><i>"
    whole = converted(html_in)
    rendered = MarkdownIt("commonmark").render(whole)
    assert rendered.count("<em>") == rendered.count("<strong>") == 19
    assert all(stream(html_in, [cut]) == whole for cut in range(1, len(html_in)))


# Runs that once cost the square of their length: markers in text, each
# looked at to the run's end, and code spans side by side whose text holds a
# backtick, taken up again whole by each span that continues them.
@pytest.mark.parametrize("unit, count", [
    ("*", 16000), ("_", 16000), ("**", 8000),
    ("<code>`</code>", 8000), ("<code>a`</code>", 8000), ("<code> `` </code>", 8000),
])
def test_runs_cost_no_more_than_their_length(unit, count):
    def seconds(n, size):
        html = "<p>" + unit * n + "</p>"
        pieces = [html[i:i + size] for i in range(0, len(html), size)] if size else None
        best = float("inf")
        for _ in range(3):
            # The process's own time: other work on the machine counts less.
            start = time.process_time()
            if pieces is None:
                tidewell.convert_to_markdown(html, QUILLMOOR)
            else:
                processor = tidewell.MarkdownStreamProcessor()
                for piece in pieces:
                    processor.process_chunk(piece)
                processor.finish()
            best = min(best, time.process_time() - start)
        return best
    for size in (None, 7, 4096):
        # Linear is 4 times, quadratic 16; measured three times at most,
        # against a busy machine.
        for _ in range(3):
            small, large = seconds(count, size), seconds(4 * count, size)
            if large < 6 * small + 0.005:
                break
        assert large < 6 * small + 0.005, (size, small, large)


def test_list_inside_a_list_reads_back_nested():
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    html = "<ol><li>Step one</li><ul><li>sub</li></ul><li>Step two</li></ol>"
    rendered = MarkdownIt("commonmark").render(tidewell.convert_to_markdown(html, QUILLMOOR))
    assert rendered == "<ol>\n<li>Step one\n<ul>\n<li>sub</li>\n</ul>\n</li>\n<li>Step two</li>\n</ol>\n"


@pytest.mark.parametrize("html,expected", [
    ('<?xml version="1.0" encoding="UTF-8"?><p>a<?xml:namespace prefix = o ns = '
     '"urn:schemas-microsoft-com:office:office" />b <![CDATA[b]]> c</3> d<!ELEMENT x></p>', "ab c d"),
    ("<p>a<?php echo 1 ?>b</p><p>c </ x>d</p>", "ab\n\nc d"),
])
def test_processing_instructions_and_bogus_comments_show_nothing(html, expected):
    assert tidewell.convert_to_markdown(html, QUILLMOOR) == expected
    assert stream(html, range(1, len(html))) == expected


def test_image_without_source_or_text_writes_nothing():
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    html = '<p>a<img>b<img alt="x">c<img title="t">d<img src="data:image/png;base64,AA">e</p>'
    markdown = tidewell.convert_to_markdown(html, QUILLMOOR)
    assert markdown == "ab![x]()cde"
    assert MarkdownIt("commonmark").render(markdown) == '<p>ab<img src="" alt="x" />cde</p>\n'


@pytest.mark.parametrize("html,expected", [
    ("<html><head><title>T</title><span>Hello</span></head><body><p>Body</p></body></html>", "T Hello\n\nBody"),
    ('<ul><li>Home</li><span class="sep">›</span><li>News</li></ul>', "- Home ›\n- News"),
    ("<ul><li>red</li>, <li>green</li></ul>", "- red,\n- green"),
    ("<ul><li>a</li><span></span><li>b</li></ul>", "- a\n- b"),
    ("<ul><li>a</li><!-- c --><b></b>b</ul>", "- a b"),
    ("<p>a<!-- c -->b<span>c</span>d</x>e<?x?>f</p>", "abcdef"),
    # a block inside a link ends before emphasis, or a heading kept as HTML
    # there ends before anything
    ('<a href="/u"><span>x</span><p><em>y</em>z</p></a>', "[x *y*z](/u)"),
    ('<ul><li><a href="/u">x<p><b>y</b></p></a></li></ul>', "- [x **y**](/u)"),
    ('<ul><li><a href="/u"><h5>T</h5><div>y</div></a></li></ul>', "- [<h5>T</h5> y](/u)"),
    ('<a href="/u"><h5>T</h5><b>y</b></a>', "[<h5>T</h5> **y**](/u)"),
])
def test_words_on_either_side_of_a_block_end_stay_apart(html, expected):
    assert tidewell.convert_to_markdown(html, QUILLMOOR) == expected
    assert stream(html, range(1, len(html))) == expected


# ---- markers a reader pairs, and text that reads as the page's -------------------

def shown_text(html_text):
    return " ".join(unescape(re.sub(r"<[^>]*>", "", html_text)).split())


@pytest.mark.parametrize("html_in", [
    "<p><s>&gt;</s>x</p>",  # a marker that cannot open beside punctuation
    "<p>z<b>#</b> and <b>x.</b>y</p>",  # nor close before a word
    "<p><em>(</em>x <b>*</b>b</p>",
    "<p>x<em> z</em> <b><i> y</i></b></p>",  # white space at an element's start
    "<p>x<em> </em>y<span> </span>z</p>",  # an element holding only white space
    "<p>1<a href='u'>x</a> and ~<s>gone</s> here</p>",  # no space before a link or strikethrough
    "<p>Hi!<a href='u'>x</a></p>",  # "![" would be an image
    "<p><b>a</b><b>b</b> <em>c</em><i>d</i> <code>e</code><code>f</code></p>",  # markers side by side
    "<p><del>&gt;</del>x</p>",  # text at a line start once the markers are left out
    "<p>a &lt;<s>b</s>c</p>",
    "<p>x<i><s><b>b</i><s>?</p>",  # a pair taken out between two that then join
    "<p><code>a</code><q></q><code>b</code></p>",  # an empty element between code spans
])
def test_markers_and_text_read_back_as_the_page(html_in):
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    markdown = converted(html_in)
    rendered = MarkdownIt("commonmark").enable("strikethrough").render(markdown)
    assert shown_text(rendered) == shown_text(html_in), markdown


@pytest.mark.parametrize("html_in, expected", [
    ("<p>snake_case, 2 * 3 and a_b_c</p>", "snake_case, 2 * 3 and a_b_c"),
    ("<table><tr><th>h</th></tr><tr><td>apache_builds</td></tr></table>", "| h |\n| --- |\n| apache_builds |"),
    ("<p>* * *</p><p>_ _ _</p>", "\\* * \\*\n\n\\_ _ \\_"),  # not a rule, nor a list item
])
def test_text_that_cannot_read_as_emphasis_stays_bare(html_in, expected):
    assert tidewell.convert_to_markdown(html_in, QUILLMOOR) == expected


# ---- formatting that reads back as the page shows it --------------------------------

FORMATTING_KINDS = {"b": "bold", "strong": "bold", "i": "italic", "em": "italic", "cite": "italic", "s": "strike",
                    "del": "strike", "strike": "strike", "code": "code"}


class ShownFormatting(HTMLParser):
    """The formatting a browser shows on each character of a fragment that is
    not white space, as formatting_readback reads it from Markdown."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.open, self.shown = [], []

    def handle_starttag(self, tag, attrs):
        if tag not in ("br", "img", "path", "hr"):
            self.open.append((tag, dict(attrs).get("href")))

    def handle_startendtag(self, tag, attrs):
        pass

    def handle_endtag(self, tag):
        tags = [t for t, _ in self.open]
        if tag in tags:
            del self.open[len(tags) - 1 - tags[::-1].index(tag):]

    def handle_data(self, data):
        formatting = set()
        for tag, href in self.open:
            if tag == "a":
                formatting = {f for f in formatting if not isinstance(f, tuple)} | {("link", href)}
            elif tag in FORMATTING_KINDS:
                formatting.add(FORMATTING_KINDS[tag])
        self.shown += [(c, frozenset(formatting)) for c in data if not c.isspace()]


def shown_formatting(html_in):
    parser = ShownFormatting()
    parser.feed(html_in)
    parser.close()
    return parser.shown


# Where the page's formatting can be written so that it reads back, it is,
# however the elements nest: runs a reader pairs by their lengths, '_' for
# '*' where runs of one character would meet, markers inside a link's
# brackets, white space outside the markers; neighbours classed by their
# Unicode category.
FORMATTING = {
    # emphasis of the other kind inside, an edge in a word
    "bold_over_italic": ("<p><b><i>x</i>y</b></p>", "***x*y**"),
    "italic_over_bold": ("<p><i><b>x</b>y</i></p>", "***x**y*"),
    "italic_in_italic_over_bold": ("<p><i><i><b>x</b></i>y</i></p>", "***x**y*"),
    "bold_after_italic_bold": ("<p><i><b>x</b></i><b>y</b></p>", "***x*****y**"),
    "italic_bold_after_bold": ("<p>a<b>x</b><i><b>y</b></i>b</p>", "a**x*****y***b"),
    "more_after_the_inner": ("<p><b><i>x</i>y <i>z</i></b></p>", "***x*y *z***"),
    "in_a_heading": ("<h2><b><i>x</i>y</b></h2>", "## ***x*y**"),
    "through_a_span_in_an_item": ("<ul><li><b><span><i>x</i></span>y</b></li></ul>", "- ***x*y**"),
    "through_u_in_a_cell": ("<table><tr><th>h</th></tr><tr><td><b><u><i>x</i></u>y</b></td></tr></table>",
                            "| h |\n| --- |\n| **<u>*x*</u>y** |"),
    "in_a_link": ("<p><a href=\"u\"><b><i>x</i>y</b></a></p>", "[***x*y**](u)"),
    "before_punctuation": ("<p><i><b>a</b>\u201d</i></p>", "***a**\u201d*"),
    # emphasis of one kind in the same kind, beside an empty element
    "same_kind_inside": ("<p>d<em>w <em>b</em> <i></i></em></p>", "d*w b*"),
    # a citation is italic as emphasis is: inside each other, markers once
    "cite_in_emphasis": ("<p><em>a<cite>b</cite>c</em></p>", "*abc*"),
    "cite_at_the_start_of_emphasis": ("<p><em><cite>b</cite>c</em></p>", "*bc*"),
    "emphasis_in_cite": ("<p><cite><em>b</em></cite></p>", "*b*"),
    "cite_in_cite": ("<p>x <cite>a<cite>b</cite></cite></p>", "x *ab*"),
    "spaced_cite_in_italic": ("<p><i>x <cite>b</cite> y</i></p>", "*x b y*"),
    "cite_in_bold": ("<p><b><cite>b</cite></b></p>", "***b***"),
    # a code span of white space alone in a strike, beside an empty one: the
    # space stays, as plain white space
    "space_in_code_in_strike": ("<p>.<s><code> </code><s></s></s>\u201d</p>", ". \u201d"),
    # markers inside a link's brackets, the pair split at the link's edge
    "bold_around_a_link": ("<p><b><a href=\"u\">a</a></b>a</p>", "[**a**](u)a"),
    "italic_around_a_link": ("<p>a<i><a href=\"u\">a</a></i></p>", "a[*a*](u)"),
    "strike_from_a_link": ("<p>a<s><a href=\"u\">a</a>a</s></p>", "a[~~a~~](u)~~a~~"),
    "strike_to_a_link": ("<p><s>a<a href=\"u\">a</a></s>a</p>", "~~a~~[~~a~~](u)a"),
    "pairs_around_a_link": ("<p><b><s><a href=\"u\">a</a></s></b>a</p>", "[**~~a~~**](u)a"),
    "between_letters": ("<p>x<i><b><a href=\"u\">a</a></b></i>y</p>", "x[***a***](u)y"),
    "bang_before_it": ("<p>!<b><a href=\"u\">y</a></b>z</p>", "\\![**y**](u)z"),
    # beside the markers of pairs inside the link that were settled before
    "beside_settled_markers": ("<p>a<i><a href=\"u\"><b>a</b>a<b>a</b></a></i></p>", "a[_**a**a**a**_](u)"),
    # the other marker character where runs would meet
    "beside_punctuation": ("<p><i>a</i><b>.</b></p>", "*a*__.__"),
    "punctuation_first": ("<p><b>?</b><i>a</i></p>", "__?__*a*"),
    "strike_in_bold": ("<p><i>a</i><b><s>a</s></b></p>", "*a*__~~a~~__"),
    "around_code": ("<p><b><code>a</code></b><i>a</i></p>", "__`a`__*a*"),
    # on the pair whose markers meet the failing one's where that frees both,
    # and a pair that took it to stand apart from those markers takes '*' back
    "on_the_pair_beside": ("<p><b>]</b><i><b>&gt;</b><b>a</b>a</i><b><s>a</s></b></p>",
                           "**]**_**>a**a_**~~a~~**"),
    "taken_back_beside_code": ("<p><b><code>a</code></b><i>a</i><b><i>a</i>a</b>a</p>", "**`a`**_a_***a*a**a"),
    # the edge spaces of code outside the markers
    "code_ending_in_a_space": ("<p><i><code>a </code></i>a</p>", "*`a`* a"),
    "code_starting_with_a_space": ("<p>a<b><code> a</code></b></p>", "a **`a`**"),
    "code_in_two_pairs": ("<p><s><b><code>a </code></b></s>a</p>", "~~**`a`**~~ a"),
    "space_alone_in_code": ("<p><i><b>a<code>&nbsp;</code></b></i>a</p>", "***a***`\u00a0`a"),
    # punctuation and words by Unicode category
    "quotation_marks": ("<p>\u201c<em>abc,</em>\u201d x</p>", "\u201c*abc,*\u201d x"),
    "marks_dashes_symbols": ("<p>\u201e<b>Zitat</b>\u201c und \u00ab<i>x.</i>\u00bb \u2013 <s>\u20ac</s>\u2605</p>",
                             "\u201e**Zitat**\u201c und \u00ab*x.*\u00bb \u2013 ~~\u20ac~~\u2605"),
    "ideographic_full_stop": ("<p>\u3002<i>\u898b</i>\u3002</p>", "\u3002*\u898b*\u3002"),
    "inverted_question_mark": ("<p><s><b>a</b></s>\u00bf</p>", "~~**a**~~\u00bf"),
    "guillemet": ("<p><b>,</b>\u00bb</p>", "**,**\u00bb"),
    "arabic_digit": ("<p>a<i>\u0663</i>b</p>", "a*\u0663*b"),
    "private_use_glyph": ("<p><b>Save</b><i>\ue051</i></p>", "**Save***\ue051*"),
    "soft_hyphen": ("<p>a<i>b&shy;</i>c</p>", "a*b\u00ad*c"),
    "zero_width_space": ("<p>x<b>y&#x200b;</b>z</p>", "x**y\u200b**z"),
    # white space at an edge outside the markers
    "no_break_space_at_the_end": ("<p>a <em>Recht&nbsp;</em>b</p>", "a *Recht*\u00a0b"),
    "no_break_space_at_the_start": ("<p>x<b>&nbsp;a</b></p>", "x\u00a0**a**"),
    "no_break_space_alone": ("<p><s>&nbsp;</s><s>a</s></p>", "~~a~~"),
    "line_break_at_the_end": ("<p><b>Title<br></b> text</p>", "**Title**  \n text"),
    "blank_element_at_the_end": ("<p><b>x<i> </i></b>y</p>", "**x** y"),
    "blank_strike_at_the_end": ("<p><i>a<s> </s></i>b</p>", "*a* b"),
    "space_before_inner_pairs": ("<p>\u00e9<b><var> </var><i>d</i>[<i>-</i>&gt;</b></p>",
                                 "\u00e9 ***d*\\[_-_>**"),
    "line_break_before_inner_pairs": ("<p>\u00e9<b><br><i>d</i>[<i>-</i>&gt;</b></p>",
                                      "\u00e9  \n***d*\\[_-_>**"),
    "icon_and_space_at_the_start": ("<p>Seht! <strong><svg><path d=\"M1\"/></svg> <a href=\"/w\">W</a></strong></p>",
                                    "Seht! **[W](/w)**"),
    # words after a link that holds a block stay apart
    "link_after_such_a_link": ("<div><a href=\"/1\"><div>A</div></a> <a href=\"/2\">B</a></div>", "[A](/1) [B](/2)"),
    "space_inside_such_a_link": ("<div><a href=\"f\"><div>F</div> </a><a href=\"t\">T</a></div>", "[F](f) [T](t)"),
    "bold_after_such_a_link": ("<div><a href=\"/1\"><div>A</div></a> <b>B</b></div>", "[A](/1) **B**"),
    "others_after_such_a_link": ("<div><a href=\"/1\"><div>A</div></a> <s>B</s> <code>c</code> d</div>",
                                 "[A](/1) ~~B~~ `c` d"),
    # white space that starts a link's text goes before its "["
    "icon_then_space_in_a_link": ("<p><a href=\"u\"><i class=\"icon\"></i> <span>Twitter</span></a></p>",
                                  "[Twitter](u)"),
    "after_a_word": ("<p>x<a href=\"u\"><i></i> <span>T</span></a></p>", "x [T](u)"),
    "in_bold": ("<p>x<b><a href=\"u\"><i></i> T</a></b></p>", "x **[T](u)**"),
    "link_text_with_a_space": ("<p>a<i><a href=\"u\"> a</a></i></p>", "a *[a](u)*"),
}


@pytest.mark.parametrize("name", sorted(FORMATTING))
def test_formatting_reads_back_as_the_page_shows_it(name):
    from formatting_readback import make_reader, read_formatting
    pytest.importorskip("markdown_it")
    html_in, expected = FORMATTING[name]
    markdown = converted_however_cut(html_in)
    assert markdown == expected
    read = [(c, f) for c, f in read_formatting(markdown, make_reader()) if not c.isspace()]
    assert read == shown_formatting(html_in)


# Escapes a reader needs, and only those: text behind an opener at a line
# start gets its backslash where the opener is taken out.
@pytest.mark.parametrize("html_in, expected", [
    ("<p><b>1. x</b></p>", "**1. x**"),
    ("<p><b>1) x</b></p>", "**1) x**"),
    ("<p><i># x</i></p>", "*# x*"),
    ("<p>&lt;<a href=\"/u\">y</a></p>", "<[y](/u)"),
    ("<p>a&lt;<span>b</span> c&lt;<span>1</span></p>", "a\\<b c<1"),
    # decided the same where an element that stays empty stands between
    ("<p>a &lt;<samp></samp>_.</p>", "a <\\_."),
    ("<p>a &lt;<em></em> x</p>", "a < x"),
    ("<p>1<b>) x</b></p>", "1\\) x"),
    ("<p><del>&gt;</del>x</p>", "\\>x"),
    ("<p><b>-</b>x</p>", "-x"),
    ("<p><i>&nbsp;</i>&nbsp;&gt;:x</p>", "\\>:x"),
])
def test_escapes_only_where_a_reader_needs_them(html_in, expected):
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    markdown = converted(html_in)
    assert markdown == expected
    rendered = MarkdownIt("commonmark").enable("strikethrough").render(markdown)
    assert rendered.startswith("<p>") and rendered.count("<p>") == 1, rendered
    assert shown_text(rendered) == shown_text(html_in)


def corpus_markdown(*parts, road=QUILLMOOR):
    from corpus import corpus_path, read_page
    return tidewell.convert_to_markdown(read_page(corpus_path(*parts)), road)


# Corpus pages where the stream lost what the page emphasised, and ran words
# together after links that hold blocks.
@pytest.mark.parametrize("parts, shown", [
    (("trafilatura", "pages", "spektrum.de.engelbart.html"), "\u201c<em>Verfechter der gendergerechten Sprache"),
    (("trafilatura", "pages", "erp-news.info.interview.html"), "\u201e<strong>digitale Assistenten und"),
    (("trafilatura", "pages", "jolie.de.adele.html"),
     "Seht selbst! <strong><a href=\"/stars/bella-hadid-heiss-im-urlaub-202326.html\">Weiterlesen</a></strong>"),
])
def test_corpus_page_emphasis_reads_back(parts, shown):
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    assert shown in MarkdownIt("commonmark").enable(["strikethrough", "table"]).render(corpus_markdown(*parts))


def test_corpus_page_icons_keep_their_italic():
    # yahoo-3 sets icon glyphs (private use characters) in <i>: as many read
    # as italic as on the DOM road.
    markdown_it = pytest.importorskip("markdown_it")
    from formatting_readback import make_reader, read_formatting

    def italic_icons(markdown):
        return sum(1 for c, f in read_formatting(markdown, make_reader()) if "italic" in f and 0xE000 <= ord(c) <= 0xF8FF)
    parts = ("readability", "pages", "yahoo-3.html")
    stream_icons = italic_icons(corpus_markdown(*parts))
    assert stream_icons >= 64
    assert stream_icons == italic_icons(corpus_markdown(*parts, road={"tier_strategy": "tier2"}))
    assert markdown_it


@pytest.mark.parametrize("parts, words", [
    (("trafilatura", "pages", "sueddeutsche.de.flixtrain.html"), "M\u00fcnchen Berlin Hamburg"),
    (("readability", "pages", "msn.html"), "Xtra-PC Slow Computer?"),
    (("readability", "pages", "yahoo-4.html"), "Facebook Facebook\u7de8\u96c6\u90e8"),
    (("readability", "pages", "toc-missing.html"), "Understand Group by in Django with SQL Django QuerySets"),
])
def test_corpus_page_words_after_links_stay_apart(parts, words):
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    assert words in shown_text(MarkdownIt("commonmark").enable("table").render(corpus_markdown(*parts)))


def test_markers_beside_words_and_punctuation_stay():
    html_in = "<p><b>Note:</b> read <i>this</i>, <b>now</b>. \u65e5\u672c<b>\u8a9e</b>\u3067\u3059</p>"
    assert tidewell.convert_to_markdown(html_in, QUILLMOOR) == (
        "**Note:** read *this*, **now**. \u65e5\u672c**\u8a9e**\u3067\u3059")


def test_random_paragraphs_give_the_same_markdown_however_cut():
    from test_literal_text import _random_paragraph
    rng = random.Random(3)
    for _ in range(150):
        page = "".join(_random_paragraph(rng) for _ in range(rng.randrange(1, 4)))
        whole = tidewell.convert_to_markdown(page, QUILLMOOR)
        cuts = sorted(rng.sample(range(1, len(page)), min(len(page) - 1, rng.randrange(1, 8))))
        assert stream(page, cuts) == whole, page
        assert stream(page, range(1, len(page))) == whole, page


# ---- a pre inside a pre ------------------------------------------------------------

@pytest.mark.parametrize("html_in", [
    "<pre>a<pre>b</pre>y</pre><p>z</p>",
    "<pre><pre>b</pre>y</pre><p>z</p>",
    "<pre>a<pre>b</pre></pre><p>z</p>",
    "<pre>a<pre class='language-py'>b\n```\nc</pre>y</pre><p>z</p>",
    "<pre>a<pre>b<pre>c</pre>d</pre>e</pre><p>z</p>",
    "<pre><code>a<pre>b</pre>y</code></pre><p>z</p>",
    "<ul><li><pre>a<pre>b</pre>y</pre><p>z</p></li></ul>",
])
def test_pre_inside_pre_is_part_of_the_outer_code(html_in):
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    markdown = converted(html_in)
    # as the DOM road writes it: one code block holding the inner one's fences
    assert markdown == tidewell.convert_to_markdown(html_in, {"tier_strategy": "tier2"}).rstrip("\n")
    tokens = MarkdownIt("commonmark").parse(markdown)
    assert [t.type for t in tokens if t.type in ("fence", "paragraph_open")] == ["fence", "paragraph_open"]
    assert "y" not in [t.content for t in tokens if t.type == "inline"]


# ---- elements written as HTML ------------------------------------------------------

@pytest.mark.parametrize("html_in, alt", [
    ('<dl><dd><img src="m.svg" alt="{\\displaystyle x_{i}\\mid [a]}"></dd></dl>', "{\\displaystyle x_{i}\\mid [a]}"),
    ('<details><summary>s</summary><p>t</p><img src="m.svg" alt="a_b*"></details>', "a_b*"),
])
def test_image_inside_an_element_kept_as_html_is_a_tag(html_in, alt):
    # a reader shows Markdown inside raw HTML as it stands: ![a\_b](m.svg)
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    markdown = tidewell.convert_to_markdown(html_in, QUILLMOOR)
    rendered = MarkdownIt("commonmark", {"html": True}).render(markdown)
    assert re.search(r'<img src="m.svg" alt="([^"]*)"', rendered).group(1) == alt.replace("[", "&#91;").replace(
        "]", "&#93;")
    assert "![" not in rendered


@pytest.mark.parametrize("html_in, shown", [
    ("<dl><dt>a</dt></dl>b [x] *y*", "a b [x] *y*"),
    ("<dd>a</dd> c_d [e]", "a c_d [e]"),
    ("<address>a</address>b \\ c", "a b \\ c"),
])
def test_text_after_an_element_kept_as_html_reads_as_markdown(html_in, shown):
    # after a line that starts with such an element's tag, a reader is in raw
    # HTML up to a blank line: escapes would show
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    markdown = converted(html_in)
    assert shown_text(MarkdownIt("commonmark", {"html": True}).render(markdown)) == shown


@pytest.mark.parametrize("html_in", ["<h3> </h3><p>x</p>", "<h2>Issue #</h2>", "<h4>#</h4>", "<h3>a ##</h3>"])
def test_heading_shows_no_backslash(html_in):
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    rendered = MarkdownIt("commonmark").render(tidewell.convert_to_markdown(html_in, QUILLMOOR))
    assert "\\" not in rendered
    assert shown_text(rendered) == shown_text(html_in)



# ---- characters kept whole -----------------------------------------------------------

@pytest.mark.parametrize("html_in, expected", [
    # a code span of white space alone moved past a marker, then joined with
    # the spans beside it once the pairs around it went
    ("<code>\u00e9</code><s><kbd>&nbsp;</kbd><em><samp>\u00e9</s>\u4e2d", "`\u00e9\u00a0\u00e9`\u4e2d"),
    ("<s><kbd>&nbsp;</kbd><em><samp>\u00e9</s>\u4e2d", "`\u00a0\u00e9`\u4e2d"),
    ("<i>x<code>&nbsp;</code></i><code>c</code>y", "*x`\u00a0`*`c`y"),
    ("<code>a</code><b><code>&nbsp;\u00e9</code>x</b>", "`a`**`\u00a0\u00e9`x**"),
])
def test_code_spans_moved_or_joined_keep_characters_whole(html_in, expected):
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    markdown = converted_however_cut(html_in)
    assert markdown == expected
    assert shown_text(MarkdownIt("commonmark").enable("strikethrough").render(markdown)) == shown_text(html_in)


# ---- items inside inline elements ----------------------------------------------------

# A browser keeps an li inside the link or bold around it, and shows a list
# item holding them: each item starts its own line and holds their
# formatting, numbered among its list's items across them.
@pytest.mark.parametrize("html_in, expected", [
    ('<ul><a href="/1"><li>one</li></a><a href="/2"><li>two</li></a></ul>', "- [one](/1)\n- [two](/2)"),
    ('<ul><a href="/1"><li>one</li><li>two</li></a></ul>', "- [one](/1)\n- [two](/1)"),
    ('<ul><a href="/1"> <li><div></div><p>one</p></li></a></ul>', "- [one](/1)"),
    ("<ul><b><li>one</li></b></ul>", "- **one**"),
    ("<ul><b><span><i><li>a</li><li>b</li></i></span></b></ul>", "- ***a***\n- ***b***"),
    ("<ul><b>q<li>one</b></ul>", "**q**\n- **one**"),
    ("<ul><b><li>one</li>two</b></ul>", "- **one two**"),
    ("<ol><b><li>a</li></b><li>b</li><i><li>c<li>d</i></ol>", "1. **a**\n2. b\n3. *c*\n4. *d*"),
    ("<ol start=9><a href=u><li>a</li><li>b</li></a></ol>", "9. [a](u)\n10. [b](u)"),
    ("x<strong><li>y", "x\n- **y**"),
    ("x<br><strong><li>y", "x  \n- **y**"),
    ("<blockquote><ul><s><li>a</li><li>b</li></s></ul></blockquote>", "> - ~~a~~\n> - ~~b~~"),
    ("<ul><li>x<ul><b><li>a</li><li>b</li></b></ul></li></ul>", "- x\n  - **a**\n  - **b**"),
    ("<ul><b><i><li>a</li></i>c</b></ul>", "- ***a*c**"),
    # a paragraph inside a link or emphasis in an item stays on its line
    ("<ul><li><a href=u>a<p>x</p>y</a></li></ul>", "- [a x y](u)"),
    ("<ul><b><li>a<p>x</p></li></b></ul>", "- **a x**"),
])
def test_item_inside_inline_elements_holds_them(html_in, expected):
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    from formatting_readback import make_reader, read_formatting
    markdown = converted_however_cut(html_in)
    assert markdown == expected
    tokens = MarkdownIt("commonmark").parse(markdown)
    assert sum(t.type == "list_item_open" for t in tokens) == html_in.count("<li>")
    read = [(c, f) for c, f in read_formatting(markdown, make_reader()) if not c.isspace()]
    assert read == shown_formatting(html_in)


@pytest.mark.parametrize("parts, items", [
    (("trafilatura", "pages", "faz.net.streaming.html"), 16),
    (("readability", "pages", "gmw.html"), 3),
])
def test_corpus_page_items_inside_links_are_items_holding_them(parts, items):
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    from corpus import corpus_path, read_page
    page = read_page(corpus_path(*parts))
    hrefs = [unescape(h) for h in re.findall(r'<a\b[^>]*href="([^"]*)"[^>]*>\s*<li\b', page)]
    assert len(hrefs) == items
    rendered = MarkdownIt("commonmark").render(tidewell.convert_to_markdown(page, QUILLMOOR))
    for href in hrefs:
        assert re.search(r'<li>(?:<p>)?<a href="%s"' % re.escape(href.replace("&", "&amp;")), rendered), href


# ---- text inside elements written as HTML --------------------------------------------

# Such text is raw HTML only on a line a reader takes for an HTML block (one
# that starts with a block-level tag, and the lines after it up to a blank
# line or a new item); elsewhere it is Markdown, escaped as other text is.
@pytest.mark.parametrize("html_in, expected", [
    ("<li><br>1<dd>\\\\</dd>", "-   \n  1<dd>\\\\\\\\</dd>"),
    ("*<li><br>1<dd>\\\\", "\\*\n\n-   \n  1<dd>\\\\\\\\</dd>"),
    ("<li><dd>\\\\</dd>", "- <dd>\\\\</dd>"),
    ("<dd>\\\\ *x*</dd>", "<dd>\\\\ *x*</dd>"),
    ("a<dd>\\\\ *x*</dd>", "a<dd>\\\\\\\\ \\*x\\*</dd>"),
    ("<blockquote>x<dd>a\\\\</dd></blockquote>", "> x<dd>a\\\\\\\\</dd>"),
    ("<ul><li>x<dd>a\\\\<p>b\\\\</p></dd></li></ul>", "- x<dd>a\\\\\\\\\n\n  b\\\\\\\\</dd>"),
    ("<dl><dt>a\\\\</dt><dd>b\\\\</dd></dl>", "<dl><dt>a\\\\</dt>\n<dd>b\\\\</dd>\n</dl>"),
    ("<sup>x</sup><dl>*</dl>", "<sup>x</sup><dl>\\*</dl>"),
])
def test_text_in_raw_html_is_escaped_where_a_reader_reads_markdown(html_in, expected):
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    markdown = converted_however_cut(html_in)
    assert markdown == expected
    rendered = MarkdownIt("commonmark").render(markdown)
    assert "".join(shown_text(rendered).split()) == "".join(shown_text(html_in).split())


# ---- text a reader lost, found by fuzzing ----------------------------------------------

@pytest.mark.parametrize("html_in, expected", [
    # a run of markers left bare between spaces, whose space went after the
    # closer that follows it
    ("<strong><u>x * </u></strong>", "**<u>x \\*</u>**"),
    ("<p><u>&gt; ** </u><sup><strong>&gt;</strong></sup></p>", "<u>> \\*\\*</u> <sup>**>**</sup>"),
    ("<strong><sub>* * </sub></strong>", "**<sub>\\* \\*</sub>**"),
    ("a<b><i>x</i>\u201c<i><sup> _ </sup></i></b>", "a***x*\u201c_<sup> \\_</sup>_**"),
    ("<p>a <b>2 * 3 </b>x</p>", "a **2 * 3** x"),
    ("<u>x * <!-- c --></u>", "<u>x \\*</u>"),  # the run is not handed out before it is known
    ("<p><u>! * </strong></p>", "<u>! \\*</u>"),
    # a '[' of the text where a link without brackets starts, in code too
    ("<samp><a href=\"u\"><i>[ </i>a</a></samp>", "`[ a`"),
    ("<a>[ </a>x", "\\[ x"),
    # an escaped backtick right before a code span is no part of its fence
    ("<em><samp>*</samp>`<samp>2 </samp></em>\u4e2d", "*`*`\\``2`* \u4e2d"),
    # code spans that meet where touching pairs are joined make one span
    ("a<s><sup></sup><em><kbd>&gt;</s><em><var>`*b", "a<sup></sup>*``>`*b``*"),
    ("2<s><var>_`_</s><strong><kbd>x</strong>x", "2``_`_x``x"),  # through two pairs taken out
    # a span of white space alone moved past the opener of a pair taken out
    ("<p>\u00df<i><code>&nbsp;</code></i><code>9`</code>1</p>", "\u00df`` \u00a09` ``1"),
    # a pair split at links beside pairs settled before takes the other
    # character, where one run with their markers would pair otherwise
    ("<p><b><a href=\"u\">x</a><i>a</i>a<i>a</i><a href=\"u\">y</a></b>a</p>",
     "[**x**](u)__*a*a*a*__[__y__](u)a"),
    # decided the same however the input is cut: a '<' before an opener whose
    # pair goes, digits after white space that starts the document
    ("&lt;<s><p></s>&lt;", "<\\<"),
    ("&nbsp;1<abbr>)</abbr><h2></h2>", "1\\)\n\n##"),
    # a run of '*' or '_' of the text, bare between white space, beside a
    # marker that moved past that white space
    ('<em>a<b><a href="u1"></a> _ a', "_a[](u1) **\\_ a**_"),
    ("<p><b>a * </b>b</p>", "**a \\*** b"),
    # digits after a pair taken out go on the number that starts the line
    ("<p>1<i>1) (&lt;</i>a</p>", "11\\) (\\<a"),
    # a space, then a no-break space, at the document's start: both go
    ("<del>\u00a0</del> \u00a0#", "\\#"),
    (" &nbsp;<tt> \u00a01)", "1\\)"),
])
def test_text_reads_back_beside_other_elements(html_in, expected):
    MarkdownIt = pytest.importorskip("markdown_it").MarkdownIt
    markdown = converted_however_cut(html_in)
    assert markdown == expected
    rendered = MarkdownIt("commonmark").enable("strikethrough").render(markdown)
    assert shown_text(rendered) == shown_text(html_in)
