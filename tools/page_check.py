"""Reads the conversions of the corpus pages as a user would, beside
markdownify and html2text, and reports what a reader would see as wrong.

    tools/dev.sh && PYTHONPATH=build/dev/python python3 tools/page_check.py [options] [NAME ...]

NAME selects pages whose file name contains it (default: every page of
../shared/corpus/*/pages). It is a tool, not a test: it prints figures and
examples, and never fails on what it finds.

For every page it converts with default options (Markdown), with
output_format "plain" and with output_format "djot", and:

(a) Words. Our Markdown is rendered by markdown-it-py (CommonMark with pipe
    tables) and read back as text; so are the Markdown of html2text
    (body_width 0) and of markdownify. The plain output is read as it
    stands; the djot output with link and image destinations and attribute
    braces taken out. Words are runs of letters and digits.
    - missing: a word in both references' text that our text lacks (the
      front matter is taken off our Markdown; its words do not count as
      present). Missing words that come back when the boilerplate filter is
      off ({"preprocessing": {"enabled": false}}) are counted apart: that
      filter removes navigation and forms by design.
    - glued: a word of ours (split at white space, outer punctuation
      stripped) that no reference has, and that both references have as two
      neighbouring words ("end.Next" where they have "end." "Next").
(b) Structure (our Markdown, rendered by markdown-it-py). Each is a
    construct that the page did not have:
    - code_block: an indented code block (the default style is fenced);
    - setext: a setext heading (the default style is ATX);
    - heading: a heading whose words are not those of an h1-h6 of the page;
    - list: a list made from text. One more conversion, with "bullets" "+"
      and every ol written as ul, makes every list the converter writes a
      "+" list: any other list comes from text;
    - quote: a quote whose words are not those of a blockquote of the page
      (text drawn into a quote by lazy continuation, or a quote made from
      text);
    - rule: more thematic breaks than the page has hr elements;
    - code: a code span or fenced block whose words are not in the page's
      code, kbd, samp, tt, var or pre elements;
    - emphasis, link, strike: page text read as markup: emphasis, a link or
      a strikethrough whose words are not in the page's emphasis elements
      (em, strong, b, i, ...), links or s, del and strike elements, and
      whose text the page's text holds right after a delimiter ('*' or '_',
      '[', '~');
    - literal: "**", "](" or "![" left as text, more often than the page's
      own text holds it.
    Lists that the design writes although the page has none are counted
    apart as "designed": a menu's items ("-" whatever "bullets" says) and
    the "* " marker of a selected option.
(c) Backslashes (our Markdown, rendered by markdown-it-py): a backslash that
    a reader sees (in text, code, alt text, or a block of raw HTML, whose
    escapes are not read) where the page's text has none. Each is counted
    with the text around it (up to three characters on either side, within
    its run of non-space characters) when the page's text lacks that text.

--road NAME converts the Markdown of (a) to (c) on that road ("tier_strategy":
"fast_dom", "tier2", "quillmoor", or "tier1" for the scanner's options under
"auto"); plain and djot stay on the default road.

The references' results and the page facts are cached under
build/page_check (delete it when the corpus changes). --json FILE writes every
finding; --details prints the examples of every page. A road that reads no
other option (quillmoor) ignores the "+" bullet conversion, so there only the
Markdown's words, its structure but lists, and its backslashes say something.
"""
import argparse
import collections
import hashlib
import html
import json
import multiprocessing
import os
import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
CORPUS = ROOT.parent / "shared" / "corpus"
CACHE = ROOT / "build" / "page_check"
LATIN1_PAGES = {"cdu-fraktion-erfurt.de.waldorfschule.html", "landwirt.com.sensortechnik.html"}
CODE_TAGS = ["code", "kbd", "samp", "tt", "var", "pre"]
# The elements the converter writes with emphasis, link and strikethrough markers.
INLINE_MARKUP = {
    "emphasis": ["em", "strong", "b", "i", "var", "dfn", "mark", "cite", "u", "ins", "address"],
    "link": ["a"],
    "strike": ["s", "del", "strike"],
}
INLINE_OPEN = {"em_open": "emphasis", "strong_open": "emphasis", "link_open": "link", "s_open": "strike"}
# The characters that open each kind in Markdown text.
INLINE_DELIMITERS = {"emphasis": "*_", "link": "[", "strike": "~"}
LITERALS = ["**", "](", "!["]
WORD = re.compile(r"\w+")
FRONT_MATTER = re.compile(r"\A---\n.*?\n---\n", re.S)
ROADS = {
    "default": {},
    "tier2": {"tier_strategy": "tier2"},
    "fast_dom": {"tier_strategy": "fast_dom"},
    "quillmoor": {"tier_strategy": "quillmoor"},
    "tier1": {"code_block_style": "indented", "highlight_style": "none"},
}
# The options of the road the Markdown is converted on (--road).
ROAD = {}


