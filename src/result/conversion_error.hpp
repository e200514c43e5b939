// The failure value of a conversion, and the small result type that carries
// either a stage's value or such an error.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace tidewell {

class ConversionError {
 public:
  // The kinds a conversion produces.
  enum class Kind : std::uint8_t {
    HtmlParse = 0,     // "HTML parsing error: "
    InvalidInput = 5,  // "Invalid input: "
  };

  ConversionError(Kind kind, std::string payload) : kind_(kind), payload_(std::move(payload)) {}

  static ConversionError html_parse(std::string message) { return {Kind::HtmlParse, std::move(message)}; }
  static ConversionError invalid_input(std::string message) { return {Kind::InvalidInput, std::move(message)}; }

  Kind kind() const { return kind_; }
  const std::string& payload() const { return payload_; }

  // The display text: the kind's template with the payload in place.
  std::string display() const;

 private:
  Kind kind_;
  std::string payload_;
};

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

}  // namespace tidewell
