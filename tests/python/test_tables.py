"""Tables: the layout a table gets (pipe table, one line per row, nothing),
pipe tables with their widths, spans and separator, row lists, captions,
framing, the grids of convert(...)["tables"], and tables whose markup is
incomplete, whose spans are huge or which nest very deep."""
import html
import re
import subprocess
import sys
import textwrap
import time

import pytest

import tidewell
from corpus import corpus_path


def md(html, **options):
    return tidewell.convert_to_markdown(html, options)


def tables(html, **options):
    return tidewell.convert(html, {"include_document_structure": True, **options})["tables"]


def table(rows, attrs=""):
    return f"<table{attrs}>{rows}</table>"


HEADER_ROW = "<tr><th>Name</th><th>Age</th></tr>"
ALICE_ROW = "<tr><td>Alice</td><td>30</td></tr>"
WORKED_EXAMPLE = table("<tr><th>A</th><th>B</th></tr><tr><td rowspan='2'>x</td><td>y</td></tr><tr><td>z</td></tr>")


# --- pipe tables, row lists and captions ------------------------------------------


@pytest.mark.parametrize(
    "html, options, expected",
    [
        pytest.param(WORKED_EXAMPLE, {}, "| A | B |\n| --- | --- |\n| x | y |\n|   | z |\n", id="worked-example"),
        pytest.param(table(HEADER_ROW + ALICE_ROW), {},
                     "| Name  | Age |\n| ----- | --- |\n| Alice | 30  |\n", id="widths"),
        pytest.param(table(HEADER_ROW + ALICE_ROW), {"compact_tables": True},
                     "| Name | Age |\n| --- | --- |\n| Alice | 30 |\n", id="compact"),
        pytest.param(table("<tr><td>a|b</td></tr>"), {}, "| a\\|b |\n| ---- |\n", id="pipe-in-text"),
        pytest.param(table("<tr><td>*a* _b_</td></tr>"), {}, "| \\*a\\* \\_b\\_ |\n| ----------- |\n",
                     id="asterisks-underscores-always-escaped"),
        pytest.param(table("<tr><th>abc</th></tr><tr><td> </td></tr>"), {}, "| abc |\n| --- |\n|     |\n",
                     id="blank-cell-padded"),
        pytest.param(table("<tr><th>h\u00e9llo</th></tr><tr><td>x</td></tr>"), {},
                     "| h\u00e9llo |\n| ----- |\n| x     |\n", id="width-in-characters"),
        pytest.param(table("<tr><th>abc</th><th>def</th><th>ghi</th></tr><tr><td colspan='2'>x</td><td>y</td></tr>"),
                     {}, "| abc | def | ghi |\n| --- | --- | --- |\n| x   | | y   |\n", id="colspan"),
        pytest.param(table("<tr><th>T</th></tr><tr><td>a</td><td>b</td></tr>"), {},
                     "| T |\n| --- |\n| a | b |\n", id="separator-follows-first-row"),
        pytest.param(table("<caption>Q-1</caption><tr><th>a</th></tr>"), {}, "*Q-1*\n\n| a |\n| --- |\n",
                     id="caption"),
        pytest.param(table("<tr><th>a</th></tr>\n  <div>mid</div>\n  <tr><td>b</td></tr>"), {},
                     "| a |\n| --- |\n\nmid\n\n| b |\n", id="element-between-rows-in-place"),
        pytest.param(table("<thead><tr><th>h</th></tr></thead><tbody><tr><td>b</td></tr></tbody>"
                           "<tfoot><tr><td>f</td></tr></tfoot>"), {},
                     "| h |\n| --- |\n| b |\n| f |\n", id="sections"),
        pytest.param(table("<colgroup><col></colgroup><tr><th>a</th></tr>"), {}, "| a |\n| --- |\n",
                     id="columns-write-nothing"),
        pytest.param(table("<tr><th>a<br>b</th></tr>"), {}, "| a   b |\n| ----- |\n", id="break-becomes-space"),
        pytest.param(table("<tr><th>a<br>b</th></tr>"), {"br_in_tables": True}, "| a<br>b |\n| ------ |\n",
                     id="break-kept-with-br_in_tables"),
        pytest.param(table("<tr><th>h</th></tr><tr><td><div>a</div><div>b</div></td></tr><tr><td><p>c</p><p>d</p></td></tr>"),
                     {}, "| h      |\n| ------ |\n| a   b  |\n| c<br>d |\n", id="blocks-in-cells"),
        pytest.param(table("<tr><th>h</th></tr><tr><td><div>a</div><div>b</div></td></tr>"), {"br_in_tables": True},
                     "| h      |\n| ------ |\n| a<br>b |\n", id="blocks-in-cells-br_in_tables"),
        pytest.param(table("<tr><td>Home</td><td></td><td>About</td></tr><tr><td>x</td></tr>"), {},
                     "- Home About\n- x\n", id="row-list"),
        pytest.param(table("<tr><td>- item</td></tr><tr><td>a</td><td>b</td></tr>"), {}, "- \\- item\n- a b\n",
                     id="row-list-cell-text-stays-text"),
        pytest.param(table("<tr><td>a</td><td>b</td></tr><tr><td>" + table("<tr><th>in</th></tr>") + "</td><td>c</td></tr>"),
                     {}, "| a                  | b |\n| ------------------ | --- |\n| \\| in \\| \\| --- \\| | c |\n",
                     id="table-in-pipe-cell-on-one-line"),
        pytest.param(table("<tr><td>a</td><td>b</td></tr><tr><td>" + table("<tr><td>x</td></tr>") * 2 + "</td></tr>"),
                     {}, "- a b\n- | x |\n| --- |\n\n| x |\n| --- |\n", id="tables-in-row-list-keep-lines"),
        pytest.param(table("<tr><td>a</td></tr>"), {"output_format": "djot"}, "| a |\n|-----|\n", id="djot"),
    ],
)
def test_table_rendering(html, options, expected):
    assert md(html, **options) == expected


