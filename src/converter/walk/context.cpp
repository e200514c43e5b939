#include "converter/walk/context.hpp"

namespace tidewell {

WalkSets build_walk_sets(const ConversionOptions& options) {
  WalkSets sets;
  sets.strip_tag_set.reserve(options.strip_tags.size());
  for (const std::string& name : options.strip_tags) sets.strip_tag_set.insert(name);
  sets.preserve_tag_set.reserve(options.preserve_tags.size());
  for (const std::string& name : options.preserve_tags) sets.preserve_tag_set.insert(name);
  sets.keep_inline_images_set.reserve(options.keep_inline_images_in.size());
  for (const std::string& name : options.keep_inline_images_in) sets.keep_inline_images_set.insert(name);
  return sets;
}

const WalkSets& empty_walk_sets() {
  static const WalkSets sets;
  return sets;
}

ConversionContext make_root_context(const ConversionOptions& options, MetadataSink* metadata_sink,
                                    StructureSink* structure_sink, ReferenceLinkCollector* reference_links,
                                    const WalkSets& sets) {
  ConversionContext ctx;
  ctx.metadata_sink = metadata_sink;
  ctx.structure_sink = structure_sink;
  ctx.reference_links = reference_links;
  ctx.strip_tag_set = &sets.strip_tag_set;
  ctx.preserve_tag_set = &sets.preserve_tag_set;
  ctx.keep_inline_images_set = &sets.keep_inline_images_set;
  ctx.excluded_nodes = &sets.excluded_nodes;
  ctx.inline_mode = options.convert_as_inline;
  if (metadata_sink != nullptr) {
    ctx.collect_document = metadata_sink->collect_document;
    ctx.collect_headers = metadata_sink->collect_headers;
    ctx.collect_links = metadata_sink->collect_links;
    ctx.collect_images = metadata_sink->collect_images;
    ctx.collect_structured_data = metadata_sink->collect_structured_data;
  }
  return ctx;
}

}  // namespace tidewell
