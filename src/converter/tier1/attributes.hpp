// Reading the attributes of one start tag in the single-pass scanner.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "common/ascii.hpp"

namespace tidewell {

struct Tier1Attribute {
  std::string_view name;
  std::optional<std::string_view> value;  // raw bytes, references not decoded
};

// Iterates the attributes between the end of a tag name and the tag's '>'.
// An unquoted value ends only at ASCII white space or '>' (a '/' belongs to
// it, so "href=/a/b" keeps its slashes), as the document parser reads it.
class Tier1AttributeLexer {
 public:
  explicit Tier1AttributeLexer(std::string_view region) : region_(region) {}

  // The next attribute, or nullopt at the end of the attributes.
  std::optional<Tier1Attribute> next();

  // After next() gave nullopt: true when the reading stopped at a '/' that
  // ends the region, i.e. the tag is written self-closing ("<p />").
  bool ended_self_closing() const { return stopped_ + 1 == region_.size() && region_[stopped_] == '/'; }

 private:
  std::string_view region_;
  std::size_t pos_ = 0;
  std::size_t stopped_ = static_cast<std::size_t>(-1);
};

// The first attribute named `name` (ASCII case ignored) in `region`.
std::optional<Tier1Attribute> find_tier1_attribute(std::string_view region, std::string_view name);

// The first attribute of each of `names` (lower case; ASCII case ignored in
// the region), in one pass.
template <std::size_t N>
std::array<std::optional<Tier1Attribute>, N> find_tier1_attributes(std::string_view region,
                                                                    const std::array<std::string_view, N>& names) {
  std::array<std::optional<Tier1Attribute>, N> found;
  Tier1AttributeLexer lexer(region);
  while (auto attribute = lexer.next()) {
    for (std::size_t i = 0; i < N; ++i) {
      if (!found[i] && ascii_iequals(attribute->name, names[i])) found[i] = attribute;
    }
  }
  return found;
}

}  // namespace tidewell
