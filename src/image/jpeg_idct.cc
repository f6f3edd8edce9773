// Integer inverse DCT (Loeffler-Ligtenberg-Moschytz, 13 fractional bits, two extra bits
// between the passes), eight lanes at a time. Arithmetic is on unsigned words so that
// overflow from corrupt coefficients wraps exactly like 32-bit two's-complement hardware;
// shifts go through signed lanes (arithmetic). An AVX2 build is picked where the CPU has it.
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "image/cpu_dispatch.h"
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
KESTOL_TARGET_AVX2 void idct_avx2(i32* block, const i32* quant) { idct_body<true>(block, quant); }
#endif
void idct_generic(i32* block, const i32* quant) { idct_body<false>(block, quant); }

}  // namespace

void idct_8x8(i32* block, const i32* quant) {
#if KESTOL_HAVE_AVX2_BUILD
  if (cpu_has_avx2()) return idct_avx2(block, quant);
#endif
  idct_generic(block, quant);
}
