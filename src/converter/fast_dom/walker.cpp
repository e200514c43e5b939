#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

#include "common/ascii.hpp"
#include "common/entities.hpp"
#include "common/scan.hpp"
#include "common/tags.hpp"
#include "common/unicode_space.hpp"
#include "common/utf8.hpp"
#include "converter/fast_dom/fast_dom.hpp"
#include "converter/fast_dom/markdown.hpp"
#include "converter/fast_dom/markers.hpp"
#include "converter/plain/plain_kind.hpp"
#include "converter/text/line_fold.hpp"
#include "converter/text/processing.hpp"

namespace tidewell {

using fast_dom::append_code_span;
using fast_dom::find_marker_byte;
using fast_dom::is_marker_byte;

namespace {

std::pair<FastDomTagClass, int> classify(TagId id) {
  using C = FastDomTagClass;
  switch (id) {
    // A head is walked like any container: what it holds besides these
    // (text, a span, a paragraph) an HTML reader moves into the body.
    case TagId::Style:
    case TagId::Script:
    case TagId::Template:
    case TagId::Noscript:
    // A title is a head entry wherever it stands, never body text.
    case TagId::Title:
      return {C::Skip, 0};
    case TagId::H1: return {C::Heading, 1};
    case TagId::H2: return {C::Heading, 2};
    case TagId::H3: return {C::Heading, 3};
    case TagId::H4: return {C::Heading, 4};
    case TagId::H5: return {C::Heading, 5};
    case TagId::H6: return {C::Heading, 6};
    case TagId::P: return {C::Paragraph, 0};
    case TagId::Br: return {C::LineBreak, 0};
    case TagId::B:
    case TagId::Strong:
      return {C::Strong, 0};
    case TagId::I:
    case TagId::Em:
      return {C::Emphasis, 0};
    case TagId::Code: return {C::Code, 0};
    case TagId::Pre: return {C::Preformatted, 0};
    case TagId::A: return {C::Anchor, 0};
    case TagId::Img: return {C::Image, 0};
    case TagId::Ul: return {C::UnorderedList, 0};
    case TagId::Ol: return {C::OrderedList, 0};
    case TagId::Li: return {C::ListItem, 0};
    case TagId::Blockquote: return {C::Blockquote, 0};
    case TagId::Hr: return {C::Rule, 0};
    case TagId::Table: return {C::Table, 0};
    case TagId::Thead:
    case TagId::Tbody:
    case TagId::Tfoot:
      return {C::TableSection, 0};
    case TagId::Tr: return {C::TableRow, 0};
    case TagId::Td:
    case TagId::Th:
    case TagId::Caption:
      return {C::Cell, 0};
    default:
      return {C::Other, 0};
  }
}

}  // namespace

std::pair<FastDomTagClass, int> classify_fast_dom_tag(std::string_view name) {
  return classify(tag_id_ignore_case(name));
}

namespace {

using C = FastDomTagClass;

// Elements nested deeper than this are written without markup of their own
// (their text and their separation stay): every rewrite of an element's
// output then stays proportional to the page, whatever the nesting.
constexpr std::size_t kMarkupDepth = 256;

// What an open element does when its children are done.
enum class Action : std::uint8_t {
  Transparent,   // nothing
  Block,         // a paragraph or other block: separation after it
  InlineBlock,   // a block inside inline content: a space after it
  Heading,
  Strong,
  Emphasis,
  CodeSpan,
  CodeBlock,
  Link,
  List,
  ListItem,
  Blockquote,
  Table,         // collects its rows, writes them at its end
  TableSection,  // collects rows for the table
  TableRow,      // collects cells for the table
  Cell,          // one cell's text for the table
  Caption,       // a table's caption, written before it
  Stray,         // content of a table outside its cells, written before it
};

struct Frame {
  NodeHandle node = 0;
  std::uint32_t next_child = 0;
  FastDomState state;            // the state of its children
  Action action = Action::Transparent;
  std::uint8_t level = 0;        // heading level
  bool outer_inline = false;     // the element itself stands in inline content
  std::size_t outer_base = 0;    // start of the buffer the element writes into
  std::size_t base = 0;          // start of the buffer its children write into
  std::size_t mark = 0;          // element-specific offset in the output
  // Emphasis whose opening marker was settled at a block edge inside it
  // (a list item, code block or table in its content): its mark is gone,
  // and it opens again before its next content (reopen_settled).
  bool settled = false;
  // An inline element around list items, closed before an item's marker
  // and opened again after it: a piece of it beside the items (not an
  // item's content) writes nothing when it holds no text.
  bool split = false;
  // A list item inside inline elements, which stand open again on the
  // stack below it (see open_list_item); a list the inline elements around
  // it were closed before (see wrappers_around_list).
  bool wrapped = false;
};

// One table being collected: cell texts back to back, cells and row ends.
struct TableRecord {
  std::string cells;
  std::vector<std::pair<std::size_t, std::size_t>> spans;  // (offset, length) in `cells`
  std::vector<std::size_t> row_ends;                         // spans index after each row
  std::string caption;
  std::string strays;  // text outside the cells, as a browser shows it: before the table
  // The table stands in inline content: its caption and strays go on with
  // the run around it (their markers settle with it).
  bool inline_table = false;

  void clear() {
    cells.clear();
    spans.clear();
    row_ends.clear();
    caption.clear();
    strays.clear();
  }
};

bool is_ascii_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// Bytes that may start a white-space character.
bool may_start_space(unsigned char c) {
  return c == ' ' || (c >= '\t' && c <= '\r') || c == 0xC2 || c == 0xE1 || c == 0xE2 || c == 0xE3;
}

bool is_block_element(TagId id) { return tag_has(id, kBlock) || plain_kind(id) == PlainKind::Block; }

// The first character of `bullets`, '-' when there is none.
std::string_view bullet_of(const ConversionOptions& options) {
  const std::string_view bullets = options.bullets;
  if (bullets.empty()) return "-";
  const auto lead = static_cast<unsigned char>(bullets[0]);
  const std::size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  return bullets.substr(0, std::min(len, bullets.size()));
}

// The bullet of a list that follows a list of bullet `first`: the next of
// `bullets`, or "*" or "-" when it has no other.
std::string_view other_bullet_of(const ConversionOptions& options, std::string_view first) {
  const std::string_view rest = std::string_view(options.bullets).substr(std::min(first.size(), options.bullets.size()));
  if (!rest.empty()) {
    const auto lead = static_cast<unsigned char>(rest[0]);
    const std::size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const std::string_view next = rest.substr(0, std::min(len, rest.size()));
    if (next != first) return next;
  }
  return first == "-" ? "*" : "-";
}


class Walker {
 public:
  Walker(const TlDom& dom, const ConversionOptions& options, std::string& out)
      : dom_(dom), options_(options), emphasis_options_(options), out_(out), bullet_(bullet_of(options)),
        other_bullet_(other_bullet_of(options, bullet_)) {
    // This road's emphasis markers are '*' whatever `strong_em_symbol` says.
    emphasis_options_.strong_em_symbol = U'*';
  }

  void walk(NodeHandle root, FastDomState state) {
    visit(root, state, 0, 0);
    while (!stack_.empty()) {
      Frame& frame = stack_.back();
      const TlNode::Tag* tag = dom_.tag(frame.node);
      const auto children = tag->children.as_span();
      if (frame.next_child < children.size()) {
        const NodeHandle child = children[frame.next_child++];
        const std::size_t depth = stack_.size();
        switch (frame.action) {
          case Action::Table:
          case Action::TableSection:
            collect_row_or_section(child, frame.state, frame.base);
            break;
          case Action::TableRow:
            collect_cell(child, frame.state);
            break;
          default:
            in_frame_ = true;
            visit(child, frame.state, frame.base, depth);
            in_frame_ = false;
            break;
        }
        continue;
      }
      const Frame done = frame;
      pop_frame();
      close(done);
    }
    settle_run();
    // Marker bytes that no settled run took write nothing.
    if (const std::size_t left =
            pending_ != std::string::npos || markers_moved_ ? find_marker_byte(out_) : std::string::npos;
        left != std::string::npos) {
      out_.erase(std::remove_if(out_.begin() + static_cast<std::ptrdiff_t>(left), out_.end(),
                                [](char c) { return is_marker_byte(c); }),
                 out_.end());
    }
  }

 private:
  // What a reader finds after the child just taken from `frame`, where that
  // is cheap to tell: white space when a text of white space comes next,
  // a line end when the child ends a block; otherwise not known.
  int follower(const Frame& frame, std::span<const NodeHandle> children) const {
    if (frame.next_child < children.size()) {
      const TlNode* next = dom_.node(children[frame.next_child]);
      const TlNode::Raw* raw = next != nullptr ? next->as_raw() : nullptr;
      return raw != nullptr && space_len_at(dom_.bytes(raw->text), 0) != 0 ? ' ' : kUnknownNeighbour;
    }
    switch (frame.action) {
      case Action::Block:
      case Action::Heading:
      case Action::ListItem:
      case Action::Blockquote:
        return '\n';
      default:
        return kUnknownNeighbour;
    }
  }

