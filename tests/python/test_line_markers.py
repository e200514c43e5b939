"""Text that lands at the start of a Markdown line stays text: a block marker
there gets a backslash, and a CommonMark reader gives the text back."""
import html
import re

import pytest

import tidewell

BLOCK_ELEMENTS = re.compile(r"<(ul|ol|li|h[1-6]|blockquote|hr|pre|code)\b")


def markdown_it():
    return pytest.importorskip("markdown_it").MarkdownIt("commonmark")


def rendered_text(markdown):
    """The rendered HTML's text, and whether it holds a block element."""
    rendered = markdown_it().render(markdown)
    return html.unescape(re.sub(r"<[^>]+>", "", rendered)), BLOCK_ELEMENTS.search(rendered)


@pytest.mark.parametrize(
    "html_in, options, expected, text",
    [
        ("<p>- x</p>", {}, "\\- x\n", "- x"),
        ("<p>+ x</p>", {}, "\\+ x\n", "+ x"),
        ("<p>* x</p>", {}, "\\* x\n", "* x"),
        ("<p>1. x</p>", {}, "1\\. x\n", "1. x"),
        ("<p>12) x</p>", {}, "12\\) x\n", "12) x"),
        ("<p># x</p>", {}, "\\# x\n", "# x"),
        ("<p>###### x</p>", {}, "\\###### x\n", "###### x"),
        ("<p>> x</p>", {}, "\\> x\n", "> x"),
        ("<p>>x</p>", {}, "\\>x\n", ">x"),
        ("<p>```</p>", {}, "\\`\\`\\`\n", "```"),
        ("<p>```py `` x</p>", {}, "```py `` x\n", "```py `` x"),  # a backtick after it: no fence
        ("<p>~~~ a</p>", {}, "\\~\\~\\~ a\n", "~~~ a"),
        ("<p>***</p>", {}, "\\***\n", "***"),
        ("<p>- - -</p>", {}, "\\- - -\n", "- - -"),
        ("<p>___</p>", {}, "\\___\n", "___"),
        ("<p>a<br>===</p>", {}, "a  \n\\===\n", "==="),
        ("<p>a<br>---</p>", {}, "a  \n\\---\n", "---"),
        ("<p>a\n===</p>", {}, "a\n\\===\n", "==="),
        ("<p>a<br>- b</p>", {}, "a  \n\\- b\n", "- b"),
        ("<p>a\n- b\n2. c</p>", {}, "a\n\\- b\n2\\. c\n", "2. c"),
        ("<div>- x</div>", {}, "\\- x\n", "- x"),
        ("<p><span>  - x</span></p>", {}, "\\- x\n", "- x"),
        ("<p>- <b>x</b></p>", {}, "\\- **x**\n", "- x"),
        ("<p>1<span>.</span> x</p>", {}, "1\\. x\n", "1. x"),  # the marker split over two texts
        ("<p><sub>1.</sub> x</p>", {}, "1\\. x\n", "1. x"),  # no markers: the content stands in place
        ("<p><abbr title='t'>- x</abbr></p>", {}, "\\- x (t)\n", "- x (t)"),
        ("<p><math>- x</math></p>", {}, "\\- x <!-- MathML: <math>- x</math> -->\n", "- x"),
        ("<h1>- x</h1>", {"heading_style": "underlined"}, "\\- x\n====\n", "- x"),
        ("<h2>1. x</h2>", {"heading_style": "underlined"}, "1\\. x\n-----\n", "1. x"),
        ("<h1>- x</h1>", {"convert_as_inline": True}, "\\- x\n", "- x"),
        ("<p>   - x</p>", {"whitespace_mode": "strict"}, "   \\- x\n", "- x"),
        # text without markup takes the plain-text road, line by line
        ("- x\n# y", {}, "\\- x\n\\# y\n", "# y"),
    ],
)
def test_block_marker_at_line_start_stays_text(html_in, options, expected, text):
    out = tidewell.convert_to_markdown(html_in, options)
    assert out == expected
    read, block = rendered_text(out)
    assert block is None or (options.get("heading_style") and block.group(1) in ("h1", "h2"))
    assert text in read


