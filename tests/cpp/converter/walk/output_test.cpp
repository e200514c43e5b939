#include "converter/walk/output.hpp"

#include <gtest/gtest.h>

#include <string>

namespace tidewell {
namespace {

// Each named state against outputs that just have it and just miss it.
TEST(OutputEnd, NamedStates) {
  struct Case {
    const char* text;
    bool blank_line, line_start, single_break, space, list_marker, item_start, fence, cell_boundary, hard_break,
        quotation;
  };
  for (const Case& c : {
           Case{"", false, true, false, false, false, false, false, false, false, false},
           Case{"a", false, false, false, false, false, false, false, false, false, false},
           Case{"a\n", false, true, true, false, false, false, false, false, false, false},
           Case{"a\n\n", true, true, false, false, false, false, false, false, false, false},
           Case{"\n", false, true, true, false, false, false, false, false, false, false},
           Case{"a ", false, false, false, true, false, false, false, false, false, false},
           Case{"- ", false, false, false, true, true, true, false, false, false, false},
           Case{"1. ", false, false, false, true, true, true, false, false, false, false},
           Case{"- [x] ", false, false, false, true, false, true, false, false, false, false},
           Case{"```\n", false, true, true, false, false, false, true, false, false, false},
           Case{"| a |", false, false, false, false, false, false, false, true, false, false},
           Case{"a<br>", false, false, false, false, false, false, false, true, false, false},
           Case{"a  \n", false, true, true, false, false, false, false, false, true, false},
           Case{"a\\\n", false, true, true, false, false, false, false, false, true, false},
           Case{"> q\n", false, true, true, false, false, false, false, false, false, true},
           Case{"> q\n \n\n", true, true, false, false, false, false, false, false, false, true},
           Case{"> q\nb\n", false, true, true, false, false, false, false, false, false, false},
       }) {
    const OutputEnd end = end_of(c.text);
    EXPECT_EQ(end.is_blank_line(), c.blank_line) << c.text;
    EXPECT_EQ(end.is_line_start(), c.line_start) << c.text;
    EXPECT_EQ(end.is_single_line_break(), c.single_break) << c.text;
    EXPECT_EQ(end.is_space(), c.space) << c.text;
    EXPECT_EQ(end.is_list_marker(), c.list_marker) << c.text;
    EXPECT_EQ(end.is_item_start(), c.item_start) << c.text;
    EXPECT_EQ(end.is_fence_line(), c.fence) << c.text;
    EXPECT_EQ(end.is_cell_boundary(), c.cell_boundary) << c.text;
    EXPECT_EQ(end.is_hard_break(), c.hard_break) << c.text;
    EXPECT_EQ(end.is_in_quotation(), c.quotation) << c.text;
  }
  EXPECT_TRUE(end_of("(").is_open_paren());

  // A marker alone on its line, after its indentation; not text ending in one.
  for (const char* bare : {"- ", "* ", "+ ", "1. ", "-  ", "12.\t", "a\n  - ", "a\n\t\t3. ", "- * ", "1. 1. "}) {
    EXPECT_TRUE(end_of(bare).is_bare_list_marker()) << bare;
  }
  for (const char* other :
       {"", "-", " ", ". ", "a - ", "Step 1. ", "x1. ", "- a", "- [ ] ", "a\n", "a - * ", "-- ", "- -"}) {
    EXPECT_FALSE(end_of(other).is_bare_list_marker()) << other;
  }
  EXPECT_TRUE(end_of("wow!").is_image_bang());
  EXPECT_TRUE(end_of("\\\\!").is_image_bang());
  EXPECT_FALSE(end_of("\\!").is_image_bang());
  EXPECT_FALSE(end_of("!x").is_image_bang());
  EXPECT_FALSE(end_of("").is_image_bang());
  EXPECT_TRUE(end_of("").is_white_space());
  EXPECT_TRUE(end_of("a\t").is_white_space());
  EXPECT_FALSE(end_of("a").is_white_space());
}

TEST(OutputEnd, BlockLine) {
  for (const char* yes : {"# T\n", "x\n\n## T\n", "######\n", "---\n", "a\n* * *\n", "___\n", "Title\n=====\n",
                          "-\n", "```\n", "~~~ py\n", "| a | b |\n", "> # T\n", "  ---  \n"}) {
    EXPECT_TRUE(end_of(yes).is_block_line()) << yes;
  }
  for (const char* no : {"", "\n", "a\n", "#T\n", "####### T\n", "# T", "**\n", "-- x\n", "==a\n", "a  \n",
                         "- item\n", "> quoted\n"}) {
    EXPECT_FALSE(end_of(no).is_block_line()) << no;
  }
}

TEST(OutputEnd, LineContentStart) {
  for (const char* yes : {"", "a\n", "a  \n", "- ", "* ", "+ ", "1. ", "123456789) ", "> ", "> > ", ">", "a\n    ",
                          "a\n  - ", "> - ", "- > ", "\t- "}) {
    EXPECT_TRUE(end_of(yes).is_line_content_start()) << yes;
  }
  for (const char* no : {"a", "a ", "-", "a\n-", "- [ ] ", "# ", "| ", "1.5 ", "1234567890. ", "\\- ", "a - ",
                         "**"}) {
    EXPECT_FALSE(end_of(no).is_line_content_start()) << no;
  }
  // The first line counts only when the text begins a line.
  EXPECT_FALSE(end_of("").is_line_content_start(false));
  EXPECT_FALSE(end_of("- ").is_line_content_start(false));
  EXPECT_TRUE(end_of("x\n- ").is_line_content_start(false));
  // A prefix too long to look through counts as none.
  EXPECT_FALSE(end_of("\n" + std::string(OutputEnd::kMaxLinePrefix + 1, ' ')).is_line_content_start());
}

TEST(OutputEnd, Separators) {
  struct Case {
    const char* before;
    const char* blank_line;      // ensure_blank_line
    const char* separated;       // separate_block
    const char* before_block;    // blank_line_before
    const char* line_break;      // ensure_line_break
  };
  for (const Case& c : {
           Case{"", "", "", "", ""},
           Case{"a", "a\n\n", "a\n\n", "a\n\n", "a\n"},
           Case{"a  ", "a  \n\n", "a\n\n", "a  \n\n", "a  \n"},
           Case{"a\n", "a\n\n", "a\n\n\n", "a\n\n\n", "a\n"},
           Case{"a\n\n", "a\n\n", "a\n\n", "a\n\n", "a\n\n"},
       }) {
    std::string out = c.before;
    ensure_blank_line(out);
    EXPECT_EQ(out, c.blank_line) << c.before;
    out = c.before;
    separate_block(out);
    EXPECT_EQ(out, c.separated) << c.before;
    out = c.before;
    blank_line_before(out);
    EXPECT_EQ(out, c.before_block) << c.before;
    out = c.before;
    ensure_line_break(out);
    EXPECT_EQ(out, c.line_break) << c.before;
  }
}

}  // namespace
}  // namespace tidewell
