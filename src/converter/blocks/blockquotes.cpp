// blockquote: "> " before every line of its converted content, and an
// attribution line from its cite attribute. A nested quote is converted into
// its parent's buffer first and gets the parent's prefix on top of its own.
#include <string>
#include <string_view>

#include "converter/blocks/block_support.hpp"
#include "converter/blocks/blocks.hpp"
#include "converter/text/entities.hpp"

namespace tidewell {
namespace {

// The quote's content without its leading blank lines and trailing white
// space. The first line keeps an indentation of four columns or more (an
// indented code block) and loses a shorter one.
std::string_view quote_body(std::string_view buffer) {
  std::size_t start = 0;
  std::size_t line_start = 0;
  while (start < buffer.size()) {
    const std::size_t len = space_len_at(buffer, start);
    if (len == 0) break;
    if (buffer[start] == '\n') line_start = start + len;
    start += len;
  }
  const std::string_view indent = buffer.substr(line_start, start - line_start);
  if (indent.starts_with("    ") || indent.starts_with('\t')) start = line_start;
  return trim_unicode_space_end(buffer.substr(start));
}

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
  // The quote's lines start at the margin, even inside a list item, so its
  // content is laid out as at the top level, not indented for the item.
  inner.in_list = false;
  inner.in_list_item = false;
  inner.loose_list = false;
  inner.list_depth = 0;
  blocks::BlockBuffer buffer;
  blocks::convert_into_buffer(w, node, inner, depth + 1, buffer, BufferPlace::LineStart);
  const std::string_view body = quote_body(buffer);
  if (body.empty()) return;

  std::string& out = w.out();
  if (context.blockquote_depth > 0) {
    out += "\n\n\n";
  } else {
    separate_quote(out);
  }
  std::size_t pos = 0;
  while (pos <= body.size()) {
    std::size_t nl = body.find('\n', pos);
    if (nl == std::string_view::npos) nl = body.size();
    const std::string_view line = body.substr(pos, nl - pos);
    const std::string_view kept = trim_unicode_space_end(line);
    out += "> ";
    out += kept;
    // The two spaces of a line break stay, or its lines would run together.
    if (!kept.empty() && line.ends_with("  ")) out += "  ";
    out += '\n';
    pos = nl + 1;
  }
  if (cite) {
    out += "\n\xE2\x80\x94 <";
    out += attribute_text(*cite);
    out += ">\n\n";
  }
  if (context.in_table_cell || context.in_list_item) return;
  while (end_of(out).is_line_break()) out.pop_back();
  out += "\n\n";
}

}  // namespace tidewell
