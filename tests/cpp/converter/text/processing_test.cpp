#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "converter/text/processing.hpp"

namespace tidewell {
namespace {

std::string collapsed(std::string_view text) {
  auto out = collapse_whitespace(text);
  return out ? *out : std::string(text);
}

TEST(CollapseWhitespace, UnchangedTextIsNotCopied) {
  const char* cases[] = {
      "",
      "plain",
      "words with single spaces",
      " lead and tail ",
      "line\nbreak",
      " \n ",        // a line feed ends a run
      "a\r\n\r\nb",
      "\x0b\x0c",    // vertical tab, form feed
      "\xC2\x85",    // U+0085
      "\xE2\x80\xA8\xE2\x80\xA9",  // U+2028, U+2029
      "\xE2\x80\x8B",  // U+200B is not a space
      "\xC3\xA9t\xC3\xA9",
      "\xC2",        // truncated sequences are copied as they are
      "\xE2\x80",
  };
  for (const char* c : cases) EXPECT_FALSE(collapse_whitespace(c).has_value()) << c;
}

TEST(CollapseWhitespace, FoldsRuns) {
  struct Case {
    std::string in;
    const char* out;
  };
  const Case cases[] = {
      {"a  b", "a b"},
      {"a\tb", "a b"},
      {"\t", " "},
      {"a \t b", "a b"},
      {"  lead and  tail  ", " lead and tail "},
      {"a\xC2\xA0\xC2\xA0" "b", "a b"},
      {"a\xC2\xA0" "b", "a b"},
      {"a \xC2\xA0" "b", "a b"},
      {"a\xE1\x9A\x80" "b", "a b"},
      {"a\xE2\x80\x80" "b\xE2\x80\x8A" "c", "a b c"},
      {"a\xE2\x80\xAF" "b\xE2\x81\x9F" "c\xE3\x80\x80" "d", "a b c d"},
      {"a\t\n\tb", "a \n b"},
      {"x  \n  y", "x \n y"},
      {"tab\t\tend\t", "tab end "},
      {"\xC3\xA9  \xC3\xA9", "\xC3\xA9 \xC3\xA9"},
      {"a  \xE2\x80\xA8  b", "a \xE2\x80\xA8 b"},
  };
  for (const Case& c : cases) {
    auto out = collapse_whitespace(c.in);
    ASSERT_TRUE(out.has_value()) << c.in;
    EXPECT_EQ(*out, c.out) << c.in;
  }
}

TEST(CollapseWhitespace, IntoAppendsAndCopiesEverythingElse) {
  std::string out = "x ";
  collapse_whitespace_into("  a\tb ", out);
  EXPECT_EQ(out, "x  a b ");  // the end of the buffer is not part of a run
  out.clear();
  collapse_whitespace_into("unchanged text", out);
  EXPECT_EQ(out, "unchanged text");
}

// Random texts of folding spaces, other whitespace and letters against a
// piece-wise reference.
TEST(CollapseWhitespace, MatchesReference) {
  struct Piece {
    const char* text;
    bool folds;
  };
  const Piece pieces[] = {
      {" ", true},           {"\t", true},           {"\xC2\xA0", true},     {"\xE1\x9A\x80", true},
      {"\xE2\x80\x85", true}, {"\xE2\x80\xAF", true}, {"\xE3\x80\x80", true}, {"\n", false},
      {"\r", false},          {"\xE2\x80\xA8", false}, {"\xC2\x85", false},     {"x", false},
      {"\xC3\xA9", false},    {"\xE2\x80\x8B", false},
  };
  std::mt19937 rng(99);
  for (int round = 0; round < 3000; ++round) {
    std::vector<const Piece*> chosen;
    const int count = static_cast<int>(rng() % 12);
    for (int i = 0; i < count; ++i) chosen.push_back(&pieces[rng() % (sizeof(pieces) / sizeof(pieces[0]))]);
    std::string text, expected;
    bool changes = false;
    for (std::size_t i = 0; i < chosen.size(); ++i) {
      text += chosen[i]->text;
      if (!chosen[i]->folds) {
        expected += chosen[i]->text;
        continue;
      }
      std::size_t j = i;
      while (j + 1 < chosen.size() && chosen[j + 1]->folds) text += chosen[++j]->text;
      if (j > i || std::string(chosen[i]->text) != " ") changes = true;
      expected += ' ';
      i = j;
    }
    auto out = collapse_whitespace(text);
    ASSERT_EQ(out.has_value(), changes) << text;
    if (out) {
      ASSERT_EQ(*out, expected) << text;
    }
  }
}

TEST(CollapseWhitespace, LongRunsAndLongTexts) {
  std::string many(1 << 20, ' ');
  EXPECT_EQ(collapsed(many), " ");
  std::string mixed;
  for (int i = 0; i < 100000; ++i) mixed += "w\xC2\xA0\t ";
  std::string expected;
  for (int i = 0; i < 100000; ++i) expected += "w ";
  EXPECT_EQ(collapsed(mixed), expected);
}

struct EscapeCase {
  std::string in;
  bool misc, asterisks, underscores, ascii;
  std::string out;  // == in when unchanged
};

ConversionOptions escape_options(bool misc, bool asterisks, bool underscores, bool ascii) {
  ConversionOptions o;
  o.escape_misc = misc;
  o.escape_asterisks = asterisks;
  o.escape_underscores = underscores;
  o.escape_ascii = ascii;
  return o;
}

// Escapes in `mode` both ways (copy-on-write and appending) and checks that
// they agree; returns the escaped text.
std::string escaped(std::string_view in, EscapeMode mode, const ConversionOptions& o) {
  const std::optional<std::string> out = escape_markdown(in, mode, o);
  std::string appended = "<";
  escape_markdown_into(in, mode, o, appended);
  const std::string result = out ? *out : std::string(in);
  EXPECT_EQ(appended, "<" + result) << in;
  if (out) {
    EXPECT_NE(*out, in) << in;
  }
  return result;
}

TEST(DropLineLeadingSpaces, OnlyWhereALineStarts) {
  EXPECT_FALSE(drop_line_leading_spaces("a b\nc", true));
  EXPECT_FALSE(drop_line_leading_spaces(" a", false));
  EXPECT_EQ(drop_line_leading_spaces(" a\n b", false), " a\nb");
  EXPECT_EQ(drop_line_leading_spaces(" \ta\n \t b \n\n\tc", true), "a\nb \n\nc");
  EXPECT_EQ(drop_line_leading_spaces("a\n   ", false), "a\n");
}

TEST(EscapeMarkdownText, Rules) {
  const EscapeCase cases[] = {
      // No flag: unchanged.
      {"a*b_c#d", false, false, false, false, "a*b_c#d"},
      {"", true, true, true, true, ""},
      // escape_misc: the 13 characters.
      {"#&+-<=>[\\]`|~", true, false, false, false, "\\#\\&\\+\\-\\<\\=\\>\\[\\\\\\]\\`\\|\\~"},
      {"a & b", true, false, false, false, "a \\& b"},
      // '.' and ')' only right after a digit, anywhere in the text.
      {"3.5 and 2) and x.y", true, false, false, false, "3\\.5 and 2\\) and x.y"},
      {"1.) x", true, false, false, false, "1\\.) x"},
      {".5 (a)", true, false, false, false, ".5 (a)"},
      {"v10.", true, false, false, false, "v10\\."},
      // escape_misc leaves '*' and '_' and other punctuation alone.
      {"*a_b! ?", true, false, false, false, "*a_b! ?"},
      {"a*b**", false, true, false, false, "a\\*b\\*\\*"},
      {"snake_case_", false, false, true, false, "snake\\_case\\_"},
      {"*_-", true, true, true, false, "\\*\\_\\-"},
      {"\\*", true, true, false, false, "\\\\\\*"},
      // escape_ascii: all ASCII punctuation, one backslash each.
      {"!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~", false, false, false, true,
       "\\!\\\"\\#\\$\\%\\&\\'\\(\\)\\*\\+\\,\\-\\.\\/\\:\\;\\<\\=\\>\\?\\@\\[\\\\\\]\\^\\_\\`\\{\\|\\}\\~"},
      {"a*b", false, true, false, true, "a\\*b"},
      {"x.y 3.5", true, true, true, true, "x\\.y 3\\.5"},
      {"plain words 123", true, true, true, true, "plain words 123"},
      // Non-ASCII text passes through.
      {"\xC3\xA9-\xE2\x82\xAC", true, false, false, false, "\xC3\xA9\\-\xE2\x82\xAC"},
  };
  for (const EscapeCase& c : cases) {
    const ConversionOptions o = escape_options(c.misc, c.asterisks, c.underscores, c.ascii);
    EXPECT_EQ(escaped(c.in, EscapeMode::Text, o), c.out) << c.in;
    EXPECT_EQ(escape_markdown(c.in, EscapeMode::Text, o).has_value(), c.out != c.in) << c.in;
    // Code is never escaped.
    EXPECT_EQ(escaped(c.in, EscapeMode::Code, o), c.in) << c.in;
  }
}

// The span whose closing run ends the output opens at the nearest run of
// that length; a backtick that a backslash escapes is text and opens none,
// while a backslash inside the span is code.
TEST(CodeSpanAtEnd, EscapedBacktickOpensNone) {
  struct Case {
    std::string_view out;
    std::optional<std::size_t> start;
    std::string_view content;
  };
  for (const Case& c : {Case{"a `x`", 2, "x"}, Case{"\\`x`", std::nullopt, ""}, Case{"\\``x`", 2, "x"},
                        Case{"`a\\`", 0, "a\\"}, Case{"``a`b``", 0, "a`b"}, Case{"a\\`", std::nullopt, ""}}) {
    const std::optional<CodeSpanAtEnd> span = code_span_at_end(c.out);
    ASSERT_EQ(span.has_value(), c.start.has_value()) << c.out;
    if (span) {
      EXPECT_EQ(span->start, *c.start) << c.out;
      EXPECT_EQ(span->content, c.content) << c.out;
    }
  }
}

// Read forward, the last backtick closes a span or is text: a backslash
// before it is the span's own code, or an escape outside any span.
TEST(EndsWithCodeSpan, ReadForward) {
  struct Case {
    std::string_view out;
    bool closes;
  };
  for (const Case& c : {Case{"`a\\`", true}, Case{"`\\`", true}, Case{"a\\`", false}, Case{"`a`\\`", false},
                        Case{"\\``a`", true}, Case{"\\\\`a`", true}, Case{"``a\\`", false},
                        Case{"`` a` \\``", true}, Case{"`x` `y\\`", true}, Case{"a", false}}) {
    EXPECT_EQ(ends_with_code_span(c.out, 4096), c.closes) << c.out;
  }
  // Read over the last `reach` bytes only.
  EXPECT_FALSE(ends_with_code_span("`abc\\`", 3));
}

// The span that text starts with closes at the first run of the opening
// one's length, on its line and within reach; a run cut by the reach may
// be longer and closes nothing.
TEST(CodeSpanAtStart, ClosesAtTheFirstRunOfItsLength) {
  struct Case {
    std::string_view text;
    std::size_t reach;
    std::optional<std::size_t> end;
    std::string_view content;
  };
  for (const Case& c : {Case{"`a` b", 64, 3, "a"}, Case{"``a`b`` c", 64, 7, "a`b"}, Case{"`` `a` ``", 64, 9, "`a`"},
                        Case{"`a\nb`", 64, std::nullopt, ""}, Case{"`abc", 64, std::nullopt, ""},
                        Case{"a`b`", 64, std::nullopt, ""}, Case{"`ab`", 3, std::nullopt, ""},
                        Case{"`a``", 3, std::nullopt, ""}, Case{"`a`", 3, 3, "a"}}) {
    const std::optional<CodeSpanAtStart> span = code_span_at_start(c.text, c.reach);
    ASSERT_EQ(span.has_value(), c.end.has_value()) << c.text;
    if (span) {
      EXPECT_EQ(span->end, *c.end) << c.text;
      EXPECT_EQ(span->content, c.content) << c.text;
    }
  }
}

// A block marker at a line's start gets the fewest backslashes that leave
// its characters as text; where the text ends before its line does, what
// could still complete a rule or an underline counts.
TEST(EscapeLineBlockMarkers, MarkersAndTheirEscapes) {
  struct Case {
    const char* in;
    bool starts_line;
    const char* out;
  };
  const Case cases[] = {
      {"- x", true, "\\- x"},
      {"-", true, "\\-"},
      {"-x", true, "-x"},
      {"-- x", true, "-- x"},
      {"-- -", true, "\\-- -"},  // a rule
      {"=== ", true, "\\=== "},
      {"= x", true, "= x"},
      {"**", true, "\\**"},      // "** *" would be a rule
      {"**\nx", true, "**\nx"},  // the line ended: no rule
      {"** x", true, "** x"},
      {"_ _ _", true, "\\_ _ _"},
      {"``` a", true, "\\`\\`\\` a"},
      {"``` a ``", true, "``` a ``"},  // a backtick later on the line: no fence
      {"~~~~", true, "\\~\\~\\~\\~"},
      {"``x", true, "``x"},
      {"###### x", true, "\\###### x"},
      {"####### x", true, "####### x"},
      {"#x", true, "#x"},
      {">x", true, "\\>x"},
      {"+ x", true, "\\+ x"},
      {"++ x", true, "++ x"},
      {"123456789) x", true, "123456789\\) x"},
      {"1234567890. x", true, "1234567890. x"},
      {"1.5", true, "1.5"},
      {"1.", true, "1\\."},
      {"   - x", true, "   \\- x"},
      {"    - x", true, "    - x"},  // indented code, not a marker
      {"\\- x", true, "\\- x"},     // escaped already
      {"- x", false, "- x"},
      {"a\n- b\n\n# c\n  > d\r\ne", false, "a\n\\- b\n\n\\# c\n  \\> d\r\ne"},
      {"- a\n1) b", true, "\\- a\n1\\) b"},
      {"", true, ""},
  };
  for (const Case& c : cases) {
    const std::optional<std::string> out = escape_line_block_markers(c.in, c.starts_line);
    EXPECT_EQ(out.value_or(c.in), c.out) << c.in;
    EXPECT_EQ(out.has_value(), std::string_view(c.out) != c.in) << c.in;
  }
  // A run of any length: one pass, one backslash before each character.
  const std::string fence(100000, '`');
  EXPECT_EQ(escape_line_block_markers(fence, true).value().size(), 2 * fence.size());
}

TEST(EscapeMarkdown, TableCell) {
  struct Case {
    std::string in;
    bool misc, ascii;
    std::string out;
  };
  for (const Case& c : {
           // '*' and '_' always; '|' when no option escapes it already.
           Case{"a*b_c|d", false, false, "a\\*b\\_c\\|d"},
           Case{"a|b#", true, false, "a\\|b\\#"},
           Case{"a|b\\", false, true, "a\\|b\\\\"},
           Case{"plain", false, false, "plain"},
       }) {
    EXPECT_EQ(escaped(c.in, EscapeMode::TableCell, escape_options(c.misc, false, false, c.ascii)), c.out) << c.in;
  }
}

TEST(EscapeMarkdown, LinkText) {
  const ConversionOptions o = escape_options(true, true, true, true);  // the options play no part
  for (const auto& [in, out] : std::initializer_list<std::pair<std::string, std::string>>{
           {"a]b", "a\\]b"},
           {"[x]", "[x]"},
           {"\\]", "\\]"},
           {"\\\\]", "\\\\\\]"},
           {"![img](u)", "![img](u)"},
           {"[a]]", "[a]\\]"},
           {"*_", "*_"},
           // An unpaired '[' would take the link's closing bracket.
           {"[", "\\["},
           {"a [b", "a \\[b"},
           {"[a] [b", "[a] \\[b"},
           {"[[a]", "\\[[a]"},
           {"] [", "\\] \\["},
           {"\\[", "\\["},
           // A final odd run of backslashes would escape the closing bracket.
           {"a\\", "a\\\\"},
           {"a\\\\", "a\\\\"},
           {"a\\\\\\", "a\\\\\\\\"},
       }) {
    EXPECT_EQ(escaped(in, EscapeMode::LinkText, o), out) << in;
  }
}

// Destinations are written so that a CommonMark reader gets back the
// address a browser makes of the attribute.
TEST(EscapeMarkdown, Url) {
  const ConversionOptions plain;
  for (const auto& [in, out] : std::initializer_list<std::pair<std::string, std::string>>{
           {"", "<>"},
           {" \t\n", "<>"},
           {"/a b", "</a b>"},
           {" /x ", "/x"},
           {"/a\nb", "/ab"},
           {"/a\tb\r", "/ab"},
           {"/a\x01" "b\x7F", "/a%01b%7F"},
           {"<x", "<\\<x>"},
           {"/a b<c>", "</a b\\<c\\>>"},
           {"/a<b>", "/a<b>"},
           {"/x_(y", "/x_\\(y"},
           {"/x_(y)", "/x_(y)"},
           {"/w(a))", "/w\\(a\\)\\)"},
           {"/a)(b", "/a\\)\\(b"},
           {"/a\\b", "/a\\b"},
           {"/a\\*b\\", "/a\\\\*b\\\\"},
           // Text: a '&' that would start a reference stays a '&'.
           {"/a&amp;b", "/a&amp;amp;b"},
           {"/a&lt;b", "/a&amp;lt;b"},
           {"/a&b=1", "/a&b=1"},
           {"https://e.com/?q=1&r=*#f", "https://e.com/?q=1&r=*#f"},
       }) {
    EXPECT_EQ(escaped(in, EscapeMode::Url, plain), out) << in;
  }
  ConversionOptions percent;
  percent.url_escape_style = UrlEscapeStyle::Percent;
  for (const auto& [in, out] : std::initializer_list<std::pair<std::string, std::string>>{
           {"", "<>"},
           {"/a b?c=1&d=2#f", "/a%20b?c=1&d=2#f"},
           {"a:b%20\xC3\xA9", "a:b%20%C3%A9"},
           {"%zz%4", "%25zz%254"},
           {"/a(b", "/a\\(b"},
           {"/\"<>\\^`{|}", "/%22%3C%3E%5C%5E%60%7B%7C%7D"},
           {"/[a]@!$'*+,;=~", "/[a]@!$'*+,;=~"},
       }) {
    EXPECT_EQ(escaped(in, EscapeMode::Url, percent), out) << in;
  }
}

TEST(EscapeMarkdown, LinkTitle) {
  const ConversionOptions o;
  for (const auto& [in, out] : std::initializer_list<std::pair<std::string, std::string>>{
           {"say \"hi\"", "say \\\"hi\\\""},
           {"C:\\dir", "C:\\dir"},
           {"a\\", "a\\\\"},
           {"a\\\"", "a\\\\\\\""},
           {"a\n\nb\r", "a&#10;&#10;b&#13;"},
           {"x &amp; y & z", "x &amp;amp; y & z"},
       }) {
    EXPECT_EQ(escaped(in, EscapeMode::LinkTitle, o), out) << in;
  }
}

TEST(EscapeMarkdown, ReferenceAmpersands) {
  for (const auto& [in, out] : std::initializer_list<std::pair<std::string, std::string>>{
           {"a&lt;b", "a&amp;lt;b"},
           {"&#38;&#x26;&amp;", "&amp;#38;&amp;#x26;&amp;amp;"},
           {"& x; &#; &#xg; &lt;", "& x; &#; &#xg; &amp;lt;"},
       }) {
    EXPECT_EQ(encode_reference_ampersands(in), out) << in;
  }
  EXPECT_EQ(encode_reference_ampersands("?a=1&b=2& x; &#;"), std::nullopt);
}

TEST(EscapeMarkdownText, LongText) {
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "1.a*";
  auto out = escape_markdown(text, EscapeMode::Text, escape_options(true, true, false, false));
  ASSERT_TRUE(out.has_value());
  std::string expected;
  for (int i = 0; i < 100000; ++i) expected += "1\\.a\\*";
  EXPECT_EQ(*out, expected);
}

}  // namespace
}  // namespace tidewell
