"""Page text that a CommonMark reader would take for markup of its own (a tag,
an autolink, a character reference, a backslash escape, a link reference
definition) gets the one backslash that keeps it text, and a line break in a
quotation stays a line break."""
import html
import random
import re

import pytest

import tidewell


def markdown_it():
    return pytest.importorskip("markdown_it").MarkdownIt("commonmark")


def read_back(markdown):
    """The text a reader shows of the rendered Markdown: tags dropped, then
    references decoded, so raw HTML in the Markdown shows nothing."""
    return html.unescape(re.sub(r"<[^>]*>", "", markdown_it().render(markdown)))


@pytest.mark.parametrize(
    "html_in, options, expected, text",
    [
        # a tag, comment, declaration, processing instruction or autolink
        ("<p>Use the &lt;div&gt; element</p>", {}, "Use the \\<div> element\n", "Use the <div> element"),
        ("<p>end &lt;/p&gt; tag</p>", {}, "end \\</p> tag\n", "end </p> tag"),
        ("<p>a &lt;!-- c --&gt; b</p>", {}, "a \\<!-- c --> b\n", "a <!-- c --> b"),
        ("<p>a &lt;!DOCTYPE html&gt;</p>", {}, "a \\<!DOCTYPE html>\n", "a <!DOCTYPE html>"),
        ("<p>a &lt;?php x ?&gt;</p>", {}, "a \\<?php x ?>\n", "a <?php x ?>"),
        ("<p>see &lt;http://x.y&gt;</p>", {}, "see \\<http://x.y>\n", "see <http://x.y>"),
        ("<p>&lt;div&gt; starts</p>", {}, "\\<div> starts\n", "<div> starts"),  # an HTML block
        ("&lt;p&gt; plain", {}, "\\<p> plain\n", "<p> plain"),  # text without markup
        ("<p>&lt;<span>div</span>&gt; x</p>", {}, "\\<div> x\n", "<div> x"),  # '<' and name in two texts
        ("<p><a href='u'>&lt;b&gt; x</a></p>", {}, "[\\<b> x](u)\n", "<b> x"),
        ("<ul><li>&lt;br&gt; x</li></ul>", {}, "- \\<br> x\n", "<br> x"),
        ("<h2>the &lt;a&gt; tag</h2>", {}, "## the \\<a> tag\n", "the <a> tag"),
        ("<table><tr><td>&lt;b&gt; <i>x</i></td></tr></table>", {}, "| \\<b> *x* |\n| -------- |\n", "<b> x"),
        ("<table><tr><td>&lt;b&gt;</td></tr></table>", {}, "| \\<b> |\n| ---- |\n", "<b>"),
        ("<p>a &lt;b&gt;</p>", {"whitespace_mode": "strict"}, "a \\<b>\n", "a <b>"),
        ("<p><abbr title='&lt;b&gt;'>x</abbr></p>", {}, "x (\\<b>)\n", "x (<b>)"),
        # djot has no raw HTML: only an autolink is escaped
        ("<p>&lt;i&gt; &lt;http://x.y&gt; &lt;a@b.c&gt;</p>", {"output_format": "djot"},
         "<i> \\<http://x.y> \\<a@b.c>\n", None),
        ("<p>&lt;<span>i&gt;</span> &lt;<span>http://x.y&gt;</span></p>", {"output_format": "djot"},
         "<i> \\<http://x.y>\n", None),
        # a character reference
        ("<p>&amp;copy; 2024</p>", {}, "\\&copy; 2024\n", "&copy; 2024"),
        ("<p>&amp;#169; &amp;#xA9; &amp;#XA9;</p>", {}, "\\&#169; \\&#xA9; \\&#XA9;\n", "&#169; &#xA9; &#XA9;"),
        ("<p>&amp;<span>amp;</span> x</p>", {}, "\\&amp; x\n", "&amp; x"),  # '&' and name in two texts
        ("<p>&amp;co<span>py;</span> x</p>", {}, "\\&copy; x\n", "&copy; x"),  # the name split
        ("<p>a &amp;#16<span>9;</span></p>", {}, "a \\&#169;\n", "a &#169;"),
        ("<p>&amp;co<b>py;</b></p>", {}, "&co**py;**\n", "&copy;"),  # markup between: no reference
        # the next text written from an element's buffer
        ("<p>&amp;co<abbr>py;</abbr> &lt;<sub>div&gt;</sub></p>", {}, "\\&copy; \\<div>\n", "&copy; <div>"),
        ("<p>x &lt;<label>div&gt;</label></p>", {}, "x \\<div>\n", "x <div>"),
        ("<p>&amp;co<video>py;</video></p>", {}, "\\&copy;\n", "&copy;"),
        ("<p>&lt;<b>div</b>&gt;</p>", {}, "<**div**>\n", "<div>"),  # markers between: no tag
        ("<table><tr><td>&amp;lt;</td></tr></table>", {}, "| \\&lt; |\n| ----- |\n", "&lt;"),
        ("&amp;amp; plain", {}, "\\&amp; plain\n", "&amp; plain"),
        # a backslash before punctuation, a line break or markup
        ("<p>a\\*b\\_c\\</p>", {}, "a\\\\\\*b\\\\\\_c\\\\\n", "a\\*b\\_c\\"),
        ("<p>a\\<br>b</p>", {}, "a\\\\  \nb\n", "a\\\nb"),
        ("<p>a\\<b>x</b></p>", {}, "a\\\\**x**\n", "a\\x"),
        ("<p>a\\*b</p>", {"escape_asterisks": True}, "a\\\\\\*b\n", "a\\*b"),
        ("<table><tr><td>a\\|b</td><td>c</td></tr></table>", {}, "| a\\\\\\|b | c |\n| ------ | --- |\n", "a\\|b"),
        ("<p><a href='u'>a\\</a></p>", {}, "[a\\\\](u)\n", "a\\"),
        # a link reference definition
        ("<p>[1]: http://x.y</p>", {}, "\\[1]: http://x.y\n", "[1]: http://x.y"),
        ("<p>[a b]:</p><p>c</p>", {}, "\\[a b]:\n\nc\n", "[a b]:"),
        ("<p>[<b>1</b>]: http://x.y</p>", {}, "\\[**1**]: http://x.y\n", "[1]: http://x.y"),
        ("<p>[1]<span>: http://x.y</span></p>", {}, "\\[1]: http://x.y\n", "[1]: http://x.y"),
        ("<ul><li>[1]: http://x.y</li></ul>", {}, "- \\[1]: http://x.y\n", "[1]: http://x.y"),
        ("<blockquote>[1]: http://x.y</blockquote>", {}, "> \\[1]: http://x.y\n", "[1]: http://x.y"),
        ("<p>   [1]: x</p>", {"whitespace_mode": "strict"}, "   \\[1]: x\n", "[1]: x"),
        ("[1]: http://x.y", {}, "\\[1]: http://x.y\n", "[1]: http://x.y"),  # text without markup
    ],
)
def test_page_text_reads_back_as_written(html_in, options, expected, text):
    out = tidewell.convert_to_markdown(html_in, options)
    assert out == expected
    if text is not None:
        assert text in read_back(out)


