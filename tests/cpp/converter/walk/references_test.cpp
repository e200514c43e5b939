#include <gtest/gtest.h>

#include <string>

#include "converter/walk/context.hpp"
#include "converter/walk/policy.hpp"

namespace tidewell {
namespace {

TEST(ReferenceLinks, NumbersPairsOnce) {
  ReferenceLinkCollector refs;
  EXPECT_EQ(register_reference(refs, "https://a", std::nullopt), 1u);
  EXPECT_EQ(register_reference(refs, "https://b", std::nullopt), 2u);
  EXPECT_EQ(register_reference(refs, "https://a", std::nullopt), 1u);
  // An empty title is not an absent one; a different title is a new pair.
  EXPECT_EQ(register_reference(refs, "https://a", std::string()), 3u);
  EXPECT_EQ(register_reference(refs, "https://a", std::string("t")), 4u);
  EXPECT_EQ(register_reference(refs, "https://a", std::string("t")), 4u);
  ASSERT_EQ(refs.entries.size(), 4u);
  for (std::size_t i = 0; i < refs.entries.size(); ++i) EXPECT_EQ(refs.entries[i].number, i + 1);
}

TEST(ReferenceLinks, Definitions) {
  ReferenceLinkCollector refs;
  register_reference(refs, "https://a", std::nullopt);
  register_reference(refs, "https://b", std::string("say \"hi\""));
  std::string out;
  append_reference_definitions(refs, out);
  EXPECT_EQ(out, "[1]: https://a\n[2]: https://b \"say \\\"hi\\\"\"\n");
}

// Definitions write their destination as inline links do: Markdown still
// reads it as one destination, the address a browser would make of it.
TEST(ReferenceLinks, DestinationsThatNeedAngleBrackets) {
  const struct {
    const char* url;
    const char* expected;
  } cases[] = {
      {"", "[1]: <>\n"},
      {"a b", "[1]: <a b>\n"},
      {"a\nb", "[1]: ab\n"},
      {"a\r\nb c", "[1]: <ab c>\n"},
      {"a)(b", "[1]: a\\)\\(b\n"},
      {"a <b>", "[1]: <a \\<b\\>>\n"},
      {"a<b>", "[1]: a<b>\n"},
  };
  for (const auto& c : cases) {
    ReferenceLinkCollector refs;
    register_reference(refs, c.url, std::nullopt);
    std::string out;
    append_reference_definitions(refs, out);
    EXPECT_EQ(out, c.expected) << c.url;
  }
}

TEST(ConversionContextRoot, FlagsFromOptionsAndSink) {
  ConversionOptions options;
  options.convert_as_inline = true;
  options.strip_tags = {"SPAN", "div"};
  const WalkSets sets = build_walk_sets(options);
  EXPECT_TRUE(sets.strip_tag_set.contains(std::string_view("div")));
  EXPECT_FALSE(sets.strip_tag_set.contains(std::string_view("span")));

  ConversionContext no_sink = make_root_context(options, nullptr, nullptr, nullptr);
  EXPECT_TRUE(no_sink.inline_mode);
  EXPECT_FALSE(no_sink.collect_document || no_sink.collect_headers || no_sink.collect_links ||
               no_sink.collect_images || no_sink.collect_structured_data);

  MetadataSink sink;
  sink.collect_links = false;
  ConversionContext with_sink = make_root_context({}, &sink, nullptr, nullptr);
  EXPECT_FALSE(with_sink.inline_mode);
  EXPECT_TRUE(with_sink.collect_document && with_sink.collect_headers && with_sink.collect_images &&
              with_sink.collect_structured_data);
  EXPECT_FALSE(with_sink.collect_links);
}

}  // namespace
}  // namespace tidewell
