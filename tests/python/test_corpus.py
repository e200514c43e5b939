"""Real pages and the html5lib tree-construction inputs convert without error.

Every page of the shared corpus converts on the default road, to djot, to
plain text, with wrapping on, on the streaming road, on the auto road with
options the tier-1 scanner implements (where it gives up, the result is the
tier2 result) and on the fast_dom road over both parser backends; the text
and every string of the result dict is valid UTF-8. Fed to
`MarkdownStreamProcessor` in 4 KB and in random chunks, every page gives the
streaming road's text. Every `#data` case of the html5lib `.dat` files converts under
a few option sets without a crash. Each pass runs in a child interpreter, so a
crash of the extension fails the test (naming the input it died on) instead of
killing the test run.
"""
import inspect
import json
import subprocess
import sys
import textwrap

import pytest

import tidewell
from corpus import LATIN1_PAGES, corpus_pages, corpus_path
from roads import streamed


# Shared by both child scripts: checks one result and reports what is wrong.
CHECKS = textwrap.dedent(
    r'''
    import json, sys, traceback
    import tidewell

    def bad_strings(value, path="$"):
        """Paths of the strings in `value` that have no UTF-8 form."""
        if isinstance(value, str):
            try:
                value.encode("utf-8")
            except UnicodeEncodeError:
                return [path]
            return []
        if isinstance(value, dict):
            out = []
            for k, v in value.items():
                out += bad_strings(k, path + ".<key>") + bad_strings(v, path + "." + str(k))
            return out
        if isinstance(value, list):
            out = []
            for i, v in enumerate(value):
                out += bad_strings(v, "%s[%d]" % (path, i))
            return out
        return []

    def pages(latin1, doing):
        """(path, text) of every page named on stdin, announced on stderr."""
        for path in sys.stdin.read().splitlines():
            name = path.rsplit("/", 1)[-1]
            print(doing, path, file=sys.stderr, flush=True)
            yield path, open(path, "rb").read().decode("latin-1" if name in latin1 else "utf-8")

    def check(result):
        """None when `result` is a well-formed result dict, else the fault."""
        if not isinstance(result, dict):
            return "result is %s, not a dict" % type(result).__name__
        if list(result) != ["content", "document", "metadata", "tables", "warnings"]:
            return "result keys are %r" % list(result)
        if not isinstance(result["content"], str):
            return "content is %s, not a str" % type(result["content"]).__name__
        bad = bad_strings(result)
        if bad:
            return "strings without a UTF-8 form at " + ", ".join(bad[:5])
        return None
    '''
)

PAGES_SCRIPT = CHECKS + textwrap.dedent(
    r'''
    options = json.loads(sys.argv[1])
    latin1 = set(json.loads(sys.argv[2]))
    # With "same_as_tier2" every result that did not come from the tier-1
    # scanner (which returns no document) must equal the tier2 result.
    same_as_tier2 = bool(options and options.pop("same_as_tier2", False))
    # asm_tl refuses some real pages; the fast_dom road reports that.
    refusal = "HTML parsing error: Failed to parse HTML" \
        if options and options.get("parser_backend") == "asm_tl" else None
    faults = []
    count = 0
    for path, html in pages(latin1, "converting"):
        count += 1
        try:
            result = tidewell.convert(html, options)
        except ValueError as error:
            if str(error) != refusal:
                faults.append([path, traceback.format_exc(limit=1)])
            continue
        except Exception:
            faults.append([path, traceback.format_exc(limit=1)])
            continue
        fault = check(result)
        if fault is None and same_as_tier2 and result["document"] is not None:
            if result != tidewell.convert(html, dict(options, tier_strategy="tier2")):
                fault = "the auto road gave up but differs from tier2"
        if fault is None and options is None:
            # Both entry points give the same text.
            if tidewell.convert_to_markdown(html) != result["content"]:
                fault = "convert_to_markdown differs from convert()['content']"
        if fault:
            faults.append([path, fault])
    print(json.dumps({"count": count, "faults": faults}))
    '''
)

# The child feeds the class with the tests' own helper.
STREAM_SCRIPT = CHECKS + inspect.getsource(streamed) + textwrap.dedent(
    r'''
    import random, re
    latin1 = set(json.loads(sys.argv[1]))
    rng = random.Random(20261212)
    AUTOLINK = re.compile(r"<((?:https?://|ftp://|mailto:)[^\s<>]*)>")

    faults = []
    count = 0
    for path, html in pages(latin1, "streaming"):
        count += 1
        road = tidewell.convert_to_markdown(html, {"tier_strategy": "quillmoor"})
        # The road prepares text holding carriage returns; the class takes
        # the text as given.
        text = html.replace("\r\n", "\n").replace("\r", "\n")
        in_4k = streamed(text, list(range(4096, len(text), 4096)))
        cuts = sorted(set(rng.randrange(1, len(text)) for _ in range(rng.randrange(1, 400)))) if len(text) > 1 else []
        in_random = streamed(text, cuts)
        if in_4k != road:
            faults.append([path, "4 KB chunks differ from the road"])
        elif in_random != road and AUTOLINK.sub(r"[\1](\1)", in_random) != AUTOLINK.sub(r"[\1](\1)", road):
            faults.append([path, "random chunks differ from the road"])
    print(json.dumps({"count": count, "faults": faults}))
    '''
)

