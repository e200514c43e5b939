// Walks a parsed fragment's top-level nodes through the DOM road's handlers
// with a context adjusted by the test, without the document-level passes:
// for handler behaviour that depends on where the element stands (table
// cells, list items, quotes).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "converter/document/handler_table.hpp"
#include "converter/walk/walk.hpp"
#include "html_parser/parser.hpp"

namespace tidewell::test {

template <typename Adjust>
std::string walk_with(std::string_view html, Adjust adjust, const ConversionOptions& options = {},
                      std::string output = {}) {
  ParseResult parsed = parse_document(ParserBackend::Copperfern, html);
  EXPECT_TRUE(parsed.ok());
  const TlDom& dom = parsed.dom();
  const DomContext dom_context = build_dom_context(dom.top_level, dom, html.size());
  const WalkSets sets;
  const WalkPolicy policy = WalkPolicy::for_walk(options, sets);
  const Walk walk(dom, dom_context, options, policy, dom_handler_table(), output);
  ConversionContext context = make_root_context(options, nullptr, nullptr, nullptr);
  adjust(context);
  for (NodeHandle node : dom.top_level) walk.node(node, context, 0);
  return output;
}

}  // namespace tidewell::test
