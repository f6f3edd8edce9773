// Integer inverse DCT (Loeffler-Ligtenberg-Moschytz, 13 fractional bits, two extra bits
// between the passes), eight lanes at a time. Arithmetic is on unsigned words so that
// overflow from corrupt coefficients wraps exactly like 32-bit two's-complement hardware;
// shifts go through signed lanes (arithmetic). An AVX2 build is picked where the CPU has it.
#include <cstring>

#include "host/cpu.h"

#ifdef KESTOL_X86
#include <immintrin.h>
#endif

#include "image/image_kernels.h"
#include "image/jpeg_decoder.h"

namespace {

using u32 = std::uint32_t;
using i32 = std::int32_t;
typedef u32 vu __attribute__((vector_size(32)));
typedef i32 vs __attribute__((vector_size(32)));

#define SAR(v, n) ((vu)((vs)(v) >> (n)))
#define ALWAYS_INLINE __attribute__((always_inline)) inline

// One 1-D pass on eight lanes, in place; outputs before rounding.
ALWAYS_INLINE void idct_1d(vu& i0, vu& i1, vu& i2, vu& i3, vu& i4, vu& i5, vu& i6, vu& i7) {
  vu z1 = (i2 + i6) * 4433u;
  vu t2 = z1 - i6 * 15137u;
  vu t3 = z1 + i2 * 6270u;
  vu t0 = (i0 + i4) * 8192u;
  vu t1 = (i0 - i4) * 8192u;
  vu a0 = t0 + t3, a3 = t0 - t3, a1 = t1 + t2, a2 = t1 - t2;

  vu y1 = i7 + i1, y2 = i5 + i3, y3 = i7 + i3, y4 = i5 + i1;
  vu z5 = (y3 + y4) * 9633u;
  vu b0 = i7 * 2446u, b1 = i5 * 16819u, b2 = i3 * 25172u, b3 = i1 * 12299u;
  y1 *= static_cast<u32>(-7373);
  y2 *= static_cast<u32>(-20995);
  y3 = y3 * static_cast<u32>(-16069) + z5;
  y4 = y4 * static_cast<u32>(-3196) + z5;
  b0 += y1 + y3;
  b1 += y2 + y4;
  b2 += y2 + y3;
  b3 += y1 + y4;

  i0 = a0 + b3; i7 = a0 - b3;
  i1 = a1 + b2; i6 = a1 - b2;
  i2 = a2 + b1; i5 = a2 - b1;
  i3 = a3 + b0; i4 = a3 - b0;
}

ALWAYS_INLINE void transpose_generic(vu* m) {
  u32 t[64];
  std::memcpy(t, m, sizeof t);
  u32* out = reinterpret_cast<u32*>(m);
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c) out[c * 8 + r] = t[r * 8 + c];
}

#if KESTOL_HAVE_AVX2_BUILD
KESTOL_TARGET_AVX2 inline void transpose_avx2(vu* m) {
  __m256i r[8], t[8], u[8];
  for (int i = 0; i < 8; ++i) r[i] = (__m256i)m[i];
  for (int i = 0; i < 8; i += 2) {
    t[i] = _mm256_unpacklo_epi32(r[i], r[i + 1]);
    t[i + 1] = _mm256_unpackhi_epi32(r[i], r[i + 1]);
  }
  u[0] = _mm256_unpacklo_epi64(t[0], t[2]);
  u[1] = _mm256_unpackhi_epi64(t[0], t[2]);
  u[2] = _mm256_unpacklo_epi64(t[1], t[3]);
  u[3] = _mm256_unpackhi_epi64(t[1], t[3]);
  u[4] = _mm256_unpacklo_epi64(t[4], t[6]);
  u[5] = _mm256_unpackhi_epi64(t[4], t[6]);
  u[6] = _mm256_unpacklo_epi64(t[5], t[7]);
  u[7] = _mm256_unpackhi_epi64(t[5], t[7]);
  for (int i = 0; i < 4; ++i) {
    m[i] = (vu)_mm256_permute2x128_si256(u[i], u[i + 4], 0x20);
    m[i + 4] = (vu)_mm256_permute2x128_si256(u[i], u[i + 4], 0x31);
  }
}
#endif

