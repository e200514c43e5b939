#include <gtest/gtest.h>

#include <string>

#include "converter/fast_dom/fast_dom.hpp"
#include "html_parser/parser.hpp"

using namespace tidewell;

namespace {

std::string walk(std::string_view html, ParserBackend backend = ParserBackend::Copperfern,
                 const ConversionOptions& options = ConversionOptions{}) {
  ParseResult parsed = parse_document(backend, html);
  EXPECT_TRUE(parsed.ok());
  if (!parsed.ok()) return "<parse failed>";
  std::string out;
  fast_dom_convert(parsed.dom(), options, out);
  return out;
}

TEST(FastDomClassify, Names) {
  EXPECT_EQ(classify_fast_dom_tag("H3"), std::make_pair(FastDomTagClass::Heading, 3));
  EXPECT_EQ(classify_fast_dom_tag("Script").first, FastDomTagClass::Skip);
  EXPECT_EQ(classify_fast_dom_tag("title").first, FastDomTagClass::Skip);
  EXPECT_EQ(classify_fast_dom_tag("caption").first, FastDomTagClass::Cell);
  EXPECT_EQ(classify_fast_dom_tag("TBODY").first, FastDomTagClass::TableSection);
  EXPECT_EQ(classify_fast_dom_tag("b").first, FastDomTagClass::Strong);
  EXPECT_EQ(classify_fast_dom_tag("em").first, FastDomTagClass::Emphasis);
  EXPECT_EQ(classify_fast_dom_tag("div").first, FastDomTagClass::Other);
  EXPECT_EQ(classify_fast_dom_tag("x-y").first, FastDomTagClass::Other);
}

TEST(FastDomWalk, StateIsCopiedIntoTheWalk) {
  ParseResult parsed = copperfern_tl::parse_document("<p>a *b*</p><img src=x alt=y>");
  ASSERT_TRUE(parsed.ok());
  const TlDom& dom = parsed.dom();
  std::string plain;
  for (NodeHandle top : dom.top_level) fast_dom_walk(top, dom, plain, ConversionOptions{}, FastDomState{});
  EXPECT_EQ(plain, "a \\*b\\*\n\n![y](x)");
  std::string code;
  FastDomState in_code;
  in_code.in_code = true;
  for (NodeHandle top : dom.top_level) fast_dom_walk(top, dom, code, ConversionOptions{}, in_code);
  EXPECT_EQ(code, "a *b*y");
  ConversionOptions escaped;
  escaped.escape_asterisks = true;
  EXPECT_EQ(walk("<p>a *b*</p>", ParserBackend::Copperfern, escaped), "a \\*b\\*\n\n");
}

// Taking markers out and joining code spans rewrite the output behind open
// elements: every byte of text stays, no character is split.
TEST(FastDomWalk, RewritesKeepTheText) {
  struct Case {
    const char* html;
    const char* markdown;
  };
  for (const Case& c : {Case{"`<i>word<b>`<i><code>`", "\\`*word\\``` ` ``*"},
                        Case{"`<i>\xC3\xA9<i>`<i><code>`", "\\`*\xC3\xA9\\``` ` ``*"},
                        Case{"<em><code>a</code>`<em><code>_</code></em></em>", "*`a`\\``_`*"},
                        Case{"<b><code>a</code></b><b><i><code>b</code></i></b>", "**`a`*`b`***"}}) {
    for (const ParserBackend backend : {ParserBackend::Copperfern, ParserBackend::AsmTl}) {
      EXPECT_EQ(walk(c.html, backend), c.markdown) << c.html;
    }
  }
}

TEST(FastDomWalk, BothBackendsAgree) {
  for (const char* html :
       {"<h1>T</h1><p>a <b>b</b> <i>c</i> <code>d</code></p><ul><li>x<ul><li>y</li></ul></li></ul>",
        "<blockquote><p>q</p></blockquote><pre>  code\n  more</pre><hr><table><tr><th>a</th></tr>"
        "<tr><td>b|c</td></tr></table>",
        "<a href='/x y' title='t \"q\"'>link</a> <img src=i.png alt='[a]'> <br> &amp; &lt;tag&gt;",
        "<div>a</div><div>b</div><span>c</span><ol><li>one<li>two</ol>"}) {
    EXPECT_EQ(walk(html, ParserBackend::Copperfern), walk(html, ParserBackend::AsmTl)) << html;
  }
}

// Every text of a deep document is in the output once, whatever the
// element that nests.
class FastDomDeep : public ::testing::TestWithParam<const char*> {};

TEST_P(FastDomDeep, MillionLevelsKeepEveryText) {
  const std::string unit = GetParam();
  const std::size_t levels = 1'000'000 / (unit.size() < 12 ? 1 : 3);
  std::string html;
  html.reserve(levels * (unit.size() + 4) + 16);
  for (std::size_t i = 0; i < levels; ++i) {
    html += unit;
    if (i % 100000 == 0) {
      html += 'w';
      html += std::to_string(i);
      html += ' ';
    }
  }
  html += "end";
  const std::string out = walk(html);
  for (std::size_t i = 0; i < levels; i += 100000) {
    std::string word = "w";
    word += std::to_string(i);
    EXPECT_NE(out.find(word), std::string::npos) << unit << " level " << i;
  }
  EXPECT_NE(out.find("end"), std::string::npos) << unit;
}

INSTANTIATE_TEST_SUITE_P(Units, FastDomDeep,
                         ::testing::Values("<div>", "<span>", "<b>", "<a href=x>", "<li>", "<blockquote>", "<h2>",
                                           "<code>", "<pre>", "<ul><li>", "<table><tr><td>", "<p>"));

}  // namespace
