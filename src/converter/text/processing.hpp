// Whitespace folding and Markdown escaping of text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

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

// Backslash-escapes Markdown-significant characters:
// - escape_ascii: every ASCII punctuation character, and the other flags are
//   not consulted;
// - otherwise escape_misc: # & + - < = > [ \ ] ` | ~, and '.' or ')' right
//   after an ASCII digit; escape_asterisks: '*'; escape_underscores: '_'.
// Returns nullopt when nothing was escaped.
std::optional<std::string> escape_markdown_text(std::string_view text, bool escape_misc, bool escape_asterisks,
                                                bool escape_underscores, bool escape_ascii);

// Appends the escaped form of `text` (the text itself when nothing needs a
// backslash) to `out`.
void escape_markdown_text_into(std::string_view text, bool escape_misc, bool escape_asterisks,
                               bool escape_underscores, bool escape_ascii, std::string& out);

}  // namespace tidewell
