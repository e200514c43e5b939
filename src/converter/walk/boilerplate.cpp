#include "converter/walk/boilerplate.hpp"

#include <algorithm>
#include <cstddef>
#include <optional>

#include "common/ascii.hpp"
#include "common/unicode_space.hpp"

namespace tidewell {
namespace {

// Longest word of any list; a longer token cannot match and is skipped
// without being normalised.
constexpr std::size_t kLongestWord = 17;  // "newsletter-signup"

// The token with ".", "/", ":" and "_" mapped to "-" and ASCII letters
// lower-cased, written into `buf` (at least kLongestWord bytes).
std::string_view normalise_token(std::string_view token, char* buf) {
  for (std::size_t i = 0; i < token.size(); ++i) {
    const char c = token[i];
    buf[i] = (c == '.' || c == '/' || c == ':' || c == '_') ? '-' : ascii_lower(c);
  }
  return {buf, token.size()};
}

bool value_has_token(std::string_view value, std::span<const std::string_view> words) {
  char buf[kLongestWord];
  std::size_t pos = skip_unicode_space(value, 0);
  while (pos < value.size()) {
    std::size_t end = pos;
    while (end < value.size() && space_len_at(value, end) == 0) ++end;
    const std::string_view token = value.substr(pos, end - pos);
    if (token.size() <= kLongestWord) {
      const std::string_view normalised = normalise_token(token, buf);
      if (std::find(words.begin(), words.end(), normalised) != words.end()) return true;
    }
    pos = skip_unicode_space(value, end);
  }
  return false;
}

// Whether `fragment` (ASCII lower case) occurs in `text` with the ASCII
// letters of `text` lower-cased.
bool contains_ascii_folded(std::string_view text, std::string_view fragment) {
  if (fragment.size() > text.size()) return false;
  const std::size_t last = text.size() - fragment.size();
  for (std::size_t i = 0; i <= last; ++i) {
    std::size_t k = 0;
    while (k < fragment.size() && ascii_lower(text[i + k]) == fragment[k]) ++k;
    if (k == fragment.size()) return true;
  }
  return false;
}

bool is_navigation_like(const TlDom& dom, const TlNode::Tag& element) {
  if (attribute_has_token(dom, element, "role", kNavigationRoles)) return true;
  const AttributeLookup label = attribute_map_get(dom, element, "aria-label");
  if (label.has_value()) {
    // Repairing invalid UTF-8 only turns non-ASCII bytes into U+FFFD, which
    // can neither be part of nor split an ASCII fragment, so the raw bytes
    // are searched directly.
    const std::string_view bytes = dom.bytes(label.value);
    for (std::string_view fragment : kNavigationLabelFragments) {
      if (contains_ascii_folded(bytes, fragment)) return true;
    }
  }
  return attribute_has_token(dom, element, "class", kNavigationClassIdWords) ||
         attribute_has_token(dom, element, "id", kNavigationClassIdWords);
}

}  // namespace

bool attribute_has_token(const TlDom& dom, const TlNode::Tag& element, std::string_view attribute_name,
                         std::span<const std::string_view> words) {
  std::optional<ByteSpan> span;
  if (attribute_name == "class") {
    span = dom.class_of(element);
  } else if (attribute_name == "id") {
    span = dom.id_of(element);
  } else {
    const AttributeLookup found = attribute_map_get(dom, element, attribute_name);
    if (found.has_value()) span = found.value;
  }
  if (!span || span->empty()) return false;
  const CowText value = utf8_lossy(dom.bytes(*span));
  return value_has_token(value.view(), words);
}

bool is_boilerplate_element(TagId tag, const TlDom& dom, const TlNode::Tag& element,
                            const PreprocessingOptions& options, bool wraps_page) {
  if (!options.enabled || options.preset == PreprocessingPreset::Minimal) return false;
  const bool aggressive = options.preset == PreprocessingPreset::Aggressive;
  if (tag == TagId::Form && options.remove_forms && !wraps_page) return true;
  if (tag == TagId::Noscript && aggressive) return true;
  if (!options.remove_navigation) return false;
  // The navigation test reads attributes only; it is made only where the
  // answer depends on it.
  if (tag == TagId::Nav) return true;
  if (tag == TagId::Header) return is_navigation_like(dom, element);
  if (tag == TagId::Footer || tag == TagId::Aside) return aggressive || is_navigation_like(dom, element);
  if (!aggressive) return false;
  return is_navigation_like(dom, element) || attribute_has_token(dom, element, "class", kCookieAdvertisingWords) ||
         attribute_has_token(dom, element, "id", kCookieAdvertisingWords);
}

}  // namespace tidewell
