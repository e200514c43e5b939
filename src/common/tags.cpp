#include "common/tags.hpp"

#include <array>
#include <cstring>

namespace tidewell {
namespace {

constexpr TagInfo kTags[] = {
    {"", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"a", kInline, HandlerFamily::Link, PlainKind::Other},
    {"abbr", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"address", kBlock, HandlerFamily::Unknown, PlainKind::Block},
    {"annotation-xml", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"applet", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"area", kInline | kVoid | kParserVoid | kSerializedVoid, HandlerFamily::Unknown, PlainKind::Other},
    {"article", kBlock, HandlerFamily::Semantic, PlainKind::Block},
    {"aside", kBlock, HandlerFamily::Semantic, PlainKind::Block},
    {"audio", kInline, HandlerFamily::Embedded, PlainKind::Other},
    {"b", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"base", kVoid | kParserVoid | kSerializedVoid | kMetadataContent, HandlerFamily::Unknown, PlainKind::Other},
    {"basefont", kSerializedVoid, HandlerFamily::Unknown, PlainKind::Other},
    {"bdi", kInline, HandlerFamily::Unknown, PlainKind::Other},
    {"bdo", kInline, HandlerFamily::Unknown, PlainKind::Other},
    {"bgsound", kSerializedVoid, HandlerFamily::Unknown, PlainKind::Other},
    {"big", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"blockquote", kBlock, HandlerFamily::Blockquote, PlainKind::Block},
    {"body", 0, HandlerFamily::Transparent, PlainKind::Other},
    {"br", kInline | kVoid | kParserVoid | kSerializedVoid | kSpaceBetweenDropped, HandlerFamily::LineBreak, PlainKind::Br},
    {"button", kInline, HandlerFamily::Form, PlainKind::Other},
    {"canvas", kBlock, HandlerFamily::Unknown, PlainKind::Other},
    {"caption", 0, HandlerFamily::Caption, PlainKind::Other},
    {"center", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"cite", kInline, HandlerFamily::Unknown, PlainKind::Other},
    {"code", kInline, HandlerFamily::InlineCode, PlainKind::Other},
    {"col", kVoid | kParserVoid | kSerializedVoid, HandlerFamily::Unknown, PlainKind::Other},
    {"colgroup", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"command", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"data", kInline, HandlerFamily::Transparent, PlainKind::Other},
    {"datalist", 0, HandlerFamily::Form, PlainKind::Other},
    {"dd", kBlock, HandlerFamily::List, PlainKind::Other},
    {"del", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"desc", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"details", 0, HandlerFamily::Semantic, PlainKind::Block},
    {"dfn", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"dialog", 0, HandlerFamily::Semantic, PlainKind::Other},
    {"dir", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"div", kBlock, HandlerFamily::Div, PlainKind::Block},
    {"dl", kBlock, HandlerFamily::List, PlainKind::Other},
    {"dt", kBlock, HandlerFamily::List, PlainKind::Other},
    {"em", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"embed", kInline | kVoid | kParserVoid | kSerializedVoid, HandlerFamily::Unknown, PlainKind::Other},
    {"fieldset", kBlock, HandlerFamily::Form, PlainKind::Other},
    {"figcaption", kBlock, HandlerFamily::Semantic, PlainKind::Block},
    {"figure", kBlock, HandlerFamily::Semantic, PlainKind::Block},
    {"font", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"footer", kBlock, HandlerFamily::Semantic, PlainKind::Block},
    {"foreignobject", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"form", kBlock, HandlerFamily::Form, PlainKind::Other},
    {"frame", kSerializedVoid, HandlerFamily::Unknown, PlainKind::Other},
    {"frameset", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"graphic", 0, HandlerFamily::Graphic, PlainKind::Other},
    {"h1", kBlock, HandlerFamily::Heading, PlainKind::Block},
    {"h2", kBlock, HandlerFamily::Heading, PlainKind::Block},
    {"h3", kBlock, HandlerFamily::Heading, PlainKind::Block},
    {"h4", kBlock, HandlerFamily::Heading, PlainKind::Block},
    {"h5", kBlock, HandlerFamily::Heading, PlainKind::Block},
    {"h6", kBlock, HandlerFamily::Heading, PlainKind::Block},
    {"head", 0, HandlerFamily::Metadata, PlainKind::Skipped},
    {"header", kBlock, HandlerFamily::Semantic, PlainKind::Block},
    {"hgroup", 0, HandlerFamily::Unknown, PlainKind::Block},
    {"hr", kBlock | kVoid | kParserVoid | kSerializedVoid | kSpaceBetweenDropped, HandlerFamily::Rule, PlainKind::Hr},
    {"html", 0, HandlerFamily::Transparent, PlainKind::Other},
    {"i", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"iframe", kRawText, HandlerFamily::Embedded, PlainKind::Other},
    {"image", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"img", kInline | kVoid | kParserVoid | kSerializedVoid | kSpaceBetweenDropped, HandlerFamily::Image, PlainKind::Img},
    {"input", kInline | kVoid | kParserVoid | kSerializedVoid | kSpaceBetweenDropped, HandlerFamily::Form, PlainKind::Other},
    {"ins", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"kbd", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"keygen", kParserVoid | kSerializedVoid, HandlerFamily::Unknown, PlainKind::Other},
    {"label", kInline, HandlerFamily::Form, PlainKind::Other},
    {"legend", 0, HandlerFamily::Form, PlainKind::Other},
    {"li", kBlock, HandlerFamily::List, PlainKind::Li},
    {"link", kVoid | kParserVoid | kSerializedVoid | kMetadataContent | kSpaceBetweenDropped, HandlerFamily::Unknown, PlainKind::Other},
    {"listing", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"main", kBlock, HandlerFamily::Semantic, PlainKind::Block},
    {"malignmark", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"map", kInline, HandlerFamily::Unknown, PlainKind::Other},
    {"mark", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"marquee", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"math", 0, HandlerFamily::Embedded, PlainKind::Skipped},
    {"menu", 0, HandlerFamily::Semantic, PlainKind::Other},
    {"meta", kVoid | kParserVoid | kSerializedVoid | kMetadataContent | kSpaceBetweenDropped, HandlerFamily::Unknown, PlainKind::Other},
    {"meter", kInline, HandlerFamily::Form, PlainKind::Other},
    {"mglyph", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"mi", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"mn", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"mo", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"ms", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"mtext", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"nav", kBlock, HandlerFamily::Semantic, PlainKind::Block},
    {"nobr", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"noembed", kRawText, HandlerFamily::Unknown, PlainKind::Other},
    {"noframes", kRawText, HandlerFamily::Unknown, PlainKind::Other},
    {"noscript", kMetadataContent, HandlerFamily::Unknown, PlainKind::Skipped},
    {"object", kInline, HandlerFamily::Unknown, PlainKind::Other},
    {"ol", kBlock, HandlerFamily::List, PlainKind::Ol},
    {"optgroup", 0, HandlerFamily::Form, PlainKind::Other},
    {"option", 0, HandlerFamily::Form, PlainKind::Other},
    {"output", kInline, HandlerFamily::Form, PlainKind::Other},
    {"p", kBlock, HandlerFamily::Paragraph, PlainKind::Block},
    {"param", kInline | kVoid | kParserVoid | kSerializedVoid, HandlerFamily::Unknown, PlainKind::Other},
    {"picture", kInline, HandlerFamily::Embedded, PlainKind::Other},
    {"plaintext", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"pre", kBlock, HandlerFamily::CodeBlock, PlainKind::Pre},
    {"progress", kInline, HandlerFamily::Form, PlainKind::Other},
    {"q", kInline, HandlerFamily::Semantic, PlainKind::Other},
    {"rb", 0, HandlerFamily::Inline, PlainKind::Other},
    {"rp", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"rt", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"rtc", 0, HandlerFamily::Inline, PlainKind::Other},
    {"ruby", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"s", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"samp", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"script", kRawText | kMetadataContent, HandlerFamily::Metadata, PlainKind::Skipped},
    {"search", 0, HandlerFamily::Unknown, PlainKind::Block},
    {"section", kBlock, HandlerFamily::Semantic, PlainKind::Block},
    {"select", kInline, HandlerFamily::Form, PlainKind::Other},
    {"small", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"source", kInline | kVoid | kParserVoid | kSerializedVoid, HandlerFamily::Nothing, PlainKind::Other},
    {"span", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"strike", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"strong", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"style", kRawText | kMetadataContent, HandlerFamily::Metadata, PlainKind::Skipped},
    {"sub", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"summary", 0, HandlerFamily::Semantic, PlainKind::Block},
    {"sup", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"svg", 0, HandlerFamily::Embedded, PlainKind::Skipped},
    {"table", kBlock, HandlerFamily::Table, PlainKind::Table},
    {"tbody", 0, HandlerFamily::TablePart, PlainKind::Other},
    {"td", 0, HandlerFamily::TablePart, PlainKind::Other},
    {"template", kMetadataContent, HandlerFamily::Unknown, PlainKind::Skipped},
    {"textarea", kInline | kEscapableRawText, HandlerFamily::Form, PlainKind::Other},
    {"tfoot", kBlock, HandlerFamily::TablePart, PlainKind::Other},
    {"th", 0, HandlerFamily::TablePart, PlainKind::Other},
    {"thead", 0, HandlerFamily::TablePart, PlainKind::Other},
    {"time", kInline, HandlerFamily::Transparent, PlainKind::Other},
    {"title", kEscapableRawText | kMetadataContent, HandlerFamily::Unknown, PlainKind::Other},
    {"tr", 0, HandlerFamily::TablePart, PlainKind::Other},
    {"track", kInline | kVoid | kParserVoid | kSerializedVoid, HandlerFamily::Unknown, PlainKind::Other},
    {"tt", 0, HandlerFamily::Unknown, PlainKind::Other},
    {"u", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"ul", kBlock, HandlerFamily::List, PlainKind::Ul},
    {"var", kInline, HandlerFamily::Inline, PlainKind::Other},
    {"video", kInline, HandlerFamily::Embedded, PlainKind::Other},
    {"wbr", kInline | kVoid | kParserVoid | kSerializedVoid, HandlerFamily::Nothing, PlainKind::Other},
    {"xmp", kRawText, HandlerFamily::Unknown, PlainKind::Other},
};
constexpr std::size_t kTagCount = sizeof(kTags) / sizeof(kTags[0]);
static_assert(kTagCount < 256, "TagId holds a byte");

constexpr bool names_in_order() {
  for (std::size_t i = 2; i < kTagCount; ++i) {
    if (!(kTags[i - 1].name < kTags[i].name)) return false;
  }
  return true;
}
static_assert(names_in_order(), "the table is in byte order of the names, like TagId");

constexpr std::size_t kLongestName = 14;

// The ids of each (length, first letter), for a lookup that compares a few
// names at most.
struct Buckets {
  // first[len][letter] .. first[len][letter] + count[len][letter] index `ids`.
  std::uint8_t first[kLongestName + 1][26] = {};
  std::uint8_t count[kLongestName + 1][26] = {};
  std::uint8_t ids[kTagCount] = {};

