// Vectorised searches for the first of a few bytes, used where the tokenizer
// runs over text, raw text and attribute values.
#pragma once

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tidewell::html5::scan {

inline const char* find1(const char* p, const char* end, char a) {
  if (p >= end) return end;
  const void* hit = std::memchr(p, a, static_cast<std::size_t>(end - p));
  return hit ? static_cast<const char*>(hit) : end;
}

inline const char* find2(const char* p, const char* end, char a, char b) {
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b);
  while (end - p >= 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb)));
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
#endif
  while (p < end && *p != a && *p != b) ++p;
  return p;
}

inline const char* find3(const char* p, const char* end, char a, char b, char c) {
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b), vc = _mm_set1_epi8(c);
  while (end - p >= 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i m =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb)), _mm_cmpeq_epi8(x, vc));
    const int mask = _mm_movemask_epi8(m);
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
#endif
  while (p < end && *p != a && *p != b && *p != c) ++p;
  return p;
}

// The first byte of `p` that is one of `set` (up to five bytes).
template <std::size_t N>
inline const char* find_any(const char* p, const char* end, const char (&set)[N]) {
  static_assert(N >= 1 && N <= 5);
#if defined(__SSE2__)
  __m128i v[N];
  for (std::size_t k = 0; k < N; ++k) v[k] = _mm_set1_epi8(set[k]);
  while (end - p >= 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i m = _mm_cmpeq_epi8(x, v[0]);
    for (std::size_t k = 1; k < N; ++k) m = _mm_or_si128(m, _mm_cmpeq_epi8(x, v[k]));
    const int mask = _mm_movemask_epi8(m);
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
#endif
  for (; p < end; ++p) {
    for (char c : set) {
      if (*p == c) return p;
    }
  }
  return p;
}

}  // namespace tidewell::html5::scan
