// Depth limits, deep nesting, huge constructs, and a scan whose work grows
// with the input however the input is cut.
#include <algorithm>

#include "streaming/processor.hpp"
#include "streaming/stream_support.hpp"

namespace tidewell::streaming::test {
namespace {

std::string repeat(std::string_view s, std::size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (std::size_t i = 0; i < n; ++i) out += s;
  return out;
}

TEST(DepthLimit, ElementBeyondTheLimitIsPending) {
  // The 513th div is pending: its text is written, its own nested divs only
  // count, and their end tags undo that before the stack is touched again.
  const std::string html = repeat("<div>", 513) + "deep<div>deeper</div>still</div>" + repeat("</div>", 512) + "out";
  EXPECT_EQ(convert(html), "deep deeper still\n\nout");
}

TEST(DepthLimit, TagsBeyondTheLimitSeparateTextLikeTheirElements) {
  // Inline tags that cannot open join the text around them; block tags keep
  // a space between.
  EXPECT_EQ(convert(repeat("<div>", 512) + "un<b>believ</b>able<i>!</i>"), "unbelievable!");
  EXPECT_EQ(convert(repeat("<div>", 512) + "<p>a</p><p>b</p>"), "a b");
}

TEST(DepthLimit, TemplateBeyondTheLimitIsSkippedWhole) {
  const std::string html = repeat("<div>", 512) + "a<template><p>x<template>y</template>z</p></template>b" +
                           repeat("</div>", 512) + "c";
  EXPECT_EQ(convert(html), "a b\n\nc");
}

TEST(DepthLimit, VoidElementsStillOpenAtTheLimit) {
  // Void elements are not held to the limit: the stack grows one past it.
  const std::string html = repeat("<span>", 512) + "a<img src=x.png alt=i>b" + repeat("</span>", 512);
  EXPECT_EQ(convert(html), "a![i](x.png)b");
}

TEST(DepthLimit, RawTextBeyondTheLimit) {
  const std::string html = repeat("<div>", 512) + "<title>a<b>c</title><script>x</script>d";
  EXPECT_EQ(convert(html), "a\\<b>c d");
}

TEST(DeepNesting, AMillionLevels) {
  const std::size_t n = 1000000;
  const std::string divs = repeat("<div>", n) + "x" + repeat("</div>", n);
  EXPECT_EQ(convert(divs), "x");
  EXPECT_EQ(stream_in_chunks(divs, 4096), "x");
  EXPECT_EQ(convert(repeat("<b>", n) + "x"), "**x**");
  EXPECT_EQ(convert(repeat("<blockquote>", n) + "x").substr(0, 6), "> > > ");
  EXPECT_EQ(convert(repeat("<ul><li>", n) + "x").substr(0, 10), "-\n  -\n    ");
}

TEST(HugeConstructs, AttributeOfMegabytes) {
  const std::string url(4 << 20, 'u');
  EXPECT_EQ(convert("<a href=\"" + url + "\">t</a>"), "[t](" + url + ")");
  EXPECT_EQ(stream_in_chunks("<a href=\"" + url + "\">t</a>", 4096), "[t](" + url + ")");
}

// The bytes the tokenizer walks looking for the ends of constructs, for the
// document fed in chunks of `size` bytes.
std::uint64_t scan_work(const std::string& html, std::size_t size) {
  QuillmoorStream stream;
  for (std::size_t at = 0; at < html.size(); at += size) stream.process_chunk(std::string_view(html).substr(at, size));
  stream.finish();
  return stream.processor().scan_work();
}

TEST(LinearCost, UnfinishedConstructsAreNotRescannedFromTheirStart) {
  const std::string body(1 << 20, 'x');
  for (const std::string& html :
       {"<p>a<!--" + body, "<p>a<!--" + body + "-->", "<a href=\"" + body, "<a title=" + body + ">", "<a" + body,
        "</a" + body, "</a " + body + ">", "<![CDATA[" + body, "<!DOCTYPE" + body, "<script>" + body,
        "<p>&" + repeat("a", 1 << 20)}) {
    const std::uint64_t whole = scan_work(html, html.size());
    for (std::size_t size : {1u, 7u, 4096u}) {
      EXPECT_LE(scan_work(html, size), 4 * whole + 64) << html.substr(0, 12) << " in chunks of " << size;
    }
  }
}

TEST(LinearCost, CarriedInputStaysSmallForText) {
  QuillmoorStream stream;
  std::size_t peak = 0;
  const std::string html = "<p>" + repeat("word <b>bold</b> ", 100000) + "</p>";
  for (std::size_t at = 0; at < html.size(); at += 4096) {
    stream.process_chunk(std::string_view(html).substr(at, 4096));
    peak = std::max(peak, stream.carried_bytes());
  }
  EXPECT_LE(peak, 16u);
}

}  // namespace
}  // namespace tidewell::streaming::test
