// Selector grammar: tokenising and parsing a selector text into its chain,
// the asm_tl shortcuts, and the byte tests used when matching.
#include <array>
#include <cstring>
#include <string.h>  // memmem

#include "html_parser/queryselector/selector.hpp"

namespace tidewell::queryselector {

namespace {

constexpr std::array<bool, 256> make_identifier_table() {
  std::array<bool, 256> table{};
  for (int c = '0'; c <= '9'; ++c) table[c] = true;
  for (int c = 'A'; c <= 'Z'; ++c) table[c] = true;
  for (int c = 'a'; c <= 'z'; ++c) table[c] = true;
  table['+'] = true;
  table['-'] = true;
  table['/'] = true;
  table[':'] = true;
  table['_'] = true;
  return table;
}

constexpr std::array<bool, 256> kIdentifier = make_identifier_table();

inline bool ident(char c) { return kIdentifier[static_cast<unsigned char>(c)]; }

// Length of the identifier run at `pos`.
std::size_t identifier_run(std::string_view text, std::size_t pos) {
  std::size_t end = pos;
  while (end < text.size() && ident(text[end])) ++end;
  return end - pos;
}

bool all_identifier(std::string_view text) {
  return !text.empty() && identifier_run(text, 0) == text.size();
}

// Reads one simple selector at `pos`; advances `pos` past it. False when the
// text does not hold a simple selector there.
bool read_simple(std::string_view text, std::size_t& pos, SimpleSelector& out) {
  const char first = text[pos];
  switch (first) {
    case '#':
    case '.': {
      ++pos;
      const std::size_t len = identifier_run(text, pos);
      out.kind = first == '#' ? SelectorKind::Id : SelectorKind::Class;
      out.name = text.substr(pos, len);
      pos += len;
      return true;
    }
    case '*':
      ++pos;
      out.kind = SelectorKind::All;
      return true;
    case '[': {
      ++pos;
      const std::size_t name_len = identifier_run(text, pos);
      out.name = text.substr(pos, name_len);
      pos += name_len;
      if (pos >= text.size()) return false;
      const char op = text[pos];
      if (op == ']') {
        ++pos;
        out.kind = SelectorKind::Attribute;
        return true;
      }
      if (op == '=') {
        out.kind = SelectorKind::AttributeValue;
        ++pos;
      } else {
        switch (op) {
          case '~': out.kind = SelectorKind::AttributeValueWord; break;
          case '^': out.kind = SelectorKind::AttributeValuePrefix; break;
          case '$': out.kind = SelectorKind::AttributeValueSuffix; break;
          case '*': out.kind = SelectorKind::AttributeValueSubstring; break;
          default: return false;
        }
        if (pos + 1 >= text.size() || text[pos + 1] != '=') return false;
        pos += 2;
      }
      char quote = 0;
      if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) {
        quote = text[pos];
        ++pos;
      }
      const std::size_t value_len = identifier_run(text, pos);
      out.value = text.substr(pos, value_len);
      pos += value_len;
      if (quote != 0) {
        if (pos >= text.size() || text[pos] != quote) return false;
        ++pos;
      }
      if (pos >= text.size() || text[pos] != ']') return false;
      ++pos;
      return true;
    }
    default: {
      const std::size_t len = identifier_run(text, pos);
      if (len == 0) return false;
      out.kind = SelectorKind::Tag;
      out.name = text.substr(pos, len);
      pos += len;
      return true;
    }
  }
}

std::size_t skip_spaces(std::string_view text, std::size_t pos) {
  while (pos < text.size() && text[pos] == ' ') ++pos;
  return pos;
}

// Length of the separator character at `pos`, 0 when there is none.
std::size_t separator_length(std::string_view text, std::size_t pos,
                             WordSeparators separators) {
  const auto b = static_cast<unsigned char>(text[pos]);
  switch (separators) {
    case WordSeparators::HtmlSpaces:
      return (b == ' ' || b == '\t' || b == '\n' || b == '\f' || b == '\r')
                 ? 1
                 : 0;
    case WordSeparators::AsciiSpaces:
      return (b == ' ' || (b >= 0x09 && b <= 0x0D)) ? 1 : 0;
    case WordSeparators::UnicodeSpaces:
      break;
  }
  if (b < 0x80) return (b == ' ' || (b >= 0x09 && b <= 0x0D)) ? 1 : 0;
  const std::size_t left = text.size() - pos;
  auto at = [&](std::size_t i) {
    return static_cast<unsigned char>(text[pos + i]);
  };
  if (b == 0xC2) {
    // U+0085, U+00A0
    return left >= 2 && (at(1) == 0x85 || at(1) == 0xA0) ? 2 : 0;
  }
  if (left < 3) return 0;
  if (b == 0xE1) return at(1) == 0x9A && at(2) == 0x80 ? 3 : 0;  // U+1680
  if (b == 0xE2) {
    if (at(1) == 0x80) {
      // U+2000..U+200A, U+2028, U+2029, U+202F
      const unsigned char c = at(2);
      return (c >= 0x80 && c <= 0x8A) || c == 0xA8 || c == 0xA9 || c == 0xAF
                 ? 3
                 : 0;
    }
    return at(1) == 0x81 && at(2) == 0x9F ? 3 : 0;  // U+205F
  }
  if (b == 0xE3) return at(1) == 0x80 && at(2) == 0x80 ? 3 : 0;  // U+3000
  return 0;
}

}  // namespace