def read_page(path):
    raw = path.read_bytes()
    return raw.decode("latin-1" if path.name in LATIN1_PAGES else "utf-8", errors="replace")


def markdown_reader():
    from markdown_it import MarkdownIt

    md = MarkdownIt("commonmark", {"html": True}).enable(["table", "strikethrough"])
    # Every destination counts: a data: or javascript: URL is still a link
    # (markdown-it refuses them only as a safety measure for browsers).
    md.validateLink = lambda url: True
    return md


# --- text as a reader sees it ------------------------------------------------------------


def inline_text(token):
    parts = []
    for child in token.children or []:
        if child.type in ("text", "code_inline"):
            parts.append(child.content)
        elif child.type in ("softbreak", "hardbreak"):
            parts.append(" ")
        elif child.type == "image":
            parts.append(" " + image_alt(child) + " ")
        elif child.type == "html_inline" and re.match(r"<br\b", child.content, re.I):
            parts.append(" ")
    return "".join(parts)


def image_alt(token):
    """The alt text a reader makes of an image (its label read as inline
    content; the token's content is the label's source, escapes and all)."""
    if token.children is None:
        return token.content
    return "".join(image_alt(c) if c.type == "image" else c.content for c in token.children
                   if c.type in ("text", "code_inline", "image"))


def rendered_text(tokens):
    """The text of rendered Markdown: blocks on lines of their own."""
    parts = []
    for token in tokens:
        if token.type == "inline":
            parts.append(inline_text(token))
        elif token.type in ("fence", "code_block"):
            parts.append(token.content)
        elif token.type == "html_block":
            parts.append(re.sub(r"<[^>]*>", " ", token.content))
    return "\n".join(parts)


def shown_pieces(tokens):
    """The runs of text a reader sees, one per text, code or raw-HTML token."""
    for token in tokens:
        if token.type == "inline":
            for child in token.children or []:
                if child.type in ("text", "code_inline"):
                    yield child.content
                elif child.type == "image":
                    yield image_alt(child)
        elif token.type in ("fence", "code_block"):
            yield token.content
        elif token.type == "html_block":
            # A browser hides comments and markup, and decodes references.
            text = re.sub(r"<!--.*?(?:-->|$)", " ", token.content, flags=re.S)
            yield html.unescape(re.sub(r"<[^>]*>", " ", text))


def shown_backslashes(tokens, page_text):
    """The text around every backslash a reader sees that the page's text
    does not hold (see (c) above)."""
    found = []
    for piece in shown_pieces(tokens):
        at = piece.find("\\")
        while at != -1:
            start, end = at, at + 1
            while start > 0 and at - start < 3 and not piece[start - 1].isspace():
                start -= 1
            while end < len(piece) and end - at <= 3 and not piece[end].isspace():
                end += 1
            if piece[start:end] not in page_text:
                found.append(piece[start:end])
            at = piece.find("\\", at + 1)
    return found


def djot_text(djot):
    text = re.sub(r"\]\([^)\s]*(?:\s[^)]*)?\)", "]", djot)
    text = re.sub(r"\{[^}\n]*\}", " ", text)
    return text


