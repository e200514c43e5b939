// The collector of page metadata on the DOM road: head entries, language,
// direction, and the headers, links, images and JSON-LD texts met during the
// walk. The conversion entry owns it and hands it down by pointer; every
// update is one call, and no reference into its vectors is kept across a
// call that may append to them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "result/result.hpp"

namespace tidewell {

// Head entries ("title", "meta-<name>", "canonical", "base"), ordered by the
// bytes of the key; inserting a present key replaces its value.
using HeadMetadataMap = std::map<std::string, std::string>;

inline constexpr std::size_t kJsonLdBudget = 1'000'000;

struct MetadataSink {
  std::vector<HeaderMetadata> headers;
  std::vector<LinkMetadata> links;
  std::vector<ImageMetadata> images;
  std::vector<std::string> json_ld;
  std::optional<std::string> language;
  std::optional<std::string> direction;
  std::size_t json_ld_budget = kJsonLdBudget;
  std::size_t json_ld_bytes = 0;
  bool collect_document = true;
  bool collect_headers = true;
  bool collect_links = true;
  bool collect_images = true;
  bool collect_structured_data = true;
  HeadMetadataMap head_entries;

  // A fresh sink: everything empty, every kind collected.
  MetadataSink() {
    headers.reserve(32);
    links.reserve(64);
    images.reserve(16);
    json_ld.reserve(4);
  }
};

}  // namespace tidewell
