// Tables on the tier-1 road: cells are collected while the table is read
// and written as a pipe table at its end tag, or the scanner gives up.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "common/unicode_space.hpp"
#include "common/utf8.hpp"
#include "converter/tier1/attributes.hpp"
#include "converter/tier1/scanner_internal.hpp"

namespace tidewell::tier1 {
namespace {

// rowspan and colspan: absent, valueless, empty, a lone sign or anything but
// an optional '+' and digits read as 1; otherwise the number (0 included).
std::uint32_t span_attribute_value(const std::optional<Tier1Attribute>& attribute) {
  if (!attribute || !attribute->value) return 1;
  std::string_view v = trim_unicode_space(*attribute->value);
  if (!v.empty() && v.front() == '+') v.remove_prefix(1);
  if (v.empty()) return 1;
  std::uint64_t n = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return 1;
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
    if (n > std::numeric_limits<std::uint32_t>::max()) return 1;
  }
  return static_cast<std::uint32_t>(n);
}


}  // namespace

bool Scanner::open_table_part(const Tier1Tag& tag, std::string_view attributes) {
  const std::string_view name = tag_info(tag.id).name;
  switch (tag.kind) {
    case Tier1Kind::Table:
      table_.reset();
      table_.open = true;
      return true;
    case Tier1Kind::TableHead:
      if (table_.open && (table_.tbody_closed || table_.tfoot_seen)) {
        return fail(Tier1Reason::TableSectionOrder, name);
      }
      return true;
    case Tier1Kind::TableBody:
      if (table_.open && table_.tfoot_seen) return fail(Tier1Reason::TableSectionOrder, name);
      return true;
    case Tier1Kind::TableFoot:
      if (table_.open) table_.tfoot_seen = true;
      return true;
    case Tier1Kind::TableRow:
      if (table_.open && !drop_cells_outside_rows()) return fail(Tier1Reason::DroppedContent, name);
      return true;
    case Tier1Kind::Cell:
    {
      const auto [rowspan, colspan] = find_tier1_attributes<2>(attributes, {"rowspan", "colspan"});
      if (span_attribute_value(rowspan) != 1 || span_attribute_value(colspan) != 1) {
        return fail(Tier1Reason::CellSpan, name);
      }
    }
      if (table_.open) {
        table_.cell_text.clear();
        table_.in_cell = true;
        if (tag.param == 1) table_.has_header_cell = true;
      }
      return true;
    default:
      return true;
  }
}

bool Scanner::close_table_part(const Frame& frame) {
  if (!table_.open) return true;
  switch (frame.kind()) {
    case Tier1Kind::Table:
      return close_table();
    case Tier1Kind::TableBody:
      table_.tbody_closed = true;
      return true;
    case Tier1Kind::TableRow:
      close_row();
      return true;
    case Tier1Kind::Cell:
      return close_cell();
    default:
      return true;
  }
}

// Cells collected outside every row are never written: false when one of
// them holds text that would be lost.
bool Scanner::drop_cells_outside_rows() {
  for (std::size_t c = table_.row_first; c < table_.cell_spans.size(); ++c) {
    if (!is_unicode_space_only(table_.cell(c))) return false;
  }
  table_.cell_spans.resize(table_.row_first);
  return true;
}

bool Scanner::close_cell() {
  table_.in_cell = false;
  const std::string_view text = trim_unicode_space(table_.cell_text);
  if (text.find('\n') != std::string_view::npos || text.find('|') != std::string_view::npos) {
    return fail(Tier1Reason::BlockInCell, "td");
  }
  table_.cell_spans.emplace_back(table_.cells.size(), text.size());
  table_.cells += text;
  table_.cell_text.clear();
  return true;
}

void Scanner::close_row() {
  if (table_.cell_spans.size() == table_.row_first) return;
  table_.row_ends.push_back(table_.cell_spans.size());
  table_.row_first = table_.cell_spans.size();
}

bool Scanner::close_table() {
  Table& t = table_;
  if (!drop_cells_outside_rows()) return fail(Tier1Reason::DroppedContent, "table");
  const std::size_t rows = t.row_ends.size();
  auto row_begin = [&](std::size_t r) { return r == 0 ? std::size_t{0} : t.row_ends[r - 1]; };
  if (!t.has_header_cell) {
    // A data table only: rows of one length, some text, and not a grid of
    // links (a layout or navigation table).
    bool written = rows > 0;
    const std::size_t columns = rows > 0 ? t.row_ends[0] : 0;
    bool any_text = false;
    for (std::size_t r = 0; written && r < rows; ++r) {
      if (t.row_ends[r] - row_begin(r) != columns) written = false;
    }
    for (std::size_t c = 0; c < t.cell_spans.size(); ++c) any_text |= !is_unicode_space_only(t.cell(c));
    if (!written || !any_text || (rows < 3 && t.link_count > 2)) return fail(Tier1Reason::Unsupported, "table");
  }
  t.open = false;
  if (rows == 0) return true;

  std::size_t columns = 0;
  for (std::size_t r = 0; r < rows; ++r) columns = std::max(columns, t.row_ends[r] - row_begin(r));
  std::vector<std::size_t> widths(columns, 0);
  for (std::size_t r = 0; r < rows; ++r) {
    for (std::size_t c = row_begin(r); c < t.row_ends[r]; ++c) {
      std::size_t& width = widths[c - row_begin(r)];
      width = std::max(width, utf8_char_count(t.cell(c)));
    }
  }
  ensure_blank_line(main_);
  for (std::size_t r = 0; r < rows; ++r) {
    main_ += '|';
    const std::size_t count = t.row_ends[r] - row_begin(r);
    // The header row has a cell for every column, or the delimiter row
    // below would not match it and no table would be read.
    const std::size_t cells = r == 0 ? columns : count;
    for (std::size_t k = 0; k < cells; ++k) {
      const std::string_view text = k < count ? t.cell(row_begin(r) + k) : std::string_view();
      main_ += ' ';
      main_ += text;
      main_.append(widths[k] - utf8_char_count(text), ' ');
      main_ += " |";
    }
    main_ += '\n';
    if (r == 0) {
      main_ += "| ";
      for (std::size_t k = 0; k < columns; ++k) {
        if (k > 0) main_ += " | ";
        main_.append(std::max<std::size_t>(widths[k], 3), '-');
      }
      main_ += " |\n";
    }
  }
  // Text after the table must not be read as another row.
  main_ += '\n';
  return true;
}

}  // namespace tidewell::tier1
