#include <gtest/gtest.h>

#include "html_parser/parser.hpp"

namespace tidewell {
TEST(CopperfernSmoke, ParagraphWithBreak) {
  auto r = copperfern_tl::parse_document("<p>a<br>b</p>");
  ASSERT_TRUE(r.ok());
  const TlDom& d = r.dom();
  ASSERT_EQ(d.top_level.size(), 1u);
  const auto* p = d.tag(d.top_level[0]);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->children.size(), 3u);
  EXPECT_EQ(inner_text(*p, d).view(), "ab");
}
}  // namespace tidewell
