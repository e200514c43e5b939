#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "common/unicode_space.hpp"
#include "converter/inline/inline.hpp"
#include "converter/inline/links.hpp"
#include "converter/inline/outer_space.hpp"
#include "converter/text/processing.hpp"

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

void write_code_span(std::string_view content, bool in_table_cell, std::string& out, bool joins) {
  std::string joined;
  if (joins) {
    if (const std::optional<CodeSpanAtEnd> before = code_span_at_end(out)) {
      for (const char c : before->content) {
        // In a cell the span's "|" were written as "\|".
        if (c == '|' && in_table_cell && !joined.empty() && joined.back() == '\\') joined.pop_back();
        joined += c;
      }
      joined += content;
      content = joined;
      out.resize(before->start);
    }
  }
  const std::size_t fence = code_span_fence_length(content);
  const auto is_space = [](char c) { return c == ' ' || c == '\n' || c == '\r'; };
  const bool padded = !content.empty() && (content.front() == '`' || content.back() == '`' ||
                                           (is_space(content.front()) && is_space(content.back())));
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

bool follows_code_span(const Walk& w, NodeHandle node) {
  const auto content_only = [](TagId id) { return id == TagId::Span || id == TagId::U || id == TagId::Small; };
  const auto last_child = [&](const TlNode::Tag& tag) -> std::optional<NodeHandle> {
    const auto children = tag.children.as_span();
    for (std::size_t pos = children.size(); pos > 0;) {
      const TlNode* n = w.dom().node(children[--pos]);
      if (n != nullptr && !n->is_comment()) return children[pos];
    }
    return std::nullopt;
  };
  for (int levels = 0; levels < 8; ++levels) {
    const auto place = sibling_place(w, node);
    if (!place) return false;
    std::optional<NodeHandle> before;
    for (std::size_t pos = place->index; pos > 0 && !before;) {
      const TlNode* n = w.dom().node(place->siblings[--pos]);
      if (n != nullptr && !n->is_comment()) before = place->siblings[pos];
    }
    if (!before) {
      const std::optional<NodeHandle> parent = w.dom_context().parent_of(node);
      if (!parent || !content_only(w.tag(*parent).id)) return false;
      node = *parent;
      continue;
    }
    // The last node in it: an element that writes something after it (a
    // marker, a link's destination) leaves no backtick at the end.
    for (int down = 0; down < 8 && before; ++down) {
      const TlNode::Tag* tag = w.dom().tag(*before);
      if (tag == nullptr) return false;
      const TagId id = w.tag(*before).id;
      if (id == TagId::Code || id == TagId::Kbd || id == TagId::Samp) return w.out().ends_with('`');
      before = last_child(*tag);
    }
    return false;
  }
  return false;
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
  write_code_span(content, context.in_table_cell, w.out(), follows_code_span(w, node));
}

}  // namespace tidewell
