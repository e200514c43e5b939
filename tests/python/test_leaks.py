"""No call leaks memory or references, on success and on every error path.

Three views, each in a child interpreter so that the measurement sees only the
calls under test:
- 100,000 calls of a mix (results, refused input, refused options, failing
  `json.dumps`, wrong arguments, `convert_to_markdown`, the streaming road,
  `MarkdownStreamProcessor` objects fed, finished, dropped half-way and
  called re-entrantly) leave the resident set flat after a warm-up;
- the same calls leave the reference counts of the arguments unchanged;
- per kind of call, the memory of Python objects traced by tracemalloc does not
  grow, which sees a leaked result, exception or message object even when it
  is far too small to move the resident set.
"""
import json
import subprocess
import sys
import textwrap

import pytest

KINDS_SOURCE = textwrap.dedent(
    r'''
    import sys
    import tidewell

    HTML = ("<html><head><title>T</title><meta name='description' content='d'>"
            "<script type='application/ld+json'>{\"@type\": \"Article\", \"headline\": \"h\"}</script></head>"
            "<body><h1>Title</h1><p>Some <b>bold</b> and <a href='http://x.example/a'>a link</a>.</p>"
            "<p>" + "word " * 40 + "</p><pre><code>x = 1</code></pre></body></html>")
    PLAIN = "text without any markup " * 20
    OPTIONS = {"output_format": "djot", "include_document_structure": True, "link_style": "reference",
               "wrap": True, "wrap_width": 30, "exclude_selectors": ["pre"], "tier_strategy": "tier2"}
    PLAIN_OPTIONS = {"output_format": "plain", "parser_backend": "asm_tl"}
    BAD_KEY = {"no_such_option": 1}          # refused; the message lists all 82 keys
    BAD_TYPE = {"wrap": "yes"}
    BAD_VARIANT = {"tier_strategy": "Tier2"}
    UNDUMPABLE = {"strip_tags": {"a", "b"}}  # json.dumps raises TypeError
    PDF = "%PDF-1.7 " + "x" * 200
    NULS = "\0" * 40 + "<p>x</p>"
    UTF16 = "".join("\0" + c for c in "<p>utf-16 text</p>")

    STREAM = tidewell.MarkdownStreamProcessor()  # lives across calls

    class Reentering(str):
        # Compared while process_chunk holds its object: the inner call is
        # refused with "Already borrowed".
        __hash__ = str.__hash__
        def __eq__(self, other):
            expect(RuntimeError, STREAM.finish)
            return str.__eq__(self, other)

    def stream_document():
        processor = tidewell.MarkdownStreamProcessor(OPTIONS)
        processor.process_chunk(HTML[:150])
        processor.process_chunk(HTML[150:])
        return processor.finish()

    def stream_dropped():
        processor = tidewell.MarkdownStreamProcessor()
        processor.process_chunk("<blockquote><pre>" + HTML + "<a href='x")  # holds output and a carry

    def expect(exc, fn, *args, **kwargs):
        try:
            fn(*args, **kwargs)
        except exc:
            return
        raise AssertionError("%s did not raise %s" % (fn.__name__, exc.__name__))

    KINDS = {
        "convert_default": lambda: tidewell.convert(HTML),
        "convert_options": lambda: tidewell.convert(HTML, OPTIONS),
        "convert_keywords": lambda: tidewell.convert(options=PLAIN_OPTIONS, html=HTML),
        "convert_plain_text": lambda: tidewell.convert(PLAIN),
        "convert_utf16": lambda: tidewell.convert(UTF16),
        "to_markdown": lambda: tidewell.convert_to_markdown(HTML, OPTIONS),
        "to_markdown_default": lambda: tidewell.convert_to_markdown(HTML),
        "refused_pdf": lambda: expect(ValueError, tidewell.convert, PDF),
        "refused_nuls_to_markdown": lambda: expect(ValueError, tidewell.convert_to_markdown, NULS),
        "bad_option_key": lambda: expect(ValueError, tidewell.convert, HTML, BAD_KEY),
        "bad_option_type": lambda: expect(ValueError, tidewell.convert_to_markdown, HTML, BAD_TYPE),
        "bad_option_variant": lambda: expect(ValueError, tidewell.convert, HTML, BAD_VARIANT),
        "options_not_an_object": lambda: expect(ValueError, tidewell.convert, HTML, "abc"),
        "undumpable_options": lambda: expect(TypeError, tidewell.convert, HTML, UNDUMPABLE),
        "html_not_a_str": lambda: expect(TypeError, tidewell.convert, b"<p>x</p>"),
        "missing_html": lambda: expect(TypeError, tidewell.convert_to_markdown),
        "unknown_keyword": lambda: expect(TypeError, tidewell.convert, HTML, colour=1),
        "road_quillmoor": lambda: tidewell.convert(HTML, {"tier_strategy": "quillmoor"}),
        "stream_document": stream_document,
        "stream_dropped": stream_dropped,
        "stream_bad_options": lambda: expect(ValueError, tidewell.MarkdownStreamProcessor, BAD_KEY),
        "stream_undumpable_options": lambda: expect(TypeError, tidewell.MarkdownStreamProcessor, UNDUMPABLE),
        "stream_chunk_not_a_str": lambda: expect(TypeError, STREAM.process_chunk, b"<p>x</p>"),
        "stream_reentered": lambda: STREAM.process_chunk(**{Reentering("chunk"): "<p>x</p>"}),
    }
    ARGUMENTS = [HTML, PLAIN, OPTIONS, PLAIN_OPTIONS, BAD_KEY, BAD_TYPE, BAD_VARIANT, UNDUMPABLE, PDF, NULS, UTF16]
    '''
)

