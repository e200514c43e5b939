// The grid of a table for the result's "tables" list: one record per cell
// with its row, column, spans and header flag.
#include <algorithm>
#include <limits>
#include <vector>

#include "common/unicode_space.hpp"
#include "converter/metadata/structure_sink.hpp"
#include "converter/tables/table_job.hpp"

namespace tidewell {
namespace {

std::uint32_t to_u32(std::size_t n) {
  return n > std::numeric_limits<std::uint32_t>::max() ? std::numeric_limits<std::uint32_t>::max()
                                                       : static_cast<std::uint32_t>(n);
}

class GridBuilder {
 public:
  GridBuilder(const TableJob& job, CellTextCache* cache, bool cells_written) : job_(job), cache_(cache) {
    // Content the table text has converted already is converted again
    // only for its text: its links, images and tables were recorded then.
    context_ = cell_context(job, false);
    if (cells_written) context_ = detached_context(context_);
  }

  void add_row(const TableRow& row) {
    if (!row.is_measured(job_.reader)) return;
    // A row of the table itself is a header row when it comes first; the
    // rows of a thead always are. Cells without a row element stand in an
    // implied body.
    const bool header = row.section == TablePart::Thead ||
                        (row.section == TablePart::None && !row.implied && grid_.rows == 0);
    collect_row_cells(row, job_.reader, cells_);
    const std::uint32_t r = grid_.rows;
    std::size_t column = 0;
    for (const NodeHandle cell : cells_) {
      const auto [colspan, rowspan] = parse_cell_spans(cell, job_.w.dom());
      TableCell record;
      record.content = content(cell);
      record.row = r;
      record.col = to_u32(column);
      record.row_span = to_u32(rowspan);
      record.col_span = to_u32(colspan);
      record.is_header = header || job_.reader.part(cell) == TablePart::Th;
      grid_.cells.push_back(std::move(record));
      column = saturating_add(column, colspan);
    }
    grid_.cols = std::max(grid_.cols, to_u32(column));
    grid_.rows = to_u32(saturating_add(r, 1));
  }

  TableGrid take() { return std::move(grid_); }
  bool empty() const { return grid_.rows == 0; }

 private:
  std::string content(NodeHandle cell) {
    if (cache_ != nullptr) {
      const auto found = cache_->find(cell);
      if (found != cache_->end() && found->second.grid) return std::move(*found->second.grid);
    }
    std::string converted;
    walk_children_at_zero(job_, cell, context_, converted);
    return grid_cell_content(converted);
  }

  const TableJob& job_;
  CellTextCache* cache_;
  ConversionContext context_;
  TableGrid grid_;
  std::vector<NodeHandle> cells_;
};

}  // namespace

void record_table_grid(const TableJob& job, std::string_view table_text, CellTextCache* cache, bool cells_written) {
  StructureSink* sink = job.context.structure_sink;
  if (sink == nullptr) return;
  GridBuilder builder(job, cache, cells_written);
  for_each_table_row(
      job.table, job.reader, [&](const TableRow& row) { builder.add_row(row); },
      [](NodeHandle, TablePart, TablePart) {});
  if (builder.empty()) return;
  doc_struct_add_table(*sink, builder.take(), std::string(trim_unicode_space(table_text)));
}

}  // namespace tidewell
