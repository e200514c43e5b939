#include "converter/text/processing.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/ascii.hpp"
#include "common/char_sides.hpp"
#include "common/entities.hpp"
#include "common/scan.hpp"
#include "common/unicode_space.hpp"

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

// kTag, kReference, kBackslash: page text's '<', '&' and '\\', escaped
// where they would be read as markup (see EscapeMode::PageText); kAutolink:
// djot's '<', which opens no tag, only an autolink.
enum : std::uint8_t { kKeep = 0, kEscape = 1, kAfterDigit = 2, kTag = 3, kReference = 4, kBackslash = 5, kAutolink = 6 };

using EscapeClass = std::array<std::uint8_t, 256>;

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
  for (int b = 0; b < 256; ++b) tables[8][b] = is_ascii_punct(static_cast<unsigned char>(b)) ? kEscape : kKeep;
  return tables;
}
constexpr std::array<EscapeClass, 9> kEscapeTables = make_escape_tables();

// The tables for page text: the same, with the markup checks where a table
// keeps '<', '&' or '\\' as they are.
constexpr std::array<EscapeClass, 9> make_page_tables() {
  std::array<EscapeClass, 9> tables = kEscapeTables;
  for (EscapeClass& t : tables) {
    if (t['<'] == kKeep) t['<'] = kTag;
    if (t['&'] == kKeep) t['&'] = kReference;
    if (t['\\'] == kKeep) t['\\'] = kBackslash;
  }
  return tables;
}
constexpr std::array<EscapeClass, 9> kPageTables = make_page_tables();

constexpr std::array<EscapeClass, 9> make_djot_page_tables() {
  std::array<EscapeClass, 9> tables = kPageTables;
  for (EscapeClass& t : tables) {
    if (t['<'] == kTag) t['<'] = kAutolink;
  }
  return tables;
}
constexpr std::array<EscapeClass, 9> kDjotPageTables = make_djot_page_tables();

inline bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

// A '&' at `pos` that CommonMark would read as the start of a character
// reference: "&name;", "&#digits;" or "&#xhex;".
bool starts_character_reference(std::string_view text, std::size_t pos) {
  std::size_t i = pos + 1;
  const auto at = [&](std::size_t k) { return k < text.size() ? text[k] : '\0'; };
  std::size_t n = 0;
  if (at(i) == '#') {
    ++i;
    if (at(i) == 'x' || at(i) == 'X') {
      ++i;
      while (n < 6 && is_ascii_hex_digit(at(i + n))) ++n;
    } else {
      while (n < 7 && is_digit(at(i + n))) ++n;
    }
  } else {
    while (n < 32 && is_ascii_alnum(at(i + n))) ++n;
  }
  return n > 0 && at(i + n) == ';';
}

// A '&' at `pos` that CommonMark decodes: a numeric reference, or a named
// one whose name (with its ';') is in the table of character names.
bool starts_decoded_reference(std::string_view text, std::size_t pos) {
  if (!starts_character_reference(text, pos)) return false;
  if (pos + 1 < text.size() && text[pos + 1] == '#') return true;
  std::string value;
  const std::size_t taken = read_character_reference(text.substr(pos), false, value);
  return taken != 0 && text[pos + taken - 1] == ';';
}

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

// The escape table for a flag combination, or nullptr when no flag is set
// and `page` is not. `page`: the table with the checks for page text (of
// djot output when `djot`).
const EscapeClass* escape_table(bool escape_misc, bool escape_asterisks, bool escape_underscores, bool escape_ascii,
                                bool page, bool djot) {
  const int index =
      escape_ascii ? 8 : (escape_misc ? 1 : 0) | (escape_asterisks ? 2 : 0) | (escape_underscores ? 4 : 0);
  if (page) return &(djot ? kDjotPageTables : kPageTables)[static_cast<std::size_t>(index)];
  return index == 0 ? nullptr : &kEscapeTables[static_cast<std::size_t>(index)];
}

// The text holds a byte that page text may need escaped: most texts hold
// none, and take the plain tables.
bool holds_markup_byte(std::string_view text) {
  return scan::find_byte(text, '<', 0) != scan::npos || scan::find_byte(text, '&', 0) != scan::npos ||
         scan::find_byte(text, '\\', 0) != scan::npos;
}

// A '<' followed by this reads as the start of a tag, comment, declaration,
// processing instruction or autolink.
inline bool opens_tag(unsigned char c) { return scan::is_letter(c) || c == '/' || c == '!' || c == '?'; }

// A '<' before [p, end) opens a djot autolink ("<scheme:...>" or
// "<name@host>"), or may where the text ends first. Stops at the next '<',
// so the scans of a text's '<'s never overlap.
bool opens_autolink(const unsigned char* p, const unsigned char* end) {
  if (p == end || !scan::is_letter(*p)) return false;
  bool marked = false;
  for (; p < end; ++p) {
    if (*p == '>') return marked;
    if (*p == '<' || *p <= ' ') return false;
    if (*p == ':' || *p == '@') marked = true;
  }
  return true;
}

inline bool needs_escape(const EscapeClass& cls, std::string_view text, const unsigned char* p) {
  const auto* const begin = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = begin + text.size();
  switch (cls[*p]) {
    case kEscape:
      return true;
    case kAfterDigit:
      return p > begin && is_digit(p[-1]);
    case kTag:
      return p + 1 < end && opens_tag(p[1]);
    case kAutolink:
      return opens_autolink(p + 1, end);
    case kReference:
      return starts_decoded_reference(text, static_cast<std::size_t>(p - begin));
    case kBackslash:
      // What follows may be punctuation or a line break: at the end too.
      return p + 1 == end || is_ascii_punct(p[1]) || p[1] == '\n' || p[1] == '\r';
    default:
      return false;
  }
}

// Offset of the first character to escape, or the text's length.
std::size_t first_escape(const EscapeClass& cls, std::string_view text) {
  const auto* const begin = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = begin + text.size();
  const unsigned char* p = begin;
  while (p < end && !needs_escape(cls, text, p)) ++p;
  return static_cast<std::size_t>(p - begin);
}

// Appends `text` to `out` with a backslash before every character to escape
// from offset `from` on (nothing before it needs one).
void append_escaped(const EscapeClass& cls, std::string_view text, std::size_t from, std::string& out) {
  const auto* const begin = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = begin + text.size();
  const unsigned char* run = begin;
  for (const unsigned char* p = begin + from; p < end; ++p) {
    if (!needs_escape(cls, text, p)) continue;
    out.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
    out.push_back('\\');
    run = p;  // the character itself starts the next run
  }
  out.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(end - run));
}

}  // namespace

bool is_escaped_at(std::string_view out, std::size_t pos) {
  std::size_t backslashes = 0;
  while (pos > backslashes && out[pos - backslashes - 1] == '\\') ++backslashes;
  return backslashes % 2 == 1;
}

