// The parsed document: a flat arena of nodes addressed by NodeHandle, where
// every name, value and text is a byte range of the borrowed input.
//
// Both parser backends fill the same TlDom. The document is read-only once a
// parse has finished; all read operations below take it by const reference.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "common/cow_text.hpp"
#include "common/utf8.hpp"

namespace tidewell {

// ---------------------------------------------------------------------------
// Byte ranges and handles

// A byte range of the input: start offset and length.
struct ByteSpan {
  std::uint32_t start = 0;
  std::uint32_t len = 0;

  constexpr std::uint32_t end() const { return start + len; }
  constexpr bool empty() const { return len == 0; }
  friend constexpr bool operator==(ByteSpan, ByteSpan) = default;
};

// An optional byte range in the room of one: no range of an input below
// 4 GiB both starts and is as long as the largest offset, so that pair
// stands for none.
class OptionalSpan {
 public:
  constexpr OptionalSpan() = default;
  constexpr OptionalSpan(std::nullopt_t) {}                     // NOLINT: implicit on purpose
  constexpr OptionalSpan(ByteSpan s) : span_(s) {}              // NOLINT: implicit on purpose
  constexpr OptionalSpan(std::optional<ByteSpan> s) : span_(s ? *s : kNone) {}  // NOLINT: implicit on purpose
  constexpr bool has_value() const { return span_ != kNone; }
  constexpr explicit operator bool() const { return has_value(); }
  constexpr ByteSpan operator*() const { return span_; }
  constexpr const ByteSpan* operator->() const { return &span_; }
  constexpr operator std::optional<ByteSpan>() const {  // NOLINT: implicit on purpose
    return has_value() ? std::optional<ByteSpan>(span_) : std::nullopt;
  }
  friend constexpr bool operator==(OptionalSpan, OptionalSpan) = default;

 private:
  static constexpr ByteSpan kNone{0xFFFFFFFFu, 0xFFFFFFFFu};
  ByteSpan span_ = kNone;
};

// Index of a node in a document's arena; handles follow document order.
using NodeHandle = std::uint32_t;

// The parse's failure code.
enum class ParseError : std::uint8_t {
  InputTooLarge = 0,           // input of 4 GiB or more
  TokenArrayTooSmall = 1,      // asm_tl: token array still full at its largest size
  OpenStackTooSmall = 2,       // asm_tl: open-element stack still full at its largest size
  AttributeArrayTooSmall = 4,  // asm_tl: attribute array still full at its largest size
  UnsupportedDeclaration = 9,  // asm_tl: tokens the tree builder cannot place
};

// ---------------------------------------------------------------------------
// InlineVec: up to N items inline, then all of them on the heap; order is
// always preserved. Items must be trivially copyable. The heap pointer is
// kept in the inline bytes and the heap array's capacity in front of its
// items, so the vector needs only its items' room and a four-byte count.

template <typename T, std::size_t N>
class InlineVec {
  static_assert(std::is_trivially_copyable_v<T>, "InlineVec holds trivially copyable items");
  static_assert(N > 0);
  static_assert(sizeof(T) * N >= sizeof(T*), "the inline items must have room for the heap pointer");
  static_assert(alignof(T) <= alignof(std::uint32_t), "the heap items follow a four-byte capacity");

 public:
  InlineVec() noexcept {}
  ~InlineVec() { release(); }
  InlineVec(const InlineVec& other) { assign(other); }
  InlineVec(InlineVec&& other) noexcept { steal(other); }
  InlineVec& operator=(const InlineVec& other) {
    if (this != &other) {
      release();
      assign(other);
    }
    return *this;
  }
  InlineVec& operator=(InlineVec&& other) noexcept {
    if (this != &other) {
      release();
      steal(other);
    }
    return *this;
  }

  std::size_t size() const { return meta_ & kSizeMask; }
  bool empty() const { return size() == 0; }
  // True once the items have moved to the heap.
  bool spilled() const { return (meta_ & kHeapBit) != 0; }
  const T* data() const { return spilled() ? heap() : inline_; }
  T* data() { return spilled() ? heap() : inline_; }
  const T* begin() const { return data(); }
  const T* end() const { return data() + size(); }
  const T& operator[](std::size_t i) const { return data()[i]; }
  T& operator[](std::size_t i) { return data()[i]; }
  std::span<const T> as_span() const { return {data(), size()}; }

