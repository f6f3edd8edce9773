#include "gfx/pixel_kernels.h"

// GCC 12 warns inside its own AVX-512 headers (_mm512_undefined); nothing of ours.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "host/cpu.h"

#ifdef KESTOL_X86
#include <immintrin.h>
#endif

namespace {

// ---- Plain kernels ------------------------------------------------------------------------

inline std::uint32_t blend_pixel(std::uint32_t d, std::uint32_t s, std::uint32_t a) {
  std::uint32_t ia = 255 - a;
  std::uint32_t b = (((d & 0xFF) * ia + (s & 0xFF) * a) >> 8);
  std::uint32_t g = (((d & 0xFF00) * ia + (s & 0xFF00) * a) & 0x00FF0000) >> 8;
  std::uint32_t r = (((d >> 8) & 0xFF00) * ia + ((s >> 8) & 0xFF00) * a) & 0x00FF0000;
  return r | g | b;
}

void blend_alpha_plain(std::uint32_t* dst, const std::uint32_t* src, std::uint32_t n) {
  for (std::uint32_t i = 0; i < n; ++i) {
    std::uint32_t a = src[i] >> 24;
    if (a != 0) dst[i] = blend_pixel(dst[i], src[i], a);
  }
}

void blend_level_plain(std::uint32_t* dst, const std::uint32_t* src, std::uint32_t n,
                       unsigned level) {
  for (std::uint32_t i = 0; i < n; ++i) dst[i] = blend_pixel(dst[i], src[i], level);
}

void scale_plain(std::uint32_t* p, std::uint32_t n, unsigned f) {
  for (std::uint32_t i = 0; i < n; ++i) {
    std::uint32_t v = p[i];
    p[i] = (((v & 0xFF) * f) >> 8) | (((((v >> 8) & 0xFF) * f) >> 8) << 8) |
           (((((v >> 16) & 0xFF) * f) >> 8) << 16) | ((((v >> 24) * f) >> 8) << 24);
  }
}

#ifdef KESTOL_X86

// ---- SSE2: four pixels per step; each channel widened to a 16-bit lane. ----------------
// d x ia + s x a never exceeds 255 x 255, so the 16-bit lanes hold the sums exactly.

// Weights per pixel, spread over the pixel's four 16-bit lanes.
inline __m128i spread_lo(__m128i w32) {  // pixels 0, 1 of four 32-bit weights
  __m128i w = _mm_shufflelo_epi16(_mm_unpacklo_epi32(w32, w32), 0xA0);
  return _mm_shufflehi_epi16(w, 0xA0);
}
inline __m128i spread_hi(__m128i w32) {  // pixels 2, 3
  __m128i w = _mm_shufflelo_epi16(_mm_unpackhi_epi32(w32, w32), 0xA0);
  return _mm_shufflehi_epi16(w, 0xA0);
}

// Blends four pixels with four 32-bit weights a (0 ... 255); alpha bytes come out 0.
inline __m128i blend4(__m128i d, __m128i s, __m128i a32) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i c255 = _mm_set1_epi32(255);
  const __m128i rgb = _mm_set1_epi32(0x00FFFFFF);
  __m128i ia32 = _mm_sub_epi32(c255, a32);
  __m128i alo = spread_lo(a32), ahi = spread_hi(a32);
  __m128i ialo = spread_lo(ia32), iahi = spread_hi(ia32);
  __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), ialo),
                             _mm_mullo_epi16(_mm_unpacklo_epi8(s, zero), alo));
  __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), iahi),
                             _mm_mullo_epi16(_mm_unpackhi_epi8(s, zero), ahi));
  lo = _mm_srli_epi16(lo, 8);
  hi = _mm_srli_epi16(hi, 8);
  return _mm_and_si128(_mm_packus_epi16(lo, hi), rgb);
}

void blend_alpha_sse2(std::uint32_t* dst, const std::uint32_t* src, std::uint32_t n) {
  std::uint32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    __m128i a32 = _mm_srli_epi32(s, 24);
    __m128i skip = _mm_cmpeq_epi32(a32, _mm_setzero_si128());
    if (_mm_movemask_epi8(skip) == 0xFFFF) continue;
    __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
    __m128i b = blend4(d, s, a32);
    __m128i out = _mm_or_si128(_mm_and_si128(skip, d), _mm_andnot_si128(skip, b));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), out);
  }
  blend_alpha_plain(dst + i, src + i, n - i);
}

void blend_level_sse2(std::uint32_t* dst, const std::uint32_t* src, std::uint32_t n,
                      unsigned level) {
  const __m128i a32 = _mm_set1_epi32(static_cast<int>(level));
  std::uint32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), blend4(d, s, a32));
  }
  blend_level_plain(dst + i, src + i, n - i, level);
}

