#include <string>

#include "converter/metadata/structure_sink.hpp"
#include "converter/text/unicode_space.hpp"
#include "converter/walk/text_node.hpp"
#include "converter/walk/text_util.hpp"
#include "converter/walk/walk_node.hpp"

namespace tidewell {

using walk_detail::ends_with;
using walk_detail::ends_with_list_marker;
using walk_detail::last_byte_is;

namespace {

// The separator between two pieces of one table cell.
std::string_view cell_separator(const ConversionOptions& options) {
  if (options.br_in_tables) return "<br>";
  return options.newline_style == NewlineStyle::Backslash ? "\\\n" : "  \n";
}

bool needs_cell_separator(const std::string& output, const ConversionContext& context) {
  return context.in_table_cell && !output.empty() && output.back() != '|' && !ends_with(output, "<br>");
}

bool is_whitespace_only_bytes(std::string_view bytes) { return trim_unicode_space(bytes).empty(); }

// The raw bytes of a text node hold only white space (nothing decoded).
bool is_whitespace_only_text(NodeHandle node, const TlDom& dom) {
  const TlNode* n = dom.node(node);
  const TlNode::Raw* raw = n != nullptr ? n->as_raw() : nullptr;
  return raw != nullptr && is_whitespace_only_bytes(dom.bytes(raw->text));
}

// The lower-cased name of the nearest earlier element sibling, skipping
// comments and whitespace-only text; nothing when a text with content or
// the start of the siblings comes first.
std::optional<std::string_view> previous_element_name(NodeHandle node, const TlDom& dom,
                                                      const DomContext& dom_context) {
  if (node >= dom_context.sibling_index.size() || !dom_context.sibling_index[node]) return std::nullopt;
  const std::optional<NodeHandle> parent = dom_context.parent_of(node);
  const std::span<const NodeHandle> siblings =
      parent ? dom_context.children_of(*parent) : std::span<const NodeHandle>(dom_context.roots);
  std::size_t pos = static_cast<std::size_t>(*dom_context.sibling_index[node]);
  if (pos > siblings.size()) pos = siblings.size();
  while (pos > 0) {
    const NodeHandle h = siblings[--pos];
    const TlNode* n = dom.node(h);
    if (n == nullptr || n->is_comment()) continue;
    if (n->is_raw()) {
      if (is_whitespace_only_text(h, dom)) continue;
      return std::nullopt;
    }
    if (const CachedTagInfo* info = dom_cache_tag_info(dom_context, h, dom)) return info->name.view();
    return std::nullopt;
  }
  return std::nullopt;
}

// The last line of the output that is not blank begins, after its leading
// white space, with ">".
bool output_ends_in_quotation(const std::string& output) {
  std::size_t end = output.size();
  while (end > 0) {
    const std::size_t nl = output.rfind('\n', end - 1);
    const std::size_t start = nl == std::string::npos ? 0 : nl + 1;
    const std::string_view line(output.data() + start, end - start);
    const std::string_view trimmed = trim_unicode_space(line);
    if (!trimmed.empty()) return trimmed.front() == '>';
    if (nl == std::string::npos) break;
    end = nl;
  }
  return false;
}

}  // namespace

bool is_void_or_metadata_tag(NodeHandle node, const TlDom& dom) {
  const TlNode::Tag* tag = dom.tag(node);
  if (tag == nullptr) return false;
  const std::string_view name = dom.bytes(tag->name);
  return name == "br" || name == "hr" || name == "img" || name == "meta" || name == "link" || name == "input";
}

void emit_line_break(std::string& output, NewlineStyle newline_style, bool in_single_line) {
  if (in_single_line) {
    trim_trailing_spaces_tabs(output);
    output += "  ";
    return;
  }
  if (!output.empty() && output.back() != '\n') {
    output += newline_style == NewlineStyle::Backslash ? "\\\n" : "  \n";
    return;
  }
  output += '\n';
}

// Inside a paragraph the rule is separated like anywhere else: "---"
// right under a line of text would turn that text into a heading.
void convert_horizontal_rule(NodeHandle node, const TlDom& dom, std::string& output,
                             [[maybe_unused]] bool in_paragraph, const DomContext& dom_context) {
  if (dom.tag(node) == nullptr) return;
  if (output.empty()) {
    output += "---\n";
    return;
  }
  const std::optional<std::string_view> previous = previous_element_name(node, dom, dom_context);
  const bool after_blockquote = previous && *previous == "blockquote";
  const bool quoted = output_ends_in_quotation(output);

  if (after_blockquote && output.size() > 1 && ends_with(output, "\n\n")) {
    output.pop_back();
  } else if (!quoted && !after_blockquote) {
    trim_trailing_spaces_tabs(output);
    if (output.empty()) {
      output += "\n\n";
    } else if (ends_with(output, "\n\n")) {
    } else if (output.back() == '\n') {
      output += '\n';
    } else {
      output += "\n\n";
    }
  } else if (!last_byte_is(output, '\n')) {
    output += '\n';
  }
  output += "---\n";
}

void convert_div(NodeHandle node, const TlDom& dom, std::string& output, const ConversionOptions& options,
                 const ConversionContext& context, std::size_t depth, const DomContext& dom_context) {
  if (dom.tag(node) == nullptr) return;
  if (context.inline_mode) {
    convert_children(node, dom, output, options, context, depth, dom_context);
    return;
  }
  const std::size_t start = output.size();
  const bool needs_separator = needs_cell_separator(output, context);
  bool indented = false;

  if (context.in_list_item) {
    if (!output.empty()) {
      if (needs_separator) {
        trim_trailing_spaces_tabs(output);
        output += cell_separator(options);
      } else if (!(output.size() >= 2 && ends_with_list_marker(output))) {
        if (output.back() != '\n') output += '\n';
        walk_detail::append_spaces(output, 2 * context.list_depth);
        indented = true;
      }
    }
  } else if (!output.empty() && !context.in_table_cell) {
    if (!(output.size() >= 2 && ends_with(output, "\n\n"))) {
      trim_trailing_spaces_tabs(output);
      output += "\n\n";
    }
  } else if (needs_separator) {
    trim_trailing_spaces_tabs(output);
    output += cell_separator(options);
  }

  convert_children(node, dom, output, options, context, depth, dom_context);

  if (output.size() <= start) return;
  if (start == 0 && output.front() == '\n' && !(output.size() >= 2 && output[1] == '\n')) output.erase(0, 1);
  trim_trailing_spaces_tabs(output);
  if (context.in_table_cell) return;
  if (context.in_list_item && indented) {
    if (!last_byte_is(output, '\n')) output += '\n';
    return;
  }
  if (ends_with(output, "\n\n")) return;
  output += last_byte_is(output, '\n') ? "\n" : "\n\n";
}

void convert_paragraph(NodeHandle node, const TlDom& dom, std::string& output, const ConversionOptions& options,
                       const ConversionContext& context, std::size_t depth, const DomContext& dom_context) {
  const TlNode::Tag* tag = dom.tag(node);
  if (tag == nullptr) return;
  const std::size_t start = output.size();
  const bool needs_separator = needs_cell_separator(output, context);
  const bool after_marker = context.in_list_item && output.size() >= 2 && ends_with_list_marker(output);
  const bool after_fence = output.size() >= 4 && ends_with(output, "```\n");
  const bool block_context = context.in_list_item || context.in_table_cell || context.inline_mode;

  if (context.in_list_item && output.empty()) {
  } else if (!output.empty() && !block_context && context.blockquote_depth == 0 && !ends_with(output, "\n\n")) {
    if (!after_fence) {
      trim_trailing_spaces_tabs(output);
      output += "\n\n";
    }
  } else if (needs_separator) {
    trim_trailing_spaces_tabs(output);
    output += "<br>";
  } else if (context.in_list_item && !after_marker) {
    if (!last_byte_is(output, ' ') && !last_byte_is(output, '\n')) output += ' ';
    walk_detail::append_spaces(output, 4 * context.list_depth);
  }

  ConversionContext scope = context;
  scope.in_paragraph = true;
  scope.block_start = output.size();

  const auto children = tag->children.as_span();
  for (std::size_t i = 0; i < children.size(); ++i) {
    const NodeHandle child = children[i];
    if (i > 0 && i + 1 < children.size() && is_whitespace_only_text(child, dom) &&
        is_void_or_metadata_tag(children[i - 1], dom) && is_void_or_metadata_tag(children[i + 1], dom)) {
      continue;
    }
    walk_node(child, dom, output, options, scope, depth + 1, dom_context);
  }

  if (output.size() <= start) return;
  if (!context.inline_mode && !context.in_table_cell) output += "\n\n";
  if (!block_context && context.structure_sink != nullptr) {
    const std::string_view text = trim_unicode_space(std::string_view(output).substr(start));
    if (!text.empty()) doc_struct_add_paragraph(*context.structure_sink, text);
  }
}

void convert_unknown_element(NodeHandle node, const TlDom& dom, std::string& output,
                             const ConversionOptions& options, const ConversionContext& context, std::size_t depth,
                             const DomContext& dom_context) {
  if (dom.tag(node) == nullptr) return;
  const std::size_t start = output.size();
  const bool ends_with_space = last_byte_is(output, ' ');
  convert_children(node, dom, output, options, context, depth, dom_context);
  if (output.size() <= start) return;
  const std::string_view added = std::string_view(output).substr(start);
  if (added.starts_with("    ") || added.starts_with("```") || added.starts_with("~~~")) return;
  if (!is_whitespace_only_bytes(added)) return;
  const bool had_space = added.find(' ') != std::string_view::npos;
  output.resize(start);
  if (!ends_with_space && had_space) output += ' ';
}

}  // namespace tidewell
