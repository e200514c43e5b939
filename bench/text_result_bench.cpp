// Throughput of whitespace folding, Markdown escaping and result JSON
// writing over HTML pages (taken as plain text).
//
//   text_result_bench [--rounds N] [DIR ...]
//
// N, the passes over the pages (total time), defaults to 5; with no DIR,
// every page folder of the corpus (../shared/corpus/*/pages beside the source
// tree).
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "converter/text/processing.hpp"
#include "result/result_writer.hpp"

using namespace tidewell;

namespace {

template <class F>
void run(const char* label, const std::vector<std::string>& pages, std::size_t bytes, int rounds, F&& f) {
  std::size_t sink = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; ++r)
    for (const std::string& page : pages) sink += f(page);
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-28s %8.1f MB/s  (sink %zu)\n", label, bytes * static_cast<double>(rounds) / secs / 1e6, sink);
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Args args = bench::parse_args(argc, argv, 5);
  const int rounds = args.rounds;
  const bench::Pages corpus = bench::require_pages(args.dirs);
  const std::vector<std::string>& pages = corpus.texts;
  const std::size_t bytes = corpus.bytes;
  std::printf("%zu pages, %.1f MB, %d rounds\n", pages.size(), bytes / 1e6, rounds);

  run("collapse_whitespace", pages, bytes, rounds, [](const std::string& p) {
    auto out = collapse_whitespace(p);
    return out ? out->size() : p.size();
  });
  ConversionOptions misc;
  misc.escape_misc = true;
  run("escape_markdown misc", pages, bytes, rounds, [&](const std::string& p) {
    auto out = escape_markdown(p, EscapeMode::Text, misc);
    return out ? out->size() : p.size();
  });
  ConversionOptions ascii;
  ascii.escape_ascii = true;
  run("escape_markdown ascii", pages, bytes, rounds, [&](const std::string& p) {
    auto out = escape_markdown(p, EscapeMode::Text, ascii);
    return out ? out->size() : p.size();
  });
  std::vector<ConversionResult> results(pages.size());
  for (std::size_t i = 0; i < pages.size(); ++i) results[i].content = pages[i];
  std::string buf;
  std::size_t next = 0;
  run("serialize_conversion_result", pages, bytes, rounds, [&](const std::string&) {
    buf.clear();
    serialize_conversion_result(results[next++ % results.size()], buf);
    return buf.size();
  });
  return 0;
}
