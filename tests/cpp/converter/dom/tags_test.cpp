#include <gtest/gtest.h>

#include <set>
#include <string>

#include "converter/dom/tags.hpp"

namespace tidewell {
namespace {

const char* const kKnown[] = {
    "a", "b", "i", "p", "s", "u", "br", "dd", "dl", "dt", "em", "h1", "h2", "h3", "h4", "h5", "h6", "hr", "li",
    "ol", "rb", "rp", "rt", "td", "th", "tr", "ul", "dfn", "div", "img", "ins", "kbd", "nav", "pre", "rtc",
    "sub", "sup", "var", "wbr", "abbr", "body", "code", "data", "form", "head", "html", "link", "main", "mark",
    "ruby", "samp", "span", "time", "aside", "small", "style", "table", "tbody", "tfoot", "thead", "figure",
    "footer", "header", "iframe", "script", "source", "strong", "address", "article", "caption", "details",
    "section", "summary", "blockquote", "figcaption"};

const char* const kInline[] = {
    "a", "b", "i", "q", "s", "u", "br", "em", "rp", "rt", "bdi", "bdo", "del", "dfn", "img", "ins", "kbd",
    "map", "sub", "sup", "var", "wbr", "abbr", "area", "cite", "code", "data", "mark", "ruby", "samp", "span",
    "time", "audio", "embed", "input", "label", "meter", "param", "small", "track", "video", "button",
    "object", "output", "select", "source", "strong", "picture", "progress", "textarea"};

const char* const kBlock[] = {"p",    "dd",     "dl",     "dt",     "h1",      "h2",      "h3",      "h4",
                              "h5",   "h6",     "hr",     "li",     "ol",      "ul",      "div",     "nav",
                              "pre",  "form",   "main",   "aside",  "table",   "tfoot",   "canvas",  "figure",
                              "footer", "header", "address", "article", "section", "fieldset", "blockquote",
                              "figcaption"};

// Every name any table mentions, plus near misses.
std::set<std::string> universe() {
  std::set<std::string> all;
  for (const char* n : kKnown) all.insert(n);
  for (const char* n : kInline) all.insert(n);
  for (const char* n : kBlock) all.insert(n);
  for (const char* n : {"", "P", "DIV", "br/", "my-el", "h7", "x", "blockquotes", "figcaptio", "tablee",
                        "command", "keygen", "thead ", "abcdefghijk"}) {
    all.insert(n);
  }
  return all;
}

TEST(TagTables, ExactMembership) {
  const std::set<std::string> known(std::begin(kKnown), std::end(kKnown));
  const std::set<std::string> inl(std::begin(kInline), std::end(kInline));
  const std::set<std::string> block(std::begin(kBlock), std::end(kBlock));
  EXPECT_EQ(known.size(), 75u);
  EXPECT_EQ(inl.size(), 50u);
  EXPECT_EQ(block.size(), 32u);
  for (const std::string& name : universe()) {
    auto interned = intern_tag_name(name);
    EXPECT_EQ(interned.has_value(), known.count(name) == 1) << name;
    if (interned) {
      EXPECT_EQ(*interned, name);
    }
    EXPECT_EQ(is_inline_tag(name), inl.count(name) == 1) << name;
    EXPECT_EQ(is_block_tag(name, false), block.count(name) == 1) << name;
    EXPECT_FALSE(is_block_tag(name, true)) << name;
    EXPECT_FALSE(is_inline_tag(name) && is_block_tag(name, false)) << name;
  }
}

TEST(TagTables, InternedTextIsStatic) {
  std::string buf = "blockquote";
  auto a = intern_tag_name(buf);
  buf.assign("xxxxxxxxxx");
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(*a, "blockquote");  // not a view of the caller's buffer
  EXPECT_EQ(intern_tag_name("p")->data(), intern_tag_name(std::string("p"))->data());
}

TEST(TagTables, NamedEdgeCases) {
  EXPECT_FALSE(intern_tag_name("P"));
  EXPECT_FALSE(intern_tag_name(""));
  EXPECT_FALSE(intern_tag_name("abcdefghijk"));
  EXPECT_FALSE(intern_tag_name("my-element"));
  for (const char* n : {"q", "del", "bdi", "map", "video", "textarea"}) {
    EXPECT_TRUE(is_inline_tag(n)) << n;
    EXPECT_FALSE(intern_tag_name(n)) << n;
  }
  for (const char* n : {"rb", "rtc"}) {
    EXPECT_TRUE(intern_tag_name(n)) << n;
    EXPECT_FALSE(is_inline_tag(n)) << n;
  }
  for (const char* n : {"br/", "style", "script", "thead", "tbody", "td", "th", "tr", "html", "body", "head"}) {
    EXPECT_FALSE(is_inline_tag(n)) << n;
    EXPECT_FALSE(is_block_tag(n, false)) << n;
  }
  EXPECT_TRUE(is_block_tag("div", false));
  EXPECT_FALSE(is_block_tag("div", true));
  EXPECT_FALSE(is_block_tag("span", false));
  EXPECT_FALSE(is_block_tag("span", true));
}

}  // namespace
}  // namespace tidewell
