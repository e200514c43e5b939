// The DOM walk: one `Walk` object holds what stays fixed for a whole walk
// (the document, its caches, the options, the policy, the handler table and
// the output), and every handler receives it together with the per-node part
// (node, context, depth).
//
// A handler appends to `w.out()`, decides its spacing from `w.end()` (see
// output.hpp), and converts its children through `w.children(...)` or
// `w.node(...)`, or into a private buffer through `w.into(buffer)`.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/tags.hpp"
#include "converter/dom/dom_context.hpp"
#include "converter/walk/context.hpp"
#include "converter/walk/handler_family.hpp"
#include "converter/walk/output.hpp"
#include "converter/walk/policy.hpp"
#include "html_parser/dom.hpp"
#include "options/options.hpp"

namespace tidewell {

class Walk;

// Where the content of a handler's buffer will stand in the output.
enum class BufferPlace : std::uint8_t {
  Elsewhere,  // not known, or after markup the handler writes first
  LineStart,  // at the start of a line (a setext heading's text, a quotation's lines)
  Here,       // where the output ends now, with nothing written before it
};

// Converts one element of a handler family; never fails.
using ElementHandler = void (*)(const Walk& w, NodeHandle node, const ConversionContext& context,
                                std::size_t depth);

// The handler of every family (HandlerFamily in handler_family.hpp) and of
// preserved elements. The DOM road's table is in
// converter/document/handler_table.cpp.
struct HandlerTable {
  std::array<ElementHandler, kHandlerFamilyCount> by_family{};
  ElementHandler preserved = nullptr;

  constexpr ElementHandler& operator[](HandlerFamily family) { return by_family[static_cast<std::size_t>(family)]; }
  constexpr ElementHandler operator[](HandlerFamily family) const {
    return by_family[static_cast<std::size_t>(family)];
  }
};

// Nesting at which the walk stops recursing through the handlers and writes
// the rest of the subtree as plain text with an explicit stack. Ordinary
// pages stay far below it; it keeps the C stack small on any input. Both the
// walk depth and the number of handler calls in progress are held to it, so
// elements whose children keep their own depth (span, ruby) are bounded too.
inline constexpr std::size_t kWalkRecursionLimit = 256;

// An element whose content is written where it stands, after what the
// output holds, with no marker of its own before it (a formatting element
// left without markers, or continuing the pair before it): what stands
// before its content is read through it. Linked to the one it stands in.
struct InPlaceElement {
  NodeHandle node = 0;
  const InPlaceElement* outer = nullptr;
  bool again = false;  // converted a second time, after a first conversion apart
  // Where its content starts in `out`, the output it is written to. A code
  // span in it that takes up the one before it moves that back (see
  // Walk::note_rewritten_from).
  const std::string* out = nullptr;
  mutable std::size_t start = 0;
  // Joined to the pair before: where that pair's opening marker stands in
  // `out` and where the content of its last element starts (SIZE_MAX when
  // not known), after which the pairs inside it stand whole.
  std::size_t pair_open = SIZE_MAX;
  std::size_t pair_content = SIZE_MAX;
};

// Children that stand in for an element's own while it is converted: an
// inline element around list items writes its markup around one item's
// content at a time (converter/blocks/lists.cpp). Linked to the ones
// further out.
struct StandInChildren {
  NodeHandle node = 0;
  std::span<const NodeHandle> children;
  const StandInChildren* outer = nullptr;
};

// An element's lower-cased name and tag id.
struct TagRef {
  std::string_view name;
  TagId id = TagId::Unknown;
};

class Walk {
 public:
  // Every argument must outlive the walk.
  Walk(const TlDom& dom, const DomContext& dom_context, const ConversionOptions& options, const WalkPolicy& policy,
       const HandlerTable& handlers, std::string& out)
      : dom_(&dom), dom_context_(&dom_context), options_(&options), policy_(&policy), handlers_(&handlers),
        out_(&out) {}

