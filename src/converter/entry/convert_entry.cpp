#include "converter/entry/convert_entry.hpp"

#include <cstring>
#include <string>

#include "converter/entry/input_guard.hpp"
#include "converter/entry/plain_text.hpp"
#include "converter/tier1/eligibility.hpp"

namespace tidewell {
namespace {

bool holds_byte(std::string_view text, char c) { return std::memchr(text.data(), c, text.size()) != nullptr; }

Outcome<ConversionResult> content_only(std::string content) {
  ConversionResult result;
  result.content = std::move(content);
  return result;
}

// The tier-2 road over a prepared text.
Outcome<ConversionResult> convert_tier2(std::string_view prepared, const ConversionOptions& options) {
  if (!options.wrap && !holds_byte(prepared, '<')) {
    return content_only(convert_plain_text_document(prepared, options, true));
  }
  throw RoadNotBuilt("the DOM conversion road is not built yet: markup cannot be converted");
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
      if (holds_byte(html, '\0') || holds_byte(html, '\r')) {
        PreparedInput prepared = prepare_input(html);
        if (prepared.refusal) return ConversionError::invalid_input(std::move(*prepared.refusal));
      } else if (auto refusal = detect_binary_input(html)) {
        return ConversionError::invalid_input(std::move(*refusal));
      }
      throw RoadNotBuilt(options.tier_strategy == TierStrategy::FastDom
                             ? "the fast_dom road is not built yet"
                             : "the quillmoor streaming road is not built yet");
    }
  }
  throw RoadNotBuilt("unknown conversion road");
}

}  // namespace tidewell
