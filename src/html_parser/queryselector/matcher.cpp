// Matching a parsed selector against one node of a document. Only the node
// itself is looked at (never its ancestors), so the descendant and child
// combinators never match.
#include "html_parser/queryselector/queryselector.hpp"

namespace tidewell::queryselector {

namespace {

bool same_bytes(const TlDom& dom, const std::optional<ByteSpan>& slot,
                std::string_view name) {
  return slot.has_value() && dom.bytes(*slot) == name;
}

bool matches_simple(const SimpleSelector& simple, const TlDom& dom,
                    const TlNode& node, ParserBackend backend) {
  if (simple.kind == SelectorKind::All) return true;
  const TlNode::Tag* tag = node.as_tag();
  if (tag == nullptr) return false;
  switch (simple.kind) {
    case SelectorKind::Tag:
      return dom.bytes(tag->name) == simple.name;
    case SelectorKind::Id:
      return same_bytes(dom, dom.id_of(*tag), simple.name);
    case SelectorKind::Class:
      return dom.class_of(*tag).has_value() &&
             contains_word(dom.bytes(*dom.class_of(*tag)), simple.name,
                           backend == ParserBackend::AsmTl
                               ? WordSeparators::AsciiSpaces
                               : WordSeparators::HtmlSpaces);
    case SelectorKind::Attribute:
      return attributes_get(dom, *tag, simple.name).found();
    case SelectorKind::AttributeValue:
    case SelectorKind::AttributeValueWord:
    case SelectorKind::AttributeValuePrefix:
    case SelectorKind::AttributeValueSuffix:
    case SelectorKind::AttributeValueSubstring:
      break;
    default:
      return false;
  }
  const AttributeLookup found = attributes_get(dom, *tag, simple.name);
  if (!found.has_value()) return false;
  const std::string_view value = dom.bytes(found.value);
  switch (simple.kind) {
    case SelectorKind::AttributeValue:
      return value == simple.value;
    case SelectorKind::AttributeValueWord:
      return contains_word(value, simple.value,
                           backend == ParserBackend::AsmTl
                               ? WordSeparators::AsciiSpaces
                               : WordSeparators::UnicodeSpaces);
    case SelectorKind::AttributeValuePrefix:
      return starts_with_bytes(value, simple.value);
    case SelectorKind::AttributeValueSuffix:
      return ends_with_bytes(value, simple.value);
    default:
      return contains_bytes(value, simple.value);
  }
}

}  // namespace

bool node_matches_selector(const Selector& selector, const TlDom& dom,
                           NodeHandle node) {
  const TlNode* target = dom.node(node);
  if (target == nullptr) return false;
  const auto links = selector.links();
  const ParserBackend backend = selector.backend();
  // Each link is `simple COMBINATOR rest`; walk the chain left to right,
  // deciding as soon as the rest can no longer change the answer.
  for (std::size_t i = 0; i + 1 < links.size(); ++i) {
    const SimpleSelector& link = links[i];
    switch (link.combinator) {
      case SelectorKind::And:
        if (!matches_simple(link, dom, *target, backend)) return false;
        break;
      case SelectorKind::Or:
        if (matches_simple(link, dom, *target, backend)) return true;
        break;
      default:  // Descendant, Parent
        return false;
    }
  }
  return matches_simple(links.back(), dom, *target, backend);
}

}  // namespace tidewell::queryselector
