#include <string>

#include "converter/text/processing.hpp"
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

void append_reference_definitions(const ReferenceLinkCollector& collector, std::string& output) {
  for (const ReferenceEntry& entry : collector.entries) {
    output += '[';
    output += std::to_string(entry.number);
    output += "]: ";
    append_link_destination(entry.url, false, output);
    if (entry.title) {
      output += " \"";
      append_link_title(*entry.title, output);
      output += '"';
    }
    output += '\n';
  }
}

}  // namespace tidewell
