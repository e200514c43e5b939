// asm_tl driver: sizes the tokenizer's arrays, retries with larger ones when
// an array fills up, and hands the tokens to the tree builder.
#include <algorithm>
#include <memory>

#include "html_parser/asm_tl/tokenizer.hpp"
#include "html_parser/asm_tl/tree_builder.hpp"
#include "html_parser/parser.hpp"

namespace tidewell::asm_tl {

namespace {

// The first run's arrays live in the driver's stack frame, so small documents
// allocate nothing for them.
constexpr std::size_t kFirstTokens = 192;
constexpr std::size_t kFirstAttributes = 128;
constexpr std::size_t kFirstStack = 64;
// The entries for open elements that a misnested end tag may close are few
// on ordinary pages: the retries keep them in the frame too, and give them
// the room of the whole stack only when a page needs more (a large array
// allocated for each page costs more than the parse itself).
constexpr std::size_t kFewScopes = 256;

ParseError full_array_error(std::uint32_t code) {
  switch (code) {
    case kTokenArrayFull:
      return ParseError::TokenArrayTooSmall;
    case kAttributeArrayFull:
      return ParseError::AttributeArrayTooSmall;
    default:
      return ParseError::OpenStackTooSmall;
  }
}

std::optional<ParseError> finish(TlDom& dom, const TokenBuffers& b) {
  auto error = build_dom_from_tokens(dom, b.tokens, b.token_count, b.attributes, b.attribute_count);
  if (!error) dom.pos = dom.input.size();
  return error;
}

}  // namespace

std::optional<ParseError> parse_nodes(TlDom& dom) {
  const std::size_t n = dom.input.size();
  if (!fits_u32(n)) return ParseError::InputTooLarge;
  const char* input = dom.input.data();

  {
    AsmToken tokens[kFirstTokens];
    AsmAttribute attributes[kFirstAttributes];
    std::uint32_t stack[kFirstStack];
    ScopeEntry scopes[kFirstStack];
    TokenBuffers b{tokens, kFirstTokens, 0, attributes, kFirstAttributes, 0, stack, kFirstStack, 0, 0,
                   scopes, kFirstStack};
    const std::uint32_t code = tokenize_html(input, n, b);
    if (code == kTokenizeFinished) return finish(dom, b);
  }

  // Every token and attribute covers at least one input byte and every open
  // element one "<", so n + 1 entries always suffice.
  const std::size_t most = n + 1;
  std::size_t token_cap = std::min(most, std::max<std::size_t>(384, n / 2));
  std::size_t attribute_cap = std::min(most, std::max<std::size_t>(256, n / 3));
  std::size_t stack_cap = std::min(most, std::max<std::size_t>(128, n / 3));
  bool many_scopes = false;
  for (;;) {
    auto tokens = std::make_unique_for_overwrite<AsmToken[]>(token_cap);
    auto attributes = std::make_unique_for_overwrite<AsmAttribute[]>(attribute_cap);
    auto stack = std::make_unique_for_overwrite<std::uint32_t[]>(stack_cap);
    ScopeEntry few[kFewScopes];
    std::unique_ptr<ScopeEntry[]> scopes;
    if (many_scopes) scopes = std::make_unique_for_overwrite<ScopeEntry[]>(stack_cap);
    TokenBuffers b{tokens.get(), token_cap, 0, attributes.get(), attribute_cap, 0, stack.get(), stack_cap, 0, 0,
                   scopes ? scopes.get() : few, scopes ? stack_cap : kFewScopes};
    const std::uint32_t code = tokenize_html(input, n, b);
    if (code == kTokenizeFinished) return finish(dom, b);
    if (code == kScopeArrayFull && !many_scopes) {
      // As many entries as open elements: this array cannot fill again.
      many_scopes = true;
      continue;
    }
    if (token_cap >= most && attribute_cap >= most && stack_cap >= most) return full_array_error(code);
    token_cap = std::min(most, token_cap * 2);
    attribute_cap = std::min(most, attribute_cap * 2);
    stack_cap = std::min(most, stack_cap * 2);
  }
}

}  // namespace tidewell::asm_tl
