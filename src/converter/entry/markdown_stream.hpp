// HTML converted in chunks: the input is guarded and prepared as a whole
// text is for the "quillmoor" road, then handed to the streaming converter.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "converter/entry/input_guard.hpp"
#include "result/conversion_error.hpp"
#include "streaming/quillmoor.hpp"

namespace tidewell {

// Prepares a text that arrives in chunks as prepare_input prepares the whole
// text: the same refusal, UTF-16 transcoding, leading byte-order mark, NUL
// removal and line endings (a CR LF may be cut between two chunks). The refusal
// and the UTF-16 guess look only at the first kInspectedBytes, so only those
// are kept to decide; while a decision is open and those bytes hold a NUL or
// a control byte, the input waits for it instead of passing on.
class StreamInput {
 public:
  struct Prepared {
    std::string_view text;  // valid until the next call
    const std::string* refusal = nullptr;
  };

  // The prepared text that may pass on after `chunk`; `last`: no input follows.
  // Once refused, every later call gives the same refusal.
  Prepared prepare(std::string_view chunk, bool last);

  const std::optional<std::string>& refusal() const { return refusal_; }

 private:
  // The first kInspectedBytes of a byte sequence, kept until the decision
  // they serve is taken; `released` of them have passed on.
  struct Window {
    std::string head;
    std::size_t released = 0;
    bool suspect = false;
    bool decided = false;
  };

  std::string_view raw_stage(std::string_view chunk, bool last);
  std::string_view text_stage(std::string_view text, bool last);
  std::string_view clean_stage(std::string_view text);

  Window raw_;   // the input as given: decides on UTF-16
  Window text_;  // the input after transcoding: decides on refusal
  std::optional<Utf16Decoder> utf16_;
  bool signature_checked_ = false;
  bool after_cr_ = false;  // the text passed on so far ends with a CR
  bool started_ = false;   // some text has passed on (a byte-order mark goes only at the start)
  std::optional<std::string> refusal_;
  std::string raw_out_, text_out_, clean_out_;
};

// One document converted in chunks. The joined results equal the "quillmoor"
// road's content for the whole text, apart from what the streaming converter
// itself lets depend on the cuts; input that road refuses is refused with
// its message.
class MarkdownStream {
 public:
  explicit MarkdownStream(std::size_t size_hint = 4096) : stream_(size_hint) {}

  // The Markdown ready after `chunk`, or the refusal of the input.
  // Precondition: not finished() (std::logic_error otherwise), unless refused.
  Outcome<std::string> process_chunk(std::string_view chunk) { return take(chunk, false); }
  // Ends the document: the rest of the Markdown, or the refusal. Same
  // precondition.
  Outcome<std::string> finish() { return take({}, true); }

  bool finished() const { return finished_; }
  bool refused() const { return input_.refusal().has_value(); }
  const streaming::QuillmoorStream& stream() const { return stream_; }

 private:
  Outcome<std::string> take(std::string_view chunk, bool last);

  StreamInput input_;
  streaming::QuillmoorStream stream_;
  bool finished_ = false;
};

}  // namespace tidewell
