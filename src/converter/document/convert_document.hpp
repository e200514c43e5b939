// The DOM road of a conversion: preprocessing, repair through the HTML5
// parser when the fast parser's tree cannot be trusted, parse, head
// metadata and front matter, exclusion by selectors, the walk, reference
// definitions and the final normalisation (or the plain-text rendering).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "converter/dom/dom_context.hpp"
#include "converter/metadata/metadata_sink.hpp"
#include "converter/metadata/structure_sink.hpp"
#include "html_parser/dom.hpp"
#include "options/options.hpp"
#include "result/conversion_error.hpp"
#include "result/result.hpp"

namespace tidewell {

struct DocumentConversion {
  std::string content;
  std::optional<DocumentStructure> document;  // present when a structure sink was given
  std::vector<TableData> tables;
};

// Converts prepared HTML text. `metadata_sink` (may be null) is filled and
// stays the caller's; `structure_sink` (may be null) is consumed: its
// finished outline and tables are returned. Fails only with HtmlParse
// "Failed to parse HTML" or "Failed to parse repaired HTML".
Outcome<DocumentConversion> convert_document(std::string_view text, const ConversionOptions& options,
                                             MetadataSink* metadata_sink, StructureSink* structure_sink);

// Steps of the road, exposed for their own tests.

// The text holds a tag-like run whose first word contains "-" (every
// comment counts, "<!--" reading as the name "!--").
bool has_hyphenated_tag_name(std::string_view text);

// The parsed tree cannot be trusted: a table row or cell whose nearest
// table, body, html or p ancestor is a p, or a block element below an
// inline one (other than a, ins and del) outside pre and code. One
// top-down pass over the recorded nodes.
bool needs_structural_repair(const TlDom& dom, const DomContext& dom_context);

// The Markdown clean-up: trailing spaces and tabs dropped except a final
// two-space hard break, trailing line feeds reduced to one, runs of three or
// more line feeds shortened to two.
std::string normalize_markdown_output(std::string_view output);

// The plain-text clean-up: lines right-trimmed of white space, runs of empty
// lines shortened to one, one final line feed.
std::string normalize_plain_output(std::string_view output);

}  // namespace tidewell
