#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "html_parser/asm_tl/tokenizer.hpp"
#include "html_parser/asm_tl/tree_builder.hpp"
#include "html_parser/parser.hpp"
#include "support/corpus.hpp"

namespace tidewell {
namespace {

// The tree as one line: text "t", comment C"...", element name[attrs](children),
// siblings separated by ",". Walked with an explicit stack.
std::string render(const TlDom& dom) {
  std::string out;
  struct Frame {
    const NodeHandle* next;
    const NodeHandle* end;
  };
  std::vector<Frame> stack{{dom.top_level.data(), dom.top_level.data() + dom.top_level.size()}};
  bool first = true;
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next == f.end) {
      stack.pop_back();
      if (!stack.empty()) out += ')';
      first = false;
      continue;
    }
    const TlNode& node = dom.nodes[*f.next++];
    if (!first) out += ',';
    first = false;
    if (const auto* raw = node.as_raw()) {
      out.append("\"").append(dom.bytes(raw->text)).append("\"");
    } else if (const auto* comment = node.as_comment()) {
      out.append("C\"").append(dom.bytes(comment->text)).append("\"");
    } else {
      const TlNode::Tag& tag = *node.as_tag();
      out.append(dom.bytes(tag.name));
      auto it = attributes_iter(dom, tag);
      std::string attrs;
      while (auto pair = it.next()) {
        if (!attrs.empty()) attrs += ' ';
        attrs.append(pair->name.view());
        if (pair->value) attrs.append("=").append(pair->value->view());
      }
      if (!attrs.empty()) out.append("[").append(attrs).append("]");
      if (!tag.children.empty()) {
        out += '(';
        first = true;
        stack.push_back({tag.children.begin(), tag.children.end()});
      }
    }
  }
  return out;
}

std::string parse_and_render(ParserBackend backend, std::string_view html) {
  ParseResult r = parse_document(backend, html);
  if (!r) return "error " + std::to_string(static_cast<int>(r.error()));
  EXPECT_TRUE(r.dom().open_stack.empty() || backend == ParserBackend::Copperfern);
  return render(r.dom());
}

std::string asm_tree(std::string_view html) { return parse_and_render(ParserBackend::AsmTl, html); }

struct Case {
  const char* html;
  const char* tree;
};

TEST(AsmTlParser, Trees) {
  const Case cases[] = {
      {"", ""},
      {"<p>a<wbr>b</p>", "p(\"a\",wbr,\"b\")"},
      {"<keygen>x<command>y", "keygen,\"x\",command,\"y\""},
      {"x <= y", "\"x \""},
      {"text<", "\"text\",\"<\""},
      {"<div class='a", "div[class=a]"},
      {"<a / href=x>", "a,\"href=x>\""},
      {"<!---->", "C\"<!---->\""},
      {"<p><!-- a", "p(C\"<!-- a\")"},
      {"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0//EN\">x", "\"x\""},
      {"<div id=main class=\"c d\" title data-x='1'>t</div>", "div[title data-x=1 id=main class=c d](\"t\")"},
      {"<div id class>t</div>", "div(\"t\")"},
      {"<a ID=x Class=y>", "a[ID=x Class=y]"},
      {"<b><i>x</b></i>y", "b(i(\"x\"),\"y\")"},
      {"<ul><li>a<li>b</ul>", "ul(li(\"a\",li(\"b\")))"},
      {"<p>a &amp; b</p>", "p(\"a &amp; b\")"},
  };
  for (const Case& c : cases) EXPECT_EQ(asm_tree(c.html), c.tree) << c.html;
}

TEST(AsmTlParser, DeclarationsAreComments) {
  const Case cases[] = {
      {"<![CDATA[x]]>", "C\"<![CDATA[x]]>\""},
      {"<p>ok</p><!ELEMENT a>", "p(\"ok\"),C\"<!ELEMENT a>\""},
      {"<!>", "C\"<!>\""},
      {"x<!-", "\"x\",C\"<!-\""},
      {"<!", "C\"<!\""},
  };
  for (const Case& c : cases) EXPECT_EQ(asm_tree(c.html), c.tree) << c.html;
}

