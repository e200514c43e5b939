// Whitespace folding and Markdown escaping of text: the one escape function,
// with a mode for each kind of text the converters write.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "options/options.hpp"

namespace tidewell {

// Folds every maximal run of folding spaces (tab, space, U+00A0, U+1680,
// U+2000..U+200A, U+202F, U+205F, U+3000) into one space. Line feeds,
// carriage returns and the other Unicode line separators are not folding
// spaces and end a run. Returns nullopt when the text has nothing to fold:
// no folding space other than U+0020 and no two spaces in a row.
std::optional<std::string> collapse_whitespace(std::string_view text);

// Appends the folded form of `text` to `out`. Runs are taken within `text`
// alone; the end of `out` is not looked at.
void collapse_whitespace_into(std::string_view text, std::string& out);

// The text without the spaces and tabs that would start a line: those after
// each line feed, and at its start when `line_start` is set. White space of
// a text never starts a line of the output (four spaces there make Markdown
// code). Returns nullopt when there are none.
std::optional<std::string> drop_line_leading_spaces(std::string_view text, bool line_start);

// What a text is escaped for.
enum class EscapeMode : std::uint8_t {
  // Running text: backslashes by the four escape options. With
  // `escape_ascii` every ASCII punctuation character and the other options
  // are not consulted; otherwise `escape_misc`: # & + - < = > [ \ ] ` | ~,
  // and '.' or ')' right after an ASCII digit; `escape_asterisks`: '*';
  // `escape_underscores`: '_'.
  Text,
  // A table cell: as Text with '*' and '_' always escaped, and '|' escaped
  // when neither `escape_misc` nor `escape_ascii` already does it.
  TableCell,
  // A link label: every ']' that closes no '[' gets a backslash; brackets
  // after an odd number of backslashes are taken as escaped already.
  LinkText,
  // A link destination: "<>" when empty; percent-encoded with
  // `url_escape_style` percent (only A-Z a-z 0-9 - . / _ ~ stay); in angle
  // brackets when it holds a space or a line feed; every '(' and ')'
  // backslash-escaped when their counts differ; else unchanged.
  Url,
  // Code: written as it stands.
  Code,
};

// Appends `text` escaped for `mode` to `out`.
void escape_markdown_into(std::string_view text, EscapeMode mode, const ConversionOptions& options,
                          std::string& out);

// Copy-on-write form: nullopt when the escaped text equals `text`.
std::optional<std::string> escape_markdown(std::string_view text, EscapeMode mode, const ConversionOptions& options);

}  // namespace tidewell
