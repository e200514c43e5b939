// Tree construction: the insertion modes over the tokenizer's tokens.
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/ascii.hpp"
#include "common/scan.hpp"
#include "html5/formatting_list.hpp"
#include "html5/open_elements.hpp"
#include "html5/parser.hpp"
#include "html5/tokenizer.hpp"

namespace tidewell::html5 {
namespace {

enum class Mode : std::uint8_t {
  Initial, BeforeHtml, BeforeHead, InHead, InHeadNoscript, AfterHead, InBody, Text, InTable,
  InTableText, InCaption, InColumnGroup, InTableBody, InRow, InCell, InTemplate, AfterBody,
  InFrameset, AfterFrameset, AfterAfterBody, AfterAfterFrameset,
};


constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

using ::tidewell::scan::is_ws;

std::size_t ws_prefix(std::string_view s) {
  std::size_t k = 0;
  while (k < s.size() && is_ws(s[k])) ++k;
  return k;
}

bool all_ws(std::string_view s) { return ws_prefix(s) == s.size(); }

bool istarts(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && ascii_iequals(s.substr(0, prefix.size()), prefix);
}

template <std::size_t N>
bool tag_in(TagId t, const TagId (&set)[N]) {
  for (TagId x : set) {
    if (x == t) return true;
  }
  return false;
}

struct NamePair {
  std::string_view from, to;
};

constexpr NamePair kSvgTagNames[] = {
    {"altglyph", "altGlyph"}, {"altglyphdef", "altGlyphDef"}, {"altglyphitem", "altGlyphItem"},
    {"animatecolor", "animateColor"}, {"animatemotion", "animateMotion"},
    {"animatetransform", "animateTransform"}, {"clippath", "clipPath"}, {"feblend", "feBlend"},
    {"fecolormatrix", "feColorMatrix"}, {"fecomponenttransfer", "feComponentTransfer"},
    {"fecomposite", "feComposite"}, {"feconvolvematrix", "feConvolveMatrix"},
    {"fediffuselighting", "feDiffuseLighting"}, {"fedisplacementmap", "feDisplacementMap"},
    {"fedistantlight", "feDistantLight"}, {"fedropshadow", "feDropShadow"}, {"feflood", "feFlood"},
    {"fefunca", "feFuncA"}, {"fefuncb", "feFuncB"}, {"fefuncg", "feFuncG"}, {"fefuncr", "feFuncR"},
    {"fegaussianblur", "feGaussianBlur"}, {"feimage", "feImage"}, {"femerge", "feMerge"},
    {"femergenode", "feMergeNode"}, {"femorphology", "feMorphology"}, {"feoffset", "feOffset"},
    {"fepointlight", "fePointLight"}, {"fespecularlighting", "feSpecularLighting"},
    {"fespotlight", "feSpotLight"}, {"fetile", "feTile"}, {"feturbulence", "feTurbulence"},
    {"foreignobject", "foreignObject"}, {"glyphref", "glyphRef"}, {"lineargradient", "linearGradient"},
    {"radialgradient", "radialGradient"}, {"textpath", "textPath"},
};

constexpr NamePair kSvgAttrNames[] = {
    {"attributename", "attributeName"}, {"attributetype", "attributeType"},
    {"basefrequency", "baseFrequency"}, {"baseprofile", "baseProfile"}, {"calcmode", "calcMode"},
    {"clippathunits", "clipPathUnits"}, {"diffuseconstant", "diffuseConstant"}, {"edgemode", "edgeMode"},
    {"filterunits", "filterUnits"}, {"glyphref", "glyphRef"}, {"gradienttransform", "gradientTransform"},
    {"gradientunits", "gradientUnits"}, {"kernelmatrix", "kernelMatrix"},
    {"kernelunitlength", "kernelUnitLength"}, {"keypoints", "keyPoints"}, {"keysplines", "keySplines"},
    {"keytimes", "keyTimes"}, {"lengthadjust", "lengthAdjust"}, {"limitingconeangle", "limitingConeAngle"},
    {"markerheight", "markerHeight"}, {"markerunits", "markerUnits"}, {"markerwidth", "markerWidth"},
    {"maskcontentunits", "maskContentUnits"}, {"maskunits", "maskUnits"}, {"numoctaves", "numOctaves"},
    {"pathlength", "pathLength"}, {"patterncontentunits", "patternContentUnits"},
    {"patterntransform", "patternTransform"}, {"patternunits", "patternUnits"}, {"pointsatx", "pointsAtX"},
    {"pointsaty", "pointsAtY"}, {"pointsatz", "pointsAtZ"}, {"preservealpha", "preserveAlpha"},
    {"preserveaspectratio", "preserveAspectRatio"}, {"primitiveunits", "primitiveUnits"}, {"refx", "refX"},
    {"refy", "refY"}, {"repeatcount", "repeatCount"}, {"repeatdur", "repeatDur"},
    {"requiredextensions", "requiredExtensions"}, {"requiredfeatures", "requiredFeatures"},
    {"specularconstant", "specularConstant"}, {"specularexponent", "specularExponent"},
    {"spreadmethod", "spreadMethod"}, {"startoffset", "startOffset"}, {"stddeviation", "stdDeviation"},
    {"stitchtiles", "stitchTiles"}, {"surfacescale", "surfaceScale"}, {"systemlanguage", "systemLanguage"},
    {"tablevalues", "tableValues"}, {"targetx", "targetX"}, {"targety", "targetY"},
    {"textlength", "textLength"}, {"viewbox", "viewBox"}, {"viewtarget", "viewTarget"},
    {"xchannelselector", "xChannelSelector"}, {"ychannelselector", "yChannelSelector"},
    {"zoomandpan", "zoomAndPan"},
};

template <std::size_t N>
std::string_view adjusted(std::string_view name, const NamePair (&table)[N]) {
  for (const NamePair& p : table) {
    if (p.from == name) return p.to;
  }
  return name;
}

constexpr std::string_view kQuirkyPublicPrefixes[] = {
    "+//silmaril//dtd html pro v0r11 19970101//", "-//as//dtd html 3.0 aswedit + extensions//",
    "-//advasoft ltd//dtd html 3.0 aswedit + extensions//", "-//ietf//dtd html 2.0 level 1//",
    "-//ietf//dtd html 2.0 level 2//", "-//ietf//dtd html 2.0 strict level 1//",
    "-//ietf//dtd html 2.0 strict level 2//", "-//ietf//dtd html 2.0 strict//", "-//ietf//dtd html 2.0//",
    "-//ietf//dtd html 2.1e//", "-//ietf//dtd html 3.0//", "-//ietf//dtd html 3.2 final//",
    "-//ietf//dtd html 3.2//", "-//ietf//dtd html 3//", "-//ietf//dtd html level 0//",
    "-//ietf//dtd html level 1//", "-//ietf//dtd html level 2//", "-//ietf//dtd html level 3//",
    "-//ietf//dtd html strict level 0//", "-//ietf//dtd html strict level 1//",
    "-//ietf//dtd html strict level 2//", "-//ietf//dtd html strict level 3//", "-//ietf//dtd html strict//",
    "-//ietf//dtd html//", "-//metrius//dtd metrius presentational//",
    "-//microsoft//dtd internet explorer 2.0 html strict//", "-//microsoft//dtd internet explorer 2.0 html//",
    "-//microsoft//dtd internet explorer 2.0 tables//", "-//microsoft//dtd internet explorer 3.0 html strict//",
    "-//microsoft//dtd internet explorer 3.0 html//", "-//microsoft//dtd internet explorer 3.0 tables//",
    "-//netscape comm. corp.//dtd html//", "-//netscape comm. corp.//dtd strict html//",
    "-//o'reilly and associates//dtd html 2.0//", "-//o'reilly and associates//dtd html extended 1.0//",
    "-//o'reilly and associates//dtd html extended relaxed 1.0//",
    "-//sq//dtd html 2.0 hotmetal + extensions//",
    "-//softquad software//dtd hotmetal pro 6.0::19990601::extensions to html 4.0//",
    "-//softquad//dtd hotmetal pro 4.0::19970916::extensions to html 4.0//",
    "-//spyglass//dtd html 2.0 extended//", "-//sun microsystems corp.//dtd hotjava html//",
    "-//sun microsystems corp.//dtd hotjava strict html//", "-//w3c//dtd html 3 1995-03-24//",
    "-//w3c//dtd html 3.2 draft//", "-//w3c//dtd html 3.2 final//", "-//w3c//dtd html 3.2//",
    "-//w3c//dtd html 3.2s draft//", "-//w3c//dtd html 4.0 frameset//", "-//w3c//dtd html 4.0 transitional//",
    "-//w3c//dtd html experimental 19960712//", "-//w3c//dtd html experimental 970421//",
    "-//w3c//dtd w3 html//", "-//w3o//dtd w3 html 3.0//", "-//webtechs//dtd mozilla html 2.0//",
    "-//webtechs//dtd mozilla html//",
};

QuirksMode quirks_from_doctype(const Token& t) {
  if (t.force_quirks || !t.has_name || t.name != "html") return QuirksMode::Quirks;
  const std::string_view pub = t.ids.public_id;
  const std::string_view sys = t.ids.system_id;
  if (t.ids.has_public) {
    if (ascii_iequals(pub, "-//W3O//DTD W3 HTML Strict 3.0//EN//") ||
        ascii_iequals(pub, "-/W3C/DTD HTML 4.0 Transitional/EN") || ascii_iequals(pub, "HTML")) {
      return QuirksMode::Quirks;
    }
    for (std::string_view prefix : kQuirkyPublicPrefixes) {
      if (istarts(pub, prefix)) return QuirksMode::Quirks;
    }
  }
  if (t.ids.has_system && ascii_iequals(sys, "http://www.ibm.com/data/dtd/v11/ibmxhtml1-transitional.dtd")) {
    return QuirksMode::Quirks;
  }
  if (t.ids.has_public) {
    const bool html401 = istarts(pub, "-//W3C//DTD HTML 4.01 Frameset//") ||
                         istarts(pub, "-//W3C//DTD HTML 4.01 Transitional//");
    if (!t.ids.has_system && html401) return QuirksMode::Quirks;
    if (istarts(pub, "-//W3C//DTD XHTML 1.0 Frameset//") || istarts(pub, "-//W3C//DTD XHTML 1.0 Transitional//")) {
      return QuirksMode::LimitedQuirks;
    }
    if (t.ids.has_system && html401) return QuirksMode::LimitedQuirks;
  }
  return QuirksMode::NoQuirks;
}

struct Location {
  NodeId parent;
  NodeId before;
};

class TreeBuilder {
 public:
  TreeBuilder(Document& doc, Tokenizer& tokenizer, const ParseOptions& options)
      : doc_(doc), tok_(tokenizer), scripting_(options.scripting) {
  }

