#include "converter/plain/renderer.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/ascii.hpp"
#include "common/entities.hpp"
#include "common/tags.hpp"
#include "common/unicode_space.hpp"
#include "converter/plain/plain_kind.hpp"
#include "converter/text/processing.hpp"
#include "converter/walk/policy.hpp"

namespace tidewell {
namespace {

using Kind = PlainKind;

// The white space of HTML source: a browser shows none of it at the start
// of a block or of a line.
constexpr std::string_view kSourceSpace = " \t\n\f\r";

// `text` without the spaces and tabs after each of its line feeds, nor
// those at its start when it follows one (`after_line_feed`), written to
// `out`; false, with `out` untouched, when there are none.
bool drop_source_indentation(std::string_view text, bool after_line_feed, std::string& out) {
  const auto indents_at = [&](std::size_t i) { return i < text.size() && (text[i] == ' ' || text[i] == '\t'); };
  std::size_t feed = text.find('\n');
  const bool leading = after_line_feed && indents_at(0);
  while (!leading && feed != std::string_view::npos && !indents_at(feed + 1)) feed = text.find('\n', feed + 1);
  if (!leading && feed == std::string_view::npos) return false;
  out.clear();
  out.reserve(text.size());
  bool at_line_start = after_line_feed;
  for (char c : text) {
    if (at_line_start && (c == ' ' || c == '\t')) continue;
    at_line_start = c == '\n';
    out.push_back(c);
  }
  return true;
}

void ensure_newline_from(std::string& out, std::size_t base) {
  if (out.size() == base || out.back() == '\n') return;
  out.push_back('\n');
}

void ensure_blank_line_from(std::string& out, std::size_t base) {
  if (out.size() == base) return;
  std::size_t end = out.size();
  while (end > base && (out[end - 1] == ' ' || out[end - 1] == '\t')) --end;
  out.resize(end);
  std::size_t feeds = 0;
  while (feeds < 2 && end - feeds > base && out[end - feeds - 1] == '\n') ++feeds;
  if (feeds >= 2) return;
  out.append(feeds == 1 ? "\n" : "\n\n");
}

// What a node directly inside a table (or inside an element between the
// table and its rows) is to the table.
enum class TableNode : std::uint8_t { Nothing, Content, Row, Cell, Caption, Table, Element };

TableNode classify_table_node(const TlDom& dom, NodeHandle h) {
  const TlNode* n = dom.node(h);
  if (n == nullptr || n->is_comment()) return TableNode::Nothing;
  if (const TlNode::Raw* raw = n->as_raw()) {
    return is_unicode_space_only(dom.bytes(raw->text)) ? TableNode::Nothing : TableNode::Content;
  }
  switch (tag_id_ignore_case(dom.bytes(n->as_tag()->name))) {
    case TagId::Tr:
      return TableNode::Row;
    case TagId::Td:
    case TagId::Th:
      return TableNode::Cell;
    case TagId::Caption:
      return TableNode::Caption;
    case TagId::Table:
      return TableNode::Table;
    default:
      return TableNode::Element;
  }
}

// A piece of a table's text: a row (a tr's children, or a run of cells
// that stand without a tr), or other content (a text or an element that
// holds no rows) written as a line of its own.
struct TablePiece {
  std::span<const NodeHandle> row;
  NodeHandle content = 0;
  bool is_row = false;
};

// The search below a table: an element and the next of its children to
// look at.
struct RowSearch {
  NodeHandle element;
  std::size_t next;
};

// Walks the elements below `table` through which rows are reached (every
// element but rows, cells, captions and nested tables, or, with `holders`
// given, only the elements in it), calling `found(parent's children, index,
// kind)` for each child. The return value of `found` is the index of the
// next child to look at.
template <typename Found>
void search_table(NodeHandle table, const TlDom& dom, const std::unordered_set<NodeHandle>* holders,
                  std::vector<RowSearch>& stack, Found&& found) {
  stack.clear();
  stack.push_back({table, 0});
  while (!stack.empty()) {
    const RowSearch search = stack.back();
    const TlNode::Tag* parent = dom.tag(search.element);
    const auto items = parent != nullptr ? parent->children.as_span() : std::span<const NodeHandle>();
    if (search.next >= items.size()) {
      stack.pop_back();
      continue;
    }
    const NodeHandle h = items[search.next];
    const TableNode kind = classify_table_node(dom, h);
    if (kind == TableNode::Element && (holders == nullptr || holders->contains(h))) {
      stack.back().next = search.next + 1;
      stack.push_back({h, 0});
      continue;
    }
    stack.back().next = found(items, search.next, kind);
  }
}

// The elements between `table` and its rows and cells (nested tables not
// looked into): their other children are content of the table.
void find_row_holders(NodeHandle table, const TlDom& dom, std::unordered_set<NodeHandle>& holders,
                      std::vector<RowSearch>& stack) {
  holders.clear();
  search_table(table, dom, nullptr, stack, [&](std::span<const NodeHandle>, std::size_t i, TableNode kind) {
    if (kind == TableNode::Row || kind == TableNode::Cell) {
      // The elements above are marked from the top down to the first one
      // marked before, above which all are.
      for (std::size_t k = stack.size(); k > 1 && holders.insert(stack[k - 1].element).second; --k) {
      }
    }
    return i + 1;
  });
}

// The pieces of `table` in document order, its captions first.
void collect_table_pieces(NodeHandle table, const TlDom& dom, std::unordered_set<NodeHandle>& holders,
                          std::vector<TablePiece>& pieces, std::vector<TablePiece>& captions,
                          std::vector<RowSearch>& stack) {
  find_row_holders(table, dom, holders, stack);
  pieces.clear();
  captions.clear();
  search_table(table, dom, &holders, stack, [&](std::span<const NodeHandle> items, std::size_t i, TableNode kind) {
    std::size_t next = i + 1;
    switch (kind) {
      case TableNode::Nothing:
        break;
      case TableNode::Row:
        pieces.push_back({dom.tag(items[i])->children.as_span(), 0, true});
        break;
      case TableNode::Cell:
        // The run goes on over comments and white space up to the last cell
        // before anything else.
        for (std::size_t j = next; j < items.size(); ++j) {
          const TableNode other = classify_table_node(dom, items[j]);
          if (other == TableNode::Cell) {
            next = j + 1;
          } else if (other != TableNode::Nothing) {
            break;
          }
        }
        pieces.push_back({items.subspan(i, next - i), 0, true});
        break;
      case TableNode::Caption:
        captions.push_back({{}, items[i], false});
        break;
      case TableNode::Content:
      case TableNode::Table:
      case TableNode::Element:
        pieces.push_back({{}, items[i], false});
        break;
    }
    return next;
  });
  pieces.insert(pieces.begin(), captions.begin(), captions.end());
}

// The renderer's explicit stack machine. Every unit of work is a Task;
// elements push what happens after their children before the children
// themselves, so the stack unwinds in document order.
//
// Table cells are rendered in place: a cell's text goes straight into the
// output inside a region that starts where the cell starts. Spacing
// decisions look at the region only, as if it were a string of its own.
// A cell region drops white space at its start as soon as it is written
// (the cell is trimmed in the end anyway, and nothing a region does depends
// on white space before its first other character), and its trailing white
// space is cut when the cell ends, so no cell text is ever copied.
class Renderer {
 public:
  Renderer(const TlDom& dom, std::string& out, const PlainTextScope& scope, PlainListState root_list)
      : dom_(dom),
        out_(out),
        scope_(scope),
        policy_(WalkPolicy::for_plain_text(scope.options.preprocessing, scope.excluded_nodes, scope.page_forms)) {
    lists_.push_back(root_list);
    tasks_.reserve(64);
    text_start_ = out_.size();
  }

