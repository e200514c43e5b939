// Conversion options: every setting of one conversion, with its default.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell {

enum class HeadingStyle : std::uint8_t { Underlined = 0, Atx = 1, AtxClosed = 2 };
enum class ListIndentType : std::uint8_t { Spaces = 0, Tabs = 1 };
enum class HighlightStyle : std::uint8_t { DoubleEqual = 0, Html = 1, Bold = 2, None = 3 };
enum class WhitespaceMode : std::uint8_t { Normalized = 0, Strict = 1 };
enum class NewlineStyle : std::uint8_t { Spaces = 0, Backslash = 1 };
enum class CodeBlockStyle : std::uint8_t { Indented = 0, Backticks = 1, Tildes = 2 };
enum class UrlEscapeStyle : std::uint8_t { None = 0, Percent = 1 };
enum class LinkStyle : std::uint8_t { Inline = 0, Reference = 1 };
enum class OutputFormat : std::uint8_t { Markdown = 0, Djot = 1, PlainText = 2 };
enum class PreprocessingPreset : std::uint8_t { Minimal = 0, Standard = 1, Aggressive = 2 };
enum class TierStrategy : std::uint8_t { Auto = 0, Tier2 = 1, FastDom = 2, Quillmoor = 3 };
enum class ParserBackend : std::uint8_t { Copperfern = 0, AsmTl = 1 };

struct PreprocessingOptions {
  bool enabled = true;
  PreprocessingPreset preset = PreprocessingPreset::Standard;
  bool remove_navigation = true;
  bool remove_forms = true;

  // Whether `remove_forms` takes effect.
  bool removes_forms() const { return enabled && preset != PreprocessingPreset::Minimal && remove_forms; }
};

// Field order is the declaration order of the options, which is also the
// position order of the array form of the options JSON.
struct ConversionOptions {
  HeadingStyle heading_style = HeadingStyle::Atx;
  ListIndentType list_indent_type = ListIndentType::Spaces;
  std::uint64_t list_indent_width = 2;
  std::string bullets = "-*+";
  char32_t strong_em_symbol = U'*';
  bool escape_asterisks = false;
  bool escape_underscores = false;
  bool escape_misc = false;
  bool escape_ascii = false;
  std::string code_language;
  bool autolinks = true;
  bool default_title = false;
  bool br_in_tables = false;
  bool compact_tables = false;
  HighlightStyle highlight_style = HighlightStyle::DoubleEqual;
  bool extract_metadata = true;
  WhitespaceMode whitespace_mode = WhitespaceMode::Normalized;
  bool strip_newlines = false;
  bool wrap = false;
  std::uint64_t wrap_width = 80;
  bool convert_as_inline = false;
  std::string sub_symbol;
  std::string sup_symbol;
  NewlineStyle newline_style = NewlineStyle::Spaces;
  CodeBlockStyle code_block_style = CodeBlockStyle::Backticks;
  std::vector<std::string> keep_inline_images_in;
  PreprocessingOptions preprocessing;
  std::string encoding = "utf-8";
  bool debug = false;
  std::vector<std::string> strip_tags;
  std::vector<std::string> preserve_tags;
  bool skip_images = false;
  UrlEscapeStyle url_escape_style = UrlEscapeStyle::None;
  LinkStyle link_style = LinkStyle::Inline;
  OutputFormat output_format = OutputFormat::Markdown;
  bool include_document_structure = false;
  bool extract_images = false;
  std::uint64_t max_image_size = 5242880;
  bool capture_svg = false;
  bool infer_dimensions = true;
  std::optional<std::uint64_t> max_depth;
  std::vector<std::string> exclude_selectors;
  TierStrategy tier_strategy = TierStrategy::Auto;
  ParserBackend parser_backend = ParserBackend::Copperfern;
};

inline ConversionOptions default_options() { return ConversionOptions{}; }

// ASCII letters lower-cased, ASCII digits kept, everything else dropped.
std::string normalize_option_value(std::string_view text);

// Lenient enum readers: the normalised text selects a variant; anything
// else selects the enum's fallback.
HeadingStyle parse_heading_style(std::string_view text);
ListIndentType parse_list_indent_type(std::string_view text);
HighlightStyle parse_highlight_style(std::string_view text);
WhitespaceMode parse_whitespace_mode(std::string_view text);
NewlineStyle parse_newline_style(std::string_view text);
CodeBlockStyle parse_code_block_style(std::string_view text);
UrlEscapeStyle parse_url_escape_style(std::string_view text);
LinkStyle parse_link_style(std::string_view text);
OutputFormat parse_output_format(std::string_view text);
PreprocessingPreset parse_preprocessing_preset(std::string_view text);

}  // namespace tidewell
