// Selector matching throughput: every node of every page tested against a
// set of typical `exclude_selectors` texts, as a conversion does.
//
//   selector_bench [--rounds N] [DIR...]
//
// N defaults to 5; with no DIR, every page folder of the corpus
// (../shared/corpus/*/pages beside the source tree). Pages are parsed once per
// backend outside the timing; prints node tests per second per backend (best
// round) and the number of matches.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "bench_support.hpp"
#include "html_parser/parser.hpp"
#include "html_parser/queryselector/queryselector.hpp"

int main(int argc, char** argv) {
  using namespace tidewell;
  const bench::Args args = bench::parse_args(argc, argv, 5);
  const std::vector<std::string> pages = bench::require_pages(args.dirs).texts;
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
    const double best = bench::best_seconds(args.rounds, [&] {
      matched = 0;
      for (const ParseResult& doc : docs) {
        const TlDom& dom = doc.dom();
        for (const queryselector::Selector& s : selectors) {
          for (NodeHandle h = 0; h < dom.nodes.size(); ++h) {
            matched += queryselector::node_matches_selector(s, dom, h) ? 1 : 0;
          }
        }
      }
    });
    const double tests = static_cast<double>(nodes) * selectors.size();
    std::printf("%-14s %zu pages, %zu nodes, %zu selectors: %.1f M node tests/s (%.3f s), %zu matches\n",
                name, docs.size(), nodes, selectors.size(), tests / best / 1e6, best, matched);
  }
  return 0;
}
