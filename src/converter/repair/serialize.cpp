#include <algorithm>

#include "converter/repair/prepare.hpp"
#include "common/scan.hpp"

namespace tidewell::repair {

namespace {

// Parents whose text is written as it stands (scripting is on, so noscript
// counts).
bool is_raw_text_parent(std::string_view n) {
  const TagId id = tag_id(n);
  return tag_has(id, kRawText) || id == TagId::Plaintext || id == TagId::Noscript;
}

bool is_element(const GumboNode* node) {
  return node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE;
}

// The element's qualified name as the tree builder gives it: lower case
// for HTML, the adjusted camel case for SVG.
void element_name(const GumboElement& el, std::string& name) {
  name.clear();
  if (el.tag != GUMBO_TAG_UNKNOWN) {
    name = gumbo_normalized_tagname(el.tag);
  } else {
    GumboStringPiece piece = el.original_tag;
    gumbo_tag_from_original_text(&piece);
    if (piece.data != nullptr) {
      for (std::size_t k = 0; k < piece.length; ++k) {
        const char c = piece.data[k];
        if (c == '\0') {
          name += "\xEF\xBF\xBD";
        } else {
          name.push_back(static_cast<char>(scan::lower(static_cast<unsigned char>(c))));
        }
      }
    }
  }
  if (el.tag_namespace == GUMBO_NAMESPACE_SVG && !name.empty()) {
    GumboStringPiece piece{name.data(), name.size()};
    if (const char* adjusted = gumbo_normalize_svg_tagname(&piece)) name = adjusted;
  }
}

void append_escaped(std::string& out, std::string_view s, bool attribute) {
  std::size_t run = 0;
  for (std::size_t k = 0; k < s.size(); ++k) {
    const char c = s[k];
    std::string_view rep;
    std::size_t width = 1;
    switch (c) {
      case '&': rep = "&amp;"; break;
      case '<': rep = "&lt;"; break;
      case '>': rep = "&gt;"; break;
      case '"':
        if (attribute) rep = "&quot;";
        break;
      case '\xC2':
        if (k + 1 < s.size() && s[k + 1] == '\xA0') {
          rep = "&nbsp;";
          width = 2;
        }
        break;
      default: break;
    }
    if (rep.empty()) continue;
    out.append(s.data() + run, k - run);
    out.append(rep);
    run = k + width;
    k += width - 1;
  }
  out.append(s.data() + run, s.size() - run);
}

// A noscript's kept content, as the tokenizer would have read it as raw text:
// line breaks normalised and NUL replaced.
void append_raw_content(std::string& out, std::string_view raw) {
  for (std::size_t k = 0; k < raw.size(); ++k) {
    const char c = raw[k];
    if (c == '\r') {
      out.push_back('\n');
      if (k + 1 < raw.size() && raw[k + 1] == '\n') ++k;
    } else if (c == '\0') {
      out += "\xEF\xBF\xBD";
    } else {
      out.push_back(c);
    }
  }
}

void append_attribute_name(std::string& out, const GumboAttribute& a) {
  const std::string_view local = a.name;
  switch (a.attr_namespace) {
    case GUMBO_ATTR_NAMESPACE_XLINK: out += "xlink:"; break;
    case GUMBO_ATTR_NAMESPACE_XML: out += "xml:"; break;
    case GUMBO_ATTR_NAMESPACE_XMLNS:
      if (local != "xmlns") out += "xmlns:";
      break;
    case GUMBO_ATTR_NAMESPACE_NONE: break;
  }
  out += local;
}

struct Step {
  const GumboNode* node;
  bool close;
};

}  // namespace

void serialize_document(const GumboNode* document, std::string_view buffer,
                        const std::vector<RawNoscript>& noscripts, std::string& out) {
  const GumboDocument& doc = document->v.document;
  const char* base = buffer.data();
  auto offset_of = [&](const char* p) -> std::size_t {
    if (p == nullptr || p < base || p > base + buffer.size()) return scan::npos;
    return static_cast<std::size_t>(p - base);
  };

  // The doctype has no node of its own: it stands after the comments that
  // precede it in the source (only whitespace and comments can).
  std::size_t doctype_before = doc.children.length;
  if (doc.has_doctype) {
    std::size_t pos = 0;
    std::size_t idx = 0;
    for (; idx < doc.children.length; ++idx) {
      const auto* child = static_cast<const GumboNode*>(doc.children.data[idx]);
      if (child->type != GUMBO_NODE_COMMENT) break;
      const std::size_t at = offset_of(child->v.text.original_text.data);
      if (at == scan::npos || at < pos) break;
      bool blank = true;
      for (std::size_t k = pos; k < at && blank; ++k) blank = scan::is_ws(static_cast<unsigned char>(buffer[k]));
      if (!blank) break;
      pos = at + child->v.text.original_text.length;
    }
    doctype_before = idx;
  }
  auto write_doctype = [&] {
    out += "<!DOCTYPE ";
    out += doc.name ? doc.name : "";
    out += ">";
  };

  std::vector<Step> stack;
  std::string name;
  for (std::size_t idx = 0; idx <= doc.children.length; ++idx) {
    if (doc.has_doctype && idx == doctype_before) write_doctype();
    if (idx == doc.children.length) break;
    stack.push_back({static_cast<const GumboNode*>(doc.children.data[idx]), false});
    while (!stack.empty()) {
      const Step step = stack.back();
      stack.pop_back();
      const GumboNode* node = step.node;
      if (step.close) {
        element_name(node->v.element, name);
        if (!name.empty()) {
          out += "</";
          out += name;
          out += ">";
        }
        continue;
      }
      switch (node->type) {
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE: {
          const GumboElement& el = node->v.element;
          element_name(el, name);
          if (!name.empty()) {
            out += "<";
            out += name;
            for (unsigned a = 0; a < el.attributes.length; ++a) {
              const auto* attr = static_cast<const GumboAttribute*>(el.attributes.data[a]);
              out += ' ';
              append_attribute_name(out, *attr);
              out += "=\"";
              append_escaped(out, attr->value ? attr->value : "", true);
              out += '"';
            }
            out += ">";
          }
          if (el.tag_namespace == GUMBO_NAMESPACE_HTML && is_serialized_void(name)) break;
          stack.push_back({node, true});
          // A template is written without its content.
          if (node->type == GUMBO_NODE_TEMPLATE) break;
          if (stack.capacity() - stack.size() < el.children.length) {
            stack.reserve(std::max(stack.capacity() * 2, stack.size() + el.children.length));
          }
          for (unsigned k = el.children.length; k-- > 0;) {
            stack.push_back({static_cast<const GumboNode*>(el.children.data[k]), false});
          }
          break;
        }
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
        case GUMBO_NODE_CDATA: {
          const std::string_view text = node->v.text.text ? node->v.text.text : "";
          bool raw = false;
          if (node->parent && is_element(node->parent) &&
              node->parent->v.element.tag_namespace == GUMBO_NAMESPACE_HTML) {
            element_name(node->parent->v.element, name);
            raw = is_raw_text_parent(name);
          }
          if (raw) out += text; else append_escaped(out, text, false);
          break;
        }
        case GUMBO_NODE_COMMENT: {
          const std::size_t at = offset_of(node->v.text.original_text.data);
          const RawNoscript* kept = nullptr;
          if (at != scan::npos && !noscripts.empty()) {
            auto it = std::lower_bound(noscripts.begin(), noscripts.end(), at,
                                       [](const RawNoscript& r, std::size_t v) { return r.placeholder < v; });
            if (it != noscripts.end() && it->placeholder == at) kept = &*it;
          }
          if (kept) {
            const GumboNode* parent = node->parent;
            const bool in_noscript = parent && parent->type == GUMBO_NODE_ELEMENT &&
                                     parent->v.element.tag == GUMBO_TAG_NOSCRIPT &&
                                     parent->v.element.tag_namespace == GUMBO_NAMESPACE_HTML;
            if (in_noscript) {
              append_raw_content(out, kept->raw);
            } else {
              std::string content;
              append_raw_content(content, kept->raw);
              append_escaped(out, content, false);
            }
            break;
          }
          out += "<!--";
          out += node->v.text.text ? node->v.text.text : "";
          out += "-->";
          break;
        }
        case GUMBO_NODE_DOCUMENT:
          break;
      }
    }
  }
}

}  // namespace tidewell::repair
