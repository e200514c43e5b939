// Named states of the end of an output text. Every handler decides its
// spacing from how the output it appends to ends; these are the states they
// test, and the few fixed ways of writing a separator.
//
//   end_of(out).is_blank_line()   if (!end_of(out).is_line_start()) out += '\n';
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/unicode_space.hpp"

namespace tidewell {

class OutputEnd {
 public:
  explicit OutputEnd(std::string_view text) : text_(text) {}

  bool is_empty() const { return text_.empty(); }
  // The last byte, or 0 for an empty output.
  char last() const { return text_.empty() ? '\0' : text_.back(); }

  // Ends with "\n\n": a blank line closes the output.
  bool is_blank_line() const { return ends_with("\n\n"); }
  // Empty or ends with "\n": the next byte starts a line.
  bool is_line_start() const { return text_.empty() || text_.back() == '\n'; }
  // Ends with "\n" (and is not empty).
  bool is_line_break() const { return last() == '\n'; }
  // Ends with one "\n" but not with "\n\n".
  bool is_single_line_break() const { return is_line_break() && !is_blank_line(); }
  // Ends with a space.
  bool is_space() const { return last() == ' '; }
  // Ends with a space or a line feed.
  bool is_space_or_line_break() const { return last() == ' ' || last() == '\n'; }
  // Ends with white space that a separator may follow: empty, or a space,
  // tab or line feed.
  bool is_white_space() const { return text_.empty() || last() == ' ' || last() == '\t' || last() == '\n'; }
  // Ends with a list item marker: "* ", "- ", "+ " or ". " (after a
  // number).
  bool is_list_marker() const {
    return ends_with("* ") || ends_with("- ") || ends_with("+ ") || ends_with(". ");
  }
  // The last line holds list item markers alone ("- ", "* ", "+ " or a
  // number and ". " or ") ", maybe with more spaces; "- * " for an item that
  // starts with a nested list), after its indentation: the item's text has
  // not started yet.
  bool is_bare_list_marker() const {
    std::size_t n = text_.size();
    while (n > 0 && (text_[n - 1] == ' ' || text_[n - 1] == '\t')) --n;
    if (n == text_.size()) return false;
    // One marker or more ("- * " when an item starts with a nested list).
    while (n > 0) {
      const char mark = text_[--n];
      if (mark == '.' || mark == ')') {
        const std::size_t digits_end = n;
        while (n > 0 && text_[n - 1] >= '0' && text_[n - 1] <= '9') --n;
        if (n == digits_end) return false;
      } else if (mark != '-' && mark != '*' && mark != '+') {
        return false;
      }
      const std::size_t marker_start = n;
      while (n > 0 && (text_[n - 1] == ' ' || text_[n - 1] == '\t')) --n;
      if (n == 0 || text_[n - 1] == '\n') return true;
      if (n == marker_start) return false;
    }
    return false;
  }
  // Ends with a list item marker or a task box ("[ ] ", "[x] "): the item's
  // text starts next.
  bool is_item_start() const { return is_list_marker() || ends_with("] "); }
  // Ends with the closing line of a backtick fence.
  bool is_fence_line() const { return ends_with("```\n"); }
  // Ends where a table cell's next piece needs no separator: the "|" of a
  // cell boundary or a "<br>".
  bool is_cell_boundary() const { return last() == '|' || ends_with("<br>"); }
  // Ends with a hard line break: "  \n" or "\\\n".
  bool is_hard_break() const { return ends_with("  \n") || ends_with("\\\n"); }
  // Ends with "(".
  bool is_open_paren() const { return last() == '('; }
  // Ends with a line feed that closes a line Markdown reads as a block of its
  // own (an ATX heading, a rule or setext underline, a fence line, a table
  // row), possibly indented or quoted: text may not be joined to it.
  bool is_block_line() const {
    if (!is_line_break()) return false;
    std::string_view line = text_.substr(0, text_.size() - 1);
    const std::size_t nl = line.rfind('\n');
    if (nl != std::string_view::npos) line.remove_prefix(nl + 1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t' || line.front() == '>')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    if (line.empty()) return false;
    if (line.starts_with("```") || line.starts_with("~~~") || line.front() == '|') return true;
    const char mark = line.front();
    if (mark == '#') {
      const std::size_t n = line.find_first_not_of('#');
      return n == std::string_view::npos ? line.size() <= 6 : n <= 6 && (line[n] == ' ' || line[n] == '\t');
    }
    if (mark != '=' && mark != '-' && mark != '*' && mark != '_') return false;
    std::size_t marks = 0;
    for (const char c : line) {
      if (c == mark) {
        ++marks;
      } else if (mark == '=' || (c != ' ' && c != '\t')) {
        return false;
      }
    }
    return mark == '=' || mark == '-' || marks >= 3;
  }
  // What is written next starts the content of a line, where Markdown reads
  // block markers: the last line holds nothing but indentation, quote
  // markers (">") and list item markers ("-", "*", "+", "1." or "1)", each
  // with a space after it). The first line counts only when `starts_line`
  // (the text begins at the start of a line, as an output does). A prefix
  // longer than kMaxLinePrefix bytes is not looked through.
  bool is_line_content_start(bool starts_line = true) const {
    const std::size_t floor = text_.size() > kMaxLinePrefix ? text_.size() - kMaxLinePrefix : 0;
    std::size_t begin = text_.size();
    while (begin > floor && text_[begin - 1] != '\n') {
      const char c = text_[begin - 1];
      if (c != ' ' && c != '\t' && c != '>' && c != '-' && c != '*' && c != '+' && c != '.' && c != ')' &&
          (c < '0' || c > '9')) {
        return false;
      }
      --begin;
    }
    if (begin == 0 ? !starts_line : text_[begin - 1] != '\n') return false;
    const auto blank = [&](std::size_t i) { return i < text_.size() && (text_[i] == ' ' || text_[i] == '\t'); };
    std::size_t i = begin;
    while (i < text_.size()) {
      const char c = text_[i];
      if (blank(i) || c == '>') {
        ++i;
      } else if ((c == '-' || c == '*' || c == '+') && blank(i + 1)) {
        i += 2;
      } else {
        std::size_t digits = i;
        while (digits < text_.size() && text_[digits] >= '0' && text_[digits] <= '9') ++digits;
        if (digits == i || digits - i > 9 || digits + 1 >= text_.size() ||
            (text_[digits] != '.' && text_[digits] != ')') || !blank(digits + 1)) {
          return false;
        }
        i = digits + 2;
      }
    }
    return true;
  }
  // The last line is a number (up to nine digits) where a line's content
  // starts (see is_line_content_start): a "." or ")" written next would
  // make it an ordered list marker.
  bool is_line_start_number(bool starts_line = true) const {
    std::size_t digits = 0;
    while (digits < text_.size() && digits < 10 && text_[text_.size() - 1 - digits] >= '0' &&
           text_[text_.size() - 1 - digits] <= '9') {
      ++digits;
    }
    return digits != 0 && digits <= 9 &&
           OutputEnd(text_.substr(0, text_.size() - digits)).is_line_content_start(starts_line);
  }
  static constexpr std::size_t kMaxLinePrefix = 256;
  // Ends with a '!' that no backslash escapes: a '[' written next would
  // turn a link into an image.
  bool is_image_bang() const {
    return last() == '!' && !OutputEnd(text_.substr(0, text_.size() - 1)).is_lone_backslash();
  }
  // Ends with a backslash that no backslash escapes (as a hard line break's
  // backslash does before its line feed).
  bool is_lone_backslash() const {
    std::size_t backslashes = 0;
    while (backslashes < text_.size() && text_[text_.size() - 1 - backslashes] == '\\') ++backslashes;
    return backslashes % 2 == 1;
  }
  // The last line that is not blank begins, after its leading white space,
  // with ">": the output ends inside a quotation.
  bool is_in_quotation() const {
    std::size_t end = text_.size();
    while (end > 0) {
      const std::size_t nl = text_.rfind('\n', end - 1);
      const std::size_t start = nl == std::string_view::npos ? 0 : nl + 1;
      const std::string_view trimmed = trim_unicode_space(text_.substr(start, end - start));
      if (!trimmed.empty()) return trimmed.front() == '>';
      if (nl == std::string_view::npos) break;
      end = nl;
    }
    return false;
  }

 private:
  bool ends_with(std::string_view suffix) const { return text_.ends_with(suffix); }

  std::string_view text_;
};

inline OutputEnd end_of(std::string_view text) { return OutputEnd(text); }

// --- the fixed separators -------------------------------------------------

// Removes spaces and tabs (only those) at the end.
inline void trim_trailing_spaces_tabs(std::string& out) {
  std::size_t n = out.size();
  while (n > 0 && (out[n - 1] == ' ' || out[n - 1] == '\t')) --n;
  out.resize(n);
}

// Makes a non-empty output end with a blank line: nothing after "\n\n", "\n"
// after a single "\n", "\n\n" otherwise. An empty output stays empty.
inline void ensure_blank_line(std::string& out) {
  if (out.empty() || end_of(out).is_blank_line()) return;
  out += end_of(out).is_line_break() ? "\n" : "\n\n";
}

// Blank line before a block: "\n\n" unless the output is empty or already
// ends with "\n\n" (nothing is trimmed).
inline void blank_line_before(std::string& out) {
  if (!out.empty() && !end_of(out).is_blank_line()) out += "\n\n";
}

// The same after trailing spaces and tabs are removed (when a blank line is
// needed at all).
inline void separate_block(std::string& out) {
  if (out.empty() || end_of(out).is_blank_line()) return;
  trim_trailing_spaces_tabs(out);
  out += "\n\n";
}

// Makes a non-empty output end with "\n".
inline void ensure_line_break(std::string& out) {
  if (!end_of(out).is_line_start()) out += '\n';
}

// Appends `n` spaces.
inline void append_spaces(std::string& out, std::size_t n) { out.append(n, ' '); }

// Readies a table cell's text for the separator before its next piece: the
// white space at its end goes, since a line break there would make a second
// separator (the backslash of a hard break goes with its line feed). True
// when content is left that does not end at a cell boundary; text of white
// space alone is no content to separate from and is left as it is.
inline bool trim_for_cell_separator(std::string& out) {
  const std::size_t kept = trim_unicode_space_end(out).size();
  if (kept == 0) return false;
  const bool line_break = out.find('\n', kept) != std::string::npos;
  out.resize(kept);
  if (line_break && end_of(out).is_lone_backslash()) out.pop_back();
  return !end_of(out).is_cell_boundary();
}

}  // namespace tidewell
