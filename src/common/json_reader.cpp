#include "common/json_reader.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

#include "common/utf8.hpp"

namespace tidewell {

namespace {

bool is_digit(int c) { return c >= '0' && c <= '9'; }

int hex_value(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Length of the valid UTF-8 sequence starting at `p` (its lead byte is
// >= 0x80), or 0 when it is not valid.
std::size_t utf8_sequence_length(const unsigned char* p, std::size_t available) {
  bool valid;
  const std::size_t len = utf8_sequence(p, p + available, valid);
  return valid ? len : 0;
}

// Decodes one UTF-8 character of valid text; advances `i`.
char32_t next_code_point(std::string_view text, std::size_t& i) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char b0 = p[i];
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  const std::size_t len = utf8_sequence_length(p + i, text.size() - i);
  if (len == 0) {
    ++i;
    return 0xFFFD;
  }
  char32_t cp = len == 2 ? (b0 & 0x1F) : len == 3 ? (b0 & 0x0F) : (b0 & 0x07);
  for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (p[i + k] & 0x3F);
  i += len;
  return cp;
}

// Characters that do not print: controls, DEL, and invisible format
// characters (soft hyphen, zero-width and bidirectional marks, word joiners,
// the byte order mark and the interlinear annotation marks).
bool is_non_printing(char32_t cp) {
  if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return true;
  switch (cp) {
    case 0x00AD:
    case 0x061C:
    case 0x180E:
    case 0xFEFF:
      return true;
    default:
      break;
  }
  return (cp >= 0x200B && cp <= 0x200F) || (cp >= 0x2028 && cp <= 0x202E) ||
         (cp >= 0x2060 && cp <= 0x2064) || (cp >= 0x2066 && cp <= 0x206F) ||
         (cp >= 0xFFF9 && cp <= 0xFFFB);
}

void append_hex(std::string& out, std::uint32_t value) {
  char buf[16];
  auto res = std::to_chars(buf, buf + sizeof buf, value, 16);
  out.append(buf, res.ptr);
}

void append_unsigned(std::string& out, std::uint64_t value) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, res.ptr);
}

void append_signed(std::string& out, std::int64_t value) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, res.ptr);
}

// Decimal magnitude of a JSON number text (the power of ten just above its
// leading digit), saturated; used only to tell overflow from underflow.
long long decimal_magnitude(std::string_view number) {
  std::size_t i = 0;
  if (i < number.size() && number[i] == '-') ++i;
  long long position = 0;  // digits before the point, counted from the first non-zero
  bool seen_nonzero = false;
  long long leading = 0;  // digits before the point
  for (; i < number.size() && is_digit(number[i]); ++i) {
    if (number[i] != '0') seen_nonzero = true;
    if (seen_nonzero && leading < 1000000000) ++leading;
  }
  position = leading;
  if (i < number.size() && number[i] == '.') {
    ++i;
    for (; i < number.size() && is_digit(number[i]); ++i) {
      if (seen_nonzero) continue;
      if (number[i] != '0') {
        seen_nonzero = true;
      } else if (position > -1000000000) {
        --position;
      }
    }
  }
  long long exponent = 0;
  if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < number.size() && (number[i] == '+' || number[i] == '-')) negative = number[i++] == '-';
    for (; i < number.size() && is_digit(number[i]); ++i) {
      if (exponent < 1000000000) exponent = exponent * 10 + (number[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  return position + exponent;
}

}  // namespace

std::string JsonError::display() const {
  std::string out = message;
  out += " at line ";
  append_unsigned(out, line);
  out += " column ";
  append_unsigned(out, column);
  return out;
}

JsonUnexpected JsonUnexpected::from_number(const JsonNumber& number) {
  JsonUnexpected u;
  switch (number.kind) {
    case JsonNumber::Kind::Unsigned:
      u.kind = Kind::Unsigned;
      u.unsigned_value = number.unsigned_value;
      break;
    case JsonNumber::Kind::Signed:
      u.kind = Kind::Signed;
      u.signed_value = number.signed_value;
      break;
    case JsonNumber::Kind::Float:
      u.kind = Kind::Float;
      u.float_value = number.float_value;
      break;
  }
  return u;
}

void append_shortest_double(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return;
  }
  if (std::signbit(value)) out += '-';
  value = std::fabs(value);
  if (value == 0.0) {
    out += "0.0";
    return;
  }
  // Shortest round-trip digits in scientific form, e.g. "1.8446744073709552e+19".
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
  const std::size_t e_at = sci.find('e');
  std::string_view mantissa = sci.substr(0, e_at);
  int exponent = 0;
  std::string_view exp_text = sci.substr(e_at + 1);
  if (!exp_text.empty() && exp_text.front() == '+') exp_text.remove_prefix(1);
  std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exponent);
  char digits[32];
  std::size_t n = 0;
  for (char c : mantissa) {
    if (c != '.') digits[n++] = c;
  }
  if (exponent >= -4 && exponent <= 15) {
    if (exponent >= 0) {
      const std::size_t int_digits = static_cast<std::size_t>(exponent) + 1;
      if (n <= int_digits) {
        out.append(digits, n);
        out.append(int_digits - n, '0');
        out += ".0";
      } else {
        out.append(digits, int_digits);
        out += '.';
        out.append(digits + int_digits, n - int_digits);
      }
    } else {
      out += "0.";
      out.append(static_cast<std::size_t>(-exponent - 1), '0');
      out.append(digits, n);
    }
    return;
  }
  out += digits[0];
  if (n > 1) {
    out += '.';
    out.append(digits + 1, n - 1);
  }
  out += 'e';
  char ebuf[16];
  auto eres = std::to_chars(ebuf, ebuf + sizeof ebuf, exponent);
  out.append(ebuf, eres.ptr);
}

