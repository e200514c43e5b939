#include <string>

#include "common/entities.hpp"
#include "common/unicode_space.hpp"
#include "converter/blocks/block_support.hpp"
#include "converter/blocks/blocks.hpp"
#include "converter/metadata/records.hpp"
#include "converter/metadata/structure_sink.hpp"
#include "converter/text/processing.hpp"

namespace tidewell {

void write_heading(std::string& output, const ConversionContext& context, const ConversionOptions& options,
                   std::uint64_t level, std::string_view text) {
  const HeadingStyle style = options.heading_style;
  // A djot heading goes on over the lines that follow it, and interrupts
  // no paragraph: blank lines set it off in list items and quotes too.
  const bool djot = options.output_format == OutputFormat::Djot;
  if (text.empty()) return;
  if (context.inline_mode) {
    output += text;
    return;
  }
  if (context.in_table_cell) {
    blocks::break_in_cell(output);
    output += text;
    // The heading ends its line in the cell: what follows is set off from it.
    output += '\n';
    return;
  }
  const OutputEnd end = end_of(output);
  if (context.in_list_item) {
    // After the item's marker the heading follows it on its line; after
    // other content of the item it starts a line at the item's indentation.
    if (!end.is_empty() && !end.is_bare_list_marker()) {
      trim_trailing_spaces_tabs(output);
      if (djot) {
        blocks::end_with_blank_line(output);
      } else {
        ensure_line_break(output);
      }
      append_spaces(output, context.item_indent);
    }
  } else if (!end.is_empty() && !end.is_blank_line()) {
    if (end.is_line_break()) {
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
  output += (context.in_list_item || context.blockquote_depth != 0) && !djot ? "\n" : "\n\n";
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

void convert_heading(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  const TlNode::Tag* tag = w.dom().tag(node);
  if (tag == nullptr) return;
  const std::string_view name = w.tag(node).name;
  const std::uint8_t level =
      (name.size() >= 2 && name[1] >= '0' && name[1] <= '9') ? static_cast<std::uint8_t>(name[1] - '0') : 1;
  std::string& output = w.out();

  if (!context.in_table_cell && !context.in_list_item && !context.inline_mode && context.blockquote_depth == 0) {
    separate_block(output);
  }

  ConversionContext scope = context;
  scope.inline_mode = true;
  scope.in_single_line = true;
  scope.keep_images_here = w.policy().keeps_inline_images(name);
  // The text starts a line as a setext heading, and stands in place in
  // running text; after "#" or in a cell it starts no line.
  const bool setext = w.options().heading_style == HeadingStyle::Underlined && level <= 2;
  BufferPlace place = BufferPlace::Elsewhere;
  if (context.inline_mode) {
    place = BufferPlace::Here;
  } else if (setext && !context.in_table_cell) {
    place = BufferPlace::LineStart;
  }
  std::string buffer;
  w.into(buffer, place).children(node, scope, depth);

  const std::string_view trimmed = trim_unicode_space(buffer);
  if (trimmed.empty()) return;
  std::string folded;
  const bool has_break = trimmed.find_first_of("\n\r") != std::string_view::npos;
  if (has_break) folded = fold_heading_lines(trimmed);
  const std::string_view text = has_break ? std::string_view(folded) : trimmed;
  // A final run of '#' would read as the closing sequence of the heading
  // line; closed headings have one of their own, and djot headings none.
  const bool atx = w.options().heading_style == HeadingStyle::Atx ||
                   (w.options().heading_style == HeadingStyle::Underlined && !setext);
  std::string_view line = text;
  std::string unclosed;
  if (atx && !context.inline_mode && !context.in_table_cell && w.options().output_format != OutputFormat::Djot) {
    if (const std::size_t run = atx_closing_run(text); run != std::string_view::npos) {
      unclosed.reserve(text.size() + 1);
      unclosed.append(text.substr(0, run)).append(1, '\\').append(text.substr(run));
      line = unclosed;
    }
  }

  // Written against the real output, so that the heading separates itself
  // from what stands before it in list items, quotes and table cells too;
  // in running text (inline mode) it is set off by spaces.
  if (context.inline_mode) {
    w.write_as_words([&] { write_heading(output, context, w.options(), level, line); });
  } else {
    write_heading(output, context, w.options(), level, line);
  }

  const bool want_header = context.collect_headers && context.metadata_sink != nullptr;
  const bool want_node = !context.in_table_cell && context.structure_sink != nullptr;
  if (!want_header && !want_node) return;
  std::optional<std::string> id;
  if (const OptionalSpan span = w.dom().id_of(*tag)) id = attribute_text(w.dom().bytes(*span));
  if (want_header) metadata_add_header(*context.metadata_sink, level, std::string(text), id, depth);
  if (want_node) doc_struct_add_heading(*context.structure_sink, level, text, std::move(id));
}

}  // namespace tidewell
