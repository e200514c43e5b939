#include "converter/fast_dom/markers.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <optional>
#include <queue>
#include <set>
#include <tuple>
#include <vector>

#include "common/char_sides.hpp"
#include "common/unicode_space.hpp"
#include "converter/fast_dom/markdown.hpp"
#include "converter/text/processing.hpp"

namespace tidewell::fast_dom {

std::size_t find_marker_byte(std::string_view text, std::size_t from) {
  // Eight bytes at a time up to a word that holds a byte whose five high
  // bits are set.
  constexpr std::uint64_t kHigh = 0xF8F8F8F8F8F8F8F8ull;
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kTops = 0x8080808080808080ull;
  std::size_t i = from;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    const std::uint64_t other = (word & kHigh) ^ kHigh;  // a zero byte where those bits are set
    if (((other - kOnes) & ~other & kTops) != 0) break;
  }
  for (; i < text.size(); ++i) {
    if (is_marker_byte(text[i])) return i;
  }
  return std::string_view::npos;
}

namespace {

constexpr std::size_t kNone = std::string_view::npos;

// Whether a run of `mark` between neighbours of these sides can open and can
// close, by the reader's flanking rules ('_' neither inside a word).
std::pair<bool, bool> flanks(std::uint8_t before, std::uint8_t after, char mark) {
  const bool last_space = before == kSpaceSide, next_space = after == kSpaceSide;
  const bool last_punct = before == kPunctSide, next_punct = after == kPunctSide;
  const bool left_flanking = !next_space && !(next_punct && !(last_space || last_punct));
  const bool right_flanking = !last_space && !(last_punct && !(next_space || next_punct));
  const bool star = mark == '*';
  return {left_flanking && (star || !right_flanking || last_punct), right_flanking && (star || !left_flanking || next_punct)};
}

// A run whose pairs stand one after the other, none in another, none
// beside another or a link's edge, each marker of them only opening or
// only closing where it stands, and no line break in a pair: written with
// '*' they read as they are, with no need to check. Appends it so to
// `out`, or returns false. (`at`: a buffer for the marker bytes' places.)
bool settle_simply(std::string_view run, std::string& out, std::span<std::size_t> places,
                   std::vector<std::size_t>& at) {
  unsigned char open = 0;  // the opening byte of the pair open
  std::size_t opened = 0;
  bool in_link = false;
  bool opened_in_link = false;
  at.clear();
  for (std::size_t i = find_marker_byte(run); i < run.size(); i = find_marker_byte(run, i + 1)) {
    at.push_back(i);
    const auto b = static_cast<unsigned char>(run[i]);
    if (b == kLinkOpen || b == kLinkEnd) {
      // (A link's text is read apart: a pair stands in it, or outside it
      // around the whole link.)
      if (in_link == (b == kLinkOpen)) return false;
      in_link = b == kLinkOpen;
      continue;
    }
    if (b == kLinkText) continue;
    const bool opens = b == kStrongOpen || b == kEmphasisOpen;
    if (opens ? open != 0 : open != b - 1 || opened_in_link != in_link) return false;
    if (opens) opened_in_link = in_link;
    // What the marker meets: beside a link's edge its bracket or
    // parenthesis, before the end of a link's text a line's end (the reader
    // reads a link's text apart). Markers side by side, a marker character
    // of the text beside, or a backslash that would escape the marker:
    // checked the long way.
    std::uint8_t left = kSpaceSide, right = kSpaceSide;
    if (i > 0) {
      const char c = run[i - 1];
      if (static_cast<unsigned char>(c) == kLinkEnd) {
        left = kPunctSide;
      } else if (is_marker_byte(c) || c == '*' || c == '_' || is_escaped_at(run, i)) {
        return false;
      } else {
        left = category_side_of_char_before(run, i);
      }
    }
    if (i + 1 < run.size()) {
      const char c = run[i + 1];
      if (static_cast<unsigned char>(c) == kLinkOpen) {
        right = kPunctSide;
      } else if (static_cast<unsigned char>(c) == kLinkText) {
        right = kSpaceSide;
      } else if (is_marker_byte(c) || c == '*' || c == '_') {
        return false;
      } else {
        right = category_side_of_char_at(run, i + 1);
      }
    }
    const auto [can_open, can_close] = flanks(left, right, '*');
    if (opens ? !can_open || can_close : !can_close || can_open) return false;
    if (!opens && run.substr(opened, i - opened).find('\n') != std::string_view::npos) return false;
    open = opens ? b : 0;
    opened = i;
  }
  if (open != 0) return false;
  const std::size_t start = out.size();
  std::size_t next_place = 0;
  std::size_t from = 0;
  at.push_back(run.size());
  for (const std::size_t i : at) {
    for (; next_place < places.size() && places[next_place] < i; ++next_place) {
      places[next_place] = out.size() - start + (places[next_place] >= from ? places[next_place] - from : 0);
    }
    out.append(run, from, i - from);
    if (i == run.size()) break;
    const auto b = static_cast<unsigned char>(run[i]);
    if (b <= kEmphasisClose) out.append(b == kStrongOpen || b == kStrongClose ? 2 : 1, '*');
    from = i + 1;
  }
  for (; next_place < places.size(); ++next_place) places[next_place] = out.size() - start;
  return true;
}

// --- the run as the reader sees it: pieces of content and the gaps between ---

enum class Kind : std::uint8_t {
  Text,      // content that is not white space (its own white space inside)
  Space,     // white space
  Break,     // a blank line: the paragraph ends
  LinkOpen,  // a link's '['
  LinkMid,   // a link's "](...)" after its text
};

struct Atom {
  std::size_t begin = 0;  // its bytes in the run, marker bytes included
  std::size_t end = 0;
  Kind kind = Kind::Text;
  // What a marker run right before it meets, and one right after it.
  std::uint8_t left = kSpaceSide;
  std::uint8_t right = kSpaceSide;
};

// Gap `g` stands before atom `g` (gap atoms.size() ends the run).
struct Layout {
  std::vector<Atom> atoms;
  // The scope of delimiters each gap is in: the paragraph, or the text of
  // a link (markers pair only within one scope).
  std::vector<std::uint32_t> gap_scope;
  // Per gap, the marker bytes of emphasis written there, in order.
  std::vector<std::pair<std::size_t, unsigned char>> events;
  // Per gap: the run holds bytes there that are no atom's (marker bytes).
  std::vector<bool> gap_marked;
};

class LayoutBuilder {
 public:
  LayoutBuilder(std::string_view run, Layout& layout, std::vector<std::uint32_t>& scopes)
      : run_(run), layout_(layout), scopes_(scopes) {
    layout_.atoms.clear();
    layout_.gap_scope.assign(1, 0);
    layout_.events.clear();
    layout_.gap_marked.assign(1, false);
    scopes_.assign(1, 0);
  }

