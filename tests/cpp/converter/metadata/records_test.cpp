#include <gtest/gtest.h>

#include <string>

#include "converter/metadata/records.hpp"

namespace tidewell {
namespace {

TEST(ClassifyLinkTarget, Table) {
  const struct {
    const char* href;
    LinkType expected;
  } cases[] = {
      {"", LinkType::Other},
      {"#top", LinkType::Anchor},
      {"#", LinkType::Anchor},
      {"mailto:a@b.c", LinkType::Email},
      {"tel:+123", LinkType::Phone},
      {"http://x.org", LinkType::External},
      {"https://x.org/p", LinkType::External},
      {"//cdn.x.org/a", LinkType::Internal},
      {"/about", LinkType::Internal},
      {"../up", LinkType::Internal},
      {"./here", LinkType::Internal},
      {"page.html", LinkType::Other},
      {"ftp://x.org", LinkType::Other},
      {"HTTP://X.ORG", LinkType::Other},
      {"MAILTO:a@b.c", LinkType::Other},
      {"http:/x", LinkType::Other},
      {".hidden", LinkType::Other},
  };
  for (const auto& c : cases) EXPECT_EQ(classify_link_target(c.href), c.expected) << c.href;
}

TEST(ClassifyImageSource, Table) {
  const struct {
    const char* src;
    ImageType expected;
  } cases[] = {
      {"", ImageType::Relative},
      {"data:image/svg+xml,<svg></svg>", ImageType::DataUri},
      {"http://x.org/a.png", ImageType::External},
      {"https://x.org/a.png", ImageType::External},
      {"<svg viewBox='0 0 1 1'></svg>", ImageType::InlineSvg},
      {"<div>x</div>svg", ImageType::InlineSvg},
      {"<div>x</div>", ImageType::Relative},
      {"img/a.png", ImageType::Relative},
      {"//cdn.x.org/a.png", ImageType::Relative},
      {"HTTPS://x.org/a.png", ImageType::Relative},
  };
  for (const auto& c : cases) EXPECT_EQ(classify_image_source(c.src), c.expected) << c.src;
}

TEST(MetadataRecords, HeaderLevelsAndOffset) {
  MetadataSink sink;
  for (int level = 0; level <= 7; ++level) {
    metadata_add_header(sink, static_cast<std::uint8_t>(level), std::string(1, static_cast<char>('0' + level)), std::nullopt, 2);
  }
  metadata_add_header(sink, 2, "with id", std::string("sec"), 0);
  ASSERT_EQ(sink.headers.size(), 7u);
  EXPECT_EQ(sink.headers.front().level, 1);
  EXPECT_EQ(sink.headers[5].level, 6);
  EXPECT_EQ(sink.headers[5].depth, 2u);
  EXPECT_EQ(sink.headers[6].id, "sec");
  for (const auto& h : sink.headers) EXPECT_EQ(h.html_offset, 0u);
}

TEST(MetadataRecords, LinkRelWordsAndType) {
  MetadataSink sink;
  OrderedMap attrs{{"data-x", "1"}};
  metadata_add_link(sink, "https://x.org", "X", std::string("t"), std::string("nofollow  noopener"), attrs);
  metadata_add_link(sink, "#a", "A", std::nullopt, std::nullopt, {});
  metadata_add_link(sink, "/b", "B", std::nullopt, std::string(" \t\xC2\xA0"), {});
  metadata_add_link(sink, "/c", "C", std::nullopt, std::string("\xE2\x80\x83next\nprev\xE3\x80\x80"), {});
  ASSERT_EQ(sink.links.size(), 4u);
  EXPECT_EQ(sink.links[0].link_type, LinkType::External);
  EXPECT_EQ(sink.links[0].rel, (std::vector<std::string>{"nofollow", "noopener"}));
  EXPECT_EQ(sink.links[0].title, "t");
  EXPECT_EQ(sink.links[0].attributes, attrs);
  EXPECT_EQ(sink.links[1].link_type, LinkType::Anchor);
  EXPECT_TRUE(sink.links[1].rel.empty());
  EXPECT_TRUE(sink.links[2].rel.empty());
  EXPECT_EQ(sink.links[3].rel, (std::vector<std::string>{"next", "prev"}));
}

TEST(MetadataRecords, ImageTypeAndFields) {
  MetadataSink sink;
  metadata_add_image(sink, "data:image/png;base64,AA", std::string("alt"), std::nullopt,
                     std::make_pair(10u, 20u), {});
  metadata_add_image(sink, "", std::nullopt, std::string("t"), std::nullopt, {{"k", "v"}});
  ASSERT_EQ(sink.images.size(), 2u);
  EXPECT_EQ(sink.images[0].image_type, ImageType::DataUri);
  EXPECT_EQ(sink.images[0].dimensions, std::make_pair(10u, 20u));
  EXPECT_EQ(sink.images[0].alt, "alt");
  EXPECT_EQ(sink.images[1].image_type, ImageType::Relative);
  EXPECT_EQ(sink.images[1].attributes.at("k"), "v");
}

TEST(MetadataRecords, FlagsOffDropEverything) {
  MetadataSink sink;
  sink.collect_headers = false;
  sink.collect_links = false;
  sink.collect_images = false;
  metadata_add_header(sink, 1, "h", std::nullopt, 0);
  metadata_add_link(sink, "/a", "a", std::nullopt, std::nullopt, {});
  metadata_add_image(sink, "a.png", std::nullopt, std::nullopt, std::nullopt, {});
  EXPECT_TRUE(sink.headers.empty());
  EXPECT_TRUE(sink.links.empty());
  EXPECT_TRUE(sink.images.empty());
}

}  // namespace
}  // namespace tidewell
