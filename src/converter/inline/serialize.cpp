#include "converter/inline/serialize.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "common/ascii.hpp"

namespace tidewell {
namespace {

struct SvgName {
  std::string_view lower;
  std::string_view adjusted;
};

// The SVG tag-name adjustments of the HTML standard, by lower-case name.
constexpr std::array<SvgName, 37> kSvgNames{{
    {"altglyph", "altGlyph"},
    {"altglyphdef", "altGlyphDef"},
    {"altglyphitem", "altGlyphItem"},
    {"animatecolor", "animateColor"},
    {"animatemotion", "animateMotion"},
    {"animatetransform", "animateTransform"},
    {"clippath", "clipPath"},
    {"feblend", "feBlend"},
    {"fecolormatrix", "feColorMatrix"},
    {"fecomponenttransfer", "feComponentTransfer"},
    {"fecomposite", "feComposite"},
    {"feconvolvematrix", "feConvolveMatrix"},
    {"fediffuselighting", "feDiffuseLighting"},
    {"fedisplacementmap", "feDisplacementMap"},
    {"fedistantlight", "feDistantLight"},
    {"fedropshadow", "feDropShadow"},
    {"feflood", "feFlood"},
    {"fefunca", "feFuncA"},
    {"fefuncb", "feFuncB"},
    {"fefuncg", "feFuncG"},
    {"fefuncr", "feFuncR"},
    {"fegaussianblur", "feGaussianBlur"},
    {"feimage", "feImage"},
    {"femerge", "feMerge"},
    {"femergenode", "feMergeNode"},
    {"femorphology", "feMorphology"},
    {"feoffset", "feOffset"},
    {"fepointlight", "fePointLight"},
    {"fespecularlighting", "feSpecularLighting"},
    {"fespotlight", "feSpotLight"},
    {"fetile", "feTile"},
    {"feturbulence", "feTurbulence"},
    {"foreignobject", "foreignObject"},
    {"glyphref", "glyphRef"},
    {"lineargradient", "linearGradient"},
    {"radialgradient", "radialGradient"},
    {"textpath", "textPath"},
}};

constexpr bool svg_names_sorted() {
  for (std::size_t i = 1; i < kSvgNames.size(); ++i) {
    if (!(kSvgNames[i - 1].lower < kSvgNames[i].lower)) return false;
  }
  return true;
}
static_assert(svg_names_sorted(), "binary search needs the names in order");

// Elements of SVG whose children are HTML again.
bool is_svg_integration_point(std::string_view lower_name) {
  return lower_name == "foreignobject" || lower_name == "desc" || lower_name == "title";
}

struct Frame {
  const TlNode::Tag* tag;
  std::size_t next_child;
  std::size_t name_pos;  // where the element's name stands in the output
  std::size_t name_len;
  bool svg;          // the element is in the SVG namespace
  bool html_inside;  // its children are HTML (an SVG integration point)
};

}  // namespace

void append_attribute_value(std::string_view value, std::string& out) {
  for (const char c : value) {
    if (c == '"') {
      out += "&quot;";
    } else {
      out += c;
    }
  }
}

std::string_view adjust_svg_tag_name(std::string_view lower_name) {
  const auto it = std::lower_bound(kSvgNames.begin(), kSvgNames.end(), lower_name,
                                   [](const SvgName& entry, std::string_view name) { return entry.lower < name; });
  return it != kSvgNames.end() && it->lower == lower_name ? it->adjusted : lower_name;
}

std::string serialize_subtree_html(NodeHandle node, const TlDom& dom) {
  if (dom.tag(node) == nullptr) return {};
  std::string out;
  out.reserve(256);
  std::vector<Frame> stack;
  std::vector<AttributePair> attributes;

  // Writes the start tag; returns whether the element stays open.
  const auto open = [&](const TlNode::Tag& tag, bool parent_svg) {
    const std::string lower = ascii_lowercase(utf8_lossy(dom.bytes(tag.name)).view());
    const bool svg = parent_svg || lower == "svg";
    out += '<';
    const std::size_t name_pos = out.size();
    out += svg ? adjust_svg_tag_name(lower) : std::string_view(lower);
    const std::size_t name_len = out.size() - name_pos;

    attributes.clear();
    AttributeIter it = attributes_iter(dom, tag);
    while (std::optional<AttributePair> pair = it.next()) attributes.push_back(std::move(*pair));
    if (attributes.size() > 1) {
      std::stable_sort(attributes.begin(), attributes.end(), [](const AttributePair& a, const AttributePair& b) {
        return a.name.view() < b.name.view();
      });
    }
    for (const AttributePair& attribute : attributes) {
      out += ' ';
      out += attribute.name.view();
      if (!attribute.value) continue;
      out += "=\"";
      append_attribute_value(attribute.value->view(), out);
      out += '"';
    }
    if (tag.children.empty()) {
      out += " />";
      return;
    }
    out += '>';
    stack.push_back(Frame{&tag, 0, name_pos, name_len, svg, svg && is_svg_integration_point(lower)});
  };

  open(*dom.tag(node), false);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next_child < frame.tag->children.size()) {
      const NodeHandle child = frame.tag->children[frame.next_child++];
      const TlNode* n = dom.node(child);
      if (n == nullptr || n->is_comment()) continue;
      if (const TlNode::Raw* raw = n->as_raw()) {
        append_utf8_lossy(dom.bytes(raw->text), out);
        continue;
      }
      open(*n->as_tag(), frame.svg && !frame.html_inside);  // may grow the stack: `frame` is not used after it
      continue;
    }
    out.reserve(out.size() + frame.name_len + 3);
    out += "</";
    out.append(out.data() + frame.name_pos, frame.name_len);
    out += '>';
    stack.pop_back();
  }
  return out;
}

}  // namespace tidewell
