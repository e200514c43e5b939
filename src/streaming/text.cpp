// Writing a text run: what is owed before it, its Markdown escaping in
// context, and the figcaption openers that wait for content.
#include <algorithm>
#include <array>

#include "common/ascii.hpp"
#include "common/char_sides.hpp"
#include "common/unicode_space.hpp"
#include "streaming/processor.hpp"

namespace tidewell::streaming {
namespace {

using scan::is_digit;

bool is_hex(unsigned char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool is_code_space(unsigned char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

// A byte that may start a non-ASCII white space character (U+0085, U+00A0,
// U+1680, U+2000 to U+205F, U+3000).
bool starts_unicode_space_byte(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b == 0xC2 || (b >= 0xE1 && b <= 0xE3);
}

bool only_code_space(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return is_code_space(static_cast<unsigned char>(c)); });
}

// Bytes escape_inline_markdown looks at.
constexpr std::array<bool, 256> make_escape_class() {
  std::array<bool, 256> t{};
  for (unsigned char c : std::string_view("\n\r #)*+-.<>[\\]_`|~")) t[c] = true;
  for (int c = '0'; c <= '9'; ++c) t[c] = true;
  return t;
}
constexpr std::array<bool, 256> kEscapeClass = make_escape_class();

// "\&#x41;", "\&#65;" or "\&name;" at `i` (the backslash).
bool backslash_before_reference(std::string_view text, std::size_t i) {
  std::size_t j = i + 1;
  if (j >= text.size() || text[j] != '&') return false;
  ++j;
  if (j < text.size() && text[j] == '#') {
    ++j;
    bool hex = false;
    if (j < text.size() && (text[j] == 'x' || text[j] == 'X')) {
      hex = true;
      ++j;
    }
    const std::size_t start = j;
    while (j < text.size() && (hex ? is_hex(text[j]) : is_digit(text[j]))) ++j;
    return j > start && j < text.size() && text[j] == ';';
  }
  const std::size_t start = j;
  while (j < text.size() && is_ascii_alnum(text[j])) ++j;
  return j > start && j < text.size() && text[j] == ';';
}

}  // namespace

bool is_flanking_boundary(bool last_inline, std::optional<unsigned char> last, std::string_view text) {
  if (!last || last_inline || text.empty()) return false;
  switch (*last) {
    case '\0': case '\t': case '\n': case ' ': case '>': case '[': return false;
    default: break;
  }
  switch (text[0]) {
    case ' ': case '!': case ')': case '*': case ',': case '.': case ':': case ';': case '?': case ']': case '_':
    case '`':
      return false;
    default: return true;
  }
}

void backslash_escape(std::string& out, std::string_view text, std::string_view set) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x80 && set.find(c) != std::string_view::npos) out.push_back('\\');
    out.push_back(c);
  }
}

void write_link_destination(std::string& out, std::string_view url, std::string_view title) {
  out.push_back('(');
  if (url.find_first_of("\t\n\f\r ()<>\\") != std::string_view::npos) {
    out.push_back('<');
    backslash_escape(out, url, "<>\\");
    out.push_back('>');
  } else {
    out.append(url);
  }
  if (!title.empty()) {
    out += " \"";
    backslash_escape(out, title, "\"\\");
    out.push_back('"');
  }
  out.push_back(')');
}

std::optional<std::string> escape_html_block_text(bool table_open, bool in_link, std::string_view text) {
  auto entity = [&](char c) -> const char* {
    switch (c) {
      case '\n': return "&#10;";
      case '\r': return "&#13;";
      case '&': return "&amp;";
      case '<': return "&lt;";
      case '>': return "&gt;";
      case '[': return in_link ? "&#91;" : nullptr;
      case ']': return in_link ? "&#93;" : nullptr;
      case '|': return table_open ? "&#124;" : nullptr;
      default: return nullptr;
    }
  };
  if (std::none_of(text.begin(), text.end(), [&](char c) { return entity(c) != nullptr; })) return std::nullopt;
  std::string out;
  out.reserve(text.size() + 16);
  append_with_entities(out, text, entity);
  return out;
}

