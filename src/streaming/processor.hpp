// The streaming converter's whole state and its internal operations. The
// tokenizer (scan.cpp) reports text runs, start tags and end tags; the
// element stack (stack.cpp) and the open handling (open.cpp) keep track of
// what is open; the writers (close.cpp, text.cpp, code.cpp, quote.cpp,
// html_output.cpp) append Markdown to one output buffer, from which the
// drain (drain.cpp) hands out what no later step can change.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <cstdint>
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/marker_runs.hpp"
#include "common/scan.hpp"
#include "streaming/tags.hpp"

namespace tidewell::streaming {

struct ParsedAttribute {
  std::string name;   // ASCII lower case
  std::string value;  // references decoded; empty when the attribute had none
};

using AttributeList = std::vector<ParsedAttribute>;

// The first attribute with exactly this (lower-case) name.
const ParsedAttribute* find_attribute(const AttributeList& list, std::string_view name);

// One open element.
struct ElementFrame {
  AttributeList attributes;
  std::string name;  // lower-cased name of an unknown element; empty for a known one
  std::uint64_t sibling_index = 0;
  std::uint64_t child_count = 0;
  std::uint64_t text_count = 0;
  bool known = false;
  TagId tag_id = kHtml;
  bool in_template = false;
  bool is_inline = false;
  bool discards_text = false;
  bool is_raw_text = false;
  bool phrasing_context = false;
  bool explicit_spacing = false;
  bool other_marker = false;  // a list right after one of its kind: its items take the other marker
  // A list written directly inside a list, after an item: it is nested
  // under that item and takes the item's indent (item_width of its parent).
  bool under_item = false;
  std::uint8_t item_width = 0;   // lists: the indent width of their last item
  std::uint64_t item_count = 0;  // its li children so far
  std::uint64_t item_index = 0;  // li: its place among its parent's items
  // li: the inline elements right around it (a link or bold around the
  // item), between it and its list: their markup goes inside the item.
  std::uint8_t wrappers = 0;
  bool reopened = false;  // such an element: its markup opened again in an item
  std::uint64_t serial = 0;   // which element this frame holds (frames are reused)
  // Emphasis and strikethrough: the opener was taken out while the element
  // was open (its pair settled early), so no closer is written.
  bool markers_dropped = false;
  std::uint8_t newlines_before = 0;
  std::uint8_t newlines_after = 0;

