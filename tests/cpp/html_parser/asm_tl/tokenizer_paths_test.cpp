// The vectorised scan path must give the same token and attribute arrays,
// byte for byte, as the byte-by-byte path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "html_parser/asm_tl/tokenizer.hpp"
#include "support/corpus.hpp"

namespace tidewell::asm_tl {
namespace {

struct Output {
  std::uint32_t code;
  std::size_t depth;
  std::vector<AsmToken> tokens;
  std::vector<AsmAttribute> attributes;
  std::vector<std::uint32_t> stack;
  std::vector<ScopeEntry> scopes;
};

Output run(ScanPath path, const std::string& html) {
  const std::size_t n = html.size() + 1;
  Output o;
  o.tokens.assign(n, AsmToken{});
  o.attributes.assign(n, AsmAttribute{});
  o.stack.assign(n, 0);
  o.scopes.assign(n, ScopeEntry{});
  TokenBuffers b{o.tokens.data(), n, 0, o.attributes.data(), n, 0, o.stack.data(), n, 0, 0, o.scopes.data(), n};
  o.code = tokenize_html_with(path, html.data(), html.size(), b);
  o.tokens.resize(b.token_count);
  o.attributes.resize(b.attribute_count);
  o.stack.resize(b.stack_depth);
  o.depth = b.stack_depth;
  return o;
}

void expect_same(const Output& a, const Output& b, const std::string& what) {
  ASSERT_EQ(a.code, b.code) << what;
  ASSERT_EQ(a.tokens.size(), b.tokens.size()) << what;
  ASSERT_EQ(a.attributes.size(), b.attributes.size()) << what;
  ASSERT_EQ(a.stack, b.stack) << what;
  ASSERT_EQ(0, std::memcmp(a.tokens.data(), b.tokens.data(), a.tokens.size() * sizeof(AsmToken))) << what;
  ASSERT_EQ(0, std::memcmp(a.attributes.data(), b.attributes.data(), a.attributes.size() * sizeof(AsmAttribute)))
      << what;
}

void compare_all_paths(const std::string& html, const std::string& what) {
  expect_same(run(ScanPath::Scalar, html), run(ScanPath::Portable, html), what);
}

TEST(AsmTokenizerPaths, RandomBytesOverMarkupAlphabet) {
  std::mt19937 rng(20240611);
  const std::string alphabet = "<<>>//!!--==\"\"''  \n\n\tabcdpi:_+.&;\x80\xC3";
  for (int round = 0; round < 3000; ++round) {
    const std::size_t len = rng() % 200;
    std::string html(len, ' ');
    for (char& c : html) c = alphabet[rng() % alphabet.size()];
    compare_all_paths(html, "random round " + std::to_string(round));
  }
}

TEST(AsmTokenizerPaths, RandomHtmlLikeInput) {
  std::mt19937 rng(7);
  const char* pieces[] = {"<div class=\"", "\">", "<p>", "</p>", "<a href=", " title='", "'", ">", "<br/>",
                          "<img src=x.png alt=\"a b\">", "<!-- ", " -->", "<!DOCTYPE html>", "</ div>",
                          "< span>", "text ", "more text that goes on for a while ", "\n", "&amp;", "=",
                          "<script>if (a < b) x = \"<p>\";</script>", "<i id=", " class", "/"};
  for (int round = 0; round < 3000; ++round) {
    std::string html;
    const int count = static_cast<int>(rng() % 40);
    for (int i = 0; i < count; ++i) {
      html += pieces[rng() % std::size(pieces)];
      if (rng() % 4 == 0) html.append(rng() % 70, "xyz <>\"'"[rng() % 8]);
    }
    compare_all_paths(html, "html-like round " + std::to_string(round));
  }
}

TEST(AsmTokenizerPaths, EveryTruncationOfASample) {
  const std::string sample =
      "<!DOCTYPE html><html><head><title>t</title></head><body class=main>"
      "<p id='x' data-long=\"0123456789012345678901234567890123456789\">Some text that is longer than "
      "thirty-two bytes<br /><a href=https://example.com/a/very/long/path/that/crosses/blocks>link</a>"
      "<!-- a comment long enough to cross a vector block --></p></body></html>";
  for (std::size_t len = 0; len <= sample.size(); ++len) {
    compare_all_paths(sample.substr(0, len), "prefix " + std::to_string(len));
  }
}

TEST(AsmTokenizerPaths, CorpusPages) {
  namespace fs = std::filesystem;
  const fs::path corpus = TIDEWELL_CORPUS_DIR;
  if (!fs::exists(corpus)) TIDEWELL_SKIP_WITHOUT_CORPUS("corpus");
  std::vector<fs::path> pages;
  for (const char* dir : {"readability/pages", "trafilatura/pages", "article-extraction-benchmark/pages"}) {
    if (!fs::exists(corpus / dir)) continue;
    for (const auto& entry : fs::directory_iterator(corpus / dir)) pages.push_back(entry.path());
  }
  std::sort(pages.begin(), pages.end());
  ASSERT_FALSE(pages.empty());
  for (const fs::path& page : pages) {
    std::ifstream in(page, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    compare_all_paths(buffer.str(), page.filename().string());
  }
}

}  // namespace
}  // namespace tidewell::asm_tl
