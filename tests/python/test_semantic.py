"""Semantic and sectioning elements through convert: q, the sectioning
elements, menu, figure and figcaption, dialog, details and summary."""
import pytest

import tidewell


def md(html, **options):
    return tidewell.convert_to_markdown(html, options)


# Boilerplate removal would drop nav, header, footer and aside; it is off here
# so that the elements reach their handler.
KEEP = {"preprocessing": {"enabled": False}}


@pytest.mark.parametrize(
    "html, expected",
    [
        ("<p>He said <q>to be</q> twice</p>", "He said \"to be\" twice\n"),
        # white space at the quotation's edges stays outside the quotes
        ("<p>a<q> x </q>b</p>", "a \"x\" b\n"),
        ("<p>a<q>  </q>b</p>", "a b\n"),
        ("<p>a<q>x</q>b</p>", "a\"x\"b\n"),
        ("<q>a <q>b</q></q>", "\"a \"b\"\"\n"),
        ("<p>say <q><em>hi</em></q></p>", "say \"*hi*\"\n"),
    ],
)
def test_inline_quotations(html, expected):
    assert md(html) == expected


@pytest.mark.parametrize("tag", ["nav", "main", "aside", "header", "footer", "article", "section"])
def test_sectioning_elements_are_blocks(tag):
    assert md(f"x<{tag}><p>Hi</p></{tag}>y", **KEEP) == "x\n\nHi\n\ny\n"
    assert md(f"x<{tag}>Hi</{tag}>y", **KEEP) == "x\n\nHi\n\ny\n"
    assert md(f"<p>x</p><{tag}> \n </{tag}><p>y</p>", **KEEP) == "x\n\ny\n"
    assert md(f"x<{tag}><p>Hi</p></{tag}>y", convert_as_inline=True, **KEEP) == "x Hi y\n"


@pytest.mark.parametrize(
    "html, expected",
    [
        # the section's text follows an item's marker instead of leaving it alone
        ("<ol><li><article><h3>Title</h3><p>Text</p></article></li><li>next</li></ol>",
         "1. ### Title\n\n   Text\n\n2. next\n"),
        ("<ul><li> <article>a</article> </li><li>b</li></ul>", "- a\n\n- b\n"),
        ("<ul><li>x<section>a</section></li></ul>", "- x\n\n  a\n"),
    ],
)
def test_sections_in_list_items(html, expected):
    assert md(html, **KEEP) == expected


@pytest.mark.parametrize(
    "html, options, expected",
    [
        ("<menu><li>a</li><li>b</li></menu>", {}, "- a\n- b\n"),
        ("<menu><li>a</li><li>b</li></menu>", {"bullets": "*+"}, "- a\n- b\n"),
        # every list inside a menu uses "-" too
        ("<menu><li>a<ul><li>b</li></ul></li></menu>", {"bullets": "*+"}, "- a\n  - b\n"),
        ("<menu><li>a</li></menu><p>after</p>", {}, "- a\n\nafter\n"),
        ("<ol><li>x</li></ol><menu><li>a</li></menu>", {}, "1. x\n\n- a\n"),
        ("<menu></menu><p>after</p>", {}, "after\n"),
        # the first item does not run on from the text before the menu
        ("x<menu><li>a</li></menu>", {}, "x\n\n- a\n"),
        ("x<menu></menu>y", {}, "xy\n"),
        ("<ul><li>x<menu><li>a</li></menu></li></ul>", {}, "- x\n  - a\n"),
        ("<menu><li>a</li><li>b</li></menu>c", {"convert_as_inline": True}, "- a\n- bc\n"),
    ],
)
def test_menus(html, options, expected):
    assert md(html, **options) == expected


@pytest.mark.parametrize(
    "html, expected",
    [
        ("<figure><p>img</p><figcaption>Cap</figcaption></figure>", "img\n\n*Cap*\n"),
        ("x<figure>y</figure>z", "x\n\ny\n\nz\n"),
        # an empty figure still leaves a blank line behind
        ("x<figure></figure>z", "x\n\nz\n"),
        ("<p>x</p><figcaption> </figcaption><p>y</p>", "x\n\ny\n"),
        ("x<figcaption>Cap</figcaption>y", "x\n\n*Cap*\n\ny\n"),
        # right after a fence's closing line the caption follows on the next line
        ("<figure><pre>code</pre><figcaption>Cap</figcaption></figure>", "```\ncode\n```\n\n*Cap*\n"),
        ("<figcaption>Cap</figcaption>", "*Cap*\n"),
        ("<figure><img src=a.png alt=A><figcaption>Cap</figcaption></figure>", "![A](a.png)\n\n*Cap*\n"),
        ("<figure><a href=/big><img src=a.png alt=A></a><figcaption>C</figcaption></figure>",
         "[![A](a.png)](/big)\n\n*C*\n"),
        # an image is drawn up to the text before it, on its line or the line above
        ("<figure>Photo: <img src=a.png alt=A></figure>", "Photo: ![A](a.png)\n"),
        ("<figure><p>Photo</p><img src=a.png alt=A></figure>", "Photo\n\n![A](a.png)\n"),
    ],
)
def test_figures(html, expected):
    assert md(html) == expected


@pytest.mark.parametrize(
    "html, options, expected",
    [
        ("<figcaption>Cap</figcaption>", {"strong_em_symbol": "_"}, "*Cap*\n"),
        ("<figure>a<figcaption>Cap</figcaption></figure>", {"convert_as_inline": True}, "a\n\n*Cap*\n"),
    ],
)
def test_figcaption_marker_is_always_an_asterisk(html, options, expected):
    assert md(html, **options) == expected


@pytest.mark.parametrize(
    "html, options, expected",
    [
        ("<p>x</p><details><summary>More</summary><p>Text</p></details>", {}, "x\n\n**More**\n\nText\n"),
        ("<details><summary>More</summary>Text</details><p>y</p>", {"strong_em_symbol": "_"},
         "__More__\n\nText\n\ny\n"),
        ("<details> </details><p>y</p>", {}, "y\n"),
        ("<summary> </summary><p>y</p>", {}, "y\n"),
        ("x<summary>S</summary>y", {}, "x**S**\n\ny\n"),
        ("x<summary> S</summary>y", {}, "x **S**\n\ny\n"),
        # bold inside the summary adds no markers of its own
        ("<details><summary>More <b>x</b></summary>t</details>", {}, "**More x**\n\nt\n"),
        ("<details><summary>More</summary><p>Text</p></details>", {"convert_as_inline": True}, "More Text\n"),
    ],
)
def test_details_and_summary(html, options, expected):
    assert md(html, **options) == expected


@pytest.mark.parametrize(
    "html, options, expected",
    [
        ("x<dialog>d</dialog>y", {}, "xd\n\ny\n"),
        ("<dialog>d  </dialog>y", {}, "d\n\ny\n"),
        ("<dialog></dialog>y", {}, "y\n"),
        ("x<dialog>d</dialog>y", {"convert_as_inline": True}, "xdy\n"),
    ],
)
def test_dialogs(html, options, expected):
    assert md(html, **options) == expected