@pytest.mark.parametrize(
    "html_in, options, expected",
    [
        # nothing a reader takes for markup: written as it stands
        ("<p>x &lt; y, a &lt;3, 1 &lt;= 2, a&lt; b</p>", {}, "x < y, a <3, 1 <= 2, a< b\n"),
        ("<p>&amp;nosuch; &amp;copy &amp;#; &amp;#12345678; a &amp; b</p>", {}, "&nosuch; &copy &#; &#12345678; a & b\n"),
        ("<p>a\\b \\ c</p>", {}, "a\\b \\ c\n"),
        ("<p>[1] x, see [1]: y, [ ]: z</p>", {}, "[1] x, see [1]: y, [ ]: z\n"),
        ("<p>a<br>[1]: y</p>", {}, "a  \n\\[1]: y\n"),  # every line start counts
        # markup the converter writes is not page text
        ("<p><mark>x</mark> <a href='http://x.y'>http://x.y</a></p>", {"highlight_style": "html"},
         "<mark>x</mark> <http://x.y>\n"),
        ("<p><code>&lt;div&gt; &amp;amp; a\\*</code></p>", {}, "`<div> &amp; a\\*`\n"),
        ("<pre>&lt;div&gt; &amp;amp;\n[1]: x</pre>", {}, "```\n<div> &amp;\n[1]: x\n```\n"),
        ("<span>&lt;b&gt; &amp;amp;</span>", {"preserve_tags": ["span"]}, "<span>&lt;b&gt; &amp;amp;</span>\n"),
        ("<p>&lt;div&gt; &amp;amp; a\\*b</p><p>[1]: x</p>", {"output_format": "plain"},
         "<div> &amp; a\\*b\n\n[1]: x\n"),
        # the escape options' backslash is the only one
        ("<p>&lt;div&gt; &amp;amp; a\\*b [1]: x</p>", {"escape_misc": True}, "\\<div\\> \\&amp; a\\\\\\*b \\[1\\]: x\n"),
        ("<p>[1]: x</p>", {"escape_misc": True}, "\\[1\\]: x\n"),
        ("<p>&lt;a&gt; &amp;amp; a\\*b</p>", {"escape_ascii": True}, "\\<a\\> \\&amp\\; a\\\\\\*b\n"),
        ("<table><tr><td>&lt;a&gt; a\\|b</td></tr></table>", {"escape_misc": True}, "| \\<a\\> a\\\\\\|b |\n| ------------ |\n"),
    ],
)
def test_escape_only_where_text_would_read_as_markup(html_in, options, expected):
    assert tidewell.convert_to_markdown(html_in, options) == expected


