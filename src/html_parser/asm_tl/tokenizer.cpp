#include "html_parser/asm_tl/tokenizer.hpp"

#include <cstring>

#include <emmintrin.h>

#include "common/scan.hpp"
#include "html_parser/raw_text.hpp"

namespace tidewell::asm_tl {

namespace {

using Byte = unsigned char;

// Identifier bytes: "+", "-", "/", "0"-"9", ":", "A"-"Z", "_", "a"-"z".
struct IdentifierTable {
  bool bytes[256] = {};
  constexpr IdentifierTable() {
    for (int c = '0'; c <= '9'; ++c) bytes[c] = true;
    for (int c = 'A'; c <= 'Z'; ++c) bytes[c] = true;
    for (int c = 'a'; c <= 'z'; ++c) bytes[c] = true;
    bytes[static_cast<int>('+')] = true;
    bytes[static_cast<int>('-')] = true;
    bytes[static_cast<int>('/')] = true;
    bytes[static_cast<int>(':')] = true;
    bytes[static_cast<int>('_')] = true;
  }
};
constexpr IdentifierTable kIdentifier{};

inline bool is_identifier_byte(Byte c) { return kIdentifier.bytes[c]; }
inline bool is_tag_space(Byte c) { return c == ' ' || c == '\n'; }

// The start tags asm_tl never leaves open: the void elements and "command".
constexpr std::uint8_t kVoidStart = end_tag_scope::kVoid | end_tag_scope::kVoidToAsmTl;

// ---------------------------------------------------------------------------
// Scan paths. Each returns the position of the first match in [p, end), or end.

struct ScalarScan {
  static const Byte* find_byte(const Byte* p, const Byte* end, Byte c) {
    while (p < end && *p != c) ++p;
    return p;
  }
  static const Byte* find_lt(const Byte* p, const Byte* end) { return find_byte(p, end, '<'); }
  static const Byte* find_quote(const Byte* p, const Byte* end, Byte q) { return find_byte(p, end, q); }
  static const Byte* find_gt(const Byte* p, const Byte* end) { return find_byte(p, end, '>'); }
  static const Byte* find_unquoted_end(const Byte* p, const Byte* end) {
    while (p < end && *p != ' ' && *p != '\n' && *p != '>') ++p;
    return p;
  }
  // Start of the first "-->" in [p, end), or end.
  static const Byte* find_comment_end(const Byte* p, const Byte* end) {
    while (end - p >= 3) {
      if (p[0] == '-' && p[1] == '-' && p[2] == '>') return p;
      ++p;
    }
    return end;
  }
};

inline const Byte* memchr_or_end(const Byte* p, const Byte* end, Byte c) {
  if (p >= end) return end;
  const void* hit = std::memchr(p, c, static_cast<std::size_t>(end - p));
  return hit ? static_cast<const Byte*>(hit) : end;
}

inline const Byte* memmem_comment_end(const Byte* p, const Byte* end) {
  if (end - p < 3) return end;
  const void* hit = ::memmem(p, static_cast<std::size_t>(end - p), "-->", 3);
  return hit ? static_cast<const Byte*>(hit) : end;
}

struct PortableScan {
  static const Byte* find_lt(const Byte* p, const Byte* end) { return memchr_or_end(p, end, '<'); }
  static const Byte* find_quote(const Byte* p, const Byte* end, Byte q) {
    return memchr_or_end(p, end, q);
  }
  static const Byte* find_gt(const Byte* p, const Byte* end) { return memchr_or_end(p, end, '>'); }
  static const Byte* find_unquoted_end(const Byte* p, const Byte* end) {
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i newline = _mm_set1_epi8('\n');
    const __m128i gt = _mm_set1_epi8('>');
    while (end - p >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(v, newline)),
                                       _mm_cmpeq_epi8(v, gt));
      const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
      if (mask != 0) return p + __builtin_ctz(mask);
      p += 16;
    }
    return ScalarScan::find_unquoted_end(p, end);
  }
  static const Byte* find_comment_end(const Byte* p, const Byte* end) { return memmem_comment_end(p, end); }
};

