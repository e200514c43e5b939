#include "html_parser/asm_tl/tree_builder.hpp"

#include <variant>

namespace tidewell::asm_tl {

namespace {

constexpr ParseError kBadTokens = ParseError::UnsupportedDeclaration;

inline bool span_inside(std::uint64_t start, std::uint64_t length, std::uint64_t size) {
  return start <= size && length <= size - start;
}

}  // namespace

std::optional<ParseError> build_dom_from_tokens(TlDom& dom, const AsmToken* tokens, std::size_t token_count,
                                                const AsmAttribute* attributes, std::size_t attribute_count) {
  const std::uint64_t input_size = dom.input.size();
  dom.nodes.clear();
  dom.top_level.clear();
  dom.attribute_pool.clear();
  dom.attribute_inline_capacity = kAttributeInlineCapacity;
  dom.nodes.reserve(token_count);
  dom.attribute_pool.reserve(attribute_count);

  // Pass 1: one node per token.
  for (std::size_t i = 0; i < token_count; ++i) {
    const AsmToken& t = tokens[i];
    if (!span_inside(t.start, t.length, input_size)) return kBadTokens;
    const ByteSpan span{t.start, t.length};
    switch (t.kind) {
      case kTokenText:
        dom.nodes.emplace_back(TlNode::Raw{span});
        break;
      case kTokenComment:
        dom.nodes.emplace_back(TlNode::Comment{span});
        break;
      case kTokenElement: {
        if (!span_inside(t.name_start, t.name_length, input_size) ||
            !span_inside(t.first_attribute, t.attribute_count, attribute_count)) {
          return kBadTokens;
        }
        TlNode::Tag tag;
        tag.name = ByteSpan{t.name_start, t.name_length};
        dom.begin_attributes(tag);
        for (std::uint32_t k = 0; k < t.attribute_count; ++k) {
          const AsmAttribute& a = attributes[t.first_attribute + k];
          if (!span_inside(a.name_start, a.name_length, input_size) ||
              !span_inside(a.value_start, a.value_length, input_size)) {
            return kBadTokens;
          }
          std::optional<ByteSpan> value;
          if (a.has_value != 0) value = ByteSpan{a.value_start, a.value_length};
          dom.store_attribute(tag, ByteSpan{a.name_start, a.name_length}, value);
        }
        dom.seal_attributes(tag);
        if (t.child_count > kChildrenInline) tag.children.reserve(t.child_count);
        dom.nodes.emplace_back(std::move(tag));
        break;
      }
      default:
        return kBadTokens;
    }
  }

  // Pass 2: attach every node to its parent, in document order. A parent must
  // be an earlier element, so the children lists can never form a cycle.
  for (std::size_t i = 0; i < token_count; ++i) {
    const std::uint32_t parent = tokens[i].parent;
    const auto handle = static_cast<NodeHandle>(i);
    if (parent == kNoParent) {
      dom.top_level.push_back(handle);
      continue;
    }
    if (parent >= i) return kBadTokens;
    TlNode::Tag* tag = dom.nodes[parent].as_tag();
    if (tag == nullptr) return kBadTokens;
    tag->children.push_back(handle);
  }
  return std::nullopt;
}

}  // namespace tidewell::asm_tl
