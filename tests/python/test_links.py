"""Links, reference numbering, images, graphics and embedded media through
`convert`: the Markdown they write, the link and image records, and that a
CommonMark reader gets back the same text and address."""
import base64
import html
import html.parser
import re
from urllib.parse import unquote, urljoin, urlsplit

import pytest

import tidewell


def md(html_text, **options):
    return tidewell.convert_to_markdown(html_text, options)


def metadata(html_text, **options):
    return tidewell.convert(html_text, options)["metadata"]


# --- links --------------------------------------------------------------------


@pytest.mark.parametrize(
    "html_text, expected",
    [
        ("<a>text</a>", "text\n"),
        ("<a href>text</a>", "text\n"),
        ('<a name="top"></a><p>x</p>', "x\n"),
        ('<p>see <a href="/x">the page</a> now</p>', "see [the page](/x) now\n"),
        ('<a href="/x"></a>', "[](/x)\n"),
        ('<p>a <a href="/x"> </a> b</p>', "a [/x](/x) b\n"),
        ('<a href="#fn1">^</a>', "[\u2191](#fn1)\n"),
        ('<a href="/x">^</a>', "[^](/x)\n"),
        ('<a href="/a">/a</a>', "[/a](/a)\n"),
        ('<a href="/x">one<div>two</div>three</a>', "[one two three](/x)\n"),
        ('<a href="/x">a<br>b</a>', "[a b](/x)\n"),
        ('<a href="/x">line\n  two</a>', "[line two](/x)\n"),
        ('<a href="/x">a]b</a>', "[a\\]b](/x)\n"),
        ('<a href="/x">[x] and ![y](z)</a>', "[[x] and !\\[y\\](z)](/x)\n"),
        ('<a href="/a?b=1&amp;c=2">q</a>', "[q](/a?b=1&c=2)\n"),
        ('<a href="/x" title="T &amp; U">t</a>', '[t](/x "T & U")\n'),
        ('<a href="/x" title="&amp;lt;">t</a>', '[t](/x "&amp;lt;")\n'),
        ('<a href="/x" title=\'say "hi"\'>t</a>', '[t](/x "say \\"hi\\"")\n'),
        ('<a href="/x" title="">t</a>', '[t](/x "")\n'),
        ('<p><a href="/x"><img src="logo.png" alt="Logo"></a></p>', "[![Logo](logo.png)](/x)\n"),
        # A label made of the href or the plain text is plain text.
        ('<p>a<a href="/a`b\\*c"> </a>and `x`</p>', "a [/a\\`b\\\\\\*c](/a`b\\\\*c) and \\`x\\`\n"),
        ('<p>a<a href="/x">  <span> </span>  </a>b</p>', "a [/x](/x) b\n"),
        # A '!' before the link would make it an image.
        ('<p>Wow!<a href="/x">x</a> hey!<iframe src="/e"></iframe></p>', "Wow\\![x](/x) hey\\![/e](/e)\n"),
        ('<p>Wow!<a href="http://a.b">http://a.b</a></p>', "Wow!<http://a.b>\n"),
    ],
    ids=lambda v: v if isinstance(v, str) and v.startswith("<") else None,
)
def test_links(html_text, expected):
    assert md(html_text) == expected


@pytest.mark.parametrize(
    "html_text, options, expected",
    [
        ('<a href="news:x">news:x</a>', {}, "<news:x>\n"),
        ('<a href="https://a.org/p?q=1">https://a.org/p?q=1</a>', {}, "<https://a.org/p?q=1>\n"),
        ('<a href="mailto:ann@x.org">ann@x.org</a>', {}, "<ann@x.org>\n"),
        ('<a href="mailto:ann@x.org">mailto:ann@x.org</a>', {}, "<mailto:ann@x.org>\n"),
        ('<a href="news:x">news:x</a>', {"autolinks": False}, "[news:x](news:x)\n"),
        ('<a href="news:x">news:x</a>', {"default_title": True}, '[news:x](news:x "news:x")\n'),
        ('<a href="/x">/x</a>', {"default_title": True}, '[/x](/x "/x")\n'),
        ('<a href="/x">y</a>', {"default_title": True}, "[y](/x)\n"),
        # Not an automatic link: the text differs, or the target is relative.
        ('<a href="http://a.org/">a.org</a>', {}, "[a.org](http://a.org/)\n"),
        ('<a href="/a:b">/a:b</a>', {}, "[/a:b](/a:b)\n"),
    ],
)
def test_automatic_links_and_default_titles(html_text, options, expected):
    assert md(html_text, **options) == expected


