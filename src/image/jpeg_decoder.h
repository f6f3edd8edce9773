// The JPEG reader: 8-bit samples, Huffman-coded sequential DCT (SOF0/SOF1), one scan with
// one component (grey) or three interleaved (Y, Cb, Cr) with any whole-ratio sampling,
// restart markers at the interval the DRI segment gives.
#pragma once

#include <cstdint>
#include <string>

#include "image/format_reader.h"
#include "image/image_kernels.h"

struct HuffmanCode {
  std::int32_t code;    // code bits, right-aligned
  std::int32_t value;   // symbol
  std::int32_t length;  // 1..16
};

// markers_seen bits
enum : std::uint8_t {
  jpeg_seen_sof = 1 << 0,
  jpeg_seen_dht = 1 << 1,
  jpeg_seen_soi = 1 << 2,
  jpeg_seen_sos = 1 << 3,
  jpeg_seen_dqt = 1 << 4,
  jpeg_seen_app0 = 1 << 5,
  jpeg_seen_dri = 1 << 6,
};

// One component of the frame, with the Huffman tables its scan entry names.
struct JpegComponent {
  std::uint8_t id = 0;
  std::uint8_t h = 1, v = 1;  // sampling factors, 1..4
  std::uint8_t quant = 0;
  std::uint8_t dc = 0, ac = 0;
};

class JpegDecoder final : public FormatReader {
 public:
  explicit JpegDecoder(ImageSource* source) : FormatReader(source) {}

  // The kernel versions this picture is decoded with: the best, unless a test picks one.
  const ImageKernels* kernels = &image_kernels();

  bool read_header() override;
  bool decode(void* pixels, PixelFormat format, std::uint32_t pitch,
              std::uint8_t* palette) override;

  // The tables read_header fills; public so tests can drive a reference decoder.
  // Order: DC 0, DC 1, AC 0, AC 1. Only the first huffman_counts[t] entries are defined.
  HuffmanCode huffman_tables[4][256] = {};
  std::uint32_t huffman_counts[4] = {};
  std::uint8_t markers_seen = 0;
  std::uint8_t luma_sampling = 0;
  std::uint8_t luma_quant_table = 0;
  std::uint8_t chroma_quant_table = 0;
  std::uint32_t luma_dc_table = 0, luma_ac_table = 0;
  std::uint32_t chroma_dc_table = 0, chroma_ac_table = 0;
  std::int32_t quant_tables[2][64] = {};  // natural order
  std::uint8_t scan_components = 0;
  // The frame's components in SOF order, and for each scan entry the frame index.
  JpegComponent components[3] = {};
  std::uint8_t component_count = 0;
  std::uint8_t scan_order[3] = {};
  std::uint32_t restart_interval = 0;  // in MCUs; 0 = no restart markers
  bool adobe_rgb = false;              // Adobe APP14 transform 0: components are R, G, B
  // Why read_header failed: "truncated", "progressive JPEG not supported", ...
  const char* header_error = nullptr;
  ImageSource* input() const { return source; }
  const char* why() const override { return header_error ? header_error : FormatReader::why(); }
  // True when the layout is one of the three the fast colour loop handles (or grey) and
  // restarts, if any, fall at the end of each row of MCUs.
  bool plain_layout() const;

 private:
  std::string message;  // storage for a formatted header_error
  bool fail(const char* why) {
    if (!header_error) header_error = why;
    return false;
  }
  bool fail(const std::string& why) {
    if (header_error) return false;
    message = why;
    header_error = message.c_str();
    return false;
  }
  bool parse_app14();
  bool read_bytes(void* out, std::uint32_t n);
  bool read_u8(std::uint8_t& v) { return read_bytes(&v, 1); }
  bool read_u16(std::uint32_t& v);
  bool parse_app0();
  bool parse_dqt();
  bool parse_dht();
  bool parse_sof();
  bool parse_sos();
  bool skip_segment();
};

// Dequantises and inverse-transforms one block in place (natural order in, samples out,
// level-shifted by +128, not clamped). 32-bit arithmetic wraps as two's complement.
void idct_8x8(std::int32_t* block, const std::int32_t* quant);

// Converts one pixel with the fixed-point factors, clamps and returns R, G, B.
inline void ycc_to_rgb(std::int32_t y, std::int32_t cb, std::int32_t cr, std::uint8_t* out) {
  auto wrap = [](std::uint32_t v) { return static_cast<std::int32_t>(v) >> 16; };
  std::uint32_t y16 = static_cast<std::uint32_t>(y) << 16;
  std::uint32_t cbv = static_cast<std::uint32_t>(cb) - 128u;
  std::uint32_t crv = static_cast<std::uint32_t>(cr) - 128u;
  std::int32_t r = wrap(y16 + crv * 91881u);
  std::int32_t g = wrap(y16 - crv * 46802u - cbv * 22554u);
  std::int32_t b = wrap(y16 + cbv * 116130u);
  out[0] = static_cast<std::uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
  out[1] = static_cast<std::uint8_t>(g < 0 ? 0 : g > 255 ? 255 : g);
  out[2] = static_cast<std::uint8_t>(b < 0 ? 0 : b > 255 ? 255 : b);
}
