// Where the time goes on the DOM road, over a directory of pages: the text
// passes, the HTML5 repair, the fast parse, the document caches, and the rest
// of the conversion (head metadata, walk, final text), which is the whole
// conversion's time less the stages measured on their own.
//
//   stage_bench [--rounds N] [DIR ...]
//
// N defaults to 3; each stage and the whole conversion count with their best
// time per page over the rounds, so that the remainder stays meaningful on a
// busy machine. With no DIR, every page folder of the corpus
// (../shared/corpus/*/pages beside the source tree).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "converter/dom/dom_context.hpp"
#include "converter/entry/convert_entry.hpp"
#include "converter/repair/repair.hpp"
#include "converter/preprocess/preprocessing.hpp"
#include "converter/document/convert_document.hpp"
#include "html_parser/parser.hpp"

using namespace tidewell;
using Clock = std::chrono::steady_clock;

namespace {

struct Stages {
  double preprocess = 0, repair = 0, parse = 0, caches = 0, total = 0;
};

double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// The text as the road sees it after a repair: repaired, then preprocessed.
std::string after_repair(std::string repaired, Stages& s) {
  const auto t0 = Clock::now();
  auto again = run_preprocessing(repaired);
  s.preprocess += since(t0);
  return again ? std::move(*again) : std::move(repaired);
}

// Steps 1 to 5 of the road, each timed on its own.
void measure_stages(const std::string& page, Stages& s) {
  auto t0 = Clock::now();
  auto pre = run_preprocessing(page);
  s.preprocess += since(t0);
  std::string text = pre ? std::move(*pre) : page;

  if (has_hyphenated_tag_name(text)) {
    t0 = Clock::now();
    std::string repaired = repair_html(text);
    s.repair += since(t0);
    text = after_repair(std::move(repaired), s);
  }
  t0 = Clock::now();
  TlDom dom(text);
  const bool failed = copperfern_tl::parse_nodes(dom).has_value();
  s.parse += since(t0);
  if (failed) return;
  t0 = Clock::now();
  DomContext ctx = build_dom_context(dom.top_level, dom, text.size());
  const bool structural = needs_structural_repair(dom, ctx);
  s.caches += since(t0);
  if (structural) {
    t0 = Clock::now();
    std::string repaired = repair_html(text);
    s.repair += since(t0);
    text = after_repair(std::move(repaired), s);
    t0 = Clock::now();
    ParseResult again = parse_document(ParserBackend::Copperfern, text);
    s.parse += since(t0);
    if (again) {
      t0 = Clock::now();
      DomContext ctx2 = build_dom_context(again.dom().top_level, again.dom(), text.size());
      s.caches += since(t0);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Args args = bench::parse_args(argc, argv, 3);
  const int rounds = args.rounds;
  const bench::Pages corpus = bench::require_pages(args.dirs);
  const std::vector<std::string>& pages = corpus.texts;
  const std::size_t bytes = corpus.bytes;

  // Per page, the best of every stage and of the whole over the rounds.
  std::vector<Stages> page_best(pages.size());
  for (auto& b : page_best) b = Stages{1e300, 1e300, 1e300, 1e300, 1e300};
  std::size_t sink = 0;
  for (int r = 0; r < rounds; ++r) {
    for (std::size_t i = 0; i < pages.size(); ++i) {
      Stages s;
      measure_stages(pages[i], s);
      const auto t0 = Clock::now();
      Outcome<ConversionResult> out = convert_entry(pages[i], ConversionOptions{});
      s.total = since(t0);
      if (out) sink += out.value().content->size();
      Stages& b = page_best[i];
      b.preprocess = std::min(b.preprocess, s.preprocess);
      b.repair = std::min(b.repair, s.repair);
      b.parse = std::min(b.parse, s.parse);
      b.caches = std::min(b.caches, s.caches);
      b.total = std::min(b.total, s.total);
    }
  }
  if (sink == 0) std::fprintf(stderr, "no output\n");
  Stages best;
  for (const Stages& b : page_best) {
    best.preprocess += b.preprocess;
    best.repair += b.repair;
    best.parse += b.parse;
    best.caches += b.caches;
    best.total += b.total;
  }
  const double rest = std::max(0.0, best.total - best.preprocess - best.repair - best.parse - best.caches);
  const double mb = bytes / 1e6;
  std::printf("DOM road, default options: %zu pages, %.1f MB, %.2f s, %.1f MB/s (best per page of %d)\n",
              pages.size(), mb, best.total, mb / best.total, rounds);
  auto row = [&](const char* name, double t) {
    std::printf("  %-40s %7.3f s  %5.1f %%\n", name, t, 100.0 * t / best.total);
  };
  row("preprocessing passes", best.preprocess);
  row("HTML5 repair (parse and write back)", best.repair);
  row("fast parse (copperfern-tl)", best.parse);
  row("document caches and structural check", best.caches);
  row("head metadata, walk and final text", rest);
  return 0;
}
