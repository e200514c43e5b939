// The "fast_dom" road: a lean walk over the parsed document that knows about
// twenty kinds of element and converts every other element's children. No
// context record, no collectors, no metadata.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "html_parser/dom.hpp"
#include "options/options.hpp"

namespace tidewell {

// What the walk carries from an element to its children.
struct FastDomState {
  std::size_t list_depth = 0;   // open ul/ol elements above the node
  bool in_pre = false;          // inside a pre element
  bool in_code = false;         // inside code or pre: text is written as it stands
  bool inline_context = false;  // content rendered as one inline run (heading, item, link, cell, emphasis, code)
  bool numbered = false;        // the innermost list is an ol
  bool in_link = false;         // inside a link's text: a link there is its text alone
  bool in_strong = false;       // inside strong emphasis: strong emphasis there writes no markers
  bool in_emphasis = false;     // inside emphasis: emphasis there likewise
  bool other_marker = false;    // the innermost list follows one of its kind: its items write the other marker
  std::size_t marker_indent = 0;   // spaces before the markers of the innermost list's items
  std::size_t content_indent = 0;  // spaces before the later lines of the innermost item
};

enum class FastDomTagClass : std::uint8_t {
  Skip,
  Heading,
  Paragraph,
  LineBreak,
  Strong,
  Emphasis,
  Code,
  Preformatted,
  Anchor,
  Image,
  UnorderedList,
  OrderedList,
  ListItem,
  Blockquote,
  Rule,
  Table,
  TableSection,
  TableRow,
  Cell,
  Other,
};

// The class of a tag name (ASCII case ignored) and, for headings, the level.
std::pair<FastDomTagClass, int> classify_fast_dom_tag(std::string_view name);

// Writes the Markdown of `node` and its subtree at the end of `out`. Any
// nesting depth: the walk keeps its own stack.
void fast_dom_walk(NodeHandle node, const TlDom& dom, std::string& out, const ConversionOptions& options,
                   FastDomState state);

// Every top-level node in order, as the children of one element that
// writes nothing of its own (added to `dom` for the walk).
void fast_dom_convert(TlDom& dom, const ConversionOptions& options, std::string& out);

}  // namespace tidewell
