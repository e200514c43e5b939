#include "converter/entry/prescan.hpp"

#include "common/scan.hpp"

namespace tidewell {
namespace {

using scan::ieq_at;
using scan::is_letter;
using scan::npos;

bool is_delimiter(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == '/' || c == '>'; }

bool is_name_byte(unsigned char c) { return is_letter(c) || scan::is_digit(c) || c == '_' || c == '-'; }

class Prescanner {
 public:
  explicit Prescanner(std::string_view text) : t_(text), n_(text.size()), ends_(text), out_(text) {}

  Prescan run() {
    std::size_t i = 0;
    while ((i = scan::find_byte_near(t_, '<', i)) != npos) i = step(i);
    Prescan result;
    if (head_open_) summary_.head_span = HeadSpan{head_start_, out_.output_position(n_)};
    result.rewritten = out_.finish();
    result.summary = summary_;
    return result;
  }

 private:
  // Whether `name` (lower case) follows at `at`, with a delimiter after it.
  bool name_at(std::size_t at, std::string_view name) const {
    return at + name.size() < n_ && ieq_at(t_, at, name) && is_delimiter(t_[at + name.size()]);
  }

  // Handles the '<' at lt; returns where the search for the next '<' goes on.
  std::size_t step(std::size_t lt) {
    if (lt + 1 == n_) {
      out_.replace(lt, lt + 1, "&lt;", 4);
      summary_.escaped_lt = true;
      return n_;
    }
    const char next = t_[lt + 1];
    if (next == '!') {
      if (n_ - lt >= 9 && t_.compare(lt, 9, "<![CDATA[") == 0) summary_.cdata = true;
      if (n_ - lt >= 7 && t_.compare(lt, 7, "<!---->") == 0) {
        out_.replace(lt, lt + 7, "<!-- -->", 1);
        return lt + 7;
      }
    }
    // Most tags are none of the names below: their first letter tells.
    const char first = static_cast<char>((next == '/' && lt + 2 < n_ ? t_[lt + 2] : next) | 0x20);
    if (first != 's' && first != 'h' && next != '!') return plain_tag(lt);
    if (name_at(lt + 1, "svg")) {
      const std::size_t end = ends_.find(lt + 4);
      if (end != npos) {
        ++svg_depth_;
        summary_.svg = true;
        return end;
      }
    }
    if (t_[lt + 1] == '/' && name_at(lt + 2, "svg")) {
      const std::size_t end = ends_.find(lt + 5);
      if (end != npos) {
        if (svg_depth_ > 0) --svg_depth_;
        return end;
      }
    }
    if (svg_depth_ == 0) {
      if (const std::size_t after = outside_svg(lt); after != npos) return after;
    }
    return validate(lt);
  }

  // A tag that is no svg, script, style, head or declaration.
  std::size_t plain_tag(std::size_t lt) {
    if (svg_depth_ == 0) custom_name(lt);
    return validate(lt);
  }

  // A custom element name (holding '-') at lt + 1.
  void custom_name(std::size_t lt) {
    if (!is_letter(static_cast<unsigned char>(t_[lt + 1]))) return;
    for (std::size_t k = lt + 1; k < n_ && is_name_byte(static_cast<unsigned char>(t_[k])); ++k) {
      if (t_[k] == '-') {
        summary_.custom_element = true;
        return;
      }
    }
  }

  // Leaves a '<' that starts markup (a tag, or what an HTML reader takes
  // for a comment), writes any other as "&lt;".
  std::size_t validate(std::size_t lt) {
    const unsigned char c = static_cast<unsigned char>(t_[lt + 1]);
    const bool valid = is_letter(c) || c == '?' || c == '!' || (c == '/' && lt + 2 < n_);
    if (!valid) {
      out_.replace(lt, lt + 1, "&lt;", 4);
      summary_.escaped_lt = true;
    }
    return lt + 1;
  }

  // Script, style, DOCTYPE, head tags and custom names; npos when the '<'
  // is none of those that consumes its markup.
  std::size_t outside_svg(std::size_t lt) {
    for (std::string_view raw : {std::string_view("script"), std::string_view("style")}) {
      if (!name_at(lt + 1, raw)) continue;
      const std::size_t end = ends_.find(lt + 1 + raw.size());
      if (end != npos) return empty_raw_text(end, raw);
    }
    if (t_[lt + 1] == '!') {
      std::size_t k = lt + 2;
      while (k < n_ && scan::is_ws(static_cast<unsigned char>(t_[k]))) ++k;
      if (k + 7 < n_ && ieq_at(t_, k, "doctype")) {
        const std::size_t end = ends_.find(k + 7);
        if (end != npos) {
          out_.replace(lt, end, "");
          return end;
        }
      }
    }
    if (name_at(lt + 1, "head")) {
      const std::size_t end = ends_.find(lt + 5);
      if (end != npos) {
        head_open_ = true;
        head_start_ = out_.output_position(end);
        return end;
      }
    }
    if (t_[lt + 1] == '/' && name_at(lt + 2, "head")) {
      const std::size_t end = ends_.find(lt + 6);
      if (end != npos) {
        if (head_open_) {
          summary_.head_span = HeadSpan{head_start_, out_.output_position(lt)};
          head_open_ = false;
        }
        return end;
      }
    }
    custom_name(lt);
    return npos;
  }

  // Drops the content of the script or style element whose start tag ends
  // at `start_end`, up to its matching end tag (start tags of the same name
  // inside it nest), or to the end of the text; writes "</name>" after the
  // start tag. Returns where scanning goes on.
  std::size_t empty_raw_text(std::size_t start_end, std::string_view name) {
    std::size_t depth = 1;
    std::size_t close = n_;
    std::size_t k = start_end;
    while ((k = scan::find_byte(t_, '<', k)) != npos) {
      if (name_at(k + 1, name)) {
        const std::size_t end = ends_.find(k + 1 + name.size());
        if (end != npos) {
          ++depth;
          k = end;
          continue;
        }
      }
      if (k + 1 < n_ && t_[k + 1] == '/' && name_at(k + 2, name)) {
        const std::size_t end = ends_.find(k + 2 + name.size());
        if (end != npos) {
          k = end;
          if (--depth == 0) {
            close = end;
            break;
          }
          continue;
        }
      }
      ++k;
    }
    out_.replace(start_end, close, name == "script" ? "</script>" : "</style>");
    summary_.script = true;
    return close;
  }

  std::string_view t_;
  std::size_t n_;
  scan::TagEndFinder ends_;
  scan::CowWriter out_;
  PrescanSummary summary_;
  std::size_t svg_depth_ = 0;
  bool head_open_ = false;
  std::size_t head_start_ = 0;
};

}  // namespace

Prescan prescan_input(std::string_view prepared) {
  if (prepared.empty()) return {};
  return Prescanner(prepared).run();
}

}  // namespace tidewell