namespace {

// A backslash before every '~' of out[from..] that none escapes, in one
// pass: counted first, then moved back from the end.
void escape_every_tilde(std::string& out, std::size_t from) {
  std::size_t count = 0;
  for (std::size_t at = out.find('~', from); at != std::string::npos; at = out.find('~', at + 1)) {
    if (!is_escaped_at(out, at)) ++count;
  }
  if (count == 0) return;
  std::size_t read = out.size();
  out.resize(out.size() + count);
  std::size_t write = out.size();
  // The bytes before `read` are still those counted.
  while (count > 0) {
    const char c = out[--read];
    out[--write] = c;
    if (c == '~' && !is_escaped_at(out, read)) {
      out[--write] = '\\';
      --count;
    }
  }
}

// Page text's inline markup (see escape_inline_markup), where the escape
// options have not escaped it already.
void escape_page_markup(std::string& out, std::size_t from, const ConversionOptions& o, TextNeighbours around) {
  const bool djot = o.output_format == OutputFormat::Djot;
  escape_inline_markup(out, from, around.before, around.after, djot);
  if (around.struck && !djot) escape_every_tilde(out, from);
}

const EscapeClass* text_table(const ConversionOptions& o, bool force_emphasis, bool page = false) {
  return escape_table(o.escape_misc, force_emphasis || o.escape_asterisks, force_emphasis || o.escape_underscores,
                      o.escape_ascii, page, o.output_format == OutputFormat::Djot);
}

// The table for `text` in `mode` (Text or PageText).
const EscapeClass* running_text_table(std::string_view text, EscapeMode mode, const ConversionOptions& o) {
  return text_table(o, false, mode == EscapeMode::PageText && holds_markup_byte(text));
}

void escape_table_cell(std::string_view text, const ConversionOptions& o, bool page, std::string& out,
                       TextNeighbours around) {
  const std::size_t start = out.size();
  // The page's own text escapes '*' and '_' as in a paragraph: only where
  // they could be read as emphasis.
  if (const EscapeClass* cls = text_table(o, !page, page && holds_markup_byte(text))) {
    append_escaped(*cls, text, 0, out);
  } else {
    out.append(text);
  }
  if (page) escape_page_markup(out, start, o, around);
  // The ASCII rule already escapes "|"; escaping it again would leave a
  // bare "|" after an escaped backslash and split the row.
  if (o.escape_misc || o.escape_ascii) return;
  if (std::memchr(out.data() + start, '|', out.size() - start) == nullptr) return;
  std::string cell = out.substr(start);
  out.resize(start);
  for (char c : cell) {
    if (c == '|') out += '\\';
    out += c;
  }
}

// The backtick runs of a text, for finding where a code span that one
// opens ends: the run after it of the same length. One pass over the text,
// and a search per run among the runs of its length.
class BacktickRuns {
 public:
  explicit BacktickRuns(std::string_view text) : text_(text) {
    for (std::size_t i = text.find('`'); i != std::string_view::npos; i = text.find('`', i)) {
      const std::size_t end = std::min(text.find_first_not_of('`', i), text.size());
      by_length_[end - i].push_back(end);
      i = end;
    }
  }

  // The end of the code span opened by the backticks from `i` to the end of
  // their run; npos when no run of that length closes it.
  std::size_t span_end(std::size_t i) const {
    const std::size_t run_end = std::min(text_.find_first_not_of('`', i), text_.size());
    const auto found = by_length_.find(run_end - i);
    if (found == by_length_.end()) return std::string_view::npos;
    const std::vector<std::size_t>& ends = found->second;
    const auto next = std::upper_bound(ends.begin(), ends.end(), run_end + (run_end - i) - 1);
    return next == ends.end() ? std::string_view::npos : *next;
  }

  // Where the text after the backticks from `i` goes on: past the code
  // span they open, or past their run when they open none.
  std::size_t skip(std::size_t i) const {
    const std::size_t end = span_end(i);
    return end != std::string_view::npos ? end : std::min(text_.find_first_not_of('`', i), text_.size());
  }

 private:
  std::string_view text_;
  std::unordered_map<std::size_t, std::vector<std::size_t>> by_length_;  // run ends by run length
};

void escape_link_text(std::string_view text, std::string& out) {
  // Most labels hold no bracket, backslash or code.
  bool plain = true;
  for (const char c : text) {
    if (c == '[' || c == ']' || c == '\\' || c == '`') {
      plain = false;
      break;
    }
  }
  if (plain) {
    out.append(text);
    return;
  }
  // Brackets that pair up stay as they are; every other one gets a
  // backslash. A bracket after an odd number of backslashes is escaped
  // already. Unpaired '[' are known only at the end, so they are found first.
  // A code span binds before the brackets: it is copied as it stands.
  std::vector<std::size_t> open;  // positions of '[' not paired yet
  std::vector<std::size_t> unpaired_open;
  std::optional<BacktickRuns> code;
  if (text.find('`') != std::string_view::npos) code.emplace(text);
  std::size_t backslashes = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool escaped = backslashes % 2 == 1;
    backslashes = c == '\\' ? backslashes + 1 : 0;
    if (escaped) continue;
    if (c == '`') {
      i = code->skip(i) - 1;
      continue;
    }
    if (c == '[') {
      open.push_back(i);
    } else if (c == ']' && !open.empty()) {
      open.pop_back();
    }
  }
  unpaired_open = std::move(open);
  std::size_t next_unpaired = 0;
  std::size_t depth = 0;
  backslashes = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool escaped = backslashes % 2 == 1;
    backslashes = c == '\\' ? backslashes + 1 : 0;
    if (!escaped && c == '`') {
      const std::size_t next = code->skip(i);
      out.append(text.substr(i, next - i));
      i = next - 1;
      continue;
    }
    if (!escaped && c == '[') {
      if (next_unpaired < unpaired_open.size() && unpaired_open[next_unpaired] == i) {
        ++next_unpaired;
        out += '\\';
      } else {
        ++depth;
      }
    } else if (!escaped && c == ']') {
      if (depth == 0) {
        out += '\\';
      } else {
        --depth;
      }
    }
    out += c;
  }
  if (backslashes % 2 == 1) out += '\\';
}

// ---------------------------------------------------------------------------
// Link destinations and titles

constexpr char kHexDigits[] = "0123456789ABCDEF";

inline void append_percent_byte(unsigned char c, std::string& out) {
  out += '%';
  out += kHexDigits[c >> 4];
  out += kHexDigits[c & 15];
}

