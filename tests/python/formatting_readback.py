"""Random paragraphs of words and inline elements, and the formatting each
visible character shows: in a browser, from the HTML, and in a CommonMark
reader, from the Markdown a road wrote for it.

A character's formatting is a set of "bold", "italic", "code", "strike" and
("link", target). The generator builds a tree, and writes both the HTML and
the formatting a browser shows from it; the Markdown is read by markdown-it
(CommonMark with strikethrough) and its token stream walked for the same
sets.

The rules of the comparison:

- Only characters that are not white space are compared: a browser shows no
  formatting on a space or a no-break space. The text, white space runs read
  as one space, is compared first; a paragraph whose text reads back wrong
  is a text fault and its formatting is not compared.
- A code element holds only text: the roads write a code element as one code
  span, and formatting inside it is not generated. Formatting around a code
  span is compared (`**`x`**` reads as bold code).
- A link always shows a character that is not white space: a link without
  text shows nothing in a browser, and the roads write its address instead.
- Strike is generated only on a road that strikes (the DOM road and the
  streaming road); fast_dom and the tier-1 scanner write `s`, `del` and
  `strike` as their content alone.
- Emphasis and strike markers must flank: a run of `*`, `_` or `~~` opens
  only where the character after it is not punctuation or the character
  before it is white space or punctuation, and closes the other way round.
  Between two visible characters with no white space between them, the
  characters beside the runs are the visible characters themselves (a code
  span's side is its backtick), or the other runs written there. Where the
  formatting changes at such a place and neither side offers what the runs
  need (`a<b>.x</b>`: the opening run sits between a letter and a full
  stop; `x<s><b>y</b></s>`: two runs open, the first sits between a letter
  and the second), plain CommonMark can write the shape only by writing the
  neighbouring letter as a character reference (`&#97;**.x**`). Such
  paragraphs are left out of the comparison unless `references` is set.
  A link's edge at the same place frees every run (they go just inside or
  outside its brackets).
"""
from __future__ import annotations

import functools
import html
import itertools
import random
import re
import string
import unicodedata
from dataclasses import dataclass, field

from roads import streamed

BOLD, ITALIC, CODE, STRIKE = "bold", "italic", "code", "strike"
EMPHASIS_KINDS = (BOLD, ITALIC, STRIKE)

# Every road that writes Markdown: its options, whether it strikes, and
# whether the stream processor is fed the page in random cuts.
ROADS = {
    "tier2": ({"tier_strategy": "tier2"}, True, False),
    "tier2_underscore": ({"tier_strategy": "tier2", "strong_em_symbol": "_"}, True, False),
    "fast_dom": ({"tier_strategy": "fast_dom"}, False, False),
    "tier1": ({"code_block_style": "indented", "highlight_style": "none"}, False, False),
    "stream": ({"tier_strategy": "quillmoor"}, True, False),
    "stream_cut": ({}, True, True),
}

LETTERS = "abcxyzéßλж"
DIGITS = "19"
PUNCTUATION = ["*", "_", "~", "`", "**", "~~", "``", ".", ",", "!", "?", ":", ";", "(", ")",
               "[", "]", "-", "'", '"', "#", "&", "<", ">", "\\", "/",
               "«", "»", "—", "…", "¿", "“", "”", "€"]
NBSP = "\u00a0"
HREFS = ["u", "v", "w/x"]
EMPHASIS_TAGS = {"b": BOLD, "strong": BOLD, "i": ITALIC, "em": ITALIC}
STRIKE_TAGS = ["s", "del", "strike"]
MAX_DEPTH = 3


# ---- the tree ---------------------------------------------------------------------

@dataclass
class Element:
    tag: str
    children: list = field(default_factory=list)  # str or Element
    href: str | None = None


def _word(rng):
    """One to four characters: letters and digits more often than
    punctuation, with spaces and no-break spaces now and then."""
    out = []
    for _ in range(rng.randrange(1, 5)):
        pick = rng.random()
        if pick < 0.5:
            out.append(rng.choice(LETTERS))
        elif pick < 0.58:
            out.append(rng.choice(DIGITS))
        elif pick < 0.83:
            out.append(rng.choice(PUNCTUATION))
        elif pick < 0.96:
            out.append(" ")
        else:
            out.append(NBSP)
    return "".join(out)


def shows_something(nodes):
    return any(not c.isspace() for c in "".join(_text_of(n) for n in nodes))