@pytest.mark.parametrize(
    "html_in, options, expected, rendered",
    [
        ("<blockquote>a<br>b</blockquote>", {}, "> a  \n> b\n", "<blockquote>\n<p>a<br />\nb</p>\n</blockquote>\n"),
        ("<blockquote><blockquote>a<br>b</blockquote></blockquote>", {}, "> > a  \n> > b\n",
         "<blockquote>\n<blockquote>\n<p>a<br />\nb</p>\n</blockquote>\n</blockquote>\n"),
        ("<blockquote>a<br>b</blockquote>", {"newline_style": "backslash"}, "> a\\\n> b\n",
         "<blockquote>\n<p>a<br />\nb</p>\n</blockquote>\n"),
        ("<blockquote>a   <br>b c  </blockquote>", {}, "> a  \n> b c\n", None),
    ],
)
def test_line_break_in_quotation_stays(html_in, options, expected, rendered):
    out = tidewell.convert_to_markdown(html_in, options)
    assert out == expected
    if rendered is not None:
        assert markdown_it().render(out) == rendered


ROADS = [
    {},
    {"tier_strategy": "tier2"},
    {"tier_strategy": "fast_dom"},
    {"code_block_style": "indented", "highlight_style": "none"},  # the tier-1 scanner's options
]
INLINE_TAGS = ("em", "strong", "code", "a", "img", "s", "del")


def read_back_gfm(markdown):
    """The rendered HTML (CommonMark with strikethrough) and the text it shows."""
    rendered = markdown_it().enable(["strikethrough", "table"]).render(markdown)
    return rendered, html.unescape(re.sub(r"<[^>]*>", "", rendered))


def tag_counts(text):
    return {tag: len(re.findall(rf"<{tag}[ >/]", text)) for tag in INLINE_TAGS}


@pytest.mark.parametrize("road", ROADS, ids=["auto", "tier2", "fast_dom", "tier1"])
@pytest.mark.parametrize(
    "html_in",
    [
        "<p>a *b* c, _x_, `code`, [a](b) and ~~s~~</p>",
        "<p>__init__ and **bold** and ***x*** a*b*c _y_z x_</p>",
        "<p>x <em>y</em>*z and <em>a</em>_b_</p>",  # next to the converter's markers
        "<p>a *<b>x</b>* c</p>",
        "<p>a\\*b\\_c and \\`x\\`</p>",  # page backslashes
        "<p>see [a]<span>(b)</span>, [x][y], ![i](s) and [a [b] c](d)</p>",
        "<p>[<b>a</b>](b)</p>",
        "<p>a ` b <b>x</b> ` c and ``d`` e</p>",
        "<p>~~<b>x</b>~~ and ~a~</p>",
        "<p>a <a href='u'>*b* [c](d) `e`</a> f</p>",  # link text
        "<p><img src='i.png' alt='*not em* _x_ ~~s~~'> <img src='j.png' alt='a [b](c) `d`'></p>",  # alt text
        "<ul><li>*a* b</li><li>x _y_</li></ul>",
        "<h2>*a* and `b`</h2>",
        "<table><tr><th>h</th></tr><tr><td>`a` ~~b~~ [c](d)</td></tr></table>",
        "a *b* c, `d`, [e](f) and ~~g~~",  # text without markup
        "<p>a long run of plain words, then ^ and \\ and { before *b*, `c` and [d](e)</p>",  # far into the text
    ],
)
def test_text_that_reads_as_inline_markup_stays_text(html_in, road):
    out = tidewell.convert_to_markdown(html_in, road)
    rendered, shown = read_back_gfm(out)
    source = html.unescape(re.sub(r"<[^>]*>", "", html_in))
    for alt in re.findall(r"alt='([^']*)'", html_in):
        assert f'alt="{html.escape(alt)}"' in rendered
    assert "".join(shown.split()) == "".join(source.split())
    # no emphasis, code, link, image or strikethrough the page did not have
    page = tag_counts(html_in.replace("<b>", "<strong>").replace("<i>", "<em>"))
    assert tag_counts(rendered) == page


