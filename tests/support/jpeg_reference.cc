#include "tests/support/jpeg_reference.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/jpeg_tables.h"

namespace {
using u8 = std::uint8_t;
using u32 = std::uint32_t;
using i32 = std::int32_t;

void pass(const u32* i, u32* o) {
  u32 z1 = (i[2] + i[6]) * 4433u;
  u32 t2 = z1 - i[6] * 15137u, t3 = z1 + i[2] * 6270u;
  u32 t0 = (i[0] + i[4]) * 8192u, t1 = (i[0] - i[4]) * 8192u;
  u32 a0 = t0 + t3, a3 = t0 - t3, a1 = t1 + t2, a2 = t1 - t2;
  u32 w1 = i[7] + i[1], w2 = i[5] + i[3], w3 = i[7] + i[3], w4 = i[5] + i[1];
  u32 z5 = (w3 + w4) * 9633u;
  u32 b0 = i[7] * 2446u, b1 = i[5] * 16819u, b2 = i[3] * 25172u, b3 = i[1] * 12299u;
  w1 = w1 * u32(-7373);
  w2 = w2 * u32(-20995);
  w3 = w3 * u32(-16069) + z5;
  w4 = w4 * u32(-3196) + z5;
  b0 += w1 + w3; b1 += w2 + w4; b2 += w2 + w3; b3 += w1 + w4;
  o[0] = a0 + b3; o[7] = a0 - b3; o[1] = a1 + b2; o[6] = a1 - b2;
  o[2] = a2 + b1; o[5] = a2 - b1; o[3] = a3 + b0; o[4] = a3 - b0;
}

u8 clamp(i32 v) { return u8(v < 0 ? 0 : v > 255 ? 255 : v); }

void store(u8* pixels, u32 pitch, u32 width, u32 height, u32 x, u32 y, i32 Y, i32 cb, i32 cr) {
  if (x >= width || y >= height) return;
  u32 y16 = u32(Y) * 65536u;
  i32 r = i32(y16 + (u32(cr) - 128u) * 91881u) >> 16;
  i32 g = i32(y16 - (u32(cr) - 128u) * 46802u - (u32(cb) - 128u) * 22554u) >> 16;
  i32 b = i32(y16 + (u32(cb) - 128u) * 116130u) >> 16;
  u8* p = pixels + std::size_t(y) * pitch + std::size_t(x) * 3;
  p[0] = clamp(r); p[1] = clamp(g); p[2] = clamp(b);
}
}  // namespace

void reference_idct_8x8(i32* block, const i32* quant) {
  u32 ws[64], in[8], out[8];
  for (int c = 0; c < 8; ++c) {
    bool zero = true;
    for (int r = 1; r < 8; ++r) zero = zero && block[r * 8 + c] == 0;
    if (zero) {
      for (int r = 0; r < 8; ++r) ws[r * 8 + c] = u32(block[c]) * u32(quant[c]) * 4u;
      continue;
    }
    for (int r = 0; r < 8; ++r) in[r] = u32(block[r * 8 + c]) * u32(quant[r * 8 + c]);
    pass(in, out);
    for (int r = 0; r < 8; ++r) ws[r * 8 + c] = u32(i32(out[r] + 1024u) >> 11);
  }
  for (int r = 0; r < 8; ++r) {
    pass(ws + r * 8, out);
    for (int c = 0; c < 8; ++c) block[r * 8 + c] = (i32(out[c] + 131072u) >> 18) + 128;
  }
}

void ReferenceBitReader::prime() {
  read_into(marker);
  read_into(lookahead);
  current = marker;
  bits_left = 8;
  if (current == 0xFF) {
    marker = lookahead;
    read_into(lookahead);
  }
}

int ReferenceBitReader::next_bit() {
  if (--bits_left < 0) {
    bits_left = 7;
    current = marker = lookahead;
    read_into(lookahead);
    if (current == 0xFF) {
      marker = lookahead;
      read_into(lookahead);
    }
  }
  return (current >> bits_left) & 1;
}

