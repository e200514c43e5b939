"""How deep the block handlers walk their children: max_depth against each
family, and nesting far past the walk's recursion limit."""
import subprocess
import sys
import textwrap

import pytest

import tidewell


@pytest.mark.parametrize(
    "html, at_1, at_2, at_3",
    [
        # a list walks its items at its own depth, an item its content one deeper
        ("<ul><li>a</li></ul>", "-\n", "- a\n", "- a\n"),
        ("<menu><li>a</li></menu>", "-\n", "- a\n", "- a\n"),
        ("<dl><dd>a</dd></dl>", "", "a\n", "a\n"),
        ("<blockquote>a</blockquote>", "", "> a\n", "> a\n"),
        ("<pre>a</pre>", "", "```\na\n```\n", "```\na\n```\n"),
        ("<section>a</section>", "", "a\n", "a\n"),
        ("<q>a</q>", "", '"a"\n', '"a"\n'),
        ("<label>a</label>", "", "a\n", "a\n"),
        # these walk their children at their own depth
        ("<figure>a</figure>", "a\n", "a\n", "a\n"),
        ("<details>a</details>", "a\n", "a\n", "a\n"),
        ("<fieldset>a</fieldset>", "a\n", "a\n", "a\n"),
        # select and option each go one deeper
        ("<select><option>a</option></select>", "", "", "a\n"),
    ],
)
def test_max_depth_counts_the_depth_each_handler_passes(html, at_1, at_2, at_3):
    results = [tidewell.convert_to_markdown(html, {"max_depth": d}) for d in (1, 2, 3)]
    assert results == [at_1, at_2, at_3]


# --- deep nesting ----------------------------------------------------------------

DEEP_SCRIPT = textwrap.dedent(
    r"""
    import sys
    import tidewell

    open_tags, close_tags = sys.argv[1], sys.argv[2]
    n = 200_000
    html = open_tags * n + "innermost" + close_tags * n
    content = tidewell.convert(html, {"include_document_structure": True})["content"]
    print("innermost" in content)
    """
)


@pytest.mark.parametrize(
    "open_tags, close_tags",
    [
        ("<ul><li>", "</li></ul>"),
        ("<ol><li>", "</li></ol>"),
        ("<ul><li><input type=checkbox>", "</li></ul>"),
        ("<blockquote>", "</blockquote>"),
        ("<dl><dd>", "</dd></dl>"),
        # elements whose children are walked at their own depth
        ("<dl>", "</dl>"),
        ("<menu>", "</menu>"),
        ("<figure>", "</figure>"),
        ("<details>", "</details>"),
        ("<dialog>", "</dialog>"),
        ("<fieldset>", "</fieldset>"),
        ("<section>", "</section>"),
        ("<pre>", "</pre>"),
    ],
)
def test_deep_nesting_keeps_the_innermost_text(open_tags, close_tags):
    run = subprocess.run(
        [sys.executable, "-c", DEEP_SCRIPT, open_tags, close_tags],
        capture_output=True,
        text=True,
        timeout=600,
    )
    assert run.returncode == 0, run.stderr[-2000:]
    assert run.stdout.strip() == "True"