  bool is(TagId id) const { return known && tag_id == id; }
};

// A construct cut by the end of the buffer: how far its scan got, so that
// the next call goes on from there instead of from its '<'.
struct ResumeState {
  enum Kind : std::uint8_t { kNone, kTagName, kAttributes, kEndTag, kComment, kCdata, kDeclaration };
  Kind kind = kNone;
  std::size_t offset = 0;  // from the construct's '<'
  std::size_t name_end = 0;  // tags: end of the name, from the '<'
  std::uint8_t phase = 0;  // attribute scan phase; for end tags 1 = past the name
  char quote = 0;          // open quote byte, 0 = none
  bool slash = false;      // attribute scan: the byte before is a '/' outside a value
};

// An output region whose text may still be rewritten (a link).
struct PendingRegion {
  std::size_t start = 0;
  std::size_t limit = 0;
  bool bracket = false;  // it starts at the link's "[" (a link without an address writes none)
  bool released = false;
  bool active = false;
};

struct QuoteRegion {
  std::string prefix;
  std::size_t start = 0;
};

// An inline opener at the end of the output not yet followed by content.
struct InlineMarkerSpan {
  std::size_t start = 0;
  std::size_t end = 0;
  std::uint8_t kind = 0;
  bool joined = false;  // last_element_inline_ before the opener
};

// The kind of an InlineMarkerSpan that is the "[" of a link opened again
// inside an item (resume_item_wrappers): it goes if the link stays empty.
inline constexpr std::uint8_t kReopenedLinkSpan = 8;

// What ends right before a marker: nothing, a code span that a code span
// opening there would take up, or one too long for that, which stands apart
// from the next by a space.
enum class CodeBefore : std::uint8_t { kNone, kJoinable, kApart };

// An emphasis or strikethrough pair in the output: its opener, and its
// closer once its element has closed. A reader pairs the markers only where
// the characters beside their runs allow it, and the character after the
// closer is known only once something follows it: until then the pair may
// still be taken out, and it holds the drain.
struct MarkerPair {
  std::size_t open_start = 0;
  std::size_t open_end = 0;
  std::size_t close_start = 0;
  std::size_t close_end = 0;
  std::uint64_t serial = 0;  // the element that writes it
  bool closed = false;
  // The other marker character was tried once it did not read as written.
  bool tried_other_mark = false;
  // It took '_' where '*' would have made one run with markers settled
  // before (mark_outside_link): '*' is the other character it may try.
  bool apart_with_underscore = false;
  // The link element whose text holds the markers (0 outside links): a
  // link's text is read on its own.
  std::uint64_t scope = 0;
  // A code span ends right before the opener (starting at code_before_open)
  // or the closer (at code_before_close): taken out, the pair lets it
  // continue into the one that follows.
  std::size_t code_before_open = 0;
  std::size_t code_before_close = 0;
  CodeBefore code_at_open = CodeBefore::kNone;
  CodeBefore code_at_close = CodeBefore::kNone;
};

// The backtick runs of a code span's content as far as it was looked at:
// a span that continues another goes on from where that one's stopped.
struct BacktickRuns {
  std::size_t longest = 0;
  std::size_t trailing = 0;  // the run that ends where the look stopped
  void scan(std::string_view text) {
    for (const char c : text) {
      trailing = c == '`' ? trailing + 1 : 0;
      longest = std::max(longest, trailing);
    }
  }
};

struct CodeSpanRecord {
  std::size_t start = 0;
  std::size_t end = 0;
  bool opener_at_end = false;
  BacktickRuns runs;        // of the content up to `scanned`
  std::size_t scanned = 0;  // 0: nothing looked at yet
};

// The fence length of a code span of `content`, and whether it needs a
// space inside each fence; what a written code span reads as (code.cpp).
std::pair<std::size_t, bool> code_span_fence(std::string_view content);
std::pair<std::size_t, bool> code_span_fence(std::string_view content, const BacktickRuns& runs);
[[gnu::cold]] std::string read_code_span(std::string_view span);

// A closed code span is taken up again by one that follows it only while it
// is this long at most: its fence, before its content, may change, which
// moves the content. A longer one stands apart from the next by a space, so
// a row of spans costs no more than its length.
inline constexpr std::size_t kCodeSpanJoinReach = 1024;

// A link written as Markdown: its element, its "[", its "]" and its end.
struct LinkSpan {
  std::uint64_t serial = 0;
  std::size_t open = 0;
  std::size_t text_end = 0;
  std::size_t end = 0;
};

// The code span that ends the output: a code span opening right after it
// continues it ("`a``b`" would not read as code).
struct ClosedCodeSpan {
  std::string opener;  // as written before its close settled it
  std::size_t start = 0;
  std::size_t content_start = 0;
  std::size_t close_start = 0;
  std::size_t close_end = 0;
  BacktickRuns runs;  // of its whole content
  // Too long to be taken up again (decided at its close: the drain may
  // hand it out, and its positions then say nothing of its length).
  bool apart = false;
};

struct HeldSeparator {
  std::string text;
  std::uint64_t count = 0;
};

// A figcaption opener: its newlines and "*", written when content follows.
struct DeferredMarker {
  std::optional<HeldSeparator> held_separator;
  std::uint8_t state = 0;  // 0 not written, 1 written (revocable), 2 final
  bool space_flag = false;
  std::size_t position = 0;
  std::size_t content_position = 0;
  std::uint8_t newlines_before = 0;
  std::uint8_t newlines_after = 0;
  bool no_padding = false;
};

// A pre inside a pre: part of the outer code block, written there as a
// fenced block of its own text.
struct InnerFence {
  std::uint64_t serial = 0;     // its pre element
  std::size_t separator = 0;    // where the blank line before its fence begins
  std::size_t fence = 0;        // its "```"
  std::size_t content = 0;      // where its text begins
  bool opened_outer = false;    // it wrote the outer fence, which waited for content
};

struct FenceOpener {
  std::string list_indent;
  std::string language;
  std::size_t start = 0;
  std::size_t fence_offset = 0;
  std::size_t end = 0;
};

// An opener from write_open_markup: absent, or a text (possibly empty).
using Opener = std::optional<std::string>;

// The markers of emphasis and strikethrough, which a reader pairs.
inline bool is_marker_text(std::string_view text) { return text == "*" || text == "**" || text == "~~"; }

// The inline kind of a tag: strong, b, dfn 1; em, i 2; del, s, strike 3;
// cite 4; code, kbd, samp, var 5; q 6; 0 for every other tag.
inline std::uint8_t inline_kind_of_tag(TagId id) {
  switch (id) {
    case kStrong: case kB: case kDfn: return 1;
    case kEm: case kI: return 2;
    case kDel: case kS: case kStrike: return 3;
    case kCite: return 4;
    case kCode: case kKbd: case kSamp: case kVar: return 5;
    case kQ: return 6;
    default: return 0;
  }
}

struct OpenResult {
  std::size_t position = 0;
  bool close_now = false;
  bool not_opened = false;
};

// The buffers of judge_marker_pairs, kept from one look to the next, and
// what the last verdicts followed from.
struct MarkerJudgement {
  static constexpr std::size_t kNoRun = ~std::size_t{0};
  struct Piece {
    std::size_t start;
    std::size_t end;
    std::size_t pair;
    bool closer;
  };
  std::vector<Piece> pieces;
  std::vector<MarkerRun> runs;
  std::vector<std::uint8_t> uncertain;
  std::vector<std::size_t> open_run;
  std::vector<std::size_t> close_run;
  // The markers a couple of runs was written with, beside those a reader
  // pairs between them.
  struct Couple {
    std::size_t closer;
    std::size_t next;  // the next couple of the same opening run
    std::uint32_t written;
    std::uint32_t read;
  };
  std::vector<Couple> couples;
  std::vector<std::size_t> first_couple;  // per opening run
  MarkerRunReader reader;
  std::uint64_t key = 0;
  std::size_t prefix = 0;  // the pairs the key covers
  bool valid = false;
  bool complete = false;  // every closed pair was judged
};

// Where the trailing run of some byte class begins, remembered between
// drains so that a long run at the end of the output is not walked again.
struct TrailingRunCache {
  std::uint64_t epoch = ~std::uint64_t{0};
  std::size_t length = 0;     // output length when computed
  std::size_t run_start = 0;  // start of the run then
};

class Processor {
 public:
  explicit Processor(std::size_t size_hint);

