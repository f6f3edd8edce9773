// The table of picture formats the front-end chooses from: each format's name, the test
// that recognises it from a file's first bytes (and name), and the function that creates
// its reader. The front-end walks the table; the readers define the entries.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "image/format_reader.h"

enum class FileKind : std::uint32_t {
  kind_bmp = 0,
  kind_jpeg = 1,
  kind_pcx = 2,
  kind_gif = 3,
  kind_tga = 4,
  kind_none = 6,  // 5 is never produced
};

const char* file_kind_name(FileKind kind);  // "BMP", "JPEG", ... "unknown"

struct ImageFormat {
  FileKind kind;
  const char* name;  // "BMP", "JPEG", ...
  // Whether the file is of this format, from its first 16 bytes and its name (may be null).
  bool (*sniff)(const std::uint8_t* first, const char* file_name);
  // A reader over `source` that has not read its header yet; null when memory runs out.
  std::unique_ptr<FormatReader> (*create)(ImageSource* source);
};

// Every format, in the order detection tries them.
std::span<const ImageFormat> image_formats();

extern const ImageFormat bmp_format;
extern const ImageFormat pcx_format;
extern const ImageFormat gif_format;
extern const ImageFormat jpeg_format;
extern const ImageFormat tga_format;
