// The prescan of the auto road: one pass over the prepared text before the
// tier-1 scanner runs. It rewrites a few constructs, finds the head's content
// and flags what the scanner cannot convert.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "converter/tier1/scanner.hpp"

namespace tidewell {

struct PrescanSummary {
  std::optional<HeadSpan> head_span;  // the head element's content, in the scan text
  bool custom_element = false;        // a tag name holding '-' outside SVG
  bool cdata = false;                 // "<![CDATA["
  bool escaped_lt = false;            // a '<' that starts no markup, written "&lt;"
  bool script = false;                // a script or style element was emptied
  bool svg = false;                   // an svg start tag

  // Whether the scanner is not to run at all.
  bool blocks_scanner() const { return custom_element || cdata || escaped_lt || svg; }
};

struct Prescan {
  std::optional<std::string> rewritten;  // the scan text, when a rewrite changed it
  PrescanSummary summary;

  std::string_view scan_text(std::string_view prepared) const {
    return rewritten ? std::string_view(*rewritten) : prepared;
  }
};

// "<!---->" becomes "<!-- -->", a '<' that starts no markup "&lt;", a
// DOCTYPE is removed and the content of script and style elements outside
// SVG is dropped; comments are read like any other text.
Prescan prescan_input(std::string_view prepared);

}  // namespace tidewell