bool is_identifier_byte(unsigned char byte) { return kIdentifier[byte]; }

std::optional<Selector> parse_selector(std::string_view text,
                                       std::size_t start,
                                       ParserBackend backend) {
  Selector selector;
  selector.backend_ = backend;
  std::size_t pos = start;
  for (;;) {
    pos = skip_spaces(text, pos);
    if (pos >= text.size()) return std::nullopt;
    SimpleSelector simple;
    if (!read_simple(text, pos, simple)) return std::nullopt;
    const bool space_seen = pos < text.size() && text[pos] == ' ';
    pos = skip_spaces(text, pos);
    if (pos >= text.size()) {
      selector.links_.push_back(simple);
      return selector;
    }
    if (text[pos] == ',') {
      ++pos;
      simple.combinator = SelectorKind::Or;
    } else if (text[pos] == '>') {
      ++pos;
      simple.combinator = SelectorKind::Parent;
    } else if (space_seen) {
      simple.combinator = SelectorKind::Descendant;
    } else {
      simple.combinator = SelectorKind::And;
    }
    selector.links_.push_back(simple);
  }
}

std::pair<SimpleShape, std::size_t> classify_simple_selector(
    std::string_view text) {
  if (text == "*") return {SimpleShape::All, 0};
  if (text.empty()) return {SimpleShape::None, 0};
  if (text[0] == '#' || text[0] == '.') {
    if (!all_identifier(text.substr(1))) return {SimpleShape::None, 0};
    return {text[0] == '#' ? SimpleShape::Id : SimpleShape::Class, 0};
  }
  const std::size_t split = identifier_run(text, 0);
  if (split == text.size()) return {SimpleShape::Tag, 0};
  if (split == 0 || (text[split] != '#' && text[split] != '.') ||
      !all_identifier(text.substr(split + 1))) {
    return {SimpleShape::None, 0};
  }
  return {text[split] == '#' ? SimpleShape::TagId : SimpleShape::TagClass,
          split};
}

std::uint32_t selector_simple_flags(std::string_view text) {
  const std::size_t start = skip_spaces(text, 0);
  if (start >= text.size()) return 0;
  for (std::size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ' ' || c == ',' || c == '>') return 0;
  }
  return 1;
}

std::optional<Selector> parse_query_selector(std::string_view text,
                                             ParserBackend backend) {
  if (backend == ParserBackend::Copperfern) {
    return parse_selector(text, 0, backend);
  }
  const auto [shape, split] = classify_simple_selector(text);
  if (shape != SimpleShape::None) {
    Selector selector;
    selector.backend_ = backend;
    SimpleSelector first;
    switch (shape) {
      case SimpleShape::All:
        first.kind = SelectorKind::All;
        selector.links_.push_back(first);
        break;
      case SimpleShape::Tag:
        first.kind = SelectorKind::Tag;
        first.name = text;
        selector.links_.push_back(first);
        break;
      case SimpleShape::Id:
      case SimpleShape::Class:
        first.kind =
            shape == SimpleShape::Id ? SelectorKind::Id : SelectorKind::Class;
        first.name = text.substr(1);
        selector.links_.push_back(first);
        break;
      case SimpleShape::TagId:
      case SimpleShape::TagClass: {
        first.kind = SelectorKind::Tag;
        first.name = text.substr(0, split);
        first.combinator = SelectorKind::And;
        SimpleSelector second;
        second.kind = shape == SimpleShape::TagId ? SelectorKind::Id
                                                  : SelectorKind::Class;
        second.name = text.substr(split + 1);
        selector.links_.push_back(first);
        selector.links_.push_back(second);
        break;
      }
      case SimpleShape::None:
        break;
    }
    return selector;
  }
  if (selector_simple_flags(text) == 0) return std::nullopt;
  return parse_selector(text, 0, backend);
}

bool contains_word(std::string_view haystack, std::string_view word,
                   WordSeparators separators) {
  if (word.empty()) return false;
  std::size_t pos = 0;
  std::size_t word_start = 0;
  while (pos < haystack.size()) {
    const std::size_t sep = separator_length(haystack, pos, separators);
    if (sep == 0) {
      ++pos;
      continue;
    }
    if (haystack.substr(word_start, pos - word_start) == word) return true;
    pos += sep;
    word_start = pos;
  }
  return haystack.substr(word_start) == word;
}

bool starts_with_bytes(std::string_view haystack, std::string_view prefix) {
  return haystack.starts_with(prefix);
}

bool ends_with_bytes(std::string_view haystack, std::string_view suffix) {
  return haystack.ends_with(suffix);
}

bool contains_bytes(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return true;
  if (needle.size() > haystack.size()) return false;
  // glibc's memmem is linear in the worst case (two-way search for long
  // needles), unlike a naive find.
  return ::memmem(haystack.data(), haystack.size(), needle.data(),
                  needle.size()) != nullptr;
}

}  // namespace tidewell::queryselector
