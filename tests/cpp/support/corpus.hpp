// Test input from the shared corpus: the real pages and the `#data` cases of
// the html5lib tree-construction files. Empty when the corpus is absent; the
// test then calls TIDEWELL_SKIP_WITHOUT_CORPUS, which skips it, or fails it
// when TIDEWELL_REQUIRE_CORPUS=1 (CI sets it).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace tidewell::test {

inline bool corpus_required() {
  const char* value = std::getenv("TIDEWELL_REQUIRE_CORPUS");
  return value != nullptr && std::string_view(value) == "1";
}

// Ends the calling test for want of the corpus part `what`: skipped, or
// failed when the corpus is required.
#define TIDEWELL_SKIP_WITHOUT_CORPUS(what)                                                          \
  do {                                                                                              \
    if (::tidewell::test::corpus_required()) GTEST_FAIL() << (what) << " not found at " TIDEWELL_CORPUS_DIR; \
    GTEST_SKIP() << (what) << " not found at " TIDEWELL_CORPUS_DIR;                                   \
  } while (0)

inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every page under <corpus>/*/pages/*.html, sorted.
inline std::vector<std::filesystem::path> corpus_pages() {
  namespace fs = std::filesystem;
  std::vector<fs::path> pages;
  const fs::path root = TIDEWELL_CORPUS_DIR;
  if (!fs::is_directory(root)) return pages;
  for (const auto& dir : fs::directory_iterator(root)) {
    const fs::path folder = dir.path() / "pages";
    if (!fs::is_directory(folder)) continue;
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.path().extension() == ".html") pages.push_back(entry.path());
    }
  }
  std::sort(pages.begin(), pages.end());
  return pages;
}

struct Html5libCase {
  std::string where;  // file name and line of its "#data"
  std::string data;   // without the line feed before the next section
};

// The `#data` sections of every .dat file, in file order.
inline std::vector<Html5libCase> html5lib_cases() {
  namespace fs = std::filesystem;
  std::vector<Html5libCase> cases;
  const fs::path dir = fs::path(TIDEWELL_CORPUS_DIR) / "html5lib-tree-construction";
  if (!fs::is_directory(dir)) return cases;
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.path().extension() == ".dat") files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    std::istringstream in(read_file(file));
    std::string line;
    Html5libCase current;
    bool in_data = false;
    std::size_t number = 0;
    auto flush = [&] {
      if (!in_data) return;
      if (!current.data.empty() && current.data.back() == '\n') current.data.pop_back();
      cases.push_back(std::move(current));
      current = Html5libCase{};
    };
    while (std::getline(in, line)) {
      ++number;
      if (line.starts_with("#")) {
        flush();
        in_data = line == "#data";
        if (in_data) current.where = file.filename().string() + ":" + std::to_string(number);
        continue;
      }
      if (in_data) current.data.append(line).append("\n");
    }
    flush();
  }
  return cases;
}

}  // namespace tidewell::test