def words(text):
    return WORD.findall(text)


def spaced_tokens(text):
    return text.split()


def strip_punct(token):
    return re.sub(r"^\W+|\W+$", "", token)


# --- the page and the references (cached) ----------------------------------------------


def page_facts(html):
    """What the page holds, read with BeautifulSoup: the word sets of its
    headings, quotes and code, its hr count and its text."""
    import bs4

    soup = bs4.BeautifulSoup(html, "html.parser")
    for tag in soup(["script", "style", "template"]):
        tag.decompose()
    for img in soup.find_all("img"):
        img.replace_with(" " + (img.get("alt") or "") + " ")
    for svg in soup.find_all("svg"):
        title = svg.find("title")
        svg.replace_with(" " + (title.get_text() if title else "SVG Image") + " ")

    def text_of(tag):
        # Words both as the page runs them together and as its elements
        # part them, with what a link without text shows instead.
        targets = " ".join((a.get("href") or "") + " " + (a.get("title") or "") for a in tag.find_all("a"))
        return tag.get_text("") + " " + tag.get_text(" ") + " " + targets

    quotes = []
    for q in soup.find_all("blockquote"):
        quotes.append(sorted(set(words(text_of(q) + " " + (q.get("cite") or "")))))
    headings = [sorted(set(words(text_of(h)))) for h in soup.find_all(re.compile(r"^h[1-6]$"))]
    code_words = set()
    for tag in soup.find_all(CODE_TAGS):
        code_words.update(words(text_of(tag)))
    markup_words = {kind: set() for kind in INLINE_MARKUP}
    for kind, names in INLINE_MARKUP.items():
        for tag in soup.find_all(names):
            markup_words[kind].update(words(text_of(tag)))
    rows = [sorted(set(words(text_of(tr)))) for tr in soup.find_all("tr")]
    menu_items = [sorted(set(words(text_of(li)))) for menu in soup.find_all("menu") for li in menu.find_all("li")]
    options = [sorted(set(words(text_of(o)))) for o in soup.find_all("option")]
    text = soup.get_text("")
    return {
        "rows": rows,
        "menu_items": menu_items,
        "options": options,
        "quotes": quotes,
        "headings": headings,
        "code_words": sorted(code_words),
        "markup_words": {kind: sorted(w) for kind, w in markup_words.items()},
        "text": " ".join(soup.get_text("").split()),
        "hr": len(soup.find_all("hr")),
        "literals": {lit: text.count(lit) for lit in LITERALS},
    }


def reference_texts(html):
    import html2text
    import markdownify

    h2t = html2text.HTML2Text()
    h2t.body_width = 0
    md = markdown_reader()
    out = {}
    for name, convert in (("html2text", h2t.handle), ("markdownify", markdownify.markdownify)):
        try:
            out[name] = rendered_text(md.parse(convert(html)))
        except Exception as e:  # a reference that fails on a page is left out
            out[name] = None
            out[name + "_error"] = repr(e)
    return out


def cached(path, html):
    digest = hashlib.sha1(html.encode("utf-8", "surrogatepass")).hexdigest()[:16]
    file = CACHE / f"{path.parent.parent.name}.{path.stem}.{digest}.json"
    if file.exists():
        data = json.loads(file.read_text())
        if "text" not in data["facts"]:  # cached before the inline markup checks
            data["facts"] = page_facts(html)
            file.write_text(json.dumps(data))
        return data
    data = {"refs": reference_texts(html), "facts": page_facts(html)}
    CACHE.mkdir(parents=True, exist_ok=True)
    file.write_text(json.dumps(data))
    return data


# --- the checks --------------------------------------------------------------------------


def missing_words(ours, refs, excused=()):
    present = set(ours)
    counts = [collections.Counter(r) for r in refs]
    both = set(counts[0]) & set(counts[1]) if len(counts) == 2 else set(counts[0])
    return sorted(w for w in both if w not in present and w not in excused)


