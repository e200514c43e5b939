// What a character beside a run of emphasis delimiters counts as for a
// CommonMark reader: white space, punctuation or a word character. Where
// the reader's Unicode tables cannot be known for certain, both of the
// latter are possible.
#pragma once

#include <cstdint>

#include "common/ascii.hpp"
#include "common/unicode_space.hpp"

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

constexpr std::uint8_t side_of_code_point(char32_t cp) {
  if (cp < 0x80) {
    const auto c = static_cast<unsigned char>(cp);
    if (c == ' ' || (c >= 0x09 && c <= 0x0D)) return kSpaceSide;
    return is_ascii_punct(c) ? kPunctSide : kWordSide;
  }
  if (is_unicode_space(cp)) return kSpaceSide;
  return is_known_letter(cp) ? kWordSide : kPunctSide | kWordSide;
}

}  // namespace tidewell
