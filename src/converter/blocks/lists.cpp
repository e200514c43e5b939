// Lists: ul and ol with their items (task items included), and definition
// lists. Nesting travels in the context: a list marks each child with its
// depth, number and kind, an item marks its content as item content.
#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/entities.hpp"
#include "common/utf8.hpp"
#include "converter/blocks/block_support.hpp"
#include "converter/blocks/blocks.hpp"
#include "converter/metadata/structure_sink.hpp"
#include "converter/walk/handler_family.hpp"

namespace tidewell {
namespace {

using blocks::end_with_blank_line;

bool is_list_tag(TagId id) { return id == TagId::Ul || id == TagId::Ol; }

// An item with one of these children is followed by a blank line.
bool is_block_child_tag(TagId id) {
  return id == TagId::P || id == TagId::Div || id == TagId::Pre || id == TagId::Hr || id == TagId::Dl ||
         id == TagId::Table || id == TagId::Blockquote;
}

// Children after which an item keeps its blank lines in a tight list too: a
// paragraph, and blocks whose end (or content) the next line could run on.
bool is_loose_block_child_tag(TagId id) {
  return id == TagId::P || id == TagId::Div || id == TagId::Dl || id == TagId::Table;
}

bool is_heading_tag(TagId id) { return id >= TagId::H1 && id <= TagId::H6; }

// Blocks that end the text before them on the next line: in a tight item
// they take no blank line before them. (An ordered list starting past 1
// does not, and sees to that itself; indented code would continue the text;
// in djot none does.)
bool interrupts_paragraph(TagId id, const ConversionOptions& options) {
  if (options.output_format == OutputFormat::Djot) return false;
  return id == TagId::Blockquote || is_list_tag(id) || is_heading_tag(id) ||
         (id == TagId::Pre && options.code_block_style != CodeBlockStyle::Indented);
}

// Blocks whose end the next line cannot continue once it starts a block.
bool ends_block_cleanly(TagId id) {
  return id == TagId::Blockquote || id == TagId::Pre || id == TagId::Hr || is_list_tag(id) || is_heading_tag(id);
}

// Shrinks blank lines at the end of `out` to one line break.
void drop_trailing_blank_lines(std::string& out) {
  while (end_of(out).is_blank_line()) out.pop_back();
}

// The raw text of a text node is white space only (before any reference
// is decoded).
bool is_blank_text_node(const TlDom& dom, NodeHandle node) {
  const TlNode* n = dom.node(node);
  const TlNode::Raw* raw = n != nullptr ? n->as_raw() : nullptr;
  return raw != nullptr && is_unicode_space_only(dom.bytes(raw->text));
}

// The first child that writes something is a block of its own lines: a
// list, quote, code block, rule, heading or table.
bool starts_with_block(const Walk& w, NodeHandle node) {
  const TlNode::Tag* tag = w.dom().tag(node);
  if (tag == nullptr) return false;
  for (NodeHandle child : tag->children) {
    if (is_blank_text_node(w.dom(), child)) continue;
    const TlNode* n = w.dom().node(child);
    if (n == nullptr || n->is_comment()) continue;
    const TagId id = w.tag(child).id;
    return n->as_tag() != nullptr && (ends_block_cleanly(id) || id == TagId::Table);
  }
  return false;
}

// Some li child of the list has a p child.
bool list_has_paragraph_items(const Walk& w, const TlNode::Tag& list) {
  for (NodeHandle item : list.children) {
    if (w.tag(item).id != TagId::Li) continue;
    for (NodeHandle child : w.dom().tag(item)->children) {
      if (w.tag(child).id == TagId::P) return true;
    }
  }
  return false;
}

// Content that runs in a line: text, or an inline element (not a break).
bool is_inline_content(const Walk& w, NodeHandle node) {
  const TlNode* n = w.dom().node(node);
  if (n == nullptr || n->is_comment()) return false;
  if (n->is_raw()) return true;
  const TagId id = w.tag(node).id;
  return tag_has(id, kInline) && id != TagId::Br;
}

// The item holds text and inline elements only, so that its line is a line
// of text (no heading, quote, table or code that text after it would join).
bool holds_inline_only(const Walk& w, NodeHandle item) {
  const TlNode::Tag* tag = w.dom().tag(item);
  return tag != nullptr && std::all_of(tag->children.begin(), tag->children.end(), [&](NodeHandle child) {
           const TlNode* n = w.dom().node(child);
           return n != nullptr && (n->is_comment() || is_inline_content(w, child));
         });
}

// The start attribute of an ol: an optional "+" and ASCII digits, nothing
// else; 1 when absent, malformed or past 64 bits.
std::uint64_t list_start_number(const TlDom& dom, const TlNode::Tag& list) {
  const std::optional<std::string_view> value = attribute_value(dom, list, "start");
  if (!value) return 1;
  const std::string text = attribute_text(*value);
  std::string_view digits = text;
  if (digits.starts_with('+')) digits.remove_prefix(1);
  if (digits.empty()) return 1;
  std::uint64_t n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 1;
    if (__builtin_mul_overflow(n, 10u, &n) || __builtin_add_overflow(n, static_cast<unsigned>(c - '0'), &n)) {
      return 1;
    }
  }
  return n;
}

void append_item_number(std::string& out, ListItemNumber n) {
  char digits[40];
  std::size_t i = sizeof digits;
  do {
    digits[--i] = static_cast<char>('0' + static_cast<unsigned>(n % 10));
    n /= 10;
  } while (n != 0);
  out.append(digits + i, sizeof digits - i);
}

// The bullet of an unordered item: the character of `bullets` at
// (level - 1) modulo their count, level counting from 1; "*" when there
// are none.
std::string_view bullet_for(std::string_view bullets, std::size_t bullet_level) {
  const auto starts_char = [&](std::size_t i) { return (static_cast<unsigned char>(bullets[i]) & 0xC0) != 0x80; };
  std::size_t count = 0;
  for (std::size_t i = 0; i < bullets.size(); ++i) count += starts_char(i);
  if (count == 0) return "*";
  std::size_t wanted = (bullet_level > 0 ? bullet_level - 1 : 0) % count;
  std::size_t start = 0;
  while (!starts_char(start) || wanted-- > 0) ++start;
  std::size_t end = start + 1;
  while (end < bullets.size() && !starts_char(end)) ++end;
  return bullets.substr(start, end - start);
}

// The bullet after the one of `bullet_level` in `bullets`, or "*" or "-"
// when `bullets` offers no other.
std::string_view other_bullet(std::string_view bullets, std::size_t bullet_level) {
  const std::string_view bullet = bullet_for(bullets, bullet_level);
  const std::string_view next = bullet_for(bullets, bullet_level + 1);
  if (next != bullet) return next;
  return bullet == "-" ? "*" : "-";
}

// Whether `line` starts, after `indent` spaces, with the marker of an item
// of `ordered` kind written with `bullet` or ". ".
bool starts_with_item_marker(std::string_view line, std::size_t indent, bool ordered, std::string_view bullet) {
  if (line.size() < indent || line.find_first_not_of(' ') < indent) return false;
  line.remove_prefix(indent);
  if (!ordered) return line.starts_with(bullet) && (line.size() == bullet.size() || line[bullet.size()] == ' ');
  std::size_t digits = 0;
  while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') ++digits;
  return digits != 0 && digits < line.size() && line[digits] == '.' &&
         (digits + 1 == line.size() || line[digits + 1] == ' ');
}

// How far back the output is searched for an item line: the lines of a
// long last item are not searched again and again by later lists.
constexpr std::size_t kListLookBack = std::size_t{1} << 16;

// Whether the output ends with a list of the same kind whose items start at
// column `indent` (a reader would continue it): going back over blank lines
// and lines indented deeper (the items' later lines), the first line at
// that column starts with the same marker.
bool follows_same_list(std::string_view out, std::size_t indent, bool ordered, std::string_view bullet) {
  if (out.size() > kListLookBack) out.remove_prefix(out.size() - kListLookBack);
  std::size_t end = out.size();
  while (end > 0) {
    const std::size_t nl = end >= 2 ? out.rfind('\n', end - 2) : std::string_view::npos;
    const std::size_t begin = nl == std::string_view::npos ? 0 : nl + 1;
    std::string_view line = out.substr(begin, end - begin);
    if (line.ends_with('\n')) line.remove_suffix(1);
    end = begin;
    const std::size_t lead = line.find_first_not_of(" \t");
    if (lead == std::string_view::npos) continue;
    if (lead > indent) continue;
    return lead == indent && starts_with_item_marker(line, indent, ordered, bullet);
  }
  return false;
}

// Writes the indentation of an item at list depth `level` and returns its
// width in columns (a tab reaches the next multiple of four). An item
// nested in another item is indented at least to that item's content
// (`enclosing`): less would end the enclosing item ("1. a" holds its
// content from column 3, so "  - b" would not be inside it). A width of 0
// asks for no indentation at all.
std::size_t append_indent(std::string& out, std::size_t level, std::size_t enclosing,
                          const ConversionOptions& options) {
  if (level == 0) return 0;
  if (options.list_indent_type == ListIndentType::Tabs) {
    out.append(level, '\t');
    std::size_t columns = 0;
    if (__builtin_mul_overflow(level, std::size_t{4}, &columns)) throw std::bad_alloc();
    return columns;
  }
  std::size_t width = 0;
  if (__builtin_mul_overflow(level, options.list_indent_width, &width) || width > out.max_size() - out.size()) {
    throw std::length_error("list indentation");
  }
  if (width != 0) width = std::max(width, enclosing);
  out.append(width, ' ');
  return width;
}

// The width in columns of a marker written from `from` to the end of `out`
// (its characters, not bytes).
std::size_t marker_columns(const std::string& out, std::size_t from) {
  return utf8_char_count(std::string_view(out).substr(from));
}

// --- task items --------------------------------------------------------------

struct TaskCheckbox {
  NodeHandle node;
  bool checked;
};

// An input element whose type is exactly "checkbox".
std::optional<TaskCheckbox> as_checkbox(const Walk& w, NodeHandle node) {
  if (w.tag(node).id != TagId::Input) return std::nullopt;
  const TlNode::Tag& tag = *w.dom().tag(node);
  const std::optional<std::string_view> type = attribute_value(w.dom(), tag, "type");
  if (!type || attribute_text(*type) != "checkbox") return std::nullopt;
  return TaskCheckbox{node, attribute_map_get(w.dom(), tag, "checked").found()};
}

// The first checkbox in the item's subtree, nested lists included. Handles
// follow document order, so the subtree is the run of handles after the
// item whose parents lie in it (a parent always comes before its child).
std::optional<TaskCheckbox> find_task_checkbox(const Walk& w, NodeHandle item) {
  const TlDom& dom = w.dom();
  const std::vector<PackedIndex>& parents = w.dom_context().parents;
  const std::size_t end = std::min(dom.nodes.size(), parents.size());
  for (std::size_t h = std::size_t{item} + 1; h < end; ++h) {
    if (!parents[h] || *parents[h] < item) break;
    const TlNode::Tag* tag = dom.nodes[h].as_tag();
    // A quick look at the name as written before the cached lookup.
    if (tag == nullptr || tag->name.len != 5) continue;
    if (auto box = as_checkbox(w, static_cast<NodeHandle>(h))) return box;
  }
  return std::nullopt;
}

// Converts the children of `item` as the walk would, except that `left_out`
// is not written and every element on the way down to it gives only its
// children.
void convert_children_except(const Walk& w, NodeHandle item, NodeHandle left_out, const ConversionContext& context,
                             std::size_t depth) {
  // path[0] is the item, path.back() the node left out.
  std::vector<NodeHandle> path;
  for (std::optional<NodeHandle> n = left_out; n; n = w.dom_context().parent_of(*n)) {
    path.push_back(*n);
    if (*n == item) break;
  }
  if (path.back() != item) return;
  std::reverse(path.begin(), path.end());
  std::vector<std::size_t> next_child(path.size(), 0);
  std::size_t level = 0;
  while (true) {
    const auto children = w.dom().tag(path[level])->children.as_span();
    if (next_child[level] >= children.size()) {
      if (level == 0) return;
      --level;
      continue;
    }
    const NodeHandle child = children[next_child[level]++];
    if (child == path[level + 1]) {
      if (level + 2 < path.size()) ++level;
      continue;
    }
    w.node(child, context, depth);
  }
}

// --- items inside inline elements ---------------------------------------------
//
// A browser lays an li out as an item of its list even where inline
// elements (a link, bold, a span) stand between the two, and shows the
// item's content in their formatting. Such an item is written as an item of
// the list with its content inside the markup of the elements around it:
// each item a link of its own, all to the same address. What those elements
// hold beside their items is written like content between items, inside the
// same markup. Nothing is rewritten in the tree: the elements are converted
// once per piece, with the piece standing in for their children.

// How many levels of inline elements are looked through for items.
constexpr std::size_t kWrapperLevels = 8;

enum class WrapperRole : std::uint8_t {
  None,       // no element items are looked for in
  Marked,     // its handler writes its markup around each piece
  Dissolved,  // the pieces are written without it
};

WrapperRole wrapper_role(const Walk& w, NodeHandle node) {
  const TlNode::Tag* tag = w.dom().tag(node);
  if (tag == nullptr) return WrapperRole::None;
  const TagRef ref = w.tag(node);
  // (A custom element is inline too.)
  const bool phrasing = ref.id == TagId::Unknown ? !ref.name.empty()
                                                 : tag_has(ref.id, kInline) || ref.id == TagId::Font ||
                                                       ref.id == TagId::Big || ref.id == TagId::Tt ||
                                                       ref.id == TagId::Nobr;
  if (!phrasing) return WrapperRole::None;
  switch (w.policy().check(w.dom(), node, *tag, ref.name, ref.id)) {
    case NodeVerdict::Drop:
    case NodeVerdict::Preserve:
      return WrapperRole::None;
    case NodeVerdict::ChildrenOnly:
      return WrapperRole::Dissolved;
    case NodeVerdict::Convert:
      break;
  }
  // The handlers that read their children through the walk (children_of);
  // code, ruby, a label, a button or a quotation give way to the items.
  switch (handler_family(ref.id)) {
    case HandlerFamily::Link:
    case HandlerFamily::Transparent:
    case HandlerFamily::Unknown:
      return WrapperRole::Marked;
    case HandlerFamily::Inline:
      return ref.id == TagId::Ruby || ref.id == TagId::Rb || ref.id == TagId::Rt || ref.id == TagId::Rp ||
                     ref.id == TagId::Rtc
                 ? WrapperRole::Dissolved
                 : WrapperRole::Marked;
    case HandlerFamily::InlineCode:
      return WrapperRole::Dissolved;
    default:
      return ref.id == TagId::Label || ref.id == TagId::Button || ref.id == TagId::Q ? WrapperRole::Dissolved
                                                                                    : WrapperRole::None;
  }
}

// Some child of the element is an li, or an inline element that holds one,
// at most `levels` levels down.
bool holds_items(const Walk& w, NodeHandle node, std::size_t levels) {
  for (const NodeHandle child : w.dom().tag(node)->children) {
    if (w.tag(child).id == TagId::Li) return true;
    if (levels > 1 && wrapper_role(w, child) != WrapperRole::None && holds_items(w, child, levels - 1)) return true;
  }
  return false;
}

// A child of a list that is an inline element holding items.
bool wraps_items(const Walk& w, NodeHandle child) {
  return w.tag(child).id != TagId::Li && wrapper_role(w, child) != WrapperRole::None &&
         holds_items(w, child, kWrapperLevels);
}

// Nothing but white space and comments.
bool is_blank_run(const Walk& w, std::span<const NodeHandle> nodes) {
  return std::all_of(nodes.begin(), nodes.end(), [&](NodeHandle node) {
    const TlNode* n = w.dom().node(node);
    return n == nullptr || n->is_comment() || is_blank_text_node(w.dom(), node);
  });
}

}  // namespace

