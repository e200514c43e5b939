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

bool is_strong(TagId id) { return id == TagId::B || id == TagId::Strong; }
bool is_strike(TagId id) { return id == TagId::S || id == TagId::Strike || id == TagId::Del; }
bool is_em(TagId id) { return id == TagId::I || id == TagId::Em; }

// The marker characters a run of `markers` (emphasis or strikethrough)
// joins: '_' markers may have been written as '*' (inside a word).
std::string_view marker_symbols(const Markers& markers) {
  return markers.open.front() == '~' ? "~" : markers.open.front() == '_' ? "_*" : "*";
}

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

// What the markers of a formatting element meet beside them, told from the
// document: whether a letter or digit stands there. Looked for through text,
// elements that write their content alone (or nothing, when empty),
// emphasis markers of the same character (which join the run beside them),
// and markers of another kind that will be left out (they cannot close
// where they end); any other element writes punctuation of its own or is
// not known, and counts as no letter. A bounded number of nodes is looked
// at.
class Surroundings {
 public:
  Surroundings(const Walk& w, NodeHandle node, const ConversionContext& context)
      : w_(w), context_(context), scope_{context.in_strong, context.in_strike, false} {
    std::optional<NodeHandle> at = w.dom_context().parent_of(node);
    for (int levels = 0; at && levels < 8 && !scope_.em; ++levels) {
      scope_.em = is_em(w.tag(*at).id);
      at = w.dom_context().parent_of(*at);
    }
  }

  // A letter or digit is what a reader meets right after `node`, whose
  // markers are `own` (markers of `symbol` being part of the run there). An
  // element with the same markers right after it continues its pair
  // (continues_previous): no letter meets its closing marker there.
  bool word_after(NodeHandle node, std::string_view symbol, std::string_view own) {
    return word_after(node, symbol, own, scope_);
  }

  // A letter or digit is what a reader meets right before `node`, which
  // starts an enclosing element's content (the same reasoning, backwards).
  bool word_before(NodeHandle node) {
    Scope scope = scope_;
    std::optional<Markers> own;
    for (int levels = 0; levels < 4; ++levels) {
      const auto place = w_.converts_stand_ins(node) ? std::nullopt : sibling_place(w_, node);
      if (!place) return false;
      for (std::size_t pos = place->index; pos > 0;) {
        const NodeHandle sibling = place->siblings[--pos];
        const TlNode* n = w_.dom().node(sibling);
        if (n == nullptr || n->is_comment() || writes_nothing(w_, sibling, context_)) continue;
        if (const TlNode::Raw* raw = n->as_raw()) {
          const std::string_view text = w_.dom().bytes(raw->text);
          if (text.empty()) continue;
          return letter_or_digit_before(text, text.size());
        }
        // An element with the markers of the enclosing one continues its
        // pair: its content's end stands before.
        const std::optional<Markers> markers = markers_of(sibling, scope);
        if (!own || !markers || markers->open != own->open) return false;
        return ends_in_word(sibling, inside(sibling, scope));
      }
      const std::optional<NodeHandle> parent = w_.dom_context().parent_of(node);
      if (!parent || !climb(*parent, scope)) return false;
      // One written in place has no opening marker before its content.
      own = markers_of(*parent, scope);
      if (own && (own->open.empty() || w_.written_in_place(*parent))) own.reset();
      node = *parent;
    }
    return false;
  }

 private:
  enum class Lead : std::uint8_t { Word, Other, Nothing };
  enum class Kind : std::uint8_t { Content, Joined, Markers, Other };
  // Strong emphasis or a strikethrough encloses the nodes looked at: one of
  // their kind inside writes no markers.
  struct Scope {
    bool strong = false;
    bool strike = false;
    bool em = false;  // emphasis inside it writes its markers only in a few places
  };

  // The markers `node` writes in `scope`: none for strong emphasis or a
  // strikethrough inside one of its kind; none taken for emphasis inside
  // emphasis, which keeps them only in a few places.
  std::optional<Markers> markers_of(NodeHandle node, Scope scope) const {
    const TagId id = w_.tag(node).id;
    if ((scope.strong && is_strong(id)) || (scope.strike && is_strike(id)) || (scope.em && is_em(id))) {
      return Markers{};
    }
    return wrap_markers(id, w_.options(), context_);
  }

