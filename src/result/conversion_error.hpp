// The failure value of a conversion, and the small result type that carries
// either a stage's value or such an error.
#pragma once

#include <cstdint>
#include <string>
#include <system_error>
#include <type_traits>
#include <utility>
#include <variant>

namespace tidewell {

class ConversionError {
 public:
  // In tag order.
  enum class Kind : std::uint8_t {
    HtmlParse = 0,
    Sanitization = 1,
    InvalidConfiguration = 2,
    Io = 3,
    Panic = 4,
    InvalidInput = 5,
    Conversion = 6,
  };

  ConversionError(Kind kind, std::string payload) : kind_(kind), payload_(std::move(payload)) {}

  static ConversionError html_parse(std::string message) { return {Kind::HtmlParse, std::move(message)}; }
  static ConversionError sanitization(std::string message) { return {Kind::Sanitization, std::move(message)}; }
  static ConversionError invalid_configuration(std::string message) {
    return {Kind::InvalidConfiguration, std::move(message)};
  }
  // The payload of an I/O error is the error's own description.
  static ConversionError io(const std::error_code& error) { return {Kind::Io, error.message()}; }
  static ConversionError panic(std::string message) { return {Kind::Panic, std::move(message)}; }
  static ConversionError invalid_input(std::string message) { return {Kind::InvalidInput, std::move(message)}; }
  static ConversionError conversion(std::string message) { return {Kind::Conversion, std::move(message)}; }

  Kind kind() const { return kind_; }
  const std::string& payload() const { return payload_; }

  // The display text: the kind's template with the payload in place.
  std::string display() const;

 private:
  Kind kind_;
  std::string payload_;
};

// Appends the display text of `error` to `out`.
void conversion_error_fmt(const ConversionError& error, std::string& out);

// The template prefix of a kind, e.g. "Invalid input: ".
const char* conversion_error_prefix(ConversionError::Kind kind);

// Either a stage's value or the ConversionError that stopped it.
template <class T>
class [[nodiscard]] Outcome {
 public:
  Outcome(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Outcome(ConversionError error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }

  ConversionError& error() & { return std::get<1>(state_); }
  const ConversionError& error() const& { return std::get<1>(state_); }
  ConversionError&& error() && { return std::get<1>(std::move(state_)); }

 private:
  std::variant<T, ConversionError> state_;
};

// A stage that gives nothing but may fail.
template <>
class [[nodiscard]] Outcome<void> {
 public:
  Outcome() = default;
  Outcome(ConversionError error) : error_(std::move(error)), failed_(true) {}

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }

  ConversionError& error() & { return error_; }
  const ConversionError& error() const& { return error_; }
  ConversionError&& error() && { return std::move(error_); }

 private:
  ConversionError error_{ConversionError::Kind::Conversion, std::string()};
  bool failed_ = false;
};

}  // namespace tidewell