  PlainListState root_list() const { return lists_.front(); }

  // The nodes of `nodes` in order, all with the root list state.
  void push_visits(std::span<const NodeHandle> nodes, bool pre) {
    for (std::size_t i = nodes.size(); i > 0; --i) tasks_.push_back(Task{Op::Visit, pre, nodes[i - 1], 0});
  }

  void push_children(NodeHandle element, bool pre, std::uint32_t list) {
    const TlNode::Tag* tag = dom_.tag(element);
    if (tag == nullptr) return;
    const auto& kids = tag->children;
    for (std::size_t i = kids.size(); i > 0; --i) tasks_.push_back(Task{Op::Visit, pre, kids[i - 1], list});
  }

  // A table's pieces: rows one a line, their cells and other content
  // separated by tabs; other content and captions (first) lines of their own.
  void push_table(NodeHandle table) {
    collect_table_pieces(table, dom_, holders_, pieces_, captions_, scratch_);
    for (std::size_t p = pieces_.size(); p > 0; --p) {
      const TablePiece& piece = pieces_[p - 1];
      if (!piece.is_row) {
        tasks_.push_back(Task{Op::EnsureNewline, false, 0, 0});
        tasks_.push_back(Task{Op::BeginPart, false, piece.content, 0});
        tasks_.push_back(Task{Op::EnsureNewline, false, 0, 0});
        continue;
      }
      tasks_.push_back(Task{Op::EndRow, false, 0, 0});
      for (std::size_t c = piece.row.size(); c > 0; --c) {
        const NodeHandle h = piece.row[c - 1];
        switch (classify_table_node(dom_, h)) {
          case TableNode::Nothing:
            break;
          case TableNode::Cell:
            tasks_.push_back(Task{Op::BeginCell, false, h, 0});
            break;
          default:
            tasks_.push_back(Task{Op::BeginRowPart, false, h, 0});
            break;
        }
      }
      tasks_.push_back(Task{Op::BeginRow, false, 0, 0});
      if (p > 1 && pieces_[p - 2].is_row) tasks_.push_back(Task{Op::AppendNewline, false, 0, 0});
    }
  }