void append_quoted_debug(std::string& out, std::string_view text) {
  out += '"';
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t start = i;
    const char32_t cp = next_code_point(text, i);
    switch (cp) {
      case '"':
        out += "\\\"";
        continue;
      case '\\':
        out += "\\\\";
        continue;
      case '\n':
        out += "\\n";
        continue;
      case '\r':
        out += "\\r";
        continue;
      case '\t':
        out += "\\t";
        continue;
      case 0:
        out += "\\0";
        continue;
      default:
        break;
    }
    if (is_non_printing(cp)) {
      out += "\\u{";
      append_hex(out, static_cast<std::uint32_t>(cp));
      out += '}';
    } else if (cp == 0xFFFD && !(i - start == 3)) {
      out += "\\u{fffd}";  // an invalid byte; text from the reader never has one
    } else {
      out.append(text.substr(start, i - start));
    }
  }
  out += '"';
}

std::string describe_unexpected(const JsonUnexpected& value) {
  std::string out;
  switch (value.kind) {
    case JsonUnexpected::Kind::Null:
      out = "null";
      break;
    case JsonUnexpected::Kind::Bool:
      out = value.boolean ? "boolean `true`" : "boolean `false`";
      break;
    case JsonUnexpected::Kind::Unsigned:
      out = "integer `";
      append_unsigned(out, value.unsigned_value);
      out += '`';
      break;
    case JsonUnexpected::Kind::Signed:
      out = "integer `";
      append_signed(out, value.signed_value);
      out += '`';
      break;
    case JsonUnexpected::Kind::Float:
      out = "floating point `";
      append_shortest_double(out, value.float_value);
      out += '`';
      break;
    case JsonUnexpected::Kind::String:
      out = "string ";
      append_quoted_debug(out, value.string);
      break;
    case JsonUnexpected::Kind::Sequence:
      out = "sequence";
      break;
    case JsonUnexpected::Kind::Map:
      out = "map";
      break;
  }
  return out;
}

void json_position(std::string_view text, std::size_t offset, std::size_t& line,
                   std::size_t& column) {
  offset = std::min(offset, text.size());
  line = 1;
  std::size_t line_start = 0;
  const char* base = text.data();
  const char* p = base;
  const char* end = base + offset;
  while (p < end) {
    const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
    if (nl == nullptr) break;
    ++line;
    p = static_cast<const char*>(nl) + 1;
    line_start = static_cast<std::size_t>(p - base);
  }
  column = offset - line_start;
}

