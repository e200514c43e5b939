// The output drain: hands out the Markdown no later step can change, then
// drops from the buffer what is no longer needed, keeping a short window for
// writers that look back and every position that may still be rewritten.
#include <algorithm>
#include <stdexcept>

#include "common/unicode_space.hpp"
#include "streaming/processor.hpp"

namespace tidewell::streaming {
namespace {

constexpr std::size_t kEarlyRewriteSize = 8191;

std::size_t sat_sub(std::size_t a, std::size_t b) { return a > b ? a - b : 0; }

bool is_heading_tail_class(unsigned char c) { return c == '#' || c == ' ' || c == '\t'; }

// A list marker is at most 3 spaces, 9 digits and "." or ")".
constexpr std::size_t kMarkerSpan = 13;

// Length of the list marker ("*", "+", "-", or 1 to 9 digits and "." or
// ")") that `s` starts with; 0 when there is none.
std::size_t list_marker_length(std::string_view s) {
  if (s.empty()) return 0;
  if (s[0] == '*' || s[0] == '+' || s[0] == '-') return 1;
  std::size_t d = 0;
  while (d < s.size() && d < 10 && scan::is_digit(static_cast<unsigned char>(s[d]))) ++d;
  if (d == 0 || d > 9 || d == s.size() || (s[d] != '.' && s[d] != ')')) return 0;
  return d + 1;
}

bool only_spaces(std::string_view s) { return s.find_first_not_of(' ') == std::string_view::npos; }

}  // namespace

Processor::Processor(std::size_t size_hint) {
  output_.reserve(size_hint);
  frames_.reserve(32);
  block_depths_.reserve(32);
}

// ---------------------------------------------------------------- output edits

void Processor::truncate_output(std::size_t len) {
  if (len >= output_.size()) return;
  check_character_boundary(len);
  output_.resize(len);
  ++output_epoch_;
  pair_scan_ = std::min(pair_scan_, len);
}

void Processor::delete_output_range(std::size_t from, std::size_t to) { replace_output(from, to - from, {}); }

// Replaces [from, from + len) with `text`; recorded positions at or after the
// end of the range move with the text behind it.
void Processor::replace_output(std::size_t from, std::size_t len, std::string_view text) {
  if (from > output_.size()) return;
  len = std::min(len, output_.size() - from);
  check_character_boundary(from);
  check_character_boundary(from + len);
  output_.replace(from, len, text);
  ++output_epoch_;
  const std::size_t old_end = from + len;
  const std::size_t new_end = from + text.size();
  for_each_position([&](std::size_t& p) {
    if (p >= old_end) p = p - old_end + new_end;
    else if (p > new_end) p = new_end;
  });
}

// Inserts `text` at `at`; recorded positions at `at` stay in front of it
// (what was handed out, what ends there).
void Processor::insert_output_after(std::size_t at, std::string_view text) {
  if (at > output_.size()) return;
  check_character_boundary(at);
  output_.insert(at, text);
  ++output_epoch_;
  for_each_position([&](std::size_t& p) {
    if (p > at) p += text.size();
  });
}

// An edit of the output starts and ends between characters: a position
// left inside one (a record that was not moved with its text) would cut it.
void Processor::check_character_boundary(std::size_t pos) const {
#if !defined(NDEBUG) || defined(TIDEWELL_STREAM_CHECKS)
  if (pos < output_.size() && (static_cast<unsigned char>(output_[pos]) & 0xC0) == 0x80) {
    throw std::logic_error("streaming converter: an edit of the output inside a character");
  }
#else
  (void)pos;
#endif
}

// Start of the run of bytes of a class that ends at `end`. Between edits
// other than appends the output only grows, so a run found before is not
// walked again.
std::size_t Processor::trailing_run_start(TrailingRunCache& cache, std::size_t end,
                                          bool (*in_class)(unsigned char)) const {
  std::size_t p = end;
  if (cache.epoch == output_epoch_ && cache.length <= end) {
    while (p > cache.length && in_class(static_cast<unsigned char>(output_[p - 1]))) --p;
    if (p == cache.length) p = std::min(cache.run_start, cache.length);
  } else {
    while (p > 0 && in_class(static_cast<unsigned char>(output_[p - 1]))) --p;
  }
  cache = TrailingRunCache{output_epoch_, end, p};
  return p;
}

std::size_t Processor::end_without_trailing_whitespace() const {
  return trailing_run_start(whitespace_run_, output_.size(), scan::is_ws);
}

// ---------------------------------------------------------------- regions

bool Processor::region_holds(const PendingRegion& r) const {
  if (!r.active || r.released) return false;
  if (!inline_marker_spans_.empty() || !code_spans_.empty() || output_.empty()) return true;
  return end_without_trailing_whitespace() <= r.start + 1 + r.limit;
}

std::optional<std::size_t> Processor::safe_flush_position() const {
  std::optional<std::size_t> lowest;
  auto consider = [&](const PendingRegion& r) {
    if (region_holds(r)) lowest = lowest ? std::min(*lowest, r.start) : r.start;
  };
  consider(current_region_);
  for (const PendingRegion& r : region_stack_) consider(r);
  return lowest;
}

void Processor::push_pending_region(std::size_t start, bool bracket) {
  if (current_region_.active) region_stack_.push_back(current_region_);
  current_region_ = PendingRegion{start, 0, bracket, false, true};
}

void Processor::pop_pending_region() {
  if (!region_stack_.empty()) {
    current_region_ = region_stack_.back();
    region_stack_.pop_back();
  } else {
    current_region_ = PendingRegion{};
  }
}

// ---------------------------------------------------------------- list newline

// A list item that starts on the line after a line of text. A reader lets
// it interrupt that paragraph only when its first line holds text and, for
// a numbered item, its number is 1: "x\n-" would read as a heading, "x\n5. y"
// as one paragraph. A number other than 1 gets its blank line at once; for
// an item whose first line may stay empty the blank line waits, holding the
// drain, until that line holds text or ends (insert_pending_newline).
void Processor::update_blank_line_state(bool reset, std::size_t from, bool numbered_past_one) {
  // An item opening inside one that still waits settles that one first: its
  // first line is as far along as it will be when the drain asks.
  const std::size_t size_before = output_.size();
  insert_pending_newline(true);
  from += output_.size() - size_before;
  if (reset) return;
  from = std::min(from, output_.size());
  const std::size_t lf = output_.size() > from ? output_.rfind('\n') : std::string::npos;
  const std::size_t p = (lf != std::string::npos && lf >= from) ? lf + 1 : from;
  auto at = [&](std::size_t i, int back) -> std::optional<unsigned char> {
    // The byte `back` places before position i, from the tail when needed.
    if (i >= static_cast<std::size_t>(back)) return static_cast<unsigned char>(output_[i - back]);
    if (line_start_kind_ == 0) return std::nullopt;
    const std::size_t into_tail = back - i;  // 1 or 2
    return static_cast<unsigned char>(tail_bytes_[2 - into_tail]);
  };
  const auto b1 = at(p, 1);
  const auto b2 = at(p, 2);
  const bool one_lf = b1 == '\n' && b2 != '\n';
  if (one_lf && (p > 0 || output_started_) && !follows_bare_marker_line(p)) {
    pending_newline_ = true;
    pending_newline_at_ = p;
    pending_newline_scan_ = output_.size();
    if (numbered_past_one) insert_pending_newline(true);
  }
}

// Whether the line that ends right before `p` (a line start) is a list
// item's marker alone, after quote markers and indentation: no paragraph
// there for an item on the next line to interrupt. Unknown (false) when
// that line began before the buffer with more than spaces or a marker.
bool Processor::follows_bare_marker_line(std::size_t p) const {
  if (p == 0) return false;
  const std::size_t end = p - 1;  // its line feed
  const std::size_t lf = end > 0 ? output_.rfind('\n', end - 1) : std::string::npos;
  std::size_t start = 0;
  if (lf != std::string::npos) {
    start = lf + 1;
  } else if (line_start_kind_ == 5) {
    return only_spaces(std::string_view(output_).substr(0, end));
  } else if (line_start_kind_ != 0 && line_start_kind_ != 1) {
    return false;
  }
  std::string_view line = std::string_view(output_).substr(start, end - start);
  const std::size_t k = std::min(line.find_first_not_of(" >"), line.size());
  line.remove_prefix(k);
  const std::size_t marker = list_marker_length(line);
  return marker > 0 && only_spaces(line.substr(marker));
}

// Whether the first line of the item waiting for its blank line holds text:
// empty when that is not known yet. Spaces and emphasis markers do not count
// (a pair that cannot read is taken out later), nor what an opener still
// waiting for content, a caption's marker or a fence that may go, stands
// before. What counts stays (a link's '[' too, or it turns into the '<' of
// an automatic link), and a line feed after spaces and markers ends the
// line for good, so the answer does not depend on when it is asked.
std::optional<bool> Processor::item_first_line_has_text(bool settle) const {
  const std::size_t size = output_.size();
  std::size_t j = floor_boundary(std::min(pending_newline_scan_, size));
  while (j < size && (output_[j] == ' ' || output_[j] == '\t' || output_[j] == '*' || output_[j] == '~')) ++j;
  if (j == size) return std::nullopt;
  if (!inline_marker_spans_.empty() && inline_marker_spans_.front().start <= j) return std::nullopt;
  for (const DeferredMarker& m : deferred_markers_) {
    if (m.state == 1) return std::nullopt;
  }
  // An outer fence written for an inner pre goes again if that stays empty.
  for (const InnerFence& fence : inner_fences_) {
    if (fence.opened_outer) return std::nullopt;
  }
  // A pair on the item's line that is not settled yet may still be taken
  // out, and what stands inside it written again (a code span's leading
  // line feed goes before its fence): the drain waits for it. The item's
  // close settles with what the line holds then.
  if (!settle) {
    for (const MarkerPair& m : marker_pairs_) {
      if (m.open_start >= pending_newline_at_) return std::nullopt;
    }
  }
  return output_[j] != '\n';
}

// `force`: the item closes; a first line without text gets the blank line.
void Processor::insert_pending_newline(bool force) {
  if (!pending_newline_) return;
  const std::optional<bool> has_text = item_first_line_has_text(force);
  if (!has_text && !force) return;
  if (!has_text.value_or(false) && pending_newline_at_ <= output_.size()) {
    const std::size_t at = pending_newline_at_;
    const std::size_t scan_start = html_block_scan_start_;
    insert_output(at, "\n");
    // The new line feed makes a blank line before the item: look again from
    // the item's line.
    if (at <= scan_start) {
      html_block_scan_start_ = at + 1;
      html_block_open_ = false;
      html_block_line_pending_ = true;
    }
  }
  pending_newline_ = false;
}

// ---------------------------------------------------------------- html blocks

// Whether the tag that `line` starts with begins an HTML block wherever it
// stands, a paragraph's line too: a block-level name a reader knows (of the
// tags written here); 2 when the line is too short to tell yet.
static int starts_block_tag(std::string_view line) {
  constexpr TagSet kBlockNames = make_tag_set(
      {kAddress, kArticle, kAside, kBase, kBlockquote, kBody, kCaption, kCenter, kCol, kDd, kDetails, kDialog,
       kDiv, kDl, kDt, kFieldset, kFigcaption, kFigure, kFooter, kForm, kH1, kH2, kH3, kH4, kH5, kH6, kHead,
       kHeader, kHr, kHtml, kIframe, kLegend, kLi, kLink, kMain, kNav, kNoframes, kOl, kOptgroup, kOption, kP,
       kParam, kSection, kSummary, kTable, kTbody, kTd, kTfoot, kTh, kThead, kTitle, kTr, kTrack, kUl, kPre,
       kScript, kStyle, kTextarea});
  std::size_t k = 1;
  if (k < line.size() && line[k] == '/') ++k;
  const std::size_t name = k;
  while (k < line.size() && k - name <= 10 && (scan::is_letter(line[k]) || scan::is_digit(line[k]))) ++k;
  if (k == line.size()) return 2;
  const char after = line[k];
  if (after != ' ' && after != '\t' && after != '\n' && after != '>' && after != '/') return 0;
  const std::optional<TagId> id = lookup_either_case(line.substr(name, k - name));
  return id && kBlockNames[*id] ? 1 : 0;
}

// A reader reads a line as raw HTML when it is in an HTML block: a line
// whose first tag begins one (after the markers of the quotations and items
// it is in) starts it, a blank line or the marker of a new item ends it, any
// other line goes on as the line before went. The lines are looked at once,
// as the output grows, up to `upto` (the drain looks before it hands out);
// a line start not known in full yet is looked at again.
void Processor::scan_html_block_lines(std::size_t upto) {
  upto = std::min(upto, output_.size());
  std::size_t i = html_block_scan_start_;
  while (i < upto) {
    if (!html_block_line_pending_) {
      const std::size_t lf = output_.find('\n', i);
      if (lf == std::string::npos || lf >= upto) {
        i = upto;
        break;
      }
      i = lf + 1;
      html_block_line_pending_ = true;
      html_line_starts_tag_ = false;
      continue;
    }
    const char c = output_[i];
    if (c == ' ' || c == '\t' || c == '>') {
      ++i;
      continue;
    }
    if (c == '\n') {
      html_block_open_ = false;
      ++i;
      continue;
    }
    const std::size_t marker = list_marker_length(std::string_view(output_).substr(i, upto - i));
    if (marker || scan::is_digit(c)) {
      std::size_t end = i + marker;
      if (!marker) {
        while (end < upto && scan::is_digit(output_[end])) ++end;
      }
      if (end >= upto) break;
      if (marker && (output_[end] == ' ' || output_[end] == '\t' || output_[end] == '\n')) {
        html_block_open_ = false;
        i = end;
        continue;
      }
    }
    if (c == '<') {
      const int tag = starts_block_tag(std::string_view(output_).substr(i, upto - i));
      if (tag == 2) break;
      html_line_starts_tag_ = tag == 1;
      if (html_line_starts_tag_) html_block_open_ = true;
    }
    html_block_line_pending_ = false;
    ++i;
  }
  html_block_scan_start_ = i;
}

// Whether the line being written is read as raw HTML (scan_html_block_lines).
bool Processor::in_html_block() {
  scan_html_block_lines(output_.size());
  return html_block_open_;
}

// The outermost element written as HTML has written its tag: its lines are
// raw HTML from the line it stands on when that line starts with a tag that
// begins a block. What a reader made of the lines before, written as
// Markdown, is not followed (code in a fence may start with a tag).
void Processor::start_html_block_scan() {
  scan_html_block_lines(output_.size());
  html_block_open_ = html_line_starts_tag_;
}

// ---------------------------------------------------------------- the drain

std::string Processor::drain_ready_output() {
  check_marker_pairs_in_order();
  auto held_end = [&](std::size_t p) {
    p = floor_boundary(p);
    while (p > 0 && scan::is_ws(static_cast<unsigned char>(output_[p - 1]))) --p;
    return p;
  };
  const DeferredMarker* written_marker = nullptr;
  for (const DeferredMarker& m : deferred_markers_) {
    if (m.state == 1) {
      written_marker = &m;
      break;
    }
  }

  if (output_.size() > kEarlyRewriteSize && !quote_regions_.empty()) {
    std::size_t limit = end_without_trailing_whitespace();
    if (!inline_marker_spans_.empty()) limit = std::min(limit, held_end(inline_marker_spans_.front().start));
    if (written_marker) limit = std::min(limit, held_end(written_marker->position));
    rewrite_region_lines(limit);
  }

  std::size_t end = end_without_trailing_whitespace();
  if (!inline_marker_spans_.empty()) end = std::min(end, held_end(inline_marker_spans_.front().start));
  if (written_marker) end = std::min(end, held_end(written_marker->position));
  if (!code_spans_.empty()) end = std::min(end, held_end(code_spans_.front().start));
  if (!marker_pairs_.empty()) {
    // A '!' before the opener meets what follows if the pair is taken out,
    // and a code span ending there one inside the pair.
    std::size_t held = held_end(first_pair_start());
    if (held > 0 && output_[held - 1] == '!') --held;
    end = std::min(end, held);
  }
  if (code_span_ends_output()) end = std::min(end, held_end(last_code_span_->start));
  // The '[' of a link whose text has not started (nothing after it but
  // openers that may still go): a space owed before the text goes in front
  // of it (space_before_link_text).
  if (!input_ended_ && current_region_.active && !current_region_.released && current_region_.bracket &&
      current_region_.start < output_.size()) {
    const std::size_t from = current_region_.start + 1;
    const std::size_t upto = std::min(output_.size(), from + 64);
    std::size_t k = from;
    while (k < upto && (output_[k] == '*' || output_[k] == '_' || output_[k] == '~')) ++k;
    if (k == output_.size()) end = std::min(end, held_end(current_region_.start));
  }
  // A backslash before a '<' at the end may still go, with only white space
  // after it, or openers that go again if their elements stay empty or
  // their pairs do not read.
  if (!input_ended_ && less_than_escape_ &&
      (*less_than_escape_ + 2 == end_without_trailing_whitespace() ||
       (!inline_marker_spans_.empty() && inline_marker_spans_.front().start == *less_than_escape_ + 2) ||
       (!marker_pairs_.empty() && marker_pairs_.front().open_start == *less_than_escape_ + 2))) {
    end = std::min(end, *less_than_escape_);
  }
  if (open_fence_) end = std::min(end, held_end(open_fence_->start));
  if (!quote_regions_.empty()) end = std::min(end, held_end(quote_regions_.front().start));
  if (auto held = safe_flush_position()) end = std::min(end, held_end(*held));
  if (pending_newline_) end = std::min(end, floor_boundary(sat_sub(pending_newline_at_, 2)));
  if (any_tag_open_in_range(kH1, kH6)) end = trailing_run_start(heading_run_, end, is_heading_tail_class);
  // A link opening next would take a '!' for an image's: it may still need
  // its backslash.
  if (!input_ended_ && end > 0 && output_[end - 1] == '!') --end;
  // A run of '*' or '_' left bare before white space that may still go
  // after a closer gets its backslashes then (escape_bare_run_at_end).
  if (!input_ended_ && end > 0 && end < output_.size() && (output_[end - 1] == '*' || output_[end - 1] == '_')) {
    std::size_t run = end;
    while (run > 0 && output_[run - 1] == output_[end - 1]) --run;
    if (run > 0 && scan::is_ws(static_cast<unsigned char>(output_[run - 1]))) end = run;
  }

  std::size_t start = emitted_end_;
  if (!output_started_) start = std::max(start, skip_unicode_space(output_, 0));
  start = floor_boundary(start);
  end = std::max(floor_boundary(end), start);
  if (end <= start) {
    update_flush_regions();
    return std::string();
  }
  auto release = [&](PendingRegion& r) {
    if (r.active && r.start < end) r.released = true;
  };
  release(current_region_);
  for (PendingRegion& r : region_stack_) release(r);
  std::string ready = output_.substr(start, end - start);
  output_started_ = true;
  emitted_end_ = end;
  update_flush_regions();
  return ready;
}

void Processor::update_flush_regions() {
  const std::size_t keep = std::max(list_indent_.size() + 14, last_write_len_);
  const std::size_t size = output_.size();
  std::size_t cut = size > keep ? floor_boundary(size - keep) : 0;
  cut = std::min(cut, emitted_end_);
  auto limit = [&](std::size_t p) { cut = std::min(cut, floor_boundary(sat_sub(p, 2))); };
  if (auto held = safe_flush_position()) limit(*held);
  if (!inline_marker_spans_.empty()) limit(inline_marker_spans_.front().start);
  if (!code_spans_.empty()) limit(code_spans_.front().start);
  if (!marker_pairs_.empty()) {
    // With the markers of its kind right before the opener, which a reader
    // takes as one run with it, the byte before them and the backslashes
    // that may escape it: settling the pair looks at all of them. A long run
    // of backslashes is walked once.
    std::size_t k = first_pair_start();
    if (k < output_.size() && (output_[k] == '*' || output_[k] == '_' || output_[k] == '~')) {
      const char mark = output_[k];
      while (k > 0 && output_[k - 1] == mark) --k;
    }
    if (k > 0) --k;
    limit(trailing_run_start(pair_backslash_run_, k, [](unsigned char c) { return c == '\\'; }));
  }
  if (code_span_ends_output()) limit(last_code_span_->start);
  if (open_fence_) limit(open_fence_->start);
  if (!quote_regions_.empty()) limit(quote_regions_.front().start);
  insert_pending_newline(false);
  if (pending_newline_) limit(pending_newline_at_);
  // What a reader makes of the lines is known up to the cut: a line start
  // not known in full yet stays.
  scan_html_block_lines(cut);
  cut = std::min(cut, html_block_scan_start_);
  // The line state below cannot describe a list marker cut in two: a cut
  // that falls where one may still be is moved back to its line's start.
  for (std::size_t i = cut; i > 0 && cut - i < kMarkerSpan; --i) {
    if (output_[i - 1] == '\n') {
      cut = i;
      break;
    }
    if (i == 1 && (line_start_kind_ <= 1 || tail_bytes_[1] == '\n')) cut = 0;
  }
  if (cut == 0) return;

  if (cut >= 2) {
    tail_bytes_[0] = output_[cut - 2];
    tail_bytes_[1] = output_[cut - 1];
  } else {
    tail_bytes_[0] = line_start_kind_ != 0 ? tail_bytes_[1] : '\0';
    tail_bytes_[1] = output_[0];
  }

  // What is known of the line open at the cut.
  if (output_[cut - 1] == '\n') {
    line_start_kind_ = 1;
    line_start_indent_ = 0;
  } else {
    const std::size_t lf = output_.rfind('\n', cut - 1);
    std::size_t ls;
    unsigned indent = 0;
    bool decided = false;
    if (lf == std::string::npos) {
      ls = 0;
      if (line_start_kind_ == 5) {
        decided = true;
        if (!only_spaces(std::string_view(output_).substr(0, cut))) line_start_kind_ = 4;
      } else if (line_start_kind_ >= 2) {
        decided = true;
      } else if (line_start_kind_ == 1) {
        indent = line_start_indent_;
      }
    } else {
      ls = lf + 1;
    }
    if (!decided) {
      std::size_t k = ls;
      while (k < cut && output_[k] == ' ') {
        ++k;
        ++indent;
      }
      const std::string_view rest = std::string_view(output_).substr(k, cut - k);
      const std::size_t marker = indent <= 3 ? list_marker_length(rest) : 0;
      if (k == cut) {
        line_start_kind_ = 1;
        line_start_indent_ = static_cast<std::uint8_t>(std::min(indent, 4u));
      } else if (output_[k] == '<' && indent <= 3) {
        line_start_kind_ = 2;
      } else if (marker && only_spaces(rest.substr(marker))) {
        line_start_kind_ = 5;
      } else {
        while (k < cut && (output_[k] == ' ' || output_[k] == '\t')) ++k;
        if (k == cut) {
          line_start_kind_ = 1;
          line_start_indent_ = 4;
        } else {
          line_start_kind_ = output_[k] == '|' ? 3 : 4;
        }
      }
    }
  }

  auto release = [&](PendingRegion& r) {
    if (r.active && r.start < cut) r.released = true;
  };
  release(current_region_);
  for (PendingRegion& r : region_stack_) release(r);

  // A code span handed out whole with more after it can no longer end the
  // output: its positions would say nothing once cut.
  if (last_code_span_ && last_code_span_->close_end < cut) last_code_span_.reset();
  std::erase_if(held_links_, [&](const LinkSpan& link) { return link.open < cut; });
  output_.erase(0, cut);
  for_each_position([&](std::size_t& p) { p = sat_sub(p, cut); });
  for (TrailingRunCache* c : {&whitespace_run_, &heading_run_, &pair_backslash_run_}) {
    if (c->length >= cut) {
      c->length -= cut;
      c->run_start = sat_sub(c->run_start, cut);
    } else {
      c->epoch = ~std::uint64_t{0};
    }
  }
  quote_lf_clear_from_ = sat_sub(quote_lf_clear_from_, cut);
  quote_lf_clear_to_ = sat_sub(quote_lf_clear_to_, cut);
}

std::string Processor::finalize_document() {
  std::size_t end = output_.size();
  while (end > 0 && scan::is_ws(static_cast<unsigned char>(output_[end - 1]))) --end;
  output_.resize(end);
  const std::size_t start = skip_unicode_space(output_, 0);
  if (start > 0) output_.erase(0, start);
  return std::move(output_);
}

}  // namespace tidewell::streaming
