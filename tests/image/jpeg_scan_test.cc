// Entropy decoding, the transform and the colour loops, on hand-made scans. Every file
// is decoded by both the fast decoder and the plain reference, which must agree.
#include <gtest/gtest.h>

#include <string>

#include <algorithm>
#include <cstring>
#include <random>

#include "image/image_kernels.h"
#include "image/jpeg_colour.h"
#include "image/jpeg_decoder.h"
#include "authoring/jpeg_encoder.h"
#include "image/jpeg_scan.h"
#include "tests/support/jpeg_builder.h"
#include "image/jpeg_tables.h"
#include "tests/support/jpeg_reference.h"

using namespace jpeg_test;

namespace {

// A grey file, quantisation 1 everywhere, with the given tables and scan bytes.
Bytes grey_file(std::uint32_t w, std::uint32_t h, const Bytes& dc, const Bytes& ac,
                const Bytes& scan, bool dri = false) {
  Bytes f = soi();
  Bytes a = app0(), q = dqt_flat(0, 1), s = sof(w, h, {{1, 0x11, 0}}), o = sos({{1, 0x00}});
  for (const Bytes* p : std::initializer_list<const Bytes*>{&a, &q, &s, &dc, &ac}) f.insert(f.end(), p->begin(), p->end());
  if (dri) segment(f, 0xDD, {0, 1});
  f.insert(f.end(), o.begin(), o.end());
  f.insert(f.end(), scan.begin(), scan.end());
  return f;
}

// Decodes with both decoders, checks they agree, returns the pixels.
std::vector<std::uint8_t> decode_both(const Bytes& file) {
  std::vector<std::uint8_t> fast, ref;
  std::uint32_t w, h, w2, h2;
  PixelFormat f;
  EXPECT_TRUE(reference_decode_file(file, ref, w, h, f));
  EXPECT_TRUE(decode_file(file, f, fast, w2, h2));
  EXPECT_EQ(fast, ref);
  return fast;
}

std::uint8_t dc_sample(int d, int q) { return std::uint8_t(((d * q * 4 * 8192 + 131072) >> 18) + 128); }

// Pixel (x, y) of a grey picture of width w.
std::uint8_t at(const std::vector<std::uint8_t>& px, std::uint32_t w, std::uint32_t x, std::uint32_t y) {
  return px[y * w + x];
}

bool block_is(const std::vector<std::uint8_t>& px, std::uint32_t w, std::uint32_t bx, std::uint8_t v) {
  for (std::uint32_t y = 0; y < 8; ++y)
    for (std::uint32_t x = 0; x < 8; ++x)
      if (at(px, w, bx * 8 + x, y) != v) return false;
  return true;
}

// DC: "0" -> size 0, "1" -> size 8.
Bytes dc_0_8() { return dht(0x00, {2}, {0, 8}); }

}  // namespace

TEST(JpegScan, ReceiveExtendAndStuffedFirstByte) {
  const std::uint8_t bits[] = {0b01110011, 0b00000000};
  MemoryByteSource a(bits, 2);
  JpegScanReader fast(&a, 1024);
  fast.prime();
  EXPECT_EQ(fast.receive_extend(3), -4);  // 011
  EXPECT_EQ(fast.receive_extend(3), 4);   // 100
  EXPECT_EQ(fast.receive_extend(0), 0);
  MemoryByteSource b(bits, 2);
  ReferenceBitReader ref{&b};
  ref.prime();
  EXPECT_EQ(ref.receive_extend(3), -4);
  EXPECT_EQ(ref.receive_extend(3), 4);

  // The scan opens with 0xFF 0x00: eight one-bits, no zero byte. DC "1" + 255, AC EOB.
  BitSink s;
  s.put(1, 1);
  s.put(255, 8);
  s.put(0, 1);
  s.pad();
  ASSERT_EQ(s.bytes[0], 0xFF);
  ASSERT_EQ(s.bytes[1], 0x00);
  auto px = decode_both(grey_file(8, 8, dc_0_8(), dht(0x10, {1}, {0x00}), s.bytes));
  EXPECT_TRUE(block_is(px, 8, 0, dc_sample(255, 1)));
}