  constexpr Buckets() {
    std::size_t next = 0;
    for (std::size_t len = 1; len <= kLongestName; ++len) {
      for (int letter = 0; letter < 26; ++letter) {
        first[len][letter] = static_cast<std::uint8_t>(next);
        for (std::size_t i = 1; i < kTagCount; ++i) {
          const std::string_view n = kTags[i].name;
          if (n.size() == len && n[0] == 'a' + letter) {
            ids[next++] = static_cast<std::uint8_t>(i);
            ++count[len][letter];
          }
        }
      }
    }
  }
};
constexpr Buckets kBuckets{};

}  // namespace

const TagInfo& tag_info(TagId id) {
  const auto index = static_cast<std::size_t>(id);
  return kTags[index < kTagCount ? index : 0];
}

TagId tag_id(std::string_view name) {
  const std::size_t len = name.size();
  if (len == 0 || len > kLongestName) return TagId::Unknown;
  const unsigned letter = static_cast<unsigned char>(name[0]) - 'a';
  if (letter >= 26) return TagId::Unknown;
  const std::uint8_t* ids = kBuckets.ids + kBuckets.first[len][letter];
  const std::size_t count = kBuckets.count[len][letter];
  for (std::size_t i = 0; i < count; ++i) {
    if (std::memcmp(kTags[ids[i]].name.data(), name.data(), len) == 0) return static_cast<TagId>(ids[i]);
  }
  return TagId::Unknown;
}

TagId tag_id_ignore_case(std::string_view name) {
  if (name.empty() || name.size() > kLongestName) return TagId::Unknown;
  char lower[kLongestName];
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    lower[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return tag_id(std::string_view(lower, name.size()));
}

}  // namespace tidewell