// ---- JsonReader -------------------------------------------------------------

int JsonReader::peek_nonspace() {
  while (pos_ < text_.size()) {
    const char c = text_[pos_];
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return static_cast<unsigned char>(c);
    ++pos_;
  }
  return -1;
}

bool JsonReader::fail_at(std::size_t offset, std::string_view message) {
  error_.message.assign(message);
  json_position(text_, offset, error_.line, error_.column);
  return false;
}

bool JsonReader::fail_invalid_type(const JsonUnexpected& value, std::string_view expected) {
  std::string message = "invalid type: ";
  message += describe_unexpected(value);
  message += ", expected ";
  message += expected;
  return fail(message);
}

bool JsonReader::fail_invalid_value(const JsonUnexpected& value, std::string_view expected) {
  std::string message = "invalid value: ";
  message += describe_unexpected(value);
  message += ", expected ";
  message += expected;
  return fail(message);
}

bool JsonReader::fail_unexpected_value(std::string_view expected) {
  const int c = peek_nonspace();
  JsonUnexpected u;
  switch (c) {
    case -1:
      return fail_peek("EOF while parsing a value");
    case 'n':
      eat();
      if (!expect_ident("ull")) return false;
      u.kind = JsonUnexpected::Kind::Null;
      break;
    case 't':
      eat();
      if (!expect_ident("rue")) return false;
      u.kind = JsonUnexpected::Kind::Bool;
      u.boolean = true;
      break;
    case 'f':
      eat();
      if (!expect_ident("alse")) return false;
      u.kind = JsonUnexpected::Kind::Bool;
      break;
    case '-': {
      eat();
      JsonNumber number;
      if (!read_number(false, number)) return false;
      u = JsonUnexpected::from_number(number);
      break;
    }
    case '"': {
      eat();
      std::string_view s;
      if (!read_string(s)) return false;
      u.kind = JsonUnexpected::Kind::String;
      u.string = s;
      break;
    }
    case '[':
      u.kind = JsonUnexpected::Kind::Sequence;
      break;
    case '{':
      u.kind = JsonUnexpected::Kind::Map;
      break;
    default:
      if (is_digit(c)) {
        JsonNumber number;
        if (!read_number(true, number)) return false;
        u = JsonUnexpected::from_number(number);
        break;
      }
      return fail_peek("expected value");
  }
  return fail_invalid_type(u, expected);
}

bool JsonReader::expect_ident(std::string_view rest) {
  for (char expected : rest) {
    if (pos_ >= text_.size()) return fail("EOF while parsing a value");
    const char c = text_[pos_++];
    if (c != expected) return fail("expected ident");
  }
  return true;
}

bool JsonReader::read_string(std::string_view& out) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text_.data());
  const std::size_t n = text_.size();
  std::size_t start = pos_;
  bool copied = false;
  scratch_.clear();
  for (;;) {
    // Plain bytes up to the next quote, backslash or control character.
    while (pos_ < n) {
      const unsigned char b = bytes[pos_];
      if (b == '"' || b == '\\' || b < 0x20) break;
      if (b < 0x80) {
        ++pos_;
        continue;
      }
      const std::size_t len = utf8_sequence_length(bytes + pos_, n - pos_);
      if (len == 0) {
        ++pos_;
        return fail("invalid unicode code point");
      }
      pos_ += len;
    }
    if (pos_ == n) return fail("EOF while parsing a string");
    const unsigned char b = bytes[pos_];
    if (b == '"') {
      if (copied) {
        scratch_.append(text_.data() + start, pos_ - start);
        out = scratch_;
      } else {
        out = text_.substr(start, pos_ - start);
      }
      ++pos_;
      return true;
    }
    if (b == '\\') {
      scratch_.append(text_.data() + start, pos_ - start);
      copied = true;
      ++pos_;
      if (!read_escape(scratch_)) return false;
      start = pos_;
      continue;
    }
    ++pos_;
    return fail("control character (\\u0000-\\u001F) found while parsing a string");
  }
}

