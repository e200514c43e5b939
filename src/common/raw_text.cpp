#include "common/raw_text.hpp"

#include <array>
#include <cstdint>

namespace tidewell::scan {

namespace {

bool ends_tag_name(std::string_view t, std::size_t at) {
  return at < t.size() && (is_ws(static_cast<unsigned char>(t[at])) || t[at] == '/' || t[at] == '>');
}

// "</name" (`name` in lower case) followed by white space, '/' or '>' at `at`.
bool end_tag_at(std::string_view t, std::size_t at, std::string_view name) {
  return at + 1 < t.size() && t[at + 1] == '/' && ieq_at(t, at + 2, name) && ends_tag_name(t, at + 2 + name.size());
}

std::size_t script_end(std::string_view t, std::size_t from) {
  const std::size_t n = t.size();
  enum class State : std::uint8_t { Data, Escaped, DoubleEscaped };
  State state = State::Data;
  std::size_t p = from;
  while (p < n) {
    if (state == State::Data) {
      p = find_byte(t, '<', p);
      if (p == npos) return n;
      if (end_tag_at(t, p, "script")) return p;
      if (t.compare(p, 4, "<!--") == 0) {
        state = State::Escaped;
        p += 2;  // its own dashes may close it at once: "<!-->"
      } else {
        ++p;
      }
      continue;
    }
    while (p < n && t[p] != '<' && t[p] != '-') ++p;
    if (p == n) return n;
    if (t[p] == '-') {
      if (t.compare(p, 3, "-->") == 0) {
        state = State::Data;
        p += 3;
      } else {
        ++p;
      }
      continue;
    }
    if (state == State::Escaped) {
      if (end_tag_at(t, p, "script")) return p;
      if (ieq_at(t, p + 1, "script") && ends_tag_name(t, p + 7)) {
        state = State::DoubleEscaped;
        p += 7;
        continue;
      }
    } else if (end_tag_at(t, p, "script")) {
      state = State::Escaped;
      p += 8;
      continue;
    }
    ++p;
  }
  return n;
}

// Bytes that end an attribute name (white space, '/', '>', '=') and those
// that end an unquoted value (white space, '>').
constexpr std::array<bool, 256> make_stops(bool name) {
  std::array<bool, 256> stops{};
  for (unsigned char c : {'\t', '\n', '\f', '\r', ' ', '>'}) stops[c] = true;
  if (name) stops['/'] = stops['='] = true;
  return stops;
}
constexpr std::array<bool, 256> kNameStops = make_stops(true);
constexpr std::array<bool, 256> kUnquotedStops = make_stops(false);

// The first byte at or after `k` that `stops` holds, or the end of `t`.
std::size_t skip_to(std::string_view t, std::size_t k, const std::array<bool, 256>& stops) {
  while (k < t.size() && !stops[static_cast<unsigned char>(t[k])]) ++k;
  return k;
}

}  // namespace

StartTagEnd read_start_tag(std::string_view t, std::size_t from) {
  enum class State : std::uint8_t { BeforeName, Name, AfterName, BeforeValue, Unquoted, AfterQuoted };
  const std::size_t n = t.size();
  State state = State::BeforeName;
  for (std::size_t k = from; k < n; ++k) {
    // The bytes of a name or an unquoted value change nothing.
    if (state == State::Name || state == State::Unquoted) {
      k = skip_to(t, k, state == State::Name ? kNameStops : kUnquotedStops);
      if (k == n) break;
    }
    const char c = t[k];
    const bool ws = is_ws(static_cast<unsigned char>(c));
    if (state == State::Unquoted) {
      if (ws) state = State::BeforeName;
      else if (c == '>') return {k + 1, false};
      continue;
    }
    if (state == State::BeforeValue) {
      if (ws) continue;
      if (c == '>') return {k + 1, false};
      if (c == '"' || c == '\'') {
        k = find_byte(t, c, k + 1);
        if (k == npos) return {};
        state = State::AfterQuoted;
      } else {
        state = State::Unquoted;
      }
      continue;
    }
    // Between attributes or in a name.
    if (c == '>') return {k + 1, false};
    if (c == '/') {
      if (k + 1 < n && t[k + 1] == '>') return {k + 2, true};
      state = State::BeforeName;
    } else if (ws) {
      if (state == State::Name) state = State::AfterName;
      else if (state == State::AfterQuoted) state = State::BeforeName;
    } else if (c == '=' && (state == State::Name || state == State::AfterName)) {
      state = State::BeforeValue;
    } else if (state != State::Name) {
      state = State::Name;  // a new attribute; a leading '=' is part of its name
    }
  }
  return {};
}

std::size_t find_end_tag(std::string_view t, std::size_t from, std::string_view name) {
  for (std::size_t p = find_byte(t, '<', from); p != npos; p = find_byte(t, '<', p + 1)) {
    if (end_tag_at(t, p, name)) return p;
  }
  return npos;
}

std::size_t raw_text_end(std::string_view t, std::size_t from, TagId id) {
  if (id == TagId::Script) return script_end(t, from);
  const std::size_t end = find_end_tag(t, from, tag_info(id).name);
  return end == npos ? t.size() : end;
}

}  // namespace tidewell::scan