def glued_words(ours_text, ref_texts):
    ref_tokens = [spaced_tokens(t) for t in ref_texts]
    known = set()
    for tokens in ref_tokens:
        known.update(strip_punct(t) for t in tokens)
    joined = []
    for tokens in ref_tokens:
        pairs = set()
        for a, b in zip(tokens, tokens[1:]):
            if WORD.search(a) and WORD.search(b):
                pairs.add(strip_punct(a + b))
        joined.append(pairs)
    glued = set.intersection(*joined) if joined else set()
    found = []
    for token in spaced_tokens(ours_text):
        t = strip_punct(token)
        if t and t in glued and t not in known:
            found.append(t)
    return sorted(set(found))


def word_set_found(found, sets):
    found = set(found)
    if not found:
        return True
    return any(found <= set(s) for s in sets)


def structure_findings(markdown, marked_markdown, facts):
    md = markdown_reader()
    tokens = md.parse(markdown)
    findings = collections.defaultdict(list)
    lines = markdown.split("\n")

    def where(token):
        if token.map:
            return " | ".join(lines[token.map[0] : min(token.map[1], token.map[0] + 3)])[:160]
        return token.content[:160]

    hr = 0
    code_words = set(facts["code_words"])
    markup_words = {kind: set(w) for kind, w in facts["markup_words"].items()}
    depth = 0
    quote_start = None
    for i, token in enumerate(tokens):
        if token.type == "code_block":
            findings["code_block"].append(where(token))
        elif token.type == "heading_open":
            if token.markup in ("=", "-"):
                findings["setext"].append(where(token))
            text = inline_text(tokens[i + 1])
            if not word_set_found(words(text), facts["headings"]):
                findings["heading"].append(where(token))
        elif token.type == "hr":
            hr += 1
        elif token.type == "fence":
            if not set(words(token.content)) <= code_words:
                findings["code"].append("fence: " + where(token))
        elif token.type == "blockquote_open":
            if depth == 0:
                quote_start = i
            depth += 1
        elif token.type == "blockquote_close":
            depth -= 1
            if depth == 0 and quote_start is not None:
                body = rendered_text(tokens[quote_start:i])
                if not word_set_found(words(body), facts["quotes"]):
                    extra = sorted(set(words(body)) - set().union(*map(set, facts["quotes"] or [[]])))
                    findings["quote"].append(where(tokens[quote_start]) + "  [not quoted: " + " ".join(extra[:8]) + "]")
        elif token.type == "inline":
            for child in token.children or []:
                if child.type == "code_inline" and not set(words(child.content)) <= code_words:
                    findings["code"].append("`" + child.content[:80] + "`")
            for kind, text in inline_markup_texts(token):
                if not set(words(text)) <= markup_words[kind] and follows_delimiter(facts["text"], text, kind):
                    findings[kind].append(text[:100] + "  in: " + token.content[:100])
    if hr > facts["hr"]:
        findings["rule"].append(f"{hr} rules, {facts['hr']} hr elements")
    text_tokens = [c.content for t in tokens if t.type == "inline" for c in (t.children or []) if c.type == "text"]
    for lit in LITERALS:
        n = sum(t.count(lit) for t in text_tokens)
        if n > facts["literals"][lit]:
            examples = [t[:100] for t in text_tokens if lit in t][:3]
            findings["literal"].append(f"{lit!r} x{n - facts['literals'][lit]}: " + " || ".join(examples))
    marked_lines = marked_markdown.split("\n")
    marked = md.parse(marked_markdown)
    for i, token in enumerate(marked):
        if not (token.type == "bullet_list_open" and token.markup != "+" or token.type == "ordered_list_open"):
            continue
        if token.type == "bullet_list_open" and i > 0 and marked[i - 1].type == "bullet_list_close" \
                and marked[i - 1].markup == "+":
            continue  # a list right after one of ours takes the other marker to stay apart
        items = list_item_texts(marked, i)
        if token.markup == "-" and all(re.match(r"\[[ x]\]", t) for t in items):
            continue  # task items are written with "- " in every list
        if token.markup == "-" and all(word_set_found(words(t), facts["rows"]) for t in items):
            continue  # a table written as a list of its rows
        line = marked_lines[token.map[0]] if token.map else ""
        if token.markup == "-" and all(word_set_found(words(t), facts["menu_items"]) for t in items):
            findings["designed"].append("menu: " + line[:160])
        elif token.markup == "*" and all(set(words(t)) <= set().union(*map(set, facts["options"])) for t in items):
            findings["designed"].append("selected option: " + line[:160])
        else:
            findings["list"].append(line[:160])
    return dict(findings)


