"""Plain-text output keeps everything a table holds: its caption on a line
before the rows, other content in place on a line of its own."""
import pytest

import tidewell


def plain(html):
    return tidewell.convert(html, {"output_format": "plain"})["content"]


@pytest.mark.parametrize(
    "html, expected",
    [
        ("<table><caption>Title</caption><tr><td>a</td></tr></table>", "Title\na\n"),
        ("<p>x</p><table><tr><td>a</td><td>b</td></tr><caption>Late <b>title</b></caption></table>",
         "x\n\nLate title\na\tb\n"),
        ("<table><tr><td>a</td></tr>text between<tr><td>b</td></tr></table>", "a\ntext between\nb\n"),
        ("<table><tr><td>a</td></tr><div>in a <i>div</i></div><tr><td>b</td></tr></table>", "a\nin a div\nb\n"),
        ("<table><tbody><tr><td>a</td></tr>t<tr><td>b</td></tr></tbody></table>", "a\nt\nb\n"),
        ("<table><tr>x<td>a</td><span>s</span><td>b</td></tr></table>", "x\ta\ts\tb\n"),
        ("<table><tr><td>a</td></tr><table><caption>inner</caption><tr><td>b</td></tr></table></table>",
         "a\ninner\nb\n"),
        ("<table><tr><td>a</td><td><table><caption>in cell</caption><tr><td>b</td></tr></table></td></tr></table>",
         "a\tin cell\nb\n"),
        # after the repair text between rows stands before the table; the caption stays
        ("<!--c--><table><caption>T</caption><tr><td>a</td></tr>tail</table>", "tail\n\nT\na\n"),
    ],
)
def test_plain_table_keeps_all_content(html, expected):
    assert plain(html) == expected
