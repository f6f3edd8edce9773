// Colour conversion of one whole MCU, eight pixels per step: the same fixed-point
// formula as ycc_to_rgb, on unsigned lanes so overflow wraps, shifts on signed lanes.
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "image/cpu_dispatch.h"
#include "image/jpeg_colour.h"

namespace {
using u8 = std::uint8_t;
using u32 = std::uint32_t;
using i32 = std::int32_t;
typedef u32 vu __attribute__((vector_size(32)));
typedef i32 vs __attribute__((vector_size(32)));

// Eight pixels: clamped R, G, B in the low byte of each lane.
// Vectors go by reference: by value they would change the ABI between the two builds.
__attribute__((always_inline)) inline void convert8(const vu& y, const vu& cb_in, const vu& cr_in,
                                                    vs& r, vs& g, vs& b) {
  vu y16 = y << 16;
  vu cb = cb_in - 128u;
  vu cr = cr_in - 128u;
  r = (vs)(y16 + cr * 91881u) >> 16;
  g = (vs)(y16 - cr * 46802u - cb * 22554u) >> 16;
  b = (vs)(y16 + cb * 116130u) >> 16;
  const vs zero = {0, 0, 0, 0, 0, 0, 0, 0};
  const vs top = {255, 255, 255, 255, 255, 255, 255, 255};
  r = r < zero ? zero : r;
  r = r > top ? top : r;
  g = g < zero ? zero : g;
  g = g > top ? top : g;
  b = b < zero ? zero : b;
  b = b > top ? top : b;
}

__attribute__((always_inline)) inline void mcu_generic_body(const i32 (*blocks)[64], unsigned hs,
                                                            unsigned vsf, u8* out, u32 pitch) {
  for (unsigned r = 0; r < 8 * vsf; ++r) {
    const i32* cb_row = blocks[4] + (vsf == 2 ? r / 2 : r) * 8;
    const i32* cr_row = blocks[5] + (vsf == 2 ? r / 2 : r) * 8;
    u8* row = out + std::size_t(r) * pitch;
    for (unsigned half = 0; half < hs; ++half) {
      vu y, cb, cr;
      std::memcpy(&y, blocks[(r / 8) * hs + half] + (r % 8) * 8, sizeof y);
      if (hs == 1) {
        std::memcpy(&cb, cb_row, sizeof cb);
        std::memcpy(&cr, cr_row, sizeof cr);
      } else {
        const i32* c = cb_row + 4 * half;
        const i32* d = cr_row + 4 * half;
        cb = vu{u32(c[0]), u32(c[0]), u32(c[1]), u32(c[1]), u32(c[2]), u32(c[2]), u32(c[3]), u32(c[3])};
        cr = vu{u32(d[0]), u32(d[0]), u32(d[1]), u32(d[1]), u32(d[2]), u32(d[2]), u32(d[3]), u32(d[3])};
      }
      vs rr, gg, bb;
      convert8(y, cb, cr, rr, gg, bb);
      u8* p = row + half * 24;
      for (int i = 0; i < 8; ++i) {
        p[3 * i] = u8(rr[i]);
        p[3 * i + 1] = u8(gg[i]);
        p[3 * i + 2] = u8(bb[i]);
      }
    }
  }
}

void mcu_generic(const i32 (*blocks)[64], unsigned hs, unsigned vsf, u8* out, u32 pitch) {
  mcu_generic_body(blocks, hs, vsf, out, pitch);
}

#if KESTOL_HAVE_AVX2_BUILD
// Same arithmetic; chroma doubled with a lane permute and the pixels packed to R, G, B
// bytes with shuffles, stored as exactly 24 bytes per eight pixels.
KESTOL_TARGET_AVX2 void mcu_avx2(const i32 (*blocks)[64], unsigned hs, unsigned vsf, u8* out,
                                 u32 pitch) {
  const __m256i dup = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
  const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,
                                        0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  for (unsigned r = 0; r < 8 * vsf; ++r) {
    const i32* cb_row = blocks[4] + (vsf == 2 ? r / 2 : r) * 8;
    const i32* cr_row = blocks[5] + (vsf == 2 ? r / 2 : r) * 8;
    u8* row = out + std::size_t(r) * pitch;
    for (unsigned half = 0; half < hs; ++half) {
      __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(blocks[(r / 8) * hs + half] + (r % 8) * 8));
      __m256i cb, cr;
      if (hs == 1) {
        cb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cb_row));
        cr = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cr_row));
      } else {
        cb = _mm256_permutevar8x32_epi32(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cb_row + 4 * half))), dup);
        cr = _mm256_permutevar8x32_epi32(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cr_row + 4 * half))), dup);
      }
      vs rr, gg, bb;
      const vu yv = (vu)y, cbv = (vu)cb, crv = (vu)cr;
      convert8(yv, cbv, crv, rr, gg, bb);
      __m256i px = _mm256_or_si256(_mm256_or_si256((__m256i)rr, _mm256_slli_epi32((__m256i)gg, 8)),
                                   _mm256_slli_epi32((__m256i)bb, 16));
      px = _mm256_shuffle_epi8(px, pack);  // 12 bytes at the front of each half
      __m128i lo = _mm256_castsi256_si128(px), hi = _mm256_extracti128_si256(px, 1);
      u8* p = row + half * 24;
      _mm_storel_epi64(reinterpret_cast<__m128i*>(p), lo);
      u32 w = u32(_mm_extract_epi32(lo, 2));
      std::memcpy(p + 8, &w, 4);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 12), hi);
      w = u32(_mm_extract_epi32(hi, 2));
      std::memcpy(p + 20, &w, 4);
    }
  }
}
#endif

}  // namespace

void jpeg_mcu_to_rgb(const std::int32_t (*blocks)[64], unsigned hs, unsigned vsf,
                     std::uint8_t* out, std::uint32_t pitch) {
#if KESTOL_HAVE_AVX2_BUILD
  if (cpu_has_avx2()) return mcu_avx2(blocks, hs, vsf, out, pitch);
#endif
  mcu_generic(blocks, hs, vsf, out, pitch);
}
