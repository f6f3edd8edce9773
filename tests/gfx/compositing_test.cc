// Compositing against a plain per-pixel reference written straight from the formulas.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "gfx/pixel_kernels.h"
#include "gfx/surface.h"

namespace {

struct Buffer {
  std::vector<std::uint32_t> words;
  Surface surface;
  Buffer(int w, int h, int pitch_pixels, std::uint32_t fill = 0)
      : words(static_cast<std::size_t>(pitch_pixels) * h + 8, fill),
        surface{words.data(), w, h, pitch_pixels * 4} {}
  std::uint32_t at(int x, int y) const { return words[y * (surface.pitch / 4) + x]; }
};

struct Source {
  std::vector<std::uint32_t> words;
  Picture picture;
  Source(int w, int h) : words(static_cast<std::size_t>(w) * h), picture{words.data(), w, h} {}
};

std::uint32_t ref_blend(std::uint32_t d, std::uint32_t s, std::uint32_t a) {
  std::uint32_t ia = 255 - a, out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    std::uint32_t dc = (d >> shift) & 0xFF, sc = (s >> shift) & 0xFF;
    out |= ((dc * ia + sc * a) >> 8) << shift;
  }
  return out;
}

enum class Op { blit, alpha, fade };

// The reference: visit every source pixel, draw it where it lands inside the destination.
void ref_draw(Buffer& dst, const Source& src, int x, int y, Op op, unsigned level) {
  level &= 0xFF;
  if (op == Op::fade && level == 0) return;
  if (op == Op::fade && level == 255) op = Op::blit;
  for (int sy = 0; sy < src.picture.height; ++sy)
    for (int sx = 0; sx < src.picture.width; ++sx) {
      long dx = static_cast<long>(x) + sx, dy = static_cast<long>(y) + sy;
      if (dx < 0 || dy < 0 || dx >= dst.surface.width || dy >= dst.surface.height) continue;
      std::uint32_t s = src.words[sy * src.picture.width + sx];
      std::uint32_t& d = dst.words[dy * (dst.surface.pitch / 4) + dx];
      switch (op) {
        case Op::blit: d = s; break;
        case Op::alpha:
          if (s >> 24) d = ref_blend(d, s, s >> 24);
          break;
        case Op::fade: d = ref_blend(d, s, level); break;
      }
    }
}

void fill_random(std::vector<std::uint32_t>& words, std::mt19937& rng) {
  for (auto& w : words) {
    w = rng();
    // Alpha 0 and 255 are the interesting cases; make them common.
    switch (rng() % 4) {
      case 0: w &= 0x00FFFFFF; break;
      case 1: w |= 0xFF000000; break;
      default: break;
    }
  }
}

TEST(Compositing, RandomPlacementsMatchTheReference) {
  std::mt19937 rng(1234);
  for (int trial = 0; trial < 600; ++trial) {
    int dw = 1 + rng() % 40, dh = 1 + rng() % 30, pad = rng() % 3;
    int sw = 1 + rng() % 45, sh = 1 + rng() % 35;
    int x = static_cast<int>(rng() % 100) - 50, y = static_cast<int>(rng() % 80) - 40;
    Op op = static_cast<Op>(rng() % 3);
    unsigned level = rng() % 300;
    Buffer a(dw, dh, dw + pad), b(dw, dh, dw + pad);
    fill_random(a.words, rng);
    b.words = a.words;
    Source src(sw, sh);
    fill_random(src.words, rng);
    ref_draw(a, src, x, y, op, level);
    switch (op) {
      case Op::blit: surface_blit(b.surface, src.picture, x, y); break;
      case Op::alpha: surface_blit_alpha(b.surface, src.picture, x, y); break;
      case Op::fade: surface_blit_fade(b.surface, src.picture, x, y, level); break;
    }
    ASSERT_EQ(a.words, b.words) << "trial " << trial << " op " << static_cast<int>(op)
                                << " at " << x << "," << y << " level " << level;
  }
}

TEST(Compositing, EveryKernelVersionGivesIdenticalPixels) {
  std::mt19937 rng(99);
  const PixelKernels& plain = pixel_kernel(0);
  ASSERT_STREQ(plain.name, "plain");
  for (int k = 1; k < pixel_kernel_count(); ++k) {
    const PixelKernels& fast = pixel_kernel(k);
    for (int trial = 0; trial < 300; ++trial) {
      std::uint32_t n = 1 + rng() % 70;
      std::vector<std::uint32_t> src(n), d1(n);
      fill_random(src, rng);
      fill_random(d1, rng);
      auto d2 = d1;
      unsigned level = 1 + rng() % 254;
      plain.blend_alpha_row(d1.data(), src.data(), n);
      fast.blend_alpha_row(d2.data(), src.data(), n);
      ASSERT_EQ(d1, d2) << fast.name << " alpha n=" << n;
      plain.blend_level_row(d1.data(), src.data(), n, level);
      fast.blend_level_row(d2.data(), src.data(), n, level);
      ASSERT_EQ(d1, d2) << fast.name << " level " << level;
      plain.scale_row(d1.data(), n, level);
      fast.scale_row(d2.data(), n, level);
      ASSERT_EQ(d1, d2) << fast.name << " scale " << level;
    }
  }
}

