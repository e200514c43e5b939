#include "converter/metadata/head_collect.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "common/ascii.hpp"
#include "common/entities.hpp"
#include "common/unicode_space.hpp"

namespace tidewell {

namespace {

bool name_is(std::string_view name, std::string_view lower) { return ascii_iequals(name, lower); }

bool listed(const std::vector<std::string>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

void add_meta_entries(const TlDom& dom, const TlNode::Tag& meta, HeadMetadataMap& map) {
  const auto content = attribute_value(dom, meta, "content");
  if (!content) return;
  for (std::string_view attr : {std::string_view("name"), std::string_view("property")}) {
    const auto key = attribute_value(dom, meta, attr);
    if (!key) continue;
    map.insert_or_assign("meta-" + attribute_text(*key), attribute_text(*content));
  }
}

void add_title_entry(const TlDom& dom, const TlNode::Tag& title, HeadMetadataMap& map) {
  std::string text;
  for (NodeHandle child : title.children) {
    const TlNode* node = dom.node(child);
    if (node == nullptr) continue;
    if (const TlNode::Raw* raw = node->as_raw()) {
      std::string holder;
      text += text_node_content(dom.bytes(raw->text), holder);
    }
  }
  const std::string_view trimmed = trim_unicode_space(text);
  if (trimmed.empty()) return;
  if (trimmed.size() != text.size()) text = std::string(trimmed);
  map.insert_or_assign("title", std::move(text));
}

// Which head entries are skipped by the options.
struct HeadEntryFilter {
  bool skip_meta;
  bool skip_title;

  explicit HeadEntryFilter(const ConversionOptions& options)
      : skip_meta(listed(options.strip_tags, "meta") || listed(options.preserve_tags, "meta")),
        skip_title(listed(options.strip_tags, "title") || listed(options.preserve_tags, "title")) {}
};

enum class HeadKind : std::uint8_t { Entry, Skipped, Container };

// What an element (its name as parsed, ASCII case ignored) is to the search
// for head entries outside a head: an entry; an element whose subtree is
// passed over (a head, whose entries are read on their own; elements whose
// content is not shown; svg and math, whose title is not the page's); or a
// container searched further.
HeadKind head_kind(std::string_view name) {
  for (std::string_view entry : {"meta", "title", "link", "base"}) {
    if (name_is(name, entry)) return HeadKind::Entry;
  }
  for (std::string_view skipped : {"head", "script", "style", "noscript", "template", "iframe", "svg", "math"}) {
    if (name_is(name, skipped)) return HeadKind::Skipped;
  }
  return HeadKind::Container;
}

// Adds the entries of one title, meta, link or base element.
void add_head_entry(const TlDom& dom, const TlNode::Tag& tag, const HeadEntryFilter& filter, HeadMetadataMap& map) {
  const std::string_view name = dom.bytes(tag.name);
  if (name_is(name, "meta")) {
    if (!filter.skip_meta) add_meta_entries(dom, tag, map);
  } else if (name_is(name, "title")) {
    if (!filter.skip_title) add_title_entry(dom, tag, map);
  } else if (name_is(name, "link")) {
    const auto rel = attribute_value(dom, tag, "rel");
    if (!rel || rel->find("canonical") == std::string_view::npos) return;
    if (const auto href = attribute_value(dom, tag, "href")) map.insert_or_assign("canonical", attribute_text(*href));
  } else if (name_is(name, "base")) {
    if (const auto href = attribute_value(dom, tag, "href")) map.insert_or_assign("base", attribute_text(*href));
  }
}

// The entries given by the direct children of one head.
HeadMetadataMap head_entries_of(const TlDom& dom, const TlNode::Tag& head, const ConversionOptions& options) {
  HeadMetadataMap map;
  const HeadEntryFilter filter(options);
  for (NodeHandle child : head.children) {
    const TlNode::Tag* tag = dom.tag(child);
    if (tag != nullptr) add_head_entry(dom, *tag, filter, map);
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

ImpliedHead collect_implied_head(const TlDom& dom, const ConversionOptions& options) {
  ImpliedHead found;
  const HeadEntryFilter filter(options);
  // Document order, up to the first text with content.
  std::vector<NodeHandle> stack(dom.top_level.rbegin(), dom.top_level.rend());
  while (!stack.empty()) {
    const NodeHandle current = stack.back();
    stack.pop_back();
    const TlNode* node = dom.node(current);
    if (node == nullptr || node->is_comment()) continue;
    if (const TlNode::Raw* raw = node->as_raw()) {
      if (is_unicode_space_only(dom.bytes(raw->text))) continue;
      break;
    }
    const TlNode::Tag& tag = *node->as_tag();
    switch (head_kind(dom.bytes(tag.name))) {
      case HeadKind::Entry:
        found.elements.push_back(current);
        add_head_entry(dom, tag, filter, found.entries);
        break;
      case HeadKind::Skipped:
        break;
      case HeadKind::Container: {
        const auto& children = tag.children;
        for (std::size_t i = children.size(); i > 0; --i) stack.push_back(children[i - 1]);
        break;
      }
    }
  }
  return found;
}

}  // namespace tidewell
