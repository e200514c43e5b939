// The tree builder's stack of open elements, built so that every question
// it asks and every edit it makes costs the same however deep the stack:
// entries in a doubly linked list with order keys (an entry can leave or
// join in the middle without renumbering the rest), and chains through the
// entries (each ordered like the stack, topmost first) for "the topmost
// element named X" and "the topmost element bounding scope S".
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <utility>
#include <unordered_map>
#include <vector>

#include "common/tags.hpp"
#include "html5/tree.hpp"

namespace tidewell::html5 {

// Kinds of boundary, one bit each in an element's mask: the four scopes of
// the standard's "has an element in scope" checks, then the special
// elements, the special elements other than address, div and p (where the
// search for an open list item stops), and every HTML element (where the
// end tags of foreign content stop).
enum Scope : std::uint8_t {
  kDefaultScope,
  kListItemScope,
  kButtonScope,
  kTableScope,
  kSpecialScope,
  kListStopScope,
  kHtmlScope,
  kScopeCount
};

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
  // The topmost element of an unknown HTML name, or of a foreign element by
  // its lower-case name.
  Entry top_named(std::string_view name, bool foreign) const {
    const auto& heads = foreign ? foreign_top_ : unknown_top_;
    const auto found = heads.find(name);
    return found == heads.end() ? kNone : found->second;
  }
  Entry top_bounding(Scope scope) const { return scope_top_[scope]; }
  // Whether `a` stands higher on the stack than `b`.
  bool higher(Entry a, Entry b) const { return items_[a].key > items_[b].key; }
  // Whether `e` is in the scope: at or above the topmost element bounding it.
  bool in_scope(Entry e, Scope scope) const {
    const Entry bound = scope_top_[scope];
    return e != kNone && (bound == kNone || items_[e].key >= items_[bound].key);
  }