  void push_back(T item) {
    const std::size_t n = size();
    if (n == capacity()) grow(n * 2);
    data()[n] = item;
    ++meta_;
  }
  // Makes room for `n` items in total; above N the heap array gets exactly n.
  void reserve(std::size_t n) {
    if (n > capacity()) grow(n);
  }

 private:
  static constexpr std::uint32_t kHeapBit = 0x80000000u;
  static constexpr std::uint32_t kSizeMask = kHeapBit - 1;
  static constexpr std::size_t kHeader = sizeof(std::uint32_t);

  std::size_t capacity() const {
    if (!spilled()) return N;
    std::uint32_t cap = 0;
    std::memcpy(&cap, reinterpret_cast<const char*>(heap()) - kHeader, sizeof cap);
    return cap;
  }
  void grow(std::size_t new_cap) {
    if (new_cap > kSizeMask) throw std::bad_alloc();
    char* block = static_cast<char*>(std::malloc(kHeader + new_cap * sizeof(T)));
    if (block == nullptr) throw std::bad_alloc();
    const auto cap = static_cast<std::uint32_t>(new_cap);
    std::memcpy(block, &cap, sizeof cap);
    T* fresh = reinterpret_cast<T*>(block + kHeader);
    const std::size_t n = size();
    if (n != 0) std::memcpy(fresh, data(), n * sizeof(T));
    if (spilled()) free_heap();
    set_heap(fresh);
    meta_ |= kHeapBit;
  }
  T* heap() const {
    T* p = nullptr;
    std::memcpy(&p, inline_, sizeof p);
    return p;
  }
  void set_heap(T* p) { std::memcpy(inline_, &p, sizeof p); }
  void free_heap() { std::free(reinterpret_cast<char*>(heap()) - kHeader); }
  void release() {
    if (spilled()) free_heap();
    meta_ = 0;
  }
  void assign(const InlineVec& other) {
    meta_ = 0;
    const std::size_t n = other.size();
    if (n > N) {
      grow(n);
      std::memcpy(heap(), other.heap(), n * sizeof(T));
    } else {
      std::memcpy(inline_, other.data(), n * sizeof(T));
    }
    meta_ = (meta_ & kHeapBit) | static_cast<std::uint32_t>(n);
  }
  void steal(InlineVec& other) {
    meta_ = other.meta_;
    std::memcpy(inline_, other.inline_, sizeof(inline_));
    other.meta_ = 0;
  }

  std::uint32_t meta_ = 0;  // the size, and kHeapBit once the items are on the heap
  // The items, or the heap pointer once spilled; zeroed, so whole-array
  // copies never read indeterminate bytes.
  T inline_[N]{};
};

// ---------------------------------------------------------------------------
// Attributes

// One stored attribute: name and optional value, both spans of the input.
struct AttributeEntry {
  ByteSpan name;
  std::optional<ByteSpan> value;
};

// An element's attribute map (all attributes but exact "id" and "class").
//
// The entries live in TlDom::attribute_pool at [first, first + count).
// Behaviour follows an inline map of `TlDom::attribute_inline_capacity`
// entries that moves to a hash map on overflow:
//  - not moved (at most capacity inserts): entries in insertion order,
//    repeated names stored repeatedly; a lookup returns the first match.
//  - moved (more inserts than the capacity): names are unique, the later
//    value wins; each name keeps the position of its FIRST occurrence, so
//    iteration is insertion order of first occurrences. Deterministic:
//    no seeded hashing is involved.
struct InlineHashMap {
  std::uint32_t first = 0;
  std::uint32_t count : 31 = 0;
  std::uint32_t moved : 1 = 0;

  std::size_t size() const { return count; }
  bool empty() const { return count == 0; }
};

// Children inline capacity: a storage choice only.
inline constexpr std::size_t kChildrenInline = 4;

inline constexpr std::uint32_t kNoIdClass = 0xFFFFFFFFu;

// An element's last exact "id" and "class" attributes, each absent when
// valueless.
struct IdClass {
  OptionalSpan id;
  OptionalSpan class_;
};

// ---------------------------------------------------------------------------
// Nodes

struct TlNode {
  struct Tag {
    InlineHashMap attributes;
    // The element's id and class (TlDom::id_of, TlDom::class_of) live in
    // TlDom::id_class, as most elements have neither: this indexes them,
    // kNoIdClass when the element has none.
    std::uint32_t id_class = kNoIdClass;
    InlineVec<NodeHandle, kChildrenInline> children;
    ByteSpan name;  // as written, case preserved
  };
  struct Raw {
    ByteSpan text;  // input bytes between two pieces of markup; never empty
  };
  struct Comment {
    ByteSpan text;  // "<!--" through "-->"; backend-specific when unterminated
  };

