"""Lists through convert: bullets and numbers, nesting and indentation, loose
and block items, task items, lists in table cells, definition lists, list
records of the document structure."""
import re

import pytest

import tidewell
from roads import PARSER_ROADS, TIER1, road_id


def md(html, **options):
    return tidewell.convert_to_markdown(html, options)


def structure_nodes(html, **options):
    return tidewell.convert(html, {"include_document_structure": True, **options})["document"]["nodes"]


NESTED_4 = "<ul><li>a<ul><li>b<ul><li>c<ul><li>d</li></ul></li></ul></li></ul></li></ul>"


@pytest.mark.parametrize(
    "html, options, expected",
    [
        ("<ul><li>a</li><li>b</li></ul>", {}, "- a\n- b\n"),
        ("<ul><li>a</li><li>b</li></ul>", {"bullets": "*"}, "* a\n* b\n"),
        ("<ul><li>a</li></ul>", {"bullets": ""}, "* a\n"),
        ("<ul><li>a<ul><li>b</li></ul></li></ul>", {"bullets": "•◦"}, "• a\n  ◦ b\n"),
        (NESTED_4, {}, "- a\n  * b\n    + c\n      - d\n"),
        (NESTED_4, {"list_indent_width": 4}, "- a\n    * b\n        + c\n            - d\n"),
        (NESTED_4, {"list_indent_width": 0}, "- a\n* b\n+ c\n- d\n"),
        (NESTED_4, {"list_indent_type": "tabs"}, "- a\n\t* b\n\t\t+ c\n\t\t\t- d\n"),
        # an ordered list between two unordered ones does not advance the bullet
        ("<ul><li>a<ol><li>b<ul><li>c</li></ul></li></ol></li></ul>", {}, "- a\n  1. b\n     * c\n"),
        # a list directly inside a list is one level deeper
        ("<ul><li>a</li><ul><li>b</li></ul></ul>", {}, "- a\n  * b\n"),
        # an li outside any list: no indentation, the first bullet
        ("<li>a</li><li>b</li>", {}, "- a\n- b\n"),
        ("<p>Para</p><ul><li>x</li></ul><p>after</p>", {}, "Para\n\n- x\n\nafter\n"),
        ("text<ul><li>x</li></ul>", {}, "text\n\n- x\n"),
        # text after a list does not run on as part of its last item
        ("<div><ul><li>x</li></ul>\nafter</div>", {}, "- x\n\nafter\n"),
        ("<ol><li>x</li></ol>after", {}, "1. x\n\nafter\n"),
        # pretty-printed markup: whitespace between the items is skipped
        ("<ul>\n  <li>a\n    <ul>\n      <li>b</li>\n    </ul>\n  </li>\n  <li>c</li>\n</ul>", {}, "- a\n  * b\n- c\n"),
        ("<ul><li>a<!-- note --></li><li>b</li></ul>", {}, "- a\n- b\n"),
        ("<ul><li></li><li>b</li></ul>", {}, "-\n- b\n"),
    ],
    ids=[
        "bullets", "bullets-option", "no-bullets", "wide-bullets", "four-levels", "indent-width",
        "indent-width-zero", "tabs", "ordered-between", "list-in-list", "li-outside-list", "between-paragraphs",
        "after-text", "text-after-list", "text-after-ordered-list", "pretty-printed", "comment-in-item", "empty-item",
    ],
)
def test_unordered_lists(html, options, expected):
    assert md(html, **options) == expected


@pytest.mark.parametrize("width", [2**40, 2**62, 2**63 - 1, 2**63, 2**64 - 1])
@pytest.mark.parametrize(
    "options",
    [{}, {"tier_strategy": "fast_dom"}, {"output_format": "djot"}, {"output_format": "plain"},
     {"wrap": True, "wrap_width": 40}, {"include_document_structure": True},
     {"tier_strategy": "auto", "code_block_style": "indented", "highlight_style": "none"}],
    ids=str,
)
def test_indent_wider_than_memory_is_a_memory_error(width, options):
    # Whether the size runs out in an allocation or in a string's largest
    # size, the error says why.
    with pytest.raises(MemoryError, match="^the output is too large to hold in memory$"):
        md("<ul><li>a<ul><li>b</li></ul></li></ul>", list_indent_width=width, **options)


def test_streaming_road_ignores_the_indent_width():
    assert md("<ul><li>a<ul><li>b</li></ul></li></ul>", list_indent_width=2**62, tier_strategy="quillmoor") \
        == md("<ul><li>a<ul><li>b</li></ul></li></ul>", tier_strategy="quillmoor")


@pytest.mark.parametrize("width", [1, 2, 3, 4, 8, 13])
@pytest.mark.parametrize("html", [NESTED_4, "<ol><li>a<ol><li>b<ul><li>c</li></ul></li></ol></li></ol>",
                                  "<ul><li>a<ol><li>b<ol><li>c</li></ol></li></ol></li></ul>"])
def test_fast_dom_indents_nested_lists_as_the_dom_road_does(html, width):
    options = {"list_indent_width": width, "bullets": "-"}
    assert md(html, tier_strategy="fast_dom", **options) == md(html, **options).rstrip("\n")


