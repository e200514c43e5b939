// The walk's handler for head, style and script elements: JSON-LD capture,
// and the conversion of what a head holds besides its own elements.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <type_traits>

#include "converter/dom/dom_context.hpp"
#include "converter/metadata/metadata_sink.hpp"
#include "html_parser/dom.hpp"

namespace tidewell {

// The element's `type` value, up to its first ';' and trimmed of white
// space, is "application/ld+json" in any ASCII case.
bool is_json_ld_type(const TlDom& dom, const TlNode::Tag& element);

// Offers the script's text (trimmed, character references decoded) to the
// sink; empty texts are skipped. The sink's budget decides the rest.
void capture_json_ld(const TlDom& dom, const TlNode::Tag& script, MetadataSink& sink);

// Converts one child of the element through the walk at the given depth.
// A non-owning reference to any callable taking (NodeHandle, std::size_t);
// it must outlive the call it is passed to (a lambda written in the call's
// argument list does).
class ChildWalk {
 public:
  template <typename F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, ChildWalk>)
  ChildWalk(F&& walk)  // NOLINT: implicit on purpose
      : target_(const_cast<void*>(static_cast<const void*>(std::addressof(walk)))),
        call_([](void* target, NodeHandle child, std::size_t depth) {
          (*static_cast<std::remove_reference_t<F>*>(target))(child, depth);
        }) {}
  void operator()(NodeHandle child, std::size_t depth) const { call_(target_, child, depth); }

 private:
  void* target_;
  void (*call_)(void*, NodeHandle, std::size_t);
};

// Handler for "head", "style" and "script" (lower-cased `tag_name`). Writes
// nothing itself:
//  - script: captures JSON-LD when `collect_structured_data` and a sink;
//  - style: nothing;
//  - head: captures the JSON-LD scripts among its direct children, then
//    passes every direct child but the head's own elements (title, meta,
//    link, base, script, style, noscript, template) to `walk_child` at
//    depth + 1, as an HTML reader moves them into the body.
void convert_metadata_element(std::string_view tag_name, NodeHandle node, const TlDom& dom, MetadataSink* sink,
                              bool collect_structured_data, std::size_t depth, const DomContext& dom_ctx,
                              ChildWalk walk_child);

}  // namespace tidewell
