// The element stack: closing frames, the implicit closes, end tags, the
// pending element beyond the depth limit, and the flush of a text run.
#include <algorithm>
#include <stdexcept>

#include "common/ascii.hpp"
#include "common/entities.hpp"
#include "streaming/processor.hpp"

namespace tidewell::streaming {
namespace {

void saturating_decrement(std::uint8_t& v) {
  if (v) --v;
}

}  // namespace

bool Processor::is_open(TagId id) const { return open_counts_[id] != 0; }

bool Processor::code_text_open(const ElementFrame* self) const {
  if (open_counts_[kPre]) return true;
  std::size_t spans = 0;
  for (const TagId id : {kCode, kKbd, kSamp, kVar}) spans += open_counts_[id];
  if (self && self->known && inline_kind_of_tag(self->tag_id) == 5 && spans) --spans;
  return spans != 0;
}

bool Processor::nested_emphasis(std::initializer_list<TagId> kind) const {
  std::size_t open = 0;
  for (const TagId id : kind) open += open_counts_[id];
  return open > 1;
}

bool Processor::any_tag_open_in_range(TagId first, TagId last) const {
  for (int id = first; id <= last; ++id) {
    if (open_counts_[id]) return true;
  }
  return false;
}

void Processor::close_element() {
  if (depth_ == 0) return;
  const std::size_t index = depth_ - 1;
  ElementFrame& frame = frames_[index];
  --depth_;

  if (innermost_block_ && *innermost_block_ == index) {
    if (!block_depths_.empty()) block_depths_.pop_back();
    if (!block_depths_.empty()) innermost_block_ = block_depths_.back();
    else if (depth_ > 0) innermost_block_ = 0;
    else innermost_block_.reset();
  }
  if (frame.phrasing_context && !frame.in_template) saturating_decrement(frame.is(kSpan) ? span_depth_ : phrasing_depth_);

  // An empty link takes its text from its title, else its aria-label.
  if (frame.is(kA) && !frame.in_template && frame.text_count == 0) {
    const ParsedAttribute* label = find_attribute(frame.attributes, "title");
    if (!label) {
      label = find_attribute(frame.attributes, "aria-label");
      if (label && label->value.empty()) label = nullptr;
    } else if (label->value.empty()) {
      label = nullptr;
    }
    if (label) {
      const std::string value = label->value;
      ++depth_;
      frame.text_count = 1;
      text_needs_escape_ = false;
      for (char c : value) {
        if (is_markdown_special(static_cast<unsigned char>(c)) || c == '\n' || c == '\r') text_needs_escape_ = true;
      }
      write_text(value, false);
      for (std::size_t i = 0; i < depth_; ++i) ++frames_[i].text_count;
      --depth_;
    }
  }

  write_close_element(frame);
  // The elements around an item hold what it holds.
  if (frame.is(kLi) && frame.text_count > 0) {
    for (std::size_t i = index - frame.wrappers; i < index; ++i) frames_[i].text_count += frame.text_count;
  }
  // Text inside a block held by an inline element (a block in a link) that
  // stayed on its line is text of the inline elements around it and of the
  // block that holds them, as text in those would be: white space after it
  // parts words ("[A](/1) [B](/2)"). A frame that holds text already has
  // those below it that far.
  if (frame.text_count > 0 && depth_ > 0 && frames_[depth_ - 1].text_count == 0 &&
      (frame.is_inline || frames_[depth_ - 1].is_inline) && !frame.in_template && last_byte() != '\n') {
    for (std::size_t i = depth_; i-- > 0 && frames_[i].text_count == 0;) {
      frames_[i].text_count = 1;
      if (!frames_[i].is_inline) break;
    }
  }

  if (frame.known) {
    if (open_counts_[frame.tag_id]) --open_counts_[frame.tag_id];
    if (frame.tag_id == kPre && !open_counts_[kPre]) in_preformatted_ = false;
    if (frame.tag_id == kLi || frame.under_item) pop_list_indent();
  }
  frame.attributes.clear();
  frame.name.clear();
  raw_text_mode_ = depth_ ? frames_[depth_ - 1].is_raw_text : false;
  has_ampersand_ = false;
  after_close_ = true;
  if (depth_ == 0 && pending_depth_ == 0) check_no_holds_left();
}

void Processor::close_down_to(std::size_t index) {
  while (depth_ > index) close_element();
}

void Processor::close_current_element() {
  if (pending_depth_) clear_pending_element();
  else close_element();
}

void Processor::set_pending_element(std::string_view name, bool known, TagId id, const StreamTagInfo& info) {
  pending_known_ = known;
  pending_tag_ = id;
  pending_name_.assign(known ? std::string_view() : name);
  pending_depth_ = 1;
  if (info.is_raw_text) {
    raw_text_end_name_.assign(name);
    raw_text_discard_ = info.discards_text;
  }
}

void Processor::clear_pending_element() {
  pending_known_ = false;
  pending_tag_ = kHtml;
  pending_name_.clear();
  pending_depth_ = 0;
  raw_text_end_name_.clear();
  raw_text_discard_ = false;
}

bool Processor::close_until_tag(TagId t) {
  if (pending_depth_) {
    if (pending_known_ && pending_tag_ == t) {
      clear_pending_element();
      return true;
    }
    if (pending_known_ && (pending_tag_ == kTemplate || (pending_tag_ == kSelect && t != kSelect))) return false;
    clear_pending_element();
  }
  for (std::size_t i = depth_; i-- > 0;) {
    const ElementFrame& f = frames_[i];
    if (!f.known) continue;
    if (f.tag_id == t) {
      close_down_to(i);
      return true;
    }
    if (f.tag_id == kTemplate || (f.tag_id == kSelect && t != kSelect)) return false;
  }
  return false;
}

void Processor::close_until_tag_in_set(const TagSet& targets, const TagSet& barriers) {
  if (pending_depth_) {
    if (pending_known_ && targets[pending_tag_]) {
      clear_pending_element();
      return;
    }
    if (pending_known_ && barriers[pending_tag_]) return;
    clear_pending_element();
  }
  for (std::size_t i = depth_; i-- > 0;) {
    const ElementFrame& f = frames_[i];
    if (!f.known) continue;
    if (targets[f.tag_id]) {
      close_down_to(i);
      return;
    }
    if (barriers[f.tag_id]) return;
  }
}

void Processor::close_in_set_to_table_scope(const TagSet& set) {
  if (pending_depth_) {
    if (!(pending_known_ && set[pending_tag_])) return;
    clear_pending_element();
  }
  std::optional<std::size_t> found;
  for (std::size_t i = depth_; i-- > 0;) {
    const ElementFrame& f = frames_[i];
    if (!f.known) continue;
    if (set[f.tag_id]) {
      found = i;
      continue;
    }
    if (f.tag_id == kTable || f.tag_id == kTemplate || f.tag_id == kCaption) break;
  }
  if (found) close_down_to(*found);
}

bool Processor::finish_end_tag(std::string_view raw_name) {
  after_close_ = true;
  // Names of unknown elements are kept lower-cased, so they compare with
  // ASCII case folded.
  const std::optional<TagId> id = lookup_either_case(raw_name);

  if (skip_depth_) {
    if (!raw_text_end_name_.empty()) {
      raw_text_end_name_.clear();
      raw_text_discard_ = false;
      if (ascii_iequals(raw_name, skip_name_)) {
        skip_name_.clear();
        skip_depth_ = 0;
      }
    } else if (ascii_iequals(raw_name, skip_name_)) {
      if (--skip_depth_ == 0) skip_name_.clear();
    }
    return false;
  }

  if (pending_depth_) {
    // End tags taken here separate text as their element would have.
    if (id && !stream_tag_info(*id).is_inline) last_element_inline_ = false;
    if (id && stream_tag_info(*id).is_void) return false;
    const bool own = pending_known_ ? (id && *id == pending_tag_) : (!id && ascii_iequals(raw_name, pending_name_));
    if (!raw_text_end_name_.empty()) {
      raw_text_end_name_.clear();
      raw_text_discard_ = false;
      if (own) clear_pending_element();
      return false;
    }
    if (own) {
      if (--pending_depth_ == 0) clear_pending_element();
      return false;
    }
    if (!(id && open_counts_[*id])) return false;
    clear_pending_element();
  }

  if (depth_ == 0) return false;
  auto matches = [&](const ElementFrame& f) { return f.known ? (id && *id == f.tag_id) : (!id && ascii_iequals(raw_name, f.name)); };
  for (std::size_t i = depth_; i-- > 0;) {
    const ElementFrame& f = frames_[i];
    if (matches(f)) {
      close_down_to(i);
      return true;
    }
    if (f.is(kTemplate)) break;
  }
  return false;
}

void Processor::flush_text_node(std::string_view text, bool count) {
  const bool has_space = has_space_;
  const bool has_content = has_content_;
  const bool needs_escape = text_needs_escape_;
  has_space_ = has_content_ = text_needs_escape_ = false;
  plain_byte_count_ = 0;

  ElementFrame* top = innermost();
  const bool dropped = skip_depth_ != 0 || raw_text_discard_ ||
                       (pending_depth_ && pending_known_ && stream_tag_info(pending_tag_).discards_text) ||
                       (top && (top->discards_text || top->in_template));

  if (!has_content && !in_preformatted_ && top && top->text_count == 0) {
    has_ampersand_ = false;
    // White space that is all an inline element holds still parts the
    // words around it.
    if (!dropped && top->is_inline && !text.empty()) keep_space_of_inline_element();
    return;
  }
  if (text.empty()) return;

  if (has_space) {
    const bool strip = innermost_block_ ? frames_[*innermost_block_].text_count == 0
                                        : (output_.empty() || output_.back() == '\n');
    if (strip) {
      std::size_t k = 0;
      if (in_preformatted_) {
        while (k < text.size() && (text[k] == '\n' || text[k] == '\r')) ++k;
      } else {
        while (k < text.size() && scan::is_ws(static_cast<unsigned char>(text[k]))) ++k;
      }
      text.remove_prefix(k);
    }
  }

  std::string decoded;
  bool had_ampersand = false;
  if (text.find('&') != std::string_view::npos) {
    had_ampersand = true;
    const bool escape_ampersand = !(code_text_open() || is_open(kDetails) || is_open(kSummary) ||
                                    is_open(kDt) || is_open(kDd) || is_open(kAddress) || is_open(kDl));
    decoded.reserve(text.size());
    decode_legacy_references_into(text, false, escape_ampersand, decoded);
    text = decoded;
  }
  has_ampersand_ = false;

  if (!dropped) {
    text_needs_escape_ = needs_escape || had_ampersand;
    write_text(text, has_space);
  }

  if (count && !depth_ && has_content) ++top_level_children_;
  if (count && depth_) {
    ++frames_[depth_ - 1].child_count;
    const std::size_t from = innermost_block_ ? *innermost_block_ : 0;
    for (std::size_t i = from; i < depth_; ++i) ++frames_[i].text_count;
  }
}

bool Processor::holds_outstanding() const {
  return holds_for_open_elements() || !marker_pairs_.empty() || code_span_ends_output();
}

bool Processor::holds_for_open_elements() const {
  return !inline_marker_spans_.empty() || !code_spans_.empty() || !deferred_markers_.empty() ||
         open_fence_.has_value() || !inner_fences_.empty() || !quote_regions_.empty() || current_region_.active || !region_stack_.empty() ||
         pending_newline_ ||
         std::any_of(marker_pairs_.begin(), marker_pairs_.end(), [](const MarkerPair& m) { return !m.closed; });
}

// Once every element has closed, nothing may still hold the drain: a hold
// left behind would keep the rest of the document from ever being handed
// out. A closed pair and a code span that ends the output wait for what
// follows them, or for the end of the input.
void Processor::check_no_holds_left() const {
#if !defined(NDEBUG) || defined(TIDEWELL_STREAM_CHECKS)
  if (holds_for_open_elements()) throw std::logic_error("streaming converter: a hold outlived its element");
#endif
}

// The drain holds the output from the first pair's opener on: the pairs
// must stay in the order of their openers.
void Processor::check_marker_pairs_in_order() const {
#if !defined(NDEBUG) || defined(TIDEWELL_STREAM_CHECKS)
  for (std::size_t i = 1; i < marker_pairs_.size(); ++i) {
    if (marker_pairs_[i].open_start < marker_pairs_[i - 1].open_start) {
      throw std::logic_error("streaming converter: emphasis pairs out of the order of their openers");
    }
  }
#endif
}

}  // namespace tidewell::streaming
