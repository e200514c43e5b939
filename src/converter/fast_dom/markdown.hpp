// Markdown pieces the fast_dom walker writes around text it does not
// escape otherwise: code spans, link labels, destinations and titles, each
// written so that a CommonMark reader gets the text back as it was.
#pragma once

#include <string>
#include <string_view>

namespace tidewell::fast_dom {

// A code span: a backtick fence longer than any backtick run inside, and a
// space inside the fences when the text starts or ends with a backtick.
void append_code_span(std::string_view text, std::string& out);

// A link label: a backslash before every '[', ']' and '\'.
void append_link_label(std::string_view text, std::string& out);

// A destination: in angle brackets when it holds white space or a control
// character or starts with '<' (line breaks percent-encoded, '<', '>' and
// '\' escaped); bare otherwise, with '\', a '&' that starts a character
// reference and (unless they pair up) parentheses escaped.
void append_destination(std::string_view url, std::string& out);

// A title part: a space and the title in double quotes, '"' and '\'
// escaped, line breaks as spaces.
void append_title(std::string_view title, std::string& out);

}  // namespace tidewell::fast_dom
