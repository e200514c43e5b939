"""Head entries as a page author means them.

A document may leave its head implied (valid HTML: the head's start and end
tags are optional); its title, meta, link and base elements are then still
head entries and write nothing in the body. Values from attributes and head
entries have their character references decoded, so a value does not depend
on whether the page went through the HTML5 repair (a comment or a custom
element sends it there, and the repair writes attribute values escaped).
"""
import re

import pytest

import tidewell
from corpus import corpus_pages, read_page

BACKENDS = ["copperfern-tl", "asm_tl"]


# --- a head left implied --------------------------------------------------------


@pytest.mark.parametrize("backend", BACKENDS)
@pytest.mark.parametrize(
    "html, entries, body",
    [
        ("<!DOCTYPE html><title>T</title><p>x</p>", "title: T\n", "x\n"),
        ("<html><title>T</title><meta name=d content=v><body><p>x</p></body></html>", "meta-d: v\ntitle: T\n", "x\n"),
        (
            "<meta charset=utf-8><script>var a = 1;</script><title>T</title><link rel=canonical href=/c>"
            "<base href=/b><style>p { color: red }</style><p>x</p>",
            "base: /b\ncanonical: /c\ntitle: T\n",
            "x\n",
        ),
        ("\n  <title>\n  Spaced  \n</title>\n<p>x</p>", "title: Spaced\n", "x\n"),
    ],
)
def test_head_left_implied(html, entries, body, backend):
    result = tidewell.convert(html, {"parser_backend": backend})
    assert result["content"] == "---\n" + entries + "---\n\n" + body
    assert result["metadata"]["document"]["title"] in entries
    assert tidewell.convert(html, {"parser_backend": backend, "extract_metadata": False})["content"].strip() == body.strip()
    assert tidewell.convert(html, {"parser_backend": backend, "output_format": "plain"})["content"].strip() == body.strip()


@pytest.mark.parametrize(
    "html, title, body",
    [
        # After body content a title is part of the body.
        ("<p>x</p><title>T</title>", None, "x\n\nT\n"),
        ("text <title>T</title>", None, "text T\n"),
        # A head's entries come first; entries outside it add what it lacks.
        ("<title>A</title><p>x</p><div><head><title>B</title></head></div>", "B", "---\ntitle: B\n---\n\nx\n"),
        ("<title>A</title><meta name=d content=v><head><title>B</title></head><p>x</p>", "B",
         "---\nmeta-d: v\ntitle: B\n---\n\nx\n"),
        # Moved out of the head by the repair, behind an iframe or an image.
        ("<head><meta name=d content=v><iframe></iframe><title>T</title></head><body><!-- c --><p>x</p>", "T",
         "---\nmeta-d: v\ntitle: T\n---\n\nx\n"),
        ("<head><img src=p.gif><title>T</title></head><body><my-el></my-el><p>x</p>", "T", "![](p.gif)\n\nx\n"),
        # The title of an svg image is not the page's.
        ("<svg><title>S</title></svg><p>x</p>", None, "x\n"),
    ],
)
def test_head_entries_outside_the_head(html, title, body):
    result = tidewell.convert(html)
    assert result["metadata"]["document"]["title"] == title
    assert result["content"].endswith(body)


def test_title_outside_head_is_still_head_content_when_stripped():
    # As in a written head, a stripped title gives no entry and no body text.
    assert tidewell.convert_to_markdown("<title>T</title><p>x</p>", {"strip_tags": ["title"]}) == "x\n"


def test_corpus_pages_with_a_title_have_one():
    """Every page whose first <title> comes before <body> and holds text has a title
    (five did not: the HTML5 repair had moved them out of their heads)."""
    missing = []
    pages = 0
    for path in corpus_pages():
        html = read_page(path)
        title = re.search(r"<title(?:\s[^>]*)?>([^<]*)</title", html, re.I)
        body = re.search(r"<body[\s>]", html, re.I)
        if not title or not title.group(1).strip() or (body and body.start() < title.start()):
            continue
        pages += 1
        if tidewell.convert(html)["metadata"]["document"]["title"] is None:
            missing.append(path.name)
    assert pages > 300
    assert missing == []