// RFC 3986's unreserved and reserved characters.
constexpr std::array<bool, 256> make_url_characters() {
  std::array<bool, 256> t{};
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = true;
  for (int c = 'a'; c <= 'z'; ++c) t[c] = true;
  for (int c = '0'; c <= '9'; ++c) t[c] = true;
  for (unsigned char c : {'-', '.', '_', '~', ':', '/', '?', '#', '[', ']', '@', '!', '$', '&', '\'', '(', ')', '*',
                          '+', ',', ';', '='}) {
    t[c] = true;
  }
  return t;
}
constexpr std::array<bool, 256> kUrlCharacters = make_url_characters();

inline bool is_c0_or_space(unsigned char c) { return c <= 0x20; }
inline bool is_tab_or_line_break(unsigned char c) { return c == '\t' || c == '\n' || c == '\r'; }

inline bool is_ascii_punct_at(std::string_view text, std::size_t pos) {
  return pos < text.size() && is_ascii_punct(static_cast<unsigned char>(text[pos]));
}

// Appends a character of a destination or title that CommonMark would
// otherwise read as something else: a backslash before ASCII punctuation or
// at the end (an escape) twice, a '&' that starts a character reference as
// "&amp;". Returns false for any other character, which the caller writes.
bool append_literal_escape(std::string_view text, std::size_t pos, std::string& out) {
  const char c = text[pos];
  if (c == '\\' && (pos + 1 == text.size() || is_ascii_punct_at(text, pos + 1))) {
    out += "\\\\";
    return true;
  }
  if (c == '&' && starts_character_reference(text, pos)) {
    out += "&amp;";
    return true;
  }
  return false;
}

// Parentheses nest in pairs (and not deeper than CommonMark readers follow),
// so the bare form may keep them.
bool parentheses_nest(std::string_view url) {
  std::size_t depth = 0;
  for (char c : url) {
    if (c == '(') {
      if (++depth > 32) return false;
    } else if (c == ')') {
      if (depth == 0) return false;
      --depth;
    }
  }
  return depth == 0;
}

// The destination as a browser reads the attribute: leading and trailing
// C0 controls and spaces dropped, tabs and line breaks removed, the other
// controls percent-encoded.
std::string_view clean_destination(std::string_view url, std::string& holder) {
  std::size_t begin = 0, end = url.size();
  while (begin < end && is_c0_or_space(static_cast<unsigned char>(url[begin]))) ++begin;
  while (end > begin && is_c0_or_space(static_cast<unsigned char>(url[end - 1]))) --end;
  url = url.substr(begin, end - begin);
  bool clean = true;
  for (char ch : url) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) {
      clean = false;
      break;
    }
  }
  if (clean) return url;
  holder.clear();
  holder.reserve(url.size() + 8);
  for (char ch : url) {
    const auto c = static_cast<unsigned char>(ch);
    if (is_tab_or_line_break(c)) continue;
    if (c < 0x20 || c == 0x7F) {
      append_percent_byte(c, holder);
    } else {
      holder += ch;
    }
  }
  return holder;
}

void escape_url(std::string_view url, const ConversionOptions& o, std::string& out) {
  append_link_destination(url, o.url_escape_style == UrlEscapeStyle::Percent, out);
}

}  // namespace

std::optional<std::string> encode_reference_ampersands(std::string_view text) {
  std::size_t i = text.find('&');
  while (i != std::string_view::npos && !starts_character_reference(text, i)) i = text.find('&', i + 1);
  if (i == std::string_view::npos) return std::nullopt;
  std::string out;
  out.reserve(text.size() + 8);
  out.append(text.substr(0, i));
  for (; i < text.size(); ++i) {
    if (text[i] == '&' && starts_character_reference(text, i)) {
      out += "&amp;";
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string percent_encode_url(std::string_view url) {
  std::string out;
  out.reserve(2 * url.size());
  for (std::size_t i = 0; i < url.size(); ++i) {
    const auto c = static_cast<unsigned char>(url[i]);
    const bool escape_start = c == '%' && i + 2 < url.size() && is_ascii_hex_digit(url[i + 1]) &&
                              is_ascii_hex_digit(url[i + 2]);
    if (kUrlCharacters[c] || escape_start) {
      out += static_cast<char>(c);
    } else {
      append_percent_byte(c, out);
    }
  }
  return out;
}

// Nothing in the URL needs cleaning, encoding or escaping in the bare form.
bool is_plain_destination(std::string_view url) {
  if (url.empty() || url.front() == '<') return false;
  for (const char ch : url) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7F || c == '(' || c == ')' || c == '\\' || c == '&') return false;
  }
  return true;
}

void append_link_destination(std::string_view url, bool percent_encode, std::string& out) {
  if (!percent_encode && is_plain_destination(url)) {
    out += url;
    return;
  }
  std::string holder;
  url = clean_destination(url, holder);
  if (url.empty()) {
    out += "<>";
    return;
  }
  std::string encoded;
  if (percent_encode) {
    encoded = percent_encode_url(url);
    url = encoded;
  }
  if (url.find(' ') != std::string_view::npos || url.front() == '<') {
    out += '<';
    for (std::size_t i = 0; i < url.size(); ++i) {
      if (append_literal_escape(url, i, out)) continue;
      if (url[i] == '<' || url[i] == '>') out += '\\';
      out += url[i];
    }
    out += '>';
    return;
  }
  const bool escape_parentheses = !parentheses_nest(url);
  for (std::size_t i = 0; i < url.size(); ++i) {
    if (append_literal_escape(url, i, out)) continue;
    if (escape_parentheses && (url[i] == '(' || url[i] == ')')) out += '\\';
    out += url[i];
  }
}

void append_link_title(std::string_view title, std::string& out) {
  for (std::size_t i = 0; i < title.size(); ++i) {
    if (append_literal_escape(title, i, out)) continue;
    switch (title[i]) {
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        out += title[i];
    }
  }
}

namespace {

// ---------------------------------------------------------------------------
// Inline markup in page text

// Bytes that may take part in inline markup (bit 0: CommonMark and GFM,
// bit 1: djot).
constexpr std::array<std::uint8_t, 256> make_inline_markup_bytes() {
  std::array<std::uint8_t, 256> t{};
  for (unsigned char c : {'*', '_', '`', '~', '[', ']'}) t[c] = 3;
  t['^'] = t['{'] = 2;
  return t;
}
constexpr std::array<std::uint8_t, 256> kInlineMarkupBytes = make_inline_markup_bytes();

#if defined(__SSE2__)
// A bit for each of the 16 bytes at `p` that may take part in inline
// markup: '*', '~', '{' and '[' to '`'; with `page`, '<' and '&' too.
inline unsigned markup_block_mask(const char* p, bool page) {
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i range = _mm_and_si128(_mm_cmpgt_epi8(block, _mm_set1_epi8('[' - 1)),
                                      _mm_cmplt_epi8(block, _mm_set1_epi8('`' + 1)));
  __m128i single = _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('*')),
                                _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('~')),
                                             _mm_cmpeq_epi8(block, _mm_set1_epi8('{'))));
  if (page) {
    single = _mm_or_si128(single, _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('<')),
                                               _mm_cmpeq_epi8(block, _mm_set1_epi8('&'))));
  }
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(range, single)));
}
#endif

