// The project's JSON reading module: a cursor over JSON text with byte
// positions, the readers of its scalar tokens, and the texts of its messages.
// The options reader and the generic value reader are both built on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tidewell {

// A reading fault: the message and where it was found. `line` is 1 plus the
// line feeds before the position, `column` the bytes from the start of that
// line to the position.
struct JsonError {
  std::string message;
  std::size_t line = 0;
  std::size_t column = 0;
  // "<message> at line L column C"
  std::string display() const;
};

// A number as read: a non-negative integer that fits 64 bits, a negative
// integer that fits 64 bits, or a double for everything else (fractions,
// exponents, -0, integers beyond the 64-bit ranges).
struct JsonNumber {
  enum class Kind : std::uint8_t { Unsigned, Signed, Float };
  Kind kind = Kind::Unsigned;
  std::uint64_t unsigned_value = 0;
  std::int64_t signed_value = 0;
  double float_value = 0.0;
};

// A value met where another kind was expected, as named in type messages.
struct JsonUnexpected {
  enum class Kind : std::uint8_t { Null, Bool, Unsigned, Signed, Float, String, Sequence, Map };
  Kind kind = Kind::Null;
  bool boolean = false;
  std::uint64_t unsigned_value = 0;
  std::int64_t signed_value = 0;
  double float_value = 0.0;
  std::string_view string;  // valid while the reader that produced it lives

  static JsonUnexpected from_number(const JsonNumber& number);
};

// Appends the shortest decimal that reads back as `value`: plain notation with
// at least one digit after the point when the value has at most 16 integer
// digits and its magnitude is at least 0.0001 (2.5, 100.0, 0.0001), else
// exponent notation without '+' (1.8446744073709552e19, 1e-7).
void append_shortest_double(std::string& out, double value);

// Appends `text` between double quotes, with \" \\ \n \r \t \0 escapes and
// \u{hex} for every other character that does not print (C0 and C1
// controls, DEL, invisible format characters).
void append_quoted_debug(std::string& out, std::string_view text);

// "null", "boolean `true`", "integer `-1`", "floating point `2.5`",
// "string \"x\"", "sequence", "map".
std::string describe_unexpected(const JsonUnexpected& value);

// Line and column of a byte offset, as JsonError defines them.
void json_position(std::string_view text, std::size_t offset, std::size_t& line,
                   std::size_t& column);

// Cursor over JSON text. Every reading step returns false after recording
// the first fault in the error it was given; the caller stops there.
class JsonReader {
 public:
  // Nesting allowed for arrays and objects: 128 levels, the 129th is refused.
  static constexpr int kMaxDepth = 128;

  JsonReader(std::string_view text, JsonError& error) : text_(text), error_(error) {}

  std::string_view text() const { return text_; }
  std::size_t offset() const { return pos_; }

  // Skips JSON white space (space, tab, line feed, carriage return) and
  // returns the next byte without consuming it, or -1 at the end.
  int peek_nonspace();
  // The next byte without skipping anything, or -1 at the end.
  int peek() const { return pos_ < text_.size() ? static_cast<unsigned char>(text_[pos_]) : -1; }
  void eat() { ++pos_; }

  // Record a fault and return false. `fail` places it at the current
  // offset, `fail_peek` counts the next byte as well.
  bool fail(std::string_view message) { return fail_at(pos_, message); }
  bool fail_peek(std::string_view message) {
    return fail_at(pos_ < text_.size() ? pos_ + 1 : pos_, message);
  }
  bool fail_at(std::size_t offset, std::string_view message);

  // "invalid type: U, expected E" / "invalid value: U, expected E" at the
  // current offset.
  bool fail_invalid_type(const JsonUnexpected& value, std::string_view expected);
  bool fail_invalid_value(const JsonUnexpected& value, std::string_view expected);
  // Reads the next value far enough to name it (scalars are consumed, an
  // opening bracket is not) and fails with the type message; a byte that
  // starts no value gives "expected value".
  bool fail_unexpected_value(std::string_view expected);

  // Consumes the remaining bytes of a literal ("ull" after 'n').
  bool expect_ident(std::string_view rest);
  // After the opening quote has been consumed: reads up to and including
  // the closing quote. `out` points into the text when the string has no
  // escapes, else into the reader's scratch buffer (valid until the next
  // string is read).
  bool read_string(std::string_view& out);
  // At the first digit (after a consumed '-' when `positive` is false).
  bool read_number(bool positive, JsonNumber& out);
  // White space, then ':' consumed.
  bool expect_colon();

  // Opening of an array or object (its bracket not yet consumed): counts
  // the level and refuses the one beyond kMaxDepth.
  bool enter_nested();
  void leave_nested() { --depth_; }

  // The comma-or-end step of an array: `first` tells whether any element
  // was seen. Sets `more` when another element follows (white space
  // skipped, its first byte not consumed).
  bool next_element(bool& first, bool& more);
  // The closing of an array after its elements were read.
  bool end_array();
  // The comma-or-end step of an object; sets `more` when a key follows,
  // with its opening quote consumed.
  bool next_key(bool& first, bool& more);
  // The closing of an object after its members were read.
  bool end_object();
  // Only white space may follow the top-level value.
  bool finish();

 private:
  bool read_escape(std::string& into);
  bool read_unicode_escape(std::string& into);
  bool read_hex4(std::uint32_t& value);
  bool read_decimal(bool positive, std::size_t start);
  bool read_exponent(std::size_t start);
  bool finish_float(std::size_t start, JsonNumber& out);

  std::string_view text_;
  std::size_t pos_ = 0;
  JsonError& error_;
  std::string scratch_;
  int depth_ = 0;
};

}  // namespace tidewell
