#include "result/result.hpp"

namespace tidewell {

const char* text_direction_name(TextDirection value) {
  switch (value) {
    case TextDirection::Ltr: return "ltr";
    case TextDirection::Rtl: return "rtl";
    case TextDirection::Auto: return "auto";
  }
  return "auto";
}

const char* link_type_name(LinkType value) {
  switch (value) {
    case LinkType::Anchor: return "anchor";
    case LinkType::Internal: return "internal";
    case LinkType::External: return "external";
    case LinkType::Email: return "email";
    case LinkType::Phone: return "phone";
    case LinkType::Other: return "other";
  }
  return "other";
}

const char* image_type_name(ImageType value) {
  switch (value) {
    case ImageType::DataUri: return "data_uri";
    case ImageType::InlineSvg: return "inline_svg";
    case ImageType::External: return "external";
    case ImageType::Relative: return "relative";
  }
  return "external";
}

const char* structured_data_type_name(StructuredDataType value) {
  switch (value) {
    case StructuredDataType::JsonLd: return "json_ld";
    case StructuredDataType::Microdata: return "microdata";
    case StructuredDataType::Rdfa: return "rdfa";
  }
  return "json_ld";
}

const char* warning_kind_name(WarningKind value) {
  switch (value) {
    case WarningKind::ImageExtractionFailed: return "image_extraction_failed";
    case WarningKind::EncodingFallback: return "encoding_fallback";
    case WarningKind::TruncatedInput: return "truncated_input";
    case WarningKind::MalformedHtml: return "malformed_html";
    case WarningKind::SanitizationApplied: return "sanitization_applied";
    case WarningKind::DepthLimitExceeded: return "depth_limit_exceeded";
  }
  return "malformed_html";
}

const char* annotation_type_name(AnnotationType value) {
  switch (value) {
    case AnnotationType::Bold: return "bold";
    case AnnotationType::Italic: return "italic";
    case AnnotationType::Underline: return "underline";
    case AnnotationType::Strikethrough: return "strikethrough";
    case AnnotationType::Code: return "code";
    case AnnotationType::Subscript: return "subscript";
    case AnnotationType::Superscript: return "superscript";
    case AnnotationType::Highlight: return "highlight";
    case AnnotationType::Link: return "link";
  }
  return "bold";
}

const char* node_type_name(const NodeContent& content) {
  static constexpr const char* kNames[] = {
      "heading", "paragraph",       "list",            "list_item",  "table",          "image", "code",
      "quote",   "definition_list", "definition_item", "raw_block", "metadata_block", "group",
  };
  static_assert(sizeof(kNames) / sizeof(kNames[0]) == std::variant_size_v<NodeContent>);
  const std::size_t index = content.index();
  return index < std::variant_size_v<NodeContent> ? kNames[index] : "group";
}

}  // namespace tidewell
