#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converter/fast_dom/markers.hpp"

using namespace tidewell::fast_dom;

namespace {

std::string settled(std::string_view run) {
  MarkerSettler settler;
  std::string out;
  std::vector<std::size_t> none;
  settler.settle(run, "", out, none);
  return out;
}

// Marker bytes: \xF8 \xF9 strong, \xFA \xFB emphasis, \xFC \xFD \xFE a link.
TEST(FastDomMarkers, RunsAreSettled) {
  struct Case {
    const char* run;
    const char* markdown;
  };
  for (const Case& c : {
           Case{"\xF8x\xF9y", "**x**y"},
           // elements side by side of one kind are one pair
           Case{"\xF8x\xF9\xF8y\xF9", "**xy**"},
           // opened before the run, and left open at its end
           Case{"x y\xFB z", "*x y* z"},
           Case{"\xF8x y", "**x y**"},
           // a blank line ends the pair's paragraph
           Case{"\xF8" "a  \n\nb\xF9", "**a**  \n\n**b**"},
           // around a link beside letters: inside its brackets
           Case{"a\xF8\xFC[x\xFD](u)\xFE\xF9" "b", "a[**x**](u)b"},
           Case{"a \xF8\xFC[x\xFD](u)\xFE\xF9 b", "a **[x](u)** b"},
           // markers that would meet: the other character for one pair
           Case{"\xFA" "a\xFB\xF8.\xF9", "_a_**.**"},
           // no writing reads: the pair is left out, code spans that meet
           // there are one
           Case{"x`a`\xF8`b`\xF9y", "x`ab`y"},
           Case{"a\xF8.x\xF9", "a.x"},
       }) {
    EXPECT_EQ(settled(c.run), c.markdown) << c.run;
  }
}

TEST(FastDomMarkers, PlacesFollowTheirBytes) {
  MarkerSettler settler;
  std::string out;
  std::vector<std::size_t> places = {1, 2, 4};  // the strong's opening, 'b', 'c'
  settler.settle("a\xF8" "b\xF9" "c", "", out, places);
  EXPECT_EQ(out, "a**b**c");
  EXPECT_EQ(places, (std::vector<std::size_t>{1, 3, 6}));
}

}  // namespace
