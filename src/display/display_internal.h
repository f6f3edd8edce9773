// The display's process-wide state, shared by the window logic and the presentation paths.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "host/video.h"
#include "host/window.h"

struct DisplayState {
  std::int32_t content_width = 0;
  std::int32_t content_height = 0;
  std::int64_t row_bytes = 0;  // wide, so an absurd width cannot overflow it
  std::int32_t client_width = 0;
  std::int32_t client_height = 0;
  std::int32_t window_x = 20;
  std::int32_t window_y = 20;
  // Written by the main thread, read by the render thread without the lock.
  std::atomic<std::uint8_t> app_active{1};
  const char* window_title = "Untitled";
  IconHandle window_icon = nullptr;
  WindowHandle window = nullptr;
  // 0 windowed, 1 full screen; written only under display_lock.
  std::int32_t display_mode = 0;
  std::uint8_t requested_fullscreen = 0;
  HostWindowPlacement saved_placement;
  std::uint8_t placement_saved = 0;

  // Presentation.
  bool video_open = false;
  std::int32_t mode_width = 0;
  std::int32_t mode_height = 0;
  std::int32_t mode_bits = 32;
  std::uint32_t best_area = 0x7FFFFFFF;
  HostCanvas* dib_section = nullptr;
  std::uint32_t* dib_bits = nullptr;
};

extern DisplayState display;

// The re-entrant lock around every presentation, mode switch and the paint, move and size
// handlers. The main thread, while it waits for it, lets the host finish video work the
// render thread may be waiting for inside the lock (a full-screen flip on SDL).
void display_lock_enter();
void display_lock_leave();
struct DisplayLockGuard {
  DisplayLockGuard() { display_lock_enter(); }
  ~DisplayLockGuard() { display_lock_leave(); }
  DisplayLockGuard(const DisplayLockGuard&) = delete;
  DisplayLockGuard& operator=(const DisplayLockGuard&) = delete;
};

void switch_mode(std::uint8_t flag);
void enter_windowed();
// The window's events: what Escape, Alt+Enter, activation, moves and sizes, paints and the
// cursor do. Returns true when the host's default must not follow.
bool display_handle_event(const HostEvent& event);

// Presentation paths (present.cc).
void choose_fullscreen_mode();
void choose_fullscreen_mode_from(const HostDisplayMode* modes, std::size_t count);
void enter_fullscreen();
void leave_fullscreen();
void present_fullscreen(const std::uint32_t* pixels);
bool create_dib_section();
void destroy_dib_section();
void present_windowed(const std::uint32_t* pixels);
void paint_windowed();

// Pixel conversion by truncation to 16 bits.
inline std::uint16_t pixel_to_565(std::uint32_t p) {
  return static_cast<std::uint16_t>(((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) | ((p >> 3) & 0x001F));
}
inline std::uint16_t pixel_to_555(std::uint32_t p) {
  return static_cast<std::uint16_t>(((p >> 9) & 0x7C00) | ((p >> 6) & 0x03E0) | ((p >> 3) & 0x001F));
}

// Copies a content_width x content_height framebuffer into a locked back buffer: doubled
// when the mode holds twice the content, converted to 16 bits for 16-bit surfaces, centred.
// A picture larger than the surface is cut to it (centred), so nothing is written outside.
void copy_to_back_buffer(const HostLockedSurface& surface, const std::uint32_t* pixels,
                         int content_width, int content_height, int mode_width,
                         int mode_height);
