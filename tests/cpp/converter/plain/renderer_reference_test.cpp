// Differential test: the stack-based renderer against a direct recursive
// rendering that builds every table cell in a string of its own. Runs over
// random markup and the corpus pages (both shallow enough for recursion).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "common/ascii.hpp"
#include "common/entities.hpp"
#include "converter/plain/renderer.hpp"
#include "converter/text/processing.hpp"
#include "converter/walk/boilerplate.hpp"
#include "html_parser/parser.hpp"
#include "support/corpus.hpp"

namespace tidewell {
namespace {

// The reference's own spacing and row search, written plainly.
void plain_text_ensure_newline(std::string& out) {
  if (!out.empty() && out.back() != '\n') out += '\n';
}

void plain_text_ensure_blank_line(std::string& out) {
  if (out.empty()) return;
  while (!out.empty() && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
  if (out.size() >= 2 && out.ends_with("\n\n")) return;
  out += (!out.empty() && out.back() == '\n') ? "\n" : "\n\n";
}

std::string lower(std::string_view s);
std::string trim_unicode(const std::string& s);

// What a child of a table, or of an element between a table and its rows,
// is to the table.
enum class Part { Nothing, Content, Row, Cell, Caption, Table, Element };

Part part_of(const TlDom& dom, NodeHandle h) {
  const TlNode* n = dom.node(h);
  if (n == nullptr || n->is_comment()) return Part::Nothing;
  if (const TlNode::Raw* raw = n->as_raw()) {
    std::string text;
    append_utf8_lossy(dom.bytes(raw->text), text);
    return trim_unicode(text).empty() ? Part::Nothing : Part::Content;
  }
  const std::string name = lower(dom.bytes(n->as_tag()->name));
  if (name == "tr") return Part::Row;
  if (name == "td" || name == "th") return Part::Cell;
  if (name == "caption") return Part::Caption;
  if (name == "table") return Part::Table;
  return Part::Element;
}

// An element below a table holds one of its rows or cells (nested tables
// and captions not looked into).
bool holds_rows(NodeHandle h, const TlDom& dom) {
  for (NodeHandle c : dom.tag(h)->children) {
    const Part part = part_of(dom, c);
    if (part == Part::Row || part == Part::Cell || (part == Part::Element && holds_rows(c, dom))) return true;
  }
  return false;
}

// The table's pieces in document order: a row is its members (a tr's
// children, or a run of td/th without a tr, comments and white space
// between them), other content a node of its own; captions go to
// `captions`.
struct Piece {
  std::vector<NodeHandle> row;
  NodeHandle content = 0;
  bool is_row = false;
};

void collect_table_pieces(NodeHandle h, const TlDom& dom, std::vector<Piece>& pieces,
                          std::vector<Piece>& captions) {
  const std::span<const NodeHandle> kids = dom.tag(h)->children.as_span();
  for (std::size_t i = 0; i < kids.size(); ++i) {
    switch (part_of(dom, kids[i])) {
      case Part::Nothing:
        break;
      case Part::Row: {
        const auto members = dom.tag(kids[i])->children.as_span();
        pieces.push_back({{members.begin(), members.end()}, 0, true});
        break;
      }
      case Part::Cell: {
        std::size_t end = i + 1;
        for (std::size_t j = i + 1; j < kids.size(); ++j) {
          const Part next = part_of(dom, kids[j]);
          if (next == Part::Cell) {
            end = j + 1;
          } else if (next != Part::Nothing) {
            break;
          }
        }
        const auto run = kids.subspan(i, end - i);
        pieces.push_back({{run.begin(), run.end()}, 0, true});
        i = end - 1;
        break;
      }
      case Part::Caption:
        captions.push_back({{}, kids[i], false});
        break;
      case Part::Element:
        if (holds_rows(kids[i], dom)) {
          collect_table_pieces(kids[i], dom, pieces, captions);
          break;
        }
        [[fallthrough]];
      case Part::Content:
      case Part::Table:
        pieces.push_back({{}, kids[i], false});
        break;
    }
  }
}

std::string lower(std::string_view s) {
  std::string out;
  append_utf8_lossy(s, out);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool is_ws_cp(char32_t cp) {
  return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
         (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F ||
         cp == 0x3000;
}

// Decodes valid UTF-8 into code points with their byte offsets.
std::vector<std::pair<std::size_t, char32_t>> code_points(std::string_view s) {
  std::vector<std::pair<std::size_t, char32_t>> out;
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    out.emplace_back(i, cp);
    i += len;
  }
  return out;
}

std::string trim_unicode(const std::string& s) {
  const auto cps = code_points(s);
  std::size_t first = 0;
  while (first < cps.size() && is_ws_cp(cps[first].second)) ++first;
  std::size_t last = cps.size();
  while (last > first && is_ws_cp(cps[last - 1].second)) --last;
  if (first == last) return "";
  const std::size_t b = cps[first].first;
  const std::size_t e = last == cps.size() ? s.size() : cps[last].first;
  return s.substr(b, e - b);
}

char32_t first_cp(const std::string& s) { return s.empty() ? U' ' : code_points(s).front().second; }
char32_t last_cp(const std::string& s) { return s.empty() ? U' ' : code_points(s).back().second; }
bool word_cp(char32_t c) { return c >= 0x80 ? !is_ws_cp(c) : std::isalnum(static_cast<int>(c)) != 0; }

bool is_block_name(const std::string& name) {
  return name == "p" || name == "div" || (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6') ||
         name == "blockquote" || name == "section" || name == "article" || name == "aside" || name == "main" ||
         name == "nav" || name == "header" || name == "footer" || name == "figure" || name == "figcaption" ||
         name == "details" || name == "summary" || name == "address" || name == "hgroup" || name == "search" ||
         name == "dl";
}

// A definition list's terms and definitions: each on a line of its own.
bool is_line_name(const std::string& name) { return name == "dt" || name == "dd"; }

// Elements the reference writes nothing of its own for: only their children.
bool passes_through(const std::string& name) {
  return !(name == "br" || name == "hr" || name == "ul" || name == "ol" || name == "li" || name == "pre" ||
           name == "table" || name == "img" || is_block_name(name) || is_line_name(name));
}

// The text without the spaces and tabs that start its lines (its first
// line too when `after_line_feed`).
std::string unindent(const std::string& text, bool after_line_feed) {
  std::string out;
  bool line_start = after_line_feed;
  for (char c : text) {
    if (line_start && (c == ' ' || c == '\t')) continue;
    line_start = c == '\n';
    out += c;
  }
  return out;
}

struct Reference {
  const TlDom& dom;
  const ConversionOptions& options;
  // Nothing but an alt text was written since the last text.
  bool after_alt = false;
  // The output's size where a block's or item's text starts, and where the
  // last item's marker ends.
  std::size_t text_start = 0;
  std::size_t marker_end = std::string::npos;

  // A block's separation, none right after an item's marker.
  void separate(std::string& out, bool blank_line) {
    if (out.size() != marker_end) {
      if (blank_line) {
        plain_text_ensure_blank_line(out);
      } else {
        plain_text_ensure_newline(out);
      }
    }
    text_start = out.size();
  }

  void children(NodeHandle h, std::string& out, bool pre, PlainListState& list) {
    for (NodeHandle c : dom.tag(h)->children) node(c, out, pre, list);
  }

  void node(NodeHandle h, std::string& out, bool pre, PlainListState& list) {
    const TlNode* n = dom.node(h);
    if (n == nullptr || n->is_comment()) return;
    if (const TlNode::Raw* raw = n->as_raw()) {
      std::string text;
      append_utf8_lossy(dom.bytes(raw->text), text);
      if (text.find('&') != std::string::npos) text = decode_entities_owned(text);
      if (pre) {
        out += text;
        return;
      }
      // A block's text starts at its first visible character; the source's
      // indentation after a line feed is not written.
      if (out.size() == text_start) text.erase(0, std::min(text.find_first_not_of(" \t\n\f\r"), text.size()));
      text = unindent(text, !out.empty() && out.back() == '\n');
      std::string folded;
      collapse_whitespace_into(text, folded);
      if (folded.empty()) return;
      // A word right after an alt text is set off from it.
      if (after_alt && !is_ws_cp(last_cp(out)) && word_cp(first_cp(folded))) out += ' ';
      after_alt = false;
      if (folded == " " && !out.empty() && out.back() == '\n') return;
      out += folded;
      return;
    }
    const TlNode::Tag& tag = *n->as_tag();
    const std::string name = lower(dom.bytes(tag.name));
    for (const char* skip : {"svg", "math", "style", "script", "template", "noscript"}) {
      if (name == skip) return;
    }
    if (name == "head") {
      // The head's own elements stay in it; from the first other child on
      // (white space and comments before it do not count), the rest is the
      // body's.
      bool moved = false;
      for (NodeHandle c : tag.children) {
        const TlNode* child = dom.node(c);
        if (child == nullptr || child->is_comment()) continue;
        if (const TlNode::Tag* t = child->as_tag()) {
          const std::string child_name = lower(dom.bytes(t->name));
          bool own = false;
          for (const char* head_element :
               {"title", "meta", "link", "base", "script", "style", "noscript", "template"}) {
            own = own || child_name == head_element;
          }
          if (own) continue;
        } else if (!moved && dom.bytes(child->as_raw()->text).find_first_not_of(" \t\n\f\r") == std::string::npos) {
          continue;
        }
        moved = true;
        node(c, out, pre, list);
      }
      return;
    }
    if (is_boilerplate_element(name, dom, tag, options.preprocessing)) return;
    // Blocks, breaks, lists and tables stand between an alt text and what
    // follows.
    if (name != "img" && !passes_through(name)) after_alt = false;
    if (name == "br") {
      out += "\n";
    } else if (name == "hr") {
      separate(out, true);
    } else if (name == "ul" || name == "ol") {
      PlainListState state{name == "ul" ? PlainListKind::Unordered : PlainListKind::Ordered, 1};
      if (name == "ol") {
        if (auto v = attribute_value(dom, tag, "start")) state.number = parse_attribute_u32(*v).value_or(1);
      }
      separate(out, false);
      children(h, out, false, state);
      separate(out, false);
      after_alt = false;
    } else if (name == "li") {
      separate(out, false);
      if (list.kind == PlainListKind::Ordered) {
        out += std::to_string(list.number) + ". ";
        ++list.number;
      } else {
        out += "- ";
      }
      marker_end = text_start = out.size();
      children(h, out, false, list);
      // (A marker alone too: the next item starts a line.)
      plain_text_ensure_newline(out);
      text_start = out.size();
      after_alt = false;
    } else if (name == "pre") {
      separate(out, true);
      children(h, out, true, list);
      separate(out, true);
      after_alt = false;
    } else if (name == "table") {
      separate(out, true);
      table(h, out);
      separate(out, true);
      after_alt = false;
    } else if (name == "img") {
      if (options.skip_images) return;
      if (auto alt = attribute_value(dom, tag, "alt")) {
        const std::string text = attribute_text(*alt);
        if (text.empty()) return;
        // An alt text stands apart from a word or a sentence's end before it.
        const char32_t before = out.empty() ? U' ' : last_cp(out);
        const bool ends_word = before >= 0x80 ? !is_ws_cp(before)
                                              : (std::isalnum(static_cast<int>(before)) != 0 ||
                                                 std::u32string_view(U".,;:!?)]\"'").find(before) != std::u32string_view::npos);
        if (ends_word && !is_ws_cp(first_cp(text))) out += ' ';
        // A block's first text starts at its first visible character.
        if (out.size() == text_start) {
          const std::string trimmed = trim_unicode(text);
          out += text.substr(trimmed.empty() ? text.size() : text.find(trimmed));
        } else {
          out += text;
        }
        after_alt = !trim_unicode(text).empty();
      }
    } else if (is_block_name(name)) {
      separate(out, true);
      children(h, out, pre, list);
      separate(out, true);
      after_alt = false;
    } else if (is_line_name(name)) {
      separate(out, false);
      children(h, out, pre, list);
      separate(out, false);
      after_alt = false;
    } else {
      children(h, out, pre, list);
    }
  }

  // A node rendered on its own, trimmed (the text around it keeps its
  // text start and marker).
  std::string alone(NodeHandle h, bool children_only) {
    std::string text;
    PlainListState none;
    const std::size_t outer_text_start = text_start;
    const std::size_t outer_marker_end = marker_end;
    text_start = 0;
    marker_end = std::string::npos;
    if (children_only) {
      children(h, text, false, none);
    } else {
      node(h, text, false, none);
    }
    text_start = outer_text_start;
    marker_end = outer_marker_end;
    return trim_unicode(text);
  }

  // Captions first, then rows one a line (cells and other content
  // tab-separated) and other content on lines of its own.
  void table(NodeHandle h, std::string& out) {
    std::vector<Piece> pieces;
    std::vector<Piece> captions;
    collect_table_pieces(h, dom, pieces, captions);
    pieces.insert(pieces.begin(), captions.begin(), captions.end());
    for (std::size_t p = 0; p < pieces.size(); ++p) {
      if (!pieces[p].is_row) {
        separate(out, false);
        out += alone(pieces[p].content, false);
        separate(out, false);
        continue;
      }
      if (p > 0 && pieces[p - 1].is_row) out += "\n";
      bool any = false;
      for (NodeHandle c : pieces[p].row) {
        const Part part = part_of(dom, c);
        if (part == Part::Nothing) continue;
        const std::string text = alone(c, part == Part::Cell);
        if (part != Part::Cell && text.empty()) continue;
        if (any) out += "\t";
        any = true;
        out += text;
      }
    }
  }
};

void compare_one(ParserBackend backend, const std::string& html, const ConversionOptions& options,
                 const std::string& label) {
  auto parsed = parse_document(backend, html);
  if (!parsed.ok()) return;
  const TlDom& dom = parsed.dom();
  std::string expected;
  PlainListState expected_state;
  Reference ref{dom, options};
  for (NodeHandle h : dom.top_level) ref.node(h, expected, false, expected_state);
  std::string actual;
  PlainListState state;
  render_plain_text_nodes(dom.top_level, dom, actual, false, state, PlainTextScope{options});
  ASSERT_EQ(actual, expected) << label;
}

// Both parser backends fill the same document model.
void compare(const std::string& html, const ConversionOptions& options, const std::string& label) {
  compare_one(ParserBackend::Copperfern, html, options, label);
  compare_one(ParserBackend::AsmTl, html, options, label);
}

TEST(PlainTextReference, RandomMarkup) {
  const char* fragments[] = {
      "<table>", "</table>", "<tr>", "</tr>", "<td>", "</td>", "<th>", "</th>", "<tbody>", "</tbody>",
      "<ul>", "</ul>", "<ol start=3>", "<ol>", "</ol>", "<li>", "</li>", "<pre>", "</pre>", "<p>", "</p>",
      "<div>", "</div>", "<br>", "<hr>", "<span>", "</span>", "<img alt=' a '>", "<nav>", "</nav>",
      "<script>", "</script>", " ", "  ", "\n", "\t", "x", "y z", "&amp;", "&nbsp;", "\xC2\xA0", "<!--c-->",
      "\xE3\x80\x80", "<header class=menu>", "</header>", "<caption>", "</caption>",
  };
  std::mt19937 rng(12345);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(fragments) - 1);
  std::uniform_int_distribution<int> length(1, 60);
  const ConversionOptions options;
  for (int round = 0; round < 20000; ++round) {
    std::string html;
    for (int i = length(rng); i > 0; --i) html += fragments[pick(rng)];
    compare(html, options, html);
    if (HasFatalFailure()) return;
  }
}

TEST(PlainTextReference, CorpusPages) {
  namespace fs = std::filesystem;
  const fs::path root = TIDEWELL_CORPUS_DIR;
  std::size_t pages = 0;
  for (const char* folder : {"readability/pages", "trafilatura/pages", "article-extraction-benchmark/pages"}) {
    const fs::path dir = root / folder;
    if (!fs::is_directory(dir)) continue;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      std::ifstream in(file, std::ios::binary);
      std::stringstream buf;
      buf << in.rdbuf();
      ConversionOptions options;
      compare(buf.str(), options, file.string());
      options.preprocessing.preset = PreprocessingPreset::Aggressive;
      options.skip_images = true;
      compare(buf.str(), options, file.string());
      if (HasFatalFailure()) return;
      ++pages;
    }
  }
  if (pages == 0) TIDEWELL_SKIP_WITHOUT_CORPUS("corpus pages");
}

}  // namespace
}  // namespace tidewell
