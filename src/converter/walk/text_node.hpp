// Text nodes of the DOM walk: the whitespace and escaping rules that decide
// how much of a text's edges survives next to what the output already holds,
// and the small text routines the walk shares.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/tags.hpp"
#include "converter/text/processing.hpp"
#include "converter/walk/context.hpp"
#include "options/options.hpp"
#include "html_parser/dom.hpp"

namespace tidewell {

// Each line feed and each carriage return becomes one space.
std::string replace_line_breaks_with_spaces(std::string_view text);

// The three pieces of a text's whitespace split.
struct TextWhitespaceSplit {
  std::string_view lead;  // " " when the text starts with white space, else ""
  std::string_view tail;  // "\n\n", " " or ""
  std::string_view core;  // the text trimmed of white space at both ends
};
TextWhitespaceSplit split_text_whitespace(std::string_view text);

// The text holds at least two characters.
bool is_longer_than_one_char(std::string_view text);

// Text that starts a line must not be read as a block marker there: a
// backslash goes before the marker at the start of each line of
// out[from..] that starts a line of the output (the first when
// `starts_line`, each one after a line feed). `after_number`: the output
// before `from` ends with a number that starts a line's content, which a
// "." or ")" at `from` would turn into an ordered list marker. `djot`: djot's
// own markers too (see find_line_block_marker).
void escape_block_markers_from(std::string& out, std::size_t from, bool starts_line, bool after_number = false,
                               bool djot = false);

// Appends text of the page's text nodes escaped in `mode` (PageText, or
// EmphasizedText between emphasis markers), then escapes the block markers
// at its line starts (see escape_block_markers_from). `around`: the text's
// neighbours that `out` does not hold.
void append_page_text(std::string& out, std::string_view text, const ConversionOptions& options, bool starts_line,
                      bool after_number = false, EscapeMode mode = EscapeMode::PageText, TextNeighbours around = {});

// A '<' or '&' near the end of `out`, unescaped, that `next` (page text
// written right after it) would complete into a tag or a character
// reference gets a backslash (see joining_markup_at).
void escape_joining_markup(std::string& out, std::string_view next, const ConversionOptions& options);
// The same where what follows is written already, from `seam` on.
void escape_joining_markup_at(std::string& out, std::size_t seam, const ConversionOptions& options);

// The text would complete an ordered list marker begun by a number before it
// (see Walk::ends_in_line_start_number): it begins with "." or ")", after
// digits that go on the number.
bool may_complete_number_marker(std::string_view text);

// Phrasing elements that write their content and nothing around it (a
// span, u, small, sub and sup without symbols, ...); the others open or
// close with markup of their own ("~~", "**", "](u)"). What stands beside
// them is read through them.
bool writes_content_only(TagId id, const ConversionOptions& options);

class Walk;

// Converts one text node and appends the result to the walk's output.
void convert_text_node(const Walk& w, NodeHandle node, const ConversionContext& context);

}  // namespace tidewell