bool JsonReader::read_escape(std::string& into) {
  const int c = peek();
  if (c < 0) return fail("EOF while parsing a string");
  eat();
  switch (c) {
    case '"':
      into += '"';
      return true;
    case '\\':
      into += '\\';
      return true;
    case '/':
      into += '/';
      return true;
    case 'b':
      into += '\b';
      return true;
    case 'f':
      into += '\f';
      return true;
    case 'n':
      into += '\n';
      return true;
    case 'r':
      into += '\r';
      return true;
    case 't':
      into += '\t';
      return true;
    case 'u':
      return read_unicode_escape(into);
    default:
      return fail("invalid escape");
  }
}

bool JsonReader::read_hex4(std::uint32_t& value) {
  if (text_.size() - pos_ < 4) {
    pos_ = text_.size();
    return fail("EOF while parsing a string");
  }
  value = 0;
  bool ok = true;
  for (int k = 0; k < 4; ++k) {
    const int h = hex_value(static_cast<unsigned char>(text_[pos_ + k]));
    if (h < 0) ok = false;
    value = (value << 4) | static_cast<std::uint32_t>(h & 0xF);
  }
  pos_ += 4;
  return ok ? true : fail("invalid escape");
}

bool JsonReader::read_unicode_escape(std::string& into) {
  std::uint32_t first = 0;
  if (!read_hex4(first)) return false;
  // A trailing surrogate cannot start a pair.
  if (first >= 0xDC00 && first <= 0xDFFF) return fail("lone leading surrogate in hex escape");
  if (first < 0xD800 || first > 0xDBFF) {
    append_utf8(into, static_cast<char32_t>(first));
    return true;
  }
  // A leading surrogate must be followed by "\u" and a trailing surrogate.
  int c = peek();
  if (c < 0) return fail("EOF while parsing a string");
  eat();
  if (c != '\\') return fail("unexpected end of hex escape");
  c = peek();
  if (c < 0) return fail("EOF while parsing a string");
  eat();
  if (c != 'u') return fail("unexpected end of hex escape");
  std::uint32_t second = 0;
  if (!read_hex4(second)) return false;
  if (second < 0xDC00 || second > 0xDFFF) return fail("lone leading surrogate in hex escape");
  const std::uint32_t cp = (((first - 0xD800) << 10) | (second - 0xDC00)) + 0x10000;
  append_utf8(into, static_cast<char32_t>(cp));
  return true;
}

bool JsonReader::read_number(bool positive, JsonNumber& out) {
  const std::size_t start = positive ? pos_ : pos_ - 1;
  const int first = peek();
  if (first < 0) return fail("EOF while parsing a value");
  eat();
  std::uint64_t significand = 0;
  if (first == '0') {
    if (is_digit(peek())) return fail_peek("invalid number");
  } else if (first >= '1' && first <= '9') {
    significand = static_cast<std::uint64_t>(first - '0');
    for (;;) {
      const int c = peek();
      if (!is_digit(c)) break;
      const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
      if (significand > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
        // Too long for 64 bits: read on as a double.
        while (is_digit(peek())) eat();
        const int next = peek();
        if (next == '.') {
          if (!read_decimal(positive, start)) return false;
        } else if (next == 'e' || next == 'E') {
          if (!read_exponent(start)) return false;
        }
        return finish_float(start, out);
      }
      significand = significand * 10 + digit;
      eat();
    }
  } else {
    return fail("invalid number");
  }
  const int next = peek();
  if (next == '.') {
    if (!read_decimal(positive, start)) return false;
    return finish_float(start, out);
  }
  if (next == 'e' || next == 'E') {
    if (!read_exponent(start)) return false;
    return finish_float(start, out);
  }
  if (positive) {
    out.kind = JsonNumber::Kind::Unsigned;
    out.unsigned_value = significand;
    return true;
  }
  // -0 and values below the signed range are doubles.
  if (significand == 0 || significand > (std::uint64_t{1} << 63)) {
    out.kind = JsonNumber::Kind::Float;
    out.float_value = -static_cast<double>(significand);
    return true;
  }
  out.kind = JsonNumber::Kind::Signed;
  out.signed_value = significand == (std::uint64_t{1} << 63)
                         ? std::numeric_limits<std::int64_t>::min()
                         : -static_cast<std::int64_t>(significand);
  return true;
}

