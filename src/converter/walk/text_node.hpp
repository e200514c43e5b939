// Text nodes of the DOM walk: the whitespace and escaping rules that decide
// how much of a text's edges survives next to what the output already holds,
// and the small text routines the walk shares.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "converter/dom/dom_context.hpp"
#include "converter/walk/context.hpp"
#include "html_parser/dom.hpp"
#include "options/options.hpp"

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

// Removes spaces and tabs (only those) at the end of the output.
void trim_trailing_spaces_tabs(std::string& output);

// The text holds at least two characters.
bool is_longer_than_one_char(std::string_view text);


// Converts one text node and appends the result to the output.
void convert_text_node(NodeHandle node, const TlDom& dom, std::string& output, const ConversionOptions& options,
                       const ConversionContext& context, const DomContext& dom_context);

}  // namespace tidewell
