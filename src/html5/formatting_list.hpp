// The tree builder's list of active formatting elements, with markers. Each
// entry carries a signature of its element (tag and attributes, in any
// order), and the entries after each marker are counted by signature, so
// that the three-equal-entries limit needs no walk over a long list of
// different elements; they are counted by tag too, so that "is there a b
// after the last marker" needs none either. Membership is a flag per node.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "common/tags.hpp"
#include "html5/tree.hpp"

namespace tidewell::html5 {

class FormattingList {
 public:
  static constexpr NodeId kMarker = kNoNode;

  bool empty() const { return items_.empty(); }
  std::size_t size() const { return items_.size(); }
  NodeId operator[](std::size_t k) const { return items_[k].node; }
  NodeId back() const { return items_.back().node; }
  bool contains(NodeId id) const { return id < member_.size() && member_[id] != 0; }
  // The index of a member (scanning from the end, where members usually
  // are), or -1.
  std::ptrdiff_t index_of(NodeId id) const {
    if (!contains(id)) return -1;
    for (std::size_t k = items_.size(); k-- > 0;) {
      if (items_[k].node == id) return static_cast<std::ptrdiff_t>(k);
    }
    return -1;
  }

  // Whether an element of the tag (one of the formatting tags) stands
  // after the last marker.
  bool has_after_marker(TagId tag) const {
    const int slot = formatting_slot(tag);
    return slot >= 0 && counts_.back().by_tag[slot] > 0;
  }

  void push_marker() {
    items_.push_back({kMarker, 0, static_cast<std::uint32_t>(counts_.size()), TagId::Unknown});
    counts_.emplace_back();
  }
  void clear_to_marker() {
    while (!items_.empty()) {
      const Item it = items_.back();
      items_.pop_back();
      if (it.node == kMarker) {
        if (counts_.size() > 1) counts_.pop_back();
        break;
      }
      forget(it);
    }
  }

  // Appends an element. When three entries after the last marker already
  // have its signature, the earliest of those for which `equal` holds goes.
  template <class Equal>
  void push(NodeId id, TagId tag, std::uint64_t signature, Equal&& equal) {
    Counts& level = counts_.back();
    if (!level.hashed && level.entries >= kHashFrom) start_hashing();
    // A short list is looked through; a long one is asked by its counts.
    const bool maybe_three =
        level.hashed ? level.by_signature.count(signature) && level.by_signature[signature] >= 3 : level.entries >= 3;
    if (maybe_three) {
      int found = 0;
      std::size_t earliest = items_.size();
      for (std::size_t k = items_.size(); k-- > 0;) {
        const Item& it = items_[k];
        if (it.node == kMarker) break;
        if (it.signature == signature && equal(it.node)) {
          earliest = k;
          if (++found == 3) break;
        }
      }
      if (found == 3) erase(earliest);
    }
    const Item it{id, signature, static_cast<std::uint32_t>(counts_.size() - 1), tag};
    count(it, +1);
    items_.push_back(it);
    note(id, 1);
  }

  void erase(std::size_t k) {
    forget(items_[k]);
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(k));
  }
  // Entry k holds `id` instead (a copy of its element).
  void replace(std::size_t k, NodeId id) {
    note(items_[k].node, 0);
    items_[k].node = id;
    note(id, 1);
  }
  // Puts `id` at index k with the signature and level of the entry of `like`.
  void insert_like(std::size_t k, NodeId id, NodeId like) {
    const std::ptrdiff_t from = index_of(like);
    Item it{id, 0, static_cast<std::uint32_t>(counts_.size() - 1), TagId::Unknown};
    if (from >= 0) {
      it.signature = items_[from].signature;
      it.level = items_[from].level;
      it.tag = items_[from].tag;
    }
    count(it, +1);
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(k), it);
    note(id, 1);
  }

 private:
  static constexpr int kFormattingTags = 14;
  static int formatting_slot(TagId tag) {
    switch (tag) {
      case TagId::A: return 0;
      case TagId::B: return 1;
      case TagId::Big: return 2;
      case TagId::Code: return 3;
      case TagId::Em: return 4;
      case TagId::Font: return 5;
      case TagId::I: return 6;
      case TagId::Nobr: return 7;
      case TagId::S: return 8;
      case TagId::Small: return 9;
      case TagId::Strike: return 10;
      case TagId::Strong: return 11;
      case TagId::Tt: return 12;
      case TagId::U: return 13;
      default: return -1;
    }
  }
  struct Item {
    NodeId node;
    std::uint64_t signature;
    std::uint32_t level;  // markers before it, the index of its counts
    TagId tag;
  };
  // Entries after one marker from which their signatures are counted.
  static constexpr std::uint32_t kHashFrom = 8;
  struct Counts {
    std::uint32_t entries = 0;
    bool hashed = false;  // by_signature kept up to date
    std::unordered_map<std::uint64_t, std::uint32_t> by_signature;
    std::array<std::uint32_t, kFormattingTags> by_tag{};
  };
  void start_hashing() {
    Counts& c = counts_.back();
    for (std::size_t k = items_.size(); k-- > 0 && items_[k].node != kMarker;) ++c.by_signature[items_[k].signature];
    c.hashed = true;
  }
  void count(const Item& it, int delta) {
    if (it.level >= counts_.size()) return;
    Counts& c = counts_[it.level];
    const int slot = formatting_slot(it.tag);
    if (slot >= 0) c.by_tag[slot] = static_cast<std::uint32_t>(static_cast<int>(c.by_tag[slot]) + delta);
    c.entries = static_cast<std::uint32_t>(static_cast<int>(c.entries) + delta);
    if (!c.hashed) return;
    if (delta > 0) {
      ++c.by_signature[it.signature];
    } else {
      auto found = c.by_signature.find(it.signature);
      if (found != c.by_signature.end() && --found->second == 0) c.by_signature.erase(found);
    }
  }
  void forget(const Item& it) {
    if (it.node == kMarker) return;
    note(it.node, 0);
    count(it, -1);
  }
  void note(NodeId id, std::uint8_t value) {
    if (id == kMarker) return;
    if (id >= member_.size()) member_.resize(static_cast<std::size_t>(id) * 2 + 64, 0);
    member_[id] = value;
  }

  std::vector<Item> items_;
  std::vector<Counts> counts_ = std::vector<Counts>(1);
  std::vector<std::uint8_t> member_;  // by node id
};

}  // namespace tidewell::html5
