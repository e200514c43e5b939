// Closing an element: its closing text, the link destination, the separator
// after a block, and the settlement of what the element left open. Also the
// separator writer every opening and closing goes through, and the line
// tests the writers share.
#include <algorithm>
#include <array>

#include "common/ascii.hpp"
#include "streaming/processor.hpp"
#include "streaming/url.hpp"

namespace tidewell::streaming {
namespace {

bool is_heading(TagId id) { return id >= kH1 && id <= kH6; }

bool is_line_space(unsigned char c) { return c == '\t' || c == '\n' || c == ' '; }

constexpr std::array<bool, 256> byte_set(std::string_view set) {
  std::array<bool, 256> t{};
  for (char c : set) t[static_cast<unsigned char>(c)] = true;
  return t;
}
// The space between words: not after these, nor before these; before a
// link's '[', a strikethrough's '~' or an emphasis or code opener only where
// a block ended between (the text ran on to them in the page).
constexpr std::array<bool, 256> kNoSpaceAfter = byte_set("(*>[_`");
constexpr std::array<bool, 256> kNoSpaceBefore = byte_set("!)*,.:;<?]_`");
constexpr std::array<bool, 256> kOpensInline = byte_set("*_`");

constexpr std::string_view kCellBar = " |";

}  // namespace

// ---------------------------------------------------------------- small helpers

std::optional<std::uint64_t> parse_ascii_uint(std::string_view text, std::uint64_t max) {
  std::size_t b = 0, e = text.size();
  while (b < e && scan::is_ws(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && scan::is_ws(static_cast<unsigned char>(text[e - 1]))) --e;
  if (b < e && text[b] == '+') ++b;
  if (b == e) return std::nullopt;
  std::uint64_t value = 0;
  for (std::size_t i = b; i < e; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    // In 64 bits and checked after every digit, so ten digits cannot wrap.
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > max) return std::nullopt;
  }
  return value;
}

std::uint64_t ordered_list_start(const AttributeList& attributes, std::uint64_t index) {
  constexpr std::uint64_t kMax = 999999999;
  std::uint64_t start = 1;
  if (const ParsedAttribute* a = find_attribute(attributes, "start")) start = parse_ascii_uint(a->value, kMax).value_or(1);
  return std::min(start + std::min(index, kMax), kMax);
}

std::optional<unsigned char> Processor::byte_before(std::size_t pos) const {
  if (pos > output_.size()) pos = output_.size();
  if (pos >= 1) return static_cast<unsigned char>(output_[pos - 1]);
  if (line_start_kind_ != 0) return static_cast<unsigned char>(tail_bytes_[1]);
  return std::nullopt;
}

std::optional<unsigned char> Processor::last_byte() const { return byte_before(output_.size()); }

bool Processor::output_ends_with(std::string_view s) const {
  return output_.ends_with(s);
}

std::size_t Processor::floor_boundary(std::size_t pos) const {
  if (pos >= output_.size()) return output_.size();
  while (pos > 0 && (static_cast<unsigned char>(output_[pos]) & 0xC0) == 0x80) --pos;
  return pos;
}

// Line feeds at the end of the output, at most `limit`, counting the bytes
// remembered from before the buffer when the line state vouches for them.
std::uint8_t Processor::trailing_line_feeds(std::size_t limit) const {
  std::uint8_t count = 0;
  std::size_t i = output_.size();
  while (count < limit && i > 0 && output_[i - 1] == '\n') {
    ++count;
    --i;
  }
  if (i == 0 && count < limit && line_start_kind_ != 0) {
    if (tail_bytes_[1] == '\n') {
      ++count;
      if (count < limit && tail_bytes_[0] == '\n') ++count;
    }
  }
  return count;
}

// `e` is the last open element of those written as HTML (its own count
// still holds it).
bool Processor::closes_outermost_html_element(const ElementFrame& e) const {
  if (!e.known) return false;
  switch (e.tag_id) {
    case kDetails: case kSummary: case kDd: case kDt: case kAddress: case kDl: break;
    default: return false;
  }
  return open_counts_[kDetails] + open_counts_[kSummary] + open_counts_[kDd] + open_counts_[kDt] +
             open_counts_[kAddress] + open_counts_[kDl] == 1;
}

bool Processor::inside_html_block_element() const {
  return open_counts_[kDetails] || open_counts_[kSummary] || open_counts_[kDd] || open_counts_[kDt] ||
         open_counts_[kAddress] || open_counts_[kDl];
}

// The bytes before `pos` end with a list marker ("*", "+", "-", or 1 to 9
// digits and "." or ")") that starts a line after at most three spaces.
bool Processor::is_list_marker_at(std::size_t pos) const {
  if (pos == 0) return line_start_kind_ == 5;
  if (pos > output_.size()) return false;
  const char c = output_[pos - 1];
  std::size_t m;
  if (c == '*' || c == '+' || c == '-') {
    m = pos - 1;
  } else if (c == '.' || c == ')') {
    std::size_t d = pos - 1;
    while (d > 0 && output_[d - 1] >= '0' && output_[d - 1] <= '9' && pos - 1 - d < 10) --d;
    const std::size_t digits = pos - 1 - d;
    if (digits < 1 || digits > 9) return false;
    m = d;
  } else {
    return false;
  }
  std::size_t s = m;
  while (s > 0 && output_[s - 1] == ' ' && m - s < 4) --s;
  if (m - s > 3) return false;
  if (s == 0) {
    return line_start_kind_ == 0 || tail_bytes_[1] == '\n' ||
           (line_start_kind_ == 1 && line_start_indent_ + (m - s) <= 3);
  }
  return output_[s - 1] == '\n';
}

// 0: at a line start (or right after a list marker); 1: the line is a table
// row; 2: other text on the line.
std::uint8_t Processor::line_starts_list_item() const {
  const std::size_t size = output_.size();
  if (size == 0) {
    switch (line_start_kind_) {
      case 3: return 1;
      case 2: case 4: return 2;
      default: return 0;
    }
  }
  if (output_[size - 1] == '\n') return 0;
  const std::size_t lf = output_.rfind('\n');
  const bool from_before = lf == std::string::npos;
  const std::size_t ls = from_before ? 0 : lf + 1;
  if (from_before) {
    if (line_start_kind_ == 3) return 1;
    if (line_start_kind_ == 2 || line_start_kind_ == 4) return 2;
  }
  std::size_t k = ls;
  while (k < size && (output_[k] == ' ' || output_[k] == '\t')) ++k;
  if (k == size) return 0;
  std::size_t end = size;
  while (end > ls && output_[end - 1] == ' ') --end;
  if (is_list_marker_at(end)) return 0;
  if (from_before && line_start_kind_ == 5) return 2;
  return output_[k] == '|' ? 1 : 2;
}

// ---------------------------------------------------------------- separators

std::optional<std::string> Processor::leading_separator_for(std::string_view text) const {
  if (output_.empty()) {
    if (line_start_kind_ == 0 || line_start_kind_ == 5 || tail_bytes_[1] == '\n' || tail_bytes_[1] == ' ') {
      return std::nullopt;
    }
    return "\n\n" + std::string(text);
  }
  std::size_t j = output_.size();
  while (j > 0 && output_[j - 1] == ' ') --j;
  if (j < output_.size()) {
    const bool line_of_spaces =
        j == 0 ? (line_start_kind_ <= 1 || tail_bytes_[1] == '\n') : output_[j - 1] == '\n';
    if (line_of_spaces) return std::nullopt;
  }
  if (is_list_marker_at(j)) return std::nullopt;
  if (output_.back() == '\n') {
    if (text.empty()) return std::nullopt;
    return std::string(text);
  }
  return "\n\n" + std::string(text);
}

std::optional<std::string> Processor::newline_padded_marker(std::string_view text, std::uint8_t count) const {
  if (count == 0) return std::nullopt;
  std::size_t end = output_.size();
  if (!text.empty() && output_ends_with(text)) end -= text.size();
  std::size_t i = 0;
  while (end > 0 && output_[end - 1] == '\n' && i < 255) {
    --end;
    ++i;
  }
  if (end == 0 && i < count && line_start_kind_ != 0 && tail_bytes_[1] == '\n') {
    ++i;
    if (tail_bytes_[0] == '\n') ++i;
  }
  if (i == 0 && !leading_separator_for(text)) return std::nullopt;
  if (i < count) return std::string(count - i, '\n') + std::string(text);
  auto sep = leading_separator_for(text);
  if (sep && !sep->empty()) return sep;
  return std::nullopt;
}

void Processor::write_newline_padding(std::uint8_t count, bool with_prefix) {
  auto padding = newline_padded_marker(with_prefix ? std::string_view(list_indent_) : std::string_view(), count);
  if (!padding) return;
  push_output(*padding);
  last_write_len_ = padding->size();
}

std::string Processor::build_line_prefix() const {
  std::string prefix;
  std::size_t li_seen = 0;
  for (std::size_t i = 0; i < depth_; ++i) {
    const ElementFrame& f = frames_[i];
    if (f.is(kLi) || f.under_item) {
      const std::size_t width = li_seen < list_indent_widths_.size() ? list_indent_widths_[li_seen] : 2;
      prefix.append(width, ' ');
      ++li_seen;
    } else if (f.is(kBlockquote) && quote_regions_.empty()) {
      prefix += "> ";
    }
  }
  return prefix;
}

void Processor::write_blank_line_with_prefix() {
  const std::string text = "\n\n" + build_line_prefix();
  push_output(text);
  last_write_len_ = text.size();
  list_rule_break_ = false;
}

// The lowest position trailing trims may reach back to.
static std::size_t trim_floor(const std::optional<FenceOpener>& fence, const std::vector<CodeSpanRecord>& spans,
                              const std::vector<QuoteRegion>& quotes) {
  std::size_t floor = 0;
  if (fence) floor = std::max(floor, fence->end);
  if (!spans.empty()) floor = std::max(floor, spans.back().end);
  if (!quotes.empty()) floor = std::max(floor, quotes.back().start);
  return floor;
}

void Processor::trim_trailing_spaces() {
  const std::size_t floor = trim_floor(open_fence_, code_spans_, quote_regions_);
  std::size_t end = output_.size();
  while (end > floor && output_[end - 1] == ' ') --end;
  if (end == output_.size()) return;
  const std::size_t removed = output_.size() - end;
  truncate_output(end);
  last_write_len_ = last_write_len_ > removed ? last_write_len_ - removed : 0;
  pending_newline_scan_ = std::min(pending_newline_scan_, end);
}

void Processor::take_back_soft_space(bool before, bool is_inline, std::uint8_t newlines, const ElementFrame* /*e*/) {
  soft_space_ = text_written_ = false;
  const ElementFrame* f = innermost();
  if (is_open(kPre) && !(f && f->is(kPre))) return;
  const bool f_phrasing = f && f->phrasing_context;
  const bool f_explicit = f && f->explicit_spacing;
  bool cut = false;
  if (is_inline) {
    cut = !before && last_write_len_ > 0;
  } else if (newlines == 0 || f_phrasing) {
    cut = (!before && last_write_len_ > 0) || (before && !f_phrasing && !f_explicit && last_write_len_ > 0);
  }
  if (!cut) return;
  const std::size_t size = output_.size();
  const std::size_t write_start = size - std::min(last_write_len_, size);
  const std::size_t floor = std::max(write_start, trim_floor(open_fence_, code_spans_, quote_regions_));
  std::size_t end = size;
  while (end > floor && scan::is_ws(static_cast<unsigned char>(output_[end - 1]))) --end;
  if (end == size) return;
  truncate_output(end);
  last_write_len_ = end > write_start ? end - write_start : 0;
  pending_newline_scan_ = std::min(pending_newline_scan_, end);
  if (!before && is_inline) {
    pending_space_ = true;
    escape_bare_run_at_end(write_start);
  }
}

// A run of '*' or '_' that the text left bare between white space ("2 * 3")
// ends the output once the white space after it went (to stand after the
// closer that comes now): what follows it is no longer white space, and it
// gets its backslashes, as a run at the end of a text does.
void Processor::escape_bare_run_at_end(std::size_t write_start) {
  const std::size_t size = output_.size();
  if (size == 0 || (output_.back() != '*' && output_.back() != '_')) return;
  if (code_text_open() || (inside_html_block_element() && in_html_block())) return;
  const char mark = output_.back();
  std::size_t run = size;
  while (run > write_start && output_[run - 1] == mark) --run;
  if (run == write_start || !scan::is_ws(static_cast<unsigned char>(output_[run - 1]))) return;
  std::string escaped;
  for (std::size_t k = run; k < size; ++k) {
    escaped += '\\';
    escaped += mark;
  }
  replace_output(run, size - run, escaped);
  last_write_len_ += size - run;
}

void Processor::write_block_separator(bool before, bool is_inline, std::uint8_t newlines, const std::string* text,
                                      bool raw, const ElementFrame* e) {
  // 1. The inline space owed from an earlier closing.
  if (!before) {
    if (!(is_inline && newlines == 0)) pending_space_ = false;
  } else if (newlines != 0 || !is_inline ||
             (!raw && text && (text->starts_with('\n') || text->starts_with("\\\n")))) {
    pending_space_ = false;
  } else if (text) {
    if (!text->empty() && ((*text)[0] == '\n' || (*text)[0] == '\r')) {
      pending_space_ = false;
    } else {
      // Before openers waiting for content the space goes in front of them.
      if (pending_space_ && !space_before_link_text() && !move_space_before_openers(" ")) {
        const auto last = last_byte();
        if (last && !is_line_space(*last) &&
            (text->empty() || !scan::is_ws(static_cast<unsigned char>((*text)[0])))) {
          push_output(" ");
        }
      }
      pending_space_ = false;
    }
  }
  if (newlines == 0 && !text && !soft_space_) {
    // An inline element that writes nothing leaves the boundary as it was.
    if (!is_inline) last_element_inline_ = false;
    return;
  }

  // 2. Newlines already there.
  std::uint8_t have;
  if (!before && text && text->size() >= 3 && (text->ends_with("```") || text->ends_with("~~~"))) have = 0;
  else have = trailing_line_feeds(2);
  const std::uint8_t need = newlines > have ? static_cast<std::uint8_t>(newlines - have) : 0;

  // Code keeps its last line as it stands when its element closes, and a
  // code span the white space at its end, which its closer was chosen for.
  const auto closes_code = [&] {
    return !before && e != nullptr &&
           ((fence_open_ && (e->is(kPre) || e->is(kCode))) ||
            (e->is_inline && e->known && inline_kind_of_tag(e->tag_id) == 5 && !is_open(kPre)));
  };
  if (need == 0) {
    if (soft_space_ && (is_inline || depth_ > 0) && !closes_code()) take_back_soft_space(before, is_inline, newlines, e);
    if (before && !raw && text && !text->empty() && (*text)[0] != '\n' && !text->starts_with("\\\n")) {
      const auto last = last_byte();
      const unsigned char first = static_cast<unsigned char>((*text)[0]);
      const bool block_between = !last_element_inline_;
      if (last && !is_line_space(*last) && !is_line_space(first) &&
          ((*last == '|' && first == '<') || after_kept_heading() ||
           (!kNoSpaceAfter[*last] && (!kNoSpaceBefore[first] || (block_between && kOpensInline[first])) &&
            !((first == '[' || first == '~') && !block_between)))) {
        push_output(" ");
      }
    }
    if (text) push_output(*text);
  } else if (output_.empty() && !output_started_) {
    if (text) push_output(*text);
  } else {
    if (!output_.empty() && output_.back() == ' ' && !closes_code()) {
      trim_trailing_spaces();
      soft_space_ = text_written_ = false;
    }
    if (before) {
      output_.append(need, '\n');
      if (text) push_output(*text);
    } else {
      if (text) push_output(*text);
      output_.append(need, '\n');
    }
  }
  if (text) last_write_len_ = text->size();
  last_element_inline_ = is_inline;
}

// White space that starts a link's text goes before its "[", where it
// parts the link from the word before it ("x [T](u)", not "x[ T](u)"): one
// space, none after white space. True when the output ends with the "[" of
// the link being written, nothing of its text yet.
bool Processor::space_before_link_text() {
  if (!at_link_text_start() || inside_html_block_element()) return false;
  const std::size_t start = current_region_.start;
  const std::optional<unsigned char> before = byte_before(start);
  if (before && !scan::is_ws(*before) && !at_document_start(start)) {
    // What ends before the "[" stays before the space; the region moves
    // with its "[".
    insert_output_after(start, " ");
    ++current_region_.start;
  }
  return true;
}

// ---------------------------------------------------------------- headings

void Processor::escape_trailing_heading_hashes() {
  std::size_t end = output_.size();
  while (end > 0 && (output_[end - 1] == ' ' || output_[end - 1] == '\t')) --end;
  if (end == 0 || output_[end - 1] != '#') return;
  const std::size_t lf = end > 0 ? output_.rfind('\n', end - 1) : std::string::npos;
  const bool line_in_buffer = lf != std::string::npos || line_start_kind_ == 0 || tail_bytes_[1] == '\n';
  std::size_t marker_end = lf == std::string::npos ? 0 : lf + 1;
  if (line_in_buffer) {
    while (marker_end < end && output_[marker_end] == '#') ++marker_end;
    if (marker_end < end && output_[marker_end] == ' ') ++marker_end;
  }
  std::size_t run = end;
  while (run > marker_end && output_[run - 1] == '#') --run;
  // An empty heading: its hashes are its marker.
  if (run == end) return;
  bool escape;
  if (run == marker_end && line_in_buffer) {
    escape = true;
  } else if (run > 0) {
    escape = output_[run - 1] == ' ' || output_[run - 1] == '\t';
  } else {
    escape = line_start_kind_ != 0 && (tail_bytes_[1] == ' ' || tail_bytes_[1] == '\t');
  }
  if (escape) insert_output(run, "\\");
}

// ---------------------------------------------------------------- closing

Opener Processor::write_close_markup(const ElementFrame& e, std::uint64_t colspan) const {
  if (!e.known) return std::nullopt;
  if (code_text_open(&e) && (quillmoor_is_inline_tag(e.tag_id) || (e.is(kCode) && !is_open(kPre)))) {
    return std::nullopt;
  }
  const bool cell = in_cell();
  const bool nested_table = open_counts_[kTable] > 1;
  auto as_html = [&] { return Opener(html_tag(e.tag_id, true)); };
  switch (e.tag_id) {
    case kDetails: case kSummary: return cell ? *as_html() : *as_html() + "\n\n";
    case kSub: case kSup: case kIns: case kMark: case kU: case kDd: case kDt: case kAddress: case kDl: return as_html();
    case kUl: case kLi: case kOl: case kTable: case kThead: return cell ? as_html() : std::nullopt;
    case kCenter: return nested_table ? as_html() : std::nullopt;
    case kH1: case kH2: case kH3: case kH4: case kH5: case kH6:
      return (is_open(kA) || cell) ? as_html() : std::nullopt;
    case kStrong: case kB: return nested_emphasis({kStrong, kB}) ? "" : "**";
    case kEm: case kI: case kCite: return nested_emphasis({kEm, kI, kCite}) ? "" : "*";
    case kDel: case kS: case kStrike: return nested_emphasis({kDel, kS, kStrike}) ? "" : "~~";
    case kCode:
      if (!is_open(kPre)) return inside_html_block_element() ? *as_html() : "`";
      return cell ? as_html() : std::nullopt;
    case kA: return inside_html_block_element() ? write_html_open_tag(e, false) : std::nullopt;
    case kTr: return (!cell && !nested_table) ? std::string(kCellBar) : *as_html();
    case kTh: case kTd: {
      if (nested_table) return as_html();
      if (colspan < 2) return std::nullopt;
      std::string bars;
      for (std::uint64_t k = 1; k < colspan; ++k) bars += kCellBar;
      return bars;
    }
    case kPre:
      if (cell) return as_html();
      if (!fence_open_) return std::nullopt;
      if (!is_open(kLi)) return "\n```";
      return "\n" + list_indent_ + "```\n\n" + list_indent_;
    case kKbd: case kSamp: case kVar: return "`";
    case kAbbr: case kSmall: case kTime: case kBdo: case kRuby: case kRt: case kRp: return "";
    case kQ: return "\"";
    case kFigcaption: return "*";
    case kDfn: return "**";
    default: return std::nullopt;
  }
}

std::string Processor::header_separator_row() {
  const std::size_t n = std::max<std::size_t>(cell_index_, column_alignments_.size());
  std::string row(kCellBar);
  row += '\n';
  if (is_open(kLi)) row += list_indent_;
  row += '|';
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t align = i < column_alignments_.size() ? column_alignments_[i] : 0;
    row += ' ';
    row += align == 1 ? ":---" : align == 2 ? ":---:" : align == 3 ? "---:" : "---";
    row += " |";
  }
  separator_written_ = true;
  column_count_ = n;
  return row;
}

