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

// Reads the character reference at the start of `text` (text[0] == '&') as
// the HTML tokenizer does: numeric references as above, named ones by the
// longest name of the whole table that matches, a name that also stands
// without ';' matching without it (inside an attribute value such a name
// followed by '=' or an alphanumeric is not a reference). Appends the value to `out` and returns
// the bytes taken, or returns 0 when the '&' is plain text.
std::size_t read_character_reference(std::string_view text, bool in_attribute, std::string& out);

// Appends the decoded form of `text` to `out`.
void decode_html_entities_into(std::string_view text, std::string& out);

// The one reference that starts at text[amp] == '&', read as above: appends
// its replacement to `out` and returns the bytes it spans, or returns 0 and
// appends nothing when no reference starts there.
std::size_t decode_html_entity_at(std::string_view text, std::size_t amp, std::string& out);

// The streaming converter's reading, appended to `out`: numeric references as
// above; named ones only from the 252 names of HTML 4 and XML (at most 8
// bytes), with ';', or without it for the names HTML also lists that way
// (the longest such prefix of at most 6 bytes). In attribute mode a name
// without ';' followed by '=' or an ASCII alphanumeric stays as written.
// With `escape_ampersand`, a reference that gives a lone '&' followed by text
// that would join it into a new reference ("&amp;lt;") gives "\&".
void decode_legacy_references_into(std::string_view text, bool in_attribute, bool escape_ampersand,
                                   std::string& out);

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