  void build() {
    std::size_t text_start = 0;
    for (std::size_t i = find_marker_byte(run_); i < run_.size(); i = find_marker_byte(run_, i)) {
      add_text(text_start, i);
      const auto b = static_cast<unsigned char>(run_[i]);
      const std::size_t link_end = b == kLinkText ? run_.find(static_cast<char>(kLinkEnd), i + 1) : kNone;
      if (b == kLinkOpen && i + 1 < run_.size() && run_[i + 1] == '[') {
        push({i, i + 2, Kind::LinkOpen, kPunctSide, kPunctSide});
        scopes_.push_back(next_scope_++);
        note_gap();
        i += 2;
      } else if (link_end != kNone) {
        const std::size_t end = link_end + 1;
        // The reader's inline run of a link's text ends before its ']':
        // a marker there meets the end of a line.
        push({i, end, Kind::LinkMid, kSpaceSide, kPunctSide});
        if (scopes_.size() > 1) {
          scopes_.pop_back();
        } else {
          scopes_.back() = next_scope_++;  // a link opened before the run
        }
        note_gap();
        i = end;
      } else {
        if (b >= kStrongOpen && b <= kEmphasisClose) layout_.events.emplace_back(layout_.atoms.size(), b);
        layout_.gap_marked.back() = true;
        ++i;
      }
      text_start = i;
    }
    add_text(text_start, run_.size());
  }

 private:
  void push(const Atom& atom) { layout_.atoms.push_back(atom); }
  void note_gap() {
    layout_.gap_scope.push_back(scopes_.back());
    layout_.gap_marked.push_back(false);
  }
  void push_noted(const Atom& atom) {
    push(atom);
    note_gap();
  }

  // Text between marker bytes: blank lines apart, white space at its edges
  // apart from what is not.
  void add_text(std::size_t from, std::size_t to) {
    const std::string_view text = run_.substr(0, to);
    std::size_t pos = from;
    for (std::size_t nl = text.find('\n', from); nl < to; nl = text.find('\n', nl + 1)) {
      std::size_t k = nl + 1;
      while (k < to && (run_[k] == ' ' || run_[k] == '\t')) ++k;
      if (k >= to || run_[k] != '\n') continue;
      // Blank lines from nl on: the last line feed of them ends the break.
      std::size_t last = k;
      for (std::size_t m = k + 1; m < to; ++m) {
        if (run_[m] == '\n') {
          last = m;
        } else if (run_[m] != ' ' && run_[m] != '\t') {
          break;
        }
      }
      add_line_text(pos, nl);
      push({nl, last + 1, Kind::Break, kSpaceSide, kSpaceSide});
      scopes_.back() = next_scope_++;
      note_gap();
      pos = last + 1;
      nl = last;
    }
    add_line_text(pos, to);
  }

  void add_line_text(std::size_t from, std::size_t to) {
    if (from >= to) return;
    std::size_t core = from;
    while (core < to) {
      const std::size_t len = space_len_at(run_, core);
      if (len == 0) break;
      core += len;
    }
    std::size_t core_end = to;
    while (core_end > core) {
      const std::size_t len = space_len_before(run_, core_end);
      if (len == 0) break;
      core_end -= len;
    }
    if (core > from) push_noted({from, core, Kind::Space, kSpaceSide, kSpaceSide});
    if (core_end > core) {
      push_noted({core, core_end, Kind::Text, category_side_of_char_at(run_, core),
                  category_side_of_char_before(run_, core_end)});
    }
    if (to > core_end && core_end >= core) {
      push_noted({std::max(core_end, core), to, Kind::Space, kSpaceSide, kSpaceSide});
    }
  }

  std::string_view run_;
  Layout& layout_;
  std::vector<std::uint32_t>& scopes_;
  std::uint32_t next_scope_ = 1;
};

// --- pairs of markers to write ------------------------------------------------

enum : std::uint8_t { kBold = 0, kItalic = 1 };

// Emphasis inside emphasis is written this many levels down at most.
constexpr std::uint8_t kEmphasisLevels = 3;

using PairKey = std::tuple<std::size_t, std::size_t, std::uint8_t>;

struct Pair {
  std::size_t first = 0;  // its first and last atom
  std::size_t last = 0;
  std::uint8_t kind = kBold;
  std::uint8_t level = 1;    // emphasis: how many of its kind enclose it, itself included
  std::size_t origin = 0;    // index of the pair of the page it is a piece of
  char mark = '*';

  bool optional() const { return kind == kItalic && level > 1; }
  std::uint8_t rank() const { return kind == kBold ? 0 : level; }
  PairKey key() const { return {first, last, rank()}; }
};

// A marker of a pair at a gap.
struct Entry {
  std::size_t gap;
  std::size_t pair;
  bool opens;
};

// The markers of `pairs[i]` for each i of `which`, in the order they are
// written: by gap; at a gap the closing ones innermost first, then the
// opening ones outermost first.
void entries_into(const std::vector<Pair>& pairs, const std::vector<std::size_t>& which,
                  std::vector<Entry>& entries) {
  entries.clear();
  for (const std::size_t i : which) {
    entries.push_back({pairs[i].first, i, true});
    entries.push_back({pairs[i].last + 1, i, false});
  }
  std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
    if (a.gap != b.gap) return a.gap < b.gap;
    if (a.opens != b.opens) return !a.opens;
    const Pair& p = pairs[a.pair];
    const Pair& q = pairs[b.pair];
    if (a.opens) return std::make_tuple(q.last, p.rank()) < std::make_tuple(p.last, q.rank());
    return std::make_tuple(q.first, q.rank()) < std::make_tuple(p.first, p.rank());
  });
}

std::vector<Entry> entries_of(const std::vector<Pair>& pairs, const std::vector<std::size_t>& which) {
  std::vector<Entry> entries;
  entries_into(pairs, which, entries);
  return entries;
}

// A marker character as the reader lists it.
struct Delimiter {
  char marker;
  int length;  // of its run
  int token;
  bool open;
  bool close;
  std::size_t gap;
  int end = -1;
};

// Pairs as the reader takes them: (opening gap, closing gap, strong).
using Reading = std::vector<std::tuple<std::size_t, std::size_t, bool>>;

