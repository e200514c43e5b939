#include "html5/tags.hpp"

#include <array>
#include <cstring>

namespace tidewell::html5 {
namespace {

constexpr std::string_view kNames[] = {
    "",
#define TIDEWELL_HTML5_TAG_NAME(id, name) name,
    TIDEWELL_HTML5_TAGS(TIDEWELL_HTML5_TAG_NAME)
#undef TIDEWELL_HTML5_TAG_NAME
};

constexpr std::size_t kSlots = 512;

constexpr std::uint32_t name_hash(std::string_view s) {
  std::uint32_t h = 2166136261u;
  for (char c : s) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  return h;
}

// Open addressing over the known names; built once, read-only after.
struct Table {
  std::array<std::uint8_t, kSlots> slot{};
  constexpr Table() {
    for (std::size_t t = 1; t < kTagCount; ++t) {
      std::size_t i = name_hash(kNames[t]) & (kSlots - 1);
      while (slot[i] != 0) i = (i + 1) & (kSlots - 1);
      slot[i] = static_cast<std::uint8_t>(t);
    }
  }
};

constexpr Table kTable{};

}  // namespace

Tag lookup_tag(std::string_view name) {
  if (name.empty() || name.size() > 14) return Tag::Unknown;
  std::size_t i = name_hash(name) & (kSlots - 1);
  while (true) {
    const std::uint8_t t = kTable.slot[i];
    if (t == 0) return Tag::Unknown;
    const std::string_view known = kNames[t];
    if (known.size() == name.size() && std::memcmp(known.data(), name.data(), name.size()) == 0) {
      return static_cast<Tag>(t);
    }
    i = (i + 1) & (kSlots - 1);
  }
}

std::string_view tag_name(Tag tag) { return kNames[static_cast<std::size_t>(tag)]; }

}  // namespace tidewell::html5
