#include "converter/walk/policy.hpp"

#include "converter/walk/boilerplate.hpp"

namespace tidewell {

WalkSets build_walk_sets(const ConversionOptions& options) {
  WalkSets sets;
  sets.strip_tag_set.reserve(options.strip_tags.size());
  for (const std::string& name : options.strip_tags) sets.strip_tag_set.insert(name);
  sets.preserve_tag_set.reserve(options.preserve_tags.size());
  for (const std::string& name : options.preserve_tags) sets.preserve_tag_set.insert(name);
  sets.keep_inline_images_set.reserve(options.keep_inline_images_in.size());
  for (const std::string& name : options.keep_inline_images_in) sets.keep_inline_images_set.insert(name);
  return sets;
}

WalkPolicy WalkPolicy::for_walk(const ConversionOptions& options, const WalkSets& sets) {
  WalkPolicy policy;
  policy.preprocessing_ = &options.preprocessing;
  policy.excluded_ = &sets.excluded_nodes;
  policy.strip_ = &sets.strip_tag_set;
  policy.preserve_ = &sets.preserve_tag_set;
  policy.keep_inline_images_ = &sets.keep_inline_images_set;
  return policy;
}

WalkPolicy WalkPolicy::for_plain_text(const PreprocessingOptions& preprocessing, const NodeSet* excluded_nodes) {
  WalkPolicy policy;
  policy.preprocessing_ = &preprocessing;
  policy.excluded_ = excluded_nodes;
  return policy;
}

NodeVerdict WalkPolicy::check(const TlDom& dom, NodeHandle node, const TlNode::Tag& element, std::string_view name,
                              TagId tag) const {
  if (is_boilerplate_element(tag, dom, element, *preprocessing_)) return NodeVerdict::Drop;
  if (excluded_ != nullptr && !excluded_->empty() && excluded_->contains(node)) return NodeVerdict::Drop;
  if (strip_ != nullptr && !strip_->empty() && strip_->contains(name)) return NodeVerdict::ChildrenOnly;
  if (preserve_ != nullptr && !preserve_->empty() && preserve_->contains(name)) return NodeVerdict::Preserve;
  return NodeVerdict::Convert;
}

}  // namespace tidewell
