#include "common/utf8.hpp"
#include "options/options_reader.hpp"

#include <array>
#include <cstdint>
#include <string>

namespace tidewell {

namespace {

// A field's key and its camelCase alias (empty for one-word fields).
struct FieldKeys {
  std::string_view name;
  std::string_view alias;
};

// ConversionOptions in declaration order: also the positions of the array form.
constexpr std::array<FieldKeys, 44> kOptionFields = {{
    {"heading_style", "headingStyle"},
    {"list_indent_type", "listIndentType"},
    {"list_indent_width", "listIndentWidth"},
    {"bullets", ""},
    {"strong_em_symbol", "strongEmSymbol"},
    {"escape_asterisks", "escapeAsterisks"},
    {"escape_underscores", "escapeUnderscores"},
    {"escape_misc", "escapeMisc"},
    {"escape_ascii", "escapeAscii"},
    {"code_language", "codeLanguage"},
    {"autolinks", ""},
    {"default_title", "defaultTitle"},
    {"br_in_tables", "brInTables"},
    {"compact_tables", "compactTables"},
    {"highlight_style", "highlightStyle"},
    {"extract_metadata", "extractMetadata"},
    {"whitespace_mode", "whitespaceMode"},
    {"strip_newlines", "stripNewlines"},
    {"wrap", ""},
    {"wrap_width", "wrapWidth"},
    {"convert_as_inline", "convertAsInline"},
    {"sub_symbol", "subSymbol"},
    {"sup_symbol", "supSymbol"},
    {"newline_style", "newlineStyle"},
    {"code_block_style", "codeBlockStyle"},
    {"keep_inline_images_in", "keepInlineImagesIn"},
    {"preprocessing", ""},
    {"encoding", ""},
    {"debug", ""},
    {"strip_tags", "stripTags"},
    {"preserve_tags", "preserveTags"},
    {"skip_images", "skipImages"},
    {"url_escape_style", "urlEscapeStyle"},
    {"link_style", "linkStyle"},
    {"output_format", "outputFormat"},
    {"include_document_structure", "includeDocumentStructure"},
    {"extract_images", "extractImages"},
    {"max_image_size", "maxImageSize"},
    {"capture_svg", "captureSvg"},
    {"infer_dimensions", "inferDimensions"},
    {"max_depth", "maxDepth"},
    {"exclude_selectors", "excludeSelectors"},
    {"tier_strategy", "tierStrategy"},
    {"parser_backend", "parserBackend"},
}};

constexpr std::array<FieldKeys, 4> kPreprocessingFields = {{
    {"enabled", ""},
    {"preset", ""},
    {"remove_navigation", "removeNavigation"},
    {"remove_forms", "removeForms"},
}};

constexpr std::array<std::string_view, 4> kTierTexts = {"auto", "tier2", "fast_dom", "quillmoor"};
constexpr std::array<TierStrategy, 4> kTierValues = {TierStrategy::Auto, TierStrategy::Tier2,
                                                     TierStrategy::FastDom,
                                                     TierStrategy::Quillmoor};
constexpr std::array<std::string_view, 5> kBackendTexts = {
    "copper_fern_tl", "copperfern-tl", "copperfern_tl", "asm-tl", "asm_tl"};
constexpr std::array<ParserBackend, 5> kBackendValues = {
    ParserBackend::Copperfern, ParserBackend::Copperfern, ParserBackend::Copperfern,
    ParserBackend::AsmTl, ParserBackend::AsmTl};

// "one of `a`, `b`, ..." over the given texts.
template <std::size_t N>
std::string one_of(const std::array<std::string_view, N>& texts) {
  std::string out = "one of ";
  for (std::size_t i = 0; i < N; ++i) {
    if (i > 0) out += ", ";
    out += '`';
    out += texts[i];
    out += '`';
  }
  return out;
}

// The key list of a record: per field, the alias first, then the name.
template <std::size_t N>
std::string key_list(const std::array<FieldKeys, N>& fields) {
  std::string out = "one of ";
  bool first = true;
  auto add = [&](std::string_view key) {
    if (!first) out += ", ";
    first = false;
    out += '`';
    out += key;
    out += '`';
  };
  for (const FieldKeys& f : fields) {
    if (!f.alias.empty()) add(f.alias);
    add(f.name);
  }
  return out;
}

template <std::size_t N>
int find_field(const std::array<FieldKeys, N>& fields, std::string_view key) {
  for (std::size_t i = 0; i < N; ++i) {
    if (fields[i].name == key || (!fields[i].alias.empty() && fields[i].alias == key)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

class OptionsParser {
 public:
  explicit OptionsParser(JsonReader& reader) : r_(reader) {}

  bool read_options(ConversionOptions& out) {
    static const std::string keys = key_list(kOptionFields);
    return read_record(kOptionFields, keys, "struct ConversionOptions",
                       [&](int index) { return read_option_field(index, out); });
  }

 private:
  // A record in object form (keys) or array form (positions).
  template <std::size_t N, class ReadField>
  bool read_record(const std::array<FieldKeys, N>& fields, const std::string& keys,
                   std::string_view expected, ReadField read_field) {
    static_assert(N <= 64, "given-field mask holds 64 fields");
    const int c = r_.peek_nonspace();
    if (c < 0) return r_.fail_peek("EOF while parsing a value");
    if (c == '[') {
      if (!r_.enter_nested()) return false;
      bool first = true;
      for (std::size_t i = 0; i < N; ++i) {
        bool more = false;
        if (!r_.next_element(first, more)) return false;
        if (!more) break;
        if (!read_field(static_cast<int>(i))) return false;
      }
      r_.leave_nested();
      return r_.end_array();
    }
    if (c == '{') {
      if (!r_.enter_nested()) return false;
      std::uint64_t given = 0;
      bool first = true;
      for (;;) {
        bool more = false;
        if (!r_.next_key(first, more)) return false;
        if (!more) break;
        std::string_view key;
        if (!r_.read_string(key)) return false;
        const int index = find_field(fields, key);
        if (index < 0) {
          std::string message = "unknown field `";
          message += key;
          message += "`, expected ";
          message += keys;
          return r_.fail(message);
        }
        const std::uint64_t bit = std::uint64_t{1} << index;
        if ((given & bit) != 0) {
          std::string message = "duplicate field `";
          message += fields[static_cast<std::size_t>(index)].name;
          message += '`';
          return r_.fail(message);
        }
        given |= bit;
        if (!r_.expect_colon()) return false;
        if (!read_field(index)) return false;
      }
      r_.leave_nested();
      return r_.end_object();
    }
    return r_.fail_unexpected_value(expected);
  }

  bool read_option_field(int index, ConversionOptions& o) {
    // (Messages about a value that its type alone does not refuse name the field.)
    const std::string_view field = kOptionFields[static_cast<std::size_t>(index)].name;
    switch (index) {
      case 0: return read_lenient(o.heading_style, parse_heading_style);
      case 1: return read_lenient(o.list_indent_type, parse_list_indent_type);
      case 2: return read_u64(o.list_indent_width, "usize", field);
      case 3: return read_text(o.bullets);
      case 4: return read_emphasis_symbol(o.strong_em_symbol, field);
      case 5: return read_bool(o.escape_asterisks);
      case 6: return read_bool(o.escape_underscores);
      case 7: return read_bool(o.escape_misc);
      case 8: return read_bool(o.escape_ascii);
      case 9: return read_code_language(o.code_language, field);
      case 10: return read_bool(o.autolinks);
      case 11: return read_bool(o.default_title);
      case 12: return read_bool(o.br_in_tables);
      case 13: return read_bool(o.compact_tables);
      case 14: return read_lenient(o.highlight_style, parse_highlight_style);
      case 15: return read_bool(o.extract_metadata);
      case 16: return read_lenient(o.whitespace_mode, parse_whitespace_mode);
      case 17: return read_bool(o.strip_newlines);
      case 18: return read_bool(o.wrap);
      case 19: return read_u64(o.wrap_width, "usize", field);
      case 20: return read_bool(o.convert_as_inline);
      case 21: return read_text(o.sub_symbol);
      case 22: return read_text(o.sup_symbol);
      case 23: return read_lenient(o.newline_style, parse_newline_style);
      case 24: return read_lenient(o.code_block_style, parse_code_block_style);
      case 25: return read_text_list(o.keep_inline_images_in);
      case 26: return read_preprocessing(o.preprocessing);
      case 27: return read_text(o.encoding);
      case 28: return read_bool(o.debug);
      case 29: return read_text_list(o.strip_tags);
      case 30: return read_text_list(o.preserve_tags);
      case 31: return read_bool(o.skip_images);
      case 32: return read_lenient(o.url_escape_style, parse_url_escape_style);
      case 33: return read_lenient(o.link_style, parse_link_style);
      case 34: return read_lenient(o.output_format, parse_output_format);
      case 35: return read_bool(o.include_document_structure);
      case 36: return read_bool(o.extract_images);
      case 37: return read_u64(o.max_image_size, "u64", field);
      case 38: return read_bool(o.capture_svg);
      case 39: return read_bool(o.infer_dimensions);
      case 40: return read_optional_u64(o.max_depth, field);
      case 41: return read_text_list(o.exclude_selectors);
      case 42: return read_strict(kTierTexts, kTierValues, o.tier_strategy);
      case 43: return read_strict(kBackendTexts, kBackendValues, o.parser_backend);
      default: return false;
    }
  }

  bool read_preprocessing(PreprocessingOptions& out) {
    static const std::string keys = key_list(kPreprocessingFields);
    PreprocessingOptions value;  // its own defaults, whatever `out` held
    const bool ok = read_record(kPreprocessingFields, keys, "struct PreprocessingOptions",
                                [&](int index) {
                                  switch (index) {
                                    case 0: return read_bool(value.enabled);
                                    case 1:
                                      return read_lenient(value.preset,
                                                          parse_preprocessing_preset);
                                    case 2: return read_bool(value.remove_navigation);
                                    case 3: return read_bool(value.remove_forms);
                                    default: return false;
                                  }
                                });
    if (ok) out = value;
    return ok;
  }

  bool read_bool(bool& out) {
    const int c = r_.peek_nonspace();
    if (c < 0) return r_.fail_peek("EOF while parsing a value");
    if (c == 't') {
      r_.eat();
      if (!r_.expect_ident("rue")) return false;
      out = true;
      return true;
    }
    if (c == 'f') {
      r_.eat();
      if (!r_.expect_ident("alse")) return false;
      out = false;
      return true;
    }
    return r_.fail_unexpected_value("a boolean");
  }

  // A string value, or the type message with `expected`.
  bool read_string_value(std::string_view& out, std::string_view expected) {
    const int c = r_.peek_nonspace();
    if (c < 0) return r_.fail_peek("EOF while parsing a value");
    if (c != '"') return r_.fail_unexpected_value(expected);
    r_.eat();
    return r_.read_string(out);
  }

  bool read_text(std::string& out) {
    std::string_view s;
    if (!read_string_value(s, "a string")) return false;
    out.assign(s);
    return true;
  }

  // "invalid value: U, expected E for `field`": a value of the right type
  // that the field refuses all the same.
  bool fail_field_value(std::string_view unexpected, std::string_view expected, std::string_view field) {
    std::string message = "invalid value: ";
    message += unexpected;
    message += ", expected ";
    message += expected;
    message += " for `";
    message += field;
    message += '`';
    return r_.fail(message);
  }

  static JsonUnexpected string_met(std::string_view s) {
    JsonUnexpected u;
    u.kind = JsonUnexpected::Kind::String;
    u.string = s;
    return u;
  }

  // One character, and one that marks emphasis: any other would be written
  // around the text as it is and read as no emphasis.
  bool read_emphasis_symbol(char32_t& out, std::string_view field) {
    std::string_view s;
    if (!read_string_value(s, "a character")) return false;
    // Valid UTF-8 (the reader checked it): one character is one lead byte.
    if (utf8_char_count(s) != 1) return r_.fail_invalid_value(string_met(s), "a character");
    if (s != "*" && s != "_") return fail_field_value(describe_unexpected(string_met(s)), "`*` or `_`", field);
    out = static_cast<char32_t>(s[0]);
    return true;
  }

  // The language is written on the opening fence line: a line feed or a
  // carriage return would end that line inside the value, and a backtick
  // would end a backtick fence's info string.
  bool read_code_language(std::string& out, std::string_view field) {
    std::string_view s;
    if (!read_string_value(s, "a string")) return false;
    if (s.find_first_of("\n\r`") != std::string_view::npos) {
      return fail_field_value(describe_unexpected(string_met(s)), "a language without line feeds, carriage returns or backticks",
                              field);
    }
    out.assign(s);
    return true;
  }

  // The bare word NaN or Infinity at the cursor: Python's json.dumps writes
  // a float that is not finite that way (-Infinity with a '-' before),
  // though JSON has no such words. Empty when neither stands there.
  std::string_view non_finite_word() const {
    const std::string_view rest = r_.text().substr(r_.offset());
    for (std::string_view word : {std::string_view("NaN"), std::string_view("Infinity")}) {
      if (rest.starts_with(word)) return word;
    }
    return {};
  }

  // Consumes `word` and refuses it as the value of `field`.
  bool fail_non_finite(std::string_view sign, std::string_view word, std::string_view field) {
    for (std::size_t i = 0; i < word.size(); ++i) r_.eat();
    std::string value = "floating point `";
    value += sign;
    value += word;
    value += '`';
    return fail_field_value(value, "a finite number", field);
  }

  bool read_u64(std::uint64_t& out, std::string_view expected, std::string_view field) {
    const int c = r_.peek_nonspace();
    if (c < 0) return r_.fail_peek("EOF while parsing a value");
    JsonNumber number;
    if (c == '-') {
      r_.eat();
      if (non_finite_word() == "Infinity") return fail_non_finite("-", "Infinity", field);
      if (!r_.read_number(false, number)) return false;
    } else if (c >= '0' && c <= '9') {
      if (!r_.read_number(true, number)) return false;
    } else if (const std::string_view word = non_finite_word(); !word.empty()) {
      return fail_non_finite("", word, field);
    } else {
      return r_.fail_unexpected_value(expected);
    }
    switch (number.kind) {
      case JsonNumber::Kind::Unsigned:
        out = number.unsigned_value;
        return true;
      case JsonNumber::Kind::Signed:
        return r_.fail_invalid_value(JsonUnexpected::from_number(number), expected);
      case JsonNumber::Kind::Float:
        break;
    }
    return r_.fail_invalid_type(JsonUnexpected::from_number(number), expected);
  }

  bool read_optional_u64(std::optional<std::uint64_t>& out, std::string_view field) {
    if (r_.peek_nonspace() == 'n') {
      r_.eat();
      if (!r_.expect_ident("ull")) return false;
      out.reset();
      return true;
    }
    std::uint64_t value = 0;
    if (!read_u64(value, "usize", field)) return false;
    out = value;
    return true;
  }

  bool read_text_list(std::vector<std::string>& out) {
    const int c = r_.peek_nonspace();
    if (c < 0) return r_.fail_peek("EOF while parsing a value");
    if (c != '[') return r_.fail_unexpected_value("a sequence");
    if (!r_.enter_nested()) return false;
    std::vector<std::string> items;
    bool first = true;
    for (;;) {
      bool more = false;
      if (!r_.next_element(first, more)) return false;
      if (!more) break;
      std::string_view s;
      if (!read_string_value(s, "a string")) return false;
      items.emplace_back(s);
    }
    r_.leave_nested();
    if (!r_.end_array()) return false;
    out = std::move(items);
    return true;
  }

  template <class E>
  bool read_lenient(E& out, E (*parse)(std::string_view)) {
    std::string_view s;
    if (!read_string_value(s, "a string")) return false;
    out = parse(s);
    return true;
  }

  // An exact variant text, or an object with one such key mapped to null.
  template <std::size_t N, class E>
  bool read_strict(const std::array<std::string_view, N>& texts, const std::array<E, N>& values,
                   E& out) {
    auto match = [&](std::string_view s) {
      for (std::size_t i = 0; i < N; ++i) {
        if (texts[i] == s) {
          out = values[i];
          return true;
        }
      }
      std::string message = "unknown variant `";
      message += s;
      message += "`, expected ";
      message += one_of(texts);
      return r_.fail(message);
    };
    const int c = r_.peek_nonspace();
    if (c < 0) return r_.fail_peek("EOF while parsing a value");
    if (c == '"') {
      r_.eat();
      std::string_view s;
      if (!r_.read_string(s)) return false;
      return match(s);
    }
    if (c != '{') return r_.fail_peek("expected value");
    if (!r_.enter_nested()) return false;
    std::string_view key;
    if (!read_string_value(key, "variant identifier")) return false;
    if (!match(key)) return false;
    if (!r_.expect_colon()) return false;
    const int v = r_.peek_nonspace();
    if (v < 0) return r_.fail_peek("EOF while parsing a value");
    if (v != 'n') return r_.fail_unexpected_value("unit");
    r_.eat();
    if (!r_.expect_ident("ull")) return false;
    r_.leave_nested();
    const int end = r_.peek_nonspace();
    if (end == '}') {
      r_.eat();
      return true;
    }
    if (end < 0) return r_.fail("EOF while parsing an object");
    return r_.fail("expected value");
  }

  JsonReader& r_;
};

}  // namespace

bool conversion_options_from_json(std::string_view json, ConversionOptions& out,
                                  JsonError& error) {
  JsonReader reader(json, error);
  OptionsParser parser(reader);
  ConversionOptions options = default_options();
  if (!parser.read_options(options) || !reader.finish()) return false;
  out = std::move(options);
  return true;
}

}  // namespace tidewell
