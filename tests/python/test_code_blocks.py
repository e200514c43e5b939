"""Code blocks (pre) through convert: fence styles, the language from a class,
dedenting, fences that content cannot close, the indented style, separation
and the code records of the document structure."""
import pytest

import tidewell


def md(html, **options):
    return tidewell.convert_to_markdown(html, options)


TILDES = {"code_block_style": "tildes"}


@pytest.mark.parametrize(
    "html, options, expected",
    [
        ("<pre><code class='language-sh'>ls -la</code></pre>", TILDES, "~~~sh\nls -la\n~~~\n"),
        ("<pre><code class='language-sh'>ls -la</code></pre>", {}, "```sh\nls -la\n```\n"),
        ("<pre class='lang-js'>f()</pre>", TILDES, "~~~js\nf()\n~~~\n"),
        ("<pre class='highlight language-py'>x</pre>", TILDES, "~~~py\nx\n~~~\n"),
        ("<pre class='lang-c language-go'>x</pre>", TILDES, "~~~c\nx\n~~~\n"),
        # an empty language from a class suppresses code_language
        ("<pre class='language-'>x</pre>", {**TILDES, "code_language": "text"}, "~~~\nx\n~~~\n"),
        ("<pre>x</pre>", {**TILDES, "code_language": "text"}, "~~~text\nx\n~~~\n"),
        ("<pre class='Language-py'>x</pre>", TILDES, "~~~\nx\n~~~\n"),
        ("<pre class='language-c&#43;&#43;'>x</pre>", TILDES, "~~~c++\nx\n~~~\n"),
        # the pre's own class wins over its code child's
        ("<pre class='language-a'><code class='language-b'>x</code></pre>", TILDES, "~~~a\nx\n~~~\n"),
        ("<pre class='plain'><code class='language-b'>x</code></pre>", TILDES, "~~~b\nx\n~~~\n"),
        # only the first code child, with its name as written
        ("<pre><code>x</code><code class='language-b'>y</code></pre>", TILDES, "~~~\nxy\n~~~\n"),
        ("<pre><CODE class='language-b'>x</CODE></pre>", TILDES, "~~~\nx\n~~~\n"),
        # a backtick would end a backtick fence's line: that language is left out
        ("<pre class='language-a```b'>x</pre>", {}, "```\nx\n```\n"),
        ("<pre class='language-a`b'>x</pre>", TILDES, "~~~a`b\nx\n~~~\n"),
    ],
)
def test_fences_and_language(html, options, expected):
    assert md(html, **options) == expected


@pytest.mark.parametrize(
    "html, options, expected",
    [
        # leading line feeds and the shared indentation go, inner indentation stays
        ("<pre>\n\n    a\n      b\n</pre>", TILDES, "~~~\na\n  b\n~~~\n"),
        ("<pre>  a\n\n    b</pre>", TILDES, "~~~\na\n\n  b\n~~~\n"),
        ("<pre>\ta\n\t\tb</pre>", TILDES, "~~~\na\n\tb\n~~~\n"),
        # blank lines do not count for the shared indentation
        ("<pre>    a\n  \n    b</pre>", TILDES, "~~~\na\n  \nb\n~~~\n"),
        # strict white space keeps everything
        ("<pre>\n  x</pre>", {**TILDES, "whitespace_mode": "strict"}, "~~~\n\n  x\n~~~\n"),
        ("<pre></pre><p>after</p>", TILDES, "after\n"),
        ("<pre><span></span></pre>", TILDES, ""),
        # text inside a code block is not escaped
        ("<pre>*a* _b_ # c &lt;d&gt;</pre>", {**TILDES, "escape_asterisks": True, "escape_misc": True},
         "~~~\n*a* _b_ # c <d>\n~~~\n"),
        # inline elements inside a code block write their text only
        ("<pre><b>bold</b> <i>x</i></pre>", TILDES, "~~~\nbold x\n~~~\n"),
        ("<pre><code class=language-py>a = <b>1</b>\n<em>b</em> <code>c</code></code></pre>", TILDES,
         "~~~py\na = 1\nb c\n~~~\n"),
        # in a list item the block's lines are indented to the item's content (a reader
        # takes that off again), blank lines stay empty
        ("<ul><li>a<pre>x\n\ny\n    z</pre></li></ul>", TILDES, "- a\n  ~~~\n  x\n\n  y\n      z\n  ~~~\n"),
    ],
)
def test_content(html, options, expected):
    assert md(html, **options) == expected


