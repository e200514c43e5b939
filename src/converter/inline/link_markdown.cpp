#include <string>

#include "converter/inline/links.hpp"
#include "converter/text/processing.hpp"

namespace tidewell {

std::optional<std::string> attribute_value_text(const TlDom& dom, const TlNode::Tag& tag, std::string_view name) {
  const auto bytes = attribute_map_get(dom, tag, name).value_bytes(dom);
  if (!bytes) return std::nullopt;
  return attribute_text(*bytes);
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
