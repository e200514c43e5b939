#include <string>
#include <vector>

#include "common/ascii.hpp"
#include "common/tags.hpp"
#include "converter/inline/inline.hpp"

namespace tidewell {
namespace {

// Position just after the ">" that ends the element's start tag: the first
// ">" after its name and after its last attribute's value.
std::size_t start_tag_end(const TlDom& dom, const TlNode::Tag& tag) {
  std::size_t pos = tag.name.end();
  const auto consider = [&](const std::optional<ByteSpan>& span) {
    if (span && span->end() > pos) pos = span->end();
  };
  consider(tag.id);
  consider(tag.class_);
  for (const AttributeEntry& entry : dom.entries(tag.attributes)) {
    if (entry.name.end() > pos) pos = entry.name.end();
    consider(entry.value);
  }
  const std::size_t gt = dom.input.find('>', pos);
  return gt == std::string_view::npos ? dom.input.size() : gt + 1;
}

// The length of an end tag "</name>" (ASCII case-insensitive, spaces before
// the ">" allowed) at `pos`, or 0.
std::size_t end_tag_at(std::string_view input, std::size_t pos, std::string_view name) {
  if (input.size() - pos < name.size() + 3 || input[pos] != '<' || input[pos + 1] != '/') return 0;
  if (!ascii_iequals(input.substr(pos + 2, name.size()), name)) return 0;
  std::size_t i = pos + 2 + name.size();
  while (i < input.size() && (input[i] == ' ' || input[i] == '\t' || input[i] == '\n')) ++i;
  if (i >= input.size() || input[i] != '>') return 0;
  return i + 1 - pos;
}

}  // namespace

std::string serialize_preserved_element(NodeHandle node, const TlDom& dom) {
  const TlNode::Tag* tag = dom.tag(node);
  if (tag == nullptr) return {};
  const std::string_view input = dom.input;

  // The "<" before the name (a few bytes back at most).
  std::size_t begin = tag->name.start;
  for (std::size_t back = 1; back <= 8 && back <= tag->name.start; ++back) {
    if (input[tag->name.start - back] == '<') {
      begin = tag->name.start - back;
      break;
    }
  }

  // Follow the last child down to the last descendant; its end is where the
  // element's content ends in the input.
  std::vector<const TlNode::Tag*> chain{tag};
  std::size_t end = start_tag_end(dom, *tag);
  while (!chain.back()->children.empty()) {
    const NodeHandle last = chain.back()->children[chain.back()->children.size() - 1];
    const TlNode* n = dom.node(last);
    if (n == nullptr) break;
    if (const TlNode::Tag* child = n->as_tag()) {
      chain.push_back(child);
      end = start_tag_end(dom, *child);
      continue;
    }
    const ByteSpan span = n->is_raw() ? n->as_raw()->text : n->as_comment()->text;
    end = span.end();
    break;
  }
  if (end < begin) end = begin;
  if (end > input.size()) end = input.size();

  std::string out(input.substr(begin, end - begin));
  // The end tags that close the chain, innermost first, as far as the input
  // holds them; the element's own end tag is supplied when it is missing.
  for (std::size_t i = chain.size(); i > 0; --i) {
    const std::string_view name = dom.bytes(chain[i - 1]->name);
    if (is_void_tag(name)) continue;
    if (const std::size_t len = end_tag_at(input, end, name); len != 0) {
      out.append(input.substr(end, len));
      end += len;
    } else if (i == 1) {
      out += "</";
      out += name;
      out += '>';
    }
  }
  return out;
}

void convert_preserved_element(const Walk& w, NodeHandle node, const ConversionContext&, std::size_t) {
  w.out() += serialize_preserved_element(node, w.dom());
}

}  // namespace tidewell
