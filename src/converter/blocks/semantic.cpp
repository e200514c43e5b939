// Elements with meaning but no Markdown syntax of their own: q, the
// sectioning elements, menu, figure and figcaption, dialog, details and
// summary.
#include <algorithm>
#include <string>
#include <string_view>

#include "converter/blocks/block_support.hpp"
#include "converter/blocks/blocks.hpp"

namespace tidewell {
namespace {

using blocks::convert_into_buffer;
using blocks::walk_children_at;

// q: the text between straight double quotes.
void convert_quotation(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  blocks::BlockBuffer buffer;
  convert_into_buffer(w, node, context, depth + 1, buffer);
  std::string& out = w.out();
  blocks::write_trimmed(w, buffer, true, [&](std::string_view text) {
    out += '"';
    out += text;
    out += '"';
  });
}

// nav, main, aside, header, footer, article, section: a block between
// blank lines.
void convert_section(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  if (context.inline_mode) {
    w.children(node, context, depth);
    return;
  }
  blocks::BlockBuffer buffer;
  convert_into_buffer(w, node, context, depth + 1, buffer, BufferPlace::LineStart);
  // (White space at its start would start its first line with a space.)
  const std::string_view text = blocks::block_body(buffer, context.in_list_item ? context.item_indent : 0);
  if (text.empty()) return;
  std::string& out = w.out();
  if (!blocks::at_item_start(w, context)) {
    blank_line_before(out);
    blocks::indent_item_line(w, context);
  }
  out += text;
  ensure_blank_line(out);
}

// menu: an unordered list whose bullets are all "-".
void convert_menu(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  std::string& out = w.out();
  ConversionOptions options = w.options();
  options.bullets.assign(1, '-');
  const Walk menu_walk = w.with_options(options);
  ConversionContext items = context;
  items.list_item_number = 0;
  items.in_ordered_list = false;
  items.in_list = true;
  // Separated like a list, so that its first item does not run on from the
  // text before it; the separator goes again when the menu writes nothing
  // (and the spaces it may have trimmed come back).
  const std::size_t kept = out.find_last_not_of(" \t") + 1;
  const std::string trailing = out.substr(kept);
  if (!context.inline_mode) blocks::ensure_list_start_separator(w, context);
  const std::size_t items_start = out.size();
  // (Items inside inline elements are items of the menu too.)
  if (const TlNode::Tag* tag = w.dom().tag(node)) {
    for (NodeHandle child : tag->children) {
      if (!blocks::convert_wrapped_items(menu_walk, child, items, depth)) menu_walk.node(child, items, depth);
    }
  }
  if (context.inline_mode) {
    while (end_of(out).is_line_break()) out.pop_back();
  } else if (out.size() > items_start) {
    ensure_blank_line(out);
  } else {
    out.resize(std::min(out.size(), kept));
    out += trailing;
  }
}

// An image on a line of its own after a line of text is drawn up to that
// text, a space between them so that its words and the image's stay apart
// ("\n![" becomes " ![", and a space before that line break goes). A hard
// break, and a line Markdown reads as a block of its own (a heading, a
// rule, a table row), keep the image off the line.
void join_images(std::string& text) {
  if (text.find("\n![") == std::string::npos) return;
  std::string joined;
  joined.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    joined += text[i];
    if (text[i] != '\n' || text.compare(i + 1, 2, "![") != 0 || joined.size() < 2 ||
        joined[joined.size() - 2] == '\n' || end_of(joined).is_hard_break() || end_of(joined).is_block_line()) {
      continue;
    }
    joined.pop_back();
    if (joined.back() != ' ') joined += ' ';
  }
  text.swap(joined);
}

std::string_view trim_spaces_tabs_newlines(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\n") - first + 1);
}

void convert_figure(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  if (context.inline_mode) {
    walk_children_at(w, node, context, depth);
    return;
  }
  blocks::blank_line_before_block(w, context);
  std::string& out = w.out();
  blocks::BlockBuffer buffer;
  convert_into_buffer(w, node, context, depth, buffer, BufferPlace::LineStart);
  join_images(buffer.text());
  const std::string_view text = trim_spaces_tabs_newlines(buffer);
  if (text.empty()) return;
  blocks::indent_item_line(w, context);
  out += text;
  if (!end_of(out).is_line_break()) out += '\n';
  if (!end_of(out).is_blank_line()) out += '\n';
}

// figcaption: an italic line, "*" whatever the emphasis symbol.
void convert_figcaption(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  blocks::BlockBuffer buffer;
  convert_into_buffer(w, node, context, depth + 1, buffer);
  const std::string_view text = trim_unicode_space(buffer);
  if (text.empty()) return;
  std::string& out = w.out();
  if (!out.empty() && !w.end().is_fence_line()) {
    trim_trailing_spaces_tabs(out);
    blocks::end_with_blank_line(out);
  } else if (!out.empty()) {
    out += '\n';
  }
  blocks::indent_item_line(w, context);
  out += '*';
  out += text;
  out += "*\n\n";
}

void convert_dialog(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  std::string& out = w.out();
  const std::size_t start = out.size();
  walk_children_at(w, node, context, depth);
  if (context.inline_mode || out.size() <= start) return;
  std::size_t n = out.size();
  while (n > start && (out[n - 1] == ' ' || out[n - 1] == '\t')) --n;
  out.resize(n);
  if (n > start && !w.end().is_blank_line()) out += "\n\n";
}

}  // namespace

void convert_semantic_element(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  if (w.dom().tag(node) == nullptr) return;
  switch (w.tag(node).id) {
    case TagId::Q:
      return convert_quotation(w, node, context, depth);
    case TagId::Nav:
    case TagId::Main:
    case TagId::Aside:
    case TagId::Header:
    case TagId::Footer:
    case TagId::Article:
    case TagId::Section:
      return convert_section(w, node, context, depth);
    case TagId::Menu:
      return convert_menu(w, node, context, depth);
    case TagId::Figure:
      return convert_figure(w, node, context, depth);
    case TagId::Figcaption:
      return convert_figcaption(w, node, context, depth);
    case TagId::Dialog:
      return convert_dialog(w, node, context, depth);
    case TagId::Details:
      return blocks::convert_framed_block(w, node, context, depth);
    case TagId::Summary:
      return blocks::convert_bold_line(w, node, context, depth);
    default:
      return;
  }
}

}  // namespace tidewell