template <bool avx2>
ALWAYS_INLINE void idct_body(i32* block, const i32* quant) {
  vu m[8];
  for (int r = 0; r < 8; ++r) {
    vu b, q;
    std::memcpy(&b, block + r * 8, sizeof b);
    std::memcpy(&q, quant + r * 8, sizeof q);
    m[r] = b * q;
  }
  // Pass 1 down the columns (lanes are columns). A column whose rows 1..7 are zero takes
  // the DC value times four; the other columns the rounded full pass.
  const vu dc_only = (vu)((m[1] | m[2] | m[3] | m[4] | m[5] | m[6] | m[7]) == 0);
  const vu dc = m[0] * 4u;
  idct_1d(m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7]);
  for (int r = 0; r < 8; ++r) m[r] = (dc & dc_only) | (SAR(m[r] + 1024u, 11) & ~dc_only);
  // Pass 2 along the rows: transpose so lanes are rows, then back.
#if KESTOL_HAVE_AVX2_BUILD
  if constexpr (avx2) transpose_avx2(m); else transpose_generic(m);
#else
  transpose_generic(m);
#endif
  idct_1d(m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7]);
  for (int c = 0; c < 8; ++c) m[c] = SAR(m[c] + 131072u, 18) + 128u;
#if KESTOL_HAVE_AVX2_BUILD
  if constexpr (avx2) transpose_avx2(m); else transpose_generic(m);
#else
  transpose_generic(m);
#endif
  std::memcpy(block, m, sizeof m);
}

#if KESTOL_HAVE_AVX2_BUILD
// The same transform with 16-bit inputs to each pass. Every output of a 1-D pass is a sum
// of input x constant products, so it is computed as pairs through vpmaddwd with the
// constants combined (each fits 16 bits); sums and products are exact modulo 2^32, so as
// long as every pass input fits in 16 bits the result is bit for bit that of the 32-bit
// pass. Pass 1's column shortcut then gives the same value as its full pass (x0 * 8192
// cannot wrap). Returns false, leaving the block untouched, when an input does not fit.
struct Pairs {
  __m256i e04, e26, o13, o57;
};

KESTOL_TARGET_AVX2 ALWAYS_INLINE __m256i pair16(__m256i lo, __m256i hi) {
  return _mm256_blend_epi16(lo, _mm256_slli_epi32(hi, 16), 0xAA);
}

KESTOL_TARGET_AVX2 ALWAYS_INLINE __m256i c2(int a, int b) {
  return _mm256_set1_epi32(int(u32(std::uint16_t(a)) | (u32(std::uint16_t(b)) << 16)));
}

// o0..o7 before rounding, from the pairs (i0,i4), (i2,i6), (i1,i3), (i5,i7).
KESTOL_TARGET_AVX2 ALWAYS_INLINE void idct_1d_madd(const Pairs& p, __m256i* o) {
  const __m256i t0 = _mm256_madd_epi16(p.e04, c2(8192, 8192));
  const __m256i t1 = _mm256_madd_epi16(p.e04, c2(8192, -8192));
  const __m256i t3 = _mm256_madd_epi16(p.e26, c2(10703, 4433));
  const __m256i t2 = _mm256_madd_epi16(p.e26, c2(4433, -10704));
  const __m256i a0 = _mm256_add_epi32(t0, t3), a3 = _mm256_sub_epi32(t0, t3);
  const __m256i a1 = _mm256_add_epi32(t1, t2), a2 = _mm256_sub_epi32(t1, t2);
  const __m256i b0 = _mm256_add_epi32(_mm256_madd_epi16(p.o13, c2(2260, -6436)),
                                      _mm256_madd_epi16(p.o57, c2(9633, -11363)));
  const __m256i b1 = _mm256_add_epi32(_mm256_madd_epi16(p.o13, c2(6437, -11362)),
                                      _mm256_madd_epi16(p.o57, c2(2261, 9633)));
  const __m256i b2 = _mm256_add_epi32(_mm256_madd_epi16(p.o13, c2(9633, -2259)),
                                      _mm256_madd_epi16(p.o57, c2(-11362, -6436)));
  const __m256i b3 = _mm256_add_epi32(_mm256_madd_epi16(p.o13, c2(11363, 9633)),
                                      _mm256_madd_epi16(p.o57, c2(6437, 2260)));
  o[0] = _mm256_add_epi32(a0, b3);
  o[7] = _mm256_sub_epi32(a0, b3);
  o[1] = _mm256_add_epi32(a1, b2);
  o[6] = _mm256_sub_epi32(a1, b2);
  o[2] = _mm256_add_epi32(a2, b1);
  o[5] = _mm256_sub_epi32(a2, b1);
  o[3] = _mm256_add_epi32(a3, b0);
  o[4] = _mm256_sub_epi32(a3, b0);
}

