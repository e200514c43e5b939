// Parse throughput of both parser backends over directories of HTML pages.
//
//   parse_bench [--rounds N] [DIR...]
//
// Default directories: the page folders of /work/shared/corpus. Prints MB/s
// and pages/s per backend (best round), and the asm_tl tokenizer alone per
// scan path.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "html_parser/asm_tl/tokenizer.hpp"
#include "html_parser/parser.hpp"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::vector<std::string> load_pages(const std::vector<std::string>& dirs, std::size_t& bytes) {
  std::vector<fs::path> files;
  for (const std::string& dir : dirs) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      if (it->is_regular_file()) files.push_back(it->path());
    }
  }
  std::sort(files.begin(), files.end());
  std::vector<std::string> pages;
  bytes = 0;
  for (const fs::path& f : files) {
    std::ifstream in(f, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    pages.push_back(ss.str());
    bytes += pages.back().size();
  }
  return pages;
}

template <class F>
double best_seconds(int rounds, F&& body) {
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    const auto t0 = Clock::now();
    body();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
  }
  return best;
}

void report(const char* what, double seconds, std::size_t bytes, std::size_t pages) {
  std::printf("%-28s %9.1f MB/s %10.0f pages/s  (%.3f s per round)\n", what, bytes / seconds / 1e6,
              pages / seconds, seconds);
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 10;
  std::vector<std::string> dirs;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else {
      dirs.push_back(arg);
    }
  }
  if (dirs.empty()) {
    for (const char* d : {"readability", "trafilatura", "article-extraction-benchmark"}) {
      dirs.push_back(std::string("/work/shared/corpus/") + d + "/pages");
    }
  }
  std::size_t bytes = 0;
  const std::vector<std::string> pages = load_pages(dirs, bytes);
  if (pages.empty()) {
    std::fprintf(stderr, "no pages found\n");
    return 1;
  }
  std::printf("%zu pages, %.1f MB, best of %d rounds\n", pages.size(), bytes / 1e6, rounds);

  // asm_tl refuses pages with "<!" declarations other than comments and
  // DOCTYPE (CDATA sections, "<![endif]>", ...), so both backends are also
  // timed over the pages that asm_tl accepts.
  std::vector<std::string> accepted;
  std::size_t accepted_bytes = 0;
  for (const std::string& page : pages) {
    if (tidewell::asm_tl::parse_document(page)) {
      accepted.push_back(page);
      accepted_bytes += page.size();
    }
  }
  std::printf("asm_tl accepts %zu pages, %.1f MB\n", accepted.size(), accepted_bytes / 1e6);

  struct PageSet {
    const char* name;
    const std::vector<std::string>* pages;
    std::size_t bytes;
  };
  for (const PageSet& page_set : {PageSet{"all pages", &pages, bytes},
                                  PageSet{"pages asm_tl accepts", &accepted, accepted_bytes}}) {
    const char* set_name = page_set.name;
    const std::vector<std::string>* set = page_set.pages;
    const std::size_t set_bytes = page_set.bytes;
    std::printf("-- %s\n", set_name);
    for (auto [name, backend] : {std::pair{"copperfern-tl", tidewell::ParserBackend::Copperfern},
                                 std::pair{"asm_tl", tidewell::ParserBackend::AsmTl}}) {
      std::size_t failures = 0;
      std::size_t nodes = 0;
      const double s = best_seconds(rounds, [&] {
        failures = 0;
        nodes = 0;
        for (const std::string& page : *set) {
          tidewell::ParseResult r = tidewell::parse_document(backend, page);
          if (r) {
            nodes += r.dom().nodes.size();
          } else {
            ++failures;
          }
        }
      });
      report(name, s, set_bytes, set->size());
      std::printf("%-28s %zu nodes, %zu failed parses\n", "", nodes, failures);
    }
  }

  // The tokenizer alone, into arrays sized once for the largest page.
  std::printf("-- asm_tl tokenizer alone, pages asm_tl accepts\n");
  std::size_t largest = 0;
  for (const std::string& page : accepted) largest = std::max(largest, page.size());
  const std::size_t cap = largest + 1;
  auto tokens = std::make_unique<tidewell::asm_tl::AsmToken[]>(cap);
  auto attributes = std::make_unique<tidewell::asm_tl::AsmAttribute[]>(cap);
  auto stack = std::make_unique<std::uint32_t[]>(cap);
  using tidewell::asm_tl::ScanPath;
  for (auto [name, path] : {std::pair{"asm_tl tokenizer, scalar", ScanPath::Scalar},
                            std::pair{"asm_tl tokenizer, portable", ScanPath::Portable}}) {
    const double s = best_seconds(rounds, [&] {
      for (const std::string& page : accepted) {
        tidewell::asm_tl::TokenBuffers b{tokens.get(), cap, 0, attributes.get(), cap, 0, stack.get(), cap, 0, 0};
        tidewell::asm_tl::tokenize_html_with(path, page.data(), page.size(), b);
      }
    });
    report(name, s, accepted_bytes, accepted.size());
  }
  return 0;
}
