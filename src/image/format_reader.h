// What every format reader is built from: the pixel formats, the byte source a picture is
// read through, the list of formats a file offers and the `FormatReader` interface. A
// reader includes this and format_table.h, never the front-end (image_reader.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fs/byte_source.h"

// Rows run top to bottom, `pitch` bytes apart, pitch chosen by the caller.
enum class PixelFormat : std::uint32_t {
  rgb24 = 0,     // bytes R, G, B
  argb32 = 1,    // little-endian word 0xAARRGGBB (bytes B, G, R, A)
  grey8 = 2,     // grey level
  indexed8 = 3,  // palette index; palette is 256 entries R, G, B (768 bytes)
};

// Bytes per pixel of a format; 0 for a code that names no format.
std::uint32_t pixel_format_bytes(PixelFormat format);
// "rgb24", "argb32", "grey8", "indexed8", or "unknown".
const char* pixel_format_name(PixelFormat format);

// The one operation a picture is read through: `read` delivers fewer bytes than asked
// only at the end of the data or on error. Nothing in the image readers ever seeks.
using ImageSource = ByteSource;

// Reads exactly `count` bytes; false on a short read.
inline bool read_exact(ImageSource* source, void* destination, std::uint32_t count) {
  return source->read(destination, count) == count;
}

// Growable list of pixel format codes: doubles when full, at least 16 entries.
class FormatList {
 public:
  FormatList() = default;
  FormatList(const FormatList&) = delete;
  FormatList& operator=(const FormatList&) = delete;

  bool append(PixelFormat format);  // false only when memory runs out
  void clear();                     // frees the items
  bool contains(PixelFormat format) const;
  // Replaces this list's items by a copy of `other`'s (capacity = count).
  bool assign(const FormatList& other);

  std::uint32_t count = 0;
  std::uint32_t capacity = 0;
  std::unique_ptr<PixelFormat[]> items;
};

// The base of every format reader. A reader reads strictly forward from `source`.
class FormatReader {
 public:
  explicit FormatReader(ImageSource* source) : source(source) {}
  virtual ~FormatReader() = default;
  FormatReader(const FormatReader&) = delete;
  FormatReader& operator=(const FormatReader&) = delete;

  virtual bool read_header() = 0;
  virtual std::uint32_t width() const { return image_width; }
  virtual std::uint32_t height() const { return image_height; }
  virtual void copy_formats(FormatList& destination) const { destination.assign(formats); }
  virtual bool supports(PixelFormat format) const { return formats.contains(format); }
  // Writes height rows of width pixels, `pitch` bytes apart, into `pixels`; `palette`
  // (768 bytes) matters only for indexed8. The buffer must hold
  // (height - 1) * pitch + width * bytes-per-pixel bytes; a pitch below one packed row
  // is refused.
  virtual bool decode(void* pixels, PixelFormat format, std::uint32_t pitch,
                      std::uint8_t* palette) = 0;
  // Why read_header or decode refused, naming the field and its value ("BMP compression
  // 1 (RLE8) not supported", "data ends early"); empty when no reason was given.
  virtual const char* why() const { return reason.c_str(); }

 protected:
  // Records the first reason and returns false.
  bool refuse(std::string text) {
    if (reason.empty()) reason = std::move(text);
    return false;
  }
  ImageSource* source;
  std::string reason;
  bool header_read = false;
  std::uint32_t image_width = 0;
  std::uint32_t image_height = 0;
  FormatList formats;
};