  // How an element stands beside markers of `symbol`.
  Kind kind_of(NodeHandle node, std::string_view symbol, Scope scope) const {
    if (writes_children_in_place(w_, node)) return Kind::Content;
    const std::optional<Markers> markers = markers_of(node, scope);
    if (!markers) return Kind::Other;
    if (markers->open.empty()) return Kind::Content;
    return symbol.find(markers->open.front()) != std::string_view::npos ? Kind::Joined : Kind::Markers;
  }

  // The scope of the children of `node`.
  Scope inside(NodeHandle node, Scope scope) const {
    const TagId id = w_.tag(node).id;
    scope.strong = scope.strong || is_strong(id);
    scope.strike = scope.strike || (is_strike(id) && !is_djot(w_.options()));
    scope.em = scope.em || is_em(id);
    return scope;
  }

  // Out to the enclosing `parent` (updating `scope` for its level): only
  // through elements that write their content, with or without markers.
  bool climb(NodeHandle parent, Scope& scope) const {
    const TagId id = w_.tag(parent).id;
    if (is_strong(id)) scope.strong = false;
    if (is_strike(id)) scope.strike = false;
    if (is_em(id)) scope.em = false;
    return kind_of(parent, "", scope) != Kind::Other;
  }

  bool word_after(NodeHandle node, std::string_view symbol, std::string_view own_markers, Scope scope) {
    std::string own(own_markers);
    bool climbed = false;
    for (int levels = 0; levels < 4; ++levels) {
      const auto place = w_.converts_stand_ins(node) ? std::nullopt : sibling_place(w_, node);
      if (!place) return false;
      const Lead lead = lead_of(place->siblings.subspan(place->index + 1), symbol, own, scope, climbed);
      if (lead != Lead::Nothing) return lead == Lead::Word;
      // At the end of an enclosing element: its closing marker (punctuation)
      // when it keeps it, what follows it when it is left out, which it is
      // exactly when that starts a word; an element with its markers right
      // after it continues its pair, and then that one's content follows.
      const std::optional<NodeHandle> parent = w_.dom_context().parent_of(node);
      if (!parent || !climb(*parent, scope)) return false;
      const std::optional<Markers> markers = markers_of(*parent, scope);
      own = markers ? markers->open : std::string();
      node = *parent;
      climbed = true;
    }
    return false;
  }

  // What `nodes` write first, one after the other. `own`: the markers of
  // the element they follow in the same output, whose pair an element with
  // the same markers continues when it keeps them.
  // `through`: the markers of that element stand at the end of an enclosing
  // one, whose pair the continuing element takes on (they vanish).
  Lead lead_of(std::span<const NodeHandle> nodes, std::string_view symbol, std::string_view own, Scope scope,
               bool through = false) {
    for (const NodeHandle node : nodes) {
      if (--budget_ < 0) return Lead::Other;
      const TlNode* n = w_.dom().node(node);
      if (n == nullptr) return Lead::Other;
      if (n->is_comment() || writes_nothing(w_, node, context_)) continue;
      if (const TlNode::Raw* raw = n->as_raw()) {
        const std::string_view text = w_.dom().bytes(raw->text);
        if (text.empty()) continue;
        return letter_or_digit_at(text, 0) ? Lead::Word : Lead::Other;
      }
      const TlNode::Tag* tag = n->as_tag();
      if (tag == nullptr) return Lead::Other;
      const Kind kind = kind_of(node, symbol, scope);
      if (kind == Kind::Other) return Lead::Other;
      // An empty one writes nothing.
      if (tag->children.empty()) continue;
      const Scope children = inside(node, scope);
      if (kind == Kind::Content) {
        const Lead lead = lead_of(tag->children.as_span(), symbol, own, children);
        if (lead != Lead::Nothing) return lead;
        continue;
      }
      const std::optional<Markers> markers = markers_of(node, scope);
      const bool continues = !own.empty() && markers->open == own;
      if (kind == Kind::Markers || continues) {
        // Kept, its opening marker is punctuation (or it continues the pair
        // before it, and its content follows what stands through the
        // vanished markers); left out for its closing one, its content comes
        // first.
        if ((!continues || !through) && (!ends_in_punctuation(tag->children.as_span()) ||
                                         !word_after(node, marker_symbols(*markers), markers->open, scope))) {
          return Lead::Other;
        }
      }
      // Its content is written into a buffer of its own: no pair continues
      // into it.
      const Lead lead = lead_of(tag->children.as_span(), symbol, "", children);
      if (lead != Lead::Nothing) return lead;
    }
    return Lead::Nothing;
  }