  // --- the output as one buffer seen from `base` ----------------------------

  bool empty_from(std::size_t base) const { return out_.size() <= base; }
  char last_from(std::size_t base) const { return empty_from(base) ? '\0' : out_.back(); }
  bool ends_with_from(std::size_t base, std::string_view s) const {
    return out_.size() - base >= s.size() && std::string_view(out_).substr(out_.size() - s.size()) == s;
  }
  void trim_spaces_tabs(std::size_t base) {
    std::size_t n = out_.size();
    while (n > base && (out_[n - 1] == ' ' || out_[n - 1] == '\t')) --n;
    cut(n);
  }
  void trim_end(std::size_t base) {
    std::size_t n = out_.size();
    while (n > base) {
      const std::size_t len = space_len_before(out_, n);
      if (len == 0) break;
      n -= len;
    }
    cut(std::max(n, base));
  }
  // Cuts the output to `size` (when longer). The code span noted past it
  // is gone: output written there later is not beside it.
  void cut(std::size_t size) {
    if (size < out_.size()) out_.erase(size);
    if (last_code_.end > size) last_code_ = {};
    if (pending_ != std::string::npos && pending_ >= size) pending_ = std::string::npos;
    run_start_ = std::min(run_start_, size);
  }

  // A blank line before a block; `also_empty`: an empty buffer gets one too.
  void blank_line(std::size_t base, bool also_empty) {
    settle_run();
    if (!empty_from(base) || also_empty) {
      trim_spaces_tabs(base);
      if (!ends_with_from(base, "\n\n")) out_ += last_from(base) == '\n' ? "\n" : "\n\n";
    }
    block_edge();
  }
  // A space apart from what precedes, inside inline content.
  void space_apart(std::size_t base) {
    const char last = last_from(base);
    if (last != '\0' && !is_ascii_space(last)) out_ += ' ';
    // At the start of a link's text the space goes before its bracket.
    if (last == '\0' && at_link_start(base)) out_ += ' ';
  }
  // `base` starts the text of the link on top (through elements in it that
  // write into the same buffer), which moves white space at its start
  // before its bracket.
  bool at_link_start(std::size_t base) const {
    if (base == 0) return false;
    for (std::size_t at = stack_.size(); at > 0; --at) {
      const Frame& frame = stack_[at - 1];
      if (frame.base != base) return false;
      if (frame.action == Action::Link) return true;
      if (frame.action != Action::Transparent && frame.action != Action::Strong && frame.action != Action::Emphasis) {
        return false;
      }
    }
    return false;
  }
  // Starts a new line, inside inline content.
  void line_apart(std::size_t base) {
    settle_run();
    trim_spaces_tabs(base);
    if (!empty_from(base) && out_.back() != '\n') out_ += '\n';
    block_edge();
  }

  // --- emphasis markers ----------------------------------------------------
  //
  // Strong and emphasis elements write a marker byte where they open and
  // close (markers.hpp). A run of inline content is settled where it ends
  // (at a block's edge, or where its text is taken elsewhere): its markers
  // are then written as a reader will pair them, with both sides known.

  void write_marker(unsigned char byte) {
    if (pending_ == std::string::npos) pending_ = out_.size();
    out_ += static_cast<char>(byte);
  }

  // Output appended from `from` on may hold marker bytes (text taken out
  // and written back).
  void note_markers_from(std::size_t from) {
    const std::size_t at = find_marker_byte(out_, from);
    if (at != std::string::npos && (pending_ == std::string::npos || at < pending_)) pending_ = at;
  }

  // Settles the markers of out_[from, end): white space or a line's edge
  // stands on both sides of it.
  void settle_from(std::size_t from) {
    if (pending_ == std::string::npos || from >= out_.size()) return;
    const bool all = pending_ >= from;
    if (!(all && pending_ < out_.size() && is_marker_byte(out_[pending_])) &&
        find_marker_byte(out_, std::max(from, pending_)) == std::string::npos) {
      if (all) pending_ = std::string::npos;
      return;
    }
    // The places open elements keep inside the run move with its bytes;
    // an opening marker settled here is gone for its element.
    const std::size_t end = out_.size();
    const auto inside = [&](std::size_t at) { return at != std::string::npos && at > from && at < end; };
    places_before_.clear();
    const auto collect = [&](std::size_t& at) {
      if (inside(at)) places_before_.push_back(at - from);
    };
    each_open_place(collect);
    collect(last_code_.end);
    collect(list_end_.at);
    std::sort(places_before_.begin(), places_before_.end());
    places_before_.erase(std::unique(places_before_.begin(), places_before_.end()), places_before_.end());
    places_after_ = places_before_;
    const std::string_view line = std::string_view(out_).substr(0, from);
    const std::size_t line_start = line.rfind('\n');
    settled_.clear();
    settler_.settle(std::string_view(out_).substr(from),
                    line.substr(line_start == std::string_view::npos ? 0 : line_start + 1), settled_, places_after_);
    for (Frame& frame : stack_) {
      if ((frame.action == Action::Strong || frame.action == Action::Emphasis) && frame.mark >= from &&
          !frame.settled) {
        frame.settled = true;
        ++settled_open_;
      }
    }
    const auto move = [&](std::size_t& at) {
      if (at == std::string::npos || at <= from) return;
      if (at >= end) {
        at = at - end + from + settled_.size();
        return;
      }
      const auto found = std::lower_bound(places_before_.begin(), places_before_.end(), at - from);
      at = from + places_after_[static_cast<std::size_t>(found - places_before_.begin())];
    };
    each_open_place(move);
    move(last_code_.end);
    move(list_end_.at);
    out_.resize(from);
    out_ += settled_;
    if (all) pending_ = std::string::npos;
  }

  // Settles the run of inline content written since the last block edge
  // (not inside an element whose content is folded onto one line later:
  // its line breaks are no edges).
  void settle_run() {
    if (pending_ == std::string::npos || folding_ != 0) return;
    settle_from(run_start_);
    run_start_ = out_.size();
  }

  // A block edge was written: a new run starts.
  void block_edge() {
    // (Only where a line or white space stands before: an element that
    // wrote nothing is no edge.)
    if (folding_ != 0 || (!out_.empty() && out_.back() != '\n' && out_.back() != ' ')) return;
    run_start_ = out_.size();
  }

  // Emphasis whose opening marker a block edge inside it settled opens
  // again where its content goes on (not inside an element whose content
  // is taken elsewhere: a link or a code span opens it before itself).
  void reopen_settled() {
    if (settled_open_ == 0 || folding_ != 0) return;
    for (Frame& frame : stack_) {
      if (!frame.settled) continue;
      frame.settled = false;
      frame.mark = out_.size();
      write_marker(frame.action == Action::Strong ? fast_dom::kStrongOpen : fast_dom::kEmphasisOpen);
    }
    settled_open_ = 0;
  }

  // Elements whose content is taken and folded onto one line when they
  // end, or collected for a table.
  static bool folds(const Frame& f) {
    switch (f.action) {
      case Action::Link:
      case Action::Heading:
      case Action::CodeSpan:
      case Action::CodeBlock:
      case Action::Table:
      case Action::TableSection:
      case Action::TableRow:
      case Action::Cell:
      case Action::Caption:
      case Action::Stray:
        return true;
      case Action::Blockquote:
        return f.outer_inline;
      default:
        return false;
    }
  }

  void push_frame(const Frame& frame) {
    stack_.push_back(frame);
    if (folds(frame)) ++folding_;
  }

  void pop_frame() {
    if (folds(stack_.back())) --folding_;
    if (stack_.back().settled) --settled_open_;
    stack_.pop_back();
  }
  // Separation before a block element in `state`.
  void open_block(const FastDomState& state, std::size_t base) {
    if (state.inline_context) {
      space_apart(base);
    } else {
      blank_line(base, false);
    }
  }

  // --- nodes -------------------------------------------------------------

