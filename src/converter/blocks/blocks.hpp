// Handlers of block elements. Each is an ElementHandler (see
// converter/walk/walk.hpp) reached through the DOM road's handler table
// (converter/document/handler_table.cpp), one entry per HandlerFamily.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "converter/walk/walk.hpp"

namespace tidewell {

// --- headings (headings.cpp) ---

// Appends one heading in the options' style and format, separated from what
// the output already holds. Writes nothing for an empty text.
void write_heading(std::string& output, const ConversionContext& context, const ConversionOptions& options,
                   std::uint64_t level, std::string_view text);

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

// --- lists (lists.cpp) ---

// ul, ol, li, dl, dt, dd.
void convert_list_element(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

// --- code blocks (code_blocks.cpp) ---

// pre. In a table cell each line of the code is a code span of its own,
// the lines joined by line breaks, which the cell writes as spaces or
// "<br>": a fence cannot stand on a table row.
void convert_code_block(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);
// A code block's text without its leading and trailing line feeds and
// without the indentation all its non-blank lines share; the trailing line
// feeds are put back. Text that is only white space stays as it is.
std::string dedent_code(std::string_view buffer);

// --- code spans (code_blocks.cpp; code elements and code blocks in cells) ---

// The number of backticks that delimit a code span of `content`: the
// smallest n such that no run of exactly n backticks occurs in it, nor one
// of n + 1 after a backslash.
std::size_t code_span_fence_length(std::string_view content);

// Appends `content` as a code span: the delimiter of code_span_fence_length,
// a space inside each delimiter when the content starts or ends with a
// backtick or starts and ends with a space (a reader takes one space off
// each end), and every line break written as a space, since a code span
// keeps to one paragraph. In a table cell "|" is written as "\|" so that
// the row keeps its cells. Right after another code span (`joins`, see
// follows_code_span of converter/inline) the two are written as one: side by
// side their backtick runs would merge. Returns where the span written
// starts: joined, that is where the span before it started.
std::size_t write_code_span(std::string_view content, bool in_table_cell, std::string& out, bool joins = false);

// Appends `text`, Markdown converted apart from the output (its code spans
// did not see what they would follow), at the end of `out`. A code span
// that starts `text` right after one that ends `out` is written as one with
// it, as write_code_span joins them; a span too long to take up stands
// apart after a space. Not for code text, whose backticks are no fences.
// Returns where the appended text starts: joined, where the span before
// started.
std::size_t append_joining_code_spans(std::string& out, std::string_view text, bool in_table_cell);

// --- blockquotes (blockquotes.cpp) ---

void convert_blockquote(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

// --- semantic and sectioning elements (semantic.cpp) ---

// q, nav, main, menu, aside, header, footer, figure, figcaption, dialog,
// article, section, details, summary.
void convert_semantic_element(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

// --- form elements (forms.cpp) ---

// form, fieldset, label, input, meter, legend, select, option, optgroup,
// button, output, textarea, progress, datalist.
void convert_form_element(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

}  // namespace tidewell
