// Block elements nested far past the walk's recursion limit: lists, quotes,
// definition lists and the elements that walk their children at their own
// depth all convert, with the structure records on, and keep the innermost
// text. Run under ASan/UBSan by tools/test.sh.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "converter/document/convert_document.hpp"
#include "converter/metadata/structure_sink.hpp"

namespace tidewell {
namespace {

struct Nesting {
  const char* name;
  const char* open;
  const char* close;
};

class BlockNesting : public testing::TestWithParam<Nesting> {};

TEST_P(BlockNesting, KeepsTheInnermostText) {
  const Nesting& kind = GetParam();
  constexpr std::size_t kDepth = 200'000;
  const std::string_view open = kind.open;
  const std::string_view close = kind.close;
  std::string html;
  html.reserve(kDepth * (open.size() + close.size()) + 16);
  for (std::size_t i = 0; i < kDepth; ++i) html += open;
  html += "innermost";
  for (std::size_t i = 0; i < kDepth; ++i) html += close;

  StructureSink structure;
  Outcome<DocumentConversion> result = convert_document(html, ConversionOptions{}, nullptr, &structure);
  ASSERT_TRUE(result.ok());
  EXPECT_NE(result.value().content.find("innermost"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, BlockNesting,
    testing::Values(Nesting{"ul", "<ul><li>", "</li></ul>"}, Nesting{"ol", "<ol><li>", "</li></ol>"},
                    Nesting{"task", "<ul><li><input type=checkbox>", "</li></ul>"},
                    Nesting{"blockquote", "<blockquote>", "</blockquote>"}, Nesting{"dl_dd", "<dl><dd>", "</dd></dl>"},
                    Nesting{"dl", "<dl>", "</dl>"}, Nesting{"menu", "<menu>", "</menu>"},
                    Nesting{"figure", "<figure>", "</figure>"}, Nesting{"details", "<details>", "</details>"},
                    Nesting{"dialog", "<dialog>", "</dialog>"}, Nesting{"fieldset", "<fieldset>", "</fieldset>"},
                    Nesting{"section", "<section>", "</section>"}, Nesting{"pre", "<pre>", "</pre>"},
                    Nesting{"select", "<select><optgroup label=g>", "</optgroup></select>"}),
    [](const testing::TestParamInfo<Nesting>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tidewell
