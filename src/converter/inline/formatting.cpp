#include <string>
#include <string_view>

#include "common/utf8.hpp"
#include "converter/inline/inline.hpp"
#include "converter/inline/outer_space.hpp"
#include "converter/text/processing.hpp"
#include "converter/text/unicode_space.hpp"

namespace tidewell {

OuterWhitespaceSplit split_outer_whitespace(std::string_view text) {
  OuterWhitespaceSplit split;
  if (text.empty()) return split;
  if (space_len_at(text, 0) != 0) split.leading = " ";
  std::string_view rest = text;
  if (rest.ends_with("  \n")) {
    split.trailing = "  \n";
    rest.remove_suffix(3);
  } else if (rest.ends_with("\\\n")) {
    split.trailing = "\\\n";
    rest.remove_suffix(2);
  } else if (space_len_before(rest, rest.size()) != 0) {
    split.trailing = " ";
  }
  split.core = trim_unicode_space(rest);
  return split;
}

namespace {

// The options' emphasis character, written twice for strong emphasis.
std::string emphasis_marker(const ConversionOptions& options, int times) {
  std::string marker;
  for (int i = 0; i < times; ++i) append_utf8(marker, options.strong_em_symbol);
  return marker;
}

// The closing form of a sub or sup symbol: an opening HTML tag ("<sub>")
// closes with its end tag, any other symbol with itself.
std::string closing_symbol(std::string_view symbol) {
  if (!symbol.starts_with('<') || symbol.starts_with("</")) return std::string(symbol);
  std::string close;
  for (const char c : symbol) {
    close += c;
    if (c == '<') close += '/';
  }
  return close;
}

// The context for content rendered into a private buffer: the enclosing
// block's content begins at the buffer's start.
ConversionContext buffer_context(const ConversionContext& context) {
  ConversionContext scope = context;
  scope.block_start = 0;
  return scope;
}

// The element's children rendered into a new string at depth + 1.
std::string render_children(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  std::string buffer;
  w.into(buffer).children(node, buffer_context(context), depth);
  return buffer;
}

// Writes the rendered content between `open` and `close`, its outer white
// space outside them.
void write_wrapped(const Walk& w, NodeHandle node, std::string_view rendered, std::string_view open,
                   std::string_view close) {
  if (rendered.empty()) return;
  const OuterWhitespaceSplit split = split_outer_whitespace(rendered);
  write_framed(w, node, split, [&](std::string& out) {
    out += open;
    out += split.core;
    out += close;
  });
}

// The children between two markers, wrapped.
void convert_wrapped(const Walk& w, NodeHandle node, const ConversionContext& child_context, std::size_t depth,
                     std::string_view open, std::string_view close) {
  write_wrapped(w, node, render_children(w, node, child_context, depth), open, close);
}

bool is_djot(const ConversionOptions& options) { return options.output_format == OutputFormat::Djot; }

// b, strong: one pair of markers, none inside strong emphasis already.
void convert_strong(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  if (context.in_code) {
    w.children(node, context, depth);
    return;
  }
  ConversionContext scope = context;
  ++scope.emphasis_depth;
  scope.in_strong = true;
  std::string marker;
  if (!context.in_strong) marker = is_djot(w.options()) ? "*" : emphasis_marker(w.options(), 2);
  convert_wrapped(w, node, scope, depth, marker, marker);
}

// The class attribute of an empty i or em asks for a caret.
bool has_caret_class(const Walk& w, NodeHandle node) {
  const TlNode::Tag* tag = w.dom().tag(node);
  if (tag == nullptr) return false;
  const std::optional<std::string_view> value = attribute_value(w.dom(), *tag, "class");
  return value && value->find("caret") != std::string_view::npos;
}

// i, em. An empty one with a "caret" class is an icon that stands for ">".
void convert_emphasis(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  if (context.in_code) {
    w.children(node, context, depth);
    return;
  }
  ConversionContext scope = context;
  ++scope.emphasis_depth;
  const std::string rendered = render_children(w, node, scope, depth);
  if (rendered.empty()) {
    if (!has_caret_class(w, node) || w.end().is_space()) return;
    // At the start of a line a bare ">" would open a quotation.
    w.out() += w.end().is_line_start() ? "\\> " : " > ";
    return;
  }
  const std::string marker = is_djot(w.options()) ? "_" : emphasis_marker(w.options(), 1);
  write_wrapped(w, node, rendered, marker, marker);
}

// kbd, samp: the text as written, white space folded, as a code span.
void convert_keyboard(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  ConversionContext scope = context;
  scope.in_code = true;
  const std::string rendered = render_children(w, node, scope, depth);
  if (rendered.empty()) return;
  const std::optional<std::string> collapsed = collapse_whitespace(rendered);
  const OuterWhitespaceSplit split = split_outer_whitespace(collapsed ? std::string_view(*collapsed) : rendered);
  write_framed(w, node, split,
               [&](std::string& out) { write_code_span(split.core, context.in_table_cell, out); });
}

// sub, sup: between the option's symbol and its closing form (djot: `mark`).
void convert_script(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth,
                    const std::string& symbol, std::string_view djot_mark) {
  const std::string rendered = render_children(w, node, context, depth);
  if (context.in_code) {
    w.out() += rendered;
    return;
  }
  if (is_djot(w.options())) {
    write_wrapped(w, node, rendered, djot_mark, djot_mark);
    return;
  }
  write_wrapped(w, node, rendered, symbol, closing_symbol(symbol));
}

// mark: highlighted by `highlight_style`. The marker styles wrap their
// content like emphasis (white space outside the markers, nothing for no
// content: a bare "====" under a line would make that line a heading).
void convert_mark(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  if (context.inline_mode) {
    w.children(node, context, depth);
    return;
  }
  const ConversionOptions& options = w.options();
  std::string& out = w.out();
  switch (options.highlight_style) {
    case HighlightStyle::DoubleEqual:
      if (is_djot(options)) {
        convert_wrapped(w, node, context, depth, "{=", "=}");
      } else {
        convert_wrapped(w, node, context, depth, "==", "==");
      }
      return;
    case HighlightStyle::Html:
      out += "<mark>";
      w.children(node, context, depth);
      out += "</mark>";
      return;
    case HighlightStyle::Bold: {
      ConversionContext scope = context;
      scope.in_strong = true;
      const std::string marker = emphasis_marker(options, 2);
      convert_wrapped(w, node, scope, depth, marker, marker);
      return;
    }
    case HighlightStyle::None:
      w.children(node, context, depth);
      return;
  }
}

// An hOCR word: a span whose class names "ocrx_word".
bool is_hocr_word(const TlDom& dom, const TlNode::Tag& tag) {
  const std::optional<std::string_view> value = attribute_value(dom, tag, "class");
  return value && value->find("ocrx_word") != std::string_view::npos;
}

}  // namespace

void convert_span(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  const TlNode::Tag* tag = w.dom().tag(node);
  if (tag == nullptr) return;
  std::string& out = w.out();
  if (is_hocr_word(w.dom(), *tag) && !w.end().is_white_space()) out += ' ';
  // A single line feed before a span joins the span's text to the line,
  // with a space so that the words stay apart; a hard break, or a line
  // that is a block of its own (a heading, a rule), keeps it.
  if (!context.in_code && w.options().whitespace_mode != WhitespaceMode::Strict && w.end().is_single_line_break() &&
      !w.end().is_hard_break() && !w.end().is_block_line()) {
    out.pop_back();
    if (!w.end().is_white_space()) out += ' ';
  }
  for (NodeHandle child : tag->children) w.node(child, context, depth);
}

void convert_abbr(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  const TlNode::Tag* tag = w.dom().tag(node);
  if (tag == nullptr) return;
  const std::string rendered = render_children(w, node, context, depth);
  const OuterWhitespaceSplit split = split_outer_whitespace(rendered);
  write_framed(w, node, split, [&](std::string& out) {
    out += split.core;
    const std::optional<std::string_view> title = attribute_value(w.dom(), *tag, "title");
    if (!title) return;
    // One line: a line break in the title would end the paragraph.
    const std::string text = fold_line_breaks(utf8_lossy(*title).view());
    if (text.empty()) return;
    out += " (";
    out += text;
    out += ')';
  });
}

void convert_inline_element(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  if (w.dom().tag(node) == nullptr) return;
  const ConversionOptions& options = w.options();
  const bool djot = is_djot(options);
  switch (w.tag(node).id) {
    case TagId::B:
    case TagId::Strong:
      convert_strong(w, node, context, depth);
      return;
    case TagId::I:
    case TagId::Em:
      convert_emphasis(w, node, context, depth);
      return;
    case TagId::S:
    case TagId::Del:
      if (context.in_code) {
        w.children(node, context, depth);
        return;
      }
      convert_wrapped(w, node, context, depth, djot ? "{-" : "~~", djot ? "-}" : "~~");
      return;
    case TagId::Ins:
      convert_wrapped(w, node, context, depth, djot ? "{+" : "==", djot ? "+}" : "==");
      return;
    case TagId::Kbd:
    case TagId::Samp:
      convert_keyboard(w, node, context, depth);
      return;
    case TagId::Var:
    case TagId::Dfn: {
      const std::string marker = emphasis_marker(options, 1);
      convert_wrapped(w, node, context, depth, marker, marker);
      return;
    }
    case TagId::Sub:
      convert_script(w, node, context, depth, options.sub_symbol, "~");
      return;
    case TagId::Sup:
      convert_script(w, node, context, depth, options.sup_symbol, "^");
      return;
    case TagId::Mark:
      convert_mark(w, node, context, depth);
      return;
    case TagId::U:
    case TagId::Small:
      w.children(node, context, depth);
      return;
    case TagId::Span:
      convert_span(w, node, context, depth);
      return;
    case TagId::Abbr:
      convert_abbr(w, node, context, depth);
      return;
    case TagId::Ruby:
    case TagId::Rb:
    case TagId::Rt:
    case TagId::Rp:
    case TagId::Rtc:
      convert_ruby_element(w, node, context, depth);
      return;
    default:
      return;
  }
}

}  // namespace tidewell