  const TlDom& dom() const { return *dom_; }
  const DomContext& dom_context() const { return *dom_context_; }
  const ConversionOptions& options() const { return *options_; }
  const WalkPolicy& policy() const { return *policy_; }
  std::string& out() const { return *out_; }
  // How the output ends (blank line, line start, list marker, ...).
  OutputEnd end() const { return end_of(*out_); }

  // The same walk writing into `buffer`, whose content will stand at
  // `place` in the output.
  Walk into(std::string& buffer, BufferPlace place = BufferPlace::Elsewhere) const {
    Walk w = *this;
    w.out_ = &buffer;
    w.in_buffer_ = true;
    w.buffer_starts_line_ = place == BufferPlace::LineStart || (place == BufferPlace::Here && starts_line());
    return w;
  }

  // The same walk writing the content of `element.node` in place (see
  // InPlaceElement); `element` must outlive it.
  Walk in_place(const InPlaceElement& element) const {
    Walk w = *this;
    w.in_place_ = &element;
    return w;
  }
  const InPlaceElement* in_place_elements() const { return in_place_; }
  // The output was cut back to `size` and written again from there (a code
  // span took up the one before it): the content of each element written
  // in place into it starts there at the latest.
  void note_rewritten_from(std::size_t size) const {
    for (const InPlaceElement* at = in_place_; at != nullptr; at = at->outer) {
      if (at->out == out_ && size < at->start) at->start = size;
    }
  }
  bool written_in_place(NodeHandle node) const {
    for (const InPlaceElement* at = in_place_; at != nullptr; at = at->outer) {
      if (at->node == node) return true;
    }
    return false;
  }

  // The same walk converting `stand_ins.node` (and the ones linked to it)
  // with the stand-in children; `stand_ins` must outlive it.
  Walk with_stand_ins(const StandInChildren& stand_ins) const {
    Walk w = *this;
    w.stand_ins_ = &stand_ins;
    return w;
  }
  // The children the walk converts for `element`: those standing in for
  // its own, or its own (none for a node that is no element). Handlers of
  // elements that may wrap list items read their children here.
  std::span<const NodeHandle> children_of(NodeHandle element) const {
    if (const StandInChildren* stand_in = stand_ins_for(element)) return stand_in->children;
    const TlNode::Tag* tag = dom_->tag(element);
    return tag != nullptr ? tag->children.as_span() : std::span<const NodeHandle>();
  }
  // `element` is converted with stand-in children: what stands beside it
  // in the document does not stand beside its output, which a line end or
  // a space sets apart.
  bool converts_stand_ins(NodeHandle element) const { return stand_ins_for(element) != nullptr; }

  // The same walk reading `options` (which must outlive it) instead.
  Walk with_options(const ConversionOptions& options) const {
    Walk w = *this;
    w.options_ = &options;
    return w;
  }

  // --- white space at element boundaries ---------------------------------
  //
  // White space between two pieces of text is never lost because an element
  // boundary falls inside it (it becomes at most one space), and white space
  // that comes from the text never starts a line (a line starting with four
  // spaces would be read as code). The text-node rules follow this; a
  // handler that renders its children into a buffer and writes them out with
  // markup around them ("**", "[", "`", ...) follows it too: where the
  // buffer starts or ends with white space, it calls write_boundary_space()
  // on its own walk before the opening or after the closing markup, and
  // writes the buffer's content trimmed.

