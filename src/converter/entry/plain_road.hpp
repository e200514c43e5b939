// The plain-text road: text without markup needs no parser.
#pragma once

#include <string>
#include <string_view>

#include "options/options.hpp"

namespace tidewell {

// Decodes character references when `decode_entities` is set, applies the
// newline, whitespace and escape options, and ends the text with one line
// feed ("" when nothing but line feeds remains).
std::string convert_plain_text_document(std::string_view text, const ConversionOptions& options,
                                        bool decode_entities);

}  // namespace tidewell
