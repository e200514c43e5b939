// Emphasis and strikethrough markers that a reader can pair. A run of '*',
// '_' or '~' opens only where the characters beside it allow (CommonMark's
// flanking rules, which markdown-it's strikethrough shares, the characters
// classed by their Unicode category), and closes likewise: "x**-**" or
// "**\***b" would show their asterisks; and a reader pairs runs by their
// lengths and in order (common/marker_runs): the runs of the pairs held are
// read as it reads them. The stream knows the character after a closer only
// when something follows it, so each pair is judged then (or at the end of
// the input). White space at the edges of a pair's content stands outside
// its markers. A pair that does not read as written is written another way
// where one reads: its markers inside the brackets of a link at an edge of
// its content, the edge spaces of code there outside, '_' for '*' on it or
// on a pair whose markers meet it; only where none reads is it taken out.
// The drain holds a pair until it is settled. A pair whose element stays
// open is settled earlier, at a blank line after its opener or once it holds
// much output, so that the stream holds little.
#include <algorithm>
#include <cstring>
#include <vector>

#include "common/char_sides.hpp"
#include "common/marker_runs.hpp"
#include "streaming/processor.hpp"

namespace tidewell::streaming {
namespace {

// Output an opener may hold while it waits for its closer.
constexpr std::size_t kPairHoldLimit = 65535;
// Pairs kept because what stands beside their markers may still change.
constexpr std::size_t kMaxHeldPairs = 8;

bool is_marker_byte(char c) { return c == '*' || c == '_' || c == '~'; }


}  // namespace

// An element that writes the markers the output ends with, the closer of
// the pair just before it, continues that pair: "**a****b**" would not read
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
      // Its opener took the other marker character while it was open.
      if (output_[pair.open_start] != (*closer)[0]) set_marker_character(pair, output_[pair.open_start]);
      place_closed_pair(i);
    } else {
      marker_pairs_.erase(marker_pairs_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return;
  }
}

// Where the white space that ends [from, to) starts: Unicode white space,
// which a marker beside it cannot flank.
std::size_t Processor::trailing_space_start(std::size_t from, std::size_t to) const {
  return from + category_space_suffix_start(std::string_view(output_).substr(from, to - from));
}

// Where the white space that starts [from, to) ends.
std::size_t Processor::leading_space_end(std::size_t from, std::size_t to) const {
  return from + category_space_prefix(std::string_view(output_).substr(from, to - from));
}

// The closer goes before the white space its content ends with (after a
// no-break space or a line break it would not close): what ends there stays
// before it, the white space moves after it.
bool Processor::move_closer_before_space(MarkerPair& m) {
  const std::size_t space = trailing_space_start(m.open_end, m.close_start);
  if (space == m.close_start) return false;
  const std::string closer = output_.substr(m.close_start, m.close_end - m.close_start);
  const bool newest = m.close_end == output_.size();
  delete_output_range(m.close_start, m.close_end);
  insert_output_after(space, closer);
  m.close_start = space;
  m.close_end = space + closer.size();
  if (newest) last_write_len_ = output_.size() - space;
  const std::size_t before = output_.size();
  escape_bare_run_beside(m.close_start, m.open_end, m.close_start);
  if (newest) last_write_len_ += output_.size() - before;
  return true;
}

// Whether a block's marker starts at `pos`: a quotation's '>', a list
// marker ("-", "+", "*", or a number and "." or ")") or a heading's "#"s,
// with white space or nothing after them.
bool Processor::starts_block_marker(std::size_t pos) const {
  const std::size_t size = output_.size();
  auto space_or_end = [&](std::size_t k) {
    return k >= size || output_[k] == ' ' || output_[k] == '\t' || output_[k] == '\n';
  };
  const char c = output_[pos];
  if (c == '>') return true;
  std::size_t k = pos;
  if (c == '#') {
    while (k < size && output_[k] == '#' && k - pos < 7) ++k;
    return k - pos <= 6 && space_or_end(k);
  }
  if (c == '-' || c == '+' || c == '*') return space_or_end(pos + 1);
  while (k < size && scan::is_digit(output_[k]) && k - pos < 10) ++k;
  return k > pos && k - pos <= 9 && k < size && (output_[k] == '.' || output_[k] == ')') && space_or_end(k + 1);
}

// The opener goes after the white space its content starts with; spaces
// that would follow white space already there are left out.
void Processor::move_opener_after_space(MarkerPair& m) {
  const std::size_t end = leading_space_end(m.open_end, m.close_start);
  if (end == m.open_end) return;
  std::string moved = output_.substr(m.open_end, end - m.open_end);
  // After a line break the opener would stand before what starts the line:
  // the prefix of a quotation, a list marker or a heading's stays first
  // (text there has its backslash).
  if (moved.find('\n') != std::string::npos && starts_block_marker(end)) return;
  const std::optional<unsigned char> before = byte_before(m.open_start);
  if ((!before || scan::is_ws(*before)) && moved.find_first_not_of(" \t") == std::string::npos) moved.clear();
  const std::string opener = output_.substr(m.open_start, m.open_end - m.open_start);
  const std::size_t start = m.open_start;
  replace_output(start, end - start, moved + opener);
  m.open_start = start + moved.size();
  m.open_end = m.open_start + opener.size();
  escape_bare_run_beside(m.open_end, m.open_end, m.close_start);
}

// A run of '*' or '_' of the text that stood bare between white space
// (which no reader pairs) and now meets a marker moved beside it: at
// `at` (a run starting there, the marker before it) or ending at `at` (the
// marker after it), within [from, to). It gets its backslashes. The runs of
// other pairs never stand so: their white space went outside them.
void Processor::escape_bare_run_beside(std::size_t at, std::size_t from, std::size_t to) {
  if (at > output_.size() || to > output_.size()) return;
  const auto space_at = [&](std::size_t k) { return k >= to || k < from || side_at(k) == kSpaceSide; };
  std::size_t start = at, end = at;
  if (at < to && (output_[at] == '*' || output_[at] == '_')) {
    const char mark = output_[at];
    while (end < to && output_[end] == mark) ++end;
    if (!space_at(end)) return;
  } else if (at > from && (output_[at - 1] == '*' || output_[at - 1] == '_')) {
    const char mark = output_[at - 1];
    while (start > from && output_[start - 1] == mark) --start;
    if (start == from || escaped_at(start) || side_before(start) != kSpaceSide) return;
  } else {
    return;
  }
  std::string escaped;
  for (std::size_t k = start; k < end; ++k) {
    escaped += '\\';
    escaped += output_[k];
  }
  replace_output(start, end - start, escaped);
}

// Whether the pair's content starts or ends with white space.
bool Processor::space_at_content_edge(const MarkerPair& m) const {
  return m.closed && m.open_end < m.close_start &&
         (leading_space_end(m.open_end, m.close_start) > m.open_end ||
          trailing_space_start(m.open_end, m.close_start) < m.close_start);
}

