// Readers for uncompressed and run-length-coded raster files: Windows/OS2 bitmaps (BMP),
// PCX (8 bits per plane) and TGA (raw and run-length), and the helpers they share.
#pragma once

#include <cstdint>

#include "image/format_reader.h"

// Every reader refuses a size whose largest decoded buffer (4 bytes a pixel) would not fit
// in 32 bits, so the buffer arithmetic of callers and readers cannot overflow.
inline bool image_size_fits(std::uint64_t width, std::uint64_t height) {
  return width * height * 4 <= 0xFFFFFFFFu && width * 4 <= 0xFFFFFFFFu;
}

// Reads and drops `count` bytes; false when the data ends first.
bool skip_bytes(ImageSource* source, std::uint64_t count);


// 8-bit files give indexed8 (a palette of up to 256 entries), 24-bit rgb24, 32-bit argb32.
// Rows are stored bottom row first (top first for a negative height), each padded to a
// multiple of 4 bytes; version 4 and 5 headers and bit fields of the plain layout are read.
class BmpReader final : public FormatReader {
 public:
  explicit BmpReader(ImageSource* source) : FormatReader(source) {}
  bool read_header() override;
  bool decode(void* pixels, PixelFormat format, std::uint32_t pitch,
              std::uint8_t* palette) override;

 private:
  std::uint32_t bits_per_pixel = 0;
  std::uint32_t palette_entries = 0;
  std::uint32_t palette_entry_size = 0;
  std::int64_t data_gap = 0;  // bytes between the palette's end and the pixel data
  bool top_down = false;      // negative height: the top row comes first
};

// One plane gives indexed8 (the 768-byte palette after a 0x0C byte at the end), three
// planes rgb24.
class PcxReader final : public FormatReader {
 public:
  explicit PcxReader(ImageSource* source) : FormatReader(source) {}
  bool read_header() override;
  bool decode(void* pixels, PixelFormat format, std::uint32_t pitch,
              std::uint8_t* palette) override;

 private:
  std::uint32_t planes = 0;
  std::uint32_t bytes_per_line = 0;
};

// Colour-mapped (indexed8), true colour 15/16/24 bits (rgb24) or 32 bits (argb32), grey
// (grey8); raw or run-length coded, with runs that carry across row ends.
class TgaReader final : public FormatReader {
 public:
  explicit TgaReader(ImageSource* source) : FormatReader(source) {}
  bool read_header() override;
  bool decode(void* pixels, PixelFormat format, std::uint32_t pitch,
              std::uint8_t* palette) override;

 private:
  bool fetch_pixel();

  std::uint32_t colour_map_length = 0;
  std::uint32_t colour_map_first = 0;  // palette index of the map's first entry
  std::uint32_t bytes_per_pixel = 0;
  bool bottom_up = false;
  bool right_to_left = false;
  bool rle = false;
  std::uint8_t pixel[4] = {};
  std::int32_t repeat_count = 0;
  std::int32_t raw_count = 0;
};
