// Whole-MCU colour conversion for the JPEG decoder's interior MCUs.
#pragma once

#include <cstdint>

// blocks: luma blocks 0..3 in decode order, Cb at 4, Cr at 5 (samples, unclamped, as the
// transform gives them: within -8064..8319, which the 16-bit conversion relies on).
// hs, vs_factor: 1x1, 2x1 or 2x2. Writes (8*vs_factor) rows of (8*hs) rgb24 pixels.
// The best version of image/image_kernels.h.
void jpeg_mcu_to_rgb(const std::int32_t (*blocks)[64], unsigned hs, unsigned vs_factor,
                     std::uint8_t* out, std::uint32_t pitch);
