#include "converter/metadata/head_metadata.hpp"

namespace tidewell {

void merge_head_metadata(MetadataSink& sink, HeadMetadataMap entries) {
  if (!sink.collect_document) return;
  if (sink.head_entries.empty()) {
    sink.head_entries = std::move(entries);
    return;
  }
  while (!entries.empty()) {
    auto node = entries.extract(entries.begin());
    sink.head_entries.insert_or_assign(std::move(node.key()), std::move(node.mapped()));
  }
}

void metadata_set_language(MetadataSink& sink, std::string value) {
  if (sink.collect_document && !sink.language) sink.language = std::move(value);
}

void metadata_set_direction(MetadataSink& sink, std::string value) {
  if (sink.collect_document && !sink.direction) sink.direction = std::move(value);
}

void metadata_add_json_ld(MetadataSink& sink, std::string text) {
  if (!sink.collect_structured_data) return;
  const std::size_t len = text.size();
  // json_ld_bytes never exceeds the budget, so the subtraction cannot wrap.
  if (len > sink.json_ld_budget || sink.json_ld_bytes > sink.json_ld_budget ||
      len > sink.json_ld_budget - sink.json_ld_bytes) {
    return;
  }
  sink.json_ld_bytes += len;
  sink.json_ld.push_back(std::move(text));
}

namespace {

// Appends `text` with every CR and LF written as a space.
void append_single_line(std::string& out, std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t brk = text.find_first_of("\r\n", pos);
    if (brk == std::string_view::npos) {
      out.append(text.substr(pos));
      return;
    }
    out.append(text.substr(pos, brk - pos));
    out.push_back(' ');
    pos = brk + 1;
  }
}

}  // namespace

void append_front_matter(std::string& out, const HeadMetadataMap& entries) {
  if (entries.empty()) return;
  out.append("---\n");
  for (const auto& [key, value] : entries) {
    append_single_line(out, key);
    out.append(": ");
    append_single_line(out, value);
    out.push_back('\n');
  }
  out.append("---\n");
}

}  // namespace tidewell
