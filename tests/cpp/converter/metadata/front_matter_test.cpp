#include "converter/metadata/front_matter.hpp"

#include <gtest/gtest.h>

#include <string>

namespace tidewell {
namespace {

struct EntryCase {
  const char* name;
  std::string key;
  std::string value;
  std::string line;  // what append_front_matter_entry writes
};

class FrontMatterEntry : public ::testing::TestWithParam<EntryCase> {};

TEST_P(FrontMatterEntry, WritesOneLine) {
  std::string out = "x";
  append_front_matter_entry(out, GetParam().key, GetParam().value);
  EXPECT_EQ(out, "x" + GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrontMatterEntry,
    ::testing::Values(
        EntryCase{"PlainText", "title", "Python 3.6 is out", "title: Python 3.6 is out\n"},
        EntryCase{"ColonInKeyStaysBare", "meta-og:title", "O", "meta-og:title: O\n"},
        EntryCase{"InnerPunctuation", "meta-a", "a-b, c's \"d\" {e} 100%", "meta-a: a-b, c's \"d\" {e} 100%\n"},
        EntryCase{"ColonQuoted", "title", "Python Insider: Python 3.6.0", "title: \"Python Insider: Python 3.6.0\"\n"},
        EntryCase{"HashQuoted", "meta-theme-color", "#ffffff", "meta-theme-color: \"#ffffff\"\n"},
        EntryCase{"BracketsQuoted", "meta-a", "x [y]", "meta-a: \"x [y]\"\n"},
        EntryCase{"AtSign", "meta-twitter:site", "@heise", "meta-twitter:site: \"@heise\"\n"},
        EntryCase{"Percent", "meta-a", "%TITLE%", "meta-a: \"%TITLE%\"\n"},
        EntryCase{"Ampersand", "meta-a", "&x", "meta-a: \"&x\"\n"},
        EntryCase{"Dash", "meta-a", "- item", "meta-a: \"- item\"\n"},
        EntryCase{"Number", "meta-fb:app_id", "12345", "meta-fb:app_id: \"12345\"\n"},
        EntryCase{"Date", "meta-date", "2017-01-13", "meta-date: \"2017-01-13\"\n"},
        EntryCase{"Float", "meta-a", ".5", "meta-a: \".5\"\n"},
        EntryCase{"Boolean", "meta-a", "Yes", "meta-a: \"Yes\"\n"},
        EntryCase{"Null", "meta-a", "null", "meta-a: \"null\"\n"},
        EntryCase{"Tilde", "meta-a", "~", "meta-a: \"~\"\n"},
        EntryCase{"Empty", "meta-a", "", "meta-a: \"\"\n"},
        EntryCase{"LeadingSpace", "meta-a", " a", "meta-a: \" a\"\n"},
        EntryCase{"TrailingNoBreakSpace", "meta-a", "a\xC2\xA0", "meta-a: \"a\xC2\xA0\"\n"},
        EntryCase{"BackslashAndQuote", "meta-a", "a: \\ \"b\"", "meta-a: \"a: \\\\ \\\"b\\\"\"\n"},
        EntryCase{"ControlCharacters", "meta-a", "a\nb\tc\x7f", "meta-a: \"a\\x0ab\\x09c\\x7f\"\n"},
        EntryCase{"C1AndSeparators", "meta-a", "a\xC2\x85" "b\xE2\x80\xA8" "c\xEF\xBF\xBF",
                  "meta-a: \"a\\x85b\\u2028c\\uffff\"\n"},
        EntryCase{"IllFormedUtf8", "meta-a", "a\xFF" "b", "meta-a: a\xEF\xBF\xBD" "b\n"},
        EntryCase{"KeyWithColonSpace", "meta-a: b", "v", "\"meta-a: b\": v\n"},
        EntryCase{"KeyEndingInColon", "meta-a:", "v", "\"meta-a:\": v\n"},
        EntryCase{"KeyWithComment", "meta-a #b", "v", "\"meta-a #b\": v\n"},
        EntryCase{"KeyWithLineBreak", "meta-a\nb", "v", "\"meta-a\\x0ab\": v\n"},
        EntryCase{"LongKeyExplicit", "meta-" + std::string(1000, 'k'), "v",
                  "? meta-" + std::string(1000, 'k') + "\n: v\n"}),
    [](const ::testing::TestParamInfo<EntryCase>& info) { return std::string(info.param.name); });

TEST(FrontMatter, KeyOrderAndFraming) {
  std::string out;
  append_front_matter(out, {{"title", "T"}, {"meta-og:title", "O"}, {"meta-Author", "A"}, {"base", "/b/"},
                            {"canonical", "https://x.org/"}});
  EXPECT_EQ(out,
            "---\n"
            "base: /b/\n"
            "canonical: \"https://x.org/\"\n"
            "meta-Author: A\n"
            "meta-og:title: O\n"
            "title: T\n"
            "---\n");
}

TEST(FrontMatter, EmptyMapWritesNothing) {
  std::string out = "keep";
  append_front_matter(out, {});
  EXPECT_EQ(out, "keep");
}

}  // namespace
}  // namespace tidewell