  void set_fragment_context(NodeId context) { context_ = context; }
  void start_fragment(NodeId html) {
    push(html);
    if (doc_.node(context_).ns == Ns::Html && doc_.node(context_).tag == TagId::Template) {
      template_modes_.push_back(Mode::InTemplate);
    }
    reset_insertion_mode();
  }

  void run() {
    for (;;) {
      Token& t = tok_.next();
      if (skip_newline_) {
        skip_newline_ = false;
        if (t.type == TokenType::Characters && !t.data.empty() && t.data[0] == '\n') {
          t.data.remove_prefix(1);
          if (t.data.empty()) continue;
        }
      }
      dispatch(t);
      if (t.type == TokenType::Eof) {
        while (!open_.empty()) pop();  // stopping closes every open element
        break;
      }
      tok_.set_cdata_allowed(!open_.empty() && doc_.node(adjusted_current()).ns != Ns::Html);
    }
  }

 private:
  // ---- node tests ----
  const Node& node(NodeId id) const { return doc_.node(id); }
  bool is_html(NodeId id, TagId tag) const {
    const Node& n = node(id);
    return n.ns == Ns::Html && n.tag == tag && n.kind == NodeKind::Element;
  }
  template <std::size_t N>
  bool is_html_in(NodeId id, const TagId (&set)[N]) const {
    const Node& n = node(id);
    return n.ns == Ns::Html && tag_in(n.tag, set);
  }
  // ---- element classes (by namespace and tag) ----
  static constexpr TagId kMathTextPoints[] = {TagId::Mi, TagId::Mo, TagId::Mn, TagId::Ms, TagId::Mtext};
  static bool special(Ns ns, TagId tag) {
    static constexpr TagId kSpecial[] = {
        TagId::Address, TagId::Applet, TagId::Area, TagId::Article, TagId::Aside, TagId::Base, TagId::Basefont,
        TagId::Bgsound, TagId::Blockquote, TagId::Body, TagId::Br, TagId::Button, TagId::Caption, TagId::Center,
        TagId::Col, TagId::Colgroup, TagId::Dd, TagId::Details, TagId::Dialog, TagId::Dir, TagId::Div, TagId::Dl,
        TagId::Dt, TagId::Embed, TagId::Fieldset, TagId::Figcaption, TagId::Figure, TagId::Footer, TagId::Form,
        TagId::Frame, TagId::Frameset, TagId::H1, TagId::H2, TagId::H3, TagId::H4, TagId::H5, TagId::H6,
        TagId::Head, TagId::Header, TagId::Hgroup, TagId::Hr, TagId::Html, TagId::Iframe, TagId::Img,
        TagId::Input, TagId::Keygen, TagId::Li, TagId::Link, TagId::Listing, TagId::Main, TagId::Marquee,
        TagId::Menu, TagId::Meta, TagId::Nav, TagId::Noembed, TagId::Noframes, TagId::Noscript, TagId::Object,
        TagId::Ol, TagId::P, TagId::Param, TagId::Plaintext, TagId::Pre, TagId::Script, TagId::Search,
        TagId::Section, TagId::Source, TagId::Style, TagId::Summary, TagId::Table, TagId::Tbody, TagId::Td,
        TagId::Template, TagId::Textarea, TagId::Tfoot, TagId::Th, TagId::Thead, TagId::Title, TagId::Tr,
        TagId::Track, TagId::Ul, TagId::Wbr, TagId::Xmp};
    switch (ns) {
      case Ns::Html: return tag_in(tag, kSpecial);
      case Ns::MathMl: return tag_in(tag, kMathTextPoints) || tag == TagId::AnnotationXml;
      case Ns::Svg: return tag == TagId::ForeignObject || tag == TagId::Desc || tag == TagId::Title;
    }
    return false;
  }
  static bool bounds(Ns ns, TagId tag, Scope scope) {
    switch (scope) {
      case kSpecialScope: return special(ns, tag);
      case kListStopScope:
        return special(ns, tag) &&
               !(ns == Ns::Html && (tag == TagId::Address || tag == TagId::Div || tag == TagId::P));
      case kHtmlScope: return ns == Ns::Html;
      default: break;
    }
    if (ns != Ns::Html) return scope != kTableScope && special(ns, tag);  // the foreign special ones
    if (scope == kTableScope) return tag == TagId::Html || tag == TagId::Table || tag == TagId::Template;
    static constexpr TagId kDefault[] = {TagId::Applet, TagId::Caption, TagId::Html,     TagId::Table,   TagId::Td,
                                         TagId::Th,     TagId::Marquee, TagId::Object, TagId::Template};
    if (tag_in(tag, kDefault)) return true;
    if (scope == kListItemScope) return tag == TagId::Ol || tag == TagId::Ul;
    if (scope == kButtonScope) return tag == TagId::Button;
    return false;
  }
  static std::uint8_t scope_bits(Ns ns, TagId tag) {
    std::uint8_t mask = 0;
    for (int s = 0; s < kScopeCount; ++s) {
      if (bounds(ns, tag, static_cast<Scope>(s))) mask |= 1u << s;
    }
    return mask;
  }
  // The kinds of boundary an element is, one bit a Scope.
  std::uint8_t scope_mask(NodeId id) const {
    static const std::array<std::uint8_t, kTagIdCount> html = [] {
      std::array<std::uint8_t, kTagIdCount> masks{};
      for (std::size_t t = 0; t < kTagIdCount; ++t) masks[t] = scope_bits(Ns::Html, static_cast<TagId>(t));
      return masks;
    }();
    const Node& n = node(id);
    return n.ns == Ns::Html ? html[static_cast<std::size_t>(n.tag)] : scope_bits(n.ns, n.tag);
  }
  bool is_special(NodeId id) const { return (scope_mask(id) >> kSpecialScope) & 1u; }
  bool is_math_text_point(NodeId id) const {
    return node(id).ns == Ns::MathMl && tag_in(node(id).tag, kMathTextPoints);
  }
  bool is_html_integration_point(NodeId id) const {
    const Node& n = node(id);
    if (n.ns == Ns::Svg) return n.tag == TagId::ForeignObject || n.tag == TagId::Desc || n.tag == TagId::Title;
    return n.ns == Ns::MathMl && n.html_integration_point;
  }
  bool same_name(NodeId id, const Token& t) const {
    const Node& n = node(id);
    if (n.ns != Ns::Html) return false;
    return t.tag != TagId::Unknown ? n.tag == t.tag : (n.tag == TagId::Unknown && n.name == t.name);
  }

  // ---- stack of open elements ----
  NodeId current() const { return open_.top_node(); }
  NodeId adjusted_current() const {
    return (context_ != kNoNode && open_.size() == 1) ? context_ : open_.top_node();
  }
  bool on_stack(NodeId id) const { return open_.entry_of(id) != OpenElements::kNone; }
  NodeId bottom_node() const { return open_.node_of(open_.bottom()); }
  // The second element of the stack (the body, when there is one).
  NodeId second_node() const {
    return open_.size() < 2 ? kNoNode : open_.node_of(open_.above(open_.bottom()));
  }
  // The name a foreign element is found by: its tag name in lower case.
  static std::string_view foreign_key(const Node& n) {
    if (n.ns == Ns::Svg) {
      for (const NamePair& p : kSvgTagNames) {
        if (p.to == n.name) return p.from;
      }
    }
    return n.name;
  }
  void push(NodeId id) {
    const Node& n = node(id);
    const bool foreign = n.ns != Ns::Html;
    open_.push(id, n.tag, foreign ? foreign_key(n) : n.name, foreign, scope_mask(id));
  }
  void pop() {
    const NodeId id = open_.pop();
    const Node& n = node(id);
    if (n.tag == TagId::Option && n.ns == Ns::Html && !option_select_.empty()) option_popped(id);
  }
  void remove_from_stack(NodeId id) { open_.remove(id); }
  bool in_scope(TagId tag, Scope scope = kDefaultScope) const { return open_.in_scope(open_.top_of(tag), scope); }
  bool node_in_scope(NodeId id, Scope scope = kDefaultScope) const {
    return open_.in_scope(open_.entry_of(id), scope);
  }
  template <std::size_t N>
  bool any_in_scope(const TagId (&tags)[N], Scope scope = kDefaultScope) const {
    for (TagId t : tags) {
      if (in_scope(t, scope)) return true;
    }
    return false;
  }
  bool on_stack(TagId tag) const { return open_.top_of(tag) != OpenElements::kNone; }
  void pop_until(TagId tag) {
    while (!open_.empty()) {
      const bool hit = is_html(current(), tag);
      pop();
      if (hit) break;
    }
  }
  template <std::size_t N>
  void pop_until_one_of(const TagId (&tags)[N]) {
    while (!open_.empty()) {
      const bool hit = is_html_in(current(), tags);
      pop();
      if (hit) break;
    }
  }
  void pop_until_node(NodeId id) {
    while (!open_.empty()) {
      const bool hit = current() == id;
      pop();
      if (hit) break;
    }
  }
  static constexpr TagId kImplied[] = {TagId::Dd, TagId::Dt, TagId::Li, TagId::Optgroup, TagId::Option,
                                     TagId::P, TagId::Rb, TagId::Rp, TagId::Rt, TagId::Rtc};
  void generate_implied_end_tags(TagId except = TagId::Unknown) {
    while (!open_.empty()) {
      const Node& n = node(current());
      if (n.ns != Ns::Html || !tag_in(n.tag, kImplied) || (except != TagId::Unknown && n.tag == except)) break;
      pop();
    }
  }
  void generate_all_implied_end_tags() {
    static constexpr TagId kThorough[] = {TagId::Caption, TagId::Colgroup, TagId::Dd, TagId::Dt, TagId::Li,
                                        TagId::Optgroup, TagId::Option, TagId::P, TagId::Rb, TagId::Rp,
                                        TagId::Rt, TagId::Rtc, TagId::Tbody, TagId::Td, TagId::Tfoot, TagId::Th,
                                        TagId::Thead, TagId::Tr};
    while (!open_.empty() && is_html_in(current(), kThorough)) pop();
  }
  void close_p() {
    generate_implied_end_tags(TagId::P);
    pop_until(TagId::P);
  }
  void close_p_in_button_scope() {
    if (in_scope(TagId::P, kButtonScope)) close_p();
  }

