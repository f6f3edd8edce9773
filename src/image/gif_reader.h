// GIF: decodes the first image of the file into indexed8, or into argb32 when a graphic
// control extension before it names a transparent colour. The logical screen, the image
// position and any animation are not used.
#pragma once

#include <cstdint>

#include "image/format_reader.h"

class GifReader final : public FormatReader {
 public:
  explicit GifReader(ImageSource* source) : FormatReader(source) {}
  bool read_header() override;
  bool decode(void* pixels, PixelFormat format, std::uint32_t pitch,
              std::uint8_t* palette) override;

  bool has_transparency() const { return transparent; }
  std::uint8_t transparent_colour() const { return transparent_index; }
  bool is_interlaced() const { return interlaced; }
  std::uint32_t colours() const { return colour_count; }

 private:
  void read_extension();
  bool read_colour_table(std::uint8_t flags);

  std::uint32_t colour_count = 0;
  std::uint8_t palette[768] = {};  // cleared: a file may have no colour table at all
  bool interlaced = false;
  std::uint8_t min_code_size = 0;
  bool transparent = false;
  std::uint8_t transparent_index = 0;
};
