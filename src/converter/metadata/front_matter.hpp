// The YAML front matter written at the top of the Markdown: one rule for
// every road that writes one, so that a YAML reader gives back each key and
// each value exactly as the converter had them.
#pragma once

#include <string>
#include <string_view>

#include "converter/metadata/metadata_sink.hpp"

namespace tidewell {

// Appends one front-matter line, `key: value` and "\n", such that a YAML
// reader (YAML 1.1 or 1.2, PyYAML included) reads back exactly `key` and
// `value`, both as strings.
//
// A value is written bare unless it holds ':', '#', '[' or ']'; starts with
// a YAML indicator ("-?:,[]{}#&*!|>'\"%@`"), with '+', '.', '~', '=', '<' or
// a digit, or with white space; ends with white space; holds a control
// character (C0, DEL, C1, U+2028, U+2029) or U+FFFE/U+FFFF; is empty; or is
// a word that YAML reads as a boolean or null ("yes", "Off", "null", ...).
// A key is written bare unless YAML would read it differently: it holds
// ": " or " #", ends with ':', starts or ends like a value that needs
// quotes, or holds a control character.
// Quoted text is a double-quoted YAML string: each '\' is doubled, each '"'
// gets a '\' before it, and each control character is written as "\x" and
// two hex digits ("\u" and four for U+2028, U+2029, U+FFFE and U+FFFF), so a
// line break never ends the entry's line. A key too long for a YAML simple
// key is written in the explicit "? key" / ": value" form (two lines).
// Ill-formed UTF-8 is written as U+FFFD.
void append_front_matter_entry(std::string& out, std::string_view key, std::string_view value);

// Appends "---\n", one entry per key in key order (append_front_matter_entry)
// and "---\n". Writes nothing for an empty map.
void append_front_matter(std::string& out, const HeadMetadataMap& entries);

}  // namespace tidewell
