// The tree builder's stack of open elements, built so that every question
// it asks and every edit it makes costs the same however deep the stack:
// entries in a doubly linked list with order keys (an entry can leave or
// join in the middle without renumbering the rest), a chain per tag for
// "the topmost X", and per scope a stack of the elements that bound it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "common/tags.hpp"
#include "html5/tree.hpp"

namespace tidewell::html5 {

enum Scope : std::uint8_t { kDefaultScope, kListItemScope, kButtonScope, kTableScope, kScopeCount };

class OpenElements {
 public:
  using Entry = std::int32_t;
  static constexpr Entry kNone = -1;

  bool empty() const { return top_ == kNone; }
  std::size_t size() const { return size_; }
  Entry top() const { return top_; }
  Entry bottom() const { return bottom_; }
  Entry above(Entry e) const { return items_[e].above; }
  Entry below(Entry e) const { return items_[e].below; }
  NodeId node_of(Entry e) const { return items_[e].node; }
  NodeId top_node() const { return items_[top_].node; }
  Entry entry_of(NodeId id) const { return id < entry_of_.size() ? entry_of_[id] : kNone; }
  // The topmost HTML element with the tag (kNone when none is open).
  Entry top_of(TagId tag) const { return top_of_[static_cast<std::size_t>(tag)]; }
  // Whether `a` stands higher on the stack than `b`.
  bool higher(Entry a, Entry b) const { return items_[a].key > items_[b].key; }
  // Whether `e` is in the scope: at or above the topmost element bounding it.
  bool in_scope(Entry e, Scope scope) const {
    const std::vector<Entry>& bounds = boundaries_[scope];
    return e != kNone && (bounds.empty() || items_[e].key >= items_[bounds.back()].key);
  }

  // `tag` is the element's tag when it is an HTML element with a known
  // name (else Unknown); `scopes` has bit s set when it bounds scope s.
  void push(NodeId id, TagId tag, std::uint8_t scopes) {
    const Entry e = allocate(id, tag, scopes);
    Item& it = items_[e];
    it.key = top_ == kNone ? 0 : items_[top_].key + kGap;
    it.below = top_;
    if (top_ != kNone) items_[top_].above = e;
    else bottom_ = e;
    top_ = e;
    ++size_;
    link_tag_on_top(e);
    for (int s = 0; s < kScopeCount; ++s) {
      if ((scopes >> s) & 1u) boundaries_[s].push_back(e);
    }
  }

  // Takes the top entry off; returns its node.
  NodeId pop() {
    const Entry e = top_;
    const NodeId id = items_[e].node;
    remove_entry(e);
    return id;
  }

  void remove(NodeId id) {
    const Entry e = entry_of(id);
    if (e != kNone) remove_entry(e);
  }

  // Puts `id` directly above the entry `at`.
  void insert_above(Entry at, NodeId id, TagId tag, std::uint8_t scopes) {
    const Entry upper = items_[at].above;
    if (upper == kNone) {
      push(id, tag, scopes);
      return;
    }
    if (items_[upper].key - items_[at].key < 2) relabel_from(at);
    const Entry e = allocate(id, tag, scopes);
    Item& it = items_[e];
    it.key = items_[at].key + (items_[upper].key - items_[at].key) / 2;
    it.below = at;
    it.above = upper;
    items_[at].above = e;
    items_[upper].below = e;
    ++size_;
    if (tag != TagId::Unknown) {
      // Among the entries of the tag, after the last one still higher.
      Entry higher_same = kNone;
      Entry lower_same = top_of(tag);
      while (lower_same != kNone && items_[lower_same].key > it.key) {
        higher_same = lower_same;
        lower_same = items_[lower_same].prev_same;
      }
      it.prev_same = lower_same;
      it.next_same = higher_same;
      if (lower_same != kNone) items_[lower_same].next_same = e;
      if (higher_same != kNone) items_[higher_same].prev_same = e;
      else top_of_[static_cast<std::size_t>(tag)] = e;
    }
    for (int s = 0; s < kScopeCount; ++s) {
      if (!((scopes >> s) & 1u)) continue;
      std::vector<Entry>& bounds = boundaries_[s];
      auto pos = bounds.end();
      while (pos != bounds.begin() && items_[*(pos - 1)].key > it.key) --pos;
      bounds.insert(pos, e);
    }
  }

