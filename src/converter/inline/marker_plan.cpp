#include <algorithm>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/ascii.hpp"
#include "common/char_sides.hpp"
#include "common/emphasis_reading.hpp"
#include "common/entities.hpp"
#include "common/unicode_space.hpp"
#include "converter/blocks/blocks.hpp"
#include "converter/inline/inline.hpp"
#include "converter/inline/links.hpp"
#include "converter/inline/markers.hpp"
#include "converter/text/processing.hpp"
#include "converter/walk/handler_family.hpp"
#include "converter/walk/text_node.hpp"

namespace tidewell {
namespace {

// Punctuation that stands for markers in a reading without them: what
// their neighbours were written to meet there (see Beside).
constexpr std::string_view kStandIn = "%";

// What stands at the start (`first`) or the end of `text`, for a reading:
// white space and ASCII punctuation (which may be markup) by a character of
// their kind, any other character as itself; where `text` is empty, a
// character of the side `otherwise`.
std::string_view edge_stand_in(std::string_view text, bool first, std::uint8_t otherwise) {
  if (text.empty()) return (otherwise & kSpaceSide) != 0 ? " " : (otherwise & kPunctSide) != 0 ? kStandIn : "a";
  std::size_t at = first ? 0 : text.size() - 1;
  const auto c = static_cast<unsigned char>(text[at]);
  if (c < 0x80) {
    if (c == ' ' || (c >= 0x09 && c <= 0x0D)) return " ";
    return is_ascii_punct(c) ? kStandIn : text.substr(at, 1);
  }
  // The character's whole UTF-8 sequence.
  std::size_t size = 1;
  if (first) {
    while (size < 4 && at + size < text.size() && (static_cast<unsigned char>(text[at + size]) & 0xC0) == 0x80) ++size;
  } else {
    while (size < 4 && at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
      --at;
      ++size;
    }
  }
  return text.substr(at, size);
}

// How far back the output is read with new markers: most often, and where
// that stretch may start inside a link or a pair.
constexpr std::size_t kWindowReach = 96;
constexpr std::size_t kWideReach = 4096;
constexpr std::size_t kNearWideReach = 1024;

bool has_href(const Walk& w, NodeHandle node) {
  const TlNode::Tag* tag = w.dom().tag(node);
  return tag != nullptr && attribute_map_get(w.dom(), *tag, "href").has_value();
}

// An element that writes its content and nothing around it: a span and the
// like, an element without a handler of its own, a link without an address.
bool content_only(const Walk& w, NodeHandle node, TagId id) {
  if (writes_content_only(id, w.options())) return true;
  if (id == TagId::A) return !has_href(w, node);
  const HandlerFamily family = handler_family(id);
  return family == HandlerFamily::Unknown || family == HandlerFamily::Transparent;
}

// What a reader meets beside the markers of a formatting element, told from
// the document before its neighbours are written: the side (char_sides.hpp)
// of the first character beyond them, several sides where it is not known.
// The markers of an element it starts or ends stand at the same place as
// its own and are read through (of its family they join its run; of the
// other they can stand only where its own can), as are markers that vanish
// where a pair is continued by the element beside it. A sibling's markers
// beside it are punctuation, for the element written second takes the other
// marker character where runs would join (see MarkerCheck), unless that
// sibling will be written without markers (its far edge is punctuation
// before a letter, where no marker closes). A bounded number of nodes is
// looked at.
class Beside {
 public:
  Beside(const Walk& w, const ConversionContext& context, const Markers& own)
      : w_(w), context_(context), own_(&own), strike_(is_strike_marker(own)) {}

  // What stands after the closing marker of `node`.
  std::uint8_t after(NodeHandle node) { return beyond(node, true, false); }
  // What stands after white space that ends `node`'s content: it moves out
  // of the elements that `node` ends, past the closing markers of those of
  // the other family, which then stand beside this one's.
  std::uint8_t after_space(NodeHandle node) {
    beyond(node, true, false);
    return other_family_beyond_ ? static_cast<std::uint8_t>(kSpaceSide | kPunctSide) : std::uint8_t{kSpaceSide};
  }
  // What stands before the output that `node` and its siblings are written
  // into: before the content of the nearest enclosing element that writes
  // markup of its own.
  std::uint8_t before_buffer(NodeHandle node) { return beyond(node, false, true); }

 private:
  static constexpr std::uint8_t kNothing = 0;

  // The markers `node` writes: none for strong emphasis or a strikethrough
  // inside one of its kind, for emphasis inside emphasis (which keeps them
  // only in a few places, and is read through), for the whole content of
  // an element of its markers, and for an element written without them.
  std::optional<Markers> markers_of(NodeHandle node) const {
    const TagId id = w_.tag(node).id;
    const std::optional<Markers> own = is_em(id) ? wrap_markers(id, w_.options(), context_) : std::nullopt;
    // Emphasis is inside emphasis of its kind where an enclosing element
    // (var, cite, ...) writes the same markers.
    const auto same_kind = [&](TagId other) {
      if (own) {
        const std::optional<Markers> enclosing = wrap_markers(other, w_.options(), context_);
        return enclosing && enclosing->open == own->open && enclosing->close == own->close;
      }
      return (is_strong(id) && is_strong(other)) || (is_strike(id) && is_strike(other));
    };
    if (is_strong(id) || is_strike(id) || is_em(id)) {
      std::optional<NodeHandle> at = w_.dom_context().parent_of(node);
      for (int levels = 0; at && levels < 16; ++levels) {
        if (same_kind(w_.tag(*at).id)) return Markers{};
        at = w_.dom_context().parent_of(*at);
      }
    }
    if (written_as(w_, node) == Written::Bare) return Markers{};
    std::optional<Markers> markers = wrap_markers(id, w_.options(), context_);
    // The whole content of an element of its markers (var in i) writes none.
    if (markers && doubles_enclosing_markers(w_, node, context_, *markers)) return Markers{};
    return markers;
  }

  bool has_href(NodeHandle node) const { return tidewell::has_href(w_, node); }

  bool same_family(const Markers& markers) const { return is_strike_marker(markers) == strike_; }

  bool content_only(NodeHandle node, TagId id) const { return tidewell::content_only(w_, node, id); }

  // An element that writes its content alone: as a span does, or a
  // formatting element that writes no markers (one inside another of its
  // kind), whose content stands where it would.
  bool writes_in_place(NodeHandle node) const {
    if (content_only(node, w_.tag(node).id)) return true;
    const std::optional<Markers> markers = markers_of(node);
    return markers && markers->open.empty();
  }

