// Misnested end tags, shared by both parser backends.
//
// An end tag closes the element on top of the open elements when the names
// match. A browser lets the end tag of a block, list, table or section
// element close one open further down as well, together with everything
// above it ("<li><div>a</li>" closes the div and the item), unless a scope
// boundary stands between them (a table cell, a table, ...); other end tags
// (formatting elements, unknown names) keep closing the top alone.
//
// OpenScopes keeps, for each of those names, the innermost open element, so
// an end tag finds what it closes in constant time whatever the depth, and
// a stray one costs nothing. Its entries live in storage the caller owns:
// one entry per open element whose name it tracks, in stack order. The same
// probe of a start tag's name tells the parsers whether the element is void
// or holds raw text, so that tracking costs them no lookup of its own.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "common/tags.hpp"
#include "html_parser/tag_name.hpp"

namespace tidewell {

struct ScopeEntry {
  std::uint32_t depth;     // position of the element in the open-element stack
  std::uint32_t previous;  // entry of the next open element of the same name further down
  TagId id;
};

namespace end_tag_scope {

using tag_name::lower_packed;
using tag_name::pack;

// What a name is to misnested end tags.
inline constexpr std::uint8_t kClosable = 1u << 0;        // its end tag closes it below the top
inline constexpr std::uint8_t kTableScope = 1u << 1;      // looked up in table scope
inline constexpr std::uint8_t kListScope = 1u << 2;       // looked up in list-item scope
inline constexpr std::uint8_t kButtonScope = 1u << 3;     // looked up in button scope
inline constexpr std::uint8_t kBoundary = 1u << 4;        // bounds the ordinary, list-item and button scopes
inline constexpr std::uint8_t kTableBoundary = 1u << 5;   // bounds the table scope
inline constexpr std::uint8_t kListBoundary = 1u << 6;    // bounds the list-item scope too
inline constexpr std::uint8_t kButtonBoundary = 1u << 7;  // bounds the button scope too

inline constexpr std::uint8_t kAnyBoundary = kBoundary | kTableBoundary | kListBoundary | kButtonBoundary;
inline constexpr std::uint8_t kInScope = kClosable;
inline constexpr std::uint8_t kInTableScope = kClosable | kTableScope;

// What a start tag is to the parsers besides its role.
inline constexpr std::uint8_t kVoid = 1u << 0;          // never left open
inline constexpr std::uint8_t kVoidToAsmTl = 1u << 1;   // "command": left open by copperfern-tl only
inline constexpr std::uint8_t kRawTextScript = 1u << 2;  // its content is text up to its end tag
inline constexpr std::uint8_t kRawTextStyle = 1u << 3;

struct Name {
  std::string_view text;  // lower case
  TagId id;
  std::uint8_t role;
  std::uint8_t start = 0;  // what the start tag is besides its role
};

inline constexpr Name kNames[] = {
    // Block end tags: closed in the ordinary scope.
    {"address", TagId::Address, kInScope},
    {"article", TagId::Article, kInScope},
    {"aside", TagId::Aside, kInScope},
    {"blockquote", TagId::Blockquote, kInScope},
    {"center", TagId::Center, kInScope},
    {"details", TagId::Details, kInScope},
    {"dialog", TagId::Dialog, kInScope},
    {"dir", TagId::Dir, kInScope},
    {"div", TagId::Div, kInScope},
    {"dl", TagId::Dl, kInScope},
    {"fieldset", TagId::Fieldset, kInScope},
    {"figcaption", TagId::Figcaption, kInScope},
    {"figure", TagId::Figure, kInScope},
    {"footer", TagId::Footer, kInScope},
    {"header", TagId::Header, kInScope},
    {"hgroup", TagId::Hgroup, kInScope},
    {"listing", TagId::Listing, kInScope},
    {"main", TagId::Main, kInScope},
    {"menu", TagId::Menu, kInScope},
    {"nav", TagId::Nav, kInScope},
    {"ol", TagId::Ol, kInScope | kListBoundary},
    {"pre", TagId::Pre, kInScope},
    {"search", TagId::Search, kInScope},
    {"section", TagId::Section, kInScope},
    {"summary", TagId::Summary, kInScope},
    {"ul", TagId::Ul, kInScope | kListBoundary},
    {"dd", TagId::Dd, kInScope},
    {"dt", TagId::Dt, kInScope},
    {"h1", TagId::H1, kInScope},
    {"h2", TagId::H2, kInScope},
    {"h3", TagId::H3, kInScope},
    {"h4", TagId::H4, kInScope},
    {"h5", TagId::H5, kInScope},
    {"h6", TagId::H6, kInScope},
    {"li", TagId::Li, kClosable | kListScope},
    {"p", TagId::P, kClosable | kButtonScope},
    {"button", TagId::Button, kInScope | kButtonBoundary},
    // Table parts: closed in table scope.
    {"table", TagId::Table, kInTableScope | kBoundary | kTableBoundary},
    {"caption", TagId::Caption, kInTableScope | kBoundary},
    {"td", TagId::Td, kInTableScope | kBoundary},
    {"th", TagId::Th, kInTableScope | kBoundary},
    {"tbody", TagId::Tbody, kInTableScope},
    {"thead", TagId::Thead, kInTableScope},
    {"tfoot", TagId::Tfoot, kInTableScope},
    {"tr", TagId::Tr, kInTableScope},
    // Boundaries alone.
    {"html", TagId::Html, kBoundary | kTableBoundary},
    {"template", TagId::Template, kBoundary | kTableBoundary},
    {"applet", TagId::Applet, kBoundary},
    {"marquee", TagId::Marquee, kBoundary},
    {"object", TagId::Object, kBoundary},
    // Start tags that are never left open, or whose content is raw text.
    {"area", TagId::Area, 0, kVoid},
    {"base", TagId::Base, 0, kVoid},
    {"br", TagId::Br, 0, kVoid},
    {"col", TagId::Col, 0, kVoid},
    {"embed", TagId::Embed, 0, kVoid},
    {"hr", TagId::Hr, 0, kVoid},
    {"img", TagId::Img, 0, kVoid},
    {"input", TagId::Input, 0, kVoid},
    {"keygen", TagId::Keygen, 0, kVoid},
    {"link", TagId::Link, 0, kVoid},
    {"meta", TagId::Meta, 0, kVoid},
    {"param", TagId::Param, 0, kVoid},
    {"source", TagId::Source, 0, kVoid},
    {"track", TagId::Track, 0, kVoid},
    {"wbr", TagId::Wbr, 0, kVoid},
    {"command", TagId::Command, 0, kVoidToAsmTl},
    {"script", TagId::Script, 0, kRawTextScript},
    {"style", TagId::Style, 0, kRawTextStyle},
};

constexpr std::array<std::uint8_t, kTagIdCount> make_roles() {
  std::array<std::uint8_t, kTagIdCount> roles{};
  for (const Name& name : kNames) roles[static_cast<std::size_t>(name.id)] = name.role;
  return roles;
}
inline constexpr std::array<std::uint8_t, kTagIdCount> kRoles = make_roles();

// The elements that bound some scope.
constexpr std::size_t count_boundaries() {
  std::size_t n = 0;
  for (const Name& name : kNames) n += (name.role & kAnyBoundary) != 0;
  return n;
}
constexpr std::array<TagId, count_boundaries()> make_boundaries() {
  std::array<TagId, count_boundaries()> ids{};
  std::size_t n = 0;
  for (const Name& name : kNames) {
    if ((name.role & kAnyBoundary) != 0) ids[n++] = name.id;
  }
  return ids;
}
inline constexpr std::array<TagId, count_boundaries()> kBoundaries = make_boundaries();

// The names by a multiplicative hash of their first eight bytes, without
// collisions (checked below): one probe finds a name, for every tag the
// parsers read.
struct Slot {
  std::uint64_t key = 0;    // the first eight bytes, packed
  std::uint16_t tail = 0;   // the bytes after them (two at most), packed
  std::uint8_t length = 0;
  TagId tracked = TagId::Unknown;  // the id of a name with a role
  std::uint8_t start = 0;
};

inline constexpr unsigned kSlotBits = 8;
constexpr std::size_t slot_of(std::uint64_t key) { return (key * 0xde7f85638dcedd3dull) >> (64 - kSlotBits); }

constexpr std::array<Slot, std::size_t{1} << kSlotBits> make_slots() {
  std::array<Slot, std::size_t{1} << kSlotBits> slots{};
  for (const Name& name : kNames) {
    const std::string_view head = name.text.substr(0, 8);
    const std::string_view tail = name.text.size() > 8 ? name.text.substr(8) : std::string_view();
    Slot& slot = slots[slot_of(pack(head))];
    // A second name in a slot empties it: caught below.
    slot = slot.length == 0 ? Slot{pack(head), static_cast<std::uint16_t>(pack(tail)),
                                   static_cast<std::uint8_t>(name.text.size()),
                                   name.role != 0 ? name.id : TagId::Unknown, name.start}
                            : Slot{};
  }
  return slots;
}
inline constexpr std::array<Slot, std::size_t{1} << kSlotBits> kSlots = make_slots();

constexpr bool every_name_has_its_slot() {
  for (const Name& name : kNames) {
    if (name.text.size() > 10 || name.text.size() == 9) return false;
    const Slot& slot = kSlots[slot_of(pack(name.text.substr(0, 8)))];
    if (slot.length != name.text.size() || slot.start != name.start) return false;
    if (slot.tracked != (name.role != 0 ? name.id : TagId::Unknown)) return false;
  }
  return true;
}
static_assert(every_name_has_its_slot());

}  // namespace end_tag_scope

class OpenScopes {
 public:
  OpenScopes() { innermost_.fill(kNone); }

