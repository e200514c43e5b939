#include "converter/entry/input_guard.hpp"

#include <algorithm>
#include <cstring>

#include "common/raw_text.hpp"
#include "common/utf8.hpp"

namespace tidewell {
namespace {

constexpr std::size_t kWindow = kInspectedBytes;

std::string transcode_utf16(std::string_view text, bool little_endian) {
  std::string out;
  out.reserve(text.size());
  Utf16Decoder(little_endian).decode(text, true, out);
  return out;
}

bool is_name_byte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == ':' || c == '_';
}

bool is_ascii_letter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

Utf16Guess guess_utf16(std::string_view text) {
  const std::size_t window = std::min(text.size(), kWindow);
  std::size_t even = 0, odd = 0;
  for (std::size_t i = 0; i < window; ++i) {
    if (text[i] == '\0') ++((i & 1) ? odd : even);
  }
  const std::size_t total = even + odd;
  Utf16Guess guess;
  if (total < 2 || window == 0) return guess;
  const double ratio = static_cast<double>(total) / static_cast<double>(window);
  const double skew = static_cast<double>(std::max(even, odd)) / static_cast<double>(total);
  guess.is_utf16 = ratio >= 0.2 && skew >= 0.9;
  guess.little_endian = odd >= even;
  return guess;
}

void Utf16Decoder::decode(std::string_view bytes, bool last, std::string& out) {
  std::size_t i = 0;
  auto unit = [&](unsigned char a, unsigned char b) -> char16_t {
    return static_cast<char16_t>(little_endian_ ? (a | (b << 8)) : ((a << 8) | b));
  };
  auto take = [&](char16_t u) {
    if (high_surrogate_ != 0) {
      const char16_t high = high_surrogate_;
      high_surrogate_ = 0;
      if (u >= 0xDC00 && u <= 0xDFFF) {
        append_utf8(out, 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) + (u - 0xDC00));
        return;
      }
      append_utf8(out, 0xFFFD);
    }
    if (u >= 0xD800 && u <= 0xDBFF) {
      high_surrogate_ = u;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      append_utf8(out, 0xFFFD);
    } else {
      append_utf8(out, u);
    }
  };
  if (has_odd_byte_ && !bytes.empty()) {
    take(unit(odd_byte_, static_cast<unsigned char>(bytes[0])));
    has_odd_byte_ = false;
    i = 1;
  }
  for (; i + 1 < bytes.size(); i += 2) {
    take(unit(static_cast<unsigned char>(bytes[i]), static_cast<unsigned char>(bytes[i + 1])));
  }
  if (i < bytes.size()) {
    has_odd_byte_ = true;
    odd_byte_ = static_cast<unsigned char>(bytes[i]);
  }
  if (last) {
    has_odd_byte_ = false;
    if (high_surrogate_ != 0) {
      high_surrogate_ = 0;
      append_utf8(out, 0xFFFD);
    }
  }
}

std::string remove_nul_bytes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const void* hit = std::memchr(text.data() + pos, '\0', text.size() - pos);
    const std::size_t end = hit ? static_cast<const char*>(hit) - text.data() : text.size();
    out.append(text.data() + pos, end - pos);
    pos = end + 1;
  }
  return out;
}

