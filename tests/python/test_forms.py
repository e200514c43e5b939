"""Form elements through convert: containers, labels, legends, option lists
and the controls that hold text. Form removal is switched off so that the
elements inside a form reach their handlers."""
import pytest

import tidewell

KEEP_FORMS = {"preprocessing": {"enabled": False}}


def md(html, **options):
    return tidewell.convert_to_markdown(html, options)


@pytest.mark.parametrize(
    "html, options, expected",
    [
        ("<label><input type=text name=n> Name</label>", {}, "Name\n"),
        ("<label>A</label><label>B</label>", {}, "A\n\nB\n"),
        # white space before the label's text is not lost
        ("x<label> Name</label>", {}, "x Name\n"),
        ("<p>x <select><optgroup label='a&amp;b'><option>o</option></optgroup></select></p>", {}, "x **a&b**\no\n"),
        ("<p>x</p><label> </label><p>y</p>", {}, "x\n\ny\n"),
        ("<input type=text value=v><input type=submit value=Go><p>x</p>", {}, "x\n"),
        ("<fieldset><legend>Details</legend><label>Name</label></fieldset>", {}, "**Details**\n\nName\n"),
        ("x<fieldset>a</fieldset>y", {}, "x\n\na\n\ny\n"),
        ("<legend>Details</legend>", {"strong_em_symbol": "_"}, "__Details__\n"),
        ("<fieldset><legend>L <strong>y</strong></legend></fieldset>", {}, "**L y**\n"),
        ("<fieldset><legend>L</legend>a</fieldset>", {"convert_as_inline": True}, "La\n"),
        ("<form><label>Name</label><textarea>abc</textarea></form>", KEEP_FORMS, "Name\n\nabc\n"),
        ("<p>x</p><form> \n </form><p>y</p>", KEEP_FORMS, "x\n\ny\n"),
        # forms are removed with their content by default
        ("<form><label>Name</label></form><p>y</p>", {}, "y\n"),
    ],
)
def test_containers_labels_and_legends(html, options, expected):
    assert md(html, **options) == expected


@pytest.mark.parametrize(
    "html, options, expected",
    [
        ("<select><option>One</option><option selected>Two</option></select><p>x</p>", {}, "One\n* Two\n\nx\n"),
        ('<select><option SELECTED>One</option><option selected="no">Two</option></select>', {}, "One\n* Two\n"),
        ("<select><optgroup label=' Fruits '><option>Apple</option></optgroup></select>", {},
         "** Fruits **\nApple\n"),
        ("<select><optgroup label=''><option>Apple</option></optgroup></select>", {}, "Apple\n"),
        ("<select><option> </option></select><p>x</p>", {}, "x\n"),
        ("<select><option selected>One</option><option>Two</option></select>", {"convert_as_inline": True},
         "One Two\n"),  # in running text the options' words stay apart
        ("<select><optgroup label=G><option>A</option></optgroup></select>", {"convert_as_inline": True},
         "**G**\nA\n"),
        ("<datalist><option>a</option></datalist><p>x</p>", {}, "a\n\nx\n"),
    ],
)
def test_option_lists(html, options, expected):
    assert md(html, **options) == expected


@pytest.mark.parametrize("tag", ["button", "output", "progress", "meter", "textarea"])
def test_controls_holding_text(tag):
    assert md(f"x<{tag}>abc</{tag}>y") == "xabc\n\ny\n"
    assert md(f"<p>x</p><{tag}></{tag}><p>y</p>") == "x\n\ny\n"
    assert md(f"x<{tag}>abc</{tag}>y", convert_as_inline=True) == "xabcy\n"


# A form holding an h1, an article or a main element (at any depth) wraps the
# page, as site frameworks do; form removal keeps it, and its controls are
# written as with form removal off.
PAGE_FORMS = [
    ("<form method=post><h1>T</h1><p>a</p></form>", "# T\n\na\n", "T\n\na\n"),
    ("<form><div><div><article><p>a</p></article></div></div></form>", "a\n", "a\n"),
    ("<FORM><MAIN>m</MAIN></FORM><form><p>f</p></form><p>y</p>", "m\n\ny\n", "m\n\ny\n"),
    ("<form><h1>T</h1><label>Name</label><textarea>abc</textarea></form>", "# T\n\nName\n\nabc\n",
     "T\n\nNameabc\n"),
    ("<form><p>f</p></form><article><h1>T</h1></article>", "# T\n", "T\n"),
    ("<form><h2>T</h2><section>s</section></form><p>y</p>", "y\n", "y\n"),
]

ROADS = [{}, {"tier_strategy": "tier2"}, {"code_block_style": "indented", "highlight_style": "none"}]


@pytest.mark.parametrize("html, markdown, plain", PAGE_FORMS)
@pytest.mark.parametrize("road", ROADS, ids=["default", "tier2", "scanner options"])
def test_a_form_that_holds_the_page_stays(html, markdown, plain, road):
    assert md(html, **road) == markdown
    assert tidewell.convert(html, {**road, "output_format": "plain"})["content"] == plain


@pytest.mark.parametrize(
    "options, expected",
    [
        ({"preprocessing": {"remove_forms": False}}, "# T\n\ny\n"),
        ({"preprocessing": {"preset": "aggressive"}}, "y\n"),
        ({"preprocessing": {"preset": "aggressive", "remove_navigation": False}}, "# T\n\ny\n"),
    ],
    ids=["forms kept", "aggressive drops navigation-like", "aggressive without navigation removal"],
)
def test_a_page_form_under_other_options(options, expected):
    assert md('<form class="menu"><h1>T</h1></form><p>y</p>', **options) == expected
