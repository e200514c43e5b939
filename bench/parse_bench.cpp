// Parse throughput of both parser backends over directories of HTML pages.
//
//   parse_bench [--rounds N] [DIR...]
//
// N defaults to 10; with no DIR, every page folder of the corpus
// (../shared/corpus/*/pages beside the source tree). Prints MB/s and pages/s
// per backend (best round), and the asm_tl tokenizer alone per scan path.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "html_parser/asm_tl/tokenizer.hpp"
#include "html_parser/parser.hpp"

namespace {

void report(const char* what, double seconds, std::size_t bytes, std::size_t pages) {
  std::printf("%-28s %9.1f MB/s %10.0f pages/s  (%.3f s per round)\n", what, bytes / seconds / 1e6,
              pages / seconds, seconds);
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Args args = bench::parse_args(argc, argv, 10);
  const int rounds = args.rounds;
  const bench::Pages corpus = bench::require_pages(args.dirs);
  const std::vector<std::string>& pages = corpus.texts;
  const std::size_t bytes = corpus.bytes;
  std::printf("%zu pages, %.1f MB, best of %d rounds\n", pages.size(), bytes / 1e6, rounds);

  // Both backends are also timed over the pages that asm_tl accepts (all
  // of them, since it reads declarations as comments; it refused CDATA
  // sections, "<![endif]>" and the like before).
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
      const double s = bench::best_seconds(rounds, [&] {
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
  auto scopes = std::make_unique<tidewell::ScopeEntry[]>(cap);
  using tidewell::asm_tl::ScanPath;
  for (auto [name, path] : {std::pair{"asm_tl tokenizer, scalar", ScanPath::Scalar},
                            std::pair{"asm_tl tokenizer, portable", ScanPath::Portable}}) {
    const double s = bench::best_seconds(rounds, [&] {
      for (const std::string& page : accepted) {
        tidewell::asm_tl::TokenBuffers b{tokens.get(), cap, 0, attributes.get(), cap, 0,
                                         stack.get(),  cap, 0, 0,                scopes.get(), cap};
        tidewell::asm_tl::tokenize_html_with(path, page.data(), page.size(), b);
      }
    });
    report(name, s, accepted_bytes, accepted.size());
  }
  return 0;
}
