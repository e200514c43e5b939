// The white space at the edges of an inline element's rendered content. It
// is written outside the element's markers (Markdown emphasis may not start
// or end with a space), and never dropped: the words on either side of the
// element stay apart.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>

#include "converter/walk/text_node.hpp"
#include "converter/walk/walk.hpp"

namespace tidewell {

struct OuterWhitespaceSplit {
  std::string_view leading;   // "\n" for a line break the content starts with, " " for other white space, or ""
  std::string_view trailing;  // a hard break ("  \n" or "\\\n") the content ends with, " " for other white space, or ""
  std::string_view core;      // the content trimmed of white space
};

// Any white space counts at the edges, line feeds too (a nested block there
// separates words like a space). A line feed at the start, after spaces
// and tabs only, comes from a line break (a br written first into an empty
// buffer is just "\n").
OuterWhitespaceSplit split_outer_whitespace(std::string_view text);

// The element's children rendered at depth + 1 into a new string; `place`
// is where the string's content will stand.
inline std::string render_children(const Walk& w, NodeHandle node, const ConversionContext& context,
                                   std::size_t depth, BufferPlace place = BufferPlace::Elsewhere) {
  std::string buffer;
  w.into(buffer, place).children(node, context, depth);
  return buffer;
}

// Writes `write_core(out)` framed by the outer white space of `split`, so
// that the words on either side stay apart and line breaks stay outside
// the markers: leading white space as the walk's boundary space, a leading
// line break as a hard break unless the output is at the start of a line,
// the trailing space only when the element's next sibling is not blank
// text (which writes its own). Content that is only white space writes
// just the separation. `converted_here`: the core is converted where it
// stands, and its text has looked at what it follows already. A core that
// rewrites what was written before it (takes up the code span before, or
// escapes its last characters) returns where its own text now starts: the
// text written bare is checked from there.
template <typename WriteCore>
void write_framed(const Walk& w, NodeHandle node, const OuterWhitespaceSplit& split, WriteCore&& write_core,
                  bool converted_here = false) {
  std::string& out = w.out();
  const auto hard_break = [&] {
    if (w.at_line_start()) return;
    out += w.options().newline_style == NewlineStyle::Backslash ? "\\\n" : "  \n";
  };
  if (split.core.empty()) {
    if (split.trailing.size() > 1 || split.leading == "\n") {
      hard_break();
    } else if (!split.leading.empty() || !split.trailing.empty()) {
      if (!dom_cache_next_space_text(w.dom_context(), node, w.dom())) w.write_boundary_space();
    }
    return;
  }
  if (split.leading == "\n") {
    hard_break();
  } else if (!split.leading.empty()) {
    w.write_boundary_space();
  }
  std::size_t seam = out.size();
  if constexpr (std::is_void_v<std::invoke_result_t<WriteCore&, std::string&>>) {
    write_core(out);
  } else {
    seam = write_core(out);
  }
  // Content written bare may complete a '<' or '&' of the text before it.
  if (!converted_here) escape_joining_markup_at(out, seam, w.options());
  if (split.trailing == " " && dom_cache_next_space_text(w.dom_context(), node, w.dom())) return;
  out += split.trailing;
}

}  // namespace tidewell