  void visit(NodeHandle node, const FastDomState& state, std::size_t base, std::size_t depth) {
    const TlNode* n = dom_.node(node);
    if (n == nullptr) return;
    if (const TlNode::Raw* raw = n->as_raw()) {
      write_text(dom_.bytes(raw->text), state, base);
      return;
    }
    const TlNode::Tag* tag = n->as_tag();
    if (tag == nullptr) return;
    const TagId id = tag_id_ignore_case(dom_.bytes(tag->name));
    const auto [cls, level] = classify(id);
    switch (cls) {
      case C::Skip:
        return;
      case C::LineBreak:
        // In code a break is a line feed of the code; at the start of a line
        // it can only make an empty line, which needs no break marker.
        if (state.in_code) {
          out_ += '\n';
        } else if (out_.empty() || out_.back() == '\n') {
          if (!out_.empty() && !out_.ends_with("\n\n")) out_ += '\n';
        } else {
          out_ += options_.newline_style == NewlineStyle::Backslash ? "\\\n" : "  \n";
        }
        if (!state.in_code) out_.append(state.content_indent, ' ');
        return;
      case C::Image:
        write_image(node, *tag, state, base);
        return;
      case C::Rule:
        if (state.in_code) return;
        if (state.inline_context) {
          space_apart(base);
        } else {
          blank_line(base, false);
          out_ += "---\n\n";
        }
        return;
      default:
        break;
    }

    Frame frame;
    frame.node = node;
    frame.state = state;
    frame.outer_base = base;
    frame.base = base;
    frame.level = static_cast<std::uint8_t>(level);
    frame.outer_inline = state.inline_context;
    // Inside code every element is its content; deep down every element
    // keeps only its separation.
    if (state.in_code) {
      push(frame);
      return;
    }
    if (depth >= kMarkupDepth) {
      open_plain(frame, cls, id);
      push(frame);
      return;
    }
    switch (cls) {
      case C::Paragraph:
        open_paragraph(frame);
        break;
      case C::Heading:
        if (state.inline_context) reopen_settled();
        frame.action = Action::Heading;
        frame.base = out_.size();
        frame.state.inline_context = true;
        break;
      case C::Strong:
      case C::Emphasis: {
        frame.state.inline_context = true;
        // Strong emphasis inside strong emphasis, and emphasis that is the
        // whole content of emphasis, write no markers of their own (one
        // pair stands for both); other emphasis inside emphasis writes its
        // markers where a reader shows them (decided when its run settles).
        if (cls == C::Strong ? state.in_strong : doubles_enclosing_emphasis(node, Action::Emphasis)) break;
        // An element that writes nothing (empty, or holding only such
        // elements) has no markers.
        if (writes_nothing(node, state)) break;
        if (cls == C::Strong) frame.state.in_strong = true;
        else frame.state.in_emphasis = true;
        frame.action = cls == C::Strong ? Action::Strong : Action::Emphasis;
        frame.mark = out_.size();
        write_marker(cls == C::Strong ? fast_dom::kStrongOpen : fast_dom::kEmphasisOpen);
        break;
      }
      case C::Code:
        if (state.in_pre) {
          frame.state.in_code = true;
          break;
        }
        reopen_settled();
        frame.action = Action::CodeSpan;
        frame.base = out_.size();
        frame.state.in_code = true;
        frame.state.inline_context = true;
        break;
      case C::Preformatted:
        if (state.inline_context) {
          line_apart(base);
        } else {
          blank_line(base, false);
        }
        frame.action = Action::CodeBlock;
        frame.base = out_.size();
        frame.state.in_pre = true;
        frame.state.in_code = true;
        break;
      case C::Anchor: {
        if (!writes_link(*tag, state.in_link)) break;
        reopen_settled();
        frame.action = Action::Link;
        frame.base = out_.size();
        frame.state.inline_context = true;
        frame.state.in_link = true;
        break;
      }
      case C::UnorderedList:
      case C::OrderedList: {
        // A list standing directly in a list belongs to the item before it
        // (the parent's mark holds that item's content column + 1).
        const Frame* parent = stack_.empty() ? nullptr : &stack_.back();
        // In an item inside inline elements, or among the items of such
        // elements, a list stands apart from them (a link holds no list):
        // they close before it and open again after it.
        if (const std::optional<WrapperRange> around = wrappers_around_list()) {
          close_in_place(*around);
          const Frame& outer = stack_[around->first - 1];
          frame.state.in_link = outer.state.in_link;
          frame.state.in_strong = outer.state.in_strong;
          frame.state.in_emphasis = outer.state.in_emphasis;
          frame.wrapped = true;
          if (around->end == stack_.size()) {
            parent = &outer;
            base = frame.outer_base = frame.base = outer.base;
          }
        }
        const bool in_list = parent != nullptr && parent->action == Action::List && parent->mark != 0;
        if (in_list) {
          line_apart(base);
          frame.outer_inline = true;
        } else if (!state.inline_context) {
          blank_line(base, false);
        }
        frame.action = Action::List;
        ++frame.state.list_depth;
        frame.state.numbered = cls == C::OrderedList;
        frame.state.marker_indent =
            nested_marker_indent(frame.state.list_depth, in_list ? parent->mark - 1 : state.content_indent);
        frame.state.other_marker = list_end_.at == out_.size() && list_end_.numbered == frame.state.numbered &&
                                   !list_end_.other_marker;
        break;
      }
      case C::ListItem:
        open_list_item(frame);
        break;
      case C::Blockquote:
        open_block(state, base);
        if (state.inline_context) reopen_settled();
        frame.action = Action::Blockquote;
        frame.base = out_.size();
        break;
      case C::Table:
        frame.action = Action::Table;
        frame.mark = tables_used_++;
        if (tables_.size() < tables_used_) tables_.emplace_back();
        tables_[frame.mark].clear();
        tables_[frame.mark].inline_table = state.inline_context;
        break;
      case C::TableRow:
        open_paragraph(frame);
        break;
      case C::Cell:
        space_apart(base);
        frame.action = Action::InlineBlock;
        break;
      case C::Other:
        if (is_block_element(id)) open_paragraph(frame);
        break;
      default:
        break;
    }
    push(frame);
  }

  void push(const Frame& frame) {
    if (dom_.tag(frame.node)->children.empty()) {
      close(frame);
      return;
    }
    push_frame(frame);
  }

  void open_paragraph(Frame& frame) {
    if (frame.state.inline_context) {
      space_apart(frame.outer_base);
      frame.action = Action::InlineBlock;
    } else {
      blank_line(frame.outer_base, false);
      frame.action = Action::Block;
    }
    frame.mark = out_.size();
  }

  void open_plain(Frame& frame, FastDomTagClass cls, TagId id) {
    switch (cls) {
      case C::Paragraph:
      case C::Heading:
      case C::Preformatted:
      case C::UnorderedList:
      case C::OrderedList:
      case C::ListItem:
      case C::Blockquote:
      case C::Table:
      case C::TableRow:
        open_paragraph(frame);
        return;
      case C::Cell:
        space_apart(frame.outer_base);
        frame.action = Action::InlineBlock;
        return;
      default:
        if (is_block_element(id)) open_paragraph(frame);
        return;
    }
  }

  // The sibling before the child just taken from the frame on top, comments
  // and empty inline elements (which write nothing) skipped; at the start of
  // an inline element that writes its content alone, the one before that.
  std::optional<NodeHandle> previous_sibling() const {
    for (std::size_t at = stack_.size(); at > 0; --at) {
      const Frame& parent = stack_[at - 1];
      const auto children = dom_.tag(parent.node)->children.as_span();
      for (std::size_t pos = std::min<std::size_t>(parent.next_child, children.size()); pos > 1; --pos) {
        if (!writes_nothing(children[pos - 2], parent.state)) return children[pos - 2];
      }
      if (parent.action != Action::Transparent ||
          is_block_element(tag_id_ignore_case(dom_.bytes(dom_.tag(parent.node)->name)))) {
        return std::nullopt;
      }
    }
    return std::nullopt;
  }

  // The anchor is written as a link, not as its text alone: it has an
  // address and stands in no link (Markdown links hold no links).
  bool writes_link(const TlNode::Tag& tag, bool in_link) const {
    if (in_link) return false;
    const auto href = attribute_map_get(dom_, tag, "href").value_bytes(dom_);
    return href && !href->empty();
  }

  // A comment, a skipped element, an image that shows nothing where it
  // stands (walked in `state`), or an inline element that is no break or
  // link with an address and holds only such nodes: it writes nothing. A
  // few nodes are looked at, no more.
  bool writes_nothing(NodeHandle node, const FastDomState& state) const {
    int budget = 16;
    return writes_nothing(node, state.inline_context || state.in_code, budget);
  }
  bool writes_nothing(NodeHandle node, bool alt_only, int& budget) const {
    const TlNode* n = dom_.node(node);
    if (n == nullptr || n->is_comment()) return true;
    const TlNode::Tag* tag = n->as_tag();
    if (tag == nullptr || --budget < 0) return false;
    const TagId id = tag_id_ignore_case(dom_.bytes(tag->name));
    const FastDomTagClass cls = classify(id).first;
    if (cls == C::Skip) return true;
    // In inline content an image is its alt text; elsewhere it needs a source.
    if (cls == C::Image) return attribute_blank(*tag, alt_only ? "alt" : "src");
    if (is_block_element(id) || cls == C::LineBreak || attribute_map_get(dom_, *tag, "href").has_value()) {
      return false;
    }
    // Emphasis, code and links hold inline content.
    alt_only = alt_only || cls == C::Strong || cls == C::Emphasis || cls == C::Code || cls == C::Anchor;
    return std::all_of(tag->children.begin(), tag->children.end(),
                       [&](NodeHandle child) { return writes_nothing(child, alt_only, budget); });
  }

