// Code blocks and inline code: provisional openers settled when the element
// closes, once the longest backtick run inside is known.
#include <algorithm>
#include <stdexcept>

#include "streaming/processor.hpp"

namespace tidewell::streaming {

std::optional<std::string> code_language_from_class(const ParsedAttribute* cls) {
  if (!cls) return std::nullopt;
  static constexpr std::string_view kPrefix = "language-";
  const std::string_view value = cls->value;
  std::size_t i = 0;
  while (i < value.size()) {
    while (i < value.size() && scan::is_ws(static_cast<unsigned char>(value[i]))) ++i;
    std::size_t j = i;
    while (j < value.size() && !scan::is_ws(static_cast<unsigned char>(value[j]))) ++j;
    const std::string_view word = value.substr(i, j - i);
    i = j;
    if (word.size() <= kPrefix.size() || word.substr(0, kPrefix.size()) != kPrefix) continue;
    const std::string_view rest = word.substr(kPrefix.size());
    const bool acceptable = std::all_of(rest.begin(), rest.end(), [](char ch) {
      const unsigned char c = static_cast<unsigned char>(ch);
      return c >= 0x20 && c != '"' && c != '&' && c != '\'' && c != '<' && c != '>' && c != '`' && c != '~' &&
             c != 0x7F;
    });
    if (acceptable) return std::string(rest);
  }
  return std::nullopt;
}

void Processor::finish_pending_block() {
  rewrite_region_lines(~std::size_t{0});
  fence_pending_ = false;
  fence_open_ = true;
  std::string opener;
  if (is_open(kLi)) {
    opener = leading_separator_for(list_indent_).value_or(std::string());
    opener += "```" + fence_language_ + "\n" + list_indent_;
  } else {
    opener = "```" + fence_language_ + "\n";
  }
  const std::size_t start = output_.size();
  push_output(opener);
  last_write_len_ = opener.size();
  find_code_fence_opener(start, output_.size(), fence_language_, list_indent_);
  last_element_inline_ = false;
}

void Processor::find_code_fence_opener(std::size_t start, std::size_t end, std::string language, std::string indent) {
  const std::string_view range = std::string_view(output_).substr(start, end - start);
  const std::size_t at = range.rfind("```");
  if (at == std::string_view::npos) throw std::logic_error("code fence opener missing from output");
  open_fence_ = FenceOpener{std::move(indent), std::move(language), start, at, end};
}

// The longest run of backticks that starts a line of the code from `from`
// on (after the list indent and up to three spaces): a fence must be longer.
// The language never holds a backtick (code_language_from_class refuses
// it), so fences are always made of backticks.
std::size_t Processor::longest_fence_run(std::size_t from, std::string_view indent) const {
  std::size_t longest = 0;
  const std::string_view content = std::string_view(output_).substr(std::min(from, output_.size()));
  std::size_t line = 0;
  while (line <= content.size()) {
    std::size_t line_end = content.find('\n', line);
    if (line_end == std::string_view::npos) line_end = content.size();
    std::size_t k = line;
    if (!indent.empty() && content.substr(k, line_end - k).starts_with(indent)) k += indent.size();
    for (int spaces = 0; spaces < 3 && k < line_end && content[k] == ' '; ++spaces) ++k;
    std::size_t run = 0;
    while (k + run < line_end && content[k + run] == '`') ++run;
    longest = std::max(longest, run);
    line = line_end + 1;
  }
  return longest;
}

std::optional<std::string> Processor::choose_code_fence() {
  if (!open_fence_) return std::nullopt;
  const FenceOpener fence = std::move(*open_fence_);
  open_fence_.reset();
  inner_fences_.clear();
  inner_break_owed_ = false;
  const std::string chosen(std::max<std::size_t>(3, longest_fence_run(fence.end, fence.list_indent) + 1), '`');
  if (chosen.size() > 3) replace_output(fence.start + fence.fence_offset, 3, chosen);
  return chosen;
}

// A pre inside a pre writes its text inside the outer code block, as a
// fenced block of its own after a blank line: the outer fence, chosen when
// the outer pre closes, grows past its fences.
void Processor::open_inner_fence(const ElementFrame& f) {
  const bool opened_outer = fence_pending_;
  if (fence_pending_) finish_pending_block();
  if (!fence_open_ || !open_fence_) return;
  inner_break_owed_ = false;
  const bool in_item = is_open(kLi);
  std::string text;
  if (output_.size() != open_fence_->end && !output_ends_with("\n\n")) {
    text = output_ends_with("\n") ? "\n" : "\n\n";
  }
  if (in_item && !text.empty()) text += list_indent_;
  const std::size_t separator = output_.size();
  const std::size_t fence = separator + text.size();
  text += "```";
  text += code_language_from_class(find_attribute(f.attributes, "class")).value_or(std::string());
  text += '\n';
  push_output(text);
  last_write_len_ = text.size();
  last_element_inline_ = false;
  inner_fences_.push_back(InnerFence{f.serial, separator, fence, output_.size(), opened_outer});
}

// Its fence is settled like the outer one's; an inner pre without text
// writes nothing.
void Processor::close_inner_fence() {
  const InnerFence inner = inner_fences_.back();
  inner_fences_.pop_back();
  if (inner.content >= output_.size()) {
    // The code around it joins as if it were not there; the outer fence it
    // wrote waits for content again.
    if (inner.opened_outer && open_fence_) {
      truncate_output(open_fence_->start);
      open_fence_.reset();
      fence_open_ = false;
      fence_pending_ = true;
    } else {
      truncate_output(inner.separator);
    }
    last_write_len_ = 0;
    last_element_inline_ = true;
    return;
  }
  last_element_inline_ = false;
  const std::string_view indent = is_open(kLi) ? std::string_view(list_indent_) : std::string_view();
  const std::string fence(std::max<std::size_t>(3, longest_fence_run(inner.content, indent) + 1), '`');
  if (fence.size() > 3) replace_output(inner.fence, 3, fence);
  std::string closer = output_ends_with("\n") ? std::string() : "\n";
  closer += indent;
  closer += fence;
  push_output(closer);
  last_write_len_ = closer.size();
  inner_break_owed_ = true;
}

namespace {

// A reader takes one space off both ends of a code span's content when
// both have one and the content is not all spaces.
bool reader_strips_a_space(std::string_view content) {
  return !content.empty() && content.front() == ' ' && content.back() == ' ' &&
         content.find_first_not_of(' ') != std::string_view::npos;
}

}  // namespace

// The fence a code span of `content` takes (one backtick more than its
// longest run), and whether the content needs a space inside it: a reader
// takes one space off both ends when both have one, so the code's own
// spaces need one more.
std::pair<std::size_t, bool> code_span_fence(std::string_view content) {
  BacktickRuns runs;
  runs.scan(content);
  return code_span_fence(content, runs);
}

// `runs`: those of the whole content.
std::pair<std::size_t, bool> code_span_fence(std::string_view content, const BacktickRuns& runs) {
  const bool pad =
      !content.empty() && (content.front() == '`' || content.back() == '`' || reader_strips_a_space(content));
  return {runs.longest + 1, pad};
}

// What a written code span `span` reads as: its content without the fences,
// and without the space a reader takes off both ends.
std::string read_code_span(std::string_view span) {
  std::size_t fence = 0;
  while (fence < span.size() && span[fence] == '`') ++fence;
  if (span.size() < 2 * fence) return std::string();
  std::string_view content = span.substr(fence, span.size() - 2 * fence);
  if (reader_strips_a_space(content)) content = content.substr(1, content.size() - 2);
  return std::string(content);
}

// Closes the code span of `record`, whose content ends the output; its
// backtick runs are then those of the whole content. Only what a span that
// continues another added is looked at: spans side by side make one.
std::string Processor::close_inline_code(CodeSpanRecord& record) {
  const std::size_t end = std::min(record.end, output_.size());
  const std::size_t start = std::min(record.start, end);
  if (record.scanned < end || record.scanned > output_.size()) {
    record.runs = BacktickRuns{};
    record.scanned = end;
  }
  // In a cell a '|' would end the cell: what the span added is escaped.
  const std::size_t added = record.scanned;
  if (is_open(kTable) && std::string_view(output_).substr(added).find('|') != std::string_view::npos) {
    std::string content;
    for (std::size_t i = added; i < output_.size(); ++i) {
      if (output_[i] == '|') content.push_back('\\');
      content.push_back(output_[i]);
    }
    replace_output(added, output_.size() - added, content);
  }
  record.runs.scan(std::string_view(output_).substr(record.scanned));
  record.scanned = output_.size();
  const auto [length, pad] = code_span_fence(std::string_view(output_).substr(end), record.runs);
  const std::string fence(length, '`');
  std::string opener(std::string_view(output_).substr(start, end - start));
  if (!opener.empty()) opener.pop_back();
  opener += fence;
  if (pad) opener.push_back(' ');
  replace_output(start, end - start, opener);
  return pad ? " " + fence : fence;
}

// A code span that may still be taken up again ends the output, or only
// openers follow it that go again with their element if it stays empty.
bool Processor::code_span_ends_output() const {
  if (!last_code_span_ || last_code_span_->apart) return false;
  const std::size_t end = last_code_span_->close_end;
  return end == output_.size() || (!inline_marker_spans_.empty() && inline_marker_spans_.front().start == end);
}

// A code span opening right where the last one closed continues it: that
// one's closer is taken out and its opener written back as it was before
// its close, and the record of the span is open again. After a span too
// long for that, `opener` gets a space in front.
bool Processor::continue_code_span(Opener& opener) {
  if (pending_space_ || !last_code_span_ || last_code_span_->close_end != output_.size()) return false;
  if (last_code_span_->apart) {
    if (opener == "`") opener = " `";
    return false;
  }
  reopen_last_code_span();
  return true;
}

// The code span that closes at `pos` meets the opener of the next one
// there, and is too long to be taken up: a space keeps the runs apart. What
// ends at `pos` stays before the space, what starts there goes after it.
void Processor::keep_code_spans_apart(std::size_t pos) {
  insert_output_after(pos, " ");
  if (!code_spans_.empty() && code_spans_.back().start == pos) ++code_spans_.back().start;
  if (last_code_span_ && last_code_span_->start == pos) ++last_code_span_->start;
  if (pos < output_.size() && output_.size() - pos <= last_write_len_) ++last_write_len_;
}

void Processor::reopen_last_code_span() {
  const ClosedCodeSpan span = std::move(*last_code_span_);
  last_code_span_.reset();
  delete_output_range(span.close_start, span.close_end);
  replace_output(span.start, span.content_start - span.start, span.opener);
  last_write_len_ = 0;
  const std::size_t content_end = span.close_start - span.content_start + span.start + span.opener.size();
  code_spans_.push_back(CodeSpanRecord{span.start, span.start + span.opener.size(), true, span.runs, content_end});
}

}  // namespace tidewell::streaming
