#include "common/utf8.hpp"

#include <cstdint>
#include <cstring>

namespace tidewell {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Index of the first byte of the first ill-formed sequence, or n.
std::size_t valid_prefix(std::string_view bytes, std::size_t from) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = from;
  while (i < n) {
    // ASCII fast path, eight bytes at a time.
    while (i + 8 <= n) {
      std::uint64_t w;
      std::memcpy(&w, s + i, 8);
      if (w & 0x8080808080808080ULL) break;
      i += 8;
    }
    if (i >= n) break;
    if (s[i] < 0x80) {
      ++i;
      continue;
    }
    bool valid;
    const std::size_t len = utf8_sequence(s + i, s + n, valid);
    if (!valid) return i;
    i += len;
  }
  return n;
}

void append_repaired(std::string_view bytes, std::size_t from, std::string& out) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = from;
  while (i < n) {
    const std::size_t good_end = valid_prefix(bytes, i);
    out.append(bytes.data() + i, good_end - i);
    i = good_end;
    if (i >= n) break;
    bool valid;
    const std::size_t bad = utf8_sequence(s + i, s + n, valid);
    out.append(kReplacement);
    i += bad;
  }
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) { return valid_prefix(bytes, 0) == bytes.size(); }

std::optional<std::string> utf8_lossy_owned(std::string_view bytes) {
  const std::size_t first_bad = valid_prefix(bytes, 0);
  if (first_bad == bytes.size()) return std::nullopt;
  std::string out;
  out.reserve(bytes.size() + 8);
  out.append(bytes.data(), first_bad);
  append_repaired(bytes, first_bad, out);
  return out;
}

CowText utf8_lossy(std::string_view bytes) {
  if (auto fixed = utf8_lossy_owned(bytes)) return CowText(std::move(*fixed));
  return CowText(bytes);
}

void append_utf8_lossy(std::string_view bytes, std::string& out) {
  const std::size_t first_bad = valid_prefix(bytes, 0);
  out.append(bytes.data(), first_bad);
  if (first_bad != bytes.size()) append_repaired(bytes, first_bad, out);
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace tidewell
