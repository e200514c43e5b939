// How a CommonMark reader with strikethrough (markdown-it's reading) shows a
// piece of inline Markdown: which bytes show as text, and with which
// emphasis. Writers ask it whether the markers they are about to write pair
// the way they mean them to, given what stands beside them, instead of
// guessing from the characters next to each marker: runs of markers that
// meet, the rule of three and a closer that finds an earlier opener all
// follow from the reading itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tidewell {

// How a reader shows one byte (read_inline_emphasis).
enum : std::uint8_t {
  kShownText = 1,  // the byte shows (it is no marker, bracket, backtick or escape)
  kShownEmphasis = 2,
  kShownStrong = 4,
  kShownStrike = 8,
};

// What stands beside a piece of Markdown: kSpaceSide, kPunctSide or
// kWordSide (char_sides.hpp), one bit each (reads_as_planned takes several,
// where it is not known which). `references`: the document defines the
// references of links written "[label][reference]" (else those are text).
struct ReadingEdges {
  std::uint8_t before = 1;  // kSpaceSide: the start of a line
  std::uint8_t after = 1;
  bool references = false;
};

// Reads `text` as inline content and sets `shown` (resized to the text's
// size) byte by byte. Code spans, escapes, links and images (their text is
// read apart, as a reader reads it), autolinks and inline HTML are told
// apart from the delimiter runs of '*', '_' and '~~', which pair as
// markdown-it pairs them; the characters beside a run count by their
// Unicode category (category_side_of_char_at), as CommonMark has it. Linear
// in the text's size.
// With `partners`, each byte of a delimiter that pairs is given the byte it
// pairs with there (kNoPartner for every other byte).
inline constexpr std::uint32_t kNoPartner = 0xFFFFFFFF;
void read_inline_emphasis(std::string_view text, const ReadingEdges& edges, std::vector<std::uint8_t>& shown,
                          std::vector<std::uint32_t>* partners = nullptr);

// A link of a piece of Markdown ("[label](destination)" or
// "[label][reference]"), read as read_inline_emphasis reads links: where it
// starts, where its label starts and ends (between the brackets), and the
// byte after it.
struct LinkSpan {
  std::size_t start = 0;
  std::size_t label_start = 0;
  std::size_t label_end = 0;
  std::size_t end = 0;
};

// The link that starts `text` (with `at_start`) or ends it, if any.
std::optional<LinkSpan> link_at_edge(std::string_view text, bool at_start, bool references);

// A piece of Markdown in a planned writing: text, or markers that must show
// nowhere. Text gains the formatting `adds` (kShownEmphasis, ...).
struct MarkdownPiece {
  std::string_view text;
  bool markers = false;
  std::uint8_t adds = 0;
};

// Whether the pieces of `written`, one after the other, read as those of
// `plain` do: their text pieces (the same number, each as long as its
// counterpart) show the same bytes with the same formatting plus what the
// written piece adds, and the markers of `written` show nowhere. The sides
// of `edges` may be several (what stands there is not known for certain):
// every one of them must read so. `difference`, when given, is set to the
// offset into the plain pieces' text where the readings first differ.
bool reads_as_planned(std::span<const MarkdownPiece> plain, std::span<const MarkdownPiece> written,
                      const ReadingEdges& edges, std::size_t* difference = nullptr);

// A quick answer for one pair of markers (`open` and `close`, a run of '*',
// '_' or '~' each) around `core`, after `head` (the output's end, and white
// space when `spaced`) and before `tail`: where neither `core` nor `tail`
// holds a byte of inline markup ('*', '_', '~', '`', '[', ']', '<', '>',
// '\\') and none ends `head`, nothing there meets the markers (but an open
// run of their character in `head`, checked for), and they pair exactly
// when the first can open and the second can close. nullopt where a full
// reading is needed.
std::optional<bool> lone_pair_reads(std::string_view head, bool spaced, std::string_view open, std::string_view core,
                                    std::string_view close, std::string_view tail, const ReadingEdges& edges);

// Whether `written` shows the characters of `plain` (its text pieces, each
// with the formatting it `adds`; white space aside) in the same order with
// the same formatting, however the markup between them is laid out.
bool reads_alike(std::span<const MarkdownPiece> plain, std::string_view written, const ReadingEdges& edges);

}  // namespace tidewell
