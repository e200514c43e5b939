// Emphasis and strikethrough markers that a reader can pair. A run of '*'
// or '~' opens only where the characters beside it allow (CommonMark's
// flanking rules, which markdown-it's strikethrough shares), and closes
// likewise: "x**-**" or "**\***b" would show their asterisks. The stream
// knows the character after a closer only when something follows it, so
// each pair is settled then (or at the end of the input), and taken out
// where it would not pair; the drain holds it until it is settled. A pair
// whose element stays open is settled earlier, at a blank line after its
// opener or once it holds much output, so that the stream holds little.
#include <algorithm>
#include <cstring>

#include "common/char_sides.hpp"
#include "streaming/processor.hpp"

namespace tidewell::streaming {
namespace {

// The run opens for every pair of possible neighbours (left-flanking).
bool always_opens(std::uint8_t before, std::uint8_t after) {
  for (std::uint8_t b = 1; b <= 4; b <<= 1) {
    for (std::uint8_t a = 1; a <= 4; a <<= 1) {
      if ((before & b) && (after & a) && !left_flanking(b, a)) return false;
    }
  }
  return true;
}

// The run closes for every pair of possible neighbours (right-flanking).
bool always_closes(std::uint8_t before, std::uint8_t after) { return always_opens(after, before); }

// Output an opener may hold while it waits for its closer.
constexpr std::size_t kPairHoldLimit = 65535;
// Pairs kept because what stands beside their markers may still change.
constexpr std::size_t kMaxHeldPairs = 32;

bool is_marker_byte(char c) { return c == '*' || c == '~'; }

}  // namespace

// An element that writes the markers the output ends with, the closer of
// the pair just before it, continues that pair: "*a**b*" would not read
// as one emphasis.
bool Processor::join_marker_pair(const ElementFrame& f, std::string_view opener) {
  if (marker_pairs_.empty() || pending_space_) return false;
  // The pair whose closer ends the output: an inner pair that closed
  // before it stands after it in the list.
  std::size_t at = marker_pairs_.size() - 1;
  while (at > 0 && !(marker_pairs_[at].closed && marker_pairs_[at].close_end == output_.size())) --at;
  MarkerPair& last = marker_pairs_[at];
  if (!last.closed || last.close_end != output_.size() ||
      std::string_view(output_).substr(last.close_start, last.close_end - last.close_start) != opener) {
    return false;
  }
  cut_marker(last.close_start, last.close_end);
  last.closed = false;
  last.serial = f.serial;
  last.scan_from = last.close_start;
  return true;
}

void Processor::close_marker_pair(const ElementFrame& f, const Opener& closer) {
  const bool written = closer && is_marker_text(*closer) && output_ends_with(*closer);
  for (std::size_t i = marker_pairs_.size(); i-- > 0;) {
    MarkerPair& pair = marker_pairs_[i];
    if (pair.serial != f.serial || pair.closed) continue;
    if (written) {
      pair.closed = true;
      pair.close_end = output_.size();
      pair.close_start = pair.close_end - closer->size();
      pair.code_at_close = code_span_ends_at(pair.close_start);
      if (pair.code_at_close != CodeBefore::kNone) pair.code_before_close = last_code_span_->start;
      if (!pair.two_sided_inside && (*closer)[0] == '*') {
        pair.two_sided_inside = holds_two_sided_run(std::max(pair.scan_from, pair.open_end), pair.close_start);
      }
    } else {
      marker_pairs_.erase(marker_pairs_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return;
  }
}

void Processor::forget_marker_pair(const ElementFrame& f) {
  for (std::size_t i = marker_pairs_.size(); i-- > 0;) {
    if (marker_pairs_[i].serial == f.serial && !marker_pairs_[i].closed) {
      marker_pairs_.erase(marker_pairs_.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

bool Processor::escaped_at(std::size_t pos) const {
  std::size_t k = pos;
  while (k > 0 && output_[k - 1] == '\\') --k;
  return (pos - k) % 2 == 1;
}

// What the character that ends at `pos` counts as; the start of the
// document counts as white space.
std::uint8_t Processor::side_before(std::size_t pos) const {
  if (pos == 0) {
    const std::optional<unsigned char> b = byte_before(0);
    if (!b) return kSpaceSide;
    return *b < 0x80 ? side_of_code_point(*b) : std::uint8_t{kAnySide};
  }
  return side_of_char_before(output_, pos);
}

std::uint8_t Processor::side_at(std::size_t pos) const { return side_of_char_at(output_, pos); }

// Whether the pair's markers read as markup: its opening run opens and its
// closing run closes. Empty when the character after the closing run is not
// known yet.
// Markers of other elements right beside [start, end) are one run with it.
std::pair<std::size_t, std::size_t> Processor::marker_run(std::size_t start, std::size_t end) const {
  const char mark = output_[start];
  while (start > 0 && output_[start - 1] == mark && !escaped_at(start - 1)) --start;
  while (end < output_.size() && output_[end] == mark) ++end;
  return {start, end};
}

std::optional<bool> Processor::marker_pair_reads(const MarkerPair& pair, bool at_end) const {
  const std::size_t size = output_.size();
  if (pair.open_end > size || pair.close_end > size) return true;
  const auto [close_from, close_to] = marker_run(pair.close_start, pair.close_end);
  if (close_to == size && !at_end) return std::nullopt;
  // An opener that follows may still be taken back with its empty element.
  if (!at_end && !inline_marker_spans_.empty() && inline_marker_spans_.front().start <= close_to) return std::nullopt;
  const auto [open_from, open_to] = marker_run(pair.open_start, pair.open_end);
  // Markers with nothing between them are one run, which pairs with nothing.
  if (open_to > pair.close_start) return false;
  if (output_[pair.open_start] == '*') {
    // A reader pairs a run by its length: one of four or more that this
    // opener makes with the markers before it does not pair as written, and
    // one of three joined from markers of two lengths, once its first pair
    // closes, opens again with a length of three, which a run inside that
    // can both open and close pairs with ("***a*b*c***").
    const std::size_t run = open_to - open_from;
    if (run >= 4 && open_from < pair.open_start) return false;
    if (run == 3 && pair.two_sided_inside) return false;
  }
  if (open_to >= size || !always_opens(side_before(open_from), side_at(open_to))) return false;
  return always_closes(side_before(close_from), close_to == size ? std::uint8_t{kSpaceSide} : side_at(close_to));
}

// A '!' that a cut marker kept from a link's '[' stays text: "![" would
// make the link an image.
void Processor::keep_bang_before_link(std::size_t pos) {
  if (pos == 0 || pos >= output_.size() || output_[pos] != '[' || output_[pos - 1] != '!' || escaped_at(pos - 1)) {
    return;
  }
  const bool in_newest_write = output_.size() - pos < last_write_len_;
  insert_output_after(pos - 1, "\\");
  if (in_newest_write) ++last_write_len_;
}

// Removes [from, to) of a marker; the newest write loses what it held of it.
void Processor::cut_marker(std::size_t from, std::size_t to) {
  const std::size_t size = output_.size();
  const std::size_t write_start = size - std::min(last_write_len_, size);
  if (to > write_start) last_write_len_ -= to - std::max(from, write_start);
  delete_output_range(from, to);
}

void Processor::take_out_marker_pair(std::size_t index) {
  const MarkerPair pair = marker_pairs_[index];
  marker_pairs_.erase(marker_pairs_.begin() + static_cast<std::ptrdiff_t>(index));
  cut_marker(pair.close_start, pair.close_end);
  keep_bang_before_link(pair.close_start);
  join_code_spans_at(pair.close_start, pair.code_at_close, pair.code_before_close);
  cut_marker(pair.open_start, pair.open_end);
  keep_bang_before_link(pair.open_start);
  join_code_spans_at(pair.open_start, pair.code_at_open, pair.code_before_open);
  join_touching_marker_pairs();
}

// Pairs whose markers a cut brought together continue one another, as
// those written side by side do: "*a**b*" would not read as one emphasis.
void Processor::join_touching_marker_pairs() {
  for (std::size_t i = 0; i + 1 < marker_pairs_.size(); ++i) {
    MarkerPair& first = marker_pairs_[i];
    if (!first.closed) continue;
    for (std::size_t j = i + 1; j < marker_pairs_.size(); ++j) {
      MarkerPair& next = marker_pairs_[j];
      const std::string_view out(output_);
      if (next.open_start != first.close_end || escaped_at(first.close_start) ||
          out.substr(first.close_start, first.close_end - first.close_start) !=
              out.substr(next.open_start, next.open_end - next.open_start)) {
        continue;
      }
      const MarkerPair before = first;
      const std::size_t junction = first.close_start;
      // One cut: the closer and the opener stand side by side.
      cut_marker(first.close_start, next.open_end);
      // The joined pair takes the first one's place: the pairs stay in the
      // order of their openers, and the first of them holds the drain.
      MarkerPair joined = marker_pairs_[j];
      joined.open_start = before.open_start;
      joined.open_end = before.open_end;
      joined.code_at_open = before.code_at_open;
      joined.code_before_open = before.code_before_open;
      joined.two_sided_inside = joined.two_sided_inside || before.two_sided_inside;
      if (!joined.closed) joined.scan_from = junction;
      marker_pairs_[i] = joined;
      marker_pairs_.erase(marker_pairs_.begin() + static_cast<std::ptrdiff_t>(j));
      --i;
      break;
    }
  }
}

// A cut that brings a code span's closer and the next one's opener together
// ("`a``b`") makes one span of them, as code spans side by side are written:
// the next one still open continues the first, as one opened right after it
// does; closed, both are written again as one span of what they read as.
void Processor::join_code_spans_at(std::size_t pos, CodeBefore first, std::size_t first_start) {
  const std::size_t size = output_.size();
  if (first == CodeBefore::kNone || pos < 2 || pos + 1 >= size || output_[pos - 1] != '`' || output_[pos] != '`') {
    return;
  }
  if (first == CodeBefore::kApart) {
    keep_code_spans_apart(pos);
    return;
  }
  if (!code_spans_.empty() && code_spans_.back().start == pos) {
    const CodeSpanRecord next = code_spans_.back();
    if (!next.opener_at_end || !last_code_span_ || last_code_span_->close_end != pos || is_open(kTable)) return;
    code_spans_.pop_back();
    delete_output_range(next.start, next.end);
    reopen_last_code_span();
    return;
  }
  for (const CodeSpanRecord& c : code_spans_) {
    if (c.end >= first_start && c.start <= pos + 1) return;
  }
  // An opener written " `" (after a word in a list item, or after a span
  // too long to take up) keeps its space before the joined span.
  while (first_start < pos && output_[first_start] == ' ') ++first_start;
  if (first_start >= pos || is_open(kTable)) return;
  // The next span's closer: the first run of as many backticks as its opener.
  std::size_t fence = 0;
  while (pos + fence < size && output_[pos + fence] == '`') ++fence;
  std::size_t end = pos + fence;
  for (;;) {
    const std::size_t found = output_.find('`', end);
    if (found == std::string::npos) return;
    end = found;
    while (end < size && output_[end] == '`') ++end;
    if (end - found == fence) break;
  }
  const std::string content = read_code_span(std::string_view(output_).substr(first_start, pos - first_start)) +
                              read_code_span(std::string_view(output_).substr(pos, end - pos));
  const auto [length, pad] = code_span_fence(content);
  std::string span(length, '`');
  if (pad) span.push_back(' ');
  span += content;
  if (pad) span.push_back(' ');
  span.append(length, '`');
  if (last_code_span_ && last_code_span_->start >= first_start && last_code_span_->start < end) last_code_span_.reset();
  if (end > size - std::min(last_write_len_, size)) last_write_len_ = 0;
  replace_output(first_start, end - first_start, span);
}

// Whether the code span closed last ends at `pos`, and whether a code span
// opening there would take it up.
CodeBefore Processor::code_span_ends_at(std::size_t pos) const {
  if (!last_code_span_ || last_code_span_->close_end != pos || last_code_span_->close_start >= pos) {
    return CodeBefore::kNone;
  }
  return last_code_span_->apart ? CodeBefore::kApart : CodeBefore::kJoinable;
}

// Whether [from, to) holds a run of '*' with a letter or digit on both
// sides, or punctuation on both: it can both open and close. A run at
// either end belongs to the markers beside it.
bool Processor::holds_two_sided_run(std::size_t from, std::size_t to) const {
  auto kind = [&](std::size_t i) {
    const unsigned char c = static_cast<unsigned char>(output_[i]);
    return c < 0x80 ? side_of_code_point(c) : std::uint8_t{kWordSide};
  };
  std::size_t i = from;
  if (i > 0 && output_[i - 1] == '*') {
    while (i < to && output_[i] == '*') ++i;
  }
  for (; i < to; ++i) {
    if (output_[i] != '*' || escaped_at(i)) continue;
    std::size_t end = i;
    while (end < to && output_[end] == '*') ++end;
    if (end == to || i == 0) return false;
    const std::uint8_t left = kind(i - 1);
    if (left != kSpaceSide && left == kind(end)) return true;
    i = end - 1;
  }
  return false;
}

// A pair that reads, whose markers stand between bytes that no marker is,
// is final: no pair taken out later changes what stands beside its runs.
bool Processor::marker_pair_final(const MarkerPair& m) const {
  if (!m.closed || m.close_end >= output_.size()) return false;
  if ((m.close_start > 0 && is_marker_byte(output_[m.close_start - 1])) || is_marker_byte(output_[m.close_end]) ||
      (m.open_start > 0 && is_marker_byte(output_[m.open_start - 1])) || is_marker_byte(output_[m.open_end])) {
    return false;
  }
  const std::optional<bool> reads = marker_pair_reads(m, false);
  return reads && *reads && m.close_end < end_without_trailing_whitespace();
}

// A pair that does not read is taken out, and its content reads as the
// page's text. That changes what stands beside the markers around it, so
// the pairs are kept, and looked at again, until they are final.
void Processor::settle_marker_pairs(bool at_end) {
  if (!at_end) bound_marker_pairs();
  bool settled = false;
  for (bool changed = true; changed;) {
    changed = false;
    settled = true;
    for (std::size_t i = 0; i < marker_pairs_.size(); ++i) {
      const std::optional<bool> reads =
          marker_pairs_[i].closed ? marker_pair_reads(marker_pairs_[i], at_end) : std::nullopt;
      if (!reads) settled = false;
      if (!reads || *reads) continue;
      take_out_marker_pair(i);
      changed = true;
      break;
    }
  }
  if (settled) {
    marker_pairs_.clear();
    return;
  }
  std::erase_if(marker_pairs_, [&](const MarkerPair& m) { return marker_pair_final(m); });
}

// A pair whose element is still open holds the drain, and with it all the
// output after its opener: it is settled before its end where it can be.
// A blank line after the opener ends its paragraph (the markers could not
// pair); past a bound of output or of pairs held, the oldest is settled by
// what is known of it.
void Processor::bound_marker_pairs() {
  drop_paragraph_crossing_openers();
  for (std::size_t i = 0; i < marker_pairs_.size();) {
    if (output_.size() - marker_pairs_[i].open_start <= kPairHoldLimit && marker_pairs_.size() <= kMaxHeldPairs) break;
    if (!settle_waiting_opener(i)) ++i;
  }
}

// Settles the pair at `index` before what may still follow it is known: a
// closed pair that reads is taken as it stands, one whose element is still
// open loses its opener. False when there is nothing yet to judge it by.
bool Processor::settle_waiting_opener(std::size_t index) {
  const MarkerPair& m = marker_pairs_[index];
  if (!m.closed) return drop_waiting_opener(index);
  const std::optional<bool> reads = marker_pair_reads(m, false);
  if (!reads) return false;
  if (*reads) marker_pairs_.erase(marker_pairs_.begin() + static_cast<std::ptrdiff_t>(index));
  else take_out_marker_pair(index);
  return true;
}

// Takes out the opener of the pair at `index`, whose element is still open:
// its closer is not known, and a closer that would not close would show
// both markers. The element's frame remembers it, to write no closer.
// False while the opener may still be taken back with its empty element.
bool Processor::drop_waiting_opener(std::size_t index) {
  const MarkerPair m = marker_pairs_[index];
  for (const InlineMarkerSpan& s : inline_marker_spans_) {
    if (s.start <= m.open_start && m.open_start < s.end) return false;
  }
  marker_pairs_.erase(marker_pairs_.begin() + static_cast<std::ptrdiff_t>(index));
  // The element closing now has left the open ones, not its frame.
  for (std::size_t i = std::min(depth_ + 1, frames_.size()); i-- > 0;) {
    if (frames_[i].serial != m.serial) continue;
    frames_[i].markers_dropped = true;
    break;
  }
  cut_marker(m.open_start, m.open_end);
  keep_bang_before_link(m.open_start);
  return true;
}

// Looks for a blank line, followed by text, after the openers of pairs
// whose elements are open; those before it are taken out. Each byte is
// looked at once.
void Processor::drop_paragraph_crossing_openers() {
  std::size_t from = output_.size();
  for (const MarkerPair& m : marker_pairs_) {
    if (!m.closed) {
      from = m.open_end;
      break;
    }
  }
  from = std::max(from, pair_scan_);
  if (from >= output_.size()) return;
  // Output without a line feed holds no blank line.
  if (!std::memchr(output_.data() + from, '\n', output_.size() - from)) {
    pair_scan_ = output_.size();
    return;
  }
  const std::size_t visible = end_without_trailing_whitespace();
  if (from >= visible) return;
  pair_scan_ = visible;
  std::size_t blank = std::string::npos;  // the line feed that starts the last blank line
  for (std::size_t at = from; at < visible;) {
    const void* lf = std::memchr(output_.data() + at, '\n', visible - at);
    if (!lf) break;
    const std::size_t feed = static_cast<std::size_t>(static_cast<const char*>(lf) - output_.data());
    at = feed + 1;
    while (at < visible && (output_[at] == ' ' || output_[at] == '\t')) ++at;
    if (at < visible && output_[at] == '\n') blank = feed;
  }
  if (blank == std::string::npos) return;
  // From the last: a cut moves what follows it, the blank line too.
  for (std::size_t i = marker_pairs_.size(); i-- > 0;) {
    const MarkerPair& m = marker_pairs_[i];
    if (m.closed || m.open_end > blank) continue;
    const std::size_t size = output_.size();
    if (drop_waiting_opener(i)) blank = blank + output_.size() - size;
  }
}

// White space at the start of an element's text stands before its markers,
// where a reader keeps it: "x* z*" would read as text. False when no
// emphasis or strikethrough opener ends the output.
bool Processor::move_space_before_openers() {
  if (inline_marker_spans_.empty() || inline_marker_spans_.back().end != output_.size()) return false;
  // The openers written right before, with nothing between them.
  std::size_t first = inline_marker_spans_.size();
  std::size_t at = output_.size();
  while (first > 0 && inline_marker_spans_[first - 1].end == at && inline_marker_spans_[first - 1].kind <= 4) {
    at = inline_marker_spans_[--first].start;
  }
  if (first == inline_marker_spans_.size()) return false;
  const std::optional<unsigned char> before = byte_before(at);
  if (!before || scan::is_ws(*before)) return true;
  // Between what ends at `at` (a closer, the text handed out) and the
  // openers that start there.
  insert_output_after(at, " ");
  for (std::size_t i = first; i < inline_marker_spans_.size(); ++i) {
    if (inline_marker_spans_[i].start == at) ++inline_marker_spans_[i].start;
  }
  for (MarkerPair& m : marker_pairs_) {
    if (!m.closed && m.open_start == at) ++m.open_start;
  }
  return true;
}

// Where text written now starts, as far as a line start goes: before the
// openers of pairs still waiting for content, which may yet be taken out.
std::size_t Processor::end_before_openers_of_pairs() const {
  std::size_t end = output_.size();
  for (std::size_t i = marker_pairs_.size(); i-- > 0;) {
    const MarkerPair& m = marker_pairs_[i];
    if (m.closed || m.open_end != end) break;
    end = m.open_start;
  }
  return end;
}

void Processor::keep_space_of_inline_element() {
  if (!move_space_before_openers()) pending_space_ = true;
}

}  // namespace tidewell::streaming