  // `tag` is the element's tag when it is an HTML element with a known
  // name (else Unknown); `name` is the name an element of an unknown HTML
  // name, or a foreign element (`foreign`), is looked up by (a view that
  // lives as long as the stack); `scopes` has bit s set when it bounds s.
  void push(NodeId id, TagId tag, std::string_view name, bool foreign, std::uint8_t scopes) {
    const Entry e = allocate(id, tag, name, foreign, scopes);
    Item& it = items_[e];
    it.key = top_ == kNone ? 0 : items_[top_].key + kGap;
    it.below = top_;
    if (top_ != kNone) items_[top_].above = e;
    else bottom_ = e;
    top_ = e;
    ++size_;
    for (unsigned m = chains_of(it); m != 0; m &= m - 1) {
      const int c = __builtin_ctz(m);
      Entry* head = head_of(e, c);
      it.lower[c] = *head;
      it.higher[c] = kNone;
      if (*head != kNone) items_[*head].higher[c] = e;
      *head = e;
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
  void insert_above(Entry at, NodeId id, TagId tag, std::string_view name, bool foreign, std::uint8_t scopes) {
    const Entry upper = items_[at].above;
    if (upper == kNone) {
      push(id, tag, name, foreign, scopes);
      return;
    }
    if (items_[upper].key - items_[at].key < 2) relabel_from(at);
    const Entry e = allocate(id, tag, name, foreign, scopes);
    Item& it = items_[e];
    it.key = items_[at].key + (items_[upper].key - items_[at].key) / 2;
    it.below = at;
    it.above = upper;
    items_[at].above = e;
    items_[upper].below = e;
    ++size_;
    for (unsigned m = chains_of(it); m != 0; m &= m - 1) {
      const int c = __builtin_ctz(m);
      Entry* head = head_of(e, c);
      self_ = e;
      const auto [down, up] = chain_neighbours(c, *head, at, items_[e].key);
      it.lower[c] = down;
      it.higher[c] = up;
      if (down != kNone) items_[down].higher[c] = e;
      if (up != kNone) items_[up].lower[c] = e;
      else *head = e;
    }
  }

  // The entry of `old_id` holds `new_id` instead (an element of the same
  // name and scopes).
  void replace(NodeId old_id, NodeId new_id) {
    const Entry e = entry_of(old_id);
    entry_of_[old_id] = kNone;
    items_[e].node = new_id;
    note(new_id, e);
  }

 private:
  static constexpr std::int64_t kGap = std::int64_t{1} << 32;
  // Chain 0 is the one by name; chain 1 + s the one of scope s.
  static constexpr int kChains = 1 + kScopeCount;

  struct Item {
    NodeId node;
    Entry above, below;
    std::array<Entry, kChains> lower, higher;  // neighbours in each chain
    std::int64_t key;                          // grows from the bottom up
    TagId tag;
    bool foreign;
    std::uint8_t scopes;
    std::string_view name;
    Entry* name_head;  // the head of its name chain, or nullptr
  };

  // The head of chain c for entry e, or nullptr when e is not in it.
  Entry* head_of(Entry e, int c) {
    Item& it = items_[e];
    if (c > 0) return (it.scopes >> (c - 1)) & 1u ? &scope_top_[c - 1] : nullptr;
    return it.name_head;
  }
  // The chains an entry is in: bit 0 the name chain, bit 1 + s scope s.
  static unsigned chains_of(const Item& it) {
    return (it.name_head != nullptr ? 1u : 0u) | (static_cast<unsigned>(it.scopes) << 1);
  }
  void note(NodeId id, Entry e) {
    if (id >= entry_of_.size()) entry_of_.resize(static_cast<std::size_t>(id) * 2 + 64, kNone);
    entry_of_[id] = e;
  }
  Entry allocate(NodeId id, TagId tag, std::string_view name, bool foreign, std::uint8_t scopes) {
    Entry e;
    if (!free_.empty()) {
      e = free_.back();
      free_.pop_back();
    } else {
      e = static_cast<Entry>(items_.size());
      items_.emplace_back();
    }
    Item& it = items_[e];
    it.node = id;
    it.above = it.below = kNone;
    it.key = 0;  // links of the chains it is in are set when it joins them
    it.tag = foreign ? TagId::Unknown : tag;
    it.foreign = foreign;
    it.scopes = scopes;
    it.name = it.tag == TagId::Unknown ? name : std::string_view();
    if (it.tag != TagId::Unknown) {
      it.name_head = &top_of_[static_cast<std::size_t>(it.tag)];
    } else if (!it.name.empty()) {
      // Map values stay where they are, so the head can be kept.
      auto& heads = foreign ? foreign_top_ : unknown_top_;
      it.name_head = &heads.try_emplace(it.name, kNone).first->second;
    } else {
      it.name_head = nullptr;
    }
    note(id, e);
    return e;
  }
  void remove_entry(Entry e) {
    Item& it = items_[e];
    if (it.above != kNone) items_[it.above].below = it.below;
    else top_ = it.below;
    if (it.below != kNone) items_[it.below].above = it.above;
    else bottom_ = it.above;
    for (unsigned m = chains_of(it); m != 0; m &= m - 1) {
      const int c = __builtin_ctz(m);
      Entry* head = head_of(e, c);
      if (it.higher[c] != kNone) items_[it.higher[c]].lower[c] = it.lower[c];
      else *head = it.lower[c];
      if (it.lower[c] != kNone) items_[it.lower[c]].higher[c] = it.higher[c];
    }
    entry_of_[it.node] = kNone;
    --size_;
    free_.push_back(e);
  }
  // The members of chain c next below and next above a new entry with key
  // `key` standing directly above `at`. Two searches go step by step
  // together, down the chain from its head and down the stack from `at`,
  // and the first to arrive answers: a dense chain is found near `at`, a
  // sparse one near its head.
  std::pair<Entry, Entry> chain_neighbours(int c, Entry head, Entry at, std::int64_t key) const {
    Entry up = kNone, down = head;
    Entry probe = at;
    while (true) {
      if (down == kNone || items_[down].key < key) return {down, up};
      up = down;
      down = items_[down].lower[c];
      if (probe != kNone) {
        if (member(probe, c, items_[self_].tag, items_[self_].name, items_[self_].foreign)) {
          return {probe, items_[probe].higher[c]};
        }
        probe = items_[probe].below;
      }
    }
  }
  bool member(Entry e, int c, TagId tag, std::string_view name, bool foreign) const {
    const Item& it = items_[e];
    if (c > 0) return (it.scopes >> (c - 1)) & 1u;
    if (tag != TagId::Unknown) return it.tag == tag;
    return it.tag == TagId::Unknown && it.foreign == foreign && !it.name.empty() && it.name == name;
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
  std::array<Entry, kTagIdCount> top_of_ = filled<kTagIdCount>();
  std::array<Entry, kScopeCount> scope_top_ = filled<kScopeCount>();
  std::unordered_map<std::string_view, Entry> unknown_top_, foreign_top_;
  Entry top_ = kNone;
  Entry bottom_ = kNone;
  Entry self_ = kNone;  // the entry being inserted, while its chains are searched
  std::size_t size_ = 0;

  template <std::size_t N>
  static std::array<Entry, N> filled() {
    std::array<Entry, N> a;
    a.fill(kNone);
    return a;
  }
};

}  // namespace tidewell::html5
