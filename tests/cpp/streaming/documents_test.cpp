// Documents and the Markdown they convert to, by area. Every document is
// also converted in chunks by chunking_test.cpp.
#include "streaming_cases.hpp"

namespace tidewell::streaming::test {

const std::vector<StreamCase>& tokenizer_cases() {
  static const std::vector<StreamCase> cases = {
      {"Empty", "", ""},
      {"WhitespaceRunsFold", "a  \n b", "a b"},
      {"LeadingAndTrailingWhitespaceDropped", " \n\t\xC2\xA0 x \n ", "x"},
      {"UnfinishedTagAtEndDropped", "abc <b", "abc"},
      {"LoneLtAtEndDropped", "a <", "a"},
      {"LtBeforeSpaceIsText", "a < b", "a < b"},
      {"SpaceAfterEndTagKept", "<b>x</b> y", "**x** y"},
      {"CommentWithDoubleDash", "x<!-- a -- b -->y", "xy"},
      {"CommentEndingWithBang", "<!--x--!>z", "z"},
      {"NoSpaceInventedAtSkippedMarkup", "a<!-- -->b<![CDATA[x]]>c<!x>d", "abcd"},
      {"SpaceAroundCommentKept", "a <!-- --> b", "a b"},
      {"ShortComments", "a<!-->b<!--->c", "abc"},
      {"DoctypeAndConditionalSkipped", "<!DOCTYPE html><![if x]>y", "y"},
      {"CdataSkipped", "<![CDATA[a<b]]>c", "c"},
      {"TitleContentIsText", "<title>a</b>c</title>", "a\\</b>c"},
      {"ScriptContentDropped", "<script>if (a<b) {}</script>z", "z"},
      {"EscapedScriptEndsAtRightTag", "<script><!--<script></script>--></script>z", "z"},
      {"UppercaseScriptEnd", "<SCRIPT>x</Script >z", "z"},
      {"QuotedGtInsideAttribute", "<a title='x>y' href=z>t</a>", "[t](z \"x>y\")"},
      {"QuoteInsideNameOpensNothing", "<a x\"y>t</a>", "t"},
      {"QuoteAfterValueStartsNewName", "<a href=\"x\"y>t</a>", "[t](x)"},
      {"UnquotedValueKeepsSlash", "<a href=/>t</a>", "[t](/)"},
      {"SelfClosingOpensAndCloses", "<b/>x</b>", "x"},
      {"UppercaseTagNames", "<P>a<B>b</B></P>", "a**b**"},
      {"ProcessingInstructionsAreComments",
       "<?xml version=\"1.0\"?><p>a<?xml:namespace prefix = o ns = \"urn:x\" />b <?x>c</p>", "ab c"},
      {"EndTagsWithoutALetterAreComments", "<p>a </> b</ 3>c</3>d</\xC3\xA9>e</-->f</p>", "a bcdef"},
      {"EndTagOpenAtTheEndIsDropped", "a</", "a"},
  };
  return cases;
}

const std::vector<StreamCase>& element_stack_cases() {
  static const std::vector<StreamCase> cases = {
      {"EndTagClosesInnerElements", "<p>a <b>b</p>c", "a **b**\n\nc"},
      {"UnmatchedEndTagIgnored", "</div>x", "x"},
      {"UnknownEndTagMatchesInAnyCase", "<p><My-El><b>a</MY-EL>b</p>", "**a**\n\nb"},
      {"TemplateEndClosesInside", "<template><div></template>x", "x"},
      {"SearchStopsAtTemplate", "<template><p></div>x", ""},
      {"RowClosesRow", "<table><tr><td>x<tr><td>y</table>", "| x |\n| --- |\n| y |"},
      {"SpaceBetweenInlineElements", "<p> <b>x</b> <i>y</i></p>", "**x** *y*"},
      {"BlockEndSeparatesTextAcrossInlineElements",
       "<ul><li>Home</li><span>\xE2\x80\xBA</span><li>News</li><!-- c --><span></span>z</ul>",
       "- Home \xE2\x80\xBA\n- News z"},
      {"EmptyLinkTakesTitle", "<a title=\"Home\" href=\"/\"></a>", "[Home](/)"},
      {"TitleBeatsAriaLabel", "<a title=T aria-label=L href=/x></a>", "[T](/x)"},
      {"AriaLabelWithoutTitle", "<a aria-label=L href=/x></a>", "[L](/x)"},
      {"EmptyTitleGivesNoText", "<a title=\"\" aria-label=L href=/x></a>", "[](/x)"},
      {"TextOfDiscardingElementsHidden",
       "<noscript>n</noscript><iframe>i</iframe><datalist>d</datalist><noembed>e</noembed><noframes>f</noframes>"
       "<style>s</style><template>t</template>x",
       "x"},
      {"TextDirectlyInTableSectionsHidden", "<table><thead>h<tr><td>a</td></tr></thead><tbody>b</tbody></table>",
       "| a |\n| --- |"},
      {"DecodedAmpersandEscapedBeforeName", "<p>&amp;copy;</p>", "\\&copy;"},
      {"DecodedAmpersandPlainInCode", "<code>&amp;copy;</code>", "`&copy;`"},
      {"LeadingLineFeedsOfPreDropped", "<pre>\n\nx</pre>", "```\nx\n```"},
      {"ReferencesInText", "<p>&lt;&#65;&#x42;&notit; &hellip &copy=2</p>", "\\<AB\xC2\xACit; &hellip \xC2\xA9=2"},
      {"ReferencesInAttributes", "<a href=\"?a=1&copy=2&amp;b\">t</a>", "[t](?a=1&copy=2&b)"},
  };
  return cases;
}

const std::vector<StreamCase>& open_cases() {
  static const std::vector<StreamCase> cases = {
      {"DivClosesParagraph", "<p>a<div>b</div>c</p>", "a\n\nb\n\nc"},
      {"SpanLeavesParagraphOpen", "<p>a<span>b</span>c</p>", "abc"},
      {"ItemClosesItem", "<ul><li>a<li>b</ul>", "- a\n- b"},
      {"HeadClosedByBody", "<head><title>t</title><meta name=x><p>b", "t\n\nb"},
      {"OrderedStart", "<ol start=5><li>a<p>b</p></li></ol>", "5. a\n\n   b"},
      {"OrderedStartZero", "<ol start=0><li>a</li></ol>", "0. a"},
      {"OrderedStartUnreadable", "<ol start=x><li>a</li></ol><ol start=-2><li>b</li></ol>", "1. a\n\n1) b"},
      {"OrderedStartTooLarge", "<ol start=1000000000><li>a</li></ol>", "1. a"},
      {"OrderedStartWrappingIn32Bits", "<ol start=5000000000><li>a</li></ol>", "1. a"},
      {"OrderedNumbersCapped", "<ol start=999999999><li>a</li><li>b<p>c</p></li></ol>",
       "999999999. a\n999999999. b\n\n           c"},
      {"ItemInsideDivOfList", "<ol><div><li>a</li></div></ol>", "- a"},
      {"NestedLists", "<ul><li>a<ol><li>b</li><li>c</li></ol></li><li>d</li></ul>", "- a\n  1. b\n  2. c\n- d"},
      {"ListInsideListNestsUnderItsItem", "<ol start=9><li>a</li><ul><li>b</li></ul><li>c</li></ol>",
       "9. a\n   - b\n10. c"},
      {"ItemsNumberedAmongItems", "<ol><li>a</li>t<p>p</p><li>b</li></ol>", "1. a t\n\np\n\n2. b"},
      // An item right after a line of text is set apart by a blank line
      // where its first line stays empty (the text would read as a heading)
      // or its number is not 1 (it would not start a list there).
      {"ItemAfterTextWithTextFirst", "x<li>y</li><div>z<li><b>w</b></div>", "x\n- y\n\nz\n- **w**"},
      {"ItemAfterTextOpeningWithAQuote", "x<li><i><blockquote>q", "x\n\n- \n  > q"},
      {"ItemAfterTextOpeningWithABreak", "x<li><b><br>t</b>t", "x\n\n-   \n  **t**t"},
      {"ItemAfterTextOpeningWithARow", "x<li><b><tr><a>", "x\n\n- \n\n  |  |\n  |"},
      {"EmptyItemAfterTextInAnElement", "<div>x<li></div><span>y<li><blockquote>q", "x\n\n-\n\ny\n\n- \n  > q"},
      {"ItemOpeningWithANestedList", "x<li><ul><li>y</ul></li><p>z</p>w<li><ul><blockquote><li>v",
       "x\n\n-\n  - y\n\nz\n\nw\n\n- \n  > - v"},
      {"ItemsAfterItemsStayTight", "<div><li>a<li><blockquote>q</div>", "- a\n- \n  > q"},
      {"NumberedItemAfterText", "<ol start=5>x<li>y</li></ol><ol start=1>z<li>w</li></ol>", "x\n\n5. y\n\nz\n1) w"},
      {"NumberedListNestedAfterText", "<ul><li>a<ol start=3><li>b</ol></ul>", "- a\n\n  3. b"},
      {"HeaderAlignments",
       "<table><tr><th align=Center>a</th><th align=\"\">b</th><th align=justify>c</th><th align=left>d</th>"
       "<th align=RIGHT>e</th></tr></table>",
       "| a | b | c | d | e |\n| :---: | --- | --- | :--- | ---: |"},
      {"FenceFromPreClass", "<pre class=language-py>x</pre>", "```py\nx\n```"},
      {"FenceFromCodeClass", "<pre><code class=\"language-sql\">SELECT</code></pre>", "```sql\nSELECT\n```"},
      {"FenceWrittenWhenBlockOpensInPre", "<pre class=language-py><div><code class=language-x>y</code></div></pre>",
       "```py\n\ny\n\n\n```"},
      {"InsideTemplateNothingIsWritten", "<template><p>a<b>b</b></p></template>c", "c"},
  };
  return cases;
}

const std::vector<StreamCase>& opening_markup_cases() {
  static const std::vector<StreamCase> cases = {
      {"ParagraphAfterTextInItem", "<ul><li>word<p>para</p></li></ul>", "- word\n\n  para"},
      {"ParagraphFirstInItem", "<ul><li><p>first</p><p>second</p></li></ul>", "- first\n\n  second"},
      {"NestedBoldWritesOnePair", "<b>a<b>b</b>c</b>", "**abc**"},
      {"NestedStrongWritesOnePair", "<strong>a<strong>b</strong>c</strong>", "**abc**"},
      {"NestedEmphasisOfOneKindWritesOnePair", "<em>a<i>b</i></em><del>c<s>d</s></del>", "*ab*~~cd~~"},
      {"CodeInItemAfterWord", "<ul><li>x<code>c</code></li></ul>", "- x `c`"},
      {"CodeInItemAfterParen", "<ul><li>(<code>c</code>)</li></ul>", "- ( `c`)"},
      {"CodeInItemAfterBracket", "<ul><li>[<code>c</code>]</li></ul>", "- \\[`c`]"},
      {"DataUrlImageLosesSource", "<IMG SRC=\"DATA:x\" alt=a_b>", "![a\\_b]()"},
      {"ImageWithNothingToShowWritesNothing", "<p>a<img>b<img src=\"\" alt=\"\" title=t>c<img src=\"data:x\">d</p>",
       "abcd"},
      {"ProtocolRelativeImage", "<img src=\"//cdn/x.png\" alt=x title=\"T\">", "![x](https://cdn/x.png \"T\")"},
      {"BreakInHeading", "<h2>a<br>b</h2>", "## a<br>b"},
      {"BreakInPre", "<pre>a<br>b</pre>", "```\na\nb\n```"},
      {"BreakInItem", "<ul><li>a<br>b</li></ul>", "- a  \n  b"},
      {"BreakInParagraph", "<p>one<br>two</p>", "one  \ntwo"},
      {"RuleAtItemStart", "<ul><li><hr></li></ul>", "- ***"},
      {"Rules", "<hr><p>x</p><hr>", "---\n\nx\n\n---"},
      {"HeadingInsideLinkAsHtml", "<a href=u><h2>H</h2></a>", "[<h2>H</h2>](u)"},
      {"Headings", "<h1>A</h1><h2>B</h2>text", "# A\n\n## B\n\ntext"},
      {"LinkInHeading", "<h3>x<a href=u>y</a></h3>", "### x[y](u)"},
      {"InlineHtmlTags", "<p>a<sub>1</sub><sup>2</sup><ins>i</ins><mark>m</mark><u>u</u><del>d</del><s>s</s></p>",
       "a<sub>1</sub><sup>2</sup><ins>i</ins><mark>m</mark><u>u</u>~~ds~~"},
      {"InlineMarkers", "<p><kbd>k</kbd> <samp>s</samp> <var>v</var> <cite>c</cite> <dfn>d</dfn> <abbr>a</abbr></p>",
       "`k` `s` `v` *c* **d** a"},
      {"Quote", "<q>hi</q>", "\"hi\""},
      {"HtmlKeptElements", "<dl><dt>T</dt><dd>D</dd></dl><address>A<br>B</address>",
       "<dl><dt>T</dt>\n<dd>D</dd>\n</dl>\n\n<address>A<br>B</address>"},
      {"CellsBeyondFirstRow", "<table><tr><td>a</td><td>b</td></tr><tr><td>1</td><td>2</td><td>3</td></tr></table>",
       "| a | b |\n| --- | --- |\n| 1 | 2 3 |"},
  };
  return cases;
}

const std::vector<StreamCase>& html_output_cases() {
  static const std::vector<StreamCase> cases = {
      {"LinkInDetails", "<details><a href=\"page.html\" title=\"x\">t</a></details>",
       "<details><a href=\"page.html\" title=\"x\">t</a></details>"},
      {"DisallowedSchemeInDd", "<dd><a href=\"javascript:x\">t</a></dd>", "<dd>t</dd>"},
      {"NoHrefInDd", "<dd><a>t</a></dd>", "<dd>t</dd>"},
      {"HrefEscaped", "<details><a href=\"/a?x=1&amp;y=[2]\">t</a></details>",
       "<details><a href=\"/a?x=1&amp;y=&#91;2&#93;\">t</a></details>"},
      {"ProtocolRelativeHref", "<dd><a href=\"//h/p\">t</a></dd>", "<dd><a href=\"https://h/p\">t</a></dd>"},
      {"TextInDetailsAsEntities", "<details><summary>S</summary>a &lt;b&gt; &amp; c <a href=u>[1]</a></details>",
       "<details>\n\n<summary>S</summary>\n\n\n\na &lt;b&gt; &amp; c <a href=\"u\">&#91;1&#93;</a></details>"},
      {"ImageInDdAsTag", "<dl><dd><img src=\"a.png\" alt=\"x_{i} \\mathbf [a]\" title=t></dd></dl>",
       "<dl><dd><img src=\"a.png\" alt=\"x_{i} \\mathbf &#91;a&#93;\" title=\"t\"></dd>\n</dl>"},
      {"TextAfterADefinitionListStartsABlock", "<dl><dt>a</dt></dl>b [x]", "<dl><dt>a</dt>\n</dl>\n\nb \\[x]"},
      {"TextAfterAStrayDd", "<dd>a</dd> *b*", "<dd>a</dd>\n\n\\*b\\*"},
      {"ImageInDdInCell", "<table><tr><td><dd><img src=\"a|b.png\" alt=\"a|b\"></dd></td></tr></table>",
       "| <dd><img src=\"a&#124;b.png\" alt=\"a&#124;b\"></dd> |\n| --- |"},
  };
  return cases;
}

const std::vector<StreamCase>& closing_cases() {
  static const std::vector<StreamCase> cases = {
      {"EmptyStrongVanishes", "<strong>  </strong>x", "x"},
      {"EmptyEmphasisVanishes", "<p>a<em></em>b</p>", "ab"},
      {"TrailingHashEscaped", "<h2>C #</h2>", "## C \\#"},
      {"HashAfterLetterKept", "<h2>C#</h2>", "## C#"},
      {"HeadingOfHashesEscaped", "<h2>###</h2>", "## \\###"},
      {"EmptyHeadingEscapesNothing", "<h3> </h3><p>x</p>", "###\n\nx"},
      {"RelativeLink", "<p>see <a href=\"a/b.html\">this</a></p>", "see [this](a/b.html)"},
      {"TitleEqualToTextDropped", "<a href=u title=t>t</a>", "[t](u)"},
      {"TitleKept", "<a href=u title='a \"q\" \\'>t</a>", "[t](u \"a \\\"q\\\" \\\\\")"},
      {"EmptyHref", "<a href=\"\">x</a>", "[x]()"},
      {"NoHref", "<a>no href</a>", "no href"},
      {"DestinationWithSpace", "<a href=\"a b\">x</a>", "[x](<a b>)"},
      {"LinkTextEscaped", "<a href=u>a]b</a>", "[a\\]b](u)"},
      {"AutomaticLink", "<p>Hello <a href=\"http://x.com\">http://x.com</a> end</p>", "Hello <http://x.com> end"},
      {"AutomaticLinkNeedsLowerCaseScheme", "<a href=\"Https://x\">Https://x</a>", "[Https://x](Https://x)"},
      {"ColspanWritesExtraBars", "<table><tr><td colspan=3>a</td></tr><tr><td>1</td><td>2</td><td>3</td></tr></table>",
       "| a | | |\n| --- | --- | --- |\n| 1 | 2 | 3 |"},
      {"UnknownElementBetweenParagraphs", "<p>a</p><x>b</x><p>c</p>", "a\n\nb\n\nc"},
      {"UnknownElementInItem", "<ul><li><x>b</x>c</li></ul>", "- bc"},
      {"ListThenParagraph", "<ul><li>a</li></ul><p>b</p>", "- a\n\nb"},
  };
  return cases;
}

const std::vector<StreamCase>& text_cases() {
  static const std::vector<StreamCase> cases = {
      {"HashAtLineStartEscaped", "<p># not heading</p>", "\\# not heading"},
      {"HashInsideLineKept", "<p>a # b</p>", "a # b"},
      {"OrderedMarkerEscaped", "<p>1. not a list</p><p>1) x</p>", "1\\. not a list\n\n1\\) x"},
      {"DigitsBeforeLetterKept", "<p>2.5 apples</p><p>1a. b</p>", "2.5 apples\n\n1a. b"},
      {"BulletMarkersEscaped", "<p>- x</p><p>+ x</p><p>--- </p>", "\\- x\n\n\\+ x\n\n\\---"},
      {"QuoteMarkerEscaped", "<p>&gt; x</p>", "\\> x"},
      {"GtInQuotationEscaped", "<blockquote><p>a &gt; b</p></blockquote>", "> a \\> b"},
      {"PipeInCellEscaped", "<table><tr><td>a|b</td></tr></table><p>c|d</p>", "| a\\|b |\n| --- |\n\nc|d"},
      {"LtBeforeLetterEscaped", "<p>&lt;div&gt; and 1 &lt; 2</p>", "\\<div> and 1 < 2"},
      {"InlineSyntaxEscaped", "<p>*star* _u_ [x] `c` ~t~ \\back</p>", "\\*star\\* \\_u\\_ \\[x] \\`c\\` \\~t\\~ \\\\back"},
      {"BackslashBeforeReferenceKept", "<p>&amp;lt; *</p>", "\\&lt; \\*"},
      {"MarkersThatCannotPairStayBare", "<p>snake_case, 2 * 3 and a_b_c</p><p>* * _ _ _</p>",
       "snake_case, 2 * 3 and a_b_c\n\n\\* * _ _ \\_"},
      {"FigureCaption", "<figure><img src=a.png><figcaption>cap</figcaption></figure>after",
       "![](a.png)\n\n*cap*\n\nafter"},
      {"EmptyFigureCaptionLeavesNoMarker", "<figure><figcaption>  </figcaption></figure>x", "x"},
      {"CaptionInParagraph", "<p>a<figcaption>cap</figcaption>b</p>", "a\n\n*cap*\n\nb"},
      {"BreakAtCaptionStartWaits", "<p>x</p><figcaption><br>cap</figcaption>", "x\n\n  \n*cap*"},
      {"CodeInCellOfPre", "<table><tr><td><pre>a|b&amp;\nc</pre></td></tr></table>",
       "| <pre>a&#124;b&amp;<br>c</pre> |\n| --- |"},
  };
  return cases;
}

// Emphasis, strikethrough and code markers: written where a reader pairs
// them, and left out where the page's text would show them.
const std::vector<StreamCase>& marker_cases() {
  static const std::vector<StreamCase> cases = {
      {"CannotOpenBesidePunctuation", "<p><s>&gt;</s>x z<b>#</b> <em>(</em>x</p>", "\\>x z# (x"},
      {"CannotCloseBeforeAWord", "<p><b>*</b>b and <b>x.</b>y</p>", "\\*b and x.y"},
      {"KeptBesideSpaceAndPunctuation", "<p><b>Note:</b> read <i>this</i>, <b>now</b>.</p>",
       "**Note:** read *this*, **now**."},
      {"LettersOfOtherScripts", "<p>\xE6\x97\xA5<b>\xE8\xAA\x9E</b>\xE3\x81\xA7 \xC3\x9C<b>\xC3\xA9</b>x</p>",
       "\xE6\x97\xA5**\xE8\xAA\x9E**\xE3\x81\xA7 \xC3\x9C**\xC3\xA9**x"},
      {"NothingBetweenTheMarkers", "<p>a <a href=u><i><svg><path d=x /></svg></i></a> b<b><i><svg></svg></i></b>c</p>",
       "a [](u) bc"},
      {"NestedPairsLeftOutTogether", "<p>a<b><em>x.</em></b>y</p>", "ax.y"},
      {"LeadingSpaceBeforeMarkers", "<p>x<em> z</em> and <b><i> y</i></b></p>", "x *z* and ***y***"},
      {"WhiteSpaceElementsKeepTheirSpace", "<p>x<em> </em>y<span> </span>z<code> </code>w</p>", "x y z w"},
      {"NoSpaceBeforeLinkOrStrike", "<p>1<a href=u>x</a> ~<s>gone</s> a<del>b</del></p>",
       "1[x](u) \\~~~gone~~ a~~b~~"},
      {"BangBeforeLinkEscaped", "<p>Hi!<a href=u>x</a> !<b><a href=u>y</a></b>z</p>", "Hi\\![x](u) \\![**y**](u)z"},
      {"BangBeforeAPairMovedIntoALink", "<p>words before it.\\!<del><a href=u>x</a></del>y</p>",
       "words before it.\\\\\\![~~x~~](u)y"},
      // Pairs taken out (or moved into a link) after runs of backslashes,
      // which decide whether the byte before an opener is escaped.
      {"PairsTakenOutAfterBackslashes", "<p>a\\\\\\*<b>*</b>x \\!<i><a href=u>y</a></i>b \\\\~<s>-</s>c</p>",
       "a\\\\\\\\\\\\\\*\\*x \\\\\\![*y*](u)b \\\\\\\\\\~-c"},
      {"LessThanAtTextEnd", "<p>a &lt;<s>b</s></p>", "a \\<~~b~~"},
      {"MarkerOfAPairTakenOutAtLineStart", "<p><del>&gt;</del>x</p>", "\\>x"},
      {"AdjacentPairsJoin", "<p><b>a</b><b>b</b> <em>c</em><i>d</i> <s>e</s><del>f</del></p>", "**ab** *cd* ~~ef~~"},
      {"AdjacentCodeSpansJoin", "<p><code>a</code><code>b`</code> <kbd>c</kbd><samp>d</samp></p>", "`` ab` `` `cd`"},
      // A run of backticks that the join makes longer sets the fence.
      {"JoinedCodeSpansFenceTheirRuns", "<p><code>a`</code><code>`b</code> <code>`</code><kbd>`</kbd><samp>`</samp>x</p>",
       "```a``b``` ```` ``` ````x"},
      {"CodeSpacesKept", "<p>x<code> a </code>y<code>b </code>z</p>", "x`  a  `y`b `z"},
      // Openers that go again with their empty element leave the spans
      // side by side.
      {"CodeSpansAcrossEmptyElements", "<p><code>a</code><q></q><code>b</code> <code>c</code><i></i><code>d</code></p>",
       "`ab` `cd`"},
      // A span too long to be taken up again stands apart from the next.
      {"LongCodeSpanStandsApart",
       [] {
         const std::string code(1100, 'x');
         std::string html("<p><code>");
         html.append(code).append("</code><code>y</code> <code>").append(code);
         return html.append("</code><b><code>y</code></b>z</p>");
       }(),
       [] {
         const std::string code(1100, 'x');
         std::string markdown("`");
         markdown.append(code).append("` `y` `").append(code);
         return markdown.append("` `y`z");
       }()},
      // Pairs brought together by a pair taken out between them join,
      // keeping their order: the first holds the output before it.
      {"StrikeAcrossMisnestedTagsTakenOut", "<p>x<i><s><b>b</i><s>?</p>", "x**b**?"},
      {"RunsOfEmphasisMarkersKeepEveryPair",
       [] {
         std::string html;
         for (int i = 0; i < 19; ++i) html += "<i>*</i><b>*</b>";
         return html + "<b><i>";
       }(),
       [] {
         std::string markdown = "*\\**";
         for (int i = 0; i < 18; ++i) markdown += "**\\****\\**";
         return markdown + "**\\***";
       }()},
  };
  return cases;
}

const std::vector<StreamCase>& table_cases() {
  static const std::vector<StreamCase> cases = {
      {"FirstRowIsHeader", "<table><tr><td>a</td><td>b</td><td>c</td></tr></table>",
       "| a | b | c |\n| --- | --- | --- |"},
      {"RowWithoutCells", "<table><tr></tr></table>", "| |\n|"},
      {"NestedTableAsHtml", "<table><tr><td>a<table><tr><th>x</th></tr></table></td></tr></table>",
       "| a<table><tr><th>x</th></tr></table> |\n| --- |"},
      {"TableInItem", "<ul><li><table><tr><td>a</td></tr><tr><td>b</td></tr></table></li></ul>",
       "- | a |\n  | --- |\n  | b |"},
      {"ColspanBounds", "<table><tr><td colspan=0>a</td><td colspan=\" +2 \">b</td></tr></table>",
       "| a | b | |\n| --- | --- | --- |"},
      {"ColspanCappedAt64", "<table><tr><td colspan=100>a</td></tr></table>",
       "| a" + [] {
         std::string bars;
         for (int i = 0; i < 63; ++i) bars += " |";
         return bars;
       }() + " |\n|" + [] {
         std::string pieces;
         for (int i = 0; i < 64; ++i) pieces += " --- |";
         return pieces;
       }()},
      {"InlineCodeInCell", "<table><tr><td><code>a|b</code></td></tr></table>", "| `a\\|b` |\n| --- |"},
      {"HeadingInCell", "<table><tr><th><h3>H</h3></th><td>x</td></tr></table>", "| <h3>H</h3> | x |\n| --- | --- |"},
      {"LineFeedInCellText", "<table><tr><td><span>a\nb</span></td></tr></table>", "| a b |\n| --- |"},
  };
  return cases;
}

const std::vector<StreamCase>& code_cases() {
  static const std::vector<StreamCase> cases = {
      {"FenceLongerThanInnerRun", "<pre class=language-md>a\n```\nb</pre>", "````md\na\n```\nb\n````"},
      {"BacktickInLanguageRefused", "<pre class=\"language-a`b\">x</pre>", "```\nx\n```"},
      {"ThreeSpacesBeforeRunCount", "<pre>a\n   ```\n</pre>", "````\na\n   ```\n\n````"},
      {"FourSpacesBeforeRunDoNot", "<pre>a\n    ```\n</pre>", "```\na\n    ```\n\n```"},
      {"WhitespaceOnlyPreWritesNoFence", "<pre> \n </pre>x", "x"},
      {"InlineCodeWithBacktick", "<code>a`b</code>", "``a`b``"},
      {"InlineCodePadded", "<code>`a</code>", "`` `a ``"},
      {"EmptyInlineCodeVanishes", "<p><code></code>x</p>", "x"},
      {"PreInItem", "<ul><li><pre>a\nb</pre></li></ul>", "- ```\n  a\n  b\n  ```"},
      {"PreAfterTextInItem", "<ul><li>x<pre>a\n  b\n</pre>y</li></ul>", "- x\n\n  ```\n  a\n    b\n\n  ```\n\n  y"},
      {"PreInsidePre", "<pre>a<pre>b</pre>y</pre><p>z</p>", "````\na\n\n```\nb\n```\n\ny\n````\n\nz"},
      {"PreInsidePreInItem", "<ul><li><pre>a<pre>b</pre>y</pre><p>z</p></li></ul>",
       "- ````\n  a\n\n  ```\n  b\n  ```\n\n  y\n  ````\n\n  z"},
      {"PresInsidePres", "<pre><pre>b<pre>c</pre></pre></pre>", "`````\n````\nb\n\n```\nc\n```\n````\n`````"},
      {"EmptyPreInsidePre", "<pre>a<pre></pre>y</pre>", "```\nay\n```"},
      {"EmptyPreInsideEmptyPre", "<pre><pre></pre></pre>x<ul><li><pre><pre></pre></pre>y</li></ul>", "x\n\n- y"},
  };
  return cases;
}

const std::vector<StreamCase>& quote_cases() {
  static const std::vector<StreamCase> cases = {
      {"TwoParagraphs", "<blockquote><p>q1</p><p>q2</p></blockquote>", "> q1\n>\n> q2"},
      {"Nested", "<blockquote><p>a</p><blockquote><p>b</p><p>c</p></blockquote></blockquote>",
       "> a\n> > b\n> >\n> > c"},
      {"InItem", "<ul><li>x<blockquote><p>q</p></blockquote></li></ul>", "- x\n  > q"},
      {"HoldingAList", "<blockquote><ul><li>a</li><li>b</li></ul></blockquote>", "> - a\n> - b"},
      {"Empty", "<blockquote></blockquote>", ">"},
      {"TextAroundNested", "<blockquote>q<blockquote>r</blockquote>s</blockquote>", "> q\n> > r\n>\n> s"},
      {"NestedInItem", "<ul><li><blockquote><blockquote>x<p>y</p></blockquote></blockquote></li></ul>",
       "- \n  > > x\n  > >\n  > > y"},
      {"NestedAfterAParagraph", "<p>a</p><blockquote><blockquote>x</blockquote></blockquote>", "a\n\n> > x"},
      {"NestedAfterRawHtml", "<dl><dt>a</dt></dl><blockquote><blockquote>x</blockquote></blockquote>",
       "<dl><dt>a</dt>\n</dl>\n\n> > x"},
  };
  return cases;
}

const std::vector<std::pair<const char*, const std::vector<StreamCase>*>>& all_case_tables() {
  static const std::vector<std::pair<const char*, const std::vector<StreamCase>*>> tables = {
      {"Tokenizer", &tokenizer_cases()}, {"ElementStack", &element_stack_cases()},
      {"Open", &open_cases()},           {"OpeningMarkup", &opening_markup_cases()},
      {"HtmlOutput", &html_output_cases()}, {"Closing", &closing_cases()},
      {"Text", &text_cases()},           {"Tables", &table_cases()},
      {"Code", &code_cases()},           {"Quotes", &quote_cases()},
      {"Markers", &marker_cases()},
  };
  return tables;
}

namespace {

class ConvertsTo : public testing::TestWithParam<StreamCase> {};

TEST_P(ConvertsTo, AtOnce) { EXPECT_EQ(convert(GetParam().html), GetParam().markdown); }

INSTANTIATE_TEST_SUITE_P(Tokenizer, ConvertsTo, testing::ValuesIn(tokenizer_cases()), case_name);
INSTANTIATE_TEST_SUITE_P(ElementStack, ConvertsTo, testing::ValuesIn(element_stack_cases()), case_name);
INSTANTIATE_TEST_SUITE_P(Open, ConvertsTo, testing::ValuesIn(open_cases()), case_name);
INSTANTIATE_TEST_SUITE_P(OpeningMarkup, ConvertsTo, testing::ValuesIn(opening_markup_cases()), case_name);
INSTANTIATE_TEST_SUITE_P(HtmlOutput, ConvertsTo, testing::ValuesIn(html_output_cases()), case_name);
INSTANTIATE_TEST_SUITE_P(Closing, ConvertsTo, testing::ValuesIn(closing_cases()), case_name);
INSTANTIATE_TEST_SUITE_P(Text, ConvertsTo, testing::ValuesIn(text_cases()), case_name);
INSTANTIATE_TEST_SUITE_P(Tables, ConvertsTo, testing::ValuesIn(table_cases()), case_name);
INSTANTIATE_TEST_SUITE_P(Code, ConvertsTo, testing::ValuesIn(code_cases()), case_name);
INSTANTIATE_TEST_SUITE_P(Quotes, ConvertsTo, testing::ValuesIn(quote_cases()), case_name);
INSTANTIATE_TEST_SUITE_P(Markers, ConvertsTo, testing::ValuesIn(marker_cases()), case_name);

}  // namespace
}  // namespace tidewell::streaming::test
