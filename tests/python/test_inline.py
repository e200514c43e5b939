"""Inline content through convert: emphasis and the other inline formats,
spans and abbreviations, ruby annotations, code spans and elements preserved
as raw HTML; the white space at element edges, and very deep nesting."""
import re

import pytest

import tidewell


def md(html, **options):
    return tidewell.convert_to_markdown(html, options)


DJOT = {"output_format": "djot"}


# --- markers by element, format and option -----------------------------------


@pytest.mark.parametrize(
    "html, options, expected",
    [
        ("<strong>bold</strong>", {}, "**bold**"),
        ("<b>bold</b>", {"strong_em_symbol": "_"}, "__bold__"),
        ("<strong>bold</strong>", DJOT, "*bold*"),
        ("<em>it</em>", {}, "*it*"),
        ("<i>it</i>", {"strong_em_symbol": "_"}, "_it_"),
        ("<em>it</em>", DJOT, "_it_"),
        ("<s>gone</s>", {}, "~~gone~~"),
        ("<del>gone</del>", DJOT, "{-gone-}"),
        # strike is the older name of s
        ("<p><strike>$99</strike> $49</p>", {}, "~~$99~~ $49"),
        ("<p><strike>$99</strike> $49</p>", DJOT, "{-$99-} $49"),
        ("<p><strike>$99</strike> $49</p>", {"output_format": "plain"}, "$99 $49"),
        ("<ins>new</ins>", {}, "==new=="),
        ("<ins>new</ins>", DJOT, "{+new+}"),
        ("<var>x</var>", {}, "*x*"),
        ("<dfn>x</dfn>", DJOT, "*x*"),
        ("<kbd>Ctrl  +  C</kbd>", {}, "`Ctrl + C`"),
        ("<samp>a*b_c</samp>", {"escape_asterisks": True, "escape_underscores": True}, "`a*b_c`"),
        ("<sub>2</sub>", {}, "2"),
        ("<sub>2</sub>", {"sub_symbol": "<sub>"}, "<sub>2</sub>"),
        ("<sub>2</sub>", {"sub_symbol": "~"}, "~2~"),
        ("<sub>2</sub>", {"sub_symbol": "<sub>", "output_format": "djot"}, "~2~"),
        ("<sup>2</sup>", {"sup_symbol": "^"}, "^2^"),
        ("<sup>2</sup>", {"sup_symbol": "<sup>"}, "<sup>2</sup>"),
        ("<sup>2</sup>", DJOT, "^2^"),
        ("<mark>hi</mark>", {}, "==hi=="),
        ("<mark>hi</mark>", DJOT, "{=hi=}"),
        ("<mark>hi</mark>", {"highlight_style": "html"}, "<mark>hi</mark>"),
        ("<mark>hi</mark>", {"highlight_style": "bold"}, "**hi**"),
        ("<mark>hi</mark>", {"highlight_style": "none"}, "hi"),
        ("<mark>hi</mark>", {"highlight_style": "html", "output_format": "djot"}, "<mark>hi</mark>"),
        ("<u>under</u> <small>small</small>", {}, "under small"),
        ("<abbr title=' HyperText Markup Language '>HTML</abbr>", {}, "HTML (HyperText Markup Language)"),
        ("<abbr title='  '>HTML</abbr>", {}, "HTML"),
        ("<abbr title='Caf&eacute; &amp;\n\n*Co*'>C</abbr>", {}, "C (Café & \\*Co\\*)"),
        ("<abbr title='*Co*'>C</abbr>", {"escape_asterisks": True}, "C (\\*Co\\*)"),
        ("<abbr>HTML</abbr>", {}, "HTML"),
        ("<abbr title='t'> </abbr>", {}, ""),
    ],
)
def test_markers(html, options, expected):
    assert md(html, **options) == expected + ("\n" if expected else "")


@pytest.mark.parametrize(
    "html, options, expected",
    [
        # strong emphasis inside strong emphasis writes no second pair
        ("<strong>a<strong>b</strong><b>c</b></strong>", {}, "**abc**"),
        ("<p><b>Note: <strong>read this</strong> first</b></p>", {}, "**Note: read this first**"),
        ("<p><b>Note: <strong>read this</strong> first</b></p>", DJOT, "*Note: read this first*"),
        ("<mark>a <strong>b</strong> c</mark>", {"highlight_style": "bold"}, "**a b c**"),
        ("<b>a<em>b</em></b>", {}, "**a*b***"),
        ("<mark>a<strong>b</strong></mark>", {"highlight_style": "bold"}, "**ab**"),
        ("<mark><em>b</em></mark>", {"highlight_style": "bold"}, "***b***"),
        # a hard break at the end stands after the closing marker
        ("<p>x<strong>y<br></strong>z</p>", {}, "x**y**  \nz"),
        ("<p>x<strong>y<br></strong>z</p>", {"newline_style": "backslash"}, "x**y**\\\nz"),
        # inside a heading or in inline mode a mark writes its content only
        ("<h2>a <mark>x</mark></h2>", {}, "## a x"),
        ("<p><mark>x</mark></p>", {"convert_as_inline": True}, "x"),
    ],
)
def test_nesting_and_breaks(html, options, expected):
    assert md(html, **options) == expected + "\n"


@pytest.mark.parametrize(
    "html, options, expected",
    [
        ("<code>a<strong>b</strong><em>c</em><del>d</del><s>e</s></code>", {}, "`abcde`"),
        ("<code>a<kbd>b</kbd><samp>c</samp><ins>d</ins><var>e</var></code>", {}, "`abcde`"),
        ("<code>a<dfn>b</dfn><sub> c </sub><sup>d</sup><mark>e</mark></code>", {"sub_symbol": "~"}, "`ab c de`"),
        ("<code>a<mark>b</mark></code>", {"highlight_style": "html"}, "`ab`"),
        ("<code>a<mark>b</mark></code>", {"highlight_style": "bold"}, "`ab`"),
        ("<code>a<abbr title='t'>b</abbr></code>", {}, "`ab`"),
    ],
)
def test_formats_inside_code(html, options, expected):
    # code shows every marker as written: formatting inside it gives its
    # text only
    assert md(html, **options) == expected + "\n"


