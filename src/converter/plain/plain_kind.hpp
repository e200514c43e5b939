// How the plain-text renderer writes each element; the fast DOM walker asks
// it too for the elements that end a line in plain text.
#pragma once

#include <cstdint>

#include "common/tags.hpp"

namespace tidewell {

// Head: the head, whose own elements are skipped and whose other content
// (moved out of it by browsers) is converted. Line: on a line of its own, with
// no blank line around it (a definition list's terms and definitions).
enum class PlainKind : std::uint8_t { Other, Skipped, Head, Br, Hr, Ul, Ol, Li, Pre, Table, Img, Block, Line };

// The kind of a tag (Other for unknown tags).
PlainKind plain_kind(TagId id);

}  // namespace tidewell
