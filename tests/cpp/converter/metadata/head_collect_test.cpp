#include <gtest/gtest.h>

#include <string>

#include "converter/metadata/head_collect.hpp"
#include "converter/metadata/head_metadata.hpp"
#include "html_parser/parser.hpp"

namespace tidewell {
namespace {

// The head map of a document as the converter finds it: the first
// top-level node whose subtree yields entries.
HeadMetadataMap head_map(std::string_view html, const ConversionOptions& options = {},
                         ParserBackend backend = ParserBackend::Copperfern) {
  ParseResult parsed = parse_document(backend, html);
  EXPECT_TRUE(parsed.ok());
  if (!parsed.ok()) return {};
  const TlDom& dom = parsed.dom();
  for (NodeHandle top : dom.top_level) {
    HeadMetadataMap map = collect_head_metadata(top, dom, options);
    if (!map.empty()) return map;
  }
  return {};
}

TEST(CollectHeadMetadata, Entries) {
  const struct {
    const char* html;
    HeadMetadataMap expected;
  } cases[] = {
      {"<html><head><meta name=\"description\" content=\"a\"><meta name=\"description\" content=\"b\"></head></html>",
       {{"meta-description", "b"}}},
      {"<head><meta name=\"Author\" property=\"og:title\" content=\"x\"></head>",
       {{"meta-Author", "x"}, {"meta-og:title", "x"}}},
      {"<head><meta name=\"a\"><meta content=\"c\"><meta name content=\"c\"><meta name=\"b\" content></head>", {}},
      {"<head><meta name=\"\" content=\"e\"></head>", {{"meta-", "e"}}},
      {"<head><title>  A &amp; B  </title></head>", {{"title", "A & B"}}},
      {"<head><title> \n </title></head>", {}},
      {"<head><title>a<!-- c --><b>x</b>b</title></head>", {{"title", "ab"}}},
      {"<head><link rel=\"noncanonical\" href=\"/n\"></head>", {{"canonical", "/n"}}},
      {"<head><link rel=\"Canonical\" href=\"/n\"><link rel=\"canonical\"></head>", {}},
      {"<head><link rel=\"canonical\" href=\"/a\"><link rel=\"x canonical\" href=\"/b\"></head>",
       {{"canonical", "/b"}}},
      {"<head><base href=\"/root/\"><base target=\"_top\"></head>", {{"base", "/root/"}}},
      {"<HEAD><TITLE>Up</TITLE><META NAME=\"k\" content=\"v\"></HEAD>", {{"title", "Up"}}},
      {"<HEAD><TITLE>Up</TITLE><Meta name=\"k\" content=\"v\"></HEAD>", {{"meta-k", "v"}, {"title", "Up"}}},
      {"<p>no head</p><div><span>x</span></div>", {}},
      // Values stay raw; invalid UTF-8 becomes U+FFFD.
      {"<head><meta name=\"d\" content=\"x &lt; \xFF y\"></head>", {{"meta-d", "x < \xEF\xBF\xBD y"}}},
      // A value holding a line break is kept as written in the map.
      {"<head><meta name=\"d\" content=\"one\ntwo\"></head>", {{"meta-d", "one\ntwo"}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(head_map(c.html), c.expected) << c.html;
    EXPECT_EQ(head_map(c.html, {}, ParserBackend::AsmTl), c.expected) << "asm_tl: " << c.html;
  }
}

TEST(CollectHeadMetadata, WhichHeadIsUsed) {
  // An empty first head does not end the search.
  EXPECT_EQ(head_map("<html><head></head><body><head><title>Second</title></head></body></html>"),
            (HeadMetadataMap{{"title", "Second"}}));
  // The first non-empty head wins.
  EXPECT_EQ(head_map("<head><title>One</title></head><head><title>Two</title></head>"),
            (HeadMetadataMap{{"title", "One"}}));
  EXPECT_EQ(head_map("<div><head><title>One</title></head></div><head><title>Two</title></head>"),
            (HeadMetadataMap{{"title", "One"}}));
  // A head inside a head is not searched.
  EXPECT_EQ(head_map("<head><div><head><title>Inner</title></head></div></head>"), HeadMetadataMap{});
  // Only direct children of the head count.
  EXPECT_EQ(head_map("<head><div><title>Deep</title></div><title>Direct</title></head>"),
            (HeadMetadataMap{{"title", "Direct"}}));
}

TEST(CollectHeadMetadata, StripAndPreserveTags) {
  const char* html =
      "<head><title>T</title><meta name=\"m\" content=\"v\"><link rel=\"canonical\" href=\"/c\">"
      "<base href=\"/b\"></head>";
  ConversionOptions strip_meta;
  strip_meta.strip_tags = {"meta"};
  EXPECT_EQ(head_map(html, strip_meta), (HeadMetadataMap{{"base", "/b"}, {"canonical", "/c"}, {"title", "T"}}));
  ConversionOptions preserve_title;
  preserve_title.preserve_tags = {"title", "link", "base"};
  EXPECT_EQ(head_map(html, preserve_title), (HeadMetadataMap{{"base", "/b"}, {"canonical", "/c"}, {"meta-m", "v"}}));
  ConversionOptions upper;
  upper.strip_tags = {"META", "Title"};
  EXPECT_EQ(head_map(html, upper).size(), 4u);
}

TEST(CollectHeadMetadata, HeadUnderDeepNesting) {
  constexpr int kDepth = 100'000;
  std::string html;
  for (int i = 0; i < kDepth; ++i) html += "<div>";
  html += "<head><title>Deep</title></head>";
  for (int i = 0; i < kDepth; ++i) html += "</div>";
  EXPECT_EQ(head_map(html), (HeadMetadataMap{{"title", "Deep"}}));

  std::string unclosed;
  for (int i = 0; i < 1'000'000; ++i) unclosed += "<b>";
  EXPECT_EQ(head_map(unclosed), HeadMetadataMap{});
}

// Head entries outside a head: those before the first text with content.
TEST(CollectImpliedHead, HeadElementsBeforeTheFirstText) {
  const struct {
    const char* html;
    HeadMetadataMap expected;
    std::size_t elements;
  } cases[] = {
      {"<title>T</title><p>x</p>", {{"title", "T"}}, 1},
      {"\n<!-- c -->\n<TITLE>T</TITLE><body>x</body>", {{"title", "T"}}, 1},
      {"<html><meta charset=utf-8><script>1</script><title>T</title><link rel=canonical href=/c>"
       "<base href=/b><style>p{}</style><noscript>n</noscript><meta name=d content=v><body>x",
       {{"title", "T"}, {"canonical", "/c"}, {"base", "/b"}, {"meta-d", "v"}},
       5},
      {"<title>T</title><meta name=d content=v>text<title>U</title>", {{"title", "T"}, {"meta-d", "v"}}, 2},
      // Moved out of a head: behind elements without text.
      {"<html><head></head><body><iframe>i</iframe><img src=x><div><title>T</title></div>", {{"title", "T"}}, 1},
      // A head's own entries are read on their own.
      {"<head><title>H</title></head><title>T</title>", {{"title", "T"}}, 1},
      {"<head><p>text</p></head><title>T</title>", {{"title", "T"}}, 1},
      // After text, or the title of an svg image: not the page's.
      {"x<title>T</title>", {}, 0},
      {"<p>x</p><title>T</title>", {}, 0},
      {"<svg><title>S</title></svg><math><title>M</title></math>", {}, 0},
  };
  for (const auto& c : cases) {
    for (ParserBackend backend : {ParserBackend::Copperfern, ParserBackend::AsmTl}) {
      ParseResult parsed = parse_document(backend, c.html);
      ASSERT_TRUE(parsed.ok()) << c.html;
      const ImpliedHead head = collect_implied_head(parsed.dom(), {});
      EXPECT_EQ(head.entries, c.expected) << c.html;
      EXPECT_EQ(head.elements.size(), c.elements) << c.html;
    }
  }
  ConversionOptions options;
  options.strip_tags = {"title"};
  ParseResult parsed = parse_document(ParserBackend::Copperfern, "<title>T</title><p>x</p>");
  const ImpliedHead head = collect_implied_head(parsed.dom(), options);
  EXPECT_TRUE(head.entries.empty());
  EXPECT_EQ(head.elements.size(), 1u);  // still head content: not written in the body
}

TEST(CollectHeadMetadata, FrontMatterFromParsedHead) {
  std::string out;
  append_front_matter(out, head_map("<head><title>Line\none</title><meta name=\"k\" content=\"a\r\nb: c\"></head>"));
  EXPECT_EQ(out, "---\nmeta-k: \"a\\x0d\\x0ab: c\"\ntitle: \"Line\\x0aone\"\n---\n");
}

}  // namespace
}  // namespace tidewell