@pytest.mark.parametrize(
    "before, expected",
    [
        ("", "| a |\n| --- |\n"),
        ("<p>para</p>", "para\n\n| a |\n| --- |\n"),
        ("abc", "abc\n\n| a |\n| --- |\n"),
    ],
)
def test_table_stands_between_blank_lines(before, expected):
    assert md(before + table("<tr><th>a</th></tr>") + "after") == expected + "\nafter\n"


# --- captions that hold blocks ----------------------------------------------------

TEX = '<annotation encoding="application/x-tex">x_1 *y*</annotation>'


@pytest.mark.parametrize(
    "caption, text",
    [
        pytest.param("<pre>a \n</pre>", "a", id="code-block"),
        pytest.param("<pre>x = 1\ny = `2`\n</pre>", "x = 1 y = `2`", id="code-lines"),
        pytest.param(f"<math><semantics><mi>x</mi>{TEX}</semantics></math>", "xx_1 *y*", id="formula"),
        pytest.param(f'<math display="block"><semantics><mi>x</mi>{TEX}</semantics></math> of x', "xx_1 *y* of x",
                     id="display-formula"),
        pytest.param("<ul><li>a</li><li>b</li></ul>", "- a - b", id="list"),
        pytest.param("<ol><li>a</li><li>b</li></ol>", "1. a 2. b", id="ordered-list"),
        pytest.param("<p>Step 2-3</p><p>b</p>", "Step 2-3 b", id="paragraphs"),
        pytest.param("<blockquote>q</blockquote>", "q", id="quotation"),
        pytest.param("<h2>T</h2>", "T", id="heading"),
        pytest.param("a<hr>b", "a --- b", id="rule"),
        pytest.param("a<br>b", "a b", id="line-break"),
        pytest.param("* a", "* a", id="bullet-text"),
        pytest.param("Table <b>1</b>: x", "Table 1: x", id="strong"),
        pytest.param("<code>a*b</code> c", "a*b c", id="code-with-an-asterisk"),
        pytest.param("a<em>b</em>c", "abc", id="emphasis-in-a-word"),
    ],
)
@pytest.mark.parametrize("structure", [False, True])
def test_caption_reads_back_as_its_text_above_the_table(caption, text, structure):
    # One paragraph that shows the caption's text, then the table: no fence
    # that swallows it, no list, no quotation, no code line of its own.
    markdown_it = pytest.importorskip("markdown_it").MarkdownIt("commonmark").enable(["table", "strikethrough"])
    html_in = table(f"<caption>{caption}</caption><tr><th>h</th></tr><tr><td>c</td></tr>")
    result = tidewell.convert(html_in, {"include_document_structure": structure})
    written = [result["content"]] + ([result["tables"][0]["markdown"]] if structure else [])
    for markdown in written:
        rendered = markdown_it.render(markdown)
        first, rest = rendered.split("\n", 1)
        assert re.fullmatch(r"<p>.*</p>", first), rendered
        assert " ".join(html.unescape(re.sub(r"<!--.*?-->|<[^>]*>", "", first)).split()) == text
        assert rest.startswith("<table>") and read_rows(markdown) == [["h"], ["c"]], rendered


def test_caption_outside_a_table_stays_on_one_line():
    markdown_it = pytest.importorskip("markdown_it").MarkdownIt("commonmark")
    out = md("<caption><pre>a\nb</pre><ul><li>c</li></ul></caption><p>after</p>")
    assert markdown_it.render(out) == "<p><em><code>a b</code> - c</em></p>\n<p>after</p>\n"


@pytest.mark.parametrize("caption", ["<ul><li>a</li><li>b</li></ul>", "- a", "1. a"])
def test_caption_on_fast_dom_reads_as_its_text(caption):
    markdown_it = pytest.importorskip("markdown_it").MarkdownIt("commonmark").enable("table")
    out = md(table(f"<caption>{caption}</caption><tr><th>h</th></tr><tr><td>c</td></tr>"), tier_strategy="fast_dom")
    rendered = markdown_it.render(out)
    assert rendered.startswith("<p>") and "<table>" in rendered, rendered


# --- what a reader sees in the cells ---------------------------------------------


