// Selector grammar for `exclude_selectors`: a small subset of CSS (simple
// selectors, their concatenation, the selector list and the descendant and
// child combinators). Matching lives in queryselector.hpp.
//
// Every combinator takes the whole remaining text as its right operand, so a
// parsed selector is a right-leaning chain: simple selector, combinator, rest.
// It is stored flat, one `SimpleSelector` per link, which makes parsing,
// matching and destruction loops whatever the length of the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "options/options.hpp"

namespace tidewell::queryselector {

enum class SelectorKind : std::uint8_t {
  Tag,                      // the element's name equals `name`
  Id,                       // the element's id equals `name`
  Class,                    // `name` is one of the words of the class
  All,                      // every node
  And,                      // both operands match
  Or,                       // either operand matches
  Descendant,               // "a b": parsed, never matches
  Parent,                   // "a > b": parsed, never matches
  Attribute,                // [name]
  AttributeValue,           // [name=value]
  AttributeValueWord,       // [name~=value]
  AttributeValuePrefix,     // [name^=value]
  AttributeValueSuffix,     // [name$=value]
  AttributeValueSubstring,  // [name*=value]
};

// One link of the chain. `kind` is one of the simple kinds (never And, Or,
// Descendant or Parent). `combinator` (And, Or, Descendant or Parent) joins
// this simple selector, as the left operand, to the rest of the chain; it is
// meaningless on the last link. `name` and `value` point into the selector
// text, which must outlive the selector.
struct SimpleSelector {
  SelectorKind kind = SelectorKind::All;
  SelectorKind combinator = SelectorKind::And;
  std::string_view name;
  std::string_view value;
};

class Selector;

// Parses a selector text for the given backend; nullopt when it is invalid.
// copperfern-tl: `parse_selector` from the start. asm_tl: the shapes of
// `classify_simple_selector` directly, otherwise texts refused by
// `selector_simple_flags` are invalid and `parse_selector` decides the rest.
std::optional<Selector> parse_query_selector(
    std::string_view text, ParserBackend backend = ParserBackend::Copperfern);

// The full grammar, from byte `start` of `text` to its end. `backend` is only
// recorded in the result.
std::optional<Selector> parse_selector(
    std::string_view text, std::size_t start = 0,
    ParserBackend backend = ParserBackend::Copperfern);

class Selector {
 public:
  // The kind of the root of the tree: the combinator of the first link, or
  // the simple kind when the selector is a single simple selector.
  SelectorKind kind() const {
    return links_.size() == 1 ? links_[0].kind : links_[0].combinator;
  }
  // The chain, never empty.
  std::span<const SimpleSelector> links() const { return links_; }
  // The backend whose grammar produced the selector; it also decides how
  // class lists and "~=" values are split into words when matching.
  ParserBackend backend() const { return backend_; }

 private:
  friend std::optional<Selector> parse_selector(std::string_view, std::size_t,
                                                ParserBackend);
  friend std::optional<Selector> parse_query_selector(std::string_view,
                                                      ParserBackend);
  Selector() = default;
  std::vector<SimpleSelector> links_;
  ParserBackend backend_ = ParserBackend::Copperfern;
};

// Shapes of a whole selector text that asm_tl takes without parsing.
enum class SimpleShape : std::uint8_t {
  None = 0,      // anything else
  All = 1,       // "*"
  Tag = 2,       // name
  Id = 3,        // "#" name
  Class = 4,     // "." name
  TagId = 5,     // name "#" name
  TagClass = 6,  // name "." name
};

// The shape and the position of its "#" or "." (0 when it has none).
std::pair<SimpleShape, std::size_t> classify_simple_selector(
    std::string_view text);

// 0 when `text`, after its leading spaces, is empty or holds a space, ","
// or ">"; non-zero otherwise.
std::uint32_t selector_simple_flags(std::string_view text);

// Which bytes separate the words of a class list or a "~=" value.
enum class WordSeparators : std::uint8_t {
  HtmlSpaces,     // space, tab, line feed, form feed, carriage return
  AsciiSpaces,    // space and the bytes 0x09 to 0x0D
  UnicodeSpaces,  // every character with the White_Space property
};

// Byte tests of the attribute-value kinds (and of class lists). An empty word
// is never found; an empty prefix, suffix or needle always is.
bool contains_word(std::string_view haystack, std::string_view word,
                   WordSeparators separators);
bool starts_with_bytes(std::string_view haystack, std::string_view prefix);
bool ends_with_bytes(std::string_view haystack, std::string_view suffix);
bool contains_bytes(std::string_view haystack, std::string_view needle);

// Selector-name bytes: "+", "-", "/", "0"-"9", ":", "A"-"Z", "_", "a"-"z".
bool is_identifier_byte(unsigned char byte);

}  // namespace tidewell::queryselector
