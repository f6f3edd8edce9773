// Pixel buffers and the compositing operations the demo script draws with.
// Pixels are 32-bit words 0xAARRGGBB (in memory: blue, green, red, alpha).
#pragma once

#include <cstdint>

// The destination of every operation.
struct Surface {
  std::uint32_t* pixels;  // first pixel of the top row
  std::int32_t width;
  std::int32_t height;
  std::int32_t pitch;  // bytes from one row to the next
};

// A source with packed rows; owns its heap block (malloc/free). Grey masks are held in the
// same record briefly, one byte per pixel.
struct Picture {
  std::uint32_t* pixels;
  std::int32_t width;
  std::int32_t height;
};

void surface_blit(const Surface& dst, const Picture& src, int x, int y);
void surface_blit_alpha(const Surface& dst, const Picture& src, int x, int y);
void surface_blit_fade(const Surface& dst, const Picture& src, int x, int y, unsigned level);
void surface_fill_rect(const Surface& dst, int x, int y, unsigned w, unsigned h,
                       std::uint32_t value);
void surface_clear(const Surface& dst, std::uint32_t value);
void surface_fade(const Surface& dst, unsigned level);
void scale_pixels(std::uint32_t* pixels, std::uint32_t count, unsigned factor);