  // What a start tag's name (ASCII case ignored) is to the parsers: the id
  // its elements are tracked by (Unknown for none), and its end_tag_scope
  // start bits.
  struct StartTag {
    TagId tracked = TagId::Unknown;
    std::uint8_t start = 0;
  };
  static StartTag start_tag(const FoldedName& name) {
    using namespace end_tag_scope;
    const std::size_t n = name.text.size();
    if (n == 0 || n > 10 || n == 9) return {};
    const Slot& slot = kSlots[slot_of(name.head)];
    if (slot.key != name.head || slot.length != n) return {};
    if (n == 10 && lower_packed(name.text.substr(8)) != slot.tail) return {};
    return {slot.tracked, slot.start};
  }

  // The id of a name whose elements get an entry, or Unknown.
  static TagId tracked_id(std::string_view name) { return start_tag(FoldedName(name)).tracked; }

  std::uint32_t count() const { return count_; }

  // Records the element named `id` (tracked) just opened at stack position
  // `depth`; `entries` has room for count() + 1 entries.
  void opened(ScopeEntry* entries, TagId id, std::uint32_t depth) {
    std::uint32_t& innermost = innermost_[static_cast<std::size_t>(id)];
    entries[count_] = ScopeEntry{depth, innermost, id};
    innermost = count_++;
  }