  // Tokenizer: consumes what it can of `buffer`, returns the bytes consumed
  // (always at a character boundary).
  std::size_t scan_chunk(std::string_view buffer);
  // End of input: `rest` is what the last scan left.
  void flush_end_of_input(std::string_view rest);
  // The one-shot road's final pass: the whole output, trimmed.
  std::string finalize_document();
  // The Markdown that no later step can change; "" when there is none.
  std::string drain_ready_output();

  // True when something still holds the drain or waits for a close: used to
  // check that nothing is left once every element has closed.
  bool holds_outstanding() const;
  std::size_t stack_depth() const { return depth_; }
  std::size_t buffered_output() const { return output_.size(); }
  // Bytes the tokenizer walked while looking for the ends of tags, comments
  // and other constructs: grows with the input, not with how it is cut.
  std::uint64_t scan_work() const { return scan_work_; }

 private:
  // ---- tokenizer (scan.cpp)
  std::size_t take_text(std::string_view buf, std::size_t pos, bool fast);
  void take_byte_slow(std::string_view buf, std::size_t& pos);
  void maybe_split_long_run();
  bool scan_start_tag(std::string_view buf, std::size_t& pos);
  bool scan_end_tag(std::string_view buf, std::size_t& pos);
  bool scan_markup_declaration(std::string_view buf, std::size_t& pos);
  bool scan_bogus_comment(std::string_view buf, std::size_t& pos);
  bool skip_to_tag_end(std::string_view buf, std::size_t& pos, const ResumeState& saved, bool settled);
  bool scan_raw_text_markup(std::string_view buf, std::size_t& pos);
  bool scan_script_content(std::string_view buf, std::size_t& pos);
  void flush_run();
  void flush_raw_text();
  void append_text_literal_lt();
  void parse_tag_attributes(std::string_view tag, std::uint16_t mask, AttributeList& out);

  // ---- element stack and text flush (stack.cpp)
 public:
  void close_element();
 private:
  void close_current_element();
  bool close_until_tag(TagId t);
  void close_until_tag_in_set(const TagSet& targets, const TagSet& barriers);
  void close_in_set_to_table_scope(const TagSet& set);
  void close_down_to(std::size_t index);
  void set_pending_element(std::string_view name, bool known, TagId id, const StreamTagInfo& info);
  void clear_pending_element();
  bool finish_end_tag(std::string_view raw_name);
  void flush_text_node(std::string_view text, bool count);
  bool any_tag_open_in_range(TagId first, TagId last) const;
  bool holds_for_open_elements() const;
  // The element writes an emphasis or strikethrough pair with this opener.
  static bool writes_marker_pair(const ElementFrame& f, const Opener& opener) {
    if (!opener || opener->empty() || ((*opener)[0] != '*' && (*opener)[0] != '~')) return false;
    const std::uint8_t kind = f.known ? inline_kind_of_tag(f.tag_id) : 0;
    return kind >= 1 && kind <= 4 && is_marker_text(*opener);
  }
  bool is_open(TagId id) const;
  // Whether text here is written as code: a pre is open, or a code span
  // (code, kbd, samp, var) other than `self`.
  bool code_text_open(const ElementFrame* self = nullptr) const;
  // Whether more than one element of one emphasis kind (its tags) is open,
  // the element being written included: nested emphasis of one kind writes
  // its markers once, as "**x**" would read as strong.
  bool nested_emphasis(std::initializer_list<TagId> kind) const;
  ElementFrame* innermost() { return depth_ ? &frames_[depth_ - 1] : nullptr; }
  const ElementFrame* innermost() const { return depth_ ? &frames_[depth_ - 1] : nullptr; }
  // The open link whose text is being written (its element), 0 for none.
  std::uint64_t link_scope() const {
    if (!is_open(kA)) return 0;
    for (std::size_t i = depth_; i-- > 0;) {
      if (frames_[i].is(kA)) return frames_[i].serial;
    }
    return 0;
  }

