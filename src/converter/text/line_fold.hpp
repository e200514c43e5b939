// Text that must stay on one line (a heading, a link's label, a table cell).
#pragma once

#include <cstddef>
#include <string>

namespace tidewell {

// Folds every run of ASCII white space in text[from, to) that holds a line
// feed or a carriage return into one space, in place, and removes the
// folded bytes; returns the new end of the range. Runs without a line break
// stay as they are.
std::size_t fold_line_breaks(std::string& text, std::size_t from, std::size_t to);

}  // namespace tidewell
