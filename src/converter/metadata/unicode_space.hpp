// Unicode White_Space handling for the metadata collectors.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace tidewell::metadata_detail {

// Whether the code point has the Unicode White_Space property.
constexpr bool is_unicode_space(char32_t cp) {
  return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
         (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F ||
         cp == 0x3000;
}

// Length of the White_Space character starting at `pos`, or 0 when the
// character there is not white space (or not well-formed UTF-8).
std::size_t space_len_at(std::string_view text, std::size_t pos);

// Length of the White_Space character ending at `end` (exclusive), or 0.
std::size_t space_len_before(std::string_view text, std::size_t end);

std::string_view trim_unicode_space(std::string_view text);

// The non-empty runs between White_Space characters, in order.
std::vector<std::string_view> split_unicode_space(std::string_view text);

}  // namespace tidewell::metadata_detail
