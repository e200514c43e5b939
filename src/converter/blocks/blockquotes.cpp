// blockquote: "> " before every line of its converted content, and an
// attribution line from its cite attribute. A nested quote is converted into
// its parent's buffer first and gets the parent's prefix on top of its own.
#include <string>
#include <string_view>

#include "common/entities.hpp"
#include "converter/blocks/block_support.hpp"
#include "converter/blocks/blocks.hpp"
#include "converter/text/kept_lines.hpp"

namespace tidewell {
namespace {

// The separator before a quote that is not inside another quote.
void separate_quote(std::string& out) {
  const OutputEnd end = end_of(out);
  if (end.is_empty()) return;
  if (end.is_blank_line()) {
    // The blank line shrinks to a line break, except after another quote,
    // which the quote would otherwise continue.
    if (!end.is_in_quotation()) out.pop_back();
  } else if (end.is_line_break()) {
    out += '\n';
  } else {
    out += "\n\n";
  }
}

}  // namespace

void convert_blockquote(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  const TlNode::Tag* tag = w.dom().tag(node);
  if (tag == nullptr) return;
  if (context.inline_mode) {
    w.children(node, context, depth);
    return;
  }
  const std::optional<std::string_view> cite = attribute_value(w.dom(), *tag, "cite");

  ConversionContext inner = context;
  ++inner.blockquote_depth;
  // The quote's content is laid out as at the top level, not indented for
  // an item it stands in: the item's indentation goes before its "> ".
  inner.in_list = false;
  inner.in_list_item = false;
  inner.loose_list = false;
  inner.list_depth = 0;
  inner.item_indent = 0;
  blocks::BlockBuffer buffer;
  blocks::convert_into_buffer(w, node, inner, depth + 1, buffer, BufferPlace::LineStart);
  const std::string_view body = blocks::block_body(buffer);
  if (body.empty()) return;

  std::string& out = w.out();
  // In a list item every line of the quote but one that follows the item's
  // marker is indented to the item's content.
  const bool in_item = context.in_list_item && !context.in_table_cell;
  const bool after_marker = in_item && w.end().is_bare_list_marker();
  const OutputEnd end = end_of(out);
  if (after_marker) {
    // The quote starts on the marker's line, which keeps it in the item.
  } else if (blocks::in_tight_item(w, context) && !end.is_empty() && !end.is_blank_line()) {
    if (!end.is_line_break()) out += '\n';
  } else if (context.blockquote_depth > 0 || w.options().output_format == OutputFormat::Djot) {
    // In its parent's buffer: a blank line between it and the text before;
    // in djot, where a quote interrupts no paragraph, everywhere.
    blank_line_before(out);
  } else {
    separate_quote(out);
  }
  const std::size_t indent = in_item ? context.item_indent : 0;
  std::size_t pos = 0;
  while (pos <= body.size()) {
    std::size_t nl = body.find('\n', pos);
    if (nl == std::string_view::npos) nl = body.size();
    const std::string_view line = body.substr(pos, nl - pos);
    const std::string_view kept = trim_unicode_space_end(line);
    if (pos != 0 || !after_marker) append_spaces(out, indent);
    // A kept empty line of code takes no space after its ">".
    out += kept.size() == 1 && kept[0] == kKeptLineMark ? ">" : "> ";
    out += kept;
    // The two spaces of a line break stay, or its lines would run together.
    if (!kept.empty() && line.ends_with("  ")) out += "  ";
    out += '\n';
    pos = nl + 1;
  }
  if (cite) {
    out += '\n';
    append_spaces(out, indent);
    out += "\xE2\x80\x94 <";
    out += attribute_text(*cite);
    out += ">\n\n";
  }
  if (context.in_table_cell) return;
  // A blank line after it, in a list item too: a line that followed the
  // quote directly would continue it.
  while (end_of(out).is_line_break()) out.pop_back();
  out += "\n\n";
}

}  // namespace tidewell
