#include "converter/metadata/json_ld.hpp"

#include <algorithm>
#include <string>

#include "common/ascii.hpp"
#include "common/entities.hpp"
#include "common/unicode_space.hpp"
#include "converter/metadata/head_metadata.hpp"

namespace tidewell {

namespace {

bool is_script_element(NodeHandle h, const TlDom& dom, const DomContext& dom_ctx) {
  const auto name = dom_tag_name_lower(dom_ctx, h, dom);
  return name && name->view() == "script";
}

// Removes `h` from the scripts taken by their head; true when it was there.
bool take_marker(MetadataSink& sink, NodeHandle h) {
  auto& taken = sink.json_ld_taken_by_head;
  const auto it = std::lower_bound(taken.begin(), taken.end(), h);
  if (it == taken.end() || *it != h) return false;
  taken.erase(it);
  return true;
}

void add_marker(MetadataSink& sink, NodeHandle h) {
  auto& taken = sink.json_ld_taken_by_head;
  const auto it = std::lower_bound(taken.begin(), taken.end(), h);
  if (it == taken.end() || *it != h) taken.insert(it, h);
}

}  // namespace

bool is_json_ld_type(const TlDom& dom, const TlNode::Tag& element) {
  const auto type = attribute_value(dom, element, "type");
  if (!type) return false;
  std::string_view media = *type;
  if (const std::size_t semi = media.find(';'); semi != std::string_view::npos) media = media.substr(0, semi);
  return ascii_iequals(trim_unicode_space(media), "application/ld+json");
}

void capture_json_ld(const TlDom& dom, const TlNode::Tag& script, MetadataSink& sink) {
  const CowText text = inner_text(script, dom);
  const std::string_view trimmed = trim_unicode_space(text.view());
  if (trimmed.empty()) return;
  std::string decoded = decode_entities_owned(trimmed);
  if (decoded.empty()) return;
  metadata_add_json_ld(sink, std::move(decoded));
}

bool head_holds_body_content(NodeHandle head, const TlDom& dom, const DomContext& dom_ctx) {
  const TlNode::Tag* tag = dom.tag(head);
  if (tag == nullptr) return false;
  for (NodeHandle child : tag->children) {
    const auto name = dom_tag_name_lower(dom_ctx, child, dom);
    if (!name) continue;
    const std::string_view n = name->view();
    if (n == "p" || n == "div" || n == "body" || n == "main" || n == "article" || n == "section") return true;
  }
  return false;
}

void convert_metadata_element(std::string_view tag_name, NodeHandle node, const TlDom& dom, MetadataSink* sink,
                              bool collect_structured_data, std::size_t depth, const DomContext& dom_ctx,
                              ChildWalk walk_child) {
  const TlNode::Tag* tag = dom.tag(node);
  if (tag == nullptr) return;
  const bool capture = collect_structured_data && sink != nullptr;

  if (tag_name == "script") {
    if (!capture || !is_json_ld_type(dom, *tag)) return;
    if (take_marker(*sink, node)) return;
    capture_json_ld(dom, *tag, *sink);
    return;
  }
  if (tag_name != "head") return;  // style: its content is dropped

  const bool body_content = head_holds_body_content(node, dom, dom_ctx);
  if (capture) {
    for (NodeHandle child : tag->children) {
      const TlNode::Tag* script = dom.tag(child);
      if (script == nullptr || !is_script_element(child, dom, dom_ctx) || !is_json_ld_type(dom, *script)) continue;
      capture_json_ld(dom, *script, *sink);
      if (body_content) add_marker(*sink, child);
    }
  }
  if (!body_content) return;
  // The child list is the document's and never changes, so iterating it
  // across the walk is safe.
  for (NodeHandle child : tag->children) walk_child(child, depth + 1);
  if (capture && !sink->json_ld_taken_by_head.empty()) {
    // Scripts the walk did not reach (dropped by a filter) leave no marker.
    for (NodeHandle child : tag->children) take_marker(*sink, child);
  }
}

}  // namespace tidewell
