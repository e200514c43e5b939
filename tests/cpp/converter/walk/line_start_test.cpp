// Text that starts a line is kept from being read as a block marker; the
// markup the converter writes itself keeps its meaning.
#include <gtest/gtest.h>

#include <string>

#include "support/walk.hpp"

namespace tidewell {
namespace {

std::string walk_after(std::string_view html, std::string output) {
  return test::walk_with(html, [](ConversionContext&) {}, {}, std::move(output));
}

// What a list item, a quotation or a heading has written before the text.
TEST(LineStart, TextAfterTheConvertersOwnMarkup) {
  struct Case {
    const char* before;
    const char* out;
  };
  for (const Case& c : {
           Case{"- ", "- \\- x"},
           Case{"1. ", "1. \\- x"},
           Case{"  * ", "  * \\- x"},
           Case{"> ", "> \\- x"},
           Case{"a\n    ", "a\n    \\- x"},
           Case{"- [ ] ", "- [ ] - x"},  // a task item's text is not read for markers
           Case{"# ", "# - x"},
           Case{"a ", "a - x"},
       }) {
    EXPECT_EQ(walk_after("- x", c.before), c.out) << c.before;
  }
  // A fence line and a quotation line written before keep their meaning.
  EXPECT_EQ(walk_after("<p>x</p>", "```\n"), "```\nx\n\n");
  EXPECT_EQ(walk_after("<hr>", "> q\n"), "> q\n---\n");
}

// A buffer's content is read for markers by where it will stand.
TEST(LineStart, BufferPlaces) {
  const test::WalkFixture fixture("<b>- x</b>");
  const ConversionContext context = make_root_context(fixture.options, nullptr, nullptr, nullptr);
  const NodeHandle text = fixture.dom().tag(fixture.dom().top_level[0])->children[0];
  const auto convert = [&](std::string output, BufferPlace place) {
    std::string buffer;
    fixture.walk(output).into(buffer, place).node(text, context, 1);
    return buffer;
  };
  EXPECT_EQ(convert("", BufferPlace::Elsewhere), "- x");
  EXPECT_EQ(convert("", BufferPlace::LineStart), "\\- x");
  EXPECT_EQ(convert("", BufferPlace::Here), "\\- x");
  EXPECT_EQ(convert("a ", BufferPlace::Here), "- x");
  EXPECT_EQ(convert("a\n", BufferPlace::Here), "\\- x");
}

}  // namespace
}  // namespace tidewell
