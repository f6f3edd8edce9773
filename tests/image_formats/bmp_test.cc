#include <gtest/gtest.h>

#include <string>

#include "tests/image_formats/format_test_util.h"

namespace {

using namespace image_formats_test;

struct BmpSpec {
  std::int32_t width = 1, height = 1;
  unsigned bpp = 24;
  unsigned info_size = 40;
  std::uint32_t colours_used = 0;
  std::uint32_t compression = 0;
  unsigned planes = 1;
  Bytes palette;  // stored entries (B, G, R[, 0])
  unsigned gap = 0;  // bytes between the palette and the pixels
  Bytes rows;     // as stored: bottom row first, padded
};

Bytes make_bmp(const BmpSpec& s) {
  Bytes info;
  put32(info, s.info_size);
  if (s.info_size == 12) {
    put16(info, s.width);
    put16(info, s.height);
    put16(info, s.planes);
    put16(info, s.bpp);
  } else {
    put32(info, std::uint32_t(s.width));
    put32(info, std::uint32_t(s.height));
    put16(info, s.planes);
    put16(info, s.bpp);
    put32(info, s.compression);
    put32(info, std::uint32_t(s.rows.size()));
    put32(info, 2835);
    put32(info, 2835);
    put32(info, s.colours_used);
    put32(info, 0);
    while (info.size() < s.info_size) put8(info, 0);
  }
  Bytes f = {'B', 'M'};
  const std::uint32_t offset = 14 + std::uint32_t(info.size() + s.palette.size()) + s.gap;
  put32(f, offset + std::uint32_t(s.rows.size()));
  put32(f, 0);
  put32(f, offset);
  put(f, info);
  put(f, s.palette);
  f.insert(f.end(), s.gap, 0x99);
  put(f, s.rows);
  return f;
}

TEST(Bmp, TwentyFourBitRowsArePaddedToFourBytesAndStoredBottomUp) {
  // Width 1: 3 bytes + 1 padding byte per row.
  BmpSpec s;
  s.width = 1;
  s.height = 2;
  s.rows = {1, 2, 3, 0, 4, 5, 6, 0};  // bottom row (B,G,R) = 1,2,3
  Decoded d = decode_bytes(make_bmp(s), PixelFormat::rgb24);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.formats, std::vector<PixelFormat>{PixelFormat::rgb24});
  EXPECT_EQ(d.pixels, (Bytes{6, 5, 4, 3, 2, 1}));

  // Width 4: 12 bytes, no padding.
  s.width = 4;
  s.height = 1;
  s.rows.clear();
  for (int i = 0; i < 12; ++i) s.rows.push_back(std::uint8_t(i));
  d = decode_bytes(make_bmp(s), PixelFormat::rgb24);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.pixels, (Bytes{2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9}));
  // One byte short of the last row fails.
  Bytes file = make_bmp(s);
  file.pop_back();
  EXPECT_FALSE(decode_bytes(file, PixelFormat::rgb24).ok);
}

TEST(Bmp, ThirtyTwoBitKeepsStoredBytesAsArgb) {
  BmpSpec s;
  s.bpp = 32;
  s.width = 2;
  s.height = 2;
  s.rows = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  Decoded d = decode_bytes(make_bmp(s), PixelFormat::argb32, nullptr, 4);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.formats, std::vector<PixelFormat>{PixelFormat::argb32});
  // Pitch 12: the 4 bytes after each row stay untouched.
  EXPECT_EQ(d.pixels, (Bytes{9, 10, 11, 12, 13, 14, 15, 16, 0xCD, 0xCD, 0xCD, 0xCD, 1, 2, 3, 4,
                             5, 6, 7, 8, 0xCD, 0xCD, 0xCD, 0xCD}));
}

