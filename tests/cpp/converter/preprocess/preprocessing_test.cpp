#include "common/scan.hpp"
#include "converter/preprocess/preprocessing.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tidewell {
namespace {

using PassFn = std::optional<std::string> (*)(std::string_view);

struct PassCase {
  const char* name;
  PassFn pass;
  std::string input;
  std::optional<std::string> expected;  // nullopt: unchanged, no copy
};

std::string Show(const std::optional<std::string>& s) { return s ? "\"" + *s + "\"" : "(unchanged)"; }

void RunCases(const std::vector<PassCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto got = c.pass(c.input);
    EXPECT_EQ(Show(got), Show(c.expected)) << "input: " << c.input;
  }
}

TEST(StripScriptAndStyle, Cases) {
  RunCases({
      {"spacing between words", strip_script_and_style, "a<script>x</script>b", "a b"},
      {"spaces kept, none added", strip_script_and_style, "a <script>x</script> b", "a  b"},
      {"at start", strip_script_and_style, "<script>x</script>b", "b"},
      {"at end", strip_script_and_style, "a<script>x</script>", "a"},
      {"style removed", strip_script_and_style, "a<style>p{}</style>b", "a b"},
      {"style end tag with space", strip_script_and_style, "a<style>p{}</style >b", "a b"},
      {"typed script removed", strip_script_and_style, "<p><script type=\"text/javascript\">x()</script></p>", "<p> </p>"},
      {"json-ld with charset stays", strip_script_and_style,
       "<script type=\"application/ld+json; charset=utf-8\">{}</script>", std::nullopt},
      {"json-ld upper case stays", strip_script_and_style, "<script type=APPLICATION/LD+JSON>{}</script>", std::nullopt},
      {"script in svg stays", strip_script_and_style, "<svg><script>x</script></svg>", std::nullopt},
      {"script after svg removed", strip_script_and_style, "<svg></svg>a<script>x</script>b", "<svg></svg>a b"},
      {"unterminated script stays", strip_script_and_style, "<script>x", std::nullopt},
      {"script start without >", strip_script_and_style, "<script x", std::nullopt},
      {"scripts/ and <scripty> are not scripts", strip_script_and_style, "<scripty>x</script><script/>", std::nullopt},
      {"case-insensitive", strip_script_and_style, "a<SCRIPT>x</Script>b", "a b"},
      {"style whose > is last byte stays", strip_script_and_style, "<style>", std::nullopt},
      {"no <", strip_script_and_style, "plain text", std::nullopt},
      {"empty", strip_script_and_style, "", std::nullopt},
      {"two adjacent scripts", strip_script_and_style, "a<script>1</script><script>2</script>b", "a  b"},
  });
}

TEST(IsJsonLdScriptTag, Cases) {
  struct C { const char* tag; bool yes; };
  const C cases[] = {
      {"<script type=\"application/ld+json\">", true},
      {"<script type='application/ld+json'>", true},
      {"<script type=application/ld+json>", true},
      {"<script type = \" application/ld+json \">", true},
      {"<script type=\"application/ld+json5\">", true},
      {"<script type=\"\xC2\xA0" "application/ld+json\">", true},
      {"<script data-type=\"application/ld+json\">", false},
      {"<script type=\"text/javascript\">", false},
      {"<script type=>", false},
      {"<script>", false},
      {"<s", false},
      {"<script typex=1 type=\"application/ld+json\">", true},
  };
  for (const auto& c : cases) EXPECT_EQ(is_json_ld_script_tag(c.tag), c.yes) << c.tag;
}

