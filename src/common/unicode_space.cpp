#include "common/unicode_space.hpp"

namespace tidewell {

namespace {

unsigned char byte_at(std::string_view text, std::size_t i) { return static_cast<unsigned char>(text[i]); }

bool is_cont(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

// Every White_Space character is ASCII, or two bytes (U+0085, U+00A0), or
// three bytes (U+1680 and the U+2xxx / U+3000 ones).
std::size_t space_len_at(std::string_view text, std::size_t pos) {
  if (pos >= text.size()) return 0;
  const unsigned char b0 = byte_at(text, pos);
  if (b0 < 0x80) return is_unicode_space(b0) ? 1 : 0;
  if (b0 == 0xC2 && pos + 1 < text.size()) {
    const unsigned char b1 = byte_at(text, pos + 1);
    return (b1 == 0x85 || b1 == 0xA0) ? 2 : 0;
  }
  if ((b0 == 0xE1 || b0 == 0xE2 || b0 == 0xE3) && pos + 2 < text.size()) {
    const unsigned char b1 = byte_at(text, pos + 1);
    const unsigned char b2 = byte_at(text, pos + 2);
    if (!is_cont(b1) || !is_cont(b2)) return 0;
    const char32_t cp = (static_cast<char32_t>(b0 & 0x0F) << 12) | (static_cast<char32_t>(b1 & 0x3F) << 6) |
                        static_cast<char32_t>(b2 & 0x3F);
    return is_unicode_space(cp) ? 3 : 0;
  }
  return 0;
}

std::size_t space_len_before(std::string_view text, std::size_t end) {
  if (end == 0 || end > text.size()) return 0;
  if (byte_at(text, end - 1) < 0x80) return is_unicode_space(byte_at(text, end - 1)) ? 1 : 0;
  if (end >= 2 && space_len_at(text, end - 2) == 2) return 2;
  if (end >= 3 && space_len_at(text, end - 3) == 3) return 3;
  return 0;
}

std::size_t skip_unicode_space(std::string_view text, std::size_t from) {
  while (std::size_t n = space_len_at(text, from)) from += n;
  return from;
}

std::string_view trim_unicode_space_end(std::string_view text) {
  std::size_t end = text.size();
  while (std::size_t n = space_len_before(text, end)) end -= n;
  return text.substr(0, end);
}

std::string_view trim_unicode_space(std::string_view text) {
  std::size_t start = 0;
  while (std::size_t n = space_len_at(text, start)) start += n;
  std::size_t end = text.size();
  while (end > start) {
    const std::size_t n = space_len_before(text, end);
    if (n == 0) break;
    end -= n;
  }
  return text.substr(start, end - start);
}

std::vector<std::string_view> split_unicode_space(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t pos = 0;
  std::size_t word_start = 0;
  while (pos < text.size()) {
    if (const std::size_t n = space_len_at(text, pos)) {
      if (pos > word_start) words.push_back(text.substr(word_start, pos - word_start));
      pos += n;
      word_start = pos;
    } else {
      ++pos;
    }
  }
  if (pos > word_start) words.push_back(text.substr(word_start, pos - word_start));
  return words;
}

std::size_t leading_space_chars(std::string_view line, std::size_t* bytes) {
  std::size_t chars = 0;
  std::size_t pos = 0;
  while (const std::size_t len = pos < line.size() ? space_len_at(line, pos) : 0) {
    pos += len;
    ++chars;
  }
  if (bytes != nullptr) *bytes = pos;
  return chars;
}

std::size_t space_prefix_bytes(std::string_view line, std::size_t chars) {
  std::size_t pos = 0;
  for (std::size_t i = 0; i < chars && pos < line.size(); ++i) {
    const std::size_t len = space_len_at(line, pos);
    if (len == 0) break;
    pos += len;
  }
  return pos;
}

}  // namespace tidewell
