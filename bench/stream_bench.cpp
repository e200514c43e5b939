// The streaming converter over a directory of pages: the one-shot road
// (quillmoor_convert) page by page, the stream fed each page in 4 KB chunks,
// and every page concatenated into one stream fed in 4 KB chunks, with the
// most the stream ever held (carried input plus output not yet handed out)
// and the process's peak memory growth beside the input size.
//
//   stream_bench [--rounds N] [DIR ...]
//
// N defaults to 3 (best round); with no DIR, every page folder of the corpus
// (../shared/corpus/*/pages beside the source tree).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "bench_support.hpp"
#include "streaming/quillmoor.hpp"

using tidewell::streaming::QuillmoorStream;
using tidewell::streaming::quillmoor_convert;

namespace {

constexpr std::size_t kChunk = 4096;

// The resident set now, in bytes.
std::size_t resident_bytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t pages_total = 0, resident = 0;
  statm >> pages_total >> resident;
  return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Args args = bench::parse_args(argc, argv, 3);
  const bench::Pages pages = bench::require_pages(args.dirs);
  const double mb = static_cast<double>(pages.bytes) / 1e6;
  std::size_t sink = 0;

  const double road = bench::best_seconds(args.rounds, [&] {
    for (const std::string& page : pages.texts) sink += quillmoor_convert(page).size();
  });
  const double chunked = bench::best_seconds(args.rounds, [&] {
    for (const std::string& page : pages.texts) {
      QuillmoorStream stream;
      for (std::size_t at = 0; at < page.size(); at += kChunk) {
        sink += stream.process_chunk(std::string_view(page).substr(at, kChunk)).size();
      }
      sink += stream.finish().size();
    }
  });

  // One stream over every page, the chunks running across page boundaries.
  const std::size_t rss_before = resident_bytes();
  std::size_t rss_peak = rss_before, held = 0, out_bytes = 0, chunks = 0;
  std::string chunk;
  chunk.reserve(kChunk);
  const double joined = bench::best_seconds(1, [&] {
    QuillmoorStream stream;
    auto feed = [&] {
      out_bytes += stream.process_chunk(chunk).size();
      held = std::max(held, stream.carried_bytes() + stream.buffered_output());
      if (++chunks % 16 == 0) rss_peak = std::max(rss_peak, resident_bytes());
      chunk.clear();
    };
    for (const std::string& page : pages.texts) {
      for (std::size_t at = 0; at < page.size();) {
        const std::size_t take = std::min(kChunk - chunk.size(), page.size() - at);
        chunk.append(page, at, take);
        at += take;
        if (chunk.size() == kChunk) feed();
      }
    }
    feed();
    out_bytes += stream.finish().size();
  });
  rss_peak = std::max(rss_peak, resident_bytes());

  std::printf("%zu pages, %.1f MB\n", pages.texts.size(), mb);
  std::printf("  quillmoor_convert, page by page       %8.1f MB/s\n", mb / road);
  std::printf("  QuillmoorStream, 4 KB chunks per page %8.1f MB/s\n", mb / chunked);
  std::printf("  all pages as one stream, 4 KB chunks  %8.1f MB/s, %.1f MB of Markdown out\n", mb / joined,
              static_cast<double>(out_bytes) / 1e6);
  std::printf("    most held at once (carry + output not handed out): %zu bytes\n", held);
  std::printf("    peak growth of the resident set while streaming: %.2f MB (input %.1f MB)\n",
              static_cast<double>(rss_peak - rss_before) / 1e6, mb);
  return sink == 0 ? 1 : 0;
}
