// Pipe tables: column count, column widths, rows and the separator.
//
// Every list indexed by column (widths, rowspan carries) is capped at the
// table's column count, and so is the run of " |" that spanning cells
// write, so a huge colspan on many cells costs no more than the cells do.
// Padding to the column widths is dropped when it would outweigh the
// cells' text by far (one huge cell above many rows).
#include <algorithm>
#include <limits>
#include <vector>

#include "common/utf8.hpp"
#include "converter/tables/table_job.hpp"

namespace tidewell {
namespace {

// Padding (and separator dashes) may add this many times the cells' text,
// and at least this many bytes, before a table is written unpadded.
constexpr std::size_t kPaddingFactor = 8;
constexpr std::size_t kPaddingAllowance = std::size_t{1} << 20;

struct Carry {
  bool active = false;
  std::size_t rows_remaining = 0;
};

std::size_t row_width(const std::vector<NodeHandle>& cells, const TlDom& dom) {
  std::size_t width = 0;
  for (const NodeHandle cell : cells) width = saturating_add(width, parse_colspan(cell, dom));
  return width;
}

// Moves `column` past the carried cells from the rows above that cover it
// and the columns after it, calling on_filler(column) for each.
template <typename OnFiller>
void skip_carried(std::vector<Carry>& carry, std::size_t& column, OnFiller&& on_filler) {
  while (column < carry.size() && carry[column].active && carry[column].rows_remaining > 0) {
    on_filler(column);
    if (--carry[column].rows_remaining == 0) carry[column].active = false;
    ++column;
  }
}

class PipeTableWriter {
 public:
  PipeTableWriter(const TableJob& job, std::string& out, CellTextCache* cache)
      : job_(job), out_(out), cache_(cache), dom_(job.w.dom()) {}

  void write() {
    column_count_ = count_columns();
    if (!job_.compact) measure();
    carry_.assign(column_count_, Carry{});
    const ConversionContext text_context = table_text_context(job_);
    // The table's text starts a line.
    const Walk text_walk = job_.w.into(out_, BufferPlace::LineStart);
    const auto on_row = [&](const TableRow& row) { write_row(row); };
    const auto on_other = [&](NodeHandle node, TablePart part, TablePart section) {
      if (part == TablePart::Columns) return;
      if (part == TablePart::Caption && section == TablePart::None) {
        std::string converted;
        ConversionContext caption = caption_context(text_context);
        caption.nesting_offset = job_.context.nesting_offset + job_.depth + 2;
        walk_children_at_zero(job_, node, caption, converted);
        append_caption_text(converted, out_);
        return;
      }
      text_walk.node(node, text_context, job_.depth + 1);
    };
    for_each_table_row(job_.table, job_.reader, on_row, on_other);
  }

 private:
  // The widest measured row, from 1 to kMaxTableSpan.
  std::size_t count_columns() {
    std::size_t widest = 0;
    for_each_table_row(
        job_.table, job_.reader,
        [&](const TableRow& row) {
          if (!row.is_measured(job_.reader)) return;
          collect_row_cells(row, job_.reader, cells_);
          widest = std::max(widest, row_width(cells_, dom_));
        },
        [](NodeHandle, TablePart, TablePart) {});
    return std::clamp<std::size_t>(widest, 1, kMaxTableSpan);
  }

  void measure() {
    std::vector<Carry> carry(column_count_);
    for_each_table_row(
        job_.table, job_.reader,
        [&](const TableRow& row) {
          if (row.is_measured(job_.reader)) measure_row(row, carry);
        },
        [](NodeHandle, TablePart, TablePart) {});
    std::size_t padding = 0;
    for (const std::size_t width : widths_) padding = saturating_add(padding, width);
    for (const MeasuredCell& cell : measured_) padding = saturating_add(padding, widths_[cell.column] - cell.chars);
    const std::size_t most = std::numeric_limits<std::size_t>::max();
    const std::size_t scaled = text_bytes_ > most / kPaddingFactor ? most : text_bytes_ * kPaddingFactor;
    if (padding > saturating_add(kPaddingAllowance, scaled)) widths_.clear();
    measured_ = {};
  }

  void measure_row(const TableRow& row, std::vector<Carry>& carry) {
    collect_row_cells(row, job_.reader, cells_);
    std::size_t column = 0;
    for (const NodeHandle cell : cells_) {
      skip_carried(carry, column, [](std::size_t) {});
      const std::string& text = cell_text(cell);
      const std::size_t chars = utf8_char_count(text);
      text_bytes_ = saturating_add(text_bytes_, text.size());
      if (column < column_count_) {
        if (widths_.size() <= column) widths_.resize(column + 1, 0);
        widths_[column] = std::max(widths_[column], chars);
        measured_.push_back({column, chars});
      }
      const auto [colspan, rowspan] = parse_cell_spans(cell, dom_);
      if (rowspan >= 2 && column < carry.size()) carry[column] = Carry{true, rowspan - 1};
      column = saturating_add(column, colspan);
    }
    skip_carried(carry, column, [](std::size_t) {});
  }