// The elements that write markup around a piece of content: the outermost
// one is converted, each holding the next one as its stand-in child down
// to the innermost, whose children the piece stands in for. No outermost
// one when none of them writes markup.
struct WrapperPath {
  std::optional<NodeHandle> outermost;
  NodeHandle innermost = 0;
  const StandInChildren* outer_stand_ins = nullptr;  // from the one above the innermost up
};

// An item found inside inline elements, for its own handler.
struct WrappedListItem {
  NodeHandle item = 0;
  WrapperPath path;
};

namespace {

// A piece of what inline elements around items hold: an item, a list
// (written apart from them: a link holds no list), or a run of other
// content.
struct WrappedPiece {
  std::span<const NodeHandle> nodes;  // the item or the list alone, or the run
  TagId id = TagId::Unknown;          // li, ul or ol; Unknown for a run
  WrapperPath path;
};

// Converts `content` as the content of the elements on `path`.
void convert_in_wrappers(const Walk& w, const WrapperPath& path, std::span<const NodeHandle> content,
                         const ConversionContext& context, std::size_t depth) {
  if (!path.outermost) {
    for (const NodeHandle node : content) w.node(node, context, depth);
    return;
  }
  const StandInChildren innermost{path.innermost, content, path.outer_stand_ins};
  w.with_stand_ins(innermost).node(*path.outermost, context, depth);
}

// Calls `on_piece` with each piece of `wrapper` (see wraps_items) in
// document order; runs of white space and comments alone are left out.
template <typename OnPiece>
void for_each_wrapped_piece(const Walk& w, NodeHandle wrapper, OnPiece&& on_piece) {
  struct Level {
    std::span<const NodeHandle> children;
    std::size_t next = 0;
    bool marked = false;
    // A marked level's: its element, and the next marked one below it.
    StandInChildren stand_in;
  };
  // (Fixed places: the stand-ins point to each other.)
  std::array<Level, kWrapperLevels> levels;
  std::size_t top = 0;
  // `node` lies in the document's children lists, where a stand-in may
  // point to it.
  const auto enter = [&](const NodeHandle& node) {
    Level& level = levels[top];
    level = Level{};
    level.children = w.dom().tag(node)->children.as_span();
    level.marked = wrapper_role(w, node) == WrapperRole::Marked;
    if (level.marked) {
      const StandInChildren* outer = nullptr;
      for (std::size_t i = top; i > 0 && outer == nullptr; --i) {
        if (!levels[i - 1].marked) continue;
        levels[i - 1].stand_in.children = std::span<const NodeHandle>(&node, 1);
        outer = &levels[i - 1].stand_in;
      }
      level.stand_in = StandInChildren{node, {}, outer};
    }
    ++top;
  };
  const auto path = [&] {
    WrapperPath p;
    for (std::size_t i = 0; i < top; ++i) {
      if (!levels[i].marked) continue;
      if (!p.outermost) p.outermost = levels[i].stand_in.node;
      p.innermost = levels[i].stand_in.node;
      p.outer_stand_ins = levels[i].stand_in.outer;
    }
    return p;
  };
  enter(wrapper);
  while (top > 0) {
    Level& level = levels[top - 1];
    const std::span<const NodeHandle> children = level.children;
    if (level.next >= children.size()) {
      --top;
      continue;
    }
    // The run up to the next item, list or element that holds items.
    std::size_t end = level.next;
    while (end < children.size()) {
      const TagId id = w.tag(children[end]).id;
      if (id == TagId::Li || is_list_tag(id)) break;
      if (top < kWrapperLevels && wrapper_role(w, children[end]) != WrapperRole::None &&
          holds_items(w, children[end], kWrapperLevels - top)) {
        break;
      }
      ++end;
    }
    if (end > level.next) {
      const std::span<const NodeHandle> run = children.subspan(level.next, end - level.next);
      level.next = end;
      if (!is_blank_run(w, run)) on_piece(WrappedPiece{run, TagId::Unknown, path()});
      continue;
    }
    const NodeHandle& child = children[level.next++];
    const TagId id = w.tag(child).id;
    if (id == TagId::Li || is_list_tag(id)) {
      on_piece(WrappedPiece{std::span<const NodeHandle>(&child, 1), id, path()});
    } else {
      enter(child);
    }
  }
}

// --- separators --------------------------------------------------------------

// After a list: inside an item a line break (a blank line in a loose list);
// a list that stands outside every list ends with a blank line, so that text
// after it does not run on as part of its last item.
void ensure_list_end_separator(std::string& out, const ConversionContext& context) {
  if (!context.in_list_item) {
    if (!context.in_list && !context.in_table_cell) end_with_blank_line(out);
    // In a table cell a line break sets what follows off from the last item.
    if (!context.in_list && context.in_table_cell && !end_of(out).is_white_space()) out += '\n';
    return;
  }
  if (context.loose_list) {
    end_with_blank_line(out);
  } else if (!end_of(out).is_line_break()) {
    out += '\n';
  }
}

// --- the elements ------------------------------------------------------------

// Hands a piece of an inline element around items (for_each_wrapped_piece)
// to `write_entry` (as render_list_items takes a child of the list): an item
// with its way through the elements, a list as it stands, or a run
// converted inside the elements.
template <typename WriteEntry>
void write_wrapped_piece(const Walk& w, const WrappedPiece& piece, std::size_t depth, const WriteEntry& write_entry) {
  const NodeHandle first = piece.nodes.front();
  if (is_list_tag(piece.id)) {
    write_entry(first, piece.id, false, [&](const ConversionContext& scope) { w.node(first, scope, depth); });
    return;
  }
  if (piece.id == TagId::Li) {
    const WrappedListItem item{first, piece.path};
    write_entry(first, TagId::Li, false, [&](const ConversionContext& scope) {
      ConversionContext wrapped = scope;
      wrapped.wrapped_item = &item;
      w.node(first, wrapped, depth);
    });
    return;
  }
  const bool inline_content = std::all_of(piece.nodes.begin(), piece.nodes.end(), [&](NodeHandle node) {
    return is_inline_content(w, node) || is_blank_run(w, std::span<const NodeHandle>(&node, 1));
  });
  const TagId id = w.tag(piece.path.outermost.value_or(first)).id;
  write_entry(first, id, inline_content, [&](const ConversionContext& scope) {
    convert_in_wrappers(w, piece.path, piece.nodes, scope, depth);
  });
}

void render_list_items(const Walk& w, const TlNode::Tag& list, const ConversionContext& context, std::size_t depth,
                       bool ordered, bool loose, std::size_t item_depth, std::uint64_t start, bool other_marker) {
  ConversionContext child_context = context;
  child_context.list_depth = item_depth;
  if (!ordered) ++child_context.bullet_level;
  child_context.in_ordered_list = ordered;
  child_context.in_list = true;
  child_context.loose_list = loose;
  child_context.other_list_marker = other_marker;
  ListItemNumber counter = start;
  // The number of the last item: a list standing directly in this one is
  // indented to that item's content, as a list inside the item would be.
  std::optional<ListItemNumber> last_item;
  std::string& out = w.out();
  // Where the last item's line starts, while that item holds one line of
  // text and nothing has been written after it.
  std::size_t item_line = std::string::npos;
  // Text was joined to the line of the item before: the next item
  // continues the list whatever its number.
  bool on_item_line = false;
  // One child of the list, or one piece of an inline element around items:
  // `child` is the item or the piece's first node, `convert` converts it.
  const auto write_entry = [&](NodeHandle child, TagId id, bool inline_content, const auto& convert) {
    child_context.list_item_number = ordered ? counter : 0;
    if (last_item && id != TagId::Li && context.in_table_cell && inline_content) {
      // (In a cell the items' texts follow each other on one line.)
      const TlNode::Raw* raw = w.dom().node(child)->as_raw();
      if (raw == nullptr || space_len_at(w.dom().bytes(raw->text), 0) == 0) w.write_boundary_space();
    } else if (last_item && id != TagId::Li && inline_content && end_of(out).is_single_line_break()) {
      // Text or an inline element between two items (a separator, a label)
      // goes on the line of a text item before it; after a block it stands
      // apart, where it would run into the block as lazy text.
      if (item_line != std::string::npos && std::string_view(out).find('\n', item_line) == out.size() - 1) {
        out.pop_back();
        w.write_boundary_space();
        on_item_line = true;
      } else {
        end_with_blank_line(out);
      }
    }
    item_line = std::string::npos;
    // An item right after text would continue it where it cannot interrupt
    // a paragraph: an ordered one past 1, and any in djot.
    const bool interrupts = !(ordered && counter != 1) && w.options().output_format != OutputFormat::Djot;
    if (id == TagId::Li && !interrupts && !on_item_line && !context.in_table_cell && !end_of(out).is_line_start() &&
        !end_of(out).is_bare_list_marker()) {
      trim_trailing_spaces_tabs(out);
      end_with_blank_line(out);
    }
    if (id == TagId::Li) on_item_line = false;
    if (is_list_tag(id) && last_item && !context.in_table_cell) {
      std::string scratch;
      if (ordered) append_item_number(scratch, *last_item);
      const std::size_t marker =
          ordered ? scratch.size() + 2 : utf8_char_count(bullet_for(w.options().bullets, child_context.bullet_level)) + 1;
      ConversionContext nested = child_context;
      nested.item_indent = append_indent(scratch, item_depth, context.item_indent, w.options()) + marker;
      convert(nested);
      return;
    }
    const std::size_t before = out.size();
    convert(child_context);
    if (id != TagId::Li) return;
    if (!context.in_table_cell && holds_inline_only(w, child)) {
      item_line = before;
      while (item_line < out.size() && out[item_line] == '\n') ++item_line;
    }
    last_item = counter;
    if (ordered) ++counter;
  };
  for (NodeHandle child : list.children) {
    if (is_blank_text_node(w.dom(), child)) continue;
    if (wraps_items(w, child)) {
      // Numbered on with the list's other items.
      for_each_wrapped_piece(w, child, [&](const WrappedPiece& piece) {
        write_wrapped_piece(w, piece, depth, write_entry);
      });
      continue;
    }
    write_entry(child, w.tag(child).id, is_inline_content(w, child),
                [&](const ConversionContext& scope) { w.node(child, scope, depth); });
  }
}

void convert_list(const Walk& w, const TlNode::Tag& tag, bool ordered, const ConversionContext& context,
                  std::size_t depth) {
  std::string& out = w.out();
  blocks::ensure_list_start_separator(w, context);
  const std::uint64_t start = ordered ? list_start_number(w.dom(), tag) : 1;
  // Only an ordered list starting at 1 ends the text before it: any other
  // would continue it after a line break.
  if (start != 1 && context.in_list && !context.in_table_cell && !end_of(out).is_empty() &&
      !end_of(out).is_bare_list_marker()) {
    end_with_blank_line(out);
  }
  const std::size_t item_depth =
      context.in_list && !context.in_list_item ? context.list_depth + 1 : context.list_depth;
  const bool loose = list_has_paragraph_items(w, tag);
  bool other_marker = false;
  // (A list without items writes no marker of its own.)
  const bool has_items =
      std::any_of(tag.children.begin(), tag.children.end(), [&](NodeHandle child) { return w.tag(child).id == TagId::Li; });
  if (has_items && !context.in_table_cell && !end_of(out).is_bare_list_marker()) {
    std::string indent;
    const std::size_t column = append_indent(indent, item_depth, context.item_indent, w.options());
    const std::size_t level = ordered ? context.bullet_level : context.bullet_level + 1;
    other_marker = follows_same_list(out, column, ordered, bullet_for(w.options().bullets, level));
  }
  StructureSink* sink = context.in_table_cell ? nullptr : context.structure_sink;
  if (sink != nullptr) doc_struct_add_list(*sink, ordered);
  render_list_items(w, tag, context, depth, ordered, loose, item_depth, start, other_marker);
  if (sink != nullptr) doc_struct_end_list(*sink);
  ensure_list_end_separator(out, context);
}

void convert_list_item(const Walk& w, NodeHandle node, const TlNode::Tag& tag, const ConversionContext& context,
                       std::size_t depth) {
  std::string& out = w.out();
  const ConversionOptions& options = w.options();
  // In a table cell the items have no markers: a "<br>" keeps one item's
  // text from running into the next.
  if (context.in_table_cell) {
    blocks::break_in_cell(out);
  } else if (!end_of(out).is_line_start() && !end_of(out).is_bare_list_marker()) {
    // Every item starts a line, also after text written between items.
    trim_trailing_spaces_tabs(out);
    if (!end_of(out).is_line_start()) out += '\n';
  }
  // Right after the enclosing item's marker ("- - x") the item needs no
  // indentation: the marker has brought the line to that item's content.
  const std::size_t indent = !context.in_table_cell && end_of(out).is_bare_list_marker()
                                 ? context.item_indent
                                 : append_indent(out, context.list_depth, context.item_indent, options);

  // An item inside inline elements that write markup: its content is
  // written inside them, its blocks theirs (nested lists apart).
  const WrappedListItem* wrapped = context.wrapped_item;
  if (wrapped != nullptr && (wrapped->item != node || !wrapped->path.outermost)) wrapped = nullptr;

  bool block_item = false;
  bool loose_block = false;
  if (wrapped == nullptr) {
    for (NodeHandle child : tag.children) {
      block_item = block_item || is_block_child_tag(w.tag(child).id);
      loose_block = loose_block || is_loose_block_child_tag(w.tag(child).id);
    }
  }
  const bool tight = !context.loose_list && !loose_block && !context.in_table_cell;
  // The last child that wrote something ends a block cleanly.
  bool clean_end = false;
  bool wrote_any = false;

  ConversionContext content = context;
  content.list_depth = context.list_depth + 1;
  content.in_list_item = true;
  content.wrapped_item = nullptr;

  // An item searched before this one and found its first checkbox (or
  // none) further on: there is none in this item's subtree.
  const std::optional<TaskCheckbox> box =
      node < context.checkbox_free_below ? std::nullopt : find_task_checkbox(w, node);
  content.checkbox_free_below = box ? box->node : std::numeric_limits<NodeHandle>::max();
  if (box) {
    // Markdown reads the box as the start of the item's text.
    const std::string_view bullet = context.other_list_marker && !context.in_ordered_list
                                        ? other_bullet(options.bullets, context.bullet_level)
                                        : "-";
    content.item_indent = indent + utf8_char_count(bullet) + 1;
    out += bullet;
    out += box->checked ? " [x]" : " [ ]";
    blocks::BlockBuffer buffer;
    convert_children_except(w.into(buffer.text()), node, box->node, content, depth + 1);
    out += ' ';
    out += trim_unicode_space(buffer);
    if (context.in_table_cell) return;
  } else {
    if (!context.in_table_cell) {
      const std::size_t marker = out.size();
      if (context.in_ordered_list) {
        append_item_number(out, context.list_item_number);
        out += context.other_list_marker ? ") " : ". ";
      } else {
        out += context.other_list_marker ? other_bullet(options.bullets, context.bullet_level)
                                         : bullet_for(options.bullets, context.bullet_level);
        out += ' ';
      }
      content.item_indent = indent + marker_columns(out, marker);
    }
    // The item's own text runs from here to the end of the last child that
    // wrote something and is no nested list.
    const std::size_t text_start = out.size();
    std::size_t text_end = text_start;
    // Where a nested list ended, while nothing has been written after it.
    std::size_t after_list = std::string::npos;
    // One child of the item, of `id`, which `convert` converts.
    const auto write_child = [&](TagId id, const auto& convert) {
      const bool interrupts = tight && interrupts_paragraph(id, options);
      // One block right after another: the blank line the first left
      // shrinks (two quotes in a row keep it, or they would merge).
      if (interrupts && clean_end && !(id == TagId::Blockquote && end_of(out).is_in_quotation())) {
        drop_trailing_blank_lines(out);
      }
      const std::size_t before = out.size();
      convert();
      const bool wrote = out.size() > before && !is_unicode_space_only(std::string_view(out).substr(before));
      // (A rule after text keeps the blank line before it, which makes
      // the list loose for a reader anyway.)
      if (wrote) clean_end = ends_block_cleanly(id) && (id != TagId::Hr || !wrote_any);
      wrote_any = wrote_any || wrote;
      if (is_list_tag(id)) {
        after_list = out.size();
        return;
      }
      // (A child may also shorten the output: a dropped element takes the
      // spaces before it away.)
      if (wrote) {
        text_end = out.size();
        // Content after a nested list is set off by a blank line: on the
        // next line it would continue the nested list's last item.
        if (!interrupts && after_list <= before && out[after_list] != '\n' &&
            end_of(std::string_view(out).substr(0, after_list)).is_single_line_break()) {
          out.insert(after_list, 1, '\n');
          ++text_end;
        }
        after_list = std::string::npos;
      }
    };
    if (wrapped == nullptr) {
      for (NodeHandle child : tag.children) {
        write_child(w.tag(child).id, [&] { w.node(child, content, depth + 1); });
      }
    } else {
      // Each run of children between nested lists inside the elements
      // around the item; the lists stand apart (a link holds no list).
      const std::span<const NodeHandle> children = tag.children.as_span();
      const TagId outermost = w.tag(*wrapped->path.outermost).id;
      std::size_t start = 0;
      for (std::size_t i = 0; i <= children.size(); ++i) {
        const bool list = i < children.size() && is_list_tag(w.tag(children[i]).id);
        if (i < children.size() && !list) continue;
        const std::span<const NodeHandle> run = children.subspan(start, i - start);
        if (!is_blank_run(w, run)) {
          write_child(outermost, [&] { convert_in_wrappers(w, wrapped->path, run, content, depth + 1); });
        }
        if (list) write_child(w.tag(children[i]).id, [&] { w.node(children[i], content, depth + 1); });
        start = i + 1;
      }
    }
    trim_trailing_spaces_tabs(out);
    if (context.in_table_cell) return;
    if (context.structure_sink != nullptr) {
      // The trimming above may have cut into the item's own range (an
      // empty item loses the space of its marker); the range never starts
      // inside a character.
      std::size_t from = std::min(text_start, out.size());
      while (from < out.size() && (static_cast<unsigned char>(out[from]) & 0xC0) == 0x80) ++from;
      const std::size_t to = std::max(from, std::min(text_end, out.size()));
      const std::string_view text = trim_unicode_space(std::string_view(out).substr(from, to - from));
      if (!text.empty()) doc_struct_add_list_item(*context.structure_sink, text);
    }
  }

  if (tight && clean_end) {
    drop_trailing_blank_lines(out);
    if (!end_of(out).is_line_break()) out += '\n';
  } else if (block_item || context.loose_list) {
    end_with_blank_line(out);
  } else if (!end_of(out).is_line_break()) {
    out += '\n';
  }
}

}  // namespace

