"""The metadata dict, the front matter and the document structure of a
conversion on the DOM road, end to end through tidewell.convert."""
import re
import struct

import pytest

import tidewell
from expected import EMPTY_DOCUMENT, EMPTY_METADATA
from roads import BACKENDS, road_id


def convert(html, **options):
    return tidewell.convert(html, options)


def document_of(head, body="<p>x</p>", **options):
    result = convert("<head>" + head + "</head><body>" + body + "</body>", **options)
    return result["content"], result["metadata"]["document"]


# --- node ids: SipHash-1-3 with zero keys over kind, text and index ------------

_MASK = (1 << 64) - 1


def _rotl(x, b):
    return ((x << b) | (x >> (64 - b))) & _MASK


def _siphash13(data):
    v0, v1, v2, v3 = 0x736F6D6570736575, 0x646F72616E646F6D, 0x6C7967656E657261, 0x7465646279746573

    def sipround():
        nonlocal v0, v1, v2, v3
        v0 = (v0 + v1) & _MASK
        v1 = _rotl(v1, 13) ^ v0
        v0 = _rotl(v0, 32)
        v2 = (v2 + v3) & _MASK
        v3 = _rotl(v3, 16) ^ v2
        v0 = (v0 + v3) & _MASK
        v3 = _rotl(v3, 21) ^ v0
        v2 = (v2 + v1) & _MASK
        v1 = _rotl(v1, 17) ^ v2
        v2 = _rotl(v2, 32)

    full = len(data) - len(data) % 8
    for i in range(0, full, 8):
        m = struct.unpack_from("<Q", data, i)[0]
        v3 ^= m
        sipround()
        v0 ^= m
    last = (len(data) & 0xFF) << 56
    for j, byte in enumerate(data[full:]):
        last |= byte << (8 * j)
    v3 ^= last
    sipround()
    v0 ^= last
    v2 ^= 0xFF
    for _ in range(3):
        sipround()
    return v0 ^ v1 ^ v2 ^ v3


def node_id(kind, text, index):
    raw = text.encode()
    if len(raw) > 64:
        cut = 64
        while (raw[cut] & 0xC0) == 0x80:
            cut -= 1
        raw = raw[:cut]
    data = kind.encode() + b"\xff" + raw + b"\xff" + struct.pack("<I", index)
    return "%s-%016x" % (kind, _siphash13(data))


def test_node_id_helper_matches_known_ids():
    assert node_id("paragraph", "Hello", 0) == "paragraph-a99cc26527f2b620"
    assert node_id("group", "Intro", 0) == "group-cd296e19fded6d1a"
    assert node_id("heading", "Intro", 1) == "heading-31a330f7387892e2"


# --- head entries, front matter and the document fields ---------------------------

FULL_PAGE = """<html lang="en" dir="RTL"><head>
<title>  The Title  </title>
<meta name="description" content="Desc">
<meta name="keywords" content="a, b,, c">
<meta name="Author" property="og:title" content="x">
<meta name="publisher" content="P">
<meta property="og:image:width" content="640">
<meta name="twitter:card" content="summary">
<meta name="Viewport" content="width=device-width">
<meta name="DC.Rights" content="cc">
<meta property="article:published_time" content="2020">
<link rel="canonical" href="https://e.com/a">
<base href="https://e.com/">
</head><body lang="de"><h1 id="top">Intro</h1><p>Hello</p></body></html>"""


def test_result_keys_and_empty_warnings():
    result = convert(FULL_PAGE)
    assert list(result) == ["content", "document", "metadata", "tables", "warnings"]
    assert list(result["metadata"]) == ["document", "headers", "links", "images", "structured_data"]
    assert result["warnings"] == []
    assert result["document"] is None
    assert result["tables"] == []


def test_full_page_document_metadata():
    document = convert(FULL_PAGE)["metadata"]["document"]
    assert list(document) == list(EMPTY_DOCUMENT)
    assert document == {
        "title": "The Title",
        "description": "Desc",
        "keywords": ["a", "b", "c"],
        "author": "x",  # meta-Author sorts before meta-publisher
        "canonical_url": "https://e.com/a",
        "base_href": "https://e.com/",
        "language": "en",
        "text_direction": "rtl",
        "open_graph": {"image_width": "640", "title": "x"},
        "twitter_card": {"card": "summary"},
        "meta_tags": {
            "Viewport": "width=device-width",
            "article-published_time": "2020",
            "dc_rights": "cc",
        },
    }


