// Unicode White_Space tests over UTF-8 text, for the plain-text renderer and
// the boilerplate filter's token splitting.
#pragma once

#include <cstddef>
#include <string_view>

namespace tidewell::plain_detail {

// Byte length of the White_Space character that starts at `pos` (1 to 3),
// or 0 when the character there is not white space.
//
// White_Space: U+0009..U+000D, U+0020, U+0085, U+00A0, U+1680,
// U+2000..U+200A, U+2028, U+2029, U+202F, U+205F, U+3000.
inline std::size_t white_space_len_at(std::string_view text, std::size_t pos) {
  const std::size_t left = text.size() - pos;
  const auto b0 = static_cast<unsigned char>(text[pos]);
  if (b0 < 0x80) return (b0 == 0x20 || (b0 >= 0x09 && b0 <= 0x0D)) ? 1 : 0;
  if (left < 2) return 0;
  const auto b1 = static_cast<unsigned char>(text[pos + 1]);
  if (b0 == 0xC2) return (b1 == 0x85 || b1 == 0xA0) ? 2 : 0;
  if (left < 3) return 0;
  const auto b2 = static_cast<unsigned char>(text[pos + 2]);
  switch (b0) {
    case 0xE1:
      return (b1 == 0x9A && b2 == 0x80) ? 3 : 0;
    case 0xE2:
      if (b1 == 0x80) return ((b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF) ? 3 : 0;
      if (b1 == 0x81) return b2 == 0x9F ? 3 : 0;
      return 0;
    case 0xE3:
      return (b1 == 0x80 && b2 == 0x80) ? 3 : 0;
    default:
      return 0;
  }
}

// Byte length of the White_Space character that ends at `end` (exclusive),
// or 0. `text` must be valid UTF-8 up to `end`.
inline std::size_t white_space_len_before(std::string_view text, std::size_t end) {
  for (std::size_t len = 1; len <= 3 && len <= end; ++len) {
    const auto lead = static_cast<unsigned char>(text[end - len]);
    if ((lead & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    return white_space_len_at(text.substr(0, end), end - len) == len ? len : 0;
  }
  return 0;
}

// Start of the first non-white-space character at or after `from`.
inline std::size_t skip_white_space(std::string_view text, std::size_t from) {
  while (from < text.size()) {
    const std::size_t len = white_space_len_at(text, from);
    if (len == 0) break;
    from += len;
  }
  return from;
}

}  // namespace tidewell::plain_detail