KESTOL_TARGET_AVX2 ALWAYS_INLINE Pairs make_pairs(const __m256i* v) {
  return Pairs{pair16(v[0], v[4]), pair16(v[2], v[6]), pair16(v[1], v[3]), pair16(v[5], v[7])};
}

// Nonzero unless every 32-bit lane of the accumulated values fits in 16 bits.
KESTOL_TARGET_AVX2 ALWAYS_INLINE __m256i out_of_range(__m256i v) {
  return _mm256_add_epi32(v, _mm256_set1_epi32(0x8000));
}

// Stores the transpose of m as eight rows; kept in registers throughout.
KESTOL_TARGET_AVX2 ALWAYS_INLINE void store_transposed(const __m256i* m, i32* block) {
  const __m256i t0 = _mm256_unpacklo_epi32(m[0], m[1]), t1 = _mm256_unpackhi_epi32(m[0], m[1]);
  const __m256i t2 = _mm256_unpacklo_epi32(m[2], m[3]), t3 = _mm256_unpackhi_epi32(m[2], m[3]);
  const __m256i t4 = _mm256_unpacklo_epi32(m[4], m[5]), t5 = _mm256_unpackhi_epi32(m[4], m[5]);
  const __m256i t6 = _mm256_unpacklo_epi32(m[6], m[7]), t7 = _mm256_unpackhi_epi32(m[6], m[7]);
  const __m256i u0 = _mm256_unpacklo_epi64(t0, t2), u1 = _mm256_unpackhi_epi64(t0, t2);
  const __m256i u2 = _mm256_unpacklo_epi64(t1, t3), u3 = _mm256_unpackhi_epi64(t1, t3);
  const __m256i u4 = _mm256_unpacklo_epi64(t4, t6), u5 = _mm256_unpackhi_epi64(t4, t6);
  const __m256i u6 = _mm256_unpacklo_epi64(t5, t7), u7 = _mm256_unpackhi_epi64(t5, t7);
  __m256i* out = reinterpret_cast<__m256i*>(block);
  _mm256_storeu_si256(out + 0, _mm256_permute2x128_si256(u0, u4, 0x20));
  _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(u1, u5, 0x20));
  _mm256_storeu_si256(out + 2, _mm256_permute2x128_si256(u2, u6, 0x20));
  _mm256_storeu_si256(out + 3, _mm256_permute2x128_si256(u3, u7, 0x20));
  _mm256_storeu_si256(out + 4, _mm256_permute2x128_si256(u0, u4, 0x31));
  _mm256_storeu_si256(out + 5, _mm256_permute2x128_si256(u1, u5, 0x31));
  _mm256_storeu_si256(out + 6, _mm256_permute2x128_si256(u2, u6, 0x31));
  _mm256_storeu_si256(out + 7, _mm256_permute2x128_si256(u3, u7, 0x31));
}

