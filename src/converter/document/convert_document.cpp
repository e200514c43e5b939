#include "converter/document/convert_document.hpp"

#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "common/entities.hpp"
#include "common/tags.hpp"
#include "common/unicode_space.hpp"
#include "converter/document/handler_table.hpp"
#include "converter/metadata/head_collect.hpp"
#include "converter/metadata/head_metadata.hpp"
#include "converter/plain/renderer.hpp"
#include "converter/preprocess/preprocessing.hpp"
#include "converter/repair/repair.hpp"
#include "converter/text/kept_lines.hpp"
#include "converter/walk/policy.hpp"
#include "converter/walk/walk.hpp"
#include "html_parser/parser.hpp"
#include "html_parser/queryselector/queryselector.hpp"

namespace tidewell {

namespace {

// Repairs are bounded: a repaired text that still fails to parse is not
// repaired over and over.
constexpr int kMaxParseRepairs = 2;

// The text a conversion works on: the caller's until a stage rewrites it.
class CurrentText {
 public:
  explicit CurrentText(std::string_view borrowed) : view_(borrowed) {}
  std::string_view view() const { return view_; }
  void replace(std::string text) {
    owned_ = std::move(text);
    view_ = owned_;
  }
  // The preprocessing passes over `text`, which becomes the current text.
  void replace_preprocessed(std::string text) {
    if (auto processed = run_preprocessing(text)) {
      replace(std::move(*processed));
    } else {
      replace(std::move(text));
    }
  }