  // The nearest node after `node` (before it, backwards) that writes
  // something, looked for through the edges of elements that write their
  // content alone, in and out.
  std::optional<NodeHandle> neighbour(NodeHandle node, bool forward) const {
    for (int levels = 0; levels < 4; ++levels) {
      const auto place = sibling_place(w_, node);
      if (!place) return std::nullopt;
      std::span<const NodeHandle> nodes =
          forward ? place->siblings.subspan(place->index + 1) : place->siblings.first(place->index);
      for (int depth = 0; depth < 4; ++depth) {
        std::optional<NodeHandle> found;
        for (std::size_t k = 0; k < nodes.size() && !found; ++k) {
          const NodeHandle at = nodes[forward ? k : nodes.size() - 1 - k];
          const TlNode* n = w_.dom().node(at);
          if (n == nullptr) return std::nullopt;
          if (!n->is_comment() && !writes_nothing(w_, at, context_)) found = at;
        }
        if (!found) break;
        const TlNode::Tag* tag = w_.dom().tag(*found);
        if (tag == nullptr || !writes_in_place(*found)) return found;
        nodes = tag->children.as_span();
      }
      const std::optional<NodeHandle> parent = w_.dom_context().parent_of(node);
      if (!parent || !writes_in_place(*parent)) return std::nullopt;
      node = *parent;
    }
    return std::nullopt;
  }

  // `node`, whose markers are `markers`, and its neighbour make one pair
  // (the one written second continues the first, see continues_previous):
  // the markers between them vanish. Returns that neighbour.
  std::optional<NodeHandle> continued_pair(NodeHandle node, const Markers& markers, bool forward) {
    if (markers.open.empty()) return std::nullopt;
    const std::optional<NodeHandle> next = neighbour(node, forward);
    if (!next || w_.dom().tag(*next) == nullptr) return std::nullopt;
    const std::optional<Markers> theirs = markers_of(*next);
    if (!theirs || theirs->open != markers.open || theirs->close != markers.close) return std::nullopt;
    return next;
  }

  // The side of the text's first character (its last one, backwards).
  static std::uint8_t text_side(std::string_view bytes, bool forward) {
    std::string holder;
    const std::string_view text = text_node_content(bytes, holder);
    if (text.empty()) return kNothing;
    return forward ? category_side_of_char_at(text, 0) : category_side_of_char_before(text, text.size());
  }

  // Beyond `node`'s markers, forward (`after`) or backward; with
  // `skip_siblings`, beyond the output `node` is written into.
  std::uint8_t beyond(NodeHandle node, bool after, bool skip_siblings) {
    // The markers of an enclosing element of the other family stand there
    // too where they are written: punctuation, beside whatever is beyond.
    std::uint8_t also = kNothing;
    other_family_beyond_ = false;
    const auto seen = [&](std::uint8_t side) { return static_cast<std::uint8_t>(side | also); };
    for (int levels = 0; levels < 16; ++levels) {
      if (w_.converts_stand_ins(node)) return seen(kSpaceSide);
      const auto place = sibling_place(w_, node);
      if (!place) return seen(kAnySide);
      if (!skip_siblings) {
        const std::span<const NodeHandle> nodes =
            after ? place->siblings.subspan(place->index + 1) : place->siblings.first(place->index);
        const std::uint8_t side = first_side(nodes, after, false);
        if (side != kNothing) return seen(side);
      }
      const std::optional<NodeHandle> parent = w_.dom_context().parent_of(node);
      if (!parent) return seen(kSpaceSide);
      const TagId id = w_.tag(*parent).id;
      // The content of a block, a cell or an item starts and ends a line.
      if (tag_has(id, kBlock) || (!tag_has(id, kInline) && !content_only(*parent, id))) return seen(kSpaceSide);
      // A link's text is read apart: after it a reader finds its end (white
      // space), before it the bracket.
      if (id == TagId::A && has_href(*parent)) return after ? kSpaceSide : kPunctSide;
      // Written where it stands, its content shares the output with what
      // stands before it.
      const bool shares_output = skip_siblings && w_.written_in_place(*parent);
      if (!content_only(*parent, id) && !shares_output) {
        const std::optional<Markers> markers = markers_of(*parent);
        // Other inline elements write markup of their own there.
        if (!markers) return seen(kPunctSide);
        if (!markers->open.empty()) {
          // Continued by the element beside it, its marker there vanishes:
          // that element's content stands beyond. Where the two are not
          // joined after all (their content meets otherwise), it stands
          // there: what stands beyond it then is read too.
          if (const std::optional<NodeHandle> next = continued_pair(*parent, *markers, after)) {
            also |= first_side(w_.dom().tag(*next)->children.as_span(), after, true);
          }
          if (!same_family(*markers)) {
            also |= kPunctSide;
            other_family_beyond_ = true;
          }
        }
        // Its marker joins this one's run (or, of the other family, stands
        // at the same place: where a letter beyond keeps that one from
        // reading, it is read without this one's too); without one, its
        // content is still written apart, and what stands beyond it does
        // too.
        skip_siblings = false;
      }
      node = *parent;
    }
    return seen(kAnySide);
  }

