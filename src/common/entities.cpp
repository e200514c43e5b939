#include "common/entities.hpp"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "common/ascii.hpp"
#include "common/utf8.hpp"

namespace tidewell {
namespace {

// Flags of a table entry.
constexpr unsigned char kRefLegacy = 1;  // read by the streaming converter
constexpr unsigned char kRefBare = 2;    // also stands without ';'

struct EntityEntry {
  const char* name;
  std::size_t name_len;
  const char* value;
  std::size_t value_len;
  unsigned char flags;
};

#include "entity_table.inc"

// windows-1252 meanings of the C1 controls, as the HTML standard maps
// numeric references in 0x80..0x9F; 0 keeps the code point.
constexpr char32_t kC1Map[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

const EntityEntry* find_entity(std::string_view name) {
  const EntityEntry* begin = kEntityTable;
  const EntityEntry* end = kEntityTable + sizeof(kEntityTable) / sizeof(kEntityTable[0]);
  const EntityEntry* it = std::lower_bound(begin, end, name, [](const EntityEntry& e, std::string_view n) {
    return std::string_view(e.name, e.name_len) < n;
  });
  if (it != end && std::string_view(it->name, it->name_len) == name) return it;
  return nullptr;
}

bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

// Decodes the numeric reference at text[i] == '&', text[i + 1] == '#'. On
// success appends the character and returns the bytes consumed, else 0.
std::size_t decode_numeric(std::string_view text, std::size_t i, std::string& out) {
  const std::size_t n = text.size();
  std::size_t j = i + 2;
  bool hex = false;
  if (j < n && (text[j] == 'x' || text[j] == 'X')) {
    hex = true;
    ++j;
  }
  const std::size_t digits_start = j;
  char32_t value = 0;
  bool overflow = false;
  while (j < n) {
    unsigned char c = static_cast<unsigned char>(text[j]);
    unsigned d;
    if (is_digit(c)) d = c - '0';
    else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else break;
    if (!overflow) {
      value = value * (hex ? 16 : 10) + d;
      if (value > 0x10FFFF) overflow = true;
    }
    ++j;
  }
  if (j == digits_start) return 0;
  if (j < n && text[j] == ';') ++j;
  char32_t cp = value;
  if (overflow || cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    cp = 0xFFFD;
  } else if (cp >= 0x80 && cp <= 0x9F && kC1Map[cp - 0x80] != 0) {
    cp = kC1Map[cp - 0x80];
  }
  append_utf8(out, cp);
  return j - i;
}

// Tries to decode the reference starting at text[i] == '&'. On success
// appends the replacement and returns the number of bytes consumed.
std::size_t decode_one(std::string_view text, std::size_t i, std::string& out) {
  const std::size_t n = text.size();
  std::size_t j = i + 1;
  if (j >= n) return 0;
  if (text[j] == '#') return decode_numeric(text, i, out);
  // Named: the longest run of alphanumerics must be followed by ';'.
  while (j < n && j - i - 1 <= kEntityMaxNameLength && is_ascii_alnum(text[j])) ++j;
  if (j >= n || text[j] != ';' || j == i + 1) return 0;
  const EntityEntry* e = find_entity(text.substr(i + 1, j - i - 1));
  if (!e) return 0;
  out.append(e->value, e->value_len);
  return j + 1 - i;
}

// The longest name of the streaming converter's set ("thetasym"), and the
// longest of those that also stand without ';'.
constexpr std::size_t kLegacyNameMax = 8;
constexpr std::size_t kLegacyBareNameMax = 6;

// True when what follows a decoded '&' would make "&" + rest read as a
// reference again: "#digits;", "#xhex;" or "alnum;".
bool reads_as_reference(std::string_view rest) {
  std::size_t j = 0;
  const std::size_t n = rest.size();
  if (j < n && rest[j] == '#') {
    ++j;
    bool hex = false;
    if (j < n && (rest[j] == 'x' || rest[j] == 'X')) {
      hex = true;
      ++j;
    }
    const std::size_t start = j;
    while (j < n && (hex ? is_ascii_hex_digit(rest[j]) : is_digit(static_cast<unsigned char>(rest[j])))) ++j;
    return j > start && j < n && rest[j] == ';';
  }
  while (j < n && is_ascii_alnum(rest[j])) ++j;
  return j > 0 && j < n && rest[j] == ';';
}

// Appends one decoded value; a lone "&" becomes "\&" when the text after the
// reference would otherwise join it into a new reference.
void push_legacy_value(std::string_view value, std::string_view rest, bool escape_ampersand, std::string& out) {
  if (escape_ampersand && value == "&" && reads_as_reference(rest)) out.push_back('\\');
  out.append(value);
}

// The streaming converter's reading of the reference at text[i] == '&'.
std::size_t decode_legacy_one(std::string_view text, std::size_t i, bool in_attribute, bool escape_ampersand,
                              std::string& out) {
  const std::size_t n = text.size();
  if (i + 2 < n && text[i + 1] == '#') {
    const std::size_t before = out.size();
    const std::size_t used = decode_numeric(text, i, out);
    if (used != 0 && escape_ampersand && out.size() == before + 1 && out.back() == '&' &&
        reads_as_reference(text.substr(i + used))) {
      out.insert(before, 1, '\\');
    }
    return used;
  }
  std::size_t run = 0;
  while (i + 1 + run < n && run < kLegacyNameMax && is_ascii_alnum(text[i + 1 + run])) ++run;
  if (run == 0) return 0;
  const std::string_view name = text.substr(i + 1, run);
  if (i + 1 + run < n && text[i + 1 + run] == ';') {
    const EntityEntry* e = find_entity(name);
    if (e && (e->flags & kRefLegacy)) {
      const std::size_t used = run + 2;
      push_legacy_value(std::string_view(e->value, e->value_len), text.substr(i + used), escape_ampersand, out);
      return used;
    }
  }
  for (std::size_t len = std::min(run, kLegacyBareNameMax); len > 0; --len) {
    const EntityEntry* e = find_entity(name.substr(0, len));
    if (!e || (e->flags & (kRefLegacy | kRefBare)) != (kRefLegacy | kRefBare)) continue;
    const std::size_t end = i + 1 + len;
    if (in_attribute && end < n) {
      const char next = text[end];
      if (next == '=' || is_ascii_alnum(next)) continue;
    }
    push_legacy_value(std::string_view(e->value, e->value_len), text.substr(end), escape_ampersand, out);
    return len + 1;
  }
  return 0;
}

}  // namespace

std::size_t read_character_reference(std::string_view text, bool in_attribute, std::string& out) {
  const std::size_t n = text.size();
  if (n < 2) return 0;
  if (text[1] == '#') return decode_numeric(text, 0, out);
  std::size_t j = 1;
  while (j < n && j - 1 <= kEntityMaxNameLength && is_ascii_alnum(text[j])) ++j;
  const std::size_t run = j - 1;
  if (run == 0) return 0;
  if (j < n && text[j] == ';' && run <= kEntityMaxNameLength) {
    if (const EntityEntry* e = find_entity(text.substr(1, run))) {
      out.append(e->value, e->value_len);
      return j + 1;
    }
  }
  // The longest prefix that is a name standing without its ';'.
  for (std::size_t len = std::min(run, kEntityMaxBareLength); len >= 2; --len) {
    const EntityEntry* e = find_entity(text.substr(1, len));
    if (e == nullptr || !(e->flags & kRefBare)) continue;
    const std::size_t end = 1 + len;
    // In an attribute value "&amp=" and "&ampx" stay as written (query strings).
    if (in_attribute && end < n && (text[end] == '=' || is_ascii_alnum(text[end]))) {
      return 0;
    }
    out.append(e->value, e->value_len);
    return end;
  }
  return 0;
}

namespace {

// Copies `text` to `out`, each '&' offered to `decode_at` (which appends the
// replacement and returns the bytes it consumed, or 0 to keep the '&').
template <class DecodeAt>
void decode_each_reference(std::string_view text, std::string& out, DecodeAt decode_at) {
  std::size_t copied = 0;
  std::size_t pos = 0;
  while (true) {
    const void* hit = pos < text.size() ? std::memchr(text.data() + pos, '&', text.size() - pos) : nullptr;
    if (!hit) break;
    const std::size_t amp = static_cast<const char*>(hit) - text.data();
    out.append(text.data() + copied, amp - copied);
    const std::size_t used = decode_at(amp);
    if (used == 0) {
      out.push_back('&');
      copied = pos = amp + 1;
    } else {
      copied = pos = amp + used;
    }
  }
  out.append(text.data() + copied, text.size() - copied);
}

}  // namespace

void decode_html_entities_into(std::string_view text, std::string& out) {
  decode_each_reference(text, out, [&](std::size_t amp) { return decode_one(text, amp, out); });
}

std::optional<std::string> decode_html_entities(std::string_view text) {
  const void* first = std::memchr(text.data(), '&', text.size());
  if (!first) return std::nullopt;
  std::string out;
  out.reserve(text.size());
  decode_html_entities_into(text, out);
  if (out.size() == text.size() && std::memcmp(out.data(), text.data(), out.size()) == 0) return std::nullopt;
  return out;
}

void decode_legacy_references_into(std::string_view text, bool in_attribute, bool escape_ampersand,
                                   std::string& out) {
  decode_each_reference(text, out, [&](std::size_t amp) {
    return decode_legacy_one(text, amp, in_attribute, escape_ampersand, out);
  });
}

std::string_view text_node_content(std::string_view bytes, std::string& holder) {
  std::string_view text = bytes;
  if (auto repaired = utf8_lossy_owned(text)) {
    holder = std::move(*repaired);
    text = holder;
  }
  if (text.find('&') != std::string_view::npos) {
    if (auto decoded = decode_html_entities(text)) {
      holder = std::move(*decoded);
      text = holder;
    }
  }
  return text;
}

std::size_t decode_html_entity_at(std::string_view text, std::size_t amp, std::string& out) {
  if (amp >= text.size() || text[amp] != '&') return 0;
  return decode_one(text, amp, out);
}

std::string attribute_text(std::string_view bytes) {
  std::string holder;
  const std::string_view text = text_node_content(bytes, holder);
  if (text.data() == holder.data()) return holder;
  return std::string(text);
}

}  // namespace tidewell
