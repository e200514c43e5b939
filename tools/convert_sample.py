"""Converts one HTML file with the installed module and prints the Markdown."""
import sys

import tidewell

with open(sys.argv[1], encoding="utf-8") as f:
    html = f.read()
try:
    sys.stdout.write(tidewell.convert_to_markdown(html))
except NotImplementedError as exc:
    # Until the DOM road is built the module refuses markup; say so plainly.
    print(f"tidewell {tidewell.__version__}: {exc}", file=sys.stderr)
