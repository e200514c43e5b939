#include "converter/metadata/front_matter.hpp"

#include <array>

#include "common/ascii.hpp"
#include "common/unicode_space.hpp"
#include "common/utf8.hpp"

namespace tidewell {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Above this many bytes a key no longer fits a YAML simple key (readers
// allow 1024 characters) and is written as an explicit "? key".
constexpr std::size_t kSimpleKeyLimit = 1000;

// One character of a UTF-8 text: its scalar value (U+FFFD for an ill-formed
// sequence) and its byte length.
struct Char {
  char32_t cp;
  std::size_t len;
  bool valid = true;
};

Char char_at(std::string_view text, std::size_t pos) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data()) + pos;
  const auto* end = reinterpret_cast<const unsigned char*>(text.data()) + text.size();
  if (p[0] < 0x80) return {p[0], 1};
  bool valid = false;
  const std::size_t len = utf8_sequence(p, end, valid);
  if (!valid) return {kReplacement, len, false};
  char32_t cp = p[0] & (len == 2 ? 0x1F : len == 3 ? 0x0F : 0x07);
  for (std::size_t i = 1; i < len; ++i) cp = (cp << 6) | (p[i] & 0x3F);
  return {cp, len};
}

// Characters a YAML reader does not take as they stand inside a scalar:
// C0 and C1 controls, DEL, the line and paragraph separators (line breaks to
// YAML 1.1) and the two non-characters it refuses.
bool is_escaped_char(char32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029 || cp == 0xFFFE || cp == 0xFFFF;
}

// A plain scalar that starts with one of these is read as something else
// (an indicator, a number, a date, a merge key, ...) or is not allowed.
bool is_risky_first_char(char32_t cp) {
  if (cp >= '0' && cp <= '9') return true;
  switch (cp) {
    case '-': case '?': case ':': case ',': case '[': case ']': case '{': case '}': case '#': case '&':
    case '*': case '!': case '|': case '>': case '\'': case '"': case '%': case '@': case '`':
    case '+': case '.': case '~': case '=': case '<':
      return true;
    default:
      return is_unicode_space(cp);
  }
}

// Words YAML 1.1 or 1.2 reads as a boolean or null.
bool is_reserved_word(std::string_view text) {
  static constexpr std::array<std::string_view, 9> kWords = {"y", "n", "yes", "no", "on", "off", "true", "false",
                                                              "null"};
  if (text.size() > 5) return false;
  for (std::string_view word : kWords) {
    if (ascii_iequals(text, word)) return true;
  }
  return false;
}

// What every scalar, key or value, must not be written bare with.
bool needs_quotes_anywhere(std::string_view text) {
  if (text.empty() || is_reserved_word(text)) return true;
  if (is_risky_first_char(char_at(text, 0).cp)) return true;
  if (space_len_before(text, text.size()) != 0) return true;
  for (std::size_t i = 0; i < text.size();) {
    const Char c = char_at(text, i);
    if (is_escaped_char(c.cp)) return true;
    i += c.len;
  }
  return false;
}

bool value_needs_quotes(std::string_view value) {
  return needs_quotes_anywhere(value) || value.find_first_of(":#[]") != std::string_view::npos;
}

bool key_needs_quotes(std::string_view key) {
  return needs_quotes_anywhere(key) || key.back() == ':' || key.find(": ") != std::string_view::npos ||
         key.find(" #") != std::string_view::npos;
}

void append_hex_escape(std::string& out, char32_t cp) {
  static constexpr char kHex[] = "0123456789abcdef";
  const int digits = cp <= 0xFF ? 2 : 4;
  out += '\\';
  out += digits == 2 ? 'x' : 'u';
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kHex[(cp >> shift) & 0xF];
}

// Appends `text` bare, or as a double-quoted YAML string.
void append_scalar(std::string& out, std::string_view text, bool quoted) {
  if (quoted) out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const Char c = char_at(text, i);
    if (!c.valid) {
      append_utf8(out, kReplacement);
    } else if (quoted && (c.cp == '\\' || c.cp == '"')) {
      out += '\\';
      out += static_cast<char>(c.cp);
    } else if (quoted && is_escaped_char(c.cp)) {
      append_hex_escape(out, c.cp);
    } else {
      out.append(text.substr(i, c.len));
    }
    i += c.len;
  }
  if (quoted) out += '"';
}

}  // namespace

void append_front_matter_entry(std::string& out, std::string_view key, std::string_view value) {
  const std::size_t start = out.size();
  append_scalar(out, key, key_needs_quotes(key));
  if (out.size() - start > kSimpleKeyLimit) {
    out.insert(start, "? ");
    out += '\n';
  }
  out += ": ";
  append_scalar(out, value, value_needs_quotes(value));
  out += '\n';
}

void append_front_matter(std::string& out, const HeadMetadataMap& entries) {
  if (entries.empty()) return;
  out.append("---\n");
  for (const auto& [key, value] : entries) append_front_matter_entry(out, key, value);
  out.append("---\n");
}

}  // namespace tidewell