// The first byte at or after `from` that kInlineMarkupBytes marks with
// `want`, or the text's length. Most text holds none: blocks of 16 bytes
// are passed over at once (see markup_block_mask).
std::size_t find_inline_markup_byte(std::string_view t, std::size_t from, std::uint8_t want) {
  const std::size_t n = t.size();
  std::size_t i = from;
#if defined(__SSE2__)
  const char* const data = t.data();
  while (i + 16 <= n) {
    const unsigned mask = markup_block_mask(data + i, false);
    if (mask == 0) {
      i += 16;
      continue;
    }
    const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(mask));
    if ((kInlineMarkupBytes[static_cast<unsigned char>(data[at])] & want) != 0) return at;
    i = at + 1;
  }
#endif
  while (i < n && (kInlineMarkupBytes[static_cast<unsigned char>(t[i])] & want) == 0) ++i;
  return i;
}

std::uint8_t side_of_neighbour(int c) {
  if (c == kUnknownNeighbour) return kAnySide;
  return side_of_code_point(static_cast<unsigned char>(c));
}

// The side of the character that ends at `pos` in `text`; `fallback` at 0.
std::uint8_t side_before(std::string_view text, std::size_t pos, int fallback) {
  return pos == 0 ? side_of_neighbour(fallback) : side_of_char_before(text, pos);
}

// The side of the character that starts at `pos` in `text`; `fallback` at
// its end.
std::uint8_t side_at(std::string_view text, std::size_t pos, int fallback) {
  return pos >= text.size() ? side_of_neighbour(fallback) : side_of_char_at(text, pos);
}

// Whether a delimiter run of `c` between neighbours of these sides may
// open or close, by CommonMark's flanking rules (djot's: open unless white
// space follows, close unless white space precedes), for any pair of the
// possible neighbours.
struct RunReach {
  bool open = false;
  bool close = false;
};

RunReach delimiter_reach(char c, std::uint8_t before, std::uint8_t after, bool djot) {
  RunReach reach;
  for (std::uint8_t b = 1; b <= 4; b <<= 1) {
    if ((before & b) == 0) continue;
    for (std::uint8_t a = 1; a <= 4; a <<= 1) {
      if ((after & a) == 0) continue;
      if (djot) {
        reach.open |= a != kSpaceSide;
        reach.close |= b != kSpaceSide;
        continue;
      }
      const bool left = left_flanking(b, a);
      const bool right = left_flanking(a, b);
      if (c == '_') {
        reach.open |= left && (!right || b == kPunctSide);
        reach.close |= right && (!left || a == kPunctSide);
      } else {
        reach.open |= left;
        reach.close |= right;
      }
    }
  }
  return reach;
}

// A '{' followed by this starts a djot attribute set or a braced inline
// ("{-", "{+", "{=", "{_", "{*", "{~", "{^").
bool opens_djot_brace(int next) {
  if (next == kUnknownNeighbour) return true;
  const auto c = static_cast<unsigned char>(next);
  return is_ascii_alnum(static_cast<char>(c)) || (c != '{' && c != '}' && is_ascii_punct(c) && c != '\\');
}

}  // namespace

bool letter_or_digit_at(std::string_view text, std::size_t pos) {
  return pos < text.size() && side_at(text, pos, kUnknownNeighbour) == kWordSide;
}

bool letter_or_digit_before(std::string_view text, std::size_t pos) {
  return pos > 0 && side_before(text, pos, kUnknownNeighbour) == kWordSide;
}

namespace {

// The text holds a byte that page text may need escaped for ('<', '&',
// '\\') or that escape_inline_markup looks at, in either format: one pass,
// 16 bytes at a time. Most texts hold none and are copied as they stand.
bool holds_page_markup_byte(std::string_view t) {
  const std::size_t n = t.size();
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= n; i += 16) {
    if (markup_block_mask(t.data() + i, true) != 0) return true;
  }
#endif
  for (; i < n; ++i) {
    const char c = t[i];
    if ((c >= '[' && c <= '`') || c == '*' || c == '~' || c == '{' || c == '<' || c == '&') return true;
  }
  return false;
}

}  // namespace

bool holds_inline_markup_byte(std::string_view text, bool djot) {
  return find_inline_markup_byte(text, 0, djot ? 2 : 1) != text.size();
}

namespace {

// Some '[' that no backslash escapes and no ']' closes stands in the
// paragraph before `end`. The look goes back 1 KB at most, and beyond that
// answers yes: the caller then escapes a ']', which is right either way.
bool opens_bracket_before(std::string_view text, std::size_t end) {
  constexpr std::size_t kReach = 1024;
  std::size_t closed = 0;
  for (std::size_t i = end; i > 0; --i) {
    if (end - i >= kReach) return true;
    const char c = text[i - 1];
    if (c == '\n' && i >= 2 && text[i - 2] == '\n') return false;
    if ((c != '[' && c != ']') || is_escaped_at(text, i - 1)) continue;
    if (c == ']') {
      ++closed;
    } else if (closed == 0) {
      return true;
    } else {
      --closed;
    }
  }
  return false;
}

}  // namespace