// ---------------------------------------------------------------------------
// The tokenizer proper, one instance per scan path.

template <class Scan>
class Tokenizer {
 public:
  Tokenizer(const Byte* input, std::size_t length, TokenBuffers& out)
      : begin_(input), end_(input + length), out_(out) {}

  std::uint32_t run() {
    out_.token_count = 0;
    out_.attribute_count = 0;
    out_.stack_depth = 0;
    const Byte* p = begin_;
    while (p < end_) {
      if (*p != '<') {
        const Byte* lt = Scan::find_lt(p + 1, end_);
        if (emit_token(kTokenText, p, lt) == kNoParent) return kTokenArrayFull;
        p = lt;
        continue;
      }
      if (end_ - p == 1) {
        if (emit_token(kTokenText, p, end_) == kNoParent) return kTokenArrayFull;
        return kTokenizeFinished;
      }
      const Byte next = p[1];
      if (next == '/') {
        // "</" and a byte that cannot start a name: a comment ("</>" is nothing).
        if (end_ - p > 2 && !scan::is_letter(p[2]) && p[2] != '>') {
          if (!bogus_comment(p)) return kTokenArrayFull;
          continue;
        }
        p = end_tag(p + 2);
        continue;
      }
      if (next == '?') {
        // A processing instruction is a comment to an HTML reader.
        if (!bogus_comment(p)) return kTokenArrayFull;
        continue;
      }
      if (next == '!') {
        if (end_ - p >= 4 && p[2] == '-' && p[3] == '-') {
          const Byte* close = Scan::find_comment_end(p + 4, end_);
          const Byte* stop = close == end_ ? end_ : close + 3;
          if (emit_token(kTokenComment, p, stop) == kNoParent) return kTokenArrayFull;
          p = stop;
          continue;
        }
        // A DOCTYPE leaves no token; any other declaration (a CDATA section
        // outside foreign content too) is a comment.
        const Byte* q = skip_spaces_newlines(p + 2);
        const Byte* word = q;
        q = read_identifier(q);
        if (!eq_ascii_ci(view(word, q), "doctype")) {
          if (!bogus_comment(p)) return kTokenArrayFull;
          continue;
        }
        q = skip_spaces_newlines(q);
        q = read_identifier(q);
        const Byte* gt = Scan::find_gt(q, end_);
        if (gt == end_) return kTokenizeFinished;
        p = gt + 1;
        continue;
      }
      const std::uint32_t code = start_tag(p);
      if (code != kTokenizeFinished) return code;
      if (stopped_) return kTokenizeFinished;
      p = resume_;
    }
    return kTokenizeFinished;
  }

 private:
  static std::string_view view(const Byte* a, const Byte* b) {
    return {reinterpret_cast<const char*>(a), static_cast<std::size_t>(b - a)};
  }
  std::uint32_t offset(const Byte* q) const { return static_cast<std::uint32_t>(q - begin_); }

  const Byte* skip_spaces_newlines(const Byte* q) const {
    while (q < end_ && is_tag_space(*q)) ++q;
    return q;
  }
  const Byte* read_identifier(const Byte* q) const {
    while (q < end_ && is_identifier_byte(*q)) ++q;
    return q;
  }

  // Appends a token linked to the innermost open element; returns its index,
  // or kNoParent when the token array is full.
  std::uint32_t emit_token(std::uint32_t kind, const Byte* start, const Byte* stop) {
    if (out_.token_count >= out_.token_capacity) return kNoParent;
    const auto index = static_cast<std::uint32_t>(out_.token_count++);
    AsmToken& t = out_.tokens[index];
    t.kind = kind;
    t.child_count = 0;
    if (out_.stack_depth > 0) {
      const std::uint32_t parent = out_.stack[out_.stack_depth - 1];
      t.parent = parent;
      ++out_.tokens[parent].child_count;
    } else {
      t.parent = kNoParent;
    }
    t.first_attribute = 0;
    t.attribute_count = 0;
    t.start = offset(start);
    t.length = static_cast<std::uint32_t>(stop - start);
    t.name_start = 0;
    t.name_length = 0;
    return index;
  }

