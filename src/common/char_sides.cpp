#include "common/char_sides.hpp"

#include <algorithm>
#include <iterator>

namespace tidewell {
namespace {

struct CategoryRange {
  char32_t first;
  char32_t last;
  std::uint8_t side;
};

#include "unicode_sides.inc"

bool is_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::uint8_t category_side_of_code_point(char32_t cp) {
  if (cp < 0x80) return side_of_code_point(cp);
  const auto* end = std::end(kCategoryRanges);
  const auto* at = std::upper_bound(std::begin(kCategoryRanges), end, cp,
                                    [](char32_t c, const CategoryRange& r) { return c < r.first; });
  if (at == std::begin(kCategoryRanges)) return kWordSide;
  --at;
  return cp <= at->last ? at->side : std::uint8_t{kWordSide};
}

std::uint8_t category_side_of_char_at(std::string_view text, std::size_t pos) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  return side_of_sequence(p + pos, p + text.size(), category_side_of_code_point);
}

std::uint8_t category_side_of_char_before(std::string_view text, std::size_t pos) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  return side_of_sequence(p + char_start_before(text, pos), p + pos, category_side_of_code_point);
}

std::size_t category_space_prefix(std::string_view text) {
  std::size_t lead = 0;
  while (lead < text.size() && category_side_of_char_at(text, lead) == kSpaceSide) {
    ++lead;
    while (lead < text.size() && is_continuation(text[lead])) ++lead;
  }
  return lead;
}

std::size_t category_space_suffix_start(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && category_side_of_char_before(text, end) == kSpaceSide) end = char_start_before(text, end);
  return end;
}

}  // namespace tidewell
