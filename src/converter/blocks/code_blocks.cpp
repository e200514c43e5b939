// pre: a fenced or indented code block, its language taken from a class.
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/entities.hpp"
#include "common/unicode_space.hpp"
#include "converter/blocks/block_support.hpp"
#include "converter/blocks/blocks.hpp"
#include "converter/text/kept_lines.hpp"
#include "converter/text/processing.hpp"
#include "converter/metadata/structure_sink.hpp"

namespace tidewell {
namespace {

// The language of the first class token that starts with "language-" or
// "lang-": the rest of the token, possibly empty.
std::optional<std::string> language_from_class(const TlDom& dom, const TlNode::Tag& tag) {
  const OptionalSpan class_name = dom.class_of(tag);
  if (!class_name) return std::nullopt;
  const std::string classes = attribute_text(dom.bytes(*class_name));
  for (std::string_view token : split_unicode_space(classes)) {
    for (std::string_view prefix : {std::string_view("language-"), std::string_view("lang-")}) {
      if (token.starts_with(prefix)) return std::string(token.substr(prefix.size()));
    }
  }
  return std::nullopt;
}

// From the pre's class, else from the class of its first child element
// named exactly "code" (as written).
std::optional<std::string> code_block_language(const TlDom& dom, const TlNode::Tag& pre) {
  if (auto language = language_from_class(dom, pre)) return language;
  for (NodeHandle child : pre.children) {
    const TlNode::Tag* tag = dom.tag(child);
    if (tag != nullptr && dom.bytes(tag->name) == "code") return language_from_class(dom, *tag);
  }
  return std::nullopt;
}

// Splits at "\n" (a "\r" right before it goes with it); a final "\n" starts
// no further line.
template <typename F>
void for_each_line(std::string_view text, F&& f) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) {
      f(text.substr(pos));
      return;
    }
    std::string_view line = text.substr(pos, nl - pos);
    if (line.ends_with('\r')) line.remove_suffix(1);
    f(line);
    pos = nl + 1;
  }
}

// The fence: three characters, or one more than the longest run of the
// fence character that opens a line of the content (after up to three
// spaces), so that no content line can close the block.
std::string make_fence(char fence_char, std::string_view content) {
  std::size_t longest = 0;
  for_each_line(content, [&](std::string_view line) {
    std::size_t i = 0;
    while (i < 3 && i < line.size() && line[i] == ' ') ++i;
    std::size_t run = 0;
    while (i + run < line.size() && line[i + run] == fence_char) ++run;
    longest = std::max(longest, run);
  });
  return std::string(std::max<std::size_t>(3, longest + 1), fence_char);
}

// Appends the lines of `body` as they are, marked where the final clean-up
// would change them.
void append_kept_lines(std::string& out, std::string_view body) {
  std::size_t pos = 0;
  while (true) {
    const std::size_t nl = std::min(body.find('\n', pos), body.size());
    const std::string_view line = body.substr(pos, nl - pos);
    out += line;
    if (code_line_needs_keeping(line)) out += kKeptLineMark;
    if (nl == body.size()) return;
    out += '\n';
    pos = nl + 1;
  }
}

// A code block in a table cell: each line of the code a code span of its
// own, the lines joined by line breaks (a blank line writes its line break
// alone), set off from the cell's text around it by line breaks too.
void write_code_in_cell(std::string_view code, std::string& out) {
  if (trim_for_cell_separator(out)) out += '\n';
  while (code.ends_with('\n')) code.remove_suffix(1);
  bool first_line = true;
  for_each_line(code, [&](std::string_view line) {
    if (!first_line) out += '\n';
    first_line = false;
    if (!is_unicode_space_only(line)) write_code_span(line, true, out);
  });
  out += '\n';
}

}  // namespace

