#include "converter/plain/plain_kind.hpp"

#include <array>

namespace tidewell {
namespace {

// Every tag not listed is Other.
constexpr TagValue<PlainKind> kKinds[] = {
    {TagId::Address, PlainKind::Block},
    {TagId::Article, PlainKind::Block},
    {TagId::Aside, PlainKind::Block},
    {TagId::Blockquote, PlainKind::Block},
    {TagId::Br, PlainKind::Br},
    {TagId::Dd, PlainKind::Line},
    {TagId::Details, PlainKind::Block},
    {TagId::Div, PlainKind::Block},
    {TagId::Dl, PlainKind::Block},
    {TagId::Dt, PlainKind::Line},
    {TagId::Figcaption, PlainKind::Block},
    {TagId::Figure, PlainKind::Block},
    {TagId::Footer, PlainKind::Block},
    {TagId::H1, PlainKind::Block},
    {TagId::H2, PlainKind::Block},
    {TagId::H3, PlainKind::Block},
    {TagId::H4, PlainKind::Block},
    {TagId::H5, PlainKind::Block},
    {TagId::H6, PlainKind::Block},
    {TagId::Head, PlainKind::Head},
    {TagId::Header, PlainKind::Block},
    {TagId::Hgroup, PlainKind::Block},
    {TagId::Hr, PlainKind::Hr},
    {TagId::Img, PlainKind::Img},
    {TagId::Li, PlainKind::Li},
    {TagId::Main, PlainKind::Block},
    {TagId::Math, PlainKind::Skipped},
    {TagId::Nav, PlainKind::Block},
    {TagId::Noscript, PlainKind::Skipped},
    {TagId::Ol, PlainKind::Ol},
    {TagId::P, PlainKind::Block},
    {TagId::Pre, PlainKind::Pre},
    {TagId::Script, PlainKind::Skipped},
    {TagId::Search, PlainKind::Block},
    {TagId::Section, PlainKind::Block},
    {TagId::Style, PlainKind::Skipped},
    {TagId::Summary, PlainKind::Block},
    {TagId::Svg, PlainKind::Skipped},
    {TagId::Table, PlainKind::Table},
    {TagId::Template, PlainKind::Skipped},
    {TagId::Ul, PlainKind::Ul},
};
constexpr std::array<PlainKind, kTagIdCount> kTable = make_tag_table(kKinds);

}  // namespace

PlainKind plain_kind(TagId id) { return tag_table_at(kTable, id); }

}  // namespace tidewell
