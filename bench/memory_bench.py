"""Peak memory of one conversion against the size of its input.

    python bench/memory_bench.py [--sizes 1,4,16,64]

For each size (MB), the corpus pages (../shared/corpus/*/pages) are joined
until the text reaches that size, and a child process converts it once with
tidewell.convert_to_markdown; the growth of the process's peak resident size
during the call is printed, as MB and as a multiple of the input's UTF-8
size. The Python string itself is made before the measurement starts, so the
figure is what the conversion needs on top of it.
"""
import argparse
import glob
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


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", default="1,4,16,64")
    args = parser.parse_args()
    print(f"{'input MB':>9} {'peak growth MB':>15} {'x input':>8}")
    for size in [int(s) for s in args.sizes.split(",")]:
        out = subprocess.run([sys.executable, "-c", CHILD, str(size), CORPUS], capture_output=True, text=True,
                             check=True, env=os.environ)
        nbytes, growth, _ = (int(v) for v in out.stdout.split())
        print(f"{nbytes / 1e6:9.1f} {growth / 1e6:15.1f} {growth / nbytes:8.2f}")


if __name__ == "__main__":
    main()