  // ---- open handling and opening markup (open.cpp)
  OpenResult open_element(std::string_view name, bool known, TagId id, std::string_view region, bool self_closing);
  void write_element_open(ElementFrame& frame, std::size_t index);
  void apply_implicit_closes(bool known, TagId id, bool& select_closed);
  std::uint8_t item_wrappers() const;
  void suspend_item_wrappers(std::size_t count);
  bool reopened_link_waits(std::size_t start) const;
  void resume_item_wrappers(std::size_t item);
  // The list that holds the item at `index` (its parent, past the elements
  // around it); null at the top level.
  // Where an open element with a phrasing context is counted.
  std::uint8_t& phrasing_counter(const ElementFrame& f) { return f.is(kSpan) ? span_depth_ : phrasing_depth_; }
  const ElementFrame* list_of_item(std::size_t index) const {
    return index > frames_[index].wrappers ? &frames_[index - 1 - frames_[index].wrappers] : nullptr;
  }
  Opener write_open_markup(const ElementFrame& frame, std::size_t index);
  Opener open_markup_line_break() const;
  Opener open_markup_rule() const;
  Opener open_markup_code(const ElementFrame& frame, std::size_t index);
  Opener open_markup_list_item(const ElementFrame& frame, std::size_t index) const;
  Opener open_markup_image(const ElementFrame& frame) const;
  Opener open_markup_table_row();
  Opener open_markup_cell(const ElementFrame& frame) const;
  std::uint8_t newlines_before_element(const ElementFrame& frame) const;
  void record_list_indent(const ElementFrame& frame, std::size_t index);
  void push_list_indent(std::uint8_t width);
  void pop_list_indent();
  std::uint64_t list_item_number(const ElementFrame& frame, std::size_t index) const;

  // ---- raw-HTML output (html_output.cpp)
  std::optional<std::string> write_html_open_tag(const ElementFrame& frame, bool opening) const;

  // ---- drain and pending regions (drain.cpp)
  void update_flush_regions();
  std::optional<std::size_t> safe_flush_position() const;
  bool region_holds(const PendingRegion& region) const;
  void push_pending_region(std::size_t start, bool bracket);
  // The output ends with the "[" of the link being written: nothing of its
  // text yet.
  bool at_link_text_start() const {
    return current_region_.active && !current_region_.released && current_region_.bracket &&
           current_region_.start + 1 == output_.size();
  }
  void pop_pending_region();
  void insert_pending_newline(bool force);
  void update_blank_line_state(bool reset, std::size_t from, bool numbered_past_one);
  std::optional<bool> item_first_line_has_text(bool settle) const;
  bool follows_bare_marker_line(std::size_t p) const;
  void scan_html_block_lines(std::size_t upto);
  bool in_html_block();
  void start_html_block_scan();
  void truncate_output(std::size_t len);
  void delete_output_range(std::size_t from, std::size_t to);
  void insert_output(std::size_t at, std::string_view text) { replace_output(at, 0, text); }
  void insert_output_after(std::size_t at, std::string_view text);
  void replace_output(std::size_t from, std::size_t len, std::string_view text);
  std::size_t trailing_run_start(TrailingRunCache& cache, std::size_t end, bool (*in_class)(unsigned char)) const;
  std::size_t end_without_trailing_whitespace() const;

  // ---- closing markup and separators (close.cpp)
  void write_close_element(ElementFrame& frame);
  Opener write_close_markup(const ElementFrame& frame, std::uint64_t colspan) const;
  std::string header_separator_row();
  void finish_link(const ElementFrame& frame, std::uint8_t newlines);
 public:
  void write_block_separator(bool before, bool is_inline, std::uint8_t newlines, const std::string* text, bool raw,
                             const ElementFrame* frame = nullptr);
 private:
  void take_back_soft_space(bool before, bool is_inline, std::uint8_t newlines, const ElementFrame* e);
  void escape_bare_run_at_end(std::size_t write_start);
  bool space_before_link_text();
  void write_blank_line_with_prefix();
  void write_newline_padding(std::uint8_t count, bool with_prefix);
  std::optional<std::string> newline_padded_marker(std::string_view text, std::uint8_t count) const;
  std::optional<std::string> leading_separator_for(std::string_view text) const;
  std::string build_line_prefix() const;
  void trim_trailing_spaces();
  void escape_trailing_heading_hashes();
  bool inside_html_block_element() const;
  bool closes_outermost_html_element(const ElementFrame& e) const;
  std::uint8_t line_starts_list_item() const;
  bool is_list_marker_at(std::size_t pos) const;
  std::uint8_t trailing_line_feeds(std::size_t limit) const;
  bool in_cell() const { return is_open(kTh) || is_open(kTd); }