  // The output is at the start of a line of the page: the walk's own output
  // is empty, or the output ends with "\n". An empty buffer (see into()) is
  // not: what it is written after is not known yet.
  bool at_line_start() const { return out_->empty() ? !in_buffer_ : out_->back() == '\n'; }
  // Appends the one space that white space at an element boundary becomes,
  // unless the output is at the start of a line or already ends with a
  // space, a tab or a line feed.
  void write_boundary_space() const {
    if (ends_at_boundary()) return;
    *out_ += ' ';
  }
  // Runs `write` (which appends to this walk's output) as a block set in
  // running text (inline mode): what it writes is separated from the text
  // on either side by a boundary space. Nothing is added when it writes
  // nothing.
  template <typename Write>
  void write_as_words(Write&& write) const {
    const std::size_t start = out_->size();
    write_boundary_space();
    const std::size_t content = out_->size();
    write();
    if (out_->size() == content) {
      out_->resize(start);
      return;
    }
    write_boundary_space();
  }
  // Content written now starts a line inside a list item: it needs the
  // item's indentation (context.item_indent) to stay in the item.
  bool at_item_line_start(const ConversionContext& context) const {
    return context.in_list_item && !context.in_table_cell && !context.inline_mode && !context.in_code &&
           context.item_indent != 0 && !out_->empty() && out_->back() == '\n';
  }
  // Text written next starts the content of a line, where Markdown reads
  // block markers: the output ends at the start of a line or after nothing
  // but indentation, quote markers and list item markers (see
  // OutputEnd::is_line_content_start). An empty buffer does only when its
  // content will start a line.
  bool starts_line() const { return end_of(*out_).is_line_content_start(!in_buffer_ || buffer_starts_line_); }
  // The same for what stands at `pos` of the output, and whether a line's
  // number ends there.
  bool starts_line_at(std::size_t pos) const {
    return end_of(std::string_view(*out_).substr(0, pos)).is_line_content_start(!in_buffer_ || buffer_starts_line_);
  }
  bool line_start_number_ends_at(std::size_t pos) const {
    return end_of(std::string_view(*out_).substr(0, pos)).is_line_start_number(!in_buffer_ || buffer_starts_line_);
  }
  // The output ends with a number where a line's content starts: text that
  // begins with "." or ")" would complete an ordered list marker.
  bool ends_in_line_start_number() const {
    return end_of(*out_).is_line_start_number(!in_buffer_ || buffer_starts_line_);
  }
  // No boundary space is needed: at the start of a line, or after a space,
  // tab or line feed.
  bool ends_at_boundary() const {
    if (out_->empty()) return !in_buffer_;
    const char last = out_->back();
    return last == ' ' || last == '\t' || last == '\n';
  }

  // Converts one node and its subtree; depth is 0 for top-level nodes and
  // the parent's depth + 1 below.
  void node(NodeHandle node, const ConversionContext& context, std::size_t depth) const;
  // Converts every child of the element at depth + 1; writes nothing itself.
  void children(NodeHandle element, const ConversionContext& context, std::size_t depth) const;

  // The element's lower-cased name and tag id (empty name and Unknown for a
  // node that is no element). The name stays valid for the walk.
  TagRef tag(NodeHandle node) const;

 private:
  const StandInChildren* stand_ins_for(NodeHandle element) const {
    for (const StandInChildren* at = stand_ins_; at != nullptr; at = at->outer) {
      if (at->node == element) return at;
    }
    return nullptr;
  }

  const TlDom* dom_;
  const DomContext* dom_context_;
  const ConversionOptions* options_;
  const WalkPolicy* policy_;
  const HandlerTable* handlers_;
  std::string* out_;
  bool in_buffer_ = false;  // writes into a handler's buffer (into())
  bool buffer_starts_line_ = false;  // that buffer's content will start a line
  const InPlaceElement* in_place_ = nullptr;  // see in_place()
  const StandInChildren* stand_ins_ = nullptr;  // see with_stand_ins()
  // Handler calls in progress on the C stack; copied by into().
  mutable std::size_t nesting_ = 0;
};

// --- handlers that belong to the walk itself --------------------------------

// Elements without a handler of their own (and, until they are built, the
// families whose handlers are not part of this build yet): the children are
// converted, and content that is only white space shrinks to one space.
void convert_unknown_element(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);
// Transparent containers: only the children.
void convert_transparent(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);
// Elements that write nothing.
void convert_nothing(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

}  // namespace tidewell