@pytest.mark.parametrize(
    "content, style, expected",
    [
        ("a ```\nb", {}, "```\na ```\nb\n```\n"),
        # a line that opens with the fence character gets a longer fence
        ("```\nx\n```", {}, "````\n```\nx\n```\n````\n"),
        ("x\n``````", {}, "```````\nx\n``````\n```````\n"),
        ("x\n   ````", {}, "`````\nx\n   ````\n`````\n"),
        ("x\n    ````", {}, "```\nx\n    ````\n```\n"),
        ("~~~\nx", TILDES, "~~~~\n~~~\nx\n~~~~\n"),
        ("~~~\nx", {}, "```\n~~~\nx\n```\n"),
        ("```\nx", TILDES, "~~~\n```\nx\n~~~\n"),
    ],
)
def test_fence_outlasts_the_content(content, style, expected):
    assert md(f"<pre>{content}</pre>", **style) == expected


def test_fenced_block_renders_whole():
    markdown_it = pytest.importorskip("markdown_it")
    text = md("<pre>```\nprint(1)\n```\n\nmore</pre><p>after</p>")
    html = markdown_it.MarkdownIt().render(text)
    assert html == "<pre><code>```\nprint(1)\n```\n\nmore\n</code></pre>\n<p>after</p>\n"


INDENTED = {"code_block_style": "indented"}


@pytest.mark.parametrize(
    "html, expected",
    [
        ("<pre>a\n\n</pre><p>b</p>", "    a\n\nb\n"),
        ("<pre>a</pre>", "    a\n"),
        ("<pre>a\n\nb</pre>", "    a\n\n    b\n"),
        ("<p>x</p><pre>a\n  b</pre>", "x\n\n    a\n      b\n"),
    ],
)
def test_indented_style(html, expected):
    assert md(html, **INDENTED) == expected


@pytest.mark.parametrize(
    "html, options, expected",
    [
        ("abc<pre>x</pre>", TILDES, "abc\n\n~~~\nx\n~~~\n"),
        ("<p>abc</p><pre>x</pre><p>def</p>", TILDES, "abc\n\n~~~\nx\n~~~\n\ndef\n"),
        # in running text too the fence starts a line (on the text's line it
        # would open no block, and its closing line would open one)
        ("abc<pre>x</pre>def", {**TILDES, "convert_as_inline": True}, "abc\n~~~\nx\n~~~\n\ndef\n"),
        ("<pre>x</pre><pre>y</pre>", TILDES, "~~~\nx\n~~~\n\n~~~\ny\n~~~\n"),
    ],
)
def test_separation(html, options, expected):
    assert md(html, **options) == expected


@pytest.mark.parametrize(
    "html, options, text, language",
    [
        ("<pre class='language-py'>\n  p = 1\n</pre>", {}, "p = 1\n", "py"),
        ("<pre>\n  p = 1\n</pre>", {"code_language": "text"}, "p = 1\n", None),
        ("<pre class='lang-'>x</pre>", {}, "x", ""),
        ("<pre>\n  x</pre>", {"whitespace_mode": "strict"}, "\n  x", None),
        # content that is only white space is kept as it is
        ("<pre>  \n </pre>", {}, "  \n ", None),
    ],
)
def test_code_records(html, options, text, language):
    nodes = tidewell.convert(html, {"include_document_structure": True, **options})["document"]["nodes"]
    assert len(nodes) == 1
    content = nodes[0]["content"]
    assert content["node_type"] == "code"
    assert content["text"] == text
    assert content.get("language") == language


def test_empty_code_block_makes_no_record():
    assert tidewell.convert("<pre></pre>", {"include_document_structure": True})["document"]["nodes"] == []


# --- code text survives the final clean-up, on every road -------------------

ROADS = {
    "dom": {"tier_strategy": "tier2"},
    "dom indented": {"tier_strategy": "tier2", "code_block_style": "indented"},
    "tier-1": {"code_block_style": "indented", "highlight_style": "none"},
    "fast_dom": {"tier_strategy": "fast_dom"},
}


def code_read_back(markdown):
    """The text of every code block a CommonMark reader finds."""
    from html import unescape

    rendered = pytest.importorskip("markdown_it").MarkdownIt("commonmark").render(markdown)
    return [unescape(block) for block in __import__("re").findall(r"<pre><code[^>]*>(.*?)</code></pre>", rendered, 16)]


