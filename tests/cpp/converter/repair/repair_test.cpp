#include "converter/repair/repair.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/utf8.hpp"
#include "support/corpus.hpp"

namespace tidewell {
namespace {

constexpr const char* kEmptyDoc = "<html><head></head><body></body></html>";

std::string Wrap(const std::string& body) { return "<html><head></head><body>" + body + "</body></html>"; }

struct Case {
  const char* name;
  std::string input;
  std::string expected;
};

template <std::size_t N>
void expect_repairs(const Case (&cases)[N]) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto got = repair_html(c.input);
    EXPECT_EQ(got, c.expected);
  }
}

TEST(RewriteSelfClosingTags, Cases) {
  struct C { const char* in; std::optional<std::string> out; };
  const C cases[] = {
      {"<div/>", "<div></div>"},
      {"<my-widget a='/>' b/>", "<my-widget a='/>' b></my-widget>"},
      {"<DIV class='x'/>", "<DIV class='x'></DIV>"},
      {"<DIV class=x />", "<DIV class=x ></DIV>"},
      // A '/' that ends an unquoted value belongs to the value.
      {"<DIV class=x/>", std::nullopt},
      {"<a href=/a/>x</a>", std::nullopt},
      {"<a href=/>x</a>", std::nullopt},
      // A quote opens a value only after "=".
      {"<p a\"b/>x", "<p a\"b></p>x"},
      {"<p a=it's/><i/>", "<p a=it's/><i></i>"},
      {"<p a='x'b/>", "<p a='x'b></p>"},
      {"<p a = 'x' =b/>", "<p a = 'x' =b></p>"},
      {"<p/>", "<p></p>"},
      {"<br/><IMG src=x/><source src=x />", std::nullopt},
      {"<a href=\"x/>\">t</a>", std::nullopt},
      {"</div/>", std::nullopt},
      {"< span/>", "<span></span>"},
      {"<div/", std::nullopt},
      {"<div title='x/>", std::nullopt},
      // Comments and declarations are passed over: their "/>" is text.
      {"<p>x<!-- a/> --></p>", std::nullopt},
      {"<!DOCTYPE html/><?php x/>?><![CDATA[<b/>]]><i/>", "<!DOCTYPE html/><?php x/>?><![CDATA[<b/>]]><i></i>"},
      {"<!-- open <b/>", std::nullopt},
      // Raw-text and escapable raw-text content is text, up to its end tag.
      {"<script>a<b/></script><i/>", "<script>a<b/></script><i></i>"},
      {"<textarea>A <b/> C</TEXTAREA ><title>t<br/><i/></title><style>s<b/></style><i/>",
       "<textarea>A <b/> C</TEXTAREA ><title>t<br/><i/></title><style>s<b/></style><i></i>"},
      {"<noscript><b/></noscript><xmp><b/></xmp><iframe><b/></iframe><i/>",
       "<noscript><b/></noscript><xmp><b/></xmp><iframe><b/></iframe><i></i>"},
      {"<textarea>a</textareas><b/></textarea><i/>", "<textarea>a</textareas><b/></textarea><i></i>"},
      {"<script><!--<script></script><b/>--></script><i/>", "<script><!--<script></script><b/>--></script><i></i>"},
      {"<script><!--</script><i/>", "<script><!--</script><i></i>"},
      {"<script><!--><script></script><i/>", "<script><!--><script></script><i></i>"},
      {"<script/><i/>", "<script></script><i></i>"},
      {"<plaintext><b/></plaintext><i/>", std::nullopt},
      {"<style><b/>", std::nullopt},
  };
  for (const auto& c : cases) {
    auto got = rewrite_self_closing_tags(c.in);
    EXPECT_EQ(got, c.out) << c.in;
  }
}