# The "<...>" form only where CommonMark reads it as an automatic link: the
# bare name would be read as an HTML tag, one-letter schemes and targets with
# spaces or angle brackets are no autolinks at all.
@pytest.mark.parametrize(
    "html_text, expected",
    [
        ('<a href="mailto:ann">ann</a>', "[ann](mailto:ann)\n"),
        ('<a href="mailto:a b@x.org">a b@x.org</a>', "[a b@x.org](<mailto:a b@x.org>)\n"),
        ('<a href="mailto:ann@x_y">ann@x_y</a>', "[ann@x\\_y](mailto:ann@x_y)\n"),
        ('<a href="x:y">x:y</a>', "[x:y](x:y)\n"),
        ('<a href="http://a b">http://a b</a>', "[http://a b](<http://a b>)\n"),
        ('<a href="http://a&lt;b">http://a&lt;b</a>', "[http://a\\<b](http://a<b)\n"),
    ],
)
def test_automatic_link_only_for_valid_targets(html_text, expected):
    assert md(html_text, escape_underscores=True) == expected


def test_heading_inside_a_link():
    assert md('<a href="/x"><h2>Title</h2></a>') == "## [Title](/x)\n"
    assert md('<p>before</p><a href="/x">\n <h3>T</h3>\n</a>') == "before\n\n### [T](/x)\n"
    # A blank heading: an ordinary link.
    assert md('<a href="/x"><h2>  </h2></a>') == "[/x](/x)\n"
    # Anything beside the heading: block content on one line.
    assert md('<a href="/x"><h2>T</h2><p>more</p></a>') == "[T more](/x)\n"


@pytest.mark.parametrize(
    "html_text, expected",
    [
        ('<p>see<a href="/x"> link </a>and</p>', "see [link](/x) and\n"),
        ('<p>a<a href="/x">\nb\n</a>c</p>', "a [b](/x) c\n"),
        ('<p>a <a href="/x">b</a> c</p>', "a [b](/x) c\n"),
        ('<p>a<a href="/x">b </a> c</p>', "a[b](/x) c\n"),
        ('<p>a<a href="/x">b </a>&nbsp;c</p>', "a[b](/x) c\n"),
        ('<p>x<a href="http://a.b"> http://a.b </a>y</p>', "x <http://a.b> y\n"),
        ('<p>a<a href="/x"> <img src="i.png" alt="I"> </a>b</p>', "a [![I](i.png)](/x) b\n"),
    ],
)
def test_no_words_run_together_at_link_boundaries(html_text, expected):
    assert md(html_text) == expected


# A link holding a link is cut where the inner one starts (as an HTML5
# parser does); both stay links.
@pytest.mark.parametrize(
    "html_text, expected",
    [
        ('<p><a href="/1">X <a href="/2">Y</a> Z</a> w</p>', "[X](/1) [Y](/2) Z w\n"),
        ('<p><a href="/1"><span><a href="/2">x</a></span></a></p>', "[x](/2)\n"),
        ('<a href="/1"><h2><a href="/2">x</a></h2></a>', "## [x](/2)\n"),
    ],
)
def test_link_inside_a_link(html_text, expected):
    assert md(html_text) == expected


@pytest.mark.parametrize(
    "html_text, options, expected",
    [
        # inside code the brackets would show: a link gives its text, as formatting does
        ('<p><code>see <a href="/x">Foo</a> <b>b</b></code></p>', {}, "`see Foo b`"),
        ('<p><code><a href="/x">Foo</a></code></p>', {"tier_strategy": "fast_dom"}, "`Foo`"),
        ('<p><kbd><a href="/x">Ctrl</a></kbd></p>', {}, "`Ctrl`"),
        ('<pre><code><a href="/x">Foo</a>()</code></pre>', {}, "```\nFoo()\n```"),
        # an image in a block inside a link keeps its place, as without the block
        ('<a href="/h"><div><img src="l.png" alt="Logo"></div></a>', {}, "[![Logo](l.png)](/h)"),
        ('<a href="/h"><div><p>Card <img src="l.png" alt="Logo"></p></div></a>', {}, "[Card ![Logo](l.png)](/h)"),
        ('<table><tr><td><a href="/h"><div><img src="l.png" alt="L"></div></a></td></tr></table>', {},
         "| [![L](l.png)](/h) |\n| ----------------- |"),
        # where images are their alt text, they stay so
        ('<h2><a href="/h"><div><img src="l.png" alt="Logo"></div></a></h2>', {}, "## [Logo](/h)"),
        ('<a href="/h"><div><img src="l.png" alt="Logo"></div></a>', {"convert_as_inline": True}, "[Logo](/h)"),
    ],
)
def test_links_in_code_and_images_in_linked_blocks(html_text, options, expected):
    assert md(html_text, **options).rstrip("\n") == expected


