// copperfern-tl: the default backend. One forward pass over the bytes that
// tokenizes and builds the tree at once; a text run, a comment or a start
// tag becomes a node as soon as it is complete.
#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <vector>

#include "common/scan.hpp"
#include "html_parser/end_tag_scope.hpp"
#include "html_parser/parser.hpp"
#include "html_parser/raw_text.hpp"

namespace tidewell::copperfern_tl {
namespace {

// "+", "-", "/", "0"-"9", ":", "A"-"Z", "_", "a"-"z".
constexpr std::array<bool, 256> make_identifier_table() {
  std::array<bool, 256> t{};
  for (int c = '0'; c <= '9'; ++c) t[c] = true;
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = true;
  for (int c = 'a'; c <= 'z'; ++c) t[c] = true;
  t['+'] = t['-'] = t['/'] = t[':'] = t['_'] = true;
  return t;
}
constexpr std::array<bool, 256> kIdentifier = make_identifier_table();

inline bool is_identifier_byte(unsigned char c) { return kIdentifier[c]; }
inline bool is_tag_space(unsigned char c) { return c == ' ' || c == '\n'; }

bool eq_ignore_ascii_case(const char* p, std::size_t len, std::string_view lower) {
  if (len != lower.size()) return false;
  for (std::size_t i = 0; i < len; ++i) {
    unsigned char c = static_cast<unsigned char>(p[i]);
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
    if (c != static_cast<unsigned char>(lower[i])) return false;
  }
  return true;
}

class Parser {
 public:
  explicit Parser(TlDom& dom)
      : dom_(dom), s_(dom.input.data()), n_(dom.input.size()), p_(dom.pos) {}

  void run() {
    while (p_ < n_) {
      if (s_[p_] != '<') {
        text_run();
        continue;
      }
      const std::size_t lt = p_;
      ++p_;
      skip_space();
      if (p_ >= n_) break;  // a final "<" (and white space) is dropped
      const char c = s_[p_];
      if (c == '/') {
        end_tag(lt);
      } else if (c == '!') {
        markup_declaration(lt);
      } else if (c == '?') {
        bogus_comment(lt);  // a processing instruction is a comment to an HTML reader
      } else {
        start_tag();
      }
    }
    dom_.pos = p_;
  }

 private:
  // Where the white space (or the identifier) at i ends.
  std::size_t space_end(std::size_t i) const {
    while (i < n_ && is_tag_space(static_cast<unsigned char>(s_[i]))) ++i;
    return i;
  }
  std::size_t identifier_end(std::size_t i) const {
    while (i < n_ && is_identifier_byte(static_cast<unsigned char>(s_[i]))) ++i;
    return i;
  }

  void skip_space() { p_ = space_end(p_); }

  // The identifier at p, advancing past it; nullopt when the run is empty.
  std::optional<ByteSpan> read_identifier() {
    const std::size_t end = identifier_end(p_);
    if (end == p_) return std::nullopt;
    const ByteSpan span{static_cast<std::uint32_t>(p_), static_cast<std::uint32_t>(end - p_)};
    p_ = end;
    return span;
  }

  std::size_t find_byte(char c, std::size_t from) const {
    const void* hit = std::memchr(s_ + from, c, n_ - from);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - s_) : n_;
  }

  void register_node(NodeHandle h) {
    if (dom_.open_stack.empty()) {
      dom_.top_level.push_back(h);
    } else {
      dom_.nodes[dom_.open_stack.back()].as_tag()->children.push_back(h);
    }
  }

  // A text or a comment, built in its place in the arena.
  template <typename Leaf>
  void add_leaf(Leaf leaf) {
    make_room();
    std::vector<TlNode>& nodes = dom_.nodes;
    nodes.emplace_back(leaf);
    register_node(static_cast<NodeHandle>(nodes.size() - 1));
  }

  // When the first guess of the node count falls short, room for every
  // node the rest of the input can give, so that the arena is copied at
  // most once: each text run ends at a "<" or at the end, each element or
  // comment starts at a "<", and as texts never follow each other and
  // markup takes three bytes or more, there are at most half as many nodes
  // as bytes, and one. Pages never written stay virtual. The room is only
  // an optimisation: if it cannot be had, the arena grows as it needs.
  void make_room() {
    const std::vector<TlNode>& nodes = dom_.nodes;
    if (nodes.size() == nodes.capacity() && !counted_rest_) [[unlikely]] count_rest();
  }
  [[gnu::noinline]] void count_rest() {
    counted_rest_ = true;
    const auto lt = static_cast<std::size_t>(std::count(s_ + p_, s_ + n_, '<'));
    const std::size_t rest = std::min(2 * lt + 1, (n_ - p_) / 2 + 1);
    try {
      // One more for the node being added, whose markup may lie before p.
      dom_.nodes.reserve(dom_.nodes.size() + 1 + rest);
    } catch (const std::bad_alloc&) {
    }
  }

