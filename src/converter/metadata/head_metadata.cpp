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

}  // namespace tidewell
