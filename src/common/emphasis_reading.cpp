#include "common/emphasis_reading.hpp"

#include <algorithm>
#include <array>
#include <string>

#include "common/ascii.hpp"
#include "common/char_sides.hpp"

namespace tidewell {
namespace {

constexpr std::uint32_t kNone = kNoPartner;
// Link texts inside link texts (an image in a link) are read apart up to
// this depth; deeper brackets are text.
constexpr std::size_t kScopeLimit = 8;
// How far an autolink or an HTML tag is looked for.
constexpr std::size_t kAngleReach = 512;

// One marker of a delimiter run: a '*' or '_', or a "~~" (markdown-it
// pushes each as a delimiter of its own).
struct Delimiter {
  std::uint32_t pos = 0;
  std::uint32_t token = 0;   // consecutive for markers with nothing between them
  std::uint32_t length = 0;  // the run's length ('*', '_'); 0 for "~~" (no rule of three)
  std::int32_t end = -1;     // the closer it pairs with
  std::uint32_t first = 0;   // "~~": the index of its run's first marker
  std::uint32_t lone = kNone;  // "~~": the odd tilde its run starts with
  char marker = 0;
  bool open = false;
  bool close = false;
  bool closed = false;  // paired as a closer
};

// The delimiters of one text read as a whole: the content, or a link's text.
struct Scope {
  std::vector<Delimiter> delimiters;
  std::uint32_t end = kNone;       // the closing bracket of a link's text
  std::uint32_t link_end = kNone;  // the byte after the link
};

// The buffers of a reading, kept between the readings of a thread so that
// most of them allocate nothing. Link texts nest in `scopes` by depth.
struct ReaderScratch {
  std::vector<std::uint32_t> jump;
  std::vector<std::int32_t> em, strong, strike;
  std::vector<Scope> scopes;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> runs;
  std::vector<std::uint32_t> open;
  std::vector<std::int64_t> jumps;
  bool busy = false;
};

// Whether a run of `c` between neighbours of these sides (one bit each) can
// open and close: CommonMark's flanking rules, '_' opening and closing
// inside a word only beside punctuation.
struct Flanks {
  bool open = false;
  bool close = false;
};

Flanks flanks(char c, std::uint8_t before, std::uint8_t after) {
  const bool left = left_flanking(before, after);
  const bool right = left_flanking(after, before);
  if (c != '_') return {left, right};
  return {left && (!right || before == kPunctSide), right && (!left || after == kPunctSide)};
}

class Reader {
 public:
  Reader(std::string_view text, const ReadingEdges& edges, std::vector<std::uint8_t>& shown,
         std::vector<std::uint32_t>* partners, ReaderScratch& scratch)
      : text_(text), edges_(edges), shown_(shown), partners_(partners), n_(static_cast<std::uint32_t>(text.size())),
        scratch_(scratch), jump_(scratch.jump), em_(scratch.em), strong_(scratch.strong), strike_(scratch.strike),
        scopes_(scratch.scopes) {}

  // See link_at_edge: the links outside link texts are looked at in turn.
  std::optional<LinkSpan> link_at_edge(bool at_start) {
    jump_.assign(n_, kNone);
    find_code_spans();
    match_brackets();
    push_scope(kNone, kNone);
    for (std::uint32_t k = 0; k < n_;) {
      const char c = text_[k];
      if (c == '\\' && k + 1 < n_) {
        k += 2;
      } else if (c == '`' && jump_[k] != kNone) {
        k = jump_[k];
      } else if (c == '[' && jump_[k] != kNone) {
        const std::uint32_t close = jump_[k];
        const std::uint32_t end = link_tail(close);
        if (end == kNone || holds_link(k + 1, close)) {
          ++k;
          continue;
        }
        const bool image = k > 0 && text_[k - 1] == '!' && !is_escaped(k - 1);
        if (!image && (at_start ? k == 0 : end == n_)) return LinkSpan{k, k + 1, close, end};
        if (at_start) return std::nullopt;
        k = end;
      } else {
        if (at_start) return std::nullopt;
        ++k;
      }
    }
    return std::nullopt;
  }

