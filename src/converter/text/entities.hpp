// HTML character-reference decoding: the one decoder of the project.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tidewell {

// Decodes named ("&amp;", only names ending in ';') and numeric ("&#38;",
// "&#x26;") references. Numeric references follow the HTML standard: the
// C1 range maps through windows-1252, and NUL, surrogates and values above
// U+10FFFF become U+FFFD. An unknown or malformed reference stays as written.
// Returns nullopt when nothing was decoded (copy-on-write).
std::optional<std::string> decode_html_entities(std::string_view text);

// Appends the decoded form of `text` to `out`.
void decode_html_entities_into(std::string_view text, std::string& out);

// The one reference that starts at text[amp] == '&', read as above: appends
// its replacement to `out` and returns the bytes it spans, or returns 0 and
// appends nothing when no reference starts there.
std::size_t decode_html_entity_at(std::string_view text, std::size_t amp, std::string& out);

// Always returns an owned string.
inline std::string decode_entities_owned(std::string_view text) {
  auto decoded = decode_html_entities(text);
  return decoded ? std::move(*decoded) : std::string(text);
}

// The text of a text node as the converter reads it: ill-formed UTF-8
// replaced by U+FFFD, then character references decoded. A view of `bytes`
// when neither changes anything, else of `holder`.
std::string_view text_node_content(std::string_view bytes, std::string& holder);

// An attribute value (or a head entry's text) as the converter reads it and
// returns it: the same reading as a text node's, so that a value is the same
// whether or not the page went through the repair, which writes attribute
// values with their references escaped.
std::string attribute_text(std::string_view bytes);

}  // namespace tidewell
