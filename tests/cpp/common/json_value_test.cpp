#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "common/json_value.hpp"

namespace tidewell {
namespace {

TEST(JsonValue, ParsesEveryKindOfValue) {
  auto v = parse_json_value(R"( {"a": null, "b": true, "c": false, "d": -12, "e": 2.5,
      "f": "x\u00e9\ud83d\ude00", "g": [1, {"h": []}], "i": {}} )");
  ASSERT_TRUE(v.has_value());
  ASSERT_TRUE(v->is_object());
  EXPECT_TRUE(v->member("a")->is_null());
  EXPECT_TRUE(*v->member("b")->as_bool());
  EXPECT_FALSE(*v->member("c")->as_bool());
  const JsonNumber* d = v->member("d")->as_number();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->kind, JsonNumber::Kind::Signed);
  EXPECT_EQ(d->signed_value, -12);
  EXPECT_EQ(v->member("e")->as_number()->float_value, 2.5);
  EXPECT_EQ(*v->string_member("f"), "x\xC3\xA9\xF0\x9F\x98\x80");
  const JsonValue::Array* g = v->array_member("g");
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->size(), 2u);
  EXPECT_TRUE((*g)[1].array_member("h")->empty());
  EXPECT_TRUE(v->member("i")->as_object()->empty());
  EXPECT_EQ(v->member("zz"), nullptr);
  EXPECT_EQ(v->string_member("b"), nullptr);
  EXPECT_EQ(v->array_member("f"), nullptr);
  EXPECT_EQ((*g)[0].member("a"), nullptr);  // not an object
}

}  // namespace
}  // namespace tidewell

namespace tidewell {
namespace {

std::string parse_error(const std::string& text) {
  JsonError error;
  EXPECT_FALSE(parse_json_value(text, &error).has_value()) << text;
  return error.display();
}

TEST(JsonValue, RefusesWhatStrictJsonRefuses) {
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"", "EOF while parsing a value at line 1 column 0"},
      {"  \n ", "EOF while parsing a value at line 2 column 1"},
      {"[1,]", "trailing comma at line 1 column 4"},
      {"{\"a\": 1,}", "trailing comma at line 1 column 9"},
      {"// c\n1", "expected value at line 1 column 1"},
      {"/* c */ 1", "expected value at line 1 column 1"},
      {"1 // c", "trailing characters at line 1 column 3"},
      {"NaN", "expected value at line 1 column 1"},
      {"Infinity", "expected value at line 1 column 1"},
      {"-Infinity", "invalid number at line 1 column 2"},
      {"01", "invalid number at line 1 column 2"},
      {"-01", "invalid number at line 1 column 3"},
      {"1.", "EOF while parsing a value at line 1 column 2"},
      {"1.x", "invalid number at line 1 column 3"},
      {".5", "expected value at line 1 column 1"},
      {"1e", "EOF while parsing a value at line 1 column 2"},
      {"1e+x", "invalid number at line 1 column 4"},
      {"+1", "expected value at line 1 column 1"},
      {"1e400", "number out of range at line 1 column 5"},
      {"\"\\ud800\"", "unexpected end of hex escape at line 1 column 8"},
      {"\"\\udfff\"", "lone leading surrogate in hex escape at line 1 column 7"},
      {"\"\\ud800\\udbff\"", "lone leading surrogate in hex escape at line 1 column 13"},
      {"\"\\u12\"", "EOF while parsing a string at line 1 column 6"},
      {"\"\\u12xy\"", "invalid escape at line 1 column 7"},
      {"\"\\u12", "EOF while parsing a string at line 1 column 5"},
      {"\"\\x\"", "invalid escape at line 1 column 3"},
      {"\"a\tb\"", "control character (\\u0000-\\u001F) found while parsing a string at line 1 "
                   "column 3"},
      {"\"abc", "EOF while parsing a string at line 1 column 4"},
      {"[1] x", "trailing characters at line 1 column 5"},
      {"1 2", "trailing characters at line 1 column 3"},
      {"{'a': 1}", "key must be a string at line 1 column 2"},
      {"{a: 1}", "key must be a string at line 1 column 2"},
      {"{\"a\" 1}", "expected `:` at line 1 column 6"},
      {"{\"a\": 1 \"b\": 2}", "expected `,` or `}` at line 1 column 9"},
      {"[1 2]", "expected `,` or `]` at line 1 column 4"},
      {"[", "EOF while parsing a list at line 1 column 1"},
      {"{", "EOF while parsing an object at line 1 column 1"},
      {"tru", "EOF while parsing a value at line 1 column 3"},
      {"nul!", "expected ident at line 1 column 4"},
      {"\n\n  x", "expected value at line 3 column 3"},
      {"\xEF\xBB\xBF{}", "expected value at line 1 column 1"},
  };
  for (const Case& c : cases) EXPECT_EQ(parse_error(c.text), c.message) << c.text;
}

