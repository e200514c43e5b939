#include "converter/preprocess/preprocessing.hpp"

#include <string>
#include <unordered_map>
#include <vector>

#include "common/raw_text.hpp"
#include "common/scan.hpp"
#include "common/unicode_space.hpp"

namespace tidewell {

using scan::CowWriter;
using scan::find_byte;
using scan::ForwardCache;
using scan::ieq;
using scan::ieq_at;
using scan::is_letter;
using scan::is_ws;
using scan::npos;
using scan::TagEndFinder;

namespace {

// End-tag searches give up after a non-matching "<" this far past the start.
constexpr std::size_t kSearchBound = 100'000'000;

// Byte after "svg" in svg start and end tags (form feed does not count).
bool is_svg_sep(unsigned char c) {
  return c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == '/' || c == '>';
}
// Byte after "script"/"style" in the script and style start tags of pass 1.
bool is_raw_start_sep(unsigned char c) {
  return c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == '>';
}

// "<svg" + separator at i, with a quote-aware ">": the position after it.
std::size_t svg_start_end(std::string_view t, std::size_t i, TagEndFinder& ends) {
  if (i + 4 < t.size() && ieq_at(t, i + 1, "svg") &&
      is_svg_sep(static_cast<unsigned char>(t[i + 4]))) {
    return ends.find(i + 4);
  }
  return npos;
}
std::size_t svg_end_end(std::string_view t, std::size_t i, TagEndFinder& ends) {
  if (i + 5 < t.size() && t[i + 1] == '/' && ieq_at(t, i + 2, "svg") &&
      is_svg_sep(static_cast<unsigned char>(t[i + 5]))) {
    return ends.find(i + 5);
  }
  return npos;
}

// Whether the "<" at `i` may start an svg start or end tag: the test every
// "<" gets before step_over_svg_tag.
inline bool may_be_svg_tag(std::string_view t, std::size_t i) {
  const std::size_t name = i + 1 < t.size() && t[i + 1] == '/' ? i + 2 : i + 1;
  return name < t.size() && (t[name] | 0x20) == 's';
}

// Steps over an svg start or end tag at `i`, keeping the svg nesting depth
// that both the raw-text and the self-closing passes honour. False when no
// svg tag starts at `i`.
bool step_over_svg_tag(std::string_view t, std::size_t& i, TagEndFinder& ends, std::size_t& depth) {
  if (std::size_t e = svg_start_end(t, i, ends); e != npos) {
    ++depth;
    i = e;
    return true;
  }
  if (std::size_t e = svg_end_end(t, i, ends); e != npos) {
    if (depth > 0) --depth;
    i = e;
    return true;
  }
  return false;
}

// Whether some "<" lies in [from, to): a non-matching candidate that far out
// ends an end-tag search.
bool has_lt_between(std::string_view t, std::size_t from, std::size_t to) {
  if (from >= to) return false;
  std::size_t lt = find_byte(t, '<', from);
  return lt != npos && lt < to;
}

// The first "</name" + (whitespace | ">") at or after `from`, with a ">"
// somewhere after it, for a fixed name; queries arrive in increasing order.
class FixedEndTagSearch {
 public:
  FixedEndTagSearch(std::string_view t, std::string_view name) : t_(t), name_(name) {
    last_gt_ = t.rfind('>');
  }

  // Position after the end tag's ">", or npos. `origin` is the start tag's ">".
  std::size_t find(std::size_t from, std::size_t origin) {
    const std::size_t c = cache_.find(from, [&](std::size_t p) { return scan(p); });
    if (c == npos) return npos;
    if (c - origin >= kSearchBound && has_lt_between(t_, origin + kSearchBound, c)) return npos;
    return find_byte(t_, '>', c + 2 + name_.size()) + 1;
  }