def _text_of(node):
    if isinstance(node, str):
        return node
    return "".join(_text_of(n) for n in node.children)


def _element(rng, depth, in_link, strikes):
    tags = ["b", "strong", "i", "em", "code", "span"] + (["a"] * (not in_link))
    if strikes:
        tags += STRIKE_TAGS
    tag = rng.choice(tags)
    pick = rng.random()
    if tag == "code":
        children = [] if pick < 0.06 else [" "] if pick < 0.12 else [_word(rng)]
    elif pick < 0.08 and tag != "a":
        children = []
    elif pick < 0.14 and tag != "a":
        children = [rng.choice([" ", NBSP])]
    else:
        children = _run(rng, depth + 1, in_link or tag == "a", strikes)
    element = Element(tag, children)
    if tag == "a":
        element.href = rng.choice(HREFS)
        if not shows_something(children):
            children.append(rng.choice(LETTERS))
    return element


def _run(rng, depth, in_link, strikes):
    """Text and elements side by side; elements hold such runs themselves
    down to MAX_DEPTH."""
    nodes = []
    for _ in range(rng.randrange(1, 6 if depth == 0 else 4)):
        if depth < MAX_DEPTH and rng.random() < 0.55:
            nodes.append(_element(rng, depth, in_link, strikes))
        else:
            nodes.append(_word(rng))
    return nodes


def random_paragraph(rng, strikes):
    """A paragraph's content: a list of text and elements."""
    return _run(rng, 0, False, strikes)


def to_html(nodes):
    parts = []
    for node in nodes:
        if isinstance(node, str):
            parts.append(html.escape(node, quote=False).replace(NBSP, "&nbsp;"))
        elif node.tag == "a":
            parts.append(f'<a href="{node.href}">{to_html(node.children)}</a>')
        else:
            parts.append(f"<{node.tag}>{to_html(node.children)}</{node.tag}>")
    return "".join(parts)


def paragraph_html(nodes):
    return "<p>" + to_html(nodes) + "</p>"


# ---- formatting per character --------------------------------------------------

def shown_formatting(nodes, strikes):
    """(character, formatting) for every character a browser shows, white
    space included, as it shows it."""
    out = []

    def walk(nodes, formatting):
        for node in nodes:
            if isinstance(node, str):
                out.extend((c, formatting) for c in node)
                continue
            inner = set(formatting)
            if node.tag in EMPHASIS_TAGS:
                inner.add(EMPHASIS_TAGS[node.tag])
            elif node.tag == "code":
                inner.add(CODE)
            elif node.tag in STRIKE_TAGS and strikes:
                inner.add(STRIKE)
            elif node.tag == "a":
                inner = {f for f in inner if not isinstance(f, tuple)} | {("link", node.href)}
            walk(node.children, frozenset(inner))

    walk(nodes, frozenset())
    return out


def read_formatting(markdown, reader):
    """(character, formatting) for every character the reader shows of
    `markdown`, blocks apart by a space; raw HTML shows nothing."""
    out = []
    for token in reader.parse(markdown):
        if token.type in ("code_block", "fence"):
            if out:
                out.append((" ", frozenset()))
            out.extend((c, frozenset({CODE})) for c in token.content)
        if token.type != "inline":
            continue
        if out:
            out.append((" ", frozenset()))
        counts = {BOLD: 0, ITALIC: 0, STRIKE: 0}
        links = []
        for child in token.children:
            kind = {"strong": BOLD, "em": ITALIC, "s": STRIKE}.get(child.type.rsplit("_", 1)[0])
            if kind and child.type.endswith("_open"):
                counts[kind] += 1
            elif kind and child.type.endswith("_close"):
                counts[kind] -= 1
            elif child.type == "link_open":
                links.append(child.attrs.get("href"))
            elif child.type == "link_close":
                links.pop()
            else:
                formatting = {k for k, n in counts.items() if n > 0}
                if links:
                    formatting.add(("link", links[-1]))
                if child.type == "code_inline":
                    formatting.add(CODE)
                    text = child.content
                elif child.type in ("softbreak", "hardbreak"):
                    text = " "
                elif child.type in ("text", "image"):
                    text = child.content
                else:
                    text = ""
                out.extend((c, frozenset(formatting)) for c in text)
    return out


# ---- what plain CommonMark can write ---------------------------------------------

def is_punctuation(c):
    return unicodedata.category(c).startswith(("P", "S"))


def _marker_runs(kinds):
    # bold and italic changing the same way share one run ("***")
    return bool(kinds & {BOLD, ITALIC}) + (STRIKE in kinds)