  // The attribute is absent, or its value is white space (undecoded: a
  // character reference counts as something).
  bool attribute_blank(const TlNode::Tag& tag, std::string_view name) const {
    return trim_unicode_space(attribute_map_get(dom_, tag, name).value_bytes(dom_).value_or("")).empty();
  }

  // `node` (a child of the element on top, or of an element it writes its
  // content into) is `last`, or its last child that writes something is, a
  // few levels down.
  bool ends_with_node(std::optional<NodeHandle> node, NodeHandle last) const {
    if (!node || stack_.empty()) return false;
    const FastDomState& state = stack_.back().state;
    for (int levels = 0; node && levels < 8; ++levels) {
      if (*node == last) return true;
      const TlNode::Tag* tag = dom_.tag(*node);
      if (tag == nullptr) return false;
      const auto children = tag->children.as_span();
      const auto written = std::find_if(children.rbegin(), children.rend(),
                                        [&](NodeHandle child) { return !writes_nothing(child, state); });
      if (written == children.rend()) return false;
      node = *written;
    }
    return false;
  }

  // --- what stands after an element ---------------------------------------

  enum class Lead : std::uint8_t { Word, Other, Nothing };

  // What `nodes` write first, read from the document: a letter or digit,
  // something else, or nothing. The content of emphasis (whose markers
  // settle later) and of elements that write nothing of their own is
  // looked into; `state`: the state the nodes are walked in (in a link's
  // text a link is its text, in inline content an image its alt text).
  Lead lead_of(std::span<const NodeHandle> nodes, int& budget, const FastDomState& state) const {
    for (const NodeHandle node : nodes) {
      if (--budget < 0) return Lead::Other;
      if (writes_nothing(node, state)) continue;
      const TlNode* n = dom_.node(node);
      if (n == nullptr) return Lead::Other;
      if (const TlNode::Raw* raw = n->as_raw()) {
        const std::string_view text = dom_.bytes(raw->text);
        if (text.empty()) continue;
        return letter_or_digit_at(text, 0) ? Lead::Word : Lead::Other;
      }
      const TlNode::Tag* tag = n->as_tag();
      if (tag == nullptr) return Lead::Other;
      const TagId id = tag_id_ignore_case(dom_.bytes(tag->name));
      const FastDomTagClass cls = classify(id).first;
      const bool markers = cls == C::Strong || cls == C::Emphasis;
      if (cls == C::Image && state.inline_context) {
        const std::string_view alt =
            trim_unicode_space(attribute_map_get(dom_, *tag, "alt").value_bytes(dom_).value_or(""));
        return letter_or_digit_at(alt, 0) ? Lead::Word : Lead::Other;
      }
      const bool bare =
          (cls == C::Other && !is_block_element(id)) || (cls == C::Anchor && !writes_link(*tag, state.in_link));
      if (!markers && !bare) return Lead::Other;
      FastDomState inner = state;
      inner.inline_context = state.inline_context || markers;
      const Lead lead = lead_of(tag->children.as_span(), budget, inner);
      if (lead != Lead::Nothing) return lead;
    }
    return Lead::Nothing;
  }

  // A letter or digit is what a reader meets right after the node `node`
  // (a child of the element on top of the stack): through the ends of
  // enclosing emphasis and of elements that write nothing of their own.
  bool word_follows(NodeHandle node) const {
    int budget = 64;
    for (std::size_t at = stack_.size(); at > 0; --at) {
      const std::optional<std::size_t> index = child_index(at, node);
      if (!index) return false;
      const Frame& parent = stack_[at - 1];
      const Lead lead = lead_of(dom_.tag(parent.node)->children.as_span().subspan(*index + 1), budget, parent.state);
      if (lead != Lead::Nothing) return lead == Lead::Word;
      if (parent.action != Action::Strong && parent.action != Action::Emphasis &&
          !(parent.action == Action::Transparent &&
            !is_block_element(tag_id_ignore_case(dom_.bytes(dom_.tag(parent.node)->name))))) {
        return false;
      }
      node = parent.node;
    }
    return false;
  }

  // The element is the whole content of an enclosing emphasis (through
  // elements that hold nothing else): its markers would double the enclosing
  // ones, and "**x**" reads as strong emphasis. A few levels are looked
  // through, no more.
  bool doubles_enclosing_emphasis(NodeHandle node, Action kind) const {
    for (std::size_t i = stack_.size(), levels = 0; i > 0 && levels < 8; --i, ++levels) {
      const Frame& enclosing = stack_[i - 1];
      if (sole_child(dom_, *dom_.tag(enclosing.node)) != node) return false;
      if (enclosing.action == kind) return true;
      node = enclosing.node;
    }
    return false;
  }

  // The place of the element of `frames[at]` among the children of the
  // element of `frames[at - 1]`, whose child it was taken as last.
  std::optional<std::size_t> child_index(std::size_t at, NodeHandle node) const {
    if (at == 0) return std::nullopt;
    const Frame& parent = stack_[at - 1];
    const auto children = dom_.tag(parent.node)->children.as_span();
    if (parent.next_child == 0 || parent.next_child > children.size() || children[parent.next_child - 1] != node) {
      return std::nullopt;
    }
    return parent.next_child - 1;
  }

  // The indentation of the items of a list at `depth`: `list_indent_width`
  // columns per level below the first, and past the enclosing item's marker
  // (`enclosing`), since less would end that item.
  std::size_t nested_marker_indent(std::size_t depth, std::size_t enclosing) const {
    if (depth <= 1) return 0;
    std::size_t width = 0;
    if (__builtin_mul_overflow(depth - 1, options_.list_indent_width, &width) || width > out_.max_size()) {
      throw std::length_error("list indentation");
    }
    return std::max(width, enclosing);
  }

  // --- items inside inline elements ------------------------------------------
  //
  // A browser lays an li out as an item of its list even where inline
  // elements (a link, emphasis, a span) stand between the two, and shows the
  // item's content in their formatting. The item's marker goes before them:
  // they close before it, as if they ended there, and open again after it
  // for the item's content; at the item's end they close and open again for
  // what follows. Each item is thus a link of its own.

  static bool is_wrapper_action(Action action) {
    return action == Action::Link || action == Action::Strong || action == Action::Emphasis ||
           action == Action::Transparent;
  }

  // How many levels of inline elements are looked through for a list.
  static constexpr std::size_t kWrapperLevels = 8;

  // A list, or a menu (whose items are a list's).
  bool is_list_frame(const Frame& f) const {
    return f.action == Action::List || tag_id_ignore_case(dom_.bytes(dom_.tag(f.node)->name)) == TagId::Menu;
  }

  // The inline elements right below stack_[end] down to a list: the index
  // of the first of them (`end` when there are none); none when anything
  // else stands there, or more than kWrapperLevels of them.
  std::optional<std::size_t> wrappers_below(std::size_t end) const {
    std::size_t at = end;
    while (at > 0 && end - at <= kWrapperLevels && is_wrapper_action(stack_[at - 1].action) &&
           !is_list_frame(stack_[at - 1])) {
      --at;
    }
    if (at == 0 || end - at > kWrapperLevels || !is_list_frame(stack_[at - 1])) return std::nullopt;
    return at;
  }

  // Closes the elements from `first` to the top (the innermost first) as
  // their ends would, `beside` the items where that is known; `held` keeps
  // their frames for reopen_wrappers.
  void close_wrappers(std::size_t first, std::vector<Frame>& held, bool beside) {
    held.assign(stack_.begin() + static_cast<std::ptrdiff_t>(first), stack_.end());
    while (stack_.size() > first) {
      Frame f = stack_.back();
      pop_frame();
      f.split = f.split || beside;
      close(f);
    }
  }

  // Opens the frame's element again where the output ends, as its start
  // would (writing into the buffer from `outer_base`), for content `beside`
  // the items or an item's; returns the base of its children.
  std::size_t reopen(Frame& f, std::size_t outer_base, bool beside) {
    f.split = beside;
    f.settled = false;
    f.outer_base = f.base = outer_base;
    if (f.action == Action::Link) f.base = out_.size();
    if (f.action == Action::Strong || f.action == Action::Emphasis) {
      f.mark = out_.size();
      write_marker(f.action == Action::Strong ? fast_dom::kStrongOpen : fast_dom::kEmphasisOpen);
    }
    return f.base;
  }

