// Ruby annotations. Markdown has no ruby, so every annotation is written in
// parentheses after its base text: "a(x)b(y)" when each base (rb) is paired
// with its annotation (rt), else all base text first and the annotations
// after it, "ab(x)(y)".
#include <string>
#include <string_view>

#include "common/unicode_space.hpp"
#include "converter/inline/inline.hpp"
#include "converter/inline/outer_space.hpp"

namespace tidewell {
namespace {

// The tag id of an element child (Unknown for text and comments).
TagId element_id(const Walk& w, NodeHandle node) {
  const TagRef ref = w.tag(node);
  if (!ref.name.empty()) return ref.id;
  const std::optional<CowText> lowered = dom_tag_name_lower(w.dom_context(), node, w.dom());
  return lowered ? tag_id(lowered->view()) : TagId::Unknown;
}

// The content of rb and rp: trimmed, its outer white space kept apart.
void convert_ruby_text(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  const std::string rendered = render_children(w, node, context, depth);
  const OuterWhitespaceSplit split = split_outer_whitespace(rendered);
  write_framed(w, node, split, [&](std::string&) { return append_converted_apart(w, context, split.core); });
}

// rt: its trimmed content in parentheses (also when it is empty), or alone
// right after a "(". White space at its edges stays outside.
void convert_annotation(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  const std::string rendered = render_children(w, node, context, depth);
  const OuterWhitespaceSplit split = split_outer_whitespace(rendered);
  if (w.end().is_open_paren()) {
    w.out() += split.core;
    return;
  }
  OuterWhitespaceSplit framed = split;
  framed.core = "()";  // written even for no content
  write_framed(w, node, framed, [&](std::string& out) {
    out += '(';
    out += split.core;
    out += ')';
  });
}

void convert_ruby(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  const TlDom& dom = w.dom();
  const TlNode::Tag* tag = dom.tag(node);
  if (tag == nullptr) return;
  const std::span<const NodeHandle> children = tag->children.as_span();

  // Paired when some rb is directly followed by an rt (among the rb, rt and
  // rtc children) and there is no rtc.
  bool has_rtc = false;
  bool has_pair = false;
  TagId previous = TagId::Unknown;
  for (const NodeHandle child : children) {
    const TagId id = element_id(w, child);
    if (id != TagId::Rb && id != TagId::Rt && id != TagId::Rtc) continue;
    has_pair = has_pair || (previous == TagId::Rb && id == TagId::Rt);
    has_rtc = has_rtc || id == TagId::Rtc;
    previous = id;
  }

  // Every child is converted at the ruby's own depth.
  const auto convert_into = [&](NodeHandle child, std::string& buffer) { w.into(buffer).node(child, context, depth); };
  // The white space at the ruby's edges: the first base text it writes
  // begins with, the last one it ends with (when no annotation follows).
  OuterWhitespaceSplit edges;
  bool written = false;
  const auto convert_base = [&](NodeHandle child, std::string& buffer) {
    const std::size_t before = buffer.size();
    convert_into(child, buffer);
    if (buffer.size() == before) return;
    if (!written && space_len_at(buffer, before) != 0) edges.leading = " ";
    edges.trailing = space_len_before(buffer, buffer.size()) != 0 ? " " : "";
    written = true;
  };
  const auto convert_note = [&](NodeHandle child, std::string& buffer) {
    const std::size_t before = buffer.size();
    convert_into(child, buffer);
    if (buffer.size() == before) return;
    edges.trailing = "";
    written = true;
  };
  // An rt child: "(", its text and ")", trimmed.
  std::string annotation;
  const auto annotate = [&](NodeHandle child) {
    annotation.clear();
    convert_note(child, annotation);
    return trim_unicode_space(annotation);
  };
  const auto is_skipped = [&](NodeHandle child) {
    const TlNode* n = dom.node(child);
    return n == nullptr || n->is_comment();
  };

  std::string text;
  if (has_pair && !has_rtc) {
    std::string pending;
    const auto flush = [&] {
      if (pending.empty()) return;
      text += trim_unicode_space(pending);
      pending.clear();
    };
    for (const NodeHandle child : children) {
      if (is_skipped(child)) continue;
      switch (element_id(w, child)) {
        case TagId::Rt: {
          const std::string_view note = annotate(child);
          flush();
          text += note;
          break;
        }
        case TagId::Rb:
          flush();
          convert_base(child, pending);
          break;
        case TagId::Rp:
          break;
        default:
          convert_base(child, pending);
          break;
      }
    }
    flush();
  } else {
    std::string base;
    std::string notes;  // the annotations, each "(...)", one after the other
    std::size_t note_count = 0;
    std::string container;
    for (const NodeHandle child : children) {
      if (is_skipped(child)) continue;
      switch (element_id(w, child)) {
        case TagId::Rt:
          notes += annotate(child);
          ++note_count;
          break;
        case TagId::Rtc:
          convert_note(child, container);
          break;
        case TagId::Rp:
          break;
        default:
          convert_base(child, base);
          break;
      }
    }
    text += trim_unicode_space(base);
    const std::string_view container_text = trim_unicode_space(container);
    if (!notes.empty()) {
      // Several annotations beside a container's are grouped as one.
      const bool grouped = has_rtc && !container_text.empty() && note_count >= 2;
      if (grouped) text += '(';
      text += notes;
      if (grouped) text += ')';
    }
    text += container_text;
  }

  edges.core = text;
  write_framed(w, node, edges, [&](std::string&) { return append_converted_apart(w, context, text); });
}

}  // namespace

void convert_ruby_element(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  if (w.dom().tag(node) == nullptr) return;
  switch (w.tag(node).id) {
    case TagId::Ruby:
      convert_ruby(w, node, context, depth);
      return;
    case TagId::Rb:
    case TagId::Rp:
      convert_ruby_text(w, node, context, depth);
      return;
    case TagId::Rt:
      convert_annotation(w, node, context, depth);
      return;
    case TagId::Rtc:
      for (const NodeHandle child : w.dom().tag(node)->children) w.node(child, context, depth);
      return;
    default:
      return;
  }
}

}  // namespace tidewell
