// JPEG marker segments up to and including the start of scan.
#include <cstdio>
#include <cstring>
#include <string>

#include "image/format_table.h"
#include "image/jpeg_decoder.h"
#include "image/jpeg_tables.h"

namespace {
std::unique_ptr<FormatReader> create_jpeg(ImageSource* source) { return std::make_unique<JpegDecoder>(source); }
bool sniff_jpeg(const std::uint8_t* b, const char*) { return b[0] == 0xFF; }
}  // namespace

const ImageFormat jpeg_format = {FileKind::kind_jpeg, "JPEG", sniff_jpeg, create_jpeg};

bool JpegDecoder::read_bytes(void* out, std::uint32_t n) {
  return n == 0 || source->read(out, n) == n;
}

bool JpegDecoder::read_u16(std::uint32_t& v) {
  std::uint8_t b[2];
  if (!read_bytes(b, 2)) return false;
  v = (std::uint32_t(b[0]) << 8) | b[1];
  return true;
}

// JFIF (any version), JFXX and other APP0 segments: only a JFIF segment is looked into,
// and every APP0 is passed over by its length.
bool JpegDecoder::parse_app0() {
  std::uint32_t length;
  if (!read_u16(length)) return fail("truncated APP0");
  if (length < 2) return fail("segment length below 2");
  std::uint32_t left = length - 2;
  std::uint8_t head[14];
  const std::uint32_t n = left < sizeof head ? left : std::uint32_t(sizeof head);
  if (!read_bytes(head, n)) return fail("truncated APP0");
  left -= n;
  if (n >= 5 && std::memcmp(head, "JFIF", 5) == 0) {
    if (n < 14) return fail("APP0 too short");
    markers_seen |= jpeg_seen_app0;
    // The thumbnail lies inside the segment; a length that stops short of it is not
    // trusted over the thumbnail's size.
    const std::uint32_t thumb = std::uint32_t(head[12]) * head[13] * 3;
    if (thumb > left) left = thumb;
  }
  std::uint8_t sink[256];
  while (left) {
    std::uint32_t k = left < sizeof sink ? left : std::uint32_t(sizeof sink);
    if (!read_bytes(sink, k)) return fail("truncated APP0");
    left -= k;
  }
  return true;
}