@pytest.mark.parametrize(
    "start, expected",
    [
        (None, "1. a\n2. b\n"),
        ('"3"', "3. a\n4. b\n"),
        ('"0"', "0. a\n1. b\n"),
        ('"+7"', "7. a\n8. b\n"),
        ('"007"', "7. a\n8. b\n"),
        ('"-2"', "1. a\n2. b\n"),
        ('" 3"', "1. a\n2. b\n"),
        ('"3 "', "1. a\n2. b\n"),
        ('"x"', "1. a\n2. b\n"),
        ('"3x"', "1. a\n2. b\n"),
        ('""', "1. a\n2. b\n"),
        ('"+"', "1. a\n2. b\n"),
        ("", "1. a\n2. b\n"),  # the attribute without a value
        ('"18446744073709551616"', "1. a\n2. b\n"),  # past 64 bits
        # the numbers count on past the largest 64-bit value instead of wrapping
        ('"18446744073709551615"', "18446744073709551615. a\n18446744073709551616. b\n"),
    ],
)
def test_ordered_list_start(start, expected):
    attribute = "" if start is None else " start" if start == "" else f" start={start}"
    assert md(f"<ol{attribute}><li>a</li><li>b</li></ol>") == expected


@pytest.mark.parametrize(
    "html, expected",
    [
        # a stray child gets the current number but does not advance it
        ("<ol start=5><div>x</div><li>a</li><li>b</li></ol>", "x\n\n5. a\n6. b\n"),
        ("<ol><li>a<ol><li>b</li><li>c</li></ol></li><li>d</li></ol>", "1. a\n   1. b\n   2. c\n2. d\n"),
        # type, reversed and value are not read
        ('<ol type="a" reversed><li value="9">a</li><li>b</li></ol>', "1. a\n2. b\n"),
    ],
)
def test_ordered_list_numbering(html, expected):
    assert md(html) == expected


@pytest.mark.parametrize(
    "html, expected",
    [
        # items holding paragraphs make the list loose
        ("<ul><li><p>a</p></li><li><p>b</p></li></ul>", "- a\n\n- b\n"),
        ("<ul><li>a</li><li><p>b</p></li><li>c</li></ul>", "- a\n\n- b\n\n- c\n"),
        # an item with a block child is followed by a blank line in a tight list
        ("<ul><li>a<div>d</div></li><li>b</li></ul>", "- a\n  d\n\n- b\n"),
        ("<ul><li>a<hr></li><li>b</li></ul>", "- a\n\n  ---\n\n- b\n"),
        ("<ul><li>a<table><tr><th>h</th></tr><tr><td>1</td></tr></table></li><li>b</li></ul>",
         "- a\n  | h |\n  | --- |\n  | 1 |\n\n- b\n"),
    ],
)
def test_loose_lists_and_block_items(html, expected):
    assert md(html) == expected


@pytest.mark.parametrize(
    "html, expected, structure",
    [
        # blocks that end a paragraph follow the item's text and each other on
        # the next line, and the items follow them with no blank line
        ("<ul><li>foo</li><li><pre><code>bar\n</code></pre></li><li><pre><code>baz\n</code></pre></li></ul>",
         "- foo\n- ```\n  bar\n  ```\n- ```\n  baz\n  ```\n",
         "<ul><li>foo</li><li><pre><code>bar</code></pre></li><li><pre><code>baz</code></pre></li></ul>"),
        ("<ul><li>a<blockquote><p>b</p></blockquote></li><li>c</li></ul>", "- a\n  > b\n- c\n",
         "<ul><li>a<blockquote><p>b</p></blockquote></li><li>c</li></ul>"),
        ("<ul><li>a<blockquote><p>b</p></blockquote><pre><code>c\n</code></pre></li><li>d</li></ul>",
         "- a\n  > b\n  ```\n  c\n  ```\n- d\n",
         "<ul><li>a<blockquote><p>b</p></blockquote><pre><code>c</code></pre></li><li>d</li></ul>"),
        ("<ol><li>a<h3>h</h3><blockquote>q</blockquote></li><li>b</li></ol>", "1. a\n   ### h\n   > q\n2. b\n",
         "<ol><li>a<h3>h</h3><blockquote><p>q</p></blockquote></li><li>b</li></ol>"),
        # a loose list inside a tight one keeps its blank line, the outer list none
        ("<ul><li>a<ul><li><p>b</p><p>c</p></li></ul></li><li>d</li></ul>", "- a\n  * b\n\n    c\n- d\n",
         "<ul><li>a<ul><li><p>b</p><p>c</p></li></ul></li><li>d</li></ul>"),
        ("<ul><li>a<ul><li>b</li></ul><blockquote>q</blockquote></li><li>d</li></ul>", "- a\n  * b\n  > q\n- d\n",
         "<ul><li>a<ul><li>b</li></ul><blockquote><p>q</p></blockquote></li><li>d</li></ul>"),
        # a rule as an item's first content goes on the line after the marker
        ("<ul><li>Foo</li><li><hr></li></ul>", "- Foo\n-\n  ---\n", "<ul><li>Foo</li><li><hr/></li></ul>"),
        ("<ol><li><hr></li><li>b</li></ol>", "1.\n   ---\n2. b\n", "<ol><li><hr/></li><li>b</li></ol>"),
        # a quote as an item's first content stays on the marker's line in a quote too
        ("<blockquote><ol><li><blockquote><p>Blockquote\ncontinued here.</p></blockquote></li></ol></blockquote>",
         "> 1. > Blockquote\n>    > continued here.\n",
         "<blockquote><ol><li><blockquote><p>Blockquotecontinuedhere.</p></blockquote></li></ol></blockquote>"),
        # where the next line would run on, the blank line stays (the list reads loose)
        ("<ul><li>a<ol start=3><li>b</li></ol></li><li>c</li></ul>", "- a\n\n  3. b\n- c\n",
         '<ul><li><p>a</p><olstart="3"><li>b</li></ol></li><li><p>c</p></li></ul>'),
        ("<ul><li>a<blockquote>q</blockquote><blockquote>r</blockquote></li><li>c</li></ul>",
         "- a\n  > q\n\n  > r\n- c\n",
         "<ul><li><p>a</p><blockquote><p>q</p></blockquote><blockquote><p>r</p></blockquote></li><li><p>c</p></li></ul>"),
    ],
)
def test_tight_lists_stay_tight(html, expected, structure):
    out = md(html)
    assert out == expected
    assert read_back(out) == structure