@pytest.mark.parametrize("road", ROADS, ids=["auto", "tier2", "fast_dom", "tier1"])
@pytest.mark.parametrize(
    "html_in, expected",
    [
        ("<p>snake_case, 2 * 3, a_b_c and x - y</p>", "snake_case, 2 * 3, a_b_c and x - y"),
        ("<p>~5 min, ~10 min; don`t; [1] and [a] (b)</p>", "~5 min, ~10 min; don`t; [1] and [a] (b)"),
        ("<p>Name *</p>", "Name *"),
        ("Name *", "Name *"),  # text without markup
        ("<p>C# and <b>x</b> C#</p>", "C# and **x** C#"),
    ],
)
def test_text_that_cannot_read_as_inline_markup_stays_bare(html_in, expected, road):
    assert tidewell.convert_to_markdown(html_in, road).rstrip("\n") == expected


@pytest.mark.parametrize(
    "html_in, options, expected",
    [
        # the escape options keep their meanings: their backslash is the only one
        ("<p>*a* _b_ `c`</p>", {"escape_asterisks": True, "escape_underscores": True}, "\\*a\\* \\_b\\_ \\`c\\`"),
        ("<p>*a* `c` [d](e) ~~f~~</p>", {"escape_misc": True}, "\\*a\\* \\`c\\` \\[d\\](e) \\~\\~f\\~\\~"),
        ("<p>*a* `c`</p>", {"escape_ascii": True}, "\\*a\\* \\`c\\`"),
        # djot: '_' and '*' open unless white space follows, close unless it
        # precedes; a verbatim span needs no closing run; braces and '^'
        ("<p>snake_case a*b 2 * 3 `c` x^2^ {-d-} [^n]</p>", {"output_format": "djot"},
         "snake\\_case a\\*b 2 * 3 \\`c\\` x\\^2\\^ \\{-d-} \\[\\^n]"),
    ],
)
def test_inline_markup_escapes_by_options_and_format(html_in, options, expected):
    assert tidewell.convert_to_markdown(html_in, options).rstrip("\n") == expected


@pytest.mark.parametrize("road", ROADS + [{"heading_style": "atx_closed"}, {"heading_style": "underlined"}],
                         ids=["auto", "tier2", "fast_dom", "tier1", "closed", "underlined"])
@pytest.mark.parametrize(
    "html_in, text",
    [
        ("<h2>Issue #</h2>", "Issue #"),
        ("<h3>a ##</h3>", "a ##"),
        ("<h4>#</h4>", "#"),
        ("<h2>C#</h2>", "C#"),
        ("<h3>x # y</h3>", "x # y"),
    ],
)
def test_heading_text_ending_in_hashes_keeps_them(html_in, text, road):
    out = tidewell.convert_to_markdown(html_in, road)
    level = html_in[2]
    assert markdown_it().render(out).strip() == f"<h{level}>{text}</h{level}>"
    if "C#" in text or "# y" in text:
        assert "\\" not in out


# --- text beside the markup of other elements --------------------------------------

