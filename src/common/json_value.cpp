#include "common/json_value.hpp"

#include <unordered_map>

namespace tidewell {

namespace {

// Above this many members, duplicate keys are found through a hash index
// instead of a scan of the members read so far.
constexpr std::size_t kLinearKeyLimit = 16;

class ValueParser {
 public:
  explicit ValueParser(JsonReader& reader) : reader_(reader) {}

  // Recursion is bounded by the reader's nesting limit, which refuses the
  // level beyond it before descending.
  bool parse(JsonValue& out) {
    const int c = reader_.peek_nonspace();
    switch (c) {
      case -1:
        return reader_.fail_peek("EOF while parsing a value");
      case 'n':
        reader_.eat();
        if (!reader_.expect_ident("ull")) return false;
        out.set_null();
        return true;
      case 't':
        reader_.eat();
        if (!reader_.expect_ident("rue")) return false;
        out.set_bool(true);
        return true;
      case 'f':
        reader_.eat();
        if (!reader_.expect_ident("alse")) return false;
        out.set_bool(false);
        return true;
      case '-': {
        reader_.eat();
        JsonNumber number;
        if (!reader_.read_number(false, number)) return false;
        out.set_number(number);
        return true;
      }
      case '"': {
        reader_.eat();
        std::string_view s;
        if (!reader_.read_string(s)) return false;
        out.set_string(std::string(s));
        return true;
      }
      case '[':
        return parse_array(out);
      case '{':
        return parse_object(out);
      default:
        if (c >= '0' && c <= '9') {
          JsonNumber number;
          if (!reader_.read_number(true, number)) return false;
          out.set_number(number);
          return true;
        }
        return reader_.fail_peek("expected value");
    }
  }

 private:
  bool parse_array(JsonValue& out) {
    if (!reader_.enter_nested()) return false;
    JsonValue::Array& items = out.set_array();
    bool first = true;
    for (;;) {
      bool more = false;
      if (!reader_.next_element(first, more)) return false;
      if (!more) break;
      items.emplace_back();
      if (!parse(items.back())) return false;
    }
    reader_.leave_nested();
    return reader_.end_array();
  }

  bool parse_object(JsonValue& out) {
    if (!reader_.enter_nested()) return false;
    JsonValue::Object& members = out.set_object();
    std::unordered_map<std::string_view, std::size_t> index;  // filled past kLinearKeyLimit
    bool first = true;
    for (;;) {
      bool more = false;
      if (!reader_.next_key(first, more)) return false;
      if (!more) break;
      std::string_view key_view;
      if (!reader_.read_string(key_view)) return false;
      std::string key(key_view);
      if (!reader_.expect_colon()) return false;
      JsonValue value;
      if (!parse(value)) return false;
      std::size_t found = members.size();
      if (members.size() <= kLinearKeyLimit) {
        for (std::size_t i = 0; i < members.size(); ++i) {
          if (members[i].key == key) {
            found = i;
            break;
          }
        }
      } else {
        if (index.empty()) {
          index.reserve(members.size() * 2);
          for (std::size_t i = 0; i < members.size(); ++i) index.emplace(members[i].key, i);
        }
        auto it = index.find(key);
        if (it != index.end()) found = it->second;
      }
      if (found < members.size()) {
        members[found].value = std::move(value);
        continue;
      }
      // The key views in `index` point into the members' own strings; keep
      // them valid across the vector's growth by rebuilding after a move.
      const bool will_move = members.size() == members.capacity();
      members.push_back(JsonMember{std::move(key), std::move(value)});
      if (!index.empty()) {
        if (will_move) {
          index.clear();
          index.reserve(members.size() * 2);
          for (std::size_t i = 0; i < members.size(); ++i) index.emplace(members[i].key, i);
        } else {
          index.emplace(members.back().key, members.size() - 1);
        }
      }
    }
    reader_.leave_nested();
    return reader_.end_object();
  }

  JsonReader& reader_;
};

}  // namespace

const JsonValue* JsonValue::member(std::string_view key) const {
  const Object* object = as_object();
  if (object == nullptr) return nullptr;
  for (const JsonMember& m : *object) {
    if (m.key == key) return &m.value;
  }
  return nullptr;
}

const std::string* JsonValue::string_member(std::string_view key) const {
  const JsonValue* v = member(key);
  return v != nullptr ? v->as_string() : nullptr;
}

const JsonValue::Array* JsonValue::array_member(std::string_view key) const {
  const JsonValue* v = member(key);
  return v != nullptr ? v->as_array() : nullptr;
}

std::optional<JsonValue> parse_json_value(std::string_view text, JsonError* error) {
  JsonError local;
  JsonReader reader(text, error != nullptr ? *error : local);
  ValueParser parser(reader);
  JsonValue value;
  if (!parser.parse(value) || !reader.finish()) return std::nullopt;
  return value;
}

std::optional<std::string> decode_json_string_literal(std::string_view literal) {
  JsonError error;
  JsonReader reader(literal, error);
  if (reader.peek_nonspace() != '"') return std::nullopt;
  reader.eat();
  std::string_view s;
  if (!reader.read_string(s)) return std::nullopt;
  std::string out(s);
  if (!reader.finish()) return std::nullopt;
  return out;
}

}  // namespace tidewell