  TlNode() = default;
  // Built in place, so that no half-read variant is ever moved.
  TlNode(Tag tag) : data(std::in_place_type<Tag>, std::move(tag)) {}             // NOLINT: implicit on purpose
  TlNode(Raw raw) : data(std::in_place_type<Raw>, raw) {}                         // NOLINT: implicit on purpose
  TlNode(Comment comment) : data(std::in_place_type<Comment>, comment) {}         // NOLINT: implicit on purpose

  std::variant<Tag, Raw, Comment> data;

  bool is_tag() const { return data.index() == 0; }
  bool is_raw() const { return data.index() == 1; }
  bool is_comment() const { return data.index() == 2; }
  const Tag* as_tag() const { return std::get_if<Tag>(&data); }
  Tag* as_tag() { return std::get_if<Tag>(&data); }
  const Raw* as_raw() const { return std::get_if<Raw>(&data); }
  const Comment* as_comment() const { return std::get_if<Comment>(&data); }
};

// ---------------------------------------------------------------------------
// The document

struct TlDom {
  TlDom() = default;
  explicit TlDom(std::string_view in) : input(in) {}

  std::string_view input;               // borrowed; must outlive the document
  std::size_t pos = 0;                  // parse position
  std::vector<NodeHandle> open_stack;   // open elements, innermost last
  std::vector<TlNode> nodes;            // the arena, indexed by NodeHandle
  std::vector<NodeHandle> top_level;    // nodes created while open_stack was empty

  // Storage of every element's attribute map (see InlineHashMap).
  std::vector<AttributeEntry> attribute_pool;
  // The id and class of the elements that have one (see Tag::id_class).
  std::vector<IdClass> id_class;
  // Inline capacity of the attribute maps: 8 (copperfern-tl) or 4 (asm_tl).
  // Set by the backend before it stores attributes.
  std::uint8_t attribute_inline_capacity = 8;

  // --- reading ---
  std::string_view bytes(ByteSpan s) const { return std::string_view(input.data() + s.start, s.len); }
  std::size_t size() const { return nodes.size(); }
  bool contains(NodeHandle h) const { return h < nodes.size(); }
  // nullptr for a handle out of range or a node of another kind.
  const TlNode* node(NodeHandle h) const { return h < nodes.size() ? &nodes[h] : nullptr; }
  const TlNode::Tag* tag(NodeHandle h) const { return h < nodes.size() ? nodes[h].as_tag() : nullptr; }
  OptionalSpan id_of(const TlNode::Tag& tag) const {
    return tag.id_class == kNoIdClass ? OptionalSpan() : id_class[tag.id_class].id;
  }
  OptionalSpan class_of(const TlNode::Tag& tag) const {
    return tag.id_class == kNoIdClass ? OptionalSpan() : id_class[tag.id_class].class_;
  }
  std::span<const AttributeEntry> entries(const InlineHashMap& m) const {
    return {attribute_pool.data() + m.first, m.count};
  }

  // --- building (used by the backends) ---
  // Appends a node to the arena and returns its handle (not registered):
  // for a document built by hand, the backends build theirs in place.
  NodeHandle append_node(TlNode node) {
    nodes.push_back(std::move(node));
    return static_cast<NodeHandle>(nodes.size() - 1);
  }
  // Starts the attribute map of an element that is being built.
  void begin_attributes(TlNode::Tag& tag) {
    tag.attributes = InlineHashMap{static_cast<std::uint32_t>(attribute_pool.size()), 0, false};
  }
  // Stores one attribute by the storage rule: exact "id" and "class"
  // replace their slots (absent when valueless); anything else is
  // appended to the map. Attributes must be stored in source order,
  // between begin_attributes and seal_attributes of the same element.
  void store_attribute(TlNode::Tag& tag, ByteSpan name, std::optional<ByteSpan> value) {
    const char* p = input.data() + name.start;
    if (name.len == 2 && p[0] == 'i' && p[1] == 'd') {
      if (value || tag.id_class != kNoIdClass) id_class_slots(tag).id = value;
    } else if (name.len == 5 && std::memcmp(p, "class", 5) == 0) {
      if (value || tag.id_class != kNoIdClass) id_class_slots(tag).class_ = value;
    } else {
      attribute_pool.push_back(AttributeEntry{name, value});
      ++tag.attributes.count;
    }
  }
  // Finishes the map: more inserts than the inline capacity turn it into
  // the moved form (unique names, later value wins, first position kept).
  void seal_attributes(TlNode::Tag& tag) {
    if (tag.attributes.count > attribute_inline_capacity) move_attribute_map(tag.attributes);
  }
  // Forgets the attributes of an element that is being discarded.
  void drop_attributes(TlNode::Tag& tag) {
    attribute_pool.resize(tag.attributes.first);
    tag.attributes.count = 0;
  }

