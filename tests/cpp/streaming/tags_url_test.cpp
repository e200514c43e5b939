// The tag table, the URL tests and the small parsers of the streaming
// converter.
#include <gtest/gtest.h>

#include "streaming/processor.hpp"
#include "streaming/tags.hpp"
#include "streaming/url.hpp"

namespace tidewell::streaming {
namespace {

TEST(TagTable, LookupIsExactAndLowerCase) {
  EXPECT_EQ(lookup_tag_id("div"), kDiv);
  EXPECT_EQ(static_cast<int>(kDiv), 36);
  EXPECT_EQ(lookup_tag_id("noembed"), kNoembed);
  EXPECT_EQ(lookup_tag_id("h6"), kH6);
  EXPECT_FALSE(lookup_tag_id("DIV"));
  EXPECT_FALSE(lookup_tag_id("blockquotes"));
  EXPECT_FALSE(lookup_tag_id(""));
  EXPECT_FALSE(lookup_tag_id("x-div"));
  for (int id = 0; id < kTagCount; ++id) EXPECT_EQ(lookup_tag_id(tag_name(static_cast<TagId>(id))), id);
}

TEST(TagTable, InlineClassLeavesOutCodeSpanImgBr) {
  EXPECT_TRUE(quillmoor_is_inline_tag(kStrong));
  EXPECT_TRUE(quillmoor_is_inline_tag(kFigcaption));
  for (TagId id : {kCode, kSpan, kImg, kBr, kDiv}) EXPECT_FALSE(quillmoor_is_inline_tag(id)) << tag_name(id);
}

TEST(TagTable, Records) {
  EXPECT_TRUE(stream_tag_info(kBr).is_void);
  EXPECT_TRUE(stream_tag_info(kTextarea).is_raw_text);
  EXPECT_FALSE(stream_tag_info(kP).explicit_spacing);
  EXPECT_EQ(stream_tag_info(kLi).newlines_before, 1);
  EXPECT_EQ(stream_tag_info(kA).attribute_mask, kAttrHref | kAttrTitle | kAttrAriaLabel);
  EXPECT_FALSE(stream_tag_info(kCaption).explicit_spacing);
  EXPECT_TRUE(unknown_tag_info().is_inline);
  EXPECT_EQ(attribute_bit("HREF"), kAttrHref);
  EXPECT_EQ(attribute_bit("data-x"), 0);
}

TEST(Url, DataUrls) {
  for (const char* url : {"data:image/png;base64,AA", "DATA:x", " data:x", "da\tta:x"}) EXPECT_TRUE(is_data_url(url)) << url;
  for (const char* url : {"dat:x", "xdata:", "", "   "}) EXPECT_FALSE(is_data_url(url)) << url;
}

TEST(Url, Resolution) {
  EXPECT_EQ(resolved_url("//x"), "https://x");
  for (const char* url : {"#top", "/a/b", "page.html", "HTTP://x", " //x", "/"}) EXPECT_EQ(resolved_url(url), url);
}

TEST(Url, AllowList) {
  for (const char* url : {"mailto:a@b", "tel:1", "ftp://x", "HTTPS://x", "/rel", "?q", "foo bar:x", "page", "#f"}) {
    EXPECT_TRUE(is_allowed_url(url)) << url;
  }
  for (const char* url : {"a:b/c", "java\tscript:x", "javascript:alert(1)", "", " ", "data:x", "httpx:y"}) {
    EXPECT_FALSE(is_allowed_url(url)) << url;
  }
}

TEST(Url, AutomaticLinkCandidates) {
  EXPECT_TRUE(is_autolink_candidate("http://x"));
  EXPECT_TRUE(is_autolink_candidate("mailto:a@b"));
  EXPECT_FALSE(is_autolink_candidate("Https://x"));
  EXPECT_FALSE(is_autolink_candidate("http://a b"));
  EXPECT_FALSE(is_autolink_candidate("http://a<b"));
  EXPECT_FALSE(is_autolink_candidate("/rel"));
}

TEST(Numbers, ParseAsciiUint) {
  EXPECT_EQ(parse_ascii_uint(" +42\n", 255), 42u);
  EXPECT_EQ(parse_ascii_uint("0", 10), 0u);
  EXPECT_EQ(parse_ascii_uint("999999999", 999999999), 999999999u);
  for (const char* text : {"", "+", "-1", "1.5", "x", "256", "1 2", "++1"}) EXPECT_FALSE(parse_ascii_uint(text, 255)) << text;
  // 5000000000 is 705032704 modulo 2^32: compared in 64 bits it is too large.
  EXPECT_FALSE(parse_ascii_uint("5000000000", 999999999));
  EXPECT_FALSE(parse_ascii_uint("99999999999999999999999", 999999999));
}

TEST(Numbers, OrderedListStart) {
  auto start = [](const char* value, std::uint64_t index) {
    AttributeList attrs;
    if (value) attrs.push_back(ParsedAttribute{"start", value});
    return ordered_list_start(attrs, index);
  };
  EXPECT_EQ(start(nullptr, 0), 1u);
  EXPECT_EQ(start("5", 2), 7u);
  EXPECT_EQ(start("x", 0), 1u);
  EXPECT_EQ(start("999999999", 5), 999999999u);
}

TEST(Escapers, LinkDestination) {
  auto dest = [](std::string_view url, std::string_view title) {
    std::string out;
    write_link_destination(out, url, title);
    return out;
  };
  EXPECT_EQ(dest("a/b", ""), "(a/b)");
  EXPECT_EQ(dest("a b", ""), "(<a b>)");
  EXPECT_EQ(dest("a(b)<c>\\", ""), "(<a(b)\\<c\\>\\\\>)");
  EXPECT_EQ(dest("u", "say \"hi\" \\"), "(u \"say \\\"hi\\\" \\\\\")");
}

TEST(Escapers, HtmlAttributeAndBlockText) {
  std::string out;
  escape_html_attribute(out, "/a?x=1&y=[2]\"'<>");
  EXPECT_EQ(out, "/a?x=1&amp;y=&#91;2&#93;&quot;'&lt;&gt;");
  EXPECT_EQ(escape_html_block_text(true, true, "a\n<[|]>&"), "a&#10;&lt;&#91;&#124;&#93;&gt;&amp;");
  EXPECT_EQ(escape_html_block_text(false, false, "[|]"), std::nullopt);
  EXPECT_EQ(escape_cell_code_text("\n\ra|b\r\nc&<>\n"), "a&#124;b<br>c&amp;&lt;&gt;");
}

TEST(CodeLanguage, FromClass) {
  auto lang = [](const char* value) {
    ParsedAttribute a{"class", value};
    return code_language_from_class(&a);
  };
  EXPECT_EQ(lang("language-sql"), "sql");
  EXPECT_EQ(lang("x language- language-a`b language-c++ language-d"), "c++");
  EXPECT_EQ(lang("lang-x"), std::nullopt);
  EXPECT_EQ(code_language_from_class(nullptr), std::nullopt);
}

}  // namespace
}  // namespace tidewell::streaming