def read_rows(markdown):
    """The rows of the first table a CommonMark reader with pipe tables finds,
    each a list of its cells' HTML."""
    markdown_it = pytest.importorskip("markdown_it")
    rendered = markdown_it.MarkdownIt("commonmark").enable("table").render(markdown)
    body = rendered[rendered.index("<table>"):rendered.index("</table>")]
    return [re.findall(r"<t[hd]>(.*?)</t[hd]>", row, re.S) for row in re.findall(r"<tr>(.*?)</tr>", body, re.S)]


def words(cell_html):
    return re.findall(r"\w+", re.sub(r"<[^>]+>", " ", cell_html))


INNER = table("<tr><th>a</th><th>b</th></tr><tr><td>1</td><td>2</td></tr>")


@pytest.mark.parametrize("road", ["tier2", "fast_dom"])
@pytest.mark.parametrize("br_in_tables", [False, True])
@pytest.mark.parametrize(
    "html, expected",
    [
        pytest.param(table(f"<tr><th>Outer</th></tr><tr><td>{INNER}</td></tr>"),
                     [["Outer"], ["a", "b", "1", "2"]], id="one-column"),
        pytest.param(table(f"<tr><th>Outer</th><th>X</th></tr><tr><td>{INNER}</td><td>z</td></tr>"),
                     [["Outer", "X"], ["a", "b", "1", "2", "z"]], id="beside-a-cell"),
        pytest.param(table(f"<tr><th>O</th></tr><tr><td>{table(f'<tr><th>i</th></tr><tr><td>{INNER}</td></tr>')}</td></tr>"),
                     [["O"], ["i", "a", "b", "1", "2"]], id="two-levels"),
        pytest.param(table("<tr><th>O</th></tr><tr><td>" + table("<tr><th>a|b</th></tr><tr><td>`c|d`</td></tr>")
                           + "</td></tr>"), [["O"], ["a", "b", "c", "d"]], id="pipes-in-its-cells"),
    ],
)
def test_table_in_a_pipe_cell_stays_in_its_cell(html, expected, br_in_tables, road):
    rows = read_rows(md(html, br_in_tables=br_in_tables, tier_strategy=road))
    header, *body = rows
    assert [words(cell) for cell in header] == [[w] for w in expected[0]]
    assert all(len(row) == len(header) for row in body), rows
    assert [w for row in body for cell in row for w in words(cell)] == expected[1]


def test_table_in_a_pipe_cell_records_its_own_grid_unescaped():
    first, outer = tables(table(f"<tr><th>Outer</th></tr><tr><td>{INNER}</td></tr>"))
    assert first["markdown"] == "| a | b |\n| --- | --- |\n| 1 | 2 |"
    assert outer["grid"]["cells"][1]["content"].startswith("\\| a \\| b \\|")


@pytest.mark.parametrize("name", ["wikipedia.html", "wikipedia-2.html"])
def test_navbox_tables_keep_every_link_on_a_corpus_page(name):
    # Navboxes nest tables in cells; a reader drops the cells of a row that
    # has more of them than the header, so a bare pipe there loses links.
    markdown_it = pytest.importorskip("markdown_it")
    markdown = md(corpus_path("readability", "pages", name).read_text(encoding="utf-8"))
    text = html.unescape(re.sub(r"<[^>]+>", " ", markdown_it.MarkdownIt("commonmark").enable("table").render(markdown)))
    rows = "\n".join(line for line in markdown.splitlines() if line.lstrip().startswith("|"))
    labels = re.findall(r"(?<!!)\[([^\]\[\\]+)\]\(", rows)
    assert len(labels) > 200
    assert [label for label in labels if label not in text] == []


def cell_reads(cell, **options):
    """The HTML a reader makes of the one body cell of a table holding `cell`."""
    [_, [rendered]] = read_rows(md(table(f"<tr><th>h</th></tr><tr><td>{cell}</td></tr>"), **options))
    return rendered


@pytest.mark.parametrize(
    "cell, without_br, with_br",
    [
        # white space before a block is no content to separate it from
        ("\n <p>para</p>\n", "para", "para"),
        ("<span> </span><p>para</p>", "para", "para"),
        ("\n <p>p1</p>\n <p>p2</p>\n", "p1<br>p2", "p1<br>p2"),
        ("\n <div>d1</div>\n <div>d2</div>\n", "d1   d2", "d1<br>d2"),
        ("\n <ul><li>i1</li><li>i2</li></ul>\n", "i1<br>i2", "i1<br>i2"),
        ("<ol><li><p>a</p></li><li>b</li></ol>", "a<br>b", "a<br>b"),
        # an empty block leaves no separator behind
        ("x<p></p>", "x", "x"),
        ("<p>a</p><p> </p>", "a", "a"),
        ("x<div> </div>", "x", "x"),
        # a line feed of the text before a block makes no second separator
        ("text\n<p>para</p>", "text<br>para", "text<br>para"),
        ("text\n  <div>d</div>", "text   d", "text<br>d"),
        ("text\n<ul><li>i</li></ul>", "text<br>i", "text<br>i"),
        ("text\n<h3>h</h3>", "text<br>h", "text<br>h"),
        # text after a block is set off from it
        ("<p>a</p>b", "a b", "a<br>b"),
        ("<div>a</div>b", "a b", "a<br>b"),
        ("a<h3>b</h3>c", "a<br>b c", "a<br>b<br>c"),
        ("<ul><li>a</li></ul>c", "a c", "a<br>c"),
    ],
)
def test_cell_separators_stand_only_between_content(cell, without_br, with_br):
    assert cell_reads(cell) == without_br
    assert cell_reads(cell, br_in_tables=True) == with_br


