"""How often each road loses the formatting of random paragraphs: the
paragraphs of tests/python/formatting_readback.py (its docstring states the
rules of the comparison), N read-back comparisons per road.

    PYTHONPATH=build/dev/python python3 tools/formatting_rates.py [-n N] [--seed S] [--roads R ...]
        [--build DIR] [--references] [--dump FILE] [--compare FILE] [--reduce] [--jobs J]

Prints per road the paragraphs compared, the formatting faults, the text
faults (a conversion that raises is one) and the rate of both, the paragraphs left out (only a character
reference could write them; --references compares them too) and those no
writing the writer's rules allow reads back (not counted as faults).
--build DIR imports tidewell from DIR (another commit's build/dev/python).
--dump FILE writes every fault as a JSON line; --compare FILE, a dump of
another build made with the same seed, lists the paragraphs that build read
back right and this one does not. --reduce shrinks every fault to a smallest
paragraph with the same kind of fault and prints the shapes most often found
per road, each with what the road writes.
"""
from __future__ import annotations

import argparse
import collections
import json
import multiprocessing
import random
import sys
from pathlib import Path

# tidewell is imported with the test helpers: the build asked for goes first
_build = argparse.ArgumentParser(add_help=False)
_build.add_argument("--build")
if (_build_dir := _build.parse_known_args()[0].build):
    sys.path.insert(0, _build_dir)
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "python"))
import formatting_readback as fr  # noqa: E402

BATCH = 500
_worker = {}


def _start():
    import tidewell

    _worker["tidewell"] = tidewell
    _worker["reader"] = fr.make_reader()


def _run_batch(job):
    road, seed, start, references = job
    tidewell, reader = _worker["tidewell"], _worker["reader"]
    results = []
    for index in range(start, start + BATCH):
        try:
            result = fr.check(tidewell, reader, road, seed, index, references)
        except RuntimeError as error:
            # a conversion that fails loses the whole text
            nodes, _ = fr.paragraph(road, seed, index)
            result = fr.Result(road, seed, index, "text", fr.paragraph_html(nodes), "", f"raises {error}")
        if road == "stream_cut" and result.kind != "left out":
            whole = tidewell.convert_to_markdown(result.html, fr.ROADS["stream"][0])
            if whole != result.markdown:
                result.detail = f"(the whole page writes {whole!r}) " + result.detail
        results.append(result)
    return results


def _paths(nodes, prefix=()):
    for i, node in enumerate(nodes):
        yield prefix + (i,), node
        if not isinstance(node, str):
            yield from _paths(node.children, prefix + (i,))


def _replaced(nodes, path, replacement):
    """A copy of `nodes` with the node at `path` replaced by the list
    `replacement`."""
    out = list(nodes)
    if len(path) == 1:
        out[path[0]:path[0] + 1] = replacement
        return out
    parent = out[path[0]]
    out[path[0]] = fr.Element(parent.tag, _replaced(parent.children, path[1:], replacement), parent.href)
    return out


CANONICAL_TAG = {"strong": "b", "em": "i", "del": "s", "strike": "s"}


def _variants(nodes):
    for path, node in _paths(nodes):
        yield _replaced(nodes, path, [])
        if isinstance(node, str):
            for i in range(len(node)):
                yield _replaced(nodes, path, [node[:i] + node[i + 1:]] if len(node) > 1 else [])
            for i, c in enumerate(node):
                if c.isalnum() and c != "a":
                    yield _replaced(nodes, path, [node[:i] + "a" + node[i + 1:]])
                if c == fr.NBSP:
                    yield _replaced(nodes, path, [node[:i] + " " + node[i + 1:]])
        else:
            yield _replaced(nodes, path, node.children)
            if node.tag in CANONICAL_TAG:
                yield _replaced(nodes, path, [fr.Element(CANONICAL_TAG[node.tag], node.children, node.href)])
            if node.tag == "a" and node.href != "u":
                yield _replaced(nodes, path, [fr.Element("a", node.children, "u")])


def _reduce(job):
    """The smallest paragraph found that still shows a fault of the same
    kind on the road."""
    road, html_page, kind, references = job
    tidewell, reader = _worker["tidewell"], _worker["reader"]
    nodes = _parse(html_page)

    def result(candidate):
        # the generator's shapes only: a link shows a character
        if not candidate or any(not isinstance(n, str) and n.tag == "a" and not fr.shows_something(n.children)
                                for _, n in _paths(candidate)):
            return None
        return fr.check_tree(tidewell, reader, road, candidate, random.Random(0), references)

    best = result(nodes)
    if best is None or best.kind != kind:
        return None
    # after each smaller paragraph found, go on from the same variant: the
    # ones before it were tried already; a last whole pass confirms
    position = 0
    while True:
        for at, candidate in enumerate(_variants(nodes)):
            if at < position:
                continue
            found = result(candidate)
            if found is not None and found.kind == kind:
                nodes, best, position = candidate, found, at
                break
        else:
            if position == 0:
                break
            position = 0
    return best


