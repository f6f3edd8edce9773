// JPEG marker segments up to and including the start of scan.
#include <cstring>

#include "image/format_readers.h"
#include "image/jpeg_decoder.h"
#include "image/jpeg_tables.h"

std::unique_ptr<FormatReader> make_jpeg_reader(ImageSource* source) {
  return std::make_unique<JpegDecoder>(source);
}

bool JpegDecoder::read_bytes(void* out, std::uint32_t n) {
  return n == 0 || source->read(out, n) == n;
}

bool JpegDecoder::read_u16(std::uint32_t& v) {
  std::uint8_t b[2];
  if (!read_bytes(b, 2)) return false;
  v = (std::uint32_t(b[0]) << 8) | b[1];
  return true;
}

bool JpegDecoder::parse_app0() {
  std::uint32_t length;
  std::uint8_t id[5], major, ignored[6], thumb[2];
  if (!read_u16(length)) return fail("truncated APP0");
  if (length < 16) return fail("APP0 too short");
  if (!read_bytes(id, 5)) return fail("truncated APP0");
  if (std::memcmp(id, "JFIF", 5) != 0) return fail("APP0 is not JFIF");
  if (!read_u8(major) || !read_bytes(ignored, 6) || !read_bytes(thumb, 2))
    return fail("truncated APP0");
  if (major != 1) return fail("unsupported JFIF version");
  std::uint32_t skip = std::uint32_t(thumb[0]) * thumb[1] * 3;
  std::uint8_t sink[256];
  while (skip) {
    std::uint32_t n = skip < sizeof sink ? skip : sizeof sink;
    if (!read_bytes(sink, n)) return fail("truncated thumbnail");
    skip -= n;
  }
  return true;
}

bool JpegDecoder::parse_dqt() {
  std::uint32_t length;
  if (!read_u16(length)) return fail("truncated DQT");
  for (std::uint32_t count = 2; count < length; count += 65) {
    std::uint8_t pq, values[64];
    if (!read_u8(pq)) return fail("truncated DQT");
    if ((pq & 15) > 1) return fail("quantisation table id above 1");
    if ((pq >> 4) != 0) return fail("16-bit quantisation table not supported");
    if (!read_bytes(values, 64)) return fail("truncated DQT");
    for (int k = 0; k < 64; ++k) quant_tables[pq & 15][jpeg_zigzag[k]] = values[k];
  }
  return true;
}

bool JpegDecoder::parse_dht() {
  std::uint32_t length;
  if (!read_u16(length)) return fail("truncated DHT");
  for (std::uint32_t count = 2; count < length;) {
    std::uint8_t class_id, counts[16];
    if (!read_u8(class_id) || !read_bytes(counts, 16)) return fail("truncated DHT");
    count += 17;
    std::uint32_t total = 0;
    for (std::uint8_t c : counts) total += c;
    if (total > 256) return fail("Huffman table with more than 256 codes");
    int t = ((class_id & 0x10) ? 2 : 0) + (class_id & 1);
    HuffmanCode* table = huffman_tables[t];
    std::uint8_t symbols[256];  // all at once: a read per symbol costs small pictures
    if (!read_bytes(symbols, total)) return fail("truncated DHT");
    count += total;
    std::int32_t code = 0;
    std::uint32_t entry = 0;
    for (int l = 1; l <= 16; ++l) {
      for (int i = 0; i < counts[l - 1]; ++i, ++entry)
        table[entry] = HuffmanCode{code++, symbols[entry], l};
      code *= 2;
    }
    huffman_counts[t] = entry;
  }
  return true;
}

bool JpegDecoder::parse_sof() {
  std::uint32_t length, h, w;
  std::uint8_t precision, nf;
  if (!read_u16(length) || !read_u8(precision)) return fail("truncated SOF");
  if (precision != 8) return fail("only 8-bit samples are supported");
  if (!read_u16(h) || !read_u16(w) || !read_u8(nf)) return fail("truncated SOF");
  image_height = h;
  image_width = w;
  for (int i = 0; i < nf; ++i) {
    std::uint8_t c[3];
    if (!read_bytes(c, 3)) return fail("truncated SOF");
    if (c[0] < 1 || c[0] > 3) continue;
    // A table id above 1 would point past the two tables.
    if (c[2] > 1) return fail("quantisation table id above 1");
    if (c[0] == 1) {
      luma_sampling = static_cast<std::uint8_t>((c[1] >> 4) * (c[1] & 15));
      luma_quant_table = c[2];
    } else {
      chroma_quant_table = c[2];
    }
  }
  return true;
}

