#include "converter/inline/inline_text.hpp"

#include "common/ascii.hpp"
#include "common/unicode_space.hpp"
#include "converter/text/processing.hpp"
#include "converter/walk/output.hpp"

namespace tidewell {
namespace {

// The link-text escape reads no option.
const ConversionOptions kNoOptions{};

}  // namespace

std::string fold_line_breaks(std::string_view text) {
  std::string one_line;
  if (text.find_first_of("\r\n") != std::string_view::npos) {
    one_line.assign(text);
    for (char& c : one_line) {
      if (c == '\n' || c == '\r') c = ' ';
    }
    text = one_line;
  }
  std::string folded;
  folded.reserve(text.size());
  collapse_whitespace_into(text, folded);
  return std::string(trim_unicode_space(folded));
}

std::string escape_link_text_brackets(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 4);
  escape_markdown_into(text, EscapeMode::LinkText, kNoOptions, out);
  return out;
}

void append_link_after_text(std::string& out, std::string_view link) {
  if (link.starts_with('[') && end_of(out).is_image_bang()) out.insert(out.size() - 1, 1, '\\');
  out += link;
}

void escape_cell_pipes(std::string& markdown, std::size_t from) {
  if (markdown.find('|', from) == std::string::npos) return;
  std::string tail;
  tail.reserve(markdown.size() - from + 8);
  std::size_t backslashes = 0;
  for (std::size_t i = from; i < markdown.size(); ++i) {
    const char c = markdown[i];
    if (c == '|' && backslashes % 2 == 0) tail += '\\';
    backslashes = c == '\\' ? backslashes + 1 : 0;
    tail += c;
  }
  markdown.resize(from);
  markdown += tail;
}

CowText ascii_lowercase_name(std::string_view name) {
  for (char c : name) {
    if (c >= 'A' && c <= 'Z') return CowText(ascii_lowercase(name));
  }
  return CowText(name);
}

}  // namespace tidewell
