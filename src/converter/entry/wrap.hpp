// Re-wrapping of finished Markdown at a byte width.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tidewell {

// Re-flows paragraphs, block quotes and list items to `width` bytes; code,
// headings, tables, rules and front matter pass through unchanged.
std::string wrap_markdown(std::string_view text, std::uint64_t width);

// Fills one paragraph greedily; lines joined by LF, no final LF. A text
// that already fits is returned unchanged.
std::string wrap_emit_line(std::string_view text, std::uint64_t width);

// Fills one paragraph under `prefix` (each line starts with it).
std::string wrap_prefixed_paragraph(std::string_view prefix, std::string_view text, std::uint64_t width);

}  // namespace tidewell
