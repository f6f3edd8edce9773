// The image library's table of kernel versions (see host/cpu.h): the JPEG inverse
// transform, the JPEG whole-MCU colour conversion and the rgb24-to-argb32 row. Every
// version gives identical results. A JPEG decoder takes the best version when it is made
// and keeps it for its picture.
#pragma once

#include <cstdint>

#include "host/cpu.h"

// Dequantises and inverse-transforms one block: reads `coef`, writes the samples
// (level-shifted by +128, not clamped) to `out` (another buffer), leaves `coef` all zero.
using JpegIdct = void (*)(std::int32_t* coef, const std::int32_t* quant, std::int32_t* out);
// blocks: luma blocks 0..3 in decode order, Cb at 4, Cr at 5 (samples, unclamped, as the
// transform gives them: within -8064..8319). hs, vs_factor: 1x1, 2x1 or 2x2. Writes
// (8*vs_factor) rows of (8*hs) rgb24 pixels.
using JpegMcuToRgb = void (*)(const std::int32_t (*blocks)[64], unsigned hs, unsigned vs_factor,
                              std::uint8_t* out, std::uint32_t pitch);
// One row of `width` rgb24 pixels to argb32 (alpha 255).
using RgbToArgbRow = void (*)(const std::uint8_t* source, std::uint8_t* destination,
                              std::uint32_t width);

struct ImageKernels {
  const char* name;
  unsigned needs;  // CpuFeature bits
  JpegIdct idct;
  JpegMcuToRgb mcu_to_rgb;
  RgbToArgbRow rgb_to_argb_row;
};

// The best version this processor runs, chosen once per process.
const ImageKernels& image_kernels();
// Every usable version, plain first (for tests and benchmarks).
int image_kernel_count();
const ImageKernels& image_kernel(int index);

// The versions the table is built from (defined beside their plain forms).
void jpeg_idct_plain(std::int32_t* coef, const std::int32_t* quant, std::int32_t* out);
void jpeg_mcu_to_rgb_plain(const std::int32_t (*blocks)[64], unsigned hs, unsigned vs_factor,
                           std::uint8_t* out, std::uint32_t pitch);
void rgb_to_argb_row_plain(const std::uint8_t* source, std::uint8_t* destination,
                           std::uint32_t width);
#ifdef KESTOL_X86
void jpeg_idct_avx2(std::int32_t* coef, const std::int32_t* quant, std::int32_t* out);
void jpeg_mcu_to_rgb_avx2(const std::int32_t (*blocks)[64], unsigned hs, unsigned vs_factor,
                          std::uint8_t* out, std::uint32_t pitch);
void rgb_to_argb_row_ssse3(const std::uint8_t* source, std::uint8_t* destination,
                           std::uint32_t width);
#endif