  void text_run() {
    const std::size_t end = find_byte('<', p_);
    add_leaf(TlNode::Raw{ByteSpan{static_cast<std::uint32_t>(p_), static_cast<std::uint32_t>(end - p_)}});
    p_ = end;
  }

  void end_tag(std::size_t lt) {
    // p is at "/": the name is everything up to the next ">", unchanged.
    const std::size_t name_start = p_ + 1;
    // "</" and a byte that cannot start a name: a comment ("</>" is nothing).
    if (name_start < n_ && !scan::is_letter(static_cast<unsigned char>(s_[name_start])) && s_[name_start] != '>') {
      bogus_comment(lt);
      return;
    }
    const std::size_t gt = name_start <= n_ ? find_byte('>', name_start) : n_;
    const std::size_t name_len = gt - name_start;
    p_ = gt < n_ ? gt + 1 : n_;
    const std::vector<NodeHandle>& stack = dom_.open_stack;
    if (stack.empty()) return;
    const std::string_view name(s_ + name_start, name_len);
    // The top element, or one open further down that this end tag closes
    // with all above it.
    const auto same = [&](std::uint32_t depth) { return names_equal(stack[depth], name); };
    const auto top = static_cast<std::uint32_t>(stack.size() - 1);
    if (const auto depth = scopes_.closed_by(scope_entries_.data(), top, name, same)) close_to(*depth);
  }

  bool names_equal(NodeHandle element, std::string_view name) const {
    const ByteSpan nm = dom_.nodes[element].as_tag()->name;
    return tag_name::same(std::string_view(s_ + nm.start, nm.len), name);
  }

  // Pops the open elements from stack position `depth` on.
  void close_to(std::size_t depth) {
    dom_.open_stack.resize(depth);
    scopes_.closed_to(scope_entries_.data(), static_cast<std::uint32_t>(depth));
  }

  void open(NodeHandle h, TagId id) {
    const auto depth = static_cast<std::uint32_t>(dom_.open_stack.size());
    dom_.open_stack.push_back(h);
    if (id == TagId::Unknown) return;
    if (scope_entries_.size() == scopes_.count()) scope_entries_.emplace_back();
    scopes_.opened(scope_entries_.data(), id, depth);
  }

  // Reads one attribute at `p` into `tag`, moving p past it; a byte that
  // cannot start a name is stepped over. The tag's bytes are read with a
  // local position, which stays in a register.
  void parse_attribute(TlNode::Tag& tag, std::size_t& p) {
    const std::size_t name_end = identifier_end(p);
    if (name_end == p) {
      ++p;
      return;
    }
    const ByteSpan name{static_cast<std::uint32_t>(p), static_cast<std::uint32_t>(name_end - p)};
    p = space_end(name_end);
    std::optional<ByteSpan> value;
    if (p < n_ && s_[p] == '=') {
      p = space_end(p + 1);
      if (p >= n_) {
        value = ByteSpan{static_cast<std::uint32_t>(n_), 0};
      } else if (s_[p] == '"' || s_[p] == '\'') {
        const std::size_t start = p + 1;
        const std::size_t close = find_byte(s_[p], start);
        value = ByteSpan{static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(close - start)};
        p = close;
      } else {
        const std::size_t start = p;
        // Unquoted: up to a space, line feed or ">"; "/" and tabs belong to it.
        while (p < n_) {
          const char c = s_[p];
          if (c == ' ' || c == '\n' || c == '>') break;
          ++p;
        }
        value = ByteSpan{static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(p - start)};
      }
    }
    dom_.store_attribute(tag, name, value);
    if (value && p < n_ && s_[p] != '/' && s_[p] != '>') ++p;
  }

