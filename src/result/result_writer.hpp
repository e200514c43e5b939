// Compact JSON form of the result records, written in one pass straight into
// a caller-owned buffer.
#pragma once

#include <string>
#include <string_view>

#include "result/result.hpp"

namespace tidewell {

// Appends the result object.
void serialize_conversion_result(const ConversionResult& result, std::string& buf);

// Appends one node object.
void serialize_document_node(const DocumentNode& node, std::string& buf);

// Appends `"grid":{...}` as the next field of an object being written;
// `after_key` says whether that object already has a key (then a comma
// goes first).
void serialize_table_grid(const TableGrid& grid, std::string& buf, bool after_key);

// Appends `text` as a JSON string: '"' and '\' backslash-escaped, \b \t \n
// \f \r, other bytes below 0x20 as \u00XX, everything else as its UTF-8
// bytes. An invalid UTF-8 sequence becomes U+FFFD, so the output is always
// valid UTF-8.
void append_json_string(std::string& buf, std::string_view text);

}  // namespace tidewell
