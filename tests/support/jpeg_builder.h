// Hand-made JPEG files for tests: header segments with chosen tables, and a bit writer
// for entropy data with byte stuffing.
#pragma once

#include <cstdint>
#include <array>
#include <string>
#include <vector>

#include "image/image_kernels.h"
#include "image/image_reader.h"

namespace jpeg_test {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& out, std::uint32_t v);
void segment(Bytes& out, std::uint8_t marker, const Bytes& payload);
Bytes soi();
Bytes app0(std::uint8_t thumb_w = 0, std::uint8_t thumb_h = 0);
Bytes dqt_flat(std::uint8_t id, std::uint8_t value);  // every entry `value`
// One table: class (0 DC, 1 AC) and id, counts per length, symbols.
Bytes dht(std::uint8_t class_id, const std::vector<std::uint8_t>& counts16,
          const std::vector<std::uint8_t>& symbols);
// SOF0 with components {id, sampling byte, quant table}.
Bytes sof(std::uint32_t width, std::uint32_t height,
          const std::vector<std::array<std::uint8_t, 3>>& components, std::uint8_t precision = 8,
          std::uint8_t marker = 0xC0);
// SOS with selectors {id, table byte}.
Bytes sos(const std::vector<std::array<std::uint8_t, 2>>& components);

// Writes bits most significant first; stuffs 0x00 after 0xFF; pads with ones.
class BitSink {
 public:
  void put(std::uint32_t bits, int count);
  void pad();
  void raw(std::uint8_t byte);  // a byte as is (markers), after padding
  Bytes bytes;

 private:
  std::uint32_t acc = 0;
  int filled = 0;
};

// Decodes `file` with the project's decoder through an ImageReader into `format`.
// `kernels` (when not null) are the kernel versions the decoder uses instead of the best.
bool decode_file(const Bytes& file, PixelFormat format, std::vector<std::uint8_t>& pixels,
                 std::uint32_t& width, std::uint32_t& height,
                 const ImageKernels* kernels = nullptr);
// The same through the plain reference; false when the header fails.
bool reference_decode_file(const Bytes& file, std::vector<std::uint8_t>& pixels,
                           std::uint32_t& width, std::uint32_t& height, PixelFormat& format);

// Deterministic test pictures.
std::vector<std::uint8_t> synthetic_rgb(std::uint32_t width, std::uint32_t height,
                                        std::uint32_t seed);

}  // namespace jpeg_test
