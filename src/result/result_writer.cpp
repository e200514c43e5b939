#include "result/result_writer.hpp"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <utility>

#include "common/utf8.hpp"

namespace tidewell {
namespace {

// Escape text of the bytes below 0x20, '"' and '\'; nullptr for bytes copied
// as they are.
struct EscapeTable {
  const char* text[256] = {};
  std::uint8_t len[256] = {};
  char storage[32][7] = {};

  constexpr EscapeTable() {
    constexpr char kHex[] = "0123456789abcdef";
    for (int b = 0; b < 32; ++b) {
      char* s = storage[b];
      s[0] = '\\';
      s[1] = 'u';
      s[2] = '0';
      s[3] = '0';
      s[4] = kHex[b >> 4];
      s[5] = kHex[b & 15];
      text[b] = s;
      len[b] = 6;
    }
    set(0x08, "\\b");
    set(0x09, "\\t");
    set(0x0A, "\\n");
    set(0x0C, "\\f");
    set(0x0D, "\\r");
    set('"', "\\\"");
    set('\\', "\\\\");
  }
  constexpr void set(int b, const char* s) {
    text[b] = s;
    len[b] = 2;
  }
};

constexpr EscapeTable kEscapes{};

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

// True when one of the eight bytes needs a look: below 0x20, '"', '\' or
// non-ASCII.
inline bool word_needs_attention(std::uint64_t x) {
  const std::uint64_t q = x ^ (kOnes * '"');
  const std::uint64_t s = x ^ (kOnes * '\\');
  const std::uint64_t control = (x - kOnes * 0x20) & ~x;
  const std::uint64_t quote = (q - kOnes) & ~q;
  const std::uint64_t slash = (s - kOnes) & ~s;
  return ((x | control | quote | slash) & kHighs) != 0;
}

template <std::size_t N>
inline void lit(std::string& buf, const char (&text)[N]) {
  buf.append(text, N - 1);
}

template <class T>
inline void put_number(std::string& buf, T value) {
  char tmp[24];
  const auto res = std::to_chars(tmp, tmp + sizeof(tmp), static_cast<std::uint64_t>(value));
  buf.append(tmp, static_cast<std::size_t>(res.ptr - tmp));
}

inline void put_bool(std::string& buf, bool value) {
  if (value) {
    lit(buf, "true");
  } else {
    lit(buf, "false");
  }
}

inline void put_string(std::string& buf, std::string_view text) { append_json_string(buf, text); }

// Enum names and node-type names are plain ASCII without escapes.
inline void put_name(std::string& buf, const char* text) {
  buf.push_back('"');
  buf.append(text);
  buf.push_back('"');
}

inline void put_optional(std::string& buf, const std::optional<std::string>& text) {
  if (text) {
    put_string(buf, *text);
  } else {
    lit(buf, "null");
  }
}

void put_string_array(std::string& buf, const std::vector<std::string>& items) {
  buf.push_back('[');
  bool first = true;
  for (const std::string& item : items) {
    if (!first) buf.push_back(',');
    first = false;
    put_string(buf, item);
  }
  buf.push_back(']');
}

// Pairs of texts written as an object in the given order (std::map iterates
// in ascending byte order of its keys).
template <class Pairs>
void put_text_object(std::string& buf, const Pairs& entries) {
  buf.push_back('{');
  bool first = true;
  for (const auto& [key, value] : entries) {
    if (!first) buf.push_back(',');
    first = false;
    put_string(buf, key);
    buf.push_back(':');
    put_string(buf, value);
  }
  buf.push_back('}');
}

void write_document_metadata(std::string& buf, const DocumentMetadata& doc) {
  lit(buf, "{\"title\":");
  put_optional(buf, doc.title);
  lit(buf, ",\"description\":");
  put_optional(buf, doc.description);
  lit(buf, ",\"keywords\":");
  put_string_array(buf, doc.keywords);
  lit(buf, ",\"author\":");
  put_optional(buf, doc.author);
  lit(buf, ",\"canonical_url\":");
  put_optional(buf, doc.canonical_url);
  lit(buf, ",\"base_href\":");
  put_optional(buf, doc.base_href);
  lit(buf, ",\"language\":");
  put_optional(buf, doc.language);
  lit(buf, ",\"text_direction\":");
  if (doc.text_direction) {
    put_name(buf, text_direction_name(*doc.text_direction));
  } else {
    lit(buf, "null");
  }
  lit(buf, ",\"open_graph\":");
  put_text_object(buf, doc.open_graph);
  lit(buf, ",\"twitter_card\":");
  put_text_object(buf, doc.twitter_card);
  lit(buf, ",\"meta_tags\":");
  put_text_object(buf, doc.meta_tags);
  buf.push_back('}');
}

void write_header(std::string& buf, const HeaderMetadata& h) {
  lit(buf, "{\"level\":");
  put_number(buf, h.level);
  lit(buf, ",\"text\":");
  put_string(buf, h.text);
  lit(buf, ",\"id\":");
  put_optional(buf, h.id);
  lit(buf, ",\"depth\":");
  put_number(buf, h.depth);
  lit(buf, ",\"html_offset\":");
  put_number(buf, h.html_offset);
  buf.push_back('}');
}

void write_link(std::string& buf, const LinkMetadata& l) {
  lit(buf, "{\"href\":");
  put_string(buf, l.href);
  lit(buf, ",\"text\":");
  put_string(buf, l.text);
  lit(buf, ",\"title\":");
  put_optional(buf, l.title);
  lit(buf, ",\"link_type\":");
  put_name(buf, link_type_name(l.link_type));
  lit(buf, ",\"rel\":");
  put_string_array(buf, l.rel);
  lit(buf, ",\"attributes\":");
  put_text_object(buf, l.attributes);
  buf.push_back('}');
}

void write_image(std::string& buf, const ImageMetadata& img) {
  lit(buf, "{\"src\":");
  put_string(buf, img.src);
  lit(buf, ",\"alt\":");
  put_optional(buf, img.alt);
  lit(buf, ",\"title\":");
  put_optional(buf, img.title);
  lit(buf, ",\"dimensions\":");
  if (img.dimensions) {
    buf.push_back('[');
    put_number(buf, img.dimensions->first);
    buf.push_back(',');
    put_number(buf, img.dimensions->second);
    buf.push_back(']');
  } else {
    lit(buf, "null");
  }
  lit(buf, ",\"image_type\":");
  put_name(buf, image_type_name(img.image_type));
  lit(buf, ",\"attributes\":");
  put_text_object(buf, img.attributes);
  buf.push_back('}');
}

void write_structured_data(std::string& buf, const StructuredData& sd) {
  lit(buf, "{\"data_type\":");
  put_name(buf, structured_data_type_name(sd.data_type));
  lit(buf, ",\"raw_json\":");
  put_string(buf, sd.raw_json);
  lit(buf, ",\"schema_type\":");
  put_optional(buf, sd.schema_type);
  buf.push_back('}');
}

template <class T, class F>
void put_array(std::string& buf, const std::vector<T>& items, F&& write) {
  buf.push_back('[');
  bool first = true;
  for (const T& item : items) {
    if (!first) buf.push_back(',');
    first = false;
    write(buf, item);
  }
  buf.push_back(']');
}

void write_metadata(std::string& buf, const HtmlMetadata& meta) {
  lit(buf, "{\"document\":");
  write_document_metadata(buf, meta.document);
  lit(buf, ",\"headers\":");
  put_array(buf, meta.headers, write_header);
  lit(buf, ",\"links\":");
  put_array(buf, meta.links, write_link);
  lit(buf, ",\"images\":");
  put_array(buf, meta.images, write_image);
  lit(buf, ",\"structured_data\":");
  put_array(buf, meta.structured_data, write_structured_data);
  buf.push_back('}');
}

void write_table(std::string& buf, const TableData& t) {
  buf.push_back('{');
  serialize_table_grid(t.grid, buf, false);
  lit(buf, ",\"markdown\":");
  put_string(buf, t.markdown);
  buf.push_back('}');
}

void write_warning(std::string& buf, const ConversionWarning& w) {
  lit(buf, "{\"message\":");
  put_string(buf, w.message);
  lit(buf, ",\"kind\":");
  put_name(buf, warning_kind_name(w.kind));
  buf.push_back('}');
}

void write_annotation(std::string& buf, const TextAnnotation& a) {
  lit(buf, "{\"start\":");
  put_number(buf, a.start);
  lit(buf, ",\"end\":");
  put_number(buf, a.end);
  lit(buf, ",\"kind\":{\"annotation_type\":");
  put_name(buf, annotation_type_name(a.kind.type));
  if (a.kind.type == AnnotationType::Link) {
    lit(buf, ",\"url\":");
    put_string(buf, a.kind.url);
    if (a.kind.title) {
      lit(buf, ",\"title\":");
      put_string(buf, *a.kind.title);
    }
  }
  lit(buf, "}}");
}

// Writes the fields after "node_type" of one content kind.
struct ContentFields {
  std::string& buf;

