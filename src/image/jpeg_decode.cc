// JPEG scan decoding: blocks, the fast MCU loops for grey and for Y/Cb/Cr with luma
// sampling 1x1, 2x1 or 2x2, a general loop for every other layout and restart interval,
// chroma replication and the fixed-point colour conversion.
#include <cstring>
#include <memory>
#include <new>

#include "image/jpeg_colour.h"
#include "image/jpeg_decoder.h"
#include "image/jpeg_scan.h"
#include "image/jpeg_tables.h"

namespace {

using u8 = std::uint8_t;
using u32 = std::uint32_t;
using i32 = std::int32_t;

inline u8 clamp255(i32 v) { return static_cast<u8>(v < 0 ? 0 : v > 255 ? 255 : v); }

struct BlockDecoder {
  JpegScanReader& bits;
  JpegFastHuffman tables[4];  // DC 0, DC 1, AC 0, AC 1
  const i32 (*quant)[64];
  JpegIdct idct;
  // Coefficients of the block being decoded; all zero between blocks (the transform
  // clears it), so no block pays for clearing all 64.
  alignas(32) i32 coef[64] = {};

  // Fills `out` with samples; a code that matches nothing gives the white X instead.
  __attribute__((always_inline)) void decode_block(i32* out, int dc, int ac, int q, i32& predictor) {
    i32* const block = coef;
    int s;
    const i32 fd = bits.refill16() ? tables[dc].fast_dc[bits.peek9()] : 0;
    if (fd) {  // code and difference bits in one lookup
      bits.skip(fd & 15);
      predictor = static_cast<i32>(static_cast<u32>(predictor) + static_cast<u32>(fd >> 8));
    } else {
      s = bits.huffman_decode(tables[dc]) & 15;
      predictor = static_cast<i32>(static_cast<u32>(predictor) +
                                   static_cast<u32>(bits.receive_extend(s)));
    }
    block[0] = predictor;
    const JpegFastHuffman& act = tables[2 + ac];
    int nonzero = 0;
    for (int k = 1; k < 64;) {
      if (bits.refill16()) {
        // Code and extra bits in one lookup: the same bits taken, the same value.
        const i32 f = act.fast_ac[bits.peek9()];
        if (f) {
          bits.skip(f & 15);
          k += (f >> 4) & 15;
          if (k >= 64) break;
          const i32 v = f >> 8;
          block[jpeg_zigzag[k]] = v;
          nonzero |= v;
          ++k;
          continue;
        }
      }
      int rs = bits.huffman_decode(act);
      if (rs == -1) {
        std::memset(block, 0, 64 * sizeof(i32));
        error_block(out);
        return;
      }
      if (rs == -2) rs = 0;
      int r = rs >> 4;
      s = rs & 15;
      i32 v = bits.receive_extend(s);
      if (rs == 0) break;
      if (rs == 0xF0) {
        k += 16;
        continue;
      }
      k += r;
      if (k >= 64) break;
      block[jpeg_zigzag[k]] = v;
      nonzero |= v;
      ++k;
    }
    if (nonzero == 0) {
      // DC only: every sample is the same value of the full transform.
      u32 w = static_cast<u32>(block[0]) * static_cast<u32>(quant[q][0]) * 4u;
      i32 sample = (static_cast<i32>(w * 8192u + 131072u) >> 18) + 128;
      for (int i = 0; i < 64; ++i) out[i] = sample;
      block[0] = 0;  // every other coefficient written was zero
      return;
    }
    idct(block, quant[q], out);
  }