@pytest.mark.parametrize(
    "html, expected",
    [
        ("<ul><li>a<pre>x</pre></li><li>b</li></ul>", "- a\n\n      x\n- b\n"),
        ("<ul><li>a</li><li><pre>x</pre></li></ul>", "- a\n-     x\n"),
    ],
)
def test_indented_code_in_tight_items(html, expected):
    assert md(html, code_block_style="indented") == expected


@pytest.mark.parametrize(
    "html, expected",
    [
        # the text of the item runs on; the nested list starts on a new line
        ("<ul><li>x <ul><li>y</li></ul></li></ul>", "- x\n  * y\n"),
        # a list right after the marker stays on the marker's line
        ("<ul><li><ul><li>y</li></ul></li></ul>", "- * y\n"),
        ("<ol><li><ol><li><p>a</p><p>b</p></li></ol></li></ol>", "1. 1. a\n\n      b\n"),
        # text that merely ends in "- " or ". " is no marker: the list starts on its own line
        ("<ul><li>Step 1. <ol><li>y</li></ol></li></ul>", "- Step 1.\n  1. y\n"),
        ("<p>Options -</p><div>Pick - <ul><li>y</li></ul></div>", "Options -\n\nPick -\n\n- y\n"),
        # a nested list in an item of a loose list ends with a blank line
        ("<ul><li><p>a</p><ul><li>b</li></ul></li><li><p>c</p></li></ul>", "- a\n\n  * b\n\n- c\n"),
        # items that a div groups in a nested list stand at that list's column
        ("<ul><li>a<ul><div><li>x</li><li>y</li></div><div><li>z</li></div></ul></li></ul>", "- a\n  * x\n  * y\n  * z\n"),
    ],
)
def test_nested_list_separators(html, expected):
    assert md(html) == expected


@pytest.mark.parametrize(
    "html, expected",
    [
        ("<ol><li><input type=checkbox checked> Done</li><li><input type=checkbox>Todo</li></ol>",
         "- [x] Done\n- [ ] Todo\n"),
        ('<ul><li><input type="checkbox" checked="false"> a</li></ul>', "- [x] a\n"),
        # the type is compared exactly
        ('<ul><li><input type="Checkbox"> a</li></ul>', "- a\n"),
        ('<ul><li><input type="radio"> a</li></ul>', "- a\n"),
        ('<ul><li><INPUT type="checkbox"> a</li></ul>', "- [ ] a\n"),
        # the elements around the checkbox write nothing of their own
        ("<ul><li><label><input type=checkbox checked> Done</label></li></ul>", "- [x] Done\n"),
        ("<ul><li><p><input type=checkbox> Todo</p></li></ul>", "- [ ] Todo\n"),
        ("<ul><li>Buy <b>milk</b> <input type=checkbox> now</li></ul>", "- [ ] Buy **milk** now\n"),
        # only the first checkbox counts; a later one writes nothing
        ("<ul><li><input type=checkbox checked> a <input type=checkbox> b</li></ul>", "- [x] a  b\n"),
        # nothing besides the checkbox (the final clean-up drops the trailing space)
        ("<ul><li><input type=checkbox></li><li>b</li></ul>", "- [ ]\n- b\n"),
        ("<ul><li><label><input type=checkbox> <a href=/y>Y</a></label></li></ul>", "- [ ] [Y](/y)\n"),
        # a checkbox in a nested list makes the outer item a task item
        ("<ul><li>a<ul><li><input type=checkbox> b</li></ul></li></ul>", "- [ ] a b\n"),
    ],
)
def test_task_items(html, expected):
    assert md(html) == expected


