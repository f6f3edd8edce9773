// Headless windows: records (host/recorded) on a screen of a set size, the cursor, and the
// canvases painted, for the tests to read.
#include <algorithm>
#include <memory>
#include <mutex>
#include <new>

#include "host/common/event_queue.h"
#include "host/headless/headless.h"
#include "host/headless/headless_internal.h"
#include "host/recorded/windows.h"

namespace {

using recorded::client_of;
using recorded::record;
using recorded::state_mutex;

// The records' lock also guards the screen, the cursor and the paint results; the test
// thread reads them while the main thread changes them.
int screen_width = 1280;
int screen_height = 1024;
int cursor_display_count = 0;
bool cursor_is_arrow = true;
HostCanvas* last_canvas = nullptr;
headless::Image last_paint;
int paints = 0;

}  // namespace

recorded::FrameEdges recorded::frame_edges() { return {headless::kFrameWidth, headless::kCaptionHeight}; }

int host_screen_client_width() {
  std::lock_guard lock(state_mutex());
  return screen_width;
}

int host_screen_client_height() {
  std::lock_guard lock(state_mutex());
  return screen_height - headless::kCaptionHeight;
}

int host_show_cursor(bool show) {
  std::lock_guard lock(state_mutex());
  cursor_display_count += show ? 1 : -1;
  return cursor_display_count;
}

void host_set_cursor(bool arrow) {
  std::lock_guard lock(state_mutex());
  cursor_is_arrow = arrow;
}

HostCanvas* host_canvas_create(int width, int height) {
  // At most 2^28 pixels (1 GiB); larger pictures get no canvas rather than a failure.
  HostCanvas* canvas = recorded::new_canvas(width, height, std::int64_t{1} << 28, 0xCDCDCDCDu);
  if (canvas == nullptr) return nullptr;
  std::lock_guard lock(state_mutex());
  last_canvas = canvas;
  return canvas;
}

void host_canvas_destroy(HostCanvas* canvas) {
  std::lock_guard lock(state_mutex());
  if (last_canvas == canvas) last_canvas = nullptr;
  delete canvas;
}

void host_paint_canvas(WindowHandle, HostCanvas* canvas, int width, int height) {
  if (canvas == nullptr || width <= 0 || height <= 0) return;
  // Nearest-neighbour stretch into a top-down client-sized picture.
  headless::Image image;
  image.width = width;
  image.height = height;
  image.bits_per_pixel = 32;
  image.pitch = width * 4;
  image.bytes.resize(static_cast<std::size_t>(image.pitch) * height);
  auto* out = reinterpret_cast<std::uint32_t*>(image.bytes.data());
  for (int y = 0; y < height; ++y) {
    int source_row = canvas->height - 1 -
                     static_cast<int>(static_cast<std::int64_t>(y) * canvas->height / height);
    const std::uint32_t* row = canvas->bits.get() + static_cast<std::size_t>(source_row) * canvas->width;
    for (int x = 0; x < width; ++x)
      out[static_cast<std::size_t>(y) * width + x] =
          row[static_cast<std::int64_t>(x) * canvas->width / width];
  }
  std::lock_guard lock(state_mutex());
  last_paint = std::move(image);
  ++paints;
}

// ---- Headless controls ------------------------------------------------------------------

namespace headless {

void set_screen_size(int width, int height) {
  std::lock_guard lock(state_mutex());
  screen_width = width;
  screen_height = height;
}

void reset_windows() {
  std::lock_guard lock(state_mutex());
  screen_width = 1280;
  screen_height = 1024;
  cursor_display_count = 0;
  cursor_is_arrow = true;
  last_paint = Image{};
  paints = 0;
}

Image canvas_image() {
  std::lock_guard lock(state_mutex());
  Image image;
  if (last_canvas == nullptr) return image;
  image.width = last_canvas->width;
  image.height = last_canvas->height;
  image.pitch = image.width * 4;
  image.bits_per_pixel = 32;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(last_canvas->bits.get());
  image.bytes.assign(bytes, bytes + static_cast<std::size_t>(last_canvas->width) * last_canvas->height * 4);
  return image;
}

Image painted_image() {
  std::lock_guard lock(state_mutex());
  return last_paint;
}

int canvas_paint_count() {
  std::lock_guard lock(state_mutex());
  return paints;
}

WindowState window_state(WindowHandle window) {
  WindowState state;
  if (!host_queue::window_alive(window)) return state;
  std::lock_guard lock(state_mutex());
  const recorded::Window& w = record(window);
  state.outer = w.outer;
  HostRect client = client_of(w.outer, window->frame);
  state.client_width = client.width();
  state.client_height = client.height();
  state.frame = window->frame;
  state.visible = window->visible;
  state.z_order = w.z_order;
  state.icon = w.icon;
  return state;
}

int cursor_count() {
  std::lock_guard lock(state_mutex());
  return cursor_display_count;
}

bool cursor_arrow() {
  std::lock_guard lock(state_mutex());
  return cursor_is_arrow;
}

void inject(WindowHandle window, HostEventType type) { host_post_event(window, type); }

void inject_activation(WindowHandle window, bool active) {
  if (!active) video_lose_surfaces();
  host_post_event(window, active ? HostEventType::activated : HostEventType::deactivated);
}

void user_move_window(WindowHandle window, int x, int y) {
  HostRect client;
  {
    std::lock_guard lock(state_mutex());
    recorded::Window& w = record(window);
    w.outer = HostRect{x, y, x + w.outer.width(), y + w.outer.height()};
    client = client_of(w.outer, window->frame);
  }
  host_post_event(window, HostEventType::moved, client.left, client.top);
}

void user_size_window(WindowHandle window, int width, int height) {
  HostRect client;
  {
    std::lock_guard lock(state_mutex());
    recorded::Window& w = record(window);
    w.outer.right = w.outer.left + width;
    w.outer.bottom = w.outer.top + height;
    client = client_of(w.outer, window->frame);
  }
  host_post_event(window, HostEventType::resized, client.width(), client.height());
}

}  // namespace headless