std::string dedent_code(std::string_view buffer) {
  if (is_unicode_space_only(buffer)) return std::string(buffer);
  std::size_t first = 0;
  while (first < buffer.size() && buffer[first] == '\n') ++first;
  std::size_t last = buffer.size();
  while (last > first && buffer[last - 1] == '\n') --last;
  const std::string_view core = buffer.substr(first, last - first);
  const std::size_t trailing_newlines = buffer.size() - last;

  std::size_t margin = std::string_view::npos;
  for_each_line(core, [&](std::string_view line) {
    std::size_t bytes = 0;
    const std::size_t chars = leading_space_chars(line, &bytes);
    if (bytes < line.size()) margin = std::min(margin, chars);
  });
  if (margin == std::string_view::npos) margin = 0;

  std::string out;
  out.reserve(core.size() + trailing_newlines);
  bool first_line = true;
  for_each_line(core, [&](std::string_view line) {
    if (!first_line) out += '\n';
    first_line = false;
    if (is_unicode_space_only(line)) {
      out += line;
    } else {
      out += line.substr(space_prefix_bytes(line, margin));
    }
  });
  out.append(trailing_newlines, '\n');
  return out;
}

std::size_t code_span_fence_length(std::string_view content) {
  // The lengths of the backtick runs, then the smallest length not among them.
  // A run after a backslash counts once more without its first backtick:
  // the span is read back from its end (code_span_at_end), which takes that
  // backtick for an escaped one of the text, and must not find its opening
  // run inside the content.
  std::vector<std::size_t> runs;
  for (std::size_t i = content.find('`'); i != std::string_view::npos; i = content.find('`', i)) {
    const std::size_t end = std::min(content.find_first_not_of('`', i), content.size());
    runs.push_back(end - i);
    if (end - i > 1 && is_escaped_at(content, i)) runs.push_back(end - i - 1);
    i = end;
  }
  std::sort(runs.begin(), runs.end());
  std::size_t n = 1;
  for (const std::size_t run : runs) {
    if (run == n) ++n;
    if (run > n) break;
  }
  return n;
}

namespace {

// Appends the content of a code span as written: in a cell its "|" were
// written as "\|".
void append_written_span_content(std::string& to, std::string_view written, bool in_table_cell) {
  for (const char c : written) {
    if (c == '|' && in_table_cell && !to.empty() && to.back() == '\\') to.pop_back();
    to += c;
  }
}

}  // namespace

std::size_t write_code_span(std::string_view content, bool in_table_cell, std::string& out, bool joins) {
  std::string joined;
  if (joins) {
    const std::optional<CodeSpanAtEnd> before = code_span_at_end(out, kCodeSpanJoinReach);
    // A span too long to take up again stands apart: a space keeps the
    // backtick runs from meeting.
    if (!before && out.ends_with('`')) out += ' ';
    if (before) {
      append_written_span_content(joined, before->content, in_table_cell);
      joined += content;
      content = joined;
      out.resize(before->start);
    }
  }
  const std::size_t start = out.size();
  const std::size_t fence = code_span_fence_length(content);
  const auto is_space = [](char c) { return c == ' ' || c == '\n' || c == '\r'; };
  const bool padded = !content.empty() && (content.front() == '`' || content.back() == '`' ||
                                           (is_space(content.front()) && is_space(content.back())));
  out.append(fence, '`');
  if (padded) out += ' ';
  for (const char c : content) {
    if (c != ' ' && is_space(c)) {
      out += ' ';
    } else {
      if (c == '|' && in_table_cell) out += '\\';
      out += c;
    }
  }
  if (padded) out += ' ';
  out.append(fence, '`');
  return start;
}

std::size_t append_joining_code_spans(std::string& out, std::string_view text, bool in_table_cell) {
  const std::size_t start = out.size();
  // A backtick after a backslash is text, or the end of a span whose code
  // ends with a backslash.
  if (!text.starts_with('`') || !out.ends_with('`') ||
      (is_escaped_at(out, out.size() - 1) && !ends_with_code_span(out, 4 * kCodeSpanJoinReach))) {
    out += text;
    return start;
  }
  const std::optional<CodeSpanAtStart> span = code_span_at_start(text, kCodeSpanJoinReach);
  if (!span) {
    // Too long to take up: a space keeps the backtick runs apart.
    out += ' ';
    out += text;
    return start;
  }
  std::string content;
  append_written_span_content(content, span->content, in_table_cell);
  const std::size_t joined = write_code_span(content, in_table_cell, out, true);
  out += text.substr(span->end);
  return joined;
}

