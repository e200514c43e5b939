#include <gtest/gtest.h>

#include <string>

#include "converter/metadata/structure_sink.hpp"

namespace tidewell {
namespace {

TEST(SipHash13, ReferenceVectors) {
  // Published SipHash-1-3 outputs for the zero key.
  EXPECT_EQ(siphash13(""), 0xd1fba762150c532cULL);
}

TEST(StructureIds, DocumentedExamples) {
  StructureSink para;
  doc_struct_add_paragraph(para, "Hello");
  EXPECT_EQ(para.nodes.at(0).id, "paragraph-a99cc26527f2b620");

  StructureSink heading;
  doc_struct_add_heading(heading, 1, "Intro", std::nullopt);
  EXPECT_EQ(heading.nodes.at(0).id, "group-cd296e19fded6d1a");
  EXPECT_EQ(heading.nodes.at(1).id, "heading-31a330f7387892e2");
  EXPECT_EQ(doc_struct_node_id("paragraph", "Hello", 0), "paragraph-a99cc26527f2b620");
}

TEST(StructureIds, DependOnKindTextAndIndex) {
  const std::string base = doc_struct_node_id("paragraph", "x", 3);
  EXPECT_NE(base, doc_struct_node_id("list_item", "x", 3).substr(0));
  EXPECT_NE(base, doc_struct_node_id("paragraph", "y", 3));
  EXPECT_NE(base, doc_struct_node_id("paragraph", "x", 4));
  EXPECT_EQ(base, doc_struct_node_id("paragraph", "x", 3));
  EXPECT_EQ(base.size(), std::string("paragraph-").size() + 16);
}

TEST(StructureIds, TextCutAt64BytesOnCharBoundary) {
  // 63 ASCII bytes, then a two-byte character over bytes 64 and 65.
  const std::string prefix(63, 'a');
  const std::string text = prefix + "\xC3\xA9" + "tail";
  EXPECT_EQ(doc_struct_node_id("paragraph", text, 7), doc_struct_node_id("paragraph", prefix, 7));
  // Exactly 64 ASCII bytes are kept whole; what follows is ignored.
  const std::string sixty_four(64, 'b');
  EXPECT_EQ(doc_struct_node_id("paragraph", sixty_four + "zzz", 0), doc_struct_node_id("paragraph", sixty_four, 0));
  EXPECT_NE(doc_struct_node_id("paragraph", sixty_four, 0), doc_struct_node_id("paragraph", sixty_four.substr(1), 0));
}

TEST(StructureSinkTest, NoHeadingsMeansNoParents) {
  StructureSink sink;
  doc_struct_add_paragraph(sink, "p");
  doc_struct_add_list(sink, false);
  doc_struct_add_list_item(sink, "item");
  doc_struct_end_list(sink);
  doc_struct_add_code(sink, "x", std::nullopt);
  ASSERT_EQ(sink.nodes.size(), 4u);
  EXPECT_FALSE(sink.nodes[0].parent);
  EXPECT_FALSE(sink.nodes[1].parent);
  EXPECT_EQ(sink.nodes[2].parent, 1u);
  EXPECT_EQ(sink.nodes[1].children, std::vector<std::uint32_t>{2});
  EXPECT_FALSE(sink.nodes[3].parent);
}

TEST(StructureSinkTest, SectionNesting) {
  StructureSink sink;
  doc_struct_add_heading(sink, 1, "A", std::nullopt);  // G1=0, H=1
  doc_struct_add_heading(sink, 2, "B", std::nullopt);  // G2=2, H=3
  doc_struct_add_heading(sink, 2, "C", std::nullopt);  // G3=4, H=5
  doc_struct_add_paragraph(sink, "under C");           // 6
  doc_struct_add_heading(sink, 1, "D", std::nullopt);  // G4=7, H=8
  ASSERT_EQ(sink.nodes.size(), 9u);
  EXPECT_FALSE(sink.nodes[0].parent);
  EXPECT_EQ(sink.nodes[2].parent, 0u);
  EXPECT_EQ(sink.nodes[4].parent, 0u);
  EXPECT_EQ(sink.nodes[6].parent, 4u);
  EXPECT_FALSE(sink.nodes[7].parent);
  EXPECT_EQ(sink.nodes[0].children, (std::vector<std::uint32_t>{1, 2, 4}));
  EXPECT_EQ(sink.nodes[4].children, (std::vector<std::uint32_t>{5, 6}));
  EXPECT_EQ(sink.nodes[7].children, std::vector<std::uint32_t>{8});
  const auto& group = std::get<NodeGroup>(sink.nodes[4].content);
  EXPECT_EQ(group.label, "C");
  EXPECT_EQ(group.heading_level, 2);
  EXPECT_EQ(group.heading_text, "C");
  const auto& heading = std::get<NodeHeading>(sink.nodes[5].content);
  EXPECT_EQ(heading.level, 2);
  EXPECT_EQ(heading.text, "C");
}

TEST(StructureSinkTest, LowerLevelAfterDeeperClosesOnlyDeeper) {
  StructureSink sink;
  doc_struct_add_heading(sink, 1, "A", std::nullopt);  // 0,1
  doc_struct_add_heading(sink, 3, "B", std::nullopt);  // 2,3
  doc_struct_add_heading(sink, 2, "C", std::nullopt);  // 4,5
  EXPECT_EQ(sink.nodes[2].parent, 0u);
  EXPECT_EQ(sink.nodes[4].parent, 0u);
  ASSERT_EQ(sink.open_sections.size(), 2u);
  EXPECT_EQ(sink.open_sections.back().group_node, 4u);
}

TEST(StructureSinkTest, HeadingIdAttribute) {
  StructureSink sink;
  doc_struct_add_heading(sink, 1, "A", std::nullopt);
  doc_struct_add_heading(sink, 1, "B", std::string());
  doc_struct_add_heading(sink, 1, "C", std::string("sec"));
  EXPECT_FALSE(sink.nodes[1].attributes);
  EXPECT_FALSE(sink.nodes[0].attributes);
  ASSERT_TRUE(sink.nodes[3].attributes);
  EXPECT_EQ(*sink.nodes[3].attributes, (AttributeList{{"id", ""}}));
  EXPECT_EQ(*sink.nodes[5].attributes, (AttributeList{{"id", "sec"}}));
}

TEST(StructureSinkTest, EmptyParagraphAddsNothing) {
  StructureSink sink;
  EXPECT_EQ(doc_struct_add_paragraph(sink, ""), kNoStructureNode);
  EXPECT_TRUE(sink.nodes.empty());
  EXPECT_EQ(doc_struct_add_paragraph(sink, "x"), 0u);
}

TEST(StructureSinkTest, NestedListsHangUnderSection) {
  StructureSink sink;
  doc_struct_add_heading(sink, 2, "S", std::nullopt);  // 0,1
  doc_struct_add_list(sink, true);                     // 2
  doc_struct_add_list_item(sink, "outer");             // 3
  doc_struct_add_list(sink, false);                    // 4
  doc_struct_add_list_item(sink, "inner");             // 5
  doc_struct_end_list(sink);
  doc_struct_add_paragraph(sink, "in item");           // 6
  doc_struct_add_list_item(sink, "outer2");            // 7
  doc_struct_end_list(sink);
  doc_struct_end_list(sink);                           // extra end: no effect
  doc_struct_add_list_item(sink, "orphan");            // 8

  EXPECT_EQ(sink.nodes[2].parent, 0u);
  EXPECT_EQ(sink.nodes[3].parent, 2u);
  EXPECT_EQ(sink.nodes[4].parent, 0u);
  EXPECT_EQ(sink.nodes[5].parent, 4u);
  EXPECT_EQ(sink.nodes[6].parent, 0u);
  EXPECT_EQ(sink.nodes[7].parent, 2u);
  EXPECT_EQ(sink.nodes[8].parent, 0u);
  EXPECT_EQ(sink.nodes[2].id, doc_struct_node_id("list", "ordered", 2));
  EXPECT_EQ(sink.nodes[4].id, doc_struct_node_id("list", "unordered", 4));
  EXPECT_TRUE(std::get<NodeList>(sink.nodes[2].content).ordered);
}

TEST(StructureSinkTest, ImagesCodeAndTables) {
  StructureSink sink;
  doc_struct_add_image(sink, std::nullopt, std::string());
  doc_struct_add_image(sink, std::string("a.png"), std::string("alt"));
  doc_struct_add_code(sink, "x = 1", std::string());
  TableGrid grid;
  doc_struct_add_table(sink, grid, "| |");
  grid.rows = 12;
  grid.cols = 1;
  grid.cells.push_back(TableCell{"c", 0, 0, 1, 1, true});
  doc_struct_add_table(sink, grid, "md");

  EXPECT_EQ(sink.nodes[0].id, doc_struct_node_id("image", "img", 0));
  const auto& bare = std::get<NodeImage>(sink.nodes[0].content);
  EXPECT_FALSE(bare.description);
  EXPECT_FALSE(bare.src);
  EXPECT_FALSE(bare.image_index);
  const auto& img = std::get<NodeImage>(sink.nodes[1].content);
  EXPECT_EQ(sink.nodes[1].id, doc_struct_node_id("image", "a.png", 1));
  EXPECT_EQ(img.description, "alt");
  EXPECT_EQ(img.src, "a.png");
  EXPECT_EQ(std::get<NodeCode>(sink.nodes[2].content).language, "");
  EXPECT_EQ(sink.nodes[3].id, doc_struct_node_id("table", "0", 3));
  EXPECT_EQ(sink.nodes[4].id, doc_struct_node_id("table", "12", 4));
  EXPECT_EQ(std::get<NodeTable>(sink.nodes[4].content).grid.cells.size(), 1u);

  const auto finished = doc_struct_finish(std::move(sink));
  EXPECT_EQ(finished.document.source_format, "html");
  EXPECT_EQ(finished.document.nodes.size(), 5u);
  ASSERT_EQ(finished.tables.size(), 2u);
  EXPECT_EQ(finished.tables[0].markdown, "| |");
  EXPECT_EQ(finished.tables[1].grid.rows, 12u);
  for (const auto& node : finished.document.nodes) EXPECT_TRUE(node.annotations.empty());
}

}  // namespace
}  // namespace tidewell
