"""The front matter is YAML that reads back exactly.

A YAML reader (PyYAML) must give back every head entry as the same string
the metadata holds: values that YAML would read as another type, as syntax,
or not at all are quoted; everything else stays bare.
"""
import pytest

import tidewell
from corpus import corpus_pages, read_page

yaml = pytest.importorskip("yaml")


def front_matter(content):
    """The text between the opening and the closing "---" lines."""
    assert content.startswith("---\n"), content[:80]
    end = content.index("\n---\n", 3)
    return content[4 : end + 1]


def read_back(content):
    loaded = yaml.safe_load(front_matter(content))
    assert isinstance(loaded, dict)
    return loaded


VALUES = [
    "plain words",
    "Python Insider: Python 3.6.0 is now available!",
    "@heise",
    "#ffffff",
    "%PDF",
    "&amp-like",
    "*bold*",
    "!important",
    "| pipe",
    "> quote",
    "- dash",
    "? question",
    "[1, 2]",
    "{a: b}",
    "'single'",
    '"double"',
    "`tick`",
    "payload size to 2^15 - 1",
    "a - b",
    "a: b",
    "x # not a comment",
    "12345",
    "0x1F",
    "1e3",
    "3.14",
    ".5",
    "-7",
    "+7",
    "2017-01-13",
    "2017-01-13T10:00:00Z",
    "12:30",
    "yes",
    "No",
    "ON",
    "off",
    "true",
    "FALSE",
    "null",
    "~",
    "=",
    "<<",
    "back\\slash",
    'quote " inside',
    "trailing space ",
    "tab\tinside",
    "line\nbreak",
    "nel\x85sep\u2028par\u2029",
    "del\x7fc1\x9f",
    "\u00a0no-break lead",
    "emoji \U0001f600 and \u00e9",
    "'",
    ",comma",
    "...",
    "---",
]


@pytest.mark.parametrize("value", VALUES, ids=range(len(VALUES)))
def test_meta_value_reads_back(value):
    # Through an attribute: escape what HTML itself would take as markup.
    attr = value.replace("&", "&amp;").replace('"', "&quot;").replace("<", "&lt;")
    html = f'<html><head><title>T</title><meta name="k" content="{attr}"></head><body><p>x</p></body></html>'
    result = tidewell.convert(html)
    assert result["metadata"]["document"]["meta_tags"]["k"] == value
    assert read_back(result["content"]) == {"title": "T", "meta-k": value}


@pytest.mark.parametrize("title", ["Tom & Jerry: a story", "#1 [draft]", "true", "2024", " - "], ids=str)
def test_title_reads_back(title):
    html = f"<html><head><title>{title.replace('&', '&amp;')}</title></head><body>x</body></html>"
    result = tidewell.convert(html)
    expected = title.strip()
    assert result["metadata"]["document"]["title"] == expected
    assert read_back(result["content"])["title"] == expected


@pytest.mark.parametrize(
    "name",
    ["og:title", "twitter:site", "a: b", "ends:", "x #y", "dc.title", "UPPER", "with space"],
)
def test_keys_read_back(name):
    html = f'<head><meta name="{name}" content="v"></head><p>x</p>'
    loaded = read_back(tidewell.convert(html)["content"])
    assert loaded == {f"meta-{name}": "v"}


def test_bare_keys_and_values_stay_bare():
    html = '<head><meta property="og:title" content="Hello"><title>Plain title</title></head><p>x</p>'
    assert front_matter(tidewell.convert(html)["content"]) == "meta-og:title: Hello\ntitle: Plain title\n"


def test_every_corpus_front_matter_reads_back():
    faults = []
    pages = 0
    for path in corpus_pages():
        result = tidewell.convert(read_page(path))
        content = result["content"]
        if not content.startswith("---\n"):
            continue
        pages += 1
        block = front_matter(content)
        try:
            loaded = yaml.safe_load(block)
        except yaml.YAMLError as error:
            faults.append(f"{path.name}: {str(error).splitlines()[0]}")
            continue
        lines = [line for line in block.splitlines() if not line.startswith(": ")]
        if not isinstance(loaded, dict) or len(loaded) != len(lines):
            faults.append(f"{path.name}: {len(lines)} lines read as {type(loaded).__name__} {loaded!r:.200}")
            continue
        bad = [k for k, v in loaded.items() if not isinstance(k, str) or not isinstance(v, str)]
        if bad:
            faults.append(f"{path.name}: not strings: {bad[:3]}")
        title = result["metadata"]["document"]["title"]
        if "title" in loaded and loaded["title"] != title:
            faults.append(f"{path.name}: title {loaded['title']!r} != {title!r}")
    assert pages > 300
    assert faults == []
