// The selector's links as a readable text for the tests, e.g.
// "Descendant(Class(a), Tag(b))".
#pragma once

#include <string>

#include "html_parser/queryselector/selector.hpp"

namespace tidewell::queryselector {

inline const char* kind_name(SelectorKind kind) {
  switch (kind) {
    case SelectorKind::Tag: return "Tag";
    case SelectorKind::Id: return "Id";
    case SelectorKind::Class: return "Class";
    case SelectorKind::All: return "All";
    case SelectorKind::And: return "And";
    case SelectorKind::Or: return "Or";
    case SelectorKind::Descendant: return "Descendant";
    case SelectorKind::Parent: return "Parent";
    case SelectorKind::Attribute: return "Attribute";
    case SelectorKind::AttributeValue: return "AttributeValue";
    case SelectorKind::AttributeValueWord: return "AttributeValueWord";
    case SelectorKind::AttributeValuePrefix: return "AttributeValuePrefix";
    case SelectorKind::AttributeValueSuffix: return "AttributeValueSuffix";
    case SelectorKind::AttributeValueSubstring:
      return "AttributeValueSubstring";
  }
  return "?";
}


inline std::string describe_selector(const Selector& selector) {
  std::string out;
  const auto links = selector.links();
  for (std::size_t i = 0; i < links.size(); ++i) {
    const SimpleSelector& link = links[i];
    const bool last = i + 1 == links.size();
    if (!last) {
      out += kind_name(link.combinator);
      out += '(';
    }
    out += kind_name(link.kind);
    switch (link.kind) {
      case SelectorKind::All:
        break;
      case SelectorKind::Tag:
      case SelectorKind::Id:
      case SelectorKind::Class:
      case SelectorKind::Attribute:
        out += '(';
        out += link.name;
        out += ')';
        break;
      default:
        out += '(';
        out += link.name;
        out += ", ";
        out += link.value;
        out += ')';
        break;
    }
    if (!last) out += ", ";
  }
  out.append(links.size() - 1, ')');
  return out;
}

}  // namespace tidewell::queryselector
