// Baseline JPEG encoder: the standard quantisation and Huffman tables of ITU-T T.81
// Annex K scaled by quality, a floating-point forward DCT, one interleaved scan.
#include "authoring/jpeg_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "image/jpeg_tables.h"

namespace {

using u8 = std::uint8_t;
using u32 = std::uint32_t;

constexpr u8 base_luma_quant[64] = {  // natural order
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr u8 base_chroma_quant[64] = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
    24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

constexpr u8 dc_luma_bits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
constexpr u8 dc_chroma_bits[16] = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
constexpr u8 dc_values[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
constexpr u8 ac_luma_bits[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
constexpr u8 ac_luma_values[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
    0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
    0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
    0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
    0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
    0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
    0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
constexpr u8 ac_chroma_bits[16] = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
constexpr u8 ac_chroma_values[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
    0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
    0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
    0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
    0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
    0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
    0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
    0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
    0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
    0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
    0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

struct HuffmanEncodeTable {
  std::uint16_t code[256] = {};
  u8 length[256] = {};
};

HuffmanEncodeTable make_table(const u8* bits, const u8* values) {
  HuffmanEncodeTable t;
  u32 code = 0, k = 0;
  for (int l = 1; l <= 16; ++l) {
    for (int i = 0; i < bits[l - 1]; ++i, ++k) {
      t.code[values[k]] = static_cast<std::uint16_t>(code++);
      t.length[values[k]] = static_cast<u8>(l);
    }
    code <<= 1;
  }
  return t;
}

void scale_quant(const u8* base, int quality, u8* out) {
  quality = std::clamp(quality, 1, 100);
  int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
  for (int i = 0; i < 64; ++i) out[i] = static_cast<u8>(std::clamp((base[i] * scale + 50) / 100, 1, 255));
}

class BitWriter {
 public:
  explicit BitWriter(std::vector<u8>& out) : out(out) {}
  void put(u32 bits, int count) {
    for (int i = count - 1; i >= 0; --i) {
      acc = (acc << 1) | ((bits >> i) & 1);
      if (++filled == 8) emit();
    }
  }
  void flush() {  // pad with one-bits to a byte boundary
    while (filled) put(1, 1);
  }

 private:
  void emit() {
    out.push_back(static_cast<u8>(acc));
    if (static_cast<u8>(acc) == 0xFF) out.push_back(0);
    acc = 0;
    filled = 0;
  }
  std::vector<u8>& out;
  u32 acc = 0;
  int filled = 0;
};

struct Dct {
  float c[8][8];  // c[u][x] = C(u)/2 cos((2x+1) u pi / 16)
  Dct() {
    for (int u = 0; u < 8; ++u)
      for (int x = 0; x < 8; ++x)
        c[u][x] = float((u == 0 ? std::sqrt(0.5) : 1.0) * 0.5 *
                        std::cos((2 * x + 1) * u * 3.14159265358979323846 / 16));
  }
};

// Forward DCT of level-shifted samples and quantisation, giving zigzag-ordered values.
void forward_block(const float* samples, const u8* quant, int* zz, const Dct& d) {
  float tmp[64], coef[64];
  for (int y = 0; y < 8; ++y)
    for (int u = 0; u < 8; ++u) {
      float s = 0;
      for (int x = 0; x < 8; ++x) s += d.c[u][x] * (samples[y * 8 + x] - 128.0f);
      tmp[y * 8 + u] = s;
    }
  for (int u = 0; u < 8; ++u)
    for (int v = 0; v < 8; ++v) {
      float s = 0;
      for (int y = 0; y < 8; ++y) s += d.c[v][y] * tmp[y * 8 + u];
      coef[v * 8 + u] = s;
    }
  for (int k = 0; k < 64; ++k) {
    int n = jpeg_zigzag[k];
    zz[k] = static_cast<int>(std::lround(coef[n] / quant[n]));
  }
}

int magnitude_bits(int v) {
  int a = v < 0 ? -v : v, n = 0;
  while (a) { ++n; a >>= 1; }
  return n;
}

void encode_block(BitWriter& w, const int* zz, int& predictor, const HuffmanEncodeTable& dc,
                  const HuffmanEncodeTable& ac) {
  int diff = std::clamp(zz[0], -2047, 2047) - predictor;
  predictor += diff;
  int s = magnitude_bits(diff);
  w.put(dc.code[s], dc.length[s]);
  if (s) w.put(static_cast<u32>(diff < 0 ? diff + (1 << s) - 1 : diff), s);
  int run = 0;
  for (int k = 1; k < 64; ++k) {
    int v = std::clamp(zz[k], -1023, 1023);
    if (v == 0) { ++run; continue; }
    while (run >= 16) { w.put(ac.code[0xF0], ac.length[0xF0]); run -= 16; }
    int n = magnitude_bits(v);
    int sym = (run << 4) | n;
    w.put(ac.code[sym], ac.length[sym]);
    w.put(static_cast<u32>(v < 0 ? v + (1 << n) - 1 : v), n);
    run = 0;
  }
  if (run) w.put(ac.code[0], ac.length[0]);
}

void put16(std::vector<u8>& out, u32 v) {
  out.push_back(static_cast<u8>(v >> 8));
  out.push_back(static_cast<u8>(v));
}

void put_dht(std::vector<u8>& out, u8 class_id, const u8* bits, const u8* values) {
  u32 n = 0;
  for (int i = 0; i < 16; ++i) n += bits[i];
  out.push_back(0xFF); out.push_back(0xC4);
  put16(out, 2 + 1 + 16 + n);
  out.push_back(class_id);
  out.insert(out.end(), bits, bits + 16);
  out.insert(out.end(), values, values + n);
}

// The input as three planes (or one) of floats, padded to whole MCUs by repeating the
// last column and row.
struct Planes {
  u32 w, h;  // padded size
  std::vector<float> y, cb, cr;
};

}  // namespace

void jpeg_rgb_to_ycc(u8 r, u8 g, u8 b, u8& y, u8& cb, u8& cr) {
  auto clamp = [](double v) { return static_cast<u8>(std::clamp(std::lround(v), 0L, 255L)); };
  y = clamp(0.299 * r + 0.587 * g + 0.114 * b);
  cb = clamp(-0.168736 * r - 0.331264 * g + 0.5 * b + 128);
  cr = clamp(0.5 * r - 0.418688 * g - 0.081312 * b + 128);
}

bool jpeg_encode(const void* pixels, PixelFormat format, u32 width, u32 height, u32 pitch,
                 const JpegEncodeOptions& options, std::vector<u8>& out) {
  out.clear();
  if (!pixels || width == 0 || height == 0 || width > 65535 || height > 65535) return false;
  if (format != PixelFormat::rgb24 && format != PixelFormat::argb32 &&
      format != PixelFormat::grey8)
    return false;
  if (std::size_t(pitch) < std::size_t(width) * pixel_format_bytes(format)) return false;

  const bool grey = options.grey;
  u32 hs = 1, vs = 1;
  if (!grey && options.sampling == JpegSampling::s2x1) hs = 2;
  if (!grey && options.sampling == JpegSampling::s2x2) hs = vs = 2;
  const u32 mcu_w = 8 * hs, mcu_h = 8 * vs;
  const u32 mcus_x = (width + mcu_w - 1) / mcu_w, mcus_y = (height + mcu_h - 1) / mcu_h;

  Planes p;
  p.w = mcus_x * mcu_w;
  p.h = mcus_y * mcu_h;
  std::size_t area = std::size_t(p.w) * p.h;
  p.y.resize(area);
  if (!grey) { p.cb.resize(area); p.cr.resize(area); }
  const u8* base = static_cast<const u8*>(pixels);
  for (u32 y = 0; y < p.h; ++y) {
    const u8* row = base + std::size_t(std::min(y, height - 1)) * pitch;
    for (u32 x = 0; x < p.w; ++x) {
      u32 sx = std::min(x, width - 1);
      u8 r, g, b;
      if (format == PixelFormat::rgb24) { r = row[3 * sx]; g = row[3 * sx + 1]; b = row[3 * sx + 2]; }
      else if (format == PixelFormat::argb32) { b = row[4 * sx]; g = row[4 * sx + 1]; r = row[4 * sx + 2]; }
      else { r = g = b = row[sx]; }
      std::size_t i = std::size_t(y) * p.w + x;
      u8 yy, cb, cr;
      if (format == PixelFormat::grey8) { yy = r; cb = cr = 128; }
      else jpeg_rgb_to_ycc(r, g, b, yy, cb, cr);
      p.y[i] = yy;
      if (!grey) { p.cb[i] = cb; p.cr[i] = cr; }
    }
  }

  u8 qy[64], qc[64];
  scale_quant(base_luma_quant, options.quality, qy);
  scale_quant(base_chroma_quant, options.quality, qc);

  out.reserve(area / 4 + 1024);
  const u8 soi_app0[] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0,
                         1,    1,    0,    0,    1, 0,  1,   0,   0};
  out.insert(out.end(), soi_app0, soi_app0 + sizeof soi_app0);
  for (int t = 0; t < (grey ? 1 : 2); ++t) {
    out.push_back(0xFF); out.push_back(0xDB); put16(out, 67);
    out.push_back(static_cast<u8>(t));
    const u8* q = t ? qc : qy;
    for (int k = 0; k < 64; ++k) out.push_back(q[jpeg_zigzag[k]]);
  }
  const u32 ncomp = grey ? 1 : 3;
  out.push_back(0xFF); out.push_back(0xC0); put16(out, 8 + 3 * ncomp);
  out.push_back(8); put16(out, height); put16(out, width);
  out.push_back(static_cast<u8>(ncomp));
  for (u32 c = 1; c <= ncomp; ++c) {
    out.push_back(static_cast<u8>(c));
    out.push_back(static_cast<u8>(c == 1 ? (hs << 4) | vs : 0x11));
    out.push_back(c == 1 ? 0 : 1);
  }
  put_dht(out, 0x00, dc_luma_bits, dc_values);
  put_dht(out, 0x10, ac_luma_bits, ac_luma_values);
  if (!grey) {
    put_dht(out, 0x01, dc_chroma_bits, dc_values);
    put_dht(out, 0x11, ac_chroma_bits, ac_chroma_values);
  }
  u32 interval = 0;
  if (options.restart) {
    interval = options.restart_interval ? options.restart_interval : mcus_x;
    if (interval > 65535) return false;
    out.push_back(0xFF); out.push_back(0xDD); put16(out, 4); put16(out, interval);
  }
  out.push_back(0xFF); out.push_back(0xDA); put16(out, 6 + 2 * ncomp);
  out.push_back(static_cast<u8>(ncomp));
  for (u32 c = 1; c <= ncomp; ++c) {
    out.push_back(static_cast<u8>(c));
    out.push_back(c == 1 ? 0x00 : 0x11);
  }
  out.push_back(0); out.push_back(63); out.push_back(0);

  static const Dct dct;
  static const HuffmanEncodeTable dcl = make_table(dc_luma_bits, dc_values);
  static const HuffmanEncodeTable acl = make_table(ac_luma_bits, ac_luma_values);
  static const HuffmanEncodeTable dcc = make_table(dc_chroma_bits, dc_values);
  static const HuffmanEncodeTable acc = make_table(ac_chroma_bits, ac_chroma_values);

  BitWriter w(out);
  int pred[3] = {0, 0, 0};
  float samples[64];
  int zz[64];
  u32 mcu_count = 0, restart_number = 0;
  const u32 total = mcus_x * mcus_y;
  for (u32 my = 0; my < mcus_y; ++my) {
    for (u32 mx = 0; mx < mcus_x; ++mx) {
      u32 x0 = mx * mcu_w, y0 = my * mcu_h;
      for (u32 by = 0; by < vs; ++by)
        for (u32 bx = 0; bx < hs; ++bx) {
          for (u32 r = 0; r < 8; ++r)
            for (u32 c = 0; c < 8; ++c)
              samples[r * 8 + c] = p.y[std::size_t(y0 + by * 8 + r) * p.w + x0 + bx * 8 + c];
          forward_block(samples, qy, zz, dct);
          encode_block(w, zz, pred[0], dcl, acl);
        }
      if (!grey) {
        for (int plane = 0; plane < 2; ++plane) {
          const std::vector<float>& src = plane ? p.cr : p.cb;
          for (u32 r = 0; r < 8; ++r)
            for (u32 c = 0; c < 8; ++c) {
              float s = 0;
              for (u32 dy = 0; dy < vs; ++dy)
                for (u32 dx = 0; dx < hs; ++dx)
                  s += src[std::size_t(y0 + r * vs + dy) * p.w + x0 + c * hs + dx];
              samples[r * 8 + c] = s / float(hs * vs);
            }
          forward_block(samples, qc, zz, dct);
          encode_block(w, zz, pred[1 + plane], dcc, acc);
        }
      }
      ++mcu_count;
      if (interval && mcu_count % interval == 0 && mcu_count < total) {
        w.flush();
        out.push_back(0xFF);
        out.push_back(static_cast<u8>(0xD0 + (restart_number++ & 7)));
        pred[0] = pred[1] = pred[2] = 0;
      }
    }
  }
  w.flush();
  out.push_back(0xFF); out.push_back(0xD9);
  return true;
}