  void read() {
    shown_.assign(n_, kShownText);
    if (partners_ != nullptr) partners_->assign(n_, kNone);
    jump_.assign(n_, kNone);
    find_code_spans();
    match_brackets();
    em_.assign(n_ + 1, 0);
    strong_.assign(n_ + 1, 0);
    strike_.assign(n_ + 1, 0);
    depth_ = 0;
    push_scope(kNone, kNone);
    std::uint32_t i = 0;
    while (i < n_) {
      if (top().end == i) {
        const std::uint32_t after = top().link_end;
        close_scope();
        hide(i, after);
        i = after;
        continue;
      }
      i = step(i);
    }
    while (depth_ > 0) close_scope();
    std::int32_t em = 0, strong = 0, strike = 0;
    for (std::uint32_t k = 0; k < n_; ++k) {
      em += em_[k];
      strong += strong_[k];
      strike += strike_[k];
      if ((shown_[k] & kShownText) == 0) continue;
      shown_[k] = static_cast<std::uint8_t>(kShownText | (em > 0 ? kShownEmphasis : 0) |
                                            (strong > 0 ? kShownStrong : 0) | (strike > 0 ? kShownStrike : 0));
    }
  }

 private:
  bool is_escaped(std::uint32_t k) const {
    std::uint32_t slashes = 0;
    while (k > slashes && text_[k - 1 - slashes] == '\\') ++slashes;
    return slashes % 2 != 0;
  }

  void pair(std::uint32_t a, std::uint32_t b) {
    if (partners_ == nullptr) return;
    (*partners_)[a] = b;
    (*partners_)[b] = a;
  }

  void hide(std::uint32_t from, std::uint32_t to) {
    for (std::uint32_t k = from; k < to && k < n_; ++k) shown_[k] = 0;
  }

  // A sequence that is not well formed UTF-8 (any side) reads as a
  // replacement character, which is a symbol.
  static std::uint8_t definite(std::uint8_t side) {
    return side == kAnySide ? static_cast<std::uint8_t>(kPunctSide) : side;
  }

  // The side of what a run starting at `pos` follows, and of what a run
  // ending at `end` meets (the end of a link's text reads as white space).
  std::uint8_t side_before(std::uint32_t pos) {
    return pos == 0 ? edges_.before : definite(category_side_of_char_before(text_, pos));
  }
  std::uint8_t side_after(std::uint32_t end) {
    if (end == top().end) return kSpaceSide;
    return end >= n_ ? edges_.after : definite(category_side_of_char_at(text_, end));
  }

  // --- code spans and brackets, found before the reading ------------------

  // Every code span: jump_ at its opening backtick holds the byte after
  // it. A backtick run after a backslash escape starts one byte later; the
  // closing run is the next run of the same length, escaped or not.
  void find_code_spans() {
    // The backtick runs as they stand, for the closing runs.
    std::vector<std::pair<std::uint32_t, std::uint32_t>>& runs = scratch_.runs;
    runs.clear();
    for (std::uint32_t k = 0; k < n_;) {
      if (text_[k] != '`') {
        ++k;
        continue;
      }
      std::uint32_t e = k;
      while (e < n_ && text_[e] == '`') ++e;
      runs.emplace_back(k, e - k);
      k = e;
    }
    if (runs.empty()) return;
    // The next run of each length, looked for from a place that only moves on.
    std::vector<std::pair<std::uint32_t, std::size_t>> cursors;
    const auto closing_run = [&](std::uint32_t from, std::uint32_t length) -> std::uint32_t {
      std::size_t* cursor = nullptr;
      for (auto& [len, at] : cursors) {
        if (len == length) cursor = &at;
      }
      if (cursor == nullptr) {
        cursors.emplace_back(length, 0);
        cursor = &cursors.back().second;
      }
      while (*cursor < runs.size() && (runs[*cursor].first < from || runs[*cursor].second != length)) ++*cursor;
      return *cursor < runs.size() ? runs[*cursor].first : kNone;
    };
    for (std::uint32_t k = 0; k < n_;) {
      const char c = text_[k];
      if (c == '\\' && k + 1 < n_ && is_ascii_punct(static_cast<unsigned char>(text_[k + 1]))) {
        k += 2;
        continue;
      }
      if (c != '`') {
        ++k;
        continue;
      }
      std::uint32_t e = k;
      while (e < n_ && text_[e] == '`') ++e;
      const std::uint32_t close = closing_run(e, e - k);
      if (close == kNone) {
        k = e;
        continue;
      }
      jump_[k] = close + (e - k);
      k = close + (e - k);
    }
  }

