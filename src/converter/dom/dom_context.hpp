// Per-document index and caches over a parsed TlDom: parents, children,
// sibling positions, lower-cased tag names with inline/block flags, sibling
// neighbourhood answers and node texts.
//
// The context holds no reference to the document: every query takes the
// TlDom it was built from. Queries take the context by const reference and
// fill their once-computed cells on first use (one conversion, one thread).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/tags.hpp"
#include "html_parser/dom.hpp"

namespace tidewell {

// An element's lower-cased name with its tag id and classes.
struct CachedTagInfo {
  CowText name;  // the tag table's static text for known names, else an owned copy
  TagId id = TagId::Unknown;
  bool is_inline = false;  // phrasing, or style or script (for the sibling scans)
  bool is_block = false;
};

// Recent node texts, least recently used first.
struct LruTextCache {
  std::vector<std::pair<NodeHandle, std::string>> entries;
  std::size_t capacity = 32;
  // in_cache[h] != 0 while `entries` holds h (a constant-time pre-check).
  std::vector<std::uint8_t> in_cache;
};

// A copy of the cached text of `h`, moved to the recent end; nullopt on a miss.
std::optional<std::string> text_cache_get(LruTextCache& cache, NodeHandle h);
// Stores `text` for `h`, replacing an old entry or evicting the oldest.
void text_cache_insert(LruTextCache& cache, NodeHandle h, std::string text);

// An optional handle or position in four bytes, the largest value standing
// for none: no handle or child position of a parsed document reaches it
// (inputs stay below 4 GiB). The per-node tables hold one per node, so
// their size follows the node count closely.
class PackedIndex {
 public:
  constexpr PackedIndex() = default;
  constexpr PackedIndex(std::nullopt_t) {}  // NOLINT: implicit on purpose
  constexpr PackedIndex(std::uint32_t v) : v_(v) {}  // NOLINT: implicit on purpose
  constexpr PackedIndex(std::optional<std::uint32_t> v) : v_(v ? *v : kNone) {}  // NOLINT: implicit on purpose
  constexpr bool has_value() const { return v_ != kNone; }
  constexpr explicit operator bool() const { return has_value(); }
  constexpr std::uint32_t operator*() const { return v_; }
  constexpr std::optional<std::uint32_t> get() const {
    return has_value() ? std::optional<std::uint32_t>(v_) : std::nullopt;
  }
  friend constexpr bool operator==(PackedIndex, PackedIndex) = default;

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  std::uint32_t v_ = kNone;
};

class DomContext {
 public:
  // Read-only after the build; read directly by callers.
  std::vector<PackedIndex> parents;
  std::vector<PackedIndex> sibling_index;
  std::vector<NodeHandle> roots;
  std::vector<std::uint8_t> visited;  // 1 for the nodes the build recorded

  // Once-filled cells (0: not computed yet).
  // tag_info: 0 unset, 1 not an element, else 2 + an index into tag_infos.
  mutable std::vector<std::uint32_t> tag_info;
  // One entry per distinct name, shared by every element of that name; a
  // deque, so that the pointers handed out stay valid.
  mutable std::deque<CachedTagInfo> tag_infos;
  mutable std::array<std::uint32_t, 256> known_tag_infos{};  // by TagId, 2 + index, 0 unset
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
  };
  // Lower-cased name -> 2 + index.
  mutable std::unordered_map<std::string, std::uint32_t, NameHash, std::equal_to<>> unknown_tag_infos;
  // Three answers per node in one byte, two bits each (0 unset, 1 false,
  // 2 true): whether the nearest element sibling before and after it is
  // inline, and whether the sibling after it, past comments, is
  // whitespace-only text.
  mutable std::vector<std::uint8_t> sibling_cells;
  // 0xFFFFFFFF unset, 0xFFFFFFFE none, else the handle.
  mutable std::vector<NodeHandle> next_element;

