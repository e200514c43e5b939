// Which handler of the DOM walk converts an element: the family of each tag,
// the index of HandlerTable (walk.hpp). The DOM road binds each family to
// its handler in converter/document/handler_table.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/tags.hpp"

namespace tidewell {

enum class HandlerFamily : std::uint8_t {
  Unknown,      // no handler of its own: the content is converted, no markup
  Nothing,      // nothing is written (wbr, source)
  Transparent,  // only the children are converted (time, data, html, body)
  Metadata,     // head, style, script: JSON-LD capture, body content in a head
  Paragraph,
  Div,
  LineBreak,
  Rule,
  Heading,
  Link,
  Inline,       // emphasis and the other inline formats, ruby
  InlineCode,
  Image,
  Graphic,
  Embedded,     // svg, math, audio, video, iframe, picture
  List,         // ul, ol, li, dl, dt, dd
  CodeBlock,
  Blockquote,
  Semantic,     // sectioning elements, q, figure, details, dialog, menu
  Form,
  Table,
  TablePart,    // tr, td, th, thead, tbody, tfoot met outside the table handler
  Caption,
};
inline constexpr std::size_t kHandlerFamilyCount = static_cast<std::size_t>(HandlerFamily::Caption) + 1;

// The family of a tag (Unknown for unknown tags).
HandlerFamily handler_family(TagId id);

}  // namespace tidewell
