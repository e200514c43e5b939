#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "result/result.hpp"
#include "result/result_writer.hpp"

namespace tidewell {
namespace {

std::string result_json(const ConversionResult& result) {
  std::string buf;
  serialize_conversion_result(result, buf);
  return buf;
}

std::string node_json(const DocumentNode& node) {
  std::string buf;
  serialize_document_node(node, buf);
  return buf;
}

std::string json_string(std::string_view text) {
  std::string buf;
  append_json_string(buf, text);
  return buf;
}

constexpr const char* kEmptyMetadata =
    "{\"document\":{\"title\":null,\"description\":null,\"keywords\":[],\"author\":null,"
    "\"canonical_url\":null,\"base_href\":null,\"language\":null,\"text_direction\":null,"
    "\"open_graph\":{},\"twitter_card\":{},\"meta_tags\":{}},\"headers\":[],\"links\":[],"
    "\"images\":[],\"structured_data\":[]}";

TEST(ResultWriter, ResultWithoutMetadata) {
  ConversionResult result;
  result.content = "x";
  EXPECT_EQ(result_json(result), std::string("{\"content\":\"x\",\"document\":null,\"metadata\":") + kEmptyMetadata +
                                     ",\"tables\":[],\"warnings\":[]}");
  result.content.reset();
  EXPECT_EQ(result_json(result), std::string("{\"content\":null,\"document\":null,\"metadata\":") + kEmptyMetadata +
                                     ",\"tables\":[],\"warnings\":[]}");
}

TEST(ResultWriter, AppendsToExistingBuffer) {
  std::string buf = "abc";
  serialize_conversion_result(ConversionResult{}, buf);
  EXPECT_EQ(buf.substr(0, 14), "abc{\"content\":");
}

TEST(ResultWriter, StringEscaping) {
  struct Case {
    std::string in;
    const char* out;
  };
  const Case cases[] = {
      {"", "\"\""},
      {"plain text", "\"plain text\""},
      {"a\tb\nc", "\"a\\tb\\nc\""},
      {std::string("\x01", 1), "\"\\u0001\""},
      {std::string("\0", 1), "\"\\u0000\""},
      {"\x1f\x1b", "\"\\u001f\\u001b\""},
      {"\b\f\r", "\"\\b\\f\\r\""},
      {"\x0b", "\"\\u000b\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"back\\slash", "\"back\\\\slash\""},
      {"a/b", "\"a/b\""},
      {"\x7f", "\"\x7f\""},
      {"\xC3\xA9", "\"\xC3\xA9\""},
      {"\xF0\x9F\x98\x80 long run of plain text around \xE2\x82\xAC",
       "\"\xF0\x9F\x98\x80 long run of plain text around \xE2\x82\xAC\""},
      // Escapes inside and at the edges of long runs.
      {"0123456789abcdef\"0123456789abcdef\\", "\"0123456789abcdef\\\"0123456789abcdef\\\\\""},
      // Invalid UTF-8 becomes U+FFFD, one per maximal ill-formed subpart.
      {"a\xFF" "b", "\"a\xEF\xBF\xBD" "b\""},
      {"\xC3", "\"\xEF\xBF\xBD\""},
      {"\xE2\x82", "\"\xEF\xBF\xBD\""},
      {"\xE2\x82x", "\"\xEF\xBF\xBDx\""},
      {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {"\xF4\x90\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {"\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
  };
  for (const Case& c : cases) EXPECT_EQ(json_string(c.in), c.out) << c.in;
}

// Random valid UTF-8 built from the byte classes the writer treats apart,
// at lengths that cross the eight-byte scanning steps, against a byte-wise
// reference.
TEST(ResultWriter, StringEscapingMatchesReference) {
  const char* pieces[] = {"a", "Z", " ", "/", "\x7f", "\"", "\\", "\n", "\x01", "\x1f", "\xC3\xA9",
                          "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "0123456"};
  std::mt19937 rng(12345);
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const int count = static_cast<int>(rng() % 40);
    for (int i = 0; i < count; ++i) text += pieces[rng() % (sizeof(pieces) / sizeof(pieces[0]))];
    std::string expected = "\"";
    for (unsigned char b : text) {
      switch (b) {
        case '"': expected += "\\\""; break;
        case '\\': expected += "\\\\"; break;
        case '\b': expected += "\\b"; break;
        case '\t': expected += "\\t"; break;
        case '\n': expected += "\\n"; break;
        case '\f': expected += "\\f"; break;
        case '\r': expected += "\\r"; break;
        default:
          if (b < 0x20) {
            char tmp[8];
            std::snprintf(tmp, sizeof(tmp), "\\u%04x", b);
            expected += tmp;
          } else {
            expected.push_back(static_cast<char>(b));
          }
      }
    }
    expected += "\"";
    ASSERT_EQ(json_string(text), expected) << text;
  }
}

TEST(ResultWriter, ContentEscapingInResult) {
  ConversionResult result;
  result.content = std::string("\t\n\x01\"\\/\xC3\xA9");
  const std::string json = result_json(result);
  const std::string prefix = "{\"content\":\"\\t\\n\\u0001\\\"\\\\/\xC3\xA9\",\"document\":null,";
  EXPECT_EQ(json.substr(0, prefix.size()), prefix);
}

TEST(ResultWriter, FilledMetadata) {
  ConversionResult result;
  DocumentMetadata& doc = result.metadata.document;
  doc.title = "T";
  doc.keywords = {"a", "b"};
  doc.language = "en";
  doc.text_direction = TextDirection::Rtl;
  doc.open_graph = {{"b", "2"}, {"a", "1"}, {"B", "3"}};
  doc.meta_tags = {{"z", "\"q\""}};
  result.metadata.headers.push_back({2, "Head", "h", 3, 0});
  result.metadata.headers.push_back({1, "Other", std::nullopt, 18446744073709551615ULL, 0});
  LinkMetadata link;
  link.href = "https://x.org/";
  link.text = "X";
  link.link_type = LinkType::External;
  link.rel = {"nofollow", "noopener"};
  link.attributes = {{"class", "c"}};
  result.metadata.links.push_back(link);
  ImageMetadata img;
  img.src = "a.png";
  img.alt = "";
  img.dimensions = std::make_pair(640u, 480u);
  img.image_type = ImageType::Relative;
  result.metadata.images.push_back(img);
  img.dimensions.reset();
  img.alt.reset();
  img.image_type = ImageType::DataUri;
  result.metadata.images.push_back(img);
  result.metadata.structured_data.push_back({StructuredDataType::JsonLd, "{\"@type\":\"X\"}", "X"});
  result.metadata.structured_data.push_back({StructuredDataType::Rdfa, "", std::nullopt});

  const std::string expected =
      "{\"content\":null,\"document\":null,\"metadata\":{\"document\":{\"title\":\"T\",\"description\":null,"
      "\"keywords\":[\"a\",\"b\"],\"author\":null,\"canonical_url\":null,\"base_href\":null,\"language\":\"en\","
      "\"text_direction\":\"rtl\",\"open_graph\":{\"B\":\"3\",\"a\":\"1\",\"b\":\"2\"},\"twitter_card\":{},"
      "\"meta_tags\":{\"z\":\"\\\"q\\\"\"}},"
      "\"headers\":[{\"level\":2,\"text\":\"Head\",\"id\":\"h\",\"depth\":3,\"html_offset\":0},"
      "{\"level\":1,\"text\":\"Other\",\"id\":null,\"depth\":18446744073709551615,\"html_offset\":0}],"
      "\"links\":[{\"href\":\"https://x.org/\",\"text\":\"X\",\"title\":null,\"link_type\":\"external\","
      "\"rel\":[\"nofollow\",\"noopener\"],\"attributes\":{\"class\":\"c\"}}],"
      "\"images\":[{\"src\":\"a.png\",\"alt\":\"\",\"title\":null,\"dimensions\":[640,480],"
      "\"image_type\":\"relative\",\"attributes\":{}},"
      "{\"src\":\"a.png\",\"alt\":null,\"title\":null,\"dimensions\":null,\"image_type\":\"data_uri\","
      "\"attributes\":{}}],"
      "\"structured_data\":[{\"data_type\":\"json_ld\",\"raw_json\":\"{\\\"@type\\\":\\\"X\\\"}\","
      "\"schema_type\":\"X\"},{\"data_type\":\"rdfa\",\"raw_json\":\"\",\"schema_type\":null}]},"
      "\"tables\":[],\"warnings\":[]}";
  EXPECT_EQ(result_json(result), expected);
}

TEST(ResultWriter, EnumNames) {
  const std::pair<LinkType, const char*> links[] = {
      {LinkType::Anchor, "anchor"}, {LinkType::Internal, "internal"}, {LinkType::External, "external"},
      {LinkType::Email, "email"},   {LinkType::Phone, "phone"},       {LinkType::Other, "other"}};
  for (auto [v, n] : links) EXPECT_STREQ(link_type_name(v), n);
  const std::pair<ImageType, const char*> images[] = {{ImageType::DataUri, "data_uri"},
                                                      {ImageType::InlineSvg, "inline_svg"},
                                                      {ImageType::External, "external"},
                                                      {ImageType::Relative, "relative"}};
  for (auto [v, n] : images) EXPECT_STREQ(image_type_name(v), n);
  const std::pair<TextDirection, const char*> dirs[] = {
      {TextDirection::Ltr, "ltr"}, {TextDirection::Rtl, "rtl"}, {TextDirection::Auto, "auto"}};
  for (auto [v, n] : dirs) EXPECT_STREQ(text_direction_name(v), n);
  const std::pair<StructuredDataType, const char*> sds[] = {{StructuredDataType::JsonLd, "json_ld"},
                                                            {StructuredDataType::Microdata, "microdata"},
                                                            {StructuredDataType::Rdfa, "rdfa"}};
  for (auto [v, n] : sds) EXPECT_STREQ(structured_data_type_name(v), n);
  const std::pair<WarningKind, const char*> warnings[] = {
      {WarningKind::ImageExtractionFailed, "image_extraction_failed"},
      {WarningKind::EncodingFallback, "encoding_fallback"},
      {WarningKind::TruncatedInput, "truncated_input"},
      {WarningKind::MalformedHtml, "malformed_html"},
      {WarningKind::SanitizationApplied, "sanitization_applied"},
      {WarningKind::DepthLimitExceeded, "depth_limit_exceeded"}};
  for (auto [v, n] : warnings) EXPECT_STREQ(warning_kind_name(v), n);
}

TEST(ResultWriter, TablesAndWarnings) {
  ConversionResult result;
  TableData table;
  table.grid.rows = 1;
  table.grid.cols = 3;
  table.grid.cells.push_back({"H", 0, 0, 1, 2, true});
  table.grid.cells.push_back({"c", 0, 2, 1, 1, false});
  table.markdown = "| H |";
  result.tables.push_back(table);
  result.warnings.push_back({"m", WarningKind::DepthLimitExceeded});
  const std::string json = result_json(result);
  const std::string tail =
      ",\"tables\":[{\"grid\":{\"rows\":1,\"cols\":3,\"cells\":[{\"content\":\"H\",\"row\":0,\"col\":0,"
      "\"row_span\":1,\"col_span\":2,\"is_header\":true},{\"content\":\"c\",\"row\":0,\"col\":2,\"row_span\":1,"
      "\"col_span\":1,\"is_header\":false}]},\"markdown\":\"| H |\"}],"
      "\"warnings\":[{\"message\":\"m\",\"kind\":\"depth_limit_exceeded\"}]}";
  ASSERT_GE(json.size(), tail.size());
  EXPECT_EQ(json.substr(json.size() - tail.size()), tail);
}

TEST(ResultWriter, TableGridComma) {
  TableGrid grid;
  std::string buf;
  serialize_table_grid(grid, buf, false);
  EXPECT_EQ(buf, "\"grid\":{\"rows\":0,\"cols\":0,\"cells\":[]}");
  buf.clear();
  serialize_table_grid(grid, buf, true);
  EXPECT_EQ(buf, ",\"grid\":{\"rows\":0,\"cols\":0,\"cells\":[]}");
}

TEST(ResultWriter, DocumentObject) {
  ConversionResult result;
  result.document.emplace();
  DocumentNode node;
  node.id = "n0";
  node.content = NodeParagraph{"p"};
  result.document->nodes.push_back(node);
  std::string json = result_json(result);
  EXPECT_NE(json.find(",\"document\":{\"nodes\":[{\"id\":\"n0\",\"content\":{\"node_type\":\"paragraph\","
                      "\"text\":\"p\"}}]},\"metadata\":"),
            std::string::npos)
      << json;
  result.document->source_format = "html";
  result.document->nodes.push_back(node);
  json = result_json(result);
  EXPECT_NE(json.find(",\"document\":{\"nodes\":[{\"id\":\"n0\",\"content\":{\"node_type\":\"paragraph\","
                      "\"text\":\"p\"}},{\"id\":\"n0\",\"content\":{\"node_type\":\"paragraph\",\"text\":\"p\"}}],"
                      "\"source_format\":\"html\"},\"metadata\":"),
            std::string::npos)
      << json;
  result.document->nodes.clear();
  result.document->source_format.reset();
  json = result_json(result);
  EXPECT_NE(json.find(",\"document\":{\"nodes\":[]},"), std::string::npos) << json;
}

TEST(ResultWriter, NodeContentKinds) {
  TableGrid grid;
  grid.rows = 1;
  grid.cols = 1;
  grid.cells.push_back({"x", 0, 0, 1, 1, false});
  struct Case {
    NodeContent content;
    const char* json;
  };
  const Case cases[] = {
      {NodeHeading{3, "H"}, "{\"node_type\":\"heading\",\"level\":3,\"text\":\"H\"}"},
      {NodeParagraph{"p"}, "{\"node_type\":\"paragraph\",\"text\":\"p\"}"},
      {NodeList{true}, "{\"node_type\":\"list\",\"ordered\":true}"},
      {NodeList{false}, "{\"node_type\":\"list\",\"ordered\":false}"},
      {NodeListItem{"i"}, "{\"node_type\":\"list_item\",\"text\":\"i\"}"},
      {NodeTable{grid},
       "{\"node_type\":\"table\",\"grid\":{\"rows\":1,\"cols\":1,\"cells\":[{\"content\":\"x\",\"row\":0,"
       "\"col\":0,\"row_span\":1,\"col_span\":1,\"is_header\":false}]}}"},
      {NodeImage{}, "{\"node_type\":\"image\"}"},
      {NodeImage{"d", "s", 4u}, "{\"node_type\":\"image\",\"description\":\"d\",\"src\":\"s\",\"image_index\":4}"},
      {NodeImage{std::nullopt, "s", std::nullopt}, "{\"node_type\":\"image\",\"src\":\"s\"}"},
      {NodeCode{"c", std::nullopt}, "{\"node_type\":\"code\",\"text\":\"c\"}"},
      {NodeCode{"c", "rust"}, "{\"node_type\":\"code\",\"text\":\"c\",\"language\":\"rust\"}"},
      {NodeQuote{}, "{\"node_type\":\"quote\"}"},
      {NodeDefinitionList{}, "{\"node_type\":\"definition_list\"}"},
      {NodeDefinitionItem{"t", "d"}, "{\"node_type\":\"definition_item\",\"term\":\"t\",\"definition\":\"d\"}"},
      {NodeRawBlock{"html", "<b>"}, "{\"node_type\":\"raw_block\",\"format\":\"html\",\"content\":\"<b>\"}"},
      {NodeMetadataBlock{}, "{\"node_type\":\"metadata_block\",\"entries\":[]}"},
      {NodeMetadataBlock{{{"k", "v"}, {"a", "b"}}},
       "{\"node_type\":\"metadata_block\",\"entries\":[[\"k\",\"v\"],[\"a\",\"b\"]]}"},
      {NodeGroup{}, "{\"node_type\":\"group\"}"},
      {NodeGroup{"L", 2, "T"}, "{\"node_type\":\"group\",\"label\":\"L\",\"heading_level\":2,\"heading_text\":\"T\"}"},
      {NodeGroup{std::nullopt, 0, std::nullopt}, "{\"node_type\":\"group\",\"heading_level\":0}"},
  };
  for (const Case& c : cases) {
    DocumentNode node;
    node.id = "id";
    node.content = c.content;
    EXPECT_EQ(node_json(node), std::string("{\"id\":\"id\",\"content\":") + c.json + "}");
  }
}

TEST(ResultWriter, NodeOptionalKeys) {
  DocumentNode node;
  node.id = "heading-1";
  node.content = NodeHeading{1, "T"};
  const std::string head = "{\"id\":\"heading-1\",\"content\":{\"node_type\":\"heading\",\"level\":1,\"text\":\"T\"}";
  EXPECT_EQ(node_json(node), head + "}");

  node.parent = 0;
  EXPECT_EQ(node_json(node), head + ",\"parent\":0}");

  node.parent.reset();
  node.children = {1, 2};
  node.attributes = AttributeList{{"id", "x"}};
  EXPECT_EQ(node_json(node), head + ",\"children\":[1,2],\"attributes\":{\"id\":\"x\"}}");

  node.parent = 7;
  node.children.clear();
  node.annotations.push_back({0, 1, AnnotationKind{AnnotationType::Bold, "", std::nullopt}});
  node.annotations.push_back({2, 5, AnnotationKind::link("u")});
  node.annotations.push_back({5, 6, AnnotationKind::link("u", "t")});
  node.attributes = AttributeList{{"z", "1"}, {"a", "2"}};  // insertion order
  EXPECT_EQ(node_json(node),
            head + ",\"parent\":7,\"annotations\":[{\"start\":0,\"end\":1,\"kind\":{\"annotation_type\":\"bold\"}},"
                   "{\"start\":2,\"end\":5,\"kind\":{\"annotation_type\":\"link\",\"url\":\"u\"}},"
                   "{\"start\":5,\"end\":6,\"kind\":{\"annotation_type\":\"link\",\"url\":\"u\",\"title\":\"t\"}}],"
                   "\"attributes\":{\"z\":\"1\",\"a\":\"2\"}}");

  node.annotations.clear();
  node.parent.reset();
  node.attributes = AttributeList{};
  EXPECT_EQ(node_json(node), head + ",\"attributes\":{}}");
}

TEST(ResultWriter, AnnotationTypeNames) {
  const char* names[] = {"bold", "italic", "underline", "strikethrough", "code",
                         "subscript", "superscript", "highlight", "link"};
  for (int i = 0; i < 9; ++i) EXPECT_STREQ(annotation_type_name(static_cast<AnnotationType>(i)), names[i]);
}

}  // namespace
}  // namespace tidewell