  void run() {
    while (!tasks_.empty()) {
      const Task task = tasks_.back();
      tasks_.pop_back();
      if (task.op != Op::Visit) after_alt_ = false;
      switch (task.op) {
        case Op::Visit:
          visit(task.node, task.pre, task.list);
          break;
        case Op::EnsureNewline:
          separate_block(false);
          break;
        case Op::EnsureBlankLine:
          separate_block(true);
          break;
        case Op::EndList:
          separate_block(false);
          lists_.pop_back();
          break;
        case Op::EndItem:
          // (Also right after the marker: the next item starts a line.)
          ensure_newline_from(out_, region_.base);
          text_start_ = out_.size();
          break;
        case Op::AppendNewline:
          append_white_space('\n');
          break;
        case Op::BeginCell:
          if (rows_.back()) append_white_space('\t');
          rows_.back() = true;
          begin_region(task.node, Region::Cell);
          break;
        case Op::BeginRowPart:
          begin_region(task.node, Region::RowPart);
          break;
        case Op::BeginPart:
          begin_region(task.node, Region::Part);
          break;
        case Op::BeginRow:
          rows_.push_back(false);
          break;
        case Op::EndRow:
          rows_.pop_back();
          break;
        case Op::EndCell:
          end_cell();
          break;
      }
    }
  }

 private:
  enum class Op : std::uint8_t {
    Visit,
    EnsureNewline,
    EnsureBlankLine,
    EndList,  // newline, then the list state of the ul/ol is dropped
    EndItem,  // newline, also after a marker alone
    AppendNewline,
    BeginRow,      // a row's cells and other content follow
    EndRow,
    BeginCell,     // a cell: its children; a tab before all but the first of the row
    BeginRowPart,  // other content in a row: a tab before it when it writes anything after something
    BeginPart,     // other content of a table: the node itself
    EndCell,       // the end of any of the three
  };
  struct Task {
    Op op;
    bool pre;
    NodeHandle node;
    std::uint32_t list;  // index into lists_
  };
  struct Region {
    enum Kind : std::uint8_t { Whole, Cell, RowPart, Part };
    std::size_t base = 0;      // where the region starts in out_
    bool trim_leading = false;  // a cell or part: white space at its start is dropped
    Kind kind = Whole;
    // The text start and marker end around the region, back in force once
    // it ends: its text stands apart from the text outside.
    std::size_t outer_text_start = 0;
    std::size_t outer_marker_end = std::string::npos;
  };

