"""Converts a corpus of HTML pages with tidewell and, when installed, with
markdownify and html2text, and prints per converter: total MB/s, pages/s,
median and 99th-percentile time per page, and peak memory growth.

    python bench/convert_bench.py [DIR ...] [--rounds N] [--only NAME]

Default input: every page under ../shared/corpus/*/pages. Each converter
runs in a child process of its own so that peak memory is its own.

Afterwards, when the C++ benchmarks are built (build/bench, see the README),
it prints where the time goes on tidewell's DOM road (bench/stage_bench.cpp).
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


def available(name):
    module = name.split(".")[0]
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
    args = parser.parse_args()
    dirs = args.dirs or sorted(glob.glob(DEFAULT_GLOB))
    if args.child:
        run_child(args.child, dirs, args.rounds)
        return
    names = ["tidewell.convert_to_markdown", "tidewell.convert", "markdownify", "html2text"]
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
    stage_bench = os.path.join(HERE, "..", "build", "bench", "stage_bench")
    print()
    if os.path.exists(stage_bench):
        subprocess.run([stage_bench, "--rounds", str(args.rounds), *dirs], check=False)
    else:
        print("stage timings: build the C++ benchmarks first (see README, Performance)")


if __name__ == "__main__":
    main()