def test_link_in_code_reads_back_as_code_and_keeps_its_record():
    html_text = ('<p>Call <code><a href="/api/run">run</a>(x)</code> or '
                 '<a href="/h"><div><img src="l.png" alt="Logo"></div></a></p>')
    rendered = markdown_it().render(md(html_text))
    assert rendered.strip() == '<p>Call <code>run(x)</code> or <a href="/h"><img src="l.png" alt="Logo" /></a></p>'
    links = metadata(html_text)["links"]
    assert [(l["href"], l["text"]) for l in links] == [("/api/run", "run"), ("/h", "![Logo](l.png)")]


def test_link_records():
    links = metadata(
        '<a href="/a?b=1&amp;c=2" title="x &amp; y" rel="nofollow  me" class="c" data-x>Go <b>there</b></a>'
        '<a href="#top">^</a><a href="mailto:a@b.org">mail</a><a href="tel:1">t</a>'
        '<a href="https://e.org/">e</a><a href="../up">u</a><a href="x.html"></a>'
        '<a href="news:x">news:x</a><a href="/h"><h2>H</h2></a><a>no href</a>'
    )["links"]
    assert links[0] == {
        "href": "/a?b=1&c=2",
        "text": "Go **there**",
        "title": "x & y",
        "link_type": "internal",
        "rel": ["nofollow", "me"],
        "attributes": {"class": "c", "data-x": "", "rel": "nofollow  me", "title": "x & y"},
    }
    # The label after the fallbacks; automatic and heading links, and anchors
    # without href, are not recorded.
    assert [(l["href"], l["text"], l["link_type"]) for l in links[1:]] == [
        ("#top", "\u2191", "anchor"),
        ("mailto:a@b.org", "mail", "email"),
        ("tel:1", "t", "phone"),
        ("https://e.org/", "e", "external"),
        ("../up", "u", "internal"),
        ("x.html", "", "other"),
    ]
    assert metadata('<a href="/x">x</a>', extract_metadata=False)["links"] == []


# --- destinations ---------------------------------------------------------------


@pytest.mark.parametrize(
    "href, expected",
    [
        ("/a b", "</a b>"),
        ("/a(b", "/a\\(b"),
        ("/a(b)", "/a(b)"),
        ("/a)(b", "/a\\)\\(b"),
        ("", "<>"),
        ("  /trimmed\t", "/trimmed"),
        ("/line\nbreak", "/linebreak"),
        ("<x>", "<\\<x\\>>"),
        ("/a b<c>", "</a b\\<c\\>>"),
        ("/back\\slash\\", "/back\\slash\\\\"),
        ("/p?q=1&r=2#f", "/p?q=1&r=2#f"),
        # A decoded "&lt;" must not be decoded again by the Markdown reader.
        ("/x&lt;y", "/x&amp;lt;y"),
    ],
)
def test_destinations(href, expected):
    assert md(f'<a href="{html.escape(href)}">t</a>') == f"[t]({expected})\n".replace("(\n", "(")


@pytest.mark.parametrize(
    "href, expected",
    [
        ("/a b?c=1&d=2#f", "/a%20b?c=1&d=2#f"),
        ("https://ex.org/p:q/r;s=t?u=[v]@w!$'*+,~", "https://ex.org/p:q/r;s=t?u=[v]@w!$'*+,~"),
        ("/a%20b%2Fc", "/a%20b%2Fc"),
        ("/100%", "/100%25"),
        ("/\u00fc\"<>\\^`{|}", "/%C3%BC%22%3C%3E%5C%5E%60%7B%7C%7D"),
        ("/a(b", "/a\\(b"),
    ],
)
def test_percent_encoded_destinations(href, expected):
    assert md(f'<a href="{html.escape(href)}">t</a>', url_escape_style="percent") == f"[t]({expected})\n"


def test_reference_style_numbers_links_images_and_media_once():
    out = md(
        '<p><img src="a.png"> <a href="a.png">x</a> <a href="/x">y</a> <a href="/x">y2</a>'
        ' <a href="/x" title="T">z</a> <a href="/y">w</a> <iframe src="/e"></iframe>'
        ' <audio src="/y"></audio> <a href="/s p">s</a></p>',
        link_style="reference",
    )
    assert out == (
        "![][1] [x][1] [y][2] [y2][2] [z][3] [w][4] [/e][5] [/y][4] [s][6]\n\n"
        "[1]: a.png\n[2]: /x\n[3]: /x \"T\"\n[4]: /y\n[5]: /e\n[6]: </s p>\n"
    )


# An empty destination stays inline in reference style: "[n]: " alone is no
# definition a Markdown reader takes.
@pytest.mark.parametrize(
    "html_text, expected",
    [
        ('<a href="">e</a>', "[e](<>)\n"),
        ('<img alt="A">', "![A](<>)\n"),
        ('<img src="" alt="A">', "![A](<>)\n"),
        ('<graphic alt="A"></graphic>', "![A](<>)\n"),
    ],
)
def test_reference_style_keeps_empty_destinations_inline(html_text, expected):
    assert md(html_text, link_style="reference") == expected


