#include "image/quantise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

using Pixels = std::vector<std::uint8_t>;
using Rgb = std::array<std::uint8_t, 3>;

Pixels make_pixels(const std::vector<Rgb>& colours) {
  Pixels p;
  for (const auto& c : colours) p.insert(p.end(), c.begin(), c.end());
  return p;
}

// Plain median cut written from the rules, without the fast path's tricks.
struct RefBox {
  std::vector<Rgb> px;
  int sorted = -1;
  int lo[3], hi[3];
  void bounds() {
    for (int c = 0; c < 3; ++c) {
      lo[c] = 255;
      hi[c] = 0;
      for (const auto& p : px) {
        lo[c] = std::min<int>(lo[c], p[c]);
        hi[c] = std::max<int>(hi[c], p[c]);
      }
    }
  }
  unsigned vol() const { return unsigned(hi[0] - lo[0] + 1) * (hi[1] - lo[1] + 1) * (hi[2] - lo[2] + 1); }
};

std::vector<Rgb> reference_palette(const Pixels& pixels, unsigned max_colours) {
  std::vector<RefBox> boxes(1);
  for (std::size_t i = 0; i < pixels.size(); i += 3)
    boxes[0].px.push_back({pixels[i], pixels[i + 1], pixels[i + 2]});
  if (boxes[0].px.empty()) return {};
  boxes[0].bounds();
  while (boxes.size() < max_colours) {
    RefBox& b = boxes.back();
    if (b.vol() <= 1) break;
    const int d0 = b.hi[0] - b.lo[0], d1 = b.hi[1] - b.lo[1], d2 = b.hi[2] - b.lo[2];
    const int axis = (d0 > d1 && d0 > d2) ? 0 : (d2 < d1 ? 1 : 2);
    if (b.sorted != axis)
      std::stable_sort(b.px.begin(), b.px.end(),
                       [axis](const Rgb& x, const Rgb& y) { return x[axis] < y[axis]; });
    const std::size_t half = b.px.size() / 2;
    RefBox upper;
    upper.px.assign(b.px.begin() + half, b.px.end());
    b.px.resize(half);
    b.sorted = upper.sorted = axis;
    b.bounds();
    upper.bounds();
    boxes.push_back(upper);
    std::stable_sort(boxes.begin(), boxes.end(),
                     [](const RefBox& x, const RefBox& y) { return x.vol() < y.vol(); });
  }
  std::vector<Rgb> out;
  for (const auto& b : boxes) {
    unsigned long s[3] = {0, 0, 0};
    for (const auto& p : b.px)
      for (int c = 0; c < 3; ++c) s[c] += p[c];
    out.push_back({std::uint8_t(s[0] / b.px.size()), std::uint8_t(s[1] / b.px.size()),
                   std::uint8_t(s[2] / b.px.size())});
  }
  return out;
}

unsigned reference_nearest(const std::uint8_t* pal, unsigned count, int r, int g, int b) {
  unsigned best = 0;
  int best_d = 1 << 30;
  for (unsigned i = 0; i < count; ++i) {
    const int d = 2 * std::abs(r - pal[i * 3]) + 3 * std::abs(g - pal[i * 3 + 1]) +
                  std::abs(b - pal[i * 3 + 2]);
    if (d < best_d) best_d = d, best = i;
  }
  return best;
}

std::vector<Rgb> run_build(const Pixels& pixels, std::uint32_t w, std::uint32_t h,
                           std::uint32_t max_colours = 256) {
  std::vector<std::uint8_t> pal(768, 0xEE);
  const std::uint32_t n = build_palette(pixels.data(), w, h, w * 3, pal.data(), max_colours);
  for (std::size_t i = n * 3; i < pal.size(); ++i) EXPECT_EQ(pal[i], 0xEE) << "entry past count";
  std::vector<Rgb> out;
  for (std::uint32_t i = 0; i < n; ++i) out.push_back({pal[i * 3], pal[i * 3 + 1], pal[i * 3 + 2]});
  return out;
}