  // ---- active formatting elements ----
  static constexpr NodeId kMarker = FormattingList::kMarker;
  void push_marker() { afe_.push_marker(); }
  bool same_attributes(NodeId a, NodeId b) const {
    const auto x = doc_.attributes(a);
    const auto y = doc_.attributes(b);
    if (x.size() != y.size()) return false;
    if (x.data() == y.data()) return true;  // a clone shares its records
    if (y.size() <= 16) {
      for (const Attribute& ax : x) {
        bool found = false;
        for (const Attribute& ay : y) {
          if (ay.name == ax.name && ay.ns == ax.ns) {
            found = ay.value == ax.value;
            break;
          }
        }
        if (!found) return false;
      }
      return true;
    }
    // Long tags: y's names in a table, so the match stays linear. A name
    // and namespace stand once in an element.
    std::unordered_multimap<std::string_view, const Attribute*> by_name;
    by_name.reserve(y.size());
    for (const Attribute& ay : y) by_name.emplace(ay.name, &ay);
    for (const Attribute& ax : x) {
      bool found = false;
      const auto [from, to] = by_name.equal_range(ax.name);
      for (auto it = from; it != to; ++it) {
        if (it->second->ns == ax.ns) {
          found = it->second->value == ax.value;
          break;
        }
      }
      if (!found) return false;
    }
    return true;
  }
  // Tag, name and attributes in any order, hashed.
  std::uint64_t signature(NodeId id) const {
    auto hash = [](std::string_view s, std::uint64_t h) {
      for (char c : s) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
      return h;
    };
    const Node& n = node(id);
    std::uint64_t sig = hash(n.name, 1469598103934665603ull ^ static_cast<std::uint64_t>(n.tag));
    for (const Attribute& a : doc_.attributes(id)) {
      const std::uint64_t h = hash(a.value, hash(a.name, 0x9E3779B97F4A7C15ull + static_cast<std::uint64_t>(a.ns)));
      sig += h ^ (h >> 29);
    }
    return sig;
  }
  void push_formatting(NodeId id) {
    // At most three equal entries after the last marker: the earliest goes.
    const Node& n = node(id);
    afe_.push(id, n.tag, signature(id), [&](NodeId e) {
      const Node& m = node(e);
      return m.tag == n.tag && m.ns == n.ns && m.name == n.name && same_attributes(e, id);
    });
  }
  std::ptrdiff_t afe_index(NodeId id) const { return afe_.index_of(id); }
  void remove_from_afe(NodeId id) {
    const std::ptrdiff_t k = afe_index(id);
    if (k >= 0) afe_.erase(static_cast<std::size_t>(k));
  }
  void clear_afe_to_marker() { afe_.clear_to_marker(); }
  void reconstruct_formatting() {
    if (afe_.empty()) return;
    std::size_t k = afe_.size() - 1;
    if (afe_[k] == kMarker || on_stack(afe_[k])) return;
    while (k > 0) {
      if (afe_[k - 1] == kMarker || on_stack(afe_[k - 1])) break;
      --k;
    }
    for (; k < afe_.size(); ++k) {
      const NodeId clone = doc_.clone_element(afe_[k]);
      insert_at(appropriate_place(), clone);
      push(clone);
      afe_.replace(k, clone);
    }
  }

  // ---- insertion ----
  Location appropriate_place(NodeId target = kNoNode) {
    if (target == kNoNode) target = current();
    Location loc{target, kNoNode};
    static constexpr TagId kTableish[] = {TagId::Table, TagId::Tbody, TagId::Tfoot, TagId::Thead, TagId::Tr};
    if (foster_parenting_ && is_html_in(target, kTableish)) {
      const OpenElements::Entry table = open_.top_of(TagId::Table);
      const OpenElements::Entry tmpl = open_.top_of(TagId::Template);
      if (tmpl != OpenElements::kNone && (table == OpenElements::kNone || open_.higher(tmpl, table))) {
        return {doc_.template_contents(open_.node_of(tmpl)), kNoNode};
      }
      if (table == OpenElements::kNone) {
        loc = {bottom_node(), kNoNode};
      } else {
        const NodeId table_node = open_.node_of(table);
        if (node(table_node).parent != kNoNode) return {node(table_node).parent, table_node};
        loc = {open_.node_of(open_.below(table)), kNoNode};
      }
    }
    if (is_html(loc.parent, TagId::Template)) loc = {doc_.template_contents(loc.parent), kNoNode};
    return loc;
  }
  void insert_at(const Location& loc, NodeId child) { doc_.insert(loc.parent, child, loc.before); }

  NodeId create_for(const Token& t, Ns ns) {
    if (ns == Ns::Html) return doc_.create_element(Ns::Html, t.tag, t.name, t.attrs);
    // Foreign: adjusted names.
    attrs_buf_.assign(t.attrs.begin(), t.attrs.end());
    bool integration_point = false;
    for (Attribute& a : attrs_buf_) {
      if (ns == Ns::Svg) a.name = adjusted(a.name, kSvgAttrNames);
      else if (a.name == "definitionurl") a.name = "definitionURL";
      adjust_foreign_attribute(a);
    }
    const std::string_view name = ns == Ns::Svg ? adjusted(t.name, kSvgTagNames) : t.name;
    // The tokenizer already looked the lower-case name up.
    const TagId tag = t.tag;
    if (ns == Ns::MathMl && tag == TagId::AnnotationXml) {
      if (const Attribute* enc = t.find_attr("encoding")) {
        integration_point =
            ascii_iequals(enc->value, "text/html") || ascii_iequals(enc->value, "application/xhtml+xml");
      }
    }
    return doc_.create_element(ns, tag, name, attrs_buf_, integration_point);
  }
  static void adjust_foreign_attribute(Attribute& a) {
    const std::string_view n = a.name;
    if (n.starts_with("xlink:")) {
      static constexpr std::string_view kLinks[] = {"actuate", "arcrole", "href", "role", "show", "title", "type"};
      for (std::string_view l : kLinks) {
        if (n.substr(6) == l) {
          a.name = n.substr(6);
          a.ns = AttrNs::XLink;
        }
      }
    } else if (n == "xml:lang" || n == "xml:space") {
      a.name = n.substr(4);
      a.ns = AttrNs::Xml;
    } else if (n == "xmlns") {
      a.ns = AttrNs::Xmlns;
    } else if (n == "xmlns:xlink") {
      a.name = n.substr(6);
      a.ns = AttrNs::Xmlns;
    }
  }
  NodeId insert_element(const Token& t, Ns ns = Ns::Html) {
    const Location loc = appropriate_place();
    const NodeId el = create_for(t, ns);
    insert_at(loc, el);
    push(el);
    if (ns == Ns::Html && (t.tag == TagId::Option || (t.tag == TagId::Unknown && t.name == "selectedcontent"))) {
      note_select_part(el, t);
    }
    return el;
  }

  // A select's selectedcontent element shows a copy of the content of its
  // selected option (the last one written selected, else the first), taken
  // when that option's element is closed.
  struct SelectParts {
    NodeId first_option = kNoNode;
    NodeId selected = kNoNode;
    NodeId selectedcontent = kNoNode;
  };
  void note_select_part(NodeId el, const Token& t) {
    const OpenElements::Entry at = open_.top_of(TagId::Select);
    if (at == OpenElements::kNone) return;
    const NodeId select = open_.node_of(at);
    SelectParts& parts = selects_[select];
    if (t.tag != TagId::Option) {
      if (parts.selectedcontent == kNoNode) parts.selectedcontent = el;
      return;
    }
    if (parts.first_option == kNoNode) {
      parts.first_option = el;
      option_select_[el] = select;
    }
    if (t.find_attr("selected")) {
      parts.selected = el;
      option_select_[el] = select;
    }
  }
  void option_popped(NodeId option) {
    const auto it = option_select_.find(option);
    if (it == option_select_.end()) return;
    const SelectParts& parts = selects_[it->second];
    const NodeId chosen = parts.selected != kNoNode ? parts.selected : parts.first_option;
    const NodeId target = parts.selectedcontent;
    if (chosen != option || target == kNoNode) return;
    for (NodeId a = target; a != kNoNode; a = node(a).parent) {
      if (a == option) return;  // the copy would hold itself
    }
    while (node(target).first_child != kNoNode) doc_.detach(node(target).first_child);
    // Copy the option's subtree, children first-to-last, without recursion.
    std::vector<std::pair<NodeId, NodeId>> work{{option, target}};
    while (!work.empty()) {
      const auto [from, to] = work.back();
      work.pop_back();
      for (NodeId c = node(from).first_child; c != kNoNode; c = node(c).next_sibling) {
        switch (node(c).kind) {
          case NodeKind::Text:
            doc_.for_each_text_piece(c, [&](std::string_view piece) { doc_.insert_text(to, piece); });
            break;
          case NodeKind::Comment: doc_.insert(to, doc_.create_comment(node(c).name)); break;
          case NodeKind::Element: {
            const NodeId copy = doc_.clone_element(c);
            doc_.insert(to, copy);
            work.emplace_back(c, copy);
            break;
          }
          default: break;
        }
      }
    }
  }
  NodeId insert_html(TagId tag) {
    Token t;
    t.type = TokenType::StartTag;
    t.tag = tag;
    t.name = tag_info(tag).name;
    return insert_element(t);
  }
  void insert_characters(std::string_view text) {
    const Location loc = appropriate_place();
    if (loc.parent == Document::root()) return;
    doc_.insert_text(loc.parent, text, loc.before);
  }
  void insert_comment(const Token& t, NodeId parent = kNoNode) {
    const NodeId c = doc_.create_comment(t.data);
    if (parent != kNoNode) doc_.insert(parent, c);
    else insert_at(appropriate_place(), c);
  }
  void insert_void(const Token& t) {
    insert_element(t);
    pop();
  }
  void raw_text_element(const Token& t, Tokenizer::State state) {
    insert_element(t);
    tok_.set_state(state);
    original_mode_ = mode_;
    mode_ = Mode::Text;
  }
  // A set of the names already there: a scan of them per attribute would be
  // quadratic in a repeated long tag. The token's own names are distinct.
  void add_missing_attributes(NodeId el, const Token& t) {
    if (t.attrs.empty()) return;
    std::unordered_set<std::string_view> present;
    present.reserve(doc_.attributes(el).size());
    for (const Attribute& have : doc_.attributes(el)) present.insert(have.name);
    for (const Attribute& a : t.attrs) {
      if (!present.contains(a.name)) doc_.add_attribute(el, a);
    }
  }

