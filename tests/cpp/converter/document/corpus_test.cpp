#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "converter/document/convert_document.hpp"
#include "html_parser/dom.hpp"
#include "support/corpus.hpp"

namespace tidewell {
namespace {

namespace fs = std::filesystem;
using test::corpus_pages;
using test::read_file;

// The offset of the first run of blank lines outside fenced code (whose
// lines are kept as the page has them), or npos.
std::size_t blank_run_outside_code(const std::string& content) {
  std::string fence;
  std::size_t feeds = 0;
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t nl = content.find('\n', pos);
    if (nl == std::string::npos) nl = content.size();
    const bool empty = nl == pos;
    std::string_view line(content.data() + pos, nl - pos);
    while (line.starts_with(' ') || line.starts_with('>')) line.remove_prefix(1);
    const std::size_t run = line.find_first_not_of(line.empty() ? '`' : line[0]);
    const bool fence_line = !line.empty() && (line[0] == '`' || line[0] == '~') && line.size() >= 3 &&
                            (run == std::string_view::npos ? line.size() : run) >= 3;
    if (fence.empty()) {
      if (fence_line) fence.assign(line.substr(0, run == std::string_view::npos ? line.size() : run));
      // Line feeds in a row, as in "\n\n\n".
      feeds = empty ? feeds + 1 : 1;
      if (feeds >= 3) return pos;
    } else if (fence_line && line.starts_with(fence) && line.find_first_not_of(fence[0]) == std::string_view::npos) {
      fence.clear();
      feeds = 1;
    }
    pos = nl + 1;
  }
  return std::string::npos;
}

// Every page converts, with metadata and structure collected, into valid
// UTF-8 that is empty or ends in one line feed, without runs of blank lines
// outside its code.
TEST(ConvertDocumentCorpus, PagesConvertToCleanMarkdown) {
  const std::vector<fs::path> pages = corpus_pages();
  if (pages.empty()) TIDEWELL_SKIP_WITHOUT_CORPUS("corpus");
  for (const fs::path& page : pages) {
    std::string html = read_file(page);
    if (auto fixed = utf8_lossy_owned(html)) html = std::move(*fixed);
    for (ParserBackend backend : {ParserBackend::Copperfern, ParserBackend::AsmTl}) {
      ConversionOptions options;
      options.parser_backend = backend;
      options.include_document_structure = true;
      options.link_style = LinkStyle::Reference;
      MetadataSink sink;
      StructureSink structure;
      Outcome<DocumentConversion> result = convert_document(html, options, &sink, &structure);
      ASSERT_TRUE(result.ok()) << page;
      const std::string& content = result.value().content;
      EXPECT_TRUE(is_valid_utf8(content)) << page;
      if (!content.empty()) {
        EXPECT_EQ(content.back(), '\n') << page;
        EXPECT_FALSE(content.ends_with("\n\n")) << page;
      }
      EXPECT_EQ(blank_run_outside_code(content), std::string::npos) << page;
      EXPECT_TRUE(result.value().document.has_value()) << page;
    }
  }
}

}  // namespace
}  // namespace tidewell
