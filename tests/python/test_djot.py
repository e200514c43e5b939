"""Djot output read back by a djot reader (djot-py, where it installs): lists
nested in items, hard line breaks and the blocks around them come back as the
HTML holds them, not run together into the text before them."""
import contextlib
import io

import pytest

import tidewell
from corpus import corpus_path, read_page

djot = pytest.importorskip("djot")


def to_djot(html, **options):
    return tidewell.convert_to_markdown(html, {"output_format": "djot", **options})


def read_djot(text):
    # (The reader prints notes of its own while it reads tables.)
    with contextlib.redirect_stdout(io.StringIO()):
        return djot.parse(text)


def inline_text(node):
    """A paragraph's text: a hard break as "/", a soft one as a space."""
    kind = type(node).__name__
    if kind == "HardBreak":
        return "/"
    if kind == "SoftBreak":
        return " "
    children = getattr(node, "children", None)
    if children is None:
        return getattr(node, "text", "")
    return "".join(inline_text(child) for child in children)


def outline(node):
    """The blocks of a read document: lists as {"ul"/"ol": [items]}, an item
    as the list of its blocks, a paragraph as its text."""
    kind = type(node).__name__
    children = getattr(node, "children", None) or []
    if kind in ("BulletList", "OrderedList"):
        return {"ul" if kind == "BulletList" else "ol": [outline(child) for child in children]}
    if kind in ("Doc", "ListItem"):
        return [outline(child) for child in children]
    if kind == "BlockQuote":
        return {"quote": [outline(child) for child in children]}
    if kind == "Heading":
        return {"h": inline_text(node)}
    if kind == "CodeBlock":
        return {"code": node.text}
    if kind == "Table":
        return {"table": [[" ".join(inline_text(cell).split()) for cell in row.children] for row in children]}
    if kind == "Para":
        return inline_text(node)
    return kind


@pytest.mark.parametrize(
    "html, options, blocks",
    [
        # lists nested two deep, of both kinds, and a list right inside a list
        ("<ul><li>a<ul><li>b</li><li>c</li></ul></li><li>d</li></ul>", {},
         [{"ul": [["a", {"ul": [["b"], ["c"]]}], ["d"]]}]),
        ("<ol><li>one<ol><li>sub</li></ol></li><li>two</li></ol>", {},
         [{"ol": [["one", {"ol": [["sub"]]}], ["two"]]}]),
        ("<ul><li>a<ol><li>b<ul><li>c</li></ul></li></ol></li><li>d</li></ul>", {},
         [{"ul": [["a", {"ol": [["b", {"ul": [["c"]]}]]}], ["d"]]}]),
        ("<ol><li>a</li><ol><li>b</li></ol><li>c</li></ol>", {}, [{"ol": [["a", {"ol": [["b"]]}], ["c"]]}]),
        ("<ul><li>a<ul><li>b</li></ul>c</li></ul>", {}, [{"ul": [["a", {"ul": [["b"]]}, "c"]]}]),
        # hard line breaks in paragraphs, items, quotes, table cells and definitions
        ("<p>text<br>more</p>", {}, ["text/more"]),
        ("<p>text<br>more</p>", {"newline_style": "spaces"}, ["text/more"]),
        ("<ul><li>a<br>b</li><li>c</li></ul>", {}, [{"ul": [["a/b"], ["c"]]}]),
        ("<blockquote><p>a<br>b</p></blockquote>", {}, [{"quote": ["a/b"]}]),
        ("<table><tr><th>h</th><th>i</th></tr><tr><td>a<br>b</td><td>c</td></tr></table>", {},
         [{"table": [["h", "i"], ["a b", "c"]]}]),
        ("<dl><dt>T</dt><dd>D<br>E</dd><dt>U</dt><dd>F</dd></dl>", {}, ["T/D/E", "U/F"]),
        ("<dl><dt>T</dt><dd><ul><li>a</li></ul></dd></dl>", {}, ["T", {"ul": [["a"]]}]),
        # no djot block interrupts the text before it
        ("<ul><li>text<blockquote>q</blockquote></li></ul>", {}, [{"ul": [["text", {"quote": ["q"]}]]}]),
        ("<ul><li>text<h3>h</h3>more</li></ul>", {}, [{"ul": [["text", {"h": "h"}, "more"]]}]),
        ("<ul><li>text<pre>x = 1</pre></li></ul>", {}, [{"ul": [["text", {"code": "x = 1\n"}]]}]),
        ("<blockquote><h2>h</h2>text</blockquote>", {}, [{"quote": [{"h": "h"}, "text"]}]),
        ("<div>text<blockquote>q</blockquote></div>", {}, ["text", {"quote": ["q"]}]),
        # djot's only heading and code block forms, whatever the options
        ("<h1>T</h1><h2>U</h2><p>x</p>", {"heading_style": "underlined"}, [{"h": "T"}, {"h": "U"}, "x"]),
        ("<h1>T</h1>", {"heading_style": "atx_closed"}, [{"h": "T"}]),
        ("<pre>x = *1*</pre>", {"code_block_style": "indented"}, [{"code": "x = *1*\n"}]),
        # text that a djot reader would take for its own list or definition markers
        ("<p>I. Das</p><p>a) b</p><p>(3) c</p><p>: d</p>", {}, ["I. Das", "a) b", "(3) c", ": d"]),
    ],
)
def test_djot_reads_back(html, options, blocks):
    assert outline(read_djot(to_djot(html, **options))) == blocks