# --- character references in metadata ------------------------------------------


@pytest.mark.parametrize(
    "head, field, value, line",
    [
        ("<title>Tom &amp; Jerry&#39;s</title>", "title", "Tom & Jerry's", "title: Tom & Jerry's"),
        ('<meta name="description" content="A &quot;b&quot;">', "description", 'A "b"', 'meta-description: A "b"'),
        ("<meta name='t' content='&lt;b&gt; &#x2014; &nbsp;'>", "meta_tags", {"t": "<b> \u2014 \u00a0"},
         'meta-t: "<b> \u2014 \u00a0"'),
        ('<link rel="canonical" href="/a?b=1&amp;c=2">', "canonical_url", "/a?b=1&c=2", 'canonical: /a?b=1&c=2'),
        ('<base href="/x&#47;">', "base_href", "/x/", "base: /x/"),
        ('<meta property="og&#58;title" content="O">', "open_graph", {"title": "O"}, 'meta-og:title: O'),
        # unknown or unterminated references stay as written
        ('<meta name="u" content="&bogus; &amp">', "meta_tags", {"u": "&bogus; &amp"}, 'meta-u: "&bogus; &amp"'),
    ],
)
def test_references_decoded_in_head_entries(head, field, value, line):
    result = tidewell.convert(f"<html><head>{head}</head><body><p>x</p></body></html>")
    assert result["metadata"]["document"][field] == value
    assert line + "\n" in result["content"]


@pytest.mark.parametrize("backend", BACKENDS)
@pytest.mark.parametrize(
    "attribute",
    ["content='a \"b\" c'", 'content="a &quot;b&quot; c"', 'content="x &amp; y &lt; z"', 'content="\u00a0&nbsp;"',
     'content="caf&eacute;"'],
)
def test_values_do_not_depend_on_the_repair(attribute, backend):
    page = f'<html lang="e&#110;"><head><title>A &amp; B</title><meta name="t" {attribute}></head><body><p>x</p>'
    plain = tidewell.convert(page + "</body></html>", {"parser_backend": backend})
    repaired = tidewell.convert(page + "<!-- c --></body></html>", {"parser_backend": backend})
    assert plain["metadata"] == repaired["metadata"]
    assert plain["content"] == repaired["content"]
    assert plain["metadata"]["document"]["language"] == "en"


# Link and image records come from the link and image handlers; these checks
# apply once the page's links and images are recorded.

LINK_PAGE = '<p><a href="/a?b=1&amp;c=2" title="Tom &amp; Jerry" data-x="&quot;q&quot;">go</a></p>'
IMAGE_PAGE = '<p><img src="/i.png?a=1&amp;b=2" alt="A &lt;b&gt; &amp; c" title="t &#38; u" data-x="&amp;"></p>'


@pytest.mark.parametrize("comment", ["", "<!-- c -->"], ids=["fast parse", "repaired"])
@pytest.mark.parametrize(
    "page, records, handler, expected",
    [
        (LINK_PAGE, "links", "link", {"href": "/a?b=1&c=2", "title": "Tom & Jerry", "attributes": {"data-x": '"q"'}}),
        (IMAGE_PAGE, "images", "image",
         {"alt": "A <b> & c", "title": "t & u", "attributes": {"data-x": "&"}}),
    ],
    ids=["link", "image"],
)
def test_record_values_are_decoded(page, records, handler, expected, comment):
    found = tidewell.convert(page + comment)["metadata"][records]
    if not found:
        pytest.skip(f"{records} are not recorded yet ({handler} handler)")
    for key, value in expected.items():
        if key == "attributes":
            assert {k: found[0][key].get(k) for k in value} == value
        else:
            assert found[0][key] == value
