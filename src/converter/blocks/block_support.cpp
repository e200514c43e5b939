#include "converter/blocks/block_support.hpp"

namespace tidewell::blocks {

void convert_framed_block(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  if (context.inline_mode) {
    walk_children_at(w, node, context, depth);
    return;
  }
  const std::string buffer = convert_into_buffer(w, node, context, depth);
  const std::string_view text = trim_unicode_space(buffer);
  if (text.empty()) return;
  blank_line_before_block(w, context);
  std::string& out = w.out();
  out += text;
  out += "\n\n";
}

void convert_text_line(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth,
                       std::string_view marker, std::string_view after) {
  const std::string buffer = convert_into_buffer(w, node, context, depth + 1);
  std::string& out = w.out();
  write_trimmed(w, buffer, context.inline_mode, [&](std::string_view text) {
    if (!context.inline_mode) out += marker;
    out += text;
    if (!context.inline_mode) out += after;
  });
}

void convert_bold_line(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  ConversionContext scope = context;
  if (!context.inline_mode) scope.in_strong = true;
  const std::string buffer = convert_into_buffer(w, node, scope, depth + 1);
  std::string& out = w.out();
  write_trimmed(w, buffer, context.inline_mode, [&](std::string_view text) {
    if (context.inline_mode) {
      out += text;
      return;
    }
    append_strong(out, w.options(), text);
    out += "\n\n";
  });
}

}  // namespace tidewell::blocks
