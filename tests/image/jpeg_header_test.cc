// The marker rules of the JPEG header parser.
#include <gtest/gtest.h>

#include "image/jpeg_decoder.h"
#include "authoring/jpeg_encoder.h"
#include "tests/support/jpeg_builder.h"

using namespace jpeg_test;

namespace {

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes dht_dc0() { return dht(0x00, {1}, {0}); }
Bytes dht_ac0() { return dht(0x10, {1}, {0}); }
Bytes grey_sof() { return sof(8, 8, {{1, 0x11, 0}}); }
Bytes grey_sos() { return sos({{1, 0x00}}); }

struct Parsed {
  bool ok;
  std::unique_ptr<MemoryByteSource> src;
  std::unique_ptr<JpegDecoder> d;
};

Parsed parse(const Bytes& file) {
  Parsed p;
  p.src = std::make_unique<MemoryByteSource>(file.data(), file.size());
  p.d = std::make_unique<JpegDecoder>(p.src.get());
  p.ok = p.d->read_header();
  return p;
}

Bytes baseline() {
  return cat({soi(), app0(), dqt_flat(0, 1), grey_sof(), dht_dc0(), dht_ac0(), grey_sos()});
}

}  // namespace

TEST(JpegHeader, BaselineOrderAndExtraSegments) {
  Parsed p = parse(baseline());
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.d->width(), 8u);
  EXPECT_TRUE(p.d->supports(PixelFormat::grey8));
  EXPECT_FALSE(p.d->supports(PixelFormat::rgb24));
  EXPECT_FALSE(p.d->read_header());  // one header per decoder

  Bytes com, app1, dri;
  segment(com, 0xFE, {'h', 'i'});
  segment(app1, 0xE1, {'E', 'x', 'i', 'f', 0, 0, 1, 2, 3});
  segment(dri, 0xDD, {0, 1});
  Bytes extra = cat({soi(), com, app0(), app1, dqt_flat(0, 1), com, grey_sof(), dri, dht_dc0(),
                     app1, dht_ac0(), grey_sos()});
  Parsed q = parse(extra);
  ASSERT_TRUE(q.ok);
  EXPECT_TRUE(q.d->markers_seen & jpeg_seen_dri);
  // Stray bytes between segments are passed over.
  Bytes stray = cat({soi(), {0x00, 0x12}, app0(), dqt_flat(0, 1), grey_sof(), dht_dc0(), dht_ac0(), grey_sos()});
  EXPECT_TRUE(parse(stray).ok);
  // The source stands at the first byte of entropy data.
  Bytes withdata = baseline();
  withdata.push_back(0x5A);
  Parsed r = parse(withdata);
  ASSERT_TRUE(r.ok);
  std::uint8_t b = 0;
  EXPECT_EQ(r.src->read(&b, 1), 1u);
  EXPECT_EQ(b, 0x5A);
}

