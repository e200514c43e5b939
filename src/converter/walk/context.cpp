#include "converter/walk/context.hpp"

namespace tidewell {

ConversionContext make_root_context(const ConversionOptions& options, MetadataSink* metadata_sink,
                                    StructureSink* structure_sink, ReferenceLinkCollector* reference_links) {
  ConversionContext ctx;
  ctx.metadata_sink = metadata_sink;
  ctx.structure_sink = structure_sink;
  ctx.reference_links = reference_links;
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

ConversionContext detached_context(ConversionContext context) {
  context.metadata_sink = nullptr;
  context.structure_sink = nullptr;
  context.collect_document = false;
  context.collect_headers = false;
  context.collect_links = false;
  context.collect_images = false;
  context.collect_structured_data = false;
  return context;
}

}  // namespace tidewell
