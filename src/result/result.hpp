// Result records of one conversion: plain owned data, no behaviour.
//
// Field order is declaration order, which is also the key order of the JSON
// form written by result_writer. Lists keep insertion order; ordered maps
// iterate in ascending byte order of their keys.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace tidewell {

// Map from text to text, iterated in ascending byte order of the keys.
using OrderedMap = std::map<std::string, std::string>;

// Small map kept in insertion order (the node attributes).
using AttributeList = std::vector<std::pair<std::string, std::string>>;

enum class TextDirection : std::uint8_t { Ltr = 0, Rtl = 1, Auto = 2 };

enum class LinkType : std::uint8_t {
  Anchor = 0,
  Internal = 1,
  External = 2,
  Email = 3,
  Phone = 4,
  Other = 5,
};

enum class ImageType : std::uint8_t { DataUri = 0, InlineSvg = 1, External = 2, Relative = 3 };

enum class StructuredDataType : std::uint8_t { JsonLd = 0, Microdata = 1, Rdfa = 2 };

enum class WarningKind : std::uint8_t {
  ImageExtractionFailed = 0,
  EncodingFallback = 1,
  TruncatedInput = 2,
  MalformedHtml = 3,
  SanitizationApplied = 4,
  DepthLimitExceeded = 5,
};

// Names under which the enum values are written.
const char* text_direction_name(TextDirection value);
const char* link_type_name(LinkType value);
const char* image_type_name(ImageType value);
const char* structured_data_type_name(StructuredDataType value);
const char* warning_kind_name(WarningKind value);

struct DocumentMetadata {
  std::optional<std::string> title;
  std::optional<std::string> description;
  std::vector<std::string> keywords;
  std::optional<std::string> author;
  std::optional<std::string> canonical_url;
  std::optional<std::string> base_href;
  std::optional<std::string> language;
  std::optional<TextDirection> text_direction;
  OrderedMap open_graph;
  OrderedMap twitter_card;
  OrderedMap meta_tags;
};

struct HeaderMetadata {
  std::uint8_t level = 1;
  std::string text;
  std::optional<std::string> id;
  std::uint64_t depth = 0;
  std::uint64_t html_offset = 0;
};

struct LinkMetadata {
  std::string href;
  std::string text;
  std::optional<std::string> title;
  LinkType link_type = LinkType::Other;
  std::vector<std::string> rel;
  OrderedMap attributes;
};

struct ImageMetadata {
  std::string src;
  std::optional<std::string> alt;
  std::optional<std::string> title;
  // Width then height.
  std::optional<std::pair<std::uint32_t, std::uint32_t>> dimensions;
  ImageType image_type = ImageType::External;
  OrderedMap attributes;
};

struct StructuredData {
  StructuredDataType data_type = StructuredDataType::JsonLd;
  std::string raw_json;
  std::optional<std::string> schema_type;
};

struct HtmlMetadata {
  DocumentMetadata document;
  std::vector<HeaderMetadata> headers;
  std::vector<LinkMetadata> links;
  std::vector<ImageMetadata> images;
  std::vector<StructuredData> structured_data;
};

struct TableCell {
  std::string content;
  std::uint32_t row = 0;
  // Sum of the column spans of the cells before this one in its row.
  std::uint32_t col = 0;
  std::uint32_t row_span = 1;
  std::uint32_t col_span = 1;
  bool is_header = false;
};

struct TableGrid {
  std::uint32_t rows = 0;
  std::uint32_t cols = 0;
  std::vector<TableCell> cells;  // row by row
};

struct TableData {
  TableGrid grid;
  std::string markdown;
};

struct ConversionWarning {
  std::string message;
  WarningKind kind = WarningKind::MalformedHtml;
};

// Annotation kinds, in tag order. Only `Link` carries data.
enum class AnnotationType : std::uint8_t {
  Bold = 0,
  Italic = 1,
  Underline = 2,
  Strikethrough = 3,
  Code = 4,
  Subscript = 5,
  Superscript = 6,
  Highlight = 7,
  Link = 8,
};

const char* annotation_type_name(AnnotationType value);

// Tagged union of the annotation kinds: `url` and `title` are read only for
// `AnnotationType::Link`.
struct AnnotationKind {
  AnnotationType type = AnnotationType::Bold;
  std::string url;
  std::optional<std::string> title;

  static AnnotationKind link(std::string url, std::optional<std::string> title = std::nullopt) {
    return AnnotationKind{AnnotationType::Link, std::move(url), std::move(title)};
  }
};

struct TextAnnotation {
  std::uint32_t start = 0;
  std::uint32_t end = 0;
  AnnotationKind kind;
};

// Node content kinds. The alternatives of `NodeContent` are in tag order, so
// `content.index()` is the tag.
struct NodeHeading {
  std::uint8_t level = 1;
  std::string text;
};
struct NodeParagraph {
  std::string text;
};
struct NodeList {
  bool ordered = false;
};
struct NodeListItem {
  std::string text;
};
struct NodeTable {
  TableGrid grid;
};
struct NodeImage {
  std::optional<std::string> description;
  std::optional<std::string> src;
  std::optional<std::uint32_t> image_index;
};
struct NodeCode {
  std::string text;
  std::optional<std::string> language;
};
struct NodeQuote {};
struct NodeDefinitionList {};
struct NodeDefinitionItem {
  std::string term;
  std::string definition;
};
struct NodeRawBlock {
  std::string format;
  std::string content;
};
struct NodeMetadataBlock {
  std::vector<std::pair<std::string, std::string>> entries;
};
struct NodeGroup {
  std::optional<std::string> label;
  std::optional<std::uint8_t> heading_level;
  std::optional<std::string> heading_text;
};

using NodeContent = std::variant<NodeHeading, NodeParagraph, NodeList, NodeListItem, NodeTable, NodeImage,
                                 NodeCode, NodeQuote, NodeDefinitionList, NodeDefinitionItem, NodeRawBlock,
                                 NodeMetadataBlock, NodeGroup>;

// The "node_type" name of a content's kind.
const char* node_type_name(const NodeContent& content);

struct DocumentNode {
  std::string id;
  NodeContent content;
  std::optional<std::uint32_t> parent;
  std::vector<std::uint32_t> children;
  std::vector<TextAnnotation> annotations;
  // Extra attributes in insertion order; absent unless set.
  std::optional<AttributeList> attributes;
};

struct DocumentStructure {
  std::vector<DocumentNode> nodes;  // a node's position is its index
  std::optional<std::string> source_format;
};

struct ConversionResult {
  std::optional<std::string> content;
  std::optional<DocumentStructure> document;
  HtmlMetadata metadata;
  std::vector<TableData> tables;
  std::vector<ConversionWarning> warnings;
};

}  // namespace tidewell