  mutable LruTextCache text_cache;
  // How each formatting element was written, as far as the DOM walk has
  // come (with or without its markers; see converter/inline/formatting.cpp),
  // grown on first use: a closing marker at the end of the content of one
  // written without markers is another element's.
  mutable std::vector<std::uint8_t> formatting_written;
  // Where each formatting element written with its markers (or joined to
  // the pair before) stands in the output it was written to, grown on
  // first use: the opening marker of its pair and the start of its own
  // content (SIZE_MAX: not known). The pair that the next one continues is
  // read from there (see converter/inline/formatting.cpp).
  struct FormattingPlace {
    std::size_t pair_open = SIZE_MAX;
    std::size_t content = SIZE_MAX;
  };
  mutable std::vector<FormattingPlace> formatting_places;
  // Formatting elements whose markers were checked by reading the output's
  // end, and how many of those read it further back where the first
  // reading failed near the markers (bounded by the first count).
  mutable std::size_t marker_checks = 0;
  mutable std::size_t marker_checks_widened = 0;

  // The children of `h` when the build recorded it (empty when none).
  std::span<const NodeHandle> children_of(NodeHandle h, const TlDom& dom) const {
    if (h >= visited.size() || visited[h] == 0) return {};
    const TlNode::Tag* tag = dom.tag(h);
    return tag ? tag->children.as_span() : std::span<const NodeHandle>();
  }
  std::optional<NodeHandle> parent_of(NodeHandle h) const {
    return h < parents.size() ? parents[h].get() : std::nullopt;
  }
};

// --- building ---
DomContext build_dom_context(std::span<const NodeHandle> top_level, const TlDom& dom, std::size_t html_len);
// Records `node` (with `parent`) and its whole subtree. Iterative.
void fill_dom_context(NodeHandle node, std::optional<NodeHandle> parent, const TlDom& dom, DomContext& ctx);
// Grows every per-node table to cover `h`; never shrinks.
void dom_caches_ensure_len(DomContext& ctx, NodeHandle h);

// --- tag queries ---
// nullptr for text, comments, unknown handles and nodes the build did not
// visit. The pointer stays valid for the context's life.
const CachedTagInfo* dom_cache_tag_info(const DomContext& ctx, NodeHandle h, const TlDom& dom);
// Lower-cased tag name: borrowed from the context (or the input when it is
// already lower case), else owned; nullopt when `h` is not an element.
std::optional<CowText> dom_tag_name_lower(const DomContext& ctx, NodeHandle h, const TlDom& dom);

// --- sibling queries ---
std::optional<NodeHandle> dom_cache_next_element(const DomContext& ctx, NodeHandle h, const TlDom& dom);
// Borrowed from the context.
std::optional<std::string_view> dom_next_element_tag_name(const DomContext& ctx, NodeHandle h, const TlDom& dom);
bool dom_cache_next_inline(const DomContext& ctx, NodeHandle h, const TlDom& dom);
bool dom_cache_prev_inline(const DomContext& ctx, NodeHandle h, const TlDom& dom);
inline bool dom_next_sibling_is_inline(const DomContext& ctx, NodeHandle h, const TlDom& dom) {
  return dom_cache_next_inline(ctx, h, dom);
}
inline bool dom_prev_sibling_is_inline(const DomContext& ctx, NodeHandle h, const TlDom& dom) {
  return dom_cache_prev_inline(ctx, h, dom);
}
bool dom_cache_next_space_text(const DomContext& ctx, NodeHandle h, const TlDom& dom);

// --- node text (character references decoded, comments skipped) ---
std::string dom_node_text_cached(const DomContext& ctx, NodeHandle h, const TlDom& dom);
void dom_append_node_text(const DomContext& ctx, NodeHandle h, const TlDom& dom, std::string& out);
// Like dom_append_node_text without consulting the cache for `h` itself.
void dom_compute_node_text(const DomContext& ctx, NodeHandle h, const TlDom& dom, std::string& out);

// --- a head's content ---
// Whether the node is one of a head's own elements, which stay in the head
// for an HTML reader: title, meta, link, base, script, style, noscript,
// template (ASCII case ignored).
bool is_head_element(const TlDom& dom, NodeHandle h);
// Where the content an HTML reader moves from a head into the body starts:
// the index of the head's first child that is none of its own elements, no
// comment and no text of ASCII white space alone (the children's count when
// there is none). From there on every child but the head's own elements is
// moved, in place.
std::size_t first_moved_out_of_head(const TlDom& dom, const TlNode::Tag& head);

}  // namespace tidewell
