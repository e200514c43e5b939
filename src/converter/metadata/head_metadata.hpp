// Sink operations for head entries, language, direction and JSON-LD texts.
// The front matter written from the head entries is in front_matter.hpp, the
// search of a parsed document for its head entries in head_collect.hpp.
#pragma once

#include <string>

#include "converter/metadata/front_matter.hpp"
#include "converter/metadata/metadata_sink.hpp"

namespace tidewell {

// Inserts every entry into the sink's head map when document entries are
// collected; a present key takes the new value.
void merge_head_metadata(MetadataSink& sink, HeadMetadataMap entries);

// Keep the first value offered, when document entries are collected.
void metadata_set_language(MetadataSink& sink, std::string value);
void metadata_set_direction(MetadataSink& sink, std::string value);

// Accepts the whole text when structured data is collected and it fits in
// what is left of the JSON-LD budget; drops it otherwise.
void metadata_add_json_ld(MetadataSink& sink, std::string text);

}  // namespace tidewell