# (html, the text and the inline elements a reader sees)
ACROSS_ELEMENTS = [
    # '~' runs inside a strikethrough, and right beside its markers
    ("<p><s>w~~ z</s></p>", "<p><s>w~~ z</s></p>"),
    ("<p><del>~a</del> <s>b~</s> <strike>~</strike></p>", "<p><s>~a</s> <s>b~</s> <s>~</s></p>"),
    ("<p>~<s>gone</s> here</p>", "<p>~<s>gone</s> here</p>"),
    ("<p>~~<s>gone</s>~ here</p>", "<p>~~<s>gone</s>~ here</p>"),
    # a backtick right after a code span
    ("<p>Type <code>x</code>` after</p>", "<p>Type <code>x</code>` after</p>"),
    ("<p>`<code>x</code></p>", "<p>`<code>x</code></p>"),
    # code spans side by side are one span
    ("<p><code>a</code><code>b</code> <kbd>c</kbd><span><code>d</code></span></p>",
     "<p><code>ab</code> <code>cd</code></p>"),
    # also with an empty element between them, which writes nothing
    ("<p><code>a</code><b></b><code>b</code> <code>c</code><span></span><kbd>d</kbd></p>",
     "<p><code>ab</code> <code>cd</code></p>"),
    # spaces at both ends of code
    ("<p>x<code> a </code>y</p>", "<p>x<code> a </code>y</p>"),
    # brackets in a code span of a link's text
    ('<p><a href="u"><code>]</code> and <code>[</code></a></p>',
     '<p><a href="u"><code>]</code> and <code>[</code></a></p>'),
    # markers that cannot close before a letter: the text stays
    ("<p><s>.</s>b and <b><del>(</del></b>z</p>", "<p>.b and (z</p>"),
    # markers whose runs would meet: one pair in the other character
    ("<p><em>x</em><b>]</b> <em>`</em><b>a</b></p>",
     "<p><em>x</em><strong>]</strong> <em>`</em><strong>a</strong></p>"),
    # a '!' before a link's text
    ('<p><del>!</del><s><a href="u">b</a></s></p>', '<p><s>!<a href="u">b</a></s></p>'),
    # the text around a strikethrough inside a strikethrough
    ("<p><s>-<del>*</del></s></p>", "<p><s>-*</s></p>"),
    # white space of a code span in a link's text is the code's
    ('<p>x<a href="u"><code> ] </code></a></p>', '<p>x<a href="u"><code> ] </code></a></p>'),
    # markers inside other markers: pairs joined, written in the other
    # character or left out where the content inside them meets what stands
    # before
    ("<p><b><em>(</em>#<em>_</em></b></p>", "<p><strong><em>(</em>#<em>_</em></strong></p>"),
    ("<p><s><b>#</b></s><s><b>.</b></s></p>", "<p><s><strong>#.</strong></s></p>"),
    ("<p><del>a</del><b><del>.</del>&gt;</b>b</p>", "<p><s>a.</s>&gt;b</p>"),
    ("<p><em>1</em><s><em>a</em></s>a</p>", "<p><em>1a</em>a</p>"),
    ("<p>a<em>-<b>a</b></em><em>a</em></p>", "<p>a-<strong>a</strong><em>a</em></p>"),
    ("<p><del>*</del><b>~</b>a</p>", "<p><s>*</s>~a</p>"),
    ("<p>&lt;<b>a&gt;</b>a</p>", "<p>&lt;a&gt;a</p>"),
    ("<p><em><s>a</s><b><em>~</em></b></em>yz</p>", "<p><s>a</s>~yz</p>"),
    # a run of three joined from markers of two lengths, and a run inside
    # that can both open and close
    ("<p><b><em>a</em>a<em>a</em></b></p>", "<p><strong><em>a</em>a<em>a</em></strong></p>"),
    ("<p><b>]</b><em>]a<b>1</b></em></p>", "<p><strong>]</strong><em>]a<strong>1</strong></em></p>"),
    # code spans that meet through an element written without markers
    ("<p><code>a</code><b><code>&lt;</code></b>a</p>", "<p><code>a&lt;</code>a</p>"),
    # a backtick after a code span that ends with a backslash
    ("<p><code>\\</code>`</p>", "<p><code>\\</code>`</p>"),
    # brackets around a link's brackets: none of them makes a link, in this
    # text or with the text before
    ("<p>[[]() and [a [b](c)</p>", "<p>[[]() and [a [b](c)</p>"),
    ("<p><em>[<u>[]()</u></em></p>", "<p><em>[[]()</em></p>"),
    # a link that holds white space, then a link, keeps the words apart
    ('<p>#<a href="u0"> <a href="u2">x</a></a></p>', '<p># <a href="u2">x</a></p>'),
    # code spans that meet through an element writing its content in place
    ("<p><code>a</code><sup><code>b`c</code></sup><cite><code>d</code></cite><tt><kbd>e</kbd></tt></p>",
     "<p><code>ab`cde</code></p>"),
    ("<p><kbd>a</kbd><sup></sup><i><b><!-- --></b></i><code>b`</code><abbr><code>c</code></abbr></p>",
     "<p><code>ab`c</code></p>"),
    # code spans that meet where a link writes nothing (the link inside it
    # ends it at once) and its content stands in its place
    ('<p><code>a</code><a href="u"><code><a href="u">b</a></code></a></p>', "<p><code>ab</code></p>"),
    # a closing marker before a word in an element written in place
    ("<p><del>|</del><tt>b~~`</tt></p>", "<p>|b~~`</p>"),
    # digits and a '.' or ')' of another text that go on a number
    ("<p>1<span>1.</span> and</p>", "<p>11. and</p>"),
    ("<p>2<tt>1)</tt></p>", "<p>21)</p>"),
    # a ']' before a '(' of another element, with two '[' open before it
    ("<p>[[]<tt>()</tt></p>", "<p>[[]()</p>"),
    # what follows a strikethrough's opener left out where a line starts
    ("<p><del>&gt;</del><em><s>\u00e9\\</s></em>b</p>", "<p>&gt;\u00e9\\b</p>"),
]