TEST(JsonValue, NestingLimit) {
  const std::string ok = std::string(128, '[') + std::string(128, ']');
  EXPECT_TRUE(parse_json_value(ok).has_value());
  EXPECT_EQ(parse_error(std::string(129, '[') + std::string(129, ']')),
            "recursion limit exceeded at line 1 column 129");
  EXPECT_EQ(parse_error(std::string(1000000, '[')),
            "recursion limit exceeded at line 1 column 129");
  std::string objects;
  for (int i = 0; i < 200000; ++i) objects += "{\"a\":";
  EXPECT_EQ(parse_error(objects), "recursion limit exceeded at line 1 column 641");
}

TEST(JsonValue, Numbers) {
  struct Case {
    const char* text;
    JsonNumber::Kind kind;
    double value;  // compared as the double of the number
  };
  const Case cases[] = {
      {"0", JsonNumber::Kind::Unsigned, 0},
      {"18446744073709551615", JsonNumber::Kind::Unsigned, 18446744073709551615.0},
      {"18446744073709551616", JsonNumber::Kind::Float, 18446744073709551616.0},
      {"-1", JsonNumber::Kind::Signed, -1},
      {"-9223372036854775808", JsonNumber::Kind::Signed, -9223372036854775808.0},
      {"-9223372036854775809", JsonNumber::Kind::Float, -9223372036854775809.0},
      {"-0", JsonNumber::Kind::Float, -0.0},
      {"1.5e3", JsonNumber::Kind::Float, 1500},
      {"1E-2", JsonNumber::Kind::Float, 0.01},
      {"1e-400", JsonNumber::Kind::Float, 0.0},
  };
  for (const Case& c : cases) {
    auto v = parse_json_value(c.text);
    ASSERT_TRUE(v.has_value()) << c.text;
    const JsonNumber* n = v->as_number();
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->kind, c.kind) << c.text;
    const double got = n->kind == JsonNumber::Kind::Unsigned ? static_cast<double>(n->unsigned_value)
                       : n->kind == JsonNumber::Kind::Signed ? static_cast<double>(n->signed_value)
                                                             : n->float_value;
    EXPECT_EQ(got, c.value) << c.text;
  }
  EXPECT_TRUE(std::signbit(parse_json_value("-0")->as_number()->float_value));
  EXPECT_EQ(parse_json_value("-9223372036854775808")->as_number()->signed_value,
            std::numeric_limits<std::int64_t>::min());
}

