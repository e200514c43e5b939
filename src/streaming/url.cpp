#include "streaming/url.hpp"

#include "common/ascii.hpp"
#include "common/scan.hpp"

namespace tidewell::streaming {
namespace {

bool is_ignored(unsigned char c) { return c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

std::string_view trim_url(std::string_view url) {
  std::size_t begin = 0;
  std::size_t end = url.size();
  while (begin < end && static_cast<unsigned char>(url[begin]) <= 0x20) ++begin;
  while (end > begin && static_cast<unsigned char>(url[end - 1]) <= 0x20) --end;
  return url.substr(begin, end - begin);
}

bool scheme_matches(std::string_view url, std::string_view scheme) {
  std::size_t k = 0;
  for (std::size_t i = 0; i < url.size() && k < scheme.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(url[i]);
    if (is_ignored(c)) continue;
    if (ascii_lower(static_cast<char>(c)) != scheme[k]) return false;
    ++k;
  }
  return k == scheme.size();
}

bool is_data_url(std::string_view url) { return scheme_matches(trim_url(url), "data:"); }

std::optional<std::string> resolve_url(std::string_view url) {
  if (url.size() >= 2 && url[0] == '/' && url[1] == '/') return "https:" + std::string(url);
  return std::nullopt;
}

std::string resolved_url(std::string_view url) {
  auto resolved = resolve_url(url);
  return resolved ? std::move(*resolved) : std::string(url);
}

bool is_allowed_url(std::string_view url) {
  const std::string_view t = trim_url(url);
  if (t.empty()) return false;
  for (const char ch : t) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (is_ignored(c)) continue;
    if (c == '#' || c == '/' || c == '?') return true;
    if (c == ':') {
      switch (ascii_lower(t[0])) {
        case 'f': return scheme_matches(t, "ftp:");
        case 'h': return scheme_matches(t, "http:") || scheme_matches(t, "https:");
        case 'm': return scheme_matches(t, "mailto:");
        case 't': return scheme_matches(t, "tel:");
        default: return false;
      }
    }
    if (scan::is_letter(c) || scan::is_digit(c) || c == '+' || c == '-' || c == '.') continue;
    return true;
  }
  return true;
}

bool is_autolink_candidate(std::string_view url) {
  const bool prefixed = url.starts_with("http://") || url.starts_with("https://") || url.starts_with("ftp://") ||
                        url.starts_with("mailto:");
  if (!prefixed) return false;
  return url.find_first_of("\t\n\r <>") == std::string_view::npos;
}

std::optional<std::string> resolve_attribute_url(std::string_view url) {
  if (!is_allowed_url(url)) return std::nullopt;
  std::string resolved = resolved_url(url);
  if (!is_allowed_url(resolved)) return std::nullopt;
  return resolved;
}

}  // namespace tidewell::streaming