TEST(FindHelpers, TagEndsOfOverlappingTagsReadEachByteABoundedNumberOfTimes) {
  // Many start tags before one far '>', with quotes and without: every
  // '<' asks for its tag's end, which is the same '>' for all.
  for (const std::string_view unit : {std::string_view("<script "), std::string_view("<a href=\"")}) {
    std::string text;
    for (int i = 0; i < 20000; ++i) text += unit;
    text += "<x-y>";
    scan::TagEndFinder ends(text);
    for (std::size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
      const std::size_t end = ends.find(at + 1);
      if (unit[2] == 'c') {
        EXPECT_EQ(end, text.size()) << at;
      }
    }
    EXPECT_LE(ends.bytes_scanned(), 5 * text.size() + 4096) << unit;
  }
}

TEST(FindHelpers, TagAndScriptEnds) {
  EXPECT_EQ(scan::TagEndFinder("<a title='>'>x").find(1), 13u);
  EXPECT_EQ(scan::TagEndFinder("<a title=\"x>").find(1), scan::npos);
  EXPECT_EQ(scan::TagEndFinder("<a \"'\">").find(1), 7u);
  // The script's end tag may hold spaces before its ">", but must be the
  // whole name and closed.
  EXPECT_EQ(strip_script_and_style("<script>x</script >y"), std::optional<std::string>("y"));
  EXPECT_EQ(strip_script_and_style("<script>x</scripts>"), std::nullopt);
  EXPECT_EQ(strip_script_and_style("<script>x</script"), std::nullopt);
}

// The vectorised searches against a byte loop, over random texts of the bytes
// they look for, at every start (blocks of 16 and the tail alike).
TEST(FindHelpers, SearchesAgreeWithAByteLoop) {
  std::uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
  const std::string_view alphabet = "<!-->\"'dDhx ";
  for (int round = 0; round < 300; ++round) {
    std::string text(next() % 70, ' ');
    for (char& c : text) c = alphabet[next() % alphabet.size()];
    for (std::size_t from = 0; from <= text.size(); ++from) {
      for (std::string_view needle : {std::string_view("<!--"), std::string_view("-->")}) {
        EXPECT_EQ(scan::find_str(text, needle, from), text.find(needle, from)) << text << " " << from;
      }
      std::size_t dd = std::string::npos;
      for (std::size_t i = from; i + 1 < text.size() && dd == std::string::npos; ++i) {
        if ((text[i] | 0x20) == 'd' && (text[i + 1] | 0x20) == 'd') dd = i;
      }
      EXPECT_EQ(scan::find_letter_pair(text, 'd', 'd', from), dd) << text << " " << from;
      // The tag end: the first '>' outside quotes.
      std::size_t end = scan::npos;
      char quote = 0;
      for (std::size_t k = from; k < text.size() && end == scan::npos; ++k) {
        if (quote != 0) {
          if (text[k] == quote) quote = 0;
        } else if (text[k] == '>') {
          end = k + 1;
        } else if (text[k] == '"' || text[k] == '\'') {
          quote = text[k];
        }
      }
      EXPECT_EQ(scan::TagEndFinder(text).find(from), end) << text << " " << from;
    }
  }
}

TEST(RemoveHiddenElements, Cases) {
  RunCases({
      {"first end tag closes", remove_hidden_elements, "<div hidden><div>x</div>y</div>", "y</div>"},
      {"without end tag only the tag", remove_hidden_elements, "<p hidden>a", "a"},
      {"input", remove_hidden_elements, "a<input hidden>b", "ab"},
      {"self-closed", remove_hidden_elements, "a<br hidden/>b", "ab"},
      {"aria-hidden untouched", remove_hidden_elements, "<p aria-hidden=true>x</p>", std::nullopt},
      {"data-hidden untouched", remove_hidden_elements, "<p data-hidden>x</p>", std::nullopt},
      {"hidden=false counts", remove_hidden_elements, "<p hidden=\"false\">x</p>z", "z"},
      {"case-insensitive", remove_hidden_elements, "<SPAN HIDDEN>x</span>z", "z"},
      {"quoted > in tag", remove_hidden_elements, "<p title='a>b' hidden>x</p>z", "z"},
      {"end tag with space", remove_hidden_elements, "<p hidden>x</p >z", "z"},
      {"script content is text", remove_hidden_elements,
       "<script type=application/ld+json>{\"a\":\"<p hidden>\"}</script><p>x</p>", std::nullopt},
      {"style content is text", remove_hidden_elements, "<style>b{x:\"<i hidden>\"}</style><i>y</i>", std::nullopt},
      {"a hidden script goes", remove_hidden_elements, "a<script hidden>s</script>b", "ab"},
      {"after a script", remove_hidden_elements, "<script>1</script><p hidden>x</p>z", "<script>1</script>z"},
      {"no hidden", remove_hidden_elements, "<p class=x>y</p>", std::nullopt},
  });
}