TEST(Compositing, BlendValuesFromTheFormula) {
  Buffer dst(1, 1, 1, 0x12345678);
  Source white(1, 1);
  white.words[0] = 0xFFFFFFFF;
  surface_blit_alpha(dst.surface, white.picture, 0, 0);
  EXPECT_EQ(dst.at(0, 0), 0x00FEFEFEu);  // full weight still loses one step

  Buffer black(1, 1, 1, 0);
  surface_blit_fade(black.surface, white.picture, 0, 0, 128);
  EXPECT_EQ(black.at(0, 0), 0x007F7F7Fu);

  Buffer keep(1, 1, 1, 0xAABBCCDD);
  Source transparent(1, 1);
  transparent.words[0] = 0x00FFFFFF;
  surface_blit_alpha(keep.surface, transparent.picture, 0, 0);
  EXPECT_EQ(keep.at(0, 0), 0xAABBCCDDu);  // alpha 0 is skipped, alpha byte kept
}

TEST(Compositing, FadeShortcutsAndLevels) {
  Source src(2, 1);
  src.words = {0x80FF0000, 0x01020304};
  Buffer dst(2, 1, 2, 0xDEADBEEF);
  surface_blit_fade(dst.surface, src.picture, 0, 0, 0);
  EXPECT_EQ(dst.at(0, 0), 0xDEADBEEFu);
  surface_blit_fade(dst.surface, src.picture, 0, 0, 255);
  EXPECT_EQ(dst.at(0, 0), 0x80FF0000u);  // exact copy, alpha included
  EXPECT_EQ(dst.at(1, 0), 0x01020304u);
  surface_blit_fade(dst.surface, src.picture, 0, 0, 0x100);  // only the low byte counts
  EXPECT_EQ(dst.at(1, 0), 0x01020304u);
}

TEST(Compositing, ClippingAtEveryEdge) {
  Source src(20, 10);
  for (int i = 0; i < 200; ++i) src.words[i] = 0xFF000000u | static_cast<std::uint32_t>(i);
  {
    Buffer dst(32, 16, 32);
    surface_blit(dst.surface, src.picture, -10, 0);  // columns 10.. at the left edge
    EXPECT_EQ(dst.at(0, 0), src.words[10]);
    EXPECT_EQ(dst.at(9, 3), src.words[3 * 20 + 19]);
    EXPECT_EQ(dst.at(10, 0), 0u);
  }
  {
    Buffer dst(32, 16, 32);
    surface_blit(dst.surface, src.picture, 31, 0);  // only the first column
    EXPECT_EQ(dst.at(31, 0), src.words[0]);
    EXPECT_EQ(dst.at(31, 9), src.words[9 * 20]);
    EXPECT_EQ(dst.at(30, 0), 0u);
  }
  {
    Buffer dst(32, 16, 32, 7);
    auto before = dst.words;
    surface_blit(dst.surface, src.picture, 32, 0);    // right of the surface
    surface_blit(dst.surface, src.picture, 0, 16);    // below
    surface_blit(dst.surface, src.picture, 0, -10);   // entirely above
    surface_blit(dst.surface, src.picture, -20, 0);   // entirely left
    surface_blit(dst.surface, src.picture, -2147483647 - 1, -2147483647 - 1);
    EXPECT_EQ(dst.words, before);
  }
  {
    Buffer dst(32, 16, 32);
    surface_blit(dst.surface, src.picture, 25, 12);  // bottom-right corner
    EXPECT_EQ(dst.at(25, 12), src.words[0]);
    EXPECT_EQ(dst.at(31, 15), src.words[3 * 20 + 6]);
  }
}

TEST(Compositing, FillRectAndClear) {
  Buffer dst(8, 4, 10, 0);
  surface_fill_rect(dst.surface, 5, 1, 100, 2, 0xABCDEF01);  // wider than the surface
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(dst.at(x, 1), x >= 5 ? 0xABCDEF01u : 0u);
    EXPECT_EQ(dst.at(x, 0), 0u);
  }
  EXPECT_EQ(dst.words[1 * 10 + 8], 0u);  // the pitch padding is never touched
  auto before = dst.words;
  surface_fill_rect(dst.surface, -5, 0, 5, 4, 1);  // ends just left of the surface
  surface_fill_rect(dst.surface, 0, 4, 5, 4, 1);
  surface_fill_rect(dst.surface, 0, -3, 5, 3, 1);
  EXPECT_EQ(dst.words, before);
  surface_fill_rect(dst.surface, -3, -1, 5, 2, 2);
  EXPECT_EQ(dst.at(0, 0), 2u);
  EXPECT_EQ(dst.at(1, 0), 2u);
  EXPECT_EQ(dst.at(2, 0), 0u);

  surface_clear(dst.surface, 0x55);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(dst.at(x, y), 0x55u);
  EXPECT_EQ(dst.words[8], 0u);  // padding kept
}

TEST(Compositing, SurfaceFadeScalesEveryByte) {
  Buffer dst(5, 3, 5, 0xFFFFFFFF);
  surface_fade(dst.surface, 128);
  EXPECT_EQ(dst.at(4, 2), 0x7F7F7F7Fu);
  surface_fade(dst.surface, 255);
  EXPECT_EQ(dst.at(0, 0), 0x7F7F7F7Fu);
  surface_fade(dst.surface, 0);
  EXPECT_EQ(dst.at(2, 1), 0u);

  std::mt19937 rng(5);
  std::vector<std::uint32_t> px(37);
  fill_random(px, rng);
  auto expect = px;
  for (auto& v : expect) {
    std::uint32_t out = 0;
    for (int s = 0; s < 32; s += 8) out |= ((((v >> s) & 0xFF) * 200u) >> 8) << s;
    v = out;
  }
  scale_pixels(px.data(), static_cast<std::uint32_t>(px.size()), 200);
  EXPECT_EQ(px, expect);
}

}  // namespace
