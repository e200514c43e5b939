#!/usr/bin/env python3
"""Long fuzz run over every road: internal errors, lost text and stream cuts.

    tools/fuzz_roads.py [--count N] [--seed S] [--workers W] [--out DIR]

Each input is converted on every road (the DOM road with both parser
backends, tier-1 by its options, fast_dom with both backends, the quillmoor
road) and fed to a MarkdownStreamProcessor whole and cut at random points.
A fault is:
- an exception on valid str input other than the documented refusals;
- a result that is not valid UTF-8;
- for the inline family (paragraphs of text and phrasing elements, where the
  page's shown text is known exactly): a character of the page that a
  CommonMark reader (markdown-it-py, with strikethrough and tables) does not
  show, on a Markdown road ("lost"); text shown beside the page's, a marker
  that did not pair, is counted apart ("shown");
- a stream whose Markdown depends on where the input was cut.

The run is meant for the module built with the sanitizers (see
tools/sanitized_module.sh); it also runs against any build on PYTHONPATH.
Failing inputs are written to --out, one JSON line each. It prints one JSON
summary: inputs, conversions, faults by kind.
"""
import argparse
import difflib
import html as html_lib
import json
import multiprocessing
import os
import random
import re
import sys
import time

ROADS = {
    "tier2": {"tier_strategy": "tier2"},
    "tier2-asm": {"tier_strategy": "tier2", "parser_backend": "asm_tl"},
    "tier1": {"code_block_style": "indented", "highlight_style": "none"},
    "fast_dom": {"tier_strategy": "fast_dom"},
    "fast_dom-asm": {"tier_strategy": "fast_dom", "parser_backend": "asm_tl"},
    "quillmoor": {"tier_strategy": "quillmoor"},
}
DOCUMENTED = ("Invalid input: binary data detected (",
              "HTML parsing error: Failed to parse HTML",
              "HTML parsing error: Failed to parse repaired HTML")

# ---- inputs -------------------------------------------------------------------------

# Phrasing elements that show their text as it stands (no quotes, marks or
# titles of their own), so the page's shown text is known exactly; the
# mixed family adds the others.
INLINE = ["b", "strong", "i", "em", "code", "kbd", "samp", "s", "del", "strike", "a", "span", "u", "small",
          "var", "tt", "sub", "sup"]
OTHER_INLINE = ["q", "mark", "abbr", "cite", "ins", "img", "label"]
WORDS = ["a", "b", "x", "yz", "word", "\u00e9", "\u00e9t\u00e9", "\u4e2d", "1", "42"]
MARKS = list("*_`~[]()!\\<>#-.|&") + ["**", "__", "``", "~~", "1.", "1)", "\u201c", "\u201d", "\u2014",
                                      "\u00a0", "&nbsp;", "&amp;", "&lt;", "&gt;"]
BLOCKS = ["p", "div", "li", "ul", "ol", "blockquote", "pre", "h2", "table", "tr", "td", "th", "br", "hr", "dl",
          "dt", "dd"]


def gen_text(rng):
    out = []
    for _ in range(rng.randrange(1, 5)):
        r = rng.random()
        if r < 0.45:
            out.append(rng.choice(MARKS))
        elif r < 0.85:
            out.append(rng.choice(WORDS))
        else:
            out.append(" ")
    text = "".join(out)
    # Entities stay as written (they are text); a bare '<' or '&' is escaped.
    return re.sub(r"&(?!nbsp;|amp;|lt;|gt;)", "&amp;", text).replace("<", "&lt;")


def gen_inline(rng, depth=0):
    """Phrasing elements nested and side by side, sometimes unclosed or
    misnested: the page's text is all that is not a tag."""
    parts = []
    for _ in range(rng.randrange(1, 6)):
        r = rng.random()
        if r < 0.4 or depth > 3:
            parts.append(gen_text(rng))
            continue
        tag = rng.choice(INLINE)
        attrs = ' href="u%d"' % rng.randrange(3) if tag == "a" else ""
        inner = gen_inline(rng, depth + 1) if rng.random() < 0.6 else (gen_text(rng) if rng.random() < 0.8 else "")
        if tag == "a":
            inner += "a"  # a link without text shows its address
        close = rng.random()
        if close < 0.8:
            parts.append("<%s%s>%s</%s>" % (tag, attrs, inner, tag))
        elif close < 0.9:
            parts.append("<%s%s>%s" % (tag, attrs, inner))  # unclosed
        else:
            parts.append("<%s%s>%s</%s>" % (tag, attrs, inner, rng.choice(INLINE)))  # misnested
    return "".join(parts)


def gen_inline_page(rng):
    return "<p>" + gen_inline(rng) + "</p>" if rng.random() < 0.7 else gen_inline(rng)


def gen_mixed(rng):
    """Blocks and phrasing elements mixed, opened and closed at random."""
    parts, stack = [], []
    for _ in range(rng.randrange(1, 40)):
        r = rng.random()
        if r < 0.3:
            tag = rng.choice(BLOCKS + INLINE + OTHER_INLINE)
            parts.append("<%s%s>" % (tag, ' href="u"' if tag == "a" else ""))
            if tag not in ("br", "hr"):
                stack.append(tag)
        elif r < 0.5 and stack:
            parts.append("</%s>" % (stack.pop() if rng.random() < 0.8 else rng.choice(BLOCKS + INLINE)))
        else:
            parts.append(gen_text(rng))
    return "".join(parts)