// Buffers kept from run to run.
struct Scratch {
  Layout layout;
  std::vector<std::uint32_t> scopes;
  std::vector<int> strong;  // depths per atom
  std::vector<int> italic;
  std::vector<Pair> pages;  // the page's pairs
  std::vector<Pair> pairs;  // the pairs written
  std::vector<std::size_t> all;
  std::vector<std::size_t> open;
  std::vector<std::size_t> marks;
  std::vector<Entry> entries;
  bool entries_of_pairs = false;  // `entries` are those of `pairs` as they are written
  std::vector<Delimiter> delimiters;
  std::vector<int> jumps;
  Reading reading;
};

class Planner {
 public:
  Planner(const Layout& layout, Scratch& scratch)
      : layout_(layout), atoms_(layout.atoms), scratch_(scratch), strong_(scratch.strong), italic_(scratch.italic),
        pages_(scratch.pages) {
    compute_depths();
  }

  // The pairs to write, with their marker characters.
  const std::vector<Pair>& plan() {
    page_pairs();
    // Most runs: pairs that nest as they are, written with '*', read right.
    if (as_they_are()) return scratch_.pairs;
    for (int round = 0; round <= kRounds + 2; ++round) {
      const bool last = round >= kRounds;
      std::vector<Pair> pairs = pieces(pages_);
      const std::vector<std::vector<std::size_t>> comps = components(pairs);
      std::vector<std::vector<unsigned>> options(comps.size());
      bool failed = false;
      for (std::size_t c = 0; c < comps.size(); ++c) {
        options[c] = writings(pairs, comps[c], 1);
        if (options[c].empty()) {
          failed = true;
          give_way(pairs, comps[c], last);
        } else {
          apply(pairs, comps[c], options[c].front());
        }
      }
      if (failed) continue;
      // Pairs whose markers do not meet can pair with each other's markers
      // still (an opening run that can close too): each nest of pairs is
      // read whole, and other writings of its components tried.
      for (const std::vector<std::size_t>& nest : nests(pairs)) {
        const std::vector<std::size_t> failing = failing_in(pairs, nest);
        if (failing.empty()) continue;
        // Emphasis inside emphasis is left out first (no other writing is
        // made unusual for it).
        if (!last && leave_out_optional(pairs, failing)) {
          failed = true;
          continue;
        }
        if (solve_nest(pairs, nest, comps)) continue;
        failed = true;
        if (last) {
          leave_out(pairs, nest);
          continue;
        }
        // Else the pairs the reader does not take inside the first of them.
        for (std::size_t k = failing.size() > 1 ? 1 : 0; k < failing.size(); ++k) {
          dropped_.insert(pairs[failing[k]].key());
        }
      }
      if (!failed) {
        scratch_.pairs = std::move(pairs);
        return scratch_.pairs;
      }
    }
    scratch_.pairs.clear();  // (not reached: the last rounds leave out whatever does not read)
    return scratch_.pairs;
  }

 private:
  static constexpr int kRounds = 8;

  // The page's pairs when each stands in one scope, none is emphasis
  // inside emphasis, they nest as they are and the reader takes them
  // written with '*'.
  bool as_they_are() const {
    std::vector<Pair>& pairs = scratch_.pairs;
    pairs = pages_;
    for (const Pair& p : pairs) {
      if (p.optional() || layout_.gap_scope[p.first] != layout_.gap_scope[p.last + 1]) return false;
    }
    // Each kind's and level's pairs stand in order already.
    for (std::size_t k = 0; k < kinds_end_.size(); ++k) {
      const std::size_t end = k + 1 < kinds_end_.size() ? kinds_end_[k + 1] : pairs.size();
      std::inplace_merge(pairs.begin(), pairs.begin() + static_cast<std::ptrdiff_t>(kinds_end_[k]),
                         pairs.begin() + static_cast<std::ptrdiff_t>(end), [](const Pair& a, const Pair& b) {
                           return std::make_tuple(a.first, b.last, a.rank()) <
                                  std::make_tuple(b.first, a.last, b.rank());
                         });
    }
    std::vector<std::size_t>& open = scratch_.open;
    open.clear();
    for (const Pair& p : pairs) {
      while (!open.empty() && open.back() < p.first) open.pop_back();
      if (!open.empty() && p.last > open.back()) return false;
      open.push_back(p.last);
    }
    scratch_.all.resize(pairs.size());
    std::iota(scratch_.all.begin(), scratch_.all.end(), 0);
    entries_into(pairs, scratch_.all, scratch_.entries);
    scratch_.entries_of_pairs = not_read(pairs, scratch_.all, scratch_.entries, 1).empty();
    return scratch_.entries_of_pairs;
  }

  // --- the page's pairs --------------------------------------------------------

  void compute_depths() {
    // Closings before any opening belong to elements opened before the run.
    int strong = 0, italic = 0, strong_min = 0, italic_min = 0;
    for (const auto& [gap, byte] : layout_.events) {
      strong += byte == kStrongOpen ? 1 : byte == kStrongClose ? -1 : 0;
      italic += byte == kEmphasisOpen ? 1 : byte == kEmphasisClose ? -1 : 0;
      strong_min = std::min(strong_min, strong);
      italic_min = std::min(italic_min, italic);
    }
    strong = -strong_min;
    italic = -italic_min;
    strong_.resize(atoms_.size());
    italic_.resize(atoms_.size());
    std::size_t e = 0;
    for (std::size_t i = 0; i < atoms_.size(); ++i) {
      for (; e < layout_.events.size() && layout_.events[e].first == i; ++e) {
        const unsigned char byte = layout_.events[e].second;
        strong += byte == kStrongOpen ? 1 : byte == kStrongClose ? -1 : 0;
        italic += byte == kEmphasisOpen ? 1 : byte == kEmphasisClose ? -1 : 0;
      }
      strong_[i] = std::max(strong, 0);
      italic_[i] = std::max(italic, 0);
    }
  }

