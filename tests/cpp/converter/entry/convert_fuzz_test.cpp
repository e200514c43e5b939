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

namespace tidewell {
namespace {

namespace fs = std::filesystem;
using test::corpus_pages;
using test::read_file;

// The text of a page read as the browser would: UTF-8, or Latin-1 for the
// pages that are not UTF-8.
std::string page_text(const fs::path& path) {
  std::string bytes = read_file(path);
  if (is_valid_utf8(bytes)) return bytes;
  std::string text;
  text.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      text.push_back(static_cast<char>(c));
    } else {
      text.push_back(static_cast<char>(0xC0 | (c >> 6)));
      text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return text;
}

// The refusals a markup-sized input may meet; anything else is a fault.
bool documented_refusal(const ConversionError& error) {
  const std::string text = error.display();
  return text.starts_with("Invalid input: binary data detected (") ||
         text.starts_with("HTML parsing error: Failed to parse HTML") ||
         text.starts_with("HTML parsing error: Failed to parse repaired HTML");
}

// Empty when the call is sound, else what is wrong with it.
std::string check_call(const std::string& html, const ConversionOptions& options) {
  Outcome<ConversionResult> out = [&]() -> Outcome<ConversionResult> {
    try {
      return convert_entry(html, options);
    } catch (const RoadNotBuilt&) {
      return ConversionResult{};
    }
  }();
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
  if (pages.empty()) GTEST_SKIP() << "corpus not found";
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
  std::vector<ConversionOptions> sets(4);
  sets[1].output_format = OutputFormat::Djot;
  sets[2].output_format = OutputFormat::PlainText;
  sets[3].wrap = true;
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

// Seeded random markup: tags, attributes, references and stray characters.
class MarkupGenerator {
 public:
  explicit MarkupGenerator(std::uint64_t seed) : rng_(seed) {}

  std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }
  bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }
  template <class T, std::size_t N>
  const T& pick(const T (&items)[N]) {
    return items[below(N)];
  }

  std::string markup(std::size_t pieces) {
    static const char* const kTags[] = {
        "html", "head", "body", "title", "meta", "p", "div", "span", "br", "hr", "h1", "h2", "h6", "a", "img",
        "b", "em", "code", "pre", "blockquote", "ul", "ol", "li", "dl", "dd", "table", "tr", "td", "th",
        "form", "input", "select", "option", "textarea", "nav", "footer", "aside", "script", "style",
        "noscript", "template", "svg", "math", "mi", "iframe", "xmp", "plaintext", "BR", "IMG", "x-y", "a:b"};
    static const char* const kAttrs[] = {"class", "id", "style", "hidden", "href", "src", "alt", "title",
                                         "type", "checked", "lang", "dir", "name", "content", "property",
                                         "role", "colspan", "rowspan", "start", "", "=", "\"", "a b"};
    static const char* const kValues[] = {
        "", "x", "nav", "footer", "display:none", "true", "rtl", "description", "og:title", "checkbox", "0",
        "-1", "65535", "99999999999999999999", "http://e.x/a b?c&d", "javascript:x", "data:image/png;base64,A",
        "&amp;", "&#0;", "&#x110000;", "&bogus;", "\xC2\xA0", "\xF0\x9F\x98\x80", "a\nb", "<b>", "'"};
    static const char* const kTexts[] = {
        "hello", " ", "\n\n", "\t", "*", "_", "`", "```", "~~~", "# h", "> q", "- i", "1. i", "|", "[l](x)",
        "\\", "<", ">", "&", "&amp;", "&nbsp;", "&#65;", "&#xD800;", "&#1114112;", "&#;", "&notit;", "&amp",
        "\xC2\xA0", "\xE2\x80\x83", "\xE2\x80\x8B", "\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "\r\n",
        "\x0B", "\x7F", "<!-- c -->", "<!--", "-->", "<!DOCTYPE html>", "<![CDATA[x]]>", "<?x?>", "</>",
        "<3", "<a", "<img src=\"x", "/>", "<br/>", "<p/>", "</br>", "&#", "<script>a<b</script>"};
    std::string out;
    std::vector<std::string> open;
    for (std::size_t i = 0; i < pieces; ++i) {
      const double r = std::uniform_real_distribution<double>(0, 1)(rng_);
      if (r < 0.35) {
        const std::string tag = pick(kTags);
        out += "<" + tag;
        for (std::size_t a = below(4); a > 0; --a) {
          out += std::string(" ") + pick(kAttrs);
          if (chance(0.8)) out += std::string(chance(0.5) ? "=\"" : "='") + pick(kValues) + (chance(0.9) ? "\"" : "");
        }
        out += chance(0.15) ? "/>" : ">";
        open.push_back(tag);
      } else if (r < 0.55 && !open.empty()) {
        out += "</" + open.back() + ">";
        open.pop_back();
      } else {
        out += pick(kTexts);
      }
    }
    return out;
  }

