// Plain-text rendering of a parsed document: text without markup, blocks
// separated by blank lines, list items on lines of their own ("- " or a
// number), table rows as lines of tab-separated cells, images as their alt
// text.
//
// The renderer walks the document with an explicit stack, so any nesting
// depth is safe. It ignores `max_depth`, `strip_tags` and `preserve_tags`;
// it honours `skip_images`, the `preprocessing` options (through
// is_boilerplate_element) and the excluded nodes. Its output still needs the
// line normalisation of the caller (lines right-trimmed, runs of empty lines
// shortened, one final line feed).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "html_parser/dom.hpp"
#include "options/options.hpp"

namespace tidewell {

enum class PlainListKind : std::uint8_t { None = 0, Unordered = 1, Ordered = 2 };

// The list the current node belongs to. The items of one list share one
// state; `number` is the next ordered item's number (wraps at 2^32).
struct PlainListState {
  PlainListKind kind = PlainListKind::None;
  std::uint32_t number = 0;
};

// What every call receives unchanged. `excluded_nodes` may be null, which
// means no node is excluded (same as an empty set). Both must outlive the
// call.
struct PlainTextScope {
  const ConversionOptions& options;
  const std::unordered_set<NodeHandle>* excluded_nodes = nullptr;
};

// Appends the plain text of `node` and its subtree to `out`. `list_state`
// is the state of the list the node belongs to (an li advances it when it is
// ordered). Handles outside the document and comments give nothing.
void render_plain_text_node(NodeHandle node, const TlDom& dom, std::string& out, bool preformatted,
                            PlainListState& list_state, const PlainTextScope& scope);

// render_plain_text_node for every child of `element`, in order, with the
// same arguments. Nothing for a handle that is not an element.
void render_plain_text_children(NodeHandle element, const TlDom& dom, std::string& out, bool preformatted,
                                PlainListState& list_state, const PlainTextScope& scope);

// render_plain_text_node for each of `nodes` in order with the same
// arguments, in one pass (e.g. the document's top-level nodes).
void render_plain_text_nodes(std::span<const NodeHandle> nodes, const TlDom& dom, std::string& out,
                             bool preformatted, PlainListState& list_state, const PlainTextScope& scope);

// Appends the rows of a table: rows separated by "\n", cells by "\t", each
// cell's text rendered on its own and trimmed of Unicode white space.
void render_plain_text_table(NodeHandle table, const TlDom& dom, std::string& out, const PlainTextScope& scope);

// One row of a table: a tr element and its children, or a run of td and th
// elements that stand without a tr around them (`node` is then the first
// cell and `items` the run).
struct PlainTableRow {
  NodeHandle node = 0;
  std::span<const NodeHandle> items;
};

// Appends to `rows` the rows below `element` in document order, without
// looking inside a tr or a cell (rows of nested tables are not collected).
void collect_plain_text_table_rows(NodeHandle element, const TlDom& dom, std::vector<PlainTableRow>& rows);

// Appends "\n" unless `out` is empty or already ends with "\n".
void plain_text_ensure_newline(std::string& out);

// Nothing on an empty `out`; otherwise drops trailing spaces and tabs and
// makes `out` end with (at least) two line feeds.
void plain_text_ensure_blank_line(std::string& out);

// An optional "+" then one or more ASCII digits, nothing else, at most
// 4294967295; nullopt otherwise.
std::optional<std::uint32_t> parse_attribute_u32(std::string_view value);

}  // namespace tidewell
