// Windows as records, for hosts with no window system of their own (headless, web): each
// window's placement, frame, z-order, icon and painting, with moved and resized delivered
// as a window system delivers them. The host gives the size of its frames.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "host/window.h"

// A canvas in memory: width x height 32-bit pixels, the last row first.
struct HostCanvas {
  int width = 0;
  int height = 0;
  std::unique_ptr<std::uint32_t[]> bits;
};

namespace recorded {

// A new canvas of at most max_pixels pixels, every one fill; null for a size out of range
// or without the memory for it.
HostCanvas* new_canvas(int width, int height, std::int64_t max_pixels, std::uint32_t fill);

struct Window {
  HostRect outer;
  HostZOrder z_order = HostZOrder::unchanged;
  IconHandle icon = nullptr;
  bool painting = false;
};

// Guards the records; the host may guard its own window state with it too.
std::mutex& state_mutex();
// The window's record; hold state_mutex.
Window& record(WindowHandle window);
// The client rectangle of a window with that outer rectangle and frame.
HostRect client_of(const HostRect& outer, HostFrame frame);
// The newest window still open (where a page's input goes), or null.
WindowHandle newest_window();

// The edges of a framed window, in pixels: defined by the host.
struct FrameEdges {
  int side = 0;     // left, right and bottom
  int caption = 0;  // above the client, besides the side
};
FrameEdges frame_edges();

}  // namespace recorded
