#include "converter/metadata/head_collect.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "common/ascii.hpp"
#include "converter/text/unicode_space.hpp"

namespace tidewell {

namespace {

bool name_is(std::string_view name, std::string_view lower) { return ascii_iequals(name, lower); }

bool listed(const std::vector<std::string>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::string lossy(std::string_view bytes) { return utf8_lossy(bytes).to_string(); }

void add_meta_entries(const TlDom& dom, const TlNode::Tag& meta, HeadMetadataMap& map) {
  const auto content = attribute_value(dom, meta, "content");
  if (!content) return;
  for (std::string_view attr : {std::string_view("name"), std::string_view("property")}) {
    const auto key = attribute_value(dom, meta, attr);
    if (!key) continue;
    std::string full = "meta-";
    append_utf8_lossy(*key, full);
    map.insert_or_assign(std::move(full), lossy(*content));
  }
}

void add_title_entry(const TlDom& dom, const TlNode::Tag& title, HeadMetadataMap& map) {
  std::string text;
  for (NodeHandle child : title.children) {
    const TlNode* node = dom.node(child);
    if (node == nullptr) continue;
    if (const TlNode::Raw* raw = node->as_raw()) append_utf8_lossy(dom.bytes(raw->text), text);
  }
  const std::string_view trimmed = trim_unicode_space(text);
  if (trimmed.empty()) return;
  if (trimmed.size() != text.size()) text = std::string(trimmed);
  map.insert_or_assign("title", std::move(text));
}

// The entries given by the direct children of one head.
HeadMetadataMap head_entries_of(const TlDom& dom, const TlNode::Tag& head, const ConversionOptions& options) {
  HeadMetadataMap map;
  const bool skip_meta = listed(options.strip_tags, "meta") || listed(options.preserve_tags, "meta");
  const bool skip_title = listed(options.strip_tags, "title") || listed(options.preserve_tags, "title");
  for (NodeHandle child : head.children) {
    const TlNode::Tag* tag = dom.tag(child);
    if (tag == nullptr) continue;
    const std::string_view name = dom.bytes(tag->name);
    if (name_is(name, "meta")) {
      if (!skip_meta) add_meta_entries(dom, *tag, map);
    } else if (name_is(name, "title")) {
      if (!skip_title) add_title_entry(dom, *tag, map);
    } else if (name_is(name, "link")) {
      const auto rel = attribute_value(dom, *tag, "rel");
      if (!rel || rel->find("canonical") == std::string_view::npos) continue;
      if (const auto href = attribute_value(dom, *tag, "href")) map.insert_or_assign("canonical", lossy(*href));
    } else if (name_is(name, "base")) {
      if (const auto href = attribute_value(dom, *tag, "href")) map.insert_or_assign("base", lossy(*href));
    }
  }
  return map;
}

}  // namespace

HeadMetadataMap collect_head_metadata(NodeHandle node, const TlDom& dom, const ConversionOptions& options) {
  // Pre-order search with an explicit stack: the first head in document
  // order that yields entries decides; a head's own subtree is not entered.
  std::vector<NodeHandle> stack{node};
  while (!stack.empty()) {
    const NodeHandle current = stack.back();
    stack.pop_back();
    const TlNode::Tag* tag = dom.tag(current);
    if (tag == nullptr) continue;
    if (name_is(dom.bytes(tag->name), "head")) {
      HeadMetadataMap map = head_entries_of(dom, *tag, options);
      if (!map.empty()) return map;
      continue;
    }
    const auto& children = tag->children;
    for (std::size_t i = children.size(); i > 0; --i) stack.push_back(children[i - 1]);
  }
  return {};
}

}  // namespace tidewell
