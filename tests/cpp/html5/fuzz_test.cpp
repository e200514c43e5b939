// Seeded fuzzing of the HTML5 parser: random markup, mutated html5lib
// inputs, deep nesting, misnested formatting and huge tags. Every parse must
// finish and leave a tree whose links agree. The number of cases is fixed so
// that the suite runs under the sanitizers in CI.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "converter/repair/repair.hpp"
#include "common/utf8.hpp"
#include "html5/parser.hpp"
#include "html5/tree_dump.hpp"
#include "support/corpus.hpp"

namespace tidewell::html5 {
namespace {

const char* const kTags[] = {
    "a", "b", "i", "u", "s", "em", "strong", "nobr", "font", "p", "div", "span", "li", "ul", "ol", "dl", "dd",
    "dt", "table", "tbody", "thead", "tfoot", "tr", "td", "th", "caption", "col", "colgroup", "select",
    "option", "optgroup", "hr", "br", "img", "input", "form", "button", "template", "script", "style",
    "textarea", "title", "noscript", "iframe", "xmp", "plaintext", "svg", "math", "mi", "mtext",
    "annotation-xml", "foreignObject", "desc", "path", "frameset", "frame", "head", "body", "html", "pre",
    "listing", "h1", "h3", "applet", "object", "marquee", "ruby", "rt", "rp", "rb", "rtc", "search",
    "dialog", "selectedcontent", "my-el", "image", "isindex", "menuitem", "keygen", "main", "address"};

const char* const kBits[] = {"x", " ", "\n", "\r\n", "\t", "&amp;", "&ampx", "&#0;", "&#x110000;", "&notin",
                             "&", "<", "</", "<!--", "-->", "<!", "<?", "<!DOCTYPE html>", "<![CDATA[",
                             "]]>", "", "\xC3\xA9", "\xEF\xBB\xBF", ">", "\"",
                             "'", "=", "/>"};

std::string random_markup(std::mt19937& rng, std::size_t pieces) {
  std::string out;
  auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
  for (std::size_t k = 0; k < pieces; ++k) {
    switch (pick(6)) {
      case 0:
      case 1: {
        out += '<';
        out += kTags[pick(std::size(kTags))];
        const std::size_t attrs = pick(4);
        for (std::size_t a = 0; a < attrs; ++a) {
          out += pick(2) ? " class" : " encoding";
          out += pick(2) ? "=\"text/html\"" : "=x&amp;y";
        }
        out += pick(5) == 0 ? "/>" : ">";
        break;
      }
      case 2:
        out += "</";
        out += kTags[pick(std::size(kTags))];
        out += '>';
        break;
      case 3: {
        const char* bit = kBits[pick(std::size(kBits))];
        if (bit[0] == '\0') out.push_back('\0');
        else out += bit;
        break;
      }
      default: out += "text "; break;
    }
  }
  return out;
}

void check_parse(const std::string& input, const std::string& label) {
  const Document doc = parse_document(input);
  const std::string broken = test::check_links(doc);
  ASSERT_TRUE(broken.empty()) << label << ": " << broken;
  ParseOptions off;
  off.scripting = false;
  ASSERT_TRUE(test::check_links(parse_document(input, off)).empty()) << label;
  ASSERT_TRUE(test::check_links(parse_fragment(input, Ns::Html, "td")).empty()) << label;
  ASSERT_TRUE(test::check_links(parse_fragment(input, Ns::Svg, "desc")).empty()) << label;
}

TEST(Html5Fuzz, RandomMarkup) {
  std::mt19937 rng(20261210);
  for (int round = 0; round < 1500; ++round) {
    const std::string input = random_markup(rng, 1 + rng() % 120);
    check_parse(input, "round " + std::to_string(round));
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(Html5Fuzz, MutatedHtml5libInputs) {
  const auto cases = tidewell::test::html5lib_cases();
  if (cases.empty()) TIDEWELL_SKIP_WITHOUT_CORPUS("html5lib tree-construction files");
  std::mt19937 rng(7);
  for (std::size_t k = 0; k < cases.size(); ++k) {
    std::string s = cases[k].data;
    for (int m = 0; m < 4 && !s.empty(); ++m) {
      const std::size_t at = rng() % s.size();
      const std::size_t len = 1 + rng() % std::min<std::size_t>(16, s.size() - at);
      switch (rng() % 3) {
        case 0: s.erase(at, len); break;
        case 1: s.insert(at, s.substr(at, len)); break;
        default: s.insert(at, cases[rng() % cases.size()].data.substr(0, 24)); break;
      }
    }
    check_parse(s, cases[k].where);
    if (::testing::Test::HasFatalFailure()) return;
    // The repair writes valid UTF-8 back for valid input.
    if (is_valid_utf8(s)) {
      const auto repaired = repair_html(s);
      ASSERT_TRUE(is_valid_utf8(repaired)) << cases[k].where;
    }
  }
}

TEST(Html5Fuzz, DeepNestingAndMisnestedFormatting) {
  std::mt19937 rng(11);
  const char* const kNested[] = {"div", "b", "i", "a", "p", "table", "tr", "td", "svg", "math", "mi", "li",
                                 "ul", "span", "select", "option", "template", "button", "font", "nobr"};
  for (int round = 0; round < 6; ++round) {
    std::string s;
    for (int k = 0; k < 20000; ++k) {
      const char* tag = kNested[rng() % std::size(kNested)];
      s += (rng() % 4 == 0) ? "</" : "<";
      s += tag;
      s += rng() % 8 == 0 ? " id=1>x" : ">";
    }
    check_parse(s, "nesting round " + std::to_string(round));
    if (::testing::Test::HasFatalFailure()) return;
  }
  std::string deep;
  for (int k = 0; k < 200000; ++k) deep += "<div><b>";
  check_parse(deep, "200,000 levels");
}

TEST(Html5Fuzz, HugeTags) {
  std::string many = "<p";
  for (int k = 0; k < 20000; ++k) many += " a" + std::to_string(k % 15000) + "='" + std::to_string(k) + "'";
  many += ">x";
  const Document doc = parse_document(many);
  const NodeId p = doc.node(doc.node(doc.node(Document::root()).first_child).last_child).first_child;
  EXPECT_EQ(doc.attributes(p).size(), 15000u);  // duplicates dropped, the first value kept
  EXPECT_EQ(doc.attributes(p)[7].value, "7");
  const std::string value(2'000'000, 'v');
  const Document big = parse_document("<svg><path d='" + value + "' xlink:href=x>");
  EXPECT_TRUE(test::check_links(big).empty());
  const NodeId svg = big.node(big.node(big.node(Document::root()).first_child).last_child).first_child;
  const NodeId path = big.node(svg).first_child;
  ASSERT_NE(path, kNoNode);
  ASSERT_EQ(big.attributes(path).size(), 2u);
  EXPECT_EQ(big.attributes(path)[0].value.size(), value.size());
  EXPECT_EQ(big.attributes(path)[1].ns, AttrNs::XLink);
}

}  // namespace
}  // namespace tidewell::html5