  // The entry of `old_id` holds `new_id` instead (an element of the same
  // tag and scopes).
  void replace(NodeId old_id, NodeId new_id) {
    const Entry e = entry_of(old_id);
    entry_of_[old_id] = kNone;
    items_[e].node = new_id;
    note(new_id, e);
  }

 private:
  static constexpr std::int64_t kGap = std::int64_t{1} << 32;

  struct Item {
    NodeId node;
    Entry above, below;
    Entry prev_same, next_same;  // the next lower and higher entry of the same tag
    std::int64_t key;            // grows from the bottom up
    TagId tag;
    std::uint8_t scopes;
  };

  void note(NodeId id, Entry e) {
    if (id >= entry_of_.size()) entry_of_.resize(static_cast<std::size_t>(id) * 2 + 64, kNone);
    entry_of_[id] = e;
  }
  Entry allocate(NodeId id, TagId tag, std::uint8_t scopes) {
    Entry e;
    if (!free_.empty()) {
      e = free_.back();
      free_.pop_back();
    } else {
      e = static_cast<Entry>(items_.size());
      items_.emplace_back();
    }
    items_[e] = Item{id, kNone, kNone, kNone, kNone, 0, tag, scopes};
    note(id, e);
    return e;
  }
  void link_tag_on_top(Entry e) {
    const TagId tag = items_[e].tag;
    if (tag == TagId::Unknown) return;
    Entry& top = top_of_[static_cast<std::size_t>(tag)];
    items_[e].prev_same = top;
    if (top != kNone) items_[top].next_same = e;
    top = e;
  }
  void remove_entry(Entry e) {
    Item& it = items_[e];
    if (it.above != kNone) items_[it.above].below = it.below;
    else top_ = it.below;
    if (it.below != kNone) items_[it.below].above = it.above;
    else bottom_ = it.above;
    if (it.tag != TagId::Unknown) {
      if (it.next_same != kNone) items_[it.next_same].prev_same = it.prev_same;
      else top_of_[static_cast<std::size_t>(it.tag)] = it.prev_same;
      if (it.prev_same != kNone) items_[it.prev_same].next_same = it.next_same;
    }
    for (int s = 0; s < kScopeCount; ++s) {
      if (!((it.scopes >> s) & 1u)) continue;
      std::vector<Entry>& bounds = boundaries_[s];
      for (auto pos = bounds.end(); pos != bounds.begin(); --pos) {
        if (*(pos - 1) == e) {
          bounds.erase(pos - 1);
          break;
        }
      }
    }
    entry_of_[it.node] = kNone;
    --size_;
    free_.push_back(e);
  }
  // Spreads the keys from `from` upward apart again.
  void relabel_from(Entry from) {
    std::int64_t key = items_[from].key;
    for (Entry e = items_[from].above; e != kNone; e = items_[e].above) {
      key += kGap;
      items_[e].key = key;
    }
  }

  std::vector<Item> items_;
  std::vector<Entry> free_;
  std::vector<Entry> entry_of_;  // by node id
  std::array<Entry, kTagIdCount> top_of_ = make_none();
  std::array<std::vector<Entry>, kScopeCount> boundaries_;
  Entry top_ = kNone;
  Entry bottom_ = kNone;
  std::size_t size_ = 0;

  static std::array<Entry, kTagIdCount> make_none() {
    std::array<Entry, kTagIdCount> a;
    a.fill(kNone);
    return a;
  }
};

}  // namespace tidewell::html5
