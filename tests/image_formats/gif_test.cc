#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "tests/image_formats/gif_writer.h"

#if __has_include(<stb/stb_image.h>)
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_GIF
#define STBI_NO_STDIO
#include <stb/stb_image.h>
#define HAVE_STB 1
#endif

namespace {

using namespace image_formats_test;

Bytes grey_table(unsigned entries) {
  Bytes t;
  for (unsigned i = 0; i < entries; ++i) t.insert(t.end(), {std::uint8_t(i), std::uint8_t(i * 3), std::uint8_t(255 - i)});
  return t;
}

Bytes random_pixels(std::mt19937& rng, std::size_t n, unsigned colours, unsigned run_bias) {
  Bytes p(n);
  std::uint8_t last = 0;
  for (auto& v : p) {
    if (rng() % 100 >= run_bias) last = std::uint8_t(rng() % colours);
    v = last;
  }
  return p;
}

TEST(Gif, RoundTripsThroughTheEncoderAtEveryCodeSize) {
  std::mt19937 rng(7);
  for (unsigned min_code = 2; min_code <= 11; ++min_code) {
    GifSpec s;
    s.width = 1 + rng() % 90;
    s.height = 1 + rng() % 60;
    s.min_code_size = min_code;
    s.global_bits = 7;
    s.global_table = grey_table(256);
    const unsigned colours = min_code >= 8 ? 256 : 1u << min_code;
    s.pixels = random_pixels(rng, s.width * s.height, colours, min_code * 8);
    s.block_size = 1 + rng() % 255;  // codes straddle sub-blocks of any length
    Decoded d = decode_bytes(make_gif(s), PixelFormat::indexed8);
    ASSERT_TRUE(d.ok) << min_code;
    EXPECT_EQ(d.formats, std::vector<PixelFormat>{PixelFormat::indexed8});
    EXPECT_EQ(d.pixels, s.pixels) << "min code size " << min_code;
    EXPECT_EQ(d.palette, s.global_table);
  }
}

TEST(Gif, FullTableKeepsTwelveBitCodesWithOrWithoutClear) {
  std::mt19937 rng(11);
  for (bool clear : {true, false}) {
    GifSpec s;
    s.width = 300;
    s.height = 200;  // enough random data to fill the table many times over
    s.global_bits = 7;
    s.global_table = grey_table(256);  // red = index
    s.pixels = random_pixels(rng, s.width * s.height, 256, 30);
    s.clear_when_full = clear;
    const Bytes file = make_gif(s);
    Decoded d = decode_bytes(file, PixelFormat::indexed8);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, s.pixels) << "clear when full " << clear;
#ifdef HAVE_STB
    // An independent decoder agrees that the writer's stream means these pixels (it
    // refuses codes past a full table, so only the stream with clear codes).
    if (!clear) continue;
    int w = 0, h = 0, comp = 0;
    stbi_uc* rgba = stbi_load_from_memory(file.data(), int(file.size()), &w, &h, &comp, 4);
    ASSERT_NE(rgba, nullptr) << stbi_failure_reason() << " clear " << clear;
    for (std::size_t i = 0; i < s.pixels.size(); ++i)
      ASSERT_EQ(rgba[i * 4], s.pixels[i]) << i;
    stbi_image_free(rgba);
#endif
  }
}

TEST(Gif, CodeEqualToNextCodeRepeatsThePreviousStringPlusItsFirstCharacter) {
  // Minimum code size 2: clear (4), 1, 6 (= next_code), end (5), 3 bits each.
  GifSpec s;
  s.width = 4;
  s.global_bits = 1;
  Bytes f = make_gif(s);
  f.resize(f.size() - 5);  // drop the writer's data: size byte, code bytes, terminator, trailer
  while (f.back() != 8) f.pop_back();
  f.back() = 2;
  put(f, {0x02, 0x8C, 0x0B, 0x00, 0x3B});
  Decoded d = decode_bytes(f, PixelFormat::indexed8);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.pixels, (Bytes{1, 1, 1, 0}));  // the pixel after the end code is 0

  // Long runs of one colour produce that case at every string length.
  s.width = 1000;
  s.min_code_size = 2;
  s.pixels.assign(1000, 3);
  d = decode_bytes(make_gif(s), PixelFormat::indexed8);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.pixels, s.pixels);
}

