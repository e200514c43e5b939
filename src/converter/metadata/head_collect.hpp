// The search of a parsed document for its head entries.
#pragma once

#include "converter/metadata/metadata_sink.hpp"
#include "html_parser/dom.hpp"
#include "options/options.hpp"

namespace tidewell {

// The head entries found in the subtree of `node`: the map built from the
// children of the first head (name compared ASCII case-insensitively, in
// document order) that yields any entry. The inside of a head is never
// searched for another head. Reads only `strip_tags` and `preserve_tags`.
HeadMetadataMap collect_head_metadata(NodeHandle node, const TlDom& dom, const ConversionOptions& options);

}  // namespace tidewell