void Processor::finish_link(const ElementFrame& e, std::uint8_t newlines) {
  write_block_separator(false, e.is_inline, newlines, nullptr, false, &e);
  if (const ParsedAttribute* href = find_attribute(e.attributes, "href")) {
    const std::string url = resolved_url(href->value);
    std::string_view title;
    if (const ParsedAttribute* t = find_attribute(e.attributes, "title"); t && !t->value.empty()) {
      const bool is_link_text = last_write_len_ == t->value.size() && output_ends_with(t->value);
      if (!is_link_text) title = t->value;
    }
    const std::size_t start = current_region_.start;
    const bool autolink = is_autolink_candidate(url) && current_region_.active && !current_region_.released &&
                          start < output_.size() && output_[start] == '[' &&
                          std::string_view(output_).substr(start + 1) == url;
    if (autolink) {
      truncate_output(start);
      push_output("<");
      push_output(url);
      push_output(">");
    } else {
      const std::size_t text_end = output_.size();
      push_output("]");
      write_link_destination(output_, url, title);
      // A pair whose content the link starts or ends may put its markers
      // inside the brackets.
      if (!marker_pairs_.empty() && current_region_.active && !current_region_.released && start < text_end &&
          output_[start] == '[') {
        held_links_.push_back(LinkSpan{e.serial, start, text_end, output_.size()});
      }
    }
    last_write_len_ = output_.size() >= start ? output_.size() - start : 0;
  }
  pop_pending_region();
  last_element_inline_ = e.is_inline;
}

