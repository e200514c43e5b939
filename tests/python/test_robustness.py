"""Random text and random options never crash the interpreter: every call
returns a result or raises one of the documented exceptions."""
import subprocess
import sys
import textwrap

SCRIPT = textwrap.dedent(
    r'''
    import random, sys
    import tidewell

    rng = random.Random(int(sys.argv[1]))
    KEYS = ["heading_style", "headingStyle", "wrap", "wrap_width", "bullets", "strong_em_symbol",
            "escape_misc", "escape_ascii", "strip_newlines", "whitespace_mode", "output_format",
            "max_depth", "strip_tags", "preprocessing", "tier_strategy", "parser_backend", "nope", ""]
    VALUES = [None, True, False, 0, -1, 2.5, 10**30, float("nan"), "", "atx", "x" * 50, "\u00e9",
              [], ["a", 1], {}, {"preset": "minimal"}, {"fast_dom": None}, "asm_tl", "quillmoor"]
    ALPHABET = ["a", " ", "\n", "\r", "\t", "&", "&amp;", "&#", ";", "#", "*", "_", "\x00", "\x01",
                "\u00a0", "\u3000", "\ud7ff", "\U0001F600", "PK\x03\x04", "%PDF-", "/>", "<", "<p>", ">"]

    def random_options():
        kind = rng.random()
        if kind < 0.2:
            return None
        if kind < 0.3:
            return rng.choice(VALUES)
        if kind < 0.4:
            return [rng.choice(VALUES) for _ in range(rng.randrange(50))]
        return {rng.choice(KEYS): rng.choice(VALUES) for _ in range(rng.randrange(4))}

    allowed = (ValueError, TypeError)
    for _ in range(int(sys.argv[2])):
        text = "".join(rng.choice(ALPHABET) for _ in range(rng.randrange(200)))
        if rng.random() < 0.1:
            text = text * 500
        options = random_options()
        for fn in (tidewell.convert, tidewell.convert_to_markdown):
            try:
                out = fn(text, options)
            except allowed:
                continue
            assert isinstance(out, dict if fn is tidewell.convert else str)
    print("ok")
    '''
)


def test_random_inputs_and_options_in_subprocess():
    for seed in range(4):
        run = subprocess.run(
            [sys.executable, "-c", SCRIPT, str(seed), "1500"], capture_output=True, text=True, timeout=300
        )
        assert run.returncode == 0, run.stderr[-2000:]
        assert run.stdout.strip() == "ok"