  // The content of `node` ends with a letter or digit: its last text, a few
  // levels down.
  bool ends_in_word(NodeHandle node, Scope scope) {
    for (int levels = 0; levels < 8; ++levels) {
      const TlNode::Tag* tag = w_.dom().tag(node);
      if (tag == nullptr) return false;
      const auto children = tag->children.as_span();
      std::optional<NodeHandle> last;
      for (std::size_t pos = children.size(); pos > 0 && !last;) {
        const TlNode* n = w_.dom().node(children[--pos]);
        if (n != nullptr && !n->is_comment() && !writes_nothing(w_, children[pos], context_)) last = children[pos];
      }
      if (!last) return false;
      if (const TlNode::Raw* raw = w_.dom().node(*last)->as_raw()) {
        const std::string_view text = w_.dom().bytes(raw->text);
        return letter_or_digit_before(text, text.size());
      }
      // Only an element that writes its content alone ends with it; the
      // others end with a marker or markup of their own ("`", ")").
      if (kind_of(*last, "", scope) != Kind::Content) return false;
      scope = inside(*last, scope);
      node = *last;
    }
    return false;
  }

  // The content written by `nodes` ends with punctuation (white space at
  // the end moves out of the markers, and counts as none).
  bool ends_in_punctuation(std::span<const NodeHandle> nodes) {
    for (std::size_t pos = nodes.size(); pos > 0;) {
      if (--budget_ < 0) return false;
      const TlNode* n = w_.dom().node(nodes[--pos]);
      if (n == nullptr) return false;
      if (n->is_comment()) continue;
      if (const TlNode::Raw* raw = n->as_raw()) {
        const std::string_view text = w_.dom().bytes(raw->text);
        if (text.empty()) continue;
        return is_ascii_punct(static_cast<unsigned char>(text.back()));
      }
      const TlNode::Tag* tag = n->as_tag();
      if (tag == nullptr) return false;
      const TagId id = w_.tag(nodes[pos]).id;
      if (writes_children_in_place(w_, nodes[pos])) {
        return ends_in_punctuation(tag->children.as_span());
      }
      // An empty formatting element writes nothing; another element ends
      // with markup of its own (a marker, "`", ")"), a line break with none.
      if (tag->children.empty() && wrap_markers(id, w_.options(), context_)) continue;
      return id != TagId::Br;
    }
    return false;
  }

  const Walk& w_;
  const ConversionContext& context_;
  Scope scope_;
  int budget_ = 64;
};

// How a formatting element was written, as far as the walk has come.
enum class Written : std::uint8_t {
  Markers,  // with its markers (or not yet)
  Bare,     // without them
  // With its markers, the opening one in a run of three joined from markers
  // of two lengths (see markers_stay_text)
  RunOfThree,
};

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

// Which of the markers of an element stay text where they stand.
struct MarkerSides {
  bool open = false;
  bool close = false;
  bool run_of_three = false;  // the opening marker joins a run of three
};

