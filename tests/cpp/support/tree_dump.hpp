// A parsed document written out compactly: elements as name[children]
// (attributes in braces), text as "..." and comments as !"...", top-level
// nodes separated by spaces.
#pragma once

#include <string>
#include <string_view>

#include "html_parser/parser.hpp"

namespace tidewell::test {

inline void dump_node(const TlDom& d, NodeHandle h, std::string& out) {
  const TlNode& n = d.nodes[h];
  if (const auto* raw = n.as_raw()) {
    out += '"';
    out += d.bytes(raw->text);
    out += '"';
  } else if (const auto* c = n.as_comment()) {
    out += "!\"";
    out += d.bytes(c->text);
    out += '"';
  } else {
    const auto* t = n.as_tag();
    out += d.bytes(t->name);
    AttributeIter it(d, *t);
    std::string attrs;
    while (auto pair = it.next()) {
      if (!attrs.empty()) attrs += ' ';
      attrs += pair->name.view();
      if (pair->value) {
        attrs += '=';
        attrs += pair->value->view();
      }
    }
    if (!attrs.empty()) out += "{" + attrs + "}";
    if (!t->children.empty()) {
      out += '[';
      bool first = true;
      for (NodeHandle c : t->children) {
        if (!first) out += ',';
        first = false;
        dump_node(d, c, out);
      }
      out += ']';
    }
  }
}

inline std::string dump(const TlDom& d) {
  std::string out;
  for (NodeHandle h : d.top_level) {
    if (!out.empty()) out += ' ';
    dump_node(d, h, out);
  }
  return out;
}

// The tree of `html` parsed by `backend`, or "<error>".
inline std::string parse_dump(ParserBackend backend, std::string_view html) {
  ParseResult r = parse_document(backend, html);
  return r.ok() ? dump(r.dom()) : "<error>";
}

}  // namespace tidewell::test