  // Pushes the frames of close_wrappers again, their elements opened again.
  void reopen_wrappers(std::vector<Frame>& held, std::size_t outer_base, bool beside) {
    for (Frame& f : held) {
      outer_base = reopen(f, outer_base, beside);
      push_frame(f);
    }
  }

  // Elements of the stack, stack_[first] to stack_[end - 1].
  struct WrapperRange {
    std::size_t first;
    std::size_t end;
  };

  // The inline elements a list opening now stands apart from: those around
  // the item on top (below it on the stack), or the elements on top that
  // items split (the list stands among those items).
  std::optional<WrapperRange> wrappers_around_list() const {
    if (stack_.empty()) return std::nullopt;
    const std::size_t top = stack_.size() - 1;
    if (stack_[top].action == Action::ListItem && stack_[top].wrapped) {
      return WrapperRange{wrappers_below(top).value_or(top), top};
    }
    const std::optional<std::size_t> first = wrappers_below(stack_.size());
    if (!first || *first == stack_.size() || !stack_[top].split) return std::nullopt;
    return WrapperRange{*first, stack_.size()};
  }

  // Closes the elements of `range` (the innermost first) as their ends
  // would; they stay on the stack.
  void close_in_place(WrapperRange range) {
    for (std::size_t at = range.end; at > range.first; --at) {
      // (A copy: closing moves the places the frames on the stack note.)
      Frame f = stack_[at - 1];
      f.split = true;
      close(f);
    }
  }

  // Opens them again where the output ends: inside the item above them, or
  // among the list's items.
  void reopen_in_place(WrapperRange range) {
    std::size_t outer_base = stack_[range.end < stack_.size() ? range.end : range.first - 1].base;
    for (std::size_t at = range.first; at < range.end; ++at) {
      if (stack_[at].settled) --settled_open_;
      outer_base = reopen(stack_[at], outer_base, true);
    }
  }

  void open_list_item(Frame& frame) {
    // Inline elements between the list and the item close before its
    // marker and open again after it.
    const std::optional<std::size_t> wrappers = wrappers_below(stack_.size());
    std::vector<Frame> held;
    if (wrappers && *wrappers < stack_.size()) {
      close_wrappers(*wrappers, held, true);
      frame.outer_base = stack_.back().base;
      frame.wrapped = true;
    }
    // The item starts a block: the inline content before it is settled.
    settle_run();
    const std::size_t base = std::min(frame.outer_base, out_.size());
    trim_spaces_tabs(base);
    if (!empty_from(base) && out_.back() != '\n') out_ += '\n';
    // Items of a nested list start past their parent item's marker; the
    // later lines of an item (breaks, code blocks, tables) line up past
    // its own marker, by the option's width within what keeps them inside.
    out_.append(frame.state.marker_indent, ' ');
    std::size_t width;
    if (frame.state.numbered) {
      out_ += frame.state.other_marker ? "1) " : "1. ";
      width = 3;
    } else {
      const std::string_view bullet = frame.state.other_marker ? other_bullet_ : bullet_;
      out_ += bullet;
      out_ += ' ';
      width = utf8_char_count(bullet) + 1;
    }
    frame.state.content_indent =
        frame.state.marker_indent +
        std::clamp<std::size_t>(static_cast<std::size_t>(options_.list_indent_width), width, width + 3);
    frame.action = Action::ListItem;
    frame.base = out_.size();
    block_edge();
    frame.state.inline_context = true;
    reopen_wrappers(held, frame.base, false);
  }

  // --- tables --------------------------------------------------------------

  void collect_row_or_section(NodeHandle child, const FastDomState& state, std::size_t base) {
    const TlNode::Tag* tag = dom_.tag(child);
    if (tag == nullptr) {
      collect_stray_text(child, state);
      return;
    }
    const TagId id = tag_id_ignore_case(dom_.bytes(tag->name));
    const FastDomTagClass cls = classify(id).first;
    Frame frame;
    frame.node = child;
    frame.state = state;
    frame.outer_base = frame.base = base;
    frame.outer_inline = state.inline_context;
    frame.mark = stack_.back().mark;
    if (cls == C::TableSection) {
      frame.action = Action::TableSection;
    } else if (cls == C::TableRow) {
      frame.action = Action::TableRow;
    } else if (id == TagId::Caption && stack_.back().action == Action::Table) {
      // A caption stays: it is written before the table.
      frame.action = Action::Caption;
      frame.base = out_.size();
      frame.state.inline_context = true;
    } else {
      push_stray(child, cls, state);
      return;
    }
    push(frame);
  }

  // Text of a table outside its cells: kept, for writing before the table.
  void collect_stray_text(NodeHandle child, const FastDomState& state) {
    const TlNode* n = dom_.node(child);
    const TlNode::Raw* raw = n != nullptr ? n->as_raw() : nullptr;
    if (raw == nullptr) return;
    FastDomState inline_state = state;
    inline_state.inline_context = true;
    const std::size_t at = out_.size();
    write_text(dom_.bytes(raw->text), inline_state, at);
    take_region(at, scratch_);
    add_stray(stack_.back().mark, fold_line(scratch_));
  }

  // An element of a table that is neither a part of it nor a cell: its
  // content is kept, for writing before the table.
  void push_stray(NodeHandle child, FastDomTagClass cls, const FastDomState& state) {
    if (cls == C::Skip) return;
    push_collected(child, state, Action::Stray);
  }

  // A cell or stray content of the table on top: its content is written on
  // one line at the end of the output, and taken from there when it ends.
  void push_collected(NodeHandle child, const FastDomState& state, Action action) {
    Frame frame;
    frame.node = child;
    frame.state = state;
    frame.state.inline_context = true;
    frame.action = action;
    frame.outer_base = stack_.back().base;
    frame.base = out_.size();
    frame.mark = stack_.back().mark;
    push(frame);
  }

  void add_stray(std::size_t table, std::string_view text) {
    if (text.empty()) return;
    std::string& strays = tables_[table].strays;
    if (!strays.empty()) strays += ' ';
    strays += text;
  }

  void collect_cell(NodeHandle child, const FastDomState& state) {
    const TlNode::Tag* tag = dom_.tag(child);
    if (tag == nullptr) {
      collect_stray_text(child, state);
      return;
    }
    const FastDomTagClass cls = classify(tag_id_ignore_case(dom_.bytes(tag->name))).first;
    if (cls != C::Cell) {
      push_stray(child, cls, state);
      return;
    }
    push_collected(child, state, Action::Cell);
  }

  // --- closing -------------------------------------------------------------

  void close(const Frame& f) {
    switch (f.action) {
      case Action::Transparent:
        return;
      case Action::Block:
        trim_spaces_tabs(f.outer_base);
        if (out_.size() > f.mark) blank_line(f.outer_base, true);
        return;
      case Action::InlineBlock:
        trim_spaces_tabs(f.outer_base);
        if (out_.size() > f.mark) space_apart(f.outer_base);
        return;
      case Action::Heading:
        close_heading(f);
        if (!f.outer_inline) block_edge();
        return;
      case Action::Strong:
      case Action::Emphasis:
        close_emphasis(f);
        return;
      case Action::CodeSpan:
        close_code_span(f);
        return;
      case Action::CodeBlock:
        close_code_block(f);
        block_edge();
        return;
      case Action::Link:
        close_link(f);
        return;
      case Action::List:
        if (!f.outer_inline) blank_line(f.outer_base, true);
        list_end_ = {out_.size(), f.state.numbered, f.state.other_marker};
        if (f.wrapped) {
          if (const std::optional<WrapperRange> around = wrappers_around_list()) reopen_in_place(*around);
        }
        return;
      case Action::ListItem:
        close_list_item(f);
        return;
      case Action::Blockquote:
        close_blockquote(f);
        if (!f.outer_inline) block_edge();
        return;
      case Action::Table:
        close_table(f);
        return;
      case Action::TableSection:
        return;
      case Action::TableRow:
        tables_[f.mark].row_ends.push_back(tables_[f.mark].spans.size());
        return;
      case Action::Cell:
        close_cell(f);
        return;
      case Action::Caption:
        tables_[f.mark].caption.assign(take_line(f.base, !tables_[f.mark].inline_table));
        return;
      case Action::Stray:
        add_stray(f.mark, take_line(f.base, !tables_[f.mark].inline_table));
        return;
    }
  }

