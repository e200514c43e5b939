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

// span, u, small: elements that write their content alone, no markup of
// their own before or after it (what stands beside them is read through
// them).
inline bool writes_content_alone(TagId id) { return id == TagId::Span || id == TagId::U || id == TagId::Small; }

// The element writes nothing of its own around its children, which it
// converts into the output itself: span, u, small, sub and sup without a
// symbol, abbr without a title, unknown and transparent elements (code.cpp).
bool writes_children_in_place(const Walk& w, NodeHandle element);

// An element that writes nothing in `context`: a formatting element, code or
// a span without children, or holding only comments and such elements, a
// few levels deep (formatting.cpp).
bool writes_nothing(const Walk& w, NodeHandle node, const ConversionContext& context);

// --- code spans (code.cpp) ---

// code: its content as a code span (written by write_code_span of
// converter/blocks/blocks.hpp, which code blocks in table cells share).
void convert_inline_code(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

// Whether the output ends with the closing backticks of a code span, which
// the code span of `node` is joined to: a backtick no backslash escapes
// (text escapes its backticks). After a backslash (code that ends with one,
// or an escaped backtick of text) the node right before `node` tells
// (comments and elements that write nothing passed over): Yes where its
// last element is a code, kbd or samp element, No where it ends with text,
// Unsure where that is not found within a few levels.
enum class FollowsCodeSpan { No, Yes, Unsure };
FollowsCodeSpan follows_code_span(const Walk& w, NodeHandle node, const ConversionContext& context);

// An abbr element with a title, which is written after its content.
bool abbr_has_title(const Walk& w, NodeHandle abbr);

// Writes `content` as the code span of `node` (code, kbd, samp) at the end
// of the output; with `may_join`, one with the code span before it when
// `node` follows one (follows_code_span; kept apart from it by a space
// where that is unsure). Returns where the span starts:
// joined, where the span before started, which is noted for the elements
// written in place around `node` (Walk::note_rewritten_from).
std::size_t write_inline_code_span(const Walk& w, NodeHandle node, const ConversionContext& context,
                                   std::string_view content, bool may_join);

// Appends `text`, an element's content converted apart from the output, at
// its end: a code span it starts with takes up the code span the output
// ends with (append_joining_code_spans of converter/blocks/blocks.hpp),
// which is noted for the elements written in place around. Code text (in
// `context.in_code`) is appended as it is. Returns where `text` starts.
std::size_t append_converted_apart(const Walk& w, const ConversionContext& context, std::string_view text);

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
