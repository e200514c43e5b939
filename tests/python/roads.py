"""The option sets that send a conversion down each road, for the tests of
what must hold on every road."""
import tidewell

# The scanner's options: "auto" converts on tier 1 where the scanner can.
TIER1 = {"tier_strategy": "auto", "code_block_style": "indented", "highlight_style": "none"}
BACKENDS = ["copperfern-tl", "asm_tl"]
# The roads over the fast parser, each backend apart.
PARSER_ROADS = [TIER1, *({"tier_strategy": road, "parser_backend": backend}
                         for road in ["tier2", "fast_dom"] for backend in BACKENDS)]
EVERY_ROAD = PARSER_ROADS + [{"tier_strategy": "quillmoor"}]


def road_id(options):
    return "-".join(map(str, options.values()))


def streamed(html, cuts):
    """The Markdown of the stream processor fed `html` in pieces ending at
    `cuts`, then finished."""
    processor = tidewell.MarkdownStreamProcessor()
    out, start = [], 0
    for cut in list(cuts) + [len(html)]:
        out.append(processor.process_chunk(html[start:cut]))
        start = cut
    out.append(processor.finish())
    return "".join(out)
