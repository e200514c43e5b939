#include "converter/walk/walk.hpp"

#include <vector>

#include "common/entities.hpp"
#include "common/unicode_space.hpp"
#include "converter/metadata/head_metadata.hpp"
#include "converter/text/processing.hpp"
#include "converter/walk/text_node.hpp"

namespace tidewell {
namespace {

// Records lang and dir of an html, head or body element in the sink.
void collect_document_attributes(const TlDom& dom, const TlNode::Tag& tag, MetadataSink& sink) {
  if (auto lang = attribute_map_get(dom, tag, "lang").value_bytes(dom)) {
    metadata_set_language(sink, attribute_text(*lang));
  }
  if (auto dir = attribute_map_get(dom, tag, "dir").value_bytes(dom)) {
    metadata_set_direction(sink, attribute_text(*dir));
  }
}

// A dropped element takes the spaces and tabs before it away, but for the
// space after an item's marker, which makes the marker one. (Trimmed either
// way, so that the next drop does not look through them again.)
void trim_before_dropped(std::string& output) {
  const bool after_marker = end_of(output).is_bare_list_marker();
  trim_trailing_spaces_tabs(output);
  if (after_marker) output += ' ';
}

// ---------------------------------------------------------------------------
// Past the recursion limit: the rest of the subtree as plain text.

bool is_skipped_in_plain_walk(TagId id) {
  return id == TagId::Head || id == TagId::Style || id == TagId::Script || id == TagId::Wbr || id == TagId::Source;
}

// A blank line after the text before it, its trailing spaces and tabs
// removed (a blank line that only they hid still gets one more "\n").
void ensure_blank_line_trimmed(std::string& output) {
  if (output.empty() || end_of(output).is_blank_line()) return;
  trim_trailing_spaces_tabs(output);
  if (output.empty()) return;
  output += end_of(output).is_line_break() ? "\n" : "\n\n";
}

void write_plain_text(const Walk& w, NodeHandle node, const ConversionContext& context) {
  std::string& output = w.out();
  const TlNode::Raw* raw = w.dom().nodes[node].as_raw();
  std::string holder;
  const std::string_view text = text_node_content(w.dom().bytes(raw->text), holder);
  if (context.in_code) {
    output += text;
    return;
  }
  // Line breaks inside a text are white space like any other here.
  std::string folded(text);
  for (char& c : folded) {
    if (c == '\n' || c == '\r' || c == '\f' || c == '\v') c = ' ';
  }
  if (auto collapsed = collapse_whitespace(folded)) folded = std::move(*collapsed);
  const bool lead = !folded.empty() && folded.front() == ' ';
  const bool tail = folded.size() > 1 && folded.back() == ' ';
  const std::string_view core = trim_unicode_space(folded);
  if (core.empty() || lead) w.write_boundary_space();
  if (core.empty()) return;
  const bool starts_line = w.starts_line();
  escape_joining_markup(output, core, w.options());
  append_page_text(output, core, w.options(), starts_line);
  if (tail) output += ' ';
}

// Converts the subtree of `root` (at walk depth `depth`) without recursion:
// text nodes give their decoded, whitespace-folded text, block elements are
// separated by blank lines and breaks start new lines. The depth limit and
// the walk's policy still apply.
void write_subtree_plainly(const Walk& w, NodeHandle root, const ConversionContext& context, std::size_t depth,
                           const HandlerTable& handlers) {
  const TlDom& dom = w.dom();
  std::string& output = w.out();
  // As small as it goes: the stack holds a frame or two per level of a
  // subtree that may be as deep as the input is long.
  struct Frame {
    NodeHandle node;
    std::uint32_t depth;  // no deeper than the document has nodes
    bool closing;
  };
  std::vector<Frame> stack;
  stack.push_back({root, static_cast<std::uint32_t>(depth), false});
  while (!stack.empty()) {
    const Frame frame = stack.back();
    stack.pop_back();
    if (frame.closing) {
      ensure_blank_line_trimmed(output);
      continue;
    }
    if (!dom.contains(frame.node)) continue;
    if (w.options().max_depth && frame.depth >= *w.options().max_depth) continue;
    const TlNode& n = dom.nodes[frame.node];
    if (n.is_comment()) continue;
    if (n.is_raw()) {
      write_plain_text(w, frame.node, context);
      continue;
    }
    const TlNode::Tag& tag = *n.as_tag();
    const std::optional<CowText> lowered = dom_tag_name_lower(w.dom_context(), frame.node, dom);
    const std::string_view name = lowered ? lowered->view() : std::string_view();
    const TagId id = tag_id(name);
    const NodeVerdict verdict = w.policy().check(dom, frame.node, tag, name, id);
    if (verdict == NodeVerdict::Drop) {
      trim_before_dropped(output);
      continue;
    }
    const bool stripped = verdict == NodeVerdict::ChildrenOnly;
    if (verdict == NodeVerdict::Preserve) {
      handlers.preserved(w, frame.node, context, frame.depth);
      continue;
    }
    if (!stripped) {
      if (is_skipped_in_plain_walk(id)) continue;
      if (id == TagId::Br) {
        if (!end_of(output).is_line_start()) output += '\n';
        continue;
      }
    }
    const CachedTagInfo* info = dom_cache_tag_info(w.dom_context(), frame.node, dom);
    const bool block = !stripped && (id == TagId::Tr || (info != nullptr && info->is_block));
    if (block) {
      ensure_blank_line_trimmed(output);
      stack.push_back({frame.node, frame.depth, true});
    } else if (id == TagId::Td || id == TagId::Th) {
      if (!end_of(output).is_line_start() && !end_of(output).is_space()) output += ' ';
    }
    const auto children = w.children_of(frame.node);
    for (std::size_t i = children.size(); i > 0; --i) stack.push_back({children[i - 1], frame.depth + 1U, false});
  }
}

}  // namespace

TagRef Walk::tag(NodeHandle node) const {
  const CachedTagInfo* info = dom_cache_tag_info(*dom_context_, node, *dom_);
  if (info == nullptr) return {};
  return TagRef{info->name.view(), info->id};
}

void Walk::node(NodeHandle node, const ConversionContext& context, std::size_t depth) const {
  const TlDom& dom = *dom_;
  if (!dom.contains(node)) return;
  if (options_->max_depth && depth >= *options_->max_depth) return;
  if (depth + context.nesting_offset >= kWalkRecursionLimit || nesting_ >= kWalkRecursionLimit) {
    write_subtree_plainly(*this, node, context, depth, *handlers_);
    return;
  }
  const TlNode& n = dom.nodes[node];
  if (n.is_comment()) return;
  if (n.is_raw()) {
    convert_text_node(*this, node, context);
    return;
  }
  const TlNode::Tag& element = *n.as_tag();
  // Elements outside the cached part of the document (none on the DOM road)
  // have their name lowered here.
  std::optional<CowText> lowered;
  TagRef ref = tag(node);
  if (ref.name.empty()) {
    lowered = dom_tag_name_lower(*dom_context_, node, dom);
    if (lowered) ref = TagRef{lowered->view(), tag_id(lowered->view())};
  }

  switch (policy_->check(dom, node, element, ref.name, ref.id)) {
    case NodeVerdict::Drop:
      trim_before_dropped(*out_);
      return;
    case NodeVerdict::ChildrenOnly:
      children(node, context, depth);
      return;
    case NodeVerdict::Preserve:
      handlers_->preserved(*this, node, context, depth);
      return;
    case NodeVerdict::Convert:
      break;
  }
  if ((ref.id == TagId::Html || ref.id == TagId::Head || ref.id == TagId::Body) && context.collect_document &&
      context.metadata_sink != nullptr) {
    collect_document_attributes(dom, element, *context.metadata_sink);
  }
  // Inline content that starts a line of a list item (after a block of
  // the item) is indented to stay in the item; the indentation goes again
  // when the element writes nothing.
  const bool indent =
      tag_has(ref.id, kInline) && ref.id != TagId::Br && ref.id != TagId::Wbr && at_item_line_start(context);
  const std::size_t before = out_->size();
  if (indent) append_spaces(*out_, context.item_indent);
  ++nesting_;
  struct Unnest {
    std::size_t& n;
    ~Unnest() { --n; }
  } unnest{nesting_};
  (*handlers_)[handler_family(ref.id)](*this, node, context, depth);
  if (indent && out_->size() == before + context.item_indent) out_->resize(before);
}

void Walk::children(NodeHandle element, const ConversionContext& context, std::size_t depth) const {
  for (NodeHandle child : children_of(element)) node(child, context, depth + 1);
}

void convert_transparent(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  w.children(node, context, depth);
}

void convert_nothing(const Walk&, NodeHandle, const ConversionContext&, std::size_t) {}

void convert_unknown_element(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  if (w.dom().tag(node) == nullptr) return;
  std::string& output = w.out();
  const std::size_t start = output.size();
  w.children(node, context, depth);
  if (output.size() <= start) return;
  const std::string_view added = std::string_view(output).substr(start);
  if (added.starts_with("    ") || added.starts_with("```") || added.starts_with("~~~")) return;
  if (!is_unicode_space_only(added)) return;
  // Content of white space only (line feeds included) separates the text
  // around the element by one space.
  output.resize(start);
  w.write_boundary_space();
}

}  // namespace tidewell
