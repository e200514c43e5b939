// What the C++ benchmarks share: the command line
//
//   NAME [--rounds N] [DIR ...]
//
// (N at least 1; with no DIR, every page folder of the corpus beside the
// source tree, ../shared/corpus/*/pages), loading the `*.html` pages of those
// folders, and timing the best of several rounds.
#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#ifndef TIDEWELL_SOURCE_DIR
#error "TIDEWELL_SOURCE_DIR must name the source tree (CMakeLists.txt defines it for every bench)"
#endif

namespace bench {

struct Pages {
  std::vector<std::string> texts;
  std::size_t bytes = 0;
};

struct Args {
  int rounds;
  std::vector<std::filesystem::path> dirs;
};

namespace detail {

[[noreturn]] inline void usage_error(const std::string& program, const std::string& why) {
  std::fprintf(stderr, "%s: %s\nusage: %s [--rounds N] [DIR ...]\n", program.c_str(), why.c_str(),
               program.c_str());
  std::exit(2);
}

// Every `pages` folder one level below the corpus root, sorted.
inline std::vector<std::filesystem::path> corpus_page_dirs() {
  namespace fs = std::filesystem;
  const fs::path root = (fs::path(TIDEWELL_SOURCE_DIR) / ".." / "shared" / "corpus").lexically_normal();
  std::vector<fs::path> dirs;
  std::error_code ec;
  for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path pages = it->path() / "pages";
    std::error_code dir_ec;
    if (fs::is_directory(pages, dir_ec)) dirs.push_back(pages);
  }
  std::sort(dirs.begin(), dirs.end());
  return dirs;
}

}  // namespace detail

inline Args parse_args(int argc, char** argv, int default_rounds) {
  namespace fs = std::filesystem;
  const std::string program = argc > 0 ? fs::path(argv[0]).filename().string() : std::string("bench");
  Args args{default_rounds, {}};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--rounds") {
      if (i + 1 >= argc) detail::usage_error(program, "--rounds needs a number");
      const char* text = argv[++i];
      char* end = nullptr;
      errno = 0;
      const long n = std::strtol(text, &end, 10);
      if (end == text || *end != '\0' || errno != 0 || n < 1 || n > INT_MAX) {
        detail::usage_error(program, std::string("--rounds takes a whole number of at least 1, not '") + text + "'");
      }
      args.rounds = static_cast<int>(n);
    } else if (arg == "-h" || arg == "--help") {
      std::printf("usage: %s [--rounds N] [DIR ...]\n", program.c_str());
      std::exit(0);
    } else if (arg.size() > 1 && arg[0] == '-') {
      detail::usage_error(program, "unknown option " + arg);
    } else {
      std::error_code ec;
      if (!fs::is_directory(arg, ec)) detail::usage_error(program, "not a folder: " + arg);
      args.dirs.emplace_back(arg);
    }
  }
  if (args.dirs.empty()) args.dirs = detail::corpus_page_dirs();
  return args;
}

// Every `*.html` regular file of `dirs`, sorted by path, read as bytes.
inline Pages load_pages(const std::vector<std::filesystem::path>& dirs) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (const fs::path& dir : dirs) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code file_ec;
      if (it->path().extension() == ".html" && it->is_regular_file(file_ec)) files.push_back(it->path());
    }
  }
  std::sort(files.begin(), files.end());
  Pages pages;
  pages.texts.reserve(files.size());
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot read %s\n", file.c_str());
      std::exit(1);
    }
    pages.texts.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    pages.bytes += pages.texts.back().size();
  }
  return pages;
}

// load_pages(dirs), ending the program with a message when there is no page.
inline Pages require_pages(const std::vector<std::filesystem::path>& dirs) {
  Pages pages = load_pages(dirs);
  if (pages.texts.empty()) {
    std::fprintf(stderr, "no pages found\n");
    std::exit(1);
  }
  return pages;
}

// The shortest wall time of `rounds` runs of `body`, in seconds.
template <class F>
double best_seconds(int rounds, F&& body) {
  using Clock = std::chrono::steady_clock;
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    const auto t0 = Clock::now();
    body();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
  }
  return best;
}

}  // namespace bench