  // Sample values, not coefficients: a white X on black marks the corrupt block.
  static void error_block(i32* block) {
    for (int i = 0; i < 64; ++i) block[i] = 0;
    for (int r = 0; r < 8; ++r) block[r * 8 + r] = block[r * 8 + 7 - r] = 255;
  }
};

// Any layout of whole-ratio sampling and any restart interval, one MCU at a time: each
// component's blocks in scan order, then every pixel takes each component's sample at
// (row * v / vmax, column * h / hmax), chroma thus replicated as in the fast loops.
__attribute__((noinline)) void decode_general(const JpegDecoder& d, BlockDecoder& bd, JpegScanReader& reader, u8* out,
                    u32 pitch, u32 width, u32 height) {
  const int n = d.scan_components;
  u32 hmax = 1, vmax = 1;
  for (int i = 0; i < d.component_count; ++i) {
    hmax = d.components[i].h > hmax ? d.components[i].h : hmax;
    vmax = d.components[i].v > vmax ? d.components[i].v : vmax;
  }
  // A grey scan is not interleaved: its MCU is one block whatever the factors say.
  const JpegComponent* comp[3];
  u32 h[3], v[3], first[3];
  u32 blocks_per_mcu = 0;
  for (int i = 0; i < n; ++i) {
    comp[i] = &d.components[d.scan_order[i]];
    h[i] = n == 1 ? 1 : comp[i]->h;
    v[i] = n == 1 ? 1 : comp[i]->v;
    first[i] = blocks_per_mcu;
    blocks_per_mcu += h[i] * v[i];
  }
  const u32 span_w = width, span_h = height;
  const u32 mcu_w = n == 1 ? 8 : 8 * hmax, mcu_h = n == 1 ? 8 : 8 * vmax;
  const u32 mcus_x = (span_w + mcu_w - 1) / mcu_w, mcus_y = (span_h + mcu_h - 1) / mcu_h;
  const std::uint64_t mcu_total = std::uint64_t(mcus_x) * mcus_y;
  const bool rgb = n == 3 && d.adobe_rgb;
  alignas(32) i32 blocks[10][64];
  i32 pred[3] = {0, 0, 0};
  u32 since_restart = 0;
  std::uint64_t done = 0;
  for (u32 my = 0; my < mcus_y; ++my) {
    for (u32 mx = 0; mx < mcus_x; ++mx) {
      for (int i = 0; i < n; ++i)
        for (u32 b = 0; b < h[i] * v[i]; ++b)
          bd.decode_block(blocks[first[i] + b], comp[i]->dc, comp[i]->ac, comp[i]->quant, pred[i]);
      const u32 x0 = mx * mcu_w, y0 = my * mcu_h;
      const u32 rows = span_h - y0 < mcu_h ? span_h - y0 : mcu_h;
      const u32 cols = span_w - x0 < mcu_w ? span_w - x0 : mcu_w;
      if (n == 1) {
        for (u32 r = 0; r < rows; ++r)
          for (u32 c = 0; c < cols; ++c)
            out[std::size_t(y0 + r) * pitch + x0 + c] = clamp255(blocks[0][r * 8 + c]);
      } else {
        for (u32 r = 0; r < rows; ++r) {
          u8* row = out + std::size_t(y0 + r) * pitch + std::size_t(x0) * 3;
          for (u32 c = 0; c < cols; ++c) {
            i32 s[3];
            for (int i = 0; i < 3; ++i) {
              const u32 sr = r * v[i] / vmax, sc = c * h[i] / hmax;
              s[d.scan_order[i]] = blocks[first[i] + (sr / 8) * h[i] + sc / 8][(sr % 8) * 8 + sc % 8];
            }
            if (rgb) {
              for (int i = 0; i < 3; ++i) row[c * 3 + i] = clamp255(s[i]);
            } else {
              ycc_to_rgb(s[0], s[1], s[2], row + c * 3);
            }
          }
        }
      }
      ++done;
      if (d.restart_interval && ++since_restart == d.restart_interval && done < mcu_total) {
        reader.restart_resync();
        pred[0] = pred[1] = pred[2] = 0;
        since_restart = 0;
      }
    }
  }
}

// The most scan data a layout can consume: 64 codes of at most 16 + 15 bits per block,
// each byte possibly followed by a skipped one, and a marker per restart interval.
__attribute__((noinline)) std::uint64_t general_scan_limit(const JpegDecoder& d, u32 width, u32 height) {
  u32 hmax = 1, vmax = 1, blocks = 0;
  for (int i = 0; i < d.component_count; ++i) {
    hmax = d.components[i].h > hmax ? d.components[i].h : hmax;
    vmax = d.components[i].v > vmax ? d.components[i].v : vmax;
    blocks += d.components[i].h * d.components[i].v;
  }
  const std::uint64_t mcus = ((std::uint64_t(width) + 8 * hmax - 1) / (8 * hmax)) *
                             ((std::uint64_t(height) + 8 * vmax - 1) / (8 * vmax));
  const std::uint64_t intervals = d.restart_interval ? mcus / d.restart_interval + 2 : 2;
  return mcus * blocks * 640 + intervals * 4 + 16;
}

}  // namespace

