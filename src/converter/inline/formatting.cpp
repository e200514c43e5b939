#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "common/ascii.hpp"
#include "common/unicode_space.hpp"
#include "common/utf8.hpp"
#include "converter/blocks/blocks.hpp"
#include "converter/inline/inline.hpp"
#include "converter/inline/inline_text.hpp"
#include "converter/inline/links.hpp"
#include "converter/inline/markers.hpp"
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

// Emphasis markers made of '*' or '_', which a literal one of the same
// character next to them would join ("**" "*" "**" is no bold asterisk).
bool symbol_joins_markers(const ConversionOptions& options) {
  return !is_djot(options) && (options.strong_em_symbol == U'*' || options.strong_em_symbol == U'_');
}

bool is_emphasis_marker(std::string_view marker, const ConversionOptions& options) {
  return symbol_joins_markers(options) && !marker.empty() &&
         marker.front() == static_cast<char>(options.strong_em_symbol);
}

}  // namespace

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

Markers markers_of_char(const Markers& markers, char c) {
  Markers made = markers;
  for (char& m : made.open) m = c;
  for (char& m : made.close) m = c;
  return made;
}

bool plans_markers(const Markers& markers, const ConversionOptions& options) {
  return !is_djot(options) && (markers.open == "~~" || is_emphasis_marker(markers.open, options));
}

void note_written(const Walk& w, NodeHandle node, Written how) {
  std::vector<std::uint8_t>& notes = w.dom_context().formatting_written;
  if (node >= notes.size()) {
    if (how == Written::Markers) return;
    notes.resize(w.dom().nodes.size() > node ? w.dom().nodes.size() : node + std::size_t{1}, 0);
  }
  notes[node] = static_cast<std::uint8_t>(how);
}

Written written_as(const Walk& w, NodeHandle node) {
  const std::vector<std::uint8_t>& notes = w.dom_context().formatting_written;
  return node < notes.size() ? static_cast<Written>(notes[node]) : Written::Markers;
}

void note_place(const Walk& w, NodeHandle node, std::size_t pair_open, std::size_t content) {
  std::vector<DomContext::FormattingPlace>& places = w.dom_context().formatting_places;
  if (node >= places.size()) places.resize(w.dom().nodes.size() > node ? w.dom().nodes.size() : node + std::size_t{1});
  places[node] = {pair_open, content};
}