def test_full_page_front_matter_in_key_byte_order():
    assert convert(FULL_PAGE)["content"] == (
        "---\n"
        'base: "https://e.com/"\n'
        'canonical: "https://e.com/a"\n'
        "meta-Author: x\n"
        "meta-DC.Rights: cc\n"
        "meta-Viewport: width=device-width\n"
        'meta-article:published_time: "2020"\n'
        "meta-description: Desc\n"
        "meta-keywords: a, b,, c\n"
        'meta-og:image:width: "640"\n'
        "meta-og:title: x\n"
        "meta-publisher: P\n"
        "meta-twitter:card: summary\n"
        "title: The Title\n"
        "---\n"
        "\n"
        "# Intro\n"
        "\n"
        "Hello\n"
    )


@pytest.mark.parametrize(
    "head, front_matter, fields",
    [
        # the last element of a key wins
        (
            '<meta name="description" content="a"><meta name="description" content="b">',
            ["meta-description: b"],
            {"description": "b"},
        ),
        ('<meta name="description"><meta content="c">', None, {}),
        # titles are trimmed; references are decoded
        ("<title>  A &amp; B  </title>", ["title: A & B"], {"title": "A & B"}),
        ('<title>   </title><meta name="d" content="v">', ["meta-d: v"], {"meta_tags": {"d": "v"}}),
        ('<meta name="x" content="a &amp; b">', ["meta-x: a & b"], {"meta_tags": {"x": "a & b"}}),
        ('<meta name="x&#45;y" content="&quot;q&quot;">', ['meta-x-y: "\\"q\\""'], {"meta_tags": {"x-y": '"q"'}}),
        # canonical is a case-sensitive substring test
        ('<link rel="noncanonical" href="/n">', ["canonical: /n"], {"canonical_url": "/n"}),
        ('<link rel="Canonical" href="/n">', None, {}),
        ('<link rel="canonical">', None, {}),
        # titles and Dublin Core
        ('<meta name="dc.title" content="D"><title>T</title>', ["meta-dc.title: D", "title: T"], {"title": "T"}),
        ('<meta name="dc.title" content="D">', ["meta-dc.title: D"], {"title": "D"}),
        ('<meta name="title" content="MT"><title>T</title>', ["meta-title: MT", "title: T"], {"title": "T"}),
        (
            '<meta name="description" content="M"><meta name="dcterms.abstract" content="X">',
            ["meta-dcterms.abstract: X", "meta-description: M"],
            {"description": "M"},
        ),
        (
            '<meta name="dcterms.created" content="2020"><meta name="dc.alternative" content="alt">',
            ["meta-dc.alternative: alt", 'meta-dcterms.created: "2020"'],
            {"meta_tags": {"dc_alternative": "alt", "dcterms_created": "2020"}},
        ),
        ('<meta name="DC.Creator" content="C">', ["meta-DC.Creator: C"], {"author": "C"}),
        # authors
        ('<meta name="creator" content="C">', ["meta-creator: C"], {"author": "C"}),
        (
            '<meta name="author" content="A"><meta name="publisher" content="P">',
            ["meta-author: A", "meta-publisher: P"],
            {"author": "A"},
        ),
        # keywords: the first entry in key order with a non-empty list
        (
            '<meta name="category" content="x"><meta name="keywords" content="y">',
            ["meta-category: x", 'meta-keywords: "y"'],
            {"keywords": ["x"]},
        ),
        (
            '<meta name="keywords" content=" , "><meta name="news_keywords" content="n1,n2">',
            ['meta-keywords: " , "', "meta-news_keywords: n1,n2"],
            {"keywords": ["n1", "n2"]},
        ),
        # open graph and twitter prefixes
        (
            '<meta property="og:og:type" content="t"><meta name="twitter:image:alt" content="ia">',
            ["meta-og:og:type: t", "meta-twitter:image:alt: ia"],
            {"open_graph": {"type": "t"}, "twitter_card": {"image_alt": "ia"}},
        ),
        # base: the base element, replaced by a later base-href entry in key order
        ('<base href="/b/">', ["base: /b/"], {"base_href": "/b/"}),
        (
            '<base href="/b/"><meta name="base-href" content="/c/">',
            ["base: /b/", "meta-base-href: /c/"],
            {"base_href": "/c/"},
        ),
        ('<meta name="" content="e">', ["meta-: e"], {"meta_tags": {"": "e"}}),
    ],
)
def test_head_entries(head, front_matter, fields):
    content, document = document_of(head)
    assert document == {**EMPTY_DOCUMENT, **fields}
    if front_matter is None:
        assert content == "x\n"
    else:
        assert content == "---\n" + "".join(line + "\n" for line in front_matter) + "---\n\nx\n"