// White space at the edges of a pair's content goes outside its markers.
void Processor::place_pair_content(MarkerPair& m) {
  move_closer_before_space(m);
  move_opener_after_space(m);
}

// A pair that has just closed: white space at the edges of its content goes
// outside its markers, and a pair around white space alone goes. What a
// reader will make of it is known once the character after it is.
void Processor::place_closed_pair(std::size_t index) {
  MarkerPair& m = marker_pairs_[index];
  if (leading_space_end(m.open_end, m.close_start) == m.close_start) {
    take_out_marker_pair(index);
    return;
  }
  place_pair_content(m);
  m.code_at_close = code_span_ends_at(m.close_start);
  if (m.code_at_close != CodeBefore::kNone) m.code_before_close = last_code_span_->start;
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
  return category_side_of_char_before(output_, pos);
}

std::uint8_t Processor::side_at(std::size_t pos) const { return category_side_of_char_at(output_, pos); }

// Markers of other elements right beside [start, end) are one run with it.
std::pair<std::size_t, std::size_t> Processor::marker_run(std::size_t start, std::size_t end) const {
  const char mark = output_[start];
  while (start > 0 && output_[start - 1] == mark && !escaped_at(start - 1)) --start;
  while (end < output_.size() && output_[end] == mark) ++end;
  return {start, end};
}

// The verdict on a lone pair whose runs hold its markers alone, without
// the whole reading: it reads when its opener opens and its closer closes.
// False when the pair is not such a one.
bool Processor::judge_lone_pair(bool at_end, std::size_t limit) {
  const MarkerPair& m = marker_pairs_.front();
  const std::size_t size = output_.size();
  if (m.close_end > size || m.open_start >= m.open_end || m.open_end >= m.close_start) return false;
  const auto [open_from, open_to] = marker_run(m.open_start, m.open_end);
  const auto [close_from, close_to] = marker_run(m.close_start, m.close_end);
  if (open_from != m.open_start || open_to != m.open_end || close_from != m.close_start || close_to != m.close_end ||
      open_to - open_from != close_to - close_from) {
    return false;
  }
  pair_verdicts_.assign(1, kVerdictUnknown);
  if (!at_end && close_to >= limit) return true;
  const char mark = output_[open_from];
  const MarkerRunFlanks opening = marker_run_flanks(mark, side_before(open_from), side_at(open_to));
  const MarkerRunFlanks closing =
      marker_run_flanks(mark, side_before(close_from), close_to == size ? std::uint8_t{kSpaceSide} : side_at(close_to));
  // Runs of one length never meet the rule of three.
  const bool reads = opening.certain && closing.certain && opening.can_open && closing.can_close &&
                     (mark != '~' || open_to - open_from == 2);
  pair_verdicts_[0] = reads ? kVerdictReads : kVerdictFails;
  return true;
}

// What the verdicts follow from (see judge_marker_pairs), and how many pairs
// it covers.
std::uint64_t Processor::judgement_key(bool at_end, std::size_t& prefix) const {
  std::size_t last_close = 0;
  for (const MarkerPair& m : marker_pairs_) {
    if (m.closed) last_close = std::max(last_close, m.close_end);
  }
  std::uint64_t key = output_epoch_ * 0x9E3779B97F4A7C15ull ^ (at_end ? 1 : 2);
  prefix = 0;
  for (const MarkerPair& m : marker_pairs_) {
    if (!m.closed && m.open_start >= last_close) break;
    for (const std::uint64_t v : {m.open_start, m.open_end, m.close_start, m.close_end, m.scope}) {
      key = (key ^ v) * 0x100000001B3ull;
    }
    key ^= m.closed;
    ++prefix;
  }
  return key;
}

// Pairs that read left the list with their verdicts: the others' stand (the
// reader paired their markers with one another, which no other pair's
// markers meet as openers), and so does the judgement.
void Processor::keep_judgement(bool at_end) {
  MarkerJudgement& j = judgement_;
  if (!j.valid || pair_verdicts_.size() != marker_pairs_.size()) return;
  j.key = judgement_key(at_end, j.prefix);
}

