// Quotations: a blockquote's content is written without prefixes and
// rewritten line by line with "> " when it closes; long quotations get the
// prefixes of their completed lines early, so that they stream.
#include <algorithm>

#include "streaming/processor.hpp"

namespace tidewell::streaming {
namespace {

constexpr std::size_t kEarlyRewriteSize = 8191;

// Appends the quoted form of one line: prefix + ">" + (" " + the line
// without a leading copy of the prefix, when that is not empty).
void append_quoted_line(std::string& out, std::string_view prefix, std::string_view line) {
  if (!prefix.empty() && line.size() >= prefix.size() && line.starts_with(prefix)) line.remove_prefix(prefix.size());
  out += prefix;
  out += '>';
  if (!line.empty()) {
    out += ' ';
    out += line;
  }
}

// Where `offset` into a region's old text lands in its quoted form.
std::size_t map_quoted_offset(std::string_view text, std::string_view lead, std::size_t offset) {
  std::size_t produced = 0;
  std::size_t ls = 0;
  while (true) {
    std::size_t le = text.find('\n', ls);
    if (le == std::string_view::npos) le = text.size();
    std::string_view line = text.substr(ls, le - ls);
    std::size_t removed = 0;
    if (!lead.empty() && line.size() >= lead.size() && line.starts_with(lead)) removed = lead.size();
    const bool has_space = line.size() > removed;
    if (offset <= le || le == text.size()) {
      const std::size_t into = offset > ls + removed ? offset - ls - removed : 0;
      return produced + lead.size() + 1 + (has_space ? 1 : 0) + into;
    }
    produced += lead.size() + 1 + (has_space ? 1 + line.size() - removed : 0) + 1;
    ls = le + 1;
  }
}

}  // namespace

void Processor::close_quote_region() {
  const QuoteRegion region = std::move(quote_regions_.back());
  quote_regions_.pop_back();
  const std::size_t end = end_without_trailing_whitespace();
  if (end < region.start || (end == region.start && region.start < emitted_end_)) return;

  // The lines are looked at as they stand before their prefixes come.
  scan_html_block_lines(end);
  const std::string_view old = std::string_view(output_).substr(region.start, end - region.start);
  scratch_.clear();
  std::size_t ls = 0;
  while (true) {
    std::size_t le = old.find('\n', ls);
    const bool last = le == std::string_view::npos;
    if (last) le = old.size();
    append_quoted_line(scratch_, region.prefix, old.substr(ls, le - ls));
    if (last) break;
    scratch_ += '\n';
    ls = le + 1;
  }

  const std::size_t new_end = region.start + scratch_.size();
  auto map = [&](std::size_t& p) {
    if (p < region.start) return;
    if (p > end) p = new_end;
    else p = region.start + map_quoted_offset(old, region.prefix, p - region.start);
  };
  std::size_t fence_at = open_fence_ ? open_fence_->start + open_fence_->fence_offset : 0;
  // What was handed out ends at or before the region; the html-block scan
  // has its own rule below.
  const std::size_t emitted = emitted_end_;
  const std::size_t scan_start = html_block_scan_start_;
  for_each_position(map);
  emitted_end_ = emitted;
  html_block_scan_start_ = scan_start;
  // An outer quotation that starts where this one does still starts before
  // the prefix just written: its own rewrite prefixes these lines again.
  for (QuoteRegion& q : quote_regions_) q.start = std::min(q.start, region.start);
  if (open_fence_) {
    map(fence_at);
    open_fence_->fence_offset = fence_at >= open_fence_->start ? fence_at - open_fence_->start : 0;
  }

  const std::size_t old_size = output_.size();
  truncate_output(region.start);
  push_output(scratch_);
  last_write_len_ = scratch_.size();
  if (html_block_scan_start_ < end) {
    html_block_scan_start_ = new_end;
  } else {
    html_block_scan_start_ = html_block_scan_start_ + output_.size() >= old_size
                                 ? html_block_scan_start_ + output_.size() - old_size
                                 : 0;
  }
}

void Processor::rewrite_region_lines(std::size_t limit) {
  if (output_.size() <= kEarlyRewriteSize || quote_regions_.empty() || !inline_marker_spans_.empty() ||
      !code_spans_.empty() || !marker_pairs_.empty() || code_span_ends_output() || open_fence_ || is_open(kA) || pending_newline_) {
    return;
  }
  for (const DeferredMarker& m : deferred_markers_) {
    if (m.state == 1) return;
  }
  // Only lines followed by visible text are final: at the close, white
  // space at the region's end is dropped, not quoted.
  const std::size_t p = floor_boundary(std::min(limit, end_without_trailing_whitespace()));
  std::size_t newest_start = 0;
  for (const QuoteRegion& q : quote_regions_) newest_start = std::max(newest_start, q.start);

  // The last line feed in [newest_start, p); what was searched before and
  // held none is not searched again.
  std::size_t search_from = newest_start;
  std::size_t search_to = p;
  const bool cache_valid = quote_lf_epoch_ == output_epoch_ && quote_lf_clear_from_ <= newest_start &&
                           quote_lf_clear_to_ <= p && quote_lf_clear_to_ >= newest_start;
  std::size_t lf = std::string::npos;
  if (cache_valid) search_from = std::max(search_from, quote_lf_clear_to_);
  for (std::size_t i = search_to; i > search_from; --i) {
    if (output_[i - 1] == '\n') {
      lf = i - 1;
      break;
    }
  }
  if (lf == std::string::npos) {
    quote_lf_epoch_ = output_epoch_;
    quote_lf_clear_from_ = cache_valid ? quote_lf_clear_from_ : newest_start;
    quote_lf_clear_to_ = p;
    return;
  }
  std::size_t first = lf;
  while (first > newest_start && output_[first - 1] == '\n') --first;
  const std::size_t pos = first + 1;
  for (const QuoteRegion& q : quote_regions_) {
    if (q.start >= pos) return;
  }

  scan_html_block_lines(pos);
  const bool same_start = std::all_of(quote_regions_.begin(), quote_regions_.end(), [&](const QuoteRegion& q) {
    return q.start == quote_regions_.front().start && q.prefix.empty();
  });
  std::size_t cur = pos;
  if (same_start) {
    const std::size_t start = quote_regions_.front().start;
    std::string repeat;
    for (std::size_t k = 0; k < quote_regions_.size(); ++k) repeat += "> ";
    std::string_view empty_line = repeat;
    while (!empty_line.empty() && empty_line.back() == ' ') empty_line.remove_suffix(1);
    scratch_.clear();
    const std::string_view text = std::string_view(output_).substr(start, pos - start);
    std::size_t ls = 0;
    while (ls < text.size()) {
      const std::size_t le = text.find('\n', ls);
      const std::string_view line = text.substr(ls, le - ls);
      if (line.empty()) scratch_ += empty_line;
      else {
        scratch_ += repeat;
        scratch_ += line;
      }
      scratch_ += '\n';
      ls = le + 1;
    }
    replace_region_text(start, pos, scratch_);
    cur = start + scratch_.size();
  } else {
    for (std::size_t r = quote_regions_.size(); r-- > 0;) {
      const QuoteRegion& q = quote_regions_[r];
      const std::string_view text = std::string_view(output_).substr(q.start, cur - q.start);
      scratch_.clear();
      std::size_t ls = 0;
      while (ls < text.size()) {
        const std::size_t le = text.find('\n', ls);
        append_quoted_line(scratch_, q.prefix, text.substr(ls, le - ls));
        scratch_ += '\n';
        ls = le + 1;
      }
      replace_region_text(q.start, cur, scratch_);
      cur = q.start + scratch_.size();
    }
  }
  for (QuoteRegion& q : quote_regions_) q.start = cur;
  if (html_block_scan_start_ < pos) html_block_scan_start_ = cur;
  else html_block_scan_start_ = html_block_scan_start_ + cur - pos;
}

// Replaces [from, to) with `text` during an early rewrite; nothing recorded
// lies inside or after the range but the html-block scan start, which the
// caller moves.
void Processor::replace_region_text(std::size_t from, std::size_t to, const std::string& text) {
  output_.replace(from, to - from, text);
  ++output_epoch_;
}

}  // namespace tidewell::streaming