  // What `nodes` show first (last, backwards). Markers of an element among
  // them are punctuation; with `through`, those of the family (which join
  // the run at this edge) are read through.
  std::uint8_t first_side(std::span<const NodeHandle> nodes, bool forward, bool through) {
    for (std::size_t k = 0; k < nodes.size(); ++k) {
      const NodeHandle node = nodes[forward ? k : nodes.size() - 1 - k];
      if (--budget_ < 0) return kAnySide;
      const TlNode* n = w_.dom().node(node);
      if (n == nullptr) return kAnySide;
      if (n->is_comment() || writes_nothing(w_, node, context_)) continue;
      if (const TlNode::Raw* raw = n->as_raw()) {
        const std::uint8_t side = text_side(w_.dom().bytes(raw->text), forward);
        if (side != kNothing) return side;
        continue;
      }
      const TlNode::Tag* tag = n->as_tag();
      if (tag == nullptr) return kAnySide;
      const TagId id = w_.tag(node).id;
      const std::span<const NodeHandle> children = tag->children.as_span();
      if (id == TagId::Br || tag_has(id, kBlock)) return kSpaceSide;
      if (id == TagId::Code || id == TagId::Kbd || id == TagId::Samp) {
        // An empty code span is not written.
        if (first_side(children, forward, false) == kNothing) continue;
        return kPunctSide;
      }
      if (id == TagId::A && has_href(node)) {
        // A link inside a link ends it: the children before it make the
        // label, the rest is written after the link.
        const std::optional<std::size_t> split = child_holding_link(children);
        if (!split) return kAnySide;
        if (forward ? *split > 0 : *split == children.size()) return kPunctSide;
        const std::uint8_t side = first_side(children, forward, through);
        if (side != kNothing) return side;
        continue;
      }
      if (!content_only(node, id)) {
        const std::optional<Markers> markers = markers_of(node);
        // Other elements write markup of their own ("![", ...).
        if (!markers) return kPunctSide;
        if (!markers->open.empty()) {
          // White space at the content's edge stands outside the markers.
          const std::uint8_t edge = first_side(children, forward, true);
          if (edge == kNothing) continue;
          if (edge == kSpaceSide) return edge;
          if (through) {
            // The pair of the element looked around goes on in this one
            // (see continued_pair): its marker here vanishes, and any side
            // does. Markers of the other family, or of the other character,
            // stand here; those of the same character join the run.
            const bool continues = markers->open == own_->open && markers->close == own_->close;
            const bool joins_run = same_family(*markers) && markers->open.front() == own_->open.front();
            return continues || !joins_run ? std::uint8_t{kPunctSide} : edge;
          }
          return written_bare(node, *markers, children, forward) ? edge : std::uint8_t{kPunctSide};
        }
      }
      const std::uint8_t side = first_side(children, forward, through);
      if (side != kNothing) return side;
    }
    return kNothing;
  }

  // A sibling with markers will be written without them (nor joined to the
  // pair before): its far edge is punctuation before a letter or digit,
  // where no marker can close (or open, backwards). What is not known to
  // stand there is taken as not a letter. The far edge is the one its own
  // markers (`markers`) meet: markers of elements inside that join their
  // run are read through.
  bool written_bare(NodeHandle node, const Markers& markers, std::span<const NodeHandle> children, bool forward) {
    const Markers* own = own_;
    const bool strike = strike_;
    own_ = &markers;
    strike_ = is_strike_marker(markers);
    const std::uint8_t far = first_side(children, !forward, true);
    own_ = own;
    strike_ = strike;
    if ((far & kPunctSide) == 0) return false;
    return beyond(node, forward, false) == kWordSide;
  }

  const Walk& w_;
  const ConversionContext& context_;
  // The markers of the element looked around (of a sibling, while its far
  // edge is looked at).
  const Markers* own_;
  bool strike_;
  // The index of the first of `children` that is or holds a link with an
  // address (their number where none does), as links.cpp finds it; nullopt
  // where more nodes would have to be looked at than the budget allows.
  std::optional<std::size_t> child_holding_link(std::span<const NodeHandle> children) {
    std::vector<NodeHandle> stack;
    for (std::size_t k = 0; k < children.size(); ++k) {
      stack.assign(1, children[k]);
      while (!stack.empty()) {
        if (--budget_ < 0) return std::nullopt;
        const NodeHandle at = stack.back();
        stack.pop_back();
        const TlNode::Tag* tag = w_.dom().tag(at);
        if (tag == nullptr) continue;
        if (w_.tag(at).id == TagId::A && has_href(at)) return k;
        // No more than the budget can look at.
        std::span<const NodeHandle> below = tag->children.as_span();
        below = below.first(std::min(below.size(), static_cast<std::size_t>(std::max(budget_, 0))));
        stack.insert(stack.end(), below.rbegin(), below.rend());
      }
    }
    return children.size();
  }

