#include <gtest/gtest.h>

#include <string>

#include "converter/entry/prescan.hpp"

using namespace tidewell;

namespace {

struct Scanned {
  std::string text;
  PrescanSummary summary;
};

Scanned prescan(std::string_view input) {
  const Prescan p = prescan_input(input);
  return {std::string(p.scan_text(input)), p.summary};
}

std::string head_of(const Scanned& s) {
  if (!s.summary.head_span) return "<none>";
  return s.text.substr(s.summary.head_span->start, s.summary.head_span->end - s.summary.head_span->start);
}

struct Rewrite {
  const char* name;
  const char* input;
  const char* scan_text;
  bool escaped_lt;
};

class PrescanRewrite : public ::testing::TestWithParam<Rewrite> {};

TEST_P(PrescanRewrite, ScanTextAndFlag) {
  const Rewrite& c = GetParam();
  const Scanned s = prescan(c.input);
  EXPECT_EQ(s.text, c.scan_text);
  EXPECT_EQ(s.summary.escaped_lt, c.escaped_lt);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PrescanRewrite,
    ::testing::Values(
        Rewrite{"LtBeforeSpace", "a < b", "a &lt; b", true},
        Rewrite{"LtAtTheEnd", "a<", "a&lt;", true},
        Rewrite{"LtBeforeDigit", "1<2", "1&lt;2", true},
        // What an HTML reader takes for a comment stays.
        Rewrite{"SlashThenGt", "</>x", "</>x", false},
        Rewrite{"SlashThenSpace", "</ p>", "</ p>", false},
        Rewrite{"SlashThenDigit", "a</3>b", "a</3>b", false},
        Rewrite{"BangThenGt", "<!>x", "<!>x", false},
        Rewrite{"SlashAtTheEnd", "a</", "a&lt;/", true},
        Rewrite{"CommentStartStays", "<!-- c -->x", "<!-- c -->x", false},
        Rewrite{"ProcessingInstructionStays", "<?xml?>x", "<?xml?>x", false},
        Rewrite{"EndTagStays", "<p>x</p>", "<p>x</p>", false},
        Rewrite{"EmptyComment", "<!---->x", "<!-- -->x", false},
        Rewrite{"EmptyCommentWithSpace", "<!-- -->x", "<!-- -->x", false},
        Rewrite{"CdataStays", "<![CDATA[x]]>", "<![CDATA[x]]>", false},
        Rewrite{"ScriptContentDropped", "<script>a</p>b</script><p>c</p>", "<script></script><p>c</p>", false},
        Rewrite{"ScriptTagKeptEndLowered", "<SCRIPT type=x>a</Script  ><p>c</p>", "<SCRIPT type=x></script><p>c</p>",
                false},
        Rewrite{"ScriptWithoutEnd", "<p>a</p><script>x<p>rest", "<p>a</p><script></script>", false},
        Rewrite{"NestedScriptTags", "<script>a<script>b</script>c</script>d", "<script></script>d", false},
        Rewrite{"StyleContentDropped", "<style>p{}</style>x", "<style></style>x", false},
        Rewrite{"LtInsideScriptNotEscaped", "<script>if (a < b) {}</script>", "<script></script>", false},
        Rewrite{"DoctypeRemoved", "<!DOCTYPE html><p>x", "<p>x", false},
        Rewrite{"DoctypeLowerCaseWithSpace", "<! doctype html><p>x", "<p>x", false},
        Rewrite{"DoctypeWithoutSpace", "<!doctypehtml><p>x", "<p>x", false},
        Rewrite{"DoctypeWithoutGtStays", "<!DOCTYPE html", "<!DOCTYPE html", false},
        Rewrite{"InvalidLtInsideSvg", "<svg>a < b</svg>", "<svg>a &lt; b</svg>", true}),
    [](const ::testing::TestParamInfo<Rewrite>& info) { return std::string(info.param.name); });

TEST(Prescan, TextWithoutRewriteIsNotCopied) {
  const std::string input = "<p>plain <b>text</b></p>";
  const Prescan p = prescan_input(input);
  EXPECT_FALSE(p.rewritten.has_value());
  EXPECT_EQ(p.scan_text(input).data(), input.data());
}

TEST(Prescan, Flags) {
  EXPECT_TRUE(prescan("<x-y>a</x-y>").summary.custom_element);
  EXPECT_FALSE(prescan("<svg><x-y/></svg>").summary.custom_element);
  EXPECT_FALSE(prescan("<script><x-y></script>").summary.custom_element);
  EXPECT_TRUE(prescan("<script>a</script>").summary.script);
  EXPECT_FALSE(prescan("<svg><script>a</script></svg>").summary.script);
  EXPECT_TRUE(prescan("<![CDATA[x]]>").summary.cdata);
  EXPECT_FALSE(prescan("<![cdata[x]]>").summary.cdata);
  EXPECT_FALSE(prescan("<![cdata[x]]>").summary.blocks_scanner());
  EXPECT_TRUE(prescan("<svg width=1><path/></svg>").summary.svg);
  EXPECT_FALSE(prescan("<svgx>a</svgx>").summary.svg);
  EXPECT_FALSE(prescan("a<svg").summary.svg);
  EXPECT_TRUE(prescan("<svg>").summary.svg);
  EXPECT_FALSE(prescan("<p>x</p>").summary.blocks_scanner());
  EXPECT_TRUE(prescan("<p>x < y</p>").summary.blocks_scanner());
}

TEST(Prescan, HeadSpan) {
  EXPECT_EQ(head_of(prescan("<head><title>T</title></head><p>x</p>")), "<title>T</title>");
  EXPECT_EQ(head_of(prescan("<!DOCTYPE html><head><title>T</title></head>")), "<title>T</title>");
  EXPECT_EQ(head_of(prescan("<head><title>T</title>")), "<title>T</title>");
  EXPECT_EQ(head_of(prescan("</head><p>x</p>")), "<none>");
  EXPECT_EQ(head_of(prescan("<p>x</p>")), "<none>");
  EXPECT_EQ(head_of(prescan("<header>x</header>")), "<none>");
  // Comments are read like text: a commented-out head still has a span.
  EXPECT_EQ(head_of(prescan("<!--<head><title>D</title></head>--><p>x</p>")), "<title>D</title>");
  // Inside an svg no head is recorded.
  EXPECT_EQ(head_of(prescan("<svg><head>x</head></svg>")), "<none>");
  // Positions are positions in the rewritten text.
  const Scanned s = prescan("<!DOCTYPE html><head><script>a</script><title>T</title></head>");
  EXPECT_EQ(head_of(s), "<script></script><title>T</title>");
  // A second head start replaces the first.
  EXPECT_EQ(head_of(prescan("<head>a<head>b</head>")), "b");
}

TEST(Prescan, LongInputsStayLinear) {
  // Many unterminated tags and script starts: every search is bounded.
  std::string input;
  for (int i = 0; i < 20000; ++i) input += "<a title='x <script";
  const Scanned s = prescan(input);
  EXPECT_FALSE(s.text.empty());
  std::string scripts;
  for (int i = 0; i < 20000; ++i) scripts += "<script>";
  EXPECT_TRUE(prescan(scripts).summary.script);
}

}  // namespace
