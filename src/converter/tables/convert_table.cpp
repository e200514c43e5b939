// The table handlers: layout, table text, grid, framing; captions and table
// parts that no table writes.

#include "common/unicode_space.hpp"
#include "converter/inline/inline_text.hpp"
#include "converter/tables/table_job.hpp"

namespace tidewell {
namespace {

// Frames the table text into the output: a blank line before it (in a list
// item only a line start, and its lines indented to the item's content), a
// line break after, and a blank line after a table that wrote rows outside
// a table cell (a line right after its rows would be read as one more row).
void frame_table(std::string& output, std::string_view text, const ConversionContext& context) {
  if (context.in_list_item) {
    if (!text.starts_with('*')) {
      trim_trailing_spaces_tabs(output);
      ensure_line_break(output);
    }
    std::size_t pos = 0;
    while (pos < text.size()) {
      const std::size_t nl = text.find('\n', pos);
      const std::size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
      if (text[pos] != '\n' && end_of(output).is_line_break()) append_spaces(output, context.item_indent);
      output += text.substr(pos, end - pos);
      pos = end;
    }
  } else {
    ensure_blank_line(output);
    output += text;
  }
  // Even an empty output ends with a line break after a table.
  if (!end_of(output).is_line_break()) output += '\n';
  if (!text.empty() && !context.in_table_cell) ensure_blank_line(output);
}

// What rows hold outside their cells (text, or elements that are neither
// cells nor rows): a browser shows it before the table, and so is it
// written here, so that no table layout loses it.
std::string convert_row_strays(const TableJob& job) {
  std::string strays;
  const Walk walk = job.w.into(strays, BufferPlace::LineStart);
  const ConversionContext context = table_text_context(job);
  for_each_table_row(
      job.table, job.reader,
      [&](const TableRow& row) {
        if (row.implied) return;
        for (const NodeHandle item : row.items) {
          const TablePart part = job.reader.part(item);
          const bool stray = part == TablePart::Other || part == TablePart::Table ||
                             (part == TablePart::None && job.reader.is_non_blank_text(item));
          if (stray) walk.node(item, context, job.depth + 2);
        }
      },
      [](NodeHandle, TablePart, TablePart) {});
  return strays;
}

}  // namespace

void convert_table(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  if (w.dom().tag(node) == nullptr) return;
  TableJob job{w, node, context, depth, TableReader(w.dom(), w.dom_context()), {}, nullptr, false, false};
  job.record_grid = context.structure_sink != nullptr;
  job.compact = w.options().compact_tables || context.in_table_cell;
  // An outer table has scanned this one already; an outermost table scans
  // itself and every table inside it.
  TableScanCache own_scans;
  job.scans = context.table_scans != nullptr ? context.table_scans : &own_scans;
  auto found = job.scans->by_table.find(node);
  if (found == job.scans->by_table.end()) {
    scan_tables(node, job.reader, *job.scans);
    found = job.scans->by_table.find(node);
  }
  job.scan = found->second;
  const TableLayout layout = choose_table_layout(job.scan, has_zero_border(node, w.dom()));

  std::string table_text;
  CellTextCache cache;
  CellTextCache* cells = nullptr;
  switch (layout) {
    case TableLayout::PipeTable:
      if (!job.compact || job.record_grid) cells = &cache;
      write_pipe_table(job, table_text, cells);
      break;
    case TableLayout::RowList:
      write_row_list(job, table_text);
      break;
    case TableLayout::Omitted:
      break;
  }
  if (job.record_grid) record_table_grid(job, table_text, cells, layout != TableLayout::Omitted);
  // In a pipe table's cell the table's lines are joined into the cell's
  // text: its own pipes are text there, or they would end the cell.
  if (context.in_table_cell) escape_cell_pipes(table_text);
  const std::string strays = convert_row_strays(job);
  if (const std::string_view kept = trim_unicode_space(strays); !kept.empty()) {
    std::string& out = w.out();
    if (context.in_list_item) {
      // In a list item it stands at the item's content column (the walk
      // indented its further lines already).
      trim_trailing_spaces_tabs(out);
      ensure_line_break(out);
      append_spaces(out, context.item_indent);
      out += kept;
    } else {
      ensure_blank_line(out);
      out += kept;
    }
  }
  frame_table(w.out(), table_text, context);
}

void convert_caption(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  std::string converted;
  w.into(converted).children(node, caption_context(context), depth);
  append_caption_text(converted, w.out());
}

void convert_table_part(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  const TagId id = w.tag(node).id;
  if (id != TagId::Td && id != TagId::Th) {
    convert_unknown_element(w, node, context, depth);
    return;
  }
  w.write_as_words([&] { convert_unknown_element(w, node, context, depth); });
}

}  // namespace tidewell
