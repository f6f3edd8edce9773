// Presentation: the full-screen flip chain (mode choice, doubling, 16-bit conversion) and
// the windowed canvas (bottom-up copy, stretched paint).
#include <algorithm>
#include <cstring>
#include <vector>

#include "display/display_internal.h"

namespace {

void mode_enum_callback(const HostDisplayMode& mode) {
  if (mode.bits_per_pixel != display.mode_bits || mode.width < display.content_width ||
      mode.height < display.content_height)
    return;
  std::uint32_t area = static_cast<std::uint32_t>(mode.width) * static_cast<std::uint32_t>(mode.height);
  if (area < display.best_area) {
    display.best_area = area;
    display.mode_width = mode.width;
    display.mode_height = mode.height;
  }
}

// Where a span of `length` is placed centred in `room`, and which part of it shows.
struct Span {
  int first_destination = 0;
  int first_source = 0;
  int length = 0;
};
Span centre(int length, int room) {
  Span span;
  if (length <= room) {
    span.first_destination = (room - length) / 2;
    span.length = length;
  } else {
    span.first_source = (length - room) / 2;
    span.length = room;
  }
  return span;
}

}  // namespace

void choose_fullscreen_mode_from(const HostDisplayMode* modes, std::size_t count) {
  display.best_area = 0x7FFFFFFF;
  display.mode_bits = 32;
  for (std::size_t i = 0; i < count; ++i) mode_enum_callback(modes[i]);
  if (display.best_area == 0x7FFFFFFF) {
    display.mode_bits = 16;
    for (std::size_t i = 0; i < count; ++i) mode_enum_callback(modes[i]);
  }
  if (display.best_area != 0x7FFFFFFF) return;
  // No mode holds the framebuffer: take the largest one (32 bits first) and show the
  // middle of the picture, rather than a mode of no size.
  display.mode_width = display.mode_height = 0;
  for (int bits : {32, 16}) {
    std::uint64_t largest = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const HostDisplayMode& mode = modes[i];
      std::uint64_t area = static_cast<std::uint64_t>(std::max(mode.width, 0)) *
                           static_cast<std::uint64_t>(std::max(mode.height, 0));
      if (mode.bits_per_pixel == bits && area > largest) {
        largest = area;
        display.mode_width = mode.width;
        display.mode_height = mode.height;
        display.mode_bits = bits;
      }
    }
    if (largest != 0) return;
  }
}

void choose_fullscreen_mode() {
  std::vector<HostDisplayMode> modes = host_video_modes();
  choose_fullscreen_mode_from(modes.data(), modes.size());
}

void enter_fullscreen() {
  host_set_cursor(false);
  host_video_enter_fullscreen(display.window,
                              HostDisplayMode{display.mode_width, display.mode_height, display.mode_bits});
  host_window_set_frame(display.window, HostFrame::popup);
  host_window_place(display.window, HostZOrder::topmost, 0, 0, display.mode_width,
                    display.mode_height, host_place_show | host_place_frame_changed);
  host_video_clear();
}

void leave_fullscreen() {
  if (display.display_mode != 1) return;
  host_video_leave_fullscreen(display.window);
}

void copy_to_back_buffer(const HostLockedSurface& surface, const std::uint32_t* pixels,
                         int content_width, int content_height, int mode_width,
                         int mode_height) {
  if (surface.pixels == nullptr || surface.width <= 0 || surface.height <= 0) return;
  auto* base = static_cast<std::uint8_t*>(surface.pixels);
  if (surface.bits_per_pixel == 32) {
    int d = (mode_width >= 2 * std::int64_t{content_width} &&
             mode_height >= 2 * std::int64_t{content_height}) ? 1 : 0;
    Span rows = centre(content_height << d, surface.height);
    Span columns = centre(content_width << d, surface.width);
    if (surface.pitch < columns.length * 4) return;
    for (int y = 0; y < rows.length; ++y) {
      const std::uint32_t* source =
          pixels + static_cast<std::size_t>((rows.first_source + y) >> d) * content_width;
      auto* destination = reinterpret_cast<std::uint32_t*>(
                              base + static_cast<std::size_t>(rows.first_destination + y) * surface.pitch) +
                          columns.first_destination;
      if (d == 0) {
        std::memcpy(destination, source + columns.first_source,
                    static_cast<std::size_t>(columns.length) * 4);
      } else {
        for (int x = 0; x < columns.length; ++x)
          destination[x] = source[(columns.first_source + x) >> 1];
      }
    }
  } else if (surface.bits_per_pixel == 16) {
    Span rows = centre(content_height, surface.height);
    Span columns = centre(content_width, surface.width);
    if (surface.pitch < columns.length * 2) return;
    bool is_565 = (surface.green_mask & ~0x1Fu) == 0x07E0;
    int pitch16 = surface.pitch / 2;
    auto* destination16 = reinterpret_cast<std::uint16_t*>(base);
    for (int y = 0; y < rows.length; ++y) {
      const std::uint32_t* source =
          pixels + static_cast<std::size_t>(rows.first_source + y) * content_width + columns.first_source;
      std::uint16_t* destination = destination16 +
                                   static_cast<std::size_t>(rows.first_destination + y) * pitch16 +
                                   columns.first_destination;
      if (is_565) {
        for (int x = 0; x < columns.length; ++x) destination[x] = pixel_to_565(source[x]);
      } else {
        for (int x = 0; x < columns.length; ++x) destination[x] = pixel_to_555(source[x]);
      }
    }
  }
}

void present_fullscreen(const std::uint32_t* pixels) {
  if (display.app_active.load() == 0) return;
  if (host_video_lost()) {
    host_video_restore();
    host_video_clear();
  }
  HostLockedSurface surface;
  if (!host_video_lock_back(&surface)) return;
  copy_to_back_buffer(surface, pixels, display.content_width, display.content_height,
                      display.mode_width, display.mode_height);
  host_video_unlock_back();
  host_video_flip();
  host_validate(display.window);
}

bool create_dib_section() {
  destroy_dib_section();
  display.dib_section = host_canvas_create(display.content_width, display.content_height);
  if (display.dib_section == nullptr) return false;
  display.dib_bits = host_canvas_bits(display.dib_section);
  std::memset(display.dib_bits, 0,
              static_cast<std::size_t>(display.content_width) * display.content_height * 4);
  return true;
}

void destroy_dib_section() {
  if (display.dib_section != nullptr) host_canvas_destroy(display.dib_section);
  display.dib_section = nullptr;
  display.dib_bits = nullptr;
}

void present_windowed(const std::uint32_t* pixels) {
  if (display.dib_bits != nullptr) {
    for (int r = 0; r < display.content_height; ++r)
      std::memcpy(display.dib_bits + static_cast<std::size_t>(display.content_height - 1 - r) *
                                         display.content_width,
                  pixels + static_cast<std::size_t>(r) * display.content_width,
                  static_cast<std::size_t>(display.row_bytes));
  }
  host_invalidate(display.window);
}

void paint_windowed() {
  host_paint_canvas(display.window, display.dib_section, display.client_width,
                    display.client_height);
}