TEST(NormalizeCommentEndings, Cases) {
  RunCases({
      {"three dashes", normalize_comment_endings, "<!-- x --->", "<!-- x -->"},
      {"many dashes", normalize_comment_endings, "a<!-- x ------>b<!--y--->", "a<!-- x -->b<!--y-->"},
      {"two dashes untouched", normalize_comment_endings, "<!-- x -->", std::nullopt},
      {"empty comment untouched", normalize_comment_endings, "<!---->", std::nullopt},
      {"unterminated", normalize_comment_endings, "<!-- x ->", std::nullopt},
      {"too short", normalize_comment_endings, "<!--->", std::nullopt},
  });
}

TEST(JoinSplitEndTags, Cases) {
  RunCases({
      {"line feed and spaces", join_split_end_tags, "<div>x</div\n  >", "<div>x</div>"},
      {"carriage return", join_split_end_tags, "x</my-el\r\n>\n", "x</my-el>\n"},
      {"spaces only", join_split_end_tags, "x</div  >\n", "x</div>\n"},
      {"tab, no line feed in the text", join_split_end_tags, "<li>a</li\t><li>b", "<li>a</li><li>b"},
      {"the last end tag", join_split_end_tags, "<li>a</li><li>b</li >", "<li>a</li><li>b</li>"},
      {"start tag untouched", join_split_end_tags, "<div\n>x", std::nullopt},
      {"carriage return alone", join_split_end_tags, "</div\r>", "</div>"},
      {"no white space", join_split_end_tags, "</div>\n", std::nullopt},
      {"name as written", join_split_end_tags, "</DiV\t\n>\n", "</DiV>\n"},
  });
}

TEST(CloseOpenListItems, Cases) {
  RunCases({
      {"siblings", close_open_list_items, "<ul><li>a<li>b</ul>", "<ul><li>a</li><li>b</li></ul>"},
      {"alone", close_open_list_items, "<li>x", "<li>x</li>"},
      {"in pre untouched", close_open_list_items, "<pre><li>a<li>b</pre>", std::nullopt},
      {"in comment untouched", close_open_list_items, "<!-- <li>a<li>b -->", std::nullopt},
      {"definition list", close_open_list_items, "<dl><dt>a<dd>b</dl>", "<dl><dt>a</dt><dd>b</dd></dl>"},
      {"nested list restores item", close_open_list_items, "<ul><li>a<ul><li>b</ul><li>c</ul>",
       "<ul><li>a<ul><li>b</li></ul></li><li>c</li></ul>"},
      {"closed items untouched", close_open_list_items, "<ul><li>a</li><li>b</li></ul>", std::nullopt},
      {"upper case", close_open_list_items, "<UL><LI>a<LI>b</UL>", "<UL><LI>a</li><LI>b</li></UL>"},
      {"quoted > in attribute", close_open_list_items, "<li title='<li>'>a<li>b", "<li title='<li>'>a</li><li>b</li>"},
      {"link is not li", close_open_list_items, "<link rel=x><lix>", std::nullopt},
  });
}

