#include "converter/repair/repair.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "converter/repair/gumbo_guard.hpp"
#include "converter/repair/prepare.hpp"
#include "html_parser/dom.hpp"
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

TEST(RewriteSelfClosingTags, Cases) {
  struct C { const char* in; std::optional<std::string> out; };
  const C cases[] = {
      {"<div/>", "<div></div>"},
      {"<my-widget a='/>' b/>", "<my-widget a='/>' b></my-widget>"},
      {"<DIV class=x/>", "<DIV class=x></DIV>"},
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
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto got = repair_html(c.input);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, c.expected);
  }
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
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto got = repair_html(c.input);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, c.expected);
  }
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
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto got = repair_html(c.input);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, c.expected);
  }
}

constexpr const char* kAbortingInput = "<table><math><select><mi><select><caption>";

TEST(RepairGuard, AbortInsideParserGivesNothing) {
  struct sigaction mine {};
  mine.sa_handler = SIG_IGN;
  sigemptyset(&mine.sa_mask);
  struct sigaction before {};
  sigaction(SIGABRT, &mine, &before);
  sigset_t mask_before;
  sigemptyset(&mask_before);
  sigaddset(&mask_before, SIGUSR2);
  sigset_t old_mask;
  pthread_sigmask(SIG_BLOCK, &mask_before, &old_mask);
  sigset_t expected_mask;
  pthread_sigmask(SIG_SETMASK, nullptr, &expected_mask);

  for (int round = 0; round < 3; ++round) {
    EXPECT_FALSE(repair_html(kAbortingInput).has_value());
    EXPECT_TRUE(repair_html("<p>x").has_value());
  }

  struct sigaction after {};
  sigaction(SIGABRT, nullptr, &after);
  EXPECT_EQ(after.sa_handler, SIG_IGN);  // our disposition is back
  sigset_t mask_after;
  pthread_sigmask(SIG_SETMASK, nullptr, &mask_after);
  EXPECT_EQ(sigismember(&mask_after, SIGUSR2), 1);
  EXPECT_EQ(sigismember(&mask_after, SIGABRT), sigismember(&expected_mask, SIGABRT));

  pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
  sigaction(SIGABRT, &before, nullptr);
}

TEST(RepairGuard, AbortInChildProcessDoesNotKillIt) {
  fflush(nullptr);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGABRT, SIG_DFL);
    auto r = repair_html(kAbortingInput);
    auto ok = repair_html("<b>x");
    _exit(!r.has_value() && ok.has_value() ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "child died by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(RepairGuard, ArenaReleasesEverything) {
  repair::GuardedGumboParse parse;
  std::string text = "<p>x<b>y</p>";
  EXPECT_NE(parse.parse(text), nullptr);
  EXPECT_GT(parse.live_allocations(), 0u);
  EXPECT_EQ(parse.parse(kAbortingInput), nullptr);
  EXPECT_NE(parse.parse(text), nullptr);
}

TEST(RepairHtml, DeepNesting) {
  std::string deep;
  const int depth = 10000;
  for (int i = 0; i < depth; ++i) deep += "<x-y>";
  auto out = repair_html(deep);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(out->size(), std::string(kEmptyDoc).size() + depth * (5 + 6));

  // A million levels of div would keep the tree builder scanning its stack
  // for hours; the repair declines instead.
  std::string divs;
  for (int i = 0; i < 1000000; ++i) divs += "<div>";
  EXPECT_FALSE(repair_html(divs).has_value());

  std::string attrs = "<p";
  for (int i = 0; i < 100000; ++i) attrs += " a" + std::to_string(i);
  attrs += ">";
  EXPECT_FALSE(repair_html(attrs).has_value());

  std::string huge = "<p title=\"" + std::string(5'000'000, 'v') + "\">x</p>";
  auto h = repair_html(huge);
  ASSERT_TRUE(h.has_value());
  EXPECT_EQ(h->size(), huge.size() + std::string(kEmptyDoc).size());
}

TEST(RepairHtml, WorkEstimateLetsCommonShapesThrough) {
  std::string unclosed;
  for (int i = 0; i < 50000; ++i) unclosed += "<tr><td>a<td>b<p>c<li>d";
  EXPECT_FALSE(repair::prepare_for_parse("<table>" + unclosed).too_costly);
}

// The writer keeps its own stack: a tree a million levels deep is written
// without recursion.
TEST(SerializeDocument, MillionLevelTree) {
  const std::size_t depth = 1000000;
  std::vector<GumboNode> nodes(depth + 1);
  std::vector<void*> links(depth + 1);
  GumboNode& doc = nodes[0];
  doc.type = GUMBO_NODE_DOCUMENT;
  doc.parent = nullptr;
  doc.v.document = GumboDocument{};
  for (std::size_t k = 1; k <= depth; ++k) {
    GumboNode& el = nodes[k];
    el.type = GUMBO_NODE_ELEMENT;
    el.parent = &nodes[k - 1];
    el.v.element = GumboElement{};
    el.v.element.tag = k == 1 ? GUMBO_TAG_HTML : GUMBO_TAG_DIV;
    el.v.element.tag_namespace = GUMBO_NAMESPACE_HTML;
    el.v.element.attributes = GumboVector{nullptr, 0, 0};
    el.v.element.children = GumboVector{nullptr, 0, 0};
  }
  for (std::size_t k = 0; k < depth; ++k) {
    links[k] = &nodes[k + 1];
    GumboVector& children = k == 0 ? nodes[k].v.document.children : nodes[k].v.element.children;
    children = GumboVector{&links[k], 1, 1};
  }
  std::string out;
  repair::serialize_document(&doc, "", {}, out);
  EXPECT_EQ(out.size(), std::string("<html></html>").size() + (depth - 1) * std::string("<div></div>").size());
  EXPECT_EQ(out.substr(0, 11), "<html><div>");
}

TEST(RepairHtml, Html5libTreeConstructionInputs) {
  const std::vector<test::Html5libCase> cases = test::html5lib_cases();
  if (cases.empty()) TIDEWELL_SKIP_WITHOUT_CORPUS("html5lib tree-construction files");
  std::size_t repaired = 0;
  for (const test::Html5libCase& c : cases) {
    auto out = repair_html(c.data);
    if (out) {
      ++repaired;
      EXPECT_TRUE(is_valid_utf8(*out)) << c.where << ": " << c.data;
    }
  }
  EXPECT_GT(cases.size(), 1000u);
  EXPECT_GT(repaired, cases.size() - 20);
}

}  // namespace
}  // namespace tidewell