  // The closing bracket of every '[' whose brackets pair (escapes and code
  // spans passed over): jump_ at the '[' holds it.
  void match_brackets() {
    std::vector<std::uint32_t>& open = scratch_.open;
    open.clear();
    for (std::uint32_t k = 0; k < n_;) {
      const char c = text_[k];
      if (c == '\\' && k + 1 < n_ && is_ascii_punct(static_cast<unsigned char>(text_[k + 1]))) {
        k += 2;
      } else if (c == '`') {
        if (jump_[k] != kNone) {
          k = jump_[k];
        } else {
          while (k < n_ && text_[k] == '`') ++k;
        }
      } else {
        if (c == '[') open.push_back(k);
        if (c == ']' && !open.empty()) {
          jump_[open.back()] = k;
          open.pop_back();
        }
        ++k;
      }
    }
  }

  // --- the parts of a link after its text --------------------------------

  std::uint32_t skip_blank(std::uint32_t k) const {
    bool line_feed = false;
    while (k < n_ && (text_[k] == ' ' || text_[k] == '\t' || (text_[k] == '\n' && !line_feed))) {
      line_feed = line_feed || text_[k] == '\n';
      ++k;
    }
    return k;
  }

  // The end of a destination starting at `k` (when `ok`).
  std::uint32_t destination_end(std::uint32_t k, bool& ok) const {
    ok = false;
    if (k < n_ && text_[k] == '<') {
      for (std::uint32_t at = k + 1; at < n_; ++at) {
        if (text_[at] == '\n' || text_[at] == '<') return k;
        if (text_[at] == '>') {
          ok = true;
          return at + 1;
        }
        if (text_[at] == '\\' && at + 1 < n_) ++at;
      }
      return k;
    }
    int level = 0;
    std::uint32_t at = k;
    for (; at < n_; ++at) {
      const auto c = static_cast<unsigned char>(text_[at]);
      if (c <= 0x20 || c == 0x7F) break;
      if (c == '\\' && at + 1 < n_) {
        if (text_[at + 1] == ' ') break;
        ++at;
      } else if (c == '(') {
        if (++level > 32) return k;
      } else if (c == ')') {
        if (level == 0) break;
        --level;
      }
    }
    ok = at != k && level == 0;
    return ok ? at : k;
  }

  // The byte after "(destination title)" whose '(' is at `k`, or kNone.
  std::uint32_t inline_link_tail(std::uint32_t k) const {
    std::uint32_t at = skip_blank(k + 1);
    if (at >= n_) return kNone;
    bool ok = false;
    at = destination_end(at, ok);
    if (ok) {
      const std::uint32_t spaced = skip_blank(at);
      if (spaced < n_ && spaced != at && (text_[spaced] == '"' || text_[spaced] == '\'' || text_[spaced] == '(')) {
        const char close = text_[spaced] == '(' ? ')' : text_[spaced];
        std::uint32_t title = spaced + 1;
        for (; title < n_ && text_[title] != close; ++title) {
          if (close == ')' && text_[title] == '(') break;
          if (text_[title] == '\\' && title + 1 < n_) ++title;
        }
        at = title < n_ && text_[title] == close ? skip_blank(title + 1) : spaced;
      } else {
        at = spaced;
      }
    }
    return at < n_ && text_[at] == ')' ? at + 1 : kNone;
  }

  // The byte after the link whose text closes with the ']' at `close`, or
  // kNone when no link forms there (a reference is taken as defined).
  std::uint32_t link_tail(std::uint32_t close) const {
    const std::uint32_t k = close + 1;
    if (k >= n_) return kNone;
    if (text_[k] == '(') return inline_link_tail(k);
    if (text_[k] != '[' || !edges_.references) return kNone;
    for (std::uint32_t at = k + 1; at < n_ && at < k + 1000; ++at) {
      if (text_[at] == '\\' && at + 1 < n_) {
        ++at;
      } else if (text_[at] == '[') {
        return kNone;
      } else if (text_[at] == ']') {
        return at + 1;
      }
    }
    return kNone;
  }

  // A link stands between `from` and `to` (a link's text holds none: the
  // outer brackets are text then). Looked for within a bounded reach.
  bool holds_link(std::uint32_t from, std::uint32_t to) const {
    for (std::uint32_t k = from; k < to && k < from + kAngleReach; ++k) {
      const char c = text_[k];
      if (c == '\\') {
        ++k;
      } else if (c == '`' && jump_[k] != kNone) {
        k = jump_[k] - 1;
      } else if (c == '[' && jump_[k] != kNone && (k == 0 || text_[k - 1] != '!') && link_tail(jump_[k]) != kNone) {
        return true;
      }
    }
    return false;
  }

  static bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
  static bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

  std::uint32_t skip_blanks(std::uint32_t k, std::uint32_t limit) const {
    while (k < limit && is_blank(text_[k])) ++k;
    return k;
  }