// Reads the runs of the pairs' markers as a reader pairs them and gives each
// pair its verdict: it reads when its opening and closing runs pair with as
// many markers as the pairs between those runs wrote. A run whose next
// character is not known yet (at the end of the output, or before an opener
// that may still go with its empty element), and every run after it, is not
// read: a reader pairs a closer by what stands before it, so the verdicts
// before it stand.
void Processor::judge_marker_pairs(bool at_end) {
  const std::size_t size = output_.size();
  MarkerJudgement& j = judgement_;
  // Nothing to judge before a pair has closed.
  if (std::none_of(marker_pairs_.begin(), marker_pairs_.end(), [](const MarkerPair& m) { return m.closed; })) {
    pair_verdicts_.assign(marker_pairs_.size(), kVerdictUnknown);
    j.valid = false;
    return;
  }
  const std::size_t limit = at_end || inline_marker_spans_.empty() ? size : inline_marker_spans_.front().start;
  if (marker_pairs_.size() == 1 && judge_lone_pair(at_end, limit)) {
    j.valid = false;
    return;
  }
  // What the verdicts follow from: the closed pairs and those opened before
  // the last closer (a prefix of the list), and the output but for what was
  // appended. A reader pairs a closer by what stands before it, so verdicts
  // that judged every closed pair stand while that is the same: openers
  // after them and appended output change none of them (where what is known
  // ends moves only forward).
  std::size_t prefix = 0;
  const std::uint64_t key = judgement_key(at_end, prefix);
  if (j.valid && j.complete && j.key == key && j.prefix == prefix && pair_verdicts_.size() >= prefix) {
    pair_verdicts_.resize(prefix);
    pair_verdicts_.resize(marker_pairs_.size(), kVerdictUnknown);
    return;
  }
  j.key = key;
  j.prefix = prefix;
  j.valid = true;
  j.complete = true;
  pair_verdicts_.assign(marker_pairs_.size(), kVerdictUnknown);
  j.pieces.clear();
  for (std::size_t i = 0; i < marker_pairs_.size(); ++i) {
    const MarkerPair& m = marker_pairs_[i];
    if (m.open_end > size || m.close_end > size || m.open_start >= m.open_end) {
      pair_verdicts_[i] = kVerdictReads;
      continue;
    }
    j.pieces.push_back(MarkerJudgement::Piece{m.open_start, m.open_end, i, false});
    if (m.closed) j.pieces.push_back(MarkerJudgement::Piece{m.close_start, m.close_end, i, true});
  }
  std::sort(j.pieces.begin(), j.pieces.end(), [](const auto& a, const auto& b) { return a.start < b.start; });
  j.runs.clear();
  j.uncertain.clear();
  j.open_run.assign(marker_pairs_.size(), MarkerJudgement::kNoRun);
  j.close_run.assign(marker_pairs_.size(), MarkerJudgement::kNoRun);
  std::size_t run_to = 0;
  for (const MarkerJudgement::Piece& piece : j.pieces) {
    if (j.runs.empty() || piece.start >= run_to) {
      const auto [from, to] = marker_run(piece.start, piece.end);
      if (!at_end && to >= limit) break;
      const char mark = output_[from];
      const MarkerRunFlanks flanks =
          marker_run_flanks(mark, side_before(from), to == size ? std::uint8_t{kSpaceSide} : side_at(to));
      j.runs.push_back(MarkerRun{mark, static_cast<std::uint32_t>(to - from), 0, flanks.can_open, flanks.can_close,
                                 marker_pairs_[piece.pair].scope});
      j.uncertain.push_back(flanks.certain ? 0 : 1);
      run_to = to;
    }
    // Markers of the run that no pair here wrote paired with pairs settled
    // before: only these may still pair.
    j.runs.back().open_markers += static_cast<std::uint32_t>(piece.end - piece.start);
    (piece.closer ? j.close_run : j.open_run)[piece.pair] = j.runs.size() - 1;
  }
  // The couples of runs by their opening run, each with the markers it was
  // written with and those a reader pairs between them.
  using Couple = MarkerJudgement::Couple;
  constexpr std::size_t kNone = MarkerJudgement::kNoRun;
  j.couples.clear();
  j.first_couple.assign(j.runs.size(), kNone);
  auto find = [&](std::size_t opener, std::size_t closer) -> Couple* {
    for (std::size_t k = j.first_couple[opener]; k != kNone; k = j.couples[k].next) {
      if (j.couples[k].closer == closer) return &j.couples[k];
    }
    return nullptr;
  };
  for (std::size_t i = 0; i < marker_pairs_.size(); ++i) {
    const std::size_t opener = j.open_run[i], closer = j.close_run[i];
    if (pair_verdicts_[i] != kVerdictUnknown || !marker_pairs_[i].closed) continue;
    if (opener == kNone || closer == kNone) {
      j.complete = false;
      continue;
    }
    const auto written = static_cast<std::uint32_t>(marker_pairs_[i].open_end - marker_pairs_[i].open_start);
    if (Couple* c = find(opener, closer)) {
      c->written += written;
    } else {
      j.couples.push_back(Couple{closer, j.first_couple[opener], written, 0});
      j.first_couple[opener] = j.couples.size() - 1;
    }
  }
  for (const MarkerRunPair& p : j.reader.pair(j.runs)) {
    if (Couple* c = find(p.opener, p.closer)) c->read += p.markers;
  }
  for (std::size_t i = 0; i < marker_pairs_.size(); ++i) {
    if (pair_verdicts_[i] != kVerdictUnknown || !marker_pairs_[i].closed) continue;
    const std::size_t opener = j.open_run[i], closer = j.close_run[i];
    if (opener == MarkerJudgement::kNoRun || closer == MarkerJudgement::kNoRun) continue;
    const Couple* c = find(opener, closer);
    pair_verdicts_[i] = opener != closer && !j.uncertain[opener] && !j.uncertain[closer] && c->written == c->read
                            ? kVerdictReads
                            : kVerdictFails;
  }
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
  hand_on_code_span(pair.close_start, pair.code_at_close, pair.code_before_close);
  join_code_spans_at(pair.close_start, pair.code_at_close, pair.code_before_close);
  escape_after_cut(pair.close_start);
  cut_marker(pair.open_start, pair.open_end);
  keep_bang_before_link(pair.open_start);
  hand_on_code_span(pair.open_start, pair.code_at_open, pair.code_before_open);
  join_code_spans_at(pair.open_start, pair.code_at_open, pair.code_before_open);
  escape_after_cut(pair.open_start);
  join_touching_marker_pairs();
}

// A marker cut at `pos` after a code span (`kind`, starting at `start`)
// leaves the markers that followed it right after the span: taken out in
// turn, they let it continue into a span after them.
void Processor::hand_on_code_span(std::size_t pos, CodeBefore kind, std::size_t start) {
  if (kind == CodeBefore::kNone) return;
  for (MarkerPair& p : marker_pairs_) {
    if (p.open_start == pos && p.code_at_open == CodeBefore::kNone) {
      p.code_at_open = kind;
      p.code_before_open = start;
    }
    if (p.closed && p.close_start == pos && p.code_at_close == CodeBefore::kNone) {
      p.code_at_close = kind;
      p.code_before_close = start;
    }
  }
}

// A marker cut at `pos` leaves what followed it where the marker stood. At
// a line start, text that a reader takes for a block's marker there ("#",
// "-", "+", ">", a number and "." or ")") gets the backslash it did not need
// behind the marker; so does a "." or ")" that now follows a number that
// starts a line. What follows the output's end is not known: as there, the
// backslash is written.
void Processor::escape_after_cut(std::size_t pos) {
  const std::size_t size = output_.size();
  if (pos >= size) return;
  auto space_or_end = [&](std::size_t k) { return k >= size || scan::is_ws(static_cast<unsigned char>(output_[k])); };
  std::optional<unsigned> indent = line_start_indent_at(pos);
  if (!indent && at_document_start(pos)) indent = 0;
  std::size_t at = size;  // where the backslash goes
  if (indent) {
    std::size_t i = pos;
    for (unsigned level = *indent; i < size && output_[i] == ' ' && level < 3; ++level) ++i;
    if (i >= size) return;
    std::size_t j = i;
    switch (output_[i]) {
      case '#':
        while (j < size && output_[j] == '#' && j - i <= 6) ++j;
        if (j - i <= 6 && space_or_end(j)) at = i;
        break;
      case '+': case '-': {
        if (space_or_end(i + 1)) {
          at = i;
          break;
        }
        // A rule: three or more '-' and nothing else but spaces.
        std::size_t dashes = 0;
        bool other = false;
        for (j = i; j < size && output_[j] != '\n'; ++j) {
          if (output_[j] == '-') ++dashes;
          else if (output_[j] != ' ' && output_[j] != '\t') other = true;
        }
        if (output_[i] == '-' && dashes >= 3 && !other) at = i;
        break;
      }
      case '>': at = i; break;
      default:
        while (j < size && scan::is_digit(output_[j]) && j - i < 10) ++j;
        if (j > i && j - i <= 9 && j < size && (output_[j] == '.' || output_[j] == ')') && space_or_end(j + 1)) at = j;
        break;
    }
  } else {
    // Digits that follow the cut go on the number before it too.
    std::size_t d = pos;
    while (d < size && d - pos < 10 && scan::is_digit(output_[d])) ++d;
    if (d < size && (output_[d] == '.' || output_[d] == ')') && space_or_end(d + 1)) {
      std::size_t k = pos;
      while (k > 0 && pos - k < 10 && scan::is_digit(output_[k - 1])) --k;
      if (k < pos && d - k <= 9 && (at_document_start(k) || line_start_indent_at(k))) at = d;
    }
  }
  if (at < size && !escaped_at(at)) insert_output_after(at, "\\");
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
      // One cut: the closer and the opener stand side by side.
      cut_marker(first.close_start, next.open_end);
      // The joined pair takes the first one's place: the pairs stay in the
      // order of their openers, and the first of them holds the drain.
      MarkerPair joined = marker_pairs_[j];
      joined.open_start = before.open_start;
      joined.open_end = before.open_end;
      joined.code_at_open = before.code_at_open;
      joined.code_before_open = before.code_before_open;
      marker_pairs_[i] = joined;
      marker_pairs_.erase(marker_pairs_.begin() + static_cast<std::ptrdiff_t>(j));
      // Code spans that stood on either side of the cut meet.
      hand_on_code_span(before.close_start, before.code_at_close, before.code_before_close);
      join_code_spans_at(before.close_start, before.code_at_close, before.code_before_close);
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
    if (!next.opener_at_end || is_open(kTable)) return;
    if (last_code_span_ && last_code_span_->close_end == pos) {
      code_spans_.pop_back();
      delete_output_range(next.start, next.end);
      reopen_last_code_span();
      return;
    }
    // The span before was written anew since it closed (its white space
    // moved past a marker): it is opened again from what it reads as.
    while (first_start < pos && output_[first_start] == ' ') ++first_start;
    if (first_start >= pos) return;
    const std::string content =
        "`" + read_code_span(std::string_view(output_).substr(first_start, pos - first_start));
    if (last_code_span_ && last_code_span_->start >= first_start && last_code_span_->start < pos) {
      last_code_span_.reset();
    }
    code_spans_.pop_back();
    delete_output_range(next.start, next.end);
    replace_output(first_start, pos - first_start, content);
    last_write_len_ = 0;
    code_spans_.push_back(CodeSpanRecord{first_start, first_start + 1, true, {}, 0});
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
  note_moved_code_span(pos, first_start, first_start + span.size());
}

