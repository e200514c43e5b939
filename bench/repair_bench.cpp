// Throughput of the preprocessing passes and of the HTML repair over the
// corpus pages.
//
//   repair_bench [--rounds N] [DIR ...]
//
// N, the passes of the preprocessing over the pages, defaults to 5; the repair
// runs once over them. With no DIR, every page folder of the corpus
// (../shared/corpus/*/pages beside the source tree).
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "converter/repair/prepare.hpp"
#include "converter/repair/repair.hpp"
#include "converter/preprocess/preprocessing.hpp"

int main(int argc, char** argv) {
  const bench::Args args = bench::parse_args(argc, argv, 5);
  const bench::Pages corpus = bench::require_pages(args.dirs);
  const std::vector<std::string>& pages = corpus.texts;
  const std::size_t total = corpus.bytes;
  using clock = std::chrono::steady_clock;
  auto mbps = [&](double seconds, int rounds) { return total * rounds / seconds / 1e6; };

  std::size_t sink = 0;
  const int pre_rounds = args.rounds;
  auto t0 = clock::now();
  for (int r = 0; r < pre_rounds; ++r) {
    for (const auto& p : pages) {
      auto out = tidewell::run_preprocessing(p);
      sink += out ? out->size() : p.size();
    }
  }
  const double pre = std::chrono::duration<double>(clock::now() - t0).count();

  std::size_t declined = 0;
  t0 = clock::now();
  for (const auto& p : pages) {
    auto out = tidewell::repair_html(p);
    if (out) sink += out->size(); else ++declined;
  }
  const double rep = std::chrono::duration<double>(clock::now() - t0).count();

  std::printf("pages: %zu, %.1f MB\n", pages.size(), total / 1e6);
  std::printf("run_preprocessing: %.1f MB/s\n", mbps(pre, pre_rounds));
  std::printf("repair_html:       %.1f MB/s (%zu pages declined)\n", mbps(rep, 1), declined);
  std::printf("(checksum %zu)\n", sink);
  return 0;
}
