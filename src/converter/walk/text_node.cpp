#include "converter/walk/text_node.hpp"

#include <cstring>

#include "common/entities.hpp"
#include "common/tags.hpp"
#include "common/unicode_space.hpp"
#include "converter/text/processing.hpp"
#include "converter/walk/output.hpp"
#include "converter/walk/walk.hpp"

namespace tidewell {

std::string replace_line_breaks_with_spaces(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return out;
}


TextWhitespaceSplit split_text_whitespace(std::string_view text) {
  TextWhitespaceSplit split;
  if (text.empty()) return split;
  if (space_len_at(text, 0) != 0) split.lead = " ";
  if (text.ends_with("\n\n") || text.ends_with("\r\n\r\n")) {
    split.tail = "\n\n";
  } else if (text.back() == ' ' || text.back() == '\t') {
    split.tail = " ";
  }
  split.core = trim_unicode_space(text);
  return split;
}

bool is_longer_than_one_char(std::string_view text) {
  if (text.empty()) return false;
  const auto lead = static_cast<unsigned char>(text[0]);
  const std::size_t first = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  return text.size() > first;
}

void escape_block_markers_from(std::string& out, std::size_t from, bool starts_line, bool after_number, bool djot) {
  if (after_number && from < out.size() && may_complete_number_marker(std::string_view(out).substr(from))) {
    std::size_t delimiter = from;
    while (out[delimiter] >= '0' && out[delimiter] <= '9') ++delimiter;
    const std::size_t next = delimiter + 1;
    if (next == out.size() || out[next] == ' ' || out[next] == '\t' || out[next] == '\n') {
      out.insert(delimiter, 1, '\\');
    }
  }
  if (std::optional<std::string> escaped =
          escape_line_block_markers(std::string_view(out).substr(from), starts_line, djot)) {
    out.resize(from);
    out += *escaped;
  }
}

void append_page_text(std::string& out, std::string_view text, const ConversionOptions& options, bool starts_line,
                      bool after_number, EscapeMode mode, TextNeighbours around) {
  const std::size_t start = out.size();
  escape_markdown_into(text, mode, options, out, around);
  escape_block_markers_from(out, start, starts_line, after_number, options.output_format == OutputFormat::Djot);
}

void escape_joining_markup(std::string& out, std::string_view next, const ConversionOptions& options) {
  const std::size_t at = joining_markup_at(out, next, options.output_format == OutputFormat::Djot);
  if (at != std::string::npos) out.insert(at, 1, '\\');
}

void escape_joining_markup_at(std::string& out, std::size_t seam, const ConversionOptions& options) {
  const std::string_view written(out);
  const std::size_t at =
      joining_markup_at(written.substr(0, seam), written.substr(seam), options.output_format == OutputFormat::Djot);
  if (at != std::string::npos) out.insert(at, 1, '\\');
}

bool may_complete_number_marker(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  return i < text.size() && (text[i] == '.' || text[i] == ')');
}

bool writes_content_only(TagId id, const ConversionOptions& options) {
  switch (id) {
    case TagId::Span:
    case TagId::U:
    case TagId::Small:
    case TagId::Bdi:
    case TagId::Bdo:
    case TagId::Cite:
    case TagId::Data:
    case TagId::Time:
      return true;
    case TagId::Sub:
      return options.sub_symbol.empty() && options.output_format != OutputFormat::Djot;
    case TagId::Sup:
      return options.sup_symbol.empty() && options.output_format != OutputFormat::Djot;
    default:
      return false;
  }
}

namespace {

bool contains_byte(std::string_view s, char c) { return std::memchr(s.data(), c, s.size()) != nullptr; }

// Text between emphasis markers escapes the emphasis characters too.
EscapeMode text_escape_mode(const ConversionContext& context) {
  return context.in_emphasis ? EscapeMode::EmphasizedText : EscapeMode::PageText;
}

// What a reader finds right after a text node, where that is cheap to tell:
// white space when the text ends with some or a text of white space comes
// next, a line end when the text ends a block (through a few inline
// elements that write nothing after their content); otherwise not known.
int text_follower(const Walk& w, NodeHandle node, bool ends_with_space) {
  if (ends_with_space) return ' ';
  const DomContext& ctx = w.dom_context();
  const TlDom& dom = w.dom();
  NodeHandle h = node;
  for (int level = 0; level < 4; ++level) {
    const std::optional<NodeHandle> parent = ctx.parent_of(h);
    if (!parent || h >= ctx.sibling_index.size() || !ctx.sibling_index[h]) return kUnknownNeighbour;
    const std::span<const NodeHandle> siblings = ctx.children_of(*parent, dom);
    for (std::size_t i = static_cast<std::size_t>(*ctx.sibling_index[h]) + 1; i < siblings.size(); ++i) {
      const TlNode* next = dom.node(siblings[i]);
      if (next == nullptr || next->is_comment()) continue;
      const TlNode::Raw* raw = next->as_raw();
      return raw != nullptr && space_len_at(dom.bytes(raw->text), 0) != 0 ? ' ' : kUnknownNeighbour;
    }
    const CachedTagInfo* info = dom_cache_tag_info(ctx, *parent, dom);
    if (info == nullptr) return kUnknownNeighbour;
    if (info->is_block) return '\n';
    if (!info->is_inline || !writes_content_only(info->id, w.options())) return kUnknownNeighbour;
    h = *parent;
  }
  return kUnknownNeighbour;
}

bool contains_blank_line(std::string_view s) {
  return s.find("\n\n") != std::string_view::npos || s.find("\r\n\r\n") != std::string_view::npos;
}

// Appends `part`; after each line feed that content follows, the line's own
// leading spaces and tabs give way to `indent` spaces (the item's content
// column, which keeps the line in the item).
void append_indented_lines(std::string& output, std::string_view part, std::size_t indent) {
  std::size_t pos = 0;
  for (std::size_t nl = part.find('\n'); nl != std::string_view::npos; nl = part.find('\n', pos)) {
    output.append(part, pos, nl + 1 - pos);
    pos = nl + 1;
    while (pos < part.size() && (part[pos] == ' ' || part[pos] == '\t')) ++pos;
    if (pos < part.size() && part[pos] != '\n') append_spaces(output, indent);
  }
  output.append(part, pos);
}

// Appends a piece. Inside a list item every blank line in it is followed by
// the item's indentation, and the parts are trimmed; a line feed kept in
// the text is followed by that indentation too.
void write_piece(std::string_view piece, std::string& output, const ConversionContext& context) {
  if (!context.in_list_item) {
    output += piece;
    return;
  }
  const std::size_t indent =
      context.in_table_cell || context.inline_mode || context.in_code ? 0 : context.item_indent;
  if (piece.find("\n\n") == std::string_view::npos) {
    if (indent == 0 || piece.find('\n') == std::string_view::npos) {
      output += piece;
    } else {
      append_indented_lines(output, piece, indent);
    }
    return;
  }
  std::size_t pos = 0;
  bool first = true;
  while (true) {
    const std::size_t hit = piece.find("\n\n", pos);
    const std::string_view part = piece.substr(pos, hit == std::string_view::npos ? std::string_view::npos : hit - pos);
    if (!first) {
      output += "\n\n";
      append_spaces(output, context.item_indent);
    }
    append_indented_lines(output, trim_unicode_space(part), indent);
    first = false;
    if (hit == std::string_view::npos) break;
    pos = hit + 2;
  }
}

void write_whitespace_only(const Walk& w, std::string_view text, bool has_line_break, bool has_blank_line,
                           NodeHandle node, const ConversionContext& context) {
  std::string& output = w.out();
  const TlDom& dom = w.dom();
  const DomContext& dom_context = w.dom_context();
  if (context.in_code) {
    output += text;
    return;
  }
  if (w.options().whitespace_mode == WhitespaceMode::Strict) {
    if (context.inline_mode || context.in_table_cell || context.in_list_item) {
      output += text;
    } else if (has_blank_line) {
      if (!w.end().is_blank_line()) output += '\n';
    } else {
      output += text;
    }
    return;
  }
  // White space from the text never starts a line, and between two pieces
  // of text it is at most one space, never lost.
  if (w.at_line_start()) return;
  if (!has_line_break && dom_prev_sibling_is_inline(dom_context, node, dom) &&
      dom_next_sibling_is_inline(dom_context, node, dom) && !is_longer_than_one_char(text)) {
    output += text;
    return;
  }
  w.write_boundary_space();
}

// The character a text ending in a single line break is continued with: a
// line break where the text holds a blank line or where lines are kept, a
// space in running text.
char single_break_continuation(bool has_blank_line2, const ConversionContext& context) {
  if (has_blank_line2) return '\n';
  if (context.emphasis_depth != 0 || context.in_paragraph || context.inline_mode) return ' ';
  return '\n';
}

void write_normalized(const Walk& w, std::string_view text, NodeHandle node, const ConversionContext& context) {
  std::string& output = w.out();
  const TlDom& dom = w.dom();
  const DomContext& dom_context = w.dom_context();
  const bool has_blank_line2 = contains_blank_line(text);
  const bool single_break_end = text.ends_with('\n') && !text.ends_with("\n\n") && !text.ends_with("\r\n\r\n");

  const std::optional<std::string> collapsed = collapse_whitespace(text);
  const TextWhitespaceSplit split = split_text_whitespace(collapsed ? std::string_view(*collapsed) : text);

  bool keep_lead = !split.lead.empty() && !w.at_line_start();
  if (keep_lead && !output.empty()) {
    if (w.end().is_line_break() || w.end().is_item_start()) {
      keep_lead = false;
    } else if (w.end().is_space() && !dom_prev_sibling_is_inline(dom_context, node, dom)) {
      keep_lead = false;
    }
  }
  const char extra = split.tail.empty() && single_break_end ? single_break_continuation(has_blank_line2, context) : 0;
  const std::optional<std::string> unindented = drop_line_leading_spaces(split.core, false);
  const std::optional<std::string> folded =
      fold_blank_lines(unindented ? std::string_view(*unindented) : split.core);
  const std::string_view core =
      folded ? std::string_view(*folded) : unindented ? std::string_view(*unindented) : split.core;
  // A blank line at the end of the text is one line feed as well.
  const std::string_view tail = split.tail == "\n\n" ? std::string_view("\n") : split.tail;

  const bool starts_line = w.starts_line();
  const bool after_number =
      !starts_line && !keep_lead && may_complete_number_marker(core) && w.ends_in_line_start_number();
  if (!keep_lead) escape_joining_markup(output, core, w.options());
  TextNeighbours around{output.empty() ? '\n' : static_cast<unsigned char>(output.back()),
                        text_follower(w, node, !split.tail.empty() || extra != 0)};
  around.struck = context.in_strike;
  const auto write = [&](std::string& out) {
    if (keep_lead) out += ' ';
    append_page_text(out, core, w.options(), starts_line, after_number, text_escape_mode(context), around);
    out += tail;
    if (extra != 0) out += extra;
  };
  if (!context.in_list_item) {
    write(output);
    return;
  }
  // Text that starts a line of a list item (after a block of the item)
  // stays in the item.
  if (w.at_item_line_start(context)) append_spaces(output, context.item_indent);
  std::string piece;
  piece.reserve(split.lead.size() + core.size() + tail.size() + 2);
  write(piece);
  write_piece(piece, output, context);
}

}  // namespace

void convert_text_node(const Walk& w, NodeHandle node, const ConversionContext& context) {
  const TlDom& dom = w.dom();
  const ConversionOptions& options = w.options();
  std::string& output = w.out();
  const TlNode* n = dom.node(node);
  const TlNode::Raw* raw = n != nullptr ? n->as_raw() : nullptr;
  if (raw == nullptr) return;

  std::string holder;
  std::string_view text = text_node_content(dom.bytes(raw->text), holder);
  if (text.empty()) return;

  const bool has_line_break = contains_byte(text, '\n');
  const bool has_blank_line = contains_blank_line(text);
  if (options.strip_newlines && (has_line_break || contains_byte(text, '\r'))) {
    holder = replace_line_breaks_with_spaces(text);
    text = holder;
  }

  if (trim_unicode_space(text).empty()) {
    write_whitespace_only(w, text, has_line_break, has_blank_line, node, context);
    return;
  }

  if (context.in_code) {
    // Code is written as it stands, in a list item too.
    output += text;
    return;
  }
  if (context.in_table_cell) {
    const bool strict = options.whitespace_mode == WhitespaceMode::Strict;
    const std::optional<std::string> collapsed = strict ? std::nullopt : collapse_whitespace(text);
    const std::optional<std::string> folded =
        strict ? std::nullopt : fold_blank_lines(collapsed ? std::string_view(*collapsed) : text);
    const std::string_view source = folded      ? std::string_view(*folded)
                                    : collapsed ? std::string_view(*collapsed)
                                                : text;
    std::string piece;
    piece.reserve(source.size() + 8);
    escape_joining_markup(output, source, options);
    TextNeighbours around{output.empty() ? '\n' : static_cast<unsigned char>(output.back()),
                          text_follower(w, node, false)};
    around.struck = context.in_strike;
    escape_markdown_into(source, EscapeMode::PageCell, options, piece, around);
    write_piece(piece, output, context);
    return;
  }
  if (options.whitespace_mode == WhitespaceMode::Strict) {
    const bool starts_line = w.starts_line();
    const bool after_number = !starts_line && may_complete_number_marker(text) && w.ends_in_line_start_number();
    std::string piece;
    std::string& target = context.in_list_item ? piece : output;
    escape_joining_markup(output, text, options);
    TextNeighbours around{output.empty() ? '\n' : static_cast<unsigned char>(output.back()),
                          text_follower(w, node, false)};
    around.struck = context.in_strike;
    append_page_text(target, text, options, starts_line, after_number, text_escape_mode(context), around);
    if (context.in_list_item) write_piece(piece, output, context);
    return;
  }
  write_normalized(w, text, node, context);
}

}  // namespace tidewell
