// The row conversions at every width, so the fast paths' tails are covered too.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "image/image_reader.h"

namespace {

TEST(ConvertRows, Rgb24ToArgb32AtEveryWidth) {
  std::mt19937 rng(3);
  for (std::uint32_t width = 1; width <= 70; ++width) {
    const std::uint32_t height = 3, src_pitch = width * 3 + 5, dst_pitch = width * 4 + 8;
    std::vector<std::uint8_t> src(src_pitch * height), dst(dst_pitch * height, 0xEE);
    for (auto& b : src) b = static_cast<std::uint8_t>(rng());
    ASSERT_TRUE(convert_pixels(src.data(), PixelFormat::rgb24, src_pitch, dst.data(),
                               PixelFormat::argb32, dst_pitch, width, height, nullptr));
    for (std::uint32_t y = 0; y < height; ++y) {
      for (std::uint32_t x = 0; x < width; ++x) {
        const std::uint8_t* s = &src[y * src_pitch + 3 * x];
        const std::uint8_t* d = &dst[y * dst_pitch + 4 * x];
        ASSERT_EQ(d[0], s[2]) << width << " " << x;  // B
        ASSERT_EQ(d[1], s[1]);                       // G
        ASSERT_EQ(d[2], s[0]);                       // R
        ASSERT_EQ(d[3], 0xFF);
      }
      for (std::uint32_t x = width * 4; x < dst_pitch; ++x)
        ASSERT_EQ(dst[y * dst_pitch + x], 0xEE) << "padding written at width " << width;
    }
  }
}

}  // namespace