@pytest.mark.parametrize(
    "html, expected",
    [
        ("<ul><li><p>a</p></li><li>b</li></ul>", ["a", "b"]),
        # the outer item's record holds its own text, without the nested list
        ("<ul><li>a<ul><li>b</li></ul></li></ul>", ["b", "a"]),
        ("<ul>\n <li>a\n  <ul>\n   <li>b</li>\n  </ul>\n </li>\n</ul>", ["b", "a"]),
        # an empty item (its marker's space is trimmed away) makes no record
        ("<ul><li></li><li> </li><li>b</li></ul>", ["b"]),
        ("<ol><li></li></ol>", []),
        # task items make no record
        ("<ul><li><input type=checkbox> t</li><li>u</li></ul>", ["u"]),
        # the record holds the item's Markdown
        ("<ul><li><a href=/x>X</a> more</li></ul>", ["[X](/x) more"]),
        # an element that the preprocessing removes takes nothing of the item's text
        ("<ul><li><form></form>日本</li></ul>", ["日本"]),
        ("<ul><li><form></form>abc</li><li><nav class=nav>menu</nav>été</li></ul>", ["abc", "été"]),
        ("<ol><li><form></form><form></form>x</li></ol>", ["x"]),
        # items inside a link: each holds a link of its own
        ('<ul><a href="/1"><li>one</li><li>two</li></a></ul>', ["[one](/1)", "[two](/1)"]),
    ],
)
def test_list_item_records(html, expected):
    nodes = structure_nodes(html)
    assert [n["content"]["text"] for n in nodes if n["content"]["node_type"] == "list_item"] == expected


def test_list_records_nest_items_under_their_list():
    nodes = structure_nodes("<ol><li>x</li></ol><ul><li>y</li></ul>")
    assert [(n["content"]["node_type"], n.get("parent")) for n in nodes] == [
        ("list", None), ("list_item", 0), ("list", None), ("list_item", 2)
    ]
    assert nodes[0]["content"]["ordered"] is True
    assert nodes[2]["content"]["ordered"] is False


# --- lists in table cells ------------------------------------------------------


def cell_text(cell_html):
    """The text of the one body cell of a pipe table holding `cell_html`."""
    content = md(f"<table><tr><th>h</th></tr><tr><td>{cell_html}</td></tr></table>")
    row = content.splitlines()[2]
    return row.strip("|").strip()


@pytest.mark.parametrize(
    "cell_html, expected",
    [
        # no markers; a <br> before the list after text and between the items
        ("text<ul><li>a</li><li>b</li></ul>", "text<br>a<br>b"),
        ("<ol start=4><li>a</li><li>b</li></ol>", "a<br>b"),
        ("x <ul><li>a</li></ul>", "x a"),
        # a nested list keeps its indentation
        ("<ul><li>a<ul><li>c</li></ul></li></ul>", "a<br>  c"),
        # task items keep their marker and box
        ("<ul><li><input type=checkbox checked> t</li><li><input type=checkbox> u</li></ul>", "- [x] t<br>- [ ] u"),
        # text between the items stays apart from them
        ("<ul><li>a</li>x<li>b</li></ul>", "a x<br>b"),
        ("<ul><li>a</li> x <span>y</span><li>b</li></ul>", "a x y<br>b"),
    ],
)
def test_lists_in_table_cells(cell_html, expected):
    assert cell_text(cell_html) == expected


def test_lists_in_table_cells_make_no_records():
    html = "<table><tr><th>h</th></tr><tr><td><ul><li>a</li></ul></td></tr></table>"
    assert [n["content"]["node_type"] for n in structure_nodes(html)] == ["table"]


# --- definition lists ----------------------------------------------------------


@pytest.mark.parametrize(
    "html, options, expected",
    [
        ("<dl><dt>Term</dt><dd>Meaning</dd></dl>", {}, "Term  \nMeaning\n"),
        ("<p>x</p><dl><dt>A</dt><dd>1</dd><dt>B</dt><dd>2</dd></dl><p>y</p>", {}, "x\n\nA  \n1\n\nB  \n2\n\ny\n"),
        ("text<dl><dt>T</dt></dl>", {}, "text\n\nT\n"),
        ("<dl><dt> </dt><dd>\n</dd></dl><p>y</p>", {}, "y\n"),
        ("<dl><dt>A</dt><dd>1</dd></dl>", {"convert_as_inline": True}, "A 1\n"),  # words stay apart
        ("<dl><dt>A <b>b</b></dt><dd><p>one</p><p>two</p></dd></dl>", {}, "A **b**  \none\n\ntwo\n"),
    ],
)
def test_definition_lists(html, options, expected):
    assert md(html, **options) == expected


def test_definition_lists_make_no_records():
    assert structure_nodes("<dl><dt>T</dt><dd>M</dd></dl>") == []


# --- how the lists read back, on every road ---------------------------------

ROADS = {
    "dom": {"tier_strategy": "tier2"},
    "tier-1": {"code_block_style": "indented", "highlight_style": "none"},
    "fast_dom": {"tier_strategy": "fast_dom"},
}


def read_back(markdown):
    """The HTML a CommonMark reader makes of the Markdown, without white space."""
    html = pytest.importorskip("markdown_it").MarkdownIt("commonmark").render(markdown)
    return "".join(html.split())


