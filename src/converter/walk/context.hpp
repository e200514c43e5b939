// The state the DOM walk carries down the tree: list and quote counters,
// flags that say in what kind of construct a node sits, and the shared
// collectors. (What stays fixed for a whole walk, the document, its caches,
// the options, the output and the policy sets, is the Walk object's.)
//
// A handler that changes something for its descendants copies its context,
// changes scalars in the copy and walks its children with it. The collectors
// are plain pointers owned by the conversion entry or by convert_document.
// Nothing flows back from a child scope except through the output string and
// the collectors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "converter/metadata/metadata_sink.hpp"
#include "converter/metadata/structure_sink.hpp"
#include "html_parser/dom.hpp"
#include "options/options.hpp"

namespace tidewell {

// ---------------------------------------------------------------------------
// Reference-style links

struct ReferenceEntry {
  std::string url;
  std::uint64_t number = 0;  // from 1, in order of first registration
  std::optional<std::string> title;
};

struct ReferenceKey {
  std::string url;
  std::optional<std::string> title;
  friend bool operator==(const ReferenceKey&, const ReferenceKey&) = default;
};

struct ReferenceKeyHash {
  std::size_t operator()(const ReferenceKey& key) const noexcept {
    std::size_t h = std::hash<std::string>{}(key.url);
    // An absent title and an empty title are different keys.
    const std::size_t t = key.title ? std::hash<std::string>{}(*key.title) ^ 0x9e3779b97f4a7c15ULL : 0x51ed27ULL;
    return h ^ (t + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
  }
};

// The numbered link targets of one conversion, written after the body.
struct ReferenceLinkCollector {
  std::vector<ReferenceEntry> entries;  // in number order
  std::unordered_map<ReferenceKey, std::uint64_t, ReferenceKeyHash> index;
};

// The number of the (url, title) pair: the existing one when the pair was
// registered before (titles equal only when both absent or both present and
// equal), otherwise a new entry numbered entries + 1.
std::uint64_t register_reference(ReferenceLinkCollector& collector, std::string url,
                                 std::optional<std::string> title);

// Appends the definition lines of every entry: "[n]: url" with an optional
// quoted title, both written as in an inline link.
void append_reference_definitions(const ReferenceLinkCollector& collector, std::string& output);

// ---------------------------------------------------------------------------
// The context

// The number of an ordered-list item: a list may start at 2^64 - 1 and
// still count on.
using ListItemNumber = unsigned __int128;

// The table handler's findings about the tables inside the table it is
// converting (converter/tables).
struct TableScanCache;

// A list item that stands in inline elements writing markup, the way to
// convert its content inside them (converter/blocks/lists.cpp).
struct WrappedListItem;

struct ConversionContext {
  ListItemNumber list_item_number = 0;
  std::uint64_t blockquote_depth = 0;
  std::uint64_t emphasis_depth = 0;
  std::size_t list_depth = 0;
  // Inside a list item: the column where the item's content starts (its
  // marker's indentation and width). Lines that continue the item are
  // indented by this many spaces, which keeps them in the item.
  std::size_t item_indent = 0;
  std::size_t bullet_level = 0;
  // List items at a handle below this one hold no task checkbox: the
  // enclosing item's search already passed them (handles follow document
  // order). 0 until an item has searched.
  NodeHandle checkbox_free_below = 0;
  // Walk nesting above depth 0 of this scope. Table cells restart the walk
  // depth (which `max_depth` counts) at 0; the walk's recursion limit counts
  // depth + nesting_offset, so nested tables still reach it.
  std::size_t nesting_offset = 0;

  MetadataSink* metadata_sink = nullptr;
  StructureSink* structure_sink = nullptr;
  ReferenceLinkCollector* reference_links = nullptr;
  // Set by the table handler for the content of a table.
  TableScanCache* table_scans = nullptr;
  // Set by a list for one item it found inside inline elements, and read by
  // that item alone.
  const WrappedListItem* wrapped_item = nullptr;

  bool in_code = false;
  bool in_ordered_list = false;
  bool in_table_cell = false;
  bool inline_mode = false;
  bool in_list_item = false;
  bool in_list = false;
  bool loose_list = false;
  // The items of the innermost list write the other marker ("+" for "-",
  // ")" for "."): the list follows one of the same kind, which a reader
  // would otherwise take as its continuation.
  bool other_list_marker = false;
  bool in_single_line = false;
  bool keep_images_here = false;
  bool in_paragraph = false;
  bool in_strong = false;
  // Between the emphasis markers of b, strong, i, em (and of elements
  // written like them): text escapes the emphasis characters.
  bool in_emphasis = false;
  // Between the strikethrough markers ("~~") of s, strike and del: text
  // escapes every '~'.
  bool in_strike = false;
  bool collect_document = false;
  bool collect_headers = false;
  bool collect_links = false;
  bool collect_images = false;
  bool collect_structured_data = false;
};

// The root context of a walk: counters 0, `inline_mode` from
// `convert_as_inline`, the collect flags copied from the metadata sink
// (false without one).
ConversionContext make_root_context(const ConversionOptions& options, MetadataSink* metadata_sink,
                                    StructureSink* structure_sink, ReferenceLinkCollector* reference_links);

// The same context with the collectors taken away: for a second
// conversion of content whose links, images and tables were recorded by
// the first one.
ConversionContext detached_context(ConversionContext context);

}  // namespace tidewell
