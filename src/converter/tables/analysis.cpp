// What a table is made of (rows, cells, spans) and the one look at its
// subtree that chooses its layout.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "common/entities.hpp"
#include "common/unicode_space.hpp"
#include "converter/tables/tables.hpp"

namespace tidewell {
namespace {

TablePart part_by_name(TagId id, std::string_view name) {
  switch (id) {
    case TagId::Table: return TablePart::Table;
    case TagId::Tr: return TablePart::Tr;
    case TagId::Td: return TablePart::Td;
    case TagId::Th: return TablePart::Th;
    case TagId::Thead: return TablePart::Thead;
    case TagId::Tbody: return TablePart::Tbody;
    case TagId::Tfoot: return TablePart::Tfoot;
    case TagId::Caption: return TablePart::Caption;
    case TagId::Col: return TablePart::Columns;
    case TagId::Unknown:
      if (name == "row") return TablePart::Row;
      if (name == "cell") return TablePart::Cell;
      if (name == "colgroup") return TablePart::Columns;
      return TablePart::Other;
    default: return TablePart::Other;
  }
}

// A span attribute's value: an optional "+" and one or more ASCII digits
// that fit in 64 bits; 0 and anything else give 1, and the result is at
// most kMaxTableSpan.
std::size_t read_span(const TlDom& dom, const TlNode::Tag& tag, std::string_view attribute) {
  const std::optional<std::string_view> value = attribute_map_get(dom, tag, attribute).value_bytes(dom);
  if (!value) return 1;
  std::string_view digits = *value;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty()) return 1;
  std::uint64_t n = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return 1;
    const auto d = static_cast<std::uint64_t>(c - '0');
    if (n > (std::numeric_limits<std::uint64_t>::max() - d) / 10) return 1;
    n = n * 10 + d;
  }
  if (n == 0) return 1;
  return n > kMaxTableSpan ? kMaxTableSpan : static_cast<std::size_t>(n);
}

bool has_span_attribute(const TlDom& dom, const TlNode::Tag& tag) {
  return attribute_map_get(dom, tag, "colspan").found() || attribute_map_get(dom, tag, "rowspan").found();
}

bool attribute_is(const TlDom& dom, const TlNode::Tag& tag, std::string_view name, std::string_view expected) {
  const std::optional<std::string_view> value = attribute_map_get(dom, tag, name).value_bytes(dom);
  // The expected values are ASCII, so invalid UTF-8 never equals them.
  return value && *value == expected;
}

// Width of a row (the sum of its cells' colspans, saturating) and whether a
// cell of it carries a span attribute.
struct RowMeasure {
  std::size_t width = 0;
  bool has_spans = false;
};

RowMeasure measure_cells(std::span<const NodeHandle> items, const TableReader& reader) {
  RowMeasure m;
  for (const NodeHandle item : items) {
    if (!is_cell_part(reader.part(item))) continue;
    const TlNode::Tag& tag = *reader.dom().tag(item);
    m.width = saturating_add(m.width, parse_colspan(item, reader.dom()));
    if (has_span_attribute(reader.dom(), tag)) m.has_spans = true;
  }
  return m;
}

}  // namespace

// --- TableReader --------------------------------------------------------------

TablePart TableReader::part(NodeHandle node) const {
  if (const CachedTagInfo* info = dom_cache_tag_info(*dom_context_, node, *dom_)) {
    return part_by_name(info->id, info->name.view());
  }
  if (dom_->tag(node) == nullptr) return TablePart::None;
  const std::optional<CowText> lowered = dom_tag_name_lower(*dom_context_, node, *dom_);
  if (!lowered) return TablePart::None;
  return part_by_name(tag_id(lowered->view()), lowered->view());
}

std::span<const NodeHandle> TableReader::children(NodeHandle node) const {
  const TlNode::Tag* tag = dom_->tag(node);
  return tag != nullptr ? tag->children.as_span() : std::span<const NodeHandle>();
}

bool TableReader::is_non_blank_text(NodeHandle node) const {
  const TlNode* n = dom_->node(node);
  const TlNode::Raw* raw = n != nullptr ? n->as_raw() : nullptr;
  if (raw == nullptr) return false;
  std::string holder;
  return !trim_unicode_space(text_node_content(dom_->bytes(raw->text), holder)).empty();
}

TagId TableReader::tag(NodeHandle node) const {
  if (const CachedTagInfo* info = dom_cache_tag_info(*dom_context_, node, *dom_)) return info->id;
  const std::optional<CowText> lowered = dom_tag_name_lower(*dom_context_, node, *dom_);
  return lowered ? tag_id(lowered->view()) : TagId::Unknown;
}

// --- spans, rows and cells ------------------------------------------------------

std::size_t parse_colspan(NodeHandle cell, const TlDom& dom) {
  const TlNode::Tag* tag = dom.tag(cell);
  return tag != nullptr ? read_span(dom, *tag, "colspan") : 1;
}

std::pair<std::size_t, std::size_t> parse_cell_spans(NodeHandle cell, const TlDom& dom) {
  const TlNode::Tag* tag = dom.tag(cell);
  if (tag == nullptr) return {1, 1};
  return {read_span(dom, *tag, "colspan"), read_span(dom, *tag, "rowspan")};
}

bool is_table_row(NodeHandle node, const TableReader& reader) { return reader.part(node) == TablePart::Tr; }

void collect_row_cells(const TableRow& row, const TableReader& reader, std::vector<NodeHandle>& cells) {
  cells.clear();
  for (const NodeHandle item : row.items) {
    if (is_cell_part(reader.part(item))) cells.push_back(item);
  }
}

