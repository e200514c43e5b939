// Tag-name vocabulary shared by the DOM converter: interning of known
// lower-case names and the inline / block element classes. Every test takes
// a name that is already lower-cased and compares byte for byte.
#pragma once

#include <optional>
#include <string_view>

namespace tidewell {

// The static text of one of the 75 known lower-case tag names, or nullopt.
std::optional<std::string_view> intern_tag_name(std::string_view name);

// Phrasing elements (50 names). "style" and "script" are not among them.
bool is_inline_tag(std::string_view name);

// Block elements (32 names); always false when `is_inline` is set.
bool is_block_tag(std::string_view name, bool is_inline);

}  // namespace tidewell
