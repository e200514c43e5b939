#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "options/options_reader.hpp"

namespace tidewell {
namespace {

// Every field in a comparable text form.
std::string dump(const ConversionOptions& o) {
  std::string s;
  auto add = [&](const std::string& v) { s += v + "|"; };
  auto list = [&](const std::vector<std::string>& v) {
    std::string out = "[";
    for (const auto& e : v) out += e + ",";
    return out + "]";
  };
  add(std::to_string(static_cast<int>(o.heading_style)));
  add(std::to_string(static_cast<int>(o.list_indent_type)));
  add(std::to_string(o.list_indent_width));
  add(o.bullets);
  add(std::to_string(static_cast<std::uint32_t>(o.strong_em_symbol)));
  add(std::to_string(o.escape_asterisks) + std::to_string(o.escape_underscores) +
      std::to_string(o.escape_misc) + std::to_string(o.escape_ascii));
  add(o.code_language);
  add(std::to_string(o.autolinks) + std::to_string(o.default_title) +
      std::to_string(o.br_in_tables) + std::to_string(o.compact_tables));
  add(std::to_string(static_cast<int>(o.highlight_style)));
  add(std::to_string(o.extract_metadata));
  add(std::to_string(static_cast<int>(o.whitespace_mode)));
  add(std::to_string(o.strip_newlines) + std::to_string(o.wrap));
  add(std::to_string(o.wrap_width));
  add(std::to_string(o.convert_as_inline));
  add(o.sub_symbol);
  add(o.sup_symbol);
  add(std::to_string(static_cast<int>(o.newline_style)));
  add(std::to_string(static_cast<int>(o.code_block_style)));
  add(list(o.keep_inline_images_in));
  add(std::to_string(o.preprocessing.enabled) +
      std::to_string(static_cast<int>(o.preprocessing.preset)) +
      std::to_string(o.preprocessing.remove_navigation) +
      std::to_string(o.preprocessing.remove_forms));
  add(o.encoding);
  add(std::to_string(o.debug));
  add(list(o.strip_tags));
  add(list(o.preserve_tags));
  add(std::to_string(o.skip_images));
  add(std::to_string(static_cast<int>(o.url_escape_style)));
  add(std::to_string(static_cast<int>(o.link_style)));
  add(std::to_string(static_cast<int>(o.output_format)));
  add(std::to_string(o.include_document_structure) + std::to_string(o.extract_images));
  add(std::to_string(o.max_image_size));
  add(std::to_string(o.capture_svg) + std::to_string(o.infer_dimensions));
  add(o.max_depth ? std::to_string(*o.max_depth) : "none");
  add(list(o.exclude_selectors));
  add(std::to_string(static_cast<int>(o.tier_strategy)));
  add(std::to_string(static_cast<int>(o.parser_backend)));
  return s;
}

ConversionOptions read_ok(const std::string& json) {
  ConversionOptions out;
  JsonError error;
  EXPECT_TRUE(conversion_options_from_json(json, out, error)) << json << ": " << error.display();
  return out;
}

std::string read_error(const std::string& json) {
  ConversionOptions out;
  out.bullets = "untouched";
  JsonError error;
  EXPECT_FALSE(conversion_options_from_json(json, out, error)) << json;
  EXPECT_EQ(out.bullets, "untouched") << json;
  return error.display();
}

// The key list in message order: per field the alias, then the name.
const char* const kAllKeys[] = {
    "headingStyle", "heading_style", "listIndentType", "list_indent_type", "listIndentWidth",
    "list_indent_width", "bullets", "strongEmSymbol", "strong_em_symbol", "escapeAsterisks",
    "escape_asterisks", "escapeUnderscores", "escape_underscores", "escapeMisc", "escape_misc",
    "escapeAscii", "escape_ascii", "codeLanguage", "code_language", "autolinks", "defaultTitle",
    "default_title", "brInTables", "br_in_tables", "compactTables", "compact_tables",
    "highlightStyle", "highlight_style", "extractMetadata", "extract_metadata", "whitespaceMode",
    "whitespace_mode", "stripNewlines", "strip_newlines", "wrap", "wrapWidth", "wrap_width",
    "convertAsInline", "convert_as_inline", "subSymbol", "sub_symbol", "supSymbol", "sup_symbol",
    "newlineStyle", "newline_style", "codeBlockStyle", "code_block_style", "keepInlineImagesIn",
    "keep_inline_images_in", "preprocessing", "encoding", "debug", "stripTags", "strip_tags",
    "preserveTags", "preserve_tags", "skipImages", "skip_images", "urlEscapeStyle",
    "url_escape_style", "linkStyle", "link_style", "outputFormat", "output_format",
    "includeDocumentStructure", "include_document_structure", "extractImages", "extract_images",
    "maxImageSize", "max_image_size", "captureSvg", "capture_svg", "inferDimensions",
    "infer_dimensions", "maxDepth", "max_depth", "excludeSelectors", "exclude_selectors",
    "tierStrategy", "tier_strategy", "parserBackend", "parser_backend"};

// One non-default value per field, in field order.
const char* const kFieldValues[44] = {
    R"("atxclosed")", R"("tabs")", "4", R"("*")", R"("_")", "true", "true", "true", "true",
    R"("python")", "false", "true", "true", "true", R"("html")", "false", R"("strict")", "true",
    "true", "40", "true", R"("~")", R"("^")", R"("backslash")", R"("tildes")", R"(["h1"])",
    R"([false, "aggressive", false, false])", R"("latin-1")", "true", R"(["script"])",
    R"(["video"])", "true", R"("percent")", R"("reference")", R"("djot")", "true", "true", "7",
    "true", "false", "3", R"([".ad"])", R"("quillmoor")", R"("asm_tl")"};

std::string full_array() {
  std::string json = "[";
  for (int i = 0; i < 44; ++i) {
    if (i > 0) json += ", ";
    json += kFieldValues[i];
  }
  return json + "]";
}

TEST(OptionsReader, EmptyFormsGiveTheDefaults) {
  const std::string defaults = dump(default_options());
  EXPECT_EQ(dump(read_ok("{}")), defaults);
  EXPECT_EQ(dump(read_ok("[]")), defaults);
  EXPECT_EQ(dump(read_ok(" \t\r\n{ } \n")), defaults);
  const ConversionOptions d = default_options();
  EXPECT_EQ(d.heading_style, HeadingStyle::Atx);
  EXPECT_EQ(d.list_indent_width, 2u);
  EXPECT_EQ(d.bullets, "-*+");
  EXPECT_EQ(d.strong_em_symbol, U'*');
  EXPECT_TRUE(d.autolinks);
  EXPECT_TRUE(d.infer_dimensions);
  EXPECT_TRUE(d.extract_metadata);
  EXPECT_EQ(d.highlight_style, HighlightStyle::DoubleEqual);
  EXPECT_EQ(d.code_block_style, CodeBlockStyle::Backticks);
  EXPECT_EQ(d.wrap_width, 80u);
  EXPECT_EQ(d.encoding, "utf-8");
  EXPECT_EQ(d.max_image_size, 5242880u);
  EXPECT_FALSE(d.max_depth.has_value());
  EXPECT_TRUE(d.preprocessing.enabled);
  EXPECT_EQ(d.preprocessing.preset, PreprocessingPreset::Standard);
  EXPECT_TRUE(d.preprocessing.remove_navigation);
  EXPECT_TRUE(d.preprocessing.remove_forms);
  EXPECT_EQ(d.tier_strategy, TierStrategy::Auto);
  EXPECT_EQ(d.parser_backend, ParserBackend::Copperfern);
}

TEST(OptionsReader, ArrayFormReadsEveryPositionInFieldOrder) {
  const ConversionOptions o = read_ok(full_array());
  EXPECT_EQ(o.heading_style, HeadingStyle::AtxClosed);
  EXPECT_EQ(o.list_indent_type, ListIndentType::Tabs);
  EXPECT_EQ(o.list_indent_width, 4u);
  EXPECT_EQ(o.bullets, "*");
  EXPECT_EQ(o.strong_em_symbol, U'_');
  EXPECT_TRUE(o.escape_asterisks && o.escape_underscores && o.escape_misc && o.escape_ascii);
  EXPECT_EQ(o.code_language, "python");
  EXPECT_FALSE(o.autolinks);
  EXPECT_TRUE(o.default_title && o.br_in_tables && o.compact_tables);
  EXPECT_EQ(o.highlight_style, HighlightStyle::Html);
  EXPECT_FALSE(o.extract_metadata);
  EXPECT_EQ(o.whitespace_mode, WhitespaceMode::Strict);
  EXPECT_TRUE(o.strip_newlines && o.wrap && o.convert_as_inline);
  EXPECT_EQ(o.wrap_width, 40u);
  EXPECT_EQ(o.sub_symbol, "~");
  EXPECT_EQ(o.sup_symbol, "^");
  EXPECT_EQ(o.newline_style, NewlineStyle::Backslash);
  EXPECT_EQ(o.code_block_style, CodeBlockStyle::Tildes);
  EXPECT_EQ(o.keep_inline_images_in, std::vector<std::string>{"h1"});
  EXPECT_FALSE(o.preprocessing.enabled);
  EXPECT_EQ(o.preprocessing.preset, PreprocessingPreset::Aggressive);
  EXPECT_FALSE(o.preprocessing.remove_navigation || o.preprocessing.remove_forms);
  EXPECT_EQ(o.encoding, "latin-1");
  EXPECT_TRUE(o.debug);
  EXPECT_EQ(o.strip_tags, std::vector<std::string>{"script"});
  EXPECT_EQ(o.preserve_tags, std::vector<std::string>{"video"});
  EXPECT_TRUE(o.skip_images);
  EXPECT_EQ(o.url_escape_style, UrlEscapeStyle::Percent);
  EXPECT_EQ(o.link_style, LinkStyle::Reference);
  EXPECT_EQ(o.output_format, OutputFormat::Djot);
  EXPECT_TRUE(o.include_document_structure && o.extract_images && o.capture_svg);
  EXPECT_EQ(o.max_image_size, 7u);
  EXPECT_FALSE(o.infer_dimensions);
  EXPECT_EQ(o.max_depth, std::optional<std::uint64_t>(3));
  EXPECT_EQ(o.exclude_selectors, std::vector<std::string>{".ad"});
  EXPECT_EQ(o.tier_strategy, TierStrategy::Quillmoor);
  EXPECT_EQ(o.parser_backend, ParserBackend::AsmTl);

  // A prefix of the positions sets only those fields.
  ConversionOptions expected = default_options();
  expected.heading_style = HeadingStyle::AtxClosed;
  EXPECT_EQ(dump(read_ok(R"(["atxclosed"])")), dump(expected));
}

TEST(OptionsReader, ObjectFormUnderEitherNameMatchesTheArrayForm) {
  const std::string from_array = dump(read_ok(full_array()));
  for (int use_alias = 0; use_alias < 2; ++use_alias) {
    std::string json = "{";
    std::size_t k = 0;
    for (int i = 0; i < 44; ++i) {
      std::string key = kAllKeys[k];
      const bool has_alias = key.find('_') == std::string::npos && k + 1 < 82 &&
                             std::string(kAllKeys[k + 1]).find('_') != std::string::npos;
      // An alias is directly followed by its snake_case name.
      std::string name = has_alias ? kAllKeys[k + 1] : key;
      k += has_alias ? 2 : 1;
      if (i > 0) json += ", ";
      json += "\"" + (use_alias && has_alias ? key : name) + "\": " + kFieldValues[i];
    }
    json += "}";
    EXPECT_EQ(k, 82u);
    EXPECT_EQ(dump(read_ok(json)), from_array) << json;
  }
}

std::string all_keys_message() {
  std::string list = "one of ";
  for (std::size_t i = 0; i < 82; ++i) {
    if (i > 0) list += ", ";
    list += '`';
    list += kAllKeys[i];
    list += '`';
  }
  return list;
}

struct ErrorCase {
  std::string json;
  std::string message;
};

// Printed as its text, not as raw bytes.
void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.json << " -> " << c.message; }

// A case's name: its message up to the position, as a C++ identifier, and
// its index ("unknown_field_foo_2").
std::string error_case_name(const ::testing::TestParamInfo<ErrorCase>& info) {
  std::string_view message = info.param.message;
  message = message.substr(0, message.find(" at line"));
  std::string name;
  for (char c : message) {
    const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (word) {
      name += c;
    } else if (!name.empty() && name.back() != '_') {
      name += '_';
    }
    if (name.size() >= 48) break;
  }
  if (!name.empty() && name.back() != '_') name += '_';
  return name + std::to_string(info.index);
}

class OptionsReaderErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(OptionsReaderErrors, MessageAndPosition) {
  EXPECT_EQ(read_error(GetParam().json), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Documented, OptionsReaderErrors,
    ::testing::Values(
        ErrorCase{R"({"headingStyle": "atx", "heading_style": "atx"})",
                  "duplicate field `heading_style` at line 1 column 39"},
        ErrorCase{R"({"headingStyle": "atx", "headingStyle": "atx"})",
                  "duplicate field `heading_style` at line 1 column 38"},
        ErrorCase{R"({"foo": 1})",
                  "unknown field `foo`, expected " + all_keys_message() + " at line 1 column 6"},
        ErrorCase{R"({"wrap": "yes"})",
                  R"(invalid type: string "yes", expected a boolean at line 1 column 14)"},
        ErrorCase{R"({"wrap_width": -1})",
                  "invalid value: integer `-1`, expected usize at line 1 column 17"},
        ErrorCase{R"({"wrap_width": 18446744073709551616})",
                  "invalid type: floating point `1.8446744073709552e19`, expected usize at line 1 "
                  "column 35"},
        ErrorCase{R"({"list_indent_width": 2.5})",
                  "invalid type: floating point `2.5`, expected usize at line 1 column 25"},
        ErrorCase{R"({"strong_em_symbol": "**"})",
                  R"(invalid value: string "**", expected a character at line 1 column 25)"},
        ErrorCase{R"({"strip_tags": "script"})",
                  R"(invalid type: string "script", expected a sequence at line 1 column 23)"},
        ErrorCase{R"({"max_depth": "5"})",
                  R"(invalid type: string "5", expected usize at line 1 column 17)"},
        ErrorCase{R"({"tier_strategy": "Auto"})",
                  "unknown variant `Auto`, expected one of `auto`, `tier2`, `fast_dom`, "
                  "`quillmoor` at line 1 column 24"},
        ErrorCase{R"({"tier_strategy": 5})", "expected value at line 1 column 19"},
        ErrorCase{R"({"tier_strategy": {"fast_dom": 1}})",
                  "invalid type: integer `1`, expected unit at line 1 column 32"},
        ErrorCase{R"({"parser_backend": "ASM_TL"})",
                  "unknown variant `ASM_TL`, expected one of `copper_fern_tl`, `copperfern-tl`, "
                  "`copperfern_tl`, `asm-tl`, `asm_tl` at line 1 column 27"},
        ErrorCase{R"({"wrap_width": NaN})",
                  "invalid value: floating point `NaN`, expected a finite number for `wrap_width` at line 1 "
                  "column 18"},
        ErrorCase{R"({"preprocessing": {"preset": "x", "enabled": 1}})",
                  "invalid type: integer `1`, expected a boolean at line 1 column 46"},
        ErrorCase{R"({"preprocessing": {"remove_forms": true, "removeForms": false}})",
                  "duplicate field `remove_forms` at line 1 column 54"},
        ErrorCase{R"({"preprocessing": {"colour": 1}})",
                  "unknown field `colour`, expected one of `enabled`, `preset`, "
                  "`removeNavigation`, `remove_navigation`, `removeForms`, `remove_forms` at "
                  "line 1 column 27"},
        ErrorCase{R"("abc")",
                  R"(invalid type: string "abc", expected struct ConversionOptions at line 1 column 5)"},
        ErrorCase{R"({"1": true})",
                  "unknown field `1`, expected " + all_keys_message() + " at line 1 column 4"},
        ErrorCase{"", "EOF while parsing a value at line 1 column 0"}),
    error_case_name);

INSTANTIATE_TEST_SUITE_P(
    Further, OptionsReaderErrors,
    ::testing::Values(
        // Bare float words from json.dumps: a number field names itself.
        ErrorCase{R"({"wrap_width": -Infinity})",
                  "invalid value: floating point `-Infinity`, expected a finite number for `wrap_width` at line "
                  "1 column 24"},
        ErrorCase{R"({"listIndentWidth": Infinity})",
                  "invalid value: floating point `Infinity`, expected a finite number for `list_indent_width` "
                  "at line 1 column 28"},
        ErrorCase{R"({"max_depth": NaN})",
                  "invalid value: floating point `NaN`, expected a finite number for `max_depth` at line 1 "
                  "column 17"},
        ErrorCase{R"({"max_image_size": -NaN})", "invalid number at line 1 column 21"},
        ErrorCase{R"({"wrap": Infinity})", "expected value at line 1 column 10"},
        ErrorCase{R"({"tier_strategy": NaN})", "expected value at line 1 column 19"},
        // Numbers beyond a double.
        ErrorCase{R"({"wrap_width": 1e400})", "number out of range at line 1 column 20"},
        ErrorCase{R"({"wrap": -1e400})", "number out of range at line 1 column 15"},
        ErrorCase{"{\"wrap_width\": " + std::string(400, '9') + "}",
                  "number out of range at line 1 column 415"},
        ErrorCase{R"({"wrap_width": 1e-400})",
                  "invalid type: floating point `0.0`, expected usize at line 1 column 21"},
        ErrorCase{R"({"wrap_width": 2.0})",
                  "invalid type: floating point `2.0`, expected usize at line 1 column 18"},
        ErrorCase{R"({"wrap_width": -0})",
                  "invalid type: floating point `-0.0`, expected usize at line 1 column 17"},
        ErrorCase{R"({"wrap_width": 01})", "invalid number at line 1 column 17"},
        ErrorCase{R"({"max_image_size": -5})",
                  "invalid value: integer `-5`, expected u64 at line 1 column 21"},
        ErrorCase{R"({"max_depth": -9223372036854775808})",
                  "invalid value: integer `-9223372036854775808`, expected usize at line 1 "
                  "column 34"},
        ErrorCase{R"({"max_depth": -9223372036854775809})",
                  "invalid type: floating point `-9.223372036854776e18`, expected usize at line "
                  "1 column 34"},
        // Unpaired surrogates.
        ErrorCase{R"({"bullets": "\ud800"})", "unexpected end of hex escape at line 1 column 20"},
        ErrorCase{R"({"bullets": "\ud800\n"})",
                  "unexpected end of hex escape at line 1 column 21"},
        ErrorCase{R"({"bullets": "\udc00"})",
                  "lone leading surrogate in hex escape at line 1 column 19"},
        ErrorCase{R"({"bullets": "\ud800\u0041"})",
                  "lone leading surrogate in hex escape at line 1 column 25"},
        // Other value types and their names.
        ErrorCase{R"({"wrap": null})",
                  "invalid type: null, expected a boolean at line 1 column 13"},
        ErrorCase{R"({"wrap": [true]})",
                  "invalid type: sequence, expected a boolean at line 1 column 9"},
        ErrorCase{R"({"wrap": {}})", "invalid type: map, expected a boolean at line 1 column 9"},
        ErrorCase{R"({"bullets": false})",
                  "invalid type: boolean `false`, expected a string at line 1 column 17"},
        ErrorCase{R"({"strong_em_symbol": ""})",
                  R"(invalid value: string "", expected a character at line 1 column 23)"},
        ErrorCase{R"({"strong_em_symbol": 42})",
                  "invalid type: integer `42`, expected a character at line 1 column 23"},
        // Values of the right type that would break the output.
        ErrorCase{R"({"strong_em_symbol": "\u00e9"})",
                  R"(invalid value: string "é", expected `*` or `_` for `strong_em_symbol` at line 1 column 29)"},
        ErrorCase{R"({"strongEmSymbol": "~"})",
                  R"(invalid value: string "~", expected `*` or `_` for `strong_em_symbol` at line 1 column 22)"},
        ErrorCase{R"({"strong_em_symbol": "\ud83d\ude00"})",
                  "invalid value: string \"\U0001F600\", expected `*` or `_` for `strong_em_symbol` at line 1 "
                  "column 35"},
        ErrorCase{R"({"code_language": "py\n# injected"})",
                  R"(invalid value: string "py\n# injected", expected a language without line feeds, carriage )"
                  R"(returns or backticks for `code_language` at line 1 column 34)"},
        ErrorCase{R"({"code_language": "py\r"})",
                  R"(invalid value: string "py\r", expected a language without line feeds, carriage returns or )"
                  R"(backticks for `code_language` at line 1 column 24)"},
        ErrorCase{R"({"codeLanguage": "py```"})",
                  R"(invalid value: string "py```", expected a language without line feeds, carriage returns or )"
                  R"(backticks for `code_language` at line 1 column 24)"},
        ErrorCase{R"({"strip_tags": ["a", 1]})",
                  "invalid type: integer `1`, expected a string at line 1 column 22"},
        ErrorCase{R"({"heading_style": 1})",
                  "invalid type: integer `1`, expected a string at line 1 column 19"},
        ErrorCase{R"({"max_depth": true})",
                  "invalid type: boolean `true`, expected usize at line 1 column 18"},
        ErrorCase{R"({"preprocessing": true})",
                  "invalid type: boolean `true`, expected struct PreprocessingOptions at line 1 "
                  "column 22"},
        ErrorCase{R"({"preprocessing": null})",
                  "invalid type: null, expected struct PreprocessingOptions at line 1 column 22"},
        ErrorCase{R"({"preprocessing": [true, "x", true, true, true]})",
                  "trailing characters at line 1 column 43"},
        ErrorCase{R"({"wrap": "a\u200bb\u0001\"\\"})",
                  R"(invalid type: string "a\u{200b}b\u{1}\"\\", expected a boolean at line 1 column 29)"},
        // Strict enums.
        ErrorCase{R"({"tier_strategy": null})", "expected value at line 1 column 19"},
        ErrorCase{R"({"tier_strategy": true})", "expected value at line 1 column 19"},
        ErrorCase{R"({"tier_strategy": ["auto"]})", "expected value at line 1 column 19"},
        ErrorCase{R"({"tier_strategy": {}})", "expected value at line 1 column 20"},
        ErrorCase{R"({"tier_strategy": {"auto": null, "tier2": null}})",
                  "expected value at line 1 column 31"},
        ErrorCase{R"({"tierStrategy": {"Tier2": null}})",
                  "unknown variant `Tier2`, expected one of `auto`, `tier2`, `fast_dom`, "
                  "`quillmoor` at line 1 column 25"},
        // Structure.
        ErrorCase{"5", "invalid type: integer `5`, expected struct ConversionOptions at line 1 "
                       "column 1"},
        ErrorCase{"null", "invalid type: null, expected struct ConversionOptions at line 1 "
                          "column 4"},
        ErrorCase{"   ", "EOF while parsing a value at line 1 column 3"},
        ErrorCase{"{} x", "trailing characters at line 1 column 4"},
        ErrorCase{"{\"wrap\": true,}", "trailing comma at line 1 column 15"},
        ErrorCase{"{\"wrap\" true}", "expected `:` at line 1 column 9"},
        ErrorCase{"{\"wrap\": true \"debug\": true}", "expected `,` or `}` at line 1 column 15"},
        ErrorCase{"{\"wrap\": tru}", "expected ident at line 1 column 13"},
        ErrorCase{"{\"wrap\": true", "EOF while parsing an object at line 1 column 13"},
        ErrorCase{"{wrap: true}", "key must be a string at line 1 column 2"},
        ErrorCase{"{\n\"wrap\":\n 1}",
                  "invalid type: integer `1`, expected a boolean at line 3 column 2"},
        ErrorCase{"[\"atx\",]", "trailing comma at line 1 column 8"},
        ErrorCase{"[\"atx\"", "EOF while parsing a list at line 1 column 6"}),
    error_case_name);

