// Seeded random and mutated markup and the html5lib inputs through the
// streaming converter, at once and in random chunks. Run under ASan/UBSan
// this is the streaming converter's memory-safety check; every run must give
// valid UTF-8, the same Markdown however it is cut (up to the documented
// exceptions), and leave nothing holding the output once finished.
#include <random>

#include "common/utf8.hpp"
#include "streaming/processor.hpp"
#include "streaming/stream_support.hpp"
#include "support/markup.hpp"

namespace tidewell::streaming::test {
namespace {

// Empty when converting `html` at once and in the given cuts agrees, else
// what is wrong.
std::string check_stream(const std::string& html, const std::vector<std::size_t>& cuts) {
  const std::string whole = convert(html);
  if (!is_valid_utf8(whole)) return "not valid UTF-8";
  QuillmoorStream stream;
  const std::string chunked = stream_cut_at(stream, html, cuts);
  if (stream.holds_outstanding()) return "a hold outlived the document";
  if (stream.processor().stack_depth() != 0) return "elements left open";
  if (chunked != whole && without_automatic_links(chunked) != without_automatic_links(whole)) {
    return "chunked differs:\n" + chunked + "\n---- at once:\n" + whole;
  }
  return "";
}

std::vector<std::size_t> random_cuts(const std::string& html, tidewell::test::MarkupGenerator& gen) {
  std::vector<std::size_t> cuts;
  const std::size_t step = 1 + gen.below(gen.chance(0.3) ? 4 : 300);
  for (std::size_t at = 1 + gen.below(step); at < html.size(); at += 1 + gen.below(step)) {
    if ((static_cast<unsigned char>(html[at]) & 0xC0) != 0x80) cuts.push_back(at);
  }
  return cuts;
}

TEST(StreamFuzz, RandomAndMutatedMarkup) {
  tidewell::test::MarkupGenerator gen(20261211);
  const auto pages = tidewell::test::corpus_pages();
  std::vector<std::string> page_texts;
  for (std::size_t i = 0; i < pages.size(); i += 23) page_texts.push_back(tidewell::test::page_text(pages[i]));
  for (int round = 0; round < 2000; ++round) {
    const std::string html = gen.input(page_texts, round);
    ASSERT_EQ(check_stream(html, random_cuts(html, gen)), "") << "round " << round << ": " << html.substr(0, 600);
  }
}

// Past 8 KB of held output a quotation's completed lines are quoted early,
// by the drain and before a code opener: random markup inside and after a
// long quotation, and after a long paragraph, gives the same Markdown
// however it is cut.
TEST(StreamFuzz, RandomMarkupPastTheEarlyQuotingSize) {
  tidewell::test::MarkupGenerator gen(20261212);
  std::string long_quote = "<blockquote>";
  for (int i = 0; i < 500; ++i) long_quote += "<p>line of a quotation</p>";
  std::string long_text = "<p>";
  for (int i = 0; i < 2000; ++i) long_text += "word ";
  long_text += "</p>";
  for (int round = 0; round < 400; ++round) {
    const std::string html = (round % 2 ? long_quote : long_text) + gen.markup(1 + gen.below(60));
    ASSERT_EQ(check_stream(html, random_cuts(html, gen)), "") << "round " << round << ": " << html.substr(html.size() > 600 ? html.size() - 600 : 0);
  }
}

TEST(StreamFuzz, Html5libTreeConstructionInputs) {
  const auto cases = tidewell::test::html5lib_cases();
  if (cases.empty()) TIDEWELL_SKIP_WITHOUT_CORPUS("html5lib tree-construction files");
  tidewell::test::MarkupGenerator gen(7);
  for (const auto& c : cases) {
    EXPECT_EQ(check_stream(c.data, char_boundaries(c.data)), "") << c.where << ": " << c.data;
    EXPECT_EQ(check_stream(c.data, random_cuts(c.data, gen)), "") << c.where << ": " << c.data;
  }
}

}  // namespace
}  // namespace tidewell::streaming::test
