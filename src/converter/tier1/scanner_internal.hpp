// The scanner's state and actions, shared by its source files (markup in
// scanner.cpp, tables in tables.cpp, text and references in text.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "converter/tier1/scanner.hpp"
#include "converter/tier1/tag_table.hpp"

namespace tidewell::tier1 {

// Deeper nesting is left to the DOM road, which bounds its own; it keeps
// every rewrite of an element's output here proportional to the page.
inline constexpr std::size_t kMaxOpenElements = 256;

// Elements that write markup around their text: emphasis, code, links.
inline bool is_inline_marker_kind(Tier1Kind kind) {
  return kind == Tier1Kind::Strong || kind == Tier1Kind::Emphasis || kind == Tier1Kind::Code ||
         kind == Tier1Kind::Anchor;
}

// One open element.
struct Frame {
  const Tier1Tag* tag = nullptr;
  std::size_t marker_offset = 0;  // where its opening marker starts in its target
  std::size_t start_offset = 0;   // its target's length right after its open action
  std::uint32_t link_mark = 0;    // anchors: link_pool_ length before their href and title
  std::uint32_t href_len = 0;
  std::uint32_t title_len = 0;
  std::uint16_t item_counter = 0;  // lists: items opened so far
  std::uint16_t list_start = 1;    // ordered lists: the start attribute
  bool has_href = false;
  bool has_title = false;
  bool saved_in_pre = false;
  bool in_cell = false;  // its offsets are offsets in a cell's text
  bool plain = false;    // inside a code block: writes no markers
  bool within_own_kind = false;  // strong inside strong emphasis: writes no markers
  bool after_closing_marker = false;  // emphasis opened right after a neighbour's closing marker
  bool pending_form = false;  // a form that form removal drops unless it holds page content

  Tier1Kind kind() const { return tag->kind; }
};

// The open table (tables never nest on this road).
struct Table {
  bool open = false;
  bool in_cell = false;
  bool tbody_closed = false;
  bool tfoot_seen = false;
  bool has_header_cell = false;
  std::size_t link_count = 0;
  std::string cell_text;  // the open cell's text: the current target while in_cell
  std::string cells;      // recorded cell texts, back to back
  std::vector<std::pair<std::size_t, std::size_t>> cell_spans;  // (offset, length) in `cells`
  std::vector<std::size_t> row_ends;  // cell_spans index after each recorded row
  std::size_t row_first = 0;          // first cell of the row being collected

  void reset() {
    open = in_cell = tbody_closed = tfoot_seen = has_header_cell = false;
    link_count = 0;
    cell_text.clear();
    cells.clear();
    cell_spans.clear();
    row_ends.clear();
    row_first = 0;
  }
  std::string_view cell(std::size_t index) const {
    return std::string_view(cells).substr(cell_spans[index].first, cell_spans[index].second);
  }
};

class Scanner {
 public:
  Scanner(std::string_view text, const ConversionOptions& options);

  // Converts the whole text; false when it gave up (see bailout()).
  bool run();
  std::string& output() { return main_; }
  Tier1Bailout& bailout() { return bailout_; }

 private:
  // --- markup (scanner.cpp)
  bool markup_declaration(std::size_t lt, std::size_t& after);
  bool bogus_comment(std::size_t lt, std::size_t& after);
  bool start_tag(std::size_t lt, std::size_t& after);
  bool end_tag(std::size_t lt, std::size_t& after);
  std::size_t tag_end(std::size_t from) const;
  bool removed_by_options(const Tier1Tag& tag, std::string_view attributes);
  bool void_action(const Tier1Tag& tag, std::string_view attributes);
  bool open_element(const Tier1Tag& tag, std::string_view attributes);
  bool check_block_context(const Tier1Tag& tag);
  bool close_innermost();
  Frame pop_frame();
  bool close_action(const Frame& frame, int heading_level);
  bool end_of_input();
  void clean_up_output();

  bool close_heading(const Frame& frame, int level);
  void close_blockquote(const Frame& frame);
  void close_item(const Frame& frame);
  void close_pre(const Frame& frame);
  bool opens_after_word(const Frame& frame) const;
  bool ends_in_backslash(const Frame& frame, std::size_t end) const;
  bool opens_unpairable_run(const Frame& frame, std::size_t end) const;
  bool close_emphasis(const Frame& frame);
  bool close_code(const Frame& frame);
  bool close_link(const Frame& frame);
  bool write_image(std::string_view attributes);
  void separate_container();
  void keep_pending_forms();
  void clamp_offsets();