  bool region_empty() const { return out_.size() == region_.base; }

  // Sets a block, a list or an item off from what stands before it (or
  // ends it), with a line break or a blank line; nothing right after an
  // item's marker, which the block's first line follows. Text written next
  // starts a block's text.
  void separate_block(bool blank_line) {
    if (out_.size() != marker_end_) {
      if (blank_line) {
        ensure_blank_line_from(out_, region_.base);
      } else {
        ensure_newline_from(out_, region_.base);
      }
    }
    text_start_ = out_.size();
  }

  // A letter or digit (any non-ASCII character counts), or punctuation
  // that ends a sentence or clause.
  static bool ends_word(std::string_view text) {
    if (text.empty()) return false;
    const auto c = static_cast<unsigned char>(text.back());
    if (c >= 0x80) return space_len_before(text, text.size()) == 0;
    return is_ascii_alnum(static_cast<char>(c)) ||
           std::string_view(".,;:!?)]\"'").find(static_cast<char>(c)) != std::string_view::npos;
  }
  static bool starts_word(std::string_view text) {
    if (text.empty()) return false;
    const auto c = static_cast<unsigned char>(text.front());
    return c >= 0x80 ? space_len_at(text, 0) == 0 : is_ascii_alnum(static_cast<char>(c));
  }

  void append_white_space(char c) {
    if (region_.trim_leading && region_empty()) return;
    out_.push_back(c);
  }

  // Called after text was appended at `before`: a cell region that was
  // empty drops the text's leading white space.
  void settle_append(std::size_t before) {
    if (!region_.trim_leading || before != region_.base) return;
    const std::size_t first = skip_unicode_space(out_, before);
    if (first != before) out_.erase(before, first - before);
  }

  void append_text(std::string_view text) {
    const std::size_t before = out_.size();
    out_.append(text);
    settle_append(before);
  }

