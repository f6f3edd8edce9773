#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/image_formats/format_test_util.h"

namespace {

using namespace image_formats_test;

struct TgaSpec {
  unsigned type = 2;
  unsigned depth = 24;
  unsigned width = 1, height = 1;
  unsigned descriptor = 0x20;
  unsigned map_type = 0, map_first = 0, map_length = 0, map_entry_size = 0;
  Bytes id;
  Bytes map;
  Bytes data;
};

Bytes make_tga(const TgaSpec& s) {
  Bytes f;
  put8(f, unsigned(s.id.size()));
  put8(f, s.map_type);
  put8(f, s.type);
  put16(f, s.map_first);
  put16(f, s.map_length);
  put8(f, s.map_entry_size);
  put32(f, 0);
  put16(f, s.width);
  put16(f, s.height);
  put8(f, s.depth);
  put8(f, s.descriptor);
  put(f, s.id);
  put(f, s.map);
  put(f, s.data);
  return f;
}

Decoded decode_tga(const TgaSpec& s, PixelFormat format) {
  return decode_bytes(make_tga(s), format, "picture.TGA");
}

TEST(Tga, SixteenBitExpansion) {
  TgaSpec s;
  s.depth = 16;
  s.width = 4;
  s.data = {0xFF, 0x7F, 0x1F, 0x00, 0xFF, 0xFF, 0x21, 0x04};  // 0x7FFF, blue, bit 15, 1/1/1
  Decoded d = decode_tga(s, PixelFormat::rgb24);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.formats, std::vector<PixelFormat>{PixelFormat::rgb24});
  EXPECT_EQ(d.pixels, (Bytes{255, 255, 255, 0, 0, 255, 255, 255, 255, 8, 8, 8}));

  // Every 5-bit level against round(i * 255 / 31); depth 15 reads the same way.
  s.depth = 15;
  s.width = 32;
  s.data.clear();
  for (unsigned i = 0; i < 32; ++i) put16(s.data, i << 10 | i << 5 | i);
  d = decode_tga(s, PixelFormat::rgb24);
  ASSERT_TRUE(d.ok);
  for (unsigned i = 0; i < 32; ++i) {
    const auto want = std::uint8_t(std::lround(i * 255.0 / 31.0));
    EXPECT_EQ(d.pixels[i * 3], want) << i;
    EXPECT_EQ(d.pixels[i * 3 + 1], want) << i;
    EXPECT_EQ(d.pixels[i * 3 + 2], want) << i;
  }
}

TEST(Tga, OriginBitChoosesRowOrder) {
  TgaSpec s;
  s.width = 1;
  s.height = 2;
  s.data = {1, 2, 3, 4, 5, 6};
  s.descriptor = 0x20;  // top-left: first stored row on top
  Decoded d = decode_tga(s, PixelFormat::rgb24);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.pixels, (Bytes{3, 2, 1, 6, 5, 4}));
  s.descriptor = 0x00;  // bottom-left
  d = decode_tga(s, PixelFormat::rgb24);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.pixels, (Bytes{6, 5, 4, 3, 2, 1}));
  s.descriptor = 0x08;  // attribute bits are ignored
  EXPECT_TRUE(decode_tga(s, PixelFormat::rgb24).ok);
  s.descriptor = 0x40;  // interleaving: refused
  EXPECT_FALSE(decode_tga(s, PixelFormat::rgb24).header);
}

TEST(Tga, RunPacketsCarryAcrossRowEnds) {
  TgaSpec s;
  s.type = 10;
  s.depth = 32;
  s.width = 3;
  s.height = 2;
  // Run of 4 (0x83), then a raw packet of 2 pixels.
  s.data = {0x83, 1, 2, 3, 4, 0x01, 5, 6, 7, 8, 9, 10, 11, 12};
  Decoded d = decode_tga(s, PixelFormat::argb32);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.formats, std::vector<PixelFormat>{PixelFormat::argb32});
  EXPECT_EQ(d.pixels, (Bytes{1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4,  //
                             1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  // A raw packet of 3 spanning the row end, bottom-up grey.
  TgaSpec g;
  g.type = 11;
  g.depth = 8;
  g.width = 2;
  g.height = 2;
  g.descriptor = 0;
  g.data = {0x02, 10, 20, 30, 0x80, 40};
  d = decode_tga(g, PixelFormat::grey8);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.pixels, (Bytes{30, 40, 10, 20}));
  // The data ends inside a raw packet.
  g.data = {0x03, 10, 20, 30};
  EXPECT_FALSE(decode_tga(g, PixelFormat::grey8).ok);
}

TEST(Tga, ColourMappedReadsTheMap) {
  TgaSpec s;
  s.type = 1;
  s.depth = 8;
  s.map_type = 1;
  s.map_length = 3;
  s.map_entry_size = 24;
  s.map = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  s.id = {'h', 'i'};
  s.width = 3;
  s.data = {2, 0, 1};
  Decoded d = decode_tga(s, PixelFormat::indexed8);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.pixels, (Bytes{2, 0, 1}));
  EXPECT_EQ(Bytes(d.palette.begin(), d.palette.begin() + 10), (Bytes{3, 2, 1, 6, 5, 4, 9, 8, 7, 0xEE}));
  s.map_entry_size = 16;
  EXPECT_FALSE(decode_tga(s, PixelFormat::indexed8).header);
}

