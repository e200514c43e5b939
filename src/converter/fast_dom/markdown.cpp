#include "converter/fast_dom/markdown.hpp"

#include <algorithm>

#include "converter/text/entities.hpp"

namespace tidewell::fast_dom {
namespace {

bool starts_reference(std::string_view text, std::size_t amp) {
  std::string sink;
  return decode_html_entity_at(text, amp, sink) != 0;
}

}  // namespace

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

void append_link_label(std::string_view text, std::string& out) {
  for (char c : text) {
    if (c == '[' || c == ']' || c == '\\') out += '\\';
    out += c;
  }
}

void append_destination(std::string_view url, std::string& out) {
  bool angle = url.empty() || url.front() == '<';
  std::size_t depth = 0;
  bool paired = true;
  for (char ch : url) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7F) angle = true;
    if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (depth == 0) paired = false; else --depth;
    }
  }
  paired = paired && depth == 0;
  if (angle) {
    out += '<';
    for (char c : url) {
      if (c == '\n') {
        out += "%0A";
      } else if (c == '\r') {
        out += "%0D";
      } else {
        if (c == '<' || c == '>' || c == '\\') out += '\\';
        out += c;
      }
    }
    out += '>';
    return;
  }
  for (std::size_t i = 0; i < url.size(); ++i) {
    const char c = url[i];
    if (c == '\\' || (!paired && (c == '(' || c == ')')) || (c == '&' && starts_reference(url, i))) out += '\\';
    out += c;
  }
}

void append_title(std::string_view title, std::string& out) {
  out += " \"";
  for (std::size_t i = 0; i < title.size(); ++i) {
    const char c = title[i];
    if (c == '\n' || c == '\r') {
      out += ' ';
      continue;
    }
    if (c == '"' || c == '\\' || (c == '&' && starts_reference(title, i))) out += '\\';
    out += c;
  }
  out += '"';
}

}  // namespace tidewell::fast_dom
