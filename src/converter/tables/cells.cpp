// Cell contents: the contexts cells are converted in and the texts that
// the pipe table, the grid and captions make of them.
#include <utility>

#include "common/unicode_space.hpp"
#include "converter/tables/table_job.hpp"
#include "converter/text/line_fold.hpp"
#include "converter/text/processing.hpp"

namespace tidewell {
namespace {

// Nesting of a cell's content below the table: row, cell.
constexpr std::size_t kCellNesting = 3;

bool has_child_element(const TlDom& dom, NodeHandle node) {
  const TlNode::Tag* tag = dom.tag(node);
  if (tag == nullptr) return false;
  for (const NodeHandle child : tag->children) {
    if (dom.tag(child) != nullptr) return true;
  }
  return false;
}

// Cuts `text` down to its content: white space, and the "<br>" separators
// of blocks that have nothing on one side of them, never start or end a
// cell. The backslash of a hard break whose line feed went goes too.
void trim_cell_edges(std::string& text) {
  std::string_view kept = trim_unicode_space(text);
  for (;;) {
    if (kept.starts_with("<br>")) {
      kept = trim_unicode_space(kept.substr(4));
    } else if (kept.ends_with("<br>") && !end_of(kept.substr(0, kept.size() - 4)).is_lone_backslash()) {
      kept = trim_unicode_space(kept.substr(0, kept.size() - 4));
    } else {
      break;
    }
  }
  const auto start = static_cast<std::size_t>(kept.data() - text.data());
  std::size_t size = kept.size();
  const bool line_break = text.find('\n', start + size) != std::string::npos;
  if (line_break && end_of(kept).is_lone_backslash()) --size;
  text.resize(start + size);
  text.erase(0, start);
}

// Every line break of a cell as a space; the backslash of a hard break
// goes with it.
void line_breaks_to_spaces(std::string& text) {
  std::size_t backslashes = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      text[i] = ' ';
      if (backslashes % 2 == 1) text[i - 1] = ' ';
    }
    backslashes = text[i] == '\\' ? backslashes + 1 : 0;
  }
}

// Every line break of a cell as "<br>", which keeps the row on its line:
// a line feed, with the two spaces or the backslash of a hard break and any
// other white space before it.
void line_breaks_to_br(std::string& text) {
  if (text.find('\n') == std::string::npos) return;
  std::string out;
  out.reserve(text.size() + 16);
  for (const char c : text) {
    if (c != '\n') {
      out += c;
      continue;
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
    if (end_of(out).is_lone_backslash()) out.pop_back();
    out += "<br>";
  }
  text = std::move(out);
}

}  // namespace

ConversionContext cell_context(const TableJob& job, bool row_list) {
  ConversionContext context = job.context;
  if (row_list) {
    context.inline_mode = true;
  } else {
    context.in_table_cell = true;
  }
  context.table_scans = job.scans;
  // The walk restarts at depth 0 inside cells; its recursion limit still
  // counts the levels above.
  context.nesting_offset = job.context.nesting_offset + job.depth + kCellNesting;
  return context;
}

ConversionContext table_text_context(const TableJob& job) {
  ConversionContext context = job.context;
  context.table_scans = job.scans;
  return context;
}

void walk_children_at_zero(const TableJob& job, NodeHandle node, const ConversionContext& context, std::string& out,
                           BufferPlace place) {
  const Walk w = job.w.into(out, place);
  for (const NodeHandle child : job.reader.children(node)) w.node(child, context, 0);
}

std::string grid_cell_content(std::string_view converted) {
  std::optional<std::string> collapsed = collapse_whitespace(converted);
  std::string content = collapsed ? std::move(*collapsed) : std::string(converted);
  trim_cell_edges(content);
  return content;
}

std::string render_cell_text(const TableJob& job, NodeHandle cell, std::optional<std::string>* grid) {
  const ConversionOptions& options = job.options();
  // The text is built and trimmed in one string, which is returned.
  std::string text;
  if (has_child_element(job.w.dom(), cell)) {
    text.reserve(64);
    walk_children_at_zero(job, cell, cell_context(job, false), text);
    if (grid != nullptr) *grid = grid_cell_content(text);
  } else {
    std::string content;
    dom_append_node_text(job.w.dom_context(), cell, job.w.dom(), content);
    std::optional<std::string> collapsed;
    if (options.whitespace_mode != WhitespaceMode::Strict) {
      collapsed = collapse_whitespace(content);
      // A blank line in the text is one line break, as in running text.
      if (auto folded = fold_blank_lines(collapsed ? std::string_view(*collapsed) : std::string_view(content))) {
        collapsed = std::move(folded);
      }
    }
    text.reserve(content.size() + 8);
    escape_markdown_into(collapsed ? std::string_view(*collapsed) : std::string_view(content), EscapeMode::PageCell,
                         options, text);
  }
  trim_cell_edges(text);
  if (options.br_in_tables) {
    line_breaks_to_br(text);
  } else {
    line_breaks_to_spaces(text);
  }
  return text;
}

ConversionContext caption_context(ConversionContext context) {
  // Blocks in it (a paragraph, a list, code, a quotation, a heading, a
  // formula) stand in the line; its page text escapes the markers.
  context.inline_mode = true;
  context.in_single_line = true;
  context.in_emphasis = true;
  ++context.emphasis_depth;
  return context;
}

namespace {

// '*' before and after `text` pair with each other: no marker run at its
// ends that would make a run of four with them or of three with a run
// inside that can both open and close, no such run inside (it could pair
// with them), no backslash at its end (it would escape the closing one).
bool emphasis_wraps(std::string_view text) {
  std::size_t lead = 0;
  while (lead < text.size() && text[lead] == '*') ++lead;
  std::size_t trail = 0;
  while (trail < text.size() && text[text.size() - 1 - trail] == '*' && !is_escaped_at(text, text.size() - 1 - trail)) {
    ++trail;
  }
  if (lead == text.size() || lead > 2 || trail > 2) return false;
  return !end_of(text).is_lone_backslash() && !holds_two_sided_emphasis_run(text, "*");
}

}  // namespace

void append_caption_text(std::string_view converted, std::string& out) {
  std::string text(trim_unicode_space(converted));
  if (text.empty()) return;
  text.resize(fold_line_breaks(text, 0, text.size()));
  if (emphasis_wraps(text)) {
    out += '*';
    out += text;
    out += "*\n\n";
    return;
  }
  // Without markers before it the text starts a line.
  if (const std::optional<std::string> escaped = escape_line_block_markers(text, true)) text = *escaped;
  out += text;
  out += "\n\n";
}


}  // namespace tidewell
