#include "converter/metadata/json_ld_json.hpp"

#include "common/json_value.hpp"

namespace tidewell::metadata_detail {

std::optional<std::string> parsed_schema_type(std::string_view text, bool top_type, bool graph) {
  const std::optional<JsonValue> root = parse_json_value(text);
  if (!root || !root->is_object()) return std::nullopt;
  if (top_type) {
    if (const std::string* type = root->string_member("@type")) return *type;
  }
  if (graph) {
    if (const JsonValue::Array* items = root->array_member("@graph")) {
      for (const JsonValue& item : *items) {
        if (const std::string* type = item.string_member("@type")) return *type;
      }
    }
  }
  return std::nullopt;
}

}  // namespace tidewell::metadata_detail
