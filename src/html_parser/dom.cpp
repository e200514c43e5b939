#include "html_parser/dom.hpp"

#include <algorithm>


namespace tidewell {

// ---------------------------------------------------------------------------
// Attribute maps

void TlDom::move_attribute_map(InlineHashMap& map) {
  map.moved = true;
  AttributeEntry* entries = attribute_pool.data() + map.first;
  const std::uint32_t count = map.count;
  // Group equal names with a stable sort of the entry indexes, so each
  // group lists its occurrences in insertion order.
  std::vector<std::uint32_t> order(count);
  for (std::uint32_t i = 0; i < count; ++i) order[i] = i;
  const char* base = input.data();
  auto name_of = [&](std::uint32_t i) {
    return std::string_view(base + entries[i].name.start, entries[i].name.len);
  };
  std::stable_sort(order.begin(), order.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return name_of(a) < name_of(b); });
  // keep[i]: entry i survives (first occurrence), with the value of its
  // group's last occurrence.
  std::vector<std::uint8_t> keep(count, 0);
  std::size_t g = 0;
  while (g < count) {
    std::size_t h = g + 1;
    while (h < count && name_of(order[h]) == name_of(order[g])) ++h;
    entries[order[g]].value = entries[order[h - 1]].value;
    keep[order[g]] = 1;
    g = h;
  }
  std::uint32_t out = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (keep[i]) entries[out++] = entries[i];
  }
  map.count = out;
  attribute_pool.resize(map.first + out);
}

AttributeLookup attribute_map_get(const TlDom& dom, const TlNode::Tag& tag, std::string_view name) {
  const char* base = dom.input.data();
  for (const AttributeEntry& e : dom.entries(tag.attributes)) {
    if (e.name.len == name.size() && std::memcmp(base + e.name.start, name.data(), name.size()) == 0) {
      if (!e.value) return AttributeLookup{AttributeLookup::State::NoValue, {}};
      return AttributeLookup{AttributeLookup::State::Value, *e.value};
    }
  }
  return {};
}

AttributeLookup attributes_get(const TlDom& dom, const TlNode::Tag& tag, std::string_view name) {
  if (name == "class" || name == "id") {
    const OptionalSpan slot = name.size() == 2 ? dom.id_of(tag) : dom.class_of(tag);
    if (!slot) return {};
    return AttributeLookup{AttributeLookup::State::Value, *slot};
  }
  return attribute_map_get(dom, tag, name);
}

AttributeIter::AttributeIter(const TlDom& dom, const TlNode::Tag& tag)
    : dom_(&dom), entries_(dom.entries(tag.attributes)) {
  if (const OptionalSpan id = dom.id_of(tag)) id_ = utf8_lossy(dom.bytes(*id));
  if (const OptionalSpan class_name = dom.class_of(tag)) class_ = utf8_lossy(dom.bytes(*class_name));
}

std::optional<AttributePair> AttributeIter::next() {
  if (tail_ == 0) {
    if (index_ < entries_.size()) {
      const AttributeEntry& e = entries_[index_++];
      AttributePair pair{utf8_lossy(dom_->bytes(e.name)), std::nullopt};
      if (e.value) pair.value = utf8_lossy(dom_->bytes(*e.value));
      return pair;
    }
    tail_ = 1;
  }
  if (tail_ == 1) {
    tail_ = 2;
    if (id_) return AttributePair{CowText(std::string_view("id")), std::move(id_)};
  }
  if (tail_ == 2) {
    tail_ = 3;
    if (class_) return AttributePair{CowText(std::string_view("class")), std::move(class_)};
  }
  return std::nullopt;
}

std::optional<NodeHandle> sole_child(const TlDom& dom, const TlNode::Tag& tag) {
  std::optional<NodeHandle> found;
  for (const NodeHandle child : tag.children) {
    const TlNode* n = dom.node(child);
    if (n == nullptr || n->is_comment()) continue;
    if (const TlNode::Raw* raw = n->as_raw();
        raw != nullptr && dom.bytes(raw->text).find_first_not_of(" \t\n\r\f") == std::string_view::npos) {
      continue;
    }
    if (found) return std::nullopt;
    found = child;
  }
  return found;
}

std::optional<char> byte_beside(const TlDom& dom, std::span<const NodeHandle> siblings, std::size_t index,
                                bool after) {
  bool space = false;
  for (std::size_t pos = index; after ? pos + 1 < siblings.size() : pos > 0;) {
    pos = after ? pos + 1 : pos - 1;
    const TlNode* n = dom.node(siblings[pos]);
    if (n == nullptr) return '\0';
    if (n->is_comment()) continue;
    const TlNode::Raw* raw = n->as_raw();
    const std::string_view text = raw != nullptr ? dom.bytes(raw->text) : std::string_view();
    if (raw != nullptr && text.find_first_not_of(" \t\n\r\f") == std::string_view::npos) {
      space = true;
      continue;
    }
    if (space) return ' ';
    if (raw == nullptr) return '\0';
    return after ? text.front() : text.back();
  }
  return std::nullopt;
}

bool only_text_beside(const TlDom& dom, std::span<const NodeHandle> siblings, std::size_t index, bool after) {
  for (std::size_t pos = index; after ? pos + 1 < siblings.size() : pos > 0;) {
    pos = after ? pos + 1 : pos - 1;
    const TlNode* n = dom.node(siblings[pos]);
    if (n == nullptr || n->as_tag() != nullptr) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// inner_text

CowText inner_text(const TlNode::Tag& tag, const TlDom& dom) {
  // Follow a chain of single children: it may end in one text node, which
  // can be handed out without copying.
  const TlNode::Tag* cur = &tag;
  while (cur->children.size() == 1) {
    const NodeHandle h = cur->children[0];
    if (h >= dom.nodes.size()) return CowText();
    const TlNode& child = dom.nodes[h];
    if (const auto* raw = child.as_raw()) return utf8_lossy(dom.bytes(raw->text));
    if (child.is_comment()) return CowText();
    cur = child.as_tag();
  }
  if (cur->children.empty()) return CowText();

  // General case: depth-first over the subtree with an explicit stack of
  // (element, next child index).
  std::string out;
  struct Frame {
    const TlNode::Tag* tag;
    std::size_t next;
  };
  std::vector<Frame> stack;
  stack.push_back({cur, 0});
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next >= f.tag->children.size()) {
      stack.pop_back();
      continue;
    }
    const NodeHandle h = f.tag->children[f.next++];
    if (h >= dom.nodes.size()) continue;
    const TlNode& child = dom.nodes[h];
    if (const auto* raw = child.as_raw()) {
      append_utf8_lossy(dom.bytes(raw->text), out);
    } else if (const auto* t = child.as_tag()) {
      if (!t->children.empty()) stack.push_back({t, 0});
    }
  }
  return CowText(std::move(out));
}

}  // namespace tidewell
