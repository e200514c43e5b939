#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "converter/metadata/json_ld.hpp"
#include "html_parser/parser.hpp"

namespace tidewell {
namespace {

// A parsed document walked by a stand-in for the converter's dispatcher:
// head, script and style go to the metadata handler, every other element
// has its name logged and its children walked.
struct Walked {
  std::vector<std::string> json_ld;
  std::vector<std::string> visited;  // lower-cased names of other elements
};

Walked walk(std::string_view html, bool with_sink = true, bool collect = true,
            ParserBackend backend = ParserBackend::Copperfern) {
  Walked result;
  ParseResult parsed = parse_document(backend, html);
  EXPECT_TRUE(parsed.ok());
  if (!parsed.ok()) return result;
  const TlDom& dom = parsed.dom();
  const DomContext dom_ctx = build_dom_context(dom.top_level, dom, html.size());
  MetadataSink sink;

  std::function<void(NodeHandle, std::size_t)> walk_node = [&](NodeHandle h, std::size_t depth) {
    const auto name = dom_tag_name_lower(dom_ctx, h, dom);
    if (!name) return;
    const std::string_view n = name->view();
    if (n == "head" || n == "script" || n == "style") {
      convert_metadata_element(n, h, dom, with_sink ? &sink : nullptr, collect, depth, dom_ctx, walk_node);
      return;
    }
    result.visited.emplace_back(n);
    for (NodeHandle child : dom.tag(h)->children) walk_node(child, depth + 1);
  };
  for (NodeHandle top : dom.top_level) walk_node(top, 0);
  result.json_ld = sink.json_ld;
  return result;
}

std::string script(std::string_view type, std::string_view body) {
  return "<script type=\"" + std::string(type) + "\">" + std::string(body) + "</script>";
}

TEST(JsonLdTypeTest, MediaTypes) {
  const struct {
    const char* type;
    bool captured;
  } cases[] = {
      {"application/ld+json", true},
      {"Application/LD+JSON", true},
      {"application/ld+json; charset=utf-8", true},
      {"  application/ld+json  ;x", true},
      {"application/ld+json\xC2\xA0", true},
      {"application/ld+jsonx", false},
      {"application/ld+json x", false},
      {"application/json", false},
      {"text/javascript", false},
      {"", false},
  };
  for (const auto& c : cases) {
    const Walked w = walk("<body>" + script(c.type, "{\"a\":1}") + "</body>");
    EXPECT_EQ(w.json_ld.size(), c.captured ? 1u : 0u) << c.type;
  }
  EXPECT_TRUE(walk("<body><script>{\"a\":1}</script><script type>{}</script></body>").json_ld.empty());
}

TEST(JsonLdCapture, TextHandling) {
  const struct {
    const char* body;
    std::vector<std::string> expected;
  } cases[] = {
      {"\n\n  {\"@type\":\"Thing\"}  \n\n", {"{\"@type\":\"Thing\"}"}},
      {"{&quot;name&quot;:&quot;x&quot;}", {"{\"name\":\"x\"}"}},
      {"", {}},
      {" \n\t ", {}},
      // Script content is text: a comment in it is part of the text.
      {"<!-- only a comment -->", {"<!-- only a comment -->"}},
      // Not required to be valid JSON here.
      {"not json", {"not json"}},
      // Decoded text is not trimmed again.
      {"&#32;x&#32;", {" x "}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(walk("<body>" + script("application/ld+json", c.body) + "</body>").json_ld, c.expected) << c.body;
  }
}

TEST(JsonLdCapture, HeadOfItsOwnElementsOnly) {
  const Walked w =
      walk("<html><head><title>T</title><meta name=\"a\" content=\"b\">" + script("application/ld+json", "{}") +
           "</head><body><p>x</p></body></html>");
  EXPECT_EQ(w.json_ld, std::vector<std::string>{"{}"});
  // The head's own elements are not walked: no title among the visited names.
  EXPECT_EQ(w.visited, (std::vector<std::string>{"html", "body", "p"}));
}

TEST(JsonLdCapture, HeadContentIsWalkedAndScriptsCapturedOnce) {
  // What an HTML reader moves into the body is walked; the head's own
  // elements are not, and its JSON-LD scripts are captured by the head.
  const Walked w = walk("<head><title>T</title>" + script("application/ld+json", "{\"n\":1}") +
                        "<p>para</p><div>d</div><meta name=\"x\" content=\"y\"></head>");
  EXPECT_EQ(w.json_ld, std::vector<std::string>{"{\"n\":1}"});
  EXPECT_EQ(w.visited, (std::vector<std::string>{"p", "div"}));

  for (const char* tag : {"body", "main", "span", "a", "DIV"}) {
    const Walked v = walk(std::string("<head><meta name=\"x\" content=\"y\"><") + tag + ">c</" + tag + "></head>");
    EXPECT_EQ(v.visited.size(), 1u) << tag;
  }
  EXPECT_EQ(walk("<head>text<!-- c --><span>s</span></head>").visited, std::vector<std::string>{"span"});
}

TEST(JsonLdCapture, ScriptsElsewhere) {
  // In the body, and in a head nested in the body: once each.
  const Walked w = walk("<body>" + script("application/ld+json", "{\"a\":1}") + "<div><head>" +
                        script("application/ld+json", "{\"b\":2}") + "</head></div></body>");
  EXPECT_EQ(w.json_ld, (std::vector<std::string>{"{\"a\":1}", "{\"b\":2}"}));
  // A JSON-LD script nested in a noscript of a head is not a direct child:
  // the head step skips it, and the noscript stays in the head.
  EXPECT_TRUE(walk("<head><noscript>" + script("application/ld+json", "{}") + "</noscript></head>").json_ld.empty());
}

TEST(JsonLdCapture, NoSinkOrFlagOff) {
  const std::string html = "<head>" + script("application/ld+json", "{}") + "<p>x</p></head>";
  for (const auto& [with_sink, collect] : {std::pair{false, true}, std::pair{true, false}}) {
    const Walked w = walk(html, with_sink, collect);
    EXPECT_TRUE(w.json_ld.empty());
    EXPECT_EQ(w.visited, std::vector<std::string>{"p"});
  }
}

TEST(JsonLdCapture, LargeTextsAndBudget) {
  const std::string big(5'000'000, 'x');
  const std::string small = "{\"@type\":\"Thing\"}";
  const Walked w = walk("<body>" + script("application/ld+json", big) + script("application/ld+json", small) +
                        "</body>");
  EXPECT_EQ(w.json_ld, std::vector<std::string>{small});
}

}  // namespace
}  // namespace tidewell

namespace tidewell {
namespace {

TEST(JsonLdCapture, MarkupInScriptContentIsText) {
  // Markup inside the script is text of the script, up to its end tag, and
  // what follows the script is the page again.
  std::string body;
  for (int i = 0; i < 100'000; ++i) body += "<b>";
  body += "{\"articleBody\":\"<body><p>x</p></div>\"}";
  for (ParserBackend backend : {ParserBackend::Copperfern, ParserBackend::AsmTl}) {
    const Walked w = walk(script("application/ld+json", body) + "<p>after</p>", true, true, backend);
    EXPECT_EQ(w.json_ld, std::vector<std::string>{body});
    EXPECT_EQ(w.visited, std::vector<std::string>{"p"});
  }
}

}  // namespace
}  // namespace tidewell

namespace tidewell {
namespace {

TEST(JsonLdCapture, InlineWalkerLambda) {
  const std::string html = "<head><p>a</p><p>b</p></head>";
  ParseResult parsed = parse_document(ParserBackend::AsmTl, html);
  ASSERT_TRUE(parsed.ok());
  const TlDom& dom = parsed.dom();
  const DomContext dom_ctx = build_dom_context(dom.top_level, dom, html.size());
  std::vector<std::pair<NodeHandle, std::size_t>> seen;
  convert_metadata_element("head", dom.top_level.at(0), dom, nullptr, false, 3, dom_ctx,
                           [&](NodeHandle child, std::size_t depth) { seen.emplace_back(child, depth); });
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].second, 4u);
  EXPECT_EQ(seen, (std::vector<std::pair<NodeHandle, std::size_t>>{{dom.tag(0)->children[0], 4},
                                                                    {dom.tag(0)->children[1], 4}}));
}

}  // namespace
}  // namespace tidewell