TEST(AsmTlParser, InputOf4GiBIsRefusedBeforeReading) {
  const char byte = 'x';
  TlDom dom(std::string_view(&byte, std::size_t{1} << 32));
  const auto error = asm_tl::parse_nodes(dom);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(*error, ParseError::InputTooLarge);
  EXPECT_TRUE(dom.nodes.empty());
}

TEST(AsmTlParser, AttributeMapHoldsFourInline) {
  // Up to four attributes besides id and class: duplicates kept, first wins.
  ParseResult small = asm_tl::parse_document("<a id=i a=1 b c a=2 class=k>");
  ASSERT_TRUE(small);
  const TlNode::Tag& a = *small.dom().tag(0);
  EXPECT_EQ(attribute_value(small.dom(), a, "a"), "1");
  EXPECT_EQ(render(small.dom()), "a[a=1 b c a=2 id=i class=k]");
  // Five: the map moves and the later value wins.
  ParseResult big = asm_tl::parse_document("<a a=1 b c d a=2>");
  ASSERT_TRUE(big);
  EXPECT_EQ(attribute_value(big.dom(), *big.dom().tag(0), "a"), "2");
  EXPECT_EQ(big.dom().attribute_inline_capacity, asm_tl::kAttributeInlineCapacity);
}

TEST(AsmTlParser, RetriesWithLargerArrays) {
  std::string siblings;
  for (int i = 0; i < 200; ++i) siblings += "<i></i>";
  ParseResult r = asm_tl::parse_document(siblings);
  ASSERT_TRUE(r);
  EXPECT_EQ(r.dom().top_level.size(), 200u);

  // More attributes than the first attribute array, deeper than its stack.
  std::string attrs = "<p";
  for (int i = 0; i < 300; ++i) attrs += " a" + std::to_string(i) + "=v";
  attrs += ">";
  for (int i = 0; i < 100; ++i) attrs += "<b>";
  attrs += "x";
  ParseResult r2 = asm_tl::parse_document(attrs);
  ASSERT_TRUE(r2);
  const TlDom& dom = r2.dom();
  EXPECT_EQ(dom.nodes.size(), 102u);
  EXPECT_EQ(attribute_value(dom, *dom.tag(0), "a299"), "v");
  EXPECT_EQ(dom.top_level.size(), 1u);
  EXPECT_EQ(dom.tag(100)->children.size(), 1u);

  // A child list beyond the inline capacity.
  std::string wide = "<ul>";
  for (int i = 0; i < 50; ++i) wide += "<li>" + std::to_string(i) + "</li>";
  ParseResult r3 = asm_tl::parse_document(wide);
  ASSERT_TRUE(r3);
  const TlNode::Tag& ul = *r3.dom().tag(0);
  ASSERT_EQ(ul.children.size(), 50u);
  for (std::size_t i = 0; i < 50; ++i) EXPECT_EQ(ul.children[i], 1 + 2 * i);
}

TEST(AsmTlParser, MillionNestedElements) {
  const std::size_t depth = 1000000;
  std::string html;
  html.reserve(depth * 5 + 1);
  for (std::size_t i = 0; i < depth; ++i) html += "<div>";
  html += "x";
  ParseResult r = asm_tl::parse_document(html);
  ASSERT_TRUE(r);
  const TlDom& dom = r.dom();
  ASSERT_EQ(dom.nodes.size(), depth + 1);
  EXPECT_EQ(dom.top_level.size(), 1u);
  EXPECT_EQ(dom.tag(depth - 1)->children[0], depth);
  EXPECT_EQ(inner_text(*dom.tag(0), dom), "x");
}