# --- images and graphics ----------------------------------------------------------


@pytest.mark.parametrize(
    "html_text, options, expected",
    [
        ('<img src="a.png" alt="A">', {}, "![A](a.png)\n"),
        ('<img src="a.png" alt="A" title="T">', {}, '![A](a.png "T")\n'),
        ('<img alt="A">', {}, "![A](<>)\n"),
        ('<img src="a b.png">', {}, "![](<a b.png>)\n"),
        ('<img src="a(1.png">', {}, "![](a\\(1.png)\n"),
        ('<img src="[logo](/a.png)">', {}, "![](/a.png)\n"),
        ('<img src="/i?a=1&amp;b=2" alt="Tom &amp; Jerry &amp;lt;">', {}, "![Tom & Jerry &amp;lt;](/i?a=1&b=2)\n"),
        ('<h2><img src="a.png" alt="A"></h2>', {}, "## A\n"),
        ('<h2><img src="a.png" alt="A"></h2>', {"keep_inline_images_in": ["h2"]}, "## ![A](a.png)\n"),
        ('<p><img src="a.png" alt="A"></p>', {"convert_as_inline": True}, "A\n"),
        ('<h2><img src="a.png" alt="A"></h2>', {"convert_as_inline": True, "keep_inline_images_in": ["h2"]},
         "![A](a.png)\n"),
        ('<p>x<img src="a.png" alt="A"> y</p>', {"skip_images": True}, "x y\n"),
        ('<graphic xlink:href="f.tif" filename="F"></graphic>', {}, "![F](f.tif)\n"),
        ('<graphic url="u.png" src="s.png" alt="A" title="T"></graphic>', {}, '![A](u.png "T")\n'),
        ('<graphic href="a b.tif"></graphic>', {}, "![](<a b.tif>)\n"),
        ('<graphic src="g.png"></graphic>', {"skip_images": True}, ""),
    ],
)
def test_images_and_graphics(html_text, options, expected):
    assert md(html_text, **options) == expected


# An image with neither a source nor an alt text has nothing to show (a lazy
# image's address is in an attribute that only its script reads); one with
# an alt text keeps its form.
@pytest.mark.parametrize(
    "options",
    [{}, {"output_format": "djot"}, {"output_format": "plain"}, {"link_style": "reference"},
     {"convert_as_inline": True}, {"tier_strategy": "fast_dom"}],
    ids=str,
)
@pytest.mark.parametrize(
    "html_text",
    ['<p>a<img>b</p>', '<p>a<img src="">b</p>', '<p>a<img title="T">b</p>',
     '<p>a<img class="lazy" data-src="x.png" srcset="x.png 1x">b</p>', '<p>a<graphic></graphic>b</p>',
     '<ul><li><a href="/x"><img></a>b</li></ul>'],
)
def test_image_without_source_or_alt_writes_nothing(html_text, options):
    out = md(html_text, **options)
    assert "!" not in out and "[]" not in out and "<>" not in out and "b" in out


@pytest.mark.parametrize(
    "html_text, options, expected",
    [
        ('<p>a<img alt="x">b</p>', {}, "a![x](<>)b\n"),
        ('<p>a<img alt="x">b</p>', {"output_format": "djot"}, "a![x](<>)b\n"),
        ('<p>a<img alt="x">b</p>', {"link_style": "reference"}, "a![x](<>)b\n"),
        ('<p>a<graphic alt="x"></graphic>b</p>', {}, "a![x](<>)b\n"),
    ],
)
def test_image_with_alt_text_and_no_source_keeps_its_form(html_text, options, expected):
    assert md(html_text, **options) == expected


def test_lazy_images_of_a_corpus_page_write_nothing_empty():
    from corpus import corpus_path, read_page

    html_text = read_page(corpus_path("readability", "pages", "salon-1.html"))
    out = md(html_text)
    assert "![](<>)" not in out
    # The images with alt texts but no source are still there.
    assert out.count("](<>)") > 10


