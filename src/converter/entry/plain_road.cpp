#include "converter/entry/plain_road.hpp"

#include <cstring>
#include <optional>

#include "common/entities.hpp"
#include "converter/text/processing.hpp"

namespace tidewell {

std::string convert_plain_text_document(std::string_view input, const ConversionOptions& options,
                                        bool decode_entities) {
  // `current` always views the latest version; `owned` holds it once a step
  // had to change something.
  std::string_view current = input;
  std::string owned;
  auto take = [&](std::optional<std::string>&& changed) {
    if (changed) {
      owned = std::move(*changed);
      current = owned;
    }
  };

  if (decode_entities && std::memchr(current.data(), '&', current.size())) {
    take(decode_html_entities(current));
  }
  if (options.strip_newlines &&
      (std::memchr(current.data(), '\n', current.size()) || std::memchr(current.data(), '\r', current.size()))) {
    std::string replaced(current);
    for (char& c : replaced) {
      if (c == '\n' || c == '\r') c = ' ';
    }
    take(std::move(replaced));
  }
  while (!current.empty() && current.back() == '\n') current.remove_suffix(1);
  if (current.empty()) return std::string();

  if (options.whitespace_mode != WhitespaceMode::Strict) {
    take(collapse_whitespace(current));
    take(drop_line_leading_spaces(current, true));
  }
  if (options.output_format != OutputFormat::PlainText) {
    // The text is the whole document: line ends on both sides.
    std::string escaped;
    escaped.reserve(current.size() + 8);
    escape_markdown_into(current, EscapeMode::PageText, options, escaped, {'\n', '\n'});
    if (escaped != current) take(std::move(escaped));
    // Every line of the text starts a line of the output.
    take(escape_line_block_markers(current, true));
  }
  while (!current.empty() && (current.back() == ' ' || current.back() == '\t')) current.remove_suffix(1);
  std::string out;
  out.reserve(current.size() + 1);
  out.append(current);
  out.push_back('\n');
  return out;
}

}  // namespace tidewell