 private:
  std::string_view view_;
  std::string owned_;
};

bool is_tag_space(char c) { return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' '; }

enum class Landmark : std::uint8_t { None, Table, Body, Html, P };

Landmark landmark_of(TagId id) {
  switch (id) {
    case TagId::P: return Landmark::P;
    case TagId::Table: return Landmark::Table;
    case TagId::Body: return Landmark::Body;
    case TagId::Html: return Landmark::Html;
    default: return Landmark::None;
  }
}

// A row or cell inside a table that stands where no table puts one: the
// fast parsers nest an unclosed cell or row inside the one before it.
bool is_misplaced_table_part(TagId id, TagId parent) {
  const bool in_table_or_section =
      parent == TagId::Table || parent == TagId::Thead || parent == TagId::Tbody || parent == TagId::Tfoot;
  if (id == TagId::Tr) return !in_table_or_section;
  if (id == TagId::Td || id == TagId::Th) return !in_table_or_section && parent != TagId::Tr;
  return false;
}

std::string_view trim_end_spaces_tabs(std::string_view line) {
  std::size_t end = line.size();
  while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
  return line.substr(0, end);
}

void fill_excluded_nodes(const ConversionOptions& options, const TlDom& dom, NodeSet& excluded) {
  for (const std::string& text : options.exclude_selectors) {
    const auto selector = queryselector::parse_query_selector(text, options.parser_backend);
    if (!selector) continue;
    const NodeHandle count = static_cast<NodeHandle>(dom.size());
    for (NodeHandle h = 0; h < count; ++h) {
      if (queryselector::node_matches_selector(*selector, dom, h)) excluded.insert(h);
    }
  }
}

struct HeadFindings {
  HeadMetadataMap entries;
  std::optional<std::string> language;
  std::optional<std::string> direction;
};

HeadFindings find_head_entries(const TlDom& dom, const ConversionOptions& options, bool document_switch) {
  HeadFindings found;
  bool have_map = false;
  for (NodeHandle node : dom.top_level) {
    if (!have_map) {
      HeadMetadataMap entries = collect_head_metadata(node, dom, options);
      if (!entries.empty()) {
        found.entries = std::move(entries);
        have_map = true;
      }
    }
    if (!document_switch) continue;
    const TlNode::Tag* tag = dom.tag(node);
    if (tag == nullptr) continue;
    const std::string_view name = dom.bytes(tag->name);
    if (name != "html" && name != "body") continue;
    if (!found.language) {
      if (auto lang = attribute_map_get(dom, *tag, "lang").value_bytes(dom)) {
        found.language = attribute_text(*lang);
      }
    }
    if (!found.direction) {
      if (auto dir = attribute_map_get(dom, *tag, "dir").value_bytes(dom)) {
        found.direction = attribute_text(*dir);
      }
    }
  }
  return found;
}

// The options the walk writes djot with: djot has headings with '#', code
// between fences and the backslash hard break alone (a setext underline or
// an indented block would read as a paragraph, two spaces as none).
ConversionOptions with_djot_blocks(const ConversionOptions& options) {
  ConversionOptions djot = options;
  djot.heading_style = HeadingStyle::Atx;
  if (djot.code_block_style == CodeBlockStyle::Indented) djot.code_block_style = CodeBlockStyle::Backticks;
  djot.newline_style = NewlineStyle::Backslash;
  return djot;
}

}  // namespace

bool has_hyphenated_tag_name(std::string_view text) {
  const std::size_t n = text.size();
  std::size_t pos = 0;
  while (true) {
    const std::size_t lt = text.find('<', pos);
    if (lt == std::string_view::npos) return false;
    std::size_t i = lt + 1;
    if (i >= n) return false;
    if (text[i] == '/') {
      ++i;
      if (i >= n) return false;
    }
    while (i < n && is_tag_space(text[i])) ++i;
    if (i >= n) return false;
    std::size_t j = i;
    while (j < n && !is_tag_space(text[j]) && text[j] != '/' && text[j] != '>') ++j;
    if (j >= n) return false;
    if (std::memchr(text.data() + i, '-', j - i) != nullptr) return true;
    pos = j;
  }
}

bool needs_structural_repair(const TlDom& dom, const DomContext& dom_context) {
  // What the ancestors of a node say, passed down from parent to children.
  struct Frame {
    NodeHandle node;
    Landmark nearest;      // nearest table, body, html or p ancestor
    bool in_pre_or_code;   // some ancestor is pre or code
    bool inline_ancestor;  // some ancestor is inline and not a, ins or del
    TagId parent;          // the parent's tag (Unknown at the top)
  };
  std::vector<Frame> stack;
  for (std::size_t i = dom_context.roots.size(); i > 0; --i) {
    stack.push_back({dom_context.roots[i - 1], Landmark::None, false, false, TagId::Unknown});
  }
  while (!stack.empty()) {
    const Frame frame = stack.back();
    stack.pop_back();
    const CachedTagInfo* info = dom_cache_tag_info(dom_context, frame.node, dom);
    if (info == nullptr) continue;
    const TagId id = info->id;
    if ((id == TagId::Td || id == TagId::Tr || id == TagId::Th) && frame.nearest == Landmark::P) return true;
    if (frame.nearest == Landmark::Table && is_misplaced_table_part(id, frame.parent)) return true;
    const bool pre_or_code = frame.in_pre_or_code || id == TagId::Pre || id == TagId::Code;
    if (info->is_block && !pre_or_code && frame.inline_ancestor) return true;

    Frame child{0, frame.nearest, pre_or_code, frame.inline_ancestor, id};
    if (const Landmark mark = landmark_of(id); mark != Landmark::None) child.nearest = mark;
    if (tag_has(id, kInline) && id != TagId::A && id != TagId::Ins && id != TagId::Del) child.inline_ancestor = true;
    const auto children = dom_context.children_of(frame.node, dom);
    for (std::size_t i = children.size(); i > 0; --i) {
      child.node = children[i - 1];
      stack.push_back(child);
    }
  }
  return false;
}

std::string normalize_markdown_output(std::string_view output) {
  if (output.empty()) return {};
  std::string out;
  out.reserve(output.size() + 1);
  std::string unmarked;
  // Line feeds at the end of `out`: runs of three or more become two.
  std::size_t run = 0;
  std::size_t pos = 0;
  while (true) {
    const std::size_t nl = output.find('\n', pos);
    std::string_view line = output.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
    const bool kept = line.ends_with(kKeptLineMark);
    if (holds_kept_line_mark(line)) {
      unmarked = without_kept_line_marks(line);
      line = unmarked;
    }
    if (kept) {
      // A line of code stays as it is.
      out += line;
    } else if (line.size() >= 2 && line.ends_with("  ")) {
      out += trim_end_spaces_tabs(line.substr(0, line.size() - 2));
      out += "  ";
    } else {
      line = trim_end_spaces_tabs(line);
      if (line.empty() && run >= 2) {
        if (nl == std::string_view::npos) break;
        pos = nl + 1;
        continue;
      }
      out += line;
    }
    run = !kept && line.empty() ? run + 1 : 1;
    out += '\n';
    if (nl == std::string_view::npos) break;
    pos = nl + 1;
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  if (out.empty()) return {};
  out += '\n';
  return out;
}

std::string normalize_plain_output(std::string_view output) {
  std::string out;
  out.reserve(output.size());
  bool previous_empty = false;
  std::size_t pos = 0;
  while (pos < output.size()) {
    const std::size_t nl = output.find('\n', pos);
    std::string_view line = output.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
    if (nl != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
    line = trim_unicode_space_end(line);
    if (!line.empty()) {
      out += line;
      out += '\n';
      previous_empty = false;
    } else {
      if (!previous_empty) out += '\n';
      previous_empty = true;
    }
    if (nl == std::string_view::npos) break;
    pos = nl + 1;
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  if (!out.empty()) out += '\n';
  return out;
}

Outcome<DocumentConversion> convert_document(std::string_view text, const ConversionOptions& options,
                                             MetadataSink* metadata_sink, StructureSink* structure_sink) {
  // 1. Preprocess.
  CurrentText current(text);
  if (auto processed = run_preprocessing(text)) current.replace(std::move(*processed));

  // 2. Custom elements and comments go through the HTML5 parser.
  if (has_hyphenated_tag_name(current.view())) {
    current.replace_preprocessed(repair_html(current.view()));
  }

  // 3. Parse, repairing when the fast parser fails.
  std::optional<TlDom> dom;
  for (int repairs = 0;; ++repairs) {
    dom.emplace(current.view());
    if (!parse_nodes(options.parser_backend, *dom)) break;
    dom.reset();
    if (repairs >= kMaxParseRepairs) return ConversionError::html_parse("Failed to parse HTML");
    current.replace_preprocessed(repair_html(current.view()));
  }

  // 4. Output and caches.
  std::string output;
  output.reserve(current.view().size() + current.view().size() / 4);
  DomContext dom_context = build_dom_context(dom->top_level, *dom, current.view().size());

  // 5. Structural check, at most once.
  if (needs_structural_repair(*dom, dom_context)) {
    // The first parse and its tables go before the repair builds its own tree.
    dom.reset();
    dom_context = DomContext();
    output = std::string();
    current.replace_preprocessed(repair_html(current.view()));
    ParseResult reparsed = parse_document(options.parser_backend, current.view());
    if (!reparsed) return ConversionError::html_parse("Failed to parse repaired HTML");
    dom.emplace(std::move(reparsed.dom()));
    dom_context = build_dom_context(dom->top_level, *dom, current.view().size());
    output.reserve(current.view().size() + current.view().size() / 4);
  }

  // 6. and 7. Head metadata and front matter. Head entries outside a head
  // (a head left implied, or moved out by the repair) count too, where the
  // head has no entry of their key, and write nothing in the body.
  ImpliedHead implied = collect_implied_head(*dom, options);
  const bool front_matter = options.extract_metadata && !options.convert_as_inline;
  const bool document_switch = metadata_sink != nullptr && metadata_sink->collect_document;
  if (front_matter || document_switch) {
    HeadFindings head = find_head_entries(*dom, options, document_switch);
    head.entries.merge(implied.entries);
    if (front_matter && !head.entries.empty()) append_front_matter(output, head.entries);
    if (document_switch) {
      merge_head_metadata(*metadata_sink, std::move(head.entries));
      if (head.language && !metadata_sink->language) metadata_set_language(*metadata_sink, std::move(*head.language));
      if (head.direction && !metadata_sink->direction) {
        metadata_set_direction(*metadata_sink, std::move(*head.direction));
      }
    }
  }

  // 8. and 9. Context and excluded nodes.
  std::unique_ptr<ReferenceLinkCollector> references;
  if (options.link_style == LinkStyle::Reference) references = std::make_unique<ReferenceLinkCollector>();
  WalkSets sets = build_walk_sets(options);
  if (!options.exclude_selectors.empty()) fill_excluded_nodes(options, *dom, sets.excluded_nodes);
  sets.excluded_nodes.insert(implied.elements.begin(), implied.elements.end());
  if (options.preprocessing.removes_forms()) fill_page_forms(*dom, dom_context, sets.page_forms);

  // 10. Walk.
  {
    std::optional<ConversionOptions> djot;
    const ConversionOptions& written =
        options.output_format == OutputFormat::Djot ? djot.emplace(with_djot_blocks(options)) : options;
    const WalkPolicy policy = WalkPolicy::for_walk(written, sets);
    const Walk walk(*dom, dom_context, written, policy, dom_handler_table(), output);
    const ConversionContext root = make_root_context(written, metadata_sink, structure_sink, references.get());
    for (NodeHandle node : dom->top_level) walk.node(node, root, 0);
  }

  // 11. Reference definitions.
  if (references && !references->entries.empty()) {
    while (!output.empty() && output.back() == '\n') output.pop_back();
    output += "\n\n";
    append_reference_definitions(*references, output);
  }

  // 12. Final text.
  DocumentConversion result;
  if (options.output_format == OutputFormat::PlainText) {
    std::string plain;
    plain.reserve(1024);
    PlainListState list_state;
    const PlainTextScope scope{options, &sets.excluded_nodes, &sets.page_forms};
    render_plain_text_nodes(dom->top_level, *dom, plain, false, list_state, scope);
    result.content = normalize_plain_output(plain);
  } else {
    result.content = normalize_markdown_output(output);
  }

  // 13. Structure.
  if (structure_sink != nullptr) {
    FinishedStructure finished = doc_struct_finish(std::move(*structure_sink));
    result.document = std::move(finished.document);
    result.tables = std::move(finished.tables);
  }
  return result;
}

}  // namespace tidewell
