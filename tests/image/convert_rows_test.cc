// The row conversions at every width, so the fast paths' tails are covered too.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "image/image_kernels.h"
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

// Every version of the rgb24-to-argb32 row writes what the pixel rule says, and nothing
// past the row.
TEST(ConvertRows, EveryRgbToArgbVersionMatchesThePixelRule) {
  std::mt19937 rng(11);
  for (int k = 0; k < image_kernel_count(); ++k) {
    const ImageKernels& kernels = image_kernel(k);
    for (std::uint32_t width = 0; width < 70; ++width) {
      std::vector<std::uint8_t> source(3 * width + 16), out(4 * width + 16, 0xCD);
      for (auto& b : source) b = static_cast<std::uint8_t>(rng());
      kernels.rgb_to_argb_row(source.data(), out.data(), width);
      for (std::uint32_t x = 0; x < width; ++x) {
        const std::uint8_t want[4] = {source[3 * x + 2], source[3 * x + 1], source[3 * x], 0xFF};
        ASSERT_EQ(0, std::memcmp(&out[4 * x], want, 4)) << kernels.name << " " << width << " " << x;
      }
      for (std::size_t i = 4 * width; i < out.size(); ++i) ASSERT_EQ(out[i], 0xCD) << kernels.name;
    }
  }
}