TEST(JpegScan, RunLengthCodes) {
  // AC: "00" ZRL, "01" r=10 s=1, "10" EOB, "110" r=3 s=0, "1110" r=0 s=1.
  Bytes ac = dht(0x10, {0, 3, 1, 1}, {0xF0, 0xA1, 0x00, 0x30, 0x01});
  BitSink s;
  // Block 1: ZRL x3 (k=49), r=10 s=1 "1" (k=59 -> 60), ZRL at k=60 ends the block.
  s.put(0, 1);
  s.put(0, 2); s.put(0, 2); s.put(0, 2);
  s.put(1, 2); s.put(1, 1);
  s.put(0, 2);
  // Block 2: r=3 s=0 (three zeros then a zero value), r=0 s=1 "1" at k=5, EOB.
  s.put(0, 1);
  s.put(6, 3);
  s.put(14, 4); s.put(1, 1);
  s.put(2, 2);
  // Block 3: DC 200, EOB: proves both blocks above ended where they should.
  s.put(1, 1); s.put(200, 8); s.put(2, 2);
  s.pad();
  auto px = decode_both(grey_file(24, 8, dc_0_8(), ac, s.bytes));
  std::int32_t b1[64] = {}, b2[64] = {}, q[64];
  for (int& v : q) v = 1;
  b1[jpeg_zigzag[59]] = 1;
  b2[jpeg_zigzag[5]] = 1;
  reference_idct_8x8(b1, q);
  reference_idct_8x8(b2, q);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      ASSERT_EQ(at(px, 24, x, y), std::clamp(b1[y * 8 + x], 0, 255));
      ASSERT_EQ(at(px, 24, 8 + x, y), std::clamp(b2[y * 8 + x], 0, 255));
    }
  EXPECT_TRUE(block_is(px, 24, 2, dc_sample(200, 1)));
}

TEST(JpegScan, UnmatchedCodeGivesTheXAndDecodingGoesOn) {
  Bytes ac = dht(0x10, {0, 1}, {0x00});  // only "00" (EOB)
  BitSink s;
  s.put(1, 1); s.put(200, 8);  // DC 200, kept by the predictor
  s.put(0xFFFF, 16);           // no code matches within 16 bits
  s.put(0, 1); s.put(0, 2);    // block 2: DC difference 0, EOB
  s.pad();
  auto px = decode_both(grey_file(16, 8, dc_0_8(), ac, s.bytes));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      ASSERT_EQ(at(px, 16, x, y), (x == y || x == 7 - y) ? 255 : 0) << x << "," << y;
  EXPECT_TRUE(block_is(px, 16, 1, dc_sample(200, 1)));  // predictor kept its value
}

TEST(JpegScan, RestartMarkerWhereACodeStartsReadsAsMinusTwo) {
  // Without DRI, a restart marker at the byte boundary where a code starts is consumed
  // and reported as -2. DC: "0" size 0, "1" size 7; AC: "0" EOB.
  Bytes dc = dht(0x00, {2}, {0, 7}), ac = dht(0x10, {1}, {0x00});
  // DC position: four blocks of "0" "0" fill one byte; block 5's DC meets the marker and
  // takes the 14 bits after it as its difference: all zeros give -16383 (black), where
  // reading the marker's 0xFF as data would have given size 7, difference 127.
  Bytes scan = {0x00, 0xFF, 0xD3, 0x00, 0x01};
  auto px = decode_both(grey_file(40, 8, dc, ac, scan));
  for (int b = 0; b < 4; ++b) EXPECT_TRUE(block_is(px, 40, b, 128));
  EXPECT_TRUE(block_is(px, 40, 4, 0));

  // AC position: block 1's DC "1" + 7 bits (100) fills the first byte, its first AC code
  // meets the marker and ends the block; block 2 ("0" "0") follows the marker.
  Bytes scan2 = {0xE4, 0xFF, 0xD5, 0x3F};
  auto px2 = decode_both(grey_file(16, 8, dc, ac, scan2));
  EXPECT_TRUE(block_is(px2, 16, 0, dc_sample(100, 1)));
  EXPECT_TRUE(block_is(px2, 16, 1, dc_sample(100, 1)));

  // A marker that is not at a code's start is read as data: its 0xFF gives one-bits.
  Bytes scan3 = {0xE5, 0xFF, 0xD5, 0x3F};  // 0xE5: the EOB bit is inside the byte
  decode_both(grey_file(16, 8, dc, ac, scan3));
}

TEST(JpegScan, RestartIntervals) {
  const std::uint32_t w = 64, h = 40;
  auto rgb = synthetic_rgb(w, h, 3);
  for (bool grey : {true, false}) {
    JpegEncodeOptions o;
    o.grey = grey;
    o.sampling = JpegSampling::s2x2;
    Bytes plain, rows, half;
    ASSERT_TRUE(jpeg_encode(rgb.data(), PixelFormat::rgb24, w, h, w * 3, o, plain));
    o.restart = true;
    ASSERT_TRUE(jpeg_encode(rgb.data(), PixelFormat::rgb24, w, h, w * 3, o, rows));
    const std::uint32_t mcu = grey ? 8 : 16;
    o.restart_interval = (w / mcu) / 2;
    ASSERT_TRUE(jpeg_encode(rgb.data(), PixelFormat::rgb24, w, h, w * 3, o, half));
    auto a = decode_both(plain), b = decode_both(rows), c = decode_both(half);
    EXPECT_EQ(a, b);  // one interval per MCU row decodes like no restarts at all
    EXPECT_EQ(a, c);  // half-row intervals too
    // Every two rows, every five MCUs, every MCU, and an interval longer than the picture.
    for (std::uint32_t interval : {2 * (w / mcu), 5u, 1u, 1000u}) {
      o.restart_interval = interval;
      Bytes other;
      ASSERT_TRUE(jpeg_encode(rgb.data(), PixelFormat::rgb24, w, h, w * 3, o, other));
      EXPECT_EQ(decode_both(other), a) << "interval " << interval;
    }
  }
}