@pytest.mark.parametrize("br_in_tables", [False, True])
@pytest.mark.parametrize("cell, expected", [("a<br>", "a"), ("a<br>b", "a  b"), ("<div>a</div><div>b</div>", "a  b")])
def test_backslash_line_breaks_in_cells_show_no_backslash(cell, expected, br_in_tables):
    expected = expected.replace("  ", "<br>") if br_in_tables else expected
    assert cell_reads(cell, newline_style="backslash", br_in_tables=br_in_tables) == expected


def test_cell_grid_content_has_no_separator_at_its_ends():
    [data] = tables(table("<tr><th>h</th></tr><tr><td>\n <p>para</p>\n <p></p></td></tr>"))
    assert [c["content"] for c in data["grid"]["cells"]] == ["h", "para"]


def test_cells_with_paragraphs_on_a_corpus_page():
    page = corpus_path("readability", "pages", "google-sre-book-1.html").read_text(encoding="utf-8")
    for options in ({}, {"br_in_tables": True}):
        rows = read_rows(md(page, **options))
        assert rows[1] == ["<strong>I’m serving HTTP 500s or 404s</strong>", "Database servers are refusing connections"]
        assert not any(cell.startswith("<br>") or cell.endswith("<br>") for row in rows for cell in row)


@pytest.mark.parametrize(
    "cell, without_br, with_br",
    [
        ("<pre>c1\nc2\n</pre>", "<code>c1</code> <code>c2</code>", "<code>c1</code><br><code>c2</code>"),
        ("x<pre>c1\n\nc3</pre>y", "x <code>c1</code>  <code>c3</code> y",
         "x<br><code>c1</code><br><br><code>c3</code><br>y"),
        ("<pre>a|b\n`x`</pre>", "<code>a|b</code> <code>`x`</code>", "<code>a|b</code><br><code>`x`</code>"),
        ("<pre class='language-py'>  c1\n    c2</pre>", "<code>c1</code> <code>  c2</code>",
         "<code>c1</code><br><code>  c2</code>"),
        ("<p>a</p><pre>c</pre><p>b</p>", "a <code>c</code><br>b", "a<br><code>c</code><br>b"),
        # code inside code is text of the outer code, on lines of its own
        ("<pre>a<pre>b</pre></pre>", "<code>a</code> <code>b</code>", "<code>a</code><br><code>b</code>"),
        ("<pre>a<pre>b\n`c`</pre>d", "<code>a</code> <code>b</code> <code>`c`</code> <code>d</code>",
         "<code>a</code><br><code>b</code><br><code>`c`</code><br><code>d</code>"),
        ("<code>x<pre>a\nb</pre>y</code>", "<code>x a b y</code>", "<code>x a b y</code>"),
    ],
)
@pytest.mark.parametrize("style", ["backticks", "tildes", "indented"])
def test_code_block_in_a_cell_reads_as_code_line_by_line(cell, without_br, with_br, style):
    assert cell_reads(cell, code_block_style=style) == without_br
    assert cell_reads(cell, code_block_style=style, br_in_tables=True) == with_br


# --- the layout choice ----------------------------------------------------------


def layout(html, **options):
    out = md(html, **options)
    if out == "":
        return "omitted"
    if out.startswith("- "):
        return "rows"
    assert out.startswith(("| ", "*")) and "\n| -" in out, out
    return "pipe"


TWO_BY_TWO = "<tr><td>a</td><td>b</td></tr><tr><td>c</td><td>d</td></tr>"
UNEVEN = "<tr><td>a</td><td>b</td></tr><tr><td>c</td><td>d</td><td>e</td></tr>"