  // The comment from the "<" at `p` through the next ">", or to the end of
  // the input; p moves past it. False when the token array is full.
  bool bogus_comment(const Byte*& p) {
    const Byte* gt = Scan::find_gt(p + 2, end_);
    const Byte* stop = gt == end_ ? end_ : gt + 1;
    if (emit_token(kTokenComment, p, stop) == kNoParent) return false;
    p = stop;
    return true;
  }

  // q is just past "</", at a letter, a ">" or the end. Pops the top element
  // when its name matches, or an element further down that the end tag
  // closes with all above it.
  const Byte* end_tag(const Byte* q) {
    const Byte* gt = Scan::find_gt(q, end_);
    if (out_.stack_depth > 0) {
      const std::string_view name = view(q, gt);
      const auto same = [&](std::uint32_t depth) { return names_equal(depth, name); };
      const auto top = static_cast<std::uint32_t>(out_.stack_depth - 1);
      if (const auto depth = scopes_.closed_by(out_.scopes, top, name, same)) close_to(*depth);
    }
    return gt == end_ ? end_ : gt + 1;
  }

  bool names_equal(std::size_t depth, std::string_view name) const {
    const AsmToken& t = out_.tokens[out_.stack[depth]];
    return tag_name::same(view(begin_ + t.name_start, begin_ + t.name_start + t.name_length), name);
  }

  // Pops the open elements from stack position `depth` on.
  void close_to(std::size_t depth) {
    out_.stack_depth = depth;
    scopes_.closed_to(out_.scopes, static_cast<std::uint32_t>(depth));
  }

  // Reads one attribute starting at an identifier byte; returns the position
  // where it ended and sets has_value. Returns nullptr when the array is full.
  const Byte* parse_attribute(const Byte* q, bool& has_value) {
    const Byte* name = q;
    q = read_identifier(q);
    const Byte* name_end = q;
    q = skip_spaces_newlines(q);
    const Byte* value = q;
    const Byte* value_end = q;
    has_value = false;
    if (q < end_ && *q == '=') {
      has_value = true;
      q = skip_spaces_newlines(q + 1);
      if (q >= end_) {
        value = value_end = end_;
      } else if (*q == '"' || *q == '\'') {
        value = q + 1;
        value_end = Scan::find_quote(value, end_, *q);
        q = value_end;
      } else {
        value = q;
        value_end = Scan::find_unquoted_end(q, end_);
        q = value_end;
      }
    }
    if (out_.attribute_count >= out_.attribute_capacity) return nullptr;
    AsmAttribute& a = out_.attributes[out_.attribute_count++];
    a.name_start = offset(name);
    a.name_length = static_cast<std::uint32_t>(name_end - name);
    a.value_start = has_value ? offset(value) : 0;
    a.value_length = has_value ? static_cast<std::uint32_t>(value_end - value) : 0;
    a.has_value = has_value ? 1 : 0;
    const std::string_view n = view(name, name_end);
    a.kind = n == "id" ? kAttributeId : n == "class" ? kAttributeClass : kAttributeOther;
    return q;
  }