def reference_bound(shown):
    """The first place where the formatting changes in a way that plain
    CommonMark writes only with a character reference beside the markers
    (see the module's rules), as an index into the visible characters, or
    None."""
    visible, gap = [], True
    for c, formatting in shown:
        if c.isspace():
            gap = True
            continue
        visible.append((c, formatting, gap))
        gap = False
    for i in range(1, len(visible)):
        (left, lf, _), (right, rf, gap) = visible[i - 1], visible[i]
        if gap:
            continue
        closing = {k for k in EMPHASIS_KINDS if k in lf and k not in rf}
        opening = {k for k in EMPHASIS_KINDS if k in rf and k not in lf}
        if not closing and not opening:
            continue
        if _link_of(lf) != _link_of(rf):
            continue
        left_punct = is_punctuation(left) or CODE in lf
        right_punct = is_punctuation(right) or CODE in rf
        closers, openers = _marker_runs(closing), _marker_runs(opening)
        if closers + openers == 1:
            bound = left_punct and not right_punct if closers else right_punct and not left_punct
        else:
            bound = (not closers and not left_punct) or (not openers and not right_punct)
        if bound:
            return i
    return None


def _link_of(formatting):
    return next((f for f in formatting if isinstance(f, tuple)), None)



# ---- the writings tried ----------------------------------------------------------

def writing(nodes, strikes, references=False):
    """Markdown that reads back with the text and formatting a browser shows
    for `nodes`, among the writings the module's rules try, or None where
    none of them reads back."""
    key = (paragraph_html(nodes), strikes, references)
    if key not in _writings:
        shown = shown_formatting(nodes, strikes)
        tree = _writable_tree(nodes, strikes, frozenset())
        _writings[key] = next((markdown for with_references in (False, True)[:1 + references]
                               if (markdown := _search(tree, with_references, shown)) is not None), None)
    return _writings[key]


def expressible(nodes, strikes, references=False):
    return writing(nodes, strikes, references) is not None


_writings = {}
KIND_OF_TAG = {**EMPHASIS_TAGS, **dict.fromkeys(STRIKE_TAGS, STRIKE)}
TAG_OF_KIND = {BOLD: "b", ITALIC: "i", STRIKE: "s"}
# beyond this many writings of a paragraph, a sample of them (see _search)
EXHAUSTIVE_WRITINGS = 4096
SAMPLED_WRITINGS = 4096


def _writable_tree(nodes, strikes, kinds_around):
    """`nodes` as the writer sees them: spans, pairs inside a pair of their
    kind, strike where the road does not strike and elements that show
    nothing dissolved into their content; "b", "i" and "s" for the kinds; the
    white space at the edges of every element, code too, moved out of it."""
    out = []
    for node in nodes:
        kind = None if isinstance(node, str) else KIND_OF_TAG.get(node.tag)
        if isinstance(node, str):
            out.append(node)
        elif node.tag == "code":
            lead, text = _split_lead(_text_of(node))
            out += [lead, Element("code", [text.rstrip()]), text[len(text.rstrip()):]] if text else [lead]
        elif node.tag == "span" or kind in kinds_around or (kind == STRIKE and not strikes):
            out += _writable_tree(node.children, strikes, kinds_around)
        elif not shows_something(children := _writable_tree(node.children, strikes, kinds_around | {kind})):
            out += children
        else:
            lead = trail = ""
            if isinstance(children[0], str):
                lead, children[0] = _split_lead(children[0])
            if isinstance(children[-1], str):
                trail, children[-1] = (part[::-1] for part in _split_lead(children[-1][::-1]))
            out += [lead, Element(TAG_OF_KIND.get(kind, node.tag), [c for c in children if c != ""], node.href),
                    trail]
    return _joined_text(out)


def _split_lead(text):
    rest = text.lstrip()
    return text[:len(text) - len(rest)], rest


def _joined_text(nodes):
    out = []
    for node in nodes:
        if isinstance(node, str) and out and isinstance(out[-1], str):
            out[-1] += node
        elif node != "":
            out.append(node)
    return out


