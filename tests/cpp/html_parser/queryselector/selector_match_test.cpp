#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "html_parser/parser.hpp"
#include "html_parser/queryselector/queryselector.hpp"

namespace {

using tidewell::NodeHandle;
using tidewell::ParserBackend;
using tidewell::TlDom;
using tidewell::TlNode;
using namespace tidewell::queryselector;

// A label per node: the element's name, the text in quotes, "!" for a
// comment.
std::string label(const TlDom& dom, NodeHandle h) {
  const TlNode& node = dom.nodes[h];
  if (const auto* tag = node.as_tag()) return std::string(dom.bytes(tag->name));
  if (const auto* raw = node.as_raw()) {
    std::string text = "'";
    text.append(dom.bytes(raw->text));
    text.push_back('\'');
    return text;
  }
  return "!";
}

// The labels of the matching nodes in document order, space-separated;
// "invalid" when the selector does not parse. Document and selector are
// parsed by the same backend, as in a conversion.
std::string matches(std::string_view html, std::string_view selector_text,
                    ParserBackend backend) {
  auto parsed = tidewell::parse_document(backend, html);
  EXPECT_TRUE(parsed.ok());
  if (!parsed.ok()) return "parse failed";
  const TlDom& dom = parsed.dom();
  const auto selector = parse_query_selector(selector_text, backend);
  if (!selector) return "invalid";
  std::string out;
  for (NodeHandle h = 0; h < dom.nodes.size(); ++h) {
    if (!node_matches_selector(*selector, dom, h)) continue;
    if (!out.empty()) out += ' ';
    out += label(dom, h);
  }
  return out;
}

struct MatchCase {
  std::string_view html;
  std::string_view selector;
  std::string_view copperfern;  // labels matched with copperfern-tl
  std::string_view asm_tl;      // labels matched with asm_tl
};

constexpr std::string_view kPage =
    "<div id=\"main\" class=\"note wide\"><p class=\"Note\">x</p>"
    "<DIV class=\"ad\"></DIV><!-- c --><ul><li>i</li></ul></div>";

constexpr MatchCase kMatchCases[] = {
    // Tag names, case-sensitive.
    {kPage, "div", "div", "div"},
    {kPage, "DIV", "DIV", "DIV"},
    {kPage, "li", "li", "li"},
    {kPage, "a:hover", "", ""},
    {kPage, "li:first-child", "", ""},
    // Id and class.
    {kPage, "#main", "div", "div"},
    {kPage, "#Main", "", ""},
    {kPage, ".note", "div", "div"},
    {kPage, ".Note", "p", "p"},
    {kPage, ".wide", "div", "div"},
    {kPage, ".ad", "DIV", "DIV"},
    {kPage, "div.note", "div", "div"},
    {kPage, "div#main", "div", "div"},
    {kPage, "p.note", "", ""},
    {kPage, ".note.wide", "div", "div"},
    {kPage, ".", "", ""},
    {"<p class=\"a  b\"></p>", ".a", "p", "p"},
    {"<p class=\"a  b\"></p>", ".b", "p", "p"},
    {"<p class=\"a\tb\"></p>", ".b", "p", "p"},
    {"<p class=\"a\x0B" "b\"></p>", ".b", "", "p"},
    {"<p class></p>", ".class", "", ""},
    {"<p class=\"\"></p>", ".", "", ""},
    {"<p id=\"\"></p><i id></i>", "#", "p", "p"},
    {"<p id></p><i id=x></i>", "[id]", "i", "i"},
    {"<p class></p><i class=x></i>", "[class]", "i", "i"},
    // Written with capitals, id and class are ordinary attributes.
    {"<p ID=main></p>", "#main", "", ""},
    {"<p ID=main></p>", "[ID=main]", "p", "p"},
    {"<p ID=main></p>", "[id]", "", ""},
    // "*" takes every node, texts and comments included.
    {kPage, "*", "div p 'x' DIV ! ul li 'i'", "div p 'x' DIV ! ul li 'i'"},
    {kPage, "*.ad", "DIV", "DIV"},
    // Attributes.
    {"<p hidden></p><i hidden=\"\"></i><b></b>", "[hidden]", "p i", "p i"},
    {"<p data-role=main></p><i data-role=\"mains\"></i>", "[data-role=main]",
     "p", "p"},
    {"<p data-role=main></p><i data-role=\"main\"></i>", "[data-role='main']",
     "p i", "p i"},
    {"<p x></p><i x=\"\"></i>", "[x=]", "i", "i"},
    {"<p class=\"x ad\"></p><i class=\"bad\"></i>", "[class~=ad]", "p", "p"},
    {"<p title=\"x\xC2\xA0" "ad\"></p>", "[title~=ad]", "p", ""},
    {"<p title=\"x\x0B" "ad\"></p>", "[title~=ad]", "p", "p"},
    {"<p t=\"a\"></p><i t></i>", "[t~='']", "", ""},
    {"<a href=\"mailto:x\"></a><b href=\"MAILTO:x\"></b>", "[href^=mailto:]",
     "a", "a"},
    {"<a href=\"x.pdf\"></a><b href=\"x.PDF\"></b>", "[href$=pdf]", "a", "a"},
    {"<a href=\"/ads/\"></a><b href=\"/AD\"></b>", "[href*=ad]", "a", "a"},
    {"<a href=\"&amp;\"></a>", "[href*=amp]", "a", "a"},
    // An empty value is a prefix, suffix and substring of any value.
    {"<a t=\"v\"></a><b t></b><i t=\"\"></i>", "[t^='']", "a i", "a i"},
    {"<a t=\"v\"></a><b t></b><i t=\"\"></i>", "[t$='']", "a i", "a i"},
    {"<a t=\"v\"></a><b t></b><i t=\"\"></i>", "[t*='']", "a i", "a i"},
    // A repeated attribute: the first value is found in a small map.
    {"<p a=1 a=2></p>", "[a=1]", "p", "p"},
    {"<p a=1 a=2></p>", "[a=2]", "", ""},
    // Lists and combinators.
    {"<a></a><b></b><c></c>", "a, b", "a b", "invalid"},
    {"<a></a><b></b><c></c>", "c,a", "a c", "invalid"},
    {kPage, "ul li", "", "invalid"},
    {kPage, "ul > li", "", "invalid"},
    {"<ul><li class=ad></li></ul><p class=ad></p>", "ul li, .ad", "",
     "invalid"},
    {"<ul><li class=ad></li></ul><p class=ad></p>", ".ad, ul li", "li p",
     "invalid"},
    {"<a></a><b></b>", "a, b c", "a", "invalid"},
    {"<a></a><b></b>", "x, y, *", "a b", "invalid"},
    // Invalid selectors are reported as such.
    {kPage, "[lang|=en]", "invalid", "invalid"},
    {kPage, "div ", "div", "invalid"},
    {kPage, " div", "div", "div"},
};

TEST(SelectorMatch, Cases) {
  for (const MatchCase& c : kMatchCases) {
    SCOPED_TRACE(std::string("selector \"") + std::string(c.selector) +
                 "\" on " + std::string(c.html));
    EXPECT_EQ(matches(c.html, c.selector, ParserBackend::Copperfern),
              c.copperfern);
    EXPECT_EQ(matches(c.html, c.selector, ParserBackend::AsmTl), c.asm_tl);
  }
}

TEST(SelectorMatch, HandleOutOfRange) {
  auto parsed = tidewell::copperfern_tl::parse_document("<p></p>");
  ASSERT_TRUE(parsed.ok());
  const auto selector = parse_query_selector("*");
  ASSERT_TRUE(selector);
  EXPECT_TRUE(node_matches_selector(*selector, parsed.dom(), 0));
  EXPECT_FALSE(node_matches_selector(*selector, parsed.dom(), 1));
}

// One million nested elements: matching looks at one node at a time, so
// depth does not matter.
TEST(SelectorMatch, DeepNesting) {
  constexpr int kDepth = 1000000;
  std::string html;
  html.reserve(kDepth * 16);
  for (int i = 0; i < kDepth; ++i) html += i % 2 ? "<i class=x>" : "<b>";
  html += "t";
  for (const ParserBackend backend :
       {ParserBackend::Copperfern, ParserBackend::AsmTl}) {
    auto parsed = tidewell::parse_document(backend, html);
    ASSERT_TRUE(parsed.ok());
    const TlDom& dom = parsed.dom();
    const auto selector = parse_query_selector(".x", backend);
    ASSERT_TRUE(selector);
    std::size_t count = 0;
    for (NodeHandle h = 0; h < dom.nodes.size(); ++h) {
      count += node_matches_selector(*selector, dom, h) ? 1 : 0;
    }
    EXPECT_EQ(count, static_cast<std::size_t>(kDepth / 2));
  }
}

// Long chains against many nodes: Descendant, child and failing And chains
// stop at their first link; a chain that matches is walked once per node.
TEST(SelectorMatch, LongSelectorsAgainstManyNodes) {
  std::string html;
  for (int i = 0; i < 10000; ++i) html += "<p class=a>x</p>";
  auto parsed = tidewell::copperfern_tl::parse_document(html);
  ASSERT_TRUE(parsed.ok());
  const TlDom& dom = parsed.dom();
  struct Case {
    std::string unit;
    std::string tail;
    int repeats;
    std::size_t expected;
  };
  const Case cases[] = {
      {"div ", "p", 200000, 0},
      {"p>", "p", 200000, 0},
      {".b", "", 200000, 0},     // And chain failing at its first link
      {".a", "", 1000, 10000},   // And chain matching every p
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.unit);
    std::string text;
    for (int i = 0; i < c.repeats; ++i) text += c.unit;
    text += c.tail;
    const auto selector = parse_query_selector(text);
    ASSERT_TRUE(selector);
    std::size_t count = 0;
    for (NodeHandle h = 0; h < dom.nodes.size(); ++h) {
      count += node_matches_selector(*selector, dom, h) ? 1 : 0;
    }
    EXPECT_EQ(count, c.expected);
  }
}

TEST(SelectorMatch, HugeAttributeValue) {
  std::string value(1 << 22, 'a');
  const std::string html = "<p title=\"" + value + " b\" data-x=\"" + value +
                           "\"></p>";
  auto parsed = tidewell::copperfern_tl::parse_document(html);
  ASSERT_TRUE(parsed.ok());
  const TlDom& dom = parsed.dom();
  std::string near_miss = "[data-x*=" + std::string(200, 'a') + "b]";
  struct Case {
    std::string selector;
    bool expected;
  };
  const Case cases[] = {
      {"[title~=b]", true},     {"[title~=a]", false},
      {"[title$=b]", true},     {"[data-x^=aaa]", true},
      {near_miss, false},       {"[data-x*=aaaa]", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.selector.substr(0, 20));
    const auto selector = parse_query_selector(c.selector);
    ASSERT_TRUE(selector);
    EXPECT_EQ(node_matches_selector(*selector, dom, 0), c.expected);
  }
}

}  // namespace
