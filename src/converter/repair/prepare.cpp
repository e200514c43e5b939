#include "converter/repair/prepare.hpp"

#include <unordered_map>

#include "common/scan.hpp"

namespace tidewell::repair {

using scan::find_byte;
using scan::ieq_at;
using scan::is_letter;
using scan::is_ws;
using scan::npos;

namespace {

constexpr std::string_view kPlaceholder = "<!---->";

std::uint64_t hash_lower(std::string_view name) {
  std::uint64_t h = 1469598103934665603ull;
  for (char c : name) {
    h ^= scan::lower(static_cast<unsigned char>(c));
    h *= 1099511628211ull;
  }
  return h;
}

// The tree builder never leaves these open; "image" becomes an img.
bool is_void_name(std::string_view n) { return is_serialized_void(n) || n == "image"; }

// Elements whose start tag closes an open element of the same name.
bool closes_same_name(std::string_view n) {
  return name_in(n, {"p", "li", "dt", "dd", "option", "optgroup", "tr", "td", "th", "a", "rb", "rt",
                     "rp", "rtc", "tbody", "thead", "tfoot", "caption", "colgroup", "button", "form",
                     "nobr", "table", "select", "h1", "h2", "h3", "h4", "h5", "h6"});
}

// HTML start tags that leave svg or math content.
bool breaks_out_of_foreign(std::string_view n) {
  return name_in(n, {"b", "big", "blockquote", "body", "br", "center", "code", "dd", "div", "dl", "dt",
                     "em", "embed", "h1", "h2", "h3", "h4", "h5", "h6", "head", "hr", "i", "img", "li",
                     "listing", "menu", "meta", "nobr", "ol", "p", "pre", "ruby", "s", "small", "span",
                     "strong", "strike", "sub", "sup", "table", "tt", "u", "ul", "var"});
}

// Elements whose content the tokenizer reads as text up to their end tag
// (noscript and plaintext are handled on their own).
bool is_raw_text_name(std::string_view n) { return tag_has(tag_id(n), kRawText | kEscapableRawText); }

// A rough model of the open-element stack, enough to bound the builder's work.
class WorkEstimate {
 public:
  explicit WorkEstimate(std::uint64_t budget) : budget_(budget) {}

  void text() { work_ += stack_.size(); }
  void start(std::string_view lname, bool leaf, std::size_t attrs) {
    work_ += static_cast<std::uint64_t>(attrs) * (attrs > 0 ? attrs - 1 : 0) / 2;
    if (!leaf) {
      const std::uint64_t h = hash_lower(lname);
      if (closes_same_name(lname) && open_count(h) > 0) pop_to(h);
      stack_.push_back(h);
      ++open_[h];
    }
    work_ += stack_.size();
  }
  void end(std::string_view lname) {
    const std::uint64_t h = hash_lower(lname);
    if (open_count(h) > 0) pop_to(h);
    work_ += stack_.size();
  }
  bool exceeded() const { return work_ > budget_; }

 private:
  std::uint32_t open_count(std::uint64_t h) const {
    auto it = open_.find(h);
    return it == open_.end() ? 0 : it->second;
  }
  void pop_to(std::uint64_t h) {
    while (!stack_.empty()) {
      const std::uint64_t top = stack_.back();
      stack_.pop_back();
      --open_[top];
      if (top == h) break;
    }
  }