DomContext::FormattingPlace place_of(const Walk& w, NodeHandle node) {
  const std::vector<DomContext::FormattingPlace>& places = w.dom_context().formatting_places;
  return node < places.size() ? places[node] : DomContext::FormattingPlace{};
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

namespace {

// The markers of a formatting element converted in `context`: none for
// strong emphasis inside strong emphasis, or a strikethrough inside a
// strikethrough (the enclosing pair stands for both).
std::optional<Markers> markers_in(TagId id, const ConversionOptions& options, const ConversionContext& context) {
  if (context.in_strong && is_strong(id)) return Markers{};
  if (context.in_strike && is_strike(id)) return Markers{};
  return wrap_markers(id, options, context);
}

// The markers of a formatting element at `node`: none where they would
// double those of an enclosing one.
std::optional<Markers> node_markers(const Walk& w, NodeHandle node, const ConversionContext& context) {
  const TagId id = w.tag(node).id;
  std::optional<Markers> markers = markers_in(id, w.options(), context);
  if (markers && doubles_enclosing_markers(w, node, context, *markers)) return Markers{};
  return markers;
}

// The sibling right before `node`, comments and elements that write
// nothing skipped.
std::optional<NodeHandle> previous_sibling(const Walk& w, NodeHandle node, const ConversionContext& context) {
  const auto place = sibling_place(w, node);
  if (!place) return std::nullopt;
  for (std::size_t pos = place->index; pos > 0;) {
    const TlNode* n = w.dom().node(place->siblings[--pos]);
    if (n != nullptr && !n->is_comment() && !writes_nothing(w, place->siblings[pos], context)) {
      return place->siblings[pos];
    }
  }
  return std::nullopt;
}

// The output ends with the closing marker of a formatting element that
// wraps its content in the same markers and ends the node right before
// `node` in the document (the sibling before it or before the ancestor it
// starts, or that sibling's last descendant): the two are joined into one
// pair, since "*a**b*" would leave the middle asterisks as text.
// Returns the element whose pair is continued.
std::optional<NodeHandle> continues_previous(const Walk& w, NodeHandle node, const ConversionContext& context,
                                             const Markers& markers, std::string_view written_close) {
  if (markers.open.empty() || markers.open != markers.close || !w.out().ends_with(written_close) ||
      is_escaped_at(w.out(), w.out().size() - written_close.size())) {
    return std::nullopt;
  }
  std::optional<NodeHandle> last = previous_sibling(w, node, context);
  for (std::optional<NodeHandle> at = node; !last;) {
    at = w.dom_context().parent_of(*at);
    if (!at) return std::nullopt;
    last = previous_sibling(w, *at, context);
  }
  // Into its last child only where it writes no marker after it.
  while (last) {
    const TlNode::Tag* tag = w.dom().tag(*last);
    if (tag == nullptr) return std::nullopt;
    std::optional<Markers> before = markers_in(w.tag(*last).id, w.options(), context);
    // One written without markers ends with its content.
    if (before && written_as(w, *last) == Written::Bare) before.reset();
    if (before && before->open == markers.open && before->close == markers.close) return last;
    // One that wrote its closing marker ends with it.
    if (before && !before->close.empty() && w.out().ends_with(before->close)) return std::nullopt;
    last.reset();
    const auto children = tag->children.as_span();
    for (std::size_t i = children.size(); i > 0; --i) {
      const TlNode* child = w.dom().node(children[i - 1]);
      if (child != nullptr && !child->is_comment() && !writes_nothing(w, children[i - 1], context)) {
        last = children[i - 1];
        break;
      }
    }
  }
  return std::nullopt;
}

bool is_white(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// What stands beside `node` among its siblings (byte_beside); a line end
// beside one converted with stand-in children. Elements that write nothing
// at the far end of the siblings stand for nothing there: white space
// before them moves out of the enclosing element as it does at its end.
std::optional<char> beside(const Walk& w, NodeHandle node, const ConversionContext& context, bool after) {
  if (w.converts_stand_ins(node)) return '\n';
  const auto place = sibling_place(w, node);
  if (!place) return std::nullopt;
  std::span<const NodeHandle> siblings = place->siblings;
  std::size_t index = place->index;
  const auto nothing = [&](NodeHandle at) {
    const TlNode* n = w.dom().node(at);
    return n != nullptr && (n->is_comment() || writes_nothing(w, at, context));
  };
  if (after) {
    while (siblings.size() > index + 1 && nothing(siblings.back())) siblings = siblings.first(siblings.size() - 1);
  } else {
    while (index > 0 && nothing(siblings.front())) {
      siblings = siblings.subspan(1);
      --index;
    }
  }
  return byte_beside(w.dom(), siblings, index, after);
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
    const std::optional<char> outer = beside(w, *parent, context, after);
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
    std::optional<char> next = beside(w, node, context, after);
    if (!next && in_link_brackets) next = after ? ']' : '[';
    const char inside = after ? core.back() : core.front();
    // Djot reads a run of markers its own way: only markers facing text.
    if (next ? !emphasis_marker_one_sided(*next, inside) : is_djot(w.options()) || !(same_as_parent() && edge(false) && edge(true) && joins_cleanly(after))) {
      return false;
    }
  }
  return true;
}

// An element small enough to convert twice: its content converted where it
// stands may differ from the content converted apart (what its text and
// the markers inside meet there, code spans side by side); text alone
// without a markup character (`core`, as converted apart) reads the same
// there. Not within two such conversions already, so that the work stays
// bounded.
bool worth_converting_in_place(const Walk& w, NodeHandle node, std::string_view core) {
  int nested = 0;
  for (const InPlaceElement* at = w.in_place_elements(); at != nullptr; at = at->outer) nested += at->again ? 1 : 0;
  if (nested >= 2) return false;
  const TlNode::Tag* tag = w.dom().tag(node);
  if (tag == nullptr) return false;
  int budget = 32;
  // Depth first over a bounded number of nodes.
  NodeHandle stack[32];
  int top = 0;
  bool holds_element = false;
  for (const NodeHandle child : w.children_of(node)) {
    if (top == 32) return false;
    holds_element = holds_element || w.dom().tag(child) != nullptr;
    stack[top++] = child;
  }
  if (!holds_element && core.find_first_of("*_`~[]<&\\!") == std::string_view::npos) return false;
  while (top > 0) {
    if (--budget < 0) return false;
    const TlNode::Tag* at = w.dom().tag(stack[--top]);
    if (at == nullptr) continue;
    for (const NodeHandle child : at->children) {
      if (top == 32) return false;
      stack[top++] = child;
    }
  }
  return true;
}

// Converts the children of `node` again at the end of the output, where
// its content stands without an opening marker of its own, and takes the
// white space at the content's end off again (it goes outside the markers).
// The links and images were recorded by the first conversion. Returns where
// the content starts: before the output's old end when a code span in it
// took up the one before.
std::size_t convert_in_place(const Walk& w, NodeHandle node, const ConversionContext& scope, std::size_t depth,
                             bool* trimmed = nullptr, DomContext::FormattingPlace pair = {}) {
  std::string& out = w.out();
  const InPlaceElement element{node, w.in_place_elements(), true, &out, out.size(), pair.pair_open, pair.content};
  w.in_place(element).children(node, detached_context(scope), depth);
  if (out.size() <= element.start) return element.start;
  const OuterWhitespaceSplit split = split_outer_whitespace(std::string_view(out).substr(element.start));
  const std::size_t end = static_cast<std::size_t>(split.core.data() - out.data()) + split.core.size();
  if (trimmed != nullptr) *trimmed = end < out.size();
  out.resize(end);
  return element.start;
}

// A formatting element that writes no markers: its content is converted
// where it stands. Returns where the content starts (as convert_in_place).
std::size_t convert_unmarked(const Walk& w, NodeHandle node, const ConversionContext& scope, std::size_t depth) {
  const InPlaceElement element{node, w.in_place_elements(), false, &w.out(), w.out().size(), SIZE_MAX, SIZE_MAX};
  w.in_place(element).children(node, scope, depth);
  return element.start;
}

// Writes the content of `node` after the content of the pair it continues
// (`continued`), whose closing marker `close` ends the output: the marker
// goes after this content. Content that may meet the pair's differently is
// converted again where it stands (`scope` and `depth`: those of the first
// conversion).
void write_joined(const Walk& w, NodeHandle node, const OuterWhitespaceSplit& split, std::string_view close,
                  NodeHandle continued, const ConversionContext& scope, std::size_t depth) {
  std::string& out = w.out();
  out.resize(out.size() - close.size());
  const bool again = worth_converting_in_place(w, node, split.core);
  DomContext::FormattingPlace pair = place_of(w, continued);
  if (pair.content > out.size()) pair = {};
  // Joined, the pair is the one it continues.
  note_written(w, node, written_as(w, continued));
  note_place(w, node, pair.pair_open, out.size());
  write_framed(w, node, split, [&](std::string& target) -> std::size_t {
    std::size_t start = target.size();
    if (again) {
      // What is written there reads the pair's content before it.
      start = convert_in_place(w, node, scope, depth, nullptr, pair);
    } else {
      start = append_converted_apart(w, scope, split.core);
    }
    target += close;
    return start;
  }, again);
}

// Writes the content of `node` without markers, converted again where it
// stands where that may change it.
void write_bare(const Walk& w, NodeHandle node, const ConversionContext& context, const OuterWhitespaceSplit& split,
                std::size_t depth) {
  const bool again = worth_converting_in_place(w, node, split.core);
  note_written(w, node, Written::Bare);
  write_framed(w, node, split, [&](std::string& out) -> std::size_t {
    // Without markers in front, the content may start a line itself.
    const bool starts_line = w.starts_line();
    const bool after_number = w.ends_in_line_start_number();
    std::size_t start = out.size();
    if (again) {
      bool trimmed = false;
      start = convert_in_place(w, node, context, depth, &trimmed);
      // White space that the content ends with there stays, outside.
      if (trimmed && split.trailing.empty()) out += ' ';
    } else {
      // Converted apart, a lone '~' of the text did not meet the
      // strikethrough marker that the output may end with here.
      if (split.core.starts_with('~') && !split.core.starts_with("~~") && !out.empty() && out.back() == '~' &&
          !is_escaped_at(out, out.size() - 1)) {
        out += '\\';
      }
      start = append_converted_apart(w, context, split.core);
    }
    escape_block_markers_from(out, start, starts_line, after_number, is_djot(w.options()));
    return start;
  }, again);
}

// The length of the run of '*', '_' or '~' that ends the output (its first
// byte not escaped) where `core` starts with a run of the same bytes as
// long: two pairs of a kind whose runs would meet ("**a****b**").
std::size_t meeting_run(std::string_view out, std::string_view core) {
  if (out.empty() || core.empty() || out.back() != core.front()) return 0;
  const char c = out.back();
  if (c != '*' && c != '_' && c != '~') return 0;
  std::size_t before = 0, after = 0;
  while (before < out.size() && out[out.size() - 1 - before] == c) ++before;
  while (after < core.size() && core[after] == c) ++after;
  if (before != after || before > 2 || (c == '~' && before != 2) || is_escaped_at(out, out.size() - before)) return 0;
  return before;
}

// Writes the content of `node` without markers (write_bare). Converted
// apart, content that starts with a pair of the kind the output ends with
// meets its run there: the two are joined into one pair where that reads
// as they read apart.
void write_bare_joining(const Walk& w, NodeHandle node, const ConversionContext& context,
                        const OuterWhitespaceSplit& split, const Markers& markers, std::size_t depth) {
  std::string& out = w.out();
  const std::size_t run = split.leading.empty() ? meeting_run(out, split.core) : 0;
  if (run == 0 || !plans_markers(markers, w.options()) || worth_converting_in_place(w, node, split.core)) {
    write_bare(w, node, context, split, depth);
    return;
  }
  const MarkerCheck check(w, node, context, split, markers);
  const std::size_t from = check.window_start();
  const std::string saved = out.substr(from);
  const std::size_t end = out.size();
  write_bare(w, node, context, split, depth);
  if (check.bare_reads(saved, from) || end < from + run || out.size() < end + run ||
      std::string_view(out).substr(end, run) != split.core.substr(0, run)) {
    return;
  }
  const std::string written = out.substr(from);
  out.erase(end, run);
  out.erase(end - run, run);
  if (check.bare_reads(saved, from)) return;
  out.resize(from);
  out += written;
}

// Writes the content between `markers`, as `plan` places them when given.
void write_marked(const Walk& w, NodeHandle node, const ConversionContext& context, const OuterWhitespaceSplit& split,
                  const Markers& markers, const MarkerPlan* plan) {
  note_written(w, node, Written::Markers);
  write_framed(w, node, split, [&](std::string& out) -> std::size_t {
    std::size_t start = out.size();
    if (plan == nullptr) {
      out += markers.open;
      note_place(w, node, start, out.size());
      out += split.core;
      out += markers.close;
      return start;
    }
    for (const std::size_t at : plan->flipped) out[at] = out[at] == '*' ? '_' : '*';
    std::size_t at = 0;
    // Content before the first marker meets what the output ends with.
    const auto write_unmarked = [&](std::string_view text) {
      if (at == 0) {
        start = append_converted_apart(w, context, text);
      } else {
        out += text;
      }
    };
    for (const auto& [from, to] : plan->spans) {
      write_unmarked(split.core.substr(at, from - at));
      // The pair that a pair after this one continues is the last: before
      // it, the element's other pairs have closed.
      note_place(w, node, out.size(), out.size() + plan->markers.open.size());
      out += plan->markers.open;
      out += split.core.substr(from, to - from);
      out += plan->markers.close;
      at = to;
    }
    write_unmarked(split.core.substr(at));
    return start;
  });
}

// Writes the rendered content between the markers, its outer white space
// outside them. Markdown emphasis and strikethrough are written as a reader
// pairs them (MarkerCheck), or without markers where no writing reads.
// Content written without an opening marker (left out, or joined to the
// pair before) is converted again where it stands where that may change it
// (`scope` and `depth`: those of the first conversion).
void write_wrapped(const Walk& w, NodeHandle node, const ConversionContext& context, std::string_view rendered,
                   const Markers& markers, const ConversionContext& scope, std::size_t depth) {
  if (rendered.empty()) return;
  OuterWhitespaceSplit split = split_outer_whitespace(rendered);
  std::string& out = w.out();
  const bool planned = plans_markers(markers, w.options());
  // The closing marker the output ends with may be the pair before's in the
  // other character.
  std::string_view written_close = markers.close;
  std::string other_close;
  if (planned && !is_strike_marker(markers) && !out.ends_with(markers.close)) {
    other_close = markers_of_char(markers, markers.open.front() == '*' ? '_' : '*').close;
    if (out.ends_with(other_close)) written_close = other_close;
  }
  const std::optional<NodeHandle> continued = split.leading.empty() && !split.core.empty()
                                                  ? continues_previous(w, node, context, markers, written_close)
                                                  : std::nullopt;
  if (continued) {
    if (!planned) {
      write_joined(w, node, split, written_close, *continued, scope, depth);
      return;
    }
    MarkerCheck check(w, node, context, split, markers);
    // Where the pair continued stands: read from its last element's content
    // on where its opening marker stands before the window.
    std::optional<std::size_t> pair_content;
    const DomContext::FormattingPlace pair = place_of(w, *continued);
    if (pair.content <= out.size() - written_close.size() &&
        (pair.pair_open == SIZE_MAX || pair.pair_open < check.window_start())) {
      pair_content = pair.content;
    }
    // Joined, a marker of emphasis inside at the content's end would meet
    // the closing one in a run (see MarkerCheck::plan): written apart
    // instead.
    const Markers joined_markers{std::string(written_close), std::string(written_close)};
    const bool meets_inner = check.meets_inner_emphasis(joined_markers);
    if (!meets_inner && check.joins(written_close, pair_content)) {
      write_joined(w, node, split, written_close, *continued, scope, depth);
      return;
    }
    // Content converted again where it stands meets the pair's content as
    // it is: joined so, it is kept where it reads.
    if (!meets_inner && worth_converting_in_place(w, node, split.core)) {
      // What is read back from, and restored: the pair's closing marker too.
      const std::size_t from =
          pair_content ? *pair_content : std::min(check.window_start(), out.size() - written_close.size());
      const std::string saved = out.substr(from);
      write_joined(w, node, split, written_close, *continued, scope, depth);
      if (check.rejoined_reads(saved, from, pair_content ? written_close : "")) return;
      out.resize(from);
      out += saved;
    }
  }
  // Emphasis inside emphasis of its kind writes its markers only where a
  // reader keeps the nesting.
  const bool nested_same = context.in_emphasis && !markers.open.empty() && is_em(w.tag(node).id) &&
                           encloses_same_markers(w, node, context, markers);
  if (nested_same && !nested_markers_read(w, node, context, split.core, markers)) {
    write_bare_joining(w, node, context, split, markers, depth);
    return;
  }
  if (!planned || split.core.empty()) {
    write_marked(w, node, context, split, markers, nullptr);
    return;
  }
  // A lone '~' of the text before would join the strikethrough's marker.
  if (markers.open == "~~" && out.ends_with('~') && !out.ends_with("~~")) escape_trailing_tildes(out);
  MarkerCheck check(w, node, context, split, markers);
  const std::optional<MarkerPlan> plan = check.plan();
  if (plan && !plan->dropped.empty()) {
    // The content without markers first, converted again where it stands:
    // where that keeps the pair before and itself reading, it stays.
    const std::size_t from = check.window_start();
    const std::string saved = out.substr(from);
    write_bare(w, node, context, split, depth);
    if (check.bare_reads(saved, from)) return;
    out.resize(from);
    out += saved;
    // Else the pair before is left out. What followed its opener may now
    // start a line, or go on a line's number.
    const std::size_t first = plan->dropped.front();
    const bool starts_line = w.starts_line_at(first);
    const bool after_number = w.line_start_number_ends_at(first);
    for (auto at = plan->dropped.rbegin(); at != plan->dropped.rend(); ++at) out.erase(*at, 1);
    if (starts_line || after_number) {
      escape_block_markers_from(out, first, starts_line, after_number, is_djot(w.options()));
    }
  }
  if (!plan || plan->bare) {
    write_bare(w, node, context, split, depth);
    return;
  }
  split.core = plan->core;
  if (plan->lead_space && split.leading.empty()) split.leading = " ";
  if (plan->trail_space && split.trailing.empty()) split.trailing = " ";
  write_marked(w, node, context, split, markers, &*plan);
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
  if (markers->open.empty()) {
    convert_unmarked(w, node, child_context, depth);
    return;
  }
  // Djot's '_' and '*' markers are joined by a literal one the same way.
  const bool djot_emphasis = is_djot(w.options()) && (markers->open == "_" || markers->open == "*");
  if (!child_context.in_emphasis && (djot_emphasis || is_emphasis_marker(markers->open, w.options()))) {
    ConversionContext emphasized = child_context;
    emphasized.in_emphasis = true;
    write_wrapped(w, node, context, render_children(w, node, emphasized, depth), *markers, emphasized, depth);
    return;
  }
  write_wrapped(w, node, context, render_children(w, node, child_context, depth), *markers, child_context, depth);
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
  const std::size_t size = w.out().size();
  // (Content that took up a code span before it may leave the size as it was.)
  bool wrote = false;
  if (!markers.open.empty()) {
    const std::string rendered = render_children(w, node, scope, depth);
    if (!rendered.empty()) {
      write_wrapped(w, node, context, rendered, markers, scope, depth);
      return;
    }
  } else {
    wrote = convert_unmarked(w, node, scope, depth) < size;
  }
  if (!wrote && w.out().size() == size) {
    if (!has_caret_class(w, node) || w.end().is_space()) return;
    // At the start of a line a bare ">" would open a quotation.
    w.out() += w.at_line_start() ? "\\> " : " > ";
  }
}

// kbd, samp: the text as written, white space folded, as a code span.
void convert_keyboard(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  ConversionContext scope = context;
  scope.in_code = true;
  const std::string rendered = render_children(w, node, scope, depth);
  if (rendered.empty()) return;
  const std::optional<std::string> collapsed = collapse_whitespace(rendered);
  const OuterWhitespaceSplit split = split_outer_whitespace(collapsed ? std::string_view(*collapsed) : rendered);
  write_framed(w, node, split, [&](std::string&) {
    return write_inline_code_span(w, node, context, split.core, split.leading.empty());
  });
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

namespace {

bool writes_nothing_within(const Walk& w, NodeHandle node, const ConversionContext& context, int& budget) {
  const TlNode::Tag* tag = w.dom().tag(node);
  if (tag == nullptr || --budget < 0) return false;
  const TagId id = w.tag(node).id;
  if (!(wrap_markers(id, w.options(), context) || id == TagId::Code || id == TagId::Kbd || id == TagId::Samp ||
        writes_children_in_place(w, node))) {
    return false;
  }
  // Holding only comments and such elements, it writes nothing either (an
  // empty pair leaves no markers). A few nodes are looked at, no more: the
  // callers ask of siblings one after another.
  return std::all_of(tag->children.begin(), tag->children.end(), [&](NodeHandle child) {
    const TlNode* n = w.dom().node(child);
    if (n == nullptr || --budget < 0) return false;
    return n->is_comment() || writes_nothing_within(w, child, context, budget);
  });
}

}  // namespace

bool writes_nothing(const Walk& w, NodeHandle node, const ConversionContext& context) {
  int budget = 16;
  return writes_nothing_within(w, node, context, budget);
}

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
  for (NodeHandle child : w.children_of(node)) w.node(child, context, depth);
}

bool abbr_has_title(const Walk& w, NodeHandle abbr) {
  const TlNode::Tag* tag = w.dom().tag(abbr);
  if (tag == nullptr) return false;
  const std::optional<std::string> title = attribute_value_text(w.dom(), *tag, "title");
  return title && !fold_line_breaks(*title).empty();
}

void convert_abbr(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  const TlNode::Tag* tag = w.dom().tag(node);
  if (tag == nullptr) return;
  // Without a title it is its content, written in place like a span's.
  if (!abbr_has_title(w, node)) {
    w.children(node, context, depth);
    return;
  }
  const std::string rendered = render_children(w, node, context, depth, BufferPlace::Here);
  const OuterWhitespaceSplit split = split_outer_whitespace(rendered);
  write_framed(w, node, split, [&](std::string& out) {
    const std::size_t start = append_converted_apart(w, context, split.core);
    const std::optional<std::string> title = attribute_value_text(w.dom(), *tag, "title");
    if (!title) return start;
    // On one line: a line break in the title would end the paragraph.
    const std::string text = fold_line_breaks(*title);
    if (text.empty()) return start;
    out += " (";
    escape_markdown_into(text, EscapeMode::PageText, w.options(), out);
    out += ')';
    return start;
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
    case TagId::Del: {
      ConversionContext scope = context;
      scope.in_strike = !is_djot(w.options());
      convert_wrapped(w, node, context, scope, depth);
      return;
    }
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