TEST(OptionsReader, FortyFifthElementIsTrailing) {
  std::string json = full_array();
  json.pop_back();
  const std::size_t at = json.size() + 2;  // offset of the extra element
  json += ", 1]";
  EXPECT_EQ(read_error(json), "trailing characters at line 1 column " + std::to_string(at + 1));
}

TEST(OptionsReader, ValuesAcceptedAsGiven) {
  ConversionOptions o = read_ok(R"({"headingStyle": "atx closed"})");
  EXPECT_EQ(o.heading_style, HeadingStyle::AtxClosed);
  o = read_ok(R"({"max_depth": null})");
  EXPECT_FALSE(o.max_depth.has_value());
  o = read_ok(R"({"max_depth": 0, "wrap_width": 18446744073709551615, "list_indent_width": 0})");
  EXPECT_EQ(o.max_depth, std::optional<std::uint64_t>(0));
  EXPECT_EQ(o.wrap_width, 18446744073709551615u);
  EXPECT_EQ(o.list_indent_width, 0u);
  o = read_ok(R"({"tier_strategy": {"fast_dom": null}})");
  EXPECT_EQ(o.tier_strategy, TierStrategy::FastDom);
  for (const char* json : {R"({"parser_backend": "asm-tl"})", R"({"parserBackend": "asm_tl"})",
                           R"({"parser_backend": {"asm-tl" : null }})"}) {
    EXPECT_EQ(read_ok(json).parser_backend, ParserBackend::AsmTl) << json;
  }
  for (const char* text : {"copper_fern_tl", "copperfern-tl", "copperfern_tl"}) {
    EXPECT_EQ(read_ok(std::string(R"({"parser_backend": ")") + text + "\"}").parser_backend,
              ParserBackend::Copperfern);
  }
  o = read_ok(R"({"strong_em_symbol": "_", "bullets": "", "strip_tags": [], "code_language": "c++ x"})");
  EXPECT_EQ(o.strong_em_symbol, U'_');
  EXPECT_EQ(o.bullets, "");
  EXPECT_TRUE(o.strip_tags.empty());
  EXPECT_EQ(o.code_language, "c++ x");
  // The preset "x" alone is accepted as Standard; other preprocessing fields keep defaults.
  o = read_ok(R"({"preprocessing": {"preset": "x", "enabled": false}})");
  EXPECT_EQ(o.preprocessing.preset, PreprocessingPreset::Standard);
  EXPECT_FALSE(o.preprocessing.enabled);
  EXPECT_TRUE(o.preprocessing.remove_forms);
  o = read_ok(R"({"preprocessing": [false, "MINIMAL"]})");
  EXPECT_FALSE(o.preprocessing.enabled);
  EXPECT_EQ(o.preprocessing.preset, PreprocessingPreset::Minimal);
  EXPECT_EQ(dump(read_ok(R"({"preprocessing": {}})")), dump(default_options()));
}

