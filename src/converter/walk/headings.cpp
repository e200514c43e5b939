#include <string>

#include "converter/metadata/records.hpp"
#include "converter/metadata/structure_sink.hpp"
#include "converter/text/unicode_space.hpp"
#include "converter/walk/text_node.hpp"
#include "converter/walk/text_util.hpp"
#include "converter/walk/walk_node.hpp"

namespace tidewell {

using walk_detail::ends_with;
using walk_detail::last_byte_is;

void write_heading(std::string& output, const ConversionContext& context, HeadingStyle style, std::uint64_t level,
                   std::string_view text) {
  if (text.empty()) return;
  if (context.inline_mode) {
    output += text;
    return;
  }
  if (context.in_table_cell) {
    if (!output.empty() && output.back() != ' ' && output.back() != '|' && !ends_with(output, "<br>")) {
      output += "<br>";
    }
    output += text;
    return;
  }
  if (context.in_list_item) {
    if (!output.empty()) {
      if (output.back() == '\n') {
        walk_detail::append_spaces(output, 4 * context.list_depth);
      } else if (output.back() != ' ') {
        output += ' ';
      }
    }
  } else if (!output.empty() && !ends_with(output, "\n\n")) {
    if (output.back() == '\n') {
      output += '\n';
    } else {
      trim_trailing_spaces_tabs(output);
      output += "\n\n";
    }
  }

  const auto hashes = [&](std::string& out) { out.append(static_cast<std::size_t>(level), '#'); };
  if (style == HeadingStyle::Underlined && (level == 1 || level == 2)) {
    output += text;
    output += '\n';
    output.append(text.size(), level == 1 ? '=' : '-');
  } else if (style == HeadingStyle::AtxClosed) {
    hashes(output);
    output += ' ';
    output += text;
    output += ' ';
    hashes(output);
  } else {
    hashes(output);
    output += ' ';
    output += text;
  }
  output += (context.in_list_item || context.blockquote_depth != 0) ? "\n" : "\n\n";
}

namespace {

// Each line break, with the spaces and tabs after it, becomes one space.
std::string fold_heading_lines(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\n' && c != '\r') {
      out += c;
      continue;
    }
    while (i + 1 < text.size() && (text[i + 1] == ' ' || text[i + 1] == '\t')) ++i;
    if (!out.empty() && out.back() != ' ') out += ' ';
  }
  return out;
}

}  // namespace

void convert_heading(std::string_view name, NodeHandle node, const TlDom& dom, std::string& output,
                     const ConversionOptions& options, const ConversionContext& context, std::size_t depth,
                     const DomContext& dom_context) {
  const TlNode::Tag* tag = dom.tag(node);
  if (tag == nullptr) return;
  const std::uint8_t level =
      (name.size() >= 2 && name[1] >= '0' && name[1] <= '9') ? static_cast<std::uint8_t>(name[1] - '0') : 1;

  if (!context.in_table_cell && !context.in_list_item && !context.inline_mode && context.blockquote_depth == 0 &&
      !output.empty() && !ends_with(output, "\n\n")) {
    trim_trailing_spaces_tabs(output);
    output += "\n\n";
  }

  ConversionContext scope = context;
  scope.inline_mode = true;
  scope.in_single_line = true;
  scope.keep_images_here = context.keep_inline_images_set->contains(name);
  std::string buffer;
  for (NodeHandle child : tag->children) walk_node(child, dom, buffer, options, scope, depth + 1, dom_context);

  const std::string_view trimmed = trim_unicode_space(buffer);
  if (trimmed.empty()) return;
  std::string folded;
  const bool has_break = trimmed.find_first_of("\n\r") != std::string_view::npos;
  if (has_break) folded = fold_heading_lines(trimmed);
  const std::string_view text = has_break ? std::string_view(folded) : trimmed;

  // Written against the real output, so that the heading separates itself
  // from what stands before it in list items, quotes and table cells too.
  write_heading(output, context, options.heading_style, level, text);

  const bool want_header = context.collect_headers && context.metadata_sink != nullptr;
  const bool want_node = !context.in_table_cell && context.structure_sink != nullptr;
  if (!want_header && !want_node) return;
  std::optional<std::string> id;
  if (tag->id) id = utf8_lossy(dom.bytes(*tag->id)).into_string();
  if (want_header) metadata_add_header(*context.metadata_sink, level, std::string(text), id, depth);
  if (want_node) doc_struct_add_heading(*context.structure_sink, level, text, std::move(id));
}

}  // namespace tidewell
