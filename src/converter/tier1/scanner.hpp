// The tier-1 road: a single forward pass that converts a narrow subset of
// HTML to Markdown without building a tree, and gives up (with a reason) the
// moment it meets anything outside that subset; the caller then converts the
// same text on the DOM road.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "options/options.hpp"

namespace tidewell {

// Why the scanner gave up. Only for diagnosis: every reason sends the call
// on to the DOM road alike.
enum class Tier1Reason : std::uint8_t {
  Unsupported,          // an element the scanner refuses, a list in a list, a table it cannot write
  UnexpectedEndTag,     // an end tag that closes nothing open
  UnclosedElement,      // an element without implicit close still open at the end
  MalformedMarkup,      // a '<' that starts no tag, comment or declaration, or one without its end
  CdataSection,         // "<![CDATA["
  UnrecognizedElement,  // a name outside the scanner's table, or holding '-'
  CellSpan,             // rowspan or colspan other than 1
  BlockInCell,          // block content, a break or a line feed inside a table cell
  NestedTable,          // a table inside a table
  TableCaption,         // a caption
  TableSectionOrder,    // thead or tbody after a later section
  UnrecognizedEntity,   // "&name;" that is no character reference
  BlockInListItem,      // a paragraph, heading, quote, rule, code block or table inside a list item
  BlockInInline,        // a block element inside emphasis, code, a link or a code block
  UnsafeLink,           // a destination, title or text that Markdown cannot hold as written
  DroppedContent,       // content the output would lose (text between table cells, cells outside rows)
  RemovedElement,       // an element the conversion options remove (forms, navigation, hidden)
};

std::string_view tier1_reason_name(Tier1Reason reason);

struct Tier1Bailout {
  Tier1Reason reason = Tier1Reason::Unsupported;
  std::string name;           // the tag or reference name involved, when there is one
  std::size_t position = 0;   // offset in the scanned text of the markup where it gave up
  std::size_t open_elements = 0;
};

// Byte range of a head element's content in the scanned text.
struct HeadSpan {
  std::size_t start = 0;
  std::size_t end = 0;
};

using Tier1Outcome = std::variant<std::string, Tier1Bailout>;

// Converts `text` (prepared and prescanned: line endings "\n", no NUL) under
// the one option set of tier1_options_supported. Reads `extract_metadata`
// (a front matter from `head_span`, parsed after the body) and the
// `preprocessing` removals. Keeps no state between calls.
Tier1Outcome scan_tier1(std::string_view text, std::optional<HeadSpan> head_span, const ConversionOptions& options);

// The front matter of the head content at `span` of `text` ("---" lines and
// a blank line), or "" when it yields no entry.
std::string tier1_front_matter(std::string_view text, HeadSpan span);

}  // namespace tidewell
