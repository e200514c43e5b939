#include "converter/repair/serialize.hpp"

#include "common/tags.hpp"
#include "html5/scan.hpp"

#include <string_view>

namespace tidewell::repair {

namespace {

using html5::Attribute;
using html5::AttrNs;
using html5::Document;
using html5::kNoNode;
using html5::Node;
using html5::NodeId;
using html5::NodeKind;
using html5::Ns;
using tidewell::TagId;

bool is_serialized_void(const Node& n) { return n.ns == Ns::Html && tag_has(n.tag, kSerializedVoid); }

// Parents whose text is written as it stands (scripting is on, so noscript
// counts).
bool is_raw_text_parent(const Node& n) {
  return n.kind == NodeKind::Element && n.ns == Ns::Html &&
         (tag_has(n.tag, kRawText) || n.tag == TagId::Plaintext || n.tag == TagId::Noscript);
}

void append_escaped(std::string& out, std::string_view s, bool attribute) {
  static constexpr char kText[] = {'&', '<', '>', '\xC2'};
  static constexpr char kAttribute[] = {'&', '<', '>', '\xC2', '"'};
  const char* p = s.data();
  const char* const end = p + s.size();
  while (true) {
    // '\xC2' starts U+00A0, written as "&nbsp;".
    const char* q = attribute ? html5::scan::find_any(p, end, kAttribute) : html5::scan::find_any(p, end, kText);
    out.append(p, q);
    if (q == end) return;
    switch (*q) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        if (q + 1 < end && q[1] == '\xA0') {
          out += "&nbsp;";
          ++q;
        } else {
          out.push_back(*q);
        }
        break;
    }
    p = q + 1;
  }
}

void append_attribute_name(std::string& out, const Attribute& a) {
  switch (a.ns) {
    case AttrNs::XLink: out += "xlink:"; break;
    case AttrNs::Xml: out += "xml:"; break;
    case AttrNs::Xmlns:
      if (a.name != "xmlns") out += "xmlns:";
      break;
    case AttrNs::None: break;
  }
  out += a.name;
}

void append_end_tag(std::string& out, const Node& n) {
  out += "</";
  out += n.name;
  out += '>';
}

}  // namespace

// Walks the tree by its links (first child, next sibling, parent): no stack,
// however deep the tree.
void serialize_document(const Document& doc, std::string& out) {
  NodeId id = doc.node(Document::root()).first_child;
  while (id != kNoNode) {
    const Node& n = doc.node(id);
    bool descend = false;
    switch (n.kind) {
      case NodeKind::Element: {
        out += '<';
        out += n.name;
        for (const Attribute& a : doc.attributes(id)) {
          out += ' ';
          append_attribute_name(out, a);
          out += "=\"";
          append_escaped(out, a.value, true);
          out += '"';
        }
        out += '>';
        if (is_serialized_void(n)) break;
        // A template's content is not written.
        if (doc.template_contents(id) == kNoNode && n.first_child != kNoNode) descend = true;
        else append_end_tag(out, n);
        break;
      }
      case NodeKind::Text: {
        const bool raw = n.parent != kNoNode && is_raw_text_parent(doc.node(n.parent));
        doc.for_each_text_piece(id, [&](std::string_view piece) {
          if (raw) out.append(piece);
          else append_escaped(out, piece, false);
        });
        break;
      }
      case NodeKind::Comment:
        out += "<!--";
        out += n.name;
        out += "-->";
        break;
      case NodeKind::Doctype:
        out += "<!DOCTYPE ";
        out += n.name;
        out += '>';
        break;
      case NodeKind::Document: break;
    }
    if (descend) {
      id = n.first_child;
      continue;
    }
    // On to the next sibling, closing the elements that end here.
    while (true) {
      const Node& at = doc.node(id);
      if (at.next_sibling != kNoNode) {
        id = at.next_sibling;
        break;
      }
      id = at.parent;
      if (id == Document::root() || id == kNoNode) {
        id = kNoNode;
        break;
      }
      append_end_tag(out, doc.node(id));
    }
  }
}

}  // namespace tidewell::repair
