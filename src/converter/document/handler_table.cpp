// The one dispatch entry of each handler family. A new family is added by
// writing its handler in its room (converter/blocks, converter/inline,
// converter/tables, ...), declaring that room in this folder's CMakeLists.txt
// and replacing its convert_unknown_element entry below. Which elements
// belong to a family is the tag table's (common/tags.cpp).
#include "converter/document/handler_table.hpp"

#include "converter/blocks/blocks.hpp"
#include "converter/inline/inline.hpp"
#include "converter/inline/links.hpp"
#include "converter/metadata/json_ld.hpp"
#include "converter/tables/tables.hpp"

namespace tidewell {
namespace {

// head, style and script.
void convert_metadata_family(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth) {
  auto walk_child = [&](NodeHandle child, std::size_t child_depth) { w.node(child, context, child_depth); };
  convert_metadata_element(w.tag(node).name, node, w.dom(), context.metadata_sink, context.collect_structured_data,
                           depth, w.dom_context(), ChildWalk(walk_child));
}

constexpr HandlerTable make_table() {
  using F = HandlerFamily;
  HandlerTable t;
  t[F::Unknown] = convert_unknown_element;
  t[F::Nothing] = convert_nothing;
  t[F::Transparent] = convert_transparent;
  t[F::Metadata] = convert_metadata_family;
  t[F::Paragraph] = convert_paragraph;
  t[F::Div] = convert_div;
  t[F::LineBreak] = convert_line_break;
  t[F::Rule] = convert_horizontal_rule;
  t[F::Heading] = convert_heading;
  t[F::List] = convert_list_element;
  t[F::CodeBlock] = convert_code_block;
  t[F::Blockquote] = convert_blockquote;
  t[F::Semantic] = convert_semantic_element;
  t[F::Form] = convert_form_element;
  t[F::Inline] = convert_inline_element;
  t[F::InlineCode] = convert_inline_code;
  t[F::Table] = convert_table;
  t[F::TablePart] = convert_table_part;
  t[F::Caption] = convert_caption;
  t[F::Link] = convert_link;
  t[F::Image] = convert_image;
  t[F::Graphic] = convert_graphic;
  t[F::Embedded] = convert_embedded_element;

  t.preserved = convert_preserved_element;
  return t;
}

constexpr HandlerTable kTable = make_table();

}  // namespace

const HandlerTable& dom_handler_table() { return kTable; }

}  // namespace tidewell
