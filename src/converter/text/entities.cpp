#include "converter/text/entities.hpp"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "common/utf8.hpp"

namespace tidewell {
namespace {

struct EntityEntry {
  const char* name;
  std::size_t name_len;
  const char* value;
  std::size_t value_len;
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

bool is_alnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Tries to decode the reference starting at text[i] == '&'. On success
// appends the replacement and returns the number of bytes consumed.
std::size_t decode_one(std::string_view text, std::size_t i, std::string& out) {
  const std::size_t n = text.size();
  std::size_t j = i + 1;
  if (j >= n) return 0;
  if (text[j] == '#') {
    ++j;
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
      if (c >= '0' && c <= '9') d = c - '0';
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
  // Named: the longest run of alphanumerics must be followed by ';'.
  while (j < n && j - i - 1 <= kEntityMaxNameLength && is_alnum(static_cast<unsigned char>(text[j]))) ++j;
  if (j >= n || text[j] != ';' || j == i + 1) return 0;
  const EntityEntry* e = find_entity(text.substr(i + 1, j - i - 1));
  if (!e) return 0;
  out.append(e->value, e->value_len);
  return j + 1 - i;
}

}  // namespace

void decode_html_entities_into(std::string_view text, std::string& out) {
  std::size_t copied = 0;
  std::size_t pos = 0;
  while (true) {
    const void* hit = pos < text.size() ? std::memchr(text.data() + pos, '&', text.size() - pos) : nullptr;
    if (!hit) break;
    const std::size_t amp = static_cast<const char*>(hit) - text.data();
    out.append(text.data() + copied, amp - copied);
    const std::size_t used = decode_one(text, amp, out);
    if (used == 0) {
      out.push_back('&');
      copied = pos = amp + 1;
    } else {
      copied = pos = amp + used;
    }
  }
  out.append(text.data() + copied, text.size() - copied);
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
