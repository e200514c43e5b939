#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converter/document/convert_document.hpp"
#include "converter/document/handler_table.hpp"
#include "converter/metadata/structure_sink.hpp"
#include "converter/tables/tables.hpp"
#include "html_parser/parser.hpp"

namespace tidewell {
namespace {

// A parsed fragment with its caches.
struct Parsed {
  explicit Parsed(std::string_view html)
      : result(parse_document(ParserBackend::Copperfern, html)),
        dom_context(build_dom_context(result.dom().top_level, result.dom(), html.size())),
        reader(result.dom(), dom_context) {}

  const TlDom& dom() const { return result.dom(); }
  NodeHandle first() const { return dom().top_level.front(); }

  ParseResult result;
  DomContext dom_context;
  TableReader reader;
};

DocumentConversion convert_all(std::string_view html, const ConversionOptions& options = {}) {
  StructureSink sink;
  Outcome<DocumentConversion> result = convert_document(html, options, nullptr, &sink);
  EXPECT_TRUE(result.ok()) << html;
  return result.ok() ? std::move(result.value()) : DocumentConversion{};
}

std::string convert(std::string_view html, const ConversionOptions& options = {}) {
  Outcome<DocumentConversion> result = convert_document(html, options, nullptr, nullptr);
  EXPECT_TRUE(result.ok()) << html;
  return result.ok() ? result.value().content : std::string();
}

// Walks the fragment with a context adjusted by `adjust`, appending to
// `output` (no document-level steps, no final line normalisation).
template <typename Adjust>
std::string walk_with(std::string_view html, Adjust adjust, std::string output = {},
                      const ConversionOptions& options = {}) {
  Parsed parsed(html);
  const WalkSets sets;
  const WalkPolicy policy = WalkPolicy::for_walk(options, sets);
  const Walk walk(parsed.dom(), parsed.dom_context, options, policy, dom_handler_table(), output);
  ConversionContext context = make_root_context(options, nullptr, nullptr, nullptr);
  adjust(context);
  for (NodeHandle node : parsed.dom().top_level) walk.node(node, context, 0);
  return output;
}

const auto kNoChange = [](ConversionContext&) {};

std::string repeat(std::string_view piece, std::size_t n) {
  std::string out;
  out.reserve(piece.size() * n);
  for (std::size_t i = 0; i < n; ++i) out += piece;
  return out;
}

// ---------------------------------------------------------------------------
// Spans

struct SpanCase {
  const char* name;
  const char* attribute;
  std::size_t expected;
};

class ColspanValues : public testing::TestWithParam<SpanCase> {};

TEST_P(ColspanValues, ReadAsTheCellSpan) {
  const std::string html = std::string("<td ") + GetParam().attribute + ">x</td>";
  Parsed parsed(html);
  EXPECT_EQ(parse_colspan(parsed.first(), parsed.dom()), GetParam().expected) << html;
  const std::string row_html = std::string("<td ") + GetParam().attribute + " rowspan=2>x</td>";
  Parsed both(row_html);
  EXPECT_EQ(parse_cell_spans(both.first(), both.dom()), std::make_pair(GetParam().expected, std::size_t{2}));
}

INSTANTIATE_TEST_SUITE_P(
    Tables, ColspanValues,
    testing::Values(SpanCase{"Digits", "colspan=3", 3}, SpanCase{"Plus", "colspan=+3", 3},
                    SpanCase{"Zero", "colspan=0", 1}, SpanCase{"Empty", "colspan=''", 1},
                    SpanCase{"NoValue", "colspan", 1}, SpanCase{"Absent", "", 1},
                    SpanCase{"LeadingSpace", "colspan=' 3'", 1}, SpanCase{"TrailingSpace", "colspan='3 '", 1},
                    SpanCase{"Negative", "colspan=-2", 1}, SpanCase{"Fraction", "colspan=2.5", 1},
                    SpanCase{"Letter", "colspan=x", 1}, SpanCase{"LonePlus", "colspan=+", 1},
                    SpanCase{"TwoPluses", "colspan=++3", 1}, SpanCase{"Cap", "colspan=1000", 1000},
                    SpanCase{"AboveCap", "colspan=1001", 1000},
                    SpanCase{"LargestU64", "colspan=18446744073709551615", 1000},
                    SpanCase{"AboveU64", "colspan=18446744073709551616", 1},
                    SpanCase{"FullwidthDigit", "colspan=\xEF\xBC\x93", 1},
                    SpanCase{"NameIsCaseSensitive", "COLSPAN=3", 1}),
    [](const testing::TestParamInfo<SpanCase>& info) { return info.param.name; });

TEST(Tables, SpansOfOtherNodes) {
  Parsed parsed("text<!--c-->");
  EXPECT_EQ(parse_colspan(0, parsed.dom()), 1u);
  EXPECT_EQ(parse_cell_spans(1, parsed.dom()), std::make_pair(std::size_t{1}, std::size_t{1}));
  EXPECT_EQ(parse_colspan(99, parsed.dom()), 1u);
}

// ---------------------------------------------------------------------------
// Rows and cells

TEST(Tables, RowsOfATableInDocumentOrder) {
  Parsed parsed(
      "<table><caption>c</caption><tr id=a><td>1</td><div><td>wrapped</td></div><th>2</th><cell>3</cell></tr>"
      "<tbody><tr id=b></tr><row id=c></row><td id=d>4</td> <!--x--> <td>5</td><p>p</p></tbody>"
      "<td id=e>6</td>text<row id=f><td>7</td></row><col></table>");
  std::vector<std::string> seen;
  std::vector<std::size_t> widths;
  std::vector<NodeHandle> cells;
  for_each_table_row(
      parsed.first(), parsed.reader,
      [&](const TableRow& row) {
        collect_row_cells(row, parsed.reader, cells);
        const TlNode::Tag& tag = *parsed.dom().tag(row.node);
        seen.push_back(std::string(*attribute_value(parsed.dom(), tag, "id")) + (row.implied ? "*" : "") +
                       (row.is_measured(parsed.reader) ? "" : "-"));
        widths.push_back(cells.size());
      },
      [&](NodeHandle node, TablePart part, TablePart) {
        if (part == TablePart::None) {
          seen.push_back("text");
        } else {
          seen.push_back(std::string(parsed.dom().bytes(parsed.dom().tag(node)->name)));
        }
      });
  EXPECT_EQ(seen, (std::vector<std::string>{"caption", "a", "b", "c-", "d*", "p", "e*", "text", "f", "col"}));
  EXPECT_EQ(widths, (std::vector<std::size_t>{3, 0, 0, 2, 1, 1}));
  EXPECT_FALSE(is_table_row(parsed.dom().tag(parsed.first())->children[2], parsed.reader));
}

// ---------------------------------------------------------------------------
// The scan and the layout

TEST(Tables, ScanCountsTheWholeSubtree) {
  Parsed parsed(
      "<table><tr><td><a>x</a><a href=y>y</a></td><td colspan=1>z</td></tr><tr></tr>"
      "<tr><td><table><tr><td>i</td><td>j</td><td>k</td></tr></table></td></tr>"
      "<td>stray</td><td>cells</td></table>");
  const TableScan scan = scan_table(parsed.first(), parsed.reader);
  EXPECT_EQ(scan.row_count, 5u);  // three rows, the nested row, the implied row
  EXPECT_TRUE(scan.mixed_widths);
  EXPECT_EQ(scan.nested_tables, 1u);
  EXPECT_EQ(scan.link_count, 2u);
  EXPECT_TRUE(scan.has_spans);
  EXPECT_FALSE(scan.has_header);
  EXPECT_FALSE(scan.has_caption);
  EXPECT_TRUE(scan.has_content);
}

TEST(Tables, ScanOfNestedTablesIsRecordedForEach) {
  Parsed parsed(
      "<table id=o><tr><td><table id=m><tr><th><table id=i><caption>c</caption></table></th></tr></table></td>"
      "<td><table id=s><tr><td><a>l</a></td></tr></table></td></tr></table>");
  TableScanCache scans;
  scan_tables(parsed.first(), parsed.reader, scans);
  ASSERT_EQ(scans.by_table.size(), 4u);
  const auto scan_of = [&](std::string_view id) {
    for (const auto& [node, scan] : scans.by_table) {
      if (attribute_value(parsed.dom(), *parsed.dom().tag(node), "id") == id) return scan;
    }
    ADD_FAILURE() << id;
    return TableScan{};
  };
  EXPECT_EQ(scan_of("o").nested_tables, 3u);
  EXPECT_EQ(scan_of("m").nested_tables, 1u);
  EXPECT_EQ(scan_of("i").nested_tables, 0u);
  EXPECT_TRUE(scan_of("o").has_caption && scan_of("o").has_header && scan_of("o").has_content);
  EXPECT_TRUE(scan_of("m").has_caption && scan_of("m").has_header);
  EXPECT_FALSE(scan_of("s").has_caption || scan_of("s").has_header);
  EXPECT_EQ(scan_of("s").link_count, 1u);
  EXPECT_EQ(scan_of("o").link_count, 1u);
  EXPECT_EQ(scan_of("o").row_count, 3u);
  EXPECT_EQ(scan_of("i").row_count, 0u);
}

TEST(Tables, ScanFindsContent) {
  const struct {
    const char* html;
    bool content;
  } cases[] = {
      {"<table><tr><td> \t\n&nbsp;&#160;\xC2\xA0</td></tr></table>", false},
      {"<table><tr><td>&amp;</td></tr></table>", true},
      {"<table><!-- text --></table>", false},
      {"<table><tr><td><img alt=''></td></tr></table>", true},
      {"<table><tr><td><img src></td></tr></table>", true},
      {"<table><tr><td><graphic alt=x></graphic></td></tr></table>", true},
      {"<table><tr><td><img title=x></td></tr></table>", false},
  };
  for (const auto& c : cases) {
    Parsed parsed(c.html);
    EXPECT_EQ(scan_table(parsed.first(), parsed.reader).has_content, c.content) << c.html;
  }
}

struct LayoutCase {
  const char* name;
  TableScan scan;
  bool border_zero;
  TableLayout expected;
};

TableScan scan_with(std::size_t rows, std::size_t width, bool mixed, std::size_t nested, std::size_t links,
                    bool spans, bool header, bool caption, bool content) {
  TableScan scan;
  scan.row_count = rows;
  scan.first_width = width;
  scan.mixed_widths = mixed;
  scan.nested_tables = nested;
  scan.link_count = links;
  scan.has_spans = spans;
  scan.has_header = header;
  scan.has_caption = caption;
  scan.has_content = content;
  return scan;
}

class LayoutRules : public testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutRules, ChooseTheLayout) {
  EXPECT_EQ(choose_table_layout(GetParam().scan, GetParam().border_zero), GetParam().expected);
}

using L = TableLayout;
INSTANTIATE_TEST_SUITE_P(
    Tables, LayoutRules,
    testing::Values(
        LayoutCase{"HeaderBeatsEverything", scan_with(1, 2, true, 5, 9, true, true, false, false), true, L::PipeTable},
        LayoutCase{"CaptionBeatsEverything", scan_with(0, 0, true, 5, 0, true, false, true, false), true,
                   L::PipeTable},
        LayoutCase{"MixedWidthsWithText", scan_with(2, 2, true, 0, 0, false, false, false, true), false, L::RowList},
        LayoutCase{"MixedWidthsWithLinks", scan_with(2, 2, true, 0, 1, false, false, false, false), false,
                   L::RowList},
        LayoutCase{"MixedWidthsEmpty", scan_with(2, 2, true, 0, 0, false, false, false, false), false, L::Omitted},
        LayoutCase{"TwoNestedTables", scan_with(3, 1, false, 2, 0, false, false, false, true), false, L::RowList},
        LayoutCase{"OneNestedTable", scan_with(3, 1, false, 1, 0, false, false, false, true), false, L::PipeTable},
        LayoutCase{"SpansAndBorderZero", scan_with(3, 1, false, 0, 0, true, false, false, true), true, L::RowList},
        LayoutCase{"SpansAlone", scan_with(3, 1, false, 0, 0, true, false, false, true), false, L::PipeTable},
        LayoutCase{"BorderZeroAlone", scan_with(3, 1, false, 0, 0, false, false, false, true), true, L::PipeTable},
        LayoutCase{"NoContentOneLink", scan_with(3, 1, false, 0, 1, false, false, false, false), false, L::RowList},
        LayoutCase{"NoContentNoLinks", scan_with(3, 1, false, 0, 0, false, false, false, false), false, L::Omitted},
        LayoutCase{"FewRowsManyLinks", scan_with(2, 1, false, 0, 3, false, false, false, true), false, L::RowList},
        LayoutCase{"FewRowsTwoLinks", scan_with(2, 1, false, 0, 2, false, false, false, true), false, L::PipeTable},
        LayoutCase{"ThreeRowsManyLinks", scan_with(3, 1, false, 0, 3, false, false, false, true), false,
                   L::PipeTable}),
    [](const testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

TEST(Tables, ZeroBorder) {
  const struct {
    const char* html;
    bool zero;
  } cases[] = {{"<table border=0>", true},    {"<table border='0'>", true}, {"<table border>", false},
               {"<table border=00>", false},  {"<table border=' 0'>", false}, {"<table>", false},
               {"<table BORDER=0>", false},   {"<table border=none>", false}};
  for (const auto& c : cases) {
    Parsed parsed(c.html);
    EXPECT_EQ(has_zero_border(parsed.first(), parsed.dom()), c.zero) << c.html;
  }
}

// ---------------------------------------------------------------------------
// Framing

const char* const kSmallTable = "<table><tr><th>a</th></tr><tr><td>b</td></tr></table>";

TEST(Tables, FramingInListItems) {
  // The table's lines are indented to the item's content (which keeps them
  // in the item), and a blank line follows the rows.
  const auto item = [](std::size_t indent) {
    return [indent](ConversionContext& c) {
      c.in_list_item = true;
      c.list_depth = 1;
      c.item_indent = indent;
    };
  };
  EXPECT_EQ(walk_with(kSmallTable, item(2), "- Text"), "- Text\n  | a |\n  | --- |\n  | b |\n\n");
  EXPECT_EQ(walk_with(kSmallTable, item(2), "- Text  \t"), "- Text\n  | a |\n  | --- |\n  | b |\n\n");
  EXPECT_EQ(walk_with(kSmallTable, item(5), "x\n"), "x\n     | a |\n     | --- |\n     | b |\n\n");
  EXPECT_EQ(walk_with(kSmallTable, item(0), "- Text"), "- Text\n| a |\n| --- |\n| b |\n\n");

  // A caption first: the text before it is left as it is.
  EXPECT_EQ(walk_with("<table><caption>c</caption><tr><th>a</th></tr></table>", item(2), "- T "),
            "- T *c*\n\n  | a |\n  | --- |\n\n");
}

TEST(Tables, FramingElsewhere) {
  // Between blank lines: a line right after the rows would be one more row.
  EXPECT_EQ(walk_with(kSmallTable, kNoChange, ""), "| a |\n| --- |\n| b |\n\n");
  EXPECT_EQ(walk_with(kSmallTable, kNoChange, "p\n\n"), "p\n\n| a |\n| --- |\n| b |\n\n");
  EXPECT_EQ(walk_with(kSmallTable, kNoChange, "p\n"), "p\n\n| a |\n| --- |\n| b |\n\n");
  EXPECT_EQ(walk_with(kSmallTable, kNoChange, "abc"), "abc\n\n| a |\n| --- |\n| b |\n\n");
  // The table itself is written alike in any context.
  EXPECT_EQ(walk_with(kSmallTable, [](ConversionContext& c) { c.inline_mode = c.in_code = true; }, ""),
            "| a |\n| --- |\n| b |\n\n");

  const char* const omitted = "<table><tr><td> </td></tr></table>";
  EXPECT_EQ(walk_with(omitted, kNoChange, "abc"), "abc\n\n");
  EXPECT_EQ(walk_with(omitted, kNoChange, ""), "\n");
  EXPECT_EQ(walk_with(omitted, [](ConversionContext& c) { c.in_list_item = true; }, "- a  "), "- a\n");
}

TEST(Tables, CaptionsOutsideTheTableHandler) {
  EXPECT_EQ(walk_with("<caption>a-b</caption>", kNoChange, "x"), "x*a-b*\n\n");
  EXPECT_EQ(walk_with("<caption> </caption>", kNoChange, "x"), "x");
  // A caption in a cell is the cell's content.
  EXPECT_EQ(convert("<table><tr><th><caption>c-d</caption>h</th></tr></table>"), "| *c-d*  h |\n| -------- |\n");
}

// ---------------------------------------------------------------------------
// Size and depth (sizes kept small enough for the sanitizer build)

TEST(Tables, HugeColspansAreCappedAtTheColumnCount) {
  const std::string html =
      "<table>" + repeat("<tr>" + repeat("<td colspan=1000>x</td>", 300) + "</tr>", 5) + "</table>";
  const std::string out = convert(html);
  EXPECT_LT(out.size(), html.size());
  // 1000 columns: the first cell writes 1000 bars, every later one only one.
  const std::string first_line = out.substr(0, out.find('\n'));
  EXPECT_EQ(first_line, "| x" + repeat(" |", 1000) + repeat(" x |", 299));

  const DocumentConversion all = convert_all(html);
  EXPECT_EQ(all.content, out);
  ASSERT_EQ(all.tables.size(), 1u);
  EXPECT_EQ(all.tables[0].grid.cols, 300'000u);
  EXPECT_EQ(all.tables[0].grid.cells.size(), 1500u);
}

TEST(Tables, LongRowspansCarryOnlyWithinTheColumns) {
  const std::string html = "<table><tr><th>h</th><th>i</th></tr>" +
                           repeat("<tr><td rowspan=65534>x</td></tr>", 3000) + "</table>";
  const std::string out = convert(html);
  EXPECT_LT(out.size(), 4 * html.size());
  EXPECT_EQ(out.substr(0, 40), "| h | i |\n| --- | --- |\n| x |\n|   | x |\n");
}

TEST(Tables, DeeplyNestedTablesKeepTheirText) {
  for (const char* unit : {"<table><tr><td>", "<table><td>", "<table><tbody><tr><th>x "}) {
    const std::string html = repeat(unit, 20'000) + "deep";
    EXPECT_NE(convert(html).find("deep"), std::string::npos) << unit;
    ConversionOptions plain;
    plain.output_format = OutputFormat::PlainText;
    EXPECT_NE(convert(html, plain).find("deep"), std::string::npos) << unit;
    const DocumentConversion all = convert_all(html);
    EXPECT_NE(all.content.find("deep"), std::string::npos) << unit;
    EXPECT_FALSE(all.tables.empty());
  }
}

// Code inside code in a cell is text of the outer code: each level writes
// its line once, and the cell's grid holds it once.
TEST(Tables, CodeBlocksNestedInACellWriteEachLineOnce) {
  EXPECT_EQ(convert("<table><tr><td><pre>a<pre>b</pre>c</pre></td></tr></table>"),
            "| `a` `b` `c` |\n| ----------- |\n");
  const std::string html = "<table><tr><td>" + repeat("<pre>a", 5'000);
  EXPECT_LT(convert(html).size(), 2 * html.size());
  const DocumentConversion all = convert_all(html);
  EXPECT_LT(all.content.size(), 2 * html.size());
  ASSERT_EQ(all.tables.size(), 1u);
  EXPECT_LT(all.tables[0].grid.cells.at(0).content.size(), 2 * html.size());
}

TEST(Tables, TablesInCellsCountTowardsTheRecursionLimit) {
  // Cells restart the depth that max_depth counts; the recursion limit still
  // sees how deep the walk is and hands the rest to the plain walk.
  const std::string html = repeat("<table><tr><th>", kWalkRecursionLimit) + "deep";
  EXPECT_NE(convert(html).find("deep"), std::string::npos);
  ConversionOptions limited;
  limited.max_depth = 4;
  const std::string shallow = repeat("<table><tr><th>", 20) + "deep";
  EXPECT_NE(convert(shallow, limited).find("deep"), std::string::npos);
  limited.max_depth = 3;
  EXPECT_EQ(convert("<table><tr><th><div><div><div>deep</div></div></div></th></tr></table>", limited),
            "|  |\n| --- |\n");
}

}  // namespace
}  // namespace tidewell