TEST(JpegHeader, RefusedFiles) {
  Bytes app1;
  segment(app1, 0xE1, {'E', 'x', 'i', 'f', 0, 0});
  Parsed prog = parse(cat({soi(), app0(), dqt_flat(0, 1), sof(8, 8, {{1, 0x11, 0}}, 8, 0xC2)}));
  EXPECT_FALSE(prog.ok);
  EXPECT_STREQ(prog.d->header_error, "progressive JPEG not supported");
  Parsed arith = parse(cat({soi(), app0(), sof(8, 8, {{1, 0x11, 0}}, 8, 0xC9)}));
  EXPECT_FALSE(arith.ok);
  EXPECT_STREQ(arith.d->header_error, "arithmetic-coded JPEG not supported");
  EXPECT_FALSE(parse(cat({soi(), app0(), sof(8, 8, {{1, 0x11, 0}}, 12)})).ok);  // 12-bit
  EXPECT_FALSE(parse(cat({soi(), {0xFF, 0xFF, 0xE0}})).ok);                      // ends after fill bytes
  EXPECT_FALSE(parse(cat({soi(), {0xFF, 0xD9}})).ok);                            // EOI
  EXPECT_FALSE(parse(cat({soi(), {0xFF, 0xE5, 0, 2}})).ok);                      // ends after APP5
  EXPECT_FALSE(parse(cat({soi(), {0xFF, 0x10}})).ok);                            // below C0
  // A 16-bit quantisation table and a table id above 1.
  Bytes q16 = dqt_flat(0x10, 1), q2 = dqt_flat(0x02, 1);
  EXPECT_FALSE(parse(cat({soi(), app0(), q16})).ok);
  EXPECT_FALSE(parse(cat({soi(), app0(), q2})).ok);
  // Ending after a JFIF 2 APP0; a JFIF APP0 too short for its fields.
  Bytes v2, shortapp;
  segment(v2, 0xE0, {'J', 'F', 'I', 'F', 0, 2, 0, 0, 0, 1, 0, 1, 0, 0});
  segment(shortapp, 0xE0, {'J', 'F', 'I', 'F', 0});
  EXPECT_FALSE(parse(cat({soi(), v2})).ok);
  EXPECT_FALSE(parse(cat({soi(), shortapp})).ok);
  // SOS selector 4, scan of two components, Huffman id 2, quant id 2 in SOF.
  Bytes head = cat({soi(), app0(), dqt_flat(0, 1), grey_sof(), dht_dc0(), dht_ac0()});
  EXPECT_FALSE(parse(cat({head, sos({{4, 0x00}})})).ok);
  EXPECT_FALSE(parse(cat({head, sos({{1, 0x00}, {2, 0x11}})})).ok);
  EXPECT_FALSE(parse(cat({head, sos({{1, 0x20}})})).ok);
  EXPECT_FALSE(parse(cat({soi(), app0(), sof(8, 8, {{1, 0x11, 2}})})).ok);
  // More than 256 codes in one table.
  EXPECT_FALSE(parse(cat({soi(), app0(), dht(0x00, std::vector<std::uint8_t>(16, 17), Bytes(272, 1))})).ok);
  // A skipped segment whose length is below 2.
  EXPECT_FALSE(parse(cat({soi(), {0xFF, 0xFE, 0, 1}})).ok);
  // Truncated anywhere: every prefix of a good header fails.
  Bytes good = baseline();
  for (std::size_t n = 0; n < good.size(); ++n) {
    Bytes cut(good.begin(), good.begin() + std::ptrdiff_t(n));
    ASSERT_FALSE(parse(cut).ok) << n;
  }
}

TEST(JpegHeader, TablesAndThumbnail) {
  // A 2x2 thumbnail's 12 bytes are skipped.
  Parsed t = parse(cat({soi(), app0(2, 2), dqt_flat(0, 1), grey_sof(), dht_dc0(), dht_ac0(), grey_sos()}));
  EXPECT_TRUE(t.ok);
  // Class/id byte 0x13 defines AC table 1 (only bits 4 and 0 count).
  Parsed h = parse(cat({soi(), app0(), dht(0x13, {0, 2}, {0x11, 0x22})}));
  EXPECT_EQ(h.d->huffman_counts[3], 2u);
  EXPECT_EQ(h.d->huffman_tables[3][0].code, 0);
  EXPECT_EQ(h.d->huffman_tables[3][1].code, 1);
  EXPECT_EQ(h.d->huffman_tables[3][1].value, 0x22);
  EXPECT_EQ(h.d->huffman_tables[3][1].length, 2);
  // Canonical codes across lengths: counts {1, 2} give 0, 10, 11.
  Parsed c = parse(cat({soi(), app0(), dht(0x00, {1, 2}, {5, 6, 7})}));
  EXPECT_EQ(c.d->huffman_tables[0][1].code, 2);
  EXPECT_EQ(c.d->huffman_tables[0][2].code, 3);
  // DQT values arrive in zigzag order and are stored in natural order.
  Bytes q = {0};
  for (int i = 0; i < 64; ++i) q.push_back(std::uint8_t(i + 1));
  Bytes dqt;
  segment(dqt, 0xDB, q);
  Parsed d = parse(cat({soi(), app0(), dqt}));
  EXPECT_EQ(d.d->quant_tables[0][0], 1);
  EXPECT_EQ(d.d->quant_tables[0][1], 2);
  EXPECT_EQ(d.d->quant_tables[0][8], 3);
  EXPECT_EQ(d.d->quant_tables[0][16], 4);
  // Colour: sampling of component 1, chroma sampling ignored, 65535 sizes as they are.
  Bytes colour = cat({soi(), app0(), dqt_flat(0, 1), dqt_flat(1, 2),
                      sof(65535, 65535, {{1, 0x22, 0}, {2, 0x22, 1}, {3, 0x11, 1}}), dht_dc0(),
                      dht_ac0(), sos({{1, 0x00}, {2, 0x11}, {3, 0x11}})});
  Parsed col = parse(colour);
  ASSERT_TRUE(col.ok);
  EXPECT_EQ(col.d->luma_sampling, 4);
  EXPECT_EQ(col.d->chroma_quant_table, 1);
  EXPECT_EQ(col.d->chroma_dc_table, 1u);
  EXPECT_EQ(col.d->width(), 65535u);
  EXPECT_TRUE(col.d->supports(PixelFormat::rgb24));
  EXPECT_FALSE(col.d->supports(PixelFormat::grey8));
}