std::optional<std::string> detect_binary_input(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const auto* b = reinterpret_cast<const unsigned char*>(text.data());
  const char* signature = nullptr;
  if (text.size() >= 4 && b[0] == 'P' && b[1] == 'K' &&
      ((b[2] == 3 && b[3] == 4) || (b[2] == 5 && b[3] == 6) || (b[2] == 7 && b[3] == 8))) {
    signature = "zip archive";
  } else if (text.size() >= 5 && text.substr(0, 5) == "%PDF-") {
    signature = "PDF data";
  }
  if (signature) {
    return std::string("binary data detected (") + signature + "); decode/decompress to UTF-8 HTML first";
  }
  const std::size_t window = std::min(text.size(), kWindow);
  std::size_t nul = 0, control = 0;
  for (std::size_t i = 0; i < window; ++i) {
    const unsigned char c = b[i];
    if (c == 0) ++nul;
    if (c <= 0x08 || (c >= 0x0E && c <= 0x1F)) ++control;
  }
  const double w = static_cast<double>(window);
  if (nul > 0) {
    if (text.size() >= 4 && guess_utf16(text).is_utf16) {
      return std::string("binary data detected (UTF-16 data without BOM); decode to UTF-8 HTML first");
    }
    if (nul >= 9 && static_cast<double>(nul) / w > 0.01) {
      return std::string("binary data detected (excess NUL bytes)");
    }
  }
  if (text.size() >= 32 && static_cast<double>(control) / w > 0.3) {
    return std::string("binary data detected (excess control bytes)");
  }
  return std::nullopt;
}

std::optional<std::string> space_self_closing_tags(std::string_view text) {
  if (text.size() <= 2 || text.find("/>") == std::string_view::npos) return std::nullopt;
  std::optional<std::string> out;
  std::size_t copied = 0;
  std::size_t pos = 0;
  const std::size_t n = text.size();
  bool skip_raw_text = true;
  while (pos < n) {
    const void* hit = std::memchr(text.data() + pos, '<', n - pos);
    if (!hit) break;
    const std::size_t lt = static_cast<const char*>(hit) - text.data();
    if (lt + 1 >= n || !is_ascii_letter(static_cast<unsigned char>(text[lt + 1]))) {
      pos = lt + 1;
      continue;
    }
    std::size_t end = lt + 2;
    while (end < n && is_name_byte(static_cast<unsigned char>(text[end]))) ++end;
    if (end + 1 < n && text[end] == '/' && text[end + 1] == '>') {
      if (!out) {
        out.emplace();
        out->reserve(n + 4);
      }
      out->append(text.data() + copied, end - copied);
      out->append(" />");
      copied = pos = end + 2;
      continue;
    }
    pos = lt + 1;
    // The content of a script, style, title or textarea is text: its "/>"
    // stays as written (a JSON-LD value, a code sample).
    if (skip_raw_text && end < n && end - lt - 1 >= 3 && end - lt - 1 <= 8 &&
        std::strchr("sStTxXiInN", text[lt + 1]) != nullptr &&
        (scan::is_ws(static_cast<unsigned char>(text[end])) || text[end] == '/' || text[end] == '>')) {
      const TagId id = tag_id_ignore_case(text.substr(lt + 1, end - lt - 1));
      if (!scan::has_raw_text(id)) continue;
      const scan::StartTagEnd tag = scan::read_start_tag(text, end);
      // A tag that never ends holds the rest of the text; the scan goes on
      // without skipping, so that it stays one pass.
      if (tag.end == scan::npos) skip_raw_text = false;
      else if (!tag.self_closing) pos = scan::raw_text_end(text, tag.end, id);
    }
  }
  if (!out) return std::nullopt;
  out->append(text.data() + copied, n - copied);
  return out;
}

PreparedInput prepare_input(std::string_view text) {
  PreparedInput result;
  std::string_view current = text;
  const bool has_nul = std::memchr(text.data(), '\0', text.size()) != nullptr;
  if (has_nul && text.size() >= 4) {
    const Utf16Guess guess = guess_utf16(text);
    if (guess.is_utf16) {
      result.owned = transcode_utf16(text, guess.little_endian);
      current = *result.owned;
    }
  }
  if (auto refusal = detect_binary_input(current)) {
    result.owned.reset();
    result.refusal = std::move(refusal);
    return result;
  }
  auto replace = [&](std::optional<std::string> changed) {
    if (changed) {
      result.owned = std::move(changed);
      current = *result.owned;
    }
  };
  if (std::memchr(current.data(), '\0', current.size())) replace(remove_nul_bytes(current));
  replace(normalize_line_endings(current));
  replace(space_self_closing_tags(current));
  return result;
}

}  // namespace tidewell
