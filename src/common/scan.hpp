// Byte-scanning helpers shared by the preprocessing passes: ASCII classes,
// case-insensitive matching, the copy-on-write writer and memoised searches
// that keep repeated searches from rescanning the same text.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tidewell::scan {

inline constexpr std::size_t npos = static_cast<std::size_t>(-1);

inline bool is_ws(unsigned char c) {
  return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}
inline bool is_letter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
inline bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
inline unsigned char lower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

// Whether `lit` (lower case) stands at `pos`, ignoring ASCII case.
inline bool ieq_at(std::string_view t, std::size_t pos, std::string_view lit) {
  if (pos > t.size() || t.size() - pos < lit.size()) return false;
  for (std::size_t k = 0; k < lit.size(); ++k) {
    if (lower(static_cast<unsigned char>(t[pos + k])) != static_cast<unsigned char>(lit[k])) {
      return false;
    }
  }
  return true;
}

inline bool ieq(std::string_view a, std::string_view lit) {
  return a.size() == lit.size() && ieq_at(a, 0, lit);
}

inline std::size_t find_byte(std::string_view t, char c, std::size_t from) {
  if (from >= t.size()) return npos;
  const void* p = std::memchr(t.data() + from, c, t.size() - from);
  return p ? static_cast<std::size_t>(static_cast<const char*>(p) - t.data()) : npos;
}

// find_byte for text where the byte is usually close (markup): the first
// bytes are looked at one by one before a vectorised search.
inline std::size_t find_byte_near(std::string_view t, char c, std::size_t from) {
#if defined(__SSE2__)
  if (from + 16 <= t.size()) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.data() + from));
    const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(c)));
    if (mask != 0) return from + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    return find_byte(t, c, from + 16);
  }
#endif
  const std::size_t near = std::min(t.size(), from + 16);
  for (std::size_t i = from; i < near; ++i) {
    if (t[i] == c) return i;
  }
  return find_byte(t, c, near);
}

// Skips running text a converter copies as it stands: from `from` on, the
// first position that holds a control byte of white space (9 to 13), '&',
// the lead byte of a possible Unicode space (0xC2, 0xE1 to 0xE3), or a space
// that such a byte or another space follows. Blocks of 16 bytes are tested
// at once; where that cannot decide (a space ending a block), it stops
// early, and the caller's own byte loop goes on from there.
inline std::size_t skip_plain_words(std::string_view t, std::size_t from) {
  std::size_t j = from;
#if defined(__SSE2__)
  const char* const data = t.data();
  while (j + 16 <= t.size()) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + j));
    const __m128i space = _mm_cmpeq_epi8(block, _mm_set1_epi8(' '));
    const __m128i control =
        _mm_and_si128(_mm_cmpgt_epi8(block, _mm_set1_epi8(8)), _mm_cmplt_epi8(block, _mm_set1_epi8(14)));
    const __m128i lead = _mm_or_si128(
        _mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(0xC2))),
        _mm_and_si128(_mm_cmpgt_epi8(block, _mm_set1_epi8(static_cast<char>(0xE0))),
                      _mm_cmplt_epi8(block, _mm_set1_epi8(static_cast<char>(0xE4)))));
    const __m128i other = _mm_or_si128(_mm_or_si128(control, lead), _mm_cmpeq_epi8(block, _mm_set1_epi8('&')));
    const unsigned spaces = static_cast<unsigned>(_mm_movemask_epi8(space));
    const unsigned others = static_cast<unsigned>(_mm_movemask_epi8(other));
    const unsigned stops = others | (spaces & (((spaces | others) >> 1) | 0x8000u));
    if (stops != 0) return j + static_cast<std::size_t>(__builtin_ctz(stops));
    j += 16;
  }
#endif
  return j;
}

namespace detail {

// find_pair with `fold` ORed into each byte before it is compared.
inline std::size_t find_pair_folded(std::string_view t, char first, char second, std::size_t from, char fold) {
  const std::size_t n = t.size();
  std::size_t i = from;
#if defined(__SSE2__)
  const char* const data = t.data();
  const __m128i f = _mm_set1_epi8(fold);
  const __m128i a = _mm_set1_epi8(first);
  const __m128i b = _mm_set1_epi8(second);
  while (i + 17 <= n) {
    const __m128i here = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i)), f);
    const __m128i next = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 1)), f);
    const unsigned mask =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(here, a), _mm_cmpeq_epi8(next, b))));
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
    i += 16;
  }
