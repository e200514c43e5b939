// UTF-8: the one sequence check shared by every reader and writer of text
// (well-formed sequences as Unicode defines them: no overlongs, no
// surrogates, nothing above U+10FFFF), lossy decoding, and encoding.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/cow_text.hpp"

namespace tidewell {

// Characters of UTF-8 text: the bytes that are not continuation bytes.
inline std::size_t utf8_char_count(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

// Length of the UTF-8 sequence whose lead byte is `p[0]` (>= 0x80), reading
// no further than `end`. When the sequence is well formed `valid` is true and
// the length is that of the whole sequence; otherwise `valid` is false and the
// length is that of the maximal ill-formed subpart (at least 1), the bytes
// that one U+FFFD replaces.
inline std::size_t utf8_sequence(const unsigned char* p, const unsigned char* end, bool& valid) {
  const unsigned char b = p[0];
  std::size_t need;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    need = 1;
  } else if (b >= 0xE0 && b <= 0xEF) {
    need = 2;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    need = 3;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    valid = false;
    return 1;
  }
  for (std::size_t i = 1; i <= need; ++i) {
    if (p + i >= end || p[i] < lo || p[i] > hi) {
      valid = false;
      return i;
    }
    lo = 0x80;
    hi = 0xBF;
  }
  valid = true;
  return need + 1;
}

// Lossy decoding: every invalid sequence (a maximal ill-formed subpart)
// becomes U+FFFD.

// True when `bytes` is valid UTF-8.
bool is_valid_utf8(std::string_view bytes);
// nullopt when `bytes` is valid UTF-8 (use it unchanged); else the repaired text.
std::optional<std::string> utf8_lossy_owned(std::string_view bytes);
// Borrowed when valid, owned when something was replaced.
CowText utf8_lossy(std::string_view bytes);
// Appends the repaired form of `bytes` to `out`.
void append_utf8_lossy(std::string_view bytes, std::string& out);

// Appends the UTF-8 encoding of a scalar value.
void append_utf8(std::string& out, char32_t cp);

}  // namespace tidewell