  int budget_ = 64;
  // The last look beyond passed the markers of an enclosing element of the
  // other family.
  bool other_family_beyond_ = false;
};

// What the markers of `markers` show on their content when they pair.
std::uint8_t shown_by(const Markers& markers) {
  if (is_strike_marker(markers)) return kShownStrike;
  return markers.open.size() >= 2 ? kShownStrong : kShownEmphasis;
}

// The end of the output that new markers are read together with: the last
// `reach` bytes (markers further back pair before they come into play), not
// beyond a blank line (the paragraph before), from the start of a word (a
// run of markers or a link's destination is not cut). `cut`: the stretch is
// cut short of the output's start (or its paragraph's).
std::size_t reading_window_start(std::string_view out, std::size_t reach, bool& cut) {
  cut = false;
  const std::size_t from = out.size() > reach ? out.size() - reach : 0;
  const std::size_t blank = out.substr(from).rfind("\n\n");
  if (blank != std::string_view::npos) return from + blank + 2;
  if (from == 0) return 0;
  cut = true;
  const std::size_t space = out.find_first_of(" \n", from);
  if (space != std::string_view::npos) return space + 1;
  // One long word: cut where no run of markers and no character is.
  std::size_t at = from;
  while (at < out.size() && (std::string_view("*_~`").find(out[at]) != std::string_view::npos ||
                             (static_cast<unsigned char>(out[at]) & 0xC0) == 0x80)) {
    ++at;
  }
  return at;
}

// The code span that starts `text` ("`a `"): its end, or npos.
std::size_t code_span_end_from_start(std::string_view text) {
  std::size_t fence = 0;
  while (fence < text.size() && text[fence] == '`') ++fence;
  if (fence == 0) return std::string_view::npos;
  for (std::size_t at = text.find('`', fence); at != std::string_view::npos; at = text.find('`', at)) {
    std::size_t end = at;
    while (end < text.size() && text[end] == '`') ++end;
    if (end - at == fence) return end;
    at = end;
  }
  return std::string_view::npos;
}

// The content with the white space at the outer edges of the code spans
// that start or end it moved out of the spans: "`a `" becomes "`a`" and a
// space after it. Markers beside the span then meet white space beyond its
// backtick, where a letter could keep them from opening or closing. nullopt
// when no such edge holds white space.
std::optional<MarkerPlan> with_code_edges_out(std::string_view core) {
  // Rewrites the span core[start, end), white space off the edges asked for.
  const auto trimmed = [&](std::size_t start, std::size_t end, bool front, bool back, bool& lead, bool& trail) {
    const std::string_view written = core.substr(start, end - start);
    std::size_t fence = 0;
    while (fence < written.size() && written[fence] == '`') ++fence;
    std::string_view content = code_span_content(written.substr(fence, written.size() - 2 * fence));
    const std::string_view inner = trim_unicode_space(content);
    if (inner.empty()) {
      lead = trail = false;
      return std::string(written);
    }
    const auto first = static_cast<std::size_t>(inner.data() - content.data());
    const std::size_t last = first + inner.size();
    lead = front && first > 0;
    trail = back && last < content.size();
    content = content.substr(lead ? first : 0, (trail ? last : content.size()) - (lead ? first : 0));
    std::string out;
    // Written as it stood: '|' of a table cell is escaped in it already.
    write_code_span(content, false, out, false);
    return out;
  };
  MarkerPlan plan;
  const std::size_t head_end = core.starts_with('`') ? code_span_end_from_start(core) : std::string_view::npos;
  std::optional<CodeSpanAtEnd> tail;
  // (A backtick at the end may be an escaped one of the text.)
  if (core.ends_with('`') && ends_with_code_span(core, core.size())) tail = code_span_at_end(core);
  bool lead = false, trail = false, unused = false;
  if (head_end == core.size()) {
    plan.core = trimmed(0, core.size(), true, true, lead, trail);
  } else {
    const std::size_t middle = head_end == std::string_view::npos ? 0 : head_end;
    const std::size_t tail_start = tail && tail->start >= middle ? tail->start : core.size();
    if (middle > 0) plan.core = trimmed(0, middle, true, false, lead, unused);
    plan.core += core.substr(middle, tail_start - middle);
    if (tail_start < core.size()) plan.core += trimmed(tail_start, core.size(), false, true, unused, trail);
  }
  if (!lead && !trail) return std::nullopt;
  plan.lead_space = lead;
  plan.trail_space = trail;
  return plan;
}

// Where the pair of the formatting element written right before `node`
// opened in the output (a sibling before it, or before an enclosing element
// that writes its content where it stands): a place where no pair is open.
std::optional<std::size_t> previous_pair_open(const Walk& w, NodeHandle node, const ConversionContext& context) {
  for (int levels = 0; levels < 4; ++levels) {
    const auto place = sibling_place(w, node);
    if (!place) return std::nullopt;
    for (std::size_t k = place->index; k > 0; --k) {
      const NodeHandle at = place->siblings[k - 1];
      const TlNode* n = w.dom().node(at);
      if (n == nullptr || n->is_raw()) return std::nullopt;
      if (n->is_comment() || writes_nothing(w, at, context)) continue;
      // An empty element that writes only its content writes nothing.
      const TlNode::Tag* tag = n->as_tag();
      if (tag != nullptr && tag->children.empty() && content_only(w, at, w.tag(at).id)) continue;
      const std::size_t open = place_of(w, at).pair_open;
      if (open == SIZE_MAX) return std::nullopt;
      return open;
    }
    const std::optional<NodeHandle> parent = w.dom_context().parent_of(node);
    if (!parent || !(content_only(w, *parent, w.tag(*parent).id) || w.written_in_place(*parent))) {
      return std::nullopt;
    }
    node = *parent;
  }
  return std::nullopt;
}

// The markers of the run of '*' or '_' that ends `text` (`at_end`) or starts
// it, as a reading of a text that starts with `text` pairs them
// (`partners`): each one that pairs with a byte of `text`, then that byte,
// the pair nearest the edge (the outermost) first; empty where the run is
// none or escaped.
std::vector<std::size_t> edge_run_pairs(std::string_view text, bool at_end, std::span<const std::uint32_t> partners) {
  if (text.empty()) return {};
  const std::size_t edge = at_end ? text.size() - 1 : 0;
  const char c = text[edge];
  if ((c != '*' && c != '_') || is_escaped_at(text, edge)) return {};
  std::vector<std::size_t> bytes;
  for (std::size_t k = 0; k < text.size() && text[at_end ? text.size() - 1 - k : k] == c; ++k) {
    const std::size_t at = at_end ? text.size() - 1 - k : k;
    const std::uint32_t partner = partners[at];
    if (partner == kNoPartner || partner >= text.size()) continue;
    bytes.push_back(at);
    bytes.push_back(partner);
  }
  return bytes;
}

// Of `bytes` (edge_run_pairs of `text`), those of the outermost pair: the
// markers whose partners stand in the run of the first one's partner.
std::vector<std::size_t> outermost_pair(std::string_view text, const std::vector<std::size_t>& bytes) {
  const auto run_start = [&](std::size_t at) {
    while (at > 0 && text[at - 1] == text[at]) --at;
    return at;
  };
  std::size_t count = 0;
  while (count < bytes.size() && run_start(bytes[count + 1]) == run_start(bytes[1])) count += 2;
  return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count)};
}

// `bytes` (pairs of markers of `text`, as edge_run_pairs gives them) and
// the pairs of the markers in the stretches of '*' and '_' those stand in,
// then the pairs in the stretches of those, and so on (`partners`: a
// reading of `text`): each layer added in turn, a few at most. Flipped
// together, a pair's run need not join the one it meets. With `tildes`,
// strikethrough markers count among the stretches (and pairs) too.
std::vector<std::vector<std::size_t>> touching_pairs(std::string_view text, const std::vector<std::size_t>& bytes,
                                                     std::span<const std::uint32_t> partners, bool tildes = false) {
  constexpr int kLayers = 4;
  const auto is_marker = [&](std::size_t at) {
    return (text[at] == '*' || text[at] == '_' || (tildes && text[at] == '~')) && !is_escaped_at(text, at);
  };
  std::vector<bool> taken(text.size(), false), looked(text.size(), false);
  for (const std::size_t at : bytes) taken[at] = true;
  std::vector<std::vector<std::size_t>> layers;
  std::vector<std::size_t> all = bytes;
  std::size_t layer_start = 0;
  for (int layer = 0; layer < kLayers; ++layer) {
    const std::size_t layer_end = all.size();
    // Each stretch is looked at once.
    for (std::size_t k = layer_start; k < layer_end; ++k) {
      if (looked[all[k]]) continue;
      std::size_t start = all[k], end = all[k] + 1;
      while (start > 0 && is_marker(start - 1)) --start;
      while (end < text.size() && is_marker(end)) ++end;
      for (std::size_t at = start; at < end; ++at) {
        looked[at] = true;
        const std::uint32_t partner = partners[at];
        if (taken[at] || partner == kNoPartner || partner >= text.size()) continue;
        taken[at] = taken[partner] = true;
        all.push_back(at);
        all.push_back(partner);
      }
    }
    if (all.size() == layer_end) break;
    layers.push_back(all);
    layer_start = layer_end;
  }
  return layers;
}

