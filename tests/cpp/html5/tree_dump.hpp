// The html5lib tree-dump form of a parsed document, and a check of the
// tree's links, for the conformance and fuzz tests.
#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "html5/tree.hpp"

namespace tidewell::html5::test {

inline std::string attribute_name(const Attribute& a) {
  switch (a.ns) {
    case AttrNs::XLink: return "xlink " + std::string(a.name);
    case AttrNs::Xml: return "xml " + std::string(a.name);
    case AttrNs::Xmlns: return "xmlns " + std::string(a.name);
    case AttrNs::None: break;
  }
  return std::string(a.name);
}

// Every child of `parent` (and below), one line each, "| " and two spaces a level.
inline std::string dump_children(const Document& doc, NodeId parent) {
  std::string out;
  struct Item {
    NodeId node;
    int depth;
    bool contents;  // the "content" line of a template
  };
  std::vector<Item> work;
  auto push_children = [&](NodeId p, int depth) {
    std::vector<NodeId> kids;
    for (NodeId c = doc.node(p).first_child; c != kNoNode; c = doc.node(c).next_sibling) kids.push_back(c);
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) work.push_back({*it, depth, false});
  };
  auto line = [&](int depth, const std::string& text) {
    out += "| ";
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    out += text;
    out += '\n';
  };
  push_children(parent, 0);
  while (!work.empty()) {
    const Item item = work.back();
    work.pop_back();
    if (item.contents) {
      line(item.depth, "content");
      push_children(doc.template_contents(item.node), item.depth + 1);
      continue;
    }
    const Node& n = doc.node(item.node);
    switch (n.kind) {
      case NodeKind::Doctype: {
        const DoctypeInfo& ids = doc.doctype(item.node);
        std::string text = "<!DOCTYPE " + std::string(n.name);
        if (ids.has_public || ids.has_system) {
          text += " \"" + std::string(ids.public_id) + "\" \"" + std::string(ids.system_id) + "\"";
        }
        line(item.depth, text + ">");
        break;
      }
      case NodeKind::Comment: line(item.depth, "<!-- " + std::string(n.name) + " -->"); break;
      case NodeKind::Text: line(item.depth, "\"" + doc.text(item.node) + "\""); break;
      case NodeKind::Element: {
        std::string prefix = n.ns == Ns::Svg ? "svg " : n.ns == Ns::MathMl ? "math " : "";
        line(item.depth, "<" + prefix + std::string(n.name) + ">");
        std::vector<std::pair<std::string, std::string>> attrs;
        for (const Attribute& a : doc.attributes(item.node)) attrs.emplace_back(attribute_name(a), std::string(a.value));
        std::sort(attrs.begin(), attrs.end());
        for (const auto& [name, value] : attrs) line(item.depth + 1, name + "=\"" + value + "\"");
        push_children(item.node, item.depth + 1);
        if (doc.template_contents(item.node) != kNoNode) work.push_back({item.node, item.depth + 1, true});
        break;
      }
      case NodeKind::Document: break;
    }
  }
  return out;
}

// Empty when every link agrees: each child's parent is the node whose list
// holds it, sibling links mirror each other, and no node is reached twice.
inline std::string check_links(const Document& doc) {
  std::vector<int> seen(doc.size(), 0);
  std::vector<NodeId> roots{Document::root()};
  for (NodeId id = 0; id < doc.size(); ++id) {
    if (doc.template_contents(id) != kNoNode) roots.push_back(doc.template_contents(id));
  }
  std::vector<NodeId> work;
  for (NodeId r : roots) {
    if (doc.node(r).parent != kNoNode) return "a root has a parent";
    work.push_back(r);
    while (!work.empty()) {
      const NodeId p = work.back();
      work.pop_back();
      if (seen[p]++) return "node " + std::to_string(p) + " reached twice";
      NodeId prev = kNoNode;
      for (NodeId c = doc.node(p).first_child; c != kNoNode; c = doc.node(c).next_sibling) {
        if (doc.node(c).parent != p) return "child " + std::to_string(c) + " names another parent";
        if (doc.node(c).prev_sibling != prev) return "broken previous link at " + std::to_string(c);
        if (doc.node(c).kind == NodeKind::Document) return "a document node is a child";
        prev = c;
        work.push_back(c);
      }
      if (doc.node(p).last_child != prev) return "broken last child at " + std::to_string(p);
      if (doc.node(p).kind == NodeKind::Text || doc.node(p).kind == NodeKind::Comment) {
        if (doc.node(p).first_child != kNoNode) return "a leaf has children";
      }
    }
  }
  // A node outside the tree is one the builder made and let go (never a
  // node that still names a parent).
  for (NodeId id = 0; id < doc.size(); ++id) {
    if (!seen[id] && doc.node(id).parent != kNoNode) {
      const NodeId p = doc.node(id).parent;
      if (seen[p]) return "node " + std::to_string(id) + " names a parent that does not hold it";
    }
  }
  return {};
}

}  // namespace tidewell::html5::test
