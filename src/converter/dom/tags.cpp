#include "converter/dom/tags.hpp"

#include <cstring>

#include "common/ascii.hpp"

namespace tidewell {
namespace {

// Compares `name` (of length n) with each literal of the same length and
// returns the matching literal; branch-only, no table walk at run time.
template <std::size_t L>
inline bool eq(std::string_view name, const char (&lit)[L]) {
  return std::memcmp(name.data(), lit, L - 1) == 0;
}

#define TW_MATCH(lit)              \
  if (eq(name, lit)) {             \
    return std::string_view(lit);  \
  }

}  // namespace

std::optional<std::string_view> intern_tag_name(std::string_view name) {
  switch (name.size()) {
    case 1:
      switch (name[0]) {
        case 'a': return std::string_view("a");
        case 'b': return std::string_view("b");
        case 'i': return std::string_view("i");
        case 'p': return std::string_view("p");
        case 's': return std::string_view("s");
        case 'u': return std::string_view("u");
        default: return std::nullopt;
      }
    case 2:
      TW_MATCH("br") TW_MATCH("dd") TW_MATCH("dl") TW_MATCH("dt") TW_MATCH("em")
      TW_MATCH("h1") TW_MATCH("h2") TW_MATCH("h3") TW_MATCH("h4") TW_MATCH("h5") TW_MATCH("h6")
      TW_MATCH("hr") TW_MATCH("li") TW_MATCH("ol") TW_MATCH("rb") TW_MATCH("rp") TW_MATCH("rt")
      TW_MATCH("td") TW_MATCH("th") TW_MATCH("tr") TW_MATCH("ul")
      return std::nullopt;
    case 3:
      TW_MATCH("dfn") TW_MATCH("div") TW_MATCH("img") TW_MATCH("ins") TW_MATCH("kbd")
      TW_MATCH("nav") TW_MATCH("pre") TW_MATCH("rtc") TW_MATCH("sub") TW_MATCH("sup")
      TW_MATCH("var") TW_MATCH("wbr")
      return std::nullopt;
    case 4:
      TW_MATCH("abbr") TW_MATCH("body") TW_MATCH("code") TW_MATCH("data") TW_MATCH("form")
      TW_MATCH("head") TW_MATCH("html") TW_MATCH("link") TW_MATCH("main") TW_MATCH("mark")
      TW_MATCH("ruby") TW_MATCH("samp") TW_MATCH("span") TW_MATCH("time")
      return std::nullopt;
    case 5:
      TW_MATCH("aside") TW_MATCH("small") TW_MATCH("style") TW_MATCH("table") TW_MATCH("tbody")
      TW_MATCH("tfoot") TW_MATCH("thead")
      return std::nullopt;
    case 6:
      TW_MATCH("figure") TW_MATCH("footer") TW_MATCH("header") TW_MATCH("iframe")
      TW_MATCH("script") TW_MATCH("source") TW_MATCH("strong")
      return std::nullopt;
    case 7:
      TW_MATCH("address") TW_MATCH("article") TW_MATCH("caption") TW_MATCH("details")
      TW_MATCH("section") TW_MATCH("summary")
      return std::nullopt;
    case 10:
      TW_MATCH("blockquote") TW_MATCH("figcaption")
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

#undef TW_MATCH
#define TW_MATCH(lit)  \
  if (eq(name, lit)) { \
    return true;       \
  }

bool is_inline_tag(std::string_view name) {
  switch (name.size()) {
    case 1:
      switch (name[0]) {
        case 'a': case 'b': case 'i': case 'q': case 's': case 'u': return true;
        default: return false;
      }
    case 2:
      TW_MATCH("br") TW_MATCH("em") TW_MATCH("rp") TW_MATCH("rt")
      return false;
    case 3:
      TW_MATCH("bdi") TW_MATCH("bdo") TW_MATCH("del") TW_MATCH("dfn") TW_MATCH("img")
      TW_MATCH("ins") TW_MATCH("kbd") TW_MATCH("map") TW_MATCH("sub") TW_MATCH("sup")
      TW_MATCH("var") TW_MATCH("wbr")
      return false;
    case 4:
      TW_MATCH("abbr") TW_MATCH("area") TW_MATCH("cite") TW_MATCH("code") TW_MATCH("data")
      TW_MATCH("mark") TW_MATCH("ruby") TW_MATCH("samp") TW_MATCH("span") TW_MATCH("time")
      return false;
    case 5:
      TW_MATCH("audio") TW_MATCH("embed") TW_MATCH("input") TW_MATCH("label") TW_MATCH("meter")
      TW_MATCH("param") TW_MATCH("small") TW_MATCH("track") TW_MATCH("video")
      return false;
    case 6:
      TW_MATCH("button") TW_MATCH("object") TW_MATCH("output") TW_MATCH("select")
      TW_MATCH("source") TW_MATCH("strong")
      return false;
    case 7:
      TW_MATCH("picture")
      return false;
    case 8:
      TW_MATCH("progress") TW_MATCH("textarea")
      return false;
    default:
      return false;
  }
}

bool is_block_tag(std::string_view name, bool is_inline) {
  if (is_inline) return false;
  switch (name.size()) {
    case 1:
      return name[0] == 'p';
    case 2:
      TW_MATCH("dd") TW_MATCH("dl") TW_MATCH("dt") TW_MATCH("h1") TW_MATCH("h2") TW_MATCH("h3")
      TW_MATCH("h4") TW_MATCH("h5") TW_MATCH("h6") TW_MATCH("hr") TW_MATCH("li") TW_MATCH("ol")
      TW_MATCH("ul")
      return false;
    case 3:
      TW_MATCH("div") TW_MATCH("nav") TW_MATCH("pre")
      return false;
    case 4:
      TW_MATCH("form") TW_MATCH("main")
      return false;
    case 5:
      TW_MATCH("aside") TW_MATCH("table") TW_MATCH("tfoot")
      return false;
    case 6:
      TW_MATCH("canvas") TW_MATCH("figure") TW_MATCH("footer") TW_MATCH("header")
      return false;
    case 7:
      TW_MATCH("address") TW_MATCH("article") TW_MATCH("section")
      return false;
    case 8:
      TW_MATCH("fieldset")
      return false;
    case 10:
      TW_MATCH("blockquote") TW_MATCH("figcaption")
      return false;
    default:
      return false;
  }
}

#undef TW_MATCH

bool is_void_tag(std::string_view name) {
  static constexpr std::string_view kVoid[] = {"br",   "hr",   "col",   "img",   "wbr",   "area",  "base",
                                               "link", "meta", "embed", "input", "param", "track", "source"};
  for (std::string_view v : kVoid) {
    if (ascii_iequals(name, v)) return true;
  }
  return false;
}

}  // namespace tidewell