  // Maximal stretches of atoms that a kind of emphasis covers at a level:
  // elements side by side are one pair, white space at the edges is
  // outside, a blank line ends them.
  void page_pairs() {
    std::vector<Pair>& pairs = pages_;
    pairs.clear();
    const auto stretches = [&](const std::vector<int>& depth, std::uint8_t kind, std::uint8_t level) {
      std::size_t first = kNone, last = 0;
      bool text = false;
      const auto flush = [&]() {
        if (first != kNone && text) pairs.push_back({first, last, kind, level, pairs.size(), '*'});
        first = kNone;
        text = false;
      };
      for (std::size_t i = 0; i < atoms_.size(); ++i) {
        if (atoms_[i].kind == Kind::Break || depth[i] < level) {
          flush();
          continue;
        }
        if (atoms_[i].kind == Kind::Space) continue;
        if (first == kNone) first = i;
        last = i;
        text = text || atoms_[i].kind == Kind::Text;
      }
      flush();
    };
    stretches(strong_, kBold, 1);
    for (std::uint8_t level = 1; level <= kEmphasisLevels; ++level) {
      kinds_end_[level - 1] = pairs.size();
      stretches(italic_, kItalic, level);
    }
  }

  // --- pieces that can be written: within one scope, properly nested -------

  // The pieces of the stretch from `first` to `last` whose two gaps stand
  // in one scope: a pair cannot reach into a link's text from outside it,
  // or across a blank line.
  void add_scoped(Pair p, std::size_t first, std::size_t last, std::vector<Pair>& out) const {
    std::size_t at = first;
    while (at <= last) {
      while (at <= last && atoms_[at].kind != Kind::Text && atoms_[at].kind != Kind::LinkOpen) ++at;
      if (at > last) return;
      const std::uint32_t scope = layout_.gap_scope[at];
      std::size_t end = kNone;
      for (std::size_t i = at; i <= last; ++i) {
        if (layout_.gap_scope[i + 1] == scope) {
          end = i;
        } else if (atoms_[i].kind == Kind::Break) {
          break;  // a scope a blank line ends is not entered again
        }
      }
      if (end == kNone) {
        ++at;
        continue;
      }
      while (end > at && atoms_[end].kind == Kind::Space) --end;
      bool text = false;
      for (std::size_t i = at; i <= end && !text; ++i) text = atoms_[i].kind == Kind::Text;
      if (text) {
        p.first = at;
        p.last = end;
        out.push_back(p);
      }
      at = end + 1;
    }
  }

  bool inward_possible(const Pair& p) const {
    return atoms_[p.first].kind == Kind::LinkOpen || atoms_[p.last].kind == Kind::LinkMid;
  }

  // The next atom after `at` (up to `last`) that a piece may start with.
  std::size_t next_start(std::size_t at, std::size_t last) const {
    for (std::size_t i = at + 1; i <= last; ++i) {
      if (atoms_[i].kind == Kind::Text || atoms_[i].kind == Kind::LinkOpen) return i;
    }
    return kNone;
  }

  std::vector<Pair> pieces(const std::vector<Pair>& pages) const {
    std::vector<Pair> scoped, optional;
    for (const Pair& p : pages) {
      std::size_t first = p.first, last = p.last;
      // Markers around a whole link go inside its brackets instead.
      if (inward_.count(p.key()) != 0) {
        if (atoms_[first].kind == Kind::LinkOpen) ++first;
        if (atoms_[last].kind == Kind::LinkMid) --last;
      }
      if (first <= last) add_scoped(p, first, last, p.optional() ? optional : scoped);
    }
    std::vector<Pair> nested = nest(std::move(scoped));
    // Emphasis inside emphasis gives way to the other pairs: it is split
    // where it overlaps one without holding it (or left out, past a bound
    // on the work).
    if (!optional.empty() && optional.size() * nested.size() <= 100000) {
      for (const Pair& o : optional) split_at_crossings(o, nested, scoped);
      nested.insert(nested.end(), scoped.begin(), scoped.end());
      nested = nest(std::move(nested));
    }
    // Emphasis of the same stretch as the emphasis around it would read
    // as strong emphasis.
    std::vector<Pair> kept;
    std::vector<std::size_t> open;
    for (const Pair& p : nested) {
      while (!open.empty() && nested[open.back()].last < p.first) open.pop_back();
      const bool doubled = p.kind == kItalic && std::any_of(open.begin(), open.end(), [&](std::size_t o) {
                             return nested[o].kind == kItalic && nested[o].first == p.first &&
                                    nested[o].last == p.last;
                           });
      open.push_back(static_cast<std::size_t>(&p - nested.data()));
      if (!doubled && dropped_.count(p.key()) == 0) kept.push_back(p);
    }
    return kept;
  }

  // Pieces that overlap without one holding the other: the later one is
  // split where the earlier ends. In nesting order: by first atom, the
  // longer first.
  std::vector<Pair> nest(std::vector<Pair> pairs) const {
    const auto later = [](const Pair& a, const Pair& b) {
      return std::make_tuple(a.first, b.last, a.rank()) > std::make_tuple(b.first, a.last, b.rank());
    };
    std::priority_queue<Pair, std::vector<Pair>, decltype(later)> queue(later, std::move(pairs));
    std::vector<Pair> nested;
    std::vector<std::size_t> open;  // last atoms of the pairs open
    while (!queue.empty()) {
      const Pair p = queue.top();
      queue.pop();
      while (!open.empty() && open.back() < p.first) open.pop_back();
      if (!open.empty() && p.last > open.back()) {
        const std::size_t end = open.back();
        std::vector<Pair> parts;
        add_scoped(p, p.first, end, parts);
        const std::size_t rest = next_start(end, p.last);
        if (rest != kNone) add_scoped(p, rest, p.last, parts);
        for (const Pair& part : parts) queue.push(part);
        continue;
      }
      open.push_back(p.last);
      nested.push_back(p);
    }
    return nested;
  }

  // The pieces of `o` between the edges of pairs of `pairs` that overlap
  // it without holding it or being held, added to `out`.
  void split_at_crossings(const Pair& o, const std::vector<Pair>& pairs, std::vector<Pair>& out) const {
    std::vector<std::size_t> cuts;  // atoms a new piece starts at
    for (const Pair& x : pairs) {
      if (x.first > o.first && x.first <= o.last && x.last > o.last) cuts.push_back(x.first);
      if (x.last >= o.first && x.last < o.last && x.first < o.first) cuts.push_back(x.last + 1);
    }
    std::sort(cuts.begin(), cuts.end());
    std::size_t from = o.first;
    for (const std::size_t cut : cuts) {
      if (cut > from) add_scoped(o, from, cut - 1, out);
      from = std::max(from, cut);
    }
    if (from <= o.last) add_scoped(o, from, o.last, out);
  }

  // --- pairs whose markers meet: settled together -----------------------------

  // Sets of pairs that grow by joining two of them.
  struct Groups {
    std::vector<std::size_t> parent;