@pytest.mark.parametrize("road", ROADS)
@pytest.mark.parametrize(
    "html, options",
    [
        # a list written directly in a list belongs to the item before it
        ("<ol><li>a</li><ul><li>b</li></ul><li>c</li></ol>", {}),
        ("<ol><li>abc</li><ol><li>b</li></ol></ol>", {}),
        ("<ul><li>a</li><ol><li>b</li></ol></ul>", {}),
        ("<ol><li>a</li><ul><li>b</li></ul></ol>", {"list_indent_width": 4}),
        # adjacent lists of one kind stay apart
        ("<ul><li>a</li></ul><ul><li>b</li></ul>", {}),
        ("<ul><li>a</li></ul><ul><li>b</li></ul><ul><li>c</li></ul>", {}),
        ("<ol><li>a</li></ol><ol><li>b</li></ol>", {}),
        ("<ul><li>a</li></ul><div><ul><li>b</li></ul></div>", {}),
        ("<ul><li>a<ul><li>x</li></ul><ul><li>y</li></ul></li></ul>", {}),
        ("<ul><li>a</li></ul><ul><li>b</li></ul>", {"bullets": "*"}),
        ("<ul><li>a</li></ul><ul><li>b</li></ul>", {"bullets": "+-"}),
    ],
)
def test_lists_read_back_as_written(road, html, options):
    expected = "".join(html.replace("<div>", "").replace("</div>", "").split())
    # what a reader makes of a list standing in a list: the item holds it
    expected = expected.replace("</li><ul>", "<ul>").replace("</li><ol>", "<ol>")
    expected = expected.replace("</ul></ol>", "</ul></li></ol>").replace("</ol></ol>", "</ol></li></ol>")
    expected = expected.replace("</ol></ul>", "</ol></li></ul>").replace("</ul><li>", "</ul></li><li>")
    assert read_back(tidewell.convert(html, {**ROADS[road], **options})["content"]) == expected


@pytest.mark.parametrize(
    "html, options, expected",
    [
        ("<ol><li>a</li><ul><li>b</li></ul><li>c</li></ol>", {}, "1. a\n   - b\n2. c\n"),
        ("<ol start=9><li>a</li><li>b</li><ol><li>c</li></ol></ol>", {}, "9. a\n10. b\n    1. c\n"),
        ("<ul><li>a</li></ul><ul><li>b</li></ul><ul><li>c</li></ul>", {}, "- a\n\n* b\n\n- c\n"),
        ("<ul><li>a</li></ul><ul><li>b</li></ul>", {"bullets": "*"}, "* a\n\n- b\n"),
        ("<ol><li>a</li></ol><p>x</p><ol><li>b</li></ol>", {}, "1. a\n\nx\n\n1. b\n"),
        ("<ol><li>a</li></ol><ol><li>b</li></ol>", {}, "1. a\n\n1) b\n"),
        ("<ul><li>a</li></ul><ol><li>b</li></ol>", {}, "- a\n\n1. b\n"),
        ("<ul><li><input type=checkbox>a</li></ul><ul><li><input type=checkbox checked>b</li></ul><ul><li>c</li></ul>",
         {}, "- [ ] a\n\n* [x] b\n\n- c\n"),
    ],
)
def test_list_markers_and_indentation(html, options, expected):
    assert md(html, **options) == expected


@pytest.mark.parametrize(
    "html, expected",
    [
        ("<dl><dt>T</dt><dd>D</dd></dl>", "<p>T<br>D</p>"),
        ("<dl><dt>A</dt><dt>B</dt><dd>D</dd></dl>", "<p>A<br>B<br>D</p>"),
        ("<dl><dt>T</dt><dd><p>one</p><p>two</p></dd></dl>", "<p>T<br>one</p><p>two</p>"),
        ("<dl><dt>T</dt><dd><ul><li>x</li></ul></dd></dl>", "<p>T</p><ul><li>x</li></ul>"),
    ],
)
def test_definition_terms_stay_on_their_own_line(html, expected):
    assert read_back(md(html)).replace("<br/>", "<br>") == expected


# An item of a list that follows one of its kind (written with the other
# marker) holds what the same item holds in a list of its own.
@pytest.mark.parametrize(
    "item",
    [
        "<div><div>x</div><div>y</div></div>",
        "<div>x</div>",
        "<p>x</p>",
        "<h2>x</h2>",
        "<pre>x</pre>",
        "<blockquote>x</blockquote>",
        "<ul><li>x</li></ul>",
        "<hr>x",
    ],
)
@pytest.mark.parametrize("kind", ["ol", "ul"])
def test_items_of_an_adjacent_list_keep_their_blocks(kind, item):
    single = md(f"<{kind}><li>{item}</li></{kind}>")
    adjacent = md(f"<{kind}><li>a</li></{kind}><{kind}><li>{item}</li></{kind}>")
    first, other = {"ol": ("1.", "1)"), "ul": ("-", "*")}[kind]
    assert single.startswith(first)
    assert adjacent == f"{first} a\n\n{other}{single[len(first):]}"
    assert read_back(adjacent) == read_back(md(f"<{kind}><li>a</li></{kind}>")) + read_back(single)


# A line feed kept in an item's text starts a line at the item's content
# column, at every depth, on every road that keeps it.
@pytest.mark.parametrize(
    "html, expected",
    [
        ("<ol><li>Step one\n\n   more text</li></ol>", "1. Step one\n   more text\n"),
        ("<ol><li>Step one\nmore text</li></ol>", "1. Step one\n   more text\n"),
        ("<ul><li><ul><li>x\n\ny</li></ul></li></ul>", "- * x\n    y\n"),
        ("<ul><li>a<ul><li>x\n\ny\n\nz</li></ul></li></ul>", "- a\n  * x\n    y\n    z\n"),
        ("<ol start=10><li>a\n\nb</li></ol>", "10. a\n    b\n"),
        ("<ol><li><b>Step one\n\nmore</b> text</li></ol>", "1. **Step one\n   more** text\n"),
        ("<ul><li>a<div>b</div></li></ul>", "- a\n  b\n"),
        ("<ul><li>a\n<b>b</b></li></ul>", "- a\n  **b**\n"),
    ],
)
@pytest.mark.parametrize("road", ["dom", "tier-1"])
def test_kept_line_feeds_stay_in_the_item(road, html, expected):
    out = tidewell.convert(html, {**ROADS[road], "include_document_structure": road == "dom"})
    if road == "tier-1" and out["document"] is not None:
        pytest.skip("the scanner gives this page to the DOM road")
    assert out["content"] == expected
    assert read_back(out["content"]).count("<li>") == html.count("<li>")