TEST(Tga, TrueColourSkipsAnAnnouncedMap) {
  TgaSpec s;
  s.map_type = 1;
  s.map_length = 2;
  s.map_entry_size = 15;  // two bytes each
  s.map = {0xAA, 0xAA, 0xBB, 0xBB};
  s.data = {1, 2, 3};
  Decoded d = decode_tga(s, PixelFormat::rgb24);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.pixels, (Bytes{3, 2, 1}));
}

TEST(Tga, RefusedHeadersAndUnknownTypes) {
  TgaSpec s;
  s.data = {1, 2, 3};
  TgaSpec t = s;
  t.depth = 12;
  EXPECT_FALSE(decode_tga(t, PixelFormat::rgb24).header);
  t = s, t.depth = 40;
  EXPECT_FALSE(decode_tga(t, PixelFormat::rgb24).header);
  t = s, t.depth = 8;  // true colour of 1 byte
  EXPECT_FALSE(decode_tga(t, PixelFormat::rgb24).header);
  t = s, t.type = 3;  // grey of 3 bytes
  EXPECT_FALSE(decode_tga(t, PixelFormat::grey8).header);
  t = s, t.map_type = 2;
  EXPECT_FALSE(decode_tga(t, PixelFormat::rgb24).header);
  t = s, t.type = 7;  // unknown type: refused at once
  EXPECT_FALSE(decode_tga(t, PixelFormat::rgb24).header);
  // Without the ".tga" name a TGA is not recognised.
  EXPECT_FALSE(decode_bytes(make_tga(s), PixelFormat::rgb24, "picture.dat").header);
}

}  // namespace

// Rows stored right to left are mirrored back; a map whose first entry is index 5 gives
// pixel value 5 its first colour.
TEST(Tga, RightToLeftRowsAndMapsStartingAboveZero) {
  TgaSpec s;
  s.width = 3;
  s.height = 2;
  s.descriptor = 0x20 | 0x10;  // top row first, right to left
  s.data = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6, 6};
  Decoded d = decode_tga(s, PixelFormat::rgb24);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.pixels, (Bytes{3, 3, 3, 2, 2, 2, 1, 1, 1, 6, 6, 6, 5, 5, 5, 4, 4, 4}));
  s.descriptor = 0x10;  // bottom row first, right to left
  s.type = 10;          // and run-length coded: a run crossing the row end
  s.data = {0x81, 7, 8, 9, 0x83, 1, 2, 3};
  d = decode_tga(s, PixelFormat::rgb24);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.pixels, (Bytes{3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1, 9, 8, 7, 9, 8, 7}));

  TgaSpec m;
  m.type = 1;
  m.depth = 8;
  m.map_type = 1;
  m.map_first = 5;
  m.map_length = 2;
  m.map_entry_size = 24;
  m.map = {1, 2, 3, 4, 5, 6};
  m.width = 2;
  m.data = {6, 5};
  d = decode_tga(m, PixelFormat::rgb24);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.pixels, (Bytes{6, 5, 4, 3, 2, 1}));
  m.map_first = 255;  // the second entry would be index 256: unreachable, dropped
  m.data = {255, 255};
  d = decode_tga(m, PixelFormat::rgb24);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.pixels, (Bytes{3, 2, 1, 3, 2, 1}));
}

TEST(Tga, RefusalsNameTheField) {
  auto why = [](const TgaSpec& s) {
    Bytes f = make_tga(s);
    MemoryByteSource src(f.data(), f.size());
    ImageReader r(&src, "x.tga");
    if (!r.read_header()) return std::string(r.why());
    std::vector<std::uint8_t> px(std::size_t(r.width()) * r.height() * 4), pal(768);
    FormatList list;
    r.copy_formats(list);
    return r.decode(px.data(), list.items[0], r.width() * pixel_format_bytes(list.items[0]), pal.data())
               ? std::string() : std::string(r.why());
  };
  TgaSpec s;
  s.type = 4;
  EXPECT_EQ(why(s), "TGA image type 4 not supported");
  s = TgaSpec(), s.depth = 12;
  EXPECT_EQ(why(s), "TGA pixel depth 12 not supported");
  s = TgaSpec(), s.width = 2;
  s.data = {1, 2, 3};
  EXPECT_EQ(why(s), "data ends early");
}
