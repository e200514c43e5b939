// Tag names as both parser backends test them: the first eight bytes in one
// word, ASCII letters in lower case, read once per tag for the one probe
// that tells what the tag is (OpenScopes::start_tag), and the names of end
// tags compared in a word.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace tidewell {

namespace tag_name {

// Up to eight bytes in one word, the first lowest; the rest zero.
constexpr std::uint64_t pack(std::string_view s) {
  std::uint64_t v = 0;
  for (std::size_t i = s.size(); i > 0; --i) v = (v << 8) | static_cast<unsigned char>(s[i - 1]);
  return v;
}

// The bytes of a name of one to eight bytes in one word, as pack gives
// them.
inline std::uint64_t packed(std::string_view s) {
  static_assert(std::endian::native == std::endian::little);
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const std::size_t n = s.size();
  // Two loads that may overlap in the middle, never one byte past the name.
  if (n >= 4) {
    std::uint32_t lo, hi;
    std::memcpy(&lo, p, 4);
    std::memcpy(&hi, p + n - 4, 4);
    return lo | (std::uint64_t{hi} << (8 * (n - 4)));
  }
  if (n >= 2) {
    std::uint16_t lo;
    std::memcpy(&lo, p, 2);
    return lo | (std::uint64_t{p[n - 1]} << (8 * (n - 1)));
  }
  return p[0];
}

// The same with the name's ASCII letters in lower case. Other bytes may
// change too, but none into a letter: only a control byte can turn into a
// digit, and the parsers compare the names as written before they close
// anything.
inline std::uint64_t lower_packed(std::string_view s) {
  return packed(s) | (0x2020202020202020ull >> (8 * (8 - s.size())));
}

// Whether two names are the same bytes: the end tag's name against an open
// element's, without a call for the short ones.
inline bool same(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a.size() - 1 < 8) return packed(a) == packed(b);
  return a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace tag_name

// A tag name, its head folded once (see tag_name::lower_packed).
struct FoldedName {
  explicit FoldedName(std::string_view name)
      : text(name), head(name.empty() ? 0 : tag_name::lower_packed(name.substr(0, 8))) {}

  std::string_view text;  // as written
  std::uint64_t head;
};

}  // namespace tidewell
