// The html5lib tree-construction and tokenizer suites: every case is run
// and compared, the pass rates are printed with every failing case, and the
// rates must stay at or above the thresholds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/json_value.hpp"
#include "common/utf8.hpp"
#include "html5/parser.hpp"
#include "html5/tokenizer.hpp"
#include "html5/tree_dump.hpp"
#include "support/corpus.hpp"

namespace tidewell::html5 {
namespace {

namespace fs = std::filesystem;

struct TreeCase {
  std::string where;
  std::string data;
  std::string fragment;  // context, empty for a document
  int scripting = -1;    // -1: both, 0: off, 1: on
  std::string expected;
};

std::vector<fs::path> files_with(const fs::path& dir, const std::string& ext) {
  std::vector<fs::path> files;
  if (!fs::is_directory(dir)) return files;
  // The scripted/ cases need a script engine: only the top folder counts.
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().extension() == ext) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<TreeCase> tree_cases() {
  std::vector<TreeCase> cases;
  for (const fs::path& file : files_with(fs::path(TIDEWELL_CORPUS_DIR) / "html5lib-tree-construction", ".dat")) {
    std::istringstream in(tidewell::test::read_file(file));
    std::string line;
    std::string section;
    TreeCase current;
    std::size_t number = 0;
    bool open = false;
    auto finish = [&] {
      if (!open) return;
      if (!current.data.empty() && current.data.back() == '\n') current.data.pop_back();
      while (current.expected.ends_with("\n\n")) current.expected.pop_back();
      cases.push_back(current);
      current = TreeCase{};
      open = false;
    };
    bool previous_blank = true;
    while (std::getline(in, line)) {
      ++number;
      if (line == "#data" && (previous_blank || section.empty())) {
        finish();
        open = true;
        section = "#data";
        current.where = file.filename().string() + ":" + std::to_string(number);
        previous_blank = false;
        continue;
      }
      previous_blank = line.empty();
      if (section != "#document" || line.starts_with("#")) {
        if (line == "#errors" || line == "#new-errors" || line == "#document-fragment" || line == "#document") {
          section = line;
          continue;
        }
        if (line == "#script-on" || line == "#script-off") {
          current.scripting = line == "#script-on" ? 1 : 0;
          continue;
        }
      }
      if (section == "#data") current.data += line + "\n";
      else if (section == "#document-fragment") current.fragment = line;
      else if (section == "#document") current.expected += line + "\n";
    }
    finish();
  }
  return cases;
}

std::string run_tree_case(const TreeCase& c, bool scripting) {
  ParseOptions options;
  options.scripting = scripting;
  if (c.fragment.empty()) {
    const Document doc = parse_document(c.data, options);
    return test::dump_children(doc, Document::root());
  }
  Ns ns = Ns::Html;
  std::string name = c.fragment;
  if (name.starts_with("svg ")) {
    ns = Ns::Svg;
    name = name.substr(4);
  } else if (name.starts_with("math ")) {
    ns = Ns::MathMl;
    name = name.substr(5);
  }
  const Document doc = parse_fragment(c.data, ns, name, options);
  return test::dump_children(doc, doc.node(Document::root()).first_child);
}

TEST(Html5libTreeConstruction, PassRate) {
  const std::vector<TreeCase> cases = tree_cases();
  if (cases.empty()) TIDEWELL_SKIP_WITHOUT_CORPUS("html5lib tree-construction files");
  std::size_t runs = 0, passed = 0;
  std::string failures;
  for (const TreeCase& c : cases) {
    for (int scripting = 0; scripting <= 1; ++scripting) {
      if (c.scripting >= 0 && c.scripting != scripting) continue;
      ++runs;
      const std::string got = run_tree_case(c, scripting == 1);
      if (got == c.expected) {
        ++passed;
      } else {
        failures += "FAIL " + c.where + (scripting ? " (scripting on)" : " (scripting off)") +
                    (c.fragment.empty() ? "" : " fragment " + c.fragment) + "\n#data\n" + c.data +
                    "\n#expected\n" + c.expected + "#got\n" + got + "\n";
      }
    }
  }
  const double rate = 100.0 * static_cast<double>(passed) / static_cast<double>(runs);
  std::printf("html5lib tree construction: %zu of %zu runs pass (%.2f %%), %zu cases\n%s", passed, runs, rate,
              cases.size(), failures.c_str());
  EXPECT_GE(rate, 99.8);
}

// ---- tokenizer ----

// Undoes the second level of escaping of "doubleEscaped" cases; a lone
// surrogate becomes its three-byte form, which the tokenizer passes through.
std::string unescape(const std::string& s) {
  std::string out;
  for (std::size_t k = 0; k < s.size(); ++k) {
    if (s[k] == '\\' && k + 5 < s.size() && s[k + 1] == 'u') {
      append_utf8(out, static_cast<char32_t>(std::stoul(s.substr(k + 2, 4), nullptr, 16)));
      k += 5;
    } else {
      out.push_back(s[k]);
    }
  }
  return out;
}

std::string json_string(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out + "\"";
}

// One token per line in a canonical form; adjacent characters joined.
std::string expected_tokens(const JsonValue::Array& output, bool double_escaped) {
  auto str = [&](const JsonValue& v) {
    if (!v.is_string()) return std::string("null");
    return json_string(double_escaped ? unescape(*v.as_string()) : *v.as_string());
  };
  std::string out;
  std::string chars;
  auto flush = [&] {
    if (!chars.empty()) out += "Character " + json_string(chars) + "\n";
    chars.clear();
  };
  for (const JsonValue& tv : output) {
    const JsonValue::Array& t = *tv.as_array();
    const std::string kind = *t[0].as_string();
    if (kind == "Character") {
      chars += double_escaped ? unescape(*t[1].as_string()) : *t[1].as_string();
      continue;
    }
    flush();
    if (kind == "StartTag") {
      std::map<std::string, std::string> attrs;
      for (const JsonMember& m : *t[2].as_object()) {
        attrs[double_escaped ? unescape(m.key) : m.key] =
            double_escaped ? unescape(*m.value.as_string()) : *m.value.as_string();
      }
      out += "StartTag " + str(t[1]);
      for (const auto& [k, v] : attrs) out += " " + json_string(k) + "=" + json_string(v);
      if (t.size() > 3 && t[3].as_bool() && *t[3].as_bool()) out += " /";
      out += "\n";
    } else if (kind == "EndTag") {
      out += "EndTag " + str(t[1]) + "\n";
    } else if (kind == "Comment") {
      out += "Comment " + str(t[1]) + "\n";
    } else if (kind == "DOCTYPE") {
      out += "DOCTYPE " + str(t[1]) + " " + str(t[2]) + " " + str(t[3]) + " " +
             (t[4].as_bool() && *t[4].as_bool() ? "ok" : "quirks") + "\n";
    }
  }
  flush();
  return out;
}

std::string actual_tokens(const std::string& input, Tokenizer::State state, const std::string& last_start) {
  // The input stream's newline normalisation comes first.
  std::string text;
  for (std::size_t k = 0; k < input.size(); ++k) {
    if (input[k] == '\r') {
      text.push_back('\n');
      if (k + 1 < input.size() && input[k + 1] == '\n') ++k;
    } else {
      text.push_back(input[k]);
    }
  }
  Tokenizer tok(text);
  tok.set_state(state);
  if (!last_start.empty()) tok.set_last_start_tag(last_start);
  std::string out, chars;
  auto flush = [&] {
    if (!chars.empty()) out += "Character " + json_string(chars) + "\n";
    chars.clear();
  };
  auto opt = [](bool has, std::string_view v) { return has ? json_string(std::string(v)) : std::string("null"); };
  for (;;) {
    const Token& t = tok.next();
    if (t.type == TokenType::Characters || t.type == TokenType::Null) {
      chars.append(t.data);
      continue;
    }
    if (t.type == TokenType::Eof) break;
    flush();
    switch (t.type) {
      case TokenType::StartTag: {
        std::map<std::string, std::string> attrs;
        for (const Attribute& a : t.attrs) attrs.emplace(std::string(a.name), std::string(a.value));
        out += "StartTag " + json_string(std::string(t.name));
        for (const auto& [k, v] : attrs) out += " " + json_string(k) + "=" + json_string(v);
        if (t.self_closing) out += " /";
        out += "\n";
        break;
      }
      case TokenType::EndTag: out += "EndTag " + json_string(std::string(t.name)) + "\n"; break;
      case TokenType::Comment: out += "Comment " + json_string(std::string(t.data)) + "\n"; break;
      case TokenType::Doctype:
        out += "DOCTYPE " + opt(t.has_name, t.name) + " " + opt(t.ids.has_public, t.ids.public_id) + " " +
               opt(t.ids.has_system, t.ids.system_id) + " " + (t.force_quirks ? "quirks" : "ok") + "\n";
        break;
      default: break;
    }
  }
  flush();
  return out;
}

TEST(Html5libTokenizer, PassRate) {
  const auto files = files_with(fs::path(TIDEWELL_CORPUS_DIR) / "html5lib-tokenizer", ".test");
  if (files.empty()) TIDEWELL_SKIP_WITHOUT_CORPUS("html5lib tokenizer files");
  std::size_t runs = 0, passed = 0;
  std::string failures;
  for (const fs::path& file : files) {
    const std::string text = tidewell::test::read_file(file);
    const auto root = parse_json_value(text);
    ASSERT_TRUE(root.has_value()) << file;
    const JsonValue::Array* tests = root->array_member("tests");
    if (tests == nullptr) continue;
    for (const JsonValue& tv : *tests) {
      const bool double_escaped = tv.member("doubleEscaped") && tv.member("doubleEscaped")->as_bool() &&
                                  *tv.member("doubleEscaped")->as_bool();
      const std::string input =
          double_escaped ? unescape(*tv.string_member("input")) : *tv.string_member("input");
      const std::string expected = expected_tokens(*tv.array_member("output"), double_escaped);
      const std::string last = tv.string_member("lastStartTag") ? *tv.string_member("lastStartTag") : "";
      std::vector<std::string> states{"Data state"};
      if (const JsonValue::Array* s = tv.array_member("initialStates")) {
        states.clear();
        for (const JsonValue& v : *s) states.push_back(*v.as_string());
      }
      for (const std::string& state_name : states) {
        Tokenizer::State state = Tokenizer::State::Data;
        if (state_name == "PLAINTEXT state") state = Tokenizer::State::Plaintext;
        else if (state_name == "RCDATA state") state = Tokenizer::State::Rcdata;
        else if (state_name == "RAWTEXT state") state = Tokenizer::State::Rawtext;
        else if (state_name == "Script data state") state = Tokenizer::State::ScriptData;
        else if (state_name == "CDATA section state") state = Tokenizer::State::CdataSection;
        ++runs;
        const std::string got = actual_tokens(input, state, last);
        if (got == expected) {
          ++passed;
        } else {
          failures += "FAIL " + file.filename().string() + ": " + *tv.string_member("description") + " [" +
                      state_name + "]\n#input " + json_string(input) + "\n#expected\n" + expected + "#got\n" +
                      got + "\n";
        }
      }
    }
  }
  const double rate = 100.0 * static_cast<double>(passed) / static_cast<double>(runs);
  std::printf("html5lib tokenizer: %zu of %zu runs pass (%.2f %%)\n%s", passed, runs, rate, failures.c_str());
  EXPECT_GE(rate, 99.5);
}

}  // namespace
}  // namespace tidewell::html5