# --- empty content, and white space at the element's edges -------------------

WRAPPED = ["b", "strong", "i", "em", "s", "strike", "del", "ins", "mark", "kbd", "samp", "var", "dfn", "sub", "sup",
           "abbr", "code", "rb", "rp"]
PLAIN = ["u", "small", "span", "ruby", "rtc"]


@pytest.mark.parametrize("tag", WRAPPED + PLAIN)
@pytest.mark.parametrize("block", ["p", "div"])
@pytest.mark.parametrize("space", [" ", "\n", "\t ", "\u00a0\u00a0", "<br>"])
def test_words_stay_apart_at_element_edges(tag, block, space):
    def words(html):
        return re.findall(r"\w+", re.sub(r"[*_~=`^]", "", md(html)))

    assert words(f"<{block}>one<{tag}>{space}x</{tag}>two</{block}>") == ["one", "xtwo"]
    assert words(f"<{block}>one<{tag}>x{space}</{tag}>two</{block}>") == ["onex", "two"]


@pytest.mark.parametrize("tag", WRAPPED + PLAIN)
def test_blank_content_keeps_the_words_apart(tag):
    assert md(f"<p>one<{tag}> </{tag}>two</p>") == "one two\n"


@pytest.mark.parametrize(
    "html, expected",
    [
        ("<p>a<strong> bold </strong>c</p>", "a **bold** c"),
        # blank text after the element makes the separation itself
        ("<p>a<strong> bold </strong> <em>c</em></p>", "a **bold** *c*"),
        ("<p>a <strong> bold</strong></p>", "a **bold**"),
        ("<p>a<strong>\nbold\n</strong>c</p>", "a **bold** c"),
        # nested elements pass the white space on to the outermost one
        ("<p>a<b><i> x</i></b>b</p>", "a ***x***b"),
        ("<p>a<b><i>x </i></b>b</p>", "a***x*** b"),
        ("<p>a<b><i><br>x</i></b>b</p>", "a  \n***x***b"),
        # empty elements write nothing, not even an empty pair of markers
        ("<p>a<strong></strong>b<em></em>c<del></del>d<kbd></kbd>e<code></code>f<mark></mark>g</p>", "abcdefg"),
        ("<mark></mark>", ""),
        # line breaks at the edges stand outside the markers
        ("<p>a<strong> <br></strong>b</p>", "a  \nb"),
        ("<p>a<strong><br></strong>b</p>", "a  \nb"),
        ("<p>a<strong><br>b</strong>c</p>", "a  \n**b**c"),
        ("<p>a<em>b<br></em>c</p>", "a*b*  \nc"),
    ],
)
def test_outer_white_space(html, expected):
    assert md(html) == expected + ("\n" if expected else "")


def test_no_line_starts_with_the_white_space_of_an_element():
    for tag in WRAPPED:
        out = md(f"<div>line<br><{tag}>    x</{tag}></div>")
        assert all(not line.startswith(" ") for line in out.split("\n")), (tag, out)


@pytest.mark.parametrize(
    "html, options, expected",
    [
        # side by side, two pairs of the same markers would leave the middle
        # ones as text ("**a****b**"): they become one pair
        ("<p><strong>a</strong><strong>b</strong><b>c</b></p>", {}, "**abc**"),
        ("<p>(<i>Show</i><!-- c --><em>Hide</em>)</p>", {}, "(*ShowHide*)"),
        ("<p><em>a</em><var>b</var></p>", {}, "*ab*"),
        ("<p><span><u><em>a</em></u></span><em>.</em></p>", {}, "*a.*"),
        ("<p><b>[</b><span><b>x</b></span><b>]</b></p>", {}, "**[x]**"),
        ("<p><s>a</s><del>b</del><ins>c</ins><ins>d</ins></p>", {}, "~~ab~~==cd=="),
        ("<p><mark>a</mark><mark>b</mark></p>", {}, "==ab=="),
        ("<p><mark>a</mark><b>b</b></p>", {"highlight_style": "bold"}, "**ab**"),
        ("<p><sub>1</sub><sub>2</sub></p>", {"sub_symbol": "~"}, "~12~"),
        ("<p><em>a</em><em>b</em></p>", DJOT, "_ab_"),
        # different markers, markers that differ in closing form, and
        # elements apart stay as they are
        ("<p><em>a</em><strong>b</strong></p>", {}, "*a***b**"),
        ("<p><sub>1</sub><sub>2</sub></p>", {"sub_symbol": "<sub>"}, "<sub>1</sub><sub>2</sub>"),
        ("<p><em>a</em> <em>b</em></p>", {}, "*a* *b*"),
        ("<p><em>a</em><em> b</em></p>", {}, "*a* *b*"),
        ("<p><span>x*</span><em>a</em></p>", {}, "x\\**a*"),
        ("<p><span><em>a</em>*</span><em>b</em></p>", {}, "*a*\\**b*"),
        # two code spans side by side get a space, or their backticks would
        # run into one
        # code spans side by side are one: their backtick runs would merge
        ("<p><kbd>a</kbd><kbd>b</kbd><code>c</code></p>", {}, "`abc`"),
    ],
)
def test_elements_side_by_side(html, options, expected):
    assert md(html, **options) == expected + "\n"