KESTOL_TARGET_AVX2 bool idct_avx2_16(const i32* block, const i32* quant, i32* out) {
  const __m256i high = _mm256_set1_epi32(int(0xFFFF0000u));
  __m256i m[8];
  __m256i range = _mm256_setzero_si256();
  for (int r = 0; r < 8; ++r) {
    m[r] = _mm256_mullo_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + r * 8)),
                              _mm256_loadu_si256(reinterpret_cast<const __m256i*>(quant + r * 8)));
    range = _mm256_or_si256(range, out_of_range(m[r]));
  }
  if (!_mm256_testz_si256(range, high)) return false;
  __m256i o[8];
  idct_1d_madd(make_pairs(m), o);
  range = _mm256_setzero_si256();
  for (int r = 0; r < 8; ++r) {
    o[r] = _mm256_srai_epi32(_mm256_add_epi32(o[r], _mm256_set1_epi32(1024)), 11);
    range = _mm256_or_si256(range, out_of_range(o[r]));
  }
  if (!_mm256_testz_si256(range, high)) return false;
  // Regroup for pass 2 in 16-bit lanes: rows r and r + 4 packed side by side, each row's
  // words reordered to the pairs (c0,c4) (c2,c6) (c1,c3) (c5,c7), then a 4 x 4 transpose
  // of those pairs gives each pair for rows 0..7 in one register.
  const __m256i order = _mm256_setr_epi8(0, 1, 8, 9, 4, 5, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15,
                                         0, 1, 8, 9, 4, 5, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15);
  __m256i x[4];
  for (int r = 0; r < 4; ++r)
    x[r] = _mm256_shuffle_epi8(
        _mm256_permute4x64_epi64(_mm256_packs_epi32(o[r], o[r + 4]), 0xD8), order);
  const __m256i t0 = _mm256_unpacklo_epi32(x[0], x[1]), t1 = _mm256_unpackhi_epi32(x[0], x[1]);
  const __m256i t2 = _mm256_unpacklo_epi32(x[2], x[3]), t3 = _mm256_unpackhi_epi32(x[2], x[3]);
  // Lanes are rows 0, 1, 2, 3, 4, 5, 6, 7 after the in-lane transpose.
  const Pairs rows{_mm256_unpacklo_epi64(t0, t2), _mm256_unpackhi_epi64(t0, t2),
                   _mm256_unpacklo_epi64(t1, t3), _mm256_unpackhi_epi64(t1, t3)};
  idct_1d_madd(rows, m);
  // With 16-bit inputs every output lies within +-61214 * 32768, so adding the level
  // shift before the shift cannot wrap and gives the same value as adding it after.
  for (int c = 0; c < 8; ++c)
    m[c] = _mm256_srai_epi32(_mm256_add_epi32(m[c], _mm256_set1_epi32(131072 + (128 << 18))), 18);
  store_transposed(m, out);
  return true;
}

KESTOL_TARGET_AVX2 void idct_avx2(i32* coef, const i32* quant, i32* out) {
  if (idct_avx2_16(coef, quant, out)) {
    // Written out: as a loop it is turned into a string store, slower for 256 bytes.
    const __m256i z = _mm256_setzero_si256();
    __m256i* c = reinterpret_cast<__m256i*>(coef);
    _mm256_storeu_si256(c + 0, z);
    _mm256_storeu_si256(c + 1, z);
    _mm256_storeu_si256(c + 2, z);
    _mm256_storeu_si256(c + 3, z);
    _mm256_storeu_si256(c + 4, z);
    _mm256_storeu_si256(c + 5, z);
    _mm256_storeu_si256(c + 6, z);
    _mm256_storeu_si256(c + 7, z);
    return;
  }
  std::memcpy(out, coef, 64 * sizeof(i32));
  std::memset(coef, 0, 64 * sizeof(i32));
  idct_body<true>(out, quant);
}
#endif
void idct_generic(i32* coef, const i32* quant, i32* out) {
  std::memcpy(out, coef, 64 * sizeof(i32));
  std::memset(coef, 0, 64 * sizeof(i32));
  idct_body<false>(out, quant);
}

}  // namespace

void jpeg_idct_plain(i32* coef, const i32* quant, i32* out) { idct_generic(coef, quant, out); }

#if KESTOL_HAVE_AVX2_BUILD
KESTOL_TARGET_AVX2 void jpeg_idct_avx2(i32* coef, const i32* quant, i32* out) {
  idct_avx2(coef, quant, out);
}
#endif

void idct_8x8(i32* block, const i32* quant) {
  alignas(32) i32 coef[64];
  std::memcpy(coef, block, sizeof coef);
  image_kernels().idct(coef, quant, block);
}