@pytest.mark.parametrize(
    "html, expected",
    [
        ("<ol><li>Step one\nmore text</li></ol>", "1. Step one\n   more text\n"),
        ("<ol><li>Step one\n\n   more text</li></ol>", "1. Step one\n\n   more text\n"),
        ("<ul><li><ul><li>x\n   y</li></ul></li></ul>", "- * x\n    y\n"),
    ],
)
def test_kept_line_feeds_stay_in_the_item_with_strict_white_space(html, expected):
    assert md(html, whitespace_mode="strict") == expected


# An element that the preprocessing removes, at the start of an item, leaves
# the marker as it is: "-abc" is no list item.
@pytest.mark.parametrize(
    "html, expected",
    [
        ("<ul><li><form></form>abc</li></ul>", "- abc\n"),
        ('<ul><li><nav class="nav">menu</nav>abc</li></ul>', "- abc\n"),
        ("<ol><li><form></form><form></form>abc</li></ol>", "1. abc\n"),
        ("<ol><li>a</li></ol><ol><li><form></form>abc</li></ol>", "1. a\n\n1) abc\n"),
        ("<ul><li><form></form><ul><li>x</li></ul></li></ul>", "- * x\n"),
        ("<ul><li><form></form><div>abc</div></li></ul>", "- abc\n"),
        ("<ul><li><form></form></li><li>b</li></ul>", "-\n- b\n"),
    ],
)
def test_removed_elements_keep_the_item_marker(html, expected):
    out = md(html)
    assert out == expected
    assert read_back(out).count("<li>") == html.count("<li>")


# Text and inline elements between the items of a list (breadcrumb
# separators, commas, a label before the first item) stay text, and every
# item starts a line of its own.
BETWEEN_ITEMS = [
    ('<ul><li>Home</li><span class="sep">\u203a</span><li>News</li></ul>', "- Home \u203a\n- News\n"),
    ("<ul><li>red</li>, <li>green</li></ul>", "- red ,\n- green\n"),
    ("<ul>Tags: <li>a</li><li>b</li></ul>", "Tags:\n- a\n- b\n"),
    # an empty span, which the HTML5 repair nests the next item in
    ("<ul><li>a</li><span></span><li>b</li></ul>", "- a\n- b\n"),
    ("<ul><li>a</li><b>x</b><li>b</li></ul>", "- a **x**\n- b\n"),
    ('<ul><li>a</li><a href="/u">x</a><li>b</li></ul>', "- a [x](/u)\n- b\n"),
    ("<ol><li>a</li>x<li>b</li></ol>", "1. a x\n2. b\n"),
    ("<ol start=3><li>a</li>x<span>y</span> z<li>b</li></ol>", "3. a xy z\n4. b\n"),
    # an ordered item past 1 would continue text on the line before it
    ("<ol start=3>Tags: <li>a</li><li>b</li></ol>", "Tags:\n\n3. a\n4. b\n"),
    ("<ul><li>a<ul><li>b</li>, <li>c</li></ul></li></ul>", "- a\n  * b ,\n  * c\n"),
    # after an item that ends in a block the text stands apart, out of the block
    ("<ul><li><h2>a</h2></li>x<li>b</li></ul>", "- ## a\n\nx\n- b\n"),
    ("<ol start=4><li><blockquote>a</blockquote></li>x<li>b</li></ol>", "4. > a\n\nx\n\n5. b\n"),
    ("<ul><li>a<ul><li>b</li></ul></li>x<li>c</li></ul>", "- a\n  * b\n\nx\n- c\n"),
    ("<ul><li>a</li><li>b</li>and more</ul>", "- a\n- b and more\n"),
]


@pytest.mark.parametrize("html, expected", BETWEEN_ITEMS)
def test_content_between_items_keeps_the_items_apart(html, expected):
    assert md(html) == expected


@pytest.mark.parametrize(
    "html, expected",
    [
        # a djot list never interrupts a paragraph: text before an item ends with a blank line
        ("<ul>Tags: <li>a</li><li>b</li></ul>", "Tags:\n\n- a\n- b\n"),
        ("<ul><li><h2>a</h2></li>x<li>b</li></ul>", "- ## a\n\nx\n\n- b\n"),
        ('<ul><li>Home</li><span class="sep">\u203a</span><li>News</li></ul>', "- Home \u203a\n- News\n"),
    ],
)
def test_content_between_items_in_djot(html, expected):
    assert md(html, output_format="djot") == expected


def items_and_words(markdown):
    """How many items a CommonMark reader finds, and the text's characters
    other than white space."""
    tokens = pytest.importorskip("markdown_it").MarkdownIt("commonmark").parse(markdown)
    items = sum(token.type == "list_item_open" for token in tokens)
    text = "".join(c.content for t in tokens if t.type == "inline" for c in t.children if c.type == "text")
    return items, "".join(text.split())