// The bytes of the pairs of elements inside `core` whose markers start or
// end it, in the sets tried in turn (each once): the outermost pair at the
// end, at the start, at both; then every pair of those runs.
std::vector<std::vector<std::size_t>> inner_pair_tries(std::string_view core, bool references) {
  std::vector<std::uint8_t> shown;
  std::vector<std::uint32_t> partners;
  // The markers stand beside the content.
  read_inline_emphasis(core, ReadingEdges{kPunctSide, kPunctSide, references}, shown, &partners);
  const std::vector<std::size_t> end = edge_run_pairs(core, true, partners);
  const std::vector<std::size_t> start = edge_run_pairs(core, false, partners);
  if (end.empty() && start.empty()) return {};
  const auto joined = [](std::vector<std::size_t> a, const std::vector<std::size_t>& b) {
    for (const std::size_t at : b) {
      if (std::find(a.begin(), a.end(), at) == a.end()) a.push_back(at);
    }
    return a;
  };
  const std::vector<std::size_t> outer_end = outermost_pair(core, end), outer_start = outermost_pair(core, start);
  std::vector<std::vector<std::size_t>> tries;
  for (std::vector<std::size_t> bytes :
       {outer_end, outer_start, joined(outer_end, outer_start), end, start, joined(end, start)}) {
    if (!bytes.empty() && std::find(tries.begin(), tries.end(), bytes) == tries.end()) tries.push_back(std::move(bytes));
  }
  return tries;
}

// `text` with the bytes at `bytes` in the other marker character.
std::string with_flipped(std::string_view text, std::span<const std::size_t> bytes) {
  std::string flipped(text);
  for (const std::size_t at : bytes) flipped[at] = flipped[at] == '*' ? '_' : '*';
  return flipped;
}

}  // namespace

MarkerCheck::MarkerCheck(const Walk& w, NodeHandle node, const ConversionContext& context,
                         const OuterWhitespaceSplit& split, const Markers& markers)
    : w_(w), node_(node), context_(context), split_(split), markers_(markers), strike_(is_strike_marker(markers)),
      adds_(shown_by(markers)) {
  ++w.dom_context().marker_checks;
  read_from(kWindowReach);
  after_ = split.trailing.empty() ? Beside(w, context, markers).after(node)
                                  : Beside(w, context, markers).after_space(node);
  space_ = split.leading.empty() ? "" : " ";
  references_ = context.reference_links != nullptr && w.options().link_style == LinkStyle::Reference;
  tries_.push_back(markers);
  if (!strike_) tries_.push_back(markers_of_char(markers, markers.open.front() == '*' ? '_' : '*'));
}

void MarkerCheck::read_from(std::size_t reach) {
  const std::string& out = w_.out();
  from_ = reading_window_start(out, reach, cut_);
  // Cut short, the window starts where the pair before opened, if that is
  // near.
  if (cut_) {
    const std::optional<std::size_t> open = previous_pair_open(w_, node_, context_);
    if (open && *open <= out.size() && out.size() - *open <= 2 * kWindowReach) {
      from_ = *open;
      cut_ = false;
    }
  }
  // Written where it stands into the content of a pair continued whose
  // opening marker stands before the window, it is read from where the
  // content of that pair's last element starts: a window cut inside the
  // pair may start inside the pairs of its elements.
  for (const InPlaceElement* at = w_.in_place_elements(); at != nullptr; at = at->outer) {
    if (at->out != &out || at->pair_content == SIZE_MAX) continue;
    if ((at->pair_open == SIZE_MAX || at->pair_open < from_) && at->pair_content <= out.size() &&
        out.size() - at->pair_content <= kWideReach) {
      from_ = at->pair_content;
      cut_ = false;
    }
    break;
  }
  window_ = std::string_view(out).substr(from_);
  before_ = from_ > 0 ? category_side_of_char_before(out, from_) : Beside(w_, context_, markers_).before_buffer(node_);
}

bool MarkerCheck::widened(std::size_t difference) {
  constexpr std::size_t kNear = 32;
  if (!cut_ || difference == std::string_view::npos) return false;
  // Near the window's end the markers mostly meet what they meet whatever
  // the window's start; but a window that starts inside a code span or a
  // pair may read them otherwise there too: read somewhat further back for
  // one check in thirty-two at most, so that the work stays linear.
  if (difference + kNear >= window_.size()) {
    const DomContext& dom = w_.dom_context();
    if (dom.marker_checks_widened >= dom.marker_checks / 32 + 16) return false;
    ++dom.marker_checks_widened;
    read_from(kNearWideReach);
    return true;
  }
  read_from(kWideReach);
  return true;
}

bool MarkerCheck::joins(std::string_view close, std::optional<std::size_t> pair_content) {
  const std::string& out = w_.out();
  if (out.size() < close.size()) return false;
  // The pair's content from where it starts, after a marker that stands for
  // its opening one (which opened where it stands).
  if (pair_content) {
    const std::string_view head(out.data() + *pair_content, out.size() - close.size() - *pair_content);
    const MarkdownPiece plain[] = {{close, true}, {head}, {close, true}, {kStandIn, true}, {split_.core},
                                   {kStandIn, true}};
    const MarkdownPiece written[] = {{close, true}, {head}, {split_.core, false, adds_}, {close, true}};
    return reads_as_planned(plain, written, ReadingEdges{kSpaceSide, after_, references_});
  }
  if (window_.size() < close.size()) return false;
  const std::string_view head = window_.substr(0, window_.size() - close.size());
  const MarkdownPiece plain[] = {{head}, {close, true}, {kStandIn, true}, {split_.core}, {kStandIn, true}};
  const MarkdownPiece written[] = {{head}, {split_.core, false, adds_}, {close, true}};
  return reads_as_planned(plain, written, edges(after_));
}

bool MarkerCheck::rejoined_reads(std::string_view saved, std::size_t from, std::string_view opener) const {
  const std::string& out = w_.out();
  if (from > out.size()) return false;
  std::uint8_t before = from == from_ || from == 0 ? before_ : category_side_of_char_before(out, from);
  std::string written(opener);
  written.append(out, from);
  if (!opener.empty()) before = kSpaceSide;
  const MarkdownPiece plain[] = {{opener, true}, {saved}, {space_}, {kStandIn, true}, {split_.core, false, adds_},
                                 {kStandIn, true}};
  return reads_alike(plain, written, ReadingEdges{before, after_, references_});
}

