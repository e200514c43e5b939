// Unicode White_Space over UTF-8 text: the one definition of "white space"
// for trimming, splitting into words and whitespace-only tests. Bytes that
// are not well-formed UTF-8 count as non-space (they would decode to U+FFFD).
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace tidewell {

// U+0009..U+000D, U+0020, U+0085, U+00A0, U+1680, U+2000..U+200A, U+2028,
// U+2029, U+202F, U+205F, U+3000.
constexpr bool is_unicode_space(char32_t cp) {
  return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
         (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F ||
         cp == 0x3000;
}

// Length of the White_Space character starting at `pos` (1 to 3), or 0 when
// the character there is not white space.
std::size_t space_len_at(std::string_view text, std::size_t pos);

// Length of the White_Space character ending at `end` (exclusive), or 0.
std::size_t space_len_before(std::string_view text, std::size_t end);

// Position of the first non-space character at or after `from`.
std::size_t skip_unicode_space(std::string_view text, std::size_t from);

std::string_view trim_unicode_space(std::string_view text);
std::string_view trim_unicode_space_end(std::string_view text);

// True for the empty text and for text made only of white space.
inline bool is_unicode_space_only(std::string_view text) { return skip_unicode_space(text, 0) == text.size(); }

// Number of White_Space characters at the start of `line`; `bytes`, when
// given, receives their length in bytes.
std::size_t leading_space_chars(std::string_view line, std::size_t* bytes = nullptr);

// The byte length of the first `chars` White_Space characters of `line`
// (fewer when the line has fewer).
std::size_t space_prefix_bytes(std::string_view line, std::size_t chars);

// The non-empty runs between White_Space characters, in order.
std::vector<std::string_view> split_unicode_space(std::string_view text);

}  // namespace tidewell