void escape_inline_markup(std::string& out, std::size_t from, int before, int after, bool djot) {
  const std::uint8_t want = djot ? 2 : 1;
  const std::size_t first = find_inline_markup_byte(out, from, want);
  if (first == out.size()) return;

  const std::string_view text(out);
  const std::size_t end = text.size();
  const int before_first = from == 0 ? before : kUnknownNeighbour;
  const auto next_char = [&](std::size_t pos) { return pos < end ? static_cast<int>(static_cast<unsigned char>(text[pos])) : after; };
  std::vector<std::size_t> inserts;  // positions that take a backslash
  const auto escape_run = [&](std::size_t pos, std::size_t len) {
    for (std::size_t k = pos; k < pos + len; ++k) inserts.push_back(k);
  };
  std::vector<std::size_t> brackets;  // '[' not closed yet
  std::size_t tilde_openers[2] = {0, 0};
  std::vector<std::pair<std::size_t, std::size_t>> open_double_tildes;  // runs of two and more that may open
  bool code_pairs = false;
  std::uint64_t backtick_lengths = 0;  // the lengths of the backtick runs seen, longer ones as 63
  const auto length_bit = [](std::size_t len) { return std::uint64_t{1} << std::min<std::size_t>(len, 63); };
  std::size_t backticks_from = end;  // the first backtick that no backslash escapes

  for (std::size_t i = first; i < end; ++i) {
    const char c = text[i];
    if ((kInlineMarkupBytes[static_cast<unsigned char>(c)] & want) == 0 || is_escaped_at(text, i)) continue;
    std::size_t run = i + 1;
    while (run < end && text[run] == c) ++run;
    const std::size_t len = run - i;
    // A tilde or backtick run right after one that no backslash escapes (the
    // closing marker of a strikethrough or code span) would join it. A code
    // span's content may end with a backslash, which escapes nothing.
    if (!djot && (c == '~' || c == '`') &&
        (i == 0 ? before == c
                : text[i - 1] == c && (!is_escaped_at(text, i - 1) ||
                                       (c == '`' && i == from && code_span_at_end(text.substr(0, i)))))) {
      escape_run(i, len);
      i = run - 1;
      continue;
    }
    switch (c) {
      case '*':
      case '_':
      case '^':
      case '~': {
        const std::uint8_t left = i == 0 ? side_of_neighbour(before_first) : side_before(text, i, before_first);
        const RunReach reach = delimiter_reach(c, left, side_at(text, run, after), djot);
        if (djot || c != '~') {
          if (reach.open || reach.close) escape_run(i, len);
          break;
        }
        // A strikethrough: a run of one or of two and more pairs with an
        // earlier run of its kind that may open.
        std::size_t& openers = tilde_openers[len == 1 ? 0 : 1];
        if (reach.close && openers != 0) {
          escape_run(i, len);
        } else if (reach.open) {
          ++openers;
          if (len > 1) open_double_tildes.emplace_back(i, len);
        }
        break;
      }
      case '`':
        if (backticks_from == end) backticks_from = i;
        // Two runs of one length pair (a backslash does not keep a closing
        // run from closing).
        code_pairs |= (backtick_lengths & length_bit(len)) != 0;
        backtick_lengths |= length_bit(len);
        break;
      case '[':
        for (std::size_t k = i; k < run; ++k) brackets.push_back(k);
        if (djot && next_char(run) == '^') inserts.push_back(run - 1);  // a footnote reference
        break;
      case ']':
        for (std::size_t k = i; k < run; ++k) {
          const int next = k + 1 < run ? ']' : next_char(run);
          const bool joins = next == '(' || next == '[' || (djot && next == '{');
          if (brackets.empty()) {
            if (next == '(' || next == '[') inserts.push_back(k);
          } else if (joins && (brackets.size() > 1 || opens_bracket_before(text, from))) {
            // With the innermost '[' escaped, the ']' would close one below
            // it ("[\[]()" is a link), here or in the text before: the ']'
            // itself closes nothing once escaped, and every '[' stays open.
            inserts.push_back(k);
          } else {
            if (joins) inserts.push_back(brackets.back());
            brackets.pop_back();
          }
        }
        break;
      case '{':
        if (opens_djot_brace(next_char(run))) inserts.push_back(run - 1);
        break;
      default:
        break;
    }
    i = run - 1;
  }
  // Code spans and strikethroughs cross elements: a run that pairs with
  // none in the text is left only where the text ends its block.
  if (after != '\n') {
    for (const auto& [pos, len] : open_double_tildes) escape_run(pos, len);
  }
  if (backticks_from != end && (code_pairs || djot || after != '\n')) {
    for (std::size_t i = backticks_from; i < end; ++i) {
      if (text[i] == '`' && !is_escaped_at(text, i)) inserts.push_back(i);
    }
  }
  if (inserts.empty()) return;
  std::sort(inserts.begin(), inserts.end());
  inserts.erase(std::unique(inserts.begin(), inserts.end()), inserts.end());
  std::string tail;
  tail.reserve(end - inserts.front() + inserts.size());
  std::size_t copied = inserts.front();
  for (const std::size_t at : inserts) {
    tail.append(text.substr(copied, at - copied));
    tail += '\\';
    copied = at;
  }
  tail.append(text.substr(copied));
  out.resize(inserts.front());
  out += tail;
}

void escape_markdown_into(std::string_view text, EscapeMode mode, const ConversionOptions& options,
                          std::string& out, TextNeighbours around) {
  switch (mode) {
    case EscapeMode::Text:
    case EscapeMode::PageText: {
      // Without escape options, text holding no byte of markup is itself.
      if (mode == EscapeMode::PageText && !options.escape_ascii && !options.escape_misc &&
          !options.escape_asterisks && !options.escape_underscores && !holds_page_markup_byte(text)) {
        out.append(text);
        return;
      }
      const std::size_t start = out.size();
      if (const EscapeClass* cls = running_text_table(text, mode, options)) {
        append_escaped(*cls, text, 0, out);
      } else {
        out.append(text);
      }
      if (mode == EscapeMode::PageText) escape_page_markup(out, start, options, around);
      return;
    }
    case EscapeMode::EmphasizedText: {
      if (!options.escape_ascii && !options.escape_misc && !options.escape_asterisks && !options.escape_underscores &&
          !holds_page_markup_byte(text)) {
        out.append(text);
        return;
      }
      // Djot marks emphasis with '_' and strong emphasis with '*' whatever
      // `strong_em_symbol` says: both are escaped there. Emphasis of '_' is
      // written with '*' where '_' cannot open or close (in a word): both
      // are escaped then too.
      const bool djot = options.output_format == OutputFormat::Djot;
      const bool asterisk = djot || options.strong_em_symbol == U'*' || options.strong_em_symbol == U'_';
      const bool underscore = djot || options.strong_em_symbol != U'*';
      // Page text between the markers: PageText's additions apply too.
      const std::size_t start = out.size();
      append_escaped(*escape_table(options.escape_misc, asterisk || options.escape_asterisks,
                                   underscore || options.escape_underscores, options.escape_ascii,
                                   holds_markup_byte(text), djot),
                     text, 0, out);
      escape_page_markup(out, start, options, around);
      return;
    }
    case EscapeMode::TableCell:
    case EscapeMode::PageCell:
      escape_table_cell(text, options, mode == EscapeMode::PageCell, out, around);
      return;
    case EscapeMode::LinkText:
      escape_link_text(text, out);
      return;
    case EscapeMode::Url:
      escape_url(text, options, out);
      return;
    case EscapeMode::LinkTitle:
      append_link_title(text, out);
      return;
    case EscapeMode::Code:
      out.append(text);
      return;
  }
}

bool holds_escaped_markup(std::string_view text, const ConversionOptions& options) {
  const EscapeClass* cls = running_text_table(text, EscapeMode::PageText, options);
  return cls != nullptr && first_escape(*cls, text) != text.size();
}

std::optional<std::string> escape_markdown(std::string_view text, EscapeMode mode, const ConversionOptions& options) {
  if (mode == EscapeMode::Code) return std::nullopt;
  const bool djot = options.output_format == OutputFormat::Djot;
  if (mode == EscapeMode::Text || (mode == EscapeMode::PageText && !holds_inline_markup_byte(text, djot))) {
    // The common case finds nothing to escape without copying.
    const EscapeClass* cls = running_text_table(text, mode, options);
    if (cls == nullptr || text.empty()) return std::nullopt;
    const std::size_t first = first_escape(*cls, text);
    if (first == text.size()) return std::nullopt;
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 8);
    append_escaped(*cls, text, first, out);
    return out;
  }
  std::string out;
  out.reserve(text.size() + 8);
  escape_markdown_into(text, mode, options, out);
  if (out == text) return std::nullopt;
  return out;
}

