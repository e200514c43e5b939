// End tags on both parser backends: which open element an end tag closes.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "common/tags.hpp"
#include "html_parser/end_tag_scope.hpp"
#include "html_parser/parser.hpp"
#include "support/markup.hpp"
#include "support/tree_dump.hpp"

namespace tidewell {
namespace {

constexpr ParserBackend kBackends[] = {ParserBackend::Copperfern, ParserBackend::AsmTl};

struct Case {
  const char* html;
  const char* tree;
};

template <std::size_t N>
void expect_trees(const Case (&cases)[N]) {
  for (ParserBackend backend : kBackends) {
    for (const Case& c : cases) EXPECT_EQ(test::parse_dump(backend, c.html), c.tree) << c.html;
  }
}

TEST(EndTags, CloseTheElementTheyNameWithEverythingAboveIt) {
  const Case cases[] = {
      // An item's end tag closes a block left open in it: the next item is
      // its sibling, not its content.
      {"<ul><li><div>a</li><li>b</li></ul>", "ul[li[div[\"a\"]],li[\"b\"]]"},
      {"<blockquote><div>said</blockquote><p>after</p>", "blockquote[div[\"said\"]] p[\"after\"]"},
      {"<dl><dt><span>t</dt><dd><div>d</dd></dl>x", "dl[dt[span[\"t\"]],dd[div[\"d\"]]] \"x\""},
      {"<ol><li><b>a</ol>b", "ol[li[b[\"a\"]]] \"b\""},
      {"<section><div><span>a</section>b", "section[div[span[\"a\"]]] \"b\""},
      {"<div><span><i>a</div>b", "div[span[i[\"a\"]]] \"b\""},
      {"<p><a>link</p><p>next</p>", "p[a[\"link\"]] p[\"next\"]"},
      {"<h2><a>T</h2>x", "h2[a[\"T\"]] \"x\""},
      {"<table><tr><td><div>a</td><td>b</td></tr></table>c",
       "table[tr[td[div[\"a\"]],td[\"b\"]]] \"c\""},
      {"<table><tr><td>a</tr><tr><td>b</table>c", "table[tr[td[\"a\"]],tr[td[\"b\"]]] \"c\""},
      {"<table><tbody><tr><td>a</tbody></table>c", "table[tbody[tr[td[\"a\"]]]] \"c\""},
      // Upper case on both sides is matched as written.
      {"<UL><LI><DIV>a</LI><LI>b</UL>", "UL[LI[DIV[\"a\"]],LI[\"b\"]]"},
      // The innermost element of the name is closed.
      {"<div><div><span>a</div>b</div>c", "div[div[span[\"a\"]],\"b\"] \"c\""},
  };
  expect_trees(cases);
}

TEST(EndTags, KeepTheOtherReadings) {
  const Case cases[] = {
      // Formatting and unknown end tags close only the top element.
      {"<b><i>x</b></i>z", "b[i[\"x\"],\"z\"]"},
      {"<div><span>x</foo>y</div>z", "div[span[\"x\",\"y\"]] \"z\""},
      {"<span><div>x</span>y", "span[div[\"x\",\"y\"]]"},
      // Names are compared as written: "</div>" does not close "DIV".
      {"<DIV>x</div>y", "DIV[\"x\",\"y\"]"},
      {"<DIV><span>x</div>y", "DIV[span[\"x\",\"y\"]]"},
      // Not across a scope boundary: a cell, a table, a list for an item, a
      // button for a paragraph.
      {"<div><table><tr><td>x</div>y</td></tr></table>", "div[table[tr[td[\"x\",\"y\"]]]]"},
      {"<td><table><tr><th>x</td>y", "td[table[tr[th[\"x\",\"y\"]]]]"},
      {"<li>a<ul><span>b</li>c", "li[\"a\",ul[span[\"b\",\"c\"]]]"},
      {"<p><button><span>x</p>y", "p[button[span[\"x\",\"y\"]]]"},
      // A stray end tag closes nothing.
      {"<div>a</li>b</div>", "div[\"a\",\"b\"]"},
      // A script's end tag still closes it, and the element around it after.
      {"<div><script>x</script><span>a</div>b", "div[script[\"x\"],span[\"a\"]] \"b\""},
  };
  expect_trees(cases);
}

// The parsers' own name table gives each name the id the tag table gives
// it: a slip there would track an element under another's name.
TEST(EndTags, NameTableSpeaksTheTagTable) {
  for (const end_tag_scope::Name& name : end_tag_scope::kNames) EXPECT_EQ(tag_id(name.text), name.id) << name.text;
}

using test::repeat;

// Stray end tags under a million open elements: each one is answered without
// a walk down the open elements (a walk per tag would not finish here).
TEST(EndTags, StrayEndTagsUnderDeepNestingStayLinear) {
  constexpr std::size_t kDepth = 1'000'000;
  const std::string shapes[] = {
      // Names never opened.
      repeat("<div>", kDepth) + repeat("</p></li></td>", kDepth) + repeat("</div>", kDepth),
      // Names open far down, behind a boundary.
      "<li><table>" + repeat("<span>", kDepth) + repeat("</li>", kDepth),
      "<p><button>" + repeat("<span>", kDepth) + repeat("</p>", kDepth),
      // Names open far down, behind the wrong case.
      "<DIV>" + repeat("<span>", kDepth) + repeat("</div>", kDepth),
  };
  for (ParserBackend backend : kBackends) {
    for (const std::string& html : shapes) {
      ParseResult r = parse_document(backend, html);
      ASSERT_TRUE(r.ok());
      EXPECT_GE(r.dom().nodes.size(), kDepth);
    }
  }
}

TEST(EndTags, OneEndTagClosesAMillionElements) {
  constexpr std::size_t kDepth = 1'000'000;
  const std::string html = repeat("<div><span>", kDepth) + "x" + repeat("</div>", kDepth) + "y";
  for (ParserBackend backend : kBackends) {
    ParseResult r = parse_document(backend, html);
    ASSERT_TRUE(r.ok());
    const TlDom& d = r.dom();
    ASSERT_EQ(d.top_level.size(), 2u);
    EXPECT_EQ(d.bytes(d.nodes[d.top_level[1]].as_raw()->text), "y");
    if (backend == ParserBackend::Copperfern) {
      EXPECT_TRUE(d.open_stack.empty());
    }
  }
}

}  // namespace
}  // namespace tidewell
