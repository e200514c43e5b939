#include "result/conversion_error.hpp"

namespace tidewell {

const char* conversion_error_prefix(ConversionError::Kind kind) {
  switch (kind) {
    case ConversionError::Kind::HtmlParse: return "HTML parsing error: ";
    case ConversionError::Kind::Sanitization: return "Sanitization error: ";
    case ConversionError::Kind::InvalidConfiguration: return "Invalid configuration: ";
    case ConversionError::Kind::Io: return "I/O error: ";
    case ConversionError::Kind::Panic: return "Internal panic: ";
    case ConversionError::Kind::InvalidInput: return "Invalid input: ";
    case ConversionError::Kind::Conversion: return "Conversion error: ";
  }
  return "Conversion error: ";
}

void conversion_error_fmt(const ConversionError& error, std::string& out) {
  out += conversion_error_prefix(error.kind());
  out += error.payload();
}

std::string ConversionError::display() const {
  std::string out;
  conversion_error_fmt(*this, out);
  return out;
}

}  // namespace tidewell