TEST(Gif, ExtensionsAreSkippedAndTransparencyListsArgb) {
  GifSpec s;
  s.width = 4;
  s.height = 2;
  s.global_bits = 2;
  s.global_table = grey_table(8);
  s.before_image = comment_extension("made for a test, longer than one block");
  put(s.before_image, netscape_extension());
  s.transparent = true;
  s.transparent_index = 5;
  s.pixels = {0, 5, 1, 5, 7, 6, 5, 2};
  const Bytes file = make_gif(s);
  Decoded d = decode_bytes(file, PixelFormat::indexed8);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.formats, (std::vector<PixelFormat>{PixelFormat::indexed8, PixelFormat::argb32}));
  EXPECT_EQ(d.pixels, s.pixels);
  d = decode_bytes(file, PixelFormat::argb32);
  ASSERT_TRUE(d.ok);
  for (std::size_t i = 0; i < s.pixels.size(); ++i) {
    const unsigned c = s.pixels[i];
    EXPECT_EQ(d.pixels[i * 4 + 3], c == 5 ? 0 : 255) << i;
    EXPECT_EQ(d.pixels[i * 4 + 2], c);          // R
    EXPECT_EQ(d.pixels[i * 4 + 1], c * 3);      // G
    EXPECT_EQ(d.pixels[i * 4 + 0], 255 - c);    // B
  }
  // Without transparency argb32 comes from indexed8 through the front-end: alpha 255.
  s.transparent = false;
  d = decode_bytes(make_gif(s), PixelFormat::argb32);
  ASSERT_TRUE(d.ok);
  for (std::size_t i = 0; i < s.pixels.size(); ++i) EXPECT_EQ(d.pixels[i * 4 + 3], 255);
}

TEST(Gif, InterlacedRowsComeInFourPasses) {
  GifSpec s;
  s.width = 1;
  s.height = 10;
  s.global_bits = 3;
  s.interlaced = true;
  s.pixels = {0, 5, 3, 6, 2, 7, 4, 8, 1, 9};  // row y holds its position in the file
  Bytes f = make_gif(s);
  // The writer stores the rows interlaced: 0, 8, 4, 2, 6, 1, 3, 5, 7, 9.
  Decoded d = decode_bytes(f, PixelFormat::indexed8);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.pixels, s.pixels);
  s.interlaced = false;
  s.pixels = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  Bytes plain = make_gif(s);
  // The same stored sequence read as interlaced lands in pass order.
  plain[6 + 7 + 16 * 3 + 9] |= 0x40;
  d = decode_bytes(plain, PixelFormat::indexed8);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.pixels, (Bytes{0, 5, 3, 6, 2, 7, 4, 8, 1, 9}));
}

TEST(Gif, LocalTableReplacesTheGlobalOneAndMissingTablesClear) {
  GifSpec s;
  s.width = 2;
  s.global_bits = 7;
  s.global_table = Bytes(768, 0x11);
  s.local_bits = 3;  // 16 entries
  s.local_table = grey_table(16);
  s.pixels = {15, 3};
  Decoded d = decode_bytes(make_gif(s), PixelFormat::indexed8);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(Bytes(d.palette.begin(), d.palette.begin() + 48), grey_table(16));
  EXPECT_EQ(d.palette[48], 0xEE);
  EXPECT_EQ(d.pixels, (Bytes{15, 3}));

  GifSpec none;
  none.width = 2;
  none.pixels = {1, 0};
  d = decode_bytes(make_gif(none), PixelFormat::indexed8);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(Bytes(d.palette.begin(), d.palette.begin() + 7), (Bytes{0, 0, 0, 0, 0, 0, 0xEE}));
}

TEST(Gif, RefusedHeaders) {
  GifSpec s;
  s.global_bits = 0;
  s.pixels = {1};
  EXPECT_TRUE(decode_bytes(make_gif(s), PixelFormat::indexed8).ok);
  Bytes f = make_gif(s);
  Bytes t = f;
  t[2] = 'X';
  EXPECT_FALSE(decode_bytes(t, PixelFormat::indexed8).header);
  t = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B, 0, 0, 0};  // trailer first
  EXPECT_FALSE(decode_bytes(t, PixelFormat::indexed8).header);
  for (unsigned code : {0u, 1u, 12u, 255u}) {
    GifSpec m = s;
    m.min_code_size = code;
    t = make_gif(s);
    t[6 + 7 + 6 + 10] = std::uint8_t(code);
    EXPECT_FALSE(decode_bytes(t, PixelFormat::indexed8).header) << code;
  }
  t = f;
  t.resize(6 + 7 + 3);  // inside the global table
  EXPECT_FALSE(decode_bytes(t, PixelFormat::indexed8).header);
}

TEST(Gif, CorruptOrShortDataGivesPixelsNotFailures) {
  std::mt19937 rng(5);
  GifSpec s;
  s.width = 40;
  s.height = 30;
  s.global_bits = 7;
  s.pixels = random_pixels(rng, 1200, 256, 50);
  const Bytes good = make_gif(s);
  const std::size_t data_start = 6 + 7 + 768 + 10 + 1;
  // Cut short: the decoded pixels past the end are 0.
  Bytes cut(good.begin(), good.begin() + data_start + 100);
  Decoded d = decode_bytes(cut, PixelFormat::indexed8);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.pixels.back(), 0);
  // Random bytes in the data: still decodes, never outside the buffers.
  for (int round = 0; round < 200; ++round) {
    Bytes bad = good;
    for (int k = 0; k < 8; ++k) bad[data_start + rng() % (bad.size() - data_start)] = std::uint8_t(rng());
    EXPECT_TRUE(decode_bytes(bad, PixelFormat::indexed8).header);
  }
}

}  // namespace
