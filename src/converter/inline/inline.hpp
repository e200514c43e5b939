// Handlers of inline content. Each is an ElementHandler (see
// converter/walk/walk.hpp) reached through the DOM road's handler table
// (converter/document/handler_table.cpp).
//
// Links, images, graphics and embedded media are in links.hpp.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "converter/walk/walk.hpp"

namespace tidewell {

// --- inline formats (formatting.cpp) ---

// b, strong, i, em, s, del, u, ins, mark, sub, sup, kbd, samp, var, dfn,
// small, span and abbr, and the ruby elements (ruby.cpp).
void convert_inline_element(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

// span: its children at the span's own depth. An hOCR word span is kept
// apart from the word before it.
void convert_span(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

// abbr: its text, then the title in parentheses.
void convert_abbr(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

// --- ruby annotations (ruby.cpp) ---

// ruby, rb, rt, rp and rtc: every annotation in parentheses after its base.
void convert_ruby_element(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

// --- code spans (code.cpp) ---

// code: its content as a code span.
void convert_inline_code(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

// The number of backticks that delimit a code span of `content`: the
// smallest n such that no run of exactly n backticks occurs in it.
std::size_t code_span_fence_length(std::string_view content);

// Appends `content` as a code span: the delimiter of code_span_fence_length,
// a space inside each delimiter when the content starts or ends with a
// backtick or starts and ends with a space (a reader takes one space off
// each end), and every line break written as a space, since a code span
// keeps to one paragraph. In a table cell "|" is written as "\|" so that
// the row keeps its cells. Right after another code span (`joins`, see
// follows_code_span) the two are written as one: side by side their
// backtick runs would merge.
void write_code_span(std::string_view content, bool in_table_cell, std::string& out, bool joins = false);

// The output ends with the code span of the node right before `node`: the
// last element in that node is a code, kbd or samp element, and the output
// ends with a backtick (no marker or destination was written after it).
bool follows_code_span(const Walk& w, NodeHandle node);

// --- raw HTML of preserved elements (preserved.cpp) ---

// Appends the HTML of one node and its subtree, read from the document: the
// element name in lower case, attributes in the document's order (values in
// double quotes, '"' written as "&quot;"), text as written, no comments,
// end tags for every element but the void ones. Any depth.
void write_element_html(NodeHandle node, const TlDom& dom, std::string& out);

// write_element_html into a new string.
std::string serialize_preserved_element(NodeHandle node, const TlDom& dom);

// Elements named in `preserve_tags`: their HTML.
void convert_preserved_element(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

}  // namespace tidewell
