// Header, link and image records of the metadata inventory, and the
// classification of link targets and image sources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "converter/metadata/metadata_sink.hpp"
#include "result/result.hpp"

namespace tidewell {

// Byte-exact, case-sensitive prefix tests: "" other, "#" anchor, "mailto:"
// email, "tel:" phone, "http://"/"https://" external, "/", "../", "./"
// internal, anything else other.
LinkType classify_link_target(std::string_view href);

// "" relative, "data:" data_uri, "http://"/"https://" external, '<' with
// "svg" anywhere inline_svg, anything else relative.
ImageType classify_image_source(std::string_view src);

// Appends a header when headers are collected and 1 <= level <= 6;
// html_offset is always 0.
void metadata_add_header(MetadataSink& sink, std::uint8_t level, std::string text, std::optional<std::string> id,
                         std::size_t depth);

// The values of link and image records are text as the page means it:
// attribute values read with attribute_text (common/entities.hpp,
// character references decoded), so that a record is the same whether or
// not the page went through the repair. They are stored as given.

// Appends a link when links are collected; the type comes from the href and
// rel is split at white space into its words.
void metadata_add_link(MetadataSink& sink, std::string href, std::string text, std::optional<std::string> title,
                       std::optional<std::string> rel, OrderedMap attributes);

// Appends an image when images are collected; the type comes from the src.
void metadata_add_image(MetadataSink& sink, std::string src, std::optional<std::string> alt,
                        std::optional<std::string> title,
                        std::optional<std::pair<std::uint32_t, std::uint32_t>> dimensions, OrderedMap attributes);

}  // namespace tidewell