  // ---- dispatch ----
  void dispatch(Token& t) {
    for (;;) {
      bool again;
      if (use_html_rules(t)) again = by_mode(mode_, t);
      else again = foreign_content(t);
      if (!again) return;
    }
  }
  bool use_html_rules(const Token& t) const {
    if (open_.empty() || t.type == TokenType::Eof) return true;
    const NodeId acn = adjusted_current();
    const Node& n = node(acn);
    if (n.ns == Ns::Html) return true;
    const bool start = t.type == TokenType::StartTag;
    const bool chars = t.type == TokenType::Characters || t.type == TokenType::Null;
    if (is_math_text_point(acn)) {
      if (start && t.tag != TagId::Mglyph && t.tag != TagId::Malignmark) return true;
      if (chars) return true;
    }
    if (n.ns == Ns::MathMl && n.tag == TagId::AnnotationXml && start && t.tag == TagId::Svg) return true;
    if (is_html_integration_point(acn) && (start || chars)) return true;
    return false;
  }

  bool by_mode(Mode mode, Token& t) {
    switch (mode) {
      case Mode::Initial: return initial(t);
      case Mode::BeforeHtml: return before_html(t);
      case Mode::BeforeHead: return before_head(t);
      case Mode::InHead: return in_head(t);
      case Mode::InHeadNoscript: return in_head_noscript(t);
      case Mode::AfterHead: return after_head(t);
      case Mode::InBody: return in_body(t);
      case Mode::Text: return text(t);
      case Mode::InTable: return in_table(t);
      case Mode::InTableText: return in_table_text(t);
      case Mode::InCaption: return in_caption(t);
      case Mode::InColumnGroup: return in_column_group(t);
      case Mode::InTableBody: return in_table_body(t);
      case Mode::InRow: return in_row(t);
      case Mode::InCell: return in_cell(t);
      case Mode::InTemplate: return in_template(t);
      case Mode::AfterBody: return after_body(t);
      case Mode::InFrameset: return in_frameset(t);
      case Mode::AfterFrameset: return after_frameset(t);
      case Mode::AfterAfterBody: return after_after_body(t);
      case Mode::AfterAfterFrameset: return after_after_frameset(t);
    }
    return false;
  }

  static bool is_chars(const Token& t) { return t.type == TokenType::Characters || t.type == TokenType::Null; }
  // Drops leading white space from a character token; true when nothing is left.
  static bool skip_ws(Token& t) {
    if (t.type != TokenType::Characters) return false;
    t.data.remove_prefix(ws_prefix(t.data));
    return t.data.empty();
  }
  // Inserts leading white space of a character token; true when nothing is left.
  bool insert_ws(Token& t) {
    if (t.type != TokenType::Characters) return false;
    const std::size_t k = ws_prefix(t.data);
    if (k > 0) insert_characters(t.data.substr(0, k));
    t.data.remove_prefix(k);
    return t.data.empty();
  }
  bool end_is(const Token& t, TagId tag) const { return t.type == TokenType::EndTag && t.tag == tag; }
  bool start_is(const Token& t, TagId tag) const { return t.type == TokenType::StartTag && t.tag == tag; }

  // The mode of the topmost element that sets one; the bottom of the stack
  // (the context element, for a fragment) decides when none does.
  void reset_insertion_mode() {
    static constexpr TagId kDeciding[] = {TagId::Td,       TagId::Th,    TagId::Tr,       TagId::Tbody,
                                          TagId::Thead,    TagId::Tfoot, TagId::Caption,  TagId::Colgroup,
                                          TagId::Table,    TagId::Template, TagId::Head,  TagId::Body,
                                          TagId::Frameset, TagId::Html};
    OpenElements::Entry best = OpenElements::kNone;
    for (TagId tag : kDeciding) {
      const OpenElements::Entry e = open_.top_of(tag);
      if (e == OpenElements::kNone || e == open_.bottom()) continue;
      if (best == OpenElements::kNone || open_.higher(e, best)) best = e;
    }
    if (best != OpenElements::kNone && mode_for(node(open_.node_of(best)), false)) return;
    const NodeId last = context_ != kNoNode ? context_ : bottom_node();
    if (!mode_for(node(last), true)) mode_ = Mode::InBody;
  }
  // Sets the mode an element decides; false when it decides none.
  bool mode_for(const Node& nd, bool last) {
    if (nd.ns != Ns::Html) return false;
    switch (nd.tag) {
      case TagId::Td:
      case TagId::Th:
        if (last) return false;
        mode_ = Mode::InCell;
        return true;
      case TagId::Tr: mode_ = Mode::InRow; return true;
      case TagId::Tbody:
      case TagId::Thead:
      case TagId::Tfoot: mode_ = Mode::InTableBody; return true;
      case TagId::Caption: mode_ = Mode::InCaption; return true;
      case TagId::Colgroup: mode_ = Mode::InColumnGroup; return true;
      case TagId::Table: mode_ = Mode::InTable; return true;
      case TagId::Template: mode_ = template_modes_.empty() ? Mode::InBody : template_modes_.back(); return true;
      case TagId::Head:
        if (last) return false;
        mode_ = Mode::InHead;
        return true;
      case TagId::Body: mode_ = Mode::InBody; return true;
      case TagId::Frameset: mode_ = Mode::InFrameset; return true;
      case TagId::Html: mode_ = head_ == kNoNode ? Mode::BeforeHead : Mode::AfterHead; return true;
      default: return false;
    }
  }

  // ---- the insertion modes ----
  bool initial(Token& t) {
    if (skip_ws(t)) return false;
    if (t.type == TokenType::Comment) {
      insert_comment(t, Document::root());
      return false;
    }
    if (t.type == TokenType::Doctype) {
      DoctypeInfo ids = t.ids;
      const NodeId d = doc_.create_doctype(t.has_name ? t.name : std::string_view(), ids);
      doc_.insert(Document::root(), d);
      doc_.set_quirks_mode(quirks_from_doctype(t));
      mode_ = Mode::BeforeHtml;
      return false;
    }
    doc_.set_quirks_mode(QuirksMode::Quirks);
    mode_ = Mode::BeforeHtml;
    return true;
  }

  bool before_html(Token& t) {
    if (t.type == TokenType::Doctype) return false;
    if (t.type == TokenType::Comment) {
      insert_comment(t, Document::root());
      return false;
    }
    if (skip_ws(t)) return false;
    if (start_is(t, TagId::Html)) {
      const NodeId html = create_for(t, Ns::Html);
      doc_.insert(Document::root(), html);
      push(html);
      mode_ = Mode::BeforeHead;
      return false;
    }
    if (t.type == TokenType::EndTag && t.tag != TagId::Head && t.tag != TagId::Body && t.tag != TagId::Html &&
        t.tag != TagId::Br) {
      return false;
    }
    const NodeId html = doc_.create_element(Ns::Html, TagId::Html, "html", {});
    doc_.insert(Document::root(), html);
    push(html);
    mode_ = Mode::BeforeHead;
    return true;
  }

  bool before_head(Token& t) {
    if (skip_ws(t)) return false;
    if (t.type == TokenType::Comment) {
      insert_comment(t);
      return false;
    }
    if (t.type == TokenType::Doctype) return false;
    if (start_is(t, TagId::Html)) return in_body(t);
    if (start_is(t, TagId::Head)) {
      head_ = insert_element(t);
      mode_ = Mode::InHead;
      return false;
    }
    if (t.type == TokenType::EndTag && t.tag != TagId::Head && t.tag != TagId::Body && t.tag != TagId::Html &&
        t.tag != TagId::Br) {
      return false;
    }
    head_ = insert_html(TagId::Head);
    mode_ = Mode::InHead;
    return true;
  }

  bool in_head(Token& t) {
    if (insert_ws(t)) return false;
    switch (t.type) {
      case TokenType::Comment: insert_comment(t); return false;
      case TokenType::Doctype: return false;
      case TokenType::StartTag:
        switch (t.tag) {
          case TagId::Html: return in_body(t);
          case TagId::Base:
          case TagId::Basefont:
          case TagId::Bgsound:
          case TagId::Link:
          case TagId::Meta: insert_void(t); return false;
          case TagId::Title: raw_text_element(t, Tokenizer::State::Rcdata); return false;
          case TagId::Noscript:
            if (scripting_) {
              raw_text_element(t, Tokenizer::State::Rawtext);
            } else {
              insert_element(t);
              mode_ = Mode::InHeadNoscript;
            }
            return false;
          case TagId::Noframes:
          case TagId::Style: raw_text_element(t, Tokenizer::State::Rawtext); return false;
          case TagId::Script: raw_text_element(t, Tokenizer::State::ScriptData); return false;
          case TagId::Template:
            insert_element(t);
            push_marker();
            frameset_ok_ = false;
            mode_ = Mode::InTemplate;
            template_modes_.push_back(Mode::InTemplate);
            return false;
          case TagId::Head: return false;
          default: break;
        }
        break;
      case TokenType::EndTag:
        switch (t.tag) {
          case TagId::Head:
            pop();
            mode_ = Mode::AfterHead;
            return false;
          case TagId::Body:
          case TagId::Html:
          case TagId::Br: break;
          case TagId::Template:
            if (!on_stack(TagId::Template)) return false;
            generate_all_implied_end_tags();
            pop_until(TagId::Template);
            clear_afe_to_marker();
            template_modes_.pop_back();
            reset_insertion_mode();
            return false;
          default: return false;
        }
        break;
      default: break;
    }
    pop();
    mode_ = Mode::AfterHead;
    return true;
  }

  bool in_head_noscript(Token& t) {
    if (t.type == TokenType::Doctype) return false;
    if (start_is(t, TagId::Html)) return in_body(t);
    if (end_is(t, TagId::Noscript)) {
      pop();
      mode_ = Mode::InHead;
      return false;
    }
    if (t.type == TokenType::Characters) {
      const std::size_t k = ws_prefix(t.data);
      if (k > 0) insert_characters(t.data.substr(0, k));
      t.data.remove_prefix(k);
      if (t.data.empty()) return false;
    }
    if (t.type == TokenType::Comment) return in_head(t);
    if (t.type == TokenType::StartTag) {
      static constexpr TagId kHeadish[] = {TagId::Basefont, TagId::Bgsound, TagId::Link, TagId::Meta, TagId::Noframes,
                                         TagId::Style};
      if (tag_in(t.tag, kHeadish)) return in_head(t);
      if (t.tag == TagId::Head || t.tag == TagId::Noscript) return false;
    }
    if (t.type == TokenType::EndTag && t.tag != TagId::Br) return false;
    pop();
    mode_ = Mode::InHead;
    return true;
  }

