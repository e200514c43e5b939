// Lines of code that the final clean-up of the Markdown leaves as they are.
//
// The clean-up trims the end of every line and shortens runs of blank lines;
// inside a code block both are content. A code block ends each of its lines
// that the clean-up would change (a blank line, a line ending in a space or
// a tab) with kKeptLineMark, and the clean-up removes the mark and keeps the
// line. The mark is a byte that UTF-8 never holds, so no text of the page
// can be taken for it.
#pragma once

#include <cstring>
#include <string>
#include <string_view>

namespace tidewell {

inline constexpr char kKeptLineMark = '\xFF';

// Whether the clean-up would change this line of code: it is empty, or ends
// with a space or a tab.
inline bool code_line_needs_keeping(std::string_view line) {
  return line.empty() || line.back() == ' ' || line.back() == '\t';
}

inline bool holds_kept_line_mark(std::string_view text) {
  return std::memchr(text.data(), kKeptLineMark, text.size()) != nullptr;
}

// `text` without its marks (text that leaves the Markdown, such as a
// structure record).
inline std::string without_kept_line_marks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c != kKeptLineMark) out += c;
  }
  return out;
}

}  // namespace tidewell
