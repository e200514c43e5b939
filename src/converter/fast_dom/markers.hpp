// Emphasis markers of the fast_dom walker, settled once a run of inline
// content is whole: the walker writes a byte where each strong or emphasis
// element opens and closes (and around each link that such content holds),
// and the run is then written with those bytes turned into runs of '*' and
// '_' that a CommonMark reader pairs as the page's formatting.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace tidewell::fast_dom {

// The bytes the walker writes into its output until a run is settled. None
// of them occurs in UTF-8 text.
enum : unsigned char {
  kStrongOpen = 0xF8,
  kStrongClose = 0xF9,
  kEmphasisOpen = 0xFA,
  kEmphasisClose = 0xFB,
  kLinkOpen = 0xFC,  // right before a link's '['
  kLinkText = 0xFD,  // right after its text, before "]("
  kLinkEnd = 0xFE,   // right after its ')'
};

constexpr bool is_marker_byte(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b >= kStrongOpen && b <= kLinkEnd;
}

// The offset of the first marker byte of `text` at or after `from`; npos
// when there is none.
std::size_t find_marker_byte(std::string_view text, std::size_t from = 0);

// Settles runs, keeping its buffers from run to run.
class MarkerSettler {
 public:
  MarkerSettler();
  ~MarkerSettler();
  MarkerSettler(const MarkerSettler&) = delete;
  MarkerSettler& operator=(const MarkerSettler&) = delete;

  // Appends `run` to `out` with its marker bytes settled. White space or a
  // line's edge stands before and after the run; `line_before` is what its
  // line holds before it in the output (a short look back tells whether
  // text there starts a line).
  //
  // The formatting of every character is what the elements give it: strong
  // emphasis, emphasis, and emphasis inside emphasis where a reader can
  // show it. Elements of one kind side by side are one pair. Where the
  // markers at an element's edge would not pair, the other marker
  // character, markers inside a link's brackets instead of around the
  // link, or a pair split at a link's edge are tried, each checked against
  // the reader's pairing rules; a pair that no writing makes a reader take
  // is left out. Text that meets text where markers are left out stays
  // text: code spans side by side become one, and markup the two would
  // make is escaped.
  //
  // `places` are offsets into `run`, in ascending order; each is replaced
  // by the offset in `out` (from where it stood) of the byte it named (of
  // what follows it, for a marker byte).
  void settle(std::string_view run, std::string_view line_before, std::string& out, std::span<std::size_t> places);

 private:
  struct Buffers;
  std::unique_ptr<Buffers> buffers_;
};

}  // namespace tidewell::fast_dom
