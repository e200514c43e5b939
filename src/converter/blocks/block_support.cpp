#include "converter/blocks/block_support.hpp"

#include <memory>
#include <vector>

namespace tidewell::blocks {
namespace {

// Buffers of more than this many bytes, and buffers nested deeper than
// this, are given back to the allocator after use, so that one large or
// deep page does not keep its memory.
constexpr std::size_t kKeptCapacity = 1 << 18;
constexpr std::size_t kKeptBuffers = 32;

struct BufferPool {
  std::vector<std::unique_ptr<std::string>> buffers;
  std::size_t taken = 0;
};

BufferPool& buffer_pool() {
  thread_local BufferPool pool;
  return pool;
}

}  // namespace

BlockBuffer::BlockBuffer() {
  BufferPool& pool = buffer_pool();
  if (pool.taken == pool.buffers.size()) pool.buffers.push_back(std::make_unique<std::string>());
  text_ = pool.buffers[pool.taken++].get();
  text_->clear();
}

BlockBuffer::~BlockBuffer() {
  BufferPool& pool = buffer_pool();
  if (text_->capacity() > kKeptCapacity || pool.taken > kKeptBuffers) std::string().swap(*text_);
  --pool.taken;
}

void convert_framed_block(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  if (context.inline_mode) {
    walk_children_at(w, node, context, depth);
    return;
  }
  BlockBuffer buffer;
  convert_into_buffer(w, node, context, depth, buffer, BufferPlace::LineStart);
  const std::string_view text = trim_unicode_space(buffer);
  if (text.empty()) return;
  blank_line_before_block(w, context);
  indent_item_line(w, context);
  std::string& out = w.out();
  out += text;
  out += "\n\n";
}

void convert_text_line(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth,
                       std::string_view marker, std::string_view after) {
  // The text stands where the output ends, after a marker at most.
  BlockBuffer buffer;
  convert_into_buffer(w, node, context, depth + 1, buffer, BufferPlace::Here);
  std::string& out = w.out();
  const auto write = [&] {
    write_trimmed(w, buffer, context.inline_mode, [&](std::string_view text) {
      if (!context.inline_mode) out += marker;
      out += text;
      if (!context.inline_mode) out += after;
    });
  };
  // In running text the line is set off by spaces, as a paragraph is.
  if (context.inline_mode && !context.in_table_cell && !context.in_list_item) {
    w.write_as_words(write);
  } else {
    write();
  }
}

void convert_bold_line(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  ConversionContext scope = context;
  if (!context.inline_mode) scope.in_strong = true;
  BlockBuffer buffer;
  convert_into_buffer(w, node, scope, depth + 1, buffer,
                      context.inline_mode ? BufferPlace::Here : BufferPlace::Elsewhere);
  std::string& out = w.out();
  write_trimmed(w, buffer, context.inline_mode, [&](std::string_view text) {
    if (context.inline_mode) {
      out += text;
      return;
    }
    append_strong(out, w.options(), text);
    out += "\n\n";
  });
}

}  // namespace tidewell::blocks