  std::uint64_t budget_;
  std::uint64_t work_ = 0;
  std::vector<std::uint64_t> stack_;
  std::unordered_map<std::uint64_t, std::uint32_t> open_;
};

struct TagScan {
  std::size_t end;  // position after the tag
  bool self_closing;
  std::size_t attrs;
};

// Reads the attributes of a tag the way the HTML tokenizer does, from the
// end of its name; quotes count only in attribute values.
TagScan scan_tag(std::string_view t, std::size_t k) {
  const std::size_t n = t.size();
  TagScan r{n, false, 0};
  while (true) {
    while (k < n && (is_ws(static_cast<unsigned char>(t[k])) || t[k] == '/')) {
      if (t[k] == '/' && k + 1 < n && t[k + 1] == '>') {
        r.end = k + 2;
        r.self_closing = true;
        return r;
      }
      ++k;
    }
    if (k >= n) return r;
    if (t[k] == '>') {
      r.end = k + 1;
      return r;
    }
    ++r.attrs;
    ++k;  // the first byte belongs to the name, even "="
    while (k < n && !is_ws(static_cast<unsigned char>(t[k])) && t[k] != '/' && t[k] != '>' && t[k] != '=') ++k;
    while (k < n && is_ws(static_cast<unsigned char>(t[k]))) ++k;
    if (k < n && t[k] == '=') {
      ++k;
      while (k < n && is_ws(static_cast<unsigned char>(t[k]))) ++k;
      if (k < n && (t[k] == '"' || t[k] == '\'')) {
        const std::size_t close = find_byte(t, t[k], k + 1);
        if (close == npos) return r;
        k = close + 1;
      } else {
        while (k < n && !is_ws(static_cast<unsigned char>(t[k])) && t[k] != '>') ++k;
      }
    }
  }
}

// Start of "</name" followed by whitespace, "/" or ">" at or after `from`.
std::size_t find_raw_end(std::string_view t, std::string_view lname, std::size_t from) {
  const std::size_t n = t.size();
  for (std::size_t p = find_byte(t, '<', from); p != npos; p = find_byte(t, '<', p + 1)) {
    const std::size_t after = p + 2 + lname.size();
    if (after <= n && t[p + 1] == '/' && ieq_at(t, p + 2, lname) &&
        (after == n || is_ws(static_cast<unsigned char>(t[after])) || t[after] == '/' || t[after] == '>')) {
      return p;
    }
  }
  return npos;
}

}  // namespace

PreparedInput prepare_for_parse(std::string_view t, std::uint64_t budget) {
  PreparedInput result;
  WorkEstimate work(budget);
  const std::size_t n = t.size();
  std::size_t copied = 0;
  std::size_t foreign_depth = 0;
  bool in_select = false;
  std::string lname;
  std::size_t i = 0;
  while (i < n) {
    if (work.exceeded()) {
      result.too_costly = true;
      return result;
    }
    const std::size_t lt = find_byte(t, '<', i);
    if (lt != i) work.text();
    if (lt == npos || lt + 1 >= n) break;
    i = lt;
    const char c = t[i + 1];
    if (c == '!' || c == '?') {
      if (t.compare(i, 4, "<!--") == 0) {
        i = scan::comment_end(t, i);
      } else if (foreign_depth > 0 && t.compare(i, 9, "<![CDATA[") == 0) {
        const std::size_t e = scan::find_str(t, "]]>", i + 9);
        i = e == npos ? n : e + 3;
      } else {
        const std::size_t e = find_byte(t, '>', i + 2);
        i = e == npos ? n : e + 1;
      }
      continue;
    }
    const bool end_tag = c == '/';
    const std::size_t name_at = i + (end_tag ? 2 : 1);
    if (name_at >= n || !is_letter(static_cast<unsigned char>(t[name_at]))) {
      if (end_tag) {  // "</3" and the like are bogus comments, "</>" is dropped
        const std::size_t e = find_byte(t, '>', i + 2);
        i = e == npos ? n : e + 1;
      } else {
        i += 1;
      }
      continue;
    }
    std::size_t name_end = name_at;
    while (name_end < n && !is_ws(static_cast<unsigned char>(t[name_end])) && t[name_end] != '/' &&
           t[name_end] != '>') {
      ++name_end;
    }
    lname.assign(t.data() + name_at, name_end - name_at);
    for (char& ch : lname) ch = static_cast<char>(scan::lower(static_cast<unsigned char>(ch)));
    const TagScan tag = scan_tag(t, name_end);
    i = tag.end;
    const bool svg_or_math = lname == "svg" || lname == "math";
    if (end_tag) {
      if (svg_or_math && foreign_depth > 0) --foreign_depth;
      if (lname == "select") in_select = false;
      work.end(lname);
      continue;
    }
    if (foreign_depth > 0) {
      if (breaks_out_of_foreign(lname)) {
        foreign_depth = 0;
      } else {
        if (svg_or_math && !tag.self_closing) ++foreign_depth;
        work.start(lname, tag.self_closing, tag.attrs);
        continue;
      }
    }
    work.start(lname, is_void_name(lname), tag.attrs);
    if (svg_or_math) {
      if (!tag.self_closing) foreign_depth = 1;
    } else if (lname == "select") {
      in_select = true;
    } else if (lname == "plaintext") {
      break;
    } else if (is_raw_text_name(lname)) {
      const std::size_t e = find_raw_end(t, lname, i);
      if (i < n) work.text();
      i = e == npos ? n : e;
    } else if (lname == "noscript" && !in_select) {
      const std::size_t e = find_raw_end(t, lname, i);
      const std::size_t content_end = e == npos ? n : e;
      if (content_end > i) {
        if (!result.rewritten) {
          result.rewritten = true;
          result.buffer.reserve(n + 64);
        }
        result.buffer.append(t.data() + copied, i - copied);
        result.noscripts.push_back({result.buffer.size(), t.substr(i, content_end - i)});
        result.buffer.append(kPlaceholder);
        copied = content_end;
      }
      i = content_end;
    }
  }
  if (work.exceeded()) {
    result.too_costly = true;
    return result;
  }
  if (result.rewritten) result.buffer.append(t.data() + copied, n - copied);
  return result;
}

}  // namespace tidewell::repair
