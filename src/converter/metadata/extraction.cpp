#include "converter/metadata/extraction.hpp"

#include "common/ascii.hpp"
#include "common/json_value.hpp"
#include "common/unicode_space.hpp"
#include "converter/metadata/json_ld_json.hpp"

namespace tidewell {

namespace {

bool is_json_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Step 1 of the schema type: the string (or first array element string)
// after the first "@type" key, found without parsing the JSON.
std::optional<std::string> quick_scan_type(std::string_view text) {
  const std::size_t key = text.find("\"@type\"");
  if (key == std::string_view::npos) return std::nullopt;
  std::size_t i = key + 7;
  const std::size_t n = text.size();
  while (i < n && is_json_space(text[i])) ++i;
  if (i >= n || text[i] != ':') return std::nullopt;
  ++i;
  while (i < n && is_json_space(text[i])) ++i;
  if (i >= n) return std::nullopt;
  if (text[i] == '[') {
    ++i;
    while (i < n && is_json_space(text[i])) ++i;
    if (i >= n) return std::nullopt;
  }
  if (text[i] != '"') return std::nullopt;
  const std::size_t open = i;
  std::size_t j = open + 1;
  while (j < n) {
    if (text[j] == '\\') {
      j += 2;
    } else if (text[j] == '"') {
      break;
    } else {
      ++j;
    }
  }
  if (j >= n) return std::nullopt;
  return decode_json_string_literal(text.substr(open, j - open + 1));
}

std::string replace_byte(std::string_view text, char from, char to) {
  std::string out(text);
  for (char& c : out) {
    if (c == from) c = to;
  }
  return out;
}

std::string_view strip_all_leading(std::string_view text, std::string_view prefix) {
  while (text.starts_with(prefix)) text.remove_prefix(prefix.size());
  return text;
}

void set_if_absent(std::optional<std::string>& field, const std::string& value) {
  if (!field) field = value;
}

void set_keywords_if_empty(std::vector<std::string>& keywords, std::string_view value) {
  if (keywords.empty()) keywords = split_comma_list(value);
}

// The Dublin Core rules for the key rest R under "dc_" or "dcterms_".
void apply_dublin_core(std::string_view rest, bool dcterms, const std::string& value, DocumentMetadata& doc) {
  if (rest == "title" || (dcterms && rest == "alternative")) {
    set_if_absent(doc.title, value);
  } else if (rest == "creator" || rest == "publisher" || rest == "contributor") {
    set_if_absent(doc.author, value);
  } else if (rest == "subject" || rest == "keywords") {
    set_keywords_if_empty(doc.keywords, value);
  } else if (rest == "description" || (dcterms && rest == "abstract")) {
    set_if_absent(doc.description, value);
  } else {
    std::string key = dcterms ? "dcterms_" : "dc_";
    key += replace_byte(rest, '-', '_');
    doc.meta_tags.insert_or_assign(std::move(key), value);
  }
}

bool is_keyword_key(std::string_view lower) {
  return lower == "keywords" || lower == "news_keywords" || lower == "subject" || lower == "topic" ||
         lower == "category" || lower == "classification" || lower == "citation_keywords";
}

}  // namespace

std::optional<TextDirection> parse_text_direction(std::string_view text) {
  if (ascii_iequals(text, "ltr")) return TextDirection::Ltr;
  if (ascii_iequals(text, "rtl")) return TextDirection::Rtl;
  if (ascii_iequals(text, "auto")) return TextDirection::Auto;
  return std::nullopt;
}

std::vector<std::string> split_comma_list(std::string_view text) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (true) {
    const std::size_t comma = text.find(',', pos);
    const std::size_t end = comma == std::string_view::npos ? text.size() : comma;
    const std::string_view piece = trim_unicode_space(text.substr(pos, end - pos));
    if (!piece.empty()) out.emplace_back(piece);
    if (comma == std::string_view::npos) break;
    pos = comma + 1;
  }
  return out;
}

std::optional<std::string> json_ld_schema_type(std::string_view text) {
  if (auto type = quick_scan_type(text)) return type;
  const bool has_type = text.find("\"@type\"") != std::string_view::npos;
  const bool has_graph = text.find("\"@graph\"") != std::string_view::npos;
  if (!has_type && !has_graph) return std::nullopt;
  // Both later steps read the same strict parse of the whole text.
  return metadata_detail::parsed_schema_type(text, has_type, has_graph);
}

void apply_head_entries(const HeadMetadataMap& entries, DocumentMetadata& doc) {
  for (const auto& [raw_key, value] : entries) {
    std::string_view key = raw_key;
    if (key.starts_with("meta-")) key.remove_prefix(5);
    const std::string name = replace_byte(key, ':', '-');
    const std::string lower = ascii_lowercase(name);
    const std::string_view l = lower;

    if (l == "title") {
      doc.title = value;
    } else if (l == "description") {
      doc.description = value;
    } else if (l == "canonical") {
      doc.canonical_url = value;
    } else if (l == "base" || l == "base-href") {
      doc.base_href = value;
    } else if (l == "author" || l == "creator" || l == "publisher") {
      set_if_absent(doc.author, value);
    } else if (l.starts_with("og-")) {
      doc.open_graph.insert_or_assign(replace_byte(strip_all_leading(l, "og-"), '-', '_'), value);
    } else if (l.starts_with("twitter-")) {
      doc.twitter_card.insert_or_assign(replace_byte(strip_all_leading(l, "twitter-"), '-', '_'), value);
    } else if (l.starts_with("dc.") || l.starts_with("dc-")) {
      apply_dublin_core(strip_all_leading(strip_all_leading(l, "dc."), "dc-"), false, value, doc);
    } else if (l.starts_with("dcterms.") || l.starts_with("dcterms-")) {
      apply_dublin_core(strip_all_leading(strip_all_leading(l, "dcterms."), "dcterms-"), true, value, doc);
    } else if (is_keyword_key(l)) {
      set_keywords_if_empty(doc.keywords, value);
    } else {
      doc.meta_tags.insert_or_assign(name, value);
    }
  }
}

HtmlMetadata build_html_metadata(MetadataSink sink) {
  HtmlMetadata out;
  out.structured_data.reserve(sink.json_ld.size());
  for (std::string& text : sink.json_ld) {
    StructuredData data;
    data.data_type = StructuredDataType::JsonLd;
    data.schema_type = json_ld_schema_type(text);
    data.raw_json = std::move(text);
    out.structured_data.push_back(std::move(data));
  }

  apply_head_entries(sink.head_entries, out.document);

  out.document.language = std::move(sink.language);
  if (sink.direction) out.document.text_direction = parse_text_direction(*sink.direction);
  out.headers = std::move(sink.headers);
  out.links = std::move(sink.links);
  out.images = std::move(sink.images);
  return out;
}

}  // namespace tidewell