  // ---- text output and escaping (text.cpp)
  void write_text(std::string_view text, bool soft);
  std::optional<std::string> escape_inline_markdown(std::string_view text) const;
  bool needs_line_start_escape(std::string_view text) const;
  bool output_at_line_start() const;
  // Whether the output before `pos` holds only the white space that starts
  // the document, which its final trim drops (the drain too): text at `pos`
  // starts the document's first line. The buffer holds the document's start
  // until the drain first drops what it handed out, whatever it handed out.
  bool at_document_start(std::size_t pos) const {
    if (line_start_kind_ != 0 || pos > output_.size()) return false;
    if (pos == 0) return true;
    const auto first = static_cast<unsigned char>(output_[0]);
    if (first < 0x80 && !scan::is_ws(first)) return false;
    const TrailingRunCache& known = leading_space_run_;
    if (known.epoch == output_epoch_ && known.run_start < known.length) return pos <= known.run_start;
    return only_space_before(pos);
  }
  bool only_space_before(std::size_t pos) const;
  // Openers of pairs count as written: text after one at a line start is
  // not there, and gets its backslash when the opener is cut
  // (escape_after_cut).
  std::optional<unsigned> line_start_indent() const { return line_start_indent_at(output_.size()); }
  std::optional<unsigned> line_start_indent_at(std::size_t size) const;
  std::size_t number_marker_delimiter(std::string_view text) const;
  bool follows_number_at_line_start(std::size_t more_digits = 0) const;
  void write_emphasis_marker(std::uint8_t mode);
  void settle_less_than_escape(char next);
  void drop_empty_caption_markers();
  void flush_deferred_separators(std::optional<HeldSeparator>& held);
  void flush_all_deferred_separators();
  bool defer_caption_separator(std::string_view text);
  void mark_frames_with_content();

  // ---- emphasis and strikethrough pairs (emphasis.cpp)
  bool join_marker_pair(const ElementFrame& frame, std::string_view opener);
  void close_marker_pair(const ElementFrame& frame, const Opener& closer);
  void forget_marker_pair(const ElementFrame& frame);
  void settle_marker_pairs(bool at_end);
  void judge_marker_pairs(bool at_end);
  std::uint64_t judgement_key(bool at_end, std::size_t& prefix) const;
  void keep_judgement(bool at_end);
  bool judge_lone_pair(bool at_end, std::size_t limit);
  std::pair<std::size_t, std::size_t> marker_run(std::size_t start, std::size_t end) const;
  bool marker_pair_final(std::size_t index) const;
  void place_closed_pair(std::size_t index);
  std::size_t trailing_space_start(std::size_t from, std::size_t to) const;
  std::size_t leading_space_end(std::size_t from, std::size_t to) const;
  bool move_closer_before_space(MarkerPair& pair);
  void move_opener_after_space(MarkerPair& pair);
  void escape_bare_run_beside(std::size_t at, std::size_t from, std::size_t to);
  bool starts_block_marker(std::size_t pos) const;
  [[gnu::cold]] bool rewrite_marker_pair(std::size_t index, bool at_end);
  [[gnu::cold]] void set_marker_character(const MarkerPair& pair, char mark);
  [[gnu::cold]] std::vector<std::size_t> switch_to_other_mark(std::size_t index);
  [[gnu::cold]] void move_pair_into_link(std::size_t index, std::size_t link);
  [[gnu::cold]] void split_pair_at_head_link(std::size_t index, std::size_t link);
  [[gnu::cold]] void split_pair_at_tail_link(std::size_t index, std::size_t link);
  std::size_t held_link_at(std::size_t LinkSpan::*edge, std::size_t pos) const;
  std::pair<std::size_t, std::size_t> link_move_for(std::size_t index) const;
  bool held_marker_at(std::size_t pos) const;
  char mark_inside_link(std::size_t index, const LinkSpan& span) const;
  char mark_outside_link(std::size_t index, const LinkSpan& span) const;
  bool may_rewrite(std::size_t index) const;
  bool other_mark_may_free(std::size_t other, std::size_t index) const;
  std::size_t code_span_after_opener(const MarkerPair& pair) const;
  std::size_t code_span_before_closer(const MarkerPair& pair) const;
  bool code_span_edge_has_space(std::size_t start, std::size_t end, bool at_open) const;
  bool code_edges_have_space(const MarkerPair& pair) const;
  std::size_t pair_at_content_edge(std::size_t index, bool at_close) const;
  std::size_t code_edges_to_trim(std::size_t index) const;
  bool space_at_content_edge(const MarkerPair& pair) const;
  [[gnu::cold]] bool trim_code_span_edges(std::size_t index);
  void note_moved_code_span(std::size_t old_start, std::size_t start, std::size_t end);
  std::size_t insert_marker_pair(const MarkerPair& pair);
  void enter_link(MarkerPair& pair, std::uint64_t scope);
  void place_pair_content(MarkerPair& pair);
  [[gnu::cold]] void take_out_marker_pair(std::size_t index);
  [[gnu::cold]] void join_touching_marker_pairs();
  [[gnu::cold]] void join_code_spans_at(std::size_t pos, CodeBefore first, std::size_t first_start);
  CodeBefore code_span_ends_at(std::size_t pos) const;
  void bound_marker_pairs();
  void drop_paragraph_crossing_openers();
  [[gnu::cold]] bool drop_waiting_opener(std::size_t index);
  std::uint8_t side_before(std::size_t pos) const;
  std::uint8_t side_at(std::size_t pos) const;
  bool escaped_at(std::size_t pos) const;
  void cut_marker(std::size_t from, std::size_t to);
  void keep_bang_before_link(std::size_t pos);
  bool move_space_before_openers(std::string_view space);
  void escape_after_cut(std::size_t pos);
  void hand_on_code_span(std::size_t pos, CodeBefore kind, std::size_t start);
  // Where the first pair's opener starts, or the code span that ends right
  // before it: taking the pair out lets that span continue.
  std::size_t first_pair_start() const {
    const MarkerPair& m = marker_pairs_.front();
    return m.code_at_open == CodeBefore::kJoinable ? m.code_before_open : m.open_start;
  }
  void keep_space_of_inline_element();

