// The document an HTML5 parse builds: nodes in one arena addressed by index,
// linked to parent and siblings, with texts and names as views into the
// parsed input or into the document's own string store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/tags.hpp"

namespace tidewell::html5 {

enum class Ns : std::uint8_t { Html, Svg, MathMl };

using NodeId = std::uint32_t;
inline constexpr NodeId kNoNode = 0xFFFFFFFFu;

// A template's contents is a node of kind Document that is nobody's child.
enum class NodeKind : std::uint8_t { Document, Doctype, Text, Comment, Element };

enum class AttrNs : std::uint8_t { None, XLink, Xml, Xmlns };

struct Attribute {
  std::string_view name;  // local name (lower case, or adjusted for foreign content)
  std::string_view value;
  AttrNs ns = AttrNs::None;
};

enum class QuirksMode : std::uint8_t { NoQuirks, LimitedQuirks, Quirks };

struct Node {
  NodeKind kind = NodeKind::Document;
  Ns ns = Ns::Html;
  TagId tag = TagId::Unknown;  // of the lower-case name, in any namespace
  bool html_integration_point = false;
  NodeId parent = kNoNode;
  NodeId first_child = kNoNode;
  NodeId last_child = kNoNode;
  NodeId prev_sibling = kNoNode;
  NodeId next_sibling = kNoNode;
  // What only one kind of node has (placed before the name, so that the
  // node packs into 48 bytes).
  struct ElementRecords {
    std::uint32_t attr_first, attr_count;
  };
  struct TextPieces {
    std::uint32_t seg_first, seg_last;
  };
  union {
    ElementRecords element;
    TextPieces text;
    std::uint32_t doctype;
  } of{ElementRecords{0, 0}};
  // Element: local name (camel case where SVG adjusts it). Doctype: name.
  // Comment: data.
  std::string_view name;
};

struct DoctypeInfo {
  std::string_view public_id, system_id;
  bool has_public = false, has_system = false;
};

// The node arena: fixed-size chunks that never move, so that growing it
// neither copies the nodes nor holds two arrays at once, and its size
// follows the node count closely.
class NodeArena {
 public:
  Node& operator[](NodeId id) { return chunks_[id >> kShift][id & kMask]; }
  const Node& operator[](NodeId id) const { return chunks_[id >> kShift][id & kMask]; }
  std::size_t size() const { return size_; }
  NodeId push() {
    if ((size_ & kMask) == 0) chunks_.push_back(std::make_unique<Node[]>(kMask + 1));
    return static_cast<NodeId>(size_++);
  }

 private:
  static constexpr unsigned kShift = 12;
  static constexpr std::size_t kMask = (std::size_t{1} << kShift) - 1;
  std::vector<std::unique_ptr<Node[]>> chunks_;
  std::size_t size_ = 0;
};

class Document {
 public:
  // Views into `input` are kept as they are; every other string handed to
  // the document is copied into its store. `input` must outlive the document.
  explicit Document(std::string_view input = {});
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;
  Document(Document&&) = default;
  Document& operator=(Document&&) = default;

  // Makes the document hold its input itself (views then point into this copy).
  // Only before anything is stored.
  void own_input(std::string text) {
    owned_input_ = std::make_unique<std::string>(std::move(text));
    input_ = *owned_input_;
  }
  std::string_view input() const { return input_; }

  static constexpr NodeId root() { return 0; }
  const Node& node(NodeId id) const { return nodes_[id]; }
  std::size_t size() const { return nodes_.size(); }
  QuirksMode quirks_mode() const { return quirks_; }
  void set_quirks_mode(QuirksMode mode) { quirks_ = mode; }

  std::span<const Attribute> attributes(NodeId element) const {
    const Node& n = nodes_[element];
    return {attrs_.data() + n.of.element.attr_first, n.of.element.attr_count};
  }
  const DoctypeInfo& doctype(NodeId id) const { return doctypes_[nodes_[id].of.doctype]; }
  // The content fragment of an HTML template element, made right after the
  // element (so its id is the next one); kNoNode for any other node.
  NodeId template_contents(NodeId id) const {
    const Node& n = nodes_[id];
    return n.kind == NodeKind::Element && n.ns == Ns::Html && n.tag == TagId::Template ? id + 1 : kNoNode;
  }

  // Calls f(std::string_view) for each stored piece of a text node, in order.
  template <class F>
  void for_each_text_piece(NodeId text, F&& f) const {
    for (std::uint32_t s = nodes_[text].of.text.seg_first; s != kNoSegment; s = segments_[s].next) {
      f(std::string_view(segments_[s].data, segments_[s].len));
    }
  }
  std::string text(NodeId text) const;

  // Creation; the new node has no parent.
  NodeId create_element(Ns ns, TagId tag, std::string_view name, std::span<const Attribute> attrs,
                        bool html_integration_point = false);
  // A copy of an element's name and attributes (sharing the attribute records).
  NodeId clone_element(NodeId element);
  NodeId create_comment(std::string_view data);
  NodeId create_doctype(std::string_view name, const DoctypeInfo& ids);
  NodeId create_document_fragment();

  // Tree edits. `before` == kNoNode appends.
  void insert(NodeId parent, NodeId child, NodeId before = kNoNode);
  void detach(NodeId child);
  // Text merges into the text node directly before the insertion point.
  void insert_text(NodeId parent, std::string_view text, NodeId before = kNoNode);
  // Moves every child of `from` to the end of `to`.
  void reparent_children(NodeId from, NodeId to);
  void add_attribute(NodeId element, const Attribute& attr);

  // A view that lives as long as the document.
  std::string_view keep(std::string_view s);

 private:
  static constexpr std::uint32_t kNoSegment = 0xFFFFFFFFu;
  struct Segment {
    const char* data;
    std::size_t len;
    std::uint32_t next;
  };
  NodeId new_node(NodeKind kind);
  bool in_input(std::string_view s) const {
    return !s.empty() && s.data() >= input_.data() && s.data() + s.size() <= input_.data() + input_.size();
  }
  std::uint32_t new_segment(std::string_view s);
  void append_piece(NodeId text, std::string_view s);

  std::string_view input_;
  std::unique_ptr<std::string> owned_input_;
  NodeArena nodes_;
  std::vector<Attribute> attrs_;
  // Room of the elements whose records add_attribute moved to the end of
  // attrs_ with space to grow (few: the html and body elements).
  std::vector<std::pair<NodeId, std::uint32_t>> attr_room_;
  std::vector<Segment> segments_;
  std::vector<DoctypeInfo> doctypes_;
  // The string store: blocks that never move.
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* top_ = nullptr;
  std::size_t room_ = 0;
  QuirksMode quirks_ = QuirksMode::NoQuirks;
};

}  // namespace tidewell::html5