@pytest.mark.parametrize(
    "html, expected, read",
    [
        # '_' cannot open or close inside a word: '*' stands there
        ("<p><i>Foo</i>bar and un<b>believ</b>able</p>", "*Foo*bar and un**believ**able",
         "<em>Foo</em>bar and un<strong>believ</strong>able"),
        ("<p>a <i>x</i> b <b>y</b>, <i>(z)</i>.</p>", "a _x_ b __y__, _(z)_.",
         "a <em>x</em> b <strong>y</strong>, <em>(z)</em>."),
        ("<p>x<i>a</i><i>b</i>y</p>", "x*ab*y", "x<em>ab</em>y"),
        ("<p>日本<i>x</i> <var>v</var>z</p>", "日本*x* *v*z", "日本<em>x</em> <em>v</em>z"),
        ("<p><b>a<i>b</i></b>c</p>", "**a*b***c", "<strong>a<em>b</em></strong>c"),
        ("<p>un<span><b>b</b></span>c</p>", "un**b**c", "un<strong>b</strong>c"),
    ],
)
def test_underscore_markers_inside_a_word(html, expected, read):
    out = md(html, strong_em_symbol="_")
    assert out == expected + "\n"
    markdown_it = pytest.importorskip("markdown_it")
    assert markdown_it.MarkdownIt("commonmark").render(out).strip() == f"<p>{read}</p>"


def test_emphasis_nested_in_emphasis_is_written_in_full():
    assert md("<p><em>a <strong>b</strong> c</em></p>") == "*a **b** c*\n"


# An element that is the whole content of one writing the same markers
# writes none of its own ("**x**" would read as strong emphasis, "~~~~" at a
# line start as a code fence); nested among other text it keeps them.
SAME_MARKERS = {
    "em in em": ("<p><em><em>x</em></em></p>", {}, "*x*"),
    "through white space and a span": ("<p><i> <span><em>x</em></span> </i></p>", {}, "*x*"),
    "through strong": ("<p><em><strong><em>x</em></strong></em></p>", {}, "***x***"),
    "strong in b": ("<p><b><strong>x</strong></b></p>", {}, "**x**"),
    "strike": ("<del><s>y</s></del> <strike><del>z</del></strike>", {}, "~~y~~ ~~z~~"),
    "highlight": ("<p><mark><mark>z</mark></mark> <ins><mark>w</mark></ins></p>", {}, "==z== ==w=="),
    "var in em": ("<p><em><var>v</var></em></p>", {}, "*v*"),
    "sup in sup": ("<p><sup><sup>2</sup></sup></p>", {"sup_symbol": "^"}, "^2^"),
    "underscore": ("<p><em><em>x</em></em></p>", {"strong_em_symbol": "_"}, "_x_"),
    "djot": ("<p><em><em>x</em></em> <del><s>y</s></del></p>", DJOT, "_x_ {-y-}"),
    "among other text": ("<p><em>a <em>b</em> c</em> <em><em>a</em> b</em> <em>(<em>a</em>)</em></p>", {},
                         "*a *b* c* **a* b* *(*a*)*"),
    # strong emphasis inside strong emphasis writes none anywhere: one pair
    # stands for both
    "strong among other text": ("<p><b>a <strong>b</strong> c</b> <b><b>a</b> b</b> <b>a <b>b</b></b></p>", {},
                                "**a b c** **a b** **a b**"),
    "strong, underscore": ("<p><b>a, <b>b</b>, c</b> <b><b>a</b> b</b></p>", {"strong_em_symbol": "_"},
                           "__a, b, c__ __a b__"),
    "strong, djot": ("<p><b>a <b>b</b> c</b> <b><b>a</b> b</b></p>", DJOT, "*a b c* *a b*"),
}


@pytest.mark.parametrize("html, options, expected", SAME_MARKERS.values(), ids=SAME_MARKERS.keys())
def test_markers_of_one_kind_do_not_double(html, options, expected):
    assert md(html, **options) == expected + "\n"


ROADS = {"dom": {}, "fast_dom": {"tier_strategy": "fast_dom"},
         "tier1": {"code_block_style": "indented", "highlight_style": "none"}}


