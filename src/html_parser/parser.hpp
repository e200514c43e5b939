// Entry points of the two parser backends and the dispatcher between them.
#pragma once

#include <optional>
#include <string_view>
#include <utility>
#include <variant>

#include "html_parser/dom.hpp"
#include "options/options.hpp"

namespace tidewell {

// A finished parse: the document, or the failure code.
class ParseResult {
 public:
  ParseResult(TlDom dom) : value_(std::move(dom)) {}  // NOLINT: implicit on purpose
  ParseResult(ParseError error) : value_(error) {}    // NOLINT: implicit on purpose

  bool ok() const { return value_.index() == 0; }
  explicit operator bool() const { return ok(); }
  TlDom& dom() { return std::get<0>(value_); }
  const TlDom& dom() const { return std::get<0>(value_); }
  ParseError error() const { return std::get<1>(value_); }

 private:
  std::variant<TlDom, ParseError> value_;
};

// Each backend fills a prepared document (parse position 0, vectors empty)
// from its input. nullopt means success; on failure the caller drops the
// partly filled document.
namespace copperfern_tl {
std::optional<ParseError> parse_nodes(TlDom& dom);
// The parser's void test: a start tag with this name never stays open
// (ASCII case ignored).
bool is_void_start_tag(std::string_view name);
inline ParseResult parse_document(std::string_view input) {
  TlDom dom(input);
  if (auto err = parse_nodes(dom)) return *err;
  return ParseResult(std::move(dom));
}
}  // namespace copperfern_tl

namespace asm_tl {
std::optional<ParseError> parse_nodes(TlDom& dom);
inline ParseResult parse_document(std::string_view input) {
  TlDom dom(input);
  if (auto err = parse_nodes(dom)) return *err;
  return ParseResult(std::move(dom));
}
}  // namespace asm_tl

// Runs the backend that `backend` names over a prepared document.
inline std::optional<ParseError> parse_nodes(ParserBackend backend, TlDom& dom) {
  return backend == ParserBackend::AsmTl ? asm_tl::parse_nodes(dom) : copperfern_tl::parse_nodes(dom);
}

// Parses `input` (which must outlive the document) with the chosen backend.
inline ParseResult parse_document(ParserBackend backend, std::string_view input) {
  return backend == ParserBackend::AsmTl ? asm_tl::parse_document(input) : copperfern_tl::parse_document(input);
}

}  // namespace tidewell
