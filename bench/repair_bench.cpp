// Throughput of the preprocessing passes and of the HTML repair over the
// corpus pages. Usage: repair_bench [corpus-dir] (default ../shared/corpus
// relative to the source tree).
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "converter/repair/prepare.hpp"
#include "converter/repair/repair.hpp"
#include "converter/utility/preprocessing.hpp"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  const fs::path root = argc > 1 ? fs::path(argv[1]) : fs::path("/work/shared/corpus");
  std::vector<std::string> pages;
  std::size_t total = 0;
  for (const auto& group : fs::directory_iterator(root)) {
    const fs::path dir = group.path() / "pages";
    if (!fs::is_directory(dir)) continue;
    for (const auto& e : fs::directory_iterator(dir)) {
      if (e.path().extension() != ".html") continue;
      std::ifstream in(e.path(), std::ios::binary);
      std::ostringstream ss;
      ss << in.rdbuf();
      pages.push_back(ss.str());
      total += pages.back().size();
    }
  }
  if (pages.empty()) {
    std::fprintf(stderr, "no pages under %s\n", root.c_str());
    return 1;
  }
  using clock = std::chrono::steady_clock;
  auto mbps = [&](double seconds, int rounds) { return total * rounds / seconds / 1e6; };

  std::size_t sink = 0;
  const int pre_rounds = 5;
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
