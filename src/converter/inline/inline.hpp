// Handlers of inline content. Each is an ElementHandler (see
// converter/walk/walk.hpp) reached through the DOM road's handler table
// (converter/document/handler_table.cpp).
//
// Families still to be built here, each with its entry in the table that
// now sends its elements to convert_unknown_element:
//   Inline      b, strong, i, em, s, del, u, ins, mark, sub, sup, kbd, samp,
//               var, dfn, small, span, abbr, ruby, rb, rt, rp, rtc
//                                               convert_inline_element
//   InlineCode  code                            convert_inline_code
// Links, images, graphics and embedded media are in links.hpp.
#pragma once

#include <cstddef>
#include <string>

#include "converter/walk/walk.hpp"

namespace tidewell {

// --- raw HTML of preserved elements (preserved.cpp) ---

// The element's source bytes from its start tag to the end of its last
// descendant, followed by the end tags found there (the element's own end
// tag is supplied when the input has none). Empty for a non-element.
std::string serialize_preserved_element(NodeHandle node, const TlDom& dom);

// Elements named in `preserve_tags`: their HTML, unchanged.
void convert_preserved_element(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

}  // namespace tidewell
