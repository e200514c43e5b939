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

// A parsed fragment and what a walk over it needs.
struct WalkFixture {
  explicit WalkFixture(std::string_view html, const ConversionOptions& walk_options = {})
      : parsed(parse_document(ParserBackend::Copperfern, html)), options(walk_options) {
    EXPECT_TRUE(parsed.ok());
    dom_context = build_dom_context(dom().top_level, dom(), html.size());
  }
  const TlDom& dom() const { return parsed.dom(); }
  // A walk writing to `output`.
  Walk walk(std::string& output) const {
    return Walk(dom(), dom_context, options, policy, dom_handler_table(), output);
  }

  ParseResult parsed;
  ConversionOptions options;
  DomContext dom_context;
  WalkSets sets;
  WalkPolicy policy = WalkPolicy::for_walk(options, sets);
};

template <typename Adjust>
std::string walk_with(std::string_view html, Adjust adjust, const ConversionOptions& options = {},
                      std::string output = {}) {
  const WalkFixture fixture(html, options);
  const Walk walk = fixture.walk(output);
  ConversionContext context = make_root_context(options, nullptr, nullptr, nullptr);
  adjust(context);
  for (NodeHandle node : fixture.dom().top_level) walk.node(node, context, 0);
  return output;
}

}  // namespace tidewell::test