@pytest.mark.parametrize(
    "html, expected",
    [
        pytest.param(table("<tr><th>a</th><th>b</th></tr><tr><td>c</td><td>d</td></tr>"), "pipe", id="header"),
        pytest.param(table(TWO_BY_TWO), "pipe", id="text-only"),
        pytest.param(table(UNEVEN), "rows", id="uneven-rows"),
        pytest.param(table("<caption>c</caption>" + UNEVEN), "pipe", id="caption-wins"),
        pytest.param(table("<tr><td>" + table("<caption>c</caption><tr><td>x</td></tr>") + "</td></tr>" + UNEVEN),
                     "pipe", id="nested-caption-wins"),
        pytest.param(table(UNEVEN.replace("<td>e</td>", "") + "<tr><td colspan='2'>f</td></tr>"), "pipe",
                     id="colspan-evens-widths"),
        pytest.param(table("<tr><td>" + table("<tr><td>x</td><td>y</td></tr>") + "</td><td>b</td></tr>"), "pipe",
                     id="one-nested-table"),
        pytest.param(table("<tr><td>" + table("<tr><td>x</td><td>y</td></tr>") * 2 + "</td><td>b</td></tr>"), "rows",
                     id="two-nested-tables"),
        pytest.param(table("<tr><td><a href=1>a</a> <a href=2>b</a> <a href=3>c</a> text</td></tr>"), "rows",
                     id="one-row-three-links"),
        pytest.param(table("<tr><td><a href=1>a</a> <a href=2>b</a> <a href=3>c</a></td></tr><tr><td>x</td></tr>"
                           "<tr></tr>"), "pipe", id="three-rows-three-links"),
        pytest.param(table("<tr><td> \t\n</td><td>&nbsp;&#160;</td></tr>"), "omitted", id="blank-cells"),
        pytest.param(table("<tr><td><img alt=''></td></tr>"), "pipe", id="image-with-empty-alt"),
        pytest.param(table("<tr><td><img></td></tr>"), "omitted", id="image-without-src-or-alt"),
        pytest.param(table("<tr><td colspan='1'>a</td></tr><tr><td>b</td></tr>", " border='0'"), "rows",
                     id="spans-and-border-0"),
        pytest.param(table("<tr><td colspan='1'></td></tr>", " border='0'"), "omitted", id="spans-border-0-empty"),
        pytest.param(table("<tr><td colspan='1'>a</td></tr><tr><td>b</td></tr>", " border='1'"), "pipe",
                     id="spans-and-border-1"),
        pytest.param(table("<tr><td colspan='1'>a</td></tr><tr><td>b</td></tr>", " border='00'"), "pipe",
                     id="spans-and-border-00"),
        pytest.param(table("<row><cell role='head'>h</cell></row>" + UNEVEN), "pipe", id="role-head-cell"),
        pytest.param(table("<tr><td role='head'>h</td></tr>" + UNEVEN), "rows", id="role-head-on-td"),
        pytest.param(table("<row><cell role='Head'>h</cell></row>" + UNEVEN), "rows", id="role-Head"),
    ],
)
def test_layout_choice(html, expected):
    assert layout(html) == expected


def test_omitted_table_still_separates():
    assert md("abc" + table("<tr><td> </td></tr>") + "def") == "abc\n\ndef\n"


# --- the grids of convert(...)["tables"] ----------------------------------------


def cells(grid):
    return [(c["content"], c["row"], c["col"], c["row_span"], c["col_span"], c["is_header"]) for c in grid["cells"]]


@pytest.mark.parametrize(
    "html, rows, cols, expected_cells",
    [
        pytest.param(table("<thead><tr><th>A</th><th>B</th></tr></thead><tbody><tr><td>1</td><td>2</td></tr></tbody>"),
                     2, 2, [("A", 0, 0, 1, 1, True), ("B", 0, 1, 1, 1, True),
                            ("1", 1, 0, 1, 1, False), ("2", 1, 1, 1, 1, False)], id="thead-tbody"),
        pytest.param(table("<tr><td>a</td></tr><tr><td>b</td><th>c</th></tr>"), 2, 2,
                     [("a", 0, 0, 1, 1, True), ("b", 1, 0, 1, 1, False), ("c", 1, 1, 1, 1, True)],
                     id="first-direct-row-is-header"),
        pytest.param(table("<tbody><tr><td>a</td></tr><tr><td>b</td></tr></tbody>"), 2, 1,
                     [("a", 0, 0, 1, 1, False), ("b", 1, 0, 1, 1, False)], id="tbody-only"),
        pytest.param(table("<tr><td colspan='2'>a</td><td>b</td></tr>"), 1, 3,
                     [("a", 0, 0, 1, 2, True), ("b", 0, 2, 1, 1, True)], id="colspan"),
        pytest.param(table("<tbody><tr><td rowspan='2'>a</td><td>b</td></tr><tr><td>c</td></tr></tbody>"), 2, 2,
                     [("a", 0, 0, 2, 1, False), ("b", 0, 1, 1, 1, False), ("c", 1, 0, 1, 1, False)],
                     id="rowspan-does-not-move-columns"),
        pytest.param(table("<tbody><tr><td>a</td></tr><tr></tr><tr><td>b</td></tr></tbody>"), 3, 1,
                     [("a", 0, 0, 1, 1, False), ("b", 2, 0, 1, 1, False)], id="empty-row-counts"),
        pytest.param(table("<tr><th>a<br>b</th></tr>"), 1, 1, [("a \nb", 0, 0, 1, 1, True)], id="line-break-kept"),
        pytest.param(table("<tr><td colspan='0'>a</td><td colspan='5000' rowspan='+3'>b</td><td colspan=' 2'>c</td></tr>"),
                     1, 1002, [("a", 0, 0, 1, 1, True), ("b", 0, 1, 3, 1000, True), ("c", 0, 1001, 1, 1, True)],
                     id="span-values"),
    ],
)
def test_grid_records(html, rows, cols, expected_cells):
    [data] = tables(html)
    assert (data["grid"]["rows"], data["grid"]["cols"]) == (rows, cols)
    assert cells(data["grid"]) == expected_cells


def test_grid_markdown_is_the_trimmed_table_text():
    [data] = tables("<p>x</p>" + WORKED_EXAMPLE)
    assert data["markdown"] == "| A | B |\n| --- | --- |\n| x | y |\n|   | z |"
    assert list(data) == ["grid", "markdown"]


