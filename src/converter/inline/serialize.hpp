// One element of the parsed document and everything below it, written back
// as compact HTML: element names lower-cased (SVG's camelCase names restored),
// attributes sorted by name, childless elements self-closed, comments
// dropped, text as written.
#pragma once

#include <string>
#include <string_view>

#include "html_parser/dom.hpp"

namespace tidewell {

// Empty for a handle outside the document and for a text or comment node.
// Any nesting depth: the tree is walked with an explicit stack.
std::string serialize_subtree_html(NodeHandle node, const TlDom& dom);

// Appends an attribute value for the inside of double quotes: '"' is
// written as "&quot;" (it would end the value), everything else as it is.
void append_attribute_value(std::string_view value, std::string& out);

// The camelCase form of a lower-case SVG element name ("clippath" gives
// "clipPath"), as the HTML standard adjusts SVG tag names; other names are
// returned unchanged.
std::string_view adjust_svg_tag_name(std::string_view lower_name);

}  // namespace tidewell
