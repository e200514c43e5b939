// The fast roads against the DOM road: the tier-1 scanner (the "auto" road
// with options it implements) and the fast_dom road, each over the pages it
// accepts, beside the DOM road ("tier2") over the same pages.
//
//   fast_roads_bench [--rounds N] [DIR...]
//
// N defaults to 5; with no DIR, every page folder of the corpus. Prints how
// many pages each road accepts (with the scanner's reasons for giving up),
// then MB/s on one core. Real pages nearly always hold a head, a script or a
// custom element, on which the scanner gives up by design; so it is also
// timed over a synthetic page (the CommonMark spec examples' HTML that it
// accepts, joined and repeated to 2 MB), and bench/render_pages.py writes the
// corpus pages' text in the simple markup it converts, to pass as DIR.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "bench_support.hpp"
#include "common/json_value.hpp"
#include "common/utf8.hpp"
#include "converter/entry/convert_entry.hpp"
#include "converter/entry/input_guard.hpp"
#include "converter/entry/prescan.hpp"
#include "converter/tier1/scanner.hpp"

namespace {

using namespace tidewell;

ConversionOptions tier1_options() {
  ConversionOptions o;
  o.code_block_style = CodeBlockStyle::Indented;
  o.highlight_style = HighlightStyle::None;
  return o;
}

ConversionOptions with_road(ConversionOptions o, TierStrategy road, ParserBackend backend) {
  o.tier_strategy = road;
  o.parser_backend = backend;
  return o;
}

// Valid UTF-8 as the module would receive it (Latin-1 pages widened).
std::string as_text(const std::string& bytes) {
  if (is_valid_utf8(bytes)) return bytes;
  std::string text;
  for (unsigned char c : bytes) append_utf8(text, c);
  return text;
}

// Why the auto road does not keep the scanner's text, or "" when it does.
std::string tier1_verdict(const std::string& html, const ConversionOptions& options) {
  PreparedInput prepared = prepare_input(html);
  if (prepared.refusal) return "refused input";
  const std::string_view text = prepared.text(html);
  const Prescan prescan = prescan_input(text);
  const PrescanSummary& s = prescan.summary;
  if (s.custom_element) return "prescan: custom element";
  if (s.svg) return "prescan: svg";
  if (s.cdata) return "prescan: cdata";
  if (s.escaped_lt) return "prescan: stray '<'";
  const Tier1Outcome out = scan_tier1(prescan.scan_text(text), s.head_span, options);
  if (const auto* bail = std::get_if<Tier1Bailout>(&out)) {
    std::string why = "scanner: " + std::string(tier1_reason_name(bail->reason));
    if (!bail->name.empty() && bail->name.size() < 12) why += " (" + bail->name + ")";
    return why;
  }
  return "";
}

struct Set {
  std::vector<std::string> pages;
  std::size_t bytes = 0;
  void add(const std::string& page) {
    pages.push_back(page);
    bytes += page.size();
  }
};

void time_road(const char* what, const Set& set, const ConversionOptions& options, int rounds) {
  if (set.pages.empty()) {
    std::printf("  %-34s (no page)\n", what);
    return;
  }
  std::size_t out_bytes = 0;
  const double s = bench::best_seconds(rounds, [&] {
    out_bytes = 0;
    for (const std::string& page : set.pages) {
      Outcome<ConversionResult> r = convert_entry(page, options);
      if (r.ok() && r.value().content) out_bytes += r.value().content->size();
    }
  });
  std::printf("  %-34s %8.1f MB/s  %9.0f pages/s  (%.4f s, %.1f MB out)\n", what, set.bytes / s / 1e6,
              set.pages.size() / s, s, out_bytes / 1e6);
}

// The CommonMark examples' HTML that the scanner accepts, joined while the
// whole stays accepted.
std::string synthetic_page(const ConversionOptions& options) {
  const std::filesystem::path path =
      std::filesystem::path(TIDEWELL_SOURCE_DIR) / ".." / "shared" / "corpus" / "commonmark" / "examples.json";
  std::ifstream in(path, std::ios::binary);
  const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::optional<JsonValue> examples = parse_json_value(json);
  if (!examples || !examples->is_array()) return {};
  std::string page;
  for (const JsonValue& example : *examples->as_array()) {
    const std::string* html = example.string_member("html");
    if (html == nullptr || !tier1_verdict(*html, options).empty()) continue;
    std::string candidate = page + *html + "\n";
    if (tier1_verdict(candidate, options).empty()) page = std::move(candidate);
  }
  return page;
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Args args = bench::parse_args(argc, argv, 5);
  const bench::Pages corpus = bench::require_pages(args.dirs);
  std::vector<std::string> pages;
  for (const std::string& bytes : corpus.texts) pages.push_back(as_text(bytes));
  std::printf("%zu pages, %.1f MB, best of %d rounds, one core\n", pages.size(), corpus.bytes / 1e6, args.rounds);

  const ConversionOptions tier1 = tier1_options();
  const ConversionOptions tier2 = with_road(tier1, TierStrategy::Tier2, ParserBackend::Copperfern);

  // The tier-1 scanner.
  Set scanned;
  std::map<std::string, std::size_t> reasons;
  for (const std::string& page : pages) {
    const std::string verdict = tier1_verdict(page, tier1);
    if (verdict.empty()) {
      scanned.add(page);
    } else {
      ++reasons[verdict];
    }
  }
  std::printf("\ntier-1 scanner accepts %zu of %zu pages; it gives up on the others at:\n", scanned.pages.size(),
              pages.size());
  std::vector<std::pair<std::size_t, std::string>> sorted;
  for (const auto& [why, count] : reasons) sorted.emplace_back(count, why);
  std::sort(sorted.rbegin(), sorted.rend());
  for (const auto& [count, why] : sorted) std::printf("  %5zu  %s\n", count, why.c_str());
  std::printf("-- the pages the scanner accepts (%.2f MB)\n", scanned.bytes / 1e6);
  time_road("auto (tier-1 scanner)", scanned, tier1, args.rounds);
  time_road("tier2 (DOM road)", scanned, tier2, args.rounds);

  Set synthetic;
  const std::string joined = synthetic_page(tier1);
  if (!joined.empty()) {
    std::string page;
    while (page.size() < 2'000'000) page += joined;
    synthetic.add(page);
    std::printf("-- synthetic: CommonMark examples the scanner accepts, joined (%.1f KB) x %zu = %.2f MB\n",
                joined.size() / 1e3, page.size() / joined.size(), page.size() / 1e6);
    time_road("auto (tier-1 scanner)", synthetic, tier1, args.rounds);
    time_road("fast_dom (copperfern-tl)",
              synthetic, with_road(ConversionOptions{}, TierStrategy::FastDom, ParserBackend::Copperfern),
              args.rounds);
    time_road("tier2 (DOM road)", synthetic, tier2, args.rounds);
  }

  // The fast_dom road over each backend.
  for (auto [name, backend] : {std::pair{"copperfern-tl", ParserBackend::Copperfern},
                               std::pair{"asm_tl", ParserBackend::AsmTl}}) {
    const ConversionOptions fast = with_road(ConversionOptions{}, TierStrategy::FastDom, backend);
    Set parsed;
    for (const std::string& page : pages) {
      if (convert_entry(page, fast).ok()) parsed.add(page);
    }
    std::printf("\nfast_dom over %s accepts %zu of %zu pages (%.1f MB)\n", name, parsed.pages.size(), pages.size(),
                parsed.bytes / 1e6);
    time_road("fast_dom", parsed, fast, args.rounds);
    time_road("tier2 (DOM road, same backend)", parsed,
              with_road(ConversionOptions{}, TierStrategy::Tier2, backend), args.rounds);
  }
  return 0;
}
