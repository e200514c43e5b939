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
      {ConversionError::sanitization("s"), "Sanitization error: s"},
      {ConversionError::invalid_configuration("c"), "Invalid configuration: c"},
      {ConversionError(ConversionError::Kind::Io, "disk gone"), "I/O error: disk gone"},
      {ConversionError::panic("p"), "Internal panic: p"},
      {ConversionError::invalid_input("binary data detected (excess NUL bytes)"),
       "Invalid input: binary data detected (excess NUL bytes)"},
      {ConversionError::conversion("failed to recover metadata state"),
       "Conversion error: failed to recover metadata state"},
      {ConversionError::conversion(""), "Conversion error: "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.error.display(), c.expected);
    std::string out = "prefix|";
    conversion_error_fmt(c.error, out);
    EXPECT_EQ(out, std::string("prefix|") + c.expected);
  }
}

TEST(ConversionError, KindTagsAndPayload) {
  EXPECT_EQ(static_cast<int>(ConversionError::Kind::HtmlParse), 0);
  EXPECT_EQ(static_cast<int>(ConversionError::Kind::Conversion), 6);
  const ConversionError e = ConversionError::invalid_input("x");
  EXPECT_EQ(e.kind(), ConversionError::Kind::InvalidInput);
  EXPECT_EQ(e.payload(), "x");
  const ConversionError io = ConversionError::io(std::make_error_code(std::errc::no_such_file_or_directory));
  EXPECT_EQ(io.kind(), ConversionError::Kind::Io);
  EXPECT_EQ(io.display(), "I/O error: " + std::make_error_code(std::errc::no_such_file_or_directory).message());
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

  Outcome<void> done;
  EXPECT_TRUE(done.ok());
  Outcome<void> failed(ConversionError::invalid_input("no"));
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error().kind(), ConversionError::Kind::InvalidInput);
}

}  // namespace
}  // namespace tidewell