@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
@pytest.mark.parametrize(
    "html, read",
    [
        ("<p><em><em>x</em></em></p>", "<p><em>x</em></p>"),
        ("<p><b>a <strong>b</strong></b></p>", "<p><strong>a b</strong></p>"),
        ("<p><em><strong><em>x</em></strong></em></p>", "<p><em><strong>x</strong></em></p>"),
        ("<p><em>a <em>b</em> c</em></p>", "<p><em>a <em>b</em> c</em></p>"),
        ("<p><em><em>a</em> b</em></p>", "<p><em><em>a</em> b</em></p>"),
        # strong emphasis inside strong emphasis: one pair stands for both
        ("<p><strong>foo, <strong>bar</strong>, baz</strong></p>", "<p><strong>foo, bar, baz</strong></p>"),
        ("<p><strong>foo <strong>bar</strong> baz</strong></p>", "<p><strong>foo bar baz</strong></p>"),
        ("<p><strong><strong>foo</strong> bar</strong></p>", "<p><strong>foo bar</strong></p>"),
        ("<p><strong>foo <strong>bar</strong></strong></p>", "<p><strong>foo bar</strong></p>"),
        ("<p><strong>foo <em>bar <strong>baz</strong>\nbim</em> bop</strong></p>",
         "<p><strong>foo <em>bar baz bim</em> bop</strong></p>"),
        ("<p><strong><strong>x</strong></strong></p>", "<p><strong>x</strong></p>"),
        ("<p><b>Note: <strong>read this</strong> first</b></p>", "<p><strong>Note: read this first</strong></p>"),
        ("<p><strong>a<strong>b</strong>c</strong></p>", "<p><strong>abc</strong></p>"),
        ("<p><strong>a <strong>b.</strong>, c</strong></p>", "<p><strong>a b., c</strong></p>"),
        ("<p>x<strong><strong>foo</strong> bar</strong></p>", "<p>x<strong>foo bar</strong></p>"),
        ("<p><strong>foo <strong>bar</strong></strong>baz</p>", "<p><strong>foo bar</strong>baz</p>"),
        ("<p><strong>a <strong>b</strong><em>c</em> d</strong></p>", "<p><strong>a b<em>c</em> d</strong></p>"),
        ("<p><strong>a <strong>b</strong>*c d</strong></p>", "<p><strong>a b*c d</strong></p>"),
        ("<p><strong>a <b> b</b>c</strong></p>", "<p><strong>a bc</strong></p>"),
        ("<p>,<b>!<b>foo</b></b> -</p>", "<p>,<strong>!foo</strong> -</p>"),
        ("<p>:<strong> <strong>a</strong>,</strong>:</p>", "<p>: <strong>a,</strong>:</p>"),
        ("<p><strong>a <strong>b<em>c</em>d</strong> e</strong></p>", "<p><strong>a b<em>c</em>d e</strong></p>"),
        ("<p><strong><strong>a</strong> b<em>c</em>d</strong></p>", "<p><strong>a b<em>c</em>d</strong></p>"),
        # emphasis inside emphasis follows the same rule
        ("<p><em>foo<em>bar</em></em></p>", "<p><em>foobar</em></p>"),
        ("<p>x<em>foo <em>bar</em></em>y</p>", "<p>x<em>foo bar</em>y</p>"),
        ("<p><em>(<em>foo</em>)</em></p>", "<p><em>(<em>foo</em>)</em></p>"),
        ("<p><em>foo <em>bar</em></em></p>", "<p><em>foo <em>bar</em></em></p>"),
    ],
)
def test_nested_emphasis_reads_back(html, read, road):
    markdown_it = pytest.importorskip("markdown_it")
    # A line feed of the source that a road keeps reads as a space.
    assert markdown_it.MarkdownIt("commonmark").render(md(html, **road)).strip().replace("\n", " ") == read


# --- formatting that the page shows, written so that it reads back ---------

UNDERSCORE = {"strong_em_symbol": "_"}
SHOWN_AS = {"b": "bold", "strong": "bold", "i": "italic", "em": "italic", "s": "strike", "del": "strike",
            "code": "code"}


def shown_formatting(page):
    """(character, formatting) for each character of `page` that is not
    white space, as a browser shows it (well nested elements)."""
    from html.parser import HTMLParser

    class Shown(HTMLParser):
        def __init__(self):
            super().__init__(convert_charrefs=True)
            self.open, self.chars = [], []

        def handle_starttag(self, tag, attrs):
            if tag not in ("br", "img", "hr"):
                self.open.append((tag, dict(attrs).get("href")))

        def handle_endtag(self, tag):
            while self.open and self.open.pop()[0] != tag:
                pass

        def handle_data(self, data):
            formatting = {SHOWN_AS[tag] for tag, _ in self.open if tag in SHOWN_AS}
            formatting |= {("link", href) for tag, href in self.open if tag == "a" and href}
            self.chars += [(c, frozenset(formatting)) for c in data if not c.isspace()]

    parser = Shown()
    parser.feed(page)
    return parser.chars