  bool after_head(Token& t) {
    if (insert_ws(t)) return false;
    switch (t.type) {
      case TokenType::Comment: insert_comment(t); return false;
      case TokenType::Doctype: return false;
      case TokenType::StartTag: {
        static constexpr TagId kHeadTags[] = {TagId::Base, TagId::Basefont, TagId::Bgsound, TagId::Link,
                                            TagId::Meta, TagId::Noframes, TagId::Script, TagId::Style,
                                            TagId::Template, TagId::Title};
        if (t.tag == TagId::Html) return in_body(t);
        if (t.tag == TagId::Body) {
          insert_element(t);
          frameset_ok_ = false;
          mode_ = Mode::InBody;
          return false;
        }
        if (t.tag == TagId::Frameset) {
          insert_element(t);
          mode_ = Mode::InFrameset;
          return false;
        }
        if (tag_in(t.tag, kHeadTags)) {
          push(head_);
          const bool again = in_head(t);
          remove_from_stack(head_);
          return again;
        }
        if (t.tag == TagId::Head) return false;
        break;
      }
      case TokenType::EndTag:
        if (t.tag == TagId::Template) return in_head(t);
        if (t.tag != TagId::Body && t.tag != TagId::Html && t.tag != TagId::Br) return false;
        break;
      default: break;
    }
    insert_html(TagId::Body);
    mode_ = Mode::InBody;
    return true;
  }

  bool in_body(Token& t) {
    switch (t.type) {
      case TokenType::Null: return false;
      case TokenType::Characters:
        reconstruct_formatting();
        insert_characters(t.data);
        if (frameset_ok_ && !all_ws(t.data)) frameset_ok_ = false;
        return false;
      case TokenType::Comment: insert_comment(t); return false;
      case TokenType::Doctype: return false;
      case TokenType::Eof:
        if (!template_modes_.empty()) return in_template(t);
        return false;
      case TokenType::StartTag: return in_body_start(t);
      case TokenType::EndTag: return in_body_end(t);
    }
    return false;
  }

  bool in_body_start(Token& t) {
    static constexpr TagId kClosesP[] = {TagId::Address, TagId::Article, TagId::Aside, TagId::Blockquote, TagId::Center,
                                       TagId::Details, TagId::Dialog, TagId::Dir, TagId::Div, TagId::Dl,
                                       TagId::Fieldset, TagId::Figcaption, TagId::Figure, TagId::Footer,
                                       TagId::Header, TagId::Hgroup, TagId::Main, TagId::Menu, TagId::Nav, TagId::Ol,
                                       TagId::P, TagId::Search, TagId::Section, TagId::Summary, TagId::Ul};
    static constexpr TagId kHeadings[] = {TagId::H1, TagId::H2, TagId::H3, TagId::H4, TagId::H5, TagId::H6};
    static constexpr TagId kFormatting[] = {TagId::B, TagId::Big, TagId::Code, TagId::Em, TagId::Font, TagId::I,
                                          TagId::S, TagId::Small, TagId::Strike, TagId::Strong, TagId::Tt, TagId::U};
    switch (t.tag) {
      case TagId::Html:
        if (on_stack(TagId::Template)) return false;
        add_missing_attributes(bottom_node(), t);
        return false;
      case TagId::Base:
      case TagId::Basefont:
      case TagId::Bgsound:
      case TagId::Link:
      case TagId::Meta:
      case TagId::Noframes:
      case TagId::Script:
      case TagId::Style:
      case TagId::Template:
      case TagId::Title: return in_head(t);
      case TagId::Body:
        if (open_.size() < 2 || !is_html(second_node(), TagId::Body) || on_stack(TagId::Template)) return false;
        frameset_ok_ = false;
        add_missing_attributes(second_node(), t);
        return false;
      case TagId::Frameset:
        if (open_.size() < 2 || !is_html(second_node(), TagId::Body) || !frameset_ok_) return false;
        doc_.detach(second_node());
        while (open_.size() > 1) pop();
        insert_element(t);
        mode_ = Mode::InFrameset;
        return false;
      case TagId::H1:
      case TagId::H2:
      case TagId::H3:
      case TagId::H4:
      case TagId::H5:
      case TagId::H6:
        close_p_in_button_scope();
        if (is_html_in(current(), kHeadings)) pop();
        insert_element(t);
        return false;
      case TagId::Pre:
      case TagId::Listing:
        close_p_in_button_scope();
        insert_element(t);
        skip_newline_ = true;
        frameset_ok_ = false;
        return false;
      case TagId::Form:
        if (form_ != kNoNode && !on_stack(TagId::Template)) return false;
        close_p_in_button_scope();
        {
          const NodeId f = insert_element(t);
          if (!on_stack(TagId::Template)) form_ = f;
        }
        return false;
      case TagId::Li:
      case TagId::Dd:
      case TagId::Dt: {
        frameset_ok_ = false;
        // The topmost open item of the kind closes, unless a special element
        // other than address, div and p stands above it.
        OpenElements::Entry item = open_.top_of(t.tag == TagId::Li ? TagId::Li : TagId::Dd);
        if (t.tag != TagId::Li) {
          const OpenElements::Entry dt = open_.top_of(TagId::Dt);
          if (item == OpenElements::kNone || (dt != OpenElements::kNone && open_.higher(dt, item))) item = dt;
        }
        if (open_.in_scope(item, kListStopScope)) {
          const TagId which = node(open_.node_of(item)).tag;
          generate_implied_end_tags(which);
          pop_until(which);
        }
        close_p_in_button_scope();
        insert_element(t);
        return false;
      }
      case TagId::Plaintext:
        close_p_in_button_scope();
        insert_element(t);
        tok_.set_state(Tokenizer::State::Plaintext);
        return false;
      case TagId::Button:
        if (in_scope(TagId::Button)) {
          generate_implied_end_tags();
          pop_until(TagId::Button);
        }
        reconstruct_formatting();
        insert_element(t);
        frameset_ok_ = false;
        return false;
      case TagId::A: {
        for (std::size_t k = afe_.has_after_marker(TagId::A) ? afe_.size() : 0; k-- > 0;) {
          const NodeId e = afe_[k];
          if (e == kMarker) break;
          if (is_html(e, TagId::A)) {
            adoption_agency(t);
            remove_from_afe(e);
            remove_from_stack(e);
            break;
          }
        }
        reconstruct_formatting();
        push_formatting(insert_element(t));
        return false;
      }
      case TagId::Nobr:
        reconstruct_formatting();
        if (in_scope(TagId::Nobr)) {
          adoption_agency(t);
          reconstruct_formatting();
        }
        push_formatting(insert_element(t));
        return false;
      case TagId::Applet:
      case TagId::Marquee:
      case TagId::Object:
        reconstruct_formatting();
        insert_element(t);
        push_marker();
        frameset_ok_ = false;
        return false;
      case TagId::Table:
        if (doc_.quirks_mode() != QuirksMode::Quirks) close_p_in_button_scope();
        insert_element(t);
        frameset_ok_ = false;
        mode_ = Mode::InTable;
        return false;
      case TagId::Area:
      case TagId::Br:
      case TagId::Embed:
      case TagId::Img:
      case TagId::Keygen:
      case TagId::Wbr:
        reconstruct_formatting();
        insert_void(t);
        frameset_ok_ = false;
        return false;
      case TagId::Input: {
        if (context_ != kNoNode && is_html(context_, TagId::Select)) return false;
        if (in_scope(TagId::Select)) pop_until(TagId::Select);
        reconstruct_formatting();
        insert_void(t);
        const Attribute* type = t.find_attr("type");
        if (type == nullptr || !ascii_iequals(type->value, "hidden")) frameset_ok_ = false;
        return false;
      }
      case TagId::Param:
      case TagId::Source:
      case TagId::Track: insert_void(t); return false;
      case TagId::Hr:
        close_p_in_button_scope();
        if (in_scope(TagId::Select)) generate_implied_end_tags();
        insert_void(t);
        frameset_ok_ = false;
        return false;
      case TagId::Image:
        t.tag = TagId::Img;
        t.name = "img";
        return true;
      case TagId::Textarea:
        insert_element(t);
        skip_newline_ = true;
        tok_.set_state(Tokenizer::State::Rcdata);
        original_mode_ = mode_;
        frameset_ok_ = false;
        mode_ = Mode::Text;
        return false;
      case TagId::Xmp:
        close_p_in_button_scope();
        reconstruct_formatting();
        frameset_ok_ = false;
        raw_text_element(t, Tokenizer::State::Rawtext);
        return false;
      case TagId::Iframe:
        frameset_ok_ = false;
        raw_text_element(t, Tokenizer::State::Rawtext);
        return false;
      case TagId::Noembed: raw_text_element(t, Tokenizer::State::Rawtext); return false;
      case TagId::Noscript:
        if (scripting_) {
          raw_text_element(t, Tokenizer::State::Rawtext);
          return false;
        }
        break;
      case TagId::Select:
        if (context_ != kNoNode && is_html(context_, TagId::Select)) return false;
        if (in_scope(TagId::Select)) {
          pop_until(TagId::Select);
          return false;
        }
        reconstruct_formatting();
        insert_element(t);
        frameset_ok_ = false;
        return false;
      case TagId::Option:
        if (in_scope(TagId::Select)) {
          generate_implied_end_tags(TagId::Optgroup);
        } else if (is_html(current(), TagId::Option)) {
          pop();
        }
        reconstruct_formatting();
        insert_element(t);
        return false;
      case TagId::Optgroup:
        if (in_scope(TagId::Select)) {
          generate_implied_end_tags();
        } else if (is_html(current(), TagId::Option)) {
          pop();
        }
        reconstruct_formatting();
        insert_element(t);
        return false;
      case TagId::Rb:
      case TagId::Rtc:
        if (in_scope(TagId::Ruby)) generate_implied_end_tags();
        insert_element(t);
        return false;
      case TagId::Rp:
      case TagId::Rt:
        if (in_scope(TagId::Ruby)) generate_implied_end_tags(TagId::Rtc);
        insert_element(t);
        return false;
      case TagId::Math:
      case TagId::Svg: {
        reconstruct_formatting();
        insert_element(t, t.tag == TagId::Math ? Ns::MathMl : Ns::Svg);
        if (t.self_closing) pop();
        return false;
      }
      case TagId::Caption:
      case TagId::Col:
      case TagId::Colgroup:
      case TagId::Frame:
      case TagId::Head:
      case TagId::Tbody:
      case TagId::Td:
      case TagId::Tfoot:
      case TagId::Th:
      case TagId::Thead:
      case TagId::Tr: return false;
      default:
        if (tag_in(t.tag, kClosesP)) {
          close_p_in_button_scope();
          insert_element(t);
          return false;
        }
        if (tag_in(t.tag, kFormatting)) {
          reconstruct_formatting();
          push_formatting(insert_element(t));
          return false;
        }
        break;
    }
    reconstruct_formatting();
    insert_element(t);
    return false;
  }

