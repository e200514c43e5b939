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

// Which handler of the DOM walk converts an element (see
// converter/document/handler_table.cpp for the one dispatch entry of each).
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

// How the plain-text renderer writes an element.
enum class PlainKind : std::uint8_t { Other, Skipped, Br, Hr, Ul, Ol, Li, Pre, Table, Img, Block };

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
  HandlerFamily family;
  PlainKind plain;
};

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
