// Turns a filled MetadataSink into the HtmlMetadata of the result: schema
// types of the JSON-LD texts, head entries mapped onto the document fields
// and the Open Graph, Twitter card and other meta maps, text direction.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "converter/metadata/metadata_sink.hpp"
#include "result/result.hpp"

namespace tidewell {

HtmlMetadata build_html_metadata(MetadataSink sink);

// "ltr", "rtl" or "auto", ASCII case-insensitive over the whole text.
std::optional<TextDirection> parse_text_direction(std::string_view text);

// Pieces between ',' trimmed of white space, empty ones dropped.
std::vector<std::string> split_comma_list(std::string_view text);

// The schema type of one JSON-LD text: the first "@type" string by a quick
// scan, else the top-level "@type" string, else the "@type" string of the
// first typed object of a top-level "@graph" array.
std::optional<std::string> json_ld_schema_type(std::string_view text);

// Maps the head entries onto `document` (title, description, author,
// keywords, canonical and base addresses, the three meta maps).
void apply_head_entries(const HeadMetadataMap& entries, DocumentMetadata& document);

}  // namespace tidewell
