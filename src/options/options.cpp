#include "options/options.hpp"

namespace tidewell {

std::string normalize_option_value(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  // Bytes of multi-byte characters are all >= 0x80, so a byte walk drops
  // them exactly like a walk over characters would.
  for (char c : text) {
    if (c >= 'A' && c <= 'Z') {
      out += static_cast<char>(c - 'A' + 'a');
    } else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
      out += c;
    }
  }
  return out;
}

HeadingStyle parse_heading_style(std::string_view text) {
  const std::string v = normalize_option_value(text);
  if (v == "atx") return HeadingStyle::Atx;
  if (v == "atxclosed") return HeadingStyle::AtxClosed;
  return HeadingStyle::Underlined;
}

ListIndentType parse_list_indent_type(std::string_view text) {
  return normalize_option_value(text) == "tabs" ? ListIndentType::Tabs : ListIndentType::Spaces;
}

HighlightStyle parse_highlight_style(std::string_view text) {
  const std::string v = normalize_option_value(text);
  if (v == "doubleequal") return HighlightStyle::DoubleEqual;
  if (v == "html") return HighlightStyle::Html;
  if (v == "bold") return HighlightStyle::Bold;
  return HighlightStyle::None;
}

WhitespaceMode parse_whitespace_mode(std::string_view text) {
  return normalize_option_value(text) == "strict" ? WhitespaceMode::Strict
                                                  : WhitespaceMode::Normalized;
}

NewlineStyle parse_newline_style(std::string_view text) {
  return normalize_option_value(text) == "backslash" ? NewlineStyle::Backslash
                                                     : NewlineStyle::Spaces;
}

CodeBlockStyle parse_code_block_style(std::string_view text) {
  const std::string v = normalize_option_value(text);
  if (v == "backticks") return CodeBlockStyle::Backticks;
  if (v == "tildes") return CodeBlockStyle::Tildes;
  return CodeBlockStyle::Indented;
}

UrlEscapeStyle parse_url_escape_style(std::string_view text) {
  return normalize_option_value(text) == "percent" ? UrlEscapeStyle::Percent
                                                   : UrlEscapeStyle::None;
}

LinkStyle parse_link_style(std::string_view text) {
  return normalize_option_value(text) == "reference" ? LinkStyle::Reference : LinkStyle::Inline;
}

OutputFormat parse_output_format(std::string_view text) {
  const std::string v = normalize_option_value(text);
  if (v == "djot") return OutputFormat::Djot;
  if (v == "plain" || v == "plaintext" || v == "text") return OutputFormat::PlainText;
  return OutputFormat::Markdown;
}

PreprocessingPreset parse_preprocessing_preset(std::string_view text) {
  const std::string v = normalize_option_value(text);
  if (v == "minimal") return PreprocessingPreset::Minimal;
  if (v == "aggressive") return PreprocessingPreset::Aggressive;
  return PreprocessingPreset::Standard;
}

}  // namespace tidewell
