// The byte tokenizer: text runs, start tags, end tags, comments, raw text and
// script content, one forward pass that stops at the first construct the
// buffer cuts and remembers how far that construct's scan got.
#include <algorithm>
#include <array>
#include <cstring>

#include "common/ascii.hpp"
#include "common/entities.hpp"
#include "common/utf8.hpp"
#include "streaming/processor.hpp"

namespace tidewell::streaming {
namespace {

constexpr std::size_t kLongRun = 65536;

// Plain bytes: ASCII 0x21..0x7F except & * < [ \ _ ` ~.
constexpr std::array<bool, 256> make_plain() {
  std::array<bool, 256> t{};
  for (int c = 0x21; c <= 0x7F; ++c) t[c] = true;
  for (unsigned char c : {'&', '*', '<', '[', '\\', '_', '`', '~'}) t[c] = false;
  return t;
}
constexpr std::array<bool, 256> kPlain = make_plain();

inline bool is_plain(char c) { return kPlain[static_cast<unsigned char>(c)]; }

inline bool ends_name(unsigned char c) { return scan::is_ws(c) || c == '/' || c == '>'; }

// 1: `buf` at `i` holds `word` (ASCII case-insensitive) and then a byte
// that ends a tag name; 0: it does not; -1: the buffer ends before that is
// known and what is there matches so far.
int match_tag_word(std::string_view buf, std::size_t i, std::string_view word) {
  for (std::size_t k = 0; k <= word.size(); ++k) {
    if (i + k >= buf.size()) return -1;
    const unsigned char c = static_cast<unsigned char>(buf[i + k]);
    if (k == word.size()) return ends_name(c) ? 1 : 0;
    if (ascii_lower(static_cast<char>(c)) != word[k]) return 0;
  }
  return 0;
}

// True when the rest of the buffer from `i` is a proper prefix of `word`.
bool is_cut_prefix(std::string_view buf, std::size_t i, std::string_view word) {
  const std::size_t rest = buf.size() - i;
  return rest < word.size() && std::memcmp(buf.data() + i, word.data(), rest) == 0;
}

}  // namespace

const ParsedAttribute* find_attribute(const AttributeList& list, std::string_view name) {
  for (const ParsedAttribute& a : list) {
    if (a.name == name) return &a;
  }
  return nullptr;
}

// ---------------------------------------------------------------- main loop

std::size_t Processor::scan_chunk(std::string_view buf) {
  end_tag_unfinished_ = false;
  input_ended_ = false;
  incoming_ = resume_;
  resume_ = ResumeState{};
  if (text_buffer_.capacity() == 0) text_buffer_.reserve(256);
  std::size_t pos = 0;
  const ElementFrame* top = innermost();
  if (top && top->is(kScript) && !scan_script_content(buf, pos)) return pos;
  const std::size_t n = buf.size();
  while (pos < n) {
    if (buf[pos] != '<') {
      pos = take_text(buf, pos, !raw_text_mode_ && raw_text_end_name_.empty() && !in_preformatted_);
      continue;
    }
    if (pos + 1 == n) return pos;
    if (!raw_text_end_name_.empty() || raw_text_mode_) {
      if (!scan_raw_text_markup(buf, pos)) return pos;
      continue;
    }
    const unsigned char next = static_cast<unsigned char>(buf[pos + 1]);
    if (next == '/') {
      // "</" before a byte that is not a letter opens a bogus comment.
      if (pos + 2 == n) return pos;
      if (scan::is_letter(static_cast<unsigned char>(buf[pos + 2]))) {
        if (!scan_end_tag(buf, pos)) return pos;
      } else if (!scan_bogus_comment(buf, pos)) {
        return pos;
      }
    } else if (next == '!') {
      if (!scan_markup_declaration(buf, pos)) return pos;
    } else if (scan::is_letter(next)) {
      if (!scan_start_tag(buf, pos)) return pos;
    } else if (next == '?') {
      // A processing instruction is a bogus comment.
      if (!scan_bogus_comment(buf, pos)) return pos;
    } else {
      append_text_literal_lt();
      ++pos;
    }
  }
  return n;
}

// ---------------------------------------------------------------- text

std::size_t Processor::take_text(std::string_view buf, std::size_t pos, bool fast) {
  const std::size_t n = buf.size();
  if (raw_text_mode_ && (open_counts_[kScript] || open_counts_[kStyle])) {
    const void* lt = std::memchr(buf.data() + pos, '<', n - pos);
    const std::size_t end = lt ? static_cast<const char*>(lt) - buf.data() : n;
    text_buffer_.append(buf.data() + pos, end - pos);
    has_content_ = true;
    at_space_ = after_close_ = false;
    return end;
  }
  while (pos < n && buf[pos] != '<') {
    if (fast && is_plain(buf[pos])) {
      std::size_t j = pos + 1;
      bool took_space = false;
      while (j < n) {
        if (is_plain(buf[j])) {
          ++j;
        } else if (buf[j] == ' ' && j + 1 < n && is_plain(buf[j + 1])) {
          took_space = true;
          j += 2;
        } else {
          break;
        }
      }
      text_buffer_.append(buf.data() + pos, j - pos);
      plain_byte_count_ += j - pos;
      has_content_ = true;
      if (took_space) has_space_ = true;
      at_space_ = after_close_ = false;
      pos = j;
      if (text_buffer_.size() >= kLongRun) maybe_split_long_run();
    } else {
      take_byte_slow(buf, pos);
    }
  }
  return pos;
}

void Processor::take_byte_slow(std::string_view buf, std::size_t& pos) {
  const unsigned char c = static_cast<unsigned char>(buf[pos]);
  if (scan::is_ws(c)) {
    ++pos;
    if (in_preformatted_) {
      text_buffer_.push_back(static_cast<char>(c));
      at_space_ = has_space_ = true;
      after_close_ = false;
      return;
    }
    if (after_close_) {
      after_close_ = at_space_ = false;
    }
    if (at_space_) return;
    text_buffer_.push_back(' ');
    ++plain_byte_count_;
    at_space_ = has_space_ = true;
    return;
  }
  if (c == '&') has_ampersand_ = true;
  if (is_markdown_special(c)) text_needs_escape_ = true;
  std::size_t len = 1;
  if (c >= 0x80) {
    bool valid = false;
    const auto* p = reinterpret_cast<const unsigned char*>(buf.data()) + pos;
    len = utf8_sequence(p, reinterpret_cast<const unsigned char*>(buf.data()) + buf.size(), valid);
  }
  text_buffer_.append(buf.data() + pos, len);
  pos += len;
  has_content_ = true;
  at_space_ = after_close_ = false;
}

void Processor::append_text_literal_lt() {
  text_buffer_.push_back('<');
  has_content_ = text_needs_escape_ = true;
  at_space_ = after_close_ = false;
}

void Processor::maybe_split_long_run() {
  if (plain_byte_count_ != text_buffer_.size()) return;
  if (inside_html_block_element()) return;
  if (const ElementFrame* top = innermost(); top && top->is(kTitle)) return;
  for (std::size_t i = 0; i < depth_; ++i) {
    if (!frames_[i].is(kA)) continue;
    const ParsedAttribute* title = find_attribute(frames_[i].attributes, "title");
    if (title && !title->value.empty()) return;
  }
  const std::size_t len = text_buffer_.size();
  std::size_t cut = len - 1;
  for (std::size_t p = len - 1; p > 0 && p + 64 >= len; --p) {
    const char at = text_buffer_[p];
    if (text_buffer_[p - 1] == ' ' && at != '#' && at != '+' && at != '-' && at != '>' && !(at >= '0' && at <= '9')) {
      cut = p;
      break;
    }
  }
  std::string rest = text_buffer_.substr(cut);
  text_buffer_.resize(cut);
  flush_text_node(text_buffer_, false);
  last_element_inline_ = true;
  text_buffer_ = std::move(rest);
  plain_byte_count_ = text_buffer_.size();
  has_content_ = true;
  has_space_ = text_buffer_.find(' ') != std::string::npos;
}

void Processor::flush_run() {
  if (text_buffer_.empty()) return;
  flush_text_node(text_buffer_, true);
  text_buffer_.clear();
}

// Script content is dropped; what is left of the run's flags is cleared.
void Processor::flush_raw_text() {
  flush_text_node(text_buffer_, true);
  text_buffer_.clear();
}

// ---------------------------------------------------------------- start tags

bool Processor::scan_start_tag(std::string_view buf, std::size_t& pos) {
  const std::size_t n = buf.size();
  const ResumeState saved = pos == 0 ? incoming_ : ResumeState{};
  incoming_ = ResumeState{};
  const bool resume_attributes = saved.kind == ResumeState::kAttributes;
  std::size_t name_end = pos + 1;
  if (saved.kind == ResumeState::kTagName) name_end = saved.offset;
  if (!resume_attributes) {
    const std::size_t name_from = name_end;
    while (name_end < n && !ends_name(static_cast<unsigned char>(buf[name_end]))) ++name_end;
    scan_work_ += name_end - name_from;
    if (name_end == n) {
      resume_ = ResumeState{ResumeState::kTagName, name_end - pos};
      return false;
    }
  }

  // The attribute region, resumed where the last call left it.
  std::size_t j;
  std::uint8_t phase = 0;
  char quote = 0;
  bool slash = false;
  if (resume_attributes) {
    name_end = saved.name_end;
    j = saved.offset;
    phase = saved.phase;
    quote = saved.quote;
    slash = saved.slash;
  } else {
    j = name_end;
  }
  const std::string_view raw_name = buf.substr(pos + 1, name_end - pos - 1);
  flush_run();

  const std::size_t region_from = j;
  for (; j < n; ++j) {
    if (quote) {
      // A quoted value ends at its quote alone: one search over it.
      slash = false;
      const void* close = std::memchr(buf.data() + j, quote, n - j);
      if (!close) {
        j = n;
        break;
      }
      j = static_cast<std::size_t>(static_cast<const char*>(close) - buf.data());
      quote = 0;
      phase = 0;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(buf[j]);
    if (c == '>') break;
    switch (phase) {
      case 3:
        if (c == '"' || c == '\'') quote = static_cast<char>(c);
        else if (!scan::is_ws(c)) phase = 4;
        slash = false;
        break;
      case 4:
        if (scan::is_ws(c)) phase = 0;
        slash = false;
        break;
      default:
        if (scan::is_ws(c)) {
          phase = phase == 0 ? 0 : 2;
          slash = false;
        } else if (c == '=' && phase != 0) {
          phase = 3;
          slash = false;
        } else {
          phase = 1;
          slash = c == '/';
        }
        break;
    }
  }
  scan_work_ += j - region_from;
  if (j == n) {
    ResumeState keep;
    keep.kind = ResumeState::kAttributes;
    keep.offset = j - pos;
    keep.name_end = name_end - pos;
    keep.phase = phase;
    keep.quote = quote;
    keep.slash = slash;
    resume_ = keep;
    return false;
  }

  std::optional<TagId> id = lookup_either_case(raw_name);
  std::string lowered;
  std::string_view name = raw_name;
  if (!id) {
    lowered = ascii_lowercase(raw_name);
    name = lowered;
  }
  const std::string_view region = buf.substr(name_end, j - name_end);
  const OpenResult r = open_element(name, id.has_value(), id.value_or(kHtml), region, slash);
  pos = j + 1;
  if (r.not_opened) return true;
  if (r.close_now) {
    close_element();
    after_close_ = true;
    return true;
  }
  if (id == kScript) return scan_script_content(buf, pos);
  return true;
}

void Processor::parse_tag_attributes(std::string_view tag, std::uint16_t mask, AttributeList& out) {
  out.clear();
  auto add = [&](std::string_view name, std::string_view value) {
    const std::uint16_t bit = attribute_bit(name);
    if (!(bit & mask)) return;
    std::string lower = ascii_lowercase(name);
    if (find_attribute(out, lower)) return;
    ParsedAttribute& a = out.emplace_back();
    a.name = std::move(lower);
    if (value.find('&') != std::string_view::npos) {
      decode_legacy_references_into(value, true, false, a.value);
    } else {
      a.value.assign(value);
    }
  };
  const std::size_t n = tag.size();
  std::uint8_t phase = 0;
  char quote = 0;
  std::size_t name_begin = 0, name_end = 0, value_begin = 0;
  for (std::size_t j = 0; j < n; ++j) {
    const unsigned char c = static_cast<unsigned char>(tag[j]);
    if (quote) {
      if (c == static_cast<unsigned char>(quote)) {
        add(tag.substr(name_begin, name_end - name_begin), tag.substr(value_begin, j - value_begin));
        quote = 0;
        phase = 0;
      }
      continue;
    }
    switch (phase) {
      case 0:
        if (!scan::is_ws(c)) {
          name_begin = j;
          phase = 1;
        }
        break;
      case 1:
        if (scan::is_ws(c)) {
          name_end = j;
          phase = 2;
        } else if (c == '=') {
          name_end = j;
          phase = 3;
        }
        break;
      case 2:
        if (c == '=') {
          phase = 3;
        } else if (!scan::is_ws(c)) {
          add(tag.substr(name_begin, name_end - name_begin), {});
          name_begin = j;
          phase = 1;
        }
        break;
      case 3:
        if (c == '"' || c == '\'') {
          quote = static_cast<char>(c);
          value_begin = j + 1;
        } else if (!scan::is_ws(c)) {
          value_begin = j;
          phase = 4;
        }
        break;
      case 4:
        if (scan::is_ws(c)) {
          add(tag.substr(name_begin, name_end - name_begin), tag.substr(value_begin, j - value_begin));
          phase = 0;
        }
        break;
    }
  }
  if (phase == 1) add(tag.substr(name_begin), {});
  else if (phase == 2) add(tag.substr(name_begin, name_end - name_begin), {});
  else if (phase == 4) add(tag.substr(name_begin, name_end - name_begin), tag.substr(value_begin));
}

// ---------------------------------------------------------------- end tags

bool Processor::scan_end_tag(std::string_view buf, std::size_t& pos) {
  const std::size_t n = buf.size();
  std::size_t j = pos + 2;
  std::size_t name_end = 0;
  bool past_name = false;
  char quote = 0;
  if (pos == 0 && incoming_.kind == ResumeState::kEndTag) {
    j = incoming_.offset;
    past_name = incoming_.phase == 1;
    name_end = incoming_.name_end;
    quote = incoming_.quote;
  }
  incoming_ = ResumeState{};
  const std::size_t scan_from = j;
  if (!past_name) {
    while (j < n && !ends_name(static_cast<unsigned char>(buf[j]))) ++j;
    name_end = j;
    past_name = j < n;
  }
  if (past_name) {
    for (; j < n; ++j) {
      const char c = buf[j];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        break;
      }
    }
  }
  scan_work_ += std::min(j, n) - scan_from;
  if (j >= n) {
    ResumeState saved;
    saved.kind = ResumeState::kEndTag;
    saved.offset = j - pos;
    saved.phase = past_name ? 1 : 0;
    saved.name_end = past_name ? name_end - pos : 0;
    saved.quote = quote;
    resume_ = saved;
    end_tag_unfinished_ = true;
    return false;
  }
  const std::string_view name = buf.substr(pos + 2, name_end - pos - 2);
  pos = j + 1;
  // The text before the tag is flushed only once the tag is whole, so that a
  // tag cut by the chunk's end hands out nothing of it early.
  flush_run();
  finish_end_tag(name);
  return true;
}

// ---------------------------------------------------------------- <! ... >

bool Processor::scan_markup_declaration(std::string_view buf, std::size_t& pos) {
  static constexpr std::string_view kCdataOpen = "<![CDATA[";
  const std::size_t n = buf.size();
  const std::size_t rem = n - pos;
  const ResumeState saved = pos == 0 ? incoming_ : ResumeState{};
  incoming_ = ResumeState{};

  if (rem >= kCdataOpen.size() && buf.substr(pos, kCdataOpen.size()) == kCdataOpen) {
    std::size_t from = pos + kCdataOpen.size();
    if (saved.kind == ResumeState::kCdata) from = std::max(from, pos + saved.offset);
    const std::size_t close = buf.find("]]>", from);
    scan_work_ += (close == std::string_view::npos ? n : close) - std::min(from, n);
    if (close == std::string_view::npos) {
      resume_ = ResumeState{ResumeState::kCdata, std::max(kCdataOpen.size(), rem >= 2 ? rem - 2 : 0)};
      return false;
    }
    flush_run();
    pos = close + 3;
      return true;
  }
  if (rem < kCdataOpen.size() && is_cut_prefix(buf, pos, kCdataOpen)) return false;

  flush_run();
  const bool comment = rem >= 4 && buf[pos + 2] == '-' && buf[pos + 3] == '-';
  if (comment) {
    std::size_t end = std::string_view::npos;
    if (rem >= 5 && buf[pos + 4] == '>') {
      end = pos + 5;
    } else if (rem >= 6 && buf[pos + 4] == '-' && buf[pos + 5] == '>') {
      end = pos + 6;
    } else {
      std::size_t k = pos + 4;
      if (saved.kind == ResumeState::kComment) k = std::max(k, pos + saved.offset);
      const std::size_t search_from = k;
      while (k + 2 < n) {
        const void* dash = std::memchr(buf.data() + k, '-', n - k);
        if (!dash) break;
        k = static_cast<const char*>(dash) - buf.data();
        if (k + 2 < n && buf[k + 1] == '-') {
          if (buf[k + 2] == '>') {
            end = k + 3;
            break;
          }
          if (k + 3 < n && buf[k + 2] == '!' && buf[k + 3] == '>') {
            end = k + 4;
            break;
          }
        }
        ++k;
      }
      scan_work_ += std::min(end == std::string_view::npos ? n : end, n) - std::min(search_from, n);
    }
    if (end == std::string_view::npos) {
      // "<!--" and "<!---" may still turn into "<!-->" or "<!--->".
      // A match may start in the last three bytes ("--!>" cut after them).
      if (rem >= 6) resume_ = ResumeState{ResumeState::kComment, std::max<std::size_t>(4, rem - 3)};
      return false;
    }
    pos = end;
      return true;
  }
  // A declaration: doctype, conditional markup, anything else after "<!".
  // "<!-" may still become a comment.
  return skip_to_tag_end(buf, pos, saved, rem >= 4 || (rem == 3 && buf[pos + 2] != '-'));
}

bool Processor::scan_bogus_comment(std::string_view buf, std::size_t& pos) {
  const ResumeState saved = pos == 0 ? incoming_ : ResumeState{};
  incoming_ = ResumeState{};
  flush_run();
  return skip_to_tag_end(buf, pos, saved, true);
}

// Skips a declaration or bogus comment at `pos` up to its first ">"; when
// the buffer ends first, the scan resumes from there next time if `settled`.
bool Processor::skip_to_tag_end(std::string_view buf, std::size_t& pos, const ResumeState& saved, bool settled) {
  const std::size_t n = buf.size();
  std::size_t from = pos + 2;
  if (saved.kind == ResumeState::kDeclaration) from = std::max(from, pos + saved.offset);
  const void* gt = from < n ? std::memchr(buf.data() + from, '>', n - from) : nullptr;
  scan_work_ += (gt ? static_cast<std::size_t>(static_cast<const char*>(gt) - buf.data()) : n) - std::min(from, n);
  if (!gt) {
    if (settled) resume_ = ResumeState{ResumeState::kDeclaration, n - pos};
    return false;
  }
  pos = static_cast<std::size_t>(static_cast<const char*>(gt) - buf.data()) + 1;
  return true;
}

// ---------------------------------------------------------------- raw text

bool Processor::scan_raw_text_markup(std::string_view buf, std::size_t& pos) {
  const std::size_t n = buf.size();
  // The end-tag name after "</", at most 11 bytes looked at: longer names
  // match no raw-text element.
  std::size_t name_end = pos + 2;
  bool is_end = buf[pos + 1] == '/';
  if (is_end) {
    while (name_end < n && name_end - pos - 2 <= 10 && !ends_name(static_cast<unsigned char>(buf[name_end]))) {
      ++name_end;
    }
  }
  const std::string_view name = is_end ? buf.substr(pos + 2, name_end - pos - 2) : std::string_view();
  bool matches = false;
  if (is_end) {
    if (!raw_text_end_name_.empty()) {
      const std::string_view stored = raw_text_end_name_;
      if (name_end == n) {
        if (name.size() <= stored.size() && ascii_iequals(name, stored.substr(0, name.size()))) return false;
      } else {
        matches = ascii_iequals(name, stored);
      }
    } else {
      const ElementFrame* top = innermost();
      const std::string_view own = tag_name(top->tag_id);
      if (name_end == n) {
        if (name.size() <= own.size() && ascii_iequals(name, own.substr(0, name.size()))) return false;
      } else {
        const std::optional<TagId> id = lookup_either_case(name);
        matches = top->known && id == top->tag_id;
      }
    }
  }
  if (matches) return scan_end_tag(buf, pos);
  if (raw_text_end_name_.empty() && (open_counts_[kScript] || open_counts_[kStyle])) {
    text_buffer_.push_back('<');
    has_content_ = true;
    at_space_ = after_close_ = false;
  } else {
    append_text_literal_lt();
  }
  ++pos;
  return true;
}

bool Processor::scan_script_content(std::string_view buf, std::size_t& pos) {
  const std::size_t n = buf.size();
  const std::size_t start = pos;
  std::size_t i = pos;
  std::uint8_t st = script_state_;
  bool found_end = false;
  bool cut = false;
  while (i < n) {
    if (st == 0) {
      const void* lt = std::memchr(buf.data() + i, '<', n - i);
      if (!lt) {
        i = n;
        break;
      }
      i = static_cast<std::size_t>(static_cast<const char*>(lt) - buf.data());
      if (i + 4 <= n && std::memcmp(buf.data() + i, "<!--", 4) == 0) {
        st = 3;
        i += 4;
        continue;
      }
      const int end = match_tag_word(buf, i, "</script");
      if (end == 1) {
        found_end = true;
        break;
      }
      if (end == -1 || is_cut_prefix(buf, i, "<!--")) {
        cut = true;
        break;
      }
      ++i;
      continue;
    }
    const char c = buf[i];
    const bool escaped = st <= 3;
    if (c == '<') {
      const int end = match_tag_word(buf, i, "</script");
      if (end == 1) {
        if (escaped) {
          found_end = true;
          break;
        }
        st = 1;
        i += 8;
        continue;
      }
      const int open = escaped ? match_tag_word(buf, i, "<script") : 0;
      if (open == 1) {
        st = 4;
        i += 7;
        continue;
      }
      if (end == -1 || open == -1) {
        cut = true;
        break;
      }
      st = escaped ? 1 : 4;
    } else if (c == '-') {
      st = escaped ? (st == 1 ? 2 : 3) : (st == 4 ? 5 : 6);
    } else if (c == '>') {
      st = (st == 3 || st == 6) ? 0 : (escaped ? 1 : 4);
    } else {
      st = escaped ? 1 : 4;
    }
    ++i;
  }
  scan_work_ += i - start;
  if (i > start) {
    has_content_ = true;
    at_space_ = after_close_ = false;
  }
  flush_raw_text();
  pos = i;
  if (found_end) {
    script_state_ = 0;
    return true;
  }
  script_state_ = st;
  (void)cut;
  return false;
}

// ---------------------------------------------------------------- end of input

void Processor::flush_end_of_input(std::string_view rest) {
  resume_ = incoming_ = ResumeState{};
  const ElementFrame* top = innermost();
  if (top && top->is(kScript)) {
    if (!rest.empty()) {
      has_content_ = true;
      at_space_ = after_close_ = false;
    }
    flush_raw_text();
    script_state_ = 0;
  } else {
    if (!rest.empty() && rest[0] == '<' && raw_text_mode_ && !end_tag_unfinished_) {
      text_buffer_.append(rest);
      has_content_ = true;
      for (std::size_t i = 1; i < rest.size(); ++i) {
        if (is_markdown_special(static_cast<unsigned char>(rest[i]))) text_needs_escape_ = true;
      }
      if (!open_counts_[kStyle] && rest.find('&') != std::string_view::npos) has_ampersand_ = true;
      flush_run();
    } else {
      flush_run();
      if (!rest.empty() && rest[0] != '<') flush_text_node(rest, true);
    }
  }
  while (depth_ > 0) close_element();
  // Nothing follows: every pair still waiting for its next character is
  // settled.
  if (!marker_pairs_.empty()) settle_marker_pairs(true);
  last_code_span_.reset();
  input_ended_ = true;
}

}  // namespace tidewell::streaming
