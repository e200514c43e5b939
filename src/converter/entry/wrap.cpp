#include "converter/entry/wrap.hpp"

#include <vector>

#include "common/unicode_space.hpp"
#include "converter/text/processing.hpp"

namespace tidewell {
namespace {


std::string_view trim_start(std::string_view s) { return s.substr(skip_unicode_space(s, 0)); }

bool starts_with(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

// A code fence of backticks or tildes.
bool is_fence(std::string_view t) { return starts_with(t, "```") || starts_with(t, "~~~"); }

std::string_view first_word(std::string_view t) {
  std::size_t end = 0;
  while (end < t.size() && space_len_at(t, end) == 0) ++end;
  return t.substr(0, end);
}

bool is_ordered_marker(std::string_view w) {
  if (w.empty() || (w.back() != '.' && w.back() != ')')) return false;
  while (!w.empty() && (w.back() == '.' || w.back() == ')')) w.remove_suffix(1);
  if (w.empty()) return false;
  for (char c : w) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// A line made of one repeated '=' or '-' (a setext underline).
bool is_setext_underline(std::string_view line) {
  const std::string_view t = trim_unicode_space(line);
  if (t.empty() || (t[0] != '=' && t[0] != '-')) return false;
  for (char c : t) {
    if (c != t[0]) return false;
  }
  return true;
}

// Three or more of one of '-', '*', '_', optionally spaced: a rule.
bool is_thematic_break(std::string_view t) {
  t = trim_unicode_space(t);
  if (t.empty() || (t[0] != '-' && t[0] != '*' && t[0] != '_')) return false;
  int count = 0;
  for (char c : t) {
    if (c == t[0]) ++count;
    else if (c != ' ' && c != '\t') return false;
  }
  return count >= 3;
}

// Fills the words greedily into lines of at most the width (a longer word
// stands alone). No line but the first begins with a word that Markdown
// would read as a block marker: the break moves back to an earlier word, or,
// when no earlier word of the line can begin the next one, is not made.
void fill_words(const std::vector<std::string_view>& words, std::uint64_t first_width, std::uint64_t next_width,
                std::string_view first_prefix, std::string_view next_prefix, std::string& out) {
  if (words.empty()) return;
  std::vector<std::size_t> starts{0};  // the first word of each line
  std::size_t line_len = words[0].size();
  // Each word is tested once: `checked` is the first word not yet tested,
  // `can_start` the last tested one that may begin a line (0: none yet), so
  // a long run of marker words costs no rescan per word.
  std::size_t checked = 1;
  std::size_t can_start = 0;
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::uint64_t width = starts.size() == 1 ? first_width : next_width;
    if (line_len + 1 + words[i].size() <= width) {
      line_len += 1 + words[i].size();
      continue;
    }
    for (; checked <= i; ++checked) {
      if (!find_line_block_marker(words[checked])) can_start = checked;
    }
    if (can_start <= starts.back()) {
      line_len += 1 + words[i].size();  // no break here
      continue;
    }
    const std::size_t brk = can_start;
    starts.push_back(brk);
    line_len = words[brk].size();
    for (std::size_t k = brk + 1; k <= i; ++k) line_len += 1 + words[k].size();
  }
  starts.push_back(words.size());
  for (std::size_t line = 0; line + 1 < starts.size(); ++line) {
    if (line > 0) out.push_back('\n');
    out.append(line == 0 ? first_prefix : next_prefix);
    for (std::size_t k = starts[line]; k < starts[line + 1]; ++k) {
      if (k > starts[line]) out.push_back(' ');
      out.append(words[k]);
    }
  }
}

class Wrapper {
 public:
  Wrapper(std::string_view text, std::uint64_t width) : text_(text), width_(width) { out_.reserve(text.size()); }

  std::string run() {
    std::vector<std::string_view> lines = split_lines(text_);
    std::size_t i = copy_front_matter(lines);
    for (; i < lines.size(); ++i) {
      const std::string_view line = lines[i];
      const bool underline_follows = i + 1 < lines.size() && is_setext_underline(lines[i + 1]);
      if (handle_line(line, underline_follows ? lines[i + 1] : std::string_view())) ++i;
    }
    flush_quote();
    flush_paragraph();
    return std::move(out_);
  }

 private:
  static std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
      std::size_t nl = text.find('\n', pos);
      std::string_view line = nl == std::string_view::npos ? text.substr(pos) : text.substr(pos, nl - pos);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      lines.push_back(line);
      if (nl == std::string_view::npos) break;
      pos = nl + 1;
    }
    return lines;
  }

