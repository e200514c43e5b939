#include "converter/metadata/structure_sink.hpp"

#include <bit>
#include <charconv>

#include "converter/text/kept_lines.hpp"

namespace tidewell {

namespace {

// The text of a record as a reader sees it: the marks of kept code lines go.
std::string_view record_text(std::string_view text, std::string& holder) {
  if (!holds_kept_line_mark(text)) return text;
  holder = without_kept_line_marks(text);
  return holder;
}

// The same for a text the record owns.
void drop_kept_line_marks(std::string& text) {
  if (holds_kept_line_mark(text)) text = without_kept_line_marks(text);
}

// Streaming SipHash-1-3: bytes written in several pieces hash like their
// concatenation.
class SipHasher13 {
 public:
  SipHasher13(std::uint64_t k0, std::uint64_t k1)
      : v0_(k0 ^ 0x736f6d6570736575ULL),
        v1_(k1 ^ 0x646f72616e646f6dULL),
        v2_(k0 ^ 0x6c7967656e657261ULL),
        v3_(k1 ^ 0x7465646279746573ULL) {}

  void write(const unsigned char* data, std::size_t len) {
    total_ += len;
    std::size_t pos = 0;
    if (tail_len_ > 0) {
      while (tail_len_ < 8 && pos < len) {
        tail_ |= static_cast<std::uint64_t>(data[pos++]) << (8 * tail_len_++);
      }
      if (tail_len_ < 8) return;
      compress(tail_);
      tail_ = 0;
      tail_len_ = 0;
    }
    for (; pos + 8 <= len; pos += 8) {
      std::uint64_t m = 0;
      for (int i = 0; i < 8; ++i) m |= static_cast<std::uint64_t>(data[pos + i]) << (8 * i);
      compress(m);
    }
    while (pos < len) tail_ |= static_cast<std::uint64_t>(data[pos++]) << (8 * tail_len_++);
  }

  void write(std::string_view bytes) { write(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()); }

  void write_byte(unsigned char b) { write(&b, 1); }

  std::uint64_t finish() {
    const std::uint64_t b = (static_cast<std::uint64_t>(total_ & 0xff) << 56) | tail_;
    compress(b);
    v2_ ^= 0xff;
    round();
    round();
    round();
    return v0_ ^ v1_ ^ v2_ ^ v3_;
  }

 private:
  void round() {
    v0_ += v1_;
    v1_ = std::rotl(v1_, 13);
    v1_ ^= v0_;
    v0_ = std::rotl(v0_, 32);
    v2_ += v3_;
    v3_ = std::rotl(v3_, 16);
    v3_ ^= v2_;
    v0_ += v3_;
    v3_ = std::rotl(v3_, 21);
    v3_ ^= v0_;
    v2_ += v1_;
    v1_ = std::rotl(v1_, 17);
    v1_ ^= v2_;
    v2_ = std::rotl(v2_, 32);
  }

  void compress(std::uint64_t m) {
    v3_ ^= m;
    round();
    v0_ ^= m;
  }

  std::uint64_t v0_, v1_, v2_, v3_;
  std::uint64_t tail_ = 0;
  unsigned tail_len_ = 0;
  std::uint64_t total_ = 0;
};

// The longest prefix of at most `limit` bytes that ends on a UTF-8
// character boundary.
std::string_view cut_at_char_boundary(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut);
}

std::optional<std::uint32_t> innermost_section(const StructureSink& sink) {
  if (sink.open_sections.empty()) return std::nullopt;
  return sink.open_sections.back().group_node;
}

// Appends a node under `parent` and returns its index.
std::uint32_t push_node(StructureSink& sink, std::string_view kind, std::string_view id_text, NodeContent content,
                        std::optional<std::uint32_t> parent,
                        std::optional<AttributeList> attributes = std::nullopt) {
  const auto index = static_cast<std::uint32_t>(sink.nodes.size());
  DocumentNode node;
  node.id = doc_struct_node_id(kind, id_text, index);
  node.content = std::move(content);
  node.parent = parent;
  node.attributes = std::move(attributes);
  sink.nodes.push_back(std::move(node));
  if (parent) sink.nodes[*parent].children.push_back(index);
  return index;
}

}  // namespace

std::uint64_t siphash13(std::string_view data, std::uint64_t k0, std::uint64_t k1) {
  SipHasher13 hasher(k0, k1);
  hasher.write(data);
  return hasher.finish();
}