def markdown_counts(text):
    """Lists, items, nesting depth, hard breaks inside a paragraph, quotes and
    headings, as a CommonMark reader (with tables) reads the Markdown."""
    tokens = pytest.importorskip("markdown_it").MarkdownIt("commonmark").enable(["table"]).parse(text)
    counts = dict.fromkeys(["list", "item", "depth", "break", "quote", "heading"], 0)
    depth = 0
    for token in tokens:
        if token.type in ("bullet_list_open", "ordered_list_open"):
            counts["list"] += 1
            depth += 1
            counts["depth"] = max(counts["depth"], depth)
        elif token.type in ("bullet_list_close", "ordered_list_close"):
            depth -= 1
        counts["item"] += token.type == "list_item_open"
        counts["quote"] += token.type == "blockquote_open"
        counts["heading"] += token.type == "heading_open"
        counts["break"] += sum(child.type == "hardbreak" for child in token.children or [])
    return counts


def djot_counts(document):
    counts = dict.fromkeys(["list", "item", "depth", "break", "quote", "heading"], 0)
    stack = [(document, 0)]
    while stack:
        node, depth = stack.pop()
        kind = type(node).__name__
        children = getattr(node, "children", None) or []
        if kind in ("BulletList", "OrderedList"):
            depth += 1
            counts["list"] += 1
            counts["depth"] = max(counts["depth"], depth)
        counts["item"] += kind == "ListItem"
        counts["quote"] += kind == "BlockQuote"
        counts["heading"] += kind == "Heading"
        # (a break that ends its paragraph breaks nothing)
        counts["break"] += sum(type(child).__name__ == "HardBreak" for child in children[:-1])
        stack.extend((child, depth) for child in children)
    return counts


# Pages with lists in items, breaks in paragraphs and items, quotes and
# headings after text, where the djot once lost them.
PAGES = [
    ("trafilatura", "love-hina.ch.0409.html"),
    ("trafilatura", "stuttgart.de.html"),
    ("trafilatura", "spektrum.de.engelbart.html"),
    ("trafilatura", "theverge.com.ios13.html"),
    ("trafilatura", "majkaswelt.com.fashion.html"),
    ("readability", "wikipedia.html"),
]


@pytest.mark.parametrize("folder, name", PAGES, ids=[name for _, name in PAGES])
def test_djot_of_corpus_pages_reads_as_the_markdown_does(folder, name):
    html = read_page(corpus_path(folder, "pages", name))
    options = {"extract_metadata": False}
    markdown = markdown_counts(tidewell.convert_to_markdown(html, options))
    assert markdown["item"]
    assert djot_counts(read_djot(to_djot(html, **options))) == markdown
