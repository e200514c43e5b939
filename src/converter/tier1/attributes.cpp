#include "converter/tier1/attributes.hpp"

#include "common/ascii.hpp"
#include "common/scan.hpp"

namespace tidewell {
namespace {

// A form feed belongs to an attribute name.
bool ends_name(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == '/' || c == '=' || c == '>'; }

}  // namespace

std::optional<Tier1Attribute> Tier1AttributeLexer::next() {
  const std::size_t n = region_.size();
  while (pos_ < n && scan::is_ws(region_[pos_])) ++pos_;
  if (pos_ >= n || region_[pos_] == '>' || region_[pos_] == '/') {
    stopped_ = pos_;
    return std::nullopt;
  }
  const std::size_t name_start = pos_;
  while (pos_ < n && !ends_name(region_[pos_])) ++pos_;
  if (pos_ == name_start) {
    stopped_ = pos_;
    return std::nullopt;
  }
  Tier1Attribute attribute{region_.substr(name_start, pos_ - name_start), std::nullopt};
  std::size_t p = pos_;
  while (p < n && scan::is_ws(region_[p])) ++p;
  if (p >= n || region_[p] != '=') return attribute;
  ++p;
  while (p < n && scan::is_ws(region_[p])) ++p;
  if (p >= n) {
    pos_ = n;
    return attribute;
  }
  const char quote = region_[p];
  if (quote == '"' || quote == '\'') {
    const std::size_t start = p + 1;
    std::size_t close = region_.find(quote, start);
    if (close == std::string_view::npos) close = n;
    attribute.value = region_.substr(start, close - start);
    pos_ = close < n ? close + 1 : n;
  } else {
    const std::size_t start = p;
    while (p < n && !scan::is_ws(region_[p]) && region_[p] != '>') ++p;
    attribute.value = region_.substr(start, p - start);
    pos_ = p;
  }
  return attribute;
}

std::optional<Tier1Attribute> find_tier1_attribute(std::string_view region, std::string_view name) {
  Tier1AttributeLexer lexer(region);
  while (auto attribute = lexer.next()) {
    if (ascii_iequals(attribute->name, name)) return attribute;
  }
  return std::nullopt;
}

}  // namespace tidewell
