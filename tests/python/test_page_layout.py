"""Layouts found on real pages keep their structure and their words apart.

Each case is distilled from a corpus page whose output read back as something
else: a paragraph of a nested item as a code block, a quote of an item as a
lazy continuation, an image glued to the word before it, blank quote lines
piling up, a line opened by a space. Where the output is Markdown, a
CommonMark reader must give back the page's own structure.
"""
import pytest

import tidewell


def read_back(markdown):
    """The HTML a CommonMark reader makes of `markdown`, without line feeds."""
    markdown_it = pytest.importorskip("markdown_it")
    return markdown_it.MarkdownIt("commonmark").render(markdown).replace("\n", "")


def md(html, **options):
    return tidewell.convert(html, options)["content"]


@pytest.mark.parametrize(
    "html, expected, structure",
    [
        pytest.param(
            "<ul><li>a<ul><li>b<ul><li><p>c</p><p>d</p></li></ul></li></ul></li></ul>",
            "- a\n  * b\n    + c\n\n      d\n",
            "<ul><li>a<ul><li>b<ul><li><p>c</p><p>d</p></li></ul></li></ul></li></ul>",
            id="paragraphs of a third-level item",
        ),
        pytest.param(
            "<ol><li>a<ol><li>b<blockquote>q</blockquote></li></ol></li></ol>",
            "1. a\n   1. b\n      > q\n",
            "<ol><li>a<ol><li>b<blockquote><p>q</p></blockquote></li></ol></li></ol>",
            id="quote in a nested numbered item",
        ),
        pytest.param(
            "<ul><li>Item<blockquote>Q</blockquote></li><li>next</li></ul>",
            "- Item\n  > Q\n- next\n",
            "<ul><li>Item<blockquote><p>Q</p></blockquote></li><li>next</li></ul>",
            id="quote in an item",
        ),
        pytest.param(
            "<ul><li>Text<blockquote><p>q1</p><p>q2</p></blockquote>more</li></ul>",
            "- Text\n  > q1\n  >\n  > q2\n\n  more\n",
            "<ul><li><p>Text</p><blockquote><p>q1</p><p>q2</p></blockquote><p>more</p></li></ul>",
            id="text after a quote in an item",
        ),
        pytest.param(
            "<ul><li>a<ul><li><p>Use <code>x\n  y</code> and</p><p>more <code>p  q</code></p></li></ul></li></ul>",
            "- a\n  * Use `x   y` and\n\n    more `p  q`\n",
            "<ul><li>a<ul><li><p>Use <code>x   y</code> and</p><p>more <code>p  q</code></p></li></ul></li></ul>",
            id="inline code in a second paragraph",
        ),
        pytest.param(
            "<ul><li>a<ul><li>text\n<code>x   y</code>\nmore</li></ul></li></ul>",
            "- a\n  * text\n    `x   y` more\n",
            "<ul><li>a<ul><li>text<code>x   y</code> more</li></ul></li></ul>",
            id="inline code opening a line of an item",
        ),
        pytest.param(
            "<ol><li><p>one</p><pre>x\n  y</pre></li></ol>",
            "1. one\n\n   ```\n   x\n     y\n   ```\n",
            "<ol><li><p>one</p><pre><code>x  y</code></pre></li></ol>",
            id="code block in an item",
        ),
        pytest.param(
            "<blockquote><p>out</p><blockquote><p>in</p></blockquote><p></p><p> </p></blockquote><p>after</p>",
            "> out\n>\n> > in\n\nafter\n",
            "<blockquote><p>out</p><blockquote><p>in</p></blockquote></blockquote><p>after</p>",
            id="nested quote before empty paragraphs",
        ),
        pytest.param(
            "<blockquote><p>a</p><blockquote><p>b</p></blockquote><p>c</p></blockquote>",
            "> a\n>\n> > b\n>\n> c\n",
            "<blockquote><p>a</p><blockquote><p>b</p></blockquote><p>c</p></blockquote>",
            id="text after a nested quote",
        ),
    ],
)
def test_blocks_keep_their_place(html, expected, structure):
    out = md(html)
    assert out == expected
    assert read_back(out) == structure


@pytest.mark.parametrize(
    "html, expected",
    [
        # the image stays a word apart from the caption text before it
        ("<figure>Photo: <img src=a.png alt=A></figure>", "Photo: ![A](a.png)\n"),
        # alt texts and svg titles written as words, also at the end of a link
        ("<h2><svg><title>Icon</title></svg>Title</h2>", "## Icon Title\n"),
        ("<h2><a href=/a><svg><title>Icon</title></svg></a>Title</h2>", "## [Icon](/a) Title\n"),
        ("<h2><a href=/a><img alt=Logo src=1.png></a>Title</h2>", "## [Logo](/a) Title\n"),
        ("<h2><a href=/a><img alt=Logo src=1.png></a><a href=/b>Title</a></h2>", "## [Logo](/a) [Title](/b)\n"),
        ("<h2><a href=/a><b><img alt=Logo src=1.png></b></a>Title</h2>", "## [**Logo**](/a) Title\n"),
        # punctuation and line breaks after the alt text need no space
        ("<h2><a href=/a><img alt=Logo src=1.png></a>, Title</h2>", "## [Logo](/a), Title\n"),
        ("<h2><a href=/a><img alt=Logo src=1.png></a></h2>", "## [Logo](/a)\n"),
    ],
)
def test_images_stand_as_words(html, expected):
    assert md(html) == expected


