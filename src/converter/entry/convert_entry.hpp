// The single entry of every conversion: guards, prepares, picks the road and
// assembles the result.
#pragma once

#include <string_view>

#include "options/options.hpp"
#include "result/conversion_error.hpp"
#include "result/result.hpp"

namespace tidewell {

Outcome<ConversionResult> convert_entry(std::string_view html, ConversionOptions options);

}  // namespace tidewell
