// Emphasis and strikethrough markers that a reader can pair. A run of '*'
// or '~' opens only where the characters beside it allow (CommonMark's
// flanking rules, which markdown-it's strikethrough shares), and closes
// likewise: "x**-**" or "**\***b" would show their asterisks. The stream
// knows the character after a closer only when something follows it, so
// each pair is settled then (or at the end of the input), and taken out
// where it would not pair; the drain holds it until it is settled.
#include <algorithm>

#include "common/char_sides.hpp"
#include "common/utf8.hpp"
#include "streaming/processor.hpp"

namespace tidewell::streaming {
namespace {

// The run opens for every pair of possible neighbours (left-flanking).
bool always_opens(std::uint8_t before, std::uint8_t after) {
  for (std::uint8_t b = 1; b <= 4; b <<= 1) {
    for (std::uint8_t a = 1; a <= 4; a <<= 1) {
      if ((before & b) && (after & a) && (a == kSpaceSide || (a == kPunctSide && b == kWordSide))) return false;
    }
  }
  return true;
}

// The run closes for every pair of possible neighbours (right-flanking).
bool always_closes(std::uint8_t before, std::uint8_t after) { return always_opens(after, before); }

std::uint8_t side_of_sequence(const unsigned char* p, const unsigned char* end) {
  if (*p < 0x80) return side_of_code_point(*p);
  bool valid = false;
  const std::size_t len = utf8_sequence(p, end, valid);
  if (!valid) return kAnySide;
  char32_t cp = p[0] & (0x3F >> (len - 1));
  for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (p[k] & 0x3F);
  return side_of_code_point(cp);
}

}  // namespace

// An element that writes the markers the output ends with, the closer of
// the pair just before it, continues that pair: "*a**b*" would not read
// as one emphasis.
bool Processor::join_marker_pair(const ElementFrame& f, std::string_view opener) {
  if (marker_pairs_.empty() || pending_space_) return false;
  MarkerPair& last = marker_pairs_.back();
  if (!last.closed || last.close_end != output_.size() ||
      std::string_view(output_).substr(last.close_start, last.close_end - last.close_start) != opener) {
    return false;
  }
  cut_marker(last.close_start, last.close_end);
  last.closed = false;
  last.serial = f.serial;
  return true;
}

void Processor::close_marker_pair(const ElementFrame& f, const Opener& closer) {
  for (std::size_t i = marker_pairs_.size(); i-- > 0;) {
    MarkerPair& pair = marker_pairs_[i];
    if (pair.serial != f.serial || pair.closed) continue;
    if (closer && is_marker_text(*closer) && output_ends_with(*closer)) {
      pair.closed = true;
      pair.close_end = output_.size();
      pair.close_start = pair.close_end - closer->size();
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
  std::size_t start = pos - 1;
  while (start > 0 && pos - start < 4 && (static_cast<unsigned char>(output_[start]) & 0xC0) == 0x80) --start;
  const auto* p = reinterpret_cast<const unsigned char*>(output_.data());
  return side_of_sequence(p + start, p + pos);
}

std::uint8_t Processor::side_at(std::size_t pos) const {
  const auto* p = reinterpret_cast<const unsigned char*>(output_.data());
  return side_of_sequence(p + pos, p + output_.size());
}

// Whether the pair's markers read as markup: its opening run opens and its
// closing run closes. Empty when the character after the closing run is not
// known yet.
std::optional<bool> Processor::marker_pair_reads(const MarkerPair& pair, bool at_end) const {
  const std::size_t size = output_.size();
  if (pair.open_end > size || pair.close_end > size) return true;
  const char mark = output_[pair.open_start];
  // Markers of other elements right beside these are one run with them.
  auto run = [&](std::size_t start, std::size_t end) {
    while (start > 0 && output_[start - 1] == mark && !escaped_at(start - 1)) --start;
    while (end < size && output_[end] == mark) ++end;
    return std::pair{start, end};
  };
  const auto [close_from, close_to] = run(pair.close_start, pair.close_end);
  if (close_to == size && !at_end) return std::nullopt;
  // An opener that follows may still be taken back with its empty element.
  if (!at_end && !inline_marker_spans_.empty() && inline_marker_spans_.front().start <= close_to) return std::nullopt;
  const auto [open_from, open_to] = run(pair.open_start, pair.open_end);
  // Markers with nothing between them are one run, which pairs with nothing.
  if (open_to > pair.close_start) return false;
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

// A pair that does not read is taken out, and its content reads as the
// page's text. That changes what stands beside the markers around it, so
// the pairs are kept, and looked at again, until every one is settled.
void Processor::settle_marker_pairs(bool at_end) {
  bool settled = false;
  for (bool changed = true; changed;) {
    changed = false;
    settled = true;
    for (std::size_t i = 0; i < marker_pairs_.size(); ++i) {
      const std::optional<bool> reads =
          marker_pairs_[i].closed ? marker_pair_reads(marker_pairs_[i], at_end) : std::nullopt;
      if (!reads) settled = false;
      if (!reads || *reads) continue;
      const MarkerPair pair = marker_pairs_[i];
      marker_pairs_.erase(marker_pairs_.begin() + static_cast<std::ptrdiff_t>(i));
      cut_marker(pair.close_start, pair.close_end);
      keep_bang_before_link(pair.close_start);
      cut_marker(pair.open_start, pair.open_end);
      keep_bang_before_link(pair.open_start);
      changed = true;
      break;
    }
  }
  if (settled) marker_pairs_.clear();
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
