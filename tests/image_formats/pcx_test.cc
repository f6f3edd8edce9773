#include <gtest/gtest.h>

#include "tests/image_formats/format_test_util.h"

namespace {

using namespace image_formats_test;

Bytes pcx_header(unsigned width, unsigned height, unsigned planes, unsigned bytes_per_line,
                 unsigned version = 5) {
  Bytes h(128, 0);
  h[0] = 0x0A;
  h[1] = std::uint8_t(version);
  h[2] = 1;
  h[3] = 8;
  auto set16 = [&h](int at, unsigned v) {
    h[at] = std::uint8_t(v);
    h[at + 1] = std::uint8_t(v >> 8);
  };
  set16(4, 10);  // Xmin
  set16(6, 20);  // Ymin
  set16(8, 10 + width - 1);
  set16(10, 20 + height - 1);
  h[65] = std::uint8_t(planes);
  set16(66, bytes_per_line);
  return h;
}

Bytes palette_tail() {
  Bytes t = {0x0C};
  for (int i = 0; i < 256; ++i) t.insert(t.end(), {std::uint8_t(i), std::uint8_t(255 - i), 7});
  return t;
}

TEST(Pcx, RunsAndLiteralsWithThePaletteAfterTheData) {
  Bytes f = pcx_header(8, 2, 1, 8);
  // Row 0: run of five 0x33, a 0xC0 run writing nothing, literals 1, 2, 3.
  put(f, {0xC5, 0x33, 0xC0, 0x77, 1, 2, 3});
  // Row 1: a literal 0xC0 value needs a run of one; a run of 9 is cut at the line end.
  put(f, {0xC1, 0xC0, 0xC9, 0x44});
  put(f, palette_tail());
  Decoded d = decode_bytes(f, PixelFormat::indexed8);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.width, 8u);
  EXPECT_EQ(d.height, 2u);
  EXPECT_EQ(d.pixels, (Bytes{0x33, 0x33, 0x33, 0x33, 0x33, 1, 2, 3,  //
                             0xC0, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44}));
  EXPECT_EQ(Bytes(d.palette.begin() + 3, d.palette.begin() + 6), (Bytes{1, 254, 7}));
  EXPECT_EQ(d.palette[767], 7);
}

TEST(Pcx, PaletteMarkerMustFollowTheData) {
  Bytes f = pcx_header(2, 1, 1, 2);
  put(f, {5, 6});
  Bytes bad = f;
  bad.push_back(0);  // padding before the marker
  put(bad, palette_tail());
  EXPECT_FALSE(decode_bytes(bad, PixelFormat::indexed8).ok);
  Bytes short_pal = f;
  put(short_pal, palette_tail());
  short_pal.pop_back();
  EXPECT_FALSE(decode_bytes(short_pal, PixelFormat::indexed8).ok);
  put(f, palette_tail());
  EXPECT_TRUE(decode_bytes(f, PixelFormat::indexed8).ok);
}

TEST(Pcx, ThreePlanesWithAnExtraByteEachGiveRgb) {
  // Width 3, bytes per line 4: planes R, G, B of 4 bytes each, the 4th ignored.
  Bytes f = pcx_header(3, 2, 3, 4);
  put(f, {1, 2, 3, 0x55, 4, 5, 6, 0x55, 7, 8, 9, 0x55});
  put(f, {0xCE, 10});  // a run of 14 across all planes, cut at the line's 12 bytes
  Decoded d = decode_bytes(f, PixelFormat::rgb24);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.formats, std::vector<PixelFormat>{PixelFormat::rgb24});
  EXPECT_EQ(Bytes(d.pixels.begin(), d.pixels.begin() + 9), (Bytes{1, 4, 7, 2, 5, 8, 3, 6, 9}));
  EXPECT_EQ(Bytes(d.pixels.begin() + 9, d.pixels.end()), Bytes(9, 10));
}

TEST(Pcx, RefusedHeadersAndShortData) {
  EXPECT_TRUE(decode_bytes(pcx_header(4, 4, 1, 4), PixelFormat::indexed8).header);
  EXPECT_TRUE(decode_bytes(pcx_header(4, 4, 1, 5), PixelFormat::indexed8).header);
  EXPECT_FALSE(decode_bytes(pcx_header(4, 4, 1, 6), PixelFormat::indexed8).header);
  EXPECT_FALSE(decode_bytes(pcx_header(4, 4, 1, 3), PixelFormat::indexed8).header);
  EXPECT_FALSE(decode_bytes(pcx_header(4, 4, 2, 4), PixelFormat::indexed8).header);
  Bytes h = pcx_header(4, 4, 1, 4);
  h[3] = 1;  // one bit per pixel
  EXPECT_FALSE(decode_bytes(h, PixelFormat::indexed8).header);
  h = pcx_header(4, 4, 1, 4);
  h[2] = 0;  // no run-length encoding
  EXPECT_FALSE(decode_bytes(h, PixelFormat::indexed8).header);
  h = pcx_header(4, 4, 1, 4);
  h[8] = 0, h[9] = 0;  // Xmax below Xmin
  EXPECT_FALSE(decode_bytes(h, PixelFormat::indexed8).header);
  // Data ends inside a run, after the run byte.
  Bytes f = pcx_header(4, 1, 1, 4);
  put(f, {1, 2, 0xC2});
  EXPECT_FALSE(decode_bytes(f, PixelFormat::indexed8).ok);
}

}  // namespace
