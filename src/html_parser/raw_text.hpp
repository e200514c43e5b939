// Raw-text elements, shared by both parser backends: the content of a
// script or style element is text up to its end tag, never markup, as in
// every HTML parser. (A JSON-LD script may hold "<p>" or "</div>" inside its
// strings; read as markup, that swallows the rest of the page.)
#pragma once

#include <cstddef>
#include <string_view>

#include "common/raw_text.hpp"
#include "common/scan.hpp"
#include "html_parser/tag_name.hpp"

namespace tidewell {

// "script" or "style" (lower case) for a tag name that is one of them in any
// ASCII case; empty for every other name.
inline std::string_view raw_text_element(const FoldedName& name) {
  if (name.is("script")) return "script";
  if (name.is("style")) return "style";
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