namespace blocks {

void break_in_cell(std::string& out) {
  if (!end_of(out).is_space() && trim_for_cell_separator(out)) out += "<br>";
}

bool convert_wrapped_items(const Walk& w, NodeHandle child, const ConversionContext& context, std::size_t depth) {
  if (!wraps_items(w, child)) return false;
  for_each_wrapped_piece(w, child, [&](const WrappedPiece& piece) {
    write_wrapped_piece(w, piece, depth,
                        [&](NodeHandle, TagId, bool, const auto& convert) { convert(context); });
  });
  return true;
}

void ensure_list_start_separator(const Walk& w, const ConversionContext& context) {
  std::string& out = w.out();
  const OutputEnd end = end_of(out);
  if (context.in_table_cell) {
    break_in_cell(out);
    return;
  }
  if (end.is_empty()) return;
  if (!context.in_list) {
    if (!end.is_blank_line() && !end.is_bare_list_marker()) out += "\n\n";
    return;
  }
  // Djot reads a list right after a line of text as more of that text.
  if (w.options().output_format == OutputFormat::Djot) {
    if (!end.is_blank_line() && !end.is_bare_list_marker()) {
      trim_trailing_spaces_tabs(out);
      end_with_blank_line(out);
    }
    return;
  }
  if (!context.in_list_item) return;
  // A list right after an item's marker stays on the marker's line.
  if (end.is_line_break() || end.is_bare_list_marker()) return;
  trim_trailing_spaces_tabs(out);
  out += '\n';
}

}  // namespace blocks