bool MarkerCheck::bare_reads(std::string_view saved, std::size_t from) const {
  const std::string& out = w_.out();
  if (from > out.size()) return false;
  const std::uint8_t before = from == from_ || from == 0 ? before_ : category_side_of_char_before(out, from);
  const MarkdownPiece plain[] = {{saved}, {space_}, {kStandIn, true}, {split_.core}, {kStandIn, true}};
  return reads_alike(plain, std::string_view(out).substr(from), ReadingEdges{before, after_, references_});
}

std::optional<MarkerPlan> MarkerCheck::plan() {
  const Spans whole{{0, split_.core.size()}};
  std::size_t difference = std::string_view::npos;
  bool own_reads = reads(window_, split_.core, markers_, whole, space_, "", after_, &difference);
  // A window cut short may start inside a link or a pair, which reads
  // otherwise from its start: where the readings differ well before the
  // markers, the output is read further back.
  if (!own_reads && widened(difference)) own_reads = reads(window_, split_.core, markers_, whole, space_, "", after_);
  // The marker of emphasis inside that starts or ends the content would
  // join this one's into a run whose pairing turns on what comes to stand
  // beyond it later (a closer "**" beside another marker pairs by its
  // length): the other character keeps the runs apart, or else the pair
  // inside, which this one stands for, goes; the joined run comes last.
  const Markers* joined = nullptr;
  if (own_reads) {
    if (!meets_inner_emphasis(markers_)) return plan_with(markers_, whole);
    joined = &markers_;
  }
  for (const Markers& m : std::span(tries_).subspan(1)) {
    // Markers of the other character may meet other ones after them.
    const std::uint8_t after = split_.trailing.empty() ? Beside(w_, context_, m).after(node_) : after_;
    if (reads(window_, split_.core, m, whole, space_, "", after)) {
      if (!meets_inner_emphasis(m)) return plan_with(m, whole);
      if (joined == nullptr) joined = &m;
    }
  }
  if (joined != nullptr) {
    if (std::optional<MarkerPlan> inner = with_inner_pairs_dropped()) return inner;
    return plan_with(*joined, whole);
  }
  if (std::optional<MarkerPlan> flipped = with_pair_before_flipped()) return flipped;
  if (std::optional<MarkerPlan> inside = with_link_text_apart()) return inside;
  if (std::optional<MarkerPlan> moved = with_code_edges_apart()) return moved;
  if (std::optional<MarkerPlan> inner = with_inner_pairs_flipped()) return inner;
  if (std::optional<MarkerPlan> inner = with_inner_pairs_dropped()) return inner;
  return with_pair_before_dropped();
}

bool MarkerCheck::meets_inner_emphasis(const Markers& m) const {
  if (strike_ || adds_ != kShownEmphasis || m.open.size() != 1) return false;
  const std::string_view core = split_.core;
  const char c = m.open.front();
  // A lone marker of this character at the end (not one of a longer run).
  // What stands before an opening run is written already: its reading
  // holds there.
  return core.size() >= 2 && core.back() == c && core[core.size() - 2] != c && !is_escaped_at(core, core.size() - 1);
}

MarkerPlan MarkerCheck::plan_with(const Markers& m, Spans spans) const {
  MarkerPlan plan;
  plan.markers = m;
  plan.core = std::string(split_.core);
  plan.spans = std::move(spans);
  return plan;
}

// The bytes of the window (offsets into it) of the pair whose closing
// marker ends the output right where this content starts, in pairs of
// closing and opening bytes, the outermost pair first; empty where the
// output ends otherwise.
std::vector<std::size_t> MarkerCheck::pair_before(std::vector<std::uint32_t>* window_partners) const {
  if (!split_.leading.empty() || window_.empty()) return {};
  const char last = window_.back();
  if ((last != '*' && last != '_' && last != '~') || is_escaped_at(window_, window_.size() - 1)) return {};
  std::string plain(window_);
  plain += kStandIn;
  plain += split_.core;
  std::vector<std::uint8_t> shown;
  std::vector<std::uint32_t> partners;
  const auto lowest = [](std::uint8_t sides) { return static_cast<std::uint8_t>(sides & -sides); };
  read_inline_emphasis(plain, ReadingEdges{lowest(before_), lowest(after_), references_}, shown, &partners);
  if (window_partners != nullptr) {
    partners.resize(window_.size());
    *window_partners = partners;
  }
  if (last == '~') {
    std::vector<std::size_t> bytes;
    for (std::size_t k = window_.size(); k > 0 && window_[k - 1] == last; --k) {
      const std::uint32_t partner = partners[k - 1];
      if (partner == kNoPartner || partner >= window_.size()) continue;
      bytes.push_back(k - 1);
      bytes.push_back(partner);
    }
    return bytes;
  }
  return edge_run_pairs(window_, true, std::span(partners).first(window_.size()));
}

// The pair that ends the output right where this one starts, written in the
// other character, with this one in its character: all the pairs whose
// markers end the output there, or the outermost alone (which the new
// markers meet), or those with the pairs whose runs theirs meet (which
// took the other character to stay apart from them).
std::optional<MarkerPlan> MarkerCheck::with_pair_before_flipped() const {
  if (strike_) return std::nullopt;
  std::vector<std::uint32_t> partners;
  const std::vector<std::size_t> bytes = pair_before(&partners);
  if (bytes.empty() || window_.back() == '~') return std::nullopt;
  const char last = window_.back();
  const Spans whole{{0, split_.core.size()}};
  const std::vector<std::size_t> outermost = outermost_pair(window_, bytes);
  std::vector<const std::vector<std::size_t>*> flips{&bytes};
  if (outermost.size() != bytes.size()) flips.push_back(&outermost);
  // Written into the content of an element converted where it stands, the
  // pairs that opened before that content are not this writer's to change.
  std::size_t content_start = 0;
  for (const InPlaceElement* at = w_.in_place_elements(); at != nullptr; at = at->outer) {
    if (at->out != &w_.out()) continue;
    content_start = at->start;
    break;
  }
  const std::vector<std::vector<std::size_t>> touching = touching_pairs(window_, bytes, partners);
  for (const std::vector<std::size_t>& layer : touching) {
    if (from_ + *std::min_element(layer.begin(), layer.end()) < content_start) break;
    flips.push_back(&layer);
  }
  for (const std::vector<std::size_t>* flip : flips) {
    MarkerPlan plan = plan_with(markers_of_char(markers_, last), whole);
    for (const std::size_t at : *flip) plan.flipped.push_back(from_ + at);
    if (reads(with_flipped(window_, *flip), split_.core, plan.markers, whole, "", "", after_)) return plan;
  }
  return std::nullopt;
}