@pytest.mark.parametrize(
    "html, expected",
    [
        # indentation of the markup never opens a line of the output
        ("<section>\n  <a href=/a></a>\n  <div>\n    <section>\n      <a href=/a>Dan</a> is the editor.\n"
         "    </section>\n  </div>\n</section>", "[](/a)\n\n[Dan](/a) is the editor.\n"),
        ("<figure><img src=a.png></figure>\n<aside>\n  <a href=/c>\n  <h4>reader comments</h4><span>75</span></a>\n"
         "</aside>", "![](a.png)\n\n[reader comments 75](/c)\n"),
        ("<section>\n  <div>\n    text at start\n  </div>\n</section>", "text at start\n"),
        ("<article> <span>x</span> y</article>", "x y\n"),
    ],
)
def test_sections_open_no_line_with_a_space(html, expected):
    assert md(html) == expected


@pytest.mark.parametrize(
    "html, options, expected, structure",
    [
        ("<b>*</b>", {}, "**\\***\n", "<p><strong>*</strong></p>"),
        ("<i>*</i>", {}, "*\\**\n", "<p><em>*</em></p>"),
        ("<strong>**</strong>", {}, "**\\*\\***\n", "<p><strong>**</strong></p>"),
        # only the character of the markers
        ("<em>a_b_c</em>", {}, "*a_b_c*\n", "<p><em>a_b_c</em></p>"),
        ("<strong>2*3*4</strong>", {}, "**2\\*3\\*4**\n", "<p><strong>2*3*4</strong></p>"),
        ("<b><i>*</i></b>", {}, "***\\****\n", "<p><em><strong>*</strong></em></p>"),
        ("<b>_</b>", {"strong_em_symbol": "_"}, "__\\___\n", "<p><strong>_</strong></p>"),
        ("<i>2*3</i>", {"strong_em_symbol": "_"}, "_2\\*3_\n", "<p><em>2*3</em></p>"),
        # outside emphasis a lone asterisk stays as written
        ("<p>2 * 3</p>", {}, "2 * 3\n", "<p>2 * 3</p>"),
        # emphasis inside a sub or sup written without symbols joins the
        # emphasis right before it ("*I**n*" would leave "**" as text)
        ("<p>matrix <i>I</i><sub><i>n</i></sub> is</p>", {}, "matrix *In* is\n", "<p>matrix <em>In</em> is</p>"),
        ("<p><b>A</b><sup><b>2</b></sup></p>", {}, "**A2**\n", "<p><strong>A2</strong></p>"),
        ("<p><i>A</i><sup><i>n</i></sup></p>", {"sup_symbol": "^"}, "*A*^*n*^\n", "<p><em>A</em>^<em>n</em>^</p>"),
        # right after a word, markers before punctuation would open nothing:
        # the content stands without them
        ("<p>Seite von Montauk<strong>.</strong></p>", {}, "Seite von Montauk.\n", "<p>Seite von Montauk.</p>"),
        ("<p>a<b>*x</b></p>", {}, "a\\*x\n", "<p>a*x</p>"),
        ("<p>a<i>(b)</i> c</p>", {}, "a(b) c\n", "<p>a(b) c</p>"),
        ("<p>a<b>.</b></p>", {"strong_em_symbol": "_"}, "a.\n", "<p>a.</p>"),
        ("<table><tr><td><strong>*</strong>Price with code</td></tr></table>", {},
         "| \\*Price with code |\n| ----------------- |\n", None),
        ("<p>a <b>x.</b>y</p>", {}, "a x.y\n", "<p>a x.y</p>"),
        ("<p>a <b>x.</b><!-- c -->y</p>", {}, "a x.y\n", "<p>a x.y</p>"),
        # without markers in front, content that starts a line keeps its
        # marker characters as text
        ("<p><b>- x.</b>y</p>", {}, "\\- x.y\n", "<p>- x.y</p>"),
        ("<p>1<b>. x</b></p>", {}, "1\\. x\n", "<p>1. x</p>"),
        # after a space or punctuation, or before a letter, they open
        ("<p>a <b>.</b></p>", {}, "a **.**\n", "<p>a <strong>.</strong></p>"),
        ("<p>(<b>.</b>)</p>", {}, "(**.**)\n", "<p>(<strong>.</strong>)</p>"),
        ("<p>a<b><i>x</i></b></p>", {}, "a***x***\n", "<p>a<em><strong>x</strong></em></p>"),
        ("<p>a <b>x.</b> y</p>", {}, "a **x.** y\n", "<p>a <strong>x.</strong> y</p>"),
        ("<p>a <b>x.</b>, y</p>", {}, "a **x.**, y\n", "<p>a <strong>x.</strong>, y</p>"),
    ],
)
def test_emphasis_reads_back_as_written(html, options, expected, structure):
    out = md(html, **options)
    assert out == expected
    if structure is not None:
        assert read_back(out) == structure



@pytest.mark.parametrize(
    "html, expected",
    [
        # djot marks emphasis with '_' and strong emphasis with '*': a literal
        # one between the markers would join them
        ("<p><i>a_b</i> c_d</p>", "_a\\_b_ c\\_d\n"),
        ("<p><b>2*3</b></p>", "*2\\*3*\n"),
        ("<p><b>a <i>b_c*d</i></b></p>", "*a _b\\_c\\*d_*\n"),
        ("<p><em>x</em></p>", "_x_\n"),
    ],
)
def test_djot_emphasis_keeps_marker_characters_as_text(html, expected):
    assert md(html, output_format="djot") == expected
