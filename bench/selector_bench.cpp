// Selector matching throughput: every node of every page tested against a
// set of typical `exclude_selectors` texts, as a conversion does.
//
//   selector_bench [--rounds N] [DIR...]
//
// Default directories: the page folders of /work/shared/corpus. Pages are
// parsed once per backend outside the timing; prints node tests per second
// per backend (best round) and the number of matches.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "html_parser/parser.hpp"
#include "html_parser/queryselector/queryselector.hpp"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::vector<std::string> load_pages(const std::vector<std::string>& dirs) {
  std::vector<fs::path> files;
  for (const std::string& dir : dirs) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      if (it->is_regular_file()) files.push_back(it->path());
    }
  }
  std::sort(files.begin(), files.end());
  std::vector<std::string> pages;
  for (const fs::path& f : files) {
    std::ifstream in(f, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    pages.push_back(ss.str());
  }
  return pages;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tidewell;
  int rounds = 5;
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
  const std::vector<std::string> pages = load_pages(dirs);
  if (pages.empty()) {
    std::fprintf(stderr, "no pages found\n");
    return 1;
  }
  const std::vector<std::string> texts = {
      "nav", ".ad", "#comments", "div.sidebar", "[aria-hidden=true]", "[class~=share]",
      "[href^=javascript:]", "[src*=ads]", "script", "footer",
  };
  for (auto [name, backend] : {std::pair{"copperfern-tl", ParserBackend::Copperfern},
                               std::pair{"asm_tl", ParserBackend::AsmTl}}) {
    std::vector<ParseResult> docs;
    std::size_t nodes = 0;
    for (const std::string& page : pages) {
      ParseResult r = parse_document(backend, page);
      if (!r) continue;
      nodes += r.dom().nodes.size();
      docs.push_back(std::move(r));
    }
    std::vector<queryselector::Selector> selectors;
    for (const std::string& t : texts) {
      if (auto s = queryselector::parse_query_selector(t, backend)) selectors.push_back(std::move(*s));
    }
    std::size_t matched = 0;
    double best = 1e30;
    for (int r = 0; r < rounds; ++r) {
      matched = 0;
      const auto t0 = Clock::now();
      for (const ParseResult& doc : docs) {
        const TlDom& dom = doc.dom();
        for (const queryselector::Selector& s : selectors) {
          for (NodeHandle h = 0; h < dom.nodes.size(); ++h) {
            matched += queryselector::node_matches_selector(s, dom, h) ? 1 : 0;
          }
        }
      }
      best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    const double tests = static_cast<double>(nodes) * selectors.size();
    std::printf("%-14s %zu pages, %zu nodes, %zu selectors: %.1f M node tests/s (%.3f s), %zu matches\n",
                name, docs.size(), nodes, selectors.size(), tests / best / 1e6, best, matched);
  }
  return 0;
}