  bool in_body_end(Token& t) {
    static constexpr TagId kBlockEnds[] = {TagId::Address, TagId::Article, TagId::Aside, TagId::Blockquote, TagId::Button,
                                         TagId::Center, TagId::Details, TagId::Dialog, TagId::Dir, TagId::Div, TagId::Dl,
                                         TagId::Fieldset, TagId::Figcaption, TagId::Figure, TagId::Footer,
                                         TagId::Header, TagId::Hgroup, TagId::Listing, TagId::Main, TagId::Menu,
                                         TagId::Nav, TagId::Ol, TagId::Pre, TagId::Search, TagId::Section,
                                         TagId::Select, TagId::Summary, TagId::Ul};
    static constexpr TagId kHeadings[] = {TagId::H1, TagId::H2, TagId::H3, TagId::H4, TagId::H5, TagId::H6};
    static constexpr TagId kFormattingEnds[] = {TagId::A, TagId::B, TagId::Big, TagId::Code, TagId::Em, TagId::Font,
                                              TagId::I, TagId::Nobr, TagId::S, TagId::Small, TagId::Strike,
                                              TagId::Strong, TagId::Tt, TagId::U};
    switch (t.tag) {
      case TagId::Template: return in_head(t);
      case TagId::Body:
        if (!in_scope(TagId::Body)) return false;
        mode_ = Mode::AfterBody;
        return false;
      case TagId::Html:
        if (!in_scope(TagId::Body)) return false;
        mode_ = Mode::AfterBody;
        return true;
      case TagId::Form:
        if (!on_stack(TagId::Template)) {
          const NodeId f = form_;
          form_ = kNoNode;
          if (f == kNoNode || !node_in_scope(f)) return false;
          generate_implied_end_tags();
          remove_from_stack(f);
        } else {
          if (!in_scope(TagId::Form)) return false;
          generate_implied_end_tags();
          pop_until(TagId::Form);
        }
        return false;
      case TagId::P:
        if (!in_scope(TagId::P, kButtonScope)) insert_html(TagId::P);
        close_p();
        return false;
      case TagId::Li:
        if (!in_scope(TagId::Li, kListItemScope)) return false;
        generate_implied_end_tags(TagId::Li);
        pop_until(TagId::Li);
        return false;
      case TagId::Dd:
      case TagId::Dt:
        if (!in_scope(t.tag)) return false;
        generate_implied_end_tags(t.tag);
        pop_until(t.tag);
        return false;
      case TagId::H1:
      case TagId::H2:
      case TagId::H3:
      case TagId::H4:
      case TagId::H5:
      case TagId::H6:
        if (!any_in_scope(kHeadings)) return false;
        generate_implied_end_tags();
        pop_until_one_of(kHeadings);
        return false;
      case TagId::Applet:
      case TagId::Marquee:
      case TagId::Object:
        if (!in_scope(t.tag)) return false;
        generate_implied_end_tags();
        pop_until(t.tag);
        clear_afe_to_marker();
        return false;
      case TagId::Br: {
        Token br;
        br.type = TokenType::StartTag;
        br.tag = TagId::Br;
        br.name = "br";
        reconstruct_formatting();
        insert_void(br);
        frameset_ok_ = false;
        return false;
      }
      default: break;
    }
    if (tag_in(t.tag, kBlockEnds)) {
      if (!in_scope(t.tag)) return false;
      generate_implied_end_tags();
      pop_until(t.tag);
      return false;
    }
    if (tag_in(t.tag, kFormattingEnds)) {
      adoption_agency(t);
      return false;
    }
    any_other_end_tag(t);
    return false;
  }

  // The topmost HTML element of the name closes, unless a special element
  // stands above it.
  void any_other_end_tag(const Token& t) {
    const OpenElements::Entry e = t.tag != TagId::Unknown ? open_.top_of(t.tag) : open_.top_named(t.name, false);
    if (!open_.in_scope(e, kSpecialScope)) return;
    generate_implied_end_tags(t.tag);
    pop_until_node(open_.node_of(e));
  }

  void adoption_agency(const Token& t) {
    const NodeId cur = current();
    if (same_name(cur, t) && !afe_.contains(cur)) {
      pop();
      return;
    }
    for (int outer = 0; outer < 8; ++outer) {
      if (!afe_.has_after_marker(t.tag)) {
        any_other_end_tag(t);
        return;
      }
      std::ptrdiff_t fe_index = -1;
      for (std::size_t k = afe_.size(); k-- > 0;) {
        if (afe_[k] == kMarker) break;
        if (same_name(afe_[k], t)) {
          fe_index = static_cast<std::ptrdiff_t>(k);
          break;
        }
      }
      if (fe_index < 0) {
        any_other_end_tag(t);
        return;
      }
      const NodeId fe = afe_[fe_index];
      if (!on_stack(fe)) {
        afe_.erase(static_cast<std::size_t>(fe_index));
        return;
      }
      if (!node_in_scope(fe)) return;
      const OpenElements::Entry fe_entry = open_.entry_of(fe);
      OpenElements::Entry fb_entry = OpenElements::kNone;
      for (OpenElements::Entry e = open_.above(fe_entry); e != OpenElements::kNone; e = open_.above(e)) {
        if (is_special(open_.node_of(e))) {
          fb_entry = e;
          break;
        }
      }
      if (fb_entry == OpenElements::kNone) {
        pop_until_node(fe);
        remove_from_afe(fe);
        return;
      }
      const NodeId furthest = open_.node_of(fb_entry);
      const NodeId common = open_.node_of(open_.below(fe_entry));
      std::ptrdiff_t bookmark = fe_index;
      NodeId last = furthest;
      // The entry below the one just looked at, taken before that one may go.
      OpenElements::Entry next = open_.below(fb_entry);
      for (int inner = 1;; ++inner) {
        const OpenElements::Entry at = next;
        NodeId nd = open_.node_of(at);
        if (nd == fe) break;
        next = open_.below(at);
        std::ptrdiff_t nd_afe = afe_index(nd);
        if (inner > 3 && nd_afe >= 0) {
          afe_.erase(static_cast<std::size_t>(nd_afe));
          if (nd_afe < bookmark) --bookmark;
          nd_afe = -1;
        }
        if (nd_afe < 0) {
          remove_from_stack(nd);
          continue;
        }
        const NodeId clone = doc_.clone_element(nd);
        afe_.replace(static_cast<std::size_t>(nd_afe), clone);
        open_.replace(nd, clone);
        nd = clone;
        if (last == furthest) bookmark = nd_afe + 1;
        doc_.insert(nd, last);
        last = nd;
      }
      insert_at(appropriate_place(common), last);
      const NodeId clone = doc_.clone_element(fe);
      doc_.reparent_children(furthest, clone);
      doc_.insert(furthest, clone);
      afe_.insert_like(static_cast<std::size_t>(bookmark), clone, fe);
      const std::ptrdiff_t fe_now = afe_index(fe);
      afe_.erase(static_cast<std::size_t>(fe_now));
      remove_from_stack(fe);
      open_.insert_above(open_.entry_of(furthest), clone, node(clone).tag, node(clone).name, false,
                         scope_mask(clone));
    }
  }

  bool text(Token& t) {
    switch (t.type) {
      case TokenType::Characters:
      case TokenType::Null: insert_characters(t.data); return false;
      case TokenType::Eof:
        pop();
        mode_ = original_mode_;
        return true;
      case TokenType::EndTag:
        pop();
        mode_ = original_mode_;
        return false;
      default: return false;
    }
  }

  bool current_is_tableish() const {
    static constexpr TagId kTableish[] = {TagId::Table, TagId::Tbody, TagId::Template, TagId::Tfoot, TagId::Thead, TagId::Tr};
    return is_html_in(current(), kTableish);
  }
  void clear_to_table_context() {
    static constexpr TagId kContext[] = {TagId::Table, TagId::Template, TagId::Html};
    while (!is_html_in(current(), kContext)) pop();
  }
  void clear_to_table_body_context() {
    static constexpr TagId kContext[] = {TagId::Tbody, TagId::Tfoot, TagId::Thead, TagId::Template, TagId::Html};
    while (!is_html_in(current(), kContext)) pop();
  }
  void clear_to_table_row_context() {
    static constexpr TagId kContext[] = {TagId::Tr, TagId::Template, TagId::Html};
    while (!is_html_in(current(), kContext)) pop();
  }

