#include <string>

#include "converter/blocks/blocks.hpp"

namespace tidewell {
namespace {

// The lower-cased name of the nearest earlier element sibling, skipping
// comments and whitespace-only text; nothing when a text with content or
// the start of the siblings comes first.
std::optional<std::string_view> previous_element_name(NodeHandle node, const TlDom& dom,
                                                      const DomContext& dom_context) {
  if (node >= dom_context.sibling_index.size() || !dom_context.sibling_index[node]) return std::nullopt;
  const std::optional<NodeHandle> parent = dom_context.parent_of(node);
  const std::span<const NodeHandle> siblings =
      parent ? dom_context.children_of(*parent, dom) : std::span<const NodeHandle>(dom_context.roots);
  std::size_t pos = static_cast<std::size_t>(*dom_context.sibling_index[node]);
  if (pos > siblings.size()) pos = siblings.size();
  while (pos > 0) {
    const NodeHandle h = siblings[--pos];
    const TlNode* n = dom.node(h);
    if (n == nullptr || n->is_comment()) continue;
    if (const TlNode::Raw* raw = n->as_raw()) {
      if (is_unicode_space_only(dom.bytes(raw->text))) continue;
      return std::nullopt;
    }
    if (const CachedTagInfo* info = dom_cache_tag_info(dom_context, h, dom)) return info->name.view();
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

void emit_line_break(std::string& output, NewlineStyle newline_style, bool in_single_line) {
  if (in_single_line) {
    trim_trailing_spaces_tabs(output);
    output += "  ";
    return;
  }
  if (!end_of(output).is_line_start()) {
    output += newline_style == NewlineStyle::Backslash ? "\\\n" : "  \n";
    return;
  }
  output += '\n';
}

void convert_line_break(const Walk& w, NodeHandle, const ConversionContext& context, std::size_t) {
  // In code a break is a line feed of the code, not a Markdown hard break.
  if (context.in_code && !context.in_single_line) {
    w.out() += '\n';
    return;
  }
  emit_line_break(w.out(), w.options().newline_style, context.in_single_line);
}

// Inside a paragraph the rule is separated like anywhere else: "---"
// right under a line of text would turn that text into a heading.
void convert_horizontal_rule(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t) {
  if (w.dom().tag(node) == nullptr) return;
  std::string& output = w.out();
  if (output.empty()) {
    output += "---\n";
    return;
  }
  const std::optional<std::string_view> previous = previous_element_name(node, w.dom(), w.dom_context());
  const bool after_blockquote = previous && *previous == "blockquote";
  const bool quoted = w.end().is_in_quotation();

  if (after_blockquote && w.end().is_blank_line()) {
    // A quote's closing blank line shrinks to a line break.
    output.pop_back();
  } else if (context.in_list_item && !context.in_table_cell && w.end().is_bare_list_marker()) {
    // As an item's first content the rule goes on the next line, with no
    // blank line between: after one the item would end empty ("- ---"
    // on the marker's line is a rule of its own).
    trim_trailing_spaces_tabs(output);
    ensure_line_break(output);
  } else if (!quoted && !after_blockquote) {
    trim_trailing_spaces_tabs(output);
    if (output.empty()) {
      output += "\n\n";
    } else {
      ensure_blank_line(output);
    }
  } else {
    ensure_line_break(output);
  }
  // In a list item the rule stays in the item.
  if (w.at_item_line_start(context)) append_spaces(output, context.item_indent);
  output += "---\n";
}

}  // namespace tidewell
