// Form elements: the readable text of containers, labels, legends, option
// lists and the controls that hold text. input writes nothing.
#include <string>
#include <string_view>

#include "common/entities.hpp"
#include "converter/blocks/block_support.hpp"
#include "converter/blocks/blocks.hpp"

namespace tidewell {
namespace {

// The children in place at depth + 1, then `separator` when they wrote
// anything (outside inline rendering); the end of what they wrote is not
// looked at.
void walk_children_then(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth,
                        std::string_view separator) {
  std::string& out = w.out();
  const std::size_t start = out.size();
  w.children(node, context, depth);
  if (!context.inline_mode && out.size() > start) out += separator;
}

// optgroup: its label in bold on a line of its own, then the options.
void convert_optgroup(const Walk& w, NodeHandle node, const TlNode::Tag& tag, const ConversionContext& context,
                      std::size_t depth) {
  const std::optional<std::string_view> label = attribute_value(w.dom(), tag, "label");
  if (label && !label->empty()) {
    std::string& out = w.out();
    blocks::append_strong_marker(out, w.options());
    out += attribute_text(*label);
    blocks::append_strong_marker(out, w.options());
    out += '\n';
  }
  w.children(node, context, depth);
}

}  // namespace

void convert_form_element(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  const TlNode::Tag* tag = w.dom().tag(node);
  if (tag == nullptr) return;
  switch (w.tag(node).id) {
    case TagId::Form:
    case TagId::Fieldset:
      return blocks::convert_framed_block(w, node, context, depth);
    case TagId::Label:
      return blocks::convert_text_line(w, node, context, depth, "", "\n\n");
    case TagId::Meter:
    case TagId::Textarea:
    case TagId::Button:
    case TagId::Output:
    case TagId::Progress:
      return walk_children_then(w, node, context, depth, "\n\n");
    case TagId::Select:
    case TagId::Datalist:
      return walk_children_then(w, node, context, depth, "\n");
    case TagId::Legend:
      return blocks::convert_bold_line(w, node, context, depth);
    case TagId::Option: {
      // Selected: an attribute named exactly "selected", whatever its value.
      const bool selected = attribute_map_get(w.dom(), *tag, "selected").found();
      return blocks::convert_text_line(w, node, context, depth, selected ? "* " : "", "\n");
    }
    case TagId::Optgroup:
      return convert_optgroup(w, node, *tag, context, depth);
    default:
      return;  // input and anything else: nothing
  }
}

}  // namespace tidewell