void convert_list_element(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  const TlNode::Tag* tag = w.dom().tag(node);
  if (tag == nullptr) return;
  switch (w.tag(node).id) {
    case TagId::Ul:
      convert_list(w, *tag, false, context, depth);
      return;
    case TagId::Ol:
      convert_list(w, *tag, true, context, depth);
      return;
    case TagId::Li:
      convert_list_item(w, node, *tag, context, depth);
      return;
    case TagId::Dl:
      blocks::convert_framed_block(w, node, context, depth);
      return;
    case TagId::Dt:
      // A hard break keeps the term on a line of its own: on the next line
      // the definition would continue it. (Two spaces, which a reader drops
      // before a block, where a backslash would show; djot knows the
      // backslash alone.)
      blocks::convert_text_line(w, node, context, depth, "",
                                w.options().output_format == OutputFormat::Djot ? "\\\n" : "  \n");
      return;
    case TagId::Dd:
      // In djot a block would continue the term's paragraph after its
      // break: a blank line sets the term off instead.
      if (w.options().output_format == OutputFormat::Djot && std::string_view(w.out()).ends_with("\\\n") &&
          starts_with_block(w, node)) {
        w.out().resize(w.out().size() - 2);
        end_with_blank_line(w.out());
      }
      blocks::convert_text_line(w, node, context, depth, "", "\n\n");
      return;
    default:
      return;
  }
}

}  // namespace tidewell
