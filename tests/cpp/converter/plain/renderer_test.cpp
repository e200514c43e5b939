#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "converter/plain/renderer.hpp"
#include "html_parser/parser.hpp"

namespace tidewell {
namespace {

// The line normalisation the document converter applies to the renderer's
// output: lines right-trimmed of Unicode white space, runs of empty lines
// shortened to one, one final line feed.
std::string normalise_lines(std::string_view text) {
  auto is_space_at_end = [](std::string_view s) -> std::size_t {
    if (s.empty()) return 0;
    const unsigned char c = static_cast<unsigned char>(s.back());
    if (c == ' ' || (c >= 0x09 && c <= 0x0D)) return 1;
    if (s.size() >= 2 && s.substr(s.size() - 2) == "\xC2\xA0") return 2;
    return 0;
  };
  std::string out;
  bool previous_empty = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) nl = text.size();
    std::string_view line = text.substr(pos, nl - pos);
    while (std::size_t n = is_space_at_end(line)) line.remove_suffix(n);
    if (!line.empty()) {
      out.append(line).push_back('\n');
      previous_empty = false;
    } else if (!previous_empty) {
      out.push_back('\n');
      previous_empty = true;
    }
    pos = nl + 1;
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  if (!out.empty()) out.push_back('\n');
  return out;
}

std::string render_raw(const std::string& html, const ConversionOptions& options = {},
                       const std::unordered_set<NodeHandle>* excluded = nullptr) {
  auto parsed = copperfern_tl::parse_document(html);
  EXPECT_TRUE(parsed.ok()) << html;
  const TlDom& dom = parsed.dom();
  std::string out;
  PlainListState state;
  const PlainTextScope scope{options, excluded};
  render_plain_text_nodes(dom.top_level, dom, out, false, state, scope);
  return out;
}

std::string render(const std::string& html, const ConversionOptions& options = {}) {
  return normalise_lines(render_raw(html, options));
}

struct Case {
  const char* html;
  const char* text;  // after line normalisation
};

void check(std::span<const Case> cases, const ConversionOptions& options = {}) {
  for (const Case& c : cases) EXPECT_EQ(render(c.html, options), c.text) << c.html;
}

TEST(PlainText, Blocks) {
  const Case cases[] = {
      {"<p>a</p><p>b</p>", "a\n\nb\n"},
      {"<div>a</div>b<section>c</section>", "a\n\nb\n\nc\n"},
      {"<h1>T</h1><blockquote>q</blockquote><figure>f<figcaption>c</figcaption></figure>", "T\n\nq\n\nf\n\nc\n"},
      {"<main>a</main><article>b</article><details><summary>s</summary>d</details>", "a\n\nb\n\ns\n\nd\n"},
      {"<address>a</address><hgroup>b</hgroup><search>c</search><h6>d</h6>", "a\n\nb\n\nc\n\nd\n"},
      {"a<hr>b", "a\n\nb\n"},
      {"a<br>b", "a\nb\n"},
      {"<span>a</span> <b>b</b><custom-el>c</custom-el>", "a bc\n"},
      {"<P>a</P><DIV>b</DIV>", "a\n\nb\n"},
      {"<h7>a</h7><h0>b</h0>", "ab\n"},
      {"", ""},
      {"<p></p>", ""},
  };
  check(cases);
}

TEST(PlainText, Lists) {
  const Case cases[] = {
      {"<ul><li>a</li><li>b</li></ul>", "- a\n- b\n"},
      {"<ol start='3'><li>a</li><li>b</li></ol>", "3. a\n4. b\n"},
      {"<ol><li>a</li><li>b</li></ol>", "1. a\n2. b\n"},
      {"<ol start='-1'><li>a</li></ol>", "1. a\n"},
      {"<ol start='x'><li>a</li></ol>", "1. a\n"},
      {"<ol start=''><li>a</li></ol>", "1. a\n"},
      {"<ol start><li>a</li></ol>", "1. a\n"},
      {"<ol start='+7'><li>a</li></ol>", "7. a\n"},
      {"<ol start='4294967296'><li>a</li></ol>", "1. a\n"},
      {"<ol start='0'><li>a</li></ol>", "0. a\n"},
      {"<ol start='4294967295'><li>a</li><li>b</li></ol>", "4294967295. a\n0. b\n"},
      {"<li>a</li><li>b</li>", "- a\n- b\n"},
      {"<ul><li>a<ol><li>x</li><li>y</li></ol></li><li>b</li></ul>", "- a\n1. x\n2. y\n- b\n"},
      {"<ol><li>a<ul><li>x</li></ul></li><li>b</li></ol>", "1. a\n- x\n2. b\n"},
      {"<ol><li>a</li><div><li>b</li></div><li>c</li></ol>", "1. a\n\n2. b\n\n3. c\n"},
      {"<p>t</p><ul><li>a</li></ul><p>u</p>", "t\n\n- a\n\nu\n"},
      // An item's text starts on its marker's line, also from indented
      // source, a block or a nested list; an empty item is a marker alone.
      {"<ul>\n  <li>\n    one\n  </li>\n  <li>\n    two\n  </li>\n</ul>", "- one\n- two\n"},
      {"<ol><li><p>a</p><p>b</p></li><li><div><i></i></div> c</li></ol>", "1. a\n\nb\n\n2. c\n"},
      {"<ul><li><ul><li>a</li><li>b</li></ul></li><li></li><li> <table><tr><td>x</td></tr></table></li></ul>",
       "- - a\n- b\n-\n- x\n"},
  };
  check(cases);
}

TEST(PlainText, ListStateIsShared) {
  // The caller's list state advances with the items rendered under it.
  auto parsed = copperfern_tl::parse_document("<li>a</li><li>b</li>");
  ASSERT_TRUE(parsed.ok());
  const TlDom& dom = parsed.dom();
  const ConversionOptions options;
  std::string out;
  PlainListState state{PlainListKind::Ordered, 9};
  render_plain_text_nodes(dom.top_level, dom, out, false, state, PlainTextScope{options});
  EXPECT_EQ(out, "9. a\n10. b\n");
  EXPECT_EQ(state.number, 11u);
}

TEST(PlainText, Tables) {
  const Case cases[] = {
      {"<table><tr><th>A</th><th>B</th></tr><tr><td> 1 </td><td>2</td></tr></table>", "A\tB\n1\t2\n"},
      {"x<table><thead><tr><th>A</th></tr></thead><tbody><tr><td>1</td></tr><tr><td>2</td></tr></tbody>"
       "</table>y",
       "x\n\nA\n1\n2\n\ny\n"},
      {"<table></table>", ""},
      // Nothing in a table is lost: captions first, other content in place,
      // each on a line of its own; inside a row set off by a tab.
      {"<table>loose text</table>", "loose text\n"},
      {"<table><caption>c</caption><tr><td>1</td></tr></table>", "c\n1\n"},
      {"<table><tr><td>1</td></tr><caption> late <b>c</b> </caption></table>", "late c\n1\n"},
      {"<table><tr><td>1</td><td>2</td></tr> between <div><p>a</p><p>b</p></div><tr><td>3</td></tr></table>",
       "1\t2\nbetween\na\n\nb\n3\n"},
      {"<table><tr>x<td>1</td><input><td>2</td></tr></table>", "x\t1\t2\n"},
      // A row without cells is an empty line inside the table.
      {"<table><tr><td>a</td></tr><tr></tr><tr><td>b</td></tr></table>", "a\n\nb\n"},
      // Rows of a table inside a cell stay with that table.
      {"<table><tr><td>a<table><tr><td>i</td><td>j</td></tr></table></td><td>b</td></tr></table>",
       "a\n\ni\tj\tb\n"},
      // Cells are trimmed, including block spacing inside them.
      {"<table><tr><td><p>a</p></td><td>\n <div>b</div> </td><td>\xC2\xA0</td><td>c</td></tr></table>",
       "a\tb\t\tc\n"},
      {"<table><tr><td><ul><li>x</li></ul></td></tr></table>", "- x\n"},
      {"<table><tr><td><pre>  code  </pre></td></tr></table>", "code\n"},
      {"<TABLE><TR><TD>a</TD><Th>b</Th><span>yes</span></TR></TABLE>", "a\tb\tyes\n"},
      {"<table><tr><td>a<br>b</td></tr></table>", "a\nb\n"},
  };
  check(cases);
}

TEST(PlainText, TableCellTrimsLikeASeparateString) {
  // White space at a cell's start, whatever produced it, is not part of the cell.
  const Case cases[] = {
      {"<table><tr><td>x</td><td><br> <br>y</td></tr></table>", "x\ty\n"},
      {"<table><tr><td>x</td><td><table><tr><td></td><td>b</td></tr></table></td></tr></table>", "x\tb\n"},
      {"<table><tr><td>x</td><td><ol start='5'><li>a</li></ol></td></tr></table>", "x\t5. a\n"},
      {"<table><tr><td>x</td><td><pre>\n\n  p\n q  \n</pre></td></tr></table>", "x\tp\n q\n"},
      {"<table><tr><td>x</td><td><img alt=' pic '></td></tr></table>", "x\tpic\n"},
  };
  check(cases);
  // The separators themselves stay when the cells are empty.
  EXPECT_EQ(render_raw("<table><tr><td> </td><td></td></tr><tr></tr></table>"), "\t\n\n");
}

TEST(PlainText, TableAlone) {
  EXPECT_EQ(render_raw("<table><tr><td> a </td><td>b</td></tr><tr><td>c</td></tr></table>"), "a\tb\nc\n\n");
}

TEST(PlainText, RowsAreFoundBelowTheTableButNotInNestedTables) {
  // The nested table stays inside its cell; the row in a div and the upper-case TR count.
  EXPECT_EQ(render_raw("<table><tr><td>1<table><tr><td>in</td></tr></table></td></tr>text<tbody><!--c-->"
                       "<tr><td>2</td></tr><div><TR><td>3</td></TR></div></tbody><tr><td>4</td></tr></table>"),
            "1\n\nin\ntext\n2\n3\n4\n\n");
}

// A table whose markup leaves out the rows keeps its cells' text: each run
// of cells without a tr is a row.
TEST(PlainText, CellsWithoutRows) {
  EXPECT_EQ(render("<table><td>cell</table>"), "cell\n");
  EXPECT_EQ(render("<table><tbody><td>a</td> <!--c--> <td>b</td></tbody><tr><td>c</td></tr></table>"),
            "a\tb\nc\n");
  EXPECT_EQ(render("<table><thead><th>h</th></thead><div><td>x</td><p></p><td>y</td></div></table>"),
            "h\nx\ny\n");
}

TEST(PlainText, Images) {
  ConversionOptions skip;
  skip.skip_images = true;
  EXPECT_EQ(render("<img alt='x'>"), "x\n");
  EXPECT_EQ(render("<img alt='x'>", skip), "");
  EXPECT_EQ(render("<img alt='a &amp; b&#39;s'>"), "a & b's\n");
  EXPECT_EQ(render("<img alt='a   b'>"), "a   b\n");
  EXPECT_EQ(render("<img>"), "");
  EXPECT_EQ(render("<img alt>"), "");
  EXPECT_EQ(render("<img alt='\xFF'>"), "\xEF\xBF\xBD\n");
  // An alt text stands as words of its own, apart from the words around it.
  EXPECT_EQ(render("a<img alt='b'>c"), "a b c\n");
  EXPECT_EQ(render("Photo.<img alt='A'><img alt='B'>, c"), "Photo. A B, c\n");
  EXPECT_EQ(render("(<img alt='b'>) <img alt=' '>x"), "(b)  x\n");
  // Void names ignore ASCII case: the text after an upper-case IMG is not
  // taken into the image.
  EXPECT_EQ(render("a<IMG alt='b'>c"), "a b c\n");
}

TEST(PlainText, SkippedElements) {
  const Case cases[] = {
      {"<head><title>T</title></head><p>x</p>", "x\n"},
      {"a<script>var s;</script><style>p{}</style>b", "ab\n"},
      {"a<template>t</template><noscript>n</noscript>b", "ab\n"},
      {"a<svg><text>s</text></svg><math><mi>m</mi></math>b", "ab\n"},
      {"a<SCRIPT>s</SCRIPT>b", "ab\n"},
      {"<form>f</form><nav>n</nav><p>x</p>", "x\n"},
      {"<header class='site-header'>h</header><header>kept</header>", "kept\n"},
      {"a<!-- c -->b", "ab\n"},
  };
  check(cases);
  ConversionOptions minimal;
  minimal.preprocessing.preset = PreprocessingPreset::Minimal;
  const Case kept[] = {
      {"<form>f</form><nav>n</nav>", "f\n\nn\n"},
      {"a<noscript>n</noscript>b", "ab\n"},  // always skipped by name
  };
  check(kept, minimal);
}

TEST(PlainText, ExcludedNodes) {
  const std::string html = "<p>a</p><p>b <span>c</span></p><ul><li>d</li></ul>";
  auto parsed = copperfern_tl::parse_document(html);
  ASSERT_TRUE(parsed.ok());
  const TlDom& dom = parsed.dom();
  std::unordered_set<NodeHandle> excluded;
  for (NodeHandle h = 0; h < dom.size(); ++h) {
    const TlNode::Tag* tag = dom.tag(h);
    if (tag != nullptr && (dom.bytes(tag->name) == "span" || dom.bytes(tag->name) == "ul")) excluded.insert(h);
  }
  const ConversionOptions options;
  EXPECT_EQ(normalise_lines(render_raw(html, options, &excluded)), "a\n\nb\n");
  const std::unordered_set<NodeHandle> none;
  EXPECT_EQ(normalise_lines(render_raw(html, options, &none)), "a\n\nb c\n\n- d\n");
}

TEST(PlainText, TextAndWhitespace) {
  const Case cases[] = {
      {"<pre>a   b\n\n\n  c</pre>", "a   b\n\n  c\n"},
      {"<pre><b>x  y</b></pre>", "x  y\n"},
      {"<pre>x<ul><li>a   b</li></ul></pre>", "x\n- a b\n"},
      {"a  \t b", "a b\n"},
      {"a\xC2\xA0\xC2\xA0 b", "a b\n"},
      {"a\n   b", "a\nb\n"},
      {"a &amp; b &lt;c&gt; &#x41;&nbsp;", "a & b <c> A\n"},
      {"<pre>&lt;tag&gt;  x</pre>", "<tag>  x\n"},
      {"a &unknown; b", "a &unknown; b\n"},
      {"\xFF\xFEx", "\xEF\xBF\xBD\xEF\xBF\xBDx\n"},
  };
  check(cases);
  // A lone space after a line feed gives nothing, nor at the start of a
  // block's text; elsewhere it stays.
  EXPECT_EQ(render_raw("a<br> <b>b</b>"), "a\nb");
  EXPECT_EQ(render_raw("a <b>b</b>"), "a b");
  EXPECT_EQ(render_raw(" "), "");
  EXPECT_EQ(render_raw("<p>\n a</p> <b>b</b>"), "a\n\nb");
  // Line feeds of the source stay outside pre, without the spaces that
  // indent the next line.
  EXPECT_EQ(render_raw("<p>a\n  b</p>"), "a\nb\n\n");
  EXPECT_EQ(render_raw("<p>a<br>\t b \n\n c</p>"), "a\nb \n\nc\n\n");
}

TEST(PlainText, ParseAttributeU32) {
  struct Num {
    const char* in;
    std::optional<std::uint32_t> out;
  };
  const Num cases[] = {
      {"0", 0u},          {"7", 7u},           {"+7", 7u},          {"007", 7u},
      {"4294967295", 4294967295u}, {"4294967296", std::nullopt}, {"99999999999999999999", std::nullopt},
      {"", std::nullopt}, {"+", std::nullopt}, {"-", std::nullopt}, {"-1", std::nullopt},
      {" 1", std::nullopt}, {"1 ", std::nullopt}, {"1x", std::nullopt}, {"++1", std::nullopt},
      {"\xEF\xBC\x91", std::nullopt},  // a full-width digit
  };
  for (const Num& c : cases) EXPECT_EQ(parse_attribute_u32(c.in), c.out) << c.in;
}

TEST(PlainText, InvalidHandlesAndNonElements) {
  auto parsed = copperfern_tl::parse_document("<p>a</p>");
  ASSERT_TRUE(parsed.ok());
  const TlDom& dom = parsed.dom();
  const ConversionOptions options;
  std::string out;
  PlainListState state;
  const NodeHandle bad[] = {static_cast<NodeHandle>(dom.size()), 0xFFFFFFFFu};
  render_plain_text_nodes(bad, dom, out, false, state, PlainTextScope{options});
  EXPECT_EQ(out, "");
}

TEST(PlainText, MaxDepthIsIgnored) {
  ConversionOptions options;
  options.max_depth = 1;
  EXPECT_EQ(render("<div><div><div>deep</div></div></div>", options), "deep\n");
}

// Nesting depth must not reach the call stack.
TEST(PlainText, DeepNesting) {
  constexpr std::size_t kDepth = 1'000'000;
  struct Deep {
    const char* open;
    const char* close;
    const char* text;
  };
  const Deep shapes[] = {
      {"<div>", "</div>", "x\n"},
      {"<span>", "</span>", "x\n"},
      {"<ul><li>", "</li></ul>", "- x\n"},
      {"<table><tr><td>", "</td></tr></table>", "x\n"},
      {"<pre>", "</pre>", "x\n"},
  };
  for (const Deep& d : shapes) {
    std::string html;
    const std::string_view open = d.open;
    const std::string_view close = d.close;
    html.reserve((open.size() + close.size()) * kDepth + 1);
    for (std::size_t i = 0; i < kDepth; ++i) html.append(open);
    html.push_back('x');
    for (std::size_t i = 0; i < kDepth; ++i) html.append(close);
    const std::string text = render(html);
    if (std::string_view(d.open) == "<ul><li>") {
      // Every level's marker on the line of the innermost item's text.
      EXPECT_EQ(text.size(), kDepth * 2 + 2) << d.open;
      EXPECT_EQ(text.substr(0, 4), "- - ") << d.open;
      EXPECT_EQ(text.substr(text.size() - 4), "- x\n") << d.open;
    } else {
      EXPECT_EQ(text, d.text) << d.open;
    }
  }
}

TEST(PlainText, WideDocuments) {
  constexpr std::size_t kItems = 200'000;
  std::string html = "<ol>";
  for (std::size_t i = 0; i < kItems; ++i) html.append("<li>i</li>");
  html.append("</ol><table><tr>");
  for (std::size_t i = 0; i < kItems; ++i) html.append("<td> c </td>");
  html.append("</tr></table>");
  const std::string text = render(html);
  EXPECT_NE(text.find("200000. i\n"), std::string::npos);
  const std::size_t tabs = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\t'));
  EXPECT_EQ(tabs, kItems - 1);
}

}  // namespace
}  // namespace tidewell
