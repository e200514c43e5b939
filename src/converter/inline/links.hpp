// Links, images, graphics and embedded media on the DOM road. The handlers
// are ElementHandlers (converter/walk/walk.hpp) reached through the handler
// table (converter/document/handler_table.cpp): convert_link (a),
// convert_image (img), convert_graphic (graphic) and
// convert_embedded_element (svg, math, audio, video, iframe, picture).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "common/entities.hpp"
#include "converter/walk/walk.hpp"
#include "result/result.hpp"

namespace tidewell {

// --- shared by the handlers below (link_markdown.cpp) ---

// The siblings of `node` (the top-level nodes for one without a parent) and
// its index among them, at most siblings.size(); nullopt for a node the walk's
// tree does not place.
struct SiblingPlace {
  std::span<const NodeHandle> siblings;
  std::size_t index;
};
std::optional<SiblingPlace> sibling_place(const Walk& w, NodeHandle node);

// The value of an attribute present with a value, as text (attribute_text:
// invalid UTF-8 replaced, character references decoded).
std::optional<std::string> attribute_value_text(const TlDom& dom, const TlNode::Tag& tag, std::string_view name);

// Every attribute of the element for a link or image record, keyed by its
// name as written, with its value as text ("" for none), except those for
// which `skip(name)` holds. A repeated name keeps its first value, as
// attribute lookups do.
template <typename Skip>
OrderedMap attribute_record_map(const TlDom& dom, const TlNode::Tag& tag, Skip skip) {
  OrderedMap map;
  AttributeIter it = attributes_iter(dom, tag);
  while (std::optional<AttributePair> pair = it.next()) {
    if (skip(pair->name.view())) continue;
    map.emplace(std::move(pair->name).into_string(), pair->value ? decode_entities_owned(pair->value->view()) : "");
  }
  return map;
}

// --- the Markdown of one link (link_markdown.cpp) ---

// Appends "[label][n]" (reference style, when `references` is given, the
// options ask for reference links and `destination` is not empty; the pair
// (destination, title) is numbered through register_reference) or
// "[label](destination "title")". `label` is already escaped; `destination`
// and `title` are text (references decoded). With no title,
// `destination_as_title` (the `default_title` rule, decided by the caller)
// writes the destination as the title of an inline link.
void append_link_markdown(std::string& out, std::string_view label, std::string_view destination,
                          const std::optional<std::string>& title, bool destination_as_title,
                          const ConversionOptions& options, ReferenceLinkCollector* references);

// --- links (links.cpp) ---

// What a link holds outside its block elements.
struct LinkContentScan {
  std::string text;        // the decoded text outside block elements, in order
  bool has_block = false;  // a block element is among the descendants
};

// Scans the subtrees of `children` without recursion; block elements are
// not entered. With `want_text` false the scan stops at the first block
// element and leaves `text` empty.
LinkContentScan collect_link_content(std::span<const NodeHandle> children, const TlDom& dom,
                                     const DomContext& dom_context, bool want_text = true);

// The one h1-h6 child of a link whose other children are only white-space
// text: (level, heading).
std::optional<std::pair<std::uint8_t, NodeHandle>> find_heading_in_link(const Walk& w, NodeHandle link);

// The "<...>" autolink target of a link whose text is `text`, or nullopt
// when the link is no autolink: `href` is an absolute URI equal to the text,
// or "mailto:" and an e-mail address equal to the text, in the forms
// CommonMark reads as autolinks.
std::optional<std::string_view> autolink_target(std::string_view href, std::string_view text);

void convert_link(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

// --- images and graphics (images.cpp) ---

// The target of a value that already holds a Markdown link ("[a](b)" gives
// "b"); the value itself otherwise.
std::string_view unwrap_markdown_link(std::string_view value);

// Images in `context` are written as their alt text only: inside a heading
// or a link on one line unless keep_inline_images_in names it (or the link
// keeps them), and in inline mode.
bool writes_alt_only(const ConversionContext& context);

// Writes the text that stands for an image or graphic (its alt text or
// title) in its place, as a word of its own: a space before it after a word
// and after it when the element's next sibling goes on with one, so that
// "Read<img alt=more>now" does not read "Readmorenow". In a table cell '|'
// is escaped.
void write_alt_word(const Walk& w, NodeHandle node, std::string_view alt, bool in_table_cell);

// An unsigned 32-bit decimal with an optional leading '+', nothing else.
std::optional<std::uint32_t> parse_image_dimension(std::string_view value);

void convert_image(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);
void convert_graphic(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

// --- embedded media (media.cpp) ---

void convert_embedded_element(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

// Standard base64 (RFC 4648) with '=' padding.
std::string base64_encode(std::string_view bytes);

}  // namespace tidewell
