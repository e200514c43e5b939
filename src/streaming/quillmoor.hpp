// The streaming HTML-to-Markdown converter: one forward pass over the bytes,
// no document tree. `quillmoor_convert` converts a whole text at once;
// `QuillmoorStream` takes the text in chunks and hands back after each chunk
// the Markdown that can no longer change.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace tidewell::streaming {

class Processor;

// Converts a whole HTML text (UTF-8) to Markdown.
std::string quillmoor_convert(std::string_view html);

class QuillmoorStream {
 public:
  // `size_hint`: the initial capacity of the output buffer.
  explicit QuillmoorStream(std::size_t size_hint = 4096);
  ~QuillmoorStream();
  QuillmoorStream(QuillmoorStream&&) noexcept;
  QuillmoorStream& operator=(QuillmoorStream&&) noexcept;

  // Converts the next piece of the document (UTF-8, cut at character
  // boundaries) and returns the Markdown that is ready; markup cut by the
  // chunk's end is kept for the next call.
  std::string process_chunk(std::string_view chunk);

  // Ends the input: closes what is open and returns the rest of the
  // Markdown. A later process_chunk continues the same document.
  std::string finish();

  // Bytes held back: carried input and output not yet handed out.
  std::size_t carried_bytes() const { return carry_.size(); }
  std::size_t buffered_output() const;
  // True when a hold on the output is still outstanding.
  bool holds_outstanding() const;
  // The converter's state, for inspection.
  const Processor& processor() const { return *processor_; }

 private:
  std::unique_ptr<Processor> processor_;
  std::string carry_;
};

}  // namespace tidewell::streaming
