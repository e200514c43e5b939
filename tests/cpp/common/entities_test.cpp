#include <gtest/gtest.h>

#include "common/entities.hpp"

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

// The streaming converter's reading of references.
std::string legacy(std::string_view text, bool in_attribute = false, bool escape_ampersand = false) {
  std::string out;
  tidewell::decode_legacy_references_into(text, in_attribute, escape_ampersand, out);
  return out;
}

TEST(LegacyEntities, Numeric) {
  EXPECT_EQ(legacy("&#65;&#x41;&#X41"), "AAA");
  EXPECT_EQ(legacy("&#x;"), "&#x;");
  EXPECT_EQ(legacy("a&#"), "a&#");
  EXPECT_EQ(legacy("&#128;"), "\xE2\x82\xAC");
  EXPECT_EQ(legacy("&#129;"), "\xC2\x81");
  EXPECT_EQ(legacy("&#0;&#xD800;&#1114112;"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(LegacyEntities, NamedWithAndWithoutSemicolon) {
  EXPECT_EQ(legacy("&notit;"), "\xC2\xACit;");
  EXPECT_EQ(legacy("&notin;"), "\xE2\x88\x89");
  EXPECT_EQ(legacy("&hellip"), "&hellip");
  EXPECT_EQ(legacy("&hellip;"), "\xE2\x80\xA6");
  EXPECT_EQ(legacy("&thetasym;"), "\xCF\x91");
  EXPECT_EQ(legacy("&lang;&rang;"), "\xE2\x9F\xA8\xE2\x9F\xA9");
  EXPECT_EQ(legacy("&AMP;&apos;"), "&'");
  // Names outside the HTML 4 set stay as written.
  EXPECT_EQ(legacy("&check;&NotEqualTilde;&emsp;"), "&check;&NotEqualTilde;&emsp;");
  // Longer than 8 letters: only prefixes (without ';') are tried.
  EXPECT_EQ(legacy("&ampersand;"), "&ersand;");
}

TEST(LegacyEntities, AttributeMode) {
  EXPECT_EQ(legacy("?a=1&copy=2", true), "?a=1&copy=2");
  EXPECT_EQ(legacy("&copy=2"), "\xC2\xA9=2");
  EXPECT_EQ(legacy("&copyx", true), "&copyx");
  EXPECT_EQ(legacy("&copy x", true), "\xC2\xA9 x");
  EXPECT_EQ(legacy("&amp;lt;", true), "&lt;");
}

TEST(LegacyEntities, AmpersandThatWouldFormAReference) {
  EXPECT_EQ(legacy("&amp;lt;", false, true), "\\&lt;");
  EXPECT_EQ(legacy("&#38;#65;", false, true), "\\&#65;");
  EXPECT_EQ(legacy("&amp;#x4a;", false, true), "\\&#x4a;");
  EXPECT_EQ(legacy("&amp; lt;", false, true), "& lt;");
  EXPECT_EQ(legacy("&amp;#;", false, true), "&#;");
  EXPECT_EQ(legacy("&amp;lt;", false, false), "&lt;");
}
