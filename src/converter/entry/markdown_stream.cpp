#include "converter/entry/markdown_stream.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace tidewell {
namespace {

bool holds_nul(std::string_view s) { return !s.empty() && std::memchr(s.data(), '\0', s.size()) != nullptr; }

// The bytes the refusal test counts: NUL and the other control bytes that are
// not white space.
bool holds_nul_or_control(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c <= 0x08 || (c >= 0x0E && c <= 0x1F);
  });
}

// The head's bytes not passed on yet, then `rest`.
void release(std::string& head, std::size_t& released, std::string_view rest, std::string& out) {
  out.append(head, released);
  released = head.size();
  out.append(rest);
}

// Adds what fits of `in` to the window's head; `rest` gets the remainder.
// True when the decision is due: the head is complete or the input ends.
template <class Suspicious>
bool fill(std::string& head, bool& suspect, std::string_view in, bool last, std::string_view& rest,
          Suspicious suspicious) {
  const std::string_view part = in.substr(0, std::min(in.size(), kInspectedBytes - head.size()));
  rest = in.substr(part.size());
  head.append(part);
  if (!suspect && suspicious(part)) suspect = true;
  return last || head.size() == kInspectedBytes;
}

}  // namespace

std::string_view StreamInput::raw_stage(std::string_view chunk, bool last) {
  if (raw_.decided) {
    if (!utf16_) return chunk;
    raw_out_.clear();
    utf16_->decode(chunk, last, raw_out_);
    return raw_out_;
  }
  raw_out_.clear();
  std::string_view rest;
  if (!fill(raw_.head, raw_.suspect, chunk, last, rest, holds_nul)) {
    // Transcoding starts at the first byte: the first bytes, and all once a
    // NUL has come, wait for the guess.
    if (!raw_.suspect && raw_.head.size() >= 4) release(raw_.head, raw_.released, {}, raw_out_);
    return raw_out_;
  }
  raw_.decided = true;
  const Utf16Guess guess = raw_.suspect && raw_.head.size() >= 4 ? guess_utf16(raw_.head) : Utf16Guess{};
  if (guess.is_utf16 && raw_.released > 0) {
    // Bytes already converted as UTF-8 cannot be transcoded any more.
    refusal_ = detect_binary_input(raw_.head);
  } else if (guess.is_utf16) {
    utf16_.emplace(guess.little_endian);
    utf16_->decode(raw_.head, false, raw_out_);
    utf16_->decode(rest, last, raw_out_);
  } else {
    release(raw_.head, raw_.released, rest, raw_out_);
  }
  std::string().swap(raw_.head);
  return raw_out_;
}

std::string_view StreamInput::text_stage(std::string_view text, bool last) {
  if (text_.decided) return text;
  text_out_.clear();
  std::string_view rest;
  if (!fill(text_.head, text_.suspect, text, last, rest, holds_nul_or_control)) {
    if (text_.suspect || text_.head.size() < 5) return text_out_;
    if (!signature_checked_) {
      // Five bytes without NUL or control bytes can only be refused for
      // their signature, whatever follows.
      signature_checked_ = true;
      refusal_ = detect_binary_input(std::string_view(text_.head).substr(0, 5));
      if (refusal_) return {};
    }
    release(text_.head, text_.released, {}, text_out_);
    return text_out_;
  }
  text_.decided = true;
  refusal_ = detect_binary_input(text_.head);
  if (!refusal_) release(text_.head, text_.released, rest, text_out_);
  std::string().swap(text_.head);
  return text_out_;
}

std::string_view StreamInput::clean_stage(std::string_view text) {
  std::string_view out = text;
  if (holds_nul(out)) {
    clean_out_ = remove_nul_bytes(out);
    out = clean_out_;
  }
  if (out.empty()) return out;
  // The LF of a CR LF whose CR ended the text before.
  if (after_cr_ && out.front() == '\n') out.remove_prefix(1);
  after_cr_ = !out.empty() && out.back() == '\r';
  if (std::optional<std::string> normalised = normalize_line_endings(out)) {
    clean_out_ = std::move(*normalised);
    out = clean_out_;
  }
  return out;
}

StreamInput::Prepared StreamInput::prepare(std::string_view chunk, bool last) {
  if (!refusal_) {
    const std::string_view raw = raw_stage(chunk, last);
    if (!refusal_) {
      std::string_view text = text_stage(raw, last);
      if (!refusal_) {
        // The first text passed on holds at least four bytes unless it is all
        // there is, so a leading byte-order mark is never cut.
        if (!started_ && !text.empty()) {
          started_ = true;
          text = without_byte_order_mark(text);
        }
        return {clean_stage(text), nullptr};
      }
    }
  }
  return {{}, &*refusal_};
}

Outcome<std::string> MarkdownStream::take(std::string_view chunk, bool last) {
  if (finished_ && !refused()) throw std::logic_error("the stream is finished");
  finished_ = finished_ || last;
  const StreamInput::Prepared prepared = input_.prepare(chunk, last);
  if (prepared.refusal) return ConversionError::invalid_input(*prepared.refusal);
  // Nothing new to convert leaves nothing new to hand out.
  std::string out = prepared.text.empty() ? std::string() : stream_.process_chunk(prepared.text);
  if (last) out += stream_.finish();
  return out;
}

}  // namespace tidewell
