// Video for the full-screen path: display modes, exclusive full screen and a flip chain
// with one lockable back buffer. Open, close, enter and leave run on the main thread;
// lock, unlock, flip, lost, restore and clear are called by the render thread too.
#pragma once

#include <cstdint>
#include <vector>

#include "host/window.h"

struct HostDisplayMode {
  int width = 0;
  int height = 0;
  int bits_per_pixel = 0;  // 32 or 16
};

// The locked back buffer. Rows are `pitch` bytes apart; 16-bit buffers name their green
// mask so the writer can tell 5:6:5 (0x07E0) from 5:5:5 (0x03E0).
struct HostLockedSurface {
  void* pixels = nullptr;
  int width = 0;
  int height = 0;
  int pitch = 0;
  int bits_per_pixel = 0;
  std::uint32_t green_mask = 0;
};

// Opens the video system; false when there is no display at all.
bool host_video_open();
// Why the last host_video_open failed, in a few words ("" when it did not or the platform
// cannot tell).
const char* host_video_error();
void host_video_close();
// The modes the display offers, in the order the platform lists them.
std::vector<HostDisplayMode> host_video_modes();

// Takes `window` into exclusive full screen in `mode` and makes the flip chain (front
// and one back buffer, both black). False when that fails.
bool host_video_enter_fullscreen(WindowHandle window, const HostDisplayMode& mode);
// Releases the flip chain and gives the desktop back.
void host_video_leave_fullscreen(WindowHandle window);

bool host_video_lock_back(HostLockedSurface* surface);
void host_video_unlock_back();
// Shows the back buffer; returns once the display has taken it (paces the render loop).
void host_video_flip();
// True when the surfaces lost their memory (the application was switched away from).
bool host_video_lost();
void host_video_restore();
// Fills front and back buffer with black.
void host_video_clear();

// Lets the main thread do video work that another thread waits for (presenting a flip)
// while it waits for a lock that thread holds. Main thread only; cheap when idle.
void host_video_service();