 private:
  std::size_t scan(std::size_t p) const {
    const std::size_t n = t_.size();
    while (true) {
      const std::size_t lt = scan::find_byte_near(t_, '<', p);
      if (lt == npos) return npos;
      const std::size_t after = lt + 2 + name_.size();
      if (after < n && t_[lt + 1] == '/' && ieq_at(t_, lt + 2, name_) &&
          (is_ws(static_cast<unsigned char>(t_[after])) || t_[after] == '>')) {
        return (last_gt_ != std::string_view::npos && last_gt_ >= after) ? lt : npos;
      }
      p = lt + 1;
    }
  }

  std::string_view t_;
  std::string_view name_;
  std::size_t last_gt_;
  ForwardCache cache_;
};

// End tags "</name" + (whitespace | ">") indexed by lower-cased name, for
// the hidden-element pass whose names vary. Built on first use.
class EndTagIndex {
 public:
  explicit EndTagIndex(std::string_view t) : t_(t) { last_gt_ = t.rfind('>'); }

  std::size_t find(std::string_view name, std::size_t from, std::size_t origin) {
    // The index keys stop at "<", so a name holding one is searched directly.
    if (name.find('<') != std::string_view::npos) return find_direct(name, from, origin);
    if (!built_) build();
    std::string key(name);
    for (char& ch : key) ch = static_cast<char>(scan::lower(static_cast<unsigned char>(ch)));
    auto it = index_.find(key);
    if (it == index_.end()) return npos;
    const auto& v = it->second;
    auto pos = std::lower_bound(v.begin(), v.end(), from);
    if (pos == v.end()) return npos;
    const std::size_t c = *pos;
    const std::size_t after = c + 2 + name.size();
    if (last_gt_ == std::string_view::npos || last_gt_ < after) return npos;
    if (c - origin >= kSearchBound && has_lt_between(t_, origin + kSearchBound, c)) return npos;
    return find_byte(t_, '>', after) + 1;
  }

 private:
  std::size_t find_direct(std::string_view name, std::size_t from, std::size_t origin) const {
    const std::size_t n = t_.size();
    for (std::size_t c = find_byte(t_, '<', from); c != npos; c = find_byte(t_, '<', c + 1)) {
      const std::size_t after = c + 2 + name.size();
      if (after < n && t_[c + 1] == '/' && ieq_name(c + 2, name) &&
          (is_ws(static_cast<unsigned char>(t_[after])) || t_[after] == '>')) {
        const std::size_t gt = find_byte(t_, '>', after);
        return gt == npos ? npos : gt + 1;
      }
      if (c - origin >= kSearchBound) return npos;
    }
    return npos;
  }
  bool ieq_name(std::size_t at, std::string_view name) const {
    for (std::size_t k = 0; k < name.size(); ++k) {
      if (scan::lower(static_cast<unsigned char>(t_[at + k])) != scan::lower(static_cast<unsigned char>(name[k]))) {
        return false;
      }
    }
    return true;
  }

  void build() {
    built_ = true;
    const std::size_t n = t_.size();
    std::size_t p = 0;
    std::string key;
    while ((p = scan::find_str(t_, "</", p)) != npos) {
      std::size_t k = p + 2;
      while (k < n && !is_ws(static_cast<unsigned char>(t_[k])) && t_[k] != '>' && t_[k] != '<') ++k;
      if (k < n && t_[k] != '<') {
        key.assign(t_.data() + p + 2, k - p - 2);
        for (char& ch : key) ch = static_cast<char>(scan::lower(static_cast<unsigned char>(ch)));
        index_[key].push_back(p);
      }
      p = (k < n && t_[k] == '<') ? k : p + 2;
    }
  }

  std::string_view t_;
  std::size_t last_gt_;
  bool built_ = false;
  std::unordered_map<std::string, std::vector<std::size_t>> index_;
};

// Script and style end tags of the last pass, which count nesting: each
// "<name" + separator with a quote-aware ">" opens, each "</name" + separator
// with one closes. Every "<" of the text is looked at, so the events do not
// depend on where a search starts; a search is then "the first event after
// `from` where the running count falls below its value at `from`", answered
// from prefix sums and a next-smaller table.
class NestedEndTagSearch {
 public:
  NestedEndTagSearch(std::string_view t, std::string_view name, TagEndFinder& ends)
      : t_(t), name_(name), ends_(ends) {}