 private:
  IdClass& id_class_slots(TlNode::Tag& tag) {
    if (tag.id_class == kNoIdClass) {
      tag.id_class = static_cast<std::uint32_t>(id_class.size());
      id_class.emplace_back();
    }
    return id_class[tag.id_class];
  }
  void move_attribute_map(InlineHashMap& map);
};

// ---------------------------------------------------------------------------
// Attribute access

// The three answers of an attribute lookup.
struct AttributeLookup {
  enum class State : std::uint8_t { NotFound, NoValue, Value };
  State state = State::NotFound;
  ByteSpan value;  // meaningful when state == Value

  bool found() const { return state != State::NotFound; }
  bool has_value() const { return state == State::Value; }
  // The value's bytes when present.
  std::optional<std::string_view> value_bytes(const TlDom& dom) const {
    if (state != State::Value) return std::nullopt;
    return dom.bytes(value);
  }
};

// Looks `name` up in the element's attribute map only (never id/class slots).
AttributeLookup attribute_map_get(const TlDom& dom, const TlNode::Tag& tag, std::string_view name);
// The lookup for one attribute: exact "id"/"class" read their slots (found
// only with a value); anything else goes to attribute_map_get.
AttributeLookup attributes_get(const TlDom& dom, const TlNode::Tag& tag, std::string_view name);
// Convenience: the raw value bytes of attributes_get, when it has a value.
inline std::optional<std::string_view> attribute_value(const TlDom& dom, const TlNode::Tag& tag,
                                                       std::string_view name) {
  return attributes_get(dom, tag, name).value_bytes(dom);
}

// One attribute as text (invalid UTF-8 replaced by U+FFFD).
struct AttributePair {
  CowText name;
  std::optional<CowText> value;
};

// Iterates over all attributes: the map's entries in its order, then
// ("id", value) and ("class", value) when those slots hold a value.
class AttributeIter {
 public:
  AttributeIter(const TlDom& dom, const TlNode::Tag& tag);
  // The next pair, or nullopt at the end (and forever after).
  std::optional<AttributePair> next();

 private:
  const TlDom* dom_;
  std::span<const AttributeEntry> entries_;
  std::size_t index_ = 0;
  std::optional<CowText> id_;
  std::optional<CowText> class_;
  std::uint8_t tail_ = 0;  // 0: map entries, 1: id, 2: class, 3: done
};

inline AttributeIter attributes_iter(const TlDom& dom, const TlNode::Tag& tag) { return AttributeIter(dom, tag); }

// The element's one child that is neither a comment nor text of ASCII white
// space, when it has exactly one such child. Stops at the second one.
std::optional<NodeHandle> sole_child(const TlDom& dom, const TlNode::Tag& tag);

// What a reader meets beside `siblings[index]` (before it, or after it with
// `after`), comments skipped: the nearest byte of a text sibling, '\0' for
// an element, nullopt for nothing. Text of ASCII white space with nothing
// else beyond it counts as nothing (it moves out of the enclosing element);
// with something beyond it, it is a ' '.
std::optional<char> byte_beside(const TlDom& dom, std::span<const NodeHandle> siblings, std::size_t index,
                                bool after);

// Whether every sibling before `siblings[index]` (after it, with `after`) is
// text or a comment.
bool only_text_beside(const TlDom& dom, std::span<const NodeHandle> siblings, std::size_t index, bool after);

// ---------------------------------------------------------------------------
// Text content

// Concatenated descendant text bytes in document order (comments skipped,
// nothing decoded, nothing inserted). Each text run is repaired as UTF-8 on
// its own. Borrowed from the input when it is the bytes of a single valid
// text node. Iterative: any nesting depth is fine.
CowText inner_text(const TlNode::Tag& tag, const TlDom& dom);

}  // namespace tidewell
