// Reading of the options JSON text into ConversionOptions.
#pragma once

#include <string_view>

#include "common/json_reader.hpp"  // JsonError
#include "options/options.hpp"

namespace tidewell {

// Reads the options text: a JSON object keyed by option names (snake_case or
// camelCase), or a JSON array read in field order. Fields not given keep
// their defaults. On a fault returns false, fills `error` and leaves `out`
// untouched.
bool conversion_options_from_json(std::string_view json, ConversionOptions& out, JsonError& error);

}  // namespace tidewell
