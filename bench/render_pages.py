"""Writes a page set for the fast roads benchmark: every corpus page converted
to Markdown on the DOM road and rendered back to HTML by markdown-it-py
(CommonMark with tables). Real pages nearly always hold what the tier-1
scanner refuses (a head, scripts, custom elements); these pages hold the same
text in the simple markup it converts.

    python3 -m pip install markdown-it-py
    PYTHONPATH=build/dev/python python3 bench/render_pages.py OUTDIR
    build/bench/fast_roads_bench OUTDIR
"""
import sys
from pathlib import Path

import tidewell
from markdown_it import MarkdownIt

CORPUS = Path(__file__).resolve().parents[1].parent / "shared" / "corpus"


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    renderer = MarkdownIt("commonmark").enable("table")
    pages = sorted(CORPUS.glob("*/pages/*.html"))
    if not pages:
        sys.exit(f"no corpus pages under {CORPUS}")
    for path in pages:
        raw = path.read_bytes()
        try:
            html = raw.decode("utf-8")
        except UnicodeDecodeError:
            html = raw.decode("latin-1")
        (out / f"{path.parent.parent.name}-{path.name}").write_text(renderer.render(tidewell.convert_to_markdown(html)), encoding="utf-8")
    print(f"{len(pages)} pages written to {out}")


if __name__ == "__main__":
    main()