std::size_t table_detail::cell_run_end(std::span<const NodeHandle> items, std::size_t start,
                                       const TableReader& reader) {
  std::size_t end = start + 1;
  for (std::size_t j = start + 1; j < items.size(); ++j) {
    const TablePart part = reader.part(items[j]);
    if (is_cell_part(part)) {
      end = j + 1;
    } else if (part != TablePart::None) {
      break;
    }
  }
  return end;
}

bool has_zero_border(NodeHandle table, const TlDom& dom) {
  const TlNode::Tag* tag = dom.tag(table);
  return tag != nullptr && attribute_is(dom, *tag, "border", "0");
}

// --- the scan ---------------------------------------------------------------

void TableScan::add_row_width(std::size_t width) {
  ++row_count;
  if (width == 0) return;
  if (first_width == 0) {
    first_width = width;
  } else if (width != first_width) {
    mixed_widths = true;
  }
}

void TableScan::add_nested(const TableScan& inner) {
  row_count = saturating_add(row_count, inner.row_count);
  if (inner.first_width != 0) {
    if (first_width == 0) {
      first_width = inner.first_width;
    } else if (inner.first_width != first_width) {
      mixed_widths = true;
    }
  }
  mixed_widths = mixed_widths || inner.mixed_widths;
  nested_tables = saturating_add(nested_tables, saturating_add(inner.nested_tables, 1));
  link_count = saturating_add(link_count, inner.link_count);
  has_spans = has_spans || inner.has_spans;
  has_header = has_header || inner.has_header;
  has_caption = has_caption || inner.has_caption;
  has_content = has_content || inner.has_content;
}

void scan_tables(NodeHandle table, const TableReader& reader, TableScanCache& scans) {
  const TlDom& dom = reader.dom();
  if (dom.tag(table) == nullptr) return;
  // The tables entered and not left yet, innermost last: what a node shows
  // goes to the innermost one, which hands it all to the one around it
  // when it is left.
  struct OpenTable {
    NodeHandle node;
    TableScan scan;
  };
  std::vector<OpenTable> open;
  struct Step {
    NodeHandle node;
    bool leave;  // the end of a table's subtree
  };
  std::vector<Step> stack;
  stack.push_back({table, false});
  while (!stack.empty()) {
    const Step step = stack.back();
    stack.pop_back();
    if (step.leave) {
      OpenTable done = std::move(open.back());
      open.pop_back();
      if (!open.empty()) open.back().scan.add_nested(done.scan);
      scans.by_table.insert_or_assign(done.node, done.scan);
      continue;
    }
    const NodeHandle node = step.node;
    const TablePart part = reader.part(node);
    if (part == TablePart::None) {
      TableScan& scan = open.back().scan;
      if (!scan.has_content && reader.is_non_blank_text(node)) scan.has_content = true;
      continue;
    }
    if (part == TablePart::Table) {
      open.push_back({node, TableScan{}});
      stack.push_back({node, true});
    }
    TableScan& scan = open.back().scan;
    const TlNode::Tag& tag = *dom.tag(node);
    switch (part) {
      case TablePart::Th:
        scan.has_header = true;
        break;
      case TablePart::Cell:
        if (attribute_is(dom, tag, "role", "head")) scan.has_header = true;
        break;
      case TablePart::Caption:
        scan.has_caption = true;
        break;
      case TablePart::Other: {
        const TagId id = reader.tag(node);
        if (id == TagId::A) {
          ++scan.link_count;
        } else if ((id == TagId::Img || id == TagId::Graphic) &&
                   (attribute_map_get(dom, tag, "src").found() || attribute_map_get(dom, tag, "alt").found())) {
          scan.has_content = true;
        }
        break;
      }
      default:
        break;
    }
    const std::span<const NodeHandle> children = tag.children.as_span();
    if (is_row_part(part)) {
      const RowMeasure m = measure_cells(children, reader);
      scan.add_row_width(m.width);
      if (m.has_spans) scan.has_spans = true;
    } else if (part == TablePart::Table || is_section_part(part)) {
      // Cells standing here without a row make rows of their own.
      for (std::size_t i = 0; i < children.size(); ++i) {
        if (!is_cell_part(reader.part(children[i]))) continue;
        const std::size_t end = table_detail::cell_run_end(children, i, reader);
        const RowMeasure m = measure_cells(children.subspan(i, end - i), reader);
        scan.add_row_width(m.width);
        if (m.has_spans) scan.has_spans = true;
        i = end - 1;
      }
    }
    // Order does not matter to anything the scan finds; only the end of a
    // table must come after everything inside it.
    for (const NodeHandle child : children) stack.push_back({child, false});
  }
}

TableScan scan_table(NodeHandle table, const TableReader& reader) {
  TableScanCache scans;
  scan_tables(table, reader, scans);
  const auto found = scans.by_table.find(table);
  return found != scans.by_table.end() ? found->second : TableScan{};
}

TableLayout choose_table_layout(const TableScan& scan, bool border_zero) {
  if (scan.has_header || scan.has_caption) return TableLayout::PipeTable;
  const bool has_links = scan.link_count >= 1;
  const bool irregular = scan.nested_tables >= 2 || scan.mixed_widths || (scan.has_spans && border_zero);
  if (irregular) return scan.has_content || has_links ? TableLayout::RowList : TableLayout::Omitted;
  if (!scan.has_content) return has_links ? TableLayout::RowList : TableLayout::Omitted;
  if (scan.row_count < 3 && scan.link_count >= 3) return TableLayout::RowList;
  return TableLayout::PipeTable;
}

}  // namespace tidewell
