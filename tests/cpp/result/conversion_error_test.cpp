#include <gtest/gtest.h>

#include <string>

#include "result/conversion_error.hpp"

namespace tidewell {
namespace {

TEST(ConversionError, DisplayOfEveryKind) {
  struct Case {
    ConversionError error;
    const char* expected;
  };
  const Case cases[] = {
      {ConversionError::html_parse("Failed to parse HTML"), "HTML parsing error: Failed to parse HTML"},
      {ConversionError::invalid_input("binary data detected (excess NUL bytes)"),
       "Invalid input: binary data detected (excess NUL bytes)"},
      {ConversionError::invalid_input(""), "Invalid input: "},
  };
  for (const Case& c : cases) EXPECT_EQ(c.error.display(), c.expected);
}

TEST(ConversionError, KindAndPayload) {
  const ConversionError e = ConversionError::invalid_input("x");
  EXPECT_EQ(e.kind(), ConversionError::Kind::InvalidInput);
  EXPECT_EQ(e.payload(), "x");
}

TEST(Outcome, CarriesValueOrError) {
  Outcome<std::string> good(std::string("text"));
  ASSERT_TRUE(good.ok());
  EXPECT_EQ(good.value(), "text");
  std::string moved = std::move(good).value();
  EXPECT_EQ(moved, "text");

  Outcome<std::string> bad(ConversionError::html_parse("Failed to parse HTML"));
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error().display(), "HTML parsing error: Failed to parse HTML");
}

}  // namespace
}  // namespace tidewell
