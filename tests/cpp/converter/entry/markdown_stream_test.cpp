// Random markup with NUL, CR and control bytes, some of it as UTF-16 byte
// pairs, fed to MarkdownStream in random chunks: the joined Markdown, or the
// refusal, is the "quillmoor" road's for the whole text. Run under ASan/UBSan
// this is also the memory-safety check of the chunk preparation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converter/entry/convert_entry.hpp"
#include "converter/entry/markdown_stream.hpp"
#include "streaming/stream_support.hpp"
#include "support/markup.hpp"

namespace tidewell {
namespace {

using streaming::test::without_automatic_links;

// Markup with the bytes the preparation handles scattered in; a share of
// the inputs is written as UTF-16 byte pairs, some after a UTF-8 start.
std::string generate(test::MarkupGenerator& gen) {
  static const char* const kBytes[] = {"\r", "\r\n", "\n", "\0", "\x01", "\x1F", "\r\r\n\n"};
  std::string html = gen.markup(1 + gen.below(gen.chance(0.1) ? 3000 : 120));
  for (std::size_t n = gen.below(gen.chance(0.2) ? 100 : 12); n > 0; --n) {
    const std::size_t at = gen.below(html.size() + 1);
    if (at < html.size() && (static_cast<unsigned char>(html[at]) & 0xC0) == 0x80) continue;
    const char* bytes = gen.pick(kBytes);
    html.insert(at, bytes[0] == '\0' ? std::string(gen.chance(0.1) ? 2 + gen.below(12) : 1, '\0') : std::string(bytes));
  }
  if (gen.chance(0.15)) {
    // Only ASCII keeps its byte pairs valid UTF-8.
    std::string pairs = gen.chance(0.3) ? "<p>x</p>" : "";
    const bool little_endian = gen.chance(0.5);
    for (char c : html) {
      if (static_cast<unsigned char>(c) >= 0x80) continue;
      pairs += little_endian ? std::string{c, '\0'} : std::string{'\0', c};
    }
    html = std::move(pairs);
  }
  // The road spaces "/>" in input with CR or NUL (seen in raw text only),
  // which a stream cannot know before its end: no '/' before a '>', NUL
  // bytes between them or not.
  std::string out;
  for (std::size_t i = 0; i < html.size(); ++i) {
    if (html[i] == '/') {
      const std::size_t next = html.find_first_not_of('\0', i + 1);
      if (next != std::string::npos && html[next] == '>') continue;
    }
    out.push_back(html[i]);
  }
  return out;
}

// Empty when the stream agrees with the road, else what differs.
std::string check(const std::string& html, const std::vector<std::size_t>& cuts) {
  // Text without these takes the plain-text shortcut on every road.
  if (html.find_first_of(std::string_view("<&\r\0", 4)) == std::string::npos) return "";
  ConversionOptions options;
  options.tier_strategy = TierStrategy::Quillmoor;
  const Outcome<ConversionResult> road = convert_entry(html, options);
  MarkdownStream stream;
  std::string joined;
  std::size_t from = 0;
  std::optional<ConversionError> refusal;
  for (std::size_t i = 0; i <= cuts.size() && !refusal; ++i) {
    const std::size_t to = i < cuts.size() ? cuts[i] : html.size();
    Outcome<std::string> out = stream.process_chunk(std::string_view(html).substr(from, to - from));
    from = to;
    if (out) joined += out.value(); else refusal = out.error();
  }
  if (!refusal) {
    Outcome<std::string> out = stream.finish();
    if (out) joined += out.value(); else refusal = out.error();
  }
  // Documented: text that turns out to be UTF-16 after its first bytes
  // were converted is refused as such, whatever the road makes of it.
  if (refusal && refusal->display().find("UTF-16") != std::string::npos) return "";
  if (!road) {
    if (!refusal) return "accepted what the road refuses: " + road.error().display();
    return refusal->display() == road.error().display() ? "" : "refused with " + refusal->display();
  }
  if (refusal) return "refused what the road accepts: " + refusal->display();
  const std::string content = road.value().content.value_or("");
  if (without_automatic_links(joined) == without_automatic_links(content)) return "";
  return "stream:\n" + joined + "\n---- road:\n" + content;
}

TEST(MarkdownStream, PreparesChunksAsTheRoad) {
  test::MarkupGenerator gen(20261211);
  for (int round = 0; round < 1500; ++round) {
    const std::string html = generate(gen);
    std::vector<std::size_t> cuts;
    const std::size_t step = 1 + gen.below(gen.chance(0.3) ? 8 : 5000);
    for (std::size_t at = 1 + gen.below(step); at < html.size(); at += 1 + gen.below(step)) {
      if ((static_cast<unsigned char>(html[at]) & 0xC0) != 0x80) cuts.push_back(at);
    }
    ASSERT_EQ(check(html, cuts), "") << "round " << round << ": " << html.substr(0, 600);
  }
}

TEST(MarkdownStream, FinishEndsTheDocument) {
  MarkdownStream stream;
  EXPECT_EQ(stream.process_chunk("<p>a").value(), "");
  EXPECT_EQ(stream.finish().value(), "a");
  EXPECT_TRUE(stream.finished());
  EXPECT_THROW((void)stream.process_chunk("b"), std::logic_error);
  EXPECT_THROW((void)stream.finish(), std::logic_error);
}

}  // namespace
}  // namespace tidewell
