#include <gtest/gtest.h>

#include <string>

#include "converter/metadata/metadata_sink.hpp"
#include "converter/metadata/structure_sink.hpp"
#include "converter/document/convert_document.hpp"
#include "converter/document/handler_table.hpp"
#include "converter/walk/walk.hpp"
#include "html_parser/parser.hpp"
#include "support/walk.hpp"

namespace tidewell {
namespace {

std::string convert(std::string_view html, const ConversionOptions& options = {}, MetadataSink* sink = nullptr,
                    StructureSink* structure = nullptr) {
  Outcome<DocumentConversion> result = convert_document(html, options, sink, structure);
  EXPECT_TRUE(result.ok()) << html;
  if (!result.ok()) return "<error: " + result.error().payload() + ">";
  return result.value().content;
}

struct Case {
  const char* html;
  const char* expected;
};

void expect_cases(std::initializer_list<Case> cases, const ConversionOptions& options = {}) {
  for (const Case& c : cases) EXPECT_EQ(convert(c.html, options), c.expected) << c.html;
}

using test::walk_with;

// ---------------------------------------------------------------------------
// Basic blocks

TEST(ConvertDocument, ParagraphsDivsAndUnknownElements) {
  expect_cases({
      {"", ""},
      {"<p>a</p><p>b</p>", "a\n\nb\n"},
      {"<div>a</div><div>b</div>", "a\n\nb\n"},
      {"text<div>a</div>more", "text\n\na\n\nmore\n"},
      {"<p></p><div></div>", ""},
      {"<DIV>a</DIV><Div>b</Div>", "a\n\nb\n"},
      {"<x-widget>a</x-widget>", "a\n"},
      {"<plaintext>a</plaintext>", "a\n"},
      {"x<foo> </foo>y", "x y\n"},
      {"x <foo> </foo>y", "x y\n"},
      {"x<foo><bar> </bar>\n</foo>y", "x y\n"},
      {"x<foo>\n\n</foo>y", "x y\n"},  // line feeds alone still separate the words
      {"<p>a<!-- note -->b</p>", "ab\n"},
      {"<td>kept</td><tr>kept</tr><wbr><source>", "kept kept\n"},
      {"<time>t</time> <data>d</data>", "t d\n"},
  });
}

// Children's output that opens a code block is left as it is, even when it
// is white space only.
TEST(ConvertDocument, UnknownElementKeepsCodeBlockOpenings) {
  const auto code = [](ConversionContext& c) { c.in_code = true; };
  EXPECT_EQ(walk_with("<foo>    </foo>", code, {}, "x"), "x    ");
  EXPECT_EQ(walk_with("<foo> \n </foo>", code, {}, "x"), "x ");
  EXPECT_EQ(walk_with("<foo>\n\n</foo>", code, {}, "x"), "x ");
}

TEST(ConvertDocument, LineBreaks) {
  expect_cases({
      {"<p>a<br>b</p>", "a  \nb\n"},
      {"<br>a", "\na\n"},
      {"<p>a<br><br>b</p>", "a  \n\nb\n"},
      {"<h2>a<br>b</h2>", "## a  b\n"},
  });
  ConversionOptions backslash;
  backslash.newline_style = NewlineStyle::Backslash;
  expect_cases({{"<p>a<br>b</p>", "a\\\nb\n"}}, backslash);
}

TEST(ConvertDocument, HorizontalRules) {
  expect_cases({
      {"<hr>", "---\n"},
      {"<p>a</p><hr>", "a\n\n---\n"},
      {"a<hr>b", "a\n\n---\nb\n"},
      {"<div>a</div><hr><p>b</p>", "a\n\n---\n\nb\n"},
  });
  // A rule written after a quotation line only starts a new line.
  EXPECT_EQ(walk_with("<hr>", [](ConversionContext&) {}, {}, "> quoted"), "> quoted\n---\n");
}

// A rule inside a paragraph right after its text must not turn that text
// into a setext heading.
TEST(ConvertDocument, RuleInsideParagraphKeepsTextAParagraph) {
  expect_cases({
      {"<p>text<hr>more</p>", "text\n\n---\nmore\n"},
      {"<p>text<br><hr>more</p>", "text  \n\n---\nmore\n"},
  });
}

TEST(ConvertDocument, ParagraphSpacing) {
  // After a code fence no separation is added.
  EXPECT_EQ(walk_with("<p>b</p>", [](ConversionContext&) {}, {}, "```\n"), "```\nb\n\n");
  // In a table cell paragraphs are joined with <br>, divs with the line
  // break, and each ends its line for what may follow it. White space
  // before them is nothing to separate from; a line feed gives way.
  const auto cell = [](ConversionContext& c) { c.in_table_cell = true; };
  EXPECT_EQ(walk_with("<p>b</p>", cell, {}, "a"), "a<br>b\n");
  EXPECT_EQ(walk_with("<div>b</div>", cell, {}, "a"), "a  \nb\n");
  EXPECT_EQ(walk_with("<p>b</p>", cell, {}, "a \n"), "a<br>b\n");
  EXPECT_EQ(walk_with("<p>b</p>", cell, {}, "a<br>\n"), "a<br>b\n");
  EXPECT_EQ(walk_with("<p>b</p>", cell, {}, "\n "), "\n b\n");
  ConversionOptions br;
  br.br_in_tables = true;
  EXPECT_EQ(walk_with("<div>b</div>", cell, br, "a"), "a<br>b\n");
  // Two paragraphs in one list item: blank line, the item's indentation;
  // a paragraph after text of the item likewise.
  const auto item = [](ConversionContext& c) {
    c.in_list_item = true;
    c.list_depth = 1;
    c.item_indent = 3;
  };
  EXPECT_EQ(walk_with("<p>a</p><p>b</p>", item, {}, "1. "), "1. a\n\n   b\n\n");
  EXPECT_EQ(walk_with("<p>b</p>", item, {}, "1. a "), "1. a\n\n   b\n\n");
  // A div in a list item after text: new line, the item's indentation.
  EXPECT_EQ(walk_with("<div>b</div>", item, {}, "1. a"), "1. a\n   b\n");
}

TEST(ConvertDocument, ParagraphSkipsWhitespaceBetweenVoidElements) {
  expect_cases({
      {"<p>a<br> <br>b</p>", "a  \n\nb\n"},
      {"<p><span>a</span> <span>b</span></p>", "a b\n"},
  });
}

// ---------------------------------------------------------------------------
// Headings

TEST(ConvertDocument, HeadingStyles) {
  ConversionOptions atx;
  ConversionOptions closed;
  closed.heading_style = HeadingStyle::AtxClosed;
  ConversionOptions underlined;
  underlined.heading_style = HeadingStyle::Underlined;
  EXPECT_EQ(convert("<p>a</p><h1>Title</h1><p>b</p>", atx), "a\n\n# Title\n\nb\n");
  EXPECT_EQ(convert("<h1>Title</h1>", closed), "# Title #\n");
  EXPECT_EQ(convert("<h1>Title</h1>", underlined), "Title\n=====\n");
  EXPECT_EQ(convert("<h3>T</h3>", underlined), "### T\n");
  // The underline counts bytes: "héllo" is 5 characters and 6 bytes.
  EXPECT_EQ(convert("<h2>h\xC3\xA9llo</h2>", underlined), "h\xC3\xA9llo\n------\n");
  expect_cases({
      {"<h2>  </h2><h2><span></span></h2>", ""},
      {"<h2>two\n   lines</h2>", "## two lines\n"},
      {"<h6>six</h6>", "###### six\n"},
      {"<span>x</span><h2>T</h2>", "x\n\n## T\n"},
      {"<foo>x<h2>T</h2></foo>", "x\n\n## T\n"},
  });
  ConversionOptions as_inline;
  as_inline.convert_as_inline = true;
  EXPECT_EQ(convert("<h1>T</h1>", as_inline), "T\n");
}

// The heading separates itself from the output before it in list items,
// quotes and table cells too.
TEST(ConvertDocument, HeadingSeparationAgainstRealOutput) {
  const auto item = [](ConversionContext& c) {
    c.in_list_item = true;
    c.list_depth = 1;
    c.item_indent = 2;
  };
  EXPECT_EQ(walk_with("<h2>T</h2>", item, {}, "- "), "- ## T\n");
  EXPECT_EQ(walk_with("<h2>T</h2>", item, {}, "- x"), "- x\n  ## T\n");
  EXPECT_EQ(walk_with("<h2>T</h2>", item, {}, "- x\n"), "- x\n  ## T\n");
  const auto quote = [](ConversionContext& c) { c.blockquote_depth = 1; };
  EXPECT_EQ(walk_with("<h2>T</h2>", quote, {}, "x"), "x\n\n## T\n");
  EXPECT_EQ(walk_with("<h2>T</h2>", quote, {}, "x\n"), "x\n\n## T\n");
  const auto cell = [](ConversionContext& c) { c.in_table_cell = true; };
  EXPECT_EQ(walk_with("<h2>T</h2>", cell, {}, "x"), "x<br>T\n");
  EXPECT_EQ(walk_with("<h2>T</h2>", cell, {}, "x\n"), "x<br>T\n");
  EXPECT_EQ(walk_with("<h2>T</h2>", cell, {}, "| "), "| T\n");
}

TEST(ConvertDocument, HeadingRecords) {
  MetadataSink sink;
  StructureSink structure;
  ConversionOptions options;
  options.include_document_structure = true;
  Outcome<DocumentConversion> result =
      convert_document("<h1 id=\"top\">A <b>x</b></h1><div><h2>B</h2></div><p>para</p><h3> </h3>", options, &sink,
                       &structure);
  ASSERT_TRUE(result.ok());
  ASSERT_EQ(sink.headers.size(), 2u);
  EXPECT_EQ(sink.headers[0].level, 1);
  EXPECT_EQ(sink.headers[0].text, "A **x**");
  EXPECT_EQ(sink.headers[0].id, std::optional<std::string>("top"));
  EXPECT_EQ(sink.headers[0].depth, 0u);
  EXPECT_EQ(sink.headers[1].depth, 1u);
  EXPECT_EQ(sink.headers[1].id, std::nullopt);
  ASSERT_TRUE(result.value().document.has_value());
  EXPECT_GE(result.value().document->nodes.size(), 3u);

  // Without a sink nothing is recorded and nothing fails.
  EXPECT_EQ(convert("<h1>A</h1>"), "# A\n");
}

// ---------------------------------------------------------------------------
// Text nodes

TEST(ConvertDocument, TextEscapingAndReferences) {
  expect_cases({
      {"a &amp; b", "a & b\n"},
      // a reference the page writes as text stays text
      {"a &amp;amp; b", "a \\&amp; b\n"},
      // text that would read as emphasis stays text
      {"*x* _y_ 3.5", "\\*x\\* \\_y\\_ 3.5\n"},
  });
  ConversionOptions misc;
  misc.escape_misc = true;
  expect_cases({{"a &amp; b", "a \\& b\n"}, {"3.5 and 2) and x.y", "3\\.5 and 2\\) and x.y\n"}}, misc);
  ConversionOptions ascii;
  ascii.escape_ascii = true;
  ascii.escape_asterisks = true;
  expect_cases({{"a*b", "a\\*b\n"}}, ascii);
}

TEST(ConvertDocument, TextWhitespaceNormalized) {
  expect_cases({
      {"<span>a</span>  x   y  <span>b</span>", "a x y b\n"},
      {"<span>a</span> \n <span>b</span>", "a b\n"},
      {"<span>a</span> \n <div>b</div>", "a\n\nb\n"},
      {"<div>a</div>   <div>b</div>", "a\n\nb\n"},
      {"<p>Hello\n</p><p>x</p>", "Hello\n\nx\n"},
      {"<div>Hello\n<b>x</b></div>", "Hello\n**x**\n"},
      {"<div>Hello\n<span>x</span></div>", "Hello x\n"},
      {"<div>Hello\nx</div>", "Hello\nx\n"},
  });
}

TEST(ConvertDocument, TextWhitespaceStrictAndStripNewlines) {
  ConversionOptions strict;
  strict.whitespace_mode = WhitespaceMode::Strict;
  expect_cases({{"<p>a   b\tc</p>", "a   b\tc\n"}}, strict);
  strict.escape_misc = true;
  expect_cases({{"<p>a  #</p>", "a  \\#\n"}}, strict);

  ConversionOptions strip;
  strip.strip_newlines = true;
  expect_cases({{"<p>a\nb</p>", "a b\n"}, {"<span>a</span>\n<span>b</span>", "a b\n"}}, strip);
}

TEST(ConvertDocument, TextInListItemIndentsBlankLines) {
  ConversionOptions strict;
  strict.whitespace_mode = WhitespaceMode::Strict;
  const auto item = [](ConversionContext& c) {
    c.in_list_item = true;
    c.list_depth = 2;
    c.item_indent = 4;
  };
  EXPECT_EQ(walk_with("a\n\nb", item, strict), "a\n\n    b");
}

TEST(ConvertDocument, TextInTableCell) {
  const auto cell = [](ConversionContext& c) { c.in_table_cell = true; };
  // '*' and '_' only where they could be read as emphasis, as in a paragraph.
  EXPECT_EQ(walk_with("a|b*c_d", cell), "a\\|b\\*c_d");
  // With the ASCII rule "|" is escaped once, never twice.
  ConversionOptions ascii;
  ascii.escape_ascii = true;
  EXPECT_EQ(walk_with("a|b", cell, ascii), "a\\|b");
  ConversionOptions misc;
  misc.escape_misc = true;
  EXPECT_EQ(walk_with("a|b", cell, misc), "a\\|b");
}

TEST(ConvertDocument, CodeTextIsRaw) {
  const auto code = [](ConversionContext& c) { c.in_code = true; };
  EXPECT_EQ(walk_with("a  *b*\n &amp; ", code), "a  *b*\n & ");
  ConversionOptions strip;
  strip.strip_newlines = true;
  EXPECT_EQ(walk_with("a\nb", code, strip), "a b");
}

// ---------------------------------------------------------------------------
// Walk policies

TEST(ConvertDocument, MaxDepth) {
  ConversionOptions zero;
  zero.max_depth = 0;
  EXPECT_EQ(convert("<p>a</p>", zero), "");
  EXPECT_EQ(convert("<html><head><title>T</title></head><body><p>a</p></body></html>", zero),
            "---\ntitle: T\n---\n");
  ConversionOptions one;
  one.max_depth = 1;
  EXPECT_EQ(convert("top<div>child</div>", one), "top\n");
  ConversionOptions two;
  two.max_depth = 2;
  EXPECT_EQ(convert("<div>a<div>b</div></div>", two), "a\n");
}

TEST(ConvertDocument, StripPreserveAndExclude) {
  ConversionOptions strip;
  strip.strip_tags = {"div"};
  EXPECT_EQ(convert("a<div>b</div>c", strip), "abc\n");
  strip.strip_tags = {"DIV"};
  EXPECT_EQ(convert("a<div>b</div>c", strip), "a\n\nb\n\nc\n");

  ConversionOptions preserve;
  preserve.preserve_tags = {"div"};
  EXPECT_EQ(convert("<div class=\"k\">a <b>x</b></div>", preserve), "<div class=\"k\">a <b>x</b></div>\n");
  EXPECT_EQ(convert("<div>a<div>b", preserve), "<div>a<div>b</div></div>\n");

  ConversionOptions both = preserve;
  both.strip_tags = {"div"};
  EXPECT_EQ(convert("<div>a</div>", both), "a\n");

  ConversionOptions exclude;
  exclude.exclude_selectors = {"[[[", ".ad"};
  EXPECT_EQ(convert("text <span class=\"ad\">x</span>", exclude), "text\n");
  EXPECT_EQ(convert("<p>a</p><div class=\"ad\">x</div><p>b</p>", exclude), "a\n\nb\n");
}

TEST(ConvertDocument, BoilerplateIsDropped) {
  expect_cases({{"a <nav>menu</nav>", "a\n"}, {"<p>x</p><form>f</form>", "x\n"}});
}

TEST(ConvertDocument, FrontMatter) {
  const char* page = "<html><head><title>T</title></head><body><p>x</p></body></html>";
  EXPECT_EQ(convert(page), "---\ntitle: T\n---\n\nx\n");
  ConversionOptions off;
  off.extract_metadata = false;
  EXPECT_EQ(convert(page, off), "x\n");

  ConversionOptions as_inline;
  as_inline.convert_as_inline = true;
  MetadataSink sink;
  EXPECT_EQ(convert(page, as_inline, &sink), "x\n");
  EXPECT_EQ(sink.head_entries.at("title"), "T");

  ConversionOptions plain;
  plain.output_format = OutputFormat::PlainText;
  EXPECT_EQ(convert(page, plain), "x\n");
}

TEST(ConvertDocument, DocumentLanguageAndDirection) {
  MetadataSink sink;
  EXPECT_EQ(convert("<html lang=\"en\" dir=\"rtl\"><body lang=\"de\"><p>x</p></body></html>", {}, &sink), "x\n");
  EXPECT_EQ(sink.language, std::optional<std::string>("en"));
  EXPECT_EQ(sink.direction, std::optional<std::string>("rtl"));

  MetadataSink no_document;
  no_document.collect_document = false;
  EXPECT_EQ(convert("<html lang=\"en\"><p>x</p></html>", {}, &no_document), "x\n");
  EXPECT_EQ(no_document.language, std::nullopt);
}

TEST(ConvertDocument, PlainTextOutput) {
  ConversionOptions plain;
  plain.output_format = OutputFormat::PlainText;
  EXPECT_EQ(convert("<h1>T</h1><p>a  b</p>\n\n\n<p>c</p>", plain), "T\n\na b\n\nc\n");
}

// ---------------------------------------------------------------------------
// Deep nesting

std::string nested(std::string_view open, std::string_view close, std::size_t depth, std::string_view inner) {
  std::string html;
  html.reserve(depth * (open.size() + close.size()) + inner.size());
  for (std::size_t i = 0; i < depth; ++i) html += open;
  html += inner;
  for (std::size_t i = 0; i < depth; ++i) html += close;
  return html;
}

TEST(ConvertDocument, MillionLevelsKeepTheirText) {
  const struct {
    const char* open;
    const char* close;
  } kinds[] = {{"<div>", "</div>"}, {"<span>", "</span>"}, {"<p>", "</p>"}, {"<foo>", "</foo>"}};
  for (const auto& kind : kinds) {
    const std::string html = nested(kind.open, kind.close, 1'000'000, "deep &amp; text");
    EXPECT_EQ(convert(html), "deep & text\n") << kind.open;
  }
}

TEST(ConvertDocument, TextOnEveryLevelPastTheLimitIsKept) {
  std::string html;
  const std::size_t depth = kWalkRecursionLimit + 50;
  for (std::size_t i = 0; i < depth; ++i) html += "<div>" + std::to_string(i) + " ";
  for (std::size_t i = 0; i < depth; ++i) html += "</div>";
  const std::string out = convert(html);
  for (std::size_t i = 0; i < depth; i += 37) {
    EXPECT_NE(out.find(std::to_string(i)), std::string::npos) << i;
  }
  EXPECT_NE(out.find(std::to_string(depth - 1)), std::string::npos);

  // Past the limit blocks are still separated and max_depth still holds.
  ConversionOptions limited;
  limited.max_depth = kWalkRecursionLimit + 3;
  const std::string cut = convert(
      nested("<div>", "</div>", kWalkRecursionLimit + 1, "<p>a</p><p>b</p><div>c<div>d</div></div>"), limited);
  EXPECT_EQ(cut, "a\n\nb\n\nc\n");
}

TEST(ConvertDocument, OrdinaryDepthKeepsExactOutput) {
  const std::string html = nested("<div>", "</div>", kWalkRecursionLimit - 10, "<h2>T</h2><p>a<br>b</p>");
  EXPECT_EQ(convert(html), "## T\n\na  \nb\n");
}

// ---------------------------------------------------------------------------
// Document-level steps

TEST(ConvertDocument, HyphenatedTagScan) {
  const struct {
    const char* text;
    bool hit;
  } cases[] = {
      {"<p>a<!-- note -->b</p>", true}, {"<my-card>x</my-card>", true}, {"<div data-x=1>", false},
      {"</ my-card>", true},            {"<", false},                     {"<my-card", false},
      {"a < b - c", false},             {"<a>x</a><b-c/>", true},         {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(has_hyphenated_tag_name(c.text), c.hit) << c.text;
}

TEST(ConvertDocument, StructuralCheck) {
  const struct {
    const char* html;
    bool hit;
  } cases[] = {
      {"<p><td>x</td></p>", true},
      {"<table><tr><td>x</td></tr></table>", false},
      {"<p><table><tr><td>x</td></tr></table></p>", false},
      {"<span><div>x</div></span>", true},
      {"<a href=u><div>x</div></a>", false},
      {"<pre><span><div>x</div></span></pre>", false},
      {"<span><code><div>x</div></code></span>", false},
      {"<b><i><p>x</p></i></b>", true},
      {"<div><p>x</p></div>", false},
      // Rows and cells the fast parsers nested inside the one before them.
      {"<table><tr><td>a<td>b</table>", true},
      {"<table><tr><td>a</td><tr><td>b</td></table>", true},
      {"<table><tbody><tr><th>a<tr><td>b</tbody></table>", true},
      {"<table><tr><td><div><td>x</td></div></td></tr></table>", true},
      {"<table><thead><tr><th>a</th></tr></thead><tfoot><tr><td>b</td></tr></tfoot></table>", false},
      {"<table><td>x</td><tbody><td>y</td></tbody></table>", false},
      {"<table><tr><td><table><tr><td>x</td></tr></table></td></tr></table>", false},
      {"<div>a<td>x</td><tr><td>y</td></tr></div>", false},
  };
  for (const auto& c : cases) {
    ParseResult parsed = parse_document(ParserBackend::Copperfern, c.html);
    ASSERT_TRUE(parsed.ok());
    const DomContext ctx = build_dom_context(parsed.dom().top_level, parsed.dom(), std::string_view(c.html).size());
    EXPECT_EQ(needs_structural_repair(parsed.dom(), ctx), c.hit) << c.html;
  }
}

TEST(ConvertDocument, MarkdownNormalization) {
  const Case cases[] = {
      {"", ""},
      {"\n\n\n", ""},
      {"a   \nb", "a  \nb\n"},
      {"a\n   \nb", "a\n  \nb\n"},
      {"a\t\nb", "a\nb\n"},
      {"a\n\n\n\nb\n\n\n", "a\n\nb\n"},
      {"```\na\n\n\n\nb\n```", "```\na\n\nb\n```\n"},
      {"a \t  ", "a  \n"},
      // Lines of code ended by the mark stay as they are, without it.
      {"```\na\n\xFF\n\xFF\n\xFF\nb \t\xFF\n```\n\n\n\nc  ", "```\na\n\n\n\nb \t\n```\n\nc  \n"},
      {"x\xFF\n\n\n\ny", "x\n\ny\n"},
      {"> \xFF\n>  a", "> \n>  a\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(normalize_markdown_output(c.html), c.expected) << c.html;
}

TEST(ConvertDocument, PlainNormalization) {
  const Case cases[] = {
      {"", ""},
      {"\na", "\na\n"},
      {"a  \r\n\n\n\nb\xC2\xA0\n", "a\n\nb\n"},
      {"a\n\n", "a\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(normalize_plain_output(c.html), c.expected) << c.html;
}

TEST(ConvertDocument, BothBackends) {
  ConversionOptions asm_tl;
  asm_tl.parser_backend = ParserBackend::AsmTl;
  expect_cases({{"<h1>T</h1><p>a<br>b</p><hr>", "# T\n\na  \nb\n\n---\n"}}, asm_tl);
}

// Trees the fast parser cannot be trusted with are repaired and converted.
TEST(ConvertDocument, RepairedTrees) {
  expect_cases({
      {"<span><div>x</div></span>", "x\n"},
      {"<p><td>x</td></p>", "x\n"},
      {"<my-card>a</my-card> <p>b</p>", "a\n\nb\n"},
  });
  const std::string deep = nested("<span><div>", "</div></span>", 100'000, "deep");
  EXPECT_EQ(convert(deep), "deep\n");
}

TEST(HandlerTable, EveryFamilyHasADispatchEntry) {
  const HandlerTable& table = dom_handler_table();
  for (std::size_t f = 0; f < kHandlerFamilyCount; ++f) EXPECT_NE(table.by_family[f], nullptr) << f;
  EXPECT_NE(table.preserved, nullptr);
}

}  // namespace
}  // namespace tidewell