// Adobe's segment says whether three components are Y, Cb, Cr or R, G, B.
bool JpegDecoder::parse_app14() {
  std::uint32_t length;
  if (!read_u16(length)) return fail("truncated APP14");
  if (length < 2) return fail("segment length below 2");
  std::uint32_t left = length - 2;
  std::uint8_t head[12];
  const std::uint32_t n = left < sizeof head ? left : std::uint32_t(sizeof head);
  if (!read_bytes(head, n)) return fail("truncated APP14");
  left -= n;
  if (n == 12 && std::memcmp(head, "Adobe", 5) == 0) adobe_rgb = head[11] == 0;
  std::uint8_t sink[256];
  while (left) {
    std::uint32_t k = left < sizeof sink ? left : std::uint32_t(sizeof sink);
    if (!read_bytes(sink, k)) return fail("truncated APP14");
    left -= k;
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
  if (component_count) return fail("a second frame header");
  // Height 0 would be given later by a DNL marker, which this reader does not take.
  if (w == 0 || h == 0)
    return fail("JPEG frame of " + std::to_string(w) + " x " + std::to_string(h) +
                " pixels (width and height must be 1 or more)");
  if (nf == 0) return fail("frame header with no components");
  if (nf != 1 && nf != 3)
    return fail("JPEG with " + std::to_string(nf) + " components not supported (only 1 or 3)");
  image_height = h;
  image_width = w;
  for (int i = 0; i < nf; ++i) {
    std::uint8_t c[3];
    if (!read_bytes(c, 3)) return fail("truncated SOF");
    // A table id above 1 would point past the two tables.
    if (c[2] > 1) return fail("quantisation table id above 1");
    const int hf = c[1] >> 4, vf = c[1] & 15;
    if (hf < 1 || hf > 4 || vf < 1 || vf > 4)
      return fail("component " + std::to_string(c[0]) + " has sampling factors " +
                  std::to_string(hf) + "x" + std::to_string(vf) + " (each must be 1..4)");
    for (int j = 0; j < i; ++j)
      if (components[j].id == c[0])
        return fail("two frame components with id " + std::to_string(c[0]));
    components[i] = JpegComponent{c[0], std::uint8_t(hf), std::uint8_t(vf), c[2], 0, 0};
    if (c[0] == 1) {
      luma_sampling = static_cast<std::uint8_t>(hf * vf);
      luma_quant_table = c[2];
    } else if (c[0] == 2 || c[0] == 3) {
      chroma_quant_table = c[2];
    }
  }
  component_count = nf;
  if (nf == 3) {
    // Chroma is replicated, so every factor must divide the largest one; the blocks of one
    // MCU are limited to ten.
    int hmax = 1, vmax = 1, blocks = 0;
    for (const JpegComponent& c : components) {
      hmax = c.h > hmax ? c.h : hmax;
      vmax = c.v > vmax ? c.v : vmax;
      blocks += c.h * c.v;
    }
    std::string layout;
    for (const JpegComponent& c : components)
      layout += (layout.empty() ? "" : ",") + std::to_string(c.h) + "x" + std::to_string(c.v);
    for (const JpegComponent& c : components)
      if (hmax % c.h || vmax % c.v)
        return fail("JPEG sampling " + layout + " not supported (factors that do not divide the largest)");
    if (blocks > 10)
      return fail("JPEG sampling " + layout + " not supported (more than 10 blocks per MCU)");
  }
  return true;
}

bool JpegDecoder::parse_sos() {
  std::uint32_t length;
  std::uint8_t ns;
  if (!read_u16(length) || !read_u8(ns)) return fail("truncated SOS");
  if (!component_count) return fail("start of scan before the frame header");
  if (ns != 1 && ns != 3) return fail("scan component count other than 1 or 3");
  if (ns > component_count) return fail("scan of more components than the frame has");
  // The first of several scans would leave the other components undecoded.
  if (ns < component_count) return fail("JPEG with one scan per component not supported");
  scan_components = ns;
  for (int i = 0; i < ns; ++i) {
    std::uint8_t c[2];
    if (!read_bytes(c, 2)) return fail("truncated SOS");
    std::uint32_t dc = c[1] >> 4, ac = c[1] & 15;
    if (dc > 1 || ac > 1) return fail("Huffman table id above 1");
    int index = -1;
    for (int j = 0; j < component_count; ++j)
      if (components[j].id == c[0]) index = j;
    if (index < 0) return fail("scan component selector " + std::to_string(c[0]) + " not in the frame");
    for (int j = 0; j < i; ++j)
      if (scan_order[j] == index) return fail("scan names component " + std::to_string(c[0]) + " twice");
    scan_order[i] = std::uint8_t(index);
    components[index].dc = std::uint8_t(dc);
    components[index].ac = std::uint8_t(ac);
    if (c[0] == 1) {
      luma_dc_table = dc;
      luma_ac_table = ac;
    } else if (c[0] == 2 || c[0] == 3) {
      chroma_dc_table = dc;
      chroma_ac_table = ac;
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

bool JpegDecoder::plain_layout() const {
  if (adobe_rgb && scan_components == 3) return false;
  std::uint32_t mcu_w = 8, mcu_h = 8;
  if (scan_components == 3) {
    const JpegComponent &y = components[0], &cb = components[1], &cr = components[2];
    if (y.id != 1 || cb.id != 2 || cr.id != 3) return false;
    if (scan_order[0] != 0 || scan_order[1] != 1 || scan_order[2] != 2) return false;
    if (cb.h != 1 || cb.v != 1 || cr.h != 1 || cr.v != 1) return false;
    // One set of tables serves both chroma components there.
    if (cb.quant != cr.quant || cb.dc != cr.dc || cb.ac != cr.ac) return false;
    if (y.v == 1 && (y.h == 1 || y.h == 2)) mcu_w = 8 * y.h;
    else if (y.h == 2 && y.v == 2) mcu_w = mcu_h = 16;
    else return false;
  } else if (components[0].id != 1) {
    return false;  // a component the luma fields do not name
  }
  if (restart_interval == 0) return true;
  (void)mcu_h;
  return restart_interval == (std::uint64_t(image_width) + mcu_w - 1) / mcu_w;
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
      // Any number of fill bytes may precede a marker.
      while (m == 0xFF)
        if (!read_u8(m)) return fail("truncated marker");
      if (m < 0xC0) return fail("bad marker");
      bool ok = true;
      switch (m) {
        case 0xC0: case 0xC1: markers_seen |= jpeg_seen_sof; ok = parse_sof(); break;
        case 0xC4: markers_seen |= jpeg_seen_dht; ok = parse_dht(); break;
        case 0xD8: markers_seen |= jpeg_seen_soi; break;
        case 0xDA: markers_seen |= jpeg_seen_sos; ok = parse_sos(); break;
        case 0xDB: markers_seen |= jpeg_seen_dqt; ok = parse_dqt(); break;
        case 0xDD: {
          markers_seen |= jpeg_seen_dri;
          std::uint32_t length, interval;
          ok = (read_u16(length) && read_u16(interval)) || fail("truncated DRI");
          if (ok) restart_interval = interval;
          break;
        }
        case 0xE0: ok = parse_app0(); break;
        case 0xEE: ok = parse_app14(); break;
        case 0xE1: case 0xE2: case 0xE3: case 0xE4: case 0xE5: case 0xE6: case 0xE7:
        case 0xE8: case 0xE9: case 0xEA: case 0xEB: case 0xEC: case 0xED: case 0xEF:
        case 0xFE:
          ok = skip_segment();
          break;
        case 0xC2: case 0xC6: case 0xCA: case 0xCE:
          return fail("progressive JPEG not supported");
        case 0xC3: case 0xC5: case 0xC7: case 0xCB: case 0xCF:
          return fail("lossless or hierarchical JPEG not supported");
        case 0xC9: case 0xCC: case 0xCD:
          return fail("arithmetic-coded JPEG not supported");
        default: {
          char text[48];
          std::snprintf(text, sizeof text, "unsupported marker 0xFF%02X", m);
          return fail(std::string(text));
        }
      }
      if (!ok) return false;
    }
    if (markers_seen & jpeg_seen_sos) {
      const std::uint8_t needed = jpeg_seen_sof | jpeg_seen_dht | jpeg_seen_soi | jpeg_seen_dqt;
      if ((markers_seen & needed) != needed) {
        if (!(markers_seen & jpeg_seen_soi)) return fail("no start-of-image marker");
        if (!(markers_seen & jpeg_seen_dqt)) return fail("no quantisation table");
        return fail("no Huffman table");
      }
      break;
    }
  }
  formats.append(scan_components == 1 ? PixelFormat::grey8 : PixelFormat::rgb24);
  header_read = true;
  return true;
}
