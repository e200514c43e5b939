#include "converter/text/line_fold.hpp"

#include <cstring>

namespace tidewell {
namespace {

bool is_ascii_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

}  // namespace

std::size_t fold_line_breaks(std::string& text, std::size_t from, std::size_t to) {
  if (to <= from) return to;
  const char* const data = text.data() + from;
  if (std::memchr(data, '\n', to - from) == nullptr && std::memchr(data, '\r', to - from) == nullptr) return to;
  std::size_t write = from;
  std::size_t i = from;
  while (i < to) {
    if (!is_ascii_space(text[i])) {
      text[write++] = text[i++];
      continue;
    }
    std::size_t j = i;
    bool line_break = false;
    for (; j < to && is_ascii_space(text[j]); ++j) line_break |= text[j] == '\n' || text[j] == '\r';
    if (line_break) {
      text[write++] = ' ';
    } else {
      for (; i < j; ++i) text[write++] = text[i];
    }
    i = j;
  }
  text.erase(write, to - write);
  return write;
}

}  // namespace tidewell
