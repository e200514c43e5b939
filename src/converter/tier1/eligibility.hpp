// Whether the options match the one setting the single-pass scanner implements.
#pragma once

#include "options/options.hpp"

namespace tidewell {

bool tier1_options_supported(const ConversionOptions& options);

}  // namespace tidewell