  // Moves the buffer from `base` on out of the output and folds it onto one
  // line; `settle`: it is a run of its own, whose markers are settled here
  // (once folded: its line breaks are no edges).
  std::string_view take_line(std::size_t base, bool settle) {
    const bool marked = pending_ != std::string::npos;
    take_region(base, scratch_);
    const std::string_view text = fold_line(scratch_);
    if (!settle || !marked || find_marker_byte(text) == std::string_view::npos) return text;
    line_.clear();
    settler_.settle(text, "", line_, {});
    return line_;
  }

  // Moves the buffer from `base` on into `into` and cuts it from the output.
  // `tracked`: marker bytes in it are settled or noted where they are
  // written back (else they may be left anywhere: see walk).
  void take_region(std::size_t base, std::string& into, bool tracked = true) {
    if (!tracked && pending_ != std::string::npos) markers_moved_ = true;
    into.assign(out_, std::min(base, out_.size()), std::string::npos);
    cut(std::min(base, out_.size()));
  }

  // The text trimmed, with every run of white space that holds a line
  // break folded to one space: content that must stay on one line.
  std::string_view fold_line(std::string& text) {
    const std::string_view trimmed = trim_unicode_space(text);
    const std::size_t begin = static_cast<std::size_t>(trimmed.data() - text.data());
    const std::size_t end = fold_line_breaks(text, begin, begin + trimmed.size());
    return std::string_view(text).substr(begin, end - begin);
  }

  void close_heading(const Frame& f) {
    // A heading of its own is a run of its own; in inline content its text
    // goes on with the run around it.
    const std::string_view text = take_line(f.base, !f.outer_inline);
    if (text.empty()) return;
    const std::size_t base = f.outer_base;
    if (f.outer_inline) {
      space_apart(base);
      const std::size_t at = out_.size();
      out_ += text;
      note_markers_from(at);
      out_ += ' ';
      return;
    }
    blank_line(base, false);
    const int level = f.level;
    if (options_.heading_style == HeadingStyle::Underlined && level <= 2) {
      out_ += text;
      out_ += '\n';
      out_.append(utf8_char_count(text), level == 1 ? '=' : '-');
      out_ += "\n\n";
      return;
    }
    out_.append(static_cast<std::size_t>(level), '#');
    out_ += ' ';
    // A final run of '#' would read as the line's closing sequence (the
    // walker writes Markdown whatever the output format).
    const std::size_t run =
        options_.heading_style == HeadingStyle::AtxClosed ? std::string_view::npos : atx_closing_run(text);
    if (run != std::string_view::npos) {
      out_.append(text.substr(0, run));
      out_ += '\\';
      out_.append(text.substr(run));
    } else {
      out_ += text;
    }
    if (options_.heading_style == HeadingStyle::AtxClosed) {
      out_ += ' ';
      out_.append(static_cast<std::size_t>(level), '#');
    }
    out_ += "\n\n";
  }

  // Markers close right after the last visible character and open right
  // before the first: white space inside them moves outside, and an element
  // with nothing to show writes no markers.
  void close_emphasis(const Frame& f) {
    const unsigned char close = f.action == Action::Strong ? fast_dom::kStrongClose : fast_dom::kEmphasisClose;
    std::size_t end = out_.size();
    if (f.settled) {
      // Its content stands after a block that ended the run its opening
      // marker was in: the marker closes that content.
      while (end > run_start_ && is_ascii_space(out_[end - 1])) --end;
      if (end == run_start_) return;
      tail_.assign(out_, end, std::string::npos);
      cut(end);
      write_marker(close);
      out_ += tail_;
      return;
    }
    const std::size_t content = f.mark + 1;
    // (A line break written as a backslash and a line feed is white space
    // too: its backslash would escape a marker after it.)
    const auto hard_break_at = [&](std::size_t at) {
      return at + 1 < out_.size() && out_[at] == '\\' && out_[at + 1] == '\n' && !is_escaped_at(out_, at);
    };
    while (end > content && (is_ascii_space(out_[end - 1]) || hard_break_at(end - 1))) --end;
    tail_.assign(out_, end, std::string::npos);
    std::size_t lead = content;
    while (lead < end && (is_ascii_space(out_[lead]) || hard_break_at(lead))) ++lead;
    if (lead == end) {
      cut(f.mark);
      if (tail_.find('\n') != std::string::npos) {
        out_ += tail_;
      } else if (!tail_.empty() || end > content) {
        space_apart(f.outer_base);
      }
      return;
    }
    cut(end);
    if (lead > content) {
      out_.erase(content, lead - content);
      moved(content, -static_cast<std::ptrdiff_t>(lead - content));
      const bool space_before = f.mark > f.outer_base ? !is_ascii_space(out_[f.mark - 1]) : at_link_start(f.outer_base);
      if (space_before) {
        out_.insert(f.mark, 1, ' ');
        moved(f.mark, 1);
      }
    }
    write_marker(close);
    if (tail_.find('\n') != std::string::npos) {
      out_ += tail_;
    } else if (!tail_.empty()) {
      out_ += ' ';
    }
  }

  // Calls `note` on each place in the output that an open element keeps:
  // its buffers, and the start of a block's content or an emphasis marker.
  template <typename Note>
  void each_open_place(Note&& note) {
    for (Frame& frame : stack_) {
      note(frame.base);
      note(frame.outer_base);
      if (frame.action == Action::Block || frame.action == Action::InlineBlock || frame.action == Action::Strong ||
          frame.action == Action::Emphasis) {
        note(frame.mark);
      }
    }
  }

  // The output after `from` moved by `delta` bytes: so do the places noted
  // in it (the open elements' buffers and markers too).
  void moved(std::size_t from, std::ptrdiff_t delta) {
    const auto move = [&](std::size_t& at) {
      if (at != std::string::npos && at > from) at = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(at) + delta);
    };
    move(last_code_.end);
    move(pending_);
    move(run_start_);
    each_open_place(move);
  }

  // out_[from, old_end) was rewritten into out_[from, new_end) (from <
  // old_end): the places noted after it move with it; the code span noted
  // inside it is gone. Open elements keep no place inside a region that is
  // rewritten (open_place_within).
  void rewritten(std::size_t from, std::size_t old_end, std::size_t new_end) {
    const auto inside = [&](std::size_t at) { return at != std::string::npos && at > from && at < old_end; };
    if (inside(last_code_.end)) last_code_ = {};
    if (inside(pending_)) pending_ = from;
    if (inside(run_start_)) run_start_ = from;
    moved(old_end - 1, static_cast<std::ptrdiff_t>(new_end) - static_cast<std::ptrdiff_t>(old_end));
  }

  // An open element keeps a place strictly between `from` and `to`: what
  // stands there cannot be rewritten without losing it.
  bool open_place_within(std::size_t from, std::size_t to) {
    bool within = false;
    each_open_place([&](const std::size_t& at) { within = within || (at > from && at < to); });
    return within;
  }

  // A '.' or ')' at `at` after a number that starts a line's content would
  // make it an ordered list marker: it gets a backslash.
  void escape_number_delimiter(std::size_t at) {
    if (at >= out_.size() || (out_[at] != '.' && out_[at] != ')') ||
        !ends_in_line_start_number(std::string_view(out_).substr(0, at))) {
      return;
    }
    out_.insert(at, 1, '\\');
    moved(at, 1);
  }

  void close_code_span(const Frame& f) {
    take_region(f.base, scratch_);
    const bool lead = !scratch_.empty() && space_len_at(scratch_, 0) != 0;
    const bool trail = !scratch_.empty() && space_len_before(scratch_, scratch_.size()) != 0;
    std::string_view text = fold_line(scratch_);
    if (lead) space_apart(f.outer_base);
    if (text.empty()) return;
    reopen_settled();
    // Right after the span its previous sibling wrote, the two are one
    // span: side by side their backtick runs would merge. The span before
    // is taken up again from `start` to `size`.
    std::size_t start = std::string::npos;
    std::size_t size = 0;
    if (last_code_.end == out_.size() && ends_with_node(previous_sibling(), last_code_.node)) {
      // Within the buffer the span is written into (a link's text is
      // apart from what stands before its bracket).
      const std::optional<CodeSpanAtEnd> before =
          code_span_at_end(std::string_view(out_).substr(f.outer_base), kCodeSpanJoinReach);
      start = before ? f.outer_base + before->start : std::string::npos;
      if (before && !open_place_within(start, out_.size())) {
        joined_code_.assign(before->content);
        joined_code_ += text;
        size = out_.size();
        out_.resize(start);
        text = joined_code_;
      } else {
        // Too long to take up again (or what an open element keeps
        // stands inside): it stands apart.
        out_ += ' ';
        start = std::string::npos;
      }
    }
    append_code_span(text, out_);
    if (start != std::string::npos) rewritten(start, size, out_.size());
    last_code_ = {out_.size(), f.node};
    if (trail) out_ += ' ';
  }