TEST(NormalizeMarkupForParser, Cases) {
  RunCases({
      {"empty comment", normalize_markup_for_parser, "<!---->", "<!-- -->"},
      {"self-closing br hr img", normalize_markup_for_parser, "<br/><hr/><img/>", "<br><hr><img>"},
      {"self-closing in any case", normalize_markup_for_parser, "<BR/><Hr/><iMG/>", "<br><hr><img>"},
      {"spaced untouched", normalize_markup_for_parser, "<BR /><br />", std::nullopt},
      {"doctype", normalize_markup_for_parser, "<!DOCTYPE html><p>x", "<p>x"},
      {"doctype lower", normalize_markup_for_parser, "<!doctype html>x", "x"},
      {"doctype with spaces", normalize_markup_for_parser, "<! DocType html>x", "x"},
      {"stray <", normalize_markup_for_parser, "a < b", "a &lt; b"},
      {"before digit", normalize_markup_for_parser, "x<3", "x&lt;3"},
      // What an HTML reader takes for a comment stays, for the parsers to
      // read so; in svg a CDATA section is text.
      {"cdata", normalize_markup_for_parser, "<![CDATA[x]]>", std::nullopt},
      {"cdata in svg", normalize_markup_for_parser, "<svg><![CDATA[x]]></svg>", "<svg>&lt;![CDATA[x]]></svg>"},
      {"bogus comments kept", normalize_markup_for_parser, "</3></ p></><!x><!>", std::nullopt},
      {"slash at the end", normalize_markup_for_parser, "a</", "a&lt;/"},
      {"last byte", normalize_markup_for_parser, "a<", "a&lt;"},
      {"end tag and pi kept", normalize_markup_for_parser, "<?xml?></p><!--c-->", std::nullopt},
      {"script body dropped", normalize_markup_for_parser, "<script>a<b</script>c", "<script></script>c"},
      {"unterminated script", normalize_markup_for_parser, "<script>x < y", "<script></script>x &lt; y"},
      {"nested script tags", normalize_markup_for_parser, "<script><script></script>x</script>y",
       "<script></script>y"},
      {"style upper case", normalize_markup_for_parser, "<STYLE a=1>p{}</STYLE>", "<STYLE a=1></style>"},
      {"json-ld stays, content as written", normalize_markup_for_parser,
       "<script type=\"application/ld+json\">{\"a\":\"1<2 <br/><!---->\"}</script>", std::nullopt},
      {"json-ld content ends at its end tag", normalize_markup_for_parser,
       "<script type=application/ld+json>{\"a\":\"<br/>\"}</SCRIPT ><br/>",
       "<script type=application/ld+json>{\"a\":\"<br/>\"}</SCRIPT ><br>"},
      {"unterminated json-ld", normalize_markup_for_parser, "<script type=application/ld+json>1<2", std::nullopt},
      {"svg keeps doctype and script", normalize_markup_for_parser,
       "<svg><!DOCTYPE x><script>a</script> a < b</svg>", "<svg><!DOCTYPE x><script>a</script> a &lt; b</svg>"},
      {"empty", normalize_markup_for_parser, "", std::nullopt},
  });
}

// The fast roads' one scan: "<!-->" is an empty comment too, also in the
// stretches the pass copies as they stand (svg tags, script start tags,
// JSON-LD scripts), as when the empty comments were rewritten first.
TEST(NormalizeMarkupForFastParser, Cases) {
  RunCases({
      {"empty comment", normalize_markup_for_fast_parser, "a<!-->b<!-- -->c", "a<!-- -->b<!-- -->c"},
      {"and what pass 6 rewrites", normalize_markup_for_fast_parser, "<!---->x<br/>a < b", "<!-- -->x<br>a &lt; b"},
      {"in an svg tag", normalize_markup_for_fast_parser, "<svg a='<!-->'>x</svg>", "<svg a='<!-- -->'>x</svg>"},
      {"in a script start tag", normalize_markup_for_fast_parser, "<script a='<!-->'>b</script>",
       "<script a='<!-- -->'></script>"},
      {"in a json-ld script", normalize_markup_for_fast_parser,
       "<script type=application/ld+json>{\"a\":\"<!-->\"}</script>",
       "<script type=application/ld+json>{\"a\":\"<!-- -->\"}</script>"},
      {"script body dropped", normalize_markup_for_fast_parser, "<script><!--></script>", "<script></script>"},
      {"plain comment untouched", normalize_markup_for_fast_parser, "<!--x-->", std::nullopt},
  });
  // On the DOM road "<!-->" stays for the HTML5 parser.
  EXPECT_FALSE(normalize_markup_for_parser("a<!-->b").has_value());
}