def follows_delimiter(page_text, text, kind):
    """The page's text holds `text` right after a delimiter of `kind`."""
    text = " ".join(text.split())
    if not text:
        return False
    start = page_text.find(text)
    while start != -1:
        if start > 0 and page_text[start - 1] in INLINE_DELIMITERS[kind]:
            return True
        start = page_text.find(text, start + 1)
    return False


def inline_markup_texts(token):
    """(kind, text) of every emphasis, link and strikethrough in an inline
    token, innermost first."""
    found = []
    stack = []
    for child in token.children or []:
        if child.type in INLINE_OPEN:
            stack.append((INLINE_OPEN[child.type], []))
        elif child.type.endswith("_close") and child.type.replace("_close", "_open") in INLINE_OPEN and stack:
            kind, parts = stack.pop()
            text = "".join(parts)
            found.append((kind, text))
            if stack:
                stack[-1][1].append(text)
        elif stack:
            if child.type in ("text", "code_inline"):
                stack[-1][1].append(child.content)
            elif child.type == "image":
                stack[-1][1].append(" " + image_alt(child) + " ")
            elif child.type in ("softbreak", "hardbreak"):
                stack[-1][1].append(" ")
    return found


def list_item_texts(tokens, start):
    """The text of every item of the list opened at tokens[start]."""
    items = []
    level = tokens[start].level
    for token in tokens[start + 1 :]:
        if token.level == level and token.type.endswith("_list_close"):
            break
        if token.type == "list_item_open" and token.level == level + 1:
            items.append("")
        elif token.type == "inline" and items:
            items[-1] += " " + inline_text(token)
    return [t.strip() for t in items]


def marked_html(html):
    """Every ol written as ul: with "bullets" "+", every list we write is a "+" list."""
    return re.sub(r"<(/?)ol\b", r"<\1ul", html, flags=re.I)


def check_page(path):
    import tidewell

    html = read_page(path)
    data = cached(path, html)
    refs = [t for t in (data["refs"].get("html2text"), data["refs"].get("markdownify")) if t is not None]
    facts = data["facts"]
    result = {"page": f"{path.parent.parent.name}/{path.name}"}
    md = markdown_reader()

    markdown = tidewell.convert_to_markdown(html, ROAD)
    front = FRONT_MATTER.match(markdown)
    body = markdown[front.end() :] if front else markdown
    front_words = set(words(front.group(0))) if front else set()
    plain = tidewell.convert_to_markdown(html, {"output_format": "plain"})
    djot = tidewell.convert_to_markdown(html, {"output_format": "djot"})
    full = tidewell.convert_to_markdown(html, {**ROAD, "preprocessing": {"enabled": False}, "extract_metadata": False})
    full_plain = tidewell.convert_to_markdown(html, {"preprocessing": {"enabled": False}, "output_format": "plain"})
    marked = tidewell.convert_to_markdown(marked_html(html), {**ROAD, "bullets": "+", "extract_metadata": False})

    texts = {
        "markdown": rendered_text(md.parse(body)),
        "plain": plain,
        "djot": djot_text(FRONT_MATTER.sub("", djot)),
    }
    full_words = {
        "markdown": set(words(rendered_text(md.parse(full)))),
        "plain": set(words(full_plain)),
    }
    full_words["djot"] = full_words["markdown"]
    ref_words = [words(t) for t in refs]
    for kind, text in texts.items():
        missing = missing_words(words(text), ref_words, front_words)
        result[f"{kind}_missing"] = [w for w in missing if w not in full_words[kind]]
        result[f"{kind}_filtered"] = len(missing) - len(result[f"{kind}_missing"])
        result[f"{kind}_glued"] = glued_words(text, refs) if len(refs) == 2 else []
    result["structure"] = structure_findings(body, marked, facts)
    result["backslashes"] = shown_backslashes(md.parse(body), facts["text"])
    return result