@pytest.mark.parametrize(
    "html_in, options, expected",
    [
        # no marker: nothing changes
        ("<p>a - b</p>", {}, "a - b\n"),
        ("<p>-x #x 1.5 +x ** x</p>", {}, "-x #x 1.5 +x ** x\n"),
        ("<p>####### x</p>", {}, "####### x\n"),
        ("<p>1234567890. x</p>", {}, "1234567890. x\n"),
        ("<p>a 1<span>. x</span></p>", {}, "a 1. x\n"),
        # after "#" and in a pipe-table cell the text is inline content
        ("<h1>- x</h1>", {}, "# - x\n"),
        ("<table><tr><th>- x</th></tr><tr><td>1. y</td></tr></table>", {}, "| - x  |\n| ---- |\n| 1. y |\n"),
        # a row written as a list item: its text follows the item's marker
        ("<table><tr><td>1. x</td><td><a href='u'>l</a></td></tr><tr><td>b</td></tr></table>", {},
         "- 1\\. x [l](u)\n- b\n"),
        # inside markup the converter opens the text starts no line
        ("<p><b>- x</b></p>", {}, "**- x**\n"),
        ("<p><code>- x</code></p>", {}, "`- x`\n"),
        ("<span>- x</span>", {"preserve_tags": ["span"]}, "<span>- x</span>\n"),
        # the escape options' backslash is the only one
        ("<p>- x</p>", {"escape_misc": True}, "\\- x\n"),
        ("<p>1. x</p>", {"escape_misc": True}, "1\\. x\n"),
        ("<p>```</p>", {"escape_misc": True}, "\\`\\`\\`\n"),
        ("<p>***</p>", {"escape_asterisks": True}, "\\*\\*\\*\n"),
        ("<p>> x</p>", {"escape_ascii": True}, "\\> x\n"),
        # djot reads the same escapes; plain text has none
        ("<p>- x</p>", {"output_format": "djot"}, "\\- x\n"),
        # and djot's own: items numbered by letters, roman numerals or in
        # parentheses, and definitions (Markdown has none of them)
        ("<p>I. x</p><p>b) y</p><p>(c) z</p><p>: d</p>", {"output_format": "djot"},
         "I\\. x\n\nb\\) y\n\n\\(c) z\n\n\\: d\n"),
        ("<p>I. x</p><p>(c) z</p><p>: d</p>", {}, "I. x\n\n(c) z\n\n: d\n"),
        ("<p>- x</p>", {"output_format": "plain"}, "- x\n"),
        ("- x", {"output_format": "plain"}, "- x\n"),
    ],
)
def test_escape_only_where_a_marker_starts_a_line(html_in, options, expected):
    assert tidewell.convert_to_markdown(html_in, options) == expected


def test_wrapping_keeps_escaped_text_in_its_paragraph():
    out = tidewell.convert_to_markdown("<p>aaa - bbb</p><p>- x 1. y</p>", {"wrap": True, "wrap_width": 4})
    read, block = rendered_text(out)
    assert block is None
    assert "- x 1. y" in " ".join(read.split())


@pytest.mark.parametrize(
    "html_in, expected, rendered",
    [
        ("<ul><li>- x</li></ul>", "- \\- x\n", "<ul>\n<li>- x</li>\n</ul>\n"),
        ("<ol><li>1. x</li></ol>", "1. 1\\. x\n", "<ol>\n<li>1. x</li>\n</ol>\n"),
        ("<ul><li>a<ul><li># b</li></ul></li></ul>", "- a\n  * \\# b\n",
         "<ul>\n<li>a\n<ul>\n<li># b</li>\n</ul>\n</li>\n</ul>\n"),
        ("<ul><li><input type='checkbox'>- x</li></ul>", "- [ ] - x\n", "<ul>\n<li>[ ] - x</li>\n</ul>\n"),
        ("<blockquote>- x</blockquote>", "> \\- x\n", "<blockquote>\n<p>- x</p>\n</blockquote>\n"),
        ("<blockquote><blockquote>1. x</blockquote></blockquote>", "> > 1\\. x\n",
         "<blockquote>\n<blockquote>\n<p>1. x</p>\n</blockquote>\n</blockquote>\n"),
        ("<blockquote>a<br>&gt; b</blockquote>", "> a  \n> \\> b\n", "<blockquote>\n<p>a<br />\n&gt; b</p>\n</blockquote>\n"),
        ("<dl><dt>- t</dt><dd>1. d</dd></dl>", "\\- t  \n1\\. d\n", "<p>- t<br />\n1. d</p>\n"),
        ("<section>+ x</section>", "\\+ x\n", "<p>+ x</p>\n"),
        ("<figure>* x</figure>", "\\* x\n", "<p>* x</p>\n"),
        ("<select><option>- x</option><option selected>- y</option></select>", "\\- x\n* \\- y\n",
         "<p>- x</p>\n<ul>\n<li>- y</li>\n</ul>\n"),
        ("<pre>- x</pre>", "```\n- x\n```\n", "<pre><code>- x\n</code></pre>\n"),  # code is never escaped
    ],
)
def test_text_in_blocks_keeps_only_the_blocks_markup(html_in, expected, rendered):
    out = tidewell.convert_to_markdown(html_in)
    assert out == expected
    assert markdown_it().render(out) == rendered
