#include "converter/tier1/tag_table.hpp"

#include <array>
#include <cstddef>

#include "common/ascii.hpp"

namespace tidewell {
namespace {

struct Row {
  std::string_view name;
  Tier1Kind kind;
  bool is_void;
  bool is_block;
  Tier1CloseGroup group;
  std::uint8_t param;
};

using K = Tier1Kind;
using G = Tier1CloseGroup;

// A name that the project's vocabulary does not know finds no id, is left
// out of the lookup and stays refused.
constexpr Row kRows[] = {
    // Block containers: no markup of their own.
    {"address", K::Container, false, true, G::None, 0},
    {"article", K::Container, false, true, G::None, 0},
    {"aside", K::Container, false, true, G::None, 0},
    {"audio", K::Container, false, true, G::None, 0},
    {"body", K::Container, false, true, G::None, 0},
    {"colgroup", K::Container, false, true, G::None, 0},
    {"details", K::Container, false, true, G::None, 0},
    {"dialog", K::Container, false, true, G::None, 0},
    {"div", K::Container, false, true, G::None, 0},
    {"fieldset", K::Container, false, true, G::None, 0},
    {"figcaption", K::Container, false, true, G::None, 0},
    {"figure", K::Container, false, true, G::None, 0},
    {"footer", K::Container, false, true, G::None, 0},
    {"form", K::Container, false, true, G::None, 0},
    {"header", K::Container, false, true, G::None, 0},
    {"hgroup", K::Container, false, true, G::None, 0},
    {"html", K::Container, false, true, G::None, 0},
    {"legend", K::Container, false, true, G::None, 0},
    {"main", K::Container, false, true, G::None, 0},
    {"menu", K::Container, false, true, G::None, 0},
    {"nav", K::Container, false, true, G::None, 0},
    {"search", K::Container, false, true, G::None, 0},
    {"section", K::Container, false, true, G::None, 0},
    {"summary", K::Container, false, true, G::None, 0},
    {"video", K::Container, false, true, G::None, 0},
    {"base", K::Container, true, true, G::None, 0},
    {"col", K::Container, true, true, G::None, 0},
    {"p", K::Paragraph, false, true, G::Paragraph, 0},
    {"h1", K::Heading, false, true, G::None, 1},
    {"h2", K::Heading, false, true, G::None, 2},
    {"h3", K::Heading, false, true, G::None, 3},
    {"h4", K::Heading, false, true, G::None, 4},
    {"h5", K::Heading, false, true, G::None, 5},
    {"h6", K::Heading, false, true, G::None, 6},
    {"blockquote", K::Blockquote, false, true, G::None, 0},
    {"hr", K::Rule, true, true, G::None, 0},
    {"pre", K::Preformatted, false, true, G::None, 0},
    // Inline elements written as their content.
    {"abbr", K::Transparent, false, false, G::None, 0},
    {"bdi", K::Transparent, false, false, G::None, 0},
    {"bdo", K::Transparent, false, false, G::None, 0},
    {"button", K::Transparent, false, false, G::None, 0},
    {"canvas", K::Transparent, false, false, G::None, 0},
    {"cite", K::Transparent, false, false, G::None, 0},
    {"data", K::Transparent, false, false, G::None, 0},
    {"datalist", K::Transparent, false, false, G::None, 0},
    {"del", K::Transparent, false, false, G::None, 0},
    {"dfn", K::Transparent, false, false, G::None, 0},
    {"ins", K::Transparent, false, false, G::None, 0},
    {"kbd", K::Transparent, false, false, G::None, 0},
    {"label", K::Transparent, false, false, G::None, 0},
    {"map", K::Transparent, false, false, G::None, 0},
    {"mark", K::Transparent, false, false, G::None, 0},
    {"meter", K::Transparent, false, false, G::None, 0},
    {"optgroup", K::Transparent, false, false, G::None, 0},
    {"output", K::Transparent, false, false, G::None, 0},
    {"picture", K::Transparent, false, false, G::None, 0},
    {"progress", K::Transparent, false, false, G::None, 0},
    {"q", K::Transparent, false, false, G::None, 0},
    {"s", K::Transparent, false, false, G::None, 0},
    {"samp", K::Transparent, false, false, G::None, 0},
    {"select", K::Transparent, false, false, G::None, 0},
    {"small", K::Transparent, false, false, G::None, 0},
    {"span", K::Transparent, false, false, G::None, 0},
    {"strike", K::Transparent, false, false, G::None, 0},
    {"sub", K::Transparent, false, false, G::None, 0},
    {"sup", K::Transparent, false, false, G::None, 0},
    {"time", K::Transparent, false, false, G::None, 0},
    {"u", K::Transparent, false, false, G::None, 0},
    {"var", K::Transparent, false, false, G::None, 0},
    {"option", K::Transparent, false, false, G::Option, 0},
    {"area", K::Transparent, true, false, G::None, 0},
    {"embed", K::Transparent, true, false, G::None, 0},
    {"input", K::Transparent, true, false, G::None, 0},
    {"keygen", K::Transparent, true, false, G::None, 0},
    {"param", K::Transparent, true, false, G::None, 0},
    {"source", K::Transparent, true, false, G::None, 0},
    {"track", K::Transparent, true, false, G::None, 0},
    {"wbr", K::Transparent, true, false, G::None, 0},
    {"b", K::Strong, false, false, G::None, 0},
    {"strong", K::Strong, false, false, G::None, 0},
    {"em", K::Emphasis, false, false, G::None, 0},
    {"i", K::Emphasis, false, false, G::None, 0},
    {"code", K::Code, false, false, G::None, 0},
    {"br", K::LineBreak, true, false, G::None, 0},
    {"a", K::Anchor, false, false, G::None, 0},
    {"img", K::Image, true, false, G::None, 0},
    {"ul", K::List, false, true, G::None, 0},
    {"ol", K::List, false, true, G::None, 1},
    {"li", K::ListItem, false, true, G::ListItem, 0},
    {"table", K::Table, false, true, G::None, 0},
    {"thead", K::TableHead, false, true, G::None, 0},
    {"tbody", K::TableBody, false, true, G::None, 0},
    {"tfoot", K::TableFoot, false, true, G::None, 0},
    {"tr", K::TableRow, false, true, G::TableRow, 0},
    {"td", K::Cell, false, true, G::Cell, 0},
    {"th", K::Cell, false, true, G::Cell, 1},
    {"caption", K::Caption, false, true, G::None, 0},
    // Elements the scanner never converts.
    {"dd", K::Refused, false, false, G::None, 0},
    {"dl", K::Refused, false, false, G::None, 0},
    {"dt", K::Refused, false, false, G::None, 0},
    {"head", K::Refused, false, false, G::None, 0},
    {"iframe", K::Refused, false, false, G::None, 0},
    {"link", K::Refused, false, false, G::None, 0},
    {"meta", K::Refused, false, false, G::None, 0},
    {"noembed", K::Refused, false, false, G::None, 0},
    {"noframes", K::Refused, false, false, G::None, 0},
    {"noscript", K::Refused, false, false, G::None, 0},
    {"script", K::Refused, false, false, G::None, 0},
    {"style", K::Refused, false, false, G::None, 0},
    {"textarea", K::Refused, false, false, G::None, 0},
    {"title", K::Refused, false, false, G::None, 0},
    {"xmp", K::Refused, false, false, G::None, 0},
};
static_assert(sizeof(kRows) / sizeof(kRows[0]) == 112, "the scanner knows 112 names");

// The entries by name: an open-addressing table keyed by the name packed
// into two machine words, filled once from the rows (names the vocabulary
// does not know are left out). A lookup costs one hash and word compares.
class ByName {
 public:
  ByName() {
    for (const Row& row : kRows) {
      const TagId id = tag_id(row.name);
      if (id == TagId::Unknown) continue;
      tags_[count_] = Tier1Tag{id, row.kind, row.is_void, row.is_block, row.group, row.param};
      const Key key = pack(row.name);
      std::size_t slot = hash(key);
      while (slots_[slot].tag != nullptr) slot = (slot + 1) % kSlots;
      slots_[slot] = Slot{key, &tags_[count_]};
      ++count_;
    }
  }