  // ---- code fences and spans (code.cpp)
  void finish_pending_block();
  void find_code_fence_opener(std::size_t start, std::size_t end, std::string language, std::string indent);
  std::optional<std::string> choose_code_fence();
  std::size_t longest_fence_run(std::size_t from, std::string_view indent) const;
  void open_inner_fence(const ElementFrame& frame);
  void close_inner_fence();
  std::string close_inline_code(CodeSpanRecord& record);
  bool code_span_ends_output() const;
  bool continue_code_span(Opener& opener);
  void keep_code_spans_apart(std::size_t pos);
  [[gnu::cold]] void reopen_last_code_span();

  // ---- quotation regions (quote.cpp)
  void close_quote_region();
  void rewrite_region_lines(std::size_t limit);
  void replace_region_text(std::size_t from, std::size_t to, const std::string& text);

  // Calls `f(position&)` for every output position recorded by the writers.
  template <class F>
  void for_each_position(F&& f) {
    f(emitted_end_);
    if (current_region_.active) f(current_region_.start);
    for (PendingRegion& r : region_stack_) f(r.start);
    for (InlineMarkerSpan& s : inline_marker_spans_) {
      f(s.start);
      f(s.end);
    }
    for (CodeSpanRecord& c : code_spans_) {
      f(c.start);
      f(c.end);
      f(c.scanned);
    }
    if (less_than_escape_) f(*less_than_escape_);
    if (kept_heading_end_) f(*kept_heading_end_);
    for (LinkSpan& link : held_links_) {
      f(link.open);
      f(link.text_end);
      f(link.end);
    }
    if (last_code_span_) {
      f(last_code_span_->start);
      f(last_code_span_->content_start);
      f(last_code_span_->close_start);
      f(last_code_span_->close_end);
    }
    for (MarkerPair& m : marker_pairs_) {
      f(m.open_start);
      f(m.open_end);
      f(m.close_start);
      f(m.close_end);
      f(m.code_before_open);
      f(m.code_before_close);
    }
    f(pair_scan_);
    for (DeferredMarker& m : deferred_markers_) {
      if (m.state != 1) continue;
      f(m.position);
      f(m.content_position);
    }
    if (open_fence_) {
      f(open_fence_->start);
      f(open_fence_->end);
    }
    for (InnerFence& fence : inner_fences_) {
      f(fence.separator);
      f(fence.fence);
      f(fence.content);
    }
    for (QuoteRegion& q : quote_regions_) f(q.start);
    f(pending_newline_at_);
    f(pending_newline_scan_);
    f(html_block_scan_start_);
  }

