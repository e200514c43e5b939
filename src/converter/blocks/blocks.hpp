// Handlers of block elements. Each is an ElementHandler (see
// converter/walk/walk.hpp) reached through the DOM road's handler table
// (converter/document/handler_table.cpp), one entry per HandlerFamily.
//
// Families still to be built here, each with its entry in the table that
// now sends its elements to convert_unknown_element:
//   List        ul, ol, li, dl, dt, dd          convert_list_element
//   CodeBlock   pre                             convert_code_block
//   Blockquote  blockquote                      convert_blockquote
//   Semantic    q, nav, main, menu, aside, ...  convert_semantic_element
//   Form        form, fieldset, label, ...      convert_form_element
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "converter/walk/walk.hpp"

namespace tidewell {

// --- headings (headings.cpp) ---

// Appends one heading in the given style, separated from what the output
// already holds. Writes nothing for an empty text.
void write_heading(std::string& output, const ConversionContext& context, HeadingStyle style, std::uint64_t level,
                   std::string_view text);

// h1 to h6.
void convert_heading(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

// --- paragraphs and divs (paragraphs.cpp) ---

void convert_paragraph(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);
void convert_div(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

// The element's own name is exactly "br", "hr", "img", "meta", "link" or
// "input" (as written, case-sensitive). False for anything else.
bool is_void_or_metadata_tag(NodeHandle node, const TlDom& dom);

// --- line breaks and rules (breaks.cpp) ---

// A hard line break in the given style (two spaces inside a heading or a
// link written on one line).
void emit_line_break(std::string& output, NewlineStyle newline_style, bool in_single_line);
// br.
void convert_line_break(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);
// hr.
void convert_horizontal_rule(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

}  // namespace tidewell
