#include "converter/text/processing.hpp"

#include <array>
#include <cstddef>
#include <cstdint>

namespace tidewell {
namespace {

// ---------------------------------------------------------------------------
// Whitespace folding

// Bytes that may start a folding space.
constexpr std::array<bool, 256> make_fold_starts() {
  std::array<bool, 256> t{};
  t[' '] = t['\t'] = true;
  t[0xC2] = t[0xE1] = t[0xE2] = t[0xE3] = true;
  return t;
}
constexpr std::array<bool, 256> kFoldStart = make_fold_starts();

// Byte length of the folding space at p, or 0 when p does not start one.
inline std::size_t fold_space_len(const unsigned char* p, const unsigned char* end) {
  const unsigned char b = *p;
  if (b == ' ' || b == '\t') return 1;
  const std::size_t left = static_cast<std::size_t>(end - p);
  switch (b) {
    case 0xC2:  // U+00A0
      return left >= 2 && p[1] == 0xA0 ? 2 : 0;
    case 0xE1:  // U+1680
      return left >= 3 && p[1] == 0x9A && p[2] == 0x80 ? 3 : 0;
    case 0xE2:
      if (left < 3) return 0;
      if (p[1] == 0x80) return (p[2] >= 0x80 && p[2] <= 0x8A) || p[2] == 0xAF ? 3 : 0;  // U+2000..U+200A, U+202F
      if (p[1] == 0x81) return p[2] == 0x9F ? 3 : 0;                                    // U+205F
      return 0;
    case 0xE3:  // U+3000
      return left >= 3 && p[1] == 0x80 && p[2] == 0x80 ? 3 : 0;
    default:
      return 0;
  }
}

// Offset of the first run that folding changes, or npos.
std::size_t first_fold(std::string_view text) {
  const auto* const begin = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = begin + text.size();
  for (const unsigned char* p = begin; p < end; ++p) {
    if (!kFoldStart[*p]) continue;
    if (*p == ' ') {
      if (p + 1 < end && p[1] == ' ') return static_cast<std::size_t>(p - begin);
      continue;
    }
    if (fold_space_len(p, end) != 0) {
      // A single space before it belongs to the same run (two would have
      // been found already).
      if (p > begin && p[-1] == ' ') --p;
      return static_cast<std::size_t>(p - begin);
    }
  }
  return std::string_view::npos;
}

// ---------------------------------------------------------------------------
// Markdown escaping

enum : std::uint8_t { kKeep = 0, kEscape = 1, kAfterDigit = 2 };

using EscapeClass = std::array<std::uint8_t, 256>;

constexpr bool is_ascii_punct(int b) {
  return (b >= 0x21 && b <= 0x2F) || (b >= 0x3A && b <= 0x40) || (b >= 0x5B && b <= 0x60) ||
         (b >= 0x7B && b <= 0x7E);
}

// Tables 0..7: bit 0 escape_misc, bit 1 escape_asterisks, bit 2
// escape_underscores. Table 8: escape_ascii.
constexpr std::array<EscapeClass, 9> make_escape_tables() {
  std::array<EscapeClass, 9> tables{};
  for (int flags = 0; flags < 8; ++flags) {
    EscapeClass& t = tables[flags];
    if (flags & 1) {
      for (unsigned char c : {'#', '&', '+', '-', '<', '=', '>', '[', '\\', ']', '`', '|', '~'}) t[c] = kEscape;
      t['.'] = t[')'] = kAfterDigit;
    }
    if (flags & 2) t['*'] = kEscape;
    if (flags & 4) t['_'] = kEscape;
  }
  for (int b = 0; b < 256; ++b) tables[8][b] = is_ascii_punct(b) ? kEscape : kKeep;
  return tables;
}
constexpr std::array<EscapeClass, 9> kEscapeTables = make_escape_tables();

inline bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

}  // namespace

void collapse_whitespace_into(std::string_view text, std::string& out) {
  const auto* const begin = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = begin + text.size();
  const unsigned char* run = begin;  // start of the bytes not yet copied
  const unsigned char* p = begin;
  while (p < end) {
    if (!kFoldStart[*p]) {
      ++p;
      continue;
    }
    const std::size_t len = fold_space_len(p, end);
    if (len == 0) {
      ++p;
      continue;
    }
    const unsigned char* q = p + len;
    while (q < end && kFoldStart[*q]) {
      const std::size_t more = fold_space_len(q, end);
      if (more == 0) break;
      q += more;
    }
    if (q - p == 1 && *p == ' ') {  // a lone space stays as it is
      p = q;
      continue;
    }
    out.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
    out.push_back(' ');
    p = q;
    run = q;
  }
  out.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(end - run));
}

std::optional<std::string> collapse_whitespace(std::string_view text) {
  const std::size_t first = first_fold(text);
  if (first == std::string_view::npos) return std::nullopt;
  std::string out;
  out.reserve(text.size());
  out.append(text.data(), first);
  collapse_whitespace_into(text.substr(first), out);
  return out;
}

namespace {

// The escape table for a flag combination, or nullptr when no flag is set.
const EscapeClass* escape_table(bool escape_misc, bool escape_asterisks, bool escape_underscores,
                                bool escape_ascii) {
  const int index =
      escape_ascii ? 8 : (escape_misc ? 1 : 0) | (escape_asterisks ? 2 : 0) | (escape_underscores ? 4 : 0);
  return index == 0 ? nullptr : &kEscapeTables[static_cast<std::size_t>(index)];
}

inline bool needs_escape(const EscapeClass& cls, const unsigned char* begin, const unsigned char* p) {
  const std::uint8_t c = cls[*p];
  return c == kEscape || (c == kAfterDigit && p > begin && is_digit(p[-1]));
}

// Offset of the first character to escape, or the text's length.
std::size_t first_escape(const EscapeClass& cls, std::string_view text) {
  const auto* const begin = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = begin + text.size();
  const unsigned char* p = begin;
  while (p < end && !needs_escape(cls, begin, p)) ++p;
  return static_cast<std::size_t>(p - begin);
}

// Appends `text` to `out` with a backslash before every character to escape
// from offset `from` on (nothing before it needs one).
void append_escaped(const EscapeClass& cls, std::string_view text, std::size_t from, std::string& out) {
  const auto* const begin = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = begin + text.size();
  const unsigned char* run = begin;
  for (const unsigned char* p = begin + from; p < end; ++p) {
    if (!needs_escape(cls, begin, p)) continue;
    out.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
    out.push_back('\\');
    run = p;  // the character itself starts the next run
  }
  out.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(end - run));
}

}  // namespace

std::optional<std::string> escape_markdown_text(std::string_view text, bool escape_misc, bool escape_asterisks,
                                                bool escape_underscores, bool escape_ascii) {
  if (text.empty()) return std::nullopt;
  const EscapeClass* cls = escape_table(escape_misc, escape_asterisks, escape_underscores, escape_ascii);
  if (cls == nullptr) return std::nullopt;
  const std::size_t first = first_escape(*cls, text);
  if (first == text.size()) return std::nullopt;
  std::string out;
  out.reserve(text.size() + text.size() / 8 + 8);
  append_escaped(*cls, text, first, out);
  return out;
}

void escape_markdown_text_into(std::string_view text, bool escape_misc, bool escape_asterisks,
                               bool escape_underscores, bool escape_ascii, std::string& out) {
  const EscapeClass* cls = escape_table(escape_misc, escape_asterisks, escape_underscores, escape_ascii);
  if (cls == nullptr) {
    out.append(text);
    return;
  }
  append_escaped(*cls, text, 0, out);
}

}  // namespace tidewell