  void visit(NodeHandle node_handle, bool pre, std::uint32_t list) {
    const TlNode* node = dom_.node(node_handle);
    if (node == nullptr || node->is_comment()) return;
    if (const TlNode::Raw* raw = node->as_raw()) {
      render_text(dom_.bytes(raw->text), pre);
      return;
    }
    const TlNode::Tag& tag = *node->as_tag();
    const std::string_view raw_name = dom_.bytes(tag.name);
    const TagId id = tag_id_ignore_case(raw_name);
    const Kind kind = plain_kind(id);
    if (kind == Kind::Skipped) return;
    // Stripped and preserved elements are written as text like the others.
    if (policy_.check(dom_, node_handle, tag, raw_name, id) == NodeVerdict::Drop) return;
    // Blocks, breaks, lists and tables stand between an alt text and what follows.
    if (kind != Kind::Other && kind != Kind::Img) after_alt_ = false;

    switch (kind) {
      case Kind::Skipped:
        return;
      case Kind::Head: {
        // Its own elements stay in the head; the rest an HTML reader moves
        // into the body, in place.
        const auto kids = tag.children.as_span();
        const std::size_t first = first_moved_out_of_head(dom_, tag);
        for (std::size_t i = kids.size(); i > first; --i) {
          if (!is_head_element(dom_, kids[i - 1])) tasks_.push_back(Task{Op::Visit, pre, kids[i - 1], list});
        }
        return;
      }
      case Kind::Br:
        append_white_space('\n');
        return;
      case Kind::Hr:
        separate_block(true);
        return;
      case Kind::Ul:
      case Kind::Ol: {
        PlainListState state;
        if (kind == Kind::Ul) {
          state.kind = PlainListKind::Unordered;
        } else {
          state.kind = PlainListKind::Ordered;
          const AttributeLookup start = attribute_map_get(dom_, tag, "start");
          const auto parsed = start.has_value() ? parse_attribute_u32(dom_.bytes(start.value)) : std::nullopt;
          state.number = parsed.value_or(1);
        }
        separate_block(false);
        lists_.push_back(state);
        tasks_.push_back(Task{Op::EndList, false, 0, 0});
        push_children(node_handle, false, static_cast<std::uint32_t>(lists_.size() - 1));
        return;
      }
      case Kind::Li: {
        separate_block(false);
        PlainListState& state = lists_[list];
        if (state.kind == PlainListKind::Ordered) {
          char buf[16];
          std::size_t len = 0;
          std::uint32_t n = state.number;
          do {
            buf[len++] = static_cast<char>('0' + n % 10);
            n /= 10;
          } while (n != 0);
          const std::size_t before = out_.size();
          while (len > 0) out_.push_back(buf[--len]);
          out_.append(". ");
          settle_append(before);
          ++state.number;  // unsigned: wraps at 2^32
        } else {
          append_text("- ");
        }
        marker_end_ = out_.size();
        text_start_ = out_.size();
        tasks_.push_back(Task{Op::EndItem, false, 0, 0});
        push_children(node_handle, false, list);
        return;
      }
      case Kind::Pre:
        separate_block(true);
        tasks_.push_back(Task{Op::EnsureBlankLine, false, 0, 0});
        push_children(node_handle, true, list);
        return;
      case Kind::Table:
        separate_block(true);
        tasks_.push_back(Task{Op::EnsureBlankLine, false, 0, 0});
        push_table(node_handle);
        return;
      case Kind::Img: {
        if (scope_.options.skip_images) return;
        const AttributeLookup alt = attributes_get(dom_, tag, "alt");
        if (!alt.has_value() || alt.value.empty()) return;
        const std::size_t before = out_.size();
        // The alt text stands as words of its own: a space sets it off
        // from a word or a sentence's end right before it.
        const std::string value = attribute_text(dom_.bytes(alt.value));
        if (!region_empty() && ends_word(out_) && space_len_at(value, 0) == 0) out_.push_back(' ');
        // (As a block's first text it starts at its first visible character.)
        out_ += out_.size() == text_start_ ? std::string_view(value).substr(skip_unicode_space(value, 0)) : value;
        settle_append(before);
        after_alt_ = !is_unicode_space_only(std::string_view(out_).substr(before));
        return;
      }
      case Kind::Block:
        separate_block(true);
        tasks_.push_back(Task{Op::EnsureBlankLine, false, 0, 0});
        push_children(node_handle, pre, list);
        return;
      case Kind::Line:
        separate_block(false);
        tasks_.push_back(Task{Op::EnsureNewline, false, 0, 0});
        push_children(node_handle, pre, list);
        return;
      case Kind::Other:
        push_children(node_handle, pre, list);
        return;
    }
  }

  void render_text(std::string_view bytes, bool pre) {
    const CowText text = utf8_lossy(bytes);
    std::string_view view = text.view();
    std::optional<std::string> decoded;
    if (view.find('&') != std::string_view::npos) {
      decoded = decode_html_entities(view);
      if (decoded) view = *decoded;
    }
    // A block's or an item's text starts at its first visible character,
    // on the line of the item's marker; the spaces that indent the source
    // after a line feed show in no browser (the line feed itself is kept).
    std::string unindented;
    if (!pre) {
      if (out_.size() == text_start_) view = view.substr(std::min(view.find_first_not_of(kSourceSpace), view.size()));
      const bool after_line_feed = out_.size() > region_.base && out_.back() == '\n';
      if (drop_source_indentation(view, after_line_feed, unindented)) view = unindented;
    }
    if (view.empty()) return;
    // A word right after an alt text is set off from it too.
    if (after_alt_ && !region_empty() && space_len_before(out_, out_.size()) == 0 && starts_word(view)) {
      out_.push_back(' ');
    }
    after_alt_ = false;
    const std::size_t before = out_.size();
    if (pre) {
      out_.append(view);
    } else {
      collapse_whitespace_into(view, out_);
      // A lone space right after a line break is dropped.
      if (out_.size() - before == 1 && out_[before] == ' ' && before > region_.base && out_[before - 1] == '\n') {
        out_.resize(before);
        return;
      }
    }
    settle_append(before);
  }