void scale_sse2(std::uint32_t* p, std::uint32_t n, unsigned f) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i factor = _mm_set1_epi16(static_cast<short>(f));
  std::uint32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    __m128i lo = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(v, zero), factor), 8);
    __m128i hi = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(v, zero), factor), 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), _mm_packus_epi16(lo, hi));
  }
  scale_plain(p + i, n - i, f);
}

// ---- AVX2: eight pixels per step. -------------------------------------------------------

__attribute__((target("avx2"))) inline __m256i blend8(__m256i d, __m256i s, __m256i a32) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i c255 = _mm256_set1_epi32(255);
  const __m256i rgb = _mm256_set1_epi32(0x00FFFFFF);
  // Spread each pixel's weight over its four byte positions, then widen with the pixels.
  const __m256i spread = _mm256_setr_epi8(0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12,
                                          0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12);
  __m256i a8 = _mm256_shuffle_epi8(a32, spread);
  __m256i ia8 = _mm256_shuffle_epi8(_mm256_sub_epi32(c255, a32), spread);
  __m256i lo = _mm256_add_epi16(
      _mm256_mullo_epi16(_mm256_unpacklo_epi8(d, zero), _mm256_unpacklo_epi8(ia8, zero)),
      _mm256_mullo_epi16(_mm256_unpacklo_epi8(s, zero), _mm256_unpacklo_epi8(a8, zero)));
  __m256i hi = _mm256_add_epi16(
      _mm256_mullo_epi16(_mm256_unpackhi_epi8(d, zero), _mm256_unpackhi_epi8(ia8, zero)),
      _mm256_mullo_epi16(_mm256_unpackhi_epi8(s, zero), _mm256_unpackhi_epi8(a8, zero)));
  lo = _mm256_srli_epi16(lo, 8);
  hi = _mm256_srli_epi16(hi, 8);
  return _mm256_and_si256(_mm256_packus_epi16(lo, hi), rgb);
}

__attribute__((target("avx2"))) void blend_alpha_avx2(std::uint32_t* dst,
                                                      const std::uint32_t* src,
                                                      std::uint32_t n) {
  std::uint32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
    __m256i a32 = _mm256_srli_epi32(s, 24);
    __m256i skip = _mm256_cmpeq_epi32(a32, _mm256_setzero_si256());
    if (_mm256_movemask_epi8(skip) == -1) continue;
    __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + i));
    __m256i out = _mm256_blendv_epi8(blend8(d, s, a32), d, skip);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), out);
  }
  blend_alpha_sse2(dst + i, src + i, n - i);
}

// Widened pixel halves times widened weights, summed, shifted and packed back.
__attribute__((target("avx2"))) inline __m256i weigh8(__m256i d, __m256i s, __m256i ialo,
                                                      __m256i iahi, __m256i alo, __m256i ahi) {
  const __m256i zero = _mm256_setzero_si256();
  __m256i lo = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(d, zero), ialo),
                                _mm256_mullo_epi16(_mm256_unpacklo_epi8(s, zero), alo));
  __m256i hi = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(d, zero), iahi),
                                _mm256_mullo_epi16(_mm256_unpackhi_epi8(s, zero), ahi));
  return _mm256_and_si256(
      _mm256_packus_epi16(_mm256_srli_epi16(lo, 8), _mm256_srli_epi16(hi, 8)),
      _mm256_set1_epi32(0x00FFFFFF));
}

__attribute__((target("avx2"))) void blend_level_avx2(std::uint32_t* dst,
                                                      const std::uint32_t* src, std::uint32_t n,
                                                      unsigned level) {
  // The weights are the same for every lane: widen them once.
  const __m256i a = _mm256_set1_epi16(static_cast<short>(level));
  const __m256i ia = _mm256_set1_epi16(static_cast<short>(255 - level));
  std::uint32_t i = 0;
  for (; i + 16 <= n; i += 16) {
    __m256i s0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
    __m256i d0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + i));
    __m256i s1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 8));
    __m256i d1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + i + 8));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), weigh8(d0, s0, ia, ia, a, a));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i + 8), weigh8(d1, s1, ia, ia, a, a));
  }
  blend_level_sse2(dst + i, src + i, n - i, level);
}

__attribute__((target("avx2"))) void scale_avx2(std::uint32_t* p, std::uint32_t n,
                                                unsigned f) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i factor = _mm256_set1_epi16(static_cast<short>(f));
  std::uint32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
    __m256i lo = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(v, zero), factor), 8);
    __m256i hi = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(v, zero), factor), 8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i), _mm256_packus_epi16(lo, hi));
  }
  scale_sse2(p + i, n - i, f);
}

// ---- AVX-512BW: sixteen pixels per step. --------------------------------------------------

#define KESTOL_AVX512 __attribute__((target("avx512f,avx512bw")))