  void close_code_block(const Frame& f) {
    take_region(f.base, scratch_);
    std::string_view code = scratch_;
    // A line break right after the start tag belongs to the markup.
    if (code.starts_with('\n')) code.remove_prefix(1);
    const std::size_t indent = f.state.content_indent;
    if (options_.code_block_style == CodeBlockStyle::Indented) {
      while (code.starts_with('\n')) code.remove_prefix(1);
      while (code.ends_with('\n')) code.remove_suffix(1);
      std::size_t pos = 0;
      while (!code.empty() && pos <= code.size()) {
        std::size_t nl = code.find('\n', pos);
        if (nl == std::string_view::npos) nl = code.size();
        std::string_view line = code.substr(pos, nl - pos);
        if (line.ends_with('\r')) line.remove_suffix(1);
        out_.append(indent + 4, ' ');
        out_ += line;
        out_ += '\n';
        pos = nl + 1;
      }
      out_ += '\n';
      return;
    }
    // The line feeds at the end belong to no line; white space at the end
    // of the last line is code.
    while (code.ends_with('\n')) code.remove_suffix(1);
    const char fence_char = options_.code_block_style == CodeBlockStyle::Tildes ? '~' : '`';
    // The fence is longer than any run of its character inside.
    const std::size_t fence = std::max<std::size_t>(3, fast_dom::longest_run(code, fence_char) + 1);
    if (indent != 0 && !out_.empty() && out_.back() == '\n') out_.append(indent, ' ');
    out_.append(fence, fence_char);
    out_ += '\n';
    append_indented(code, indent);
    if (!code.empty()) out_ += '\n';
    out_.append(indent, ' ');
    out_.append(fence, fence_char);
    out_ += "\n\n";
  }

  // Appends `text` with `indent` spaces before every line that is not empty.
  void append_indented(std::string_view text, std::size_t indent) {
    if (indent == 0) {
      out_ += text;
      return;
    }
    std::size_t pos = 0;
    while (pos < text.size()) {
      std::size_t nl = text.find('\n', pos);
      if (nl == std::string_view::npos) nl = text.size();
      if (nl > pos) out_.append(indent, ' ');
      out_.append(text, pos, nl - pos);
      if (nl < text.size()) out_ += '\n';
      pos = nl + 1;
    }
  }

  void close_link(const Frame& f) {
    // (Marker bytes not settled stand before the link or in its text.)
    const bool marked = pending_ != std::string::npos;
    take_region(f.base, scratch_);
    const bool lead = !scratch_.empty() && space_len_at(scratch_, 0) != 0;
    const bool trail = !scratch_.empty() && space_len_before(scratch_, scratch_.size()) != 0;
    const std::string_view text = fold_line(scratch_);
    // (Beside the items it was split by: nothing of it to show.)
    if (text.empty() && f.split) return;
    const TlNode::Tag& tag = *dom_.tag(f.node);
    decode_attribute(tag, "href", href_);
    const bool has_title = decode_attribute(tag, "title", title_) && !title_.empty();
    if (lead) space_apart(f.outer_base);
    if (text.empty()) {
      out_ += href_;
    } else {
      // After a '!' the link would read as an image.
      if (out_.size() > f.outer_base && out_.back() == '!' && !is_escaped_at(out_, out_.size() - 1)) {
        out_.insert(out_.size() - 1, 1, '\\');
        moved(out_.size() - 2, 1);
      }
      // Markers in the run it stands in settle with its parts known: its
      // text is a scope of its own, and markers around it may go inside
      // its brackets.
      if (marked) write_marker(fast_dom::kLinkOpen);
      out_ += '[';
      const std::size_t at = out_.size();
      escape_markdown_into(text, EscapeMode::LinkText, options_, out_);
      if (marked) {
        note_markers_from(at);
        write_marker(fast_dom::kLinkText);
      }
      out_ += "](";
      append_target(href_, has_title ? &title_ : nullptr);
      if (marked) write_marker(fast_dom::kLinkEnd);
    }
    if (trail) out_ += ' ';
  }

  void close_list_item(const Frame& f) {
    // The elements around the item close at its end and open again for
    // what follows it.
    std::vector<Frame> held;
    const std::optional<std::size_t> wrappers = f.wrapped ? wrappers_below(stack_.size()) : std::nullopt;
    if (wrappers) close_wrappers(*wrappers, held, false);
    end_list_item(f);
    if (wrappers) reopen_wrappers(held, stack_.back().base, true);
  }

  void end_list_item(const Frame& f) {
    // The list keeps its last item's content column in its mark, + 1.
    if (!stack_.empty() && stack_.back().action == Action::List) stack_.back().mark = f.state.content_indent + 1;
    settle_run();
    trim_end(f.base);
    std::size_t lead = f.base;
    while (lead < out_.size()) {
      const std::size_t len = space_len_at(out_, lead);
      if (len == 0) break;
      lead += len;
    }
    if (lead > f.base) {
      out_.erase(f.base, lead - f.base);
      rewritten(f.base, lead, f.base);
    }
    out_ += '\n';
    block_edge();
  }

  void close_blockquote(const Frame& f) {
    if (!f.outer_inline) settle_run();
    take_region(f.base, scratch_, f.outer_inline);
    if (f.outer_inline) {
      const std::string_view text = fold_line(scratch_);
      if (text.empty()) return;
      space_apart(f.outer_base);
      const std::size_t at = out_.size();
      out_ += text;
      note_markers_from(at);
      out_ += ' ';
      return;
    }
    const std::string_view quote = trim_unicode_space(scratch_);
    // The fence of the code block the lines are in: its lines are code,
    // written as they stand.
    std::string_view fence;
    std::size_t pos = 0;
    while (pos <= quote.size() && !quote.empty()) {
      std::size_t nl = quote.find('\n', pos);
      if (nl == std::string_view::npos) nl = quote.size();
      std::string_view line = quote.substr(pos, nl - pos);
      if (line.ends_with('\r')) line.remove_suffix(1);
      const std::string_view kept = trim_unicode_space(line);
      out_ += "> ";
      if (!fence.empty() && !(kept.starts_with(fence) && kept.find_first_not_of(fence[0]) == std::string_view::npos)) {
        out_ += line;
      } else {
        out_ += kept;
        // The two spaces of a line break stay, or its lines would run together.
        if (!kept.empty() && line.ends_with("  ")) out_ += "  ";
        fence = fence.empty() ? fence_at(kept) : std::string_view();
      }
      out_ += '\n';
      pos = nl + 1;
    }
    out_ += '\n';
  }

  // The fence that `line` opens: a run of three or more backticks or tildes
  // at its start; empty when it opens none.
  static std::string_view fence_at(std::string_view line) {
    if (line.empty() || (line[0] != '`' && line[0] != '~')) return {};
    const std::size_t run = std::min(line.find_first_not_of(line[0]), line.size());
    return run >= 3 ? line.substr(0, run) : std::string_view();
  }

  void close_cell(const Frame& f) {
    const std::string_view text = take_line(f.base, true);
    TableRecord& table = tables_[f.mark];
    const std::size_t start = table.cells.size();
    // A '|' that an odd run of backslashes escapes already (a pipe of a
    // table written in a cell inside) stays: one more backslash would be
    // shown.
    std::size_t backslashes = 0;
    for (char c : text) {
      if (c == '|' && backslashes % 2 == 0) table.cells += '\\';
      table.cells += c;
      backslashes = c == '\\' ? backslashes + 1 : 0;
    }
    table.spans.emplace_back(start, table.cells.size() - start);
  }

  void close_table(const Frame& f) {
    TableRecord& table = tables_[f.mark];
    --tables_used_;
    for (const std::string* text : {&table.strays, &table.caption}) {
      if (text->empty()) continue;
      open_block(f.state, f.outer_base);
      // Collected on one line apart, the text starts a line here: a list
      // inside it reads as its text ("- a - b").
      const std::optional<std::string> escaped =
          output_at_line_start(out_) ? escape_line_block_markers(*text, true) : std::nullopt;
      const std::size_t at = out_.size();
      out_ += escaped ? *escaped : *text;
      if (f.outer_inline) note_markers_from(at);
      if (!f.outer_inline) out_ += "\n\n";
    }
    const std::size_t rows = table.row_ends.size();
    if (rows == 0) return;
    if (f.outer_inline) {
      line_apart(f.outer_base);
    } else {
      blank_line(f.outer_base, false);
    }
    std::size_t columns = 0;
    for (std::size_t r = 0; r < rows; ++r) {
      columns = std::max(columns, table.row_ends[r] - (r == 0 ? 0 : table.row_ends[r - 1]));
    }
    if (columns == 0) return;
    const std::size_t indent = f.state.content_indent;
    for (std::size_t r = 0; r < rows; ++r) {
      const std::size_t begin = r == 0 ? 0 : table.row_ends[r - 1];
      const std::size_t count = table.row_ends[r] - begin;
      out_.append(indent, ' ');
      out_ += '|';
      for (std::size_t k = 0; k < columns; ++k) {
        out_ += ' ';
        if (k < count) {
          const auto [offset, length] = table.spans[begin + k];
          out_.append(table.cells, offset, length);
        }
        out_ += " |";
      }
      out_ += '\n';
      if (r == 0) {
        out_.append(indent, ' ');
        out_ += '|';
        for (std::size_t k = 0; k < columns; ++k) out_ += " --- |";
        out_ += '\n';
      }
    }
    out_ += '\n';
    block_edge();
  }

