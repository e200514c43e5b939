#include <gtest/gtest.h>

#include <string>

#include "converter/entry/wrap.hpp"

using tidewell::wrap_emit_line;
using tidewell::wrap_markdown;
using tidewell::wrap_prefixed_paragraph;

namespace {

struct Case {
  const char* name;
  const char* in;
  unsigned width;
  const char* out;
};

}  // namespace

TEST(WrapMarkdown, Cases) {
  const Case cases[] = {
      {"empty", "", 80, ""},
      {"paragraph joined and ended by a blank line", "a\nb", 80, "a b\n\n"},
      {"split at spaces; long word alone", "aaa bbb cccccccccc dd", 8, "aaa bbb\ncccccccccc\ndd\n\n"},
      {"fitting text keeps its spaces", "a   b", 80, "a   b\n\n"},
      {"overlong text collapses spaces", "a   b", 2, "a\nb\n\n"},
      {"two blank lines", "a\n\n\nb", 80, "a\n\n\nb\n\n"},
      {"fenced code copied", "```\nlong line here\n> q\n- x\n```\n", 4,
       "```\nlong line here\n> q\n- x\n```\n"},
      {"tilde fences are code too", "~~~\nkeep   this line as it is\n~~~\n", 5,
       "~~~\nkeep   this line as it is\n~~~\n"},
      {"indented code", "    code  here\ntext", 80, "    code  here\ntext\n\n"},
      {"indented dash is a list item", "    - item", 80, "    - item\n"},
      {"indented ** joins the paragraph", "    **b**", 80, "**b**\n\n"},
      {"whitespace-only indented line is verbatim", "a\n     \nb", 80, "a\n\n     \nb\n\n"},
      {"quote lines joined", "> a\n> b", 80, "> a b\n"},
      {"deeper quote starts anew", "> a\n> > b", 80, "> a\n> > b\n"},
      {"bare quote line ends the quote", "> a\n>\n> b", 80, "> a\n>\n> b\n"},
      {"quote before a fence", "> a\n```\nx\n```", 80, "> a\n```\nx\n```\n"},
      {"quoted fence copied", "> a b\n> ```\n> long   line\n> - x\n> ```\n> c d", 3,
       "> a\n> b\n> ```\n> long   line\n> - x\n> ```\n> c\n> d\n"},
      {"quoted list items and code keep their lines", "> - a b\n>   * c\n>     code  x\n> 1. d", 80,
       "> - a b\n>   * c\n>     code  x\n> 1. d\n"},
      {"bullet filled", "- aaaa bbbb cccc dddd eeee", 12, "- aaaa bbbb\n  cccc dddd\n  eeee\n"},
      {"ordered 10. continues under four spaces", "10. aaaa bbbb cccc", 12, "10. aaaa\n    bbbb\n    cccc\n"},
      {"single link item stays whole", "- [a long link text](http://x.y/z)", 10,
       "- [a long link text](http://x.y/z)\n"},
      {"link with space in target is filled", "- [a b](x y)", 6, "- [a\n  b](x\n  y)\n"},
      {"heading ends the paragraph", "a\n# H\n| t |\n", 80, "a\n\n# H\n| t |\n"},
      {"empty bullet", "-", 80, "-\n"},
      {"width zero", "ab cd", 0, "ab\ncd\n\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(wrap_markdown(c.in, c.width), c.out) << c.name;
}

// What wrapping must leave alone in the Markdown this converter writes.
TEST(WrapMarkdown, KeepsStructureIntact) {
  const Case cases[] = {
      {"front matter passes through", "---\ntitle: T\nmeta-description: D\n---\n\ntext", 80,
       "---\ntitle: T\nmeta-description: D\n---\n\ntext\n\n"},
      {"setext heading keeps its underline", "Title\n=====\n\nBody", 80, "Title\n=====\n\nBody\n\n"},
      {"setext level two", "intro\n\nSub\n---\n", 80, "intro\n\nSub\n---\n"},
      {"hard break with two spaces", "first line  \nsecond", 80, "first line  \nsecond\n\n"},
      {"hard break with backslash", "first\\\nsecond", 80, "first\\\nsecond\n\n"},
      {"rule after a blank line is structural", "a\n\n---\n\nb", 80, "a\n\n---\n\nb\n\n"},
      {"starred rule", "a\n\n* * *\n\nb", 80, "a\n\n* * *\n\nb\n\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(wrap_markdown(c.in, c.width), c.out) << c.name;
}

// A wrapped line never begins with what Markdown reads as a block marker:
// the break moves back a word, or is not made.
TEST(WrapMarkdown, NoWrappedLineStartsABlock) {
  const Case cases[] = {
      {"ordered marker", "the payload size to 2^15 - 1. Now that the length", 22,
       "the payload size to\n2^15 - 1. Now that the\nlength\n\n"},
      {"bullet", "x ale - jak se zda", 6, "x\nale -\njak se\nzda\n\n"},
      {"bullet, no earlier word to move", "alef - jak", 4, "alef -\njak\n\n"},
      {"heading, quote and plus", "a # b > c + d", 3, "a #\nb >\nc +\nd\n\n"},
      {"quote glued to a word", "x >y", 1, "x >y\n\n"},
      {"setext underline and rule", "T === u --- v ___ w ***", 5, "T ===\nu ---\nv ___\nw ***\n\n"},
      {"fence", "a ```b c", 3, "a ```b\nc\n\n"},
      {"numbers in other forms stay breakable", "a 1.5 b 2x c", 3, "a\n1.5\nb\n2x\nc\n\n"},
      {"in a quote", "> a bbb 10) cc", 8, "> a\n> bbb 10)\n> cc\n"},
      {"in a list item", "- aaaa * bbbb", 8, "- aaaa *\n  bbbb\n"},
      {"width zero", "a - b", 0, "a -\nb\n\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(wrap_markdown(c.in, c.width), c.out) << c.name;
}

// A long run of words that may not begin a line: no break inside it, and
// the break after it falls before the first word that may begin a line.
// The run is long so that a rescan of the line per word would show.
TEST(WrapMarkdown, LongRunOfMarkerWords) {
  std::string run;
  for (int i = 0; i < 200000; ++i) run += " +";
  const std::string text = "a" + run;
  EXPECT_EQ(wrap_markdown(text, 10), text + "\n\n");
  EXPECT_EQ(wrap_markdown(text + " b c", 10), text + "\nb c\n\n");
  EXPECT_EQ(wrap_markdown("aaaa bbbb" + run + " cccc", 10), "aaaa\nbbbb" + run + "\ncccc\n\n");
}

TEST(WrapHelpers, EmitAndPrefixed) {
  EXPECT_EQ(wrap_emit_line("one two three", 7), "one two\nthree");
  EXPECT_EQ(wrap_emit_line("fits", 4), "fits");
  EXPECT_EQ(wrap_prefixed_paragraph("> ", "aa bb cc", 7), "> aa bb\n> cc");
  EXPECT_EQ(wrap_prefixed_paragraph("> ", "", 7), "> ");
  EXPECT_EQ(wrap_prefixed_paragraph(">>>> ", "a b", 3), ">>>> a\n>>>> b");
}
