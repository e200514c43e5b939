"""Real-page recall: the article text of news pages survives the conversion.

The article-extraction benchmark of the corpus holds, for each of its 101
pages, the article body as a reader sees it. The converter keeps the whole
page, so what is measured is recall: the share of the article's words (a
multiset, case folded, words being runs of letters and digits) found in the
output. Every page must reach 0.95 in plain text and in Markdown, with the
default options (two pages sit whole inside one ASP.NET <form>, which form
removal keeps because it holds the page's h1 and article).
"""
import json
import re
from collections import Counter

import pytest

import tidewell
from corpus import CORPUS, corpus_missing

BENCHMARK = CORPUS / "article-extraction-benchmark"
MINIMUM = 0.95

WORD = re.compile(r"[^\W_]+")


def word_counts(text):
    return Counter(word.casefold() for word in WORD.findall(text))


def recall(article, output):
    wanted = word_counts(article)
    found = word_counts(output)
    total = sum(wanted.values())
    return sum(min(count, found[word]) for word, count in wanted.items()) / total if total else 1.0


def ground_truth():
    path = BENCHMARK / "ground-truth.json"
    if not path.exists():
        return {}
    return json.loads(path.read_text(encoding="utf-8"))


TRUTH = ground_truth()
PAGE_IDS = sorted(TRUTH)


def cases():
    for page_id in PAGE_IDS or ["<no corpus>"]:
        short = page_id[:12]
        for output_format in ["plain", "markdown"]:
            yield pytest.param(page_id, output_format, id=f"{short}-{output_format}")


@pytest.mark.parametrize("page_id, output_format", list(cases()))
def test_article_words_are_in_the_output(page_id, output_format):
    if not TRUTH:
        corpus_missing(BENCHMARK / "ground-truth.json")
    html = (BENCHMARK / "pages" / f"{page_id}.html").read_text(encoding="utf-8")
    output = tidewell.convert(html, {"output_format": output_format})["content"]
    assert recall(TRUTH[page_id]["articleBody"], output) >= MINIMUM


def test_the_listed_pages_exist():
    if not TRUTH:
        corpus_missing(BENCHMARK / "ground-truth.json")
    assert len(PAGE_IDS) == 101


@pytest.mark.parametrize(
    "article, output, expected",
    [
        ("Posted by Ned Deily", "Posted byNed Deily", 0.5),
        ("a a b", "A b", 2 / 3),
        ("**x** y_z", "x y z", 1.0),
        ("", "anything", 1.0),
    ],
)
def test_recall_measure(article, output, expected):
    assert recall(article, output) == pytest.approx(expected)
