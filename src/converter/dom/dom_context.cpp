#include "converter/dom/dom_context.hpp"

#include <algorithm>
#include <cstring>

#include "common/entities.hpp"
#include "common/scan.hpp"
#include "common/tags.hpp"
#include "common/unicode_space.hpp"

namespace tidewell {
namespace {

constexpr std::uint8_t kUnset = 0;
constexpr std::uint8_t kFalse = 1;
constexpr std::uint8_t kTrue = 2;

constexpr NodeHandle kNextUnset = 0xFFFFFFFFu;
constexpr NodeHandle kNextNone = 0xFFFFFFFEu;
constexpr std::uint32_t kInfoUnset = 0;
constexpr std::uint32_t kInfoNone = 1;

inline std::uint8_t cell_of(bool b) { return b ? kTrue : kFalse; }

// The bit offsets of the answers in DomContext::sibling_cells.
enum class Cell : unsigned { PrevInline = 0, NextInline = 2, NextSpaceText = 4 };

inline std::uint8_t cell_get(const DomContext& ctx, Cell c, NodeHandle h) {
  return static_cast<std::uint8_t>((ctx.sibling_cells[h] >> static_cast<unsigned>(c)) & 3u);
}
inline void cell_set(const DomContext& ctx, Cell c, NodeHandle h, std::uint8_t v) {
  std::uint8_t& bits = ctx.sibling_cells[h];
  const unsigned shift = static_cast<unsigned>(c);
  bits = static_cast<std::uint8_t>((bits & ~(3u << shift)) | (static_cast<unsigned>(v) << shift));
}

// Whitespace-only in the Unicode sense; invalid bytes (U+FFFD once decoded)
// are not white space. The empty text counts as white space only.
bool is_whitespace_only(std::string_view bytes) { return is_unicode_space_only(bytes); }

// A text node's contribution to a node text: repaired UTF-8, character
// references decoded when it holds "&".
void append_raw_text(std::string_view bytes, std::string& out) {
  std::string holder;
  out.append(text_node_content(bytes, holder));
}

bool has_ascii_upper(std::string_view s) {
  for (char c : s) {
    if (c >= 'A' && c <= 'Z') return true;
  }
  return false;
}

void lower_ascii_in_place(std::string& s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
}

// The known name's static text.
CowText known_name(TagId id) { return CowText(tag_info(id).name); }

CowText lowered_name(std::string_view raw_name, TagId& id) {
  CowText decoded = utf8_lossy(raw_name);
  const std::string_view name = decoded.view();
  id = tag_id_ignore_case(name);
  if (id != TagId::Unknown) return known_name(id);
  std::string owned(name);
  lower_ascii_in_place(owned);
  return CowText(std::move(owned));
}

// The cell value of the shared entry for an element named `raw_name`,
// adding the entry on the first element of that name.
std::uint32_t shared_tag_info(const DomContext& ctx, std::string_view raw_name) {
  CachedTagInfo info;
  info.name = lowered_name(raw_name, info.id);
  std::uint32_t* slot = nullptr;
  if (info.id != TagId::Unknown) {
    slot = &ctx.known_tag_infos[static_cast<std::size_t>(info.id)];
  } else if (const auto found = ctx.unknown_tag_infos.find(info.name.view()); found != ctx.unknown_tag_infos.end()) {
    slot = &found->second;
  } else {
    slot = &ctx.unknown_tag_infos.emplace(info.name.to_string(), kInfoUnset).first->second;
  }
  if (*slot != kInfoUnset) return *slot;
  const bool inline_tag = tag_has(info.id, kInline);
  info.is_inline = inline_tag || info.id == TagId::Style || info.id == TagId::Script;
  info.is_block = !inline_tag && tag_has(info.id, kBlock);
  ctx.tag_infos.push_back(std::move(info));
  *slot = static_cast<std::uint32_t>(ctx.tag_infos.size() - 1 + 2);
  return *slot;
}

// The sibling list of `h` and its position in it; false when it has none.
bool sibling_position(const DomContext& ctx, NodeHandle h, const TlDom& dom, std::span<const NodeHandle>& list,
                      std::size_t& pos) {
  const std::optional<NodeHandle> parent = ctx.parent_of(h);
  if (parent) {
    list = ctx.children_of(*parent, dom);
  } else {
    list = ctx.roots;
  }
  if (h < ctx.sibling_index.size() && ctx.sibling_index[h]) {
    pos = static_cast<std::size_t>(*ctx.sibling_index[h]);
    return pos < list.size();
  }
  auto it = std::find(list.begin(), list.end(), h);
  if (it == list.end()) return false;
  pos = static_cast<std::size_t>(it - list.begin());
  return true;
}

// Whether the element-sibling scans pass over this sibling: no tag
// information, and not a text holding anything but white space.
bool scan_passes(const DomContext& ctx, NodeHandle s, const TlDom& dom, const CachedTagInfo** info) {
  *info = dom_cache_tag_info(ctx, s, dom);
  if (*info) return false;
  const TlNode* node = dom.node(s);
  if (node) {
    if (const auto* raw = node->as_raw()) return is_whitespace_only(dom.bytes(raw->text));
  }
  return true;
}

// The forward element-sibling scan from `h`: the nearest following element
// sibling, or none when the list ends or a text with content stops the
// scan. Every sibling passed over has the same answer, so its cells are
// filled too, and a passed sibling whose answer is known ends the scan:
// asking every node of a long run costs linear time, not quadratic.
void forward_element_scan(const DomContext& ctx, NodeHandle h, const TlDom& dom) {
  std::span<const NodeHandle> list;
  std::size_t pos = 0;
  std::optional<NodeHandle> answer;
  // Siblings at positions (pos, end) were passed over.
  std::size_t end = 0;
  const bool positioned = sibling_position(ctx, h, dom, list, pos);
  if (positioned) {
    for (end = pos + 1; end < list.size(); ++end) {
      const NodeHandle s = list[end];
      const CachedTagInfo* info = nullptr;
      if (!scan_passes(ctx, s, dom, &info)) {
        if (info) answer = s;
        break;
      }
      if (s < ctx.next_element.size() && ctx.next_element[s] != kNextUnset) {
        if (ctx.next_element[s] != kNextNone) answer = ctx.next_element[s];
        break;
      }
    }
  }
  const CachedTagInfo* found = answer ? dom_cache_tag_info(ctx, *answer, dom) : nullptr;
  const std::uint8_t inline_cell = cell_of(found && found->is_inline);
  auto fill = [&](NodeHandle n) {
    if (n >= ctx.next_element.size()) return;
    if (ctx.next_element[n] == kNextUnset) ctx.next_element[n] = answer ? *answer : kNextNone;
    if (cell_get(ctx, Cell::NextInline, n) == kUnset) cell_set(ctx, Cell::NextInline, n, inline_cell);
  };
  fill(h);
  if (positioned) {
    for (std::size_t j = pos + 1; j < end; ++j) fill(list[j]);
  }
}

// The backward scan for the inline flag of the nearest preceding element
// sibling, sharing answers with the siblings it passes like the forward one.
void backward_inline_scan(const DomContext& ctx, NodeHandle h, const TlDom& dom) {
  std::span<const NodeHandle> list;
  std::size_t pos = 0;
  std::uint8_t answer = kFalse;
  // Siblings at positions [first, pos) were passed over.
  std::size_t first = 0;
  const bool positioned = sibling_position(ctx, h, dom, list, pos);
  if (positioned) {
    for (first = pos; first > 0; --first) {
      const NodeHandle s = list[first - 1];
      const CachedTagInfo* info = nullptr;
      if (!scan_passes(ctx, s, dom, &info)) {
        answer = cell_of(info && info->is_inline);
        break;
      }
      if (s < ctx.sibling_cells.size() && cell_get(ctx, Cell::PrevInline, s) != kUnset) {
        answer = cell_get(ctx, Cell::PrevInline, s);
        break;
      }
    }
  }
  auto fill = [&](NodeHandle n) {
    if (n < ctx.sibling_cells.size() && cell_get(ctx, Cell::PrevInline, n) == kUnset) {
      cell_set(ctx, Cell::PrevInline, n, answer);
    }
  };
  fill(h);
  if (positioned) {
    for (std::size_t j = first; j < pos; ++j) fill(list[j]);
  }
}

bool maybe_cached(const LruTextCache& cache, NodeHandle h) {
  if (cache.entries.empty()) return false;
  return h < cache.in_cache.size() ? cache.in_cache[h] != 0 : true;
}

void set_in_cache(LruTextCache& cache, NodeHandle h, std::uint8_t v) {
  if (h < cache.in_cache.size()) cache.in_cache[h] = v;
}

}  // namespace

// ---------------------------------------------------------------------------
// Text cache

std::optional<std::string> text_cache_get(LruTextCache& cache, NodeHandle h) {
  if (!maybe_cached(cache, h)) return std::nullopt;
  auto& e = cache.entries;
  for (std::size_t i = 0; i < e.size(); ++i) {
    if (e[i].first != h) continue;
    if (i + 1 != e.size()) {
      std::rotate(e.begin() + static_cast<std::ptrdiff_t>(i), e.begin() + static_cast<std::ptrdiff_t>(i) + 1, e.end());
    }
    return e.back().second;
  }
  return std::nullopt;
}

void text_cache_insert(LruTextCache& cache, NodeHandle h, std::string text) {
  if (cache.capacity == 0) return;
  auto& e = cache.entries;
  bool replaced = false;
  if (maybe_cached(cache, h)) {
    for (std::size_t i = 0; i < e.size(); ++i) {
      if (e[i].first == h) {
        e.erase(e.begin() + static_cast<std::ptrdiff_t>(i));
        replaced = true;
        break;
      }
    }
  }
  if (!replaced && e.size() >= cache.capacity) {
    set_in_cache(cache, e.front().first, 0);
    e.erase(e.begin());
  }
  e.emplace_back(h, std::move(text));
  set_in_cache(cache, h, 1);
}

// ---------------------------------------------------------------------------
// Building

void dom_caches_ensure_len(DomContext& ctx, NodeHandle h) {
  const std::size_t need = static_cast<std::size_t>(h) + 1;
  if (ctx.parents.size() >= need) return;
  ctx.parents.resize(need);
  ctx.sibling_index.resize(need);
  ctx.visited.resize(need, 0);
  ctx.tag_info.resize(need, kInfoUnset);
  ctx.sibling_cells.resize(need, 0);
  ctx.next_element.resize(need, kNextUnset);
  ctx.text_cache.in_cache.resize(need, 0);
}

namespace {

void truncate_tables(DomContext& ctx, std::size_t len) {
  ctx.parents.resize(len);
  ctx.sibling_index.resize(len);
  ctx.visited.resize(len);
  ctx.tag_info.resize(len);
  ctx.sibling_cells.resize(len);
  ctx.next_element.resize(len);
  ctx.text_cache.in_cache.resize(len);
}

}  // namespace

void fill_dom_context(NodeHandle node, std::optional<NodeHandle> parent, const TlDom& dom, DomContext& ctx) {
  // A handle outside the document is not recorded: growing the tables up
  // to an arbitrary handle would only waste memory.
  if (!dom.contains(node)) return;
  dom_caches_ensure_len(ctx, node);
  ctx.parents[node] = parent;
  ctx.visited[node] = 1;

  // Pre-order without a stack: down to the first child, else on to the
  // next sibling, climbing by the parents and positions just recorded.
  // Children outside the document are passed over.
  const auto record_first_from = [&](NodeHandle owner, std::size_t k) -> std::optional<NodeHandle> {
    const TlNode::Tag* tag = dom.tag(owner);
    if (tag == nullptr) return std::nullopt;
    for (; k < tag->children.size(); ++k) {
      const NodeHandle child = tag->children[k];
      if (!dom.contains(child)) continue;
      dom_caches_ensure_len(ctx, child);
      ctx.parents[child] = owner;
      ctx.visited[child] = 1;
      ctx.sibling_index[child] = PackedIndex(static_cast<std::uint32_t>(k));
      return child;
    }
    return std::nullopt;
  };
  NodeHandle at = node;
  while (true) {
    if (const std::optional<NodeHandle> child = record_first_from(at, 0)) {
      at = *child;
      continue;
    }
    std::optional<NodeHandle> next;
    while (at != node && !next) {
      const NodeHandle owner = *ctx.parents[at];
      next = record_first_from(owner, std::size_t{*ctx.sibling_index[at]} + 1);
      if (!next) at = owner;
    }
    if (!next) return;
    at = *next;
  }
}

DomContext build_dom_context(std::span<const NodeHandle> top_level, const TlDom& dom, std::size_t html_len) {
  DomContext ctx;
  ctx.text_cache.capacity = std::clamp<std::size_t>(html_len / 1024, 32, 256);
  ctx.text_cache.entries.reserve(ctx.text_cache.capacity);
  ctx.roots.assign(top_level.begin(), top_level.end());
  const std::size_t n = dom.nodes.size();
  // Size the tables for the whole arena at once rather than growing them
  // node by node, then cut them back to the largest handle visited, which
  // is what the tables cover.
  if (!top_level.empty() && n != 0) dom_caches_ensure_len(ctx, static_cast<NodeHandle>(n - 1));
  for (std::size_t i = 0; i < top_level.size(); ++i) {
    const NodeHandle h = top_level[i];
    if (!dom.contains(h)) continue;
    dom_caches_ensure_len(ctx, h);
    ctx.sibling_index[h] = PackedIndex(static_cast<std::uint32_t>(i));
    fill_dom_context(h, std::nullopt, dom, ctx);
  }
  std::size_t covered = ctx.visited.size();
  while (covered > 0 && ctx.visited[covered - 1] == 0) --covered;
  if (covered < ctx.visited.size()) truncate_tables(ctx, covered);
  return ctx;
}

// ---------------------------------------------------------------------------
// Tag queries

const CachedTagInfo* dom_cache_tag_info(const DomContext& ctx, NodeHandle h, const TlDom& dom) {
  if (h >= ctx.tag_info.size()) return nullptr;
  std::uint32_t& cell = ctx.tag_info[h];
  if (cell == kInfoUnset) {
    const TlNode::Tag* tag = ctx.visited[h] != 0 ? dom.tag(h) : nullptr;
    cell = tag ? shared_tag_info(ctx, dom.bytes(tag->name)) : kInfoNone;
  }
  return cell == kInfoNone ? nullptr : &ctx.tag_infos[cell - 2];
}

std::optional<CowText> dom_tag_name_lower(const DomContext& ctx, NodeHandle h, const TlDom& dom) {
  if (const CachedTagInfo* info = dom_cache_tag_info(ctx, h, dom)) return CowText(info->name.view());
  const TlNode::Tag* tag = dom.tag(h);
  if (!tag) return std::nullopt;
  CowText decoded = utf8_lossy(dom.bytes(tag->name));
  if (!has_ascii_upper(decoded.view())) return decoded;
  std::string owned = std::move(decoded).into_string();
  lower_ascii_in_place(owned);
  return CowText(std::move(owned));
}

// ---------------------------------------------------------------------------
// Sibling queries

std::optional<NodeHandle> dom_cache_next_element(const DomContext& ctx, NodeHandle h, const TlDom& dom) {
  if (h >= ctx.next_element.size()) return std::nullopt;
  if (ctx.next_element[h] == kNextUnset) forward_element_scan(ctx, h, dom);
  if (ctx.next_element[h] == kNextNone) return std::nullopt;
  return ctx.next_element[h];
}

std::optional<std::string_view> dom_next_element_tag_name(const DomContext& ctx, NodeHandle h, const TlDom& dom) {
  const std::optional<NodeHandle> next = dom_cache_next_element(ctx, h, dom);
  if (!next) return std::nullopt;
  const CachedTagInfo* info = dom_cache_tag_info(ctx, *next, dom);
  if (!info) return std::nullopt;
  return info->name.view();
}

bool dom_cache_next_inline(const DomContext& ctx, NodeHandle h, const TlDom& dom) {
  if (h >= ctx.sibling_cells.size()) return false;
  if (cell_get(ctx, Cell::NextInline, h) == kUnset) forward_element_scan(ctx, h, dom);
  return cell_get(ctx, Cell::NextInline, h) == kTrue;
}

bool dom_cache_prev_inline(const DomContext& ctx, NodeHandle h, const TlDom& dom) {
  if (h >= ctx.sibling_cells.size()) return false;
  if (cell_get(ctx, Cell::PrevInline, h) == kUnset) backward_inline_scan(ctx, h, dom);
  return cell_get(ctx, Cell::PrevInline, h) == kTrue;
}

bool dom_cache_next_space_text(const DomContext& ctx, NodeHandle h, const TlDom& dom) {
  if (h >= ctx.sibling_cells.size()) return false;
  const std::uint8_t cell = cell_get(ctx, Cell::NextSpaceText, h);
  if (cell != kUnset) return cell == kTrue;
  // Comments passed over share the answer (and a known one ends the scan).
  std::uint8_t answer = kFalse;
  std::span<const NodeHandle> list;
  std::size_t pos = 0;
  std::size_t end = 0;
  const bool positioned = sibling_position(ctx, h, dom, list, pos);
  if (positioned) {
    for (end = pos + 1; end < list.size(); ++end) {
      const NodeHandle s = list[end];
      const TlNode* node = dom.node(s);
      if (!node || node->is_comment()) {
        if (s < ctx.sibling_cells.size() && cell_get(ctx, Cell::NextSpaceText, s) != kUnset) {
          answer = cell_get(ctx, Cell::NextSpaceText, s);
          break;
        }
        continue;
      }
      if (const auto* raw = node->as_raw()) answer = cell_of(is_whitespace_only(dom.bytes(raw->text)));
      break;
    }
  }
  cell_set(ctx, Cell::NextSpaceText, h, answer);
  if (positioned) {
    for (std::size_t j = pos + 1; j < end; ++j) {
      const NodeHandle n = list[j];
      if (n < ctx.sibling_cells.size() && cell_get(ctx, Cell::NextSpaceText, n) == kUnset) {
        cell_set(ctx, Cell::NextSpaceText, n, answer);
      }
    }
  }
  return answer == kTrue;
}

// ---------------------------------------------------------------------------
// Node text

void dom_compute_node_text(const DomContext& ctx, NodeHandle h, const TlDom& dom, std::string& out) {
  const TlNode* node = dom.node(h);
  if (!node) return;
  if (const auto* raw = node->as_raw()) {
    append_raw_text(dom.bytes(raw->text), out);
    return;
  }
  const TlNode::Tag* tag = node->as_tag();
  if (!tag) return;

  // Depth-first over the subtree with an explicit stack. A descendant whose
  // text is cached contributes the cached copy; others are computed in
  // place without being cached themselves, so a deep subtree costs its
  // text once rather than once per level.
  struct Frame {
    const TlNode::Tag* tag;
    std::size_t next;
  };
  std::vector<Frame> stack;
  stack.push_back({tag, 0});
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next >= f.tag->children.size()) {
      stack.pop_back();
      continue;
    }
    const NodeHandle c = f.tag->children[f.next++];
    const TlNode* child = dom.node(c);
    if (!child || child->is_comment()) continue;
    if (maybe_cached(ctx.text_cache, c)) {
      if (auto hit = text_cache_get(ctx.text_cache, c)) {
        out.append(*hit);
        continue;
      }
    }
    if (const auto* raw = child->as_raw()) {
      append_raw_text(dom.bytes(raw->text), out);
    } else if (const auto* t = child->as_tag()) {
      if (!t->children.empty()) stack.push_back({t, 0});
    }
  }
}