  const Tier1Tag* find(std::string_view name, bool fold) const {
    if (name.empty() || name.size() > kMaxName) return nullptr;
    const Key key = pack(name, fold);
    for (std::size_t slot = hash(key);; slot = (slot + 1) % kSlots) {
      const Slot& s = slots_[slot];
      if (s.tag == nullptr) return nullptr;
      if (s.key == key) return s.tag;
    }
  }

 private:
  static constexpr std::size_t kMaxName = 15;
  static constexpr std::size_t kSlots = 256;  // more than twice the names: short probes

  struct Key {
    std::uint64_t lo = 0;
    std::uint64_t hi = 0;  // bytes 8..14, and the length in the top byte
    bool operator==(const Key&) const = default;
  };
  struct Slot {
    Key key;
    const Tier1Tag* tag = nullptr;
  };

  // Built in registers, byte by byte: a copy through memory would stall
  // the loads that follow it.
  static Key pack(std::string_view name, bool fold = false) {
    Key key;
    for (std::size_t i = 0; i < name.size(); ++i) {
      auto byte = static_cast<std::uint64_t>(static_cast<unsigned char>(name[i]));
      if (fold) byte |= static_cast<std::uint64_t>(byte - 'A' < 26) << 5;
      if (i < 8) {
        key.lo |= byte << (8 * i);
      } else {
        key.hi |= byte << (8 * (i - 8));
      }
    }
    key.hi |= static_cast<std::uint64_t>(name.size()) << 56;
    return key;
  }
  static std::size_t hash(const Key& key) {
    return static_cast<std::size_t>(((key.lo ^ (key.hi * 0x2545F4914F6CDD1DULL)) * 0x9E3779B97F4A7C15ULL) >> 56);
  }

  std::array<Tier1Tag, sizeof(kRows) / sizeof(kRows[0])> tags_{};
  std::array<Slot, kSlots> slots_{};
  std::size_t count_ = 0;
};

// Filled before main: the vocabulary it reads is a constant table.
const ByName kByName;

const ByName& by_name() { return kByName; }

}  // namespace

const Tier1Tag* lookup_tier1_tag(std::string_view lower_name) { return by_name().find(lower_name, false); }

const Tier1Tag* lookup_tier1_tag_ignore_case(std::string_view name) { return by_name().find(name, true); }

std::string_view ascii_lowercase_into(std::string_view name, char (&buffer)[32]) {
  const std::size_t len = name.size() < sizeof(buffer) ? name.size() : sizeof(buffer);
  for (std::size_t i = 0; i < len; ++i) buffer[i] = ascii_lower(name[i]);
  return {buffer, len};
}

}  // namespace tidewell
