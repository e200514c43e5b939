// Tables: the handlers of the Table, TablePart and Caption families (see
// converter/document/handler_table.cpp), and the pieces they are made of.
//
// convert_table looks once at the whole table (scan_table), chooses a layout
// (a pipe table, one "- " line per row, or nothing), writes the table into a
// text of its own, records its grid when the document structure is being
// collected, and frames the text into the output.
#pragma once

#include <cstddef>
#include <limits>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "converter/walk/walk.hpp"

namespace tidewell {

// --- handlers ---------------------------------------------------------------

// table.
void convert_table(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);
// A caption that the table itself does not write (outside a table, in a
// cell, in another element of the table): "*text*" and a blank line.
void convert_caption(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);
// tr, td, th, thead, tbody, tfoot that no table handles (outside any table,
// or wrapped in another element inside one): their content is kept, a cell's
// set off from the text around it by spaces.
void convert_table_part(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

// --- table structure ------------------------------------------------------

// What an element is to a table, by its lower-cased name.
enum class TablePart : std::uint8_t {
  None,  // not an element
  Other,
  Table,
  Tr,
  Row,  // "row"
  Td,
  Th,
  Cell,  // "cell"
  Thead,
  Tbody,
  Tfoot,
  Caption,
  Columns,  // col, colgroup
};

inline bool is_row_part(TablePart p) { return p == TablePart::Tr || p == TablePart::Row; }
inline bool is_cell_part(TablePart p) { return p == TablePart::Td || p == TablePart::Th || p == TablePart::Cell; }
inline bool is_section_part(TablePart p) {
  return p == TablePart::Thead || p == TablePart::Tbody || p == TablePart::Tfoot;
}

// The document and its caches, with the table questions asked of them.
class TableReader {
 public:
  TableReader(const TlDom& dom, const DomContext& dom_context) : dom_(&dom), dom_context_(&dom_context) {}

  const TlDom& dom() const { return *dom_; }
  const DomContext& dom_context() const { return *dom_context_; }

  TablePart part(NodeHandle node) const;
  // The children of an element (empty for any other node).
  std::span<const NodeHandle> children(NodeHandle node) const;
  // The node is a text node with something besides white space in it
  // (character references decoded).
  bool is_non_blank_text(NodeHandle node) const;
  // The element's tag id (Unknown for other names and other nodes).
  TagId tag(NodeHandle node) const;

 private:
  const TlDom* dom_;
  const DomContext* dom_context_;
};

// a + b, or the largest value when that does not fit.
inline std::size_t saturating_add(std::size_t a, std::size_t b) {
  return a > std::numeric_limits<std::size_t>::max() - b ? std::numeric_limits<std::size_t>::max() : a + b;
}

// Largest span a cell may claim, in columns and in rows; also the most
// columns a pipe table is given.
inline constexpr std::size_t kMaxTableSpan = 1000;

// The cell's colspan: 1 to 1000. The value must be an optional "+" and ASCII
// digits and nothing else; anything else, 0, and a missing value give 1;
// numbers above 1000 give 1000.
std::size_t parse_colspan(NodeHandle cell, const TlDom& dom);
// (colspan, rowspan), each read as parse_colspan reads colspan.
std::pair<std::size_t, std::size_t> parse_cell_spans(NodeHandle cell, const TlDom& dom);

// An element named tr (a "row" element does not count).
bool is_table_row(NodeHandle node, const TableReader& reader);

// One row of a table: a row element, or a run of cells that stand in the
// table or in one of its sections without a row around them (markup that
// leaves the row out still keeps its cells).
struct TableRow {
  NodeHandle node = 0;                  // the row element, or the run's first cell
  std::span<const NodeHandle> items;   // the row's children, or the run itself
  TablePart section = TablePart::None;  // Thead, Tbody, Tfoot, or None in the table itself
  bool implied = false;                 // a run of cells without a row element

  // Measured for column widths and recorded in the grid: every row but the
  // "row" elements of a section.
  bool is_measured(const TableReader& reader) const {
    return section == TablePart::None || implied || reader.part(node) == TablePart::Tr;
  }
};

// Replaces `cells` with the row's cells (td, th, cell) in order; nothing
// below the row's children is looked at.
void collect_row_cells(const TableRow& row, const TableReader& reader, std::vector<NodeHandle>& cells);

// Calls `on_row(const TableRow&)` for every row of the table in document
// order (its own rows and those of its thead, tbody and tfoot), and
// `on_other(NodeHandle node, TablePart part, TablePart section)` for every
// other child of the table or of a section that is an element or a text node
// with more than white space (captions, col and colgroup included; the
// caller decides what each writes).
template <typename OnRow, typename OnOther>
void for_each_table_row(NodeHandle table, const TableReader& reader, OnRow&& on_row, OnOther&& on_other);

// --- analysis ---------------------------------------------------------------

// What one look at a table's whole subtree (nested tables included) found.
struct TableScan {
  std::size_t row_count = 0;       // rows of every kind, rows without cells too
  std::size_t first_width = 0;     // the first row width that is not 0
  bool mixed_widths = false;       // two different row widths other than 0
  std::size_t nested_tables = 0;   // tables strictly inside
  std::size_t link_count = 0;      // a elements
  bool has_spans = false;          // a cell with a colspan or rowspan attribute
  bool has_header = false;         // th, or a cell whose role is exactly "head"
  bool has_caption = false;
  bool has_content = false;        // text that is not blank, or an img/graphic with src or alt

  void add_row_width(std::size_t width);
  // Takes in what a table nested inside found.
  void add_nested(const TableScan& inner);
};

// The scans of a table and of every table inside it, made in one pass, so
// nested tables are not scanned again when they are converted.
struct TableScanCache {
  std::unordered_map<NodeHandle, TableScan> by_table;
};

// Scans the table and everything below it with an explicit stack, and
// records the scan of each table met (the table itself included).
void scan_tables(NodeHandle table, const TableReader& reader, TableScanCache& scans);
// The scan of one table.
TableScan scan_table(NodeHandle table, const TableReader& reader);

enum class TableLayout : std::uint8_t { PipeTable, RowList, Omitted };

// `border_zero`: the table's own border attribute is exactly "0".
TableLayout choose_table_layout(const TableScan& scan, bool border_zero);

// The table's border attribute has the value "0" exactly.
bool has_zero_border(NodeHandle table, const TlDom& dom);

// --- implementation of the template -----------------------------------------

namespace table_detail {

// One past the last cell of the run of cells that starts with the cell
// items[start]: the run goes on over text and comments, up to the last cell
// before an element of another kind.
std::size_t cell_run_end(std::span<const NodeHandle> items, std::size_t start, const TableReader& reader);

// The children of `parent` (the table, or one of its sections when
// `section` is not None), each handed to on_row or on_other.
template <typename OnRow, typename OnOther>
void visit_table_children(NodeHandle parent, TablePart section, const TableReader& reader, OnRow& on_row,
                          OnOther& on_other) {
  const std::span<const NodeHandle> items = reader.children(parent);
  std::size_t i = 0;
  while (i < items.size()) {
    const NodeHandle child = items[i];
    const TablePart part = reader.part(child);
    if (is_cell_part(part)) {
      const std::size_t end = cell_run_end(items, i, reader);
      on_row(TableRow{child, items.subspan(i, end - i), section, true});
      i = end;
      continue;
    }
    if (is_row_part(part)) {
      on_row(TableRow{child, reader.children(child), section, false});
    } else if (section == TablePart::None && is_section_part(part)) {
      visit_table_children(child, part, reader, on_row, on_other);
    } else if (part != TablePart::None || reader.is_non_blank_text(child)) {
      on_other(child, part, section);
    }
    ++i;
  }
}

}  // namespace table_detail

template <typename OnRow, typename OnOther>
void for_each_table_row(NodeHandle table, const TableReader& reader, OnRow&& on_row, OnOther&& on_other) {
  table_detail::visit_table_children(table, TablePart::None, reader, on_row, on_other);
}

}  // namespace tidewell