// Whether the code span closed last ends at `pos`, and whether a code span
// opening there would take it up.
CodeBefore Processor::code_span_ends_at(std::size_t pos) const {
  if (!last_code_span_ || last_code_span_->close_end != pos || last_code_span_->close_start >= pos) {
    return CodeBefore::kNone;
  }
  return last_code_span_->apart ? CodeBefore::kApart : CodeBefore::kJoinable;
}

// A pair that reads, whose markers stand between bytes that no marker is,
// is final: no pair taken out later changes what stands beside its runs.
bool Processor::marker_pair_final(std::size_t index) const {
  const MarkerPair& m = marker_pairs_[index];
  if (!m.closed || m.close_end >= output_.size() || pair_verdicts_[index] != kVerdictReads) return false;
  if ((m.close_start > 0 && is_marker_byte(output_[m.close_start - 1])) || is_marker_byte(output_[m.close_end]) ||
      (m.open_start > 0 && is_marker_byte(output_[m.open_start - 1])) || is_marker_byte(output_[m.open_end])) {
    return false;
  }
  return m.close_end < end_without_trailing_whitespace();
}

// A pair that does not read is written otherwise or taken out, and its
// content reads as the page's text. That changes what stands beside the
// markers around it, so the pairs are kept, and looked at again, until they
// are final.
void Processor::settle_marker_pairs(bool at_end) {
  if (!at_end) bound_marker_pairs();
  // Nothing is decided before a pair has closed.
  if (std::none_of(marker_pairs_.begin(), marker_pairs_.end(), [](const MarkerPair& m) { return m.closed; })) {
    pair_verdicts_.assign(marker_pairs_.size(), kVerdictUnknown);
    judgement_.valid = false;
    return;
  }
  for (;;) {
    judge_marker_pairs(at_end);
    // The first pair that does not read and may be written otherwise is
    // (the markers of one it holds may go inside a link, and then this one
    // may follow them); one that may not is taken out.
    std::size_t first = marker_pairs_.size();
    bool rewritten = false;
    for (std::size_t i = 0; i < marker_pairs_.size() && !rewritten; ++i) {
      if (pair_verdicts_[i] != kVerdictFails) continue;
      if (first == marker_pairs_.size()) first = i;
      rewritten = may_rewrite(i) && rewrite_marker_pair(i, at_end);
    }
    if (first == marker_pairs_.size()) break;
    if (!rewritten) take_out_marker_pair(first);
  }
  if (std::find(pair_verdicts_.begin(), pair_verdicts_.end(), kVerdictUnknown) == pair_verdicts_.end()) {
    marker_pairs_.clear();
    pair_verdicts_.clear();
    held_links_.clear();
    return;
  }
  // An opener still waiting whose content starts with white space moves past
  // it when its pair closes, and may meet the markers after it then: the
  // pairs after it are not final yet.
  std::size_t moving = output_.size();
  auto space_follows = [&](const MarkerPair& m) {
    return !m.closed && m.open_end < output_.size() && category_side_of_char_at(output_, m.open_end) == kSpaceSide;
  };
  const auto waiting = std::find_if(marker_pairs_.begin(), marker_pairs_.end(), space_follows);
  if (waiting != marker_pairs_.end()) moving = waiting->open_start;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < marker_pairs_.size(); ++i) {
    if (marker_pairs_[i].open_start < moving && marker_pair_final(i)) continue;
    if (kept != i) {
      marker_pairs_[kept] = marker_pairs_[i];
      pair_verdicts_[kept] = pair_verdicts_[i];
    }
    ++kept;
  }
  marker_pairs_.resize(kept);
  pair_verdicts_.resize(kept);
  keep_judgement(at_end);
}

// The held link whose `edge` ("[", or its end) is at `pos`, or the size of
// the list.
std::size_t Processor::held_link_at(std::size_t LinkSpan::*edge, std::size_t pos) const {
  const auto at = std::lower_bound(held_links_.begin(), held_links_.end(), pos,
                                   [&](const LinkSpan& link, std::size_t p) { return link.*edge < p; });
  return at != held_links_.end() && (*at).*edge == pos ? static_cast<std::size_t>(at - held_links_.begin())
                                                       : held_links_.size();
}