std::string doc_struct_node_id(std::string_view kind, std::string_view text, std::uint32_t index) {
  SipHasher13 hasher(0, 0);
  hasher.write(kind);
  hasher.write_byte(0xFF);
  hasher.write(cut_at_char_boundary(text, 64));
  hasher.write_byte(0xFF);
  const unsigned char le[4] = {static_cast<unsigned char>(index), static_cast<unsigned char>(index >> 8),
                               static_cast<unsigned char>(index >> 16), static_cast<unsigned char>(index >> 24)};
  hasher.write(le, 4);
  const std::uint64_t hash = hasher.finish();

  static constexpr char kHex[] = "0123456789abcdef";
  std::string id;
  id.reserve(kind.size() + 17);
  id.append(kind);
  id.push_back('-');
  for (int shift = 60; shift >= 0; shift -= 4) id.push_back(kHex[(hash >> shift) & 0xF]);
  return id;
}

std::uint32_t doc_struct_add_heading(StructureSink& sink, std::uint8_t level, std::string_view text,
                                     std::optional<std::string> id) {
  std::string holder;
  text = record_text(text, holder);
  while (!sink.open_sections.empty() && sink.open_sections.back().level >= level) sink.open_sections.pop_back();

  const std::uint32_t group =
      push_node(sink, "group", text, NodeGroup{std::string(text), level, std::string(text)}, innermost_section(sink));
  sink.open_sections.push_back(OpenSection{level, group});

  std::optional<AttributeList> attributes;
  if (id) attributes = AttributeList{{"id", std::move(*id)}};
  return push_node(sink, "heading", text, NodeHeading{level, std::string(text)}, group, std::move(attributes));
}

std::uint32_t doc_struct_add_paragraph(StructureSink& sink, std::string_view text) {
  std::string holder;
  text = record_text(text, holder);
  if (text.empty()) return kNoStructureNode;
  return push_node(sink, "paragraph", text, NodeParagraph{std::string(text)}, innermost_section(sink));
}

std::uint32_t doc_struct_add_list(StructureSink& sink, bool ordered) {
  const std::uint32_t index =
      push_node(sink, "list", ordered ? "ordered" : "unordered", NodeList{ordered}, innermost_section(sink));
  sink.open_lists.push_back(index);
  return index;
}

void doc_struct_end_list(StructureSink& sink) {
  if (!sink.open_lists.empty()) sink.open_lists.pop_back();
}

std::uint32_t doc_struct_add_list_item(StructureSink& sink, std::string_view text) {
  std::string holder;
  text = record_text(text, holder);
  std::optional<std::uint32_t> parent;
  if (!sink.open_lists.empty()) {
    parent = sink.open_lists.back();
  } else {
    parent = innermost_section(sink);
  }
  return push_node(sink, "list_item", text, NodeListItem{std::string(text)}, parent);
}

std::uint32_t doc_struct_add_table(StructureSink& sink, TableGrid grid, std::string markdown) {
  char digits[16];
  const auto conv = std::to_chars(digits, digits + sizeof digits, grid.rows);
  const std::string_view id_text(digits, static_cast<std::size_t>(conv.ptr - digits));
  // A code block in a cell or the caption marks its kept lines.
  drop_kept_line_marks(markdown);
  for (TableCell& cell : grid.cells) drop_kept_line_marks(cell.content);
  const std::uint32_t index = push_node(sink, "table", id_text, NodeTable{grid}, innermost_section(sink));
  sink.tables.push_back(TableData{std::move(grid), std::move(markdown)});
  return index;
}

std::uint32_t doc_struct_add_code(StructureSink& sink, std::string_view text, std::optional<std::string> language) {
  // A pre inside a pre holds the inner block's marked lines.
  std::string holder;
  text = record_text(text, holder);
  return push_node(sink, "code", text, NodeCode{std::string(text), std::move(language)}, innermost_section(sink));
}

std::uint32_t doc_struct_add_image(StructureSink& sink, std::optional<std::string> src,
                                   std::optional<std::string> alt) {
  const std::string id_text = src ? *src : std::string("img");
  std::optional<std::string> description;
  if (alt && !alt->empty()) description = std::move(alt);
  return push_node(sink, "image", id_text, NodeImage{std::move(description), std::move(src), std::nullopt},
                   innermost_section(sink));
}

FinishedStructure doc_struct_finish(StructureSink sink) {
  FinishedStructure out;
  out.document.nodes = std::move(sink.nodes);
  out.document.source_format = "html";
  out.tables = std::move(sink.tables);
  return out;
}

}  // namespace tidewell
