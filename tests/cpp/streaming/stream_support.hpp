// Converting test documents on both streaming roads: at once, and fed to a
// stream in chunks.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "streaming/quillmoor.hpp"

namespace tidewell::streaming::test {

// One document and the Markdown it converts to.
struct StreamCase {
  const char* name;
  std::string html;
  std::string markdown;
};

inline void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

inline std::string convert(std::string_view html) { return quillmoor_convert(html); }

// The document fed to `stream` in pieces ending at each of `cuts`
// (ascending), then finished; the pieces handed out are joined.
inline std::string stream_cut_at(QuillmoorStream& stream, std::string_view html, const std::vector<std::size_t>& cuts) {
  std::string out;
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    out += stream.process_chunk(html.substr(from, cut - from));
    from = cut;
  }
  out += stream.process_chunk(html.substr(from));
  out += stream.finish();
  return out;
}

inline std::string stream_cut_at(std::string_view html, const std::vector<std::size_t>& cuts) {
  QuillmoorStream stream;
  return stream_cut_at(stream, html, cuts);
}

// Character boundaries of a UTF-8 text, 1 .. size-1.
inline std::vector<std::size_t> char_boundaries(std::string_view html) {
  std::vector<std::size_t> cuts;
  for (std::size_t i = 1; i < html.size(); ++i) {
    if ((static_cast<unsigned char>(html[i]) & 0xC0) != 0x80) cuts.push_back(i);
  }
  return cuts;
}

// The document fed in chunks of `size` bytes (moved to character
// boundaries).
inline std::string stream_in_chunks(std::string_view html, std::size_t size) {
  std::vector<std::size_t> cuts;
  for (std::size_t at = size; at < html.size(); at += size) {
    std::size_t c = at;
    while (c < html.size() && (static_cast<unsigned char>(html[c]) & 0xC0) == 0x80) ++c;
    if (c < html.size() && (cuts.empty() || c > cuts.back())) cuts.push_back(c);
  }
  return stream_cut_at(html, cuts);
}

// "<url>" written as "[url](url)": the form a link whose text equals its URL
// takes when its text was handed out before the link closed.
inline std::string without_automatic_links(const std::string& markdown) {
  std::string out;
  std::size_t i = 0;
  while (i < markdown.size()) {
    const std::size_t lt = markdown.find('<', i);
    if (lt == std::string::npos) break;
    const std::size_t gt = markdown.find_first_of("<> \t\n", lt + 1);
    const std::string_view inside = std::string_view(markdown).substr(lt + 1, gt == std::string::npos ? 0 : gt - lt - 1);
    out.append(markdown, i, lt - i);
    if (gt != std::string::npos && markdown[gt] == '>' &&
        (inside.starts_with("http://") || inside.starts_with("https://") || inside.starts_with("ftp://") ||
         inside.starts_with("mailto:"))) {
      out += '[';
      out += inside;
      out += "](";
      out += inside;
      out += ')';
      i = gt + 1;
    } else {
      out += '<';
      i = lt + 1;
    }
  }
  out.append(markdown, i, std::string::npos);
  return out;
}

inline std::string case_name(const testing::TestParamInfo<StreamCase>& info) { return info.param.name; }

}  // namespace tidewell::streaming::test
