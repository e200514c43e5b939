// The one policy check of the converters: which elements are dropped
// (boilerplate, excluded by selector), which give only their children
// (strip_tags) and which are copied as HTML (preserve_tags). The DOM walk,
// its deep plain fallback and the plain-text renderer all ask it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "common/tags.hpp"
#include "converter/dom/dom_context.hpp"
#include "html_parser/dom.hpp"
#include "options/options.hpp"

namespace tidewell {

struct StringHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};

// Exact strings: no case folding, no trimming.
using TagNameSet = std::unordered_set<std::string, StringHash, std::equal_to<>>;
using NodeSet = std::unordered_set<NodeHandle>;

// The read-only sets of one walk, owned by convert_document.
struct WalkSets {
  TagNameSet strip_tag_set;
  TagNameSet preserve_tag_set;
  TagNameSet keep_inline_images_set;
  NodeSet excluded_nodes;
  // Forms that hold the page (fill_page_forms): kept under `remove_forms`.
  NodeSet page_forms;
};

// The sets built from `strip_tags`, `preserve_tags` and
// `keep_inline_images_in`; the excluded-node and page-form sets are left
// empty.
WalkSets build_walk_sets(const ConversionOptions& options);

// Adds to `page_forms` every form element that holds an h1, an article or a
// main element at any depth: a page that a site framework wrapped whole in
// one form. One pass over the document; `context` gives the parents.
void fill_page_forms(const TlDom& dom, const DomContext& context, NodeSet& page_forms);

// What becomes of an element, in this order of precedence.
enum class NodeVerdict : std::uint8_t {
  Drop,          // boilerplate or excluded: nothing is written
  ChildrenOnly,  // in strip_tags: only the children are converted
  Preserve,      // in preserve_tags: copied as HTML
  Convert,       // converted by its handler
};

class WalkPolicy {
 public:
  // The policy of a DOM walk: every check. `sets` must outlive the policy.
  static WalkPolicy for_walk(const ConversionOptions& options, const WalkSets& sets);
  // The policy of the plain-text renderer: boilerplate and excluded nodes
  // only (it writes every element's text, stripped or preserved).
  static WalkPolicy for_plain_text(const PreprocessingOptions& preprocessing, const NodeSet* excluded_nodes,
                                   const NodeSet* page_forms = nullptr);

  // `name` is the element's lower-cased name (used only for the strip and
  // preserve sets, which hold exact strings), `tag` its id.
  NodeVerdict check(const TlDom& dom, NodeHandle node, const TlNode::Tag& element, std::string_view name,
                    TagId tag) const;

  // `keep_inline_images_in` names `name`.
  bool keeps_inline_images(std::string_view name) const {
    return keep_inline_images_ != nullptr && keep_inline_images_->contains(name);
  }

 private:
  WalkPolicy() = default;

  const PreprocessingOptions* preprocessing_ = nullptr;
  const NodeSet* excluded_ = nullptr;
  const NodeSet* page_forms_ = nullptr;
  const TagNameSet* strip_ = nullptr;
  const TagNameSet* preserve_ = nullptr;
  const TagNameSet* keep_inline_images_ = nullptr;
};

}  // namespace tidewell
