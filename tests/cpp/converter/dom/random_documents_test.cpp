// Random markup-like inputs: the parse keeps its structural invariants and
// every DomContext query answers without fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "converter/dom/dom_context.hpp"
#include "html_parser/parser.hpp"

namespace tidewell {
namespace {

// Plain rescans, the reference for the cached sibling answers.
struct Reference {
  const DomContext& ctx;
  const TlDom& d;

  static bool ws_only(std::string_view t) {
    // Test alphabet: only ASCII white space and U+00A0 occur.
    std::size_t i = 0;
    while (i < t.size()) {
      if (t[i] == ' ' || t[i] == '\n' || t[i] == '\t') {
        ++i;
      } else if (t.substr(i, 2) == "\xC2\xA0") {
        i += 2;
      } else {
        return false;
      }
    }
    return true;
  }
  std::span<const NodeHandle> siblings(NodeHandle h, std::size_t& pos) const {
    const std::optional<NodeHandle> parent = ctx.parent_of(h);
    std::span<const NodeHandle> list = parent ? ctx.children_of(*parent, d) : std::span(ctx.roots);
    pos = static_cast<std::size_t>(*ctx.sibling_index[h]);
    return list;
  }
  // 0: none; else 1 + index into list of the element found.
  std::optional<NodeHandle> scan(NodeHandle h, bool forward) const {
    std::size_t pos;
    auto list = siblings(h, pos);
    for (std::size_t k = 1;; ++k) {
      if (forward ? pos + k >= list.size() : k > pos) return std::nullopt;
      const NodeHandle s = list[forward ? pos + k : pos - k];
      const TlNode& n = d.nodes[s];
      if (n.is_tag()) return s;
      if (n.is_raw() && !ws_only(d.bytes(n.as_raw()->text))) return std::nullopt;
    }
  }
  bool is_inline(std::optional<NodeHandle> h) const {
    if (!h) return false;
    std::string name(d.bytes(d.tag(*h)->name));
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name == "a" || name == "b" || name == "br";  // the inline names of the test alphabet
  }
  bool next_space(NodeHandle h) const {
    std::size_t pos;
    auto list = siblings(h, pos);
    for (std::size_t j = pos + 1; j < list.size(); ++j) {
      const TlNode& n = d.nodes[list[j]];
      if (n.is_comment()) continue;
      return n.is_raw() && ws_only(d.bytes(n.as_raw()->text));
    }
    return false;
  }
};

TEST(RandomDocuments, CachedSiblingAnswersMatchPlainRescans) {
  const std::string alphabet[] = {"<a>", "</a>", "<b>", "</b>", "<p>", "</p>", "<br>", "<div>", "</div>",
                                  "<!-->", " ", "\n", "\xC2\xA0", "w", "<B>", "<script>", "</script>"};
  std::mt19937 rng(777);
  for (int iter = 0; iter < 3000; ++iter) {
    std::string html;
    const int len = static_cast<int>(rng() % 40);
    for (int i = 0; i < len; ++i) html += alphabet[rng() % std::size(alphabet)];
    auto r = copperfern_tl::parse_document(html);
    ASSERT_TRUE(r.ok());
    const TlDom& d = r.dom();
    DomContext ctx = build_dom_context(d.top_level, d, html.size());
    Reference ref{ctx, d};
    std::vector<NodeHandle> order(d.nodes.size());
    for (NodeHandle h = 0; h < order.size(); ++h) order[h] = h;
    std::shuffle(order.begin(), order.end(), rng);
    for (NodeHandle h : order) {
      const auto next = ref.scan(h, true);
      const auto prev = ref.scan(h, false);
      bool script_next = next && d.bytes(d.tag(*next)->name) == "script";
      bool script_prev = prev && d.bytes(d.tag(*prev)->name) == "script";
      switch (rng() % 4) {  // the first question asked varies
        case 0: (void)dom_prev_sibling_is_inline(ctx, h, d); break;
        case 1: (void)dom_next_sibling_is_inline(ctx, h, d); break;
        case 2: (void)dom_cache_next_space_text(ctx, h, d); break;
        default: break;
      }
      ASSERT_EQ(dom_cache_next_element(ctx, h, d), next) << html << " @" << h;
      ASSERT_EQ(dom_next_sibling_is_inline(ctx, h, d), script_next || ref.is_inline(next)) << html << " @" << h;
      ASSERT_EQ(dom_prev_sibling_is_inline(ctx, h, d), script_prev || ref.is_inline(prev)) << html << " @" << h;
      ASSERT_EQ(dom_cache_next_space_text(ctx, h, d), ref.next_space(h)) << html << " @" << h;
    }
  }
}

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
