#include "html5/tree.hpp"

#include <algorithm>
#include <cstring>

namespace tidewell::html5 {

namespace {
constexpr std::size_t kBlockSize = 64 * 1024;
}

Document::Document(std::string_view input) : input_(input) {
  new_node(NodeKind::Document);
}

NodeId Document::new_node(NodeKind kind) {
  const NodeId id = nodes_.push();
  nodes_[id].kind = kind;
  return id;
}

std::string_view Document::keep(std::string_view s) {
  if (s.empty() || in_input(s)) return s;
  if (s.size() > room_) {
    const std::size_t size = std::max(kBlockSize, s.size());
    blocks_.push_back(std::make_unique<char[]>(size));
    top_ = blocks_.back().get();
    room_ = size;
  }
  char* at = top_;
  std::memcpy(at, s.data(), s.size());
  top_ += s.size();
  room_ -= s.size();
  return {at, s.size()};
}

std::string Document::text(NodeId id) const {
  std::string out;
  for_each_text_piece(id, [&](std::string_view piece) { out.append(piece); });
  return out;
}

NodeId Document::create_element(Ns ns, TagId tag, std::string_view name, std::span<const Attribute> attrs,
                                bool html_integration_point) {
  const NodeId id = new_node(NodeKind::Element);
  Node& n = nodes_[id];
  n.ns = ns;
  n.tag = tag;
  n.name = keep(name);
  n.html_integration_point = html_integration_point;
  n.of.element.attr_first = static_cast<std::uint32_t>(attrs_.size());
  n.of.element.attr_count = static_cast<std::uint32_t>(attrs.size());
  for (const Attribute& a : attrs) attrs_.push_back({keep(a.name), keep(a.value), a.ns});
  if (ns == Ns::Html && tag == TagId::Template) create_document_fragment();
  return id;
}

NodeId Document::clone_element(NodeId element) {
  const NodeId id = new_node(NodeKind::Element);
  Node& n = nodes_[id];
  const Node& from = nodes_[element];
  n.ns = from.ns;
  n.tag = from.tag;
  n.name = from.name;
  n.html_integration_point = from.html_integration_point;
  n.of.element.attr_first = from.of.element.attr_first;
  n.of.element.attr_count = from.of.element.attr_count;
  if (n.ns == Ns::Html && n.tag == TagId::Template) create_document_fragment();
  return id;
}

NodeId Document::create_comment(std::string_view data) {
  const NodeId id = new_node(NodeKind::Comment);
  nodes_[id].name = keep(data);
  return id;
}

NodeId Document::create_doctype(std::string_view name, const DoctypeInfo& ids) {
  const NodeId id = new_node(NodeKind::Doctype);
  nodes_[id].name = keep(name);
  nodes_[id].of.doctype = static_cast<std::uint32_t>(doctypes_.size());
  doctypes_.push_back({keep(ids.public_id), keep(ids.system_id), ids.has_public, ids.has_system});
  return id;
}

NodeId Document::create_document_fragment() { return new_node(NodeKind::Document); }

void Document::insert(NodeId parent, NodeId child, NodeId before) {
  if (nodes_[child].parent != kNoNode) detach(child);
  Node& c = nodes_[child];
  Node& p = nodes_[parent];
  c.parent = parent;
  if (before == kNoNode) {
    c.prev_sibling = p.last_child;
    c.next_sibling = kNoNode;
    if (p.last_child != kNoNode) nodes_[p.last_child].next_sibling = child;
    else p.first_child = child;
    p.last_child = child;
  } else {
    Node& b = nodes_[before];
    c.next_sibling = before;
    c.prev_sibling = b.prev_sibling;
    if (b.prev_sibling != kNoNode) nodes_[b.prev_sibling].next_sibling = child;
    else p.first_child = child;
    b.prev_sibling = child;
  }
}

void Document::detach(NodeId child) {
  Node& c = nodes_[child];
  if (c.parent == kNoNode) return;
  Node& p = nodes_[c.parent];
  if (c.prev_sibling != kNoNode) nodes_[c.prev_sibling].next_sibling = c.next_sibling;
  else p.first_child = c.next_sibling;
  if (c.next_sibling != kNoNode) nodes_[c.next_sibling].prev_sibling = c.prev_sibling;
  else p.last_child = c.prev_sibling;
  c.parent = c.prev_sibling = c.next_sibling = kNoNode;
}

std::uint32_t Document::new_segment(std::string_view s) {
  const auto id = static_cast<std::uint32_t>(segments_.size());
  segments_.push_back({s.data(), s.size(), kNoSegment});
  return id;
}

void Document::append_piece(NodeId text, std::string_view s) {
  Segment& last = segments_[nodes_[text].of.text.seg_last];
  if (last.data + last.len == s.data()) {
    last.len += s.size();  // adjacent in the input or in the store
    return;
  }
  const std::uint32_t seg = new_segment(s);
  segments_[nodes_[text].of.text.seg_last].next = seg;
  nodes_[text].of.text.seg_last = seg;
}

void Document::insert_text(NodeId parent, std::string_view text, NodeId before) {
  if (text.empty()) return;
  const NodeId prev = before == kNoNode ? nodes_[parent].last_child : nodes_[before].prev_sibling;
  const std::string_view kept = keep(text);
  if (prev != kNoNode && nodes_[prev].kind == NodeKind::Text) {
    append_piece(prev, kept);
    return;
  }
  const NodeId id = new_node(NodeKind::Text);
  const std::uint32_t seg = new_segment(kept);
  nodes_[id].of.text.seg_first = nodes_[id].of.text.seg_last = seg;
  insert(parent, id, before);
}

void Document::reparent_children(NodeId from, NodeId to) {
  NodeId child = nodes_[from].first_child;
  while (child != kNoNode) {
    const NodeId next = nodes_[child].next_sibling;
    insert(to, child);
    child = next;
  }
}

void Document::add_attribute(NodeId element, const Attribute& attr) {
  Node& n = nodes_[element];
  const Attribute kept{keep(attr.name), keep(attr.value), attr.ns};
  auto room = std::find_if(attr_room_.begin(), attr_room_.end(),
                           [element](const std::pair<NodeId, std::uint32_t>& r) { return r.first == element; });
  if (room != attr_room_.end() && n.of.element.attr_count < room->second) {
    attrs_[n.of.element.attr_first + n.of.element.attr_count++] = kept;
    return;
  }
  // Records at the end grow in place, whether shared with a clone or not:
  // the other holder keeps its own count.
  if (room == attr_room_.end() && n.of.element.attr_first + n.of.element.attr_count == attrs_.size()) {
    attrs_.push_back(kept);
    ++n.of.element.attr_count;
    return;
  }
  // Move the records to the end with room to grow.
  const auto first = static_cast<std::uint32_t>(attrs_.size());
  const std::uint32_t cap = std::max<std::uint32_t>(4, n.of.element.attr_count * 2);
  attrs_.resize(attrs_.size() + cap);
  std::copy_n(attrs_.begin() + n.of.element.attr_first, n.of.element.attr_count, attrs_.begin() + first);
  n.of.element.attr_first = first;
  if (room == attr_room_.end()) {
    attr_room_.emplace_back(element, cap);
  } else {
    room->second = cap;
  }
  attrs_[first + n.of.element.attr_count++] = kept;
}

}  // namespace tidewell::html5
