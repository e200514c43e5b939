// asm_tl tokenizer: one forward pass over the input that writes flat token and
// attribute records into caller-supplied arrays. It never allocates; when an
// array fills up it stops and reports which one, and the caller retries from
// the start with larger arrays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "html_parser/end_tag_scope.hpp"

namespace tidewell::asm_tl {

inline constexpr std::uint32_t kTokenText = 1;
inline constexpr std::uint32_t kTokenElement = 2;
inline constexpr std::uint32_t kTokenComment = 3;

// Parent index of a token emitted while no element was open.
inline constexpr std::uint32_t kNoParent = 0xFFFFFFFFu;

// One token. Offsets and lengths are byte positions in the input.
struct AsmToken {
  std::uint32_t kind;             // kTokenText, kTokenElement or kTokenComment
  std::uint32_t child_count;      // tokens emitted while this one was the innermost open element
  std::uint32_t parent;           // innermost open element at emission, or kNoParent
  std::uint32_t first_attribute;  // index into the attribute array (0 unless an element)
  std::uint32_t attribute_count;  // 0 unless an element
  std::uint32_t start;            // first byte ("<" for elements and comments)
  std::uint32_t length;           // text run, comment through "-->", or the start tag's bytes
  std::uint32_t name_start;       // element name (0 otherwise)
  std::uint32_t name_length;
};

inline constexpr std::uint32_t kAttributeOther = 0;
inline constexpr std::uint32_t kAttributeId = 1;     // name exactly "id"
inline constexpr std::uint32_t kAttributeClass = 2;  // name exactly "class"

struct AsmAttribute {
  std::uint32_t name_start;
  std::uint32_t name_length;
  std::uint32_t value_start;
  std::uint32_t value_length;
  std::uint32_t has_value;  // 0 or 1
  std::uint32_t kind;       // kAttributeOther, kAttributeId or kAttributeClass
};

// Result codes of tokenize_html.
inline constexpr std::uint32_t kTokenizeFinished = 0;
inline constexpr std::uint32_t kTokenArrayFull = 1;
inline constexpr std::uint32_t kAttributeArrayFull = 2;
inline constexpr std::uint32_t kOpenStackFull = 4;
inline constexpr std::uint32_t kScopeArrayFull = 6;

// The tokenizer's output arrays. The tokenizer resets the three counts when it
// starts and never writes past a capacity.
struct TokenBuffers {
  AsmToken* tokens = nullptr;
  std::size_t token_capacity = 0;
  std::size_t token_count = 0;
  AsmAttribute* attributes = nullptr;
  std::size_t attribute_capacity = 0;
  std::size_t attribute_count = 0;
  std::uint32_t* stack = nullptr;  // token indexes of the open elements, innermost last
  std::size_t stack_capacity = 0;
  std::size_t stack_depth = 0;
  std::uint32_t result = kTokenizeFinished;
  ScopeEntry* scopes = nullptr;  // the open elements that misnested end tags may close
  std::size_t scope_capacity = 0;
};

// How the long scans (the next "<" in text, the closing quote of a quoted
// value, the end of an unquoted value, and the ">" and "-->" searches) are
// done. Both paths give the same tokens byte for byte.
//
// The portable path is the one in use: memchr and memmem (which glibc runs
// with the widest vector instructions of the processor) and an SSE2 loop for
// the three-byte search of unquoted values. A hand-written AVX2 path measured
// no faster on the corpus pages, so there is none.
enum class ScanPath : std::uint8_t {
  Scalar,    // byte by byte: the reference
  Portable,  // memchr, memmem and SSE2 (baseline x86-64)
};

// Tokenizes `input[0, length)` into `buffers` with the portable path; returns
// the result code (also stored in buffers.result). `length` must fit in 32 bits.
std::uint32_t tokenize_html(const char* input, std::size_t length, TokenBuffers& buffers);

// Same, with a chosen scan path.
std::uint32_t tokenize_html_with(ScanPath path, const char* input, std::size_t length,
                                 TokenBuffers& buffers);

// True when a document of `length` bytes can be addressed with 32-bit offsets.
constexpr bool fits_u32(std::size_t length) { return length <= 0xFFFFFFFFull; }

// The void-element test, ASCII case ignored.
bool is_void_element(std::string_view name);

// Compares `bytes` with the lower-case `pattern`, lowering ASCII "A" to "Z"
// in `bytes` only.
bool eq_ascii_ci(std::string_view bytes, std::string_view pattern);

}  // namespace tidewell::asm_tl