def test_omitted_table_records_its_grid_with_empty_markdown():
    [data] = tables(table("<tr><td> </td><td></td></tr>"))
    assert data["markdown"] == ""
    assert cells(data["grid"]) == [("", 0, 0, 1, 1, True), ("", 0, 1, 1, 1, True)]


@pytest.mark.parametrize("html", [table("<caption>c</caption>"), table(""), "<p>no table</p>"])
def test_tables_without_rows_record_nothing(html):
    assert tables(html) == []


def test_no_grids_without_the_document_structure():
    assert tidewell.convert(WORKED_EXAMPLE)["tables"] == []


def test_table_node_in_the_document_structure():
    result = tidewell.convert(WORKED_EXAMPLE, {"include_document_structure": True})
    [node] = [n for n in result["document"]["nodes"] if n["content"]["node_type"] == "table"]
    assert node["content"]["grid"] == result["tables"][0]["grid"]
    assert node["id"].startswith("table-")


@pytest.mark.parametrize(
    "outer",
    [
        pytest.param(lambda inner: table(f"<tr><td>{inner}</td><td>b</td></tr><tr><td>c</td><td>d</td></tr>"),
                     id="pipe-table"),
        pytest.param(lambda inner: table(f"<tr><td>{inner}{inner}</td></tr><tr><td>a</td><td>b</td></tr>"),
                     id="row-list"),
    ],
)
def test_nested_tables_are_recorded_once_before_their_table(outer):
    # Each cell is converted once for the table text and the grid, so a
    # table inside a cell is not recorded a second time.
    inner = table("<tr><th>in</th></tr>")
    found = tables(outer(inner))
    assert [t["markdown"] for t in found[:-1]] == ["| in |\n| --- |"] * (len(found) - 1)
    assert len(found) == 1 + outer(inner).count(inner)
    assert found[-1]["grid"]["cells"][0]["content"].startswith("\\| in \\|")


@pytest.mark.parametrize(
    "html",
    [
        pytest.param(table("<tr><th>a</th></tr><tr><td><a href='u'>one</a> <img src='i.png' alt='pic'></td></tr>"),
                     id="pipe-table"),
        pytest.param(table("<tr><td><a href='u'>one</a> <img src='i.png' alt='pic'></td></tr><tr><td>a</td><td>b</td></tr>"),
                     id="row-list"),
    ],
)
def test_links_and_images_in_cells_are_recorded_once(html):
    result = tidewell.convert(html, {"include_document_structure": True})
    assert [link["href"] for link in result["metadata"]["links"]] == ["u"]
    assert [image["src"] for image in result["metadata"]["images"]] == ["i.png"]
    assert [n["content"]["node_type"] for n in result["document"]["nodes"]].count("image") == 1


def test_reference_links_in_cells_keep_their_numbers_in_the_grid():
    html = table("<tr><td><a href='u'>one</a></td></tr><tr><td><a href='v'>two</a></td><td>x</td></tr>")
    result = tidewell.convert(html, {"include_document_structure": True, "link_style": "reference"})
    assert result["content"] == "- [one][1]\n- [two][2] x\n\n[1]: u\n[2]: v\n"
    assert [c["content"] for c in result["tables"][0]["grid"]["cells"]] == ["[one][1]", "[two][2]", "x"]


def test_row_list_grid_is_converted_as_table_cells():
    # The list line follows the running text's escaping; the grid records
    # the cells as table cells, like a pipe table's.
    [data] = tables(table("<tr><td>a|b</td><td>*c*</td></tr><tr><td>d</td></tr>"))
    assert data["markdown"] == "- a|b \\*c\\*\n- d"
    assert [c["content"] for c in data["grid"]["cells"]] == ["a\\|b", "\\*c\\*", "d"]


# --- escaping: nothing escaped twice ---------------------------------------------


@pytest.mark.parametrize(
    "html, options, expected",
    [
        pytest.param(table("<tr><td>a|b</td></tr>"), {"escape_ascii": True}, "| a\\|b |", id="text-cell-ascii"),
        pytest.param(table("<tr><td><b>a|b</b></td></tr>"), {"escape_ascii": True}, "| **a\\|b** |",
                     id="element-cell-ascii"),
        pytest.param(table("<tr><td>a|b</td></tr>"), {"escape_misc": True}, "| a\\|b |", id="text-cell-misc"),
        pytest.param(table("<caption>a-b</caption><tr><th>x</th></tr>"), {"escape_misc": True}, "*a\\-b*",
                     id="caption-misc"),
        pytest.param(table("<caption>a-b</caption><tr><th>x</th></tr>"), {"escape_ascii": True}, "*a\\-b*",
                     id="caption-ascii"),
        pytest.param(table("<caption>a\\-b</caption><tr><th>x</th></tr>"), {"escape_misc": True}, "*a\\\\\\-b*",
                     id="caption-misc-backslash"),
        pytest.param(table("<caption>a\\-b</caption><tr><th>x</th></tr>"), {}, "*a\\\\-b*",
                     id="caption-plain-backslash"),
        pytest.param("<caption>x-y</caption>", {"escape_ascii": True}, "*x\\-y*", id="caption-outside-table"),
    ],
)
def test_escaping_is_not_doubled(html, options, expected):
    assert md(html, **options).splitlines()[0] == expected