def all_pages(names):
    pages = sorted(CORPUS.glob("*/pages/*.html"))
    if names:
        pages = [p for p in pages if any(n in p.name for n in names)]
    return pages


STRUCTURE_KINDS = ["code_block", "setext", "heading", "list", "quote", "rule", "code", "emphasis", "link", "strike",
                   "literal", "designed"]


def summarize(results, details):
    kinds = ["markdown", "plain", "djot"]
    print(f"{len(results)} pages")
    for kind in kinds:
        missing = [r for r in results if r[f"{kind}_missing"]]
        glued = [r for r in results if r[f"{kind}_glued"]]
        words_missing = sum(len(r[f"{kind}_missing"]) for r in results)
        words_glued = sum(len(r[f"{kind}_glued"]) for r in results)
        filtered = sum(1 for r in results if r[f"{kind}_filtered"])
        print(
            f"{kind:8}: missing words on {len(missing)} pages ({words_missing} words); "
            f"glued words on {len(glued)} pages ({words_glued}); "
            f"words removed by the boilerplate filter on {filtered} pages"
        )
    structure_pages = [r for r in results if set(r["structure"]) - {"designed"}]
    print(f"unintended structure on {len(structure_pages)} pages:")
    for kind in STRUCTURE_KINDS:
        pages = [r for r in results if kind in r["structure"]]
        count = sum(len(r["structure"][kind]) for r in pages)
        print(f"  {kind:10}: {len(pages)} pages, {count} findings")
    shown = [r for r in results if r["backslashes"]]
    print(f"backslashes shown where the page has none: {sum(len(r['backslashes']) for r in shown)} "
          f"on {len(shown)} pages")
    for r in sorted(shown, key=lambda r: -len(r["backslashes"]))[:10]:
        print(f"  {len(r['backslashes']):5}  {r['page']}")
    if not details:
        return
    for r in results:
        lines = []
        for kind in kinds:
            if r[f"{kind}_missing"]:
                lines.append(f"  {kind} missing: {' '.join(r[kind + '_missing'][:20])}")
            if r[f"{kind}_glued"]:
                lines.append(f"  {kind} glued: {' '.join(r[kind + '_glued'][:20])}")
        for kind, found in r["structure"].items():
            for f in found[:5]:
                lines.append(f"  {kind}: {f}")
        if r["backslashes"]:
            lines.append(f"  backslashes ({len(r['backslashes'])}): " + "  ".join(r["backslashes"][:12]))
        if lines:
            print(r["page"])
            print("\n".join(lines))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("names", nargs="*")
    parser.add_argument("--details", action="store_true")
    parser.add_argument("--json")
    parser.add_argument("--jobs", type=int, default=min(3, os.cpu_count() or 1))
    parser.add_argument("--road", choices=sorted(ROADS), default="default")
    args = parser.parse_args()
    ROAD.update(ROADS[args.road])
    pages = all_pages(args.names)
    if args.jobs > 1 and len(pages) > 1:
        with multiprocessing.Pool(args.jobs) as pool:
            results = pool.map(check_page, pages, chunksize=1)
    else:
        results = [check_page(p) for p in pages]
    summarize(results, args.details)
    if args.json:
        Path(args.json).write_text(json.dumps(results, indent=1, ensure_ascii=False))


if __name__ == "__main__":
    sys.exit(main())
