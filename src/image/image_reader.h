// The image reader front-end: a forward-only byte source, the look-ahead source that
// detects a file's kind from its first bytes, the interface every format reader
// implements, and the reader that picks one and converts its pixels on request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

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

// The one operation a picture is read through. `read` delivers fewer bytes than asked
// only at the end of the data or on error. Nothing here ever seeks.
class ImageSource {
 public:
  virtual ~ImageSource() = default;
  virtual std::uint32_t read(void* destination, std::uint32_t count) = 0;
};

// An ImageSource over bytes in memory (the tools, tests and fuzz targets read through it).
class MemorySource final : public ImageSource {
 public:
  MemorySource(const void* data, std::size_t size)
      : data(static_cast<const std::uint8_t*>(data)), size(size) {}
  std::uint32_t read(void* destination, std::uint32_t count) override;

 private:
  const std::uint8_t* data;
  std::size_t size;
  std::size_t position = 0;
};

enum class FileKind : std::uint32_t {
  kind_bmp = 0,
  kind_jpeg = 1,
  kind_pcx = 2,
  kind_gif = 3,
  kind_tga = 4,
  kind_none = 6,  // 5 is never produced
};

const char* file_kind_name(FileKind kind);  // "BMP", "JPEG", ... "unknown"

// Sniffs the kind from the first 16 bytes (and, for TGA only, from the name), then
// delivers the file again from its first byte, asking the caller's source for up to
// 4096 bytes at a time so format readers can read byte by byte cheaply.
class PeekSource final : public ImageSource {
 public:
  static constexpr std::uint32_t buffer_size = 4096;
  static constexpr std::uint32_t sniff_size = 16;

  PeekSource(ImageSource* source, const char* name);
  std::uint32_t read(void* destination, std::uint32_t count) override;

  FileKind kind;

 private:
  ImageSource* source;
  std::uint32_t buffered = 0;
  std::uint8_t buffer[buffer_size];
};

// The kind the first bytes (and the name) say; bytes shorter than 16 give kind_none.
FileKind detect_file_kind(const std::uint8_t* first, std::uint32_t count, const char* name);

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

// The object the rest of the system creates for one picture file: detects the kind,
// creates the matching format reader, forwards to it and converts between formats.
class ImageReader final : public FormatReader {
 public:
  // `name` (may be null) is used only to recognise TGA files by their ending.
  ImageReader(ImageSource* source, const char* name);
  ~ImageReader() override;

  bool read_header() override;  // a second call returns false
  std::uint32_t width() const override;
  std::uint32_t height() const override;
  void copy_formats(FormatList& destination) const override;
  bool supports(PixelFormat format) const override;
  bool decode(void* pixels, PixelFormat format, std::uint32_t pitch,
              std::uint8_t* palette) override;

  const char* why() const override;
  // The bytes decode(format) allocates besides the caller's buffer: a conversion buffer
  // when the file does not give `format` directly. Callers add it to the picture's own
  // size before allocating anything, to keep a decode within a memory limit.
  std::uint64_t decode_scratch_bytes(PixelFormat format) const;
  FileKind kind() const { return peek->kind; }
  // The format reader created by read_header (null before, or for an unknown kind).
  FormatReader* inner_reader() const { return inner.get(); }

 private:
  std::unique_ptr<PeekSource> peek;
  std::unique_ptr<FormatReader> inner;
};

// Converts `height` rows of `width` pixels between formats. Conversions into indexed8
// fill `palette`; from indexed8 they read it. Returns false for a pair with no rule (or
// when the quantiser fails). Same-format "conversion" copies rows.
bool convert_pixels(const std::uint8_t* source, PixelFormat from, std::uint32_t source_pitch,
                    std::uint8_t* destination, PixelFormat to, std::uint32_t destination_pitch,
                    std::uint32_t width, std::uint32_t height, std::uint8_t* palette);
