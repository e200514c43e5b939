#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

#include "html_parser/queryselector/describe.hpp"
#include "html_parser/queryselector/selector.hpp"

namespace {

using tidewell::ParserBackend;
using namespace tidewell::queryselector;

// The parse result in compact notation, or "invalid".
std::string parsed(std::string_view text, ParserBackend backend) {
  const auto selector = parse_query_selector(text, backend);
  return selector ? describe_selector(*selector) : "invalid";
}

struct GrammarCase {
  std::string_view text;
  std::string_view copperfern;  // tree, or "invalid"
  std::string_view asm_tl;      // tree, or "invalid"
};

constexpr GrammarCase kGrammarCases[] = {
    // Simple selectors.
    {"div", "Tag(div)", "Tag(div)"},
    {".note", "Class(note)", "Class(note)"},
    {"#main", "Id(main)", "Id(main)"},
    {"*", "All", "All"},
    {"a:hover", "Tag(a:hover)", "Tag(a:hover)"},
    {"li:first-child", "Tag(li:first-child)", "Tag(li:first-child)"},
    {"br/", "Tag(br/)", "Tag(br/)"},
    {"DIV", "Tag(DIV)", "Tag(DIV)"},
    {"#", "Id()", "Id()"},
    {".", "Class()", "Class()"},
    // Concatenation.
    {"div.note", "And(Tag(div), Class(note))", "And(Tag(div), Class(note))"},
    {"div#main", "And(Tag(div), Id(main))", "And(Tag(div), Id(main))"},
    {"div.note[data-x]", "And(Tag(div), And(Class(note), Attribute(data-x)))",
     "And(Tag(div), And(Class(note), Attribute(data-x)))"},
    {"a#b#c", "And(Tag(a), And(Id(b), Id(c)))",
     "And(Tag(a), And(Id(b), Id(c)))"},
    {"**", "And(All, All)", "And(All, All)"},
    {"*.x", "And(All, Class(x))", "And(All, Class(x))"},
    {"a#", "And(Tag(a), Id())", "And(Tag(a), Id())"},
    // Attribute selectors.
    {"[hidden]", "Attribute(hidden)", "Attribute(hidden)"},
    {"[]", "Attribute()", "Attribute()"},
    {"[data-role=main]", "AttributeValue(data-role, main)",
     "AttributeValue(data-role, main)"},
    {"[data-role='main']", "AttributeValue(data-role, main)",
     "AttributeValue(data-role, main)"},
    {"[data-role=\"main\"]", "AttributeValue(data-role, main)",
     "AttributeValue(data-role, main)"},
    {"[a=]", "AttributeValue(a, )", "AttributeValue(a, )"},
    {"[a='']", "AttributeValue(a, )", "AttributeValue(a, )"},
    {"[class~=ad]", "AttributeValueWord(class, ad)",
     "AttributeValueWord(class, ad)"},
    {"[href^=mailto:]", "AttributeValuePrefix(href, mailto:)",
     "AttributeValuePrefix(href, mailto:)"},
    {"[href$=pdf]", "AttributeValueSuffix(href, pdf)",
     "AttributeValueSuffix(href, pdf)"},
    {"[href*=ad]", "AttributeValueSubstring(href, ad)",
     "AttributeValueSubstring(href, ad)"},
    {"[href*=/a/b]", "AttributeValueSubstring(href, /a/b)",
     "AttributeValueSubstring(href, /a/b)"},
    {"[x]div", "And(Attribute(x), Tag(div))", "And(Attribute(x), Tag(div))"},
    // Lists and combinators: the rest of the text is the right operand.
    {"a, b", "Or(Tag(a), Tag(b))", "invalid"},
    {"a,b", "Or(Tag(a), Tag(b))", "invalid"},
    {"a , b", "Or(Tag(a), Tag(b))", "invalid"},
    {"ul li", "Descendant(Tag(ul), Tag(li))", "invalid"},
    {"ul > li", "Parent(Tag(ul), Tag(li))", "invalid"},
    {"ul>li", "Parent(Tag(ul), Tag(li))", "invalid"},
    {"a, b c", "Or(Tag(a), Descendant(Tag(b), Tag(c)))", "invalid"},
    {"ul li, .ad", "Descendant(Tag(ul), Or(Tag(li), Class(ad)))", "invalid"},
    {".ad, ul li", "Or(Class(ad), Descendant(Tag(ul), Tag(li)))", "invalid"},
    {"a + b", "Descendant(Tag(a), Descendant(Tag(+), Tag(b)))", "invalid"},
    {"[x] .y", "Descendant(Attribute(x), Class(y))", "invalid"},
    // Spaces around the text.
    {" div", "Tag(div)", "Tag(div)"},
    {"   .a.b", "And(Class(a), Class(b))", "And(Class(a), Class(b))"},
    {"div ", "Tag(div)", "invalid"},
    {"div   ", "Tag(div)", "invalid"},
    // Invalid with both.
    {"", "invalid", "invalid"},
    {"   ", "invalid", "invalid"},
    {"[href*=example.com]", "invalid", "invalid"},
    {"[title='a b']", "invalid", "invalid"},
    {"[lang|=en]", "invalid", "invalid"},
    {"a[href", "invalid", "invalid"},
    {"[", "invalid", "invalid"},
    {"[a=b", "invalid", "invalid"},
    {"[a='b]", "invalid", "invalid"},
    {"[a='b\"]", "invalid", "invalid"},
    {"[a~b]", "invalid", "invalid"},
    {"[a~", "invalid", "invalid"},
    {"[a b]", "invalid", "invalid"},
    {"[a=#b]", "invalid", "invalid"},
    {"a,", "invalid", "invalid"},
    {"a, ", "invalid", "invalid"},
    {"a >", "invalid", "invalid"},
    {",a", "invalid", "invalid"},
    {">a", "invalid", "invalid"},
    {"a..b", "And(Tag(a), And(Class(), Class(b)))",
     "And(Tag(a), And(Class(), Class(b)))"},
    {"a.b.", "And(Tag(a), And(Class(b), Class()))",
     "And(Tag(a), And(Class(b), Class()))"},
    {"a!", "invalid", "invalid"},
    {"a..b", "And(Tag(a), And(Class(), Class(b)))",
     "And(Tag(a), And(Class(), Class(b)))"},
    {"\tdiv", "invalid", "invalid"},
    {"div\n", "invalid", "invalid"},
    {"caf\xC3\xA9", "invalid", "invalid"},
    {"a ~ b", "invalid", "invalid"},
    {"(a)", "invalid", "invalid"},
};

TEST(SelectorGrammar, BothBackends) {
  for (const GrammarCase& c : kGrammarCases) {
    SCOPED_TRACE(std::string("selector: \"") + std::string(c.text) + "\"");
    EXPECT_EQ(parsed(c.text, ParserBackend::Copperfern), c.copperfern);
    EXPECT_EQ(parsed(c.text, ParserBackend::AsmTl), c.asm_tl);
  }
}

TEST(SelectorGrammar, RootKindAndBackend) {
  const auto list = parse_query_selector("a, b");
  ASSERT_TRUE(list);
  EXPECT_EQ(list->kind(), SelectorKind::Or);
  EXPECT_EQ(list->backend(), ParserBackend::Copperfern);
  const auto tag = parse_query_selector("a", ParserBackend::AsmTl);
  ASSERT_TRUE(tag);
  EXPECT_EQ(tag->kind(), SelectorKind::Tag);
  EXPECT_EQ(tag->backend(), ParserBackend::AsmTl);
}

TEST(SelectorGrammar, NamesPointIntoTheText) {
  const std::string text = "[data-x='yes']";
  const auto selector = parse_query_selector(text);
  ASSERT_TRUE(selector);
  const SimpleSelector& link = selector->links()[0];
  EXPECT_EQ(link.name.data(), text.data() + 1);
  EXPECT_EQ(link.value.data(), text.data() + 9);
}

TEST(SelectorGrammar, ParseFromCursor) {
  const auto selector = parse_selector("zzz.a b", 3);
  ASSERT_TRUE(selector);
  EXPECT_EQ(describe_selector(*selector), "Descendant(Class(a), Tag(b))");
  EXPECT_FALSE(parse_selector("abc", 3));
}

TEST(SelectorGrammar, ClassifySimpleSelector) {
  struct Case {
    std::string_view text;
    SimpleShape shape;
    std::size_t split;
  };
  constexpr Case cases[] = {
      {"*", SimpleShape::All, 0},        {"div", SimpleShape::Tag, 0},
      {"#a", SimpleShape::Id, 0},        {".a", SimpleShape::Class, 0},
      {"p#x", SimpleShape::TagId, 1},    {"div.y", SimpleShape::TagClass, 3},
      {"", SimpleShape::None, 0},        {"#", SimpleShape::None, 0},
      {".", SimpleShape::None, 0},       {"p#", SimpleShape::None, 0},
      {"p.", SimpleShape::None, 0},      {"p#a.b", SimpleShape::None, 0},
      {"**", SimpleShape::None, 0},      {" div", SimpleShape::None, 0},
      {"[x]", SimpleShape::None, 0},     {"a b", SimpleShape::None, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    const auto [shape, split] = classify_simple_selector(c.text);
    EXPECT_EQ(shape, c.shape);
    EXPECT_EQ(split, c.split);
  }
}

TEST(SelectorGrammar, SimpleFlags) {
  EXPECT_NE(selector_simple_flags("div"), 0u);
  EXPECT_NE(selector_simple_flags("  div.a[x]"), 0u);
  EXPECT_EQ(selector_simple_flags(""), 0u);
  EXPECT_EQ(selector_simple_flags("   "), 0u);
  EXPECT_EQ(selector_simple_flags("div "), 0u);
  EXPECT_EQ(selector_simple_flags("a,b"), 0u);
  EXPECT_EQ(selector_simple_flags("a>b"), 0u);
}

TEST(SelectorByteTests, Words) {
  using WS = WordSeparators;
  struct Case {
    std::string_view haystack;
    std::string_view word;
    bool html, ascii, unicode;
  };
  constexpr Case cases[] = {
      {"ad", "ad", true, true, true},
      {"a  ad b", "ad", true, true, true},
      {" ad ", "ad", true, true, true},
      {"bad", "ad", false, false, false},
      {"ads", "ad", false, false, false},
      {"", "", false, false, false},
      {"a  b", "", false, false, false},
      {"x\tad\ny", "ad", true, true, true},
      {"x\fad\r", "ad", true, true, true},
      {"x\vad", "ad", false, true, true},
      {"x\xC2\xA0" "ad", "ad", false, false, true},    // U+00A0
      {"x\xC2\x85" "ad", "ad", false, false, true},    // U+0085
      {"ad\xE2\x80\x8Ay", "ad", false, false, true},   // U+200A
      {"ad\xE2\x80\xAF", "ad", false, false, true},    // U+202F
      {"ad\xE3\x80\x80", "ad", false, false, true},    // U+3000
      {"ad\xE2\x80\x8B", "ad", false, false, false},   // U+200B is not space
      {"\xA0" "ad", "ad", false, false, false},        // stray byte
      {"ad\xC2", "ad", false, false, false},           // truncated
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.haystack) + " / " + std::string(c.word));
    EXPECT_EQ(contains_word(c.haystack, c.word, WS::HtmlSpaces), c.html);
    EXPECT_EQ(contains_word(c.haystack, c.word, WS::AsciiSpaces), c.ascii);
    EXPECT_EQ(contains_word(c.haystack, c.word, WS::UnicodeSpaces), c.unicode);
  }
}

