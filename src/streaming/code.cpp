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

std::optional<std::string> Processor::choose_code_fence() {
  if (!open_fence_) return std::nullopt;
  const FenceOpener fence = std::move(*open_fence_);
  open_fence_.reset();
  // The language never holds a backtick (code_language_from_class refuses
  // it), so the fence is always made of backticks.
  constexpr char kFenceChar = '`';
  std::size_t longest = 0;
  const std::string_view content = std::string_view(output_).substr(std::min(fence.end, output_.size()));
  std::size_t line = 0;
  while (line <= content.size()) {
    std::size_t line_end = content.find('\n', line);
    if (line_end == std::string_view::npos) line_end = content.size();
    std::size_t k = line;
    if (!fence.list_indent.empty() && content.substr(k, line_end - k).starts_with(fence.list_indent)) {
      k += fence.list_indent.size();
    }
    for (int spaces = 0; spaces < 3 && k < line_end && content[k] == ' '; ++spaces) ++k;
    std::size_t run = 0;
    while (k + run < line_end && content[k + run] == kFenceChar) ++run;
    longest = std::max(longest, run);
    line = line_end + 1;
  }
  const std::string chosen(std::max<std::size_t>(3, longest + 1), kFenceChar);
  if (chosen.size() > 3) replace_output(fence.start + fence.fence_offset, 3, chosen);
  return chosen;
}

std::string Processor::close_inline_code(std::size_t start, std::size_t end) {
  end = std::min(end, output_.size());
  start = std::min(start, end);
  if (is_open(kTable) && std::string_view(output_).substr(end).find('|') != std::string_view::npos) {
    std::string content;
    for (std::size_t i = end; i < output_.size(); ++i) {
      if (output_[i] == '|') content.push_back('\\');
      content.push_back(output_[i]);
    }
    replace_output(end, output_.size() - end, content);
  }
  const std::string_view content = std::string_view(output_).substr(end);
  std::size_t longest = 0;
  for (std::size_t i = 0; i < content.size();) {
    if (content[i] != '`') {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < content.size() && content[j] == '`') ++j;
    longest = std::max(longest, j - i);
    i = j;
  }
  const std::string fence(longest + 1, '`');
  const bool pad = !content.empty() && (content.front() == '`' || content.back() == '`');
  std::string opener(std::string_view(output_).substr(start, end - start));
  if (!opener.empty()) opener.pop_back();
  opener += fence;
  if (pad) opener.push_back(' ');
  replace_output(start, end - start, opener);
  return pad ? " " + fence : fence;
}

}  // namespace tidewell::streaming