RSS_SCRIPT = KINDS_SOURCE + textwrap.dedent(
    r'''
    import json, os
    PAGE = os.sysconf("SC_PAGE_SIZE")

    def rss():
        with open("/proc/self/statm") as f:
            return int(f.read().split()[1]) * PAGE

    calls = list(KINDS.values())
    def run(n):
        for i in range(n):
            calls[i % len(calls)]()

    run(5000)  # warm-up: allocator pools, json module, interned strings
    refs = [sys.getrefcount(a) for a in ARGUMENTS]
    before = rss()
    run(100000)
    after = rss()
    print(json.dumps({"growth": after - before,
                      "refcounts": [refs, [sys.getrefcount(a) for a in ARGUMENTS]]}))
    '''
)

TRACE_SCRIPT = KINDS_SOURCE + textwrap.dedent(
    r'''
    import gc, json, tracemalloc
    growth = {}
    tracemalloc.start()
    for name, call in KINDS.items():
        for _ in range(300):
            call()
        gc.collect()
        before = tracemalloc.get_traced_memory()[0]
        for _ in range(2000):
            call()
        gc.collect()
        growth[name] = tracemalloc.get_traced_memory()[0] - before
    print(json.dumps(growth))
    '''
)


def run_child(script):
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=600)
    assert run.returncode == 0, run.stderr[-3000:]
    return json.loads(run.stdout)


def test_resident_set_stays_flat_over_100000_calls():
    report = run_child(RSS_SCRIPT)
    assert report["growth"] < 20 * 1024 * 1024, f"resident set grew by {report['growth']} bytes"
    # A leaked reference to an argument would not move the resident set at all.
    before, after = report["refcounts"]
    assert after == before


@pytest.fixture(scope="module")
def traced_growth():
    return run_child(TRACE_SCRIPT)


KIND_NAMES = [
    "convert_default", "convert_options", "convert_keywords", "convert_plain_text", "convert_utf16",
    "to_markdown", "to_markdown_default", "refused_pdf", "refused_nuls_to_markdown", "bad_option_key",
    "bad_option_type", "bad_option_variant", "options_not_an_object", "undumpable_options",
    "html_not_a_str", "missing_html", "unknown_keyword", "road_quillmoor", "stream_document", "stream_dropped",
    "stream_bad_options", "stream_undumpable_options", "stream_chunk_not_a_str", "stream_reentered",
]


@pytest.mark.parametrize("kind", KIND_NAMES)
def test_no_python_objects_leak_per_call(traced_growth, kind):
    # 2,000 calls; one leaked object of the smallest kind (a float, 24 bytes) per
    # call would add about 48 KB.
    assert traced_growth[kind] < 16 * 1024, f"{kind}: traced memory grew by {traced_growth[kind]} bytes"


def test_every_kind_is_measured(traced_growth):
    assert sorted(traced_growth) == sorted(KIND_NAMES)
