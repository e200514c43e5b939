// The streaming converter's tag table: 113 known element names, each with a
// small id and a constant record of how the element behaves.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tidewell::streaming {

enum TagId : std::uint8_t {
  kHtml, kHead, kDetails, kSummary, kTitle, kMeta, kBr, kH1, kH2, kH3, kH4, kH5, kH6, kHr, kStrong, kB, kEm,
  kI, kDel, kSub, kSup, kIns, kBlockquote, kCode, kUl, kLi, kA, kImg, kTable, kThead, kTr, kTh, kTd, kOl,
  kPre, kP, kDiv, kSpan, kTbody, kTfoot, kForm, kNav, kLabel, kButton, kBody, kCenter, kKbd, kFooter, kPath,
  kSvg, kArticle, kSection, kScript, kStyle, kLink, kArea, kBase, kCol, kEmbed, kInput, kKeygen, kParam,
  kSource, kTrack, kWbr, kSelect, kTextarea, kOption, kFieldset, kLegend, kAudio, kVideo, kCanvas, kIframe,
  kMap, kDialog, kMeter, kProgress, kTemplate, kAbbr, kMark, kQ, kSamp, kSmall, kNoscript, kNoframes, kXmp,
  kPlaintext, kAside, kU, kCite, kDfn, kVar, kTime, kBdo, kRuby, kRt, kRp, kDd, kDt, kAddress, kDl, kFigure,
  kObject, kMain, kHeader, kFigcaption, kCaption, kDatalist, kOptgroup, kS, kStrike, kNoembed,
  kTagCount
};

static_assert(kTagCount == 113);

// A set of tags, indexed by TagId.
using TagSet = std::array<bool, kTagCount>;

// Attribute bits: which attributes the tokenizer keeps for a tag.
enum AttributeBit : std::uint16_t {
  kAttrHref = 0x1, kAttrTitle = 0x2, kAttrAriaLabel = 0x4, kAttrSrc = 0x8, kAttrAlt = 0x10,
  kAttrClass = 0x20, kAttrAlign = 0x40, kAttrName = 0x80, kAttrProperty = 0x100, kAttrContent = 0x200,
  kAttrStart = 0x400, kAttrColspan = 0x800
};

struct StreamTagInfo {
  std::uint16_t attribute_mask = 0;
  // When false the element is a block that wants two newlines before and
  // after; when true `newlines_before` / `newlines_after` say how many.
  bool explicit_spacing = false;
  std::uint8_t newlines_before = 0;
  std::uint8_t newlines_after = 0;
  bool is_void = false;
  bool is_raw_text = false;
  bool phrasing_context = false;
  bool is_inline = false;
  bool discards_text = false;
};

// The name of a tag id.
std::string_view tag_name(TagId id);

// The id of a name that is exactly one of the 113 lower-case names (1 to 10
// bytes, compared byte for byte).
std::optional<TagId> lookup_tag_id(std::string_view name);

// lookup_tag_id of the name as written, then ASCII-lower-cased (no
// allocation).
std::optional<TagId> lookup_either_case(std::string_view name);

// The constant record of a known tag (html, path, object and caption have
// none and get the all-default record).
const StreamTagInfo& stream_tag_info(TagId id);

// The record of an element that is not in the table: inline, spacing
// explicit with no newlines.
const StreamTagInfo& unknown_tag_info();

// The inline class of the tag table (strong, b, em, ..., figcaption, s,
// strike); code, span, img and br are not in it.
bool quillmoor_is_inline_tag(TagId id);

// The bit of an attribute name (ASCII case-insensitive), 0 when it has none.
std::uint16_t attribute_bit(std::string_view name);

// A TagSet holding the given ids.
constexpr TagSet make_tag_set(std::initializer_list<TagId> ids) {
  TagSet set{};
  for (TagId id : ids) set[id] = true;
  return set;
}

}  // namespace tidewell::streaming
