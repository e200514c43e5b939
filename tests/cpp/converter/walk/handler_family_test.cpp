#include "converter/walk/handler_family.hpp"

#include <gtest/gtest.h>

#include "common/tags.hpp"
#include "converter/plain/plain_kind.hpp"

namespace tidewell {
namespace {

TEST(TagRoles, HandlerFamiliesAndPlainKinds) {
  struct Row {
    const char* name;
    HandlerFamily family;
    PlainKind plain;
  };
  for (const Row& r : {
           Row{"p", HandlerFamily::Paragraph, PlainKind::Block},
           Row{"h4", HandlerFamily::Heading, PlainKind::Block},
           Row{"div", HandlerFamily::Div, PlainKind::Block},
           Row{"br", HandlerFamily::LineBreak, PlainKind::Br},
           Row{"hr", HandlerFamily::Rule, PlainKind::Hr},
           Row{"ul", HandlerFamily::List, PlainKind::Ul},
           Row{"ol", HandlerFamily::List, PlainKind::Ol},
           Row{"li", HandlerFamily::List, PlainKind::Li},
           Row{"dl", HandlerFamily::List, PlainKind::Block},
           Row{"dd", HandlerFamily::List, PlainKind::Line},
           Row{"pre", HandlerFamily::CodeBlock, PlainKind::Pre},
           Row{"table", HandlerFamily::Table, PlainKind::Table},
           Row{"img", HandlerFamily::Image, PlainKind::Img},
           Row{"svg", HandlerFamily::Embedded, PlainKind::Skipped},
           Row{"head", HandlerFamily::Metadata, PlainKind::Head},
           Row{"template", HandlerFamily::Unknown, PlainKind::Skipped},
           Row{"nav", HandlerFamily::Semantic, PlainKind::Block},
           Row{"address", HandlerFamily::Unknown, PlainKind::Block},
           Row{"td", HandlerFamily::TablePart, PlainKind::Other},
           Row{"wbr", HandlerFamily::Nothing, PlainKind::Other},
           Row{"caption", HandlerFamily::Caption, PlainKind::Other},
           Row{"time", HandlerFamily::Transparent, PlainKind::Other},
           Row{"a", HandlerFamily::Link, PlainKind::Other},
           Row{"graphic", HandlerFamily::Graphic, PlainKind::Other},
           Row{"x-widget", HandlerFamily::Unknown, PlainKind::Other},
       }) {
    EXPECT_EQ(handler_family(tag_id(r.name)), r.family) << r.name;
    EXPECT_EQ(plain_kind(tag_id(r.name)), r.plain) << r.name;
  }
}

TEST(TagRoles, OutOfRangeIdsAreUnknown) {
  EXPECT_EQ(handler_family(TagId::Unknown), HandlerFamily::Unknown);
  EXPECT_EQ(plain_kind(TagId::Unknown), PlainKind::Other);
  EXPECT_EQ(handler_family(static_cast<TagId>(250)), HandlerFamily::Unknown);
  EXPECT_EQ(plain_kind(static_cast<TagId>(250)), PlainKind::Other);
}

}  // namespace
}  // namespace tidewell
