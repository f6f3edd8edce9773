// The fast decoder gives the same pixels as the plain reference decoder, on encoder output
// of every layout and on damaged copies of it.
#include <gtest/gtest.h>

#include <random>

#include "image/image_kernels.h"
#include "image/jpeg_decoder.h"
#include "authoring/jpeg_encoder.h"
#include "tests/support/jpeg_builder.h"

using namespace jpeg_test;

namespace {

Bytes encode(std::uint32_t w, std::uint32_t h, JpegEncodeOptions o, std::uint32_t seed) {
  auto rgb = synthetic_rgb(w, h, seed);
  Bytes out;
  EXPECT_TRUE(jpeg_encode(rgb.data(), PixelFormat::rgb24, w, h, w * 3, o, out));
  return out;
}

// Both decoders on one file: same header result, same pixels.
void expect_same(const Bytes& file, const char* what, const ImageKernels* kernels = nullptr) {
  std::vector<std::uint8_t> fast, ref;
  std::uint32_t w1 = 0, h1 = 0, w2 = 0, h2 = 0;
  PixelFormat f;
  bool ref_ok = reference_decode_file(file, ref, w2, h2, f);
  bool fast_ok = decode_file(file, f, fast, w1, h1, kernels);
  if (!ref_ok) return;  // header refused: nothing to compare
  ASSERT_TRUE(fast_ok) << what;
  ASSERT_EQ(w1, w2);
  ASSERT_EQ(h1, h2);
  ASSERT_TRUE(fast == ref) << what;
}

}  // namespace

TEST(JpegEquivalence, EncoderLayouts) {
  for (int k = 0; k < image_kernel_count(); ++k) {  // every kernel version
  const std::uint32_t sizes[][2] = {{1, 1}, {8, 8}, {17, 9}, {33, 31}, {64, 48}, {100, 37}};
  int case_no = 0;
  for (auto& s : sizes)
    for (int layout = 0; layout < 4; ++layout)
      for (int restart = 0; restart < 2; ++restart) {
        JpegEncodeOptions o;
        o.grey = layout == 3;
        o.sampling = layout == 0 ? JpegSampling::s1x1
                     : layout == 1 ? JpegSampling::s2x1 : JpegSampling::s2x2;
        o.restart = restart;
        o.quality = 30 + 20 * (case_no % 4);
        Bytes file = encode(s[0], s[1], o, ++case_no);
        expect_same(file, "encoder output", &image_kernel(k));
      }
  }
}

TEST(JpegEquivalence, DamagedFiles) {
  std::mt19937 rng(1234);
  for (int base = 0; base < 6; ++base) {
    JpegEncodeOptions o;
    o.grey = base % 3 == 2;
    o.sampling = base % 3 == 0 ? JpegSampling::s2x2 : JpegSampling::s1x1;
    o.restart = base >= 3;
    o.quality = 95;
    Bytes file = encode(40, 24, o, base + 100);
    // The scan starts after the SOS header; damage only the scan so the header passes.
    std::size_t sos = 0;
    for (std::size_t i = 0; i + 1 < file.size(); ++i)
      if (file[i] == 0xFF && file[i + 1] == 0xDA) sos = i;
    std::size_t scan = sos + 2 + ((file[sos + 2] << 8) | file[sos + 3]);
    for (int m = 0; m < 60; ++m) {
      Bytes bad = file;
      std::uniform_int_distribution<std::size_t> at(scan, bad.size() - 1);
      switch (m % 5) {
        case 0: bad[at(rng)] ^= std::uint8_t(1u << (rng() % 8)); break;
        case 1: bad[at(rng)] = 0xFF; break;
        case 2: {  // a restart marker in the middle
          std::size_t p = at(rng);
          bad.insert(bad.begin() + p, {0xFF, std::uint8_t(0xD0 + rng() % 8)});
          break;
        }
        case 3: bad.resize(at(rng)); break;  // truncated
        case 4:
          for (int i = 0; i < 8; ++i) bad[at(rng)] = std::uint8_t(rng());
          break;
      }
      expect_same(bad, "damaged file");
    }
  }
}

TEST(JpegEquivalence, RandomScanData) {
  // Headers from the encoder, scans of random bytes rich in 0xFF and markers.
  std::mt19937 rng(99);
  for (int t = 0; t < 40; ++t) {
    JpegEncodeOptions o;
    o.grey = t % 4 == 3;
    o.sampling = JpegSampling(t % 3);
    o.restart = t % 2;
    Bytes file = encode(24, 20, o, t);
    std::size_t sos = 0;
    for (std::size_t i = 0; i + 1 < file.size(); ++i)
      if (file[i] == 0xFF && file[i + 1] == 0xDA) sos = i;
    file.resize(sos + 2 + ((file[sos + 2] << 8) | file[sos + 3]));
    std::size_t n = rng() % 400;
    for (std::size_t i = 0; i < n; ++i) {
      std::uint32_t r = rng() % 10;
      file.push_back(r < 2 ? 0xFF : r < 3 ? std::uint8_t(0xD0 + rng() % 8) : std::uint8_t(rng()));
    }
    expect_same(file, "random scan");
  }
}

// The general loop against the plain reference: headers rewritten to other sampling
// layouts and restart intervals, scans of random bytes rich in 0xFF and restart markers.
TEST(JpegEquivalence, RandomScanDataInOtherLayouts) {
  std::mt19937 rng(1234);
  const std::uint8_t layouts[][3] = {{0x12, 0x11, 0x11}, {0x31, 0x11, 0x11}, {0x41, 0x11, 0x11},
                                     {0x42, 0x11, 0x11}, {0x22, 0x12, 0x12}, {0x22, 0x21, 0x11},
                                     {0x14, 0x12, 0x11}, {0x11, 0x11, 0x11}};
  int general = 0;
  for (int t = 0; t < 64; ++t) {
    JpegEncodeOptions o;
    o.grey = t % 8 == 7;
    o.sampling = JpegSampling::s1x1;
    const std::uint32_t w = 1 + rng() % 40, h = 1 + rng() % 40;
    Bytes file = encode(w, h, o, t);
    std::size_t sof = 0, sos = 0;
    for (std::size_t i = 0; i + 1 < file.size(); ++i) {
      if (file[i] == 0xFF && file[i + 1] == 0xC0) sof = i;
      if (file[i] == 0xFF && file[i + 1] == 0xDA) sos = i;
    }
    if (!o.grey) {
      const std::uint8_t* l = layouts[t % 8];
      for (int c = 0; c < 3; ++c) file[sof + 10 + 3 * c + 1] = l[c];
    }
    file.resize(sos + 2 + ((file[sos + 2] << 8) | file[sos + 3]));
    const std::uint32_t interval = rng() % 4 == 0 ? 0 : 1 + rng() % 9;
    const Bytes dri = {0xFF, 0xDD, 0, 4, std::uint8_t(interval >> 8), std::uint8_t(interval)};
    file.insert(file.begin() + std::ptrdiff_t(sos), dri.begin(), dri.end());
    const std::size_t n = rng() % 600;
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint32_t r = rng() % 10;
      file.push_back(r < 2 ? 0xFF : r < 3 ? std::uint8_t(0xD0 + rng() % 8) : std::uint8_t(rng()));
    }
    MemoryByteSource src(file.data(), file.size());
    JpegDecoder d(&src);
    ASSERT_TRUE(d.read_header()) << d.header_error;
    general += !d.plain_layout();
    expect_same(file, "random scan, other layout");
  }
  EXPECT_GT(general, 40);
}
