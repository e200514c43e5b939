// Tag-name vocabulary shared by the DOM converter: interning of known
// lower-case names and the inline / block element classes. Every test takes
// a name that is already lower-cased and compares byte for byte, except
// is_void_tag.
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

// Void elements (14 names), ASCII case ignored: elements written without an
// end tag and never given one.
bool is_void_tag(std::string_view name);

}  // namespace tidewell