  // A leading front-matter block ("---" ... "---") is copied unchanged.
  std::size_t copy_front_matter(const std::vector<std::string_view>& lines) {
    if (lines.empty() || lines[0] != "---") return 0;
    for (std::size_t k = 1; k < lines.size(); ++k) {
      if (lines[k] == "---") {
        for (std::size_t j = 0; j <= k; ++j) {
          out_.append(lines[j]);
          out_.push_back('\n');
        }
        return k + 1;
      }
    }
    return 0;
  }

  // `underline` is the next line when it is a setext underline; returns
  // true when it went out with this line.
  bool handle_line(std::string_view line, std::string_view underline) {
    const std::string_view t = trim_start(line);
    const bool fence = is_fence(t);
    bool verbatim = fence;
    if (line.size() >= 4 && starts_with(line, "    ")) {
      if (t.empty()) {
        verbatim = true;
      } else if (t[0] == '*' || t[0] == '+' || t[0] == '-' || is_ordered_marker(first_word(t)) || t[0] == '#' ||
                 t[0] == '>' || t[0] == '|') {
        // handled below like an unindented line
      } else {
        verbatim = true;
      }
    }
    if (in_fence_ && !fence) {
      out_.append(line);
      out_.push_back('\n');
      return false;
    }
    if (verbatim) {
      flush_quote();
      flush_paragraph();
      out_.append(line);
      out_.push_back('\n');
      if (fence) in_fence_ = !in_fence_;
      return false;
    }
    if (!t.empty() && t[0] == '>') {
      quote_line(line);
      return false;
    }
    in_quote_fence_ = false;
    flush_quote();
    if (list_item(line, t)) return false;
    if (!t.empty() && (t[0] == '#' || t[0] == '=' || t[0] == '|' || is_thematic_break(t))) {
      flush_paragraph();
      out_.append(line);
      out_.push_back('\n');
      return false;
    }
    const std::string_view content = trim_unicode_space(line);
    if (content.empty()) {
      if (!paragraph_.empty()) flush_paragraph();
      else out_.push_back('\n');
      return false;
    }
    if (!underline.empty()) {
      // A setext heading keeps its text line and its underline together.
      flush_paragraph();
      out_.append(line);
      out_.push_back('\n');
      out_.append(underline);
      out_.push_back('\n');
      return true;
    }
    if (!paragraph_.empty()) paragraph_.push_back(' ');
    paragraph_.append(content);
    // A hard line break ends the line here; the paragraph goes on below it.
    const bool two_spaces = line.size() >= 2 && line.substr(line.size() - 2) == "  ";
    if (two_spaces || content.back() == '\\') {
      out_.append(wrap_emit_line(paragraph_, width_));
      if (two_spaces && content.back() != '\\') out_.append("  ");
      out_.push_back('\n');
      paragraph_.clear();
    }
    return false;
  }

  void flush_paragraph() {
    if (paragraph_.empty()) return;
    out_.append(wrap_emit_line(paragraph_, width_));
    out_.append("\n\n");
    paragraph_.clear();
  }

  void flush_quote() {
    if (quote_.empty()) return;
    out_.append(wrap_prefixed_paragraph(quote_prefix_, quote_, width_));
    out_.push_back('\n');
    quote_.clear();
    quote_prefix_.clear();
  }

  void quote_line(std::string_view line) {
    const std::size_t lead = line.size() - trim_start(line).size();
    std::size_t p = lead;
    while (p < line.size() && line[p] == '>') {
      ++p;
      if (p < line.size() && line[p] == ' ') ++p;
      // A single space directly before the next '>' belongs to the run too.
      if (p + 1 < line.size() && line[p] == ' ' && line[p + 1] == '>') ++p;
    }
    std::string prefix(line.substr(0, p));
    if (prefix.back() != ' ') prefix.push_back(' ');
    const std::string_view rest = line.substr(p);
    const std::string_view content = trim_unicode_space(rest);
    flush_paragraph();
    // Code and blocks inside the quote keep their lines: a fence and what it
    // holds, indented code, list items, headings and table rows.
    const bool fence = is_fence(content);
    if (in_quote_fence_ || fence || keeps_its_line(rest, content)) {
      flush_quote();
      out_.append(line);
      out_.push_back('\n');
      if (fence) in_quote_fence_ = !in_quote_fence_;
      return;
    }
    if (!content.empty()) {
      if (!quote_.empty() && quote_prefix_ == prefix) {
        quote_.push_back(' ');
        quote_.append(content);
      } else {
        flush_quote();
        quote_.assign(content);
        quote_prefix_ = std::move(prefix);
      }
      return;
    }
    flush_quote();
    std::string_view bare = prefix;
    while (!bare.empty() && (bare.back() == ' ' || bare.back() == '\t')) bare.remove_suffix(1);
    out_.append(bare);
    out_.push_back('\n');
  }

