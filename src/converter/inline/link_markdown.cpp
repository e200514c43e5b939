#include <algorithm>
#include <string>

#include "converter/inline/links.hpp"
#include "converter/text/processing.hpp"

namespace tidewell {

std::optional<std::string> attribute_value_text(const TlDom& dom, const TlNode::Tag& tag, std::string_view name) {
  const auto bytes = attribute_map_get(dom, tag, name).value_bytes(dom);
  if (!bytes) return std::nullopt;
  return attribute_text(*bytes);
}

std::optional<SiblingPlace> sibling_place(const Walk& w, NodeHandle node) {
  const DomContext& dom_context = w.dom_context();
  if (node >= dom_context.sibling_index.size() || !dom_context.sibling_index[node]) return std::nullopt;
  const std::optional<NodeHandle> parent = dom_context.parent_of(node);
  const std::span<const NodeHandle> siblings =
      parent ? dom_context.children_of(*parent, w.dom()) : std::span<const NodeHandle>(dom_context.roots);
  return SiblingPlace{siblings, std::min<std::size_t>(*dom_context.sibling_index[node], siblings.size())};
}

void append_link_markdown(std::string& out, std::string_view label, std::string_view destination,
                          const std::optional<std::string>& title, bool destination_as_title,
                          const ConversionOptions& options, ReferenceLinkCollector* references) {
  out += '[';
  out += label;
  if (!destination.empty() && references != nullptr && options.link_style == LinkStyle::Reference) {
    const std::uint64_t number = register_reference(*references, std::string(destination), title);
    out += "][";
    out += std::to_string(number);
    out += ']';
    return;
  }
  out += "](";
  escape_markdown_into(destination, EscapeMode::Url, options, out);
  if (title || destination_as_title) {
    out += " \"";
    escape_markdown_into(title ? std::string_view(*title) : destination, EscapeMode::LinkTitle, options, out);
    out += '"';
  }
  out += ')';
}

}  // namespace tidewell
