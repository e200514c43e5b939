#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "html_parser/asm_tl/tokenizer.hpp"

namespace tidewell::asm_tl {
namespace {

struct Tokenized {
  std::uint32_t code = 0;
  std::vector<AsmToken> tokens;
  std::vector<AsmAttribute> attributes;
  std::size_t depth = 0;
};

Tokenized tokenize(std::string_view html, std::size_t tokens = 1024, std::size_t attributes = 1024,
                   std::size_t stack = 1024) {
  Tokenized r;
  r.tokens.resize(tokens);
  r.attributes.resize(attributes);
  std::vector<std::uint32_t> open(stack);
  std::vector<ScopeEntry> scopes(stack);
  TokenBuffers b{r.tokens.data(), tokens, 99, r.attributes.data(), attributes, 99,
                 open.data(),     stack,  99, 77,                  scopes.data(), stack};
  r.code = tokenize_html(html.data(), html.size(), b);
  EXPECT_EQ(b.result, r.code);
  r.tokens.resize(b.token_count);
  r.attributes.resize(b.attribute_count);
  r.depth = b.stack_depth;
  return r;
}

// One token per line: kind, then the text or name, the attributes, "^parent"
// and "#children" when nonzero.
std::string render(std::string_view html, const Tokenized& t) {
  std::string s;
  for (const AsmToken& tok : t.tokens) {
    if (!s.empty()) s += '\n';
    if (tok.kind == kTokenText || tok.kind == kTokenComment) {
      s += tok.kind == kTokenText ? "T'" : "C'";
      s.append(html.substr(tok.start, tok.length));
      s += '\'';
    } else {
      s += 'E';
      s.append(html.substr(tok.name_start, tok.name_length));
      for (std::uint32_t i = 0; i < tok.attribute_count; ++i) {
        const AsmAttribute& a = t.attributes[tok.first_attribute + i];
        s += ' ';
        if (a.kind == kAttributeId) s += '#';
        if (a.kind == kAttributeClass) s += '.';
        s.append(html.substr(a.name_start, a.name_length));
        if (a.has_value) {
          s += "=[";
          s.append(html.substr(a.value_start, a.value_length));
          s += ']';
        }
      }
    }
    if (tok.parent != kNoParent) s.append(" ^").append(std::to_string(tok.parent));
    if (tok.child_count != 0) s.append(" #").append(std::to_string(tok.child_count));
  }
  return s;
}

struct Case {
  const char* html;
  const char* tokens;
};

const Case kCases[] = {
    // Text, elements, void elements and end tags.
    {"", ""},
    {"plain", "T'plain'"},
    {"<p>a<wbr>b</p>c", "Ep #3\nT'a' ^0\nEwbr ^0\nT'b' ^0\nT'c'"},
    {"<keygen>x<command>y<source>z", "Ekeygen\nT'x'\nEcommand\nT'y'\nEsource\nT'z'"},
    {"<BR>x", "EBR\nT'x'"},
    {"<br/>x", "Ebr/ #1\nT'x' ^0"},
    {"<br />x", "Ebr\nT'x'"},
    {"<DIV>x</div>y", "EDIV #2\nT'x' ^0\nT'y' ^0"},
    {"<b><i>x</b></i>y", "Eb #2\nEi ^0 #1\nT'x' ^1\nT'y' ^0"},
    {"</>x", "T'x'"},
    {"<p></>x", "Ep #1\nT'x' ^0"},
    // White space around "<" and "</".
    {"< p>x", "Ep #1\nT'x' ^0"},
    {"< /p>x", "E/p #1\nT'x' ^0"},
    // "</" before a non-letter opens a comment up to the next ">".
    {"<p>x</ p>y", "Ep #3\nT'x' ^0\nC'</ p>' ^0\nT'y' ^0"},
    {"<p>x</\n p>y", "Ep #3\nT'x' ^0\nC'</\n p>' ^0\nT'y' ^0"},
    {"<p>x</p >y", "Ep #2\nT'x' ^0\nT'y' ^0"},
    {"<p>x</p", "Ep #1\nT'x' ^0"},
    {"a < b > c", "T'a '\nEb #1\nT' c' ^1"},
    // A "<" that cannot start a name drops the rest of the input.
    {"x <= y", "T'x '"},
    {"x << y", "T'x '"},
    {"x < ", "T'x '"},
    {"x < !-- c -->y", "T'x '"},
    {"a<", "T'a'\nT'<'"},
    {"<", "T'<'"},
    {"<p><", "Ep #1\nT'<' ^0"},
    // Attributes.
    {"<a href=x/y title='t'>", "Ea href=[x/y] title=[t]"},
    {"<a b=1 c>", "Ea b=[1] c"},
    {"<a b = 1 c\n=\n\"2\">", "Ea b=[1] c=[2]"},
    {"<a b=>x", "Ea b=[] #1\nT'x' ^0"},
    {"<a b=", "Ea b=[]"},
    {"<a b= ", "Ea b=[]"},
    {"<a b='x", "Ea b=[x]"},
    {"<a b=\"x>y", "Ea b=[x>y]"},
    {"<a b=x/>y", "Ea b=[x/] #1\nT'y' ^0"},
    {"<a b='x'/>y", "Ea b=[x]\nT'y'"},
    {"<a x='1'y=2>", "Ea x=[1] y=[2]"},
    {"<a \"b\" .c=d>", "Ea b c=[d]"},
    {"<p\ta=1>", "Ep a=[1]"},
    {"<a b=x\tc=y>", "Ea b=[x\tc=y]"},
    {"<a b=\"1\" b=\"2\">", "Ea b=[1] b=[2]"},
    {"<a id=x class=y ID=z Class=w>", "Ea #id=[x] .class=[y] ID=[z] Class=[w]"},
    {"<a id class>", "Ea #id .class"},
    {"<a c=&amp;>", "Ea c=[&amp;]"},
    // End of input inside a start tag, and "/" without ">".
    {"<div class='a", "Ediv .class=[a]"},
    {"<div class", "Ediv .class"},
    {"<div ", "Ediv"},
    {"<div", "Ediv"},
    {"<a / href=x>", "Ea\nT'href=x>'"},
    {"<a /x>", "Ea\nT'x>'"},
    {"<a/ >x", "Ea/ #1\nT'x' ^0"},
    {"<p><a/", "Ep #1\nEa/ ^0"},
    {"<p><a /", "Ep #1\nEa ^0"},
    // Comments.
    {"<!---->x", "C'<!---->'\nT'x'"},
    {"<!-->x-->y", "C'<!-->x-->'\nT'y'"},
    {"<!-- a -- b -->x", "C'<!-- a -- b -->'\nT'x'"},
    {"<!-- a --->x", "C'<!-- a --->'\nT'x'"},
    {"<p><!-- a", "Ep #1\nC'<!-- a' ^0"},
    {"<!--", "C'<!--'"},
    // Declarations.
    {"<!DOCTYPE html>x", "T'x'"},
    {"<!doctype svg>x", "T'x'"},
    {"<! DocType\nhtml PUBLIC \"-//W3C//DTD\" \"u\">x", "T'x'"},
    {"<!DOCTYPE>x", "T'x'"},
    {"a<!DOCTYPE html", "T'a'"},
    // Other declarations, processing instructions and "</" before a
    // non-letter are comments up to the next ">", or to the end.
    {"<![CDATA[x]]>", "C'<![CDATA[x]]>'"},
    {"<![CDATA[a>b]]>", "C'<![CDATA[a>'\nT'b]]>'"},
    {"a<!ELEMENT a b>", "T'a'\nC'<!ELEMENT a b>'"},
    {"<!>", "C'<!>'"},
    {"<!-", "C'<!-'"},
    {"x<!", "T'x'\nC'<!'"},
    {"<!-x-->", "C'<!-x-->'"},
    {"<! x>", "C'<! x>'"},
    {"<!doctypes html>", "C'<!doctypes html>'"},
    {"<?xml version=\"1.0\"?>x", "C'<?xml version=\"1.0\"?>'\nT'x'"},
    {"<p>a<?xml:namespace prefix = o />b", "Ep #3\nT'a' ^0\nC'<?xml:namespace prefix = o />' ^0\nT'b' ^0"},
    {"a</3>b", "T'a'\nC'</3>'\nT'b'"},
    {"<?x", "C'<?x'"},
};

TEST(AsmTokenizer, Cases) {
  for (const Case& c : kCases) {
    const Tokenized t = tokenize(c.html);
    EXPECT_EQ(t.code, kTokenizeFinished) << c.html;
    EXPECT_EQ(render(c.html, t), c.tokens) << "input: " << c.html;
  }
}

TEST(AsmTokenizer, TokenFields) {
  const std::string html = "ab<p id=\"i\">c<!--d--></p>";
  const Tokenized t = tokenize(html);
  ASSERT_EQ(t.tokens.size(), 4u);
  const AsmToken& p = t.tokens[1];
  EXPECT_EQ(p.kind, kTokenElement);
  EXPECT_EQ(p.start, 2u);
  EXPECT_EQ(p.length, 10u);  // the start tag "<p id=\"i\">"
  EXPECT_EQ(p.name_start, 3u);
  EXPECT_EQ(p.name_length, 1u);
  EXPECT_EQ(p.first_attribute, 0u);
  EXPECT_EQ(p.attribute_count, 1u);
  EXPECT_EQ(p.child_count, 2u);
  const AsmAttribute& id = t.attributes[0];
  EXPECT_EQ(id.name_start, 5u);
  EXPECT_EQ(id.name_length, 2u);
  EXPECT_EQ(id.value_start, 9u);
  EXPECT_EQ(id.value_length, 1u);
  EXPECT_EQ(id.has_value, 1u);
  EXPECT_EQ(id.kind, kAttributeId);
  const AsmToken& text = t.tokens[0];
  EXPECT_EQ(text.first_attribute, 0u);
  EXPECT_EQ(text.name_start, 0u);
  EXPECT_EQ(text.name_length, 0u);
  EXPECT_EQ(t.tokens[3].start, 13u);
  EXPECT_EQ(t.tokens[3].length, 8u);
  EXPECT_EQ(t.depth, 0u);
}

TEST(AsmTokenizer, LongRunsCrossVectorBlocks) {
  // Delimiters at every position relative to 16- and 32-byte blocks.
  for (std::size_t pad = 0; pad < 70; ++pad) {
    const std::string fill(pad, 'x');
    const std::string html = fill + "<a b='" + fill + "' c=" + fill + ">" + fill;
    const std::string expected = (pad ? "T'" + fill + "'\n" : std::string()) + "Ea b=[" + fill + "] c=[" +
                                 fill + "]" + (pad ? " #1\nT'" + fill + "' ^" + (pad ? "1" : "0") : "");
    EXPECT_EQ(render(html, tokenize(html)), expected) << pad;
  }
}

TEST(AsmTokenizer, FullArraysReportTheirCode) {
  struct Full {
    const char* html;
    std::size_t tokens, attributes, stack;
    std::uint32_t code;
  };
  const Full cases[] = {
      {"<i></i><i></i><i></i>", 2, 8, 8, kTokenArrayFull},
      {"a<b>c", 2, 8, 8, kTokenArrayFull},
      {"<a x y z>", 8, 2, 8, kAttributeArrayFull},
      {"<a><b><c>", 8, 8, 2, kOpenStackFull},
      {"<a><b><c>", 8, 8, 3, kTokenizeFinished},
      {"x", 0, 0, 0, kTokenArrayFull},
      {"<br><br><br>", 3, 0, 0, kTokenizeFinished},
  };
  for (const Full& c : cases) {
    // Guard entries past each capacity must stay untouched.
    std::vector<AsmToken> tokens(c.tokens + 1);
    std::vector<AsmAttribute> attributes(c.attributes + 1);
    std::vector<std::uint32_t> stack(c.stack + 1, 0xABCDu);
    std::vector<ScopeEntry> scopes(c.stack + 1, ScopeEntry{0xABCDu, 0, TagId::Unknown});
    tokens.back().kind = 0xABCDu;
    attributes.back().kind = 0xABCDu;
    TokenBuffers b{tokens.data(), c.tokens, 0, attributes.data(), c.attributes, 0,
                   stack.data(),  c.stack,  0, 0,                 scopes.data(), c.stack};
    EXPECT_EQ(tokenize_html(c.html, std::strlen(c.html), b), c.code) << c.html;
    EXPECT_LE(b.token_count, c.tokens);
    EXPECT_LE(b.attribute_count, c.attributes);
    EXPECT_LE(b.stack_depth, c.stack);
    EXPECT_EQ(tokens.back().kind, 0xABCDu);
    EXPECT_EQ(attributes.back().kind, 0xABCDu);
    EXPECT_EQ(stack.back(), 0xABCDu);
    EXPECT_EQ(scopes.back().depth, 0xABCDu);
  }
}

TEST(AsmTokenizer, VoidNamesAndCaseFolding) {
  for (const char* name : {"br", "hr", "col", "img", "wbr", "area", "base", "link", "meta", "embed", "input",
                           "param", "track", "source", "keygen", "command", "BR", "Img", "COMMAND"}) {
    EXPECT_TRUE(is_void_element(name)) << name;
  }
  for (const char* name : {"b", "brr", "br/", "commands", "", "div", "inputs", "BRR"}) {
    EXPECT_FALSE(is_void_element(name)) << name;
  }
  EXPECT_TRUE(eq_ascii_ci("DocType", "doctype"));
  EXPECT_TRUE(eq_ascii_ci("doctype", "doctype"));
  EXPECT_FALSE(eq_ascii_ci("doctypes", "doctype"));
  EXPECT_FALSE(eq_ascii_ci("doctyp\xC5", "doctype"));
  EXPECT_TRUE(fits_u32(0xFFFFFFFFull));
  EXPECT_FALSE(fits_u32(0x100000000ull));
}

TEST(AsmTokenizer, DeepNestingUsesTheStackArrayOnly) {
  const std::size_t depth = 100000;
  std::string html;
  for (std::size_t i = 0; i < depth; ++i) html += "<b>";
  const Tokenized t = tokenize(html, depth, 0, depth);
  ASSERT_EQ(t.code, kTokenizeFinished);
  EXPECT_EQ(t.depth, depth);
  EXPECT_EQ(t.tokens.back().parent, depth - 2);
}

}  // namespace
}  // namespace tidewell::asm_tl