@pytest.mark.parametrize(
    "head, line, field, raw",
    [
        ('<meta name="description" content="line one\nline two">', 'meta-description: "line one\\x0aline two"',
         "description", "line one\nline two"),
        ("<title>a\r\nb</title>", 'title: "a\\x0ab"', "title", "a\nb"),
        ("<title>a\rb</title>", 'title: "a\\x0ab"', "title", "a\nb"),
        ('<meta name="d" content="a\n\nb">', 'meta-d: "a\\x0a\\x0ab"', "meta_tags", {"d": "a\n\nb"}),
        ('<meta name="x\ry" content="v">', '"meta-x\\x0ay": v', "meta_tags", {"x\ny": "v"}),
    ],
)
def test_line_breaks_in_front_matter_are_escaped(head, line, field, raw):
    # Each entry stays on its own line and reads back with its line breaks.
    content, document = document_of(head)
    assert content == "---\n" + line + "\n---\n\nx\n"
    assert document[field] == raw


def test_trailing_white_space_of_values_survives_line_normalisation():
    head = '<meta name="d" content="v   "><meta name="e" content="w "><meta name="f" content="t\t">'
    content, document = document_of(head)
    assert content == '---\nmeta-d: "v   "\nmeta-e: "w "\nmeta-f: "t\\x09"\n---\n\nx\n'
    assert document["meta_tags"] == {"d": "v   ", "e": "w ", "f": "t\t"}


def test_front_matter_is_written_without_markdown_escaping():
    head = '<title>*T* #1 &lt;</title><meta name="a_b" content="x*y">'
    content, document = document_of(head, escape_ascii=True)
    assert content == '---\nmeta-a_b: x*y\ntitle: "*T* #1 <"\n---\n\nx\n'
    assert document["title"] == "*T* #1 <"


def test_title_joins_only_its_own_text_children():
    content, document = document_of("<title>a<b>x</b>c</title>")
    assert content == "---\ntitle: ac\n---\n\nx\n"
    assert document["title"] == "ac"


@pytest.mark.parametrize(
    "html, title, content",
    [
        ("<HTML><HEAD><TITLE>Up</TITLE></HEAD><BODY><P>x</P></BODY></HTML>", "Up", "---\ntitle: Up\n---\n\nx\n"),
        # an empty head does not end the search; the first non-empty one wins
        (
            "<div><head></head></div><div><head><title>Second</title></head></div><p>x</p>",
            "Second",
            "---\ntitle: Second\n---\n\nx\n",
        ),
        (
            "<head><title>First</title></head><head><title>Second</title></head><p>x</p>",
            "First",
            "---\ntitle: First\n---\n\nx\n",
        ),
        ("<p>x</p>", None, "x\n"),
        # a head holding body content: that content is converted, the title
        # stays in the head
        (
            "<head><title>T</title><p>in head</p></head><body><p>b</p></body>",
            "T",
            "---\ntitle: T\n---\n\nin head\n\nb\n",
        ),
    ],
)
def test_which_head_is_used(html, title, content):
    result = convert(html)
    assert result["content"] == content
    assert result["metadata"]["document"]["title"] == title


# What a head holds besides its own elements (title, meta, link, base,
# script, style, noscript, template) an HTML reader moves into the body, in
# place; the head entries are read as before.
MOVED_OUT_OF_HEAD = {
    "span": ("<html><head><title>T</title><span>Hello</span></head><body><p>Body</p></body></html>",
             ["Hello", "Body"]),
    "paragraph": ("<html><head><title>T</title><p>Moved</p></head><body><p>Body</p></body></html>",
                  ["Moved", "Body"]),
    "text and a link": ('<head><title>T</title>Text <a href="/x">link</a></head><body><p>Body</p></body>',
                        ["Text link", "Body"]),
    "head left open": ("<html><head><title>T</title><span>a</span> <span>b</span><meta name=x content=y>"
                       "<body><p>Body</p></body></html>", ["a b", "Body"]),
    "head entries only": ('<html>\n<head>\n<meta charset=utf-8>\n<title>T</title>\n<meta name="description" '
                          'content="D">\n<script>var x</script><style>p{}</style><noscript><p>n</p></noscript>\n'
                          "</head>\n<body><p>Body</p></body></html>", ["Body"]),
}


