#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "common/unicode_space.hpp"
#include "converter/inline/inline.hpp"
#include "converter/inline/outer_space.hpp"

namespace tidewell {

std::size_t code_span_fence_length(std::string_view content) {
  // The lengths of the backtick runs, then the smallest length not among them.
  std::vector<std::size_t> runs;
  for (std::size_t i = content.find('`'); i != std::string_view::npos; i = content.find('`', i)) {
    const std::size_t end = std::min(content.find_first_not_of('`', i), content.size());
    runs.push_back(end - i);
    i = end;
  }
  std::sort(runs.begin(), runs.end());
  std::size_t n = 1;
  for (const std::size_t run : runs) {
    if (run == n) ++n;
    if (run > n) break;
  }
  return n;
}

void write_code_span(std::string_view content, bool in_table_cell, std::string& out) {
  const std::size_t fence = code_span_fence_length(content);
  const auto is_space = [](char c) { return c == ' ' || c == '\n' || c == '\r'; };
  const bool has_backtick = content.find('`') != std::string_view::npos;
  const bool padded = !content.empty() && (content.front() == '`' || content.back() == '`' ||
                                           (has_backtick && is_space(content.front()) && is_space(content.back())));
  // Right after another span's closing backticks the two runs would merge.
  if (end_of(out).last() == '`') out += ' ';
  out.append(fence, '`');
  if (padded) out += ' ';
  for (const char c : content) {
    if (c != ' ' && is_space(c)) {
      out += ' ';
    } else {
      if (c == '|' && in_table_cell) out += '\\';
      out += c;
    }
  }
  if (padded) out += ' ';
  out.append(fence, '`');
}

void convert_inline_code(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  if (w.dom().tag(node) == nullptr) return;
  ConversionContext scope = context;
  scope.in_code = true;
  if (context.in_code) {
    w.children(node, scope, depth);
    return;
  }
  const std::string content = render_children(w, node, scope, depth);
  if (content.empty()) return;
  if (is_unicode_space_only(content)) {
    // Nothing to show, but the words around it stay apart.
    write_framed(w, node, split_outer_whitespace(content), [](std::string&) {});
    return;
  }
  write_code_span(content, context.in_table_cell, w.out());
}

}  // namespace tidewell
