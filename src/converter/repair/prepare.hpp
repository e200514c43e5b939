// Preparation of the text handed to gumbo, and the walk that writes gumbo's
// tree back to HTML.
#pragma once

#include <gumbo.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "common/tags.hpp"

namespace tidewell::repair {

// Whether the lower-case `name` is one of `names`.
inline bool name_in(std::string_view name, std::initializer_list<std::string_view> names) {
  for (std::string_view n : names) {
    if (n == name) return true;
  }
  return false;
}

// The elements the HTML serialisation writes without an end tag (lower-case
// `name`).
inline bool is_serialized_void(std::string_view name) { return tag_has(tag_id(name), kSerializedVoid); }

// A noscript element's raw content, kept aside: the parse buffer holds an
// empty comment at `placeholder` instead, and the writer puts the content
// back. (gumbo parses as if scripting were off, which would pull elements
// written inside a noscript out of the head.)
struct RawNoscript {
  std::size_t placeholder;  // offset of the comment's "<" in the parse buffer
  std::string_view raw;     // the content, a view into the caller's text
};

struct PreparedInput {
  std::string buffer;  // empty when nothing had to change (parse the text itself)
  bool rewritten = false;
  std::vector<RawNoscript> noscripts;
  // Estimated tree-building work (open elements scanned) exceeds the budget.
  bool too_costly = false;
};

// Work budget: the HTML5 tree builder scans the stack of open elements for
// many tokens, so its run time grows with depth times tokens; documents
// whose estimate passes this bound are not repaired.
inline constexpr std::uint64_t kRepairWorkBudget = 200'000'000;

PreparedInput prepare_for_parse(std::string_view text, std::uint64_t budget = kRepairWorkBudget);

// Writes the children of gumbo's document node as HTML into `out`.
// `buffer` is the text that was parsed, `noscripts` its placeholders.
void serialize_document(const GumboNode* document, std::string_view buffer,
                        const std::vector<RawNoscript>& noscripts, std::string& out);

}  // namespace tidewell::repair