TEST(RepairHtml, DocumentShapes) {
  const Case cases[] = {
      {"empty", "", kEmptyDoc},
      {"implied elements", "<p>x", Wrap("<p>x</p>")},
      {"table repaired", "<table><tr><td>a</table>",
       Wrap("<table><tbody><tr><td>a</td></tr></tbody></table>")},
      {"misnested formatting", "<b><i>x</b>y</i>", Wrap("<b><i>x</i></b><i>y</i>")},
      {"self-closing div", "<div/>x", Wrap("<div></div>x")},
      {"comment in paragraph stays a comment", "<p>x<!-- a/> --></p>", Wrap("<p>x<!-- a/> --></p>")},
      {"doctype any case, identifiers dropped",
       "<!DocType HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\" \"http://www.w3.org/TR/html4/strict.dtd\"><p>x",
       "<!DOCTYPE html>" + Wrap("<p>x</p>")},
      {"comment before doctype", "<!--a--> <!DOCTYPE html><!--b--><p>x",
       "<!--a--><!DOCTYPE html><!--b-->" + Wrap("<p>x</p>")},
      {"comment before html", "<!-- c --><html><p>x</p></html>", "<!-- c -->" + Wrap("<p>x</p>")},
      {"template content dropped", "<template><p>x</p></template><p>y",
       "<html><head><template></template></head><body><p>y</p></body></html>"},
      {"byte-order mark dropped", "\xEF\xBB\xBF<p>x", Wrap("<p>x</p>")},
      {"void elements", "<p>a<br>b<img src=i.png><input disabled></p>",
       Wrap("<p>a<br>b<img src=\"i.png\"><input disabled=\"\"></p>")},
      {"head content", "<title>T &amp; U</title><meta charset=utf-8><p>x",
       "<html><head><title>T &amp; U</title><meta charset=\"utf-8\"></head><body><p>x</p></body></html>"},
      {"custom element", "<My-Card id=1>x</my-card>", Wrap("<my-card id=\"1\">x</my-card>")},
      {"ill-formed UTF-8 read as U+FFFD", "<p title='\xFF'>a\xC3" "b", Wrap("<p title=\"\xEF\xBF\xBD\">a\xEF\xBF\xBD" "b</p>")},
  };
  expect_repairs(cases);
}

TEST(RepairHtml, QuotingAndEscaping) {
  const Case cases[] = {
      {"attribute value escapes", "<p title='a&amp;b \"q\" <x> &nbsp;'>t</p>",
       Wrap("<p title=\"a&amp;b &quot;q&quot; &lt;x&gt; &nbsp;\">t</p>")},
      {"unquoted attribute", "<a href=/x?a=1&b=2>t</a>", Wrap("<a href=\"/x?a=1&amp;b=2\">t</a>")},
      {"text escapes", "<p>1 &lt; 2 &amp;&amp; 3 &gt; 2&nbsp;\"ok\"</p>",
       Wrap("<p>1 &lt; 2 &amp;&amp; 3 &gt; 2&nbsp;\"ok\"</p>")},
      {"raw text parents", "<style>a > b { }</style><script>if (a < b && c) {}</script>",
       "<html><head><style>a > b { }</style><script>if (a < b && c) {}</script></head><body></body></html>"},
      {"rcdata parents escaped", "<textarea>a < b &amp; c</textarea>", Wrap("<textarea>a &lt; b &amp; c</textarea>")},
      {"svg names and attributes", "<svg viewbox='0 0 1 1'><clippath/><foreignObject>x</foreignObject><a xlink:href=u>l</a></svg>",
       Wrap("<svg viewBox=\"0 0 1 1\"><clipPath></clipPath><foreignObject>x</foreignObject>"
            "<a xlink:href=\"u\">l</a></svg>")},
      {"svg style text escaped", "<svg><style>a>b</style></svg>", Wrap("<svg><style>a&gt;b</style></svg>")},
      {"svg void names get end tags", "<svg><link></link></svg>", Wrap("<svg><link></link></svg>")},
      {"mathml", "<math><mi>x</mi></math>", Wrap("<math><mi>x</mi></math>")},
  };
  expect_repairs(cases);
}