# --- incomplete markup keeps its text -------------------------------------------

FORMATS = ["markdown", "djot", "plain"]


@pytest.mark.parametrize("fmt", FORMATS)
@pytest.mark.parametrize("repair", ["", "<!-- comment -->"], ids=["fast-parser", "repaired"])
@pytest.mark.parametrize(
    "html, words",
    [
        ("<table><td>cell</table>", ["cell"]),
        ("<table><td>a</td><td>b</td></table>", ["a", "b"]),
        ("<table><tbody><td>a</td></tbody><tr><td>b</td></tr></table>", ["a", "b"]),
        ("<table><thead><th>h</th></thead><tr><td>x</td></tr></table>", ["h", "x"]),
    ],
)
def test_cells_without_rows_keep_their_text(html, words, repair, fmt):
    out = md(repair + html, output_format=fmt)
    assert out.split() == words or [w.strip("|-\t") for w in out.split() if w.strip("|-\t")] == words, out


@pytest.mark.parametrize("fmt, expected", [
    ("markdown", "| a | b |\n| --- | --- |\n| c | d |\n"),
    ("plain", "a\tb\nc\td\n"),
])
@pytest.mark.parametrize("repair", ["", "<!-- comment -->"], ids=["fast-parser", "repaired"])
@pytest.mark.parametrize("html", [
    "<table><tr><td>a<td>b<tr><td>c<td>d</table>",
    "<table><tr><td>a</td><td>b</td><tr><td>c</td><td>d</td></table>",
    "<table><tbody><tr><td>a<td>b</td><tr><td>c</td><td>d</tbody></table>",
])
def test_unclosed_rows_and_cells(html, repair, fmt, expected):
    assert md(repair + html, output_format=fmt) == expected


def test_cells_without_rows_form_one_row():
    assert md("<table><td>a</td> <td>b</td></table>") == "| a | b |\n| --- | --- |\n"
    [data] = tables("<table><td>a</td><td>b</td></table>")
    assert cells(data["grid"]) == [("a", 0, 0, 1, 1, False), ("b", 0, 1, 1, 1, False)]


@pytest.mark.parametrize(
    "html, expected",
    [
        ("x<tr><td>y</td></tr>z", "x y z\n"),
        ("<div>a<td>x</td>b</div>", "a x b\n"),
        ("<div>a<th>h</th>b</div>", "a h b\n"),
        ("<div>a<td> </td>b</div>", "ab\n"),
        ("<div>a<thead>t</thead><tbody>b</tbody><tfoot>f</tfoot>c</div>", "atbfc\n"),
        ("<td>a</td><td>b</td>", "a b\n"),
        (table("<div><tr><td>wrapped</td></tr></div><tr><th>h</th></tr>"), "| wrapped |\n| ------- |\n| h       |\n"),
        (table("Hello<tr><th>x</th></tr>"), "Hello\n\n| x |\n| --- |\n"),
        (table("<tbody><p>in section</p><tr><th>x</th></tr></tbody>"), "in section\n\n| x |\n| --- |\n"),
    ],
)
def test_table_parts_outside_a_table_keep_their_text(html, expected):
    assert md(html) == expected


@pytest.mark.parametrize("options", [{}, {"include_document_structure": True}], ids=["plain-run", "structure"])
@pytest.mark.parametrize(
    "html, expected",
    [
        # A row's own text, before or after its cells, stands before the
        # table, where a browser shows it.
        (table("<tr>junk<td>a</td></tr>"), "junk\n\n| a |\n| --- |\n"),
        (table("<tr><td>a</td>junk</tr>"), "junk\n\n| a |\n| --- |\n"),
        (table("<tr><th>h</th></tr><tr><span>more</span><td>c</td></tr>"), "more\n\n| h |\n| --- |\n| c |\n"),
        (table("<tr><td>a</td><table><tr><td>in</td></tr></table></tr>"), "| in |\n| --- |\n\n| a |\n| --- |\n"),
        # Row lists keep it too.
        (table("<tr>note<td>a</td><td>b</td></tr><tr><td>c</td></tr>"), "note\n\n- a b\n- c\n"),
        (table("<tr> <td>a</td> </tr>"), "| a |\n| --- |\n"),
        # In a list item it stays in the item.
        ("<ul><li>x" + table("<tr>junk<td>a</td></tr>") + "</li></ul>", "- x\n  junk\n  | a |\n  | --- |\n"),
    ],
)
def test_text_in_rows_outside_cells_is_kept(html, expected, options):
    assert md(html, **options) == expected


# --- size and depth ---------------------------------------------------------------


def test_table_in_a_pipe_cell_is_not_padded():
    # Its lines are joined into the cell, so aligning them means nothing.
    inner = table(HEADER_ROW + ALICE_ROW)
    out = md(table(f"<tr><th>outer</th></tr><tr><td>{inner}</td></tr>"))
    assert out.splitlines()[2] == "| \\| Name \\| Age \\| \\| --- \\| --- \\| \\| Alice \\| 30 \\| |"


