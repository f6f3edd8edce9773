// The image reader front-end: the look-ahead source that detects a file's kind from its
// first bytes, and the reader that picks the format reader and converts its pixels on
// request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "image/format_reader.h"
#include "image/format_table.h"

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