def gen_nested(rng):
    unit = rng.choice(["<pre>a", "<code>`", "<b><i>", "<li><b>", "<td><pre>", "<kbd>a`", "<i>*</i><b>*</b>",
                       "<q></q><code>b</code>", "<a href=u><li>"])
    return rng.choice(["", "<table><tr><td>", "<ul>", "<p>x"]) + unit * rng.randrange(1, 200)


FAMILIES = [("inline", gen_inline_page, 0.6), ("mixed", gen_mixed, 0.3), ("nested", gen_nested, 0.1)]

# ---- checks -------------------------------------------------------------------------


def shown_text(markup):
    return " ".join(html_lib.unescape(re.sub(r"<[^>]*>", "", markup)).split())


def text_fault(page_text, read_text):
    """"lost" where a character of the page is missing from what the reader
    shows (or stands changed), "shown" where the reader shows all of it and
    more (a marker that did not pair), None where the two are equal."""
    if page_text == read_text:
        return None
    ops = difflib.SequenceMatcher(None, page_text, read_text, autojunk=False).get_opcodes()
    return "lost" if any(op in ("delete", "replace") for op, *_ in ops) else "shown"


def without_automatic_links(markdown):
    return re.sub(r"<((?:https?://|ftp://|mailto:)[^\s<>]*)>", r"[\1](\1)", markdown)


def stream(tidewell, text, cuts):
    processor = tidewell.MarkdownStreamProcessor()
    out, start = [], 0
    for cut in list(cuts) + [len(text)]:
        out.append(processor.process_chunk(text[start:cut]))
        start = cut
    out.append(processor.finish())
    return "".join(out)


def check(tidewell, reader, rng, family, page):
    faults = []
    for name, options in ROADS.items():
        try:
            out = tidewell.convert_to_markdown(page, options)
            out.encode("utf-8")
        except ValueError as e:
            if isinstance(e, UnicodeError) or not str(e).startswith(DOCUMENTED):
                faults.append(("exception", name, "%s: %s" % (type(e).__name__, e)))
            continue
        except Exception as e:  # noqa: BLE001 - every other exception is a fault
            faults.append(("exception", name, "%s: %s" % (type(e).__name__, e)))
            continue
        if family == "inline":
            kind = text_fault(shown_text(page), shown_text(reader.render(out)))
            if kind:
                faults.append((kind, name, out[:400]))
    try:
        whole = stream(tidewell, page, [])
        cuts = sorted(rng.sample(range(1, len(page)), min(len(page) - 1, rng.randrange(1, 8)))) \
            if len(page) > 1 else []
        cut = stream(tidewell, page, cuts)
        if without_automatic_links(cut) != without_automatic_links(whole):
            faults.append(("cut", "stream", json.dumps({"cuts": cuts, "whole": whole[:300], "cut": cut[:300]})))
        every = stream(tidewell, page, range(1, len(page))) if len(page) < 300 else whole
        if without_automatic_links(every) != without_automatic_links(whole):
            faults.append(("cut", "stream-every", json.dumps({"whole": whole[:300], "cut": every[:300]})))
    except Exception as e:  # noqa: BLE001
        faults.append(("exception", "stream", "%s: %s" % (type(e).__name__, e)))
    return faults


def worker(args):
    seed, count, out_dir = args
    import tidewell
    from markdown_it import MarkdownIt
    reader = MarkdownIt("commonmark").enable(["strikethrough", "table"])
    rng = random.Random(seed)
    tally = {"inputs": 0, "conversions": 0, "faults": {}}
    path = os.path.join(out_dir, "faults-%d.jsonl" % seed)
    with open(path, "w", encoding="utf-8") as log:
        for _ in range(count):
            r = rng.random()
            for family, gen, share in FAMILIES:
                if r < share:
                    break
                r -= share
            page = gen(rng)
            tally["inputs"] += 1
            tally["conversions"] += len(ROADS) + 3
            for kind, road, detail in check(tidewell, reader, rng, family, page):
                key = "%s/%s" % (kind, road)
                tally["faults"][key] = tally["faults"].get(key, 0) + 1
                log.write(json.dumps({"kind": kind, "road": road, "family": family, "page": page,
                                      "detail": detail}, ensure_ascii=False) + "\n")
    return tally


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--count", type=int, default=10000, help="inputs in all")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--out", default="fuzz-out")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    per = -(-args.count // args.workers)
    jobs = [(args.seed * 1000 + i, per, args.out) for i in range(args.workers)]
    started = time.time()
    with multiprocessing.Pool(args.workers) as pool:
        tallies = pool.map(worker, jobs)
    total = {"inputs": 0, "conversions": 0, "faults": {}, "seconds": 0}
    for t in tallies:
        total["inputs"] += t["inputs"]
        total["conversions"] += t["conversions"]
        for k, v in t["faults"].items():
            total["faults"][k] = total["faults"].get(k, 0) + v
    total["seconds"] = round(time.time() - started)
    print(json.dumps(total, indent=1))
    return 1 if total["faults"] else 0


if __name__ == "__main__":
    sys.exit(main())
