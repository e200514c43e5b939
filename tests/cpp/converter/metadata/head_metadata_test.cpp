#include <gtest/gtest.h>

#include <string>

#include "converter/metadata/head_metadata.hpp"

namespace tidewell {
namespace {

TEST(MetadataSinkOps, FreshSinkState) {
  MetadataSink sink;
  EXPECT_EQ(sink.json_ld_budget, 1'000'000u);
  EXPECT_EQ(sink.json_ld_bytes, 0u);
  EXPECT_TRUE(sink.collect_document && sink.collect_headers && sink.collect_links && sink.collect_images &&
              sink.collect_structured_data);
  EXPECT_FALSE(sink.language);
  EXPECT_FALSE(sink.direction);
  EXPECT_TRUE(sink.head_entries.empty());
}

TEST(MetadataSinkOps, LanguageAndDirectionKeepFirst) {
  MetadataSink sink;
  metadata_set_language(sink, "");
  metadata_set_language(sink, "de");
  metadata_set_direction(sink, "rtl");
  metadata_set_direction(sink, "ltr");
  EXPECT_EQ(sink.language, "");
  EXPECT_EQ(sink.direction, "rtl");

  MetadataSink off;
  off.collect_document = false;
  metadata_set_language(off, "en");
  metadata_set_direction(off, "ltr");
  merge_head_metadata(off, {{"title", "T"}});
  EXPECT_FALSE(off.language);
  EXPECT_FALSE(off.direction);
  EXPECT_TRUE(off.head_entries.empty());
}

TEST(MetadataSinkOps, MergeReplacesPresentKeys) {
  MetadataSink sink;
  merge_head_metadata(sink, {{"title", "A"}, {"base", "/"}});
  merge_head_metadata(sink, {{"title", "B"}, {"canonical", "c"}});
  EXPECT_EQ(sink.head_entries, (HeadMetadataMap{{"base", "/"}, {"canonical", "c"}, {"title", "B"}}));
}

TEST(MetadataSinkOps, JsonLdBudget) {
  MetadataSink sink;
  metadata_add_json_ld(sink, std::string(600'000, 'a'));
  metadata_add_json_ld(sink, std::string(500'000, 'b'));
  metadata_add_json_ld(sink, std::string(400'000, 'c'));
  ASSERT_EQ(sink.json_ld.size(), 2u);
  EXPECT_EQ(sink.json_ld[0].front(), 'a');
  EXPECT_EQ(sink.json_ld[1].front(), 'c');
  EXPECT_EQ(sink.json_ld_bytes, 1'000'000u);
  metadata_add_json_ld(sink, "x");
  EXPECT_EQ(sink.json_ld.size(), 2u);
  metadata_add_json_ld(sink, "");  // an empty text fits in any budget
  EXPECT_EQ(sink.json_ld.size(), 3u);

  MetadataSink exact;
  metadata_add_json_ld(exact, std::string(1'000'000, 'x'));
  EXPECT_EQ(exact.json_ld.size(), 1u);

  MetadataSink huge;
  metadata_add_json_ld(huge, std::string(5'000'000, '{'));
  metadata_add_json_ld(huge, std::string(1'000'001, 'x'));
  metadata_add_json_ld(huge, "{}");
  ASSERT_EQ(huge.json_ld.size(), 1u);
  EXPECT_EQ(huge.json_ld[0], "{}");
  EXPECT_EQ(huge.json_ld_bytes, 2u);

  MetadataSink off;
  off.collect_structured_data = false;
  metadata_add_json_ld(off, "{}");
  EXPECT_TRUE(off.json_ld.empty());
  EXPECT_EQ(off.json_ld_bytes, 0u);
}

}  // namespace
}  // namespace tidewell
