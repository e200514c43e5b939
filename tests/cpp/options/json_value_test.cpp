#include <gtest/gtest.h>

#include <string>

#include "options/json_value.hpp"

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