TEST(NormalizeEmptyComments, Cases) {
  RunCases({
      {"each empty form", normalize_empty_comments, "<!-->a<!--->b<!---->c", "<!-- -->a<!-- -->b<!-- -->c"},
      {"before a long terminator", normalize_empty_comments, "<!-->x--->", "<!-- -->x--->"},
      {"a comment with text", normalize_empty_comments, "<!--x--><!- ->", std::nullopt},
  });
}

TEST(RunPreprocessing, NoMarkupNoCopy) {
  EXPECT_FALSE(run_preprocessing("just some text, no markup at all").has_value());
  EXPECT_FALSE(run_preprocessing("<p>fine</p>").has_value());
}

TEST(RunPreprocessing, PassesChain) {
  auto out = run_preprocessing("<!DOCTYPE html><ul><li>a<script>x</script>b<li>c</ul><p hidden>z</p>1 < 2");
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(*out, "<ul><li>a b</li><li>c</li></ul>1 &lt; 2");
}

// Inputs that used to rescan the rest of the text for every tag; the output
// must not change, and the suite would hang if the searches were quadratic.
TEST(RunPreprocessing, ManyUnterminatedElements) {
  const int n = 100000;
  std::string scripts;
  for (int i = 0; i < n; ++i) scripts += "<script>";
  EXPECT_FALSE(strip_script_and_style(scripts).has_value());
  auto six = normalize_markup_for_parser(scripts);
  ASSERT_TRUE(six.has_value());
  EXPECT_EQ(six->size(), scripts.size() + n * std::string("</script>").size());

  std::string closed = scripts + "</script>";
  auto nested = normalize_markup_for_parser(closed);
  ASSERT_TRUE(nested.has_value());
  // Each search starts one level deeper than the one before, so only the
  // last start tag's search ends at the single end tag.
  EXPECT_EQ(nested->substr(nested->size() - 17), "<script></script>");

  std::string hidden;
  for (int i = 0; i < n; ++i) hidden += "<div hidden>";
  auto h = remove_hidden_elements(hidden);
  ASSERT_TRUE(h.has_value());
  EXPECT_TRUE(h->empty());

  std::string distinct;
  for (int i = 0; i < n / 4; ++i) distinct += "<x" + std::to_string(i) + " hidden>";
  EXPECT_EQ(remove_hidden_elements(distinct), std::optional<std::string>(""));

  std::string quotes;
  for (int i = 0; i < n; ++i) quotes += "<a \"";
  EXPECT_FALSE(remove_hidden_elements(quotes).has_value());
  // The item's tag never ends, so it runs to the end and is closed there.
  auto lists = close_open_list_items(std::string("<li \"") + quotes);
  ASSERT_TRUE(lists.has_value());
  EXPECT_EQ(*lists, "<li \"" + quotes + "</li>");

  std::string styles;
  for (int i = 0; i < n; ++i) styles += "<style>x";
  EXPECT_FALSE(strip_script_and_style(styles).has_value());
}

TEST(RunPreprocessing, DeepNestingAndHugeAttribute) {
  std::string deep;
  for (int i = 0; i < 1000000; ++i) deep += "<div>";
  EXPECT_FALSE(run_preprocessing(deep).has_value());
  std::string huge = "<p title=\"" + std::string(20'000'000, 'x') + "\">a<li>b";
  auto out = run_preprocessing(huge);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(out->substr(out->size() - 11), "a<li>b</li>");
}

}  // namespace
}  // namespace tidewell