// The link move that may free the pair at `index`: a link that starts or
// ends its content, or else one at the edge of the content of the pair its
// content starts (ends) with ("**~~[a](u)~~**": the inner pair goes inside
// first, and the outer one may follow it). The pair to move and the link,
// or the size of the list for the pair.
std::pair<std::size_t, std::size_t> Processor::link_move_for(std::size_t index) const {
  const std::size_t none = marker_pairs_.size();
  for (std::size_t i = index; i < none;) {
    const MarkerPair& m = marker_pairs_[i];
    if (const std::size_t head = held_link_at(&LinkSpan::open, m.open_end); head < held_links_.size() &&
        mark_inside_link(i, held_links_[head]) && mark_outside_link(i, held_links_[head])) {
      return {i, head};
    }
    const auto next = std::lower_bound(marker_pairs_.begin(), marker_pairs_.end(), m.open_end,
                                       [](const MarkerPair& p, std::size_t pos) { return p.open_start < pos; });
    i = next != marker_pairs_.end() && next->open_start == m.open_end && next->closed
            ? static_cast<std::size_t>(next - marker_pairs_.begin())
            : none;
  }
  for (std::size_t i = index; i < none;) {
    const MarkerPair& m = marker_pairs_[i];
    if (const std::size_t tail = held_link_at(&LinkSpan::end, m.close_start); tail < held_links_.size() &&
        mark_inside_link(i, held_links_[tail]) && mark_outside_link(i, held_links_[tail])) {
      return {i, tail};
    }
    std::size_t next = none;
    for (std::size_t j = 0; j < none; ++j) {
      if (j != i && marker_pairs_[j].closed && marker_pairs_[j].close_end == m.close_start) next = j;
    }
    i = next;
  }
  return {none, 0};
}

// Whether `pos` is in a marker of a pair held.
bool Processor::held_marker_at(std::size_t pos) const {
  return std::any_of(marker_pairs_.begin(), marker_pairs_.end(), [&](const MarkerPair& m) {
    return (pos >= m.open_start && pos < m.open_end) || (m.closed && pos >= m.close_start && pos < m.close_end);
  });
}

// The marker character the pair at `index` takes inside the brackets of
// the link, where its markers stand beside the edges of the link's text. A
// marker there of a pair settled before would make one run with them that
// the pairs held are not judged with: the pair takes '_' for '*' beside
// one; 0 where it cannot stand apart.
char Processor::mark_inside_link(std::size_t index, const LinkSpan& span) const {
  const char mark = output_[marker_pairs_[index].open_start];
  if (span.open + 1 >= span.text_end) return mark;
  // A marker of `c` at an inner edge of the link's text; with `settled`,
  // one that no pair held wrote.
  auto beside = [&](char c, bool settled) {
    for (const std::size_t pos : {span.open + 1, span.text_end - 1}) {
      if (output_[pos] == c && !escaped_at(pos) && !(settled && held_marker_at(pos))) return true;
    }
    return false;
  };
  if (!beside(mark, true)) return mark;
  return mark == '*' && !beside('_', false) ? '_' : 0;
}

// The marker character of what a split at the link leaves of the pair at
// `index` outside it: its new marker stands at the link's outer edge, after
// its end (a link that starts the content) or before its "[" (one that ends
// it), where a marker of a pair settled before would make one run with it
// that the pairs held are not judged with. The pair then takes the other
// one of '*' and '_'; 0 where it cannot stand apart. Nothing is left
// outside a link that is all the content.
char Processor::mark_outside_link(std::size_t index, const LinkSpan& span) const {
  const MarkerPair& m = marker_pairs_[index];
  const char mark = output_[m.open_start];
  const bool head = span.open == m.open_end;
  if ((head && span.end == m.close_start) || (!head && span.open == 0)) return mark;
  auto settled = [&](std::size_t pos, char c) {
    return pos < output_.size() && output_[pos] == c && !escaped_at(pos) && !held_marker_at(pos);
  };
  if (!settled(head ? span.end : span.open - 1, mark)) return mark;
  const char other = mark == '*' ? '_' : mark == '_' ? '*' : 0;
  if (!other) return 0;
  // The pair's marker that keeps its place must not meet one of those.
  const std::size_t from = head ? m.close_start : m.open_start;
  const std::size_t to = head ? m.close_end : m.open_end;
  return (from > 0 && settled(from - 1, other)) || settled(to, other) ? 0 : other;
}

// The code span that starts the pair's content, [open_end, returned), or
// open_end when there is none.
std::size_t Processor::code_span_after_opener(const MarkerPair& m) const {
  std::size_t fence = m.open_end;
  while (fence < m.close_start && output_[fence] == '`') ++fence;
  const std::size_t length = fence - m.open_end;
  if (length == 0) return m.open_end;
  for (std::size_t at = fence; at < m.close_start;) {
    if (output_[at] != '`') {
      ++at;
      continue;
    }
    std::size_t run = at;
    while (run < m.close_start && output_[run] == '`') ++run;
    if (run - at == length) return run;
    at = run;
  }
  return m.open_end;
}

// The code span that ends the pair's content, [returned, close_start), or
// close_start when there is none. A backtick of the page's text has its
// backslash: right before a span's opener it is not part of its fence.
std::size_t Processor::code_span_before_closer(const MarkerPair& m) const {
  std::size_t fence = m.close_start;
  while (fence > m.open_end && output_[fence - 1] == '`') --fence;
  const std::size_t length = m.close_start - fence;
  if (length == 0 || escaped_at(fence)) return m.close_start;
  for (std::size_t at = fence; at > m.open_end;) {
    if (output_[at - 1] != '`') {
      --at;
      continue;
    }
    std::size_t run = at;
    while (run > m.open_end && output_[run - 1] == '`') --run;
    const std::size_t fence_start = escaped_at(run) ? run + 1 : run;
    if (at - fence_start == length) return fence_start;
    at = run;
  }
  return m.close_start;
}

// Whether the code of the span [start, end) has white space to go at that
// edge (at its start when `at_open`), or is white space alone.
bool Processor::code_span_edge_has_space(std::size_t start, std::size_t end, bool at_open) const {
  const std::string code = read_code_span(std::string_view(output_).substr(start, end - start));
  const std::size_t first = category_space_prefix(code);
  return first == code.size() || (at_open ? first > 0 : category_space_suffix_start(code) < code.size());
}

// Whether a code span at an edge of the pair's content has white space to go.
bool Processor::code_edges_have_space(const MarkerPair& m) const {
  const std::size_t before = code_span_before_closer(m);
  if (before < m.close_start && code_span_edge_has_space(before, m.close_start, false)) return true;
  const std::size_t after = code_span_after_opener(m);
  return after > m.open_end && after <= m.close_start && code_span_edge_has_space(m.open_end, after, true);
}

// The closed pair, other than the one at `index`, whose markers stand at
// the edge of that one's content: its closer right before that one's
// closer (its opener right after that one's opener); the size of the list
// when there is none.
std::size_t Processor::pair_at_content_edge(std::size_t index, bool at_close) const {
  const MarkerPair& m = marker_pairs_[index];
  for (std::size_t j = 0; j < marker_pairs_.size(); ++j) {
    const MarkerPair& inner = marker_pairs_[j];
    if (j != index && inner.closed && (at_close ? inner.close_end == m.close_start : inner.open_start == m.open_end)) {
      return j;
    }
  }
  return marker_pairs_.size();
}

// The pair at `index`, or one at the edges of its content, down the pairs
// nested there, whose content has a code span with white space to go at an
// edge; the size of the list when there is none.
std::size_t Processor::code_edges_to_trim(std::size_t index) const {
  for (const bool at_close : {true, false}) {
    for (std::size_t i = index; i < marker_pairs_.size(); i = pair_at_content_edge(i, at_close)) {
      if (code_edges_have_space(marker_pairs_[i])) return i;
    }
  }
  return marker_pairs_.size();
}

