#include "common/marker_runs.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

#include "common/char_sides.hpp"

namespace tidewell {
namespace {

bool run_opens(char mark, std::uint8_t before, std::uint8_t after) {
  const bool left = left_flanking(before, after);
  if (mark != '_') return left;
  return left && (!left_flanking(after, before) || before == kPunctSide);
}

bool run_closes(char mark, std::uint8_t before, std::uint8_t after) {
  const bool right = left_flanking(after, before);
  if (mark != '_') return right;
  return right && (!left_flanking(before, after) || after == kPunctSide);
}

}  // namespace

// The delimiter algorithm over the delimiters of one scope, in order.
void MarkerRunReader::pair_scope() {
  std::vector<Delimiter>& d = delimiters_;
  const std::size_t n = d.size();
  jumps_.assign(n, 0);
  // The lowest opener a closer looks back to, per marker, whether it can
  // open and its length modulo three: a failed look-back is not repeated.
  std::array<std::array<std::int64_t, 6>, 3> bottom;
  for (auto& b : bottom) b.fill(-1);
  const auto slot = [](char mark) { return mark == '*' ? 0 : mark == '_' ? 1 : 2; };
  std::size_t header = 0;
  std::int64_t last_token = -2;
  for (std::size_t c = 0; c < n; ++c) {
    Delimiter& closer = d[c];
    if (d[header].mark != closer.mark || last_token != static_cast<std::int64_t>(closer.token) - 1) header = c;
    last_token = closer.token;
    if (!closer.close) continue;
    std::int64_t& floor = bottom[slot(closer.mark)][(closer.open ? 3 : 0) + closer.length % 3];
    std::int64_t o = static_cast<std::int64_t>(header) - static_cast<std::int64_t>(jumps_[header]) - 1;
    std::int64_t new_floor = o;
    while (o > floor) {
      const auto at = static_cast<std::size_t>(o);
      Delimiter& opener = d[at];
      if (opener.mark == closer.mark && opener.open && opener.end < 0) {
        const bool odd = (opener.close || closer.open) && (opener.length + closer.length) % 3 == 0 &&
                         (opener.length % 3 != 0 || closer.length % 3 != 0);
        if (!odd) {
          const std::size_t last_jump = at > 0 && !d[at - 1].open ? jumps_[at - 1] + 1 : 0;
          jumps_[c] = c - at + last_jump;
          jumps_[at] = last_jump;
          closer.open = false;
          opener.end = static_cast<std::int64_t>(c);
          opener.close = false;
          new_floor = -1;
          last_token = -2;
          break;
        }
      }
      o -= static_cast<std::int64_t>(jumps_[at]) + 1;
    }
    if (new_floor != -1) floor = new_floor;
  }
  for (const Delimiter& opener : d) {
    if (opener.end < 0) continue;
    const Delimiter& closer = d[static_cast<std::size_t>(opener.end)];
    const std::uint32_t markers = opener.mark == '~' ? 2 : 1;
    auto same = [&](const MarkerRunPair& p) { return p.opener == opener.run && p.closer == closer.run; };
    if (auto at = std::find_if(pairs_.begin(), pairs_.end(), same); at != pairs_.end()) at->markers += markers;
    else pairs_.push_back(MarkerRunPair{opener.run, closer.run, markers});
  }
}

MarkerRunFlanks marker_run_flanks(char mark, std::uint8_t before, std::uint8_t after) {
  // One side each, as nearly always.
  if ((before & (before - 1)) == 0 && (after & (after - 1)) == 0) {
    return MarkerRunFlanks{run_opens(mark, before, after), run_closes(mark, before, after), true};
  }
  bool opens_all = true, closes_all = true, opens_any = false, closes_any = false;
  for (std::uint8_t b = 1; b <= 4; b <<= 1) {
    for (std::uint8_t a = 1; a <= 4; a <<= 1) {
      if (!(before & b) || !(after & a)) continue;
      const bool opens = run_opens(mark, b, a);
      const bool closes = run_closes(mark, b, a);
      opens_all = opens_all && opens;
      closes_all = closes_all && closes;
      opens_any = opens_any || opens;
      closes_any = closes_any || closes;
    }
  }
  if (opens_all != opens_any || closes_all != closes_any) return MarkerRunFlanks{false, false, false};
  return MarkerRunFlanks{opens_all, closes_all, true};
}

const std::vector<MarkerRunPair>& MarkerRunReader::pair(std::span<const MarkerRun> runs) {
  pairs_.clear();
  done_.assign(runs.size(), 0);
  // Each scope is read on its own, its runs in order.
  for (std::size_t first = 0; first < runs.size(); ++first) {
    if (done_[first]) continue;
    delimiters_.clear();
    std::uint32_t token = 0;
    for (std::size_t r = first; r < runs.size(); ++r) {
      const MarkerRun& run = runs[r];
      if (done_[r] || run.scope != runs[first].scope) continue;
      done_[r] = 1;
      token += 2;
      const bool tilde = run.mark == '~';
      if (tilde && run.length < 2) continue;
      const std::uint32_t count = tilde ? run.open_markers / 2 : run.open_markers;
      for (std::uint32_t k = 0; k < count; ++k) {
        delimiters_.push_back(Delimiter{static_cast<std::uint32_t>(r), token++, tilde ? 0 : run.length, -1, run.mark,
                                        run.can_open, run.can_close});
      }
    }
    pair_scope();
  }
  return pairs_;
}

}  // namespace tidewell