// Baseline files as cameras and editors write them are read; what cannot be decoded is
// refused with the reason.
TEST(JpegHeader, FilesCamerasAndEditorsWrite) {
  const Bytes tail = cat({dqt_flat(0, 1), grey_sof(), dht_dc0(), dht_ac0(), grey_sos()});
  Bytes exif, adobe, jfxx, v2, app5;
  segment(exif, 0xE1, {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42});
  segment(adobe, 0xEE, {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 1});
  segment(jfxx, 0xE0, {'J', 'F', 'X', 'X', 0, 0x13, 1, 2, 3});
  segment(v2, 0xE0, {'J', 'F', 'I', 'F', 0, 2, 1, 0, 0, 1, 0, 1, 0, 0, 0xFF, 0xD9});
  segment(app5, 0xE5, {1, 2, 0xFF, 0xD9});
  const Bytes fill = {0xFF, 0xFF, 0xFF};
  for (const Bytes& file : {cat({soi(), exif, tail}), cat({soi(), adobe, tail}),
                            cat({soi(), app0(), jfxx, tail}), cat({soi(), v2, tail}),
                            cat({soi(), app5, tail}), cat({soi(), fill, app0(), fill, tail})}) {
    Parsed p = parse(file);
    EXPECT_TRUE(p.ok) << (p.d->header_error ? p.d->header_error : "");
  }
  Parsed a = parse(cat({soi(), adobe, tail}));
  EXPECT_FALSE(a.d->adobe_rgb);  // transform 1: Y, Cb, Cr

  auto refused = [&](const Bytes& file, const char* words) {
    Parsed p = parse(file);
    EXPECT_FALSE(p.ok) << words;
    ASSERT_NE(p.d->header_error, nullptr) << words;
    EXPECT_NE(std::string(p.d->header_error).find(words), std::string::npos) << p.d->header_error;
  };
  const Bytes head = cat({soi(), app0(), dqt_flat(0, 1)});
  refused(cat({head, sof(0, 8, {{1, 0x11, 0}})}), "0 x 8");
  refused(cat({head, sof(8, 0, {{1, 0x11, 0}})}), "8 x 0");
  refused(cat({head, sof(8, 8, {})}), "no components");
  refused(cat({head, sof(8, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}, {4, 0x11, 0}})}), "4 components");
  refused(cat({head, sof(8, 8, {{1, 0x51, 0}})}), "sampling factors 5x1");
  refused(cat({head, sof(8, 8, {{1, 0x10, 0}})}), "sampling factors 1x0");
  refused(cat({head, sof(8, 8, {{1, 0x31, 0}, {2, 0x21, 0}, {3, 0x11, 0}})}), "sampling 3x1,2x1,1x1");
  refused(cat({head, sof(8, 8, {{1, 0x44, 0}, {2, 0x11, 0}, {3, 0x11, 0}})}), "more than 10 blocks");
  refused(cat({head, sof(8, 8, {{1, 0x11, 0}, {1, 0x11, 0}, {3, 0x11, 0}})}), "two frame components");
  const Bytes colour = cat({head, sof(8, 8, {{1, 0x22, 0}, {2, 0x11, 0}, {3, 0x11, 0}}), dht_dc0(), dht_ac0()});
  refused(cat({colour, sos({{1, 0x00}})}), "one scan per component");
  refused(cat({colour, sos({{1, 0x00}, {2, 0x00}, {9, 0x00}})}), "selector 9");
  refused(cat({soi(), app0(), sof(8, 8, {{1, 0x11, 0}}, 8, 0xC2)}), "progressive");
  refused(cat({soi(), app0(), sof(8, 8, {{1, 0x11, 0}}, 8, 0xC9)}), "arithmetic");
  refused(cat({soi(), app0(), {0xFF, 0xF0, 0, 2}}), "marker 0xFFF0");
  // Layouts the general loop decodes are accepted: vertical, 4x1, 4x2, chroma 1x2.
  for (std::uint8_t y : {0x12, 0x41, 0x42, 0x22}) {
    Parsed p = parse(cat({head, sof(8, 8, {{1, y, 0}, {2, std::uint8_t(y == 0x22 ? 0x12 : 0x11), 0}, {3, 0x11, 0}}),
                          dht_dc0(), dht_ac0(), sos({{1, 0x00}, {2, 0x00}, {3, 0x00}})}));
    EXPECT_TRUE(p.ok) << int(y);
    EXPECT_FALSE(p.d->plain_layout());
  }
}
