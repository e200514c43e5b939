// Small pieces shared by the block handlers of this folder.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/unicode_space.hpp"
#include "common/utf8.hpp"
#include "converter/text/kept_lines.hpp"
#include "converter/walk/text_node.hpp"
#include "converter/walk/walk.hpp"

namespace tidewell::blocks {

// Converts every child of `element` at `depth` itself (not depth + 1), for
// the elements whose children stand at their own level.
inline void walk_children_at(const Walk& w, NodeHandle element, const ConversionContext& context,
                             std::size_t depth) {
  const TlNode::Tag* tag = w.dom().tag(element);
  if (tag == nullptr) return;
  for (NodeHandle child : tag->children) w.node(child, context, depth);
}

// A text for one handler call to convert children into, taken from this
// thread's pool: handlers nest, so buffers are taken and given back in stack
// order, and a buffer keeps its capacity for the next element instead of
// being allocated anew for every block.
class BlockBuffer {
 public:
  BlockBuffer();
  ~BlockBuffer();
  BlockBuffer(const BlockBuffer&) = delete;
  BlockBuffer& operator=(const BlockBuffer&) = delete;

  std::string& text() { return *text_; }
  operator std::string_view() const { return *text_; }

 private:
  std::string* text_;
};

// Converts the children of `element` into `buffer`, at `child_depth`; the
// buffer's content will stand at `place` (text that starts a line there is
// kept from being read as a block marker).
inline void convert_into_buffer(const Walk& w, NodeHandle element, const ConversionContext& context,
                                std::size_t child_depth, BlockBuffer& buffer,
                                BufferPlace place = BufferPlace::Elsewhere) {
  walk_children_at(w.into(buffer.text(), place), element, context, child_depth);
}

// Writes the trimmed text of `buffer` by `write(text)`. White space at its
// ends is not lost: a boundary space (see Walk::write_boundary_space) goes
// before where the buffer started with white space and, with `space_after`,
// after where it ended with some. A buffer of white space alone writes that
// one space and nothing else; the result says whether there was text.
template <typename Write>
bool write_trimmed(const Walk& w, std::string_view buffer, bool space_after, Write&& write) {
  const std::string_view text = trim_unicode_space(buffer);
  if (text.empty()) {
    if (!buffer.empty()) w.write_boundary_space();
    return false;
  }
  if (text.data() != buffer.data()) w.write_boundary_space();
  const std::size_t seam = w.out().size();
  write(text);
  // Text written bare may complete a '<' or '&' of the text before it.
  escape_joining_markup_at(w.out(), seam, w.options());
  if (space_after && text.size() < buffer.size() - static_cast<std::size_t>(text.data() - buffer.data())) {
    w.write_boundary_space();
  }
  return true;
}

// A block's converted content without its leading blank lines and trailing
// white space. The first line keeps an indentation of four columns or more
// beyond `base` (an indented code block; `base` is the indentation of the
// list item the block stands in) and loses a shorter one, which would
// otherwise start the block with spaces.
inline std::string_view block_body(std::string_view buffer, std::size_t base = 0) {
  std::size_t start = 0;
  std::size_t line_start = 0;
  while (start < buffer.size()) {
    const std::size_t len = space_len_at(buffer, start);
    if (len == 0) break;
    if (buffer[start] == '\n') line_start = start + len;
    start += len;
  }
  const std::string_view indent = buffer.substr(line_start, start - line_start);
  if (indent.find('\t') != std::string_view::npos || indent.size() >= base + 4) start = line_start;
  return trim_unicode_space_end(buffer.substr(start));
}

// Inside a list item, at the start of a line: writes the item's
// indentation, so that the block written next stays in the item.
inline void indent_item_line(const Walk& w, const ConversionContext& context) {
  if (w.at_item_line_start(context)) append_spaces(w.out(), context.item_indent);
}

// Appends `text` with `indent` spaces before each of its lines that is not
// empty (a kept empty line of code included), except the first when
// `first_follows` (it continues the line the output ends with).
inline void append_indented_lines(std::string& out, std::string_view text, std::size_t indent, bool first_follows) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t nl = text.find('\n', pos);
    const std::size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
    const bool empty = text[pos] == '\n' || text[pos] == kKeptLineMark;
    if (!empty && (pos != 0 || !first_follows)) append_spaces(out, indent);
    out.append(text.substr(pos, end - pos));
    pos = end;
  }
}

// The strong-emphasis marker: `strong_em_symbol` twice ("**").
inline void append_strong_marker(std::string& out, const ConversionOptions& options) {
  append_utf8(out, options.strong_em_symbol);
  append_utf8(out, options.strong_em_symbol);
}

// `text` between two strong markers.
inline void append_strong(std::string& out, const ConversionOptions& options, std::string_view text) {
  append_strong_marker(out, options);
  out += text;
  append_strong_marker(out, options);
}

// A blank line after the output, an empty output included: nothing after
// "\n\n", "\n" after a single "\n", "\n\n" otherwise.
inline void end_with_blank_line(std::string& out) {
  if (end_of(out).is_blank_line()) return;
  out += end_of(out).is_line_break() ? "\n" : "\n\n";
}

// The output ends with a list item's marker alone: a block written now is the
// item's first content and follows the marker on its line.
inline bool at_item_start(const Walk& w, const ConversionContext& context) {
  return context.in_list_item && w.end().is_bare_list_marker();
}

// In an item of a tight list (no item of the list holds a paragraph
// element): a block that can interrupt a paragraph goes on the line after
// the text before it, since a blank line there would make a reader take the
// list as loose. Not in djot, where no block interrupts a paragraph: there
// a blank line always sets a block off from text.
inline bool in_tight_item(const Walk& w, const ConversionContext& context) {
  return context.in_list_item && !context.loose_list && !context.in_table_cell && !context.inline_mode &&
         w.options().output_format != OutputFormat::Djot;
}

// A blank line before a block ("\n\n" unless the output is empty or ends
// with a blank line), except as an item's first content.
inline void blank_line_before_block(const Walk& w, const ConversionContext& context) {
  if (!at_item_start(w, context)) blank_line_before(w.out());
}

// A "<br>" in a table cell, unless the cell's text is white space alone or
// ends with a space, a "|" or a "<br>" already; a line break at its end
// makes way for it (lists.cpp).
void break_in_cell(std::string& out);

// The separator before a list (lists.cpp): "<br>" in a table cell after
// text; none at the start, right after an item's marker or for a list
// directly inside a list; a line break inside an item; else a blank line.
// In djot, where a list interrupts no paragraph, a blank line after
// anything but a marker.
void ensure_list_start_separator(const Walk& w, const ConversionContext& context);

// A child of a list or menu that is an inline element holding items of it
// (lists.cpp): writes each item as an item of the list, its content inside
// the markup of the elements around it, and their other content in that
// markup too, in `context` (the list's children's) at `depth`. False,
// writing nothing, for any other child.
bool convert_wrapped_items(const Walk& w, NodeHandle child, const ConversionContext& context, std::size_t depth);

// A block of the trimmed converted children (walked at the element's own
// depth) between blank lines: nothing when it is empty; in inline rendering
// the children in place. dl, details, form and fieldset.
void convert_framed_block(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

// The trimmed converted children (at depth + 1) after `marker`, followed by
// `after`; nothing when empty. In inline rendering the text alone.
void convert_text_line(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth,
                       std::string_view marker, std::string_view after);

// The trimmed converted children (at depth + 1, inside strong emphasis) in
// bold, then a blank line; nothing when empty. In inline rendering the text
// alone. summary and legend.
void convert_bold_line(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

}  // namespace tidewell::blocks
