#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "converter/walk/boilerplate.hpp"
#include "html_parser/parser.hpp"

namespace tidewell {
namespace {

PreprocessingOptions preset(PreprocessingPreset p, bool remove_navigation = true, bool remove_forms = true) {
  PreprocessingOptions o;
  o.preset = p;
  o.remove_navigation = remove_navigation;
  o.remove_forms = remove_forms;
  return o;
}

const PreprocessingOptions kStandard = preset(PreprocessingPreset::Standard);
const PreprocessingOptions kAggressive = preset(PreprocessingPreset::Aggressive);

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// Parses `html` and asks the filter about its first top-level element.
bool dropped(const std::string& html, const PreprocessingOptions& options) {
  auto parsed = copperfern_tl::parse_document(html);
  EXPECT_TRUE(parsed.ok()) << html;
  const TlDom& dom = parsed.dom();
  for (NodeHandle h : dom.top_level) {
    if (const TlNode::Tag* tag = dom.tag(h)) {
      return is_boilerplate_element(lower(dom.bytes(tag->name)), dom, *tag, options);
    }
  }
  ADD_FAILURE() << "no element in " << html;
  return false;
}

struct Case {
  const char* html;
  bool standard;    // dropped with the default options
  bool aggressive;  // dropped with the aggressive preset
};

TEST(BoilerplateFilter, DecisionTable) {
  const Case cases[] = {
      {"<nav>x</nav>", true, true},
      {"<nav class='content'>x</nav>", true, true},
      {"<form>x</form>", true, true},
      {"<noscript>x</noscript>", false, true},
      {"<header>x</header>", false, false},
      {"<header class='site-header'>x</header>", true, true},
      {"<footer>x</footer>", false, true},
      {"<aside>x</aside>", false, true},
      {"<footer id='site-footer'>x</footer>", true, true},
      {"<aside class='sidebar'>x</aside>", true, true},
      {"<div class='nav'>x</div>", false, true},
      {"<div id='cookie'>x</div>", false, true},
      {"<div class='cookie banner'>x</div>", false, true},
      {"<div class='cookie-banner'>x</div>", false, false},
      {"<div>x</div>", false, false},
      {"<p class='content'>x</p>", false, false},
      {"<body class='page sidebar'>x</body>", false, true},
      {"<html class='sidebar'><body>x</body></html>", false, true},
      // Normalisation of tokens.
      {"<header class='Site_Nav'>x</header>", true, true},
      {"<header id='TOC'>x</header>", true, true},
      {"<header class='nav.main'>x</header>", false, false},
      {"<header class='navigation-menu'>x</header>", false, false},
      {"<header class='a/b site:nav'>x</header>", true, true},
      {"<header class='\tfoo\n  menubar '>x</header>", true, true},
      // Role tokens.
      {"<header role='navigation banner'>x</header>", true, true},
      {"<header role='Toolbar'>x</header>", true, true},
      {"<header role='main'>x</header>", false, false},
      {"<div role='tablist'>x</div>", false, true},
      // aria-label fragments: substrings of the lower-cased label.
      {"<header aria-label='Main Menu'>x</header>", true, true},
      {"<header aria-label='Protocol details'>x</header>", true, true},
      {"<header aria-label='Table Of Contents'>x</header>", true, true},
      {"<header aria-label='Site search'>x</header>", false, false},
      {"<header aria-label>x</header>", false, false},
      // Empty or valueless class and id have no tokens.
      {"<header class>x</header>", false, false},
      {"<header class=''>x</header>", false, false},
      {"<div id>x</div>", false, false},
      // Attribute names are matched exactly as written.
      {"<header CLASS='nav'>x</header>", false, false},
      {"<header ROLE='navigation'>x</header>", false, false},
      {"<header ID='toc'>x</header>", false, false},
      // Tag names arrive lower-cased.
      {"<NAV>x</NAV>", true, true},
      {"<Form>x</Form>", true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(dropped(c.html, kStandard), c.standard) << "standard: " << c.html;
    EXPECT_EQ(dropped(c.html, kAggressive), c.aggressive) << "aggressive: " << c.html;
  }
}

TEST(BoilerplateFilter, DisabledOrMinimalDropsNothing) {
  PreprocessingOptions off;
  off.enabled = false;
  PreprocessingOptions aggressive_off = kAggressive;
  aggressive_off.enabled = false;
  const PreprocessingOptions minimal = preset(PreprocessingPreset::Minimal);
  for (const char* html : {"<nav>x</nav>", "<form>x</form>", "<noscript>x</noscript>",
                           "<footer class='nav'>x</footer>", "<div class='cookie'>x</div>"}) {
    EXPECT_FALSE(dropped(html, off)) << html;
    EXPECT_FALSE(dropped(html, aggressive_off)) << html;
    EXPECT_FALSE(dropped(html, minimal)) << html;
  }
}

TEST(BoilerplateFilter, FormsFollowRemoveForms) {
  const auto keep_forms = preset(PreprocessingPreset::Standard, true, false);
  const auto keep_forms_aggressive = preset(PreprocessingPreset::Aggressive, true, false);
  EXPECT_FALSE(dropped("<form>x</form>", keep_forms));
  EXPECT_FALSE(dropped("<form class='nav'>x</form>", keep_forms));
  EXPECT_FALSE(dropped("<form>x</form>", keep_forms_aggressive));
  EXPECT_TRUE(dropped("<form class='nav'>x</form>", keep_forms_aggressive));
  EXPECT_TRUE(dropped("<form id='newsletter_signup'>x</form>", keep_forms_aggressive));
  // Forms are dropped before remove_navigation is looked at.
  EXPECT_TRUE(dropped("<form>x</form>", preset(PreprocessingPreset::Standard, false, true)));
}

TEST(BoilerplateFilter, NavigationOffKeepsNavigationAndCookies) {
  const auto standard = preset(PreprocessingPreset::Standard, false, true);
  const auto aggressive = preset(PreprocessingPreset::Aggressive, false, true);
  for (const auto* options : {&standard, &aggressive}) {
    EXPECT_FALSE(dropped("<nav>x</nav>", *options));
    EXPECT_FALSE(dropped("<header class='site-header'>x</header>", *options));
    EXPECT_FALSE(dropped("<footer>x</footer>", *options));
    EXPECT_FALSE(dropped("<div class='cookie'>x</div>", *options));
    EXPECT_TRUE(dropped("<form>x</form>", *options));
  }
  EXPECT_FALSE(dropped("<noscript>x</noscript>", standard));
  EXPECT_TRUE(dropped("<noscript>x</noscript>", aggressive));
}

TEST(BoilerplateFilter, AttributeHasToken) {
  const std::string html =
      "<div id='Main_Menu' class='x  SOCIAL/SHARE\xC2\xA0y' role='menubar' data-k='a b' "
      "title='\xFF toc'>x</div>";
  auto parsed = copperfern_tl::parse_document(html);
  ASSERT_TRUE(parsed.ok());
  const TlDom& dom = parsed.dom();
  const TlNode::Tag& tag = *dom.tag(dom.top_level[0]);
  EXPECT_FALSE(attribute_has_token(dom, tag, "id", kNavigationClassIdWords));  // main-menu is no word
  EXPECT_TRUE(attribute_has_token(dom, tag, "class", kCookieAdvertisingWords));  // social-share, split at U+00A0
  EXPECT_TRUE(attribute_has_token(dom, tag, "role", kNavigationRoles));
  EXPECT_FALSE(attribute_has_token(dom, tag, "ROLE", kNavigationRoles));
  EXPECT_FALSE(attribute_has_token(dom, tag, "missing", kNavigationRoles));
  EXPECT_TRUE(attribute_has_token(dom, tag, "title", kNavigationClassIdWords));  // "toc" after an invalid byte
  const std::string_view words[] = {"main-menu"};
  EXPECT_TRUE(attribute_has_token(dom, tag, "id", words));
  const std::string_view ab[] = {"a"};
  EXPECT_TRUE(attribute_has_token(dom, tag, "data-k", ab));
}

TEST(BoilerplateFilter, HugeAttributesAreScannedOnce) {
  // Long values with no match, and a match at the very end.
  std::string cls(4'000'000, 'a');
  for (std::size_t i = 0; i < cls.size(); i += 7) cls[i] = ' ';
  std::string label(4'000'000, 'M');
  const std::string miss = "<header class='" + cls + "' aria-label='" + label + "'>x</header>";
  EXPECT_FALSE(dropped(miss, kAggressive));
  const std::string hit = "<header class='" + cls + " breadcrumbs'>x</header>";
  EXPECT_TRUE(dropped(hit, kStandard));
  const std::string label_hit = "<header aria-label='" + label + "toC'>x</header>";
  EXPECT_TRUE(dropped(label_hit, kStandard));
}

}  // namespace
}  // namespace tidewell