@pytest.mark.parametrize("road", [{"parser_backend": b} for b in BACKENDS]
                         + [{"tier_strategy": "fast_dom", "parser_backend": b} for b in BACKENDS]
                         + [{"output_format": "plain"}], ids=road_id)
@pytest.mark.parametrize("html, blocks", MOVED_OUT_OF_HEAD.values(), ids=MOVED_OUT_OF_HEAD.keys())
def test_content_moved_out_of_head(html, blocks, road):
    result = convert(html, **road)
    body = result["content"].split("---\n")[-1]
    rendered = pytest.importorskip("markdown_it").MarkdownIt("commonmark").render(body)
    paragraphs = [" ".join(re.sub(r"<[^>]+>", " ", p).split()) for p in rendered.split("</p>") if p.strip()]
    assert paragraphs == blocks
    if "tier_strategy" not in road:
        assert result["metadata"]["document"]["title"] == "T"


def test_no_head_gives_empty_document_metadata():
    assert convert("<div><p>x</p></div>")["metadata"] == EMPTY_METADATA


HEAD = '<meta name="d" content="v"><title>T</title><link rel=canonical href=/c><base href=/b>'


@pytest.mark.parametrize(
    "options, lines",
    [
        ({}, ["base: /b", "canonical: /c", "meta-d: v", "title: T"]),
        ({"strip_tags": ["meta"]}, ["base: /b", "canonical: /c", "title: T"]),
        ({"preserve_tags": ["meta"]}, ["base: /b", "canonical: /c", "title: T"]),
        ({"strip_tags": ["title"]}, ["base: /b", "canonical: /c", "meta-d: v"]),
        ({"preserve_tags": ["title"]}, ["base: /b", "canonical: /c", "meta-d: v"]),
        ({"strip_tags": ["META", "Title"]}, ["base: /b", "canonical: /c", "meta-d: v", "title: T"]),
        ({"strip_tags": ["link", "base"]}, ["base: /b", "canonical: /c", "meta-d: v", "title: T"]),
    ],
)
def test_strip_and_preserve_sets_stop_meta_and_title_entries(options, lines):
    content, document = document_of(HEAD, **options)
    assert content == "---\n" + "".join(line + "\n" for line in lines) + "---\n\nx\n"
    assert (document["title"] == "T") == ("title: T" in lines)
    assert (document["meta_tags"] == {"d": "v"}) == ("meta-d: v" in lines)


@pytest.mark.parametrize(
    "html, options, language, direction",
    [
        ('<html lang="en"><body lang="de"><p>x</p></body></html>', {}, "en", None),
        ('<html lang=""><body lang="de"><p>x</p></body></html>', {}, "", None),
        ('<body lang="de" dir=" rtl"><p>x</p></body>', {}, "de", None),
        ('<body dir="right"><p>x</p></body>', {}, None, None),
        ('<body dir="Auto"><p>x</p></body>', {}, None, "auto"),
        ('<html dir="ltr"><head></head><body dir="rtl"><p>x</p></body></html>', {}, None, "ltr"),
        ('<html><head lang="fr"><title>T</title></head><body lang="de"><p>x</p></body></html>', {}, "fr", None),
        ('<div lang="fr" dir="rtl"><p>x</p></div>', {}, None, None),
        ('<div><body lang="de"><p>x</p></body></div>', {}, "de", None),
        # top-level html and body are read before the walk, whatever max_depth says,
        # but only when written in lower case
        ('<html lang="en" dir="rtl"><p>x</p></html>', {"max_depth": 0}, "en", "rtl"),
        ('<HTML lang="en"><p>x</p></HTML>', {"max_depth": 0}, None, None),
        ('<HTML lang="en"><p>x</p></HTML>', {}, "en", None),
        ('<div><body lang="de"><p>x</p></body></div>', {"max_depth": 1}, None, None),
        ('<html lang="en" dir="rtl"><p>x</p></html>', {"convert_as_inline": True}, "en", "rtl"),
        ('<html lang="en" dir="rtl"><p>x</p></html>', {"extract_metadata": False}, None, None),
    ],
)
def test_language_and_direction(html, options, language, direction):
    document = convert(html, **options)["metadata"]["document"]
    assert document["language"] == language
    assert document["text_direction"] == direction


