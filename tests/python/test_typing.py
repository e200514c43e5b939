"""The package's type information against the package itself: stubtest
compares the stub with the module, mypy checks code written the way the
README shows, and real results are held against the result TypedDicts."""
import importlib.util
import os
import site
import subprocess
import sys
import types
import typing
from pathlib import Path

import pytest

import tidewell

needs_mypy = pytest.mark.skipif(
    importlib.util.find_spec("mypy") is None, reason="mypy is not installed (tools/setup.sh installs it)"
)


def run_mypy_tool(args, cwd):
    # The package this suite imports, for the import and for mypy's own search
    # (which finds an installed one itself and refuses site-packages on MYPYPATH).
    where = Path(tidewell.__file__).resolve().parents[1]
    env = dict(os.environ)
    if where not in {Path(p).resolve() for p in [*site.getsitepackages(), site.getusersitepackages()]}:
        env["PYTHONPATH"] = env["MYPYPATH"] = str(where)
    return subprocess.run([sys.executable, "-m", *args], cwd=cwd, env=env, capture_output=True, text=True)


@needs_mypy
def test_stub_agrees_with_the_module(tmp_path):
    run = run_mypy_tool(["mypy.stubtest", "tidewell"], tmp_path)
    assert run.returncode == 0, run.stdout + run.stderr


USER_CODE = '''
import tidewell
from tidewell import ConversionOptions, ConversionResult, PreprocessingOptions, TierStrategy

road: TierStrategy = "tier2"
pre: PreprocessingOptions = {"remove_forms": False}
options: ConversionOptions = {"heading_style": "atx_closed", "tier_strategy": road, "preprocessing": pre}
result: ConversionResult = tidewell.convert("<h1>a</h1>", options)
assert result["content"] == "# a #\\n"
# The array form: the values by position, in key order.
assert tidewell.convert_to_markdown("<h1>a</h1>", ["atx_closed"]) == "# a #\\n"
assert tidewell.convert_to_markdown("<h1>a</h1>", ("underlined",)) == "a\\n=\\n"
nested: ConversionOptions = {"preprocessing": [True, "minimal"]}
assert tidewell.convert_to_markdown("<nav>n</nav><p>x</p>", nested) == "n\\n\\nx\\n"
stream = tidewell.MarkdownStreamProcessor(["atx"])
assert stream.process_chunk("<h1>a</h1>") + stream.finish() == "# a"


def refused() -> None:
    tidewell.convert("x", {"wrap": "yes"})  # type: ignore[arg-type]
    tidewell.convert("x", {"tier_strategy": "Auto"})  # type: ignore[arg-type]
    tidewell.convert("x", "wrap")  # type: ignore[arg-type]
'''


@needs_mypy
def test_code_as_the_readme_writes_it_checks_and_runs(tmp_path):
    # Strict mode also reports an ignore that is no longer needed: the three
    # refused calls must stay refused.
    (tmp_path / "user.py").write_text(USER_CODE)
    run = run_mypy_tool(["mypy", "--strict", "--no-incremental", "user.py"], tmp_path)
    assert run.returncode == 0, run.stdout + run.stderr
    exec(compile(USER_CODE, "user.py", "exec"), {})


def assert_has_type(value, annotation, path):
    origin, args = typing.get_origin(annotation), typing.get_args(annotation)
    if typing.is_typeddict(annotation):
        assert isinstance(value, dict), path
        hints = typing.get_type_hints(annotation)
        assert annotation.__required_keys__ <= value.keys() <= hints.keys(), path
        for key, item in value.items():
            assert_has_type(item, hints[key], f"{path}.{key}")
    elif origin in (typing.Union, types.UnionType):
        for arg in args:
            try:
                return assert_has_type(value, arg, path)
            except AssertionError:
                pass
        raise AssertionError(f"{path}: {value!r} is none of {annotation}")
    elif origin is typing.Literal:
        assert value in args, path
    elif origin is list:
        assert isinstance(value, list), path
        for i, item in enumerate(value):
            assert_has_type(item, args[0], f"{path}[{i}]")
    elif origin is dict:
        assert isinstance(value, dict), path
        for key, item in value.items():
            assert_has_type(key, args[0], path)
            assert_has_type(item, args[1], f"{path}.{key}")
    elif annotation is typing.Any:
        pass
    elif annotation is type(None):
        assert value is None, path
    else:
        assert type(value) is annotation, f"{path}: {value!r} is no {annotation}"


PAGE = """<html lang="en" dir="ltr"><head><title>T</title><meta name="description" content="d">
<meta name="keywords" content="a, b"><link rel="canonical" href="https://x.example/p">
<meta property="og:title" content="O"><script type="application/ld+json">{"@type": "Article"}</script></head>
<body><h1 id="top">Head</h1><p><a href="https://y.example" rel="nofollow">out</a> <a href="#top">in</a>
<img src="a.png" alt="A" width="3" height="4"> <img src="data:image/png;base64,AA=="></p>
<table><tr><th>a</th><th colspan="2">b</th></tr><tr><td>1</td><td>2</td><td>3</td></tr></table></body></html>"""


@pytest.mark.parametrize("options", [None, {"include_document_structure": True}, {"tier_strategy": "fast_dom"}])
def test_results_have_the_declared_types(options):
    result = tidewell.convert(PAGE, options)
    assert_has_type(result, tidewell.ConversionResult, "result")
