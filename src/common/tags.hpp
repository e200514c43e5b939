// The one vocabulary of HTML tag names: every name the converters and the
// HTML5 tree builder know, with what each reader of markup needs to know
// about it. A name is looked up once
// per element (the DOM walk caches the answer per node).
//
// Where readers disagree on a class of names, the table says so with one
// flag per behaviour rather than one compromise list:
//  - void: kVoid (the converters: preserved-element serialisation and the
//    self-closing rewrite), kParserVoid (the fast parsers' start tags that
//    never stay open; asm_tl also treats "command" so), kSerializedVoid
//    (written without an end tag by the repair's HTML serialiser);
//  - raw text: kRawText and kEscapableRawText (title, textarea), as the
//    HTML tokenizer reads them; noscript and plaintext are looked up by id.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tidewell {

// Known tag names, in byte order of the name; Unknown for every other name.
enum class TagId : std::uint8_t {
  Unknown = 0,
  A,
  Abbr,
  Address,
  AnnotationXml,
  Applet,
  Area,
  Article,
  Aside,
  Audio,
  B,
  Base,
  Basefont,
  Bdi,
  Bdo,
  Bgsound,
  Big,
  Blockquote,
  Body,
  Br,
  Button,
  Canvas,
  Caption,
  Center,
  Cite,
  Code,
  Col,
  Colgroup,
  Command,
  Data,
  Datalist,
  Dd,
  Del,
  Desc,
  Details,
  Dfn,
  Dialog,
  Dir,
  Div,
  Dl,
  Dt,
  Em,
  Embed,
  Fieldset,
  Figcaption,
  Figure,
  Font,
  Footer,
  ForeignObject,
  Form,
  Frame,
  Frameset,
  Graphic,
  H1,
  H2,
  H3,
  H4,
  H5,
  H6,
  Head,
  Header,
  Hgroup,
  Hr,
  Html,
  I,
  Iframe,
  Image,
  Img,
  Input,
  Ins,
  Kbd,
  Keygen,
  Label,
  Legend,
  Li,
  Link,
  Listing,
  Main,
  Malignmark,
  Map,
  Mark,
  Marquee,
  Math,
  Menu,
  Meta,
  Meter,
  Mglyph,
  Mi,
  Mn,
  Mo,
  Ms,
  Mtext,
  Nav,
  Nobr,
  Noembed,
  Noframes,
  Noscript,
  Object,
  Ol,
  Optgroup,
  Option,
  Output,
  P,
  Param,
  Picture,
  Plaintext,
  Pre,
  Progress,
  Q,
  Rb,
  Rp,
  Rt,
  Rtc,
  Ruby,
  S,
  Samp,
  Script,
  Search,
  Section,
  Select,
  Small,
  Source,
  Span,
  Strike,
  Strong,
  Style,
  Sub,
  Summary,
  Sup,
  Svg,
  Table,
  Tbody,
  Td,
  Template,
  Textarea,
  Tfoot,
  Th,
  Thead,
  Time,
  Title,
  Tr,
  Track,
  Tt,
  U,
  Ul,
  Var,
  Video,
  Wbr,
  Xmp,
};
inline constexpr std::size_t kTagIdCount = static_cast<std::size_t>(TagId::Xmp) + 1;

enum TagFlag : std::uint16_t {
  kInline = 1u << 0,             // phrasing element (is_inline_tag)
  kBlock = 1u << 1,              // block element (is_block_tag)
  kVoid = 1u << 2,               // written without an end tag and never given one
  kParserVoid = 1u << 3,         // a start tag the fast parsers never leave open
  kSerializedVoid = 1u << 4,     // the HTML serialiser writes no end tag
  kRawText = 1u << 5,            // the tokenizer reads its content as raw text
  kEscapableRawText = 1u << 6,   // raw text in which references are decoded
  kMetadataContent = 1u << 7,    // document metadata (base, link, meta, script, ...)
  kSpaceBetweenDropped = 1u << 8,  // in a paragraph, white space between two of these is dropped
};

struct TagInfo {
  std::string_view name;  // lower case
  std::uint16_t flags;
};

// A per-tag table for a layer above this one: built at compile time from
// (tag, value) entries, every tag not listed holding Value{}; looked up with
// tag_table_at, which gives Value{} for an id out of range.
template <typename Value>
struct TagValue {
  TagId id;
  Value value;
};

template <typename Value, std::size_t N>
constexpr std::array<Value, kTagIdCount> make_tag_table(const TagValue<Value> (&entries)[N]) {
  std::array<Value, kTagIdCount> table{};
  for (const TagValue<Value>& e : entries) table[static_cast<std::size_t>(e.id)] = e.value;
  return table;
}

template <typename Value>
constexpr Value tag_table_at(const std::array<Value, kTagIdCount>& table, TagId id) {
  const auto index = static_cast<std::size_t>(id);
  return index < kTagIdCount ? table[index] : Value{};
}

// The entry of a tag id (Unknown has an empty name and no flags).
const TagInfo& tag_info(TagId id);

// The id of a lower-case name, compared byte for byte.
TagId tag_id(std::string_view lower_name);

// The id of a name with ASCII letters folded ("BR" is br).
TagId tag_id_ignore_case(std::string_view name);

// Whether the tag has one of `flags` (TagFlag values, or-ed).
inline bool tag_has(TagId id, unsigned flags) { return (tag_info(id).flags & flags) != 0; }

// The flag tests by name (lower-cased names, byte for byte).
inline bool is_inline_tag(std::string_view name) { return tag_has(tag_id(name), kInline); }
inline bool is_block_tag(std::string_view name) { return tag_has(tag_id(name), kBlock); }
// Void elements, ASCII case ignored.
inline bool is_void_tag(std::string_view name) { return tag_has(tag_id_ignore_case(name), kVoid); }

// Elements that make a form holding them a page wrapper rather than a form,
// which form removal keeps: a site framework's form around the whole page.
inline bool marks_page_content(TagId id) { return id == TagId::H1 || id == TagId::Article || id == TagId::Main; }

}  // namespace tidewell
