// Compositing: clipping and the per-row loops. The row kernels (blend, scale) live in
// pixel_kernels.cc with their SIMD paths.
#include <algorithm>
#include <cstring>

#include "gfx/pixel_kernels.h"
#include "gfx/surface.h"

namespace {

struct Span2D {
  std::uint8_t* dst;         // first destination pixel, as bytes
  const std::uint32_t* src;  // first source pixel (null for fills)
  std::uint32_t rows;
  std::uint32_t cols;
};

// Clips a w x h rectangle placed at (x, y) against the destination. False: nothing to draw.
// Positions are widened so that even INT_MIN negates safely.
bool clip(const Surface& dst, std::int64_t x, std::int64_t y, std::uint32_t w, std::uint32_t h,
          Span2D& out, std::int64_t& skip_x, std::int64_t& skip_y) {
  if (dst.pixels == nullptr || dst.width <= 0 || dst.height <= 0) return false;
  if (x >= dst.width || y >= dst.height) return false;
  skip_y = y < 0 ? -y : 0;
  skip_x = x < 0 ? -x : 0;
  if (skip_y >= h || skip_x >= w) return false;
  out.rows = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(h - skip_y, static_cast<std::uint64_t>(dst.height - (y + skip_y))));
  out.cols = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(w - skip_x, static_cast<std::uint64_t>(dst.width - (x + skip_x))));
  out.dst = reinterpret_cast<std::uint8_t*>(dst.pixels) + (y + skip_y) * dst.pitch +
            (x + skip_x) * 4;
  return true;
}

bool clip_picture(const Surface& dst, const Picture& src, int x, int y, Span2D& out) {
  if (src.pixels == nullptr || src.width <= 0 || src.height <= 0) return false;
  std::int64_t skip_x, skip_y;
  if (!clip(dst, x, y, static_cast<std::uint32_t>(src.width),
            static_cast<std::uint32_t>(src.height), out, skip_x, skip_y))
    return false;
  out.src = src.pixels + skip_y * src.width + skip_x;
  return true;
}

template <typename RowOp>
void for_each_row(const Surface& dst, const Picture& src, const Span2D& span, RowOp op) {
  std::uint8_t* d = span.dst;
  const std::uint32_t* s = span.src;
  for (std::uint32_t r = 0; r < span.rows; ++r) {
    op(reinterpret_cast<std::uint32_t*>(d), s, span.cols);
    d += dst.pitch;
    s += src.width;
  }
}

}  // namespace

void surface_blit(const Surface& dst, const Picture& src, int x, int y) {
  Span2D span;
  if (!clip_picture(dst, src, x, y, span)) return;
  // Whole rows on both sides with no padding between them: one copy of the whole block.
  if (span.cols == static_cast<std::uint32_t>(src.width) &&
      static_cast<std::int64_t>(dst.pitch) == std::int64_t{src.width} * 4) {
    std::memcpy(span.dst, span.src, std::size_t{span.rows} * span.cols * 4u);
    return;
  }
  for_each_row(dst, src, span, [](std::uint32_t* d, const std::uint32_t* s, std::uint32_t n) {
    std::memcpy(d, s, n * 4u);
  });
}

void surface_blit_alpha(const Surface& dst, const Picture& src, int x, int y) {
  Span2D span;
  if (!clip_picture(dst, src, x, y, span)) return;
  const auto& kernels = pixel_kernels();
  for_each_row(dst, src, span, [&](std::uint32_t* d, const std::uint32_t* s, std::uint32_t n) {
    kernels.blend_alpha_row(d, s, n);
  });
}

void surface_blit_fade(const Surface& dst, const Picture& src, int x, int y, unsigned level) {
  level &= 0xFF;
  if (level == 0) return;
  if (level == 255) {
    surface_blit(dst, src, x, y);
    return;
  }
  Span2D span;
  if (!clip_picture(dst, src, x, y, span)) return;
  const auto& kernels = pixel_kernels();
  for_each_row(dst, src, span, [&](std::uint32_t* d, const std::uint32_t* s, std::uint32_t n) {
    kernels.blend_level_row(d, s, n, level);
  });
}

void surface_fill_rect(const Surface& dst, int x, int y, unsigned w, unsigned h,
                       std::uint32_t value) {
  Span2D span;
  std::int64_t skip_x, skip_y;
  if (!clip(dst, x, y, w, h, span, skip_x, skip_y)) return;
  std::uint8_t* d = span.dst;
  for (std::uint32_t r = 0; r < span.rows; ++r, d += dst.pitch)
    std::fill_n(reinterpret_cast<std::uint32_t*>(d), span.cols, value);
}

void surface_clear(const Surface& dst, std::uint32_t value) {
  if (dst.pixels == nullptr || dst.width <= 0 || dst.height <= 0) return;
  auto* row = reinterpret_cast<std::uint8_t*>(dst.pixels);
  for (std::int32_t r = 0; r < dst.height; ++r, row += dst.pitch)
    std::fill_n(reinterpret_cast<std::uint32_t*>(row), dst.width, value);
}

void surface_fade(const Surface& dst, unsigned level) {
  level &= 0xFF;
  if (level == 255) return;
  if (level == 0) {
    surface_clear(dst, 0);
    return;
  }
  if (dst.pixels == nullptr || dst.width <= 0 || dst.height <= 0) return;
  // The surface is taken as width x height consecutive pixels (pitch = width x 4).
  scale_pixels(dst.pixels,
               static_cast<std::uint32_t>(dst.width) * static_cast<std::uint32_t>(dst.height),
               level);
}

void scale_pixels(std::uint32_t* pixels, std::uint32_t count, unsigned factor) {
  if (pixels == nullptr || count == 0) return;
  pixel_kernels().scale_row(pixels, count, factor & 0xFF);
}
