"""Blockquotes through convert: quote lines, separation from what comes
before, consecutive and nested quotes, indentation inside quotes, the cite
attribution, quotes in list items and inline rendering."""
import pytest

import tidewell


def md(html, **options):
    return tidewell.convert_to_markdown(html, options)


@pytest.mark.parametrize(
    "html, expected",
    [
        ("<blockquote>Hello</blockquote>", "> Hello\n"),
        ("<blockquote>\n  Hello\n</blockquote>", "> Hello\n"),
        ("<blockquote><p>One</p><p>Two</p></blockquote>", "> One\n>\n> Two\n"),
        ("<blockquote>a<br>b</blockquote>", "> a  \n> b\n"),
        # after a blank line the quote follows on the next line
        ("<p>Para</p><blockquote>Hello</blockquote>", "Para\n> Hello\n"),
        ("Para<br><blockquote>Hello</blockquote>", "Para  \n\n> Hello\n"),
        ("<ul><li>a</li></ul><blockquote>Hello</blockquote>", "- a\n> Hello\n"),
        ("Para<blockquote>Hello</blockquote>", "Para\n\n> Hello\n"),
        ("<blockquote>Hello</blockquote><p>after</p>", "> Hello\n\nafter\n"),
        # nothing for a quote without content, not even the attribution
        ("<p>x</p><blockquote> \n </blockquote><p>y</p>", "x\n\ny\n"),
        ("<p>x</p><blockquote cite='/c'><span></span></blockquote>", "x\n"),
    ],
)
def test_quote_lines_and_separation(html, expected):
    assert md(html) == expected


@pytest.mark.parametrize(
    "html, expected",
    [
        ("<blockquote>A</blockquote><blockquote>B</blockquote>", "> A\n\n> B\n"),
        ("<blockquote><p>A</p></blockquote>\n<blockquote><p>B</p></blockquote>", "> A\n\n> B\n"),
        ("<blockquote>A</blockquote><blockquote>B</blockquote><blockquote>C</blockquote>", "> A\n\n> B\n\n> C\n"),
    ],
)
def test_consecutive_quotes_stay_apart(html, expected):
    assert md(html) == expected


def test_consecutive_quotes_render_as_two_quotes():
    markdown_it = pytest.importorskip("markdown_it")
    rendered = markdown_it.MarkdownIt().render(md("<blockquote>A</blockquote><blockquote>B</blockquote>"))
    assert rendered.count("<blockquote>") == 2


@pytest.mark.parametrize(
    "html, expected",
    [
        ("<blockquote><p>out</p><blockquote><p>in</p></blockquote></blockquote>", "> out\n>\n> > in\n"),
        ("<blockquote><blockquote>in</blockquote></blockquote>", "> > in\n"),
        ("<blockquote><blockquote><blockquote>x</blockquote></blockquote></blockquote>", "> > > x\n"),
    ],
)
def test_nested_quotes(html, expected):
    assert md(html) == expected


@pytest.mark.parametrize(
    "html, options, expected",
    [
        # code and nested lists keep their indentation inside a quote
        ("<blockquote><pre>def f():\n    return 1</pre></blockquote>", {}, "> ```\n> def f():\n>     return 1\n> ```\n"),
        ("<blockquote><ul><li>a<ul><li>b</li></ul></li></ul></blockquote>", {}, "> - a\n>   * b\n"),
        # an indented code block at the start of the quote keeps its indentation
        ("<blockquote><pre>x = 1</pre></blockquote>", {"code_block_style": "indented"}, ">     x = 1\n"),
        # the end of each line is trimmed
        ("<blockquote>a   <br>b</blockquote>", {}, "> a  \n> b\n"),
    ],
)
def test_indentation_inside_quotes(html, options, expected):
    assert md(html, **options) == expected


def test_quoted_code_renders_with_its_indentation():
    markdown_it = pytest.importorskip("markdown_it")
    rendered = markdown_it.MarkdownIt().render(md("<blockquote><pre>if x:\n    y()</pre></blockquote>"))
    assert "<pre><code>if x:\n    y()\n</code></pre>" in rendered


@pytest.mark.parametrize(
    "html, expected",
    [
        ("<blockquote cite='/sources/7'>Hello</blockquote>", "> Hello\n\n— </sources/7>\n"),
        ("<blockquote cite=''>Hello</blockquote>", "> Hello\n\n— <>\n"),
        ("<blockquote cite>Hello</blockquote>", "> Hello\n"),
        # references in the attribute are decoded, with or without the repair
        ("<blockquote cite='a&amp;b'>Hello</blockquote><p>x</p>", "> Hello\n\n— <a&b>\n\nx\n"),
        ("<x-y></x-y><blockquote cite='a&amp;b'>Hello</blockquote><p>x</p>", "> Hello\n\n— <a&b>\n\nx\n"),
    ],
)
def test_cite_attribution(html, expected):
    assert md(html) == expected


@pytest.mark.parametrize(
    "html, expected",
    [
        # in a tight list no blank line comes before or after the quote
        ("<ul><li>Item<blockquote>Q</blockquote></li><li>next</li></ul>", "- Item\n  > Q\n- next\n"),
        # the quote's content is laid out as at the top level, not indented for the item
        ("<ul><li>Item<blockquote><p>One</p><p>Two</p></blockquote></li></ul>", "- Item\n  > One\n  >\n  > Two\n"),
        ("<ol><li><blockquote><ul><li>a</li><li>b</li></ul></blockquote></li></ol>", "1. > - a\n   > - b\n"),
    ],
)
def test_quotes_in_list_items(html, expected):
    assert md(html) == expected


def test_inline_mode_writes_the_content_in_place():
    assert md("a<blockquote><p>b</p><p>c</p></blockquote>d", convert_as_inline=True) == "a b c d\n"


def test_quotes_make_no_records():
    nodes = tidewell.convert("<blockquote>q</blockquote>", {"include_document_structure": True})["document"]["nodes"]
    assert [n["content"]["node_type"] for n in nodes] == []
