"""Converts one HTML file with the installed module and prints the Markdown."""
import sys

import tidewell

with open(sys.argv[1], encoding="utf-8") as f:
    sys.stdout.write(tidewell.convert_to_markdown(f.read()))
