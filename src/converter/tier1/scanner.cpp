#include "converter/tier1/scanner.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "common/ascii.hpp"
#include "common/char_sides.hpp"
#include "common/entities.hpp"
#include "common/scan.hpp"
#include "common/unicode_space.hpp"
#include "converter/text/line_fold.hpp"
#include "converter/text/processing.hpp"
#include "converter/tier1/attributes.hpp"
#include "converter/tier1/scanner_internal.hpp"

namespace tidewell {

namespace tier1 {
namespace {

constexpr std::size_t npos = std::string_view::npos;

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_name_byte(char c) { return is_letter(c) || (c >= '0' && c <= '9') || c == '_' || c == '-'; }

// The bytes that stop the search for a tag's end: '>' and the quotes.
constexpr std::array<bool, 256> make_tag_end_stops() {
  std::array<bool, 256> t{};
  t['>'] = t['"'] = t['\''] = true;
  return t;
}
constexpr std::array<bool, 256> kTagEndStop = make_tag_end_stops();

bool is_table_kind(Tier1Kind kind) {
  return kind == Tier1Kind::Table || kind == Tier1Kind::TableHead || kind == Tier1Kind::TableBody ||
         kind == Tier1Kind::TableFoot || kind == Tier1Kind::TableRow || kind == Tier1Kind::Cell;
}

// Whether an open element of `group` closes when `incoming` opens.
bool closes_implicitly(Tier1CloseGroup group, const Tier1Tag& incoming) {
  switch (group) {
    case Tier1CloseGroup::None: return false;
    case Tier1CloseGroup::ListItem: return incoming.kind == Tier1Kind::ListItem;
    case Tier1CloseGroup::Paragraph: return incoming.is_block;
    case Tier1CloseGroup::TableRow: return incoming.kind == Tier1Kind::TableRow;
    case Tier1CloseGroup::Cell: return incoming.kind == Tier1Kind::Cell;
    case Tier1CloseGroup::Option: return incoming.kind == Tier1Kind::Transparent;
  }
  return false;
}

// Whether an end tag for `closing` closes the open element `open`.
bool end_tag_matches(const Tier1Tag& open, const Tier1Tag& closing) {
  if (open.kind != closing.kind) return false;
  if (open.kind == Tier1Kind::List || open.kind == Tier1Kind::Cell) return open.param == closing.param;
  return true;
}

// Elements that may stand in a table outside its cells.
bool is_table_structure(const Tier1Tag& tag) {
  switch (tag.kind) {
    case Tier1Kind::TableHead:
    case Tier1Kind::TableBody:
    case Tier1Kind::TableFoot:
    case Tier1Kind::TableRow:
    case Tier1Kind::Cell:
    case Tier1Kind::Caption:
      return true;
    default:
      return tag.id == TagId::Col || tag_info(tag.id).name == "colgroup";
  }
}

// The ol start attribute: an optional '+' and decimal digits up to 65535;
// anything else counts from 1.
std::uint16_t list_start_value(std::string_view attributes) {
  const auto start = find_tier1_attribute(attributes, "start");
  if (!start || !start->value) return 1;
  std::string_view v = *start->value;
  if (!v.empty() && v.front() == '+') v.remove_prefix(1);
  if (v.empty() || v.size() > 5) return 1;
  std::uint32_t n = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return 1;
    n = n * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return n > 65535 ? 1 : static_cast<std::uint16_t>(n);
}

// The end of `out` before the white space it ends with, no earlier than
// `from`: a no-break space counts as white space here, as it does for a
// Markdown reader beside an emphasis marker.
std::size_t end_before_white_space(std::string_view out, std::size_t from) {
  std::size_t end = out.size();
  while (end > from) {
    const auto last = static_cast<unsigned char>(out[end - 1]);
    if (last < 0x80) {
      if (!is_unicode_space(last)) break;
      --end;
      continue;
    }
    const std::size_t n = space_len_before(out, end);
    if (n == 0 || end - n < from) break;
    end -= n;
  }
  return end;
}

// A run of '*' inside `content`, after its first run and before its end,
// that a reader could take both for an opening and for a closing marker: it
// stands between two letters or digits or between two punctuation
// characters, as Unicode has them (a character that may be either counts as
// both). The run that starts at `known` is left aside; escaped markers are
// text.
bool holds_two_sided_marker_run(std::string_view content, std::size_t known) {
  std::size_t i = content.find_first_not_of('*');
  while (i != npos && (i = content.find('*', i)) != npos) {
    std::size_t end = i;
    while (end < content.size() && content[end] == '*') ++end;
    if (end == content.size()) return false;
    if (i != known && !is_escaped_at(content, i) &&
        (side_of_char_before(content, i) & side_of_char_at(content, end) & (kWordSide | kPunctSide)) != 0) {
      return true;
    }
    i = end;
  }
  return false;
}

// Whether the attributes hold the boolean attribute `hidden` (names only
// are read; quoted values are passed over by a search).
bool has_hidden_attribute(std::string_view attributes) {
  return attributes.size() >= 7 && find_tier1_attribute(attributes, "hidden").has_value();
}

}  // namespace

// ---------------------------------------------------------------------------
// Output helpers

void trim_spaces_and_tabs(std::string& out) {
  std::size_t n = out.size();
  while (n > 0 && (out[n - 1] == ' ' || out[n - 1] == '\t')) --n;
  out.resize(n);
}

void ensure_blank_line(std::string& out) {
  const std::size_t n = out.size();
  if (n == 0 || (n >= 2 && out[n - 1] == '\n' && out[n - 2] == '\n')) return;
  trim_spaces_and_tabs(out);
  if (out.empty()) return;
  out += out.back() == '\n' ? "\n" : "\n\n";
}

void ensure_line_break(std::string& out) {
  trim_spaces_and_tabs(out);
  if (!out.empty() && out.back() != '\n') out += '\n';
}

// ---------------------------------------------------------------------------
// The scanner

Scanner::Scanner(std::string_view text, const ConversionOptions& options) : text_(text), options_(options) {
  main_.reserve(std::min<std::size_t>(std::max<std::size_t>(text.size() / 3, 1024), 262144));
  frames_.reserve(16);
}

bool Scanner::fail(Tier1Reason reason, std::string_view name) {
  bailout_.reason = reason;
  bailout_.name = std::string(name);
  bailout_.position = position_;
  bailout_.open_elements = frames_.size();
  return false;
}

bool Scanner::run() {
  const std::size_t n = text_.size();
  const char* const data = text_.data();
  std::size_t text_start = 0;
  std::size_t cursor = 0;
  while (cursor < n) {
    const std::size_t lt = scan::find_byte_near(text_, '<', cursor);
    if (lt == npos) break;
    if (lt > text_start && !push_text(text_.substr(text_start, lt - text_start))) return false;
    position_ = lt;
    if (lt + 1 >= n) return fail(Tier1Reason::MalformedMarkup);
    const char next = data[lt + 1];
    std::size_t after = lt;
    bool ok;
    if (next == '!') {
      ok = markup_declaration(lt, after);
    } else if (next == '?' || (next == '/' && lt + 2 < n && !is_letter(data[lt + 2]))) {
      ok = bogus_comment(lt, after);
    } else if (next == '/') {
      ok = end_tag(lt, after);
    } else if (is_letter(next)) {
      ok = start_tag(lt, after);
    } else {
      ok = fail(Tier1Reason::MalformedMarkup);
    }
    if (!ok) return false;
    cursor = text_start = after;
  }
  if (text_start < n && !push_text(text_.substr(text_start))) return false;
  position_ = n;
  return end_of_input();
}

// The position after the first '>' at or after `from` that no quoted stretch
// holds, or npos.
std::size_t Scanner::tag_end(std::size_t from) const {
  const std::size_t n = text_.size();
  if (from >= n) return npos;
  const char* const data = text_.data();
  // Most tags hold no quote before their '>'.
  std::size_t i = from;
  while (i < n && !kTagEndStop[static_cast<unsigned char>(data[i])]) ++i;
  if (i < n && data[i] == '>') return i + 1;
  while (i < n) {
    const char c = data[i];
    if (c == '>') return i + 1;
    if (c == '"' || c == '\'') {
      // A quoted stretch ends at the same quote, wherever that is.
      const void* close = std::memchr(data + i + 1, c, n - i - 1);
      if (close == nullptr) return npos;
      i = static_cast<std::size_t>(static_cast<const char*>(close) - data) + 1;
      continue;
    }
    ++i;
    while (i < n && !kTagEndStop[static_cast<unsigned char>(data[i])]) ++i;
  }
  return npos;
}

bool Scanner::markup_declaration(std::size_t lt, std::size_t& after) {
  const std::size_t n = text_.size();
  if (n - lt >= 9 && text_.compare(lt, 9, "<![CDATA[") == 0) return fail(Tier1Reason::CdataSection);
  if (lt + 2 >= n) return fail(Tier1Reason::MalformedMarkup);
  if (text_.compare(lt, 4, "<!--") == 0) {
    // "<!-->" and "<!--->" end a comment at once for an HTML reader; the
    // DOM road decides what follows them.
    if (lt + 6 >= n || text_[lt + 4] == '>' || text_.compare(lt + 4, 2, "->") == 0) {
      return fail(Tier1Reason::MalformedMarkup);
    }
    const std::size_t close = text_.find("-->", lt + 4);
    if (close == npos) return fail(Tier1Reason::MalformedMarkup);
    // "--!>" ends a comment early for an HTML reader.
    if (text_.substr(lt + 4, close - lt - 4).find("--!>") != npos) return fail(Tier1Reason::MalformedMarkup);
    after = close + 3;
    return true;
  }
  return bogus_comment(lt, after);
}

// A processing instruction, a declaration or "</" before a non-letter: a
// comment up to the next '>' to an HTML reader.
bool Scanner::bogus_comment(std::size_t lt, std::size_t& after) {
  const std::size_t gt = text_.find('>', lt + 2);
  if (gt == npos) return fail(Tier1Reason::MalformedMarkup);
  after = gt + 1;
  return true;
}

bool Scanner::start_tag(std::size_t lt, std::size_t& after) {
  const std::size_t n = text_.size();
  std::size_t name_end = lt + 1;
  bool dash = false;
  for (; name_end < n && is_name_byte(text_[name_end]); ++name_end) dash |= text_[name_end] == '-';
  const std::string_view name = text_.substr(lt + 1, name_end - lt - 1);
  if (dash) return fail(Tier1Reason::UnrecognizedElement, name);
  const Tier1Tag* tag = lookup_tier1_tag_ignore_case(name);
  if (tag == nullptr) return fail(Tier1Reason::UnrecognizedElement, name);
  if (tag->kind == Tier1Kind::Refused) return fail(Tier1Reason::Unsupported, name);
  if (tag->kind == Tier1Kind::List && list_depth_ > 0) return fail(Tier1Reason::Unsupported, name);
  const std::size_t end = tag_end(name_end);
  if (end == npos) return fail(Tier1Reason::MalformedMarkup, name);
  after = end;
  const std::string_view attributes = text_.substr(name_end, end - 1 - name_end);
  bool self_closing = false;
  if (!attributes.empty() && attributes.back() == '/') {
    Tier1AttributeLexer lexer(attributes);
    while (lexer.next()) {
    }
    self_closing = lexer.ended_self_closing();
  }
  if (removed_by_options(*tag, attributes)) return fail(Tier1Reason::RemovedElement, name);
  if (table_.open && !table_.in_cell && !is_table_structure(*tag) && tag->kind != Tier1Kind::Table) {
    return fail(Tier1Reason::DroppedContent, name);
  }
  if (tag->is_void) return void_action(*tag, attributes);
  if (!open_element(*tag, attributes)) return false;
  // "<p/>" is an element without content, as the document parser reads it.
  if (self_closing) return close_action(pop_frame(), tag->param);
  return true;
}

// Elements the DOM road removes under the options: hidden elements always,
// forms and navigation by the `preprocessing` settings. Headers, footers
// and asides are removed there by their attributes; here any of those
// attributes sends the page on.
bool Scanner::removed_by_options(const Tier1Tag& tag, std::string_view attributes) {
  if (has_hidden_attribute(attributes)) return true;
  const PreprocessingOptions& pre = options_.preprocessing;
  if (!pre.enabled || pre.preset == PreprocessingPreset::Minimal) return false;
  // Whether a form goes is known at its end: one that holds page content
  // stays (open_element, close_action).
  if (tag.id == TagId::Form) return false;
  if (!pre.remove_navigation) return false;
  if (tag.id == TagId::Nav) return true;
  if (tag.id == TagId::Header || tag.id == TagId::Footer || tag.id == TagId::Aside) {
    for (const auto& found : find_tier1_attributes<4>(attributes, {"role", "aria-label", "class", "id"})) {
      if (found) return true;
    }
  }
  return false;
}

bool Scanner::void_action(const Tier1Tag& tag, std::string_view attributes) {
  switch (tag.kind) {
    case Tier1Kind::Image:
      return write_image(attributes);
    case Tier1Kind::LineBreak:
      if (in_cell()) return fail(Tier1Reason::BlockInCell, "br");
      if (in_pre_) {
        main_ += '\n';
      } else if (!main_.empty() && main_.back() != '\n') {
        main_ += "  \n";
      }
      return true;
    case Tier1Kind::Rule:
      if (in_cell()) return fail(Tier1Reason::BlockInCell, "hr");
      if (!check_block_context(tag)) return false;
      ensure_blank_line(main_);
      main_ += "---\n";
      return true;
    default:
      return true;
  }
}

bool Scanner::write_image(std::string_view attributes) {
  if (in_pre_) return fail(Tier1Reason::BlockInInline, "img");
  std::string& out = target();
  const std::size_t start = out.size();
  std::size_t parts[3] = {0, 0, 0};  // ends of alt, src and title in scratch_
  scratch_.clear();
  const auto found = find_tier1_attributes<3>(attributes, {"alt", "src", "title"});
  for (std::size_t i = 0; i < 3; ++i) {
    if (found[i] && found[i]->value && !decode_into(*found[i]->value, scratch_)) return false;
    parts[i] = scratch_.size();
  }
  const bool has_title = found[2].has_value() && found[2]->value.has_value();
  const std::string_view alt = std::string_view(scratch_).substr(0, parts[0]);
  const std::string_view src = std::string_view(scratch_).substr(parts[0], parts[1] - parts[0]);
  const std::string_view title = std::string_view(scratch_).substr(parts[1], parts[2] - parts[1]);
  if (!plain_alt_holds(alt) || !plain_destination_holds(src) ||
      (has_title && !plain_title_holds(title))) {
    return fail(Tier1Reason::UnsafeLink, "img");
  }
  // Neither a source nor an alt text: nothing to show.
  if (src.empty() && alt.empty()) return true;
  out.reserve(start + scratch_.size() + 8);
  out += "![";
  out += alt;
  out += "](";
  out += src;
  if (has_title) {
    out += " \"";
    out += title;
    out += '"';
  }
  out += ')';
  return true;
}

// A block element may not open where its separation would break the
// Markdown around it.
bool Scanner::check_block_context(const Tier1Tag& tag) {
  const std::string_view name = tag_info(tag.id).name;
  if (in_pre_) return fail(Tier1Reason::BlockInInline, name);
  if (open_inline_ > 0) return fail(Tier1Reason::BlockInInline, name);
  if (open_items_ > 0 && tag.kind != Tier1Kind::Container && tag.kind != Tier1Kind::ListItem) {
    return fail(Tier1Reason::BlockInListItem, name);
  }
  return true;
}

bool Scanner::open_element(const Tier1Tag& tag, std::string_view attributes) {
  const std::string_view name = tag_info(tag.id).name;
  if (tag.kind == Tier1Kind::Table && table_.open) return fail(Tier1Reason::NestedTable, name);
  if (tag.is_block && in_cell()) return fail(Tier1Reason::BlockInCell, name);
  while (!frames_.empty() && closes_implicitly(frames_.back().tag->close_group, tag)) {
    if (!close_innermost()) return false;
  }
  if (tag.is_block && !check_block_context(tag)) return false;
  if (tag.kind == Tier1Kind::Anchor && open_anchors_ > 0) return fail(Tier1Reason::BlockInInline, name);
  if (frames_.size() >= kMaxOpenElements) return fail(Tier1Reason::Unsupported, name);

  // Built in place; a failure ends the scan, so nothing needs undoing.
  Frame& frame = frames_.emplace_back();
  frame.tag = &tag;
  frame.saved_in_pre = in_pre_;
  frame.in_cell = in_cell();
  // Inside code, formatting and links write their text only.
  const Frame* outer = frames_.size() >= 2 ? &frames_[frames_.size() - 2] : nullptr;
  frame.plain = in_pre_ || (outer != nullptr && (outer->plain || outer->kind() == Tier1Kind::Code));
  if (is_table_kind(tag.kind)) {
    if (!open_table_part(tag, attributes)) return false;
  }
  std::string& out = target();
  frame.marker_offset = out.size();
  switch (tag.kind) {
    case Tier1Kind::Container:
      separate_container();
      frame.marker_offset = main_.size();
      break;
    case Tier1Kind::Paragraph:
    case Tier1Kind::Heading:
    case Tier1Kind::Blockquote:
    case Tier1Kind::Preformatted:
      ensure_blank_line(main_);
      frame.marker_offset = main_.size();
      break;
    case Tier1Kind::Strong:
    case Tier1Kind::Emphasis:
      if (frame.plain) break;
      // Strong emphasis inside strong emphasis writes no second pair of
      // markers. Emphasis inside emphasis is left to the DOM road, which
      // writes the inner markers where they read.
      for (std::size_t i = 0; i + 1 < frames_.size(); ++i) {
        if (frames_[i].kind() != tag.kind || frames_[i].plain) continue;
        if (tag.kind != Tier1Kind::Strong) return fail(Tier1Reason::Unsupported, name);
        frame.within_own_kind = true;
        break;
      }
      if (frame.within_own_kind) break;
      // Right after the closing marker of a neighbour the two would read as
      // one run; the DOM road joins such neighbours. That is known at the
      // close: an element with nothing to show writes no markers. (Opening
      // markers right before are those of enclosing elements: nesting is
      // fine.)
      frame.after_closing_marker =
          !out.empty() && out.back() == '*' && open_marker_chain_start(out.size(), frames_.size() - 1) == npos;
      out += tag.kind == Tier1Kind::Strong ? "**" : "*";
      break;
    case Tier1Kind::Code:
      // Right after another code span the two backtick runs would merge;
      // the DOM road writes the two as one span.
      if (!frame.plain && !out.empty() && out.back() == '`') return fail(Tier1Reason::Unsupported, "code");
      if (!frame.plain) out += '`';
      break;
    case Tier1Kind::Anchor: {
      frame.link_mark = static_cast<std::uint32_t>(link_pool_.size());
      const auto [href, title] = find_tier1_attributes<2>(attributes, {"href", "title"});
      if (href && href->value) {
        if (!decode_into(*href->value, link_pool_)) return false;
        frame.has_href = true;
        frame.href_len = static_cast<std::uint32_t>(link_pool_.size() - frame.link_mark);
      }
      if (title && title->value) {
        const std::size_t before = link_pool_.size();
        if (!decode_into(*title->value, link_pool_)) return false;
        frame.has_title = true;
        frame.title_len = static_cast<std::uint32_t>(link_pool_.size() - before);
      }
      if (table_.open) ++table_.link_count;
      // An anchor without an address writes its text alone.
      if (frame.plain || !frame.has_href) break;
      // After a '!' the link would read as an image; the DOM road escapes it.
      if (!out.empty() && out.back() == '!') return fail(Tier1Reason::MarkupInText);
      out += '[';
      break;
    }
    case Tier1Kind::List:
      ensure_blank_line(main_);
      if (list_end_ == std::pair{main_.size(), tag.param}) return fail(Tier1Reason::Unsupported, name);
      if (list_depth_ < 65535) ++list_depth_;
      if (tag.param == 1) frame.list_start = list_start_value(attributes);
      frame.marker_offset = main_.size();
      break;
    case Tier1Kind::ListItem: {
      Frame* list = nullptr;
      for (std::size_t i = frames_.size() - 1; i > 0; --i) {
        if (frames_[i - 1].kind() == Tier1Kind::List) {
          list = &frames_[i - 1];
          break;
        }
      }
      if (list != nullptr && list->tag->param == 1) {
        const std::uint16_t offset = list->list_start == 0 ? 0 : static_cast<std::uint16_t>(list->list_start - 1);
        const auto number = static_cast<std::uint16_t>(std::min<int>(list->item_counter + 1, 65535) + offset);
        // A first item numbered past 1 right after text in the list would
        // continue that text.
        if (list->item_counter == 0 && number != 1 && !main_.empty() && main_.back() != '\n') {
          ensure_blank_line(main_);
        } else {
          ensure_line_break(main_);
        }
        frame.marker_offset = main_.size();
        main_ += std::to_string(number);
        main_ += ". ";
      } else {
        ensure_line_break(main_);
        frame.marker_offset = main_.size();
        main_ += "- ";
      }
      if (list != nullptr && list->item_counter < 65535) ++list->item_counter;
      break;
    }
    case Tier1Kind::Caption:
      return fail(Tier1Reason::TableCaption, name);
    default:
      break;
  }
  frame.in_cell = in_cell();
  frame.start_offset = target().size();
  if (is_inline_marker_kind(tag.kind)) ++open_inline_;
  if (tag.kind == Tier1Kind::Code && !frame.plain) ++open_code_spans_;
  if (tag.kind == Tier1Kind::Anchor) ++open_anchors_;
  if (tag.kind == Tier1Kind::ListItem) ++open_items_;
  if (tag.kind == Tier1Kind::Preformatted) in_pre_ = true;
  if (tag.id == TagId::Form && options_.preprocessing.removes_forms()) {
    frame.pending_form = true;
    ++pending_forms_;
  }
  if (pending_forms_ > 0 && marks_page_content(tag.id)) keep_pending_forms();
  return true;
}

// The open forms hold page content: form removal keeps them. Each form is
// passed at most once, and the search ends with the last pending one.
void Scanner::keep_pending_forms() {
  for (std::size_t i = frames_.size(); i > 0 && pending_forms_ > 0; --i) {
    if (frames_[i - 1].pending_form) {
      frames_[i - 1].pending_form = false;
      --pending_forms_;
    }
  }
}

// Containers write no markup, but their content is a block of its own: a
// blank line apart from what stands around it, or a line break inside a
// list item (where a blank line would end the item).
void Scanner::separate_container() {
  if (main_.empty()) return;
  if (open_items_ > 0) {
    const Frame* item = nullptr;
    for (std::size_t i = frames_.size(); i > 0 && item == nullptr; --i) {
      if (frames_[i - 1].kind() == Tier1Kind::ListItem) item = &frames_[i - 1];
    }
    if (item != nullptr && !item->in_cell && main_.size() == item->start_offset) return;
    ensure_line_break(main_);
    return;
  }
  ensure_blank_line(main_);
}

bool Scanner::end_tag(std::size_t lt, std::size_t& after) {
  const std::size_t n = text_.size();
  std::size_t name_end = lt + 2;
  while (name_end < n && is_name_byte(text_[name_end])) ++name_end;
  const std::string_view name = text_.substr(lt + 2, name_end - lt - 2);
  if (name.empty() || name_end >= n) return fail(Tier1Reason::MalformedMarkup, name);
  const std::size_t end = tag_end(name_end);
  if (end == npos) return fail(Tier1Reason::MalformedMarkup, name);
  after = end;
  const Tier1Tag* tag = lookup_tier1_tag_ignore_case(name);
  if (tag == nullptr) return fail(Tier1Reason::UnrecognizedElement, name);
  while (true) {
    if (frames_.empty()) return fail(Tier1Reason::UnexpectedEndTag, tag_info(tag->id).name);
    const Frame& top = frames_.back();
    if (end_tag_matches(*top.tag, *tag)) return close_action(pop_frame(), tag->param);
    if (top.tag->close_group == Tier1CloseGroup::None) {
      return fail(Tier1Reason::UnexpectedEndTag, tag_info(tag->id).name);
    }
    if (!close_innermost()) return false;
  }
}

// Closes the innermost element as if its end tag stood here.
bool Scanner::close_innermost() {
  const Frame frame = pop_frame();
  return close_action(frame, frame.tag->param);
}

Frame Scanner::pop_frame() {
  const Frame frame = frames_.back();
  frames_.pop_back();
  in_pre_ = frame.saved_in_pre;
  const Tier1Kind kind = frame.kind();
  if (is_inline_marker_kind(kind)) --open_inline_;
  if (kind == Tier1Kind::Code && !frame.plain) --open_code_spans_;
  if (kind == Tier1Kind::Anchor) --open_anchors_;
  if (kind == Tier1Kind::ListItem) --open_items_;
  if (frame.pending_form) --pending_forms_;
  return frame;
}

bool Scanner::close_action(const Frame& frame, int heading_level) {
  if (frame.pending_form) return fail(Tier1Reason::RemovedElement, "form");
  switch (frame.kind()) {
    case Tier1Kind::Paragraph:
      ensure_blank_line(main_);
      return true;
    case Tier1Kind::Heading:
      return close_heading(frame, heading_level);
    case Tier1Kind::Blockquote:
      close_blockquote(frame);
      return true;
    case Tier1Kind::Preformatted:
      close_pre(frame);
      return true;
    case Tier1Kind::Strong:
    case Tier1Kind::Emphasis:
      return frame.plain || frame.within_own_kind || close_emphasis(frame);
    case Tier1Kind::Code:
      return frame.plain || close_code(frame);
    case Tier1Kind::Anchor:
      return close_link(frame);
    case Tier1Kind::List:
      if (list_depth_ > 0) --list_depth_;
      ensure_blank_line(main_);
      list_end_ = {main_.size(), frame.tag->param};
      return true;
    case Tier1Kind::ListItem:
      close_item(frame);
      return true;
    case Tier1Kind::Container:
      if (frame.in_cell) return true;
      if (open_items_ > 0) {
        ensure_line_break(main_);
      } else {
        ensure_blank_line(main_);
      }
      return true;
    case Tier1Kind::Transparent:
      // Options of a list stand apart.
      if (frame.tag->close_group == Tier1CloseGroup::Option) {
        std::string& out = target();
        if (!out.empty() && !scan::is_ws(out.back())) out += ' ';
      }
      return true;
    default:
      return is_table_kind(frame.kind()) ? close_table_part(frame) : true;
  }
}

// After a region of the output was cut back, no open element may point past
// its end or into the middle of a character.
// Offsets grow from the outermost element inwards, and a cut leaves what
// lies before its new end as it was, so only the innermost elements that
// point past the end need a new offset.
void Scanner::clamp_offsets() {
  const std::size_t size = main_.size();
  for (std::size_t i = frames_.size(); i > 0; --i) {
    Frame& frame = frames_[i - 1];
    if (frame.in_cell) continue;
    if (frame.marker_offset <= size && frame.start_offset <= size) break;
    frame.marker_offset = std::min(frame.marker_offset, size);
    frame.start_offset = std::min(frame.start_offset, size);
  }
}

bool Scanner::close_heading(const Frame& frame, int level) {
  const std::size_t start = std::min(frame.start_offset, main_.size());
  std::size_t end = main_.size();
  while (end > start && scan::is_ws(main_[end - 1])) --end;
  main_.resize(end);
  // One line: every run of white space that holds a line break becomes a space.
  fold_line_breaks(main_, start, end);
  if (is_unicode_space_only(std::string_view(main_).substr(start))) {
    main_.resize(start);
    while (!main_.empty() && main_.back() == '\n') main_.pop_back();
    if (!main_.empty()) main_ += '\n';
    clamp_offsets();
    return true;
  }
  // A final run of '#' would read as the line's closing sequence.
  if (const std::size_t run = atx_closing_run(std::string_view(main_).substr(start));
      run != std::string_view::npos) {
    main_.insert(start + run, 1, '\\');
  }
  const int clamped = std::clamp(level, 1, 6);
  // The marker and its space, with no string made for them.
  main_.insert(start, std::string_view("###### ").substr(static_cast<std::size_t>(6 - clamped)));
  ensure_blank_line(main_);
  return true;
}

void Scanner::close_blockquote(const Frame& frame) {
  const std::size_t start = std::min(frame.start_offset, main_.size());
  std::size_t end = main_.size();
  while (end > start && main_[end - 1] == '\n') --end;
  scratch_.assign(main_, start, end - start);
  main_.resize(start);
  // A quote may follow a paragraph on the next line, but one right after
  // another quote would join it.
  if (main_.size() >= 2 && main_.ends_with("\n\n")) {
    const std::size_t last = main_.size() - 2;  // the line feed that ends the last line
    const std::size_t before = last == 0 ? npos : main_.rfind('\n', last - 1);
    if (main_[before == npos ? 0 : before + 1] != '>') main_.pop_back();
  }
  if (!scratch_.empty()) {
    std::size_t pos = 0;
    while (true) {
      const std::size_t nl = scratch_.find('\n', pos);
      const std::string_view piece =
          std::string_view(scratch_).substr(pos, nl == npos ? npos : nl - pos);
      if (piece.empty()) {
        main_ += '>';
      } else {
        main_ += "> ";
        main_ += piece;
      }
      main_ += '\n';
      if (nl == npos) break;
      pos = nl + 1;
    }
    // Text after the quote must not continue it as a lazy line.
    main_ += '\n';
  }
  clamp_offsets();
}

// The item's later lines start at its content column (the marker's width):
// at column 0 they would read as text outside the item.
void Scanner::close_item(const Frame& frame) {
  const std::size_t start = frame.start_offset;
  if (!frame.in_cell && start <= main_.size() && frame.marker_offset <= start &&
      std::memchr(main_.data() + start, '\n', main_.size() - start) != nullptr) {
    const std::size_t column = start - frame.marker_offset;
    scratch_.assign(main_, start);
    main_.resize(start);
    for (std::size_t i = 0; i < scratch_.size(); ++i) {
      main_ += scratch_[i];
      if (scratch_[i] == '\n' && i + 1 < scratch_.size() && scratch_[i + 1] != '\n') main_.append(column, ' ');
    }
  }
  ensure_line_break(main_);
}

void Scanner::close_pre(const Frame& frame) {
  const std::size_t start = std::min(frame.start_offset, main_.size());
  std::string_view content = std::string_view(main_).substr(start);
  if (content.starts_with('\n')) content.remove_prefix(1);
  while (!content.empty() && content.back() == '\n') content.remove_suffix(1);
  if (content.empty()) {
    main_.resize(start);
    clamp_offsets();
    return;
  }
  scratch_.assign(content);
  main_.resize(start);
  // The common indent of the lines that hold more than white space.
  std::size_t indent = npos;
  for (std::size_t pos = 0; pos <= scratch_.size();) {
    std::size_t nl = scratch_.find('\n', pos);
    if (nl == npos) nl = scratch_.size();
    std::string_view line = std::string_view(scratch_).substr(pos, nl - pos);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (!is_unicode_space_only(line)) indent = std::min(indent, leading_space_chars(line));
    pos = nl + 1;
  }
  if (indent == npos) indent = 0;
  for (std::size_t pos = 0; pos <= scratch_.size();) {
    std::size_t nl = scratch_.find('\n', pos);
    if (nl == npos) nl = scratch_.size();
    std::string_view line = std::string_view(scratch_).substr(pos, nl - pos);
    if (line.ends_with('\r')) line.remove_suffix(1);
    main_ += "    ";
    // A line of white space is code as it stands.
    main_ += is_unicode_space_only(line) ? line : line.substr(space_prefix_bytes(line, indent));
    main_ += '\n';
    pos = nl + 1;
  }
  code_end_ = main_.size();
  clamp_offsets();
}

// Whether the markers of `frame` can open where they stand: right after a
// letter or digit, content that starts with punctuation leaves them as text
// (the DOM road writes such content without markers). Letters and
// punctuation are those of Unicode; a character that may be either counts
// as both.
bool Scanner::opens_after_word(const Frame& frame) const {
  const std::string& out = frame.in_cell ? table_.cell_text : main_;
  const std::size_t at = frame.marker_offset;
  if (at == 0 || at >= out.size()) return true;
  if ((side_of_char_before(out, at) & kWordSide) == 0) return true;
  const std::size_t first = out.find_first_not_of('*', at);
  return first == npos || (side_of_char_at(out, first) & kPunctSide) == 0;
}

// The opening marker of `frame` joins markers before it or at the start of
// its content into a run of three, and the content holds a run of markers
// that can both open and close, which would pair with the rest of that run
// ("***a*b*c***"; the DOM road writes such content without markers). The
// content ends at `end`.
bool Scanner::opens_unpairable_run(const Frame& frame, std::size_t end) const {
  const std::string& out = frame.in_cell ? table_.cell_text : main_;
  const std::size_t at = std::min(frame.marker_offset, out.size());
  const std::size_t content = std::min(frame.start_offset, out.size());
  const std::size_t marker = frame.kind() == Tier1Kind::Strong ? 2 : 1;
  if (!joins_run_of_three(out, 0, at, marker, content)) return false;
  // When the run of three is this opening marker and that of the element
  // that opens its content, the closing marker of that element pairs with
  // the run's inner part ("***a*b**" reads as it is written), even between
  // two letters.
  std::size_t inner_close = npos;
  if (content < end && out[content] == '*' && last_close_.opener == content && last_close_.in_cell == frame.in_cell &&
      last_close_.closer < end) {
    inner_close = last_close_.closer - content;
  }
  return holds_two_sided_marker_run(std::string_view(out).substr(content, end - content), inner_close);
}

// The content of `frame`, which ends at `end`, ends with a backslash: it
// would escape the closing marker.
bool Scanner::ends_in_backslash(const Frame& frame, std::size_t end) const {
  const std::string& out = frame.in_cell ? table_.cell_text : main_;
  return end > frame.start_offset && out[end - 1] == '\\';
}

// Emphasis markers close right after their last visible character: white
// space at the end moves after the marker, and an element with nothing to
// show writes no markers at all (four asterisks alone would be a rule).
// Markers that would not read as written are left to the DOM road.
bool Scanner::close_emphasis(const Frame& frame) {
  std::string& out = frame.in_cell ? table_.cell_text : main_;
  const std::size_t content = std::min(frame.start_offset, out.size());
  const std::size_t end = end_before_white_space(out, content);
  if ((frame.after_closing_marker && end > content) || !opens_after_word(frame) || ends_in_backslash(frame, end) ||
      opens_unpairable_run(frame, end)) {
    return fail(Tier1Reason::Unsupported, "emphasis");
  }
  const std::string_view marker = frame.kind() == Tier1Kind::Strong ? "**" : "*";
  scratch_.assign(out, end, npos);
  const bool line_break = scratch_.find('\n') != npos;
  if (end == content) {
    out.resize(std::min(frame.marker_offset, out.size()));
  } else {
    out.resize(end);
    last_close_ = {frame.marker_offset, end, frame.in_cell};
    const std::size_t last = out.find_last_not_of('*');
    out += marker;
    // A letter or digit right after would leave this marker as text.
    if (last != npos && last >= content && (side_of_char_before(out, last + 1) & kPunctSide) != 0) {
      closed_after_punct_ = {out.size(), frame.in_cell};
    }
  }
  if (scratch_.empty()) return true;
  if (line_break) {
    out += scratch_;
    return true;
  }
  // Spaces and tabs are one space, none where white space stands already;
  // other white space is the text's own and stays as it is.
  for (const char c : scratch_) {
    if (c != ' ' && c != '\t') {
      out += c;
    } else if (!out.empty() && !scan::is_ws(out.back())) {
      out += ' ';
    }
  }
  return true;
}

bool Scanner::close_code(const Frame& frame) {
  std::string& out = frame.in_cell ? table_.cell_text : main_;
  const std::size_t content = std::min(frame.start_offset, out.size());
  if (out.find('`', content) != npos) return fail(Tier1Reason::Unsupported, "code");
  // A reader takes a space off each end of a span that starts and ends with
  // one; the DOM road pads it.
  const std::string_view between = std::string_view(out).substr(content);
  if (code_span_content(between).size() != between.size()) return fail(Tier1Reason::Unsupported, "code");
  if (content == out.size()) {
    out.resize(std::min(frame.marker_offset, out.size()));
    return true;
  }
  // A code span reads its line breaks as spaces; written as spaces they
  // cannot start a block on the next line.
  std::replace(out.begin() + static_cast<std::ptrdiff_t>(content), out.end(), '\n', ' ');
  out += '`';
  return true;
}

bool Scanner::close_link(const Frame& frame) {
  std::string& out = frame.in_cell ? table_.cell_text : main_;
  const std::string_view pool(link_pool_);
  const std::string_view href = pool.substr(frame.link_mark, frame.href_len);
  const std::string_view title = pool.substr(frame.link_mark + frame.href_len, frame.title_len);
  bool ok = true;
  if (!frame.plain && frame.has_href) {
    const std::size_t content = std::min(frame.start_offset, out.size());
    if (!plain_label_holds(std::string_view(out).substr(content), options_) || !plain_destination_holds(href) ||
        (frame.has_title && !plain_title_holds(title))) {
      ok = fail(Tier1Reason::UnsafeLink, "a");
    } else {
      std::replace(out.begin() + static_cast<std::ptrdiff_t>(content), out.end(), '\n', ' ');
      out += "](";
      out += href;
      if (frame.has_title) {
        out += " \"";
        out += title;
        out += '"';
      }
      out += ')';
    }
  }
  link_pool_.resize(frame.link_mark);
  return ok;
}

bool Scanner::end_of_input() {
  while (!frames_.empty()) {
    if (frames_.back().tag->close_group == Tier1CloseGroup::None) {
      return fail(Tier1Reason::UnclosedElement, tag_info(frames_.back().tag->id).name);
    }
    if (!close_innermost()) return false;
  }
  clean_up_output();
  return true;
}

// Runs of three or more line feeds become one blank line; the text ends
// with exactly one line feed after its last visible character (or is empty).
void Scanner::clean_up_output() {
  std::string& out = main_;
  // White space at the end of a code block that ends the text is code.
  const bool ends_in_code = code_end_ != npos && out.find_last_not_of('\n') + 2 == code_end_;
  const std::size_t first = out.find("\n\n\n");
  if (first != npos) {
    std::size_t write = first + 2;
    std::size_t run = 2;
    for (std::size_t read = first + 2; read < out.size(); ++read) {
      const char c = out[read];
      run = c == '\n' ? run + 1 : 0;
      if (run > 2) continue;
      out[write++] = c;
    }
    out.resize(write);
  }
  while (!out.empty() && (out.back() == '\n' || (!ends_in_code && (out.back() == ' ' || out.back() == '\t')))) {
    out.pop_back();
  }
  if (!out.empty()) out += '\n';
}

// ---------------------------------------------------------------------------
// What Markdown holds as written

// The shared writers of link parts leave the text as it is exactly when
// Markdown reads it back as written.
bool plain_destination_holds(std::string_view url) {
  if (url.empty()) return true;  // written "()"
  // Nothing the writer could change (no white space or control, no
  // backslash, no '&' that starts a reference, parentheses in pairs): no
  // copy needed to tell.
  bool plain = url.front() != '<';
  std::size_t depth = 0;
  for (std::size_t i = 0; plain && i < url.size(); ++i) {
    const auto c = static_cast<unsigned char>(url[i]);
    if (c <= 0x20 || c == 0x7F || c == '\\') {
      plain = false;
    } else if (c == '(') {
      plain = ++depth <= 16;
    } else if (c == ')') {
      plain = depth-- > 0;
    } else if (c == '&') {
      // "&", alphanumerics (after an optional '#') and ';': the writer decides.
      std::size_t k = i + 1;
      if (k < url.size() && url[k] == '#') ++k;
      const std::size_t name = k;
      while (k < url.size() && k - name < 33 && std::isalnum(static_cast<unsigned char>(url[k]))) ++k;
      plain = !(k > name && k < url.size() && url[k] == ';');
    }
  }
  if (plain && depth == 0) return true;
  std::string written;
  append_link_destination(url, false, written);
  return written == url;
}

bool plain_title_holds(std::string_view title) {
  std::string written;
  append_link_title(title, written);
  return written == title;
}

bool plain_alt_holds(std::string_view alt) {
  if (alt.find_first_of("*_~[]`<\\&\n\r") == std::string_view::npos) return true;
  std::string written;
  append_plain_link_text(alt, written);
  return written == alt;
}

bool plain_label_holds(std::string_view label, const ConversionOptions& options) {
  // A bracket in a code span is none to a reader, and one outside then
  // pairs with none.
  if (label.find('`') != std::string_view::npos && label.find_first_of("[]") != std::string_view::npos) return false;
  // Brackets in pairs and no backslash: nothing the writer could change.
  std::size_t depth = 0;
  bool paired = true;
  for (std::size_t i = 0; paired && i < label.size(); ++i) {
    const char c = label[i];
    if (c == '\\') {
      paired = false;
    } else if (c == '[') {
      ++depth;
    } else if (c == ']') {
      paired = depth-- > 0;
    }
  }
  if (paired && depth == 0) return true;
  std::string written;
  escape_markdown_into(label, EscapeMode::LinkText, options, written);
  return written == label;
}

}  // namespace tier1

// ---------------------------------------------------------------------------

std::string_view tier1_reason_name(Tier1Reason reason) {
  switch (reason) {
    case Tier1Reason::Unsupported: return "Unsupported";
    case Tier1Reason::UnexpectedEndTag: return "UnexpectedEndTag";
    case Tier1Reason::UnclosedElement: return "UnclosedElement";
    case Tier1Reason::MalformedMarkup: return "MalformedMarkup";
    case Tier1Reason::CdataSection: return "CdataSection";
    case Tier1Reason::UnrecognizedElement: return "UnrecognizedElement";
    case Tier1Reason::CellSpan: return "CellSpan";
    case Tier1Reason::BlockInCell: return "BlockInCell";
    case Tier1Reason::NestedTable: return "NestedTable";
    case Tier1Reason::TableCaption: return "TableCaption";
    case Tier1Reason::TableSectionOrder: return "TableSectionOrder";
    case Tier1Reason::UnrecognizedEntity: return "UnrecognizedEntity";
    case Tier1Reason::BlockInListItem: return "BlockInListItem";
    case Tier1Reason::BlockInInline: return "BlockInInline";
    case Tier1Reason::UnsafeLink: return "UnsafeLink";
    case Tier1Reason::DroppedContent: return "DroppedContent";
    case Tier1Reason::RemovedElement: return "RemovedElement";
    case Tier1Reason::MarkupInText: return "MarkupInText";
  }
  return "Unknown";
}

Tier1Outcome scan_tier1(std::string_view text, std::optional<HeadSpan> head_span, const ConversionOptions& options) {
  tier1::Scanner scanner(text, options);
  if (!scanner.run()) return std::move(scanner.bailout());
  std::string& body = scanner.output();
  if (options.extract_metadata && head_span && head_span->start < head_span->end && head_span->end <= text.size()) {
    std::string front = tier1_front_matter(text, *head_span);
    if (!front.empty()) {
      front += body;
      return front;
    }
  }
  return std::move(body);
}

}  // namespace tidewell