TEST(OptionsReader, HostileInputIsRefusedWithoutHarm) {
  // Deep nesting never reaches the nesting limit: a type fault comes first.
  EXPECT_EQ(read_error(std::string(1000000, '[')),
            "invalid type: sequence, expected a string at line 1 column 1");
  EXPECT_EQ(read_error("{\"strip_tags\": " + std::string(1000000, '[')),
            "invalid type: sequence, expected a string at line 1 column 16");
  EXPECT_EQ(read_error("{\"preprocessing\": {\"enabled\": " + std::string(1000000, '{')),
            "invalid type: map, expected a boolean at line 1 column 30");
  // A huge string value is read whole.
  const std::string big(5000000, 'x');
  EXPECT_EQ(read_ok("{\"code_language\": \"" + big + "\"}").code_language, big);
  // Invalid UTF-8 inside a string is refused.
  EXPECT_EQ(read_error("{\"bullets\": \"\xff\"}"), "invalid unicode code point at line 1 column 14");
}

// ---- lenient enum texts ------------------------------------------------------

struct LenientCase {
  const char* key;
  const char* text;
  int expected;
};

int lenient_value(const ConversionOptions& o, std::string_view key) {
  if (key == "heading_style") return static_cast<int>(o.heading_style);
  if (key == "list_indent_type") return static_cast<int>(o.list_indent_type);
  if (key == "highlight_style") return static_cast<int>(o.highlight_style);
  if (key == "whitespace_mode") return static_cast<int>(o.whitespace_mode);
  if (key == "newline_style") return static_cast<int>(o.newline_style);
  if (key == "code_block_style") return static_cast<int>(o.code_block_style);
  if (key == "url_escape_style") return static_cast<int>(o.url_escape_style);
  if (key == "link_style") return static_cast<int>(o.link_style);
  if (key == "output_format") return static_cast<int>(o.output_format);
  return static_cast<int>(o.preprocessing.preset);
}