# (page, options, Markdown): emphasis that starts or ends with emphasis of the
# other kind beside a letter, nested and side by side, through wrappers and
# in headings, items, cells and links; emphasis of one kind in the same kind;
# '_' beside invisible characters; emphasis around a whole link, around code
# with white space at its edge, and beside other emphasis of punctuation; the
# other character for the outer one of two pairs whose markers end the output
# before a pair, for a pair inside at the content's edge, and for a pair
# before a sibling whose inner markers join its own run; a pair continued
# through an element of its kind inside one, which writes no markers; the
# other character for the pairs before whose runs meet in turn; the content
# of a strikethrough that continues one before planned for both joined and
# apart, and emphasis at its edge beside its closing marker.
FORMATTING_SHAPES = [
    ("<p><b><i>x</i>y</b></p>", {}, "***x*y**"),
    ("<p><b><i>x</i>y</b></p>", UNDERSCORE, "__*x*y__"),
    ("<p><i><b>x</b>y</i></p>", {}, "***x**y*"),
    ("<p><i><b>x</b>y</i></p>", UNDERSCORE, "_**x**y_"),
    ("<p><b><i>x</i>y <i>z</i></b></p>", {}, "***x*y *z***"),
    ("<p><b><i>x</i>y <i>z</i></b></p>", UNDERSCORE, "__*x*y _z___"),
    ("<p><i><i><b>x</b></i>y</i></p>", {}, "***x**y*"),
    ("<p><i><b>x</b></i><b>y</b></p>", {}, "***x*****y**"),
    ("<p><i><b>x</b></i><b>y</b></p>", UNDERSCORE, "___x___**y**"),
    ("<p>a<b>x</b><i><b>y</b></i>b</p>", {}, "a**x*****y***b"),
    ("<p><span><b><span><i>x</i></span>y</b></span></p>", {}, "***x*y**"),
    ("<p><u><i><b>x</b>y</i></u></p>", UNDERSCORE, "_**x**y_"),
    ("<h2><b><i>x</i>y</b></h2>", {}, "## ***x*y**"),
    ("<ul><li><i><b>x</b>y</i></li></ul>", UNDERSCORE, "- _**x**y_"),
    ("<table><tr><th>h</th></tr><tr><td><b><i>x</i>y</b></td></tr></table>", {},
     "| h        |\n| -------- |\n| ***x*y** |"),
    ('<p><a href="/u"><b><i>x</i>y</b></a></p>', {}, "[***x*y**](/u)"),
    ("<p>d<em>w <em>b</em> <i></i></em></p>", {}, "d*w b*"),
    ("<p>d<em>w <em>b</em> <i></i></em></p>", UNDERSCORE, "d*w b*"),
    ("<p><b>Note</b>&lrm; x</p>", UNDERSCORE, "**Note**\u200e x"),
    ("<p>a<b>Note</b>&#8203;b</p>", UNDERSCORE, "a**Note**\u200bb"),
    ("<p>a<i>x</i>&shy;b</p>", UNDERSCORE, "a*x*\u00adb"),
    ("<p>a<b><i>bc</i></b>d</p>", UNDERSCORE, "a***bc***d"),
    ("<p><i><b>a</b></i>a</p>", UNDERSCORE, "***a***a"),
    ("<p><s><s><i>a</i></s>a</s></p>", UNDERSCORE, "~~*a*a~~"),
    ("<p><b>* a</b>a</p>", UNDERSCORE, "**\\* a**a"),
    ('<p><b><a href="/u">x</a></b>y</p>', {}, "[**x**](/u)y"),
    ('<p>x<i><a href="/u">y</a></i></p>', UNDERSCORE, "x[_y_](/u)"),
    ('<p><s><a href="/u">x</a></s>y</p>', {}, "[~~x~~](/u)y"),
    ('<p>a<s><a href="/u">b</a>c</s></p>', {}, "a[~~b~~](/u)~~c~~"),
    ('<p>a<s><b><a href="/u">b</a></b></s></p>', {}, "a[~~**b**~~](/u)"),
    ("<p><i>a</i><b>.</b></p>", {}, "*a*__.__"),
    ("<p><i>a</i><b>.</b></p>", UNDERSCORE, "_a_**.**"),
    ("<p><b>?</b><i>a</i></p>", {}, "**?**_a_"),
    ("<p><i>a</i><b>\u00bf</b></p>", {}, "*a*__\u00bf__"),
    ("<p><i>a.</i><b>b</b>c</p>", {}, "_a._**b**c"),
    ("<p><i>a</i><b><s>a</s></b></p>", {}, "*a*__~~a~~__"),
    ("<p><b><code>a</code></b><i>a</i></p>", {}, "**`a`**_a_"),
    ("<p><i><code>a </code></i>a</p>", {}, "*`a`* a"),
    ("<p>a<b><code> a</code></b></p>", {}, "a **`a`**"),
    ("<p><s><i>?</i></s><s><b>a</b></s></p>", {}, "~~_?_**a**~~"),
    ("<p><s><i>~</i></s><s><b>a</b></s></p>", UNDERSCORE, "~~*\\~*__a__~~"),
    ("<p><b>a<i>a</i></b><i>a</i>a</p>", {}, "__a*a*__*a*a"),
    ("<p>a<i><b>a</b><code>a</code><b>\u2026</b></i></p>", {}, "a***a**`a`__\u2026__*"),
    ("<p><i>\u00bf</i><b>a<i>a</i></b>a</p>", {}, "_\u00bf_**a*a***a"),
    ("<p><i><s><b>a</b></s><i><s>a</s></i></i></p>", UNDERSCORE, "_~~**a**a~~_"),
    ("<p><i><i><s><b>a</b></s></i><s>a</s></i></p>", UNDERSCORE, "_~~**a**a~~_"),
    ("<p><b><s><i>a</i></s><b><s>a</s></b></b></p>", UNDERSCORE, "__~~*a*a~~__"),
    ("<p><i>:</i><b>a&gt;</b><i>a</i>a</p>", UNDERSCORE, "*:*__a>__*a*a"),
    ("<p><i><b>a</b></i><i>a</i><b>a&gt;</b><i>a</i>a</p>", UNDERSCORE, "***a**a*__a>__*a*a"),
    ("<p><em><strike>\u201d</strike><em><var>1</var></em></em></p>", {}, "*\u201d1*"),
    ("<p><strong>(</strong><del>a<em> \u201c <var>\u201d</var></em></del></p>", {}, "**(**~~a _\u201c *\u201d*_~~"),
    ("<p><s><i>;a</i></s><s><i>\u2026</i><b>a</b></s></p>", {}, "~~*;a\u2026*__a__~~"),
    ("<p><s>*</s><s><em>1 <var>\\ </var></em></s></p>", {}, "~~\\*_1 *\\\\*_~~"),
]


@pytest.mark.parametrize("html, options, expected", FORMATTING_SHAPES)
def test_formatting_reads_back_as_the_page_shows_it(html, options, expected):
    out = md(html, tier_strategy="tier2", **options)
    assert out == expected + "\n"
    pytest.importorskip("markdown_it")
    from formatting_readback import make_reader, read_formatting

    read = [(c, f) for c, f in read_formatting(out, make_reader()) if not c.isspace()]
    assert read == shown_formatting(html)


# (page, options, Markdown, as read): where no writing of two pairs reads,
# the one that keeps more of the page's formatting stays and the text reads
# as it stands.
@pytest.mark.parametrize(
    "html, options, expected, read",
    [
        ("<p>a<b>a <i>a</i></b><i>a</i>a</p>", {}, "a**a *a***aa", "<p>a<strong>a <em>a</em></strong>aa</p>"),
        ("<p>a<b>a <i>a</i></b><i>a</i>a</p>", UNDERSCORE, "aa _a_*a*a", "<p>aa <em>a</em><em>a</em>a</p>"),
        ("<p><del>a</del><b><del>.</del>&gt;</b>b</p>", UNDERSCORE, "~~a.~~>b", "<p><s>a.</s>&gt;b</p>"),
        ("<p>a<b>a</b><i>?a</i>a</p>", {}, "a**a**?aa", "<p>a<strong>a</strong>?aa</p>"),
    ],
)
def test_formatting_left_out_where_no_writing_reads(html, options, expected, read):
    out = md(html, tier_strategy="tier2", **options)
    assert out == expected + "\n"
    markdown_it = pytest.importorskip("markdown_it")
    assert markdown_it.MarkdownIt("commonmark").enable("strikethrough").render(out).strip() == read


