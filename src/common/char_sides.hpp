// What a character beside a run of emphasis delimiters counts as for a
// CommonMark reader: white space, punctuation or a word character. The
// inline forms guess for a non-ASCII character that is not a known letter
// (both of the latter are possible); the category forms read the Unicode
// general category.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/ascii.hpp"
#include "common/unicode_space.hpp"
#include "common/utf8.hpp"

namespace tidewell {

// What a neighbour of a delimiter run may be, as bits: a neighbour that is
// not known may be any of them.
enum : std::uint8_t { kSpaceSide = 1, kPunctSide = 2, kWordSide = 4, kAnySide = 7 };

// Code points that are letters for certain: Latin, Greek and Cyrillic
// letters and the CJK ideographs. Other non-ASCII characters may be
// punctuation or not.
constexpr bool is_known_letter(char32_t cp) {
  if (cp >= 0xC0 && cp <= 0x2AF) return cp != 0xD7 && cp != 0xF7;
  if (cp >= 0x386 && cp <= 0x3FF) return cp != 0x387;
  if (cp >= 0x400 && cp <= 0x4FF) return cp < 0x482 || cp > 0x489;
  return (cp >= 0x3040 && cp <= 0x30FF) || (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xAC00 && cp <= 0xD7A3);
}

// A run between a neighbour of side `before` and one of side `after` (one
// side each) is left-flanking: a run of '*' may open. Right-flanking is
// the same with the neighbours swapped.
constexpr bool left_flanking(std::uint8_t before, std::uint8_t after) {
  return after != kSpaceSide && (after != kPunctSide || before != kWordSide);
}

constexpr std::uint8_t side_of_code_point(char32_t cp) {
  if (cp < 0x80) {
    const auto c = static_cast<unsigned char>(cp);
    if (c == ' ' || (c >= 0x09 && c <= 0x0D)) return kSpaceSide;
    return is_ascii_punct(c) ? kPunctSide : kWordSide;
  }
  if (is_unicode_space(cp)) return kSpaceSide;
  return is_known_letter(cp) ? kWordSide : kPunctSide | kWordSide;
}

// The side by `side_of` of the character whose UTF-8 sequence starts at `p`;
// a sequence that is not well formed may be anything.
template <class SideOf>
std::uint8_t side_of_sequence(const unsigned char* p, const unsigned char* end, SideOf side_of) {
  if (*p < 0x80) return side_of_code_point(*p);
  bool valid = false;
  const std::size_t len = utf8_sequence(p, end, valid);
  if (!valid) return kAnySide;
  char32_t cp = p[0] & (0x3F >> (len - 1));
  for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (p[k] & 0x3F);
  return side_of(cp);
}

inline std::uint8_t side_of_sequence(const unsigned char* p, const unsigned char* end) {
  return side_of_sequence(p, end, side_of_code_point);
}

// Where the character that ends at `pos` (> 0) starts.
inline std::size_t char_start_before(std::string_view text, std::size_t pos) {
  std::size_t start = pos - 1;
  while (start > 0 && pos - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
  return start;
}

// The side of the character that starts at `pos` (< text.size()).
inline std::uint8_t side_of_char_at(std::string_view text, std::size_t pos) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  return side_of_sequence(p + pos, p + text.size());
}

// The side of the character that ends at `pos` (> 0).
inline std::uint8_t side_of_char_before(std::string_view text, std::size_t pos) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  return side_of_sequence(p + char_start_before(text, pos), p + pos);
}

// The same sides decided by the Unicode general category, as CommonMark
// defines them: white space is Zs and the ASCII white space, punctuation the
// P and S categories whatever the script, and every other character (a
// letter, a digit of any script, a mark, a format or private-use character)
// counts as a word's. Only a sequence that is not well formed UTF-8 may be
// anything. The table behind it is generated from Python's unicodedata.
std::uint8_t category_side_of_code_point(char32_t cp);
std::uint8_t category_side_of_char_at(std::string_view text, std::size_t pos);
std::uint8_t category_side_of_char_before(std::string_view text, std::size_t pos);

// The white space by category (kSpaceSide) that starts `text`, in bytes, and
// where the run of it that ends `text` starts.
std::size_t category_space_prefix(std::string_view text);
std::size_t category_space_suffix_start(std::string_view text);

}  // namespace tidewell