@pytest.mark.parametrize("html_in, read", ACROSS_ELEMENTS)
def test_text_beside_other_elements_markup_reads_back(html_in, read):
    out = tidewell.convert_to_markdown(html_in)
    assert markdown_it().enable(["strikethrough"]).render(out).strip() == read


@pytest.mark.parametrize("road", [{"tier_strategy": "fast_dom"},
                                  {"code_block_style": "indented", "highlight_style": "none"},
                                  {"tier_strategy": "quillmoor"}],
                         ids=["fast_dom", "tier1", "quillmoor"])
@pytest.mark.parametrize("html_in", [html_in for html_in, _ in ACROSS_ELEMENTS] + [
    "<p><b>\\ </b> x</p>",  # a backslash before the closing marker
    "<p>!<a href='u'>x</a></p>",  # a '!' before a link
    "<p>&lt;<a href='u'>x</a></p>",  # a '<' before a link's text
    "<p>x<em>[</em> <b>(</b>x <em>b</em><b>]</b></p>",  # markers that cannot open or close
    "<p><b>z * </b> <em> * z</em></p>",  # an asterisk moved next to a marker
    "<p>b<a href='u'><b> a</b></a> <code>a</code><s><code>)</code></s></p>",  # at the start of an element's text
    "<p><em>.</em><code></code><em>*</em> <b><em>)</em></b><em>)</em></p>",  # beside elements that write nothing
    "<p><del>1</del>.</p>",  # a number marker completed by the next text
    "<p>1<b>)</b></p>",
    "<p><code>[a</code> ]<s>()</s></p>",  # a '[' inside code is no link's bracket
    "<p><b> <em>a</em></b><em>a</em></p>",  # the space moved out of the markers
    "<p>a<a href='u'><del><em> </em></del>a</a></p>",  # a link's first space, inside elements
    "<p><a href='u'><code>[</code>]</a></p>",  # a bracket in a code span of a link's text
    "<p><em><code>a</code></em><em><code>`</code></em></p>",  # code spans in a continued pair
    "<p><code>a</code><a href='u'><code>a</code><code>-</code></a></p>",  # code spans in a link's text
    "<p>([a<em><em>]</em>[</em></p>",  # a backslash before the markers of open elements
    "<p><b><code>``</code></b>a</p>",  # a code span where a line starts
    "<p>1<span>)</span></p>",  # a number marker completed by another element's text
    "<p>12<b>.</b> a</p>",
    "<p><em><del> (x</del></em><em>*</em>!yza</p>",  # a pair continued after the pair inside it closed
    "<p>.[b<em><code>_yzyz</code></em><code> .&lt;</code></p>",  # a code span opened after a pair taken out
    "<p><code>a </code><b><code>b</code></b>c</p>",
    "<p>!a<code> [</code><em><code># a </code></em>a</p>",  # spans whose spaces a reader would take off
    "<p><code>`x]b </code><em><code> !&lt;x</code></em>x</p>",
])
def test_text_beside_other_elements_markup_reads_back_on_the_fast_roads(html_in, road):
    # fast_dom writes no strikethrough, and tier-1 no strikethrough either:
    # the text must still read as the page's
    out = tidewell.convert_to_markdown(html_in, road)
    shown = markdown_it().enable(["strikethrough"]).render(out)
    assert _shown_text(shown) == _shown_text(html_in), out


@pytest.mark.parametrize("road", [{}, {"tier_strategy": "fast_dom"}, {"tier_strategy": "quillmoor"}],
                         ids=["dom", "fast_dom", "quillmoor"])
