#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "common/utf8.hpp"
#include "converter/tier1/attributes.hpp"
#include "converter/tier1/eligibility.hpp"
#include "converter/tier1/scanner.hpp"
#include "converter/tier1/tag_table.hpp"

using namespace tidewell;

namespace {

ConversionOptions tier1_options() {
  ConversionOptions o;
  o.code_block_style = CodeBlockStyle::Indented;
  o.highlight_style = HighlightStyle::None;
  return o;
}

// The scanner's text, or "<gave up: REASON>".
std::string scan(std::string_view text, std::optional<HeadSpan> head = std::nullopt) {
  Tier1Outcome out = scan_tier1(text, head, tier1_options());
  if (const auto* bail = std::get_if<Tier1Bailout>(&out)) {
    return "<gave up: " + std::string(tier1_reason_name(bail->reason)) + ">";
  }
  return std::get<std::string>(std::move(out));
}

struct Case {
  const char* name;
  const char* html;
  const char* expected;
};

std::string case_name(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }

// --- what the scanner writes ------------------------------------------------

class Tier1Output : public ::testing::TestWithParam<Case> {};

TEST_P(Tier1Output, Markdown) { EXPECT_EQ(scan(GetParam().html), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Blocks, Tier1Output,
    ::testing::Values(
        Case{"ParagraphWithStrong", "<p>Hello <b>world</b></p>", "Hello **world**\n"},
        Case{"TwoParagraphs", "<p>a</p><p>b</p>", "a\n\nb\n"},
        Case{"ContainersStandApart", "<div>a</div><div>b</div>", "a\n\nb\n"},
        Case{"SpanThenDiv", "<span>a</span><div>b</div>c", "a\n\nb\n\nc\n"},
        Case{"LeadingSpaceDropped", "<p> Hello </p>", "Hello\n"},
        Case{"HeadingClosedByOtherLevel", "<h1>x</h2>", "## x\n"},
        Case{"HeadingLevelsThreeAndSix", "<h3>a</h3><h6>b</h6>", "### a\n\n###### b\n"},
        Case{"HeadingOfOnlySpace", "<p>a</p><h1> </h1><p>b</p>", "a\n\nb\n"},
        Case{"HeadingOnOneLine", "<h1>a\nb<br>c</h1>", "# a b c\n"},
        // What an HTML reader takes for a comment writes nothing.
        Case{"BogusComments", "<?xml version=\"1.0\"?><p>a<?x ?>b</3>c</ p>d<!x>e</p>", "abcde\n"},
        Case{"BlocksInHeadingFold", "<h1>a<p>b</p><ul><li>c</ul></h1>", "# a b - c\n"},
        Case{"ListItemsWithoutEndTags", "<ul><li>a<li>b</ul>", "- a\n- b\n"},
        Case{"OrderedStart3", "<ol start=3><li>a<li>b</ol>", "3. a\n4. b\n"},
        Case{"OrderedStart0", "<ol start=0><li>a<li>b</ol>", "1. a\n2. b\n"},
        Case{"OrderedStartWithSpace", "<ol start=' 2'><li>a</ol>", "1. a\n"},
        Case{"OrderedStartPlus", "<ol start=+7><li>a</ol>", "7. a\n"},
        Case{"TextAfterListIsNoItem", "<ul><li>a</li></ul>after", "- a\n\nafter\n"},
        Case{"TextBeforeItemsStandsApart", "<ul>x<li>a</li></ul>", "x\n- a\n"},
        Case{"ContainerInItem", "<ul><li><div>a</div><div>b</div></li></ul>", "- a\n  b\n"},
        Case{"QuoteAfterParagraph", "<p>a</p><blockquote>q</blockquote>", "a\n> q\n"},
        Case{"TextAfterQuoteIsNoLazyLine", "<blockquote>q</blockquote>after", "> q\n\nafter\n"},
        Case{"QuoteOfTwoParagraphs", "<blockquote><p>a</p><p>b</p></blockquote>", "> a\n>\n> b\n"},
        Case{"PreCommonIndent", "<pre>\n  a\n    b\n</pre>", "    a\n      b\n"},
        Case{"PreKeepsSpacesDecodesReferences", "<pre>a   b &lt;c&gt;</pre>", "    a   b <c>\n"},
        Case{"PreWritesNoMarkers", "<pre><b>x</b> <a href=u>y</a><code>z</code></pre>", "    x yz\n"},
        Case{"RuleAfterText", "a<hr>b", "a\n\n---\nb\n"},
        Case{"BreakInParagraph", "<p>a<br>b</p>", "a  \nb\n"},
        Case{"BreakBeforeAnyText", "<br>x", "x\n"},
        Case{"BreakAtTopLevel", "a<br>b", "a  \nb\n"},
        Case{"CommentSkipped", "<!-- c --><p>a</p>", "a\n"},
        Case{"DeclarationSkipped", "<!DOCTYPE html><p>a</p>", "a\n"},
        Case{"SelfClosingParagraphIsEmpty", "<p/>x<div />y", "x\n\ny\n"},
        Case{"ParagraphClosedAtEnd", "<p>x", "x\n"},
        Case{"QuotedGtInAttribute", "<p title='a>b'>x</p>", "x\n"},
        Case{"FiveLineFeeds", "<p>a</p>\n\n\n\n\n<p>b</p>", "a\n\nb\n"},
        Case{"OnlyLineFeeds", "\n\n\n", ""}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    Inline, Tier1Output,
    ::testing::Values(
        Case{"LinkWithTitle", "<a href=u title=t>x</a>", "[x](u \"t\")\n"},
        Case{"LinkWithoutHref", "<a>x</a>", "x\n"},
        Case{"LinkWithEmptyHref", "<a href=''>x</a>", "[x]()\n"},
        Case{"UnquotedHrefKeepsSlashes", "<a href=https://e.x/p/q>t</a>", "[t](https://e.x/p/q)\n"},
        Case{"UnquotedHrefBeforeSelfClosingSlash", "<a href=https://e.x/p/>t</a>", "[t](https://e.x/p/)\n"},
        Case{"BackslashBeforeLetterInHref", "<a href='a\\b'>x</a>", "[x](a\\b)\n"},
        Case{"PairedParenthesesInHref", "<a href='/wiki/A_(b)'>x</a>", "[x](/wiki/A_(b))\n"},
        Case{"UnquotedSrcKeepsSlashes", "<img src=/i/a.png alt=x>", "![x](/i/a.png)\n"},
        Case{"ImageWithoutAttributes", "<p>a<img>b</p>", "ab\n"},
        Case{"ImageWithAltOnly", "<img alt=x>", "![x]()\n"},
        Case{"ImageWithEmptyTitle", "<img src=a title=''>", "![](a \"\")\n"},
        Case{"HrefReferencesDecoded", "<a href='a&amp;b'>x</a>", "[x](a&b)\n"},
        Case{"EmphasisSpacesMoveOut", "<p>a <b> x </b>y</p>", "a **x** y\n"},
        Case{"EmphasisLeadingSpaceNested", "<p>a<b><i> x</i></b></p>", "a ***x***\n"},
        Case{"EmptyEmphasisWritesNothing", "<p><b></b></p>", ""},
        Case{"WhiteSpaceOnlyEmphasis", "<p>a<i> </i>b</p>", "a b\n"},
        Case{"BreakAtEndOfStrong", "<p><b>a<br></b>b</p>", "**a**  \nb\n"},
        Case{"EmptyCodeWritesNothing", "<p>x<code></code>y</p>", "xy\n"},
        Case{"CodeLineBreaksAsSpaces", "<code>a\nb</code>", "`a b`\n"},
        Case{"LinkTextOnOneLine", "<a href=u>a\nb</a>", "[a b](u)\n"},
        Case{"BracketsThatPairUp", "<a href=u>[1]</a>", "[[1]](u)\n"},
        Case{"OptionsStandApart", "<select><option>a</option><option>b</option></select>", "a b\n"},
        Case{"LineFeedBetweenWords", "<p>Posted by\n<span>Ned</span></p>", "Posted by\nNed\n"},
        Case{"LineFeedAtSpanEnd", "<p><span><b>a</b>\n</span>b</p>", "**a**\nb\n"},
        Case{"NoTextStartsALine", "<p>a</p>    <span>Updated</span>", "a\n\nUpdated\n"},
        Case{"TabsFold", "<div>\t\t\t<b>x</b>   y</div>", "**x** y\n"},
        Case{"NoSpacesAfterLineFeed", "<p>a\n      b</p>", "a\nb\n"},
        Case{"NoLineFeedAfterMarker", "<ul><li>\n  a</li></ul>", "- a\n"}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    References, Tier1Output,
    ::testing::Values(
        Case{"LtGt", "<p>a &lt; b &gt; c</p>", "a < b > c\n"},
        Case{"AmpThenText", "<p>AT&amp;T &amp;amp</p>", "AT&T &amp\n"},
        Case{"BackslashBeforeLetter", "<p>a\\b</p>", "a\\b\n"},
        Case{"Numeric", "<p>&#65;&#x41;&#X41;&#0065;</p>", "AAAA\n"},
        Case{"Nul", "<p>a&#0;b</p>", "a\xEF\xBF\xBD" "b\n"},
        Case{"C1MapsThroughWindows1252", "<p>&#128;</p>", "\xE2\x82\xAC\n"},
        Case{"Nbsp", "<p>a&nbsp;b</p>", "a\xC2\xA0" "b\n"},
        Case{"PrimeAndPrimeDiffer", "<p>&prime;&Prime;</p>", "\xE2\x80\xB2\xE2\x80\xB3\n"},
        Case{"BeyondTheShortList", "<p>&hearts;</p>", "\xE2\x99\xA5\n"},
        Case{"NoSemicolonInReach", "<p>AT&T</p>", "AT&T\n"},
        Case{"SemicolonTooFar", "<p>&abcdefghijklmnopqrstuvwxyzabcdefg;</p>",
             "&abcdefghijklmnopqrstuvwxyzabcdefg;\n"},
        Case{"SpacesAround", "<p>a  \t b</p>", "a b\n"}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    Tables, Tier1Output,
    ::testing::Values(
        Case{"TwoByTwo", "<table><tr><td>a</td><td>b</td></tr><tr><td>c</td><td>d</td></tr></table>",
             "| a | b |\n| --- | --- |\n| c | d |\n"},
        Case{"WidthsInCharacters",
             "<p>x</p><table><tr><td>hello</td><td>b</td></tr><tr><td>c</td><td>\xC3\xA9\xC3\xA9\xC3\xA9</td></tr>"
             "</table>after",
             "x\n\n| hello | b   |\n| ----- | --- |\n| c     | \xC3\xA9\xC3\xA9\xC3\xA9 |\n\nafter\n"},
        Case{"HeaderRowPaddedToColumns", "<table><tr><th>a</th></tr><tr><td>b</td><td>c</td></tr></table>",
             "| a |   |\n| --- | --- |\n| b | c |\n"},
        Case{"ThreeRowsThreeLinks",
             "<table><tr><td><a href=1>a</a></td></tr><tr><td><a href=2>b</a></td></tr>"
             "<tr><td><a href=3>c</a></td></tr></table>",
             "| [a](1) |\n| ------ |\n| [b](2) |\n| [c](3) |\n"},
        Case{"HeaderTableWithoutRows", "<table><th></th></table>", ""},
        Case{"SpanOfOneAccepted", "<table><tr><td rowspan=1 colspan=' 1 '>a</td><td rowspan=abc>b</td></tr></table>",
             "| a | b |\n| --- | --- |\n"},
        Case{"CellTrimmed", "<table><tr><td>\n a \n</td></tr></table>", "| a |\n| --- |\n"}),
    case_name);

// --- where it gives up -------------------------------------------------------

class Tier1GivesUp : public ::testing::TestWithParam<Case> {};

TEST_P(Tier1GivesUp, Reason) {
  EXPECT_EQ(scan(GetParam().html), std::string("<gave up: ") + GetParam().expected + ">");
}

INSTANTIATE_TEST_SUITE_P(
    Markup, Tier1GivesUp,
    ::testing::Values(
        Case{"LtAtEnd", "a<", "MalformedMarkup"}, Case{"BangAtEnd", "<!", "MalformedMarkup"},
        Case{"UnterminatedComment", "<!-- c <p>a</p>", "MalformedMarkup"},
        Case{"ShortComment", "<!-->x-->", "MalformedMarkup"},
        Case{"CommentEndedByBangGt", "<!-- a --!> b -->", "MalformedMarkup"},
        Case{"DeclarationWithoutGt", "<!x", "MalformedMarkup"},
        Case{"TagWithoutGt", "<p class='x>", "MalformedMarkup"},
        Case{"CommentAfterSlashWithoutGt", "a</ p", "MalformedMarkup"},
        Case{"ProcessingInstructionWithoutGt", "a<?x", "MalformedMarkup"},
        Case{"LtThenDigit", "<1>", "MalformedMarkup"}, Case{"Cdata", "<![CDATA[x]]>", "CdataSection"},
        Case{"CustomElement", "<x-y>a</x-y>", "UnrecognizedElement"},
        Case{"UnknownName", "<center>a</center>", "UnrecognizedElement"},
        Case{"LongName", "<strongstrongstrongstrongstrongstrongstrong>", "UnrecognizedElement"},
        Case{"Script", "<script></script>", "Unsupported"}, Case{"Head", "<head></head>", "Unsupported"},
        Case{"ListInList", "<ul><li>a<ul><li>b</ul></ul>", "Unsupported"},
        Case{"UnclosedSpan", "<span>x", "UnclosedElement"},
        Case{"LoneEndTag", "</p>", "UnexpectedEndTag"},
        Case{"MisnestedEnd", "<div><span></div>", "UnexpectedEndTag"},
        Case{"UnknownReference", "<p>AT&T;</p>", "UnrecognizedEntity"},
        Case{"UpperCaseNbsp", "<p>&NBSP;</p>", "UnrecognizedEntity"},
        Case{"SpaceInReference", "<p>a & b;</p>", "UnrecognizedEntity"},
        Case{"SignedNumber", "<p>&#+65;</p>", "UnrecognizedEntity"},
        Case{"HexWithoutDigits", "<p>&#x;</p>", "UnrecognizedEntity"},
        Case{"UnknownReferenceInHref", "<a href='&bogus;'>x</a>", "UnrecognizedEntity"},
        // text a Markdown reader would take for markup: the DOM road escapes it
        Case{"DecodedTag", "<p>&lt;b&gt;</p>", "MarkupInText"},
        Case{"DecodedReference", "<p>&amp;amp;</p>", "MarkupInText"},
        Case{"BackslashBeforePunctuation", "<p>a\\*b</p>", "MarkupInText"},
        Case{"TagAcrossTexts", "<p>&lt;<span>b&gt;</span></p>", "MarkupInText"},
        Case{"ReferenceAcrossTexts", "<p>&amp;<span>amp;</span></p>", "MarkupInText"},
        Case{"ReferenceNameAcrossTexts", "<p>&amp;co<span>py;</span></p>", "MarkupInText"},
        Case{"BacktickInCode", "<code>a`b</code>", "Unsupported"}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    Structure, Tier1GivesUp,
    ::testing::Values(
        Case{"ParagraphAfterMarker", "<ul><li><p>a</p></li></ul>", "BlockInListItem"},
        Case{"QuoteInItem", "<ul><li>a<blockquote>q</blockquote></li></ul>", "BlockInListItem"},
        Case{"RuleInItem", "<ul><li>a<hr></li></ul>", "BlockInListItem"},
        // items inside inline elements, and text between items, are the DOM road's
        Case{"ItemInLink", "<ul><a href=u><li>a</li></a></ul>", "BlockInInline"},
        Case{"ItemInStrong", "<ul><b><li>a</li></b></ul>", "BlockInInline"},
        Case{"TextBetweenItems", "<ul><li>a</li>x<li>b</li></ul>", "Unsupported"},
        Case{"TextAfterItemInSpan", "<ul><span><li>a</li>x</span></ul>", "Unsupported"},
        Case{"BlockInLink", "<a href=u><div>card</div></a>", "BlockInInline"},
        Case{"BlockInStrong", "<b><p>x</p></b>", "BlockInInline"},
        Case{"BlockInPre", "<pre><p>x</p></pre>", "BlockInInline"},
        Case{"ImageInPre", "<pre><img src=x></pre>", "BlockInInline"},
        Case{"LinkInLink", "<a href=1><a href=2>x</a></a>", "BlockInInline"},
        Case{"SpaceInHref", "<a href='a b'>x</a>", "UnsafeLink"},
        Case{"UnpairedParenInHref", "<a href='a(b'>x</a>", "UnsafeLink"},
        Case{"BackslashBeforePunctuationInHref", "<a href='a\\*b'>x</a>", "UnsafeLink"},
        Case{"QuoteInTitle", "<a href=u title='say \"hi\"'>x</a>", "UnsafeLink"},
        Case{"LineFeedInTitle", "<a href=u title='a\nb'>x</a>", "UnsafeLink"},
        Case{"UnpairedBracketInText", "<a href=u>a]b</a>", "UnsafeLink"},
        Case{"ReferenceInDecodedHref", "<a href='a&amp;amp;b'>x</a>", "UnsafeLink"},
        Case{"UnpairedBracketInAlt", "<img src=x alt='a]'>", "UnsafeLink"},
        Case{"Form", "<form>x</form>", "RemovedElement"}, Case{"Nav", "<nav>x</nav>", "RemovedElement"},
        Case{"HeaderWithClass", "<header class=top>x</header>", "RemovedElement"},
        Case{"Hidden", "<p hidden>x</p>", "RemovedElement"},
        Case{"HiddenUpperCase", "<div HIDDEN=''>x</div>", "RemovedElement"}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    Tables, Tier1GivesUp,
    ::testing::Values(
        Case{"RowsOfDifferentLength", "<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>",
             "Unsupported"},
        Case{"AllBlank", "<table><tr><td> </td></tr></table>", "Unsupported"},
        Case{"TwoRowsThreeLinks",
             "<table><tr><td><a href=1>a</a><a href=2>b</a></td></tr><tr><td><a href=3>c</a></td></tr></table>",
             "Unsupported"},
        Case{"Rowspan", "<table><tr><td rowspan=2>a</td></tr></table>", "CellSpan"},
        Case{"ColspanZero", "<table><tr><td colspan=0>a</td></tr></table>", "CellSpan"},
        Case{"SpanOutsideTable", "<td colspan=2>a</td>", "CellSpan"},
        Case{"BreakInCell", "<table><tr><td>a<br>b</td></tr></table>", "BlockInCell"},
        Case{"LineFeedInCell", "<table><tr><td>a\nb</td></tr></table>", "BlockInCell"},
        Case{"PipeInCell", "<table><tr><td>a|b</td></tr></table>", "BlockInCell"},
        Case{"CellInCell", "<table><tr><td>a<td>b</tr></table>", "BlockInCell"},
        Case{"NestedTable", "<table><tr><td><table></table></td></tr></table>", "NestedTable"},
        Case{"TableInTable", "<table><table>", "NestedTable"},
        Case{"Caption", "<table><caption>c</caption></table>", "TableCaption"},
        Case{"TheadAfterTbody", "<table><tbody></tbody><thead></thead></table>", "TableSectionOrder"},
        Case{"TbodyAfterTfoot", "<table><tfoot></tfoot><tbody></tbody></table>", "TableSectionOrder"},
        Case{"TbodyLeftOpen", "<table><tbody><tr><td>a</td></tr></table>", "UnexpectedEndTag"},
        Case{"TextBetweenCells", "<table>word<tr><td>a</td></tr></table>", "DroppedContent"},
        Case{"CellOutsideRows", "<table><td>a</td></table>", "DroppedContent"},
        Case{"ElementBetweenCells", "<table><b>x</b><tr><td>a</td></tr></table>", "DroppedContent"}),
    case_name);

// --- the mends around cut output -------------------------------------------

TEST(Tier1Scanner, OffsetsStayInsideTheOutputAfterACut) {
  // An empty heading cuts the output back under the quote and the outer
  // heading that enclosed it.
  EXPECT_EQ(scan("<p>a</p><blockquote><h1> </h1></blockquote>"), "a\n");
  const std::string heading = scan("<p>a</p><h2><h1></h1>\xC3\xA9</h2>");
  EXPECT_EQ(heading, "a\n## \xC3\xA9\n");
  EXPECT_TRUE(is_valid_utf8(heading));
  EXPECT_EQ(scan("<p>a</p><blockquote><h1> </h1>b</blockquote>"), "a\n> b\n");
  EXPECT_EQ(scan("<p>a</p><blockquote><pre></pre>\xC3\xA9</blockquote>"), "a\n> \xC3\xA9\n");
}

TEST(Tier1Scanner, DeepNestingIsLeftToTheDomRoad) {
  std::string html;
  for (int i = 0; i < 100000; ++i) html += "<blockquote>";
  EXPECT_EQ(scan(html), "<gave up: Unsupported>");
  std::string spans;
  for (int i = 0; i < 200; ++i) spans += "<span>";
  spans += "x";
  for (int i = 0; i < 200; ++i) spans += "</span>";
  EXPECT_EQ(scan(spans), "x\n");
}

TEST(Tier1Scanner, ReportsWhereItGaveUp) {
  const Tier1Outcome out = scan_tier1("<p>a</p><div><x-y>", std::nullopt, tier1_options());
  const auto& bail = std::get<Tier1Bailout>(out);
  EXPECT_EQ(bail.reason, Tier1Reason::UnrecognizedElement);
  EXPECT_EQ(bail.name, "x-y");
  EXPECT_EQ(bail.position, 13u);
  EXPECT_EQ(bail.open_elements, 1u);
}

TEST(Tier1Scanner, RemovalsFollowTheOptions) {
  ConversionOptions o = tier1_options();
  o.preprocessing.remove_forms = false;
  o.preprocessing.remove_navigation = false;
  EXPECT_EQ(std::get<std::string>(scan_tier1("<form>a</form><nav>b</nav>", std::nullopt, o)), "a\n\nb\n");
  o.preprocessing.enabled = false;
  o.preprocessing.remove_forms = true;
  EXPECT_EQ(std::get<std::string>(scan_tier1("<form>a</form>", std::nullopt, o)), "a\n");
  // Hidden elements are removed whatever the options say.
  EXPECT_TRUE(std::holds_alternative<Tier1Bailout>(scan_tier1("<p hidden>a</p>", std::nullopt, o)));
  EXPECT_EQ(scan("<header>x</header><p class='hidden-xs'>y</p>"), "x\n\ny\n");
}

// --- front matter ------------------------------------------------------------

HeadSpan span_of(std::string_view text, std::string_view inner) {
  const std::size_t at = text.find(inner);
  return {at, at + inner.size()};
}

TEST(Tier1FrontMatter, FromACommentedHead) {
  const std::string head = "<title>Doc</title>";
  const std::string text = "<!--<head>" + head + "</head>--><p>x</p>";
  EXPECT_EQ(scan(text, span_of(text, head)), "---\ntitle: Doc\n---\n\nx\n");
  ConversionOptions no_metadata = tier1_options();
  no_metadata.extract_metadata = false;
  EXPECT_EQ(std::get<std::string>(scan_tier1(text, span_of(text, head), no_metadata)), "x\n");
  // A span outside the text is not read.
  EXPECT_EQ(scan(text, HeadSpan{5, 500}), "x\n");
}

TEST(Tier1FrontMatter, Entries) {
  const std::string head =
      "<title>Doc: a \"b\" \\ c</title><meta name=Author content='Me\ntoo'><meta name=author content=Later>"
      "<meta property='og:title' content=O><meta http-equiv=Refresh content=5>"
      "<link rel=Canonical href=/c><link rel='alternate stylesheet' href=/x><link rel=license href=/l>"
      "<base href=/b><base><meta content=no-key><title>  </title>";
  EXPECT_EQ(tier1_front_matter(head, {0, head.size()}),
            "---\nbase-href: /b\ncanonical: /c\nlink-license: /l\nmeta-author: Later\nmeta-og-title: O\n"
            "meta-refresh: \"5\"\ntitle: \"Doc: a \\\"b\\\" \\\\ c\"\n---\n\n");
  auto whole = [](std::string_view text) { return tier1_front_matter(text, {0, text.size()}); };
  EXPECT_EQ(whole("<title>Tom &amp; Jerry&#39;s\n show</title>"), "---\ntitle: Tom & Jerry's show\n---\n\n");
  EXPECT_EQ(whole("<meta name=d content='a\nb'>"), "---\nmeta-d: a b\n---\n\n");
  EXPECT_EQ(whole("<title> </title><base>"), "");
}

// --- tag table, eligibility and attributes ---------------------------------

TEST(Tier1TagTable, Lookup) {
  char buffer[32];
  const Tier1Tag* div = lookup_tier1_tag(ascii_lowercase_into("DiV", buffer));
  ASSERT_NE(div, nullptr);
  EXPECT_EQ(div->kind, Tier1Kind::Container);
  EXPECT_TRUE(div->is_block);
  EXPECT_EQ(lookup_tier1_tag("h3")->param, 3);
  EXPECT_EQ(lookup_tier1_tag("ol")->param, 1);
  EXPECT_EQ(lookup_tier1_tag("th")->param, 1);
  EXPECT_EQ(lookup_tier1_tag("td")->close_group, Tier1CloseGroup::Cell);
  EXPECT_EQ(lookup_tier1_tag("option")->close_group, Tier1CloseGroup::Option);
  EXPECT_TRUE(lookup_tier1_tag("img")->is_void);
  EXPECT_EQ(lookup_tier1_tag("title")->kind, Tier1Kind::Refused);
  EXPECT_EQ(lookup_tier1_tag("h7"), nullptr);
  EXPECT_EQ(lookup_tier1_tag("center"), nullptr);
  EXPECT_EQ(lookup_tier1_tag("DIV"), nullptr);  // the caller lower-cases
  const std::string long_name = "strong" + std::string(34, 'x');
  EXPECT_EQ(ascii_lowercase_into(long_name, buffer).size(), 32u);
  EXPECT_EQ(lookup_tier1_tag(ascii_lowercase_into(long_name, buffer)), nullptr);
}

TEST(Tier1Eligibility, OnlyTheScannersConventions) {
  EXPECT_FALSE(tier1_options_supported(ConversionOptions{}));
  EXPECT_TRUE(tier1_options_supported(tier1_options()));
  auto with = [](auto change) {
    ConversionOptions o = tier1_options();
    change(o);
    return tier1_options_supported(o);
  };
  EXPECT_TRUE(with([](ConversionOptions& o) { o.bullets = "-"; }));
  EXPECT_FALSE(with([](ConversionOptions& o) { o.bullets = "*-"; }));
  EXPECT_FALSE(with([](ConversionOptions& o) { o.bullets = ""; }));
  EXPECT_TRUE(with([](ConversionOptions& o) { o.extract_metadata = false; }));
  EXPECT_TRUE(with([](ConversionOptions& o) { o.parser_backend = ParserBackend::AsmTl; }));
  EXPECT_TRUE(with([](ConversionOptions& o) { o.autolinks = false; }));
  EXPECT_FALSE(with([](ConversionOptions& o) { o.wrap = true; }));
  EXPECT_FALSE(with([](ConversionOptions& o) { o.escape_misc = true; }));
  EXPECT_FALSE(with([](ConversionOptions& o) { o.preserve_tags = {"b"}; }));
  EXPECT_FALSE(with([](ConversionOptions& o) { o.heading_style = HeadingStyle::AtxClosed; }));
  EXPECT_FALSE(with([](ConversionOptions& o) { o.preprocessing.preset = PreprocessingPreset::Minimal; }));
  // Options whose effect the scanner cannot give.
  EXPECT_FALSE(with([](ConversionOptions& o) { o.exclude_selectors = {".ad"}; }));
  EXPECT_FALSE(with([](ConversionOptions& o) { o.max_depth = 3; }));
  EXPECT_FALSE(with([](ConversionOptions& o) { o.skip_images = true; }));
}

TEST(Tier1Attributes, Lexer) {
  Tier1AttributeLexer lexer(" href=/a/b title='x y' checked data-x = \"1\" /");
  std::string seen;
  while (auto a = lexer.next()) {
    seen += std::string(a->name) + "=" + (a->value ? std::string(*a->value) : "<none>") + ";";
  }
  EXPECT_EQ(seen, "href=/a/b;title=x y;checked=<none>;data-x=1;");
  EXPECT_TRUE(lexer.ended_self_closing());

  Tier1AttributeLexer unquoted(" href=/a/");
  while (unquoted.next()) {
  }
  EXPECT_FALSE(unquoted.ended_self_closing());
  EXPECT_EQ(find_tier1_attribute(" HREF=x href=y", "href")->value, "x");
  EXPECT_FALSE(find_tier1_attribute(" a=", "a")->value.has_value());
}

}  // namespace