  // Cuts, repeats and stray characters over `text`.
  std::string mutate(std::string text, std::size_t rounds) {
    static const char kStray[] = {'<', '&', '"', '\'', '>', '/', '!', '#', '\x01', '\0'};
    for (; rounds > 0; --rounds) {
      const std::size_t a = below(text.size() + 1);
      const std::size_t b = std::min(text.size(), a + 1 + below(200));
      switch (below(5)) {
        case 0: text.erase(a, b - a); break;
        case 1: text.insert(a, text.substr(a, b - a)); break;
        case 2: text.insert(a, markup(1 + below(6))); break;
        case 3: text.insert(text.begin() + static_cast<std::ptrdiff_t>(a), pick(kStray)); break;
        default: text.resize(a); break;
      }
    }
    // A cut may split a multi-byte character; the entry takes text.
    if (auto fixed = utf8_lossy_owned(text)) text = std::move(*fixed);
    return text;
  }

  ConversionOptions options() {
    ConversionOptions o;
    // Every built road: the DOM road, the tier-1 scanner under "auto" (its
    // options below), and fast_dom.
    o.tier_strategy = static_cast<TierStrategy>(below(3));
    o.heading_style = static_cast<HeadingStyle>(below(3));
    o.code_block_style = static_cast<CodeBlockStyle>(below(3));
    o.output_format = static_cast<OutputFormat>(below(3));
    o.parser_backend = static_cast<ParserBackend>(below(2));
    o.link_style = static_cast<LinkStyle>(below(2));
    o.newline_style = static_cast<NewlineStyle>(below(2));
    o.whitespace_mode = static_cast<WhitespaceMode>(below(2));
    o.escape_asterisks = chance(0.5);
    o.escape_underscores = chance(0.5);
    o.escape_misc = chance(0.5);
    o.escape_ascii = chance(0.3);
    o.extract_metadata = chance(0.7);
    o.include_document_structure = chance(0.5);
    o.strip_newlines = chance(0.2);
    o.convert_as_inline = chance(0.2);
    o.wrap = chance(0.4);
    o.wrap_width = below(100);
    o.preprocessing.enabled = chance(0.8);
    o.preprocessing.preset = static_cast<PreprocessingPreset>(below(3));
    if (chance(0.3)) o.max_depth = below(10);
    if (chance(0.2)) o.strip_tags = {"div", "b"};
    if (chance(0.2)) o.preserve_tags = {"table", "span"};
    if (chance(0.2)) o.exclude_selectors = {".nav", "p > b", "[", "li ~ li"};
    if (o.tier_strategy == TierStrategy::Auto && chance(0.6)) {
      ConversionOptions scanned = tier1_options();
      scanned.extract_metadata = o.extract_metadata;
      scanned.include_document_structure = o.include_document_structure;
      scanned.parser_backend = o.parser_backend;
      scanned.preprocessing.remove_forms = chance(0.5);
      return scanned;
    }
    return o;
  }

 private:
  std::mt19937_64 rng_;
};

TEST(ConvertFuzz, RandomAndMutatedMarkup) {
  MarkupGenerator gen(20240611);
  const std::vector<fs::path> pages = corpus_pages();
  std::vector<std::string> page_texts;
  for (std::size_t i = 0; i < pages.size(); i += 17) page_texts.push_back(page_text(pages[i]));
  for (int round = 0; round < 1500; ++round) {
    std::string html;
    if (!page_texts.empty() && round % 5 == 0) {
      const std::string& page = page_texts[gen.below(page_texts.size())];
      const std::size_t a = gen.chance(0.3) ? 0 : gen.below(page.size());
      html = gen.mutate(page.substr(a, 1 + gen.below(40000)), gen.below(6));
    } else {
      html = gen.markup(1 + gen.below(120));
      if (gen.chance(0.5)) html = gen.mutate(html, gen.below(4));
    }
    const ConversionOptions options = gen.options();
    const std::string fault = check_call(html, options);
    ASSERT_EQ(fault, "") << "round " << round << ": " << html.substr(0, 500);
  }
}

// Deep nesting and huge attributes, the shapes that stress every stack and
// every scan.
TEST(ConvertFuzz, DeepNestingAndHugeAttributes) {
  std::vector<std::string> inputs;
  for (const char* unit : {"<div>", "<span>", "<b>", "<ul><li>", "<table><tr><td>", "<a href=x><i>"}) {
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
