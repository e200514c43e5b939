// HTML repair: a round trip through a standards-conformant HTML5 parser.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tidewell {

// Rewrites self-closing start tags of non-void elements ("<div/>") into a
// start and end tag pair, then parses the text as a whole HTML document and
// serialises it back: implied html/head/body present, every element closed,
// attribute values quoted and escaped. Every input parses.
std::string repair_html(std::string_view html);

// The self-closing rewrite alone (nullopt: nothing to rewrite). Comments and
// other "<!"/"<?" declarations are passed over unchanged.
std::optional<std::string> rewrite_self_closing_tags(std::string_view html);

}  // namespace tidewell