  void operator()(const NodeHeading& c) const {
    lit(buf, ",\"level\":");
    put_number(buf, c.level);
    lit(buf, ",\"text\":");
    put_string(buf, c.text);
  }
  void operator()(const NodeParagraph& c) const {
    lit(buf, ",\"text\":");
    put_string(buf, c.text);
  }
  void operator()(const NodeList& c) const {
    lit(buf, ",\"ordered\":");
    put_bool(buf, c.ordered);
  }
  void operator()(const NodeListItem& c) const {
    lit(buf, ",\"text\":");
    put_string(buf, c.text);
  }
  void operator()(const NodeTable& c) const { serialize_table_grid(c.grid, buf, true); }
  void operator()(const NodeImage& c) const {
    if (c.description) {
      lit(buf, ",\"description\":");
      put_string(buf, *c.description);
    }
    if (c.src) {
      lit(buf, ",\"src\":");
      put_string(buf, *c.src);
    }
    if (c.image_index) {
      lit(buf, ",\"image_index\":");
      put_number(buf, *c.image_index);
    }
  }
  void operator()(const NodeCode& c) const {
    lit(buf, ",\"text\":");
    put_string(buf, c.text);
    if (c.language) {
      lit(buf, ",\"language\":");
      put_string(buf, *c.language);
    }
  }
  void operator()(const NodeQuote&) const {}
  void operator()(const NodeDefinitionList&) const {}
  void operator()(const NodeDefinitionItem& c) const {
    lit(buf, ",\"term\":");
    put_string(buf, c.term);
    lit(buf, ",\"definition\":");
    put_string(buf, c.definition);
  }
  void operator()(const NodeRawBlock& c) const {
    lit(buf, ",\"format\":");
    put_string(buf, c.format);
    lit(buf, ",\"content\":");
    put_string(buf, c.content);
  }
  void operator()(const NodeMetadataBlock& c) const {
    lit(buf, ",\"entries\":[");
    bool first = true;
    for (const auto& [key, value] : c.entries) {
      if (!first) buf.push_back(',');
      first = false;
      buf.push_back('[');
      put_string(buf, key);
      buf.push_back(',');
      put_string(buf, value);
      buf.push_back(']');
    }
    buf.push_back(']');
  }
  void operator()(const NodeGroup& c) const {
    if (c.label) {
      lit(buf, ",\"label\":");
      put_string(buf, *c.label);
    }
    if (c.heading_level) {
      lit(buf, ",\"heading_level\":");
      put_number(buf, *c.heading_level);
    }
    if (c.heading_text) {
      lit(buf, ",\"heading_text\":");
      put_string(buf, *c.heading_text);
    }
  }
};

void write_document(std::string& buf, const DocumentStructure& doc) {
  lit(buf, "{\"nodes\":[");
  bool first = true;
  for (const DocumentNode& node : doc.nodes) {
    if (!first) buf.push_back(',');
    first = false;
    serialize_document_node(node, buf);
  }
  buf.push_back(']');
  if (doc.source_format) {
    lit(buf, ",\"source_format\":");
    put_string(buf, *doc.source_format);
  }
  buf.push_back('}');
}

}  // namespace

void append_json_string(std::string& buf, std::string_view text) {
  const auto* const begin = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = begin + text.size();
  const unsigned char* run = begin;  // start of the bytes not yet copied
  const unsigned char* p = begin;
  buf.push_back('"');
  while (p < end) {
    while (end - p >= 8) {
      std::uint64_t word;
      std::memcpy(&word, p, 8);
      if (word_needs_attention(word)) break;
      p += 8;
    }
    if (p >= end) break;
    const unsigned char b = *p;
    if (b >= 0x80) {
      bool valid;
      const std::size_t len = utf8_sequence(p, end, valid);
      if (!valid) {
        buf.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
        lit(buf, "\xEF\xBF\xBD");
        run = p + len;
      }
      p += len;
    } else if (kEscapes.text[b] != nullptr) {
      buf.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
      buf.append(kEscapes.text[b], kEscapes.len[b]);
      ++p;
      run = p;
    } else {
      ++p;
    }
  }
  buf.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(end - run));
  buf.push_back('"');
}