void convert_code_block(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  const TlNode::Tag* tag = w.dom().tag(node);
  if (tag == nullptr) return;
  const ConversionOptions& options = w.options();

  ConversionContext code_context = context;
  code_context.in_code = true;
  // The text is not re-indented for a list item the block stands in: the
  // block's lines as a whole are, below.
  code_context.in_list_item = false;
  if (context.in_code && context.in_table_cell && !context.inline_mode) {
    // In a cell, code inside code is text of the outer code, on lines of
    // its own: its own code spans would be wrapped, backticks and all, into
    // the outer ones (and every level of a nesting would wrap all those
    // inside it again). Written where it stands, it is not copied either.
    std::string& out = w.out();
    ensure_line_break(out);
    w.children(node, code_context, depth);
    ensure_line_break(out);
    return;
  }
  blocks::BlockBuffer buffer;
  blocks::convert_into_buffer(w, node, code_context, depth + 1, buffer);
  if (buffer.text().empty()) return;
  // Strict white space keeps the text as converted, with no copy of it.
  const bool strict = options.whitespace_mode == WhitespaceMode::Strict;
  const std::string dedented = strict ? std::string() : dedent_code(buffer);
  const std::string_view content = strict ? std::string_view(buffer) : std::string_view(dedented);
  std::optional<std::string> language = code_block_language(w.dom(), *tag);

  if (context.in_table_cell && !context.inline_mode) {
    write_code_in_cell(content, w.out());
    if (context.structure_sink != nullptr) doc_struct_add_code(*context.structure_sink, content, std::move(language));
    return;
  }

  // In a list item the block's lines are indented to the item's content,
  // which keeps the block in the item (a reader takes that indentation off
  // again); right after the item's marker the first line follows it.
  const bool in_item = context.in_list_item && !context.in_table_cell && !context.inline_mode;
  const bool after_marker = in_item && w.end().is_bare_list_marker();
  std::string& target = w.out();
  // A fence ends the text before it in a tight item; indentation alone
  // would continue that text.
  if (!context.inline_mode && !after_marker) {
    if (blocks::in_tight_item(w, context) && options.code_block_style != CodeBlockStyle::Indented &&
        !end_of(target).is_blank_line()) {
      ensure_line_break(target);
    } else {
      ensure_blank_line(target);
    }
  } else if (context.inline_mode && !context.in_single_line && !context.in_table_cell) {
    // In running text too a fence opens only at the start of a line.
    trim_trailing_spaces_tabs(target);
    ensure_line_break(target);
  }
  std::string item_block;
  std::string& out = in_item ? item_block : target;
  // Cells, headings and inline text (a link's label) fold the block onto
  // one line, and may record it: nothing there to keep.
  const bool keep_lines = !context.in_table_cell && !context.inline_mode && !context.in_single_line;
  std::string_view body = content;
  while (body.ends_with('\n')) body.remove_suffix(1);
  if (options.code_block_style == CodeBlockStyle::Indented) {
    bool first_line = true;
    std::size_t pos = 0;
    for_each_line(content, [&](std::string_view line) {
      if (!first_line) out += '\n';
      first_line = false;
      if (!line.empty()) out += "    ";
      out += line;
      // The empty lines after the last line of code are no code.
      if (keep_lines && pos < body.size() && code_line_needs_keeping(line)) out += kKeptLineMark;
      pos = std::min(content.find('\n', pos), content.size()) + 1;
    });
    out += "\n\n";
  } else {
    const std::string fence = make_fence(options.code_block_style == CodeBlockStyle::Tildes ? '~' : '`', body);
    out += fence;
    if (language) {
      // A backtick would end a backtick fence's info string: the block reads
      // as text then. Such a language is left out.
      if (fence.front() != '`' || language->find('`') == std::string::npos) out += *language;
    } else {
      out += options.code_language;
    }
    out += '\n';
    if (keep_lines) {
      append_kept_lines(out, body);
    } else {
      out += body;
    }
    out += '\n';
    out += fence;
    out += "\n\n";
  }
  if (in_item) blocks::append_indented_lines(target, item_block, context.item_indent, after_marker);

  if (context.structure_sink != nullptr) doc_struct_add_code(*context.structure_sink, content, std::move(language));
}

}  // namespace tidewell
