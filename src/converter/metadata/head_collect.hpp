// The search of a parsed document for its head entries.
// Values are read like text: character references decoded.
#pragma once

#include <vector>

#include "converter/metadata/metadata_sink.hpp"
#include "html_parser/dom.hpp"
#include "options/options.hpp"

namespace tidewell {

// The head entries found in the subtree of `node`: the map built from the
// children of the first head (name compared ASCII case-insensitively, in
// document order) that yields any entry. The inside of a head is never
// searched for another head. Reads only `strip_tags` and `preserve_tags`.
HeadMetadataMap collect_head_metadata(NodeHandle node, const TlDom& dom, const ConversionOptions& options);

// The head entries that stand outside any head element, before the first
// text of the page: those of a document that leaves its head implied (valid
// HTML: the head's tags are optional), and those that an HTML5 parser moves
// out of a head that holds an iframe, an image or another body element
// before them. In document order, the title, meta, link and base elements
// met before the first text with content (text inside a head, script,
// style, noscript, template, iframe, svg or math does not count, and svg and
// math titles are not the page's).
struct ImpliedHead {
  HeadMetadataMap entries;
  std::vector<NodeHandle> elements;  // those title, meta, link and base elements
};
ImpliedHead collect_implied_head(const TlDom& dom, const ConversionOptions& options);

}  // namespace tidewell