TEST(SelectorByteTests, PrefixSuffixSubstring) {
  EXPECT_TRUE(starts_with_bytes("mailto:x", "mailto:"));
  EXPECT_FALSE(starts_with_bytes("Mailto:x", "mailto:"));
  EXPECT_TRUE(starts_with_bytes("", ""));
  EXPECT_TRUE(ends_with_bytes("a.pdf", "pdf"));
  EXPECT_FALSE(ends_with_bytes("a.PDF", "pdf"));
  EXPECT_FALSE(ends_with_bytes("df", "pdf"));
  EXPECT_TRUE(contains_bytes("/ads/", "ad"));
  EXPECT_TRUE(contains_bytes("", ""));
  EXPECT_FALSE(contains_bytes("a", "ab"));
  EXPECT_FALSE(contains_bytes("aaaa", "ab"));
  // A long repetitive haystack with a near-miss needle.
  const std::string haystack(1 << 20, 'a');
  std::string needle(4096, 'a');
  needle.back() = 'b';
  EXPECT_FALSE(contains_bytes(haystack, needle));
  EXPECT_TRUE(contains_bytes(haystack + needle, needle));
}

TEST(SelectorGrammar, IdentifierBytes) {
  int count = 0;
  for (int b = 0; b < 256; ++b) count += is_identifier_byte(b) ? 1 : 0;
  EXPECT_EQ(count, 67);
  for (unsigned char b : std::string_view("+-/:_09AZaz")) {
    EXPECT_TRUE(is_identifier_byte(b)) << b;
  }
  for (unsigned char b : std::string_view(".#*[]=,> \t\"'")) {
    EXPECT_FALSE(is_identifier_byte(b)) << b;
  }
}