// An emphasis or strikethrough marker right after a letter or digit,
// before punctuation (also the backslash of an escape), opens nothing:
// "Montauk**.**" keeps its asterisks as text; so does a closing one after
// punctuation, before a letter or digit ("**\***Price"). Such content is
// written without markers. The markers of emphasis nested at either end
// are part of the same run: what stands beyond them decides.
MarkerSides markers_stay_text(const Walk& w, NodeHandle node, const ConversionContext& context,
                              const OuterWhitespaceSplit& split, const Markers& markers) {
  const bool strike = markers.open == "~~" && !is_djot(w.options());
  if (split.core.empty() || !(strike || is_emphasis_marker(markers.open, w.options()))) return {};
  const std::string_view symbol = marker_symbols(markers);
  const auto punct = [](char c) { return is_ascii_punct(static_cast<unsigned char>(c)); };
  const std::string& out = w.out();
  Surroundings around(w, node, context);
  // At the start of a buffer what stands before is the enclosing element's;
  // markers of the run at the end of the output join the new ones.
  const auto word_before = [&] {
    std::size_t end = out.size();
    while (end > 0 && symbol.find(out[end - 1]) != std::string_view::npos && !is_escaped_at(out, end - 1)) --end;
    if (end == 0) return !w.at_line_start() && around.word_before(node);
    return letter_or_digit_before(out, end);
  };
  MarkerSides sides;
  if (split.leading.empty()) {
    const std::size_t first = split.core.find_first_not_of(symbol);
    sides.open = first != std::string_view::npos && punct(split.core[first]) && word_before();
  }
  if (split.trailing.empty()) {
    const std::size_t last = split.core.find_last_not_of(symbol);
    sides.close = last != std::string_view::npos && punct(split.core[last]) &&
                  around.word_after(node, symbol, markers.open);
  }
  if (strike) return sides;
  // Markers of other elements right beside these make one run with them,
  // which a reader pairs by its length: a run of four or more does not pair
  // as written. The element whose opening marker makes it such a run is
  // written without markers: what stands before was decided on as written
  // (what comes after sees this element's markers in the output).
  const auto run_at = [&](std::string_view text, bool at_end) {
    std::size_t n = 0;
    while (n < text.size() && symbol.find(text[at_end ? text.size() - 1 - n : n]) != std::string_view::npos) ++n;
    // An escaped marker character is text, and ends the run.
    if (at_end && n > 0 && is_escaped_at(text, text.size() - n)) --n;
    return n;
  };
  const std::size_t before = split.leading.empty() ? run_at(out, true) : 0;
  const std::size_t lead = run_at(split.core, false);
  if (before > 0 && before + markers.open.size() + lead >= 4) sides.open = true;
  // A run of three joined from markers of two lengths: once its first
  // pair closes, the rest opens with the run's length of three, which any
  // run inside that can both open and close pairs with ("***a*b*c***").
  sides.run_of_three = (before > 0 || lead > 0) && before + markers.open.size() + lead == 3;
  if (sides.run_of_three && holds_two_sided_emphasis_run(split.core, symbol)) sides.open = true;
  return sides;
}