    explicit Groups(std::size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0); }
    std::size_t find(std::size_t x) {
      while (parent[x] != x) x = parent[x] = parent[parent[x]];
      return x;
    }
    void join(std::size_t a, std::size_t b) { parent[find(a)] = find(b); }
    // The sets, each in ascending order.
    std::vector<std::vector<std::size_t>> sets() {
      std::vector<std::vector<std::size_t>> out;
      std::vector<std::size_t> slot(parent.size(), kNone);
      for (std::size_t i = 0; i < parent.size(); ++i) {
        const std::size_t root = find(i);
        if (slot[root] == kNone) {
          slot[root] = out.size();
          out.emplace_back();
        }
        out[slot[root]].push_back(i);
      }
      return out;
    }
  };

  std::vector<std::vector<std::size_t>> components(const std::vector<Pair>& pairs) {
    Groups groups(pairs.size());
    std::vector<std::size_t> owner(atoms_.size() + 1, kNone);
    for (std::size_t i = 0; i < pairs.size(); ++i) {
      for (const std::size_t gap : {pairs[i].first, pairs[i].last + 1}) {
        if (owner[gap] == kNone) {
          owner[gap] = i;
        } else {
          groups.join(i, owner[gap]);
        }
      }
    }
    std::vector<std::vector<std::size_t>> comps = groups.sets();
    comp_index_.assign(pairs.size(), 0);
    for (std::size_t c = 0; c < comps.size(); ++c) {
      for (const std::size_t i : comps[c]) comp_index_[i] = c;
    }
    return comps;
  }

  // Components, and each pair with the innermost pair around it in its
  // scope: markers that can pair with each other.
  std::vector<std::vector<std::size_t>> nests(const std::vector<Pair>& pairs) const {
    Groups groups(pairs.size());
    std::vector<std::size_t> first_of(pairs.size(), kNone);
    for (std::size_t i = 0; i < pairs.size(); ++i) {
      std::size_t& first = first_of[comp_index_[i]];
      if (first == kNone) first = i;
      groups.join(i, first);
    }
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
      while (!open.empty() && pairs[open.back()].last < pairs[i].first) open.pop_back();
      const std::uint32_t scope = layout_.gap_scope[pairs[i].first];
      for (std::size_t k = open.size(); k > 0; --k) {
        if (layout_.gap_scope[pairs[open[k - 1]].first] == scope) {
          groups.join(i, open[k - 1]);
          break;
        }
      }
      open.push_back(i);
    }
    return groups.sets();
  }

  // --- the reader's pairing ---------------------------------------------------

  // What a marker run at `gap` meets before it and after it (a line's
  // edge at the run's edges).
  std::uint8_t side_left_of_gap(std::size_t gap) const {
    return gap == 0 ? std::uint8_t{kSpaceSide} : atoms_[gap - 1].right;
  }
  std::uint8_t side_right_of_gap(std::size_t gap) const {
    return gap >= atoms_.size() ? std::uint8_t{kSpaceSide} : atoms_[gap].left;
  }

  // The reader's delimiters for the component's markers written with the
  // marks of `pairs`, one per marker character (as markdown-it lists them).
  // `stuck`, when given, receives the pairs with a marker that cannot open
  // or close where it stands.
  void delimiters(const std::vector<Pair>& pairs, const std::vector<Entry>& entries, std::vector<Delimiter>& out,
                  std::vector<std::size_t>* stuck = nullptr) const {
    out.clear();
    int token = 0;
    for (std::size_t e = 0; e < entries.size();) {
      const std::size_t gap = entries[e].gap;
      std::size_t end = e;
      while (end < entries.size() && entries[end].gap == gap) ++end;
      for (std::size_t r = e; r < end;) {
        const char mark = pairs[entries[r].pair].mark;
        std::size_t r_end = r;
        int count = 0;
        while (r_end < end && pairs[entries[r_end].pair].mark == mark) {
          count += pairs[entries[r_end].pair].kind == kBold ? 2 : 1;
          ++r_end;
        }
        const std::uint8_t before = r == e ? side_left_of_gap(gap) : std::uint8_t{kPunctSide};
        const std::uint8_t after = r_end == end ? side_right_of_gap(gap) : std::uint8_t{kPunctSide};
        const auto [can_open, can_close] = flanks(before, after, mark);
        for (int k = 0; k < count; ++k) out.push_back({mark, count, token++, can_open, can_close, gap});
        token += 2;
        for (std::size_t k = r; stuck != nullptr && k < r_end; ++k) {
          if (entries[k].opens ? !can_open : !can_close) stuck->push_back(entries[k].pair);
        }
        r = r_end;
      }
      e = end;
    }
  }

  // markdown-it's pairing of delimiters (balance_pairs), then its reading
  // of pairs side by side as strong emphasis: the pairs into `read`,
  // sorted; false when a marker is left over.
  static bool read(std::vector<Delimiter>& d, std::vector<int>& jumps, Reading& read) {
    const int n = static_cast<int>(d.size());
    std::array<int, 12> bottom;
    bottom.fill(-1);
    jumps.assign(d.size(), 0);
    int header = 0;
    int last_token = -2;
    for (int closer_idx = 0; closer_idx < n; ++closer_idx) {
      Delimiter& closer = d[closer_idx];
      if (d[header].marker != closer.marker || last_token != closer.token - 1) header = closer_idx;
      last_token = closer.token;
      if (!closer.close) continue;
      const int slot = (closer.marker == '*' ? 0 : 6) + (closer.open ? 3 : 0) + closer.length % 3;
      const int min_opener = bottom[slot];
      int opener_idx = header - jumps[header] - 1;
      int new_min = opener_idx;
      while (opener_idx > min_opener) {
        Delimiter& opener = d[opener_idx];
        if (opener.marker != closer.marker) {
          opener_idx -= jumps[opener_idx] + 1;
          continue;
        }
        if (opener.open && opener.end < 0) {
          const bool odd = (opener.close || closer.open) && (opener.length + closer.length) % 3 == 0 &&
                           (opener.length % 3 != 0 || closer.length % 3 != 0);
          if (!odd) {
            const int last_jump = opener_idx > 0 && !d[opener_idx - 1].open ? jumps[opener_idx - 1] + 1 : 0;
            jumps[closer_idx] = closer_idx - opener_idx + last_jump;
            jumps[opener_idx] = last_jump;
            closer.open = false;
            opener.end = closer_idx;
            opener.close = false;
            new_min = -1;
            last_token = -2;
            break;
          }
        }
        opener_idx -= jumps[opener_idx] + 1;
      }
      if (new_min != -1) bottom[slot] = new_min;
    }
    read.clear();
    int matched = 0;
    for (int i = n - 1; i >= 0; --i) {
      const Delimiter& start = d[i];
      if (start.end < 0) continue;
      const Delimiter& end = d[start.end];
      const bool strong = i > 0 && d[i - 1].end == start.end + 1 && d[i - 1].marker == start.marker &&
                          d[i - 1].token == start.token - 1 && d[start.end + 1].token == end.token + 1;
      read.emplace_back(start.gap, end.gap, strong);
      matched += strong ? 4 : 2;
      if (strong) --i;
    }
    std::sort(read.begin(), read.end());
    return matched == n;
  }

  // The pairs of `which` that the reader does not take as written (up to
  // `limit` of them; all of them when a marker is left over).
  std::vector<std::size_t> not_read(const std::vector<Pair>& pairs, const std::vector<std::size_t>& which,
                                    const std::vector<Entry>& entries, std::size_t limit = kNone) const {
    delimiters(pairs, entries, scratch_.delimiters);
    const bool all = read(scratch_.delimiters, scratch_.jumps, scratch_.reading);
    const Reading& got = scratch_.reading;
    std::vector<std::size_t> failing;
    for (const std::size_t i : which) {
      const auto pair = std::make_tuple(pairs[i].first, pairs[i].last + 1, pairs[i].kind == kBold);
      if (!all || !std::binary_search(got.begin(), got.end(), pair)) failing.push_back(i);
      if (failing.size() >= limit) break;
    }
    return failing;
  }

  std::vector<std::size_t> failing_in(const std::vector<Pair>& pairs, const std::vector<std::size_t>& nest) const {
    return not_read(pairs, nest, entries_of(pairs, nest));
  }

  // How many writings of a component are kept for trying beside others.
  static constexpr std::size_t kWritings = 4;

  // The writings of a component that read right by themselves, the ones
  // with fewest '_' first (emphasis takes '_' before strong emphasis). A
  // writing of up to six pairs is a bit per pair ('_' when set); of more
  // pairs, 0 is '*' everywhere and 1 '_' for emphasis that meets other
  // markers.
  std::vector<unsigned> writings(std::vector<Pair>& pairs, const std::vector<std::size_t>& comp,
                                 std::size_t limit) const {
    const std::vector<Entry> entries = entries_of(pairs, comp);
    std::vector<unsigned> candidates;
    // Emphasis inside emphasis is shown only as '*' among '*' (no writing
    // is made unusual for it).
    const bool optional =
        std::any_of(comp.begin(), comp.end(), [&](std::size_t i) { return pairs[i].optional(); });
    if (optional) {
      candidates = {0u};
    } else if (comp.size() <= 6) {
      candidates.resize(std::size_t{1} << comp.size());
      std::iota(candidates.begin(), candidates.end(), 0u);
      unsigned bold = 0;
      for (std::size_t k = 0; k < comp.size(); ++k) bold |= pairs[comp[k]].kind == kBold ? 1u << k : 0u;
      std::stable_sort(candidates.begin(), candidates.end(), [&](unsigned a, unsigned b) {
        return std::make_pair(std::popcount(a), std::popcount(a & bold)) <
               std::make_pair(std::popcount(b), std::popcount(b & bold));
      });
    } else {
      candidates = {0u, 1u};
    }
    std::vector<unsigned> out;
    for (const unsigned writing : candidates) {
      apply(pairs, comp, writing);
      if (not_read(pairs, comp, entries, 1).empty()) out.push_back(writing);
      if (out.size() == limit) break;
    }
    return out;
  }

  void apply(std::vector<Pair>& pairs, const std::vector<std::size_t>& comp, unsigned writing) const {
    if (comp.size() <= 6) {
      for (std::size_t k = 0; k < comp.size(); ++k) pairs[comp[k]].mark = (writing >> k) & 1 ? '_' : '*';
      return;
    }
    std::vector<std::size_t> meets;
    if (writing == 1) {
      meets.assign(atoms_.size() + 1, 0);
      for (const std::size_t i : comp) {
        ++meets[pairs[i].first];
        ++meets[pairs[i].last + 1];
      }
    }
    for (const std::size_t i : comp) {
      const bool shared = writing == 1 && (meets[pairs[i].first] > 1 || meets[pairs[i].last + 1] > 1);
      pairs[i].mark = pairs[i].kind == kItalic && shared ? '_' : '*';
    }
  }

  // Tries the writings of the components of a nest together (a few
  // hundred at most), the ones with the earliest writings first; keeps the
  // first that reads whole.
  bool solve_nest(std::vector<Pair>& pairs, const std::vector<std::size_t>& nest,
                  const std::vector<std::vector<std::size_t>>& comps) const {
    std::vector<std::size_t> members;  // indices into comps
    for (const std::size_t i : nest) members.push_back(comp_index_[i]);
    std::sort(members.begin(), members.end());
    members.erase(std::unique(members.begin(), members.end()), members.end());
    if (members.size() > 4) return false;
    std::vector<std::vector<unsigned>> options(comps.size());
    std::size_t product = 1;
    for (const std::size_t c : members) {
      options[c] = writings(pairs, comps[c], kWritings);
      product *= options[c].size();
    }
    if (product == 0) return false;
    std::vector<std::vector<std::size_t>> combos;
    for (std::size_t n = 0; n < product; ++n) {
      std::vector<std::size_t> combo;
      for (std::size_t k = 0, rest = n; k < members.size(); ++k) {
        combo.push_back(rest % options[members[k]].size());
        rest /= options[members[k]].size();
      }
      combos.push_back(std::move(combo));
    }
    std::stable_sort(combos.begin(), combos.end(), [](const auto& a, const auto& b) {
      return std::accumulate(a.begin(), a.end(), std::size_t{0}) < std::accumulate(b.begin(), b.end(), std::size_t{0});
    });
    for (const std::vector<std::size_t>& combo : combos) {
      for (std::size_t k = 0; k < members.size(); ++k) apply(pairs, comps[members[k]], options[members[k]][combo[k]]);
      if (failing_in(pairs, nest).empty()) return true;
    }
    for (const std::size_t c : members) apply(pairs, comps[c], options[c].front());
    return false;
  }

  // A component no writing reads right for: its markers move inside link
  // brackets where they stand around a link, else emphasis inside emphasis
  // is left out, else the first pair the reader does not take (all of
  // them after the last round).
  void give_way(std::vector<Pair>& pairs, const std::vector<std::size_t>& comp, bool last_round) {
    bool inward = false;
    for (const std::size_t i : comp) {
      if (inward_possible(pairs[i]) && inward_.insert(pages_[pairs[i].origin].key()).second) inward = true;
    }
    if (inward && !last_round) return;
    if (last_round) {
      leave_out(pairs, comp);
      return;
    }
    if (leave_out_optional(pairs, comp)) return;
    // All '*': a pair with a marker that cannot open or close where it
    // stands, else the innermost pair the reader does not take.
    std::vector<std::size_t> stuck;
    delimiters(pairs, entries_of(pairs, comp), scratch_.delimiters, &stuck);
    if (stuck.empty()) stuck = failing_in(pairs, comp);
    dropped_.insert(pairs[stuck.empty() ? comp.back() : *std::max_element(stuck.begin(), stuck.end())].key());
  }

  void leave_out(const std::vector<Pair>& pairs, const std::vector<std::size_t>& which) {
    for (const std::size_t i : which) dropped_.insert(pairs[i].key());
  }

  // Leaves out the emphasis inside emphasis of `which`: whether any was
  // written before.
  bool leave_out_optional(const std::vector<Pair>& pairs, const std::vector<std::size_t>& which) {
    bool any = false;
    for (const std::size_t i : which) {
      if (pairs[i].optional()) any = dropped_.insert(pairs[i].key()).second || any;
    }
    return any;
  }

  const Layout& layout_;
  const std::vector<Atom>& atoms_;
  Scratch& scratch_;
  std::vector<int>& strong_;
  std::vector<int>& italic_;
  std::vector<Pair>& pages_;
  // Where the page's pairs of each level of emphasis start (after the
  // strong emphasis and the levels before).
  std::array<std::size_t, kEmphasisLevels> kinds_end_{};
  std::set<PairKey> inward_;   // page pairs whose markers go inside a link's brackets
  std::set<PairKey> dropped_;  // pieces left out
  std::vector<std::size_t> comp_index_;  // each pair's component
};

