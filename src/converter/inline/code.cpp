#include <string>

#include "common/unicode_space.hpp"
#include "converter/blocks/blocks.hpp"
#include "converter/inline/inline.hpp"
#include "converter/inline/outer_space.hpp"

namespace tidewell {

void convert_inline_code(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  if (w.dom().tag(node) == nullptr) return;
  ConversionContext scope = context;
  scope.in_code = true;
  if (context.in_code) {
    w.children(node, scope, depth);
    return;
  }
  const std::string content = render_children(w, node, scope, depth);
  if (content.empty()) return;
  if (is_unicode_space_only(content)) {
    // Nothing to show, but the words around it stay apart.
    write_framed(w, node, split_outer_whitespace(content), [](std::string&) {});
    return;
  }
  write_code_span(content, context.in_table_cell, w.out());
}

}  // namespace tidewell
