#include <algorithm>
#include <string>

#include "common/unicode_space.hpp"
#include "converter/blocks/blocks.hpp"
#include "converter/metadata/structure_sink.hpp"

namespace tidewell {
namespace {

// The separator between two pieces of one table cell.
std::string_view cell_separator(const ConversionOptions& options) {
  if (options.br_in_tables) return "<br>";
  return options.newline_style == NewlineStyle::Backslash ? "\\\n" : "  \n";
}

// Inside a table cell after content that does not end at a cell boundary
// (the white space after that content is dropped).
bool needs_cell_separator(std::string& output, const ConversionContext& context) {
  return context.in_table_cell && trim_for_cell_separator(output);
}

// The raw bytes of a text node hold only white space (nothing decoded).
bool is_whitespace_only_text(NodeHandle node, const TlDom& dom) {
  const TlNode* n = dom.node(node);
  const TlNode::Raw* raw = n != nullptr ? n->as_raw() : nullptr;
  return raw != nullptr && is_unicode_space_only(dom.bytes(raw->text));
}

// A block in a table cell ends its line: what follows in the cell is set
// off from it as by a line break (a space, or "<br>" with `br_in_tables`),
// and a block after it replaces that line break with its own separator.
void end_cell_block(std::string& output) {
  if (!end_of(output).is_white_space()) output += '\n';
}

}  // namespace

bool is_void_or_metadata_tag(NodeHandle node, const TlDom& dom) {
  const TlNode::Tag* tag = dom.tag(node);
  // The name as written: "BR" does not count.
  return tag != nullptr && tag_has(tag_id(dom.bytes(tag->name)), kSpaceBetweenDropped);
}

void convert_div(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  if (w.dom().tag(node) == nullptr) return;
  if (context.inline_mode) {
    w.write_as_words([&] { w.children(node, context, depth); });
    return;
  }
  std::string& output = w.out();
  const ConversionOptions& options = w.options();
  const bool needs_separator = needs_cell_separator(output, context);
  const std::size_t start = output.size();
  bool indented = false;

  if (context.in_list_item) {
    // (White space alone, in a buffer, is no content to start a line after.)
    if (is_unicode_space_only(output)) output.clear();
    if (!output.empty()) {
      if (needs_separator) {
        trim_trailing_spaces_tabs(output);
        output += cell_separator(options);
      } else if (!w.end().is_bare_list_marker()) {
        ensure_line_break(output);
        append_spaces(output, context.item_indent);
        indented = true;
      }
    }
  } else if (!output.empty() && !context.in_table_cell) {
    separate_block(output);
  } else if (needs_separator) {
    output += cell_separator(options);
  }

  w.children(node, context, depth);

  if (output.size() <= start) return;
  if (start == 0 && output.front() == '\n' && !(output.size() >= 2 && output[1] == '\n')) output.erase(0, 1);
  trim_trailing_spaces_tabs(output);
  if (context.in_table_cell) {
    end_cell_block(output);
    return;
  }
  if (context.in_list_item && indented) {
    if (!w.end().is_line_break()) output += '\n';
    return;
  }
  if (w.end().is_blank_line()) return;
  output += w.end().is_line_break() ? "\n" : "\n\n";
}

void convert_paragraph(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  const TlNode::Tag* tag = w.dom().tag(node);
  if (tag == nullptr) return;
  std::string& output = w.out();
  const bool needs_separator = needs_cell_separator(output, context);
  const std::size_t start = output.size();
  const bool after_marker = context.in_list_item && w.end().is_bare_list_marker();
  const bool block_context = context.in_list_item || context.in_table_cell || context.inline_mode;

  if (context.in_list_item && output.empty()) {
    // The item's first paragraph follows its marker directly.
  } else if (!output.empty() && !block_context && !w.end().is_blank_line()) {
    // Right after a fence's closing line the paragraph needs no blank line.
    if (!w.end().is_fence_line()) separate_block(output);
  } else if (needs_separator) {
    output += "<br>";
  } else if (context.in_list_item && context.inline_mode) {
    w.write_boundary_space();
  } else if (context.in_list_item && !after_marker) {
    // A further block of the item: after a blank line, at the item's
    // indentation (less would end the item, four more would make code).
    trim_trailing_spaces_tabs(output);
    ensure_blank_line(output);
    append_spaces(output, context.item_indent);
  }

  // The separator may have trimmed white space kept before it (strict
  // white space): the paragraph's own text starts here.
  const std::size_t text_start = output.size();
  ConversionContext scope = context;
  scope.in_paragraph = true;

  const auto walk_children = [&] {
    const auto children = tag->children.as_span();
    for (std::size_t i = 0; i < children.size(); ++i) {
      const NodeHandle child = children[i];
      if (i > 0 && i + 1 < children.size() && is_whitespace_only_text(child, w.dom()) &&
          is_void_or_metadata_tag(children[i - 1], w.dom()) && is_void_or_metadata_tag(children[i + 1], w.dom())) {
        continue;
      }
      w.node(child, scope, depth + 1);
    }
  };
  // In running text (inline mode, outside table cells and list items, which
  // have separators of their own) the paragraph is set off by spaces.
  if (context.inline_mode && !context.in_table_cell && !context.in_list_item) {
    w.write_as_words(walk_children);
  } else {
    walk_children();
  }

  // Nothing written (the separator alone may have shortened the output).
  if (output.size() <= std::min(start, text_start)) return;
  if (context.in_table_cell && !context.inline_mode) end_cell_block(output);
  if (!context.inline_mode && !context.in_table_cell) output += "\n\n";
  if (!block_context && context.structure_sink != nullptr) {
    const std::string_view text = trim_unicode_space(std::string_view(output).substr(text_start));
    if (!text.empty()) doc_struct_add_paragraph(*context.structure_sink, text);
  }
}

}  // namespace tidewell
