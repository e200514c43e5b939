// What a stream hands out after each chunk: text that can no longer change,
// never twice, with markup cut by a chunk's end carried to the next call.
#include "streaming/processor.hpp"
#include "streaming/stream_support.hpp"

namespace tidewell::streaming::test {
namespace {

std::vector<std::string> feed(QuillmoorStream& stream, const std::vector<std::string>& chunks) {
  std::vector<std::string> out;
  for (const std::string& chunk : chunks) out.push_back(chunk == "<finish>" ? stream.finish() : stream.process_chunk(chunk));
  return out;
}

TEST(Stream, CarriesATagCutByTheChunkEnd) {
  QuillmoorStream stream;
  EXPECT_EQ(stream.process_chunk("<di"), "");
  EXPECT_EQ(stream.carried_bytes(), 3u);
  EXPECT_EQ(stream.process_chunk("v>x</div>y"), "x");
  EXPECT_EQ(stream.carried_bytes(), 0u);
  EXPECT_EQ(stream.finish(), "\n\ny");
}

TEST(Stream, CarriesTextNeverButTheTagAfterIt) {
  QuillmoorStream stream;
  EXPECT_EQ(stream.process_chunk("<p>x <y"), "");
  EXPECT_EQ(stream.carried_bytes(), 2u);
}

TEST(Stream, StartTagCutInsideQuotedValue) {
  QuillmoorStream stream;
  EXPECT_EQ(stream.process_chunk("<a href=\"x>"), "");
  EXPECT_EQ(stream.process_chunk("y\">t</a> z"), "[t](<x\\>y>)");
  EXPECT_EQ(stream.finish(), " z");
}

TEST(Stream, CommentCutByChunksWritesNothing) {
  QuillmoorStream stream;
  std::string out;
  for (const char* chunk : {"a<!-", "- x <b>", "y</b> -", "-", ">c"}) out += stream.process_chunk(chunk);
  EXPECT_EQ(out + stream.finish(), "ac");
}

TEST(Stream, FinishKeepsUnfinishedEndTagOfTitleAsText) {
  QuillmoorStream stream;
  stream.process_chunk("<title>x</tit");
  EXPECT_EQ(stream.finish(), "x</tit");
}

TEST(Stream, FinishDropsUnfinishedComment) {
  QuillmoorStream stream;
  EXPECT_EQ(stream.process_chunk("<p>x<!-- open"), "x");
  EXPECT_EQ(stream.finish(), "");
}

TEST(Stream, FinishThenMoreContinuesTheDocument) {
  QuillmoorStream stream;
  EXPECT_EQ(feed(stream, {"<p>a", "<finish>", "<p>b", "<finish>", "<finish>"}),
            (std::vector<std::string>{"", "a", "", "\n\nb", ""}));
}

TEST(Stream, EmptyChunkChangesNothing) {
  QuillmoorStream stream;
  EXPECT_EQ(stream.process_chunk(""), "");
  EXPECT_EQ(stream.process_chunk("<p>Hel"), "");
  EXPECT_EQ(stream.process_chunk(""), "");
  EXPECT_EQ(stream.process_chunk("lo</p>"), "Hello");
  EXPECT_EQ(stream.finish(), "");
}

// ---- the drain

TEST(Drain, LeadingWhitespaceNeverHandedOut) {
  QuillmoorStream stream;
  EXPECT_EQ(feed(stream, {"  \n \xC2\xA0<p>", "text</p>", "<finish>"}), (std::vector<std::string>{"", "text", ""}));
}

TEST(Drain, TrailingWhitespaceHeldUntilContentFollows) {
  QuillmoorStream stream;
  EXPECT_EQ(feed(stream, {"<p>text</p>", "<p>more</p>", "<finish>"}),
            (std::vector<std::string>{"text", "\n\nmore", ""}));
}

TEST(Drain, CodeBlockHeldUntilPreCloses) {
  QuillmoorStream stream;
  EXPECT_EQ(feed(stream, {"<p>a</p><pre>x\n", "```y</pre>", "<finish>"}),
            (std::vector<std::string>{"a", "\n\n````\nx\n```y\n````", ""}));
}

TEST(Drain, EmptyEmphasisOpenerNeverHandedOut) {
  QuillmoorStream stream;
  EXPECT_EQ(feed(stream, {"<p>a<em>", "</em>b</p>", "<finish>"}), (std::vector<std::string>{"a", "b", ""}));
}

TEST(Drain, TrailingHashesOfOpenHeadingHeld) {
  QuillmoorStream stream;
  EXPECT_EQ(feed(stream, {"<h2>C <span>#</span>", "</h2>", "<finish>"}),
            (std::vector<std::string>{"## C", " \\#", ""}));
}

TEST(Drain, SecondDrainWithoutInputIsEmpty) {
  QuillmoorStream stream;
  EXPECT_EQ(stream.process_chunk("<p>a</p><p>b</p><p>"), "a\n\nb");
  EXPECT_EQ(stream.process_chunk(""), "");
}

TEST(Drain, LongQuotationStreamsBeforeItCloses) {
  std::string body;
  for (int i = 0; i < 400; ++i) body += "<p>line " + std::to_string(i) + " of a long quotation</p>";
  const std::string html = "<p>intro</p><blockquote>" + body + "</blockquote><p>after</p>";
  QuillmoorStream stream;
  std::string before_close;
  const std::size_t close = html.find("</blockquote>");
  for (std::size_t at = 0; at < close; at += 1000) {
    before_close += stream.process_chunk(std::string_view(html).substr(at, std::min<std::size_t>(1000, close - at)));
  }
  EXPECT_GT(before_close.size(), 8000u);
  EXPECT_EQ(before_close.substr(0, 15), "intro\n\n> line 0");
  EXPECT_LT(stream.buffered_output(), 9000u);
  std::string rest = stream.process_chunk(std::string_view(html).substr(close));
  rest += stream.finish();
  EXPECT_EQ(before_close + rest, convert(html));
}

TEST(Drain, BufferKeepsOnlyWhatIsNotHandedOut) {
  std::string html;
  for (int i = 0; i < 20000; ++i) html += "<p>paragraph number " + std::to_string(i) + "</p>";
  QuillmoorStream stream;
  std::size_t peak = 0;
  for (std::size_t at = 0; at < html.size(); at += 4096) {
    stream.process_chunk(std::string_view(html).substr(at, 4096));
    peak = std::max(peak, stream.buffered_output());
  }
  EXPECT_LT(peak, 200u);
}

// ---- closed elements leave nothing that holds the output

TEST(Holds, EmptyInlineCodeReleasesTheDrain) {
  // The empty code's opener is taken back; its code-span record went with it,
  // so what follows streams out before finish().
  QuillmoorStream stream;
  EXPECT_EQ(stream.process_chunk("<p>a <code></code>b</p><p>c</p><p>"), "a b\n\nc");
  EXPECT_FALSE(stream.holds_outstanding());
  EXPECT_EQ(stream.finish(), "");
}

TEST(Holds, NothingLeftOnceEveryElementClosed) {
  for (const char* html : {"<p><b></b><i> </i><code></code><q></q></p>", "<blockquote><p>x</p></blockquote>",
                           "<ul><li>a<ul><li>b</li></ul></li></ul>", "<pre>x</pre>", "<a href=u>t</a>",
                           "<figure><figcaption>c</figcaption></figure>", "<figcaption> </figcaption>"}) {
    QuillmoorStream stream;
    stream.process_chunk(html);
    EXPECT_EQ(stream.processor().stack_depth(), 0u) << html;
    EXPECT_FALSE(stream.holds_outstanding()) << html;
  }
}

}  // namespace
}  // namespace tidewell::streaming::test
