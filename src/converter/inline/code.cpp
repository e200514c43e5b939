#include <optional>
#include <span>
#include <string>

#include "common/unicode_space.hpp"
#include "converter/blocks/blocks.hpp"
#include "converter/inline/inline.hpp"
#include "converter/inline/links.hpp"
#include "converter/inline/outer_space.hpp"
#include "converter/text/processing.hpp"
#include "converter/walk/handler_family.hpp"

namespace tidewell {

bool writes_children_in_place(const Walk& w, NodeHandle element) {
  const TagId id = w.tag(element).id;
  if (writes_content_alone(id)) return true;
  const ConversionOptions& options = w.options();
  const bool djot = options.output_format == OutputFormat::Djot;
  if (id == TagId::Sub) return options.sub_symbol.empty() && !djot;
  if (id == TagId::Sup) return options.sup_symbol.empty() && !djot;
  if (id == TagId::Abbr) return !abbr_has_title(w, element);
  const HandlerFamily family = handler_family(id);
  return family == HandlerFamily::Unknown || family == HandlerFamily::Transparent;
}

FollowsCodeSpan follows_code_span(const Walk& w, NodeHandle node, const ConversionContext& context) {
  const std::string& out = w.out();
  if (!out.ends_with('`')) return FollowsCodeSpan::No;
  // Text writes its backticks escaped (inside code there are no spans): a
  // bare one closes a code span, which stood before `node` or was written
  // in its place by whatever came before.
  if (!is_escaped_at(out, out.size() - 1)) return FollowsCodeSpan::Yes;
  // After a backslash it is text, or closes a span whose code ends with a
  // backslash: the nodes before tell.
  // The last of nodes[0, end) that may write something.
  const auto last_written = [&](std::span<const NodeHandle> nodes, std::size_t end) -> std::optional<NodeHandle> {
    for (std::size_t pos = end; pos > 0;) {
      const TlNode* n = w.dom().node(nodes[--pos]);
      if (n == nullptr || !(n->is_comment() || writes_nothing(w, nodes[pos], context))) return nodes[pos];
    }
    return std::nullopt;
  };
  for (int levels = 0; levels < 8; ++levels) {
    const auto place = sibling_place(w, node);
    if (!place) return FollowsCodeSpan::Unsure;
    std::optional<NodeHandle> before = last_written(place->siblings, place->index);
    if (!before) {
      const std::optional<NodeHandle> parent = w.dom_context().parent_of(node);
      if (!parent) return FollowsCodeSpan::Unsure;
      node = *parent;
      continue;
    }
    // The last node in it: an element that writes something after it (a
    // marker, a link's destination) leaves no backtick at the end.
    for (int down = 0; down < 8 && before; ++down) {
      const TlNode::Tag* tag = w.dom().tag(*before);
      if (tag == nullptr) return FollowsCodeSpan::No;
      const TagId id = w.tag(*before).id;
      if (id == TagId::Code || id == TagId::Kbd || id == TagId::Samp) return FollowsCodeSpan::Yes;
      before = last_written(tag->children.as_span(), tag->children.size());
    }
    return FollowsCodeSpan::Unsure;
  }
  return FollowsCodeSpan::Unsure;
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
  write_inline_code_span(w, node, context, content, true);
}

std::size_t write_inline_code_span(const Walk& w, NodeHandle node, const ConversionContext& context,
                                   std::string_view content, bool may_join) {
  const FollowsCodeSpan follows = may_join ? follows_code_span(w, node, context) : FollowsCodeSpan::No;
  // Not known to close a span, the backtick is kept from meeting this one.
  if (follows == FollowsCodeSpan::Unsure) w.out() += ' ';
  const bool joins = follows == FollowsCodeSpan::Yes;
  const std::size_t start = write_code_span(content, context.in_table_cell, w.out(), joins);
  if (joins) w.note_rewritten_from(start);
  return start;
}

std::size_t append_converted_apart(const Walk& w, const ConversionContext& context, std::string_view text) {
  std::string& out = w.out();
  const std::size_t end = out.size();
  if (context.in_code) {
    out += text;
    return end;
  }
  const std::size_t start = append_joining_code_spans(out, text, context.in_table_cell);
  if (start < end) w.note_rewritten_from(start);
  return start;
}

}  // namespace tidewell