bool JpegDecoder::decode(void* pixels, PixelFormat format, u32 pitch, u8*) {
  if (!header_read || !supports(format)) return false;
  const u32 width = image_width, height = image_height;
  if (std::size_t(pitch) < std::size_t(width) * pixel_format_bytes(format)) return false;
  if (width == 0 || height == 0) return true;
  if (!pixels) return false;

  // The most one block can consume: 64 codes of at most 16 + 15 bits, each byte possibly
  // followed by a skipped one, and up to 64 restart markers read as -2.
  const std::uint64_t block_count = ((std::uint64_t(width) + 15) / 8) * ((std::uint64_t(height) + 15) / 8);
  const bool plain = plain_layout();
  const std::uint64_t limit = plain ? block_count * 640 + (std::uint64_t(height) / 8 + 2) * 4 + 16
                                    : general_scan_limit(*this, width, height);
  std::unique_ptr<JpegScanReader> reader(new (std::nothrow) JpegScanReader(source, limit));
  if (!reader || !reader->ok()) return refuse("out of memory for the scan data");
  std::unique_ptr<BlockDecoder> bd(new (std::nothrow) BlockDecoder{*reader, {}, quant_tables, kernels->idct});
  if (!bd) return refuse("out of memory");
  for (int t = 0; t < 4; ++t) bd->tables[t].build(huffman_tables[t], huffman_counts[t], t < 2);
  reader->prime();
  if (!plain) {
    if ((scan_components == 1) != (format == PixelFormat::grey8)) return false;
    decode_general(*this, *bd, *reader, static_cast<u8*>(pixels), pitch, width, height);
    return true;
  }

  u8* out = static_cast<u8*>(pixels);
  const bool restarts = restart_interval != 0;
  alignas(32) i32 blocks[6][64];
  u8 edge[16 * 16 * 3];
  i32 pred[3] = {0, 0, 0};

  if (scan_components == 1 && format == PixelFormat::grey8) {
    for (u32 y = 0; y < height; y += 8) {
      const u32 rows = height - y < 8 ? height - y : 8;
      for (u32 x = 0; x < width; x += 8) {
        bd->decode_block(blocks[0], int(luma_dc_table), int(luma_ac_table), luma_quant_table,
                         pred[0]);
        const u32 cols = width - x < 8 ? width - x : 8;
        for (u32 r = 0; r < rows; ++r) {
          u8* row = out + std::size_t(y + r) * pitch + x;
          const i32* src = blocks[0] + r * 8;
          for (u32 c = 0; c < cols; ++c) row[c] = clamp255(src[c]);
        }
      }
      if (restarts) {
        reader->restart_resync();
        pred[0] = 0;
      }
    }
    return true;
  }
  if (scan_components != 3 || format != PixelFormat::rgb24) return true;

  u32 hs, vs;
  switch (luma_sampling) {
    case 1: hs = 1; vs = 1; break;
    case 2: hs = 2; vs = 1; break;
    case 4: hs = 2; vs = 2; break;
    default: return false;  // not a plain layout: never reached
  }
  const u32 mcu_w = 8 * hs, mcu_h = 8 * vs, nluma = hs * vs;
  const JpegMcuToRgb to_rgb = kernels->mcu_to_rgb;
  const int ldc = int(luma_dc_table), lac = int(luma_ac_table);
  const int cdc = int(chroma_dc_table), cac = int(chroma_ac_table);
  for (u32 y = 0; y < height; y += mcu_h) {
    const u32 rows = height - y < mcu_h ? height - y : mcu_h;
    for (u32 x = 0; x < width; x += mcu_w) {
      for (u32 b = 0; b < nluma; ++b)
        bd->decode_block(blocks[b], ldc, lac, luma_quant_table, pred[0]);
      bd->decode_block(blocks[4], cdc, cac, chroma_quant_table, pred[1]);
      bd->decode_block(blocks[5], cdc, cac, chroma_quant_table, pred[2]);
      const u32 cols = width - x < mcu_w ? width - x : mcu_w;
      if (cols == mcu_w && rows == mcu_h) {
        to_rgb(blocks, hs, vs, out + std::size_t(y) * pitch + std::size_t(x) * 3, pitch);
        continue;
      }
      // An MCU cut by the picture's edge: convert it whole, keep what lies inside.
      to_rgb(blocks, hs, vs, edge, 16 * 3);
      for (u32 r = 0; r < rows; ++r)
        std::memcpy(out + std::size_t(y + r) * pitch + std::size_t(x) * 3, edge + r * 16 * 3,
                    std::size_t(cols) * 3);
    }
    if (restarts) {
      reader->restart_resync();
      pred[0] = pred[1] = pred[2] = 0;
    }
  }
  return true;
}
