"""The content of a script or style element is text up to its end tag.

A JSON-LD script whose strings hold markup ("<body><p>", "</div>") must not
open elements: read as markup, it swallowed the rest of the page into the
script, and the page's text into structured_data.
"""
import json
import re

import pytest

import tidewell
from corpus import corpus_path

BACKENDS = ["copperfern-tl", "asm_tl"]

LD = '{"@type":"NewsArticle","articleBody":"<body><p>x</p></div>"}'


@pytest.mark.parametrize("backend", BACKENDS)
@pytest.mark.parametrize(
    "html",
    [
        f'<head><title>T</title><script type="application/ld+json">{LD}</script></head><body><p>Real text</p></body>',
        f'<script type="application/ld+json">{LD}</script><p>Real text</p>',
        # The same through the HTML5 repair (a comment sends the page there).
        f'<head><title>T</title><script type="application/ld+json">{LD}</script></head><body><!-- c --><p>Real text</p>',
        # Upper case, and an end tag with white space before ">".
        f'<SCRIPT type="application/ld+json">{LD}</Script ><p>Real text</p>',
        # A script the first pass keeps (inside an svg), holding markup.
        '<svg><script>if (a < b) { s = "<p>"; }</script></svg><p>Real text</p>',
    ],
)
def test_markup_in_script_stays_text(html, backend):
    result = tidewell.convert(html, {"parser_backend": backend})
    assert result["content"].endswith("Real text\n")
    # (An svg is an image whose data URI holds its markup.)
    assert "x" not in re.sub(r"\(data:[^)]*\)", "", result["content"]).replace("Real text", "")
    for data in result["metadata"]["structured_data"]:
        assert data["raw_json"] == LD
        assert json.loads(data["raw_json"])["articleBody"] == "<body><p>x</p></div>"
    plain = tidewell.convert(html, {"parser_backend": backend, "output_format": "plain"})["content"]
    assert plain == "Real text\n"


@pytest.mark.parametrize("backend", BACKENDS)
def test_hidden_in_script_content_is_no_attribute(backend):
    html = '<script type="application/ld+json">{"a":"<p hidden>"}</script><p>Real</p><p>text</p></p>'
    result = tidewell.convert(html, {"parser_backend": backend})
    assert result["content"] == "Real\n\ntext\n"
    assert result["metadata"]["structured_data"][0]["raw_json"] == '{"a":"<p hidden>"}'


@pytest.mark.parametrize(
    "page, words",
    [
        # Two news pages whose JSON-LD articleBody holds markup.
        ("2c46804d9db4", "kidnapped in broad daylight"),
        ("7a664e40d256", "testified side-by-side before the House Intelligence Committee"),
    ],
)
def test_news_pages_keep_their_article(page, words):
    pages = corpus_path("article-extraction-benchmark", "pages")
    path = next(pages.glob(page + "*.html"))
    html = path.read_text(encoding="utf-8")
    for backend in BACKENDS:
        result = tidewell.convert(html, {"parser_backend": backend})
        assert words in result["content"]
        assert all(words not in data["raw_json"] or "articleBody" in data["raw_json"]
                   for data in result["metadata"]["structured_data"])


# A "/>" in a JSON-LD string is captured as written, on every road that keeps
# the script (a custom element sends the page through the HTML5 repair).
@pytest.mark.parametrize("after", ["", "<x-y></x-y>", "<!-- c -->"], ids=["fast", "custom element", "comment"])
@pytest.mark.parametrize("value", ["a<br/>b", "a<b/>b", '<i x="1"/>', "<!---->"])
def test_json_ld_strings_are_captured_as_written(value, after):
    ld = json.dumps({"articleBody": value})
    result = tidewell.convert(f'<script type="application/ld+json">{ld}</script><p>x</p>{after}')
    assert [data["raw_json"] for data in result["metadata"]["structured_data"]] == [ld]
    assert result["content"] == "x\n"
