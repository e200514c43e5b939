// Test input made up or read from the corpus: pages as text, and seeded
// random or mutated markup.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "common/utf8.hpp"
#include "support/corpus.hpp"

namespace tidewell::test {

// `piece` written `n` times.
inline std::string repeat(std::string_view piece, std::size_t n) {
  std::string out;
  out.reserve(piece.size() * n);
  for (std::size_t i = 0; i < n; ++i) out += piece;
  return out;
}

// The text of a page read as the browser would: UTF-8, or Latin-1 for the
// pages that are not UTF-8.
inline std::string page_text(const std::filesystem::path& path) {
  std::string bytes = read_file(path);
  if (is_valid_utf8(bytes)) return bytes;
  std::string text;
  text.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      text.push_back(static_cast<char>(c));
    } else {
      text.push_back(static_cast<char>(0xC0 | (c >> 6)));
      text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return text;
}

// Seeded random markup: tags, attributes, references and stray characters.
class MarkupGenerator {
 public:
  explicit MarkupGenerator(std::uint64_t seed) : rng_(seed) {}

  std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }
  bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }
  template <class T, std::size_t N>
  const T& pick(const T (&items)[N]) {
    return items[below(N)];
  }

  std::string markup(std::size_t pieces) {
    static const char* const kTags[] = {
        "html", "head", "body", "title", "meta", "p", "div", "span", "br", "hr", "h1", "h2", "h6", "a", "img",
        "b", "em", "code", "pre", "blockquote", "ul", "ol", "li", "dl", "dd", "table", "tr", "td", "th",
        "form", "input", "select", "option", "textarea", "nav", "footer", "aside", "script", "style",
        "noscript", "template", "svg", "math", "mi", "iframe", "xmp", "plaintext", "BR", "IMG", "x-y", "a:b"};
    static const char* const kAttrs[] = {"class", "id", "style", "hidden", "href", "src", "alt", "title",
                                         "type", "checked", "lang", "dir", "name", "content", "property",
                                         "role", "colspan", "rowspan", "start", "", "=", "\"", "a b"};
    static const char* const kValues[] = {
        "", "x", "nav", "footer", "display:none", "true", "rtl", "description", "og:title", "checkbox", "0",
        "-1", "65535", "99999999999999999999", "http://e.x/a b?c&d", "javascript:x", "data:image/png;base64,A",
        "&amp;", "&#0;", "&#x110000;", "&bogus;", "\xC2\xA0", "\xF0\x9F\x98\x80", "a\nb", "<b>", "'"};
    static const char* const kTexts[] = {
        "hello", " ", "\n\n", "\t", "*", "_", "`", "```", "~~~", "# h", "> q", "- i", "1. i", "|", "[l](x)",
        "\\", "<", ">", "&", "&amp;", "&nbsp;", "&#65;", "&#xD800;", "&#1114112;", "&#;", "&notit;", "&amp",
        "\xC2\xA0", "\xE2\x80\x83", "\xE2\x80\x8B", "\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "\r\n",
        "\x0B", "\x7F", "<!-- c -->", "<!--", "-->", "<!DOCTYPE html>", "<![CDATA[x]]>", "<?x?>", "</>",
        "<3", "<a", "<img src=\"x", "/>", "<br/>", "<p/>", "</br>", "&#", "<script>a<b</script>"};
    std::string out;
    std::vector<std::string> open;
    for (std::size_t i = 0; i < pieces; ++i) {
      const double r = std::uniform_real_distribution<double>(0, 1)(rng_);
      if (r < 0.35) {
        const std::string tag = pick(kTags);
        out += "<" + tag;
        for (std::size_t a = below(4); a > 0; --a) {
          out += std::string(" ") + pick(kAttrs);
          if (chance(0.8)) out += std::string(chance(0.5) ? "=\"" : "='") + pick(kValues) + (chance(0.9) ? "\"" : "");
        }
        out += chance(0.15) ? "/>" : ">";
        open.push_back(tag);
      } else if (r < 0.55 && !open.empty()) {
        out += "</" + open.back() + ">";
        open.pop_back();
      } else {
        out += pick(kTexts);
      }
    }
    return out;
  }

  // One input of a fuzzing run: every fifth round a mutated slice of one of
  // `pages`, else random markup, mutated half the time.
  std::string input(const std::vector<std::string>& pages, int round) {
    if (!pages.empty() && round % 5 == 0) {
      const std::string& page = pages[below(pages.size())];
      const std::size_t a = chance(0.3) ? 0 : below(page.size());
      return mutate(page.substr(a, 1 + below(40000)), below(6));
    }
    std::string html = markup(1 + below(150));
    if (chance(0.5)) html = mutate(html, below(4));
    return html;
  }

  // Cuts, repeats and stray characters over `text`.
  std::string mutate(std::string text, std::size_t rounds) {
    static const char kStray[] = {'<', '&', '"', '\'', '>', '/', '!', '#', '\x01', '\0'};
    for (; rounds > 0; --rounds) {
      const std::size_t a = below(text.size() + 1);
      const std::size_t b = std::min(text.size(), a + 1 + below(200));
      switch (below(5)) {
        case 0: text.erase(a, b - a); break;
        case 1: text.insert(a, text.substr(a, b - a)); break;
        case 2: text.insert(a, markup(1 + below(6))); break;
        case 3: text.insert(text.begin() + static_cast<std::ptrdiff_t>(a), pick(kStray)); break;
        default: text.resize(a); break;
      }
    }
    // A cut may split a multi-byte character; the entry takes text.
    if (auto fixed = utf8_lossy_owned(text)) text = std::move(*fixed);
    return text;
  }

 private:
  std::mt19937_64 rng_;
};

}  // namespace tidewell::test
