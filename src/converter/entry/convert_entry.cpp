#include "converter/entry/convert_entry.hpp"

#include <cstring>
#include <string>

#include "converter/entry/input_guard.hpp"
#include "converter/entry/plain_road.hpp"
#include "converter/entry/wrap.hpp"
#include "converter/metadata/extraction.hpp"
#include "converter/tier1/eligibility.hpp"
#include "converter/document/convert_document.hpp"
#include "streaming/quillmoor.hpp"

namespace tidewell {
namespace {

bool holds_byte(std::string_view text, char c) { return std::memchr(text.data(), c, text.size()) != nullptr; }

Outcome<ConversionResult> content_only(std::string content) {
  ConversionResult result;
  result.content = std::move(content);
  return result;
}

// The DOM road: the only one that gathers metadata, tables and structure.
Outcome<ConversionResult> convert_dom(std::string_view prepared, const ConversionOptions& options) {
  std::optional<MetadataSink> metadata;
  if (options.extract_metadata) metadata.emplace();
  std::optional<StructureSink> structure;
  if (options.include_document_structure) structure.emplace();

  Outcome<DocumentConversion> converted = convert_document(prepared, options, metadata ? &*metadata : nullptr,
                                                           structure ? &*structure : nullptr);
  if (!converted) return std::move(converted).error();
  DocumentConversion& doc = converted.value();

  ConversionResult result;
  result.content = options.wrap ? wrap_markdown(doc.content, options.wrap_width) : std::move(doc.content);
  result.document = std::move(doc.document);
  result.tables = std::move(doc.tables);
  if (metadata) result.metadata = build_html_metadata(std::move(*metadata));
  return result;
}

// The tier-2 road over a prepared text.
Outcome<ConversionResult> convert_tier2(std::string_view prepared, const ConversionOptions& options) {
  if (!options.wrap && !holds_byte(prepared, '<')) {
    return content_only(convert_plain_text_document(prepared, options, true));
  }
  return convert_dom(prepared, options);
}

}  // namespace

Outcome<ConversionResult> convert_entry(std::string_view html, ConversionOptions options) {
  // Plain-text shortcut: nothing to parse, nothing to prepare.
  if (!options.wrap && !holds_byte(html, '<') && !holds_byte(html, '&') && !holds_byte(html, '\r') &&
      !holds_byte(html, '\0')) {
    if (auto refusal = detect_binary_input(html)) return ConversionError::invalid_input(std::move(*refusal));
    return content_only(convert_plain_text_document(html, options, false));
  }

  switch (options.tier_strategy) {
    case TierStrategy::Auto:
      if (tier1_options_supported(options)) {
        PreparedInput prepared = prepare_input(html);
        if (prepared.refusal) return ConversionError::invalid_input(std::move(*prepared.refusal));
        throw RoadNotBuilt("the tier-1 scanner is not built yet");
      }
      [[fallthrough]];
    case TierStrategy::Tier2: {
      PreparedInput prepared = prepare_input(html);
      if (prepared.refusal) return ConversionError::invalid_input(std::move(*prepared.refusal));
      return convert_tier2(prepared.text(html), options);
    }
    case TierStrategy::FastDom:
    case TierStrategy::Quillmoor: {
      // These roads prepare only input that holds NUL or CR.
      PreparedInput prepared;
      if (holds_byte(html, '\0') || holds_byte(html, '\r')) {
        prepared = prepare_input(html);
        if (prepared.refusal) return ConversionError::invalid_input(std::move(*prepared.refusal));
      } else if (auto refusal = detect_binary_input(html)) {
        return ConversionError::invalid_input(std::move(*refusal));
      }
      if (options.tier_strategy == TierStrategy::FastDom) throw RoadNotBuilt("the fast_dom road is not built yet");
      return content_only(streaming::quillmoor_convert(prepared.text(html)));
    }
  }
  throw RoadNotBuilt("unknown conversion road");
}

}  // namespace tidewell