# Alt texts and titles cannot end the image early.
@pytest.mark.parametrize(
    "html_text, expected",
    [
        ('<img src="x.png" alt="a]b">', "![a\\]b](x.png)\n"),
        ('<img src="x.png" alt="[a] b] c">', "![\\[a\\] b\\] c](x.png)\n"),
        ('<img src="x.png" alt="[foo](uri2)">', "![\\[foo\\](uri2)](x.png)\n"),
        ('<p><img src="x.png" alt="a `b <i>"> c`</p>', "![a \\`b \\<i>](x.png) c`\n"),
        ('<img src="x.png" alt="a\\">', "![a\\\\](x.png)\n"),
        ('<img src="x.png" alt="line\n\nbreak">', "![line  break](x.png)\n"),
        ("<img src=\"x.png\" title='say \"hi\"'>", '![](x.png "say \\"hi\\"")\n'),
        ('<img src="x.png" title="a\\">', '![](x.png "a\\\\")\n'),
    ],
)
def test_image_alt_and_title_escaping(html_text, expected):
    assert md(html_text) == expected


def test_image_records_and_structure():
    result = tidewell.convert(
        '<img src="i.png" alt="I" width="100" height="50" id="p" class="c">'
        '<img src="j.png" width="100">'
        '<img src="k.png" width="100" height="50px">'
        '<img alt="no src">'
        '<img src="data:image/png;base64,AA"><img src="https://e.org/i.png">'
        '<graphic xlink:href="f.tif" filename="F" url=""></graphic>',
        {"include_document_structure": True, "skip_images": True},
    )
    assert result["content"] == ""
    images = result["metadata"]["images"]
    assert images[0] == {
        "src": "i.png",
        "alt": "I",
        "title": None,
        "dimensions": [100, 50],
        "image_type": "relative",
        "attributes": {"alt": "I", "class": "c", "height": "50", "id": "p", "width": "100"},
    }
    assert [i["dimensions"] for i in images[1:3]] == [None, None]
    assert images[2]["attributes"] == {"height": "50px", "width": "100"}
    assert [(i["src"], i["image_type"]) for i in images[3:]] == [
        ("data:image/png;base64,AA", "data_uri"),
        ("https://e.org/i.png", "external"),
    ]
    # The graphic's url is present but empty: it is still its source.
    assert len(images) == 5
    nodes = [n["content"] for n in result["document"]["nodes"]]
    assert nodes[0] == {"node_type": "image", "description": "I", "src": "i.png"}
    assert nodes[3] == {"node_type": "image", "description": "no src"}
    assert len(nodes) == 6


@pytest.mark.parametrize(
    "value, expected",
    [("100", 100), ("+7", 7), ("4294967295", 4294967295), ("", None), ("+", None), ("-5", None),
     ("100px", None), ("12.5", None), ("4294967296", None)],
)
def test_image_dimensions(value, expected):
    images = metadata(f'<img src="a.png" width="{value}" height="1">')["images"]
    assert images[0]["dimensions"] == (None if expected is None else [expected, 1])


# --- embedded media ---------------------------------------------------------------


def svg_markup(markdown):
    match = re.search(r"data:image/svg\+xml;base64,([A-Za-z0-9+/=]+)\)", markdown)
    return base64.b64decode(match.group(1)).decode()


def test_svg_becomes_a_data_uri_image():
    out = md("<svg><title> Logo </title><rect></rect></svg>")
    assert out.startswith("![Logo](data:image/svg+xml;base64,")
    assert svg_markup(out) == "<svg><title> Logo </title><rect /></svg>"
    assert md("<svg><rect/></svg>").startswith("![SVG Image](")
    assert md("<svg><title>  </title></svg>").startswith("![](")
    assert md("<p><svg><title>Logo</title></svg></p>", convert_as_inline=True) == "Logo\n"
    assert md("<p>x<svg><title>Logo</title></svg></p>", skip_images=True) == "x\n"
    assert md("<svg><title>a]b</title></svg>").startswith("![a\\]b](")


@pytest.mark.parametrize(
    "html_text, expected",
    [
        ('<SVG Width="10" height="5"><Title>T</Title></SVG>', '<svg Width="10" height="5"><title>T</title></svg>'),
        ('<svg><circle r="1" cx="2"></circle></svg>', '<svg><circle cx="2" r="1" /></svg>'),
        ("<svg><g><!-- c --></g><g></g></svg>", "<svg><g></g><g /></svg>"),
        ("<svg><text>a &amp; b</text></svg>", "<svg><text>a &amp; b</text></svg>"),
        # SVG's camelCase element names survive lower-casing.
        (
            '<svg><defs><linearGradient id="g"></linearGradient><CLIPPATH id="c"><rect/></CLIPPATH></defs>'
            "<feGaussianBlur/><textPath>t</textPath></svg>",
            '<svg><defs><linearGradient id="g" /><clipPath id="c"><rect /></clipPath></defs>'
            "<feGaussianBlur /><textPath>t</textPath></svg>",
        ),
        # Inside foreignObject the names are HTML's again.
        (
            "<svg><foreignObject><div><clippath></clippath><svg><clippath/></svg></div></foreignObject></svg>",
            "<svg><foreignObject><div><clippath /><svg><clipPath /></svg></div></foreignObject></svg>",
        ),
        # A quote inside a value cannot move the attribute's end.
        ("<svg><text font='a\"b' x=1>t</text></svg>", '<svg><text font="a&quot;b" x="1">t</text></svg>'),
    ],
)
def test_svg_serialisation(html_text, expected):
    assert svg_markup(md(html_text)) == expected