@pytest.mark.parametrize("road", ROADS)
@pytest.mark.parametrize("html", [html for html, _ in BETWEEN_ITEMS])
def test_content_between_items_reads_back(road, html):
    items, text = items_and_words(tidewell.convert(html, ROADS[road])["content"])
    assert items == html.count("<li>")
    assert text == "".join(re.sub("<[^>]*>", "", html).split())


def item_texts(markdown):
    """The text of every list item a CommonMark reader finds, in order (an
    item's text holds that of the items nested in it)."""
    tokens = pytest.importorskip("markdown_it").MarkdownIt("commonmark").parse(markdown)
    items, open_items = [], []
    for token in tokens:
        if token.type == "list_item_open":
            open_items.append(len(items))
            items.append("")
        elif token.type == "list_item_close":
            open_items.pop()
        elif token.type == "inline":
            for item in open_items:
                items[item] += " " + " ".join(c.content for c in token.children if c.type == "text")
    return [" ".join(item.split()) for item in items]


def page_markdown(source, name):
    from corpus import corpus_path, read_page

    return tidewell.convert(read_page(corpus_path(source, "pages", name)), {})["content"]


@pytest.mark.parametrize("source, name", [("readability", "nytimes-5.html"), ("trafilatura", "pcgamer.com.skyrim.html")])
def test_page_items_of_adjacent_lists_hold_their_content(source, name):
    items = item_texts(page_markdown(source, name))
    assert items and "" not in items


@pytest.mark.parametrize(
    "source, name, expected",
    [
        ("readability", "liberation-1.html", ["Accueil \u203a", "Monde"]),
        ("trafilatura", "meedia.de.freenet.html", ["Christoph Vilanek", "DVB-T", "Freenet"]),
        ("trafilatura", "vice.com.amazon.html", ["VICE", "VICE News"]),
    ],
)
def test_page_items_after_inline_content_stay_items(source, name, expected):
    items = item_texts(page_markdown(source, name))
    assert any(items[i:i + len(expected)] == expected for i in range(len(items)))


# --- items inside inline elements --------------------------------------------
#
# A browser shows an li as an item of its list even where a link, bold or a
# span stands between the two, with the item's content in that formatting:
# each item is a list item holding the link (one per item, all to the same
# address), numbered with the list's other items; what the element holds
# beside its items stays, in the same formatting, on the line of the item
# before it (or before the list).

WRAPPED_ITEMS = [
    ('<ul><a href="/1"><li>one</li></a><a href="/2"><li>two</li></a></ul>',
     '<ul><li><a href="/1">one</a></li><li><a href="/2">two</a></li></ul>'),
    ("<ul><b><li>one</li></b><em><li>two</li></em><span><li>three</li></span></ul>",
     "<ul><li><strong>one</strong></li><li><em>two</em></li><li>three</li></ul>"),
    ('<ol><a href="/1"><li>one</li></a><li>two</li></ol>', '<ol><li><a href="/1">one</a></li><li>two</li></ol>'),
    ('<ul><li>x</li><a href="/1"><li>one <b>b</b></li><li>two</li></a></ul>',
     '<ul><li>x</li><li><a href="/1">one<strong>b</strong></a></li><li><a href="/1">two</a></li></ul>'),
    ('<ul><a href="/1"><b><li>one</li></b></a><u><i><li>two</li></i></u></ul>',
     '<ul><li><a href="/1"><strong>one</strong></a></li><li><em>two</em></li></ul>'),
    # an item of blocks, as a page's menu holds them: the link text on one line
    ('<ul>\n <a href="/1">\n  <li>\n   <div></div>\n   <p>one</p>\n  </li>\n </a>\n</ul>',
     '<ul><li><a href="/1">one</a></li></ul>'),
    ('<ul><a href="/1">Label<li>one</li>tail</a><li>two</li></ul>',
     '<p><a href="/1">Label</a></p><ul><li><a href="/1">one</a><a href="/1">tail</a></li><li>two</li></ul>'),
    ('<ul><a href="/1"><li>one<ul><li>sub</li></ul></li></a><li>two</li></ul>',
     '<ul><li><a href="/1">one</a><ul><li>sub</li></ul></li><li>two</li></ul>'),
    ('<ul><li>x<ul><a href="/1"><li>y</li></a></ul></li></ul>',
     '<ul><li>x<ul><li><a href="/1">y</a></li></ul></li></ul>'),
    ('<menu><a href="/1"><li>one</li></a><b><li>two</li></b></menu>',
     '<ul><li><a href="/1">one</a></li><li><strong>two</strong></li></ul>'),
]


@pytest.mark.parametrize("road", PARSER_ROADS, ids=road_id)
@pytest.mark.parametrize("html, expected", WRAPPED_ITEMS)
def test_items_inside_inline_elements_read_back(road, html, expected):
    assert read_back(tidewell.convert(html, road)["content"]) == "".join(expected.split())


# The markers around an item's content meet the ends of its line, not the
# elements beside the one around the item in the page.
@pytest.mark.parametrize(
    "html, expected",
    [*WRAPPED_ITEMS,
     ("<ul><em><li>*</li></em><b><li>x</li></b></ul>", "<ul><li><em>*</em></li><li><strong>x</strong></li></ul>")],
)
def test_items_inside_emphasis_read_back_with_underscores(html, expected):
    assert read_back(md(html, strong_em_symbol="_")) == "".join(expected.split())


