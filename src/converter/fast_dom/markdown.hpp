// Code spans and fences of the fast_dom walker, written so that a
// CommonMark reader gets the code back as it was.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tidewell::fast_dom {

// The length of the longest run of `c` in `text` (0 when there is none).
std::size_t longest_run(std::string_view text, char c);

// A code span: a backtick fence longer than any backtick run inside, and a
// space inside the fences when the text starts or ends with a backtick.
void append_code_span(std::string_view text, std::string& out);

}  // namespace tidewell::fast_dom