@pytest.mark.parametrize(
    "options, content",
    [
        ({"convert_as_inline": True}, "H x\n"),
        ({"output_format": "plain"}, "H\n\nx\n"),
        ({"max_depth": 0}, "---\ntitle: T\n---\n"),
    ],
)
def test_head_entries_reach_metadata_without_front_matter_in_the_body(options, content):
    result = convert("<html><head><title>T</title></head><body><h1>H</h1><p>x</p></body></html>", **options)
    assert result["content"] == content
    assert result["metadata"]["document"]["title"] == "T"


def test_extract_metadata_off_gives_empty_metadata():
    result = convert(FULL_PAGE + '<script type="application/ld+json">{"@type":"A"}</script>',
                     extract_metadata=False)
    assert result["metadata"] == EMPTY_METADATA
    assert result["content"] == "# Intro\n\nHello\n"


# --- JSON-LD ------------------------------------------------------------------------


def structured(html, **options):
    return convert(html, **options)["metadata"]["structured_data"]


def ld(text, type_="application/ld+json"):
    return '<script type="%s">%s</script>' % (type_, text)


@pytest.mark.parametrize("where", ["head", "body"])
@pytest.mark.parametrize(
    "text, schema_type",
    [
        ('{"@context":"https://schema.org","@type":"Article"}', "Article"),
        ('{"@type":["NewsArticle","Article"]}', "NewsArticle"),
        ('{"@type": ["Article"]}', "Article"),
        ('{"@type":{"x":1}}', None),
        ('{"@type": []}', None),
        ('{"a":{"@type":"Inner"}}', "Inner"),
        ('{"@graph":["s",{"@type":{"a":1}},{"@type":"WebPage"}]}', "WebPage"),
        ('not json "@type" : "Loose" ,,', "Loose"),
        ('{"@type":"A\\"B"}', 'A"B'),
        ('{"name":"no type"}', None),
    ],
)
def test_json_ld_schema_type(text, schema_type, where):
    script = ld(text)
    html = ("<head>" + script + "</head><p>x</p>") if where == "head" else ("<p>x</p>" + script)
    assert structured(html) == [{"data_type": "json_ld", "raw_json": text, "schema_type": schema_type}]


@pytest.mark.parametrize(
    "type_, captured",
    [
        ("application/ld+json", True),
        ("Application/LD+JSON", True),
        ("application/ld+json; charset=utf-8", True),
        ("  application/ld+json ; charset=utf-8", True),
        ("application/ld+jsonx", False),
        ("application/json", False),
        ("text/javascript", False),
    ],
)
def test_json_ld_script_type(type_, captured):
    found = structured("<p>x</p>" + ld('{"@type":"T"}', type_))
    assert found == ([{"data_type": "json_ld", "raw_json": '{"@type":"T"}', "schema_type": "T"}] if captured else [])


def test_json_ld_text_is_trimmed_and_decoded_and_writes_nothing():
    result = convert("<head>" + ld('\n\n{"@type":"T","q":"&quot;"}\n\n') + ld("  ") + ld("") + "</head><p>x</p>")
    assert result["content"] == "x\n"
    assert result["metadata"]["structured_data"] == [
        {"data_type": "json_ld", "raw_json": '{"@type":"T","q":"""}', "schema_type": "T"}
    ]


def test_json_ld_in_document_order():
    html = "<head>" + ld('{"@type":"A"}') + "</head><body><p>x</p>" + ld('{"@type":"B"}') + "</body>"
    assert [entry["schema_type"] for entry in structured(html)] == ["A", "B"]


def _sized(n):
    text = '{"@type":"X","p":"' + "a" * (n - 20) + '"}'
    assert len(text) == n
    return text