TEST(AsmTlParser, BuilderRejectsMalformedTokens) {
  const std::string input = "<p>x";
  using asm_tl::AsmToken;
  const AsmToken element{asm_tl::kTokenElement, 1, asm_tl::kNoParent, 0, 0, 0, 3, 1, 1};
  struct Bad {
    const char* what;
    AsmToken second;
  };
  const Bad cases[] = {
      {"kind", {7, 0, 0, 0, 0, 3, 1, 0, 0}},
      {"parent beyond", {asm_tl::kTokenText, 0, 5, 0, 0, 3, 1, 0, 0}},
      {"own parent", {asm_tl::kTokenText, 0, 1, 0, 0, 3, 1, 0, 0}},
      {"span outside", {asm_tl::kTokenText, 0, 0, 0, 0, 3, 9, 0, 0}},
      {"attributes outside", {asm_tl::kTokenElement, 0, 0, 0, 1, 3, 1, 3, 1}},
  };
  for (const Bad& c : cases) {
    TlDom dom(input);
    const AsmToken tokens[] = {element, c.second};
    EXPECT_EQ(asm_tl::build_dom_from_tokens(dom, tokens, 2, nullptr, 0), ParseError::UnsupportedDeclaration)
        << c.what;
  }
  // A parent that is a text node.
  TlDom dom(input);
  const AsmToken tokens[] = {{asm_tl::kTokenText, 1, asm_tl::kNoParent, 0, 0, 0, 1, 0, 0},
                             {asm_tl::kTokenText, 0, 0, 0, 0, 1, 1, 0, 0}};
  EXPECT_EQ(asm_tl::build_dom_from_tokens(dom, tokens, 2, nullptr, 0), ParseError::UnsupportedDeclaration);
}

// The differences between the two backends, row by row.
struct Difference {
  const char* row;
  const char* html;
  const char* asm_tl;
  const char* copperfern;
};

TEST(BackendDifferences, RowByRow) {
  const Difference rows[] = {
      {"void names", "<command>x", "command,\"x\"", "command(\"x\")"},
      {"void names", "<keygen>x", "keygen,\"x\"", "keygen,\"x\""},
      {"'<' as the last byte", "a<", "\"a\",\"<\"", "\"a\""},
      {"'<' before a byte that cannot start a name", "a <= b", "\"a \"", "\"a \",\"= b\""},
      {"'<' before a byte that cannot start a name", "a < = b<p>", "\"a \"", "\"a \",\"= b\",p"},
      {"white space between '<' and '/'", "<p>x< /p>y", "p(\"x\",/p(\"y\"))", "p(\"x\"),\"y\""},
      {"white space between '<' and '!'", "a< !--c-->b", "\"a\"", "\"a\",C\"< !--c-->\",\"b\""},
      {"end of input inside a start tag", "a<div class='x", "\"a\",div[class=x]", "\"a\""},
      {"'/' not followed by '>'", "<a / href=x>", "a,\"href=x>\"", "\" href=x>\""},
      {"comment end", "<!---->x", "C\"<!---->\",\"x\"", "C\"\""},
      {"comment end", "<!-->x", "C\"<!-->x\"", "C\"<!-->\",\"x\""},
      {"unterminated comment", "<p><!-- a", "p(C\"<!-- a\")", "p(C\"\")"},
      {"DOCTYPE", "<!DOCTYPE html PUBLIC \"x\">y", "\"y\"", "\"UBLIC \"x\">y\""},
      {"DOCTYPE", "<!DOCTYPE html>y", "\"y\"", "\"y\""},
      {"unterminated declaration", "a<!-", "\"a\",C\"<!-\"", "\"a\",C\"\""},
  };
  for (const Difference& d : rows) {
    EXPECT_EQ(parse_and_render(ParserBackend::AsmTl, d.html), d.asm_tl) << d.row << ": " << d.html;
    EXPECT_EQ(parse_and_render(ParserBackend::Copperfern, d.html), d.copperfern) << d.row << ": " << d.html;
  }
}

// Script and style content is text up to the end tag, in both backends.
TEST(BackendsAgree, RawTextElements) {
  const struct {
    const char* html;
    const char* tree;
  } cases[] = {
      {"<script>if (a<b) x=\"<p>\";</script><p>y</p>", "script(\"if (a<b) x=\"<p>\";\"),p(\"y\")"},
      {"<script type=\"application/ld+json\">{\"b\":\"<body><p>x</p></div>\"}</script><p>Real</p>",
       "script[type=application/ld+json](\"{\"b\":\"<body><p>x</p></div>\"}\"),p(\"Real\")"},
      {"<style>a > b { content: '<i>' }</style>x", "style(\"a > b { content: '<i>' }\"),\"x\""},
      {"<SCRIPT>s</Script >t", "SCRIPT(\"s\"),\"t\""},
      {"<script>a</scripts>b</script/>c", "script(\"a</scripts>b\"),\"c\""},
      {"<div><script>x</div></script>y</div>z", "div(script(\"x</div>\"),\"y\"),\"z\""},
      {"<script></script>x", "script,\"x\""},
      {"<script />x<b>y</b>", "script,\"x\",b(\"y\")"},
      // Never closed: the rest of the input is its text.
      {"<script>a <p>b</script", "script(\"a <p>b</script\")"},
      {"<style>a", "style(\"a\")"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parse_and_render(ParserBackend::AsmTl, c.html), c.tree) << c.html;
    EXPECT_EQ(parse_and_render(ParserBackend::Copperfern, c.html), c.tree) << c.html;
  }
}