// The pair of elements inside whose markers start or end the content (which
// this one's meet), written in the other character: the outermost pair at
// the end, at the start, at both; then every pair of those runs.
std::optional<MarkerPlan> MarkerCheck::with_inner_pairs_flipped() const {
  if (strike_) return std::nullopt;
  const std::string_view core = split_.core;
  const Spans whole{{0, core.size()}};
  for (const std::vector<std::size_t>& flip : inner_pair_tries(core, references_)) {
    const std::string flipped = with_flipped(core, flip);
    for (const Markers& m : tries_) {
      if (reads(window_, flipped, m, whole, space_, "", after_, nullptr, core)) {
        MarkerPlan plan = plan_with(m, whole);
        plan.core = flipped;
        return plan;
      }
    }
  }
  return std::nullopt;
}

// The pairs of elements inside whose markers start or end the content left
// out: emphasis inside emphasis shows as the enclosing pair alone does
// ("*a b*" for "*a *b**", whose closer "**" pairs by its length beside
// other markup). Tried as with_inner_pairs_flipped; the reading must show
// the content's formatting as it was, so only pairs the new one stands for
// go.
std::optional<MarkerPlan> MarkerCheck::with_inner_pairs_dropped() const {
  if (strike_ || adds_ != kShownEmphasis) return std::nullopt;
  const std::string_view core = split_.core;
  const std::string_view beyond_open = space_.empty() ? edge_stand_in(window_, false, before_) : " ";
  for (std::vector<std::size_t> drop : inner_pair_tries(core, references_)) {
    std::sort(drop.begin(), drop.end());
    std::string kept;
    kept.reserve(core.size());
    // The stretches between the bytes left out, in both readings; the
    // bytes themselves stand as markup in the plain one only.
    std::vector<std::pair<std::size_t, std::size_t>> stretches;
    std::size_t at = 0;
    for (const std::size_t byte : drop) {
      stretches.emplace_back(at, byte);
      kept.append(core.substr(at, byte - at));
      at = byte + 1;
    }
    stretches.emplace_back(at, core.size());
    kept.append(core.substr(at));
    for (const Markers& m : tries_) {
      const std::uint8_t after = split_.trailing.empty() ? Beside(w_, context_, m).after(node_) : after_;
      std::vector<MarkdownPiece> plain{{window_}, {space_}, {kStandIn, true}, {beyond_open, true}};
      std::vector<MarkdownPiece> written{{window_}, {space_}, {m.open, true}};
      std::size_t written_at = 0;
      for (std::size_t i = 0; i < stretches.size(); ++i) {
        const auto [from, to] = stretches[i];
        plain.push_back({core.substr(from, to - from)});
        if (i + 1 < stretches.size()) plain.push_back({core.substr(to, 1), true});
        written.push_back({std::string_view(kept).substr(written_at, to - from), false, adds_});
        written_at += to - from;
      }
      plain.push_back({edge_stand_in("", true, after), true});
      plain.push_back({kStandIn, true});
      written.push_back({m.close, true});
      if (reads_as_planned(plain, written, edges(after))) {
        MarkerPlan plan = plan_with(m, {{0, kept.size()}});
        plan.core = kept;
        return plan;
      }
    }
  }
  return std::nullopt;
}

// The pair that ends the output right where this one starts left out, where
// no writing of both reads and this content written without markers may not
// read either (the writer tries that first, see bare_reads): this one is
// written in its stead, with markers where they read now, else without.
// nullopt where the pair before reads with this content as it stands
// written without markers.
std::optional<MarkerPlan> MarkerCheck::with_pair_before_dropped() const {
  std::vector<std::uint32_t> partners;
  const std::vector<std::size_t> first_pair = pair_before(&partners);
  if (first_pair.empty()) return std::nullopt;
  const MarkdownPiece before_plain[] = {{window_}, {kStandIn, true}, {split_.core}};
  const MarkdownPiece before_bare[] = {{window_}, {split_.core}};
  if (reads_as_planned(before_plain, before_bare, edges(after_))) return std::nullopt;
  // The pair alone, or with the pairs whose markers stand beside its own
  // (which may have faced those markers to close or open).
  std::vector<std::vector<std::size_t>> candidates{first_pair};
  for (std::vector<std::size_t>& layer : touching_pairs(window_, first_pair, partners, true)) {
    candidates.push_back(std::move(layer));
  }
  const std::vector<std::size_t>* chosen = nullptr;
  std::string dropped;
  for (const std::vector<std::size_t>& bytes : candidates) {
    // Written into the content of an element converted where it stands, a
    // pair that opened before that content is not this writer's to take
    // out: the element's content is measured from where it starts.
    const std::size_t first = from_ + *std::min_element(bytes.begin(), bytes.end());
    bool outside = false;
    for (const InPlaceElement* at = w_.in_place_elements(); at != nullptr; at = at->outer) {
      if (at->out != &w_.out()) continue;
      outside = first < at->start;
      break;
    }
    if (outside) break;
    dropped.clear();
    for (std::size_t k = 0; k < window_.size(); ++k) {
      if (std::find(bytes.begin(), bytes.end(), k) == bytes.end()) dropped += window_[k];
    }
    // The pairs left out, the rest of what stood before shows as it did
    // (but for those pairs' formatting).
    std::string was(window_), now(dropped);
    was += kStandIn;
    now += kStandIn;
    std::vector<std::uint8_t> was_shown, now_shown;
    const ReadingEdges sides = edges(kSpaceSide);
    read_inline_emphasis(was, sides, was_shown);
    read_inline_emphasis(now, sides, now_shown);
    bool alike = true;
    for (std::size_t k = 0, at = 0; k < window_.size() && alike; ++k) {
      if (std::find(bytes.begin(), bytes.end(), k) != bytes.end()) continue;
      alike = ((was_shown[k] ^ now_shown[at++]) & kShownText) == 0;
    }
    if (alike) {
      chosen = &bytes;
      break;
    }
  }
  if (chosen == nullptr) return std::nullopt;
  const std::vector<std::size_t>& bytes = *chosen;
  const Spans whole{{0, split_.core.size()}};
  MarkerPlan plan = plan_with(markers_, whole);
  for (const std::size_t at : bytes) plan.dropped.push_back(from_ + at);
  std::sort(plan.dropped.begin(), plan.dropped.end());
  for (const Markers& m : tries_) {
    const MarkdownPiece plain[] = {{dropped}, {kStandIn, true}, {split_.core}, {kStandIn, true}};
    const MarkdownPiece written[] = {{dropped}, {m.open, true}, {split_.core, false, adds_}, {m.close, true}};
    if (reads_as_planned(plain, written, edges(after_))) {
      plan.markers = m;
      return plan;
    }
  }
  plan.bare = true;
  return plan;
}

