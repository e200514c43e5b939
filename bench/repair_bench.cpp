// Throughput of the preprocessing passes, of the HTML5 parser (tokenizer
// alone, and tokenizer with tree builder), of the repair's own steps (the
// self-closing rewrite, writing the tree back) and of the whole HTML repair
// over the corpus pages.
//
//   repair_bench [--rounds N] [DIR ...]
//
// Each figure is the best of N rounds (default 5) over all the pages. With no
// DIR, every page folder of the corpus (../shared/corpus/*/pages beside the
// source tree).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "converter/preprocess/preprocessing.hpp"
#include "converter/repair/repair.hpp"
#include "converter/repair/serialize.hpp"
#include "html5/parser.hpp"
#include "html5/tokenizer.hpp"

int main(int argc, char** argv) {
  const bench::Args args = bench::parse_args(argc, argv, 5);
  const bench::Pages corpus = bench::require_pages(args.dirs);
  const std::vector<std::string>& pages = corpus.texts;
  const std::size_t total = corpus.bytes;
  using clock = std::chrono::steady_clock;
  std::size_t sink = 0;

  // Best of the rounds, in MB/s.
  auto measure = [&](auto&& one_page) {
    double best = 1e30;
    for (int r = 0; r < args.rounds; ++r) {
      const auto t0 = clock::now();
      for (const auto& p : pages) sink += one_page(p);
      best = std::min(best, std::chrono::duration<double>(clock::now() - t0).count());
    }
    return total / best / 1e6;
  };

  const double pre = measure([](const std::string& p) {
    auto out = tidewell::run_preprocessing(p);
    return out ? out->size() : p.size();
  });
  const double tokenize = measure([](const std::string& p) {
    tidewell::html5::Tokenizer tok(p);
    std::size_t n = 0;
    while (tok.next().type != tidewell::html5::TokenType::Eof) ++n;
    return n;
  });
  const double parse = measure([](const std::string& p) { return tidewell::html5::parse_document(p).size(); });
  const double rewrite = measure([](const std::string& p) {
    auto out = tidewell::rewrite_self_closing_tags(p);
    return out ? out->size() : 0;
  });
  std::vector<tidewell::html5::Document> docs;
  for (const auto& p : pages) docs.push_back(tidewell::html5::parse_document(p));
  std::size_t page_index = 0;
  const double write = measure([&](const std::string& p) {
    std::string out;
    out.reserve(p.size() + p.size() / 8 + 64);
    tidewell::repair::serialize_document(docs[page_index++ % docs.size()], out);
    return out.size();
  });
  const double repair = measure([&](const std::string& p) { return tidewell::repair_html(p).size(); });

  std::printf("pages: %zu, %.1f MB, best of %d rounds\n", pages.size(), total / 1e6, args.rounds);
  std::printf("run_preprocessing:               %7.1f MB/s\n", pre);
  std::printf("HTML5 tokenizer alone:           %7.1f MB/s\n", tokenize);
  std::printf("HTML5 parse (tokenizer + tree):  %7.1f MB/s\n", parse);
  std::printf("self-closing rewrite alone:      %7.1f MB/s\n", rewrite);
  std::printf("writing the tree back alone:     %7.1f MB/s\n", write);
  std::printf("repair_html (all of it):         %7.1f MB/s\n", repair);
  std::printf("(checksum %zu)\n", sink);
  return 0;
}