// Where neither difference applies, both backends build the same tree.
TEST(BackendDifferences, SameTreeOtherwise) {
  for (const char* html : {"<p>a<br>b</p>", "<DIV>x</div>y", "<a href=x/y title='t'>z</a>", "a < b > c",
                           "<div id=a class=b c=d>t</div>", "<!-- a -- b -->x", "<ul><li>1</li><li>2</li></ul>",
                           "<br/>x", "<br />x", "<p\ta=1>x"}) {
    EXPECT_EQ(parse_and_render(ParserBackend::AsmTl, html), parse_and_render(ParserBackend::Copperfern, html))
        << html;
  }
}

}  // namespace
}  // namespace tidewell

namespace tidewell {
namespace {

// Every node is reached exactly once from top_level and the children lists,
// always from an earlier element, and every span lies inside the input.
void expect_sound_tree(const TlDom& dom, const std::string& what) {
  std::vector<int> seen(dom.nodes.size(), 0);
  const auto inside = [&](ByteSpan s) { return s.start <= dom.input.size() && s.len <= dom.input.size() - s.start; };
  for (NodeHandle h : dom.top_level) ++seen.at(h);
  for (NodeHandle h = 0; h < dom.nodes.size(); ++h) {
    const TlNode& node = dom.nodes[h];
    if (const auto* raw = node.as_raw()) {
      EXPECT_TRUE(inside(raw->text) && raw->text.len > 0) << what;
    } else if (const auto* comment = node.as_comment()) {
      EXPECT_TRUE(inside(comment->text)) << what;
    } else {
      const TlNode::Tag& tag = *node.as_tag();
      EXPECT_TRUE(inside(tag.name) && tag.name.len > 0) << what;
      for (const AttributeEntry& e : dom.entries(tag.attributes)) {
        EXPECT_TRUE(inside(e.name) && (!e.value || inside(*e.value))) << what;
      }
      for (NodeHandle c : tag.children) {
        ASSERT_LT(h, c) << what;
        ++seen.at(c);
      }
    }
  }
  for (std::size_t i = 0; i < seen.size(); ++i) ASSERT_EQ(seen[i], 1) << what << " node " << i;
}

TEST(AsmTlParser, RandomInputGivesSoundTrees) {
  std::mt19937 rng(99);
  const std::string alphabet = "<<<>>//!-='\" \nabpi";
  for (int round = 0; round < 5000; ++round) {
    std::string html(rng() % 120, ' ');
    for (char& c : html) c = alphabet[rng() % alphabet.size()];
    // A view of the bytes alone, so that reading past the end is caught.
    const std::unique_ptr<char[]> exact(new char[html.size() + 1]);
    std::memcpy(exact.get(), html.data(), html.size());
    ParseResult r = asm_tl::parse_document(std::string_view(exact.get(), html.size()));
    ASSERT_TRUE(r.ok()) << html;
    expect_sound_tree(r.dom(), html);
  }
}

TEST(AsmTlParser, Html5libCasesGiveSoundTrees) {
  const std::vector<test::Html5libCase> cases = test::html5lib_cases();
  if (cases.empty()) TIDEWELL_SKIP_WITHOUT_CORPUS("html5lib tree-construction files");
  for (const test::Html5libCase& c : cases) {
    ParseResult r = asm_tl::parse_document(c.data);
    if (r) expect_sound_tree(r.dom(), c.data);
  }
  EXPECT_GT(cases.size(), 1000u);
}

}  // namespace
}  // namespace tidewell