TEST(BuildPalette, OneColourGivesOneEntryAndIndexZero) {
  const Pixels px = make_pixels(std::vector<Rgb>(12, Rgb{12, 34, 56}));
  const auto pal = run_build(px, 4, 3);
  ASSERT_EQ(pal.size(), 1u);
  EXPECT_EQ(pal[0], (Rgb{12, 34, 56}));
  std::vector<std::uint8_t> idx(12, 9);
  map_to_palette(idx.data(), 4, px.data(), 12, 4, 3, pal[0].data(), 1);
  for (auto v : idx) EXPECT_EQ(v, 0);
}

TEST(BuildPalette, EqualExtentsSplitOnBlueAndGiveBlackAndWhite) {
  std::vector<Rgb> c;
  for (int i = 0; i < 10; ++i) c.push_back({0, 0, 0}), c.push_back({255, 255, 255});
  const auto pal = run_build(make_pixels(c), 20, 1);
  ASSERT_EQ(pal.size(), 2u);
  std::vector<Rgb> sorted = pal;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted[0], (Rgb{0, 0, 0}));
  EXPECT_EQ(sorted[1], (Rgb{255, 255, 255}));
}

TEST(BuildPalette, ThreeBlackOneWhiteGivesTwoBlackEntries) {
  const Pixels px = make_pixels({{0, 0, 0}, {255, 255, 255}, {0, 0, 0}, {0, 0, 0}});
  const auto pal = run_build(px, 2, 2);
  ASSERT_EQ(pal.size(), 3u);
  EXPECT_EQ(std::count(pal.begin(), pal.end(), Rgb{0, 0, 0}), 2);
  EXPECT_EQ(std::count(pal.begin(), pal.end(), Rgb{255, 255, 255}), 1);
}

TEST(BuildPalette, SplitAxisIsTheWidestChannelMeansRoundDown) {
  // Red spans 0..200, green 0..10, blue constant: split on red; the lower half's mean of
  // red 0 and 1 rounds down to 0.
  const Pixels px = make_pixels({{0, 0, 7}, {1, 10, 7}, {200, 0, 7}, {199, 3, 7}});
  const auto pal = run_build(px, 4, 1, 2);
  ASSERT_EQ(pal.size(), 2u);
  std::vector<Rgb> sorted = pal;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted[0], (Rgb{0, 5, 7}));
  EXPECT_EQ(sorted[1], (Rgb{199, 1, 7}));
}

TEST(BuildPalette, EmptyImageGivesNoEntries) {
  std::uint8_t pal[768] = {};
  const std::uint8_t one[3] = {1, 2, 3};
  EXPECT_EQ(build_palette(one, 0, 5, 0, pal, 256), 0u);
  EXPECT_EQ(build_palette(one, 5, 0, 15, pal, 256), 0u);
}

TEST(BuildPalette, HonoursPitchAndMaxColours) {
  // Two rows of 2 pixels with 5 junk bytes after each row.
  const std::uint32_t pitch = 11;
  std::vector<std::uint8_t> rows(pitch * 2, 0x77);
  const std::uint8_t a[6] = {10, 10, 10, 20, 20, 20}, b[6] = {30, 30, 30, 40, 40, 40};
  std::copy(a, a + 6, rows.begin());
  std::copy(b, b + 6, rows.begin() + pitch);
  std::uint8_t pal[768];
  ASSERT_EQ(build_palette(rows.data(), 2, 2, pitch, pal, 256), 4u);
  std::vector<Rgb> got;
  for (int i = 0; i < 4; ++i) got.push_back({pal[i * 3], pal[i * 3 + 1], pal[i * 3 + 2]});
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<Rgb>{{10, 10, 10}, {20, 20, 20}, {30, 30, 30}, {40, 40, 40}}));
  EXPECT_EQ(build_palette(rows.data(), 2, 2, pitch, pal, 3), 3u);
}

