// asm_tl tree builder: turns the tokenizer's flat arrays into a TlDom.
#pragma once

#include <cstddef>
#include <optional>

#include "html_parser/asm_tl/tokenizer.hpp"
#include "html_parser/dom.hpp"

namespace tidewell::asm_tl {

// Inline capacity of this backend's attribute maps.
inline constexpr std::uint8_t kAttributeInlineCapacity = 4;

// Empties the document's arena and refills it with one node per token (a
// token's index is its NodeHandle), then links every node to its parent's
// children or to top_level. Fails with ParseError::UnsupportedDeclaration when
// a token has an unknown kind, a parent that is not an earlier element, or a
// span outside the input or the attribute array.
std::optional<ParseError> build_dom_from_tokens(TlDom& dom, const AsmToken* tokens, std::size_t token_count,
                                                const AsmAttribute* attributes, std::size_t attribute_count);

}  // namespace tidewell::asm_tl
