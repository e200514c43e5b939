// The per-node dispatcher of the DOM walk and the handlers of the basic
// block elements. Every handler appends to the output string it is given,
// makes its own spacing by looking at the end of that string, and walks the
// children it converts through `walk_node` at depth + 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "converter/dom/dom_context.hpp"
#include "converter/walk/context.hpp"
#include "html_parser/dom.hpp"
#include "options/options.hpp"

namespace tidewell {

// Nesting at which the walk stops recursing through the handlers and writes
// the rest of the subtree as plain text with an explicit stack. Ordinary
// pages stay far below it; it keeps the C stack small on any input.
inline constexpr std::size_t kWalkRecursionLimit = 256;

// Converts one node and its subtree. Depth is 0 for top-level nodes and the
// parent's depth + 1 below.
void walk_node(NodeHandle node, const TlDom& dom, std::string& output, const ConversionOptions& options,
               const ConversionContext& context, std::size_t depth, const DomContext& dom_context);

// Walks every child of the element at depth + 1; writes nothing itself.
void convert_children(NodeHandle node, const TlDom& dom, std::string& output, const ConversionOptions& options,
                      const ConversionContext& context, std::size_t depth, const DomContext& dom_context);

// --- headings ---

// Appends one heading in the given style, separated from what the output
// already holds. Writes nothing for an empty text.
void write_heading(std::string& output, const ConversionContext& context, HeadingStyle style, std::uint64_t level,
                   std::string_view text);

// Handler for "h1" to "h6" (`name` lower-cased).
void convert_heading(std::string_view name, NodeHandle node, const TlDom& dom, std::string& output,
                     const ConversionOptions& options, const ConversionContext& context, std::size_t depth,
                     const DomContext& dom_context);

// --- basic blocks ---

void convert_paragraph(NodeHandle node, const TlDom& dom, std::string& output, const ConversionOptions& options,
                       const ConversionContext& context, std::size_t depth, const DomContext& dom_context);
void convert_div(NodeHandle node, const TlDom& dom, std::string& output, const ConversionOptions& options,
                 const ConversionContext& context, std::size_t depth, const DomContext& dom_context);
void emit_line_break(std::string& output, NewlineStyle newline_style, bool in_single_line);
void convert_horizontal_rule(NodeHandle node, const TlDom& dom, std::string& output, bool in_paragraph,
                             const DomContext& dom_context);
void convert_unknown_element(NodeHandle node, const TlDom& dom, std::string& output,
                             const ConversionOptions& options, const ConversionContext& context, std::size_t depth,
                             const DomContext& dom_context);

// The element's own name is exactly "br", "hr", "img", "meta", "link" or
// "input" (as written, case-sensitive). False for anything else.
bool is_void_or_metadata_tag(NodeHandle node, const TlDom& dom);

// --- raw HTML of preserved elements ---

// The element's source bytes from its start tag to the end of its last
// descendant, followed by the end tags found there (the element's own end
// tag is supplied when the input has none). Empty for a non-element.
std::string serialize_preserved_element(NodeHandle node, const TlDom& dom);

}  // namespace tidewell