TEST(BuildPalette, MatchesReferenceOnRandomPictures) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 30; ++round) {
    const std::uint32_t w = 1 + rng() % 40, h = 1 + rng() % 30;
    // Narrow value ranges make many ties in volumes and duplicates in pixels.
    const unsigned spread = (round % 3 == 0) ? 4 : (round % 3 == 1 ? 40 : 256);
    Pixels px(w * h * 3);
    for (auto& v : px) v = std::uint8_t(rng() % spread);
    const unsigned max_colours = (round % 4 == 0) ? 1 + rng() % 256 : 256;
    EXPECT_EQ(run_build(px, w, h, max_colours), reference_palette(px, max_colours))
        << "round " << round;
  }
}

TEST(NearestPaletteIndex, WeightsAndTies) {
  const std::uint8_t pal[] = {10, 0, 0, 0, 7, 0, 0, 0, 20};
  EXPECT_EQ(nearest_palette_index(pal, 3, 0, 0, 0), 0u);  // 20, 21, 20: first of the ties
  EXPECT_EQ(nearest_palette_index(pal + 3, 2, 0, 0, 0), 1u);  // 21 vs 20
  EXPECT_EQ(nearest_palette_index(pal, 2, 0, 0, 0), 0u);      // 20 vs 21
  // A pixel at equal distance from entries 3 and 7 maps to 3.
  std::uint8_t p8[24] = {};
  for (int i = 0; i < 8; ++i) p8[i * 3] = p8[i * 3 + 1] = p8[i * 3 + 2] = 250;
  p8[9] = 100, p8[10] = 100, p8[11] = 110;  // entry 3: distance 10
  p8[21] = 100, p8[22] = 100, p8[23] = 90;  // entry 7: distance 10
  EXPECT_EQ(nearest_palette_index(p8, 8, 100, 100, 100), 3u);
  EXPECT_EQ(nearest_palette_index(p8, 0, 1, 2, 3), 0u);
}

TEST(MapToPalette, WhiteIsNotMistakenForAnEmptyCacheSlot) {
  const std::uint8_t pal[6] = {0, 0, 0, 10, 10, 10};
  const std::uint8_t white[6] = {255, 255, 255, 255, 255, 255};
  std::uint8_t out[2] = {9, 9};
  map_to_palette(out, 2, white, 6, 2, 1, pal, 2);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[1], 1);
  map_to_palette(out, 2, white, 6, 2, 1, pal, 1);
  EXPECT_EQ(out[0], 0);
}

TEST(MapToPalette, MatchesPlainSearchAndKeepsRowGaps) {
  std::mt19937 rng(99);
  for (int round = 0; round < 80; ++round) {
    const unsigned count = 1 + rng() % 256;
    std::vector<std::uint8_t> pal(count * 3);
    for (auto& v : pal) v = std::uint8_t(rng() % (round % 2 ? 8 : 256));
    const std::uint32_t w = 1 + rng() % 50, h = 1 + rng() % 20;
    const std::uint32_t src_pitch = w * 3 + rng() % 4, dst_pitch = w + rng() % 4;
    std::vector<std::uint8_t> src(src_pitch * h);
    for (auto& v : src) v = std::uint8_t(rng() % (round % 2 ? 8 : 256));
    std::vector<std::uint8_t> dst(dst_pitch * h, 0xAB);
    map_to_palette(dst.data(), dst_pitch, src.data(), src_pitch, w, h, pal.data(), count);
    for (std::uint32_t y = 0; y < h; ++y)
      for (std::uint32_t x = 0; x < dst_pitch; ++x) {
        const std::uint8_t* s = &src[y * src_pitch + x * 3];
        if (x < w)
          ASSERT_EQ(dst[y * dst_pitch + x], reference_nearest(pal.data(), count, s[0], s[1], s[2]));
        else
          ASSERT_EQ(dst[y * dst_pitch + x], 0xAB);
      }
  }
}

}  // namespace