  void write_row(const TableRow& row) {
    collect_row_cells(row, job_.reader, cells_);
    if (row_index_ == 0) separator_columns_ = std::clamp<std::size_t>(row_width(cells_, dom_), 1, kMaxTableSpan);
    // One line buffer for all rows: a row costs no allocation of its own.
    std::string& line = line_;
    line.clear();
    std::size_t column = 0;
    if (job_.scan.has_spans) {
      const auto filler = [&](std::size_t col) {
        line += ' ';
        if (col < widths_.size()) append_spaces(line, widths_[col]);
        line += " |";
      };
      for (const NodeHandle cell : cells_) {
        skip_carried(carry_, column, filler);
        const auto [colspan, rowspan] = parse_cell_spans(cell, dom_);
        write_cell(cell, line, width_of(column), column, colspan);
        if (column < column_count_ && rowspan >= 2) carry_[column] = Carry{true, rowspan - 1};
        column = saturating_add(column, colspan);
      }
      skip_carried(carry_, column, filler);
    } else {
      for (std::size_t i = 0; i < cells_.size(); ++i) {
        const std::size_t colspan = parse_colspan(cells_[i], dom_);
        write_cell(cells_[i], line, width_of(i), column, colspan);
        column = saturating_add(column, colspan);
      }
    }
    // Inline content written before the row stands apart from it, like a
    // block.
    if (!end_of(out_).is_line_start()) ensure_blank_line(out_);
    out_ += '|';
    out_ += line;
    out_ += '\n';
    if (row_index_ == 0) write_separator();
    ++row_index_;
  }

  std::optional<std::size_t> width_of(std::size_t column) const {
    if (column < widths_.size()) return widths_[column];
    return std::nullopt;
  }

  // " text", padding to the width, and " |" once per spanned column, but
  // never past the table's last column (at least once).
  void write_cell(NodeHandle cell, std::string& line, std::optional<std::size_t> width, std::size_t column,
                  std::size_t colspan) {
    const std::string& text = cell_text(cell);
    line += ' ';
    line += text;
    if (width) {
      const std::size_t chars = utf8_char_count(text);
      if (chars < *width) append_spaces(line, *width - chars);
    }
    const std::size_t room = column < column_count_ ? column_count_ - column : 0;
    const std::size_t bars = std::max<std::size_t>(1, std::min(colspan, room));
    for (std::size_t i = 0; i < bars; ++i) line += " |";
  }

  // "| --- | --- |"; in djot "|-----|-----|", dashes in the padding too: a
  // djot reader takes the line as the separator only when the dashes of its
  // first cell follow the bar.
  void write_separator() {
    const bool djot = job_.options().output_format == OutputFormat::Djot;
    out_ += djot ? "|-" : "| ";
    for (std::size_t j = 0; j < separator_columns_; ++j) {
      if (j > 0) out_ += djot ? "-|-" : " | ";
      const std::size_t width = j < widths_.size() ? widths_[j] : 0;
      out_.append(width < 4 ? 3 : width, '-');
    }
    out_ += djot ? "-|\n" : " |\n";
  }

  // The cell's text: converted once, then read from the cache.
  const std::string& cell_text(NodeHandle cell) {
    if (cache_ == nullptr) {
      scratch_ = render_cell_text(job_, cell, nullptr);
      return scratch_;
    }
    ConvertedCell& entry = (*cache_)[cell];
    if (!entry.text) entry.text = render_cell_text(job_, cell, job_.record_grid ? &entry.grid : nullptr);
    return *entry.text;
  }

  const TableJob& job_;
  std::string& out_;
  CellTextCache* cache_;
  const TlDom& dom_;
  std::size_t column_count_ = 1;
  std::size_t separator_columns_ = 1;
  std::size_t row_index_ = 0;
  struct MeasuredCell {
    std::size_t column;
    std::size_t chars;
  };

  std::vector<std::size_t> widths_;
  std::vector<MeasuredCell> measured_;
  std::size_t text_bytes_ = 0;
  std::vector<Carry> carry_;
  std::vector<NodeHandle> cells_;
  std::string line_;
  std::string scratch_;
};

}  // namespace

void write_pipe_table(const TableJob& job, std::string& table_text, CellTextCache* cache) {
  PipeTableWriter(job, table_text, cache).write();
}

}  // namespace tidewell
