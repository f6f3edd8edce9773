// Picture files for `kestol img`: PNG through libpng, and the netpbm formats.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/image_reader.h"

struct RasterImage {
  std::uint32_t width = 0, height = 0;
  PixelFormat format = PixelFormat::rgb24;  // rgb24, argb32 or grey8
  std::vector<std::uint8_t> pixels;        // packed rows
};

bool read_whole_file(const char* path, std::vector<std::uint8_t>& out, std::string& error);
// PNG or PPM/PGM (P6/P5, maxval 255), by content.
bool read_raster(const char* path, RasterImage& image, std::string& error);
// By the extension of `path`: .png, .ppm, .pgm or .pam. `palette` is used for indexed8.
// The most a picture read for encoding may take.
constexpr std::uint64_t raster_memory_limit = std::uint64_t(1) << 30;
// The bytes write_raster allocates for a picture of this size (conversions on the way).
std::uint64_t write_raster_scratch_bytes(const char* path, PixelFormat format,
                                        std::uint32_t width, std::uint32_t height);
bool write_raster(const char* path, const std::uint8_t* pixels, PixelFormat format,
                  std::uint32_t width, std::uint32_t height, const std::uint8_t* palette,
                  std::string& error);