namespace {

inline bool ends_line(std::string_view text, std::size_t i) {
  return i < text.size() && (text[i] == '\n' || text[i] == '\r');
}

// A space or tab, or the end of the text or of the line: what must follow
// a bullet, an ordered marker or a heading's hashes.
inline bool is_marker_end(std::string_view text, std::size_t i) {
  return i >= text.size() || text[i] == ' ' || text[i] == '\t' || ends_line(text, i);
}

// The rest of the line from `i` holds only `c`, spaces and tabs (`spaced`),
// or only spaces and tabs (not `spaced`). `marks` counts the `c`; `open`
// tells that the text ended before the line did.
bool rest_of_line_is(std::string_view text, std::size_t i, char c, bool spaced, std::size_t& marks, bool& open) {
  for (; i < text.size() && !ends_line(text, i); ++i) {
    if (text[i] == c && spaced) {
      ++marks;
    } else if (text[i] != ' ' && text[i] != '\t') {
      return false;
    }
  }
  open = i == text.size();
  return true;
}

// The end of an ordered item's number at text[from]: digits, one letter,
// or a roman numeral in one case; npos when none stands there.
std::size_t djot_enumerator_end(std::string_view text, std::size_t from) {
  std::size_t k = from;
  while (k < text.size() && is_digit(static_cast<unsigned char>(text[k]))) ++k;
  if (k > from || from >= text.size()) return k > from ? k : std::string_view::npos;
  const char c = text[from];
  const bool lower = c >= 'a' && c <= 'z';
  if (!lower && !(c >= 'A' && c <= 'Z')) return std::string_view::npos;
  const std::string_view roman = lower ? "ivxlcdm" : "IVXLCDM";
  k = from + 1;
  if (roman.find(c) != std::string_view::npos) {
    while (k < text.size() && roman.find(text[k]) != std::string_view::npos) ++k;
  }
  return k;
}

// Djot's markers beyond Markdown's at text[i]: an ordered item's number
// with its delimiter ("a.", "iv)", "(3)") and a definition (": ", or a
// div fence ":::").
LineBlockMarker find_djot_line_marker(std::string_view text, std::size_t i) {
  if (text[i] == ':') {
    return is_marker_end(text, i + 1) || text.substr(i).starts_with(":::") ? LineBlockMarker{i, 1}
                                                                            : LineBlockMarker{};
  }
  const bool parenthesized = text[i] == '(';
  const std::size_t end = djot_enumerator_end(text, parenthesized ? i + 1 : i);
  if (end == std::string_view::npos || end >= text.size() || !is_marker_end(text, end + 1)) return {};
  if (parenthesized) return text[end] == ')' ? LineBlockMarker{i, 1} : LineBlockMarker{};
  return text[end] == '.' || text[end] == ')' ? LineBlockMarker{end, 1} : LineBlockMarker{};
}

}  // namespace

LineBlockMarker find_line_block_marker(std::string_view text, bool djot) {
  std::size_t i = 0;
  while (i < 3 && i < text.size() && text[i] == ' ') ++i;
  if (i == text.size()) return {};
  if (djot) {
    if (const LineBlockMarker marker = find_djot_line_marker(text, i)) return marker;
  }
  const char c = text[i];
  if (is_digit(static_cast<unsigned char>(c))) {
    std::size_t k = i;
    while (k < text.size() && is_digit(static_cast<unsigned char>(text[k]))) ++k;
    const bool ordered = k - i <= 9 && k < text.size() && (text[k] == '.' || text[k] == ')') && is_marker_end(text, k + 1);
    return ordered ? LineBlockMarker{k, 1} : LineBlockMarker{};
  }
  std::size_t run = i;
  while (run < text.size() && text[run] == c) ++run;
  const std::size_t n = run - i;
  const LineBlockMarker first{i, 1};
  std::size_t marks = n;
  bool open = false;
  switch (c) {
    case '>':
      return first;
    case '#':
      return n <= 6 && is_marker_end(text, run) ? first : LineBlockMarker{};
    case '+':
      return n == 1 && is_marker_end(text, run) ? first : LineBlockMarker{};
    case '`': {
      // A backtick later on the line makes it no fence (the info string of
      // a backtick fence holds none).
      const std::size_t line_end = std::min(text.find('\n', run), text.size());
      if (text.substr(run, line_end - run).find('`') != std::string_view::npos) return LineBlockMarker{};
      return n >= 3 ? LineBlockMarker{i, n} : LineBlockMarker{};
    }
    case '~':
      return n >= 3 ? LineBlockMarker{i, n} : LineBlockMarker{};
    case '=':
      return rest_of_line_is(text, run, c, false, marks, open) ? first : LineBlockMarker{};
    case '-':
      // A bullet, an underline or a rule: a line of '-', spaces and tabs
      // is always one of them.
      if (n == 1 && is_marker_end(text, run)) return first;
      return rest_of_line_is(text, run, c, true, marks, open) ? first : LineBlockMarker{};
    case '*':
    case '_':
      if (c == '*' && n == 1 && is_marker_end(text, run)) return first;
      return rest_of_line_is(text, run, c, true, marks, open) && (marks >= 3 || open) ? first : LineBlockMarker{};
    default:
      return {};
  }
}