  // The byte after `terminator`, looked for from `k` on, or kNone.
  std::uint32_t after_terminator(std::uint32_t k, std::string_view terminator, std::uint32_t limit) const {
    const std::size_t at = text_.substr(0, limit).find(terminator, k);
    return at == std::string_view::npos ? kNone : static_cast<std::uint32_t>(at + terminator.size());
  }

  // An autolink "<scheme:...>" or "<address@domain>" at the '<' at `k`:
  // the byte after it, or kNone.
  std::uint32_t autolink_end(std::uint32_t k, std::uint32_t limit) const {
    std::uint32_t close = k + 1;
    while (close < limit && text_[close] != '>' && text_[close] != '<') ++close;
    if (close >= limit || text_[close] != '>') return kNone;
    const std::string_view url = text_.substr(k + 1, close - k - 1);
    std::size_t scheme = 0;
    while (scheme < url.size() && (is_ascii_alnum(url[scheme]) || url[scheme] == '+' || url[scheme] == '.' ||
                                   url[scheme] == '-')) {
      ++scheme;
    }
    if (!url.empty() && is_letter(url[0]) && scheme >= 2 && scheme <= 32 && scheme < url.size() &&
        url[scheme] == ':') {
      for (const char c : url.substr(scheme + 1)) {
        if (static_cast<unsigned char>(c) <= 0x20) return kNone;
      }
      return close + 1;
    }
    const std::size_t at = url.find('@');
    if (at == 0 || at == std::string_view::npos || at + 1 >= url.size()) return kNone;
    static constexpr std::string_view kLocal = ".!#$%&'*+/=?^_`{|}~-";
    for (const char c : url.substr(0, at)) {
      if (!is_ascii_alnum(c) && kLocal.find(c) == std::string_view::npos) return kNone;
    }
    for (const char c : url.substr(at + 1)) {
      if (!is_ascii_alnum(c) && c != '-' && c != '.') return kNone;
    }
    return close + 1;
  }

  // An HTML tag, comment, processing instruction, declaration or CDATA
  // section at the '<' at `k`: the byte after it, or kNone.
  std::uint32_t html_end(std::uint32_t k, std::uint32_t limit) const {
    if (k + 2 >= limit) return kNone;
    const std::string_view rest = text_.substr(k, limit - k);
    if (rest.starts_with("<!-->")) return k + 5;
    if (rest.starts_with("<!--->")) return k + 6;
    if (rest.starts_with("<!--")) return after_terminator(k + 4, "-->", limit);
    if (rest.starts_with("<![CDATA[")) return after_terminator(k + 9, "]]>", limit);
    if (rest[1] == '?') return after_terminator(k + 2, "?>", limit);
    if (rest[1] == '!') return is_letter(rest[2]) ? after_terminator(k + 2, ">", limit) : kNone;
    const bool closing = rest[1] == '/';
    std::uint32_t at = k + (closing ? 2 : 1);
    if (at >= limit || !is_letter(text_[at])) return kNone;
    while (at < limit && (is_ascii_alnum(text_[at]) || text_[at] == '-')) ++at;
    if (closing) {
      at = skip_blanks(at, limit);
      return at < limit && text_[at] == '>' ? at + 1 : kNone;
    }
    while (true) {
      const std::uint32_t name = skip_blanks(at, limit);
      if (name < limit && name > at && (is_letter(text_[name]) || text_[name] == '_' || text_[name] == ':')) {
        at = name + 1;
        const auto name_char = [](char c) {
          return is_ascii_alnum(c) || std::string_view(":._-").find(c) != std::string_view::npos;
        };
        while (at < limit && name_char(text_[at])) ++at;
        const std::uint32_t equals = skip_blanks(at, limit);
        if (equals < limit && text_[equals] == '=') {
          std::uint32_t value = skip_blanks(equals + 1, limit);
          if (value >= limit) return kNone;
          const char quote = text_[value];
          if (quote == '"' || quote == '\'') {
            const std::size_t close = text_.substr(0, limit).find(quote, value + 1);
            if (close == std::string_view::npos) return kNone;
            at = static_cast<std::uint32_t>(close + 1);
          } else {
            const std::uint32_t from = value;
            while (value < limit && static_cast<unsigned char>(text_[value]) > 0x20 &&
                   std::string_view("\"'=<>`").find(text_[value]) == std::string_view::npos) {
              ++value;
            }
            if (value == from) return kNone;
            at = value;
          }
        }
        continue;
      }
      at = name;
      if (at < limit && text_[at] == '/') ++at;
      return at < limit && text_[at] == '>' ? at + 1 : kNone;
    }
  }

