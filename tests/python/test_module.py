"""The module's face: attributes, signatures, argument errors, result shape."""
import ast
import inspect
import json
import subprocess
import sys
from pathlib import Path

import pytest

import tidewell
from expected import EMPTY_METADATA


def test_version_and_all():
    assert tidewell.__version__ == "0.4.5"
    assert tidewell.__all__[:3] == ["__version__", "convert", "convert_to_markdown"]
    for name in tidewell.__all__:
        assert hasattr(tidewell, name)


@pytest.mark.parametrize("fn", [tidewell.convert, tidewell.convert_to_markdown])
def test_signature(fn):
    assert str(inspect.signature(fn)) == "(html, options=None)"
    assert fn.__module__ == "tidewell"


def stub_docstrings():
    stub = Path(tidewell.__file__).with_name("_tidewell.pyi")
    found = {}
    def visit(body, prefix):
        for node in body:
            if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
                doc = ast.get_docstring(node)
                if doc:
                    found[prefix + node.name] = doc
                if isinstance(node, ast.ClassDef):
                    visit(node.body, node.name + ".")
    visit(ast.parse(stub.read_text()).body, "")
    return found


def test_help_shows_the_stub_docstrings():
    docs = stub_docstrings()
    assert set(docs) >= {"convert", "convert_to_markdown", "MarkdownStreamProcessor",
                         "MarkdownStreamProcessor.process_chunk", "MarkdownStreamProcessor.finish"}
    for name, doc in docs.items():
        obj = tidewell
        for part in name.split("."):
            obj = getattr(obj, part)
        assert inspect.getdoc(obj) == doc, name
    # The text signatures stay readable beside the text.
    assert str(inspect.signature(tidewell.MarkdownStreamProcessor)) == "(options=None)"
    assert str(inspect.signature(tidewell.MarkdownStreamProcessor.process_chunk)) == "(self, /, chunk)"


def test_plain_text_result_has_every_key_in_order():
    result = tidewell.convert("hello")
    assert list(result) == ["content", "document", "metadata", "tables", "warnings"]
    assert result == {
        "content": "hello\n",
        "document": None,
        "metadata": EMPTY_METADATA,
        "tables": [],
        "warnings": [],
    }
    assert list(result["metadata"]["document"]) == list(EMPTY_METADATA["document"])


def test_empty_input():
    assert tidewell.convert_to_markdown("") == ""
    assert tidewell.convert("")["content"] == ""


@pytest.mark.parametrize(
    "call",
    [
        lambda f: f("a"),
        lambda f: f("a", None),
        lambda f: f("a", options=None),
        lambda f: f("a", {}),
        lambda f: f(html="a", options={}),
        lambda f: f(options={}, html="a"),
    ],
)
def test_argument_forms(call):
    assert call(tidewell.convert_to_markdown) == "a\n"
    assert call(tidewell.convert)["content"] == "a\n"


@pytest.mark.parametrize("name", ["convert", "convert_to_markdown"])
@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "{}() missing 1 required positional argument: 'html'"),
        (("a", None, 1), {}, "{}() takes from 1 to 2 positional arguments but 3 were given"),
        (("a",), {"x": 1}, "{}() got an unexpected keyword argument 'x'"),
        (("a",), {"html": "b"}, "{}() got multiple values for argument 'html'"),
        (("a", None), {"options": None}, "{}() got multiple values for argument 'options'"),
        ((b"a",), {}, "{}() argument 'html' must be str, not bytes"),
        ((None,), {}, "{}() argument 'html' must be str, not NoneType"),
        (("a",), {"a\x00b%s": 1}, "{}() got an unexpected keyword argument 'a\x00b%s'"),
    ],
)
def test_argument_errors(name, args, kwargs, message):
    fn = getattr(tidewell, name)
    with pytest.raises(TypeError) as info:
        fn(*args, **kwargs)
    assert str(info.value) == message.format(name)


def test_str_subclass_is_accepted():
    class S(str):
        pass

    assert tidewell.convert_to_markdown(S("x")) == "x\n"


def test_lone_surrogate_raises_encoding_error():
    with pytest.raises(UnicodeEncodeError):
        tidewell.convert("a\ud800b")


def test_bad_html_is_reported_before_bad_options():
    with pytest.raises(TypeError):
        tidewell.convert(b"x", {"nope": 1})


@pytest.mark.parametrize(
    "options, error",
    [
        ({"wrap": {1, 2}}, TypeError),  # json.dumps refuses a set: its error passes through
        ("abc", ValueError),
        ({"nope": 1}, ValueError),
        (5, ValueError),
    ],
)
def test_options_errors(options, error):
    with pytest.raises(error) as info:
        tidewell.convert("x", options)
    if error is ValueError:
        assert str(info.value).startswith("invalid conversion options: ")


def test_options_object_is_read_through_json_dumps():
    class Weird(dict):
        pass

    assert tidewell.convert_to_markdown("x", Weird(wrap=False)) == "x\n"
    assert tidewell.convert_to_markdown("x", []) == "x\n"


def test_result_is_valid_json_roundtrip():
    result = tidewell.convert("a\tb \u00e9 \" \\ /")
    assert json.loads(json.dumps(result)) == result


def test_many_calls_with_errors_keep_working():
    for _ in range(2000):
        with pytest.raises(ValueError):
            tidewell.convert("x", {"bad": 1})
        with pytest.raises(ValueError):
            tidewell.convert("%PDF-1.7")
    assert tidewell.convert_to_markdown("ok") == "ok\n"


def test_import_in_fresh_interpreter_is_quiet():
    out = subprocess.run(
        [sys.executable, "-c", "import tidewell; print(tidewell.__all__)"],
        capture_output=True,
        text=True,
        check=True,
    )
    assert out.stderr == ""


def test_readme_examples_run_as_written(capsys):
    readme = Path(__file__).resolve().parents[2] / "README.md"
    if not readme.exists():
        pytest.skip("no README beside the tests")
    blocks = readme.read_text().split("```python\n")[1:]
    assert blocks
    for block in blocks:
        code = block.split("```", 1)[0]
        exec(compile(code, "README.md", "exec"), {})
    assert "# Report" in capsys.readouterr().out
