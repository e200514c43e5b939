#include "common/emphasis_reading.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/char_sides.hpp"

namespace tidewell {
namespace {

// How each byte shows, one letter a byte: '.' hidden, 't' plain text, and
// for text with formatting the sum of e (emphasis) 1, s (strong) 2,
// k (strike) 4 as a digit.
std::string shown_as(std::string_view text, ReadingEdges edges = {}) {
  std::vector<std::uint8_t> shown;
  read_inline_emphasis(text, edges, shown);
  std::string out;
  for (const std::uint8_t s : shown) {
    if ((s & kShownText) == 0) {
      out += '.';
      continue;
    }
    const int formatting = ((s & kShownEmphasis) ? 1 : 0) + ((s & kShownStrong) ? 2 : 0) + ((s & kShownStrike) ? 4 : 0);
    out += formatting == 0 ? 't' : static_cast<char>('0' + formatting);
  }
  return out;
}

struct ReadCase {
  const char* text;
  const char* shown;
};

// Each case was read with markdown-it (CommonMark and strikethrough) too.
const ReadCase kReadCases[] = {
    {"*a*", ".1."},
    {"**a**", "..2.."},
    {"***a**a*", "...3..1."},
    {"***a*a**", "...3.2.."},
    {"*a***b**", ".1...2.."},
    {"*a***.**", ".1.ttttt"},           // the run can only close: "**.**" stays
    {"_a_**.**", ".1...2.."},
    {"a_b_c", "ttttt"},                  // '_' pairs in no word
    {"a*b*c", "t.1.t"},
    {"a***a**a**a***", "t...3..1..1.tt"},  // the rule of three, as markdown-it has it
    {"~~a~~", "..4.."},
    {"~~~a~~", "t..4.."},
    {"`*a*`", ".ttt."},                  // no emphasis inside code
    {"\\*a*", ".ttt"},
    {"[*a*](u)", "..1....."},
    {"*[a](u)*", "..1....."},
    {"*a[b*](u)", "tt.tt...."},           // a link's text is read apart
    {"x ~~a~~~", "tt..4t.."},             // an odd tilde stands outside
    {"<b>*a*</b>", "....1....."},
    {"<ab:c>", ".tttt."},
    {"<a:b>", "ttttt"},                  // a scheme of one letter: no autolink
};

TEST(EmphasisReading, ReadsAsMarkdownIt) {
  for (const ReadCase& c : kReadCases) EXPECT_EQ(shown_as(c.text), c.shown) << c.text;
}

TEST(EmphasisReading, EdgesDecideFlanking) {
  // "*.a*" after a letter cannot open; after white space it can.
  EXPECT_EQ(shown_as("*.a*", ReadingEdges{kWordSide, kSpaceSide}), "tttt");
  EXPECT_EQ(shown_as("*.a*", ReadingEdges{kSpaceSide, kSpaceSide}), ".11.");
  // A reference link reads only where references are defined.
  EXPECT_EQ(shown_as("[*a*][1]"), "t.1.tttt");
  EXPECT_EQ(shown_as("[*a*][1]", ReadingEdges{kSpaceSide, kSpaceSide, true}), "..1.....");
}

TEST(EmphasisReading, ReportsPartners) {
  std::vector<std::uint8_t> shown;
  std::vector<std::uint32_t> partners;
  read_inline_emphasis("**a** *b*", ReadingEdges{}, shown, &partners);
  EXPECT_EQ(partners[0], 4u);
  EXPECT_EQ(partners[1], 3u);
  EXPECT_EQ(partners[6], 8u);
  EXPECT_EQ(partners[2], kNoPartner);
}

TEST(EmphasisReading, PlannedMarkersReadAsPlanned) {
  // "*a*" then bold punctuation: the runs would join as "***".
  const MarkdownPiece plain[] = {{"*a*"}, {"%", true}, {"."}, {"%", true}};
  const MarkdownPiece joined[] = {{"*a*"}, {"**", true}, {".", false, kShownStrong}, {"**", true}};
  const MarkdownPiece apart[] = {{"*a*"}, {"__", true}, {".", false, kShownStrong}, {"__", true}};
  EXPECT_FALSE(reads_as_planned(plain, joined, ReadingEdges{}));
  EXPECT_TRUE(reads_as_planned(plain, apart, ReadingEdges{}));
  // Where the side after is not known, every side must read.
  const MarkdownPiece text[] = {{"x "}, {"%", true}, {"a."}, {"%", true}};
  const MarkdownPiece marked[] = {{"x "}, {"*", true}, {"a.", false, kShownEmphasis}, {"*", true}};
  EXPECT_TRUE(reads_as_planned(text, marked, ReadingEdges{kSpaceSide, kPunctSide}));
  EXPECT_FALSE(reads_as_planned(text, marked, ReadingEdges{kSpaceSide, kPunctSide | kWordSide}));
}

TEST(EmphasisReading, ReadsAlikeWhateverTheLayout) {
  const MarkdownPiece plain[] = {{"~~**#**~~"}, {"%", true}, {"**.**", false, kShownStrike}, {"%", true}};
  EXPECT_TRUE(reads_alike(plain, "~~**#.**~~", ReadingEdges{}));
  EXPECT_FALSE(reads_alike(plain, "~~**#**.~~", ReadingEdges{}));
}

TEST(EmphasisReading, LonePairsNeedNoReading) {
  const ReadingEdges edges{kSpaceSide, kWordSide};
  EXPECT_EQ(lone_pair_reads("x ", false, "*", "a", "*", "", edges), true);
  EXPECT_EQ(lone_pair_reads("x", false, "**", ".a", "**", "", edges), false);  // after a letter, before '.'
  EXPECT_EQ(lone_pair_reads("x", true, "**", ".a", "**", "", edges), true);
  EXPECT_EQ(lone_pair_reads("x", false, "_", "a", "_", "", edges), false);     // '_' in a word
  EXPECT_EQ(lone_pair_reads("", false, "~~", "a.", "~~", "b", edges), false);
  EXPECT_EQ(lone_pair_reads("x ", false, "*", "a*b", "*", "", edges), std::nullopt);
  EXPECT_EQ(lone_pair_reads("`x ", false, "*", "a", "*", "", edges), true);   // nothing there to close
  EXPECT_EQ(lone_pair_reads("x`", false, "*", "a", "*", "", edges), std::nullopt);
  EXPECT_EQ(lone_pair_reads("*x", false, "*", "a", "*", "", edges), std::nullopt);  // that '*' may pair
}

TEST(EmphasisReading, FindsLinksAtEdges) {
  const std::optional<LinkSpan> first = link_at_edge("[a*b](u) c", true, false);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->label_start, 1u);
  EXPECT_EQ(first->label_end, 4u);
  EXPECT_EQ(first->end, 8u);
  const std::optional<LinkSpan> last = link_at_edge("a [b](u \"t\")", false, false);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->start, 2u);
  EXPECT_FALSE(link_at_edge("x[b](u)", true, false));
  EXPECT_FALSE(link_at_edge("![b](u)", false, false));  // an image
  EXPECT_FALSE(link_at_edge("[b][1]", true, false));
  EXPECT_TRUE(link_at_edge("[b][1]", true, true));
}

TEST(EmphasisReading, LongRunsReadInLinearTime) {
  // Openers that never close, and brackets that never pair: one pass each.
  std::string text;
  for (int i = 0; i < 50000; ++i) text += "*_[`a";
  std::vector<std::uint8_t> shown;
  read_inline_emphasis(text, ReadingEdges{}, shown);
  EXPECT_EQ(shown.size(), text.size());
}

}  // namespace
}  // namespace tidewell
