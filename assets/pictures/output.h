// Writes the generator's pictures: JPEG through the project's encoder, or PPM/PGM.
#pragma once

#include <string>

#include "canvas.h"

#if __has_include("authoring/jpeg_encoder.h")
#include "authoring/jpeg_encoder.h"
#define VEXO_HAVE_JPEG_ENCODER 1
#endif

class PictureWriter {
 public:
  PictureWriter(std::string dir, bool raw) : dir_(std::move(dir)), raw_(raw) {}
  // full_chroma: colour at every pixel (1 x 1 sampling) instead of per 2 x 2 block.
  bool colour(const char* name, const art::Canvas& c, bool full_chroma);
  bool grey(const char* name, const art::Grey& g);
  // A 32-bit BMP (the window icon).
  bool icon(const std::string& path, const art::Canvas& c);

 private:
#ifdef VEXO_HAVE_JPEG_ENCODER
  bool write_jpeg(const char* name, const std::uint8_t* px, PixelFormat format, int w, int h, int bytes,
                  bool grey, bool full_chroma);
#endif
  std::string dir_;
  bool raw_;
};
