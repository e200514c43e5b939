// The whole entry over real pages, the html5lib tree-construction inputs and
// seeded random or mutated markup. Run under the ASan/UBSan build these are
// the project's memory-safety check of every stage: each call gives a result
// whose text and serialised record are valid UTF-8, or one of the refusals
// documented for its input.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "converter/entry/convert_entry.hpp"
#include "html_parser/dom.hpp"
#include "result/result_writer.hpp"
#include "support/corpus.hpp"
#include "support/markup.hpp"

namespace tidewell {
namespace {

namespace fs = std::filesystem;
using test::corpus_pages;
using test::MarkupGenerator;
using test::page_text;

// The refusals a markup-sized input may meet; anything else is a fault.
bool documented_refusal(const ConversionError& error) {
  const std::string text = error.display();
  return text.starts_with("Invalid input: binary data detected (") ||
         text.starts_with("HTML parsing error: Failed to parse HTML") ||
         text.starts_with("HTML parsing error: Failed to parse repaired HTML");
}

// Empty when the call is sound, else what is wrong with it.
std::string check_call(const std::string& html, const ConversionOptions& options) {
  const Outcome<ConversionResult> out = convert_entry(html, options);
  if (!out.ok()) return documented_refusal(out.error()) ? "" : "refused: " + out.error().display();
  const ConversionResult& result = out.value();
  if (result.content && !is_valid_utf8(*result.content)) return "content is not valid UTF-8";
  std::string json;
  serialize_conversion_result(result, json);
  if (!is_valid_utf8(json)) return "the result record is not valid UTF-8";
  return "";
}

// Options the tier-1 scanner implements: "auto" tries it first.
ConversionOptions tier1_options() {
  ConversionOptions o;
  o.code_block_style = CodeBlockStyle::Indented;
  o.highlight_style = HighlightStyle::None;
  return o;
}

ConversionOptions fast_dom_options(ParserBackend backend) {
  ConversionOptions o;
  o.tier_strategy = TierStrategy::FastDom;
  o.parser_backend = backend;
  return o;
}

TEST(ConvertFuzz, CorpusPagesOnTheFastRoads) {
  const std::vector<fs::path> pages = corpus_pages();
  if (pages.empty()) TIDEWELL_SKIP_WITHOUT_CORPUS("corpus");
  const ConversionOptions sets[] = {tier1_options(), fast_dom_options(ParserBackend::Copperfern),
                                    fast_dom_options(ParserBackend::AsmTl)};
  for (const fs::path& page : pages) {
    const std::string html = page_text(page);
    for (const ConversionOptions& options : sets) EXPECT_EQ(check_call(html, options), "") << page;
  }
}

TEST(ConvertFuzz, CorpusPagesUnderEveryOutputForm) {
  const std::vector<fs::path> pages = corpus_pages();
  if (pages.empty()) TIDEWELL_SKIP_WITHOUT_CORPUS("corpus");
  std::vector<ConversionOptions> sets(5);
  sets[1].output_format = OutputFormat::Djot;
  sets[2].output_format = OutputFormat::PlainText;
  sets[3].wrap = true;
  sets[4].tier_strategy = TierStrategy::Quillmoor;
  for (const fs::path& page : pages) {
    const std::string html = page_text(page);
    for (std::size_t i = 0; i < sets.size(); ++i) {
      Outcome<ConversionResult> out = convert_entry(html, sets[i]);
      ASSERT_TRUE(out.ok()) << page << " (option set " << i << "): " << out.error().display();
      ASSERT_TRUE(out.value().content.has_value()) << page;
      EXPECT_TRUE(is_valid_utf8(*out.value().content)) << page << " (option set " << i << ")";
    }
  }
}

TEST(ConvertFuzz, Html5libTreeConstructionInputs) {
  const std::vector<test::Html5libCase> cases = test::html5lib_cases();
  if (cases.empty()) TIDEWELL_SKIP_WITHOUT_CORPUS("html5lib tree-construction files");
  std::vector<ConversionOptions> sets(3);
  sets[1].parser_backend = ParserBackend::AsmTl;
  sets[1].output_format = OutputFormat::PlainText;
  sets[2].output_format = OutputFormat::Djot;
  sets[2].include_document_structure = true;
  sets[2].link_style = LinkStyle::Reference;
  sets[2].wrap = true;
  sets[2].wrap_width = 20;
  sets.push_back(tier1_options());
  sets.push_back(fast_dom_options(ParserBackend::Copperfern));
  sets.push_back(fast_dom_options(ParserBackend::AsmTl));
  for (const test::Html5libCase& c : cases) {
    for (const ConversionOptions& options : sets) {
      EXPECT_EQ(check_call(c.data, options), "") << c.where << ": " << c.data;
    }
  }
  EXPECT_GT(cases.size(), 1500u);
}

// Random but valid options on every road: tier 2, the streaming road,
// fast_dom, and "auto" with options the tier-1 scanner runs under.
ConversionOptions random_options(MarkupGenerator& gen) {
  ConversionOptions o;
  const std::size_t road = gen.below(4);
  if (road == 3) {
    ConversionOptions scanned = tier1_options();
    scanned.extract_metadata = gen.chance(0.7);
    scanned.include_document_structure = gen.chance(0.5);
    scanned.parser_backend = static_cast<ParserBackend>(gen.below(2));
    scanned.preprocessing.remove_forms = gen.chance(0.5);
    return scanned;
  }
  o.tier_strategy = road == 0 ? TierStrategy::Quillmoor : road == 1 ? TierStrategy::FastDom : TierStrategy::Tier2;
  o.heading_style = static_cast<HeadingStyle>(gen.below(3));
  o.code_block_style = static_cast<CodeBlockStyle>(gen.below(3));
  o.output_format = static_cast<OutputFormat>(gen.below(3));
  o.parser_backend = static_cast<ParserBackend>(gen.below(2));
  o.link_style = static_cast<LinkStyle>(gen.below(2));
  o.newline_style = static_cast<NewlineStyle>(gen.below(2));
  o.whitespace_mode = static_cast<WhitespaceMode>(gen.below(2));
  o.escape_asterisks = gen.chance(0.5);
  o.escape_underscores = gen.chance(0.5);
  o.escape_misc = gen.chance(0.5);
  o.escape_ascii = gen.chance(0.3);
  o.extract_metadata = gen.chance(0.7);
  o.include_document_structure = gen.chance(0.5);
  o.strip_newlines = gen.chance(0.2);
  o.convert_as_inline = gen.chance(0.2);
  o.wrap = gen.chance(0.4);
  o.wrap_width = gen.below(100);
  o.preprocessing.enabled = gen.chance(0.8);
  o.preprocessing.preset = static_cast<PreprocessingPreset>(gen.below(3));
  if (gen.chance(0.3)) o.max_depth = gen.below(10);
  if (gen.chance(0.2)) o.strip_tags = {"div", "b"};
  if (gen.chance(0.2)) o.preserve_tags = {"table", "span"};
  if (gen.chance(0.2)) o.exclude_selectors = {".nav", "p > b", "[", "li ~ li"};
  return o;
}

TEST(ConvertFuzz, RandomAndMutatedMarkup) {
  MarkupGenerator gen(20240611);
  const std::vector<fs::path> pages = corpus_pages();
  std::vector<std::string> page_texts;
  for (std::size_t i = 0; i < pages.size(); i += 17) page_texts.push_back(page_text(pages[i]));
  for (int round = 0; round < 1500; ++round) {
    const std::string html = gen.input(page_texts, round);
    const ConversionOptions options = random_options(gen);
    const std::string fault = check_call(html, options);
    ASSERT_EQ(fault, "") << "round " << round << ": " << html.substr(0, 500);
  }
}

// Deep nesting and huge attributes, the shapes that stress every stack and
// every scan.
TEST(ConvertFuzz, DeepNestingAndHugeAttributes) {
  std::vector<std::string> inputs;
  for (const char* unit :
       {"<div>", "<span>", "<b>", "<ul><li>", "<table><tr><td>", "<a href=x><i>", "<ol><a href=x><b><li>"}) {
    std::string html;
    for (int i = 0; i < 100000; ++i) html += unit;
    html += "end";
    inputs.push_back(std::move(html));
  }
  inputs.push_back("<div title=\"" + std::string(3'000'000, 'a') + "\">x</div>");
  inputs.push_back("<img src='" + std::string(3'000'000, '&') + "<p>x");
  inputs.push_back("<html><head><meta name=description content=\"" + std::string(2'000'000, '<') +
                   "\"></head><body>x");
  ConversionOptions structured;
  structured.include_document_structure = true;
  for (const std::string& html : inputs) {
    for (const ConversionOptions& options : {ConversionOptions{}, structured}) {
      EXPECT_EQ(check_call(html, options), "") << html.substr(0, 80);
    }
  }
}

}  // namespace
}  // namespace tidewell