  bool in_table(Token& t) {
    switch (t.type) {
      case TokenType::Characters:
      case TokenType::Null:
        if (current_is_tableish()) {
          pending_text_.clear();
          pending_non_ws_ = false;
          original_mode_ = mode_;
          mode_ = Mode::InTableText;
          return true;
        }
        break;
      case TokenType::Comment: insert_comment(t); return false;
      case TokenType::Doctype: return false;
      case TokenType::StartTag:
        switch (t.tag) {
          case TagId::Caption:
            clear_to_table_context();
            push_marker();
            insert_element(t);
            mode_ = Mode::InCaption;
            return false;
          case TagId::Colgroup:
            clear_to_table_context();
            insert_element(t);
            mode_ = Mode::InColumnGroup;
            return false;
          case TagId::Col:
            clear_to_table_context();
            insert_html(TagId::Colgroup);
            mode_ = Mode::InColumnGroup;
            return true;
          case TagId::Tbody:
          case TagId::Tfoot:
          case TagId::Thead:
            clear_to_table_context();
            insert_element(t);
            mode_ = Mode::InTableBody;
            return false;
          case TagId::Td:
          case TagId::Th:
          case TagId::Tr:
            clear_to_table_context();
            insert_html(TagId::Tbody);
            mode_ = Mode::InTableBody;
            return true;
          case TagId::Table:
            if (!in_scope(TagId::Table, kTableScope)) return false;
            pop_until(TagId::Table);
            reset_insertion_mode();
            return true;
          case TagId::Style:
          case TagId::Script:
          case TagId::Template: return in_head(t);
          case TagId::Input: {
            const Attribute* type = t.find_attr("type");
            if (type == nullptr || !ascii_iequals(type->value, "hidden")) break;
            insert_void(t);
            return false;
          }
          case TagId::Form:
            if (on_stack(TagId::Template) || form_ != kNoNode) return false;
            form_ = insert_element(t);
            pop();
            return false;
          default: break;
        }
        break;
      case TokenType::EndTag:
        switch (t.tag) {
          case TagId::Table:
            if (!in_scope(TagId::Table, kTableScope)) return false;
            pop_until(TagId::Table);
            reset_insertion_mode();
            return false;
          case TagId::Body:
          case TagId::Caption:
          case TagId::Col:
          case TagId::Colgroup:
          case TagId::Html:
          case TagId::Tbody:
          case TagId::Td:
          case TagId::Tfoot:
          case TagId::Th:
          case TagId::Thead:
          case TagId::Tr: return false;
          case TagId::Template: return in_head(t);
          default: break;
        }
        break;
      case TokenType::Eof: return in_body(t);
    }
    foster_parenting_ = true;
    const bool again = in_body(t);
    foster_parenting_ = false;
    return again;
  }

  bool in_table_text(Token& t) {
    if (t.type == TokenType::Null) return false;
    if (t.type == TokenType::Characters) {
      pending_text_.append(t.data);
      if (!pending_non_ws_ && !all_ws(t.data)) pending_non_ws_ = true;
      return false;
    }
    if (pending_non_ws_) {
      foster_parenting_ = true;
      reconstruct_formatting();
      insert_characters(pending_text_);
      frameset_ok_ = false;
      foster_parenting_ = false;
    } else if (!pending_text_.empty()) {
      insert_characters(pending_text_);
    }
    pending_text_.clear();
    mode_ = original_mode_;
    return true;
  }

  bool close_caption() {
    if (!in_scope(TagId::Caption, kTableScope)) return false;
    generate_implied_end_tags();
    pop_until(TagId::Caption);
    clear_afe_to_marker();
    mode_ = Mode::InTable;
    return true;
  }

  bool in_caption(Token& t) {
    static constexpr TagId kTableStarts[] = {TagId::Caption, TagId::Col, TagId::Colgroup, TagId::Tbody, TagId::Td,
                                           TagId::Tfoot, TagId::Th, TagId::Thead, TagId::Tr};
    static constexpr TagId kIgnoredEnds[] = {TagId::Body, TagId::Col, TagId::Colgroup, TagId::Html, TagId::Tbody,
                                           TagId::Td, TagId::Tfoot, TagId::Th, TagId::Thead, TagId::Tr};
    if (end_is(t, TagId::Caption)) {
      close_caption();
      return false;
    }
    if ((t.type == TokenType::StartTag && tag_in(t.tag, kTableStarts)) || end_is(t, TagId::Table)) {
      return close_caption();
    }
    if (t.type == TokenType::EndTag && tag_in(t.tag, kIgnoredEnds)) return false;
    return in_body(t);
  }

  bool in_column_group(Token& t) {
    if (insert_ws(t)) return false;
    switch (t.type) {
      case TokenType::Comment: insert_comment(t); return false;
      case TokenType::Doctype: return false;
      case TokenType::StartTag:
        if (t.tag == TagId::Html) return in_body(t);
        if (t.tag == TagId::Col) {
          insert_void(t);
          return false;
        }
        if (t.tag == TagId::Template) return in_head(t);
        break;
      case TokenType::EndTag:
        if (t.tag == TagId::Colgroup) {
          if (!is_html(current(), TagId::Colgroup)) return false;
          pop();
          mode_ = Mode::InTable;
          return false;
        }
        if (t.tag == TagId::Col) return false;
        if (t.tag == TagId::Template) return in_head(t);
        break;
      case TokenType::Eof: return in_body(t);
      default: break;
    }
    if (!is_html(current(), TagId::Colgroup)) return false;
    pop();
    mode_ = Mode::InTable;
    return true;
  }

  bool in_table_body(Token& t) {
    static constexpr TagId kSections[] = {TagId::Tbody, TagId::Tfoot, TagId::Thead};
    if (t.type == TokenType::StartTag) {
      if (t.tag == TagId::Tr) {
        clear_to_table_body_context();
        insert_element(t);
        mode_ = Mode::InRow;
        return false;
      }
      if (t.tag == TagId::Th || t.tag == TagId::Td) {
        clear_to_table_body_context();
        insert_html(TagId::Tr);
        mode_ = Mode::InRow;
        return true;
      }
      static constexpr TagId kLeave[] = {TagId::Caption, TagId::Col, TagId::Colgroup, TagId::Tbody, TagId::Tfoot, TagId::Thead};
      if (tag_in(t.tag, kLeave)) {
        if (!any_in_scope(kSections, kTableScope)) return false;
        clear_to_table_body_context();
        pop();
        mode_ = Mode::InTable;
        return true;
      }
    } else if (t.type == TokenType::EndTag) {
      if (tag_in(t.tag, kSections)) {
        if (!in_scope(t.tag, kTableScope)) return false;
        clear_to_table_body_context();
        pop();
        mode_ = Mode::InTable;
        return false;
      }
      if (t.tag == TagId::Table) {
        if (!any_in_scope(kSections, kTableScope)) return false;
        clear_to_table_body_context();
        pop();
        mode_ = Mode::InTable;
        return true;
      }
      static constexpr TagId kIgnored[] = {TagId::Body, TagId::Caption, TagId::Col, TagId::Colgroup, TagId::Html,
                                         TagId::Td, TagId::Th, TagId::Tr};
      if (tag_in(t.tag, kIgnored)) return false;
    }
    return in_table(t);
  }

  bool in_row(Token& t) {
    static constexpr TagId kSections[] = {TagId::Tbody, TagId::Tfoot, TagId::Thead};
    if (t.type == TokenType::StartTag) {
      if (t.tag == TagId::Th || t.tag == TagId::Td) {
        clear_to_table_row_context();
        insert_element(t);
        mode_ = Mode::InCell;
        push_marker();
        return false;
      }
      static constexpr TagId kLeave[] = {TagId::Caption, TagId::Col, TagId::Colgroup, TagId::Tbody,
                                       TagId::Tfoot, TagId::Thead, TagId::Tr};
      if (tag_in(t.tag, kLeave)) {
        if (!in_scope(TagId::Tr, kTableScope)) return false;
        clear_to_table_row_context();
        pop();
        mode_ = Mode::InTableBody;
        return true;
      }
    } else if (t.type == TokenType::EndTag) {
      if (t.tag == TagId::Tr) {
        if (!in_scope(TagId::Tr, kTableScope)) return false;
        clear_to_table_row_context();
        pop();
        mode_ = Mode::InTableBody;
        return false;
      }
      if (t.tag == TagId::Table) {
        if (!in_scope(TagId::Tr, kTableScope)) return false;
        clear_to_table_row_context();
        pop();
        mode_ = Mode::InTableBody;
        return true;
      }
      if (tag_in(t.tag, kSections)) {
        if (!in_scope(t.tag, kTableScope)) return false;
        if (!in_scope(TagId::Tr, kTableScope)) return false;
        clear_to_table_row_context();
        pop();
        mode_ = Mode::InTableBody;
        return true;
      }
      static constexpr TagId kIgnored[] = {TagId::Body, TagId::Caption, TagId::Col, TagId::Colgroup, TagId::Html,
                                         TagId::Td, TagId::Th};
      if (tag_in(t.tag, kIgnored)) return false;
    }
    return in_table(t);
  }

  void close_cell() {
    generate_implied_end_tags();
    static constexpr TagId kCells[] = {TagId::Td, TagId::Th};
    pop_until_one_of(kCells);
    clear_afe_to_marker();
    mode_ = Mode::InRow;
  }

  bool in_cell(Token& t) {
    static constexpr TagId kCells[] = {TagId::Td, TagId::Th};
    if (t.type == TokenType::EndTag) {
      if (t.tag == TagId::Td || t.tag == TagId::Th) {
        if (!in_scope(t.tag, kTableScope)) return false;
        generate_implied_end_tags();
        pop_until(t.tag);
        clear_afe_to_marker();
        mode_ = Mode::InRow;
        return false;
      }
      static constexpr TagId kIgnored[] = {TagId::Body, TagId::Caption, TagId::Col, TagId::Colgroup, TagId::Html};
      if (tag_in(t.tag, kIgnored)) return false;
      static constexpr TagId kClosing[] = {TagId::Table, TagId::Tbody, TagId::Tfoot, TagId::Thead, TagId::Tr};
      if (tag_in(t.tag, kClosing)) {
        if (!in_scope(t.tag, kTableScope)) return false;
        close_cell();
        return true;
      }
    } else if (t.type == TokenType::StartTag) {
      static constexpr TagId kLeave[] = {TagId::Caption, TagId::Col, TagId::Colgroup, TagId::Tbody, TagId::Td,
                                       TagId::Tfoot, TagId::Th, TagId::Thead, TagId::Tr};
      if (tag_in(t.tag, kLeave)) {
        if (!any_in_scope(kCells, kTableScope)) return false;
        close_cell();
        return true;
      }
    }
    return in_body(t);
  }

  bool in_template(Token& t) {
    switch (t.type) {
      case TokenType::Characters:
      case TokenType::Null:
      case TokenType::Comment:
      case TokenType::Doctype: return in_body(t);
      case TokenType::StartTag: {
        static constexpr TagId kHeadTags[] = {TagId::Base, TagId::Basefont, TagId::Bgsound, TagId::Link, TagId::Meta,
                                            TagId::Noframes, TagId::Script, TagId::Style, TagId::Template,
                                            TagId::Title};
        if (tag_in(t.tag, kHeadTags)) return in_head(t);
        Mode next = Mode::InBody;
        switch (t.tag) {
          case TagId::Caption:
          case TagId::Colgroup:
          case TagId::Tbody:
          case TagId::Tfoot:
          case TagId::Thead: next = Mode::InTable; break;
          case TagId::Col: next = Mode::InColumnGroup; break;
          case TagId::Tr: next = Mode::InTableBody; break;
          case TagId::Td:
          case TagId::Th: next = Mode::InRow; break;
          default: break;
        }
        template_modes_.back() = next;
        mode_ = next;
        return true;
      }
      case TokenType::EndTag:
        if (t.tag == TagId::Template) return in_head(t);
        return false;
      case TokenType::Eof:
        if (!on_stack(TagId::Template)) return false;
        pop_until(TagId::Template);
        clear_afe_to_marker();
        template_modes_.pop_back();
        reset_insertion_mode();
        return true;
    }
    return false;
  }

