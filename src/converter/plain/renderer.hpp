// Plain-text rendering of a parsed document: text without markup, blocks
// separated by blank lines, list items on lines of their own ("- " or a
// number), table rows as lines of tab-separated cells (a table's captions
// and other content on lines of their own), images as their alt text.
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
// means no node is excluded (same as an empty set); `page_forms` (forms
// kept under `remove_forms`, see fill_page_forms) likewise. All must outlive
// the call.
struct PlainTextScope {
  const ConversionOptions& options;
  const std::unordered_set<NodeHandle>* excluded_nodes = nullptr;
  const std::unordered_set<NodeHandle>* page_forms = nullptr;
};

// Appends the plain text of each of `nodes` (e.g. the document's top-level
// nodes) and their subtrees to `out`, in one pass. `list_state` is the state
// of the list the nodes belong to (an li advances it when it is ordered).
// Handles outside the document and comments give nothing.
void render_plain_text_nodes(std::span<const NodeHandle> nodes, const TlDom& dom, std::string& out,
                             bool preformatted, PlainListState& list_state, const PlainTextScope& scope);

// An optional "+" then one or more ASCII digits, nothing else, at most
// 4294967295; nullopt otherwise.
std::optional<std::uint32_t> parse_attribute_u32(std::string_view value);

}  // namespace tidewell