TEST(JpegTransform, DcOnlyAndRandomBlocksMatchThePlainTransform) {
  std::mt19937 rng(7);
  std::int32_t q[64];
  for (int t = 0; t < 200; ++t) {
    int d = int(rng() % 4096) - 2048, qv = 1 + int(rng() % 255);
    for (int& v : q) v = qv;
    std::int32_t b[64] = {};
    b[0] = d;
    idct_8x8(b, q);
    // 32-bit arithmetic wraps like the hardware for the larger products.
    std::int32_t expect =
        (std::int32_t(std::uint32_t(d) * std::uint32_t(qv) * 32768u + 131072u) >> 18) + 128;
    for (int i = 0; i < 64; ++i) ASSERT_EQ(b[i], expect);
  }
  for (int t = 0; t < 4000; ++t) {
    std::int32_t a[64], b[64];
    for (int i = 0; i < 64; ++i) q[i] = 1 + int(rng() % 255);
    int mode = t % 5;
    if (mode == 4) {
      // Around the limits of the 16-bit transform: products near +-32768 and large sums
      // of many columns' worth of energy in pass 1.
      for (int i = 0; i < 64; ++i) q[i] = 1 + int(rng() % 3);
      const int limit = 500 + (t * 37) % 9000;
      for (int i = 0; i < 64; ++i) {
        std::uint32_t r = rng();
        int big = (r % 61 == 0) ? 32768 - int(r % 4) : int(r % limit);
        a[i] = (r & 0x100 ? -big : big) / q[i] + int((r >> 9) % 3) - 1;
        if ((r >> 12) % 4 != 0) a[i] = 0;
      }
    }
    for (int i = 0; i < 64; ++i) {
      std::uint32_t r = rng();
      if (mode == 0) a[i] = (r % 4 == 0) ? int(r % 201) - 100 : 0;           // sparse
      else if (mode == 1) a[i] = (i % 8 == 0 || i < 8) ? int(r % 2001) - 1000 : 0;
      else if (mode == 2) a[i] = int(r % 65535) - 32767;                       // overflowing
      else if (mode == 3) a[i] = std::int32_t(r);                              // anything
    }
    std::copy(a, a + 64, b);
    reference_idct_8x8(b, q);
    for (int k = 0; k < image_kernel_count(); ++k) {  // every version, plain to the fastest
      alignas(32) std::int32_t coef[64], out[64];
      std::copy(a, a + 64, coef);
      image_kernel(k).idct(coef, q, out);
      for (int i = 0; i < 64; ++i) ASSERT_EQ(out[i], b[i]) << t << " " << i << " " << image_kernel(k).name;
      for (int i = 0; i < 64; ++i) ASSERT_EQ(coef[i], 0) << image_kernel(k).name;
    }
    idct_8x8(a, q);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(a[i], b[i]) << t << " " << i;
  }
}

TEST(JpegColour, FixedPointValues) {
  std::uint8_t p[3];
  ycc_to_rgb(128, 128, 128, p);
  EXPECT_EQ(p[0], 128); EXPECT_EQ(p[1], 128); EXPECT_EQ(p[2], 128);
  ycc_to_rgb(0, 128, 255, p);
  EXPECT_EQ(p[0], 178); EXPECT_EQ(p[1], 0); EXPECT_EQ(p[2], 0);
  ycc_to_rgb(300, -20, 128, p);  // unclamped inputs, clamped outputs
  EXPECT_EQ(p[0], 255);
  EXPECT_EQ(p[2], 255 > ((300 * 65536 + (-148) * 116130) >> 16) ? ((300 * 65536 + (-148) * 116130) >> 16) : 255);
}

