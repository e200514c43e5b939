// Whether the options match the one setting the single-pass scanner implements.
#pragma once

#include "options/options.hpp"

namespace tidewell {

// True only for the scanner's fixed output conventions ("-" bullets, "#"
// headings, indented code, "**" and "*", two-space breaks, inline links, no
// escaping, no wrapping) and for options whose effect the scanner cannot
// give (excluded selectors, a depth limit, skipped images). The default
// options fail it.
bool tier1_options_supported(const ConversionOptions& options);

}  // namespace tidewell
