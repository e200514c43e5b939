// Document model: attribute maps (inline and moved), the three-state
// lookup, attribute iteration, inner_text, child iteration, UTF-8 repair.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "html_parser/parser.hpp"

namespace tidewell {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;  // value "-" = no value

Pairs all_pairs(const TlDom& d, const TlNode::Tag& t) {
  Pairs out;
  AttributeIter it = attributes_iter(d, t);
  while (auto p = it.next()) {
    out.emplace_back(p->name.to_string(), p->value ? p->value->to_string() : "-");
  }
  EXPECT_FALSE(it.next().has_value());  // the end keeps being reported
  EXPECT_FALSE(it.next().has_value());
  return out;
}

std::string n_attrs(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += " x" + std::to_string(i) + "=v";
  return s;
}

TEST(AttributeMap, RepeatedNameWithinInlineCapacityKeepsBoth) {
  // a twice plus 6 others: 8 inserts, still inline.
  const std::string html = "<e a=1" + n_attrs(6) + " a=2 id=i class=c>";
  auto r = copperfern_tl::parse_document(html);
  ASSERT_TRUE(r.ok());
  const TlDom& d = r.dom();
  const auto& t = *d.tag(0);
  EXPECT_FALSE(t.attributes.moved);
  EXPECT_EQ(attribute_map_get(d, t, "a").value_bytes(d), "1");
  Pairs p = all_pairs(d, t);
  ASSERT_EQ(p.size(), 10u);
  EXPECT_EQ(p[0], (std::pair<std::string, std::string>("a", "1")));
  EXPECT_EQ(p[7], (std::pair<std::string, std::string>("a", "2")));
  EXPECT_EQ(p[8], (std::pair<std::string, std::string>("id", "i")));
  EXPECT_EQ(p[9], (std::pair<std::string, std::string>("class", "c")));
}

TEST(AttributeMap, OverflowMovesLaterValueWinsFirstPositionKept) {
  // 9 inserts: the map moves. "a" keeps the position of its first
  // occurrence with the later value; iteration order is deterministic.
  const std::string html = "<e b=0 a=1" + n_attrs(6) + " a=2>";
  auto r = copperfern_tl::parse_document(html);
  ASSERT_TRUE(r.ok());
  const TlDom& d = r.dom();
  const auto& t = *d.tag(0);
  EXPECT_TRUE(t.attributes.moved);
  EXPECT_EQ(attributes_get(d, t, "a").value_bytes(d), "2");
  Pairs p = all_pairs(d, t);
  ASSERT_EQ(p.size(), 8u);
  EXPECT_EQ(p[0].first, "b");
  EXPECT_EQ(p[1], (std::pair<std::string, std::string>("a", "2")));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(p[2 + i].first, std::string(1, 'x').append(std::to_string(i)));
  // A later valueless occurrence also wins.
  const std::string html2 = "<e a=1" + n_attrs(8) + " a>";
  auto r2 = copperfern_tl::parse_document(html2);
  const auto& t2 = *r2.dom().tag(0);
  EXPECT_EQ(attributes_get(r2.dom(), t2, "a").state, AttributeLookup::State::NoValue);
}

TEST(AttributeMap, CapacityIsPerDocument) {
  // The same attributes stored with the other backend's capacity of 4.
  const std::string html = "a=1 b c d a=2";
  TlDom d(html);
  d.attribute_inline_capacity = 4;
  TlNode::Tag t;
  d.begin_attributes(t);
  d.store_attribute(t, ByteSpan{0, 1}, ByteSpan{2, 1});
  d.store_attribute(t, ByteSpan{4, 1}, std::nullopt);
  d.store_attribute(t, ByteSpan{6, 1}, std::nullopt);
  d.store_attribute(t, ByteSpan{8, 1}, std::nullopt);
  d.store_attribute(t, ByteSpan{10, 1}, ByteSpan{12, 1});
  d.seal_attributes(t);
  EXPECT_TRUE(t.attributes.moved);
  EXPECT_EQ(t.attributes.size(), 4u);
  EXPECT_EQ(attribute_map_get(d, t, "a").value_bytes(d), "2");
}

TEST(AttributeMap, ManyAttributesOnOneElement) {
  std::string html = "<e";
  for (int i = 0; i < 100000; ++i) html += " a" + std::to_string(i % 50000) + "=" + std::to_string(i);
  html += ">";
  auto r = copperfern_tl::parse_document(html);
  ASSERT_TRUE(r.ok());
  const TlDom& d = r.dom();
  const auto& t = *d.tag(0);
  EXPECT_EQ(t.attributes.size(), 50000u);
  EXPECT_EQ(attributes_get(d, t, "a7").value_bytes(d), "50007");
  EXPECT_EQ(d.bytes(d.entries(t.attributes)[0].name), "a0");
}

struct LookupCase {
  const char* html;
  const char* name;
  AttributeLookup::State state;
  const char* value;
};

TEST(AttributeLookup, ThreeStates) {
  using S = AttributeLookup::State;
  const LookupCase cases[] = {
      {"<e id class title>", "id", S::NotFound, ""},  // valueless id/class are absent
      {"<e id class title>", "class", S::NotFound, ""},
      {"<e id class title>", "title", S::NoValue, ""},
      {"<e ID=x>", "id", S::NotFound, ""},  // "ID" is an ordinary attribute
      {"<e ID=x>", "ID", S::Value, "x"},
      {"<e Class=x>", "class", S::NotFound, ""},
      {"<e id=a id=b>", "id", S::Value, "b"},  // the last id wins
      {"<e id=a id>", "id", S::NotFound, ""},   // ... even a valueless one
      {"<e class=a>", "class", S::Value, "a"},
      {"<e id='' class=\"\">", "id", S::Value, ""},  // an empty value is a value
      {"<e id='' class=\"\">", "class", S::Value, ""},
      {"<e title='&amp;'>", "title", S::Value, "&amp;"},
      {"<e t=''>", "t", S::Value, ""},
      {"<e>", "x", S::NotFound, ""},
  };
  for (const LookupCase& c : cases) {
    auto r = copperfern_tl::parse_document(c.html);
    ASSERT_TRUE(r.ok());
    const TlDom& d = r.dom();
    const AttributeLookup got = attributes_get(d, *d.tag(0), c.name);
    EXPECT_EQ(got.state, c.state) << c.html << " / " << c.name;
    if (c.state == S::Value) {
      EXPECT_EQ(d.bytes(got.value), c.value) << c.html;
    }
  }
}

TEST(OptionalSpan, NoneDiffersFromEveryRange) {
  EXPECT_FALSE(OptionalSpan().has_value());
  EXPECT_FALSE(OptionalSpan(std::nullopt).has_value());
  EXPECT_FALSE(OptionalSpan(std::optional<ByteSpan>()).has_value());
  for (const ByteSpan span : {ByteSpan{0, 0}, ByteSpan{0xFFFFFFFFu, 0}, ByteSpan{0, 0xFFFFFFFFu}}) {
    const OptionalSpan held(span);
    ASSERT_TRUE(held.has_value());
    EXPECT_EQ(*held, span);
    EXPECT_EQ(std::optional<ByteSpan>(held), std::optional<ByteSpan>(span));
  }
}

TEST(AttributeLookup, MapLookupIgnoresIdAndClassSlots) {
  auto r = copperfern_tl::parse_document("<e id=a class=b>");
  const TlDom& d = r.dom();
  EXPECT_FALSE(attribute_map_get(d, *d.tag(0), "id").found());
  EXPECT_FALSE(attribute_map_get(d, *d.tag(0), "class").found());
}

TEST(AttributeIteration, IdAndClassComeLastAndValuelessOnesAreOmitted) {
  const std::pair<const char*, Pairs> cases[] = {
      {"<e class=c id=i b=1 t>", {{"b", "1"}, {"t", "-"}, {"id", "i"}, {"class", "c"}}},
      {"<e id b=1 class>", {{"b", "1"}}},
      {"<e>", {}},
      {"<e x='\xFF'>", {{"x", "\xEF\xBF\xBD"}}},  // invalid UTF-8 replaced
  };
  for (const auto& [html, want] : cases) {
    auto r = copperfern_tl::parse_document(html);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(all_pairs(r.dom(), *r.dom().tag(0)), want) << html;
  }
}

TEST(InnerText, Cases) {
  const std::pair<const char*, const char*> cases[] = {
      {"<p></p>", ""},
      {"<p><!-- c --></p>", ""},
      {"<p>a<!-- c --><b>x</b></p>", "ax"},
      {"<p><b><i>deep</i></b></p>", "deep"},
      {"<p>a <i>b</i> c&amp;d</p>", "a b c&amp;d"},
      {"<div><script>var a;</script>z</div>", "var a;z"},
  };
  for (const auto& [html, want] : cases) {
    auto r = copperfern_tl::parse_document(html);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(inner_text(*r.dom().tag(0), r.dom()).view(), want) << html;
  }
}

TEST(InnerText, SingleTextIsBorrowedAndPiecesAreRepairedSeparately) {
  const std::string html = "<p><b>word</b></p>";
  auto r = copperfern_tl::parse_document(html);
  CowText t = inner_text(*r.dom().tag(0), r.dom());
  EXPECT_FALSE(t.is_owned());
  EXPECT_EQ(t.view().data(), html.data() + 6);

  // Two text runs around a comment: the halves of a character do not join.
  auto r3 = copperfern_tl::parse_document("<p>\xE2\x82<!-->\xAC</p>");
  EXPECT_EQ(inner_text(*r3.dom().tag(0), r3.dom()).view(), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Children, SpilledListKeepsOrder) {
  auto r = copperfern_tl::parse_document("<ul><i></i><i></i><i></i><i></i><i></i><i></i></ul>");
  const TlDom& d = r.dom();
  const auto& ul = *d.tag(0);
  EXPECT_TRUE(ul.children.spilled());
  const std::vector<NodeHandle> seen(ul.children.begin(), ul.children.end());
  EXPECT_EQ(seen, (std::vector<NodeHandle>{1, 2, 3, 4, 5, 6}));
  EXPECT_TRUE(d.tag(1)->children.empty());
}

TEST(InlineVec, SpillsAndCopies) {
  InlineVec<NodeHandle, 4> v;
  for (NodeHandle i = 0; i < 100; ++i) v.push_back(i);
  InlineVec<NodeHandle, 4> copy = v;
  InlineVec<NodeHandle, 4> moved = std::move(v);
  ASSERT_EQ(copy.size(), 100u);
  ASSERT_EQ(moved.size(), 100u);
  for (NodeHandle i = 0; i < 100; ++i) EXPECT_EQ(copy[i], i);
  InlineVec<NodeHandle, 4> small;
  small.push_back(7);
  copy = small;
  EXPECT_EQ(copy.size(), 1u);
  EXPECT_FALSE(copy.spilled());
  InlineVec<NodeHandle, 4> exact;
  exact.reserve(9);
  EXPECT_TRUE(exact.spilled());
  EXPECT_TRUE(exact.empty());
}

TEST(Utf8Lossy, ReplacesMaximalIllFormedSubparts) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain ascii", "plain ascii"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},
      {"\xFF", "\xEF\xBF\xBD"},
      {"a\xC3", "a\xEF\xBF\xBD"},                          // truncated at the end
      {"\xE2\x82x", "\xEF\xBF\xBDx"},                       // one U+FFFD for the prefix
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate: each byte
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"0123456789abcdef\x80", "0123456789abcdef\xEF\xBF\xBD"},
  };
  for (const auto& [in, want] : cases) {
    CowText got = utf8_lossy(in);
    EXPECT_EQ(got.view(), want);
    EXPECT_EQ(got.is_owned(), in != want);
    EXPECT_EQ(is_valid_utf8(in), in == want);
    std::string appended = "<";
    append_utf8_lossy(in, appended);
    EXPECT_EQ(appended, "<" + want);
  }
}

}  // namespace
}  // namespace tidewell