// --- writing the run ---------------------------------------------------------

class Writer {
 public:
  Writer(std::string_view run, std::string_view line_before, Scratch& scratch, std::string& out,
         std::span<std::size_t> places)
      : run_(run), line_before_(line_before), layout_(scratch.layout), atoms_(scratch.layout.atoms),
        scratch_(scratch), out_(out), start_(out.size()), places_(places) {}

  void write(const std::vector<Pair>& pairs) {
    if (!scratch_.entries_of_pairs) {
      scratch_.all.resize(pairs.size());
      std::iota(scratch_.all.begin(), scratch_.all.end(), 0);
      entries_into(pairs, scratch_.all, scratch_.entries);
    }
    const std::vector<Entry>& entries = scratch_.entries;
    std::size_t e = 0;
    for (std::size_t gap = 0; gap <= atoms_.size(); ++gap) {
      skip_to(gap < atoms_.size() ? atoms_[gap].begin : run_.size());
      const std::size_t first = e;
      while (e < entries.size() && entries[e].gap == gap) ++e;
      if (e > first) {
        write_markers(pairs, entries, first, e, gap);
      } else if (layout_.gap_marked[gap] && gap < atoms_.size()) {
        join(gap);
      }
      if (gap < atoms_.size()) write_atom(atoms_[gap]);
    }
    skip_to(kNone);
  }