@pytest.mark.parametrize("html_in, code", [
    # a row of spans side by side is one span
    ("<p>" + "<code>a</code><code>b</code>" * 3000 + "</p>", "ab" * 3000),
    # a span after a long one: one span, or two apart, each with its text
    ("<p><code>" + "x" * 5000 + "</code><code>y</code></p>", "x" * 5000 + "y"),
    # backticks at the end of the span before, taken up by the next one
    ("<p><code>a`</code><code>k</code></p>", "a`k"),
    ("<p><code>a``</code><code>`k</code></p>", "a```k"),
    # a backslash before backticks in the span before: code, not an escape
    ("<p><code>\\``</code><code>[`x</code> <code>a\\`</code><code>b</code></p>", "\\``[`xa\\`b"),
])
def test_code_spans_side_by_side_read_back_as_code(html_in, code, road):
    _assert_reads_back_as_code(tidewell.convert_to_markdown(html_in, road), code)


def _assert_reads_back_as_code(out, code):
    rendered = markdown_it().enable("table").render(out)
    assert html.unescape("".join(re.findall(r"<code>(.*?)</code>", rendered))) == code, out
    assert "`" not in re.sub(r"<code>.*?</code>", "", rendered), out


# kbd and samp are code spans too on these roads (fast_dom writes their text);
# a span that takes up the one before it rewrites what was written already,
# also before the start of the elements around it
@pytest.mark.parametrize("road", [{}, {"tier_strategy": "quillmoor"}], ids=["dom", "quillmoor"])
@pytest.mark.parametrize("html_in, code", [
    ("<code>a`</code><kbd>k", "a`k"),
    ("<kbd>a`</kbd><samp>k</samp>", "a`k"),
    ("<samp>a``</samp><kbd>k</kbd>", "a``k"),
    ("<p>x <code>a`</code><samp>k</samp> y</p>", "a`k"),
    ("<p>&lt;<kbd>`</kbd><kbd>b&gt;</kbd></p>", "`b>"),
    ("<table><tr><td><code>a`</code><kbd>|k</kbd></td></tr></table>", "a`|k"),
    # the span taken up stands before an element written without markers
    ("<code>`</code><strong><samp>`</samp></strong>a", "``"),
    ("<code>`</code><strong><code>`</code></strong>a", "``"),
    ("<i><kbd>a`</kbd><i><kbd>&", "a`&"),
    ("<p><b><code>a`</code></b><b><kbd>`k</kbd></b></p>", "a``k"),
    ("<p><code>a`</code><span><kbd>k</kbd></span></p>", "a`k"),
    # the span before found only past many levels of elements written in
    # place, or past an element whose many children write nothing
    ("<p><code>a</code>" + "<span>" * 8 + "<code>b</code></p>", "ab"),
    ("<p>" + "<span>" * 8 + "<code>a</code>" + "</span>" * 8 + "<code>b</code></p>", "ab"),
    ("<p><code>a</code><b>" + "<i></i>" * 20 + "</b><code>b</code></p>", "ab"),
    ("<table><tr><td><code>a|</code>" + "<span>" * 8 + "<code>|b</code></td></tr></table>", "a||b"),
    # a code span after a backslash, the nodes before it too deep to tell
    # whether it is text: the spans stand apart
    ("<p><code>a\\</code>" + "<span>" * 9 + "<code>b</code></p>", "a\\b"),
    # the span in content converted apart (too large, or nested too deep, to
    # be converted again where it stands) and written after the span before
    ("<p><i><code>a</code><i><code>b`</code>" + "<span>c</span>" * 20 + "</i></i></p>", "ab`"),
    ("<i>a<i>a<em><samp>a</samp><i><kbd>`", "a`"),
    ("<p><code>a</code><ruby><code>b</code><rt>c</rt></ruby> <code>d</code><abbr title=t><code>e</code></abbr></p>",
     "abde"),
    ("<var><code>a</code><i><code><code>a<u>a<var>a<strong>a<s>a<samp><samp>a<tt><tt>a</sub>a<span><tt><var><var>`"
     "<span>a<strong>a</strong>a</a>a<b>a<b>a", "a" * 9 + "`" + "a" * 6),
    ("<var><kbd>a</kbd><i><code>a<strong><small>a<sup>a</sub>a<var>a<sup>a<b>a<u>a<span><var>a</var>a<i><sub>a</sub>a"
     "<tt><span>a</span>a<i>a<small><u>a", "a" * 17),
    ("<i><code>a</code><i><kbd>a<small>a<em>a<span>a<strong>a<strong><b><sup>a</sup>a<small><b>a</strike>a<strong>"
     "<strong>a<sup>a</sup>a<b>a<sub>a<span><kbd>a<strike>", "a" * 16),
])
def test_keyboard_span_after_a_code_span_reads_back_as_code(html_in, code, road):
    _assert_reads_back_as_code(tidewell.convert_to_markdown(html_in, road), code)