def test_nested_header_tables_grow_linearly():
    # Padded, each level's separator repeated the width of the table inside
    # it, doubling the text at every level.
    for depth in (10, 40):
        html = "<table><tr><th>h</th></tr><tr><td>" * depth + "leaf" + "</td></tr></table>" * depth
        out = md(html)
        assert "leaf" in out
        # (Each level's own pipes are escaped in the cell that holds it.)
        assert len(out) < 80 * depth, (depth, len(out))


def test_padding_never_outweighs_the_table():
    huge = "w " * 300_000
    rows = "<tr><td>x</td></tr>" * 20_000
    out = md(table(f"<tr><th>{huge}</th></tr>{rows}"))
    assert len(out) < 3 * len(huge) + 10 * 20_000
    assert out.splitlines()[-1] == "| x |"
    # Ordinary tables keep their padding.
    assert md(table(f"<tr><th>{'w' * 500}</th></tr>{'<tr><td>x</td></tr>' * 50}")).splitlines()[-1] == \
        "| x" + " " * 499 + " |"

@pytest.mark.parametrize("options", [{}, {"output_format": "djot"}, {"output_format": "plain"},
                                     {"include_document_structure": True}],
                         ids=["markdown", "djot", "plain", "grids"])
def test_code_blocks_nested_in_a_cell_grow_linearly(options):
    # Each level wrapped the code spans of all the levels inside it into
    # longer ones: the output grew with the cube of the depth (plain text
    # only took that time, its markup being dropped).
    def convert(levels):
        return tidewell.convert("<table><tr><td>" + "<pre>a" * levels, options)

    def size(levels):
        result = convert(levels)
        return len(result["content"]) + len(str(result["document"])) + len(str(result["tables"]))

    def seconds(levels):
        times = []
        for _ in range(3):
            start = time.perf_counter()
            convert(levels)
            times.append(time.perf_counter() - start)
        return min(times)

    small, large = size(40), size(160)
    assert large < 6 * small, (small, large)
    small, large = seconds(200), seconds(800)
    assert large < 16 * small + 0.1, (small, large)


SIZE_SCRIPT = textwrap.dedent(
    """
    import json, resource, sys
    import tidewell
    kind, options = sys.argv[1], json.loads(sys.argv[2])
    if kind == "colspan":
        html = "<table>" + ("<tr>" + "<td colspan=1000>x</td>" * 2000 + "</tr>") * 20 + "</table>"
    elif kind == "rowspan":
        html = "<table>" + "<tr><td rowspan=65534>x</td></tr>" * 5000 + "</table>"
    elif kind == "wide-rowspan":
        html = "<table><tr>" + "<td>x</td>" * 1000 + "</tr>" + "<tr><td rowspan=65534>x</td></tr>" * 5000 + "</table>"
    elif kind == "nested":
        html = "<table><tr><td>" * 100000 + "deep" + "</td></tr></table>" * 100000
    elif kind == "nested-unclosed":
        html = "<table><tr><td>x " * 100000 + "deep"
    result = tidewell.convert(html, options)
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss // 1024
    print(json.dumps({"input": len(html), "output": len(result["content"]), "peak_mb": peak,
                      "deep": "deep" in result["content"], "tables": len(result["tables"])}))
    """
)


def run_size_case(kind, options):
    import json

    run = subprocess.run([sys.executable, "-c", SIZE_SCRIPT, kind, json.dumps(options)],
                         capture_output=True, text=True, timeout=600)
    assert run.returncode == 0, run.stderr[-2000:]
    return json.loads(run.stdout)


@pytest.mark.parametrize("kind", ["colspan", "rowspan", "wide-rowspan"])
@pytest.mark.parametrize("options", [{}, {"include_document_structure": True}, {"output_format": "plain"}],
                         ids=["markdown", "grids", "plain"])
def test_huge_spans_stay_within_memory(kind, options):
    found = run_size_case(kind, options)
    assert found["peak_mb"] < 400, found
    # Capped at the table's column count, spans cost no more than the cells.
    assert found["output"] < 2 * found["input"], found


@pytest.mark.parametrize("kind", ["nested", "nested-unclosed"])
@pytest.mark.parametrize("options", [{}, {"include_document_structure": True}, {"output_format": "plain"}],
                         ids=["markdown", "grids", "plain"])
def test_hundred_thousand_nested_tables(kind, options):
    found = run_size_case(kind, options)
    assert found["deep"], found


@pytest.mark.parametrize(
    "cell, options, expected",
    [
        ("a<br>b", {}, "a<br>b"),
        ("a<br><br>b", {}, "a<br><br>b"),
        ("a<br>b", {"newline_style": "backslash"}, "a<br>b"),
        ("a<br>b", {"whitespace_mode": "strict"}, "a<br>b"),
        ("a\nb", {}, "a<br>b"),
        # a blank line of the text is one line break
        ("a\n\n<b>b</b>", {}, "a<br><strong>b</strong>"),
        ("<ul><li>a</li><li>b</li></ul>", {}, "a<br>b"),
    ],
)
def test_br_in_tables_keeps_every_break_in_its_row(cell, options, expected):
    assert cell_reads(cell, br_in_tables=True, **options) == expected