bool JsonReader::read_decimal(bool /*positive*/, std::size_t start) {
  eat();  // '.'
  bool any = false;
  while (is_digit(peek())) {
    eat();
    any = true;
  }
  if (!any) {
    return peek() >= 0 ? fail_peek("invalid number") : fail_peek("EOF while parsing a value");
  }
  const int next = peek();
  if (next == 'e' || next == 'E') return read_exponent(start);
  return true;
}

bool JsonReader::read_exponent(std::size_t /*start*/) {
  eat();  // 'e' or 'E'
  const int sign = peek();
  if (sign == '+' || sign == '-') eat();
  const int first = peek();
  if (first < 0) return fail("EOF while parsing a value");
  eat();
  if (!is_digit(first)) return fail("invalid number");
  while (is_digit(peek())) eat();
  return true;
}

bool JsonReader::finish_float(std::size_t start, JsonNumber& out) {
  const std::string_view number = text_.substr(start, pos_ - start);
  double value = 0.0;
  const auto res = std::from_chars(number.data(), number.data() + number.size(), value,
                                   std::chars_format::general);
  const bool negative = number.front() == '-';
  if (res.ec == std::errc::result_out_of_range || std::isinf(value)) {
    if (decimal_magnitude(number) > 0) return fail("number out of range");
    value = negative ? -0.0 : 0.0;
  } else if (res.ec != std::errc() || res.ptr != number.data() + number.size()) {
    return fail("invalid number");  // not reached: the text was checked above
  }
  out.kind = JsonNumber::Kind::Float;
  out.float_value = value;
  return true;
}

bool JsonReader::expect_colon() {
  const int c = peek_nonspace();
  if (c == ':') {
    eat();
    return true;
  }
  if (c < 0) return fail_peek("EOF while parsing an object");
  return fail_peek("expected `:`");
}

bool JsonReader::enter_nested() {
  if (depth_ >= kMaxDepth) return fail_peek("recursion limit exceeded");
  ++depth_;
  eat();  // the bracket
  return true;
}

bool JsonReader::next_element(bool& first, bool& more) {
  const int c = peek_nonspace();
  if (c < 0) return fail_peek("EOF while parsing a list");
  if (c == ']') {
    more = false;
    return true;
  }
  if (first) {
    first = false;
    more = true;
    return true;
  }
  if (c != ',') return fail_peek("expected `,` or `]`");
  eat();
  const int after = peek_nonspace();
  if (after == ']') return fail_peek("trailing comma");
  if (after < 0) return fail_peek("EOF while parsing a value");
  more = true;
  return true;
}

bool JsonReader::end_array() {
  const int c = peek_nonspace();
  if (c == ']') {
    eat();
    return true;
  }
  if (c == ',') {
    eat();
    if (peek_nonspace() == ']') return fail_peek("trailing comma");
    return fail_peek("trailing characters");
  }
  if (c < 0) return fail_peek("EOF while parsing a list");
  return fail_peek("trailing characters");
}

bool JsonReader::next_key(bool& first, bool& more) {
  int c = peek_nonspace();
  if (c == '}') {
    more = false;
    return true;
  }
  if (c == ',' && !first) {
    eat();
    c = peek_nonspace();
  } else if (c < 0) {
    return fail_peek("EOF while parsing an object");
  } else if (!first) {
    return fail_peek("expected `,` or `}`");
  }
  first = false;
  if (c == '"') {
    eat();
    more = true;
    return true;
  }
  if (c == '}') return fail_peek("trailing comma");
  if (c < 0) return fail_peek("EOF while parsing a value");
  return fail_peek("key must be a string");
}

bool JsonReader::end_object() {
  const int c = peek_nonspace();
  if (c == '}') {
    eat();
    return true;
  }
  if (c == ',') return fail_peek("trailing comma");
  if (c < 0) return fail_peek("EOF while parsing an object");
  return fail_peek("trailing characters");
}

bool JsonReader::finish() {
  if (peek_nonspace() >= 0) return fail_peek("trailing characters");
  return true;
}

}  // namespace tidewell