@pytest.mark.parametrize(
    "html_in, expected",
    [
        # in a table, text the README promises stays bare is bare, as in a paragraph
        ("<table><tr><th>h</th></tr><tr><td>apache_builds</td></tr></table>",
         "| h |\n| --- |\n| apache_builds |"),
        ("<table><tr><th>h</th></tr><tr><td><i>x</i> snake_case 2 * 3</td></tr></table>",
         "| h |\n| --- |\n| *x* snake_case 2 * 3 |"),
        ("<table><caption>Step 2-3</caption><tr><th>h</th></tr></table>", "*Step 2-3*\n\n| h |\n| --- |"),
    ],
)
def test_table_text_that_cannot_read_as_markup_stays_bare(html_in, expected):
    out = tidewell.convert_to_markdown(html_in, {"compact_tables": True})
    assert out.rstrip("\n") == expected


# --- random paragraphs of markup characters and inline elements ---------------------

MARKUP_CHARACTERS = "*_`~[]()!\\<>#-1."
INLINE_ELEMENTS = ["b", "em", "code", "a", "s", "del"]
# Every road that writes Markdown; tier-1 by its options (it gives up on most
# of these paragraphs, and the DOM road writes them).
READ_BACK_ROADS = {
    "tier2": {"tier_strategy": "tier2"},
    "fast_dom": {"tier_strategy": "fast_dom"},
    "tier1": {"code_block_style": "indented", "highlight_style": "none"},
    "quillmoor": {"tier_strategy": "quillmoor"},
}


def _random_text(rng):
    pieces = []
    for _ in range(rng.randrange(1, 6)):
        pick = rng.random()
        if pick < 0.45:
            pieces.append(rng.choice(MARKUP_CHARACTERS))
        elif pick < 0.8:
            pieces.append(rng.choice(["a", "b", "x", "yz"]))
        else:
            pieces.append(" ")
    return "".join(pieces)


def _random_paragraph(rng):
    """Text and inline elements side by side, each element holding text (a
    link's text shows a letter: a link without text shows its address)."""
    parts = []
    for _ in range(rng.randrange(1, 7)):
        if rng.random() < 0.5:
            parts.append(html.escape(_random_text(rng), quote=False))
            continue
        tag = rng.choice(INLINE_ELEMENTS)
        content = _random_text(rng)
        if tag == "a":
            parts.append(f'<a href="u">{html.escape(content + "a", quote=False)}</a>')
        else:
            parts.append(f"<{tag}>{html.escape(content, quote=False)}</{tag}>")
    return "<p>" + "".join(parts) + "</p>"


def _random_nested(rng, levels, in_link=False):
    """Text and inline elements side by side, as _random_paragraph, where b,
    em, s, del and a may hold such a run themselves, `levels` deep (no link
    in a link)."""
    parts = []
    for _ in range(rng.randrange(1, 4 if in_link or levels < 2 else 6)):
        if rng.random() < 0.5:
            parts.append(html.escape(_random_text(rng), quote=False))
            continue
        tag = rng.choice([t for t in INLINE_ELEMENTS if not (in_link and t == "a")])
        if tag != "code" and levels > 0 and rng.random() < 0.6:
            content = _random_nested(rng, levels - 1, in_link or tag == "a")
        else:
            content = html.escape(_random_text(rng), quote=False)
        if tag == "a":
            parts.append(f'<a href="u">{content}a</a>')
        else:
            parts.append(f"<{tag}>{content}</{tag}>")
    return "".join(parts)


def _shown_text(markup):
    return " ".join(html.unescape(re.sub(r"<[^>]*>", "", markup)).split())


# Nested: markers inside other markers, runs joined across elements, pairs
# left out or joined with the content inside them, code spans side by side
# through elements.
PARAGRAPH_SHAPES = {
    "flat": _random_paragraph,
    "nested": lambda rng: "<p>" + _random_nested(rng, 2) + "</p>",
}


@pytest.mark.parametrize("road", READ_BACK_ROADS.values(), ids=READ_BACK_ROADS.keys())
@pytest.mark.parametrize("shape", PARAGRAPH_SHAPES)
@pytest.mark.parametrize("seed", range(4))
def test_random_paragraphs_read_back_as_their_text(road, shape, seed):
    reader = markdown_it().enable(["strikethrough", "table"])
    rng = random.Random(seed)
    for _ in range(500):
        page = PARAGRAPH_SHAPES[shape](rng)
        out = tidewell.convert_to_markdown(page, road)
        assert _shown_text(reader.render(out)) == _shown_text(page), (page, out)