// The markers inside the brackets of a link at an edge of the content (a
// link's text is read apart, and its brackets stand beside the markers),
// and around the rest apart.
std::optional<MarkerPlan> MarkerCheck::with_link_text_apart() const {
  const std::string_view core = split_.core;
  if (core.find('[') == std::string_view::npos) return std::nullopt;
  if (std::optional<MarkerPlan> wrapped = with_wrapped_link_text_apart()) return wrapped;
  const std::optional<LinkSpan> first = link_at_edge(core, true, references_);
  const std::optional<LinkSpan> last =
      first && first->end == core.size() ? first : link_at_edge(core, false, references_);
  if (!first && !last) return std::nullopt;
  Spans spans;
  std::size_t rest = 0, rest_end = core.size();
  if (first) {
    spans.emplace_back(first->label_start, first->label_end);
    rest = first->end;
  }
  if (last && last->start >= rest) rest_end = last->start;
  // White space between the link and the rest stays outside the markers.
  const std::string_view middle = trim_unicode_space(core.substr(rest, rest_end - rest));
  if (!middle.empty()) {
    const auto at = static_cast<std::size_t>(middle.data() - core.data());
    spans.emplace_back(at, at + middle.size());
  }
  if (last && last->start >= rest) spans.emplace_back(last->label_start, last->label_end);
  for (const Markers& m : tries_) {
    if (reads(window_, core, m, spans, space_, "", after_)) return plan_with(m, spans);
  }
  return std::nullopt;
}

// A link in the markers of elements inside (written outside its brackets),
// "**[a](u)**": those go inside the brackets too, with these.
std::optional<MarkerPlan> MarkerCheck::with_wrapped_link_text_apart() const {
  const std::string_view core = split_.core;
  const std::size_t open = core.find_first_not_of("*_~");
  std::size_t close = core.size();
  while (close > 0 && std::string_view("*_~").find(core[close - 1]) != std::string_view::npos &&
         !is_escaped_at(core, close - 1)) {
    --close;
  }
  if (open == 0 || open == std::string_view::npos || close == core.size() || close <= open) return std::nullopt;
  const std::string_view link = core.substr(open, close - open);
  const std::optional<LinkSpan> whole = link_at_edge(link, true, references_);
  if (!whole || whole->end != link.size()) return std::nullopt;
  MarkerPlan plan;
  plan.core = link.substr(0, whole->label_start);
  plan.core += core.substr(0, open);
  plan.core += link.substr(whole->label_start, whole->label_end - whole->label_start);
  plan.core += core.substr(close);
  const std::size_t label_end = plan.core.size();
  plan.core += link.substr(whole->label_end);
  const Spans spans{{whole->label_start, label_end}};
  for (const Markers& m : tries_) {
    if (reads(window_, plan.core, m, spans, space_, "", after_)) {
      plan.markers = m;
      plan.spans = spans;
      return plan;
    }
  }
  return std::nullopt;
}

// With the white space at a code span's edge outside the span.
std::optional<MarkerPlan> MarkerCheck::with_code_edges_apart() const {
  std::optional<MarkerPlan> moved = with_code_edges_out(split_.core);
  if (!moved) return std::nullopt;
  const std::string_view lead = moved->lead_space ? " " : space_;
  const std::string_view trail = moved->trail_space ? " " : "";
  const std::uint8_t after = moved->trail_space ? static_cast<std::uint8_t>(kSpaceSide) : after_;
  const Spans all{{0, moved->core.size()}};
  for (const Markers& m : tries_) {
    if (reads(window_, moved->core, m, all, lead, trail, after)) {
      moved->markers = m;
      moved->spans = all;
      return moved;
    }
  }
  return std::nullopt;
}

// `head` (the output's end, as it stands or changed) and `lead`, then `core`
// with the markers `m` around each of `spans`, then `trail`, read against
// the output's end and the core with plain punctuation in the markers'
// place. `plain_core`, where given, is what `core` (as long) stands for
// there: the core before markers in it took the other character.
bool MarkerCheck::reads(std::string_view head, std::string_view core, const Markers& m, const Spans& spans,
                        std::string_view lead, std::string_view trail, std::uint8_t after, std::size_t* difference,
                        std::optional<std::string_view> plain_core) const {
  // Most often nothing beside the markers is markup: their flanks decide.
  if (spans.size() == 1 && spans.front().first == 0 && spans.front().second == core.size() && head == window_ &&
      !plain_core) {
    if (const std::optional<bool> quick =
            lone_pair_reads(head, !lead.empty(), m.open, core, m.close, trail, edges(after))) {
      return *quick;
    }
  }
  std::vector<MarkdownPiece> plain{{window_}, {lead}};
  std::vector<MarkdownPiece> written{{head}, {lead}};
  const auto text = [&](std::string_view piece, std::uint8_t adds) {
    // The same stretch of the plain core.
    const std::string_view was =
        plain_core ? plain_core->substr(static_cast<std::size_t>(piece.data() - core.data()), piece.size()) : piece;
    plain.push_back({was});
    written.push_back({piece, false, adds});
  };
  // In the reading without markers, what stands outside them meets
  // punctuation, and the content meets what stands beyond them, as it was
  // written to (see Beside).
  const auto marker = [&](std::string_view piece, std::string_view beyond, bool opening) {
    if (!opening) plain.push_back({beyond, true});
    plain.push_back({kStandIn, true});
    if (opening) plain.push_back({beyond, true});
    written.push_back({piece, true});
  };
  std::size_t at = 0;
  for (const auto& [start, end] : spans) {
    const std::string_view before = (plain_core ? *plain_core : core).substr(0, start);
    text(core.substr(at, start - at), 0);
    if (!before.empty()) {
      marker(m.open, edge_stand_in(before, false, kAnySide), true);
    } else {
      marker(m.open, !lead.empty() ? " " : edge_stand_in(window_, false, before_), true);
    }
    text(core.substr(start, end - start), adds_);
    const std::string_view rest = (plain_core ? *plain_core : core).substr(end);
    marker(m.close, edge_stand_in(!rest.empty() ? rest : trail, true, after), false);
    at = end;
  }
  text(core.substr(at), 0);
  plain.push_back({trail});
  written.push_back({trail});
  return reads_as_planned(plain, written, edges(after), difference);
}

}  // namespace tidewell