  // --- reading -------------------------------------------------------------

  // Reads the construct at `i`; returns the byte after it.
  std::uint32_t step(std::uint32_t i) {
    const char c = text_[i];
    switch (c) {
      case '\\':
        if (i + 1 < n_ && (is_ascii_punct(static_cast<unsigned char>(text_[i + 1])) || text_[i + 1] == '\n')) {
          shown_[i] = 0;
          content();
          return text_[i + 1] == '\n' ? i + 1 : i + 2;
        }
        break;
      case '`': {
        std::uint32_t e = i;
        while (e < n_ && text_[e] == '`') ++e;
        content();
        if (jump_[i] == kNone) return e;
        const std::uint32_t end = jump_[i];
        hide(i, e);
        hide(end - (e - i), end);
        return end;
      }
      case '*':
      case '_':
      case '~':
        return delimiter_run(i);
      case '!':
        if (i + 1 < n_ && text_[i + 1] == '[' && jump_[i + 1] != kNone) {
          const std::uint32_t close = jump_[i + 1];
          const std::uint32_t end = close < scope_end() ? link_tail(close) : kNone;
          if (end != kNone && end <= scope_end()) {
            // An image's text is read apart and shows as its text.
            hide(i, i + 2);
            hide(close, end);
            content();
            return end;
          }
        }
        break;
      case '[':
        if (jump_[i] != kNone && depth_ < kScopeLimit) {
          const std::uint32_t close = jump_[i];
          const std::uint32_t end = close < scope_end() ? link_tail(close) : kNone;
          if (end != kNone && end <= scope_end() && !holds_link(i + 1, close)) {
            shown_[i] = 0;
            content();
            push_scope(close, end);
            return i + 1;
          }
        }
        break;
      case '<': {
        const std::uint32_t limit = std::min<std::uint32_t>(scope_end(), i + kAngleReach < n_ ? i + kAngleReach : n_);
        if (const std::uint32_t end = autolink_end(i, limit); end != kNone) {
          content();
          shown_[i] = 0;
          shown_[end - 1] = 0;
          return end;
        }
        if (const std::uint32_t end = html_end(i, limit); end != kNone) {
          content();
          hide(i, end);
          return end;
        }
        break;
      }
      default:
        break;
    }
    content();
    return i + 1;
  }

  Scope& top() { return scopes_[depth_ - 1]; }
  const Scope& top() const { return scopes_[depth_ - 1]; }

  void push_scope(std::uint32_t end, std::uint32_t link_end) {
    if (scopes_.size() == depth_) scopes_.emplace_back();
    Scope& scope = scopes_[depth_++];
    scope.delimiters.clear();
    scope.end = end;
    scope.link_end = link_end;
  }

  std::uint32_t scope_end() const { return top().end == kNone ? n_ : top().end; }

  // Something that is no delimiter: the next marker starts a run of its own.
  void content() { adjacent_ = false; }

  std::uint32_t next_token() {
    token_ += adjacent_ ? 1 : 2;
    adjacent_ = true;
    return token_;
  }

  // A run of '*', '_' or '~' at `i`: its markers as delimiters, with
  // CommonMark's flanking rules ('_' opens and closes inside a word only
  // beside punctuation; '~~' pairs by flanking alone).
  std::uint32_t delimiter_run(std::uint32_t i) {
    const char c = text_[i];
    std::uint32_t e = i;
    const std::uint32_t limit = scope_end();
    while (e < limit && text_[e] == c) ++e;
    const std::uint32_t length = e - i;
    if (c == '~' && length < 2) {
      content();
      return e;
    }
    const auto [open, close] = flanks(c, side_before(i), side_after(e));
    std::vector<Delimiter>& delimiters = top().delimiters;
    std::uint32_t at = i;
    if (c == '~') {
      // An odd run leaves its first tilde as text.
      if (length % 2 != 0) {
        content();
        ++at;
      }
      const std::uint32_t lone = at == i ? kNone : i;
      const auto first = static_cast<std::uint32_t>(delimiters.size());
      for (; at < e; at += 2) delimiters.push_back({at, next_token(), 0, -1, first, lone, c, open, close});
    } else {
      for (; at < e; ++at) delimiters.push_back({at, next_token(), length, -1, 0, kNone, c, open, close});
    }
    return e;
  }