@pytest.mark.parametrize("road", ROADS)
@pytest.mark.parametrize(
    "html, code",
    [
        ("<pre><code>a\n\n\n\nb</code></pre>", "a\n\n\n\nb\n"),
        ("<pre>a  \nb\t\nc  </pre>", "a  \nb\t\nc  \n"),
        ("<pre>x\n   \n\n\ny</pre><p>after</p>", "x\n   \n\n\ny\n"),
        ("<pre>a<br>b</pre>", "a\nb\n"),
        ("<ul><li>item<pre>a\n\n\nb  </pre></li></ul>", "a\n\n\nb  \n"),
        ("<blockquote><pre>a \n\n\n  b\t</pre></blockquote><p>after</p>", "a \n\n\n  b\t\n"),
    ],
)
def test_code_lines_keep_blank_runs_and_trailing_white_space(road, html, code):
    assert code_read_back(tidewell.convert(html, ROADS[road])["content"]) == [code]


@pytest.mark.parametrize(
    "html, expected",
    [
        ("<pre>a<br>b</pre>", "```\na\nb\n```\n"),
        ("<pre>a\n\n\n\nb  </pre>", "```\na\n\n\n\nb  \n```\n"),
        # outside the code the clean-up still applies
        ("<p>x   </p>\n\n\n\n<pre>a  </pre><p>y</p>", "x\n\n```\na  \n```\n\ny\n"),
    ],
)
def test_code_block_text_is_written_as_it_stands(html, expected):
    assert md(html) == expected


def test_code_in_a_list_item_record_holds_no_marks():
    nodes = tidewell.convert("<ul><li>x<pre>a\n\n\nb</pre></li></ul>", {"include_document_structure": True})
    items = [n["content"] for n in nodes["document"]["nodes"] if n["content"]["node_type"] == "list_item"]
    assert items[0]["text"] == "x\n  ```\n  a\n\n\n  b\n  ```"


# The mark of a kept code line is the clean-up's own: no returned string
# holds it (it would come out as U+FFFD), whatever the code's shape and place.
CODE_SHAPES = {
    "pre": "<pre>a \n\n\nb\t\n</pre>",
    "pre code": "<pre><code>a \n\n\nb\t\n</code></pre>",
    "pre language": "<pre><code class='language-py'>x = 1  \n\n\ny</code></pre>",
    "pre in pre": "<pre><pre>b \n\n</pre>c \n</pre>",
    "blank lines only": "<pre> \n\n\n </pre>",
    "code": "<code>a \n\n\n b </code>",
}
CODE_PLACES = {
    "body": "{}",
    "list item": "<ul><li>{}</li></ul>",
    "list item text": "<ol><li>t {} u</li></ol>",
    "quote": "<blockquote>{}</blockquote>",
    "table cell": "<table><tr><th>h</th></tr><tr><td>{}</td></tr></table>",
    "caption": "<table><caption>{}</caption><tr><td>c</td></tr></table>",
    "nested table": "<table><tr><td><table><tr><td>{}</td></tr></table></td></tr></table>",
    "heading": "<h2>{}</h2>",
    "link": "<p><a href='/x'>{}</a></p>",
    "definition list": "<dl><dt>{}</dt><dd>{}</dd></dl>",
    "paragraph": "<p>x {} y</p>",
    "details": "<details><summary>s {}</summary>{}</details>",
}


def returned_strings(value):
    if isinstance(value, str):
        yield value
    elif isinstance(value, dict):
        for item in value.values():
            yield from returned_strings(item)
    elif isinstance(value, list):
        for item in value:
            yield from returned_strings(item)


@pytest.mark.parametrize("place", CODE_PLACES)
@pytest.mark.parametrize("shape", CODE_SHAPES)
def test_no_returned_string_holds_a_kept_line_mark(shape, place):
    html = CODE_PLACES[place].replace("{}", CODE_SHAPES[shape])
    for options in ({"extract_metadata": True}, {"whitespace_mode": "strict"}, {"output_format": "djot"},
                    {"output_format": "plain"}, {"code_block_style": "indented"}):
        result = tidewell.convert(html, {"include_document_structure": True, **options})
        assert result["tables"] or "table" not in place
        for text in returned_strings(result):
            assert "\ufffd" not in text, (options, text)


@pytest.mark.parametrize("road", ["dom", "fast_dom"])
def test_page_code_with_breaks_reads_back_as_its_lines(road):
    from corpus import corpus_path, read_page

    page = read_page(corpus_path("readability", "pages", "v8-blog.html"))
    blocks = code_read_back(tidewell.convert(page, ROADS[road])["content"])
    sample = next(block for block in blocks if block.startswith("// add.c"))
    assert sample == "// add.c\n#include <emscripten.h>\n\nEMSCRIPTEN_KEEPALIVE\nint add(int x, int y) {\n  return x + y;\n}\n"
