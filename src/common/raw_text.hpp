// How an HTML tokenizer reads a start tag's attributes and the content of
// raw-text elements, for the text passes that must leave alone what it
// reads as text.
#pragma once

#include <cstddef>
#include <string_view>

#include "common/scan.hpp"
#include "common/tags.hpp"

namespace tidewell::scan {

// A start tag as the tokenizer reads it after its name.
struct StartTagEnd {
  std::size_t end = npos;     // after its '>'; npos when the text ends first
  bool self_closing = false;  // ended by a "/>" outside every attribute value
};

// Reads the attributes of a start tag from `from`, the byte right after its
// name. A quote opens a value only right after "=", and a '/' inside an
// unquoted value belongs to the value: "<a href=/a/>" is not self-closing.
StartTagEnd read_start_tag(std::string_view t, std::size_t from);

// Whether the tokenizer reads the content of an element of this kind as
// text up to its own end tag (raw text and escapable raw text: script,
// style, title, textarea, xmp, iframe, noembed, noframes).
inline bool has_raw_text(TagId id) { return tag_has(id, kRawText | kEscapableRawText); }

// The first end tag "</name" (`name` in lower case; ASCII case ignored in
// `t`) followed by white space, "/" or ">" at or after `from`: the position
// of its "<", or npos.
std::size_t find_end_tag(std::string_view t, std::size_t from, std::string_view name);

// Where the content of an element `id` (a raw-text element, or noscript)
// that starts at `from` ends: at the "<" of its end tag ("</name" followed by
// white space, "/" or ">", ASCII case ignored), or at the end of the text. In
// a script, an end tag between "<!--" and "-->" that follows a "<script"
// does not count, as the tokenizer's escaped states have it.
std::size_t raw_text_end(std::string_view t, std::size_t from, TagId id);

}  // namespace tidewell::scan
