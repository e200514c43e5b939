// URL tests and rewrites of the streaming converter. No base URL is
// configured and no query is changed: protocol-relative URLs get "https:",
// everything else is written as it stands.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tidewell::streaming {

// The URL without leading and trailing bytes up to 0x20.
std::string_view trim_url(std::string_view url);

// A "data:" URL (ASCII case-insensitive, tab, line feed and carriage return
// skipped, leading and trailing blanks trimmed).
bool is_data_url(std::string_view url);

// The URL to write: "https:" + url for a protocol-relative one ("//..."),
// nullopt when the URL stays as it is.
std::optional<std::string> resolve_url(std::string_view url);

// The URL to write, owned.
std::string resolved_url(std::string_view url);

// The URL starts with `scheme` (its colon included), ASCII letters compared
// case-insensitively, tab, line feed and carriage return skipped.
bool scheme_matches(std::string_view url, std::string_view scheme);

// Relative, or one of http:, https:, mailto:, tel:, ftp:.
bool is_allowed_url(std::string_view url);

// May be written as "<url>": starts exactly with "http://", "https://",
// "ftp://" or "mailto:" and holds no tab, line feed, carriage return, space,
// '<' or '>'.
bool is_autolink_candidate(std::string_view url);

// The URL gate of links written as HTML: nullopt when not allowed, else the
// URL to write.
std::optional<std::string> resolve_attribute_url(std::string_view url);

}  // namespace tidewell::streaming
