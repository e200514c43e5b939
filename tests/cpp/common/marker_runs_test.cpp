#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "common/char_sides.hpp"
#include "common/marker_runs.hpp"

using tidewell::MarkerRun;
using tidewell::MarkerRunReader;

namespace {

// What a character beside a marker counts as, by its general category.
TEST(CategorySides, ByGeneralCategory) {
  using tidewell::category_side_of_code_point;
  for (const char32_t punct : {U'.', U'\u201C', U'\u00BB', U'\u2013', U'\u20AC', U'\u2605', U'\u3002', U'\u00BF'}) {
    EXPECT_EQ(category_side_of_code_point(punct), tidewell::kPunctSide) << static_cast<unsigned>(punct);
  }
  // Digits of any script, marks, format and private-use characters and the
  // line separator are no punctuation and no white space.
  for (const char32_t word : {U'a', U'\u0663', U'\u0301', U'\u00AD', U'\u200B', U'\uE051', U'\u2028', U'\u898B'}) {
    EXPECT_EQ(category_side_of_code_point(word), tidewell::kWordSide) << static_cast<unsigned>(word);
  }
  for (const char32_t space : {U' ', U'\t', U'\u00A0', U'\u2009', U'\u3000'}) {
    EXPECT_EQ(category_side_of_code_point(space), tidewell::kSpaceSide) << static_cast<unsigned>(space);
  }
  EXPECT_EQ(tidewell::category_side_of_char_at("\xC2\xBB", 0), tidewell::kPunctSide);
  EXPECT_EQ(tidewell::category_side_of_char_before("a\xD9\xA3", 3), tidewell::kWordSide);
  EXPECT_EQ(tidewell::category_side_of_char_at("\xFF", 0), tidewell::kAnySide);
  EXPECT_EQ(tidewell::category_space_prefix("\xC2\xA0 x"), 3u);
  EXPECT_EQ(tidewell::category_space_suffix_start("x \xE3\x80\x80"), 1u);
}

using Pairs = std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>>;

Pairs pair(const std::vector<MarkerRun>& runs) {
  MarkerRunReader reader;
  Pairs out;
  for (const auto& p : reader.pair(runs)) out.emplace_back(p.opener, p.closer, p.markers);
  std::sort(out.begin(), out.end());
  return out;
}

MarkerRun run(char mark, std::uint32_t length, bool open, bool close, std::uint64_t scope = 0) {
  return MarkerRun{mark, length, length, open, close, scope};
}

// Runs as a reader pairs them (markdown-it reads each of these so).
TEST(MarkerRuns, PairAsAReader) {
  // "*a*"
  EXPECT_EQ(pair({run('*', 1, true, false), run('*', 1, false, true)}), (Pairs{{0, 1, 1}}));
  // "***a*b*c***" reads <em><em><em>a</em>b</em>c</em>**: the two-sided
  // runs inside close the run of three.
  EXPECT_EQ(pair({run('*', 3, true, false), run('*', 1, true, true), run('*', 1, true, true),
                  run('*', 3, false, true)}),
            (Pairs{{0, 1, 1}, {0, 2, 1}, {0, 3, 1}}));
  // "*a**b*" reads <em>a**b</em>: the rule of three keeps "**" apart.
  EXPECT_EQ(pair({run('*', 1, true, false), run('*', 2, true, true), run('*', 1, false, true)}), (Pairs{{0, 2, 1}}));
  // "**a*****a***" reads <strong>a</strong><em><strong>a</strong></em>.
  EXPECT_EQ(pair({run('*', 2, true, false), run('*', 5, true, true), run('*', 3, false, true)}),
            (Pairs{{0, 1, 2}, {1, 2, 3}}));
  // '_' and '*' never pair; "~~" pairs by twos, an odd run keeps one '~'.
  EXPECT_EQ(pair({run('_', 1, true, false), run('*', 1, false, true)}), Pairs{});
  EXPECT_EQ(pair({run('~', 2, true, false), run('~', 2, false, true)}), (Pairs{{0, 1, 2}}));
  EXPECT_EQ(pair({run('~', 3, true, false), run('~', 3, false, true)}), (Pairs{{0, 1, 2}}));
  EXPECT_EQ(pair({run('~', 1, true, false), run('~', 1, false, true)}), Pairs{});
  // A link's text is read on its own.
  EXPECT_EQ(pair({run('*', 1, true, false), run('*', 1, true, false, 7), run('*', 1, false, true)}),
            (Pairs{{0, 2, 1}}));
  // Markers that paired before the runs described take no part.
  EXPECT_EQ(pair({MarkerRun{'*', 3, 1, true, false, 0}, run('*', 2, false, true)}), (Pairs{{0, 1, 1}}));
}

TEST(MarkerRuns, Flanks) {
  using tidewell::marker_run_flanks;
  const auto both = marker_run_flanks('*', tidewell::kWordSide, tidewell::kWordSide);
  EXPECT_TRUE(both.can_open && both.can_close && both.certain);
  // '_' inside a word neither opens nor closes.
  const auto word = marker_run_flanks('_', tidewell::kWordSide, tidewell::kWordSide);
  EXPECT_FALSE(word.can_open || word.can_close);
  const auto after_punct = marker_run_flanks('_', tidewell::kPunctSide, tidewell::kWordSide);
  EXPECT_TRUE(after_punct.can_open && !after_punct.can_close);
  EXPECT_FALSE(marker_run_flanks('*', tidewell::kAnySide, tidewell::kWordSide).certain);
}

}  // namespace