  // --- tables (tables.cpp)
  bool open_table_part(const Tier1Tag& tag, std::string_view attributes);
  bool close_table_part(const Frame& frame);
  bool close_cell();
  bool drop_cells_outside_rows();
  void close_row();
  bool close_table();

  // --- text and references (text.cpp)
  bool push_text(std::string_view run);
  bool push_pre_text(std::string_view run, std::string& target);
  // `text_start` receives where the run's text starts in `target`.
  bool push_running_text(std::string_view run, std::string& target, std::size_t& text_start);
  bool text_after_marker_holds(const std::string& target, std::size_t before);
  bool in_emphasis() const;
  // Inside a list after one of its items, in none of them (through inline
  // elements).
  bool between_items() const;
  bool decode_into(std::string_view text, std::string& out);
  bool decode_reference(std::string_view text, std::size_t& i, std::string& out);
  std::size_t open_marker_chain_start(std::size_t end, std::size_t open = std::string::npos) const;
  // Text written now stands in a code span (backticks open).
  bool in_code_span() const { return open_code_spans_ > 0; }
  void insert_space_before_markers(std::string& target, std::size_t at);
  void move_space_before_markers(std::string& target, std::size_t start);
  void shift_open_markers(std::size_t at, std::size_t count);

  // --- shared
  bool in_cell() const { return table_.open && table_.in_cell; }
  std::string& target() { return in_cell() ? table_.cell_text : main_; }
  bool fail(Tier1Reason reason, std::string_view name = {});

  std::string_view text_;
  const ConversionOptions& options_;
  std::string main_;
  std::vector<Frame> frames_;
  Table table_;
  std::string link_pool_;  // decoded hrefs and titles of the open anchors
  std::string scratch_;
  std::size_t position_ = 0;  // the markup being read, for the bailout
  std::uint16_t list_depth_ = 0;
  bool in_pre_ = false;
  std::size_t code_end_ = std::string::npos;  // the end of the last code block written
  // Where an emphasis marker after punctuation closed (its target's length
  // then, and whether the target is a cell): text that goes on with a
  // letter or digit there is left to the DOM road.
  std::pair<std::size_t, bool> closed_after_punct_{std::string::npos, false};
  // Where the last emphasis with content had its opening and its closing
  // marker (offsets in its target, and whether that is a cell's text).
  struct MarkerPair {
    std::size_t opener = std::string::npos;
    std::size_t closer = std::string::npos;
    bool in_cell = false;
  };
  MarkerPair last_close_;
  std::size_t open_inline_ = 0;   // open strong, emphasis, code and anchor elements
  std::size_t open_code_spans_ = 0;  // open code elements that wrote backticks
  std::size_t open_anchors_ = 0;
  std::size_t open_items_ = 0;    // open list items
  // Where the last list ended in the output, and its kind: a list of the
  // same kind right after it needs other markers, which the DOM road writes.
  std::pair<std::size_t, std::uint8_t> list_end_{std::string::npos, 0};
  std::size_t pending_forms_ = 0;  // open frames with pending_form
  Tier1Bailout bailout_;
};

// --- output helpers shared by the source files

// Removes spaces and tabs at the end.
void trim_spaces_and_tabs(std::string& out);
// A blank line after whatever the output holds (nothing for an empty output),
// trailing spaces and tabs removed first.
void ensure_blank_line(std::string& out);
// A line break after whatever the output holds (nothing for an empty output).
void ensure_line_break(std::string& out);

// Whether a decoded destination, title or label reads back unchanged when
// written as Markdown without any escape.
bool plain_destination_holds(std::string_view url);
bool plain_title_holds(std::string_view title);
bool plain_label_holds(std::string_view label, const ConversionOptions& options);
// An alt text reads back as written between an image's brackets: the DOM
// road would write it without a backslash (append_plain_link_text).
bool plain_alt_holds(std::string_view alt);

}  // namespace tidewell::tier1