#endif
  for (; i + 1 < n; ++i) {
    if ((t[i] | fold) == first && (t[i + 1] | fold) == second) return i;
  }
  return npos;
}

}  // namespace detail

// The first position at or after `from` where `first` is followed by
// `second`: a search for two-byte markers that are rare in a page ("<!",
// "<?", "->"), 16 positions at a time.
inline std::size_t find_pair(std::string_view t, char first, char second, std::size_t from) {
  return detail::find_pair_folded(t, first, second, from, 0);
}

// The same for the letters `first` and `second` (lower case), each in any
// ASCII case: a rare letter pair finds a word faster than its first letter.
inline std::size_t find_letter_pair(std::string_view t, char first, char second, std::size_t from) {
  return detail::find_pair_folded(t, first, second, from, 0x20);
}

// The first `needle` at or after `from`, for the short needles of markup
// ("<!--", "-->"): candidates by their first two bytes, 16 at a time.
inline std::size_t find_str(std::string_view t, std::string_view needle, std::size_t from) {
  if (from > t.size()) return npos;
  if (needle.size() < 2) return needle.empty() ? from : find_byte(t, needle[0], from);
  for (std::size_t at = find_pair(t, needle[0], needle[1], from); at != npos;
       at = find_pair(t, needle[0], needle[1], at + 1)) {
    if (t.compare(at, needle.size(), needle) == 0) return at;
  }
  return npos;
}

// End of the comment whose "<!--" starts at i, as an HTML tokenizer reads it:
// "<!-->" and "<!--->" close at once; otherwise the first "-->" or "--!>";
// an unclosed comment runs to the end of the text.
inline std::size_t comment_end(std::string_view t, std::size_t i) {
  const std::size_t n = t.size();
  const std::size_t k = i + 4;
  if (k < n && t[k] == '>') return k + 1;
  if (k + 1 < n && t[k] == '-' && t[k + 1] == '>') return k + 2;
  for (std::size_t d = find_str(t, "--", k); d != npos; d = find_str(t, "--", d + 1)) {
    if (d + 2 < n && t[d + 2] == '>') return d + 3;
    if (d + 3 < n && t[d + 2] == '!' && t[d + 3] == '>') return d + 4;
  }
  return n;
}

// Builds the output of a rewriting pass only from its first change on.
class CowWriter {
 public:
  explicit CowWriter(std::string_view in) : in_(in) {}

  // Replaces in_[from, to) by `repl`; `from` must not precede earlier edits.
  void replace(std::size_t from, std::size_t to, std::string_view repl, std::size_t extra = 0) {
    if (!out_) {
      out_.emplace();
      out_->reserve(in_.size() + extra);
    }
    out_->append(in_.data() + copied_, from - copied_);
    out_->append(repl);
    copied_ = to;
  }
  void insert(std::size_t at, std::string_view text, std::size_t extra = 0) {
    replace(at, at, text, extra);
  }
  bool changed() const { return out_.has_value(); }
  // Where input position `at` (not before the last edit) lands in the output.
  std::size_t output_position(std::size_t at) const { return out_ ? out_->size() + (at - copied_) : at; }
  std::optional<std::string> finish() {
    if (out_) out_->append(in_.data() + copied_, in_.size() - copied_);
    return std::move(out_);
  }

 private:
  std::string_view in_;
  std::size_t copied_ = 0;
  std::optional<std::string> out_;
};

// Answers "first match at or after p" for queries whose p does not
// decrease: a result stays valid for every later p up to it, and a failed
// search answers every later query at once.
class ForwardCache {
 public:
  template <class Search>
  std::size_t find(std::size_t p, Search&& search) {
    if (valid_ && p >= query_ && p <= result_) return result_;
    result_ = search(p);
    query_ = p;
    valid_ = true;
    return result_;
  }

 private:
  bool valid_ = false;
  std::size_t query_ = 0;
  std::size_t result_ = 0;
};