def _search(tree, references, shown):
    """The first writing of `tree` that reads back as `shown`, or None. The
    writings are tried in depth-first order of their choices, the last
    choices (the marker characters) varying first, up to EXHAUSTIVE_WRITINGS
    of them; where there are more, SAMPLED_WRITINGS more are drawn at
    random, each choice uniformly, from a source seeded by the paragraph."""
    reader = _shared_reader()

    def reads_right(picks):
        markdown = _render(_write(_shaped(tree, picks), picks, []), references)
        return markdown if compare(shown, read_formatting(markdown, reader)) is None else None

    prefix = []
    for _ in range(EXHAUSTIVE_WRITINGS):
        picks = _Picks(lambda at, arity: prefix[at] if at < len(prefix) else 0)
        if (markdown := reads_right(picks)) is not None:
            return markdown
        last = next((at for at in reversed(range(len(picks.taken)))
                     if picks.taken[at] + 1 < picks.arities[at]), None)
        if last is None:
            return None
        prefix = picks.taken[:last] + [picks.taken[last] + 1]
    rng = random.Random(repr(tree))
    for _ in range(SAMPLED_WRITINGS):
        if (markdown := reads_right(_Picks(lambda at, arity: rng.randrange(arity)))) is not None:
            return markdown
    return None


@functools.cache
def _shared_reader():
    return make_reader()


class _Picks:
    """The choices of one writing, taken in the order the writer meets them:
    `option(at, arity)` picks one of `arity` options for the choice at
    position `at`."""

    def __init__(self, option):
        self.option, self.taken, self.arities = option, [], []

    def __call__(self, arity):
        picked = self.option(len(self.taken), arity) if arity > 1 else 0
        self.taken.append(picked)
        self.arities.append(arity)
        return picked


def _shaped(nodes, picks):
    """`nodes` grouped as one writing groups them: a pair whose content holds
    a link split around it or not, then each pair that follows one of its
    kind with nothing or white space alone between joined into it or not;
    code elements side by side always one code span."""
    out = []
    for node in nodes:
        if not isinstance(node, Element) or node.tag == "code":
            out.append(node)
            continue
        children = _shaped(node.children, picks)
        if (node.tag != "a" and len(children) > 1 and any(map(_holds_link, children))
                and picks(2) == 0):
            out += _split_around_links(node.tag, children)
        else:
            out.append(Element(node.tag, children, node.href))
    return _joined_pairs(_joined_text(out), picks)


def _holds_link(node):
    return isinstance(node, Element) and (node.tag == "a" or any(map(_holds_link, node.children)))


def _split_around_links(tag, children):
    """A pair of `tag` over `children` as pairs over each child that holds a
    link and over each run of the others, white space outside them."""
    out, run = [], []
    for child in children + [None]:
        if child is not None and not _holds_link(child):
            run.append(child)
            continue
        if run:
            out += _writable_tree([Element(tag, run)], True, frozenset())
            run = []
        if child is not None:
            out.append(Element(tag, [child]))
    return out


def _joined_pairs(nodes, picks):
    out = []
    for node in nodes:
        gap = len(out) > 1 and isinstance(out[-1], str) and out[-1].isspace()
        before = out[-1 - gap] if out else None
        if _is_pair(node) and _is_pair(before) and node.tag == before.tag and picks(2) == 0:
            between = [out.pop()] if gap else []
            out[-1] = Element(node.tag, before.children + between + node.children)
        elif _is_code(node) and _is_code(before) and not gap:
            out[-1] = Element("code", [before.children[0] + node.children[0]])
        else:
            out.append(node)
    return out


def _is_pair(node):
    return isinstance(node, Element) and node.tag in TAG_OF_KIND.values()


def _is_code(node):
    return isinstance(node, Element) and node.tag == "code"


def _write(nodes, picks, out):
    """Appends the pieces of the shaped `nodes` to `out`: ("text",
    character), ("run", markers) and ("syntax", Markdown written as it
    is)."""
    for node in nodes:
        if isinstance(node, str):
            out += (("text", c) for c in node)
        elif node.tag == "code":
            out.append(("syntax", _code_span(node.children[0])))
        else:
            _write_element(node, picks, out)
    return out


def _write_element(element, picks, out):
    # an element whose whole content is one other element (not code) nests
    # with it in any order: a pair inside or outside a link's brackets, or
    # another pair's markers
    chain = [element]
    while len(chain[-1].children) == 1 and isinstance(chain[-1].children[0], Element) \
            and chain[-1].children[0].tag != "code":
        chain.append(chain[-1].children[0])
    # first the link outside: pairs inside its brackets read most often
    orders = list(itertools.permutations(sorted(chain, key=lambda e: e.tag != "a")))
    closers = []
    for outer in orders[picks(len(orders))]:
        if outer.tag == "a":
            out.append(("syntax", "["))
            closers.append(("syntax", f"]({outer.href})"))
        else:
            markers = "~~" if outer.tag == "s" else "*_"[picks(2)] * (1 + (outer.tag == "b"))
            out.append(("run", markers))
            closers.append(("run", markers))
    _write(chain[-1].children, picks, out)
    out += reversed(closers)