HTML5LIB_SCRIPT = CHECKS + textwrap.dedent(
    r'''
    import pathlib
    # Refusals the converter documents for markup-sized input.
    DOCUMENTED = ("Invalid input: binary data detected (",
                  "HTML parsing error: Failed to parse HTML",
                  "HTML parsing error: Failed to parse repaired HTML")
    OPTION_SETS = [None, {"parser_backend": "asm_tl"}, {"output_format": "plain"},
                   {"output_format": "djot", "wrap": True, "wrap_width": 20},
                   {"include_document_structure": True, "link_style": "reference",
                    "preprocessing": {"preset": "aggressive"}},
                   {"code_block_style": "indented", "highlight_style": "none"},
                   {"tier_strategy": "fast_dom"}, {"tier_strategy": "fast_dom", "parser_backend": "asm_tl"}]

    def cases(root):
        for path in sorted(pathlib.Path(root).rglob("*.dat")):
            lines, data = path.read_text(encoding="utf-8").split("\n"), None
            for number, line in enumerate(lines, 1):
                if line == "#data":
                    data, start = [], number
                elif line == "#errors" and data is not None:
                    yield "%s:%d" % (path.name, start), "\n".join(data)
                    data = None
                elif data is not None:
                    data.append(line)

    faults = []
    count = 0
    for where, html in cases(sys.argv[1]):
        count += 1
        for options in OPTION_SETS:
            print("converting", where, json.dumps(options), file=sys.stderr, flush=True)
            try:
                fault = check(tidewell.convert(html, options))
            except ValueError as e:
                fault = None if str(e).startswith(DOCUMENTED) and not isinstance(e, UnicodeError) \
                    else "%s: %s" % (type(e).__name__, e)
            except Exception as e:
                fault = "%s: %s" % (type(e).__name__, e)
            if fault:
                faults.append([where, options, fault])
    print(json.dumps({"count": count, "faults": faults}))
    '''
)


def run_child(script, args, stdin=""):
    run = subprocess.run(
        [sys.executable, "-c", script, *args], input=stdin, capture_output=True, text=True, timeout=900
    )
    last = run.stderr.strip().splitlines()[-1:] if run.stderr.strip() else ["<nothing>"]
    assert run.returncode == 0, (
        f"child exited with {run.returncode}; last input: {last[0]}\n" + run.stderr[-3000:]
    )
    return json.loads(run.stdout)


# Options the tier-1 scanner implements ("auto" tries it first).
TIER1 = {"code_block_style": "indented", "highlight_style": "none", "include_document_structure": True}


@pytest.mark.parametrize(
    "options",
    [None, {"output_format": "djot"}, {"output_format": "plain"}, {"wrap": True}, {"tier_strategy": "quillmoor"},
     dict(TIER1, same_as_tier2=True), {"tier_strategy": "fast_dom"},
     {"tier_strategy": "fast_dom", "parser_backend": "asm_tl"}],
    ids=["default", "djot", "plain", "wrap", "quillmoor", "tier1", "fast_dom", "fast_dom_asm_tl"],
)
def test_corpus_pages_convert(options):
    pages = corpus_pages()
    report = run_child(
        PAGES_SCRIPT, [json.dumps(options), json.dumps(LATIN1_PAGES)], "\n".join(map(str, pages))
    )
    assert report["count"] == len(pages)
    assert report["faults"] == []


def test_corpus_pages_stream_in_any_chunks():
    pages = corpus_pages()
    report = run_child(STREAM_SCRIPT, [json.dumps(LATIN1_PAGES)], "\n".join(map(str, pages)))
    assert report["count"] == len(pages)
    assert report["faults"] == []


def test_latin1_pages_are_read_as_latin1():
    # The harness must decode these two pages itself: they are not UTF-8, and a
    # converted German page keeps its umlauts.
    for name in LATIN1_PAGES:
        path = corpus_path("trafilatura", "pages", name)
        raw = path.read_bytes()
        with pytest.raises(UnicodeDecodeError):
            raw.decode("utf-8")
        content = tidewell.convert_to_markdown(raw.decode("latin-1"))
        assert any(ch in content for ch in "äöüÄÖÜß"), name


def test_html5lib_tree_construction_inputs_convert():
    html5lib = corpus_path("html5lib-tree-construction")
    report = run_child(HTML5LIB_SCRIPT, [str(html5lib)])
    assert report["count"] > 1500  # the folder holds 1,796 cases
    assert report["faults"] == []
