// How a CommonMark reader pairs runs of emphasis and strikethrough markers:
// CommonMark's delimiter algorithm as markdown-it runs it,
// with its strikethrough ('~' runs pair by twos, an odd run keeps one '~' as
// text, and the rule of three does not apply to them). A writer describes
// the runs it wrote, in order, and learns which of them pair and with how
// many markers; where that is not how it meant them, the markers do not read
// as written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tidewell {

struct MarkerRun {
  char mark = '*';  // '*', '_' or '~'
  std::uint32_t length = 0;
  // The markers of the run that may still pair (the others paired before
  // the runs described, which the writer no longer keeps): the last ones.
  std::uint32_t open_markers = 0;
  bool can_open = false;
  bool can_close = false;
  // Runs of different scopes never pair: a link's text is read on its own.
  std::uint64_t scope = 0;
};

// Whether a run of `mark` between neighbours of these sides (char_sides.hpp)
// can open and close: CommonMark's flanking rules, with '_' neither opening
// nor closing inside a word. `certain` is false when the answer depends on
// which of the possible sides a neighbour has; both are false then.
struct MarkerRunFlanks {
  bool can_open = false;
  bool can_close = false;
  bool certain = true;
};
MarkerRunFlanks marker_run_flanks(char mark, std::uint8_t before, std::uint8_t after);

// Markers of run `opener` that pair with markers of run `closer`.
struct MarkerRunPair {
  std::uint32_t opener = 0;
  std::uint32_t closer = 0;
  std::uint32_t markers = 0;
};

// Pairs runs as a reader does, with buffers kept from one call to the next.
class MarkerRunReader {
 public:
  // The couples of runs (indices into `runs`) that a reader pairs, each
  // once with all its markers; valid until the next call. Linear in the
  // number of markers but for the runs a closer looks back over (bounded as
  // the reader bounds them).
  const std::vector<MarkerRunPair>& pair(std::span<const MarkerRun> runs);

 private:
  struct Delimiter {
    std::uint32_t run = 0;
    std::uint32_t token = 0;   // consecutive within a run
    std::uint32_t length = 0;  // for the rule of three; 0 for '~'
    std::int64_t end = -1;     // the closer it pairs with
    char mark = '*';
    bool open = false;
    bool close = false;
  };
  void pair_scope();

  std::vector<Delimiter> delimiters_;
  std::vector<std::size_t> jumps_;
  std::vector<std::uint8_t> done_;
  std::vector<MarkerRunPair> pairs_;
};

}  // namespace tidewell
