#include <gtest/gtest.h>

#include <string>

#include "converter/document/convert_document.hpp"
#include "converter/document/handler_table.hpp"
#include "converter/blocks/blocks.hpp"
#include "converter/inline/inline.hpp"
#include "converter/inline/outer_space.hpp"
#include "html_parser/parser.hpp"

namespace tidewell {
namespace {

std::string convert(std::string_view html, const ConversionOptions& options = {}) {
  Outcome<DocumentConversion> result = convert_document(html, options, nullptr, nullptr);
  EXPECT_TRUE(result.ok());
  return result.ok() ? result.value().content : std::string();
}

TEST(InlineOuterWhitespace, Split) {
  struct Case {
    const char* text;
    const char* leading;
    const char* trailing;
    const char* core;
  };
  for (const Case& c : {
           Case{"", "", "", ""},
           Case{"x", "", "", "x"},
           Case{" x ", " ", " ", "x"},
           Case{"\tx\t", " ", " ", "x"},
           Case{"\nx\n\n", "\n", " ", "x"},
           Case{"\xC2\xA0x\xE3\x80\x80", " ", " ", "x"},
           Case{"x  \n", "", "  \n", "x"},
           Case{"x\\\n", "", "\\\n", "x"},
           Case{"  \n", "\n", "  \n", ""},
           Case{" \t\nx", "\n", "", "x"},
           Case{" ", " ", " ", ""},
           Case{"a b", "", "", "a b"},
       }) {
    const OuterWhitespaceSplit split = split_outer_whitespace(c.text);
    EXPECT_EQ(split.leading, c.leading) << c.text;
    EXPECT_EQ(split.trailing, c.trailing) << c.text;
    EXPECT_EQ(split.core, c.core) << c.text;
  }
}

TEST(InlineCodeSpan, FenceIsTheShortestRunLengthNotInTheContent) {
  struct Case {
    const char* content;
    std::size_t fence;
  };
  for (const Case& c : {
           Case{"", 1},
           Case{"x", 1},
           Case{"a`b", 2},
           Case{"a``b", 1},
           Case{"a`b``c", 3},
           Case{"`a`b``c```d", 4},
           Case{"a````b", 1},
           Case{"``a``b`", 3},
       }) {
    EXPECT_EQ(code_span_fence_length(c.content), c.fence) << c.content;
  }
  EXPECT_EQ(code_span_fence_length(std::string(100000, '`')), 1u);
}

TEST(InlineCodeSpan, Writing) {
  struct Case {
    const char* content;
    bool in_table_cell;
    const char* expected;
  };
  for (const Case& c : {
           Case{"x", false, "`x`"},
           Case{"`a", false, "`` `a ``"},
           Case{"a`", false, "`` a` ``"},
           // a reader takes one space off each end
           Case{" a ", false, "`  a  `"},
           Case{" `a` ", false, "``  `a`  ``"},
           Case{"\n`a`\n", false, "``  `a`  ``"},
           Case{"a\n\nb", false, "`a  b`"},
           Case{"a|b", false, "`a|b`"},
           Case{"a|b", true, "`a\\|b`"},
       }) {
    std::string out;
    write_code_span(c.content, c.in_table_cell, out);
    EXPECT_EQ(out, c.expected) << c.content;
  }
}

// Joined to the span before it, a span starts where that one started: the
// caller, and an element around it written in place, check the text written
// from there, not from the old end.
TEST(InlineCodeSpan, JoinedSpanStartsWhereTheSpanBeforeStarted) {
  std::string out = "x ";
  EXPECT_EQ(write_code_span("a`", false, out), 2u);
  EXPECT_EQ(write_code_span("k", false, out, true), 2u);
  EXPECT_EQ(out, "x ``a`k``");
  struct Case {
    const char* html;
    const char* expected;
  };
  for (const Case& c : {
           Case{"<code>a`</code><kbd>k", "``a`k``\n"},
           Case{"<kbd>a`</kbd><samp>k</samp>", "``a`k``\n"},
           Case{"<samp>a``</samp><kbd>k</kbd>", "`a``k`\n"},
           // taken up through elements written without markers of their own
           Case{"<code>`</code><strong><samp>`</samp></strong>a", "` `` `a\n"},
           Case{"<i><kbd>a`</kbd><i><kbd>&", "*``a`&``*\n"},
       }) {
    EXPECT_EQ(convert(c.html), c.expected) << c.html;
  }
}

// Text converted apart that starts with a code span, appended right after a
// code span, is written as one span with it; a span out of reach to take up
// stands apart after a space; an escaped backtick is text.
TEST(InlineCodeSpan, TextAppendedAfterASpanJoinsIt) {
  struct Case {
    std::string out;
    std::string text;
    bool in_table_cell;
    std::string expected;
    std::size_t start;
  };
  const std::string long_text = "`" + std::string(2000, 'x') + "`";
  for (const Case& c : {
           Case{"x `a`", "`b` c", false, "x `ab` c", 2},
           Case{"x `a`", "``b`c`` d", false, "x ``ab`c`` d", 2},
           Case{"x `a`", "b`", false, "x `a`b`", 5},
           Case{"x \\`", "`b`", false, "x \\``b`", 4},
           Case{"`a\\|`", "`\\|b`", true, "`a\\|\\|b`", 0},
           Case{"`a`", long_text, false, "`a` " + long_text, 3},
       }) {
    std::string out = c.out;
    EXPECT_EQ(append_joining_code_spans(out, c.text, c.in_table_cell), c.start) << c.out << c.text;
    EXPECT_EQ(out, c.expected) << c.out << c.text;
  }
}

// Code and keyboard text in a table cell keep "|" from splitting the row.
TEST(InlineCodeSpan, TableCell) {
  for (const char* html : {"<code>a|b</code>", "<kbd>a|b</kbd>"}) {
    ParseResult parsed = parse_document(ParserBackend::Copperfern, html);
    ASSERT_TRUE(parsed.ok());
    const TlDom& dom = parsed.dom();
    const DomContext dom_context = build_dom_context(dom.top_level, dom, std::string_view(html).size());
    const ConversionOptions options;
    const WalkSets sets;
    const WalkPolicy policy = WalkPolicy::for_walk(options, sets);
    std::string out;
    const Walk walk(dom, dom_context, options, policy, dom_handler_table(), out);
    ConversionContext context = make_root_context(options, nullptr, nullptr, nullptr);
    context.in_table_cell = true;
    for (NodeHandle node : dom.top_level) walk.node(node, context, 0);
    EXPECT_EQ(out, "`a\\|b`") << html;
  }
}

TEST(InlinePreserved, WritesTheSubtreeFromTheDocument) {
  const std::string html = "<P Title='a \"b\"' class=c id=i hidden>x&amp;<!-- c --><BR><b>y</b><img src=u></P>";
  ParseResult parsed = parse_document(ParserBackend::Copperfern, html);
  ASSERT_TRUE(parsed.ok());
  EXPECT_EQ(serialize_preserved_element(parsed.dom().top_level[0], parsed.dom()),
            "<p Title=\"a &quot;b&quot;\" hidden id=\"i\" class=\"c\">x&amp;<br><b>y</b><img src=\"u\"></p>");
  EXPECT_EQ(serialize_preserved_element(NodeHandle{1u << 30}, parsed.dom()), "");
}

TEST(InlinePreserved, MillionDeepSubtree) {
  constexpr std::size_t kDepth = 1'000'000;
  std::string html;
  for (std::size_t i = 0; i < kDepth; ++i) html += "<i>";
  html += "x";
  ConversionOptions options;
  options.preserve_tags = {"i"};
  std::string expected;
  for (std::size_t i = 0; i < kDepth; ++i) expected += "<i>";
  expected += "x";
  for (std::size_t i = 0; i < kDepth; ++i) expected += "</i>";
  EXPECT_EQ(convert(html, options), expected + "\n");
}

// Elements whose children keep their own walk depth (span, ruby, rtc) are
// bounded by the walk's recursion guard like every other element.
TEST(InlineNesting, DeepNestingOfEveryInlineElement) {
  constexpr std::size_t kDepth = 100'000;
  for (const char* tag : {"em", "b", "span", "ruby", "rtc", "rb", "code", "kbd", "mark", "abbr", "sub", "ins"}) {
    std::string html = "<p>";
    for (std::size_t i = 0; i < kDepth; ++i) html += std::string("<") + tag + ">w ";
    html += "end</p>";
    const std::string out = convert(html);
    std::size_t words = 0;
    for (std::size_t pos = out.find('w'); pos != std::string::npos; pos = out.find('w', pos + 1)) ++words;
    EXPECT_EQ(words, kDepth) << tag;
    EXPECT_NE(out.find("end"), std::string::npos) << tag;
  }
}

}  // namespace
}  // namespace tidewell
