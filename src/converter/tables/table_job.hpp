// What the steps of one table's conversion share: the table, its scan, the
// contexts its cells are converted in, and the texts of converted cells.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "converter/tables/tables.hpp"

namespace tidewell {

// One converted cell. A cell is converted once: the pipe table's text and
// the grid's content both come from that one conversion.
struct ConvertedCell {
  std::optional<std::string> text;  // as the pipe table writes it
  std::optional<std::string> grid;  // as the grid records it (only for cells that were walked)
};
using CellTextCache = std::unordered_map<NodeHandle, ConvertedCell>;

struct TableJob {
  const Walk& w;
  NodeHandle table;
  const ConversionContext& context;  // the table's own
  std::size_t depth;
  TableReader reader;
  TableScan scan;
  // The scans of the tables inside, handed to the contexts of the content.
  TableScanCache* scans = nullptr;
  // The grid is recorded (a structure sink is present).
  bool record_grid = false;
  // Columns are not padded to a common width: under `compact_tables`, and
  // for a table inside a pipe table's cell, whose lines the cell joins into
  // one (padded, every level of such nesting would double the text).
  bool compact = false;

  const ConversionOptions& options() const { return w.options(); }
};

// The context of a cell's content: walked at depth 0 into a string of its
// own, with `in_table_cell` (or, for a row list, `inline_mode`) set.
ConversionContext cell_context(const TableJob& job, bool row_list);
// The context of what the table writes into its own text at depth + 1.
ConversionContext table_text_context(const TableJob& job);

// Converts every child of `node` at depth 0 with `context`, appending to
// `out`, whose content will stand at `place`.
void walk_children_at_zero(const TableJob& job, NodeHandle node, const ConversionContext& context, std::string& out,
                           BufferPlace place = BufferPlace::Elsewhere);

// A cell's text for the pipe table; for a cell with child elements `grid`
// (when given) receives the content that the grid records.
std::string render_cell_text(const TableJob& job, NodeHandle cell, std::optional<std::string>* grid);

// What the grid records of a cell's converted content: white space folded,
// trimmed, line breaks kept.
std::string grid_cell_content(std::string_view converted);

// The context a caption's content is converted in: on one line, as
// emphasized text (see append_caption_text).
ConversionContext caption_context(ConversionContext context);

// A caption's converted text (in caption_context) as "*text*\n\n", one
// line; the text alone, a block marker at its start escaped, where the
// markers would not pair around it; nothing when the text is empty.
void append_caption_text(std::string_view converted, std::string& out);

// Writes the table as a pipe table / as a list of rows into `table_text`.
// `cache` may be null (compact tables without a grid).
void write_pipe_table(const TableJob& job, std::string& table_text, CellTextCache* cache);
void write_row_list(const TableJob& job, std::string& table_text);

// Records the table's grid and trimmed text in the structure sink.
// `cells_written`: the cells were converted for the table text already
// (their grid contents are in `cache`, or they are converted again without
// the collectors).
void record_table_grid(const TableJob& job, std::string_view table_text, CellTextCache* cache, bool cells_written);

}  // namespace tidewell
