// Small text and name routines shared by the inline handlers (links,
// images, media, inline formats, ruby). What the tag table and the text
// module already offer is used from there: is_block_tag and is_inline_tag
// (common/tags.hpp), is_unicode_space (common/unicode_space.hpp),
// collapse_whitespace (converter/text/processing.hpp).
#pragma once

#include <string>
#include <string_view>

#include "common/cow_text.hpp"

namespace tidewell {

// The text on one line: every line feed and carriage return becomes a space
// (a "\r\n" pair two), runs of folding spaces become one space, and the
// result is trimmed of white space at both ends.
std::string fold_line_breaks(std::string_view text);

// Link text that is already Markdown (converted children): every '[' and
// ']' that pairs with no other gets a backslash, and a final odd run of
// backslashes one more, so that the text cannot end or split the link.
std::string escape_link_text_brackets(std::string_view text);

// Appends a link's Markdown (starting with '['): a '!' that ends the output
// gets a backslash first, so that the link does not become an image.
void append_link_after_text(std::string& out, std::string_view link);

// Inside a pipe-table cell a bare '|' ends the cell even within a link's
// destination or title: every '|' from `from` on that no odd run of
// backslashes precedes gets one. Idempotent.
void escape_cell_pipes(std::string& markdown, std::size_t from = 0);

// The name with ASCII letters A-Z lowered, every other byte kept; borrowed
// when there is nothing to lower.
CowText ascii_lowercase_name(std::string_view name);

}  // namespace tidewell