@pytest.mark.parametrize(
    "sizes, kept",
    [
        ([600_000, 500_000, 400_000], [600_000, 400_000]),
        ([1_000_000], [1_000_000]),
        ([1_000_001], []),
        ([1_000_001, 400_000], [400_000]),
    ],
)
def test_json_ld_budget(sizes, kept):
    html = "<head>" + "".join(ld(_sized(n)) for n in sizes) + "</head><p>x</p>"
    assert [len(entry["raw_json"]) for entry in structured(html)] == kept


# --- header records ------------------------------------------------------------------


def test_header_records():
    html = (
        '<h1 id="">A</h1><h2 ID="x">B</h2><div><h3 id="c">C\nD</h3></div><h4> </h4>'
        "<html><body><h5>E</h5></body></html>"
    )
    assert convert(html)["metadata"]["headers"] == [
        {"level": 1, "text": "A", "id": "", "depth": 0, "html_offset": 0},
        {"level": 2, "text": "B", "id": None, "depth": 0, "html_offset": 0},
        {"level": 3, "text": "C D", "id": "c", "depth": 1, "html_offset": 0},
        {"level": 5, "text": "E", "id": None, "depth": 2, "html_offset": 0},
    ]


@pytest.mark.parametrize(
    "html, options, text",
    [
        ("<h2>*x*</h2>", {"escape_asterisks": True}, "\\*x\\*"),
        ("<h2>a<br>b</h2>", {}, "a  b"),
        ("<h2>T</h2>", {"convert_as_inline": True}, "T"),
        ("<h2>T</h2>", {"output_format": "plain"}, "T"),
        ("<h2>T</h2>", {"heading_style": "underlined"}, "T"),
    ],
)
def test_header_text_is_the_rendered_heading_text(html, options, text):
    assert [h["text"] for h in convert(html, **options)["metadata"]["headers"]] == [text]


@pytest.mark.parametrize("options", [{"max_depth": 1}, {"extract_metadata": False}])
def test_no_header_records(options):
    assert convert("<h1>T</h1>", **options)["metadata"]["headers"] == []


# --- document structure ---------------------------------------------------------------


def structure(html, **options):
    return convert(html, include_document_structure=True, **options)["document"]


def node(kind, text, index, content, parent=None, children=(), attributes=None):
    out = {"id": node_id(kind, text, index), "content": dict(node_type=kind, **content)}
    if parent is not None:
        out["parent"] = parent
    if children:
        out["children"] = list(children)
    if attributes is not None:
        out["attributes"] = attributes
    return out


def group(text, level, index, parent=None, children=()):
    content = {"label": text, "heading_level": level, "heading_text": text}
    return node("group", text, index, content, parent, children)


def heading(text, level, index, parent, attributes=None):
    return node("heading", text, index, {"level": level, "text": text}, parent, attributes=attributes)


def paragraph(text, index, parent=None):
    return node("paragraph", text, index, {"text": text}, parent)


def test_structure_is_absent_by_default():
    result = convert("<h1>Intro</h1><p>Hello</p>")
    assert result["document"] is None
    assert result["tables"] == []


def test_structure_of_a_heading_and_a_paragraph():
    result = convert("<h1>Intro</h1><p>Hello</p>", include_document_structure=True)
    assert result["tables"] == []
    assert result["document"] == {
        "nodes": [
            {
                "id": "group-cd296e19fded6d1a",
                "content": {"node_type": "group", "label": "Intro", "heading_level": 1, "heading_text": "Intro"},
                "children": [1, 2],
            },
            {
                "id": "heading-31a330f7387892e2",
                "content": {"node_type": "heading", "level": 1, "text": "Intro"},
                "parent": 0,
            },
            paragraph("Hello", 2, parent=0),
        ],
        "source_format": "html",
    }
    assert list(result["document"]["nodes"][1]) == ["id", "content", "parent"]


def test_sections_nest_by_heading_level():
    html = "<h1>A</h1><h2>B</h2><h2>C</h2><p>pc</p><h1>D</h1><p>pd</p>"
    assert structure(html)["nodes"] == [
        group("A", 1, 0, children=[1, 2, 4]),
        heading("A", 1, 1, 0),
        group("B", 2, 2, parent=0, children=[3]),
        heading("B", 2, 3, 2),
        group("C", 2, 4, parent=0, children=[5, 6]),
        heading("C", 2, 5, 4),
        paragraph("pc", 6, parent=4),
        group("D", 1, 7, children=[8, 9]),
        heading("D", 1, 8, 7),
        paragraph("pd", 9, parent=7),
    ]