  // Pairs the delimiters of the innermost scope, as markdown-it balances
  // them (linear: runs that failed are not looked at again), and records
  // what the pairs show.
  void close_scope() {
    std::vector<Delimiter>& d = top().delimiters;
    balance(d, scratch_.jumps);
    // An odd tilde before closing "~~" moves after them (the closers that
    // follow it one after the other): it shows outside those pairs.
    const auto lone_outside = [&](std::size_t closer) {
      const Delimiter& at = d[closer];
      if (at.lone == kNone) return false;
      for (std::size_t k = at.first; k <= closer; ++k) {
        if (!d[k].closed) return false;
      }
      return true;
    };
    for (std::size_t k = d.size(); k > 0;) {
      const std::size_t i = k - 1;
      const Delimiter& start = d[i];
      if (start.end < 0) {
        --k;
        continue;
      }
      const Delimiter& end = d[static_cast<std::size_t>(start.end)];
      if (start.marker == '~') {
        hide(start.pos, start.pos + 2);
        hide(end.pos, end.pos + 2);
        pair(start.pos, end.pos);
        pair(start.pos + 1, end.pos + 1);
        ++strike_[start.pos + 2];
        --strike_[lone_outside(static_cast<std::size_t>(start.end)) ? end.lone : end.pos];
        --k;
        continue;
      }
      const std::size_t after = static_cast<std::size_t>(start.end) + 1;
      const bool strong = i > 0 && d[i - 1].end == start.end + 1 && d[i - 1].marker == start.marker &&
                          d[i - 1].token + 1 == start.token && after < d.size() && d[after].token == end.token + 1;
      shown_[start.pos] = 0;
      shown_[end.pos] = 0;
      pair(start.pos, end.pos);
      std::vector<std::int32_t>& counts = strong ? strong_ : em_;
      ++counts[start.pos + 1];
      --counts[end.pos];
      if (strong) {
        shown_[d[i - 1].pos] = 0;
        shown_[d[after].pos] = 0;
        pair(d[i - 1].pos, d[after].pos);
        k -= 2;
      } else {
        --k;
      }
    }
    --depth_;
    adjacent_ = false;
  }

  static void balance(std::vector<Delimiter>& d, std::vector<std::int64_t>& jumps) {
    if (d.empty()) return;
    // The lowest opener still worth looking at, per marker, closer length
    // modulo 3 and whether the closer can open.
    std::array<std::array<std::int64_t, 6>, 3> bottom{};
    for (auto& row : bottom) row.fill(-1);
    const auto marker_row = [](char c) { return c == '*' ? 0 : c == '_' ? 1 : 2; };
    jumps.clear();
    jumps.reserve(d.size());
    std::size_t header = 0;
    std::int64_t last_token = -2;
    for (std::size_t closer_index = 0; closer_index < d.size(); ++closer_index) {
      Delimiter& closer = d[closer_index];
      jumps.push_back(0);
      if (d[header].marker != closer.marker || last_token != static_cast<std::int64_t>(closer.token) - 1) {
        header = closer_index;
      }
      last_token = closer.token;
      if (!closer.close) continue;
      std::int64_t& floor = bottom[marker_row(closer.marker)][(closer.open ? 3 : 0) + closer.length % 3];
      const std::int64_t min_opener = floor;
      std::int64_t opener_index = static_cast<std::int64_t>(header) - jumps[header] - 1;
      std::int64_t new_min = opener_index;
      while (opener_index > min_opener) {
        Delimiter& opener = d[static_cast<std::size_t>(opener_index)];
        if (opener.marker != closer.marker) {
          opener_index -= jumps[static_cast<std::size_t>(opener_index)] + 1;
          continue;
        }
        if (opener.open && opener.end < 0) {
          const bool odd = (opener.close || closer.open) && (opener.length + closer.length) % 3 == 0 &&
                           (opener.length % 3 != 0 || closer.length % 3 != 0);
          if (!odd) {
            const std::int64_t last_jump =
                opener_index > 0 && !d[static_cast<std::size_t>(opener_index) - 1].open
                    ? jumps[static_cast<std::size_t>(opener_index) - 1] + 1
                    : 0;
            jumps[closer_index] = static_cast<std::int64_t>(closer_index) - opener_index + last_jump;
            jumps[static_cast<std::size_t>(opener_index)] = last_jump;
            closer.open = false;
            closer.closed = true;
            opener.end = static_cast<std::int32_t>(closer_index);
            opener.close = false;
            new_min = -1;
            last_token = -2;
            break;
          }
        }
        opener_index -= jumps[static_cast<std::size_t>(opener_index)] + 1;
      }
      if (new_min != -1) floor = new_min;
    }
  }