  bool after_body(Token& t) {
    if (t.type == TokenType::Characters && ws_prefix(t.data) > 0) {
      const std::size_t k = ws_prefix(t.data);
      Token ws = t;
      ws.data = t.data.substr(0, k);
      in_body(ws);
      t.data.remove_prefix(k);
      if (t.data.empty()) return false;
    }
    switch (t.type) {
      case TokenType::Comment: insert_comment(t, bottom_node()); return false;
      case TokenType::Doctype: return false;
      case TokenType::StartTag:
        if (t.tag == TagId::Html) return in_body(t);
        break;
      case TokenType::EndTag:
        if (t.tag == TagId::Html) {
          if (context_ == kNoNode) mode_ = Mode::AfterAfterBody;
          return false;
        }
        break;
      case TokenType::Eof: return false;
      default: break;
    }
    mode_ = Mode::InBody;
    return true;
  }

  // Frameset modes keep only the white space of character tokens.
  void insert_only_ws(const Token& t) {
    if (t.type != TokenType::Characters) return;
    std::string_view s = t.data;
    while (!s.empty()) {
      std::size_t k = ws_prefix(s);
      if (k > 0) insert_characters(s.substr(0, k));
      s.remove_prefix(k);
      std::size_t j = 0;
      while (j < s.size() && !is_ws(s[j])) ++j;
      s.remove_prefix(j);
    }
  }

  bool in_frameset(Token& t) {
    switch (t.type) {
      case TokenType::Characters:
      case TokenType::Null: insert_only_ws(t); return false;
      case TokenType::Comment: insert_comment(t); return false;
      case TokenType::Doctype: return false;
      case TokenType::StartTag:
        if (t.tag == TagId::Html) return in_body(t);
        if (t.tag == TagId::Frameset) {
          insert_element(t);
          return false;
        }
        if (t.tag == TagId::Frame) {
          insert_void(t);
          return false;
        }
        if (t.tag == TagId::Noframes) return in_head(t);
        return false;
      case TokenType::EndTag:
        if (t.tag == TagId::Frameset) {
          if (open_.size() == 1 && is_html(current(), TagId::Html)) return false;
          pop();
          if (context_ == kNoNode && !is_html(current(), TagId::Frameset)) mode_ = Mode::AfterFrameset;
        }
        return false;
      case TokenType::Eof: return false;
    }
    return false;
  }

  bool after_frameset(Token& t) {
    switch (t.type) {
      case TokenType::Characters:
      case TokenType::Null: insert_only_ws(t); return false;
      case TokenType::Comment: insert_comment(t); return false;
      case TokenType::StartTag:
        if (t.tag == TagId::Html) return in_body(t);
        if (t.tag == TagId::Noframes) return in_head(t);
        return false;
      case TokenType::EndTag:
        if (t.tag == TagId::Html) mode_ = Mode::AfterAfterFrameset;
        return false;
      default: return false;
    }
  }

  bool after_after_body(Token& t) {
    if (t.type == TokenType::Comment) {
      insert_comment(t, Document::root());
      return false;
    }
    if (t.type == TokenType::Doctype || start_is(t, TagId::Html)) return in_body(t);
    if (t.type == TokenType::Characters && ws_prefix(t.data) > 0) {
      const std::size_t k = ws_prefix(t.data);
      Token ws = t;
      ws.data = t.data.substr(0, k);
      in_body(ws);
      t.data.remove_prefix(k);
      if (t.data.empty()) return false;
    }
    if (t.type == TokenType::Eof) return false;
    mode_ = Mode::InBody;
    return true;
  }

  bool after_after_frameset(Token& t) {
    switch (t.type) {
      case TokenType::Comment: insert_comment(t, Document::root()); return false;
      case TokenType::Doctype: return in_body(t);
      case TokenType::Characters: {
        // White space is processed as in body; everything else is ignored.
        std::string_view s = t.data;
        while (!s.empty()) {
          std::size_t k = ws_prefix(s);
          if (k > 0) {
            Token ws = t;
            ws.data = s.substr(0, k);
            in_body(ws);
          }
          s.remove_prefix(k);
          std::size_t j = 0;
          while (j < s.size() && !is_ws(s[j])) ++j;
          s.remove_prefix(j);
        }
        return false;
      }
      case TokenType::StartTag:
        if (t.tag == TagId::Html) return in_body(t);
        if (t.tag == TagId::Noframes) return in_head(t);
        return false;
      default: return false;
    }
  }

  bool foreign_content(Token& t) {
    switch (t.type) {
      case TokenType::Null: insert_characters(kReplacement); return false;
      case TokenType::Characters:
        insert_characters(t.data);
        if (frameset_ok_ && !all_ws(t.data)) frameset_ok_ = false;
        return false;
      case TokenType::Comment: insert_comment(t); return false;
      case TokenType::Doctype: return false;
      case TokenType::StartTag: {
        static constexpr TagId kBreakout[] = {
            TagId::B, TagId::Big, TagId::Blockquote, TagId::Body, TagId::Br, TagId::Center, TagId::Code, TagId::Dd, TagId::Div,
            TagId::Dl, TagId::Dt, TagId::Em, TagId::Embed, TagId::H1, TagId::H2, TagId::H3, TagId::H4, TagId::H5, TagId::H6,
            TagId::Head, TagId::Hr, TagId::I, TagId::Img, TagId::Li, TagId::Listing, TagId::Menu, TagId::Meta, TagId::Nobr,
            TagId::Ol, TagId::P, TagId::Pre, TagId::Ruby, TagId::S, TagId::Small, TagId::Span, TagId::Strong, TagId::Strike,
            TagId::Sub, TagId::Sup, TagId::Table, TagId::Tt, TagId::U, TagId::Ul, TagId::Var};
        const bool font_breaks = t.tag == TagId::Font && (t.find_attr("color") || t.find_attr("face") ||
                                                        t.find_attr("size"));
        if (tag_in(t.tag, kBreakout) || font_breaks) {
          pop_to_html_content();
          return by_mode(mode_, t);
        }
        const Ns ns = node(adjusted_current()).ns;
        insert_element(t, ns);
        if (t.self_closing) pop();
        return false;
      }
      case TokenType::EndTag: {
        if (t.tag == TagId::Br || t.tag == TagId::P) {
          pop_to_html_content();
          return by_mode(mode_, t);
        }
        if (t.name == "script" && node(current()).ns == Ns::Svg && node(current()).name == "script") {
          pop();
          return false;
        }
        // Foreign elements above the topmost HTML element may close; past
        // it the HTML rules take the token.
        if (open_.top() == open_.bottom()) return false;
        const OpenElements::Entry match = open_.top_named(t.name, true);
        const OpenElements::Entry html = open_.top_bounding(kHtmlScope);
        if (match != OpenElements::kNone && (html == OpenElements::kNone || open_.higher(match, html))) {
          pop_until_node(open_.node_of(match));
          return false;
        }
        return by_mode(mode_, t);
      }
      case TokenType::Eof: return false;
    }
    return false;
  }

  void pop_to_html_content() {
    while (!open_.empty()) {
      const NodeId n = current();
      if (is_math_text_point(n) || is_html_integration_point(n) || node(n).ns == Ns::Html) break;
      pop();
    }
  }

  Document& doc_;
  Tokenizer& tok_;
  bool scripting_;
  Mode mode_ = Mode::Initial;
  Mode original_mode_ = Mode::Initial;
  OpenElements open_;
  FormattingList afe_;
  std::vector<Mode> template_modes_;
  NodeId head_ = kNoNode;
  NodeId form_ = kNoNode;
  NodeId context_ = kNoNode;
  bool frameset_ok_ = true;
  bool foster_parenting_ = false;
  bool skip_newline_ = false;
  std::string pending_text_;
  bool pending_non_ws_ = false;
  std::vector<Attribute> attrs_buf_;
  std::unordered_map<NodeId, SelectParts> selects_;
  std::unordered_map<NodeId, NodeId> option_select_;
};

// Line breaks as the input stream sees them: CR LF and lone CR become LF.
Document make_document(std::string_view input) {
  if (std::optional<std::string> normalised = scan::normalize_line_endings(input)) {
    Document doc;
    doc.own_input(std::move(*normalised));
    return doc;
  }
  return Document(input);
}

}  // namespace

Document parse_document(std::string_view input, const ParseOptions& options) {
  Document doc = make_document(input);
  Tokenizer tokenizer(doc.input());
  TreeBuilder builder(doc, tokenizer, options);
  builder.run();
  return doc;
}

Document parse_fragment(std::string_view input, Ns ns, std::string_view context, const ParseOptions& options) {
  Document doc = make_document(input);
  Tokenizer tokenizer(doc.input());
  const TagId tag = tag_id_ignore_case(context);
  const NodeId context_node = doc.create_element(ns, tag, context, {});
  if (ns == Ns::Html) {
    switch (tag) {
      case TagId::Title:
      case TagId::Textarea: tokenizer.set_state(Tokenizer::State::Rcdata); break;
      case TagId::Style:
      case TagId::Xmp:
      case TagId::Iframe:
      case TagId::Noembed:
      case TagId::Noframes: tokenizer.set_state(Tokenizer::State::Rawtext); break;
      case TagId::Script: tokenizer.set_state(Tokenizer::State::ScriptData); break;
      case TagId::Noscript:
        if (options.scripting) tokenizer.set_state(Tokenizer::State::Rawtext);
        break;
      case TagId::Plaintext: tokenizer.set_state(Tokenizer::State::Plaintext); break;
      default: break;
    }
  }
  tokenizer.set_cdata_allowed(ns != Ns::Html);
  const NodeId html = doc.create_element(Ns::Html, TagId::Html, "html", {});
  doc.insert(Document::root(), html);
  TreeBuilder builder(doc, tokenizer, options);
  builder.set_fragment_context(context_node);
  builder.start_fragment(html);
  builder.run();
  return doc;
}

}  // namespace tidewell::html5