KESTOL_AVX512 inline __m512i weigh16(__m512i d, __m512i s, __m512i ialo, __m512i iahi,
                                     __m512i alo, __m512i ahi) {
  const __m512i zero = _mm512_setzero_si512();
  __m512i lo = _mm512_add_epi16(_mm512_mullo_epi16(_mm512_unpacklo_epi8(d, zero), ialo),
                                _mm512_mullo_epi16(_mm512_unpacklo_epi8(s, zero), alo));
  __m512i hi = _mm512_add_epi16(_mm512_mullo_epi16(_mm512_unpackhi_epi8(d, zero), iahi),
                                _mm512_mullo_epi16(_mm512_unpackhi_epi8(s, zero), ahi));
  return _mm512_and_si512(
      _mm512_packus_epi16(_mm512_srli_epi16(lo, 8), _mm512_srli_epi16(hi, 8)),
      _mm512_set1_epi32(0x00FFFFFF));
}

KESTOL_AVX512 void blend_alpha_avx512(std::uint32_t* dst, const std::uint32_t* src,
                                      std::uint32_t n) {
  const __m512i zero = _mm512_setzero_si512();
  std::uint32_t i = 0;
  for (; i + 16 <= n; i += 16) {
    __m512i s = _mm512_loadu_si512(src + i);
    __m512i a32 = _mm512_srli_epi32(s, 24);
    __mmask16 skip = _mm512_cmpeq_epi32_mask(a32, zero);
    if (skip == 0xFFFF) continue;
    __m512i d = _mm512_loadu_si512(dst + i);
    // Weight per 16-bit lane: each pixel's a in all four of its lanes.
    __m512i a16 = _mm512_or_si512(a32, _mm512_slli_epi32(a32, 16));  // a in both halves
    __m512i ia16 = _mm512_sub_epi16(_mm512_set1_epi16(255), a16);
    __m512i alo = _mm512_unpacklo_epi32(a16, a16), ahi = _mm512_unpackhi_epi32(a16, a16);
    __m512i ialo = _mm512_unpacklo_epi32(ia16, ia16), iahi = _mm512_unpackhi_epi32(ia16, ia16);
    __m512i b = weigh16(d, s, ialo, iahi, alo, ahi);
    _mm512_storeu_si512(dst + i, _mm512_mask_blend_epi32(skip, b, d));
  }
  blend_alpha_avx2(dst + i, src + i, n - i);
}

KESTOL_AVX512 void blend_level_avx512(std::uint32_t* dst, const std::uint32_t* src,
                                      std::uint32_t n, unsigned level) {
  const __m512i a = _mm512_set1_epi16(static_cast<short>(level));
  const __m512i ia = _mm512_set1_epi16(static_cast<short>(255 - level));
  std::uint32_t i = 0;
  for (; i + 16 <= n; i += 16) {
    __m512i s = _mm512_loadu_si512(src + i);
    __m512i d = _mm512_loadu_si512(dst + i);
    _mm512_storeu_si512(dst + i, weigh16(d, s, ia, ia, a, a));
  }
  blend_level_avx2(dst + i, src + i, n - i, level);
}

KESTOL_AVX512 void scale_avx512(std::uint32_t* p, std::uint32_t n, unsigned f) {
  const __m512i zero = _mm512_setzero_si512();
  const __m512i factor = _mm512_set1_epi16(static_cast<short>(f));
  std::uint32_t i = 0;
  for (; i + 16 <= n; i += 16) {
    __m512i v = _mm512_loadu_si512(p + i);
    __m512i lo = _mm512_srli_epi16(_mm512_mullo_epi16(_mm512_unpacklo_epi8(v, zero), factor), 8);
    __m512i hi = _mm512_srli_epi16(_mm512_mullo_epi16(_mm512_unpackhi_epi8(v, zero), factor), 8);
    _mm512_storeu_si512(p + i, _mm512_packus_epi16(lo, hi));
  }
  scale_avx2(p + i, n - i, f);
}

#endif  // KESTOL_X86

const PixelKernels kernel_table[] = {
    {"plain", 0, blend_alpha_plain, blend_level_plain, scale_plain},
#ifdef KESTOL_X86
    {"sse2", cpu_sse2, blend_alpha_sse2, blend_level_sse2, scale_sse2},
    {"avx2", cpu_sse2 | cpu_avx2, blend_alpha_avx2, blend_level_avx2, scale_avx2},
    {"avx512", cpu_sse2 | cpu_avx2 | cpu_avx512, blend_alpha_avx512, blend_level_avx512,
     scale_avx512},
#endif
};

}  // namespace

const PixelKernels& pixel_kernels() { static const PixelKernels& best = best_version(kernel_table); return best; }
int pixel_kernel_count() { return usable_versions(kernel_table); }

const PixelKernels& pixel_kernel(int index) { return kernel_table[index]; }