// The first of the bytes a, b and c in [from, to), or `to`.
inline std::size_t find_any_of3(std::string_view t, std::size_t from, std::size_t to, char a, char b, char c) {
#if defined(__SSE2__)
  const char* const data = t.data();
  const __m128i va = _mm_set1_epi8(a);
  const __m128i vb = _mm_set1_epi8(b);
  const __m128i vc = _mm_set1_epi8(c);
  while (from + 16 <= to) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + from));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)), _mm_cmpeq_epi8(v, vc));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask != 0) return from + static_cast<std::size_t>(__builtin_ctz(mask));
    from += 16;
  }
#endif
  for (; from < to; ++from) {
    const char x = t[from];
    if (x == a || x == b || x == c) return from;
  }
  return to;
}

// Quote-aware search for ">": from a position outside quotes, the position
// after the first ">" not inside a single- or double-quoted stretch.
// Short searches scan directly; once the bytes scanned pass a multiple of
// the text length, a table over the quote and ">" bytes answers the rest in
// logarithmic time, so many unterminated tags cannot make it quadratic.
class TagEndFinder {
 public:
  explicit TagEndFinder(std::string_view t)
      : t_(t), budget_(4 * t.size() + 4096), last_gt_(t.rfind('>')) {}

  // The bytes read by the scans so far (the table, once built, answers
  // without reading): stays within a few times the text's size.
  std::size_t bytes_scanned() const { return used_; }

  std::size_t find(std::size_t start) {
    if (built_) return from_table(start);
    const std::size_t n = t_.size();
    if (start >= n || last_gt_ == std::string_view::npos || start > last_gt_) return npos;
    const std::size_t limit = budget_ > used_ ? budget_ - used_ : 0;
    const std::size_t stop = (n - start > limit) ? start + limit : n;
    // From one '>' or quote to the next, a quoted stretch in one search.
    std::size_t k = start;
    while ((k = find_any_of3(t_, k, stop, '>', '"', '\'')) < stop) {
      if (t_[k] == '>') {
        used_ += k - start + 1;
        return k + 1;
      }
      const void* close = std::memchr(t_.data() + k + 1, t_[k], stop - k - 1);
      k = close ? static_cast<std::size_t>(static_cast<const char*>(close) - t_.data()) + 1 : stop;
    }
    used_ += stop - start;
    if (stop == n) return npos;
    build();
    return from_table(start);
  }

 private:
  void build() {
    const std::size_t n = t_.size();
    for (std::size_t k = 0; k < n; ++k) {
      const char c = t_[k];
      if (c == '>' || c == '"' || c == '\'') pos_.push_back(k);
    }
    value_.assign(pos_.size(), npos);
    std::size_t next_dq = npos, next_sq = npos;  // indices into pos_
    for (std::size_t i = pos_.size(); i-- > 0;) {
      const char c = t_[pos_[i]];
      if (c == '>') {
        value_[i] = pos_[i] + 1;
      } else {
        const std::size_t close = (c == '"') ? next_dq : next_sq;
        value_[i] = (close == npos || close + 1 >= pos_.size()) ? npos : value_[close + 1];
        if (c == '"') next_dq = i; else next_sq = i;
      }
    }
    built_ = true;
  }
  std::size_t from_table(std::size_t start) const {
    auto it = std::lower_bound(pos_.begin(), pos_.end(), start);
    if (it == pos_.end()) return npos;
    return value_[static_cast<std::size_t>(it - pos_.begin())];
  }

  std::string_view t_;
  std::size_t budget_;
  std::size_t last_gt_;
  std::size_t used_ = 0;
  bool built_ = false;
  std::vector<std::size_t> pos_;
  std::vector<std::size_t> value_;
};

// Line breaks as an HTML input stream sees them: CR LF and lone CR become
// LF; nullopt when the text holds no CR.
inline std::optional<std::string> normalize_line_endings(std::string_view text) {
  if (std::memchr(text.data(), '\r', text.size()) == nullptr) return std::nullopt;
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const void* hit = std::memchr(text.data() + pos, '\r', text.size() - pos);
    if (!hit) {
      out.append(text.data() + pos, text.size() - pos);
      break;
    }
    const std::size_t cr = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
    out.append(text.data() + pos, cr - pos);
    out.push_back('\n');
    pos = (cr + 1 < text.size() && text[cr + 1] == '\n') ? cr + 2 : cr + 1;
  }
  return out;
}

}  // namespace tidewell::scan
