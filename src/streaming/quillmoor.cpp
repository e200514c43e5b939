#include "streaming/quillmoor.hpp"

#include <algorithm>

#include "streaming/processor.hpp"

namespace tidewell::streaming {

std::string quillmoor_convert(std::string_view html) {
  const std::size_t size_hint = std::min<std::size_t>(std::max<std::size_t>(html.size() / 3, 1024), 262144);
  Processor processor(size_hint);
  const std::size_t consumed = processor.scan_chunk(html);
  processor.flush_end_of_input(html.substr(consumed));
  return processor.finalize_document();
}

QuillmoorStream::QuillmoorStream(std::size_t size_hint) : processor_(std::make_unique<Processor>(size_hint)) {}

QuillmoorStream::~QuillmoorStream() = default;
QuillmoorStream::QuillmoorStream(QuillmoorStream&&) noexcept = default;
QuillmoorStream& QuillmoorStream::operator=(QuillmoorStream&&) noexcept = default;

std::string QuillmoorStream::process_chunk(std::string_view chunk) {
  if (!carry_.empty()) {
    carry_.append(chunk);
    const std::size_t consumed = processor_->scan_chunk(carry_);
    carry_.erase(0, consumed);
  } else {
    const std::size_t consumed = processor_->scan_chunk(chunk);
    carry_.assign(chunk.substr(consumed));
  }
  return processor_->drain_ready_output();
}

std::string QuillmoorStream::finish() {
  std::string rest = std::move(carry_);
  carry_.clear();
  const std::size_t consumed = rest.empty() ? 0 : processor_->scan_chunk(rest);
  processor_->flush_end_of_input(std::string_view(rest).substr(consumed));
  return processor_->drain_ready_output();
}

std::size_t QuillmoorStream::buffered_output() const { return processor_->buffered_output(); }

bool QuillmoorStream::holds_outstanding() const { return processor_->holds_outstanding(); }

}  // namespace tidewell::streaming
