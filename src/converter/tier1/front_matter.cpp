// The front matter of the tier-1 road: the scanner gives up on every head
// element it reads, so a head reaches this step only where the scanner did
// not read it as markup (inside a comment). Its content is parsed on its own.
#include <string>
#include <vector>

#include "common/ascii.hpp"
#include "common/entities.hpp"
#include "common/unicode_space.hpp"
#include "converter/metadata/front_matter.hpp"
#include "converter/metadata/metadata_sink.hpp"
#include "converter/tier1/scanner.hpp"
#include "html_parser/parser.hpp"

namespace tidewell {
namespace {

bool name_is(const TlDom& dom, const TlNode::Tag& tag, std::string_view lower) {
  return ascii_iequals(dom.bytes(tag.name), lower);
}

// An attribute's value as an entry's text: invalid UTF-8 replaced,
// references decoded, and every line break written as a space.
std::optional<std::string> entry_value(const TlDom& dom, const TlNode::Tag& tag, std::string_view name) {
  const auto bytes = attribute_map_get(dom, tag, name).value_bytes(dom);
  if (!bytes) return std::nullopt;
  std::string text = attribute_text(*bytes);
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

// The first element named head: the node itself, then its subtree in
// document order.
const TlNode::Tag* find_head_element(NodeHandle node, const TlDom& dom) {
  std::vector<NodeHandle> stack{node};
  while (!stack.empty()) {
    const NodeHandle current = stack.back();
    stack.pop_back();
    const TlNode::Tag* tag = dom.tag(current);
    if (tag == nullptr) continue;
    if (name_is(dom, *tag, "head")) return tag;
    for (std::size_t i = tag->children.size(); i > 0; --i) stack.push_back(tag->children[i - 1]);
  }
  return nullptr;
}

void collect_title(const TlDom& dom, const TlNode::Tag& title, HeadMetadataMap& map) {
  if (title.children.empty()) return;
  const TlNode* first = dom.node(title.children[0]);
  const TlNode::Raw* raw = first != nullptr ? first->as_raw() : nullptr;
  if (raw == nullptr) return;
  const std::string decoded = attribute_text(dom.bytes(raw->text));
  // Every run of white space, line breaks included, becomes one space.
  std::string folded;
  for (std::string_view word : split_unicode_space(decoded)) {
    if (!folded.empty()) folded += ' ';
    folded += word;
  }
  if (!folded.empty()) map.insert_or_assign("title", std::move(folded));
}

void collect_meta(const TlDom& dom, const TlNode::Tag& meta, HeadMetadataMap& map) {
  std::optional<std::string> content = entry_value(dom, meta, "content");
  if (!content) return;
  for (std::string_view source : {"name", "property", "http-equiv"}) {
    std::optional<std::string> key = entry_value(dom, meta, source);
    if (!key) continue;
    std::string full = "meta-";
    for (char c : *key) full += (source == "property" && c == ':') ? '-' : ascii_lower(c);
    map.insert_or_assign(std::move(full), std::move(*content));
    return;
  }
}

void collect_link_rel(const TlDom& dom, const TlNode::Tag& link, HeadMetadataMap& map) {
  const std::optional<std::string> rel = entry_value(dom, link, "rel");
  std::optional<std::string> href = entry_value(dom, link, "href");
  if (!rel || !href) return;
  const std::string lowered = ascii_lowercase(*rel);
  if (lowered == "author" || lowered == "license" || lowered == "alternate") {
    map.insert_or_assign("link-" + lowered, std::move(*href));
  } else if (lowered == "canonical") {
    map.insert_or_assign("canonical", std::move(*href));
  }
}

}  // namespace

std::string tier1_front_matter(std::string_view text, HeadSpan span) {
  if (span.start >= span.end || span.end > text.size()) return {};
  std::string fragment;
  fragment.reserve(span.end - span.start + 32);
  fragment += "<html><head>";
  fragment += text.substr(span.start, span.end - span.start);
  fragment += "</head></html>";
  ParseResult parsed = copperfern_tl::parse_document(fragment);
  if (!parsed) return {};
  const TlDom& dom = parsed.dom();
  const TlNode::Tag* head = nullptr;
  for (NodeHandle top : dom.top_level) {
    head = find_head_element(top, dom);
    if (head != nullptr) break;
  }
  if (head == nullptr) return {};

  HeadMetadataMap map;
  for (NodeHandle child : head->children) {
    const TlNode::Tag* tag = dom.tag(child);
    if (tag == nullptr) continue;
    if (name_is(dom, *tag, "title")) {
      collect_title(dom, *tag, map);
    } else if (name_is(dom, *tag, "base")) {
      std::optional<std::string> href = entry_value(dom, *tag, "href");
      if (href && !href->empty()) map.insert_or_assign("base-href", std::move(*href));
    } else if (name_is(dom, *tag, "meta")) {
      collect_meta(dom, *tag, map);
    } else if (name_is(dom, *tag, "link")) {
      collect_link_rel(dom, *tag, map);
    }
  }
  if (map.empty()) return {};
  std::string out;
  append_front_matter(out, map);
  out += '\n';
  return out;
}

}  // namespace tidewell