  // ---- output helpers
  void push_output(std::string_view bytes) { output_.append(bytes); }
  std::optional<unsigned char> last_byte() const;
  std::optional<unsigned char> byte_before(std::size_t pos) const;
  bool output_ends_with(std::string_view s) const;
  std::size_t floor_boundary(std::size_t pos) const;
  void check_no_holds_left() const;
  void check_marker_pairs_in_order() const;
  void check_character_boundary(std::size_t pos) const;

  // ---------------------------------------------------------------- state
  // Input side.
  std::string text_buffer_;
  bool has_ampersand_ = false;
  bool at_space_ = true;
  bool has_space_ = false;
  bool has_content_ = false;
  bool text_needs_escape_ = false;
  bool after_close_ = false;
  std::uint64_t plain_byte_count_ = 0;
  bool end_tag_unfinished_ = false;
  std::uint8_t script_state_ = 0;
  ResumeState resume_;    // saved by the call that stopped
  ResumeState incoming_;  // what the current call may resume at offset 0
  std::uint64_t scan_work_ = 0;

  std::vector<ElementFrame> frames_;  // [0, depth_) is the stack; the rest is the pool
  std::size_t depth_ = 0;
  std::uint16_t open_counts_[kTagCount] = {};
  std::optional<std::size_t> innermost_block_;
  std::vector<std::size_t> block_depths_;
  std::uint8_t phrasing_depth_ = 0;
  std::uint8_t span_depth_ = 0;
  std::string list_indent_;
  std::vector<std::uint8_t> list_indent_widths_;

  bool pending_known_ = false;
  TagId pending_tag_ = kHtml;
  std::string pending_name_;
  std::uint64_t pending_depth_ = 0;
  std::string skip_name_;
  std::uint64_t skip_depth_ = 0;
  std::string raw_text_end_name_;
  bool raw_text_discard_ = false;
  bool raw_text_mode_ = false;
  bool in_preformatted_ = false;

  // Output side.
  std::string output_;
  std::size_t emitted_end_ = 0;
  bool output_started_ = false;
  std::size_t last_write_len_ = 0;
  char tail_bytes_[2] = {'\n', '\n'};
  // What is known of the line that was open at the last compaction: 0
  // nothing (no compaction yet), 1 only spaces so far (line_start_indent_ of
  // them, at most 4), 2 starts with '<' after at most 3 spaces, 3 starts with
  // '|', 4 other content, 5 a list marker and then only spaces.
  std::uint8_t line_start_kind_ = 0;
  std::uint8_t line_start_indent_ = 0;
  PendingRegion current_region_;
  std::vector<PendingRegion> region_stack_;
  std::vector<InlineMarkerSpan> inline_marker_spans_;
  std::vector<DeferredMarker> deferred_markers_;
  std::vector<CodeSpanRecord> code_spans_;
  std::vector<MarkerPair> marker_pairs_;
  // The verdict on each pair from the last look (judge_marker_pairs).
  enum : std::int8_t { kVerdictUnknown = -1, kVerdictFails = 0, kVerdictReads = 1 };
  std::vector<std::int8_t> pair_verdicts_;
  MarkerJudgement judgement_;
  // Output before this was looked at for blank lines after the openers of
  // the pairs that wait for their closers.
  std::size_t pair_scan_ = 0;
  std::optional<ClosedCodeSpan> last_code_span_;
  // The links written while pairs are held, in order: a pair at an edge of
  // whose content a link stands may put its markers inside the brackets.
  std::vector<LinkSpan> held_links_;
  // The backslash before a '<' that ends the output, written for what may
  // follow it: it goes if that cannot make a tag of it.
  std::optional<std::size_t> less_than_escape_;
  // The end of the input was reached: nothing more follows the output (a
  // later chunk continues it, and clears this).
  bool input_ended_ = false;
  std::optional<FenceOpener> open_fence_;
  std::vector<InnerFence> inner_fences_;
  bool inner_break_owed_ = false;  // a blank line after an inner fence, before more code
  std::vector<QuoteRegion> quote_regions_;
  bool pending_newline_ = false;
  std::size_t pending_newline_at_ = 0;
  std::size_t pending_newline_scan_ = 0;
  // Whether the line at html_block_scan_start_ is read as raw HTML, and
  // whether its start is still to be looked at (scan_html_block_lines).
  bool html_block_open_ = false;
  bool html_block_line_pending_ = true;
  bool html_line_starts_tag_ = false;  // the line at html_block_scan_start_
  std::size_t html_block_scan_start_ = 0;

