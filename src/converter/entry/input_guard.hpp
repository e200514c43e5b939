// Input guards and preparation: refuse what is not HTML text, normalise the rest.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/scan.hpp"

namespace tidewell {

// The refusal message of a text that is not HTML (archives, PDF, UTF-16 that
// stays UTF-16, NUL- or control-heavy text), or nullopt when it is accepted.
// Only the first 8192 bytes are inspected beyond the leading signatures.
std::optional<std::string> detect_binary_input(std::string_view text);

// Result of preparing a text: either the caller's text unchanged or a new
// owned text, or a refusal message.
struct PreparedInput {
  std::optional<std::string> owned;    // set when preparation changed the text
  std::optional<std::string> refusal;  // set when the text is refused
  std::string_view text(std::string_view original) const { return owned ? std::string_view(*owned) : original; }
};

// UTF-16 transcoding, the binary refusal test, NUL removal, line endings and
// spaced self-closing tags, in this order. A leading byte-order mark is the
// caller's to drop.
PreparedInput prepare_input(std::string_view text);

// U+FEFF in UTF-8: what a file saved with a byte-order mark starts with.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The text without a leading byte-order mark, which an HTML reader drops.
inline std::string_view without_byte_order_mark(std::string_view text) {
  return text.starts_with(kByteOrderMark) ? text.substr(kByteOrderMark.size()) : text;
}

// Bytes inspected by the refusal test and the UTF-16 guess (besides the
// leading signatures and the text's size).
inline constexpr std::size_t kInspectedBytes = 8192;

struct Utf16Guess {
  bool is_utf16 = false;
  bool little_endian = false;
};

// NUL bytes concentrated on one offset of the byte pairs mark UTF-16 text
// that reached us byte by byte; only the first kInspectedBytes count.
Utf16Guess guess_utf16(std::string_view text);

// Decodes UTF-16 code units given as byte pairs, in pieces cut anywhere: an
// odd byte or a high surrogate at a piece's end waits for the next piece.
// Unpaired surrogates become U+FFFD; at the end an odd byte is dropped.
class Utf16Decoder {
 public:
  explicit Utf16Decoder(bool little_endian) : little_endian_(little_endian) {}
  void decode(std::string_view bytes, bool last, std::string& out);

 private:
  bool little_endian_;
  bool has_odd_byte_ = false;
  unsigned char odd_byte_ = 0;
  char16_t high_surrogate_ = 0;  // 0 = none waiting
};

// The text without its NUL bytes.
std::string remove_nul_bytes(std::string_view text);

// CR LF and lone CR become LF; nullopt when the text holds no CR.
using scan::normalize_line_endings;

// "<br/>" becomes "<br />" for attribute-less tags whose name is made of
// letters, digits, '-', '.', ':' and '_', outside the content of raw-text
// elements (script, style, title, textarea, ...); nullopt when nothing
// changes.
std::optional<std::string> space_self_closing_tags(std::string_view text);

}  // namespace tidewell
