// The DOM walk: one `Walk` object holds what stays fixed for a whole walk
// (the document, its caches, the options, the policy, the handler table and
// the output), and every handler receives it together with the per-node part
// (node, context, depth).
//
// A handler appends to `w.out()`, decides its spacing from `w.end()` (see
// output.hpp), and converts its children through `w.children(...)` or
// `w.node(...)`, or into a private buffer through `w.into(buffer)`.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "common/tags.hpp"
#include "converter/dom/dom_context.hpp"
#include "converter/walk/context.hpp"
#include "converter/walk/output.hpp"
#include "converter/walk/policy.hpp"
#include "html_parser/dom.hpp"
#include "options/options.hpp"

namespace tidewell {

class Walk;

// Converts one element of a handler family; never fails.
using ElementHandler = void (*)(const Walk& w, NodeHandle node, const ConversionContext& context,
                                std::size_t depth);

// The handler of every family (HandlerFamily in common/tags.hpp) and of
// preserved elements. The DOM road's table is in
// converter/document/handler_table.cpp.
struct HandlerTable {
  std::array<ElementHandler, kHandlerFamilyCount> by_family{};
  ElementHandler preserved = nullptr;

  constexpr ElementHandler& operator[](HandlerFamily family) { return by_family[static_cast<std::size_t>(family)]; }
  constexpr ElementHandler operator[](HandlerFamily family) const {
    return by_family[static_cast<std::size_t>(family)];
  }
};

// Nesting at which the walk stops recursing through the handlers and writes
// the rest of the subtree as plain text with an explicit stack. Ordinary
// pages stay far below it; it keeps the C stack small on any input. It holds
// for the walk depth and for the number of nested `node` calls alike, since
// some handlers walk their children at their own depth.
inline constexpr std::size_t kWalkRecursionLimit = 256;

// An element's lower-cased name and tag id.
struct TagRef {
  std::string_view name;
  TagId id = TagId::Unknown;
};

class Walk {
 public:
  // Every argument must outlive the walk.
  Walk(const TlDom& dom, const DomContext& dom_context, const ConversionOptions& options, const WalkPolicy& policy,
       const HandlerTable& handlers, std::string& out)
      : dom_(&dom), dom_context_(&dom_context), options_(&options), policy_(&policy), handlers_(&handlers),
        out_(&out) {}

  const TlDom& dom() const { return *dom_; }
  const DomContext& dom_context() const { return *dom_context_; }
  const ConversionOptions& options() const { return *options_; }
  const WalkPolicy& policy() const { return *policy_; }
  std::string& out() const { return *out_; }
  // How the output ends (blank line, line start, list marker, ...).
  OutputEnd end() const { return end_of(*out_); }

  // The same walk writing into `buffer`.
  Walk into(std::string& buffer) const {
    Walk w = *this;
    w.out_ = &buffer;
    return w;
  }

  // The same walk reading `options` (which must outlive it) instead.
  Walk with_options(const ConversionOptions& options) const {
    Walk w = *this;
    w.options_ = &options;
    return w;
  }

  // Converts one node and its subtree; depth is 0 for top-level nodes and
  // the parent's depth + 1 below.
  void node(NodeHandle node, const ConversionContext& context, std::size_t depth) const;
  // Converts every child of the element at depth + 1; writes nothing itself.
  void children(NodeHandle element, const ConversionContext& context, std::size_t depth) const;

  // The element's lower-cased name and tag id (empty name and Unknown for a
  // node that is no element). The name stays valid for the walk.
  TagRef tag(NodeHandle node) const;

 private:
  const TlDom* dom_;
  const DomContext* dom_context_;
  const ConversionOptions* options_;
  const WalkPolicy* policy_;
  const HandlerTable* handlers_;
  std::string* out_;
  // Calls of `node` under way on this walk; a copy made by `into` carries
  // the count on.
  mutable std::size_t nesting_ = 0;
};

// --- handlers that belong to the walk itself --------------------------------

// Elements without a handler of their own (and, until they are built, the
// families whose handlers are not part of this build yet): the children are
// converted, and content that is only white space shrinks to one space.
void convert_unknown_element(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);
// Transparent containers: only the children.
void convert_transparent(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);
// Elements that write nothing.
void convert_nothing(const Walk& w, NodeHandle node, const ConversionContext& context, std::size_t depth);

}  // namespace tidewell