def _parse(page):
    """The tree of a generated paragraph's HTML."""
    from html.parser import HTMLParser

    class Parser(HTMLParser):
        def __init__(self):
            super().__init__(convert_charrefs=True)
            self.stack = [fr.Element("p")]

        def handle_starttag(self, tag, attrs):
            if tag == "p":
                return
            element = fr.Element(tag, [], dict(attrs).get("href"))
            self.stack[-1].children.append(element)
            self.stack.append(element)

        def handle_endtag(self, tag):
            if tag != "p":
                self.stack.pop()

        def handle_data(self, data):
            self.stack[-1].children.append(data)

    parser = Parser()
    parser.feed(page)
    parser.close()
    return parser.stack[0].children


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("-n", "--count", type=int, default=20000, help="paragraphs compared per road")
    parser.add_argument("--seed", type=int, default=0)
    parser.add_argument("--roads", nargs="+", default=list(fr.ROADS), choices=list(fr.ROADS))
    parser.add_argument("--build", help="the directory to import tidewell from")
    parser.add_argument("--references", action="store_true",
                        help="compare the paragraphs only a character reference can write too")
    parser.add_argument("--dump", help="write every fault to this file, one JSON line each")
    parser.add_argument("--compare", help="a dump of another build: list what it reads right and this build does not")
    parser.add_argument("--reduce", action="store_true", help="print the smallest shapes of the faults per road")
    parser.add_argument("--top", type=int, default=12, help="shapes printed per road with --reduce")
    parser.add_argument("--jobs", type=int, default=3)
    args = parser.parse_args()

    import tidewell

    print(f"tidewell from {Path(tidewell.__file__).parent}")
    other = _read_dump(args.compare) if args.compare else None
    faults, last_index = {}, {}
    with multiprocessing.Pool(args.jobs, _start) as pool:
        print(f"{'road':18} {'compared':>8} {'format':>7} {'text':>6} {'rate':>7} {'left out':>9} {'unwritable':>10}", flush=True)
        for road in args.roads:
            counts = collections.Counter()
            faults[road] = []
            start = 0
            while counts["compared"] < args.count:
                # about a quarter of the paragraphs are left out: ask for a
                # few more batches than the count needs
                wave = max(args.jobs, -(-(args.count - counts["compared"]) * 4 // (3 * BATCH)))
                jobs = [(road, args.seed, start + i * BATCH, args.references) for i in range(wave)]
                start += wave * BATCH
                for result in (r for batch in pool.imap(_run_batch, jobs) for r in batch):
                    if counts["compared"] == args.count:
                        break
                    counts[result.kind] += 1
                    if result.kind == "left out":
                        continue
                    counts["compared"] += 1
                    last_index[road] = result.index
                    if result.kind in ("formatting", "text"):
                        faults[road].append(result)
            bad = counts["formatting"] + counts["text"]
            print(f"{road:18} {counts['compared']:8} {counts['formatting']:7} {counts['text']:6} "
                  f"{100 * bad / max(1, counts['compared']):6.2f}% {counts['left out']:9} {counts['unwritable']:10}", flush=True)
        if args.dump:
            _write_dump(args.dump, args.seed, last_index, faults)
        if other is not None:
            faults = _newly_wrong(faults, other, args.seed)
        if args.reduce:
            _print_shapes(pool, faults, args)
        elif other is not None:
            for road, results in faults.items():
                for result in results:
                    print(result.explain())


def _write_dump(path, seed, last_index, faults):
    with open(path, "w", encoding="utf-8") as out:
        out.write(json.dumps({"seed": seed, "last_index": last_index}) + "\n")
        for results in faults.values():
            for r in results:
                out.write(json.dumps({"road": r.road, "index": r.index, "kind": r.kind, "html": r.html,
                                      "markdown": r.markdown, "detail": r.detail}, ensure_ascii=False) + "\n")


def _read_dump(path):
    with open(path, encoding="utf-8") as lines:
        head = json.loads(next(lines))
        head["faults"] = {(entry["road"], entry["index"]) for entry in map(json.loads, lines)}
    return head


def _newly_wrong(faults, other, seed):
    """The faults of this build on paragraphs the other build compared and
    read back right."""
    if other["seed"] != seed:
        sys.exit(f"the dump was made with seed {other['seed']}, not {seed}")
    print("\nread back right by the other build, wrong by this one:")
    newly = {}
    for road, results in faults.items():
        last = other["last_index"].get(road, -1)
        newly[road] = [r for r in results if r.index <= last and (road, r.index) not in other["faults"]]
        print(f"{road:18} {len(newly[road]):7}")
    return newly


def _print_shapes(pool, faults, args):
    for road, results in faults.items():
        jobs = [(road if road != "stream_cut" else "stream", r.html, r.kind, args.references) for r in results]
        shapes = collections.Counter()
        examples = {}
        for reduced in pool.imap(_reduce, jobs, chunksize=4):
            if reduced is None:  # a fault of the cuts alone
                shapes["(the stream fed in cuts alone)"] += 1
                continue
            shapes[reduced.html] += 1
            examples.setdefault(reduced.html, reduced)
        print(f"\n{road}: {len(results)} faults, {len(shapes)} smallest shapes")
        for shape, count in shapes.most_common(args.top):
            example = examples.get(shape)
            if example is None:
                print(f"{count:6}  {shape}")
            else:
                print(f"{count:6}  {shape}  writes {example.markdown!r}: {example.kind} {example.detail}")


if __name__ == "__main__":
    main()