i32 ReferenceBitReader::receive_extend(int n) {
  if (n == 0) return 0;
  i32 v = 0;
  for (int i = 0; i < n; ++i) v = v * 2 + next_bit();
  return v < (1 << (n - 1)) ? v - (1 << n) + 1 : v;
}

int ReferenceBitReader::huffman_decode(const HuffmanCode* table, u32 count) {
  if (bits_left == 0 && lookahead == 0xFF) {
    // Take up the 0xFF and the byte after it as the next bit would, without using a bit.
    current = marker = lookahead;
    read_into(lookahead);
    marker = lookahead;
    read_into(lookahead);
    bits_left = 8;
    if (marker >= 0xD0 && marker <= 0xD7) {
      bits_left = 0;
      return -2;
    }
  }
  i32 code = 0;
  for (i32 l = 1; l <= 16; ++l) {
    code = code * 2 + next_bit();
    for (u32 e = 0; e < count && e < 256; ++e) {
      if (table[e].length > l) break;
      if (table[e].length == l && table[e].code == code) return table[e].value;
    }
  }
  return -1;
}

void ReferenceBitReader::restart_resync() {
  read_into(marker);
  read_into(lookahead);
  bits_left = 0;
}

namespace {
struct RefState {
  JpegDecoder& d;
  ReferenceBitReader br;
  int decode_block(i32* block, u32 dc, u32 ac, u32 q, i32& pred) {
    i32 zz[64] = {};
    int s = br.huffman_decode(d.huffman_tables[dc], d.huffman_counts[dc]) & 15;
    pred = i32(u32(pred) + u32(br.receive_extend(s)));
    zz[0] = pred;
    int k = 1;
    for (;;) {
      int rs = br.huffman_decode(d.huffman_tables[2 + ac], d.huffman_counts[2 + ac]);
      if (rs == -2) rs = 0;
      if (rs == -1) {
        for (int i = 0; i < 64; ++i) block[i] = 0;
        for (int r = 0; r < 8; ++r) block[r * 8 + r] = block[r * 8 + 7 - r] = 255;
        return 1;
      }
      int r = rs >> 4;
      s = rs & 15;
      i32 v = br.receive_extend(s);
      if (r == 0 && s == 0) {
        for (; k < 64; ++k) zz[k] = 0;
        break;
      }
      if (r == 15 && s == 0) {
        for (int i = 0; i < 16 && k < 64; ++i) zz[k++] = 0;
        if (k >= 64) break;
        continue;
      }
      bool done = false;
      for (int i = 0; i < r; ++i) {
        if (k >= 64) { done = true; break; }
        zz[k++] = 0;
      }
      if (done || k >= 64) break;
      zz[k++] = v;
      if (k >= 64) break;
    }
    for (int i = 0; i < 64; ++i) block[jpeg_zigzag[i]] = zz[i];
    reference_idct_8x8(block, d.quant_tables[q]);
    return 0;
  }
};
}  // namespace

