#include "converter/entry/convert_entry.hpp"

#include <cstring>
#include <stdexcept>
#include <string>

#include "common/scan.hpp"
#include "common/unicode_space.hpp"
#include "converter/document/convert_document.hpp"
#include "converter/entry/input_guard.hpp"
#include "converter/entry/plain_road.hpp"
#include "converter/entry/prescan.hpp"
#include "converter/entry/wrap.hpp"
#include "converter/fast_dom/fast_dom.hpp"
#include "converter/metadata/extraction.hpp"
#include "converter/preprocess/preprocessing.hpp"
#include "converter/tier1/eligibility.hpp"
#include "converter/tier1/scanner.hpp"
#include "html_parser/parser.hpp"
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

// The tier-1 scanner over the prescanned text, for options that passed
// tier1_options_supported; nullopt when the prescan flags what it cannot
// convert or it gives up.
std::optional<std::string> try_tier1(std::string_view prepared, const ConversionOptions& options) {
  const Prescan prescan = prescan_input(prepared);
  if (prescan.summary.blocks_scanner()) return std::nullopt;
  Tier1Outcome scanned = scan_tier1(prescan.scan_text(prepared), prescan.summary.head_span, options);
  if (std::string* content = std::get_if<std::string>(&scanned)) return std::move(*content);
  return std::nullopt;
}

// Whether the text holds "--->".
bool has_long_comment_end(std::string_view text) {
  for (std::size_t at = scan::find_pair(text, '-', '>', 0); at != scan::npos;
       at = scan::find_pair(text, '-', '>', at + 2)) {
    if (at >= 2 && text[at - 1] == '-' && text[at - 2] == '-') return true;
  }
  return false;
}

// What the fast parsers would misread, made safe as the DOM road's
// preprocessing does before its parse: empty comments and comment
// terminators of three or more dashes (read past their end), DOCTYPE declarations
// (whose identifiers would become text) and stray '<' characters (which
// would be dropped or open an element), written "&lt;". nullopt when
// nothing changes.
std::optional<std::string> markup_for_fast_parser(std::string_view text) {
  // Without a long comment terminator, one scan does it all. (Rewriting the
  // empty comments never makes one.)
  if (!has_long_comment_end(text)) return normalize_markup_for_fast_parser(text);
  std::optional<std::string> current;
  const auto view = [&] { return current ? std::string_view(*current) : text; };
  const auto apply = [&](std::optional<std::string> changed) {
    if (changed) current = std::move(changed);
  };
  // Empty comments first, or a later terminator would be read as theirs.
  apply(normalize_empty_comments(text));
  if (has_long_comment_end(view())) apply(normalize_comment_endings(view()));
  apply(normalize_markup_for_parser(view()));
  return current;
}

// The fast_dom road over a text that needs no further preparation.
Outcome<ConversionResult> convert_fast_dom(std::string_view input, const ConversionOptions& options) {
  const std::optional<std::string> safe = markup_for_fast_parser(input);
  const std::string_view text = safe ? std::string_view(*safe) : input;
  ParseResult parsed = parse_document(options.parser_backend, text);
  if (!parsed) return ConversionError::html_parse("Failed to parse HTML");
  std::string out;
  out.reserve(text.size() / 2);
  fast_dom_convert(parsed.dom(), options, out);
  // White space is trimmed at both ends, but a first line keeps its
  // indentation (an indented code block stays one).
  const std::size_t first = skip_unicode_space(out, 0);
  const std::size_t line = first == out.size() ? first : out.rfind('\n', first);
  const std::size_t start = line == std::string::npos ? 0 : (first == out.size() ? first : line + 1);
  // Cut in place: the output is not copied.
  out.resize(start + trim_unicode_space_end(std::string_view(out).substr(start)).size());
  out.erase(0, start);
  return content_only(std::move(out));
}

}  // namespace

Outcome<ConversionResult> convert_entry(std::string_view html, ConversionOptions options) {
  // A byte-order mark is no text on any road, the unprepared ones included.
  html = without_byte_order_mark(html);
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
        const std::string_view text = prepared.text(html);
        if (std::optional<std::string> content = try_tier1(text, options)) return content_only(std::move(*content));
        return convert_tier2(text, options);
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
      if (options.tier_strategy == TierStrategy::FastDom) return convert_fast_dom(prepared.text(html), options);
      return content_only(streaming::quillmoor_convert(prepared.text(html)));
    }
  }
  throw std::logic_error("unknown conversion road");
}

}  // namespace tidewell