  void start_tag() {
    auto name = read_identifier();
    if (!name) return;  // "<" and white space dropped; what follows is text
    // The element is built in its place at the end of the arena, and taken
    // back when its tag never ends.
    make_room();
    std::vector<TlNode>& nodes = dom_.nodes;
    TlNode::Tag& tag = *nodes.emplace_back(TlNode::Tag{}).as_tag();
    tag.name = *name;
    dom_.begin_attributes(tag);
    std::size_t p = p_;
    for (;;) {
      p = space_end(p);
      if (p >= n_) return drop(tag, p);
      const char c = s_[p];
      if (c == '/' || c == '>') break;
      parse_attribute(tag, p);
      if (p >= n_) return drop(tag, p);
    }
    bool self_closing = false;
    if (s_[p] == '/') {
      ++p;
      self_closing = true;
    }
    // "/" not followed by ">": the element is dropped, parsing goes on
    // right after the "/".
    if (p >= n_ || s_[p] != '>') return drop(tag, p);
    p_ = p + 1;
    dom_.seal_attributes(tag);
    const auto h = static_cast<NodeHandle>(nodes.size() - 1);
    register_node(h);
    if (self_closing) return;
    // Void names in any case: an upper-case <BR> or <IMG> must not stay
    // open and swallow the rest of its parent as content that no handler
    // shows.
    const OpenScopes::StartTag kind = OpenScopes::start_tag(FoldedName(std::string_view(s_ + name->start, name->len)));
    if ((kind.start & end_tag_scope::kVoid) != 0) return;
    open(h, kind.tracked);
    const std::string_view raw = raw_text_element(kind);
    if (!raw.empty()) raw_text(raw);
  }

  // Takes back the element being built, the last in the arena; parsing
  // goes on at p.
  void drop(TlNode::Tag& tag, std::size_t p) {
    dom_.drop_attributes(tag);
    dom_.nodes.pop_back();
    p_ = p;
  }

  // The content of an open script or style element: one text node up to
  // its end tag, which closes the element.
  void raw_text(std::string_view name) {
    std::size_t tag_end = 0;
    const std::size_t end = find_raw_text_end(std::string_view(s_, n_), p_, name, tag_end);
    if (end > p_) {
      add_leaf(TlNode::Raw{ByteSpan{static_cast<std::uint32_t>(p_), static_cast<std::uint32_t>(end - p_)}});
    }
    p_ = tag_end;
    if (end < n_) close_to(dom_.open_stack.size() - 1);
  }

  void comment(std::size_t lt) {
    // p is at "!", followed by "--". Scan from the first "-".
    std::size_t i = p_ + 1;
    std::size_t end = 0;
    bool closed = false;
    while (i < n_) {
      if (s_[i] != '-') {
        i = find_byte('-', i);
        continue;
      }
      if (i + 1 < n_ && s_[i + 1] == '-') {
        if (i + 2 < n_ && s_[i + 2] == '>') {
          end = i + 3;
          closed = true;
          break;
        }
        i += 3;
      } else {
        i += 1;
      }
    }
    add_comment(lt, closed ? end : n_, closed);
  }

  // The comment from lt up to `end`, where parsing goes on; an unterminated
  // one runs to the end of the input and its span is empty.
  void add_comment(std::size_t lt, std::size_t end, bool closed) {
    const auto len = closed ? static_cast<std::uint32_t>(end - lt) : 0u;
    add_leaf(TlNode::Comment{ByteSpan{static_cast<std::uint32_t>(lt), len}});
    p_ = end;
  }

  // A comment up to the next ">" (CDATA sections and other declarations, a
  // processing instruction, "</" before a non-letter), as an HTML reader
  // takes it; without a ">" it holds the rest of the input, as an
  // unterminated comment does.
  void bogus_comment(std::size_t lt) {
    const std::size_t gt = find_byte('>', p_);
    add_comment(lt, gt < n_ ? gt + 1 : n_, gt < n_);
  }

  void markup_declaration(std::size_t lt) {
    if (p_ + 2 < n_ && s_[p_ + 1] == '-' && s_[p_ + 2] == '-') {
      comment(lt);
      return;
    }
    const std::size_t bang = p_;
    ++p_;
    auto word = read_identifier();
    if (!word || !eq_ignore_ascii_case(s_ + word->start, word->len, "doctype")) {
      p_ = bang;
      bogus_comment(lt);
      return;
    }
    skip_space();
    auto second = read_identifier();
    if (!second) return;
    skip_space();
    // Exactly one more byte is consumed, whatever it is.
    if (p_ < n_) ++p_;
  }

  TlDom& dom_;
  const char* s_;
  std::size_t n_;
  std::size_t p_;
  bool counted_rest_ = false;
  OpenScopes scopes_;
  std::vector<ScopeEntry> scope_entries_;
};

}  // namespace

bool is_void_start_tag(std::string_view name) {
  return (OpenScopes::start_tag(FoldedName(name)).start & end_tag_scope::kVoid) != 0;
}

std::optional<ParseError> parse_nodes(TlDom& dom) {
  if (dom.input.size() >= (std::size_t{1} << 32)) return ParseError::InputTooLarge;
  dom.attribute_inline_capacity = 8;
  if (dom.nodes.empty()) dom.nodes.reserve(dom.input.size() / 48 + 16);
  Parser(dom).run();
  return std::nullopt;
}

}  // namespace tidewell::copperfern_tl
