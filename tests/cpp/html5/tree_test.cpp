// The document's edits (text merging, insertion before a sibling, moving
// children, attributes) and what the parser keeps as views of its input.
#include "html5/tree.hpp"

#include <gtest/gtest.h>

#include <string>

#include "html5/parser.hpp"
#include "html5/tree_dump.hpp"

namespace tidewell::html5 {
namespace {

NodeId element(Document& doc, std::string_view name) {
  return doc.create_element(Ns::Html, tag_id(name), name, {});
}

std::vector<NodeId> children(const Document& doc, NodeId parent) {
  std::vector<NodeId> out;
  for (NodeId c = doc.node(parent).first_child; c != kNoNode; c = doc.node(c).next_sibling) out.push_back(c);
  return out;
}

TEST(Html5Document, TextMergesWithTheTextBeforeTheInsertionPoint) {
  Document doc;
  const NodeId p = element(doc, "p");
  doc.insert(Document::root(), p);
  doc.insert_text(p, "a");
  doc.insert_text(p, "b");
  ASSERT_EQ(children(doc, p).size(), 1u);
  EXPECT_EQ(doc.text(doc.node(p).first_child), "ab");
  const NodeId b = element(doc, "b");
  doc.insert(p, b);
  doc.insert_text(p, "c");
  ASSERT_EQ(children(doc, p).size(), 3u);
  // Before the b: merges into "ab"; before the first child: a new node.
  doc.insert_text(p, "x", b);
  EXPECT_EQ(doc.text(doc.node(p).first_child), "abx");
  doc.insert_text(p, "y", doc.node(p).first_child);
  EXPECT_EQ(children(doc, p).size(), 4u);
  EXPECT_EQ(doc.text(doc.node(p).first_child), "y");
  EXPECT_TRUE(test::check_links(doc).empty());
}

TEST(Html5Document, InsertBeforeMovesANodeDirectlyBeforeTheSibling) {
  Document doc;
  const NodeId parent = element(doc, "div");
  doc.insert(Document::root(), parent);
  const NodeId a = element(doc, "a"), b = element(doc, "b"), c = element(doc, "i");
  for (NodeId n : {a, b, c}) doc.insert(parent, n);
  doc.insert(parent, a, c);  // a was an earlier child of the same parent
  EXPECT_EQ(children(doc, parent), (std::vector<NodeId>{b, a, c}));
  const NodeId other = element(doc, "span");
  doc.insert(Document::root(), other);
  doc.insert(other, b);
  EXPECT_EQ(children(doc, parent), (std::vector<NodeId>{a, c}));
  EXPECT_EQ(doc.node(b).parent, other);
  EXPECT_TRUE(test::check_links(doc).empty());
}

TEST(Html5Document, ReparentAndAttributes) {
  Document doc;
  const NodeId from = element(doc, "div"), to = element(doc, "p");
  doc.insert(Document::root(), from);
  doc.insert(Document::root(), to);
  const NodeId x = element(doc, "b"), y = element(doc, "i"), z = element(doc, "u");
  doc.insert(from, x);
  doc.insert(from, y);
  doc.insert(to, z);
  doc.reparent_children(from, to);
  EXPECT_EQ(children(doc, to), (std::vector<NodeId>{z, x, y}));
  EXPECT_TRUE(children(doc, from).empty());

  const Attribute attrs[] = {{"class", "a", AttrNs::None}};
  const NodeId el = doc.create_element(Ns::Html, TagId::Body, "body", attrs);
  const NodeId clone = doc.clone_element(el);
  for (int k = 0; k < 100; ++k) {
    std::string name = "n";
    name += std::to_string(k);
    doc.add_attribute(el, {name, "c"});
  }
  EXPECT_EQ(doc.attributes(el).size(), 101u);
  EXPECT_EQ(doc.attributes(clone).size(), 1u);  // the clone's records stay as they were
  EXPECT_EQ(doc.attributes(el)[0].value, "a");
  EXPECT_TRUE(test::check_links(doc).empty());
}

TEST(Html5Parser, KeepsViewsOfTheInputWhereNothingChanges) {
  const std::string input = "<p class=intro>Hello <b>world</b></p>";
  const Document doc = parse_document(input);
  const std::string dump = test::dump_children(doc, Document::root());
  EXPECT_EQ(dump,
            "| <html>\n|   <head>\n|   <body>\n|     <p>\n|       class=\"intro\"\n|       \"Hello \"\n"
            "|       <b>\n|         \"world\"\n");
  auto inside = [&](std::string_view s) { return s.data() >= input.data() && s.data() < input.data() + input.size(); };
  for (NodeId id = 0; id < doc.size(); ++id) {
    const Node& n = doc.node(id);
    if (n.kind == NodeKind::Text) doc.for_each_text_piece(id, [&](std::string_view s) { EXPECT_TRUE(inside(s)); });
    if (n.kind == NodeKind::Element && n.tag == TagId::P) {
      EXPECT_TRUE(inside(doc.attributes(id)[0].value));
    }
  }
}

TEST(Html5Parser, LineBreaksAndScriptingFlag) {
  const Document crlf = parse_document("<pre>\r\na\rb\r\n</pre>");
  EXPECT_EQ(test::dump_children(crlf, Document::root()),
            "| <html>\n|   <head>\n|   <body>\n|     <pre>\n|       \"a\nb\n\"\n");
  const std::string noscript = "<head><noscript><img src=a></noscript></head>";
  EXPECT_EQ(test::dump_children(parse_document(noscript), Document::root()),
            "| <html>\n|   <head>\n|     <noscript>\n|       \"<img src=a>\"\n|   <body>\n");
  ParseOptions off;
  off.scripting = false;
  EXPECT_EQ(test::dump_children(parse_document(noscript, off), Document::root()),
            "| <html>\n|   <head>\n|     <noscript>\n|   <body>\n|     <img>\n|       src=\"a\"\n");
}

// A repeated html or body start tag adds only the attributes the element
// lacks, keeping the first values; long repeated tags merge in one pass.
TEST(Html5Parser, RepeatedHtmlAndBodyTagsAddMissingAttributes) {
  const Document doc = parse_document("<html lang=en><body a=1 b=2><p>x<body b=3 c=4 a=5><html lang=fr dir=rtl>");
  const NodeId html = doc.node(Document::root()).first_child;
  const NodeId body = doc.node(html).last_child;
  auto names_and_values = [&](NodeId el) {
    std::string out;
    for (const Attribute& a : doc.attributes(el)) out += std::string(a.name) + "=" + std::string(a.value) + " ";
    return out;
  };
  EXPECT_EQ(names_and_values(html), "lang=en dir=rtl ");
  EXPECT_EQ(names_and_values(body), "a=1 b=2 c=4 ");

  constexpr int kCount = 100000;
  std::string first = "<body", second = "<p>x<body";
  for (int k = 0; k < kCount; ++k) {
    first += " a" + std::to_string(k) + "=1";
    second += " a" + std::to_string(k + kCount / 2) + "=2";
  }
  const std::string input = first + ">" + second + ">";  // the document keeps views into it
  const Document big = parse_document(input);
  const NodeId big_body = big.node(big.node(Document::root()).first_child).last_child;
  const auto attrs = big.attributes(big_body);
  ASSERT_EQ(attrs.size(), static_cast<std::size_t>(kCount + kCount / 2));
  EXPECT_EQ(attrs[kCount - 1].value, "1");
  EXPECT_EQ(attrs[kCount].name, "a" + std::to_string(kCount));
  EXPECT_EQ(attrs[kCount].value, "2");
}

// Equal formatting elements (attributes in any order) stand at most three
// times in the list of active formatting elements: a new paragraph reopens
// three of four equal b elements, but all four when one value differs. Long
// attribute lists are compared through a table.
TEST(Html5Parser, EqualFormattingElementsAreKeptThreeTimes) {
  auto reopened = [](const std::string& input) {
    const Document doc = parse_document(input);
    const NodeId body = doc.node(doc.node(Document::root()).first_child).last_child;
    int count = 0;
    for (NodeId n = doc.node(doc.node(body).last_child).first_child; n != kNoNode && doc.node(n).tag == TagId::B;
         n = doc.node(n).first_child) {
      ++count;
    }
    return count;
  };
  for (const int size : {3, 40}) {
    std::string forward, backward, changed;
    for (int k = 0; k < size; ++k) {
      forward += " a" + std::to_string(k) + "=v";
      backward += " a" + std::to_string(size - 1 - k) + "=v";
      changed += " a" + std::to_string(k) + (k == size / 2 ? "=w" : "=v");
    }
    SCOPED_TRACE(size);
    EXPECT_EQ(reopened("<p><b" + forward + "><b" + backward + "><b" + forward + "><b" + backward + "><p>x"), 3);
    EXPECT_EQ(reopened("<p><b" + forward + "><b" + changed + "><b" + forward + "><b" + backward + "><p>x"), 4);
  }
}

}  // namespace
}  // namespace tidewell::html5
