// Links inside the elements kept as HTML are written as an HTML a tag.
#include "streaming/processor.hpp"
#include "streaming/url.hpp"

namespace tidewell::streaming {

void escape_html_attribute(std::string& out, std::string_view text) {
  append_with_entities(out, text, [](char c) -> const char* {
    switch (c) {
      case '"': return "&quot;";
      case '&': return "&amp;";
      case '<': return "&lt;";
      case '>': return "&gt;";
      case '[': return "&#91;";
      case ']': return "&#93;";
      default: return nullptr;
    }
  });
}

std::string html_tag(TagId id, bool closing) {
  std::string tag = closing ? "</" : "<";
  tag += tag_name(id);
  tag += '>';
  return tag;
}

std::optional<std::string> Processor::write_html_open_tag(const ElementFrame& frame, bool opening) const {
  const ParsedAttribute* href = find_attribute(frame.attributes, "href");
  if (!href) return std::nullopt;
  std::optional<std::string> url = resolve_attribute_url(href->value);
  if (!url) return std::nullopt;
  if (!opening) return "</a>";
  std::string tag = "<a href=\"";
  escape_html_attribute(tag, *url);
  tag += '"';
  if (const ParsedAttribute* title = find_attribute(frame.attributes, "title")) {
    tag += " title=\"";
    escape_html_attribute(tag, title->value);
    tag += '"';
  }
  tag += '>';
  return tag;
}

}  // namespace tidewell::streaming
