#include "streaming/tags.hpp"

#include <cstring>

#include "common/ascii.hpp"

namespace tidewell::streaming {
namespace {

constexpr std::array<std::string_view, kTagCount> kNames = {
    "html", "head", "details", "summary", "title", "meta", "br", "h1", "h2", "h3", "h4", "h5", "h6", "hr",
    "strong", "b", "em", "i", "del", "sub", "sup", "ins", "blockquote", "code", "ul", "li", "a", "img",
    "table", "thead", "tr", "th", "td", "ol", "pre", "p", "div", "span", "tbody", "tfoot", "form", "nav",
    "label", "button", "body", "center", "kbd", "footer", "path", "svg", "article", "section", "script",
    "style", "link", "area", "base", "col", "embed", "input", "keygen", "param", "source", "track", "wbr",
    "select", "textarea", "option", "fieldset", "legend", "audio", "video", "canvas", "iframe", "map",
    "dialog", "meter", "progress", "template", "abbr", "mark", "q", "samp", "small", "noscript", "noframes",
    "xmp", "plaintext", "aside", "u", "cite", "dfn", "var", "time", "bdo", "ruby", "rt", "rp", "dd", "dt",
    "address", "dl", "figure", "object", "main", "header", "figcaption", "caption", "datalist", "optgroup",
    "s", "strike", "noembed"};

constexpr std::size_t kMaxNameLength = 10;

// Names bucketed by length and first letter; every bucket holds at most a
// handful of ids.
struct LookupTable {
  static constexpr std::size_t kSlots = 8;
  std::uint8_t ids[kMaxNameLength + 1][26][kSlots];
  std::uint8_t counts[kMaxNameLength + 1][26];
};

constexpr LookupTable make_lookup() {
  LookupTable t{};
  for (std::size_t id = 0; id < kTagCount; ++id) {
    const std::string_view n = kNames[id];
    const std::size_t letter = static_cast<std::size_t>(n[0] - 'a');
    t.ids[n.size()][letter][t.counts[n.size()][letter]++] = static_cast<std::uint8_t>(id);
  }
  return t;
}

constexpr LookupTable kLookup = make_lookup();

constexpr std::array<StreamTagInfo, kTagCount> make_infos() {
  std::array<StreamTagInfo, kTagCount> t{};
  // Tags without a record keep the defaults: html, path, object, caption.
  for (std::size_t id = 0; id < kTagCount; ++id) {
    if (id == kHtml || id == kPath || id == kObject || id == kCaption) continue;
    t[id].explicit_spacing = true;
  }
  for (TagId id : {kDetails, kSummary, kH1, kH2, kH3, kH4, kH5, kH6, kHr, kUl, kTable, kOl, kPre, kP, kDiv, kNav,
                   kArticle, kSection, kScript, kStyle, kFigure, kMain, kHeader}) {
    t[id].explicit_spacing = false;
  }
  t[kBlockquote].newlines_before = 2;
  t[kLi].newlines_before = 1;
  t[kBlockquote].newlines_after = 2;
  for (TagId id : {kThead, kTr, kTfoot, kDd, kDt}) t[id].newlines_after = 1;
  for (TagId id : {kMeta, kBr, kHr, kImg, kLink, kArea, kBase, kCol, kEmbed, kInput, kKeygen, kParam, kSource,
                   kTrack, kWbr}) {
    t[id].is_void = true;
  }
  for (TagId id : {kTitle, kScript, kStyle, kTextarea, kIframe, kNoscript, kNoframes, kXmp, kPlaintext, kDatalist,
                   kNoembed}) {
    t[id].is_raw_text = true;
  }
  for (TagId id : {kHead, kTitle, kMeta, kBr, kH1, kH2, kH3, kH4, kH5, kH6, kStrong, kB, kEm, kI, kDel, kSub,
                   kSup, kIns, kCode, kA, kImg, kTh, kTd, kSpan, kLabel, kButton, kKbd, kLink, kArea, kBase,
                   kInput, kKeygen, kWbr, kAbbr, kMark, kQ, kSamp, kSmall, kU, kCite, kDfn, kVar, kTime, kBdo,
                   kRuby, kRt, kRp, kDt, kAddress, kFigcaption, kS, kStrike}) {
    t[id].phrasing_context = true;
  }
  for (TagId id : {kBr, kStrong, kB, kEm, kI, kDel, kSub, kSup, kIns, kCode, kA, kImg, kSpan, kLabel, kButton,
                   kKbd, kLink, kArea, kBase, kInput, kKeygen, kWbr, kAbbr, kMark, kQ, kSamp, kSmall, kU, kCite,
                   kDfn, kVar, kTime, kBdo, kRuby, kRt, kRp, kFigcaption, kS, kStrike}) {
    t[id].is_inline = true;
  }
  for (TagId id : {kThead, kTr, kTbody, kTfoot, kScript, kStyle, kIframe, kTemplate, kNoscript, kNoframes,
                   kDatalist, kNoembed}) {
    t[id].discards_text = true;
  }
  t[kMeta].attribute_mask = kAttrName | kAttrProperty | kAttrContent;
  t[kCode].attribute_mask = kAttrClass;
  t[kPre].attribute_mask = kAttrClass;
  t[kA].attribute_mask = kAttrHref | kAttrTitle | kAttrAriaLabel;
  t[kImg].attribute_mask = kAttrTitle | kAttrSrc | kAttrAlt;
  t[kTh].attribute_mask = kAttrAlign | kAttrColspan;
  t[kTd].attribute_mask = kAttrColspan;
  t[kOl].attribute_mask = kAttrStart;
  return t;
}

constexpr std::array<StreamTagInfo, kTagCount> kInfos = make_infos();

constexpr StreamTagInfo kUnknownInfo = {0, true, 0, 0, false, false, false, true, false};

constexpr TagSet kInlineClass = make_tag_set({kStrong, kB, kEm, kI, kDel, kSub, kSup, kIns, kA, kKbd, kAbbr, kMark,
                                              kQ, kSamp, kSmall, kU, kCite, kDfn, kVar, kTime, kBdo, kFigcaption,
                                              kS, kStrike});

struct AttributeName {
  std::string_view name;
  std::uint16_t bit;
};

constexpr AttributeName kAttributeNames[] = {
    {"href", kAttrHref},   {"title", kAttrTitle},       {"aria-label", kAttrAriaLabel}, {"src", kAttrSrc},
    {"alt", kAttrAlt},     {"class", kAttrClass},       {"align", kAttrAlign},          {"name", kAttrName},
    {"property", kAttrProperty}, {"content", kAttrContent}, {"start", kAttrStart},     {"colspan", kAttrColspan}};

}  // namespace

std::string_view tag_name(TagId id) { return kNames[id]; }

std::optional<TagId> lookup_tag_id(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameLength) return std::nullopt;
  const unsigned char first = static_cast<unsigned char>(name[0]);
  if (first < 'a' || first > 'z') return std::nullopt;
  const std::size_t letter = first - 'a';
  const std::uint8_t count = kLookup.counts[name.size()][letter];
  for (std::uint8_t k = 0; k < count; ++k) {
    const std::uint8_t id = kLookup.ids[name.size()][letter][k];
    if (std::memcmp(kNames[id].data(), name.data(), name.size()) == 0) return static_cast<TagId>(id);
  }
  return std::nullopt;
}

std::optional<TagId> lookup_either_case(std::string_view name) {
  if (auto id = lookup_tag_id(name)) return id;
  if (name.size() > kMaxNameLength) return std::nullopt;
  char lower[kMaxNameLength];
  bool folded = false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    lower[i] = ascii_lower(name[i]);
    folded |= lower[i] != name[i];
  }
  return folded ? lookup_tag_id(std::string_view(lower, name.size())) : std::nullopt;
}

const StreamTagInfo& stream_tag_info(TagId id) { return kInfos[id]; }

const StreamTagInfo& unknown_tag_info() { return kUnknownInfo; }

bool quillmoor_is_inline_tag(TagId id) { return kInlineClass[id]; }

std::uint16_t attribute_bit(std::string_view name) {
  for (const AttributeName& a : kAttributeNames) {
    if (ascii_iequals(a.name, name)) return a.bit;
  }
  return 0;
}

}  // namespace tidewell::streaming
