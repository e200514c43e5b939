#include "converter/repair/serialize.hpp"

#include <array>
#include <string_view>
#include <vector>

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
using html5::Tag;

bool is_serialized_void(const Node& n) {
  if (n.ns != Ns::Html) return false;
  switch (n.tag) {
    case Tag::Area:
    case Tag::Base:
    case Tag::Basefont:
    case Tag::Bgsound:
    case Tag::Br:
    case Tag::Col:
    case Tag::Embed:
    case Tag::Frame:
    case Tag::Hr:
    case Tag::Img:
    case Tag::Input:
    case Tag::Keygen:
    case Tag::Link:
    case Tag::Meta:
    case Tag::Param:
    case Tag::Source:
    case Tag::Track:
    case Tag::Wbr: return true;
    default: return false;
  }
}

// Parents whose text is written as it stands (scripting is on, so noscript
// counts).
bool is_raw_text_parent(const Node& n) {
  if (n.kind != NodeKind::Element || n.ns != Ns::Html) return false;
  switch (n.tag) {
    case Tag::Style:
    case Tag::Script:
    case Tag::Xmp:
    case Tag::Iframe:
    case Tag::Noembed:
    case Tag::Noframes:
    case Tag::Plaintext:
    case Tag::Noscript: return true;
    default: return false;
  }
}

constexpr std::array<bool, 256> make_special(bool attribute) {
  std::array<bool, 256> t{};
  t['&'] = t['<'] = t['>'] = true;
  t[0xC2] = true;  // the first byte of U+00A0
  if (attribute) t['"'] = true;
  return t;
}
constexpr std::array<bool, 256> kTextSpecial = make_special(false);
constexpr std::array<bool, 256> kAttrSpecial = make_special(true);

void append_escaped(std::string& out, std::string_view s, bool attribute) {
  const std::array<bool, 256>& special = attribute ? kAttrSpecial : kTextSpecial;
  std::size_t run = 0;
  for (std::size_t k = 0; k < s.size(); ++k) {
    const auto c = static_cast<unsigned char>(s[k]);
    if (!special[c]) continue;
    std::string_view rep;
    std::size_t width = 1;
    switch (c) {
      case '&': rep = "&amp;"; break;
      case '<': rep = "&lt;"; break;
      case '>': rep = "&gt;"; break;
      case '"': rep = "&quot;"; break;
      default:
        if (k + 1 < s.size() && s[k + 1] == '\xA0') {
          rep = "&nbsp;";
          width = 2;
        }
        break;
    }
    if (rep.empty()) continue;
    out.append(s.data() + run, k - run);
    out.append(rep);
    run = k + width;
    k += width - 1;
  }
  out.append(s.data() + run, s.size() - run);
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

struct Step {
  NodeId node;
  bool close;
};

}  // namespace

void serialize_document(const Document& doc, std::string& out) {
  std::vector<Step> work;
  auto push_children = [&](NodeId parent) {
    // Last child first, so that they come off in document order.
    for (NodeId c = doc.node(parent).last_child; c != kNoNode; c = doc.node(c).prev_sibling) {
      work.push_back({c, false});
    }
  };
  push_children(Document::root());
  while (!work.empty()) {
    const Step step = work.back();
    work.pop_back();
    const Node& n = doc.node(step.node);
    if (step.close) {
      out += "</";
      out += n.name;
      out += '>';
      continue;
    }
    switch (n.kind) {
      case NodeKind::Element: {
        out += '<';
        out += n.name;
        for (const Attribute& a : doc.attributes(step.node)) {
          out += ' ';
          append_attribute_name(out, a);
          out += "=\"";
          append_escaped(out, a.value, true);
          out += '"';
        }
        out += '>';
        if (is_serialized_void(n)) break;
        work.push_back({step.node, true});
        // A template's content is not written.
        if (n.template_contents == kNoNode) push_children(step.node);
        break;
      }
      case NodeKind::Text: {
        const bool raw = n.parent != kNoNode && is_raw_text_parent(doc.node(n.parent));
        doc.for_each_text_piece(step.node, [&](std::string_view piece) {
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
  }
}

}  // namespace tidewell::repair
