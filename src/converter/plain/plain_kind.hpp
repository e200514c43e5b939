// How the plain-text renderer writes each element; the fast DOM walker asks
// it too for the elements that end a line in plain text.
#pragma once

#include <cstdint>

#include "common/tags.hpp"

namespace tidewell {

enum class PlainKind : std::uint8_t { Other, Skipped, Head, Br, Hr, Ul, Ol, Li, Pre, Table, Img, Block };

// The kind of a tag (Other for unknown tags).
PlainKind plain_kind(TagId id);

}  // namespace tidewell