TEST(Bmp, SixteenEntryPaletteThenGapThenIndices) {
  BmpSpec s;
  s.bpp = 8;
  s.width = 3;
  s.height = 2;
  s.colours_used = 16;
  for (int i = 0; i < 16; ++i) s.palette.insert(s.palette.end(), {std::uint8_t(i), std::uint8_t(i + 1), std::uint8_t(i + 2), 0});
  s.gap = 10;
  s.rows = {1, 2, 3, 0, 15, 14, 13, 0};
  Decoded d = decode_bytes(make_bmp(s), PixelFormat::indexed8);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.pixels, (Bytes{15, 14, 13, 1, 2, 3}));
  EXPECT_EQ(d.palette[0], 2);  // R from the third stored byte
  EXPECT_EQ(d.palette[1], 1);
  EXPECT_EQ(d.palette[2], 0);
  EXPECT_EQ(d.palette[15 * 3], 17);
  EXPECT_EQ(d.palette[16 * 3], 0xEE);  // past the 16 entries: untouched

  // Through the front-end into rgb24.
  d = decode_bytes(make_bmp(s), PixelFormat::rgb24);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(Bytes(d.pixels.begin(), d.pixels.begin() + 3), (Bytes{17, 16, 15}));
}

TEST(Bmp, ZeroColoursUsedMeansAFullTable) {
  BmpSpec s;
  s.bpp = 8;
  s.width = 4;
  s.height = 1;
  for (int i = 0; i < 256; ++i) s.palette.insert(s.palette.end(), {std::uint8_t(255 - i), 0, std::uint8_t(i), 0});
  s.rows = {0, 1, 254, 255};
  Decoded d = decode_bytes(make_bmp(s), PixelFormat::indexed8);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.pixels, (Bytes{0, 1, 254, 255}));
  EXPECT_EQ(d.palette[255 * 3], 255);
  EXPECT_EQ(d.palette[255 * 3 + 2], 0);
  // The table is announced but the file ends inside it.
  Bytes file = make_bmp(s);
  file.resize(14 + 40 + 500);
  EXPECT_FALSE(decode_bytes(file, PixelFormat::indexed8).ok);
}

TEST(Bmp, Os2CoreHeaderUsesThreeByteEntries) {
  BmpSpec s;
  s.info_size = 12;
  s.bpp = 8;
  s.width = 2;
  s.height = 1;
  for (int i = 0; i < 256; ++i) s.palette.insert(s.palette.end(), {3, 2, std::uint8_t(i)});
  s.rows = {7, 9, 0, 0};
  Decoded d = decode_bytes(make_bmp(s), PixelFormat::indexed8);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.pixels, (Bytes{7, 9}));
  EXPECT_EQ(Bytes(d.palette.begin() + 21, d.palette.begin() + 24), (Bytes{7, 2, 3}));
}

TEST(Bmp, RefusedHeaders) {
  BmpSpec s;
  s.rows = {1, 2, 3, 0};
  auto header_ok = [](const BmpSpec& v) { return decode_bytes(make_bmp(v), PixelFormat::rgb24).header; };
  EXPECT_TRUE(header_ok(s));
  BmpSpec t = s;
  t = s, t.compression = 1;
  EXPECT_FALSE(header_ok(t));
  t = s, t.planes = 2;
  EXPECT_FALSE(header_ok(t));
  t = s, t.bpp = 16;
  EXPECT_FALSE(header_ok(t));
  t = s, t.info_size = 100;
  EXPECT_FALSE(header_ok(t));
  t = s, t.bpp = 8, t.colours_used = 257;
  EXPECT_FALSE(header_ok(t));
  t = s, t.width = 0, t.height = 0x36380000;  // no pixels, but countless rows
  EXPECT_FALSE(header_ok(t));
  t = s, t.width = 0x10000, t.height = 0x10000;  // 2^32 pixels
  EXPECT_FALSE(header_ok(t));
  Bytes cut = make_bmp(s);
  cut.resize(30);
  EXPECT_FALSE(decode_bytes(cut, PixelFormat::rgb24).header);
}

TEST(Bmp, SixtyFourByteHeaderIsAccepted) {
  BmpSpec s;
  s.info_size = 64;
  s.width = 2;
  s.height = 1;
  s.rows = {1, 2, 3, 4, 5, 6, 0, 0};
  Decoded d = decode_bytes(make_bmp(s), PixelFormat::argb32);
  ASSERT_TRUE(d.ok);  // converted from rgb24 by the front-end
  EXPECT_EQ(d.pixels, (Bytes{1, 2, 3, 255, 4, 5, 6, 255}));
}

}  // namespace