TEST(JpegColour, WholeMcusMatchThePixelFormulaOverTheTransformRange) {
  // Samples anywhere a transform can put them (-8064..8319), also near 0 and 255.
  std::mt19937 rng(5);
  const unsigned layouts[][2] = {{1, 1}, {2, 1}, {2, 2}};
  for (int k = 0; k < image_kernel_count(); ++k) {
    for (int t = 0; t < 300; ++t) {
      alignas(32) std::int32_t blocks[6][64];
      for (auto& b : blocks)
        for (auto& v : b) {
          std::uint32_t r = rng();
          v = t % 2 ? int(r % 16384) - 8064 : int(r % 600) - 172;
          if (r % 97 == 0) v = (r & 0x100) ? -8064 : 8319;
        }
      const unsigned hs = layouts[t % 3][0], vs = layouts[t % 3][1];
      const std::uint32_t pitch = 16 * 3 + 5;
      std::uint8_t got[16 * pitch], want[16 * pitch];
      std::memset(got, 0xAB, sizeof got);
      std::memset(want, 0xAB, sizeof want);
      image_kernel(k).mcu_to_rgb(blocks, hs, vs, got, pitch);
      for (unsigned r = 0; r < 8 * vs; ++r)
        for (unsigned c = 0; c < 8 * hs; ++c) {
          const std::int32_t* cb = blocks[4] + (vs == 2 ? r / 2 : r) * 8 + (hs == 2 ? c / 2 : c);
          ycc_to_rgb(blocks[(r / 8) * hs + c / 8][(r % 8) * 8 + c % 8], *cb, cb[64],
                     want + r * pitch + c * 3);
        }
      ASSERT_EQ(0, std::memcmp(got, want, sizeof got)) << t << " " << image_kernel(k).name;
    }
  }
}

TEST(JpegColour, EdgesSamplingAndOddLayouts) {
  // 17 x 9 with sampling 2x2: 2 x 1 MCUs; nothing is written beyond the picture.
  const std::uint32_t w = 17, h = 9, pitch = w * 3 + 7;
  auto rgb = synthetic_rgb(w, h, 11);
  Bytes file;
  JpegEncodeOptions o;
  o.sampling = JpegSampling::s2x2;
  ASSERT_TRUE(jpeg_encode(rgb.data(), PixelFormat::rgb24, w, h, w * 3, o, file));
  std::vector<std::uint8_t> px(pitch * h + 64, 0xCD);
  {
    MemoryByteSource src(file.data(), file.size());
    ImageReader r(&src, nullptr);
    ASSERT_TRUE(r.read_header());
    ASSERT_TRUE(r.decode(px.data(), PixelFormat::rgb24, pitch, nullptr));
  }
  for (std::uint32_t y = 0; y < h; ++y)
    for (std::uint32_t i = w * 3; i < pitch; ++i) ASSERT_EQ(px[y * pitch + i], 0xCD);
  for (std::size_t i = pitch * (h - 1) + w * 3; i < px.size(); ++i) ASSERT_EQ(px[i], 0xCD);
  std::vector<std::uint8_t> packed;
  std::uint32_t dw, dh;
  ASSERT_TRUE(decode_file(file, PixelFormat::rgb24, packed, dw, dh));
  for (std::uint32_t y = 0; y < h; ++y)
    ASSERT_EQ(0, std::memcmp(&px[y * pitch], &packed[y * w * 3], w * 3));

  // Chroma components that claim 2x1 are read as two blocks each: the data, written for
  // one, decodes to other pixels, the same ones as the plain reference gives, and every
  // pixel is written. Claims of 2x2 would make 12 blocks an MCU: refused.
  std::size_t sof_at = 0;
  for (std::size_t i = 0; i + 1 < file.size(); ++i)
    if (file[i] == 0xFF && file[i + 1] == 0xC0) sof_at = i;
  Bytes claims = file;
  claims[sof_at + 10 + 3 + 1] = 0x22;
  claims[sof_at + 10 + 6 + 1] = 0x22;
  {
    MemoryByteSource src(claims.data(), claims.size());
    ImageReader r(&src, nullptr);
    EXPECT_FALSE(r.read_header());
    EXPECT_NE(std::string(r.why()).find("more than 10 blocks"), std::string::npos) << r.why();
  }
  claims[sof_at + 10 + 3 + 1] = 0x21;
  claims[sof_at + 10 + 6 + 1] = 0x21;
  Bytes three = file;
  three[sof_at + 10 + 1] = 0x31;  // sampling product 3
  for (const Bytes* odd : {&claims, &three}) {
    std::vector<std::uint8_t> ref, first(w * h * 3, 0x77), second(w * h * 3, 0x11);
    std::uint32_t rw, rh;
    PixelFormat f;
    ASSERT_TRUE(reference_decode_file(*odd, ref, rw, rh, f));
    for (auto* buffer : {&first, &second}) {
      MemoryByteSource src(odd->data(), odd->size());
      ImageReader r(&src, nullptr);
      ASSERT_TRUE(r.read_header());
      EXPECT_TRUE(r.decode(buffer->data(), PixelFormat::rgb24, w * 3, nullptr));
    }
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, ref);
  }
}
