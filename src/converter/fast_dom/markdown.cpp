#include "converter/fast_dom/markdown.hpp"

#include <algorithm>

namespace tidewell::fast_dom {
void append_code_span(std::string_view text, std::string& out) {
  std::size_t longest = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] != '`') {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < text.size() && text[j] == '`') ++j;
    longest = std::max(longest, j - i);
    i = j;
  }
  const bool pad = text.starts_with('`') || text.ends_with('`');
  out.append(longest + 1, '`');
  if (pad) out += ' ';
  out += text;
  if (pad) out += ' ';
  out.append(longest + 1, '`');
}

}  // namespace tidewell::fast_dom
