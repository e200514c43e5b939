// Small byte tests on the end of an output string, shared by the walk's
// handlers.
#pragma once

#include <string>
#include <string_view>

namespace tidewell::walk_detail {

inline bool ends_with(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

inline bool last_byte_is(std::string_view s, char c) { return !s.empty() && s.back() == c; }

// The output ends with a list marker: "* ", "- " or ". ".
inline bool ends_with_list_marker(std::string_view s) {
  return ends_with(s, "* ") || ends_with(s, "- ") || ends_with(s, ". ");
}

// Appends `n` spaces.
inline void append_spaces(std::string& out, std::size_t n) { out.append(n, ' '); }

}  // namespace tidewell::walk_detail
