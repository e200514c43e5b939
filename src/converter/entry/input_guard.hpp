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
// spaced self-closing tags, in this order.
PreparedInput prepare_input(std::string_view text);

// CR LF and lone CR become LF; nullopt when the text holds no CR.
using scan::normalize_line_endings;

// "<br/>" becomes "<br />" for attribute-less tags whose name is made of
// letters, digits, '-', '.', ':' and '_', outside the content of raw-text
// elements (script, style, title, textarea, ...); nullopt when nothing
// changes.
std::optional<std::string> space_self_closing_tags(std::string_view text);

}  // namespace tidewell
