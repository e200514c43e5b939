// Builder of the typed document outline: headings open sections, and every
// other node hangs under the innermost open section (list items under their
// list). Nodes are only appended; a node's index in `nodes` is its number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "result/result.hpp"

namespace tidewell {

// SipHash-1-3 (one compression round, three finalisation rounds) of `data`
// under the 128-bit key (k0, k1).
std::uint64_t siphash13(std::string_view data, std::uint64_t k0 = 0, std::uint64_t k1 = 0);

struct OpenSection {
  std::uint8_t level = 0;
  std::uint32_t group_node = 0;
};

struct StructureSink {
  std::vector<DocumentNode> nodes;
  std::vector<OpenSection> open_sections;  // outermost first
  std::vector<std::uint32_t> open_lists;   // outermost first
  std::vector<TableData> tables;
};

// Returned by doc_struct_add_paragraph when it adds nothing.
inline constexpr std::uint32_t kNoStructureNode = 0xFFFFFFFFu;

// "<kind>-<16 hex digits>": SipHash-1-3 with zero keys over
// kind, 0xFF, text cut to at most 64 bytes at a character boundary, 0xFF,
// index as u32 little-endian.
std::string doc_struct_node_id(std::string_view kind, std::string_view text, std::uint32_t index);

std::uint32_t doc_struct_add_heading(StructureSink& sink, std::uint8_t level, std::string_view text,
                                     std::optional<std::string> id);
std::uint32_t doc_struct_add_paragraph(StructureSink& sink, std::string_view text);
std::uint32_t doc_struct_add_list(StructureSink& sink, bool ordered);
void doc_struct_end_list(StructureSink& sink);
std::uint32_t doc_struct_add_list_item(StructureSink& sink, std::string_view text);
std::uint32_t doc_struct_add_table(StructureSink& sink, TableGrid grid, std::string markdown);
std::uint32_t doc_struct_add_code(StructureSink& sink, std::string_view text, std::optional<std::string> language);
std::uint32_t doc_struct_add_image(StructureSink& sink, std::optional<std::string> src,
                                   std::optional<std::string> alt);

// The finished outline (source format "html") and the tables, in document
// order. The section and list stacks are dropped.
struct FinishedStructure {
  DocumentStructure document;
  std::vector<TableData> tables;
};
FinishedStructure doc_struct_finish(StructureSink sink);

}  // namespace tidewell
