#include <string>
#include <vector>

#include "common/tags.hpp"
#include "common/utf8.hpp"
#include "converter/inline/inline.hpp"
#include "converter/inline/serialize.hpp"

namespace tidewell {
namespace {

// Appends an element's name, decoded lossily, with ASCII letters lowered.
void append_lower_name(const TlDom& dom, const TlNode::Tag& tag, std::string& out) {
  const std::size_t start = out.size();
  append_utf8_lossy(dom.bytes(tag.name), out);
  for (std::size_t i = start; i < out.size(); ++i) {
    if (out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] - 'A' + 'a');
  }
}

void append_start_tag(const TlDom& dom, const TlNode::Tag& tag, std::string& out) {
  out += '<';
  append_lower_name(dom, tag, out);
  AttributeIter attributes = attributes_iter(dom, tag);
  while (std::optional<AttributePair> attribute = attributes.next()) {
    out += ' ';
    out += attribute->name.view();
    if (attribute->value) {
      out += "=\"";
      append_attribute_value(attribute->value->view(), out);
      out += '"';
    }
  }
  out += '>';
}

}  // namespace

void write_element_html(NodeHandle node, const TlDom& dom, std::string& out) {
  // An explicit stack: a node to open, or an element to close.
  struct Step {
    NodeHandle node;
    bool close;
  };
  std::vector<Step> stack{{node, false}};
  while (!stack.empty()) {
    const Step step = stack.back();
    stack.pop_back();
    const TlNode* n = dom.node(step.node);
    if (n == nullptr || n->is_comment()) continue;
    if (const TlNode::Raw* raw = n->as_raw()) {
      append_utf8_lossy(dom.bytes(raw->text), out);
      continue;
    }
    const TlNode::Tag& tag = *n->as_tag();
    if (step.close) {
      out += "</";
      append_lower_name(dom, tag, out);
      out += '>';
      continue;
    }
    append_start_tag(dom, tag, out);
    if (!is_void_tag(dom.bytes(tag.name))) stack.push_back({step.node, true});
    const auto children = tag.children.as_span();
    for (std::size_t i = children.size(); i > 0; --i) stack.push_back({children[i - 1], false});
  }
}

std::string serialize_preserved_element(NodeHandle node, const TlDom& dom) {
  std::string out;
  write_element_html(node, dom, out);
  return out;
}

void convert_preserved_element(const Walk& w, NodeHandle node, const ConversionContext&, std::size_t) {
  write_element_html(node, w.dom(), w.out());
}

}  // namespace tidewell