def test_deep_svg_serialises_without_recursion():
    depth = 200_000
    out = md("<svg>" + "<g>" * depth + "x" + "</g>" * depth + "</svg>")
    assert svg_markup(out) == "<svg>" + "<g>" * depth + "x" + "</g>" * depth + "</svg>"


@pytest.mark.parametrize(
    "html_text, expected",
    [
        # The comment opens a block of raw HTML up to its line's end: the
        # formula's text takes the next line.
        ('<math display="block"><mi>x</mi></math>',
         '\n\n<!-- MathML: <math display="block"><mi>x</mi></math> -->\nx\n'),
        ('<p>t <math display="block"><mi>x</mi></math> u</p>',
         't <!-- MathML: <math display="block"><mi>x</mi></math> --> x u\n'),
        ("<p>t <math><mi>x</mi><mo>*</mo></math></p>", "t <!-- MathML: <math><mi>x</mi><mo>*</mo></math> --> x\\*\n"),
        ("<math></math><p>x</p>", "x\n"),
        ("<math> \n </math><p>x</p>", "x\n"),
    ],
)
def test_mathml_comment(html_text, expected):
    assert md(html_text) == expected


def test_mathml_cannot_close_its_comment_early():
    out = md("<p>head <math><mtext>a--><img src=x onerror=alert(1)></mtext><mi>b</mi></math> tail</p>"
             "<p>head <math><mtext>--!></mtext></math></p>")
    comment = out[out.index("<!--") + 4: out.index("-->")]
    assert "onerror" in comment and "--" not in comment
    assert out.count("-->") == 3  # two comment ends and the formula's own text "a-->"
    assert "&#45;" in comment
    rendered = markdown_it().render(out)
    assert "<img" not in re.sub(r"<!--.*?-->", "", rendered, flags=re.S)



_TEX = '<semantics><mrow><mi>f</mi></mrow><annotation encoding="application/x-tex">f_{ij} *x*</annotation></semantics>'
_BLOCK = f'<math display="block">{_TEX}</math>'
_INLINE = f"<math>{_TEX}</math>"
_FORMULA = "ff_{ij} *x*"  # the formula's text: its presentation, then its annotation


def _shown(html_text):
    """What a reader of the rendered HTML sees: comments hidden, markup gone."""
    rendered = re.sub(r"<!--.*?-->", " ", html_text, flags=re.S)
    return " ".join(html.unescape(re.sub(r"<[^>]+>", " ", rendered)).split())


# A formula reads back as its text wherever it stands, and stays in the
# element it stands in.
@pytest.mark.parametrize(
    "html_text, shown, inside",
    [
        (_BLOCK, _FORMULA, None),
        (f"<p>text {_INLINE} more</p>", f"text {_FORMULA} more", None),
        (f"<p>{_INLINE} more</p>", f"{_FORMULA} more", None),
        (f"<div>a{_BLOCK}b</div>", f"a {_FORMULA} b", None),
        (f"<p>a<br>{_INLINE}</p>", f"a {_FORMULA}", None),
        (f"<ul><li>{_BLOCK}</li></ul>", _FORMULA, "li"),
        (f"<ul><li>{_INLINE} z</li></ul>", f"{_FORMULA} z", "li"),
        (f"<ul><li>a{_BLOCK}b</li></ul>", f"a {_FORMULA} b", "li"),
        (f"<ul><li><ul><li>{_BLOCK}</li></ul></li></ul>", _FORMULA, "li"),
        (f"<ol><li><p>p</p>{_BLOCK}</li></ol>", f"p {_FORMULA}", "li"),
        (f"<ol><li><p>p</p>{_INLINE} z</li></ol>", f"p {_FORMULA} z", "li"),
        (f"<blockquote>{_BLOCK}</blockquote>", _FORMULA, "blockquote"),
        (f"<blockquote>{_INLINE}</blockquote>", _FORMULA, "blockquote"),
        (f"<dl><dt>t</dt><dd>{_INLINE}</dd></dl>", f"t {_FORMULA}", None),
        (f"<table><tr><th>h</th></tr><tr><td>{_BLOCK}</td></tr></table>", f"h {_FORMULA}", "td"),
    ],
)
def test_formula_reads_back_as_its_text(html_text, shown, inside):
    rendered = markdown_it().enable("table").render(md(html_text))
    assert _shown(rendered) == shown
    if inside:
        assert re.search(f"<{inside}>.*{re.escape(html.escape(_FORMULA, quote=False))}.*</{inside}>", rendered, re.S)


