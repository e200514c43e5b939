#include "common/tags.hpp"

#include <array>
#include <cstring>

namespace tidewell {
namespace {

constexpr TagInfo kTags[] = {
    {"", 0},
    {"a", kInline},
    {"abbr", kInline},
    {"address", kBlock},
    {"annotation-xml", 0},
    {"applet", 0},
    {"area", kInline | kVoid | kParserVoid | kSerializedVoid},
    {"article", kBlock},
    {"aside", kBlock},
    {"audio", kInline},
    {"b", kInline},
    {"base", kVoid | kParserVoid | kSerializedVoid | kMetadataContent},
    {"basefont", kSerializedVoid},
    {"bdi", kInline},
    {"bdo", kInline},
    {"bgsound", kSerializedVoid},
    {"big", 0},
    {"blockquote", kBlock},
    {"body", 0},
    {"br", kInline | kVoid | kParserVoid | kSerializedVoid | kSpaceBetweenDropped},
    {"button", kInline},
    {"canvas", kBlock},
    {"caption", 0},
    {"center", 0},
    {"cite", kInline},
    {"code", kInline},
    {"col", kVoid | kParserVoid | kSerializedVoid},
    {"colgroup", 0},
    {"command", 0},
    {"data", kInline},
    {"datalist", 0},
    {"dd", kBlock},
    {"del", kInline},
    {"desc", 0},
    {"details", 0},
    {"dfn", kInline},
    {"dialog", 0},
    {"dir", 0},
    {"div", kBlock},
    {"dl", kBlock},
    {"dt", kBlock},
    {"em", kInline},
    {"embed", kInline | kVoid | kParserVoid | kSerializedVoid},
    {"fieldset", kBlock},
    {"figcaption", kBlock},
    {"figure", kBlock},
    {"font", 0},
    {"footer", kBlock},
    {"foreignobject", 0},
    {"form", kBlock},
    {"frame", kSerializedVoid},
    {"frameset", 0},
    {"graphic", 0},
    {"h1", kBlock},
    {"h2", kBlock},
    {"h3", kBlock},
    {"h4", kBlock},
    {"h5", kBlock},
    {"h6", kBlock},
    {"head", 0},
    {"header", kBlock},
    {"hgroup", 0},
    {"hr", kBlock | kVoid | kParserVoid | kSerializedVoid | kSpaceBetweenDropped},
    {"html", 0},
    {"i", kInline},
    {"iframe", kRawText},
    {"image", 0},
    {"img", kInline | kVoid | kParserVoid | kSerializedVoid | kSpaceBetweenDropped},
    {"input", kInline | kVoid | kParserVoid | kSerializedVoid | kSpaceBetweenDropped},
    {"ins", kInline},
    {"kbd", kInline},
    {"keygen", kParserVoid | kSerializedVoid},
    {"label", kInline},
    {"legend", 0},
    {"li", kBlock},
    {"link", kVoid | kParserVoid | kSerializedVoid | kMetadataContent | kSpaceBetweenDropped},
    {"listing", 0},
    {"main", kBlock},
    {"malignmark", 0},
    {"map", kInline},
    {"mark", kInline},
    {"marquee", 0},
    {"math", 0},
    {"menu", 0},
    {"meta", kVoid | kParserVoid | kSerializedVoid | kMetadataContent | kSpaceBetweenDropped},
    {"meter", kInline},
    {"mglyph", 0},
    {"mi", 0},
    {"mn", 0},
    {"mo", 0},
    {"ms", 0},
    {"mtext", 0},
    {"nav", kBlock},
    {"nobr", 0},
    {"noembed", kRawText},
    {"noframes", kRawText},
    {"noscript", kMetadataContent},
    {"object", kInline},
    {"ol", kBlock},
    {"optgroup", 0},
    {"option", 0},
    {"output", kInline},
    {"p", kBlock},
    {"param", kInline | kVoid | kParserVoid | kSerializedVoid},
    {"picture", kInline},
    {"plaintext", 0},
    {"pre", kBlock},
    {"progress", kInline},
    {"q", kInline},
    {"rb", 0},
    {"rp", kInline},
    {"rt", kInline},
    {"rtc", 0},
    {"ruby", kInline},
    {"s", kInline},
    {"samp", kInline},
    {"script", kRawText | kMetadataContent},
    {"search", 0},
    {"section", kBlock},
    {"select", kInline},
    {"small", kInline},
    {"source", kInline | kVoid | kParserVoid | kSerializedVoid},
    {"span", kInline},
    {"strike", kInline},
    {"strong", kInline},
    {"style", kRawText | kMetadataContent},
    {"sub", kInline},
    {"summary", 0},
    {"sup", kInline},
    {"svg", 0},
    {"table", kBlock},
    {"tbody", 0},
    {"td", 0},
    {"template", kMetadataContent},
    {"textarea", kInline | kEscapableRawText},
    {"tfoot", kBlock},
    {"th", 0},
    {"thead", 0},
    {"time", kInline},
    {"title", kEscapableRawText | kMetadataContent},
    {"tr", 0},
    {"track", kInline | kVoid | kParserVoid | kSerializedVoid},
    {"tt", 0},
    {"u", kInline},
    {"ul", kBlock},
    {"var", kInline},
    {"video", kInline},
    {"wbr", kInline | kVoid | kParserVoid | kSerializedVoid},
    {"xmp", kRawText},
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