LineBlockMarker find_reference_definition(std::string_view text) {
  std::size_t i = 0;
  while (i < 3 && i < text.size() && text[i] == ' ') ++i;
  if (i == text.size() || text[i] != '[') return {};
  constexpr std::size_t kMaxLabel = 999;
  bool blank = true;
  bool line_blank = false;  // the label's current line holds nothing yet
  for (std::size_t k = i + 1; k < text.size() && k - i <= kMaxLabel + 1; ++k) {
    const char c = text[k];
    if (c == ']') {
      const bool open = k + 1 == text.size();
      return !blank && (open || text[k + 1] == ':') ? LineBlockMarker{i, 1} : LineBlockMarker{};
    }
    if (c == '[') return {};
    if (c == '\n') {
      if (line_blank) return {};  // a blank line ends the paragraph
      line_blank = true;
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r') continue;
    blank = false;
    line_blank = false;
    if (c == '\\') ++k;  // the escaped character belongs to the label
  }
  // The label is still open where the text ends: what follows may close it.
  return text.size() - i <= kMaxLabel + 1 ? LineBlockMarker{i, 1} : LineBlockMarker{};
}

namespace {

// The '[' (or else the ']') to escape where `out` ends with a ']' that
// `next` would join to a link: its '[' when that is found within a label's
// reach and is no reference label ("[text][n]", the converter's own),
// the ']' itself when no '[' is found, another open '[' stands before it
// or a backtick stands between (the
// '[' may be inside a code span, where a backslash would show); npos
// otherwise.
std::size_t joining_link_at(std::string_view out, std::string_view next) {
  constexpr std::size_t kNone = std::string_view::npos;
  const std::size_t close = out.size() - 1;
  if (out[close] != ']' || (next.front() != '(' && next.front() != '[') || is_escaped_at(out, close)) return kNone;
  constexpr std::size_t kReach = 1000;
  std::size_t depth = 0;
  for (std::size_t k = close; k > 0 && close - k < kReach;) {
    --k;
    if (out[k] == '`') return close;
    if ((out[k] != '[' && out[k] != ']') || is_escaped_at(out, k)) continue;
    if (out[k] == ']') {
      ++depth;
    } else if (depth != 0) {
      --depth;
    } else {
      if (k > 0 && out[k - 1] == ']') return kNone;
      // With this '[' escaped an open one before it would take the ']'
      // ("[\[]()" is a link): the ']' itself is escaped then.
      return opens_bracket_before(out, k) ? close : k;
    }
  }
  return close;
}

}  // namespace

std::size_t joining_markup_at(std::string_view out, std::string_view next, bool djot) {
  constexpr std::size_t kNone = std::string_view::npos;
  if (out.empty() || next.empty()) return kNone;
  if (const std::size_t link = joining_link_at(out, next); link != kNone) return link;
  // A '!' before a link makes it an image.
  if (!djot && out.back() == '!' && next.front() == '[' && !is_escaped_at(out, out.size() - 1)) {
    return out.size() - 1;
  }
  std::size_t at = out.size() - 1;
  if (out[at] != '<') {
    // The '&' of a reference begun in `out`: a name of up to 32 characters
    // or "&#" and up to seven digits may stand before `next`.
    constexpr std::size_t kReach = 34;
    const auto in_name = [](char c) { return is_ascii_alnum(c) || c == '#'; };
    while (at > 0 && out[at] != '&' && out.size() - at < kReach && in_name(out[at])) --at;
    if (out[at] != '&') return kNone;
  }
  std::size_t backslashes = 0;
  for (std::size_t i = at; i > 0 && out[i - 1] == '\\'; --i) ++backslashes;
  if (backslashes % 2 != 0) return kNone;  // escaped already
  if (out[at] == '<') {
    const auto* const p = reinterpret_cast<const unsigned char*>(next.data());
    return (djot ? opens_autolink(p, p + next.size()) : opens_tag(*p)) ? at : kNone;
  }
  std::string joined(out.substr(at));
  joined.append(next.substr(0, 40));
  return starts_decoded_reference(joined, 0) ? at : kNone;
}

std::string_view code_span_content(std::string_view between) {
  if (between.size() >= 2 && between.front() == ' ' && between.back() == ' ' &&
      between.find_first_not_of(' ') != std::string_view::npos) {
    return between.substr(1, between.size() - 2);
  }
  return between;
}

std::optional<CodeSpanAtEnd> code_span_at_end(std::string_view out) {
  std::size_t run = out.size();
  while (run > 0 && out[run - 1] == '`') --run;
  const std::size_t len = out.size() - run;
  if (len == 0) return std::nullopt;
  for (std::size_t end = run; end > 0;) {
    const std::size_t last = out.rfind('`', end - 1);
    if (last == std::string_view::npos) return std::nullopt;
    std::size_t first = last;
    // A backtick that a backslash escapes is text before the run.
    while (first > 0 && out[first - 1] == '`' && !is_escaped_at(out, first - 1)) --first;
    // So is an escaped backtick alone: it opens nothing.
    if (first == last && is_escaped_at(out, first)) {
      end = first;
      continue;
    }
    if (last + 1 - first == len) {
      return CodeSpanAtEnd{first, code_span_content(out.substr(last + 1, run - last - 1))};
    }
    end = first;
  }
  return std::nullopt;
}

std::optional<CodeSpanAtEnd> code_span_at_end(std::string_view out, std::size_t reach) {
  const std::size_t from = out.size() > reach ? out.size() - reach : 0;
  std::optional<CodeSpanAtEnd> span = code_span_at_end(out.substr(from));
  // An opening run at the window's edge may be the end of a longer run.
  if (!span || (from > 0 && span->start == 0)) return std::nullopt;
  span->start += from;
  return span;
}

bool ends_with_code_span(std::string_view out, std::size_t reach) {
  const std::string_view text = out.substr(out.size() > reach ? out.size() - reach : 0);
  struct Run {
    std::size_t at, len, next_same, next_shorter;  // the next runs of len and of len - 1
  };
  std::vector<Run> runs;
  for (std::size_t i = text.find('`'); i != std::string_view::npos; i = text.find('`', i)) {
    const std::size_t len = std::min(text.find_first_not_of('`', i), text.size()) - i;
    runs.push_back({i, len, SIZE_MAX, SIZE_MAX});
    i += len;
  }
  std::vector<std::size_t> nearest;  // by run length: the nearest run after
  for (std::size_t k = runs.size(); k-- > 0;) {
    Run& r = runs[k];
    if (nearest.size() <= r.len) nearest.resize(r.len + 1, SIZE_MAX);
    r.next_same = nearest[r.len];
    r.next_shorter = nearest[r.len - 1];
    nearest[r.len] = k;
  }
  std::size_t outside = 0;  // where the text outside spans resumes
  for (std::size_t k = 0; k < runs.size();) {
    const Run& r = runs[k];
    std::size_t slashes = 0;
    while (r.at - slashes > outside && text[r.at - slashes - 1] == '\\') ++slashes;
    // An escaped backtick is text; the rest of its run may open a span.
    const bool escaped = slashes % 2 == 1;
    const std::size_t close = escaped ? r.next_shorter : r.next_same;
    if ((escaped && r.len == 1) || close == SIZE_MAX) {
      ++k;
      continue;
    }
    if (runs[close].at + runs[close].len == text.size()) return true;
    outside = runs[close].at + runs[close].len;
    k = close + 1;
  }
  return false;
}

std::optional<CodeSpanAtStart> code_span_at_start(std::string_view text, std::size_t reach) {
  const std::size_t fence = std::min(text.find_first_not_of('`'), text.size());
  if (fence == 0) return std::nullopt;
  const std::string_view window = text.substr(0, std::min(text.size(), reach));
  for (std::size_t at = fence; at < window.size();) {
    at = window.find_first_of("`\n", at);
    if (at == std::string_view::npos || window[at] == '\n') return std::nullopt;
    const std::size_t end = std::min(window.find_first_not_of('`', at), window.size());
    // A run cut by the window's edge may be longer.
    if (end == window.size() && window.size() < text.size()) return std::nullopt;
    if (end - at == fence) return CodeSpanAtStart{end, code_span_content(text.substr(fence, at - fence))};
    at = end;
  }
  return std::nullopt;
}

void escape_trailing_tildes(std::string& out) {
  std::size_t start = out.size();
  while (start > 0 && out[start - 1] == '~' && !is_escaped_at(out, start - 1)) --start;
  escape_every_tilde(out, start);
}

std::size_t atx_closing_run(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  std::size_t run = end;
  while (run > 0 && text[run - 1] == '#') --run;
  if (run == end) return std::string_view::npos;
  return run == 0 || text[run - 1] == ' ' || text[run - 1] == '\t' ? run : std::string_view::npos;
}

void append_plain_link_text(std::string_view text, std::string& out) {
  const std::size_t start = out.size();
  // A decoded "&lt;" must not be decoded again by the reader.
  const std::optional<std::string> encoded = encode_reference_ampersands(text);
  if (encoded) text = *encoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (c) {
      case '\n':
      case '\r':
        out += ' ';
        continue;
      case '[':
      case ']':
      case '`':
      case '<':
        out += '\\';
        break;
      case '\\':
        if (i + 1 == text.size() || is_ascii_punct(static_cast<unsigned char>(text[i + 1]))) out += '\\';
        break;
      default:
        break;
    }
    out += c;
  }
  // Emphasis and strikethrough characters: the label stands between brackets.
  escape_inline_markup(out, start, '[', ']', false);
}