TEST(LenientEnums, TextsSelectVariantsOrTheFallback) {
  const LenientCase cases[] = {
      {"heading_style", "ATX", 1},
      {"heading_style", " atx ", 1},
      {"heading_style", "a.t.x", 1},
      {"heading_style", "atx closed", 2},
      {"heading_style", "atx-closed", 2},
      {"heading_style", "ATX_CLOSED", 2},
      {"heading_style", "setext", 0},
      {"heading_style", "underlined", 0},
      {"heading_style", "", 0},
      {"heading_style", "\xC3\xA4tx", 0},          // "ätx" normalises to "tx"
      {"heading_style", "atx\xC2\xA0" "closed", 2},  // no-break space dropped
      {"heading_style", "atx1", 0},
      {"highlight_style", "none", 3},
      {"highlight_style", "mark", 3},
      {"highlight_style", "", 3},
      {"highlight_style", "Double-Equal", 0},
      {"highlight_style", "HTML", 1},
      {"highlight_style", "bold", 2},
      {"code_block_style", "fenced", 0},
      {"code_block_style", "```", 0},
      {"code_block_style", "", 0},
      {"code_block_style", "Tildes", 2},
      {"code_block_style", "back ticks", 1},
      {"output_format", "Plain Text", 2},
      {"output_format", "plain-text", 2},
      {"output_format", "TEXT", 2},
      {"output_format", "plain", 2},
      {"output_format", "md", 0},
      {"output_format", "txt", 0},
      {"output_format", "html", 0},
      {"output_format", "Djot", 1},
      {"list_indent_type", "tab", 0},
      {"list_indent_type", "TABS", 1},
      {"whitespace_mode", "Strict", 1},
      {"whitespace_mode", "loose", 0},
      {"newline_style", "back-slash", 1},
      {"newline_style", "br", 0},
      {"url_escape_style", "PERCENT", 1},
      {"url_escape_style", "encode", 0},
      {"link_style", "Reference", 1},
      {"link_style", "ref", 0},
      {"preset", "MINIMAL", 0},
      {"preset", "standard", 1},
      {"preset", "none", 1},
      {"preset", "Aggressive", 2},
  };
  for (const LenientCase& c : cases) {
    const std::string key = c.key;
    const std::string json =
        key == "preset" ? std::string(R"({"preprocessing": {"preset": ")") + c.text + "\"}}"
                        : "{\"" + key + "\": \"" + c.text + "\"}";
    EXPECT_EQ(lenient_value(read_ok(json), key), c.expected) << json;
  }
}

TEST(LenientEnums, Normalization) {
  EXPECT_EQ(normalize_option_value("Atx-Closed_2 \xC3\xA4!"), "atxclosed2");
  EXPECT_EQ(normalize_option_value(""), "");
}

TEST(StrictEnums, ExactTextsOnly) {
  EXPECT_EQ(read_ok(R"({"tier_strategy": "fast_dom"})").tier_strategy, TierStrategy::FastDom);
  EXPECT_EQ(read_ok(R"({"tier_strategy": "tier2"})").tier_strategy, TierStrategy::Tier2);
  EXPECT_NE(read_error(R"({"tier_strategy": "fastdom"})"), "");
  EXPECT_EQ(read_ok(R"({"parser_backend": "copperfern-tl"})").parser_backend, ParserBackend::Copperfern);
  EXPECT_EQ(read_ok(R"({"parser_backend": "asm-tl"})").parser_backend, ParserBackend::AsmTl);
  EXPECT_NE(read_error(R"({"parser_backend": "ASM_TL"})"), "");
}

}  // namespace
}  // namespace tidewell
