// Whitespace folding and Markdown escaping of text: the one escape function,
// with a mode for each kind of text the converters write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "options/options.hpp"

namespace tidewell {

// Folds every maximal run of folding spaces (tab, space, U+00A0, U+1680,
// U+2000..U+200A, U+202F, U+205F, U+3000) into one space. Line feeds,
// carriage returns and the other Unicode line separators are not folding
// spaces and end a run. Returns nullopt when the text has nothing to fold:
// no folding space other than U+0020 and no two spaces in a row.
std::optional<std::string> collapse_whitespace(std::string_view text);

// Appends the folded form of `text` to `out`. Runs are taken within `text`
// alone; the end of `out` is not looked at.
void collapse_whitespace_into(std::string_view text, std::string& out);

// Running text with every run of spaces, tabs and line feeds that holds
// two or more line feeds written as one line feed: a blank line would end
// the paragraph. nullopt when there is none.
std::optional<std::string> fold_blank_lines(std::string_view text);

// The text without the spaces and tabs that would start a line: those after
// each line feed, and at its start when `line_start` is set. White space of
// a text never starts a line of the output (four spaces there make Markdown
// code). Returns nullopt when there are none.
std::optional<std::string> drop_line_leading_spaces(std::string_view text, bool line_start);

// What a text is escaped for.
enum class EscapeMode : std::uint8_t {
  // Running text: backslashes by the four escape options. With
  // `escape_ascii` every ASCII punctuation character and the other options
  // are not consulted; otherwise `escape_misc`: # & + - < = > [ \ ] ` | ~,
  // and '.' or ')' right after an ASCII digit; `escape_asterisks`: '*';
  // `escape_underscores`: '_'.
  Text,
  // Running text between emphasis markers of `strong_em_symbol` ('*' or
  // '_'): as PageText with that character always escaped (a literal one next to
  // the markers would be read as one of them: "**" "*" "**" is no bold
  // asterisk).
  EmphasizedText,
  // A table cell: as Text with '*' and '_' always escaped, and '|' escaped
  // when neither `escape_misc` nor `escape_ascii` already does it.
  TableCell,
  // A link label: brackets that pair up stay, every other '[' and ']' gets
  // a backslash; brackets after an odd number of backslashes are taken as
  // escaped already. A run of backslashes at the end gets one more when it
  // is odd, so that it does not escape the label's closing bracket.
  LinkText,
  // A link destination (see append_link_destination), percent-encoded first
  // with `url_escape_style` percent.
  Url,
  // A link title inside double quotes (see append_link_title).
  LinkTitle,
  // Code: written as it stands.
  Code,
  // Text of the page's text nodes: as Text, and where the escape options
  // leave them, a backslash before what CommonMark would read as markup of
  // its own: a '<' before an ASCII letter, '/', '!' or '?' (a tag, comment
  // or autolink), a '&' that starts a character reference it decodes, and a
  // backslash before ASCII punctuation, a line break or the text's end (an
  // escape or a hard break).
  PageText,
  // A table cell's page text: as PageText, with '|' escaped as in
  // TableCell.
  PageCell,
};

// The URL with RFC 3986's unreserved and reserved characters and existing
// "%XX" escapes kept; every other byte (space, controls, non-ASCII bytes,
// '"', '<', '>', '\\', '^', '`', '{', '|', '}', and a '%' that starts no
// escape) written as '%' and two upper-case hex digits.
std::string percent_encode_url(std::string_view url);

// Appends a link destination that CommonMark reads back as the address a
// browser makes of `url`: leading and trailing controls and spaces dropped,
// tabs and line breaks removed, other controls percent-encoded (as a browser
// does); then "<>" when nothing is left, the "<...>" form (with '<' and '>'
// escaped) when it holds a space or starts with '<', else the bare form with
// every parenthesis escaped unless they nest in pairs. `url` is text (its
// character references decoded): in both forms a backslash that would
// escape what follows is doubled and a '&' that would start a reference
// becomes "&amp;", so that the reader gets the same text back.
void append_link_destination(std::string_view url, bool percent_encode, std::string& out);

// Appends a link title (text) for the inside of double quotes: '"' and a
// backslash that would escape what follows get a backslash, a '&' that would
// start a reference becomes "&amp;", line breaks become references (a blank
// line would end the link).
void append_link_title(std::string_view title, std::string& out);

// Decoded text back in attribute form: every '&' that would start a
// character reference ("&name;", "&#digits;", "&#xhex;") becomes "&amp;",
// so that a reader that decodes references gets the text back. nullopt when
// nothing changes.
std::optional<std::string> encode_reference_ampersands(std::string_view text);

// A neighbour of a text that is not known where the text is written.
inline constexpr int kUnknownNeighbour = -1;

// The characters around page text that are not in the output it is appended
// to: `before` when the output is empty ('\n': a line start), `after`
// always (kUnknownNeighbour when not known, ' ' white space).
struct TextNeighbours {
  int before = '\n';
  int after = kUnknownNeighbour;
  // The text stands between strikethrough markers ("~~"): every '~' of it
  // is escaped, since a run there could pair with them.
  bool struck = false;
};

// Appends `text` escaped for `mode` to `out`.
void escape_markdown_into(std::string_view text, EscapeMode mode, const ConversionOptions& options,
                          std::string& out, TextNeighbours around = {});

// Page text holds a '<', '&' or '\\' that PageText escapes, or a character
// the escape options escape (inline markup aside: see escape_inline_markup).
bool holds_escaped_markup(std::string_view text, const ConversionOptions& options);

// Copy-on-write form: nullopt when the escaped text equals `text`.
std::optional<std::string> escape_markdown(std::string_view text, EscapeMode mode, const ConversionOptions& options);

// Plain text (an alt text, a URL shown as a label) for the brackets of a
// link or image: line breaks become spaces, a backslash that Markdown would
// read as an escape is doubled, a '&' that would start a character
// reference becomes "&amp;", and every bracket, backtick and '<' gets a
// backslash (so that no link, code span or HTML tag forms: "[a](b)" in an
// alt text stays text, a backtick cannot pair with one after the link), as
// does a '*', '_' or '~' run that would read as emphasis or strikethrough.
void append_plain_link_text(std::string_view text, std::string& out);

// A block marker that Markdown reads at the start of a line: a bullet
// ("-", "+", "*" and a space), an ordered marker (up to nine digits, "." or
// ")" and a space), a heading ("#" to "######" and a space), a quotation
// (">"), a fence ("```", "~~~"), a setext underline (a run of "=" or "-")
// or a rule (three of "-", "*" or "_", spaced or not).
struct LineBlockMarker {
  std::size_t pos = 0;    // the first character that takes a backslash
  std::size_t count = 0;  // how many from `pos` on take one each; 0: no marker
  explicit operator bool() const { return count != 0; }
};

// The block marker at the start of a line that begins with `text` (after
// at most three spaces), whatever may follow `text` on that line: where
// `text` ends before the line does, what follows could still complete a
// rule or an underline, so those count. The backslash goes before the
// delimiter of an ordered marker (a backslash before a digit is a
// character of its own), before every character of a backtick or tilde
// run (what is left of a run could pair with a later one as a code span or
// a strikethrough), and before the first character otherwise. `djot`: djot's
// own markers too, an ordered one numbered by a letter or a roman numeral
// ("a.", "IV)") or in parentheses ("(1)", "(c)"), and a definition's ':'.
LineBlockMarker find_line_block_marker(std::string_view text, bool djot = false);

// The '[' of a link reference definition at the start of a line that begins
// with `text` (after at most three spaces): a label of at most 999
// characters, not blank, without unescaped brackets, followed by ':'. A
// label or definition still open where `text` ends counts (what follows
// could complete it).
LineBlockMarker find_reference_definition(std::string_view text);

// The offset in `out` of a '<' or '&' that no backslash escapes and that
// `next`, written right after `out`, would complete into a tag, comment or
// autolink, or a character reference, of the '[' of a label that ends `out`
// and that a '(' or '[' starting `next` would make a link, or of a '!' that
// ends `out` before a '[' (an image); npos when there is none. In `djot`
// output a '<' opens an autolink only.
std::size_t joining_markup_at(std::string_view out, std::string_view next, bool djot = false);

// Adds the backslashes that keep out[from..] (page text, escaped already)
// text where an inline reader would take it for markup: in CommonMark and
// GFM, a '*' or '_' delimiter run that can open or close emphasis by the
// flanking rules ("snake_case" and "2 * 3" stay), the backtick runs when
// two of them would pair as a code span, a '[' whose ']' a '(' or '['
// follows (or that ']' when its '[' is not in the text; a definition's ':'
// reads only at a line start, see find_reference_definition), and a '~' run that
// would pair with an earlier one as a strikethrough; in djot, every
// backtick, a '_', '*', '~' or '^' run not between white space, and a '{'
// that would start an attribute or an inline of its own. Characters
// escaped already are left. The characters before `from` in `out` are its
// neighbours; `before` stands for the one before out[0] when `from` is 0,
// `after` for the one after the end ('\n' a line break,
// kUnknownNeighbour when not known: a run that could be markup beside some
// neighbour is escaped).
void escape_inline_markup(std::string& out, std::size_t from, int before, int after, bool djot);

// The text holds a byte that escape_inline_markup looks at (in djot when
// `djot`).
bool holds_inline_markup_byte(std::string_view text, bool djot = false);

// The character that starts at `pos` (that ends at `pos`, for the
// `_before` form) is a letter or digit for certain: an ASCII letter or
// digit, a Latin, Greek or Cyrillic letter, kana, a CJK ideograph or Hangul
// (white space, punctuation and other characters are not). False at the
// text's edge.
bool letter_or_digit_at(std::string_view text, std::size_t pos);
bool letter_or_digit_before(std::string_view text, std::size_t pos);

// out[pos] stands after an odd number of backslashes (is escaped).
bool is_escaped_at(std::string_view out, std::size_t pos);

// A backslash before each '~' of the run that ends `out` (those no
// backslash escapes): text that a strikethrough marker written next would
// join ("~" then "~~gone~~" is a fence).
void escape_trailing_tildes(std::string& out);

// The content between a code span's backtick runs as a reader takes it: one
// space off each end when both are spaces and it is not all spaces.
std::string_view code_span_content(std::string_view between);

// The code span whose closing backticks end `out`: where its opening run
// starts, and its content as a reader takes it (code_span_content). The opening run is the nearest
// run of the closing one's length before it (the content holds none of that
// length), a backtick that a backslash escapes being text. nullopt when `out` does not end with a backtick or no such run
// stands before it.
struct CodeSpanAtEnd {
  std::size_t start = 0;
  std::string_view content;
};
std::optional<CodeSpanAtEnd> code_span_at_end(std::string_view out);
// The same for a span whose opening run starts within the last `reach`
// bytes of `out`. Code spans side by side are joined by taking the span
// before up again; a longer one is left to stand, so that a row of spans
// costs no more than its length.
std::optional<CodeSpanAtEnd> code_span_at_end(std::string_view out, std::size_t reach);
inline constexpr std::size_t kCodeSpanJoinReach = 1024;
// Whether the last backtick of `out` closes a code span (a backslash before
// it is then the span's own, not an escape), read forward as a reader does
// over the last `reach` bytes: outside spans a backslash escapes the
// character after it, and a backtick run opens a span that the next run of
// its length closes. Linear in `reach`.
bool ends_with_code_span(std::string_view out, std::size_t reach);

// The code span that `text` starts with, as written by write_code_span
// (converter/blocks): where it ends and its content as a reader takes it
// (code_span_content). nullopt when `text` does not start with a backtick,
// or no run of the opening one's length closes it on the same line within
// the first `reach` bytes.
struct CodeSpanAtStart {
  std::size_t end = 0;
  std::string_view content;
};
std::optional<CodeSpanAtStart> code_span_at_start(std::string_view text, std::size_t reach);

// The offset of the run of '#' ending an ATX heading's text (before spaces
// and tabs) that a reader would take for the closing sequence and drop: a
// run after a space or tab, or the whole text. npos when there is none.
std::size_t atx_closing_run(std::string_view text);

// `text` with a backslash before the block marker or reference definition
// at the start of every line of it that starts a line of the output: the
// first when `starts_line`, each one after a line feed. A marker the escape
// options have escaped already is none any more. nullopt when nothing
// changes.
std::optional<std::string> escape_line_block_markers(std::string_view text, bool starts_line, bool djot = false);

// Whether text appended to `written` starts a line there: `written` is
// empty, or its last line holds only indentation and quote or list markers
// so far. A short look back; a longer run of such characters counts as a
// start too, which at worst costs a harmless backslash.
bool output_at_line_start(std::string_view written);

// `written` ends with a number of one to nine digits that starts a line's
// content (see output_at_line_start): a '.' or ')' written next would make
// it an ordered list marker.
bool ends_in_line_start_number(std::string_view written);

// A run of emphasis markers of `symbols` inside `core` (not at its end) that
// a reader could take both for an opening and for a closing marker: it
// stands between two letters or digits, or between two punctuation
// characters ('_' only the latter). The run at the start counts only when
// `before` gives what stands before `core`. Escaped markers are text.
bool holds_two_sided_emphasis_run(std::string_view core, std::string_view symbols,
                                  std::optional<char> before = std::nullopt);

// The emphasis marker of `marker` bytes at out[mark] joins the unescaped
// '*' before it (from `floor` on) or those that start its content (at
// `content`) into a run of three: once the run's first pair closes, the
// rest opens with the run's length.
bool joins_run_of_three(std::string_view out, std::size_t floor, std::size_t mark, std::size_t marker,
                        std::size_t content);

// Whether an emphasis marker between `outside` and `inside` (the first or
// last byte of the emphasised text) can only open or only close: white
// space outside, or punctuation that stands for itself (not a marker,
// escape, reference or code) before a letter or digit.
bool emphasis_marker_one_sided(char outside, char inside);

}  // namespace tidewell