TEST(JsonValue, DuplicateKeysKeepFirstPlaceAndLastValue) {
  auto v = parse_json_value(R"({"a": 1, "b": 2, "a": 3})");
  ASSERT_TRUE(v.has_value());
  const JsonValue::Object& o = *v->as_object();
  ASSERT_EQ(o.size(), 2u);
  EXPECT_EQ(o[0].key, "a");
  EXPECT_EQ(o[0].value.as_number()->unsigned_value, 3u);
  EXPECT_EQ(o[1].key, "b");

  // Past the scan limit, through the hash index; escaped keys compare decoded.
  std::string text = "{";
  for (int i = 0; i < 300; ++i) text += "\"key" + std::to_string(i) + "\": " + std::to_string(i) + ", ";
  text += "\"k\\u0065y7\": \"again\", \"key299\": \"last\", \"" + std::string(40, 'L') + "\": 0}";
  v = parse_json_value(text);
  ASSERT_TRUE(v.has_value());
  const JsonValue::Object& big = *v->as_object();
  ASSERT_EQ(big.size(), 301u);
  for (int i = 0; i < 300; ++i) EXPECT_EQ(big[i].key, "key" + std::to_string(i));
  EXPECT_EQ(*big[7].value.as_string(), "again");
  EXPECT_EQ(*v->string_member("key299"), "last");
  EXPECT_EQ(v->member("key150")->as_number()->unsigned_value, 150u);
}

TEST(JsonValue, StringLiteralDecoding) {
  struct Case {
    const char* literal;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"\"Article\"", "Article"},
      {"\"a\\\"b\"", "a\"b"},
      {"\"News\\u0041\"", "NewsA"},
      {" \"x\" ", "x"},
      {"\"\\ud83d\\ude00\\/\\b\\f\\n\\r\\t\\\\\"", "\xF0\x9F\x98\x80/\b\f\n\r\t\\"},
      {"\"\"", ""},
      {"\"\\ud83d\"", std::nullopt},
      {"\"abc", std::nullopt},
      {"\"a\" x", std::nullopt},
      {"\"a\"\"b\"", std::nullopt},
      {"abc", std::nullopt},
      {"", std::nullopt},
      {"[\"a\"]", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(decode_json_string_literal(c.literal), c.expected) << c.literal;
}

TEST(JsonText, ShortestDoubleFormatting) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {2.5, "2.5"},
      {100.0, "100.0"},
      {0.001, "0.001"},
      {0.0001, "0.0001"},
      {0.00009, "9e-5"},
      {1e-7, "1e-7"},
      {1.5e-10, "1.5e-10"},
      {18446744073709551616.0, "1.8446744073709552e19"},
      {1e15, "1000000000000000.0"},
      {9999999999999998.0, "9999999999999998.0"},
      {1e16, "1e16"},
      {123456789012345680000.0, "1.2345678901234568e20"},
      {0.1, "0.1"},
      {1.0 / 3.0, "0.3333333333333333"},
      {-2.5, "-2.5"},
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {5e-324, "5e-324"},
      {1.7976931348623157e308, "1.7976931348623157e308"},
  };
  for (const Case& c : cases) {
    std::string out;
    append_shortest_double(out, c.value);
    EXPECT_EQ(out, c.text);
  }
}

TEST(JsonText, DebugQuoting) {
  struct Case {
    std::string text;
    const char* quoted;
  };
  const Case cases[] = {
      {"plain", R"("plain")"},
      {"q\"b\\", R"("q\"b\\")"},
      {std::string("\n\r\t\0", 4), R"("\n\r\t\0")"},
      {"\x07\x1f\x7f", R"("\u{7}\u{1f}\u{7f}")"},
      {"\xC2\x85\xC2\xAD", R"("\u{85}\u{ad}")"},
      {"a\xE2\x80\x8B\xE2\x80\x8F\xE2\x80\xA8\xE2\x80\xAE\xE2\x81\xA0\xE2\x81\xA4\xEF\xBB\xBF",
       R"("a\u{200b}\u{200f}\u{2028}\u{202e}\u{2060}\u{2064}\u{feff}")"},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 '", "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 '\""},
  };
  for (const Case& c : cases) {
    std::string out;
    append_quoted_debug(out, c.text);
    EXPECT_EQ(out, c.quoted);
  }
}

}  // namespace
}  // namespace tidewell