  std::size_t find(std::size_t from) {
    if (!built_) build();
    const std::size_t a = static_cast<std::size_t>(
        std::lower_bound(pos_.begin(), pos_.end(), from) - pos_.begin());
    const std::size_t b = next_smaller_[a];
    if (b == npos) return npos;
    return end_[b - 1];
  }

 private:
  void build() {
    built_ = true;
    const std::size_t n = t_.size();
    std::vector<long long> prefix{0};
    std::size_t p = 0;
    while ((p = scan::find_byte_near(t_, '<', p)) != npos) {
      const bool close = p + 1 < n && t_[p + 1] == '/';
      const std::size_t name_at = p + (close ? 2 : 1);
      const std::size_t sep = name_at + name_.size();
      if (sep < n && ieq_at(t_, name_at, name_) && is_svg_sep(static_cast<unsigned char>(t_[sep]))) {
        const std::size_t e = ends_.find(sep);
        if (e != npos) {
          pos_.push_back(p);
          end_.push_back(e);
          prefix.push_back(prefix.back() + (close ? -1 : 1));
        }
      }
      ++p;
    }
    // next_smaller_[a]: first b > a with prefix[b] < prefix[a].
    next_smaller_.assign(prefix.size(), npos);
    std::vector<std::size_t> stack;
    for (std::size_t i = prefix.size(); i-- > 0;) {
      while (!stack.empty() && prefix[stack.back()] >= prefix[i]) stack.pop_back();
      if (!stack.empty()) next_smaller_[i] = stack.back();
      stack.push_back(i);
    }
  }

  std::string_view t_;
  std::string_view name_;
  TagEndFinder& ends_;
  bool built_ = false;
  std::vector<std::size_t> pos_;
  std::vector<std::size_t> end_;
  std::vector<std::size_t> next_smaller_;
};


}  // namespace

namespace {

// The position of the value of the first type attribute at or after `from`
// in `tag` (after its "=" and the white space there), with the position of
// its name; {npos, npos} when there is none.
std::pair<std::size_t, std::size_t> find_type_value(std::string_view tag, std::size_t from) {
  const std::size_t n = tag.size();
  for (std::size_t pos = from; pos + 4 <= n; ++pos) {
    if (!ieq_at(tag, pos, "type")) continue;
    if (pos > 0) {
      const auto before = static_cast<unsigned char>(tag[pos - 1]);
      if (!is_ws(before) && before != '/' && before != '<') continue;
    }
    std::size_t j = pos + 4;
    if (j >= n) continue;
    if (tag[j] != '=') {
      if (!is_ws(static_cast<unsigned char>(tag[j]))) continue;
      while (j < n && is_ws(static_cast<unsigned char>(tag[j]))) ++j;
      if (j >= n || tag[j] != '=') continue;
    }
    ++j;
    while (j < n && is_ws(static_cast<unsigned char>(tag[j]))) ++j;
    return {pos, j};
  }
  return {npos, npos};
}

bool is_json_ld_type_value(std::string_view tag, std::size_t j) {
  const std::size_t n = tag.size();
  if (j >= n) return false;
  std::string_view value;
  if (tag[j] == '"' || tag[j] == '\'') {
    const std::size_t close = tag.find(tag[j], j + 1);
    value = tag.substr(j + 1, (close == std::string_view::npos ? n : close) - j - 1);
  } else {
    std::size_t k = j;
    while (k < n && !is_ws(static_cast<unsigned char>(tag[k])) && tag[k] != '>') ++k;
    value = tag.substr(j, k - j);
  }
  const std::size_t semi = value.find(';');
  if (semi != std::string_view::npos) value = value.substr(0, semi);
  value = trim_unicode_space(value);
  return value.size() >= 19 && ieq_at(value, 0, "application/ld+json");
}

// is_json_ld_script_tag over the script start tags of one text, in order.
// Start tags cut off by quotes can run to one shared '>' ("<script a="
// repeated): the type attribute found from an earlier start answers for a
// later one that begins before it, so no stretch of the text is read twice.
class JsonLdScriptTest {
 public:
  explicit JsonLdScriptTest(std::string_view text) : text_(text) {}

