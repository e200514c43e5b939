// The parsed-JSON steps of the JSON-LD schema type, over the project's
// generic JSON value reader.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tidewell::metadata_detail {

// Parses `text` strictly once; with `top_type`, the top-level object's
// "@type" string, then with `graph`, the "@type" string of the first object
// in the top-level "@graph" array that has one. nullopt when the text is
// refused or neither is found.
std::optional<std::string> parsed_schema_type(std::string_view text, bool top_type, bool graph);

}  // namespace tidewell::metadata_detail