def test_corpus_formulas_show_no_escapes():
    """Wikipedia formulas with TeX annotations: no block of raw HTML holds
    text beside the comments (a reader would show its escapes)."""
    from corpus import corpus_path, read_page

    for name in ("readability/pages/wikipedia-3.html", "trafilatura/pages/en.wikipedia.org.tsne.html"):
        out = md(read_page(corpus_path(*name.split("/"))))
        assert out.count("<!-- MathML:") > 10
        for token in markdown_it().parse(out):
            if token.type == "html_block":
                assert "\\" not in re.sub(r"<!--.*?-->", "", token.content, flags=re.S), token.content[:200]


# The comment and the formula's text stay on the paragraph's line: a line of
# the markup or the text could start a heading, a list or a block there.
@pytest.mark.parametrize(
    "html_text, expected",
    [
        ("<p>a <math>\n  <mrow>\n\n    <mi>x</mi>\n    <mo>\n=\n    </mo>\n  </mrow>\n</math> b</p>",
         "a <!-- MathML: <math> <mrow> <mi>x</mi> <mo> = </mo> </mrow> </math> --> x = b\n"),
        # At the start of a line the text comes first, so that the comment
        # does not open a block of raw HTML that swallows the rest of the line.
        ('<p><math><mi>x</mi></math> is <a href="/y">y</a></p>', "x <!-- MathML: <math><mi>x</mi></math> --> is [y](/y)\n"),
        ('<p>a<br><math><mi>x</mi></math> b</p>', "a  \nx <!-- MathML: <math><mi>x</mi></math> --> b\n"),
    ],
)
def test_mathml_stays_on_its_line(html_text, expected):
    assert md(html_text) == expected
    found = _Anchors()
    found.feed(markdown_it().render(expected))
    assert found.links == ([("y", "/y", None)] if "/y" in expected else [])


@pytest.mark.parametrize(
    "html_text, options, expected",
    [
        ('<video src="v.mp4">Fallback</video>', {}, "[v.mp4](v.mp4)\n\nFallback\n"),
        ('<p>a <video src="v.mp4">Fallback</video> b</p>', {}, "a [v.mp4](v.mp4) Fallback b\n"),
        ('<audio><source src="a.ogg"><source src="b.mp3"></audio>', {}, "[a.ogg](a.ogg)\n"),
        ('<audio><source type="x"><source src="b.mp3">fb</audio>', {}, "fb\n"),
        ('<audio src=""><source src="b.mp3"></audio>', {}, "[b.mp3](b.mp3)\n"),
        ('<iframe src="/e"></iframe>', {}, "[/e](/e)\n"),
        ('<iframe src="/e">fallback</iframe>', {}, "[/e](/e)\n"),
        ("<iframe></iframe><p>x</p>", {}, "x\n"),
        ('<p><iframe src="/e"></iframe></p>', {"link_style": "reference"}, "[/e][1]\n\n[1]: /e\n"),
        ('<picture><source srcset="a.webp"><img src="a.png" alt="A"></picture>', {}, "![A](a.png)\n"),
        ('<picture><span><img src="a.png" alt="A"></span></picture><p>x</p>', {}, "x\n"),
        # Media links protect their destination and escape their label.
        ('<video src="a b(1.mp4"></video>', {}, "[a b(1.mp4](<a b(1.mp4>)\n"),
        ('<iframe src="/e]x(1"></iframe>', {}, "[/e\\]x(1](/e]x\\(1)\n"),
        ('<iframe src="/e?a=[1]"></iframe>', {}, "[/e?a=\\[1\\]](/e?a=[1])\n"),
        ('<audio src="/a b"></audio>', {"url_escape_style": "percent"}, "[/a b](/a%20b)\n"),
    ],
)
def test_media(html_text, options, expected):
    assert md(html_text, **options) == expected


# Embedded content that starts a line of a list item after a block of the
# item stays in the item: a reader finds it inside the item's element.
@pytest.mark.parametrize(
    "element, shown",
    [
        ("<svg></svg>", "SVG Image"),
        ('<iframe src="/e"></iframe>', "/e"),
        ('<video src="v.mp4">fallback</video>', "fallback"),
        ("<video>fallback</video>", "fallback"),
        ('<graphic url="g.png" alt="G"></graphic>', None),
        ("<math><mi>x</mi></math> y", "x  y"),
    ],
)
def test_embedded_content_after_a_block_stays_in_the_item(element, shown):
    out = md(f"<ol><li><p>p</p>{element}</li></ol>")
    assert re.fullmatch(r"1\. p\n\n {3}\S.*\n", out, re.S), out
    rendered = markdown_it().render(out)
    item = re.sub(r"<!--.*?-->", "", rendered[rendered.index("<li>"): rendered.index("</li>")])
    assert ("<img" in item) if shown is None else (shown in item)


