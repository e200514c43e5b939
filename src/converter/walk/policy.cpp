#include "converter/walk/policy.hpp"

#include <cstdint>
#include <optional>
#include <vector>

#include "common/scan.hpp"
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

namespace {

enum class PageFormRole : std::uint8_t { None, Form, PageContent };

// Whether an element is a form, an element that marks page content (h1,
// article, main: marks_page_content), or neither; by its name's bytes,
// without a table lookup.
PageFormRole page_form_role(const TlDom& dom, const TlNode::Tag& element) {
  const std::string_view name = dom.bytes(element.name);
  switch (name.size()) {
    case 2: return scan::ieq(name, "h1") ? PageFormRole::PageContent : PageFormRole::None;
    case 4:
      if (scan::ieq(name, "form")) return PageFormRole::Form;
      return scan::ieq(name, "main") ? PageFormRole::PageContent : PageFormRole::None;
    case 7: return scan::ieq(name, "article") ? PageFormRole::PageContent : PageFormRole::None;
    default: return PageFormRole::None;
  }
}

}  // namespace

void fill_page_forms(const TlDom& dom, const DomContext& context, NodeSet& page_forms) {
  bool any_form = false;
  for (const TlNode& node : dom.nodes) {
    const TlNode::Tag* element = node.as_tag();
    if (element != nullptr && page_form_role(dom, *element) == PageFormRole::Form) {
      any_form = true;
      break;
    }
  }
  if (!any_form) return;
  // From each marking element up through its ancestors. A climb ends where
  // an earlier one passed, whose ancestors are all seen already: every node
  // is climbed through at most once.
  std::vector<std::uint8_t> climbed(dom.size(), 0);
  for (NodeHandle h = 0; h < dom.size(); ++h) {
    const TlNode::Tag* element = dom.tag(h);
    if (element == nullptr || page_form_role(dom, *element) != PageFormRole::PageContent) continue;
    for (std::optional<NodeHandle> up = context.parent_of(h); up && *up < climbed.size() && climbed[*up] == 0;
         up = context.parent_of(*up)) {
      climbed[*up] = 1;
      const TlNode::Tag* ancestor = dom.tag(*up);
      if (ancestor != nullptr && page_form_role(dom, *ancestor) == PageFormRole::Form) page_forms.insert(*up);
    }
  }
}

WalkPolicy WalkPolicy::for_walk(const ConversionOptions& options, const WalkSets& sets) {
  WalkPolicy policy;
  policy.preprocessing_ = &options.preprocessing;
  policy.excluded_ = &sets.excluded_nodes;
  policy.page_forms_ = &sets.page_forms;
  policy.strip_ = &sets.strip_tag_set;
  policy.preserve_ = &sets.preserve_tag_set;
  policy.keep_inline_images_ = &sets.keep_inline_images_set;
  return policy;
}

WalkPolicy WalkPolicy::for_plain_text(const PreprocessingOptions& preprocessing, const NodeSet* excluded_nodes,
                                      const NodeSet* page_forms) {
  WalkPolicy policy;
  policy.preprocessing_ = &preprocessing;
  policy.excluded_ = excluded_nodes;
  policy.page_forms_ = page_forms;
  return policy;
}

NodeVerdict WalkPolicy::check(const TlDom& dom, NodeHandle node, const TlNode::Tag& element, std::string_view name,
                              TagId tag) const {
  const bool wraps_page =
      tag == TagId::Form && page_forms_ != nullptr && !page_forms_->empty() && page_forms_->contains(node);
  if (is_boilerplate_element(tag, dom, element, *preprocessing_, wraps_page)) return NodeVerdict::Drop;
  if (excluded_ != nullptr && !excluded_->empty() && excluded_->contains(node)) return NodeVerdict::Drop;
  if (strip_ != nullptr && !strip_->empty() && strip_->contains(name)) return NodeVerdict::ChildrenOnly;
  if (preserve_ != nullptr && !preserve_->empty() && preserve_->contains(name)) return NodeVerdict::Preserve;
  return NodeVerdict::Convert;
}

}  // namespace tidewell
