// The tree builder's list of active formatting elements, with markers. Each
// entry carries a signature of its element (tag and attributes, in any
// order), and the entries after each marker are counted by signature, so
// that the three-equal-entries limit needs no walk over a long list of
// different elements; membership is a flag per node.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

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

  void push_marker() {
    items_.push_back({kMarker, 0, static_cast<std::uint32_t>(counts_.size())});
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
  void push(NodeId id, std::uint64_t signature, Equal&& equal) {
    std::uint32_t& count = counts_.back()[signature];
    if (count >= 3) {
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
    ++counts_.back()[signature];
    items_.push_back({id, signature, static_cast<std::uint32_t>(counts_.size() - 1)});
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
    Item it{id, 0, static_cast<std::uint32_t>(counts_.size() - 1)};
    if (from >= 0) {
      it.signature = items_[from].signature;
      it.level = items_[from].level;
    }
    ++counts_[it.level][it.signature];
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(k), it);
    note(id, 1);
  }

 private:
  struct Item {
    NodeId node;
    std::uint64_t signature;
    std::uint32_t level;  // markers before it, the index of its counts
  };
  void forget(const Item& it) {
    if (it.node == kMarker) return;
    note(it.node, 0);
    if (it.level < counts_.size()) {
      auto found = counts_[it.level].find(it.signature);
      if (found != counts_[it.level].end() && --found->second == 0) counts_[it.level].erase(found);
    }
  }
  void note(NodeId id, std::uint8_t value) {
    if (id == kMarker) return;
    if (id >= member_.size()) member_.resize(static_cast<std::size_t>(id) * 2 + 64, 0);
    member_[id] = value;
  }

  std::vector<Item> items_;
  std::vector<std::unordered_map<std::uint64_t, std::uint32_t>> counts_ = std::vector<std::unordered_map<std::uint64_t, std::uint32_t>>(1);
  std::vector<std::uint8_t> member_;  // by node id
};

}  // namespace tidewell::html5
