// How the time of the HTML5 parse, of the repair and of a whole conversion
// grows with the input: each shape is run at n and 2n and the ratio of the
// times printed (2.0 is linear; 4.0 would be quadratic). Then the streaming
// converter's own shapes at n and 4n (4.0 is linear, 16.0 quadratic): at
// once, and fed in chunks of 7 bytes and of 4 KB.
//
//   scaling_bench [--rounds N]
//
// Each time is the best of N runs (default 3).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "converter/entry/convert_entry.hpp"
#include "converter/repair/repair.hpp"
#include "html5/parser.hpp"
#include "streaming/quillmoor.hpp"

using namespace tidewell;

namespace {

std::string repeat(const std::string& s, std::size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (std::size_t i = 0; i < n; ++i) out += s;
  return out;
}

struct Shape {
  const char* name;
  std::size_t n;
  std::function<std::string(std::size_t)> make;
};

double best_time(int rounds, const std::function<void()>& run) {
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    const auto t0 = std::chrono::steady_clock::now();
    run();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Args args = bench::parse_args(argc, argv, 3);
  const std::string comment = "<!-- c -->";
  const std::vector<Shape> shapes = {
      {"misnested formatting", 100000,
       [&](std::size_t n) { return comment + repeat("<b><i>x</b>y</i>", n); }},
      {"formatting end tags over blocks", 20000,
       [&](std::size_t n) { return comment + "<a>" + repeat("<div>", n) + repeat("</a>", n); }},
      {"formatting over inline, then block", 20000,
       [&](std::size_t n) { return comment + "<a>" + repeat("<span>", n) + repeat("<div>", n) + "</a>"; }},
      {"unclosed formatting, all distinct", 20000,
       [&](std::size_t n) {
         std::string s = comment;
         for (std::size_t i = 0; i < n; ++i) s += "<font color=c" + std::to_string(i) + ">x";
         return s;
       }},
      {"list items under deep blocks", 20000,
       [&](std::size_t n) { return comment + repeat("<div>", n) + repeat("<li>x</li>", n); }},
      {"stray end tags under deep inline", 20000,
       [&](std::size_t n) { return comment + repeat("<span>", n) + repeat("</x-y></i>", n); }},
      {"stray end tags in deep svg", 20000,
       [&](std::size_t n) { return comment + "<svg>" + repeat("<g>", n) + repeat("</x>", n); }},
      {"tables under deep blocks", 20000,
       [&](std::size_t n) { return comment + repeat("<div>", n) + repeat("<table></table>", n); }},
      {"unclosed formatting", 100000,
       [&](std::size_t n) { return comment + repeat("<b><i><u class=a>x", n); }},
      {"unclosed tables", 100000,
       [&](std::size_t n) { return comment + repeat("<table><tr><td>x", n); }},
      {"foster-parented text", 100000,
       [&](std::size_t n) { return comment + "<table>" + repeat("text <b>bold</b><tr><td>c</td></tr>", n); }},
      {"deep nesting (div)", 500000, [&](std::size_t n) { return comment + repeat("<div>", n); }},
      {"nested lists after a comment", 20000,
       [&](std::size_t n) { return comment + repeat("<ul><li>", n) + "x" + repeat("</li></ul>", n); }},
      {"keyboard spans after code spans", 20000,
       [&](std::size_t n) { return comment + "<p>" + repeat("<code>a`</code><kbd>k</kbd>", n); }},
      {"code blocks nested in a cell", 20000,
       [&](std::size_t n) { return comment + "<table><tr><td>" + repeat("<pre>a", n); }},
      {"many distinct attributes", 16000,
       [&](std::size_t n) {
         std::string s = comment + "<p";
         for (std::size_t i = 0; i < n; ++i) s += " a" + std::to_string(i) + "=v";
         return s + ">x</p>";
       }},
  };
  std::printf("%-30s %9s %10s %10s %7s %10s %10s %7s\n", "shape", "n", "parse n", "parse 2n", "ratio",
              "convert n", "conv. 2n", "ratio");
  for (const Shape& shape : shapes) {
    const std::string small = shape.make(shape.n);
    const std::string large = shape.make(2 * shape.n);
    std::size_t sink = 0;
    auto parse = [&](const std::string& s) {
      return best_time(args.rounds, [&] { sink += html5::parse_document(s).size(); });
    };
    auto convert = [&](const std::string& s) {
      return best_time(args.rounds, [&] {
        auto out = convert_entry(s, ConversionOptions{});
        if (out) sink += out.value().content->size();
      });
    };
    const double p1 = parse(small), p2 = parse(large);
    const double c1 = convert(small), c2 = convert(large);
    std::printf("%-30s %9zu %9.3fs %9.3fs %7.2f %9.3fs %9.3fs %7.2f\n", shape.name, shape.n, p1, p2, p2 / p1, c1,
                c2, c2 / c1);
    if (sink == 0) std::fprintf(stderr, "no output\n");
  }

  // Runs of markers in text, and code spans side by side whose text holds
  // a backtick (each may change the fence of the span they make).
  const std::vector<Shape> stream_shapes = {
      {"run of '*'", 64000, [](std::size_t n) { return "<p>" + std::string(n, '*') + "</p>"; }},
      {"run of '_'", 64000, [](std::size_t n) { return "<p>" + std::string(n, '_') + "</p>"; }},
      {"run of '**'", 32000, [](std::size_t n) { return "<p>" + repeat("**", n) + "</p>"; }},
      {"code spans of '`'", 64000, [](std::size_t n) { return "<p>" + repeat("<code>`</code>", n) + "</p>"; }},
      {"code spans of 'a`'", 64000, [](std::size_t n) { return "<p>" + repeat("<code>a`</code>", n) + "</p>"; }},
      {"code spans of ' `` '", 64000, [](std::size_t n) { return "<p>" + repeat("<code> `` </code>", n) + "</p>"; }},
  };
  std::printf("\n%-30s %9s %10s %10s %7s %10s %10s %7s %10s %10s %7s\n", "streaming shape", "n", "at once n",
              "4n", "ratio", "7 B n", "4n", "ratio", "4 KB n", "4n", "ratio");
  for (const Shape& shape : stream_shapes) {
    const std::string small = shape.make(shape.n);
    const std::string large = shape.make(4 * shape.n);
    std::size_t sink = 0;
    auto at_once = [&](const std::string& s) {
      return best_time(args.rounds, [&] { sink += streaming::quillmoor_convert(s).size(); });
    };
    auto chunked = [&](const std::string& s, std::size_t size) {
      return best_time(args.rounds, [&] {
        streaming::QuillmoorStream stream;
        for (std::size_t at = 0; at < s.size(); at += size) sink += stream.process_chunk(s.substr(at, size)).size();
        sink += stream.finish().size();
      });
    };
    const double w1 = at_once(small), w2 = at_once(large);
    const double s1 = chunked(small, 7), s2 = chunked(large, 7);
    const double k1 = chunked(small, 4096), k2 = chunked(large, 4096);
    std::printf("%-30s %9zu %9.3fs %9.3fs %7.2f %9.3fs %9.3fs %7.2f %9.3fs %9.3fs %7.2f\n", shape.name, shape.n, w1,
                w2, w2 / w1, s1, s2, s2 / s1, k1, k2, k2 / k1);
    if (sink == 0) std::fprintf(stderr, "no output\n");
  }
  return 0;
}