def test_a_higher_heading_closes_a_deeper_section():
    assert structure("<h1>A</h1><h3>C</h3><h2>B</h2><p>pb</p>")["nodes"] == [
        group("A", 1, 0, children=[1, 2, 4]),
        heading("A", 1, 1, 0),
        group("C", 3, 2, parent=0, children=[3]),
        heading("C", 3, 3, 2),
        group("B", 2, 4, parent=0, children=[5, 6]),
        heading("B", 2, 5, 4),
        paragraph("pb", 6, parent=4),
    ]


def test_heading_id_attribute():
    assert structure('<h2 id="b">B</h2><h2 id="">C</h2><h2 ID="d">D</h2>')["nodes"] == [
        group("B", 2, 0, children=[1]),
        heading("B", 2, 1, 0, attributes={"id": "b"}),
        group("C", 2, 2, children=[3]),
        heading("C", 2, 3, 2, attributes={"id": ""}),
        group("D", 2, 4, children=[5]),
        heading("D", 2, 5, 4),
    ]


@pytest.mark.parametrize(
    "html, texts",
    [
        ("<p>Hello</p>", ["Hello"]),
        ("<p>a</p><p>  </p><p></p><div><p>b</p></div><div>not a paragraph</div>", ["a", "b"]),
        ("<p>a<span> </span></p><p><span></span></p>", ["a"]),
        ("<p>a<br>b</p><p>c *d*</p>", ["a  \nb", "c \\*d\\*"]),
        ("<p>  spaced  </p>", ["spaced"]),
    ],
)
def test_paragraph_nodes(html, texts):
    nodes = structure(html, escape_asterisks=True)["nodes"]
    assert nodes == [paragraph(text, i) for i, text in enumerate(texts)]


# With strict white space the text between two blocks stays in the output
# until the next block's separator trims it: a record holds its paragraph's
# own text, from its first character.
@pytest.mark.parametrize(
    "html, texts",
    [
        ("<p>a</p>     <p>abcdef</p>", ["a", "abcdef"]),
        ("<p>a</p>   <p>\u2019s x</p>", ["a", "\u2019s x"]),
        ("<p>a</p>\n \t \n<p>\u65e5\u672c</p>", ["a", "\u65e5\u672c"]),
        ("<p>a</p>     <p>ab</p><p>c</p>", ["a", "ab", "c"]),
        ("<div>   <p>abcdef</p></div>", ["abcdef"]),
    ],
)
def test_paragraph_records_with_strict_white_space(html, texts):
    nodes = structure(html, whitespace_mode="strict")["nodes"]
    assert nodes == [paragraph(text, i) for i, text in enumerate(texts)]


def test_long_paragraph_id_is_cut_at_a_character_boundary():
    text = "a" * 63 + "\u00e9" + "tail"  # bytes 64 and 65 form one character
    nodes = structure("<p>" + text + "</p>")["nodes"]
    assert nodes == [paragraph(text, 0)]
    assert nodes[0]["id"] == node_id("paragraph", "a" * 63, 0)


@pytest.mark.parametrize(
    "options, kinds",
    [
        ({"extract_metadata": False}, ["group", "heading", "paragraph"]),
        ({"output_format": "plain"}, ["group", "heading", "paragraph"]),
        ({"convert_as_inline": True}, ["group", "heading"]),  # inline paragraphs add no node
        ({"max_depth": 1}, []),
    ],
)
def test_structure_under_other_options(options, kinds):
    document = structure("<h1>T</h1><p>x</p>", **options)
    assert document["source_format"] == "html"
    assert [n["content"]["node_type"] for n in document["nodes"]] == kinds


def test_structure_and_metadata_together():
    result = convert(FULL_PAGE, include_document_structure=True)
    assert result["metadata"]["document"]["title"] == "The Title"
    assert result["metadata"]["headers"] == [
        {"level": 1, "text": "Intro", "id": "top", "depth": 2, "html_offset": 0}
    ]
    assert result["document"]["nodes"] == [
        group("Intro", 1, 0, children=[1, 2]),
        heading("Intro", 1, 1, 0, attributes={"id": "top"}),
        paragraph("Hello", 2, parent=0),
    ]
