// Tables written as a list: one "- " line per row, the cells' texts joined
// by spaces.
#include <vector>

#include "common/unicode_space.hpp"
#include "converter/tables/table_job.hpp"
#include "converter/text/processing.hpp"

namespace tidewell {
namespace {

// Buffers kept across the rows of one table.
struct RowScratch {
  std::vector<NodeHandle> cells;
  std::string line;
  std::string converted;
};

void write_row_as_list_item(const TableJob& job, const TableRow& row, const ConversionContext& context,
                            RowScratch& scratch, std::string& table_text) {
  std::vector<NodeHandle>& cells = scratch.cells;
  std::string& line = scratch.line;
  std::string& converted = scratch.converted;
  collect_row_cells(row, job.reader, cells);
  line.clear();
  for (const NodeHandle cell : cells) {
    converted.clear();
    // The row's first text follows the item's marker.
    const BufferPlace place = line.empty() ? BufferPlace::LineStart : BufferPlace::Elsewhere;
    walk_children_at_zero(job, cell, context, converted, place);
    const std::optional<std::string> collapsed = collapse_whitespace(converted);
    const std::string_view text = trim_unicode_space(collapsed ? std::string_view(*collapsed) : converted);
    if (text.empty()) continue;
    if (!line.empty()) line += ' ';
    line += text;
  }
  std::string_view item = trim_unicode_space(line);
  if (item.empty()) return;
  if (!table_text.empty() && !end_of(table_text).is_line_break()) table_text += '\n';
  // A row that reads like a list item already gets no second marker.
  if (item.size() > 1 && item.starts_with("- ")) item = trim_unicode_space(item.substr(2));
  table_text += "- ";
  table_text += item;
  table_text += '\n';
}

}  // namespace

void write_row_list(const TableJob& job, std::string& table_text) {
  RowScratch scratch;
  const ConversionContext cells_context = cell_context(job, true);
  const ConversionContext text_context = table_text_context(job);
  const Walk text_walk = job.w.into(table_text, BufferPlace::LineStart);
  for_each_table_row(
      job.table, job.reader,
      [&](const TableRow& row) { write_row_as_list_item(job, row, cells_context, scratch, table_text); },
      [&](NodeHandle node, TablePart part, TablePart) {
        if (part != TablePart::Columns) text_walk.node(node, text_context, job.depth + 1);
      });
  if (!end_of(table_text).is_line_break()) table_text += '\n';
}

}  // namespace tidewell
