// The front-end: kind detection, re-delivery of the sniffed bytes, the format list, the
// conversions, and decode with a pitch wider than the row.
#include <gtest/gtest.h>

#include <cstring>

#include "image/image_reader.h"
#include "authoring/jpeg_encoder.h"
#include "tests/support/jpeg_builder.h"

namespace {

std::vector<std::uint8_t> bytes16(std::initializer_list<std::uint8_t> head) {
  std::vector<std::uint8_t> b(head);
  b.resize(16, 0x20);
  return b;
}

FileKind kind_of(const std::vector<std::uint8_t>& b, const char* name) {
  MemoryByteSource s(b.data(), b.size());
  PeekSource p(&s, name);
  return p.kind;
}

// Delivers at most `step` bytes per read, to exercise the look-ahead's top-ups.
class TrickleSource : public ImageSource {
 public:
  TrickleSource(const std::vector<std::uint8_t>& d, std::uint32_t step) : data(d), step(step) {}
  std::uint32_t read(void* out, std::uint32_t n) override {
    if (n) ++calls;  // the look-ahead may ask for 0 bytes when it is full
    std::uint32_t t = std::min<std::uint32_t>({n, step, std::uint32_t(data.size() - pos)});
    std::memcpy(out, data.data() + pos, t);
    pos += t;
    return t;
  }
  const std::vector<std::uint8_t>& data;
  std::uint32_t step, pos = 0, calls = 0;
};

}  // namespace

TEST(FileKindDetection, SignaturesInOrder) {
  EXPECT_EQ(kind_of(bytes16({'B', 'M'}), nullptr), FileKind::kind_bmp);
  EXPECT_EQ(kind_of(bytes16({'B', 'M'}), "x.tga"), FileKind::kind_bmp);  // BM wins over .tga
  EXPECT_EQ(kind_of(bytes16({0x0A, 5}), nullptr), FileKind::kind_pcx);
  EXPECT_EQ(kind_of(bytes16({0x0A, 6}), nullptr), FileKind::kind_none);  // byte 1 > 5
  EXPECT_EQ(kind_of(bytes16({'G', 'I', 'F'}), nullptr), FileKind::kind_gif);
  EXPECT_EQ(kind_of(bytes16({0xFF, 0x00}), nullptr), FileKind::kind_jpeg);
  EXPECT_EQ(kind_of(bytes16({1, 2}), "PIC.TGA"), FileKind::kind_tga);
  EXPECT_EQ(kind_of(bytes16({1, 2}), "pic.tGa"), FileKind::kind_tga);
  EXPECT_EQ(kind_of(bytes16({1, 2}), "tga"), FileKind::kind_none);
  EXPECT_EQ(kind_of(bytes16({1, 2}), ".tga"), FileKind::kind_tga);
  EXPECT_EQ(kind_of(bytes16({1, 2}), "pic.tgx"), FileKind::kind_none);
  EXPECT_EQ(kind_of(bytes16({1, 2}), nullptr), FileKind::kind_none);
  auto short_bm = bytes16({'B', 'M'});
  short_bm.resize(15);
  EXPECT_EQ(kind_of(short_bm, nullptr), FileKind::kind_none);
  MemoryByteSource s(short_bm.data(), short_bm.size());
  ImageReader r(&s, nullptr);
  EXPECT_FALSE(r.read_header());
  EXPECT_EQ(r.width(), 0u);
  EXPECT_FALSE(r.decode(nullptr, PixelFormat::rgb24, 0, nullptr));
}