bool jpeg_reference_decode(JpegDecoder& d, void* pixels, PixelFormat format, u32 pitch) {
  if (!d.supports(format)) return false;
  u8* out = static_cast<u8*>(pixels);
  RefState st{d, ReferenceBitReader{d.input()}};
  st.br.prime();
  const u32 width = d.width(), height = d.height();
  const bool dri = d.restart_interval != 0;
  i32 pred[3] = {0, 0, 0};
  i32 blocks[6][64];
  if (!d.plain_layout()) {
    // Every other layout: each component's h x v blocks per MCU; a component sample
    // covers (hmax / h) x (vmax / v) pixels; a restart after every interval of MCUs.
    const int n = d.scan_components;
    if ((n == 1) != (format == PixelFormat::grey8)) return false;
    u32 hmax = 1, vmax = 1;
    for (int i = 0; i < d.component_count; ++i) {
      hmax = std::max<u32>(hmax, d.components[i].h);
      vmax = std::max<u32>(vmax, d.components[i].v);
    }
    if (n == 1) hmax = vmax = 1;
    std::vector<std::vector<i32>> comp_blocks(n);
    u32 x = 0, y = 0, count = 0;
    while (y < height) {
      for (int i = 0; i < n; ++i) {
        const JpegComponent& c = d.components[d.scan_order[i]];
        const u32 nb = n == 1 ? 1 : u32(c.h) * c.v;
        comp_blocks[i].assign(nb * 64, 0);
        for (u32 b = 0; b < nb; ++b)
          st.decode_block(&comp_blocks[i][b * 64], c.dc, c.ac, c.quant, pred[i]);
      }
      for (u32 r = 0; r < 8 * vmax; ++r)
        for (u32 col = 0; col < 8 * hmax; ++col) {
          if (y + r >= height || x + col >= width) continue;
          i32 v[3] = {0, 0, 0};
          for (int i = 0; i < n; ++i) {
            const JpegComponent& c = d.components[d.scan_order[i]];
            const u32 ch = n == 1 ? 1 : c.h, cv = n == 1 ? 1 : c.v;
            const u32 sx = col / (hmax / ch), sy = r / (vmax / cv);
            v[d.scan_order[i]] = comp_blocks[i][((sy / 8) * ch + sx / 8) * 64 + (sy % 8) * 8 + sx % 8];
          }
          u8* p = out + std::size_t(y + r) * pitch;
          if (n == 1) p[x + col] = clamp(v[0]);
          else if (d.adobe_rgb) for (int i = 0; i < 3; ++i) p[(x + col) * 3 + i] = clamp(v[i]);
          else store(out, pitch, width, height, x + col, y + r, v[0], v[1], v[2]);
        }
      x += 8 * hmax;
      if (x >= width) {
        x = 0;
        y += 8 * vmax;
      }
      if (dri && ++count == d.restart_interval && y < height) {
        count = 0;
        st.br.restart_resync();
        pred[0] = pred[1] = pred[2] = 0;
      }
    }
    return true;
  }
  if (d.scan_components == 1 && format == PixelFormat::grey8) {
    u32 x = 0, y = 0;
    while (y < height) {
      st.decode_block(blocks[0], d.luma_dc_table, d.luma_ac_table, d.luma_quant_table, pred[0]);
      for (u32 r = 0; r < 8; ++r)
        for (u32 c = 0; c < 8; ++c)
          if (y + r < height && x + c < width)
            out[std::size_t(y + r) * pitch + x + c] = clamp(blocks[0][r * 8 + c]);
      x += 8;
      if (x >= width) {
        x = 0;
        y += 8;
        if (dri) { st.br.restart_resync(); pred[0] = 0; }
      }
    }
    return true;
  }
  if (d.scan_components != 3 || format != PixelFormat::rgb24) return true;
  u32 mw, mh, nl;
  switch (d.luma_sampling) {
    case 1: mw = 8; mh = 8; nl = 1; break;
    case 2: mw = 16; mh = 8; nl = 2; break;
    case 4: mw = 16; mh = 16; nl = 4; break;
    default: return true;
  }
  u32 x = 0, y = 0;
  while (y < height) {
    for (u32 b = 0; b < nl; ++b)
      st.decode_block(blocks[b], d.luma_dc_table, d.luma_ac_table, d.luma_quant_table, pred[0]);
    st.decode_block(blocks[4], d.chroma_dc_table, d.chroma_ac_table, d.chroma_quant_table, pred[1]);
    st.decode_block(blocks[5], d.chroma_dc_table, d.chroma_ac_table, d.chroma_quant_table, pred[2]);
    for (u32 r = 0; r < mh; ++r)
      for (u32 c = 0; c < mw; ++c) {
        u32 lb = (r / 8) * (mw / 8) + c / 8;
        u32 cr_r = mh == 16 ? r / 2 : r, cr_c = mw == 16 ? c / 2 : c;
        store(out, pitch, width, height, x + c, y + r, blocks[lb][(r % 8) * 8 + c % 8],
              blocks[4][cr_r * 8 + cr_c], blocks[5][cr_r * 8 + cr_c]);
      }
    x += mw;
    if (x >= width) {
      x = 0;
      y += mh;
      if (dri) { st.br.restart_resync(); pred[0] = pred[1] = pred[2] = 0; }
    }
  }
  return true;
}