namespace {

TEST(Bmp, TrueColourAskedForIndexedIsQuantised) {
  // Three colours in a 24-bit file: every pixel maps to its own colour; the palette past
  // the entries built stays untouched.
  BmpSpec s;
  s.width = 4;
  s.height = 1;
  s.rows = {0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 255};  // B, G, R: red, green, blue, red
  Decoded d = decode_bytes(make_bmp(s), PixelFormat::indexed8);
  ASSERT_TRUE(d.ok);
  for (int x = 0; x < 4; ++x) {
    const std::uint8_t* e = &d.palette[d.pixels[x] * 3];
    EXPECT_EQ(Bytes(e, e + 3), (Bytes{s.rows[x * 3 + 2], s.rows[x * 3 + 1], s.rows[x * 3]})) << x;
  }
  EXPECT_EQ(d.pixels[0], d.pixels[3]);
  EXPECT_EQ(d.palette[4 * 3], 0xEE);  // at most 4 boxes from 4 pixels
}

}  // namespace

namespace {

// The reason the front-end gives for refusing a file.
std::string refusal(const Bytes& file) {
  MemoryByteSource src(file.data(), file.size());
  ImageReader reader(&src, nullptr);
  if (!reader.read_header()) return reader.why();
  std::vector<std::uint8_t> px(std::size_t(reader.width()) * reader.height() * 4 + 4);
  std::uint8_t palette[768];
  FormatList list;
  reader.copy_formats(list);
  if (reader.decode(px.data(), list.items[0], reader.width() * pixel_format_bytes(list.items[0]), palette))
    return "";
  return reader.why();
}

}  // namespace

// What ImageMagick and editors write: version 4 and 5 headers, bit fields giving the plain
// layout, top-down rows; other compressions are refused by name.
TEST(Bmp, NewerHeadersBitFieldsAndTopDownRows) {
  BmpSpec s;
  s.width = 1;
  s.height = 2;
  s.rows = {1, 2, 3, 0, 4, 5, 6, 0};
  const Decoded plain = decode_bytes(make_bmp(s), PixelFormat::rgb24);
  ASSERT_TRUE(plain.ok);
  for (unsigned size : {52u, 56u, 108u, 124u}) {
    BmpSpec v = s;
    v.info_size = size;
    Decoded d = decode_bytes(make_bmp(v), PixelFormat::rgb24);
    ASSERT_TRUE(d.ok) << size;
    EXPECT_EQ(d.pixels, plain.pixels) << size;
  }
  BmpSpec top = s;
  top.height = -2;
  top.info_size = 124;
  Decoded d = decode_bytes(make_bmp(top), PixelFormat::rgb24);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.height, 2u);
  EXPECT_EQ(d.pixels, (Bytes{3, 2, 1, 6, 5, 4}));  // first stored row on top

  // 32 bits with bit fields 00FF0000 0000FF00 000000FF in a version 5 header.
  BmpSpec fields;
  fields.bpp = 32;
  fields.width = 2;
  fields.info_size = 124;
  fields.compression = 3;
  fields.rows = {1, 2, 3, 4, 5, 6, 7, 8};
  Bytes file = make_bmp(fields);
  const std::size_t masks = 14 + 40;
  auto set32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = std::uint8_t(v >> (8 * i));
  };
  set32(masks, 0xFF0000), set32(masks + 4, 0xFF00), set32(masks + 8, 0xFF);
  d = decode_bytes(file, PixelFormat::argb32);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.pixels, (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
  set32(masks, 0xF800), set32(masks + 4, 0x7E0), set32(masks + 8, 0x1F);
  EXPECT_NE(refusal(file).find("bit fields 0000F800"), std::string::npos) << refusal(file);

  BmpSpec rle = s;
  rle.compression = 1;
  EXPECT_EQ(refusal(make_bmp(rle)), "BMP compression 1 (RLE8) not supported");
  rle.compression = 4;
  EXPECT_EQ(refusal(make_bmp(rle)), "BMP compression 4 (JPEG) not supported");
  BmpSpec odd = s;
  odd.bpp = 16;
  EXPECT_EQ(refusal(make_bmp(odd)), "BMP with 16 bits per pixel not supported");
  odd = s, odd.info_size = 100;
  EXPECT_EQ(refusal(make_bmp(odd)), "BMP info header size 100 not supported");
  odd = s, odd.planes = 3;
  EXPECT_EQ(refusal(make_bmp(odd)), "BMP planes 3 (must be 1)");
  Bytes cut = make_bmp(s);
  cut.resize(cut.size() - 3);
  EXPECT_EQ(refusal(cut), "data ends early");
}
