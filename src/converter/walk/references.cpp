#include <string>

#include "converter/walk/context.hpp"

namespace tidewell {

std::uint64_t register_reference(ReferenceLinkCollector& collector, std::string url,
                                 std::optional<std::string> title) {
  ReferenceKey key{std::move(url), std::move(title)};
  if (auto it = collector.index.find(key); it != collector.index.end()) return it->second;
  const std::uint64_t number = collector.entries.size() + 1;
  collector.entries.push_back(ReferenceEntry{key.url, number, key.title});
  collector.index.emplace(std::move(key), number);
  return number;
}

namespace {

// A destination Markdown reads as one piece only without white space; an
// empty one cannot be written bare at all.
bool needs_angle_brackets(std::string_view url) {
  if (url.empty()) return true;
  for (char c : url) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') return true;
  }
  return false;
}

// The "<url>" form: line breaks cannot stand even there, so they are
// percent-encoded; "<" and ">" are backslash-escaped.
void append_angle_destination(std::string_view url, std::string& out) {
  out += '<';
  for (char c : url) {
    switch (c) {
      case '\n':
        out += "%0A";
        break;
      case '\r':
        out += "%0D";
        break;
      case '<':
      case '>':
        out += '\\';
        out += c;
        break;
      default:
        out += c;
    }
  }
  out += '>';
}

}  // namespace

void append_reference_definitions(const ReferenceLinkCollector& collector, std::string& output) {
  for (const ReferenceEntry& entry : collector.entries) {
    output += '[';
    output += std::to_string(entry.number);
    output += "]: ";
    if (needs_angle_brackets(entry.url)) {
      append_angle_destination(entry.url, output);
    } else {
      output += entry.url;
    }
    if (entry.title) {
      output += " \"";
      for (char c : *entry.title) {
        if (c == '"') output += '\\';
        output += c;
      }
      output += '"';
    }
    output += '\n';
  }
}

}  // namespace tidewell
