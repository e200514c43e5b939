// The white space at the edges of an inline element's rendered content. It
// is written outside the element's markers (Markdown emphasis may not start
// or end with a space), and never dropped: the words on either side of the
// element stay apart.
#pragma once

#include <string>
#include <string_view>

#include "converter/walk/walk.hpp"

namespace tidewell {

struct OuterWhitespaceSplit {
  std::string_view leading;   // " " when the content starts with white space, else ""
  std::string_view trailing;  // a hard break ("  \n" or "\\\n") the content ends with, else " " or ""
  std::string_view core;      // the content trimmed of white space
};

// Any white space counts at the edges, line feeds too (a nested block or a
// line break there separates words like a space).
OuterWhitespaceSplit split_outer_whitespace(std::string_view text);

// Writes `write_core(out)` framed by the outer white space of `split`: the
// leading space only where the output does not already end with white
// space, the trailing space only when the element's next sibling is not
// blank text (which writes its own). Content that is only white space
// writes just the separation: its hard break, or one space where the output
// does not end with white space.
template <typename WriteCore>
void write_framed(const Walk& w, NodeHandle node, const OuterWhitespaceSplit& split, WriteCore&& write_core) {
  std::string& out = w.out();
  if (split.core.empty()) {
    if (split.trailing.size() > 1) {
      if (!w.end().is_line_start()) out += split.trailing;
    } else if (!split.leading.empty() || !split.trailing.empty()) {
      if (!w.end().is_white_space() && !dom_cache_next_space_text(w.dom_context(), node, w.dom())) out += ' ';
    }
    return;
  }
  if (!split.leading.empty() && !w.end().is_white_space()) out += ' ';
  write_core(out);
  if (split.trailing == " " && dom_cache_next_space_text(w.dom_context(), node, w.dom())) return;
  out += split.trailing;
}

}  // namespace tidewell
