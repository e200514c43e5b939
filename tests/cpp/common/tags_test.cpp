#include "common/tags.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "common/ascii.hpp"
#include "html_parser/asm_tl/tokenizer.hpp"
#include "html_parser/parser.hpp"

namespace tidewell {
namespace {

const char* const kInline[] = {
    "a", "b", "i", "q", "s", "u", "br", "em", "rp", "rt", "bdi", "bdo", "del", "dfn", "img", "ins", "kbd",
    "map", "sub", "sup", "var", "wbr", "abbr", "area", "cite", "code", "data", "mark", "ruby", "samp", "span",
    "time", "audio", "embed", "input", "label", "meter", "param", "small", "track", "video", "button",
    "object", "output", "select", "source", "strike", "strong", "picture", "progress", "textarea"};

const char* const kBlock[] = {"p",    "dd",     "dl",     "dt",     "h1",      "h2",      "h3",      "h4",
                              "h5",   "h6",     "hr",     "li",     "ol",      "ul",      "div",     "nav",
                              "pre",  "form",   "main",   "aside",  "table",   "tfoot",   "canvas",  "figure",
                              "footer", "header", "address", "article", "section", "fieldset", "blockquote",
                              "figcaption"};

const char* const kVoidNames[] = {"br",   "hr",    "col",   "img",   "wbr",   "area",  "base",
                             "link", "meta",  "embed", "input", "param", "track", "source"};

// Every name of the table, each also in upper case, plus near misses.
std::set<std::string> universe() {
  std::set<std::string> all;
  for (unsigned i = 1; i < 256; ++i) {
    const std::string_view name = tag_info(static_cast<TagId>(i)).name;
    if (name.empty()) break;
    all.emplace(name);
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    all.insert(upper);
  }
  for (const char* n : {"", "br/", "my-el", "h7", "x", "blockquotes", "figcaptio", "tablee", "thead ",
                        "abcdefghijk", "Br", "\xC3\xA9m", "0", "-"}) {
    all.insert(n);
  }
  return all;
}

TEST(TagTable, LookupIsExactOrFoldsAsciiCase) {
  EXPECT_EQ(tag_id("div"), TagId::Div);
  EXPECT_EQ(tag_id("DIV"), TagId::Unknown);
  EXPECT_EQ(tag_id_ignore_case("DiV"), TagId::Div);
  EXPECT_EQ(tag_id("blockquote"), TagId::Blockquote);
  for (const char* n : {"", "my-element", "abcdefghijk", "h7", "br/", "\xC3\xA9m"}) {
    EXPECT_EQ(tag_id_ignore_case(n), TagId::Unknown) << n;
  }
  EXPECT_EQ(tag_info(TagId::Unknown).name, "");
  EXPECT_EQ(tag_info(TagId::Unknown).flags, 0);
  // The name is the table's own text, not a view of the caller's buffer.
  std::string buf = "figcaption";
  const std::string_view name = tag_info(tag_id(buf)).name;
  buf.assign("xxxxxxxxxx");
  EXPECT_EQ(name, "figcaption");
}

TEST(TagTable, EveryNameFindsItself) {
  for (unsigned i = 1; i < 256; ++i) {
    const auto id = static_cast<TagId>(i);
    const std::string_view name = tag_info(id).name;
    if (name.empty()) break;
    EXPECT_EQ(tag_id(name), id) << name;
  }
}

TEST(TagTable, InlineAndBlockClasses) {
  const std::set<std::string> inl(std::begin(kInline), std::end(kInline));
  const std::set<std::string> block(std::begin(kBlock), std::end(kBlock));
  EXPECT_EQ(inl.size(), 51u);
  EXPECT_EQ(block.size(), 32u);
  for (const std::string& name : universe()) {
    EXPECT_EQ(is_inline_tag(name), inl.count(name) == 1) << name;
    EXPECT_EQ(is_block_tag(name), block.count(name) == 1) << name;
    EXPECT_FALSE(is_inline_tag(name) && is_block_tag(name)) << name;
  }
}

// The void classes, one per behaviour, and the fast parsers' own tests,
// which must agree with the table.
TEST(TagTable, VoidClassesAndTheParsersAgree) {
  const std::set<std::string> void_names(std::begin(kVoidNames), std::end(kVoidNames));
  for (const std::string& name : universe()) {
    const TagId id = tag_id_ignore_case(name);
    const std::string lower = ascii_lowercase(name);
    EXPECT_EQ(is_void_tag(name), void_names.count(lower) == 1) << name;
    EXPECT_EQ(tag_has(id, kParserVoid), void_names.count(lower) == 1 || lower == "keygen") << name;
    EXPECT_EQ(copperfern_tl::is_void_start_tag(name), tag_has(id, kParserVoid)) << name;
    EXPECT_EQ(asm_tl::is_void_element(name), tag_has(id, kParserVoid) || lower == "command") << name;
  }
  for (const char* n : {"basefont", "bgsound", "frame", "keygen", "param", "source", "wbr"}) {
    EXPECT_TRUE(tag_has(tag_id(n), kSerializedVoid)) << n;
  }
  EXPECT_FALSE(tag_has(tag_id("command"), kSerializedVoid));
  EXPECT_FALSE(tag_has(tag_id("image"), kSerializedVoid | kVoid | kParserVoid));
}

TEST(TagTable, RawTextAndMetadata) {
  for (const char* n : {"script", "style", "xmp", "iframe", "noembed", "noframes"}) {
    EXPECT_TRUE(tag_has(tag_id(n), kRawText)) << n;
  }
  for (const char* n : {"title", "textarea"}) EXPECT_TRUE(tag_has(tag_id(n), kEscapableRawText)) << n;
  for (const char* n : {"noscript", "plaintext", "div", "svg"}) {
    EXPECT_FALSE(tag_has(tag_id(n), kRawText | kEscapableRawText)) << n;
  }
  for (const char* n : {"base", "link", "meta", "noscript", "script", "style", "template", "title"}) {
    EXPECT_TRUE(tag_has(tag_id(n), kMetadataContent)) << n;
  }
  std::set<std::string> gap;
  for (const std::string& name : universe()) {
    if (tag_has(tag_id(name), kSpaceBetweenDropped)) gap.insert(name);
  }
  EXPECT_EQ(gap, (std::set<std::string>{"br", "hr", "img", "input", "link", "meta"}));
}

}  // namespace
}  // namespace tidewell