@pytest.mark.parametrize("html", [html for html, _ in WRAPPED_ITEMS])
def test_scanner_leaves_items_inside_inline_elements_to_the_dom_road(html):
    dom = {"tier_strategy": "tier2", "code_block_style": "indented", "highlight_style": "none"}
    assert tidewell.convert(html, TIER1)["content"] == tidewell.convert(html, dom)["content"]


@pytest.mark.parametrize(
    "html, options, expected",
    [
        ('<ul><a href="/1"><li>one</li></a><a href="/2"><li>two</li></a></ul>', {}, "- [one](/1)\n- [two](/2)\n"),
        ("<ul><b><li>one</li></b></ul>", {}, "- **one**\n"),
        ('<ol><a href="/1"><li>one</li></a><li>two</li></ol>', {}, "1. [one](/1)\n2. two\n"),
        ('<ol start="3"><span><li>a</li><li>b</li></span><a href="/1"><li>c</li></a></ol>', {},
         "3. a\n4. b\n5. [c](/1)\n"),
        ('<ul><li>x</li><a href="/1"><li>one <b>b</b></li><li>two</li></a></ul>', {},
         "- x\n- [one **b**](/1)\n- [two](/1)\n"),
        ('<ul><a href="/1" title="T"><li><div></div><p>one</p></li></a></ul>', {}, '- [one](/1 "T")\n'),
        ('<ul><a href="/1">Label<li>one</li>tail</a><li>two</li></ul>', {},
         "[Label](/1)\n- [one](/1) [tail](/1)\n- two\n"),
        ('<ul><a href="/1"><li>one<ul><li>sub</li></ul>more</li></a></ul>', {},
         "- [one](/1)\n  * sub\n\n  [more](/1)\n"),
        ('<ul><a href="/1"><li>one</li><ul><li>sub</li></ul></a></ul>', {}, "- [one](/1)\n  * sub\n"),
        ('<ul><a href="/1"><li>one</li><li>two</li></a></ul>', {"link_style": "reference"},
         "- [one][1]\n- [two][1]\n\n[1]: /1\n"),
        ('<ul><a href="/1"><b><li>one</li></b></a><em><li>two</li></em></ul>', {"output_format": "djot"},
         "- [*one*](/1)\n- _two_\n"),
        ('<ul><a href="/1"><li>one</li></a><b>x<li>two</li></b></ul>', {"output_format": "plain"},
         "- one\nx\n- two\n"),
        ('<table><tr><td><ul><a href="/1"><li>a</li></a><a href="/2"><li>b</li></a></ul></td></tr></table>', {},
         "| [a](/1)<br>[b](/2) |\n| ------------------ |\n"),
        # code, a label or a stripped element gives way: the items stay items
        ("<ul><code><li>a</li></code><label><li>b</li></label></ul>", {}, "- a\n- b\n"),
        ('<ul><a href="/1"><li>one</li></a></ul>', {"strip_tags": ["a"]}, "- one\n"),
    ],
)
def test_items_inside_inline_elements(html, options, expected):
    assert md(html, **options) == expected


def test_items_inside_a_link_are_links_of_their_own():
    links = tidewell.convert('<ul><a href="/1"><li>one</li><li>two</li></a></ul>', {})["metadata"]["links"]
    assert [(link["href"], link["text"]) for link in links] == [("/1", "one"), ("/1", "two")]


def linked_items(markdown):
    """The text and address of every list item a CommonMark reader finds
    whose text is one link and nothing else."""
    tokens = pytest.importorskip("markdown_it").MarkdownIt("commonmark").parse(markdown)
    found, depth = [], 0
    for token in tokens:
        depth += token.type == "list_item_open"
        depth -= token.type == "list_item_close"
        kinds = [child.type for child in token.children or []]
        if depth and token.type == "inline" and kinds[:1] == ["link_open"] and kinds[-1:] == ["link_close"] \
                and kinds.count("link_open") == 1:
            text = " ".join(child.content for child in token.children if child.type == "text")
            found.append((" ".join(text.split()), token.children[0].attrs["href"]))
    return found


@pytest.mark.parametrize("road", PARSER_ROADS, ids=road_id)
@pytest.mark.parametrize(
    "source, name, expected",
    [
        ("trafilatura", "faz.net.streaming.html",
         ["Abo-Service", "Best Ager", "FAZ.NET als Startseite", "Apps", "Finanz-Services", "Tarifrechner",
          "Newsletter", "Immobilien- Markt", "Routenplaner", "Stellenmarkt", "Spiele", "Gutscheine",
          "Veranstaltungen", "Whatsapp & Co.", "TV-Programm", "Wetter"]),
        ("readability", "gmw.html",
         ["\u5149\u660e\u56fe\u7247", "\u6211\u8981\u6295\u7a3f", "\u5149\u660e\u57f9\u8bad"]),
    ],
)
def test_page_menu_items_inside_links_are_linked_items(road, source, name, expected):
    from corpus import corpus_path, read_page

    page = read_page(corpus_path(source, "pages", name))
    items = dict(linked_items(tidewell.convert(page, road)["content"]))
    assert [text for text in expected if text in items and items[text].startswith("http")] == expected
