#include <string>

#include "common/ascii.hpp"
#include "common/unicode_space.hpp"
#include "converter/blocks/block_support.hpp"
#include "converter/inline/inline_text.hpp"
#include "converter/inline/links.hpp"
#include "converter/inline/serialize.hpp"
#include "converter/text/processing.hpp"
#include "converter/walk/text_node.hpp"

namespace tidewell {
namespace {

// The element's name as written is `name` in any ASCII case.
bool is_element_named(const TlDom& dom, NodeHandle node, std::string_view name) {
  const TlNode::Tag* tag = dom.tag(node);
  return tag != nullptr && ascii_iequals(dom.bytes(tag->name), name);
}

// The first element child named `name` in any ASCII case.
std::optional<NodeHandle> first_child_named(const TlDom& dom, const TlNode::Tag& parent, std::string_view name) {
  for (const NodeHandle child : parent.children) {
    if (is_element_named(dom, child, name)) return child;
  }
  return std::nullopt;
}

// The src of the first source child (present with a value, maybe empty).
std::optional<std::string> find_source_src(const TlDom& dom, const TlNode::Tag& element) {
  const std::optional<NodeHandle> source = first_child_named(dom, element, "source");
  if (!source) return std::nullopt;
  return attribute_value_text(dom, *dom.tag(*source), "src");
}

// The link to a media source: "[url](url)", or "[url][n]" in reference
// style; a blank line after it outside paragraphs and inline mode.
void write_media_link(const Walk& w, std::string_view url, const ConversionContext& context) {
  std::string& out = w.out();
  blocks::indent_item_line(w, context);
  const std::size_t start = out.size();
  std::string label;
  append_plain_link_text(url, label);
  std::string link;
  append_link_markdown(link, label, url, std::nullopt, false, w.options(), context.reference_links);
  append_link_after_text(out, link);
  if (context.in_table_cell) escape_cell_pipes(out, start);
  if (!context.in_paragraph && !context.inline_mode) out += "\n\n";
}

// audio and video: the link, then the fallback content.
void convert_media(const Walk& w, const TlNode::Tag& element, const ConversionContext& context,
                   std::size_t depth) {
  const TlDom& dom = w.dom();
  std::string url;
  if (std::optional<std::string> src = attribute_value_text(dom, element, "src"); src && !src->empty()) {
    url = std::move(*src);
  } else if (std::optional<std::string> source = find_source_src(dom, element)) {
    url = std::move(*source);
  }
  if (!url.empty()) write_media_link(w, url, context);

  std::string fallback;
  const Walk into = w.into(fallback, BufferPlace::Here);
  for (const NodeHandle child : element.children) {
    if (!is_element_named(dom, child, "source")) into.node(child, context, depth + 1);
  }
  if (fallback.empty()) return;
  std::string& out = w.out();
  const std::string_view text = trim_unicode_space(fallback);
  // On one line with the link, the fallback text stays a word of its own.
  if (!url.empty() && !text.empty() && !w.end().is_white_space()) out += ' ';
  if (!text.empty()) blocks::indent_item_line(w, context);
  const std::size_t seam = out.size();
  out += text;
  escape_joining_markup_at(out, seam, w.options());
  if (!context.in_paragraph && !context.inline_mode) out += "\n\n";
}

void convert_svg(const Walk& w, NodeHandle node, const TlNode::Tag& element, const ConversionContext& context) {
  const TlDom& dom = w.dom();
  std::string alt = "SVG Image";
  if (const std::optional<NodeHandle> title = first_child_named(dom, element, "title")) {
    alt = std::string(trim_unicode_space(dom_node_text_cached(w.dom_context(), *title, dom)));
  }
  if (w.options().skip_images) return;
  std::string& out = w.out();
  if (context.inline_mode) {
    write_alt_word(w, node, alt, context.in_table_cell);
    return;
  }
  blocks::indent_item_line(w, context);
  const std::size_t start = out.size();
  out += "![";
  append_plain_link_text(alt, out);
  out += "](data:image/svg+xml;base64,";
  out += base64_encode(serialize_subtree_html(node, dom));
  out += ')';
  if (context.in_table_cell) escape_cell_pipes(out, start);
}

// Markup carried inside an HTML comment, on one line: no "--" (which could
// end the comment early; a '-' that follows a '-' is written as "&#45;",
// which a reader of the markup decodes back) and no line break (a line of
// the markup could start a heading, a list or a block of its own; white
// space holding line breaks becomes one space, as MathML reads it anyway).
void append_comment_body(std::string_view markup, std::string& out) {
  for (std::size_t i = 0; i < markup.size(); ++i) {
    const char c = markup[i];
    if (c == '-' && i > 0 && markup[i - 1] == '-') {
      out += "&#45;";
      continue;
    }
    if (c == '\n' || c == '\r') {
      while (!out.empty() && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
      while (i + 1 < markup.size() && (markup[i + 1] == '\n' || markup[i + 1] == '\r' || markup[i + 1] == ' ' ||
                                       markup[i + 1] == '\t')) {
        ++i;
      }
      out += ' ';
      continue;
    }
    out += c;
  }
}

void convert_math(const Walk& w, NodeHandle node, const TlNode::Tag& element, const ConversionContext& context) {
  const TlDom& dom = w.dom();
  // The formula's text on one line: its white space is layout of the markup.
  const std::string trimmed = fold_line_breaks(dom_node_text_cached(w.dom_context(), node, dom));
  if (trimmed.empty()) return;
  const std::optional<std::string> display_value = attribute_value_text(dom, element, "display");
  const bool display =
      display_value == "block" && !context.in_paragraph && !context.inline_mode && !context.in_table_cell;
  std::string& out = w.out();
  const auto comment = [&] {
    out += "<!-- MathML: ";
    append_comment_body(serialize_subtree_html(node, dom), out);
    out += " -->";
  };
  if (display) {
    // A comment that starts a line is a block of raw HTML up to the line's
    // end, where escapes would show: the text takes the next line.
    // As an item's first content it follows the marker; else a blank line
    // comes first (the indentation of an item's line goes before it).
    if (!blocks::at_item_start(w, context)) {
      trim_trailing_spaces_tabs(out);
      out += "\n\n";
      blocks::indent_item_line(w, context);
    }
    comment();
    out += '\n';
    blocks::indent_item_line(w, context);
    append_page_text(out, trimmed, w.options(), true);
    out += "\n\n";
    return;
  }
  blocks::indent_item_line(w, context);
  const std::size_t start = out.size();
  if (!w.starts_line()) {
    comment();
    out += ' ';
    escape_markdown_into(trimmed, EscapeMode::PageText, w.options(), out);
  } else {
    // Here the comment would start a block of raw HTML, swallowing the
    // rest of the line: the text comes first.
    append_page_text(out, trimmed, w.options(), true);
    out += ' ';
    comment();
  }
  if (context.in_table_cell) escape_cell_pipes(out, start);
}

}  // namespace

std::string base64_encode(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  const auto byte = [&](std::size_t k) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[k])); };
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t n = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
    out += kAlphabet[n >> 18];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += kAlphabet[n & 63];
  }
  if (const std::size_t rest = bytes.size() - i; rest != 0) {
    const std::uint32_t n = byte(i) << 16 | (rest == 2 ? byte(i + 1) << 8 : 0);
    out += kAlphabet[n >> 18];
    out += kAlphabet[(n >> 12) & 63];
    out += rest == 2 ? kAlphabet[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

void convert_embedded_element(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  const TlDom& dom = w.dom();
  const TlNode::Tag* element = dom.tag(node);
  if (element == nullptr) return;
  switch (w.tag(node).id) {
    case TagId::Svg:
      convert_svg(w, node, *element, context);
      return;
    case TagId::Math:
      convert_math(w, node, *element, context);
      return;
    case TagId::Audio:
    case TagId::Video:
      convert_media(w, *element, context, depth);
      return;
    case TagId::Iframe:
      if (std::optional<std::string> src = attribute_value_text(dom, *element, "src"); src && !src->empty()) {
        write_media_link(w, *src, context);
      }
      return;
    case TagId::Picture:
      if (const std::optional<NodeHandle> img = first_child_named(dom, *element, "img")) w.node(*img, context, depth);
      return;
    default:
      return;
  }
}

}  // namespace tidewell
