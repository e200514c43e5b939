// What the single-pass scanner knows about each tag name it accepts: whether
// the element is void or block-level, which open element it may close
// without an end tag, and the kind that selects its open and close actions.
// Names come from the project's one tag vocabulary (common/tags); every name
// outside this table makes the scanner give up.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/tags.hpp"

namespace tidewell {

enum class Tier1Kind : std::uint8_t {
  Container,
  Paragraph,
  Heading,
  Blockquote,
  Rule,
  Preformatted,
  Transparent,
  Strong,
  Emphasis,
  Code,
  LineBreak,
  Anchor,
  Image,
  List,
  ListItem,
  Table,
  TableHead,
  TableBody,
  TableFoot,
  TableRow,
  Cell,
  Caption,
  Refused,
};

// Groups of elements that may close without their own end tag.
enum class Tier1CloseGroup : std::uint8_t {
  None,
  ListItem,   // li: closed by a new li
  Paragraph,  // p: closed by any block element
  TableRow,   // tr: closed by a new tr
  Cell,       // td, th: closed by a new td or th
  Option,     // option: closed by a new transparent element
};

struct Tier1Tag {
  TagId id = TagId::Unknown;
  Tier1Kind kind = Tier1Kind::Refused;
  bool is_void = false;
  bool is_block = false;
  Tier1CloseGroup close_group = Tier1CloseGroup::None;
  // Heading level 1-6; 1 for ol and th; 0 elsewhere.
  std::uint8_t param = 0;
};

// The entry of a lower-case tag name, compared byte for byte; nullptr for a
// name the scanner does not accept.
const Tier1Tag* lookup_tier1_tag(std::string_view lower_name);

// The same for a name as written, ASCII letters folded on the way: what
// lookup_tier1_tag(ascii_lowercase_into(name, buffer)) gives, without the copy.
const Tier1Tag* lookup_tier1_tag_ignore_case(std::string_view name);

// The first 32 bytes of `name` with ASCII letters lower-cased, in `buffer`.
std::string_view ascii_lowercase_into(std::string_view name, char (&buffer)[32]);

}  // namespace tidewell