void Processor::write_close_element(ElementFrame& e) {
  if (!marker_pairs_.empty()) settle_marker_pairs(false);
  if (e.in_template) {
    last_element_inline_ = e.is_inline;
    return;
  }
  if (e.is(kPre) && !inner_fences_.empty() && inner_fences_.back().serial == e.serial) {
    close_inner_fence();
    return;
  }
  const bool html_kept = inside_html_block_element();
  if (e.is(kLi)) list_rule_break_ = false;
  if (e.is(kA)) html_link_open_ = false;
  if (e.is(kUl) || e.is(kOl)) {
    // The list is its parent's last child so far.
    list_end_ = ListEnd{depth_ ? frames_[depth_ - 1].serial : 0, child_position() - 1, e.tag_id, e.other_marker};
  }

  std::uint64_t colspan = 1;
  if ((e.is(kTh) || e.is(kTd)) && open_counts_[kTable] < 2) {
    if (const ParsedAttribute* a = find_attribute(e.attributes, "colspan")) {
      colspan = parse_ascii_uint(a->value, 255).value_or(1);
      if (colspan == 0) colspan = 1;
      if (colspan > 64) colspan = 64;
    }
    cell_index_ += colspan;
  }

  Opener text;
  if (e.is(kTr) && open_counts_[kTable] < 2 && !separator_written_) text = header_separator_row();
  else if (!(e.is(kA) && !html_kept)) text = write_close_markup(e, colspan);
  // Its opener was taken out while the element was open.
  if (e.markers_dropped && text && is_marker_text(*text)) text = std::string();

  // Owed output: a paragraph break, the figcaption openers.
  bool break_was_owed = false;
  std::optional<std::uint8_t> caption_after;
  const bool figcaption = e.is(kFigcaption) && !is_open(kPre);
  if (break_state_ != 0 || !deferred_markers_.empty() || figcaption) {
    if (e.is(kA)) flush_all_deferred_separators();
    if (!e.is(kFigcaption)) {
      if (text && has_visible_text(*text)) {
        break_was_owed = break_state_ != 0;
        flush_all_deferred_separators();
        if (break_state_ == 1) {
          write_newline_padding(break_newlines_, !(e.is(kLi) || e.is(kBlockquote)));
          break_state_ = 2;
        }
        write_emphasis_marker((!e.known || inline_kind_of_tag(e.tag_id) == 0) ? 1 : 0);
      }
    } else if (figcaption && !deferred_markers_.empty()) {
      for (std::size_t i = 0; i + 1 < deferred_markers_.size(); ++i) {
        flush_deferred_separators(deferred_markers_[i].held_separator);
      }
      DeferredMarker m = std::move(deferred_markers_.back());
      deferred_markers_.pop_back();
      if (m.state == 0) {
        text.reset();
      } else if (m.state == 1 && !has_visible_text(std::string_view(output_).substr(std::min(m.content_position, output_.size())))) {
        truncate_output(std::min(m.position, output_.size()));
        last_write_len_ = 0;
        if (m.space_flag) {
          push_output(" ");
          last_write_len_ = 1;
        }
        text.reset();
      }
      if (m.state != 0) caption_after = m.newlines_after;
      flush_deferred_separators(m.held_separator);
    }
  }

  if (e.is(kHr) && !in_cell() && is_open(kLi)) list_rule_break_ = true;
  if (e.is(kBlockquote) && !quote_regions_.empty()) close_quote_region();

  // Newlines after the element.
  std::uint8_t newlines;
  const bool heading_in_link = e.known && is_heading(e.tag_id) && is_open(kA);
  if (figcaption) {
    newlines = 0;
  } else if (!e.known) {
    newlines = (!is_open(kLi) && !is_open(kBlockquote) && !phrasing_depth_ && !span_depth_) ? 2 : 0;
  } else if ((!e.is(kLi) && is_open(kLi)) || e.under_item) {
    newlines = 0;
  } else {
    const std::uint8_t fallback = e.explicit_spacing ? e.newlines_after : 2;
    const bool heading = is_heading(e.tag_id);
    // A heading written as HTML inside a link gets no blank line: the link's
    // text would end there and the link fall apart.
    if (heading && is_open(kA)) newlines = 0;
    else if (heading && phrasing_depth_ == 1 && !is_open(kTd)) newlines = is_open(kTh) ? 0 : fallback;
    else if (phrasing_depth_) newlines = 0;
    else if (span_depth_ && !(heading || e.is(kLi) || e.is(kP) || e.is(kDiv))) newlines = 0;
    else newlines = fallback;
  }
  if (break_was_owed) newlines = 0;
  if (e.is(kHr) && !quote_regions_.empty() && newlines) newlines = 1;

  if (e.known && is_heading(e.tag_id) && !is_open(kA) && !in_cell()) escape_trailing_heading_hashes();

  if (e.is(kA) && !html_kept && !code_text_open()) {
    if (reopened_link_waits(current_region_.start)) inline_marker_spans_.pop_back();
    finish_link(e, newlines);
    return;
  }

  const std::uint8_t kind = e.known ? inline_kind_of_tag(e.tag_id) : 0;
  const bool inline_code = e.is(kCode) && !is_open(kPre) && !html_kept;
  // A code span that wrote its opener (and its record): settled here.
  const bool code_span = kind == 5 && !html_kept && !code_text_open(&e);
  if (kind && (!e.is(kCode) || inline_code) && text && !text->empty() && !inline_marker_spans_.empty()) {
    const InlineMarkerSpan span = inline_marker_spans_.back();
    inline_marker_spans_.pop_back();
    if (span.kind == kind && !has_visible_text(std::string_view(output_).substr(std::min(span.end, output_.size())))) {
      // The element stayed empty: its opener is taken back, and the
      // boundary before it is what the next text meets.
      truncate_output(std::min(span.start, output_.size()));
      last_write_len_ = 0;
      forget_marker_pair(e);
      drop_empty_caption_markers();
      last_element_inline_ = span.joined;
      if (code_span && !code_spans_.empty()) code_spans_.pop_back();
      return;
    }
    inline_marker_spans_.clear();
  } else if ((!e.is_inline && e.known) || (text && has_visible_text(*text))) {
    inline_marker_spans_.clear();
  }

  bool closes_code_span = false;
  if (code_span && !code_spans_.empty()) {
    CodeSpanRecord record = code_spans_.back();
    code_spans_.pop_back();
    if (!record.opener_at_end) {
      text.reset();
    } else {
      const std::size_t end = std::min(record.end, output_.size());
      std::string opener = output_.substr(record.start, end - record.start);
      text = close_inline_code(record);
      // The opener lost its backtick for the fence, and took the closer's
      // padding (a space) when there is one.
      const std::size_t written = opener.size() - 1 + text->size();
      last_code_span_ = ClosedCodeSpan{std::move(opener), record.start, record.start + written, 0, 0, record.runs};
      closes_code_span = true;
    }
  }
  if (e.is(kPre) && fence_open_) {
    const std::optional<std::string> fence = choose_code_fence();
    if (fence && text) {
      const std::size_t at = text->find("```");
      if (at != std::string::npos) text->replace(at, 3, *fence);
    }
  }
  if (e.is(kLi)) insert_pending_newline(true);
  // A line that starts with such an element's tag is raw HTML up to a blank
  // line: what follows the element starts a block of its own, where it
  // reads as Markdown.
  const bool ends_html_block =
      html_kept && break_state_ == 0 && !in_cell() && closes_outermost_html_element(e) &&
      (in_html_block() || (text && text->starts_with('<') && trailing_line_feeds(1) == 1));

  write_block_separator(false, e.is_inline, newlines, text ? &*text : nullptr, false, &e);
  if (kind && !marker_pairs_.empty()) close_marker_pair(e, text);
  if (closes_code_span) {
    if (text && output_ends_with(*text)) {
      last_code_span_->close_end = output_.size();
      last_code_span_->close_start = output_.size() - text->size();
      last_code_span_->apart = output_.size() - last_code_span_->start > kCodeSpanJoinReach;
    } else {
      last_code_span_.reset();
    }
  }

  if (break_was_owed && (!e.is_inline || e.is(kBr) || e.is(kImg))) break_state_ = 0;
  // A heading kept as HTML inside a link stays on the link's line: what
  // comes next parts from its words as the page's block edge parts them.
  if (heading_in_link && text && output_ends_with(*text)) kept_heading_end_ = output_.size();
  if (caption_after) {
    break_state_ = 1;
    break_newlines_ = *caption_after;
  } else if (ends_html_block) {
    break_state_ = 1;
    break_newlines_ = 2;
  }
  if (e.is(kPre)) {
    if (fence_open_) soft_space_ = text_written_ = false;
    fence_pending_ = fence_open_ = false;
  }
  if (e.is(kA)) pop_pending_region();
}

}  // namespace tidewell::streaming