# (page, Markdown): what stands beside markers told right through elements
# that write nothing or only their content, emphasis of a kind that var
# writes too, links inside links; and output read from further back where a
# pair or a code span started before the stretch first read; a pair written
# before an element converted again where it stands is not taken out from
# inside it; var written as the whole content of emphasis, which writes no
# markers; emphasis that ends a strikethrough beside its closing marker,
# white space at its end or not; a pair written apart (too deep or too big
# to convert again where it stands) that continues the one before, joined
# to it; a pair before left out with the pair its markers face; a pair read
# through many levels of elements. The text reads as the page's.
@pytest.mark.parametrize(
    "html, expected",
    [
        ("<p><em><b>~</b><i><var>a</var></i></em></p>", "*~a*"),
        ("<p><i><strong>&lt;</strong><em><var>a</var></em></i></p>", "*\\<a*"),
        ("<p><s>a</s><strike>1 <i>)<var>a#</var></i></strike></p>", "~~a1 _)*a#*_~~"),
        ("<p><strike>1 <i>)<var>a#</var></i></strike></p>", "~~1 _)*a#*_~~"),
        ("<p><s>a</s><strike>\u201c<var>a|<var>a| </var></var></strike></p>", "~~a\u201c_a|*a|*_~~"),
        ("<p><i><s></s><var>!<var>1</var></var></i></p>", "*_!*1*_*"),
        ("<p><s>~</s><i><s>a&gt;</s></i>a</p>", "\\~a>a"),
        ("<p>é<em><s>_2<del><strong>&amp;</strong></del></s></em></p>", "é_2&"),
        ("<p><var><b>`</b><i>x</i></var></p>", "*\\`x*"),
        ("<p><i>&gt;<var><a href=\"\"></a></var><kbd><code></code></kbd>é</i></p>", "*>[](<>)é*"),
        ("<p><var>&gt;</var><a href=\"\"><u>1<var>”<a href=\"\"></a></var></u></a></p>", "\\>1”[](<>)"),
        ("<p><strike>" + "a " * 50 + "]</strike><ub></ub><n><var>y~~ </var></n></p>",
         "~~" + "a " * 50 + "]~~*y~~*"),
        ("<p><kbd>`x y</kbd> " + "w " * 43 + "<code>s</code><em><kbd>`e</kbd></em></p>",
         "`` `x y `` " + "w " * 43 + "`s`*`` `e ``*"),
        ("<p>a <code>` " + "w " * 45 + "</code><em><kbd>`e</kbd></em></p>", "a `` ` " + "w " * 45 + " ``*`` `e ``*"),
        ("<p><var>a<i>a<em><b>a</b><i><b>1</b></i></em></i></var></p>", "*aa**a1***"),
        # an escaped backtick that ends the content is no code span's end,
        # when a code span's edge space goes outside the markers
        ("<p>1<em><code>&nbsp;a</code>a<samp>`</samp>``</em></p>", "1 *`a`a`` ` ``\\`\\`*"),
        # a code span ending with a backslash takes up one converted apart
        ("<p><i><code>\\</code><em><kbd>a</kbd>" + "<span>b</span>" * 40 + "</em></i></p>", "*`\\a`" + "b" * 40 + "*"),
        ("<p><em><strong>&amp;</strong><em><strong>a" + "<span>a</span>" * 20 + "</strong></em></em></p>",
         "***&" + "a" * 21 + "***"),
        ("<p><i>_</i><strike>a.</strike><b><strike>a&amp;</strike></b>a</p>", "\\_a.a&a"),
        ("<p><sup><strong><s><tt><em><span><u><var>\u201d</var><strike><var>a\u201d</var></strike></u></span>"
         "</em></tt></s></strong></sup></p>", "**~~_*\u201da\u201d*_~~**"),
        # read from where the pair before reopened after a link it was split at
        ("<p><i>" + "w " * 50 + "a</i>a<i><a href=\"u\">x</a>,a)</i><b>a</b></p>",
         "*" + "w " * 50 + "a*a[*x*](u)*,a)*__a__"),
        # emphasis two or three deep in emphasis of its kind: the closing
        # markers of a pair inside and the one around it take different
        # characters, or the pair inside is left out where no writing keeps
        # it; a run of both would turn on what follows it
        ("<p><b>a</b><b>.<var>a<var> ]<var>—</var></var></var></b></p>", "**a._a ]*—*_**"),
        ("<p>4<em>a&amp;</em><b><i>1)<var>a\\</var></i></b></p>", "4*a&***_1)*a\\\\*_**"),
        ("<p><del>2</del><strike><a href=\"u2\">2</a><var>a—<var>a<a href=\"u0\"></a></var></var></strike></p>",
         "~~2[2](u2)_a—*a[](u0)*_~~"),
        ("<p><i>.</i><em>a<strike>|<var>a</var><var><code>a</code><var>.</var></var></strike></em></p>",
         "*.*_a|*a*`a`*.*_"),
        ("<p><var>[</var><s><i>1</i><em>*<var>a<a href=\"u2\"></a></var></em></s></p>", "*[*~~*1*_\\**a[](u2)*_~~"),
    ],
)
def test_text_beside_markers_reads_as_the_page(html, expected):
    out = md(html, tier_strategy="tier2")
    assert out == expected + "\n"
    markdown_it = pytest.importorskip("markdown_it")
    from html import unescape

    def text(markup):
        return " ".join(unescape(re.sub(r"<[^>]*>", "", markup)).split())

    assert text(markdown_it.MarkdownIt("commonmark").enable("strikethrough").render(out)) == text(html)


