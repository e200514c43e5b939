// The stack of open elements against a plain vector model: random pushes,
// pops, removals and insertions in the middle, with every chain and scope
// answer compared after each step.
#include "html5/open_elements.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tidewell::html5 {
namespace {

struct ModelEntry {
  NodeId node;
  TagId tag;
  std::uint8_t scopes;
};

TEST(OpenElements, AgreesWithAVectorModel) {
  const TagId kTags[] = {TagId::Div, TagId::B, TagId::Li, TagId::Table, TagId::P, TagId::Unknown};
  std::mt19937 rng(5);
  OpenElements open;
  std::vector<ModelEntry> model;
  NodeId next_node = 0;
  auto random_entry = [&] {
    const TagId tag = kTags[rng() % std::size(kTags)];
    return ModelEntry{next_node++, tag, static_cast<std::uint8_t>(rng() % (1u << kScopeCount))};
  };
  for (int step = 0; step < 20000; ++step) {
    const unsigned op = rng() % 10;
    if (model.empty() || op < 4) {
      const ModelEntry e = random_entry();
      open.push(e.node, e.tag, e.tag == TagId::Unknown ? "x-y" : "", false, e.scopes);
      model.push_back(e);
    } else if (op < 6) {
      EXPECT_EQ(open.pop(), model.back().node);
      model.pop_back();
    } else if (op < 8) {
      const std::size_t k = rng() % model.size();
      open.remove(model[k].node);
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(k));
    } else {
      const std::size_t k = rng() % model.size();
      const ModelEntry e = random_entry();
      open.insert_above(open.entry_of(model[k].node), e.node, e.tag, e.tag == TagId::Unknown ? "x-y" : "", false,
                        e.scopes);
      model.insert(model.begin() + static_cast<std::ptrdiff_t>(k) + 1, e);
    }
    ASSERT_EQ(open.size(), model.size());
    if (model.empty()) continue;
    ASSERT_EQ(open.top_node(), model.back().node);
    ASSERT_EQ(open.node_of(open.bottom()), model.front().node);
    // The topmost of each name and of each scope's boundaries.
    for (TagId tag : kTags) {
      NodeId expected = kNoNode;
      for (auto it = model.rbegin(); it != model.rend(); ++it) {
        if (it->tag == tag) {
          expected = it->node;
          break;
        }
      }
      const OpenElements::Entry got = tag == TagId::Unknown ? open.top_named("x-y", false) : open.top_of(tag);
      ASSERT_EQ(got == OpenElements::kNone ? kNoNode : open.node_of(got), expected) << "step " << step;
    }
    for (int s = 0; s < kScopeCount; ++s) {
      NodeId expected = kNoNode;
      for (auto it = model.rbegin(); it != model.rend(); ++it) {
        if ((it->scopes >> s) & 1u) {
          expected = it->node;
          break;
        }
      }
      const OpenElements::Entry got = open.top_bounding(static_cast<Scope>(s));
      ASSERT_EQ(got == OpenElements::kNone ? kNoNode : open.node_of(got), expected) << "step " << step;
    }
    // Order: walking down gives the model from the top.
    if (step % 97 == 0) {
      std::size_t k = model.size();
      for (OpenElements::Entry e = open.top(); e != OpenElements::kNone; e = open.below(e)) {
        ASSERT_GT(k, 0u);
        --k;
        ASSERT_EQ(open.node_of(e), model[k].node);
        if (open.below(e) != OpenElements::kNone) {
          ASSERT_TRUE(open.higher(e, open.below(e)));
        }
      }
      ASSERT_EQ(k, 0u);
    }
  }
}

}  // namespace
}  // namespace tidewell::html5