bool is_white(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// What stands beside `node` among its siblings (byte_beside); a line end
// beside one converted with stand-in children.
std::optional<char> beside(const Walk& w, NodeHandle node, bool after) {
  if (w.converts_stand_ins(node)) return '\n';
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
    if (w.converts_stand_ins(node)) return '\n';
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
std::size_t convert_in_place(const Walk& w, NodeHandle node, const ConversionContext& scope, std::size_t depth) {
  std::string& out = w.out();
  const InPlaceElement element{node, w.in_place_elements(), true, &out, out.size()};
  w.in_place(element).children(node, detached_context(scope), depth);
  if (out.size() <= element.start) return element.start;
  const OuterWhitespaceSplit split = split_outer_whitespace(std::string_view(out).substr(element.start));
  out.resize(static_cast<std::size_t>(split.core.data() - out.data()) + split.core.size());
  return element.start;
}

// A formatting element that writes no markers: its content is converted
// where it stands. Returns where the content starts (as convert_in_place).
std::size_t convert_unmarked(const Walk& w, NodeHandle node, const ConversionContext& scope, std::size_t depth) {
  const InPlaceElement element{node, w.in_place_elements(), false, &w.out(), w.out().size()};
  w.in_place(element).children(node, scope, depth);
  return element.start;
}

// Writes the rendered content between the markers, its outer white space
// outside them. Content written without an opening marker (left out, or
// joined to the pair before) is converted again where it stands where that
// may change it (`scope` and `depth`: those of the first conversion).
void write_wrapped(const Walk& w, NodeHandle node, const ConversionContext& context, std::string_view rendered,
                   const Markers& markers, const ConversionContext& scope, std::size_t depth) {
  if (rendered.empty()) return;
  const OuterWhitespaceSplit split = split_outer_whitespace(rendered);
  // '_' cannot open or close inside a word ("un__believ__able" stays
  // text): there the markers are '*', which can.
  const bool underscore = !is_djot(w.options()) && markers.open.starts_with('_');
  const Markers star = underscore ? with_asterisks(markers) : Markers{};
  const bool star_after = underscore && split.trailing.empty() && word_beside(byte_after(w, node, context));
  // Joined to the pair before, the content takes that pair's closing marker.
  const bool join_star = underscore && w.out().ends_with(star.close);
  // Markers that cannot open or close where they stand are left out. A
  // closing one that cannot close joins no pair before it either; joined,
  // the content has no opening marker of its own.
  const MarkerSides stays_text = markers_stay_text(w, node, context, split, markers);
  const std::string_view written_close = join_star ? star.close : markers.close;
  const std::optional<NodeHandle> continued =
      !stays_text.close && split.leading.empty() && !split.core.empty() && (join_star || !star_after)
          ? continues_previous(w, node, context, markers, written_close)
          : std::nullopt;
  // A pair opened in a run of three takes no content that holds a run of
  // its markers that can both open and close (which is then written bare:
  // its markers would meet those of that pair).
  const std::size_t end = w.out().size();
  const bool refused = continued && written_as(w, *continued) == Written::RunOfThree && end > written_close.size() &&
                       holds_two_sided_emphasis_run(split.core, marker_symbols(markers),
                                                    w.out()[end - written_close.size() - 1]);
  const bool join = continued && !refused;
  if (join) w.out().resize(end - markers.close.size());
  // Emphasis inside emphasis of its kind writes its markers only where a
  // reader keeps the nesting.
  const bool nested_same = context.in_emphasis && !markers.open.empty() && is_em(w.tag(node).id) &&
                           encloses_same_markers(w, node, context, markers);
  const bool bare = refused || (!join && (stays_text.open || stays_text.close ||
                                          (nested_same && !nested_markers_read(w, node, context, split.core, markers))));
  const bool again = (bare || join) && worth_converting_in_place(w, node, split.core);
  // Joined, the pair is the one it continues.
  Written how = stays_text.run_of_three ? Written::RunOfThree : Written::Markers;
  if (bare) how = Written::Bare;
  if (join) how = written_as(w, *continued);
  note_written(w, node, how);
  write_framed(w, node, split, [&](std::string& out) -> std::size_t {
    if (bare) {
      // Without markers in front, the content may start a line itself.
      const bool starts_line = w.starts_line();
      const bool after_number = w.ends_in_line_start_number();
      std::size_t start = out.size();
      if (again) {
        start = convert_in_place(w, node, context, depth);
      } else {
        // Converted apart, a lone '~' of the text did not meet the
        // strikethrough marker that the output may end with here.
        if (split.core.starts_with('~') && !split.core.starts_with("~~") && !out.empty() && out.back() == '~' &&
            !is_escaped_at(out, out.size() - 1)) {
          out += '\\';
        }
        out += split.core;
      }
      escape_block_markers_from(out, start, starts_line, after_number, is_djot(w.options()));
      return start;
    }
    const bool word_before = !out.empty() && word_beside(static_cast<unsigned char>(out.back()));
    const bool use_star = underscore && (join ? join_star : star_after || word_before);
    const Markers& written = use_star ? star : markers;
    // A '~' of the text before would join the strikethrough's marker.
    if (!join && written.open == "~~") escape_trailing_tildes(out);
    std::size_t start = out.size();
    if (!join) out += written.open;
    if (join && again) {
      start = convert_in_place(w, node, scope, depth);
    } else {
      out += split.core;
    }
    out += written.close;
    return start;
  }, again);
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
