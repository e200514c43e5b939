#include <string>
#include <vector>

#include "common/ascii.hpp"
#include "common/entities.hpp"
#include "common/unicode_space.hpp"
#include "converter/blocks/blocks.hpp"
#include "converter/inline/inline_text.hpp"
#include "converter/inline/links.hpp"
#include "converter/metadata/records.hpp"
#include "converter/text/line_fold.hpp"
#include "converter/text/processing.hpp"

namespace tidewell {
namespace {

bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// An absolute URI as CommonMark reads it inside "<...>": a scheme of 2 to 32
// letters, digits, '+', '.' and '-' starting with a letter, a ':', then no
// space, '<', '>' or control character.
bool is_autolink_uri(std::string_view text) {
  if (text.empty() || !is_ascii_letter(text[0])) return false;
  std::size_t i = 1;
  while (i < text.size() && (is_ascii_alnum(text[i]) || text[i] == '+' || text[i] == '.' || text[i] == '-')) ++i;
  if (i < 2 || i > 32 || i >= text.size() || text[i] != ':') return false;
  for (const char ch : text.substr(i + 1)) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7F || c == '<' || c == '>') return false;
  }
  return true;
}

// An e-mail address as CommonMark reads it inside "<...>".
bool is_autolink_email(std::string_view text) {
  const std::size_t at = text.find('@');
  if (at == 0 || at == std::string_view::npos) return false;
  static constexpr std::string_view kLocalExtra = ".!#$%&'*+/=?^_`{|}~-";
  for (const char c : text.substr(0, at)) {
    if (!is_ascii_alnum(c) && kLocalExtra.find(c) == std::string_view::npos) return false;
  }
  // Labels of 1 to 63 letters, digits and inner hyphens, joined by dots.
  std::string_view domain = text.substr(at + 1);
  while (true) {
    const std::size_t dot = domain.find('.');
    const std::string_view label = domain.substr(0, dot);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
    for (const char c : label) {
      if (!is_ascii_alnum(c) && c != '-') return false;
    }
    if (dot == std::string_view::npos) return true;
    domain = domain.substr(dot + 1);
  }
}

