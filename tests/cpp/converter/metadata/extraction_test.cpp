#include <gtest/gtest.h>

#include <string>

#include "converter/metadata/extraction.hpp"

namespace tidewell {
namespace {

DocumentMetadata map_entries(const HeadMetadataMap& entries) {
  DocumentMetadata doc;
  apply_head_entries(entries, doc);
  return doc;
}

TEST(TextDirection, Parse) {
  const struct {
    const char* text;
    std::optional<TextDirection> expected;
  } cases[] = {
      {"ltr", TextDirection::Ltr}, {"RTL", TextDirection::Rtl}, {"Auto", TextDirection::Auto},
      {" rtl", std::nullopt},      {"rtl ", std::nullopt},      {"right", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_text_direction(c.text), c.expected) << c.text;
}

TEST(SplitCommaList, Pieces) {
  EXPECT_EQ(split_comma_list("a, b,, c"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(split_comma_list(" ,\xC2\xA0, "), std::vector<std::string>{});
  EXPECT_EQ(split_comma_list(""), std::vector<std::string>{});
  EXPECT_EQ(split_comma_list("one"), std::vector<std::string>{"one"});
  EXPECT_EQ(split_comma_list("x y ,z"), (std::vector<std::string>{"x y", "z"}));
}

TEST(HeadEntryMapping, SocialMaps) {
  const auto doc = map_entries({{"meta-og:title", "OT"},
                                {"meta-og:image:width", "640"},
                                {"meta-twitter:card", "summary"},
                                {"meta-og:og:x", "1"},
                                {"meta-OG:Type", "article"}});
  EXPECT_EQ(doc.open_graph, (OrderedMap{{"title", "OT"}, {"image_width", "640"}, {"x", "1"}, {"type", "article"}}));
  EXPECT_EQ(doc.twitter_card, (OrderedMap{{"card", "summary"}}));
  EXPECT_TRUE(doc.meta_tags.empty());
}

TEST(HeadEntryMapping, AuthorFirstInKeyOrder) {
  EXPECT_EQ(map_entries({{"meta-author", "A"}, {"meta-publisher", "P"}}).author, "A");
  EXPECT_EQ(map_entries({{"meta-creator", "C"}}).author, "C");
  EXPECT_EQ(map_entries({{"meta-dc.creator", "D"}, {"meta-publisher", "P"}}).author, "D");
}

TEST(HeadEntryMapping, TitleAndDublinCore) {
  EXPECT_EQ(map_entries({{"meta-dc.title", "D"}, {"title", "T"}}).title, "T");
  EXPECT_EQ(map_entries({{"meta-dc.title", "D"}}).title, "D");
  EXPECT_EQ(map_entries({{"meta-dcterms.alternative", "Alt"}}).title, "Alt");
  const auto dc_alt = map_entries({{"meta-dc.alternative", "x"}, {"meta-dc.abstract", "y"}});
  EXPECT_FALSE(dc_alt.title);
  EXPECT_FALSE(dc_alt.description);
  EXPECT_EQ(dc_alt.meta_tags, (OrderedMap{{"dc_abstract", "y"}, {"dc_alternative", "x"}}));
  const auto desc = map_entries({{"meta-description", "M"}, {"meta-dcterms.abstract", "X"}});
  EXPECT_EQ(desc.description, "M");
  EXPECT_EQ(map_entries({{"meta-dcterms.abstract", "X"}}).description, "X");
  EXPECT_EQ(map_entries({{"meta-dc.dc-subject", "s1, s2"}}).keywords, (std::vector<std::string>{"s1", "s2"}));
}

TEST(HeadEntryMapping, Keywords) {
  EXPECT_EQ(map_entries({{"meta-keywords", "a, b,, c"}}).keywords, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(map_entries({{"meta-category", "x"}, {"meta-keywords", "y"}}).keywords, std::vector<std::string>{"x"});
  // A list that comes out empty leaves the field open for the next entry.
  EXPECT_EQ(map_entries({{"meta-category", " , "}, {"meta-keywords", "y"}}).keywords,
            std::vector<std::string>{"y"});
}

TEST(HeadEntryMapping, OtherMetaTags) {
  const auto doc = map_entries({{"meta-Viewport", "w"},
                                {"meta-DC.Rights", "r"},
                                {"meta-dcterms.created", "2020"},
                                {"meta-article:published_time", "t"},
                                {"meta-", "empty"},
                                {"meta-meta-x", "twice"},
                                {"meta-dc.date-issued", "d"}});
  EXPECT_EQ(doc.meta_tags, (OrderedMap{{"", "empty"},
                                       {"Viewport", "w"},
                                       {"article-published_time", "t"},
                                       {"dc_date_issued", "d"},
                                       {"dc_rights", "r"},
                                       {"dcterms_created", "2020"},
                                       {"meta-x", "twice"}}));
}

TEST(HeadEntryMapping, UrlsAndRawValues) {
  const auto doc =
      map_entries({{"canonical", "https://x.org/a"}, {"base", "/b/"}, {"meta-description", "  a &amp; b "}});
  EXPECT_EQ(doc.canonical_url, "https://x.org/a");
  EXPECT_EQ(doc.base_href, "/b/");
  EXPECT_EQ(doc.description, "  a &amp; b ");
  EXPECT_EQ(map_entries({{"meta-base-href", "/c/"}}).base_href, "/c/");
}

TEST(BuildHtmlMetadata, EmptySink) {
  const HtmlMetadata meta = build_html_metadata(MetadataSink{});
  const DocumentMetadata& d = meta.document;
  EXPECT_FALSE(d.title || d.description || d.author || d.canonical_url || d.base_href || d.language);
  EXPECT_FALSE(d.text_direction);
  EXPECT_TRUE(d.keywords.empty() && d.open_graph.empty() && d.twitter_card.empty() && d.meta_tags.empty());
  EXPECT_TRUE(meta.headers.empty() && meta.links.empty() && meta.images.empty() && meta.structured_data.empty());
}

TEST(BuildHtmlMetadata, MovesListsAndDirection) {
  MetadataSink sink;
  sink.language = "";
  sink.direction = "RTL";
  sink.headers.push_back(HeaderMetadata{2, "h", std::nullopt, 1, 0});
  sink.links.push_back(LinkMetadata{"/a", "a", std::nullopt, LinkType::Internal, {}, {}});
  sink.images.push_back(ImageMetadata{"i.png", std::nullopt, std::nullopt, std::nullopt, ImageType::Relative, {}});
  sink.json_ld = {"{\"@type\":\"Article\"}", "not json"};
  const HtmlMetadata meta = build_html_metadata(std::move(sink));
  EXPECT_EQ(meta.document.language, "");
  EXPECT_EQ(meta.document.text_direction, TextDirection::Rtl);
  EXPECT_EQ(meta.headers.size(), 1u);
  EXPECT_EQ(meta.links.size(), 1u);
  EXPECT_EQ(meta.images.size(), 1u);
  ASSERT_EQ(meta.structured_data.size(), 2u);
  EXPECT_EQ(meta.structured_data[1].raw_json, "not json");
  EXPECT_EQ(meta.structured_data[1].data_type, StructuredDataType::JsonLd);
  EXPECT_FALSE(meta.structured_data[1].schema_type);

  MetadataSink bad_dir;
  bad_dir.direction = "right";
  EXPECT_FALSE(build_html_metadata(std::move(bad_dir)).document.text_direction);
}

}  // namespace
}  // namespace tidewell

namespace tidewell {
namespace {

TEST(JsonLdSchemaType, Steps) {
  const struct {
    const char* text;
    std::optional<std::string> expected;
  } cases[] = {
      // Step 1: the first "@type" occurrence, string or array of strings.
      {R"({"@context":"https://schema.org","@type":"Article"})", "Article"},
      {R"({"@type" :
          [ "Article", "NewsArticle"]})", "Article"},
      {R"({"@type":"News\u0041rt"})", "NewsArt"},
      {R"({"@type":"a\"b"})", "a\"b"},
      {R"({"author":{"@type":"Person","name":"x"}})", "Person"},
      {R"(not json at all "@type": "Thing" ,,,)", "Thing"},
      // Nothing from any step.
      {R"({"@type":{"@id":"x"}})", std::nullopt},
      {R"({"@type":[]})", std::nullopt},
      {R"({"@type":[1,"A"]})", std::nullopt},
      {R"({"@type":12})", std::nullopt},
      {R"({"@type":"unterminated)", std::nullopt},
      {R"({"@type":"bad \x escape"})", std::nullopt},
      {R"({"name":"x"})", std::nullopt},
      {"", std::nullopt},
      // Step 2: the first occurrence is no string, the top-level one is.
      {R"({"about":{"@type":{"x":1}},"@type":"WebSite"})", "WebSite"},
      // Step 3: first typed object of the top-level graph.
      {R"({"@graph":["bare",{"@type":{"o":1}},{"@type":"WebPage"},{"@type":"Later"}]})", "WebPage"},
      {R"({"@graph":[{"name":"no type"},{"@type":"Org"}]})", "Org"},
      {R"({"@graph":{"@type":{"o":1}}})", std::nullopt},
      {R"([{"@graph":[{"@type":{}}, {"@type":"X"}]}])", std::nullopt},
      // Invalid JSON: the parse steps give nothing.
      {R"({"@graph":[{"@type":{}}, {"@type":"X"}],})", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(json_ld_schema_type(c.text), c.expected) << c.text;
}

TEST(JsonLdSchemaType, DeepNestingAndLargeText) {
  // Nesting far beyond the reader's limit: refused, not crashed.
  std::string deep = "{\"@graph\":";
  deep.append(200'000, '[');
  deep.append(200'000, ']');
  deep += ",\"@type\":{}}";
  EXPECT_FALSE(json_ld_schema_type(deep));

  // A multi-megabyte text whose type comes from the full parse.
  std::string big = "{\"about\":{\"@type\":{}},\"items\":[";
  for (int i = 0; i < 300'000; ++i) big += "\"xxxxxxxxxxxxxxx\",";
  big += "0],\"@type\":\"Dataset\"}";
  ASSERT_GT(big.size(), 5'000'000u);
  EXPECT_EQ(json_ld_schema_type(big), "Dataset");
}

}  // namespace
}  // namespace tidewell