void serialize_table_grid(const TableGrid& grid, std::string& buf, bool after_key) {
  if (after_key) buf.push_back(',');
  lit(buf, "\"grid\":{\"rows\":");
  put_number(buf, grid.rows);
  lit(buf, ",\"cols\":");
  put_number(buf, grid.cols);
  lit(buf, ",\"cells\":[");
  bool first = true;
  for (const TableCell& cell : grid.cells) {
    if (!first) buf.push_back(',');
    first = false;
    lit(buf, "{\"content\":");
    put_string(buf, cell.content);
    lit(buf, ",\"row\":");
    put_number(buf, cell.row);
    lit(buf, ",\"col\":");
    put_number(buf, cell.col);
    lit(buf, ",\"row_span\":");
    put_number(buf, cell.row_span);
    lit(buf, ",\"col_span\":");
    put_number(buf, cell.col_span);
    lit(buf, ",\"is_header\":");
    put_bool(buf, cell.is_header);
    buf.push_back('}');
  }
  lit(buf, "]}");
}

void serialize_document_node(const DocumentNode& node, std::string& buf) {
  lit(buf, "{\"id\":");
  put_string(buf, node.id);
  lit(buf, ",\"content\":{\"node_type\":");
  put_name(buf, node_type_name(node.content));
  if (!node.content.valueless_by_exception()) std::visit(ContentFields{buf}, node.content);
  buf.push_back('}');
  if (node.parent) {
    lit(buf, ",\"parent\":");
    put_number(buf, *node.parent);
  }
  if (!node.children.empty()) {
    lit(buf, ",\"children\":[");
    bool first = true;
    for (std::uint32_t child : node.children) {
      if (!first) buf.push_back(',');
      first = false;
      put_number(buf, child);
    }
    buf.push_back(']');
  }
  if (!node.annotations.empty()) {
    lit(buf, ",\"annotations\":");
    put_array(buf, node.annotations, write_annotation);
  }
  if (node.attributes) {
    lit(buf, ",\"attributes\":");
    put_text_object(buf, *node.attributes);
  }
  buf.push_back('}');
}

void serialize_conversion_result(const ConversionResult& result, std::string& buf) {
  // The content dominates the size; one reservation avoids most regrowth.
  const std::size_t estimate = buf.size() + 512 + (result.content ? result.content->size() + result.content->size() / 16 : 0);
  if (buf.capacity() < estimate) buf.reserve(estimate);

  lit(buf, "{\"content\":");
  put_optional(buf, result.content);
  lit(buf, ",\"document\":");
  if (result.document) {
    write_document(buf, *result.document);
  } else {
    lit(buf, "null");
  }
  lit(buf, ",\"metadata\":");
  write_metadata(buf, result.metadata);
  lit(buf, ",\"tables\":");
  put_array(buf, result.tables, write_table);
  lit(buf, ",\"warnings\":");
  put_array(buf, result.warnings, write_warning);
  buf.push_back('}');
}

}  // namespace tidewell
