// Integer inverse DCT (Loeffler-Ligtenberg-Moschytz, 13 fractional bits, two extra bits
// between the passes). Arithmetic is done on unsigned words so overflow from corrupt
// coefficients wraps exactly like two's-complement 32-bit hardware; shifts go through
// int32 (arithmetic in C++20).
#include <cstring>

#include "image/jpeg_decoder.h"

namespace {

using u32 = std::uint32_t;
using i32 = std::int32_t;

inline i32 sar(u32 v, int n) { return static_cast<i32>(v) >> n; }

// One 1-D pass over eight inputs; outputs before rounding.
inline void idct_1d(u32 i0, u32 i1, u32 i2, u32 i3, u32 i4, u32 i5, u32 i6, u32 i7, u32* o) {
  u32 z1 = (i2 + i6) * 4433u;
  u32 t2 = z1 - i6 * 15137u;
  u32 t3 = z1 + i2 * 6270u;
  u32 t0 = (i0 + i4) * 8192u;
  u32 t1 = (i0 - i4) * 8192u;
  u32 a0 = t0 + t3, a3 = t0 - t3, a1 = t1 + t2, a2 = t1 - t2;

  u32 y1 = i7 + i1, y2 = i5 + i3, y3 = i7 + i3, y4 = i5 + i1;
  u32 z5 = (y3 + y4) * 9633u;
  u32 b0 = i7 * 2446u, b1 = i5 * 16819u, b2 = i3 * 25172u, b3 = i1 * 12299u;
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

}  // namespace

void idct_8x8(i32* block, const i32* quant) {
  u32 ws[64];
  u32 o[8];
  for (int c = 0; c < 8; ++c) {
    const i32* in = block + c;
    if ((in[8] | in[16] | in[24] | in[32] | in[40] | in[48] | in[56]) == 0) {
      u32 dc = static_cast<u32>(in[0]) * static_cast<u32>(quant[c]) * 4u;
      for (int r = 0; r < 8; ++r) ws[r * 8 + c] = dc;
      continue;
    }
    u32 v[8];
    for (int r = 0; r < 8; ++r) v[r] = static_cast<u32>(in[r * 8]) * static_cast<u32>(quant[r * 8 + c]);
    idct_1d(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], o);
    for (int r = 0; r < 8; ++r) ws[r * 8 + c] = static_cast<u32>(sar(o[r] + 1024u, 11));
  }
  for (int r = 0; r < 8; ++r) {
    const u32* w = ws + r * 8;
    i32* out = block + r * 8;
    if ((w[1] | w[2] | w[3] | w[4] | w[5] | w[6] | w[7]) == 0) {
      // The full pass gives the same value in every column when only w[0] is set.
      i32 v = sar(w[0] * 8192u + 131072u, 18) + 128;
      for (int c = 0; c < 8; ++c) out[c] = v;
      continue;
    }
    idct_1d(w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], o);
    for (int c = 0; c < 8; ++c) out[c] = sar(o[c] + 131072u, 18) + 128;
  }
}
