// copperfern-tl byte rules: each input is parsed and the tree is written out
// in a compact form: elements as name[children] (attributes in braces),
// text as "..." and comments as !"...".
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "html_parser/parser.hpp"
#include "support/corpus.hpp"
#include "support/tree_dump.hpp"

namespace tidewell {
namespace {

using test::dump;

std::string parse_dump(std::string_view html) {
  auto r = copperfern_tl::parse_document(html);
  EXPECT_TRUE(r.ok());
  return r.ok() ? dump(r.dom()) : "<error>";
}

struct Case {
  const char* html;
  const char* tree;
};

TEST(CopperfernTl, TreeShapesTable) {
  const Case cases[] = {
      {"", ""},
      {"plain", "\"plain\""},
      {"<p>a<br>b</p>", "p[\"a\",br,\"b\"]"},
      {"<br/>x", "br/[\"x\"]"},
      {"<br />x", "br \"x\""},
      {"<DIV>x</div>y", "DIV[\"x\",\"y\"]"},
      {"<b><i>x</b></i>z", "b[i[\"x\"],\"z\"]"},
      {"a < b > c", "\"a \" b[\" c\"]"},
      {"x <= y", "\"x \" \"= y\""},
      {"a<", "\"a\""},
      {"a< \n", "\"a\""},
      {"<div class='a", ""},
      {"<a / href=x>", "\" href=x>\""},
      {"<p >x</p >y", "p[\"x\",\"y\"]"},
      {"<p>x</ p>y", "p[\"x\",!\"</ p>\",\"y\"]"},  // "</" before a non-letter: a comment
      {"<p>x< /p>y", "p[\"x\"] \"y\""},
      {"<<p>x", "p[\"x\"]"},
      {"<img src=a>t", "img{src=a} \"t\""},
      {"<BR>t<Img>u", "BR \"t\" Img \"u\""},  // void names ignore ASCII case
      {"<keygen>t<command>u", "keygen \"t\" command[\"u\"]"},
      {"<p />t", "p \"t\""},  // self-closing: not pushed
      {"<p / >t", "\" >t\""},
      // Stray bytes between attributes are skipped one at a time.
      {"<a .x='q' \"y>t", "a{x=q y}[\"t\"]"},
      // A tab is not tag white space: it ends the name and is skipped as a stray byte.
      {"<p\tid=a>t", "p{id=a}[\"t\"]"},
      {"<a href=x/y title='t'>", "a{href=x/y title=t}"},
      {"<a href=\"x'y\" b = c d>", "a{href=x'y b=c d}"},
      {"<a b=>t", "a{b=}[\"t\"]"},  // the unquoted value stops at ">"
      {"<a b=", ""},
      {"<a b='x>y'>t", "a{b=x>y}[\"t\"]"},
      {"<a b=x\ty>t", "a{b=x\ty}[\"t\"]"},
      // Comments.
      {"<!-- a -- b -->x", "!\"<!-- a -- b -->\" \"x\""},
      {"<!-->x", "!\"<!-->\" \"x\""},
      {"a<!---->b<p>", "\"a\" !\"\""},
      {"<!-- a --->b", "!\"\""},
      {"<!-- open", "!\"\""},
      {"< !-- c -->x", "!\"< !-- c -->\" \"x\""},
      {"<p><!--c--></p>", "p[!\"<!--c-->\"]"},
      // Declarations.
      {"<!DOCTYPE html><p>x", "p[\"x\"]"},
      {"<!doctype svg>t", "\"t\""},
      {"<!DOCTYPE html PUBLIC \"x\">t", "\"UBLIC \"x\">t\""},
      {"<!DOCTYPE>t", "\">t\""},
      // Other declarations and processing instructions are comments up to
      // the next ">"; without one, unterminated comments.
      {"<![CDATA[x]]>", "!\"<![CDATA[x]]>\""},
      {"<![CDATA[a>b]]>", "!\"<![CDATA[a>\" \"b]]>\""},
      {"<!ELEMENT a b>", "!\"<!ELEMENT a b>\""},
      {"<!>t", "!\"<!>\" \"t\""},
      {"<!-", "!\"\""},
      {"<?xml version=\"1.0\"?>t", "!\"<?xml version=\"1.0\"?>\" \"t\""},
      {"<p>a<?xml:namespace prefix = o />b", "p[\"a\",!\"<?xml:namespace prefix = o />\",\"b\"]"},
      {"a</3>b", "\"a\" !\"</3>\" \"b\""},
      {"a</>b", "\"a\" \"b\""},
      {"<?x", "!\"\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parse_dump(c.html), c.tree) << "input: " << c.html;
  }
}

TEST(CopperfernTl, DoctypeSkipsOneByteEvenInsideACharacter) {
  // The byte after the second word's white space is skipped even when it
  // starts a multi-byte character; the text then starts inside it.
  const std::string html = "<!DOCTYPE html \xC3\xA9t";
  auto r = copperfern_tl::parse_document(html);
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r.dom().top_level.size(), 1u);
  const auto* raw = r.dom().nodes[r.dom().top_level[0]].as_raw();
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(r.dom().bytes(raw->text), "\xA9t");
}

TEST(CopperfernTl, HandlesFollowDocumentOrderAndOpenElementsStayOpen) {
  auto r = copperfern_tl::parse_document("<div><p>a</p><span>b");
  ASSERT_TRUE(r.ok());
  const TlDom& d = r.dom();
  ASSERT_EQ(d.nodes.size(), 5u);
  EXPECT_EQ(d.bytes(d.nodes[0].as_tag()->name), "div");
  EXPECT_EQ(d.bytes(d.nodes[1].as_tag()->name), "p");
  EXPECT_TRUE(d.nodes[2].is_raw());
  EXPECT_EQ(d.bytes(d.nodes[3].as_tag()->name), "span");
  EXPECT_EQ(d.open_stack, (std::vector<NodeHandle>{0, 3}));
  EXPECT_EQ(d.top_level, (std::vector<NodeHandle>{0}));
  EXPECT_EQ(d.pos, d.input.size());
  EXPECT_EQ(d.attribute_inline_capacity, 8);
}

TEST(CopperfernTl, ValuesAreKeptAsWritten) {
  auto r = copperfern_tl::parse_document("<a title='&amp;' ID=x>");
  ASSERT_TRUE(r.ok());
  const TlDom& d = r.dom();
  const auto* a = d.tag(0);
  EXPECT_EQ(attribute_value(d, *a, "title"), "&amp;");
  EXPECT_FALSE(attributes_get(d, *a, "id").found());
  EXPECT_EQ(attribute_value(d, *a, "ID"), "x");
}

TEST(CopperfernTl, InputOf4GiBIsRefusedBeforeParsing) {
  const std::size_t size = std::size_t{1} << 32;
  // Address space only: nothing is readable, so any read would fault.
  void* region = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (region == MAP_FAILED) GTEST_SKIP() << "cannot reserve 4 GiB of address space";
  auto r = copperfern_tl::parse_document(std::string_view(static_cast<const char*>(region), size));
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(static_cast<int>(r.error()), 0);
  munmap(region, size);
}

TEST(CopperfernTl, DeepNestingParses) {
  constexpr std::size_t kDepth = 1'000'000;
  std::string html;
  html.reserve(kDepth * 11 + 1);
  for (std::size_t i = 0; i < kDepth; ++i) html += "<div>";
  html += "x";
  for (std::size_t i = 0; i < kDepth; ++i) html += "</div>";
  auto r = copperfern_tl::parse_document(html);
  ASSERT_TRUE(r.ok());
  const TlDom& d = r.dom();
  EXPECT_EQ(d.nodes.size(), kDepth + 1);
  EXPECT_TRUE(d.open_stack.empty());
  EXPECT_EQ(inner_text(*d.tag(0), d).view(), "x");
}

TEST(CopperfernTl, DeepNestingWithTextAtEveryLevel) {
  // Unclosed elements, each holding a letter and the next level: inner_text
  // walks a million levels with its own stack.
  constexpr std::size_t kDepth = 1'000'000;
  std::string html;
  html.reserve(kDepth * 4);
  for (std::size_t i = 0; i < kDepth; ++i) html += "<b>a";
  auto r = copperfern_tl::parse_document(html);
  ASSERT_TRUE(r.ok());
  const TlDom& d = r.dom();
  EXPECT_EQ(d.open_stack.size(), kDepth);
  const CowText text = inner_text(*d.tag(0), d);
  EXPECT_EQ(text.size(), kDepth);
  EXPECT_EQ(text.view().find_first_not_of('a'), std::string_view::npos);
}

TEST(CopperfernTl, HugeAttributeValues) {
  const std::string big(20'000'000, 'x');
  const std::string quoted = "<a title='" + big + "' b=" + big + ">t";
  auto r = copperfern_tl::parse_document(quoted);
  ASSERT_TRUE(r.ok());
  const TlDom& d = r.dom();
  EXPECT_EQ(attribute_value(d, *d.tag(0), "title")->size(), big.size());
  EXPECT_EQ(attribute_value(d, *d.tag(0), "b")->size(), big.size());
  // An unclosed quote runs to the end: the element is discarded.
  const std::string open = "<a title='" + big;
  auto r2 = copperfern_tl::parse_document(open);
  ASSERT_TRUE(r2.ok());
  EXPECT_TRUE(r2.dom().nodes.empty());
}

TEST(CopperfernTl, CorpusPagesKeepHandlesAndSpansInRange) {
  namespace fs = std::filesystem;
  const fs::path root(TIDEWELL_CORPUS_DIR);
  if (!fs::exists(root)) TIDEWELL_SKIP_WITHOUT_CORPUS("corpus");
  std::size_t pages = 0;
  for (const char* dir : {"readability/pages", "trafilatura/pages", "article-extraction-benchmark/pages"}) {
    if (!fs::exists(root / dir)) continue;
    for (const auto& entry : fs::directory_iterator(root / dir)) {
      std::ifstream in(entry.path(), std::ios::binary);
      const std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      auto r = copperfern_tl::parse_document(html);
      ASSERT_TRUE(r.ok());
      const TlDom& d = r.dom();
      ++pages;
      for (const TlNode& n : d.nodes) {
        if (const auto* t = n.as_tag()) {
          ASSERT_LE(t->name.end(), html.size());
          for (NodeHandle c : t->children) ASSERT_LT(c, d.nodes.size());
          for (const AttributeEntry& e : d.entries(t->attributes)) {
            ASSERT_LE(e.name.end(), html.size());
            if (e.value) {
              ASSERT_LE(e.value->end(), html.size());
            }
          }
        } else if (const auto* raw = n.as_raw()) {
          ASSERT_FALSE(raw->text.empty());
          ASSERT_LE(raw->text.end(), html.size());
        }
      }
    }
  }
  EXPECT_GT(pages, 0u);
}

}  // namespace
}  // namespace tidewell