  // p is at the "<" of a start tag. Sets resume_, or stopped_ when the name is
  // empty (the rest of the input is dropped).
  std::uint32_t start_tag(const Byte* lt) {
    const Byte* q = skip_spaces_newlines(lt + 1);
    const Byte* name = q;
    q = read_identifier(q);
    const Byte* name_end = q;
    if (name == name_end) {
      stopped_ = true;
      return kTokenizeFinished;
    }
    const std::size_t first_attribute = out_.attribute_count;
    bool self_closing = false;
    for (;;) {
      q = skip_spaces_newlines(q);
      if (q >= end_) break;
      const Byte c = *q;
      if (c == '/') {
        self_closing = true;
        q = skip_spaces_newlines(q + 1);
        if (q < end_ && *q == '>') ++q;
        break;
      }
      if (c == '>') {
        ++q;
        break;
      }
      if (!is_identifier_byte(c)) {
        ++q;
        continue;
      }
      bool has_value = false;
      q = parse_attribute(q, has_value);
      if (q == nullptr) return kAttributeArrayFull;
      // Step over a closing quote or the byte that ended an unquoted value;
      // at the end of the input there is nothing to step over.
      if (has_value && q < end_ && *q != '/' && *q != '>') ++q;
    }
    const std::uint32_t index = emit_token(kTokenElement, lt, q);
    if (index == kNoParent) return kTokenArrayFull;
    AsmToken& t = out_.tokens[index];
    t.first_attribute = static_cast<std::uint32_t>(first_attribute);
    t.attribute_count = static_cast<std::uint32_t>(out_.attribute_count - first_attribute);
    t.name_start = offset(name);
    t.name_length = static_cast<std::uint32_t>(name_end - name);
    resume_ = q;
    if (self_closing) return kTokenizeFinished;
    const OpenScopes::StartTag kind = OpenScopes::start_tag(FoldedName(view(name, name_end)));
    if ((kind.start & kVoidStart) != 0) return kTokenizeFinished;
    if (out_.stack_depth >= out_.stack_capacity) return kOpenStackFull;
    if (const TagId id = kind.tracked; id != TagId::Unknown) {
      if (scopes_.count() >= out_.scope_capacity) return kScopeArrayFull;
      scopes_.opened(out_.scopes, id, static_cast<std::uint32_t>(out_.stack_depth));
    }
    out_.stack[out_.stack_depth++] = index;
    if (const std::string_view raw = raw_text_element(kind); !raw.empty()) return raw_text(raw);
    return kTokenizeFinished;
  }

  // The content of the script or style element just opened: one text token
  // up to its end tag, which closes the element.
  std::uint32_t raw_text(std::string_view name) {
    const std::string_view input = view(begin_, end_);
    std::size_t tag_end = 0;
    const std::size_t end = find_raw_text_end(input, offset(resume_), name, tag_end);
    if (begin_ + end > resume_ && emit_token(kTokenText, resume_, begin_ + end) == kNoParent) return kTokenArrayFull;
    if (end < input.size()) close_to(out_.stack_depth - 1);
    resume_ = begin_ + tag_end;
    return kTokenizeFinished;
  }

  const Byte* begin_;
  const Byte* end_;
  TokenBuffers& out_;
  const Byte* resume_ = nullptr;
  bool stopped_ = false;
  OpenScopes scopes_;
};

std::uint32_t tokenize_scalar(const Byte* in, std::size_t n, TokenBuffers& b) {
  return Tokenizer<ScalarScan>(in, n, b).run();
}

std::uint32_t tokenize_portable(const Byte* in, std::size_t n, TokenBuffers& b) {
  return Tokenizer<PortableScan>(in, n, b).run();
}

}  // namespace

std::uint32_t tokenize_html_with(ScanPath path, const char* input, std::size_t length,
                                 TokenBuffers& buffers) {
  const auto* in = reinterpret_cast<const Byte*>(input);
  std::uint32_t code;
  switch (path) {
    case ScanPath::Scalar:
      code = tokenize_scalar(in, length, buffers);
      break;
    case ScanPath::Portable:
    default:
      code = tokenize_portable(in, length, buffers);
      break;
  }
  buffers.result = code;
  return code;
}

std::uint32_t tokenize_html(const char* input, std::size_t length, TokenBuffers& buffers) {
  return tokenize_html_with(ScanPath::Portable, input, length, buffers);
}

bool eq_ascii_ci(std::string_view bytes, std::string_view pattern) {
  if (bytes.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    auto c = static_cast<Byte>(bytes[i]);
    if (c >= 'A' && c <= 'Z') c = static_cast<Byte>(c + ('a' - 'A'));
    if (c != static_cast<Byte>(pattern[i])) return false;
  }
  return true;
}

// ASCII case ignored, so that an upper-case <BR> does not stay open and
// swallow the rest of its parent.
bool is_void_element(std::string_view name) {
  return (OpenScopes::start_tag(FoldedName(name)).start & kVoidStart) != 0;
}

}  // namespace tidewell::asm_tl
