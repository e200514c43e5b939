#include <gtest/gtest.h>

#include "converter/text/entities.hpp"

using tidewell::decode_html_entities;
using tidewell::decode_entities_owned;

TEST(Entities, NamedNeedSemicolon) {
  EXPECT_EQ(decode_entities_owned("a &amp; b"), "a & b");
  EXPECT_EQ(decode_entities_owned("&amp"), "&amp");
  EXPECT_EQ(decode_entities_owned("&notit;"), "&notit;");
  EXPECT_EQ(decode_entities_owned("&not;"), "\xC2\xAC");
  EXPECT_EQ(decode_entities_owned("&nbsp;x"), "\xC2\xA0x");
  EXPECT_EQ(decode_entities_owned("&NotEqualTilde;"), "\xE2\x89\x82\xCC\xB8");
}

TEST(Entities, Numeric) {
  EXPECT_EQ(decode_entities_owned("&#65;&#x42;&#X43;"), "ABC");
  EXPECT_EQ(decode_entities_owned("&#0;"), "\xEF\xBF\xBD");
  EXPECT_EQ(decode_entities_owned("&#xD800;"), "\xEF\xBF\xBD");
  EXPECT_EQ(decode_entities_owned("&#x110000;"), "\xEF\xBF\xBD");
  EXPECT_EQ(decode_entities_owned("&#99999999999999999999;"), "\xEF\xBF\xBD");
  EXPECT_EQ(decode_entities_owned("&#x80;"), "\xE2\x82\xAC");
  EXPECT_EQ(decode_entities_owned("&#65x"), "Ax");
  EXPECT_EQ(decode_entities_owned("&#;&#x;"), "&#;&#x;");
}

TEST(Entities, CopyOnWrite) {
  EXPECT_FALSE(decode_html_entities("plain text").has_value());
  EXPECT_FALSE(decode_html_entities("a & b &unknown;").has_value());
  EXPECT_TRUE(decode_html_entities("&lt;").has_value());
  EXPECT_EQ(decode_entities_owned("&"), "&");
  EXPECT_EQ(decode_entities_owned("&&lt;"), "&<");
}