  // --- leaves --------------------------------------------------------------

  void write_text(std::string_view bytes, const FastDomState& state, std::size_t base) {
    const std::string_view text = text_node_content(bytes, holder_);
    if (state.in_code) {
      out_ += text;
      return;
    }
    // Runs of white space fold to one space; none where the output already
    // ends with white space (a list item's marker included), before the
    // markers of emphasis opening there too.
    std::size_t last = out_.size();
    while (last > 0 && is_marker_byte(out_[last - 1])) --last;
    const bool drop_lead = last == 0 || out_[last - 1] == ' ' || out_[last - 1] == '\n';
    folded_.clear();
    bool pending = false;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
      if (may_start_space(p[i])) {
        const std::size_t len = p[i] < 0x80 ? (is_ascii_space(static_cast<char>(p[i])) ? 1 : 0) : space_len_at(text, i);
        if (len != 0) {
          pending = true;
          i += len;
          continue;
        }
      }
      if (pending && (!folded_.empty() || !drop_lead)) folded_ += ' ';
      pending = false;
      // Words and the single spaces between them are copied as they stand.
      std::size_t j = scan::skip_plain_words(text, i + 1);
      while (j < n) {
        if (!may_start_space(p[j])) {
          ++j;
        } else if (p[j] == ' ' && j + 1 < n && !may_start_space(p[j + 1])) {
          j += 2;
        } else {
          break;
        }
      }
      folded_.append(text, i, j - i);
      i = j;
    }
    if (pending && (!folded_.empty() || !drop_lead)) folded_ += ' ';
    if (folded_.empty()) return;
    reopen_settled();
    // Only what the buffer the text is written into holds stands before it:
    // a region taken out later (a link's text, a cell) starts with what its
    // element writes there.
    const std::size_t joining = joining_markup_at(std::string_view(out_).substr(base), folded_);
    if (joining != std::string::npos) {
      out_.insert(base + joining, 1, '\\');
      moved(base + joining, 1);
    }
    const std::size_t start = out_.size();
    // Between emphasis markers every '*' is escaped: it would join them.
    const bool emphasized = state.in_strong || state.in_emphasis;
    const EscapeMode mode = emphasized ? EscapeMode::EmphasizedText : EscapeMode::PageText;
    const ConversionOptions& options = emphasized ? emphasis_options_ : options_;
    // What follows, told only for a child of the frame on top.
    const int after =
        in_frame_ ? follower(stack_.back(), dom_.tag(stack_.back().node)->children.as_span()) : kUnknownNeighbour;
    if (start == base && start != 0) {
      // At the start of a link's text its bracket stands before.
      const bool link = !stack_.empty() && stack_.back().action == Action::Link && stack_.back().base == base;
      scratch_text_.clear();
      escape_markdown_into(folded_, mode, options, scratch_text_, {link ? '[' : '\n', after});
      out_ += scratch_text_;
    } else {
      escape_markdown_into(folded_, mode, options, out_, {'\n', after});
    }
    escape_number_delimiter(start);
    // Text that starts a line keeps a list, quote or heading marker as text.
    // (The folded text holds no line break: only its start can be one. After
    // markers that open there it starts no line; where they are left out,
    // their run's settling escapes it.)
    if (!output_at_line_start(std::string_view(out_).substr(0, start))) return;
    if (std::optional<std::string> escaped = escape_line_block_markers(std::string_view(out_).substr(start), true)) {
      out_.resize(start);
      out_ += *escaped;
    }
  }

  void write_image(NodeHandle node, const TlNode::Tag& tag, const FastDomState& state, std::size_t base) {
    const bool has_alt = decode_attribute(tag, "alt", title_);
    if (state.in_code || state.inline_context) {
      if (!has_alt) return;
      const std::string_view alt = fold_line(title_);
      if (state.in_code) {
        out_ += alt;
        return;
      }
      if (alt.empty()) return;
      // The alt text is a word of its own: a word it meets on either side
      // stands apart by a space (white space or punctuation there already
      // keeps them apart), through the markers of emphasis before.
      std::size_t before = out_.size();
      while (before > base && is_marker_byte(out_[before - 1])) --before;
      if (before > base && letter_or_digit_before(out_, before) && letter_or_digit_at(alt, 0)) out_ += ' ';
      reopen_settled();
      escape_markdown_into(alt, EscapeMode::PageText, options_, out_);
      if (in_frame_ && letter_or_digit_before(alt, alt.size()) && word_follows(node)) out_ += ' ';
      return;
    }
    if (!decode_attribute(tag, "src", href_) || href_.empty()) return;
    out_ += "![";
    // The alt text as plain text between the brackets, as the DOM road
    // writes it (a backslash in it stays one).
    if (has_alt) append_plain_link_text(fold_line(title_), out_);
    out_ += "](";
    const bool has_title = decode_attribute(tag, "title", title_) && !title_.empty();
    append_target(href_, has_title ? &title_ : nullptr);
  }

  // "destination "title")" after a label, through the shared writers (no
  // percent-encoding: this road does not read `url_escape_style`).
  void append_target(std::string_view destination, const std::string* title) {
    append_link_destination(destination, false, out_);
    if (title != nullptr) {
      out_ += " \"";
      append_link_title(*title, out_);
      out_ += '"';
    }
    out_ += ')';
  }

  // The attribute's value decoded into `into`; false when it is absent or
  // has no value.
  bool decode_attribute(const TlNode::Tag& tag, std::string_view name, std::string& into) {
    const auto bytes = attribute_map_get(dom_, tag, name).value_bytes(dom_);
    if (!bytes) {
      into.clear();
      return false;
    }
    // Read into the reused holder, so that no string is made per attribute.
    into.assign(text_node_content(*bytes, holder_));
    return true;
  }

  const TlDom& dom_;
  const ConversionOptions& options_;
  ConversionOptions emphasis_options_;  // the options with '*' as the emphasis marker
  std::string& out_;
  bool in_frame_ = false;  // the node being visited is a child of the frame on top
  std::string_view bullet_;
  std::string_view other_bullet_;
  // Where the last list ended in the output, whether it was numbered and
  // whether its items wrote the other marker.
  struct ListEnd {
    std::size_t at = std::string::npos;
    bool numbered = false;
    bool other_marker = false;
  } list_end_;
  // The first marker byte not settled yet (npos: none), and where the run
  // of inline content being written starts.
  std::size_t pending_ = std::string::npos;
  std::size_t run_start_ = 0;
  bool markers_moved_ = false;  // marker bytes not settled were taken elsewhere
  std::size_t folding_ = 0;       // open elements whose content is folded later (folds)
  std::size_t settled_open_ = 0;  // open emphasis whose opening marker was settled
  fast_dom::MarkerSettler settler_;
  std::string settled_;
  std::string line_;
  std::vector<std::size_t> places_before_;
  std::vector<std::size_t> places_after_;
  // Where the last code span written ends, and its element.
  struct CodeSpanEnd {
    std::size_t end = std::string::npos;
    NodeHandle node = 0;
  } last_code_;
  std::string joined_code_;
  std::vector<Frame> stack_;
  std::vector<TableRecord> tables_;
  std::size_t tables_used_ = 0;
  std::string holder_;
  std::string folded_;
  std::string scratch_;
  std::string scratch_text_;
  std::string tail_;
  std::string href_;
  std::string title_;
};

}  // namespace

void fast_dom_walk(NodeHandle node, const TlDom& dom, std::string& out, const ConversionOptions& options,
                   FastDomState state) {
  Walker(dom, options, out).walk(node, state);
}

void fast_dom_convert(TlDom& dom, const ConversionOptions& options, std::string& out) {
  // The top-level nodes are walked as the children of one element without
  // a name, which writes nothing of its own: each sees its neighbours (what
  // follows an emphasis, the code span before), as in a body.
  TlNode::Tag root;
  root.children.reserve(dom.top_level.size());
  for (const NodeHandle node : dom.top_level) root.children.push_back(node);
  const NodeHandle handle = dom.append_node(std::move(root));
  Walker(dom, options, out).walk(handle, FastDomState{});
}

}  // namespace tidewell
