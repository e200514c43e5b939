#include <optional>
#include <string>
#include <string_view>

#include "common/ascii.hpp"
#include "common/unicode_space.hpp"
#include "common/utf8.hpp"
#include "converter/inline/inline.hpp"
#include "converter/inline/inline_text.hpp"
#include "converter/inline/links.hpp"
#include "converter/inline/outer_space.hpp"
#include "converter/text/processing.hpp"
#include "converter/walk/text_node.hpp"

namespace tidewell {

OuterWhitespaceSplit split_outer_whitespace(std::string_view text) {
  OuterWhitespaceSplit split;
  if (text.empty()) return split;
  const std::size_t blanks = text.find_first_not_of(" \t");
  if (blanks != std::string_view::npos && text[blanks] == '\n') {
    split.leading = "\n";
  } else if (space_len_at(text, 0) != 0) {
    split.leading = " ";
  }
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

bool is_djot(const ConversionOptions& options) { return options.output_format == OutputFormat::Djot; }

// The options' emphasis character, written `times` times.
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

struct Markers {
  std::string open;
  std::string close;
};

// Emphasis markers made of '*' or '_', which a literal one of the same
// character next to them would join ("**" "*" "**" is no bold asterisk).
bool symbol_joins_markers(const ConversionOptions& options) {
  return !is_djot(options) && (options.strong_em_symbol == U'*' || options.strong_em_symbol == U'_');
}

bool is_emphasis_marker(std::string_view marker, const ConversionOptions& options) {
  return symbol_joins_markers(options) && !marker.empty() &&
         marker.front() == static_cast<char>(options.strong_em_symbol);
}

// The markers around the content of a formatting element converted in
// `context` (outside code); nothing for elements written another way.
std::optional<Markers> wrap_markers(TagId id, const ConversionOptions& options, const ConversionContext& context) {
  const bool djot = is_djot(options);
  const auto same = [](std::string marker) { return Markers{marker, marker}; };
  switch (id) {
    case TagId::B:
    case TagId::Strong:
      return same(djot ? "*" : emphasis_marker(options, 2));
    case TagId::I:
    case TagId::Em:
      return same(djot ? "_" : emphasis_marker(options, 1));
    case TagId::S:
    case TagId::Strike:
    case TagId::Del:
      return djot ? Markers{"{-", "-}"} : same("~~");
    case TagId::Ins:
      return djot ? Markers{"{+", "+}"} : same("==");
    case TagId::Var:
    case TagId::Dfn:
      return same(emphasis_marker(options, 1));
    // Without a symbol the content stands as a span's would, in the output
    // itself, so that emphasis inside can join emphasis right before it.
    case TagId::Sub:
      if (djot) return same("~");
      if (options.sub_symbol.empty()) return std::nullopt;
      return Markers{options.sub_symbol, closing_symbol(options.sub_symbol)};
    case TagId::Sup:
      if (djot) return same("^");
      if (options.sup_symbol.empty()) return std::nullopt;
      return Markers{options.sup_symbol, closing_symbol(options.sup_symbol)};
    case TagId::Mark:
      if (context.inline_mode) return std::nullopt;
      if (options.highlight_style == HighlightStyle::DoubleEqual) return djot ? Markers{"{=", "=}"} : same("==");
      if (options.highlight_style == HighlightStyle::Bold) return same(emphasis_marker(options, 2));
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

// The element is the whole content of an enclosing element that writes the
// same markers (through elements that hold nothing else): "*" around "*x*"
// would read as strong emphasis, "~~~~" at a line start as a code fence. It
// writes no markers; the enclosing element's stand for both. A few levels
// are looked through, no more.
bool doubles_enclosing_markers(const Walk& w, NodeHandle node, const ConversionContext& context,
                               const Markers& markers) {
  if (markers.open.empty()) return false;
  for (int levels = 0; levels < 8; ++levels) {
    const std::optional<NodeHandle> parent = w.dom_context().parent_of(node);
    if (!parent) return false;
    const TlNode::Tag* tag = w.dom().tag(*parent);
    if (tag == nullptr || sole_child(w.dom(), *tag) != node) return false;
    const std::optional<Markers> enclosing = wrap_markers(w.tag(*parent).id, w.options(), context);
    if (enclosing && enclosing->open == markers.open && enclosing->close == markers.close) return true;
    node = *parent;
  }
  return false;
}

// The markers of a formatting element at `node`: none where they would
// double those of an enclosing one.
std::optional<Markers> node_markers(const Walk& w, NodeHandle node, const ConversionContext& context) {
  const TagId id = w.tag(node).id;
  // Strong emphasis inside strong emphasis: the enclosing pair stands for
  // both.
  if (context.in_strong && (id == TagId::B || id == TagId::Strong)) return Markers{};
  std::optional<Markers> markers = wrap_markers(id, w.options(), context);
  if (markers && doubles_enclosing_markers(w, node, context, *markers)) return Markers{};
  return markers;
}

// The sibling right before `node`, comments skipped.
std::optional<NodeHandle> previous_sibling(const Walk& w, NodeHandle node) {
  const auto place = sibling_place(w, node);
  if (!place) return std::nullopt;
  for (std::size_t pos = place->index; pos > 0;) {
    const TlNode* n = w.dom().node(place->siblings[--pos]);
    if (n != nullptr && !n->is_comment()) return place->siblings[pos];
  }
  return std::nullopt;
}

// The sibling right after `node` is text that starts with a letter or
// digit (comments skipped).
bool next_sibling_starts_word(const Walk& w, NodeHandle node) {
  const auto place = sibling_place(w, node);
  if (!place) return false;
  for (std::size_t pos = place->index + 1; pos < place->siblings.size(); ++pos) {
    const TlNode* n = w.dom().node(place->siblings[pos]);
    if (n == nullptr) return false;
    if (n->is_comment()) continue;
    const TlNode::Raw* raw = n->as_raw();
    if (raw == nullptr) return false;
    const std::string_view text = w.dom().bytes(raw->text);
    return !text.empty() && is_ascii_alnum(text.front());
  }
  return false;
}

// The output ends with the closing marker of a formatting element that
// wraps its content in the same markers and ends the node right before
// `node` in the document (the sibling before it or before the ancestor it
// starts, or that sibling's last descendant): the two are joined into one
// pair, since "*a**b*" would leave the middle asterisks as text.
bool continues_previous(const Walk& w, NodeHandle node, const ConversionContext& context, const Markers& markers,
                        std::string_view written_close) {
  if (markers.open.empty() || markers.open != markers.close || !w.out().ends_with(written_close)) return false;
  std::optional<NodeHandle> last = previous_sibling(w, node);
  for (std::optional<NodeHandle> at = node; !last;) {
    at = w.dom_context().parent_of(*at);
    if (!at) return false;
    last = previous_sibling(w, *at);
  }
  while (last) {
    const TlNode::Tag* tag = w.dom().tag(*last);
    if (tag == nullptr) return false;
    const std::optional<Markers> before = wrap_markers(w.tag(*last).id, w.options(), context);
    if (before && before->open == markers.open && before->close == markers.close) return true;
    last.reset();
    const auto children = tag->children.as_span();
    for (std::size_t i = children.size(); i > 0; --i) {
      const TlNode* child = w.dom().node(children[i - 1]);
      if (child != nullptr && !child->is_comment()) {
        last = children[i - 1];
        break;
      }
    }
  }
  return false;
}

// An emphasis marker right after a letter or digit, before punctuation
// (also the backslash of an escape), opens nothing: "Montauk**.**" keeps
// its asterisks as text; so does a closing one after punctuation, before a
// letter or digit ("**\***Price"). Such content is written without
// markers. The markers of emphasis nested at either end are part of the
// same run: what stands beyond them decides.
bool markers_stay_text(const Walk& w, NodeHandle node, const OuterWhitespaceSplit& split, const Markers& markers) {
  if (split.core.empty() || !is_emphasis_marker(markers.open, w.options())) return false;
  // Nested '_' markers may have been written as '*' (inside a word).
  const std::string_view symbol = markers.open.front() == '_' ? "_*" : "*";
  const auto punct = [](char c) { return is_ascii_punct(static_cast<unsigned char>(c)); };
  const std::string& out = w.out();
  if (split.leading.empty() && !out.empty() && is_ascii_alnum(out.back())) {
    const std::size_t first = split.core.find_first_not_of(symbol);
    if (first != std::string_view::npos && punct(split.core[first])) return true;
  }
  if (!split.trailing.empty()) return false;
  const std::size_t last = split.core.find_last_not_of(symbol);
  return last != std::string_view::npos && punct(split.core[last]) && next_sibling_starts_word(w, node);
}

bool is_white(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// What stands beside `node` among its siblings (byte_beside).
std::optional<char> beside(const Walk& w, NodeHandle node, bool after) {
  const auto place = sibling_place(w, node);
  if (!place) return std::nullopt;
  return byte_beside(w.dom(), place->siblings, place->index, after);
}

// Whether an element a few levels up writes the same markers as `node`.
bool encloses_same_markers(const Walk& w, NodeHandle node, const ConversionContext& context,
                           const Markers& markers) {
  std::optional<NodeHandle> at = w.dom_context().parent_of(node);
  for (int levels = 0; at && levels < 8; ++levels) {
    const std::optional<Markers> enclosing = wrap_markers(w.tag(*at).id, w.options(), context);
    if (enclosing && enclosing->open == markers.open && enclosing->close == markers.close) return true;
    at = w.dom_context().parent_of(*at);
  }
  return false;
}


// Emphasis inside emphasis of its kind writes its markers only where a
// reader pairs them as written: each marker faces white space or plain
// punctuation, or joins the marker of the enclosing element it starts or
// ends, whose markers both face white space or the edge of a block (a
// joined run counts its full length in pairing). Elsewhere ("*a*b*c*")
// the markers would pair the wrong way, and the enclosing pair stands for
// both.
bool nested_markers_read(const Walk& w, NodeHandle node, const ConversionContext& context,
                         std::string_view core, const Markers& markers) {
  // Markers of emphasis inside could pair with the new ones by the run
  // lengths they count.
  if (core.empty() || core.find_first_of("*_") != std::string_view::npos) return false;
  const std::optional<NodeHandle> parent = w.dom_context().parent_of(node);
  const auto same_as_parent = [&] {
    if (!parent) return false;
    const std::optional<Markers> enclosing = wrap_markers(w.tag(*parent).id, w.options(), context);
    return enclosing && enclosing->open == markers.open && enclosing->close == markers.close;
  };
  // The enclosing element's edge: white space beside it, or nothing
  // beside it in a block.
  const auto edge = [&](bool after) {
    const std::optional<char> outer = beside(w, *parent, after);
    if (outer) return is_white(*outer);
    const std::optional<NodeHandle> block = w.dom_context().parent_of(*parent);
    return !block || tag_has(w.tag(*block).id, kBlock);
  };
  // A joined run pairs by its full length: an emphasis marker elsewhere in
  // the two elements could pair with it. Only text may stand beside.
  const auto joins_cleanly = [&](bool after) {
    const auto place = sibling_place(w, node);
    return place && only_text_beside(w.dom(), place->siblings, place->index, !after);
  };
  if (!encloses_same_markers(w, node, context, markers)) return false;
  // The whole text of a link: its brackets stand beside the markers.
  const bool in_link_brackets = [&] {
    if (!parent || w.tag(*parent).id != TagId::A || context.in_code) return false;
    const TlNode::Tag* tag = w.dom().tag(*parent);
    const auto href = tag != nullptr ? attribute_map_get(w.dom(), *tag, "href").value_bytes(w.dom()) : std::nullopt;
    return href && !href->empty();
  }();
  for (const bool after : {false, true}) {
    std::optional<char> next = beside(w, node, after);
    if (!next && in_link_brackets) next = after ? ']' : '[';
    const char inside = after ? core.back() : core.front();
    // Djot reads a run of markers its own way: only markers facing text.
    if (next ? !emphasis_marker_one_sided(*next, inside) : is_djot(w.options()) || !(same_as_parent() && edge(false) && edge(true) && joins_cleanly(after))) {
      return false;
    }
  }
  return true;
}

// Markers of '_' with '*' in their place.
Markers with_asterisks(const Markers& markers) {
  Markers star = markers;
  for (char& c : star.open) c = '*';
  for (char& c : star.close) c = '*';
  return star;
}

// A byte that an '_' marker beside it cannot open or close next to: a
// letter or digit, any non-ASCII byte (most are letters), or what is not
// known.
bool word_beside(int c) {
  return c == kUnknownNeighbour || is_ascii_alnum(static_cast<char>(c)) || c >= 0x80;
}

// What a reader finds right after `node`: the first byte of the text that
// follows, through the edges of inline elements that write no markers; the
// first marker byte of an enclosing element that writes some; '\n' at the
// edge of a block; kUnknownNeighbour for an element or what lies further.
int byte_after(const Walk& w, NodeHandle node, const ConversionContext& context) {
  for (int levels = 0; levels < 4; ++levels) {
    const auto place = sibling_place(w, node);
    if (!place) return kUnknownNeighbour;
    if (const std::optional<char> next = byte_beside(w.dom(), place->siblings, place->index, true)) {
      return *next == '\0' ? kUnknownNeighbour : static_cast<unsigned char>(*next);
    }
    const std::optional<NodeHandle> parent = w.dom_context().parent_of(node);
    if (!parent || !tag_has(w.tag(*parent).id, kInline)) return '\n';
    const std::optional<Markers> enclosing = wrap_markers(w.tag(*parent).id, w.options(), context);
    if (enclosing && !enclosing->close.empty()) return static_cast<unsigned char>(enclosing->close.front());
    node = *parent;
  }
  return kUnknownNeighbour;
}

// Writes the rendered content between the markers, its outer white space
// outside them.
void write_wrapped(const Walk& w, NodeHandle node, const ConversionContext& context, std::string_view rendered,
                   const Markers& markers) {
  if (rendered.empty()) return;
  const OuterWhitespaceSplit split = split_outer_whitespace(rendered);
  // '_' cannot open or close inside a word ("un__believ__able" stays
  // text): there the markers are '*', which can.
  const bool underscore = !is_djot(w.options()) && markers.open.starts_with('_');
  const Markers star = underscore ? with_asterisks(markers) : Markers{};
  const bool star_after = underscore && split.trailing.empty() && word_beside(byte_after(w, node, context));
  // Joined to the pair before, the content takes that pair's closing marker.
  const bool join_star = underscore && w.out().ends_with(star.close);
  const bool join = split.leading.empty() && !split.core.empty() && (join_star || !star_after) &&
                    continues_previous(w, node, context, markers, join_star ? star.close : markers.close);
  if (join) w.out().resize(w.out().size() - markers.close.size());
  // Emphasis inside emphasis of its kind writes its markers only where a
  // reader keeps the nesting.
  const bool nested_same = context.in_emphasis && !markers.open.empty() &&
                           (w.tag(node).id == TagId::Em || w.tag(node).id == TagId::I) &&
                           encloses_same_markers(w, node, context, markers);
  const bool bare = !join && (markers_stay_text(w, node, split, markers) ||
                              (nested_same && !nested_markers_read(w, node, context, split.core, markers)));
  write_framed(w, node, split, [&](std::string& out) {
    if (bare) {
      // Without markers in front, the content may start a line itself.
      const bool starts_line = w.starts_line();
      const bool after_number = w.ends_in_line_start_number();
      const std::size_t start = out.size();
      out += split.core;
      escape_block_markers_from(out, start, starts_line, after_number);
      return;
    }
    const bool use_star =
        underscore && (join ? join_star : star_after || (!out.empty() && word_beside(static_cast<unsigned char>(out.back()))));
    const Markers& written = use_star ? star : markers;
    if (!join) out += written.open;
    out += split.core;
    out += written.close;
  });
}

// A formatting element: its children at depth + 1 in `child_context`,
// between its markers.
void convert_wrapped(const Walk& w, NodeHandle node, const ConversionContext& context,
                     const ConversionContext& child_context, std::size_t depth) {
  const std::optional<Markers> markers = node_markers(w, node, context);
  if (!markers) {
    w.children(node, child_context, depth);
    return;
  }
  // Without markers the content stands where the element does.
  const BufferPlace place = markers->open.empty() ? BufferPlace::Here : BufferPlace::Elsewhere;
  // Djot's '_' and '*' markers are joined by a literal one the same way.
  const bool djot_emphasis = is_djot(w.options()) && (markers->open == "_" || markers->open == "*");
  if (!markers->open.empty() && !child_context.in_emphasis &&
      (djot_emphasis || is_emphasis_marker(markers->open, w.options()))) {
    ConversionContext emphasized = child_context;
    emphasized.in_emphasis = true;
    write_wrapped(w, node, context, render_children(w, node, emphasized, depth, place), *markers);
    return;
  }
  write_wrapped(w, node, context, render_children(w, node, child_context, depth, place), *markers);
}

// b, strong: one pair of markers, none inside strong emphasis already.
void convert_strong(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  ConversionContext scope = context;
  ++scope.emphasis_depth;
  scope.in_strong = true;
  convert_wrapped(w, node, context, scope, depth);
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
  const Markers markers = node_markers(w, node, context).value_or(Markers{});
  ConversionContext scope = context;
  ++scope.emphasis_depth;
  scope.in_emphasis = scope.in_emphasis || symbol_joins_markers(w.options()) || is_djot(w.options());
  // Without markers the content stands where the element does.
  const std::string rendered =
      render_children(w, node, scope, depth, markers.open.empty() ? BufferPlace::Here : BufferPlace::Elsewhere);
  if (rendered.empty()) {
    if (!has_caret_class(w, node) || w.end().is_space()) return;
    // At the start of a line a bare ">" would open a quotation.
    w.out() += w.at_line_start() ? "\\> " : " > ";
    return;
  }
  write_wrapped(w, node, context, rendered, markers);
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

// mark: highlighted by `highlight_style`; the marker styles wrap their
// content like emphasis (an empty "====" under a line of text would make
// that line a heading).
void convert_mark(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  if (context.inline_mode || w.options().highlight_style != HighlightStyle::Html) {
    ConversionContext scope = context;
    if (!context.inline_mode && w.options().highlight_style == HighlightStyle::Bold) scope.in_strong = true;
    convert_wrapped(w, node, context, scope, depth);
    return;
  }
  w.out() += "<mark>";
  w.children(node, context, depth);
  w.out() += "</mark>";
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
  if (is_hocr_word(w.dom(), *tag)) w.write_boundary_space();
  // A single line feed before a span joins the span's text to the line,
  // with a space so that the words stay apart; a hard break, or a line
  // that is a block of its own (a heading, a rule), keeps it.
  if (!context.in_code && w.options().whitespace_mode != WhitespaceMode::Strict && out.size() > 1 &&
      w.end().is_single_line_break() && !w.end().is_hard_break() && !w.end().is_block_line()) {
    out.pop_back();
    w.write_boundary_space();
  }
  for (NodeHandle child : tag->children) w.node(child, context, depth);
}

void convert_abbr(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  const TlNode::Tag* tag = w.dom().tag(node);
  if (tag == nullptr) return;
  const std::string rendered = render_children(w, node, context, depth, BufferPlace::Here);
  const OuterWhitespaceSplit split = split_outer_whitespace(rendered);
  write_framed(w, node, split, [&](std::string& out) {
    out += split.core;
    const std::optional<std::string> title = attribute_value_text(w.dom(), *tag, "title");
    if (!title) return;
    // On one line: a line break in the title would end the paragraph.
    const std::string text = fold_line_breaks(*title);
    if (text.empty()) return;
    out += " (";
    escape_markdown_into(text, EscapeMode::PageText, w.options(), out);
    out += ')';
  });
}

void convert_inline_element(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  if (w.dom().tag(node) == nullptr) return;
  const TagId id = w.tag(node).id;
  // Inside code every marker (and an abbreviation's title) would be shown
  // as written: a formatting element there gives its content only.
  if (context.in_code && (wrap_markers(id, w.options(), context) || id == TagId::Kbd || id == TagId::Samp ||
                          id == TagId::Mark || id == TagId::Abbr)) {
    w.children(node, context, depth);
    return;
  }
  switch (id) {
    case TagId::B:
    case TagId::Strong:
      convert_strong(w, node, context, depth);
      return;
    case TagId::I:
    case TagId::Em:
      convert_emphasis(w, node, context, depth);
      return;
    case TagId::S:
    case TagId::Strike:
    case TagId::Del:
    case TagId::Ins:
    case TagId::Var:
    case TagId::Dfn:
    case TagId::Sub:
    case TagId::Sup:
      convert_wrapped(w, node, context, context, depth);
      return;
    case TagId::Kbd:
    case TagId::Samp:
      convert_keyboard(w, node, context, depth);
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
