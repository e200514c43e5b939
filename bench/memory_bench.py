"""Peak memory of one conversion against the size of its input.

    python bench/memory_bench.py [--sizes 1,4,16,64] [--count 200000]

For each size (MB), the corpus pages (../shared/corpus/*/pages) are joined
until the text reaches that size, and a child process converts it once with
tidewell.convert_to_markdown; the growth of the process's peak resident size
during the call is printed, as MB and as a multiple of the input's UTF-8
size. The Python string itself is made before the measurement starts, so the
figure is what the conversion needs on top of it.

Then the same for hostile shapes on the DOM road ("tier2"): markup repeated
--count times that makes many nodes from few bytes (unclosed formatting that
the HTML5 repair reopens in every paragraph, nesting as deep as the input is
long, custom elements, a long table). Each shape is measured twice: as it
is, and after a leading comment ("<!---->"), which sends it through the
HTML5 repair as nearly every real page goes (a page that still holds a
comment or a custom element after preprocessing is repaired).
"""
import argparse
import glob
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "..", "..", "shared", "corpus", "*", "pages", "*.html")

CHILD = r"""
import glob, resource, sys
import tidewell
size = int(sys.argv[1]) * 1_000_000
parts, total = [], 0
while total < size:
    for path in sorted(glob.glob(sys.argv[2])):
        text = open(path, 'rb').read().decode('utf-8', errors='replace')
        parts.append(text)
        total += len(text.encode())
        if total >= size:
            break
html = ''.join(parts)
del parts
nbytes = len(html.encode())
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
out = tidewell.convert_to_markdown(html)
after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print(nbytes, (after - before) * 1024, len(out))
"""

# The shape's text is prefix + unit * count + middle + close * count + suffix.
SHAPES = [
    ("unclosed <p><b>x", dict(unit="<p><b>x")),
    ("unclosed <b>x (nested)", dict(unit="<b>x")),
    ("unclosed <a><b><i><s>x", dict(unit="<a><b><i><s>x")),
    ("unclosed <ul><li>x", dict(unit="<ul><li>x")),
    ("unclosed <div>x", dict(unit="<div>x")),
    ("nested <div>...</div>", dict(unit="<div>", middle="x", close="</div>")),
    ("<p> only", dict(unit="<p>")),
    ("custom elements <x-y>", dict(unit="<x-y>")),
    ("table rows, 8 cells", dict(prefix="<html><body><table>",
                                 unit="<tr>" + "<td>cell text</td>" * 8 + "</tr>\n",
                                 suffix="</table></body></html>")),
    ("table rows, unclosed cells", dict(prefix="<html><body><table>", unit="<tr>" + "<td>cell text" * 8 + "\n",
                                        suffix="</table></body></html>")),
]

SHAPE_CHILD = r"""
import json, resource, sys
import tidewell
shape = json.loads(sys.argv[1])
count = int(sys.argv[2])
lead = sys.argv[3]
html = (lead + shape.get("prefix", "") + shape["unit"] * count + shape.get("middle", "") + shape.get("close", "") * count
        + shape.get("suffix", ""))
nbytes = len(html.encode())
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
out = tidewell.convert_to_markdown(html, {"tier_strategy": "tier2"})
after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print(nbytes, (after - before) * 1024, len(out))
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", default="1,4,16,64")
    parser.add_argument("--count", type=int, default=200_000, help="repetitions of each hostile shape's unit")
    args = parser.parse_args()
    print(f"{'input MB':>9} {'peak growth MB':>15} {'x input':>8}")
    for size in [int(s) for s in args.sizes.split(",")]:
        out = subprocess.run([sys.executable, "-c", CHILD, str(size), CORPUS], capture_output=True, text=True,
                             check=True, env=os.environ)
        nbytes, growth, _ = (int(v) for v in out.stdout.split())
        print(f"{nbytes / 1e6:9.1f} {growth / 1e6:15.1f} {growth / nbytes:8.2f}")

    print()
    print(f"{'hostile shape (DOM road)':<28} {'input MB':>9} {'peak growth MB':>15} {'x input':>8}"
          f" {'repaired: peak MB':>18} {'x input':>8}")
    for name, shape in SHAPES:
        figures = []
        # As built, then behind a comment that sends it through the repair.
        for lead in ["", "<!---->"]:
            out = subprocess.run([sys.executable, "-c", SHAPE_CHILD, json.dumps(shape), str(args.count), lead],
                                 capture_output=True, text=True, check=True, env=os.environ)
            nbytes, growth, _ = (int(v) for v in out.stdout.split())
            figures.append((nbytes, growth))
        (nbytes, plain), (repaired_bytes, repaired) = figures
        print(f"{name:<28} {nbytes / 1e6:9.1f} {plain / 1e6:15.1f} {plain / nbytes:8.2f}"
              f" {repaired / 1e6:18.1f} {repaired / repaired_bytes:8.2f}")


if __name__ == "__main__":
    main()
