// Tag names the HTML5 tree builder treats specially, interned to small ids.
#pragma once

#include <cstdint>
#include <string_view>

namespace tidewell::html5 {

enum class Ns : std::uint8_t { Html, Svg, MathMl };

// Unknown stands for every name without a rule of its own.
#define TIDEWELL_HTML5_TAGS(X)                                                                        \
  X(A, "a") X(Address, "address") X(AnnotationXml, "annotation-xml") X(Applet, "applet")             \
  X(Area, "area") X(Article, "article") X(Aside, "aside") X(B, "b") X(Base, "base")                   \
  X(Basefont, "basefont") X(Bgsound, "bgsound") X(Big, "big") X(Blockquote, "blockquote")             \
  X(Body, "body") X(Br, "br") X(Button, "button") X(Caption, "caption") X(Center, "center")           \
  X(Code, "code") X(Col, "col") X(Colgroup, "colgroup") X(Dd, "dd") X(Desc, "desc")                   \
  X(Details, "details") X(Dialog, "dialog") X(Dir, "dir") X(Div, "div") X(Dl, "dl") X(Dt, "dt")       \
  X(Em, "em") X(Embed, "embed") X(Fieldset, "fieldset") X(Figcaption, "figcaption")                   \
  X(Figure, "figure") X(Font, "font") X(Footer, "footer") X(ForeignObject, "foreignobject")           \
  X(Form, "form") X(Frame, "frame") X(Frameset, "frameset") X(H1, "h1") X(H2, "h2") X(H3, "h3")       \
  X(H4, "h4") X(H5, "h5") X(H6, "h6") X(Head, "head") X(Header, "header") X(Hgroup, "hgroup")         \
  X(Hr, "hr") X(Html, "html") X(I, "i") X(Iframe, "iframe") X(Image, "image") X(Img, "img")           \
  X(Input, "input") X(Keygen, "keygen") X(Li, "li") X(Link, "link") X(Listing, "listing")             \
  X(Main, "main") X(Malignmark, "malignmark") X(Marquee, "marquee") X(Math, "math")                   \
  X(Menu, "menu") X(Meta, "meta") X(Mglyph, "mglyph") X(Mi, "mi") X(Mn, "mn") X(Mo, "mo")             \
  X(Ms, "ms") X(Mtext, "mtext") X(Nav, "nav") X(Nobr, "nobr") X(Noembed, "noembed")                   \
  X(Noframes, "noframes") X(Noscript, "noscript") X(Object, "object") X(Ol, "ol")                     \
  X(Optgroup, "optgroup") X(Option, "option") X(P, "p") X(Param, "param") X(Plaintext, "plaintext")   \
  X(Pre, "pre") X(Rb, "rb") X(Rp, "rp") X(Rt, "rt") X(Rtc, "rtc") X(Ruby, "ruby") X(S, "s")           \
  X(Script, "script") X(Search, "search") X(Section, "section") X(Select, "select")                   \
  X(Small, "small") X(Source, "source") X(Span, "span") X(Strike, "strike") X(Strong, "strong")       \
  X(Style, "style") X(Sub, "sub") X(Summary, "summary") X(Sup, "sup") X(Svg, "svg")                   \
  X(Table, "table") X(Tbody, "tbody") X(Td, "td") X(Template, "template") X(Textarea, "textarea")     \
  X(Tfoot, "tfoot") X(Th, "th") X(Thead, "thead") X(Title, "title") X(Tr, "tr") X(Track, "track")     \
  X(Tt, "tt") X(U, "u") X(Ul, "ul") X(Var, "var") X(Wbr, "wbr") X(Xmp, "xmp")

enum class Tag : std::uint8_t {
  Unknown,
#define TIDEWELL_HTML5_TAG_ENUM(id, name) id,
  TIDEWELL_HTML5_TAGS(TIDEWELL_HTML5_TAG_ENUM)
#undef TIDEWELL_HTML5_TAG_ENUM
      Count
};

inline constexpr std::size_t kTagCount = static_cast<std::size_t>(Tag::Count);

// The id of a lower-case tag name (Tag::Unknown for any other name).
Tag lookup_tag(std::string_view lower_name);

// The lower-case name of a known tag.
std::string_view tag_name(Tag tag);

}  // namespace tidewell::html5