// asm_tl takes exactly the texts copperfern-tl takes that hold no space after
// the first non-space byte, no "," and no ">", and builds the same trees.
TEST(SelectorGrammar, BackendsAgreeOnRandomTexts) {
  constexpr std::string_view kAlphabet = "ab-:#.*[]=~^$'\" ,>|\t";
  std::mt19937 rng(12345);
  std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size() - 1);
  std::uniform_int_distribution<int> length(0, 10);
  int valid = 0;
  for (int i = 0; i < 200000; ++i) {
    std::string text;
    for (int n = length(rng); n > 0; --n) text += kAlphabet[pick(rng)];
    const auto cf = parse_query_selector(text, ParserBackend::Copperfern);
    const auto asm_tl = parse_query_selector(text, ParserBackend::AsmTl);
    const bool expect_asm = cf.has_value() && selector_simple_flags(text) != 0;
    ASSERT_EQ(asm_tl.has_value(), expect_asm) << '"' << text << '"';
    if (asm_tl) {
      ASSERT_EQ(describe_selector(*asm_tl), describe_selector(*cf)) << text;
      ++valid;
    }
  }
  EXPECT_GT(valid, 1000);
}

// Long texts parse in a loop: no stack growth with the number of links.
TEST(SelectorGrammar, LongSelectors) {
  struct Case {
    std::string unit;
    SelectorKind root;
  };
  const Case cases[] = {
      {"div ", SelectorKind::Descendant}, {"a>", SelectorKind::Parent},
      {"a,", SelectorKind::Or},           {".x", SelectorKind::And},
      {"[a=b]", SelectorKind::And},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.unit);
    std::string text;
    const std::size_t repeats = (1u << 20) / c.unit.size();
    text.reserve(repeats * c.unit.size() + 1);
    for (std::size_t i = 0; i < repeats; ++i) text += c.unit;
    text += "*";
    const auto selector = parse_query_selector(text);
    ASSERT_TRUE(selector);
    EXPECT_EQ(selector->kind(), c.root);
    EXPECT_EQ(selector->links().size(), repeats + 1);
  }
  // Invalid at the very end.
  std::string bad;
  for (int i = 0; i < 200000; ++i) bad += "div ";
  bad += ",";
  EXPECT_FALSE(parse_query_selector(bad));
  EXPECT_FALSE(parse_query_selector(bad, tidewell::ParserBackend::AsmTl));
}

}  // namespace
