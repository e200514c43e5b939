#include <gtest/gtest.h>

#include <string>

#include "converter/entry/input_guard.hpp"

using namespace tidewell;

namespace {

std::string prepared(std::string_view text) {
  PreparedInput p = prepare_input(text);
  EXPECT_FALSE(p.refusal.has_value()) << *p.refusal;
  return std::string(p.text(text));
}

std::string with_nul_after(std::string_view ascii) {
  std::string s;
  for (char c : ascii) {
    s.push_back(c);
    s.push_back('\0');
  }
  return s;
}

std::string with_nul_before(std::string_view ascii) {
  std::string s;
  for (char c : ascii) {
    s.push_back('\0');
    s.push_back(c);
  }
  return s;
}

}  // namespace

TEST(DetectBinaryInput, Signatures) {
  EXPECT_EQ(detect_binary_input(std::string("PK\x03\x04 anything", 14)).value(),
            "binary data detected (zip archive); decode/decompress to UTF-8 HTML first");
  EXPECT_EQ(detect_binary_input(std::string("PK\x05\x06", 4)).value(),
            "binary data detected (zip archive); decode/decompress to UTF-8 HTML first");
  EXPECT_EQ(detect_binary_input("%PDF-").value(),
            "binary data detected (PDF data); decode/decompress to UTF-8 HTML first");
  EXPECT_FALSE(detect_binary_input("%PDF").has_value());
  EXPECT_FALSE(detect_binary_input("PK\x03").has_value());
  EXPECT_FALSE(detect_binary_input("").has_value());
  EXPECT_FALSE(detect_binary_input(std::string(1, '\0')).has_value());
}

TEST(DetectBinaryInput, ControlBytes) {
  std::string text(40, 'a');
  for (int i = 0; i < 13; ++i) text[i * 3] = '\x01';
  EXPECT_EQ(detect_binary_input(text).value(), "binary data detected (excess control bytes)");
  text[36] = 'a';  // 12 control bytes: 12/40 is not above 0.3
  EXPECT_FALSE(detect_binary_input(text).has_value());
  EXPECT_FALSE(detect_binary_input(std::string(31, '\x02')).has_value());
  // Bytes past the window never count.
  std::string late(8192, 'a');
  late += std::string(20000, '\x01');
  EXPECT_FALSE(detect_binary_input(late).has_value());
}

TEST(DetectBinaryInput, NulBytes) {
  // Eight NUL bytes are never too many, whatever the length.
  EXPECT_FALSE(detect_binary_input(std::string("ab\0\0\0\0\0\0\0\0cd", 12)).has_value());
  // Nine NUL bytes spread over both offsets: refused in a short window,
  // accepted in a window of 900 bytes.
  auto spread = [](std::size_t length) {
    std::string s(length, 'x');
    for (std::size_t k = 0; k < 9; ++k) s[k * 7 + 1] = '\0';
    return s;
  };
  EXPECT_EQ(detect_binary_input(spread(899)).value(), "binary data detected (excess NUL bytes)");
  EXPECT_FALSE(detect_binary_input(spread(900)).has_value());
  EXPECT_EQ(detect_binary_input(with_nul_after("<html><body>")).value(),
            "binary data detected (UTF-16 data without BOM); decode to UTF-8 HTML first");
}

TEST(PrepareInput, TranscodesUtf16BothEndians) {
  EXPECT_EQ(prepared(with_nul_after("<html>")), "<html>");
  EXPECT_EQ(prepared(with_nul_before("<html>")), "<html>");
  // A surrogate pair becomes one character; a lone surrogate becomes U+FFFD.
  std::string pair = with_nul_after("<p>abcdefghijklmnopqrst");
  pair += std::string("\x3D\xD8\x00\xDE", 4);  // U+1F600 little-endian
  pair += std::string("\x00\xD8", 2) + std::string("a\0", 2);
  EXPECT_EQ(prepared(pair), "<p>abcdefghijklmnopqrst\xF0\x9F\x98\x80\xEF\xBF\xBD" "a");
}

TEST(PrepareInput, EvenNulBytesAreRemovedNotTranscoded) {
  std::string text(1000, 'x');
  for (std::size_t k = 0; k < 5; ++k) {
    text[k * 10] = '\0';
    text[k * 10 + 3] = '\0';
  }
  std::string out = prepared(text);
  EXPECT_EQ(out, std::string(990, 'x'));
}

TEST(PrepareInput, LineEndings) {
  EXPECT_EQ(prepared("a\r\nb\rc\r\r\nd"), "a\nb\nc\n\nd");
  EXPECT_FALSE(normalize_line_endings("a\nb").has_value());
}

TEST(PrepareInput, SelfClosingTags) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"<br/>", "<br />"},
      {"a<hr/>b<x-y/><svg:path/><a_b.c/>", "a<hr />b<x-y /><svg:path /><a_b.c />"},
      {"<img src=\"x\"/>", "<img src=\"x\"/>"},
      {"<br />", "<br />"},
      {"< br/> <1/>", "< br/> <1/>"},
      {"/>", "/>"},
      // Raw text stays as written; the tag after it is spaced.
      {"<script type=x>a<b/>c</script><i/>", "<script type=x>a<b/>c</script><i />"},
      {"<TEXTAREA>a<b/></textarea\n><title>t<br/></title><style>x<b/></style>",
       "<TEXTAREA>a<b/></textarea\n><title>t<br/></title><style>x<b/></style>"},
      {"<textarea title='>'>a<b/></textarea>", "<textarea title='>'>a<b/></textarea>"},
      {"<script><!--<script></script><b/>--></script><i/>", "<script><!--<script></script><b/>--></script><i />"},
      {"<textarea/><b/>", "<textarea /><b />"},
      {"<textareax><b/>", "<textareax><b />"},
      {"<style a='<b/>", "<style a='<b />"},
      {"<title>never closed<b/>", "<title>never closed<b/>"},
  };
  for (const Case& c : cases) EXPECT_EQ(prepared(c.in), c.out) << c.in;
  EXPECT_FALSE(space_self_closing_tags("<p>text</p>").has_value());
}

TEST(PrepareInput, RefusalComesFromTheTranscodedText) {
  PreparedInput p = prepare_input("%PDF-1.4 ...");
  ASSERT_TRUE(p.refusal.has_value());
  EXPECT_EQ(*p.refusal, "binary data detected (PDF data); decode/decompress to UTF-8 HTML first");
}
