#include "converter/walk/walk_node.hpp"

#include <vector>

#include "converter/dom/tags.hpp"
#include "converter/metadata/head_metadata.hpp"
#include "converter/text/unicode_space.hpp"
#include "converter/metadata/json_ld.hpp"
#include "converter/plain/boilerplate.hpp"
#include "converter/text/entities.hpp"
#include "converter/text/processing.hpp"
#include "converter/walk/text_node.hpp"
#include "converter/walk/text_util.hpp"

namespace tidewell {
namespace {

using walk_detail::ends_with;
using walk_detail::last_byte_is;

// Where an element goes. Handlers that do not exist yet send their
// elements through convert_unknown_element (see walk_node).
enum class Handler : std::uint8_t {
  Unknown,
  Nothing,
  Link,
  Inline,
  InlineCode,
  Image,
  Graphic,
  Embedded,
  Paragraph,
  Div,
  LineBreak,
  Rule,
  Heading,
  Children,
  Metadata,
  List,
  Table,
  Caption,
  CodeBlock,
  Blockquote,
  Semantic,
  Form,
};

struct NameEntry {
  std::string_view name;
  Handler handler;
};

Handler lookup(std::string_view name, std::initializer_list<NameEntry> entries) {
  for (const NameEntry& e : entries) {
    if (e.name == name) return e.handler;
  }
  return Handler::Unknown;
}

// By byte length first, then by the bytes. Every list holds names of the
// one length it is reached for.
Handler classify_tag(std::string_view name) {
  using H = Handler;
  switch (name.size()) {
    case 1:
      return lookup(name, {{"a", H::Link},
                           {"b", H::Inline},
                           {"i", H::Inline},
                           {"s", H::Inline},
                           {"u", H::Inline},
                           {"p", H::Paragraph},
                           {"q", H::Semantic}});
    case 2:
      return lookup(name, {{"em", H::Inline},      {"rb", H::Inline},      {"rt", H::Inline},
                           {"rp", H::Inline},      {"br", H::LineBreak},   {"hr", H::Rule},
                           {"h1", H::Heading},     {"h2", H::Heading},     {"h3", H::Heading},
                           {"h4", H::Heading},     {"h5", H::Heading},     {"h6", H::Heading},
                           {"ul", H::List},        {"ol", H::List},        {"li", H::List},
                           {"dl", H::List},        {"dt", H::List},        {"dd", H::List},
                           {"tr", H::Nothing},     {"th", H::Nothing},     {"td", H::Nothing}});
    case 3:
      return lookup(name, {{"del", H::Inline},
                           {"ins", H::Inline},
                           {"sub", H::Inline},
                           {"sup", H::Inline},
                           {"kbd", H::Inline},
                           {"var", H::Inline},
                           {"dfn", H::Inline},
                           {"rtc", H::Inline},
                           {"img", H::Image},
                           {"svg", H::Embedded},
                           {"div", H::Div},
                           {"pre", H::CodeBlock},
                           {"nav", H::Semantic},
                           {"wbr", H::Nothing}});
    case 4:
      return lookup(name, {{"mark", H::Inline},     {"samp", H::Inline},     {"abbr", H::Inline},
                           {"ruby", H::Inline},     {"span", H::Inline},     {"code", H::InlineCode},
                           {"math", H::Embedded},   {"time", H::Children},   {"data", H::Children},
                           {"html", H::Children},   {"body", H::Children},   {"head", H::Metadata},
                           {"main", H::Semantic},   {"menu", H::Semantic},   {"form", H::Form}});
    case 5:
      return lookup(name, {{"small", H::Inline},
                           {"audio", H::Embedded},
                           {"video", H::Embedded},
                           {"style", H::Metadata},
                           {"table", H::Table},
                           {"aside", H::Semantic},
                           {"label", H::Form},
                           {"input", H::Form},
                           {"meter", H::Form},
                           {"thead", H::Nothing},
                           {"tbody", H::Nothing},
                           {"tfoot", H::Nothing}});
    case 6:
      return lookup(name, {{"strong", H::Inline},
                           {"iframe", H::Embedded},
                           {"script", H::Metadata},
                           {"header", H::Semantic},
                           {"footer", H::Semantic},
                           {"figure", H::Semantic},
                           {"dialog", H::Semantic},
                           {"legend", H::Form},
                           {"select", H::Form},
                           {"option", H::Form},
                           {"button", H::Form},
                           {"output", H::Form},
                           {"source", H::Nothing}});
    case 7:
      return lookup(name, {{"graphic", H::Graphic},
                           {"picture", H::Embedded},
                           {"caption", H::Caption},
                           {"article", H::Semantic},
                           {"section", H::Semantic},
                           {"details", H::Semantic},
                           {"summary", H::Semantic}});
    case 8:
      return lookup(name, {{"fieldset", H::Form},
                           {"textarea", H::Form},
                           {"optgroup", H::Form},
                           {"progress", H::Form},
                           {"datalist", H::Form}});
    case 10:
      return lookup(name, {{"blockquote", H::Blockquote}, {"figcaption", H::Semantic}});
    default:
      return H::Unknown;
  }
}

// Records lang and dir of an html, head or body element in the sink.
void collect_document_attributes(const TlDom& dom, const TlNode::Tag& tag, MetadataSink& sink) {
  if (auto lang = attribute_map_get(dom, tag, "lang").value_bytes(dom)) {
    metadata_set_language(sink, utf8_lossy(*lang).into_string());
  }
  if (auto dir = attribute_map_get(dom, tag, "dir").value_bytes(dom)) {
    metadata_set_direction(sink, utf8_lossy(*dir).into_string());
  }
}

// ---------------------------------------------------------------------------
// Past the recursion limit: the rest of the subtree as plain text.

bool is_skipped_in_plain_walk(std::string_view name) {
  return name == "head" || name == "style" || name == "script" || name == "wbr" || name == "source";
}

void ensure_blank_line(std::string& output) {
  if (output.empty() || ends_with(output, "\n\n")) return;
  trim_trailing_spaces_tabs(output);
  if (output.empty()) return;
  output += last_byte_is(output, '\n') ? "\n" : "\n\n";
}

void write_plain_text(NodeHandle node, const TlDom& dom, std::string& output, const ConversionOptions& options,
                      const ConversionContext& context) {
  const TlNode::Raw* raw = dom.nodes[node].as_raw();
  std::string holder;
  const std::string_view text = text_node_content(dom.bytes(raw->text), holder);
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
  const bool at_line_start = output.empty() || last_byte_is(output, '\n') || last_byte_is(output, ' ');
  if (core.empty()) {
    if (!at_line_start) output += ' ';
    return;
  }
  if (lead && !at_line_start) output += ' ';
  escape_markdown_text_into(core, options.escape_misc, options.escape_asterisks, options.escape_underscores,
                            options.escape_ascii, output);
  if (tail) output += ' ';
}

// Converts the subtree of `root` (at walk depth `depth`) without recursion:
// text nodes give their decoded, whitespace-folded text, block elements are
// separated by blank lines and breaks start new lines. The depth limit,
// boilerplate filter, excluded nodes and strip/preserve sets still apply.
void write_subtree_plainly(NodeHandle root, const TlDom& dom, std::string& output, const ConversionOptions& options,
                           const ConversionContext& context, std::size_t depth, const DomContext& dom_context) {
  struct Frame {
    NodeHandle node;
    std::size_t depth;
    bool closing;
  };
  std::vector<Frame> stack;
  stack.push_back({root, depth, false});
  while (!stack.empty()) {
    const Frame frame = stack.back();
    stack.pop_back();
    if (frame.closing) {
      ensure_blank_line(output);
      continue;
    }
    if (!dom.contains(frame.node)) continue;
    if (options.max_depth && frame.depth >= *options.max_depth) continue;
    const TlNode& n = dom.nodes[frame.node];
    if (n.is_comment()) continue;
    if (n.is_raw()) {
      write_plain_text(frame.node, dom, output, options, context);
      continue;
    }
    const TlNode::Tag& tag = *n.as_tag();
    const std::optional<CowText> lowered = dom_tag_name_lower(dom_context, frame.node, dom);
    const std::string_view name = lowered ? lowered->view() : std::string_view();
    if (is_boilerplate_element(name, dom, tag, options.preprocessing) ||
        (!context.excluded_nodes->empty() && context.excluded_nodes->contains(frame.node))) {
      trim_trailing_spaces_tabs(output);
      continue;
    }
    const bool stripped = context.strip_tag_set->contains(name);
    if (!stripped) {
      if (context.preserve_tag_set->contains(name)) {
        output += serialize_preserved_element(frame.node, dom);
        continue;
      }
      if (is_skipped_in_plain_walk(name)) continue;
      if (name == "br") {
        if (!output.empty() && !last_byte_is(output, '\n')) output += '\n';
        continue;
      }
    }
    const CachedTagInfo* info = dom_cache_tag_info(dom_context, frame.node, dom);
    const bool block = !stripped && (name == "tr" || (info != nullptr && info->is_block));
    if (block) {
      ensure_blank_line(output);
      stack.push_back({frame.node, frame.depth, true});
    } else if (name == "td" || name == "th") {
      if (!output.empty() && !last_byte_is(output, ' ') && !last_byte_is(output, '\n')) output += ' ';
    }
    const auto children = tag.children.as_span();
    for (std::size_t i = children.size(); i > 0; --i) stack.push_back({children[i - 1], frame.depth + 1, false});
  }
}

}  // namespace

void walk_node(NodeHandle node, const TlDom& dom, std::string& output, const ConversionOptions& options,
               const ConversionContext& context, std::size_t depth, const DomContext& dom_context) {
  if (!dom.contains(node)) return;
  if (options.max_depth && depth >= *options.max_depth) return;
  if (depth >= kWalkRecursionLimit) {
    write_subtree_plainly(node, dom, output, options, context, depth, dom_context);
    return;
  }
  const TlNode& n = dom.nodes[node];
  if (n.is_comment()) return;
  if (n.is_raw()) {
    convert_text_node(node, dom, output, options, context, dom_context);
    return;
  }
  const TlNode::Tag& tag = *n.as_tag();
  const std::optional<CowText> lowered = dom_tag_name_lower(dom_context, node, dom);
  const std::string_view name = lowered ? lowered->view() : std::string_view();

  if (is_boilerplate_element(name, dom, tag, options.preprocessing)) {
    trim_trailing_spaces_tabs(output);
    return;
  }
  if (!context.excluded_nodes->empty() && context.excluded_nodes->contains(node)) {
    trim_trailing_spaces_tabs(output);
    return;
  }
  if (context.strip_tag_set->contains(name)) {
    convert_children(node, dom, output, options, context, depth, dom_context);
    return;
  }
  if (context.preserve_tag_set->contains(name)) {
    output += serialize_preserved_element(node, dom);
    return;
  }
  if ((name == "html" || name == "head" || name == "body") && context.collect_document &&
      context.metadata_sink != nullptr) {
    collect_document_attributes(dom, tag, *context.metadata_sink);
  }

  switch (classify_tag(name)) {
    case Handler::Nothing:
      return;
    case Handler::Paragraph:
      convert_paragraph(node, dom, output, options, context, depth, dom_context);
      return;
    case Handler::Div:
      convert_div(node, dom, output, options, context, depth, dom_context);
      return;
    case Handler::LineBreak:
      emit_line_break(output, options.newline_style, context.in_single_line);
      return;
    case Handler::Rule:
      convert_horizontal_rule(node, dom, output, context.in_paragraph, dom_context);
      return;
    case Handler::Heading:
      convert_heading(name, node, dom, output, options, context, depth, dom_context);
      return;
    case Handler::Children:
      convert_children(node, dom, output, options, context, depth, dom_context);
      return;
    case Handler::Metadata: {
      auto walk_child = [&](NodeHandle child, std::size_t child_depth) {
        walk_node(child, dom, output, options, context, child_depth, dom_context);
      };
      convert_metadata_element(name, node, dom, context.metadata_sink, context.collect_structured_data, depth,
                               dom_context, ChildWalk(walk_child));
      return;
    }
    // Links, inline formatting, code, images, embedded content, lists,
    // tables, captions, code blocks, blockquotes, semantic and form
    // elements: their handlers are not part of this build yet, so their
    // elements convert like unknown ones (content kept, no markup).
    case Handler::Link:
    case Handler::Inline:
    case Handler::InlineCode:
    case Handler::Image:
    case Handler::Graphic:
    case Handler::Embedded:
    case Handler::List:
    case Handler::Table:
    case Handler::Caption:
    case Handler::CodeBlock:
    case Handler::Blockquote:
    case Handler::Semantic:
    case Handler::Form:
    case Handler::Unknown:
      convert_unknown_element(node, dom, output, options, context, depth, dom_context);
      return;
  }
}

void convert_children(NodeHandle node, const TlDom& dom, std::string& output, const ConversionOptions& options,
                      const ConversionContext& context, std::size_t depth, const DomContext& dom_context) {
  const TlNode::Tag* tag = dom.tag(node);
  if (tag == nullptr) return;
  for (NodeHandle child : tag->children) walk_node(child, dom, output, options, context, depth + 1, dom_context);
}

}  // namespace tidewell
