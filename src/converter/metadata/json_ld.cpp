#include "converter/metadata/json_ld.hpp"

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

void convert_metadata_element(std::string_view tag_name, NodeHandle node, const TlDom& dom, MetadataSink* sink,
                              bool collect_structured_data, std::size_t depth, const DomContext& dom_ctx,
                              ChildWalk walk_child) {
  const TlNode::Tag* tag = dom.tag(node);
  if (tag == nullptr) return;
  const bool capture = collect_structured_data && sink != nullptr;

  if (tag_name == "script") {
    if (capture && is_json_ld_type(dom, *tag)) capture_json_ld(dom, *tag, *sink);
    return;
  }
  if (tag_name != "head") return;  // style: its content is dropped

  if (capture) {
    for (NodeHandle child : tag->children) {
      const TlNode::Tag* script = dom.tag(child);
      if (script == nullptr || !is_script_element(child, dom, dom_ctx) || !is_json_ld_type(dom, *script)) continue;
      capture_json_ld(dom, *script, *sink);
    }
  }
  // Everything else in a head (text, a span, a paragraph, ...) an HTML
  // reader moves into the body, in its place; the head's own elements stay
  // for the front matter. The child list is the document's and never
  // changes, so iterating it across the walk is safe.
  const auto children = tag->children.as_span();
  for (std::size_t i = first_moved_out_of_head(dom, *tag); i < children.size(); ++i) {
    if (!is_head_element(dom, children[i])) walk_child(children[i], depth + 1);
  }
}

}  // namespace tidewell