 private:
  // Places before `to` that are not mapped yet stand where the output ends.
  void skip_to(std::size_t to) {
    while (next_place_ < places_.size() && places_[next_place_] < to) places_[next_place_++] = out_.size() - start_;
  }

  void copy(std::size_t from, std::size_t to) {
    skip_to(from);
    const std::size_t base = out_.size() - start_;
    while (next_place_ < places_.size() && places_[next_place_] < to) {
      places_[next_place_] = base + (places_[next_place_] - from);
      ++next_place_;
    }
    out_.append(run_, from, to - from);
  }

  std::string_view written() const { return std::string_view(out_).substr(start_); }

  // The output's line so far, as far as the line-start tests look back.
  std::string line_so_far() const {
    const std::string_view mine = written();
    if (mine.size() >= 64 || mine.find('\n') != std::string_view::npos) return std::string(mine.substr(mine.size() - std::min<std::size_t>(mine.size(), 64)));
    std::string line(line_before_.substr(line_before_.size() - std::min<std::size_t>(line_before_.size(), 64)));
    line += mine;
    return line;
  }

  // A backslash before each character of the run of `c` that ends the
  // output (those no backslash escapes).
  void escape_trailing(char c) {
    std::size_t k = out_.size();
    while (k > start_ && out_[k - 1] == c && !is_escaped_at(out_, k - 1)) --k;
    if (k == out_.size()) return;
    const std::string run(out_, k);
    out_.resize(k);
    for (const char ch : run) {
      out_ += '\\';
      out_ += ch;
    }
  }

  void write_markers(const std::vector<Pair>& pairs, const std::vector<Entry>& entries, std::size_t first,
                     std::size_t end, std::size_t gap) {
    if (out_.size() > start_) {
      // A backslash of the text would escape the marker, and a marker
      // character of the text beside markers would join their run or open
      // or close by them (its white space may have moved outside them).
      if (is_escaped_at(out_, out_.size())) out_ += '\\';
      if (out_.back() == '*' || out_.back() == '_') escape_trailing(out_.back());
    }
    for (std::size_t k = first; k < end; ++k) {
      const Pair& p = pairs[entries[k].pair];
      out_.append(p.kind == kBold ? 2 : 1, p.mark);
    }
    if (gap < atoms_.size() && atoms_[gap].kind == Kind::Text) {
      const char next = run_[atoms_[gap].begin];
      if (next == '*' || next == '_') escape_lead_ = next;
    }
  }

