#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "converter/document/convert_document.hpp"
#include "html_parser/dom.hpp"
#include "support/corpus.hpp"

namespace tidewell {
namespace {

namespace fs = std::filesystem;
using test::corpus_pages;
using test::read_file;

// Every page converts, with metadata and structure collected, into valid
// UTF-8 that is empty or ends in one line feed, without runs of blank lines.
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
      EXPECT_EQ(content.find("\n\n\n"), std::string::npos) << page;
      EXPECT_TRUE(result.value().document.has_value()) << page;
    }
  }
}

}  // namespace
}  // namespace tidewell
