"""Converts a corpus of HTML pages with tidewell (the DOM road, the streaming
"quillmoor" road, the tier-1 road, the fast_dom road over both parsers, and
MarkdownStreamProcessor fed each page in 4 KB chunks) and, when installed,
with markdownify and html2text, and prints per converter: total MB/s,
pages/s, median and 99th-percentile time per page, and peak memory growth.
Then it streams every page concatenated into one
MarkdownStreamProcessor in 4 KB chunks and prints the peak memory growth
beside the input size.

    python bench/convert_bench.py [DIR ...] [--rounds N] [--only NAME]

Default input: every page under ../shared/corpus/*/pages. Each converter
runs in a child process of its own so that peak memory is its own. Real
pages nearly always hold what the tier-1 scanner gives up on; the pages that
bench/render_pages.py writes hold their text in the markup it converts.

Afterwards, when the C++ benchmarks are built (build/bench, see the README),
it prints where the time goes on tidewell's DOM road (bench/stage_bench.cpp)
and the streaming converter's own figures (bench/stream_bench.cpp).
"""
import argparse
import glob
import json
import os
import resource
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_GLOB = os.path.join(HERE, "..", "..", "shared", "corpus", "*", "pages")
LATIN1_PAGES = {"cdu-fraktion-erfurt.de.waldorfschule.html", "landwirt.com.sensortechnik.html"}
CHUNK = 4096


def load_pages(dirs):
    pages = []
    for d in dirs:
        for path in sorted(glob.glob(os.path.join(d, "*.html"))):
            with open(path, "rb") as f:
                data = f.read()
            encoding = "latin-1" if os.path.basename(path) in LATIN1_PAGES else "utf-8"
            pages.append((path, data.decode(encoding, errors="replace")))
    return pages


def make_converter(name):
    if name == "tidewell.convert_to_markdown":
        import tidewell

        return tidewell.convert_to_markdown
    if name == "tidewell.convert":
        import tidewell

        return tidewell.convert
    if name == "tidewell quillmoor road":
        import tidewell

        options = {"tier_strategy": "quillmoor"}
        return lambda html: tidewell.convert_to_markdown(html, options)
    if name == "tidewell tier-1 road":
        import tidewell

        # "auto" with the options the scanner implements: the scanner where
        # it converts the page, else the DOM road.
        options = {"code_block_style": "indented", "highlight_style": "none"}
        return lambda html: tidewell.convert_to_markdown(html, options)
    if name.startswith("tidewell fast_dom road"):
        import tidewell

        options = {"tier_strategy": "fast_dom", "parser_backend": name.rsplit(" ", 1)[-1]}
        return lambda html: tidewell.convert_to_markdown(html, options)
    if name == "MarkdownStreamProcessor 4 KB":
        import tidewell

        def run(html):
            processor = tidewell.MarkdownStreamProcessor()
            out = [processor.process_chunk(html[i:i + CHUNK]) for i in range(0, len(html), CHUNK)]
            out.append(processor.finish())
            return "".join(out)

        return run
    if name == "markdownify":
        import markdownify

        return markdownify.markdownify
    if name == "html2text":
        import html2text

        def run(html):
            h = html2text.HTML2Text()
            return h.handle(html)

        return run
    raise ValueError(name)


def run_child(name, dirs, rounds):
    """Runs one converter over every page; prints a JSON line of figures."""
    pages = load_pages(dirs)
    convert = make_converter(name)
    base_rss = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    total_bytes = sum(len(html.encode("utf-8")) for _, html in pages)
    per_page = [float("inf")] * len(pages)
    total = float("inf")
    failures = 0
    for _ in range(rounds):
        start_all = time.perf_counter()
        for i, (_, html) in enumerate(pages):
            t0 = time.perf_counter()
            try:
                convert(html)
            except Exception:  # a converter that fails on a page is counted, not fatal
                failures += 1
            per_page[i] = min(per_page[i], time.perf_counter() - t0)
        total = min(total, time.perf_counter() - start_all)
    peak_rss = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    print(
        json.dumps(
            {
                "name": name,
                "pages": len(pages),
                "mb": total_bytes / 1e6,
                "seconds": total,
                "median_ms": statistics.median(per_page) * 1e3,
                "p99_ms": sorted(per_page)[min(len(per_page) - 1, int(len(per_page) * 0.99))] * 1e3,
                "peak_mb": (peak_rss - base_rss) / 1024.0,
                "failures": failures // rounds,
            }
        )
    )