std::string escape_cell_code_text(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && (text[b] == '\n' || text[b] == '\r')) ++b;
  while (e > b && (text[e - 1] == '\n' || text[e - 1] == '\r')) --e;
  std::string out;
  out.reserve(e - b);
  for (std::size_t i = b; i < e; ++i) {
    const char c = text[i];
    switch (c) {
      case '\r':
        out += "<br>";
        if (i + 1 < e && text[i + 1] == '\n') ++i;
        break;
      case '\n': out += "<br>"; break;
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '|': out += "&#124;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

// ---------------------------------------------------------------- line state

// The indentation (0 to 3 spaces) of the output position when it is a line
// start: after a line feed, after up to three spaces that follow one, or
// right after a list marker.
std::optional<unsigned> Processor::line_start_indent_at(std::size_t size) const {
  if (size == 0) {
    if (line_start_kind_ == 0 || line_start_kind_ == 5) return 0u;
    if (tail_bytes_[1] == '\n') return 0u;
    if (line_start_kind_ == 1 && line_start_indent_ <= 3) return static_cast<unsigned>(line_start_indent_);
    return std::nullopt;
  }
  if (output_[size - 1] == '\n') return 0u;
  std::size_t j = size;
  while (j > 0 && output_[j - 1] == ' ' && size - j <= 3) --j;
  const std::size_t spaces = size - j;
  if (spaces >= 1 && spaces <= 3) {
    if (j > 0 && output_[j - 1] == '\n') return static_cast<unsigned>(spaces);
    if (j == 0) {
      if (line_start_kind_ == 0 || tail_bytes_[1] == '\n') return static_cast<unsigned>(spaces);
      if (line_start_kind_ == 1 && line_start_indent_ + spaces <= 3)
        return static_cast<unsigned>(line_start_indent_ + spaces);
    }
  }
  // After a list marker and its space: a marker with no space after it
  // (an emphasis opener, a '-' in a word) starts no item.
  std::size_t k = size;
  while (k > 0 && output_[k - 1] == ' ') --k;
  if (k < size && is_list_marker_at(k)) return 0u;
  return std::nullopt;
}

// The offset of the '.' or ')' in `text` that makes the line so far a list
// item's marker: `text` is digits, then that delimiter, then white space or
// nothing, and the line is a number of digits that those continue, at most
// nine in all. npos when it makes none.
std::size_t Processor::number_marker_delimiter(std::string_view text) const {
  std::size_t d = 0;
  while (d < text.size() && d <= 9 && is_digit(static_cast<unsigned char>(text[d]))) ++d;
  if (d == text.size() || (text[d] != '.' && text[d] != ')')) return std::string_view::npos;
  if (d + 1 < text.size() && !scan::is_ws(static_cast<unsigned char>(text[d + 1]))) return std::string_view::npos;
  return follows_number_at_line_start(d) ? d : std::string_view::npos;
}

bool Processor::follows_number_at_line_start(std::size_t more_digits) const {
  const std::size_t end = output_.size();
  std::size_t k = end;
  while (k > 0 && end - k + more_digits <= 9 && is_digit(output_[k - 1])) --k;
  if (k == end || end - k + more_digits > 9) return false;
  return at_document_start(k) || line_start_indent_at(k).has_value();
}

// Whether the output before `pos` is white space alone. A run of it at the
// start is walked once between edits other than appends.
bool Processor::only_space_before(std::size_t pos) const {
  std::size_t from = 0;
  TrailingRunCache& cache = leading_space_run_;
  if (cache.epoch == output_epoch_ && cache.length <= output_.size()) {
    if (cache.run_start < cache.length) return pos <= cache.run_start;
    from = cache.length;
  }
  const std::size_t end = skip_unicode_space(output_, from);
  cache = TrailingRunCache{output_epoch_, output_.size(), end};
  return pos <= end;
}

bool Processor::output_at_line_start() const {
  return at_document_start(output_.size()) || line_start_indent().has_value();
}

bool Processor::needs_line_start_escape(std::string_view text) const {
  if (text.empty()) return false;
  unsigned char c0 = static_cast<unsigned char>(text[0]);
  // White space that starts the document goes with its final trim, spaces
  // and no-break spaces alike.
  if ((c0 == ' ' || (c0 >= 0x80 && starts_unicode_space_byte(text[0]) && space_len_at(text, 0) > 0)) &&
      at_document_start(output_.size())) {
    text.remove_prefix(skip_unicode_space(text, 0));
    if (text.empty()) return false;
    c0 = static_cast<unsigned char>(text[0]);
  }
  if (c0 == '.' || c0 == ')' || is_digit(c0)) {
    if (number_marker_delimiter(text) != std::string_view::npos) return true;
    if (!is_digit(c0)) return false;
  }
  if (!(c0 == ' ' || c0 == '#' || c0 == '+' || c0 == '-' || c0 == '>' || is_digit(c0))) return false;
  std::optional<unsigned> indent = line_start_indent_at(output_.size());
  if (!indent) {
    if (!at_document_start(output_.size())) return false;
    indent = 0;
  }
  std::size_t i = 0;
  unsigned level = *indent;
  while (i < text.size() && text[i] == ' ' && level < 3) {
    ++i;
    ++level;
  }
  if (i >= text.size()) return false;
  const unsigned char c = static_cast<unsigned char>(text[i]);
  return c == '#' || c == '+' || c == '-' || c == '>' || is_digit(c);
}

// ---------------------------------------------------------------- escaping

std::optional<std::string> Processor::escape_inline_markdown(std::string_view text) const {
  const bool table = is_open(kTable);
  const bool quote = is_open(kBlockquote);
  const bool link = is_open(kA);
  scan::CowWriter out(text);
  auto emit = [&](std::size_t i, std::string_view replacement) { out.replace(i, i + 1, replacement, 16); };
  auto escape_at = [&](std::size_t i) {
    const char pair[2] = {'\\', text[i]};
    emit(i, std::string_view(pair, 2));
  };
  std::optional<unsigned> indent = output_at_line_start() ? std::optional<unsigned>(line_start_indent().value_or(0))
                                                          : std::nullopt;
  bool line_start = indent.has_value();
  unsigned spaces = indent.value_or(0);
  const std::size_t n = text.size();
  std::size_t i = 0;
  // "1" then ")" (or "1)") from another element: "11)" would start a list.
  if (const std::size_t delimiter = n > 0 ? number_marker_delimiter(text) : std::string_view::npos;
      delimiter != std::string_view::npos) {
    escape_at(delimiter);
    line_start = false;
    i = delimiter + 1;
  }
  // White space that starts the document goes with its final trim: what
  // follows it starts the first line.
  const bool may_start_document = line_start && line_start_kind_ == 0;
  for (; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (!kEscapeClass[c]) {
      if (may_start_document && line_start && starts_unicode_space_byte(text[i]) && space_len_at(text, i) > 0 &&
          at_document_start(output_.size())) {
        i += space_len_at(text, i) - 1;
        continue;
      }
      line_start = false;
      continue;
    }
    switch (c) {
      case '\n':
        if (table) emit(i, "&#10;");
        line_start = true;
        spaces = 0;
        continue;
      case '\r':
        if (table) emit(i, "&#13;");
        continue;
      case ' ':
        if (line_start && ++spaces > 3) line_start = false;
        continue;
      case '\\':
        if (!backslash_before_reference(text, i)) escape_at(i);
        line_start = false;
        continue;
      case '*': case '_': {
        // A run that can neither open nor close emphasis stays bare:
        // "snake_case", "2 * 3". Its neighbours must be in this text (what
        // stands beyond it is not known), and not at a line start, where
        // "* " starts a list item and "_ _ _" a rule.
        std::size_t j = i;
        while (j < n && text[j] == static_cast<char>(c)) ++j;
        const bool inside = i > 0 && j < n && !line_start;
        const bool spaced = inside && scan::is_ws(static_cast<unsigned char>(text[i - 1])) &&
                            scan::is_ws(static_cast<unsigned char>(text[j]));
        const bool in_word = inside && c == '_' && is_ascii_alnum(text[i - 1]) && is_ascii_alnum(text[j]);
        // Otherwise every marker of the run gets its backslash: the run is
        // walked once, however long it is.
        if (!spaced && !in_word) {
          for (std::size_t k = i; k < j; ++k) escape_at(k);
        }
        i = j - 1;
        line_start = false;
        continue;
      }
      case '[': case '`': case '~':
        escape_at(i);
        line_start = false;
        continue;
      case '|':
        if (table) escape_at(i);
        line_start = false;
        continue;
      case '<':
        // At the end of the text what follows is not known yet.
        if (i + 1 == n || scan::is_letter(text[i + 1]) || text[i + 1] == '!' || text[i + 1] == '/' ||
            text[i + 1] == '?')
          escape_at(i);
        line_start = false;
        continue;
      case ']':
        if (link) escape_at(i);
        line_start = false;
        continue;
      case '>':
        if (line_start || quote) escape_at(i);
        line_start = false;
        continue;
      case '#': {
        if (line_start) {
          std::size_t j = i;
          while (j < n && text[j] == '#') ++j;
          const std::size_t run = j - i;
          if (run <= 6 && (j == n || scan::is_ws(static_cast<unsigned char>(text[j])))) escape_at(i);
        }
        line_start = false;
        continue;
      }
      case '+': case '-': {
        if (line_start) {
          bool escape = i + 1 == n || scan::is_ws(static_cast<unsigned char>(text[i + 1]));
          if (!escape && c == '-') {
            std::size_t dashes = 0;
            bool other = false;
            for (std::size_t j = i; j < n && text[j] != '\n'; ++j) {
              if (text[j] == '-') ++dashes;
              else if (text[j] != ' ' && text[j] != '\t') other = true;
            }
            escape = dashes >= 3 && !other;
          }
          if (escape) escape_at(i);
        }
        line_start = false;
        continue;
      }
      default: {
        if (is_digit(c) && line_start) {
          std::size_t j = i;
          while (j < n && is_digit(text[j]) && j - i < 10) ++j;
          if (j - i <= 9 && j < n && (text[j] == '.' || text[j] == ')') &&
              (j + 1 == n || scan::is_ws(static_cast<unsigned char>(text[j + 1])))) {
            escape_at(j);
            i = j;
          }
        }
        line_start = false;
        continue;
      }
    }
  }
  return out.finish();
}

// ---------------------------------------------------------------- write_text

void Processor::write_text(std::string_view text, bool soft) {
  const bool needs_escape = text_needs_escape_;
  text_needs_escape_ = false;
  if (text.empty()) return;
  if (!marker_pairs_.empty()) settle_marker_pairs(false);

  bool owed = false;
  const bool marker_waiting = std::any_of(deferred_markers_.begin(), deferred_markers_.end(),
                                          [](const DeferredMarker& m) { return m.state != 2; });
  if (break_state_ != 0 || marker_waiting) {
    if (text[0] == ' ') text.remove_prefix(1);
    if (!has_visible_text(text)) return;
    owed = true;
    flush_all_deferred_separators();
    if (break_state_ == 1) write_newline_padding(break_newlines_, true);
    write_emphasis_marker(1);
    break_state_ = 0;
    // The text starts a block or a caption: a space owed before it would
    // stand at its start.
    pending_space_ = false;
  }

  if (list_rule_break_) {
    if (!has_visible_text(text)) return;
    write_blank_line_with_prefix();
  }

  if (pending_space_) {
    if (!has_visible_text(text)) return;
    const auto last = last_byte();
    if (!scan::is_ws(static_cast<unsigned char>(text[0])) && !space_before_link_text() &&
        !move_space_before_openers(" ") && last && *last != '\t' && *last != '\n' && *last != ' ') {
      push_output(" ");
    }
    pending_space_ = false;
  }

  if (fence_pending_) {
    if (only_code_space(text)) return;
    finish_pending_block();
  }

  // White space that starts an element's text, a no-break space too, goes
  // before its markers.
  const bool may_lead = (scan::is_ws(static_cast<unsigned char>(text[0])) || starts_unicode_space_byte(text[0])) &&
                        (!inline_marker_spans_.empty() || at_link_text_start());
  const std::size_t lead = !may_lead || code_text_open() ? 0 : category_space_prefix(text);
  if (lead > 0 &&
      (move_space_before_openers(text.substr(0, lead)) || (lead < text.size() && space_before_link_text()))) {
    text.remove_prefix(lead);
    if (text.empty()) {
      soft_space_ = soft;
      text_written_ = true;
      return;
    }
  }

  if (inner_break_owed_ && is_open(kPre)) {
    push_output("\n\n");
    inner_break_owed_ = false;
  }

  const std::optional<unsigned char> last = last_byte();
  if (text == " " && last && (*last == '\t' || *last == '\n' || *last == '\r' || *last == ' ')) {
    soft_space_ = soft;
    text_written_ = true;
    last_element_inline_ = false;
    return;
  }

  const bool in_pre = is_open(kPre);
  std::string holder;
  if (in_pre && is_open(kLi) && (text.find('\n') != std::string_view::npos || last == '\n')) {
    std::string rebuilt;
    rebuilt.reserve(text.size() + list_indent_.size() * 4);
    bool at_line_start = last == '\n';
    for (char c : text) {
      if (at_line_start && c != '\n') rebuilt += list_indent_;
      rebuilt.push_back(c);
      at_line_start = c == '\n';
    }
    holder = std::move(rebuilt);
    text = holder;
  }
  if (in_pre && in_cell()) {
    holder = escape_cell_code_text(text);
    text = holder;
  }

  const bool ends_in_less_than = text.back() == '<';
  const bool html_kept = inside_html_block_element();
  if (html_kept) {
    if (!in_pre) {
      if (auto escaped = escape_html_block_text(is_open(kTable), html_link_open_, text)) {
        holder = std::move(*escaped);
        text = holder;
      }
    }
  }

  if (!code_text_open()) {
    const bool contextual =
        !html_kept && ((is_open(kBlockquote) && text.find('>') != std::string_view::npos) ||
                       (is_open(kTable) && text.find('|') != std::string_view::npos) ||
                       (is_open(kA) && text.find(']') != std::string_view::npos));
    if ((needs_escape || contextual || needs_line_start_escape(text)) &&
        (!html_kept || !in_html_block())) {
      if (auto escaped = escape_inline_markdown(text)) {
        holder = std::move(*escaped);
        text = holder;
      }
    }
  }

  const bool flanking_space = (!owed && is_flanking_boundary(last_element_inline_, last, text)) ||
                              (after_kept_heading() && !scan::is_ws(static_cast<unsigned char>(text[0])));
  if (less_than_escape_) settle_less_than_escape(flanking_space ? ' ' : text[0]);
  const std::size_t before = output_.size();
  if (flanking_space) push_output(" ");
  push_output(text);
  last_write_len_ = output_.size() - before;
  // A '<' that ends the text got its backslash for what may follow it.
  if (ends_in_less_than && !html_kept && !code_text_open() && output_ends_with("\\<")) {
    less_than_escape_ = output_.size() - 2;
  }
  if (has_visible_text(text)) inline_marker_spans_.clear();
  soft_space_ = soft;
  text_written_ = true;
  last_element_inline_ = true;
}

// The backslash before a '<' that ended the text written last goes when
// the byte written next after it cannot make it start a tag or an
// automatic link (a letter, '!', '/' or '?' could).
void Processor::settle_less_than_escape(char next) {
  if (!less_than_escape_) return;
  const std::size_t at = *less_than_escape_;
  less_than_escape_.reset();
  if (at + 2 != output_.size() || output_.compare(at, 2, "\\<") != 0) return;
  if (scan::is_letter(next) || next == '!' || next == '/' || next == '?') return;
  delete_output_range(at, at + 1);
  if (last_write_len_ > 0) --last_write_len_;
}

// ---------------------------------------------------------------- figcaption

void Processor::write_emphasis_marker(std::uint8_t mode) {
  if (mode != 0) {
    for (DeferredMarker& m : deferred_markers_) {
      if (m.state == 1) m.state = 2;
    }
  }
  for (std::size_t i = 0; i < deferred_markers_.size(); ++i) {
    if (deferred_markers_[i].state != 0) continue;
    std::optional<std::string> padding;
    if (!deferred_markers_[i].no_padding) padding = newline_padded_marker(list_indent_, deferred_markers_[i].newlines_before);
    if (padding && output_ends_with(" ")) {
      trim_trailing_spaces();
      deferred_markers_[i].space_flag = true;
    }
    DeferredMarker& m = deferred_markers_[i];
    m.position = output_.size();
    if (padding) push_output(*padding);
    if (!(mode == 2 && i + 1 == deferred_markers_.size())) push_output("*");
    m.content_position = output_.size();
    m.state = mode == 0 ? 1 : 2;
  }
}

void Processor::drop_empty_caption_markers() {
  for (std::size_t i = deferred_markers_.size(); i-- > 0;) {
    DeferredMarker& m = deferred_markers_[i];
    if (m.state != 1) continue;
    if (has_visible_text(std::string_view(output_).substr(std::min(m.content_position, output_.size())))) break;
    truncate_output(std::min(m.position, output_.size()));
    m.state = 0;
    last_write_len_ = 0;
    if (m.space_flag) {
      push_output(" ");
      last_write_len_ = 1;
    }
  }
}

void Processor::flush_deferred_separators(std::optional<HeldSeparator>& held) {
  if (!held) return;
  const HeldSeparator separator = std::move(*held);
  held.reset();
  trim_trailing_spaces();
  for (std::uint64_t k = 0; k < separator.count; ++k) {
    if (separator.text == "\n" && output_ends_with("\n\n")) continue;
    write_block_separator(true, true, 1, &separator.text, false);
  }
}

void Processor::flush_all_deferred_separators() {
  for (std::size_t i = 0; i < deferred_markers_.size(); ++i) flush_deferred_separators(deferred_markers_[i].held_separator);
}

bool Processor::defer_caption_separator(std::string_view text) {
  if (deferred_markers_.empty() || deferred_markers_.back().state == 2) return false;
  for (DeferredMarker& m : deferred_markers_) {
    if (m.state != 2) m.no_padding = true;
  }
  if (deferred_markers_.back().held_separator && deferred_markers_.back().held_separator->text != text) {
    flush_all_deferred_separators();
  }
  std::optional<HeldSeparator>& held = deferred_markers_.back().held_separator;
  if (held) ++held->count;
  else held = HeldSeparator{std::string(text), 1};
  return true;
}

void Processor::mark_frames_with_content() {
  const std::size_t from = innermost_block_ ? *innermost_block_ : 0;
  bool link_inside = false;
  for (std::size_t i = from; i < depth_; ++i) {
    ++frames_[i].text_count;
    if (frames_[i].is(kA)) link_inside = true;
  }
  if (link_inside) return;
  for (std::size_t j = from; j-- > 0 && frames_[j].is(kA);) ++frames_[j].child_count;
}

}  // namespace tidewell::streaming