  std::string fence_language_;
  bool fence_pending_ = false;
  bool fence_open_ = false;
  std::vector<std::uint8_t> column_alignments_;
  std::uint64_t cell_index_ = 0;
  std::uint64_t column_count_ = 0;
  bool separator_written_ = false;
  std::uint8_t break_state_ = 0;
  std::uint8_t break_newlines_ = 0;
  bool html_link_open_ = false;
  // The last list closed: a list of its kind opened as the next child of
  // the same parent would read as its continuation, so it takes the other
  // marker ("*" for "-", ")" for ".").
  struct ListEnd {
    std::uint64_t parent_serial = 0;
    std::uint64_t position = 0;  // among the parent's children
    TagId kind = kHtml;
    bool other_marker = false;
  };
  std::optional<ListEnd> list_end_;
  std::uint64_t elements_opened_ = 0;
  std::uint64_t top_level_children_ = 0;
  // The index the next child of the innermost open element (or of the
  // document) takes.
  std::uint64_t child_position() const { return depth_ ? frames_[depth_ - 1].child_count : top_level_children_; }
  bool list_rule_break_ = false;
  // Nothing but inline boundaries (text, inline elements, comments) since the
  // last output: text written next joins it. A block element that writes no
  // newline clears it, and the next text on its line is set apart by a space.
  bool last_element_inline_ = false;
  bool pending_space_ = false;
  // Where a heading kept as HTML inside a link ended: text or markup written
  // right there gets a space first.
  std::optional<std::size_t> kept_heading_end_;
  bool after_kept_heading() const { return kept_heading_end_ == output_.size(); }
  bool soft_space_ = false;
  bool text_written_ = false;

  std::string scratch_;
  // Bumped by every change of the output other than an append.
  std::uint64_t output_epoch_ = 0;
  mutable TrailingRunCache whitespace_run_;
  mutable TrailingRunCache heading_run_;
  // How far the white space that starts the document reaches (run_start:
  // its end), while nothing was handed out.
  mutable TrailingRunCache leading_space_run_;
  TrailingRunCache pair_backslash_run_;  // the backslashes before the first waiting pair
  // Quotation early rewrite: output known to hold no line feed in
  // [quote_lf_clear_from_, quote_lf_clear_to_).
  std::uint64_t quote_lf_epoch_ = ~std::uint64_t{0};
  std::size_t quote_lf_clear_from_ = 0;
  std::size_t quote_lf_clear_to_ = 0;
};

// Text written right after a non-inline element's output on the same line
// gets a space in front.
bool is_flanking_boundary(bool last_inline, std::optional<unsigned char> last, std::string_view text);

// Byte classes.
inline bool is_markdown_special(unsigned char c) {
  return c == '*' || c == '<' || c == '[' || c == '\\' || c == '_' || c == '`' || c == '~';
}

inline bool has_visible_text(std::string_view text) {
  for (char c : text) {
    if (!scan::is_ws(static_cast<unsigned char>(c))) return true;
  }
  return false;
}

// Parses an unsigned decimal number: surrounding whitespace trimmed, one
// leading '+', only digits, at most `max`.
std::optional<std::uint64_t> parse_ascii_uint(std::string_view text, std::uint64_t max);

// The ordered-list start ("start" attribute, 1 by default) plus `index`,
// capped at 999999999.
std::uint64_t ordered_list_start(const AttributeList& attributes, std::uint64_t index);


// The language of a "class" value: the rest of the first word starting with
// "language-" whose bytes are all acceptable in a fence's info string.
std::optional<std::string> code_language_from_class(const ParsedAttribute* cls);

// Writes "(" url [title] ")": the URL in angle brackets when it holds
// white space, parentheses, angle brackets or a backslash.
void write_link_destination(std::string& out, std::string_view url, std::string_view title);

// Copies `text`, a backslash before every byte of `set`.
void backslash_escape(std::string& out, std::string_view text, std::string_view set);

// Appends `text` to `out`, every byte for which `entity(c)` gives a text
// replaced by that text; runs without such bytes are copied in one piece.
template <class Entity>
void append_with_entities(std::string& out, std::string_view text, Entity entity) {
  std::size_t copied = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char* replacement = entity(text[i]);
    if (!replacement) continue;
    out.append(text.data() + copied, i - copied);
    out.append(replacement);
    copied = i + 1;
  }
  out.append(text.data() + copied, text.size() - copied);
}

// "<name>" or "</name>" of a known tag.
std::string html_tag(TagId id, bool closing);

// Appends `text` escaped for an attribute value in double quotes.
void escape_html_attribute(std::string& out, std::string_view text);

// Text inside elements written as raw HTML.
std::optional<std::string> escape_html_block_text(bool table_open, bool in_link, std::string_view text);

// Code text inside a table cell.
std::string escape_cell_code_text(std::string_view text);

}  // namespace tidewell::streaming
