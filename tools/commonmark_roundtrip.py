"""Round trip of the CommonMark spec examples: each example's HTML is
converted to Markdown by tidewell (default options), the Markdown is
rendered again by markdown-it-py (CommonMark preset), and the two HTML texts
are compared after normalisation (white space between and around block
tags, runs of white space outside <pre>, attribute order, character
references). Examples are read from ../shared/corpus/commonmark.

    tools/dev.sh && PYTHONPATH=build/dev/python python3 tools/commonmark_roundtrip.py [-v] [--section S] [N ...]

Prints how many of the examples survive; -v prints every example that does
not (its HTML, our Markdown and the HTML read back); N selects examples by
number. tests/python/test_commonmark_roundtrip.py guards the count.
"""

from __future__ import annotations

import argparse
import html
import json
import re
import sys
from html.parser import HTMLParser
from pathlib import Path
from urllib.parse import unquote

EXAMPLES = Path(__file__).resolve().parent.parent.parent / "shared" / "corpus" / "commonmark" / "examples.json"

# Block-level tags: white space next to them carries no meaning in the
# rendered page.
_BLOCK = {
    "article", "blockquote", "body", "br", "center", "dd", "details", "div", "dl", "dt",
    "figcaption", "figure", "footer", "h1", "h2", "h3", "h4", "h5", "h6", "head", "header",
    "hr", "html", "iframe", "li", "link", "main", "meta", "nav", "ol", "p", "pre",
    "section", "summary", "table", "tbody", "td", "tfoot", "th", "thead", "title", "tr",
    "ul", "img",
}
_VOID = {"br", "hr", "img", "input", "link", "meta", "area", "base", "col", "embed",
         "param", "source", "track", "wbr"}


class _Normaliser(HTMLParser):
    def __init__(self) -> None:
        super().__init__(convert_charrefs=True)
        self.parts: list[tuple[str, str]] = []  # (kind, text): kind "tag", "block" or "text"
        self.in_pre = 0

    def handle_starttag(self, tag, attrs):
        if tag == "pre":
            self.in_pre += 1
        # Renderers percent-encode destinations; compare them decoded.
        attrs = sorted((k, unquote(v) if k in ("href", "src") and v else v or "") for k, v in attrs)
        text = "<" + tag + "".join(f' {k}="{html.escape(v)}"' for k, v in attrs) + ">"
        self.parts.append(("block" if tag in _BLOCK else "tag", text))

    def handle_startendtag(self, tag, attrs):
        self.handle_starttag(tag, attrs)
        if tag == "pre":
            self.in_pre -= 1

    def handle_endtag(self, tag):
        if tag in _VOID:
            return
        if tag == "pre" and self.in_pre:
            self.in_pre -= 1
        self.parts.append(("block" if tag in _BLOCK else "tag", "</" + tag + ">"))

    def handle_data(self, data):
        text = html.escape(data, quote=False)
        if not self.in_pre:
            text = re.sub(r"\s+", " ", text)
            self.parts.append(("text", text))
        else:
            self.parts.append(("pre", text))

    def handle_comment(self, data):
        self.parts.append(("tag", "<!--" + data + "-->"))

    def result(self) -> str:
        out: list[str] = []
        parts = self.parts
        for i, (kind, text) in enumerate(parts):
            if kind == "text":
                if i == 0 or parts[i - 1][0] == "block":
                    text = text.lstrip()
                if i + 1 == len(parts) or parts[i + 1][0] == "block":
                    text = text.rstrip()
            out.append(text)
        return "".join(out)


def normalise(text: str) -> str:
    parser = _Normaliser()
    parser.feed(text)
    parser.close()
    return parser.result()


def load_examples() -> list[dict]:
    return json.loads(EXAMPLES.read_text(encoding="utf-8"))


def round_trip(example: dict, convert_to_markdown, renderer) -> tuple[bool, str, str]:
    """(survives, our Markdown, the HTML read back) for one example."""
    markdown = convert_to_markdown(example["html"])
    back = renderer.render(markdown)
    return normalise(back) == normalise(example["html"]), markdown, back


def run(verbose: bool = False, section: str | None = None, numbers: set[int] | None = None):
    import tidewell
    from markdown_it import MarkdownIt

    renderer = MarkdownIt("commonmark")
    examples = load_examples()
    passed = 0
    chosen = 0
    for example in examples:
        if section and example["section"] != section:
            continue
        if numbers and example["example"] not in numbers:
            continue
        chosen += 1
        ok, markdown, back = round_trip(example, tidewell.convert_to_markdown, renderer)
        passed += ok
        if verbose and not ok:
            print(f"--- example {example['example']} ({example['section']})")
            print("html:    ", repr(example["html"]))
            print("markdown:", repr(markdown))
            print("back:    ", repr(back), flush=True)
    return passed, chosen


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("-v", "--verbose", action="store_true")
    parser.add_argument("--section")
    parser.add_argument("numbers", nargs="*", type=int)
    args = parser.parse_args()
    passed, chosen = run(args.verbose, args.section, set(args.numbers) or None)
    print(f"{passed}/{chosen} examples survive the round trip")
    return 0


if __name__ == "__main__":
    sys.exit(main())
