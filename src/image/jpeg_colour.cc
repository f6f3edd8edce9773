// Colour conversion of one whole MCU, eight pixels per step: the same fixed-point
// formula as ycc_to_rgb, on unsigned lanes so overflow wraps, shifts on signed lanes.
#include <cstring>

#include "image/jpeg_colour.h"

namespace {
using u8 = std::uint8_t;
using u32 = std::uint32_t;
using i32 = std::int32_t;
typedef u32 vu __attribute__((vector_size(32)));
typedef i32 vs __attribute__((vector_size(32)));
}  // namespace

// An AVX2 clone picked at load time where the platform can (ELF ifunc); elsewhere (the
// Windows build) the default code alone.
#ifdef __ELF__
__attribute__((target_clones("avx2", "default")))
#endif
void jpeg_mcu_to_rgb(const std::int32_t (*blocks)[64], unsigned hs, unsigned vs_factor,
                     std::uint8_t* out, std::uint32_t pitch) {
  const unsigned mcu_w = 8 * hs, mcu_h = 8 * vs_factor;
  for (unsigned r = 0; r < mcu_h; ++r) {
    const i32* cb_row = blocks[4] + (vs_factor == 2 ? r / 2 : r) * 8;
    const i32* cr_row = blocks[5] + (vs_factor == 2 ? r / 2 : r) * 8;
    u8* row = out + std::size_t(r) * pitch;
    for (unsigned half = 0; half < hs; ++half) {
      const i32* y_src = blocks[(r / 8) * hs + half] + (r % 8) * 8;
      vu y, cb, cr;
      std::memcpy(&y, y_src, sizeof y);
      if (hs == 1) {
        std::memcpy(&cb, cb_row, sizeof cb);
        std::memcpy(&cr, cr_row, sizeof cr);
      } else {
        const i32* cbh = cb_row + 4 * half;
        const i32* crh = cr_row + 4 * half;
        cb = vu{u32(cbh[0]), u32(cbh[0]), u32(cbh[1]), u32(cbh[1]),
                u32(cbh[2]), u32(cbh[2]), u32(cbh[3]), u32(cbh[3])};
        cr = vu{u32(crh[0]), u32(crh[0]), u32(crh[1]), u32(crh[1]),
                u32(crh[2]), u32(crh[2]), u32(crh[3]), u32(crh[3])};
      }
      vu y16 = y << 16;
      cb -= 128u;
      cr -= 128u;
      vs r_ = (vs)(y16 + cr * 91881u) >> 16;
      vs g_ = (vs)(y16 - cr * 46802u - cb * 22554u) >> 16;
      vs b_ = (vs)(y16 + cb * 116130u) >> 16;
      const vs zero = {0, 0, 0, 0, 0, 0, 0, 0};
      const vs top = {255, 255, 255, 255, 255, 255, 255, 255};
      r_ = r_ < zero ? zero : r_;
      r_ = r_ > top ? top : r_;
      g_ = g_ < zero ? zero : g_;
      g_ = g_ > top ? top : g_;
      b_ = b_ < zero ? zero : b_;
      b_ = b_ > top ? top : b_;
      u8* p = row + half * 24;
      for (int i = 0; i < 8; ++i) {
        p[3 * i] = u8(r_[i]);
        p[3 * i + 1] = u8(g_[i]);
        p[3 * i + 2] = u8(b_[i]);
      }
    }
  }
  (void)mcu_w;
}