// A code span at an edge of the pair's content whose code starts or ends
// with white space ("~~`a `~~b" would not close): the white space goes
// outside the span and the markers, and a span of white space alone goes
// outside the markers whole. The code reads the same but for its edge
// spaces, as on a page. True when the output changed.
bool Processor::trim_code_span_edges(std::size_t index) {
  auto rewrite_span = [&](std::size_t start, std::size_t end, bool at_open) {
    if (!code_span_edge_has_space(start, end, at_open)) return false;
    const std::string code = read_code_span(std::string_view(output_).substr(start, end - start));
    const std::size_t first = category_space_prefix(code);
    MarkerPair& m = marker_pairs_[index];
    // Written anew, the span is no longer one a span after it continues.
    if (last_code_span_ && last_code_span_->start == start) last_code_span_.reset();
    if (first == code.size()) {
      // White space alone: the span moves past the marker, unless a code
      // span stands on the other side of it ("`a``\u00a0`" would make one
      // span of the two fences).
      const std::string span = output_.substr(start, end - start);
      if (at_open) {
        const std::size_t from = m.open_start;
        if (from > 0 && output_[from - 1] == '`') return false;
        const std::string opener = output_.substr(m.open_start, m.open_end - m.open_start);
        replace_output(from, end - from, span + opener);
        m.open_start = from + span.size();
        m.open_end = m.open_start + opener.size();
        note_moved_code_span(start, from, from + span.size());
      } else {
        if (m.close_end < output_.size() && output_[m.close_end] == '`') return false;
        const std::string closer = output_.substr(m.close_start, m.close_end - m.close_start);
        replace_output(start, m.close_end - start, closer + span);
        m.close_start = start;
        m.close_end = start + closer.size();
        note_moved_code_span(start, m.close_end, m.close_end + span.size());
      }
      return true;
    }
    const std::size_t last = category_space_suffix_start(code);
    const std::string kept = at_open ? code.substr(first) : code.substr(0, last);
    const auto [length, pad] = code_span_fence(kept);
    std::string span = at_open ? code.substr(0, first) : std::string();
    span.append(length, '`');
    if (pad) span.push_back(' ');
    span += kept;
    if (pad) span.push_back(' ');
    span.append(length, '`');
    if (!at_open) span += code.substr(last);
    replace_output(start, end - start, span);
    const std::size_t moved_start = at_open ? start + first : start;
    note_moved_code_span(start, moved_start, moved_start + span.size() - (code.size() - kept.size()));
    return true;
  };
  // The span that ends the content first: what stands before it keeps its
  // place, the span that starts it too.
  const MarkerPair& m = marker_pairs_[index];
  const std::size_t span = code_span_before_closer(m);
  bool changed = span < m.close_start && rewrite_span(span, m.close_start, false);
  const MarkerPair& pair = marker_pairs_[index];
  if (const std::size_t after = code_span_after_opener(pair); after > pair.open_end && after <= pair.close_start) {
    changed = rewrite_span(pair.open_end, after, true) || changed;
  }
  if (!changed) return false;
  MarkerPair& placed = marker_pairs_[index];
  if (leading_space_end(placed.open_end, placed.close_start) == placed.close_start) take_out_marker_pair(index);
  else place_pair_content(placed);
  return true;
}

// The code span that started at `old_start` now stands at [start, end),
// written anew or moved past a marker: the markers after it follow its new
// start (what stands between them may still be taken out), those it moved
// past forget it, one it now ends at knows it.
void Processor::note_moved_code_span(std::size_t old_start, std::size_t start, std::size_t end) {
  const CodeBefore kind = end - start > kCodeSpanJoinReach ? CodeBefore::kApart : CodeBefore::kJoinable;
  auto note = [&](std::size_t marker, CodeBefore& at, std::size_t& span_start) {
    if (at != CodeBefore::kNone && span_start == old_start) {
      if (marker >= end) span_start = start;
      else at = CodeBefore::kNone;
    }
    if (marker == end) {
      at = kind;
      span_start = start;
    }
  };
  for (MarkerPair& p : marker_pairs_) {
    note(p.open_start, p.code_at_open, p.code_before_open);
    if (p.closed) note(p.close_start, p.code_at_close, p.code_before_close);
  }
}

// Whether another writing is left to try for the pair.
bool Processor::may_rewrite(std::size_t index) const {
  const MarkerPair& m = marker_pairs_[index];
  if ((!m.tried_other_mark && (output_[m.open_start] == '*' || m.apart_with_underscore)) ||
      link_move_for(index).first < marker_pairs_.size() ||
      code_edges_to_trim(index) < marker_pairs_.size() || space_at_content_edge(m)) {
    return true;
  }
  for (std::size_t j = 0; j < marker_pairs_.size(); ++j) {
    if (other_mark_may_free(j, index)) return true;
  }
  return false;
}

