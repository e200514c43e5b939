#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converter/dom/dom_context.hpp"
#include "common/tags.hpp"
#include "html_parser/parser.hpp"

namespace tidewell {
namespace {

// A parsed document with its context; the HTML is kept alive beside them.
struct Doc {
  explicit Doc(std::string h) : html(std::move(h)), dom(html) {
    EXPECT_FALSE(copperfern_tl::parse_nodes(dom).has_value());
    ctx = build_dom_context(dom.top_level, dom, html.size());
  }
  // Handle of the n-th element (in document order) named `name`.
  NodeHandle find(std::string_view name, int nth = 0) const {
    for (NodeHandle h = 0; h < dom.nodes.size(); ++h) {
      const auto* t = dom.tag(h);
      if (t && dom.bytes(t->name) == name && nth-- == 0) return h;
    }
    ADD_FAILURE() << "no element " << name;
    return 0;
  }
  std::string html;
  TlDom dom;
  DomContext ctx;
};

TEST(DomContextBuild, TablesFollowThePreOrderFill) {
  Doc d("<a><b><c></c></b><d></d></a>t");
  const DomContext& c = d.ctx;
  EXPECT_EQ(c.roots, (std::vector<NodeHandle>{0, 4}));
  ASSERT_EQ(c.parents.size(), 5u);
  EXPECT_EQ(c.parent_of(0), std::nullopt);
  EXPECT_EQ(c.parent_of(1), std::optional<NodeHandle>(0));
  EXPECT_EQ(c.parent_of(2), std::optional<NodeHandle>(1));
  EXPECT_EQ(c.parent_of(3), std::optional<NodeHandle>(0));
  EXPECT_EQ(c.parent_of(4), std::nullopt);
  const auto children = [&](NodeHandle h) {
    const auto span = c.children_of(h, d.dom);
    return std::vector<NodeHandle>(span.begin(), span.end());
  };
  EXPECT_EQ(children(0), (std::vector<NodeHandle>{1, 3}));
  EXPECT_EQ(children(1), (std::vector<NodeHandle>{2}));
  EXPECT_TRUE(children(2).empty());
  EXPECT_TRUE(children(4).empty());  // text has no children
  EXPECT_EQ(c.sibling_index[3].get(), std::optional<std::uint32_t>(1));
  EXPECT_EQ(c.sibling_index[4].get(), std::optional<std::uint32_t>(1));
  for (NodeHandle h = 0; h < 5; ++h) EXPECT_EQ(c.visited[h], 1u);
  EXPECT_EQ(c.parent_of(99), std::nullopt);
}

TEST(DomContextBuild, EmptyDocumentAnswersNothing) {
  Doc d("");
  const DomContext& c = d.ctx;
  EXPECT_TRUE(c.parents.empty());
  EXPECT_TRUE(c.children_of(0, d.dom).empty());
  EXPECT_EQ(dom_cache_tag_info(c, 0, d.dom), nullptr);
  EXPECT_FALSE(dom_tag_name_lower(c, 0, d.dom).has_value());
  EXPECT_FALSE(dom_cache_next_element(c, 0, d.dom).has_value());
  EXPECT_FALSE(dom_next_element_tag_name(c, 0, d.dom).has_value());
  EXPECT_FALSE(dom_next_sibling_is_inline(c, 0, d.dom));
  EXPECT_FALSE(dom_prev_sibling_is_inline(c, 0, d.dom));
  EXPECT_FALSE(dom_cache_next_space_text(c, 0, d.dom));
  EXPECT_EQ(dom_node_text_cached(c, 0, d.dom), "");
}

TEST(DomContextBuild, TablesCoverUpToTheLargestVisitedHandle) {
  const std::string html = "<a>x</a><b>y</b>";
  TlDom dom(html);
  ASSERT_FALSE(copperfern_tl::parse_nodes(dom).has_value());
  const NodeHandle first_root[] = {0};
  DomContext ctx = build_dom_context(first_root, dom, html.size());
  EXPECT_EQ(ctx.parents.size(), 2u);
  EXPECT_EQ(ctx.tag_info.size(), 2u);
  EXPECT_EQ(ctx.text_cache.in_cache.size(), 2u);
  EXPECT_EQ(dom_cache_tag_info(ctx, 2, dom), nullptr);  // beyond the tables
  EXPECT_EQ(dom_node_text_cached(ctx, 2, dom), "y");     // texts read the document
}

TEST(DomContextBuild, HandleOutsideTheDocumentIsNotRecorded) {
  Doc d("<p>x</p>");
  DomContext& c = d.ctx;
  fill_dom_context(1'000'000'000, std::nullopt, d.dom, c);
  EXPECT_EQ(c.parents.size(), 2u);
}

struct SiblingCase {
  const char* html;
  const char* from;  // element whose next sibling is asked for
  const char* to;    // element whose previous sibling is asked for ("" = skip)
  const char* next_name;  // "" = none
  bool next_inline;
  bool prev_inline;
};

TEST(DomContextSiblings, Scans) {
  const SiblingCase cases[] = {
      {"<p><b>x</b>   <i>y</i></p>", "b", "i", "i", true, true},
      {"<p><b>x</b> word <i>y</i></p>", "b", "i", "", false, false},  // a word stops the scan
      {"<p><b>x</b><!--c--><i>y</i></p>", "b", "i", "i", true, true},  // comments are passed over
      {"<b></b>\xC2\xA0<i></i>", "b", "i", "i", true, true},           // U+00A0 is white space
      {"<b></b>&nbsp;<i></i>", "b", "i", "", false, false},             // a written reference is not
      {"<b></b>\xFF<i></i>", "b", "i", "", false, false},               // nor a replaced byte
      {"<b></b><script></script>", "b", "script", "script", true, true},
      {"<b></b><style></style>", "b", "", "style", true, false},
      {"<b></b><div></div>", "b", "div", "div", false, true},
      {"<div></div><b></b>", "div", "b", "b", true, false},
      {"<p><b>x</b></p>", "b", "b", "", false, false},                  // only child
      {"<ul><li>a</li>\n<LI>b</li></ul>", "li", "LI", "li", false, false},
      {"<b></b>\t\r\n \x0B\x0C<i></i>", "b", "i", "i", true, true},
      {"<b></b>\xE3\x80\x80\xE2\x80\xAF<i></i>", "b", "i", "i", true, true},  // U+3000, U+202F
  };
  for (const SiblingCase& sc : cases) {
    Doc d(sc.html);
    const NodeHandle from = d.find(sc.from);
    const auto next = dom_next_element_tag_name(d.ctx, from, d.dom);
    if (*sc.next_name) {
      EXPECT_EQ(next, std::optional<std::string_view>(sc.next_name)) << sc.html;
    } else {
      EXPECT_FALSE(next.has_value()) << sc.html;
      EXPECT_FALSE(dom_cache_next_element(d.ctx, from, d.dom).has_value()) << sc.html;
    }
    EXPECT_EQ(dom_next_sibling_is_inline(d.ctx, from, d.dom), sc.next_inline) << sc.html;
    EXPECT_EQ(dom_next_sibling_is_inline(d.ctx, from, d.dom), sc.next_inline) << sc.html << " (cached)";
    if (*sc.to) {
      EXPECT_EQ(dom_prev_sibling_is_inline(d.ctx, d.find(sc.to), d.dom), sc.prev_inline) << sc.html;
    }
  }
}

TEST(DomContextSiblings, NextSpaceText) {
  const std::pair<const char*, bool> cases[] = {
      {"<p><b></b>\n  <i></i></p>", true},
      {"<p><b></b><!--c--><i></i></p>", false},
      {"<p><b></b><!--c--> <i></i></p>", true},
      {"<p><b></b></p>", false},  // last child
      {"<p><b></b>x</p>", false},
      {"<b></b>\xC2\xA0", true},
  };
  for (const auto& [html, want] : cases) {
    Doc d(html);
    EXPECT_EQ(dom_cache_next_space_text(d.ctx, d.find("b"), d.dom), want) << html;
  }

  // An empty text node (the parsers never make one) counts as white space.
  const std::string input = "b";
  TlDom dom(input);
  TlNode::Tag b;
  b.name = ByteSpan{0, 1};
  dom.top_level.push_back(dom.append_node(TlNode{std::move(b)}));
  dom.top_level.push_back(dom.append_node(TlNode{TlNode::Raw{ByteSpan{1, 0}}}));
  DomContext ctx = build_dom_context(dom.top_level, dom, input.size());
  EXPECT_TRUE(dom_cache_next_space_text(ctx, 0, dom));
}

TEST(DomContextTags, NamesAndFlags) {
  Doc d("<DIV></DIV><My-El></My-El><span></span><script></script><x-y></x-y><BLOCKQUOTE></BLOCKQUOTE>"
        "<ABCDEFGHIJKL></ABCDEFGHIJKL>t<!--c-->");
  const CachedTagInfo* div = dom_cache_tag_info(d.ctx, d.find("DIV"), d.dom);
  ASSERT_NE(div, nullptr);
  EXPECT_EQ(div->name.view(), "div");
  EXPECT_FALSE(div->name.is_owned());
  EXPECT_EQ(div->name.view().data(), tag_info(TagId::Div).name.data());
  EXPECT_EQ(div->id, TagId::Div);
  EXPECT_TRUE(div->is_block);
  EXPECT_FALSE(div->is_inline);

  const CachedTagInfo* custom = dom_cache_tag_info(d.ctx, d.find("My-El"), d.dom);
  EXPECT_EQ(custom->name.view(), "my-el");
  EXPECT_TRUE(custom->name.is_owned());
  EXPECT_EQ(custom->id, TagId::Unknown);
  EXPECT_FALSE(custom->is_inline || custom->is_block);

  EXPECT_TRUE(dom_cache_tag_info(d.ctx, d.find("span"), d.dom)->is_inline);
  const CachedTagInfo* script = dom_cache_tag_info(d.ctx, d.find("script"), d.dom);
  EXPECT_TRUE(script->is_inline);
  EXPECT_FALSE(script->is_block);
  EXPECT_EQ(dom_cache_tag_info(d.ctx, d.find("x-y"), d.dom)->name.view(), "x-y");
  EXPECT_EQ(dom_cache_tag_info(d.ctx, d.find("BLOCKQUOTE"), d.dom)->name.view(), "blockquote");
  EXPECT_EQ(dom_cache_tag_info(d.ctx, d.find("ABCDEFGHIJKL"), d.dom)->name.view(), "abcdefghijkl");

  const NodeHandle text = static_cast<NodeHandle>(d.dom.nodes.size() - 2);
  EXPECT_EQ(dom_cache_tag_info(d.ctx, text, d.dom), nullptr);
  EXPECT_EQ(dom_cache_tag_info(d.ctx, text + 1, d.dom), nullptr);
  EXPECT_EQ(dom_cache_tag_info(d.ctx, 12345, d.dom), nullptr);
  // Cached: the same record on the second request.
  EXPECT_EQ(dom_cache_tag_info(d.ctx, d.find("DIV"), d.dom), div);
  EXPECT_EQ(dom_tag_name_lower(d.ctx, d.find("My-El"), d.dom)->view(), "my-el");
  EXPECT_FALSE(dom_tag_name_lower(d.ctx, text, d.dom).has_value());
}

TEST(DomContextTags, ElementsOfOneNameShareOneRecord) {
  Doc d("<p>a</p><P>b</P><x-y></x-y><X-Y></X-Y><p></p>");
  const CachedTagInfo* p = dom_cache_tag_info(d.ctx, d.find("p"), d.dom);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(dom_cache_tag_info(d.ctx, d.find("P"), d.dom), p);
  EXPECT_EQ(dom_cache_tag_info(d.ctx, static_cast<NodeHandle>(d.dom.nodes.size() - 1), d.dom), p);
  const CachedTagInfo* custom = dom_cache_tag_info(d.ctx, d.find("x-y"), d.dom);
  ASSERT_NE(custom, nullptr);
  EXPECT_NE(custom, p);
  EXPECT_EQ(dom_cache_tag_info(d.ctx, d.find("X-Y"), d.dom), custom);
  EXPECT_EQ(custom->name.view(), "x-y");
}

TEST(DomContextTags, UnvisitedNodesAndInvalidBytes) {
  // Built over no roots: nothing is visited, so there is no cached info, but
  // the lower-cased name is still read from the document.
  const std::string html = "<DIV></DIV><p></p>";
  TlDom dom(html);
  ASSERT_FALSE(copperfern_tl::parse_nodes(dom).has_value());
  DomContext ctx = build_dom_context({}, dom, html.size());
  EXPECT_EQ(dom_cache_tag_info(ctx, 0, dom), nullptr);
  auto upper = dom_tag_name_lower(ctx, 0, dom);
  EXPECT_EQ(upper->view(), "div");
  EXPECT_TRUE(upper->is_owned());
  auto lower = dom_tag_name_lower(ctx, 1, dom);
  EXPECT_EQ(lower->view(), "p");
  EXPECT_FALSE(lower->is_owned());

  // A name with an invalid byte (only a hand-built document can have one).
  const std::string bad = "A\xFFZ";
  TlDom hand(bad);
  TlNode::Tag t;
  t.name = ByteSpan{0, 3};
  hand.top_level.push_back(hand.append_node(TlNode{std::move(t)}));
  DomContext hc = build_dom_context(hand.top_level, hand, bad.size());
  EXPECT_EQ(dom_cache_tag_info(hc, 0, hand)->name.view(), "a\xEF\xBF\xBDz");
}

TEST(DomContextText, DecodesReferencesSkipsComments) {
  const std::pair<const char*, const char*> cases[] = {
      {"<p>a&amp;b<!--c--><em>c</em></p>", "a&bc"},
      {"<p>x &lt;y&gt; &#x41;&bogus;</p>", "x <y> A&bogus;"},
      {"<p><b>1</b> <i>2<u>3</u></i>4</p>", "1 234"},
      {"<p>\xFF&amp;</p>", "\xEF\xBF\xBD&"},
      {"<p></p>", ""},
  };
  for (const auto& [html, want] : cases) {
    Doc d(html);
    const NodeHandle p = d.find("p");
    EXPECT_EQ(dom_node_text_cached(d.ctx, p, d.dom), want) << html;
    EXPECT_EQ(dom_node_text_cached(d.ctx, p, d.dom), want) << html << " (cached)";
    std::string out = ">";
    dom_append_node_text(d.ctx, p, d.dom, out);
    EXPECT_EQ(out, std::string(">").append(want));
    std::string direct;
    dom_compute_node_text(d.ctx, p, d.dom, direct);
    EXPECT_EQ(direct, want);
  }
  Doc c("<!--c-->x");
  EXPECT_EQ(dom_node_text_cached(c.ctx, 0, c.dom), "");
  EXPECT_EQ(dom_node_text_cached(c.ctx, 1, c.dom), "x");
  EXPECT_EQ(dom_node_text_cached(c.ctx, 77, c.dom), "");
}

TEST(DomContextText, CachedDescendantTextsAreReused) {
  // A descendant's cached text is what the ancestor's text is built from.
  Doc d("<div><p>a</p><p>b</p></div>");
  const NodeHandle p1 = d.find("p");
  text_cache_insert(d.ctx.text_cache, p1, "CACHED");
  EXPECT_EQ(dom_node_text_cached(d.ctx, 0, d.dom), "CACHEDb");
}

TEST(LruTextCacheTest, CapacityFollowsInputLength) {
  const std::pair<std::size_t, std::size_t> cases[] = {
      {0, 32}, {4096, 32}, {33 * 1024, 33}, {40000, 39}, {262143, 255}, {262144, 256}, {10'000'000, 256}};
  TlDom empty;
  for (const auto& [len, cap] : cases) {
    EXPECT_EQ(build_dom_context({}, empty, len).text_cache.capacity, cap) << len;
  }
}

TEST(LruTextCacheTest, EvictsLeastRecentlyUsed) {
  TlDom empty;
  DomContext ctx = build_dom_context({}, empty, 4096);
  LruTextCache& cache = ctx.text_cache;
  for (NodeHandle h = 0; h < 32; ++h) text_cache_insert(cache, h, std::string("t").append(std::to_string(h)));
  EXPECT_EQ(cache.entries.size(), 32u);
  EXPECT_EQ(text_cache_get(cache, 0), std::optional<std::string>("t0"));  // saves 0 from eviction
  text_cache_insert(cache, 100, "new");
  EXPECT_EQ(cache.entries.size(), 32u);
  EXPECT_TRUE(text_cache_get(cache, 0).has_value());
  EXPECT_FALSE(text_cache_get(cache, 1).has_value());  // the oldest went
  text_cache_insert(cache, 5, "replaced");  // replacing does not evict
  EXPECT_EQ(cache.entries.size(), 32u);
  EXPECT_EQ(text_cache_get(cache, 5), std::optional<std::string>("replaced"));
  EXPECT_TRUE(text_cache_get(cache, 2).has_value());
  EXPECT_EQ(cache.entries.back().first, 2u);  // a hit moves to the recent end
}

TEST(DomContextSiblings, LongRunsWithoutElementsAreScannedOnce) {
  // 400,000 siblings that the scans pass over: asking each of them must
  // not rescan the rest of the run every time.
  std::string html = "<p>";
  for (int i = 0; i < 200'000; ++i) html += "<!--> ";
  html += "<b></b></p>";
  Doc d(std::move(html));
  const NodeHandle b = static_cast<NodeHandle>(d.dom.nodes.size() - 1);
  std::size_t inline_next = 0;
  std::size_t space_next = 0;
  for (NodeHandle h = 1; h < b; ++h) {
    inline_next += dom_next_sibling_is_inline(d.ctx, h, d.dom);
    space_next += dom_cache_next_space_text(d.ctx, h, d.dom);
    EXPECT_FALSE(dom_prev_sibling_is_inline(d.ctx, b - h, d.dom));
  }
  EXPECT_EQ(inline_next, static_cast<std::size_t>(b - 1));  // every one sees the b at the end
  EXPECT_EQ(space_next, 400'000u - 1);  // all but the last text, which the b follows
  EXPECT_FALSE(dom_prev_sibling_is_inline(d.ctx, b, d.dom));
}

TEST(DomContextDeep, MillionLevelsBuildAndAnswer) {
  constexpr std::size_t kDepth = 1'000'000;
  std::string html;
  html.reserve(kDepth * 13 + 2);
  for (std::size_t i = 0; i < kDepth; ++i) html += "<b>";
  html += "x&amp;";
  for (std::size_t i = 0; i < kDepth; ++i) html += "</b>";
  html += "<i></i>";
  Doc d(std::move(html));
  EXPECT_EQ(d.ctx.parents.size(), kDepth + 2);
  EXPECT_EQ(d.ctx.parents[kDepth], std::optional<NodeHandle>(kDepth - 1));
  EXPECT_EQ(dom_node_text_cached(d.ctx, 0, d.dom), "x&");
  EXPECT_EQ(dom_node_text_cached(d.ctx, 1, d.dom), "x&");
  EXPECT_EQ(dom_cache_tag_info(d.ctx, kDepth - 1, d.dom)->name.view(), "b");
  EXPECT_EQ(dom_next_element_tag_name(d.ctx, 0, d.dom), std::optional<std::string_view>("i"));
  EXPECT_EQ(inner_text(*d.dom.tag(0), d.dom).view(), "x&amp;");
}

}  // namespace
}  // namespace tidewell