def _code_span(text):
    fence = "`" * (1 + max(map(len, re.findall("`+", text)), default=0))
    pad = " " if text[0] in " `" or text[-1] in " `" else ""
    return fence + pad + text + pad + fence


def _render(pieces, references):
    """The Markdown of the pieces: every ASCII punctuation character of the
    text escaped; with `references`, a letter or digit beside a run of
    markers written as a character reference."""
    out = []
    for at, (what, text) in enumerate(pieces):
        beside_run = any(0 <= at + side < len(pieces) and pieces[at + side][0] == "run" for side in (-1, 1))
        if what != "text":
            out.append(text)
        elif text in string.punctuation:
            out.append("\\" + text)
        elif references and beside_run and not text.isspace() and not is_punctuation(text):
            out.append(f"&#{ord(text)};")
        else:
            out.append(text)
    return "".join(out).strip(" ")


# ---- one paragraph on one road ---------------------------------------------------

@dataclass
class Result:
    road: str
    seed: int
    index: int
    kind: str  # "ok", "left out", "unwritable", "text" or "formatting"
    html: str
    markdown: str = ""
    detail: str = ""
    reads_right: str = ""  # for a formatting fault, a writing that reads back

    def explain(self):
        return (f"{self.road} seed {self.seed} paragraph {self.index}: {self.kind} {self.detail}\n"
                f"  html:     {self.html!r}\n  markdown: {self.markdown!r}"
                + f"\n  reads right: {self.reads_right!r}" * bool(self.reads_right))


def paragraph(road, seed, index):
    """The paragraph tree of `index` under `seed` for `road`, and the random
    source that goes on to pick the road's cuts."""
    rng = random.Random(f"{seed}/{index}")
    return random_paragraph(rng, ROADS[road][1]), rng


def convert(tidewell, road, page, rng):
    options, _, cut = ROADS[road]
    if not cut:
        return tidewell.convert_to_markdown(page, options)
    return streamed(page, sorted(rng.sample(range(1, len(page)), rng.randrange(1, min(8, len(page))))))


def _words(shown):
    return " ".join("".join(c for c, _ in shown).split())


def _describe(formatting):
    return "{" + ", ".join(sorted(f if isinstance(f, str) else f"link {f[1]}" for f in formatting)) + "}"


def compare(shown, read):
    """None when `read` shows the text and formatting of `shown`, else
    ("text" or "formatting", what differs)."""
    if _words(shown) != _words(read):
        return "text", f"shows {_words(read)!r} for {_words(shown)!r}"
    want = [(c, f) for c, f in shown if not c.isspace()]
    got = [(c, f) for c, f in read if not c.isspace()]
    for i, ((c, f), (_, g)) in enumerate(zip(want, got)):
        if f != g:
            context = "".join(c for c, _ in want[max(0, i - 3):i + 4])
            return "formatting", f"{c!r} in {context!r} reads {_describe(g)} for {_describe(f)}"
    return None


def check_tree(tidewell, reader, road, nodes, rng, references=False, seed=0, index=0):
    page = paragraph_html(nodes)
    strikes = ROADS[road][1]
    shown = shown_formatting(nodes, strikes)
    if not references and reference_bound(shown) is not None:
        return Result(road, seed, index, "left out", page)
    markdown = convert(tidewell, road, page, rng)
    fault = compare(shown, read_formatting(markdown, reader))
    if fault is None:
        return Result(road, seed, index, "ok", page, markdown)
    if fault[0] == "text":
        return Result(road, seed, index, "text", page, markdown, fault[1])
    right = writing(nodes, strikes, references)
    return Result(road, seed, index, "formatting" if right else "unwritable", page, markdown, fault[1], right or "")


def check(tidewell, reader, road, seed, index, references=False):
    """Paragraph `index` under `seed` converted on `road` and read back."""
    nodes, rng = paragraph(road, seed, index)
    return check_tree(tidewell, reader, road, nodes, rng, references, seed, index)


def make_reader():
    import markdown_it

    return markdown_it.MarkdownIt("commonmark").enable(["strikethrough", "table"])
