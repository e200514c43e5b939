#include "converter/tier1/eligibility.hpp"

namespace tidewell {

bool tier1_options_supported(const ConversionOptions& o) {
  const bool conventions =
      !o.wrap && !o.convert_as_inline && o.preprocessing.preset == PreprocessingPreset::Standard &&
      o.strip_tags.empty() && o.preserve_tags.empty() && !o.debug && o.output_format == OutputFormat::Markdown &&
      o.heading_style == HeadingStyle::Atx && o.code_block_style == CodeBlockStyle::Indented &&
      o.strong_em_symbol == U'*' && !o.bullets.empty() && o.bullets.front() == '-' && o.list_indent_width == 2 &&
      o.list_indent_type == ListIndentType::Spaces && !o.escape_asterisks && !o.escape_underscores &&
      !o.escape_misc && !o.escape_ascii && o.whitespace_mode == WhitespaceMode::Normalized &&
      o.newline_style == NewlineStyle::Spaces && !o.default_title && o.sub_symbol.empty() &&
      o.sup_symbol.empty() && o.highlight_style == HighlightStyle::None && o.link_style == LinkStyle::Inline &&
      o.url_escape_style == UrlEscapeStyle::None && !o.compact_tables;
  // The scanner has no tree to match selectors or depths against, and
  // writes every image.
  const bool effects = o.exclude_selectors.empty() && !o.max_depth && !o.skip_images;
  return conventions && effects;
}

}  // namespace tidewell
