#include <gtest/gtest.h>

#include <string>

#include "converter/inline/inline_text.hpp"
#include "converter/inline/links.hpp"
#include "converter/inline/serialize.hpp"
#include "converter/text/processing.hpp"
#include "html_parser/parser.hpp"
#include "support/walk.hpp"

namespace tidewell {
namespace {

TEST(Base64, Rfc4648Vectors) {
  EXPECT_EQ(base64_encode(""), "");
  EXPECT_EQ(base64_encode("f"), "Zg==");
  EXPECT_EQ(base64_encode("fo"), "Zm8=");
  EXPECT_EQ(base64_encode("foo"), "Zm9v");
  EXPECT_EQ(base64_encode("foob"), "Zm9vYg==");
  EXPECT_EQ(base64_encode("fooba"), "Zm9vYmE=");
  EXPECT_EQ(base64_encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(base64_encode(std::string_view("\xFF\xFE\x00", 3)), "//4A");
}

TEST(SerializeSubtree, OnlyElementsAreWritten) {
  const std::string html = "text<!-- c --><svg><g /></svg>";
  ParseResult parsed = parse_document(ParserBackend::Copperfern, html);
  ASSERT_TRUE(parsed.ok());
  const TlDom& dom = parsed.dom();
  std::string svg;
  for (NodeHandle h = 0; h < dom.size(); ++h) {
    const std::string out = serialize_subtree_html(h, dom);
    if (dom.tag(h) == nullptr) {
      EXPECT_EQ(out, "") << h;
    }
    if (out.starts_with("<svg")) svg = out;
  }
  EXPECT_EQ(svg, "<svg><g /></svg>");
  EXPECT_EQ(serialize_subtree_html(static_cast<NodeHandle>(dom.size()), dom), "");
}

TEST(SerializeSubtree, SvgNameAdjustments) {
  EXPECT_EQ(adjust_svg_tag_name("lineargradient"), "linearGradient");
  EXPECT_EQ(adjust_svg_tag_name("altglyph"), "altGlyph");
  EXPECT_EQ(adjust_svg_tag_name("textpath"), "textPath");
  EXPECT_EQ(adjust_svg_tag_name("fefunca"), "feFuncA");
  EXPECT_EQ(adjust_svg_tag_name("rect"), "rect");
  EXPECT_EQ(adjust_svg_tag_name(""), "");
  EXPECT_EQ(adjust_svg_tag_name("zzz"), "zzz");
}

TEST(UnwrapMarkdownLink, Cases) {
  for (const auto& [in, out] : std::initializer_list<std::pair<std::string_view, std::string_view>>{
           {"[logo](/img/a.png)", "/img/a.png"},
           {"x [a](b) y", "b"},
           {"[a](b c)", "b c"},
           {"a](b)", "a](b)"},
           {"[a](b", "[a](b"},
           {"[a]()", "[a]()"},
           {"](b)", "](b)"},
           {"plain.png", "plain.png"},
       }) {
    EXPECT_EQ(unwrap_markdown_link(in), out) << in;
  }
}

TEST(AutolinkTarget, OnlyWhatCommonMarkReadsAsAnAutolink) {
  EXPECT_EQ(autolink_target("news:x", "news:x"), "news:x");
  EXPECT_EQ(autolink_target("x-y.z+w:1", "x-y.z+w:1"), "x-y.z+w:1");
  EXPECT_EQ(autolink_target("mailto:a.b+c@d-e.org", "a.b+c@d-e.org"), "a.b+c@d-e.org");
  EXPECT_EQ(autolink_target("mailto:a@b", "mailto:a@b"), "mailto:a@b");
  for (const auto& [href, text] : std::initializer_list<std::pair<std::string_view, std::string_view>>{
           {"news:x", "news:y"},
           {"x:y", "x:y"},                        // one-letter scheme
           {"http://a b", "http://a b"},          // space
           {"http://a<b", "http://a<b"},          // angle bracket
           {"http://a\x01", "http://a\x01"},     // control
           {"mailto:ann", "ann"},                 // no '@'
           {"mailto:a b@c", "a b@c"},
           {"mailto:a@-b", "a@-b"},               // label starts with '-'
           {"mailto:a@b..c", "a@b..c"},           // empty label
           {"mailto:@b", "@b"},
           {"/a:b", "/a:b"},
       }) {
    EXPECT_EQ(autolink_target(href, text), std::nullopt) << href;
  }
}

TEST(InlineText, FoldLineBreaksAndLowercase) {
  EXPECT_EQ(fold_line_breaks("line  \ntwo"), "line two");
  EXPECT_EQ(fold_line_breaks(" \r\n a\t\u00a0b \n"), "a b");
  EXPECT_EQ(fold_line_breaks(""), "");
  EXPECT_EQ(ascii_lowercase_name("DiV\xC3\x89").view(), "div\xC3\x89");
  EXPECT_FALSE(ascii_lowercase_name("div").is_owned());
  std::string out;
  append_plain_link_text("a\\]b\\c [d\n", out);
  EXPECT_EQ(out, "a\\\\\\]b\\c \\[d ");
  out.clear();
  append_plain_link_text("`<x>` [a](b)", out);
  EXPECT_EQ(out, "\\`\\<x>\\` \\[a\\](b)");
}

// In a pipe-table cell a bare '|' would end the cell, also inside a link's
// destination or title.
TEST(LinksInTableCells, PipesAreEscaped) {
  const auto cell = [](ConversionContext& c) { c.in_table_cell = true; };
  EXPECT_EQ(test::walk_with("<a href=\"/a|b\" title=\"x|y\">c|d</a>", cell), "[c\\|d](/a\\|b \"x\\|y\")");
  EXPECT_EQ(test::walk_with("<a href=\"/a\\|b\">t</a>", cell), "[t](/a\\\\\\|b)");
  EXPECT_EQ(test::walk_with("<img src=\"i|.png\" alt=\"a|b\">", cell), "![a\\|b](i\\|.png)");
  EXPECT_EQ(test::walk_with("<iframe src=\"/e|f\"></iframe>", cell), "[/e\\|f](/e\\|f)\n\n");
  EXPECT_EQ(test::walk_with("<a href=\"news:a|b\">news:a|b</a>", cell), "<news:a\\|b>");
  const auto heading_cell = [](ConversionContext& c) {
    c.in_table_cell = true;
    c.in_single_line = true;
  };
  EXPECT_EQ(test::walk_with("<img src=\"i.png\" alt=\"a|b\">", heading_cell), "a\\|b");
  // Outside cells nothing changes.
  EXPECT_EQ(test::walk_with("<a href=\"/a|b\">t</a>", [](ConversionContext&) {}), "[t](/a|b)");
}

}  // namespace
}  // namespace tidewell
