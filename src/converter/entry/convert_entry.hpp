// The single entry of every conversion: guards, prepares, picks the road and
// assembles the result.
#pragma once

#include <stdexcept>
#include <string_view>

#include "options/options.hpp"
#include "result/conversion_error.hpp"
#include "result/result.hpp"

namespace tidewell {

// Thrown for a road whose converter is not part of this build yet; the module
// raises it as NotImplementedError.
class RoadNotBuilt : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

Outcome<ConversionResult> convert_entry(std::string_view html, ConversionOptions options);

}  // namespace tidewell