bool JpegDecoder::parse_sos() {
  std::uint32_t length;
  std::uint8_t ns;
  if (!read_u16(length) || !read_u8(ns)) return fail("truncated SOS");
  if (ns != 1 && ns != 3) return fail("scan component count other than 1 or 3");
  scan_components = ns;
  for (int i = 0; i < ns; ++i) {
    std::uint8_t c[2];
    if (!read_bytes(c, 2)) return fail("truncated SOS");
    std::uint32_t dc = c[1] >> 4, ac = c[1] & 15;
    if (dc > 1 || ac > 1) return fail("Huffman table id above 1");
    if (c[0] == 1) {
      luma_dc_table = dc;
      luma_ac_table = ac;
    } else if (c[0] == 2 || c[0] == 3) {
      chroma_dc_table = dc;
      chroma_ac_table = ac;
    } else {
      return fail("scan component selector other than 1, 2 or 3");
    }
  }
  std::uint8_t spectral[3];
  if (!read_bytes(spectral, 3)) return fail("truncated SOS");
  return true;
}

bool JpegDecoder::skip_segment() {
  std::uint32_t length;
  if (!read_u16(length)) return fail("truncated segment");
  if (length < 2) return fail("segment length below 2");
  std::uint8_t sink[256];
  for (std::uint32_t left = length - 2; left;) {
    std::uint32_t n = left < sizeof sink ? left : sizeof sink;
    if (!read_bytes(sink, n)) return fail("truncated segment");
    left -= n;
  }
  return true;
}

bool JpegDecoder::read_header() {
  if (header_read) return false;
  markers_seen = 0;
  header_error = nullptr;
  for (;;) {
    std::uint8_t b;
    if (!read_u8(b)) return fail("truncated before the start of scan");
    if (b == 0xFF) {
      std::uint8_t m;
      if (!read_u8(m)) return fail("truncated marker");
      if (m < 0xC0 || m == 0xFF) return fail("bad marker");
      bool ok = true;
      switch (m) {
        case 0xC0: case 0xC1: markers_seen |= jpeg_seen_sof; ok = parse_sof(); break;
        case 0xC4: markers_seen |= jpeg_seen_dht; ok = parse_dht(); break;
        case 0xD8: markers_seen |= jpeg_seen_soi; break;
        case 0xDA: markers_seen |= jpeg_seen_sos; ok = parse_sos(); break;
        case 0xDB: markers_seen |= jpeg_seen_dqt; ok = parse_dqt(); break;
        case 0xDD: {
          markers_seen |= jpeg_seen_dri;
          std::uint8_t ignored[4];
          ok = read_bytes(ignored, 4) || fail("truncated DRI");
          break;
        }
        case 0xE0: markers_seen |= jpeg_seen_app0; ok = parse_app0(); break;
        case 0xE1: case 0xE2: case 0xEB: case 0xEC: case 0xED: case 0xEE: case 0xFE:
          ok = skip_segment();
          break;
        case 0xC2: case 0xC6: case 0xCA: case 0xCE:
          return fail("progressive JPEG not supported");
        case 0xC3: case 0xC5: case 0xC7: case 0xCB: case 0xCF:
          return fail("lossless or hierarchical JPEG not supported");
        case 0xC9: case 0xCC: case 0xCD:
          return fail("arithmetic-coded JPEG not supported");
        default: return fail("unsupported marker");
      }
      if (!ok) return false;
    }
    if (markers_seen & jpeg_seen_sos) {
      if ((markers_seen & 0x3F) != 0x3F) {
        if (!(markers_seen & jpeg_seen_app0)) return fail("no JFIF APP0 segment");
        return fail("start of scan before the tables and frame header");
      }
      break;
    }
  }
  formats.append(scan_components == 1 ? PixelFormat::grey8 : PixelFormat::rgb24);
  header_read = true;
  return true;
}
