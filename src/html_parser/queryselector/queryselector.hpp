// CSS selectors for `exclude_selectors`: parse a selector text
// (selector.hpp) and test nodes of a parsed document against it, one node at
// a time and without looking at its ancestors.
#pragma once

#include "html_parser/dom.hpp"
#include "html_parser/queryselector/selector.hpp"

namespace tidewell::queryselector {

// True when the node (element, text or comment) matches the selector.
bool node_matches_selector(const Selector& selector, const TlDom& dom,
                           NodeHandle node);

}  // namespace tidewell::queryselector