// Scripting is on for the repair: a noscript's content is raw text, so
// elements written inside it stay there and the head is not closed early.
TEST(RepairHtml, NoscriptContentIsRawText) {
  const Case cases[] = {
      {"noscript in head",
       "<head><noscript><img src=\"a.png\"></noscript><title>T</title><meta name=d content=x></head><p>b",
       "<html><head><noscript><img src=\"a.png\"></noscript><title>T</title><meta name=\"d\" content=\"x\">"
       "</head><body><p>b</p></body></html>"},
      {"noscript in body", "<p>a<noscript><b>x & y</b></noscript>c",
       Wrap("<p>a<noscript><b>x & y</b></noscript>c</p>")},
      {"unterminated", "<p><noscript><i>x", Wrap("<p><noscript><i>x</noscript></p>")},
      {"empty", "<p><noscript></noscript>", Wrap("<p><noscript></noscript></p>")},
      {"end tag any case", "<noscript>a<br></NOSCRIPT >b",
       "<html><head><noscript>a<br></noscript></head><body>b</body></html>"},
      {"not inside a comment", "<!--<noscript>--><p>x</p>", "<!--<noscript>-->" + Wrap("<p>x</p>")},
      {"not inside a script", "<script>'<noscript>'</script><p>x", 
       "<html><head><script>'<noscript>'</script></head><body><p>x</p></body></html>"},
      {"attribute value is not a tag", "<p title='<noscript>'>x</p>", Wrap("<p title=\"&lt;noscript&gt;\">x</p>")},
      {"forged placeholder comment is a comment", "<p><!----></p><noscript>a</noscript>",
       Wrap("<p><!----></p><noscript>a</noscript>")},
  };
  expect_repairs(cases);
}

// The parser is linear: deep nesting, many attributes and huge values are
// repaired, and the tree is written without recursion.
TEST(RepairHtml, DeepNestingAndLargeTags) {
  const std::size_t depth = 1000000;
  std::string divs;
  for (std::size_t i = 0; i < depth; ++i) divs += "<div>";
  auto out = repair_html("<!-- c -->" + divs);
  EXPECT_EQ(out.size(), std::string("<!-- c -->").size() + std::string(kEmptyDoc).size() +
                             depth * std::string("<div></div>").size());
  EXPECT_EQ(out.substr(0, 40), "<!-- c --><html><head></head><body><div>");

  std::string attrs = "<p";
  for (int i = 0; i < 100000; ++i) attrs += " a" + std::to_string(i);
  attrs += " a7>";
  auto many = repair_html(attrs);
  EXPECT_EQ(many.size(), std::string(kEmptyDoc).size() + attrs.size() - 4 + 100000 * 3 + 1 + 4);

  std::string huge = "<p title=\"" + std::string(5'000'000, 'v') + "\">x</p>";
  auto h = repair_html(huge);
  EXPECT_EQ(h.size(), huge.size() + std::string(kEmptyDoc).size());
}

// What the current standard changed against older parsers.
TEST(RepairHtml, CurrentStandardRules) {
  const Case cases[] = {
      {"search closes a paragraph", "<p>a<search>b</search>c</p>", Wrap("<p>a</p><search>b</search>c<p></p>")},
      {"dialog closes a paragraph", "<p>a<dialog>b</dialog>", Wrap("<p>a</p><dialog>b</dialog>")},
      {"select keeps its content", "<select><div>a</div><hr><option>b</select>",
       Wrap("<select><div>a</div><hr><option>b</option></select>")},
      {"menuitem is an ordinary element", "<menuitem>x</menuitem>y", Wrap("<menuitem>x</menuitem>y")},
      {"isindex is an ordinary element", "<isindex prompt=q>x", Wrap("<isindex prompt=\"q\">x</isindex>")},
      {"control characters stay", "a\x1d" "b", Wrap("a\x1d" "b")},
      {"html breaks out of svg", "<svg><p>x</svg>", Wrap("<svg></svg><p>x</p>")},
  };
  expect_repairs(cases);
}

TEST(RepairHtml, Html5libTreeConstructionInputs) {
  const std::vector<test::Html5libCase> cases = test::html5lib_cases();
  if (cases.empty()) TIDEWELL_SKIP_WITHOUT_CORPUS("html5lib tree-construction files");
  for (const test::Html5libCase& c : cases) {
    auto out = repair_html(c.data);
    EXPECT_TRUE(is_valid_utf8(out)) << c.where << ": " << c.data;
  }
  EXPECT_GT(cases.size(), 1000u);
}

}  // namespace
}  // namespace tidewell
