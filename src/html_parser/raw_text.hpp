// Raw-text elements, shared by both parser backends: the content of a
// script or style element is text up to its end tag, never markup, as in
// every HTML parser. (A JSON-LD script may hold "<p>" or "</div>" inside its
// strings; read as markup, that swallows the rest of the page.)
#pragma once

#include <cstddef>
#include <string_view>

#include "common/raw_text.hpp"
#include "common/scan.hpp"
#include "html_parser/end_tag_scope.hpp"

namespace tidewell {

// "script" or "style" (lower case) for a start tag whose name is one of
// them in any ASCII case (OpenScopes::start_tag tells); empty for every
// other.
inline std::string_view raw_text_element(const OpenScopes::StartTag& tag) {
  if ((tag.start & end_tag_scope::kRawTextScript) != 0) return "script";
  if ((tag.start & end_tag_scope::kRawTextStyle) != 0) return "style";
  return {};
}

// Where the content of a raw-text element named `name` (lower case) that
// starts at `from` ends: the position of the "<" of its end tag ("</", the
// name in any ASCII case, then white space, "/" or ">"), or the end of the input when
// the element is never closed. `tag_end` is set to the position after the
// end tag's ">" (the end of the input when it has none).
inline std::size_t find_raw_text_end(std::string_view input, std::size_t from, std::string_view name,
                                     std::size_t& tag_end) {
  const std::size_t n = input.size();
  const std::size_t lt = scan::find_end_tag(input, from, name);
  if (lt == scan::npos) {
    tag_end = n;
    return n;
  }
  const std::size_t gt = scan::find_byte(input, '>', lt + 2 + name.size());
  tag_end = gt == scan::npos ? n : gt + 1;
  return lt;
}

}  // namespace tidewell
