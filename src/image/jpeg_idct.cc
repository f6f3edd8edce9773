// Integer inverse DCT (Loeffler-Ligtenberg-Moschytz, 13 fractional bits, two extra bits
// between the passes), eight lanes at a time. Arithmetic is on unsigned words so that
// overflow from corrupt coefficients wraps exactly like 32-bit two's-complement hardware;
// shifts go through signed lanes (arithmetic). Built for AVX2 where the CPU has it.
#include <cstring>

#include "image/jpeg_decoder.h"

namespace {

using u32 = std::uint32_t;
using i32 = std::int32_t;
typedef u32 vu __attribute__((vector_size(32)));
typedef i32 vs __attribute__((vector_size(32)));

#define SAR(v, n) ((vu)((vs)(v) >> (n)))

// One 1-D pass on eight lanes; outputs before rounding.
inline void idct_1d(const vu* i, vu* o) {
  vu z1 = (i[2] + i[6]) * 4433u;
  vu t2 = z1 - i[6] * 15137u;
  vu t3 = z1 + i[2] * 6270u;
  vu t0 = (i[0] + i[4]) * 8192u;
  vu t1 = (i[0] - i[4]) * 8192u;
  vu a0 = t0 + t3, a3 = t0 - t3, a1 = t1 + t2, a2 = t1 - t2;

  vu y1 = i[7] + i[1], y2 = i[5] + i[3], y3 = i[7] + i[3], y4 = i[5] + i[1];
  vu z5 = (y3 + y4) * 9633u;
  vu b0 = i[7] * 2446u, b1 = i[5] * 16819u, b2 = i[3] * 25172u, b3 = i[1] * 12299u;
  y1 *= static_cast<u32>(-7373);
  y2 *= static_cast<u32>(-20995);
  y3 = y3 * static_cast<u32>(-16069) + z5;
  y4 = y4 * static_cast<u32>(-3196) + z5;
  b0 += y1 + y3;
  b1 += y2 + y4;
  b2 += y2 + y3;
  b3 += y1 + y4;

  o[0] = a0 + b3; o[7] = a0 - b3;
  o[1] = a1 + b2; o[6] = a1 - b2;
  o[2] = a2 + b1; o[5] = a2 - b1;
  o[3] = a3 + b0; o[4] = a3 - b0;
}

inline void transpose(vu* m) {
  u32 t[64];
  std::memcpy(t, m, sizeof t);
  u32* out = reinterpret_cast<u32*>(m);
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c) out[c * 8 + r] = t[r * 8 + c];
}

}  // namespace

// An AVX2 clone picked at load time where the platform can (ELF ifunc); elsewhere (the
// Windows build) the default code alone.
#ifdef __ELF__
__attribute__((target_clones("avx2", "default")))
#endif
void idct_8x8(i32* block, const i32* quant) {
  vu in[8], ws[8], o[8];
  for (int r = 0; r < 8; ++r) {
    vu b, q;
    std::memcpy(&b, block + r * 8, sizeof b);
    std::memcpy(&q, quant + r * 8, sizeof q);
    in[r] = b * q;
  }
  // Pass 1 down the columns (lanes are columns). A column whose rows 1..7 are zero takes
  // the DC value times four; the other columns the rounded full pass.
  vu any = in[1] | in[2] | in[3] | in[4] | in[5] | in[6] | in[7];
  idct_1d(in, o);
  vu dc_only = (vu)(any == 0);  // all ones where the column has no AC coefficient
  vu dc = in[0] * 4u;
  for (int r = 0; r < 8; ++r) {
    vu full = SAR(o[r] + 1024u, 11);
    ws[r] = (dc & dc_only) | (full & ~dc_only);
  }
  // Pass 2 along the rows: transpose so lanes are rows, then back.
  transpose(ws);
  idct_1d(ws, o);
  for (int c = 0; c < 8; ++c) o[c] = SAR(o[c] + 131072u, 18) + 128u;
  transpose(o);
  std::memcpy(block, o, sizeof o);
}