# Pairs joined into one across many elements, and rows of pairs without a
# space, stand longer than the stretch of output read with new markers; the
# pairs in them still read.
@pytest.mark.parametrize("unit", [
    "<b>a<i>b</i></b>", "<i>a<b>b</b></i>", "<s>a<b>b</b></s>", "<b>ab</b><b><i>c</i></b>",
    "<s>a</s><s><b>b</b></s>", "<i>a</i><i><s>b</s></i>", "<b>a <i>b c</i></b>", "<s>x <b>y z</b></s>",
    "<i>a</i><b>.</b>", "<i>a.</i><b>b</b>", "<s>a</s><b><s>a</s></b>",
])
@pytest.mark.parametrize("options", [{}, UNDERSCORE], ids=["star", "underscore"])
def test_long_joined_pairs_read_back(unit, options):
    pytest.importorskip("markdown_it")
    from formatting_readback import make_reader, read_formatting

    page = "<p>" + unit * 60 + "</p>"
    out = md(page, tier_strategy="tier2", **options)
    read = [(c, f) for c, f in read_formatting(out, make_reader()) if not c.isspace()]
    assert read == shown_formatting(page)


def test_misnested_emphasis_keeps_both():
    # the page's tree holds y in the b, after the i
    out = md("<p><b><i>x</b></i>y</p>")
    assert out == "***x*y**\n"
    markdown_it = pytest.importorskip("markdown_it")
    assert markdown_it.MarkdownIt("commonmark").render(out).strip() == "<p><strong><em>x</em>y</strong></p>"


@pytest.mark.parametrize(
    "html, read",
    [
        # the link's brackets stand beside the inner markers (the DOM road)
        ('<p><em>foo <a href="/u"><em>bar</em></a></em></p>', '<p><em>foo <a href="/u"><em>bar</em></a></em></p>'),
        # strong emphasis inside strong emphasis writes none
        ('<p><strong>foo <a href="/u"><strong>bar</strong></a></strong></p>',
         '<p><strong>foo <a href="/u">bar</a></strong></p>'),
    ],
)
def test_nested_emphasis_beside_link_brackets_reads_back(html, read):
    markdown_it = pytest.importorskip("markdown_it")
    assert markdown_it.MarkdownIt("commonmark").render(md(html)).strip() == read


@pytest.mark.parametrize("road", [{}, {"tier_strategy": "quillmoor"}], ids=["dom", "quillmoor"])
def test_strike_reads_back_as_strike(road):
    markdown_it = pytest.importorskip("markdown_it")
    rendered = markdown_it.MarkdownIt("commonmark").enable("strikethrough").render(
        md("<p><strike>$99</strike> $49</p>", **road))
    assert rendered.strip() == "<p><s>$99</s> $49</p>"


def test_nested_strike_reads_back_as_strike():
    markdown_it = pytest.importorskip("markdown_it")
    rendered = markdown_it.MarkdownIt("gfm-like", {"linkify": False}).render(md("<del><s>gone</s></del>"))
    assert rendered.strip() == "<p><s>gone</s></p>"


# --- caret icons ---------------------------------------------------------------


@pytest.mark.parametrize(
    "html, expected",
    [
        ("<p>Home<i class='icon caret'></i>Page</p>", "Home > Page"),
        ("<p>Home <i class='caret'></i>Page</p>", "Home Page"),
        ("<p>Home<em class='caret'>x</em>Page</p>", "Home*x*Page"),
        ("<p>Home<i class='icon'></i>Page</p>", "HomePage"),
        # at the start of a line the ">" would open a quotation
        ("<p><i class='caret'></i>Page</p>", "\\> Page"),
    ],
)
def test_caret(html, expected):
    assert md(html) == expected + "\n"


# --- span ----------------------------------------------------------------------


@pytest.mark.parametrize(
    "html, expected",
    [
        ("<p>word <span class='ocrx_word'>next</span></p>", "word next"),
        ("<p>word<span class='ocrx_word'>next</span></p>", "word next"),
        ("<p>word<span class='x'>next</span></p>", "wordnext"),
        # a line feed before a span: the line's words stay apart
        ("<div>word\n<span class='ocrx_word'>next</span></div>", "word next"),
        ("<div>a\n<span>b</span></div>", "a b"),
        ("<p>a\n<span>b</span></p>", "a b"),
        # a hard break, a rule or a heading keeps its line feed
        ("a<br><span>b</span>", "a  \nb"),
        ("<hr><span>x</span>", "---\nx"),
        ("<p>t</p><hr><span>x</span>", "t\n\n---\nx"),
    ],
)
def test_span(html, expected):
    assert md(html) == expected + "\n"


def test_span_keeps_line_feeds_in_strict_mode():
    assert md("<div>a\n<span>b</span></div>", whitespace_mode="strict") == "a\nb\n"


def test_span_does_not_count_towards_max_depth():
    html = "<div><span><span><span><em>deep</em></span></span></span></div>"
    assert md(html, max_depth=3) == "*deep*\n"
    assert md("<div><b><b><b><em>deep</em></b></b></b></div>", max_depth=3) == ""


# --- ruby ----------------------------------------------------------------------


