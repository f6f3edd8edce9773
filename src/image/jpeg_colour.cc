// Colour conversion of one whole MCU, eight pixels per step: the same fixed-point
// formula as ycc_to_rgb, on unsigned lanes so overflow wraps, shifts on signed lanes.
#include <cstring>

#include "host/cpu.h"

#ifdef KESTOL_X86
#include <immintrin.h>
#endif

#include "image/image_kernels.h"
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
// Sixteen pixels per step on 16-bit lanes. Transform outputs lie within -8064..8319, so
// the 32-bit formula never wraps and Y * 65536 splits off exactly:
//   R = Y + cr + ((cr * 26345) >> 16)                  (91881 = 65536 + 26345)
//   G = Y - cr + ((cr * 18734 - cb * 22554) >> 16)     (-46802 = -65536 + 18734)
//   B = Y + 2 cb + ((cb * -14942) >> 16)              (116130 = 131072 - 14942)
// with cb, cr less 128; every term and sum fits 16 bits, and the byte pack clamps.
KESTOL_TARGET_AVX2 inline __m256i load16(const i32* a, const i32* b) {
  const __m256i p = _mm256_packs_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a)),
                                       _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b)));
  return _mm256_permute4x64_epi64(p, 0xD8);
}

// Eight chroma samples, each doubled: lanes c0 c0 c1 c1 ... c7 c7.
KESTOL_TARGET_AVX2 inline __m256i load_doubled(const i32* a) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a));
  const __m256i p = _mm256_packs_epi32(v, v);  // c0..3 c0..3 | c4..7 c4..7
  return _mm256_unpacklo_epi16(p, p);
}

// Eight pixels from two runs of 12 bytes at the front of a and c.
KESTOL_TARGET_AVX2 inline void put(u8* p, __m128i a, __m128i c) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(p), a);
  u32 w = u32(_mm_extract_epi32(a, 2));
  std::memcpy(p + 8, &w, 4);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 12), c);
  w = u32(_mm_extract_epi32(c, 2));
  std::memcpy(p + 20, &w, 4);
}

// Converts 16 pixels; the first eight go to p0, the last eight to p1 (24 bytes each).
KESTOL_TARGET_AVX2 inline void convert16(__m256i y, __m256i cb, __m256i cr, u8* p0, u8* p1) {
  const __m256i c128 = _mm256_set1_epi16(128);
  cb = _mm256_sub_epi16(cb, c128);
  cr = _mm256_sub_epi16(cr, c128);
  const __m256i r = _mm256_add_epi16(_mm256_add_epi16(y, cr),
                                     _mm256_mulhi_epi16(cr, _mm256_set1_epi16(26345)));
  const __m256i k = _mm256_set1_epi32(int((u32(std::uint16_t(-22554)) << 16) | 18734u));
  const __m256i glo = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(cr, cb), k), 16);
  const __m256i ghi = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(cr, cb), k), 16);
  const __m256i g = _mm256_add_epi16(_mm256_sub_epi16(y, cr), _mm256_packs_epi32(glo, ghi));
  const __m256i b = _mm256_add_epi16(_mm256_add_epi16(y, _mm256_add_epi16(cb, cb)),
                                     _mm256_mulhi_epi16(cb, _mm256_set1_epi16(-14942)));
  const __m256i rg = _mm256_packus_epi16(r, g);  // R0..7 G0..7 | R8..15 G8..15 (clamped)
  const __m256i bb = _mm256_packus_epi16(b, b);
  const __m256i rgi = _mm256_unpacklo_epi8(rg, _mm256_srli_si256(rg, 8));  // R G pairs
  const __m256i b0 = _mm256_unpacklo_epi8(bb, _mm256_setzero_si256());     // B 0 pairs
  const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,
                                        0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i lo = _mm256_shuffle_epi8(_mm256_unpacklo_epi16(rgi, b0), pack);  // px 0-3, 8-11
  const __m256i hi = _mm256_shuffle_epi8(_mm256_unpackhi_epi16(rgi, b0), pack);  // px 4-7, 12-15
  put(p0, _mm256_castsi256_si128(lo), _mm256_castsi256_si128(hi));
  put(p1, _mm256_extracti128_si256(lo, 1), _mm256_extracti128_si256(hi, 1));
}

KESTOL_TARGET_AVX2 void mcu_avx2(const i32 (*blocks)[64], unsigned hs, unsigned vsf, u8* out,
                                 u32 pitch) {
  if (hs == 1) {  // two rows of eight per step
    for (unsigned r = 0; r < 8; r += 2) {
      u8* row = out + std::size_t(r) * pitch;
      convert16(load16(blocks[0] + r * 8, blocks[0] + r * 8 + 8),
                load16(blocks[4] + r * 8, blocks[4] + r * 8 + 8),
                load16(blocks[5] + r * 8, blocks[5] + r * 8 + 8), row, row + pitch);
    }
    return;
  }
  if (vsf == 2) {  // two rows per chroma row, both halves of the MCU in step
    for (unsigned c = 0; c < 8; ++c) {
      const __m256i cb = load_doubled(blocks[4] + c * 8), cr = load_doubled(blocks[5] + c * 8);
      const i32* luma = blocks[(c / 4) * 2] + (c % 4) * 16;
      u8* row = out + std::size_t(2 * c) * pitch;
      convert16(load16(luma, luma + 64), cb, cr, row, row + 24);
      convert16(load16(luma + 8, luma + 72), cb, cr, row + pitch, row + pitch + 24);
    }
    return;
  }
  for (unsigned r = 0; r < 8; ++r) {
    const i32* luma = blocks[0] + r * 8;
    u8* row = out + std::size_t(r) * pitch;
    convert16(load16(luma, luma + 64), load_doubled(blocks[4] + r * 8),
              load_doubled(blocks[5] + r * 8), row, row + 24);
  }
}
#endif

}  // namespace

void jpeg_mcu_to_rgb_plain(const std::int32_t (*blocks)[64], unsigned hs, unsigned vsf,
                           std::uint8_t* out, std::uint32_t pitch) {
  mcu_generic(blocks, hs, vsf, out, pitch);
}

#if KESTOL_HAVE_AVX2_BUILD
KESTOL_TARGET_AVX2 void jpeg_mcu_to_rgb_avx2(const std::int32_t (*blocks)[64], unsigned hs,
                                             unsigned vsf, std::uint8_t* out, std::uint32_t pitch) {
  mcu_avx2(blocks, hs, vsf, out, pitch);
}
#endif

void jpeg_mcu_to_rgb(const std::int32_t (*blocks)[64], unsigned hs, unsigned vsf,
                     std::uint8_t* out, std::uint32_t pitch) {
  image_kernels().mcu_to_rgb(blocks, hs, vsf, out, pitch);
}