// A pair that does not read as written is written another way where one
// may read: its markers inside the brackets of a link at an edge of its
// content (a bracket beside a marker is punctuation; the pair goes inside a
// link that is all its content, and is split in two at a link that starts
// or ends it, which frees the markers around it too), the edge spaces of a
// code span at an edge of its content outside (tried once), or else its
// emphasis with '_' for '*' (runs of the other character do not meet the
// markers beside it; tried once). True when the output changed (the pairs
// are judged again); false when nothing is left to try.
bool Processor::rewrite_marker_pair(std::size_t index, bool at_end) {
  if (const auto [pair, link] = link_move_for(index); pair < marker_pairs_.size()) {
    const char mark = mark_inside_link(pair, held_links_[link]);
    const bool other_mark = mark != output_[marker_pairs_[pair].open_start];
    const MarkerPair& m = marker_pairs_[pair];
    const LinkSpan& span = held_links_[link];
    if (span.open == m.open_end && span.end == m.close_start) move_pair_into_link(pair, link);
    else if (span.open == m.open_end) split_pair_at_head_link(pair, link);
    else split_pair_at_tail_link(pair, link);
    // The pair inside the brackets, the first of the link's text; what a
    // split left outside keeps its character.
    if (other_mark) {
      const std::uint64_t scope = held_links_[link].serial;
      const auto inside = std::find_if(marker_pairs_.begin(), marker_pairs_.end(),
                                       [&](const MarkerPair& p) { return p.scope == scope; });
      if (inside != marker_pairs_.end()) set_marker_character(*inside, mark);
    }
    return true;
  }
  // What a pair inside was written as may leave white space at an edge.
  if (space_at_content_edge(marker_pairs_[index])) {
    place_pair_content(marker_pairs_[index]);
    if (!space_at_content_edge(marker_pairs_[index])) return true;
  }
  // The edge spaces of code at an edge of the content, or of a pair nested
  // there (whose white space then stands at this one's edge).
  if (const std::size_t trim = code_edges_to_trim(index); trim < marker_pairs_.size() && trim_code_span_edges(trim)) {
    return true;
  }
  // '_' for '*' on this pair, or else on one whose markers meet it, taken
  // where fewer pairs fail then: '_' on this one may free it and leave a
  // pair beside it failing where '_' on that one frees both. Failing that,
  // '_' on this pair alone, where it reads then.
  auto failing = [&] { return std::count(pair_verdicts_.begin(), pair_verdicts_.end(), kVerdictFails); };
  const auto fails = failing();
  bool own_frees = false;
  // A pair that took '_' to stand apart from a run settled before tries '*'.
  const char own = output_[marker_pairs_[index].open_start];
  const char own_other = own == '*' ? '_' : '*';
  if (MarkerPair& m = marker_pairs_[index]; !m.tried_other_mark && (own == '*' || m.apart_with_underscore)) {
    m.tried_other_mark = true;
    set_marker_character(m, own_other);
    judge_marker_pairs(at_end);
    own_frees = pair_verdicts_[index] != kVerdictFails;
    if (own_frees && failing() < fails) return true;
    set_marker_character(marker_pairs_[index], own);
    judge_marker_pairs(at_end);
  }
  for (std::size_t j = 0; j < marker_pairs_.size(); ++j) {
    if (!other_mark_may_free(j, index)) continue;
    const std::vector<std::size_t> back = switch_to_other_mark(j);
    judge_marker_pairs(at_end);
    if (pair_verdicts_[index] != kVerdictFails && failing() < fails) {
      marker_pairs_[j].tried_other_mark = true;
      return true;
    }
    set_marker_character(marker_pairs_[j], '*');
    for (const std::size_t k : back) set_marker_character(marker_pairs_[k], '_');
    judge_marker_pairs(at_end);
  }
  if (!own_frees) return false;
  set_marker_character(marker_pairs_[index], own_other);
  judge_marker_pairs(at_end);
  return true;
}

// Gives the pair at `index` '_' for '*'. A pair written with '_' whose
// markers would then stand in one run with its markers takes '*' back: it
// took '_' to stand apart from runs of '*' that are no longer there. The
// pairs that took '*' back.
std::vector<std::size_t> Processor::switch_to_other_mark(std::size_t index) {
  set_marker_character(marker_pairs_[index], '_');
  const MarkerPair& m = marker_pairs_[index];
  const auto open_run = marker_run(m.open_start, m.open_end);
  const auto close_run = m.closed ? marker_run(m.close_start, m.close_end) : open_run;
  auto in_runs = [&](std::size_t pos) {
    return (pos >= open_run.first && pos < open_run.second) || (pos >= close_run.first && pos < close_run.second);
  };
  std::vector<std::size_t> back;
  for (std::size_t k = 0; k < marker_pairs_.size(); ++k) {
    const MarkerPair& other = marker_pairs_[k];
    if (k == index || output_[other.open_start] != '_') continue;
    if (in_runs(other.open_start) || (other.closed && in_runs(other.close_start))) back.push_back(k);
  }
  for (const std::size_t k : back) set_marker_character(marker_pairs_[k], '*');
  return back;
}

// Whether the pair at `other`, with '_' for '*', may let the pair at `index`
// read: its markers stand in a run with that pair's, or it holds that pair.
bool Processor::other_mark_may_free(std::size_t other, std::size_t index) const {
  const MarkerPair& j = marker_pairs_[other];
  const MarkerPair& m = marker_pairs_[index];
  if (other == index || j.tried_other_mark || output_[j.open_start] != '*' || output_[m.open_start] != '*') {
    return false;
  }
  if (j.open_start < m.open_start && (!j.closed || j.close_start >= m.close_end)) return true;
  auto in_run = [&](std::size_t start, std::size_t end) {
    const auto [from, to] = marker_run(start, end);
    return (j.open_start >= from && j.open_start < to) || (j.closed && j.close_start >= from && j.close_start < to);
  };
  return in_run(m.open_start, m.open_end) || (m.closed && in_run(m.close_start, m.close_end));
}

void Processor::set_marker_character(const MarkerPair& m, char mark) {
  std::fill(output_.begin() + static_cast<std::ptrdiff_t>(m.open_start),
            output_.begin() + static_cast<std::ptrdiff_t>(m.open_end), mark);
  std::fill(output_.begin() + static_cast<std::ptrdiff_t>(m.close_start),
            output_.begin() + static_cast<std::ptrdiff_t>(m.close_end), mark);
  ++output_epoch_;
}

// Adds a pair where it belongs among the others, in the order of openers;
// its index.
std::size_t Processor::insert_marker_pair(const MarkerPair& pair) {
  const auto at = static_cast<std::size_t>(
      std::upper_bound(marker_pairs_.begin(), marker_pairs_.end(), pair.open_start,
                       [](std::size_t start, const MarkerPair& m) { return start < m.open_start; }) -
      marker_pairs_.begin());
  marker_pairs_.insert(marker_pairs_.begin() + static_cast<std::ptrdiff_t>(at), pair);
  return at;
}

// The pair's markers now stand inside the brackets of a link: they are read
// with its text, and beside its brackets.
void Processor::enter_link(MarkerPair& m, std::uint64_t scope) {
  m.tried_other_mark = false;
  m.apart_with_underscore = false;
  m.scope = scope;
  m.code_at_open = CodeBefore::kNone;
  m.code_at_close = code_span_ends_at(m.close_start);
  if (m.code_at_close != CodeBefore::kNone) m.code_before_close = last_code_span_->start;
}

// "**[a](u)**" becomes "[**a**](u)": the bytes keep their places but for
// the markers and the brackets and destination they pass.
void Processor::move_pair_into_link(std::size_t index, std::size_t link) {
  MarkerPair& m = marker_pairs_[index];
  const LinkSpan span = held_links_[link];
  const std::string marker = output_.substr(m.open_start, m.open_end - m.open_start);
  const std::size_t length = marker.size();
  replace_output(m.open_start, length + 1, "[" + marker);
  std::string tail = marker;
  tail.append(output_, span.text_end, span.end - span.text_end);
  replace_output(span.text_end, m.close_end - span.text_end, tail);
  const std::size_t open = m.open_start;
  m.open_start = open + 1;
  m.open_end = m.open_start + length;
  m.close_start = span.text_end;
  m.close_end = span.text_end + length;
  held_links_[link] = LinkSpan{span.serial, open, m.close_end, m.close_end + (span.end - span.text_end)};
  enter_link(m, span.serial);
  place_pair_content(m);
  // "!" before the link's "[" would make it an image.
  keep_bang_before_link(open);
}

