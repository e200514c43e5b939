#include "result/conversion_error.hpp"

namespace tidewell {

std::string ConversionError::display() const {
  std::string out = kind_ == Kind::HtmlParse ? "HTML parsing error: " : "Invalid input: ";
  out += payload_;
  return out;
}

}  // namespace tidewell