bool holds_two_sided_emphasis_run(std::string_view core, std::string_view symbols, std::optional<char> before) {
  const auto kind = [](char c) {
    if (c == ' ' || c == '\t' || c == '\n') return 0;
    return is_ascii_punct(static_cast<unsigned char>(c)) ? 1 : 2;
  };
  std::size_t from = before ? 0 : 1;
  if (!before && !core.empty() && symbols.find(core[0]) != std::string_view::npos) {
    while (from < core.size() && core[from] == core[0]) ++from;
  }
  for (std::size_t i = from; i < core.size(); ++i) {
    if (symbols.find(core[i]) == std::string_view::npos || is_escaped_at(core, i)) continue;
    std::size_t end = i;
    while (end < core.size() && core[end] == core[i]) ++end;
    if (end == core.size()) return false;
    const int left = kind(i == 0 ? *before : core[i - 1]);
    const int right = kind(core[end]);
    if (left != 0 && left == right && (left == 1 || core[i] == '*')) return true;
    i = end - 1;
  }
  return false;
}

bool joins_run_of_three(std::string_view out, std::size_t floor, std::size_t mark, std::size_t marker,
                        std::size_t content) {
  std::size_t before = 0;
  while (mark - before > floor && out[mark - before - 1] == '*' && !is_escaped_at(out, mark - before - 1)) ++before;
  std::size_t lead = 0;
  while (content + lead < out.size() && out[content + lead] == '*') ++lead;
  return (before > 0 || lead > 0) && before + marker + lead == 3;
}

bool emphasis_marker_one_sided(char outside, char inside) {
  if (outside == ' ' || outside == '\t' || outside == '\n' || outside == '\r' || outside == '\f') return true;
  return is_ascii_punct(static_cast<unsigned char>(outside)) &&
         std::string_view("*_\\&`").find(outside) == std::string_view::npos && is_ascii_alnum(inside);
}

bool output_at_line_start(std::string_view written) {
  for (std::size_t i = written.size(), budget = 64; i > 0 && budget > 0; --i, --budget) {
    const char c = written[i - 1];
    if (c == '\n') return true;
    if (c != ' ' && c != '>' && c != '-' && c != '*' && c != '+' && c != '.' && c != ')' && (c < '0' || c > '9')) {
      return false;
    }
  }
  return true;
}

bool ends_in_line_start_number(std::string_view written) {
  std::size_t digits = 0;
  while (digits < written.size() && digits < 10 && is_digit(static_cast<unsigned char>(written[written.size() - 1 - digits]))) {
    ++digits;
  }
  return digits != 0 && digits <= 9 && output_at_line_start(written.substr(0, written.size() - digits));
}

std::optional<std::string> escape_line_block_markers(std::string_view text, bool starts_line, bool djot) {
  std::optional<std::string> out;
  std::size_t copied = 0;  // text before this offset is in `out`
  const auto escape_line = [&](std::size_t line) {
    LineBlockMarker marker = find_line_block_marker(text.substr(line), djot);
    if (!marker) marker = find_reference_definition(text.substr(line));
    if (!marker) return;
    if (!out) {
      out.emplace();
      out->reserve(text.size() + marker.count + 8);
    }
    const std::size_t at = line + marker.pos;
    out->append(text.substr(copied, at - copied));
    for (std::size_t k = at; k < at + marker.count; ++k) {
      *out += '\\';
      *out += text[k];
    }
    copied = at + marker.count;
  };
  if (starts_line) escape_line(0);
  for (std::size_t nl = text.find('\n'); nl != std::string_view::npos; nl = text.find('\n', nl + 1)) {
    escape_line(nl + 1);
  }
  if (!out) return std::nullopt;
  out->append(text.substr(copied));
  return out;
}

std::optional<std::string> drop_line_leading_spaces(std::string_view text, bool line_start) {
  const auto is_blank = [](char c) { return c == ' ' || c == '\t'; };
  const bool leading = line_start && !text.empty() && is_blank(text.front());
  if (!leading && text.find("\n ") == std::string_view::npos && text.find("\n\t") == std::string_view::npos) {
    return std::nullopt;
  }
  std::string out;
  out.reserve(text.size());
  bool at_start = line_start;
  for (char c : text) {
    if (at_start && is_blank(c)) continue;
    at_start = c == '\n';
    out += c;
  }
  return out;
}

std::optional<std::string> fold_blank_lines(std::string_view text) {
  bool found = false;
  for (std::size_t nl = text.find('\n'); nl != std::string_view::npos && !found; nl = text.find('\n', nl + 1)) {
    const std::size_t next = text.find_first_not_of(" \t", nl + 1);
    found = next != std::string_view::npos && text[next] == '\n';
  }
  if (!found) return std::nullopt;
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c != ' ' && c != '\t' && c != '\n') {
      out += c;
      ++i;
      continue;
    }
    std::size_t end = i;
    std::size_t line_feeds = 0;
    while (end < text.size() && (text[end] == ' ' || text[end] == '\t' || text[end] == '\n')) {
      if (text[end] == '\n') ++line_feeds;
      ++end;
    }
    if (line_feeds >= 2) {
      out += '\n';
    } else {
      out.append(text, i, end - i);
    }
    i = end;
  }
  return out;
}

}  // namespace tidewell