@pytest.mark.parametrize(
    "html, expected",
    [
        ("<ruby>ab<rt>x</rt></ruby>", "ab(x)"),
        ("<ruby><rb>a</rb><rt>x</rt><rb>b</rb><rt>y</rt></ruby>", "a(x)b(y)"),
        ("<ruby>a<rt>x</rt>b<rt>y</rt></ruby>", "ab(x)(y)"),
        ("<ruby>ab<rp>(</rp><rt>x</rt><rp>)</rp></ruby>", "ab(x)"),
        ("<ruby><rb>a</rb><rp>(</rp><rt>x</rt><rp>)</rp></ruby>", "a(x)"),
        ("<ruby><rb>a</rb><span>s</span><rt>x</rt></ruby>", "as(x)"),
        ("<ruby>ab<rt>x</rt><rt>y</rt><rtc><rt>z</rt></rtc></ruby>", "ab((x)(y))(z)"),
        ("<ruby>ab<rt>x</rt><rtc><rt>z</rt></rtc></ruby>", "ab(x)(z)"),
        ("<ruby><rb>a</rb><rt>x</rt><rb>b</rb><rtc><rt>z</rt></rtc></ruby>", "ab(x)(z)"),
        ("<ruby>a<rt></rt></ruby>", "a()"),
        ("<ruby><!-- c --><rb>a</rb><rt>x</rt></ruby>", "a(x)"),
        ("<p>foo (<rt>bar</rt>)</p>", "foo (bar)"),
        ("<p>word<rt> gloss </rt>next</p>", "word (gloss) next"),
        ("<ruby>\n  <rb>a</rb>\n  <rt>x</rt>\n</ruby>", "a(x)"),
        ("<ruby>a b<rt>x</rt></ruby>", "a b(x)"),
        ("<p>漢<ruby>字<rt>じ</rt></ruby>です</p>", "漢字(じ)です"),
        ("<p>x<ruby> a<rt>n</rt> </ruby>y</p>", "x a(n) y"),
        ("<p>a<rb> b </rb>c</p>", "a b c"),
    ],
)
def test_ruby(html, expected):
    assert md(html) == expected + "\n"


# --- code spans ----------------------------------------------------------------


@pytest.mark.parametrize(
    "html, expected",
    [
        ("<code>x</code>", "`x`"),
        ("<code>a`b</code>", "``a`b``"),
        ("<code>`a</code>", "`` `a ``"),
        ("<code>a``b</code>", "`a``b`"),
        # runs of one and two backticks: three, since both other lengths occur
        ("<code>a`b``c</code>", "```a`b``c```"),
        ("<code>a``b```c</code>", "`a``b```c`"),
        # a reader takes one space off each end
        ("<code> a </code>", "`  a  `"),
        ("<code> `a` </code>", "``  `a`  ``"),
        ("<code>*a_b*</code>", "`*a_b*`"),
        ("<code>&lt;div&gt; &amp;</code>", "`<div> &`"),
        ("<code>a<code>b</code></code>", "`ab`"),
        ("<kbd>a`b</kbd>", "``a`b``"),
        ("<p>x<code>  </code>y</p>", "x y"),
    ],
)
def test_code_span(html, expected):
    assert md(html, escape_asterisks=True, escape_underscores=True, escape_misc=True) == expected + "\n"


def test_empty_code_writes_nothing():
    assert md("<code></code>") == ""
    assert md("<code> \n </code>") == ""


def test_code_span_stays_in_its_paragraph():
    # a line break inside the span would end it, and its next line would be
    # read as a heading
    assert md("<p>see <code>line1\n\n# line2</code> here</p>") == "see `line1  # line2` here\n"


# --- preserved elements --------------------------------------------------------


@pytest.mark.parametrize(
    "html, tags, expected",
    [
        ("<mark>a <b>b</b></mark>", ["mark"], "<mark>a <b>b</b></mark>"),
        ("<mark class='hl'>x</mark>", ["mark"], '<mark class="hl">x</mark>'),
        ("<MARK>x</MARK>", ["mark"], "<mark>x</mark>"),
        ("<MARK>x</MARK>", ["MARK"], "==x=="),
        ("<span class=c id=i title=t>x</span>", ["span"], '<span title="t" id="i" class="c">x</span>'),
        ("<span DATA-X='1'>x</span>", ["span"], '<span DATA-X="1">x</span>'),
        ("<span title='say \"hi\"'>x</span>", ["span"], '<span title="say &quot;hi&quot;">x</span>'),
        ("<span itemscope>x</span>", ["span"], "<span itemscope>x</span>"),
        ("<span>&amp; &lt;<!-- c --></span>", ["span"], "<span>&amp; &lt;</span>"),
        ("<p>a<br>b<img src=i.png></p>", ["p"], '<p>a<br>b<img src="i.png"></p>'),
        ("<span></span>", ["span"], "<span></span>"),
        ("<div>a<div>b", ["div"], "<div>a<div>b</div></div>"),
        ("<p>x<mark>m</mark>y</p>", ["mark"], "x<mark>m</mark>y"),
    ],
)
def test_preserved(html, tags, expected):
    assert md(html, preserve_tags=tags) == expected + "\n"


def test_preserved_subtree_ignores_the_depth_limit():
    html = "<section><div><div><div><b>deep</b></div></div></div></section>"
    assert md(html, preserve_tags=["section"], max_depth=2) == (
        "<section><div><div><div><b>deep</b></div></div></div></section>\n")


def test_preserved_very_deep_subtree():
    depth = 100_000
    out = md("<div>" + "<b>" * depth + "x" + "</b>" * depth + "</div>", preserve_tags=["div"])
    assert out == "<div>" + "<b>" * depth + "x" + "</b>" * depth + "</div>\n"


# --- very deep nesting ---------------------------------------------------------


@pytest.mark.parametrize("tag", ["em", "span", "ruby", "rtc", "kbd", "code", "abbr", "mark"])
def test_very_deep_nesting(tag):
    depth = 100_000
    out = md("<p>" + f"<{tag}>w " * depth + "end" + f"</{tag}>" * depth + "</p>")
    text = out.replace("*", "").replace("_", "").replace("`", "").replace("=", "")
    assert text.split() == ["w"] * depth + ["end"]
