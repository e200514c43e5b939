#include "converter/fast_dom/markdown.hpp"

#include <algorithm>

namespace tidewell::fast_dom {
std::size_t longest_run(std::string_view text, char c) {
  std::size_t longest = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] != c) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < text.size() && text[j] == c) ++j;
    longest = std::max(longest, j - i);
    i = j;
  }
  return longest;
}

void append_code_span(std::string_view text, std::string& out) {
  const std::size_t fence = longest_run(text, '`') + 1;
  const bool pad = text.starts_with('`') || text.ends_with('`');
  out.append(fence, '`');
  if (pad) out += ' ';
  out += text;
  if (pad) out += ' ';
  out.append(fence, '`');
}

}  // namespace tidewell::fast_dom