void dom_append_node_text(const DomContext& ctx, NodeHandle h, const TlDom& dom, std::string& out) {
  if (auto hit = text_cache_get(ctx.text_cache, h)) {
    out.append(*hit);
    return;
  }
  const std::size_t mark = out.size();
  dom_compute_node_text(ctx, h, dom, out);
  if (out.size() > mark) text_cache_insert(ctx.text_cache, h, out.substr(mark));
}

std::string dom_node_text_cached(const DomContext& ctx, NodeHandle h, const TlDom& dom) {
  if (auto hit = text_cache_get(ctx.text_cache, h)) return std::move(*hit);
  std::string text;
  text.reserve(64);
  dom_compute_node_text(ctx, h, dom, text);
  text_cache_insert(ctx.text_cache, h, text);
  return text;
}

bool is_head_element(const TlDom& dom, NodeHandle h) {
  const TlNode::Tag* tag = dom.tag(h);
  return tag != nullptr && tag_has(tag_id_ignore_case(dom.bytes(tag->name)), kMetadataContent);
}

std::size_t first_moved_out_of_head(const TlDom& dom, const TlNode::Tag& head) {
  const auto children = head.children.as_span();
  for (std::size_t i = 0; i < children.size(); ++i) {
    const TlNode* node = dom.node(children[i]);
    if (node == nullptr || node->is_comment() || is_head_element(dom, children[i])) continue;
    if (const TlNode::Raw* raw = node->as_raw()) {
      const std::string_view text = dom.bytes(raw->text);
      if (std::all_of(text.begin(), text.end(), [](char c) { return scan::is_ws(static_cast<unsigned char>(c)); })) {
        continue;
      }
    }
    return i;
  }
  return children.size();
}

}  // namespace tidewell