def test_deeply_nested_links_convert():
    depth = 100_000
    out = md('<p>' + '<a href="/x">a' * depth + "</a>" * depth + "</p>")
    assert out.startswith("[a](/x) [a](/x)") or out.startswith("[a](/x)[a](/x)")
    assert out.count("a") >= depth


# --- what a CommonMark reader makes of it ----------------------------------------


def markdown_it():
    markdown_it_module = pytest.importorskip("markdown_it")
    return markdown_it_module.MarkdownIt("commonmark")


class _Anchors(html.parser.HTMLParser):
    """The links (text, href, title) and images (alt, src, title) of a page."""

    def __init__(self):
        super().__init__()
        self.links, self.images, self._open = [], [], None

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "a":
            self._open = ["", a.get("href"), a.get("title")]
        elif tag == "img":
            self.images.append((a.get("alt"), a.get("src"), a.get("title")))

    def handle_data(self, data):
        if self._open is not None:
            self._open[0] += data

    def handle_endtag(self, tag):
        if tag == "a" and self._open is not None:
            self.links.append(tuple(self._open))
            self._open = None


def browser_address(href, rendered=False, base="https://example.org/dir/page.html"):
    """What a browser navigates to, in a form where equivalent spellings meet.
    markdown-it writes a backslash as %5C (`rendered`), where a browser reads
    it as a slash."""
    if rendered:
        href = re.sub("%5[Cc]", "\\\\", href)
    href = re.sub(r"[\t\n\r]", "", href.strip("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x0b\x0c\x0e\x0f"
                                               "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1a\x1b"
                                               "\x1c\x1d\x1e\x1f \t\n\r"))
    url = urlsplit(urljoin(base, href.replace("\\", "/")))
    query = [tuple(unquote(x) for x in pair.split("=")) for pair in url.query.split("&")]
    return (url.scheme, url.netloc.lower(), [unquote(s) for s in url.path.split("/")], query, unquote(url.fragment))


ROUND_TRIP_LINKS = [
    ("a [b] c", "/plain"),
    ("x ] y [", "/a b/c d.html"),
    ("back\\slash", "/p(1)/q"),
    ("end\\", "/p(1/q"),
    ("[", "/p)1(/q"),
    ("]", "http://example.org/a<b>c"),
    ("y", "/a%20b%2Fc?x=1&y=%zz#frag ment"),
    ("z", "?q=a+b&r=<x>"),
    ("w", "#top"),
    ("u", "https://ex.com/\u00fc?\u00e4=\u00f6"),
    ("v", " /trim me "),
    ("t", "/tab\there\nand line"),
    ("s", "/x&amp;lt;y&#65;"),
    ("r", "/a\\b(\\"),
    ("q", "/a\"b'c"),
    ("p", "<starts-with-angle>"),
    ("o", "/deep" + "(" * 40 + ")" * 40),
    ("n", "mailto:someone@example.org?subject=a b"),
]


@pytest.mark.parametrize("options", [{}, {"url_escape_style": "percent"}, {"link_style": "reference"},
                                     {"escape_misc": True}, {"default_title": True}],
                         ids=["inline", "percent", "reference", "escape_misc", "default_title"])
def test_commonmark_reads_back_text_and_address(options):
    renderer = markdown_it()
    cases = list(ROUND_TRIP_LINKS)
    if options.get("escape_misc"):
        # Escaped text keeps even a backslash before punctuation.
        cases.append(("a\\]b\\[c\\", "/e"))
    page = "".join(f'<p>{html.escape(text)} is <a href="{html.escape(href)}" title="T &quot;{i}\\">'
                   f"{html.escape(text)}</a>.</p>" for i, (text, href) in enumerate(cases))
    page += "".join(f'<p><img src="{html.escape(href)}" alt="{html.escape(text)}"></p>' for text, href in cases)
    markdown = md(page, **options)
    found = _Anchors()
    found.feed(renderer.render(markdown))
    assert len(found.links) == len(cases), markdown
    for (text, href), (got_text, got_href, got_title) in zip(cases, found.links):
        assert got_text == text, markdown
        assert browser_address(got_href, rendered=True) == browser_address(href), (href, got_href)
    if "link_style" not in options:
        assert [t for _, _, t in found.links] == [f'T "{i}\\' for i in range(len(cases))]
    assert len(found.images) == len(cases), markdown
    for (text, href), (alt, src, _) in zip(cases, found.images):
        assert alt == text
        assert browser_address(src, rendered=True) == browser_address(href), (href, src)