  // A cell or a piece of other content, rendered in a region of its own:
  // a cell's children, or the node itself.
  void begin_region(NodeHandle node, Region::Kind kind) {
    regions_.push_back(region_);
    region_ = Region{out_.size(), true, kind, text_start_, marker_end_};
    text_start_ = out_.size();
    marker_end_ = std::string::npos;
    lists_.push_back(PlainListState{});
    const auto list = static_cast<std::uint32_t>(lists_.size() - 1);
    tasks_.push_back(Task{Op::EndCell, false, 0, 0});
    if (kind == Region::Cell) {
      push_children(node, false, list);
    } else {
      tasks_.push_back(Task{Op::Visit, false, node, list});
    }
  }

  void end_cell() {
    std::size_t end = out_.size();
    while (end > region_.base) {
      const std::size_t len = space_len_before(out_, end);
      if (len == 0 || end - len < region_.base) break;
      end -= len;
    }
    out_.resize(end);
    const Region done = region_;
    region_ = regions_.back();
    regions_.pop_back();
    text_start_ = done.outer_text_start;
    marker_end_ = done.outer_marker_end;
    lists_.pop_back();
    if (done.kind != Region::RowPart || end == done.base) return;
    // Other content in a row is set off by a tab only when it writes
    // something, after something else of the row.
    if (rows_.back() && !(region_.trim_leading && done.base == region_.base)) out_.insert(done.base, 1, '\t');
    rows_.back() = true;
  }

  const TlDom& dom_;
  std::string& out_;
  // Nothing but an alt text was written since the last text: a word that
  // follows is set off from it.
  bool after_alt_ = false;
  // Where a block's or an item's text starts (the output's size after its
  // separation or marker), and where the last item's marker ends: while the
  // output ends there, nothing visible has been written since.
  std::size_t text_start_ = 0;
  std::size_t marker_end_ = std::string::npos;
  const PlainTextScope& scope_;
  const WalkPolicy policy_;
  std::vector<Task> tasks_;
  std::vector<PlainListState> lists_;  // [0] is the caller's state
  std::vector<Region> regions_;        // enclosing regions of open cells and parts
  Region region_;
  std::vector<bool> rows_{false};      // per open row: something of it stands before
  std::vector<TablePiece> pieces_;
  std::vector<TablePiece> captions_;
  std::unordered_set<NodeHandle> holders_;
  std::vector<RowSearch> scratch_;
};

}  // namespace

void render_plain_text_nodes(std::span<const NodeHandle> nodes, const TlDom& dom, std::string& out,
                             bool preformatted, PlainListState& list_state, const PlainTextScope& scope) {
  Renderer renderer(dom, out, scope, list_state);
  renderer.push_visits(nodes, preformatted);
  renderer.run();
  list_state = renderer.root_list();
}

std::optional<std::uint32_t> parse_attribute_u32(std::string_view value) {
  std::size_t i = 0;
  if (i < value.size() && value[i] == '+') ++i;
  if (i == value.size()) return std::nullopt;
  std::uint64_t n = 0;
  for (; i < value.size(); ++i) {
    const char c = value[i];
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
    if (n > 0xFFFFFFFFull) return std::nullopt;
  }
  return static_cast<std::uint32_t>(n);
}

}  // namespace tidewell