// The href starts like a URI scheme: a letter, then letters, digits, '+',
// '-' or '.' up to a ':'.
bool has_scheme(std::string_view href) {
  if (href.size() < 2 || !is_ascii_letter(href[0])) return false;
  for (std::size_t i = 1; i < href.size(); ++i) {
    const char c = href[i];
    if (c == ':') return true;
    if (!is_ascii_alnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return false;
}

// The first non-comment sibling after `node` is a text that begins with
// white space. False when an element follows and when nothing does.
bool next_text_starts_with_space(const Walk& w, NodeHandle node) {
  const TlDom& dom = w.dom();
  const auto place = sibling_place(w, node);
  if (!place) return false;
  for (std::size_t i = place->index + 1; i < place->siblings.size(); ++i) {
    const TlNode* n = dom.node(place->siblings[i]);
    if (n == nullptr || n->is_comment()) continue;
    const TlNode::Raw* raw = n->as_raw();
    if (raw == nullptr) return false;
    const std::string_view bytes = dom.bytes(raw->text);
    if (space_len_at(bytes, 0) != 0) return true;
    // A reference such as "&nbsp;" that decodes to white space.
    if (bytes.empty() || bytes[0] != '&') return false;
    const std::size_t semi = bytes.find(';');
    if (semi == std::string_view::npos || semi > 10) return false;
    const auto decoded = decode_html_entities(bytes.substr(0, semi + 1));
    return decoded && space_len_at(*decoded, 0) != 0;
  }
  return false;
}

// Writes the Markdown of an inline element whose content is `content`, so
// that white space at the content's edges still separates the element from
// the words around it: a boundary space before it when the content began
// with white space, one after it when the content ended with white space
// and what follows (`space_follows`) does not begin with some.
void write_spaced(const Walk& w, std::string_view content, std::string_view markdown, bool space_follows) {
  if (space_len_at(content, 0) != 0) w.write_boundary_space();
  append_link_after_text(w.out(), markdown);
  if (space_len_before(content, content.size()) != 0 && !space_follows) w.write_boundary_space();
}

// The index of the first child that is or holds a link with an href, or
// the number of children. Such a link cannot stand inside another in
// Markdown (nor in an HTML5 tree, where it ends the outer one).
std::size_t first_child_holding_link(const Walk& w, std::span<const NodeHandle> children) {
  std::vector<NodeHandle> stack;
  for (std::size_t i = 0; i < children.size(); ++i) {
    stack.assign(1, children[i]);
    while (!stack.empty()) {
      const NodeHandle h = stack.back();
      stack.pop_back();
      const TlNode::Tag* tag = w.dom().tag(h);
      if (tag == nullptr) continue;
      if (w.tag(h).id == TagId::A && attribute_map_get(w.dom(), *tag, "href").has_value()) return i;
      const auto below = tag->children.as_span();
      stack.insert(stack.end(), below.rbegin(), below.rend());
    }
  }
  return children.size();
}

// The converted children of a link (`content`) and its label: the content
// on one line, block elements joined by single spaces; or, where that is
// empty, a plain text (not Markdown) taken from elsewhere.
struct LinkLabel {
  std::string content;
  std::string text;
  bool plain = false;
};

// The label on one line. White space inside a code span is the code's
// (a reader keeps it): a label that holds one only has its line breaks
// folded.
std::string fold_label(std::string_view content) {
  if (content.find('`') == std::string_view::npos) return fold_line_breaks(content);
  std::string text(content);
  text.resize(tidewell::fold_line_breaks(text, 0, text.size()));
  return std::string(trim_unicode_space(text));
}

LinkLabel link_label(const Walk& w, std::span<const NodeHandle> children, const ConversionContext& context,
                     std::size_t depth) {
  ConversionContext scope = context;
  scope.emphasis_depth += 1;
  LinkLabel label;
  std::string& content = label.content;
  if (!collect_link_content(children, w.dom(), w.dom_context(), false).has_block) {
    const Walk into = w.into(content);
    for (const NodeHandle child : children) into.node(child, scope, depth + 1);
    label.text = fold_label(content);
    return label;
  }
  scope.inline_mode = true;
  // An image in a block keeps its place in the link, as it does without the block.
  scope.keep_images_here = !writes_alt_only(context);
  std::string piece;
  for (const NodeHandle child : children) {
    piece.clear();
    w.into(piece).node(child, scope, depth + 1);
    if (!is_unicode_space_only(piece) && !content.empty() && space_len_before(content, content.size()) == 0 &&
        space_len_at(piece, 0) == 0) {
      content += ' ';
    }
    content += piece;
  }
  label.plain = is_unicode_space_only(content);
  label.text = fold_line_breaks(label.plain ? collect_link_content(children, w.dom(), w.dom_context()).text
                                            : std::string_view(content));
  return label;
}

// The link record, when links are collected.
void record_link(const Walk& w, const TlNode::Tag& tag, const ConversionContext& context, std::string href,
                 std::string text, std::optional<std::string> title) {
  if (!context.collect_links || context.metadata_sink == nullptr) return;
  metadata_add_link(*context.metadata_sink, std::move(href), std::move(text), std::move(title),
                    attribute_value_text(w.dom(), tag, "rel"),
                    attribute_record_map(w.dom(), tag, [](std::string_view name) { return name == "href"; }));
}

}  // namespace

std::optional<std::string_view> autolink_target(std::string_view href, std::string_view text) {
  constexpr std::string_view kMailto = "mailto:";
  if (href.starts_with(kMailto) && href.substr(kMailto.size()) == text) {
    return is_autolink_email(text) ? std::optional<std::string_view>(href.substr(kMailto.size())) : std::nullopt;
  }
  if (text == href && is_autolink_uri(href)) return href;
  return std::nullopt;
}

LinkContentScan collect_link_content(std::span<const NodeHandle> children, const TlDom& dom,
                                     const DomContext& dom_context, bool want_text) {
  LinkContentScan scan;
  std::vector<NodeHandle> stack(children.rbegin(), children.rend());
  std::string holder;
  while (!stack.empty()) {
    const NodeHandle h = stack.back();
    stack.pop_back();
    const TlNode* n = dom.node(h);
    if (n == nullptr || n->is_comment()) continue;
    if (const TlNode::Raw* raw = n->as_raw()) {
      if (want_text) scan.text += text_node_content(dom.bytes(raw->text), holder);
      continue;
    }
    const CachedTagInfo* info = dom_cache_tag_info(dom_context, h, dom);
    bool block = false;
    if (info != nullptr) {
      block = info->is_block;
    } else if (const std::optional<CowText> name = dom_tag_name_lower(dom_context, h, dom)) {
      block = is_block_tag(name->view());
    }
    if (block) {
      scan.has_block = true;
      if (!want_text) return scan;
      continue;
    }
    const auto grandchildren = n->as_tag()->children.as_span();
    for (std::size_t i = grandchildren.size(); i > 0; --i) stack.push_back(grandchildren[i - 1]);
  }
  return scan;
}

std::optional<std::pair<std::uint8_t, NodeHandle>> find_heading_in_link(const Walk& w, NodeHandle link) {
  const TlNode::Tag* tag = w.dom().tag(link);
  if (tag == nullptr) return std::nullopt;
  std::optional<std::pair<std::uint8_t, NodeHandle>> found;
  for (const NodeHandle child : w.children_of(link)) {
    const TlNode* n = w.dom().node(child);
    if (n == nullptr) continue;
    if (const TlNode::Raw* raw = n->as_raw()) {
      if (is_unicode_space_only(utf8_lossy(w.dom().bytes(raw->text)).view())) continue;
      return std::nullopt;
    }
    if (n->is_comment()) return std::nullopt;
    const TagId id = w.tag(child).id;
    if (id < TagId::H1 || id > TagId::H6 || found) return std::nullopt;
    found.emplace(static_cast<std::uint8_t>(static_cast<int>(id) - static_cast<int>(TagId::H1) + 1), child);
  }
  return found;
}

void convert_link(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  const TlDom& dom = w.dom();
  const TlNode::Tag* tag = dom.tag(node);
  if (tag == nullptr) return;
  const ConversionOptions& options = w.options();

  const std::optional<std::string_view> href_bytes = attribute_map_get(dom, *tag, "href").value_bytes(dom);
  if (!href_bytes) {
    w.children(node, context, depth);
    return;
  }
  std::string href = attribute_text(*href_bytes);
  std::optional<std::string> title = attribute_value_text(dom, *tag, "title");

  // The link's text on one line of folded white space; its edges (kept in
  // `spaced`) tell whether the link stands apart from the words around it.
  std::string spaced;
  std::optional<std::string_view> plain;
  const auto plain_text = [&]() -> std::string_view {
    if (!plain) {
      std::string text;
      for (const NodeHandle child : w.children_of(node)) dom_compute_node_text(w.dom_context(), child, dom, text);
      collapse_whitespace_into(text, spaced);
      plain = trim_unicode_space(spaced);
    }
    return *plain;
  };

  // Inside code the brackets and the destination would show as written: a
  // link there gives its text only, as formatting does.
  if (context.in_code) {
    w.children(node, context, depth);
    record_link(w, *tag, context, std::move(href), std::string(plain_text()), std::move(title));
    return;
  }

  // A link inside the link ends it there: the children before it make the
  // label, the rest follows the link.
  const std::span<const NodeHandle> children = w.children_of(node);
  const std::size_t split = first_child_holding_link(w, children);
  const bool whole = split == children.size();

  // An automatic link.
  if (whole && options.autolinks && !options.default_title && has_scheme(href)) {
    if (const std::optional<std::string_view> target = autolink_target(href, plain_text())) {
      std::string markdown;
      markdown.reserve(target->size() + 2);
      markdown += '<';
      markdown += *target;
      markdown += '>';
      if (context.in_table_cell) escape_cell_pipes(markdown);
      write_spaced(w, spaced, markdown, next_text_starts_with_space(w, node));
      return;
    }
  }

  // A heading that is the whole link: the heading line holds the link.
  if (const auto heading = whole ? find_heading_in_link(w, node) : std::nullopt) {
    ConversionContext scope = context;
    scope.inline_mode = true;
    scope.in_single_line = true;
    scope.keep_images_here = w.policy().keeps_inline_images(w.tag(heading->second).name);
    std::string buffer;
    w.into(buffer).node(heading->second, scope, depth + 1);
    const std::string_view text = trim_unicode_space(buffer);
    if (!text.empty()) {
      std::string line;
      append_link_markdown(line, escape_link_text_brackets(text), href, title,
                           options.default_title && plain_text() == href, options, context.reference_links);
      if (context.in_table_cell) escape_cell_pipes(line);
      write_heading(w.out(), context, options, heading->first, line);
      return;
    }
  }

  LinkLabel label = link_label(w, children.first(split), context, depth);
  if (whole) {
    if (label.text.empty() && !plain_text().empty()) {
      label.text = fold_line_breaks(*plain);
      label.plain = true;
    }
    if (label.text.empty() && !href.empty() && !children.empty()) {
      label.text = href;
      label.plain = true;
    }
  }
  // (A djot text escapes the caret.)
  if ((label.text == "^" || label.text == "\\^") && href.starts_with('#')) label.text = "\u2191";

  if (whole || !label.text.empty()) {
    std::string markdown;
    markdown.reserve(label.text.size() + href.size() + 8);
    std::string escaped;
    if (label.plain) {
      append_plain_link_text(label.text, escaped);
    } else {
      escaped = escape_link_text_brackets(label.text);
    }
    append_link_markdown(markdown, escaped, href, title,
                         options.default_title && label.text == href, options, context.reference_links);
    if (context.in_table_cell) escape_cell_pipes(markdown);
    // After a split the inner link follows.
    write_spaced(w, label.content, markdown, whole && next_text_starts_with_space(w, node));
  } else if (space_len_at(label.content, 0) != 0) {
    // A label of white space only before the inner link writes no link,
    // but the words on either side stay apart.
    w.write_boundary_space();
  }

  record_link(w, *tag, context, std::move(href), std::move(label.text), std::move(title));
  for (const NodeHandle child : children.subspan(split)) w.node(child, context, depth + 1);
}

}  // namespace tidewell
