// Row kernels of the compositing operations, with a plain version and SIMD versions chosen
// once at run time by what the processor offers. Every version gives identical pixels.
#pragma once

#include <cstdint>

struct PixelKernels {
  const char* name;
  unsigned needs;  // the CpuFeature bits it runs on (host/cpu.h)
  // Blend each source pixel with its own alpha byte; alpha 0 leaves the destination alone.
  void (*blend_alpha_row)(std::uint32_t* dst, const std::uint32_t* src, std::uint32_t count);
  // Blend each source pixel with the constant level (1 ... 254).
  void (*blend_level_row)(std::uint32_t* dst, const std::uint32_t* src, std::uint32_t count,
                          unsigned level);
  // Each byte of each pixel becomes (byte x factor) >> 8.
  void (*scale_row)(std::uint32_t* pixels, std::uint32_t count, unsigned factor);
};

// The best kernels this processor runs.
const PixelKernels& pixel_kernels();
// Every available version, plain first (for tests and benchmarks).
int pixel_kernel_count();
const PixelKernels& pixel_kernel(int index);