  // A quoted line that is no running text: indented code (four spaces or a
  // tab after the marker's space), a list item, a heading or a table row.
  static bool keeps_its_line(std::string_view rest, std::string_view content) {
    if (content.empty()) return false;
    if (starts_with(rest, "    ") || starts_with(rest, "\t")) return true;
    const char c = content[0];
    if ((c == '*' || c == '+' || c == '-') && (content.size() == 1 || content[1] == ' ')) return true;
    return c == '#' || c == '|' || is_ordered_marker(first_word(content));
  }

  bool list_item(std::string_view line, std::string_view t) {
    if (t.empty()) return false;
    std::string marker;
    std::string_view rest;
    if ((t[0] == '*' || t[0] == '+' || t[0] == '-') && (t.size() == 1 || t[1] == ' ')) {
      marker.assign(1, t[0]);
      rest = trim_start(t.substr(1));
    } else {
      const std::string_view w = first_word(t);
      if (!is_ordered_marker(w)) return false;
      marker.assign(w);
      rest = trim_start(t.substr(w.size()));
    }
    flush_paragraph();
    const std::string_view indent = line.substr(0, line.size() - t.size());
    if (rest.empty()) {
      out_.append(indent);
      out_.append(marker);
      out_.push_back('\n');
      return true;
    }
    marker.push_back(' ');
    const std::string_view trimmed = trim_unicode_space(rest);
    if (is_single_link(trimmed)) {
      out_.append(indent);
      out_.append(marker);
      out_.append(trimmed);
      out_.push_back('\n');
      return true;
    }
    std::string first_prefix(indent);
    first_prefix += marker;
    std::string next_prefix(indent);
    next_prefix.append(marker.size(), ' ');
    auto fill_width = [&](std::size_t prefix_len) -> std::uint64_t {
      return prefix_len >= width_ ? width_ : width_ - prefix_len;
    };
    fill_words(split_unicode_space(rest), fill_width(first_prefix.size()), fill_width(next_prefix.size()),
               first_prefix, next_prefix, out_);
    out_.push_back('\n');
    return true;
  }

  static bool is_single_link(std::string_view r) {
    if (r.size() < 4 || r.front() != '[' || r.back() != ')') return false;
    const std::size_t mid = r.find("](");
    if (mid == std::string_view::npos) return false;
    const std::string_view target = r.substr(mid + 2, r.size() - mid - 3);
    if (target.find("](") != std::string_view::npos) return false;
    for (std::size_t k = 0; k < target.size(); ++k) {
      if (space_len_at(target, k) != 0) return false;
    }
    return true;
  }

  std::string_view text_;
  std::uint64_t width_;
  std::string out_;
  std::string paragraph_;
  std::string quote_;
  std::string quote_prefix_;
  bool in_fence_ = false;
  bool in_quote_fence_ = false;  // inside a fence that stands in a quote
};

}  // namespace

std::string wrap_emit_line(std::string_view text, std::uint64_t width) {
  if (text.size() <= width) return std::string(text);
  std::string out;
  out.reserve(text.size());
  fill_words(split_unicode_space(text), width, width, {}, {}, out);
  return out;
}

std::string wrap_prefixed_paragraph(std::string_view prefix, std::string_view text, std::uint64_t width) {
  if (text.empty()) return std::string(prefix);
  const std::uint64_t inner = prefix.size() < width ? width - prefix.size() : 1;
  const std::string filled = wrap_emit_line(text, inner);
  std::string out;
  out.reserve(filled.size() + prefix.size() * 4);
  std::size_t pos = 0;
  while (true) {
    const std::size_t nl = filled.find('\n', pos);
    out.append(prefix);
    out.append(filled, pos, nl == std::string::npos ? std::string::npos : nl - pos);
    if (nl == std::string::npos) break;
    out.push_back('\n');
    pos = nl + 1;
  }
  return out;
}

std::string wrap_markdown(std::string_view text, std::uint64_t width) { return Wrapper(text, width).run(); }

}  // namespace tidewell
