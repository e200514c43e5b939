// Random markup-like inputs: the parse keeps its structural invariants and
// every DomContext query answers without fault.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "converter/dom/dom_context.hpp"
#include "html_parser/parser.hpp"

namespace tidewell {
namespace {

TEST(RandomDocuments, InvariantsAndQueries) {
  const std::string alphabet[] = {"<",  ">",  "/",  "!",  "-",  "--", "=",  " ",  "'",  "\"", "\n",
                                  "\t", "a",  "b",  "B",  "br", "id", "class", "&amp;", "\xC2\xA0",
                                  "\xFF", "<!--", "-->", "<p>", "</p>", "<!DOCTYPE html>", "x"};
  std::mt19937 rng(12345);
  for (int iter = 0; iter < 5000; ++iter) {
    std::string html;
    const int len = static_cast<int>(rng() % 60);
    for (int i = 0; i < len; ++i) html += alphabet[rng() % std::size(alphabet)];
    auto r = copperfern_tl::parse_document(html);
    ASSERT_TRUE(r.ok());
    const TlDom& d = r.dom();
    std::vector<int> seen(d.nodes.size(), 0);
    for (NodeHandle h : d.top_level) ++seen.at(h);
    for (NodeHandle h = 0; h < d.nodes.size(); ++h) {
      const TlNode& n = d.nodes[h];
      if (const auto* t = n.as_tag()) {
        ASSERT_GT(t->name.len, 0u);
        ASSERT_LE(t->name.end(), html.size());
        for (NodeHandle c : t->children) {
          ASSERT_GT(c, h) << html;  // children begin after their parent
          ++seen.at(c);
        }
        const AttributeLookup any = attributes_get(d, *t, "a");
        (void)any;
        AttributeIter it(d, *t);
        while (it.next()) {
        }
        (void)inner_text(*t, d);
      } else if (const auto* raw = n.as_raw()) {
        ASSERT_FALSE(raw->text.empty()) << html;
        ASSERT_LE(raw->text.end(), html.size());
      } else {
        ASSERT_LE(n.as_comment()->text.end(), html.size());
      }
    }
    for (int s : seen) ASSERT_EQ(s, 1) << html;  // every node has exactly one place

    DomContext ctx = build_dom_context(d.top_level, d, html.size());
    for (NodeHandle h = 0; h < d.nodes.size() + 1; ++h) {
      (void)dom_cache_tag_info(ctx, h, d);
      (void)dom_tag_name_lower(ctx, h, d);
      (void)dom_next_element_tag_name(ctx, h, d);
      (void)dom_next_sibling_is_inline(ctx, h, d);
      (void)dom_prev_sibling_is_inline(ctx, h, d);
      (void)dom_cache_next_space_text(ctx, h, d);
      (void)dom_node_text_cached(ctx, h, d);
    }
  }
}

}  // namespace
}  // namespace tidewell