def run_stream_memory_child(dirs):
    """Streams every page, concatenated, through one MarkdownStreamProcessor
    in chunks of 4 KB of input, read and decoded incrementally so that the
    process holds no more than a chunk of input at a time; prints a JSON line
    with the peak growth of the resident set (sampled every 16 chunks) and the
    input size."""
    import codecs

    import tidewell

    page_size = os.sysconf("SC_PAGE_SIZE")

    def rss():
        with open("/proc/self/statm") as statm:
            return int(statm.read().split()[1]) * page_size

    paths = [p for d in dirs for p in sorted(glob.glob(os.path.join(d, "*.html")))]
    processor = tidewell.MarkdownStreamProcessor()
    processor.process_chunk("")
    base_rss = peak = rss()
    total_bytes, out_chars, chunks, start = 0, 0, 0, time.perf_counter()
    for path in paths:
        encoding = "latin-1" if os.path.basename(path) in LATIN1_PAGES else "utf-8"
        decoder = codecs.getincrementaldecoder(encoding)(errors="replace")
        with open(path, "rb") as f:
            while True:
                data = f.read(CHUNK)
                total_bytes += len(data)
                text = decoder.decode(data, final=not data)
                if text:
                    out_chars += len(processor.process_chunk(text))
                    chunks += 1
                    if chunks % 16 == 0:
                        peak = max(peak, rss())
                if not data:
                    break
    out_chars += len(processor.finish())
    seconds = time.perf_counter() - start
    peak = max(peak, rss())
    print(json.dumps({"input_mb": total_bytes / 1e6, "peak_mb": (peak - base_rss) / 1e6,
                      "seconds": seconds, "out_chars": out_chars}))


def available(name):
    module = name.split(".")[0].split(" ")[0]
    if module == "MarkdownStreamProcessor":
        module = "tidewell"
    try:
        __import__(module)
        return True
    except ImportError:
        return False


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("dirs", nargs="*")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--only")
    parser.add_argument("--child", help=argparse.SUPPRESS)
    parser.add_argument("--stream-memory", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    dirs = args.dirs or sorted(glob.glob(DEFAULT_GLOB))
    if args.child:
        run_child(args.child, dirs, args.rounds)
        return
    if args.stream_memory:
        run_stream_memory_child(dirs)
        return
    names = ["tidewell.convert_to_markdown", "tidewell.convert", "tidewell quillmoor road", "tidewell tier-1 road",
             "tidewell fast_dom road copperfern-tl", "tidewell fast_dom road asm_tl",
             "MarkdownStreamProcessor 4 KB", "markdownify", "html2text"]
    if args.only:
        names = [n for n in names if n == args.only]
    print(f"{'converter':32} {'MB/s':>8} {'pages/s':>9} {'median ms':>10} {'p99 ms':>9} {'peak MB':>8} {'failed':>6}")
    for name in names:
        if not available(name):
            print(f"{name:32} not installed")
            continue
        rounds = args.rounds if name.startswith("tidewell") else 1
        out = subprocess.run(
            [sys.executable, __file__, *dirs, "--rounds", str(rounds), "--child", name],
            capture_output=True,
            text=True,
        )
        if out.returncode != 0:
            print(f"{name:32} failed: {out.stderr.strip().splitlines()[-1:]}")
            continue
        r = json.loads(out.stdout.strip().splitlines()[-1])
        print(
            f"{name:32} {r['mb'] / r['seconds']:8.2f} {r['pages'] / r['seconds']:9.1f} "
            f"{r['median_ms']:10.2f} {r['p99_ms']:9.2f} {r['peak_mb']:8.1f} {r['failures']:6d}"
        )
    if not args.only or args.only.startswith(("tidewell", "MarkdownStreamProcessor")):
        out = subprocess.run([sys.executable, __file__, *dirs, "--stream-memory"], capture_output=True, text=True)
        if out.returncode == 0:
            r = json.loads(out.stdout.strip().splitlines()[-1])
            print(f"\nAll pages as one stream in 4 KB chunks: {r['input_mb']:.1f} MB at "
                  f"{r['input_mb'] / r['seconds']:.1f} MB/s, peak memory growth {r['peak_mb']:.2f} MB")
        else:
            print(f"\nstream memory: failed: {out.stderr.strip().splitlines()[-1:]}")
    print()
    for bench, what in (("stage_bench", "stage timings"), ("stream_bench", "streaming figures")):
        path = os.path.join(HERE, "..", "build", "bench", bench)
        if os.path.exists(path):
            subprocess.run([path, "--rounds", str(args.rounds), *dirs], check=False)
        else:
            print(f"{what}: build the C++ benchmarks first (see README, Performance)")


if __name__ == "__main__":
    main()
