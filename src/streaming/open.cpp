// Opening an element: attributes, the implicit closes of HTML, the depth
// limit, the frame, and everything the element writes or defers when it
// opens.
#include <algorithm>

#include "common/ascii.hpp"
#include "streaming/processor.hpp"
#include "streaming/url.hpp"

namespace tidewell::streaming {
namespace {

constexpr std::size_t kMaxDepth = 512;
// Inline elements around an item whose markup it takes in, at most.
constexpr std::size_t kMaxItemWrappers = 16;

constexpr TagSet kClosesSomething = make_tag_set(
    {kDetails, kSummary, kH1, kH2, kH3, kH4, kH5, kH6, kHr, kBlockquote, kUl, kLi, kA, kTable, kThead, kTr, kTh,
     kTd, kOl, kPre, kP, kDiv, kTbody, kTfoot, kForm, kNav, kCenter, kFooter, kArticle, kSection, kSelect, kOption,
     kFieldset, kDialog, kAside, kDd, kDt, kAddress, kDl, kFigure, kMain, kHeader, kFigcaption, kOptgroup});
constexpr TagSet kLinkTarget = make_tag_set({kA});
constexpr TagSet kLinkBarriers = make_tag_set(
    {kHtml, kH1, kH2, kH3, kH4, kH5, kH6, kBlockquote, kUl, kLi, kTable, kTr, kTh, kTd, kOl, kP, kDiv, kForm, kNav,
     kButton, kFooter, kArticle, kSection, kFieldset, kTemplate, kAside, kDd, kDt, kDl, kFigure, kMain, kHeader,
     kCaption});
constexpr TagSet kSectionScope = make_tag_set({kThead, kTr, kTh, kTd, kTbody, kTfoot, kCaption});
constexpr TagSet kRowScope = make_tag_set({kTr, kTh, kTd});
constexpr TagSet kCells = make_tag_set({kTh, kTd});
constexpr TagSet kCellBarriers = make_tag_set({kHtml, kTable, kThead, kTr, kTbody, kTfoot, kTemplate, kCaption});
constexpr TagSet kParagraph = make_tag_set({kP});
constexpr TagSet kParagraphBarriers =
    make_tag_set({kHtml, kUl, kLi, kTable, kTh, kTd, kOl, kButton, kTemplate, kDl, kCaption});
constexpr TagSet kListItem = make_tag_set({kLi});
constexpr TagSet kListItemBarriers = make_tag_set({kHtml, kUl, kTable, kTh, kTd, kOl, kTemplate, kCaption});
constexpr TagSet kDefinition = make_tag_set({kDd, kDt});
constexpr TagSet kDefinitionBarriers =
    make_tag_set({kHtml, kUl, kLi, kTable, kTh, kTd, kOl, kTemplate, kDl, kCaption});
constexpr TagSet kHeadKeeps = make_tag_set({kTitle, kMeta, kScript, kStyle, kLink, kBase, kTemplate, kNoscript});
// Inside pre these write no opener and leave the fence waiting.
constexpr TagSet kPreInline = make_tag_set({kStrong, kB, kEm, kI, kDel, kSub, kSup, kIns, kA, kKbd, kAbbr, kMark, kQ,
                                            kSamp, kSmall, kFigcaption, kS, kStrike, kU, kCite, kDfn, kVar, kTime,
                                            kBdo});

bool is_heading(TagId id) { return id >= kH1 && id <= kH6; }

std::uint8_t saturating_inc(std::uint8_t v) { return v == 255 ? v : static_cast<std::uint8_t>(v + 1); }

std::uint64_t saturating_inc(std::uint64_t v) { return v == ~std::uint64_t{0} ? v : v + 1; }

std::size_t decimal_digits(std::uint64_t v) {
  std::size_t n = 1;
  while (v >= 10) {
    v /= 10;
    ++n;
  }
  return n;
}

}  // namespace

OpenResult Processor::open_element(std::string_view name, bool known, TagId id, std::string_view region,
                                   bool self_closing) {
  const StreamTagInfo& info = known ? stream_tag_info(id) : unknown_tag_info();
  OpenResult consumed_not_opened{0, false, true};
  // A tag consumed without a frame separates the text around it as the
  // element would have: an inline one joins it, a block one keeps a space.
  auto not_opened = [&] {
    if (!info.is_inline) last_element_inline_ = false;
    return consumed_not_opened;
  };
  const bool is_void = info.is_void || self_closing;
  if (!marker_pairs_.empty()) settle_marker_pairs(false);

  // 2. Skip mode: a template's content beyond the depth limit.
  if (skip_depth_) {
    if (ascii_iequals(name, skip_name_)) skip_depth_ = saturating_inc(skip_depth_);
    else if (info.is_raw_text && !is_void) {
      raw_text_end_name_.assign(name);
      raw_text_discard_ = info.discards_text;
    }
    return not_opened();
  }

  // 3. Anything but head content closes an open head.
  if (!pending_depth_ && is_open(kHead) && !is_open(kTemplate) && !(known && kHeadKeeps[id])) {
    for (std::size_t i = depth_; i-- > 0;) {
      if (frames_[i].is(kHead)) {
        close_down_to(i);
        break;
      }
    }
  }

  // 4. Implicit closes.
  if (known && kClosesSomething[id]) {
    bool select_closed = false;
    apply_implicit_closes(known, id, select_closed);
    if (select_closed) return consumed_not_opened;
  }

  // 5. Depth limit.
  if (!is_void) {
    if (pending_depth_) {
      if (known && id == kTemplate) {
        skip_name_.assign(name);
        skip_depth_ = 1;
      } else if ((known && pending_known_ && id == pending_tag_) || (!known && !pending_known_ && name == pending_name_)) {
        pending_depth_ = saturating_inc(pending_depth_);
      } else if (info.is_raw_text) {
        raw_text_end_name_.assign(name);
        raw_text_discard_ = info.discards_text;
      }
      return not_opened();
    }
    if (depth_ >= kMaxDepth) {
      if (known && id == kTemplate) {
        skip_name_.assign(name);
        skip_depth_ = 1;
      } else {
        set_pending_element(name, known, id, info);
      }
      return not_opened();
    }
  }

  // An item inside inline elements starts its own line: their markup
  // closes before it and opens again inside it.
  const std::uint8_t wrappers = known && id == kLi ? item_wrappers() : 0;
  if (wrappers) suspend_item_wrappers(wrappers);

  // 6. Count and push the frame.
  if (known) {
    if (open_counts_[id] != 0xFFFF) ++open_counts_[id];
    if (id == kPre) in_preformatted_ = true;
  }
  const std::size_t index = depth_;
  if (frames_.size() == index) frames_.emplace_back();
  ElementFrame& f = frames_[index];
  f.attributes.clear();
  if (known && info.attribute_mask) parse_tag_attributes(region, info.attribute_mask, f.attributes);
  f.name.assign(known ? std::string_view() : name);
  f.sibling_index = depth_ ? frames_[depth_ - 1].child_count : 0;
  f.serial = ++elements_opened_;
  f.other_marker = (id == kUl || id == kOl) && known && list_end_ && list_end_->kind == id &&
                   list_end_->parent_serial == (depth_ ? frames_[depth_ - 1].serial : 0) &&
                   list_end_->position + 1 == child_position() && !list_end_->other_marker;
  f.child_count = 0;
  f.text_count = 0;
  f.item_count = 0;
  f.item_width = 0;
  f.item_index = 0;
  f.wrappers = wrappers;
  f.reopened = false;
  f.under_item = false;
  f.markers_dropped = false;
  if (known && depth_) {
    ElementFrame& parent = frames_[depth_ - 1];
    // Items are counted under any parent: an item after another one of
    // the same parent starts on that one's line end, not after text.
    if (id == kLi) {
      if (depth_ > wrappers) f.item_index = frames_[depth_ - 1 - wrappers].item_count++;
    }
    else if ((parent.is(kUl) || parent.is(kOl)) && (id == kUl || id == kOl) && parent.item_count && !in_cell()) {
      f.under_item = true;
    }
  }
  f.known = known;
  f.tag_id = known ? id : kHtml;
  f.in_template = is_open(kTemplate);
  f.is_inline = info.is_inline;
  f.discards_text = info.discards_text;
  f.is_raw_text = info.is_raw_text;
  f.phrasing_context = info.phrasing_context;
  f.explicit_spacing = info.explicit_spacing;
  f.newlines_before = info.newlines_before;
  f.newlines_after = info.newlines_after;
  if (!f.in_template && f.phrasing_context) {
    if (f.is(kSpan)) span_depth_ = saturating_inc(span_depth_);
    else phrasing_depth_ = saturating_inc(phrasing_depth_);
  }
  if (depth_) ++frames_[depth_ - 1].child_count;
  else ++top_level_children_;
  if (!f.is_inline) {
    innermost_block_ = index;
    block_depths_.push_back(index);
  }
  depth_ = index + 1;

  if (f.in_template) {
    // 7. Inside a template nothing is written.
    last_element_inline_ = f.is_inline;
  } else {
    // 8. Output.
    write_element_open(f, index);
  }

  // 9. List items: the indent of their continuation lines; a list nested
  // under the item before it takes that item's.
  if (f.is(kLi)) record_list_indent(f, index);
  else if (f.under_item) push_list_indent(frames_[index - 1].item_width);
  if (f.wrappers) resume_item_wrappers(index);

  // 10. Finish.
  has_ampersand_ = false;
  if (f.is_raw_text && !is_void) raw_text_mode_ = true;
  if (!is_void) after_close_ = false;
  return OpenResult{0, is_void, false};
}

// Step 8 of opening an element: what it writes, and the records kept of it.
void Processor::write_element_open(ElementFrame& f, std::size_t index) {
  const bool html_kept = inside_html_block_element();
  if (list_rule_break_ && !f.discards_text) write_blank_line_with_prefix();
  // A pre inside a pre is part of the outer code block.
  const bool inner_pre = f.is(kPre) && !in_cell() && open_counts_[kPre] > 1;
  if (f.is(kPre) && !in_cell() && !inner_pre) {
    fence_language_ = code_language_from_class(find_attribute(f.attributes, "class")).value_or(std::string());
    fence_pending_ = true;
  }
  if (f.is(kTh)) {
    std::uint8_t align = 0;
    if (const ParsedAttribute* a = find_attribute(f.attributes, "align"); a && !a->value.empty()) {
      switch (ascii_lower(a->value[0])) {
        case 'l': align = 1; break;
        case 'c': align = 2; break;
        case 'r': align = 3; break;
        default: break;
      }
    }
    if (!(align == 0 && column_alignments_.size() > cell_index_)) column_alignments_.push_back(align);
  } else if (f.is(kTr)) {
    cell_index_ = 0;
  } else if (f.is(kTable)) {
    column_alignments_.clear();
    if (open_counts_[kTable] < 2) {
      separator_written_ = false;
      column_count_ = 0;
    }
  }

  Opener opener = write_open_markup(f, index);

  if (fence_pending_) {
    if (f.is(kCode) && index > 0 && frames_[index - 1].is(kPre)) {
      fence_pending_ = false;
    } else if (!(f.is(kPre) || (f.known && kPreInline[f.tag_id]))) {
      finish_pending_block();
      if (f.is(kCode)) opener.reset();
    }
  }

  if (f.is(kFigcaption) && !is_open(kPre)) {
    DeferredMarker& m = deferred_markers_.emplace_back();
    const std::uint8_t around = (phrasing_depth_ == 1 && !in_cell()) ? 2 : 0;
    m.newlines_before = m.newlines_after = around;
  }

  const bool visible = opener && has_visible_text(*opener);
  bool had_break_owed = false;
  if ((visible && (break_state_ != 0 || !deferred_markers_.empty())) || f.is(kBlockquote)) {
    had_break_owed = break_state_ != 0;
    flush_all_deferred_separators();
    if (break_state_ == 1) {
      write_newline_padding(break_newlines_, !(f.is(kLi) || f.is(kBlockquote)));
      break_state_ = 2;
    }
    if (visible && !f.is(kBlockquote)) {
      const bool revocable = f.is(kA) || (f.known && inline_kind_of_tag(f.tag_id) != 0);
      write_emphasis_marker(revocable ? 0 : 1);
      pending_space_ = false;
    }
  }

  std::uint8_t newlines = newlines_before_element(f);
  if (had_break_owed || (!quote_regions_.empty() && quote_regions_.back().start == output_.size()) ||
      (f.is(kFigcaption) && !is_open(kPre))) {
    newlines = 0;
  }

  if (f.is(kA)) html_link_open_ = false;

  bool break_deferred = false;
  if (f.is(kBr)) {
    if (!is_open(kPre) && opener && !opener->empty() && opener->back() == '\n') {
      trim_trailing_spaces();
      if (*opener == "\n" && output_ends_with("\n\n")) opener.reset();
    }
    if (newlines == 0 && opener && !opener->empty() && !has_visible_text(*opener) &&
        defer_caption_separator(*opener)) {
      pending_space_ = soft_space_ = text_written_ = false;
      last_element_inline_ = f.is_inline;
      break_deferred = true;
    }
  }

  if (inner_pre) {
    open_inner_fence(f);
  } else if (!break_deferred) {
    if (f.known && inline_kind_of_tag(f.tag_id) == 5 && opener) {
      const bool in_pre = is_open(kPre);
      if ((!in_pre && !html_kept) || (in_pre && !fence_open_ && !in_cell())) rewrite_region_lines(~std::size_t{0});
    }

    bool continues_code = false;
    if (last_code_span_ && (opener == "`" || opener == " `") && inline_kind_of_tag(f.tag_id) == 5 && !html_kept &&
        !is_open(kPre) && continue_code_span(opener)) {
      continues_code = true;
      opener = std::string();
    }
    const bool marker_pair = writes_marker_pair(f, opener);
    const bool continues_pair = marker_pair && join_marker_pair(f, *opener);
    if (continues_pair) opener = std::string();
    // "![" would make the link an image: the page's '!' stays text.
    if (f.is(kA) && !output_.empty() && output_.back() == '!' && opener == "[" && !pending_space_ &&
        output_.size() > emitted_end_ && !escaped_at(output_.size() - 1)) {
      insert_output_after(output_.size() - 1, "\\");
    }

    // A link's "[" after a '<' makes no tag of it.
    if (less_than_escape_ && f.is(kA) && opener == "[") settle_less_than_escape('[');
    const std::size_t before = output_.size();
    const bool joined = last_element_inline_;
    write_block_separator(true, f.is_inline, newlines, opener ? &*opener : nullptr, false, &f);
    const bool grew = output_.size() > before;
    const bool written = opener && grew && output_ends_with(*opener);
    const std::size_t opener_start = written ? output_.size() - opener->size() : output_.size();
    if (marker_pair && !continues_pair && written) {
      MarkerPair pair{opener_start, output_.size(), 0, 0, f.serial};
      pair.scope = link_scope();
      pair.code_at_open = code_span_ends_at(opener_start);
      if (pair.code_at_open != CodeBefore::kNone) pair.code_before_open = last_code_span_->start;
      marker_pairs_.push_back(pair);
    }

    if (f.known) {
      const std::uint8_t kind = inline_kind_of_tag(f.tag_id);
      const bool inline_code = f.is(kCode) && !is_open(kPre) && !html_kept;
      bool pushed_marker = false;
      switch (f.tag_id) {
        case kImg:
          if (grew && opener && last_write_len_ == opener->size()) mark_frames_with_content();
          break;
        case kA: {
          if (html_kept && written) html_link_open_ = true;
          const bool bracket = grew && opener && !opener->empty() && opener->back() == '[';
          push_pending_region(bracket ? output_.size() - 1 : output_.size(), bracket);
          break;
        }
        case kLi:
          // In preformatted text the item's marker is code text: no
          // paragraph before it to interrupt.
          if (!in_cell() && !is_open(kPre)) {
            const ElementFrame* list = list_of_item(index);
            const bool numbered = list && list->is(kOl);
            update_blank_line_state(f.item_index != 0, before, numbered && list_item_number(f, index) != 1);
          }
          break;
        case kDetails: case kSummary: case kDd: case kDt: case kAddress: case kDl:
          if (open_counts_[kDetails] + open_counts_[kSummary] + open_counts_[kDd] + open_counts_[kDt] +
                  open_counts_[kAddress] + open_counts_[kDl] == 1) {
            start_html_block_scan();
          }
          break;
        case kBlockquote:
          // A quotation right inside another's content follows it without
          // a blank line; the blank line before an empty outer one stays.
          if (!quote_regions_.empty() && quote_regions_.back().start < output_.size() &&
              output_ends_with("\n\n")) {
            truncate_output(output_.size() - 1);
            for (QuoteRegion& q : quote_regions_) q.start = std::min(q.start, output_.size());
          }
          quote_regions_.push_back(QuoteRegion{list_indent_, output_.size()});
          break;
        case kCode:
          if (is_open(kPre)) {
            if (!fence_open_ && !in_cell() && written) {
              find_code_fence_opener(opener_start, output_.size(),
                                     code_language_from_class(find_attribute(f.attributes, "class")).value_or(""),
                                     list_indent_);
              fence_open_ = true;
            }
          } else if (opener && !html_kept && !continues_code) {
            code_spans_.push_back(CodeSpanRecord{opener_start, output_.size(), written, {}, 0});
          }
          break;
        case kKbd: case kSamp: case kVar:
          if (opener && !html_kept && !continues_code) {
            code_spans_.push_back(CodeSpanRecord{opener_start, output_.size(), written, {}, 0});
          }
          break;
        default:
          break;
      }
      if (kind && (f.tag_id != kCode || inline_code) && opener && !opener->empty() && written) {
        inline_marker_spans_.push_back(InlineMarkerSpan{opener_start, output_.size(), kind, joined});
        pushed_marker = true;
      }
      if (!pushed_marker) {
        if ((!inline_marker_spans_.empty() && visible) || !f.is_inline) inline_marker_spans_.clear();
      }
      if (had_break_owed && (!f.is_inline || f.is(kImg) || f.is(kBr))) break_state_ = 0;
    }
  }
}

// ---------------------------------------------------------------- items inside inline elements

// A browser keeps an item inside the inline elements around it (a link or
// bold around an li) and shows a list item holding them. The item's marker
// starts its own line here too: the markup of those elements closes before
// it and opens again after it, inside the item (each item of a link around
// two is a link to the same address). The elements take part when their
// markup is a pair of texts (not code, whose span a marker cannot stand
// in) and nothing else keeps the item on its line: a heading, a cell, a
// pre, an element written as HTML, a phrasing element beyond them. The
// number of the innermost frames that are such elements; 0 when the item
// stays where it is.
std::uint8_t Processor::item_wrappers() const {
  if (pending_depth_ || is_open(kTemplate) || in_cell() || code_text_open() || inside_html_block_element() ||
      any_tag_open_in_range(kH1, kH6)) {
    return 0;
  }
  std::size_t count = 0;
  std::size_t phrasing = 0;
  std::size_t spans = 0;
  for (std::size_t i = depth_; i-- > 0 && frames_[i].is_inline; ++count) {
    const ElementFrame& f = frames_[i];
    if (count == kMaxItemWrappers || (f.known && (inline_kind_of_tag(f.tag_id) == 5 || f.is(kFigcaption)))) return 0;
    if (f.phrasing_context) ++(f.is(kSpan) ? spans : phrasing);
  }
  if (phrasing != phrasing_depth_ || spans != span_depth_) return 0;
  return static_cast<std::uint8_t>(count);
}

// The markup of the `count` innermost frames closes, innermost first, as if
// they closed; their frames stay, counted as closed until the item that
// opens now takes them in (resume_item_wrappers). A link that holds nothing
// is taken out: one that never held anything (its "[" holds the drain
// while only white space follows it), or one opened again whose "[" still
// waits for content.
void Processor::suspend_item_wrappers(std::size_t count) {
  const std::size_t top = depth_;
  for (std::size_t k = 0; k < count; ++k) {
    ElementFrame& f = frames_[--depth_];
    if (f.phrasing_context && phrasing_counter(f)) --phrasing_counter(f);
    const std::size_t start = current_region_.start;
    const bool waiting = f.is(kA) && reopened_link_waits(start);
    if (waiting) inline_marker_spans_.pop_back();
    const bool empty = f.reopened ? waiting : f.child_count == 0 && f.text_count == 0;
    if (f.is(kA) && empty && at_link_text_start()) {
      truncate_output(start);
      last_write_len_ = 0;
      pop_pending_region();
    } else {
      write_close_element(f);
    }
    if (f.known && open_counts_[f.tag_id]) --open_counts_[f.tag_id];
  }
  depth_ = top;
}

// Whether the "[" at `start` of a link opened again inside an item still
// waits for content.
bool Processor::reopened_link_waits(std::size_t start) const {
  return !inline_marker_spans_.empty() && inline_marker_spans_.back().kind == kReopenedLinkSpan &&
         inline_marker_spans_.back().start == start;
}

// The item at `item` has written its marker: the markup of the elements
// around it opens again, outermost first.
void Processor::resume_item_wrappers(std::size_t item) {
  for (std::size_t i = item - frames_[item].wrappers; i < item; ++i) {
    ElementFrame& f = frames_[i];
    if (f.known && open_counts_[f.tag_id] != 0xFFFF) ++open_counts_[f.tag_id];
    if (f.phrasing_context) phrasing_counter(f) = saturating_inc(phrasing_counter(f));
    f.markers_dropped = false;
    f.reopened = true;
    write_element_open(f, i);
    // A link's "[" waits for content, as an emphasis opener does, and goes
    // with the link if it stays empty.
    if (f.is(kA) && at_link_text_start()) {
      const std::size_t start = current_region_.start;
      inline_marker_spans_.push_back(InlineMarkerSpan{start, start + 1, kReopenedLinkSpan, false});
    }
  }
}

void Processor::apply_implicit_closes(bool known, TagId id, bool& select_closed) {
  (void)known;
  auto open = [&](TagId t) { return is_open(t) || (pending_depth_ && pending_known_ && pending_tag_ == t); };
  switch (id) {
    case kA:
      if (open(kA)) close_until_tag_in_set(kLinkTarget, kLinkBarriers);
      return;
    case kThead: case kTbody: case kTfoot:
      if (open(kTable)) close_in_set_to_table_scope(kSectionScope);
      return;
    case kTr:
      if (open(kTable) && open(kTr)) close_in_set_to_table_scope(kRowScope);
      return;
    case kTh: case kTd:
      if (open(kTable) && (open(kTd) || open(kTh))) close_until_tag_in_set(kCells, kCellBarriers);
      return;
    case kSelect:
      if (open(kSelect)) select_closed = close_until_tag(kSelect);
      return;
    case kOption:
      if (open(kSelect)) {
        close_until_tag(kOption);
      } else {
        const bool current_is_option = pending_depth_ ? (pending_known_ && pending_tag_ == kOption)
                                                      : (depth_ && frames_[depth_ - 1].is(kOption));
        if (current_is_option) close_current_element();
      }
      return;
    case kOptgroup:
      if (open(kSelect)) {
        close_until_tag(kOption);
        close_until_tag(kOptgroup);
      }
      return;
    default:
      break;
  }
  if (open(kP)) close_until_tag_in_set(kParagraph, kParagraphBarriers);
  if (is_heading(id)) {
    const bool current_is_heading = pending_depth_ ? (pending_known_ && is_heading(pending_tag_))
                                                   : (depth_ && frames_[depth_ - 1].known &&
                                                      is_heading(frames_[depth_ - 1].tag_id));
    if (current_is_heading) close_current_element();
  } else if (id == kLi) {
    if (open(kLi)) close_until_tag_in_set(kListItem, kListItemBarriers);
  } else if (id == kDd || id == kDt) {
    if (open(kDd) || open(kDt)) close_until_tag_in_set(kDefinition, kDefinitionBarriers);
  }
}

std::uint8_t Processor::newlines_before_element(const ElementFrame& f) const {
  if (!f.known) return 0;
  if (!f.is(kLi) && is_open(kLi)) return 0;
  if (f.under_item) return 0;
  if (is_heading(f.tag_id)) return (phrasing_depth_ == 1 && !in_cell()) ? 2 : 0;
  if (phrasing_depth_) return 0;
  if (span_depth_ && !(f.is(kLi) || f.is(kP) || f.is(kDiv))) return 0;
  return f.explicit_spacing ? f.newlines_before : 2;
}

// Items are numbered among their list's items: text or other elements
// between them take no number.
std::uint64_t Processor::list_item_number(const ElementFrame& f, std::size_t index) const {
  return ordered_list_start(list_of_item(index)->attributes, f.item_index);
}

void Processor::record_list_indent(const ElementFrame& f, std::size_t index) {
  ElementFrame* list = index > f.wrappers ? &frames_[index - 1 - f.wrappers] : nullptr;
  std::uint8_t width = 2;
  if (in_cell()) width = 0;
  else if (list && list->is(kOl)) width = static_cast<std::uint8_t>(decimal_digits(list_item_number(f, index)) + 2);
  if (list) list->item_width = width;
  push_list_indent(width);
}

void Processor::push_list_indent(std::uint8_t width) {
  list_indent_widths_.push_back(width);
  list_indent_.append(width, ' ');
}

void Processor::pop_list_indent() {
  if (list_indent_widths_.empty()) return;
  const std::size_t width = list_indent_widths_.back();
  list_indent_widths_.pop_back();
  list_indent_.resize(list_indent_.size() >= width ? list_indent_.size() - width : 0);
}

// ---------------------------------------------------------------- openers

Opener Processor::write_open_markup(const ElementFrame& f, std::size_t index) {
  if (!f.known) return std::nullopt;
  // Code holds text only: formatting, links and code spans inside it write
  // no markup.
  if (code_text_open(&f) && (kPreInline[f.tag_id] || (f.is(kCode) && !is_open(kPre)))) return std::nullopt;
  const bool cell = in_cell();
  const bool nested_table = open_counts_[kTable] > 1;
  auto as_html = [&] { return Opener(html_tag(f.tag_id, false)); };
  switch (f.tag_id) {
    case kDetails: case kSummary: case kSub: case kSup: case kIns: case kMark: case kU: case kDd: case kDt:
    case kAddress: case kDl:
      return as_html();
    case kUl: case kTable: case kThead: case kOl: case kPre: return cell ? as_html() : std::nullopt;
    case kCenter: return nested_table ? as_html() : std::nullopt;
    case kTh: case kTd: return nested_table ? as_html() : open_markup_cell(f);
    case kLi: return cell ? as_html() : open_markup_list_item(f, index);
    case kTr: return cell ? as_html() : open_markup_table_row();
    case kBr: return open_markup_line_break();
    case kH1: case kH2: case kH3: case kH4: case kH5: case kH6:
      if (is_open(kA) || cell) return as_html();
      return std::string(static_cast<std::size_t>(f.tag_id - kH1 + 1), '#') + " ";
    case kHr: return open_markup_rule();
    case kStrong: case kB: return nested_emphasis({kStrong, kB}) ? "" : "**";
    // A citation is italic as emphasis is: inside each other they write
    // their markers once ("**x**" would read as strong).
    case kEm: case kI: case kCite: return nested_emphasis({kEm, kI, kCite}) ? "" : "*";
    case kDel: case kS: case kStrike: return nested_emphasis({kDel, kS, kStrike}) ? "" : "~~";
    case kBlockquote: return (is_open(kLi) && break_state_ != 1) ? Opener("\n") : std::nullopt;
    case kCode: return open_markup_code(f, index);
    case kA:
      if (inside_html_block_element()) return write_html_open_tag(f, true);
      return find_attribute(f.attributes, "href") ? Opener("[") : std::nullopt;
    case kImg: return open_markup_image(f);
    case kP: {
      // Inside a link or emphasis a paragraph stays on its line, as it
      // does outside items: a blank line would end them.
      if (is_open(kLi) && !cell && !phrasing_depth_ && !output_.empty()) {
        const char last = output_.back();
        if (last != '\0' && last != '\n' && last != ' ') return "\n\n" + list_indent_;
      }
      return std::nullopt;
    }
    case kKbd: case kSamp: case kVar: return "`";
    case kAbbr: case kSmall: case kTime: case kBdo: case kRuby: case kRt: case kRp: return "";
    case kQ: return "\"";
    case kDfn: return "**";
    case kCaption:
      if (is_open(kLi) && !cell) return leading_separator_for(list_indent_);
      return std::nullopt;
    default: return std::nullopt;
  }
}

Opener Processor::open_markup_line_break() const {
  if (any_tag_open_in_range(kH1, kH6) || is_open(kTh) || is_open(kTd) || inside_html_block_element()) {
    return html_tag(kBr, false);
  }
  if (code_text_open()) return "\n";
  return "  \n" + build_line_prefix();
}

Opener Processor::open_markup_rule() const {
  if (in_cell()) return html_tag(kHr, false);
  if (is_open(kBlockquote) || is_open(kLi)) {
    const std::string prefix = build_line_prefix();
    if (prefix.empty()) return "---";
    auto sep = leading_separator_for(prefix);
    if (!sep) return "***";
    return *sep + "---";
  }
  return "---";
}

Opener Processor::open_markup_code(const ElementFrame& f, std::size_t) {
  if (!is_open(kPre)) {
    if (inside_html_block_element()) return html_tag(kCode, false);
    if (is_open(kLi) && !output_.empty()) {
      switch (output_.back()) {
        case '\0': case '\t': case '\n': case ' ': case '*': case '>': case '[': case '_': case '~': return "`";
        default: return " `";
      }
    }
    return "`";
  }
  if (in_cell()) return html_tag(kCode, false);
  if (fence_open_) return std::nullopt;
  const std::string language =
      code_language_from_class(find_attribute(f.attributes, "class")).value_or(std::string());
  if (!is_open(kLi)) return "```" + language + "\n";
  return leading_separator_for(list_indent_).value_or(std::string()) + "```" + language + "\n" + list_indent_;
}

Opener Processor::open_markup_list_item(const ElementFrame& f, std::size_t index) const {
  const ElementFrame* list = list_of_item(index);
  const bool other = list && list->other_marker;
  if (list && list->is(kOl)) {
    return list_indent_ + std::to_string(list_item_number(f, index)) + (other ? ") " : ". ");
  }
  return list_indent_ + (other ? "* " : "- ");
}

Opener Processor::open_markup_image(const ElementFrame& f) const {
  std::string src;
  if (const ParsedAttribute* s = find_attribute(f.attributes, "src"); s && !is_data_url(s->value)) {
    src = resolved_url(s->value);
  }
  const ParsedAttribute* alt = find_attribute(f.attributes, "alt");
  // Without a source or a text the image has nothing to show.
  if (src.empty() && (!alt || alt->value.empty())) return std::nullopt;
  const ParsedAttribute* title = find_attribute(f.attributes, "title");
  // Inside an element kept as HTML a reader shows Markdown as it stands,
  // escapes and all: the image is an HTML tag, as a link is there.
  if (inside_html_block_element()) {
    std::string tag = "<img src=\"";
    escape_html_attribute(tag, src);
    tag += "\" alt=\"";
    if (alt) escape_html_attribute(tag, alt->value);
    tag += '"';
    if (title && !title->value.empty()) {
      tag += " title=\"";
      escape_html_attribute(tag, title->value);
      tag += '"';
    }
    tag += '>';
    if (is_open(kTable) && tag.find('|') != std::string::npos) {
      std::string cell;
      append_with_entities(cell, tag, [](char c) -> const char* { return c == '|' ? "&#124;" : nullptr; });
      return cell;
    }
    return tag;
  }
  std::string out = "![";
  if (alt) backslash_escape(out, alt->value, "&*<[\\]_`~");
  out += "]";
  write_link_destination(out, src, title ? std::string_view(title->value) : std::string_view());
  return out;
}

Opener Processor::open_markup_table_row() {
  const std::string prefix = is_open(kLi) ? list_indent_ : std::string();
  switch (line_starts_list_item()) {
    case 0:
      if (!prefix.empty() && output_ends_with("\n")) return prefix + "| ";
      return "| ";
    case 1: return "\n" + prefix + "| ";
    default: return "\n\n" + prefix + "| ";
  }
}

Opener Processor::open_markup_cell(const ElementFrame& f) const {
  if (f.sibling_index == 0) return "";
  // Only cells make columns: what a row holds before its first cell (text
  // it drops, or an element's text) is set apart by a space, not a bar.
  if (cell_index_ == 0) return " ";
  if (column_count_ == 0 || cell_index_ < column_count_) return " | ";
  return " ";
}

}  // namespace tidewell::streaming
