// Generic JSON values: a strict whole-text parse into a tree, the decoding of
// one string literal, and the queries the JSON-LD code asks of a tree.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/json_reader.hpp"

namespace tidewell {

struct JsonMember;

class JsonValue {
 public:
  enum class Type : std::uint8_t { Null, Bool, Number, String, Array, Object };
  using Array = std::vector<JsonValue>;
  // Members in text order; a key given twice keeps its first place and its
  // last value.
  using Object = std::vector<JsonMember>;

  JsonValue() = default;

  Type type() const { return static_cast<Type>(data_.index()); }
  bool is_null() const { return type() == Type::Null; }
  bool is_bool() const { return type() == Type::Bool; }
  bool is_number() const { return type() == Type::Number; }
  bool is_string() const { return type() == Type::String; }
  bool is_array() const { return type() == Type::Array; }
  bool is_object() const { return type() == Type::Object; }

  // Typed access: nullptr when the value is of another type.
  const bool* as_bool() const { return std::get_if<bool>(&data_); }
  const JsonNumber* as_number() const { return std::get_if<JsonNumber>(&data_); }
  const std::string* as_string() const { return std::get_if<std::string>(&data_); }
  const Array* as_array() const { return std::get_if<Array>(&data_); }
  const Object* as_object() const { return std::get_if<Object>(&data_); }

  // The member `key` of an object; nullptr for a missing key or a value
  // that is not an object.
  const JsonValue* member(std::string_view key) const;
  // The member `key` when it is a string.
  const std::string* string_member(std::string_view key) const;
  // The member `key` when it is an array.
  const Array* array_member(std::string_view key) const;

  void set_null() { data_.emplace<std::monostate>(); }
  void set_bool(bool value) { data_.emplace<bool>(value); }
  void set_number(const JsonNumber& value) { data_.emplace<JsonNumber>(value); }
  void set_string(std::string value) { data_.emplace<std::string>(std::move(value)); }
  Array& set_array() { return data_.emplace<Array>(); }
  Object& set_object() { return data_.emplace<Object>(); }

 private:
  std::variant<std::monostate, bool, JsonNumber, std::string, Array, Object> data_;
};

struct JsonMember {
  std::string key;
  JsonValue value;
};

// Parses the whole text as one JSON value: white space around it, nothing
// else after it. Strict: no comments, trailing commas, NaN or Infinity,
// leading zeros, unpaired surrogate escapes, or nesting beyond
// JsonReader::kMaxDepth levels of arrays and objects. On failure returns
// nullopt and, when `error` is given, fills it.
std::optional<JsonValue> parse_json_value(std::string_view text, JsonError* error = nullptr);

// Decodes one JSON string literal, quotes included ("\"News\\u0041\"" gives
// NewsA); white space may surround it. nullopt when it is not exactly one
// valid string literal.
std::optional<std::string> decode_json_string_literal(std::string_view literal);

}  // namespace tidewell