  // Forgets the elements at stack position `depth` and above, once they are
  // popped.
  void closed_to(const ScopeEntry* entries, std::uint32_t depth) {
    while (count_ > 0 && entries[count_ - 1].depth >= depth) {
      const ScopeEntry& e = entries[--count_];
      innermost_[static_cast<std::size_t>(e.id)] = e.previous;
    }
  }

  // The stack position of the element that an end tag named `id` closes
  // when it is not the top one: the innermost open element of that name,
  // when no boundary of the name's scope is open above it; nullopt when the
  // end tag closes nothing there.
  std::optional<std::uint32_t> target(const ScopeEntry* entries, TagId id) const {
    using namespace end_tag_scope;
    const std::uint8_t role = kRoles[static_cast<std::size_t>(id)];
    if ((role & kClosable) == 0) return std::nullopt;
    const std::uint32_t at = innermost_[static_cast<std::size_t>(id)];
    if (at == kNone) return std::nullopt;
    const std::uint32_t depth = entries[at].depth;
    // The boundaries of the kind of scope the name is looked up in.
    std::uint8_t bound = (role & kTableScope) != 0 ? kTableBoundary : kBoundary;
    if ((role & kListScope) != 0) bound |= kListBoundary;
    if ((role & kButtonScope) != 0) bound |= kButtonBoundary;
    for (TagId b : kBoundaries) {
      if ((kRoles[static_cast<std::size_t>(b)] & bound) == 0) continue;
      const std::uint32_t open = innermost_[static_cast<std::size_t>(b)];
      if (open != kNone && entries[open].depth > depth) return std::nullopt;
    }
    return depth;
  }

  // The stack position an end tag named `name` (as written) closes to, the
  // top element being at `top`: the top element when it has that name, else
  // target()'s element when it has that name too; nullopt when the end tag
  // closes nothing. `same(depth)` tells whether the element at stack
  // position `depth` is named `name`, byte for byte.
  template <typename SameName>
  std::optional<std::uint32_t> closed_by(const ScopeEntry* entries, std::uint32_t top, std::string_view name,
                                         SameName same) const {
    if (same(top)) return top;
    const std::optional<std::uint32_t> depth = target(entries, tracked_id(name));
    if (depth && same(*depth)) return depth;
    return std::nullopt;
  }

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  std::array<std::uint32_t, kTagIdCount> innermost_;  // entry of the innermost open element per name
  std::uint32_t count_ = 0;
};

}  // namespace tidewell