TEST(PeekSource, RedeliversTheSniffedBytesThenTheRest) {
  std::vector<std::uint8_t> data(10000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t(i * 7 + i / 256);
  for (std::uint32_t step : {1u, 5u, 16u, 4096u, 100000u}) {
    TrickleSource src(data, step);
    PeekSource peek(&src, nullptr);
    std::vector<std::uint8_t> got;
    std::uint8_t buf[777];
    for (;;) {
      std::uint32_t n = peek.read(buf, sizeof buf);
      got.insert(got.end(), buf, buf + n);
      if (n < sizeof buf) break;
    }
    EXPECT_EQ(got, data) << "step " << step;
    EXPECT_EQ(peek.read(buf, 0), 0u);
    EXPECT_EQ(peek.read(buf, 10), 0u);
  }
  // Large reads ask the caller's source for whole look-ahead buffers, not byte by byte.
  TrickleSource src(data, 100000);
  PeekSource peek(&src, nullptr);
  std::uint8_t one;
  for (int i = 0; i < 5000; ++i) ASSERT_EQ(peek.read(&one, 1), 1u);
  EXPECT_LT(src.calls, 10u);
}

TEST(FormatList, GrowsCopiesAndSearches) {
  FormatList list;
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(list.append(PixelFormat(i % 3)));
  EXPECT_EQ(list.count, 40u);
  EXPECT_EQ(list.capacity, 64u);  // 16, 32, 64
  EXPECT_TRUE(list.contains(PixelFormat::grey8));
  EXPECT_FALSE(list.contains(PixelFormat::indexed8));
  FormatList copy;
  copy.append(PixelFormat::indexed8);
  copy.assign(list);
  EXPECT_EQ(copy.count, 40u);
  EXPECT_EQ(copy.capacity, 40u);
  EXPECT_FALSE(copy.contains(PixelFormat::indexed8));
}

TEST(Conversions, EveryRuleOnOnePixel) {
  const std::uint8_t rgb[3] = {200, 100, 7};
  const std::uint8_t argb[4] = {7, 100, 200, 0x40};  // B, G, R, A
  const std::uint8_t grey[1] = {77};
  std::uint8_t palette[768] = {};
  palette[3 * 9] = 10; palette[3 * 9 + 1] = 20; palette[3 * 9 + 2] = 31;
  const std::uint8_t idx[1] = {9};
  std::uint8_t out[4];
  auto conv = [&](const std::uint8_t* s, PixelFormat f, PixelFormat t) {
    std::memset(out, 0xEE, 4);
    return convert_pixels(s, f, 4, out, t, 4, 1, 1, palette);
  };
  ASSERT_TRUE(conv(rgb, PixelFormat::rgb24, PixelFormat::argb32));
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + 4), (std::vector<std::uint8_t>{7, 100, 200, 255}));
  ASSERT_TRUE(conv(idx, PixelFormat::indexed8, PixelFormat::argb32));
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + 4), (std::vector<std::uint8_t>{31, 20, 10, 255}));
  ASSERT_TRUE(conv(grey, PixelFormat::grey8, PixelFormat::argb32));
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + 4), (std::vector<std::uint8_t>{77, 77, 77, 255}));
  ASSERT_TRUE(conv(argb, PixelFormat::argb32, PixelFormat::rgb24));
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + 3), (std::vector<std::uint8_t>{200, 100, 7}));
  ASSERT_TRUE(conv(idx, PixelFormat::indexed8, PixelFormat::rgb24));
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + 3), (std::vector<std::uint8_t>{10, 20, 31}));
  ASSERT_TRUE(conv(grey, PixelFormat::grey8, PixelFormat::rgb24));
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + 3), (std::vector<std::uint8_t>{77, 77, 77}));
  ASSERT_TRUE(conv(rgb, PixelFormat::rgb24, PixelFormat::grey8));
  EXPECT_EQ(out[0], (200 + 100 + 7) / 3);
  ASSERT_TRUE(conv(argb, PixelFormat::argb32, PixelFormat::grey8));
  EXPECT_EQ(out[0], (200 + 100 + 7) / 3);
  ASSERT_TRUE(conv(idx, PixelFormat::indexed8, PixelFormat::grey8));
  EXPECT_EQ(out[0], (10 + 20 + 31) / 3);
  ASSERT_TRUE(conv(grey, PixelFormat::grey8, PixelFormat::indexed8));
  EXPECT_EQ(out[0], 77);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(palette[3 * i + 1], i);
  EXPECT_FALSE(convert_pixels(rgb, PixelFormat(7), 3, out, PixelFormat::rgb24, 3, 1, 1, palette));
}

