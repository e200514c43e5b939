// Boilerplate filter: decides from an element's tag name and its role,
// aria-label, class and id attributes whether the converters drop the
// element with its whole subtree (navigation, site chrome, forms, cookie
// notices, advertising), driven by the `preprocessing` options.
#pragma once

#include <array>
#include <span>
#include <string_view>

#include "common/tags.hpp"
#include "html_parser/dom.hpp"
#include "options/options.hpp"

namespace tidewell {

// Tokens of `role` that make an element navigation-like.
inline constexpr std::array<std::string_view, 4> kNavigationRoles = {"navigation", "menubar", "tablist", "toolbar"};

// Substrings of the lower-cased `aria-label` that make an element navigation-like.
inline constexpr std::array<std::string_view, 5> kNavigationLabelFragments = {
    "navigation", "menu", "contents", "table of contents", "toc"};

// Tokens of `class` and `id` that make an element navigation-like.
inline constexpr std::array<std::string_view, 30> kNavigationClassIdWords = {
    "nav",        "navigation", "navbar",      "breadcrumbs", "breadcrumb",    "toc",
    "sidebar",    "sidenav",    "menu",        "menubar",     "mainmenu",      "subnav",
    "tabs",       "tablist",    "toolbar",     "pager",       "pagination",    "skipnav",
    "skip-link",  "skiplinks",  "site-nav",    "site-menu",   "site-header",   "site-footer",
    "topbar",     "bottombar",  "masthead",    "vector-nav",  "vector-header", "vector-footer"};

// Tokens of `class` and `id` that mark cookie notices and advertising.
inline constexpr std::array<std::string_view, 12> kCookieAdvertisingWords = {
    "cookie", "consent",     "gdpr",          "banner",        "advertisement", "ad-container",
    "advert", "social-share", "share-buttons", "popup",        "modal-overlay", "newsletter-signup"};

// True when the element is to be dropped with its subtree.
//
// `tag` is the element's tag id (or its name with ASCII letters lower-cased); `element` is the element itself, read
// through `dom` for its attributes. `wraps_page` says that a form holds the
// page's content (see fill_page_forms): `remove_forms` then leaves it in
// place. Looks at nothing else: not the content, not the ancestors. No side
// effects.
bool is_boilerplate_element(TagId tag, const TlDom& dom, const TlNode::Tag& element,
                            const PreprocessingOptions& options, bool wraps_page = false);
inline bool is_boilerplate_element(std::string_view tag_name, const TlDom& dom, const TlNode::Tag& element,
                                   const PreprocessingOptions& options) {
  return is_boilerplate_element(tag_id(tag_name), dom, element, options);
}

// True when one token of the attribute's value equals one of `words`.
//
// The value is split at runs of Unicode White_Space; in each token ".",
// "/", ":" and "_" become "-" and ASCII letters are lower-cased. "class" and
// "id" are read from the element's own class and id slots; any other name is
// looked up by exact name in the attribute map. An absent attribute, or one
// without a value, gives false.
bool attribute_has_token(const TlDom& dom, const TlNode::Tag& element, std::string_view attribute_name,
                         std::span<const std::string_view> words);

}  // namespace tidewell