  // Atoms `gap - 1` and `gap` meet where markers were left out: what they
  // would make together stays text.
  void join(std::size_t gap) {
    const Atom& atom = atoms_[gap];
    if (atom.kind == Kind::LinkMid) return;
    const std::size_t from = atom.kind == Kind::LinkOpen ? atom.begin + 1 : atom.begin;
    const std::string_view next = run_.substr(from, std::min<std::size_t>(atom.end - from, 64));
    if (next.empty()) return;
    if (written().empty()) {
      start_line(gap);
      return;
    }
    const char last = out_.back();
    // (An escaped backtick stands for itself; a code span's closing one
    // after a backslash of its content does not.)
    if (last == '`' && next.front() == '`' && atom.kind == Kind::Text &&
        (!is_escaped_at(out_, out_.size() - 1) || ends_with_code_span(written(), 4 * kCodeSpanJoinReach))) {
      join_code(atoms_[gap - 1], atom);
      return;
    }
    if ((last == '~' || last == '_' || last == '*') && next.front() == last && !is_escaped_at(out_, out_.size() - 1)) {
      escape_trailing(last);
    }
    if (in_link_ && out_.back() == ']' && (next.front() == '(' || next.front() == '[') &&
        !is_escaped_at(out_, out_.size() - 1)) {
      escape_label_in_link();
    } else if (const std::size_t at = joining_markup_at(written(), next); at != kNone) {
      out_.insert(start_ + at, 1, '\\');
    }
    if ((next.front() == '.' || next.front() == ')') && ends_in_line_start_number(line_so_far())) {
      backslash_first_ = true;
    } else {
      start_line(gap);
    }
  }

  // A label that ends the output inside a link's text, before a '(' or
  // '[': its two brackets get a backslash (one alone would leave the
  // link's brackets unpaired; a link inside a link's text would be the one
  // a reader takes).
  void escape_label_in_link() {
    const std::size_t close = out_.size() - 1;
    std::size_t open = kNone;
    for (std::size_t k = close, depth = 0; k > link_text_ && open == kNone;) {
      --k;
      if ((out_[k] != '[' && out_[k] != ']') || is_escaped_at(out_, k)) continue;
      if (out_[k] == ']') {
        ++depth;
      } else if (depth != 0) {
        --depth;
      } else {
        open = k;
      }
    }
    out_.insert(close, 1, '\\');
    if (open != kNone) out_.insert(open, 1, '\\');
  }

  // Code spans side by side are one span (while the one before is short
  // enough to take up again; a longer one stands apart by a space); a
  // backtick of text beside a span is escaped.
  void join_code(const Atom& previous, const Atom& atom) {
    const std::optional<CodeSpanAtEnd> before = code_span_at_end(written(), kCodeSpanJoinReach);
    const std::string_view text = run_.substr(atom.begin, atom.end - atom.begin);
    const std::size_t fence = std::min(text.find_first_not_of('`'), text.size());
    std::size_t close = fence;
    while (close < text.size()) {
      close = text.find('`', close);
      if (close == std::string_view::npos) break;
      const std::size_t len = std::min(text.find_first_not_of('`', close), text.size()) - close;
      if (len == fence) break;
      close += len;
    }
    const bool span = close != std::string_view::npos && close < text.size();
    if (before && span) {
      std::string joined(before->content);
      joined += code_span_content(text.substr(fence, close - fence));
      out_.resize(start_ + before->start);
      append_code_span(joined, out_);
      resume_ = atom.begin + close + fence;
      return;
    }
    if (before) {
      escape_lead_ = '`';
    } else if (code_span_at_end(run_.substr(previous.begin, previous.end - previous.begin))) {
      out_ += ' ';
    } else {
      escape_trailing('`');
    }
  }

  // Text that now starts a line keeps a block marker at its start as text.
  void start_line(std::size_t gap) {
    const Atom& atom = atoms_[gap];
    if (atom.kind != Kind::Text || !output_at_line_start(line_so_far())) return;
    if (std::optional<std::string> escaped =
            escape_line_block_markers(run_.substr(atom.begin, atom.end - atom.begin), true)) {
      replacement_ = std::move(*escaped);
      replaced_ = true;
    }
  }

  void write_atom(const Atom& atom) {
    switch (atom.kind) {
      case Kind::LinkOpen:
        copy(atom.begin + 1, atom.end);
        in_link_ = true;
        link_text_ = out_.size();
        return;
      case Kind::LinkMid:
        // A backslash that ends the text, once white space after it went
        // out of the markers, would escape the closing bracket.
        if (out_.size() > link_text_ && out_.back() == '\\' && !is_escaped_at(out_, out_.size() - 1)) {
          skip_to(atom.begin + 1);
          out_ += '\\';
        }
        copy(atom.begin + 1, atom.end - 1);
        in_link_ = false;
        return;
      default:
        break;
    }
    if (replaced_) {
      skip_to(atom.end);
      out_ += replacement_;
      replaced_ = false;
      escape_lead_ = 0;
      backslash_first_ = false;
      return;
    }
    std::size_t from = atom.begin;
    if (resume_ != kNone) {
      skip_to(resume_);
      from = std::min(resume_, atom.end);
      resume_ = kNone;
    }
    if (backslash_first_) {
      skip_to(from);
      out_ += '\\';
      backslash_first_ = false;
    }
    if (escape_lead_ != 0) {
      skip_to(from);
      while (from < atom.end && run_[from] == escape_lead_) {
        out_ += '\\';
        out_ += run_[from++];
      }
      escape_lead_ = 0;
    }
    copy(from, atom.end);
  }

  std::string_view run_;
  std::string_view line_before_;
  const Layout& layout_;
  const std::vector<Atom>& atoms_;
  Scratch& scratch_;
  std::string& out_;
  std::size_t start_;
  std::span<std::size_t> places_;
  std::size_t next_place_ = 0;
  // What the next atom's text gets: a backslash before its run of this
  // character, a backslash first, its text from this offset on (past a
  // code span joined with the one before), or this text instead.
  char escape_lead_ = 0;
  bool backslash_first_ = false;
  bool in_link_ = false;     // the atoms written last are a link's text,
  std::size_t link_text_ = 0;  // which starts here in the output
  std::size_t resume_ = kNone;
  std::string replacement_;
  bool replaced_ = false;
};

}  // namespace

struct MarkerSettler::Buffers : Scratch {};

MarkerSettler::MarkerSettler() : buffers_(std::make_unique<Buffers>()) {}
MarkerSettler::~MarkerSettler() = default;

void MarkerSettler::settle(std::string_view run, std::string_view line_before, std::string& out,
                           std::span<std::size_t> places) {
  Scratch& scratch = *buffers_;
  if (settle_simply(run, out, places, scratch.marks)) return;
  LayoutBuilder(run, scratch.layout, scratch.scopes).build();
  scratch.pairs.clear();
  scratch.entries_of_pairs = false;
  const std::vector<Pair>& pairs =
      scratch.layout.events.empty() ? scratch.pairs : Planner(scratch.layout, scratch).plan();
  Writer(run, line_before, scratch, out, places).write(pairs);
}

}  // namespace tidewell::fast_dom