TEST(ImageReaderDecode, ColourJpegIntoEveryFormatWithWidePitch) {
  const std::uint32_t w = 21, h = 13;
  auto rgb = jpeg_test::synthetic_rgb(w, h, 5);
  std::vector<std::uint8_t> file;
  JpegEncodeOptions o;
  ASSERT_TRUE(jpeg_encode(rgb.data(), PixelFormat::rgb24, w, h, w * 3, o, file));
  std::vector<std::uint8_t> direct;
  std::uint32_t dw, dh;
  ASSERT_TRUE(jpeg_test::decode_file(file, PixelFormat::rgb24, direct, dw, dh));

  for (PixelFormat f : {PixelFormat::rgb24, PixelFormat::argb32, PixelFormat::grey8}) {
    const std::uint32_t bpp = pixel_format_bytes(f), pitch = w * bpp + 5;
    std::vector<std::uint8_t> px(pitch * h, 0xAB);
    MemoryByteSource src(file.data(), file.size());
    ImageReader reader(&src, "x.jpg");
    ASSERT_TRUE(reader.read_header());
    EXPECT_TRUE(reader.supports(PixelFormat::rgb24));
    EXPECT_FALSE(reader.supports(PixelFormat::argb32));
    ASSERT_TRUE(reader.decode(px.data(), f, pitch, nullptr));
    for (std::uint32_t y = 0; y < h; ++y) {
      for (std::uint32_t i = w * bpp; i < pitch; ++i) ASSERT_EQ(px[y * pitch + i], 0xAB);
      for (std::uint32_t x = 0; x < w; ++x) {
        const std::uint8_t* d = &direct[(y * w + x) * 3];
        const std::uint8_t* p = &px[y * pitch + x * bpp];
        if (f == PixelFormat::rgb24) {
          ASSERT_EQ(std::memcmp(p, d, 3), 0);
        }
        if (f == PixelFormat::argb32) {
          ASSERT_EQ(p[0], d[2]); ASSERT_EQ(p[1], d[1]); ASSERT_EQ(p[2], d[0]); ASSERT_EQ(p[3], 255);
        }
        if (f == PixelFormat::grey8) {
          ASSERT_EQ(p[0], (d[0] + d[1] + d[2]) / 3);
        }
      }
    }
  }
}

TEST(ImageReaderDecode, GreyJpegAsArgbAndIndexed) {
  const std::uint32_t w = 10, h = 9;
  std::vector<std::uint8_t> grey(w * h);
  for (std::size_t i = 0; i < grey.size(); ++i) grey[i] = std::uint8_t(i * 3);
  std::vector<std::uint8_t> file;
  JpegEncodeOptions o;
  o.grey = true;
  ASSERT_TRUE(jpeg_encode(grey.data(), PixelFormat::grey8, w, h, w, o, file));
  std::vector<std::uint8_t> g, a, ix;
  std::uint32_t dw, dh;
  ASSERT_TRUE(jpeg_test::decode_file(file, PixelFormat::grey8, g, dw, dh));
  ASSERT_TRUE(jpeg_test::decode_file(file, PixelFormat::argb32, a, dw, dh));
  ASSERT_TRUE(jpeg_test::decode_file(file, PixelFormat::indexed8, ix, dw, dh));
  for (std::size_t i = 0; i < g.size(); ++i) {
    std::uint32_t word;
    std::memcpy(&word, &a[i * 4], 4);
    ASSERT_EQ(word, 0xFF000000u | g[i] * 0x010101u);
    ASSERT_EQ(ix[i], g[i]);
  }
}

TEST(ImageReaderDecode, ColourIntoIndexedThroughTheQuantiser) {
  const std::uint32_t w = 12, h = 10;  // 120 pixels: fewer than 256, so every colour fits
  auto rgb = jpeg_test::synthetic_rgb(w, h, 8);
  std::vector<std::uint8_t> file;
  JpegEncodeOptions o;
  ASSERT_TRUE(jpeg_encode(rgb.data(), PixelFormat::rgb24, w, h, w * 3, o, file));
  std::vector<std::uint8_t> direct, idx;
  std::uint32_t dw, dh;
  ASSERT_TRUE(jpeg_test::decode_file(file, PixelFormat::rgb24, direct, dw, dh));
  MemoryByteSource src(file.data(), file.size());
  ImageReader reader(&src, nullptr);
  ASSERT_TRUE(reader.read_header());
  idx.assign(w * h, 0);
  std::uint8_t palette[768];
  std::memset(palette, 0x5A, sizeof palette);
  ASSERT_TRUE(reader.decode(idx.data(), PixelFormat::indexed8, w, palette));
  for (std::uint32_t i = 0; i < w * h; ++i)
    for (int c = 0; c < 3; ++c)
      ASSERT_EQ(palette[idx[i] * 3 + c], direct[i * 3 + c]) << i;
  // argb32 into indexed8 goes through a packed rgb24 copy and gives the same picture.
  std::vector<std::uint8_t> argb(w * h * 4), idx2(w * h);
  ASSERT_TRUE(convert_pixels(direct.data(), PixelFormat::rgb24, w * 3, argb.data(),
                             PixelFormat::argb32, w * 4, w, h, nullptr));
  std::uint8_t palette2[768];
  ASSERT_TRUE(convert_pixels(argb.data(), PixelFormat::argb32, w * 4, idx2.data(),
                             PixelFormat::indexed8, w, w, h, palette2));
  for (std::uint32_t i = 0; i < w * h; ++i)
    for (int c = 0; c < 3; ++c) ASSERT_EQ(palette2[idx2[i] * 3 + c], direct[i * 3 + c]);
}