  std::string_view text_;
  const ReadingEdges& edges_;
  std::vector<std::uint8_t>& shown_;
  std::vector<std::uint32_t>* partners_;
  std::uint32_t n_;
  ReaderScratch& scratch_;
  std::vector<std::uint32_t>& jump_;  // code span ends, closing brackets
  std::vector<std::int32_t>& em_;     // formatting opened (+1) and closed (-1) at each byte
  std::vector<std::int32_t>& strong_;
  std::vector<std::int32_t>& strike_;
  std::vector<Scope>& scopes_;
  std::size_t depth_ = 0;
  std::uint32_t token_ = 0;
  bool adjacent_ = false;
};

// Runs `read` with the thread's buffers (fresh ones inside a reading).
template <typename Read>
void with_scratch(Read&& read) {
  thread_local ReaderScratch scratch;
  if (scratch.busy) {
    ReaderScratch fresh;
    read(fresh);
    return;
  }
  scratch.busy = true;
  struct Release {
    ReaderScratch& scratch;
    ~Release() { scratch.busy = false; }
  } release{scratch};
  read(scratch);
}

}  // namespace

void read_inline_emphasis(std::string_view text, const ReadingEdges& edges, std::vector<std::uint8_t>& shown,
                          std::vector<std::uint32_t>* partners) {
  if (text.size() >= kNone) {
    shown.assign(text.size(), kShownText);
    if (partners != nullptr) partners->assign(text.size(), kNone);
    return;
  }
  with_scratch([&](ReaderScratch& scratch) { Reader(text, edges, shown, partners, scratch).read(); });
}

std::optional<LinkSpan> link_at_edge(std::string_view text, bool at_start, bool references) {
  if (text.size() >= kNone) return std::nullopt;
  std::vector<std::uint8_t> unused;
  const ReadingEdges edges{kSpaceSide, kSpaceSide, references};
  std::optional<LinkSpan> link;
  with_scratch([&](ReaderScratch& scratch) {
    link = Reader(text, edges, unused, nullptr, scratch).link_at_edge(at_start);
  });
  return link;
}

namespace {

// The pieces one after the other in `text`, and where each starts.
void join_pieces(std::span<const MarkdownPiece> pieces, std::string& text, std::vector<std::size_t>& starts) {
  text.clear();
  starts.clear();
  for (const MarkdownPiece& piece : pieces) {
    starts.push_back(text.size());
    text += piece.text;
  }
}

// The buffers of a comparison of two readings, kept for the thread.
struct ComparisonScratch {
  std::string plain_text, written_text;
  std::vector<std::size_t> plain_starts, written_starts;
  std::vector<std::uint8_t> plain_shown, written_shown;
  std::vector<std::pair<char, std::uint8_t>> want, got;
};

ComparisonScratch& comparison_scratch() {
  thread_local ComparisonScratch scratch;
  return scratch;
}

// Whether `check(edges)` holds for every pair of the sides `sides` holds.
template <typename Check>
bool for_every_edge(const ReadingEdges& sides, Check&& check) {
  for (std::uint8_t b = 1; b <= kWordSide; b = static_cast<std::uint8_t>(b << 1)) {
    if ((sides.before & b) == 0) continue;
    for (std::uint8_t a = 1; a <= kWordSide; a = static_cast<std::uint8_t>(a << 1)) {
      if ((sides.after & a) == 0) continue;
      if (!check(ReadingEdges{b, a, sides.references})) return false;
    }
  }
  return true;
}

// Where the readings of `plain` and `written` first differ (see
// reads_as_planned), as an offset into the plain text; npos where they
// agree.
std::size_t first_difference(std::span<const MarkdownPiece> plain, const std::vector<std::size_t>& plain_starts,
                             const std::vector<std::uint8_t>& plain_shown, std::span<const MarkdownPiece> written,
                             const std::vector<std::size_t>& written_starts,
                             const std::vector<std::uint8_t>& written_shown, std::size_t plain_size) {
  std::size_t p = 0;
  const auto next_plain = [&] {
    while (p < plain.size() && plain[p].markers) ++p;
    return p < plain.size() ? plain_starts[p] : plain_size;
  };
  for (std::size_t w = 0; w < written.size(); ++w) {
    const MarkdownPiece& piece = written[w];
    const std::size_t at = written_starts[w];
    if (piece.markers) {
      for (std::size_t k = 0; k < piece.text.size(); ++k) {
        if ((written_shown[at + k] & kShownText) != 0) return next_plain();
      }
      continue;
    }
    const std::size_t from = next_plain();
    if (p == plain.size() || plain[p].text.size() != piece.text.size()) return from;
    for (std::size_t k = 0; k < piece.text.size(); ++k) {
      std::uint8_t want = plain_shown[from + k];
      if ((want & kShownText) != 0) want = static_cast<std::uint8_t>(want | piece.adds);
      if (written_shown[at + k] != want) return from + k;
    }
    ++p;
  }
  return next_plain() == plain_size ? std::string_view::npos : plain_size;
}

}  // namespace

std::optional<bool> lone_pair_reads(std::string_view head, bool spaced, std::string_view open, std::string_view core,
                                    std::string_view close, std::string_view tail, const ReadingEdges& edges) {
  constexpr std::string_view kMarkup = "*_~`[]<>\\";
  if (core.empty() || core.find_first_of(kMarkup) != std::string_view::npos ||
      tail.find_first_of(kMarkup) != std::string_view::npos ||
      (!spaced && !head.empty() && kMarkup.find(head.back()) != std::string_view::npos)) {
    return std::nullopt;
  }
  // Markup further back meets nothing it could pair with, but a run of the
  // markers' character there that is still open, which the opening marker
  // could close.
  const bool open_before = head.find(open.front()) != std::string_view::npos;
  const auto definite = [](std::uint8_t side) {
    return side == kAnySide ? static_cast<std::uint8_t>(kPunctSide) : side;
  };
  const std::uint8_t before = spaced         ? static_cast<std::uint8_t>(kSpaceSide)
                              : head.empty() ? edges.before
                                             : definite(category_side_of_char_before(head, head.size()));
  const std::uint8_t after = tail.empty() ? edges.after : definite(category_side_of_char_at(tail, 0));
  const std::uint8_t first = definite(category_side_of_char_at(core, 0));
  const std::uint8_t last = definite(category_side_of_char_before(core, core.size()));
  for (std::uint8_t b = 1; b <= kWordSide; b = static_cast<std::uint8_t>(b << 1)) {
    if ((before & b) == 0) continue;
    const Flanks opening = flanks(open.front(), b, first);
    if (open_before && opening.close) return std::nullopt;
    if (!opening.open) return false;
  }
  for (std::uint8_t a = 1; a <= kWordSide; a = static_cast<std::uint8_t>(a << 1)) {
    if ((after & a) != 0 && !flanks(close.front(), last, a).close) return false;
  }
  return true;
}

bool reads_as_planned(std::span<const MarkdownPiece> plain, std::span<const MarkdownPiece> written,
                      const ReadingEdges& sides, std::size_t* difference) {
  ComparisonScratch& c = comparison_scratch();
  join_pieces(plain, c.plain_text, c.plain_starts);
  join_pieces(written, c.written_text, c.written_starts);
  return for_every_edge(sides, [&](const ReadingEdges& edges) {
    read_inline_emphasis(c.plain_text, edges, c.plain_shown);
    read_inline_emphasis(c.written_text, edges, c.written_shown);
    const std::size_t at = first_difference(plain, c.plain_starts, c.plain_shown, written, c.written_starts,
                                            c.written_shown, c.plain_text.size());
    if (difference != nullptr) *difference = at;
    return at == std::string_view::npos;
  });
}

namespace {

// The characters shown by `text` (as read into `shown`) that are not white
// space, each with its formatting plus `adds`, appended to `out`.
void append_shown(std::string_view text, const std::uint8_t* shown, std::uint8_t adds,
                  std::vector<std::pair<char, std::uint8_t>>& out) {
  for (std::size_t k = 0; k < text.size(); ++k) {
    if ((shown[k] & kShownText) == 0) continue;
    const char c = text[k];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
    out.emplace_back(c, static_cast<std::uint8_t>(shown[k] | adds));
  }
}

}  // namespace

bool reads_alike(std::span<const MarkdownPiece> plain, std::string_view written, const ReadingEdges& sides) {
  ComparisonScratch& c = comparison_scratch();
  join_pieces(plain, c.plain_text, c.plain_starts);
  return for_every_edge(sides, [&](const ReadingEdges& edges) {
    read_inline_emphasis(c.plain_text, edges, c.plain_shown);
    read_inline_emphasis(written, edges, c.written_shown);
    c.want.clear();
    c.got.clear();
    for (std::size_t p = 0; p < plain.size(); ++p) {
      if (plain[p].markers) continue;
      append_shown(plain[p].text, c.plain_shown.data() + c.plain_starts[p], plain[p].adds, c.want);
    }
    append_shown(written, c.written_shown.data(), 0, c.got);
    return c.want == c.got;
  });
}

}  // namespace tidewell