// "~~[a](u) b~~" becomes "[~~a~~](u)~~ b~~": one pair inside the link's
// brackets, one over the rest of the content.
void Processor::split_pair_at_head_link(std::size_t index, std::size_t link) {
  const char outside = mark_outside_link(index, held_links_[link]);
  MarkerPair& m = marker_pairs_[index];
  const std::string marker = output_.substr(m.open_start, m.open_end - m.open_start);
  const std::size_t length = marker.size();
  const std::size_t open = m.open_start;
  replace_output(open, length + 1, "[" + marker);
  insert_output_after(held_links_[link].text_end, marker);
  const std::size_t text_end = held_links_[link].text_end;
  const std::size_t link_end = held_links_[link].end;
  // What starts after the link stays after the opener of the rest.
  insert_output(link_end, marker);
  MarkerPair rest = m;
  rest.open_start = link_end;
  rest.open_end = link_end + length;
  rest.tried_other_mark = false;
  rest.apart_with_underscore = false;
  rest.code_at_open = CodeBefore::kNone;
  m.open_start = open + 1;
  m.open_end = m.open_start + length;
  m.close_start = text_end;
  m.close_end = text_end + length;
  held_links_[link].open = open;
  held_links_[link].text_end = m.close_end;
  held_links_[link].end = link_end;
  enter_link(m, held_links_[link].serial);
  const std::size_t at = insert_marker_pair(rest);
  if (outside != marker[0]) {
    set_marker_character(marker_pairs_[at], outside);
    marker_pairs_[at].apart_with_underscore = outside == '_';
  }
  place_pair_content(marker_pairs_[index]);
  place_pair_content(marker_pairs_[at]);
  keep_bang_before_link(open);
}

// "~~a [b](u)~~" becomes "~~a~~ [~~b~~](u)": one pair over the content
// before the link, one inside its brackets.
void Processor::split_pair_at_tail_link(std::size_t index, std::size_t link) {
  const char outside = mark_outside_link(index, held_links_[link]);
  MarkerPair& m = marker_pairs_[index];
  const LinkSpan span = held_links_[link];
  const std::string marker = output_.substr(m.close_start, m.close_end - m.close_start);
  const std::size_t length = marker.size();
  const std::size_t destination = span.end - span.text_end;  // "](u)"
  // The closer goes before the link's "]", an opener after its "[", and a
  // closer for the content before the link where the link starts.
  std::string moved = marker;
  moved.append(output_, span.text_end, destination);
  replace_output(span.text_end, m.close_end - span.text_end, moved);
  insert_output(span.open + 1, marker);
  insert_output_after(span.open, marker);
  MarkerPair inside = m;
  inside.open_start = span.open + length + 1;
  inside.open_end = inside.open_start + length;
  inside.close_start = span.text_end + 2 * length;
  inside.close_end = inside.close_start + length;
  held_links_[link] = LinkSpan{span.serial, span.open + length, inside.close_end, inside.close_end + destination};
  enter_link(inside, span.serial);
  m.close_start = span.open;
  m.close_end = span.open + length;
  m.tried_other_mark = false;
  m.code_at_close = code_span_ends_at(m.close_start);
  if (m.code_at_close != CodeBefore::kNone) m.code_before_close = last_code_span_->start;
  const std::size_t at = insert_marker_pair(inside);
  if (outside != marker[0]) {
    set_marker_character(marker_pairs_[index], outside);
    marker_pairs_[index].apart_with_underscore = outside == '_';
  }
  place_pair_content(marker_pairs_[index]);
  place_pair_content(marker_pairs_[at]);
}

// A pair whose element is still open holds the drain, and with it all the
// output after its opener: it is settled before its end where it can be.
// A blank line after the opener ends its paragraph (the markers could not
// pair); past a bound of output or of pairs held, the oldest is settled by
// what is known of it.
// A closed pair is settled by its verdict: one that reads is taken as it
// stands, one that does not is taken out; one whose element is still open
// loses its opener. The verdicts hold while only pairs that read leave.
void Processor::bound_marker_pairs() {
  drop_paragraph_crossing_openers();
  bool judged = false;
  for (std::size_t i = 0; i < marker_pairs_.size();) {
    if (output_.size() - marker_pairs_[i].open_start <= kPairHoldLimit && marker_pairs_.size() <= kMaxHeldPairs) break;
    if (!marker_pairs_[i].closed) {
      if (drop_waiting_opener(i)) judged = false;
      else ++i;
      continue;
    }
    if (!judged) judge_marker_pairs(false);
    judged = true;
    if (pair_verdicts_[i] == kVerdictUnknown) {
      ++i;
    } else if (pair_verdicts_[i] == kVerdictReads) {
      marker_pairs_.erase(marker_pairs_.begin() + static_cast<std::ptrdiff_t>(i));
      pair_verdicts_.erase(pair_verdicts_.begin() + static_cast<std::ptrdiff_t>(i));
      keep_judgement(false);
    } else {
      take_out_marker_pair(i);
      judged = false;
    }
  }
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
  hand_on_code_span(m.open_start, m.code_at_open, m.code_before_open);
  escape_after_cut(m.open_start);
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
// where a reader keeps it: "x* z*" would read as text. `space` is that white
// space: spaces and line breaks become one space, none after white space;
// other white space (a no-break space) is kept as it is. False when no
// emphasis or strikethrough opener ends the output.
bool Processor::move_space_before_openers(std::string_view space) {
  if (inline_marker_spans_.empty() || inline_marker_spans_.back().end != output_.size()) return false;
  // The openers written right before, with nothing between them.
  std::size_t first = inline_marker_spans_.size();
  std::size_t at = output_.size();
  while (first > 0 && inline_marker_spans_[first - 1].end == at && inline_marker_spans_[first - 1].kind <= 4) {
    at = inline_marker_spans_[--first].start;
  }
  if (first == inline_marker_spans_.size()) return false;
  // Openers that start a link's text: the white space goes before its "[".
  if (current_region_.active && !current_region_.released && current_region_.bracket &&
      current_region_.start + 1 == at && !inside_html_block_element()) {
    --at;
  }
  const std::optional<unsigned char> before = byte_before(at);
  std::string moved;
  for (std::size_t i = 0; i < space.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(space[i]);
    if (c >= 0x80) {
      moved.push_back(space[i]);
    } else if (moved.empty() ? before && !scan::is_ws(*before) : moved.back() != ' ') {
      moved.push_back(' ');
    }
  }
  if (moved.empty()) return true;
  // Between what ends at `at` (a closer, the text handed out) and the
  // openers that start there.
  insert_output_after(at, moved);
  for (std::size_t i = first; i < inline_marker_spans_.size(); ++i) {
    if (inline_marker_spans_[i].start == at) inline_marker_spans_[i].start += moved.size();
  }
  for (MarkerPair& m : marker_pairs_) {
    if (!m.closed && m.open_start == at) m.open_start += moved.size();
  }
  if (current_region_.active && current_region_.start == at) current_region_.start += moved.size();
  return true;
}

void Processor::keep_space_of_inline_element() {
  if (!move_space_before_openers(" ")) pending_space_ = true;
}

}  // namespace tidewell::streaming
