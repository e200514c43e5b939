#include "converter/metadata/records.hpp"

#include "common/unicode_space.hpp"

namespace tidewell {

LinkType classify_link_target(std::string_view href) {
  if (href.empty()) return LinkType::Other;
  if (href.front() == '#') return LinkType::Anchor;
  if (href.starts_with("mailto:")) return LinkType::Email;
  if (href.starts_with("tel:")) return LinkType::Phone;
  if (href.starts_with("http://") || href.starts_with("https://")) return LinkType::External;
  if (href.front() == '/') return LinkType::Internal;
  if (href.starts_with("../") || href.starts_with("./")) return LinkType::Internal;
  return LinkType::Other;
}

ImageType classify_image_source(std::string_view src) {
  if (src.empty()) return ImageType::Relative;
  if (src.starts_with("data:")) return ImageType::DataUri;
  if (src.starts_with("http://") || src.starts_with("https://")) return ImageType::External;
  if (src.front() == '<' && src.find("svg") != std::string_view::npos) return ImageType::InlineSvg;
  return ImageType::Relative;
}

void metadata_add_header(MetadataSink& sink, std::uint8_t level, std::string text, std::optional<std::string> id,
                         std::size_t depth) {
  if (!sink.collect_headers || level < 1 || level > 6) return;
  HeaderMetadata header;
  header.level = level;
  header.text = std::move(text);
  header.id = std::move(id);
  header.depth = depth;
  header.html_offset = 0;
  sink.headers.push_back(std::move(header));
}

void metadata_add_link(MetadataSink& sink, std::string href, std::string text, std::optional<std::string> title,
                       std::optional<std::string> rel, OrderedMap attributes) {
  if (!sink.collect_links) return;
  LinkMetadata link;
  link.link_type = classify_link_target(href);
  link.href = std::move(href);
  link.text = std::move(text);
  link.title = std::move(title);
  if (rel) {
    for (std::string_view word : split_unicode_space(*rel)) link.rel.emplace_back(word);
  }
  link.attributes = std::move(attributes);
  sink.links.push_back(std::move(link));
}

void metadata_add_image(MetadataSink& sink, std::string src, std::optional<std::string> alt,
                        std::optional<std::string> title,
                        std::optional<std::pair<std::uint32_t, std::uint32_t>> dimensions, OrderedMap attributes) {
  if (!sink.collect_images) return;
  ImageMetadata image;
  image.image_type = classify_image_source(src);
  image.src = std::move(src);
  image.alt = std::move(alt);
  image.title = std::move(title);
  image.dimensions = dimensions;
  image.attributes = std::move(attributes);
  sink.images.push_back(std::move(image));
}

}  // namespace tidewell
