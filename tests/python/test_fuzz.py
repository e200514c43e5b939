"""Seeded fuzzing of `convert`, `convert_to_markdown` and `MarkdownStreamProcessor`
with random and mutated HTML.

Inputs: random tags and attributes, corpus pages cut at random points and
mutated, stray '<' and '&', characters of the control ranges, nesting 200,000
levels deep and attribute values of several megabytes. Options: random but
valid, on every road (tier_strategy "auto", "tier2", "fast_dom" or
"quillmoor"; under "auto" a share of the option sets qualifies
for the tier-1 scanner, the rest goes to the DOM road). Every call must give a
well-formed result whose strings are valid UTF-8, or one of the documented
ValueErrors of refused input. A share of the inputs is also fed to a
`MarkdownStreamProcessor` in random chunks, which must hand back strings with
a UTF-8 form or refuse binary input as `convert` does. Each family runs in a child interpreter, so a
crash fails the test; the child writes the input it is working on to a file
first, so the failing input is at hand after a crash.
"""
import json
import subprocess
import sys
import textwrap

import pytest

from corpus import CORPUS, corpus_missing

SCRIPT = textwrap.dedent(
    r'''
    import json, pathlib, random, sys
    import tidewell

    family, seed, count, corpus, workdir = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5]
    rng = random.Random(seed)
    workdir = pathlib.Path(workdir)

    # ---- random markup ---------------------------------------------------------
    TAGS = ["html", "head", "body", "title", "meta", "link", "base", "style", "script", "noscript", "template",
            "p", "div", "span", "br", "hr", "h1", "h2", "h3", "h4", "h5", "h6", "a", "img", "picture", "source",
            "b", "strong", "i", "em", "u", "s", "del", "ins", "mark", "sub", "sup", "small", "kbd", "code", "samp",
            "var", "q", "cite", "abbr", "ruby", "rt", "rp", "pre", "blockquote", "ul", "ol", "li", "dl", "dt",
            "dd", "menu", "table", "caption", "colgroup", "col", "thead", "tbody", "tfoot", "tr", "td", "th",
            "form", "input", "button", "select", "option", "optgroup", "textarea", "label", "fieldset",
            "legend", "nav", "header", "footer", "aside", "main", "article", "section", "figure", "figcaption",
            "details", "summary", "dialog", "iframe", "video", "audio", "track", "embed", "object", "param",
            "svg", "path", "g", "foreignObject", "desc", "math", "mi", "mo", "annotation-xml", "canvas",
            "xmp", "plaintext", "noembed", "noframes", "frameset", "frame", "marquee", "center", "font",
            "wbr", "bdi", "bdo", "time", "data", "output", "progress", "meter", "address", "search", "hgroup",
            "x-widget", "my-element", "a:b", "DIV", "P", "Table", "SCRIPT", "foo", "o:p", "svg:rect"]
    VOID = {"br", "hr", "img", "input", "meta", "link", "base", "col", "source", "track", "embed", "param", "wbr"}
    ATTRS = ["class", "id", "style", "hidden", "aria-hidden", "role", "href", "src", "srcset", "alt", "title",
             "type", "checked", "disabled", "lang", "dir", "name", "property", "content", "charset",
             "http-equiv", "colspan", "rowspan", "start", "reversed", "value", "width", "height", "data-x",
             "xmlns", "xlink:href", "onclick", "itemprop", "itemtype", "rel", "datetime", "label", "open",
             "CLASS", "Href", "", "=", "\"", "'", "<", "a b"]
    VALUES = ["", "x", "nav", "menu navbar", "footer", "sidebar", "hidden", "display:none", "visibility: hidden",
              "navigation", "banner", "true", "rtl", "ltr", "auto", "en", "de-DE", "description", "og:title",
              "twitter:card", "author", "utf-8", "text/html", "application/ld+json", "checkbox", "0", "1", "-1",
              "2", "65535", "99999999999999999999", "3.5", "abc", "http://example.com/a b?c=1&d=2#e",
              "https://ex.ample/\u00fc\u00e9", "/relative/path", "#frag", "javascript:alert(1)", "mailto:a@b",
              "data:image/png;base64,AAAA", "//cdn", "img.png 1x, img2.png 2x", "&amp;", "&lt;&gt;",
              "&#0;", "&#x110000;", "&#55296;", "&bogus;", "\u00a0", "\u200b", "\U0001F600", "a\nb", "\t",
              "<b>", "</p>", "\"quoted\"", "it's"]
    TEXTS = ["hello", "world", " ", "  ", "\n", "\n\n", "\t", "word word word", "*", "**", "_", "__", "`",
             "```", "~~~", "#", "# not heading", "> quote", "- item", "1. item", "1)", "+", "|", "| a | b |",
             "[link](x)", "![img](y)", "\\", "<", ">", "&", "&amp;", "&lt;", "&gt;", "&quot;", "&nbsp;",
             "&#65;", "&#x41;", "&#0;", "&#xD800;", "&#1114112;", "&#x;", "&#;", "&", "&notit;", "&notin;",
             "&amp", "&ampx", "&#9999999999;", "\u00a0", "\u2003", "\u3000", "\u200b", "\u00ad", "\ufeff",
             "\u00e9", "\u4e2d\u6587", "\u0627\u0644\u0639\u0631\u0628\u064a\u0629", "\U0001F600",
             "\U0010FFFF", "\ufffd", "e\u0301", "\r", "\r\n", "\x0b", "\x0c", "\x7f", "\x85", "x" * 300]
    OTHER = ["<!-- c -->", "<!---->", "<!-->", "<!--", "-->", "--!>", "<!DOCTYPE html>", "<!doctype>",
             "<![CDATA[x]]>", "<![CDATA[", "]]>", "<?xml version=\"1.0\"?>", "<?", "</>", "</ p>", "< p>",
             "<3", "<=", "<<", "</", "<!", "<a", "<a href=", "<img src=\"x", "/>", "<br/>", "<p/>",
             "<x-y/>", "<svg:path/>", "</br>", "</p >", "&", "&#", "&#x", "<script>if (a < b) {}</script>",
             "<style>p{color:red}</style>", "<script type=\"application/ld+json\">{\"@type\":\"Article\","
             "\"headline\":\"h\",\"author\":{\"name\":\"n\"}}</script>", "<textarea><p></textarea>",
             "<title>t &amp; t</title>", "<meta name=\"description\" content=\"d\">",
             "<meta property=\"og:title\" content=\"o\">", "<html lang=\"fr\" dir=\"rtl\">",
             "<input type=\"checkbox\" checked>", "<table><tr><td>1<td>2</table>", "<li>", "</li>"]

    def rand_text():
        return rng.choice(TEXTS) if rng.random() < 0.9 else "".join(
            chr(rng.choice([rng.randrange(0x20, 0x7f), rng.randrange(0xa0, 0xd800), rng.randrange(0xe000, 0x110000)]))
            for _ in range(rng.randrange(1, 20)))

    def rand_attr():
        name = rng.choice(ATTRS)
        if rng.random() < 0.15:
            return " " + name
        value = rng.choice(VALUES)
        quote = rng.choice(["\"", "\"", "'", "", "unclosed"])
        if quote == "unclosed":
            return ' %s="%s' % (name, value)
        if quote == "":
            value = value.replace(" ", "_")
        return " %s=%s%s%s" % (name, quote, value, quote)

    def start_tag(tag):
        attrs = "".join(rand_attr() for _ in range(rng.choice([0, 0, 1, 1, 2, 3, 6])))
        end = rng.choice([">", ">", ">", "/>", " />", "", " >"])
        return "<%s%s%s" % (tag, attrs, end)

    def random_markup(size):
        out, stack = [], []
        for _ in range(size):
            r = rng.random()
            if r < 0.35:
                tag = rng.choice(TAGS)
                out.append(start_tag(tag))
                if tag.lower() not in VOID:
                    stack.append(tag)
            elif r < 0.55 and stack:
                tag = stack.pop() if rng.random() < 0.8 else rng.choice(TAGS)
                out.append("</%s>" % tag)
            elif r < 0.9:
                out.append(rand_text())
            else:
                out.append(rng.choice(OTHER))
        if rng.random() < 0.7:
            out.extend("</%s>" % t for t in reversed(stack))
        return "".join(out)

    # ---- mutations -------------------------------------------------------------
    CONTROL = [chr(c) for c in list(range(0x00, 0x20)) + [0x7f] + list(range(0x80, 0xa0))]
    BINARY = [chr(c) for c in list(range(0x00, 0x09)) + list(range(0x0e, 0x20))]  # what the guard counts

    def mutate(text, rounds):
        for _ in range(rounds):
            n = len(text)
            a = rng.randrange(n + 1)
            b = min(n, a + rng.randrange(1, 200))
            op = rng.randrange(8)
            if op == 0:
                text = text[:a] + text[b:]
            elif op == 1:
                text = text[:a] + text[a:b] * rng.randrange(2, 6) + text[a:]
            elif op == 2:
                text = text[:a] + random_markup(rng.randrange(1, 8)) + text[a:]
            elif op == 3:
                text = text[:a] + rng.choice(["<", "&", "</", "<!", "&#", "\"", "'", ">", "=", "/"]) + text[a:]
            elif op == 4:
                text = text[:a] + "".join(rng.choice(CONTROL) for _ in range(rng.randrange(1, 4))) + text[a:]
            elif op == 5 and n > 1:
                c = rng.randrange(n)
                d = min(n, c + rng.randrange(1, 200))
                text = text[:a] + text[c:d] + text[a:]
            elif op == 6:
                text = text[:a]
            else:
                text = text[:a] + text[a:b].upper() + text[b:]
        return text

    # ---- input families ----------------------------------------------------------
    def pages():
        found = sorted(pathlib.Path(corpus).glob("*/pages/*.html"))
        if not found:
            return None
        return found

    PAGES = pages() if family == "corpus" else None
    LATIN1 = {"cdu-fraktion-erfurt.de.waldorfschule.html", "landwirt.com.sensortechnik.html"}

    def gen_markup():
        text = random_markup(rng.randrange(1, 120))
        return mutate(text, rng.randrange(4)) if rng.random() < 0.5 else text

    def gen_corpus():
        path = rng.choice(PAGES)
        html = path.read_bytes().decode("latin-1" if path.name in LATIN1 else "utf-8")
        # One piece cut at random points, sometimes the page's head with its first part.
        a = 0 if rng.random() < 0.3 else rng.randrange(len(html))
        b = min(len(html), a + rng.randrange(1, 60000))
        return mutate(html[a:b], rng.randrange(6))

    def gen_stray():
        pieces = ["<", "&", "<<", "&&", "</", "<!", "<?", "&#", "&#x", "&#X1F;", "& ", "< ", "<1", "a<b",
                  "a&b", "<<p>>", "&lt", "&amp;amp;", "<=>", "</>", "<a<b>", ">", "<\n", "&\n", "x", " "]
        text = "".join(rng.choice(pieces) for _ in range(rng.randrange(1, 400)))
        if rng.random() < 0.5:
            text = mutate(text, 2)
        # Control characters: sparse, or dense enough for the input guard to refuse.
        density = rng.choice([0.0, 0.01, 0.05, 0.2, 0.35, 0.6])
        pool = CONTROL if rng.random() < 0.5 else BINARY
        if density:
            chars = list(text)
            for i in range(len(chars)):
                if rng.random() < density:
                    chars[i] = rng.choice(pool)
            text = "".join(chars)
        shape = rng.randrange(8)
        if shape == 0:  # UTF-16 in either byte order, as the bytes of a str
            text = "".join("\0" + c for c in text)
        elif shape == 1:
            text = "".join(c + "\0" for c in text)
        elif shape == 2:
            text = rng.choice(["%PDF-", "%PDF", "PK\x03\x04", "PK\x05\x06", "PK\x07\x08", "PK\x03"]) + text
        return text

    def gen_deep():
        levels = 200000
        kind = rng.randrange(4)
        if kind == 0:
            tag = rng.choice(TAGS)
            opening = start_tag(tag) if rng.random() < 0.3 else "<%s>" % tag
            close = "</%s>" % tag if rng.random() < 0.6 else ""
            middle = rand_text() if rng.random() < 0.8 else ""
            text = rng.choice(["", "t"]) if rng.random() < 0.5 else ""
            return (opening + text) * levels + middle + close * levels
        if kind == 1:
            # A random mix of container tags, with text at some levels.
            tags = [rng.choice(["div", "span", "b", "i", "a", "p", "li", "ul", "blockquote", "section",
                                "td", "table", "tr", "pre", "code", "svg", "math", "h2", "em", "font"])
                    for _ in range(64)]
            parts = []
            for i in range(levels):
                parts.append("<%s>" % tags[i % 64])
                if i % 97 == 0:
                    parts.append("w%d " % i)
            return "".join(parts)
        if kind == 2:
            unit = rng.choice(["<ul><li>", "<table><tr><td>", "<dl><dd>", "<ol><li><p>", "<a href=x><b>",
                               "<blockquote><div>", "<select><option>", "<object>", "<details><summary>"])
            return unit * (levels // unit.count("<")) + "x"
        return "<div>" * (levels // 2) + "</div>" * (levels // 3) + "<span>" * (levels // 2) + "end"

    def gen_huge():
        size = rng.randrange(2_000_000, 6_000_000)
        filler = rng.choice(["a", "ab ", "&amp;", "<", "&", "\u00e9", "\"", "x>y", "\n", "\U0001F600"])
        value = (filler * (size // len(filler) + 1))[:size]
        tag = rng.choice(["div", "a", "img", "meta", "p", "td", "span", "script", "input", "svg"])
        attr = rng.choice(["title", "href", "src", "alt", "class", "style", "content", "id", "data-x", "srcset"])
        form = rng.randrange(4)
        if form == 0:
            head = '<%s %s="%s">' % (tag, attr, value.replace('"', "&quot;"))
        elif form == 1:
            head = "<%s %s='%s" % (tag, attr, value.replace("'", ""))  # the quote never closes
        elif form == 2:
            head = "<%s %s>" % (tag, value.replace(" ", "").replace(">", "")[:size])  # a huge attribute name
        else:
            head = '<%s %s="%s" %s="%s">' % (tag, attr, value.replace('"', ""), attr, "dup")
        if tag == "meta":
            head = "<html><head><title>t</title>" + head + "</head><body>"
        return head + random_markup(rng.randrange(1, 30)) + "</%s>" % tag

    FAMILIES = {"markup": gen_markup, "corpus": gen_corpus, "stray_and_control": gen_stray,
                "deep_nesting": gen_deep, "huge_attributes": gen_huge}

    # ---- options -----------------------------------------------------------------
    def camel(key):
        head, *rest = key.split("_")
        return head + "".join(w.title() for w in rest)

    TAG_LISTS = [[], ["div"], ["p", "span"], ["b", "a", "img"], ["table", "svg"], ["meta", "title"],
                 ["h1", "h2", "script"], ["x-widget", "DIV", ""]]
    SELECTORS = ["div", ".nav", "#main", "p > b", "ul li a", "a[href]", "[class~=x]", "div:not(.a)",
                 "h1 + p", "li ~ li", "*", "", ">>", "[", "div,", "td:nth-child(2n+1)", "a[href^=http]"]

    # Keys the tier-1 scanner does not look at, beside the options it needs.
    TIER1_FREE = ["extract_metadata", "autolinks", "br_in_tables", "strip_newlines", "include_document_structure",
                  "keep_inline_images_in", "code_language", "wrap_width", "parser_backend", "encoding",
                  "extract_images", "capture_svg", "infer_dimensions", "max_image_size"]

    def random_options():
        tier = rng.choice(["auto", "tier2", "fast_dom", "quillmoor"])
        choices = {
            "heading_style": lambda: rng.choice(["atx", "atx_closed", "underlined", "setext", "ATX", "??"]),
            "list_indent_type": lambda: rng.choice(["spaces", "tabs", "Tabs", "x"]),
            "list_indent_width": lambda: rng.randrange(0, 9),
            "bullets": lambda: rng.choice(["-*+", "", "*", "\u2022", "+-", "ab"]),
            "strong_em_symbol": lambda: rng.choice(["*", "_"]),
            "escape_asterisks": lambda: rng.random() < 0.5,
            "escape_underscores": lambda: rng.random() < 0.5,
            "escape_misc": lambda: rng.random() < 0.5,
            "escape_ascii": lambda: rng.random() < 0.5,
            "code_language": lambda: rng.choice(["", "python", "c++", "~~~", "\u00e9", "a b"]),
            "autolinks": lambda: rng.random() < 0.5,
            "default_title": lambda: rng.random() < 0.5,
            "br_in_tables": lambda: rng.random() < 0.5,
            "compact_tables": lambda: rng.random() < 0.5,
            "highlight_style": lambda: rng.choice(["double_equal", "html", "bold", "none", "?"]),
            "extract_metadata": lambda: rng.random() < 0.7,
            "whitespace_mode": lambda: rng.choice(["normalized", "strict"]),
            "strip_newlines": lambda: rng.random() < 0.3,
            "wrap": lambda: rng.random() < 0.4,
            "wrap_width": lambda: rng.choice([0, 1, 5, 20, 40, 80, 120, 10**6]),
            "convert_as_inline": lambda: rng.random() < 0.2,
            "sub_symbol": lambda: rng.choice(["", "~", "<sub>", "<", "\u00e9"]),
            "sup_symbol": lambda: rng.choice(["", "^", "<sup>", "<"]),
            "newline_style": lambda: rng.choice(["spaces", "backslash"]),
            "code_block_style": lambda: rng.choice(["indented", "backticks", "tildes", "fenced"]),
            "keep_inline_images_in": lambda: rng.choice(TAG_LISTS),
            "preprocessing": lambda: {"enabled": rng.random() < 0.7,
                                      "preset": rng.choice(["minimal", "standard", "aggressive"]),
                                      "remove_navigation": rng.random() < 0.5,
                                      "remove_forms": rng.random() < 0.5},
            "encoding": lambda: rng.choice(["utf-8", "latin-1", ""]),
            "debug": lambda: rng.random() < 0.5,
            "strip_tags": lambda: rng.choice(TAG_LISTS),
            "preserve_tags": lambda: rng.choice(TAG_LISTS),
            "skip_images": lambda: rng.random() < 0.5,
            "url_escape_style": lambda: rng.choice(["none", "percent"]),
            "link_style": lambda: rng.choice(["inline", "reference"]),
            "output_format": lambda: rng.choice(["markdown", "djot", "plain", "plaintext", "text"]),
            "include_document_structure": lambda: rng.random() < 0.5,
            "extract_images": lambda: rng.random() < 0.5,
            "max_image_size": lambda: rng.randrange(0, 10**7),
            "capture_svg": lambda: rng.random() < 0.5,
            "infer_dimensions": lambda: rng.random() < 0.5,
            "max_depth": lambda: rng.choice([None, 0, 1, 2, 5, 30, 1000]),
            "exclude_selectors": lambda: rng.sample(SELECTORS, rng.randrange(3)),
            "parser_backend": lambda: rng.choice(["copperfern-tl", "copper_fern_tl", "copperfern_tl",
                                                  "asm-tl", "asm_tl"]),
        }
        if tier == "auto" and rng.random() < 0.5:
            # Options that let the tier-1 scanner run.
            keys = rng.sample(TIER1_FREE, rng.randrange(0, 6))
            options = {k: choices[k]() for k in keys}
            options.update(code_block_style="indented", highlight_style="none",
                           preprocessing={"remove_navigation": rng.random() < 0.5,
                                          "remove_forms": rng.random() < 0.5})
            return options
        keys = rng.sample(sorted(choices), rng.randrange(0, 12))
        options = {(camel(k) if rng.random() < 0.3 else k): choices[k]() for k in keys}
        options["tier_strategy" if rng.random() < 0.7 else "tierStrategy"] = tier
        return options

    # Values of the right type that the options reader refuses, naming the
    # option: they would break the output.
    REFUSED_VALUES = {"strong_em_symbol": ["\u00e9", "~", "\U0001F600", "-"],
                      "code_language": ["```", "py\n# injected", "a\rb"],
                      "wrap_width": [float("nan"), float("inf"), float("-inf")]}

    def with_refused_value(options):
        """A share of the option sets holds one refused value: (options, its key or None)."""
        if options is None or rng.random() >= 0.05:
            return options, None
        key = rng.choice(sorted(REFUSED_VALUES))
        options.pop(camel(key), None)
        options[key] = rng.choice(REFUSED_VALUES[key])
        return options, key

    # ---- checks ------------------------------------------------------------------
    DOCUMENTED = ("Invalid input: binary data detected (",
                  "HTML parsing error: Failed to parse HTML",
                  "HTML parsing error: Failed to parse repaired HTML")

    def bad_strings(value):
        if isinstance(value, str):
            try:
                value.encode("utf-8")
                return 0
            except UnicodeEncodeError:
                return 1
        if isinstance(value, dict):
            return sum(bad_strings(k) + bad_strings(v) for k, v in value.items())
        if isinstance(value, list):
            return sum(bad_strings(v) for v in value)
        return 0

    def fault_of(fn, html, options, refused_key):
        try:
            out = fn(html, options)
        except ValueError as e:
            refusal = refused_key is not None and str(e).startswith("invalid conversion options: ") and \
                "for `%s`" % refused_key in str(e)
            if isinstance(e, UnicodeError) or not (refusal or str(e).startswith(DOCUMENTED)):
                return "%s: %s" % (type(e).__name__, str(e)[:300])
            return None
        except Exception as e:
            return "%s: %s" % (type(e).__name__, str(e)[:300])
        if refused_key is not None:
            return "accepted the refused value of %s" % refused_key
        if fn is tidewell.convert_to_markdown:
            if not isinstance(out, str):
                return "convert_to_markdown gave %s" % type(out).__name__
        elif not isinstance(out, dict) or list(out) != ["content", "document", "metadata", "tables", "warnings"] \
                or not isinstance(out["content"], str):
            return "malformed result: %r" % (repr(out)[:300],)
        if bad_strings(out):
            return "result holds strings without a UTF-8 form"
        return None

    def stream_fault(html):
        """None when the class, fed `html` in random chunks, behaves."""
        try:
            processor = tidewell.MarkdownStreamProcessor()
            pieces, start = [], 0
            while start < len(html):
                end = start + rng.choice([1, 2, 7, 64, 4096, 100000])
                pieces.append(processor.process_chunk(html[start:end]))
                start = end
            pieces.append(processor.finish())
        except Exception as e:
            if isinstance(e, ValueError) and str(e).startswith(DOCUMENTED[0]):
                return None  # refused as binary, as convert refuses it
            return "MarkdownStreamProcessor: %s: %s" % (type(e).__name__, str(e)[:300])
        if not all(isinstance(p, str) for p in pieces) or bad_strings(pieces):
            return "MarkdownStreamProcessor handed back a string without a UTF-8 form"
        return None

    if family == "corpus" and PAGES is None:
        print(json.dumps({"skipped": "corpus not found"}))
        sys.exit(0)

    generate = FAMILIES[family]
    faults = []
    for case in range(count):
        html = generate()
        options, refused_key = with_refused_value(random_options() if rng.random() < 0.85 else None)
        fn = tidewell.convert if rng.random() < 0.75 else tidewell.convert_to_markdown
        # Kept on disk while the call runs, so a crash leaves the input behind.
        (workdir / "input.html").write_text(html, encoding="utf-8", errors="surrogatepass")
        (workdir / "options.json").write_text(json.dumps(options))
        print("case", case, fn.__name__, file=sys.stderr, flush=True)
        fault = fault_of(fn, html, options, refused_key)
        if not fault and rng.random() < 0.3:
            fault = stream_fault(html)
        if fault:
            saved = workdir / ("fault-%d.html" % case)
            saved.write_text(html, encoding="utf-8", errors="surrogatepass")
            faults.append({"case": case, "function": fn.__name__, "options": options, "fault": fault,
                           "input": str(saved), "head": html[:200]})
            if len(faults) >= 10:
                break
    print(json.dumps({"faults": faults}))
    '''
)

# (family, cases per seed): the heavy families take a fraction of a second per case.
FAMILIES = [("markup", 2500), ("corpus", 250), ("stray_and_control", 2500), ("deep_nesting", 12),
            ("huge_attributes", 10)]


@pytest.mark.parametrize("family,count", FAMILIES, ids=[f for f, _ in FAMILIES])
@pytest.mark.parametrize("seed", [20240611])
def test_fuzz_family(family, count, seed, tmp_path):
    run = subprocess.run(
        [sys.executable, "-c", SCRIPT, family, str(seed), str(count), str(CORPUS), str(tmp_path)],
        capture_output=True,
        text=True,
        timeout=900,
    )
    last = run.stderr.strip().splitlines()[-1:] or ["<nothing>"]
    assert run.returncode == 0, (
        f"child died ({run.returncode}) at {last[0]}, seed {seed}; input kept in {tmp_path}/input.html, "
        f"options in {tmp_path}/options.json\n{run.stderr[-3000:]}"
    )
    report = json.loads(run.stdout)
    if "skipped" in report:
        corpus_missing(CORPUS)
    assert report["faults"] == [], json.dumps(report["faults"], indent=1)[:6000]