  // The start tag from `start` (its '<') up to `stop` (exclusive).
  bool operator()(std::size_t start, std::size_t stop) {
    if (stop != stop_ || start < from_ || (name_ != npos && name_ <= start)) {
      const std::string_view tag = text_.substr(0, stop);
      stop_ = stop;
      from_ = start;
      const auto [name, value] = find_type_value(tag, start + 1);
      name_ = name;
      result_ = name != npos && is_json_ld_type_value(tag, value);
    }
    return result_;
  }

 private:
  std::string_view text_;
  std::size_t stop_ = npos;
  std::size_t from_ = 0;
  std::size_t name_ = npos;
  bool result_ = false;
};

}  // namespace

bool is_json_ld_script_tag(std::string_view tag) {
  const auto [name, value] = find_type_value(tag, 0);
  return name != npos && is_json_ld_type_value(tag, value);
}

// ---------------------------------------------------------------------------
// Pass 1

std::optional<std::string> strip_script_and_style(std::string_view text) {
  if (text.empty() || find_byte(text, '<', 0) == npos) return std::nullopt;
  const std::size_t n = text.size();
  CowWriter out(text);
  TagEndFinder ends(text);
  FixedEndTagSearch script_end(text, "script");
  FixedEndTagSearch style_end(text, "style");
  ForwardCache next_gt;
  JsonLdScriptTest json_ld(text);
  auto plain_gt = [&](std::size_t from) {
    return next_gt.find(from, [&](std::size_t p) { return find_byte(text, '>', p); });
  };
  std::size_t svg_depth = 0;
  std::size_t i = 0;
  while ((i = scan::find_byte_near(text, '<', i)) != npos) {
    if (i + 1 >= n) break;
    if (may_be_svg_tag(text, i) && step_over_svg_tag(text, i, ends, svg_depth)) continue;
    // Only a script or style element goes, outside svg.
    if (svg_depth > 0 || (text[i + 1] | 0x20) != 's') {
      ++i;
      continue;
    }
    std::size_t element_end = npos;
    if (i + 7 < n && ieq_at(text, i + 1, "script") &&
        is_raw_start_sep(static_cast<unsigned char>(text[i + 7]))) {
      const std::size_t gt = plain_gt(i + 7);
      if (gt != npos && !json_ld(i, gt + 1)) {
        element_end = script_end.find(gt + 1, gt);
      }
    } else if (i + 6 < n && ieq_at(text, i + 1, "style") &&
               is_raw_start_sep(static_cast<unsigned char>(text[i + 6]))) {
      const std::size_t gt = plain_gt(i + 6);
      if (gt != npos && gt + 1 < n) element_end = style_end.find(gt + 1, gt);
    }
    if (element_end == npos) {
      ++i;
      continue;
    }
    const bool spaced = i > 0 && element_end < n && !is_ws(static_cast<unsigned char>(text[i - 1])) &&
                        !is_ws(static_cast<unsigned char>(text[element_end]));
    out.replace(i, element_end, spaced ? " " : "");
    i = element_end;
  }
  return out.finish();
}

// ---------------------------------------------------------------------------
// Pass 2

std::optional<std::string> remove_hidden_elements(std::string_view text) {
  if (find_byte(text, '<', 0) == npos) return std::nullopt;
  const std::size_t n = text.size();
  CowWriter out(text);
  TagEndFinder ends(text);
  EndTagIndex end_tags(text);
  ForwardCache attr_start_cache;
  ForwardCache hidden_cache;
  auto attr_start = [&](std::size_t from) {
    return attr_start_cache.find(from, [&](std::size_t p) {
      for (; p < n; ++p) {
        const char c = text[p];
        if (c == '\t' || c == '\n' || c == ' ' || c == '>') return p;
      }
      return npos;
    });
  };
  // The next "hidden" preceded by whitespace and followed by a byte that
  // ends an attribute name. Its "dd" is looked for, far rarer than an "h".
  auto next_hidden = [&](std::size_t from) {
    return hidden_cache.find(from, [&](std::size_t from_at) {
      for (std::size_t dd = scan::find_letter_pair(text, 'd', 'd', from_at + 2); dd != npos;
           dd = scan::find_letter_pair(text, 'd', 'd', dd + 1)) {
        const std::size_t p = dd - 2;
        if (p + 6 >= n) return npos;
        if (!ieq_at(text, p, "hidden")) continue;
        if (p == 0 || !is_ws(static_cast<unsigned char>(text[p - 1]))) continue;
        const char after = text[p + 6];
        if (after == '\t' || after == '\n' || after == '\r' || after == ' ' || after == '/' ||
            after == '=' || after == '>') {
          return p;
        }
      }
      return npos;
    });
  };
  // Without a single attribute-like "hidden" there is nothing to remove.
  if (next_hidden(0) == npos) return std::nullopt;
  FixedEndTagSearch script_end(text, "script");
  FixedEndTagSearch style_end(text, "style");
  // The content of a script or style element (a JSON-LD script kept by the
  // first pass) is text: a "hidden" in it is no attribute.
  auto raw_text_end = [&](std::size_t lt, std::size_t tag_end) {
    if (ieq_at(text, lt + 1, "script") && lt + 7 < n && is_raw_start_sep(static_cast<unsigned char>(text[lt + 7]))) {
      return script_end.find(tag_end, tag_end - 1);
    }
    if (ieq_at(text, lt + 1, "style") && lt + 6 < n && is_raw_start_sep(static_cast<unsigned char>(text[lt + 6]))) {
      return style_end.find(tag_end, tag_end - 1);
    }
    return npos;
  };
  std::size_t i = 0;
  while ((i = scan::find_byte_near(text, '<', i)) != npos) {
    if (i + 1 >= n || text[i + 1] == '!' || text[i + 1] == '/') {
      ++i;
      continue;
    }
    // Past the last "hidden", nothing more goes.
    if (next_hidden(i + 1) == npos) break;
    const std::size_t tag_end = ends.find(i + 1);
    if (tag_end == npos) {
      ++i;
      continue;
    }
    const std::size_t attrs = attr_start(i + 1);
    const std::size_t hidden = (attrs == npos || attrs >= tag_end) ? npos : next_hidden(attrs);
    if (hidden == npos || hidden >= tag_end) {
      const std::size_t skip = raw_text_end(i, tag_end);
      i = skip != npos ? skip : i + 1;
      continue;
    }
    std::size_t name_end = i + 1;
    while (name_end < n && !is_ws(static_cast<unsigned char>(text[name_end])) && text[name_end] != '/' &&
           text[name_end] != '>') {
      ++name_end;
    }
    const std::string_view name = text.substr(i + 1, name_end - i - 1);
    std::size_t remove_end = tag_end;
    const bool self_closed = tag_end >= 2 && text[tag_end - 2] == '/';
    if (!self_closed && !ieq(name, "br") && !ieq(name, "hr") && !ieq(name, "img") && !ieq(name, "input")) {
      const std::size_t e = end_tags.find(name, tag_end, tag_end - 1);
      if (e != npos) remove_end = e;
    }
    out.replace(i, remove_end, "");
    i = remove_end;
  }
  return out.finish();
}

// ---------------------------------------------------------------------------
// Pass 3

std::optional<std::string> normalize_comment_endings(std::string_view text) {
  const std::size_t n = text.size();
  if (n < 7 || scan::find_str(text, "<!--", 0) == npos) return std::nullopt;
  CowWriter out(text);
  std::size_t p = 0;
  while (n - p >= 4) {
    const std::size_t open = scan::find_str(text, "<!--", p);
    if (open == npos) break;
    std::size_t dashes = 0;
    std::size_t j = open + 4;
    for (; j < n; ++j) {
      const char c = text[j];
      if (c == '-') {
        ++dashes;
      } else if (c == '>' && dashes >= 2) {
        break;
      } else {
        dashes = 0;
      }
    }
    if (j >= n) break;
    if (dashes >= 3) out.replace(j - dashes, j + 1, "-->");
    p = j + 1;
  }
  return out.finish();
}

// ---------------------------------------------------------------------------
// Pass 4

std::optional<std::string> join_split_end_tags(std::string_view text) {
  const std::size_t n = text.size();
  if (n <= 3 || text.find("</") == npos) return std::nullopt;
  CowWriter out(text);
  std::string repl;
  std::size_t p = 0;
  while ((p = scan::find_byte_near(text, '<', p)) != npos) {
    if (p + 1 >= n || text[p + 1] != '/') {
      ++p;
      continue;
    }
    std::size_t k = p + 2;
    while (k < n && (is_letter(static_cast<unsigned char>(text[k])) ||
                     scan::is_digit(static_cast<unsigned char>(text[k])) || text[k] == '-')) {
      ++k;
    }
    if (k == p + 2 || k >= n) {
      ++p;
      continue;
    }
    std::size_t r = k;
    while (r < n && is_ws(static_cast<unsigned char>(text[r]))) ++r;
    if (r == k || r >= n || text[r] != '>') {
      ++p;
      continue;
    }
    repl.assign("</");
    repl.append(text.data() + p + 2, k - p - 2);
    repl.push_back('>');
    out.replace(p, r + 1, repl);
    p = r + 1;
  }
  return out.finish();
}

// ---------------------------------------------------------------------------
// Pass 5

namespace {
enum class Item : unsigned char { None, Li, Dt, Dd };

std::string_view item_end_tag(Item item) {
  switch (item) {
    case Item::Li: return "</li>";
    case Item::Dt: return "</dt>";
    case Item::Dd: return "</dd>";
    case Item::None: break;
  }
  return "";
}

bool has_list_item_tag(std::string_view t) {
  std::size_t i = 0;
  while ((i = find_byte(t, '<', i)) != npos) {
    if (ieq_at(t, i + 1, "li") || ieq_at(t, i + 1, "dt") || ieq_at(t, i + 1, "dd")) return true;
    ++i;
  }
  return false;
}
}  // namespace

std::optional<std::string> close_open_list_items(std::string_view text) {
  const std::size_t n = text.size();
  if (n < 4 || !has_list_item_tag(text)) return std::nullopt;
  CowWriter out(text);
  TagEndFinder ends(text);
  bool in_comment = false;
  std::size_t raw_depth = 0;
  Item open = Item::None;
  std::vector<Item> saved;
  std::size_t i = 0;
  while (i < n) {
    if (in_comment) {
      const std::size_t close = scan::find_str(text, "-->", i);
      if (close == npos) break;
      in_comment = false;
      i = close + 3;
      continue;
    }
    i = scan::find_byte_near(text, '<', i);
    if (i == npos) break;
    if (text.compare(i, 4, "<!--") == 0) {
      in_comment = true;
      i += 4;
      continue;
    }
    std::size_t j = i + 1;
    const bool end_tag = j < n && text[j] == '/';
    if (end_tag) ++j;
    // A name starts right after "<" or "</": "< li>" is text, and "<!",
    // "<?" and "</" before a non-letter open a comment up to the next ">".
    if (j >= n || !is_letter(static_cast<unsigned char>(text[j]))) {
      if (j < n && (end_tag || text[j] == '!' || text[j] == '?')) {
        const std::size_t gt = find_byte(text, '>', j);
        i = gt == npos ? n : gt + 1;
      } else {
        i = j;
      }
      continue;
    }
    std::size_t k = j;
    while (k < n && !is_ws(static_cast<unsigned char>(text[k])) && text[k] != '/' && text[k] != '>') ++k;
    const std::size_t tag_end = ends.find(k);
    const std::size_t next = tag_end == npos ? n : tag_end;
    const std::string_view name = text.substr(j, k - j);
    if (ieq(name, "pre") || ieq(name, "code") || ieq(name, "style") || ieq(name, "script")) {
      if (!end_tag) {
        ++raw_depth;
      } else if (raw_depth > 0) {
        --raw_depth;
      }
    } else if (raw_depth == 0 && name.size() <= 4) {
      Item item = Item::None;
      if (ieq(name, "li")) item = Item::Li;
      else if (ieq(name, "dt")) item = Item::Dt;
      else if (ieq(name, "dd")) item = Item::Dd;
      // menu and dir are lists too: an item inside one is no sibling of the
      // item around it, which the end tag inserted here would close.
      const bool list = ieq(name, "ol") || ieq(name, "ul") || ieq(name, "dl") || ieq(name, "menu") ||
                        ieq(name, "dir");
      if (item != Item::None) {
        if (end_tag) {
          open = Item::None;
        } else {
          if (open != Item::None) out.insert(i, item_end_tag(open), 64);
          open = item;
        }
      } else if (list) {
        if (!end_tag) {
          saved.push_back(open);
          open = Item::None;
        } else {
          if (open != Item::None) out.insert(i, item_end_tag(open), 64);
          if (saved.empty()) {
            open = Item::None;
          } else {
            open = saved.back();
            saved.pop_back();
          }
        }
      }
    }
    i = next;
  }
  if (open != Item::None) out.insert(n, item_end_tag(open), out.changed() ? 64 : 16);
  return out.finish();
}

// ---------------------------------------------------------------------------
// Pass 6

namespace {

// The length of the empty comment "<!-->", "<!--->" or "<!---->" that
// starts at `at` (a "<"), or 0.
std::size_t empty_comment_length(std::string_view text, std::size_t at) {
  if (text.compare(at, 7, "<!---->") == 0) return 7;
  if (text.compare(at, 5, "<!-->") == 0) return 5;
  return text.compare(at, 6, "<!--->") == 0 ? 6 : 0;
}

// Pass 6; with `every_empty_comment`, "<!-->" and "<!--->" become
// "<!-- -->" too, as "<!---->" always does.
std::optional<std::string> normalize_markup(std::string_view text, bool every_empty_comment) {
  if (text.empty()) return std::nullopt;
  const std::size_t n = text.size();
  CowWriter out(text);
  TagEndFinder ends(text);
  JsonLdScriptTest json_ld(text);
  NestedEndTagSearch script_end(text, "script", ends);
  NestedEndTagSearch style_end(text, "style", ends);
  // An element whose nested count never closes (a script whose strings
  // hold "<script>") ends at its first end tag, as a browser reads it: its
  // content is no text of the page.
  FixedEndTagSearch first_script_end(text, "script");
  FixedEndTagSearch first_style_end(text, "style");
  // The length of the empty comment at `at` that becomes "<!-- -->", or 0.
  const auto empty_comment = [&](std::size_t at) -> std::size_t {
    const std::size_t len = empty_comment_length(text, at);
    return every_empty_comment || len == 7 ? len : 0;
  };
  // A stretch that is copied as it stands (an svg tag, a script start tag,
  // a JSON-LD script) gets the fast roads' empty comments too, as if they
  // were rewritten before this pass.
  const auto empty_comments_in = [&](std::size_t from, std::size_t to) {
    if (!every_empty_comment) return;
    for (std::size_t at = find_byte(text, '<', from); at < to; at = find_byte(text, '<', at + 1)) {
      if (const std::size_t len = empty_comment(at)) out.replace(at, at + len, "<!-- -->");
    }
  };
  std::size_t svg_depth = 0;
  std::size_t i = 0;
  while ((i = scan::find_byte_near(text, '<', i)) != npos) {
    if (i + 1 == n) {
      out.replace(i, i + 1, "&lt;", 4);
      break;
    }
    // Each rewrite below starts with its own byte after the "<": that byte
    // picks the few that can apply.
    const auto b = static_cast<unsigned char>(text[i + 1]);
    const auto folded = static_cast<unsigned char>(b | 0x20);
    if (b == '!') {
      if (const std::size_t empty = empty_comment(i)) {
        out.replace(i, i + empty, "<!-- -->");
        i += empty;
        continue;
      }
    }
    // Any case: "<BR/>" would be an element named "BR/" that holds what follows.
    if ((folded == 'b' || folded == 'h') && (ieq_at(text, i, "<br/>") || ieq_at(text, i, "<hr/>"))) {
      out.replace(i, i + 5, folded == 'b' ? "<br>" : "<hr>");
      i += 5;
      continue;
    }
    if (folded == 'i' && ieq_at(text, i, "<img/>")) {
      out.replace(i, i + 6, "<img>");
      i += 6;
      continue;
    }
    if (const std::size_t tag = i; may_be_svg_tag(text, i) && step_over_svg_tag(text, i, ends, svg_depth)) {
      empty_comments_in(tag + 1, i);
      continue;
    }
    if (svg_depth == 0) {
      const bool script = folded == 's' && i + 7 < n && ieq_at(text, i + 1, "script") &&
                          is_svg_sep(static_cast<unsigned char>(text[i + 7]));
      const bool style = folded == 's' && !script && i + 6 < n && ieq_at(text, i + 1, "style") &&
                         is_svg_sep(static_cast<unsigned char>(text[i + 6]));
      if (script || style) {
        const std::size_t start_end = ends.find(i + (script ? 7 : 6));
        if (start_end != npos) {
          // A JSON-LD script stays, its content as written: the fast parser
          // reads it as text up to the first end tag.
          if (script && json_ld(i, start_end)) {
            const std::size_t end = scan::find_end_tag(text, start_end, "script");
            empty_comments_in(i + 1, end == npos ? n : end);
            i = end == npos ? n : end;
            continue;
          }
          empty_comments_in(i + 1, start_end);
          const std::string_view close = script ? "</script>" : "</style>";
          std::size_t end = (script ? script_end : style_end).find(start_end);
          if (end == npos) end = (script ? first_script_end : first_style_end).find(start_end, start_end - 1);
          if (end != npos) {
            out.replace(start_end, end, close);
            i = end;
          } else {
            out.insert(start_end, close);
            i = start_end;
          }
          continue;
        }
      }
      if (b == '!') {
        std::size_t k = i + 2;
        while (k < n && is_ws(static_cast<unsigned char>(text[k]))) ++k;
        if (ieq_at(text, k, "doctype")) {
          const std::size_t e = ends.find(k + 7);
          if (e != npos) {
            out.replace(i, e, "");
            i = e;
            continue;
          }
        }
      }
    }
    // Markup stays: a tag, and what an HTML reader takes for a comment (a
    // declaration, a processing instruction, "</" before a non-letter),
    // which the parsers read so too. Inside svg a CDATA section is text.
    const bool cdata_in_svg = svg_depth > 0 && b == '!' && text.compare(i, 9, "<![CDATA[") == 0;
    const bool keep = is_letter(b) || b == '?' || (b == '!' && !cdata_in_svg) || (b == '/' && i + 2 < n);
    if (!keep) out.replace(i, i + 1, "&lt;", 4);
    ++i;
  }
  return out.finish();
}

}  // namespace

std::optional<std::string> normalize_markup_for_parser(std::string_view text) { return normalize_markup(text, false); }

std::optional<std::string> normalize_markup_for_fast_parser(std::string_view text) {
  return normalize_markup(text, true);
}

std::optional<std::string> normalize_empty_comments(std::string_view text) {
  CowWriter out(text);
  for (std::size_t at = scan::find_pair(text, '<', '!', 0); at != npos; at = scan::find_pair(text, '<', '!', at + 2)) {
    if (const std::size_t len = empty_comment_length(text, at)) out.replace(at, at + len, "<!-- -->", 3);
  }
  return out.finish();
}

// ---------------------------------------------------------------------------

std::optional<std::string> run_preprocessing(std::string_view text) {
  using Pass = std::optional<std::string> (*)(std::string_view);
  static constexpr Pass kPasses[] = {strip_script_and_style, remove_hidden_elements,
                                     normalize_comment_endings, join_split_end_tags,
                                     close_open_list_items, normalize_markup_for_parser};
  std::optional<std::string> current;
  for (Pass pass : kPasses) {
    auto next = pass(current ? std::string_view(*current) : text);
    if (next) current = std::move(next);
  }
  return current;
}

}  // namespace tidewell
